#include "services/lz.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zun::compress {

namespace {

constexpr uint32_t WINDOW = 0x40000;
constexpr uint32_t MAX_MATCH = 566;
constexpr uint32_t MIN_MATCH = 3;
constexpr uint32_t CHAIN_STEPS = 256;
constexpr uint32_t HASH3_SIZE = 0x80000;
constexpr uint32_t HASH4_SIZE = 0x100000;
constexpr uint32_t FAR_SHORT_MATCH = 65536;
constexpr uint32_t MAX_EXPANSION = 206;  // bytes one input byte can give at most

void put_u32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = uint8_t(v >> (8 * i));
}
uint32_t get_u32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

struct LengthCode {
    uint32_t first, prefix_zeros, bits;
};
// The prefix is that many 0 bits then a 1, except for the last row (five 0s).
constexpr LengthCode LENGTH_CODES[] = {
    {0, 0, 2}, {4, 1, 2}, {8, 2, 2}, {12, 3, 3}, {20, 4, 5}, {52, 5, 9},
};

}  // namespace

void lz_init(LzBits& s, uint8_t* out, uint64_t capacity) {
    s = LzBits{};
    s.out = out;
    s.capacity = capacity;
}

uint8_t* lz_reserve(LzBits& s, int64_t n) {
    if (n < 0 || uint64_t(n) > s.capacity - s.used) {
        s.overflow = true;
        return nullptr;
    }
    uint8_t* at = s.out + s.used;
    s.used += uint64_t(n);
    return at;
}

void lz_put_bits(uint32_t count, uint32_t value, LzBits& s) {
    s.pending |= uint64_t(value) << s.count;
    s.count += count;
    while (s.count >= 8) {
        if (uint8_t* b = lz_reserve(s, 1)) *b = uint8_t(s.pending);
        s.pending >>= 8;
        s.count -= 8;
    }
}

int64_t lz_get_bits(uint32_t count, LzBits& s) {
    while (s.count < count) {
        if (s.in >= s.in_end) return -1;
        s.pending |= uint64_t(*s.in++) << s.count;
        s.count += 8;
    }
    const uint64_t v = s.pending & ((uint64_t(1) << count) - 1);
    s.pending >>= count;
    s.count -= count;
    return int64_t(v);
}

void lz_put_length(uint32_t length, LzBits& s) {
    const uint32_t l = length - MIN_MATCH;
    int row = 5;
    while (row > 0 && l < LENGTH_CODES[row].first) row--;
    const LengthCode& c = LENGTH_CODES[row];
    for (uint32_t i = 0; i < c.prefix_zeros; i++) lz_put_bits(1, 0, s);
    if (row < 5) lz_put_bits(1, 1, s);
    lz_put_bits(c.bits, l - c.first, s);
}

void lz_put_distance(uint32_t distance, LzBits& s) {
    const uint32_t delta = distance - 1;
    uint32_t m = 2;
    while (delta >= (1u << (m + 1))) m++;
    lz_put_bits(4, m - 2, s);
    if (m == 2) lz_put_bits(3, delta, s);
    else lz_put_bits(m, delta - (1u << m), s);
}

uint32_t lz_distance_cost(uint32_t d, uint32_t best_distance) {
    uint32_t x = d / 16, k = 0;
    while (x > best_distance) {
        x /= 8;
        k++;
    }
    return k;
}

