#include "services/json_text.hpp"

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/float_text.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "services/prefault.hpp"

namespace zun::json_text {

namespace {

using memory::SeriesBuffer;

// Deeper text is left to the library's grammar, which answers it (or runs out
// of parse stack) on its own terms.
constexpr size_t MAX_DEPTH = 400;
// Values nested deeper than this are left to the library's writer, which runs
// out of stack (an error) well before.
constexpr size_t MAX_WRITE_DEPTH = 10000;

int hex_value(uint32_t c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    return -1;
}

bool digit_q(uint32_t c) { return c >= '0' && c <= '9'; }

// The characters that end a word in source text.
bool not_word_char_q(uint32_t c) {
    switch (c) {
        case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')': case '{':
        case '}': case '"': case '#': case '%': case '$': case '@': case ':': case ';': case '\n':
        case 0xA0: case ' ': case '\t': case '\r': case '<': case '>':
            return true;
        default:
            return false;
    }
}

void append_utf8(std::string& out, uint32_t c) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), unicode::encode_utf8_char(c, bytes));
}

// T: the text's unit (uint8_t, uint16_t or uint32_t).
template <typename T>
class Decoder {
public:
    explicit Decoder(const Cell* text) : m_text(*text) {
        SeriesBuffer* b = string::buffer_of(&m_text);
        m_pos = uint32_t(std::max(string::head_index(&m_text), 0));
        m_end = b->used() / m_unit;
    }

    // The whole text: one value with blanks around it.
    bool run() { return value(0) && m_pos == m_end; }

private:
    static constexpr uint32_t m_unit = sizeof(T);
    Cell m_text;
    uint32_t m_pos, m_end;
    // Key text (UTF-8) to the word it becomes, or none where it stays a string.
    std::unordered_map<std::string, Cell> m_keys;
    std::string m_key;

    // Re-read after every allocation: the buffer may have moved.
    const T* base() const { return reinterpret_cast<const T*>(string::buffer_of(&m_text)->head_ptr()); }
    static uint32_t at(const T* p, uint32_t i) { return p[i]; }
    uint32_t at(uint32_t i) const { return at(base(), i); }

    void blanks() {
        const T* p = base();
        while (m_pos < m_end) {
            const uint32_t c = at(p, m_pos);
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
            m_pos++;
        }
    }

    bool literal(const char* word) {
        const T* p = base();
        const uint32_t n = uint32_t(std::strlen(word));
        if (m_end - m_pos < n) return false;
        for (uint32_t i = 0; i < n; i++)
            if (at(p, m_pos + i) != uint8_t(word[i])) return false;
        m_pos += n;
        return true;
    }

    // Pushes one value; false for text the grammar would not take.
    bool value(size_t depth) {
        blanks();
        if (m_pos >= m_end) return false;
        bool ok;
        switch (at(m_pos)) {
            case 't': ok = literal("true") && push(logic::make_value(true)); break;
            case 'f': ok = literal("false") && push(logic::make_value(false)); break;
            case 'n': ok = literal("null") && push(make_cell(TYPE_NONE)); break;
            case '[': ok = array(depth + 1); break;
            case '{': ok = object(depth + 1); break;
            case '"': ok = string_value(); break;
            default: ok = number(); break;
        }
        if (!ok) return false;
        blanks();
        return true;
    }

    static bool push(const Cell& cell) {
        stack::push(&cell);
        return true;
    }

    // The items of an array or the pairs of an object wait on the value stack
    // above the slot that takes the block or map, which is then made at its
    // final size in one step. When the stack runs short they move into it
    // early and the rest are added one by one.
    static constexpr int64_t STACK_MARGIN = 4096;

    static bool stack_short() { return stack::g_end - stack::g_top < STACK_MARGIN; }

    // The cells above the slot into its block or map (made on the first call).
    static void flush(Cell* slot, bool pairs) {
        Cell* first = slot + 1;
        const int32_t n = int32_t(stack::g_top - first);
        if (slot->type() == TYPE_NONE) {
            if (pairs) map::make_at(slot, nullptr, n);
            else block::make_at(slot, n);
        }
        if (pairs) {
            map::extend_cells(slot, first, n, true);
        } else {
            for (int32_t i = 0; i < n; i++) *support::alloc_tail_cell(slot->data2) = first[i];
        }
        stack::g_top = first;
    }

