#include "datatypes/series/bitset.hpp"

#include "datatypes/registry.hpp"

namespace zun::bitset {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, todo<A_REFLECT>(), todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E, E, E, todo<A_NEGATE>(),
        /* 15 */ E, E, E, E, E, E, todo<A_AND>(), todo<A_COMPLEMENT>(),
        /* 23 */ todo<A_OR>(), todo<A_XOR>(), todo<A_APPEND>(), E, E, E, todo<A_CLEAR>(),
        /* 30 */ todo<A_COPY>(), todo<A_FIND>(), E, E, E, todo<A_INSERT>(), todo<A_LENGTH_Q>(), E,
        /* 38 */ E, todo<A_PICK>(), todo<A_POKE>(), E, todo<A_REMOVE>(), E, E, E,
        /* 46 */ E, E, E, E, E, E, E, E,
        /* 54 */ E, todo<A_MODIFY>(), E, E, E, E, E, E,
        /* 62 */ E);
    registry::register_type(TYPE_BITSET, 0, "bitset!", slots);
}
}  // namespace zun::bitset
