#include "datatypes/float.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <utility>

#include "core/float_text.hpp"
#include "core/memory.hpp"
#include "core/rng.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/money.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/vector.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::float_ {

bool g_pretty = true;
bool g_full = false;

namespace {

constexpr int ACTION_OF_OP[] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE, A_REMAINDER};
constexpr const char* OP_NAMES[] = {"add", "subtract", "multiply", "divide", "remainder"};
constexpr uint64_t SIGN_BIT = uint64_t(1) << 63;

uint64_t bits_of(double d) { return std::bit_cast<uint64_t>(d); }
double quiet_nan() { return std::bit_cast<double>(QUIET_NAN_BITS); }

using support::datatype_cell;

// A global word; none until words can be made.
Cell word_named(const char* name) {
    return symbols::ready() ? *word::make_global(name) : shared_none_cell;
}

using support::fire_invalid_type;

[[noreturn]] void fire_not_related(const Cell& word, uint32_t type) {
    Cell datatype = datatype_cell(type);
    support::fire_error(ErrorId::script_not_related, &word, &datatype);
}

[[noreturn]] void fire_bad_to(int type, const Cell* spec) {
    Cell datatype = datatype_cell(uint32_t(type));
    support::fire_error(ErrorId::script_bad_to_arg, &datatype, spec);
}

[[noreturn]] void fire_overflow() { support::fire_error(ErrorId::math_overflow); }

// Truncation toward zero as the processor does it: NaN and out-of-range
// values give -2147483648.
int32_t truncate32(double d) {
    return d > -2147483649.0 && d < 2147483648.0 ? int32_t(d) : INT32_MIN;
}

using StackFn = void (*)();

StackFn math_slot(uint32_t type, int op) {
    AnyHandler fn = registry::entry(type, ACTION_OF_OP[op]);
    if (!fn) fire_invalid_type(type);
    return reinterpret_cast<StackFn>(fn);
}

// ---------------------------------------------------------------- make and to

// [mantissa exponent]: mantissa x 10^exponent, the exponent truncated.
bool from_block(Cell* spec, double* out) {
    if (block::length_from_head(spec) != 2) return false;
    const Cell* cells = block::cell_at(spec, block::head_index(spec));
    double parts[2];
    for (int i = 0; i < 2; i++) {
        if (cells[i].is(TYPE_INTEGER)) parts[i] = double(cells[i].as_int());
        else if (cells[i].is(TYPE_FLOAT)) parts[i] = cells[i].as_double();
        else return false;
    }
    *out = parts[0] * std::pow(10.0, std::trunc(parts[1]));
    return true;
}

// Up to 8 bytes from the head, big-endian: the bit pattern of the double.
double from_binary(const Cell* binary) {
    const memory::SeriesBuffer* buffer = memory::buffer_of(binary->data2);
    int64_t head = int32_t(binary->data1);
    if (head < 0) head = 0;
    int64_t length = int64_t(buffer->used()) - head;
    const uint8_t* p = buffer->data() + buffer->head + head;
    uint64_t bits = 0;
    for (int64_t i = 0; i < length && i < 8; i++) bits = bits << 8 | p[i];
    return std::bit_cast<double>(bits);
}

// ---------------------------------------------------------------- text

struct KindFormat {
    int precision;  // of "%.<n>g"; 0: the molding layout with 6 digits
    int retry;
    bool point;    // ".0" added to a text without a point
    bool percent;  // "%" appended
    const char* zero;
};
constexpr KindFormat KIND_FORMATS[] = {
    {7, 5, true, false, "0.0"},  {16, 14, true, false, "0.0"}, {7, 14, false, true, "0%"},
    {13, 14, false, true, "0%"}, {0, 5, false, false, "0.0"},  {7, 5, false, false, "0"},
};

char* write_exponent(char* p, int x) {
    *p++ = 'e';
    if (x < 0) {
        *p++ = '-';
        x = -x;
    }
    char digits[8];
    int n = 0;
    do digits[n++] = char('0' + x % 10);
    while (x /= 10);
    while (n) *p++ = digits[--n];
    return p;
}

