// Zstandard: the golden files (decoded, refused, round-tripped), the
// decoder's results on hand-made frames (measuring, too-small outputs,
// checksums, sizes past a binary!), XXH64 against xxhsum, and the natives'
// errors. The zstd tool's own frames and ours through the tool are checked by
// tests/zstd_interop.py.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "datatypes/series/binary.hpp"
#include "services/compress.hpp"
#include "services/xxh64.hpp"
#include "services/zstd_compress.hpp"
#include "services/zstd_decode.hpp"
#include "tests/unit/eval_fixture.hpp"
#include "tests/unit/python_oracle.hpp"

using namespace zun;
using Bytes = std::vector<uint8_t>;

namespace {

const std::filesystem::path k_golden =
    std::filesystem::path(__FILE__).parent_path() / "../../../shared/corpora/zstd-golden";

Bytes read_file(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), {});
}

// The standard output of a command, as bytes.
Bytes command_bytes(const std::string& command) {
    Bytes out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    for (int c; (c = std::fgetc(p)) != EOF;) out.push_back(uint8_t(c));
    pclose(p);
    return out;
}

// decompress as the native runs it: measure, then decode into that room.
int32_t decode(const Bytes& in, Bytes& out) {
    int32_t size = 0;
    int32_t r = compress::zstd_decompress(nullptr, &size, in.data(), int32_t(in.size()));
    if (r != compress::TOO_SMALL) {
        out.clear();
        return r;
    }
    out.assign(size_t(size), 0);
    r = compress::zstd_decompress(out.data(), &size, in.data(), int32_t(in.size()));
    out.resize(size_t(size));
    return r;
}

Bytes compress_at(const Bytes& in, int level) {
    int32_t size = 0;
    EXPECT_EQ(compress::zstd_compress(nullptr, &size, in.data(), int32_t(in.size()), level),
              compress::TOO_SMALL);
    EXPECT_EQ(size, compress::zstd_compress_bound(int64_t(in.size())));
    Bytes out(static_cast<size_t>(size));
    EXPECT_EQ(compress::zstd_compress(out.data(), &size, in.data(), int32_t(in.size()), level),
              compress::DONE);
    out.resize(size_t(size));
    return out;
}

void append(Bytes& b, std::initializer_list<uint8_t> bytes) { b.insert(b.end(), bytes); }
void append_u24(Bytes& b, uint32_t v) { append(b, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)}); }
void append_u32(Bytes& b, uint32_t v) { append_u24(b, v), b.push_back(uint8_t(v >> 24)); }
uint32_t block_header(bool last, int type, uint32_t size) { return uint32_t(last) | type << 1 | size << 3; }

// A frame of unknown size (window 2^20) whose blocks are RLE blocks of the
// given sizes.
Bytes rle_frame(const std::vector<uint32_t>& sizes, uint8_t byte = 'r') {
    Bytes f = {0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x50};
    for (size_t i = 0; i < sizes.size(); i++) {
        append_u24(f, block_header(i + 1 == sizes.size(), 1, sizes[i]));
        f.push_back(byte);
    }
    return f;
}

}  // namespace

TEST(ZstdGolden, DecodeToTheToolsOutputOrTheirKnownText) {
    struct Case {
        const char* file;
        const char* text;  // null: the zstd tool's output
    };
    const Case cases[] = {
        {"block-128k.zst", nullptr},
        {"rle-first-block.zst", nullptr},
        {"empty-block.zst", nullptr},
        {"zeroSeq_2B.zst", "Hello World!\n"},
    };
    for (const Case& c : cases) {
        const auto path = k_golden / "golden-decompression" / c.file;
        const Bytes expected = c.text ? Bytes(c.text, c.text + std::strlen(c.text))
                                      : command_bytes("zstd -q -d -c " + path.string());
        Bytes out;
        EXPECT_EQ(decode(read_file(path), out), compress::DONE) << c.file;
        EXPECT_EQ(out, expected) << c.file;
    }
    EXPECT_EQ(command_bytes("zstd -q -d -c " + (k_golden / "golden-decompression/block-128k.zst").string())
                  .size(),
              131068u);
}

