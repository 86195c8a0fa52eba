#include "datatypes/native.hpp"

#include <algorithm>
#include <cstring>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun {

namespace {
constexpr uint32_t CELL = sizeof(Cell);
constexpr uint32_t MORE_CONTEXT = 0;

Cell* cells_of(NodeId node) { return memory::buffer_of(node)->head_cell(); }
int32_t length_of(NodeId node) { return int32_t(memory::buffer_of(node)->used() / CELL); }
Cell block_cell(NodeId node) { return make_cell(TYPE_BLOCK, 0, node, 0); }
bool same_symbol(uint32_t a, uint32_t b) { return symbol::canonical(a) == symbol::canonical(b); }

int append_ascii(Cell* buffer, const char* text) {
    string::append_c_string(buffer, text);
    return int(std::strlen(text));
}

int mold_spec(const Cell& value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
              int indent) {
    Cell spec = block_cell(value.data2);
    return block::mold(&spec, buffer, only, all, flat, arg, part, indent);
}

// "make native! [" and its kin, the spec block, then "]".
int mold_made(const char* open, Cell* value, Cell* buffer, bool only, bool all, bool flat,
              Cell* arg, int part, int indent) {
    const Cell v = *value;
    part -= append_ascii(buffer, open);
    part = mold_spec(v, buffer, only, all, flat, arg, part, indent);
    return part - append_ascii(buffer, "]");
}

NodeId g_own_natives[native::INDEX_LIMIT + 1];
NodeId g_own_actions[action::INDEX_LIMIT + 1];
bool g_own_recorded = false;

// The make argument [spec-block index] with the index in 1..limit.
Cell* make_indexed(uint32_t type, const Cell* spec_in, uint32_t limit) {
    const Cell arg = *spec_in;
    auto bad = [&]() {
        const Cell datatype = make_cell(TYPE_DATATYPE, type);
        support::fire_make_error(&datatype, &arg);
    };
    if (!arg.is(TYPE_BLOCK) || block::length_from_head(&arg) != 2) bad();
    const Cell* first = cells_of(arg.data2) + std::max(int32_t(arg.data1), 0);
    const Cell spec = first[0], index = first[1];
    // A spec that is not a block would leave a stray number where the spec
    // node belongs.
    if (!spec.is(TYPE_BLOCK) || !index.is(TYPE_INTEGER) || index.as_int() < 1 ||
        uint32_t(index.as_int()) > limit)
        bad();
    if (!g_own_recorded) return native::push(type, &spec, uint32_t(index.as_int()));
    const NodeId own = native::own_spec(type, uint32_t(index.as_int()));
    if (!own) bad();
    const Cell own_spec = block_cell(own);
    return native::push(type, &own_spec, uint32_t(index.as_int()));
}
}  // namespace

}  // namespace zun

namespace zun::native {

Cell* push(uint32_t type, const Cell* spec_in, uint32_t index) {
    const Cell spec = *spec_in;
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    NodeId more = memory::alloc_cells(2);
    Cell holder = block_cell(more);
    stack::push(&holder);
    // The argument context of the make argument [spec index] holds no words;
    // the evaluator reads the arguments from the spec block.
    NodeId context = context::create(2, true, false, 0, context::FUNCTION_KIND);
    memory::SeriesBuffer* b = memory::buffer_of(more);
    b->head_cell()[MORE_CONTEXT] = *context::cell_of(context);
    b->head_cell()[function::MORE_ARGUMENTS] = make_cell(TYPE_NONE);
    b->tail = b->head + 2 * CELL;
    *result = make_cell(type, index, spec.data2, more);
    stack::g_top = result + 1;
    return result;
}

void record_own_spec(uint32_t type, uint32_t index, NodeId spec) {
    NodeId* table = type == TYPE_ACTION ? g_own_actions : g_own_natives;
    const uint32_t limit = type == TYPE_ACTION ? action::INDEX_LIMIT : INDEX_LIMIT;
    if (index < 1 || index > limit) return;
    table[index] = spec;
    g_own_recorded = true;
}

NodeId own_spec(uint32_t type, uint32_t index) {
    const NodeId* table = type == TYPE_ACTION ? g_own_actions : g_own_natives;
    const uint32_t limit = type == TYPE_ACTION ? action::INDEX_LIMIT : INDEX_LIMIT;
    return index >= 1 && index <= limit ? table[index] : 0;
}

Cell* make(Cell*, Cell* spec, int) { return make_indexed(TYPE_NATIVE, spec, INDEX_LIMIT); }

void reflect(Cell* value, uint32_t field_symbol) {
    const Cell v = *value;
    if (same_symbol(field_symbol, sym::id(sym::spec))) {
        function::reflect_spec(value);
    } else if (same_symbol(field_symbol, sym::id(sym::body))) {
        uint32_t wrapped = v.is(TYPE_OP) ? op::wrapped_type(&v) : 0;
        if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE)
            *value = *function::more_cell(&v, function::MORE_BODY);
        else
            *value = integer_cell(int32_t(v.data1));  // the table index
    } else {
        support::fire_error(ErrorId::internal_not_done);
    }
}

