#include "datatypes/logic.hpp"

#include "core/rng.hpp"
#include "core/support.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun {

Cell shared_unset_cell = make_cell(TYPE_UNSET);
Cell shared_none_cell = make_cell(TYPE_NONE);
Cell shared_true_cell = make_cell(TYPE_LOGIC, 1);
Cell shared_false_cell = make_cell(TYPE_LOGIC, 0);

namespace {
// The modes under which two values of these types are equal and sort together.
bool equality_or_sort(int op) {
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
        case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
            return true;
        default:
            return false;
    }
}

// Appends ASCII text, or "#(" text ")" when all is set; answers the characters added.
int append_molded(Cell* buffer, const char* text, int length, bool all) {
    if (all) string::append_c_string(buffer, "#(");
    string::append_c_string(buffer, text);
    if (all) string::append_c_string(buffer, ")");
    return all ? length + 3 : length;
}

Cell* set_result_none() {
    stack::g_base->header = TYPE_NONE;
    return stack::g_base;
}
}  // namespace

}  // namespace zun

namespace zun::unset {

void set_result() { stack::g_base->header = TYPE_UNSET; }
Cell* append_to_block(const Cell* block) {
    Cell* cell = support::append_cell(block);
    cell->header = TYPE_UNSET;
    return cell;
}
Cell* push() {
    Cell* cell = stack::push_cell();
    cell->header = TYPE_UNSET;
    return cell;
}

Cell* make(Cell*, Cell*, int) { return push(); }

int form(Cell*, Cell*, Cell*, int part) { return part; }

int mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int part, int) {
    return part - append_molded(buffer, "unset", 5, all);
}

int compare(Cell*, Cell* value2, int op) {
    if (!value2->is(TYPE_UNSET)) return COMPARE_UNCOMPARABLE;
    return equality_or_sort(op) ? 0 : COMPARE_UNCOMPARABLE;
}

void register_type() {
    shared_unset_cell = make_cell(TYPE_UNSET);
    registry::register_type(
        TYPE_UNSET, 0, "unset!",
        make_slots(own<A_MAKE>(make), E, E, own<A_TO>(make), own<A_FORM>(form),  // 1-10
                   own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare), E,
                   E, E, E, E, E, E, E, E, E, E,  // 11-20
                   E, E, E, E, E, E, E, E, E, E,  // 21-30
                   E, E, E, E, E, E, E, E, E, E,  // 31-40
                   E, E, E, E, E, E, E, E, E, E,  // 41-50
                   E, E, E, E, E, E, E, E, E, E,  // 51-60
                   E, E));
}

}  // namespace zun::unset

namespace zun::none {

void set_result() { set_result_none(); }
Cell* append_to_block(const Cell* block) {
    Cell* cell = support::append_cell(block);
    cell->header = TYPE_NONE;
    return cell;
}
Cell* push() {
    Cell* cell = stack::push_cell();
    cell->header = TYPE_NONE;
    return cell;
}

Cell* make(Cell*, Cell*, int) { return push(); }

int form(Cell*, Cell* buffer, Cell*, int part) {
    string::append_c_string(buffer, "none");
    return part - 4;
}

int mold(Cell*, Cell* buffer, bool, bool all, bool, Cell*, int part, int) {
    return part - append_molded(buffer, "none", 4, all);
}

int compare(Cell*, Cell* value2, int op) {
    if (!value2->is(TYPE_NONE)) return COMPARE_UNCOMPARABLE;
    return equality_or_sort(op) ? 0 : COMPARE_UNCOMPARABLE;
}

Cell* clear(Cell*) { return set_result_none(); }
Cell* find(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool, bool, bool) {
    return set_result_none();
}
int length_q(Cell*) { return -1; }  // the dispatcher answers none
Cell* remove(Cell*, Cell*, Cell*) { return set_result_none(); }
Cell* select(Cell*, Cell*, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    return set_result_none();
}
Cell* take(Cell*, Cell*, bool, bool) { return set_result_none(); }

void register_type() {
    shared_none_cell = make_cell(TYPE_NONE);
    registry::register_type(
        TYPE_NONE, 0, "none!",
        make_slots(own<A_MAKE>(make), E, E, own<A_TO>(make), own<A_FORM>(form),  // 1-10
                   own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare), E,
                   E, E, E, E, E, E, E, E, E, E,  // 11-20
                   E, E, E, E, E, E, E, E, own<A_CLEAR>(clear), E,  // 21-30
                   own<A_FIND>(find), E, E, E, E, own<A_LENGTH_Q>(length_q),  // 31-40
                   E, E, E, E,
                   E, own<A_REMOVE>(remove), E, own<A_SELECT>(select), E, E,  // 41-50
                   E, E, E, own<A_TAKE>(take),
                   E, E, E, E, E, E, E, E, E, E,  // 51-60
                   E, E));
}

}  // namespace zun::none

