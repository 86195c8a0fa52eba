#include "datatypes/time.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer_internal.hpp"
#include "interpreter/stack.hpp"

namespace zun::time_ {

namespace {

constexpr double SECONDS_PER_HOUR = 3600.0;
constexpr double MAX_HOURS = 2147483648.0;
constexpr double TINY = 0.000001;

using support::datatype_cell;

[[noreturn]] void fire_bad_to_arg(const Cell* value) {
    Cell datatype = datatype_cell(TYPE_TIME);
    support::fire_error(ErrorId::script_bad_to_arg, &datatype, value);
}

[[noreturn]] void fire_not_related(const char* action, uint32_t type) {
    Cell datatype = datatype_cell(type);
    support::fire_error(ErrorId::script_not_related, word::make_global(action), &datatype);
}

[[noreturn]] void fire_type_limit() {
    Cell datatype = datatype_cell(TYPE_INTEGER);
    support::fire_error(ErrorId::script_type_limit, &datatype);
}

bool named(const Cell* word, sym::Name name) {
    return symbol::canonical(word->data2) == symbol::canonical(sym::id(name));
}

bool word_q(const Cell* cell) { return word::any_word_type_q(cell->type()); }

int field_of_word(const Cell* word) {
    if (named(word, sym::hour)) return 1;
    if (named(word, sym::minute)) return 2;
    if (named(word, sym::second)) return 3;
    return -1;
}

// Hours, minutes and seconds from a block of at most three values.
double from_block(Cell* spec) {
    int32_t n = block::length_from_head(spec);
    if (n > 3) fire_bad_to_arg(spec);
    bool negative = false;
    double parts[3] = {0, 0, 0};
    for (int32_t i = 0; i < n; i++) {
        const Cell item = *block::cell_at(spec, block::head_index(spec) + i);
        double v;
        if (item.is(TYPE_INTEGER)) v = double(item.as_int());
        else if (i == 2 && item.is(TYPE_FLOAT)) v = item.as_double();
        else fire_bad_to_arg(spec);
        if (v < 0) {
            if (i > 0) fire_bad_to_arg(spec);
            negative = true;
            v = -v;
        }
        parts[i] = v;
    }
    double t = parts[0] * SECONDS_PER_HOUR + parts[1] * 60.0 + parts[2];
    return negative ? -t : t;
}

// Text that holds exactly one time! token (blanks around it allowed).
double from_text(Cell* spec) {
    int32_t length = string::length_from_head(spec);
    const uint8_t* p = string::head_pointer(spec);
    uint32_t unit = string::buffer_of(spec)->unit();
    char text[64];
    int32_t n = 0;
    for (int32_t i = 0; i < length; i++) {
        uint32_t c = string::get_char(p + size_t(i) * unit, unit);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (n == 0) continue;
            // Only trailing blanks may follow.
            for (int32_t j = i; j < length; j++) {
                uint32_t d = string::get_char(p + size_t(j) * unit, unit);
                if (d != ' ' && d != '\t' && d != '\r' && d != '\n') fire_bad_to_arg(spec);
            }
            break;
        }
        if (c > 0x7F || c == 'e' || c == 'E' || n == int32_t(sizeof text)) fire_bad_to_arg(spec);
        text[n++] = char(c);
    }
    double seconds;
    const auto* s = reinterpret_cast<const uint8_t*>(text);
    if (n == 0 || !lexer::parse_time(s, s + n, &seconds)) fire_bad_to_arg(spec);
    return seconds;
}

// The number a path assignment or a field write takes.
double assigned_number(const Cell* value, bool allow_float) {
    if (value->is(TYPE_INTEGER)) return double(value->as_int());
    if (allow_float && value->is(TYPE_FLOAT)) return value->as_double();
    support::fire_error(ErrorId::script_invalid_arg, value);
}

double with_field(double t, int n, const Cell* value) {
    switch (n) {
        case 1: return t - (std::floor(t / SECONDS_PER_HOUR) - assigned_number(value, false)) * SECONDS_PER_HOUR;
        case 2:
            return t - (std::floor(std::fmod(t, SECONDS_PER_HOUR) / 60.0) - assigned_number(value, false)) * 60.0;
        default: return t - (std::fmod(t, 60.0) - assigned_number(value, true));
    }
}

int path_field(const Cell* element, Cell* path) {
    int n = -1;
    if (element->is(TYPE_INTEGER)) n = element->as_int();
    else if (word_q(element)) n = field_of_word(element);
    if (n < 1 || n > 3) support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
    return n;
}

bool whole_seconds_odd(double t) {
    t += t >= 0 ? TINY : -TINY;
    double s = std::trunc(std::fmod(t, 60.0));
    if (!(s == s)) return false;  // an infinite time has no seconds
    return (int32_t(s) & 1) != 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// Makers and readers

Cell* init_cell(Cell* cell, double seconds) {
    cell->set_type(TYPE_TIME);
    cell->data1 = 0;
    cell->set_double(seconds);
    return cell;
}

Cell* push(double seconds) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_TIME);
    cell->set_double(seconds);
    return cell;
}