// printf's "%.<precision>g" (correctly rounded, ties to even), the exponent
// already without '+' and leading zeros. Answers the length.
int format_g(double value, int precision, char* out) {
    char* p = out;
    if (std::signbit(value)) *p++ = '-';
    if (value == 0) {
        *p++ = '0';
        *p = 0;
        return int(p - out);
    }
    dtoa::Decimal d;
    dtoa::to_decimal(value, precision, &d);
    int x = d.decpt - 1;
    if (x < -4 || x >= precision) {
        *p++ = d.digits[0];
        if (d.length > 1) {
            *p++ = '.';
            std::memcpy(p, d.digits + 1, size_t(d.length - 1));
            p += d.length - 1;
        }
        p = write_exponent(p, x);
    } else if (d.decpt <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -d.decpt; i++) *p++ = '0';
        std::memcpy(p, d.digits, size_t(d.length));
        p += d.length;
    } else if (d.decpt < d.length) {
        std::memcpy(p, d.digits, size_t(d.decpt));
        p += d.decpt;
        *p++ = '.';
        std::memcpy(p, d.digits + d.decpt, size_t(d.length - d.decpt));
        p += d.length - d.decpt;
    } else {
        std::memcpy(p, d.digits, size_t(d.length));
        p += d.length;
        for (int i = d.length; i < d.decpt; i++) *p++ = '0';
    }
    *p = 0;
    return int(p - out);
}

// A long text ending in "01" or "99" (before any exponent) is taken for
// binary noise.
bool noisy(const char* text, int length) {
    const char* e = static_cast<const char*>(std::memchr(text, 'e', size_t(length)));
    int end;
    if (e) {
        end = int(e - text);
        if (end <= 16) return false;
    } else {
        const char* t = text + (text[0] == '-');
        if (length <= (t[0] == '0' ? 17 : 16)) return false;
        end = length;
    }
    if (end < 2) return false;
    char a = text[end - 2], b = text[end - 1];
    return (a == '0' && b == '1') || (a == '9' && b == '9');
}

int append_text(Cell* buffer, const char* text, int part) {
    string::append_c_string(buffer, text);
    return part - int(std::strlen(text));
}

// ---------------------------------------------------------------- comparison

uint64_t ordered64(double d) {
    uint64_t bits = bits_of(d);
    return (bits & SIGN_BIT) ? uint64_t(0) - bits : bits | SIGN_BIT;
}

uint32_t ordered32(float f) {
    uint32_t bits = std::bit_cast<uint32_t>(f);
    return (bits & 0x80000000u) ? 0u - bits : bits | 0x80000000u;
}

// value1 against a money!, exactly. A NaN answers unordered whichever side it
// is on; otherwise the money's order against the float, reversed.
int compare_money(Cell* value1, Cell* value2, int op) {
    const double d = value1->as_double();
    if (std::isnan(d)) return money::compare_float(value2, d, op);
    return -money::compare_float(value2, d, op);
}

// ---------------------------------------------------------------- rounding

struct RoundMode {
    bool even, down, half_down, floor, ceiling, half_ceiling;
};

double round_quotient(double q, const RoundMode& mode) {
    double t = std::fabs(q);
    bool negative = q < 0;
    auto with_sign = [negative](double x) { return negative ? -x : x; };
    if (mode.down) return with_sign(std::floor(t));
    if (mode.floor) return std::floor(q);
    if (mode.ceiling) return std::ceil(q);
    double low = std::floor(t);
    double half = low + 0.5;
    if (t < half) return with_sign(low);
    if (t > half) return with_sign(std::ceil(t));
    if (mode.even) return with_sign(std::fmod(t, 2.0) >= 1.0 ? std::ceil(t) : low);
    if (mode.half_down) return with_sign(low);
    if (mode.half_ceiling) return std::ceil(q);
    return with_sign(std::ceil(t));
}

// value rounded to a multiple of scale, |value| x 2^-53 <= scale.
double round_to_scale(double value, double scale, const RoundMode& mode) {
    if (scale >= 1.0) {
        double r = round_quotient(value / scale, mode) * scale;
        if (std::isinf(r)) fire_overflow();
        return r;
    }
    // The reciprocal of a scale this small may not be finite: work at the
    // scale's own binary exponent, where both stay exact, and come back after.
    int shift = 0;
    if (std::ilogb(scale) < -1021) {
        shift = -std::ilogb(scale);
        value = std::ldexp(value, shift);
        scale = std::ldexp(scale, shift);
    }
    double reciprocal = 1.0 / scale;
    double r = round_quotient(value * reciprocal, mode) / reciprocal;
    return shift ? std::ldexp(r, -shift) : r;
}

}  // namespace

// ---------------------------------------------------------------------------
// Makers and readers

