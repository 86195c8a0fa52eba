#include "datatypes/point.hpp"

#include "datatypes/registry.hpp"

namespace zun::point2D {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), todo<A_ABSOLUTE>(), todo<A_ADD>(),
        /* 12 */ todo<A_DIVIDE>(), todo<A_MULTIPLY>(), todo<A_NEGATE>(), E, todo<A_REMAINDER>(),
        /* 17 */ todo<A_ROUND>(), todo<A_SUBTRACT>(), E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, todo<A_PICK>(), E,
        /* 41 */ E, E, todo<A_REVERSE>(), E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_POINT2D, 0, "point2D!", slots);
}
}  // namespace zun::point2D

namespace zun::point3D {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), todo<A_RANDOM>(), E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), todo<A_ABSOLUTE>(), todo<A_ADD>(),
        /* 12 */ todo<A_DIVIDE>(), todo<A_MULTIPLY>(), todo<A_NEGATE>(), E, todo<A_REMAINDER>(),
        /* 17 */ todo<A_ROUND>(), todo<A_SUBTRACT>(), E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, todo<A_PICK>(), E,
        /* 41 */ E, E, todo<A_REVERSE>(), E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_POINT3D, 0, "point3D!", slots);
}
}  // namespace zun::point3D
