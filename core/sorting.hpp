// In-place sorts of fixed-width records with a comparator callback: a stable
// merge sort (powersort merge policy) and an unstable quick sort that does not
// allocate.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::sorting {

// > 0 when a must come after b, 0 when equal, < 0 when a comes first. The user
// words reach the comparator unchanged. A comparator may throw: the records are
// then left as a permutation of the input, in whatever order the sort reached.
// The sorts hold the base address across comparator calls, so records inside a
// series must be sorted in a no-compaction scope.
using Comparator = int (*)(const void* a, const void* b, uintptr_t user1, uintptr_t user2);

// Stable. Uses a temporary buffer of count / 2 records from runtime::allocate;
// script too-long when that does not fit in 31 bits.
void merge_sort(void* base, int32_t count, int32_t width, uintptr_t user1, uintptr_t user2,
                Comparator compare);

// Not stable; never allocates.
void quick_sort(void* base, int32_t count, int32_t width, uintptr_t user1, uintptr_t user2,
                Comparator compare);

// Swaps two records by 32-bit words, or byte by byte when bytewise is set.
void swap_records(void* a, void* b, size_t width, bool bytewise);

}  // namespace zun::sorting