Cell* append_to_block(const Cell* block, double seconds) {
    Cell* cell = support::append_cell(block);
    *cell = make_cell(TYPE_TIME);
    cell->set_double(seconds);
    return cell;
}

int32_t hours(double seconds) {
    double h = std::trunc(seconds / SECONDS_PER_HOUR);
    if (!(h > -2147483649.0 && h < 2147483648.0)) fire_type_limit();
    return int32_t(h);
}

int32_t minutes(double seconds) {
    double m = std::floor(std::fmod(std::fabs(seconds), SECONDS_PER_HOUR) / 60.0);
    return m == m ? int32_t(m) : 0;
}

int field_index(const Cell* word, const Cell* value) {
    int n = field_of_word(word);
    if (n < 0 && value && value->is(TYPE_TIME)) {
        Cell v = *value;
        support::fire_error(ErrorId::script_cannot_use, word, &v);
    }
    return n;
}

Cell* get_field(double seconds, int n) {
    switch (n) {
        case 1: return integer::push(hours(seconds));
        case 2: return integer::push(minutes(seconds));
        default: return float_::push(std::fmod(seconds, 60.0));
    }
}

int format(double t, char* out) {
    if (!std::isfinite(t)) {
        const char* text = float_::form_text(t, float_::TEXT_FLOAT);
        std::strcpy(out, text);
        return int(std::strlen(out));
    }
    char* p = out;
    if (t < 0) {
        *p++ = '-';
        t = -t;
    }
    // The hours of the largest doubles run to some 305 digits.
    p += std::snprintf(p, 330, "%.0f", std::floor(t / SECONDS_PER_HOUR));
    int m = int(std::floor(std::fmod(t, SECONDS_PER_HOUR) / 60.0));
    *p++ = ':';
    *p++ = char('0' + m / 10);
    *p++ = char('0' + m % 10);
    *p++ = ':';
    double s = std::fmod(t, 60.0);
    if (s < TINY) {
        *p++ = '0';
        *p++ = '0';
    } else {
        const char* text = float_::form_text(s, float_::TEXT_TIME);
        size_t length = std::strlen(text);
        if (length == 1 || text[1] == '.') *p++ = '0';
        std::memcpy(p, text, length);
        p += length;
    }
    *p = 0;
    return int(p - out);
}

int form_text(double seconds, Cell* buffer, int part) {
    char text[400];
    int length = format(seconds, text);
    string::append_c_string(buffer, text);
    return part - length;
}

void store_back(const Cell* value, Cell* path, Cell* container, Cell* previous, int index,
                bool case_, bool notify) {
    if (!previous) return;
    if (index == 0) {
        if (!word_q(previous)) return;
        Cell word = *previous;
        word::set_value(&word, value);
        return;
    }
    if (!container) return;
    AnyHandler handler = registry::entry(container->type(), A_EVAL_PATH);
    if (!handler) return;
    stack::StackScope scope;
    Cell* cells = stack::push(container);
    stack::push(previous);
    stack::push(value);
    reinterpret_cast<SlotFnT<A_EVAL_PATH>>(handler)(&cells[0], &cells[1], &cells[2], path, nullptr,
                                                     nullptr, index - 1, case_, false, true, notify);
}

// ---------------------------------------------------------------------------
// Actions

