#include "datatypes/series/url.hpp"

#include "datatypes/registry.hpp"

namespace zun::url {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, E, todo<A_TO>(), inherit<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ todo<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(), inherit<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), E, inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(),
        /* 56 */ todo<A_OPEN>(), E, E, todo<A_READ>(), E, E, todo<A_WRITE>());
    registry::register_type(TYPE_URL, TYPE_STRING, "url!", slots);
}
}  // namespace zun::url
