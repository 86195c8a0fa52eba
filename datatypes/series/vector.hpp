// vector!: a packed series of numbers of one element type, each element in a
// fixed number of bytes (the buffer's unit):
//   char!      8, 16 or 32 bits (default 32), the code point's low bits
//   integer!   8, 16 or 32 bits (default 32), two's complement low bits
//   float!     32 or 64 bits (default 64), IEEE single or double
//   percent!   always 64 bits, the double of the fraction (50% is 0.5)
// Narrow integer! elements read sign-extended, narrow char! elements
// zero-extended (a char never reads back negative).
//
// Cell: word 1 the head index in elements, word 2 the node, word 3 the
// element type id. Navigation and most series actions come from string! and
// series!.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::vector {

void register_type();

// The default unit of an element type (4 for char!/integer!, 8 otherwise).
inline uint32_t default_unit(uint32_t element_type) {
    return element_type == TYPE_CHAR || element_type == TYPE_INTEGER ? 4 : 8;
}

int32_t length_from_head(const Cell* vec);  // 0 when the head lies past the tail
void clear_from_head(Cell* vec);
// Stores a 32-bit value in 4 new bytes at the tail (for 4-byte vectors);
// answers their address, good until the next allocation.
uint8_t* append_int32(Cell* vec, int32_t value);
// An empty vector with room for n elements; internal no-memory when n units
// do not fit 32 bits. The cell must not lie inside a series buffer.
Cell* make_at(Cell* cell, int32_t n, uint32_t element_type, uint32_t unit);

// Element access by address and unit.
int32_t get_int(const uint8_t* p, uint32_t unit);   // sign-extended
double get_float(const uint8_t* p, uint32_t unit);  // a single widens
Cell element_value(const uint8_t* p, uint32_t unit, uint32_t element_type);
// A char!/integer! keeps its low bits, a float!/percent! goes in as a double
// (unit 8) or a single; any other value raises script invalid-type.
void store_element(uint8_t* p, const Cell* value, uint32_t unit);

// The value must have the vector's element type (else script invalid-arg).
void append_value(Cell* vec, const Cell* value);
void append_values(Cell* vec, const Cell* block);  // from the block's head
// A new block of the elements from the head; the target must not lie inside
// a series buffer.
Cell* to_block(const Cell* vec, Cell* target);

// Element-wise arithmetic of the current call's two arguments (a vector and a
// vector or a number); the result replaces argument 0.
Cell* do_math(int op);
// vector op scalar for every element from the head, in place; the scalar an
// integer!, char!, float! or percent!. With scalar_first each element becomes
// scalar op element instead, which is what `10 - vec` means.
Cell* math_scalar(int op, Cell* vec, const Cell* scalar, bool scalar_first = false);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();
Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);

}  // namespace zun::vector
