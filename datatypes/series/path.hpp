// The path types and paren!: blocks the evaluator walks or runs. They store
// their elements as block! does and differ only in making, converting, forming
// and molding.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::path {
void register_type();

// Retypes the cell (kept in place) and pushes a copy of it.
Cell* push_as_path(Cell* cell);
// An empty path! with room for n cells (1 when n is below 1). The cell must
// not lie inside a series buffer.
Cell* make_at(Cell* cell, int32_t n);

// Shared by the four path types. make and to answer a new value-stack cell.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
}  // namespace zun::path

namespace zun::lit_path {
void register_type();
Cell* push_as_lit_path(Cell* cell);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
}  // namespace zun::lit_path

namespace zun::set_path {
void register_type();
Cell* push_as_set_path(Cell* cell);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
}  // namespace zun::set_path

namespace zun::get_path {
void register_type();
Cell* push_as_get_path(Cell* cell);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
}  // namespace zun::get_path

namespace zun::paren {
void register_type();
Cell* push_as_paren(Cell* cell);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
}  // namespace zun::paren
