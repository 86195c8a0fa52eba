#include "datatypes/money.hpp"

#include <cmath>
#include <cstring>
#include <string_view>

#include "core/float_text.hpp"
#include "core/rng.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

namespace zun::money {

namespace {

// Amounts are worked on as magnitudes counted in 0.00001 steps; 10^22 steps
// is the first magnitude that does not fit the 22 digits.
using U128 = unsigned __int128;
constexpr uint64_t UNITS = 100000;
constexpr U128 ten_to(int n) { return n == 0 ? U128(1) : U128(10) * ten_to(n - 1); }
constexpr U128 LIMIT = ten_to(DIGITS);
constexpr double FLOAT_LIMIT = 1e17;
constexpr double FLOAT_STEP = 1e-5;

using support::datatype_cell;

[[noreturn]] void fire_type_limit(uint32_t type = TYPE_MONEY) {
    Cell datatype = datatype_cell(type);
    support::fire_error(ErrorId::script_type_limit, &datatype);
}
[[noreturn]] void fire_bad_make(const Cell* spec) {
    Cell datatype = datatype_cell(TYPE_MONEY);
    support::fire_error(ErrorId::script_bad_make_arg, &datatype, spec);
}
[[noreturn]] void fire_bad_to(const Cell* spec) { support::fire_bad_to(TYPE_MONEY, spec); }
using support::fire_invalid_type;

// Payload byte k (0 the currency, 1-11 the digits) over words 1-3, low byte first.
uint32_t& word_of(Cell* c, int k) { return k < 4 ? c->data1 : k < 8 ? c->data2 : c->data3; }
uint32_t byte_at(const Cell* c, int k) {
    uint32_t w = k < 4 ? c->data1 : k < 8 ? c->data2 : c->data3;
    return (w >> (8 * (k & 3))) & 0xFFu;
}
void set_byte(Cell* c, int k, uint32_t v) {
    int shift = 8 * (k & 3);
    uint32_t& w = word_of(c, k);
    w = (w & ~(0xFFu << shift)) | (v << shift);
}

void set_digit(Cell* c, int position, uint32_t d) {
    int k = 1 + (position - 1) / 2;
    uint32_t b = byte_at(c, k);
    b = (position & 1) ? (b & 0x0Fu) | (d << 4) : (b & 0xF0u) | d;
    set_byte(c, k, b);
}

U128 magnitude(const Cell* c) {
    uint64_t high = 0, low = 0;  // digits 1-10 and 11-22
    for (int k = 1; k <= 5; k++) {
        uint32_t b = byte_at(c, k);
        high = high * 100 + (b >> 4) * 10 + (b & 15);
    }
    for (int k = 6; k <= 11; k++) {
        uint32_t b = byte_at(c, k);
        low = low * 100 + (b >> 4) * 10 + (b & 15);
    }
    return U128(high) * ten_to(12) + low;
}

void set_magnitude(Cell* c, U128 m) {
    uint64_t high = uint64_t(m / ten_to(12)), low = uint64_t(m % ten_to(12));
    for (int k = 11; k >= 1; k--) {
        uint64_t& part = k >= 6 ? low : high;
        uint32_t lo = uint32_t(part % 10);
        part /= 10;
        uint32_t hi = uint32_t(part % 10);
        part /= 10;
        set_byte(c, k, hi << 4 | lo);
    }
}

// The sign of a zero is dropped, so equal amounts have equal cells.
Cell* init_value(Cell* cell, bool negative, uint32_t currency_index, U128 m) {
    if (m >= LIMIT) fire_type_limit();
    *cell = make_cell(TYPE_MONEY | (negative && m ? SIGN_FLAG : 0), currency_index & 0xFFu);
    set_magnitude(cell, m);
    return cell;
}

Cell* init_integer(Cell* cell, int32_t n) {
    int64_t v = n;
    return init_value(cell, v < 0, 0, U128(uint64_t(v < 0 ? -v : v)) * UNITS);
}

// The currency list, or false before the system data exist.
bool currency_list(Cell* out) {
    if (!system_data::ready()) return false;
    *out = *system_data::currency_list();
    return out->is(TYPE_BLOCK);
}

std::string_view currency_name(uint32_t index) {
    Cell list;
    if (!index || !currency_list(&list) || int32_t(index) > block::length_from_head(&list))
        return "???";
    const Cell* word = block::cell_at(&list, block::head_index(&list) + int32_t(index) - 1);
    if (!word::any_word_type_q(word->type())) return "???";
    return symbol::name(word->data2);
}

int money_digits() {
    if (!system_data::ready()) return 2;
    const Cell* digits = system_data::options_money_digits();
    return digits->is(TYPE_INTEGER) ? digits->as_int() : 2;
}

int order(U128 a, U128 b) { return (a > b) - (a < b); }

int compare_amounts(const Cell* a, const Cell* b) {
    int s1 = sign(a), s2 = sign(b);
    if (s1 != s2) return s1 < s2 ? -1 : 1;
    int o = order(magnitude(a), magnitude(b));
    return s1 < 0 ? -o : o;
}


// Money operands as they are; numbers converted (floats not strictly).
Cell operand(const Cell* value) {
    Cell out;
    switch (value->type()) {
        case TYPE_MONEY: return *value;
        case TYPE_INTEGER: init_integer(&out, value->as_int()); return out;
        case TYPE_FLOAT: case TYPE_PERCENT: init_from_float(&out, value->as_double(), false); return out;
        default: fire_invalid_type(value->type());
    }
}

// Index 1 or 2, or the words code and amount; 0 for anything else.
int field_of(const Cell* element) {
    if (element->is(TYPE_INTEGER)) {
        int32_t n = element->as_int();
        return n == 1 || n == 2 ? n : 0;
    }
    switch (element->type()) {
        case TYPE_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_SET_WORD: break;
        default: return 0;
    }
    uint32_t name = symbol::canonical(element->data2);
    if (name == symbol::canonical(sym::id(sym::code))) return 1;
    if (name == symbol::canonical(sym::id(sym::amount))) return 2;
    return 0;
}

Cell field_value(const Cell* value, int field) {
    if (field == 2) {
        Cell amount = *value;
        amount.data1 &= ~0xFFu;
        return amount;
    }
    Cell list;
    uint32_t index = currency(value);
    if (!index || !currency_list(&list) || int32_t(index) > block::length_from_head(&list))
        return shared_none_cell;
    return *block::cell_at(&list, block::head_index(&list) + int32_t(index) - 1);
}

Cell* make_from_block(Cell* spec) {
    int32_t n = block::length_from_head(spec);
    if (n < 1 || n > 3) fire_bad_make(spec);
    Cell cells[3];
    const Cell* first = block::cell_at(spec, block::head_index(spec));
    for (int32_t i = 0; i < n; i++) cells[i] = first[i];
    int32_t i = 0;
    uint32_t index = 0;
    if (cells[0].is(TYPE_WORD)) {
        int32_t found = currency_index(cells[0].data2);
        if (found < 0) fire_bad_make(&cells[0]);
        index = uint32_t(found);
        i = 1;
    }
    if (i >= n) fire_bad_make(spec);
    const Cell amount = cells[i++];
    Cell* result = stack::push_cell();
    if (amount.is(TYPE_INTEGER)) init_integer(result, amount.as_int());
    else if (amount.is(TYPE_FLOAT)) init_from_float(result, amount.as_double(), true);
    else fire_bad_make(&amount);
    if (i < n) {
        const Cell fraction = cells[i++];
        if (!amount.is(TYPE_INTEGER) || !fraction.is(TYPE_INTEGER)) fire_bad_make(&fraction);
        int32_t f = fraction.as_int();
        if (f < 0 || f > MAX_FRACTION_INT) fire_bad_make(&fraction);
        init_value(result, amount.as_int() < 0, 0, magnitude(result) + uint32_t(f));
    }
    if (i < n) fire_bad_make(spec);
    set_currency(result, index);
    return result;
}

// Actions.

int form(Cell* value, Cell* buffer, Cell*, int part) {
    return form_text(value, buffer, part, false, true);
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int part, int) {
    return form_text(value, buffer, part, all, false);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool, bool, bool) {
    static Cell result;
    const Cell* where = path ? path : &shared_none_cell;
    if (value) support::fire_error(ErrorId::script_bad_path_set, where, element);
    int field = field_of(element);
    if (!field) support::fire_error(ErrorId::script_invalid_path, where, element);
    result = field_value(parent, field);
    return &result;
}

Cell* pick(Cell* value, int index, Cell* index_cell) {
    static Cell result;
    int field = index_cell && !index_cell->is(TYPE_INTEGER) && !index_cell->is(TYPE_CHAR) &&
                        !index_cell->is(TYPE_LOGIC)
                    ? field_of(index_cell)
                    : (index == 1 || index == 2 ? index : 0);
    if (!field) {
        Cell n = index_cell ? *index_cell : integer_cell(index);
        support::fire_error(ErrorId::script_out_of_range, &n);
    }
    result = field_value(value, field);
    return &result;
}

void absolute() { stack::argument(0)->header &= ~SIGN_FLAG; }

void negate(Cell* number) {
    if (sign(number) != 0) number->header ^= SIGN_FLAG;
}

void add() { do_math(MATH_ADD); }
void subtract() { do_math(MATH_SUBTRACT); }
void multiply() { do_math(MATH_MULTIPLY); }
void divide() { do_math(MATH_DIVIDE); }
void remainder() { do_math(MATH_REMAINDER); }

bool even_q(Cell* number) { return (digit_at(number, INT_DIGITS) & 1) == 0; }
bool odd_q(Cell* number) { return (digit_at(number, INT_DIGITS) & 1) != 0; }

// From the first non-zero digit down, each digit drawn up to the value's own;
// after the first that falls below it the rest are free, so the result lies in
// 0 .. value.
void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(int32_t(value->data1 ^ value->data2 ^ value->data3 ^ (value->header & SIGN_FLAG)));
        value->set_type(TYPE_UNSET);
        return;
    }
    auto draw = [secure] { return uint32_t(secure ? rng::secure_int31() : rng::next()); };
    int position = 1;
    while (position <= DIGITS && digit_at(value, position) == 0) position++;
    bool free = false;
    for (; position <= DIGITS; position++) {
        uint32_t limit = uint32_t(digit_at(value, position));
        uint32_t d;
        if (free) {
            d = draw() % 10;
        } else {
            for (;;) {
                d = draw() % (limit + 1);
                if (d != limit) break;
                uint32_t a = draw() % 1000, b = draw() % 1000;
                if (a == b) break;
            }
            free = d < limit;
        }
        set_digit(value, position, d);
    }
    if (sign(value) == 0) value->header &= ~SIGN_FLAG;
}

}  // namespace