    bool array(size_t depth) {
        if (depth > MAX_DEPTH) return false;
        m_pos++;
        Cell* slot = stack::push_cell();
        *slot = make_cell(TYPE_NONE);
        blanks();
        if (m_pos < m_end && at(m_pos) == ']') {
            m_pos++;
            flush(slot, false);
            return true;
        }
        for (;;) {
            if (!value(depth)) return false;
            if (stack_short()) flush(slot, false);
            if (m_pos >= m_end) return false;
            const uint32_t c = at(m_pos++);
            if (c == ']') break;
            if (c != ',') return false;
        }
        flush(slot, false);
        return true;
    }

    bool object(size_t depth) {
        if (depth > MAX_DEPTH) return false;
        m_pos++;
        Cell* slot = stack::push_cell();
        *slot = make_cell(TYPE_NONE);
        blanks();
        if (m_pos < m_end && at(m_pos) == '}') {
            m_pos++;
        } else {
            for (;;) {
                blanks();
                if (m_pos >= m_end || at(m_pos) != '"' || !string_value()) return false;
                if (!key(stack::top())) return false;
                blanks();
                if (m_pos >= m_end || at(m_pos) != ':') return false;
                m_pos++;
                if (!value(depth)) return false;
                if (stack_short()) flush(slot, true);
                if (m_pos >= m_end) return false;
                const uint32_t c = at(m_pos++);
                if (c == '}') break;
                if (c != ',') return false;
            }
        }
        // Put in case-sensitively: keys differing in case stay apart.
        flush(slot, true);
        return true;
    }

    // Pushes the string from the quote at the position, in the narrowest
    // unit that holds its characters.
    bool string_value() {
        m_pos++;
        const uint32_t start = m_pos;
        bool escapes = false;
        uint32_t widest = 0;
        const T* p = base();
        for (;;) {
            if (m_pos >= m_end) return false;
            const uint32_t c = p[m_pos];
            if (c == '"') break;
            if (c < 32) return false;
            if (c != '\\') {
                widest |= c;
                m_pos++;
                continue;
            }
            escapes = true;
            if (m_pos + 1 >= m_end) return false;
            switch (p[m_pos + 1]) {
                case '"': case 't': case '\\': case '/': case 'n': case 'r': case 'b': case 'f':
                    m_pos += 2;
                    break;
                case 'u':
                    if (m_end - m_pos < 6) return false;
                    for (uint32_t i = 2; i < 6; i++)
                        if (hex_value(p[m_pos + i]) < 0) return false;
                    m_pos += 6;
                    break;
                default:
                    return false;
            }
        }
        const uint32_t n = m_pos - start;
        m_pos++;
        Cell* str = stack::push_cell();
        *str = make_cell(TYPE_NONE);
        if (n == 0) {
            string::make_empty_at(str, 0);
            return true;
        }
        const uint32_t unit = widest < 0x100 ? 1 : widest < 0x10000 ? 2 : 4;
        string::make_at(str, n, unit);
        SeriesBuffer* b = string::buffer_of(str);
        const T* from = base() + start;
        switch (unit) {
            case 1: copy_units(from, b->head_ptr(), n); break;
            case 2: copy_units(from, reinterpret_cast<uint16_t*>(b->head_ptr()), n); break;
            default: copy_units(from, reinterpret_cast<uint32_t*>(b->head_ptr()), n); break;
        }
        b->tail = b->head + n * unit;
        return !escapes || unescape(str);
    }

    template <typename U>
    static void copy_units(const T* from, U* to, uint32_t n) {
        if constexpr (sizeof(T) == sizeof(U)) std::memcpy(to, from, size_t(n) * sizeof(T));
        else for (uint32_t i = 0; i < n; i++) to[i] = U(from[i]);
    }

    // A key becomes a word when its text reads back as that word. Keys that
    // might read as something else are left to the library (false).
    bool key(Cell* str) {
        SeriesBuffer* b = string::buffer_of(str);
        const uint32_t unit = b->unit(), n = b->used() / unit;
        m_key.clear();
        bool word_like = n > 0, plain = true;
        for (uint32_t i = 0; i < n; i++) {
            const uint32_t c = string::get_char(b->head_ptr() + uint64_t(i) * unit, unit);
            if (not_word_char_q(c) || (i == 0 && (digit_q(c) || c == '\''))) word_like = false;
            if (!plain_word_char_q(c, i == 0)) plain = false;
            append_utf8(m_key, c);
        }
        if (!word_like) return true;
        if (!plain) return false;
        auto found = m_keys.find(m_key);
        if (found == m_keys.end()) {
            stack::StackScope scope;  // the maker pushes its answer
            found = m_keys.emplace(m_key, *word::make(nullptr, str, TYPE_WORD)).first;
        }
        *str = found->second;
        return true;
    }

