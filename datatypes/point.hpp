// point2D! and point3D!: points with single-precision coordinates, written
// (1.5, 2) and (1, 2, 3). Arithmetic runs in double precision and each result
// is rounded to single precision when stored.
//
// Cells: words 1, 2 (and 3) the coordinates x, y (and z) as IEEE singles.
#pragma once
#include <bit>
#include <cstdint>

#include "core/cell.hpp"

namespace zun::point {
// Coordinate i (0-based) of a point cell.
inline float coordinate(const Cell* cell, int i) {
    return std::bit_cast<float>(i == 0 ? cell->data1 : i == 1 ? cell->data2 : cell->data3);
}
inline void set_coordinate(Cell* cell, int i, float value) {
    uint32_t bits = std::bit_cast<uint32_t>(value);
    (i == 0 ? cell->data1 : i == 1 ? cell->data2 : cell->data3) = bits;
}
}  // namespace zun::point

namespace zun::point2D {

void register_type();

// Keep the header flags.
inline Cell* init_cell(Cell* cell, float x, float y) {
    cell->set_type(TYPE_POINT2D);
    cell->data1 = std::bit_cast<uint32_t>(x);
    cell->data2 = std::bit_cast<uint32_t>(y);
    cell->data3 = 0;
    return cell;
}
Cell* push(float x, float y);

// 1 for x, 2 for y (any case); another word: script cannot-use when the
// reference is a point2D!, else invalid-path naming the reference.
int field_index(const Cell* word, const Cell* reference);
// Arithmetic on the two arguments of the current call (argument 0 a
// point2D!), codes 0 add .. 4 remainder; the result replaces argument 0.
Cell* do_math(int op);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::point2D

namespace zun::point3D {

void register_type();

inline Cell* init_cell(Cell* cell, float x, float y, float z) {
    cell->set_type(TYPE_POINT3D);
    cell->data1 = std::bit_cast<uint32_t>(x);
    cell->data2 = std::bit_cast<uint32_t>(y);
    cell->data3 = std::bit_cast<uint32_t>(z);
    return cell;
}
Cell* push(float x, float y, float z);

int field_index(const Cell* word, const Cell* reference);  // adds 3 for z
Cell* do_math(int op);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::point3D
