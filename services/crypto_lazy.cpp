// libcrypto, opened on the first MD5 or SHA digest (see
// platform/lazy_library.hpp): the functions services/checksum.cpp calls.
#include <openssl/evp.h>

#include "platform/lazy_library.hpp"

namespace {
zun::lazy::Library g_crypto(ZUN_SONAME_CRYPTO);
}

extern "C" {

ZUN_LAZY_EXPORT const EVP_MD* EVP_md5() { return ZUN_LAZY_CALL(g_crypto, EVP_md5)(); }
ZUN_LAZY_EXPORT const EVP_MD* EVP_sha1() { return ZUN_LAZY_CALL(g_crypto, EVP_sha1)(); }
ZUN_LAZY_EXPORT const EVP_MD* EVP_sha256() { return ZUN_LAZY_CALL(g_crypto, EVP_sha256)(); }
ZUN_LAZY_EXPORT const EVP_MD* EVP_sha384() { return ZUN_LAZY_CALL(g_crypto, EVP_sha384)(); }
ZUN_LAZY_EXPORT const EVP_MD* EVP_sha512() { return ZUN_LAZY_CALL(g_crypto, EVP_sha512)(); }
ZUN_LAZY_EXPORT EVP_MD_CTX* EVP_MD_CTX_new() { return ZUN_LAZY_CALL(g_crypto, EVP_MD_CTX_new)(); }
ZUN_LAZY_EXPORT void EVP_MD_CTX_free(EVP_MD_CTX* ctx) { ZUN_LAZY_CALL(g_crypto, EVP_MD_CTX_free)(ctx); }
ZUN_LAZY_EXPORT int EVP_DigestInit_ex(EVP_MD_CTX* ctx, const EVP_MD* type, ENGINE* engine) {
    return ZUN_LAZY_CALL(g_crypto, EVP_DigestInit_ex)(ctx, type, engine);
}
ZUN_LAZY_EXPORT int EVP_DigestUpdate(EVP_MD_CTX* ctx, const void* data, size_t count) {
    return ZUN_LAZY_CALL(g_crypto, EVP_DigestUpdate)(ctx, data, count);
}
ZUN_LAZY_EXPORT int EVP_DigestFinal_ex(EVP_MD_CTX* ctx, unsigned char* md, unsigned int* size) {
    return ZUN_LAZY_CALL(g_crypto, EVP_DigestFinal_ex)(ctx, md, size);
}

}  // extern "C"
