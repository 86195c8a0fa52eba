// The runtime's low-level printers to standard output, and the hooks through
// which a console receives everything they print.
//
// Output is UTF-8 with "\n" line ends, written through stdio's stdout (so it
// keeps its order with other stdout writers) and flushed at the end of each
// call. Escape sequences pass through unchanged: the terminal interprets them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.hpp"

namespace zun::console_out {

// Called with the formed string! and the new-line flag (1 for print).
using ValueHook = void (*)(const Cell* value, int newline);
// Called with the bytes just written (UTF-8, or the 8-bit text of
// write_cstring), their count and a flag word (0).
using TextHook = void (*)(const void* text, int length, int flags);

void init();
// The hook lists, room for 5 each; made first in the runtime start-up.
void init_hooks();

// Either hook may be null. Lists grow by 5 when full.
void add_hooks(ValueHook value_hook, TextHook text_hook);
// Removes the first equal entry of each list; an unknown hook changes nothing.
void remove_hooks(ValueHook value_hook, TextHook text_hook);

void call_print_hooks(const Cell* value, int newline);
void call_output_hooks(const void* text, int length, int flags);

int value_hook_count();
int value_hook_capacity();
int text_hook_count();
int text_hook_capacity();

// Writes length bytes of text made of units of 1 (Latin-1), 2 (UCS-2; a
// surrogate pair is joined) or 4 bytes (code points) as UTF-8; a unit that is
// no character (a lone surrogate, above U+10FFFF) becomes U+FFFD. newline adds
// "\n". The text hooks are left to the caller.
void write_units(const void* text, size_t length, int unit, bool newline);
// The bytes as they are, then the text hooks get them.
void write_cstring(const char* text);

// Flushes standard output. Output that could not be written (a full disk, a
// closed device) is a failure of the program whatever status it meant to end
// with: reported on standard error, the process ends with status 1. Answers
// when all went out.
void check_standard_output();
// Ends the process at once with the status, standard output checked first.
[[noreturn]] void exit_checked(int status);

// Each formats the number, writes it and passes it to the text hooks.
void print_int(int32_t value);         // "%i"
void print_hex2(uint32_t value);       // "%02X"
void print_hex8(uint32_t value);       // "%08X"
void print_float64(double value);      // "%.16g"
void print_float32(float value);       // "%.7g"

}  // namespace zun::console_out
