// The compression services: deflate's block structure read back by a small
// bit-serial reader, inflate's answers on hand-made streams (edge cases and the
// faults a damaged stream can hold), and the zlib and gzip framings' checks.
// Interop with zlib itself is tests/compress_oracle.py.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "services/checksum.hpp"
#include "services/compress.hpp"

using namespace zun::compress;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes bytes_of(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes random_bytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    Bytes b(n);
    for (auto& x : b) x = uint8_t(rng());
    return b;
}

Bytes text(size_t n, uint32_t seed = 1) {
    std::mt19937 rng(seed);
    static const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ",
                                  "a ", "lazy ", "dog ", "and ", "runs\n", "away "};
    std::string s;
    while (s.size() < n) s += words[rng() % 12];
    s.resize(n);
    return bytes_of(s);
}

struct Answer {
    int32_t result;
    int32_t size;
    Bytes out;
};

// A service call with room for capacity bytes, or a null output (capacity -1).
Answer call(DecompressFn fn, const Bytes& in, int32_t capacity) {
    Answer a;
    a.out.resize(size_t(std::max(capacity, 0)));
    a.size = capacity;
    a.result = fn(capacity < 0 ? nullptr : a.out.data(), &a.size, in.data(), int32_t(in.size()));
    if (a.result == DONE) a.out.resize(size_t(a.size));
    return a;
}

Answer pack(CompressFn fn, const Bytes& in, int32_t level = NO_LEVEL, int32_t capacity = -2) {
    if (capacity == -2) capacity = int32_t(in.size() + in.size() / 2048 + 32);
    Answer a;
    a.out.resize(size_t(capacity));
    a.size = capacity;
    a.result = fn(a.out.data(), &a.size, in.data(), int32_t(in.size()), level);
    if (a.result == DONE) a.out.resize(size_t(a.size));
    return a;
}

// Bits least significant first; Huffman codes most significant bit first.
struct BitSink {
    Bytes out;
    int count = 0;
    void put(uint32_t v, int n) {
        for (int i = 0; i < n; i++, count++) {
            if (count % 8 == 0) out.push_back(0);
            if ((v >> i) & 1) out.back() |= uint8_t(1 << (count % 8));
        }
    }
    void code(uint32_t c, int n) {
        for (int i = n - 1; i >= 0; i--) put((c >> i) & 1, 1);
    }
    // Fixed-code literal/length symbol.
    void fixed(int s) {
        if (s < 144) code(0x30 + s, 8);
        else if (s < 256) code(0x190 + s - 144, 9);
        else if (s < 280) code(s - 256, 7);
        else code(0xC0 + s - 280, 8);
    }
};

// A bit-serial reader of deflate's block structure: per block its type, its
// stored length or its tokens (length 0 for a literal) and its output.
struct Block {
    int type;
    bool final;
    std::vector<std::pair<int, int>> tokens;  // (length, distance)
    size_t stored = 0;
};

struct Tracer {
    const Bytes& in;
    size_t bit = 0;
    Bytes out;
    uint32_t get(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++, bit++) v |= uint32_t((in.at(bit / 8) >> (bit % 8)) & 1) << i;
        return v;
    }
    int decode(const std::vector<int>& lengths) {
        int code = 0, first = 0, index = 0;
        std::vector<int> count(16), sorted;
        for (int l : lengths) count[size_t(l)]++;
        for (int len = 1; len < 16; len++)
            for (size_t s = 0; s < lengths.size(); s++)
                if (lengths[s] == len) sorted.push_back(int(s));
        for (int len = 1; len < 16; len++) {
            code |= int(get(1));
            if (code - count[size_t(len)] < first) return sorted[size_t(index + code - first)];
            index += count[size_t(len)];
            first = (first + count[size_t(len)]) << 1;
            code <<= 1;
        }
        throw std::runtime_error("no code");
    }
    std::vector<Block> run() {
        static const int lbase[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 13, 15, 17, 19, 23, 27,
                                    31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const int lext[] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        static const int order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
        std::vector<Block> blocks;
        for (bool final = false; !final;) {
            Block b{};
            b.final = final = get(1);
            b.type = int(get(2));
            if (b.type == 0) {
                bit = (bit + 7) / 8 * 8;
                b.stored = get(16);
                get(16);
                for (size_t i = 0; i < b.stored; i++) out.push_back(uint8_t(get(8)));
                blocks.push_back(b);
                continue;
            }
            std::vector<int> lit(288), dist(30, 5);
            for (int s = 0; s < 288; s++) lit[size_t(s)] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
            if (b.type == 2) {
                const int hlit = int(get(5)) + 257, hdist = int(get(5)) + 1, hclen = int(get(4)) + 4;
                std::vector<int> cl(19), all;
                for (int i = 0; i < hclen; i++) cl[size_t(order[i])] = int(get(3));
                while (int(all.size()) < hlit + hdist) {
                    const int s = decode(cl);
                    if (s < 16) all.push_back(s);
                    else if (s == 16) all.insert(all.end(), 3 + get(2), all.back());
                    else all.insert(all.end(), s == 17 ? 3 + get(3) : 11 + get(7), 0);
                }
                lit.assign(all.begin(), all.begin() + hlit);
                dist.assign(all.begin() + hlit, all.end());
            }
            for (;;) {
                const int s = decode(lit);
                if (s == 256) break;
                if (s < 256) {
                    b.tokens.push_back({0, 0});
                    out.push_back(uint8_t(s));
                    continue;
                }
                const int len = lbase[s - 257] + int(get(lext[s - 257]));
                const int dc = decode(dist);
                const int d = (dc < 4 ? dc + 1 : ((2 + (dc & 1)) << ((dc - 2) / 2)) + 1) +
                              int(get(dc < 4 ? 0 : (dc - 2) / 2));
                b.tokens.push_back({len, d});
                for (int i = 0; i < len; i++) out.push_back(out[out.size() - size_t(d)]);
            }
            blocks.push_back(b);
        }
        return blocks;
    }
};

