// What the Zstandard decoder and compressor share: the format's constants,
// its predefined distributions and code tables, and little-endian access.
#pragma once
#include <bit>
#include <cstdint>
#include <cstring>

namespace zun::compress {

constexpr uint32_t ZSTD_MAGIC = 0xFD2FB528u;
constexpr uint32_t SKIPPABLE_MAGIC = 0x184D2A50u;  // low four bits free
constexpr uint32_t ZSTD_BLOCK_MAX = 131072;

// Literal lengths, match lengths, offsets: symbol limits, table log limits,
// predefined table logs.
constexpr int LL_MAX_SYMBOL = 35, ML_MAX_SYMBOL = 52, OF_MAX_SYMBOL = 31;
constexpr int LL_MAX_LOG = 9, ML_MAX_LOG = 9, OF_MAX_LOG = 8;
constexpr int LL_DEFAULT_LOG = 6, ML_DEFAULT_LOG = 6, OF_DEFAULT_LOG = 5;
constexpr int OF_MAX_CODE = 30;
constexpr int OF_DEFAULT_MAX = 28;  // the predefined offset table's last code
constexpr int HUF_MAX_LOG = 12;
constexpr int HUF_MAX_WEIGHTS = 255;

inline constexpr int16_t LL_DEFAULT_COUNTS[36] = {4, 3, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
                                                  2, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2,
                                                  2, 3, 2, 1, 1, 1, 1, 1, -1, -1, -1, -1};
inline constexpr int16_t ML_DEFAULT_COUNTS[53] = {
    1, 4, 3, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1, -1, -1};
inline constexpr int16_t OF_DEFAULT_COUNTS[29] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 1, 1, 1, 1, 1, 1,
                                                  1, 1, 1, 1, 1, 1, 1, 1, 1, -1, -1, -1, -1, -1};

// Literal-length and match-length codes: the value each code starts at and
// its number of extra bits.
inline constexpr uint32_t LL_BASE[36] = {0,  1,  2,   3,   4,   5,    6,    7,    8,    9,
                                         10, 11, 12,  13,  14,  15,   16,   18,   20,   22,
                                         24, 28, 32,  40,  48,  64,   128,  256,  512,  1024,
                                         2048, 4096, 8192, 16384, 32768, 65536};
inline constexpr uint8_t LL_BITS[36] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,  1,
                                        1, 1, 2, 2, 3, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
inline constexpr uint32_t ML_BASE[53] = {
    3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,  14,  15,  16,   17,   18,   19,   20,
    21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,  32,  33,  34,   35,   37,   39,   41,
    43, 47, 51, 59, 67, 83, 99, 131, 259, 515, 1027, 2051, 4099, 8195, 16387, 32771, 65539};
inline constexpr uint8_t ML_BITS[53] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1,
                                        2, 2, 3, 3, 4, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

inline int highbit32(uint32_t v) { return 31 - std::countl_zero(v | 1); }

inline uint16_t read_u16le(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
inline uint32_t read_u24le(const uint8_t* p) { return p[0] | p[1] << 8 | uint32_t(p[2]) << 16; }
inline uint32_t read_u32le(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline uint64_t read_u64le(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void write_u16le(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void write_u24le(uint8_t* p, uint32_t v) {
    write_u16le(p, v);
    p[2] = uint8_t(v >> 16);
}
inline void write_u32le(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace zun::compress
