#include "core/case_folding.hpp"

#include <iterator>
#include <cstddef>

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

CaseTableCounts case_table_counts() {
    return {uint32_t(std::size(k_upper_bmp) / 2), uint32_t(std::size(k_lower_bmp) / 2),
            uint32_t(std::size(k_upper_astral) / 2), uint32_t(std::size(k_lower_astral) / 2)};
}

}  // namespace zun::unicode
