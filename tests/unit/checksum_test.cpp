// Checksums, digests and HMAC, judged by python3's zlib, hashlib and hmac run
// at test time on the same inputs; then the checksum native over strings,
// binaries and files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "services/checksum.hpp"
#include "tests/unit/eval_fixture.hpp"
#include "tests/unit/python_oracle.hpp"

using namespace zun;

namespace {

using test_support::python_lines;

// Test inputs both sides can make: byte i of an input of length n.
uint8_t pattern_byte(size_t i) { return uint8_t((i * 31 + 7) % 251); }
std::string pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) s[i] = char(pattern_byte(i));
    return s;
}
constexpr const char* k_python_pattern = "bytes((i * 31 + 7) % 251 for i in range(n))";


std::string hex(const uint8_t* bytes, size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < n; i++) {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 15];
    }
    return out;
}
std::string hex(const std::string& s) { return hex(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

const size_t k_lengths[] = {0, 1, 2, 3, 55, 56, 63, 64, 65, 111, 112, 127, 128, 129,
                            1000, 3854, 5552, 5553, 65536, (1u << 20) + 3};
const size_t k_key_lengths[] = {0, 3, 20, 64, 65, 128, 129, 300};

struct Digest {
    checksum::Method method;
    const char* python;
};
const Digest k_digests[] = {{checksum::MD5, "md5"},       {checksum::SHA1, "sha1"},
                            {checksum::SHA256, "sha256"}, {checksum::SHA384, "sha384"},
                            {checksum::SHA512, "sha512"}};

std::string lengths_list() {
    std::string list = "[";
    for (size_t n : k_lengths) list += std::to_string(n) + ",";
    return list + "]";
}
std::string key_lengths_list() {
    std::string list = "[";
    for (size_t n : k_key_lengths) list += std::to_string(n) + ",";
    return list + "]";
}

}  // namespace

TEST(Checksum, CrcAdlerAndDigestsMatchPython) {
    const auto lines = python_lines(
        "import zlib, hashlib\n"
        "for n in " + lengths_list() + ":\n"
        "    d = " + k_python_pattern + "\n"
        "    print(zlib.crc32(d), zlib.adler32(d), *[hashlib.new(a, d).hexdigest() for a in "
        "('md5','sha1','sha256','sha384','sha512')])\n");
    ASSERT_EQ(lines.size(), std::size(k_lengths));
    for (size_t i = 0; i < std::size(k_lengths); i++) {
        const std::string data = pattern(k_lengths[i]);
        const auto* p = reinterpret_cast<const uint8_t*>(data.data());
        std::string got = std::to_string(checksum::crc32(p, data.size())) + " " +
                          std::to_string(checksum::adler32(p, data.size()));
        for (const Digest& d : k_digests) {
            uint8_t out[checksum::MAX_DIGEST];
            ASSERT_TRUE(checksum::digest(p, data.size(), d.method, out));
            got += " " + hex(out, checksum::digest_size(d.method));
        }
        EXPECT_EQ(got, lines[i]) << "length " << k_lengths[i];
    }
}

TEST(Checksum, CrcContinuesAcrossPieces) {
    const std::string data = pattern(1000);
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t cut : {0, 1, 7, 8, 9, 500, 1000})
        EXPECT_EQ(checksum::crc32_update(checksum::crc32(p, cut), p + cut, 1000 - cut),
                  checksum::crc32(p, 1000));
}

// Keys below, at and above the block size (64, or 128 for SHA-384/512).
TEST(Checksum, HmacMatchesPython) {
    const auto lines = python_lines(
        "import hmac\n"
        "m = 1000\n"
        "n = m\n"
        "data = " + std::string(k_python_pattern) + "\n"
        "for k in " + key_lengths_list() + ":\n"
        "    key = bytes((i * 7 + 1) % 256 for i in range(k))\n"
        "    for n in (0, m):\n"
        "        d = data[:n]\n"
        "        print(*[hmac.new(key, d, a).hexdigest() for a in "
        "('md5','sha1','sha256','sha384','sha512')])\n");
    ASSERT_EQ(lines.size(), std::size(k_key_lengths) * 2);
    const std::string data = pattern(1000);
    size_t row = 0;
    for (size_t k : k_key_lengths) {
        std::string key(k, '\0');
        for (size_t i = 0; i < k; i++) key[i] = char((i * 7 + 1) % 256);
        for (size_t n : {size_t(0), size_t(1000)}) {
            std::string got;
            for (const Digest& d : k_digests) {
                uint8_t out[checksum::MAX_DIGEST];
                ASSERT_TRUE(checksum::hmac(reinterpret_cast<const uint8_t*>(data.data()), n,
                                           reinterpret_cast<const uint8_t*>(key.data()), k,
                                           d.method, out));
                got += (got.empty() ? "" : " ") + hex(out, checksum::digest_size(d.method));
            }
            EXPECT_EQ(got, lines[row++]) << "key " << k << " data " << n;
        }
    }
}

// The Internet checksum has no python oracle: known sums, the odd byte low.
TEST(Checksum, InternetChecksum) {
    struct Case {
        std::vector<uint8_t> data;
        uint32_t sum;
    };
    const Case cases[] = {
        {{}, 0xFFFF},
        {{0x00, 0x01}, 0xFFFE},
        {{0x01}, 0xFFFE},
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},  // RFC 1071's example
        {{0xFF, 0xFF, 0xFF, 0xFF}, 0x0000},
        {{0x45, 0x00, 0x00, 0x73, 0x00, 0x00, 0x40, 0x00, 0x40, 0x11, 0x00, 0x00, 0xC0, 0xA8,
          0x00, 0x01, 0xC0, 0xA8, 0x00, 0xC7},
         0xB861},  // an IPv4 header with its checksum field zeroed
    };
    for (const Case& c : cases) EXPECT_EQ(checksum::tcp(c.data.data(), c.data.size()), c.sum);
}

