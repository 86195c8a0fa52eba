#include "core/symbols.hpp"

#include <cstring>
#include <string>

#include "core/case_folding.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

namespace zun::symbols {

namespace {
NodeId g_root_node = 0;
memory::SeriesBuffer* g_root_buffer = nullptr;
Cell g_root_cell{TYPE_BLOCK, 0, 0, 0};
NodeId g_series = 0;
NodeId g_table = 0;
bool g_keep_words = false;

// A second init (tests) after memory::init finds its old block orphaned: the
// block is outside the frames, so it is released here.
void make_root_block() {
    if (ready()) {
        g_root_buffer->tail = g_root_buffer->head;
        return;
    }
    if (g_root_buffer) runtime::free(g_root_buffer);
    g_root_node = memory::alloc_series_malloc(ROOT_BLOCK_CELLS, sizeof(Cell), 0);
    g_root_buffer = memory::buffer_of(g_root_node);
    g_root_cell = make_cell(TYPE_BLOCK, 0, g_root_node, 0);
}

void make_symbol_series() {
    g_series = memory::alloc_cells(START_SYMBOLS);
    *support::append_cell(&g_root_cell) = make_cell(TYPE_BLOCK, 0, g_series, 0);
}
}  // namespace

namespace {
uint32_t g_generation = 0;
}

uint32_t generation() { return g_generation; }

void init() {
    ++g_generation;
    make_root_block();
    g_keep_words = true;
    make_symbol_series();
    context::init_global(GLOBAL_WORDS);
    g_table = hashtable::make(START_SYMBOLS, g_series, hashtable::KIND_WORDS, 0);
    support::make_type_words();
    interpreter::init_runtime_words();
    interpreter::init_refinement_words();
    support::make_ooo_issue();
    stack::set_hidden_symbols(words::get(words::body)->data2, words::get(words::anon)->data2);
}

bool ready() {
    return g_root_buffer && memory::initialised() && memory::buffer_of(g_root_node) == g_root_buffer;
}

Cell* root_block() { return &g_root_cell; }

Cell* hold(const Cell& value) {
    if (!stack::initialised()) {
        static Cell spare[8];
        static unsigned next = 0;
        Cell* cell = &spare[next++ % 8];
        *cell = value;
        return cell;
    }
    return stack::push(&value);
}

void release(Cell* held) {
    if (stack::initialised() && held >= stack::g_bottom && held < stack::g_end) stack::g_top = held;
}

void set_keep_words(bool on) { g_keep_words = on; }
bool keep_words() { return g_keep_words; }
NodeId series() { return g_series; }
NodeId table() { return g_table; }
uint32_t count() { return memory::buffer_of(g_series)->used() / sizeof(Cell); }

}  // namespace zun::symbols

namespace zun::symbol {

namespace {
Cell* record_of(uint32_t id) { return memory::buffer_of(symbols::series())->head_cell() + (id - 1); }

void put_utf8(std::string& out, uint32_t cp) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), unicode::encode_utf8_char(cp, bytes));
}

// Names are UTF-8 by construction; a stray byte stands for itself.
std::u32string decode(std::string_view text) {
    std::u32string out;
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const uint8_t* end = p + text.size();
    while (p < end) {
        uint32_t lead = *p;
        uint32_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (n == 1 || uint32_t(end - p) < n) {
            out += char32_t(*p++);
            continue;
        }
        uint32_t cp = lead & (0x7F >> n);
        for (uint32_t i = 1; i < n; i++) cp = cp << 6 | (p[i] & 0x3F);
        out += char32_t(cp);
        p += n;
    }
    return out;
}

uint32_t fold_upper(uint32_t cp) { return unicode::change_case(cp, true); }

bool equality_mode(int op) {
    return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL || op == COMP_FIND;
}

