#include "datatypes/pair.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/ownership.hpp"
#include "core/rng.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/point.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::pair {

namespace {

using support::datatype_cell;

using support::fire_invalid_type;

[[noreturn]] void fire_bad_to(const Cell* spec) { support::fire_bad_to(TYPE_PAIR, spec); }

[[noreturn]] void fire_invalid_path(const Cell* path, const Cell* element) {
    support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
}

// Toward zero; a value no 32-bit integer holds is an error rather than the
// processor's 0x80000000.
int32_t truncate_checked(double d, const Cell* culprit) {
    if (!std::isfinite(d)) support::fire_error(ErrorId::script_invalid_arg, culprit);
    if (!(d > -2147483649.0 && d < 2147483648.0)) support::fire_error(ErrorId::math_overflow);
    return int32_t(d);
}

// A number (integer! or float!) of a block spec as a coordinate.
bool block_coordinate(const Cell* cell, int32_t* out) {
    if (cell->is(TYPE_INTEGER)) *out = cell->as_int();
    else if (cell->is(TYPE_FLOAT)) *out = truncate_checked(cell->as_double(), cell);
    else return false;
    return true;
}

// Runs the point2D! arithmetic on both arguments as points.
Cell* redo_as_points(int op, int32_t rx, int32_t ry) {
    Cell* left = stack::argument(0);
    Cell* right = left + 1;
    init_cell(right, rx, ry);
    to_point2D(left);
    to_point2D(right);
    return point2D::do_math(op);
}

Cell* scale_point(Cell* left, double f, int op) {
    double x = double(x_of(left)), y = double(y_of(left));
    if (op == MATH_MULTIPLY) return point2D::init_cell(left, float(x * f), float(y * f));
    return point2D::init_cell(left, float(x / f), float(y / f));
}

int32_t round_coordinate(int32_t v, Cell* scale, bool even, bool down, bool half_down,
                         bool floor, bool ceiling, bool half_ceiling) {
    Cell c = integer_cell(v);
    integer::round(&c, scale, even, down, half_down, floor, ceiling, half_ceiling);
    if (c.is(TYPE_INTEGER)) return c.as_int();
    return truncate_checked(c.as_double(), &c);
}

}  // namespace

Cell* push(int32_t x, int32_t y) {
    Cell* cell = stack::push_cell();
    *cell = make_value(x, y);
    return cell;
}

Cell* append_to_block(const Cell* block, int32_t x, int32_t y) {
    Cell* cell = support::append_cell(block);
    *cell = make_value(x, y);
    return cell;
}

int field_index(const Cell* word, const Cell* reference) {
    if (word::any_word_type_q(word->type())) {
        uint32_t s = symbol::canonical(word->data2);
        if (s == symbol::canonical(sym::id(sym::x))) return 1;
        if (s == symbol::canonical(sym::id(sym::y))) return 2;
    }
    if (reference && reference->is(TYPE_PAIR))
        support::fire_error(ErrorId::script_cannot_use, word, reference);
    fire_invalid_path(reference, word);
}

void to_point2D(Cell* cell) { point2D::init_cell(cell, float(x_of(cell)), float(y_of(cell))); }

void report_set_path(const Cell* container, const Cell* element, const Cell* old_value,
                     const Cell* new_value, const Cell* stored, int32_t index) {
    if (!container) return;
    if (container->is(TYPE_OBJECT)) {
        object::call_on_change(container, element, old_value, new_value);
        return;
    }
    ownership::check_owner(container, words::get(words::set_path), stored, index, 1);
}

