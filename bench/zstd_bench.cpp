// Zstandard against libzstd on the same data, one core, in one run: decoding
// MB/s on libzstd's frames at levels 1, 3 and 19, and our compressor's size
// and MB/s beside libzstd's at levels 1, 3, 9 and 19, with ratios. Not part
// of the test suite.
//   cmake --build build --target zstd_bench && build/zstd_bench [corpus-dir]
// ZSTD_BENCH_DECODE_ONLY=1 in the environment skips the compressors.
// Data: the 11 Canterbury files concatenated in name order, then bible.txt.
#include <zstd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "bench/bench_util.hpp"
#include "services/compress.hpp"
#include "services/zstd_compress.hpp"

namespace fs = std::filesystem;
using bench::Bytes;

namespace {

using bench::best;
using bench::mbs;
using bench::read_file;

Bytes theirs_pack(const Bytes& in, int level) {
    Bytes out(ZSTD_compressBound(in.size()));
    const size_t n = ZSTD_compress(out.data(), out.size(), in.data(), in.size(), level);
    if (ZSTD_isError(n)) std::abort();
    out.resize(n);
    return out;
}

Bytes ours_pack(const Bytes& in, int level) {
    int32_t size = int32_t(zun::compress::zstd_compress_bound(int64_t(in.size())));
    Bytes out(static_cast<size_t>(size));
    if (zun::compress::zstd_compress(out.data(), &size, in.data(), int32_t(in.size()), level) != 0)
        std::abort();
    out.resize(size_t(size));
    return out;
}

void ours_unpack(const Bytes& frame, Bytes& out) {
    int32_t n = int32_t(out.size());
    if (zun::compress::zstd_decompress(out.data(), &n, frame.data(), int32_t(frame.size())) != 0 ||
        size_t(n) != out.size())
        std::abort();
}

void theirs_unpack(ZSTD_DCtx* d, const Bytes& frame, Bytes& out) {
    if (ZSTD_decompressDCtx(d, out.data(), out.size(), frame.data(), frame.size()) != out.size())
        std::abort();
}

void run(const char* title, const Bytes& data) {
    const int runs = data.size() > 3000000 ? 3 : 5;
    std::printf("\n%s: %zu bytes\n", title, data.size());
    std::printf("%-10s %5s %9s %9s %7s\n", "decode", "level", "ours MB/s", "zstd MB/s", "speed");
    ZSTD_DCtx* d = ZSTD_createDCtx();
    for (int level : {1, 3, 19}) {
        const Bytes frame = theirs_pack(data, level);
        Bytes out(data.size());
        ours_unpack(frame, out);
        if (out != data) std::abort();
        // Rounds taken in turn, so a busy machine slows both alike.
        double t_ours = 1e9, t_theirs = 1e9;
        for (int i = 0; i < runs * 4; i++) {
            t_ours = std::min(t_ours, best(1, [&] { ours_unpack(frame, out); }));
            t_theirs = std::min(t_theirs, best(1, [&] { theirs_unpack(d, frame, out); }));
        }
        std::printf("%-10s %5d %9.1f %9.1f %7.2f\n", "", level, mbs(data.size(), t_ours),
                    mbs(data.size(), t_theirs), t_theirs / t_ours);
    }
    if (std::getenv("ZSTD_BENCH_DECODE_ONLY")) {
        ZSTD_freeDCtx(d);
        return;
    }
    std::printf("%-10s %5s %10s %10s %7s %9s %9s %7s\n", "compress", "level", "ours", "zstd", "size",
                "ours MB/s", "zstd MB/s", "speed");
    for (int level : {1, 3, 9, 19}) {
        const int r = level == 19 ? 1 : runs;
        Bytes ours, theirs;
        const double t_ours = best(r, [&] { ours = ours_pack(data, level); });
        const double t_theirs = best(r, [&] { theirs = theirs_pack(data, level); });
        Bytes out(data.size());
        theirs_unpack(d, ours, out);
        if (out != data) std::abort();
        std::printf("%-10s %5d %10zu %10zu %7.4f %9.1f %9.1f %7.2f\n", "", level, ours.size(),
                    theirs.size(), double(ours.size()) / double(theirs.size()),
                    mbs(data.size(), t_ours), mbs(data.size(), t_theirs), t_theirs / t_ours);
    }
    ZSTD_freeDCtx(d);
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("size = ours / libzstd (lower is better); speed = ours / libzstd (higher is better)\n");
    bench::on_corpus(argc, argv, run);
}
