#include "datatypes/series/series.hpp"

#include "datatypes/registry.hpp"

namespace zun::series {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, todo<A_RANDOM>(), todo<A_REFLECT>(), E, E, E, E, E,
        /*  9 */ E, E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, todo<A_AT>(), todo<A_BACK>(), E, todo<A_CLEAR>(), todo<A_COPY>(), E,
        /* 32 */ todo<A_HEAD>(), todo<A_HEAD_Q>(), todo<A_INDEX_Q>(), E, todo<A_LENGTH_Q>(),
        /* 37 */ todo<A_MOVE>(), todo<A_NEXT>(), todo<A_PICK>(), todo<A_POKE>(), E,
        /* 42 */ todo<A_REMOVE>(), todo<A_REVERSE>(), E, E, todo<A_SKIP>(), E, todo<A_TAIL>(),
        /* 49 */ todo<A_TAIL_Q>(), todo<A_TAKE>(), E, E, E, E, todo<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_SERIES, 0, "series!", slots);
}
}  // namespace zun::series
