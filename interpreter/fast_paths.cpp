#include "interpreter/fast_paths.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::actions {

namespace {

constexpr int BAD_OP_CODE = 101;

// The action slot behind each math op code; 0 for the codes not used.
constexpr int MATH_SLOTS[8] = {A_ADD, A_SUBTRACT, A_MULTIPLY, 0, 0, A_OR, A_AND, A_XOR};
constexpr int SERIES_SLOTS[9] = {0,      A_LENGTH_Q, A_INDEX_Q, A_HEAD_Q, A_TAIL_Q,
                                 A_NEXT, A_BACK,     A_HEAD,    A_TAIL};

[[noreturn]] void bad_op_code() { fast_bad_op_code(); }

inline int math_slot(int op) {
    if (unsigned(op) > 7 || !MATH_SLOTS[op]) bad_op_code();
    return MATH_SLOTS[op];
}
inline int series_slot(int op) {
    if (op < FAST_LENGTH_Q || op > FAST_TAIL) bad_op_code();
    return SERIES_SLOTS[op];
}

// The generic action of `slot` on the cells pushed after a native frame
// named by word; the result is left on top where the frame's slot 0 was.
void call_action(int slot, const Cell* word, const Cell* first, const Cell* second) {
    const Cell a = *first;  // the operands may lie on the stack above the new frame
    const Cell b = second ? *second : Cell{};
    stack::push_native_frame(word);
    stack::push(&a);
    if (second) stack::push(&b);
    static const int32_t unused[4] = {-1, -1, -1, -1};  // none of these actions has refinements
    if (Flow flow = g_dispatch_table[slot - 1](0, unused); flow != Flow::normal) raise_flow(flow);
    stack::pop_frame();
}

// The comparison of mode op on two pushed operands under a native frame;
// the logic! is left on top.
void call_compare(int op, const Cell* word, const Cell* left, const Cell* right) {
    const Cell a = *left, b = *right;
    stack::push_native_frame(word);
    stack::push(&a);
    stack::push(&b);
    compare_arguments(op);
    stack::pop_frame();
}

// The last pushed value (the left operand of the in-place forms) gets the
// value on top, which is dropped.
void replace_last() {
    stack::g_top[-2] = stack::g_top[-1];
    stack::g_top--;
}

bool compare_cells(int op, const Cell* word, const Cell* left, const Cell* right) {
    bool truth;
    if (fast_compare_core(op, left, right, &truth)) return truth;
    call_compare(op, word, left, right);
    truth = !logic::false_value(stack::g_top - 1);
    stack::g_top--;
    return truth;
}

}  // namespace

void fast_bad_op_code() { runtime::fatal(BAD_OP_CODE); }

// ---------------------------------------------------------------- cores

bool fast_float_math(int op, const Cell* left, const Cell* right, Cell* out) {
    math_slot(op);
    if (!left->is(TYPE_FLOAT) || !right->is(TYPE_FLOAT) || op > FAST_MULTIPLY) return false;
    const double a = left->as_double(), b = right->as_double();
    *out = *left;
    out->data1 = 0;
    out->set_double(op == FAST_ADD ? a + b : op == FAST_SUBTRACT ? a - b : a * b);
    return true;
}

bool fast_pick_core(const Cell* series, int32_t index, Cell* out) {
    if (!series->is(TYPE_BLOCK)) return false;
    *out = *block_pick(*series, index);
    return true;
}

