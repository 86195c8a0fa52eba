// series!: the actions every series type shares, for any unit size (1, 2 or 4
// bytes for strings and binaries, up to 8 for vectors, 16 for cells), and the
// position routines the other series types call.
//
// A series cell: word 1 the head index in units (signed), word 2 the node of
// its buffer, word 3 type-specific (a hash!'s table, a vector!'s element type).
// A head index may lie past a tail that shrank through another value; each
// routine says how it treats that.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::series {

void register_type();

// Position routines.
bool at_tail_q(const Cell* series);           // head at or past the tail
int32_t length_from_start(const Cell* series);  // units from the buffer start
// Moves the head by n when the new position lies within 0 .. tail; true when
// the head is then at or past the tail.
bool skip_checked(Cell* series, int32_t n);
// The head index `at` (at set) or `skip` would give, clipped to 0 .. length;
// script invalid-arg when the index is not an integer!.
int32_t clip_offset(bool at, const Cell* series, const Cell* index);
// Units from the head (from the start with the flag); a head past the tail is
// moved to the tail and gives 0.
int32_t length_clipped(Cell* series, bool from_start);

// Actions. Stack forms take the series at argument 0 and write slot 0.
void random_(Cell* value, bool seed, bool secure, bool only);
void reflect(Cell* value, uint32_t field_symbol);
void at();
void back();
Cell* clear(Cell* series);
// The result cell must not lie inside a series buffer: the copy allocates.
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
void head();
void head_q();
void index_q();
int length_q(Cell* series);
Cell* move(Cell* origin, Cell* target, Cell* part);
void next();
// A cell-series element is answered in place (good until the next
// allocation); any other answer lives in a static cell until the next pick.
Cell* pick(Cell* series, int index, Cell* index_cell);
Cell* poke(Cell* series, int index, Cell* value, Cell* index_cell);
Cell* remove_(Cell* series, Cell* part, Cell* key);
Cell* reverse(Cell* series, Cell* part, Cell* skip);
void skip();
void tail();
void tail_q();
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);

// The one-unit series a take without /part answers through; the collector
// keeps it as a root. 0 when none has been made on the current memory.
NodeId take_scratch();

}  // namespace zun::series
