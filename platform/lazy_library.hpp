// Shared libraries opened on first use instead of at program start: each one
// linked normally costs the dynamic loader its symbol lookups and those of
// its whole dependency tree on every start, used or not (libcurl alone pulls
// in some twenty-five libraries).
//
// To load a library lazily:
//  1. link only its include directories, not the library
//     (zun_lazy_library in CMake gives the soname as a definition);
//  2. in one source file, define every function the code calls as a
//     forwarder with the library's own signature:
//         extern "C" ZUN_LAZY_EXPORT CURL* curl_easy_init() {
//             return ZUN_LAZY_CALL(g_curl, curl_easy_init)();
//         }
//     The callers stay as they are. A forwarder resolves its function once;
//     a library or function that cannot be loaded raises access cannot-open
//     with the soname, so the user sees an error, never a crash.
#pragma once
#include <atomic>
#include <mutex>

namespace zun::lazy {

class Library {
public:
    explicit constexpr Library(const char* soname) : m_soname(soname) {}
    // The function's address; raises access cannot-open when the library or
    // the function is missing.
    void* symbol(const char* name);
    const char* soname() const { return m_soname; }
    // Whether the library has been opened (for tests).
    bool opened() const { return m_handle.load(std::memory_order_acquire) != nullptr; }

private:
    const char* m_soname;
    std::atomic<void*> m_handle{nullptr};
    std::mutex m_mutex;
};

}  // namespace zun::lazy

// Forwarders stay inside the program: never exported, so the library's own
// calls to its functions never land on them.
#define ZUN_LAZY_EXPORT __attribute__((visibility("hidden")))

// The function of the library, typed as its declaration, resolved once.
#define ZUN_LAZY_CALL(library, name)                                                  \
    ([]() {                                                                           \
        static std::atomic<decltype(&::name)> f{nullptr};                             \
        decltype(&::name) g = f.load(std::memory_order_acquire);                      \
        if (!g) {                                                                     \
            g = reinterpret_cast<decltype(&::name)>((library).symbol(#name));         \
            f.store(g, std::memory_order_release);                                    \
        }                                                                             \
        return g;                                                                     \
    }())
