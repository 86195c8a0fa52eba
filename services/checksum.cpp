#include "services/checksum.hpp"

#include <openssl/evp.h>
#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace zun::checksum {

namespace {

struct MethodName {
    const char* name;
    Method method;
};
constexpr MethodName k_methods[] = {
    {"tcp", TCP},       {"md5", MD5},       {"sha1", SHA1},     {"crc32", CRC32},
    {"adler32", ADLER32}, {"sha256", SHA256}, {"sha384", SHA384}, {"sha512", SHA512},
    {"hash", HASH},
};

bool same_name_q(const char* a, size_t length, const char* b) {
    for (size_t i = 0; i < length; i++) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (b[i] == '\0' || c != b[i]) return false;
    }
    return b[length] == '\0';
}

// Slicing-by-8 tables of the reflected ISO-HDLC polynomial; row 0 is the
// classic byte-at-a-time table.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
const CrcTables& crc_tables() {
    static const CrcTables tables = [] {
        CrcTables t{};
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; i++)
            for (int k = 1; k < 8; k++) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
        return t;
    }();
    return tables;
}

const EVP_MD* md_of(Method m) {
    switch (m) {
        case MD5: return EVP_md5();
        case SHA1: return EVP_sha1();
        case SHA256: return EVP_sha256();
        case SHA384: return EVP_sha384();
        case SHA512: return EVP_sha512();
        default: return nullptr;
    }
}

// digest(first || second) in one context: no joined copy of the data.
bool digest_two(const EVP_MD* md, const uint8_t* first, size_t first_length,
                const uint8_t* second, size_t second_length, uint8_t* out) {
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    if (!ctx) return false;
    unsigned int size = 0;
    bool ok = EVP_DigestInit_ex(ctx, md, nullptr) == 1 &&
              EVP_DigestUpdate(ctx, first, first_length) == 1 &&
              (second_length == 0 || EVP_DigestUpdate(ctx, second, second_length) == 1) &&
              EVP_DigestFinal_ex(ctx, out, &size) == 1;
    EVP_MD_CTX_free(ctx);
    return ok;
}

}  // namespace

Method method_of(const char* name, size_t length) {
    for (const MethodName& m : k_methods)
        if (same_name_q(name, length, m.name)) return m.method;
    return NO_METHOD;
}

uint32_t crc32_update(uint32_t crc, const uint8_t* p, size_t length) {
    const CrcTables& t = crc_tables();
    uint32_t c = ~crc;
    while (length >= 8) {
        uint32_t lo = c ^ (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                           uint32_t(p[3]) << 24);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
        p += 8;
        length -= 8;
    }
    while (length--) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return ~c;
}

uint32_t crc32(const uint8_t* data, size_t length) { return crc32_update(0, data, length); }

// A big-endian word sum; an odd last byte counts as the low byte of its word.
uint32_t tcp(const uint8_t* data, size_t length) {
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2) sum += uint32_t(data[i]) << 8 | data[i + 1];
    if (i < length) sum += data[i];
    while (sum >> 16) sum = (sum >> 16) + (sum & 0xFFFF);
    return ~uint32_t(sum) & 0xFFFF;
}

uint32_t adler32(const uint8_t* data, size_t length) {
    constexpr uint32_t MOD = 65521;
    constexpr size_t BLOCK = 5552;  // the most bytes before b can overflow 32 bits
    uint32_t a = 1, b = 0;
    while (length > 0) {
        size_t n = length < BLOCK ? length : BLOCK;
        length -= n;
        while (n--) {
            a += *data++;
            b += a;
        }
        a %= MOD;
        b %= MOD;
    }
    return b << 16 | a;
}

uint32_t digest_size(Method m) {
    switch (m) {
        case MD5: return 16;
        case SHA1: return 20;
        case SHA256: return 32;
        case SHA384: return 48;
        case SHA512: return 64;
        default: return 0;
    }
}

bool digest(const uint8_t* data, size_t length, Method m, uint8_t* out) {
    const EVP_MD* md = md_of(m);
    return md && digest_two(md, data, length, nullptr, 0, out);
}

bool hmac(const uint8_t* data, size_t length, const uint8_t* key, size_t key_length, Method m,
          uint8_t* out) {
    const EVP_MD* md = md_of(m);
    if (!md) return false;
    const size_t block = (m == SHA384 || m == SHA512) ? 128 : 64;
    uint8_t key_block[128] = {};
    if (key_length > block) {
        if (!digest_two(md, key, key_length, nullptr, 0, key_block)) return false;
    } else if (key_length > 0) {
        std::memcpy(key_block, key, key_length);
    }
    uint8_t pad[128];
    uint8_t inner[MAX_DIGEST];
    for (size_t i = 0; i < block; i++) pad[i] = key_block[i] ^ 0x36;
    if (!digest_two(md, pad, block, data, length, inner)) return false;
    for (size_t i = 0; i < block; i++) pad[i] = key_block[i] ^ 0x5C;
    return digest_two(md, pad, block, inner, digest_size(m), out);
}

bool random_bytes(uint8_t* buffer, size_t length) {
    size_t got = 0;
    while (got < length) {
        ssize_t n = getrandom(buffer + got, length - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        got += size_t(n);
    }
    return true;
}

}  // namespace zun::checksum
