#include "datatypes/date.hpp"

#include "datatypes/registry.hpp"

namespace zun::date {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, todo<A_ADD>(), E, E, E,
        /* 15 */ E, E, E, todo<A_SUBTRACT>(), E, E, E, E,
        /* 23 */ E, E, E, E, E, E, E, E,
        /* 31 */ E, E, E, E, E, E, E, E,
        /* 39 */ todo<A_PICK>(), E, E, E, E, E, E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_DATE, 0, "date!", slots);
}
}  // namespace zun::date
