#include "datatypes/point.hpp"

#include <cmath>
#include <cstring>

#include "core/hashtable.hpp"
#include "core/rng.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

// point2D! and point3D! share every algorithm; N is the coordinate count.
namespace zun::point {

namespace {

constexpr uint32_t type_of(int n) { return n == 2 ? TYPE_POINT2D : TYPE_POINT3D; }

using support::datatype_cell;

using support::fire_invalid_type;

[[noreturn]] void fire_invalid_path(const Cell* path, const Cell* element) {
    support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
}

template <int N> Cell* init(Cell* cell, const float* c) {
    cell->set_type(type_of(N));
    cell->data3 = 0;
    for (int i = 0; i < N; i++) set_coordinate(cell, i, c[i]);
    return cell;
}

template <int N> int field(const Cell* word, const Cell* reference) {
    if (word::any_word_type_q(word->type())) {
        uint32_t s = symbol::canonical(word->data2);
        const sym::Name names[] = {sym::x, sym::y, sym::z};
        for (int i = 0; i < N; i++)
            if (s == symbol::canonical(sym::id(names[i]))) return i + 1;
    }
    if (reference && reference->is(type_of(N)))
        support::fire_error(ErrorId::script_cannot_use, word, reference);
    fire_invalid_path(reference, word);
}

bool number_of(const Cell* cell, float* out) {
    if (cell->is(TYPE_INTEGER)) *out = float(cell->as_int());
    else if (cell->is(TYPE_FLOAT)) *out = float(cell->as_double());
    else return false;
    return true;
}

template <int N> Cell* make(Cell*, Cell* spec, int) {
    float c[3] = {0, 0, 0};
    switch (spec->type()) {
        case TYPE_INTEGER: case TYPE_FLOAT:
            number_of(spec, &c[0]);
            c[1] = c[2] = c[0];
            break;
        case TYPE_BLOCK: case TYPE_PAREN:
            if (block::length_from_head(spec) < N)
                support::fire_error(ErrorId::syntax_malconstruct, spec);
            for (int i = 0; i < N; i++) {
                Cell item = *block::cell_at(spec, block::head_index(spec) + i);
                if (!number_of(&item, &c[i])) support::fire_error(ErrorId::syntax_malconstruct, spec);
            }
            break;
        case TYPE_PAIR:
            c[0] = float(pair::x_of(spec));
            c[1] = float(pair::y_of(spec));
            break;
        case TYPE_POINT2D:
            if (N == 2) return stack::push(spec);
            c[0] = coordinate(spec, 0);
            c[1] = coordinate(spec, 1);
            break;
        case TYPE_POINT3D:
            if (N == 3) return stack::push(spec);
            [[fallthrough]];
        default:
            if (!spec->is(TYPE_STRING)) support::fire_bad_to(type_of(N), spec);
            return support::scan_value_of_type(spec, type_of(N));
    }
    return init<N>(stack::push_cell(), c);
}

template <int N> void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        uint32_t words[3] = {value->data1, value->data2, value->data3};
        rng::seed(int32_t(hashtable::murmur3_32(words, sizeof(uint32_t) * N)));
        value->set_type(TYPE_UNSET);
        return;
    }
    for (int i = 0; i < N; i++) {
        float c = coordinate(value, i);
        if (c != 0.0f) set_coordinate(value, i, float(float_::random_float(double(c), secure)));
    }
}

template <int N> int form(Cell* value, Cell* buffer, Cell*, int part) {
    char text[128];  // a coordinate's text is at most 15 characters
    size_t n = 0;
    text[n++] = '(';
    for (int i = 0; i < N; i++) {
        if (i) {
            text[n++] = ',';
            text[n++] = ' ';
        }
        const char* c = float_::form_text(double(coordinate(value, i)), float_::TEXT_POINT);
        size_t length = std::strlen(c);
        std::memcpy(text + n, c, length);
        n += length;
    }
    text[n++] = ')';
    text[n] = 0;
    string::append_c_string(buffer, text);
    return part - int(n);
}