void set_result(double value) { *stack::g_base = make_value(value); }

Cell* push(double value) {
    Cell* cell = stack::push_cell();
    *cell = make_value(value);
    return cell;
}

Cell* push_halves(uint32_t high, uint32_t low) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_FLOAT, 0, low, high);
    return cell;
}

Cell* append_to_block(const Cell* block, double value) {
    Cell* cell = support::append_cell(block);
    *cell = make_value(value);
    return cell;
}

double abs_(uint32_t low, uint32_t high) {
    return std::bit_cast<double>(uint64_t(high & 0x7FFFFFFFu) << 32 | low);
}

int32_t to_int32(double value) { return truncate32(value + ROUNDING_BIAS); }

bool nan_q(uint32_t low, uint32_t high) {
    return (high & 0x7FF00000u) == 0x7FF00000u && ((high & 0xFFFFFu) | low) != 0;
}

bool special_q(double value) {
    return (bits_of(value) & 0x7FF0000000000000ull) == 0x7FF0000000000000ull;
}

bool almost_equal_q(double a, double b) {
    if (a != a || b != b) return false;
    if (a == b) return true;
    if (std::fabs(a - b) < EPSILON) return true;
    uint64_t ka = ordered64(a), kb = ordered64(b);
    uint32_t ha = uint32_t(ka >> 32), hb = uint32_t(kb >> 32);
    if ((ha > hb ? ha - hb : hb - ha) > 1) return false;
    return (ka > kb ? ka - kb : kb - ka) <= 10;
}

bool almost_equal32_q(float a, float b) {
    if (a != a || b != b) return false;
    if (a == b) return true;
    if (std::fabs(a) >= FLT_MAX || std::fabs(b) >= FLT_MAX) {
        if (std::signbit(a) != std::signbit(b)) return false;
        uint32_t pa = std::bit_cast<uint32_t>(std::fabs(a));
        uint32_t pb = std::bit_cast<uint32_t>(std::fabs(b));
        return (pa > pb ? pa - pb : pb - pa) < 0x100000u;
    }
    uint32_t ka = ordered32(a), kb = ordered32(b);
    return (ka > kb ? ka - kb : kb - ka) <= 10;
}

// ---------------------------------------------------------------------------
// Arithmetic

double do_math(double left, double right, int op) {
    switch (op) {
        case MATH_ADD: return left + right;
        case MATH_SUBTRACT: return left - right;
        case MATH_MULTIPLY: return left * right;
        case MATH_DIVIDE: return left / right;
        case MATH_REMAINDER:
            if (!std::isfinite(right))
                return std::isnan(right) || !std::isfinite(left) ? quiet_nan() : left;
            return std::fmod(left, right);
        default: {
            Cell callee = stack::current_callee_word();
            Cell datatype = datatype_cell(TYPE_FLOAT);
            support::fire_error(ErrorId::script_cannot_use, &callee, &datatype);
        }
    }
}

Cell* math_op(int op) {
    Cell* left = stack::argument(0);
    Cell* right = left + 1;
    uint32_t t1 = left->type(), t2 = right->type();
    switch (t2) {
        case TYPE_INTEGER: case TYPE_CHAR: case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
            break;
        case TYPE_TUPLE: case TYPE_MONEY:
            // Their arithmetic takes a number in the first cell itself.
            if (unsigned(op) > MATH_REMAINDER) fire_invalid_type(t2);
            math_slot(t2, op)();
            return left;
        case TYPE_VECTOR: {
            const Cell scalar = *left;
            *left = *vector::math_scalar(op, right, &scalar, true);
            return left;
        }
        case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D:
            if (t1 == TYPE_TIME) fire_invalid_type(t2);
            if (op == MATH_SUBTRACT || op == MATH_DIVIDE)
                fire_not_related(word_named(OP_NAMES[op]), t2);
            if (op == MATH_ADD || op == MATH_MULTIPLY) {
                StackFn fn = math_slot(t2, op);
                std::swap(*left, *right);
                fn();
                return left;
            }
            fire_invalid_type(t2);
        default:
            fire_invalid_type(t2);
    }
    if (t2 == TYPE_CHAR && (t1 == TYPE_TIME || t1 == TYPE_PERCENT)) fire_invalid_type(t2);
    double a = t1 == TYPE_INTEGER ? double(left->as_int()) : left->as_double();
    double b = t2 == TYPE_INTEGER || t2 == TYPE_CHAR ? double(right->as_int()) : right->as_double();
    uint32_t type;
    if ((t1 == TYPE_TIME) != (t2 == TYPE_TIME)) type = TYPE_TIME;
    else if (t1 == TYPE_PERCENT && t2 != TYPE_PERCENT) type = TYPE_PERCENT;
    else type = t1 == TYPE_INTEGER ? TYPE_FLOAT : t1;
    double result = do_math(a, b, op);
    left->set_type(type);
    left->data1 = 0;
    left->set_double(result);
    return left;
}

