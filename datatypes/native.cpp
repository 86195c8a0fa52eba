#include "datatypes/native.hpp"

#include "datatypes/registry.hpp"

namespace zun::native {
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
    registry::register_type(TYPE_NATIVE, 0, "native!", slots);
}
}  // namespace zun::native

namespace zun::action {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, inherit<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_ACTION, TYPE_NATIVE, "action!", slots);
}
}  // namespace zun::action

namespace zun::op {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, inherit<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_OP, TYPE_NATIVE, "op!", slots);
}
}  // namespace zun::op