Cell* make(Cell*, Cell* spec, int) {
    double t;
    switch (spec->type()) {
        case TYPE_TIME: case TYPE_FLOAT: case TYPE_PERCENT: t = spec->as_double(); break;
        case TYPE_INTEGER: t = double(spec->as_int()); break;
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: t = from_block(spec); break;
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            t = from_text(spec);
            break;
        default: fire_bad_to_arg(spec);
    }
    // The hours must fit an integer!, as the notation's do.
    if (!(std::fabs(t) < MAX_HOURS * SECONDS_PER_HOUR)) {
        const Cell datatype = datatype_cell(TYPE_TIME);
        support::fire_error(ErrorId::script_type_limit, &datatype);
    }
    return push(t);
}

namespace {

int form(Cell* value, Cell* buffer, Cell*, int part) {
    return form_text(value->as_double(), buffer, part);
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int part, int) {
    return form_text(value->as_double(), buffer, part);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* container,
                Cell* previous, int index, bool case_, bool, bool, bool notify) {
    int n = path_field(element, path);
    if (!value) return get_field(parent->as_double(), n);
    parent->set_double(with_field(parent->as_double(), n, value));
    store_back(parent, path, container, previous, index, case_, notify);
    return value;
}

Cell* pick(Cell* series, int index, Cell* index_cell) {
    int n = index;
    if (index_cell && word_q(index_cell)) n = field_index(index_cell, series);
    if (n < 1 || n > 3) {
        Cell i = index_cell ? *index_cell : integer_cell(index);
        support::fire_error(ErrorId::script_out_of_range, &i);
    }
    return get_field(series->as_double(), n);
}

void add() {
    Cell* left = stack::argument(0);
    if (left[1].is(TYPE_DATE)) {
        std::swap(left[0], left[1]);
        registry::handler<A_ADD>(TYPE_DATE)();
        return;
    }
    float_::add();
}

void subtract() {
    if (stack::argument(1)->is(TYPE_DATE)) fire_not_related("subtract", TYPE_TIME);
    float_::subtract();
}

void multiply() {
    if (stack::argument(1)->is(TYPE_TIME)) fire_not_related("multiply", TYPE_TIME);
    float_::multiply();
}

void divide() {
    bool ratio = stack::argument(1)->is(TYPE_TIME);
    float_::divide();
    if (ratio) stack::argument(0)->set_type(TYPE_FLOAT);
}

void round(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor, bool ceiling,
           bool half_ceiling) {
    if (scale && scale->is(TYPE_MONEY)) {
        Cell callee = stack::current_callee_word();
        Cell datatype = datatype_cell(TYPE_MONEY);
        support::fire_error(ErrorId::script_not_related, &callee, &datatype);
    }
    // An integer scale would come back as an integer! that large times overflow.
    Cell as_float;
    if (scale && scale->is(TYPE_INTEGER)) {
        as_float = float_::make_value(double(scale->as_int()));
        scale = &as_float;
    }
    float_::round(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
    init_cell(n, n->as_double());
}

bool even_q(Cell* number) { return !whole_seconds_odd(number->as_double()); }
bool odd_q(Cell* number) { return whole_seconds_odd(number->as_double()); }

}  // namespace

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), inherit<A_RANDOM>(), E, own<A_TO>(make), own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), own<A_EVAL_PATH>(eval_path), E, inherit<A_COMPARE>(),
        /* 10 */ inherit<A_ABSOLUTE>(), own<A_ADD>(add), own<A_DIVIDE>(divide),
        /* 13 */ own<A_MULTIPLY>(multiply), inherit<A_NEGATE>(), E, inherit<A_REMAINDER>(),
        /* 17 */ own<A_ROUND>(round), own<A_SUBTRACT>(subtract), own<A_EVEN_Q>(even_q),
        /* 20 */ own<A_ODD_Q>(odd_q), E, E, E, E, E,
        /* 26 */ E, E, E, E, E, E, E, E,
        /* 34 */ E, E, E, E, E, own<A_PICK>(pick), E, E,
        /* 42 */ E, E, E, E, E, E, E, E,
        /* 50 */ E, E, E, E, E, E, E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_TIME, TYPE_FLOAT, "time!", slots);
}

}  // namespace zun::time_
