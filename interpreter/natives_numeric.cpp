// Numeric natives: sign and zero tests, max/min, shift, to-hex,
// trigonometry, logarithms, exp and square-root, size?.
#include <algorithm>
#include <bit>
#include <cmath>
#include <string>

#include "core/support.hpp"
#include "datatypes/float.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/money.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/native_args.hpp"
#include "interpreter/natives.hpp"
#include "services/files.hpp"

namespace zun::natives {

using namespace args;

namespace {

constexpr double PI = 3.141592653589793;
constexpr double TINY = 2.220446049250313e-16;

double number_as_float(const Cell* cell) {
    return cell->is(TYPE_INTEGER) ? double(int32_t(cell->data2)) : cell->as_double();
}

// Integer and percent arguments become float! in place.
Cell* argument_as_float(Cell* cell) {
    if (cell->is(TYPE_INTEGER)) float_::init_cell(cell, double(int32_t(cell->data2)));
    else cell->set_type(TYPE_FLOAT);
    return cell;
}

Flow float_result(double value) {
    float_::init_cell(arg(0), value);
    return keep_result();
}

float single_at(const Cell* cell, int word) {
    uint32_t bits = word == 1 ? cell->data1 : word == 2 ? cell->data2 : cell->data3;
    return std::bit_cast<float>(bits);
}
void set_single(Cell* cell, int word, float value) {
    uint32_t bits = std::bit_cast<uint32_t>(value);
    (word == 1 ? cell->data1 : word == 2 ? cell->data2 : cell->data3) = bits;
}

// -1, 0 or 1; the parameter names the argument for the type error.
int sign_of(const Cell* value) {
    switch (value->type()) {
    case TYPE_MONEY: return money::sign(value);
    case TYPE_INTEGER: {
        int32_t n = int32_t(value->data2);
        return (n > 0) - (n < 0);
    }
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_TIME: {
        double d = value->as_double();
        return (d > 0.0) - (d < 0.0);
    }
    default: fire_expect_arg(value, 0);
    }
}

bool nan_number_q(const Cell* cell) {
    return (cell->is(TYPE_FLOAT) || cell->is(TYPE_PERCENT)) && std::isnan(cell->as_double());
}

bool compound_q(uint32_t type) {
    return type == TYPE_PAIR || type == TYPE_POINT2D || type == TYPE_POINT3D || type == TYPE_TUPLE;
}

// A number taken as an integer for pairs and tuples; out of range raises.
int32_t number_as_integer(const Cell* number, bool special_raises) {
    if (number->is(TYPE_INTEGER)) return int32_t(number->data2);
    double d = number->as_double();
    if (std::isnan(d) || d >= 2147483648.0 || d <= -2147483649.0) {
        if (special_raises || std::isfinite(d)) {
            Cell type = make_cell(TYPE_DATATYPE, TYPE_INTEGER);
            support::fire_error(ErrorId::script_type_limit, &type);
        }
    }
    return int32_t(std::trunc(d));
}

float pick_single(float a, float b, bool max) {
    if (std::isnan(b)) return b;
    return max ? (b > a ? b : a) : (b < a ? b : a);
}

// Combines every coordinate of the point in `target` with the singles of
// `other` (count of them; one single stands for all).
void combine_point(Cell* target, const float* other, int others, bool max) {
    int n = target->is(TYPE_POINT3D) ? 3 : 2;
    for (int i = 0; i < n; i++)
        set_single(target, i + 1, pick_single(single_at(target, i + 1), other[others == 1 ? 0 : i], max));
}

void pair_to_point(Cell* cell) {
    float x = float(int32_t(cell->data2)), y = float(int32_t(cell->data3));
    *cell = make_cell(TYPE_POINT2D);
    set_single(cell, 1, x);
    set_single(cell, 2, y);
}

// Element-wise max/min of a compound value (in c) with the other value;
// false when the combination is left to compare.
bool combine_compound(Cell* c, Cell* other, bool max) {
    uint32_t ot = other->type();
    switch (c->type()) {
    case TYPE_PAIR:
        if (ot == TYPE_PAIR) {
            int32_t x1 = int32_t(c->data2), y1 = int32_t(c->data3);
            int32_t x2 = int32_t(other->data2), y2 = int32_t(other->data3);
            c->data2 = uint32_t(max ? std::max(x1, x2) : std::min(x1, x2));
            c->data3 = uint32_t(max ? std::max(y1, y2) : std::min(y1, y2));
            return true;
        }
        if (ot == TYPE_POINT2D) {
            pair_to_point(c);
            return combine_compound(c, other, max);
        }
        if (ot == TYPE_INTEGER || ot == TYPE_FLOAT) {
            if (ot == TYPE_FLOAT && !std::isfinite(other->as_double())) {
                float s = float(other->as_double());
                pair_to_point(c);
                combine_point(c, &s, 1, max);
                return true;
            }
            int32_t n = number_as_integer(other, false);
            int32_t x = int32_t(c->data2), y = int32_t(c->data3);
            c->data2 = uint32_t(max ? std::max(x, n) : std::min(x, n));
            c->data3 = uint32_t(max ? std::max(y, n) : std::min(y, n));
            return true;
        }
        return false;
    case TYPE_POINT2D:
    case TYPE_POINT3D: {
        float singles[3];
        if (ot == c->type()) {
            for (int i = 0; i < 3; i++) singles[i] = single_at(other, i + 1);
            combine_point(c, singles, 3, max);
            return true;
        }
        if (ot == TYPE_PAIR) {
            singles[0] = float(int32_t(other->data2));
            singles[1] = float(int32_t(other->data3));
            singles[2] = 0;
            combine_point(c, singles, 2, max);
            return true;
        }
        if (ot == TYPE_INTEGER || ot == TYPE_FLOAT) {
            singles[0] = float(number_as_float(other));
            combine_point(c, singles, 1, max);
            return true;
        }
        return false;
    }
    case TYPE_TUPLE: {
        uint32_t length = (c->header >> 19) & 0xF;
        uint8_t* bytes = reinterpret_cast<uint8_t*>(&c->data1);
        if (ot == TYPE_TUPLE) {
            if (((other->header >> 19) & 0xF) != length) return false;
            const uint8_t* theirs = reinterpret_cast<const uint8_t*>(&other->data1);
            for (uint32_t i = 0; i < length; i++)
                bytes[i] = max ? std::max(bytes[i], theirs[i]) : std::min(bytes[i], theirs[i]);
            return true;
        }
        if (ot == TYPE_INTEGER || ot == TYPE_FLOAT) {
            int32_t n = std::clamp(number_as_integer(other, true), 0, 255);
            for (uint32_t i = 0; i < length; i++)
                bytes[i] = uint8_t(max ? std::max(int32_t(bytes[i]), n) : std::min(int32_t(bytes[i]), n));
            return true;
        }
        return false;
    }
    default: return false;
    }
}

Flow max_min(bool max) {
    Cell* v1 = arg(0);
    Cell* v2 = arg(1);
    auto numeric = [](const Cell* c) {
        return c->is(TYPE_FLOAT) || c->is(TYPE_PERCENT) || c->is(TYPE_INTEGER);
    };
    if (numeric(v1) && numeric(v2)) {
        if (nan_number_q(v1)) return keep_result();
        if (nan_number_q(v2)) return result(v2);
    }
    if (compound_q(v2->type()) && !compound_q(v1->type())) std::swap(*v1, *v2);
    if (compound_q(v1->type()) && combine_compound(v1, v2, max)) return keep_result();
    bool lesser = actions::compare(v1, v2, COMP_LESSER);
    if (max ? lesser : !lesser) *v1 = *v2;
    return keep_result();
}

double trig_argument(bool radians, int mode) {
    double x = argument_as_float(arg(0))->as_double();
    return radians ? x : trig::degrees_to_radians(x, mode);
}

Flow small_to_zero(double value) { return float_result(std::fabs(value) < TINY ? 0.0 : value); }

Flow inverse_trig(bool radians, double (*f)(double)) {
    double r = f(argument_as_float(arg(0))->as_double());
    return float_result(radians ? r : r * 180.0 / PI);
}

}  // namespace

Flow negative_q(int, const int32_t*) { return logic_result(sign_of(arg(0)) < 0); }
Flow positive_q(int, const int32_t*) { return logic_result(sign_of(arg(0)) > 0); }
Flow sign_q(int, const int32_t*) { return integer_result(sign_of(arg(0))); }

Flow zero_q(int, const int32_t*) {
    const Cell* v = arg(0);
    switch (v->type()) {
    case TYPE_MONEY: return logic_result(money::zero_q(v));
    case TYPE_CHAR:
    case TYPE_INTEGER: return logic_result(v->data2 == 0);
    case TYPE_TIME:
    case TYPE_PERCENT:
    case TYPE_FLOAT: return logic_result(v->as_double() == 0.0);
    case TYPE_PAIR: return logic_result(v->data2 == 0 && v->data3 == 0);
    case TYPE_POINT2D: return logic_result(single_at(v, 1) == 0.0f && single_at(v, 2) == 0.0f);
    case TYPE_POINT3D:
        return logic_result(single_at(v, 1) == 0.0f && single_at(v, 2) == 0.0f &&
                            single_at(v, 3) == 0.0f);
    case TYPE_TUPLE: {
        uint32_t length = (v->header >> 19) & 0xF;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&v->data1);
        return logic_result(std::all_of(bytes, bytes + length, [](uint8_t b) { return b == 0; }));
    }
    default: return logic_result(false);
    }
}

