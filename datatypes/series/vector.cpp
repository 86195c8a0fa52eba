#include "datatypes/series/vector.hpp"

#include "datatypes/registry.hpp"

namespace zun::vector {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(), E, todo<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), inherit<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, todo<A_ADD>(),
        /* 12 */ todo<A_DIVIDE>(), todo<A_MULTIPLY>(), E, E, todo<A_REMAINDER>(), E,
        /* 18 */ todo<A_SUBTRACT>(), E, E, todo<A_AND>(), E, todo<A_OR>(), todo<A_XOR>(),
        /* 25 */ todo<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(), todo<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), todo<A_INSERT>(), inherit<A_LENGTH_Q>(),
        /* 37 */ inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(), inherit<A_POKE>(), E,
        /* 42 */ inherit<A_REMOVE>(), inherit<A_REVERSE>(), inherit<A_SELECT>(), inherit<A_SORT>(),
        /* 46 */ inherit<A_SKIP>(), E, inherit<A_TAIL>(), inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E,
        /* 52 */ E, E, E, inherit<A_MODIFY>(), E, E, E, E,
        /* 60 */ E, E, E);
    registry::register_type(TYPE_VECTOR, TYPE_STRING, "vector!", slots);
}
}  // namespace zun::vector
