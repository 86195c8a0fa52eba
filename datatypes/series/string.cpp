#include "datatypes/series/string.hpp"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <unordered_set>
#include <vector>

#include "core/case_folding.hpp"
#include "core/float_text.hpp"
#include "core/ownership.hpp"
#include "core/runtime.hpp"
#include "core/sorting.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/series.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"

namespace zun::string {

static_assert(std::endian::native == std::endian::little, "units are read little-endian");

namespace {
constexpr int BAD_UNIT = 101;  // fatal: a unit size other than 1, 2 or 4
constexpr int ASSERTION_FAILED = 98;
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
// Positions are signed 32-bit unit counts: a buffer stays below this.
constexpr int64_t MAX_BYTES = 0x7FFFFFF0;
constexpr uint32_t NO_CHAR = 0xFFFFFFFF;
// The parse engine's internal cell type: a text whose word 3 bounds its length.
constexpr uint32_t PARSE_SPAN_TYPE = 56;

// Widest code point a unit-1 buffer keeps when appending: ASCII only. Writes
// at a position keep Latin-1.
constexpr uint32_t APPEND_LIMIT_1 = 0x7F;

// ---------------------------------------------------------------- units

uint32_t checked_unit(const SeriesBuffer* buffer) {
    uint32_t unit = buffer->unit();
    if (unit != 1 && unit != 2 && unit != 4) runtime::fatal(BAD_UNIT);
    return unit;
}

void put_char(uint8_t* p, uint32_t unit, uint32_t code_point) {
    p[0] = uint8_t(code_point);
    if (unit == 1) return;
    p[1] = uint8_t(code_point >> 8);
    if (unit == 2) return;
    p[2] = uint8_t(code_point >> 16);
    p[3] = uint8_t(code_point >> 24);
}

template <uint32_t U> inline uint32_t load(const uint8_t* p) {
    if constexpr (U == 1) {
        return *p;
    } else if constexpr (U == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    } else {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
}

template <uint32_t U> inline void store(uint8_t* p, uint32_t c) {
    if constexpr (U == 1) {
        *p = uint8_t(c);
    } else if constexpr (U == 2) {
        uint16_t v = uint16_t(c);
        std::memcpy(p, &v, 2);
    } else {
        std::memcpy(p, &c, 4);
    }
}

// The unit a write at a position needs for the code point.
inline uint32_t unit_for(uint32_t c) { return c <= 0xFF ? 1 : c <= 0xFFFF ? 2 : 4; }
// The unit an append at the tail needs (a unit-1 buffer keeps ASCII only).
inline uint32_t append_unit_for(uint32_t c) { return c <= APPEND_LIMIT_1 ? 1 : c <= 0xFFFF ? 2 : 4; }

// The unit a buffer of `unit` needs to keep the code point, 0 when it fits.
uint32_t wider_unit(uint32_t unit, uint32_t code_point, uint32_t limit_1) {
    if (unit == 1 && code_point > limit_1) return code_point <= 0xFFFF ? 2 : 4;
    if (unit == 2 && code_point > 0xFFFF) return 4;
    return 0;
}

[[noreturn]] void fire_no_memory() { support::fire_error(ErrorId::internal_no_memory); }

// Room for n more bytes at the tail; may move the buffer.
SeriesBuffer* reserve(SeriesBuffer* buffer, uint32_t n) {
    if (uint64_t(buffer->tail) + n <= buffer->size) return buffer;
    uint64_t size = n > buffer->size ? uint64_t(n) * 2 : uint64_t(buffer->size) * 2;
    return memory::expand_series(buffer, int64_t(std::max<uint64_t>(size, 16)));
}

// Room for `bytes` used bytes from the first used byte; grows to twice that.
SeriesBuffer* ensure_capacity(SeriesBuffer* buffer, int64_t bytes) {
    if (bytes > MAX_BYTES) fire_no_memory();
    if (int64_t(buffer->size) - int64_t(buffer->head) >= bytes) return buffer;
    return memory::expand_series(buffer, std::max<int64_t>(std::min(bytes * 2, MAX_BYTES), 16));
}

SeriesBuffer* append_widening(SeriesBuffer* buffer, uint32_t code_point, uint32_t limit_1) {
    uint32_t unit = checked_unit(buffer);
    if (uint32_t wider = wider_unit(unit, code_point, limit_1)) {
        buffer = widen_to(buffer, unit, wider);
        unit = wider;
    }
    buffer = reserve(buffer, unit);
    put_char(buffer->tail_ptr(), unit, code_point);
    buffer->tail += unit;
    return buffer;
}

bool all_ascii(const uint8_t* bytes, uint32_t n) {
    for (uint32_t i = 0; i < n; i++)
        if (bytes[i] > 0x7F) return false;
    return true;
}

// Clips a head index outside 0 .. total back into it, storing the clipped index.
int32_t clipped_head(Cell* str, const SeriesBuffer* buffer) {
    int32_t total = int32_t(buffer->used() >> unit_shift(buffer->unit()));
    int32_t head = head_index(str);
    if (head > total || head < 0) {
        head = head < 0 ? 0 : total;
        str->data1 = uint32_t(head);
    }
    return head;
}

// Copies n code points between units (a plain move when they are equal).
template <uint32_t SU, uint32_t DU> void convert(uint8_t* dst, const uint8_t* src, int64_t n) {
    for (int64_t i = 0; i < n; i++) store<DU>(dst + i * DU, load<SU>(src + i * SU));
}
template <uint32_t SU> void convert_from(uint8_t* dst, uint32_t du, const uint8_t* src, int64_t n) {
    switch (du) {
        case 1: convert<SU, 1>(dst, src, n); break;
        case 2: convert<SU, 2>(dst, src, n); break;
        default: convert<SU, 4>(dst, src, n); break;
    }
}
void copy_units(uint8_t* dst, uint32_t du, const uint8_t* src, uint32_t su, int64_t n) {
    if (n <= 0) return;
    if (du == su) {
        std::memmove(dst, src, size_t(n) * du);
        return;
    }
    switch (su) {
        case 1: convert_from<1>(dst, du, src, n); break;
        case 2: convert_from<2>(dst, du, src, n); break;
        default: convert_from<4>(dst, du, src, n); break;
    }
}

// ---------------------------------------------------------------- case folding

inline uint32_t fold_upper(uint32_t c) {
    if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 32 : c;
    return unicode::change_case(c, true);
}
inline uint32_t fold_lower(uint32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return unicode::change_case(c, false);
}

// ---------------------------------------------------------------- runs of units

inline SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }
inline int32_t total_of(NodeId node) {
    SeriesBuffer* b = buf(node);
    return int32_t(b->used() >> unit_shift(b->unit()));
}
// Unit i counted from the first used byte; good until the next allocation.
inline uint8_t* unit_at(NodeId node, int64_t i) {
    SeriesBuffer* b = buf(node);
    return b->head_ptr() + i * b->unit();
}

// Units to read: a series from its head, or the cached name of a symbol.
struct Run {
    NodeId node = 0;
    int32_t head = 0;
    int32_t count = 0;
    uint32_t unit() const { return count > 0 ? buf(node)->unit() : 1; }
};

// A head past the tail gives an empty run. A word's name string is made on
// first use, which may allocate.
Run run_of(const Cell* value) {
    uint32_t t = value->type();
    NodeId node;
    int32_t head = 0;
    if (t == TYPE_SYMBOL) {
        node = value->data2;
    } else if (t >= TYPE_WORD && t <= TYPE_ISSUE) {
        node = symbol::get_record(value->data2)->data2;
    } else {
        node = value->data2;
        head = std::max(head_index(value), 0);
    }
    if (!node) return {};
    int32_t total = total_of(node);
    return Run{node, std::min(head, total), std::max(total - head, 0)};
}

// The run may have shrunk under a change handler.
void reclip(Run& run) {
    if (run.count > 0) run.count = std::clamp(total_of(run.node) - run.head, 0, run.count);
}

// ---------------------------------------------------------------- splicing

// Makes room for `count` units at pos in place of `removed` units (the units
// after them follow), the unit becoming at least `unit` first. The new units
// are left for the caller to write. May move every buffer.
SeriesBuffer* open_span(NodeId node, int64_t pos, int64_t removed, int64_t count, uint32_t unit) {
    SeriesBuffer* b = buf(node);
    uint32_t u = checked_unit(b);
    int64_t total = b->used() / u;
    uint32_t wide = std::max(u, unit);
    int64_t new_total = total - removed + count;
    if (new_total > MAX_BYTES || new_total * wide > MAX_BYTES) fire_no_memory();
    if (wide > u) {
        b = widen_to(b, u, wide);
        u = wide;
    }
    b = ensure_capacity(b, new_total * u);
    uint8_t* base = b->head_ptr();
    int64_t after = total - pos - removed;
    if (after > 0 && count != removed)
        std::memmove(base + (pos + count) * u, base + (pos + removed) * u, size_t(after) * u);
    b->tail = b->head + uint32_t(new_total * u);
    return b;
}

// The text an append, insert or change puts in: a run of another series'
// units between an optional code point before (a char!, a tag!'s "<") and
// after (a tag!'s ">").
struct Insertion {
    uint32_t before = NO_CHAR;
    Run run;
    uint32_t after = NO_CHAR;
    int64_t count() const { return (before != NO_CHAR) + int64_t(run.count) + (after != NO_CHAR); }
    uint32_t unit() const {
        uint32_t u = run.unit();
        if (before != NO_CHAR) u = std::max(u, unit_for(before));
        if (after != NO_CHAR) u = std::max(u, unit_for(after));
        return u;
    }
};

// Writes count x dup units of the insertion at pos in place of `removed`
// units. Answers the units written.
int64_t splice(NodeId node, int64_t pos, int64_t removed, const Insertion& ins, int64_t dup) {
    int64_t n = ins.count();
    if (dup < 1) n = 0;
    int64_t written = n * std::max<int64_t>(dup, 1);
    if (written == 0 && removed == 0) return 0;
    // The target's growth shifts (and may move) its own units: a run taken
    // from the target itself is copied out first. Any other run is read after
    // the growth, from wherever its buffer then lies.
    std::vector<uint8_t> own;
    uint32_t su = ins.run.unit();
    if (ins.run.count > 0 && ins.run.node == node) {
        const uint8_t* from = unit_at(node, ins.run.head);
        own.assign(from, from + size_t(ins.run.count) * su);
    }
    SeriesBuffer* b = open_span(node, pos, removed, written, ins.unit());
    if (written == 0) return 0;
    uint32_t du = b->unit();
    uint8_t* dst = b->head_ptr() + pos * du;
    uint8_t* p = dst;
    if (ins.before != NO_CHAR) {
        put_char(p, du, ins.before);
        p += du;
    }
    if (ins.run.count > 0) {
        const uint8_t* src = own.empty() ? unit_at(ins.run.node, ins.run.head) : own.data();
        copy_units(p, du, src, su, ins.run.count);
        p += int64_t(ins.run.count) * du;
    }
    if (ins.after != NO_CHAR) put_char(p, du, ins.after);
    if (dup > 1) support::replicate_bytes(dst, int32_t(n * du), int32_t(dup));
    return written;
}

// ---------------------------------------------------------------- tail writer

// Writes code points at a string's tail without a check per character: the
// unit and the room are settled once by the constructor (which may move every
// buffer). It holds a raw buffer pointer: nothing that allocates may run
// between construction and finish().
class TailWriter {
public:
    TailWriter(NodeId node, int64_t room, uint32_t unit) {
        SeriesBuffer* b = buf(node);
        uint32_t u = checked_unit(b);
        if (unit > u) {
            b = widen_to(b, u, unit);
            u = unit;
        }
        m_buffer = ensure_capacity(b, int64_t(b->used()) + room * u);
        m_unit = u;
        m_at = m_buffer->tail_ptr();
    }
    TailWriter(const TailWriter&) = delete;
    TailWriter& operator=(const TailWriter&) = delete;

