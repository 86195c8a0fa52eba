// char!: one Unicode code point, 0 to 0x10FFFF. Arithmetic runs through the
// integer! routine and must land back in that range.
//
// Cell: word 2 the code point; words 1 and 3 unused.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::char_ {

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;

void register_type();

inline Cell make_value(uint32_t code_point) { return make_cell(TYPE_CHAR, 0, code_point, 0); }
Cell* push(uint32_t code_point);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, uint32_t code_point);

// Applies op (integer! operation codes) to the two arguments of the current
// call; the result replaces argument 0 and stays a char!.
void math_op(int op);

// Appends the code point as quoted text writes it, with caret escapes (with
// all, every code point above 0x7F as ^(hex)); answers the characters added.
int append_escaped(Cell* buffer, uint32_t c, bool all);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);  // also to
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
// Stack handlers: value 1 at the arguments base, value 2 in the next cell.
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();

}  // namespace zun::char_