Flow nan_q(int, const int32_t*) {
    const Cell* v = arg(0);
    bool nan = (v->is(TYPE_FLOAT) || v->is(TYPE_PERCENT)) && float_::nan_q(v->data2, v->data3);
    return logic_result(nan);
}

Flow max_(int, const int32_t*) { return max_min(true); }
Flow min_(int, const int32_t*) { return max_min(false); }

Flow shift(int, const int32_t* refinements) {
    uint32_t data = arg(0)->data2;
    int32_t bits = std::max(int32_t(arg(1)->data2), 0);
    uint32_t out;
    if (used(refinements, 0)) out = bits >= 32 ? 0 : data << bits;
    else if (used(refinements, 1)) out = bits >= 32 ? 0 : data >> bits;
    else if (bits >= 32) out = int32_t(data) < 0 ? 0xFFFFFFFFu : 0;
    else out = uint32_t(int32_t(data) >> bits);  // arithmetic in C++20
    return integer_result(int32_t(out));
}

Flow to_hex(int, const int32_t* refinements) {
    static const char DIGITS[] = "0123456789ABCDEF";
    char text[9];
    uint32_t n = arg(0)->data2;
    for (int i = 7; i >= 0; i--, n >>= 4) text[i] = DIGITS[n & 15];
    text[8] = 0;
    int drop = 0;
    if (used(refinements, 0)) {
        Cell* length = arg(refinements[0]);
        int32_t size = int32_t(length->data2);
        if (size < 1) support::fire_error(ErrorId::script_invalid_arg, length);
        drop = size >= 8 ? 0 : 8 - size;
    }
    issue::init_from_cstring(arg(0), text + drop);
    return keep_result();
}

