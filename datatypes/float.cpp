#include "datatypes/float.hpp"

#include "datatypes/registry.hpp"

namespace zun::float_ {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ E, E, todo<A_COMPARE>(), todo<A_ABSOLUTE>(), todo<A_ADD>(), todo<A_DIVIDE>(),
        /* 13 */ todo<A_MULTIPLY>(), todo<A_NEGATE>(), todo<A_POWER>(), todo<A_REMAINDER>(),
        /* 17 */ todo<A_ROUND>(), todo<A_SUBTRACT>(), todo<A_EVEN_Q>(), todo<A_ODD_Q>(), E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_FLOAT, 0, "float!", slots);
}
}  // namespace zun::float_