// ---------------------------------------------------------------------------
// Helpers

bool get_sign(const Cell* cell) { return cell->header & SIGN_FLAG; }

void set_sign(Cell* cell, bool negative) {
    if (negative) cell->header |= SIGN_FLAG;
    else cell->header &= ~SIGN_FLAG;
}

void set_currency(Cell* cell, uint32_t index) { cell->data1 = (cell->data1 & ~0xFFu) | (index & 0xFFu); }

int32_t currency_index(uint32_t symbol) {
    Cell list;
    if (!currency_list(&list)) return -1;
    uint32_t want = symbol::canonical(symbol);
    int32_t n = block::length_from_head(&list);
    const Cell* words = block::cell_at(&list, block::head_index(&list));
    for (int32_t i = 0; i < n && i < 255; i++)
        if (word::any_word_type_q(words[i].type()) && symbol::canonical(words[i].data2) == want)
            return i + 1;
    return -1;
}

int32_t currency_index_of_text(const uint8_t* code) {
    Cell list;
    if (!currency_list(&list)) return -1;
    int32_t n = block::length_from_head(&list);
    for (int32_t i = 0; i < n && i < 255; i++) {
        const Cell* word = block::cell_at(&list, block::head_index(&list) + i);
        if (!word::any_word_type_q(word->type())) continue;
        std::string_view name = symbol::name(word->data2);
        if (name.size() != 3) continue;
        bool same = true;
        for (int j = 0; j < 3 && same; j++) same = (uint8_t(name[j]) | 0x20) == (code[j] | 0x20);
        if (same) return i + 1;
    }
    return -1;
}

