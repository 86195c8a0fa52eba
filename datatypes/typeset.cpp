#include "datatypes/typeset.hpp"

#include <cstring>

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

namespace zun::typeset {

namespace {

Cell empty_typeset() { return Cell{TYPE_TYPESET, 0, 0, 0}; }

// A word stands for its value.
const Cell* resolved(const Cell* value) {
    return value->is(TYPE_WORD) ? word::get_value(value) : value;
}

void combine(Cell* into, const Cell* other, int op) {
    uint32_t* a = &into->data1;
    const uint32_t* b = &other->data1;
    for (int i = 0; i < 3; i++) {
        switch (op) {
        case 5:
        case 9: a[i] |= b[i]; break;
        case 6:
        case 10: a[i] &= b[i]; break;
        case 7:
        case 12: a[i] ^= b[i]; break;
        case 11: a[i] &= ~b[i]; break;
        default: runtime::fatal(101);  // no such set operation
        }
    }
}

Cell* typeset_make(Cell*, Cell* spec, int) {
    if (spec->is(TYPE_TYPESET)) return spec;
    if (!spec->is(TYPE_BLOCK)) {
        Cell type{TYPE_DATATYPE, TYPE_TYPESET, 0, 0};
        support::fire_error(ErrorId::script_bad_to_arg, &type, spec);
    }
    Cell result = empty_typeset();
    memory::SeriesBuffer* b = memory::buffer_of(spec->data2);
    uint32_t count = (b->used() >> 4);
    for (uint32_t i = spec->data1; i < count; i++) {
        Cell item = memory::buffer_of(spec->data2)->head_cell()[i];
        set_type(&result, &item);
    }
    return stack::push(&result);
}

// form and mold write the same text.
int typeset_mold(Cell* ts, Cell* buffer, bool only, bool, bool, Cell* arg, int part,
                 int) {
    bool limited = arg != nullptr;
    if (!only) {
        string::append_c_string(buffer, "make typeset! [");
    }
    bool any = false;
    for (uint32_t t = 1; t <= registry::g_top_type_id; t++) {
        if (!has(ts, t)) continue;
        if (limited && part <= 0) return part;
        const char* name = registry::type_name(t);
        string::append_c_string(buffer, name);
        string::append_c_string(buffer, " ");
        part -= int(std::strlen(name)) + 1;
        any = true;
    }
    memory::SeriesBuffer* b = string::buffer_of(buffer);
    if (only) {
        if (any) {
            b->tail -= b->unit();
            part += 1;
        }
        return part;
    }
    if (any) b->tail -= b->unit();
    string::append_c_string(buffer, "]");
    return part;
}

int typeset_form(Cell* ts, Cell* buffer, Cell* arg, int part) {
    return typeset_mold(ts, buffer, false, false, false, arg, part, 0);
}

int typeset_compare(Cell* v1, Cell* v2, int op) {
    if (!v2->is(TYPE_TYPESET)) return COMPARE_UNCOMPARABLE;
    switch (op) {
    case COMP_EQUAL:
    case COMP_NOT_EQUAL:
    case COMP_STRICT_EQUAL:
    case COMP_SAME:
    case COMP_FIND:
        return (v1->data1 == v2->data1 && v1->data2 == v2->data2 && v1->data3 == v2->data3) ? 0
                                                                                            : 1;
    case COMP_SORT:
    case COMP_CASE_SORT: {
        int a = count(v1), b = count(v2);
        return a < b ? -1 : a > b ? 1 : 0;
    }
    default: return COMPARE_UNCOMPARABLE;
    }
}

void typeset_and() { do_set_op(6); }
void typeset_or() { do_set_op(5); }
void typeset_xor() { do_set_op(7); }

Cell* typeset_complement(Cell* ts) {
    Cell result{TYPE_TYPESET, ~ts->data1, ~ts->data2, ~ts->data3};
    return stack::push(&result);
}

Cell* typeset_find(Cell* ts, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool,
                   bool, bool, bool) {
    if (!value->is(TYPE_DATATYPE)) support::fire_error(ErrorId::script_invalid_arg, value);
    return has(ts, value->data1) ? &shared_true_cell : &shared_false_cell;
}

}  // namespace

void clear(Cell* ts) { ts->data1 = ts->data2 = ts->data3 = 0; }

Cell* append_to_block(const Cell* block, uint32_t w1, uint32_t w2, uint32_t w3) {
    Cell* cell = support::append_cell(block);
    *cell = Cell{TYPE_TYPESET, w1, w2, w3};
    return cell;
}

Cell* append_any_value(const Cell* block) {
    Cell all{TYPE_TYPESET, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    reinterpret_cast<uint8_t*>(&all.data1)[0] &= uint8_t(~(0x80u >> TYPE_UNSET));
    return append_to_block(block, all.data1, all.data2, all.data3);
}

void set_type(Cell* ts, const Cell* value) {
    const Cell* v = resolved(value);
    if (v->is(TYPE_TYPESET)) combine(ts, v, 5);
    else if (v->is(TYPE_DATATYPE)) add(ts, v->data1);
    else support::fire_error(ErrorId::script_invalid_arg, value);
}

Cell* append_from_spec(const Cell* block, const Cell* spec) {
    Cell result = empty_typeset();
    uint32_t count = memory::buffer_of(spec->data2)->used() >> 4;
    for (uint32_t i = spec->data1; i < count; i++) {
        // Re-read: resolving a word may not allocate, but raising does.
        Cell item = memory::buffer_of(spec->data2)->head_cell()[i];
        const Cell* v = resolved(&item);
        if (v->is(TYPE_DATATYPE)) add(&result, v->data1);
        else if (v->is(TYPE_TYPESET)) combine(&result, v, 5);
        else if (v->is(TYPE_WORD)) add(&result, TYPE_OBJECT);
        else if (!v->is(TYPE_BLOCK)) support::fire_error(ErrorId::script_invalid_type_spec, &item);
    }
    return append_to_block(block, result.data1, result.data2, result.data3);
}

void to_block(const Cell* ts, const Cell* block) {
    Cell copy = *ts;  // ts may lie in the block we empty and refill
    memory::SeriesBuffer* b = memory::buffer_of(block->data2);
    b->tail = b->head + (block->data1 << 4);
    for (uint32_t t = 1; t <= registry::g_top_type_id; t++) {
        if (!has(&copy, t)) continue;
        Cell* word = registry::g_name_table[t].word;
        Cell* cell = support::append_cell(block);
        *cell = word ? *word : Cell{TYPE_DATATYPE, t, 0, 0};
    }
}

int count(const Cell* ts) {
    int n = 0;
    for (uint32_t t = 1; t <= registry::g_top_type_id; t++) n += has(ts, t);
    return n;
}

Cell* push_copy(const Cell* ts) { return stack::push(ts); }

void do_set_op(int op) {
    Cell* a = stack::argument(0);
    if (op == 8) return;  // unique: the set itself
    Cell* b = stack::argument(1);
    Cell other = empty_typeset();
    if (b->is(TYPE_TYPESET)) other = *b;
    else if (b->is(TYPE_DATATYPE)) add(&other, b->data1);
    else support::fire_error(ErrorId::script_invalid_arg, b);
    Cell result = *a;
    result.header = TYPE_TYPESET;
    combine(&result, &other, op);
    stack::set_result(&result);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(typeset_make), E, E, own<A_TO>(typeset_make),
        own<A_FORM>(typeset_form), own<A_MOLD>(typeset_mold), E, E,
        /*  9 */ own<A_COMPARE>(typeset_compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, own<A_AND>(typeset_and), own<A_COMPLEMENT>(typeset_complement),
        own<A_OR>(typeset_or), own<A_XOR>(typeset_xor),
        /* 25 */ E, E, E, E, E, E, own<A_FIND>(typeset_find), E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_TYPESET, 0, "typeset!", slots);
}

}  // namespace zun::typeset
