#include "datatypes/series/path.hpp"

#include <algorithm>
#include <cstring>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/series.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun {

namespace {

using memory::SeriesBuffer;

bool block_type(uint32_t t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH ||
           (t >= TYPE_PATH && t <= TYPE_GET_PATH);
}

inline int32_t cells_in(NodeId node) { return int32_t(memory::buffer_of(node)->used() / sizeof(Cell)); }
inline int32_t first_index(const Cell* value) { return std::max(int32_t(value->data1), 0); }

void append(Cell* buffer, char c) { string::append_char(string::buffer_of(buffer), uint8_t(c)); }

// Keeps a node on the cycle stack while its cells are walked.
class CycleGuard {
public:
    explicit CycleGuard(NodeId node) { cycles::push(node); }
    ~CycleGuard() { cycles::pop(); }
    CycleGuard(const CycleGuard&) = delete;
    CycleGuard& operator=(const CycleGuard&) = delete;
};

// Element i as a value-stack copy: forming or molding it may allocate and move
// the buffer it lies in. Drop it by resetting the top to the answered cell.
Cell* push_element(NodeId node, int32_t i) {
    return stack::push(memory::buffer_of(node)->head_cell() + i);
}

// The cells from the head, molded as a block molds them: spaces between,
// new-line marks opening lines and indentation.
int mold_cells(const Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg,
               int part, int indent) {
    NodeId node = value->data2;
    CycleGuard guard(node);
    int32_t first = first_index(value);
    bool opened = false;
    for (int32_t i = first; i < cells_in(node); i++) {
        if (arg && part <= 0) break;
        Cell* element = push_element(node, i);
        if (!flat && (element->header & NEW_LINE_FLAG)) {
            if (!only && i == first) {
                indent++;
                opened = true;
            }
            if (!(only && i == first)) {
                append(buffer, '\n');
                part--;
            }
            part = support::mold_indent(buffer, indent, part);
        } else if (i != first) {
            append(buffer, ' ');
            part--;
        }
        part = actions::mold_direct(element, buffer, false, all, flat, arg, part, indent);
        stack::g_top = element;
    }
    if (opened) {
        append(buffer, '\n');
        part = support::mold_indent(buffer, indent - 1, part - 1);
    }
    return part;
}

// The elements from the head joined by "/"; with /part the walk stops once
// the budget falls below 1.
template <typename Write> int join_elements(const Cell* value, Cell* buffer, Cell* arg, int part,
                                            Write write) {
    NodeId node = value->data2;
    CycleGuard guard(node);
    int32_t first = first_index(value);
    for (int32_t i = first; i < cells_in(node); i++) {
        if (i > first) {
            append(buffer, '/');
            part--;
        }
        Cell* element = push_element(node, i);
        part = write(element, part);
        stack::g_top = element;
        if (arg && part < 1) break;
    }
    return part;
}

// A new value-stack cell of the type holding a copy of a block-typed value's
// cells from its head (not deep).
Cell* push_clone(const Cell* source, uint32_t type) {
    Cell* result = stack::push(&shared_none_cell);
    NodeId from = source->data2;
    int32_t total = cells_in(from);
    int32_t head = std::clamp(int32_t(source->data1), 0, total);
    int32_t n = total - head;
    NodeId node = memory::alloc_cells(uint32_t(std::max(n, 1)));
    // Re-read the source: the allocation may have moved it.
    SeriesBuffer* dst = memory::buffer_of(node);
    std::memcpy(dst->head_cell(), memory::buffer_of(from)->head_cell() + head, size_t(n) * sizeof(Cell));
    dst->tail = dst->head + uint32_t(n) * sizeof(Cell);
    *result = make_cell(type, 0, node, 0);
    return result;
}

// A new value-stack cell of the type holding the one value.
Cell* push_single(const Cell* value, uint32_t type) {
    Cell* result = stack::push(&shared_none_cell);
    path::make_at(result, 1);
    *support::append_cell(result) = *value;  // the value is an argument on the stack
    result->set_type(type);
    return result;
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
    NodeId node = memory::alloc_cells(uint32_t(std::max(n, 1)));
    *cell = make_cell(TYPE_PATH, 0, node, 0);
    return cell;
}

Cell* make(Cell*, Cell* spec, int type) {
    uint32_t t = spec->type();
    if (block_type(t)) return push_clone(spec, uint32_t(type));
    if (t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT) {
        Cell* result = stack::push(&shared_none_cell);
        make_at(result, count_of(spec));
        result->set_type(uint32_t(type));
        return result;
    }
    support::fire_make_error(datatype::push(uint32_t(type)), spec);
}

Cell* to(Cell* proto, Cell* spec, int type) {
    uint32_t t = spec->type();
    if (block_type(t)) return push_clone(spec, uint32_t(type));
    // Text is loaded and a vector gives its elements, as block! converts them.
    if (t == TYPE_STRING || t == TYPE_VECTOR) {
        Cell* made = registry::handler<A_TO>(TYPE_BLOCK)(proto, spec, type);
        Cell* result = stack::push(made);
        result->set_type(uint32_t(type));
        return result;
    }
    return push_single(spec, uint32_t(type));
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

// block!'s copy: without /deep and /types that is the plain series copy.
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    if (!deep && !types) return series::copy(value, result, part, deep, types);
    return registry::handler<A_COPY>(TYPE_BLOCK)(value, result, part, deep, types);
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
    if (interpreter::mold_cycle_marker(value, buffer, &part, true)) return part;
    if (!only) {
        append(buffer, '(');
        part--;
    }
    part = mold_cells(value, buffer, only, all, flat, arg, part, indent);
    if (!only) {
        append(buffer, ')');
        part--;
    }
    return part;
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
