#include "datatypes/word.hpp"

#include "datatypes/registry.hpp"

namespace zun::word {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, E, todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, todo<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_WORD, TYPE_SYMBOL, "word!", slots);
}
}  // namespace zun::word

namespace zun::set_word {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, inherit<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_SET_WORD, TYPE_WORD, "set-word!", slots);
}
}  // namespace zun::set_word

namespace zun::lit_word {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, inherit<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_LIT_WORD, TYPE_WORD, "lit-word!", slots);
}
}  // namespace zun::lit_word

namespace zun::get_word {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, inherit<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_GET_WORD, TYPE_WORD, "get-word!", slots);
}
}  // namespace zun::get_word

namespace zun::refinement {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_REFINEMENT, TYPE_WORD, "refinement!", slots);
}
}  // namespace zun::refinement

namespace zun::issue {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, E, todo<A_TO>(), inherit<A_FORM>(), todo<A_MOLD>(), E, E,
        /*  9 */ todo<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_ISSUE, TYPE_WORD, "issue!", slots);
}
}  // namespace zun::issue
