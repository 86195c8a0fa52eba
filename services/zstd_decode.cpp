#include "services/zstd_decode.hpp"

#include <algorithm>
#include <cstring>

#include "services/xxh64.hpp"
#include "services/zstd_format.hpp"

namespace zun::compress {

namespace {

// ---------------------------------------------------------------------------
// Backward bit stream: the last byte holds a 1 bit above the padding; bits are
// read from the top of a 64-bit container loaded from the end toward the
// start. Reading past the start is an overflow, found at the next reload.

struct BackBits {
    const uint8_t* start;
    const uint8_t* ptr;
    uint64_t container;
    uint32_t consumed;

    bool init(const uint8_t* src, size_t size) {
        if (size == 0 || src[size - 1] == 0) return false;
        start = src;
        const uint32_t padding = 8 - highbit32(src[size - 1]);
        if (size >= 8) {
            ptr = src + size - 8;
            container = read_u64le(ptr);
            consumed = padding;
        } else {
            ptr = src;
            container = 0;
            // The bytes at the bottom; the empty top counts as read.
            for (size_t i = 0; i < size; i++) container |= uint64_t(src[i]) << (8 * i);
            consumed = padding + uint32_t(8 * (8 - size));
        }
        return true;
    }
    // n from 0 to 56.
    uint64_t read(uint32_t n) {
        const uint64_t v = ((container << (consumed & 63)) >> 1) >> (63 - n);
        consumed += n;
        return v;
    }
    uint32_t peek(uint32_t n) const {
        return uint32_t((container << (consumed & 63)) >> (64 - n));
    }
    // False once bits before the start were read.
    bool reload() {
        if (consumed > 64) return false;
        if (ptr >= start + 8) {
            ptr -= consumed >> 3;
            consumed &= 7;
        } else {
            if (ptr == start) return true;
            size_t back = consumed >> 3;
            if (back > size_t(ptr - start)) back = size_t(ptr - start);
            ptr -= back;
            consumed -= uint32_t(back * 8);
        }
        container = read_u64le(ptr);
        return true;
    }
    bool at_start_exactly() const { return ptr == start && consumed == 64; }
    // True while a reload leaves at least 57 bits to read.
    bool fast() const { return ptr >= start + 8; }
};

// ---------------------------------------------------------------------------
// FSE tables.

struct FseEntry {
    uint16_t next_base;  // baseline of the next state
    uint8_t bits;
    uint8_t symbol;
};

// The decoding table of the sequences: the code's value and extra bits
// resolved at build time.
struct SeqEntry {
    uint16_t next_base;
    uint8_t bits;
    uint8_t extra_bits;
    uint32_t base_value;
};

struct SeqTable {
    SeqEntry e[512];
    int log;
};

struct HufTable {
    uint16_t e[1 << HUF_MAX_LOG];  // symbol | bits << 8
    int log;
};

struct ZstdDecoder {
    uint32_t rep[3];
    uint64_t window;  // 0 = no limit
    bool size_from_header;
    SeqTable ll, of, ml;
    HufTable huf;
    int16_t counts[256];
};

// Reads the normalized counts of a table description: accuracy log 5 + the
// low nibble, at most max_log; symbols up to max_symbol; the counts must sum
// to the table size. Answers the bytes used, 0 for a bad description.
size_t fse_read_counts(const uint8_t* src, size_t size, int16_t* counts, int max_symbol,
                       int max_log, int* log_out, int* symbols_out) {
    if (size == 0) return 0;
    size_t bitpos = 0;
    const size_t limit_bits = size * 8;
    auto bits_at = [&](uint32_t n) -> uint32_t {  // n up to 16
        uint32_t v = 0;
        for (uint32_t i = 0; i < n; i++) {
            const size_t b = bitpos + i;
            if (b < limit_bits && (src[b >> 3] >> (b & 7)) & 1) v |= 1u << i;
        }
        return v;
    };
    const int log = 5 + (src[0] & 15);
    if (log > max_log) return 0;
    bitpos = 4;
    int32_t remaining = (1 << log) + 1;
    int32_t threshold = 1 << log;
    uint32_t nbits = uint32_t(log) + 1;
    int symbol = 0;
    bool previous_zero = false;
    while (remaining > 1) {
        if (previous_zero) {
            for (;;) {
                const uint32_t repeat = bits_at(2);
                bitpos += 2;
                for (uint32_t i = 0; i < repeat; i++) {
                    if (symbol > max_symbol) return 0;
                    counts[symbol++] = 0;
                }
                if (repeat != 3) break;
                if (bitpos > limit_bits) return 0;
            }
        }
        if (symbol > max_symbol) return 0;
        const int32_t max = (2 * threshold - 1) - remaining;
        int32_t count;
        const uint32_t low = bits_at(nbits - 1);
        if (int32_t(low) < max) {
            count = int32_t(low);
            bitpos += nbits - 1;
        } else {
            count = int32_t(bits_at(nbits));
            if (count >= threshold) count -= max;
            bitpos += nbits;
        }
        count--;
        remaining -= count < 0 ? -count : count;
        counts[symbol++] = int16_t(count);
        previous_zero = count == 0;
        if (remaining < 1) return 0;
        while (remaining < threshold) {
            nbits--;
            threshold >>= 1;
        }
        if (bitpos > limit_bits) return 0;
    }
    if (remaining != 1 || bitpos > limit_bits) return 0;
    for (int s = symbol; s <= max_symbol; s++) counts[s] = 0;
    *log_out = log;
    *symbols_out = symbol;
    return (bitpos + 7) >> 3;
}

// Spreads the symbols over the table: -1 counts one each from the top, the
// others by the step (size >> 1) + (size >> 3) + 3 past those. False when
// the counts do not fill the table.
bool fse_spread(const int16_t* counts, int symbols, int log, uint8_t* spread) {
    const uint32_t size = 1u << log, mask = size - 1;
    uint32_t high = size - 1;
    for (int s = 0; s < symbols; s++)
        if (counts[s] == -1) spread[high--] = uint8_t(s);
    const uint32_t step = (size >> 1) + (size >> 3) + 3;
    uint32_t pos = 0;
    for (int s = 0; s < symbols; s++) {
        for (int i = 0; i < counts[s]; i++) {
            spread[pos] = uint8_t(s);
            do pos = (pos + step) & mask;
            while (pos > high);
        }
    }
    return pos == 0;
}

// Entries (baseline, bits, symbol) for every state.
bool fse_build_decode_table(const int16_t* counts, int symbols, int log, FseEntry* table) {
    uint8_t spread[512];
    if (!fse_spread(counts, symbols, log, spread)) return false;
    uint16_t next[256];
    for (int s = 0; s < symbols; s++) next[s] = counts[s] == -1 ? 1 : uint16_t(counts[s]);
    const uint32_t size = 1u << log;
    for (uint32_t u = 0; u < size; u++) {
        const uint8_t s = spread[u];
        const uint32_t state = next[s]++;
        const uint32_t bits = uint32_t(log) - uint32_t(highbit32(state));
        table[u] = {uint16_t((state << bits) - size), uint8_t(bits), s};
    }
    return true;
}

enum class SeqKind { LL, OF, ML };

void resolve_seq_table(const FseEntry* fse, int log, SeqKind kind, SeqTable& out) {
    const uint32_t size = 1u << log;
    for (uint32_t u = 0; u < size; u++) {
        const uint8_t s = fse[u].symbol;
        SeqEntry& e = out.e[u];
        e.next_base = fse[u].next_base;
        e.bits = fse[u].bits;
        switch (kind) {
            case SeqKind::LL: e.extra_bits = LL_BITS[s], e.base_value = LL_BASE[s]; break;
            case SeqKind::ML: e.extra_bits = ML_BITS[s], e.base_value = ML_BASE[s]; break;
            case SeqKind::OF:  // the code itself: value = 2^code + extra bits
                e.extra_bits = s;
                e.base_value = s > OF_MAX_CODE ? 0 : 1u << s;
                break;
        }
    }
    out.log = log;
}

struct Predefined {
    SeqTable ll, of, ml;
    Predefined() {
        FseEntry t[64];
        fse_build_decode_table(LL_DEFAULT_COUNTS, 36, LL_DEFAULT_LOG, t);
        resolve_seq_table(t, LL_DEFAULT_LOG, SeqKind::LL, ll);
        fse_build_decode_table(OF_DEFAULT_COUNTS, 29, OF_DEFAULT_LOG, t);
        resolve_seq_table(t, OF_DEFAULT_LOG, SeqKind::OF, of);
        fse_build_decode_table(ML_DEFAULT_COUNTS, 53, ML_DEFAULT_LOG, t);
        resolve_seq_table(t, ML_DEFAULT_LOG, SeqKind::ML, ml);
    }
};

const Predefined& predefined() {
    static const Predefined tables;
    return tables;
}

// One table of the sequences section by its 2-bit mode: 0 predefined, 1 RLE,
// 2 a description, 3 the previous table. Answers the bytes used, or -1.
long fse_select_table(int mode, const uint8_t* src, size_t size, SeqKind kind, SeqTable& table,
                      int16_t* counts) {
    const int max_symbol = kind == SeqKind::LL ? LL_MAX_SYMBOL
                           : kind == SeqKind::OF ? OF_MAX_SYMBOL
                                                 : ML_MAX_SYMBOL;
    const int max_log = kind == SeqKind::LL ? LL_MAX_LOG : kind == SeqKind::OF ? OF_MAX_LOG : ML_MAX_LOG;
    switch (mode) {
        case 0: {
            const Predefined& p = predefined();
            table = kind == SeqKind::LL ? p.ll : kind == SeqKind::OF ? p.of : p.ml;
            return 0;
        }
        case 1: {
            if (size < 1 || src[0] > max_symbol) return -1;
            FseEntry one = {0, 0, src[0]};
            resolve_seq_table(&one, 0, kind, table);
            return 1;
        }
        case 2: {
            int log = 0, symbols = 0;
            const size_t used = fse_read_counts(src, size, counts, max_symbol, max_log, &log, &symbols);
            if (used == 0) return -1;
            FseEntry t[512];
            if (!fse_build_decode_table(counts, symbols, log, t)) return -1;
            resolve_seq_table(t, log, kind, table);
            return long(used);
        }
        default:
            return table.log < 0 ? -1 : 0;
    }
}

// ---------------------------------------------------------------------------
// Huffman literals.

// The FSE-compressed weights: two states taking turns until the stream runs
// out, then the other state's symbol.
int huf_read_fse_weights(const uint8_t* src, size_t size, uint8_t* weights, int16_t* counts) {
    int log = 0, symbols = 0;
    const size_t used = fse_read_counts(src, size, counts, 255, 6, &log, &symbols);
    if (used == 0 || used >= size) return -1;
    FseEntry table[64];
    if (!fse_build_decode_table(counts, symbols, log, table)) return -1;
    BackBits br;
    if (!br.init(src + used, size - used)) return -1;
    uint32_t s1 = uint32_t(br.read(uint32_t(log)));
    uint32_t s2 = uint32_t(br.read(uint32_t(log)));
    if (!br.reload()) return -1;
    int n = 0;
    for (;;) {
        if (n > HUF_MAX_WEIGHTS - 2) return -1;
        weights[n++] = table[s1].symbol;
        s1 = table[s1].next_base + uint32_t(br.read(table[s1].bits));
        if (!br.reload()) {
            weights[n++] = table[s2].symbol;
            break;
        }
        weights[n++] = table[s2].symbol;
        s2 = table[s2].next_base + uint32_t(br.read(table[s2].bits));
        if (!br.reload()) {
            if (n > HUF_MAX_WEIGHTS - 1) return -1;
            weights[n++] = table[s1].symbol;
            break;
        }
    }
    return n;
}

// Reads a Huffman table description into t; answers the bytes used or 0.
size_t huf_read_table(const uint8_t* src, size_t size, HufTable& t, int16_t* counts) {
    if (size < 1) return 0;
    uint8_t weights[256];
    int n;
    size_t used;
    const uint32_t header = src[0];
    if (header < 128) {
        if (header == 0 || header + 1 > size) return 0;
        n = huf_read_fse_weights(src + 1, header, weights, counts);
        if (n < 0) return 0;
        used = header + 1;
    } else {
        n = int(header) - 127;
        used = 1 + (size_t(n) + 1) / 2;
        if (used > size) return 0;
        for (int i = 0; i < n; i++) {
            const uint8_t b = src[1 + i / 2];
            weights[i] = (i & 1) ? (b & 15) : (b >> 4);
        }
    }
    uint32_t sum = 0;
    for (int i = 0; i < n; i++) {
        if (weights[i] > HUF_MAX_LOG) return 0;
        if (weights[i]) sum += 1u << (weights[i] - 1);
    }
    if (sum == 0) return 0;
    const int log = highbit32(sum) + 1;
    if (log > HUF_MAX_LOG) return 0;
    const uint32_t rest = (1u << log) - sum;
    if (rest & (rest - 1)) return 0;
    weights[n++] = uint8_t(highbit32(rest) + 1);
    // Symbols of each weight take consecutive runs of 2^(weight - 1) states,
    // smallest weights first.
    uint32_t start[HUF_MAX_LOG + 2] = {};
    for (int i = 0; i < n; i++)
        if (weights[i]) start[weights[i]] += 1u << (weights[i] - 1);
    uint32_t next = 0;
    for (int w = 1; w <= HUF_MAX_LOG; w++) {
        const uint32_t len = start[w];
        start[w] = next;
        next += len;
    }
    for (int i = 0; i < n; i++) {
        const int w = weights[i];
        if (!w) continue;
        const uint32_t len = 1u << (w - 1);
        const uint16_t entry = uint16_t(i | (log + 1 - w) << 8);
        std::fill(t.e + start[w], t.e + start[w] + len, entry);
        start[w] += len;
    }
    t.log = log;
    return used;
}

template <bool Store>
inline void huf_step(BackBits& br, const uint16_t* e, uint32_t log, uint8_t* dst) {
    const uint16_t v = e[br.peek(log)];
    if constexpr (Store) *dst = uint8_t(v);
    br.consumed += v >> 8;
}

// Literals i to n of one stream, which must then be consumed exactly.
template <bool Store>
bool huf_finish_stream(BackBits& br, const HufTable& t, uint8_t* dst, size_t i, size_t n) {
    const uint32_t log = uint32_t(t.log);
    while (br.fast() && i + 4 <= n) {
        for (int k = 0; k < 4; k++, i++) huf_step<Store>(br, t.e, log, Store ? dst + i : nullptr);
        if (!br.reload()) return false;
    }
    for (; i < n; i++) {
        huf_step<Store>(br, t.e, log, Store ? dst + i : nullptr);
        if (!br.reload()) return false;
    }
    return br.at_start_exactly();
}

// One backward stream into n literals.
template <bool Store>
bool huf_decode_stream(const HufTable& t, const uint8_t* src, size_t size, uint8_t* dst,
                       size_t n) {
    BackBits br;
    return br.init(src, size) && huf_finish_stream<Store>(br, t, dst, 0, n);
}

// Four streams of (n + 3) / 4 literals (the last takes the rest), decoded
// side by side while all four have room.
template <bool Store>
bool huf_decode_4streams(const HufTable& t, const uint8_t* src, const size_t* sizes, uint8_t* dst,
                         size_t n) {
    const size_t seg = (n + 3) / 4;
    const size_t counts[4] = {seg, seg, seg, n - 3 * seg};
    BackBits br[4];
    uint8_t* out[4];
    for (int k = 0; k < 4; k++) {
        if (!br[k].init(src, sizes[k])) return false;
        src += sizes[k];
        out[k] = Store ? dst + k * seg : nullptr;
    }
    const uint32_t log = uint32_t(t.log);
    size_t i = 0;
    while (i + 4 <= counts[3] && br[0].fast() && br[1].fast() && br[2].fast() && br[3].fast()) {
        for (int s = 0; s < 4; s++, i++)
            for (int k = 0; k < 4; k++) huf_step<Store>(br[k], t.e, log, Store ? out[k] + i : nullptr);
        bool ok = true;
        for (int k = 0; k < 4; k++) ok &= br[k].reload();
        if (!ok) return false;
    }
    for (int k = 0; k < 4; k++)
        if (!huf_finish_stream<Store>(br[k], t, out[k], i, counts[k])) return false;
    return true;
}

// ---------------------------------------------------------------------------
// Blocks.

struct FrameOut {
    uint8_t* out;          // null when measuring
    uint64_t frame_start;  // where this frame's output begins
    uint64_t produced;     // the total so far
    uint64_t limit;        // the frame's end: its declared size or the capacity
    uint32_t block_max;
};

inline void copy_match(uint8_t* op, uint32_t offset, size_t length, bool wild) {
    const uint8_t* src = op - offset;
    if (wild) {
        if (offset >= 16) {
            std::memcpy(op, src, 16);
            for (size_t i = 16; i < length; i += 16) std::memcpy(op + i, src + i, 16);
            return;
        }
        if (offset >= 8) {
            for (size_t i = 0; i < length; i += 8) std::memcpy(op + i, src + i, 8);
            return;
        }
        // Small offsets: the first 8 bytes one by one, then 8-byte steps at a
        // multiple of the period.
        for (int i = 0; i < 8; i++) op[i] = src[i];
        static constexpr uint8_t k_stride[8] = {0, 8, 8, 9, 8, 10, 12, 14};
        const uint32_t d = k_stride[offset];
        for (size_t i = 8; i < length; i += 8) std::memcpy(op + i, op + i - d, 8);
        return;
    }
    for (size_t i = 0; i < length; i++) op[i] = src[i];
}

struct Literals {
    const uint8_t* data;  // in the input, in the output, or null when not stored
    size_t size;
    bool in_output;
};

// The literals section: answers the bytes read, or -1 for bad data, -2 when
// the literals do not fit in the output.
template <bool Store>
long decode_literals(const uint8_t* src, size_t size, ZstdDecoder& ctx, FrameOut& fo,
                     Literals& lits) {
    if (size < 1) return -1;
    const int type = src[0] & 3;
    const int format = (src[0] >> 2) & 3;
    if (type < 2) {
        size_t header, n;
        switch (format) {
            case 1: header = 2, n = size >= 2 ? read_u16le(src) >> 4 : 0; break;
            case 3: header = 3, n = size >= 3 ? read_u24le(src) >> 4 : 0; break;
            default: header = 1, n = src[0] >> 3; break;
        }
        if (header > size || n > fo.block_max) return -1;
        if (type == 0) {
            if (n > size - header) return -1;
            lits = {src + header, n, false};
            return long(header + n);
        }
        if (header >= size) return -1;
        if constexpr (Store) {
            if (n > fo.limit - fo.produced) return -2;
            uint8_t* dst = fo.out + fo.limit - n;
            std::memset(dst, src[header], n);
            lits = {dst, n, true};
        } else {
            lits = {nullptr, n, true};
        }
        return long(header + 1);
    }
    // Huffman-coded: one stream or four.
    size_t header, n, csize;
    bool four = format != 0;
    if (format < 2) {
        if (size < 3) return -1;
        const uint32_t v = read_u24le(src);
        header = 3, n = (v >> 4) & 0x3FF, csize = (v >> 14) & 0x3FF;
    } else if (format == 2) {
        if (size < 4) return -1;
        const uint32_t v = read_u32le(src);
        header = 4, n = (v >> 4) & 0x3FFF, csize = v >> 18;
    } else {
        if (size < 5) return -1;
        const uint32_t v = read_u32le(src);
        header = 5, n = (v >> 4) & 0x3FFFF, csize = (v >> 22) | uint32_t(src[4]) << 10;
    }
    if (n > fo.block_max || csize > size - header) return -1;
    if (four && n < 6) return -1;
    const uint8_t* p = src + header;
    size_t left = csize;
    if (type == 2) {
        const size_t used = huf_read_table(p, left, ctx.huf, ctx.counts);
        if (used == 0) return -1;
        p += used, left -= used;
    } else if (ctx.huf.log < 0) {
        return -1;
    }
    uint8_t* dst = nullptr;
    if constexpr (Store) {
        if (n > fo.limit - fo.produced) return -2;
        dst = fo.out + fo.limit - n;
    }
    if (!four) {
        if (!huf_decode_stream<Store>(ctx.huf, p, left, dst, n)) return -1;
    } else {
        if (left < 6) return -1;
        const size_t s1 = read_u16le(p), s2 = read_u16le(p + 2), s3 = read_u16le(p + 4);
        if (s1 + s2 + s3 + 6 >= left) return -1;
        const size_t sizes[4] = {s1, s2, s3, left - 6 - s1 - s2 - s3};
        if (!huf_decode_4streams<Store>(ctx.huf, p + 6, sizes, dst, n)) return -1;
    }
    lits = {dst, n, true};
    return long(header + csize);
}

// Decodes the sequences and executes them. 0, 1 (no room) or 2.
template <bool Store>
int execute_sequences(BackBits bits, uint32_t count, ZstdDecoder& ctx, FrameOut& fo,
                      Literals& lits, const uint8_t* in_end) {
    // A copy of its own: stores to the output cannot touch it, so it stays in
    // registers.
    BackBits br = bits;
    // How far literal copies may read: the input's block, or the frame's end.
    // The frame's fields in locals: stores to the output may alias anything
    // reached through a reference.
    uint8_t* const out = fo.out;
    const uint64_t limit = fo.limit, frame_start = fo.frame_start;
    const uint64_t window = ctx.window ? ctx.window : ~uint64_t(0);
    const bool lits_in_output = lits.in_output;
    const uint8_t* const lit_read_end = !Store ? nullptr : lits_in_output ? out + limit : in_end;
    const SeqTable& llt = ctx.ll;
    const SeqTable& oft = ctx.of;
    const SeqTable& mlt = ctx.ml;
    uint32_t lls = uint32_t(br.read(uint32_t(llt.log)));
    uint32_t ofs = uint32_t(br.read(uint32_t(oft.log)));
    uint32_t mls = uint32_t(br.read(uint32_t(mlt.log)));
    if (!br.reload()) return 2;
    const uint64_t block_start = fo.produced;
    const uint64_t block_end = block_start + fo.block_max;
    uint64_t op = fo.produced;
    const uint8_t* lit = lits.data;
    size_t lits_left = lits.size;
    uint32_t rep0 = ctx.rep[0], rep1 = ctx.rep[1], rep2 = ctx.rep[2];
    for (uint32_t n = 0; n < count; n++) {
        const SeqEntry le = llt.e[lls];
        const SeqEntry oe = oft.e[ofs];
        const SeqEntry me = mlt.e[mls];
        if (oe.extra_bits > OF_MAX_CODE) return 2;
        // After a reload at most 7 bits are used: the extra bits (up to
        // 30 + 16 + 16) and the next states (up to 26) mostly fit without
        // another.
        const uint32_t extra = uint32_t(oe.extra_bits) + me.extra_bits + le.extra_bits;
        uint32_t offset_value = oe.base_value + uint32_t(br.read(oe.extra_bits));
        if (extra > 50 && !br.reload()) return 2;
        const uint32_t ml = me.base_value + uint32_t(br.read(me.extra_bits));
        const uint32_t ll = le.base_value + uint32_t(br.read(le.extra_bits));
        uint32_t offset;
        if (offset_value > 3) {
            offset = offset_value - 3;
            rep2 = rep1, rep1 = rep0, rep0 = offset;
        } else {
            const uint32_t index = offset_value - 1 + (ll == 0);
            if (index == 0) {
                offset = rep0;
            } else {
                offset = index == 1 ? rep1 : index == 2 ? rep2 : rep0 - 1;
                if (index != 1) rep2 = rep1;
                rep1 = rep0;
                rep0 = offset;
            }
        }
        if (n + 1 < count) {
            if (extra > 30 && !br.reload()) return 2;
            lls = le.next_base + uint32_t(br.read(le.bits));
            mls = me.next_base + uint32_t(br.read(me.bits));
            ofs = oe.next_base + uint32_t(br.read(oe.bits));
            if (!br.reload()) return 2;
        }
        if (ll > lits_left) return 2;
        const uint64_t after_lits = op + ll;
        if (offset == 0 || offset > after_lits - frame_start || offset > window) return 2;
        if (limit - op < uint64_t(ml) + lits_left) return 1;
        if (after_lits + ml > block_end) return 2;
        if constexpr (Store) {
            // Whole 16-byte steps may run past the end of the copy when there
            // is room: before the literals still to place, or the frame's end.
            uint8_t* o = out + op;
            const uint8_t* write_end = lits_in_output ? lit : out + limit;
            const bool wild = size_t(write_end - o) >= size_t(ll) + ml + 16;
            if (wild && size_t(lit_read_end - lit) >= size_t(ll) + 16) {
                std::memcpy(o, lit, 16);
                for (size_t i = 16; i < ll; i += 16) std::memcpy(o + i, lit + i, 16);
            } else {
                std::memmove(o, lit, ll);
            }
            copy_match(o + ll, offset, ml, wild);
            lit += ll;
        }
        lits_left -= ll;
        op = after_lits + ml;
    }
    if (!br.reload() || !br.at_start_exactly()) return 2;
    if (op + lits_left > block_end) return 2;
    if (fo.limit - op < lits_left) return 1;
    if constexpr (Store) std::memmove(fo.out + op, lit, lits_left);
    fo.produced = op + lits_left;
    ctx.rep[0] = rep0, ctx.rep[1] = rep1, ctx.rep[2] = rep2;
    return 0;
}

template <bool Store>
int zstd_decode_block(const uint8_t* src, size_t size, ZstdDecoder& ctx, FrameOut& fo) {
    Literals lits;
    const long used = decode_literals<Store>(src, size, ctx, fo, lits);
    if (used == -2) return 1;
    if (used < 0) return 2;
    const uint8_t* p = src + used;
    const uint8_t* end = src + size;
    if (p >= end) return 2;
    uint32_t count = *p++;
    if (count >= 128) {
        if (count == 255) {
            if (end - p < 2) return 2;
            count = read_u16le(p) + 0x7F00;
            p += 2;
        } else {
            if (end - p < 1) return 2;
            count = ((count - 128) << 8) + *p++;
        }
    }
    if (count == 0) {
        if (p != end) return 2;
        if (lits.size > fo.limit - fo.produced) return 1;
        if constexpr (Store) std::memmove(fo.out + fo.produced, lits.data, lits.size);
        fo.produced += lits.size;
        return 0;
    }
    if (p >= end) return 2;
    const uint8_t modes = *p++;
    if (modes & 3) return 2;
    long r = fse_select_table(modes >> 6, p, size_t(end - p), SeqKind::LL, ctx.ll, ctx.counts);
    if (r < 0) return 2;
    p += r;
    r = fse_select_table((modes >> 4) & 3, p, size_t(end - p), SeqKind::OF, ctx.of, ctx.counts);
    if (r < 0) return 2;
    p += r;
    r = fse_select_table((modes >> 2) & 3, p, size_t(end - p), SeqKind::ML, ctx.ml, ctx.counts);
    if (r < 0) return 2;
    p += r;
    BackBits br;
    if (!br.init(p, size_t(end - p))) return 2;
    return execute_sequences<Store>(br, count, ctx, fo, lits, end);
}

constexpr uint64_t NO_LIMIT = ~uint64_t(0) >> 2;

struct BlockHeader {
    bool last;
    uint32_t type;
    uint32_t size;    // the block's content (regenerated size for RLE)
    size_t stored;    // its bytes in the input
};

// The 3-byte block header at pos: false for type 3, a size above the block
// maximum, or a block running past the input.
bool read_block_header(const uint8_t* in, size_t length, size_t pos, uint32_t block_max,
                       BlockHeader& b) {
    if (length - pos < 3) return false;
    const uint32_t bh = read_u24le(in + pos);
    b.last = bh & 1;
    b.type = (bh >> 1) & 3;
    b.size = bh >> 3;
    b.stored = b.type == 1 ? 1 : b.size;
    return b.type != 3 && b.size <= block_max && b.stored <= length - pos - 3;
}

// Walks a frame of known size by its block headers only.
int count_frame_by_headers(const uint8_t* in, size_t length, size_t& pos, uint32_t block_max,
                           uint64_t declared, bool checksum) {
    uint64_t sum = 0;
    for (;;) {
        BlockHeader b;
        if (!read_block_header(in, length, pos, block_max, b)) return 2;
        sum += b.type == 2 ? block_max : b.size;
        pos += 3 + b.stored;
        if (b.last) break;
    }
    if (checksum) {
        if (length - pos < 4) return 2;
        pos += 4;
    }
    return sum >= declared ? 0 : 2;
}

int decode_frame(const uint8_t* in, size_t length, size_t& pos, FrameOut& fo, ZstdDecoder& ctx,
                 int mode) {
    const uint8_t fhd = in[pos + 4];
    if (fhd & 8) return 2;
    const bool single = fhd & 0x20, checksum = fhd & 4;
    static constexpr uint8_t k_did_size[4] = {0, 1, 2, 4};
    const uint32_t fcs_flag = fhd >> 6;
    const size_t did_size = k_did_size[fhd & 3];
    const size_t fcs_size = fcs_flag == 0 ? (single ? 1 : 0) : size_t(1) << fcs_flag;
    const size_t header = 1 + (single ? 0 : 1) + did_size + fcs_size;
    if (header > length - pos - 4) return 2;
    const uint8_t* p = in + pos + 5;
    ctx.window = 0;
    if (!single) {
        const uint32_t wb = *p++;
        const uint32_t exponent = wb >> 3;
        if (exponent > 21) return 2;
        if (exponent < 21) {
            const uint64_t base = uint64_t(1) << (10 + exponent);
            ctx.window = base + (base >> 3) * (wb & 7);
        }
    }
    uint32_t did = 0;
    for (size_t i = 0; i < did_size; i++) did |= uint32_t(p[i]) << (8 * i);
    p += did_size;
    if (did) return 2;
    bool known = fcs_size != 0;
    uint64_t declared = 0;
    switch (fcs_size) {
        case 1: declared = p[0]; break;
        case 2: declared = read_u16le(p) + 256u; break;
        case 4:
            declared = read_u32le(p);
            if (declared >= 0x80000000u) return 2;
            break;
        case 8:
            if (read_u32le(p + 4) != 0) return 2;
            declared = read_u32le(p);
            if (declared >= 0x80000000u) return 2;
            break;
    }
    p += fcs_size;
    uint32_t block_max = ZSTD_BLOCK_MAX;
    if (single) block_max = uint32_t(std::min<uint64_t>(block_max, declared));
    else if (ctx.window) block_max = uint32_t(std::min<uint64_t>(block_max, ctx.window));
    pos = size_t(p - in);
    const bool writing = fo.out != nullptr;
    if (known && declared > fo.limit - fo.produced) return writing ? 1 : 2;
    if (known && !writing && mode == 0) {
        const int r = count_frame_by_headers(in, length, pos, block_max, declared, checksum);
        if (r) return r;
        ctx.size_from_header = true;
        fo.produced += declared;
        return 0;
    }
    FrameOut frame = fo;
    frame.frame_start = fo.produced;
    if (known) frame.limit = fo.produced + declared;
    frame.block_max = block_max;
    ctx.rep[0] = 1, ctx.rep[1] = 4, ctx.rep[2] = 8;
    ctx.ll.log = ctx.of.log = ctx.ml.log = -1;
    ctx.huf.log = -1;
    const int too_small = writing && !known ? 1 : 2;
    for (;;) {
        BlockHeader b;
        if (!read_block_header(in, length, pos, block_max, b)) return 2;
        const uint32_t type = b.type, bsize = b.size;
        const uint8_t* block = in + pos + 3;
        if (type < 2) {
            if (bsize > frame.limit - frame.produced) return too_small;
            if (writing) {
                if (type == 0) std::memcpy(frame.out + frame.produced, block, bsize);
                else std::memset(frame.out + frame.produced, block[0], bsize);
            }
            frame.produced += bsize;
        } else {
            const int r = writing ? zstd_decode_block<true>(block, bsize, ctx, frame)
                                  : zstd_decode_block<false>(block, bsize, ctx, frame);
            if (r == 1) return too_small;
            if (r) return r;
        }
        pos += 3 + b.stored;
        if (b.last) break;
    }
    if (checksum) {
        if (length - pos < 4) return 2;
        if (writing) {
            const uint64_t digest =
                xxh64(frame.out + frame.frame_start, size_t(frame.produced - frame.frame_start));
            if (uint32_t(digest) != read_u32le(in + pos)) return 2;
        }
        pos += 4;
    }
    if (known && frame.produced - frame.frame_start != declared) return 2;
    fo.produced = frame.produced;
    return 0;
}

int decode_frames(const uint8_t* in, size_t length, FrameOut& fo, ZstdDecoder& ctx, int mode) {
    if (length == 0) return 2;
    size_t pos = 0;
    while (pos < length) {
        if (length - pos < 4) return 2;
        const uint32_t magic = read_u32le(in + pos);
        if ((magic & 0xFFFFFFF0u) == SKIPPABLE_MAGIC) {
            if (length - pos < 8) return 2;
            const uint32_t skip = read_u32le(in + pos + 4);
            if (skip >= 0x80000000u || skip > length - pos - 8) return 2;
            pos += 8 + size_t(skip);
            continue;
        }
        if (magic != ZSTD_MAGIC || length - pos < 5) return 2;
        const int r = decode_frame(in, length, pos, fo, ctx, mode);
        if (r) return r;
    }
    return 0;
}

}  // namespace

int zstd_decode_frames(const uint8_t* in, size_t length, uint8_t* out, uint64_t capacity,
                       uint64_t* produced, int mode, bool* size_from_header) {
    ZstdDecoder ctx;
    ctx.size_from_header = false;
    FrameOut fo = {out, 0, 0, out ? capacity : NO_LIMIT, ZSTD_BLOCK_MAX};
    const int r = decode_frames(in, length, fo, ctx, mode);
    *produced = fo.produced;
    if (size_from_header) *size_from_header = ctx.size_from_header;
    return r;
}

int32_t zstd_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length) {
    const size_t n = length > 0 ? size_t(length) : 0;
    const uint64_t capacity = *size > 0 ? uint64_t(*size) : 0;
    uint64_t total = 0;
    if (out) {
        const int r = zstd_decode_frames(in, n, out, capacity, &total, 0, nullptr);
        if (r != 1) {
            *size = int32_t(std::min<uint64_t>(total, 0x7FFFFFFF));
            return r;
        }
    }
    bool from_header = false;
    int r = zstd_decode_frames(in, n, nullptr, 0, &total, 0, &from_header);
    if (r) return r;
    if (from_header && ((total >> 5) >= n || total >= 16777216)) {
        r = zstd_decode_frames(in, n, nullptr, 0, &total, 1, nullptr);
        if (r) return r;
    }
    if (total > 0x7FFFFFFF) return TOO_LARGE;
    if (out && capacity >= total) return BAD_DATA;
    *size = int32_t(total);
    return total == 0 ? DONE : TOO_SMALL;
}

}  // namespace zun::compress