std::vector<Block> trace(const Bytes& deflated, const Bytes& original) {
    Tracer t{deflated, 0, {}};
    std::vector<Block> blocks = t.run();
    EXPECT_EQ(t.out, original);
    return blocks;
}

Bytes hex(const char* h) {
    Bytes b;
    for (; h[0] && h[1]; h += 2) {
        if (h[0] == ' ') {
            h--;
            continue;
        }
        b.push_back(uint8_t(std::stoi(std::string(h, 2), nullptr, 16)));
    }
    return b;
}

}  // namespace

TEST(Deflate, FramingBytes) {
    EXPECT_EQ(pack(deflate, {}).out, hex("0300"));
    struct Header {
        int32_t level;
        uint8_t flg, xfl;
    };
    for (const Header h : {Header{NO_LEVEL, 0x01, 4}, Header{1, 0x01, 4}, Header{3, 0x5E, 0},
                           Header{5, 0x5E, 0}, Header{6, 0x9C, 0}, Header{7, 0xDA, 0},
                           Header{9, 0xDA, 2}}) {
        const Bytes input = text(1000);
        const Answer z = pack(zlib_compress, input, h.level);
        ASSERT_EQ(z.result, DONE);
        EXPECT_EQ(z.out[0], 0x78);
        EXPECT_EQ(z.out[1], h.flg) << "level " << h.level;
        const Answer g = pack(gzip_compress, input, h.level);
        ASSERT_EQ(g.result, DONE);
        EXPECT_EQ(Bytes(g.out.begin(), g.out.begin() + 10),
                  (Bytes{0x1F, 0x8B, 8, 0, 0, 0, 0, 0, h.xfl, 4}));
    }
    // Data that already looks like gzip is compressed all the same.
    const Bytes gz = pack(gzip_compress, text(500)).out;
    const Answer again = pack(gzip_compress, gz);
    ASSERT_EQ(again.result, DONE);
    EXPECT_NE(again.out, gz);
    EXPECT_EQ(call(gzip_decompress, again.out, int32_t(gz.size())).out, gz);
}

TEST(Deflate, MatchRules) {
    // "xyz" again 5,000 bytes on: a 3-byte match that far back is not taken;
    // "wxyz" is taken as a 4-byte match.
    Bytes filler = random_bytes(5000, 3);
    for (auto& b : filler) b |= 0x80;
    for (const char* repeat : {"xyz", "wxyz"}) {
        Bytes input = bytes_of(repeat);
        input.insert(input.end(), filler.begin(), filler.end());
        const Bytes again = bytes_of(repeat);
        input.insert(input.end(), again.begin(), again.end());
        input.push_back('!');
        const auto blocks = trace(pack(deflate, input, 9).out, input);
        bool far_match = false;
        for (const Block& b : blocks)
            for (auto [len, dist] : b.tokens) far_match |= dist > 4096;
        EXPECT_EQ(far_match, std::string(repeat) == "wxyz") << repeat;
    }
    // One literal and a distance-1 match of 258 give 259 equal bytes.
    const Bytes run(259, 'a');
    const auto blocks = trace(pack(deflate, run).out, run);
    ASSERT_EQ(blocks.size(), 1u);
    EXPECT_EQ(blocks[0].tokens, (std::vector<std::pair<int, int>>{{0, 0}, {258, 1}}));
}

