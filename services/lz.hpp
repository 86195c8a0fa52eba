// The runtime's own LZ77-style format: an 8-byte container (C, the bytes
// after it; N, the decompressed length; both 32-bit little-endian), then
// independent chunks of at most 1 MiB, each its decompressed length (4 bytes)
// and a bit stream of literals and matches (least significant bit first,
// padded to a byte). Matches reach at most 256 KiB back within their chunk
// and are 3 to 566 bytes long.
#pragma once
#include <cstdint>

namespace zun::compress {

constexpr uint32_t LZ_CHUNK = 0x100000;
constexpr uint32_t LZ_MIN_INPUT = 128;

// Compresses n bytes into dst (room for n bytes); answers C + 8, or -1 when
// the input is shorter than 128 bytes or the result would not fit in n bytes.
int64_t lz_compress(const uint8_t* src, uint32_t n, uint8_t* dst);

// A new buffer (free it with lz_free) holding the decompressed bytes, their
// number in *size; nullptr when the container is malformed. Never reads past
// length bytes of input, and allocates only what the input can expand to.
uint8_t* lz_decompress(const uint8_t* container, uint64_t length, uint32_t* size);
void lz_free(uint8_t* buffer);

// Bit streams, exposed for tests of the codes.
struct LzBits {
    uint8_t* out = nullptr;
    uint64_t capacity = 0;
    uint64_t used = 0;
    const uint8_t* in = nullptr;
    const uint8_t* in_end = nullptr;
    uint64_t pending = 0;
    uint32_t count = 0;
    bool overflow = false;
};
void lz_init(LzBits& s, uint8_t* out, uint64_t capacity);
uint8_t* lz_reserve(LzBits& s, int64_t n);  // nullptr (and overflow set) when it does not fit
void lz_put_bits(uint32_t count, uint32_t value, LzBits& s);
// -1 when the input ends first.
int64_t lz_get_bits(uint32_t count, LzBits& s);
void lz_put_length(uint32_t length, LzBits& s);
void lz_put_distance(uint32_t distance, LzBits& s);
inline uint32_t lz_hash3(uint32_t h, uint8_t byte) { return ((h << 7) + byte) & 0x7FFFF; }
inline uint32_t lz_hash4(uint32_t h, uint8_t byte) { return ((h << 5) + byte) & 0xFFFFF; }
// How many bytes a match at distance d must beat the best (at best_distance) by.
uint32_t lz_distance_cost(uint32_t d, uint32_t best_distance);

}  // namespace zun::compress
