#include "datatypes/pair.hpp"

#include "datatypes/registry.hpp"

namespace zun::pair {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), todo<A_ABSOLUTE>(), todo<A_ADD>(),
        /* 12 */ todo<A_DIVIDE>(), todo<A_MULTIPLY>(), todo<A_NEGATE>(), E, todo<A_REMAINDER>(),
        /* 17 */ todo<A_ROUND>(), todo<A_SUBTRACT>(), E, E, todo<A_AND>(), E, todo<A_OR>(),
        /* 24 */ todo<A_XOR>(), E, E, E, E, E, E, E,
        /* 32 */ E, E, E, E, E, E, E, todo<A_PICK>(),
        /* 40 */ E, E, E, todo<A_REVERSE>(), E, E, E, E,
        /* 48 */ E, E, E, E, E, E, E, E,
        /* 56 */ E, E, E, E, E, E, E);
    registry::register_type(TYPE_PAIR, 0, "pair!", slots);
}
}  // namespace zun::pair
