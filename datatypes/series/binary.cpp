#include "datatypes/series/binary.hpp"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/series.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "datatypes/series/image.hpp"
#include "interpreter/stack.hpp"

namespace zun::binary {

using memory::SeriesBuffer;

// ================================================================ encodings

namespace {

constexpr char BASE64_ALPHABET[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char BASE58_ALPHABET[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

// Decoder table entries besides digit values.
constexpr int8_t BAD = -1;
constexpr int8_t SKIP = -2;
constexpr int8_t PAD = -3;
constexpr int8_t COMMENT = -4;

struct DigitTable {
    int8_t value[128];
};

// Base 64 and base 58 skip the same few control characters, space and the
// apostrophe (a digit-group separator); every other unknown character fails.
constexpr DigitTable make_table(const char* alphabet, bool pad) {
    DigitTable t{};
    for (int8_t& v : t.value) v = BAD;
    for (int i = 0; alphabet[i]; i++) t.value[uint8_t(alphabet[i])] = int8_t(i);
    for (int c : {8, 9, 10, 12, 13, 32, 39}) t.value[c] = SKIP;
    t.value[uint8_t(';')] = COMMENT;
    if (pad) t.value[uint8_t('=')] = PAD;
    return t;
}
constexpr DigitTable BASE64_TABLE = make_table(BASE64_ALPHABET, true);
constexpr DigitTable BASE58_TABLE = make_table(BASE58_ALPHABET, false);

// Code points of a text of 1-, 2- or 4-byte units.
struct TextReader {
    const uint8_t* text;
    uint32_t n;
    uint32_t unit;
    uint32_t i = 0;
    bool done() const { return i >= n; }
    uint32_t next() { return string::get_char(text + size_t(i++) * unit, unit); }
    // Past the line feed that ends a comment.
    void skip_comment() {
        while (!done() && next() != '\n') {
        }
    }
};

// Scratch for base 58, which needs room besides its output. Taken out of the
// thread's spare vector for the call, so a nested use gets its own.
class Scratch {
public:
    explicit Scratch(size_t n) : m_bytes(std::move(spare())) { m_bytes.assign(n, 0); }
    ~Scratch() {
        if (m_bytes.capacity() <= (1u << 20)) spare() = std::move(m_bytes);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    uint8_t* data() { return m_bytes.data(); }

private:
    static std::vector<uint8_t>& spare() {
        static thread_local std::vector<uint8_t> bytes;
        return bytes;
    }
    std::vector<uint8_t> m_bytes;
};

}  // namespace

uint64_t encoded_room(int base, uint64_t n) {
    switch (base) {
        case 2: return n * 8;
        case 16: return n * 2;
        case 58: return n * 2 + 1;
        case 64: return (n + 2) / 3 * 4;
        default: return 0;
    }
}

uint64_t decoded_room(int base, uint64_t n) {
    switch (base) {
        case 2: return n / 8;
        case 16: return n / 2;
        case 58: return n;
        case 64: return (n + 3) / 4 * 3;
        default: return 0;
    }
}

char* encode_base2(char* out, const uint8_t* bytes, uint32_t n) {
    for (uint32_t i = 0; i < n; i++)
        for (int bit = 7; bit >= 0; bit--) *out++ = char('0' + ((bytes[i] >> bit) & 1));
    return out;
}

char* encode_base16(char* out, const uint8_t* bytes, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        *out++ = hex_digit(bytes[i] >> 4);
        *out++ = hex_digit(bytes[i]);
    }
    return out;
}

char* encode_base64(char* out, const uint8_t* bytes, uint32_t n) {
    uint32_t i = 0;
    for (; i + 3 <= n; i += 3) {
        uint32_t v = uint32_t(bytes[i]) << 16 | uint32_t(bytes[i + 1]) << 8 | bytes[i + 2];
        *out++ = BASE64_ALPHABET[v >> 18];
        *out++ = BASE64_ALPHABET[(v >> 12) & 63];
        *out++ = BASE64_ALPHABET[(v >> 6) & 63];
        *out++ = BASE64_ALPHABET[v & 63];
    }
    if (uint32_t rest = n - i) {
        uint32_t v = uint32_t(bytes[i]) << 16 | (rest == 2 ? uint32_t(bytes[i + 1]) << 8 : 0);
        *out++ = BASE64_ALPHABET[v >> 18];
        *out++ = BASE64_ALPHABET[(v >> 12) & 63];
        *out++ = rest == 2 ? BASE64_ALPHABET[(v >> 6) & 63] : '=';
        *out++ = '=';
    }
    return out;
}

char* encode_base58(char* out, const uint8_t* bytes, uint32_t n) {
    uint32_t zeros = 0;
    while (zeros < n && bytes[zeros] == 0) zeros++;
    // Digits of the rest, least significant last; 138/100 > log(256)/log(58).
    size_t room = size_t(n - zeros) * 138 / 100 + 1;
    Scratch scratch(room);
    uint8_t* digits = scratch.data();
    size_t used = 0;  // digits in use at the end of the area
    for (uint32_t i = zeros; i < n; i++) {
        uint32_t carry = bytes[i];
        size_t k = 0;
        for (size_t j = room; j-- > 0 && (carry != 0 || k < used); k++) {
            carry += 256u * digits[j];
            digits[j] = uint8_t(carry % 58);
            carry /= 58;
        }
        used = k;
    }
    for (uint32_t i = 0; i < zeros; i++) *out++ = '1';
    for (size_t j = room - used; j < room; j++) *out++ = BASE58_ALPHABET[digits[j]];
    return out;
}

int64_t decode_base2(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out) {
    TextReader r{text, n, unit};
    int64_t count = 0;
    uint32_t byte = 0, bits = 0;
    while (!r.done()) {
        uint32_t c = r.next();
        if (c <= ' ') continue;
        if (c == ';') {
            r.skip_comment();
            continue;
        }
        if (c != '0' && c != '1') return -1;
        byte = byte << 1 | (c - '0');
        if (++bits == 8) {
            out[count++] = uint8_t(byte);
            byte = bits = 0;
        }
    }
    return bits ? -1 : count;
}

// A code point above 127 is no digit (it is not folded onto ASCII).
int64_t decode_base16(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out) {
    TextReader r{text, n, unit};
    int64_t count = 0;
    int high = -1;
    while (!r.done()) {
        uint32_t c = r.next();
        if (c <= ' ') continue;
        if (c == ';') {
            r.skip_comment();
            continue;
        }
        int v = hex_value(c);
        if (v < 0) return -1;
        if (high < 0) {
            high = v;
        } else {
            out[count++] = uint8_t(high << 4 | v);
            high = -1;
        }
    }
    return count;
}

int64_t decode_base64(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out) {
    TextReader r{text, n, unit};
    int64_t count = 0;
    uint32_t group = 0, filled = 0;
    while (!r.done()) {
        uint32_t c = r.next();
        int v = c < 128 ? BASE64_TABLE.value[c] : BAD;
        if (v == SKIP) continue;
        if (v == COMMENT) {
            r.skip_comment();
            continue;
        }
        if (v == BAD) return -1;
        if (v == PAD) {
            if (filled < 2) return -1;  // no byte ends in the first two characters
            break;
        }
        group = group << 6 | uint32_t(v);
        if (++filled == 4) {
            out[count++] = uint8_t(group >> 16);
            out[count++] = uint8_t(group >> 8);
            out[count++] = uint8_t(group);
            group = filled = 0;
        }
    }
    // A last group of two or three characters, padded or not, keeps its bytes.
    if (filled == 1) return -1;
    if (filled >= 2) {
        group <<= 6 * (4 - filled);
        out[count++] = uint8_t(group >> 16);
        if (filled == 3) out[count++] = uint8_t(group >> 8);
    }
    return count;
}

int64_t decode_base58(const uint8_t* text, uint32_t n, uint32_t unit, uint8_t* out) {
    Scratch scratch(n);
    uint8_t* digits = scratch.data();
    uint32_t count = 0;
    TextReader r{text, n, unit};
    while (!r.done()) {
        uint32_t c = r.next();
        if (c >= 128) break;
        int v = BASE58_TABLE.value[c];
        if (v == SKIP) continue;
        if (v == COMMENT) {
            r.skip_comment();
            continue;
        }
        if (v < 0) return -1;
        digits[count++] = uint8_t(v);
    }
    uint32_t zeros = 0;
    while (zeros < count && digits[zeros] == 0) zeros++;
    // Base 256 at the end of out, most significant first: a digit never needs
    // more than one byte, so count bytes hold it.
    uint8_t* number = out;
    size_t used = 0;
    for (uint32_t i = zeros; i < count; i++) {
        uint32_t carry = digits[i];
        size_t k = 0;
        for (size_t j = count; j-- > 0 && (carry != 0 || k < used); k++) {
            carry += 58u * (k < used ? number[j] : 0u);
            number[j] = uint8_t(carry);
            carry >>= 8;
        }
        used = k;
    }
    // Leading zero bytes of the number go; one comes back per leading "1".
    std::memmove(out + zeros, number + (count - used), used);
    std::memset(out, 0, zeros);
    return int64_t(zeros + used);
}

// ================================================================ values

namespace {

constexpr int64_t MAX_BYTES = 0x7FFFFFF0;

inline SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }
inline int32_t total_of(NodeId node) { return int32_t(buf(node)->used()); }
inline uint8_t* byte_at(NodeId node, int64_t i) { return buf(node)->head_ptr() + i; }

bool text_type_q(uint32_t t) { return string::any_string_q(t); }
bool block_type_q(uint32_t t) { return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH; }

// Clips a head past the tail (or below 0) and stores it.
int32_t clip_head(Cell* bin) {
    int32_t total = total_of(bin->data2);
    int32_t head = int32_t(bin->data1);
    if (head > total || head < 0) {
        head = head < 0 ? 0 : total;
        bin->data1 = uint32_t(head);
    }
    return head;
}

[[noreturn]] void fire_no_memory() { support::fire_error(ErrorId::internal_no_memory); }
[[noreturn]] void fire_bad_to(const Cell* spec) {
    Cell datatype = make_cell(TYPE_DATATYPE, TYPE_BINARY);
    Cell value = *spec;
    support::fire_error(ErrorId::script_bad_to_arg, &datatype, &value);
}

// Room for `used` bytes from the first used byte: doubles when that is
// enough, else grows to fit. May move the buffer.
SeriesBuffer* room_for(NodeId node, int64_t used) {
    if (used > MAX_BYTES) fire_no_memory();
    SeriesBuffer* b = buf(node);
    int64_t capacity = int64_t(b->size) - b->head;
    if (used <= capacity) return b;
    int64_t want = std::min<int64_t>(capacity * 2 >= used ? capacity * 2 : used, MAX_BYTES);
    return memory::expand_series(b, b->head + want);
}

// Only a buffer the ownership table records has an owner to tell; the
// handler runs user code, so callers re-read positions after it.
bool tell(const Cell* series, const Cell* word, const Cell* value, int64_t index, int64_t part) {
    if (!(buf(series->data2)->flags & memory::OWNED_FLAG)) return false;
    return ownership::check_owner(series, word, value, int32_t(index), int32_t(part)) != 0;
}
bool tell(const Cell* series, words::Name word, const Cell* value, int64_t index, int64_t part) {
    return tell(series, words::get(word), value, index, part);
}

// ---------------------------------------------------------------- values as bytes

// The bytes a value stands for, gathered before the target changes: the
// value may be the target itself, and change forms values, which allocates.
// Taken out of the thread's spare vector, so nested use (a change handler
// appending) gets its own.
class ByteSink {
public:
    ByteSink() : m_bytes(std::move(spare())) { m_bytes.clear(); }
    ~ByteSink() {
        if (m_bytes.capacity() <= (1u << 20)) spare() = std::move(m_bytes);
    }
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    void put(const uint8_t* p, size_t n) {
        if (m_bytes.size() + n > size_t(MAX_BYTES)) fire_no_memory();
        m_bytes.insert(m_bytes.end(), p, p + n);
    }
    void put(uint8_t byte) { m_bytes.push_back(byte); }
    size_t size() const { return m_bytes.size(); }
    const uint8_t* data() const { return m_bytes.data(); }
    void truncate(size_t n) {
        if (n < m_bytes.size()) m_bytes.resize(n);
    }

private:
    static std::vector<uint8_t>& spare() {
        static thread_local std::vector<uint8_t> bytes;
        return bytes;
    }
    std::vector<uint8_t> m_bytes;
};

// UTF-8 of count code points of a text buffer from unit `head`.
void put_text(ByteSink& sink, NodeId node, int64_t head, int64_t count) {
    SeriesBuffer* b = buf(node);
    uint32_t unit = b->unit();
    const uint8_t* p = b->head_ptr() + head * unit;
    if (unit == 1) {
        bool ascii = std::all_of(p, p + count, [](uint8_t c) { return c < 0x80; });
        if (ascii) return sink.put(p, size_t(count));
    }
    uint8_t seq[4];
    for (int64_t i = 0; i < count; i++)
        sink.put(seq, unicode::encode_utf8_char(string::get_char(p + i * unit, unit), seq));
}

// Text of a string type from its head (a head past the tail gives nothing).
void put_string(ByteSink& sink, const Cell* text) {
    NodeId node = text->data2;
    SeriesBuffer* b = buf(node);
    int64_t total = b->used() / b->unit();
    int64_t head = std::clamp<int64_t>(int32_t(text->data1), 0, total);
    put_text(sink, node, head, total - head);
}

uint32_t tuple_length(const Cell* tuple) { return (tuple->header >> 19) & 15; }

enum EncodeMode { STRICT = 1, ANY = 2 };

// Nested (or self-holding) blocks stop at a fixed depth.
constexpr int MAX_NESTING = 1000;
class NestingGuard {
public:
    explicit NestingGuard(int& depth) : m_depth(depth) {
        if (++m_depth > MAX_NESTING) {
            m_depth = 0;
            support::fire_error(ErrorId::internal_stack_overflow);
        }
    }
    ~NestingGuard() {
        if (m_depth > 0) m_depth--;
    }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

private:
    int& m_depth;
};
thread_local int g_nesting = 0;

// Appends the bytes of the value to the sink, at most `limit` of them when
// the limit is above 0. STRICT accepts only the types that have bytes of
// their own; ANY takes any other value as its formed text.
void encode_value(ByteSink& sink, const Cell* value, int64_t limit, bool only, int mode) {
    size_t start = sink.size();
    uint32_t t = value->type();
    switch (t) {
        case TYPE_CHAR: {
            uint8_t seq[4];
            sink.put(seq, unicode::encode_utf8_char(value->data2, seq));
            break;
        }
        case TYPE_INTEGER: {
            int32_t v = value->as_int();
            if (v < -128 || v > 255) {
                Cell bad = *value;
                support::fire_error(ErrorId::script_invalid_arg, &bad);
            }
            sink.put(uint8_t(v));
            break;
        }
        case TYPE_BINARY: {
            NodeId node = value->data2;
            int64_t total = total_of(node);
            int64_t head = std::clamp<int64_t>(int32_t(value->data1), 0, total);
            sink.put(byte_at(node, head), size_t(total - head));
            break;
        }
        case TYPE_TUPLE:
            sink.put(reinterpret_cast<const uint8_t*>(&value->data1), tuple_length(value));
            break;
        default:
            if (text_type_q(t)) {
                put_string(sink, value);
            } else if (block_type_q(t)) {
                NestingGuard guard(g_nesting);
                NodeId node = value->data2;
                int64_t head = std::max<int64_t>(int32_t(value->data1), 0);
                int64_t elements = 0;
                for (int64_t i = head;; i++, elements++) {
                    SeriesBuffer* b = buf(node);
                    if (i >= int64_t(b->used() / sizeof(Cell))) break;
                    if (!only && limit > 0 && elements >= limit) break;
                    // A copy: forming an element (ANY) may move the block.
                    Cell element = b->head_cell()[i];
                    int64_t left = only && limit > 0 ? limit - int64_t(sink.size() - start) : 0;
                    if (only && limit > 0 && left <= 0) break;
                    encode_value(sink, &element, left, false, mode);
                }
                return;  // a block's limit counts elements (or bytes with only)
            } else if (mode == ANY) {
                stack::StackScope scope;
                Cell* text = string::make_empty_at(stack::push_cell(), 16);
                Cell copy = *value;
                actions::form_direct(&copy, text, nullptr, INT_MAX);
                put_string(sink, text);
            } else {
                fire_bad_to(value);
            }
    }
    if (limit > 0) sink.truncate(start + size_t(limit));
}

// Writes `bytes` x dup at pos in place of `removed` bytes, the rest moving.
// Nothing here allocates after the buffer has grown.
void splice(NodeId node, int64_t pos, int64_t removed, const ByteSink& bytes, int64_t dup) {
    int64_t n = int64_t(bytes.size());
    int64_t written = n * dup;
    int64_t total = total_of(node);
    int64_t new_total = total - removed + written;
    if (written > MAX_BYTES || new_total > MAX_BYTES) fire_no_memory();
    SeriesBuffer* b = room_for(node, new_total);
    uint8_t* base = b->head_ptr();
    if (written != removed)
        std::memmove(base + pos + written, base + pos + removed, size_t(total - pos - removed));
    if (n > 0) {
        std::memcpy(base + pos, bytes.data(), size_t(n));
        if (dup > 1) support::replicate_bytes(base + pos, int32_t(n), int32_t(dup));
    }
    b->tail = b->head + uint32_t(new_total);
}

}  // namespace

int32_t length_from_head(Cell* bin) { return total_of(bin->data2) - clip_head(bin); }

uint8_t* head_pointer(Cell* bin) {
    int32_t head = clip_head(bin);
    return byte_at(bin->data2, head);
}

Cell* make_at(Cell* cell, uint32_t n) {
    *cell = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_series(n == 0 ? 16 : n, 1, 0);
    *cell = make_cell(TYPE_BINARY, 0, node, 0);
    return cell;
}

Cell* push_bytes(const uint8_t* bytes, uint32_t n) {
    Cell* cell = make_at(stack::push_cell(), n);
    SeriesBuffer* b = buf(cell->data2);
    if (n) std::memcpy(b->head_ptr(), bytes, n);
    b->tail = b->head + n;
    return cell;
}

void append_bytes(Cell* bin, const uint8_t* bytes, uint32_t n) {
    NodeId node = bin->data2;
    int64_t total = total_of(node);
    SeriesBuffer* b = room_for(node, total + n);
    if (n) std::memcpy(b->tail_ptr(), bytes, n);
    b->tail += n;
}

void insert_bytes(Cell* bin, int32_t offset, const uint8_t* bytes, uint32_t n) {
    NodeId node = bin->data2;
    int64_t total = total_of(node);
    int64_t pos = std::clamp<int64_t>(int64_t(clip_head(bin)) + offset, 0, total);
    SeriesBuffer* b = room_for(node, total + n);
    uint8_t* at = b->head_ptr() + pos;
    std::memmove(at + n, at, size_t(total - pos));
    if (n) std::memcpy(at, bytes, n);
    b->tail += n;
}

Cell* load_bytes_in(const uint8_t* bytes, uint32_t n, const Cell* block) {
    stack::StackScope scope;
    Cell made = *push_bytes(bytes, n);
    // The new binary stays on the stack while the block grows.
    Cell* cell = support::append_cell(block);
    *cell = made;
    return cell;
}

void append_int32_be(Cell* bin, int32_t value) {
    uint32_t v = uint32_t(value);
    uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    append_bytes(bin, bytes, 4);
}

// ================================================================ compare and match

int compare_bytes(Cell* a, Cell* b, int op, bool match) {
    uint32_t tb = b->type();
    if (tb != TYPE_BINARY && !text_type_q(tb)) return COMPARE_UNCOMPARABLE;
    if (op == COMP_SAME) return a->data2 == b->data2 && a->data1 == b->data1 ? 0 : -1;
    bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                    op == COMP_FIND;
    if (equality && a->data2 == b->data2 && a->data1 == b->data1) return 0;
    int64_t ha = clip_head(a);
    int64_t na = total_of(a->data2) - ha;
    SeriesBuffer* bb = buf(b->data2);
    uint32_t ub = bb->unit();
    int64_t totalb = bb->used() / ub;
    int64_t hb = std::clamp<int64_t>(int32_t(b->data1), 0, totalb);
    int64_t nb = totalb - hb;
    int64_t n = nb;
    if (match) {
        if (nb == 0) return op == COMP_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND ? 0 : 1;
        if (nb > na) return 1;
    } else {
        if (na != nb && equality) return 1;
        if (na == 0 && nb == 0) return 0;
        n = std::min(na, nb);
    }
    const uint8_t* pa = byte_at(a->data2, ha);
    const uint8_t* pb = bb->head_ptr() + hb * ub;
    // A text of wider units compares by code point against the bytes.
    for (int64_t i = 0; i < n; i++) {
        uint32_t x = pa[i], y = ub == 1 ? pb[i] : string::get_char(pb + i * ub, ub);
        if (x != y) return x < y ? -1 : 1;
    }
    if (match || na == nb) return 0;
    return na < nb ? -1 : 1;
}

bool match_q(Cell* bin, Cell* value, int op) {
    uint32_t t = value->type();
    if (t == TYPE_BINARY || text_type_q(t)) return compare_bytes(bin, value, op, true) == 0;
    if (t == TYPE_CHAR) return length_from_head(bin) > 0 && *head_pointer(bin) == value->data2;
    return false;
}

bool byte_in_bitset_q(Cell* bin, const Cell* bitset) {
    if (length_from_head(bin) < 1) return false;
    uint32_t byte = *head_pointer(bin);
    SeriesBuffer* bits = buf(bitset->data2);
    if (byte / 8 >= bits->used()) return bits->flags & memory::COMPLEMENTED_FLAG;
    return bits->head_ptr()[byte / 8] & (0x80 >> (byte % 8));
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_BINARY)) return COMPARE_UNCOMPARABLE;
    return compare_bytes(value1, value2, op, false);
}

