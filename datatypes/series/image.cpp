#include "datatypes/series/image.hpp"

#include "datatypes/registry.hpp"

namespace zun::image {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, todo<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, todo<A_AT>(), inherit<A_BACK>(), todo<A_CHANGE>(), E, todo<A_COPY>(),
        /* 31 */ E, inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), E,
        /* 36 */ todo<A_LENGTH_Q>(), E, todo<A_NEXT>(), todo<A_PICK>(), todo<A_POKE>(), E, E, E,
        /* 44 */ E, E, todo<A_SKIP>(), E, todo<A_TAIL>(), todo<A_TAIL_Q>(), E, E,
        /* 52 */ E, E, E, inherit<A_MODIFY>(), E, E, E, E,
        /* 60 */ E, E, E);
    registry::register_type(TYPE_IMAGE, TYPE_SERIES, "image!", slots);
}
}  // namespace zun::image
