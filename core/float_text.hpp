// Conversion between doubles and decimal text: the shortest digits that read
// back to the same double (or a given number of correctly rounded digits), the
// layout molding writes, and the correctly rounded decimal parser.
//
// Our own arbitrary-precision code; nothing here allocates on the heap. The
// common cases run on 128-bit fixed-point products and fall back to exact big
// integers only when those cannot decide the rounding.
#pragma once
#include <cstdint>

namespace zun::dtoa {

constexpr int DECPT_SPECIAL = 9999;  // infinity or NaN: the text is ready-made
constexpr int DECPT_ZERO = 9998;     // either zero: the text is ready-made
constexpr int MAX_DIGITS = 30;       // a larger digit count is taken as this

// Digits d1..dn standing for 0.d1...dn x 10^decpt (n >= 1, no trailing zero).
struct Decimal {
    char digits[MAX_DIGITS + 1];  // NUL-terminated
    int length;
    int decpt;
};

// The magnitude of a finite, non-zero double. ndigits <= 0: the shortest digits
// that read back to exactly the value (the closest such, a tie going to the
// even digit); ndigits > 0: that many significant digits, correctly rounded,
// ties to even.
void to_decimal(double value, int ndigits, Decimal* out);

// As to_decimal, and also for zero, infinity and NaN (decpt 9998 or 9999 and a
// ready-made text: "1.#NaN", "1.#INF", "-1.#INF", "0.0"/"-0.0" with point_zero
// else "0"/"-0"). The text of a negative value starts with '-'; length counts
// the digits only; sign is 1 for a negative value, -0.0 included. Static
// buffer: valid until the next call.
const char* dtoa(double value, int ndigits, int* decpt, int* sign, int* length, bool point_zero);

// The text molding writes: plain notation for decimal exponents -6 .. 17, else
// d.ddde-n; a text that would end in '.' gets "0" after it with point_zero, else
// loses the point. Static buffer: valid until the next call.
const char* form_float(double value, int ndigits, bool point_zero);

// Parses [start, end): optional sign, digits, optional '.' and fraction,
// optional exponent, and the "1.#INF" / "1.#NaN" forms. The decimal exponent
// is shifted by exponent_adjust (-2 reads a percentage). *rest gets the bytes
// left after the number (the whole range when there were no digits).
// Correctly rounded; overflow gives an infinity, underflow zero.
double strtod(const uint8_t* start, const uint8_t* end, int exponent_adjust, int* rest);

namespace detail {
// The big-integer digit generator alone (the fast path skipped), for checks.
void to_decimal_exact(double value, int ndigits, Decimal* out);
// floor(log10(2^e)) for |e| <= 1700.
inline int floor_log10_pow2(int e) { return int((int64_t(e) * 1292913986) >> 32); }
}  // namespace detail

}  // namespace zun::dtoa