namespace zun::logic {

void set_result(bool flag) { *stack::g_base = make_value(flag); }
Cell* append_to_block(const Cell* block, bool flag) {
    Cell* cell = support::append_cell(block);
    *cell = make_value(flag);
    return cell;
}
Cell* push(bool flag) {
    Cell* cell = stack::push_cell();
    *cell = make_value(flag);
    return cell;
}

bool true_value_q(const Cell* cell, bool check, const Cell* error_arg) {
    if (check && cell->is(TYPE_UNSET)) support::fire_error(ErrorId::script_no_value, error_arg);
    return !false_value(cell);
}

bool result_true_q() {
    if (stack::g_base->is(TYPE_UNSET)) support::fire_error(ErrorId::script_no_return);
    return !false_value(stack::g_base);
}

bool result_false_q() { return false_value(stack::g_base); }

bool top_false_q() {
    const Cell* top = stack::g_top > stack::g_base ? stack::g_top - 1 : stack::g_base;
    return false_value(top);
}

bool top_true_q() { return !top_false_q(); }

Cell* to(Cell*, Cell* spec, int) {
    if (spec->is(TYPE_LOGIC)) return spec;
    return spec->is(TYPE_NONE) ? &shared_false_cell : &shared_true_cell;
}

Cell* make(Cell* proto, Cell* spec, int type) {
    switch (spec->type()) {
        case TYPE_INTEGER:
            return spec->data2 != 0 ? &shared_true_cell : &shared_false_cell;
        case TYPE_FLOAT:
        case TYPE_PERCENT:  // NaN differs from 0.0, so it gives true
            return spec->as_double() != 0.0 ? &shared_true_cell : &shared_false_cell;
        default:
            return to(proto, spec, type);
    }
}

// With seed the flag word seeds the generator and the value becomes unset!;
// otherwise a draw above 0x3FFFFFFF gives true.
void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(int32_t(value->data1));
        value->set_type(TYPE_UNSET);
        return;
    }
    int32_t draw = secure ? rng::secure_int31() : rng::next();
    value->data1 = draw > 0x3FFFFFFF ? 1 : 0;
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    bool flag = get(value) == 1;
    string::append_c_string(buffer, flag ? "true" : "false");
    return part - (flag ? 4 : 5);
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int part, int) {
    bool flag = get(value) == 1;
    return part - append_molded(buffer, flag ? "true" : "false", flag ? 4 : 5, all);
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_LOGIC) || !equality_or_sort(op)) return COMPARE_UNCOMPARABLE;
    return int(get(value1)) - int(get(value2));
}

Cell* complement(Cell* value) {
    value->data1 ^= 1;
    return value;
}

namespace {
// The word of the action's second parameter needs the action's spec, which
// comes with the evaluator: arg3 is none until then.
[[noreturn]] void fire_expect_logic(const Cell* value2) {
    Cell callee = stack::current_callee_word();
    Cell type = make_cell(TYPE_DATATYPE, value2->type());
    support::fire_error(ErrorId::script_expect_arg, &callee, &type, &shared_none_cell);
}

template <typename Op> void bitwise(Op op) {
    Cell* value1 = stack::argument(0);
    const Cell* value2 = stack::argument(1);
    if (!value2->is(TYPE_LOGIC)) fire_expect_logic(value2);
    value1->data1 = op(value1->data1, value2->data1);
}
}  // namespace

void and_() { bitwise([](uint32_t a, uint32_t b) { return a & b; }); }
void or_() { bitwise([](uint32_t a, uint32_t b) { return a | b; }); }
void xor_() { bitwise([](uint32_t a, uint32_t b) { return a ^ b; }); }

void register_type() {
    shared_true_cell = make_value(true);
    shared_false_cell = make_value(false);
    registry::register_type(
        TYPE_LOGIC, 0, "logic!",
        make_slots(own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(to),  // 1-10
                   own<A_FORM>(form), own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare), E,
                   E, E, E, E, E, E, E, E, E, E,  // 11-20
                   own<A_AND>(and_), own<A_COMPLEMENT>(complement), own<A_OR>(or_),  // 21-30
                   own<A_XOR>(xor_), E, E, E, E, E, E,
                   E, E, E, E, E, E, E, E, E, E,  // 31-40
                   E, E, E, E, E, E, E, E, E, E,  // 41-50
                   E, E, E, E, E, E, E, E, E, E,  // 51-60
                   E, E));
}

}  // namespace zun::logic
