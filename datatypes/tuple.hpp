// tuple!: 3 to 12 unsigned bytes written with dots (1.2.3, 255.0.0.128):
// versions and colours (R, G, B and an optional alpha). Arithmetic works byte
// by byte and saturates to 0..255.
//
// Cell: the length in header bits 19-22; the bytes in payload words 1-3 in
// memory order (byte 1 the lowest-addressed byte of word 1).
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::tuple {

constexpr uint32_t LENGTH_SHIFT = 19;
constexpr uint32_t LENGTH_MASK = 0xFu << LENGTH_SHIFT;
constexpr int MAX_LENGTH = 12;

void register_type();

inline int length_of(const Cell* cell) { return int((cell->header & LENGTH_MASK) >> LENGTH_SHIFT); }
// The bytes within the length go to out[0..], zeros after them up to 12.
void get_bytes(const Cell* cell, uint8_t out[MAX_LENGTH]);
// Keeps the header flags; length 3 to 12.
Cell* init_cell(Cell* cell, const uint8_t* bytes, int length);

Cell* push(int length, uint32_t word1, uint32_t word2, uint32_t word3);
// A colour: length 3 when alpha is -1, else 4 with alpha as byte 4.
Cell* init_rgba(Cell* cell, uint8_t r, uint8_t g, uint8_t b, int32_t alpha);
// Byte i is the low byte of ints[i]; at least 3 bytes, count at most 12.
Cell* push_from_ints(int count, const int32_t* ints);
bool zero_q(const Cell* cell);
// Arithmetic on the two arguments of the current call (one of them a tuple!),
// MathOp codes; the result replaces argument 0.
Cell* do_math(int op);
// At most 12 bytes from the binary's head, padded with zeros to 3.
Cell* from_binary(const Cell* binary, Cell* cell);
// #RGB, #RRGGBB or #RRGGBBAA; script invalid-data otherwise.
Cell* from_issue(const Cell* issue, Cell* cell);
// Writes byte index (1-based): an integer! is clamped to 0..255; none! cuts
// the tuple before index (never below 3 bytes).
void set_at(Cell* tuple, int32_t index, const Cell* value);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
void random(Cell* value, bool seed, bool secure, bool only);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);
Cell* complement(Cell* value);
int length_q(Cell* value);
Cell* pick(Cell* value, int index, Cell* index_cell);
Cell* reverse(Cell* value, Cell* part, Cell* skip);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();

}  // namespace zun::tuple
