#include "services/compress.hpp"

#include <algorithm>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "services/checksum.hpp"

namespace zun::compress {

namespace {

constexpr const char* k_method_names[] = {"zlib", "deflate", "gzip", "zstd"};
uint32_t g_method_symbols[4];

constexpr MethodInfo k_methods[] = {
    {zlib_compress, zlib_decompress, 9, MethodInfo::MEASURE_INPUT_NOT_SHORTER, true},
    {deflate, inflate, 9, MethodInfo::MEASURE_INPUT_NOT_SHORTER, true},
    {gzip_compress, gzip_decompress, 9, MethodInfo::MEASURE_ALWAYS, false},
    {zstd_compress, zstd_decompress, 19, MethodInfo::MEASURE_NO_CAPACITY, true},
};

// n + extra, held below 2^31 (a size past that cannot be had anyway).
int32_t plus(int64_t n, int64_t extra) { return int32_t(std::min<int64_t>(n + extra, INT32_MAX)); }

uint32_t read_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint32_t read_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
void write_le32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
void write_be32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (24 - 8 * i));
}

constexpr int ZLIB_OVERHEAD = 6;
constexpr int GZIP_HEADER = 10;
constexpr int GZIP_OVERHEAD = 18;
// Deflate cannot expand data more than this many times.
constexpr uint64_t MAX_INFLATE_RATIO = 1032;

}  // namespace

void init_method_words() {
    for (int i = 0; i < 4; i++) g_method_symbols[i] = symbol::make(k_method_names[i]);
}

Method method_of(uint32_t sym) {
    const uint32_t canonical = symbol::canonical(sym);
    for (int i = 0; i < 4; i++)
        if (symbol::canonical(g_method_symbols[i]) == canonical) return Method(i);
    return NO_METHOD;
}

const MethodInfo& method_info(Method m) { return k_methods[m]; }

int32_t zlib_compress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                      int32_t level) {
    const int32_t capacity = out ? *size : 0;
    if (capacity < ZLIB_OVERHEAD) {
        *size = plus(length, ZLIB_OVERHEAD);
        return BAD_DATA;
    }
    out[0] = 0x78;
    out[1] = level <= 1 ? 0x01 : level <= 5 ? 0x5E : level == 6 ? 0x9C : 0xDA;
    int32_t n = capacity - 2;
    const int32_t r = deflate(out + 2, &n, in, length, level);
    *size = plus(n, ZLIB_OVERHEAD);
    if (r != DONE) return r;
    if (capacity - 2 - n < 4) return TOO_SMALL;
    write_be32(out + 2 + n, checksum::adler32(in, size_t(length)));
    return DONE;
}

// Inputs shorter than the header and trailer are bad data.
int32_t zlib_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length) {
    if (length < ZLIB_OVERHEAD) return BAD_DATA;
    const uint32_t cmf = in[0], flg = in[1];
    if ((cmf * 256 + flg) % 31 != 0) return BAD_DATA;
    if ((cmf & 0x0F) != 8) return BAD_DATA;
    if ((cmf >> 4) > 7) return BAD_DATA;
    if (flg & 0x20) return BAD_DATA;  // preset dictionaries are refused
    const int32_t r = inflate(out, size, in + 2, length - ZLIB_OVERHEAD);
    if (r != DONE) return r;
    const uint32_t adler = checksum::adler32(out, size_t(*size));
    return adler == read_be32(in + length - 4) ? DONE : BAD_DATA;
}

// Data that already looks like gzip is compressed like any other.
int32_t gzip_compress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                      int32_t level) {
    const int32_t capacity = out ? *size : 0;
    if (capacity < GZIP_OVERHEAD) {
        *size = plus(length, GZIP_OVERHEAD);
        return BAD_DATA;
    }
    const uint8_t header[GZIP_HEADER] = {
        0x1F, 0x8B, 8, 0, 0, 0, 0, 0, uint8_t(level <= 1 ? 4 : level == 9 ? 2 : 0), 4};
    std::copy(header, header + GZIP_HEADER, out);
    int32_t n = capacity - GZIP_HEADER;
    const int32_t r = deflate(out + GZIP_HEADER, &n, in, length, level);
    *size = plus(n, GZIP_OVERHEAD);
    if (r != DONE) return r;
    if (capacity - GZIP_HEADER - n < 8) return TOO_SMALL;
    write_le32(out + GZIP_HEADER + n, checksum::crc32(in, size_t(length)));
    write_le32(out + GZIP_HEADER + n + 4, uint32_t(length));
    return DONE;
}

namespace {

// Position after the zero ending a string that starts at pos, or -1.
int64_t after_zero(const uint8_t* in, int64_t pos, int64_t length) {
    while (pos < length && in[pos] != 0) pos++;
    return pos < length ? pos + 1 : -1;
}

// Position of the deflate data after the member header, or -1.
int64_t gzip_data_start(const uint8_t* in, int64_t length) {
    enum : uint8_t { FHCRC = 2, FEXTRA = 4, FNAME = 8, FCOMMENT = 16, RESERVED = 0xE0 };
    if (length < GZIP_OVERHEAD || in[0] != 0x1F || in[1] != 0x8B || in[2] != 8) return -1;
    const uint8_t flg = in[3];
    if (flg & RESERVED) return -1;
    int64_t pos = GZIP_HEADER;
    if (flg & FEXTRA) {
        const int64_t xlen = in[pos] | in[pos + 1] << 8;
        if (xlen > length - 12) return -1;
        pos += 2 + xlen;
    }
    if ((flg & FNAME) && (pos = after_zero(in, pos, length)) < 0) return -1;
    if ((flg & FCOMMENT) && (pos = after_zero(in, pos, length)) < 0) return -1;
    if (flg & FHCRC) {
        if (pos >= length - 2) return -1;
        const uint32_t crc = checksum::crc32(in, size_t(pos)) & 0xFFFF;
        if (crc != uint32_t(in[pos] | in[pos + 1] << 8)) return -1;
        pos += 2;
    }
    // The header must end before the trailer.
    return pos <= length - 8 ? pos : -1;
}

}  // namespace

// One member only: the deflate data must end where the trailer begins, so a
// second member (even one equal to the first) is bad data, never dropped.
int32_t gzip_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length) {
    const int64_t start = gzip_data_start(in, length);
    if (start < 0) return BAD_DATA;
    const int64_t data_length = length - 8 - start;
    const uint32_t isize = read_le32(in + length - 4);
    // More than a 32-bit count, or more than deflate can expand to.
    if (isize > uint32_t(INT32_MAX) || isize > MAX_INFLATE_RATIO * uint64_t(data_length))
        return BAD_DATA;
    const int32_t capacity = out ? *size : 0;
    if (int32_t(isize) > capacity) {
        *size = int32_t(isize);
        return TOO_SMALL;
    }
    *size = capacity;
    int32_t used = 0;
    const int32_t r = inflate_counted(out, size, in + start, int32_t(data_length), &used);
    if (r == TOO_LARGE) return BAD_DATA;  // more than ISIZE can say
    if (r != DONE) return r;
    if (*size < int32_t(isize) || used != data_length) return BAD_DATA;
    *size = int32_t(isize);
    const uint32_t crc = checksum::crc32(out, isize);
    return crc == read_le32(in + length - 8) ? DONE : BAD_DATA;
}

}  // namespace zun::compress
