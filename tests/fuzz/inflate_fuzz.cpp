// libFuzzer target: inflate and the zlib and gzip framings on arbitrary bytes,
// judged against zlib's own inflate. The first byte picks the framing (raw,
// zlib, gzip) and how the output is sized (measured first, a fixed room, a
// small room). Whenever zlib accepts the whole input, ours must answer done
// with the same bytes; ours may accept more only where it is meant to (a raw
// stream that stops after a complete non-final block, an incomplete code
// whose missing patterns never come up, bytes after the end).
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "services/compress.hpp"

using namespace zun::compress;

namespace {

constexpr int32_t MAX_OUTPUT = 1 << 24;

struct ZlibAnswer {
    bool accepted;  // the stream ended and every input byte was used
    bool more_input;  // zlib stopped for want of input
    const char* message;
    std::vector<uint8_t> out;
};

ZlibAnswer zlib_inflate(const uint8_t* in, size_t n, int window_bits) {
    ZlibAnswer a{false, false, nullptr, {}};
    z_stream z{};
    if (inflateInit2(&z, window_bits) != Z_OK) abort();
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = uInt(n);
    std::vector<uint8_t> buf(1 << 16);
    int r;
    do {
        z.next_out = buf.data();
        z.avail_out = uInt(buf.size());
        r = inflate(&z, Z_NO_FLUSH);
        a.out.insert(a.out.end(), buf.data(), buf.data() + (buf.size() - z.avail_out));
        if (a.out.size() > size_t(MAX_OUTPUT)) break;
    } while (r == Z_OK && (z.avail_in > 0 || z.avail_out == 0));
    a.accepted = r == Z_STREAM_END && (window_bits < 0 || z.avail_in == 0);
    a.more_input = r == Z_BUF_ERROR || (r == Z_OK && z.avail_in == 0);
    a.message = z.msg;
    inflateEnd(&z);
    return a;
}

// Where ours may accept a raw stream zlib refuses. Ours stops after a
// complete block when what is left lies inside its last byte; zlib reads a
// header from those bits (or waits for more input). zlib refuses incomplete
// codes outright.
bool allowed_extra(const ZlibAnswer& z) {
    if (z.more_input) return true;
    if (!z.message) return false;
    for (const char* m : {"invalid block type", "invalid code lengths set",
                          "invalid literal/lengths set", "invalid distances set"})
        if (std::strcmp(z.message, m) == 0) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int framing = data[0] % 3;
    const int sizing = (data[0] / 3) % 3;
    const uint8_t* in = data + 1;
    const int32_t n = int32_t(size - 1);
    DecompressFn fn = framing == 0 ? zun::compress::inflate : framing == 1 ? zlib_decompress : gzip_decompress;

    int32_t measured = 0;
    const int32_t mr = fn(nullptr, &measured, in, n);
    if (measured > MAX_OUTPUT) return 0;
    int32_t capacity = sizing == 0 ? measured : sizing == 1 ? 1 << 16 : (data[0] >> 4);
    std::vector<uint8_t> out(size_t(capacity) + 1);
    int32_t got = capacity;
    const int32_t r = fn(out.data(), &got, in, n);
    // Raw: measuring and decoding agree. A framing's checksum is only
    // checked once there are bytes to check.
    if (framing == 0) {
        if (mr == DONE || mr == TOO_SMALL) {
            if (r != DONE && r != TOO_SMALL) abort();
            if (got != measured) abort();
            if ((r == TOO_SMALL) != (capacity < measured)) abort();
        } else if (r != mr) {
            abort();
        }
    } else if (r == DONE && mr != DONE && mr != TOO_SMALL) {
        abort();
    }
    const ZlibAnswer z = zlib_inflate(in, size_t(n), framing == 0 ? -15 : framing == 1 ? 15 : 31);
    if (z.accepted && z.out.size() <= size_t(MAX_OUTPUT)) {
        int32_t room = int32_t(z.out.size());
        std::vector<uint8_t> exact(z.out.size() + 1);
        if (fn(exact.data(), &room, in, n) != DONE) abort();
        if (size_t(room) != z.out.size() ||
            (room && std::memcmp(exact.data(), z.out.data(), z.out.size())))
            abort();
    } else if (framing == 0 && r == DONE) {
        if (!allowed_extra(z)) abort();
        // What zlib decoded before it stopped, ours decoded too.
        const size_t common = std::min(z.out.size(), size_t(got));
        if (common && std::memcmp(out.data(), z.out.data(), common)) abort();
    }
    return 0;
}
