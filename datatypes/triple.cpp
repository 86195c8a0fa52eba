#include "datatypes/triple.hpp"

#include "datatypes/registry.hpp"

namespace zun::triple {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ E, E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_TRIPLE, 0, "triple!", slots);
}
}  // namespace zun::triple

namespace zun::handle {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_HANDLE, TYPE_INTEGER, "handle!", slots);
}
}  // namespace zun::handle