TEST(ZstdGolden, ErrorFilesAreBadDataMeasuredOrWritten) {
    for (const auto& entry : std::filesystem::directory_iterator(k_golden / "golden-decompression-errors")) {
        const Bytes in = read_file(entry.path());
        int32_t size = 0;
        EXPECT_EQ(compress::zstd_decompress(nullptr, &size, in.data(), int32_t(in.size())),
                  compress::BAD_DATA)
            << entry.path();
        Bytes room(1 << 20);
        size = int32_t(room.size());
        EXPECT_EQ(compress::zstd_decompress(room.data(), &size, in.data(), int32_t(in.size())),
                  compress::BAD_DATA)
            << entry.path();
    }
}

TEST(ZstdGolden, CompressionInputsRoundTrip) {
    for (const auto& entry : std::filesystem::directory_iterator(k_golden / "golden-compression")) {
        const Bytes in = read_file(entry.path());
        for (int level : {1, 3, 9, 19}) {
            Bytes out;
            EXPECT_EQ(decode(compress_at(in, level), out), compress::DONE) << entry.path() << level;
            EXPECT_TRUE(out == in) << entry.path() << " level " << level;
        }
    }
}

TEST(ZstdDecoder, ResultsOnHandMadeFrames) {
    const Bytes hello = {0x28, 0xB5, 0x2F, 0xFD, 0x20, 0x05, 0x29, 0x00, 0x00, 'h', 'e', 'l', 'l', 'o'};
    Bytes skippable = {0x5F, 0x2A, 0x4D, 0x18, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'};
    Bytes two = hello;
    two.insert(two.end(), skippable.begin(), skippable.end());
    two.insert(two.end(), hello.begin(), hello.end());
    Bytes short_skip = skippable;
    short_skip[4] = 4;  // runs past the input
    Bytes declared_more = hello;
    declared_more[5] = 6;  // declares 6, holds 5
    Bytes raw_unknown = {0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x00};
    append_u24(raw_unknown, block_header(true, 0, 3));
    append(raw_unknown, {'x', 'y', 'z'});
    Bytes type3 = hello;
    type3[6] = 0x2F;  // block type 3
    Bytes window_max = raw_unknown;
    window_max[5] = 0xA8;  // exponent 21: no limit
    Bytes window_over = raw_unknown;
    window_over[5] = 0xB0;
    struct Case {
        const char* what;
        Bytes in;
        int32_t result;
        const char* text;
    };
    const Case cases[] = {
        {"one frame", hello, compress::DONE, "hello"},
        {"frame, skippable frame, frame", two, compress::DONE, "hellohello"},
        {"a skippable frame alone", skippable, compress::DONE, ""},
        {"a raw block of unknown size", raw_unknown, compress::DONE, "xyz"},
        {"window exponent 21", window_max, compress::DONE, "xyz"},
        {"window exponent 22", window_over, compress::BAD_DATA, ""},
        {"empty input", {}, compress::BAD_DATA, ""},
        {"magic only", {0x28, 0xB5, 0x2F, 0xFD}, compress::BAD_DATA, ""},
        {"a skippable frame past the input", short_skip, compress::BAD_DATA, ""},
        {"fewer bytes than the declared size", declared_more, compress::BAD_DATA, ""},
        {"block type 3", type3, compress::BAD_DATA, ""},
    };
    for (const Case& c : cases) {
        Bytes out;
        EXPECT_EQ(decode(c.in, out), c.result) << c.what;
        if (c.result == compress::DONE) {
            EXPECT_EQ(std::string(out.begin(), out.end()), c.text) << c.what;
        }
    }
    // Writing into too small an output: a frame of known size asks for its
    // size; one of unknown size is measured by decoding.
    for (const Bytes* in : {&hello, static_cast<const Bytes*>(&raw_unknown)}) {
        uint8_t room[2];
        int32_t size = 2;
        EXPECT_EQ(compress::zstd_decompress(room, &size, in->data(), int32_t(in->size())),
                  compress::TOO_SMALL);
        EXPECT_EQ(size, in == &hello ? 5 : 3);
    }
}

TEST(ZstdDecoder, ChecksumsAreCheckedOnlyWhenWriting) {
    const Bytes data = {'z', 's', 't', 'd', '!'};
    Bytes frame = {0x28, 0xB5, 0x2F, 0xFD, 0x24, 0x05};
    append_u24(frame, block_header(true, 0, 5));
    frame.insert(frame.end(), data.begin(), data.end());
    append_u32(frame, uint32_t(compress::xxh64(data.data(), data.size())));
    Bytes out;
    EXPECT_EQ(decode(frame, out), compress::DONE);
    EXPECT_EQ(out, data);
    frame.back() ^= 1;
    int32_t size = 0;
    EXPECT_EQ(compress::zstd_decompress(nullptr, &size, frame.data(), int32_t(frame.size())),
              compress::TOO_SMALL);
    EXPECT_EQ(size, 5);
    EXPECT_EQ(decode(frame, out), compress::BAD_DATA);
}

TEST(ZstdDecoder, DeclaredSizesAreNotTrustedAndTotalsDoNotWrap) {
    // 130 compressed blocks of one RLE literal each, declaring 130 x 128 KiB:
    // the block headers alone allow it, decoding the blocks refuses it.
    const uint32_t declared = 130u << 17;
    Bytes frame = {0x28, 0xB5, 0x2F, 0xFD, 0x80, 0x58};
    append_u32(frame, declared);
    for (int i = 0; i < 130; i++) {
        append_u24(frame, block_header(i == 129, 2, 3));
        append(frame, {0x01 | 1 << 3, 'q', 0x00});  // 1 RLE literal, no sequences
    }
    uint64_t total = 0;
    bool from_header = false;
    EXPECT_EQ(compress::zstd_decode_frames(frame.data(), frame.size(), nullptr, 0, &total, 0, &from_header),
              compress::DONE);
    EXPECT_EQ(total, declared);
    EXPECT_TRUE(from_header);
    EXPECT_EQ(compress::zstd_decode_frames(frame.data(), frame.size(), nullptr, 0, &total, 1, nullptr),
              compress::BAD_DATA);
    int32_t size = 0;
    EXPECT_EQ(compress::zstd_decompress(nullptr, &size, frame.data(), int32_t(frame.size())),
              compress::BAD_DATA);

    // Two frames of 2^31 - 128 KiB of RLE blocks each: too large for a binary!.
    const Bytes half = rle_frame(std::vector<uint32_t>(16383, 131072));
    Bytes both = half;
    both.insert(both.end(), half.begin(), half.end());
    size = 0;
    EXPECT_EQ(compress::zstd_decompress(nullptr, &size, both.data(), int32_t(both.size())),
              compress::TOO_LARGE);
    EXPECT_EQ(compress::zstd_decompress(nullptr, &size, half.data(), int32_t(half.size())),
              compress::TOO_SMALL);
    EXPECT_EQ(size, 16383 * 131072);
}

TEST(Xxh64, AgreesWithXxhsum) {
    EXPECT_EQ(compress::xxh64(nullptr, 0), 0xef46db3751d8e999ull);
    EXPECT_EQ(compress::xxh64(reinterpret_cast<const uint8_t*>("abc"), 3), 0x44bc2cf5ad770999ull);
    std::mt19937 rng(64);
    std::vector<size_t> lengths;
    for (size_t n = 0; n <= 100; n++) lengths.push_back(n);
    for (size_t n : {1000u, 65536u, 1000003u}) lengths.push_back(n);
    const std::string dir = ::testing::TempDir() + "xxh64_" + std::to_string(getpid());
    std::filesystem::create_directories(dir);
    std::string command = "cd " + dir + " && xxhsum -H64";
    std::vector<uint64_t> ours;
    for (size_t n : lengths) {
        Bytes data(n);
        for (uint8_t& b : data) b = uint8_t(rng());
        const std::string name = "d" + std::to_string(n);
        std::ofstream(dir + "/" + name, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), n);
        command += " " + name;
        ours.push_back(compress::xxh64(data.data(), n));
    }
    const std::vector<std::string> lines = test_support::command_lines(command);
    std::filesystem::remove_all(dir);
    ASSERT_EQ(lines.size(), lengths.size()) << "xxhsum did not run";
    for (size_t i = 0; i < lines.size(); i++) {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(ours[i]));
        EXPECT_EQ(lines[i].substr(0, 16), hex) << "length " << lengths[i];
    }
}