bool fast_series_core(int op, const Cell* series, Cell* out) {
    series_slot(op);
    if (!series->is(TYPE_BLOCK)) return false;
    const int32_t total = int32_t(memory::buffer_of(series->data2)->used() / sizeof(Cell));
    const int32_t head = int32_t(series->data1);
    switch (op) {
        case FAST_LENGTH_Q: *out = integer_cell(head <= total ? total - std::max(head, 0) : 0); return true;
        case FAST_INDEX_Q: *out = integer_cell(int32_t(int64_t(head) + 1)); return true;
        case FAST_HEAD_Q: *out = logic::make_value(head == 0); return true;
        case FAST_TAIL_Q: *out = logic::make_value(head >= total); return true;
        default: break;
    }
    Cell moved = *series;
    switch (op) {
        case FAST_NEXT: if (head + 1 >= 0 && head + 1 <= total) moved.data1 = uint32_t(head + 1); break;
        case FAST_BACK: if (head > 0) moved.data1 = uint32_t(head - 1); break;
        case FAST_HEAD: moved.data1 = 0; break;
        default: moved.data1 = uint32_t(total); break;
    }
    *out = moved;
    return true;
}

// ---------------------------------------------------------------- math

void fast_math(int op, const Cell* word, const Cell* left, const Cell* right) {
    Cell result;
    if (fast_math_core(op, left, right, &result)) stack::push(&result);
    else call_action(math_slot(op), word, left, right);
}

void fast_math_integer(int op, const Cell* word, const Cell* left, int32_t right) {
    const Cell r = integer_cell(right);
    Cell result;
    if (left->is(TYPE_INTEGER) && fast_math_core(op, left, &r, &result)) stack::push(&result);
    else call_action(math_slot(op), word, left, &r);
}

void fast_math_in_place(int op, const Cell* word, const Cell* right) {
    Cell* left = stack::g_top - 1;
    if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER)) {
        fast_math_core(op, left, right, left);
        return;
    }
    call_action(math_slot(op), word, left, right);
    replace_last();
}

void fast_math_in_place_slow(int op, const Cell* word, int32_t right) {
    const Cell r = integer_cell(right);
    fast_math_in_place(op, word, &r);
}

// ---------------------------------------------------------------- comparisons

void fast_compare(int op, const Cell* word, const Cell* left, const Cell* right) {
    bool truth;
    if (!fast_compare_core(op, left, right, &truth)) return call_compare(op, word, left, right);
    const Cell result = logic::make_value(truth);
    stack::push(&result);
}

void fast_compare_integer(int op, const Cell* word, const Cell* left, int32_t right) {
    const Cell r = integer_cell(right);
    fast_compare(op, word, left, &r);
}

bool fast_compare_test(int op, const Cell* word, const Cell* left, const Cell* right, bool invert) {
    return compare_cells(op, word, left, right) != invert;
}

bool fast_compare_integer_test(int op, const Cell* word, const Cell* left, int32_t right, bool invert) {
    const Cell r = integer_cell(right);
    return compare_cells(op, word, left, &r) != invert;
}

void fast_compare_to_result(int op, const Cell* word, const Cell* left, const Cell* right) {
    const bool truth = compare_cells(op, word, left, right);
    *stack::g_base = logic::make_value(truth);
}

void fast_compare_integer_to_result(int op, const Cell* word, const Cell* left, int32_t right) {
    const Cell r = integer_cell(right);
    fast_compare_to_result(op, word, left, &r);
}

void fast_compare_in_place(int op, const Cell* word, const Cell* right) {
    Cell* left = stack::g_top - 1;
    *left = logic::make_value(compare_cells(op, word, left, right));
}

void fast_compare_in_place_slow(int op, const Cell* word, int32_t right) {
    const Cell r = integer_cell(right);
    fast_compare_in_place(op, word, &r);
}

// ---------------------------------------------------------------- series

void fast_pick_index(const Cell* series, int32_t index, const Cell* word) {
    Cell result;
    if (fast_pick_core(series, index, &result)) {
        stack::push(&result);
        return;
    }
    const Cell i = integer_cell(index);
    call_action(A_PICK, word, series, &i);
}

void fast_series_op(const Cell* series, int op, const Cell* word) {
    Cell result;
    if (fast_series_core(op, series, &result)) stack::push(&result);
    else call_action(series_slot(op), word, series, nullptr);
}

}  // namespace zun::actions