// ================================================================ to

Cell* to(Cell*, Cell* spec, int) {
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_UNSET);
    Cell value = *spec;
    uint32_t t = value.type();
    if (t == TYPE_BINARY) {
        series::copy(&value, result, nullptr, false, nullptr);
        result->data1 = 0;
        return result;
    }
    if (t == TYPE_ISSUE) {
        std::string_view name = symbol::name(value.data2);
        uint32_t n = uint32_t(name.size());
        make_at(result, uint32_t(decoded_room(16, n)));
        name = symbol::name(value.data2);  // re-read: making the binary allocates
        SeriesBuffer* b = buf(result->data2);
        int64_t count = decode_base16(reinterpret_cast<const uint8_t*>(name.data()), n, 1,
                                      b->head_ptr());
        if (count < 0) support::fire_error(ErrorId::script_invalid_data, &value);
        b->tail = b->head + uint32_t(count);
        return result;
    }
    ByteSink sink;
    switch (t) {
        case TYPE_INTEGER: {
            uint32_t v = value.data2;
            uint8_t bytes[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
            sink.put(bytes, 4);
            break;
        }
        case TYPE_FLOAT: case TYPE_PERCENT: {
            uint64_t v = std::bit_cast<uint64_t>(value.as_double());
            for (int shift = 56; shift >= 0; shift -= 8) sink.put(uint8_t(v >> shift));
            break;
        }
        case TYPE_BITSET: {  // stored bytes, the complemented flag not applied
            SeriesBuffer* bits = buf(value.data2);
            sink.put(bits->head_ptr(), bits->used());
            break;
        }
        case TYPE_CHAR: case TYPE_TUPLE: case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
            encode_value(sink, &value, 0, false, STRICT);
            break;
        case TYPE_IMAGE:  // the pixels as stored, from the first
            *result = *image::extract_data(&value, 2);
            stack::pop(1);
            return result;
        default:
            if (!text_type_q(t)) fire_bad_to(&value);
            encode_value(sink, &value, 0, false, STRICT);
    }
    make_at(result, uint32_t(sink.size()));
    SeriesBuffer* b = buf(result->data2);
    if (sink.size()) std::memcpy(b->head_ptr(), sink.data(), sink.size());
    b->tail = b->head + uint32_t(sink.size());
    return result;
}