    uint32_t unit() const { return m_unit; }
    void put(uint32_t c) {
        put_char(m_at, m_unit, c);
        m_at += m_unit;
    }
    void put_ascii(const char* text) {
        for (; *text; text++) put(uint8_t(*text));
    }
    void put_units(const uint8_t* src, uint32_t su, int64_t n) {
        copy_units(m_at, m_unit, src, su, n);
        m_at += n * m_unit;
    }
    void finish() { m_buffer->tail = uint32_t(m_at - m_buffer->data()); }

private:
    SeriesBuffer* m_buffer;
    uint8_t* m_at;
    uint32_t m_unit;
};

// ---------------------------------------------------------------- scopes

using stack::StackScope;

// A new empty string on the stack, rooted while the caller fills it.
Cell* push_new_string(uint32_t room) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    return make_at(cell, room, 1);
}

// ---------------------------------------------------------------- notifications

// The owner's handler may run user code: callers re-read buffers and
// positions after it.
bool notify(const Cell* series, const Cell* word, const Cell* value, int64_t index,
            int64_t part) {
    return ownership::check_owner(series, word, value, int32_t(index), int32_t(part)) != 0;
}
bool notify(const Cell* series, words::Name word, const Cell* value, int64_t index,
            int64_t part) {
    return notify(series, words::get(word), value, index, part);
}

// ---------------------------------------------------------------- errors

[[noreturn]] void fire_invalid_refine(refinements::Name name, const Cell* value) {
    Cell word = *refinements::get(name);
    word.set_type(TYPE_WORD);
    support::fire_error(ErrorId::script_invalid_refine_arg, &word, value);
}

[[noreturn]] void unsupported_encoding() {
    std::fflush(stdout);
    std::fputs("*** Loading Error: input encoding unsupported\n", stderr);
    runtime::fatal(ASSERTION_FAILED);
}

// access invalid-utf8 with the bytes left at the fault (at most 4).
[[noreturn]] void fire_invalid_utf8(const uint8_t* at, uint32_t available) {
    uint32_t n = std::min<uint32_t>(available, 4);
    uint8_t bytes[4];
    std::memcpy(bytes, at, n);  // the text may lie where the allocation reaches
    Cell* binary = stack::push_cell();
    *binary = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_bytes(n);
    SeriesBuffer* b = memory::buffer_of(node);
    std::memcpy(b->tail_ptr(), bytes, n);
    b->tail += n;
    *binary = make_cell(TYPE_BINARY, 0, node, 0);
    support::fire_error(ErrorId::access_invalid_utf8, binary);
}

// ---------------------------------------------------------------- type groups

inline bool block_type_q(uint32_t t) { return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH; }
inline bool same_series(const Cell* a, const Cell* b) {
    return a->type() == b->type() && a->data2 == b->data2;
}

}  // namespace

// ================================================================ access

uint8_t* head_pointer(Cell* str) {
    SeriesBuffer* buffer = buffer_of(str);
    int32_t head = clipped_head(str, buffer);
    return buffer->head_ptr() + (uint32_t(head) << unit_shift(buffer->unit()));
}

uint8_t* tail_pointer(const Cell* str) { return buffer_of(str)->tail_ptr(); }

int32_t length_from_head(Cell* str) {
    SeriesBuffer* buffer = buffer_of(str);
    int32_t head = clipped_head(str, buffer);
    return int32_t(buffer->used() >> unit_shift(buffer->unit())) - head;
}

int32_t length_from_start(const Cell* str) {
    const SeriesBuffer* buffer = buffer_of(str);
    return int32_t(buffer->used() >> unit_shift(buffer->unit()));
}

bool at_tail_q(const Cell* str) { return head_index(str) >= length_from_start(str); }

bool skip(Cell* str, int32_t n) {
    int64_t to = int64_t(head_index(str)) + n;
    int32_t total = length_from_start(str);
    if (to >= 0 && to <= total) str->data1 = uint32_t(to);
    return head_index(str) >= total;
}

uint32_t char_at(const Cell* str, int32_t index) {
    SeriesBuffer* buffer = buffer_of(str);
    uint32_t unit = buffer->unit();
    return get_char(buffer->head_ptr() + (uint32_t(index) << unit_shift(unit)), unit);
}

int32_t find_char(Cell* str, uint32_t code_point) {
    int32_t n = length_from_head(str);
    uint32_t unit = buffer_of(str)->unit();
    const uint8_t* p = head_pointer(str);
    if (unit == 1) {
        if (code_point > 0xFF) return -1;
        const void* hit = std::memchr(p, int(code_point), size_t(n));
        return hit ? int32_t(static_cast<const uint8_t*>(hit) - p) : -1;
    }
    for (int32_t i = 0; i < n; i++)
        if (get_char(p + i * unit, unit) == code_point) return i;
    return -1;
}

bool contains_char_q(Cell* str, uint32_t code_point, int32_t skip, bool case_) {
    int32_t n = length_from_head(str);
    uint32_t unit = buffer_of(str)->unit();
    const uint8_t* p = head_pointer(str);
    if (!case_) code_point = fold_upper(code_point);
    for (int32_t i = 0; i < n; i += std::max(skip, 1)) {
        uint32_t c = get_char(p + i * unit, unit);
        if ((case_ ? c : fold_upper(c)) == code_point) return true;
    }
    return false;
}

bool starts_with_c_text_q(Cell* str, const char* text) {
    size_t k = std::strlen(text);
    if (size_t(length_from_head(str)) < k) return false;
    uint32_t unit = buffer_of(str)->unit();
    const uint8_t* p = head_pointer(str);
    for (size_t i = 0; i < k; i++)
        if (get_char(p + i * unit, unit) != uint8_t(text[i])) return false;
    return true;
}

// ================================================================ construction

Cell* make_at(Cell* cell, uint32_t n, uint32_t unit) {
    if (unit != 1 && unit != 2 && unit != 4) runtime::fatal(BAD_UNIT);
    NodeId node = memory::alloc_series(std::max<uint32_t>(n, 1), unit, 0);
    *cell = make_cell(TYPE_STRING, 0, node, 0);
    return cell;
}

Cell* make_empty_at(Cell* cell, uint32_t n) { return make_at(cell, n, 1); }

