// bitset!: a set of non-negative integers (code points in practice) as a bit
// array of 1-byte units. Bit n lives in byte n / 8 under the mask 0x80 >> n % 8.
// The stored bits are the members; a number beyond the stored bytes is a
// member exactly when the buffer's complemented flag is set. Bytes between
// the tail and the end of the buffer hold the fill of the flag (0xFF or 0).
//
// Cell: word 2 the node of the bit buffer; words 1 and 3 unused.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::bitset {

enum SpecOp : int { MEASURE = 0, ADD = 1, TEST = 2, REMOVE = 3 };
// Where a spec is applied: it picks the error an unsupported value raises.
enum SpecContext : int { FROM_MAKE = 0, FROM_TO = 1, FROM_ACTION = 2 };

inline bool complemented_q(const Cell* bits) {
    return memory::buffer_of(bits->data2)->flags & memory::COMPLEMENTED_FLAG;
}
// The first byte; good until the next allocation.
inline uint8_t* data_pointer(const Cell* bits) { return memory::buffer_of(bits->data2)->head_ptr(); }
// Whether n is a member.
bool member_q(const Cell* bits, int64_t n);
// Makes bit n stored: grows the buffer (new bytes take the flag's fill) and
// moves the tail over byte n / 8. May move the buffer.
memory::SeriesBuffer* reserve_bit(const Cell* bits, uint32_t n);
// True when n is negative or lies beyond the stored bytes.
bool out_of_range_q(const Cell* bits, int64_t n);

// Applies a spec value (char!, integer!, float!, string!, or a block of them
// with `a - b` ranges). MEASURE answers the bytes the spec needs (at least 1);
// TEST answers 1 when every bit is a member; ADD and REMOVE answer 1.
int32_t process_spec(const Cell* spec, const Cell* bits, int op, int context);
// ADD, TEST or REMOVE on every bit from `from` to `to`.
bool process_range(const Cell* bits, uint32_t from, uint32_t to, int op);

// The set operations on the current call's two arguments (op codes 5 or~,
// 6 and~, 7 xor~, 8 unique, 9 union, 10 intersect, 11 exclude, 12
// difference): the new bitset replaces argument 0. Membership follows the
// set algebra for complemented operands too.
void set_operation(int op);

// The cell becomes a new bitset of `bytes` stored bytes, all 0 (or all 0xFF
// and complemented: the empty and the full set). The cell must not lie
// inside a series buffer.
Cell* make_at(Cell* cell, uint32_t bytes, bool complemented);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* complement(Cell* value);
void negate(Cell* value);
Cell* pick(Cell* series, int index, Cell* index_cell);
Cell* poke(Cell* series, int index, Cell* value, Cell* index_cell);
Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
Cell* remove_(Cell* series, Cell* part, Cell* key);
Cell* clear(Cell* series);
int length_q(Cell* series);

void register_type();

}  // namespace zun::bitset
