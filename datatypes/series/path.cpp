#include "datatypes/series/path.hpp"

#include "datatypes/registry.hpp"

namespace zun::path {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, inherit<A_REFLECT>(), todo<A_TO>(), todo<A_FORM>(),
        /*  6 */ todo<A_MOLD>(), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), todo<A_COPY>(), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_PATH, TYPE_BLOCK, "path!", slots);
}
}  // namespace zun::path

namespace zun::lit_path {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
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
    registry::register_type(TYPE_LIT_PATH, TYPE_PATH, "lit-path!", slots);
}
}  // namespace zun::lit_path

namespace zun::set_path {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
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
    registry::register_type(TYPE_SET_PATH, TYPE_PATH, "set-path!", slots);
}
}  // namespace zun::set_path

namespace zun::get_path {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
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
    registry::register_type(TYPE_GET_PATH, TYPE_PATH, "get-path!", slots);
}
}  // namespace zun::get_path

namespace zun::paren {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(), inherit<A_TO>(),
        /*  5 */ inherit<A_FORM>(), todo<A_MOLD>(), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(),
        /* 10 */ E, E, E, E, E, E, E, E,
        /* 18 */ E, E, E, E, E, E, E, inherit<A_APPEND>(),
        /* 26 */ inherit<A_AT>(), inherit<A_BACK>(), inherit<A_CHANGE>(), inherit<A_CLEAR>(),
        /* 30 */ inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(), inherit<A_HEAD_Q>(),
        /* 34 */ inherit<A_INDEX_Q>(), inherit<A_INSERT>(), inherit<A_LENGTH_Q>(),
        /* 37 */ inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(), inherit<A_POKE>(),
        /* 41 */ inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(), inherit<A_SELECT>(),
        /* 45 */ inherit<A_SORT>(), inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_PAREN, TYPE_BLOCK, "paren!", slots);
}
}  // namespace zun::paren