void fire_bad_denom(const uint8_t* code) {
    // The code may lie in a buffer the string's allocation moves.
    char letters[3] = {char(code[0]), char(code[1]), char(code[2])};
    Cell* text = string::load_c_text(letters, 3, 0);
    support::fire_error(ErrorId::script_bad_denom, text);
}

int digit_at(const Cell* cell, int position) {
    uint32_t b = byte_at(cell, 1 + (position - 1) / 2);
    return int((position & 1) ? b >> 4 : b & 0x0F);
}

Cell* init_from_digits(Cell* cell, bool negative, const uint8_t* currency_text,
                       const uint8_t* digits, uint32_t digit_count, const uint8_t* fraction,
                       uint32_t fraction_count) {
    uint32_t index = 0;
    if (currency_text) {
        int32_t found = currency_index_of_text(currency_text);
        if (found < 0) return nullptr;
        index = uint32_t(found);
    }
    U128 whole = 0;
    int count = 0;
    for (uint32_t i = 0; i < digit_count; i++) {
        uint8_t c = digits[i];
        if (c < '0' || c > '9') continue;
        if (count == 0 && c == '0') continue;  // leading zeros take no place
        // Keeping only the last 17 digits would change the amount silently.
        if (++count > INT_DIGITS) fire_type_limit();
        whole = whole * 10 + (c - '0');
    }
    uint32_t steps = 0;
    int places = 0;
    for (uint32_t i = 0; i < fraction_count && places < FRACTION_DIGITS; i++) {
        uint8_t c = fraction[i];
        if (c < '0' || c > '9') continue;
        steps = steps * 10 + (c - '0');
        places++;
    }
    for (; places < FRACTION_DIGITS; places++) steps *= 10;
    return init_value(cell, negative, index, whole * UNITS + steps);
}

