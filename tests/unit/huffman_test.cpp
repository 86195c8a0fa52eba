// Huffman code lengths with a limit, and canonical codes.
#include <gtest/gtest.h>

#include <queue>
#include <random>
#include <vector>

#include "services/huffman.hpp"

using namespace zun::compress;

namespace {

std::vector<int> lengths_of(const std::vector<uint32_t>& freqs, int limit) {
    std::vector<uint8_t> out(freqs.size(), 99);
    huffman_lengths(freqs.data(), int(freqs.size()), limit, out.data());
    return std::vector<int>(out.begin(), out.end());
}

// The cost of an optimal unlimited code, by the textbook heap merge.
uint64_t optimal_cost(const std::vector<uint32_t>& freqs) {
    std::priority_queue<uint64_t, std::vector<uint64_t>, std::greater<>> heap;
    for (uint32_t f : freqs)
        if (f) heap.push(f);
    uint64_t cost = 0;
    while (heap.size() > 1) {
        const uint64_t a = heap.top();
        heap.pop();
        const uint64_t b = heap.top();
        heap.pop();
        cost += a + b;
        heap.push(a + b);
    }
    return cost;
}

uint64_t cost_of(const std::vector<uint32_t>& freqs, const std::vector<int>& lengths) {
    uint64_t cost = 0;
    for (size_t i = 0; i < freqs.size(); i++) cost += uint64_t(freqs[i]) * uint64_t(lengths[i]);
    return cost;
}

// Kraft sum scaled by 2^15: exactly 2^15 for a complete code.
uint64_t kraft(const std::vector<int>& lengths) {
    uint64_t k = 0;
    for (int l : lengths)
        if (l) k += uint64_t(1) << (15 - l);
    return k;
}

}  // namespace

TEST(Huffman, FixedCases) {
    struct Case {
        std::vector<uint32_t> freqs;
        int limit;
        std::vector<int> lengths;
    };
    const Case cases[] = {
        {{1, 1, 2, 4}, 15, {3, 3, 2, 1}},
        // Equal frequencies: the later symbol ranks as the more frequent one.
        {{5, 5, 5}, 15, {2, 2, 1}},
        {{0, 7, 0, 7}, 15, {0, 1, 0, 1}},
        // Fewer than two used symbols: two codes all the same.
        {{0, 0, 0, 0}, 15, {1, 1, 0, 0}},
        {{3, 0, 0, 0}, 15, {1, 1, 0, 0}},
        {{0, 3, 0, 0}, 15, {1, 1, 0, 0}},
        {{0, 0, 0, 9}, 15, {1, 0, 0, 1}},
        // The limit binds: lengths 1..5 clamped to 3 and repaired.
        {{1, 1, 2, 4, 8, 16}, 3, {3, 3, 3, 3, 2, 2}},
    };
    for (const Case& c : cases) EXPECT_EQ(lengths_of(c.freqs, c.limit), c.lengths);
}

TEST(Huffman, OptimalCompleteAndLimited) {
    std::mt19937 rng(7);
    for (int round = 0; round < 300; round++) {
        const int count = 2 + int(rng() % 300);
        std::vector<uint32_t> freqs(size_t(count), 0);
        const int spread = round % 3 == 0 ? 3 : round % 3 == 1 ? 1000 : 100000;
        for (auto& f : freqs)
            if (rng() % 4) f = rng() % uint32_t(spread);
        // Fibonacci-like runs push the optimal depth past any limit.
        if (round % 5 == 0)
            for (size_t i = 0, a = 1, b = 1; i < freqs.size() && i < 30; i++, a += b, std::swap(a, b))
                freqs[i] = uint32_t(a);
        const int limit = round % 2 ? 15 : 7 + int(rng() % 3);
        int used = 0;
        for (uint32_t f : freqs) used += f != 0;
        if (used > (1 << limit)) continue;
        const std::vector<int> lengths = lengths_of(freqs, limit);
        int longest = 0;
        for (int l : lengths) longest = std::max(longest, l);
        ASSERT_LE(longest, limit);
        if (used >= 2) {
            EXPECT_EQ(kraft(lengths), uint64_t(1) << 15) << "round " << round;
            if (longest < limit) {
                EXPECT_EQ(cost_of(freqs, lengths), optimal_cost(freqs));
            }
            // A more frequent symbol never gets a longer code.
            for (size_t i = 0; i < freqs.size(); i++)
                for (size_t j = 0; j < freqs.size(); j++)
                    if (freqs[i] && freqs[j] && freqs[i] > freqs[j]) {
                        ASSERT_LE(lengths[i], lengths[j]);
                    }
        }
    }
}

TEST(Huffman, CanonicalCodes) {
    // RFC 1951 3.2.2's example, codes written most significant bit first.
    const uint8_t lengths[8] = {3, 3, 3, 3, 3, 2, 4, 4};
    const char* expected[8] = {"010", "011", "100", "101", "110", "00", "1110", "1111"};
    uint16_t codes[8];
    canonical_codes(lengths, 8, codes);
    for (int s = 0; s < 8; s++) {
        std::string bits;  // stored reversed: low bit first
        for (int b = 0; b < lengths[s]; b++) bits += char('0' + ((codes[s] >> b) & 1));
        EXPECT_EQ(bits, expected[s]) << "symbol " << s;
    }
    EXPECT_EQ(reverse_bits16(0x0001), 0x8000u);
    EXPECT_EQ(reverse_bits16(0x1234), 0x2C48u);
}
