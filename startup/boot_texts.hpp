// The texts start-up reads (the spec blocks of the routines, the library
// modules, start-up's own lines of code) come from the boot stream the build
// made: each text it asks for is the boot literal its key names, decoded
// when first asked for (the stream in order, up to that literal), so while
// one library module runs the later ones are not yet live. The stream's set
// records bind the native and action words when it opens. A text the stream
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
// Start-up's boot-data load, after the lexer tables: opens the stream (its
// words and set records) and keeps the block of its literals in the root
// block. A stream that is not ZUNBIN ends the process with status 98; a
// malformed record, whenever it is read, goes to the top-level handler.
void load_stream();
// True once load_stream has opened a stream (the natives and actions are bound).
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
// Literals of the stream decoded since it opened.
uint32_t decoded_count();

}  // namespace zun::boot_texts