// The cell holds unset! until the decoded buffer exists.
Cell* load_c_text_at(const char* text, uint32_t length, Cell* cell, int encoding) {
    if (encoding != 0 && encoding != -1) unsupported_encoding();
    if (!cell) cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    NodeId node = encoding == 0
                      ? unicode::load_utf8_string(reinterpret_cast<const uint8_t*>(text), length)
                      : unicode::decode_utf16le(text, length, nullptr, false);
    *cell = make_cell(TYPE_STRING, 0, node, 0);
    return cell;
}

Cell* load_c_text(const char* text, uint32_t length, int encoding) {
    return load_c_text_at(text, length, nullptr, encoding);
}

// Made on the stack, where it stays rooted while the block grows: a cell
// inside the block could move while the string is made.
Cell* load_c_text_in(const char* text, uint32_t length, const Cell* block, int encoding) {
    load_c_text(text, length, encoding);
    Cell* slot = support::append_cell(block);
    *slot = *stack::top();
    stack::pop(1);
    return slot;
}

Cell* load_utf8_strict(const uint8_t* bytes, uint32_t length) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    NodeId node = unicode::load_utf8(bytes, length, 0, nullptr, false);
    *cell = make_cell(TYPE_STRING, 0, node, 0);
    return cell;
}

Cell* push_copy(const Cell* str) { return stack::push(str); }

// ================================================================ writing

SeriesBuffer* append_char(SeriesBuffer* buffer, uint32_t code_point) {
    return append_widening(buffer, code_point, APPEND_LIMIT_1);
}

SeriesBuffer* poke_char(SeriesBuffer* buffer, uint8_t* unit_address, uint32_t code_point) {
    uint32_t unit = checked_unit(buffer);
    if (uint32_t wider = wider_unit(unit, code_point, 0xFF)) {
        int64_t index = (unit_address - buffer->head_ptr()) / unit;
        buffer = widen_to(buffer, unit, wider);
        unit = wider;
        unit_address = buffer->head_ptr() + index * unit;
    }
    put_char(unit_address, unit, code_point);
    return buffer;
}

SeriesBuffer* set_char_at(SeriesBuffer* buffer, uint32_t index, uint32_t code_point) {
    uint32_t unit = checked_unit(buffer);
    if (uint32_t wider = wider_unit(unit, code_point, 0xFF)) {
        buffer = widen_to(buffer, unit, wider);
        unit = wider;
    }
    buffer = ensure_capacity(buffer, (int64_t(index) + 1) * unit);
    uint32_t total = buffer->used() / unit;
    if (index > total)  // nothing stale between the old tail and the new unit
        std::memset(buffer->tail_ptr(), 0, size_t(index - total) * unit);
    put_char(buffer->head_ptr() + uint64_t(index) * unit, unit, code_point);
    if (index >= total) buffer->tail = buffer->head + (index + 1) * unit;
    return buffer;
}

SeriesBuffer* insert_char_at(SeriesBuffer* buffer, uint32_t index, uint32_t code_point) {
    uint32_t unit = checked_unit(buffer);
    if (uint32_t wider = wider_unit(unit, code_point, 0xFF)) {
        buffer = widen_to(buffer, unit, wider);
        unit = wider;
    }
    uint32_t total = buffer->used() / unit;
    index = std::min(index, total);
    buffer = ensure_capacity(buffer, (int64_t(total) + 1) * unit);
    uint8_t* at = buffer->head_ptr() + uint64_t(index) * unit;
    std::memmove(at + unit, at, size_t(total - index) * unit);
    put_char(at, unit, code_point);
    buffer->tail += unit;
    return buffer;
}

SeriesBuffer* append_c_string(Cell* str, const char* text) {
    return append_bytes(str, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)));
}

SeriesBuffer* append_bytes(Cell* str, const uint8_t* bytes, uint32_t n) {
    SeriesBuffer* buffer = buffer_of(str);
    if (checked_unit(buffer) == 1 && all_ascii(bytes, n)) {
        buffer = reserve(buffer, n);
        if (n) std::memcpy(buffer->tail_ptr(), bytes, n);
        buffer->tail += n;
        return buffer;
    }
    for (uint32_t i = 0; i < n; i++) buffer = append_char(buffer, bytes[i]);
    return buffer;
}

// Sequences cut short by the end of the text are refused like malformed ones.
SeriesBuffer* append_utf8(Cell* str, const char* text, uint32_t length) {
    SeriesBuffer* buffer = buffer_of(str);
    auto* p = reinterpret_cast<const uint8_t*>(text);
    const uint8_t* end = p + length;
    while (p < end) {
        uint32_t available = uint32_t(end - p);
        uint32_t used = 0;
        int32_t cp = unicode::decode_utf8_strict(p, available, &used);
        if (cp < 0 || used == 0) fire_invalid_utf8(p, available);
        buffer = append_char(buffer, uint32_t(cp));
        p += used;
    }
    return buffer;
}

SeriesBuffer* widen_to(SeriesBuffer* buffer, uint32_t from, uint32_t to) {
    bool valid = (from == 1 && (to == 2 || to == 4)) || (from == 2 && to == 4);
    if (!valid || buffer->unit() != from) runtime::fatal(BAD_UNIT);
    uint32_t n = buffer->used() >> unit_shift(from);
    // Room counts from the first used byte: the head may sit inside the payload.
    uint64_t need = uint64_t(n) * to + to;
    if (need > uint64_t(MAX_BYTES)) fire_no_memory();
    if (buffer->size - buffer->head < need) buffer = memory::expand_series(buffer, int64_t(need));
    uint8_t* base = buffer->head_ptr();
    for (uint32_t i = n; i-- > 0;)  // last to first: the wider units overlap the narrow ones
        put_char(base + i * to, to, get_char(base + i * from, from));
    buffer->tail = buffer->head + n * to;
    buffer->flags = (buffer->flags & ~memory::UNIT_MASK) | to;
    return buffer;
}

SeriesBuffer* copy_widened(SeriesBuffer* source, SeriesBuffer* target, uint32_t unit,
                           uint32_t source_offset, uint32_t target_offset, int32_t length,
                           bool keep) {
    if (unit != 2 && unit != 4) runtime::fatal(BAD_UNIT);
    NodeId source_node = source->node;
    uint32_t su = checked_unit(source);
    uint32_t available = source->used() > source_offset ? source->used() - source_offset : 0;
    uint32_t n = (length < 1 ? available : std::min<uint32_t>(uint32_t(length), available)) / su;
    int64_t need = int64_t(target_offset) + int64_t(n) * unit;
    if (!target) {
        NodeId node = memory::alloc_series(uint32_t(std::max<int64_t>(need / unit, 1)), unit, 0);
        target = memory::buffer_of(node);
    } else {
        NodeId target_node = target->node;
        target = ensure_capacity(target, need);
        target = memory::buffer_of(target_node);
    }
    source = memory::buffer_of(source_node);  // the allocation may have moved it
    copy_units(target->head_ptr() + target_offset, unit, source->head_ptr() + source_offset, su, n);
    if (!keep) {
        target->tail = target->head + uint32_t(need);
        target->flags = (target->flags & ~memory::UNIT_MASK) | unit;
    }
    return target;
}

SeriesBuffer* truncate_buffer(SeriesBuffer* buffer, uint32_t n) {
    uint64_t at = buffer->head + (uint64_t(n) << unit_shift(buffer->unit()));
    if (at <= buffer->size && at < buffer->tail) buffer->tail = uint32_t(at);
    return buffer;
}

void reset(Cell* str) {
    SeriesBuffer* buffer = buffer_of(str);
    buffer->tail = buffer->head;
    buffer->flags = (buffer->flags & ~memory::UNIT_MASK) | 1;
    str->data1 = 0;
}

void remove_units_at(Cell* str, int32_t index, int32_t n) {
    SeriesBuffer* b = buffer_of(str);
    uint32_t unit = b->unit();
    int32_t total = int32_t(b->used() / unit);
    if (index < 0 || index >= total || n < 1) return;
    n = std::min(n, total - index);
    uint8_t* at = b->head_ptr() + int64_t(index) * unit;
    std::memmove(at, at + int64_t(n) * unit, size_t(total - index - n) * unit);
    b->tail -= uint32_t(n) * unit;
}

// All the code points go in at once: the target widens once, to the widest
// of them, and opens one gap.
void move_units(Cell* source, Cell* target, int32_t n) {
    n = std::min(n, length_from_head(source));
    if (n < 1) return;
    Insertion ins;
    int32_t from = head_index(source);
    ins.run = Run{source->data2, from, n};
    int32_t at = std::clamp(head_index(target), 0, length_from_start(target));
    splice(target->data2, at, 0, ins, 1);
    if (source->data2 == target->data2 && at <= from) from += n;  // shifted by the insertion
    remove_units_at(source, from, n);
}

