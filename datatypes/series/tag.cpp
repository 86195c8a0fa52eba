#include "datatypes/series/tag.hpp"

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/series.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun::tag {

// form and mold give the same text: the angle brackets included.
int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    Cell copy = *value;  // the caller's cell may lie where appending moves things
    string::append_char(string::buffer_of(buffer), '<');
    int rest = string::form(&copy, buffer, arg, part - 1);
    string::append_char(string::buffer_of(buffer), '>');
    return rest - 1;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

Cell* push_copy(const Cell* tag) { return stack::push(tag); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), own<A_FORM>(&form),
        /*  6 */ own<A_MOLD>(&mold), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
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

namespace {
uint32_t canonical(uint32_t symbol_id) {
    uint32_t alias = symbol::alias(symbol_id);
    return alias == symbol::NO_ALIAS ? symbol_id : alias;
}
}  // namespace

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return string::form(value, buffer, arg, part);
}

// e/user and e/host read or change the text before and after the "@"; an
// integer picks or pokes a character.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify) {
    static Cell g_result;
    if (element->is(TYPE_INTEGER))
        return string::eval_path(parent, element, value, path, grandparent, previous, index,
                                 case_, get, last, notify);
    bool user = false, host = false;
    if (element->is(TYPE_WORD)) {
        uint32_t field = canonical(element->data2);
        user = field == canonical(sym::id(sym::user));
        host = field == canonical(sym::id(sym::host));
    }
    if (!user && !host)
        support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
    int32_t length = string::length_from_head(parent);
    int32_t at = string::find_char(parent, '@');
    if (at < 0) at = length;
    int32_t from = user ? 0 : std::min(at + 1, length);
    int32_t count = user ? at : length - from;
    stack::StackScope scope;
    Cell* part = stack::push_cell();
    *part = make_cell(TYPE_INTEGER, 0, uint32_t(count), 0);
    if (value) {
        Cell* target = stack::push(parent);
        target->data1 = uint32_t(string::head_index(parent) + from);
        string::change(target, value, count, false, 1);
        return value;
    }
    Cell* source = stack::push(parent);
    source->data1 = uint32_t(string::head_index(parent) + from);
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_UNSET);
    series::copy(source, result, part, false, nullptr);
    result->set_type(TYPE_STRING);
    g_result = *result;
    return &g_result;
}

Cell* push_copy(const Cell* email) { return stack::push(email); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
        /*  6 */ own<A_MOLD>(&mold), own<A_EVAL_PATH>(&eval_path), E, inherit<A_COMPARE>(), E, E, E, E,
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

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    Cell copy = *value;  // the caller's cell may lie where appending moves things
    string::append_char(string::buffer_of(buffer), '@');
    return string::form(&copy, buffer, arg, part - 1);
}

Cell* push_copy(const Cell* ref) { return stack::push(ref); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
        /*  6 */ own<A_MOLD>(&mold), E, E, inherit<A_COMPARE>(), E, E, E, E,
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
