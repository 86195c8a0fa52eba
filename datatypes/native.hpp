// native!, action! and op!: the values of built-in routines and of infix
// operators.
//
// native! and action! cell: word 1 the 1-based index of the entry point in the
// native table (1-120) or the action dispatch table (1-62), word 2 the node of
// the spec block, word 3 the node of a two-cell block: a copy of the context!
// cell of an argument context (values on the value stack, no words), then the
// evaluator's argument-spec cache (none until the first call).
//
// op! cell: a copy of the wrapped native!, action!, function! or routine! cell
// with the header 23 | (wrapped type << 16); an op of a function or routine
// also leaves the wrapped cell in its more-block (function::MORE_OP_FUNCTION).
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::native {

constexpr uint32_t INDEX_LIMIT = 120;

void register_type();

// Pushes a native! or action! of the type for the spec block and the index
// (not checked: make checks it); answers it.
Cell* push(uint32_t type, const Cell* spec, uint32_t index);

// The spec block each built-in index was bound with at start-up (the caller
// keeps those blocks alive). Once any is recorded, make gives a native! or
// action! made from a value the spec of its index, whatever spec it was
// handed, and refuses an index nothing was bound to: the entry point reads
// its arguments in its own layout.
void record_own_spec(uint32_t type, uint32_t index, NodeId spec);
NodeId own_spec(uint32_t type, uint32_t index);

// Actions; action! and op! use reflect and compare too.
Cell* make(Cell* proto, Cell* spec, int type);
void reflect(Cell* value, uint32_t field_symbol);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::native

namespace zun::action {

constexpr uint32_t INDEX_LIMIT = 62;

void register_type();

Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);

}  // namespace zun::action

namespace zun::op {

constexpr uint32_t WRAPPED_SHIFT = 16;

void register_type();

inline uint32_t wrapped_type(const Cell* op) { return (op->header >> WRAPPED_SHIFT) & 0xFF; }
// True when the spec block describes exactly two arguments, the first a word!.
bool two_arguments_q(const Cell* spec);

Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);

}  // namespace zun::op
