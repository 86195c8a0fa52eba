// triple!: three 32-bit integers that only native code makes; scripts can
// only form and mold them.
// handle!: an OS handle or native pointer tagged with its kind. Word 1 the
// kind (0-6), word 2 the 32-bit handle value (an fd or X11 id itself, else an
// index into a C++ handle table), word 3 the external-resource slot (-1: none).
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::triple {
void register_type();
inline Cell make_value(int32_t a, int32_t b, int32_t c) {
    return make_cell(TYPE_TRIPLE, uint32_t(a), uint32_t(b), uint32_t(c));
}
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
}  // namespace zun::triple

namespace zun::handle {

enum Kind : uint32_t { NO_KIND = 0, NULL_KIND, FD, MONITOR, WINDOW, FONT, RICH_TEXT };
constexpr uint32_t NO_SLOT = 0xFFFFFFFF;

void register_type();

// Keeps the header flags.
inline Cell* init_cell(Cell* cell, uint32_t handle, uint32_t kind) {
    cell->set_type(TYPE_HANDLE);
    cell->data1 = kind;
    cell->data2 = handle;
    cell->data3 = NO_SLOT;
    return cell;
}
void set_result(uint32_t handle, uint32_t kind);
Cell* push(uint32_t handle, uint32_t kind);
Cell* push_null();
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, uint32_t handle, uint32_t kind);

int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::handle
