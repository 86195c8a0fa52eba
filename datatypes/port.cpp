#include "datatypes/port.hpp"

#include "datatypes/registry.hpp"

namespace zun::port {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ todo<A_MAKE>(), E, inherit<A_REFLECT>(), E, todo<A_FORM>(), todo<A_MOLD>(),
        /*  7 */ inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, todo<A_APPEND>(), todo<A_AT>(), todo<A_BACK>(), todo<A_CHANGE>(),
        /* 29 */ todo<A_CLEAR>(), todo<A_COPY>(), todo<A_FIND>(), todo<A_HEAD>(), todo<A_HEAD_Q>(),
        /* 34 */ todo<A_INDEX_Q>(), todo<A_INSERT>(), todo<A_LENGTH_Q>(), todo<A_MOVE>(),
        /* 38 */ todo<A_NEXT>(), todo<A_PICK>(), todo<A_POKE>(), todo<A_PUT>(), todo<A_REMOVE>(),
        /* 43 */ todo<A_REVERSE>(), todo<A_SELECT>(), todo<A_SORT>(), todo<A_SKIP>(),
        /* 47 */ todo<A_SWAP>(), todo<A_TAIL>(), todo<A_TAIL_Q>(), todo<A_TAKE>(), todo<A_TRIM>(),
        /* 52 */ todo<A_CREATE>(), todo<A_CLOSE>(), todo<A_DELETE>(), todo<A_MODIFY>(),
        /* 56 */ todo<A_OPEN>(), E, todo<A_QUERY>(), todo<A_READ>(), todo<A_RENAME>(),
        /* 61 */ todo<A_UPDATE>(), todo<A_WRITE>());
    registry::register_type(TYPE_PORT, TYPE_OBJECT, "port!", slots);
}
}  // namespace zun::port