// In place by two rotations: no scratch area to keep.
void swap_regions(uint8_t* a, uint32_t length_a, uint8_t* b, uint32_t length_b, uint32_t gap) {
    if (b != a + length_a + gap) runtime::fatal(ASSERTION_FAILED);
    uint8_t* end = b + length_b;
    std::rotate(a, b, end);                         // [B][A][gap]
    std::rotate(a + length_b, a + length_b + length_a, end);  // [B][gap][A]
}

SeriesBuffer* concatenate(Cell* target, const Cell* source, int32_t part, int32_t offset, bool,
                          int mode) {
    Insertion ins;
    ins.run = run_of(source);
    if (part >= 0 && part < ins.run.count) ins.run.count = part;
    NodeId node = target->data2;
    if (ins.run.count == 0) return buf(node);
    int64_t total = total_of(node);
    int64_t pos = mode == APPEND_MODE ? total : std::clamp<int64_t>(int64_t(clipped_head(target, buf(node))) + offset, 0, total);
    int64_t removed = mode == OVERWRITE_MODE ? std::min<int64_t>(ins.run.count, total - pos) : 0;
    splice(node, pos, removed, ins, 1);
    return buf(node);
}

// ================================================================ escapes and mold

namespace {

// Caret names of the code points below 95 (0: none).
constexpr char CARET_NAMES[95] = {
    '@', 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '-', '/', 'K', 'L', 'M', 'N', 'O',
    'P', 'Q', 'R', 'S', 'T', 'U', 'V', 'W', 'X', 'Y', 'Z', '[', '\\', ']', '^', '_',
    0, 0, '"', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '^'};

inline bool hex_escaped(uint32_t c, bool all) {
    return c == 0x1E || (c >= 0x80 && c <= 0x9F) || (all && c > 0x7F);
}
inline int hex_digits(uint32_t c) { return c == 0 ? 1 : (32 - std::countl_zero(c) + 3) / 4; }

// Units the escaped form of c takes.
inline int escaped_length(uint32_t c, bool all) {
    if (c >= 0x20 && c < 0x7F) return c == '"' || c == '^' ? 2 : 1;
    if (hex_escaped(c, all)) return 3 + hex_digits(c);
    if (c < 0x20 || c == 0x7F) return 2;
    return 1;
}

void put_escaped(TailWriter& w, uint32_t c, bool all) {
    if (hex_escaped(c, all)) {
        w.put('^');
        w.put('(');
        w.put_ascii(integer_to_hex(int32_t(c), true));
        w.put(')');
    } else if (c < 95 && CARET_NAMES[c]) {
        w.put('^');
        w.put(uint8_t(CARET_NAMES[c]));
    } else if (c == 0x7F) {
        w.put('^');
        w.put('~');
    } else {
        w.put(c);
    }
}

struct MoldScan {
    int64_t quotes = 0, lines = 0, braces = 0;
    int64_t escaped = 0;  // units of the quote-form escapes
    uint32_t widest = 0;  // widest code point written as itself
};

template <uint32_t U> MoldScan scan_for_mold(const uint8_t* p, int64_t n, bool all) {
    MoldScan s;
    for (int64_t i = 0; i < n; i++) {
        uint32_t c = load<U>(p + i * U);
        if (c == '"') s.quotes++;
        else if (c == '\n') s.lines++;
        else if (c == '{' || c == '}') s.braces++;
        int length = escaped_length(c, all);
        s.escaped += length;
        if (length == 1) s.widest = std::max(s.widest, c);
    }
    return s;
}

// The first opening brace with no closing brace after it (counting nesting),
// or n: scanning from the end, each "}" can close one "{" before it.
template <uint32_t U> int64_t first_unmatched_brace(const uint8_t* p, int64_t n) {
    int64_t first = n;
    int64_t closers = 0;
    for (int64_t i = n; i-- > 0;) {
        uint32_t c = load<U>(p + i * U);
        if (c == '}') closers++;
        else if (c == '{' && closers > 0) closers--;
        else if (c == '{') first = i;
    }
    return first;
}

template <uint32_t U>
void write_mold(TailWriter& w, const uint8_t* p, int64_t n, bool all, bool braces, int64_t unmatched) {
    int64_t depth = 0;
    for (int64_t i = 0; i < n; i++) {
        uint32_t c = load<U>(p + i * U);
        if (braces) {
            if (c == '{') {
                if (i >= unmatched) w.put('^');
                else depth++;
                w.put(c);
                continue;
            }
            if (c == '}') {
                if (depth == 0) w.put('^');
                else depth--;
                w.put(c);
                continue;
            }
            if (c == '"') {
                w.put(c);
                continue;
            }
        }
        put_escaped(w, c, all);
    }
}

template <uint32_t U>
void mold_units(NodeId buffer_node, NodeId node, int32_t head, int64_t n, int64_t length, bool all) {
    MoldScan s = scan_for_mold<U>(unit_at(node, head), n, all);
    bool braces = s.lines >= 3 || s.quotes > 0 || length >= 50;
    int64_t unmatched = braces && s.braces ? first_unmatched_brace<U>(unit_at(node, head), n) : n;
    // The writer settles the room first; the source is read after it.
    TailWriter w(buffer_node, s.escaped + s.braces + 2, append_unit_for(s.widest));
    const uint8_t* p = unit_at(node, head);
    w.put(braces ? '{' : '"');
    if (s.escaped == n && s.braces == 0) w.put_units(p, U, n);  // nothing to escape
    else write_mold<U>(w, p, n, all, braces, unmatched);
    w.put(braces ? '}' : '"');
    w.finish();
}

}  // namespace

void append_escaped_char(Cell* buffer, uint32_t code_point, bool all) {
    int length = escaped_length(code_point, all);
    TailWriter w(buffer->data2, length, append_unit_for(length == 1 ? code_point : 0));
    put_escaped(w, code_point, all);
    w.finish();
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    int32_t length = length_from_head(value);
    int32_t count = arg ? std::clamp(part, 0, length) : length;
    if (count > 0) concatenate(buffer, value, count, 0, false, APPEND_MODE);
    return part - length;
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* arg, int part, int) {
    int32_t length = length_from_head(value);
    int64_t n = arg ? std::clamp(part, 0, length) : length;
    NodeId node = value->data2;
    int32_t head = head_index(value);
    switch (checked_unit(buf(node))) {
        case 1: mold_units<1>(buffer->data2, node, head, n, length, all); break;
        case 2: mold_units<2>(buffer->data2, node, head, n, length, all); break;
        default: mold_units<4>(buffer->data2, node, head, n, length, all); break;
    }
    return int(part - n - 2);
}

// ================================================================ matching

int compare_strings(const Cell* a, const Cell* b, int op, bool match) {
    if (op == COMP_SAME) return a->data2 == b->data2 && a->data1 == b->data1 ? 0 : -1;
    bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                    op == COMP_FIND;
    bool symbols = a->is(TYPE_SYMBOL) || b->is(TYPE_SYMBOL);
    if (equality && !symbols && a->data2 == b->data2 && a->data1 == b->data1) return 0;
    Run ra = run_of(a);
    Run rb = run_of(b);
    if (b->type() == PARSE_SPAN_TYPE && int32_t(b->data3) >= 0)
        rb.count = std::min(int32_t(b->data3), total_of(rb.node) - rb.head);
    int64_t na = ra.count, nb = rb.count;
    int64_t n = nb;
    if (match) {
        if (nb == 0) return op == COMP_FIND ? 1 : 0;
        if (nb > na) return 1;
    } else {
        if (na != nb) {
            if (equality || nb == 0) return 1;
            n = std::min(na, nb);
        } else if (na == 0) {
            return 0;
        }
        if (na == 0) return -1;
    }
    bool exact = op == COMP_STRICT_EQUAL || op == COMP_CASE_SORT;
    const uint8_t* pa = n > 0 ? unit_at(ra.node, ra.head) : nullptr;
    const uint8_t* pb = n > 0 ? unit_at(rb.node, rb.head) : nullptr;
    uint32_t ua = ra.unit(), ub = rb.unit();
    for (int64_t i = 0; i < n; i++) {
        uint32_t x = get_char(pa + i * ua, ua), y = get_char(pb + i * ub, ub);
        if (!exact) {
            x = fold_upper(x);
            y = fold_upper(y);
        }
        if (x != y) return x < y ? -1 : 1;
    }
    if (match || na == nb) return 0;
    return na < nb ? -1 : 1;
}

bool tag_delimited_q(Cell* str, Cell* tag) {
    int64_t k = length_from_head(tag);
    if (length_from_head(str) < k + 2) return false;
    int32_t head = head_index(str);
    return char_at(str, head) == '<' && char_at(str, int32_t(head + k + 1)) == '>';
}

bool match_q(Cell* str, const Cell* value, int op) {
    switch (value->type()) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_EMAIL: case TYPE_REF:
            return compare_strings(str, value, op, true) == 0;
        case TYPE_CHAR: {
            if (length_from_head(str) < 1) return false;
            uint32_t c = char_at(str, head_index(str)), v = value->data2;
            return op == COMP_STRICT_EQUAL ? c == v : fold_upper(c) == fold_upper(v);
        }
        case TYPE_TAG: {
            Cell tag = *value;
            if (!tag_delimited_q(str, &tag)) return false;
            Cell inner = *str;
            inner.data1++;
            return compare_strings(&inner, &tag, op, true) == 0;
        }
        default:
            return false;
    }
}

