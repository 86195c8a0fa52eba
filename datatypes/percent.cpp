#include "datatypes/percent.hpp"

#include "datatypes/registry.hpp"

namespace zun::percent {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), inherit<A_RANDOM>(), E, inherit<A_TO>(), todo<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), E, E, inherit<A_COMPARE>(), inherit<A_ABSOLUTE>(),
        /* 11 */ inherit<A_ADD>(), inherit<A_DIVIDE>(), inherit<A_MULTIPLY>(), inherit<A_NEGATE>(),
        /* 15 */ inherit<A_POWER>(), inherit<A_REMAINDER>(), inherit<A_ROUND>(),
        /* 18 */ inherit<A_SUBTRACT>(), inherit<A_EVEN_Q>(), inherit<A_ODD_Q>(), E, E, E, E, E,
        /* 26 */ E, E, E, E, E, E, E, E,
        /* 34 */ E, E, E, E, E, E, E, E,
        /* 42 */ E, E, E, E, E, E, E, E,
        /* 50 */ E, E, E, E, E, E, E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!", slots);
}
}  // namespace zun::percent