// ================================================================ form and mold

namespace {

// Text written in chunks: the source bytes are read by node and offset, so
// each flush (which may move buffers) is safe.
class HexWriter {
public:
    explicit HexWriter(Cell* buffer) : m_buffer(buffer) {}
    ~HexWriter() = default;
    HexWriter(const HexWriter&) = delete;
    HexWriter& operator=(const HexWriter&) = delete;

    void put(char c) {
        if (m_used == sizeof m_chunk) flush();
        m_chunk[m_used++] = c;
    }
    void put(const char* text) {
        for (; *text; text++) put(*text);
    }
    void line(int level) {
        put('\n');
        for (int i = 0; i < level * 4; i++) put(' ');
    }
    void flush() {
        if (m_used) string::append_bytes(m_buffer, reinterpret_cast<const uint8_t*>(m_chunk), m_used);
        m_used = 0;
    }

private:
    Cell* m_buffer;
    char m_chunk[256];
    uint32_t m_used = 0;
};

int mold_bytes(Cell* value, Cell* buffer, bool only, bool flat, bool part_given, int limit,
               int indent) {
    int64_t head = clip_head(value);
    NodeId node = value->data2;
    int64_t n = total_of(node) - head;
    int level = indent + 1;
    bool lines = n > 30 && !flat;
    HexWriter w(buffer);
    if (!only) {
        w.put("#{");
        limit -= 2;
    }
    if (lines) w.line(level);
    for (int64_t c = 1; c <= n; c++) {
        uint8_t byte = *byte_at(node, head + c - 1);  // re-read: a flush may move it
        w.put(hex_digit(byte >> 4));
        w.put(hex_digit(byte));
        if (c % 32 == 0 && !flat) {
            w.line(level);
            limit -= 1;
        }
        limit -= 2;
        if (part_given && limit <= 0) {
            w.flush();
            return limit;
        }
    }
    if (lines && n % 32 != 0) w.line(level - 1);
    if (!only) {
        w.put('}');
        limit -= 1;
    }
    w.flush();
    return limit;
}

}  // namespace

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    return mold_bytes(value, buffer, false, false, arg != nullptr, part, 0);
}

int mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* arg, int part, int indent) {
    return mold_bytes(value, buffer, only, flat, arg != nullptr, part, indent);
}

// ================================================================ bitwise

namespace {

void do_bitwise(int op) {
    Cell* a = stack::argument(0);
    Cell* b = stack::argument(1);
    if (!b->is(TYPE_BINARY)) support::fire_error(ErrorId::script_invalid_arg, b);
    int64_t ha = clip_head(a), hb = clip_head(b);
    int64_t na = total_of(a->data2) - ha, nb = total_of(b->data2) - hb;
    int64_t n = std::max(na, nb);
    Cell* result = make_at(stack::push_cell(), uint32_t(n));
    // Read after the allocation.
    const uint8_t* pa = byte_at(a->data2, ha);
    const uint8_t* pb = byte_at(b->data2, hb);
    uint8_t* out = buf(result->data2)->head_ptr();
    int64_t common = std::min(na, nb);
    for (int64_t i = 0; i < common; i++) {
        switch (op) {
            case 5: out[i] = pa[i] | pb[i]; break;
            case 6: out[i] = pa[i] & pb[i]; break;
            default: out[i] = pa[i] ^ pb[i]; break;
        }
    }
    const uint8_t* longer = na > nb ? pa : pb;
    if (op == 6) std::memset(out + common, 0, size_t(n - common));
    else std::memcpy(out + common, longer + common, size_t(n - common));
    buf(result->data2)->tail = buf(result->data2)->head + uint32_t(n);
    *stack::argument(0) = *result;
    stack::pop(1);
}

}  // namespace

