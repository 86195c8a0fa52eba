#include "datatypes/tuple.hpp"

#include "datatypes/registry.hpp"

namespace zun::tuple {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, todo<A_ADD>(), todo<A_DIVIDE>(),
        /* 13 */ todo<A_MULTIPLY>(), E, E, todo<A_REMAINDER>(), E, todo<A_SUBTRACT>(), E, E,
        /* 21 */ todo<A_AND>(), todo<A_COMPLEMENT>(), todo<A_OR>(), todo<A_XOR>(), E, E, E, E,
        /* 29 */ E, E, E, E, E, E, E, todo<A_LENGTH_Q>(),
        /* 37 */ E, E, todo<A_PICK>(), E, E, E, todo<A_REVERSE>(), E,
        /* 45 */ E, E, E, E, E, E, E, E,
        /* 53 */ E, E, E, E, E, E, E, E,
        /* 61 */ E, E);
    registry::register_type(TYPE_TUPLE, 0, "tuple!", slots);
}
}  // namespace zun::tuple
