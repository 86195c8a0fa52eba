// Checksums and digests: CRC-32, Adler-32, the 16-bit Internet checksum, and
// MD5 / SHA-1 / SHA-256 / SHA-384 / SHA-512 with their HMAC forms. The digests
// come from libcrypto; HMAC is built here over them.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::checksum {

// Algorithm numbers of the methods that have one.
enum Method : int {
    TCP = 0,
    CRC32 = 1,
    MD5 = 2,
    SHA1 = 3,
    SHA256 = 4,
    SHA384 = 5,
    SHA512 = 6,
    ADLER32 = 7,  // no number of its own in the method table; kept past the digests
    HASH = 8,
    NO_METHOD = -1,
};

constexpr size_t MAX_DIGEST = 64;

// The method a word names (case-insensitive), or NO_METHOD.
Method method_of(const char* name, size_t length);
inline bool digest_method_q(Method m) { return m >= MD5 && m <= SHA512; }

uint32_t crc32(const uint8_t* data, size_t length);
// Continues a CRC-32: crc32_update(crc32(a), b) == crc32(a + b).
uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length);
uint32_t tcp(const uint8_t* data, size_t length);
uint32_t adler32(const uint8_t* data, size_t length);

// 16, 20, 32, 48 or 64 for the digest methods; 0 for the others.
uint32_t digest_size(Method m);
// Writes digest_size(m) bytes to out (room for MAX_DIGEST). False when the
// method is no digest or libcrypto fails.
bool digest(const uint8_t* data, size_t length, Method m, uint8_t* out);
// HMAC (RFC 2104) over the digest: 128-byte blocks for SHA-384 and SHA-512,
// 64 otherwise; a longer key is replaced by its digest.
bool hmac(const uint8_t* data, size_t length, const uint8_t* key, size_t key_length, Method m,
          uint8_t* out);

// Fills the buffer with secure random bytes; false when the OS cannot.
bool random_bytes(uint8_t* buffer, size_t length);

}  // namespace zun::checksum
