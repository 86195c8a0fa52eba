#include "datatypes/series/string.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/runtime.hpp"
#include "core/support.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/stack.hpp"

namespace zun::string {

namespace {
constexpr int BAD_UNIT = 101;  // fatal: a unit size other than 1, 2 or 4
constexpr int ASSERTION_FAILED = 98;
constexpr char HEX_DIGITS[] = "0123456789ABCDEF";

// Widest code point a unit-1 buffer keeps: appending keeps ASCII only, the
// text loaders keep Latin-1.
constexpr uint32_t APPEND_LIMIT_1 = 0x7F;
constexpr uint32_t LOAD_LIMIT_1 = 0xFF;

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

// Room for n more bytes at the tail; may move the buffer.
SeriesBuffer* reserve(SeriesBuffer* buffer, uint32_t n) {
    if (uint64_t(buffer->tail) + n <= buffer->size) return buffer;
    uint64_t size = n > buffer->size ? uint64_t(n) * 2 : uint64_t(buffer->size) * 2;
    return memory::expand_series(buffer, int64_t(std::max<uint64_t>(size, 16)));
}

// The unit a buffer of `unit` needs to keep the code point, 0 when it fits.
uint32_t wider_unit(uint32_t unit, uint32_t code_point, uint32_t limit_1) {
    if (unit == 1 && code_point > limit_1) return code_point <= 0xFFFF ? 2 : 4;
    if (unit == 2 && code_point > 0xFFFF) return 4;
    return 0;
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

// UTF-8 decoding of outside text: overlong forms pass, and of the surrogates
// only DC00-DCFF is refused.
constexpr int64_t UTF8_INCOMPLETE = -1;
constexpr int64_t UTF8_MALFORMED = -2;

bool continuation(uint8_t b) { return b >= 0x80 && b <= 0xBF; }

int64_t decode_utf8(const uint8_t* p, uint32_t available, uint32_t* used) {
    uint8_t lead = p[0];
    *used = 1;
    if (lead < 0x80) return lead;
    uint32_t n = lead >= 0xC0 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
               : lead >= 0xF0 && lead <= 0xF7 ? 4 : 0;
    if (n == 0) return UTF8_MALFORMED;
    if (available < n) return UTF8_INCOMPLETE;
    uint32_t cp = lead & (0x7F >> n);
    for (uint32_t i = 1; i < n; i++) {
        if (!continuation(p[i])) return UTF8_MALFORMED;
        cp = cp << 6 | (p[i] & 0x3F);
    }
    if ((n == 3 && cp >= 0xDC00 && cp <= 0xDCFF) || cp > 0x10FFFF) return UTF8_MALFORMED;
    *used = n;
    return cp;
}

// access invalid-utf8 with the bytes at the bad sequence (at most 4, never
// past the end of the text).
[[noreturn]] void fire_invalid_utf8(const uint8_t* at, uint32_t available) {
    uint32_t n = std::min<uint32_t>(available, 4);
    Cell* bytes = stack::push_cell();
    *bytes = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_bytes(n);
    SeriesBuffer* buffer = memory::buffer_of(node);
    std::memcpy(buffer->tail_ptr(), at, n);
    buffer->tail += n;
    *bytes = make_cell(TYPE_BINARY, 0, node, 0);
    support::fire_error(ErrorId::access_invalid_utf8, bytes);
}

// Decodes UTF-8 text to the tail of the string. A sequence cut short by the
// end of the text is refused like a malformed one: nothing is dropped silently.
SeriesBuffer* decode_into(Cell* str, const uint8_t* p, uint32_t length, uint32_t limit_1) {
    SeriesBuffer* buffer = buffer_of(str);
    const uint8_t* end = p + length;
    while (p < end) {
        uint32_t available = uint32_t(end - p);
        uint32_t used;
        int64_t cp = decode_utf8(p, available, &used);
        if (cp < 0) fire_invalid_utf8(p, available);
        buffer = append_widening(buffer, uint32_t(cp), limit_1);
        p += used;
    }
    return buffer;
}

[[noreturn]] void unsupported_encoding() {
    std::fflush(stdout);
    std::fputs("*** Loading Error: input encoding unsupported\n", stderr);
    runtime::fatal(ASSERTION_FAILED);
}
}  // namespace

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

uint32_t char_at(const Cell* str, int32_t index) {
    SeriesBuffer* buffer = buffer_of(str);
    uint32_t unit = buffer->unit();
    return get_char(buffer->head_ptr() + (uint32_t(index) << unit_shift(unit)), unit);
}

Cell* make_at(Cell* cell, uint32_t n, uint32_t unit) {
    if (unit != 1 && unit != 2 && unit != 4) runtime::fatal(BAD_UNIT);
    NodeId node = memory::alloc_series(std::max<uint32_t>(n, 1), unit, 0);
    *cell = make_cell(TYPE_STRING, 0, node, 0);
    return cell;
}

Cell* make_empty_at(Cell* cell, uint32_t n) { return make_at(cell, n, 1); }

// The cell is a string! from the moment its buffer exists, so a collection
// while the text is decoded keeps (and may move) the buffer.
Cell* load_c_text_at(const char* text, uint32_t length, Cell* cell, int encoding) {
    if (encoding == -1) not_done_raise();  // UTF-16LE comes with the unicode module
    if (encoding != 0) unsupported_encoding();
    if (!cell) cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    make_at(cell, length, 1);
    auto* p = reinterpret_cast<const uint8_t*>(text);
    if (length >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        p += 3;
        length -= 3;
    }
    decode_into(cell, p, length, LOAD_LIMIT_1);
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

SeriesBuffer* append_char(SeriesBuffer* buffer, uint32_t code_point) {
    return append_widening(buffer, code_point, APPEND_LIMIT_1);
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

SeriesBuffer* append_utf8(Cell* str, const char* text, uint32_t length) {
    return decode_into(str, reinterpret_cast<const uint8_t*>(text), length, APPEND_LIMIT_1);
}

SeriesBuffer* widen_to(SeriesBuffer* buffer, uint32_t from, uint32_t to) {
    bool valid = (from == 1 && (to == 2 || to == 4)) || (from == 2 && to == 4);
    if (!valid || buffer->unit() != from) runtime::fatal(BAD_UNIT);
    uint32_t n = buffer->used() >> unit_shift(from);
    // Room counts from the first used byte: the head may sit inside the payload.
    uint64_t need = uint64_t(n) * to + to;
    if (buffer->size - buffer->head < need) buffer = memory::expand_series(buffer, int64_t(need));
    uint8_t* base = buffer->head_ptr();
    for (uint32_t i = n; i-- > 0;)  // last to first: the wider units overlap the narrow ones
        put_char(base + i * to, to, get_char(base + i * from, from));
    buffer->tail = buffer->head + n * to;
    buffer->flags = (buffer->flags & ~memory::UNIT_MASK) | to;
    return buffer;
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

void register_type() {
    registry::register_type(
        TYPE_STRING, TYPE_SERIES, "string!",
        make_slots(todo<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(),  // 1-10
                   todo<A_TO>(), todo<A_FORM>(), todo<A_MOLD>(), todo<A_EVAL_PATH>(), E,
                   todo<A_COMPARE>(), E,
                   E, E, E, E, E, E, E, E, E, E,  // 11-20
                   E, E, E, E, todo<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),  // 21-30
                   todo<A_CHANGE>(), inherit<A_CLEAR>(), inherit<A_COPY>(),
                   todo<A_FIND>(), inherit<A_HEAD>(), inherit<A_HEAD_Q>(),  // 31-40
                   inherit<A_INDEX_Q>(), todo<A_INSERT>(), inherit<A_LENGTH_Q>(),
                   inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(), inherit<A_POKE>(),
                   E, inherit<A_REMOVE>(), inherit<A_REVERSE>(), todo<A_SELECT>(),  // 41-50
                   todo<A_SORT>(), inherit<A_SKIP>(), todo<A_SWAP>(), inherit<A_TAIL>(),
                   inherit<A_TAIL_Q>(), todo<A_TAKE>(),
                   todo<A_TRIM>(), E, E, E, inherit<A_MODIFY>(), E, E, E, E, E,  // 51-60
                   E, E));
}

}  // namespace zun::string
