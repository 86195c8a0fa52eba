// Deflate, inflate and the zlib and gzip framings against zlib (and libdeflate
// when present) on the same data, one core, in one run: compressed sizes and
// MB/s, with ratios ours / peer. Not part of the test suite.
//   cmake --build build --target compress_bench && build/compress_bench [corpus-dir]
// Data: the 11 Canterbury files concatenated in name order, then bible.txt.
#include <zlib.h>
#ifdef ZUN_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_util.hpp"
#include "services/compress.hpp"

namespace fs = std::filesystem;
using bench::Bytes;

namespace {

using bench::best;
using bench::mbs;
using bench::read_file;

// zlib's deflate with window bits -15 (raw), 15 (zlib) or 31 (gzip).
Bytes zlib_pack(const Bytes& in, int level, int window_bits) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, window_bits, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, uLong(in.size())));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

Bytes zlib_unpack(const Bytes& in, size_t size, int window_bits) {
    z_stream z{};
    inflateInit2(&z, window_bits);
    Bytes out(size);
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = uInt(in.size());
    z.next_out = out.data();
    z.avail_out = uInt(out.size());
    inflate(&z, Z_FINISH);
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

Bytes ours_pack(zun::compress::CompressFn fn, const Bytes& in, int level) {
    int32_t size = int32_t(in.size() + in.size() / 2048 + 64);
    Bytes out(static_cast<size_t>(size));
    if (fn(out.data(), &size, in.data(), int32_t(in.size()), level) != 0) std::abort();
    out.resize(size_t(size));
    return out;
}

Bytes ours_unpack(zun::compress::DecompressFn fn, const Bytes& in, size_t size) {
    int32_t n = int32_t(size);
    Bytes out(size);
    if (fn(out.data(), &n, in.data(), int32_t(in.size())) != 0) std::abort();
    out.resize(size_t(n));
    return out;
}

struct Framing {
    const char* name;
    int window_bits;
    zun::compress::CompressFn pack;
    zun::compress::DecompressFn unpack;
};

void run(const char* title, const Bytes& data) {
    std::printf("\n%s: %zu bytes\n", title, data.size());
    std::printf("%-7s %5s %10s %10s %7s %9s %9s %7s", "format", "level", "ours", "zlib", "size",
                "ours MB/s", "zlib MB/s", "speed");
#ifdef ZUN_HAVE_LIBDEFLATE
    std::printf(" %10s %9s", "libdeflate", "ld MB/s");
#endif
    std::printf("\n");
    const Framing framings[] = {
        {"deflate", -15, zun::compress::deflate, zun::compress::inflate},
        {"zlib", 15, zun::compress::zlib_compress, zun::compress::zlib_decompress},
        {"gzip", 31, zun::compress::gzip_compress, zun::compress::gzip_decompress},
    };
    const int runs = data.size() > 3000000 ? 3 : 5;
    for (const Framing& f : framings) {
        for (int level : {1, 6, 9}) {
            if (f.window_bits != -15 && level != 6) continue;
            Bytes ours, theirs;
            const double t_ours = best(runs, [&] { ours = ours_pack(f.pack, data, level); });
            const double t_zlib = best(runs, [&] { theirs = zlib_pack(data, level, f.window_bits); });
            if (ours_unpack(f.unpack, ours, data.size()) != data) std::abort();
            std::printf("%-7s %5d %10zu %10zu %7.4f %9.1f %9.1f %7.2f", f.name, level, ours.size(),
                        theirs.size(), double(ours.size()) / double(theirs.size()),
                        mbs(data.size(), t_ours), mbs(data.size(), t_zlib), t_zlib / t_ours);
#ifdef ZUN_HAVE_LIBDEFLATE
            if (f.window_bits == -15) {
                libdeflate_compressor* c = libdeflate_alloc_compressor(level);
                Bytes ld(libdeflate_deflate_compress_bound(c, data.size()));
                size_t n = 0;
                const double t_ld = best(runs, [&] {
                    n = libdeflate_deflate_compress(c, data.data(), data.size(), ld.data(), ld.size());
                });
                libdeflate_free_compressor(c);
                std::printf(" %10zu %9.1f", n, mbs(data.size(), t_ld));
            }
#endif
            std::printf("\n");
        }
    }
    // Decoding the same stream (zlib's level 6) with each, MB/s of output.
    std::printf("%-7s %9s %9s %7s", "inflate", "ours MB/s", "zlib MB/s", "speed");
#ifdef ZUN_HAVE_LIBDEFLATE
    std::printf(" %9s", "ld MB/s");
#endif
    std::printf("\n");
    for (const Framing& f : framings) {
        const Bytes stream = zlib_pack(data, 6, f.window_bits);
        Bytes out;
        const double t_ours = best(runs * 2, [&] { out = ours_unpack(f.unpack, stream, data.size()); });
        if (out != data) std::abort();
        const double t_zlib = best(runs * 2, [&] { out = zlib_unpack(stream, data.size(), f.window_bits); });
        std::printf("%-7s %9.1f %9.1f %7.2f", f.name, mbs(data.size(), t_ours),
                    mbs(data.size(), t_zlib), t_zlib / t_ours);
#ifdef ZUN_HAVE_LIBDEFLATE
        if (f.window_bits == -15) {
            libdeflate_decompressor* d = libdeflate_alloc_decompressor();
            Bytes ld(data.size());
            const double t_ld = best(runs * 2, [&] {
                size_t n;
                libdeflate_deflate_decompress(d, stream.data(), stream.size(), ld.data(), ld.size(), &n);
            });
            libdeflate_free_decompressor(d);
            std::printf(" %9.1f", mbs(data.size(), t_ld));
        }
#endif
        std::printf("\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::printf("size = ours / zlib (lower is better); speed = ours / zlib (higher is better)\n");
    bench::on_corpus(argc, argv, run);
}
