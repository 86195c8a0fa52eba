#include "datatypes/function.hpp"

#include "datatypes/registry.hpp"

namespace zun::function {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, todo<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_FUNCTION, TYPE_CONTEXT, "function!", slots);
}
}  // namespace zun::function

namespace zun::routine {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, inherit<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_ROUTINE, TYPE_FUNCTION, "routine!", slots);
}
}  // namespace zun::routine
