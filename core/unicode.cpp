#include "core/unicode.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "core/runtime.hpp"
#include "core/support.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun::unicode {

// Multi-byte units are read and written as the machine's own: UTF-16LE and
// the string units are little-endian.
static_assert(std::endian::native == std::endian::little);

namespace {

// Byte classes of the DFA: what a byte may be in a well-formed sequence. The
// numbers are those of the published table, so that (0xFF >> class) & lead
// keeps the payload bits of every lead byte.
enum ByteClass : uint8_t {
    ASCII = 0, CONT_80_8F = 1, LEAD_2 = 2, LEAD_3 = 3, LEAD_ED = 4, LEAD_F4 = 5,
    LEAD_4 = 6, CONT_A0_BF = 7, NEVER = 8, CONT_90_9F = 9, LEAD_E0 = 10, LEAD_F0 = 11,
};
// States, in steps of 12 so that state + class indexes the transitions.
enum State : uint8_t {
    ACCEPT = 0, REJECT = 12, NEED_1 = 24, NEED_2 = 36, AFTER_E0 = 48, AFTER_ED = 60,
    AFTER_F0 = 72, NEED_3 = 84, AFTER_F4 = 96,
};
constexpr uint32_t CLASSES = 12;

// The byte after E0 must be A0-BF (no overlong form), after ED 80-9F (no
// surrogate), after F0 90-BF (no overlong form), after F4 80-8F (nothing above
// 10FFFF); C0, C1 and F5-FF never occur.
constexpr std::array<uint8_t, 364> make_dfa() {
    std::array<uint8_t, 364> t{};
    struct Range { int lo, hi; ByteClass cls; };
    constexpr Range ranges[] = {
        {0x00, 0x7F, ASCII},   {0x80, 0x8F, CONT_80_8F}, {0x90, 0x9F, CONT_90_9F},
        {0xA0, 0xBF, CONT_A0_BF}, {0xC0, 0xC1, NEVER},   {0xC2, 0xDF, LEAD_2},
        {0xE0, 0xE0, LEAD_E0}, {0xE1, 0xEC, LEAD_3},     {0xED, 0xED, LEAD_ED},
        {0xEE, 0xEF, LEAD_3},  {0xF0, 0xF0, LEAD_F0},    {0xF1, 0xF3, LEAD_4},
        {0xF4, 0xF4, LEAD_F4}, {0xF5, 0xFF, NEVER},
    };
    for (const Range& r : ranges)
        for (int b = r.lo; b <= r.hi; b++) t[b] = r.cls;
    for (size_t i = 256; i < t.size(); i++) t[i] = REJECT;
    auto go = [&t](State from, ByteClass cls, State to) { t[256 + from + cls] = to; };
    go(ACCEPT, ASCII, ACCEPT);
    go(ACCEPT, LEAD_2, NEED_1);
    go(ACCEPT, LEAD_3, NEED_2);
    go(ACCEPT, LEAD_E0, AFTER_E0);
    go(ACCEPT, LEAD_ED, AFTER_ED);
    go(ACCEPT, LEAD_4, NEED_3);
    go(ACCEPT, LEAD_F0, AFTER_F0);
    go(ACCEPT, LEAD_F4, AFTER_F4);
    for (ByteClass c : {CONT_80_8F, CONT_90_9F, CONT_A0_BF}) {
        go(NEED_1, c, ACCEPT);
        go(NEED_2, c, NEED_1);
        go(NEED_3, c, NEED_2);
    }
    go(AFTER_E0, CONT_A0_BF, NEED_1);
    go(AFTER_ED, CONT_80_8F, NEED_1);
    go(AFTER_ED, CONT_90_9F, NEED_1);
    go(AFTER_F0, CONT_90_9F, NEED_2);
    go(AFTER_F0, CONT_A0_BF, NEED_2);
    go(AFTER_F4, CONT_80_8F, NEED_2);
    return t;
}
constexpr std::array<uint8_t, 364> k_dfa = make_dfa();
static_assert(256 + AFTER_F4 + CLASSES == k_dfa.size());

constexpr int BAD_UNIT = 101;  // fatal: a unit size other than 1, 2 or 4
constexpr uint32_t UTF16_FLAG = 0x40000;  // buffer flag bit 18, set by decode_utf16le
constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;

uint32_t checked_unit(const SeriesBuffer* buffer) {
    uint32_t unit = buffer->unit();
    if (unit != 1 && unit != 2 && unit != 4) runtime::fatal(BAD_UNIT);
    return unit;
}

inline uint32_t unit_for(uint32_t code_point) {
    return code_point > 0xFFFF ? 4 : code_point > 0xFF ? 2 : 1;
}

inline void put_unit(uint8_t* p, uint32_t unit, uint32_t code_point) {
    if (unit == 1) *p = uint8_t(code_point);
    else if (unit == 2) {
        uint16_t u = uint16_t(code_point);
        std::memcpy(p, &u, 2);
    } else std::memcpy(p, &code_point, 4);
}

inline uint16_t get16(const uint8_t* p) {
    uint16_t u;
    std::memcpy(&u, p, 2);
    return u;
}

inline uint64_t load64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;
constexpr uint64_t LOW_BITS = 0x0101010101010101ull;
// True when some byte of v equals b (b below 0x80, every byte of v below 0x80).
inline bool has_byte(uint64_t v, uint8_t b) {
    uint64_t x = v ^ (LOW_BITS * b);
    return (x - LOW_BITS) & ~x & HIGH_BITS;
}

// One DFA step over the bytes from p; answers the end of the sequence, or
// where the reject happened (past a rejected lead), and the state it ended in.
struct Step {
    const uint8_t* next;
    uint32_t state;
    uint32_t code_point;
};
inline Step dfa_step(const uint8_t* p, const uint8_t* end) {
    const uint8_t* start = p;
    uint32_t state = ACCEPT, cp = 0;
    do {
        uint8_t b = *p;
        uint32_t cls = k_dfa[b];
        cp = state == ACCEPT ? (0xFFu >> cls) & b : (cp << 6) | (b & 0x3Fu);
        state = k_dfa[256 + state + cls];
        if (state == REJECT) return {p == start ? p + 1 : p, REJECT, 0};
        ++p;
    } while (state != ACCEPT && p < end);
    return {p, state, cp};
}

// The error argument: a binary! of up to 4 bytes, copied out first because
// making it may move the buffer they lie in.
[[noreturn]] void fire_with_bytes(ErrorId id, const uint8_t* at, uint32_t available) {
    uint8_t bytes[4];
    uint32_t n = std::min<uint32_t>(available, 4);
    std::memcpy(bytes, at, n);
    Cell* arg = stack::push_cell();
    *arg = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_bytes(n);
    SeriesBuffer* buffer = memory::buffer_of(node);
    std::memcpy(buffer->tail_ptr(), bytes, n);
    buffer->tail += n;
    *arg = make_cell(TYPE_BINARY, 0, node, 0);
    support::fire_error(id, arg);
}

[[noreturn]] void fire_invalid_char(uint32_t code_point) {
    Cell arg = integer_cell(int32_t(code_point));
    support::fire_error(ErrorId::script_invalid_char, &arg);
}

// ---------------------------------------------------------------- UTF-8 input

// What a chunk of UTF-8 holds: the units it decodes to, the unit they need and
// how many bytes form whole sequences.
struct Utf8Scan {
    uint32_t units = 0;
    uint32_t unit = 1;
    uint32_t complete = 0;
};

Utf8Scan scan_utf8(const uint8_t* start, uint32_t count, bool crlf) {
    const uint8_t* p = start;
    const uint8_t* end = start + count;
    uint32_t units = 0, widest = 0;
    while (p < end) {
        while (end - p >= 8) {  // runs of ASCII without CR, eight bytes at a time
            uint64_t v = load64(p);
            if ((v & HIGH_BITS) || (crlf && has_byte(v, CR))) break;
            p += 8;
            units += 8;
        }
        if (p == end) break;
        if (*p < 0x80) {
            if (crlf && *p == CR && p + 1 < end && p[1] == LF) units--;
            p++;
            units++;
            continue;
        }
        Step s = dfa_step(p, end);
        if (s.state == REJECT) fire_with_bytes(ErrorId::access_invalid_utf8, p, uint32_t(end - p));
        if (s.state != ACCEPT) return {units, unit_for(widest), uint32_t(p - start)};
        widest = std::max(widest, s.code_point);
        units++;
        p = s.next;
    }
    return {units, unit_for(widest), count};
}

// Decodes input that scan_utf8 has checked.
template <uint32_t UNIT> uint8_t* fill_utf8(const uint8_t* p, const uint8_t* end, bool crlf,
                                            uint8_t* out) {
    while (p < end) {
        if constexpr (UNIT == 1) {
            if (!crlf) {  // copy a run of ASCII at once
                const uint8_t* run = p;
                while (run < end && *run < 0x80) run++;
                std::memcpy(out, p, size_t(run - p));
                out += run - p;
                p = run;
                if (p == end) break;
            }
        }
        uint8_t b = *p;
        uint32_t cp;
        if (b < 0x80) {
            cp = b;
            p++;
            if (crlf && b == CR) {
                if (p < end && *p == LF) continue;
                cp = LF;
            }
        } else if (b < 0xE0) {
            cp = (b & 0x1Fu) << 6 | (p[1] & 0x3Fu);
            p += 2;
        } else if (b < 0xF0) {
            cp = (b & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
            p += 3;
        } else {
            cp = (b & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
            p += 4;
        }
        put_unit(out, UNIT, cp);
        out += UNIT;
    }
    return out;
}

// Where the source bytes lie: a raw address, or a node and an offset from the
// buffer's first used byte (re-read after every allocation).
struct Source {
    const uint8_t* bytes;
    NodeId node;
    uint32_t offset;
    const uint8_t* at() const {
        return node ? memory::buffer_of(node)->head_ptr() + offset : bytes;
    }
};

// Room for `units` more units of `unit` bytes at the tail, widened to at least
// that unit; may move the buffer.
SeriesBuffer* prepare_tail(NodeId node, uint32_t unit, uint32_t units) {
    SeriesBuffer* buffer = memory::buffer_of(node);
    uint32_t have = checked_unit(buffer);
    if (unit > have) buffer = string::widen_to(buffer, have, unit);
    else unit = have;
    uint64_t need = uint64_t(buffer->used()) + uint64_t(units) * unit;
    if (need > UINT32_MAX) support::fire_error(ErrorId::internal_no_memory);
    if (buffer->size - buffer->head < need) buffer = memory::expand_series(buffer, int64_t(need));
    return buffer;
}

NodeId load(const Source& source, uint32_t count, NodeId target, uint32_t* unread, bool crlf) {
    if (unread) *unread = 0;
    const uint8_t* p = source.at();
    uint32_t skip = 0;
    if (count >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) skip = 3;
    Utf8Scan scan = scan_utf8(p + skip, count - skip, crlf);
    uint32_t left = count - skip - scan.complete;
    if (left) {
        if (!unread) fire_with_bytes(ErrorId::access_invalid_utf8, p + skip + scan.complete, left);
        *unread = left;
    }
    if (!target) {
        target = memory::alloc_series(std::max<uint32_t>(scan.units, 1), scan.unit, 0);
        if (scan.units == 0) return target;
    } else if (scan.units == 0) {
        return target;
    }
    SeriesBuffer* buffer = prepare_tail(target, scan.unit, scan.units);
    uint32_t unit = buffer->unit();
    const uint8_t* from = source.at() + skip;  // the allocation may have moved it
    const uint8_t* end = from + scan.complete;
    uint8_t* out = buffer->tail_ptr();
    uint8_t* stop = unit == 1 ? fill_utf8<1>(from, end, crlf, out)
                  : unit == 2 ? fill_utf8<2>(from, end, crlf, out)
                              : fill_utf8<4>(from, end, crlf, out);
    buffer->tail += uint32_t(stop - out);
    return target;
}

// ---------------------------------------------------------------- UTF-8 output

// Units from p (n of them) as UTF-8 at out; answers the end.
template <uint32_t UNIT> uint8_t* encode_units(const uint8_t* p, uint32_t n, bool crlf,
                                               uint8_t* out) {
    for (uint32_t i = 0; i < n; i++, p += UNIT) {
        uint32_t cp = string::get_char(p, UNIT);
        if (cp < 0x80) {
            if (crlf && cp == LF) *out++ = CR;
            *out++ = uint8_t(cp);
        } else {
            out += encode_utf8_char(cp, out);
        }
    }
    return out;
}

uint8_t* encode_units(const uint8_t* p, uint32_t n, uint32_t unit, bool crlf, uint8_t* out) {
    switch (unit) {
        case 1:
            if (!crlf) {  // ASCII runs are copied as they are
                const uint8_t* end = p + n;
                while (p < end) {
                    const uint8_t* run = p;
                    while (run < end && *run < 0x80) run++;
                    std::memcpy(out, p, size_t(run - p));
                    out += run - p;
                    p = run;
                    if (p < end) out += encode_utf8_char(*p++, out);
                }
                return out;
            }
            return encode_units<1>(p, n, crlf, out);
        case 2: return encode_units<2>(p, n, crlf, out);
        case 4: return encode_units<4>(p, n, crlf, out);
        default: runtime::fatal(BAD_UNIT);
    }
}

// Characters to take from the head: all for a negative limit.
uint32_t taken(Cell* str, int32_t limit) {
    int32_t n = string::length_from_head(str);
    return uint32_t(limit >= 0 && limit < n ? limit : n);
}

// ---------------------------------------------------------------- UTF-16 input

struct Utf16Scan {
    uint32_t units = 0;  // code points to store
    uint32_t unit = 1;
};

inline bool high_surrogate(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
inline bool low_surrogate(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// Every surrogate must be a high one followed by a low one.
Utf16Scan scan_utf16(const uint8_t* p, uint32_t count, bool crlf) {
    Utf16Scan scan;
    uint32_t high_bytes = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t u = get16(p + 2 * i);
        high_bytes |= u;
        if (crlf && u == CR) continue;
        scan.units++;
        if (u < 0xD800 || u > 0xDFFF) continue;
        if (!high_surrogate(u) || i + 1 == count || !low_surrogate(get16(p + 2 * i + 2)))
            fire_with_bytes(ErrorId::script_invalid_data, p + 2 * i, 2);
        i++;
        scan.unit = 4;
    }
    if (scan.unit != 4) scan.unit = high_bytes > 0xFF ? 2 : 1;
    return scan;
}

inline uint32_t join_pair(uint32_t high, uint32_t low) {
    return ((high & 0x3FF) << 10 | (low & 0x3FF)) + 0x10000;
}

// Front to back: safe in place whenever the output unit is 1 or 2 bytes.
void fill_utf16(const uint8_t* p, uint32_t count, bool crlf, uint32_t unit, uint8_t* out) {
    if (unit == 2 && !crlf) {
        std::memmove(out, p, size_t(count) * 2);
        return;
    }
    for (uint32_t i = 0; i < count; i++) {
        uint32_t u = get16(p + 2 * i);
        if (crlf && u == CR) continue;
        if (unit == 4 && high_surrogate(u)) u = join_pair(u, get16(p + 2 * ++i));
        put_unit(out, unit, u);
        out += unit;
    }
}

// In place into 4-byte units: drop the CRs front to back, then widen back to
// front so that no unit is overwritten before it is read (a pair never takes
// more than the room of its two units).
void widen_utf16_in_place(uint8_t* p, uint32_t count, bool crlf, uint32_t units) {
    uint32_t m = count;
    if (crlf) {
        m = 0;
        for (uint32_t i = 0; i < count; i++) {
            uint16_t u = get16(p + 2 * i);
            if (u != CR) std::memcpy(p + 2 * m++, &u, 2);
        }
    }
    uint32_t out = units;
    for (uint32_t j = m; j-- > 0;) {
        uint32_t u = get16(p + 2 * j);
        if (low_surrogate(u)) u = join_pair(get16(p + 2 * --j), u);
        put_unit(p + 4 * --out, 4, u);
    }
}

// ---------------------------------------------------------------- UTF-16 output

struct Utf16Size {
    uint32_t extra = 0;  // inserted CRs and second surrogates
    bool valid = true;
};

Utf16Size size_utf16(const uint8_t* p, uint32_t n, uint32_t unit, bool crlf) {
    Utf16Size size;
    if (unit != 4 && !crlf) return size;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t cp = string::get_char(p + i * unit, unit);
        if (cp == LF) size.extra += crlf;
        else if (cp > 0xFFFF) {
            if (cp > MAX_CODE_POINT) return {0, false};
            size.extra++;
        }
    }
    return size;
}

void write_utf16(const uint8_t* p, uint32_t n, uint32_t unit, bool crlf, uint16_t* out) {
    if (unit == 2 && !crlf) {
        std::memcpy(out, p, size_t(n) * 2);
        out[n] = 0;
        return;
    }
    for (uint32_t i = 0; i < n; i++) {
        uint32_t cp = string::get_char(p + i * unit, unit);
        if (cp == LF && crlf) *out++ = CR;
        if (cp > 0xFFFF) {
            cp -= 0x10000;
            *out++ = uint16_t(0xD800 | cp >> 10);
            cp = 0xDC00 | (cp & 0x3FF);
        }
        *out++ = uint16_t(cp);
    }
    *out = 0;
}

bool usable_scratch(NodeId node) {
    if (memory::node_free(node)) return false;
    SeriesBuffer* buffer = memory::buffer_of(node);
    return buffer && buffer->node == node && buffer->live() && buffer->unit() == 1;
}

}  // namespace

const std::array<uint8_t, 364> k_utf8_dfa = k_dfa;

// ---------------------------------------------------------------- decoding

const uint8_t* decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* code_point) {
    if (p >= end) {
        *code_point = REJECTED;
        return end;
    }
    Step s = dfa_step(p, end);
    *code_point = s.state == ACCEPT ? int32_t(s.code_point) : REJECTED;
    return s.next;
}

int32_t decode_utf8_strict(const uint8_t* p, uint32_t available, uint32_t* used) {
    *used = 0;
    if (available == 0) return INCOMPLETE;
    if (p[0] < 0x80) {
        *used = 1;
        return p[0];
    }
    Step s = dfa_step(p, p + available);
    if (s.state == REJECT) fire_with_bytes(ErrorId::access_invalid_utf8, p, available);
    if (s.state != ACCEPT) return INCOMPLETE;
    *used = uint32_t(s.next - p);
    return int32_t(s.code_point);
}

bool is_valid_utf8(const uint8_t* p, const uint8_t* end) {
    while (p < end) {
        // eight ASCII bytes a step
        uint64_t word;
        if (end - p >= 8 && (std::memcpy(&word, p, 8), (word & 0x8080808080808080ull) == 0)) {
            p += 8;
            continue;
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        int32_t code_point;
        p = decode_utf8_char(p, end, &code_point);
        if (code_point == REJECTED) return false;
    }
    return true;
}

uint32_t count_utf8_chars(const uint8_t* start, const uint8_t* end) {
    uint32_t n = 0;
    const uint8_t* p = start;
    while (p < end) {
        if (*p < 0x80) {
            p++;
        } else {
            p = dfa_step(p, end).next;
        }
        n++;
    }
    return n;
}

const uint8_t* skip_utf8_chars(const uint8_t* start, const uint8_t* end, uint32_t n) {
    const uint8_t* p = start;
    for (; n > 0 && p < end; n--) p = *p < 0x80 ? p + 1 : dfa_step(p, end).next;
    return p;
}

// ---------------------------------------------------------------- encoding

uint32_t utf8_length_of(uint32_t code_point) {
    if (code_point < 0x80) return 1;
    if (code_point < 0x800) return 2;
    if (code_point < 0x10000) return 3;
    if (code_point < 0x110000) return 4;
    fire_invalid_char(code_point);
}

uint64_t utf8_size_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    uint64_t size = 0;
    switch (unit) {
        case 1:
            for (const uint8_t* p = start; p < end; p++) size += 1 + (*p >> 7);
            return size;
        case 2:
            for (const uint8_t* p = start; p + 1 < end; p += 2) size += utf8_length_of(get16(p));
            return size;
        case 4:
            for (const uint8_t* p = start; p + 3 < end; p += 4)
                size += utf8_length_of(string::get_char(p, 4));
            return size;
        default: runtime::fatal(BAD_UNIT);
    }
}

uint32_t encode_utf8_char(uint32_t cp, uint8_t* out) {
    if (cp < 0x80) {
        out[0] = uint8_t(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = uint8_t(0xC0 | cp >> 6);
        out[1] = uint8_t(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = uint8_t(0xE0 | cp >> 12);
        out[1] = uint8_t(0x80 | (cp >> 6 & 0x3F));
        out[2] = uint8_t(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp > MAX_CODE_POINT) fire_invalid_char(cp);
    out[0] = uint8_t(0xF0 | cp >> 18);
    out[1] = uint8_t(0x80 | (cp >> 12 & 0x3F));
    out[2] = uint8_t(0x80 | (cp >> 6 & 0x3F));
    out[3] = uint8_t(0x80 | (cp & 0x3F));
    return 4;
}

uint32_t encode_utf8_char_bounded(uint32_t code_point, uint8_t* out, int32_t room) {
    uint8_t bytes[4];
    uint32_t n = encode_utf8_char(code_point, bytes);
    if (room <= 0) return 0;
    n = std::min(n, uint32_t(room));
    std::memcpy(out, bytes, n);
    return n;
}

// ---------------------------------------------------------------- exports

char* to_utf8_part(Cell* str, int32_t* limit_count, bool crlf) {
    uint32_t n = taken(str, limit_count ? *limit_count : -1);
    uint32_t unit = checked_unit(string::buffer_of(str));
    uint64_t size = uint64_t(unit == 4 ? 4 : unit + 1) * (uint64_t(n) + 1);
    if (size > UINT32_MAX) support::fire_error(ErrorId::internal_no_memory);
    uint8_t* out = scratch_buffer(str, uint32_t(size));
    // Making the buffer may have moved the string's: read its head after it.
    uint8_t* end = encode_units(string::head_pointer(str), n, unit, crlf, out);
    *end = 0;
    if (limit_count) *limit_count = int32_t(end - out);
    return reinterpret_cast<char*>(out);
}

char* to_utf8(Cell* str, int32_t* limit_count) { return to_utf8_part(str, limit_count, false); }

uint32_t write_utf8(Cell* str, uint8_t* out, int32_t limit, bool terminate) {
    uint32_t n = taken(str, limit);
    uint32_t unit = checked_unit(string::buffer_of(str));
    uint8_t* end = encode_units(string::head_pointer(str), n, unit, false, out);
    if (terminate) *end = 0;
    return uint32_t(end - out);
}

uint32_t write_utf8_bounded(Cell* str, uint8_t* out, int32_t room, int32_t limit,
                            bool terminate) {
    uint32_t n = taken(str, limit > 0 ? limit : -1);
    uint32_t unit = checked_unit(string::buffer_of(str));
    const uint8_t* p = string::head_pointer(str);
    int32_t written = 0;
    for (uint32_t i = 0; i < n && written < room; i++, p += unit) {
        const uint32_t c = string::get_char(p, unit);
        if (c < 0x80) {  // most source text: one byte as it stands
            out[written++] = uint8_t(c);
            continue;
        }
        written += int32_t(encode_utf8_char_bounded(c, out + written, room - written));
    }
    if (terminate && written < room) out[written] = 0;
    return uint32_t(written);
}

uint16_t* to_utf16(Cell* str, int32_t* limit_count, bool crlf) {
    uint32_t n = taken(str, limit_count ? *limit_count : -1);
    uint32_t unit = checked_unit(string::buffer_of(str));
    Utf16Size size = size_utf16(string::head_pointer(str), n, unit, crlf);
    if (!size.valid) return nullptr;
    uint64_t units = uint64_t(n) + size.extra;
    if (2 * units + 2 > UINT32_MAX) support::fire_error(ErrorId::internal_no_memory);
    auto* out = reinterpret_cast<uint16_t*>(scratch_buffer(str, uint32_t(2 * units + 2)));
    write_utf16(string::head_pointer(str), n, unit, crlf, out);
    if (limit_count) *limit_count = int32_t(units);
    return out;
}

uint16_t* to_utf16_crlf(Cell* str) { return to_utf16(str, nullptr, true); }

uint8_t* scratch_buffer(Cell* str, uint32_t bytes) {
    NodeId node = str->data3;
    SeriesBuffer* buffer;
    if (node && usable_scratch(node)) {
        buffer = memory::buffer_of(node);
        // The old contents are not needed: a new buffer will do.
        if (buffer->size < bytes) buffer = memory::replace_buffer(buffer, bytes);
    } else {
        node = memory::alloc_bytes(bytes);
        str->data3 = node;
        buffer = memory::buffer_of(node);
    }
    // Counted as used, so that a move of the buffer carries the bytes along.
    buffer->head = 0;
    buffer->tail = std::max(bytes, buffer->tail);
    return buffer->data();
}

// ---------------------------------------------------------------- loading

NodeId load_utf8(const uint8_t* source, uint32_t count, NodeId target, uint32_t* unread,
                 bool crlf) {
    return load(Source{source, 0, 0}, count, target, unread, crlf);
}

NodeId load_utf8_from(NodeId source, uint32_t offset, uint32_t count, NodeId target,
                      uint32_t* unread, bool crlf) {
    return load(Source{nullptr, source, offset}, count, target, unread, crlf);
}

NodeId load_utf8_into(const uint8_t* source, uint32_t count, const Cell* target,
                      uint32_t* unread, bool crlf) {
    return load_utf8(source, count, target->data2, unread, crlf);
}

NodeId load_utf8_string(const uint8_t* source, uint32_t count) {
    return load_utf8(source, count, 0, nullptr, false);
}

NodeId decode_utf16le(const void* source, uint32_t count, Cell* target, bool crlf) {
    auto bytes = [&]() -> const uint8_t* {
        if (source) return static_cast<const uint8_t*>(source);
        return target ? string::buffer_of(target)->head_ptr() : nullptr;
    };
    if (!source && !target) count = 0;  // nothing to read from
    Utf16Scan scan = scan_utf16(bytes(), count, crlf);
    NodeId node;
    SeriesBuffer* buffer;
    if (!target) {
        if (count == 0) return memory::alloc_series(1, 2, 0);
        node = memory::alloc_series(std::max<uint32_t>(scan.units, 1), scan.unit, 0);
        buffer = memory::buffer_of(node);
    } else {
        node = target->data2;
        buffer = memory::buffer_of(node);
        uint64_t need = uint64_t(count) * scan.unit;
        if (need > UINT32_MAX) support::fire_error(ErrorId::internal_no_memory);
        if (buffer->size - buffer->head < need)
            buffer = memory::expand_series(buffer, int64_t(need));
        buffer->flags = (buffer->flags & ~memory::UNIT_MASK) | scan.unit | UTF16_FLAG;
    }
    uint8_t* out = buffer->head_ptr();
    if (!source && scan.unit == 4) widen_utf16_in_place(out, count, crlf, scan.units);
    else fill_utf16(bytes(), count, crlf, scan.unit, out);
    buffer->tail = buffer->head + scan.units * scan.unit;
    return node;
}

void latin1_to_utf16(const char* text, uint16_t* out) {
    for (; *text; text++) *out++ = uint8_t(*text);
    *out = 0;
}

// ---------------------------------------------------------------- widening

SeriesBuffer* widen_1_to_2(SeriesBuffer* buffer) { return string::widen_to(buffer, 1, 2); }
SeriesBuffer* widen_1_to_4(SeriesBuffer* buffer) { return string::widen_to(buffer, 1, 4); }
SeriesBuffer* widen_2_to_4(SeriesBuffer* buffer) { return string::widen_to(buffer, 2, 4); }

}  // namespace zun::unicode
