// Raw deflate (RFC 1951) in one call over the whole input: a hash-chain match
// finder over absolute positions with a 32 KiB window, lazy matching at every
// level, blocks of at most 16,384 tokens, each sent stored, with the fixed
// codes or with dynamic codes, whichever costs fewest bits. The output bytes
// are fixed exactly by these rules (stored data and other programs may compare
// them), so a change to any of them is a change of format.
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/support.hpp"
#include "services/compress.hpp"
#include "services/deflate_tables.hpp"
#include "services/huffman.hpp"

namespace zun::compress {

namespace {

constexpr int HASH_ENTRIES = 1 << 15;
constexpr uint32_t LINK_MASK = 0x7FFF;
constexpr uint16_t NO_LINK = 0xFFFF;
constexpr int MAX_TOKENS = 16384;
constexpr int LITLEN = 286;  // literal/length symbols a dynamic code covers
constexpr int FIXED_LITLEN = 288;
constexpr int DISTANCE = 288;  // first distance symbol in the shared arrays
constexpr int CODE_LENGTH = 320;  // first code-length symbol
constexpr int SYMBOLS = 340;
constexpr int TOO_FAR = 4096;  // a 3-byte match further back is not worth it

struct LevelParameters {
    int good_length, lazy_limit, nice_length, chain_limit;
};
constexpr LevelParameters k_levels[10] = {
    {8, 16, 128, 128},  // no level given: level 6
    {4, 4, 8, 4},     {4, 5, 16, 8},     {4, 6, 32, 32},      {4, 4, 16, 16},     {8, 16, 32, 32},
    {8, 16, 128, 128}, {8, 32, 128, 256}, {32, 128, 258, 1024}, {32, 258, 258, 4096},
};

// The single work area of a call.
struct Work {
    uint32_t head[HASH_ENTRIES];
    // By position & 0x7FFF: how far back the previous position of the same
    // hash lies (16 bits halve the chain walk's cache footprint); NO_LINK for
    // none or too far, which takes any chain past its window.
    uint16_t link[HASH_ENTRIES];
    uint32_t tokens[MAX_TOKENS];  // literal byte, or distance << 8 | length - 3
    uint32_t freq[SYMBOLS];
    uint8_t lengths[SYMBOLS];
    uint16_t codes[SYMBOLS];
    uint8_t fixed_lengths[CODE_LENGTH];
    uint16_t fixed_codes[CODE_LENGTH];
};

int length_code(int v) {  // v = length - 3
    if (v < 8) return v;
    if (v == 255) return 28;
    const int b = std::bit_width(unsigned(v)) - 1 - 2;
    return (v >> b) + 4 * b;
}

int distance_code(int v) {  // v = distance - 1
    if (v <= 3) return v;
    const int b = std::bit_width(unsigned(v)) - 1 - 1;
    return (v >> b) + 2 * b;
}

// Bits least significant first. Bytes are stored only while they fit, but the
// position always advances, so it ends as the size the output needs.
struct BitWriter {
    uint8_t* out;
    int64_t capacity;
    int64_t pos = 0;
    uint64_t buf = 0;
    int count = 0;

    void put_bits(uint32_t value, int n) {
        buf |= uint64_t(value) << count;
        count += n;
        if (count >= 32) flush_bytes();
    }
    void flush_bytes() {
        const int bytes = count >> 3;
        if (pos + 8 <= capacity) {
            std::memcpy(out + pos, &buf, 8);
        } else {
            for (int i = 0; i < bytes; i++)
                if (pos + i < capacity) out[pos + i] = uint8_t(buf >> (8 * i));
        }
        pos += bytes;
        buf = bytes == 8 ? 0 : buf >> (8 * bytes);
        count &= 7;
    }
    // Zero bits up to the next byte boundary.
    void pad() {
        count = (count + 7) & ~7;
        flush_bytes();
    }
    int pending_bits() const { return count & 7; }
};

struct Deflater {
    Work& w;
    BitWriter& bits;
    const uint8_t* in;  // in[p - 1] is the byte at position p
    LevelParameters level;

    uint8_t byte(int64_t p) const { return in[p - 1]; }

    static uint16_t load16(const uint8_t* b) {
        uint16_t v;
        std::memcpy(&v, b, 2);
        return v;
    }

