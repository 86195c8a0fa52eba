// Datatype registry: the name table and the action table every dispatcher reads,
// the registration of all datatypes in order, and the datatype! type itself.
#include "datatypes/registry.hpp"

#include <cstring>

#include "core/runtime.hpp"
#include "core/support.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/error.hpp"
#include "datatypes/float.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/money.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/port.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/bitset.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/series/image.hpp"
#include "services/image_record.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/series/path.hpp"
#include "datatypes/series/series.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/tag.hpp"
#include "datatypes/series/url.hpp"
#include "datatypes/series/vector.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "gui/event.hpp"
#include "interpreter/stack.hpp"

namespace zun {

void not_done_raise() { support::fire_error(ErrorId::internal_not_done); }

}  // namespace zun

namespace zun::registry {

AnyHandler g_action_table[TYPE_TABLE_SIZE * ROW];
NameEntry g_name_table[TYPE_TABLE_SIZE];
uint32_t g_top_type_id = 0;

namespace {
constexpr int ASSERTION_FAILED = 98;

SlotEntry::Kind g_kinds[TYPE_TABLE_SIZE][ACTION_COUNT];
bool g_registered[TYPE_TABLE_SIZE];
NameWordMaker g_name_word_maker = nullptr;

// A table that does not say what it means is a programming error: stop at
// start-up rather than leave a slot that would crash when dispatched.
void check_slots(uint32_t parent, const SlotTable& slots) {
    for (int s = 1; s <= ACTION_COUNT; s++) {
        const SlotEntry& e = slots[s - 1];
        if (e.kind == SlotEntry::EMPTY) continue;
        if (e.slot != s) runtime::fatal(ASSERTION_FAILED);
        if (e.kind == SlotEntry::OWN && !e.fn) runtime::fatal(ASSERTION_FAILED);
        if (e.kind == SlotEntry::INHERIT && !g_registered[parent])
            runtime::fatal(ASSERTION_FAILED);
    }
}

void set_name(uint32_t type, const char* name) {
    NameEntry& entry = g_name_table[type];
    entry.name = name;
    entry.length = uint32_t(std::strlen(name)) - 1;
    entry.word = g_name_word_maker ? g_name_word_maker(name) : nullptr;
}
}  // namespace

void register_type(uint32_t type, uint32_t parent, const char* name, const SlotTable& slots) {
    bool bad_ids = type == 0 || type >= uint32_t(TYPE_TABLE_SIZE) || parent == type ||
                   parent >= uint32_t(TYPE_TABLE_SIZE);
    if (bad_ids || !name || !*name) runtime::fatal(ASSERTION_FAILED);
    check_slots(parent, slots);
    if (type > g_top_type_id) g_top_type_id = type;
    set_name(type, name);
    AnyHandler* row = &g_action_table[type * ROW];
    const AnyHandler* parent_row = &g_action_table[parent * ROW];
    for (int i = 0; i < ACTION_COUNT; i++) {
        const SlotEntry& e = slots[i];
        row[i] = e.kind == SlotEntry::INHERIT ? parent_row[i] : e.fn;
        g_kinds[type][i] = e.kind;
    }
    g_registered[type] = true;
}

bool type_registered(uint32_t type) {
    return type < uint32_t(TYPE_TABLE_SIZE) && g_registered[type];
}

const SlotEntry::Kind* slot_kinds(uint32_t type) {
    return type_registered(type) ? g_kinds[type] : nullptr;
}

void make_name_words(NameWordMaker make) {
    g_name_word_maker = make;
    for (uint32_t t = 1; t <= g_top_type_id; t++)
        if (g_registered[t]) g_name_table[t].word = make(g_name_table[t].name);
}

// Parents always come before their children.
void register_all() {
    datatype::register_type();
    unset::register_type();
    none::register_type();
    logic::register_type();
    series::register_type();
    block::register_type();
    string::register_type();
    binary::register_type();
    integer::register_type();
    symbol::register_type();
    context::register_type();
    word::register_type();
    lit_word::register_type();
    set_word::register_type();
    get_word::register_type();
    refinement::register_type();
    char_::register_type();
    native::register_type();
    action::register_type();
    op::register_type();
    path::register_type();
    lit_path::register_type();
    set_path::register_type();
    get_path::register_type();
    function::register_type();
    routine::register_type();
    paren::register_type();
    issue::register_type();
    url::register_type();
    file::register_type();
    object::register_type();
    bitset::register_type();
    triple::register_type();
    float_::register_type();
    typeset::register_type();
    error::register_type();
    vector::register_type();
    map::register_type();
    hash::register_type();
    pair::register_type();
    percent::register_type();
    tuple::register_type();
    time_::register_type();
    tag::register_type();
    email::register_type();
    handle::register_type();
    date::register_type();
    port::register_type();
    money::register_type();
    ref::register_type();
    point2D::register_type();
    point3D::register_type();
    // The imaging set-up comes before image! registers.
    image_codec::init_factory();
    image::register_type();
    event::register_type();
}

}  // namespace zun::registry

namespace zun::datatype {

namespace {
using string::append_bytes;

// An id that names no registered type (a damaged cell) forms as nothing.
const registry::NameEntry& name_of(const Cell* value) {
    static const registry::NameEntry none{"", 0, nullptr};
    uint32_t type = value->data1;
    return registry::type_registered(type) ? registry::g_name_table[type] : none;
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    const registry::NameEntry& name = name_of(value);
    append_bytes(buffer, reinterpret_cast<const uint8_t*>(name.name), name.length);
    return part - int(name.length);
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int part, int) {
    const registry::NameEntry& name = name_of(value);
    uint32_t length = name.name[0] ? name.length + 1 : 0;
    if (all) string::append_c_string(buffer, "#(");
    append_bytes(buffer, reinterpret_cast<const uint8_t*>(name.name), length);
    if (all) string::append_c_string(buffer, ")");
    return part - int(length) - (all ? 3 : 0);
}

int compare(Cell* value1, Cell* value2, int op) {
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SAME:
        case COMP_FIND:
            return value2->is(TYPE_DATATYPE) && value2->data1 == value1->data1 ? 0 : 1;
        default:
            return COMPARE_UNCOMPARABLE;
    }
}
}  // namespace

void register_type() {
    registry::register_type(
        TYPE_DATATYPE, 0, "datatype!",
        make_slots(E, E, E, E, own<A_FORM>(form), own<A_MOLD>(mold), E, E,  // 1-10
                   own<A_COMPARE>(compare), E,
                   E, E, E, E, E, E, E, E, E, E,  // 11-20
                   E, E, E, E, E, E, E, E, E, E,  // 21-30
                   E, E, E, E, E, E, E, E, E, E,  // 31-40
                   E, E, E, E, E, E, E, E, E, E,  // 41-50
                   E, E, E, E, E, E, E, E, E, E,  // 51-60
                   E, E));
}

Cell* push(uint32_t type) { return init_cell(stack::push_cell(), type); }

Cell* append_to_block(const Cell* block, uint32_t type) {
    return init_cell(support::append_cell(block), type);
}

}  // namespace zun::datatype
