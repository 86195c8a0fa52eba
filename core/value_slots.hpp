// Value slots: OS-side code (window longs, timers, native controls) refers to
// a language value by a small integer. The values live in one block that the
// collector marks; a slot number is a 1-based cell position in it.
//
// Free cells are integer! cells linking to the next free cell (0-based), -1
// ending the list. Every cell of the buffer counts as used.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::value_slots {

constexpr uint32_t INITIAL_CAPACITY = 100;

// Makes the block (after the boot data) and threads every cell.
void init();
// The slot number of a copy of the value; the block doubles when full.
int32_t add(const Cell* value);
// The slot's cell (good until the next allocation); nullptr outside the block.
Cell* get(int32_t slot);
// Slot 0 and slots outside the block are ignored.
void free_(int32_t slot);
// Cells from index from to the capacity become free, from first.
void thread(uint32_t from);

uint32_t capacity();
NodeId block();  // 0 when none was made on the current memory manager

// A collector root.
void mark_for_collector();

}  // namespace zun::value_slots
