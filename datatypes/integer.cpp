#include "datatypes/integer.hpp"

#include "datatypes/registry.hpp"

namespace zun::integer {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ E, E, todo<A_COMPARE>(), todo<A_ABSOLUTE>(), todo<A_ADD>(), todo<A_DIVIDE>(),
        /* 13 */ todo<A_MULTIPLY>(), todo<A_NEGATE>(), todo<A_POWER>(), todo<A_REMAINDER>(),
        /* 17 */ todo<A_ROUND>(), todo<A_SUBTRACT>(), todo<A_EVEN_Q>(), todo<A_ODD_Q>(),
        /* 21 */ todo<A_AND>(), todo<A_COMPLEMENT>(), todo<A_OR>(), todo<A_XOR>(), E, E, E, E,
        /* 29 */ E, E, E, E, E, E, E, E,
        /* 37 */ E, E, E, E, E, E, E, E,
        /* 45 */ E, E, E, E, E, E, E, E,
        /* 53 */ E, E, E, E, E, E, E, E,
        /* 61 */ E, E);
    registry::register_type(TYPE_INTEGER, 0, "integer!", slots);
}
}  // namespace zun::integer
