#include "datatypes/integer.hpp"

#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/rng.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/date.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/money.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/vector.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::integer {

namespace {
constexpr int BAD_OPERATION = 101;  // runtime error: no value matched in SWITCH
constexpr int32_t UNIX_EPOCH_DAY = 719468;  // day number of 1970-01-01

constexpr int ACTION_OF_OP[] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE,
                                A_REMAINDER, A_OR, A_AND, A_XOR};
constexpr const char* OP_NAMES[] = {"add", "subtract", "multiply", "divide",
                                    "remainder", "or~", "and~", "xor~"};

using support::datatype_cell;

using support::fire_invalid_type;

// The word of an arithmetic action; none until words can be made.
[[noreturn]] void fire_not_related(int op) {
    Cell word = symbols::ready() ? *word::make_global(OP_NAMES[op]) : shared_none_cell;
    Cell datatype = datatype_cell(TYPE_INTEGER);
    support::fire_error(ErrorId::script_not_related, &word, &datatype);
}

[[noreturn]] void fire_type_limit() {
    Cell datatype = datatype_cell(TYPE_INTEGER);
    support::fire_error(ErrorId::script_type_limit, &datatype);
}

[[noreturn]] void fire_bad_to(const Cell* spec) { support::fire_bad_to(TYPE_INTEGER, spec); }

// Truncates toward zero; a NaN or a value that does not fit raises type-limit.
int32_t truncate_checked(double d) {
    if (!(d > -2147483649.0 && d < 2147483648.0)) fire_type_limit();
    return int32_t(d);
}

// Seconds rounded half away from zero. (Adding 0.5 and truncating would take
// -1 second to 0.)
int32_t round_seconds(double seconds) { return truncate_checked(std::round(seconds)); }

// Seconds since 1970-01-01T00:00:00 UTC: the stored time is already UTC.
int32_t date_seconds(const Cell* date) {
    double days = double(date::day_number(date->data1) - UNIX_EPOCH_DAY);
    return round_seconds(days * 86400.0 + date->as_double());
}

inline int order(int32_t a, int32_t b) { return (a > b) - (a < b); }

using StackFn = void (*)();

// The stack handler of another type for an operation; invalid-type naming
// `culprit` when the type has none.
StackFn math_slot(uint32_t type, int op, uint32_t culprit) {
    AnyHandler fn = registry::entry(type, ACTION_OF_OP[op]);
    if (!fn) fire_invalid_type(culprit);
    return reinterpret_cast<StackFn>(fn);
}

// The compound value goes first and the integer second, so the other type's
// own arithmetic runs.
void swap_arguments() { std::swap(*stack::argument(0), *stack::argument(1)); }

// Argument 1 is neither integer! nor char!.
[[gnu::noinline]] void math_with_other(int op) {
    if (unsigned(op) > MATH_XOR) bad_operation();
    uint32_t type = stack::argument(1)->type();
    switch (type) {
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
            // The float arithmetic turns argument 0 into a float! and picks
            // the result type; it has no bitwise operations.
            if (op > MATH_REMAINDER) fire_invalid_type(type);
            return math_slot(TYPE_FLOAT, op, type)();
        case TYPE_MONEY:
            if (op > MATH_REMAINDER) fire_invalid_type(type);
            return math_slot(TYPE_MONEY, op, type)();
        case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D: {
            // Swapped operands would divide the compound value by the integer.
            if (op == MATH_DIVIDE || op == MATH_REMAINDER) fire_not_related(op);
            StackFn fn = math_slot(type, op == MATH_SUBTRACT ? MATH_ADD : op, type);
            swap_arguments();
            if (op == MATH_SUBTRACT) {  // n - p = -p + n
                auto negate_fn = registry::handler<A_NEGATE>(type);
                if (!negate_fn) fire_invalid_type(type);
                negate_fn(stack::argument(0));
            }
            return fn();
        }
        case TYPE_TUPLE: {
            if (op == MATH_SUBTRACT || op == MATH_DIVIDE || op == MATH_REMAINDER)
                fire_not_related(op);
            StackFn fn = math_slot(type, op, type);
            swap_arguments();
            return fn();
        }
        case TYPE_DATE: {
            if (op != MATH_ADD) fire_not_related(MATH_SUBTRACT);
            StackFn fn = math_slot(type, MATH_ADD, type);
            swap_arguments();
            return fn();
        }
        case TYPE_VECTOR: {
            // number op vector: each element becomes number op element
            const Cell scalar = *stack::argument(0);
            *stack::argument(0) = *vector::math_scalar(op, stack::argument(1), &scalar, true);
            return;
        }
        default:
            fire_invalid_type(type);
    }
}