TEST(Deflate, BlocksAndStored) {
    // Blocks end at 16,384 tokens, never inside a match; text goes dynamic.
    const Bytes input = text(300000);
    const auto blocks = trace(pack(deflate, input).out, input);
    ASSERT_GT(blocks.size(), 1u);
    for (size_t i = 0; i + 1 < blocks.size(); i++) {
        EXPECT_EQ(blocks[i].type, 2);
        EXPECT_EQ(blocks[i].tokens.size(), 16384u);
    }
    // Random data: stored blocks only, the last one final.
    const Bytes noise = random_bytes(100000, 5);
    const auto stored = trace(pack(deflate, noise).out, noise);
    for (const Block& b : stored) EXPECT_EQ(b.type, 0);
    EXPECT_TRUE(stored.back().final);
    // Random, text, random: stored blocks border dynamic ones, nothing lost.
    Bytes mixed = random_bytes(40000, 6);
    const Bytes middle = text(60000, 2), tail = random_bytes(40000, 7);
    mixed.insert(mixed.end(), middle.begin(), middle.end());
    mixed.insert(mixed.end(), tail.begin(), tail.end());
    for (int level : {1, 6, 9}) {
        int types = 0;
        for (const Block& b : trace(pack(deflate, mixed, level).out, mixed)) types |= 1 << b.type;
        EXPECT_EQ(types, 0b101) << "level " << level;
    }
}

TEST(Deflate, SizeCellAndSecondCall) {
    const Bytes input = text(20000);
    for (CompressFn fn : {deflate, zlib_compress, gzip_compress}) {
        const Answer full = pack(fn, input);
        ASSERT_EQ(full.result, DONE);
        const Answer small = pack(fn, input, NO_LEVEL, 40);
        EXPECT_EQ(small.result, TOO_SMALL);
        EXPECT_EQ(small.size, int32_t(full.out.size()));
        const Answer exact = pack(fn, input, NO_LEVEL, small.size);
        EXPECT_EQ(exact.result, DONE);
        EXPECT_EQ(exact.out, full.out);
    }
    // The framings' overhead does not fit: bad data, with the size to try.
    EXPECT_EQ(pack(zlib_compress, input, NO_LEVEL, 5).result, BAD_DATA);
    EXPECT_EQ(pack(gzip_compress, input, NO_LEVEL, 17).size, 20018);
}

TEST(Inflate, EdgeStreams) {
    BitSink lit259;  // 'a', then length 258 at distance 1
    lit259.put(1, 1), lit259.put(1, 2), lit259.fixed('a'), lit259.fixed(285), lit259.code(0, 5),
        lit259.fixed(256);
    BitSink too_far;  // a literal, then a match 2 back
    too_far.put(1, 1), too_far.put(1, 2), too_far.fixed('a'), too_far.fixed(257),
        too_far.code(1, 5), too_far.fixed(256);
    BitSink non_final;  // a complete fixed block that is not the last, then nothing
    non_final.put(0, 1), non_final.put(1, 2), non_final.fixed('z'), non_final.fixed(256);
    struct Case {
        const char* what;
        Bytes stream;
        int32_t capacity;
        int32_t result, size;
        std::string out;
    };
    const Case cases[] = {
        {"empty final block", hex("0300"), 10, DONE, 0, ""},
        {"empty block measured", hex("0300"), -1, DONE, 0, ""},
        {"259 equal bytes", lit259.out, 300, DONE, 259, std::string(259, 'a')},
        {"measured", lit259.out, -1, TOO_SMALL, 259, ""},
        {"too small", lit259.out, 100, TOO_SMALL, 259, ""},
        {"distance too far", too_far.out, 10, DISTANCE_TOO_FAR, 1, ""},
        {"stored past the input", hex("01 0500 FAFF 6162"), 10, STORED_PAST_INPUT, 0, ""},
        {"stored", hex("01 0200 FDFF 6162"), 10, DONE, 2, "ab"},
        {"type 3", hex("07"), 10, RESERVED_BLOCK, 0, ""},
        {"ends after a non-final block", non_final.out, 10, DONE, 1, "z"},
        {"stored non-final, then nothing", hex("00 0100 FEFF 71"), 10, DONE, 1, "q"},
        {"input after the final block", hex("0300 DEADBEEF"), 10, DONE, 0, ""},
        {"no input", {}, 10, DONE, 0, ""},
    };
    for (const Case& c : cases) {
        const Answer a = call(inflate, c.stream, c.capacity);
        EXPECT_EQ(a.result, c.result) << c.what;
        EXPECT_EQ(a.size, c.size) << c.what;
        if (c.result == DONE) {
            EXPECT_EQ(std::string(a.out.begin(), a.out.end()), c.out) << c.what;
        }
    }
}

