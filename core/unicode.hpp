// Unicode text: UTF-8 and UTF-16LE in and out of string! buffers of 1-, 2- or
// 4-byte units (Latin-1, UCS-2, UCS-4), widening the unit in place when a code
// point does not fit.
//
// Decoders take an end (or a byte count) and never read past it. UTF-8 is
// checked as the Unicode standard defines it: overlong forms, surrogates
// (D800-DFFF) and code points above 10FFFF are malformed.
//
// Every operation that allocates may move every series buffer: a source given
// as a raw address must not lie inside one (load_utf8_from takes a node for
// that), and the string! cells given must not lie inside one either.
#pragma once
#include <array>
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::unicode {

using memory::SeriesBuffer;

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;
constexpr int32_t REJECTED = -1;    // decode_utf8_char: the sequence is malformed
constexpr int32_t INCOMPLETE = -1;  // decode_utf8_strict: the input ends inside it

// The DFA decoder's table: 256 byte classes, then 108 transitions indexed by
// state + class, the states numbered in steps of 12 (0 accepts, 12 rejects).
constexpr uint32_t DFA_ACCEPT = 0;
constexpr uint32_t DFA_REJECT = 12;
extern const std::array<uint8_t, 364> k_utf8_dfa;

// Decodes one sequence at p (p < end). The code point, or REJECTED for a
// malformed or cut sequence, goes to *code_point; answers where the next
// sequence starts. A rejected lead byte is consumed; a rejected later byte is
// not, so it starts the next sequence (one REJECTED per maximal invalid part,
// as the Unicode standard recommends for replacement).
const uint8_t* decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* code_point);

// Decodes one sequence from `available` bytes. Answers the code point and its
// length in *used, or INCOMPLETE (with *used 0) when the bytes there are a
// valid start that the input cuts short. Malformed input raises access
// invalid-utf8 with up to 4 bytes from the sequence's start.
int32_t decode_utf8_strict(const uint8_t* p, uint32_t available, uint32_t* used);

// Whether the bytes are well-formed UTF-8 throughout.
bool is_valid_utf8(const uint8_t* p, const uint8_t* end);
// Each decode_utf8_char step counts one code point.
uint32_t count_utf8_chars(const uint8_t* start, const uint8_t* end);
// The address after n code points, or end when it comes first.
const uint8_t* skip_utf8_chars(const uint8_t* start, const uint8_t* end, uint32_t n);

// 4 for F0-FF, 3 for E0-EF, 2 for C0-DF, 0 for ASCII and continuation bytes.
inline uint32_t utf8_sequence_length(uint8_t lead) {
    return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
}

// Sizes and encoding; a code point above 10FFFF raises script invalid-char.
uint32_t utf8_length_of(uint32_t code_point);
uint64_t utf8_size_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit);
uint32_t encode_utf8_char(uint32_t code_point, uint8_t* out);
// Writes the bytes of the sequence whose position is below the room; answers
// how many it wrote.
uint32_t encode_utf8_char_bounded(uint32_t code_point, uint8_t* out, int32_t room);

// Exports from the string's head into the cell's conversion buffer (word 3),
// NUL-terminated; good until the next export from the same cell or the next
// allocation. *limit_count: in, the characters to take (negative = all);
// out, the bytes written without the NUL. limit_count may be null (all).
char* to_utf8(Cell* str, int32_t* limit_count);
char* to_utf8_part(Cell* str, int32_t* limit_count, bool crlf);  // crlf: LF as CR LF
// Into the caller's buffer, which must have room; limit negative = all.
uint32_t write_utf8(Cell* str, uint8_t* out, int32_t limit, bool terminate);
// Never writes more than room bytes (a last sequence may be cut; the NUL only
// when room is left). A limit of 0 or less, or not below the length, is all.
uint32_t write_utf8_bounded(Cell* str, uint8_t* out, int32_t room, int32_t limit,
                            bool terminate);

// Decodes count bytes of UTF-8, after a leading byte-order mark, to the tail of
// the target string's buffer (node 0: a new series), widening it as needed; the
// node is answered. With crlf, CR LF becomes LF and a lone CR becomes LF.
// An incomplete last sequence is left unread and its byte count goes to
// *unread; without that word it raises access invalid-utf8 as malformed input
// does. Input is checked whole before the target changes.
NodeId load_utf8(const uint8_t* source, uint32_t count, NodeId target, uint32_t* unread,
                 bool crlf);
// The same for bytes inside a series buffer: offset counts from its first used
// byte, and the bytes are re-read after the target grows.
NodeId load_utf8_from(NodeId source, uint32_t offset, uint32_t count, NodeId target,
                      uint32_t* unread, bool crlf);
NodeId load_utf8_into(const uint8_t* source, uint32_t count, const Cell* target,
                      uint32_t* unread, bool crlf);
NodeId load_utf8_string(const uint8_t* source, uint32_t count);  // a new series

// Decodes count UTF-16LE units into the target's buffer from its first used
// byte (replacing what it held), or into a new series when target is null. A
// null source means units already in the target's buffer at that place. The
// unit size is 4 when any unit is a surrogate, else 2 when any is above FF,
// else 1. With crlf every CR unit is dropped. An unpaired surrogate raises
// script invalid-data with its two bytes.
NodeId decode_utf16le(const void* source, uint32_t count, Cell* target, bool crlf);
// Each byte of the NUL-terminated text as a UTF-16 unit, then a NUL unit.
void latin1_to_utf16(const char* text, uint16_t* out);
// NUL-terminated UTF-16LE in the conversion buffer, as to_utf8; *limit_count
// gets the units written. Null when a code point exceeds 10FFFF.
uint16_t* to_utf16(Cell* str, int32_t* limit_count, bool crlf);
uint16_t* to_utf16_crlf(Cell* str);
// At least `bytes` bytes of the cell's conversion buffer.
uint8_t* scratch_buffer(Cell* str, uint32_t bytes);

// In-place widening of every used unit (string::widen_to); callers re-read
// head and tail from the answered buffer.
SeriesBuffer* widen_1_to_2(SeriesBuffer* buffer);
SeriesBuffer* widen_1_to_4(SeriesBuffer* buffer);
SeriesBuffer* widen_2_to_4(SeriesBuffer* buffer);

}  // namespace zun::unicode