int compare_texts(const std::u32string& a, const std::u32string& b, int op) {
    size_t na = a.size(), nb = b.size();
    if (na != nb && equality_mode(op)) return 1;
    bool exact = op == COMP_STRICT_EQUAL || op == COMP_CASE_SORT;
    for (size_t i = 0; i < na && i < nb; i++) {
        uint32_t ca = exact ? uint32_t(a[i]) : fold_upper(a[i]);
        uint32_t cb = exact ? uint32_t(b[i]) : fold_upper(b[i]);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return na < nb ? -1 : na > nb ? 1 : 0;
}

std::string_view name_in(NodeId name_node) {
    memory::SeriesBuffer* b = memory::buffer_of(name_node);
    return {reinterpret_cast<const char*>(b->head_ptr()), b->used()};
}

// Compares the names held in two symbol! cells (their byte buffers in word 3).
int compare_cells(const Cell& s1, const Cell& s2, int op) {
    if (op == COMP_SAME) return s1.data3 == s2.data3 ? 0 : -1;
    if (s1.data3 == s2.data3 && (equality_mode(op))) return 0;
    return compare_texts(decode(name_in(s1.data3)), decode(name_in(s2.data3)), op);
}
}  // namespace

uint32_t make(const char* name) { return make_from_buffer(name, std::strlen(name)); }

uint32_t make_from_buffer(const char* name, size_t length) {
    return hashtable::intern_symbol(symbols::table(), name, length, false);
}

uint32_t find_any_case(const char* name) {
    return hashtable::intern_symbol(symbols::table(), name, std::strlen(name), true);
}

uint32_t from_string(const Cell* str) {
    std::string text;
    memory::SeriesBuffer* b = memory::buffer_of(str->data2);
    uint32_t unit = b->unit();
    uint32_t total = b->used() / unit;
    for (uint32_t i = str->data1; i < total; i++)
        put_utf8(text, string::get_char(b->head_ptr() + i * unit, unit));
    return make_from_buffer(text.data(), text.size());
}

// The text is decoded as it stands: no line-end conversion, and a leading
// byte-order mark is part of the name.
void cache_string(uint32_t id) {
    if (record_of(id)->data2) return;
    std::string text(name(id));  // the name buffer may move while the string is made
    Cell* str = symbols::hold(make_cell(TYPE_UNSET));
    string::make_empty_at(str, uint32_t(text.size()));
    string::append_utf8(str, text.data(), uint32_t(text.size()));
    record_of(id)->data2 = str->data2;
    symbols::release(str);
}

Cell* get_record(uint32_t id) {
    cache_string(id);
    return record_of(id);
}

uint32_t alias(uint32_t id) { return record_of(id)->data1; }

uint32_t canonical(uint32_t id) {
    int32_t a = int32_t(record_of(id)->data1);
    return a > 0 ? uint32_t(a) : id;
}

std::string_view name(uint32_t id) { return name_in(record_of(id)->data3); }

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_SYMBOL)) return COMPARE_UNCOMPARABLE;
    return compare_cells(*value1, *value2, op);
}

int compare_names(uint32_t id1, uint32_t id2, int op) {
    return compare_cells(*record_of(id1), *record_of(id2), op);
}

}  // namespace zun::symbol

namespace zun::sym {
uint32_t g_ids[COUNT];
}

namespace zun::words {
Cell g_cells[COUNT];
}

namespace zun::refinements {
Cell g_cells[COUNT];
}

