#include "datatypes/word.hpp"

#include <string>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::word {

namespace {
Cell* store(Cell* slot, const Cell& value) {
    *slot = value;
    return slot;
}

Cell* push_retyped(const Cell* cell, uint32_t type) {
    Cell* pushed = stack::push(cell);
    pushed->set_type(type);
    return pushed;
}

Cell global_word_of(uint32_t symbol) {
    Cell w = make_value(TYPE_WORD, context::global(), symbol, context::NO_INDEX);
    w.data3 = uint32_t(context::add_word(context::global(), &w));
    return w;
}

// Appends the written form; answers the characters added.
int append_name(Cell* buffer, uint32_t symbol) {
    std::string text(symbol::name(symbol));  // the name buffer may move as the string grows
    string::append_utf8(buffer, text.data(), uint32_t(text.size()));
    int chars = 0;
    for (unsigned char c : text) chars += (c & 0xC0) != 0x80;
    return chars;
}

int mold_affixed(const Cell* value, Cell* buffer, int part, const char* prefix, const char* suffix) {
    uint32_t symbol = value->data2;
    string::append_c_string(buffer, prefix);
    part -= append_name(buffer, symbol);
    string::append_c_string(buffer, suffix);
    return part - int(*prefix != 0) - int(*suffix != 0);
}

template <char P, char S>
int mold_as(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int part, int) {
    const char prefix[2] = {P, 0};
    const char suffix[2] = {S, 0};
    return mold_affixed(value, buffer, part, prefix, suffix);
}

[[noreturn]] void fire_bad_to(int type, const Cell* spec) {
    Cell target = make_cell(TYPE_DATATYPE, uint32_t(type));
    support::fire_error(ErrorId::script_bad_to_arg, &target, spec);
}

Cell word_of_datatype(const Cell* spec, int type) {
    uint32_t t = spec->data1;
    if (!registry::type_registered(t)) fire_bad_to(type, spec);
    if (const Cell* w = registry::g_name_table[t].word) return *w;
    return *make_global(registry::type_name(t));
}

bool literal_pair(uint32_t t1, uint32_t t2) {
    return (t1 == TYPE_WORD && t2 == TYPE_LIT_WORD) || (t1 == TYPE_LIT_WORD && t2 == TYPE_WORD);
}
}  // namespace

Cell* record_target(NodeId context, uint32_t index) {
    const Cell* record = context::cell_of(context);
    if (!record->data2) return nullptr;
    if (record->header & context::STACK_FLAG) return stack::values_cell(record->data2) + index;
    memory::SeriesBuffer* b = memory::buffer_of(record->data2);
    if (index >= b->used() / sizeof(Cell)) return nullptr;
    // Only an object's fields can have a change handler.
    if (context::kind_of(record) == context::OBJECT_KIND) {
        if (context::owner_of(context)->data3) return nullptr;
        context_word_at(context, index)->header |= context::CHANGED_MARK;
    }
    return b->cells() + index;
}

Cell* make_global(const char* name) { return make_global_from_symbol(symbol::make(name)); }

Cell* make_global_from_symbol(uint32_t symbol) {
    Cell* w = context::global_word(symbol, true, true);
    if (!symbols::keep_words()) return w;
    const Cell copy = *w;
    return store(support::append_cell(symbols::root_block()), copy);
}

Cell* init_global(uint32_t symbol, Cell* cell) {
    *cell = global_word_of(symbol);
    return cell;
}

Cell* append_global(uint32_t symbol, const Cell* block) {
    const Cell w = global_word_of(symbol);
    return store(support::append_cell(block), w);
}

Cell* append_global_name(const char* name, const Cell* block) {
    return append_global(symbol::make(name), block);
}

Cell* push_global(uint32_t symbol) {
    const Cell w = global_word_of(symbol);
    return stack::push(&w);
}

Cell* push_cell(const Cell* cell) { return stack::push(cell); }

Cell* push_context_word(NodeId context, uint32_t i) {
    return stack::push(context_word_at(context, i));
}

Cell* symbol_record(const Cell* word) { return symbol::get_record(word->data2); }

int32_t bind_to(NodeId context, Cell* word) {
    int32_t index = context::find_word(context, word->data2, true);
    if (index >= 0) {
        word->data1 = context;
        word->data3 = uint32_t(index);
    }
    return index;
}

Cell* set_value(Cell* word, const Cell* value) {
    return context::set_word_value(word, value, word->data1, true);
}

Cell* push_value(const Cell* word) {
    const Cell* value = get_value(word);
    if (value->is(TYPE_UNSET)) support::fire_error(ErrorId::script_no_value, word);
    return stack::push(value);
}

