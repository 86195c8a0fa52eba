// The two record readers behind the stream header.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::zunbin {

// The body of a compact stream (lengths, symbol table, records) between
// position and end, appended to the destination block.
void decode_compact(const uint8_t* position, const uint8_t* end, Cell* destination, bool symbols);
// The same for a word-aligned stream.
void decode_word_aligned(const uint8_t* position, const uint8_t* end, Cell* destination,
                         bool symbols);

}  // namespace zun::zunbin
