#include "datatypes/time.hpp"

#include "datatypes/registry.hpp"

namespace zun::time_ {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), inherit<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), todo<A_EVAL_PATH>(), E, inherit<A_COMPARE>(),
        /* 10 */ inherit<A_ABSOLUTE>(), todo<A_ADD>(), todo<A_DIVIDE>(), todo<A_MULTIPLY>(),
        /* 14 */ inherit<A_NEGATE>(), E, inherit<A_REMAINDER>(), todo<A_ROUND>(),
        /* 18 */ todo<A_SUBTRACT>(), todo<A_EVEN_Q>(), todo<A_ODD_Q>(), E, E, E, E, E,
        /* 26 */ E, E, E, E, E, E, E, E,
        /* 34 */ E, E, E, E, E, todo<A_PICK>(), E, E,
        /* 42 */ E, E, E, E, E, E, E, E,
        /* 50 */ E, E, E, E, E, E, E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_TIME, TYPE_FLOAT, "time!", slots);
}
}  // namespace zun::time_
