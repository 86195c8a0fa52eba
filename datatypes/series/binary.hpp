// binary!: byte series (unit 1), molded as hexadecimal between "#{" and "}".
// It inherits most series actions from string! and series! and keeps its own
// conversion to bytes, hex molding, byte-wise comparison, byte insertion,
// zero trimming and the bitwise actions.
//
// The base-2/16/58/64 encoders and decoders here work on plain memory and
// never allocate or raise, so any module (checksum, codecs, enbase/debase,
// dehex/enhex) can call them on bytes it holds.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::binary {

// ---------------------------------------------------------------- encodings

// Characters the encoder of `base` (2, 16, 58 or 64) writes at most for n
// bytes; 0 for any other base. May exceed 32 bits: callers check.
uint64_t encoded_room(int base, uint64_t n);
// Bytes a decoder of `base` may write at most for n characters.
uint64_t decoded_room(int base, uint64_t n);

// Each encoder writes ASCII at `out` (no line breaks) and answers the end.
// Base 2: eight "0"/"1" a byte, most significant first. Base 16: two
// upper-case digits a byte. Base 64: RFC 4648 standard alphabet with "="
// padding. Base 58: the bitcoin alphabet, a "1" for each leading 0 byte.
char* encode_base2(char* out, const uint8_t* bytes, uint32_t n);
char* encode_base16(char* out, const uint8_t* bytes, uint32_t n);
char* encode_base64(char* out, const uint8_t* bytes, uint32_t n);
char* encode_base58(char* out, const uint8_t* bytes, uint32_t n);
// The digit of a nibble, upper case.
inline char hex_digit(uint32_t nibble) { return "0123456789ABCDEF"[nibble & 15]; }
// The value of a hexadecimal digit (either case), -1 for anything else.
inline int hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    return -1;
}

// Decoders read n code points of `unit` bytes (1, 2 or 4, little-endian) and
// write at most decoded_room(base, n) bytes at `out`. They answer the byte
// count, or -1 when the text is not valid. White space is skipped and ";"
// starts a comment that runs to the end of the line.
// Base 2: a trailing partial byte fails. Base 16: an odd last digit is
// dropped. Base 64: "=" ends the data (after two or three characters of a
// group); an unpadded last group of two or three characters still gives its
// one or two bytes; a lone last character fails. Base 58: a code point above
// 127 ends the input.
int64_t decode_base2(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out);
int64_t decode_base16(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out);
int64_t decode_base64(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out);
int64_t decode_base58(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out);
inline int64_t decode_base(int base, const uint8_t* text, uint32_t n, uint32_t unit,
                           uint8_t* out) {
    switch (base) {
        case 2: return decode_base2(text, n, unit, out);
        case 16: return decode_base16(text, n, unit, out);
        case 58: return decode_base58(text, n, unit, out);
        case 64: return decode_base64(text, n, unit, out);
        default: return -1;
    }
}
inline char* encode_base(int base, char* out, const uint8_t* bytes, uint32_t n) {
    switch (base) {
        case 2: return encode_base2(out, bytes, n);
        case 16: return encode_base16(out, bytes, n);
        case 58: return encode_base58(out, bytes, n);
        case 64: return encode_base64(out, bytes, n);
        default: return out;
    }
}

// ---------------------------------------------------------------- values

// Bytes from head to tail (a head past the tail is clipped and stored).
int32_t length_from_head(Cell* bin);
// Address of the head byte; good until the next allocation.
uint8_t* head_pointer(Cell* bin);
// The cell becomes an empty binary! with room for n bytes (16 when 0). The
// cell must not lie inside a series buffer.
Cell* make_at(Cell* cell, uint32_t n);
// A new binary! holding a copy of n bytes, pushed on the value stack. The
// bytes must not lie inside a series buffer.
Cell* push_bytes(const uint8_t* bytes, uint32_t n);
// Appends n bytes at the tail (the bytes must not lie inside a series buffer).
void append_bytes(Cell* bin, const uint8_t* bytes, uint32_t n);
// Inserts n bytes at head + offset, the bytes after moving up (the bytes
// must not lie inside a series buffer).
void insert_bytes(Cell* bin, int32_t offset, const uint8_t* bytes, uint32_t n);
// Appends the value as 4 bytes, most significant first.
void append_int32_be(Cell* bin, int32_t value);
// A new binary! holding a copy of n bytes, appended to the block; the cell
// answered is good until the next allocation.
Cell* load_bytes_in(const uint8_t* bytes, uint32_t n, const Cell* block);

// -1, 0 or 1 comparing bytes from both heads; -2 when b is not a binary! or
// a string type. With `match`, 0 when a begins with b.
int compare_bytes(Cell* a, Cell* b, int op, bool match);
// Parse helpers: whether the binary at its head begins with the value (a
// string type or binary! as bytes, a char! as its code point), and whether
// its head byte is a member of the bitset.
bool match_q(Cell* bin, Cell* value, int op);
bool byte_in_bitset_q(Cell* bin, const Cell* bitset);

// ---------------------------------------------------------------- actions

Cell* to(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
void and_();
void or_();
void xor_();
Cell* complement(Cell* value);
// part -1: the whole value; a block without `only` counts its elements.
Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

void register_type();

}  // namespace zun::binary
