// libFuzzer target: the Zstandard decoder on arbitrary bytes, measuring and
// writing, judged against libzstd (linked into this target alone). Whenever
// both accept the input, the outputs must be equal; a measured size is never
// taken on trust beyond what the input can produce.
#include <zstd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/compress.hpp"
#include "services/zstd_decode.hpp"

using namespace zun::compress;

namespace {

// RLE blocks make 32 KiB of output per input byte; larger outputs are only
// measured.
constexpr int32_t MAX_OUTPUT = 1 << 26;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const int32_t n = int32_t(size);
    int32_t measured = 0;
    const int32_t r = zstd_decompress(nullptr, &measured, data, n);
    if (r != DONE && r != TOO_SMALL && r != BAD_DATA && r != TOO_LARGE) abort();
    if (r == DONE && measured != 0) abort();
    if (r != TOO_SMALL || measured > MAX_OUTPUT) return 0;
    std::vector<uint8_t> out(size_t(measured) + 1);
    // Exactly the room measured, then one byte less (it must not fit).
    int32_t got = measured;
    const int32_t w = zstd_decompress(out.data(), &got, data, n);
    if (w == TOO_SMALL) abort();  // measured room is enough by construction
    int32_t less = measured - 1;
    if (w == DONE && zstd_decompress(out.data(), &less, data, n) == DONE) abort();
    got = measured;
    if (zstd_decompress(out.data(), &got, data, n) != w) abort();
    if (w != DONE) return 0;
    if (got != measured) abort();
    std::vector<uint8_t> theirs(size_t(measured) + 1);
    const size_t t = ZSTD_decompress(theirs.data(), theirs.size(), data, size);
    if (!ZSTD_isError(t)) {
        if (t != size_t(got) || std::memcmp(theirs.data(), out.data(), t) != 0) abort();
    }
    return 0;
}
