// Fast paths of integer math, comparisons, pick by integer and block
// navigation: the common case (integer! operands, a block!) is worked out
// here with no call frame; anything else goes to the generic action inside a
// native frame named by the word the caller passes, so error reports and
// stack listings name the operation the source used.
//
// Every entry takes the op code first and the frame word second. A result
// that is pushed is a new cell on top of the value stack. An op code outside
// its table stops the runtime (fatal error 101).
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "interpreter/stack.hpp"

namespace zun::actions {

// Math op codes (3 and 4 are not used: division and remainder always go
// through the actions).
enum FastMath : int { FAST_ADD = 0, FAST_SUBTRACT = 1, FAST_MULTIPLY = 2, FAST_OR = 5, FAST_AND = 6, FAST_XOR = 7 };
// Comparison op codes: the comparison modes 0 to 6.
enum FastCompare : int {
    FAST_EQUAL = 0, FAST_NOT_EQUAL, FAST_STRICT_EQUAL, FAST_LESSER, FAST_LESSER_OR_EQUAL, FAST_GREATER,
    FAST_GREATER_OR_EQUAL
};
// Series op codes.
enum FastSeries : int {
    FAST_LENGTH_Q = 1, FAST_INDEX_Q, FAST_HEAD_Q, FAST_TAIL_Q, FAST_NEXT, FAST_BACK, FAST_HEAD, FAST_TAIL
};

// The common cases alone, for callers that keep their own frames: true when
// handled, with the result in *out (which may be one of the operands).
// The operands are not checked beyond their types; an op code outside its
// table is fatal.
inline bool fast_math_core(int op, const Cell* left, const Cell* right, Cell* out);
inline bool fast_compare_core(int op, const Cell* left, const Cell* right, bool* truth);
// Any index the pick action takes on a block!: 0, before the buffer or past
// the tail gives none!.
bool fast_pick_core(const Cell* series, int32_t index, Cell* out);
// The cell pick gives for a block! and an integer: none! at 0, before the
// buffer or past its tail. Good until the next allocation.
inline const Cell* block_pick(const Cell& block, int32_t index) {
    memory::SeriesBuffer* b = memory::buffer_of(block.data2);
    const int64_t at = int64_t(int32_t(block.data1)) + (index > 0 ? index - 1 : index);
    if (index == 0 || at < 0 || at >= int64_t(b->used() / sizeof(Cell))) return &shared_none_cell;
    return b->head_cell() + at;
}
bool fast_series_core(int op, const Cell* series, Cell* out);

// Math: pushes the result, or replaces the last pushed value (in-place forms,
// whose left operand is that value).
void fast_math(int op, const Cell* word, const Cell* left, const Cell* right);
void fast_math_integer(int op, const Cell* word, const Cell* left, int32_t right);
void fast_math_in_place(int op, const Cell* word, const Cell* right);
inline void fast_math_integer_in_place(int op, const Cell* word, int32_t right);

// Comparisons: a logic! pushed, a machine truth value (the outcome differs
// from invert; the stack is left as it was), a logic! in slot 0 of the
// current call, or a logic! over the last pushed value.
void fast_compare(int op, const Cell* word, const Cell* left, const Cell* right);
void fast_compare_integer(int op, const Cell* word, const Cell* left, int32_t right);
bool fast_compare_test(int op, const Cell* word, const Cell* left, const Cell* right, bool invert);
bool fast_compare_integer_test(int op, const Cell* word, const Cell* left, int32_t right, bool invert);
void fast_compare_to_result(int op, const Cell* word, const Cell* left, const Cell* right);
void fast_compare_integer_to_result(int op, const Cell* word, const Cell* left, int32_t right);
void fast_compare_in_place(int op, const Cell* word, const Cell* right);
inline void fast_compare_integer_in_place(int op, const Cell* word, int32_t right);

// pick with a 1-based integer, and the series ops: the result pushed.
void fast_pick_index(const Cell* series, int32_t index, const Cell* word);
void fast_series_op(const Cell* series, int op, const Cell* word);

// ---------------------------------------------------------------- inline parts

[[noreturn]] void fast_bad_op_code();

// The integer cases, inline in the evaluator's operator loop.
inline bool fast_integer_math(int op, int32_t a, int32_t b, Cell* out) {
    switch (op) {
        case FAST_ADD: integer::do_math(a, b, MATH_ADD, out); return true;
        case FAST_SUBTRACT: integer::do_math(a, b, MATH_SUBTRACT, out); return true;
        case FAST_MULTIPLY: integer::do_math(a, b, MATH_MULTIPLY, out); return true;
        case FAST_OR: out->data2 = uint32_t(a | b); return true;
        case FAST_AND: out->data2 = uint32_t(a & b); return true;
        case FAST_XOR: out->data2 = uint32_t(a ^ b); return true;
        default: fast_bad_op_code();
    }
}

inline bool fast_integer_compare(int op, int32_t a, int32_t b) {
    switch (op) {
        case FAST_EQUAL: case FAST_STRICT_EQUAL: return a == b;
        case FAST_NOT_EQUAL: return a != b;
        case FAST_LESSER: return a < b;
        case FAST_LESSER_OR_EQUAL: return a <= b;
        case FAST_GREATER: return a > b;
        case FAST_GREATER_OR_EQUAL: return a >= b;
        default: fast_bad_op_code();
    }
}

bool fast_float_math(int op, const Cell* left, const Cell* right, Cell* out);

inline bool fast_math_core(int op, const Cell* left, const Cell* right, Cell* out) {
    if (left->is(TYPE_INTEGER) && right->is(TYPE_INTEGER)) {
        const int32_t a = left->as_int(), b = right->as_int();
        *out = *left;
        return fast_integer_math(op, a, b, out);
    }
    return fast_float_math(op, left, right, out);
}

inline bool fast_compare_core(int op, const Cell* left, const Cell* right, bool* truth) {
    if (!left->is(TYPE_INTEGER) || !right->is(TYPE_INTEGER)) {
        if (unsigned(op) > unsigned(FAST_GREATER_OR_EQUAL)) fast_bad_op_code();
        return false;
    }
    *truth = fast_integer_compare(op, left->as_int(), right->as_int());
    return true;
}

void fast_math_in_place_slow(int op, const Cell* word, int32_t right);
void fast_compare_in_place_slow(int op, const Cell* word, int32_t right);

inline void fast_math_integer_in_place(int op, const Cell* word, int32_t right) {
    Cell* left = stack::g_top - 1;
    if (left->is(TYPE_INTEGER)) fast_integer_math(op, left->as_int(), right, left);
    else fast_math_in_place_slow(op, word, right);
}

inline void fast_compare_integer_in_place(int op, const Cell* word, int32_t right) {
    Cell* left = stack::g_top - 1;
    if (left->is(TYPE_INTEGER)) *left = logic::make_value(fast_integer_compare(op, left->as_int(), right));
    else fast_compare_in_place_slow(op, word, right);
}

}  // namespace zun::actions
