// libFuzzer target: our deflate at a level taken from the first byte, in one
// of the three framings, must come back whole through zlib's inflate and ours.
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/compress.hpp"

using namespace zun::compress;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int32_t level = data[0] % 10 == 0 ? NO_LEVEL : data[0] % 10;
    const int framing = (data[0] / 10) % 3;
    const uint8_t* in = data + 1;
    const int32_t n = int32_t(size - 1);
    CompressFn pack = framing == 0 ? zun::compress::deflate : framing == 1 ? zlib_compress : gzip_compress;
    DecompressFn unpack = framing == 0 ? zun::compress::inflate : framing == 1 ? zlib_decompress : gzip_decompress;

    int32_t capacity = n + (n >> 11) + 32;
    std::vector<uint8_t> packed(static_cast<size_t>(capacity));
    if (pack(packed.data(), &capacity, in, n, level) != DONE) abort();
    packed.resize(size_t(capacity));

    std::vector<uint8_t> back(size_t(n) + 1);
    int32_t got = n;
    if (unpack(back.data(), &got, packed.data(), capacity) != DONE || got != n ||
        std::memcmp(back.data(), in, size_t(n)))
        abort();

    z_stream z{};
    if (inflateInit2(&z, framing == 0 ? -15 : framing == 1 ? 15 : 31) != Z_OK) abort();
    z.next_in = packed.data();
    z.avail_in = uInt(packed.size());
    std::vector<uint8_t> theirs(size_t(n) + 1);
    z.next_out = theirs.data();
    z.avail_out = uInt(theirs.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.total_out != uLong(n) || z.avail_in != 0 ||
        std::memcmp(theirs.data(), in, size_t(n)))
        abort();
    inflateEnd(&z);
    return 0;
}
