// string!: text in one series buffer of 1-, 2- or 4-byte units (Latin-1,
// UCS-2, UCS-4, little-endian), widened in place when a code point does not
// fit. The low-level operations here serve the whole string family and the
// form/mold code of every datatype; the actions serve string!, file!, url!,
// tag!, email! and ref!, and binary! and vector! inherit find, select, sort,
// take and path access (binary! also make and swap).
//
// Cell: word 1 the head index in units (signed), word 2 the buffer's node,
// word 3 0 (later the node of the cell's conversion buffer).
//
// Operations that take a cell re-read node -> buffer themselves. Those that
// take and answer a SeriesBuffer* may move it: use the answered buffer, never
// the old pointer, and re-read it after any other allocation.
#pragma once
#include <bit>
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::string {

using memory::SeriesBuffer;

inline SeriesBuffer* buffer_of(const Cell* str) { return memory::buffer_of(str->data2); }
inline int32_t head_index(const Cell* str) { return int32_t(str->data1); }
// log2 of a unit of 1, 2, 4, 8 or 16 bytes.
inline uint32_t unit_shift(uint32_t unit) { return uint32_t(std::countr_zero(unit)); }
// string!, file!, url!, tag!, email! and ref!.
inline bool any_string_q(uint32_t type) {
    return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
           type == TYPE_EMAIL || type == TYPE_REF;
}

// Navigation. A head index past the tail is first clipped to the tail (and
// the clipped index stored in the cell).
uint8_t* head_pointer(Cell* str);
uint8_t* tail_pointer(const Cell* str);
int32_t length_from_head(Cell* str);
int32_t length_from_start(const Cell* str);
bool at_tail_q(const Cell* str);
// Moves the head by n when the new position lies within 0 .. tail; answers
// whether the head is then at or past the tail.
bool skip(Cell* str, int32_t n);
inline bool next(Cell* str) { return skip(str, 1); }
inline uint32_t get_char(const uint8_t* p, uint32_t unit) {
    switch (unit) {
        case 1: return p[0];
        case 2: return uint32_t(p[0]) | uint32_t(p[1]) << 8;
        default:
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24;
    }
}
uint32_t char_at(const Cell* str, int32_t index);  // index from the buffer start
// Offset from the head of the first unit equal to the code point, or -1.
int32_t find_char(Cell* str, uint32_t code_point);
// Whether the code point is at the head or at any skip-th unit after it;
// case-insensitive (upper-case folding) unless case_ is set.
bool contains_char_q(Cell* str, uint32_t code_point, int32_t skip, bool case_);
// Whether the text from the head begins with the bytes of the C text.
bool starts_with_c_text_q(Cell* str, const char* text);

// Construction. The cell must not lie inside a series buffer: making the
// buffer may move every buffer.
Cell* make_empty_at(Cell* cell, uint32_t n);  // unit 1, room for n units (0 taken as 1)
Cell* make_at(Cell* cell, uint32_t n, uint32_t unit);
// Encoding 0: UTF-8, length in bytes; -1: UTF-16LE, length in 16-bit units.
// A null cell means a new value-stack cell. The text must not lie inside a
// series buffer.
Cell* load_c_text_at(const char* text, uint32_t length, Cell* cell, int encoding);
Cell* load_c_text(const char* text, uint32_t length, int encoding);
// The string becomes the new last cell of the block (good until the next allocation).
Cell* load_c_text_in(const char* text, uint32_t length, const Cell* block, int encoding);
// Pushes a new string! decoded from UTF-8 (access invalid-utf8 for bad or cut
// input). The bytes must not lie inside a series buffer.
Cell* load_utf8_strict(const uint8_t* bytes, uint32_t length);
Cell* push_copy(const Cell* str);  // same node: the characters are shared

// Writing. Texts given by address must not lie inside a series buffer.
SeriesBuffer* append_char(SeriesBuffer* buffer, uint32_t code_point);
// Writes at a unit index from the buffer start (a 1-byte buffer keeps
// Latin-1 there), widening and growing as needed; a write past the tail
// moves the tail after it, the units skipped over becoming 0.
SeriesBuffer* set_char_at(SeriesBuffer* buffer, uint32_t index, uint32_t code_point);
SeriesBuffer* insert_char_at(SeriesBuffer* buffer, uint32_t index, uint32_t code_point);
// Stores at the unit address, widening first when the unit cannot keep the
// code point (the address then follows the unit's new place).
SeriesBuffer* poke_char(SeriesBuffer* buffer, uint8_t* unit_address, uint32_t code_point);
SeriesBuffer* append_c_string(Cell* str, const char* text);
SeriesBuffer* append_bytes(Cell* str, const uint8_t* bytes, uint32_t n);  // a byte per char
// UTF-8 text decoded at the tail; a byte-order mark is kept as a character.
SeriesBuffer* append_utf8(Cell* str, const char* text, uint32_t length);
// The code point in molded form: ^(hex), ^/ and the other caret escapes, or
// itself. With `all` every code point above 127 takes the hex form.
void append_escaped_char(Cell* buffer, uint32_t code_point, bool all);
// Widens in place (1 to 2, 1 to 4, 2 to 4), keeping every code point.
SeriesBuffer* widen_to(SeriesBuffer* buffer, uint32_t from, uint32_t to);
// The source's code points from source_offset (bytes from its first used
// byte) for length bytes (below 1: to the tail), written in `unit` from
// target_offset of the target. A null target means a new series: its node is
// in the answered buffer's header and must be rooted before the next
// allocation. Unless keep is set the target's tail follows the last written
// unit and its unit becomes `unit`.
SeriesBuffer* copy_widened(SeriesBuffer* source, SeriesBuffer* target, uint32_t unit,
                           uint32_t source_offset, uint32_t target_offset, int32_t length,
                           bool keep);
// Moves the tail back to n units from the buffer start when it lies beyond.
SeriesBuffer* truncate_buffer(SeriesBuffer* buffer, uint32_t n);
void reset(Cell* str);  // empty, unit 1, head 0
// Units at index (from the buffer start) taken out, the rest moving down.
void remove_units_at(Cell* str, int32_t index, int32_t n);
inline void remove_unit_at(Cell* str, int32_t index) { remove_units_at(str, index, 1); }
// The n code points at the source's head move to the target's head.
void move_units(Cell* source, Cell* target, int32_t n);
// Exchanges two blocks of one buffer in place: [A][gap][B] becomes
// [B][gap][A] (b must be a + length_a + gap).
void swap_regions(uint8_t* a, uint32_t length_a, uint8_t* b, uint32_t length_b, uint32_t gap);

// The one primitive behind append, insert and change: the source's units
// from its head (a symbol! or word stands for its name) written into the
// target at its tail (APPEND_MODE), inserted at head + offset (INSERT_MODE)
// or written over the units there (OVERWRITE_MODE, the tail never moving
// back). A part of 0 .. count-1 limits the units taken. The target widens to
// the source's unit; the source is never changed (keep_unit is accepted for
// callers that pass it). Answers the target's buffer.
enum ConcatMode : int { APPEND_MODE = 0, INSERT_MODE = 1, OVERWRITE_MODE = 2 };
SeriesBuffer* concatenate(Cell* target, const Cell* source, int32_t part, int32_t offset,
                          bool keep_unit, int mode);
inline SeriesBuffer* concatenate_part(Cell* target, const Cell* source, int32_t part,
                                      int32_t offset, bool keep_unit, int mode) {
    return concatenate(target, source, part, offset, keep_unit, mode);
}
inline SeriesBuffer* overwrite_part(Cell* target, const Cell* source, int32_t part,
                                    int32_t offset) {
    return concatenate(target, source, part, offset, false, OVERWRITE_MODE);
}

// Matching and comparison. compare_strings answers -1, 0 or 1 under a
// comparison operation code; with `match` set, 0 when a begins with b.
int compare_strings(const Cell* a, const Cell* b, int op, bool match);
bool match_q(Cell* str, const Cell* value, int op);
bool char_in_bitset_q(Cell* str, const Cell* bitset);
bool tag_delimited_q(Cell* str, Cell* tag);  // "<" at the head, ">" after tag's length

// Static texts, good until the next call.
const char* byte_to_hex(uint8_t byte);
const char* integer_to_hex(int32_t value, bool trim);
// The double a decimal text reads as; *error is set when the text is not a
// number (empty, or with characters left after it).
double to_float(const uint8_t* text, uint32_t length, bool* error);

// Actions. The series cell (the arguments base) receives the result and is
// answered; make and to push their result.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
// Reading answers a cell good until the next path access.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
             bool any, Cell* with, Cell* skip, bool last, bool reverse);
// A function! comparator raises internal not-done until the evaluator exists.
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable);
// part -1: the whole value; dup 1 by default (0 or less adds nothing).
Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
// part below 0: no /part.
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);
Cell* swap(Cell* series1, Cell* series2);
Cell* take(Cell* series, Cell* part, bool deep, bool last);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);
// Operation codes 8 unique ... 12 difference; the result replaces set1 (its
// type, a new node, head 0). skip: nullptr or none when absent.
Cell* set_operation(Cell* set1, Cell* set2, bool case_, Cell* skip, int op);

void register_type();

}  // namespace zun::string
