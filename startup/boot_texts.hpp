// The texts start-up reads (the spec blocks of the natives, actions and
// routines, the library modules, start-up's own lines of code) come as values
// from the boot stream the build made, decoded at the point start-up asks for
// each one, so symbols and global words are made in the order lexing made
// them. A text the stream does not hold (a program built without one, a tool
// recording the texts) is lexed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/function.hpp"

namespace zun::boot_texts {

// The stream the program embeds; set before the runtime starts.
void set_stream(const uint8_t* data, size_t size);
// Opens the stream (its header and symbol table); start-up calls it after the
// lexer tables. A corrupt stream ends the process with status 98.
void open();

// The cell (outside any series buffer) becomes the block of the text's values.
void load(Cell* into, const uint8_t* text, size_t size);
inline void load(Cell* into, const char* text, size_t size) {
    load(into, reinterpret_cast<const uint8_t*>(text), size);
}

// A routine! made from the text of its spec (without the brackets).
Cell make_routine(const char* spec_text, routine::Entry entry, int32_t return_type = routine::NO_RETURN_TYPE);

// The key a text is found by: its length and a hash of its ends.
uint64_t key_of(const uint8_t* text, size_t size);

// The boot tool's hook: told of every text lexed, with its block.
using Recorder = void (*)(uint64_t key, const uint8_t* text, size_t size, const Cell* block);
void set_recorder(Recorder recorder);

// Texts lexed since start (none when the stream held them all).
uint32_t lexed_count();

}  // namespace zun::boot_texts
