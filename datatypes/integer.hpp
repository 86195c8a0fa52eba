// integer!: 32-bit signed integers. Besides the actions, the makers and readers
// every module uses and the shared 32-bit arithmetic routine (do_math) that the
// numeric types and the compiled fast paths call.
//
// Cell: word 2 the value; words 1 and 3 unused.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun {

// Operation codes of the numeric types' shared arithmetic routines.
enum MathOp : int {
    MATH_ADD = 0, MATH_SUBTRACT, MATH_MULTIPLY, MATH_DIVIDE, MATH_REMAINDER, MATH_OR, MATH_AND,
    MATH_XOR
};

}  // namespace zun

namespace zun::integer {

void register_type();

// Makers and readers.
inline int32_t get(const Cell* cell) { return int32_t(cell->data2); }
// Keeps the header flags.
inline Cell* init_cell(Cell* cell, int32_t value) {
    cell->set_type(TYPE_INTEGER);
    cell->data1 = 0;
    cell->data2 = uint32_t(value);
    cell->data3 = 0;
    return cell;
}
Cell* push(int32_t value);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, int32_t value);
void set_result(int32_t value);
int32_t get_result();          // word 2 of the result slot, whatever its type
int32_t get_result_or_zero();  // 0 unless the result slot holds an integer!

inline int32_t sign(int32_t n) { return (n > 0) - (n < 0); }
// |n|; math overflow for -2147483648.
int32_t abs_checked(int32_t n);
// True when the double of a float-like cell is NaN or lies outside
// -2147483648.0 .. 2147483647.0 (so 2147483647.5 is out of range).
bool out_of_range_q(const Cell* float_cell);
// Decimal text in a static buffer, good until the next call.
const char* form_decimal(int32_t n);

// Conversions other types use.
int32_t from_binary(const Cell* binary);  // up to 4 bytes from the head, big-endian
int32_t from_hex(const Cell* issue);      // script invalid-data unless 1-8 hex digits
int32_t from_money(const Cell* money);

// Cold paths of do_math; they never return.
[[noreturn]] void fire_zero_divide();
[[noreturn]] void fire_overflow();
[[noreturn]] void bad_operation();  // an unknown operation code stops the runtime
// The result cell becomes a float! holding the value; answers 0.
int32_t promote(Cell* result, double value);

// left op right. An add, subtract or multiply that overflows makes the result
// cell a float! holding the nearest double of the true result and answers 0;
// without a result cell it wraps modulo 2^32 (vector! arithmetic wants that).
// A divide that leaves a remainder makes the result cell a float! of the
// quotient; without a result cell it truncates. Division and remainder by 0
// raise math zero-divide, -2147483648 by -1 math overflow. A result that stays
// an integer goes to word 2 of the result cell (its type is left alone).
inline int32_t do_math(int32_t left, int32_t right, int op, Cell* result) {
    int32_t r;
    switch (op) {
        case MATH_ADD:
            if (__builtin_add_overflow(left, right, &r) && result)
                return promote(result, double(left) + double(right));
            break;
        case MATH_SUBTRACT:
            if (__builtin_sub_overflow(left, right, &r) && result)
                return promote(result, double(left) - double(right));
            break;
        case MATH_MULTIPLY:
            if (__builtin_mul_overflow(left, right, &r) && result)
                return promote(result, double(left) * double(right));
            break;
        case MATH_DIVIDE:
        case MATH_REMAINDER:
            if (right == 0) fire_zero_divide();
            if (right == -1 && left == INT32_MIN) fire_overflow();
            r = op == MATH_DIVIDE ? left / right : left % right;
            if (op == MATH_DIVIDE && result && left % right != 0)
                return promote(result, double(left) / double(right));
            break;
        case MATH_OR: r = left | right; break;
        case MATH_AND: r = left & right; break;
        case MATH_XOR: r = left ^ right; break;
        default: [[unlikely]]
            bad_operation();
    }
    if (result) result->data2 = uint32_t(r);
    return r;
}

// Applies op to the two arguments of the current call (argument 0 an
// integer!); the result replaces argument 0.
void math_op(int op);
// Power by squaring for exponent >= 0; false when a product overflows.
bool int_power(int32_t base, int32_t exponent, int32_t* result);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
void random(Cell* value, bool seed, bool secure, bool only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
void absolute();
void negate(Cell* number);
void power();
void round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
           bool half_ceiling);
bool even_q(Cell* number);
bool odd_q(Cell* number);
Cell* complement(Cell* value);
// Stack handlers: value 1 at the arguments base, value 2 in the next cell.
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();

}  // namespace zun::integer
