#include "datatypes/series/path.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun {

namespace {

inline int32_t cells_in(NodeId node) { return int32_t(memory::buffer_of(node)->used() / sizeof(Cell)); }

void append(Cell* buffer, char c) { string::append_char(string::buffer_of(buffer), uint8_t(c)); }

using CycleGuard = cycles::Guard;

// The elements from the head joined by "/"; with /part the walk stops once
// the budget falls below 1. Each element is written from a value-stack copy:
// writing may allocate and move the buffer it lies in.
template <typename Write> int join_elements(const Cell* value, Cell* buffer, Cell* arg, int part,
                                            Write write) {
    NodeId node = value->data2;
    CycleGuard guard(node);
    int32_t first = std::max(int32_t(value->data1), 0);
    for (int32_t i = first; i < cells_in(node); i++) {
        if (i > first) {
            append(buffer, '/');
            part--;
        }
        Cell* element = stack::push(memory::buffer_of(node)->head_cell() + i);
        part = write(element, part);
        stack::g_top = element;
        if (arg && part < 1) break;
    }
    return part;
}

int32_t count_of(const Cell* spec) {
    if (spec->is(TYPE_INTEGER)) return spec->as_int();
    double d = spec->as_double();
    if (!(d >= -2147483648.0 && d <= 2147483647.0))
        support::fire_error(ErrorId::script_out_of_range, spec);
    return int32_t(d);
}

Cell* push_as(Cell* cell, uint32_t type) {
    cell->set_type(type);
    return stack::push(cell);
}

}  // namespace

namespace path {

Cell* push_as_path(Cell* cell) { return push_as(cell, TYPE_PATH); }

Cell* make_at(Cell* cell, int32_t n) {
    block::make_at(cell, n);
    cell->set_type(TYPE_PATH);
    return cell;
}

Cell* make(Cell*, Cell* spec, int type) {
    uint32_t t = spec->type();
    Cell* result;
    if (block::any_block_q(t)) {
        result = block::clone(spec, false, false);
    } else if (t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT) {
        result = block::push_new(count_of(spec));
    } else {
        support::fire_make_error(datatype::push(uint32_t(type)), spec);
    }
    result->set_type(uint32_t(type));
    return result;
}

// Objects, typesets and maps stay whole; anything else converts as for block!.
Cell* to(Cell* proto, Cell* spec, int type) {
    uint32_t t = spec->type();
    if (t != TYPE_OBJECT && t != TYPE_TYPESET && t != TYPE_MAP) return block::to(proto, spec, type);
    Cell* result = block::push_new(1);
    block::append_cell(result, spec);
    result->set_type(uint32_t(type));
    return result;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, false)) return part;
    return join_elements(value, buffer, arg, part, [&](Cell* element, int left) {
        return actions::form_direct(element, buffer, arg, left);
    });
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part, int) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, true)) return part;
    return join_elements(value, buffer, arg, part, [&](Cell* element, int left) {
        return actions::mold_direct(element, buffer, only, all, flat, arg, left, 0);
    });
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    return block::copy(value, result, part, deep, types);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, inherit<A_REFLECT>(), own<A_TO>(to), own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), own<A_COPY>(copy), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_PATH, TYPE_BLOCK, "path!", slots);
}

}  // namespace path

namespace {
// The slot table of a path type whose only own entry is mold.
SlotTable path_child_slots(SlotFnT<A_MOLD> mold) {
    return make_slots(
        /*  1 */ inherit<A_MAKE>(), E, inherit<A_REFLECT>(), inherit<A_TO>(), inherit<A_FORM>(),
        /*  6 */ own<A_MOLD>(mold), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), E, inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E,
        /* 57 */ E, E, E, E, E, E);
}
}  // namespace

namespace lit_path {
Cell* push_as_lit_path(Cell* cell) { return push_as(cell, TYPE_LIT_PATH); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    append(buffer, '\'');
    return path::mold(value, buffer, only, all, flat, arg, part - 1, indent);
}

void register_type() {
    static const SlotTable slots = path_child_slots(&mold);
    registry::register_type(TYPE_LIT_PATH, TYPE_PATH, "lit-path!", slots);
}
}  // namespace lit_path

namespace set_path {
Cell* push_as_set_path(Cell* cell) { return push_as(cell, TYPE_SET_PATH); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    part = path::mold(value, buffer, only, all, flat, arg, part, indent);
    append(buffer, ':');
    return part - 1;
}

void register_type() {
    static const SlotTable slots = path_child_slots(&mold);
    registry::register_type(TYPE_SET_PATH, TYPE_PATH, "set-path!", slots);
}
}  // namespace set_path

namespace get_path {
Cell* push_as_get_path(Cell* cell) { return push_as(cell, TYPE_GET_PATH); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    append(buffer, ':');
    return path::mold(value, buffer, only, all, flat, arg, part - 1, indent);
}

void register_type() {
    static const SlotTable slots = path_child_slots(&mold);
    registry::register_type(TYPE_GET_PATH, TYPE_PATH, "get-path!", slots);
}
}  // namespace get_path

namespace paren {
Cell* push_as_paren(Cell* cell) { return push_as(cell, TYPE_PAREN); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    return block::mold_between(value, buffer, "(", ")", only, all, flat, arg, part, indent);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(), inherit<A_TO>(),
        /*  5 */ inherit<A_FORM>(), own<A_MOLD>(mold), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(),
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
}  // namespace paren

}  // namespace zun
