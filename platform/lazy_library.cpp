#include "platform/lazy_library.hpp"

#include <dlfcn.h>

#include <cstring>

#include "core/support.hpp"
#include "datatypes/series/string.hpp"

namespace zun::lazy {

namespace {

[[noreturn]] void cannot_open(const char* what) {
    Cell* text = string::load_c_text(what, uint32_t(std::strlen(what)), 0);
    const Cell arg = *text;
    support::fire_error(ErrorId::access_cannot_open, &arg);
}

}  // namespace

void* Library::symbol(const char* name) {
    void* handle = m_handle.load(std::memory_order_acquire);
    if (!handle) {
        std::lock_guard<std::mutex> lock(m_mutex);
        handle = m_handle.load(std::memory_order_relaxed);
        if (!handle) {
            // RTLD_LOCAL: the library's symbols serve only our lookups.
            handle = dlopen(m_soname, RTLD_NOW | RTLD_LOCAL);
            if (!handle) cannot_open(m_soname);
            m_handle.store(handle, std::memory_order_release);
        }
    }
    void* f = dlsym(handle, name);
    if (!f) cannot_open(name);
    return f;
}

}  // namespace zun::lazy
