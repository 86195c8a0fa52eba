// The block writer of the Zstandard compressor: literals (raw, RLE or
// Huffman-coded), sequences (FSE-coded), and the block type decision.
#include "services/zstd_encode.hpp"

#include <algorithm>
#include <cstring>

#include "services/huffman.hpp"
#include "services/zstd_format.hpp"

namespace zun::compress {

namespace {

// Forward bit writer; the backward streams are read from its end.
struct BitOut {
    uint8_t* p;
    uint8_t* end;
    uint64_t acc = 0;
    uint32_t n = 0;
    bool overflow = false;

    BitOut(uint8_t* out, size_t room) : p(out), end(out + room) {}
    void add(uint64_t v, uint32_t bits) {
        acc |= v << n;
        n += bits;
    }
    void flush() {
        const uint32_t bytes = n >> 3;
        if (size_t(end - p) >= 8) {
            std::memcpy(p, &acc, 8);
            p += bytes;
        } else {
            for (uint32_t i = 0; i < bytes; i++) {
                if (p == end) {
                    overflow = true;
                    break;
                }
                *p++ = uint8_t(acc >> (8 * i));
            }
        }
        acc = bytes == 8 ? 0 : acc >> (8 * bytes);
        n &= 7;
    }
    // Closes the stream with a 1 bit; answers its size, 0 when out of room.
    size_t close(uint8_t* start) {
        add(1, 1);
        flush();
        if (n) {
            if (p == end) overflow = true;
            else *p++ = uint8_t(acc);
        }
        return overflow ? 0 : size_t(p - start);
    }
};

// ---------------------------------------------------------------------------
// FSE encoding.

struct FseCTable {
    uint16_t state[512];
    int32_t delta_find[256];
    uint32_t delta_bits[256];
    int log;
};

int fse_table_log(uint32_t count, int max_symbol, int max_log) {
    const int a = std::min(max_log, highbit32(count - 1) - 2);
    const int b = std::min(highbit32(uint32_t(max_symbol)) + 2, highbit32(count) + 1);
    return std::max(5, std::max(a, b));
}

// Scales counts (summing to total) to 2^log: each used symbol gets at least
// one state (-1 when its share is below one); the largest absorbs the rest.
bool fse_normalize(const uint32_t* counts, int max_symbol, uint32_t total, int log,
                   int16_t* norm) {
    const uint64_t size = uint64_t(1) << log;
    int64_t sum = 0;
    for (int s = 0; s <= max_symbol; s++) {
        if (!counts[s]) {
            norm[s] = 0;
            continue;
        }
        const uint64_t v = (uint64_t(counts[s]) * size + total / 2) / total;
        norm[s] = v == 0 ? int16_t(-1) : int16_t(v);
        sum += v == 0 ? 1 : int64_t(v);
    }
    int64_t diff = int64_t(size) - sum;
    while (diff != 0) {
        int best = -1;
        for (int s = 0; s <= max_symbol; s++)
            if (norm[s] > 0 && (best < 0 || norm[s] > norm[best])) best = s;
        if (best < 0) return false;
        if (diff > 0) {
            norm[best] = int16_t(norm[best] + diff);
            diff = 0;
        } else {
            const int64_t take = std::min<int64_t>(-diff, norm[best] - 1);
            if (take == 0) return false;
            norm[best] = int16_t(norm[best] - take);
            diff += take;
        }
    }
    return true;
}

// The table description: answers its size, 0 when out of room.
size_t fse_write_counts(const int16_t* norm, int max_symbol, int log, uint8_t* out, size_t room) {
    uint8_t buf[512];
    size_t pos = 0;
    uint64_t bits = uint64_t(log - 5);
    uint32_t nbits = 4;
    auto flush = [&]() {
        while (nbits >= 8) {
            buf[pos++] = uint8_t(bits);
            bits >>= 8;
            nbits -= 8;
        }
    };
    int32_t remaining = (1 << log) + 1;
    int32_t threshold = 1 << log;
    uint32_t width = uint32_t(log) + 1;
    int symbol = 0;
    bool previous_zero = false;
    while (symbol <= max_symbol && remaining > 1) {
        if (previous_zero) {
            int start = symbol;
            while (symbol <= max_symbol && !norm[symbol]) symbol++;
            if (symbol > max_symbol) break;
            while (symbol >= start + 3) {
                start += 3;
                bits |= uint64_t(3) << nbits;
                nbits += 2;
                flush();
            }
            bits |= uint64_t(symbol - start) << nbits;
            nbits += 2;
            flush();
        }
        int32_t count = norm[symbol++];
        const int32_t max = (2 * threshold - 1) - remaining;
        remaining -= count < 0 ? -count : count;
        count++;
        if (count >= threshold) count += max;
        bits |= uint64_t(uint32_t(count)) << nbits;
        nbits += width;
        if (count < max) nbits--;
        previous_zero = count == 1;
        while (remaining < threshold) {
            width--;
            threshold >>= 1;
        }
        flush();
    }
    if (nbits) buf[pos++] = uint8_t(bits);
    if (pos > room) return 0;
    std::memcpy(out, buf, pos);
    return pos;
}

void fse_build_encode_table(const int16_t* norm, int max_symbol, int log, FseCTable& t) {
    const uint32_t size = 1u << log, mask = size - 1;
    uint8_t symbol_at[512];
    uint32_t cumul[257];
    uint32_t high = size - 1;
    cumul[0] = 0;
    for (int s = 0; s <= max_symbol; s++) {
        if (norm[s] == -1) {
            cumul[s + 1] = cumul[s] + 1;
            symbol_at[high--] = uint8_t(s);
        } else {
            cumul[s + 1] = cumul[s] + uint32_t(norm[s]);
        }
    }
    const uint32_t step = (size >> 1) + (size >> 3) + 3;
    uint32_t pos = 0;
    for (int s = 0; s <= max_symbol; s++) {
        for (int i = 0; i < norm[s]; i++) {
            symbol_at[pos] = uint8_t(s);
            do pos = (pos + step) & mask;
            while (pos > high);
        }
    }
    for (uint32_t u = 0; u < size; u++) t.state[cumul[symbol_at[u]]++] = uint16_t(size + u);
    int32_t total = 0;
    for (int s = 0; s <= max_symbol; s++) {
        const int c = norm[s];
        if (c == 0) {
            t.delta_bits[s] = ((uint32_t(log) + 1) << 16) - size;
        } else if (c == -1 || c == 1) {
            t.delta_bits[s] = (uint32_t(log) << 16) - size;
            t.delta_find[s] = total - 1;
            total++;
        } else {
            const uint32_t max_bits = uint32_t(log) - uint32_t(highbit32(uint32_t(c - 1)));
            t.delta_bits[s] = (max_bits << 16) - (uint32_t(c) << max_bits);
            t.delta_find[s] = total - c;
            total += c;
        }
    }
    t.log = log;
}

struct FseState {
    uint32_t value = 0;
    const FseCTable* t = nullptr;
    void init(const FseCTable& table, uint32_t s) {
        t = &table;
        const uint32_t nb = (t->delta_bits[s] + (1 << 15)) >> 16;
        const uint32_t v = (nb << 16) - t->delta_bits[s];
        value = t->state[(v >> nb) + t->delta_find[s]];
    }
    void encode(BitOut& out, uint32_t s) {
        const uint32_t nb = (value + t->delta_bits[s]) >> 16;
        out.add(value & ((1u << nb) - 1), nb);
        value = t->state[(value >> nb) + t->delta_find[s]];
    }
    void finish(BitOut& out) { out.add(value & ((1u << t->log) - 1), uint32_t(t->log)); }
};

// ---------------------------------------------------------------------------
// Literals.

size_t raw_literals_header(uint8_t* out, uint32_t n, int type) {
    if (n < 32) {
        out[0] = uint8_t(type | n << 3);
        return 1;
    }
    if (n < 4096) {
        write_u16le(out, uint32_t(type) | 1u << 2 | n << 4);
        return 2;
    }
    write_u24le(out, uint32_t(type) | 3u << 2 | n << 4);
    return 3;
}

size_t zstd_write_raw_literals(const uint8_t* lits, uint32_t n, uint8_t* out, size_t room) {
    const size_t header = n < 32 ? 1 : n < 4096 ? 2 : 3;
    if (header + n > room) return 0;
    raw_literals_header(out, n, 0);
    std::memcpy(out + header, lits, n);
    return header + n;
}

// The Huffman weights: FSE-compressed when that pays, else 4 bits each.
size_t zstd_write_huffman_weights(const uint8_t* weights, int n, uint8_t* out) {
    uint32_t counts[13] = {};
    int max_weight = 0;
    for (int i = 0; i < n; i++) {
        counts[weights[i]]++;
        max_weight = std::max<int>(max_weight, weights[i]);
    }
    const uint32_t largest = *std::max_element(counts, counts + 13);
    if (n > 2 && largest > 1 && largest < uint32_t(n)) {
        const int log = fse_table_log(uint32_t(n), max_weight, 6);
        int16_t norm[13];
        uint8_t buf[256];
        if (fse_normalize(counts, max_weight, uint32_t(n), log, norm)) {
            size_t size = fse_write_counts(norm, max_weight, log, buf, sizeof buf);
            FseCTable table;
            fse_build_encode_table(norm, max_weight, log, table);
            BitOut bits(buf + size, sizeof buf - size);
            FseState s1, s2;
            int i = n;
            if (n & 1) {
                s1.init(table, weights[--i]);
                s2.init(table, weights[--i]);
                s1.encode(bits, weights[--i]);
                bits.flush();
            } else {
                s2.init(table, weights[--i]);
                s1.init(table, weights[--i]);
            }
            while (i > 0) {
                s2.encode(bits, weights[--i]);
                s1.encode(bits, weights[--i]);
                bits.flush();
            }
            s2.finish(bits);
            s1.finish(bits);
            const size_t stream = size ? bits.close(buf + size) : 0;
            size += stream;
            if (stream && size < size_t(n) / 2) {
                out[0] = uint8_t(size);
                std::memcpy(out + 1, buf, size);
                return size + 1;
            }
        }
    }
    if (n > 128) return 0;
    out[0] = uint8_t(127 + n);
    for (int i = 0; i < n; i += 2)
        out[1 + i / 2] = uint8_t(weights[i] << 4 | (i + 1 < n ? weights[i + 1] : 0));
    return 1 + size_t(n + 1) / 2;
}

// One backward stream: the last literal first, closed by a 1 bit.
size_t zstd_huffman_stream(const uint8_t* lits, size_t n, const uint16_t* codes,
                           const uint8_t* lengths, uint8_t* out, size_t room) {
    BitOut bits(out, room);
    size_t i = n;
    while (i & 3) {
        --i;
        bits.add(codes[lits[i]], lengths[lits[i]]);
    }
    bits.flush();
    while (i > 0) {
        for (int k = 0; k < 2; k++) {
            --i;
            bits.add(codes[lits[i]], lengths[lits[i]]);
            --i;
            bits.add(codes[lits[i]], lengths[lits[i]]);
        }
        bits.flush();
    }
    return bits.close(out);
}

size_t huffman_literals(const uint8_t* lits, uint32_t n, const uint32_t* counts, int max_symbol,
                        uint8_t* out, size_t room) {
    const size_t header = n < 1024 ? 3 : n < 16384 ? 4 : 5;
    int log = std::min(11, highbit32(n - 1) - 1);
    log = std::max(log, std::min(highbit32(n) + 1, highbit32(uint32_t(max_symbol)) + 2));
    log = std::min(log, 11);
    uint8_t lengths[256] = {};
    huffman_lengths(counts, max_symbol + 1, log, lengths);
    int max_len = 0;
    for (int s = 0; s <= max_symbol; s++) max_len = std::max<int>(max_len, lengths[s]);
    uint64_t kraft = 0, bits_total = 0;
    for (int s = 0; s <= max_symbol; s++) {
        if (lengths[s]) kraft += uint64_t(1) << (max_len - lengths[s]);
        bits_total += uint64_t(counts[s]) * lengths[s];
    }
    if (kraft != uint64_t(1) << max_len || !lengths[max_symbol]) return 0;
    uint8_t weights[256];
    for (int s = 0; s <= max_symbol; s++)
        weights[s] = uint8_t(lengths[s] ? max_len - lengths[s] + 1 : 0);
    uint8_t wbuf[160];
    const size_t wsize = zstd_write_huffman_weights(weights, max_symbol, wbuf);
    if (!wsize) return 0;
    const bool four = n > 255;
    const size_t estimate = wsize + bits_total / 8 + 1 + (four ? 9 : 0);
    if (estimate >= n - (n >> 6) - 2 || estimate + header > room) return 0;
    // Codes in the decoder's order: by weight, then by symbol.
    uint32_t next[HUF_MAX_LOG + 2] = {};
    for (int s = 0; s <= max_symbol; s++)
        if (weights[s]) next[weights[s]] += 1u << (weights[s] - 1);
    uint32_t at = 0;
    for (int w = 1; w <= max_len; w++) {
        const uint32_t len = next[w];
        next[w] = at;
        at += len;
    }
    uint16_t codes[256];
    for (int s = 0; s <= max_symbol; s++) {
        if (!weights[s]) continue;
        codes[s] = uint16_t(next[weights[s]] >> (weights[s] - 1));
        next[weights[s]] += 1u << (weights[s] - 1);
    }
    uint8_t* p = out + header;
    uint8_t* end = out + room;
    std::memcpy(p, wbuf, wsize);
    p += wsize;
    if (!four) {
        const size_t s = zstd_huffman_stream(lits, n, codes, lengths, p, size_t(end - p));
        if (!s) return 0;
        p += s;
    } else {
        if (end - p < 6) return 0;
        uint8_t* jump = p;
        p += 6;
        const size_t seg = (n + 3) / 4;
        for (int k = 0; k < 4; k++) {
            const size_t count = k < 3 ? seg : n - 3 * seg;
            const size_t s =
                zstd_huffman_stream(lits + k * seg, count, codes, lengths, p, size_t(end - p));
            if (!s || (k < 3 && s > 0xFFFF)) return 0;
            if (k < 3) write_u16le(jump + 2 * k, uint32_t(s));
            p += s;
        }
    }
    const uint32_t csize = uint32_t(p - out - header);
    if (csize >= n) return 0;
    const uint32_t format = !four ? 0 : header == 3 ? 1 : header == 4 ? 2 : 3;
    const uint64_t h = 2u | format << 2 | uint64_t(n) << 4 |
                       uint64_t(csize) << (header == 3 ? 14 : header == 4 ? 18 : 22);
    for (size_t i = 0; i < header; i++) out[i] = uint8_t(h >> (8 * i));
    return size_t(p - out);
}

size_t zstd_write_literals(const uint8_t* lits, uint32_t n, uint8_t* out, size_t room) {
    if (n <= 63) return zstd_write_raw_literals(lits, n, out, room);
    uint32_t counts[256] = {};
    for (uint32_t i = 0; i < n; i++) counts[lits[i]]++;
    int max_symbol = 255;
    while (!counts[max_symbol]) max_symbol--;
    const uint32_t largest = *std::max_element(counts, counts + 256);
    if (largest == n) {
        const size_t header = n < 32 ? 1 : n < 4096 ? 2 : 3;
        if (header + 1 > room) return 0;
        raw_literals_header(out, n, 1);
        out[header] = lits[0];
        return header + 1;
    }
    const size_t header = n < 1024 ? 3 : n < 16384 ? 4 : 5;
    if (largest > (n >> 7) + 4 && header + 140 <= room) {
        const size_t size = huffman_literals(lits, n, counts, max_symbol, out, room);
        if (size) return size;
    }
    return zstd_write_raw_literals(lits, n, out, room);
}

// ---------------------------------------------------------------------------
// Sequences.

struct Predefined {
    FseCTable ll, of, ml;
    Predefined() {
        fse_build_encode_table(LL_DEFAULT_COUNTS, LL_MAX_SYMBOL, LL_DEFAULT_LOG, ll);
        fse_build_encode_table(OF_DEFAULT_COUNTS, OF_DEFAULT_MAX, OF_DEFAULT_LOG, of);
        fse_build_encode_table(ML_DEFAULT_COUNTS, ML_MAX_SYMBOL, ML_DEFAULT_LOG, ml);
    }
};

const Predefined& predefined() {
    static const Predefined tables;
    return tables;
}

enum TableMode : int { MODE_PREDEFINED = 0, MODE_RLE = 1, MODE_COMPRESSED = 2 };

// Picks the table of one kind of code and writes its description. Answers
// the mode, or -1 when there is no room.
int zstd_choose_table(const uint8_t* codes, uint32_t count, int default_log, int default_max,
                      int max_log, const FseCTable& predefined_table,
                      FseCTable& table, const FseCTable*& use, uint8_t*& p, uint8_t* end) {
    uint32_t freq[64] = {};
    int top = 0;
    for (uint32_t i = 0; i < count; i++) {
        freq[codes[i]]++;
        top = std::max<int>(top, codes[i]);
    }
    const uint32_t largest = *std::max_element(freq, freq + 64);
    if (largest == count && count > 2) {
        if (p >= end) return -1;
        *p++ = codes[0];
        use = nullptr;
        return MODE_RLE;
    }
    const bool predefined_ok = top <= default_max;
    if (predefined_ok && (largest == count || count < (1u << default_log) ||
                          largest < (count >> (default_log - 1)))) {
        use = &predefined_table;
        return MODE_PREDEFINED;
    }
    if (end - p >= 128) {
        const int log = fse_table_log(count, top, max_log);
        int16_t norm[64];
        if (fse_normalize(freq, top, count, log, norm)) {
            const size_t size = fse_write_counts(norm, top, log, p, size_t(end - p));
            if (size) {
                p += size;
                fse_build_encode_table(norm, top, log, table);
                use = &table;
                return MODE_COMPRESSED;
            }
        }
    }
    if (!predefined_ok) return -1;
    use = &predefined_table;
    return MODE_PREDEFINED;
}

size_t zstd_write_sequences(const SeqStore& seq, uint8_t* out, size_t room) {
    if (room < 4) return 0;
    uint8_t* p = out;
    uint8_t* end = out + room;
    const uint32_t n = seq.count;
    if (n < 128) {
        *p++ = uint8_t(n);
    } else if (n < 0x7F00) {
        *p++ = uint8_t((n >> 8) + 128);
        *p++ = uint8_t(n);
    } else {
        *p++ = 255;
        write_u16le(p, n - 0x7F00);
        p += 2;
    }
    if (n == 0) return size_t(p - out);
    for (uint32_t i = 0; i < n; i++) {
        seq.ll_code[i] = uint8_t(ll_code_of(seq.lit_len[i]));
        seq.ml_code[i] = uint8_t(ml_code_of(seq.match_len[i]));
        seq.of_code[i] = uint8_t(highbit32(seq.off_value[i]));
    }
    uint8_t* modes = p++;
    const Predefined& pre = predefined();
    FseCTable ll_table, of_table, ml_table;
    const FseCTable *ll_use, *of_use, *ml_use;
    const int ll_mode = zstd_choose_table(seq.ll_code, n, LL_DEFAULT_LOG, LL_MAX_SYMBOL,
                                          LL_MAX_LOG, pre.ll, ll_table, ll_use, p, end);
    if (ll_mode < 0) return 0;
    const int of_mode = zstd_choose_table(seq.of_code, n, OF_DEFAULT_LOG, OF_DEFAULT_MAX,
                                          OF_MAX_LOG, pre.of, of_table, of_use, p, end);
    if (of_mode < 0) return 0;
    const int ml_mode = zstd_choose_table(seq.ml_code, n, ML_DEFAULT_LOG, ML_MAX_SYMBOL,
                                          ML_MAX_LOG, pre.ml, ml_table, ml_use, p, end);
    if (ml_mode < 0) return 0;
    *modes = uint8_t(ll_mode << 6 | of_mode << 4 | ml_mode << 2);

    BitOut bits(p, size_t(end - p));
    FseState ll, of, ml;
    const uint32_t last = n - 1;
    if (ml_use) ml.init(*ml_use, seq.ml_code[last]);
    if (of_use) of.init(*of_use, seq.of_code[last]);
    if (ll_use) ll.init(*ll_use, seq.ll_code[last]);
    auto extras = [&](uint32_t i) {
        const uint32_t llc = seq.ll_code[i], mlc = seq.ml_code[i], ofc = seq.of_code[i];
        bits.add(seq.lit_len[i] - LL_BASE[llc], LL_BITS[llc]);
        bits.add(seq.match_len[i] - ML_BASE[mlc], ML_BITS[mlc]);
        bits.flush();
        bits.add(seq.off_value[i] - (1u << ofc), ofc);
        bits.flush();
    };
    extras(last);
    for (uint32_t i = last; i-- > 0;) {
        if (of_use) of.encode(bits, seq.of_code[i]);
        if (ml_use) ml.encode(bits, seq.ml_code[i]);
        if (ll_use) ll.encode(bits, seq.ll_code[i]);
        bits.flush();
        extras(i);
        if (bits.overflow) return 0;
    }
    if (ml_use) ml.finish(bits);
    if (of_use) of.finish(bits);
    if (ll_use) ll.finish(bits);
    const size_t stream = bits.close(p);
    if (!stream) return 0;
    return size_t(p - out) + stream;
}

// ---------------------------------------------------------------------------
// Blocks.

enum BlockKind { RAW_BLOCK = 0, RLE_BLOCK = 1, COMPRESSED_BLOCK = 2 };

// One block of these sequences over src: compressed within the budget, else
// RLE when every byte is the same, else raw. Answers the bytes written.
size_t zstd_write_block(const SeqStore& seq, const uint8_t* src, uint32_t size, bool last,
                        uint8_t* out, BlockKind* kind) {
    const int64_t budget = int64_t(size) - (size >> 6) - 3;
    size_t compressed = 0;
    if (budget > 1) {
        const size_t lits = zstd_write_literals(seq.literals, seq.nlits, out + 3, size_t(budget - 1));
        if (lits) {
            const size_t seqs = zstd_write_sequences(seq, out + 3 + lits, size_t(budget) - lits);
            if (seqs) compressed = lits + seqs;
        }
    }
    auto all_same = [&]() {
        for (uint32_t i = 1; i < size; i++)
            if (src[i] != src[0]) return false;
        return true;
    };
    if (size > 0 && compressed <= 24 && all_same()) {
        write_u24le(out, uint32_t(last) | 1u << 1 | size << 3);
        out[3] = src[0];
        *kind = RLE_BLOCK;
        return 4;
    }
    if (compressed == 0 || int64_t(compressed) > budget) {
        write_u24le(out, uint32_t(last) | size << 3);
        if (size) std::memcpy(out + 3, src, size);
        *kind = RAW_BLOCK;
        return 3 + size_t(size);
    }
    write_u24le(out, uint32_t(last) | 2u << 1 | uint32_t(compressed) << 3);
    *kind = COMPRESSED_BLOCK;
    return 3 + compressed;
}

// ---------------------------------------------------------------------------
// The block splitter (optimal parsing on large inputs): halves of the
// sequences that code smaller apart become blocks of their own.

constexpr uint32_t SPLIT_MIN_SEQUENCES = 300;
constexpr int SPLIT_MAX_POINTS = 196;

struct Splitter {
    const SeqStore& seq;
    uint32_t* lit_start;  // literals before each sequence
    uint8_t* scratch;
    size_t room;
    uint32_t points[SPLIT_MAX_POINTS];
    int count = 0;
};

// The sequences [first, end) as a store of their own; the last part takes
// the literals after the last sequence.
SeqStore zstd_partition_stats(const SeqStore& s, const uint32_t* lit_start, uint32_t first,
                              uint32_t end) {
    SeqStore part = s;
    part.lit_len += first, part.match_len += first, part.off_value += first;
    part.ll_code += first, part.ml_code += first, part.of_code += first;
    part.literals += lit_start[first];
    part.count = end - first;
    part.nlits = (end == s.count ? s.nlits : lit_start[end]) - lit_start[first];
    return part;
}

// The compressed size of a part, written to scratch (large when it fails).
size_t zstd_estimate_part(Splitter& sp, uint32_t first, uint32_t end) {
    const SeqStore part = zstd_partition_stats(sp.seq, sp.lit_start, first, end);
    const size_t lits = zstd_write_literals(part.literals, part.nlits, sp.scratch, sp.room);
    const size_t seqs = lits ? zstd_write_sequences(part, sp.scratch + lits, sp.room - lits) : 0;
    return seqs ? 3 + lits + seqs : ~size_t(0) >> 2;
}

void zstd_split_recurse(Splitter& sp, uint32_t first, uint32_t end) {
    if (end - first < SPLIT_MIN_SEQUENCES || sp.count >= SPLIT_MAX_POINTS) return;
    const uint32_t mid = (first + end) / 2;
    const size_t whole = zstd_estimate_part(sp, first, end);
    const size_t halves = zstd_estimate_part(sp, first, mid) + zstd_estimate_part(sp, mid, end);
    if (halves >= whole) return;
    zstd_split_recurse(sp, first, mid);
    if (sp.count < SPLIT_MAX_POINTS) sp.points[sp.count++] = mid;
    zstd_split_recurse(sp, mid, end);
}

// Offsets coded for the history a part starts from: a part stored raw or
// RLE leaves the decoder's history as it was, so later parts recode theirs.
void zstd_replay_offsets(const SeqStore& part, const uint32_t* offsets, uint32_t* rep) {
    for (uint32_t i = 0; i < part.count; i++) {
        const bool ll0 = part.lit_len[i] == 0;
        part.off_value[i] = offset_value(rep, offsets[i], ll0);
        next_history(rep, offsets[i], part.off_value[i], ll0, rep);
    }
}

// Writes the block as its parts; 0 when it does not split or the parts
// take more than the block's budget.
size_t zstd_split_block(ZstdEncoder& enc, const uint8_t* src, uint32_t size, bool last, uint8_t* out,
                        const uint32_t* saved_rep) {
    SeqStore& seq = enc.seq;
    Splitter sp{seq, enc.split_lits, enc.split_scratch, enc.params.block_size + 512, {}, 0};
    uint32_t at = 0;
    uint32_t rep[3] = {saved_rep[0], saved_rep[1], saved_rep[2]};
    for (uint32_t i = 0; i < seq.count; i++) {
        sp.lit_start[i] = at;
        at += seq.lit_len[i];
        // The plain offsets, for recoding.
        const bool ll0 = seq.lit_len[i] == 0;
        enc.split_offsets[i] = offset_of_value(rep, seq.off_value[i], ll0);
        next_history(rep, enc.split_offsets[i], seq.off_value[i], ll0, rep);
    }
    zstd_split_recurse(sp, 0, seq.count);
    if (sp.count == 0) return 0;
    const int64_t budget = int64_t(size) - (size >> 6) - 3;
    std::memcpy(rep, saved_rep, sizeof rep);
    uint8_t* op = out;
    const uint8_t* part_src = src;
    for (int k = 0; k <= sp.count; k++) {
        const uint32_t first = k == 0 ? 0 : sp.points[k - 1];
        const uint32_t end = k == sp.count ? seq.count : sp.points[k];
        const SeqStore part = zstd_partition_stats(seq, sp.lit_start, first, end);
        uint32_t part_size = part.nlits;
        for (uint32_t i = 0; i < part.count; i++) part_size += part.match_len[i];
        uint32_t after[3] = {rep[0], rep[1], rep[2]};
        zstd_replay_offsets(part, enc.split_offsets + first, after);
        BlockKind kind;
        op += zstd_write_block(part, part_src, part_size, last && k == sp.count, op, &kind);
        if (kind == COMPRESSED_BLOCK) std::memcpy(rep, after, sizeof rep);
        part_src += part_size;
        if (op - out > budget) return 0;
    }
    std::memcpy(enc.rep, rep, sizeof rep);
    return size_t(op - out);
}

}  // namespace

void zstd_store_sequence(ZstdEncoder& enc, const uint8_t* anchor, uint32_t lit_len,
                         uint32_t offset, uint32_t match_len) {
    SeqStore& s = enc.seq;
    std::memcpy(s.literals + s.nlits, anchor, lit_len);
    s.nlits += lit_len;
    const uint32_t value = offset_value(enc.rep, offset, lit_len == 0);
    next_history(enc.rep, offset, value, lit_len == 0, enc.rep);
    s.lit_len[s.count] = lit_len;
    s.match_len[s.count] = match_len;
    s.off_value[s.count] = value;
    s.count++;
}

void zstd_store_last_literals(ZstdEncoder& enc, const uint8_t* anchor, uint32_t lit_len) {
    std::memcpy(enc.seq.literals + enc.seq.nlits, anchor, lit_len);
    enc.seq.nlits += lit_len;
}

size_t zstd_compress_block(ZstdEncoder& enc, uint32_t pos, uint32_t size, bool last, uint8_t* out) {
    uint32_t saved[3];
    std::memcpy(saved, enc.rep, sizeof saved);
    enc.seq.count = 0;
    enc.seq.nlits = 0;
    const int64_t budget = int64_t(size) - (size >> 6) - 3;
    if (budget > 1) {
        switch (enc.params.strategy) {
            case 0: zstd_find_fast(enc, pos, pos + size); break;
            case 1:
            case 2:
            case 3:
            case 4: zstd_find_lazy(enc, pos, pos + size); break;
            default: zstd_find_optimal(enc, pos, pos + size); break;
        }
    }
    if (enc.params.splitter && enc.seq.count >= SPLIT_MIN_SEQUENCES) {
        const size_t written = zstd_split_block(enc, enc.base + pos, size, last, out, saved);
        if (written) return written;
        // The sequences as first coded, for the history the block starts from.
        std::memcpy(enc.rep, saved, sizeof saved);
        zstd_replay_offsets(enc.seq, enc.split_offsets, enc.rep);
    }
    BlockKind kind;
    const size_t written = zstd_write_block(enc.seq, enc.base + pos, size, last, out, &kind);
    if (kind != COMPRESSED_BLOCK) std::memcpy(enc.rep, saved, sizeof saved);
    return written;
}

}  // namespace zun::compress