Cell* init_cell(Cell* cell, bool negative, uint32_t currency_index, const uint8_t amount[11]) {
    for (int k = 0; k < 11; k++)
        if ((amount[k] >> 4) > 9 || (amount[k] & 15) > 9) return nullptr;
    *cell = make_cell(TYPE_MONEY, currency_index & 0xFFu);
    for (int k = 0; k < 11; k++) set_byte(cell, k + 1, amount[k]);
    if (negative && sign(cell) != 0) cell->header |= SIGN_FLAG;
    return cell;
}

Cell* push_from_integer(int32_t n) { return init_integer(stack::push_cell(), n); }

Cell* init_from_float(Cell* cell, double x, bool strict) {
    Cell number = make_cell(TYPE_FLOAT);
    number.set_double(x);
    double a = std::fabs(x);
    if (!std::isfinite(x) || a >= FLOAT_LIMIT || (a > 0 && a < FLOAT_STEP)) fire_bad_make(&number);
    if (a == 0) return init_value(cell, false, 0, 0);
    dtoa::Decimal d;
    dtoa::to_decimal(a, 0, &d);
    int shift = d.decpt + FRACTION_DIGITS;  // 1 .. 22 in this range
    if (strict && d.length > shift) fire_bad_make(&number);
    U128 m = 0;
    for (int i = 0; i < shift; i++) m = m * 10 + (i < d.length ? d.digits[i] - '0' : 0);
    return init_value(cell, x < 0, 0, m);
}

Cell* push_from_float(double x, bool strict) {
    Cell value;
    init_from_float(&value, x, strict);
    return stack::push(&value);
}

int sign(const Cell* cell) {
    if (!(cell->data1 >> 8) && !cell->data2 && !cell->data3) return 0;
    return get_sign(cell) ? -1 : 1;
}

int32_t to_integer(const Cell* cell) {
    U128 whole = magnitude(cell) / UNITS;
    if (sign(cell) < 0) {
        if (whole > U128(2147483648u)) fire_type_limit(TYPE_INTEGER);
        return int32_t(-int64_t(whole));
    }
    if (whole > U128(2147483647u)) fire_type_limit(TYPE_INTEGER);
    return int32_t(whole);
}

double to_float(const Cell* cell) {
    U128 m = magnitude(cell);
    uint64_t whole = uint64_t(m / UNITS);
    uint32_t steps = uint32_t(m % UNITS);
    char text[40];
    char* p = text + sizeof text;
    for (int i = 0; i < FRACTION_DIGITS; i++, steps /= 10) *--p = char('0' + steps % 10);
    *--p = '.';
    do *--p = char('0' + whole % 10);
    while (whole /= 10);
    if (sign(cell) < 0) *--p = '-';
    int rest;
    return dtoa::strtod(reinterpret_cast<const uint8_t*>(p),
                        reinterpret_cast<const uint8_t*>(text + sizeof text), 0, &rest);
}

