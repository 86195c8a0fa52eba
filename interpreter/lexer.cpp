// The lexer's machinery: buffers, the scan loop, series nesting on the token
// buffer, events, syntax errors and the entry points. The token kinds'
// handlers live in lexer_tokens.cpp and lexer_numbers.cpp.
#include "interpreter/lexer.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/lexer_internal.hpp"
#include "interpreter/stack.hpp"

namespace zun::lexer {

using namespace tables;

Cell* g_cells = nullptr;

namespace {

uint32_t g_capacity = 0;
uint8_t* g_scratch = nullptr;
uint32_t g_scratch_used = 0;
constexpr uint32_t DELIMITER_SET_BYTES = 8290;
uint8_t* g_delimiter_set = nullptr;
State* g_first_state = nullptr;  // the outermost active scan
State* g_last_state = nullptr;   // the innermost
CallbackHook g_hook = nullptr;
const Cell* g_token_names = nullptr;

#define ZUN_LEXER_HANDLER(scanner, loader) scanner,
const Handler k_scanners[KIND_COUNT] = {
#define ZUN_LEXER_HANDLERS
#include "lexer_tables.inc"
};
#undef ZUN_LEXER_HANDLER
#define ZUN_LEXER_HANDLER(scanner, loader) loader,
const Handler k_loaders[KIND_COUNT] = {
#include "lexer_tables.inc"
#undef ZUN_LEXER_HANDLERS
};
#undef ZUN_LEXER_HANDLER

// Marker cells: word 1 the distance from the enclosing series' first cell,
// word 2 the series type (a comma count in the upper 16 bits), word 3 the
// input offset of the opening character.
constexpr uint32_t MARKER_TYPE_MASK = 0xFFFF;
inline uint32_t marker_type(const Cell* marker) { return marker->data2 & MARKER_TYPE_MASK; }
inline bool path_type_q(uint32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }

// Scratch space for input text, given back in reverse order of taking.
class ScratchLease {
public:
    explicit ScratchLease(uint32_t size) : m_size(size) {
        if (g_scratch && size <= SCRATCH_BYTES - g_scratch_used) {
            m_data = g_scratch + g_scratch_used;
            g_scratch_used += size;
        } else {
            m_data = static_cast<uint8_t*>(runtime::allocate(size + 1));
            m_temporary = true;
        }
    }
    ~ScratchLease() {
        if (m_temporary)
            runtime::free(m_data);
        else
            g_scratch_used -= m_size;
    }
    ScratchLease(const ScratchLease&) = delete;
    ScratchLease& operator=(const ScratchLease&) = delete;
    uint8_t* data() { return m_data; }

private:
    uint8_t* m_data = nullptr;
    uint32_t m_size;
    bool m_temporary = false;
};

// Links a lexer state into the chain for one transcode; the cells it used go
// back when it ends, however it ends.
class StateGuard {
public:
// The chain keeps the address of a caller's local state only while the guard
// lives; the destructor unlinks it.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdangling-pointer"
#endif
    explicit StateGuard(State& st) : m_state(st) {
        st.parent = g_last_state;
        uint32_t start = g_last_state ? g_last_state->tail : 0;
        st.head = st.series_begin = st.tail = start;
        if (g_last_state)
            g_last_state->next = &st;
        else
            g_first_state = &st;
        g_last_state = &st;
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    ~StateGuard() {
        g_last_state = m_state.parent;
        if (g_last_state)
            g_last_state->next = nullptr;
        else
            g_first_state = nullptr;
    }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;

private:
    State& m_state;
};

[[noreturn]] void fire_not_done() { support::fire_error(ErrorId::internal_not_done); }

// The input position as an index of the input series.
uint32_t char_index(State& st, const uint8_t* position) {
    if (!st.string_input) return uint32_t(position - st.input_start);
    if (!st.cache_position) {
        st.cache_position = st.input_start;
        st.cache_count = 0;
    }
    if (position >= st.cache_position)
        st.cache_count += unicode::count_utf8_chars(st.cache_position, position);
    else
        st.cache_count -= unicode::count_utf8_chars(position, st.cache_position);
    st.cache_position = position;
    return st.cache_count;
}

// The byte position of an index of the input series, kept inside the input.
const uint8_t* position_of_index(State& st, int64_t index) {
    int64_t n = index - st.input_base;
    if (n <= 0) return st.input_start;
    if (!st.string_input)
        return n >= st.input_end - st.input_start ? st.input_end : st.input_start + n;
    return unicode::skip_utf8_chars(st.input_start, st.input_end, uint32_t(std::min<int64_t>(n, UINT32_MAX)));
}

Cell type_argument(int32_t type) {
    if (type > 0) return make_cell(TYPE_DATATYPE, uint32_t(type));
    if (type < 0 && g_token_names && g_token_names->is(TYPE_BLOCK)) {
        int32_t i = block::head_index(g_token_names) + (-type - 1);
        if (i < block::length_from_start(g_token_names)) return *block::cell_at(g_token_names, i);
    }
    return shared_none_cell;
}

bool logic_true_q(const Cell& value) { return value.is(TYPE_LOGIC) && value.data1 != 0; }
bool truthy_q(const Cell& value) {
    return !value.is(TYPE_NONE) && !(value.is(TYPE_LOGIC) && value.data1 == 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// Buffers

void init() {
    if (!g_cells) {
        g_cells = static_cast<Cell*>(runtime::allocate(TOKEN_BUFFER_CELLS * sizeof(Cell)));
        g_capacity = TOKEN_BUFFER_CELLS;
        g_scratch = static_cast<uint8_t*>(runtime::allocate(SCRATCH_BYTES));
        g_delimiter_set = static_cast<uint8_t*>(runtime::allocate(DELIMITER_SET_BYTES));
    }
    std::memset(g_delimiter_set, 0, DELIMITER_SET_BYTES);
    for (uint32_t cp : k_delimiters) g_delimiter_set[cp >> 3] |= uint8_t(0x80 >> (cp & 7));
    g_scratch_used = 0;
    g_first_state = g_last_state = nullptr;
    g_token_names = nullptr;
}

bool delimiter_q(uint32_t code_point) {
    return code_point < DELIMITER_SET_BYTES * 8 &&
           (g_delimiter_set[code_point >> 3] & (0x80 >> (code_point & 7)));
}

uint32_t token_cells_in_use() { return g_last_state ? g_last_state->tail : 0; }

Cell* grow_token_buffer(State& st) {
    if (st.tail >= g_capacity) {
        uint64_t bigger = uint64_t(g_capacity) * 2;
        void* moved = bigger * sizeof(Cell) > UINT32_MAX
                          ? nullptr
                          : runtime::resize(g_cells, size_t(bigger * sizeof(Cell)));
        if (!moved) support::fire_error(ErrorId::internal_no_memory);
        g_cells = static_cast<Cell*>(moved);
        g_capacity = uint32_t(bigger);
    }
    Cell* cell = g_cells + st.tail++;
    *cell = make_cell(st.token_lines ? (TYPE_UNSET | NEW_LINE_FLAG) : TYPE_UNSET);
    return cell;
}

Cell* emit(State& st, const Cell& value) {
    Cell* cell = grow_token_buffer(st);
    uint32_t mark = cell->header & NEW_LINE_FLAG;
    *cell = value;
    cell->header = (cell->header & ~NEW_LINE_FLAG) | mark;
    return cell;
}

bool is_marker(const Cell* cell) { return cell->is(TYPE_TRIPLE); }

void mark_for_collector(MarkCellsFn mark_cells) {
    for (State* st = g_first_state; st; st = st->next) {
        mark_cells(g_cells + st->head, g_cells + st->tail);
        mark_cells(&st->input, &st->input + 1);
        mark_cells(&st->callback, &st->callback + 1);
    }
}

void set_callback_hook(CallbackHook hook) { g_hook = hook; }
void set_token_names(const Cell* names) { g_token_names = names; }

// ---------------------------------------------------------------------------
// Events

uint32_t event_mask_from_words(const Cell* callback) {
    if (!callback->is(TYPE_FUNCTION) && !callback->is(TYPE_ROUTINE)) return ALL_EVENTS;
    const Cell body = *function::more_cell(callback, function::MORE_BODY);
    if (!body.is(TYPE_BLOCK) || block::length_from_head(&body) < 1) return ALL_EVENTS;
    const Cell first = *block::cell_at(&body, block::head_index(&body));
    if (!first.is(TYPE_BLOCK)) return ALL_EVENTS;
    static constexpr words::Name EVENT_WORDS[] = {words::prescan, words::scan,   words::load,
                                                  words::open_,   words::close_, words::error};
    uint32_t mask = 0;
    for (int32_t i = block::head_index(&first); i < block::length_from_start(&first); i++) {
        const Cell* item = block::cell_at(&first, i);
        if (!item->is(TYPE_WORD)) continue;
        for (uint32_t b = 0; b < std::size(EVENT_WORDS); b++)
            if (symbol::canonical(item->data2) == symbol::canonical(words::get(EVENT_WORDS[b])->data2))
                mask |= 1u << b;
    }
    return mask;
}

namespace {
uint32_t refinement_count_of(const Cell* callback) {
    if (!callback->is(TYPE_FUNCTION) && !callback->is(TYPE_ROUTINE)) return 0;
    const Cell spec = make_cell(TYPE_BLOCK, 0, callback->data2, 0);
    uint32_t n = 0;
    for (int32_t i = 0; i < block::length_from_start(&spec); i++) {
        const Cell* item = block::cell_at(&spec, i);
        if (!item->is(TYPE_REFINEMENT)) continue;
        if (symbol::canonical(item->data2) == symbol::canonical(refinements::get(refinements::local)->data2))
            break;
        n++;
    }
    return n;
}
}  // namespace

bool fire_event(State& st, uint32_t bit, int32_t type, const Cell* value, const uint8_t* start,
                const uint8_t* end) {
    if (!st.has_callback() || !(st.event_mask & bit)) return true;
    static constexpr words::Name EVENT_WORDS[] = {words::prescan, words::scan,   words::load,
                                                  words::open_,   words::close_, words::error};
    uint32_t event = uint32_t(__builtin_ctz(bit));
    Cell* args = stack::push_cell();
    for (int i = 1; i < 5; i++) stack::push_cell();
    args[0] = *words::get(EVENT_WORDS[event]);
    bool at_start = bit == EVENT_OPEN || (bit == EVENT_PRESCAN && type <= 0);
    uint32_t index = uint32_t(st.input_base) + char_index(st, at_start ? start : end);
    args[1] = st.input;
    args[1].data1 = index;
    args[2] = type_argument(type);
    args[3] = integer_cell(int32_t(st.line));
    if (value) {
        args[4] = *value;
    } else {
        int32_t first = int32_t(char_index(st, start)) + 1;
        int32_t last = int32_t(char_index(st, end)) + 1;
        args[4] = make_cell(TYPE_PAIR, 0, uint32_t(first), uint32_t(last));
    }
    Cell result = shared_none_cell;
    g_hook(&st.callback, args, st.refinement_count, &result);
    if (args[1].data1 != index) st.jump = position_of_index(st, int32_t(args[1].data1));
    stack::g_top = args;
    return bit == EVENT_LOAD || bit == EVENT_ERROR ? logic_true_q(result) : truthy_q(result);
}

// ---------------------------------------------------------------------------
// Syntax errors

namespace {

// The token text for an error: up to the first line feed, the token's end or
// 30 bytes (a character that starts before the 30th byte is taken whole).
// Malformed UTF-8 shows as U+FFFD rather than raising a second error.
Cell* push_token_text(const uint8_t* start, const uint8_t* end) {
    const uint8_t* stop = start;
    while (stop < end && *stop != '\n' && stop - start < 30) {
        uint32_t n = std::max<uint32_t>(1, unicode::utf8_sequence_length(*stop));
        stop = std::min(stop + n, end);
    }
    Cell* text = string::make_empty_at(stack::push_cell(), uint32_t(stop - start));
    memory::SeriesBuffer* buffer = string::buffer_of(text);
    for (const uint8_t* p = start; p < stop;) {
        int32_t cp;
        p = unicode::decode_utf8_char(p, stop, &cp);
        buffer = string::append_char(buffer, cp < 0 ? 0xFFFD : uint32_t(cp));
    }
    return text;
}

Cell* push_line_text(uint32_t line) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "(line %u)", line);
    return string::load_c_text(text, uint32_t(n), 0);
}

uint32_t missing_delimiter(const State& st, int32_t type, int32_t code) {
    const uint8_t* p = st.position < st.input_end ? st.position : st.input_end - 1;
    uint8_t here = st.input_end > st.input_start ? *p : 0;
    if (type == TYPE_BLOCK || type == TYPE_MAP) return code == CODE_MISSING && here == ']' ? '[' : ']';
    if (type == TYPE_PAREN || type == TYPE_POINT2D)
        return code == CODE_MISSING && here == ')' ? '(' : ')';
    if (type == TYPE_STRING) return '}';  // a braced string left open
    return 0;
}

[[noreturn]] void raise_syntax(State& st, const uint8_t* start, const uint8_t* end, int32_t code) {
    int32_t missing = st.missing_type;
    st.missing_type = 0;
    if ((code == CODE_MISSING || code == CODE_MISSING_AT_END) && path_type_q(uint32_t(missing)))
        code = CODE_BAD_CHAR;
    Cell* line = push_line_text(st.line);
    if (code >= 0) {
        Cell* type = stack::push_cell();
        *type = make_cell(TYPE_DATATYPE, uint32_t(code));
        Cell* text = push_token_text(start, end);
        support::fire_error(ErrorId::syntax_invalid, line, type, text);
    }
    if (code == CODE_MISSING || code == CODE_MISSING_AT_END) {
        Cell* delimiter = stack::push_cell();
        *delimiter = make_cell(TYPE_CHAR, 0, missing_delimiter(st, missing, code), 0);
        Cell* text = push_token_text(start, end);
        support::fire_error(ErrorId::syntax_missing, line, delimiter, text);
    }
    Cell* text = push_token_text(start, end);
    support::fire_error(code == CODE_MALCONSTRUCT ? ErrorId::syntax_malconstruct
                                                  : ErrorId::syntax_bad_char,
                        line, text);
}

}  // namespace

void error(State& st, const uint8_t* start, const uint8_t* end, int32_t code) {
    if (!st.loading) {
        st.type = TYPE_ERROR;
        st.halted = true;
        return;
    }
    if (!start) {
        start = st.input_start;
        if (st.series_begin > st.head) start += cell_at(st.series_begin - 1)->data3;
        end = st.input_end;
    }
    start = std::clamp(start, st.input_start, st.input_end);
    end = std::clamp(end, start, st.input_end);
    if (st.string_depth > 0 && st.string_start) start = st.string_start;
    if (st.has_callback()) {
        int32_t reported = code >= 1             ? code
                           : st.missing_type >= 1 ? st.missing_type
                           : st.type >= 1         ? st.type
                           : st.error_type >= 1   ? st.error_type
                                                  : int32_t(TYPE_ERROR);
        if (st.entry_state == PATH_ENTRY_STATE) close_series(st, start, end, -1);
        if (!fire_event(st, EVENT_ERROR, reported, nullptr, start, end)) {
            st.missing_type = 0;
            st.cancelled = true;
            return;
        }
    }
    raise_syntax(st, start, end, code);
}

// ---------------------------------------------------------------------------
// Series on the token buffer

uint32_t open_marker_type(const State& st) {
    if (st.series_begin <= st.head) return 0;
    const Cell* marker = cell_at(st.series_begin - 1);
    return is_marker(marker) ? marker_type(marker) : 0;
}

void open_series(State& st, uint32_t type, const uint8_t* start, const uint8_t* end) {
    if (open_marker_type(st) == TYPE_POINT2D) return error(st, start, end, TYPE_POINT2D);
    if (!fire_event(st, EVENT_OPEN, int32_t(type), nullptr, start, end)) return;
    uint32_t index = st.tail;
    Cell* marker = grow_token_buffer(st);
    marker->set_type(TYPE_TRIPLE);
    marker->data1 = index - st.series_begin;
    marker->data2 = type;
    marker->data3 = uint32_t(start - st.input_start);
    st.series_begin = st.tail;
    st.entry_state = 0;
}

namespace {

// The target cell becomes a new series of the cells (or the existing series
// grows by them). The cells stay in the token buffer, which the collector
// marks, until they are copied.
void make_series_from_cells(Cell* target, uint32_t first, uint32_t count, uint32_t type,
                            const Cell* existing) {
    if (existing) {
        for (uint32_t i = 0; i < count; i++) block::append_cell(existing, cell_at(first + i));
        return;
    }
    NodeId node = memory::alloc_cells(std::max<uint32_t>(count, 1));
    memory::SeriesBuffer* buffer = memory::buffer_of(node);
    if (count) std::memcpy(buffer->cells(), cell_at(first), count * sizeof(Cell));
    buffer->tail = buffer->head + count * uint32_t(sizeof(Cell));
    uint32_t mark = target->header & NEW_LINE_FLAG;
    *target = make_cell(type | mark, 0, node, 0);
}

}  // namespace

void close_series(State& st, const uint8_t* start, const uint8_t* end, int32_t expected) {
    uint32_t open_type = open_marker_type(st);
    if (!fire_event(st, EVENT_CLOSE, open_type ? int32_t(open_type) : expected, nullptr, start, end)) {
        st.entry_state = 0;
        return;
    }
    bool matches = open_type != 0 &&
                   (expected == -1 || uint32_t(expected) == open_type ||
                    (expected == TYPE_BLOCK && open_type == TYPE_MAP) ||
                    (expected == TYPE_SET_PATH && open_type == TYPE_PATH));
    if (!matches) {
        st.missing_type = expected == -1 ? int32_t(open_type) : expected;
        return error(st, start, end, CODE_MISSING);
    }
    uint32_t marker_index = st.series_begin - 1;
    Cell* marker = cell_at(marker_index);
    uint32_t type = expected == TYPE_SET_PATH ? uint32_t(TYPE_SET_PATH) : open_type;
    uint32_t first = st.series_begin;
    uint32_t count = st.tail - first;
    if (type == TYPE_MAP && st.loading) {
        bool valid = count % 2 == 0;
        for (uint32_t i = 0; valid && i < count; i += 2)
            valid = map::valid_key_type_q(cell_at(first + i)->type());
        if (!valid) return error(st, start, end, TYPE_MAP);
    }
    st.series_begin = marker_index - marker->data1;
    make_series_from_cells(marker, first, count, type == TYPE_MAP ? uint32_t(TYPE_BLOCK) : type, nullptr);
    st.tail = marker_index + 1;
    if (type == TYPE_MAP && st.loading) {
        const Cell elements = *cell_at(marker_index);
        make_map(cell_at(marker_index), &elements);
    }
    st.type = int32_t(type);
    uint32_t outer = open_marker_type(st);
    st.entry_state = outer && path_type_q(outer) ? PATH_ENTRY_STATE : 0;
}

void close_path(State& st) {
    const uint8_t* p = st.position;
    if (p >= st.input_end || k_path_end[k_class_table[*p] & CLASS_MASK] || *p != '/') {
        if (p < st.input_end && *p == ':') {
            if (p + 1 < st.input_end && p[1] == '/') {
                st.position = p + 1;
                return error(st, p, p + 2, TYPE_PATH);
            }
            st.position = p + 1;
            return close_series(st, p, p + 1, TYPE_SET_PATH);
        }
        return close_series(st, p, p, -1);
    }
    st.position = p + 1;
    if (st.position >= st.input_end) error(st, p, st.position, TYPE_PATH);
}

// ---------------------------------------------------------------------------
// The scan loop

namespace {

// Whether the byte that ended a token belongs to it, for tokens that are not
// handled (their handlers would move past it).
bool owns_terminal_byte(uint32_t kind, const uint8_t* s, const uint8_t* e) {
    switch (kind) {
        case K_STRING: case K_CHAR: case K_BINARY: case K_PERCENT: case K_TAG: case K_POINT:
        case K_CONSTRUCT:
            return true;
        case K_FILE:
            return e - s >= 2 && s[0] == '%' && s[1] == '"';
        default:
            return false;
    }
}

// Step 6: a word that begins with Unicode spaces starts after them.
bool skip_leading_delimiters(State& st, const uint8_t*& s, const uint8_t* e) {
    while (s < e && *s >= 0x80) {
        const uint8_t* p = s;
        int32_t cp = decode_input_char(p, e);
        if (cp < 0) {
            error(st, s, e, TYPE_WORD);
            return false;
        }
        if (!delimiter_q(uint32_t(cp))) break;
        s = p;
    }
    return true;
}

// Steps 7 and 8 for one token; false when it was not handled.
bool handle_token(State& st, uint32_t kind, const uint8_t* s, const uint8_t* e, uint32_t flags) {
    bool handled;
    if (st.has_callback()) {
        bool silent = st.entry_state == BRACED_ENTRY_STATE ||
                      (kind == K_PAREN_OPEN && point_ahead(e + 1, st.input_end));
        const uint8_t* event_start = kind == K_POINT ? s - 1 : s;
        const uint8_t* event_end = kind == K_POINT && e < st.input_end ? e + 1 : e;
        handled = silent || fire_event(st, EVENT_PRESCAN, st.type ? st.type : -int32_t(kind + 1),
                                       nullptr, event_start, event_end);
    } else {
        handled = !st.scan_only;
    }
    if (!handled) {
        if (owns_terminal_byte(kind, s, e) && st.position < st.input_end) st.position++;
        return false;
    }
    bool load = !(st.one_value && !st.loading);
    if (kind >= FIRST_VALUE_KIND) {
        if (!st.loading || k_scanners[kind] || (st.event_mask & EVENT_SCAN)) {
            if (k_scanners[kind])
                k_scanners[kind](st, s, e, flags, false);
            else
                k_loaders[kind](st, s, e, flags, false);
            if (stopped(st)) return true;
            if (st.has_callback()) {
                const uint8_t* event_start = kind == K_POINT ? s - 1 : s;
                load = fire_event(st, EVENT_SCAN, st.type, nullptr, event_start, e) && load;
            }
        }
    } else {
        k_scanners[kind](st, s, e, flags, st.loading);
        if (stopped(st) && !load) return true;
    }
    if (load && k_loaders[kind] && !stopped(st)) {
        uint32_t before = st.tail;
        k_loaders[kind](st, s, e, flags, true);
        if (stopped(st)) return true;
        if (st.has_callback() && st.tail > before) {
            const Cell value = *cell_at(st.tail - 1);
            if (!fire_event(st, EVENT_LOAD, st.type, &value, s, e)) st.tail = before;
        }
    }
    return true;
}

void scan(State& st) {
    while (st.position < st.input_end && !st.done) {
        const uint8_t* const token_position = st.position;
        const uint8_t* p = st.position;
        const uint8_t* const end = st.input_end;
        const uint8_t* start = p;
        uint32_t state = st.entry_state;
        uint32_t previous = state;
        uint32_t flags = 0;
        uint32_t line = st.line;
        for (;;) {
            if (p >= end) {
                previous = state;
                state = k_transitions[state][C_END];
                break;
            }
            uint32_t entry = k_class_table[*p];
            uint32_t cls = entry & CLASS_MASK;
            flags |= entry;
            previous = state;
            state = k_transitions[state][cls];
            if (start_skip(state)) start = p + 1;
            if (state >= TERMINAL_BASE) break;
            line += k_line_table[cls];
            p++;
        }
        st.position = st.token_end = p;
        st.token_lines = line - st.line;
        st.line = line;
        st.previous_state = previous;
        st.type = k_state_type[state];
        st.error_type = -1;
        uint32_t kind = state - TERMINAL_BASE;

        if (st.entry_state == POINT_ENTRY_STATE)
            st.entry_state = path_type_q(open_marker_type(st)) ? PATH_ENTRY_STATE : 0;
        bool handled = true;
        if (st.scan_only && kind < FIRST_VALUE_KIND) {
            k_scanners[kind](st, start, p, flags, st.loading);
        } else if (kind == K_WORD && (flags & (F_UTF8_2_3 | F_UTF8_4)) &&
                   (!skip_leading_delimiters(st, start, p) || start == p)) {
            if (st.halted) return;
            handled = false;  // a bad sequence whose error was cancelled, or only spaces
        } else if (kind == K_END) {
            if (p >= end || *p == 0) st.position = end;
            continue;
        } else {
            handled = handle_token(st, kind, start, p, flags);
        }
        if (st.halted) return;
        if (st.cancelled) {
            st.cancelled = false;
            if (st.position < p) st.position = p;
            if (st.position == start && st.position < end) st.position++;
        }
        // A token that was skipped without being consumed (a refused "[",
        // a bad byte) would be scanned again forever.
        if (st.position <= token_position && st.position < end) st.position = token_position + 1;
        if (st.jump) {
            st.position = st.jump;
            st.jump = nullptr;
        }
        if (st.entry_state == PATH_ENTRY_STATE && kind != K_PATH && kind != K_INVALID) {
            close_path(st);
            if (st.halted) return;
            st.cancelled = false;
        }
        if ((st.one_value || st.scan_only) && handled && st.type != 0 &&
            st.entry_state != PATH_ENTRY_STATE && st.entry_state != BRACED_ENTRY_STATE &&
            (st.tail == st.head || (st.tail == st.head + 1 && !is_marker(cell_at(st.head)))))
            st.done = true;
        if (st.type != 0) st.last_type = st.type;
    }
    if (st.entry_state == BRACED_ENTRY_STATE && !st.done) {
        st.type = 0;
        st.missing_type = TYPE_STRING;
        error(st, st.string_start, st.input_end, CODE_MISSING_AT_END);
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Entry points

namespace {
uint32_t g_scans = 0;
}

uint32_t scan_count() { return g_scans; }

int32_t transcode(Cell* out, const uint8_t* text, uint32_t length, const Options& options,
                  uint32_t* consumed) {
    g_scans++;
    if (!g_cells) init();
    State st;
    st.input_start = st.position = st.token_end = text;
    st.input_end = text + length;
    st.loading = options.load && options.produce;
    st.one_value = options.one_value;
    st.scan_only = !options.load;
    st.callback = make_cell(TYPE_UNSET);
    st.input = make_cell(TYPE_UNSET);
    if (options.input) {
        st.input = *options.input;
        st.string_input = !options.input->is(TYPE_BINARY);
        st.input_base = int32_t(options.input->data1);
    }
    if (options.callback && !options.callback->is(TYPE_NONE) && !options.callback->is(TYPE_UNSET)) {
        if (!g_hook) fire_not_done();
        st.callback = *options.callback;
        st.event_mask = event_mask_from_words(options.callback);
        st.refinement_count = refinement_count_of(options.callback);
    }
    StateGuard guard(st);
    scan(st);

    if (st.loading && st.series_begin > st.head && is_marker(cell_at(st.series_begin - 1))) {
        const uint8_t* opening = text + cell_at(st.series_begin - 1)->data3;
        st.missing_type = int32_t(marker_type(cell_at(st.series_begin - 1)));
        error(st, opening, st.input_end, CODE_MISSING_AT_END);
        if (out && options.produce) *out = shared_none_cell;
        if (consumed) *consumed = char_index(st, st.position);
        return st.last_type;
    }
    if (!st.loading && st.series_begin > st.head && path_type_q(open_marker_type(st)))
        st.last_type = int32_t(open_marker_type(st));
    if (out && options.produce) {
        uint32_t count = st.tail - st.head;
        if (st.one_value && !options.keep_block && count >= 1 && !options.target) {
            uint32_t mark = out->header & NEW_LINE_FLAG;
            *out = *cell_at(st.head);
            out->header = (out->header & ~NEW_LINE_FLAG) | mark;
        } else if (options.target) {
            make_series_from_cells(out, st.head, count, TYPE_BLOCK, options.target);
            *out = *options.target;
        } else {
            *out = make_cell(TYPE_UNSET);
            make_series_from_cells(out, st.head, count, TYPE_BLOCK, nullptr);
        }
    }
    if (consumed) *consumed = char_index(st, st.position);
    return st.halted ? int32_t(TYPE_ERROR) : st.last_type;
}

int32_t load_string(Cell* out, const Cell* str, int32_t start, int32_t length,
                    const Options& options, uint32_t* consumed) {
    Cell from = *str;
    int32_t available = string::length_from_head(&from);
    start = std::clamp(start, 0, available);
    from.data1 = uint32_t(string::head_index(&from) + start);
    int32_t chars = length < 0 ? available - start : std::min(length, available - start);
    uint32_t unit = string::buffer_of(&from)->unit();
    uint32_t room = uint32_t(chars) * (unit == 1 ? 2 : unit == 2 ? 3 : 4);
    ScratchLease lease(room);
    uint32_t bytes = chars > 0 ? unicode::write_utf8_bounded(&from, lease.data(), int32_t(room),
                                                             chars, false)
                               : 0;
    Options o = options;
    if (!o.input) o.input = &from;
    return transcode(out, lease.data(), bytes, o, consumed);
}

int32_t load_binary(Cell* out, const Cell* bin, int32_t length, const Options& options,
                    uint32_t* consumed) {
    memory::SeriesBuffer* buffer = memory::buffer_of(bin->data2);
    int32_t available = std::max<int32_t>(0, int32_t(buffer->used()) - int32_t(bin->data1));
    uint32_t n = uint32_t(length < 0 ? available : std::min(length, available));
    ScratchLease lease(n);
    // The collector may move the binary's buffer while values are made.
    if (n) std::memcpy(lease.data(), buffer->head_ptr() + bin->data1, n);
    Options o = options;
    if (!o.input) o.input = bin;
    return transcode(out, lease.data(), n, o, consumed);
}

void transcode(Cell* result, const Cell* src_in, const Refinements& r) {
    Cell src = *src_in;
    bool binary = src.is(TYPE_BINARY);
    Options o;
    o.load = !r.prescan;
    o.produce = !r.scan;
    o.one_value = r.next || r.one || r.scan;
    o.callback = r.trace;
    o.target = r.into;
    int32_t available = binary ? std::max<int32_t>(0, int32_t(memory::buffer_of(src.data2)->used()) -
                                                          int32_t(src.data1))
                               : string::length_from_head(&src);
    int32_t length = available;
    if (r.part) {
        if (r.part->is(TYPE_INTEGER)) {
            length = integer::get(r.part);
        } else if (r.part->type() == src.type()) {
            length = int32_t(r.part->data1) - int32_t(src.data1);
        } else {
            support::fire_error(ErrorId::script_not_same_type);
        }
        length = std::clamp(length, 0, available);
    }
    if ((r.prescan || r.scan) && length == 0) {
        *result = src;
        return;
    }
    if (binary && length >= 3) {
        const uint8_t* head = memory::buffer_of(src.data2)->head_ptr() + src.data1;
        if (head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
            src.data1 += 3;
            length -= 3;
        }
    }
    Cell* base = stack::g_top;
    Cell* input = stack::push(&src);
    Cell* out = stack::push_cell();
    *out = make_cell(TYPE_UNSET);
    o.input = input;
    uint32_t consumed = 0;
    int32_t type = binary ? load_binary(out, input, length, o, &consumed)
                          : load_string(out, input, 0, length, o, &consumed);
    if (r.prescan || r.scan) *out = type > 0 ? make_cell(TYPE_DATATYPE, uint32_t(type)) : shared_none_cell;
    bool pair = r.next && !(r.one && !r.scan);
    if (pair) {
        Cell* block = block::push_new(2);
        block::append_cell(block, out);
        input->data1 += consumed;
        block::append_cell(block, input);
        *out = *block;
    } else if (r.into && !r.prescan && !r.scan) {
        *out = *r.into;
    }
    *result = *out;
    stack::g_top = base;
}

}  // namespace zun::lexer
