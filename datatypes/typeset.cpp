#include "datatypes/typeset.hpp"

#include "datatypes/registry.hpp"

namespace zun::typeset {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, todo<A_AND>(), todo<A_COMPLEMENT>(), todo<A_OR>(), todo<A_XOR>(),
        /* 25 */ E, E, E, E, E, E, todo<A_FIND>(), E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_TYPESET, 0, "typeset!", slots);
}
}  // namespace zun::typeset
