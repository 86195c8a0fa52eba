#include "datatypes/series/map.hpp"

#include "datatypes/registry.hpp"

namespace zun::map {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, todo<A_REFLECT>(), todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, E, E, E, todo<A_CLEAR>(), todo<A_COPY>(),
        /* 31 */ todo<A_FIND>(), E, E, E, E, todo<A_LENGTH_Q>(), E, E,
        /* 39 */ E, E, todo<A_PUT>(), todo<A_REMOVE>(), E, todo<A_SELECT>(), E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_MAP, 0, "map!", slots);
}
}  // namespace zun::map

namespace zun::hash {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, inherit<A_REFLECT>(), todo<A_TO>(), inherit<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), todo<A_COPY>(), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), todo<A_SORT>(), inherit<A_SKIP>(), inherit<A_SWAP>(),
        /* 48 */ inherit<A_TAIL>(), inherit<A_TAIL_Q>(), inherit<A_TAKE>(), todo<A_TRIM>(), E, E, E,
        /* 55 */ inherit<A_MODIFY>(), E, E, E, E, E, E, E);
    registry::register_type(TYPE_HASH, TYPE_BLOCK, "hash!", slots);
}
}  // namespace zun::hash