namespace {

// A dynamic block header: HLIT, HDIST, and the code-length code's lengths.
BitSink dynamic_header(int hlit, int hdist, const std::vector<std::pair<int, int>>& cl_lengths) {
    static const int order[] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    int lengths[19] = {};
    for (auto [sym, len] : cl_lengths) lengths[sym] = len;
    int hclen = 19;
    while (hclen > 4 && lengths[order[hclen - 1]] == 0) hclen--;
    BitSink b;
    b.put(1, 1), b.put(2, 2), b.put(uint32_t(hlit - 257), 5), b.put(uint32_t(hdist - 1), 5),
        b.put(uint32_t(hclen - 4), 4);
    for (int i = 0; i < hclen; i++) b.put(uint32_t(lengths[order[i]]), 3);
    return b;
}

// An incomplete literal/length code: symbol 0 is "0", end of block "10", "11"
// is no code. Code-length symbols 0, 1, 2 and 18 have 2-bit codes 00 01 10 11.
BitSink incomplete_code() {
    BitSink b = dynamic_header(257, 1, {{0, 2}, {1, 2}, {2, 2}, {18, 2}});
    b.code(1, 2);                   // symbol 0: length 1
    b.code(3, 2), b.put(127, 7);    // 138 zeros
    b.code(3, 2), b.put(106, 7);    // 117 zeros
    b.code(2, 2);                   // symbol 256: length 2
    b.code(1, 2);                   // distance 0: length 1
    return b;
}

}  // namespace

TEST(Inflate, DamagedStreams) {
    BitSink hlit = dynamic_header(287, 1, {{0, 1}, {18, 1}});
    BitSink hdist = dynamic_header(257, 31, {{0, 1}, {18, 1}});
    BitSink over = dynamic_header(257, 1, {{16, 1}, {17, 1}, {18, 1}, {0, 1}});
    BitSink first16 = dynamic_header(257, 1, {{16, 1}, {0, 1}});
    first16.code(1, 1);
    BitSink past = dynamic_header(257, 1, {{18, 1}, {0, 1}});
    past.code(1, 1), past.put(127, 7), past.code(1, 1), past.put(127, 7);
    BitSink missing = incomplete_code();
    missing.code(0, 1), missing.code(3, 2);
    BitSink met = incomplete_code();
    met.code(0, 1), met.code(2, 2);
    BitSink sym286;
    sym286.put(1, 1), sym286.put(1, 2), sym286.fixed(286);
    BitSink dist30;
    dist30.put(1, 1), dist30.put(1, 2), dist30.fixed('a'), dist30.fixed(257), dist30.code(30, 5);
    const Bytes deflated = pack(deflate, text(5000)).out;
    const Bytes cut(deflated.begin(), deflated.begin() + long(deflated.size() / 2));
    struct Case {
        const char* what;
        Bytes stream;
        int32_t result;
    };
    const Case cases[] = {
        {"HLIT above 286", hlit.out, BAD_DATA},
        {"HDIST above 30", hdist.out, BAD_DATA},
        {"over-subscribed code", over.out, BAD_DATA},
        {"repeat with no previous length", first16.out, BAD_DATA},
        {"repeat past the lengths", past.out, BAD_DATA},
        {"a pattern of no code", missing.out, BAD_DATA},
        {"an incomplete code used within its codes", met.out, DONE},
        {"literal/length symbol 286", sym286.out, BAD_DATA},
        {"distance code 30", dist30.out, BAD_DATA},
        {"stored NLEN not the complement", hex("01 0200 0000 6162"), BAD_DATA},
        {"cut inside a block", cut, BAD_DATA},
        {"cut inside the stored header", hex("01 0200"), BAD_DATA},
        {"cut before the end of block", hex("03"), BAD_DATA},
        {"dynamic header cut", hex("05"), BAD_DATA},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(call(inflate, c.stream, 1000).result, c.result) << c.what;
        EXPECT_EQ(call(inflate, c.stream, -1).result, c.result == DONE ? TOO_SMALL : c.result)
            << c.what << " (measured)";
    }
}

