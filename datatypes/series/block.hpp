// block!: lists of value cells. The routines the whole runtime uses to build
// and walk blocks, and the block! actions (paren!, the path types and hash!
// inherit them).
//
// Cell: word 1 the head index in cells (signed), word 2 the node of a buffer of
// 16-byte cells, word 3 0 (a hash!'s table). Positions given as "index" count
// cells from the buffer start, not from the value's head.
//
// A Cell* answered into a block's buffer is good until the next allocation.
// Routines that take a block cell re-read node -> buffer themselves; a block
// cell they change in place must not lie in a buffer they can move (copy it to
// the value stack first).
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::block {

void register_type();

inline memory::SeriesBuffer* buffer_of(const Cell* blk) { return memory::buffer_of(blk->data2); }
inline int32_t head_index(const Cell* blk) { return int32_t(blk->data1); }
// Cells from the buffer start to the tail (the head is ignored).
inline int32_t length_from_start(const Cell* blk) { return int32_t(buffer_of(blk)->used() >> 4); }
// block!, paren!, the path types and hash!.
inline bool any_block_q(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH ||
           (type >= TYPE_PATH && type <= TYPE_GET_PATH);
}
// Cells from the head to the tail; 0 for a head past the tail.
int32_t length_from_head(const Cell* blk);

// Walking.
int32_t count_cells(const Cell* blk);  // not clipped: may be negative
Cell* head_cell(Cell* blk);            // clips a head past the tail (stored back)
Cell* tail_cell(const Cell* blk);
bool at_tail_q(const Cell* blk);
bool next_checked(Cell* blk);  // true when the head then lies at the tail
Cell* cell_at(const Cell* blk, int32_t index);
void clear_from_head(Cell* blk);
void set_tail_at(const Cell* blk, int32_t index);
void remove_last(Cell* blk);

// Building. The value may lie anywhere, in the block itself included.
Cell* append_cell(const Cell* blk, const Cell* value);  // the new cell
Cell* append_block(Cell* target, const Cell* source);
// n cells from outside the frames (the value stack) after the tail; room for
// `spare` more is made with them.
void append_cells(const Cell* blk, const Cell* cells, int32_t n, int32_t spare);
Cell* insert_value(Cell* blk, const Cell* value, bool advance, bool at_start);
Cell* insert_block(Cell* target, const Cell* source);  // target's head moves past them

// Look-ups. A found cell lies in the buffer; otherwise the shared none cell.
Cell* select_value(Cell* blk, const Cell* value);
Cell* select_word(Cell* blk, const Cell* word, bool exact);
// Removes the first cell equal to the value; true when it lay at or before the
// head index.
bool remove_value(Cell* blk, const Cell* value, bool from_start);

// Copies. clone pushes the copy on the value stack (deep: nested blocks, and
// with paths also parens and paths, are cloned too).
Cell* clone(const Cell* blk, bool deep, bool paths);
// Cells first, first + step ... before end of the node's buffer (counted from
// its start) whose type is in `types` (a datatype! or typeset!) and that hold
// a series, bitset, object, error or map become copies of themselves. The node
// must be reachable from a root: copying allocates.
void copy_values_in_place(NodeId node, int32_t first, int32_t end, int32_t step,
                          const Cell* types, bool deep);

// The value makers: into a cell, appended to a block, pushed on the stack.
// The cell given to make_at must not lie in a series buffer.
Cell* make_at(Cell* cell, int32_t n);  // n below 1 gives room for one cell
Cell* make_at_alloc(Cell* cell, int32_t n, bool outside);
// A block holding copies of n cells from outside the frames, with room for
// `spare` more.
Cell* make_holding(Cell* cell, const Cell* cells, int32_t n, int32_t spare);
// Appended to the parent; with no parent to the root block (kept for the run).
Cell* make_in(const Cell* parent, int32_t n);
Cell* make_fixed_in(const Cell* parent, int32_t n);  // buffer outside the frames
Cell* push_copy(const Cell* value);
Cell* push_new(int32_t n);
// Compiled-code forms on the value stack: the top value goes to the block just
// below it (and is popped); append_second_arg appends argument 1 to argument 0.
void append_arg();
void append_second_arg();
void insert_arg();

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
// The block mold between the given brackets (paren! uses "(" and ")").
int mold_between(Cell* value, Cell* buffer, const char* open, const char* close, bool only,
                 bool all, bool flat, Cell* arg, int part, int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);

// The actions leave their result in the series cell (the arguments base) and
// answer it; copy answers its result cell.
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
             bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
// part -1: the whole value; dup 1 by default. Also insert.
Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
// part below 0: no /part.
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* swap(Cell* series1, Cell* series2);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
// A function! comparator raises internal not-done until the evaluator exists.
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable);

// Set-operation codes.
enum SetOp : int { SET_UNIQUE = 8, SET_UNION, SET_INTERSECT, SET_EXCLUDE, SET_DIFFERENCE };
// The result replaces set1 (its type, a new node, head 0). skip: nullptr or
// none when absent. set2 is not read by unique.
Cell* set_operation(Cell* set1, Cell* set2, bool case_, Cell* skip, int op);

}  // namespace zun::block
