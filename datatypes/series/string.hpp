// string!: text in one series buffer of 1-, 2- or 4-byte units (Latin-1,
// UCS-2, UCS-4, little-endian), widened in place when a code point does not
// fit. The low-level operations here serve the whole string family and the
// form/mold code of every datatype.
//
// Cell: word 1 the head index in units (signed), word 2 the buffer's node,
// word 3 0 (later the node of the cell's conversion buffer).
//
// Operations that take a cell re-read node -> buffer themselves. Those that
// take and answer a SeriesBuffer* may move it: use the answered buffer, never
// the old pointer, and re-read it after any other allocation.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::string {

using memory::SeriesBuffer;

inline SeriesBuffer* buffer_of(const Cell* str) { return memory::buffer_of(str->data2); }
inline int32_t head_index(const Cell* str) { return int32_t(str->data1); }
// log2 of a unit of 1, 2 or 4 bytes.
inline uint32_t unit_shift(uint32_t unit) { return unit >> 1; }

// Navigation. A head index past the tail is first clipped to the tail (and
// the clipped index stored in the cell).
uint8_t* head_pointer(Cell* str);
uint8_t* tail_pointer(const Cell* str);
int32_t length_from_head(Cell* str);
int32_t length_from_start(const Cell* str);
bool at_tail_q(const Cell* str);
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

// Construction. The cell must not lie inside a series buffer: making the
// buffer may move every buffer.
Cell* make_empty_at(Cell* cell, uint32_t n);  // unit 1, room for n units (0 taken as 1)
Cell* make_at(Cell* cell, uint32_t n, uint32_t unit);
// Encoding 0 is UTF-8; a null cell means a new value-stack cell.
Cell* load_c_text_at(const char* text, uint32_t length, Cell* cell, int encoding);
Cell* load_c_text(const char* text, uint32_t length, int encoding);
// The string becomes the new last cell of the block (good until the next allocation).
Cell* load_c_text_in(const char* text, uint32_t length, const Cell* block, int encoding);

// Writing at the tail. The text must not lie inside a series buffer.
SeriesBuffer* append_char(SeriesBuffer* buffer, uint32_t code_point);
SeriesBuffer* append_c_string(Cell* str, const char* text);
SeriesBuffer* append_bytes(Cell* str, const uint8_t* bytes, uint32_t n);  // a byte per char
SeriesBuffer* append_utf8(Cell* str, const char* text, uint32_t length);
// Widens in place (1 to 2, 1 to 4, 2 to 4), keeping every code point.
SeriesBuffer* widen_to(SeriesBuffer* buffer, uint32_t from, uint32_t to);
// Moves the tail back to n units from the buffer start when it lies beyond.
SeriesBuffer* truncate_buffer(SeriesBuffer* buffer, uint32_t n);
void reset(Cell* str);  // empty, unit 1, head 0

// Static texts, good until the next call.
const char* byte_to_hex(uint8_t byte);
const char* integer_to_hex(int32_t value, bool trim);

void register_type();

}  // namespace zun::string