template <int N>
int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form<N>(value, buffer, arg, part);
}

template <int N>
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int, bool, bool, bool, bool notify) {
    int i;
    if (element->is(TYPE_INTEGER)) {
        i = element->as_int();
        if (i < 1 || i > N) fire_invalid_path(path, element);
    } else if (element->is(TYPE_WORD)) {
        i = field<N>(element, path ? path : &shared_none_cell);
    } else {
        fire_invalid_path(path, element);
    }
    if (!value) return float_::push(double(coordinate(parent, i - 1)));
    float c;
    if (!number_of(value, &c)) fire_invalid_type(value->type());
    const Cell old = *parent;
    set_coordinate(parent, i - 1, c);
    if (notify) pair::report_set_path(grandparent, previous, &old, parent, value, i);
    return value;
}

template <int N> Cell* do_math(int op) {
    Cell* left = stack::argument(0);
    const Cell* right = left + 1;
    float r[3];
    switch (right->type()) {
        case TYPE_INTEGER:
            r[0] = r[1] = r[2] = float(right->as_int());
            break;
        case TYPE_FLOAT: case TYPE_PERCENT:
            r[0] = r[1] = r[2] = float(right->as_double());
            break;
        case TYPE_PAIR:
            if (N != 2) fire_invalid_type(TYPE_PAIR);
            r[0] = float(pair::x_of(right));
            r[1] = float(pair::y_of(right));
            break;
        default:
            if (!right->is(type_of(N))) fire_invalid_type(right->type());
            for (int i = 0; i < N; i++) r[i] = coordinate(right, i);
    }
    float c[3];
    for (int i = 0; i < N; i++)
        c[i] = float(float_::do_math(double(coordinate(left, i)), double(r[i]), op));
    return init<N>(left, c);
}

template <int N> int compare(Cell* value1, Cell* value2, int op) {
    Cell other;
    if (N == 2 && value2->is(TYPE_PAIR)) {
        if (op == COMP_STRICT_EQUAL || op == COMP_SAME || op == COMP_FIND) return 1;
        other = *value2;
        pair::to_point2D(&other);
        value2 = &other;
    }
    if (!value2->is(type_of(N))) return COMPARE_UNCOMPARABLE;
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL:
            for (int i = 0; i < N; i++)
                if (!float_::almost_equal32_q(coordinate(value1, i), coordinate(value2, i)))
                    return 1;
            return 0;
        case COMP_STRICT_EQUAL:
            for (int i = 0; i < N; i++)
                if (coordinate(value1, i) != coordinate(value2, i)) return 1;
            return 0;
        case COMP_SAME:
            return value1->data1 == value2->data1 && value1->data2 == value2->data2 &&
                           (N == 2 || value1->data3 == value2->data3)
                       ? 0
                       : 1;
        default:
            break;
    }
    float d = 0;
    for (int i = 0; i < N; i++) {
        d = coordinate(value1, i) - coordinate(value2, i);
        if (!float_::almost_equal32_q(d, 0.0f)) break;
    }
    return d < 0.0f ? -1 : d > 0.0f ? 1 : 0;
}

template <int N> void absolute() {
    Cell* value = stack::argument(0);
    for (int i = 0; i < N; i++) set_coordinate(value, i, std::fabs(coordinate(value, i)));
}

template <int N> void negate(Cell* value) {
    for (int i = 0; i < N; i++) set_coordinate(value, i, 0.0f - coordinate(value, i));
}

