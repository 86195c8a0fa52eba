#include "datatypes/series/block.hpp"

#include "datatypes/registry.hpp"

namespace zun::block {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(), todo<A_TO>(),
        /*  5 */ todo<A_FORM>(), todo<A_MOLD>(), todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E, E,
        /* 13 */ E, E, E, E, E, E, E, E,
        /* 21 */ E, E, E, E, todo<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(), todo<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), todo<A_COPY>(), todo<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), todo<A_INSERT>(), inherit<A_LENGTH_Q>(),
        /* 37 */ inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(), inherit<A_POKE>(),
        /* 41 */ todo<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(), todo<A_SELECT>(),
        /* 45 */ todo<A_SORT>(), inherit<A_SKIP>(), todo<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), todo<A_TAKE>(), todo<A_TRIM>(), E, E, E, inherit<A_MODIFY>(),
        /* 56 */ E, E, E, E, E, E, E);
    registry::register_type(TYPE_BLOCK, TYPE_SERIES, "block!", slots);
}
}  // namespace zun::block
