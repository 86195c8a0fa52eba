#include "core/sorting.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "core/runtime.hpp"
#include "core/support.hpp"

namespace zun::sorting {

void swap_records(void* a, void* b, size_t width, bool bytewise) {
    auto* p = static_cast<uint8_t*>(a);
    auto* q = static_cast<uint8_t*>(b);
    if (bytewise) {
        for (size_t i = 0; i < width; i++) std::swap(p[i], q[i]);
        return;
    }
    // Records need not be 4-aligned (a string of 2-byte units grouped by 2).
    for (size_t i = 0; i < width; i += 4) {
        uint32_t x, y;
        std::memcpy(&x, p + i, 4);
        std::memcpy(&y, q + i, 4);
        std::memcpy(p + i, &y, 4);
        std::memcpy(q + i, &x, 4);
    }
}

namespace {

// Also safe when a and b are the same record.
template <size_t W> inline void swap_fixed(uint8_t* a, uint8_t* b) {
    uint8_t x[W], y[W];
    std::memcpy(x, a, W);
    std::memcpy(y, b, W);
    std::memcpy(a, y, W);
    std::memcpy(b, x, W);
}

// The records being sorted, addressed by index. Reordering by whole swaps keeps
// them a permutation between any two comparator calls (the merge keeps it with
// Pending).
struct Records {
    uint8_t* base;
    size_t width;
    bool bytewise;
    uintptr_t user1, user2;
    Comparator cmp;

