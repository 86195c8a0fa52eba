// pair!: two 32-bit integer coordinates, written 1x2. Arithmetic that cannot
// stay exact in integers (overflow, an inexact division, a float factor)
// lands in point2D!.
//
// Cell: word 2 x, word 3 y (signed); word 1 unused.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::pair {

void register_type();

inline int32_t x_of(const Cell* cell) { return int32_t(cell->data2); }
inline int32_t y_of(const Cell* cell) { return int32_t(cell->data3); }
// Keeps the header flags.
inline Cell* init_cell(Cell* cell, int32_t x, int32_t y) {
    cell->set_type(TYPE_PAIR);
    cell->data1 = 0;
    cell->data2 = uint32_t(x);
    cell->data3 = uint32_t(y);
    return cell;
}
inline Cell make_value(int32_t x, int32_t y) {
    return make_cell(TYPE_PAIR, 0, uint32_t(x), uint32_t(y));
}
Cell* push(int32_t x, int32_t y);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, int32_t x, int32_t y);

// 1 for the word x, 2 for y (any case). Another word: script cannot-use when
// the reference is a pair!, else invalid-path naming the reference.
int field_index(const Cell* word, const Cell* reference);
// The cell becomes the point2D! of its coordinates, in place.
void to_point2D(Cell* cell);
// Arithmetic on the two arguments of the current call (argument 0 a pair!),
// MathOp codes; the result replaces argument 0.
Cell* do_math(int op);

// A change made through a set-path to a coordinate (or byte) of a value held
// by the container: an object's on-change* hears of it with the old and the
// new value, any other container's owner through the ownership table.
void report_set_path(const Cell* container, const Cell* element, const Cell* old_value,
                     const Cell* new_value, const Cell* stored, int32_t index);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
void random(Cell* value, bool seed, bool secure, bool only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);
void absolute();
void negate(Cell* value);
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling);
Cell* pick(Cell* value, int index, Cell* index_cell);
Cell* reverse(Cell* value, Cell* part, Cell* skip);
// Stack handlers: value 1 at the arguments base, value 2 in the next cell.
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();

}  // namespace zun::pair