TEST(ZstdCompressor, HeaderFormsAndBlockKinds) {
    struct Case {
        size_t n;
        int level;
        Bytes header;  // the bytes after the magic
    };
    const Case cases[] = {
        {0, -1, {0x20, 0x00, 0x01, 0x00, 0x00}},  // one empty raw block, last
        {4, 3, {0x20, 0x04, 0x21, 0x00, 0x00}},   // too short to search: raw
        {200, 3, {0x20, 0xC8}},
        {1000, 3, {0x60, 0xE8, 0x02}},
        {65791, 3, {0x60, 0xFF, 0xFF}},
        {65792, 3, {0xA0, 0x00, 0x01, 0x01, 0x00}},
        {1 << 20, 1, {0x80, 0x48, 0x00, 0x00, 0x10, 0x00}},
    };
    for (const Case& c : cases) {
        Bytes in(c.n);
        for (size_t i = 0; i < c.n; i++) in[i] = uint8_t("zstandard frame "[i % 16] + i / 4096);
        const Bytes out = compress_at(in, c.level);
        ASSERT_GE(out.size(), 4 + c.header.size());
        EXPECT_EQ(Bytes(out.begin() + 4, out.begin() + 4 + long(c.header.size())), c.header) << c.n;
        Bytes back;
        EXPECT_EQ(decode(out, back), compress::DONE);
        EXPECT_TRUE(back == in) << c.n;
    }
    // One repeated byte: RLE blocks. Random bytes: raw blocks within the bound.
    const Bytes same(300000, 'a');
    const Bytes rle = compress_at(same, 19);
    EXPECT_EQ(rle.size(), 4u + 5 + 3 * 4);
    std::mt19937 rng(5);
    Bytes noise(300000);
    for (uint8_t& b : noise) b = uint8_t(rng());
    for (int level : {1, 3, 19}) {
        const Bytes raw = compress_at(noise, level);
        EXPECT_EQ(raw.size(), size_t(compress::zstd_compress_bound(300000)) - 1) << level;
        Bytes back;
        EXPECT_EQ(decode(raw, back), compress::DONE);
        EXPECT_TRUE(back == noise);
    }
}

