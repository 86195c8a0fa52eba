#include "core/runtime.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zun::runtime {

namespace {
struct alignas(16) Prefix {
    size_t size;
    size_t pad;
};
size_t g_blocks = 0;
size_t g_bytes = 0;

struct Message {
    int number;
    const char* text;
};
constexpr Message k_messages[] = {
    {1, "access violation"}, {2, "invalid alignment"}, {3, "breakpoint"},
    {4, "single step"}, {5, "bounds exceeded"}, {6, "float denormal operan"},
    {7, "float divide by zero"}, {8, "float inexact result"},
    {9, "float invalid operation"}, {10, "float overflow"}, {11, "float stack check"},
    {12, "float underflow"}, {13, "integer divide by zero"}, {14, "integer overflow"},
    {15, "privileged instruction"}, {16, "invalid virtual address"},
    {17, "illegal instruction"}, {18, "non-continuable exception"},
    {19, "stack error or overflow"}, {20, "invalid disposition"}, {21, "guard page"},
    {22, "invalid handle"}, {23, "illegal operand"}, {24, "illegal addressing mode"},
    {25, "illegal trap"}, {26, "coprocessor error"},
    {27, "non-existent physical address"}, {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"}, {30, "hardware memory error consumed AO"},
    {31, "privileged register"}, {32, "segmentation fault"}, {33, "FPU error"},
    {34, "Bus error"}, {94, "out of memory"}, {95, "no CATCH for THROW"},
    {98, "assertion failed"}, {99, "unknown error"}, {100, "no value matched in CASE"},
    {101, "no value matched in SWITCH"},
};
}  // namespace

void* allocate(size_t size) {
    auto* p = static_cast<Prefix*>(std::malloc(sizeof(Prefix) + size));
    if (!p) fatal(94);
    p->size = size;
    g_blocks++;
    g_bytes += size;
    return p + 1;
}

void* resize(void* block, size_t size) {
    if (!block) return allocate(size);
    Prefix* old = static_cast<Prefix*>(block) - 1;
    size_t old_size = old->size;
    auto* p = static_cast<Prefix*>(std::realloc(old, sizeof(Prefix) + size));
    if (!p) fatal(94);
    p->size = size;
    g_bytes = g_bytes - old_size + size;
    return p + 1;
}

void free(void* block) {
    if (!block) return;
    Prefix* p = static_cast<Prefix*>(block) - 1;
    g_blocks--;
    g_bytes -= p->size;
    std::free(p);
}

size_t heap_block_count() { return g_blocks; }
size_t heap_bytes() { return g_bytes; }

const char* error_message(int number) {
    for (const auto& m : k_messages)
        if (m.number == number) return m.text;
    return "unknown error code!";
}

namespace {
ErrorBoxHook g_error_box = nullptr;
bool g_error_box_shown = false;
}  // namespace

void set_error_box_hook(ErrorBoxHook hook) { g_error_box = hook; }

void show_error_box(const char* caption, const char* text) {
    if (!g_error_box || g_error_box_shown) return;
    g_error_box_shown = true;
    g_error_box(caption, text);
}

void fatal(int number, uintptr_t code_address) {
    if (number != 0) {
        std::fflush(stdout);
        char text[256];
        std::snprintf(text, sizeof text, "*** Runtime Error %d: %s\n*** at: %016llXh", number,
                      error_message(number), static_cast<unsigned long long>(code_address));
        std::fprintf(stderr, "%s\n", text);
        show_error_box(k_error_caption, text);
    }
    std::exit(number);
}

}  // namespace zun::runtime
