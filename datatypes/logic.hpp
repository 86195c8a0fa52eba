// unset!, none! and logic!: their actions, the makers every module uses to
// produce these values, the shared constant cells and the truth tests that
// decide every condition.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun {

// Set by the registrations; hand them out, never write into them.
extern Cell shared_unset_cell;
extern Cell shared_none_cell;
extern Cell shared_true_cell;
extern Cell shared_false_cell;

}  // namespace zun

namespace zun::unset {
void register_type();

// The result cell (arguments base); only the header is rewritten.
void set_result();
// The appended cell is good until the next allocation.
Cell* append_to_block(const Cell* block);
Cell* push();

Cell* make(Cell* proto, Cell* spec, int type);  // also to
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
}  // namespace zun::unset

namespace zun::none {
void register_type();

void set_result();
Cell* append_to_block(const Cell* block);
Cell* push();

Cell* make(Cell* proto, Cell* spec, int type);  // also to
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
// Series actions on none answer none.
Cell* clear(Cell* series);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
int length_q(Cell* series);
Cell* remove(Cell* series, Cell* part, Cell* key);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
             bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
}  // namespace zun::none

namespace zun::logic {
void register_type();

inline Cell make_value(bool flag) { return make_cell(TYPE_LOGIC, flag ? 1 : 0); }
void set_result(bool flag);
Cell* append_to_block(const Cell* block, bool flag);
Cell* push(bool flag);
// Word 1: the flag of a logic!, the type id of a datatype!.
inline uint32_t get(const Cell* cell) { return cell->data1; }

// A value is false when it is none or logic false (a flag other than exactly 1).
inline bool false_value(const Cell* cell) {
    return cell->is(TYPE_NONE) || (cell->is(TYPE_LOGIC) && cell->data1 != 1);
}
// With check set, unset! raises script no-value naming error_arg.
bool true_value_q(const Cell* cell, bool check = false, const Cell* error_arg = nullptr);
// On the result cell; unset! raises script no-return.
bool result_true_q();
bool result_false_q();  // unset! counts as true
// On the last value of the stack (the arguments base when nothing lies above).
bool top_false_q();
bool top_true_q();

Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
void random(Cell* value, bool seed, bool secure, bool only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* complement(Cell* value);
// Stack handlers: value 1 at the arguments base, value 2 in the next cell.
void and_();
void or_();
void xor_();
}  // namespace zun::logic
