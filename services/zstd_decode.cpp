#include "services/zstd_decode.hpp"

#include <algorithm>
#include <cstring>

#include "services/xxh64.hpp"
#include "services/zstd_format.hpp"

namespace zun::compress {

namespace {

namespace plain {
#include "services/zstd_decode_body.inc"
}  // namespace plain

// The same built for BMI2, whose shifts the bit readers lean on.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ZUN_DECODER_BMI2 1
#pragma GCC push_options
#pragma GCC target("bmi2")
namespace bmi2 {
#include "services/zstd_decode_body.inc"
}  // namespace bmi2
#pragma GCC pop_options
#endif

int decode_frames(const uint8_t* in, size_t length, plain::FrameOut& fo, bool* size_from_header,
                  int mode) {
#ifdef ZUN_DECODER_BMI2
    static const bool has_bmi2 = __builtin_cpu_supports("bmi2");
    if (has_bmi2) {
        bmi2::ZstdDecoder ctx;
        ctx.size_from_header = false;
        bmi2::FrameOut f = {fo.out, fo.frame_start, fo.produced, fo.limit, fo.block_max};
        const int r = bmi2::decode_frames(in, length, f, ctx, mode);
        fo.produced = f.produced;
        if (size_from_header) *size_from_header = ctx.size_from_header;
        return r;
    }
#endif
    plain::ZstdDecoder ctx;
    ctx.size_from_header = false;
    const int r = plain::decode_frames(in, length, fo, ctx, mode);
    if (size_from_header) *size_from_header = ctx.size_from_header;
    return r;
}

}  // namespace

int zstd_decode_frames(const uint8_t* in, size_t length, uint8_t* out, uint64_t capacity,
                       uint64_t* produced, int mode, bool* size_from_header) {
    plain::FrameOut fo = {out, 0, 0, out ? capacity : plain::NO_LIMIT, ZSTD_BLOCK_MAX};
    const int r = decode_frames(in, length, fo, size_from_header, mode);
    *produced = fo.produced;
    return r;
}

int32_t zstd_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length) {
    const size_t n = length > 0 ? size_t(length) : 0;
    const uint64_t capacity = *size > 0 ? uint64_t(*size) : 0;
    uint64_t total = 0;
    if (out) {
        const int r = zstd_decode_frames(in, n, out, capacity, &total, 0, nullptr);
        if (r != 1) {
            *size = int32_t(std::min<uint64_t>(total, 0x7FFFFFFF));
            return r;
        }
    }
    bool from_header = false;
    int r = zstd_decode_frames(in, n, nullptr, 0, &total, 0, &from_header);
    if (r) return r;
    if (from_header && ((total >> 5) >= n || total >= 16777216)) {
        r = zstd_decode_frames(in, n, nullptr, 0, &total, 1, nullptr);
        if (r) return r;
    }
    if (total > 0x7FFFFFFF) return TOO_LARGE;
    if (out && capacity >= total) return BAD_DATA;
    *size = int32_t(total);
    return total == 0 ? DONE : TOO_SMALL;
}

}  // namespace zun::compress
