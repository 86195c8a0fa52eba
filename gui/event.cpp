#include "gui/event.hpp"

#include <cstring>

#include "core/collector.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "gui/event_internal.hpp"
#include "gui/event_os.hpp"
#include "interpreter/stack.hpp"
#include "startup/boot_texts.hpp"

namespace zun::event {

namespace {

constexpr const char* k_type_names[TYPE_CODES] = {
    "down",    "up",        "mid-down", "mid-up",   "alt-down",  "alt-up",    "aux-down",
    "aux-up",  "click",     "dbl-click", "wheel",   "over",      "key",       "key-down",
    "key-up",  "ime",       "focus",    "unfocus",  "enter",     "zoom",      "pan",
    "rotate",  "two-tap",   "press-tap", "select",  "change",    "menu",      "close",
    "move",    "resize",    "moving",   "resizing", "time",      "drawing",   "scroll",
    "minimize", "maximize", "restore",
};

struct FlagWord {
    uint32_t bit;
    const char* name;
};
// In the order event/flags lists them; `command` only make accepts.
constexpr FlagWord k_flag_words[] = {
    {F_AWAY, "away"},         {F_DOWN, "down"},       {F_MID_DOWN, "mid-down"},
    {F_ALT_DOWN, "alt-down"}, {F_AUX_DOWN, "aux-down"}, {F_CONTROL, "control"},
    {F_SHIFT, "shift"},       {F_ALT, "alt"},         {F_COMMAND, "command"},
};
constexpr int LISTED_FLAGS = 8;

struct KeyWord {
    uint32_t code;
    const char* name;
};
constexpr KeyWord k_key_words[] = {
    {0x21, "page-up"},   {0x22, "page-down"},  {0x23, "end"},         {0x24, "home"},
    {0x25, "left"},      {0x26, "up"},         {0x27, "right"},       {0x28, "down"},
    {0x2D, "insert"},    {0x2E, "delete"},     {0x13, "pause"},       {0x91, "scroll-lock"},
    {0x70, "F1"},        {0x71, "F2"},         {0x72, "F3"},          {0x73, "F4"},
    {0x74, "F5"},        {0x75, "F6"},         {0x76, "F7"},          {0x77, "F8"},
    {0x78, "F9"},        {0x79, "F10"},        {0x7A, "F11"},         {0x7B, "F12"},
    {0xA0, "left-shift"}, {0xA1, "right-shift"}, {0xA2, "left-control"}, {0xA3, "right-control"},
    {0x14, "caps-lock"}, {0x90, "num-lock"},   {0xA4, "left-alt"},    {0xA5, "right-alt"},
    {0x5B, "left-command"}, {0x5C, "right-command"},
};

// The field words in field-number order.
constexpr sym::Name k_field_words[FIELD_COUNT] = {
    sym::type,       sym::face,       sym::window,     sym::offset,     sym::key,
    sym::picked,     sym::flags,      sym::away_q,     sym::down_q,     sym::mid_down_q,
    sym::alt_down_q, sym::aux_down_q, sym::ctrl_q,     sym::shift_q,    sym::orientation,
};
constexpr uint32_t k_predicate_bits[] = {F_AWAY,     F_DOWN,    F_MID_DOWN, F_ALT_DOWN,
                                         F_AUX_DOWN, F_CONTROL, F_SHIFT};

bool same_name(std::string_view a, const char* b) {
    size_t n = std::strlen(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; i++) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool named(const Cell* word, sym::Name name) {
    return symbol::canonical(word->data2) == symbol::canonical(sym::id(name));
}

// 1-15 for a field word, 0 for any other value.
int field_of(const Cell* element) {
    if (!word::any_word_type_q(element->type())) return 0;
    for (int i = 0; i < FIELD_COUNT; i++)
        if (named(element, k_field_words[i])) return i + 1;
    return 0;
}

uint32_t flag_bit(const Cell* word) {
    std::string_view name = symbol::name(word->data2);
    for (const FlagWord& f : k_flag_words)
        if (same_name(name, f.name)) return f.bit;
    return 0;
}

// The one flags block every event/flags answers, made once per runtime.
collector::Anchor g_flags_anchor;
Cell g_flags_block = make_cell(TYPE_NONE);

void mark_flags_block() {
    if (g_flags_anchor.current() && g_flags_block.is(TYPE_BLOCK))
        collector::mark_cells(&g_flags_block, &g_flags_block + 1);
}

Cell* flags_block() {
    if (!g_flags_anchor.current()) {
        static const bool marked = (collector::register_marker(mark_flags_block), true);
        (void)marked;
        g_flags_anchor.make();
        g_flags_block = make_cell(TYPE_NONE);
        block::make_at(&g_flags_block, 4);
    }
    return &g_flags_block;
}

[[noreturn]] void fire_not_event_type(const Cell* word) {
    support::fire_error(ErrorId::script_not_event_type, word);
}

uint32_t checked_type_code(const Cell* word) {
    uint32_t code = type_code(word);
    if (!code) fire_not_event_type(word);
    return code;
}

// A spec value: a bound word or a get-word stands for its value.
Cell spec_value(const Cell* value) {
    if ((value->is(TYPE_WORD) || value->is(TYPE_GET_WORD)) && value->data1)
        return *word::get_value(value);
    return *value;
}

// What make reads from a spec block.
struct MadeSpec {
    uint32_t code = 0;
    uint32_t bits = 0;
    bool has_values = false;
    Cell values[4] = {make_cell(TYPE_NONE), make_cell(TYPE_NONE), pair::make_value(0, 0),
                      integer_cell(0)};
};

void take_flags(const Cell* flags, uint32_t* bits) {
    const int32_t n = block::length_from_head(flags);
    for (int32_t i = 0; i < n; i++) {
        const Cell* c = block::cell_at(flags, block::head_index(flags) + i);
        if (c->is(TYPE_WORD)) *bits |= flag_bit(c);
    }
}

void take_field(MadeSpec& made, const Cell* key, const Cell& value) {
    if (named(key, sym::type)) {
        if (value.is(TYPE_WORD) || value.is(TYPE_LIT_WORD)) made.code = checked_type_code(&value);
    } else if (named(key, sym::key)) {
        if (value.is(TYPE_CHAR)) made.bits |= value.data2 & KEY_MASK;
    } else if (named(key, sym::flags)) {
        if (value.is(TYPE_BLOCK)) take_flags(&value, &made.bits);
    } else {
        int slot = -1;
        if (named(key, sym::face) && value.is(TYPE_OBJECT)) slot = 0;
        else if (named(key, sym::window) && value.is(TYPE_OBJECT)) slot = 1;
        else if (named(key, sym::offset) && (value.is(TYPE_PAIR) || value.is(TYPE_POINT2D))) slot = 2;
        else if (named(key, sym::picked) && value.is(TYPE_INTEGER)) slot = 3;
        if (slot < 0) return;
        made.values[slot] = value;
        made.has_values = true;
    }
}

// ---------------------------------------------------------------- routines

using routine::MachineResult;

MachineResult event_q(Cell* args) { return MachineResult{args[0].is(TYPE_EVENT) ? 1 : 0, 0.0}; }

MachineResult send_event_os_routine(Cell* args) {
    return MachineResult{send_event_os(&args[0], logic::get(&args[1]) == 1) ? 1 : 0, 0.0};
}

bool flag_in_q(const Cell* facet, const Cell* flag) {
    const uint32_t wanted = symbol::canonical(flag->data2);
    auto same = [&](const Cell* c) {
        return (c->is(TYPE_WORD) || c->is(TYPE_LIT_WORD)) && symbol::canonical(c->data2) == wanted;
    };
    if (facet->is(TYPE_WORD)) return symbol::canonical(facet->data2) == wanted;
    if (!facet->is(TYPE_BLOCK)) return false;
    const int32_t n = block::length_from_head(facet);
    for (int32_t i = 0; i < n; i++)
        if (same(block::cell_at(facet, block::head_index(facet) + i))) return true;
    return false;
}

MachineResult find_flag_q(Cell* args) {
    args[0] = logic::make_value(flag_in_q(&args[0], &args[1]));
    return MachineResult{};
}

struct RoutineEntry {
    const char* name;
    const char* spec;
    routine::Entry entry;
    int32_t return_type;
};
constexpr RoutineEntry k_routines[] = {
    {"event?", "\"Returns true if the value is this type\" value [any-type!] return: [logic!]",
     event_q, TYPE_LOGIC},
    {"send-event-os", "event [event!] queued? [logic!] return: [logic!]", send_event_os_routine,
     TYPE_LOGIC},
    {"find-flag?", "\"Checks a flag in a face object\" facet [any-type!] flag [word!]",
     find_flag_q, routine::NO_RETURN_TYPE},
};

void bind_routine(const RoutineEntry& r) {
    stack::StackScope scope;
    Cell* spec = stack::push_cell();
    boot_texts::load(spec, r.spec, std::strlen(r.spec));
    Cell* value = routine::push(spec, nullptr, routine::register_entry(r.entry), r.return_type, false);
    Cell word = *word::make_global(r.name);
    word::set_value(&word, value);
}

}  // namespace

// ---------------------------------------------------------------- words

const char* type_name(uint32_t code) {
    return code >= 1 && code <= TYPE_CODES ? k_type_names[code - 1] : nullptr;
}

uint32_t type_code(const Cell* word) {
    std::string_view name = symbol::name(word->data2);
    for (uint32_t i = 0; i < TYPE_CODES; i++)
        if (same_name(name, k_type_names[i])) return i + 1;
    return 0;
}

const char* special_key_name(uint32_t virtual_key) {
    for (const KeyWord& k : k_key_words)
        if (k.code == virtual_key) return k.name;
    return nullptr;
}

namespace detail {

Cell* push_word(const char* name) { return word::push_global(symbol::make(name)); }

Cell* push_flags(uint32_t payload3) {
    Cell* block = flags_block();
    block::set_tail_at(block, 0);
    for (int i = 0; i < LISTED_FLAGS; i++)
        if (payload3 & k_flag_words[i].bit) word::append_global(symbol::make(k_flag_words[i].name), block);
    return stack::push(block);
}

bool made_value(const Cell* event, int i, Cell* out) {
    if (!made_q(event) || !event->data2) return false;
    *out = memory::buffer_of(event->data2)->head_cell()[i];
    return true;
}

}  // namespace detail

Cell* push_field(const Cell* event, int field) {
    const uint32_t code = event->data1, payload3 = event->data3;
    // A menu event's payload 3 is an item id, not flags.
    if (field >= FIELD_FLAGS && field <= FIELD_SHIFT_Q && code == MENU)
        return field == FIELD_FLAGS ? block::push_new(1) : logic::push(false);
    switch (field) {
        case FIELD_TYPE: {
            const char* name = type_name(code);
            return name ? detail::push_word(name) : stack::push(&shared_none_cell);
        }
        case FIELD_FLAGS: return detail::push_flags(payload3);
        case FIELD_AWAY_Q: case FIELD_DOWN_Q: case FIELD_MID_DOWN_Q: case FIELD_ALT_DOWN_Q:
        case FIELD_AUX_DOWN_Q: case FIELD_CTRL_Q: case FIELD_SHIFT_Q:
            return logic::push((payload3 & k_predicate_bits[field - FIELD_AWAY_Q]) != 0);
        default: break;
    }
    if (!made_q(event)) return detail::push_os_field(event, field);
    Cell value;
    switch (field) {
        case FIELD_FACE: case FIELD_WINDOW: case FIELD_OFFSET: case FIELD_PICKED: {
            const int i = field == FIELD_PICKED ? 3 : field - FIELD_FACE;
            if (!detail::made_value(event, i, &value)) value = MadeSpec{}.values[i];
            return stack::push(&value);
        }
        case FIELD_KEY:
            // All 21 bits: a made key above U+FFFF reads back whole.
            if (payload3 & KEY_MASK) return char_::push(payload3 & KEY_MASK);
            return stack::push(&shared_none_cell);
        default:
            return stack::push(&shared_none_cell);
    }
}

// ---------------------------------------------------------------- actions

Cell* make(Cell*, Cell* spec, int) {
    MadeSpec made;
    if (spec->is(TYPE_BLOCK)) {
        const int32_t n = block::length_from_head(spec), head = block::head_index(spec);
        for (int32_t i = 0; i + 1 < n; i += 2) {
            const Cell key = *block::cell_at(spec, head + i);
            if (!word::any_word_type_q(key.type())) continue;
            const Cell value = spec_value(block::cell_at(spec, head + i + 1));
            take_field(made, &key, value);
        }
    }
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_EVENT | MADE_FLAG, made.code, 0, made.bits);
    if (made.has_values) {
        // The spec's values stay reachable through the spec while the block is made.
        Cell* values = block::push_new(4);
        for (const Cell& v : made.values) block::append_cell(values, &v);
        result->data2 = values->data2;
        stack::pop(1);
    }
    return result;
}

int form(Cell*, Cell* buffer, Cell*, int part) {
    string::append_c_string(buffer, "event");
    return part - 5;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

// Any two events are equal; they have no order.
int compare(Cell*, Cell* value2, int op) {
    if (!value2->is(TYPE_EVENT)) return COMPARE_UNCOMPARABLE;
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME:
        case COMP_FIND: case COMP_SORT: case COMP_CASE_SORT:
            return 0;
        default:
            return COMPARE_UNCOMPARABLE;
    }
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool, bool, bool) {
    const Cell* where = path ? path : &shared_none_cell;
    const int field = field_of(element);
    if (!value) {
        if (!field) support::fire_error(ErrorId::script_invalid_path, where, element);
        return push_field(parent, field);
    }
    if (field != FIELD_TYPE || !value->is(TYPE_WORD))
        support::fire_error(ErrorId::script_bad_path_set, where, element);
    parent->data1 = checked_type_code(value);
    return value;
}

Cell* pick(Cell* value, int index, Cell* index_cell) {
    int field = index;
    if (index_cell && word::any_word_type_q(index_cell->type())) {
        field = field_of(index_cell);
        if (!field) {
            const Cell event = *value;
            support::fire_error(ErrorId::script_cannot_use, index_cell, &event);
        }
    } else if (index < 1 || index > FIELD_COUNT) {
        const Cell n = index_cell ? *index_cell : integer_cell(index);
        support::fire_error(ErrorId::script_out_of_range, &n);
    }
    return push_field(value, field);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, E, E, own<A_FORM>(form), own<A_MOLD>(mold),
        /*  7 */ own<A_EVAL_PATH>(eval_path), E,
        /*  9 */ own<A_COMPARE>(compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, own<A_PICK>(pick), E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_EVENT, 0, "event!", slots);
}

void bind_routines() {
    // Made now, while start-up keeps its words: the type, flag and key words.
    for (const char* name : k_type_names) word::make_global(name);
    for (const FlagWord& f : k_flag_words) word::make_global(f.name);
    for (const KeyWord& k : k_key_words) word::make_global(k.name);
    reset_state();
    flags_block();
    for (const RoutineEntry& r : k_routines) bind_routine(r);
}

}  // namespace zun::event
