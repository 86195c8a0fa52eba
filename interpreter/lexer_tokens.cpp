// Handlers of the structural tokens and of the text-like and word-like
// tokens: blocks, parens, maps, paths, braced and quoted strings, raw
// strings, chars, binaries, tags, files, urls, emails, refs, words,
// refinements, issues, construction syntax and comments.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/lexer_internal.hpp"

namespace zun::lexer {

using namespace tables;

namespace {

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool same_ascii_case_insensitive(const uint8_t* a, const char* b, uint32_t n) {
    for (uint32_t i = 0; i < n; i++) {
        uint8_t x = a[i], y = uint8_t(b[i]);
        if (x >= 'A' && x <= 'Z') x = uint8_t(x + 32);
        if (y >= 'A' && y <= 'Z') y = uint8_t(y + 32);
        if (x != y) return false;
    }
    return true;
}

// Decodes the escape after a "^" at p; the code point, or -1 when invalid.
int32_t decode_caret_escape(const uint8_t*& p, const uint8_t* e) {
    if (p >= e) return -1;
    uint8_t b = *p;
    if (b >= 0x80) return decode_input_char(p, e);  // a whole character, not its lead byte
    p++;
    if (b != '(') return k_escapes[b];
    const uint8_t* close = p;
    while (close < e && *close != ')' && close - p < 7) close++;
    if (close >= e || *close != ')') return -1;
    uint32_t n = uint32_t(close - p);
    for (const EscapeName& name : k_escape_names) {
        if (name.length == n && same_ascii_case_insensitive(p, name.name, n)) {
            p = close + 1;
            return name.code_point;
        }
    }
    if (n == 0 || n > 6) return -1;
    uint32_t value = 0;
    for (const uint8_t* q = p; q < close; q++) {
        int h = hex_value(*q);
        if (h < 0) return -1;
        value = value << 4 | uint32_t(h);
    }
    if (value > unicode::MAX_CODE_POINT) return -1;
    p = close + 1;
    return int32_t(value);
}

enum TextMode { PLAIN, CARET, PERCENT };

// Bytes of a text whose %XX escapes are decoded, reused from token to token.
std::vector<uint8_t>& percent_bytes() {
    static std::vector<uint8_t> bytes;
    return bytes;
}

void expand_percent_escapes(const uint8_t* s, const uint8_t* e) {
    std::vector<uint8_t>& out = percent_bytes();
    out.clear();
    for (const uint8_t* p = s; p < e; p++) {
        int h1, h2;
        if (*p == '%' && e - p >= 3 && (h1 = hex_value(p[1])) >= 0 && (h2 = hex_value(p[2])) >= 0) {
            out.push_back(uint8_t(h1 << 4 | h2));
            p += 2;
        } else {
            out.push_back(*p);
        }
    }
}

// One character of text: UTF-8, or a caret escape in CARET mode. Decoded
// escapes of PERCENT mode may form malformed UTF-8: such a byte stands for
// itself. -1 for malformed text.
inline int32_t next_char(const uint8_t*& p, const uint8_t* e, TextMode mode) {
    uint8_t b = *p;
    if (b < 0x80) {
        p++;
        if (b == '^' && mode == CARET) return decode_caret_escape(p, e);
        return b;
    }
    const uint8_t* start = p;
    int32_t cp = decode_input_char(p, e);
    if (cp < 0 && mode == PERCENT) {
        p = start + 1;
        return b;
    }
    return cp;
}

// Validates text and measures it: the characters and the widest code point.
bool measure_text(const uint8_t* s, const uint8_t* e, TextMode mode, uint32_t* count,
                  uint32_t* widest) {
    uint32_t n = 0, top = 0;
    for (const uint8_t* p = s; p < e; n++) {
        int32_t cp = next_char(p, e, mode);
        if (cp < 0) return false;
        top = std::max(top, uint32_t(cp));
    }
    *count = n;
    *widest = top;
    return true;
}

// Builds a string of the type from validated text.
Cell make_text(uint32_t type, const uint8_t* s, const uint8_t* e, TextMode mode, uint32_t count,
               uint32_t widest) {
    uint32_t unit = widest > 0xFFFF ? 4 : widest > 0xFF ? 2 : 1;
    NodeId node = memory::alloc_series(std::max<uint32_t>(count, 1), unit, 0);
    memory::SeriesBuffer* buffer = memory::buffer_of(node);
    uint8_t* out = buffer->data();
    if (unit == 1 && mode == PLAIN && count == uint32_t(e - s)) {
        std::memcpy(out, s, count);
    } else {
        for (const uint8_t* p = s; p < e; out += unit) {
            uint32_t cp = uint32_t(next_char(p, e, mode));
            if (unit == 1)
                out[0] = uint8_t(cp);
            else if (unit == 2)
                std::memcpy(out, &cp, 2);  // little-endian units
            else
                std::memcpy(out, &cp, 4);
        }
    }
    buffer->head = 0;
    buffer->tail = count * unit;
    return make_cell(type, 0, node, 0);
}

// Validates the text of a string-like token and, when loading, builds its
// value. False when the error stopped the token.
bool text_token(State& st, uint32_t type, const uint8_t* s, const uint8_t* e, TextMode mode,
                bool load, const uint8_t* error_start, const uint8_t* error_end) {
    if (mode == PERCENT) {
        expand_percent_escapes(s, e);
        std::vector<uint8_t>& bytes = percent_bytes();
        s = bytes.data();
        e = s + bytes.size();
    }
    uint32_t count, widest;
    if (!measure_text(s, e, mode, &count, &widest)) {
        error(st, error_start, error_end, st.error_type >= 0 ? st.error_type : int32_t(TYPE_STRING));
        return false;
    }
    st.type = int32_t(type);
    if (load) emit(st, make_text(type, s, e, mode, count, widest));
    return true;
}

inline const uint8_t* after(const State& st, const uint8_t* p) {
    return p < st.input_end ? p + 1 : p;
}

// A word cell of the name, bound to the global context.
Cell make_word(uint32_t type, const uint8_t* s, const uint8_t* e) {
    uint32_t symbol = symbol::make_from_buffer(reinterpret_cast<const char*>(s), size_t(e - s));
    Cell w = word::make_value(TYPE_WORD, context::global(), symbol, context::NO_INDEX);
    w.data3 = uint32_t(context::add_word(context::global(), &w));
    w.set_type(type);
    return w;
}

// The part of a word token that makes the name, given its type.
void word_name(uint32_t type, const uint8_t*& s, const uint8_t*& e) {
    switch (type) {
        case TYPE_SET_WORD: e--; break;
        case TYPE_GET_WORD: case TYPE_LIT_WORD: case TYPE_ISSUE: case TYPE_REFINEMENT: s++; break;
        default: break;
    }
}

uint32_t base16_decode(const uint8_t* s, const uint8_t* e, uint8_t* out, const uint8_t** bad);
uint32_t base2_decode(const uint8_t* s, const uint8_t* e, uint8_t* out, const uint8_t** bad);
uint32_t base64_decode(const uint8_t* s, const uint8_t* e, uint8_t* out, const uint8_t** bad);

}  // namespace

int32_t decode_input_char(const uint8_t*& p, const uint8_t* end) {
    int32_t cp;
    p = unicode::decode_utf8_char(p, end, &cp);
    return cp;
}

bool point_ahead(const uint8_t* p, const uint8_t* end) {
    if (end - p < 4) return false;
    while (p < end && k_point_text[*p]) p++;
    return p >= end || *p == ',';
}

// ---------------------------------------------------------------------------
// Structure

void handle_none(State& st, const uint8_t*, const uint8_t*, uint32_t, bool) {
    st.position = st.input_end;
}

void error_token(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool) {
    int32_t type = k_state_type[st.previous_state];
    st.type = TYPE_ERROR;
    error(st, s, after(st, e), type ? type : int32_t(CODE_BAD_CHAR));
}

void open_block(State& st, const uint8_t*, const uint8_t* e, uint32_t, bool) {
    st.position = e + 1;
    if (*e == '(' && point_ahead(e + 1, st.input_end)) {
        st.entry_state = POINT_ENTRY_STATE;
        return;
    }
    open_series(st, *e == '[' ? TYPE_BLOCK : TYPE_PAREN, e, e + 1);
}

void load_map(State& st, const uint8_t*, const uint8_t* e, uint32_t, bool) {
    st.position = e + 1;
    close_series(st, e, e + 1, TYPE_BLOCK);
}

void close_paren(State& st, const uint8_t*, const uint8_t* e, uint32_t, bool) {
    st.position = e + 1;
    close_series(st, e, e + 1, TYPE_PAREN);
}

void open_map(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool) {
    st.position = e + 1;
    open_series(st, TYPE_MAP, s, e + 1);
}

void open_braced_string(State& st, const uint8_t*, const uint8_t* e, uint32_t flags, bool) {
    st.position = e + 1;
    if (st.string_depth == 0) {
        if (!fire_event(st, EVENT_OPEN, TYPE_STRING, nullptr, e, e + 1)) return;
        st.string_start = e;
        st.string_flags = 0;
        st.string_lines = st.line - st.token_lines;
    }
    st.string_depth++;
    st.string_flags |= flags;
    st.entry_state = BRACED_ENTRY_STATE;
}

void close_braced_string(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool load) {
    st.position = e + 1;
    st.string_flags |= flags;
    if (st.string_depth <= 0) return error(st, s, e + 1, CODE_BAD_CHAR);
    if (--st.string_depth > 0) return;
    const uint8_t* start = st.string_start;
    st.entry_state = 0;
    st.type = TYPE_STRING;
    if (!fire_event(st, EVENT_CLOSE, TYPE_STRING, nullptr, start, e + 1)) {
        st.string_start = nullptr;
        return;
    }
    st.token_lines = st.line - st.string_lines;
    bool keep = fire_event(st, EVENT_SCAN, TYPE_STRING, nullptr, start, e + 1);
    bool ok = text_token(st, TYPE_STRING, start + 1, e, CARET, load && keep, start, e + 1);
    st.string_start = nullptr;
    st.string_flags = 0;
    if (!ok || !load || !keep) return;
    const Cell value = *cell_at(st.tail - 1);
    if (!fire_event(st, EVENT_LOAD, TYPE_STRING, &value, start, e + 1)) st.tail--;
}

void open_path(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    uint32_t type = *s == '\'' ? TYPE_LIT_PATH : *s == ':' ? TYPE_GET_PATH : TYPE_PATH;
    uint32_t before = st.tail;
    open_series(st, type, s, e);
    if (stopped(st)) return;
    bool opened = st.tail > before;
    const uint8_t* name = s;
    const uint8_t* name_end = e;
    if (*name == '\'' || *name == ':') name++;
    if (name == name_end) {
        st.position = e;
        return error(st, s, e + 1, TYPE_PATH);
    }
    if (load && fire_event(st, EVENT_SCAN, TYPE_WORD, nullptr, name, name_end)) {
        const Cell* w = emit(st, make_word(TYPE_WORD, name, name_end));
        const Cell value = *w;
        if (!fire_event(st, EVENT_LOAD, TYPE_WORD, &value, name, name_end)) st.tail--;
    }
    if (!opened) {
        st.position = e;
        return;
    }
    st.position = e + 1;
    st.entry_state = PATH_ENTRY_STATE;
    if (st.position >= st.input_end) error(st, s, st.position, int32_t(type));
}

void load_construct(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.position = after(st, e);
    const uint8_t* name = s + 2;
    uint32_t n = uint32_t(e - name);
    Cell value{};
    bool found = false;
    for (const ConstructInfo& c : k_constructs) {
        if (c.length == n && same_ascii_case_insensitive(name, c.name, n)) {
            value = make_cell(c.type, c.type == TYPE_LOGIC ? uint32_t(c.value) : 0);
            found = true;
            break;
        }
    }
    for (uint32_t t = 1; !found && t <= registry::g_top_type_id; t++) {
        const char* type_name = registry::type_name(t);
        if (type_name && std::strlen(type_name) == n && same_ascii_case_insensitive(name, type_name, n)) {
            value = make_cell(TYPE_DATATYPE, t);
            found = true;
        }
    }
    if (!found) return error(st, s, st.position, CODE_MALCONSTRUCT);
    st.type = int32_t(value.type());
    if (load) emit(st, value);
}

void comment(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool) {
    if (st.has_callback()) fire_event(st, EVENT_SCAN, -int32_t(K_COMMENT + 1), nullptr, s, e);
}

void comma(State& st, const uint8_t*, const uint8_t* e, uint32_t, bool) {
    st.position = e + 1;
    uint32_t open = open_marker_type(st);
    if (open != TYPE_PAREN && open != TYPE_POINT2D) return error(st, e, e + 1, TYPE_POINT2D);
    Cell* marker = cell_at(st.series_begin - 1);
    uint32_t commas = (open == TYPE_POINT2D ? marker->data2 >> 16 : 0) + 1;
    marker->data2 = TYPE_POINT2D | commas << 16;
}

// ---------------------------------------------------------------------------
// Strings, chars, binaries, tags

void read_string_char(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool) {
    st.position = after(st, e);
    uint32_t count, widest;
    if (!measure_text(s + 1, e, (flags & F_CARET) ? CARET : PLAIN, &count, &widest))
        error(st, s, st.position, TYPE_STRING);
}

void load_quoted_string(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool load) {
    st.position = after(st, e);
    text_token(st, TYPE_STRING, s + 1, e, (flags & F_CARET) ? CARET : PLAIN, load, s, st.position);
}

void load_raw_string(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    uint32_t opening = 0;
    while (s[opening] == '%') opening++;
    const uint8_t* close = e;
    uint32_t closing = 0;
    while (close > s && close[-1] == '%') close--, closing++;
    close--;  // the "}"
    if (closing > opening) return error(st, s, e, TYPE_STRING);
    if (closing < opening) {
        // The closing run is shorter: search on for "}" and as many "%" signs.
        const uint8_t* p = e;
        for (;; p++) {
            if (p >= st.input_end) {
                st.position = st.input_end;
                return error(st, s, st.input_end, TYPE_STRING);
            }
            if (*p == '}' && uint32_t(st.input_end - p - 1) >= opening &&
                std::all_of(p + 1, p + 1 + opening, [](uint8_t c) { return c == '%'; }))
                break;
        }
        st.line += uint32_t(std::count(e, p, '\n'));
        close = p;
        e = p + 1 + opening;
    }
    st.position = e;
    if (!load && st.has_callback()) {
        fire_event(st, EVENT_OPEN, TYPE_STRING, nullptr, s, s + opening + 1);
        fire_event(st, EVENT_CLOSE, TYPE_STRING, nullptr, close, e);
    }
    text_token(st, TYPE_STRING, s + opening + 1, close, PLAIN, load, s, e);
}

void load_char(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.position = after(st, e);
    const uint8_t* p = s + 2;
    int32_t cp = p < e ? next_char(p, e, CARET) : -1;
    if (cp < 0 || p != e) return error(st, s, st.position, TYPE_CHAR);
    if (load) emit(st, make_cell(TYPE_CHAR, 0, uint32_t(cp), 0));
}

void load_binary(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.position = after(st, e);
    uint32_t base = 0;
    const uint8_t* p = s;
    for (; p < e && *p >= '0' && *p <= '9' && base < 100; p++) base = base * 10 + uint32_t(*p - '0');
    if (p == s) base = 16;
    if (p >= e || *p != '#' || (base != 2 && base != 16 && base != 64))
        return error(st, s, st.position, TYPE_BINARY);
    const uint8_t* body = p + 2;  // after "#{"
    uint32_t length = uint32_t(e - body);
    uint32_t room = base == 16 ? length / 2 : base == 64 ? length * 3 / 4 : length / 8;
    NodeId node = load ? memory::alloc_bytes(room) : 0;
    uint8_t* out = load ? memory::buffer_of(node)->data() : nullptr;
    const uint8_t* bad = nullptr;
    uint32_t n = base == 16 ? base16_decode(body, e, out, &bad)
                 : base == 2 ? base2_decode(body, e, out, &bad)
                             : base64_decode(body, e, out, &bad);
    if (bad) return error(st, s, st.position, TYPE_BINARY);
    st.type = TYPE_BINARY;
    if (!load) return;
    memory::SeriesBuffer* buffer = memory::buffer_of(node);
    buffer->head = 0;
    buffer->tail = n;
    emit(st, make_cell(TYPE_BINARY, 0, node, 0));
}

void load_tag(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.position = after(st, e);
    st.error_type = TYPE_TAG;
    if (*s != '<') return error(st, s, st.position, TYPE_TAG);
    text_token(st, TYPE_TAG, s + 1, e, PLAIN, load, s, st.position);
}

// ---------------------------------------------------------------------------
// Words, files, urls, emails, refs

void scan_word(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool) {
    if (flags & (F_UTF8_2_3 | F_UTF8_4)) {
        // A Unicode space ends the word.
        for (const uint8_t* p = s; p < e;) {
            const uint8_t* q = p;
            int32_t cp = decode_input_char(q, e);
            if (cp < 0) return error(st, s, e, TYPE_WORD);
            if (delimiter_q(uint32_t(cp))) {
                e = p;
                st.position = st.token_end = p;
                break;
            }
            p = q;
        }
    }
    uint32_t type = TYPE_WORD;
    uint32_t n = uint32_t(e - s);
    if (*s == '\'') {
        type = TYPE_LIT_WORD;
        if (n > 1 && e[-1] == ':') return error(st, s, e, TYPE_LIT_WORD);
    } else if (flags & F_COLON) {
        bool first = *s == ':', last = e[-1] == ':';
        if (first && !last && n > 1)
            type = TYPE_GET_WORD;
        else if (last && !first && n > 1)
            type = TYPE_SET_WORD;
        else if (first || last)
            return error(st, s, e, TYPE_WORD);
    }
    for (const uint8_t* p = s + 1; p < e - 1; p++)
        if (*p == ':') return error(st, s, e, TYPE_WORD);
    st.type = int32_t(type);
}

void scan_issue(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool) {
    if (e - s < 2) return error(st, s, e, TYPE_ISSUE);
    st.type = TYPE_ISSUE;
}

void load_word(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    e = std::min(e, st.token_end);
    uint32_t type = uint32_t(st.type);
    word_name(type, s, e);
    if (s >= e) return error(st, s, e, int32_t(type));
    if (load) emit(st, make_word(type, s, e));
}

void load_refinement(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    if (e - s < 2) return error(st, s, e, TYPE_REFINEMENT);
    st.type = TYPE_REFINEMENT;
    if (load) emit(st, make_word(TYPE_REFINEMENT, s + 1, e));
}

void load_file(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.error_type = TYPE_FILE;
    if (e - s >= 1 && s[1] == '"' && e > s + 1) {
        st.position = after(st, e);
        if (e >= st.input_end || *e != '"') return error(st, s, st.position, TYPE_FILE);
        text_token(st, TYPE_FILE, s + 2, e, CARET, load, s, st.position);
        return;
    }
    text_token(st, TYPE_FILE, s + 1, e, PERCENT, load, s, e);
}

void load_url(State& st, const uint8_t* s, const uint8_t* e, uint32_t flags, bool load) {
    if (*s == ':') return error(st, s, e, TYPE_GET_WORD);
    if (*s == '\'') return error(st, s, e, TYPE_LIT_WORD);
    st.error_type = TYPE_URL;
    text_token(st, TYPE_URL, s, e, (flags & F_PERCENT) ? PERCENT : PLAIN, load, s, e);
}

void load_email(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.error_type = TYPE_EMAIL;
    text_token(st, TYPE_EMAIL, s, e, PLAIN, load, s, e);
}

void load_ref(State& st, const uint8_t* s, const uint8_t* e, uint32_t, bool load) {
    st.error_type = TYPE_REF;
    text_token(st, TYPE_REF, s + 1, e, PLAIN, load, s, e);
}

// ---------------------------------------------------------------------------
// Binary decoders: each answers the bytes written (out may be null to
// validate only) and sets *bad at the first invalid character.

namespace {

inline bool binary_blank(uint8_t c) { return c == '\t' || c == '\n' || c == '\r' || c == ' '; }

const uint8_t* skip_comment(const uint8_t* p, const uint8_t* e) {
    while (p < e && *p != '\n') p++;
    return p;
}

uint32_t base16_decode(const uint8_t* s, const uint8_t* e, uint8_t* out, const uint8_t** bad) {
    uint32_t n = 0;
    int high = -1;
    for (const uint8_t* p = s; p < e; p++) {
        if (binary_blank(*p)) continue;
        if (*p == ';') {
            p = skip_comment(p, e);
            continue;
        }
        int h = hex_value(*p);
        if (h < 0) {
            *bad = p;
            return n;
        }
        if (high < 0) {
            high = h;
        } else {
            if (out) out[n] = uint8_t(high << 4 | h);
            n++;
            high = -1;
        }
    }
    if (high >= 0) *bad = e;
    return n;
}

uint32_t base2_decode(const uint8_t* s, const uint8_t* e, uint8_t* out, const uint8_t** bad) {
    uint32_t n = 0, bits = 0, value = 0;
    for (const uint8_t* p = s; p < e; p++) {
        if (binary_blank(*p)) continue;
        if (*p == ';') {
            p = skip_comment(p, e);
            continue;
        }
        if (*p != '0' && *p != '1') {
            *bad = p;
            return n;
        }
        value = value << 1 | uint32_t(*p - '0');
        if (++bits == 8) {
            if (out) out[n] = uint8_t(value);
            n++;
            bits = value = 0;
        }
    }
    if (bits) *bad = e;
    return n;
}

int base64_value(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

uint32_t base64_decode(const uint8_t* s, const uint8_t* e, uint8_t* out, const uint8_t** bad) {
    uint32_t n = 0, digits = 0, value = 0;
    for (const uint8_t* p = s; p < e; p++) {
        uint8_t c = *p;
        if (c == 8 || c == '\t' || c == '\n' || c == 12 || c == '\r' || c == ' ' || c == '\'')
            continue;
        if (c == ';') {
            p = skip_comment(p, e);
            continue;
        }
        if (c == '=') {
            if (digits == 2) {
                if (out) out[n] = uint8_t(value >> 4);
                return n + 1;
            }
            if (digits == 3) {
                if (out) {
                    out[n] = uint8_t(value >> 10);
                    out[n + 1] = uint8_t(value >> 2);
                }
                return n + 2;
            }
            *bad = p;
            return n;
        }
        int v = base64_value(c);
        if (v < 0) {
            *bad = p;
            return n;
        }
        value = value << 6 | uint32_t(v);
        if (++digits == 4) {
            if (out) {
                out[n] = uint8_t(value >> 16);
                out[n + 1] = uint8_t(value >> 8);
                out[n + 2] = uint8_t(value);
            }
            n += 3;
            digits = value = 0;
        }
    }
    if (digits) *bad = e;
    return n;
}

}  // namespace

}  // namespace zun::lexer
