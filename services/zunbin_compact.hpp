// The two record readers behind the stream header.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::zunbin {

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
