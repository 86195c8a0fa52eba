#include "datatypes/series/tag.hpp"

#include "datatypes/registry.hpp"

namespace zun::tag {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), todo<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_TAG, TYPE_STRING, "tag!", slots);
}
}  // namespace zun::tag

namespace zun::email {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), todo<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_EMAIL, TYPE_STRING, "email!", slots);
}
}  // namespace zun::email

namespace zun::ref {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), E, E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, E, inherit<A_AT>(), inherit<A_BACK>(), inherit<A_CHANGE>(),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), E, inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_REF, TYPE_STRING, "ref!", slots);
}
}  // namespace zun::ref