void add() { math_op(MATH_ADD); }
void subtract() { math_op(MATH_SUBTRACT); }
void multiply() { math_op(MATH_MULTIPLY); }
void divide() { math_op(MATH_DIVIDE); }
void remainder() { math_op(MATH_REMAINDER); }

void power() {
    Cell* base = stack::argument(0);
    const Cell* exponent = base + 1;
    double e;
    if (exponent->is(TYPE_INTEGER)) e = double(exponent->as_int());
    else if (exponent->is(TYPE_FLOAT)) e = exponent->as_double();
    else {
        // The parameter's spec word needs the action's spec: none until the
        // evaluator exists.
        Cell callee = stack::current_callee_word();
        Cell datatype = datatype_cell(exponent->type());
        support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &shared_none_cell);
    }
    base->set_double(std::pow(base->as_double(), e));
}

void absolute() { stack::argument(0)->data3 &= 0x7FFFFFFFu; }

void negate(Cell* number) { number->set_double(0.0 - number->as_double()); }

bool even_q(Cell* number) { return (truncate32(number->as_double()) & 1) == 0; }
bool odd_q(Cell* number) { return (truncate32(number->as_double()) & 1) != 0; }

void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
           bool half_ceiling) {
    if (scale && scale->is(TYPE_MONEY)) fire_not_related(stack::current_callee_word(), TYPE_MONEY);
    bool percent = value->is(TYPE_PERCENT);
    double v = value->as_double();
    double s = percent ? 0.01 : 1.0;
    if (scale) {
        switch (scale->type()) {
            case TYPE_INTEGER: s = double(scale->as_int()); break;
            case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: s = scale->as_double(); break;
            default: fire_invalid_type(scale->type());
        }
        s = std::fabs(s);
        if (percent) s /= 100.0;
    }
    // Nothing finer than the value's last bit to round to (a zero scale too).
    if (!(s > 0) || s < std::fabs(v) * 0x1p-53) return;
    double r = round_to_scale(v, s, RoundMode{even, down, half_down, floor, ceiling, half_ceiling});
    if (scale && scale->is(TYPE_INTEGER)) {
        if (!(r > -2147483649.0 && r < 2147483648.0)) fire_overflow();
        integer::init_cell(value, int32_t(r));
        return;
    }
    if (scale) value->set_type(scale->type());
    value->set_double(r);
}

// ---------------------------------------------------------------------------
// Conversion, text, comparison, random

Cell* make(Cell*, Cell* spec, int type) {
    double d;
    switch (spec->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
            if (!from_block(spec, &d)) fire_bad_to(type, spec);
            break;
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            if (type == TYPE_PERCENT) {
                const Cell* scanned = support::scan_one_value(spec);
                if (!scanned->is(TYPE_PERCENT) && !scanned->is(TYPE_FLOAT) && !scanned->is(TYPE_INTEGER))
                    fire_bad_to(type, spec);
                d = scanned->is(TYPE_INTEGER) ? double(scanned->as_int()) : scanned->as_double();
                break;
            }
            if (string::length_from_head(spec) == 0 ||
                lexer::scan_float(string::head_pointer(spec), string::length_from_head(spec),
                                  string::buffer_of(spec)->unit(), &d) != lexer::SCAN_OK)
                fire_bad_to(type, spec);
            break;
        case TYPE_CHAR: case TYPE_INTEGER:
            d = double(spec->as_int());
            break;
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
            d = spec->as_double();
            break;
        case TYPE_BINARY:
            d = from_binary(spec);
            break;
        case TYPE_MONEY:
            d = money::to_float(spec);
            break;
        default:
            fire_bad_to(type, spec);
    }
    Cell* result = push(d);
    result->set_type(uint32_t(type));
    return result;
}

