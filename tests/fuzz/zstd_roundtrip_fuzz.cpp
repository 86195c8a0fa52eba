// libFuzzer target: arbitrary input compressed at a level taken from its first
// byte (1 to 19), within the bound, then decoded by our decoder and by
// libzstd (linked into this target alone); both must give the input back.
#include <zstd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/compress.hpp"
#include "services/zstd_compress.hpp"

using namespace zun::compress;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int32_t level = 1 + data[0] % 19;
    const uint8_t* in = data + 1;
    // A block and a bit: more only slows the search down.
    const int32_t n = int32_t(std::min<size_t>(size - 1, (1u << 17) + 4096));
    const int64_t bound = zstd_compress_bound(n);
    std::vector<uint8_t> frame(static_cast<size_t>(bound));
    int32_t frame_size = int32_t(bound);
    if (zstd_compress(frame.data(), &frame_size, in, n, level) != DONE) abort();
    if (frame_size > bound) abort();
    std::vector<uint8_t> back(size_t(n) + 1);
    int32_t got = n;
    if (zstd_decompress(back.data(), &got, frame.data(), frame_size) != DONE) abort();
    if (got != n || std::memcmp(back.data(), in, size_t(n)) != 0) abort();
    const size_t t = ZSTD_decompress(back.data(), back.size(), frame.data(), size_t(frame_size));
    if (ZSTD_isError(t) || t != size_t(n) || std::memcmp(back.data(), in, size_t(n)) != 0) abort();
    return 0;
}