void set_from_args() {
    Cell* word = stack::argument(0);
    const Cell value = *stack::argument(1);
    if (value.is(TYPE_UNSET)) support::fire_error(ErrorId::script_need_value, word);
    set_value(word, &value);
    stack::set_result(&value);
}

// A string of its own: sharing the symbol's cached form would let a change to
// the string rename the symbol.
Cell* push_as_string(const Cell* word) {
    std::string text(symbol::name(word->data2));
    return string::load_c_text(text.data(), uint32_t(text.size()), 0);
}

uint32_t scan_name(const Cell* word) {
    // a copy: the symbol table may move while the lexer makes new words
    std::string text(symbol::name(word->data2));
    Cell* out = stack::push_cell();
    *out = make_cell(TYPE_NONE);
    lexer::Options options;
    options.one_value = true;
    uint32_t consumed = 0;
    lexer::transcode(out, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()), options,
                     &consumed);
    uint32_t type = out->type();
    stack::pop(1);
    return type;
}

namespace {
// Text becomes a word only when all of it scans as one word of the family.
Cell scan_word_text(const Cell* text) {
    Cell scanned = *support::scan_one_value(text);
    stack::pop(1);
    if (!any_word_type_q(scanned.type())) support::fire_error(ErrorId::script_invalid_chars, text);
    return scanned;
}

Cell named_by(const Cell* spec, int type) {
    uint32_t t = scan_name(spec);
    if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
        fire_bad_to(type, spec);
    Cell result = *spec;
    bind_to(context::global(), &result);
    return result;
}
}  // namespace

Cell* make(Cell*, Cell* spec, int type) {
    Cell result;
    switch (spec->type()) {
        case TYPE_DATATYPE:
            result = word_of_datatype(spec, type);
            break;
        case TYPE_LOGIC:
            result = context::resolve_symbol(0, sym::id(logic::get(spec) == 1 ? sym::true_ : sym::false_));
            break;
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
            result = *spec;
            break;
        case TYPE_STRING:
            result = scan_word_text(spec);
            break;
        case TYPE_CHAR: {
            uint8_t text[4];
            uint32_t n = unicode::encode_utf8_char(spec->data2, text);
            Cell* str = string::load_c_text(reinterpret_cast<const char*>(text), n, 0);
            result = scan_word_text(str);
            stack::pop(1);
            break;
        }
        case TYPE_REFINEMENT: case TYPE_ISSUE:
            result = named_by(spec, type);
            break;
        default:
            fire_bad_to(type, spec);
    }
    result.header = uint32_t(type);
    return stack::push(&result);
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    return part - append_name(buffer, value->data2);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part, int indent) {
    return mold_as<0, 0>(value, buffer, only, all, flat, arg, part, indent);
}

int compare(Cell* value1, Cell* value2, int op) {
    uint32_t t1 = value1->type(), t2 = value2->type();
    if ((t2 == TYPE_ISSUE && t1 != TYPE_ISSUE) || !any_word_type_q(t2)) return COMPARE_UNCOMPARABLE;
    uint32_t s1 = value1->data2, s2 = value2->data2;
    bool same_canonical = symbol::canonical(s1) == symbol::canonical(s2);
    switch (op) {
        case COMP_SAME:
            return s1 == s2 && value1->data1 == value2->data1 && t1 == t2 ? 0 : 1;
        case COMP_STRICT_LIT:
            if (literal_pair(t1, t2)) return s1 == s2 ? 0 : 1;
            return t1 == t2 && s1 == s2 ? 0 : 1;
        case COMP_STRICT_EQUAL:
            return t1 == t2 && s1 == s2 ? 0 : 1;
        case COMP_LOOSE_LIT:
            if (literal_pair(t1, t2)) return same_canonical ? 0 : 1;
            return t1 == t2 && same_canonical ? 0 : 1;
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND:
            return same_canonical ? 0 : 1;
        default:
            return symbol::compare_names(s1, s2, op);
    }
}

void index_q() {
    uint32_t index = stack::argument(0)->data3;
    Cell result = index == context::NO_INDEX ? make_cell(TYPE_NONE) : integer_cell(int32_t(index + 1));
    stack::set_result(&result);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, E, own<A_TO>(&make), own<A_FORM>(&form), own<A_MOLD>(&mold), E, E,
        /*  9 */ own<A_COMPARE>(&compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, own<A_INDEX_Q>(&index_q), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_WORD, TYPE_SYMBOL, "word!", slots);
}

}  // namespace zun::word