template <int OP> void arithmetic() {
    Cell* left = stack::argument(0);
    const Cell* right = left + 1;
    uint32_t type = right->type();
    if (type == TYPE_INTEGER || type == TYPE_CHAR) [[likely]] {
        do_math(get(left), get(right), OP, left);
        return;
    }
    math_with_other(OP);
}

void float_power(Cell* base, double exponent) {
    double b = double(get(base));
    base->set_type(TYPE_FLOAT);
    base->set_double(std::pow(b, exponent));
}
}  // namespace

// ---------------------------------------------------------------------------
// Makers and readers

Cell* push(int32_t value) {
    Cell* cell = stack::push_cell();
    *cell = integer_cell(value);
    return cell;
}

Cell* append_to_block(const Cell* block, int32_t value) {
    Cell* cell = support::append_cell(block);
    *cell = integer_cell(value);
    return cell;
}

void set_result(int32_t value) { *stack::g_base = integer_cell(value); }
int32_t get_result() { return get(stack::g_base); }
int32_t get_result_or_zero() { return stack::g_base->is(TYPE_INTEGER) ? get(stack::g_base) : 0; }

int32_t abs_checked(int32_t n) {
    if (n == INT32_MIN) fire_overflow();
    return n < 0 ? -n : n;
}

bool out_of_range_q(const Cell* float_cell) {
    double d = float_cell->as_double();
    return !(d >= -2147483648.0 && d <= 2147483647.0);
}

const char* form_decimal(int32_t n) {
    static char text[12];
    if (n == INT32_MIN) return "-2147483648";
    uint32_t rest = uint32_t(n < 0 ? -n : n);
    char* p = text + sizeof text - 1;
    *p = 0;
    do *--p = char('0' + rest % 10);
    while (rest /= 10);
    if (n < 0) *--p = '-';
    return p;
}

int32_t from_binary(const Cell* binary) {
    const memory::SeriesBuffer* buffer = memory::buffer_of(binary->data2);
    int64_t head = int32_t(binary->data1);
    int64_t length = int64_t(buffer->used()) - (head < 0 ? 0 : head);
    const uint8_t* p = buffer->data() + buffer->head + (head < 0 ? 0 : head);
    uint32_t value = 0;
    for (int64_t i = 0; i < length && i < 4; i++) value = value << 8 | p[i];
    return int32_t(value);
}

int32_t from_hex(const Cell* issue) {
    std::string_view text = symbol::name(issue->data2);
    if (text.empty() || text.size() > 8) support::fire_error(ErrorId::script_invalid_data, issue);
    uint32_t value = 0;
    for (char c : text) {
        uint32_t digit;
        if (c >= '0' && c <= '9') digit = uint32_t(c - '0');
        else if (c >= 'A' && c <= 'F') digit = uint32_t(c - 'A' + 10);
        else if (c >= 'a' && c <= 'f') digit = uint32_t(c - 'a' + 10);
        else support::fire_error(ErrorId::script_invalid_data, issue);
        value = value << 4 | digit;
    }
    return int32_t(value);
}

int32_t from_money(const Cell* spec) { return money::to_integer(spec); }

// ---------------------------------------------------------------------------
// Arithmetic

void fire_zero_divide() { support::fire_error(ErrorId::math_zero_divide); }
void fire_overflow() { support::fire_error(ErrorId::math_overflow); }
void bad_operation() { runtime::fatal(BAD_OPERATION); }

