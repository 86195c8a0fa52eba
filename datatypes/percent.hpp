// percent!: a double written and read as a percentage (the value 0.5 is 50%).
// Everything but the text comes from float!, which treats percent! specially
// where it differs (result types of arithmetic, the default rounding scale,
// make from text).
//
// Cell: words 2-3 the double (the fraction, not the number of percent).
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::percent {

void register_type();

// Keeps the header flags.
inline Cell* init_cell(Cell* cell, double value) {
    cell->set_type(TYPE_PERCENT);
    cell->data1 = 0;
    cell->set_double(value);
    return cell;
}
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, uint32_t low, uint32_t high);

// The value x 100 in "%.13g" with "%" after it; form and mold are the same.
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);

}  // namespace zun::percent