    // Characters of words that the lexer surely reads as that word.
    static bool plain_word_char_q(uint32_t c, bool first) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_') return true;
        return !first && (digit_q(c) || c == '-' || c == '?' || c == '!' || c == '*');
    }

    // What the lexer reads for the same text: integer!, or float! for a
    // fraction, an exponent or an integer too big.
    bool number() {
        const uint32_t start = m_pos;
        const T* p = base();
        if (at(p, m_pos) == '-') m_pos++;
        if (m_pos >= m_end || !digit_q(at(p, m_pos))) return false;
        if (at(p, m_pos++) != '0')
            while (m_pos < m_end && digit_q(at(p, m_pos))) m_pos++;
        bool fraction = false;
        if (m_pos < m_end && at(p, m_pos) == '.') {
            if (m_pos + 1 >= m_end || !digit_q(at(p, m_pos + 1))) return false;
            m_pos++;
            while (m_pos < m_end && digit_q(at(p, m_pos))) m_pos++;
            fraction = true;
        }
        if (m_pos < m_end && (at(p, m_pos) == 'e' || at(p, m_pos) == 'E')) {
            uint32_t q = m_pos + 1;
            if (q < m_end && (at(p, q) == '+' || at(p, q) == '-')) q++;
            if (q >= m_end || !digit_q(at(p, q))) return false;
            m_pos = q;
            while (m_pos < m_end && digit_q(at(p, m_pos))) m_pos++;
            fraction = true;
        }
        const uint8_t* text = reinterpret_cast<const uint8_t*>(p + start);
        const int32_t length = int32_t(m_pos - start);
        if (!fraction) {
            int32_t n = 0;
            const lexer::ScanStatus s = lexer::scan_integer(text, length, m_unit, &n);
            if (s == lexer::SCAN_OK) return push(integer_cell(n));
            if (s != lexer::SCAN_OVERFLOW) return false;
        }
        double d = 0;
        if (lexer::scan_float(text, length, m_unit, &d) != lexer::SCAN_OK) return false;
        Cell f = make_cell(TYPE_FLOAT);
        f.set_double(d);
        return push(f);
    }
};

// Code points written one after another; the string made of them takes the
// narrowest unit that holds them all.
// The units are kept between calls (encoding runs no user code, so one
// text is written at a time): a large document is not regrown, nor its
// pages faulted in afresh, on every call. A very large one is let go.
class Text {
public:
    Text() : m_units(std::move(g_units)), m_capacity(g_capacity) { g_capacity = 0; }
    ~Text() {
        if (m_capacity <= KEEP_UNITS) {
            g_units = std::move(m_units);
            g_capacity = m_capacity;
        }
    }
    Text(const Text&) = delete;
    Text& operator=(const Text&) = delete;

    void room(size_t k) {
        if (m_size + k <= m_capacity) return;
        m_capacity = std::max(m_capacity * 2, m_size + k + 4096);
        auto* grown = new uint32_t[m_capacity];
        if (m_size) std::memcpy(grown, m_units.get(), m_size * sizeof(uint32_t));
        m_units.reset(grown);
    }
    void put(uint32_t c) {
        room(1);
        m_units[m_size++] = c;
        m_widest |= c;
    }
    // Room must be made first.
    void put_unchecked(uint32_t c) {
        m_units[m_size++] = c;
        m_widest |= c;
    }
    Text& operator+=(char c) {
        put(uint8_t(c));
        return *this;
    }
    Text& operator+=(const char* s) {
        const size_t k = std::strlen(s);
        room(k);
        for (size_t i = 0; i < k; i++) m_units[m_size++] = uint8_t(s[i]);
        return *this;
    }
    Text& operator+=(const std::string& s) { return *this += s.c_str(); }
    Text& operator+=(const std::u32string& s) {
        for (uint32_t c : s) put(c);
        return *this;
    }

    void push_string() const {
        const uint32_t unit = m_widest < 0x100 ? 1 : m_widest < 0x10000 ? 2 : 4;
        const uint32_t n = uint32_t(m_size);
        Cell* str = stack::push_cell();
        *str = make_cell(TYPE_NONE);
        string::make_at(str, n, unit);
        SeriesBuffer* b = string::buffer_of(str);
        uint8_t* to = b->head_ptr();
        services::prefault(to, size_t(n) * unit);
        const uint32_t* from = m_units.get();
        switch (unit) {
            case 1: for (uint32_t i = 0; i < n; i++) to[i] = uint8_t(from[i]); break;
            case 2: for (uint32_t i = 0; i < n; i++) reinterpret_cast<uint16_t*>(to)[i] = uint16_t(from[i]); break;
            default: if (n) std::memcpy(to, from, size_t(n) * 4); break;
        }
        b->tail = b->head + n * unit;
    }

private:
    static constexpr size_t KEEP_UNITS = size_t(1) << 24;
    static inline std::unique_ptr<uint32_t[]> g_units;
    static inline size_t g_capacity = 0;