namespace zun::set_word {
Cell* push_from(const Cell* cell) { return word::push_retyped(cell, TYPE_SET_WORD); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), own<A_MOLD>(&word::mold_as<0, ':'>), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, inherit<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_SET_WORD, TYPE_WORD, "set-word!", slots);
}
}  // namespace zun::set_word

namespace zun::lit_word {
Cell* push_from(const Cell* cell) { return word::push_retyped(cell, TYPE_LIT_WORD); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), own<A_MOLD>(&word::mold_as<'\'', 0>), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, inherit<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_LIT_WORD, TYPE_WORD, "lit-word!", slots);
}
}  // namespace zun::lit_word

namespace zun::get_word {
Cell* push_from(const Cell* cell) { return word::push_retyped(cell, TYPE_GET_WORD); }

Cell* push_context_word(NodeId context, uint32_t i) {
    return word::push_retyped(word::context_word_at(context, i), TYPE_GET_WORD);
}

Cell* push_value(const Cell* word) { return stack::push(word::get_value(word)); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), own<A_MOLD>(&word::mold_as<':', 0>), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, inherit<A_INDEX_Q>(), E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_GET_WORD, TYPE_WORD, "get-word!", slots);
}
}  // namespace zun::get_word

namespace zun::refinement {
Cell* push_from(const Cell* cell) { return word::push_retyped(cell, TYPE_REFINEMENT); }

Cell* push_context_word(NodeId context, uint32_t i) {
    return word::push_retyped(word::context_word_at(context, i), TYPE_REFINEMENT);
}

Cell* append_from_cstring(const char* name) {
    const Cell r = word::make_value(TYPE_REFINEMENT, 0, symbol::make(name), context::NO_INDEX);
    return word::store(support::append_cell(symbols::root_block()), r);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), E, E, inherit<A_TO>(), inherit<A_FORM>(), own<A_MOLD>(&word::mold_as<'/', 0>), E, E,
        /*  9 */ inherit<A_COMPARE>(), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_REFINEMENT, TYPE_WORD, "refinement!", slots);
}
}  // namespace zun::refinement

namespace zun::issue {

namespace {
Cell issue_of(uint32_t symbol) {
    return word::make_value(TYPE_ISSUE, context::global(), symbol, context::NO_INDEX);
}

uint32_t symbol_of_char(uint32_t cp) {
    char text[4];
    size_t n;
    if (cp < 0x80) {
        text[0] = char(cp);
        n = 1;
    } else if (cp < 0x800) {
        text[0] = char(0xC0 | cp >> 6);
        text[1] = char(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        text[0] = char(0xE0 | cp >> 12);
        text[1] = char(0x80 | (cp >> 6 & 0x3F));
        text[2] = char(0x80 | (cp & 0x3F));
        n = 3;
    } else {
        text[0] = char(0xF0 | (cp >> 18 & 0x07));
        text[1] = char(0x80 | (cp >> 12 & 0x3F));
        text[2] = char(0x80 | (cp >> 6 & 0x3F));
        text[3] = char(0x80 | (cp & 0x3F));
        n = 4;
    }
    return symbol::make_from_buffer(text, n);
}
}  // namespace

Cell* push_from(const Cell* cell) { return word::push_retyped(cell, TYPE_ISSUE); }

Cell* init_from_cstring(Cell* cell, const char* name) {
    *cell = issue_of(symbol::make(name));
    return cell;
}

Cell* push_from_cstring(const char* name) {
    const Cell i = issue_of(symbol::make(name));
    if (symbols::keep_words()) return word::store(support::append_cell(symbols::root_block()), i);
    return stack::push(&i);
}

// Text becomes the issue's name as it stands, without scanning.
Cell* make(Cell* proto, Cell* spec, int type) {
    Cell result;
    if (spec->is(TYPE_STRING)) {
        result = issue_of(symbol::from_string(spec));
    } else if (spec->is(TYPE_CHAR)) {
        result = issue_of(symbol_of_char(spec->data2));
    } else if (word::any_word_type_q(spec->type())) {
        result = *spec;
    } else {
        result = *word::make(proto, spec, type);
        stack::pop(1);
    }
    result.header = TYPE_ISSUE;
    return stack::push(&result);
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_ISSUE)) return COMPARE_UNCOMPARABLE;
    return word::compare(value1, value2, op);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, E, own<A_TO>(&make), inherit<A_FORM>(), own<A_MOLD>(&word::mold_as<'#', 0>), E, E,
        /*  9 */ own<A_COMPARE>(&compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_ISSUE, TYPE_WORD, "issue!", slots);
}
}  // namespace zun::issue
