#include "core/case_folding.hpp"

#include <algorithm>
#include <cstddef>
#include <iterator>

#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/series/string.hpp"

namespace zun::unicode {

namespace {
#include "case_tables.inc"

constexpr uint32_t BMP_SIZE = 0x10000;

// Direct tables indexed by code point; 0 = no mapping. Every BMP mapping
// stays in the BMP (the generator checks), so 16 bits an entry suffice.
uint16_t g_to_upper[BMP_SIZE];
uint16_t g_to_lower[BMP_SIZE];

// A later pair for the same code point overwrites an earlier one.
template <size_t N> void fill(uint16_t* table, const uint16_t (&pairs)[N]) {
    for (size_t i = 0; i + 1 < N; i += 2) table[pairs[i]] = pairs[i + 1];
}

// The tables above 0xFFFF are sorted by their first member.
template <size_t N> uint32_t look_up_astral(const uint32_t (&pairs)[N], uint32_t code_point) {
    size_t lo = 0, hi = N / 2;
    while (lo < hi) {
        size_t mid = (lo + hi) / 2;
        if (pairs[2 * mid] < code_point) lo = mid + 1;
        else hi = mid;
    }
    if (lo < N / 2 && pairs[2 * lo] == code_point) return pairs[2 * lo + 1];
    return code_point;
}

bool string_type(uint32_t t) {
    return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
           t == TYPE_EMAIL || t == TYPE_REF;
}

[[noreturn]] void bad_part(const Cell* part) {
    Cell word = *refinements::get(refinements::part);
    word.set_type(TYPE_WORD);  // errors name a refinement by a word
    support::fire_error(ErrorId::script_invalid_refine_arg, &word, part);
}

// Units to change from the head: a count, or the distance to a position in the
// same series; never negative, never past the tail.
int32_t part_count(const Cell* str, const Cell* part, int32_t head, int32_t length) {
    int64_t n;
    if (part->is(TYPE_INTEGER) || part->is(TYPE_FLOAT)) n = support::to_int_checked(part);
    else if (part->type() == str->type() && part->data2 == str->data2)
        n = int64_t(int32_t(part->data1)) - head;
    else bad_part(part);
    return int32_t(std::clamp<int64_t>(n, 0, length));
}

// Poking may widen (and move) the buffer: the address is recomputed for each
// unit from the buffer that comes back.
void change_units(const Cell* str, int32_t head, int32_t count, bool to_upper) {
    memory::SeriesBuffer* buffer = string::buffer_of(str);
    for (int32_t i = head; i < head + count; i++) {
        uint32_t unit = buffer->unit();
        uint8_t* at = buffer->head_ptr() + (uint32_t(i) << string::unit_shift(unit));
        uint32_t cp = string::get_char(at, unit);
        uint32_t mapped = change_case(cp, to_upper);
        if (mapped != cp) buffer = string::poke_char(buffer, at, mapped);
    }
}
}  // namespace

void init_case_tables() {
    fill(g_to_upper, k_upper_bmp);
    fill(g_to_lower, k_lower_bmp);
}

uint32_t change_case(uint32_t code_point, bool to_upper) {
    if (code_point < BMP_SIZE) {
        uint32_t mapped = to_upper ? g_to_upper[code_point] : g_to_lower[code_point];
        return mapped ? mapped : code_point;
    }
    return to_upper ? look_up_astral(k_upper_astral, code_point)
                    : look_up_astral(k_lower_astral, code_point);
}

void change_case_value(Cell* value, const Cell* part, bool to_upper) {
    if (value->is(TYPE_CHAR)) {
        value->data2 = change_case(value->data2, to_upper);
        return;
    }
    if (!string_type(value->type())) support::fire_error(ErrorId::script_invalid_arg, value);
    int32_t length = string::length_from_head(value);  // clips the head to the tail
    int32_t head = string::head_index(value);
    int32_t count = part ? part_count(value, part, head, length) : length;
    change_units(value, head, count, to_upper);
    const Cell* word = words::get(to_upper ? words::uppercase : words::lowercase);
    ownership::check_owner(value, word, nullptr, head, count);
}

CaseTableCounts case_table_counts() {
    return {uint32_t(std::size(k_upper_bmp) / 2), uint32_t(std::size(k_lower_bmp) / 2),
            uint32_t(std::size(k_upper_astral) / 2), uint32_t(std::size(k_lower_astral) / 2)};
}

}  // namespace zun::unicode
