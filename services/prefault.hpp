#pragma once
// Fresh pages fault in one at a time as a large buffer is first written,
// which on some kernels costs more than the writing: the kernel can fill
// them in one go beforehand. Only worth it for buffers of megabytes.
#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace zun::services {

constexpr size_t PREFAULT_FROM = size_t(1) << 22;

inline void prefault(uint8_t* at, size_t n) {
#ifdef MADV_POPULATE_WRITE
    if (n < PREFAULT_FROM) return;
    constexpr uintptr_t PAGE = 4096;
    const uintptr_t from = (reinterpret_cast<uintptr_t>(at) + PAGE - 1) & ~(PAGE - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(at) + n) & ~(PAGE - 1);
    if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)at;
    (void)n;
#endif
}

}  // namespace zun::services
