#include "services/xxh64.hpp"

#include "services/zstd_format.hpp"

namespace zun::compress {

namespace {

constexpr uint64_t P1 = 0x9E3779B185EBCA87ull;
constexpr uint64_t P2 = 0xC2B2AE3D27D4EB4Full;
constexpr uint64_t P3 = 0x165667B19E3779F9ull;
constexpr uint64_t P4 = 0x85EBCA77C2B2AE63ull;
constexpr uint64_t P5 = 0x27D4EB2F165667C5ull;

inline uint64_t rotl(uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
inline uint64_t round(uint64_t acc, uint64_t lane) { return rotl(acc + lane * P2, 31) * P1; }
inline uint64_t merge(uint64_t acc, uint64_t v) { return (acc ^ round(0, v)) * P1 + P4; }

}  // namespace

uint64_t xxh64(const uint8_t* p, size_t length) {
    const uint8_t* const end = p + length;
    uint64_t h;
    if (length >= 32) {
        uint64_t v1 = P1 + P2, v2 = P2, v3 = 0, v4 = 0 - P1;
        for (const uint8_t* limit = end - 32; p <= limit; p += 32) {
            v1 = round(v1, read_u64le(p));
            v2 = round(v2, read_u64le(p + 8));
            v3 = round(v3, read_u64le(p + 16));
            v4 = round(v4, read_u64le(p + 24));
        }
        h = rotl(v1, 1) + rotl(v2, 7) + rotl(v3, 12) + rotl(v4, 18);
        h = merge(merge(merge(merge(h, v1), v2), v3), v4);
    } else {
        h = P5;
    }
    h += uint64_t(length);
    for (; p + 8 <= end; p += 8) h = rotl(h ^ round(0, read_u64le(p)), 27) * P1 + P4;
    if (p + 4 <= end) {
        h = rotl(h ^ (uint64_t(read_u32le(p)) * P1), 23) * P2 + P3;
        p += 4;
    }
    for (; p < end; p++) h = rotl(h ^ (*p * P5), 11) * P1;
    h ^= h >> 33;
    h *= P2;
    h ^= h >> 29;
    h *= P3;
    h ^= h >> 32;
    return h;
}

}  // namespace zun::compress