    // Bytes 0 to 2 are equal: the length from byte 3 on, 8 bytes at a time.
    static int match_length(const uint8_t* there, const uint8_t* here, int max_length) {
        int len = 3;
        while (len + 8 <= max_length) {
            uint64_t a, b;
            std::memcpy(&a, there + len, 8);
            std::memcpy(&b, here + len, 8);
            if (const uint64_t x = a ^ b) return len + (std::countr_zero(x) >> 3);
            len += 8;
        }
        while (len < max_length && there[len] == here[len]) len++;
        return len;
    }

    [[gnu::noinline]] int longest_match(uint32_t p, int64_t candidate, int prev_length, int max_length,
                      uint32_t* distance) const {
        if (prev_length >= max_length) return prev_length;
        const int nice = std::min(level.nice_length, max_length);
        const int64_t limit = int64_t(p) - WINDOW;  // signed: NO_LINK may go below 0
        unsigned chain = unsigned(prev_length >= level.good_length ? level.chain_limit >> 2
                                                                   : level.chain_limit);
        int best = prev_length;
        const uint8_t* const base = in - 1;  // base[p] is the byte at position p
        const uint8_t* const here = base + p;
        const uint16_t* const link = w.link;
        const uint16_t here_first = load16(here);
        uint16_t here_best = load16(here + best - 1);
        for (;;) {
            const uint8_t* there = base + candidate;
            // The bytes that decide whether this candidate can beat the best
            // first; byte 2 follows from equal hashes and equal bytes 0 and 1.
            if (load16(there + best - 1) == here_best && load16(there) == here_first) {
                const int len = match_length(there, here, max_length);
                if (len > best) {
                    best = len;
                    *distance = uint32_t(p - candidate);
                    if (len >= nice) break;
                    here_best = load16(here + best - 1);
                }
            }
            candidate -= link[candidate & LINK_MASK];
            if (candidate <= limit || --chain == 0) break;
        }
        return best;
    }

    // Counts one code-length symbol and, when writing, sends it with its extra bits.
    void put_code_length_symbol(int sym, int extra, int extra_bits, bool writing) {
        w.freq[CODE_LENGTH + sym]++;
        if (!writing) return;
        bits.put_bits(w.codes[CODE_LENGTH + sym], w.lengths[CODE_LENGTH + sym]);
        if (extra_bits) bits.put_bits(uint32_t(extra), extra_bits);
    }

    // Run-length codes one list of code lengths with the symbols 16, 17 and 18.
    void code_lengths_rle(const uint8_t* lengths, int count, bool writing) {
        int prev = -1;
        int next = lengths[0];
        int run = 0;
        int max_run = next == 0 ? 138 : 7, min_run = next == 0 ? 3 : 4;
        for (int n = 0; n < count; n++) {
            const int cur = next;
            next = n + 1 < count ? lengths[n + 1] : -1;
            if (++run < max_run && cur == next) continue;
            if (run < min_run) {
                for (; run > 0; run--) put_code_length_symbol(cur, 0, 0, writing);
            } else if (cur != 0) {
                if (cur != prev) {
                    put_code_length_symbol(cur, 0, 0, writing);
                    run--;
                }
                put_code_length_symbol(16, run - 3, 2, writing);
            } else if (run <= 10) {
                put_code_length_symbol(17, run - 3, 3, writing);
            } else {
                put_code_length_symbol(18, run - 11, 7, writing);
            }
            run = 0;
            prev = cur;
            if (next == 0) max_run = 138, min_run = 3;
            else if (cur == next) max_run = 6, min_run = 3;
            else max_run = 7, min_run = 4;
        }
    }

    void put_tokens(int n, const uint8_t* lengths, const uint16_t* codes) {
        for (int i = 0; i < n; i++) {
            const uint32_t t = w.tokens[i];
            if (t < 256) {
                bits.put_bits(codes[t], lengths[t]);
                continue;
            }
            const int v = int(t & 0xFF);
            const int lc = length_code(v);
            bits.put_bits(codes[257 + lc], lengths[257 + lc]);
            if (LENGTH_EXTRA[lc]) bits.put_bits(uint32_t(v + 3 - LENGTH_BASE[lc]), LENGTH_EXTRA[lc]);
            const int d = int(t >> 8) - 1;
            const int dc = distance_code(d);
            bits.put_bits(codes[DISTANCE + dc], lengths[DISTANCE + dc]);
            if (DISTANCE_EXTRA[dc])
                bits.put_bits(uint32_t(d + 1 - DISTANCE_BASE[dc]), DISTANCE_EXTRA[dc]);
        }
        bits.put_bits(codes[END_OF_BLOCK], lengths[END_OF_BLOCK]);
    }

