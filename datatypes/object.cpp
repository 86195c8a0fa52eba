#include "datatypes/object.hpp"

#include "datatypes/registry.hpp"

namespace zun::object {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, todo<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, E, E, E, E, todo<A_COPY>(),
        /* 31 */ E, E, E, E, E, E, E, E,
        /* 39 */ E, E, todo<A_PUT>(), E, E, todo<A_SELECT>(), E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ todo<A_MODIFY>(), E, E, E, E, E, E, E);
    registry::register_type(TYPE_OBJECT, 0, "object!", slots);
}
}  // namespace zun::object
