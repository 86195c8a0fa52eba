#include "startup/boot_values.hpp"

#include <initializer_list>

#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/stack.hpp"

namespace zun::boot_values {

namespace {
#include "boot_specs.inc"

constexpr int ASSERTION_FAILED = 98;
constexpr uint32_t ACTION_WORDS = ACTION_COUNT - 1;  // set-path has none
constexpr uint32_t TUPLE_LENGTH_SHIFT = 19;

// The value may lie on the value stack; the word is made first.
void set_global(const char* name, const Cell& value) {
    Cell word = *word::make_global(name);
    word::set_value(&word, &value);
}

bool named(const Cell& word, const char* name) {
    return symbol::canonical(word.data2) == symbol::canonical(symbol::make(name));
}

// The block that follows the set-word `name` at the top of the specs.
bool find_section(const Cell* specs, const char* name, Cell* section) {
    int32_t tail = block::length_from_start(specs);
    for (int32_t i = std::max(block::head_index(specs), 0); i + 1 < tail; i++) {
        const Cell key = *block::cell_at(specs, i);
        if (!key.is(TYPE_SET_WORD) || !named(key, name)) continue;
        *section = *block::cell_at(specs, i + 1);
        return section->is(TYPE_BLOCK);
    }
    return false;
}

// Each name: [spec] pair of the section with the table index of its native
// or action, by position. The section cell lies on the stack; its cells are
// read anew after each visit, which may allocate.
uint32_t visit_section(const Cell* section, uint32_t type, uint32_t limit, FunctionVisitor visit,
                       void* data) {
    uint32_t count = 0;
    int32_t i = std::max(block::head_index(section), 0);
    for (; i + 1 < block::length_from_start(section); i += 2) {
        const Cell name = *block::cell_at(section, i);
        const Cell spec = *block::cell_at(section, i + 1);
        if (!name.is(TYPE_SET_WORD) || !spec.is(TYPE_BLOCK) || count == limit)
            runtime::fatal(ASSERTION_FAILED);
        count++;
        uint32_t index = count;
        if (type == TYPE_ACTION && index >= uint32_t(A_SET_PATH)) index++;
        visit(data, name, type, index, spec);
    }
    return count;
}

// Makes the native! or action! and sets its word.
void bind_one(void*, const Cell& name, uint32_t type, uint32_t index, const Cell& spec) {
    Cell* value = native::push(type, &spec, index);
    native::record_own_spec(type, index, spec.data2);
    Cell word = *word::make_global_from_symbol(name.data2);
    word::set_value(&word, value);
    stack::pop(1);
}

Cell typeset_of(std::initializer_list<uint32_t> types) {
    Cell ts = make_cell(TYPE_TYPESET);
    typeset::clear(&ts);
    for (uint32_t t : types) typeset::add(&ts, t);
    return ts;
}

Cell unite(const Cell& a, const Cell& b) {
    return make_cell(TYPE_TYPESET, a.data1 | b.data1, a.data2 | b.data2, a.data3 | b.data3);
}

Cell tuple_of(std::initializer_list<uint8_t> bytes) {
    Cell t = make_cell(TYPE_TUPLE | uint32_t(bytes.size()) << TUPLE_LENGTH_SHIFT);
    uint8_t* to = reinterpret_cast<uint8_t*>(&t.data1);
    for (uint8_t b : bytes) *to++ = b;
    return t;
}

Cell char_of(uint32_t code_point) { return make_cell(TYPE_CHAR, 0, code_point); }

void bind_constants() {
    const Cell yes = logic::make_value(true), no = logic::make_value(false);
    set_global("on", yes);
    set_global("yes", yes);
    set_global("off", no);
    set_global("no", no);
    set_global("tab", char_of(9));
    set_global("cr", char_of(13));
    set_global("lf", char_of(10));
    set_global("newline", char_of(10));
    set_global("escape", char_of(27));
    set_global("slash", char_of('/'));
    set_global("space", char_of(32));
    set_global("sp", char_of(32));
    set_global("null", char_of(0));
    Cell* crlf = string::load_c_text("\r\n", 2, 0);
    set_global("crlf", *crlf);
    stack::pop(1);
    set_global("enter", char_of(13));
    set_global("dot", char_of('.'));
    set_global("comma", char_of(','));
    set_global("dbl-quote", char_of('"'));
    Cell pi = make_cell(TYPE_FLOAT);
    pi.set_double(3.141592653589793);
    set_global("pi", pi);
    set_global("Quolb", no);
    set_global("null-handle", make_cell(TYPE_HANDLE, 0, 0, 0xFFFFFFFF));
}

// Built as the prologue builds them: literals, then unions from the inside out.
void bind_typesets() {
    const Cell internal = typeset_of({TYPE_UNSET});
    const Cell external = typeset_of({TYPE_EVENT});
    const Cell number = typeset_of({TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT});
    const Cell planar = typeset_of({TYPE_PAIR, TYPE_POINT2D});
    const Cell any_point = typeset_of({TYPE_POINT2D, TYPE_POINT3D});
    const Cell scalar = unite(number, unite(any_point, typeset_of({TYPE_MONEY, TYPE_CHAR,
                                                                   TYPE_PAIR, TYPE_TUPLE,
                                                                   TYPE_TIME, TYPE_DATE})));
    const Cell any_word = typeset_of({TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD});
    const Cell all_word = unite(any_word, typeset_of({TYPE_REFINEMENT, TYPE_ISSUE}));
    const Cell any_list = typeset_of({TYPE_BLOCK, TYPE_PAREN, TYPE_HASH});
    const Cell any_path = typeset_of({TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH});
    const Cell any_block = unite(any_path, any_list);
    const Cell any_function =
        typeset_of({TYPE_NATIVE, TYPE_ACTION, TYPE_OP, TYPE_FUNCTION, TYPE_ROUTINE});
    const Cell any_object = typeset_of({TYPE_OBJECT, TYPE_ERROR, TYPE_PORT});
    const Cell any_string =
        typeset_of({TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF});
    const Cell series = unite(typeset_of({TYPE_BINARY, TYPE_IMAGE, TYPE_VECTOR}),
                              unite(any_block, any_string));
    const Cell immediate =
        unite(scalar, unite(all_word, typeset_of({TYPE_NONE, TYPE_LOGIC, TYPE_DATATYPE,
                                                  TYPE_TYPESET, TYPE_HANDLE, TYPE_DATE})));
    const Cell default_ = unite(
        series, unite(immediate,
                      unite(any_object, unite(external, unite(any_function,
                                                              typeset_of({TYPE_MAP,
                                                                          TYPE_BITSET}))))));
    const Cell any_type = unite(default_, internal);
    const struct {
        const char* name;
        const Cell& value;
    } typesets[] = {
        {"internal!", internal},     {"external!", external},   {"number!", number},
        {"planar!", planar},         {"any-point!", any_point}, {"scalar!", scalar},
        {"any-word!", any_word},     {"all-word!", all_word},   {"any-list!", any_list},
        {"any-path!", any_path},     {"any-block!", any_block}, {"any-function!", any_function},
        {"any-object!", any_object}, {"any-string!", any_string}, {"series!", series},
        {"immediate!", immediate},   {"default!", default_},    {"any-type!", any_type},
    };
    for (const auto& t : typesets) set_global(t.name, t.value);
}

// Column by column, as the colour table lists them.
void bind_colours() {
    static const struct {
        const char* name;
        uint8_t r, g, b;
    } colours[] = {
        {"aqua", 40, 100, 130},    {"beige", 255, 228, 196},  {"black", 0, 0, 0},
        {"blue", 0, 0, 255},       {"brick", 178, 34, 34},    {"brown", 139, 69, 19},
        {"coal", 64, 64, 64},      {"coffee", 76, 26, 0},     {"crimson", 220, 20, 60},
        {"cyan", 0, 255, 255},     {"forest", 0, 48, 0},      {"gold", 255, 205, 40},
        {"gray", 128, 128, 128},   {"green", 0, 255, 0},      {"ivory", 255, 255, 240},
        {"khaki", 179, 179, 126},  {"leaf", 0, 128, 0},       {"linen", 250, 240, 230},
        {"magenta", 255, 0, 255},  {"maroon", 128, 0, 0},     {"mint", 100, 136, 116},
        {"navy", 0, 0, 128},       {"oldrab", 72, 72, 16},    {"olive", 128, 128, 0},
        {"orange", 255, 150, 10},  {"papaya", 255, 80, 37},   {"pewter", 170, 170, 170},
        {"pink", 255, 164, 200},   {"purple", 128, 0, 128},   {"quolblue", 38, 58, 108},
        {"quolbor", 142, 128, 110}, {"red", 255, 0, 0},       {"sienna", 160, 82, 45},
        {"silver", 192, 192, 192}, {"sky", 164, 200, 255},    {"snow", 240, 240, 240},
        {"tanned", 222, 184, 135}, {"teal", 0, 128, 128},     {"violet", 72, 0, 90},
        {"water", 80, 108, 142},   {"wheat", 245, 222, 129},  {"white", 255, 255, 255},
        {"yello", 255, 240, 120},  {"yellow", 255, 255, 0},
    };
    for (const auto& c : colours) set_global(c.name, tuple_of({c.r, c.g, c.b}));
    const Cell clear = tuple_of({0, 0, 0, 255});
    set_global("transparent", clear);
    set_global("glass", clear);
}

bool function_q(const Cell* value) {
    switch (value->type()) {
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
            return true;
        default:
            return false;
    }
}
}  // namespace

void bind_datatype_words() {
    for (uint32_t t = TYPE_DATATYPE; t <= TYPE_EVENT; t++)
        if (registry::type_registered(t)) set_global(registry::type_name(t), make_cell(TYPE_DATATYPE, t));
}

Counts visit_functions(const Cell* specs, FunctionVisitor visit, void* data) {
    Counts counts;
    Cell* section = stack::push_cell();
    *section = make_cell(TYPE_NONE);
    if (find_section(specs, "natives", section))
        counts.natives = visit_section(section, TYPE_NATIVE, natives::NATIVE_COUNT, visit, data);
    if (find_section(specs, "actions", section))
        counts.actions = visit_section(section, TYPE_ACTION, ACTION_WORDS, visit, data);
    stack::pop(1);
    return counts;
}

Counts bind_functions(const Cell* specs) { return visit_functions(specs, bind_one, nullptr); }

uint64_t specs_key() { return boot_texts::key_of(boot_specs, boot_specs_size); }

void bind_prologue_values() {
    set_global("datatype!", make_cell(TYPE_DATATYPE, TYPE_DATATYPE));
    set_global("none", shared_none_cell);
    set_global("true", logic::make_value(true));
    set_global("false", logic::make_value(false));
    bind_constants();
    bind_typesets();
    bind_colours();
}

void bind_operators() {
    static const struct {
        const char* op;
        const char* function;
    } operators[] = {
        {"+", "add"},          {"-", "subtract"},        {"*", "multiply"},
        {"/", "divide"},       {"//", "modulo"},         {"%", "remainder"},
        {"=", "equal?"},       {"<>", "not-equal?"},     {"==", "strict-equal?"},
        {"=?", "same?"},       {"<", "lesser?"},         {">", "greater?"},
        {"<=", "lesser-or-equal?"}, {">=", "greater-or-equal?"}, {"<<", "shift-left"},
        {">>", "shift-right"}, {">>>", "shift-logical"}, {"**", "power"},
        {"and", "and~"},       {"or", "or~"},            {"xor", "xor~"},
    };
    for (const auto& o : operators) {
        const Cell* value = context::find_word_value(symbol::make(o.function), context::global());
        if (!value || !function_q(value)) continue;
        Cell function = *value;
        Cell* made = op::make(nullptr, &function, TYPE_OP);
        set_global(o.op, *made);
        stack::pop(1);
    }
}

// The boot data bound the natives and actions; their specs are kept for
// good in one root block cell, as natives made later take them by index.
void keep_loaded_specs() {
    Cell* specs = stack::push_cell();
    block::make_at(specs, natives::NATIVE_COUNT + ACTION_WORDS);
    uint32_t bound = 0;
    for (uint32_t type : {uint32_t(TYPE_NATIVE), uint32_t(TYPE_ACTION)}) {
        const uint32_t limit = type == TYPE_NATIVE ? natives::NATIVE_COUNT : uint32_t(ACTION_COUNT);
        for (uint32_t i = 1; i <= limit; i++) {
            const NodeId spec = native::own_spec(type, i);
            if (!spec) continue;
            *support::append_cell(specs) = make_cell(TYPE_BLOCK, 0, spec, 0);
            bound++;
        }
    }
    if (bound != natives::NATIVE_COUNT + ACTION_WORDS) runtime::fatal(ASSERTION_FAILED);
    *support::append_cell(symbols::root_block()) = *specs;
    stack::pop(1);
}

void init() {
    bind_datatype_words();
    if (boot_texts::loaded()) {
        keep_loaded_specs();
        bind_prologue_values();
        bind_operators();
        return;
    }
    Cell* specs = stack::push_cell();
    boot_texts::load(specs, boot_specs, boot_specs_size);
    // Kept for good: natives and actions made later take their spec from it.
    *support::append_cell(symbols::root_block()) = *specs;
    Counts counts = bind_functions(specs);
    if (counts.natives != natives::NATIVE_COUNT || counts.actions != ACTION_WORDS)
        runtime::fatal(ASSERTION_FAILED);
    stack::pop(1);
    bind_prologue_values();
    bind_operators();
}

}  // namespace zun::boot_values
