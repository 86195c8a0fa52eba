#include "services/huffman.hpp"

#include <algorithm>
#include <cassert>

namespace zun::compress {

namespace {

constexpr int MAX_DEPTH = HUFFMAN_MAX_SYMBOLS;

// Moffat and Katajainen's in-place method: a holds ascending frequencies and
// becomes the code length of each (a[0] the longest). n >= 2.
void minimum_redundancy(uint32_t* a, int n) {
    // Left to right: internal nodes' weights and parent pointers.
    a[0] += a[1];
    int root = 0, leaf = 2;
    for (int next = 1; next < n - 1; next++) {
        if (leaf >= n || a[root] < a[leaf]) {
            a[next] = a[root];
            a[root++] = uint32_t(next);
        } else {
            a[next] = a[leaf++];
        }
        if (leaf >= n || (root < next && a[root] < a[leaf])) {
            a[next] += a[root];
            a[root++] = uint32_t(next);
        } else {
            a[next] += a[leaf++];
        }
    }
    // Right to left: depths of the internal nodes.
    a[n - 2] = 0;
    for (int next = n - 3; next >= 0; next--) a[next] = a[a[next]] + 1;
    // Right to left: depths of the leaves.
    int avail = 1, used = 0, depth = 0;
    int root2 = n - 2, next = n - 1;
    while (avail > 0) {
        while (root2 >= 0 && a[root2] == uint32_t(depth)) {
            used++;
            root2--;
        }
        while (avail > used) {
            a[next--] = uint32_t(depth);
            avail--;
        }
        avail = 2 * used;
        depth++;
        used = 0;
    }
}

}  // namespace

void huffman_lengths(const uint32_t* freqs, int count, int limit, uint8_t* lengths) {
    assert(count >= 2 && count <= HUFFMAN_MAX_SYMBOLS && limit >= 1 && limit < 32);
    uint64_t ranked[HUFFMAN_MAX_SYMBOLS];  // frequency << 32 | symbol
    int n = 0;
    for (int s = 0; s < count; s++) {
        lengths[s] = 0;
        if (freqs[s]) ranked[n++] = uint64_t(freqs[s]) << 32 | uint32_t(s);
    }
    if (n < 2) {
        lengths[0] = lengths[1] = 1;
        if (n == 1 && int(ranked[0] & 0xFFFFFFFF) > 1) {
            lengths[ranked[0] & 0xFFFFFFFF] = 1;
            lengths[1] = 0;
        }
        return;
    }
    std::sort(ranked, ranked + n);
    uint32_t depth[HUFFMAN_MAX_SYMBOLS];
    for (int i = 0; i < n; i++) depth[i] = uint32_t(ranked[i] >> 32);
    minimum_redundancy(depth, n);

    int leaves[MAX_DEPTH + 1] = {};
    for (int i = 0; i < n; i++) leaves[std::min<int>(int(depth[i]), limit)]++;
    uint64_t kraft = 0;
    for (int i = 1; i <= limit; i++) kraft += uint64_t(leaves[i]) << (limit - i);
    while (kraft > (uint64_t(1) << limit)) {
        leaves[limit]--;
        int j = limit - 1;
        while (leaves[j] == 0) j--;
        leaves[j]--;
        leaves[j + 1] += 2;
        kraft--;
    }
    int next = n - 1;  // the most frequent symbol not yet given a length
    for (int len = 1; len <= limit; len++)
        for (int k = 0; k < leaves[len]; k++) lengths[ranked[next--] & 0xFFFFFFFF] = uint8_t(len);
}

uint32_t reverse_bits16(uint32_t v) {
    static const auto table = [] {
        struct T {
            uint8_t r[256];
        } t{};
        for (int i = 0; i < 256; i++) {
            int r = 0;
            for (int b = 0; b < 8; b++)
                if (i & (1 << b)) r |= 0x80 >> b;
            t.r[i] = uint8_t(r);
        }
        return t;
    }();
    return uint32_t(table.r[v & 0xFF]) << 8 | table.r[(v >> 8) & 0xFF];
}

void canonical_codes(const uint8_t* lengths, int count, uint16_t* codes) {
    int per_length[16] = {};
    for (int s = 0; s < count; s++) per_length[lengths[s]]++;
    per_length[0] = 0;
    uint32_t next_code[16] = {};
    uint32_t code = 0;
    for (int len = 1; len < 16; len++) {
        code = (code + uint32_t(per_length[len - 1])) << 1;
        next_code[len] = code;
    }
    for (int s = 0; s < count; s++) {
        const int len = lengths[s];
        codes[s] = len ? uint16_t(reverse_bits16(next_code[len]++) >> (16 - len)) : 0;
    }
}

}  // namespace zun::compress
