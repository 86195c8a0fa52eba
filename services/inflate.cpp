// Raw deflate (RFC 1951) decoding from one byte range into another.
//
// Table-driven: a primary table indexed by the next bits of the input, with
// sub-tables for longer codes; a 64-bit bit buffer refilled a word at a time.
// Past the input's end the reader supplies zero bytes and counts them, so a
// stream that needs bits it does not have is caught (bad data) rather than
// decoded from zeros. Nothing is allocated: the tables live in the call's frame.
#include <cstring>

#include "services/compress.hpp"
#include "services/deflate_tables.hpp"
#include "services/huffman.hpp"

namespace zun::compress {

namespace {

// A table entry: bits 0-4 the code length (for a link, the sub-table's index
// bits), bits 5-7 the kind, bits 8-11 extra bits to read, bits 16-31 a value
// (literal byte, length or distance base, sub-table offset).
enum Kind : uint32_t { LITERAL = 0, MATCH = 1, END = 2, LINK = 3, BAD = 4 };
constexpr uint32_t entry(uint32_t value, Kind kind, uint32_t extra = 0, uint32_t length = 0) {
    return value << 16 | extra << 8 | uint32_t(kind) << 5 | length;
}
constexpr Kind kind_of(uint32_t e) { return Kind((e >> 5) & 7); }
constexpr int length_of(uint32_t e) { return int(e & 31); }
constexpr int extra_of(uint32_t e) { return int((e >> 8) & 15); }
constexpr uint32_t value_of(uint32_t e) { return e >> 16; }

constexpr int LITLEN_SYMBOLS = 288;
constexpr int DISTANCE_SYMBOLS = 32;
constexpr int CODE_LENGTH_SYMBOLS = 19;
constexpr int MAX_LENGTHS = 286 + 30;
constexpr int LITLEN_BITS = 10;
constexpr int DISTANCE_BITS = 8;
constexpr int CODE_LENGTH_BITS = 7;
// Room for the worst incomplete code: a sub-table per long code.
constexpr int LITLEN_TABLE = (1 << LITLEN_BITS) + LITLEN_SYMBOLS * (1 << (15 - LITLEN_BITS));
constexpr int DISTANCE_TABLE = (1 << DISTANCE_BITS) + DISTANCE_SYMBOLS * (1 << (15 - DISTANCE_BITS));
constexpr int CODE_LENGTH_TABLE = 1 << CODE_LENGTH_BITS;

// What each symbol stands for, its code length still to be added.
struct Meanings {
    uint32_t litlen[LITLEN_SYMBOLS];
    uint32_t distance[DISTANCE_SYMBOLS];
    uint32_t code_length[CODE_LENGTH_SYMBOLS];
};
constexpr Meanings make_meanings() {
    Meanings m{};
    for (int s = 0; s < 256; s++) m.litlen[s] = entry(uint32_t(s), LITERAL);
    m.litlen[END_OF_BLOCK] = entry(0, END);
    for (int s = 0; s < LENGTH_CODES; s++)
        m.litlen[257 + s] = entry(LENGTH_BASE[s], MATCH, LENGTH_EXTRA[s]);
    m.litlen[286] = m.litlen[287] = entry(0, BAD);
    for (int s = 0; s < DISTANCE_CODES; s++)
        m.distance[s] = entry(DISTANCE_BASE[s], MATCH, DISTANCE_EXTRA[s]);
    m.distance[30] = m.distance[31] = entry(0, BAD);
    for (int s = 0; s < CODE_LENGTH_SYMBOLS; s++) m.code_length[s] = entry(uint32_t(s), LITERAL);
    return m;
}
constexpr Meanings k_meanings = make_meanings();

// Bits least significant first. Past the end the buffer fills with zero bytes,
// counted in overrun: bits consumed from them mean the input was too short.
struct BitReader {
    const uint8_t* p;
    const uint8_t* end;
    uint64_t buf = 0;
    int count = 0;  // valid bits in buf (the bits above them are 0 or the next input bits)
    int overrun = 0;