void and_() { do_bitwise(6); }
void or_() { do_bitwise(5); }
void xor_() { do_bitwise(7); }

Cell* complement(Cell* value) {
    int64_t head = clip_head(value);
    SeriesBuffer* b = buf(value->data2);
    for (uint8_t* p = b->head_ptr() + head; p < b->tail_ptr(); p++) *p = uint8_t(~*p);
    return value;
}

// ================================================================ append, insert, change

Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append) {
    NodeId node = series->data2;
    int32_t head = clip_head(series);
    if (dup < 1 || part == 0) return series;
    ByteSink bytes;
    encode_value(bytes, value, part, only, STRICT);
    if (bytes.size() == 0) return series;
    int64_t total = total_of(node);
    if (int64_t(bytes.size()) * dup + total > MAX_BYTES) fire_no_memory();
    bool at_tail = is_append || head >= total;
    const Cell* word = is_append ? words::get(words::append) : words::insert();
    bool told = tell(series, word, value, at_tail ? total : head, part);
    total = total_of(node);  // the handler may have changed it
    int64_t pos = at_tail ? total : std::min<int64_t>(clip_head(series), total);
    splice(node, pos, 0, bytes, dup);
    int64_t written = int64_t(bytes.size()) * dup;
    if (told) tell(series, is_append ? words::appended : words::inserted, value, pos, part < 0 ? 1 : part);
    series->data1 = is_append ? 0 : uint32_t(pos + written);
    return series;
}

