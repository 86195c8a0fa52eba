// libcurl, opened on the first HTTP request (see platform/lazy_library.hpp):
// the functions services/http.cpp calls, forwarded with their own signatures.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

#include <cstdarg>

#include "platform/lazy_library.hpp"

// va_start after an enum parameter: the signature is libcurl's own, and the
// enum is passed as the int it promotes to.
#ifdef __clang__
#pragma clang diagnostic ignored "-Wvarargs"
#endif

namespace {
zun::lazy::Library g_curl(ZUN_SONAME_CURL);
}

extern "C" {

ZUN_LAZY_EXPORT CURLcode curl_global_init(long flags) {
    return ZUN_LAZY_CALL(g_curl, curl_global_init)(flags);
}
ZUN_LAZY_EXPORT CURL* curl_easy_init() { return ZUN_LAZY_CALL(g_curl, curl_easy_init)(); }
ZUN_LAZY_EXPORT void curl_easy_cleanup(CURL* handle) {
    ZUN_LAZY_CALL(g_curl, curl_easy_cleanup)(handle);
}
ZUN_LAZY_EXPORT void curl_easy_reset(CURL* handle) { ZUN_LAZY_CALL(g_curl, curl_easy_reset)(handle); }
ZUN_LAZY_EXPORT CURLcode curl_easy_perform(CURL* handle) {
    return ZUN_LAZY_CALL(g_curl, curl_easy_perform)(handle);
}
ZUN_LAZY_EXPORT const char* curl_easy_strerror(CURLcode code) {
    return ZUN_LAZY_CALL(g_curl, curl_easy_strerror)(code);
}
ZUN_LAZY_EXPORT curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return ZUN_LAZY_CALL(g_curl, curl_slist_append)(list, text);
}
ZUN_LAZY_EXPORT void curl_slist_free_all(curl_slist* list) {
    ZUN_LAZY_CALL(g_curl, curl_slist_free_all)(list);
}

// The one argument after the option is read as the type the option's number
// range gives it, and passed on as that type.
ZUN_LAZY_EXPORT CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    auto setopt = ZUN_LAZY_CALL(g_curl, curl_easy_setopt);
    va_list args;
    va_start(args, option);
    CURLcode code;
    if (option < CURLOPTTYPE_OBJECTPOINT) {
        code = setopt(handle, option, va_arg(args, long));
    } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
        code = setopt(handle, option, va_arg(args, void*));
    } else if (option < CURLOPTTYPE_OFF_T) {
        code = setopt(handle, option, va_arg(args, void (*)()));
    } else if (option < CURLOPTTYPE_BLOB) {
        code = setopt(handle, option, va_arg(args, curl_off_t));
    } else {
        code = setopt(handle, option, va_arg(args, void*));
    }
    va_end(args);
    return code;
}

// Every information item is answered through one pointer.
ZUN_LAZY_EXPORT CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    auto getinfo = ZUN_LAZY_CALL(g_curl, curl_easy_getinfo);
    va_list args;
    va_start(args, info);
    void* to = va_arg(args, void*);
    va_end(args);
    return getinfo(handle, info, to);
}

}  // extern "C"
