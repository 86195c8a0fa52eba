// Sorts against std::sort / std::stable_sort on the same records, the peer
// calling the same comparator, and prints time ratios (ours / peer). Not part
// of the test suite. Build against the runtime library, for example:
//   g++ -std=c++20 -O2 -I. -I<build>/generated bench/sort_bench.cpp <build>/libzunrt.a
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "core/sorting.hpp"

namespace {

struct Cell16 {
    uint32_t w[4];
};

int compare(const void* a, const void* b, uintptr_t, uintptr_t) {
    uint32_t x, y;
    std::memcpy(&x, static_cast<const char*>(a) + 8, 4);
    std::memcpy(&y, static_cast<const char*>(b) + 8, 4);
    return (x > y) - (x < y);
}

template <typename F> double seconds(F f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Read through a volatile so the peer cannot inline it: both pay the indirect call.
zun::sorting::Comparator volatile g_compare = compare;

void row(const char* name, const std::vector<Cell16>& input) {
    zun::sorting::Comparator cmp = g_compare;
    auto less = [cmp](const Cell16& a, const Cell16& b) { return cmp(&a, &b, 0, 0) < 0; };
    auto n = int32_t(input.size());
    auto v = input;
    double quick = seconds([&] { zun::sorting::quick_sort(v.data(), n, 16, 0, 0, cmp); });
    v = input;
    double peer = seconds([&] { std::sort(v.begin(), v.end(), less); });
    v = input;
    double merge = seconds([&] { zun::sorting::merge_sort(v.data(), n, 16, 0, 0, cmp); });
    v = input;
    double stable = seconds([&] { std::stable_sort(v.begin(), v.end(), less); });
    std::printf("%-12s quick/std::sort %5.2f   merge/std::stable_sort %5.2f\n", name,
                quick / peer, merge / stable);
}

}  // namespace

int main() {
    const size_t n = 1000000;
    std::mt19937 gen(1);
    std::vector<Cell16> v(n);
    for (size_t i = 0; i < n; i++) v[i] = {{11, 0, uint32_t(gen()), 0}};
    row("random", v);
    for (size_t i = 0; i < n; i++) v[i].w[2] = gen() % 16;
    row("16 keys", v);
    for (size_t i = 0; i < n; i++) v[i].w[2] = uint32_t(i);
    row("ascending", v);
    for (size_t i = 0; i < n; i += 100) std::swap(v[i], v[gen() % n]);
    row("1% moved", v);
    for (size_t i = 0; i < n; i++) v[i].w[2] = uint32_t(n - i);
    row("descending", v);
}