    std::unique_ptr<uint32_t[]> m_units;
    size_t m_size = 0, m_capacity = 0;
    uint32_t m_widest = 0;
};

class Encoder {
public:
    Encoder(const Cell* indent, bool ascii) : m_pretty(indent->is(TYPE_STRING)), m_ascii(ascii) {
        if (m_pretty) {
            Cell text = *indent;
            SeriesBuffer* b = string::buffer_of(&text);
            const uint32_t unit = b->unit(), n = b->used() / unit;
            for (uint32_t i = uint32_t(std::max(string::head_index(&text), 0)); i < n; i++)
                m_indent += char32_t(string::get_char(b->head_ptr() + uint64_t(i) * unit, unit));
        }
    }

    Text out;

    // Nothing allocates series while writing: cells stay where they are.
    bool value(const Cell& v) {
        switch (v.type()) {
            case TYPE_NONE: out += "null"; return true;
            case TYPE_LOGIC: out += v.data1 ? "true" : "false"; return true;
            case TYPE_INTEGER: out += std::to_string(v.as_int()); return true;
            case TYPE_FLOAT: case TYPE_PERCENT: {
                const double d = v.as_double();
                if (!std::isfinite(d)) return false;
                out += dtoa::form_float(d, 0, true);
                return true;
            }
            case TYPE_STRING: string_value(v); return true;
            case TYPE_BLOCK: return array(v);
            case TYPE_MAP: return object(v);
            default: return false;
        }
    }

private:
    std::u32string m_indent;
    bool m_pretty, m_ascii;
    int m_level = 0;
    std::vector<std::pair<uint32_t, uint32_t>> m_open;  // the containers being written

    void new_line() {
        out += '\n';
        for (int i = 0; i < m_level; i++) out += m_indent;
    }

    bool enter(uint32_t node, uint32_t index) {
        if (m_open.size() >= MAX_WRITE_DEPTH) return false;
        for (const auto& o : m_open)
            if (o.first == node && o.second == index) return false;
        m_open.emplace_back(node, index);
        return true;
    }

    void escaped(uint32_t c) {
        static const char HEX[] = "0123456789ABCDEF";
        switch (c) {
            case '"': out += "\\\""; return;
            case '\\': out += "\\\\"; return;
            case 8: out += "\\b"; return;
            case 12: out += "\\f"; return;
            case 10: out += "\\n"; return;
            case 13: out += "\\r"; return;
            case 9: out += "\\t"; return;
            default: break;
        }
        auto unit = [&](uint32_t u) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += HEX[(u >> shift) & 15];
        };
        if (c <= 0xFFFF) {
            unit(c);
        } else {
            const uint32_t n = c - 0x10000;
            unit(0xD800 + (n >> 10));
            unit(0xDC00 + (n & 1023));
        }
    }

    void character(uint32_t c) {
        const bool normal = c >= 32 && c != '"' && c != '\\' && (!m_ascii || c <= 127);
        if (normal) out.put(c);
        else escaped(c);
    }

    void string_value(const Cell& v) {
        SeriesBuffer* b = string::buffer_of(&v);
        const uint32_t unit = b->unit(), n = b->used() / unit;
        const uint32_t head = uint32_t(std::max(string::head_index(&v), 0));
        out += '"';
        if (head < n) out.room(n - head + 1);
        for (uint32_t i = head; i < n; i++) {
            const uint32_t c = string::get_char(b->head_ptr() + uint64_t(i) * unit, unit);
            if (c >= 32 && c != '"' && c != '\\' && (!m_ascii || c <= 127)) {
                out.put_unchecked(c);
            } else {
                escaped(c);
                out.room(n - i);  // what the escape took of the room made above
            }
        }
        out += '"';
    }

    bool array(const Cell& v) {
        const uint32_t head = uint32_t(std::max(block::head_index(&v), 0));
        const uint32_t n = uint32_t(block::length_from_start(&v));
        if (head >= n) {
            out += "[]";
            return true;
        }
        if (!enter(v.data2, head)) return false;
        out += '[';
        m_level++;
        for (uint32_t i = head; i < n; i++) {
            if (i > head) out += ',';
            if (m_pretty) new_line();
            if (!value(memory::buffer_of(v.data2)->head_cell()[i])) return false;
        }
        m_level--;
        if (m_pretty) new_line();
        out += ']';
        m_open.pop_back();
        return true;
    }

    bool object(const Cell& v) {
        SeriesBuffer* b = memory::buffer_of(v.data2);
        const Cell* cells = b->head_cell();
        const uint32_t n = b->used() / sizeof(Cell);
        bool first = true;
        for (uint32_t i = 0; i + 1 < n; i += 2) {
            if (cells[i + 1].header == 0) continue;  // a removed entry
            const uint32_t t = cells[i].type();
            if (t != TYPE_SET_WORD && t != TYPE_WORD && t != TYPE_STRING) return false;
        }
        for (uint32_t i = 0; i + 1 < n; i += 2) {
            if (cells[i + 1].header == 0) continue;
            if (first) {
                if (!enter(v.data2, 0)) return false;
                out += '{';
                m_level++;
            } else {
                out += ',';
            }
            first = false;
            if (m_pretty) new_line();
            if (cells[i].is(TYPE_STRING)) {
                string_value(cells[i]);
            } else {
                out += '"';
                const std::string_view name = symbol::name(cells[i].data2);
                const uint8_t* s = reinterpret_cast<const uint8_t*>(name.data());
                for (size_t k = 0; k < name.size();) {
                    uint32_t c = s[k];
                    const size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
                    c = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
                    for (size_t j = 1; j < len && k + j < name.size(); j++) c = c << 6 | (s[k + j] & 0x3F);
                    k += len;
                    character(c);
                }
                out += '"';
            }
            out += m_pretty ? ": " : ":";
            if (!value(cells[i + 1])) return false;
        }
        if (first) {
            out += "{}";
            return true;
        }
        m_level--;
        if (m_pretty) new_line();
        out += '}';
        m_open.pop_back();
        return true;
    }
};

}  // namespace

