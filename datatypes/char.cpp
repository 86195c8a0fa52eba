#include "datatypes/char.hpp"

#include "datatypes/registry.hpp"

namespace zun::char_ {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), inherit<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), E, E, todo<A_COMPARE>(), inherit<A_ABSOLUTE>(), todo<A_ADD>(),
        /* 12 */ todo<A_DIVIDE>(), todo<A_MULTIPLY>(), E, E, todo<A_REMAINDER>(), E,
        /* 18 */ todo<A_SUBTRACT>(), inherit<A_EVEN_Q>(), inherit<A_ODD_Q>(), todo<A_AND>(), E,
        /* 23 */ todo<A_OR>(), todo<A_XOR>(), E, E, E, E, E, E,
        /* 31 */ E, E, E, E, E, E, E, E,
        /* 39 */ E, E, E, E, E, E, E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", slots);
}
}  // namespace zun::char_