namespace {

class ZstdNatives : public eval_test::EvalTest {};

}  // namespace

TEST_F(ZstdNatives, LevelsSizesAndErrors) {
    EXPECT_EQ(run("to string! decompress compress \"abc abc abc abc abc\" 'zstd 'zstd"),
              "\"abc abc abc abc abc\"");
    EXPECT_EQ(run("equal? compress #{0102} 'zstd compress/level #{0102} 'zstd 3"), "true");
    EXPECT_EQ(run("length? decompress/size compress/level #{00000000000000000000} 'zstd 19 'zstd 4"),
              "10");
    EXPECT_EQ(run("decompress #{28B52FFD2000010000} 'zstd"), "#{}");
    const eval_test::ErrorCase errors[] = {
        {"compress/level #{00} 'zstd 0", ErrorId::script_out_of_range, "0", "", ""},
        {"compress/level #{00} 'zstd 20", ErrorId::script_out_of_range, "20", "", ""},
        {"decompress #{28B52FFD} 'zstd", ErrorId::script_invalid_data, "", "", ""},
        {"decompress #{28B52FFD2002010000} 'zstd", ErrorId::script_invalid_data, "", "", ""},
    };
    check_errors(errors);
    // More than 2^31 - 1 bytes cannot be a binary!.
    const Bytes half = rle_frame(std::vector<uint32_t>(16383, 131072));
    Bytes both = half;
    both.insert(both.end(), half.begin(), half.end());
    set_global("huge", *binary::push_bytes(both.data(), uint32_t(both.size())));
    EXPECT_EQ(fails("decompress huge 'zstd"), ErrorId::internal_no_memory);
}