    // Bits the tokens take under a set of lengths, extra bits included.
    int64_t data_cost(const uint8_t* lengths, const uint8_t* distance_lengths) const {
        int64_t cost = 0;
        for (int s = 0; s < LITLEN; s++) {
            const int64_t f = w.freq[s];
            if (!f) continue;
            cost += f * (lengths[s] + (s > 256 ? LENGTH_EXTRA[s - 257] : 0));
        }
        for (int d = 0; d < DISTANCE_CODES; d++)
            cost += int64_t(w.freq[DISTANCE + d]) * (distance_lengths[d] + DISTANCE_EXTRA[d]);
        return cost;
    }

    void flush_block(int64_t start, int64_t end, int tokens, bool final) {
        w.freq[END_OF_BLOCK] = 1;
        huffman_lengths(w.freq, LITLEN, 15, w.lengths);
        w.lengths[286] = w.lengths[287] = 0;
        huffman_lengths(w.freq + DISTANCE, DISTANCE_CODES, 15, w.lengths + DISTANCE);
        int hlit = LITLEN;
        while (hlit > 257 && w.lengths[hlit - 1] == 0) hlit--;
        int hdist = DISTANCE_CODES;
        while (hdist > 1 && w.lengths[DISTANCE + hdist - 1] == 0) hdist--;
        code_lengths_rle(w.lengths, hlit, false);
        code_lengths_rle(w.lengths + DISTANCE, hdist, false);
        huffman_lengths(w.freq + CODE_LENGTH, 19, 7, w.lengths + CODE_LENGTH);
        int hclen = 19;
        while (hclen > 4 && w.lengths[CODE_LENGTH + CODE_LENGTH_ORDER[hclen - 1]] == 0) hclen--;

        int64_t header = 0;
        static constexpr int k_rle_extra[19] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                0, 0, 0, 0, 0, 0, 2, 3, 7};
        for (int s = 0; s < 19; s++)
            header += int64_t(w.freq[CODE_LENGTH + s]) * (w.lengths[CODE_LENGTH + s] + k_rle_extra[s]);
        const int64_t dynamic = 17 + 3 * hclen + header + data_cost(w.lengths, w.lengths + DISTANCE);
        const int64_t fixed = 3 + data_cost(w.fixed_lengths, w.fixed_lengths + DISTANCE);
        const int64_t bytes = end - start + 1;
        const int64_t pieces = std::max<int64_t>((bytes + 65534) / 65535, 1);
        const int pending = bits.pending_bits();
        const int64_t stored = 40 * pieces + ((pending + 10) & ~7) - pending + 32 + 8 * bytes - 40;

        if (stored <= dynamic && stored <= fixed) {
            put_stored(start, bytes, final);
        } else if (dynamic < fixed) {
            bits.put_bits(final ? 1 : 0, 1);
            bits.put_bits(2, 2);
            bits.put_bits(uint32_t(hlit - 257), 5);
            bits.put_bits(uint32_t(hdist - 1), 5);
            bits.put_bits(uint32_t(hclen - 4), 4);
            for (int i = 0; i < hclen; i++)
                bits.put_bits(w.lengths[CODE_LENGTH + CODE_LENGTH_ORDER[i]], 3);
            canonical_codes(w.lengths, FIXED_LITLEN, w.codes);
            canonical_codes(w.lengths + DISTANCE, DISTANCE_CODES, w.codes + DISTANCE);
            canonical_codes(w.lengths + CODE_LENGTH, 19, w.codes + CODE_LENGTH);
            code_lengths_rle(w.lengths, hlit, true);
            code_lengths_rle(w.lengths + DISTANCE, hdist, true);
            put_tokens(tokens, w.lengths, w.codes);
        } else {
            bits.put_bits(final ? 3 : 2, 3);  // BFINAL, then type 1
            put_tokens(tokens, w.fixed_lengths, w.fixed_codes);
        }
        std::memset(w.freq, 0, sizeof w.freq);
    }

    // Pieces of at most 65,535 bytes, each copied only when it fits whole.
    void put_stored(int64_t start, int64_t bytes, bool final) {
        do {
            const int64_t piece = std::min<int64_t>(bytes, 65535);
            bytes -= piece;
            bits.put_bits(final && bytes == 0 ? 1 : 0, 3);
            bits.pad();
            bits.put_bits(uint32_t(piece), 16);
            bits.put_bits(uint32_t(~piece & 0xFFFF), 16);
            bits.flush_bytes();
            if (bits.pos + piece <= bits.capacity) std::memcpy(bits.out + bits.pos, in + start - 1, size_t(piece));
            bits.pos += piece;
            start += piece;
        } while (bytes > 0);
    }

