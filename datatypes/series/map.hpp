// map! and hash!: hashed key/value and block types.
//
// map! cell: word 1 the head index (0), word 2 the node of the key/value block,
// word 3 the node of its hash table (kind 1). Entry i is the key cell 2i and
// the value cell 2i + 1; a removed entry keeps both cells and its bucket, its
// value cell's header set to 0.
//
// hash! cell: a block! cell whose word 3 holds a kind-0 table over its cells.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::map {
void register_type();

int32_t count(const Cell* map);  // live entries
bool valid_key_type_q(uint32_t type);
// Prepares a value-stack key in place: series keys become copies from their
// head, word keys set-words; other accepted keys stay. A key of any other type
// raises script invalid-path (the path or none, the key's datatype). This is
// the routine the hash tables call for the keys they index.
void prepare_key(Cell* key);
void prepare_key_for(Cell* key, const Cell* path);
// Makes the cell a map! over the block (which becomes the map's own) or, for
// none, over a new block with room for n cells. The cell keeps its new-line
// mark and must not lie in a series buffer.
Cell* make_at(Cell* cell, const Cell* block, int32_t n);
// Adds the pairs of a block; the map cell is answered.
Cell* extend(Cell* map, const Cell* block, bool case_);
// The same for n cells on the value stack; the map cell lies there too.
Cell* extend_cells(Cell* map, const Cell* cells, int32_t n, bool case_);
// The body (key, value of every live entry, keys starting lines), pushed on
// the value stack as a new block!.
Cell* push_body(const Cell* map);
Cell* push_copy(const Cell* value);
// One foreach step over a map: the n words (a block at its head) take the
// next keys and values from the cursor (the map value, moved past them;
// removed entries are skipped, set-word keys become words, missing cells
// none). True when any word took a cell.
bool foreach_step(Cell* cursor, const Cell* words, int32_t n);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
void reflect(Cell* value, uint32_t field_symbol);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);
Cell* clear(Cell* series);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int length_q(Cell* series);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
Cell* remove(Cell* series, Cell* part, Cell* key);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
             bool any, Cell* with, Cell* skip, bool last, bool reverse);
}  // namespace zun::map

namespace zun::hash {
void register_type();

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
}  // namespace zun::hash
