// time!: a duration or time of day, held as a double of seconds in words 2-3
// (where float! keeps it); word 1 unused. Most arithmetic is float!'s.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::time_ {

void register_type();

// Keeps the header flags.
Cell* init_cell(Cell* cell, double seconds);
Cell* push(double seconds);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, double seconds);

// Whole hours, truncated toward zero; script type-limit outside 32 bits.
int32_t hours(double seconds);
// Minutes 0-59 of the absolute value.
int32_t minutes(double seconds);

// 1 hour, 2 minute, 3 second; -1 for another word, but a word that is no
// field of a time! value raises script cannot-use.
int field_index(const Cell* word, const Cell* value);
// Pushes field n (1-3).
Cell* get_field(double seconds, int n);

// h:mm:ss text of the seconds appended to the buffer; answers part less what
// was written.
int form_text(double seconds, Cell* buffer, int part);
// The same text into out, which holds 400 bytes (the hours of the largest
// times run to 305 digits); answers its length.
int format(double seconds, char* out);

// A value changed in place by a set-path step goes back where it came from: a
// head word's variable, or the container that held it (whose own path step
// tells its owner about the change).
void store_back(const Cell* value, Cell* path, Cell* container, Cell* previous, int index,
                bool case_, bool notify);

Cell* make(Cell* proto, Cell* spec, int type);  // also to

}  // namespace zun::time_