TEST(Inflate, OutputPastTwoGigabytesIsTooLarge) {
    // Symbol 0 "0", end of block "10", length 258 "11"; distance 1 "0": one
    // literal, then 3 bits for every 258 bytes.
    auto stream = [](int64_t matches) {
        BitSink b = dynamic_header(286, 1, {{0, 2}, {1, 2}, {2, 2}, {18, 2}});
        b.code(1, 2);                   // symbol 0: length 1
        b.code(3, 2), b.put(127, 7);    // 138 zeros
        b.code(3, 2), b.put(106, 7);    // 117 zeros
        b.code(2, 2);                   // symbol 256: length 2
        b.code(3, 2), b.put(17, 7);     // 28 zeros
        b.code(2, 2);                   // symbol 285: length 2
        b.code(1, 2);                   // distance 0: length 1
        b.code(0, 1);
        for (int64_t i = 0; i < matches; i++) b.code(3, 2), b.code(0, 1);
        b.code(2, 2);
        return b.out;
    };
    const int64_t most = (int64_t(INT32_MAX) - 1) / 258;  // 1 + 258 x most fits
    const Answer fits = call(inflate, stream(most), -1);
    EXPECT_EQ(fits.result, TOO_SMALL);
    EXPECT_EQ(fits.size, 1 + 258 * most);
    const Bytes over = stream(most + 1);
    for (int32_t capacity : {-1, 1 << 20}) {
        EXPECT_EQ(call(inflate, over, capacity).result, TOO_LARGE) << capacity;
    }
}

TEST(Inflate, CorpusStreams) {
    const auto dir = std::filesystem::path(__FILE__).parent_path() / "../../../shared/corpora/deflate";
    auto read = [&](const std::string& name) {
        std::ifstream f(dir / name, std::ios::binary);
        EXPECT_TRUE(f.good()) << name;
        return Bytes(std::istreambuf_iterator<char>(f), {});
    };
    struct Case {
        const char* stream;
        DecompressFn fn;
        const char* plain;  // null: bad data
    };
    const Case cases[] = {
        {"backref-crosses-blocks.deflate", inflate, "backref-crosses-blocks.deflate.decompressed"},
        {"degenerate-huffman.deflate", inflate, "degenerate-huffman.deflate.decompressed"},
        {"distance-32768.deflate", inflate, "distance-32768.deflate.decompressed"},
        {"huffman-primlen-9.deflate", inflate, "huffman-primlen-9.deflate.decompressed"},
        {"distance-code-31.deflate", inflate, nullptr},
        {"romeo.txt.deflate", inflate, "romeo.txt"},
        {"romeo.txt.fixed-huff.deflate", inflate, "romeo.txt"},
        {"romeo.txt.zlib", zlib_decompress, "romeo.txt"},
        {"romeo.txt.gz", gzip_decompress, "romeo.txt"},
        {"midsummer.txt.zlib", zlib_decompress, "midsummer.txt"},
        {"midsummer.txt.gz", gzip_decompress, "midsummer.txt"},
        {"pi.txt.zlib", zlib_decompress, "pi.txt"},
        {"pi.txt.gz", gzip_decompress, "pi.txt"},
    };
    for (const Case& c : cases) {
        const Bytes stream = read(c.stream);
        const Answer measured = call(c.fn, stream, -1);
        const Answer a = call(c.fn, stream, std::max(measured.size, 0));
        EXPECT_EQ(a.result, c.plain ? DONE : BAD_DATA) << c.stream;
        if (c.plain) {
            EXPECT_EQ(a.out, read(c.plain)) << c.stream;
        }
    }
}