int form(Cell*, Cell* buffer, Cell*, int part) { return part - append_ascii(buffer, "?native?"); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    return mold_made("make native! [", value, buffer, only, all, flat, arg, part, indent);
}

int compare(Cell* value1, Cell* value2, int op) {
    if (value2->type() != value1->type()) return COMPARE_UNCOMPARABLE;
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
        case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
            break;
        default:
            return COMPARE_UNCOMPARABLE;
    }
    uint32_t a = value1->data1, b = value2->data1;
    return a < b ? -1 : a > b ? 1 : 0;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, own<A_REFLECT>(reflect), E, own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_NATIVE, 0, "native!", slots);
}

}  // namespace zun::native

namespace zun::action {

Cell* make(Cell*, Cell* spec, int) { return make_indexed(TYPE_ACTION, spec, INDEX_LIMIT); }

int form(Cell*, Cell* buffer, Cell*, int part) { return part - append_ascii(buffer, "?action?"); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    return mold_made("make action! [", value, buffer, only, all, flat, arg, part, indent);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, inherit<A_REFLECT>(), E, own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), E, E, own<A_COMPARE>(native::compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_ACTION, TYPE_NATIVE, "action!", slots);
}

}  // namespace zun::action

namespace zun::op {

bool two_arguments_q(const Cell* spec) {
    const NodeId node = spec->data2;
    int count = 0;
    bool plain = false;  // a word! came first: the left argument is evaluated
    for (int32_t i = 0; i < length_of(node); i++) {
        const Cell& c = cells_of(node)[i];
        switch (c.type()) {
            case TYPE_WORD:
                plain = true;
                count++;
                break;
            case TYPE_LIT_WORD: case TYPE_GET_WORD:
                if (!plain) return false;
                count++;
                break;
            case TYPE_STRING: case TYPE_BLOCK:
                break;
            case TYPE_SET_WORD:
                return count == 2;
            case TYPE_REFINEMENT:
                if (!same_symbol(c.data2, refinements::get(refinements::local)->data2) &&
                    !same_symbol(c.data2, refinements::get(refinements::extern_)->data2))
                    return false;
                return count == 2;
            default:
                return false;
        }
    }
    return count == 2;
}

Cell* make(Cell*, Cell* spec_in, int) {
    const Cell value = *spec_in;
    const uint32_t type = value.type();
    if (type != TYPE_NATIVE && type != TYPE_ACTION && type != TYPE_FUNCTION &&
        type != TYPE_ROUTINE) {
        const Cell datatype = make_cell(TYPE_DATATYPE, type);
        support::fire_error(ErrorId::script_invalid_type, &datatype);
    }
    const Cell spec = block_cell(value.data2);
    if (!two_arguments_q(&spec)) support::fire_error(ErrorId::script_bad_op_spec);
    if (type == TYPE_FUNCTION || type == TYPE_ROUTINE)
        *function::more_cell(&value, function::MORE_OP_FUNCTION) = value;
    Cell* result = stack::push(&value);
    result->header = TYPE_OP | (type << WRAPPED_SHIFT);
    return result;
}

int form(Cell*, Cell* buffer, Cell*, int part) { return part - append_ascii(buffer, "?op?"); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    const Cell v = *value;
    part -= append_ascii(buffer, "make op! ");
    // The spec is molded as a call named mold. An error unwinds the frame
    // itself, so it is popped only on the normal path.
    Cell* top = stack::g_top;
    const Cell name = context::resolve_symbol(0, symbol::make("mold"));
    stack::push_native_frame(&name);
    if (wrapped_type(&v) == TYPE_FUNCTION) {
        part -= append_ascii(buffer, "func ");
        part = mold_spec(v, buffer, only, all, flat, arg, part, indent);
        Cell body = *function::more_cell(&v, function::MORE_BODY);
        if (body.is(TYPE_BLOCK))
            part = block::mold(&body, buffer, false, all, flat, arg, part, indent);
    } else {
        part -= append_ascii(buffer, "[");
        part = mold_spec(v, buffer, only, all, flat, arg, part, indent);
        part -= append_ascii(buffer, "]");
    }
    stack::pop_frame();
    stack::g_top = top;
    return part;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, inherit<A_REFLECT>(), E, own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), E, E, own<A_COMPARE>(native::compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_OP, TYPE_NATIVE, "op!", slots);
}

}  // namespace zun::op
