// The native table: the C++ entry points of the natives, by index (1-based,
// up to 120). A native! value keeps its index, so two natives are equal when
// they reach the same entry.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives {

constexpr uint32_t TABLE_SIZE = 120;
constexpr uint32_t NATIVE_COUNT = 107;
constexpr int32_t PRINT_BUFFER_CELLS = 32;

// A native's entry point. Its normal arguments lie on the value stack from the
// arguments base, in spec order; the arguments of each used refinement follow
// in the order the refinements were given. The result goes into slot 0.
//   check: non-zero asks the native to check its argument types against its
//     spec itself (the evaluator passes 0, having checked them).
//   refinements: one slot per refinement of the native's spec, in spec order:
//     -1 when the refinement is not used, else the index, counted from the
//     arguments base, of its first argument cell (for a refinement without
//     arguments, the argument count at that point). The caller keeps the array
//     in its own C++ frame, so a call allocates nothing; nullptr when the spec
//     has no refinement.
// A native that runs user code passes on any status other than Flow::normal.
using Entry = Flow (*)(int check, const int32_t* refinements);

// Entry i lies at g_table[i - 1]; unfilled entries are nullptr.
extern Entry g_table[TABLE_SIZE];
extern uint32_t g_next_index;  // the next free index, from 1

// Stores count entry points from the next free index on and advances it.
void register_(uint32_t count, const Entry* entries);

// Registers the 107 natives in index order and makes print's reduce buffer.
// Needs the root block (symbols::init).
void init_table();

// The block print reduces into; it lives in the root block for the whole run.
Cell* print_buffer();

}  // namespace zun::natives