TEST(Checksum, MethodNamesAndSizes) {
    EXPECT_EQ(checksum::method_of("SHA256", 6), checksum::SHA256);
    EXPECT_EQ(checksum::method_of("Adler32", 7), checksum::ADLER32);
    EXPECT_EQ(checksum::method_of("sha", 3), checksum::NO_METHOD);
    EXPECT_EQ(checksum::method_of("sha2566", 7), checksum::NO_METHOD);
    EXPECT_EQ(checksum::digest_size(checksum::MD5), 16u);
    EXPECT_EQ(checksum::digest_size(checksum::SHA384), 48u);
    uint8_t out[checksum::MAX_DIGEST];
    EXPECT_FALSE(checksum::digest(out, 0, checksum::CRC32, out));
    uint8_t a[32] = {}, b[32] = {};
    ASSERT_TRUE(checksum::random_bytes(a, sizeof a));
    ASSERT_TRUE(checksum::random_bytes(b, sizeof b));
    EXPECT_NE(hex(a, 32), hex(b, 32));
}

namespace {

class ChecksumNative : public eval_test::EvalTest {
protected:
    // The bytes of the binary or 1-byte string the code answers.
    std::string bytes(const char* code) {
        std::string out = "error";
        Cell error;
        ErrorId id = raised_or_none(
            [&] {
                Cell* block = load(code);
                ASSERT_EQ(interpreter::eval_block(block, false), Flow::normal);
                out = test_support::bytes_of(stack::g_top - 1);
            },
            &error);
        EXPECT_EQ(id, ErrorId::count_) << code;
        return out;
    }
};

}  // namespace

TEST_F(ChecksumNative, AgreesWithPython) {
    const std::string file =
        ::testing::TempDir() + "checksum_native_" + std::to_string(getpid()) + ".bin";
    std::ofstream(file, std::ios::binary) << pattern(300000);
    const auto lines = python_lines(
        "import hashlib, hmac, zlib\n"
        "t = 'h\\u00e9llo w\\u00f6rld \\u2713'.encode()\n"
        "print(hashlib.sha256(t).hexdigest())\n"
        "print(hashlib.md5(bytes([0xde, 0xad, 0xbe, 0xef])).hexdigest())\n"
        "print(hmac.new('key \\u00e9'.encode(), t, 'sha512').hexdigest())\n"
        "print(hmac.new(bytes([1, 2, 3]), b'abc', 'sha1').hexdigest())\n"
        "n = 300000\n"
        "d = " + std::string(k_python_pattern) + "\n"
        "print(hashlib.sha384(d).hexdigest(), zlib.crc32(d) - (1 << 32 if zlib.crc32(d) >= 1 << 31 else 0))\n");
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(hex(bytes("checksum \"héllo wörld ✓\" 'sha256")), lines[0]);
    EXPECT_EQ(hex(bytes("checksum #{DEADBEEF} 'MD5")), lines[1]);
    EXPECT_EQ(hex(bytes("checksum/with \"héllo wörld ✓\" 'sha512 \"key é\"")), lines[2]);
    EXPECT_EQ(hex(bytes("checksum/with \"abc\" 'sha1 #{010203}")), lines[3]);
    const std::string file_code = "checksum %" + file + " 'sha384";
    const std::string crc_code = "checksum %" + file + " 'crc32";
    EXPECT_EQ(hex(bytes(file_code.c_str())) + " " + run(crc_code.c_str()), lines[4]);
    std::remove(file.c_str());
}

TEST_F(ChecksumNative, IntegerMethodsAndPositions) {
    EXPECT_EQ(run("checksum \"123456789\" 'crc32"), "-873187034");  // CBF43926
    EXPECT_EQ(run("checksum \"\" 'crc32"), "0");
    EXPECT_EQ(run("checksum \"abc\" 'adler32"), "38600999");  // 024D0127
    EXPECT_EQ(run("checksum \"\" 'adler32"), "1");
    EXPECT_EQ(run("checksum #{0001} 'tcp"), "65534");
    EXPECT_EQ(run("checksum #{01} 'tcp"), "65534");
    EXPECT_EQ(hex(bytes("checksum #{} 'md5")), "d41d8cd98f00b204e9800998ecf8427e");
    // Data is taken from its position.
    EXPECT_EQ(run("checksum next #{FF0001} 'tcp"), "65534");
    EXPECT_EQ(run("checksum next \"x123456789\" 'crc32"), "-873187034");
}

TEST_F(ChecksumNative, Errors) {
    struct Case {
        const char* code;
        ErrorId id;
    };
    const Case cases[] = {
        {"checksum \"a\" 'sha3", ErrorId::script_invalid_arg},
        {"checksum/with \"a\" 'crc32 \"k\"", ErrorId::script_invalid_refine_arg},
        {"checksum/with \"a\" 'tcp 10", ErrorId::script_invalid_refine_arg},
        {"checksum \"a\" 'hash", ErrorId::script_invalid_refine_arg},
        {"checksum/with \"a\" 'hash \"key\"", ErrorId::script_invalid_refine_arg},
        {"checksum %/nonexistent/dir/file 'md5", ErrorId::access_cannot_open},
    };
    for (const Case& c : cases) EXPECT_EQ(fails(c.code), c.id) << c.code;
    // The table-size hash has no algorithm yet: it answers 0.
    EXPECT_EQ(run("checksum/with \"a\" 'hash 64"), "0");
}
