// float!: 64-bit IEEE doubles. Besides the actions, the makers, readers,
// comparisons and text forms that every double-holding type shares (percent!,
// time!, vector!, point2D!, point3D!, tuple! arithmetic), and the shared double
// arithmetic (do_math) that integer! hands its float operands to.
//
// Cell: words 2-3 the double (low half in word 2); word 1 unused.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::float_ {

constexpr uint64_t QUIET_NAN_BITS = uint64_t(0x7FF80000) << 32;
constexpr double MAX_FINITE = 1.7976931348623157e308;
constexpr double ROUNDING_BIAS = 0.49999999999999994;  // the double just below 0.5
constexpr double EPSILON = 2.220446049250313e-16;

// The pretty? and full? fields of system/options/float. pretty? (on at start)
// selects the zero and noise rules of form_text; full? is kept, read by nothing.
extern bool g_pretty;
extern bool g_full;

void register_type();

// Makers and readers.
inline double get(const Cell* cell) { return cell->as_double(); }
// Keeps the header flags.
inline Cell* init_cell(Cell* cell, double value) {
    cell->set_type(TYPE_FLOAT);
    cell->data1 = 0;
    cell->set_double(value);
    return cell;
}
inline Cell make_value(double value, uint32_t type = TYPE_FLOAT) {
    Cell cell = make_cell(type);
    cell.set_double(value);
    return cell;
}
void set_result(double value);
Cell* push(double value);
Cell* push_halves(uint32_t high, uint32_t low);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, double value);

double abs_(uint32_t low, uint32_t high);
// Adds ROUNDING_BIAS and truncates toward zero; NaN and values outside the
// 32-bit range give -2147483648.
int32_t to_int32(double value);
bool nan_q(uint32_t low, uint32_t high);
inline bool nan_single_q(float value) { return value != value; }
bool special_q(double value);  // an infinity or NaN

// The shared equality: within EPSILON, or at most 10 units in the last place
// apart. Never for NaN.
bool almost_equal_q(double a, double b);
bool almost_equal32_q(float a, float b);

// left op right for ops 0 add .. 4 remainder (IEEE: no errors); another op
// raises script cannot-use naming the called function and float!.
double do_math(double left, double right, int op);
// Arithmetic on the two arguments of the current call: argument 0 an
// integer!, float!, percent! or time!; the result replaces argument 0.
Cell* math_op(int op);

// Text kinds of form_text.
enum TextKind : int {
    TEXT_SINGLE = 0,          // 32-bit vector! elements
    TEXT_FLOAT = 1,           // form of float!, 64-bit vector! elements
    TEXT_SINGLE_PERCENT = 2,  // 32-bit percent vector! elements (value x 100)
    TEXT_PERCENT = 3,         // percent! (value x 100)
    TEXT_TIME = 4,            // time! seconds
    TEXT_POINT = 5            // point2D! and point3D! coordinates
};
// The text of `form` for a kind; static buffer, valid until the next call.
const char* form_text(double value, int kind);

// A random double in [0, x] (x itself comes out for the largest draw).
double random_float(double x, bool secure);

// Actions. make also serves `to`; the target is float! or percent!.
Cell* make(Cell* proto, Cell* spec, int type);
void random(Cell* value, bool seed, bool secure, bool only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
void negate(Cell* number);
void round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
           bool half_ceiling);
bool even_q(Cell* number);
bool odd_q(Cell* number);
// Stack handlers: value 1 at the arguments base, value 2 in the next cell.
void absolute();
void add();
void subtract();
void multiply();
void divide();
void remainder();
void power();

}  // namespace zun::float_

namespace zun::trig {
// Reduces an angle in degrees for sine (mode 2), cosine and tangent (mode 0)
// and answers it in radians.
double degrees_to_radians(double degrees, int mode);
}  // namespace zun::trig
