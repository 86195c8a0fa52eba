// money!: exact decimal amounts with an optional currency.
//
// Cell: header bit 14 the sign (set = negative); the low byte of word 1 the
// currency index (0 = none, else the 1-based position in the locale's currency
// list); the other 11 payload bytes 22 BCD digits, high nibble first, most
// significant first: 17 integer digits, then 5 fraction digits. A zero amount
// ignores its sign bit.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::money {

constexpr int DIGITS = 22;
constexpr int INT_DIGITS = 17;
constexpr int FRACTION_DIGITS = 5;
constexpr uint32_t SIGN_FLAG = 1u << 14;
constexpr int32_t MAX_FRACTION_INT = 99999;

void register_type();

bool get_sign(const Cell* cell);
void set_sign(Cell* cell, bool negative);
inline uint32_t currency(const Cell* cell) { return cell->data1 & 0xFFu; }
void set_currency(Cell* cell, uint32_t index);
// 1-based position of the symbol (compared as canonical symbols) in the
// currency list, or -1.
int32_t currency_index(uint32_t symbol);
// The same for three letters of text, compared without regard to case.
int32_t currency_index_of_text(const uint8_t* code);

// Script bad-denom with the three letters as a string!.
[[noreturn]] void fire_bad_denom(const uint8_t* code);

// digit_at(cell, 1) is the most significant digit, 17 the units digit.
int digit_at(const Cell* cell, int position);

// Builds a money! from digit runs ("0"-"9" with "'" separators, skipped);
// the currency is three letters or nullptr. Fraction digits past the fifth
// are dropped. Answers nullptr when the currency is not in the list; raises
// script type-limit (money!) when the integer digits do not fit.
Cell* init_from_digits(Cell* cell, bool negative, const uint8_t* currency_text,
                       const uint8_t* digits, uint32_t digit_count, const uint8_t* fraction,
                       uint32_t fraction_count);
// From the 11 amount bytes as stored (ZUNBIN).
Cell* init_cell(Cell* cell, bool negative, uint32_t currency_index, const uint8_t amount[11]);

Cell* push_from_integer(int32_t n);
// Raises script bad-make-arg (money!, the float) for an infinity, NaN,
// |x| >= 1e17, 0 < |x| < 1e-5 and, when strict, more than 5 fraction digits.
Cell* push_from_float(double x, bool strict);
Cell* init_from_float(Cell* cell, double x, bool strict);

// -1, 0 or 1.
int sign(const Cell* cell);
inline bool negative_q(const Cell* cell) { return sign(cell) < 0; }
inline bool zero_q(const Cell* cell) { return sign(cell) == 0; }
inline bool positive_q(const Cell* cell) { return sign(cell) > 0; }

// The integer part, truncated toward zero; script type-limit (integer!) when
// it does not fit 32 bits.
int32_t to_integer(const Cell* cell);
double to_float(const Cell* cell);

// Appends the text of the value; answers part less what was added.
int form_text(const Cell* value, Cell* buffer, int part, bool all, bool grouping);

// Arithmetic on the two arguments of the current call, ops MATH_ADD ..
// MATH_REMAINDER; either argument may be the money!. The result replaces
// argument 0.
void do_math(int op);

// The amount against a float, exactly (the float's shortest digits): floats
// beyond the money range order by sign, then magnitude. A NaN is unequal and
// unordered (1 for the lesser codes, -1 for the greater ones).
int compare_float(const Cell* value, double x, int op);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int compare(Cell* value1, Cell* value2, int op);
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling);

}  // namespace zun::money