template <int N>
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling) {
    if (scale && scale->is(TYPE_MONEY)) {
        Cell callee = stack::current_callee_word();
        Cell datatype = datatype_cell(TYPE_MONEY);
        support::fire_error(ErrorId::script_not_related, &callee, &datatype);
    }
    auto round_one = [&](float c, Cell* s) {
        Cell f = float_::make_value(double(c));
        float_::round(&f, s, even, down, half_down, floor, ceiling, half_ceiling);
        return f.is(TYPE_INTEGER) ? float(f.as_int()) : float(f.as_double());
    };
    const bool composite =
        scale && (scale->is(TYPE_PAIR) || scale->is(TYPE_POINT2D) || scale->is(TYPE_POINT3D));
    for (int i = 0; i < N; i++) {
        Cell part;
        Cell* s = scale;
        if (composite) {
            if (scale->is(TYPE_PAIR)) part = integer_cell(i == 0 ? pair::x_of(scale) : i == 1 ? pair::y_of(scale) : 0);
            else if (scale->is(TYPE_POINT2D) && i == 2) part = float_::make_value(0.0);
            else part = float_::make_value(double(coordinate(scale, i)));
            s = &part;
        }
        set_coordinate(value, i, round_one(coordinate(value, i), s));
    }
}

template <int N> Cell* pick(Cell* value, int index, Cell* index_cell) {
    if (index_cell && word::any_word_type_q(index_cell->type()))
        index = field<N>(index_cell, value);
    if (index < 1 || index > N) {
        Cell n = index_cell && index_cell->is(TYPE_INTEGER) ? *index_cell : integer_cell(index);
        support::fire_error(ErrorId::script_out_of_range, &n);
    }
    return float_::push(double(coordinate(value, index - 1)));
}

template <int N> Cell* reverse(Cell* value, Cell*, Cell*) {
    if (N == 2) std::swap(value->data1, value->data2);
    else std::swap(value->data1, value->data3);
    return value;
}

template <int N> void add() { do_math<N>(MATH_ADD); }
template <int N> void subtract() { do_math<N>(MATH_SUBTRACT); }
template <int N> void multiply() { do_math<N>(MATH_MULTIPLY); }
template <int N> void divide() { do_math<N>(MATH_DIVIDE); }
template <int N> void remainder() { do_math<N>(MATH_REMAINDER); }

template <int N> SlotTable slot_table() {
    return make_slots(
        /*  1 */ own<A_MAKE>(make<N>), own<A_RANDOM>(random<N>), E, own<A_TO>(make<N>),
        /*  5 */ own<A_FORM>(form<N>), own<A_MOLD>(mold<N>), own<A_EVAL_PATH>(eval_path<N>), E,
        /*  9 */ own<A_COMPARE>(compare<N>), own<A_ABSOLUTE>(absolute<N>), own<A_ADD>(add<N>),
        /* 12 */ own<A_DIVIDE>(divide<N>), own<A_MULTIPLY>(multiply<N>),
        /* 14 */ own<A_NEGATE>(negate<N>), E, own<A_REMAINDER>(remainder<N>),
        /* 17 */ own<A_ROUND>(round<N>), own<A_SUBTRACT>(subtract<N>), E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, own<A_PICK>(pick<N>), E,
        /* 41 */ E, E, own<A_REVERSE>(reverse<N>), E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
}

}  // namespace

}  // namespace zun::point

namespace zun::point2D {

Cell* push(float x, float y) { return init_cell(stack::push_cell(), x, y); }
int field_index(const Cell* word, const Cell* reference) { return point::field<2>(word, reference); }
Cell* do_math(int op) { return point::do_math<2>(op); }
int compare(Cell* value1, Cell* value2, int op) { return point::compare<2>(value1, value2, op); }

void register_type() {
    static const SlotTable slots = point::slot_table<2>();
    registry::register_type(TYPE_POINT2D, 0, "point2D!", slots);
}

}  // namespace zun::point2D

namespace zun::point3D {

Cell* push(float x, float y, float z) { return init_cell(stack::push_cell(), x, y, z); }
int field_index(const Cell* word, const Cell* reference) { return point::field<3>(word, reference); }
Cell* do_math(int op) { return point::do_math<3>(op); }
int compare(Cell* value1, Cell* value2, int op) { return point::compare<3>(value1, value2, op); }

void register_type() {
    static const SlotTable slots = point::slot_table<3>();
    registry::register_type(TYPE_POINT3D, 0, "point3D!", slots);
}

}  // namespace zun::point3D
