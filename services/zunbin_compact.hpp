// The two record readers behind the stream header.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::zunbin {

// Record lead bytes the writer and the reader share: prefixes before a
// value, then the one-byte values.
constexpr uint8_t PREFIX_NEW_LINE = 0xC0, PREFIX_SHARED = 0xC1, PREFIX_SET = 0xC4;
constexpr uint8_t SMALL_INTEGER = 0x80, LOGIC_TRUE = 0xC2, LOGIC_FALSE = 0xC3;

// The body of a compact stream (lengths, symbol table, records) between
// position and end, appended to the destination block.
void decode_compact(const uint8_t* position, const uint8_t* end, Cell* destination, bool symbols);

// The same a record at a time: open_compact reads the header into the decoder
// state (in boot mode every name of the symbol table becomes a global word)
// and answers where the records lie; read_compact_record appends the record
// at position (a set record appends nothing) and answers the position after it.
struct RecordSpan {
    const uint8_t* start;
    const uint8_t* end;
};
RecordSpan open_compact(const uint8_t* position, const uint8_t* end, bool symbols);
const uint8_t* read_compact_record(const uint8_t* position, const uint8_t* end, NodeId destination);
// True when the record at position is a boot set record.
bool set_record_at(const uint8_t* position, const uint8_t* end);

// The same for a word-aligned stream.
void decode_word_aligned(const uint8_t* position, const uint8_t* end, Cell* destination,
                         bool symbols);

}  // namespace zun::zunbin
