// The memory figures the stats native reports.
#pragma once
#include "core/cell.hpp"

namespace zun::stats {

// Mode 1 writes the bytes in use (float!) into result; modes 2 and 3 append the
// frame listings and the two totals to the block.
void memory(const Cell* block, int mode, Cell* result);

}  // namespace zun::stats
