// ZUNBIN: values to bytes and back.
//
// A stream is an 8-byte header ("ZUNBIN", a version byte the readers never
// look at, a flags byte: bit 0 compact records, bit 1 LZ-compressed body,
// bit 2 symbol table), then the body in one of two record variants: compact
// (varints, one byte for small integers) or word-aligned (32-bit words).
// Series and contexts met twice are written once and referred to by their
// path of level indexes from the root afterwards, so sharing and cycles
// survive a round trip.
//
// The boot data is a compact stream decoded at start-up in boot mode: set
// records assign the native and action words, and words may name their
// context by the number of a boot literal. Streams of the zunbin codec are
// read in codec mode.
#pragma once
#include <cstdint>
#include <vector>

#include "core/cell.hpp"

namespace zun::zunbin {

constexpr uint8_t FLAG_COMPACT = 1;
constexpr uint8_t FLAG_COMPRESSED = 2;
constexpr uint8_t FLAG_SYMBOLS = 4;
constexpr uint32_t HEADER_SIZE = 8;

// Codec mode (true) or boot mode; both encoders and the codec's decode set it,
// the boot load clears it.
extern bool g_codec_q;

// Pushes a binary! holding the whole compact stream of the value.
Cell* encode_cp(const Cell* value);
// The same in the word-aligned variant.
Cell* encode(const Cell* value);

// Appends every top-level value of the stream to the destination block (a
// block cell outside any series buffer). length < 0: unknown. Without
// raise_errors a stream that is not ZUNBIN ends the process (the boot load);
// answers the literal-table base (an index into the destination).
uint32_t decode(const uint8_t* data, Cell* destination, bool raise_errors, int64_t length);

// Decodes the embedded boot data into the root block with the collector off;
// with keep_base the literal-table base stays what it was.
uint32_t load_boot_data(const uint8_t* stream, int64_t length, bool keep_base);

// The boot stream read a value at a time, so the collector may run between
// values with only what has been read live. boot_open reads the header, makes
// every name of the symbol table a global word and applies the set records
// that lead the records; each boot_next appends the next value to the
// literals block (which the caller keeps reachable; literal numbers count
// from its start) and answers false at the end of the records. A stream that
// is not ZUNBIN ends the process with status 98; a malformed record goes to
// the top-level error handler whenever it is read.
void boot_open(const uint8_t* stream, int64_t length, const Cell& literals);
bool boot_next();

// The boot stream's writer (the build's boot tool): the symbol table's first
// names in the order given (boot-mode decoding makes a global word of every
// name in table order, so the words come out in that order), then set
// records binding a word to the native! or action! of a table index and its
// spec, and plain values, the boot literals; then the whole stream
// (version 1, flags 5).
void boot_writer_begin(const std::vector<uint32_t>& symbols);
void boot_writer_set_function(uint32_t name, uint32_t type, uint32_t index, const Cell* spec);
void boot_writer_literal(const Cell* value);
std::vector<uint8_t> boot_writer_finish();

// The codec's decode: a binary!, or the file or url read as binary!. Answers
// the one value, or the block of them, on the value stack.
Cell* codec_decode(const Cell* payload);

}  // namespace zun::zunbin
