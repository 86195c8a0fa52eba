// The match finders of the Zstandard compressor: the double-hash fast
// finder, the lazy finders over hash chains, and the optimal parser. Positions
// are kept relative to the input base.
#include <algorithm>
#include <cstring>

#include "services/zstd_encode.hpp"
#include "services/zstd_format.hpp"

namespace zun::compress {

namespace {

constexpr uint32_t PRIME32 = 2654435761u;
constexpr uint64_t PRIME64 = 0xCF1BBCDCB7A56463ull;

// Equal bytes from a and b, a stopping at end.
inline uint32_t zstd_count_match(const uint8_t* a, const uint8_t* b, const uint8_t* end) {
    const uint8_t* const start = a;
    while (a + 8 <= end) {
        const uint64_t diff = read_u64le(a) ^ read_u64le(b);
        if (diff) return uint32_t(a - start) + uint32_t(__builtin_ctzll(diff) >> 3);
        a += 8, b += 8;
    }
    while (a < end && *a == *b) a++, b++;
    return uint32_t(a - start);
}

// The hash of the first min_match bytes (4 for a minimum of 3 or 4).
inline uint32_t hash_at(const uint8_t* p, int min_match, int log) {
    if (min_match <= 4) return (read_u32le(p) * PRIME32) >> (32 - log);
    return uint32_t(((read_u64le(p) << (64 - 8 * min_match)) * PRIME64) >> (64 - log));
}
inline uint32_t hash3_at(const uint8_t* p, int log) {
    return ((read_u32le(p) << 8) * PRIME32) >> (32 - log);
}

struct Window {
    uint32_t size;
    bool reaches(uint32_t cur, uint32_t cand) const { return cand < cur && cur - cand <= size; }
};

// Adds every position from the next one to index up to (not including)
// target to the hash chains (and the 3-byte table).
void insert_upto(ZstdEncoder& enc, uint32_t target) {
    const ZstdParams& p = enc.params;
    const uint32_t mask = (1u << p.chain_log) - 1;
    // The hash slots are random misses: a batch's are fetched before any is
    // written.
    constexpr uint32_t batch = 16;
    uint32_t hashes[batch];
    for (uint32_t i = enc.next_index; i < target;) {
        const uint32_t n = std::min(batch, target - i);
        for (uint32_t k = 0; k < n; k++) {
            hashes[k] = hash_at(enc.base + i + k, p.min_match, p.hash_log);
            __builtin_prefetch(enc.hash + hashes[k], 1);
        }
        for (uint32_t k = 0; k < n; k++, i++) {
            const uint32_t h = hashes[k];
            enc.chain[i & mask] = enc.hash[h];
            enc.hash[h] = i;
            if (enc.hash3) enc.hash3[hash3_at(enc.base + i, p.hash3_log)] = i;
        }
    }
    if (target > enc.next_index) enc.next_index = target;
}

struct Match {
    uint32_t offset;
    uint32_t length;
};
constexpr int MAX_MATCHES = 64;

// The binary trees (strategies 4 to 7): the chain table holds two links per
// position, to the subtrees of suffixes sorting below and above it; the hash
// table holds each tree's root, the newest position.

// Inserts cur into its tree. Each suffix met on the way is compared; those
// longer than *best go to matches (when given), the best kept in *best and
// *offset (strategy 4: a longer one must pay for its larger offset). Answers
// the longest length met.
uint32_t zstd_bt_insert(ZstdEncoder& enc, uint32_t cur, const uint8_t* iend, uint32_t* best_len,
                        uint32_t* offset, Match* matches, int* nmatches) {
    uint32_t best = *best_len;
    const ZstdParams& p = enc.params;
    const uint8_t* const base = enc.base;
    const uint8_t* const ip = base + cur;
    const uint32_t bt_mask = (1u << (p.chain_log - 1)) - 1;
    const uint32_t bt_low = cur > bt_mask ? cur - bt_mask : 0;
    const uint32_t window = 1u << p.window_log;
    // 0 is no link: position 0 never joins a tree.
    const uint32_t window_low = cur > window ? cur - window : 1;
    const uint32_t target = p.target_length ? uint32_t(p.target_length) : ~0u;
    uint32_t* const bt = enc.chain;
    const uint32_t h = hash_at(ip, p.min_match, p.hash_log);
    uint32_t candidate = enc.hash[h];
    enc.hash[h] = cur;
    if (enc.hash3) enc.hash3[hash3_at(ip, p.hash3_log)] = cur;
    uint32_t* smaller = bt + 2 * (cur & bt_mask);
    uint32_t* larger = smaller + 1;
    uint32_t common_smaller = 0, common_larger = 0, longest = 0;
    uint32_t dummy = 0;
    bool found = false;
    for (int compares = p.search_attempts; compares > 0 && candidate >= window_low && candidate < cur;
         compares--) {
        uint32_t* const links = bt + 2 * (candidate & bt_mask);
        const uint8_t* const m = base + candidate;
        uint32_t len = std::min(common_smaller, common_larger);
        len += zstd_count_match(ip + len, m + len, iend);
        longest = std::max(longest, len);
        if (len > best) {
            const uint32_t off = cur - candidate;
            const bool take = p.strategy != 4 || !found ||
                              4 * int(len - best) > highbit32(off + 3) - highbit32(*offset + 3);
            if (take) {
                best = len;
                *offset = off;
                found = true;
                // A full list keeps its longest last.
                if (matches) matches[std::min(*nmatches, MAX_MATCHES - 1)] = {off, len};
                if (matches && *nmatches < MAX_MATCHES) (*nmatches)++;
            }
        }
        // At the end of the block the order is unknown: the tree drops the rest.
        if (ip + len == iend || len >= target) break;
        if (m[len] < ip[len]) {
            *smaller = candidate;
            common_smaller = len;
            if (candidate <= bt_low) {
                smaller = &dummy;
                break;
            }
            smaller = links + 1;
            candidate = links[1];
        } else {
            *larger = candidate;
            common_larger = len;
            if (candidate <= bt_low) {
                larger = &dummy;
                break;
            }
            larger = links;
            candidate = links[0];
        }
    }
    *smaller = *larger = 0;
    *best_len = best;
    return longest;
}

// Inserts every position from the next one to index up to target; inside a
// long repetition some are passed over.
void zstd_bt_update(ZstdEncoder& enc, uint32_t target, const uint8_t* iend) {
    uint32_t i = enc.next_index;
    while (i < target) {
        uint32_t offset = 0, best = ~0u;
        const uint32_t longest = zstd_bt_insert(enc, i, iend, &best, &offset, nullptr, nullptr);
        i += longest > 384 ? std::min(192u, longest - 384) : 1;
    }
    if (i > enc.next_index) enc.next_index = i;
}

// The best match at ip through the tree, inserting ip; collects the longer
// ones into matches when given. 0 below the minimum, or when ip was passed
// over already.
uint32_t zstd_bt_find_best(ZstdEncoder& enc, const uint8_t* ip, const uint8_t* iend,
                           uint32_t* offset, uint32_t best, Match* matches, int* nmatches) {
    const uint32_t cur = uint32_t(ip - enc.base);
    zstd_bt_update(enc, cur, iend);
    if (cur < enc.next_index) return 0;
    enc.next_index = cur + 1;
    const uint32_t before = best;
    zstd_bt_insert(enc, cur, iend, &best, offset, matches, nmatches);
    return best > before && best >= uint32_t(enc.params.min_match) ? best : 0;
}

// Walks the chain at ip for the best match, or collects every longer one
// into matches (when given). Answers the best length (0 below the minimum).
uint32_t zstd_find_best_match(ZstdEncoder& enc, const uint8_t* ip, const uint8_t* iend,
                              uint32_t* offset, uint32_t best, Match* matches = nullptr,
                              int* nmatches = nullptr) {
    const ZstdParams& p = enc.params;
    if (p.strategy >= 4) return zstd_bt_find_best(enc, ip, iend, offset, best, matches, nmatches);
    const uint32_t cur = uint32_t(ip - enc.base);
    // The lazy search asks at the next position soon: its hash slot is a
    // likely miss.
    if (ip + 9 <= iend) __builtin_prefetch(enc.hash + hash_at(ip + 1, p.min_match, p.hash_log));
    insert_upto(enc, cur);
    const Window window{1u << p.window_log};
    const uint32_t chain_size = 1u << p.chain_log;
    const uint32_t mask = chain_size - 1;
    const uint32_t remaining = uint32_t(iend - ip);
    const uint32_t target = p.target_length ? uint32_t(p.target_length) : remaining;
    uint32_t cand = enc.hash[hash_at(ip, p.min_match, p.hash_log)];
    uint32_t found = 0;
    for (int attempts = p.search_attempts; attempts > 0; attempts--) {
        if (!window.reaches(cur, cand)) break;
        const uint8_t* m = enc.base + cand;
        const bool worth = best < 3 || best >= remaining ||
                           read_u32le(m + best - 3) == read_u32le(ip + best - 3);
        if (worth) {
            const uint32_t len = zstd_count_match(ip, m, iend);
            if (len > best) {
                const uint32_t off = cur - cand;
                bool take = true;
                if (p.strategy == 4 && found)  // the longer match must pay for its offset
                    take = 4 * int(len - best) > highbit32(off + 3) - highbit32(*offset + 3);
                if (take) {
                    best = len;
                    *offset = off;
                    found = len;
                    // A full list keeps its longest last.
                    if (matches) matches[std::min(*nmatches, MAX_MATCHES - 1)] = {off, len};
                    if (matches && *nmatches < MAX_MATCHES) (*nmatches)++;
                    if (ip + len == iend || (matches && len >= target)) break;
                }
            }
        }
        // Links older than the chain's size have been overwritten.
        if (cur - cand >= chain_size) break;
        const uint32_t next = enc.chain[cand & mask];
        if (next >= cand) break;
        cand = next;
    }
    return found >= uint32_t(p.min_match) ? found : 0;
}

void catch_up(const uint8_t*& start, uint32_t offset, uint32_t& length, const uint8_t* anchor,
              const uint8_t* base) {
    while (start > anchor && uint32_t(start - base) > offset && start[-1] == *(start - 1 - size_t(offset))) {
        start--;
        length++;
    }
}

// After a match: further matches at the second repeat offset with no
// literals between.
void repeat_run(ZstdEncoder& enc, const uint8_t*& ip, const uint8_t*& anchor, const uint8_t* ilimit,
                const uint8_t* iend) {
    while (ip <= ilimit) {
        const uint32_t rep1 = enc.rep[1];
        if (rep1 == 0 || rep1 > uint32_t(ip - enc.base) || rep1 > (1u << enc.params.window_log))
            break;
        if (read_u32le(ip) != read_u32le(ip - rep1)) break;
        const uint32_t len = 4 + zstd_count_match(ip + 4, ip + 4 - rep1, iend);
        zstd_store_sequence(enc, anchor, 0, rep1, len);
        ip += len;
        anchor = ip;
    }
}

bool rep_matches(const ZstdEncoder& enc, const uint8_t* ip, uint32_t rep) {
    const uint32_t cur = uint32_t(ip - enc.base);
    return rep > 0 && rep <= cur && rep <= (1u << enc.params.window_log) &&
           read_u32le(ip) == read_u32le(ip - rep);
}

}  // namespace

void zstd_find_fast(ZstdEncoder& enc, uint32_t start, uint32_t end) {
    const ZstdParams& p = enc.params;
    const uint8_t* const base = enc.base;
    const uint8_t* ip = base + start + (start == 0);
    const uint8_t* anchor = base + start;
    const uint8_t* const iend = base + end;
    const uint8_t* const ilimit = iend - 8;
    const Window window{1u << p.window_log};
    const uint32_t short_mask =
        p.min_match >= 8 ? ~0u : p.min_match <= 4 ? 0u : (1u << (8 * (p.min_match - 4))) - 1;
    auto hash_long = [&](const uint8_t* q) {
        return ((read_u32le(q) * 0x9E3779B1u) ^ (read_u32le(q + 4) * 0x85EBCA77u)) >> (32 - p.hash_log);
    };
    auto hash_short = [&](const uint8_t* q) {
        return ((read_u32le(q) * 0x9E3779B1u) ^ ((read_u32le(q + 4) & short_mask) * 0x85EBCA77u)) >>
               (32 - p.chain_log);
    };
    uint32_t* long_table = enc.hash;
    uint32_t* short_table = enc.chain;
    while (ip < ilimit) {
        const uint32_t cur = uint32_t(ip - base);
        const uint32_t hl = hash_long(ip), hs = hash_short(ip);
        const uint32_t cand_long = long_table[hl], cand_short = short_table[hs];
        long_table[hl] = short_table[hs] = cur;
        const uint8_t* mstart;
        uint32_t offset, length;
        if (rep_matches(enc, ip + 1, enc.rep[0])) {
            mstart = ip + 1;
            offset = enc.rep[0];
            length = 4 + zstd_count_match(ip + 5, ip + 5 - offset, iend);
        } else if (window.reaches(cur, cand_long) && read_u64le(base + cand_long) == read_u64le(ip)) {
            mstart = ip;
            offset = cur - cand_long;
            length = 8 + zstd_count_match(ip + 8, base + cand_long + 8, iend);
            catch_up(mstart, offset, length, anchor, base);
        } else if (window.reaches(cur, cand_short) && read_u32le(base + cand_short) == read_u32le(ip)) {
            const uint32_t hl1 = hash_long(ip + 1);
            const uint32_t cand_next = long_table[hl1];
            long_table[hl1] = cur + 1;
            length = 4 + zstd_count_match(ip + 4, base + cand_short + 4, iend);
            mstart = ip;
            offset = cur - cand_short;
            if (window.reaches(cur + 1, cand_next) &&
                read_u64le(base + cand_next) == read_u64le(ip + 1)) {
                const uint32_t len1 = 8 + zstd_count_match(ip + 9, base + cand_next + 8, iend);
                if (len1 > length) {
                    mstart = ip + 1;
                    offset = cur + 1 - cand_next;
                    length = len1;
                }
            }
            if (length < uint32_t(p.min_match)) {
                ip += ((ip - anchor) >> 8) + 1;
                continue;
            }
            catch_up(mstart, offset, length, anchor, base);
        } else {
            ip += ((ip - anchor) >> 8) + 1;
            continue;
        }
        zstd_store_sequence(enc, anchor, uint32_t(mstart - anchor), offset, length);
        ip = anchor = mstart + length;
        if (ip <= ilimit) {
            const uint8_t* fill = base + cur + 2;
            if (fill < ip) {
                long_table[hash_long(fill)] = cur + 2;
                short_table[hash_short(fill)] = cur + 2;
            }
            long_table[hash_long(ip - 2)] = uint32_t(ip - 2 - base);
            short_table[hash_short(ip - 2)] = uint32_t(ip - 2 - base);
        }
        repeat_run(enc, ip, anchor, ilimit, iend);
    }
    zstd_store_last_literals(enc, anchor, uint32_t(iend - anchor));
}

void zstd_find_lazy(ZstdEncoder& enc, uint32_t start, uint32_t end) {
    const ZstdParams& p = enc.params;
    const int depth = p.strategy == 1 ? 0 : p.strategy == 2 ? 1 : 2;
    const uint8_t* const base = enc.base;
    const uint8_t* ip = base + start + (start == 0);
    const uint8_t* anchor = base + start;
    const uint8_t* const iend = base + end;
    const uint8_t* const ilimit = iend - 8;
    const uint32_t min_match = uint32_t(std::max(p.min_match, 4));
    // Offsets in the format's terms for the gain rules: repeats count as 1.
    auto cost = [](uint32_t offset, bool repeat) { return highbit32(repeat ? 1 : offset + 3); };
    while (ip < ilimit) {
        uint32_t length = 0, offset = 0;
        bool repeat = false;
        const uint8_t* mstart = ip;
        if (rep_matches(enc, ip + 1, enc.rep[0])) {
            length = 4 + zstd_count_match(ip + 5, ip + 5 - enc.rep[0], iend);
            offset = enc.rep[0];
            repeat = true;
            mstart = ip + 1;
        }
        if (!(repeat && depth == 0)) {
            uint32_t off2 = 0;
            const uint32_t len2 = zstd_find_best_match(enc, ip, iend, &off2, min_match - 1);
            if (len2 > length) {
                length = len2, offset = off2, repeat = false, mstart = ip;
            }
        }
        if (length < min_match) {
            ip += ((ip - anchor) >> 8) + 1;
            continue;
        }
        for (int d = 1; d <= depth && ip < ilimit;) {
            ip++;
            const int bonus = d == 1 ? 4 : 7;
            const int rep_factor = d == 1 ? 3 : 4;
            bool better = false;
            if (!repeat && rep_matches(enc, ip, enc.rep[0])) {
                const uint32_t r = 4 + zstd_count_match(ip + 4, ip + 4 - enc.rep[0], iend);
                if (rep_factor * int(r) > rep_factor * int(length) - cost(offset, repeat) + 1) {
                    length = r, offset = enc.rep[0], repeat = true, mstart = ip;
                    better = true;
                }
            }
            uint32_t off2 = 0;
            const uint32_t len2 = zstd_find_best_match(enc, ip, iend, &off2, min_match - 1);
            if (len2 >= min_match && 4 * int(len2) - highbit32(off2 + 3) >
                                         4 * int(length) - cost(offset, repeat) + bonus) {
                length = len2, offset = off2, repeat = false, mstart = ip;
                better = true;
            }
            if (better) {
                d = 1;  // a better match: look one step further again
                continue;
            }
            d++;
        }
        if (!repeat) catch_up(mstart, offset, length, anchor, base);
        zstd_store_sequence(enc, anchor, uint32_t(mstart - anchor), offset, length);
        ip = anchor = mstart + length;
        repeat_run(enc, ip, anchor, ilimit, iend);
    }
    zstd_store_last_literals(enc, anchor, uint32_t(iend - anchor));
}

// ---------------------------------------------------------------------------
// Optimal parsing.

namespace {

constexpr uint32_t OPT_SPAN = 4096;
constexpr uint32_t INFINITE_PRICE = 1u << 30;

struct OptNode {
    uint32_t price;
    uint32_t offset;
    uint32_t length;  // 0: reached by a literal
    uint32_t lit_len;
    uint32_t rep[3];
};

struct OptWork {
    OptNode nodes[OPT_SPAN + 1];
    Match matches[MAX_MATCHES];
};

uint32_t weight(uint32_t f, int opt_level) {
    const int hb = highbit32(f + 1);
    uint32_t w = 256u * uint32_t(hb);
    if (opt_level >= 2) w += ((f + 1) * 256u) >> hb;
    return w;
}

void zstd_set_base_prices(OptState& s, int lvl) {
    s.lit_base = weight(s.lit_sum, lvl);
    s.ll_base = weight(s.ll_sum, lvl);
    s.ml_base = weight(s.ml_sum, lvl);
    s.of_base = weight(s.of_sum, lvl);
}

uint32_t sum_of(const uint32_t* t, int n) {
    uint32_t s = 0;
    for (int i = 0; i < n; i++) s += t[i];
    return s;
}

void zstd_scale_frequencies(uint32_t* t, int n, int shift_limit) {
    const uint32_t q = sum_of(t, n) >> shift_limit;
    if (q <= 1) return;
    const int shift = highbit32(q);
    for (int i = 0; i < n; i++) t[i] = (t[i] >> shift) + 1;
}

void zstd_init_stats(OptState& s, const uint8_t* src, uint32_t size) {
    uint32_t counts[256] = {};
    for (uint32_t i = 0; i < size; i++) counts[src[i]]++;
    for (int b = 0; b < 256; b++) s.lit_freq[b] = counts[b] ? (counts[b] >> 8) + 1 : 0;
    for (int c = 0; c < 36; c++) s.ll_freq[c] = 1;
    s.ll_freq[0] = 4, s.ll_freq[1] = 2;
    for (int c = 0; c < 53; c++) s.ml_freq[c] = 1;
    static constexpr uint32_t k_offsets[11] = {6, 2, 1, 1, 2, 3, 4, 4, 4, 3, 2};
    for (int c = 0; c < 32; c++) s.of_freq[c] = c < 11 ? k_offsets[c] : 1;
}

void zstd_rescale_stats(OptState& s) {
    zstd_scale_frequencies(s.lit_freq, 256, 12);
    zstd_scale_frequencies(s.ll_freq, 36, 11);
    zstd_scale_frequencies(s.ml_freq, 53, 11);
    zstd_scale_frequencies(s.of_freq, 32, 11);
}

void refresh_sums(OptState& s, int lvl) {
    s.lit_sum = sum_of(s.lit_freq, 256);
    s.ll_sum = sum_of(s.ll_freq, 36);
    s.ml_sum = sum_of(s.ml_freq, 53);
    s.of_sum = sum_of(s.of_freq, 32);
    zstd_set_base_prices(s, lvl);
}

uint32_t zstd_literal_length_price(const OptState& s, uint32_t ll, int lvl) {
    const uint32_t c = ll_code_of(ll);
    return 256u * LL_BITS[c] + s.ll_base - weight(s.ll_freq[c], lvl) + (ll >= 131072 ? 256 : 0);
}

uint32_t literal_price(const OptState& s, uint8_t b, int lvl) {
    return s.lit_base - weight(s.lit_freq[b], lvl);
}

uint32_t zstd_match_price(const OptState& s, uint32_t off_value, uint32_t ml, int lvl) {
    const uint32_t ofc = uint32_t(highbit32(off_value));
    uint32_t price = 256u * ofc + s.of_base - weight(s.of_freq[ofc], lvl) + 51;
    if (lvl == 1 && ofc >= 20) price += 512u * (ofc - 19);
    const uint32_t mlc = ml_code_of(ml);
    return price + 256u * ML_BITS[mlc] + s.ml_base - weight(s.ml_freq[mlc], lvl);
}

void zstd_update_stats(OptState& s, const uint8_t* lits, uint32_t lit_len, uint32_t value,
                       uint32_t ml) {
    for (uint32_t i = 0; i < lit_len; i++) s.lit_freq[lits[i]] += 2;
    s.lit_sum += 2 * lit_len;
    s.ll_freq[ll_code_of(lit_len)]++;
    s.ll_sum++;
    s.of_freq[highbit32(value)]++;
    s.of_sum++;
    s.ml_freq[ml_code_of(ml)]++;
    s.ml_sum++;
}

// Candidates at ip, longer and longer: repeats, a 3-byte match, then the
// chain. Stops at one that reaches the target length or the end.
int zstd_gather_matches(ZstdEncoder& enc, const uint8_t* ip, const uint8_t* iend, const uint32_t* rep,
                        bool ll0, Match* out) {
    const ZstdParams& p = enc.params;
    const uint32_t cur = uint32_t(ip - enc.base);
    const uint32_t target = uint32_t(p.target_length);
    const uint32_t min_match = uint32_t(p.min_match);
    const uint32_t window = 1u << p.window_log;
    int n = 0;
    uint32_t best = min_match - 1;
    const uint32_t reps[3] = {ll0 ? rep[1] : rep[0], ll0 ? rep[2] : rep[1],
                              ll0 ? rep[0] - 1 : rep[2]};
    for (uint32_t r : reps) {
        if (r == 0 || r > cur || r > window) continue;
        const uint32_t len = zstd_count_match(ip, ip - r, iend);
        if (len > best) {
            best = len;
            out[n++] = {r, len};
            if (len >= target || ip + len == iend) return n;
        }
    }
    if (enc.hash3) {
        zstd_bt_update(enc, cur, iend);
        const uint32_t cand = enc.hash3[hash3_at(ip, p.hash3_log)];
        if (cand < cur && cur - cand <= window && cur - cand < (1u << 18)) {
            const uint32_t len = zstd_count_match(ip, enc.base + cand, iend);
            if (len > best) {
                best = len;
                out[n++] = {cur - cand, len};
                if (len >= target || ip + len == iend) return n;
            }
        }
    }
    uint32_t offset = 0;
    zstd_find_best_match(enc, ip, iend, &offset, best, out, &n);
    return n;
}

// Parses [ip, iend) from the anchor onward; the sequences go to the store.
void optimal_pass(ZstdEncoder& enc, uint32_t start, uint32_t end) {
    const ZstdParams& p = enc.params;
    const int lvl = p.strategy - 4;
    OptState& s = *enc.opt;
    OptWork& w = *reinterpret_cast<OptWork*>(enc.opt + 1);
    const uint8_t* const base = enc.base;
    const uint8_t* ip = base + start + (start == 0);
    const uint8_t* anchor = base + start;
    const uint8_t* const iend = base + end;
    const uint8_t* const ilimit = iend - 8;
    const uint32_t target = uint32_t(p.target_length);
    const uint32_t min_match = uint32_t(p.min_match);
    OptNode* opt = w.nodes;
    while (ip < ilimit) {
        const uint32_t lit_len = uint32_t(ip - anchor);
        int nm = zstd_gather_matches(enc, ip, iend, enc.rep, lit_len == 0, w.matches);
        if (nm == 0) {
            ip++;
            continue;
        }
        if (w.matches[nm - 1].length > target || ip + w.matches[nm - 1].length >= iend) {
            const Match m = w.matches[nm - 1];
            const uint32_t value = offset_value(enc.rep, m.offset, lit_len == 0);
            zstd_update_stats(s, anchor, lit_len, value, m.length);
            zstd_store_sequence(enc, anchor, lit_len, m.offset, m.length);
            ip = anchor = ip + m.length;
            zstd_set_base_prices(s, lvl);
            continue;
        }
        opt[0] = {0, 0, 0, lit_len, {enc.rep[0], enc.rep[1], enc.rep[2]}};
        uint32_t last = 0;
        auto relax_from = [&](uint32_t pos, int count) -> bool {
            const OptNode& from = opt[pos];
            const bool ll0 = from.length != 0 || from.lit_len == 0;
            const uint32_t run = from.length ? 0 : from.lit_len;
            const uint32_t lead = from.price + zstd_literal_length_price(s, run, lvl);
            uint32_t len = min_match;
            for (int k = 0; k < count; k++) {
                const Match m = w.matches[k];
                const uint32_t value = offset_value(from.rep, m.offset, ll0);
                const uint32_t top = std::min(m.length, OPT_SPAN - pos);
                for (; len <= top; len++) {
                    const uint32_t at = pos + len;
                    while (last < at) opt[++last].price = INFINITE_PRICE;
                    const uint32_t price = lead + zstd_match_price(s, value, len, lvl);
                    if (price < opt[at].price) {
                        OptNode& node = opt[at];
                        node.price = price;
                        node.offset = m.offset;
                        node.length = len;
                        node.lit_len = run;
                        next_history(from.rep, m.offset, value, ll0, node.rep);
                    }
                }
            }
            return true;
        };
        relax_from(0, nm);
        for (uint32_t pos = 1; pos <= last; pos++) {
            const OptNode& prev = opt[pos - 1];
            const uint32_t run = prev.length ? 1 : prev.lit_len + 1;
            const uint32_t price = prev.price + literal_price(s, ip[pos - 1], lvl);
            if (price < opt[pos].price) {
                OptNode& node = opt[pos];
                node.price = price;
                node.length = 0;
                node.lit_len = run;
                std::memcpy(node.rep, prev.rep, sizeof node.rep);
            }
            if (pos == last || ip + pos >= ilimit || pos >= OPT_SPAN) break;
            const OptNode& here = opt[pos];
            const bool ll0 = here.length != 0 || here.lit_len == 0;
            nm = zstd_gather_matches(enc, ip + pos, iend, here.rep, ll0, w.matches);
            if (nm == 0) continue;
            const Match longest = w.matches[nm - 1];
            relax_from(pos, nm);
            // Long enough, or reaching the end of the span: end the span here.
            if (longest.length > target || pos + longest.length >= OPT_SPAN) break;
        }
        // Walk back from the end of the span.
        uint32_t stack[OPT_SPAN + 1];
        int depth = 0;
        uint32_t at = last;
        while (at > 0) {
            if (opt[at].length) {
                stack[depth++] = at;
                at -= opt[at].length;
            } else {
                at--;
            }
        }
        if (depth == 0) {
            ip += std::max<uint32_t>(1, last);
            continue;
        }
        while (depth > 0) {
            const OptNode& node = opt[stack[--depth]];
            const uint8_t* mstart = ip + stack[depth] - node.length;
            const uint32_t run = uint32_t(mstart - anchor);
            const uint32_t value = offset_value(enc.rep, node.offset, run == 0);
            zstd_update_stats(s, anchor, run, value, node.length);
            zstd_store_sequence(enc, anchor, run, node.offset, node.length);
            anchor = mstart + node.length;
        }
        // The literals after the last match stay for the next span: the
        // tree holds their positions already.
        ip += last;
        zstd_set_base_prices(s, lvl);
    }
    zstd_store_last_literals(enc, anchor, uint32_t(iend - anchor));
}

}  // namespace

size_t zstd_opt_work_size() { return sizeof(OptState) + sizeof(OptWork); }

void zstd_find_optimal(ZstdEncoder& enc, uint32_t start, uint32_t end) {
    OptState& s = *enc.opt;
    const int lvl = enc.params.strategy - 4;
    if (!s.ready) {
        zstd_init_stats(s, enc.base + start, end - start);
        refresh_sums(s, lvl);
        if (enc.params.strategy == 7 && end - start >= 9) {
            // A first pass only to learn the statistics, then the real one.
            uint32_t saved[3];
            std::memcpy(saved, enc.rep, sizeof saved);
            const uint32_t next = enc.next_index;
            optimal_pass(enc, start, end);
            std::memset(enc.hash, 0, sizeof(uint32_t) << enc.params.hash_log);
            if (enc.hash3) std::memset(enc.hash3, 0, sizeof(uint32_t) << enc.params.hash3_log);
            enc.next_index = next;
            std::memcpy(enc.rep, saved, sizeof saved);
            enc.seq.count = 0;
            enc.seq.nlits = 0;
            zstd_set_base_prices(s, lvl);
        }
        s.ready = true;
    } else {
        zstd_rescale_stats(s);
        refresh_sums(s, lvl);
    }
    optimal_pass(enc, start, end);
}

}  // namespace zun::compress