int form_text(const Cell* value, Cell* buffer, int part, bool all, bool grouping) {
    char text[96];
    char* p = text;
    U128 m = magnitude(value);
    if (m && get_sign(value)) *p++ = '-';
    if (uint32_t index = currency(value)) {
        std::string_view name = currency_name(index);
        size_t n = name.size() < 32 ? name.size() : 32;
        std::memcpy(p, name.data(), n);
        p += n;
    }
    *p++ = '$';
    uint64_t whole = uint64_t(m / UNITS);
    char digits[INT_DIGITS];
    int n = 0;
    do digits[n++] = char('0' + whole % 10);
    while (whole /= 10);
    for (int i = n - 1; i >= 0; i--) {
        *p++ = digits[i];
        if (grouping && i > 0 && i % 3 == 0) *p++ = '\'';
    }
    int shown = money_digits();
    if (all || shown > FRACTION_DIGITS) shown = FRACTION_DIGITS;
    if (shown >= 1) {
        uint32_t steps = uint32_t(m % UNITS);
        char fraction[FRACTION_DIGITS];
        for (int i = FRACTION_DIGITS - 1; i >= 0; i--, steps /= 10) fraction[i] = char('0' + steps % 10);
        *p++ = '.';
        std::memcpy(p, fraction, size_t(shown));
        p += shown;
    }
    *p = 0;
    string::append_c_string(buffer, text);
    return part - int(p - text);
}

void do_math(int op) {
    Cell* left = stack::argument(0);
    Cell* right = left + 1;
    bool money1 = left->is(TYPE_MONEY), money2 = right->is(TYPE_MONEY);
    if (op == MATH_MULTIPLY && money1 && money2) fire_invalid_type(TYPE_MONEY);
    if ((op == MATH_DIVIDE || op == MATH_REMAINDER) && !money1) fire_invalid_type(TYPE_MONEY);
    if (op < MATH_ADD || op > MATH_REMAINDER) fire_invalid_type(TYPE_MONEY);
    const Cell a = operand(left), b = operand(right);
    uint32_t c1 = currency(&a), c2 = currency(&b);
    if (c1 && c2 && c1 != c2) support::fire_error(ErrorId::script_wrong_denom, left, right);
    uint32_t index = c2 ? c2 : c1;
    U128 m1 = magnitude(&a), m2 = magnitude(&b);
    bool n1 = sign(&a) < 0, n2 = sign(&b) < 0;
    U128 r;
    bool negative;
    switch (op) {
        case MATH_SUBTRACT:
            n2 = !n2;
            [[fallthrough]];
        case MATH_ADD:
            if (n1 == n2) r = m1 + m2, negative = n1;
            else if (m1 >= m2) r = m1 - m2, negative = n1;
            else r = m2 - m1, negative = n2;
            break;
        case MATH_MULTIPLY: {
            U128 product;
            if (__builtin_mul_overflow(m1, m2, &product)) fire_type_limit();
            r = product / UNITS;
            negative = n1 != n2;
            break;
        }
        case MATH_DIVIDE:
            if (!m2) support::fire_error(ErrorId::math_zero_divide);
            r = m1 * UNITS / m2;  // below 10^27: no overflow
            negative = n1 != n2;
            if (money2) {
                Cell quotient;
                init_value(&quotient, negative, 0, r);
                double d = to_float(&quotient);
                *left = make_cell(TYPE_FLOAT);
                left->set_double(d);
                return;
            }
            break;
        default:  // remainder
            if (!m2) support::fire_error(ErrorId::math_zero_divide);
            r = m1 % m2;
            negative = n1;
            break;
    }
    init_value(left, negative, index, r);
}

int compare_float(const Cell* value, double x, int op) {
    if (x != x) {
        switch (op) {
            case COMP_LESSER: case COMP_LESSER_EQUAL: return 1;
            case COMP_GREATER: case COMP_GREATER_EQUAL: return -1;
            case COMP_SORT: case COMP_CASE_SORT: return 0;
            default: return 1;
        }
    }
    int s1 = sign(value), s2 = (x > 0) - (x < 0);
    if (s1 != s2) return s1 < s2 ? -1 : 1;
    if (s1 == 0) return 0;
    int o;  // the amount's magnitude against the float's
    if (std::isinf(x)) {
        o = -1;
    } else {
        dtoa::Decimal d;
        dtoa::to_decimal(std::fabs(x), 0, &d);
        int shift = d.decpt + FRACTION_DIGITS;  // digits that make whole steps
        if (shift > DIGITS) {
            o = -1;
        } else if (shift <= 0) {
            o = 1;  // the float is below one step; the amount is at least one
        } else {
            U128 steps = 0;
            for (int i = 0; i < shift; i++) steps = steps * 10 + (i < d.length ? d.digits[i] - '0' : 0);
            o = order(magnitude(value), steps);
            if (o == 0 && d.length > shift) o = -1;
        }
    }
    return s1 < 0 ? -o : o;
}