Cell* change(Cell* series, Cell* value, int part, bool, int dup) {
    NodeId node = series->data2;
    int64_t head = clip_head(series);
    int64_t remaining = total_of(node) - head;
    if (part > remaining) part = int(remaining);
    ByteSink bytes;
    if (dup >= 1) encode_value(bytes, value, 0, false, ANY);
    int64_t written = int64_t(bytes.size()) * std::max(dup, 0);
    int64_t replaced = part >= 0 ? part : std::min(written, remaining);
    if (written > MAX_BYTES || total_of(node) - replaced + written > MAX_BYTES) fire_no_memory();
    bool told = tell(series, words::change, value, head, part >= 0 ? part : replaced);
    if (told) {  // the handler may have reshaped the binary
        head = clip_head(series);
        replaced = std::min<int64_t>(replaced, total_of(node) - head);
    }
    splice(node, head, replaced, bytes, std::max(dup, 1));
    if (told) tell(series, words::changed, value, head, written);
    series->data1 = uint32_t(std::min<int64_t>(head + written, total_of(node)));
    return series;
}

// ================================================================ trim

namespace {

void trim_zeros(Cell* series, bool head_end, bool tail_end) {
    int64_t head = clip_head(series);
    SeriesBuffer* b = buf(series->data2);
    uint8_t* start = b->head_ptr() + head;
    uint8_t* end = b->tail_ptr();
    uint8_t* from = start;
    if (head_end)
        while (from < end && *from == 0) from++;
    if (tail_end)
        while (end > from && end[-1] == 0) end--;
    size_t kept = size_t(end - from);
    std::memmove(start, from, kept);
    b->tail = uint32_t(start + kept - b->data());
}

}  // namespace

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    if (auto_ || lines) support::fire_error(ErrorId::internal_not_done);
    if (all || with) {
        // The string! removal drops every byte of the set: 0 unless /with.
        Cell zero = integer_cell(0);
        return string::trim(series, false, false, false, false, true, with ? with : &zero);
    }
    int64_t start = clip_head(series);
    bool told = tell(series, words::trim, nullptr, start, 0);
    if (!head && !tail) head = tail = true;
    trim_zeros(series, head, tail);
    if (told) tell(series, words::trimmed, nullptr, clip_head(series), 0);
    return series;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), inherit<A_RANDOM>(), inherit<A_REFLECT>(), own<A_TO>(to),
        /*  5 */ own<A_FORM>(form), own<A_MOLD>(mold), inherit<A_EVAL_PATH>(), E,
        /*  9 */ own<A_COMPARE>(compare), E, E,
        /* 12 */ E, E, E, E, E, E, E, E,
        /* 20 */ E, own<A_AND>(and_), own<A_COMPLEMENT>(complement), own<A_OR>(or_),
        /* 24 */ own<A_XOR>(xor_),
        /* 25 */ own<A_APPEND>(append), inherit<A_AT>(), inherit<A_BACK>(), own<A_CHANGE>(change),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), own<A_INSERT>(append),
        /* 36 */ inherit<A_LENGTH_Q>(),
        /* 37 */ inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(), inherit<A_POKE>(), E,
        /* 42 */ inherit<A_REMOVE>(), inherit<A_REVERSE>(), inherit<A_SELECT>(), inherit<A_SORT>(),
        /* 46 */ inherit<A_SKIP>(), inherit<A_SWAP>(), inherit<A_TAIL>(), inherit<A_TAIL_Q>(),
        /* 50 */ inherit<A_TAKE>(), own<A_TRIM>(trim), E, E, E, inherit<A_MODIFY>(), E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_BINARY, TYPE_STRING, "binary!", slots);
}

}  // namespace zun::binary