const char* form_text(double value, int kind) {
    static char buffer[48];
    uint64_t bits = bits_of(value);
    if ((bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull)
        return (bits & 0xFFFFFFFFFFFFFull) ? "1.#NaN" : (bits & SIGN_BIT) ? "-1.#INF" : "1.#INF";
    const KindFormat& format = KIND_FORMATS[kind];
    if (g_pretty && std::fabs(value) < EPSILON) return format.zero;
    int length;
    if (format.precision == 0) {
        const char* text = dtoa::form_float(value, 6, false);
        length = int(std::strlen(text));
        std::memcpy(buffer, text, size_t(length) + 1);
    } else {
        length = format_g(value, format.precision, buffer);
    }
    if (g_pretty && noisy(buffer, length)) length = format_g(value, format.retry, buffer);
    if (format.percent) {
        buffer[length++] = '%';
        buffer[length] = 0;
    } else if (format.point && !std::memchr(buffer, '.', size_t(length))) {
        char* e = static_cast<char*>(std::memchr(buffer, 'e', size_t(length)));
        size_t at = e ? size_t(e - buffer) : size_t(length);
        std::memmove(buffer + at + 2, buffer + at, size_t(length) - at + 1);
        buffer[at] = '.';
        buffer[at + 1] = '0';
    }
    return buffer;
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    return append_text(buffer, form_text(value->as_double(), TEXT_FLOAT), part);
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int part, int) {
    return append_text(buffer, dtoa::form_float(value->as_double(), 0, true), part);
}

int compare(Cell* value1, Cell* value2, int op) {
    uint32_t t2 = value2->type();
    if ((op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) && t2 != value1->type())
        return 1;
    double a = value1->as_double(), b;
    switch (t2) {
        case TYPE_INTEGER: b = double(value2->as_int()); break;
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: b = value2->as_double(); break;
        case TYPE_MONEY: return compare_money(value1, value2, op);
        default: return COMPARE_UNCOMPARABLE;
    }
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: return almost_equal_q(a, b) ? 0 : 1;
        case COMP_STRICT_EQUAL: return a == b ? 0 : 1;
        case COMP_SAME: return bits_of(a) == bits_of(b) ? 0 : 1;
        default: break;
    }
    if (a != a || b != b) {
        switch (op) {
            case COMP_LESSER: case COMP_LESSER_EQUAL: return 1;
            case COMP_GREATER: case COMP_GREATER_EQUAL: return -1;
            // A NaN matches nothing in a search; sorting keeps it in place.
            case COMP_STRICT_LIT: case COMP_LOOSE_LIT: case COMP_FIND: return 1;
            default: return 0;
        }
    }
    return (a > b) - (a < b);
}

double random_float(double x, bool secure) {
    if (!secure) return double(rng::next()) / 2147483647.0 * x;
    double r1 = double(rng::secure_int31());
    double r2 = double(rng::secure_int31());
    return (r2 + r1 / 2147483647.0) * x / 2147483648.0;
}

void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(int32_t(value->data2 ^ value->data3));
        value->set_type(TYPE_UNSET);
        return;
    }
    value->set_double(random_float(value->as_double(), secure));
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(make), own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare), own<A_ABSOLUTE>(absolute),
        /* 11 */ own<A_ADD>(add), own<A_DIVIDE>(divide), own<A_MULTIPLY>(multiply),
        /* 14 */ own<A_NEGATE>(negate), own<A_POWER>(power), own<A_REMAINDER>(remainder),
        /* 17 */ own<A_ROUND>(round), own<A_SUBTRACT>(subtract), own<A_EVEN_Q>(even_q),
        /* 20 */ own<A_ODD_Q>(odd_q), E, E, E, E, E,
        /* 26 */ E, E, E, E, E, E, E, E,
        /* 34 */ E, E, E, E, E, E, E, E,
        /* 42 */ E, E, E, E, E, E, E, E,
        /* 50 */ E, E, E, E, E, E, E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_FLOAT, 0, "float!", slots);
}

}  // namespace zun::float_

namespace zun::trig {

double degrees_to_radians(double x, int mode) {
    x = std::fmod(x, 360.0);
    if (x > 180.0 || x < -180.0) x += x >= 0 ? -360.0 : 360.0;
    if (x > 90.0 || x < -90.0) {
        if (mode == 0) x += x >= 0 ? -180.0 : 180.0;
        else if (mode == 2) x = x >= 0 ? 180.0 - x : -180.0 - x;
    }
    return x * 3.141592653589793 / 180.0;
}

}  // namespace zun::trig
