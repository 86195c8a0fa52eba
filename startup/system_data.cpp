#include "startup/system_data.hpp"

#include <cstring>
#include <string>

#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

namespace zun::system_data {

namespace {

constexpr int ASSERTION_FAILED = 98;

constexpr char k_data[] =
#include "startup/system-data.inc"
    ;

struct CategoryRow {
    const char* name;
    const char* title;
};
constexpr CategoryRow k_categories[] = {
#define ZUN_ERROR_CATEGORY(index, name, title) {name, title},
#include "error_catalog.inc"
#undef ZUN_ERROR_CATEGORY
};
constexpr uint32_t CATEGORY_COUNT = sizeof k_categories / sizeof k_categories[0];

// Cells of the root block, in this order: the start-up system object and the
// pieces the datatypes read, kept for when the live system object lacks them.
enum Slot : uint32_t {
    SYSTEM, CATALOG_ERRORS, STANDARD, STANDARD_ERROR, STANDARD_PORT, STANDARD_URL_PARTS,
    LOCALE_MONTHS, LOCALE_CURRENCIES, CURRENCY_LIST, MONEY_DIGITS, OPTIONS_FLOAT, SLOT_COUNT
};

// Where each piece lies in the system object, and the type it must have.
struct Piece {
    const char* path[3];
    uint32_t type;
};
constexpr Piece k_pieces[SLOT_COUNT] = {
    {{}, TYPE_OBJECT},
    {{"catalog", "errors"}, TYPE_OBJECT},
    {{"standard"}, TYPE_OBJECT},
    {{"standard", "error"}, TYPE_OBJECT},
    {{"standard", "port"}, TYPE_OBJECT},
    {{"standard", "url-parts"}, TYPE_OBJECT},
    {{"locale", "months"}, TYPE_BLOCK},
    {{"locale", "currencies"}, TYPE_OBJECT},
    {{"locale", "currencies", "list"}, TYPE_BLOCK},
    {{"options", "money-digits"}, TYPE_INTEGER},
    {{"options", "float"}, TYPE_OBJECT},
};
constexpr uint32_t PATH_LENGTH = 3;

int32_t g_first = -1;     // root block index of the first slot
NodeId g_catalog = 0;     // the catalogue's context, to recognise our own slots
uint32_t g_system_symbol = 0;
uint32_t g_piece_symbols[SLOT_COUNT][PATH_LENGTH];

Cell* slot(Slot s) { return block::cell_at(symbols::root_block(), g_first + int32_t(s)); }

// The field at the piece's path from the object, or nullptr.
Cell* field_at(const Cell& object, Slot s) {
    Cell* value = nullptr;
    Cell at = object;
    for (uint32_t i = 0; i < PATH_LENGTH && g_piece_symbols[s][i]; i++) {
        if (!at.is(TYPE_OBJECT)) return nullptr;
        int32_t index = context::find_word(at.data1, g_piece_symbols[s][i], true);
        if (index < 0) return nullptr;
        value = object::values_base(&at) + index;
        at = *value;
    }
    return value;
}

// The piece as the system object holds it now: scripts may replace the system
// object's fields, and the datatypes follow. A piece that is missing or of
// another type falls back to the one start-up made.
Cell* live(Slot s) {
    if (!ready()) return slot(s);
    const Cell* system = context::find_word_value(g_system_symbol, context::global());
    if (!system || !system->is(TYPE_OBJECT)) return slot(s);
    Cell* value = field_at(*system, s);
    return value && value->is(k_pieces[s].type) ? value : slot(s);
}

// ---------------------------------------------------------------- the reader

class Reader {
public:
    Reader(const char* text, size_t length) : m_p(text), m_end(text + length) {}

    // Appends the values up to the end (or to the "]" of a nested block).
    void read_into(Cell* blk, bool nested) {
        for (;;) {
            skip_blanks();
            if (m_p == m_end) {
                if (nested) fail();
                return;
            }
            char c = *m_p;
            if (c == ']') {
                if (!nested) fail();
                m_p++;
                return;
            }
            Cell* saved = stack::g_top;
            if (c == '[') {
                m_p++;
                Cell* inner = block::push_new(4);
                read_into(inner, true);
                block::append_cell(blk, inner);
            } else if (c == '"') {
                std::string text = read_string();
                block::append_cell(blk, string::load_c_text(text.data(), uint32_t(text.size()), 0));
            } else {
                Cell value = read_token();
                block::append_cell(blk, &value);
            }
            stack::g_top = saved;
        }
    }

private:
    [[noreturn]] static void fail() { runtime::fatal(ASSERTION_FAILED); }