TEST(Framing, Checks) {
    const Bytes input = text(3000);
    const Bytes z = pack(zlib_compress, input).out;
    const Bytes g = pack(gzip_compress, input).out;
    auto with = [](Bytes b, size_t at, uint8_t v) {
        b.at(at) = v;
        return b;
    };
    auto cut = [](const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + long(n)); };
    auto gzip_header = [&](uint8_t flg, const Bytes& fields) {
        Bytes b{0x1F, 0x8B, 8, flg, 0, 0, 0, 0, 0, 3};
        b.insert(b.end(), fields.begin(), fields.end());
        b.insert(b.end(), g.begin() + 10, g.end());
        return b;
    };
    Bytes two_members = g;
    two_members.insert(two_members.end(), g.begin(), g.end());
    Bytes big_isize = g;
    big_isize[big_isize.size() - 1] = 0x80;
    Bytes hcrc = gzip_header(0x02, {0x00, 0x00});
    struct Case {
        const char* what;
        DecompressFn fn;
        Bytes stream;
        int32_t capacity, result, size;
    };
    const Case cases[] = {
        {"zlib", zlib_decompress, z, 5000, DONE, 3000},
        {"zlib shorter than its frame", zlib_decompress, hex("789C0300"), 10, BAD_DATA, -9},
        {"zlib check bits", zlib_decompress, with(z, 1, 0x9D), 5000, BAD_DATA, -9},
        {"zlib preset dictionary", zlib_decompress, with(with(z, 0, 0x78), 1, 0x20), 5000, BAD_DATA, -9},
        {"zlib window 8 (CINFO)", zlib_decompress, with(with(z, 0, 0x88), 1, 0x1C), 5000, BAD_DATA, -9},
        {"zlib method 7", zlib_decompress, with(with(z, 0, 0x77), 1, 0x0A), 5000, BAD_DATA, -9},
        {"zlib Adler-32", zlib_decompress, with(z, z.size() - 1, z.back() ^ 1), 5000, BAD_DATA, -9},
        {"zlib cut", zlib_decompress, cut(z, z.size() - 7), 5000, BAD_DATA, -9},
        {"gzip", gzip_decompress, g, 5000, DONE, 3000},
        {"gzip measured from ISIZE", gzip_decompress, with(with(g, 12, 0xFF), 13, 0xFF), -1, TOO_SMALL, 3000},
        {"gzip too short", gzip_decompress, cut(g, 17), 5000, BAD_DATA, -9},
        {"gzip magic", gzip_decompress, with(g, 1, 0x8C), 5000, BAD_DATA, -9},
        {"gzip reserved flag", gzip_decompress, with(g, 3, 0x20), 5000, BAD_DATA, -9},
        {"gzip CRC-32", gzip_decompress, with(g, g.size() - 8, g[g.size() - 8] ^ 1), 5000, BAD_DATA, -9},
        {"gzip ISIZE larger", gzip_decompress, with(g, g.size() - 4, g[g.size() - 4] + 1), 5000, BAD_DATA, -9},
        {"gzip ISIZE above 2^31 - 1", gzip_decompress, big_isize, 5000, BAD_DATA, -9},
        {"gzip ISIZE beyond what deflate expands to", gzip_decompress,
         hex("1F8B0800000000000003 0300 00000000 E90B0000"), -1, BAD_DATA, -9},
        {"gzip two members", gzip_decompress, two_members, 8000, BAD_DATA, -9},
        {"gzip cut", gzip_decompress, cut(g, g.size() - 1), 5000, BAD_DATA, -9},
        {"gzip name", gzip_decompress, gzip_header(0x08, bytes_of(std::string("n.txt\0", 6))), 5000, DONE, 3000},
        {"gzip name without its zero", gzip_decompress,
         hex("1F8B0808000000000003 6E6E6E6E6E6E6E6E6E6E6E6E"), 5000, BAD_DATA, -9},
        {"gzip header CRC wrong", gzip_decompress, hcrc, 5000, BAD_DATA, -9},
        {"gzip extra field past the input", gzip_decompress, gzip_header(0x04, {0xFF, 0x7F}), 5000, BAD_DATA, -9},
        {"gzip header into the trailer", gzip_decompress,
         hex("1F8B0804000000000003 0400 00000000 00000000"), 5000, BAD_DATA, -9},
    };
    for (const Case& c : cases) {
        const Answer a = call(c.fn, c.stream, c.capacity);
        EXPECT_EQ(a.result, c.result) << c.what;
        if (c.size != -9) {
            EXPECT_EQ(a.size, c.size) << c.what;
        }
        if (c.result == DONE) {
            EXPECT_EQ(a.out, input) << c.what;
        }
    }
    // The right header CRC is accepted.
    Bytes head{0x1F, 0x8B, 8, 0x02, 0, 0, 0, 0, 0, 3};
    const uint32_t crc = zun::checksum::crc32(head.data(), head.size());
    hcrc[10] = uint8_t(crc), hcrc[11] = uint8_t(crc >> 8);
    EXPECT_EQ(call(gzip_decompress, hcrc, 5000).result, DONE);
}