// Bits beyond the stored bytes answer by the complemented flag.
bool char_in_bitset_q(Cell* str, const Cell* bitset) {
    if (length_from_head(str) < 1) return false;
    uint32_t c = char_at(str, head_index(str));
    SeriesBuffer* b = memory::buffer_of(bitset->data2);
    if (uint64_t(c) / 8 >= b->used()) return b->flags & memory::COMPLEMENTED_FLAG;
    return b->head_ptr()[c / 8] & (0x80 >> (c % 8));
}

// ================================================================ text helpers

const char* byte_to_hex(uint8_t byte) {
    static char text[3];
    text[0] = HEX_DIGITS[byte >> 4];
    text[1] = HEX_DIGITS[byte & 15];
    text[2] = 0;
    return text;
}

const char* integer_to_hex(int32_t value, bool trim) {
    static char text[9];
    int32_t fill = value < 0 ? -1 : 0;
    int pos = 8;
    text[8] = 0;
    for (int32_t rest = value; rest != fill && pos > 0; rest >>= 4)
        text[--pos] = HEX_DIGITS[rest & 15];
    if (trim && value == 0) return "00";
    if (trim) return text + pos;
    std::memset(text, fill ? 'F' : '0', size_t(pos));
    return text;
}

double to_float(const uint8_t* text, uint32_t length, bool* error) {
    int rest = 0;
    double value = dtoa::strtod(text, text + length, 0, &rest);
    *error = length == 0 || rest != 0;
    return value;
}

// ================================================================ make, to, compare

Cell* make(Cell* proto, Cell* spec, int type) {
    if (spec->is(TYPE_INTEGER) || spec->is(TYPE_FLOAT)) {
        int32_t n = support::to_int_checked(spec);
        if (n < 0) support::fire_error(ErrorId::script_out_of_range, spec);
        Cell* result = stack::push_cell();
        *result = make_cell(TYPE_UNSET);
        NodeId node = memory::alloc_series(n == 0 ? 16 : uint32_t(n), 1, 0);
        *result = make_cell(uint32_t(type), 0, node, 0);
        return result;
    }
    if (type == TYPE_BINARY) {
        if (spec->is(TYPE_MONEY)) {
            Cell datatype = make_cell(TYPE_DATATYPE, TYPE_BINARY);
            support::fire_make_error(&datatype, spec);
        }
        auto to_binary = reinterpret_cast<SlotFnT<A_TO>>(actions::lookup(TYPE_BINARY, proto, A_TO));
        return to_binary(proto, spec, type);
    }
    return to(proto, spec, type);
}

Cell* to(Cell*, Cell* spec, int type) {
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_UNSET);
    uint32_t t = spec->type();
    if (t == TYPE_NONE) {
        Cell datatype = make_cell(TYPE_DATATYPE, TYPE_STRING);
        support::fire_error(ErrorId::script_bad_to_arg, &datatype, spec);
    } else if (block_type_q(t)) {
        make_at(result, 16, 1);
        append(result, spec, -1, false, 1, true);
    } else if (any_string_q(t)) {
        series::copy(spec, result, nullptr, false, nullptr);
    } else if (t == TYPE_REFINEMENT) {
        make_at(result, 16, 1);
        if (type == TYPE_STRING) actions::form_direct(spec, result, nullptr, INT_MAX);
        else actions::mold_direct(spec, result, true, true, false, nullptr, INT_MAX, 0);
    } else if (t == TYPE_BINARY) {
        Run bytes = run_of(spec);
        NodeId node = unicode::load_utf8_from(bytes.node, uint32_t(bytes.head), uint32_t(bytes.count),
                                              0, nullptr, false);
        *result = make_cell(TYPE_STRING, 0, node, 0);
    } else {
        make_at(result, 16, 1);
        actions::form_direct(spec, result, nullptr, INT_MAX);
    }
    result->header = uint32_t(type);  // nothing of the source type stays
    result->data1 = 0;
    return result;
}

int compare(Cell* value1, Cell* value2, int op) {
    if (value1->type() != value2->type()) {
        bool loose = op == COMP_EQUAL || op == COMP_NOT_EQUAL;
        if (!any_string_q(value2->type()) || !loose) return COMPARE_UNCOMPARABLE;
    }
    return compare_strings(value1, value2, op, false);
}

// ================================================================ find and select

namespace {

// Candidate positions of a search: count positions from first, step apart.
struct Window {
    int64_t first = 0;
    int64_t step = 1;
    int64_t count = 0;
};

// The candidates for a k-unit value. Forward: from the head to the last
// position where the match ends inside the range. /last: the same positions
// backward, from the last record start that can hold it. /reverse: backward
// from the record before the head, the match ending at or before the head.
Window window_for(int64_t head, int64_t total, int64_t part, int64_t skip, int64_t k, bool last,
                  bool reverse) {
    Window w;
    if (reverse) {
        int64_t low = part >= 0 ? std::max<int64_t>(head - part, 0) : 0;
        int64_t records = std::max<int64_t>(1, (k + skip - 1) / skip);
        w.first = head - records * skip;
        w.step = -skip;
        w.count = w.first >= low ? (w.first - low) / skip + 1 : 0;
        return w;
    }
    int64_t end = part >= 0 ? std::min(head + part, total) : total;
    int64_t last_start = end - k;
    if (last_start < head) return w;
    int64_t records = (last_start - head) / skip;
    w.count = records + 1;
    if (last) {
        w.first = head + records * skip;
        w.step = -skip;
    } else {
        w.first = head;
        w.step = skip;
    }
    return w;
}

template <uint32_t SU, uint32_t VU, bool FOLD>
int64_t scan_text(const uint8_t* s, const uint8_t* v, int64_t k, Window w) {
    auto read = [](uint32_t c) { return FOLD ? fold_upper(c) : c; };
    uint32_t v0 = read(load<VU>(v));
    int64_t c = w.first;
    for (int64_t i = 0; i < w.count; i++, c += w.step) {
        const uint8_t* at = s + c * SU;
        if (read(load<SU>(at)) != v0) continue;
        int64_t j = 1;
        while (j < k && read(load<SU>(at + j * SU)) == read(load<VU>(v + j * VU))) j++;
        if (j == k) return c;
    }
    return -1;
}

using TextScan = int64_t (*)(const uint8_t*, const uint8_t*, int64_t, Window);
template <uint32_t SU, uint32_t VU> TextScan text_scan_of(bool fold) {
    return fold ? &scan_text<SU, VU, true> : &scan_text<SU, VU, false>;
}
template <uint32_t SU> TextScan text_scan_for(uint32_t vu, bool fold) {
    switch (vu) {
        case 1: return text_scan_of<SU, 1>(fold);
        case 2: return text_scan_of<SU, 2>(fold);
        default: return text_scan_of<SU, 4>(fold);
    }
}
TextScan text_scan(uint32_t su, uint32_t vu, bool fold) {
    switch (su) {
        case 1: return text_scan_for<1>(vu, fold);
        case 2: return text_scan_for<2>(vu, fold);
        default: return text_scan_for<4>(vu, fold);
    }
}

int64_t find_run(const uint8_t* s, uint32_t su, const uint8_t* v, uint32_t vu, int64_t k, Window w,
                 bool fold) {
    if (su == 1 && vu == 1 && !fold && w.step == 1 && w.count > 0) {
        const void* hit = memmem(s + w.first, size_t(w.count + k - 1), v, size_t(k));
        return hit ? static_cast<const uint8_t*>(hit) - s : -1;
    }
    return text_scan(su, vu, fold)(s, v, k, w);
}

template <typename Test> int64_t scan_units(Window w, Test test) {
    int64_t c = w.first;
    for (int64_t i = 0; i < w.count; i++, c += w.step)
        if (test(c)) return c;
    return -1;
}

int64_t find_code_point(const uint8_t* s, uint32_t su, uint32_t cp, Window w, bool fold) {
    if (su == 1 && !fold && w.step == 1 && w.count > 0) {
        if (cp > 0xFF) return -1;
        const void* hit = std::memchr(s + w.first, int(cp), size_t(w.count));
        return hit ? static_cast<const uint8_t*>(hit) - s : -1;
    }
    if (fold) {
        cp = fold_upper(cp);
        return scan_units(w, [&](int64_t c) { return fold_upper(get_char(s + c * su, su)) == cp; });
    }
    return scan_units(w, [&](int64_t c) { return get_char(s + c * su, su) == cp; });
}

// A vector! element or a binary! byte as a number.
double element_number(const uint8_t* p, uint32_t unit, uint32_t element_type, bool* is_float) {
    *is_float = element_type == TYPE_FLOAT || element_type == TYPE_PERCENT;
    if (*is_float) {
        if (unit == 8) {
            double d;
            std::memcpy(&d, p, 8);
            return d;
        }
        float f;
        std::memcpy(&f, p, 4);
        return f;
    }
    if (element_type == TYPE_CHAR || element_type == 0) return get_char(p, unit);
    switch (unit) {
        case 1: return int8_t(p[0]);
        case 2: return int16_t(uint16_t(p[0] | p[1] << 8));
        default: return int32_t(get_char(p, 4));
    }
}

struct Found {
    int64_t at = -1;
    int64_t end = -1;  // just after the match
};

Found find_in(Cell* series, Cell* value_in, Cell* part, bool case_, bool same, bool any,
              Cell* with, Cell* skip, bool last, bool reverse, bool match) {
    NodeId node = series->data2;
    int64_t total = total_of(node);
    int64_t head = head_index(series);
    if (total == 0 || (!reverse && head >= total)) return {};
    if (any || with) not_done_raise();
    int64_t step = 1;
    if (skip) {
        if (!skip->is(TYPE_INTEGER)) fire_invalid_refine(refinements::skip, skip);
        step = skip->as_int();
        if (step < 1) support::fire_error(ErrorId::script_out_of_range, skip);
    }
    head = std::clamp<int64_t>(head, 0, total);
    int64_t count = -1;
    if (part) {
        if (part->is(TYPE_INTEGER)) count = part->as_int();
        else if (same_series(part, series)) count = reverse ? head - head_index(part) : head_index(part) - head;
        else fire_invalid_refine(refinements::part, part);
        if (count < 1) return {};
    }
    if (reverse && (head == 0 || match)) return {};

    uint32_t series_type = series->type();
    bool fold = any_string_q(series_type) && !case_ && !same;
    bool numbers = series_type == TYPE_VECTOR || series_type == TYPE_BINARY;
    uint32_t su = buf(node)->unit();
    Cell value = *value_in;
    StackScope scope;  // a formed value lives on the stack until the search ends
    auto window = [&](int64_t k) {
        Window w = window_for(head, total, count, step, k, last, reverse);
        if (match) w.count = std::min<int64_t>(w.count, 1);
        return w;
    };
    auto found = [](int64_t at, int64_t k) { return at < 0 ? Found{} : Found{at, at + k}; };

    switch (value.type()) {
        case TYPE_CHAR: {
            if (su == 8) return {};
            Window w = window(1);
            return found(find_code_point(unit_at(node, 0), su, value.data2, w, fold), 1);
        }
        case TYPE_BITSET: {
            if (su == 8) return {};
            SeriesBuffer* bits = memory::buffer_of(value.data2);
            const uint8_t* set = bits->head_ptr();
            uint64_t stored = bits->used();
            bool complemented = bits->flags & memory::COMPLEMENTED_FLAG;
            const uint8_t* s = unit_at(node, 0);
            return found(scan_units(window(1), [&](int64_t c) {
                             uint32_t cp = get_char(s + c * su, su);
                             if (cp / 8 >= stored) return complemented;
                             return (set[cp / 8] & (0x80 >> (cp % 8))) != 0;
                         }), 1);
        }
        case TYPE_INTEGER: case TYPE_FLOAT:
            if (numbers) {
                uint32_t element_type = series_type == TYPE_VECTOR ? series->data3 : 0;
                bool as_float = value.is(TYPE_FLOAT);
                double wanted = as_float ? value.as_double() : value.as_int();
                const uint8_t* s = unit_at(node, 0);
                return found(scan_units(window(1), [&](int64_t c) {
                                 bool is_float;
                                 double d = element_number(s + c * su, su, element_type, &is_float);
                                 return d == wanted;
                             }), 1);
            }
            break;
        case TYPE_BINARY:
            if (series_type != TYPE_BINARY) support::fire_error(ErrorId::script_invalid_arg, &value);
            break;
        default:
            break;
    }
    Run run;
    uint32_t vt = value.type();
    if (any_string_q(vt) && vt != TYPE_TAG) {
        run = run_of(&value);
    } else if (vt == TYPE_BINARY || vt == TYPE_WORD) {
        run = run_of(&value);
    } else {
        Cell* text = push_new_string(16);
        actions::form_direct(&value, text, nullptr, INT_MAX);
        run = run_of(text);
    }
    if (run.count == 0 || su == 8) return {};  // searching nothing finds nothing
    Window w = window(run.count);
    // Read after every allocation above.
    int64_t at = find_run(unit_at(node, 0), su, unit_at(run.node, run.head), run.unit(), run.count,
                          w, fold);
    return found(at, run.count);
}

}  // namespace