    static bool delimiter(char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '[' || c == ']' ||
               c == '"' || c == ';';
    }

    void skip_blanks() {
        while (m_p < m_end) {
            if (*m_p == ';') {
                while (m_p < m_end && *m_p != '\n') m_p++;
            } else if (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r') {
                m_p++;
            } else {
                return;
            }
        }
    }

    // "..." with the escapes ^" ^^ and ^/ (line feed).
    std::string read_string() {
        std::string text;
        for (m_p++; m_p < m_end && *m_p != '"'; m_p++) {
            if (*m_p != '^') {
                text += *m_p;
                continue;
            }
            if (++m_p == m_end) fail();
            text += *m_p == '/' ? '\n' : *m_p;
        }
        if (m_p == m_end) fail();
        m_p++;
        return text;
    }

    // An integer, or a word as word, set-word (name:), get-word (:name),
    // lit-word ('name) or refinement (/name).
    Cell read_token() {
        const char* start = m_p;
        while (m_p < m_end && !delimiter(*m_p)) m_p++;
        std::string token(start, m_p);
        size_t digits = token.find_first_not_of("+-") == 1 ? 1 : 0;
        if (token.size() > digits && token.find_first_not_of("0123456789", digits) == std::string::npos)
            return integer_cell(int32_t(std::stol(token)));
        uint32_t type = TYPE_WORD;
        if (token[0] == ':') {
            type = TYPE_GET_WORD;
            token.erase(0, 1);
        } else if (token[0] == '\'') {
            type = TYPE_LIT_WORD;
            token.erase(0, 1);
        } else if (token[0] == '/' && token.size() > 1) {
            type = TYPE_REFINEMENT;
            token.erase(0, 1);
        } else if (token.back() == ':') {
            type = TYPE_SET_WORD;
            token.pop_back();
        }
        if (token.empty() || token.find(':') != std::string::npos) fail();
        return make_cell(type, 0, symbol::make(token.c_str()), context::NO_INDEX);
    }

