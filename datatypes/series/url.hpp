// url!: resource locators, stored decoded and escaped again when molded; and
// the percent-encoding that enhex, dehex and file! quoting share. file!
// inherits make, to and path access from here.
#pragma once
#include <cstdint>
#include <string>

#include "core/cell.hpp"

namespace zun::url {

// Percent-encoding modes: the component set keeps only unreserved bytes; any
// other mode keeps the wide set (the characters a URL or a plain file name
// may hold as they are).
constexpr int COMPONENT_MODE = 254;
constexpr int WIDE_MODE = 255;

// Whether the byte is written unchanged in the mode (never for 128 and above).
bool keeps_byte_q(int mode, uint32_t byte);
// The byte itself (count 1) or "%" and two upper-case hex digits (count 3),
// in a static text good until the next call.
const char* escape_byte(int mode, const uint8_t* byte, int* count);
// True when the text starts with "%" and two hex digits; *byte gets their value.
bool decode_hex_pair(const uint8_t* text, const uint8_t* end, uint8_t* byte);

// The UTF-8 form of the string from its head (at most limit characters when
// limit >= 0), in a scratch text good until the next call.
const std::string& utf8_of(Cell* str, int32_t limit = -1);

// Appends the percent-encoded UTF-8 form of the string (from its head) to the
// target string. Neither cell may lie inside a series buffer.
void encode_escapes(Cell* str, Cell* target, int mode);
// Appends the decoded text to the target. A run of escapes that forms one
// well-formed UTF-8 sequence becomes its character, an escape of a byte below
// C0 becomes that code point, anything else stays as text.
void decode_escapes(Cell* str, Cell* target);

Cell* push_copy(const Cell* url);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);

// A port made from the parts decode-url finds in the url (script invalid-arg
// when it finds none); with open_flag the port's open action runs too.
Cell* port_from_url(Cell* url, bool open_flag, bool new_, bool read, bool write, bool seek,
                    Cell* allow);

void register_type();

}  // namespace zun::url