bool unescape(Cell* str) {
    const uint32_t head = uint32_t(std::max(string::head_index(str), 0));
    SeriesBuffer* b = string::buffer_of(str);
    const uint32_t end = b->used() / b->unit();
    auto at = [&](uint32_t i) { return string::get_char(b->head_ptr() + uint64_t(i) * b->unit(), b->unit()); };
    auto hex4 = [&](uint32_t i, uint32_t* v) {
        if (i + 4 > end) return false;
        *v = 0;
        for (uint32_t k = 0; k < 4; k++) {
            const int d = hex_value(at(i + k));
            if (d < 0) return false;
            *v = *v << 4 | uint32_t(d);
        }
        return true;
    };
    uint32_t w = head;
    for (uint32_t r = head; r < end;) {
        uint32_t c = at(r++);
        if (c == '\\') {
            if (r >= end) return false;
            switch (c = at(r++)) {
                case '"': case '\\': case '/': break;
                case 'b': c = 8; break;
                case 'f': c = 12; break;
                case 'n': c = 10; break;
                case 'r': c = 13; break;
                case 't': c = 9; break;
                case 'u': {
                    if (!hex4(r, &c)) return false;
                    r += 4;
                    if (c >= 0xDC00 && c <= 0xDFFF) return false;  // a low half alone is no character
                    if (c >= 0xD800 && c <= 0xDBFF) {
                        uint32_t low = 0;
                        if (r + 6 > end || at(r) != '\\' || at(r + 1) != 'u' || !hex4(r + 2, &low) ||
                            low < 0xDC00 || low > 0xDFFF)
                            return false;
                        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                        r += 6;
                    }
                    break;
                }
                default: return false;
            }
        }
        if (at(w) != c) b = string::set_char_at(b, w, c);
        w++;
    }
    string::truncate_buffer(b, w);
    str->header &= ~NEW_LINE_FLAG;  // a copy of the text keeps its cell's mark
    return true;
}

bool decode(const Cell* text) {
    Cell* const top = stack::g_top;
    bool ok;
    switch (string::buffer_of(text)->unit()) {
        case 1: ok = Decoder<uint8_t>(text).run(); break;
        case 2: ok = Decoder<uint16_t>(text).run(); break;
        default: ok = Decoder<uint32_t>(text).run(); break;
    }
    if (ok) return true;
    stack::g_top = top;
    return false;
}

bool encode(const Cell* value, const Cell* indent, bool ascii) {
    Encoder encoder(indent, ascii);
    if (!encoder.value(*value)) return false;
    encoder.out.push_string();
    return true;
}

}  // namespace zun::json_text