    // At least 56 bits in the buffer.
    void refill() {
        if (end - p >= 8) {
            uint64_t word;
            std::memcpy(&word, p, 8);
            buf |= word << count;
            p += (63 - count) >> 3;
            count |= 56;
            return;
        }
        while (count <= 56) {
            if (p < end) buf |= uint64_t(*p++) << count;
            else overrun++;
            count += 8;
        }
    }
    bool overran() const { return count < 8 * overrun; }
    void drop(int n) {
        buf >>= n;
        count -= n;
    }
    // n <= 32 bits, the buffer refilled first when short.
    uint32_t get_bits(int n) {
        if (count < n) refill();
        const uint32_t v = uint32_t(buf & ((uint64_t(1) << n) - 1));
        drop(n);
        return v;
    }
    // Real input bits not yet consumed.
    int64_t bits_left() const { return int64_t(count) - 8 * overrun + 8 * (end - p); }
    // Drops the bits up to the next byte; answers the first unread byte.
    const uint8_t* align() {
        drop(count & 7);
        return p - (count / 8 - overrun);
    }
    void restart_at(const uint8_t* at) {
        p = at;
        buf = 0;
        count = 0;
        overrun = 0;
    }
};

// A decoding table from code lengths (canonical codes): false for an
// over-subscribed code. Patterns an incomplete code leaves out decode as BAD.
bool build_decode_table(uint32_t* table, int primary, const uint8_t* lengths, int n,
                        const uint32_t* meanings) {
    int count[16] = {};
    for (int s = 0; s < n; s++) count[lengths[s]]++;
    int max = 15;
    while (max > 0 && count[max] == 0) max--;
    const uint32_t bad = entry(0, BAD);
    for (int i = 0; i < (1 << primary); i++) table[i] = bad;
    if (max == 0) return true;  // no symbol: nothing decodes
    int left = 1;
    for (int len = 1; len <= 15; len++) {
        left = (left << 1) - count[len];
        if (left < 0) return false;
    }
    int offsets[17] = {};
    for (int len = 1; len <= 15; len++) offsets[len + 1] = offsets[len] + count[len];
    uint16_t sorted[LITLEN_SYMBOLS];
    for (int s = 0; s < n; s++)
        if (lengths[s]) sorted[offsets[lengths[s]]++] = uint16_t(s);
    const int total = n - count[0];  // symbols with a code
    const uint32_t primary_mask = (1u << primary) - 1;
    uint32_t code = 0;
    int next_free = 1 << primary;
    int64_t prefix = -1;
    int sub_base = 0, sub_bits = 0;
    for (int i = 0; i < total; i++) {
        const int s = sorted[i];
        const int len = lengths[s];
        const uint32_t reversed = reverse_bits16(code) >> (16 - len);
        const uint32_t e = meanings[s] | uint32_t(len);
        if (len <= primary) {
            for (uint32_t j = reversed; j < (1u << primary); j += 1u << len) table[j] = e;
        } else {
            if (int64_t(reversed & primary_mask) != prefix) {
                prefix = reversed & primary_mask;
                sub_bits = len - primary;
                int room = 1 << sub_bits;
                while (sub_bits + primary < max) {
                    room -= count[sub_bits + primary];
                    if (room <= 0) break;
                    sub_bits++;
                    room <<= 1;
                }
                sub_base = next_free;
                next_free += 1 << sub_bits;
                for (int j = 0; j < (1 << sub_bits); j++) table[sub_base + j] = bad;
                table[prefix] = entry(uint32_t(sub_base), LINK, 0, uint32_t(sub_bits));
            }
            for (uint32_t j = reversed >> primary; j < (1u << sub_bits); j += 1u << (len - primary))
                table[sub_base + int(j)] = e;
        }
        count[len]--;
        code++;
        if (i + 1 < total) code <<= lengths[sorted[i + 1]] - len;
    }
    return true;
}

// The entry of the next code; BAD entries consume nothing.
inline uint32_t decode_symbol(BitReader& in, const uint32_t* table, int primary) {
    uint32_t e = table[in.buf & ((1u << primary) - 1)];
    if (kind_of(e) == LINK)
        e = table[value_of(e) + ((in.buf >> primary) & ((1u << length_of(e)) - 1))];
    in.drop(length_of(e));
    return e;
}

struct Tables {
    uint32_t litlen[LITLEN_TABLE];
    uint32_t distance[DISTANCE_TABLE];
};

const Tables& fixed_tables() {
    static const Tables tables = [] {
        Tables t;
        uint8_t lengths[LITLEN_SYMBOLS];
        for (int s = 0; s < LITLEN_SYMBOLS; s++)
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        build_decode_table(t.litlen, LITLEN_BITS, lengths, LITLEN_SYMBOLS, k_meanings.litlen);
        uint8_t distance[DISTANCE_SYMBOLS];
        std::memset(distance, 5, sizeof distance);
        build_decode_table(t.distance, DISTANCE_BITS, distance, DISTANCE_SYMBOLS,
                           k_meanings.distance);
        return t;
    }();
    return tables;
}

// Reads a dynamic block's header into the tables; false for bad data.
bool read_dynamic_header(BitReader& in, Tables& t) {
    in.refill();
    const int hlit = int(in.get_bits(5)) + 257;
    const int hdist = int(in.get_bits(5)) + 1;
    const int hclen = int(in.get_bits(4)) + 4;
    if (hlit > 286 || hdist > 30) return false;
    uint8_t lengths[MAX_LENGTHS] = {};
    uint8_t code_lengths[CODE_LENGTH_SYMBOLS] = {};
    in.refill();
    for (int i = 0; i < hclen; i++) code_lengths[CODE_LENGTH_ORDER[i]] = uint8_t(in.get_bits(3));
    uint32_t table[CODE_LENGTH_TABLE];
    if (!build_decode_table(table, CODE_LENGTH_BITS, code_lengths, CODE_LENGTH_SYMBOLS,
                            k_meanings.code_length))
        return false;
    const int total = hlit + hdist;
    for (int i = 0; i < total;) {
        in.refill();
        if (in.overran()) return false;
        const uint32_t e = decode_symbol(in, table, CODE_LENGTH_BITS);
        if (kind_of(e) == BAD) return false;
        const int sym = int(value_of(e));
        if (sym < 16) {
            lengths[i++] = uint8_t(sym);
            continue;
        }
        int repeat;
        uint8_t value = 0;
        if (sym == 16) {
            if (i == 0) return false;
            value = lengths[i - 1];
            repeat = 3 + int(in.get_bits(2));
        } else if (sym == 17) {
            repeat = 3 + int(in.get_bits(3));
        } else {
            repeat = 11 + int(in.get_bits(7));
        }
        if (i + repeat > total) return false;
        std::memset(lengths + i, value, size_t(repeat));
        i += repeat;
    }
    if (in.overran()) return false;
    return build_decode_table(t.litlen, LITLEN_BITS, lengths, hlit, k_meanings.litlen) &&
           build_decode_table(t.distance, DISTANCE_BITS, lengths + hlit, hdist,
                              k_meanings.distance);
}

// Copies a match that has room for 8 bytes past its end. Overlapping copies
// repeat the pattern: whole words read bytes already written when the
// distance is at least 8; the last word may write a little past the match.
inline void copy_match(uint8_t* dst, int64_t distance, int length) {
    const uint8_t* src = dst - distance;
    if (distance >= 8) {
        for (int i = 0; i < length; i += 8) {
            uint64_t w;
            std::memcpy(&w, src + i, 8);
            std::memcpy(dst + i, &w, 8);
        }
    } else if (distance == 1) {
        std::memset(dst, *src, size_t(length));
    } else {
        for (int i = 0; i < length; i++) dst[i] = src[i];
    }
}

// The output: every byte is counted, stored only while there is room.
struct Output {
    uint8_t* out;
    int64_t capacity;
    int64_t pos = 0;