    uint8_t* at(size_t i) const { return base + i * width; }
    int compare(size_t i, size_t j) const { return cmp(at(i), at(j), user1, user2); }
    void swap(size_t i, size_t j) const {
        if (width == 16) swap_fixed<16>(at(i), at(j));  // cells
        else if (width == 4) swap_fixed<4>(at(i), at(j));
        else swap_records(at(i), at(j), width, bytewise);
    }
    void reverse(size_t lo, size_t hi) const {  // [lo, hi)
        while (hi - lo > 1) swap(lo++, --hi);
    }
    // Moves record j down to position p, shifting [p, j) up by one.
    void rotate_down(size_t p, size_t j) const {
        for (; j > p; j--) swap(j - 1, j);
    }
};

Records records_of(void* base, int32_t width, uintptr_t user1, uintptr_t user2,
                   Comparator compare) {
    return Records{static_cast<uint8_t*>(base), size_t(width), width % 4 != 0, user1, user2,
                   compare};
}

// Insertion by backward swaps of [lo + done, hi) into the sorted [lo, lo + done).
void insertion_sort(const Records& r, size_t lo, size_t hi, size_t done = 1) {
    for (size_t i = lo + done; i < hi; i++)
        for (size_t j = i; j > lo && r.compare(j - 1, j) > 0; j--) r.swap(j - 1, j);
}

// End of the run starting at start; a strictly descending run is reversed (equal
// neighbours end it, so reversing never reorders equal records).
size_t count_run(const Records& r, size_t start, size_t end) {
    if (end - start < 2) return end;
    size_t i = start + 1;
    if (r.compare(start, i) <= 0) {
        while (i + 1 < end && r.compare(i, i + 1) <= 0) i++;
        return i + 1;
    }
    while (i + 1 < end && r.compare(i, i + 1) > 0) i++;
    r.reverse(start, i + 1);
    return i + 1;
}

constexpr size_t MIN_RUN = 24;

size_t next_run(const Records& r, size_t start, size_t n) {
    size_t end = count_run(r, start, n);
    if (end - start < MIN_RUN) {
        size_t target = n - start < MIN_RUN ? n : start + MIN_RUN;
        insertion_sort(r, start, target, end - start);
        end = target;
    }
    return end;
}

// Power of the boundary between runs [s1, e1) and [e1, e2).
int boundary_power(uint64_t s1, uint64_t e1, uint64_t e2, uint64_t n) {
    uint64_t a = s1 + e1, b = e1 + e2;
    int power = 0;
    for (;;) {
        power++;
        if ((a >= n) != (b >= n)) return power;
        if (a >= n) {
            a -= n;
            b -= n;
        }
        a <<= 1;
        b <<= 1;
    }
}

inline void copy_record(uint8_t* to, const uint8_t* from, size_t width) {
    switch (width) {  // the common widths as fixed-size copies
    case 4: std::memcpy(to, from, 4); break;
    case 16: std::memcpy(to, from, 16); break;
    default: std::memcpy(to, from, width);
    }
}

// The records of the temporary buffer not yet merged, and the hole in the array
// of exactly their size. On leaving (normally or by a throwing comparator) they
// go back into the hole, so no record is lost or doubled.
struct Pending {
    uint8_t* hole;
    const uint8_t* from;
    const uint8_t* to;
    ~Pending() {
        if (to > from) std::memcpy(hole, from, size_t(to - from));
    }
};

// Merges the sorted runs [lo, mid) and [mid, hi), copying the shorter one out.
void merge_runs(const Records& records, size_t lo, size_t mid, size_t hi, uint8_t* tmp) {
    const Records r = records;  // kept in registers across the comparator calls
    const size_t w = r.width;
    uint8_t* left = r.at(lo);
    uint8_t* middle = r.at(mid);
    uint8_t* right_end = r.at(hi);
    if (hi - mid < mid - lo) {
        // Backwards from the ends; on ties the right record goes last.
        std::memcpy(tmp, middle, (hi - mid) * w);
        Pending p{middle, tmp, tmp + (hi - mid) * w};
        uint8_t* out = right_end;
        while (p.hole > left && p.to > p.from) {
            if (r.cmp(p.hole - w, p.to - w, r.user1, r.user2) > 0) {
                p.hole -= w;
                copy_record(out - w, p.hole, w);
            } else {
                p.to -= w;
                copy_record(out - w, p.to, w);
            }
            out -= w;
        }
        return;
    }
    std::memcpy(tmp, left, (mid - lo) * w);
    Pending p{left, tmp, tmp + (mid - lo) * w};
    uint8_t* right = middle;
    while (p.from < p.to && right < right_end) {
        if (r.cmp(p.from, right, r.user1, r.user2) <= 0) {
            copy_record(p.hole, p.from, w);
            p.from += w;
        } else {
            copy_record(p.hole, right, w);
            right += w;
        }
        p.hole += w;
    }
}

struct RuntimeBlock {
    void operator()(void* block) const { runtime::free(block); }
};

struct PendingRun {
    size_t start;
    int power;
};

}  // namespace

void merge_sort(void* base, int32_t count, int32_t width, uintptr_t user1, uintptr_t user2,
                Comparator compare) {
    if (count < 2 || width <= 0) return;
    uint64_t bytes = uint64_t(count / 2) * uint64_t(width);
    if (bytes > 0x7FFFFFFF) support::fire_error(ErrorId::script_too_long);
    std::unique_ptr<uint8_t, RuntimeBlock> tmp(static_cast<uint8_t*>(runtime::allocate(bytes)));
    if (!tmp) support::fire_error(ErrorId::internal_no_memory);

    const Records r = records_of(base, width, user1, user2, compare);
    const size_t n = size_t(count);
    // Powers on the stack rise from bottom to top and stay below 34 for a 31-bit
    // count; the guard below only keeps the array safe.
    PendingRun stack[64] = {};
    int top = 0;
    size_t s1 = 0, e1 = next_run(r, 0, n);
    while (e1 < n) {
        size_t e2 = next_run(r, e1, n);
        int power = boundary_power(s1, e1, e2, n);
        while (top > 0 && (stack[top - 1].power > power || top == 64)) {
            merge_runs(r, stack[top - 1].start, s1, e1, tmp.get());
            s1 = stack[--top].start;
        }
        stack[top++] = {s1, power};
        s1 = e1;
        e1 = e2;
    }
    while (top > 0) {
        merge_runs(r, stack[top - 1].start, s1, n, tmp.get());
        s1 = stack[--top].start;
    }
}

namespace {

constexpr size_t SCAN_STEP = 97;        // every 97th pair after the ordered prefix
constexpr size_t NEARLY_ORDERED = 512;  // score threshold n / 512
constexpr size_t INSERTION_MAX = 7;
constexpr size_t NINTHER_MIN = 512;

inline int sign(int c) { return (c > 0) - (c < 0); }

// The order of the ordered prefix: ascending, or descending (flipped compares).
struct Direction {
    const Records& r;
    bool descending;
    int compare(size_t i, size_t j) const {
        int c = sign(r.compare(i, j));
        return descending ? -c : c;
    }
};

// Extends the ordered prefix [0, k) record by record, inserting each record that
// is out of order at its place, until the records moved would pass n: past that
// the input is no longer nearly ordered. Answers the new prefix length.
size_t extend_prefix(const Direction& d, size_t k, size_t n) {
    size_t budget = n;
    for (; k < n; k++) {
        if (d.compare(k - 1, k) <= 0) continue;
        // The record goes after every record <= it: gallop back from the end,
        // then search between the last two probes.
        size_t lo = 0, hi = k - 1;
        for (size_t step = 1; hi >= step; step *= 2) {
            if (d.compare(hi - step, k) <= 0) {
                lo = hi - step + 1;
                break;
            }
            hi -= step;
        }
        while (lo < hi) {
            size_t m = lo + (hi - lo) / 2;
            if (d.compare(m, k) <= 0) lo = m + 1;
            else hi = m;
        }
        if (k - lo > budget) break;
        budget -= k - lo;
        d.r.rotate_down(lo, k);
    }
    return k;
}

// Sorts so that the first records form an ascending prefix; answers its length.
size_t ordered_prefix(const Records& r, size_t n) {
    size_t i = 0;
    int c = 0;
    while (i + 1 < n && (c = r.compare(i, i + 1)) == 0) i++;
    if (i + 1 >= n) return n;  // all equal
    Direction d{r, c > 0};
    for (i++; i + 1 < n && d.compare(i, i + 1) <= 0;) i++;
    size_t k = i + 1;
    if (k < n) {
        int64_t score = d.descending ? -int64_t(k) : int64_t(k);
        for (size_t j = k - 1 + SCAN_STEP; j + 1 < n; j += SCAN_STEP)
            score += -sign(r.compare(j, j + 1));
        if (uint64_t(score < 0 ? -score : score) > n / NEARLY_ORDERED) {
            if ((score < 0) != d.descending) {  // the rest runs the other way
                d.descending = !d.descending;
                k = 1;
            }
            k = extend_prefix(d, k, n);
        }
    }
    if (d.descending) r.reverse(0, k);
    return k;
}

size_t median_of_three(const Records& r, size_t a, size_t b, size_t c) {
    if (r.compare(a, b) < 0) {
        if (r.compare(b, c) < 0) return b;
        return r.compare(a, c) < 0 ? c : a;
    }
    if (r.compare(b, c) > 0) return b;
    return r.compare(a, c) > 0 ? c : a;
}

// Candidates avoid the ends of the range, where a partition leaves the records
// that did not fit (a sorted range with its smallest record last).
size_t choose_pivot(const Records& r, size_t lo, size_t n) {
    if (n < NINTHER_MIN) return median_of_three(r, lo + n / 4, lo + n / 2, lo + n - 1 - n / 4);
    size_t s = n / 10;
    return median_of_three(r, median_of_three(r, lo + s, lo + 2 * s, lo + 3 * s),
                           median_of_three(r, lo + 4 * s, lo + n / 2, lo + 6 * s),
                           median_of_three(r, lo + 7 * s, lo + 8 * s, lo + 9 * s));
}

void swap_blocks(const Records& r, size_t a, size_t b, size_t count) {
    for (size_t i = 0; i < count; i++) r.swap(a + i, b + i);
}

// Three-way partition of [lo, lo + n) around the pivot at lo: records equal to
// it gather in the middle. Answers the sizes of the lower and upper sides, which
// end up at the two ends of the range.
std::pair<size_t, size_t> partition(const Records& records, size_t lo, size_t n) {
    const Records r = records;  // a local copy stays in registers across the calls
    size_t hi = lo + n - 1;
    size_t a = lo + 1, b = lo + 1, c = hi, d = hi;
    for (;;) {
        for (int x; b <= c && (x = r.compare(b, lo)) <= 0; b++)
            if (x == 0) r.swap(a++, b);
        for (int x; b <= c && (x = r.compare(c, lo)) >= 0; c--)
            if (x == 0) r.swap(c, d--);
        if (b > c) break;
        r.swap(b++, c--);
    }
    size_t s = std::min(a - lo, b - a);
    swap_blocks(r, lo, b - s, s);
    s = std::min(d - c, hi - d);
    swap_blocks(r, b, hi + 1 - s, s);
    return {b - a, d - c};
}

void sift_down(const Records& r, size_t lo, size_t root, size_t n) {
    for (size_t child; (child = 2 * root + 1) < n; root = child) {
        if (child + 1 < n && r.compare(lo + child, lo + child + 1) < 0) child++;
        if (r.compare(lo + root, lo + child) >= 0) return;
        r.swap(lo + root, lo + child);
    }
}

// The fallback when pivots keep failing: O(n log n) whatever the input.
void heap_sort(const Records& r, size_t lo, size_t n) {
    for (size_t i = n / 2; i > 0; i--) sift_down(r, lo, i - 1, n);
    for (size_t end = n - 1; end > 0; end--) {
        r.swap(lo, lo + end);
        sift_down(r, lo, 0, end);
    }
}

void partition_sort(const Records& r, size_t lo, size_t n, size_t presorted, int depth) {
    while (n > INSERTION_MAX) {
        if (depth-- == 0) {
            heap_sort(r, lo, n);
            return;
        }
        // The middle of an ordered prefix is the median of its records.
        size_t pivot = presorted > 2 ? lo + presorted / 2 : choose_pivot(r, lo, n);
        presorted = 0;
        r.swap(lo, pivot);
        auto [lower, upper] = partition(r, lo, n);
        size_t upper_start = lo + n - upper;
        if (lower < upper) {  // recursion on the smaller side bounds the stack
            partition_sort(r, lo, lower, 0, depth);
            lo = upper_start;
            n = upper;
        } else {
            partition_sort(r, upper_start, upper, 0, depth);
            n = lower;
        }
    }
    insertion_sort(r, lo, lo + n);
}

int depth_limit(size_t n) {
    int log2 = 0;
    while (n >>= 1) log2++;
    return 2 * log2 + 4;
}

}  // namespace

void quick_sort(void* base, int32_t count, int32_t width, uintptr_t user1, uintptr_t user2,
                Comparator compare) {
    if (count < 2 || width <= 0) return;
    const Records r = records_of(base, width, user1, user2, compare);
    const size_t n = size_t(count);
    size_t k = ordered_prefix(r, n);
    if (k < n) partition_sort(r, 0, n, k, depth_limit(n));
}

}  // namespace zun::sorting
