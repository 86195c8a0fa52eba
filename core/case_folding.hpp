// Case folding: one code point to one code point, through the simple upper- and
// lower-case mappings of the Unicode Character Database (no special casing, so
// no ß to SS and no context rules). Every case-insensitive operation of the
// runtime goes through change_case.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::unicode {

// Fills the direct tables for code points below 0x10000. Start-up calls it
// once; before that, change_case leaves those code points unchanged.
void init_case_tables();

// The mapped code point, or the code point itself when it has no mapping.
uint32_t change_case(uint32_t code_point, bool to_upper);

// Changes a char! or the text of a string-type value in place, from its head
// over the part: null for the rest of the text, a count, or a position in the
// same series (another series raises script invalid-refine-arg). A string may
// widen; its owner is then told with the word uppercase or lowercase. The value
// must not lie inside a series buffer.
void change_case_value(Cell* value, const Cell* part, bool to_upper);

// Sizes of the source tables (pairs), for checks and statistics.
struct CaseTableCounts {
    uint32_t upper_bmp, lower_bmp, upper_astral, lower_astral;
};
CaseTableCounts case_table_counts();

}  // namespace zun::unicode