int32_t promote(Cell* result, double value) {
    result->set_type(TYPE_FLOAT);
    result->set_double(value);
    return 0;
}

void math_op(int op) {
    Cell* left = stack::argument(0);
    const Cell* right = left + 1;
    if (right->is(TYPE_INTEGER) || right->is(TYPE_CHAR)) do_math(get(left), get(right), op, left);
    else math_with_other(op);
}

void add() { arithmetic<MATH_ADD>(); }
void subtract() { arithmetic<MATH_SUBTRACT>(); }
void multiply() { arithmetic<MATH_MULTIPLY>(); }
void divide() { arithmetic<MATH_DIVIDE>(); }
void remainder() { arithmetic<MATH_REMAINDER>(); }
void or_() { arithmetic<MATH_OR>(); }
void and_() { arithmetic<MATH_AND>(); }
void xor_() { arithmetic<MATH_XOR>(); }

bool int_power(int32_t base, int32_t exponent, int32_t* result) {
    int32_t r = 1;
    while (exponent != 0) {
        if ((exponent & 1) && __builtin_mul_overflow(r, base, &r)) return false;
        exponent >>= 1;
        if (exponent > 0 && __builtin_mul_overflow(base, base, &base)) return false;
    }
    *result = r;
    return true;
}

// A float! exponent, a negative one or an overflow hands the call to the
// system pow on doubles, as float! power does.
void power() {
    Cell* base = stack::argument(0);
    const Cell* exponent = stack::argument(1);
    if (exponent->is(TYPE_INTEGER)) {
        int32_t e = get(exponent);
        int32_t r;
        if (e >= 0 && int_power(get(base), e, &r)) {
            base->data2 = uint32_t(r);
            return;
        }
        return float_power(base, double(e));
    }
    if (exponent->is(TYPE_FLOAT)) return float_power(base, exponent->as_double());
    // The parameter's spec word needs the action's spec: none until the
    // evaluator exists.
    Cell callee = stack::current_callee_word();
    Cell datatype = datatype_cell(exponent->type());
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &shared_none_cell);
}

void absolute() {
    Cell* value = stack::argument(0);
    value->data2 = uint32_t(abs_checked(get(value)));
}

void negate(Cell* number) {
    int32_t n = get(number);
    if (n == INT32_MIN) fire_overflow();
    number->data2 = uint32_t(-n);
}

Cell* complement(Cell* value) {
    value->data2 = ~value->data2;
    return value;
}

bool even_q(Cell* number) { return (number->data2 & 1) == 0; }
bool odd_q(Cell* number) { return (number->data2 & 1) != 0; }

// The result is checked once the refinements have chosen it, so a floor or
// ceiling that fits never overflows.
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    if (scale && scale->is(TYPE_MONEY)) {
        Cell callee = stack::current_callee_word();
        Cell datatype = datatype_cell(TYPE_MONEY);
        support::fire_error(ErrorId::script_not_related, &callee, &datatype);
    }
    int32_t n = get(value);
    if (n == INT32_MIN) return;
    int64_t s = 1;
    if (scale) {
        if (!scale->is(TYPE_INTEGER)) {
            promote(value, double(n));
            return registry::handler<A_ROUND>(TYPE_FLOAT)(value, scale, even, down, half_down,
                                                         floor, ceiling, half_ceiling);
        }
        s = abs_checked(get(scale));
    }
    if (s == 0) return;
    int64_t a = n < 0 ? -int64_t(n) : n;
    int64_t r = a % s;
    if (r == 0) return;
    int64_t lower = a - r, upper = a + (s - r), m = s - r;
    int64_t sign = n < 0 ? -1 : 1;
    int64_t result;
    if (down) result = sign * lower;
    else if (floor) result = n > 0 ? lower : -upper;
    else if (ceiling) result = n > 0 ? upper : -lower;
    else if (r < m) result = sign * lower;
    else if (r > m) result = sign * upper;
    else if (even) result = sign * ((a / s) % 2 == 0 ? lower : upper);
    else if (half_down) result = sign * lower;
    else if (half_ceiling) result = n < 0 ? -lower : upper;
    else result = sign * upper;
    if (result < INT32_MIN || result > INT32_MAX) fire_overflow();
    value->set_type(TYPE_INTEGER);
    value->data2 = uint32_t(int32_t(result));
}

