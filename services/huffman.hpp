// Huffman code lengths under a length limit, and canonical codes, shared by
// the deflate and Zstandard compressors.
#pragma once
#include <cstdint>

namespace zun::compress {

constexpr int HUFFMAN_MAX_SYMBOLS = 512;

// Code lengths (0 for an unused symbol) for count symbols (at most
// HUFFMAN_MAX_SYMBOLS, and no more than 2^limit) from their frequencies; the
// frequencies must sum below 2^32.
// Used symbols are ranked by ascending frequency, ties by ascending symbol.
// Fewer than two used symbols: symbols 0 and 1 get length 1, except that a
// single used symbol above 1 takes symbol 1's place (two codes always exist,
// count must be at least 2). Otherwise the optimal lengths (Moffat-Katajainen)
// are clamped to the limit, the Kraft sum repaired by moving leaves from the
// longest shorter length down a level, and the shortest lengths go to the most
// frequent end of the ranking.
void huffman_lengths(const uint32_t* freqs, int count, int limit, uint8_t* lengths);

// The 16 low bits of v in reverse order.
uint32_t reverse_bits16(uint32_t v);

// Canonical codes (RFC 1951 3.2.2) from code lengths of at most 15 bits,
// stored bit-reversed so they go out least significant bit first.
void canonical_codes(const uint8_t* lengths, int count, uint16_t* codes);

}  // namespace zun::compress
