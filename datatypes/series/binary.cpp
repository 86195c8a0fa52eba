#include "datatypes/series/binary.hpp"

#include "datatypes/registry.hpp"

namespace zun::binary {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(), todo<A_TO>(),
        /*  5 */ todo<A_FORM>(), todo<A_MOLD>(), inherit<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E,
        /* 12 */ E, E, E, E, E, E, E, E,
        /* 20 */ E, todo<A_AND>(), todo<A_COMPLEMENT>(), todo<A_OR>(), todo<A_XOR>(),
        /* 25 */ todo<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(), todo<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), todo<A_INSERT>(), inherit<A_LENGTH_Q>(),
        /* 37 */ inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(), inherit<A_POKE>(), E,
        /* 42 */ inherit<A_REMOVE>(), inherit<A_REVERSE>(), inherit<A_SELECT>(), inherit<A_SORT>(),
        /* 46 */ inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(), inherit<A_TAIL_Q>(),
        /* 50 */ inherit<A_TAKE>(), todo<A_TRIM>(), E, E, E, inherit<A_MODIFY>(), E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_BINARY, TYPE_STRING, "binary!", slots);
}
}  // namespace zun::binary
