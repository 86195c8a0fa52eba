#include "datatypes/context.hpp"

#include "datatypes/registry.hpp"

namespace zun::symbol {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, E, E, E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_SYMBOL, 0, "symbol!", slots);
}
}  // namespace zun::symbol

namespace zun::context {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, E, E, E, E,
        /*  9 */ E, E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_CONTEXT, 0, "context!", slots);
}
}  // namespace zun::context