Cell* find(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Found f = find_in(series, value, part, case_, same, any, with, skip, last, reverse, match);
    if (f.at < 0) {
        *series = make_cell(TYPE_NONE);
        return series;
    }
    series->data1 = uint32_t(tail ? f.end : f.at);
    return series;
}

// The element after the match: the whole matched text is passed over.
Cell* select(Cell* series, Cell* value, Cell* part, bool, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
    Found f = find_in(series, value, part, case_, same, any, with, skip, last, reverse, false);
    if (f.at < 0 || f.end >= total_of(series->data2)) {
        *series = make_cell(TYPE_NONE);
        return series;
    }
    series->data1 = uint32_t(f.end);
    *series = *series::pick(series, 1, nullptr);
    return series;
}

// ================================================================ path access

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int,
                bool case_, bool, bool, bool) {
    static Cell g_result;
    if (element->is(TYPE_INTEGER)) {
        if (value) return series::poke(parent, element->as_int(), value, element);
        g_result = *series::pick(parent, element->as_int(), element);
        return &g_result;
    }
    if (element->is(TYPE_WORD))
        support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
    StackScope scope;
    Cell* at = stack::push(parent);
    if (!value) {
        select(at, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false);
        g_result = *at;
        return &g_result;
    }
    find(at, element, nullptr, false, case_, false, false, nullptr, nullptr, false, false, false, false);
    if (at->is(TYPE_NONE))
        support::fire_error(ErrorId::script_bad_path_set, path ? path : &shared_none_cell, element);
    series::poke(at, 2, value, nullptr);
    return value;
}

// ================================================================ append, insert, change

namespace {

// The text of a value that append, insert and change put in. Formed text
// goes to a new string pushed on the stack: the caller's StackScope drops it.
Insertion insertion_of(const Cell* value, int part, bool only) {
    Insertion ins;
    uint32_t t = value->type();
    if (t == TYPE_CHAR) {
        if (part != 0) ins.before = value->data2;
        return ins;
    }
    if (t == TYPE_TAG) {  // "<" takes one unit of the part, ">" what is left after the text
        if (part == 0) return ins;
        ins.before = '<';
        ins.run = run_of(value);
        if (part > 0) ins.run.count = std::min(ins.run.count, part - 1);
        if (part < 0 || part - 1 > ins.run.count) ins.after = '>';
        return ins;
    }
    if (any_string_q(t)) {
        ins.run = run_of(value);
        if (part >= 0) ins.run.count = std::min(ins.run.count, part);
        return ins;
    }
    Cell* text = push_new_string(16);
    if (block_type_q(t)) {
        NodeId node = value->data2;
        int32_t head = std::max(head_index(value), 0);
        Cell* element = stack::push(&shared_unset_cell);
        for (int32_t i = head, n = 0; i < int32_t(buf(node)->used() / sizeof(Cell)); i++, n++) {
            if (!only && part >= 0 && n >= part) break;
            *element = buf(node)->head_cell()[i];  // on the stack while it is formed
            actions::form_direct(element, text, nullptr, INT_MAX);
            if (only && part >= 0 && length_from_start(text) >= part) {
                truncate_buffer(buffer_of(text), uint32_t(part));
                break;
            }
        }
    } else {
        Cell copy = *value;
        actions::form_direct(&copy, text, nullptr, INT_MAX);
        if (only && part >= 0) truncate_buffer(buffer_of(text), uint32_t(part));
    }
    ins.run = run_of(text);
    return ins;
}

void check_size(int64_t written, int64_t total, uint32_t unit) {
    if (written > MAX_BYTES || (written + total) * unit > MAX_BYTES) fire_no_memory();
}

}  // namespace

Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool is_append) {
    NodeId node = series->data2;
    int32_t head = clipped_head(series, buf(node));
    if (dup < 1 || part == 0) {
        if (is_append) series->data1 = 0;
        return series;
    }
    StackScope scope;
    Insertion ins = insertion_of(value, part, only);
    int64_t written = ins.count() * dup;
    int64_t total = total_of(node);
    check_size(written, total, std::max(buf(node)->unit(), ins.unit()));
    bool at_tail = is_append || head >= total;
    const Cell* word = is_append ? words::get(words::append) : words::insert();
    bool told = written > 0 && notify(series, word, value, at_tail ? total : head, written);

    reclip(ins.run);  // the handler may have changed either series
    total = total_of(node);
    int64_t pos = at_tail ? total : std::min<int64_t>(head, total);
    written = splice(node, pos, 0, ins, dup);
    if (told) notify(series, is_append ? words::appended : words::inserted, value, pos, written);
    series->data1 = is_append ? 0 : uint32_t(std::min<int64_t>(pos + written, total_of(node)));
    return series;
}

Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append) {
    return insert(series, value, part, only, dup, is_append);
}