Cell* to(Cell*, Cell* spec, int) {
    switch (spec->type()) {
        case TYPE_MONEY: return stack::push(spec);
        case TYPE_INTEGER: return push_from_integer(spec->as_int());
        case TYPE_FLOAT: return push_from_float(spec->as_double(), true);
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: {
            Cell* result = stack::push_cell();
            // No allocation between taking the text pointer and the scan.
            if (lexer::scan_money(string::head_pointer(spec), string::length_from_head(spec),
                                  string::buffer_of(spec)->unit(), result) != lexer::SCAN_OK)
                fire_bad_to(spec);
            return result;
        }
        default:
            fire_bad_to(spec);
    }
}

Cell* make(Cell* proto, Cell* spec, int type) {
    if (spec->is(TYPE_WORD)) {
        int32_t index = currency_index(spec->data2);
        if (index < 0) fire_bad_make(spec);
        return init_value(stack::push_cell(), false, uint32_t(index), 0);
    }
    if (spec->is(TYPE_BLOCK)) return make_from_block(spec);
    return to(proto, spec, type);
}

int compare(Cell* value1, Cell* value2, int op) {
    uint32_t type = value2->type();
    if (type != TYPE_MONEY && (op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND))
        return 1;
    switch (type) {
        case TYPE_MONEY: break;
        case TYPE_INTEGER: {
            Cell n;
            init_integer(&n, value2->as_int());
            return compare_amounts(value1, &n);
        }
        case TYPE_FLOAT: return compare_float(value1, value2->as_double(), op);
        default: return COMPARE_UNCOMPARABLE;
    }
    uint32_t c1 = currency(value1), c2 = currency(value2);
    switch (op) {
        case COMP_LESSER: case COMP_LESSER_EQUAL: case COMP_GREATER: case COMP_GREATER_EQUAL:
            if (c1 && c2 && c1 != c2) support::fire_error(ErrorId::script_wrong_denom, value1, value2);
            break;
        case COMP_STRICT_EQUAL: case COMP_SAME:
            if (c1 != c2) return 1;
            break;
        case COMP_FIND:
            if (c2 && c1 != c2) return 1;
            break;
        case COMP_SORT: case COMP_CASE_SORT:
            if (c1 != c2) {
                std::string_view a = c1 ? currency_name(c1) : "", b = c2 ? currency_name(c2) : "";
                int o = a.compare(b);
                if (o != 0) return o < 0 ? -1 : 1;
            }
            break;
        default:
            if (c1 && c2 && c1 != c2) return 1;
            break;
    }
    return compare_amounts(value1, value2);
}

// A remainder of zero leaves the value alone: rounding up would otherwise add
// a whole scale to an exact multiple.
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    U128 m = magnitude(value);
    if (!m) return;
    U128 s = UNITS;
    if (scale) {
        Cell step;
        switch (scale->type()) {
            case TYPE_INTEGER: init_integer(&step, scale->as_int()); break;
            case TYPE_FLOAT: init_from_float(&step, scale->as_double(), true); break;
            case TYPE_MONEY: step = *scale; break;
            default: {
                Cell callee = stack::current_callee_word();
                Cell datatype = datatype_cell(scale->type());
                support::fire_error(ErrorId::script_not_related, &callee, &datatype);
            }
        }
        s = magnitude(&step);
    }
    if (!s) return;
    U128 r = m % s;
    if (!r) return;
    U128 u = s - r;
    bool negative = get_sign(value);
    bool tie = r == u;
    bool up;
    if (down) up = false;
    else if (floor) up = negative;
    else if (ceiling) up = !negative;
    else if (tie && even) up = (m / s) % 2 != 0;
    else if (tie && half_down) up = false;
    else if (tie && half_ceiling) up = !negative;
    else up = r >= u;
    init_value(value, negative, currency(value), up ? m + u : m - r);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(to), own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), own<A_EVAL_PATH>(eval_path), E, own<A_COMPARE>(compare),
        /* 10 */ own<A_ABSOLUTE>(absolute), own<A_ADD>(add), own<A_DIVIDE>(divide),
        /* 13 */ own<A_MULTIPLY>(multiply), own<A_NEGATE>(negate), E,
        /* 16 */ own<A_REMAINDER>(remainder), own<A_ROUND>(round), own<A_SUBTRACT>(subtract),
        /* 19 */ own<A_EVEN_Q>(even_q), own<A_ODD_Q>(odd_q), E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, own<A_PICK>(pick), E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_MONEY, 0, "money!", slots);
}

}  // namespace zun::money