int64_t lz_compress(const uint8_t* src, uint32_t n, uint8_t* dst) {
    if (n < LZ_MIN_INPUT) return -1;
    std::vector<int32_t> head3(HASH3_SIZE), head4(HASH4_SIZE), chain(WINDOW);
    std::vector<uint8_t> chunk(LZ_CHUNK + MAX_MATCH);
    LzBits s;
    lz_init(s, dst + 8, n - 8);
    put_u32(dst + 4, n);
    for (uint32_t start = 0; start < n; start += LZ_CHUNK) {
        const uint32_t len = std::min(LZ_CHUNK, n - start);
        std::memcpy(chunk.data(), src + start, len);
        std::memset(chunk.data() + len, 0, MAX_MATCH);
        if (uint8_t* at = lz_reserve(s, 4)) put_u32(at, len);
        std::fill(head3.begin(), head3.end(), -1);
        std::fill(head4.begin(), head4.end(), -1);
        const uint8_t* c = chunk.data();
        uint32_t h3 = 0, h4 = 0;
        for (int i = 0; i < 3; i++) h3 = lz_hash3(h3, c[i]);
        for (int i = 0; i < 4; i++) h4 = lz_hash4(h4, c[i]);
        s.pending = 0;
        s.count = 0;
        uint32_t p = 0;
        while (p < len) {
            uint32_t best = 2, distance = WINDOW;
            const uint32_t longest = std::min(len - p, MAX_MATCH);
            const int64_t lowest = std::max<int64_t>(int64_t(p) - WINDOW, 0);
            auto extend = [&](uint32_t from) {
                uint32_t l = 0;
                while (l < longest && c[from + l] == c[p + l]) l++;
                return l;
            };
            const int32_t first = head3[h3];
            if (first >= lowest && uint32_t(first) < p && c[first] == c[p]) {
                const uint32_t l = extend(uint32_t(first));
                if (l > best) {
                    best = l;
                    distance = p - uint32_t(first);
                }
            }
            if (best < MAX_MATCH) {
                int32_t cand = head4[h4];
                for (uint32_t step = 0; step < CHAIN_STEPS && cand >= lowest && uint32_t(cand) < p; step++) {
                    const uint32_t cu = uint32_t(cand);
                    if (best < longest && c[cu + best] == c[p + best] && c[cu] == c[p]) {
                        const uint32_t l = extend(cu);
                        if (l > best + lz_distance_cost(p - cu, distance)) {
                            best = l;
                            distance = p - cu;
                        }
                        if (l == longest) break;
                    }
                    cand = chain[cu % WINDOW];
                }
            }
            if (best == MIN_MATCH && distance > FAR_SHORT_MATCH) best = 0;
            uint32_t consumed = 1;
            if (best < MIN_MATCH) {
                lz_put_bits(9, uint32_t(c[p]) << 1, s);
            } else {
                lz_put_bits(1, 1, s);
                lz_put_length(best, s);
                lz_put_distance(distance, s);
                consumed = best;
            }
            for (uint32_t q = p; q < p + consumed; q++) {
                head3[h3] = int32_t(q);
                chain[q % WINDOW] = head4[h4];
                head4[h4] = int32_t(q);
                h3 = lz_hash3(h3, c[q + 3]);
                h4 = lz_hash4(h4, c[q + 4]);
            }
            p += consumed;
        }
        lz_put_bits(7, 0, s);
    }
    if (s.overflow) return -1;
    put_u32(dst, uint32_t(s.used));
    return int64_t(s.used) + 8;
}

uint8_t* lz_decompress(const uint8_t* container, uint64_t length, uint32_t* size) {
    if (length < 8) return nullptr;
    const uint32_t c_bytes = get_u32(container), n = get_u32(container + 4);
    if (c_bytes > length - 8 || uint64_t(n) > uint64_t(c_bytes) * MAX_EXPANSION) return nullptr;
    uint8_t* out = static_cast<uint8_t*>(std::malloc(std::max<uint32_t>(n, 1)));
    if (!out) return nullptr;
    const uint8_t* cursor = container + 8;
    const uint8_t* end = cursor + c_bytes;
    uint64_t produced = 0;
    auto fail = [&] {
        std::free(out);
        return nullptr;
    };
    while (cursor < end) {
        if (end - cursor < 4) return fail();
        const uint32_t l = get_u32(cursor);
        cursor += 4;
        if (l == 0 || l > LZ_CHUNK || produced + l > n) return fail();
        LzBits s;
        s.in = cursor;
        s.in_end = end;
        uint8_t* chunk = out + produced;
        uint32_t made = 0;
        while (made < l) {
            const int64_t flag = lz_get_bits(1, s);
            if (flag < 0) return fail();
            if (flag == 0) {
                const int64_t b = lz_get_bits(8, s);
                if (b < 0) return fail();
                chunk[made++] = uint8_t(b);
                continue;
            }
            int row = 0;
            while (row < 5) {
                const int64_t bit = lz_get_bits(1, s);
                if (bit < 0) return fail();
                if (bit) break;
                row++;
            }
            const LengthCode& code = LENGTH_CODES[row];
            const int64_t rest = lz_get_bits(code.bits, s);
            const int64_t j4 = lz_get_bits(4, s);
            if (rest < 0 || j4 < 0) return fail();
            const uint32_t match = uint32_t(rest) + code.first + MIN_MATCH;
            const uint32_t j = uint32_t(j4) + 2;
            const int64_t bits = lz_get_bits(j == 2 ? 3 : j, s);
            if (bits < 0) return fail();
            const uint32_t distance = uint32_t(bits) + (j == 2 ? 0 : 1u << j) + 1;
            if (distance > made || match > l - made) return fail();
            for (uint32_t i = 0; i < match; i++, made++) chunk[made] = chunk[made - distance];
        }
        produced += l;
        cursor = s.in;
    }
    if (produced != n) return fail();
    *size = n;
    return out;
}

void lz_free(uint8_t* buffer) { std::free(buffer); }

}  // namespace zun::compress