    const char* m_p;
    const char* m_end;
};

// ---------------------------------------------------------------- building

Cell word_named(const char* name) {
    return make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
}

bool word_is(const Cell& cell, const char* name) {
    return cell.is(TYPE_WORD) && symbol::canonical(cell.data2) == symbol::canonical(symbol::make(name));
}

// The one value a text in the data notation holds.
Cell parsed(const char* text) {
    Cell* blk = load(text, std::strlen(text));
    if (block::length_from_head(blk) != 1) runtime::fatal(ASSERTION_FAILED);
    Cell value = *block::cell_at(blk, 0);
    stack::pop(1);
    return value;
}

// Each category: code, type (its title), then one field per id holding its
// template, all in catalogue order.
void build_catalog() {
    Cell* saved = stack::g_top;
    Cell* errors = object::init_empty(stack::push_cell(), CATEGORY_COUNT);
    *slot(CATALOG_ERRORS) = *errors;  // reachable from the root from here on
    for (uint32_t c = 0; c < CATEGORY_COUNT; c++) {
        Cell* category = object::init_empty(stack::push_cell(), 2);
        NodeId context = category->data1;
        Cell name = word_named("code"), code = integer_cell(int32_t(c * 100));
        context::put_value(context, &name, &code);
        name = word_named("type");
        const char* text = k_categories[c].title;
        Cell title = *string::load_c_text(text, uint32_t(std::strlen(text)), 0);
        context::put_value(context, &name, &title);
        for (uint32_t e = 0; e < uint32_t(ErrorId::count_); e++) {
            const ErrorInfo& info = error_info(ErrorId(e));
            if (info.category != c) continue;
            name = word_named(info.id_name);
            Cell message = parsed(info.message);
            context::put_value(context, &name, &message);
        }
        object::set_class(category, object::new_class_id());
        name = word_named(k_categories[c].name);
        context::put_value(errors->data1, &name, category);
        stack::pop(1);
    }
    object::set_class(errors, object::new_class_id());
    *slot(CATALOG_ERRORS) = *errors;
    g_catalog = errors->data1;
    stack::g_top = saved;
}

void build_from_data() {
    Cell* saved = stack::g_top;
    Cell* spec = load(k_data, sizeof k_data - 1);
    const Cell system = *build_object(spec);
    *slot(SYSTEM) = system;
    Cell* errors = field_at(system, CATALOG_ERRORS);
    if (!errors) runtime::fatal(ASSERTION_FAILED);
    *errors = *slot(CATALOG_ERRORS);
    for (uint32_t s = STANDARD; s < SLOT_COUNT; s++) {
        const Cell* piece = field_at(system, Slot(s));
        if (!piece || !piece->is(k_pieces[s].type)) runtime::fatal(ASSERTION_FAILED);
        *slot(Slot(s)) = *piece;
    }
    Cell word = *word::make_global("system");
    word::set_value(&word, &system);
    stack::g_top = saved;
}

}  // namespace

Cell* load(const char* text, size_t length) {
    Cell* blk = block::push_new(8);
    Reader(text, length).read_into(blk, false);
    return blk;
}

// construct gives every field its constant; the fields written make object!
// [...] then get their nested objects.
Cell* build_object(const Cell* spec_cell) {
    const Cell spec = *spec_cell;
    Cell* result = object::init_empty(stack::push_cell(), 4);
    object::construct_words(result->data1, &spec, false);
    int32_t n = block::length_from_start(&spec);
    for (int32_t i = 0; i < n; i++) {
        const Cell field = *block::cell_at(&spec, i);
        if (!field.is(TYPE_SET_WORD)) continue;
        int32_t j = i;
        while (j < n && block::cell_at(&spec, j)->is(TYPE_SET_WORD)) j++;
        if (j + 2 >= n || !word_is(*block::cell_at(&spec, j), "make") ||
            !word_is(*block::cell_at(&spec, j + 1), "object!") ||
            !block::cell_at(&spec, j + 2)->is(TYPE_BLOCK))
            continue;
        const Cell nested_spec = *block::cell_at(&spec, j + 2);
        Cell* nested = build_object(&nested_spec);
        context::put_value(result->data1, &field, nested);
        stack::pop(1);
    }
    object::set_class(result, object::new_class_id());
    return result;
}

void init() {
    g_catalog = 0;
    g_system_symbol = symbol::make("system");
    for (uint32_t s = 0; s < SLOT_COUNT; s++)
        for (uint32_t i = 0; i < PATH_LENGTH; i++)
            g_piece_symbols[s][i] = k_pieces[s].path[i] ? symbol::make(k_pieces[s].path[i]) : 0;
    Cell* root = symbols::root_block();
    g_first = block::length_from_start(root);
    for (uint32_t i = 0; i < SLOT_COUNT; i++) *support::append_cell(root) = shared_none_cell;
    build_catalog();
    build_from_data();
}

bool ready() {
    if (!g_catalog || !symbols::ready()) return false;
    Cell* root = symbols::root_block();
    if (block::length_from_start(root) < g_first + int32_t(SLOT_COUNT)) return false;
    const Cell* catalog = slot(CATALOG_ERRORS);
    return catalog->is(TYPE_OBJECT) && catalog->data1 == g_catalog;
}

Cell* startup_system() { return slot(SYSTEM); }
Cell* catalog_errors() { return live(CATALOG_ERRORS); }
Cell* standard() { return live(STANDARD); }
Cell* standard_error() { return live(STANDARD_ERROR); }
Cell* standard_port() { return live(STANDARD_PORT); }
Cell* standard_url_parts() { return live(STANDARD_URL_PARTS); }
Cell* locale_months() { return live(LOCALE_MONTHS); }
Cell* locale_currencies() { return live(LOCALE_CURRENCIES); }
Cell* currency_list() { return live(CURRENCY_LIST); }
Cell* options_money_digits() { return live(MONEY_DIGITS); }
Cell* options_float() { return live(OPTIONS_FLOAT); }

}  // namespace zun::system_data