Cell* change(Cell* series, Cell* value, int part, bool only, int dup) {
    NodeId node = series->data2;
    int32_t head = clipped_head(series, buf(node));
    int64_t total = total_of(node);
    if (head >= total) {
        insert(series, value, -1, only, dup, true);
        series->data1 = uint32_t(total_of(node));
        return series;
    }
    StackScope scope;
    Insertion ins = insertion_of(value, -1, only);
    int64_t written = dup < 1 ? 0 : ins.count() * dup;
    int64_t replaced = std::min<int64_t>(part >= 0 ? part : written, total - head);
    check_size(written - replaced, total, std::max(buf(node)->unit(), ins.unit()));
    bool told = notify(series, words::change, value, head, replaced);

    reclip(ins.run);
    total = total_of(node);
    head = std::min<int32_t>(head, int32_t(total));
    replaced = std::min<int64_t>(replaced, total - head);
    written = splice(node, head, replaced, ins, dup);
    if (told) notify(series, words::changed, value, head, written);
    series->data1 = uint32_t(std::min<int64_t>(head + written, total_of(node)));
    return series;
}

// ================================================================ swap and take

Cell* swap(Cell* series1, Cell* series2) {
    uint32_t t2 = series2->type();
    if (!any_string_q(t2) && t2 != TYPE_BINARY) support::fire_error(ErrorId::script_invalid_arg, series2);
    auto live = [](const Cell* s) { return head_index(s) >= 0 && head_index(s) < length_from_start(s); };
    if (!live(series1) || !live(series2)) return series1;
    int32_t h1 = head_index(series1), h2 = head_index(series2);
    uint32_t c1 = char_at(series1, h1), c2 = char_at(series2, h2);
    // A binary! holds bytes: a wider code point would change its unit.
    if ((series1->is(TYPE_BINARY) && c2 > 0xFF) || (t2 == TYPE_BINARY && c1 > 0xFF))
        support::fire_error(ErrorId::script_invalid_arg, series2);
    Cell v1 = make_cell(TYPE_CHAR, 0, c1, 0), v2 = make_cell(TYPE_CHAR, 0, c2, 0);
    bool told1 = notify(series1, words::swap, &v2, h1, 1);
    bool told2 = notify(series2, words::swap, &v1, h2, 1);
    if (!live(series1) || !live(series2)) return series1;
    c1 = char_at(series1, h1);
    c2 = char_at(series2, h2);
    poke_char(buffer_of(series1), unit_at(series1->data2, h1), c2);
    // Re-read: widening the first may have moved (or, shared, widened) the second.
    poke_char(buffer_of(series2), unit_at(series2->data2, h2), c1);
    if (told1) notify(series1, words::swaped, &v1, h1, 1);
    if (told2) notify(series2, words::swaped, &v2, h2, 1);
    return series1;
}

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    series::take(series, part, deep, last);
    if (!part && !series->is(TYPE_NONE) && length_from_start(series) == 1) {
        series->data1 = 0;
        *series = *series::pick(series, 1, nullptr);
    }
    return series;
}

// ================================================================ trim

namespace {

// Whitespace of trim's line and edge modes.
bool trim_space_q(uint32_t c) {
    if (c >= 1 && c <= 32) return true;
    if (c < 133) return false;
    switch (c) {
        case 133: case 160: case 5760: case 6158: case 8232: case 8233: case 8239: case 8287:
        case 12288:
            return true;
        default:
            return c >= 8192 && c <= 8202;
    }
}
// At the start of a line only tabs, spaces and the wide members count.
bool line_start_space_q(uint32_t c) { return c == 9 || c == 32 || (c > 127 && trim_space_q(c)); }

// The units to keep, written down from the head of the same buffer: the
// write position never passes the read position.
struct Compactor {
    uint8_t* base;
    uint32_t unit;
    int64_t w;
    uint32_t get(int64_t i) const { return get_char(base + i * unit, unit); }
    void put(uint32_t c) { put_char(base + w++ * unit, unit, c); }
};

// A set of code points: bits for the BMP (grown to 8 KB only once a code
// point above Latin-1 comes), a hash set above it.
class CodeSet {
public:
    bool has(uint32_t c) const {
        if (c >= 0x10000) return m_astral.count(c) != 0;
        size_t word = c >> 6;
        return word < m_bits.size() && (m_bits[word] >> (c & 63) & 1);
    }
    void add(uint32_t c) {
        if (c >= 0x10000) {
            m_astral.insert(c);
            return;
        }
        size_t word = c >> 6;
        if (word >= m_bits.size()) m_bits.resize(c < 256 ? 4 : 1024);
        m_bits[word] |= uint64_t(1) << (c & 63);
    }

private:
    std::vector<uint64_t> m_bits;
    std::unordered_set<uint32_t> m_astral;
};

// The set of /all and /with.
class TrimSet {
public:
    explicit TrimSet(const Cell* with) {
        if (!with) {
            for (uint32_t c : {9u, 10u, 13u, 32u}) add(c);
            return;
        }
        switch (with->type()) {
            case TYPE_CHAR: case TYPE_INTEGER:
                add(with->data2);
                break;
            case TYPE_STRING: case TYPE_BINARY: {
                Run run = run_of(with);
                uint32_t u = run.unit();
                for (int32_t i = 0; i < run.count; i++) add(get_char(unit_at(run.node, run.head + i), u));
                break;
            }
            default:
                support::fire_error(ErrorId::script_invalid_arg, with);
        }
    }
    bool has(uint32_t c) const { return m_set.has(c); }

private:
    void add(uint32_t c) { m_set.add(c); }
    CodeSet m_set;
};

int64_t trim_set(Compactor& k, int64_t from, int64_t to, const TrimSet& set) {
    for (int64_t r = from; r < to; r++)
        if (uint32_t c = k.get(r); !set.has(c)) k.put(c);
    return k.w;
}

// Runs of whitespace inside the text become one space; none at either end.
int64_t trim_lines(Compactor& k, int64_t from, int64_t to) {
    bool text = false, pending = false;
    for (int64_t r = from; r < to; r++) {
        uint32_t c = k.get(r);
        if (trim_space_q(c)) {
            pending = text;
            continue;
        }
        if (pending) k.put(' ');
        pending = false;
        text = true;
        k.put(c);
    }
    return k.w;
}

int64_t trim_edges(Compactor& k, int64_t from, int64_t to, bool head, bool tail) {
    bool clean = !head && !tail;  // neither: both edges, and every line
    if (head || clean)
        while (from < to && trim_space_q(k.get(from))) from++;
    int64_t end = to;
    if (tail || clean)
        while (end > from && trim_space_q(k.get(end - 1))) end--;
    if (!clean) {
        for (int64_t r = from; r < end; r++) k.put(k.get(r));
        return k.w;
    }
    bool trailing_line = false;
    for (int64_t r = end; r < to; r++) trailing_line |= k.get(r) == '\n';
    int64_t run = -1;  // where the whitespace before a possible line end starts
    bool line_start = false;
    for (int64_t r = from; r < end; r++) {
        uint32_t c = k.get(r);
        if (line_start && line_start_space_q(c)) continue;
        line_start = false;
        if (c == '\n') {
            if (run >= 0) k.w = run;
            run = -1;
            k.put(c);
            line_start = true;
            continue;
        }
        if (trim_space_q(c)) {
            if (run < 0) run = k.w;
        } else {
            run = -1;
        }
        k.put(c);
    }
    if (trailing_line) k.put('\n');
    return k.w;
}

}  // namespace

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    if (!all && !with && auto_) not_done_raise();
    TrimSet set(all || with ? with : nullptr);
    NodeId node = series->data2;
    int32_t start = clipped_head(series, buf(node));
    bool told = notify(series, words::trim, nullptr, start, 0);
    start = clipped_head(series, buf(node));
    // Nothing below allocates: the buffer stays where it is.
    SeriesBuffer* b = buf(node);
    Compactor k{b->head_ptr(), checked_unit(b), start};
    int64_t total = total_of(node);
    int64_t kept;
    if (all || with) kept = trim_set(k, start, total, set);
    else if (lines) kept = trim_lines(k, start, total);
    else kept = trim_edges(k, start, total, head, tail);
    b->tail = b->head + uint32_t(kept * k.unit);
    if (told) notify(series, words::trimmed, nullptr, start, 0);
    return series;
}

// ================================================================ sort

