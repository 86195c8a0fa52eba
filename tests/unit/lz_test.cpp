// The runtime LZ: round trips, the exact bits of small cases, the length and
// distance codes, chunking, and what the decoder refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "services/lz.hpp"

namespace zun::compress {
namespace {

std::vector<uint8_t> compress(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out(in.size());
    const int64_t n = lz_compress(in.data(), uint32_t(in.size()), out.data());
    if (n < 0) return {};
    out.resize(size_t(n));
    return out;
}

std::vector<uint8_t> decompress(const std::vector<uint8_t>& in, bool* ok) {
    uint32_t size = 0;
    uint8_t* out = lz_decompress(in.data(), in.size(), &size);
    *ok = out != nullptr;
    std::vector<uint8_t> bytes;
    if (out) bytes.assign(out, out + size);
    lz_free(out);
    return bytes;
}

uint32_t u32(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}

void expect_round_trip(const std::vector<uint8_t>& in) {
    const std::vector<uint8_t> packed = compress(in);
    ASSERT_FALSE(packed.empty());
    bool ok = false;
    EXPECT_EQ(decompress(packed, &ok), in);
    EXPECT_TRUE(ok);
}

TEST(Lz, ShortInputsAreRefused) {
    std::vector<uint8_t> out(200);
    EXPECT_EQ(lz_compress(out.data(), 0, out.data()), -1);
    std::vector<uint8_t> in(127, 'a');
    EXPECT_EQ(lz_compress(in.data(), 127, out.data()), -1);
}

TEST(Lz, RunOfOneByteIsALiteralAndOneMatch) {
    const std::vector<uint8_t> in(128, 'a');
    const std::vector<uint8_t> packed = compress(in);
    // 9 + 1 + 5 + 9 + 4 + 3 bits: 4 bytes after the chunk length.
    ASSERT_EQ(packed.size(), 16u);
    EXPECT_EQ(u32(packed, 0), 8u);
    EXPECT_EQ(u32(packed, 4), 128u);
    EXPECT_EQ(u32(packed, 8), 128u);
    LzBits s;
    s.in = packed.data() + 12;
    s.in_end = packed.data() + packed.size();
    EXPECT_EQ(lz_get_bits(1, s), 0);
    EXPECT_EQ(lz_get_bits(8, s), 'a');
    EXPECT_EQ(lz_get_bits(1, s), 1);
    EXPECT_EQ(lz_get_bits(5, s), 0);        // the longest prefix
    EXPECT_EQ(lz_get_bits(9, s), 127 - 55);  // length 127
    EXPECT_EQ(lz_get_bits(4, s), 0);        // distance 1
    EXPECT_EQ(lz_get_bits(3, s), 0);
    expect_round_trip(in);
}

// The bits `put` writes into out (flushed), set up to be read back.
template <typename Put> LzBits written(uint8_t (&out)[8], Put put) {
    LzBits s;
    lz_init(s, out, sizeof out);
    put(s);
    lz_put_bits(7, 0, s);
    LzBits r;
    r.in = out;
    r.in_end = out + s.used;
    return r;
}

TEST(Lz, LengthCodes) {
    struct Row {
        uint32_t length;
        const char* prefix;
        uint32_t bits, rest;
    };
    const Row rows[] = {
        {3, "1", 2, 0},       {6, "1", 2, 3},       {7, "01", 2, 0},       {10, "01", 2, 3},
        {11, "001", 2, 0},    {14, "001", 2, 3},    {15, "0001", 3, 0},    {22, "0001", 3, 7},
        {23, "00001", 5, 0},  {54, "00001", 5, 31}, {55, "00000", 9, 0},   {566, "00000", 9, 511},
    };
    for (const Row& r : rows) {
        uint8_t out[8] = {};
        LzBits s = written(out, [&](LzBits& w) { lz_put_length(r.length, w); });
        std::string prefix;
        for (size_t i = 0; i < std::strlen(r.prefix); i++) prefix += char('0' + lz_get_bits(1, s));
        EXPECT_EQ(prefix, r.prefix) << r.length;
        EXPECT_EQ(lz_get_bits(r.bits, s), r.rest) << r.length;
    }
}

TEST(Lz, DistanceCodes) {
    struct Row {
        uint32_t distance, high, bits, rest;
    };
    const Row rows[] = {{1, 0, 3, 0}, {8, 0, 3, 7}, {9, 1, 3, 0}, {16, 1, 3, 7}, {17, 2, 4, 0},
                        {262144, 15, 17, 131071}};
    for (const Row& r : rows) {
        uint8_t out[8] = {};
        LzBits s = written(out, [&](LzBits& w) { lz_put_distance(r.distance, w); });
        EXPECT_EQ(lz_get_bits(4, s), r.high) << r.distance;
        EXPECT_EQ(lz_get_bits(r.bits, s), r.rest) << r.distance;
    }
    EXPECT_EQ(lz_distance_cost(16 * 100, 100), 0u);
    EXPECT_EQ(lz_distance_cost(16 * 800, 100), 1u);
    EXPECT_EQ(lz_distance_cost(16 * 6400, 100), 2u);
}

TEST(Lz, RandomDataDoesNotFit) {
    std::mt19937 rng(7);
    std::vector<uint8_t> in(4096);
    for (uint8_t& b : in) b = uint8_t(rng());
    std::vector<uint8_t> out(in.size());
    EXPECT_EQ(lz_compress(in.data(), uint32_t(in.size()), out.data()), -1);
}

TEST(Lz, CanterburyFilesRoundTrip) {
    const std::filesystem::path dir = 
        std::filesystem::path(__FILE__).parent_path() / "../../../shared/corpora/canterbury";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (!entry.is_regular_file() || entry.file_size() < 128) continue;
        std::ifstream f(entry.path(), std::ios::binary);
        std::vector<uint8_t> in((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        const std::vector<uint8_t> packed = compress(in);
        if (packed.empty()) continue;  // did not shrink
        files++;
        EXPECT_LT(packed.size(), in.size()) << entry.path();
        bool ok = false;
        EXPECT_TRUE(decompress(packed, &ok) == in) << entry.path();
        EXPECT_TRUE(ok);
    }
    EXPECT_GT(files, 5);
}

TEST(Lz, LargeInputsGoInChunksOfOneMebibyte) {
    std::vector<uint8_t> in(2500000);
    std::mt19937 rng(3);
    for (size_t i = 0; i < in.size(); i++) in[i] = uint8_t("abcdefgh"[rng() % 8]);
    const std::vector<uint8_t> packed = compress(in);
    ASSERT_FALSE(packed.empty());
    // Walk the chunks by decoding each alone: the first two are 1 MiB.
    bool ok = false;
    EXPECT_TRUE(decompress(packed, &ok) == in);
    EXPECT_EQ(u32(packed, 8), LZ_CHUNK);
}

TEST(Lz, DecoderRefusals) {
    const std::vector<uint8_t> good = compress(std::vector<uint8_t>(128, 'a'));
    auto refused = [](std::vector<uint8_t> bytes) {
        bool ok = true;
        decompress(bytes, &ok);
        return !ok;
    };
    std::vector<uint8_t> zero_chunk = good;
    std::memset(zero_chunk.data() + 8, 0, 4);
    EXPECT_TRUE(refused(zero_chunk));
    // A match whose distance (2) reaches before the chunk's first byte.
    std::vector<uint8_t> before = good;
    before[15] |= 0x10;  // the distance's low bits (bits 28-30) 0 -> 1: distance 2
    EXPECT_TRUE(refused(before));
    // Fewer bytes than the header promises, a length past the input, a
    // short container.
    std::vector<uint8_t> short_n = good;
    short_n[4] = 129;
    EXPECT_TRUE(refused(short_n));
    std::vector<uint8_t> long_c = good;
    long_c[0] = 9;
    EXPECT_TRUE(refused(long_c));
    EXPECT_TRUE(refused(std::vector<uint8_t>(good.begin(), good.begin() + 7)));
    std::vector<uint8_t> huge_n = good;
    huge_n[7] = 0x10;  // N far beyond what 8 bytes can expand to
    EXPECT_TRUE(refused(huge_n));
}

}  // namespace
}  // namespace zun::compress