// ---------------------------------------------------------------------------
// Conversion, text, comparison, random

Cell* to(Cell*, Cell* spec, int) {
    int32_t n;
    switch (spec->type()) {
        case TYPE_INTEGER: case TYPE_CHAR:
            n = get(spec);
            break;
        case TYPE_FLOAT: case TYPE_PERCENT:
            if (out_of_range_q(spec)) fire_type_limit();
            n = int32_t(spec->as_double());
            break;
        case TYPE_TIME:
            n = round_seconds(spec->as_double());
            break;
        case TYPE_DATE:
            n = date_seconds(spec);
            break;
        case TYPE_ISSUE:
            n = from_hex(spec);
            break;
        case TYPE_BINARY:
            n = from_binary(spec);
            break;
        case TYPE_MONEY:
            n = from_money(spec);
            break;
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: {
            const int32_t length = string::length_from_head(spec);
            if (length <= 0 ||
                lexer::scan_integer(string::head_pointer(spec), length, string::buffer_of(spec)->unit(),
                                    &n) != lexer::SCAN_OK)
                fire_bad_to(spec);
            break;
        }
        default:
            fire_bad_to(spec);
    }
    return push(n);
}

Cell* make(Cell* proto, Cell* spec, int type) {
    if (spec->is(TYPE_LOGIC)) return push(logic::get(spec) == 1 ? 1 : 0);
    return to(proto, spec, type);
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    const char* text = form_decimal(get(value));
    string::append_c_string(buffer, text);
    return part - int(std::strlen(text));
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

int compare(Cell* value1, Cell* value2, int op) {
    uint32_t type = value2->type();
    if (type == TYPE_INTEGER) [[likely]] return order(get(value1), get(value2));
    if (op == COMP_STRICT_EQUAL || op == COMP_FIND) return 1;
    switch (type) {
        case TYPE_CHAR:
            return order(get(value1), get(value2));
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
            Cell as_float = make_cell(TYPE_FLOAT);
            as_float.set_double(double(get(value1)));
            return registry::handler<A_COMPARE>(TYPE_FLOAT)(&as_float, value2, op);
        }
        case TYPE_MONEY: {
            Cell* saved_top = stack::g_top;
            Cell datatype = datatype_cell(TYPE_MONEY);
            Cell* money = registry::handler<A_TO>(TYPE_MONEY)(&datatype, value1, TYPE_MONEY);
            int result = registry::handler<A_COMPARE>(TYPE_MONEY)(money, value2, op);
            stack::g_top = saved_top;
            return result;
        }
        default:
            return COMPARE_UNCOMPARABLE;
    }
}

void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(get(value));
        value->set_type(TYPE_UNSET);
        return;
    }
    value->data2 = uint32_t(rng::integer(secure, get(value)));
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(to),
        /*  5 */ own<A_FORM>(form), own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare),
        /* 10 */ own<A_ABSOLUTE>(absolute), own<A_ADD>(add), own<A_DIVIDE>(divide),
        /* 13 */ own<A_MULTIPLY>(multiply), own<A_NEGATE>(negate), own<A_POWER>(power),
        /* 16 */ own<A_REMAINDER>(remainder), own<A_ROUND>(round), own<A_SUBTRACT>(subtract),
        /* 19 */ own<A_EVEN_Q>(even_q), own<A_ODD_Q>(odd_q), own<A_AND>(and_),
        /* 22 */ own<A_COMPLEMENT>(complement), own<A_OR>(or_), own<A_XOR>(xor_),
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_INTEGER, 0, "integer!", slots);
}

}  // namespace zun::integer