Cell* do_math(int op) {
    Cell* left = stack::argument(0);
    Cell* right = left + 1;
    const int32_t x1 = x_of(left), y1 = y_of(left);
    int32_t rx, ry;
    switch (right->type()) {
        case TYPE_PAIR:
            rx = x_of(right);
            ry = y_of(right);
            break;
        case TYPE_INTEGER:
            rx = ry = right->as_int();
            break;
        case TYPE_FLOAT: case TYPE_PERCENT: {
            double f = right->as_double();
            if (op == MATH_MULTIPLY || op == MATH_DIVIDE) {
                if (std::isnan(f) || (op == MATH_MULTIPLY && std::isinf(f)))
                    support::fire_error(ErrorId::script_invalid_arg, right);
                return scale_point(left, f, op);
            }
            if (!std::isfinite(f)) support::fire_error(ErrorId::script_invalid_arg, right);
            double t = std::trunc(f);
            // No integer holds the operand: its own value goes into the point
            // arithmetic, which the float already is.
            if (!(t > -2147483649.0 && t < 2147483648.0)) {
                to_point2D(left);
                return point2D::do_math(op);
            }
            rx = ry = int32_t(t);
            break;
        }
        case TYPE_POINT2D:
            to_point2D(left);
            return point2D::do_math(op);
        default:
            fire_invalid_type(right->type());
    }
    Cell status = make_cell(TYPE_UNSET);
    int32_t x = integer::do_math(x1, rx, op, &status);
    if (!status.is(TYPE_UNSET)) return redo_as_points(op, rx, ry);
    left->data2 = uint32_t(x);
    int32_t y = integer::do_math(y1, ry, op, &status);
    if (!status.is(TYPE_UNSET)) {
        left->data2 = uint32_t(x1);
        return redo_as_points(op, rx, ry);
    }
    left->data3 = uint32_t(y);
    return left;
}

Cell* make(Cell*, Cell* spec, int) {
    int32_t x, y;
    switch (spec->type()) {
        case TYPE_INTEGER:
            x = y = spec->as_int();
            break;
        case TYPE_FLOAT:
            x = y = truncate_checked(spec->as_double(), spec);
            break;
        case TYPE_BLOCK: case TYPE_PAREN: {
            Cell first, second;
            if (block::length_from_head(spec) < 2) support::fire_error(ErrorId::syntax_malconstruct, spec);
            first = *block::cell_at(spec, block::head_index(spec));
            second = *block::cell_at(spec, block::head_index(spec) + 1);
            if (!block_coordinate(&first, &x) || !block_coordinate(&second, &y))
                support::fire_error(ErrorId::syntax_malconstruct, spec);
            break;
        }
        case TYPE_POINT2D: {
            double px = point::coordinate(spec, 0), py = point::coordinate(spec, 1);
            if (!std::isfinite(px) || !std::isfinite(py))
                support::fire_error(ErrorId::script_invalid_arg, spec);
            x = truncate_checked(px, spec);
            y = truncate_checked(py, spec);
            break;
        }
        case TYPE_STRING:
            return support::scan_value_of_type(spec, TYPE_PAIR);
        case TYPE_PAIR:
            return stack::push(spec);
        default:
            fire_bad_to(spec);
    }
    return push(x, y);
}

void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(int32_t(value->data2 ^ value->data3));
        value->set_type(TYPE_UNSET);
        return;
    }
    value->data2 = uint32_t(rng::integer(secure, x_of(value)));
    value->data3 = uint32_t(rng::integer(secure, y_of(value)));
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "%dx%d", x_of(value), y_of(value));
    string::append_c_string(buffer, text);
    return part - n;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int, bool, bool, bool, bool notify) {
    int i;
    if (element->is(TYPE_INTEGER)) {
        i = element->as_int();
        if (i != 1 && i != 2) fire_invalid_path(path, element);
    } else if (element->is(TYPE_WORD)) {
        i = field_index(element, path ? path : &shared_none_cell);
    } else {
        fire_invalid_path(path, element);
    }
    if (!value) return integer::push(i == 1 ? x_of(parent) : y_of(parent));
    if (!value->is(TYPE_INTEGER)) fire_invalid_type(value->type());
    const Cell old = *parent;
    (i == 1 ? parent->data2 : parent->data3) = value->data2;
    if (notify) report_set_path(grandparent, previous, &old, parent, value, i);
    return value;
}

