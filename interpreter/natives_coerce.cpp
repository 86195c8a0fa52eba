// Natives that build a compound value from its parts: as-pair, as-point2D
// and as-point3D.
#include <cmath>

#include "core/support.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives {

namespace {

// An integer! as it is, a float! truncated toward zero.
int32_t as_pair_coordinate(const Cell* value) {
    if (value->is(TYPE_INTEGER)) return value->as_int();
    double d = value->as_double();
    if (!std::isfinite(d)) support::fire_error(ErrorId::script_invalid_arg, value);
    // Beyond 32 bits the truncation would be the processor's 0x80000000.
    if (!(d > -2147483649.0 && d < 2147483648.0)) support::fire_error(ErrorId::math_overflow);
    return int32_t(d);
}

// An integer! converted, a float! narrowed, to a single float.
float point_coordinate(const Cell* value) {
    return value->is(TYPE_INTEGER) ? float(value->as_int()) : float(value->as_double());
}

}  // namespace

Flow as_pair(int, const int32_t*) {
    int32_t x = as_pair_coordinate(stack::argument(0));
    int32_t y = as_pair_coordinate(stack::argument(1));
    pair::init_cell(stack::g_base, x, y);
    stack::reset_keep_result();
    return Flow::normal;
}

Flow as_point2D(int, const int32_t*) {
    float x = point_coordinate(stack::argument(0)), y = point_coordinate(stack::argument(1));
    point2D::init_cell(stack::g_base, x, y);
    stack::reset_keep_result();
    return Flow::normal;
}

Flow as_point3D(int, const int32_t*) {
    float x = point_coordinate(stack::argument(0)), y = point_coordinate(stack::argument(1));
    float z = point_coordinate(stack::argument(2));
    point3D::init_cell(stack::g_base, x, y, z);
    stack::reset_keep_result();
    return Flow::normal;
}

}  // namespace zun::natives