namespace zun::interpreter {

namespace {
constexpr const char* SYMBOL_NAMES[] = {
    "spec", "body", "words", "class", "logic!", "integer!", "char!", "float!", "percent!",
    "any-type!", "exit", "return", "Windows", "Syllable", "macOS", "Linux", "NetBSD", "repeat",
    "foreach", "map-each", "remove-each", "any", "break", "copy", "end", "fail", "into", "opt",
    "not", "quote", "case", "reject", "set", "skip", "some", "thru", "to", "none", "|", "-",
    "if", "remove", "while", "insert", "only", "collect", "keep", "pick", "ahead", "after",
    "x", "y", "z", "self", "values", "owner", "owned", "events?", "true", "false", "yes",
    "no", "on", "off", "type", "face", "window", "offset", "key", "flag", "code", "picked",
    "flags", "away?", "ctrl?", "shift?", "down?", "mid-down?", "alt-down?", "aux-down?",
    "orientation", "get", "put", "post", "head", "size", "rgb", "alpha", "argb", "date",
    "year", "month", "day", "zone", "isoweek", "week", "weekday", "yearday", "julian", "time",
    "hour", "minute", "second", "timezone", "code", "amount", "user", "host", "system",
    "system-global", "stack", "trace", "no-trace"};
static_assert(std::size(SYMBOL_NAMES) == sym::COUNT);

// The runtime names that also get a word in the global context at start-up.
constexpr sym::Name GLOBAL_WORD_SYMBOLS[] = {
    sym::spec, sym::body, sym::words, sym::class_, sym::values, sym::owner, sym::self,
    sym::Windows, sym::Syllable, sym::macOS, sym::Linux, sym::NetBSD, sym::true_, sym::false_,
    sym::yes, sym::no, sym::on, sym::off, sym::none, sym::type, sym::face, sym::window,
    sym::offset, sym::key, sym::flag, sym::code};
static_assert(std::size(GLOBAL_WORD_SYMBOLS) == 26);

constexpr const char* WORD_NAMES[] = {
    "at", "back", "find", "head", "head?", "index?", "length?", "next", "pick", "skip",
    "select", "tail", "tail?", "change", "changed", "clear", "cleared", "set-path", "append",
    "appended", "move", "moved", "poke", "poked", "put", "put-ed", "removed", "random",
    "randomized", "reverse", "reversed", "sort", "sorted", "swap", "swaped", "take", "taken",
    "trim", "trimmed", "inserted", "uppercase", "lowercase", "checksum", "push", "pop",
    "fetch", "match", "iterate", "paren", "<anon>", "<body>", "<not-found>", "add",
    "subtract", "divide", "on-parse-event", "on-change*", "on-deep-change*", "type", "id",
    "try", "catch", "name", "multiply", "browse", "open", "create", "close", "delete",
    "modify", "query", "read", "rename", "update", "write", "prescan", "scan", "load", "error",
    "comment", "init", "exec", "call", "return", "enter", "exit", "prolog", "epilog", "throw",
    "expr", "<interp-callback>", "<lexer-callback>", "<parse-callback>", "<compare-callback>",
    "throw", "note", "syntax", "script", "math", "access", "user", "internal",
    "invalid-error", "local", "<applied>"};
static_assert(std::size(WORD_NAMES) == words::COUNT && words::COUNT == 105);

constexpr const char* REFINEMENT_NAMES[] = {"local", "extern", "compare", "part", "skip", "with"};
static_assert(std::size(REFINEMENT_NAMES) == refinements::COUNT);
}  // namespace

void init_runtime_words() {
    for (int i = 0; i < sym::COUNT; i++) sym::g_ids[i] = symbol::make(SYMBOL_NAMES[i]);
    for (sym::Name n : GLOBAL_WORD_SYMBOLS) word::make_global_from_symbol(sym::id(n));
    for (int i = 0; i < words::COUNT; i++) words::g_cells[i] = *word::make_global(WORD_NAMES[i]);
}

void init_refinement_words() {
    for (int i = 0; i < refinements::COUNT; i++)
        refinements::g_cells[i] = *refinement::append_from_cstring(REFINEMENT_NAMES[i]);
}

}  // namespace zun::interpreter

namespace zun::support {

namespace {
Cell g_ooo{TYPE_UNSET, 0, 0, 0};

// Registrations run again in tests after memory::init: until symbols are up
// on the new memory, types get no word.
Cell* type_word(const char* name) { return symbols::ready() ? word::make_global(name) : nullptr; }
}  // namespace

void make_ooo_issue() { g_ooo = *issue::push_from_cstring("ooo"); }
const Cell* ooo_issue() { return &g_ooo; }

void make_type_words() { registry::make_name_words(&type_word); }

}  // namespace zun::support

namespace zun::words {
const Cell* insert() {
    static Cell word;
    word = Cell{TYPE_WORD, 0, sym::id(sym::insert), 0xFFFFFFFF};
    return &word;
}
}  // namespace zun::words