Flow sine(int, const int32_t* refinements) {
    return small_to_zero(std::sin(trig_argument(used(refinements, 0), 2)));
}
Flow cosine(int, const int32_t* refinements) {
    return small_to_zero(std::cos(trig_argument(used(refinements, 0), 1)));
}
Flow tangent(int, const int32_t* refinements) {
    double x = trig_argument(used(refinements, 0), 0);
    if (x == PI / 2) return float_result(INFINITY);
    if (x == -PI / 2) return float_result(-INFINITY);
    return float_result(std::tan(x));
}
Flow arcsine(int, const int32_t* r) { return inverse_trig(used(r, 0), [](double x) { return std::asin(x); }); }
Flow arccosine(int, const int32_t* r) { return inverse_trig(used(r, 0), [](double x) { return std::acos(x); }); }
Flow arctangent(int, const int32_t* r) { return inverse_trig(used(r, 0), [](double x) { return std::atan(x); }); }

Flow arctangent2(int, const int32_t* refinements) {
    double r = std::atan2(number_as_float(arg(0)), number_as_float(arg(1)));
    return float_result(used(refinements, 0) ? r : r * 180.0 / PI);
}

Flow log_2(int, const int32_t*) {
    return float_result(std::log(argument_as_float(arg(0))->as_double()) / 0.6931471805599453);
}
Flow log_10(int, const int32_t*) { return float_result(std::log10(argument_as_float(arg(0))->as_double())); }
Flow log_e(int, const int32_t*) { return float_result(std::log(argument_as_float(arg(0))->as_double())); }
Flow exp_(int, const int32_t*) {
    return float_result(std::pow(2.718281828459045, argument_as_float(arg(0))->as_double()));
}
Flow square_root(int, const int32_t*) {
    return float_result(std::sqrt(argument_as_float(arg(0))->as_double()));
}

// none for a directory or a file that cannot be opened.
Flow size_q(int, const int32_t*) {
    Cell* file = arg(0);
    std::string path;
    if (file_io::dir_path_q(file) || !file::to_os_c_string(file, path)) return none_result();
    const int64_t size = file_io::file_size(path.c_str());
    if (size < 0) return none_result();
    // past the integer range the size promotes to a float, as sums do
    if (size > INT32_MAX) return float_result(double(size));
    return integer_result(int32_t(size));
}

}  // namespace zun::natives