int compare(Cell* value1, Cell* value2, int op) {
    if (value2->is(TYPE_POINT2D)) {
        // Across types nothing is strictly equal (as integer! against float!).
        if (op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) return 1;
        Cell as_point = *value1;  // value1 may be a stored value: converted aside
        to_point2D(&as_point);
        return point2D::compare(&as_point, value2, op);
    }
    if (!value2->is(TYPE_PAIR)) return COMPARE_UNCOMPARABLE;
    int32_t a = x_of(value1), b = x_of(value2);
    if (a == b) {
        a = y_of(value1);
        b = y_of(value2);
    }
    return (a > b) - (a < b);
}

void absolute() {
    Cell* value = stack::argument(0);
    value->data2 = uint32_t(integer::abs_checked(x_of(value)));
    value->data3 = uint32_t(integer::abs_checked(y_of(value)));
}

void negate(Cell* value) {
    value->data2 = 0u - value->data2;
    value->data3 = 0u - value->data3;
}

void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    if (scale && scale->is(TYPE_MONEY)) {
        Cell callee = stack::current_callee_word();
        Cell datatype = datatype_cell(TYPE_MONEY);
        support::fire_error(ErrorId::script_not_related, &callee, &datatype);
    }
    const bool composite = scale && scale->is(TYPE_PAIR);
    Cell part_scale;
    Cell* s = scale;
    if (composite) {
        part_scale = integer_cell(x_of(scale));
        s = &part_scale;
    }
    int32_t x = round_coordinate(x_of(value), s, even, down, half_down, floor, ceiling,
                                 half_ceiling);
    if (composite) part_scale = integer_cell(y_of(scale));
    int32_t y = round_coordinate(y_of(value), s, even, down, half_down, floor, ceiling,
                                 half_ceiling);
    init_cell(value, x, y);
}

Cell* pick(Cell* value, int index, Cell* index_cell) {
    if (index_cell && word::any_word_type_q(index_cell->type()))
        index = field_index(index_cell, value);
    if (index != 1 && index != 2) {
        Cell n = index_cell && index_cell->is(TYPE_INTEGER) ? *index_cell : integer_cell(index);
        support::fire_error(ErrorId::script_out_of_range, &n);
    }
    return integer::push(index == 1 ? x_of(value) : y_of(value));
}

Cell* reverse(Cell* value, Cell*, Cell*) {
    std::swap(value->data2, value->data3);
    return value;
}

void add() { do_math(MATH_ADD); }
void subtract() { do_math(MATH_SUBTRACT); }
void multiply() { do_math(MATH_MULTIPLY); }
void divide() { do_math(MATH_DIVIDE); }
void remainder() { do_math(MATH_REMAINDER); }
void and_() { do_math(MATH_AND); }
void or_() { do_math(MATH_OR); }
void xor_() { do_math(MATH_XOR); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(make),
        /*  5 */ own<A_FORM>(form), own<A_MOLD>(mold), own<A_EVAL_PATH>(eval_path), E,
        /*  9 */ own<A_COMPARE>(compare), own<A_ABSOLUTE>(absolute), own<A_ADD>(add),
        /* 12 */ own<A_DIVIDE>(divide), own<A_MULTIPLY>(multiply), own<A_NEGATE>(negate), E,
        /* 16 */ own<A_REMAINDER>(remainder), own<A_ROUND>(round), own<A_SUBTRACT>(subtract),
        /* 19 */ E, E, own<A_AND>(and_), E, own<A_OR>(or_), own<A_XOR>(xor_),
        /* 25 */ E, E, E, E, E, E, E,
        /* 32 */ E, E, E, E, E, E, E, own<A_PICK>(pick),
        /* 40 */ E, E, E, own<A_REVERSE>(reverse), E, E, E, E,
        /* 48 */ E, E, E, E, E, E, E, E,
        /* 56 */ E, E, E, E, E, E, E);
    registry::register_type(TYPE_PAIR, 0, "pair!", slots);
}

}  // namespace zun::pair
