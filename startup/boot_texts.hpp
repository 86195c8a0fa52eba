// The texts start-up reads (the spec blocks of the routines, the library
// modules, start-up's own lines of code) come from the boot stream the build
// made: start-up decodes it once (load_stream) into the root block, and each
// text it asks for later is the boot literal its key names. The stream's set
// records bind the native and action words as it loads. A text the stream
// does not hold (a program built without one, a tool recording the texts) is
// lexed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/function.hpp"

namespace zun::boot_texts {

// The stream the program embeds and the keys of its literals (8 bytes each,
// little-endian, literal by literal); set before the runtime starts.
void set_stream(const uint8_t* data, size_t size, const uint8_t* keys = nullptr, size_t keys_size = 0);
// Start-up's boot-data load, after the lexer tables: decodes the whole stream
// into the root block. A corrupt stream ends the process with status 98.
void load_stream();
// True once load_stream has decoded a stream (the natives and actions are bound).
bool loaded();

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