    void run(int64_t length) {
        int hash_bits = 8;
        while (hash_bits < 15 && (int64_t(1) << hash_bits) < length) hash_bits++;
        const uint32_t mask = (1u << hash_bits) - 1;
        std::memset(w.head, 0, sizeof(uint32_t) << hash_bits);
        std::memset(w.freq, 0, sizeof w.freq);
        uint32_t hash = length >= 3 ? uint32_t(byte(1)) << 5 ^ byte(2) : 0;

        int ntokens = 0;
        int64_t block_start = 1, block_end = 0;
        int prev_length = 2;
        int64_t prev_distance = 0;
        bool literal_pending = false;
        // Hashes the three bytes at p and links p into its chain: the previous
        // position of the same hash is the candidate.
        auto insert = [&](int64_t p) {
            hash = ((hash << 5) ^ byte(p + 2)) & mask;
            const uint32_t candidate = w.head[hash];
            w.link[p & LINK_MASK] =
                candidate && p - candidate < NO_LINK ? uint16_t(p - candidate) : NO_LINK;
            w.head[hash] = uint32_t(p);
            return candidate;
        };
        for (int64_t p = 1; p <= length; p++) {
            const uint32_t candidate = p <= length - 2 ? insert(p) : 0;
            int cur_length = 2;
            uint32_t cur_distance = 0;
            if (candidate && p - candidate <= WINDOW - 1 && prev_length < level.lazy_limit) {
                const int max_length = int(std::min<int64_t>(MAX_MATCH, length - p + 1));
                cur_length = longest_match(uint32_t(p), candidate, prev_length, max_length, &cur_distance);
                if (cur_length == 3 && cur_distance > TOO_FAR) cur_length = 2;
            }
            if (prev_length >= 3 && prev_length >= cur_length) {
                w.tokens[ntokens++] = uint32_t(prev_distance << 8) | uint32_t(prev_length - 3);
                w.freq[257 + length_code(prev_length - 3)]++;
                w.freq[DISTANCE + distance_code(int(prev_distance) - 1)]++;
                block_end = p - 1 + prev_length - 1;
                // The rest of the match is skipped, its positions still hashed.
                const int64_t last = block_end;
                const int64_t last_hashed = std::min(last, length - 2);
                while (p < last_hashed) insert(++p);
                p = last;
                prev_length = 2;
                literal_pending = false;
            } else {
                if (literal_pending) {
                    w.tokens[ntokens++] = byte(p - 1);
                    w.freq[byte(p - 1)]++;
                    block_end = p - 1;
                }
                literal_pending = true;
                prev_length = cur_length;
                prev_distance = cur_distance;
            }
            if (ntokens == MAX_TOKENS) {
                flush_block(block_start, block_end, ntokens, false);
                ntokens = 0;
                block_start = block_end + 1;
            }
        }
        if (literal_pending) {
            w.tokens[ntokens++] = byte(length);
            w.freq[byte(length)]++;
            block_end = length;
        }
        flush_block(block_start, block_end, ntokens, true);
        bits.pad();
    }
};

}  // namespace

int32_t deflate(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length, int32_t level) {
    struct Free {
        void operator()(Work* w) const { std::free(w); }
    };
    std::unique_ptr<Work, Free> work(static_cast<Work*>(std::malloc(sizeof(Work))));
    if (!work) support::fire_error(ErrorId::internal_no_memory);
    Work& w = *work;
    for (int s = 0; s < FIXED_LITLEN; s++)
        w.fixed_lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
    for (int d = 0; d < 32; d++) w.fixed_lengths[DISTANCE + d] = 5;
    canonical_codes(w.fixed_lengths, FIXED_LITLEN, w.fixed_codes);
    canonical_codes(w.fixed_lengths + DISTANCE, 32, w.fixed_codes + DISTANCE);

    BitWriter bits{out, out ? int64_t(std::max(*size, 0)) : 0};
    Deflater d{w, bits, in, k_levels[level >= 1 && level <= 9 ? level : level > 9 ? 9 : 0]};
    d.run(length > 0 ? length : 0);
    *size = int32_t(std::min<int64_t>(bits.pos, INT32_MAX));
    return bits.pos > bits.capacity ? TOO_SMALL : DONE;
}

}  // namespace zun::compress
