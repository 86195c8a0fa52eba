// JSON text in C++: the escape decoder of the JSON strings, and a decoder and
// an encoder for the common case that the library's JSON functions try first.
// Both answer false, leaving the stack as it was, for anything they do not
// take exactly as the library's own grammar and writer would (bad text, deep
// nesting, cycles, unusual types): the library then does the work itself and
// reports what went wrong.
#pragma once
#include "core/cell.hpp"

namespace zun::json_text {

// Decodes the escapes of the string from its head in place (its unit widened
// as needed, its tail moved back); false for a bad escape or surrogate.
bool unescape(Cell* str);

// Pushes the value of the whole text.
bool decode(const Cell* text);

// Pushes the text of the value; indent is a string! for indented output, or none.
bool encode(const Cell* value, const Cell* indent, bool ascii);

}  // namespace zun::json_text
