// The runtime's own heap (memory the collector neither moves nor sees) and its
// fatal-error report.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::runtime {

// Blocks carry a 16-byte prefix with their size, so the totals stay known.
void* allocate(size_t size);
void* resize(void* block, size_t size);
void free(void* block);

size_t heap_block_count();
size_t heap_bytes();  // payload bytes of live heap blocks

// "*** Runtime Error N: message" to standard error, then exit with N.
[[noreturn]] void fatal(int number, uintptr_t code_address = 0);
const char* error_message(int number);

// The reports above and the uncaught-error report also show in a window
// while a display is open: the GUI sets the hook when it opens one.
constexpr const char* k_error_caption = "Zun NoName App";
using ErrorBoxHook = void (*)(const char* caption, const char* text);
void set_error_box_hook(ErrorBoxHook hook);
// Calls the hook once per process (a fault inside the box shows no second).
void show_error_box(const char* caption, const char* text);

}  // namespace zun::runtime