namespace {

enum class SortKind : uint8_t { text, bytes, integers, floats };

// What the built-in comparators read: passed to them by address.
struct SortRule {
    uint32_t unit;
    SortKind kind;
    bool fold;     // text: lower-case mapping; bytes: ASCII letters
    bool reverse;
    bool all;      // every unit of the record, in turn
    int32_t offset;
    int32_t width;  // units per record
};

inline int order_of(uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

int compare_unit(const SortRule& s, const uint8_t* a, const uint8_t* b) {
    switch (s.kind) {
        case SortKind::text: {
            uint32_t x = get_char(a, s.unit), y = get_char(b, s.unit);
            return s.fold ? order_of(fold_lower(x), fold_lower(y)) : order_of(x, y);
        }
        case SortKind::bytes: {
            uint32_t x = *a, y = *b;
            if (s.fold) {
                if (x >= 'A' && x <= 'Z') x += 32;
                if (y >= 'A' && y <= 'Z') y += 32;
            }
            return order_of(x, y);
        }
        default: {
            bool is_float;
            uint32_t element = s.kind == SortKind::floats ? TYPE_FLOAT : TYPE_INTEGER;
            double x = element_number(a, s.unit, element, &is_float);
            double y = element_number(b, s.unit, element, &is_float);
            return x < y ? -1 : x > y ? 1 : 0;
        }
    }
}

int compare_records(const void* a, const void* b, uintptr_t rule_address, uintptr_t) {
    const SortRule& s = *reinterpret_cast<const SortRule*>(rule_address);
    auto* x = static_cast<const uint8_t*>(a);
    auto* y = static_cast<const uint8_t*>(b);
    if (s.reverse) std::swap(x, y);
    if (!s.all) return compare_unit(s, x + s.offset * s.unit, y + s.offset * s.unit);
    for (int32_t i = 0; i < s.width; i++)
        if (int order = compare_unit(s, x + i * s.unit, y + i * s.unit)) return order;
    return 0;
}

SortRule sort_rule_of(const Cell* series, bool case_) {
    SortRule s{};
    s.unit = buf(series->data2)->unit();
    s.fold = !case_;
    switch (series->type()) {
        case TYPE_BINARY:
            s.kind = SortKind::bytes;
            break;
        case TYPE_VECTOR: {
            uint32_t element = series->data3;
            s.fold = false;  // numbers compare as they are
            s.kind = element == TYPE_FLOAT || element == TYPE_PERCENT ? SortKind::floats
                     : element == TYPE_INTEGER ? SortKind::integers
                                               : SortKind::text;
            break;
        }
        default:
            s.kind = SortKind::text;
            break;
    }
    return s;
}

}  // namespace

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable) {
    NodeId node = series->data2;
    int32_t head = clipped_head(series, buf(node));
    int32_t n = total_of(node) - head;
    if (part) {
        int32_t count;
        if (part->is(TYPE_INTEGER)) count = part->as_int();
        else if (same_series(part, series)) count = head_index(part) - head;
        else fire_invalid_refine(refinements::part, part);
        if (count < 0) {  // the units before the head
            count = std::max(count, -head);
            head += count;
            count = -count;
            series->data1 = uint32_t(head);
            n = total_of(node) - head;
        }
        n = std::min(n, count);
    }
    if (n == 0) return series;
    int32_t size = 1;
    if (skip) {
        size = skip->is(TYPE_INTEGER) ? skip->as_int() : 0;
        if (size < 1 || n % size != 0 || n < size) fire_invalid_refine(refinements::skip, skip);
    } else if (all) {
        support::fire_error(ErrorId::script_bad_refines);
    }
    SortRule rule = sort_rule_of(series, case_);
    rule.reverse = reverse;
    rule.all = all;
    rule.width = size;
    if (compare) {
        if (compare->is(TYPE_INTEGER)) {
            if (!skip || all) support::fire_error(ErrorId::script_bad_refines);
            int32_t field = compare->as_int();
            if (field < 1 || field > size) support::fire_error(ErrorId::script_out_of_range, compare);
            rule.offset = field - 1;
        } else if (compare->is(TYPE_FUNCTION)) {
            bool told = notify(series, words::sort, nullptr, head, n);
            int32_t records = std::min(n, std::max(total_of(node) - head, 0)) / size;
            interpreter::sort_string_with_function(series, head, records, size, all, compare,
                                                   reverse, stable);
            if (told) notify(series, words::sorted, nullptr, head, n);
            return series;
        } else {
            fire_invalid_refine(refinements::compare, compare);
        }
    }

    bool told = notify(series, words::sort, nullptr, head, n);
    // A handler may have shortened the series: sort what is left of the range.
    int32_t records = std::min(n, std::max(total_of(node) - head, 0)) / size;
    rule.unit = buf(node)->unit();
    // The built-in comparators neither allocate nor run user code, so the
    // address stays good through the sort. /stable is kept with /case too.
    uint8_t* base = unit_at(node, head);
    auto run = stable ? sorting::merge_sort : sorting::quick_sort;
    run(base, records, int32_t(size * rule.unit), reinterpret_cast<uintptr_t>(&rule), 0,
        compare_records);
    if (told) notify(series, words::sorted, nullptr, head, n);
    return series;
}

// ================================================================ set operations

namespace {

struct Records {
    NodeId node;
    int32_t head;
    int32_t total;
};

Records records_of(Cell* set) {
    NodeId node = set->data2;
    return {node, clipped_head(set, buf(node)), total_of(node)};
}

// The first unit of every record of a set.
CodeSet keys_of(const Records& r, int32_t size, bool case_) {
    CodeSet keys;
    uint32_t u = buf(r.node)->unit();
    for (int64_t p = r.head; p < r.total; p += size) {
        uint32_t c = get_char(unit_at(r.node, p), u);
        keys.add(case_ ? c : fold_upper(c));
    }
    return keys;
}

}  // namespace

Cell* set_operation(Cell* set1, Cell* set2, bool case_, Cell* skip, int op) {
    int32_t size = 1;
    if (skip && !skip->is(TYPE_NONE)) {
        size = skip->is(TYPE_INTEGER) ? skip->as_int() : 0;
        if (size < 1) fire_invalid_refine(refinements::skip, skip);
    }
    bool two_sets = op != block::SET_UNIQUE;
    bool second_added = op == block::SET_UNION || op == block::SET_DIFFERENCE;
    Records r1 = records_of(set1);
    Records r2 = two_sets ? records_of(set2) : Records{0, 0, 0};
    int64_t room = r1.total - r1.head + (op == block::SET_UNION ? r2.total - r2.head : 0);
    uint32_t unit = buf(r1.node)->unit();
    if (second_added) unit = std::max(unit, buf(r2.node)->unit());

    CodeSet in1, in2;
    if (op == block::SET_DIFFERENCE) in1 = keys_of(r1, size, case_);
    if (op == block::SET_INTERSECT || op == block::SET_EXCLUDE || op == block::SET_DIFFERENCE)
        in2 = keys_of(r2, size, case_);

    StackScope scope;
    Cell* made = stack::push_cell();
    *made = make_cell(TYPE_UNSET);
    make_at(made, uint32_t(std::max<int64_t>(room, 1)), unit);
    CodeSet taken;
    // Nothing below allocates: the buffers stay where they are.
    SeriesBuffer* out = buf(made->data2);
    uint8_t* w = out->tail_ptr();
    auto pass = [&](const Records& r, const CodeSet* other, bool keep_found) {
        uint32_t u = buf(r.node)->unit();
        for (int64_t p = r.head; p < r.total; p += size) {
            const uint8_t* record = unit_at(r.node, p);
            uint32_t c = get_char(record, u);
            uint32_t key = case_ ? c : fold_upper(c);
            if (other && other->has(key) != keep_found) continue;
            if (taken.has(key)) continue;
            taken.add(key);
            int64_t n = std::min<int64_t>(size, r.total - p);
            copy_units(w, unit, record, u, n);
            w += n * unit;
        }
    };
    switch (op) {
        case block::SET_UNIQUE: pass(r1, nullptr, false); break;
        case block::SET_UNION: pass(r1, nullptr, false); pass(r2, nullptr, false); break;
        case block::SET_INTERSECT: pass(r1, &in2, true); break;
        case block::SET_EXCLUDE: pass(r1, &in2, false); break;
        case block::SET_DIFFERENCE: pass(r1, &in2, false); pass(r2, &in1, false); break;
        default: not_done_raise();
    }
    out->tail = uint32_t(w - out->data());
    *set1 = make_cell(set1->type(), 0, made->data2, 0);
    return set1;
}

// ================================================================ registration

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), inherit<A_RANDOM>(), inherit<A_REFLECT>(), own<A_TO>(&to),
        /*  5 */ own<A_FORM>(&form), own<A_MOLD>(&mold), own<A_EVAL_PATH>(&eval_path), E,
        /*  9 */ own<A_COMPARE>(&compare), E, E, E,
        /* 13 */ E, E, E, E, E, E, E, E,
        /* 21 */ E, E, E, E, own<A_APPEND>(&append), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ own<A_CHANGE>(&change), inherit<A_CLEAR>(), inherit<A_COPY>(), own<A_FIND>(&find),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), own<A_INSERT>(&insert),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), E, inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ own<A_SELECT>(&select), own<A_SORT>(&sort), inherit<A_SKIP>(), own<A_SWAP>(&swap),
        /* 48 */ inherit<A_TAIL>(), inherit<A_TAIL_Q>(), own<A_TAKE>(&take), own<A_TRIM>(&trim),
        /* 52 */ E, E, E, inherit<A_MODIFY>(), E, E, E, E, E, E, E);
    registry::register_type(TYPE_STRING, TYPE_SERIES, "string!", slots);
}

}  // namespace zun::string
