#include "datatypes/error.hpp"

#include "datatypes/registry.hpp"

namespace zun::error {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, inherit<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, E, E, E, E, inherit<A_COPY>(),
        /* 31 */ inherit<A_FIND>(), E, E, E, E, E, E, E,
        /* 39 */ E, E, E, E, E, inherit<A_SELECT>(), E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_ERROR, TYPE_OBJECT, "error!", slots);
}
}  // namespace zun::error
