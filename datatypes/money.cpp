#include "datatypes/money.hpp"

#include "datatypes/registry.hpp"

namespace zun::money {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), todo<A_ABSOLUTE>(), todo<A_ADD>(),
        /* 12 */ todo<A_DIVIDE>(), todo<A_MULTIPLY>(), todo<A_NEGATE>(), E, todo<A_REMAINDER>(),
        /* 17 */ todo<A_ROUND>(), todo<A_SUBTRACT>(), todo<A_EVEN_Q>(), todo<A_ODD_Q>(), E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, todo<A_PICK>(), E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_MONEY, 0, "money!", slots);
}
}  // namespace zun::money
