// Compression front end: the method words, the one calling form of the
// compression services with their result codes, and the zlib (RFC 1950) and
// gzip (RFC 1952) framings around raw deflate (RFC 1951).
//
// Every service takes (output or null, size cell, input, input length) and the
// compressors a level. On entry the size cell holds the output capacity; on
// return the bytes produced, or with TOO_SMALL the bytes the output needs. A
// null output asks for the size only. No service keeps state or raises (bar
// the memory manager's no-memory for a compressor's work area).
#pragma once
#include <cstdint>

namespace zun::compress {

enum Result : int32_t {
    DONE = 0,
    TOO_SMALL = 1,          // size cell = size needed
    BAD_DATA = 2,           // magic, header, checksum, length or structure
    STORED_PAST_INPUT = 3,  // a stored deflate block runs past the input
    RESERVED_BLOCK = 4,     // deflate block type 3
    DISTANCE_TOO_FAR = 5,   // a distance before the start of the output
    TOO_LARGE = 6,          // the output would pass 2^31 - 1 bytes (inflate, zstd measuring)
};

constexpr int32_t NO_LEVEL = -1;

using CompressFn = int32_t (*)(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                               int32_t level);
using DecompressFn = int32_t (*)(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length);

int32_t zlib_compress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                      int32_t level);
int32_t zlib_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length);
int32_t gzip_compress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                      int32_t level);
int32_t gzip_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length);
// Raw deflate (services/deflate.cpp) and inflate (services/inflate.cpp).
int32_t deflate(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length, int32_t level);
int32_t inflate(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length);
// inflate, also answering in *used the input bytes the stream took up to the
// end of its final block.
int32_t inflate_counted(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                        int32_t* used);
// Zstandard, plugged into the method table once it exists.
int32_t zstd_compress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length,
                      int32_t level);
int32_t zstd_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length);

enum Method : int { ZLIB = 0, DEFLATE = 1, GZIP = 2, ZSTD = 3, NO_METHOD = -1 };

struct MethodInfo {
    CompressFn compress;      // null: not built yet
    DecompressFn decompress;  // null: not built yet
    int32_t max_level;        // levels run from 1 to this
    // When decompress measures on a null output before its first attempt:
    // always (gzip), when the input is not shorter than the given capacity
    // (zlib, deflate), when the capacity is below 1 (zstd).
    enum Measure : uint8_t { MEASURE_ALWAYS, MEASURE_INPUT_NOT_SHORTER, MEASURE_NO_CAPACITY } measure;
    bool size_given_q;  // false: the size argument is ignored (gzip)
};

// Makes the symbols zlib, deflate, gzip and zstd; once, at start-up.
void init_method_words();
// The method whose word has this symbol (compared as canonical symbols).
Method method_of(uint32_t symbol);
const MethodInfo& method_info(Method m);

}  // namespace zun::compress
