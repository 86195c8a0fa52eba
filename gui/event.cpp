#include "gui/event.hpp"

#include "datatypes/registry.hpp"

namespace zun::event {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, E, E, todo<A_FORM>(), todo<A_MOLD>(), todo<A_EVAL_PATH>(), E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, todo<A_PICK>(), E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_EVENT, 0, "event!", slots);
}
}  // namespace zun::event