    void literal(uint8_t byte) {
        if (pos < capacity) out[pos] = byte;
        pos++;
    }
    void copy(int64_t distance, int length) {
        if (pos >= capacity) {  // measuring only
            pos += length;
            return;
        }
        if (pos + length + 8 <= capacity) {
            copy_match(out + pos, distance, length);
            pos += length;
            return;
        }
        for (int i = 0; i < length; i++, pos++)
            if (pos < capacity) out[pos] = out[pos - distance];
    }
};

// The fast loop: while the input has a whole word to spare and the output
// room for a literal, a match and a word-copy overshoot, with the reader's
// state in locals. Answers DONE at the end of block, -1 when it must hand over
// to the careful loop, or an error.
constexpr int FAST_INPUT = 16;
constexpr int FAST_OUTPUT = 2 * MAX_MATCH + 16;

int32_t inflate_fast(BitReader& in, Output& out, const uint32_t* litlen, const uint32_t* distance) {
    const uint8_t* p = in.p;
    uint64_t buf = in.buf;
    int count = in.count;
    uint8_t* const start = out.out;
    uint8_t* o = start + out.pos;
    const uint8_t* const p_limit = in.end - FAST_INPUT;
    uint8_t* const o_limit = start + out.capacity - FAST_OUTPUT;
    int32_t r = -1;
    auto refill = [&] {
        uint64_t word;
        std::memcpy(&word, p, 8);
        buf |= word << count;
        p += (63 - count) >> 3;
        count |= 56;
    };
    auto lookup = [&](const uint32_t* table, int bits) {
        uint32_t e = table[buf & ((1u << bits) - 1)];
        if (kind_of(e) == LINK) e = table[value_of(e) + ((buf >> bits) & ((1u << length_of(e)) - 1))];
        return e;
    };
    auto drop = [&](int n) {
        buf >>= n;
        count -= n;
    };
    auto take = [&](int n) {
        const uint32_t v = uint32_t(buf & ((uint64_t(1) << n) - 1));
        drop(n);
        return v;
    };
    // The next symbol's entry is looked up before the current one's output
    // is written, so the two overlap.
    refill();
    uint32_t e = lookup(litlen, LITLEN_BITS);
    while (p < p_limit && o < o_limit) {
        if (kind_of(e) == LITERAL) {
            drop(length_of(e));
            *o++ = uint8_t(value_of(e));
            refill();
            e = lookup(litlen, LITLEN_BITS);
            continue;
        }
        if (kind_of(e) != MATCH) {
            drop(length_of(e));
            r = kind_of(e) == END ? DONE : BAD_DATA;
            break;
        }
        drop(length_of(e));
        const int length = int(value_of(e) + take(extra_of(e)));
        e = lookup(distance, DISTANCE_BITS);
        if (kind_of(e) != MATCH) {
            r = BAD_DATA;
            break;
        }
        drop(length_of(e));
        const int64_t dist = value_of(e) + take(extra_of(e));
        if (dist > o - start) {
            r = DISTANCE_TOO_FAR;
            break;
        }
        refill();
        e = lookup(litlen, LITLEN_BITS);
        copy_match(o, dist, length);
        o += length;
    }
    in.p = p;
    in.buf = buf;
    in.count = count;
    out.pos = o - start;
    return r;
}

// Decodes one compressed block's data: DONE at its end of block.
int32_t inflate_block(BitReader& in, Output& out, const uint32_t* litlen, const uint32_t* distance) {
    for (;;) {
        if (out.out && in.end - in.p > FAST_INPUT && out.capacity - out.pos > FAST_OUTPUT) {
            const int32_t r = inflate_fast(in, out, litlen, distance);
            if (r >= 0) return r;
        }
        // Counts stop where a binary! can no longer hold the output.
        if (out.pos > INT32_MAX) return TOO_LARGE;
        in.refill();
        if (in.overran()) return BAD_DATA;
        uint32_t e = decode_symbol(in, litlen, LITLEN_BITS);
        switch (kind_of(e)) {
            case LITERAL: out.literal(uint8_t(value_of(e))); continue;
            case END: return in.overran() ? BAD_DATA : DONE;
            case MATCH: break;
            default: return BAD_DATA;
        }
        const int length = int(value_of(e) + in.get_bits(extra_of(e)));
        e = decode_symbol(in, distance, DISTANCE_BITS);
        if (kind_of(e) != MATCH) return BAD_DATA;
        const int64_t dist = value_of(e) + in.get_bits(extra_of(e));
        if (in.overran()) return BAD_DATA;
        if (dist > out.pos) return DISTANCE_TOO_FAR;
        out.copy(dist, length);
    }
}

int32_t inflate_stored(BitReader& in, Output& out) {
    in.align();
    in.refill();
    const uint32_t len = in.get_bits(16);
    const uint32_t nlen = in.get_bits(16);
    if (in.overran()) return BAD_DATA;
    if (nlen != (~len & 0xFFFF)) return BAD_DATA;
    const uint8_t* data = in.align();
    if (int64_t(len) > in.end - data) return STORED_PAST_INPUT;
    const int64_t room = out.capacity - out.pos;
    if (room > 0) std::memcpy(out.out + out.pos, data, size_t(room < len ? room : len));
    out.pos += len;
    in.restart_at(data + len);
    return DONE;
}

}  // namespace

int32_t inflate_counted(uint8_t* out_bytes, int32_t* size, const uint8_t* in_bytes, int32_t length,
                        int32_t* used) {
    Output out{out_bytes, out_bytes ? int64_t(*size > 0 ? *size : 0) : 0};
    BitReader in{in_bytes, in_bytes + (length > 0 ? length : 0)};
    Tables dynamic;
    int32_t r = DONE;
    bool final = false;
    // A stream may end cleanly after a complete block without a final one.
    while (!final && in.bits_left() >= 8) {
        in.refill();
        final = in.get_bits(1);
        const uint32_t type = in.get_bits(2);
        if (type == 0) {
            r = inflate_stored(in, out);
        } else if (type == 1) {
            const Tables& fixed = fixed_tables();
            r = inflate_block(in, out, fixed.litlen, fixed.distance);
        } else if (type == 2) {
            r = read_dynamic_header(in, dynamic) ? inflate_block(in, out, dynamic.litlen, dynamic.distance)
                                                 : BAD_DATA;
        } else {
            r = RESERVED_BLOCK;
        }
        if (r == DONE && out.pos > INT32_MAX) r = TOO_LARGE;
        if (r != DONE) break;
    }
    *size = int32_t(out.pos < INT32_MAX ? out.pos : INT32_MAX);
    if (used) *used = int32_t(in.end - in_bytes - in.bits_left() / 8);
    if (r != DONE) return r;
    return out.pos > out.capacity ? TOO_SMALL : DONE;
}

int32_t inflate(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length) {
    return inflate_counted(out, size, in, length, nullptr);
}

}  // namespace zun::compress
