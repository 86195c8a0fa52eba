#include "interpreter/actions.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/port.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun::actions {

natives::Entry g_dispatch_table[ACTION_COUNT];

namespace {
constexpr int ASSERTION_FAILED = 98;
constexpr int BAD_MODE = 101;
constexpr int FIRST_PORT_SLOT = A_APPEND;

PortActorReader g_port_actor_reader = nullptr;

// arg3 is the spec word of the action's first parameter; before symbols exist
// there is no spec to read it from.
[[noreturn]] void fire_expect_arg(uint32_t type) {
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, type);
    Cell parameter = symbols::ready() ? function::nth_parameter(0) : shared_none_cell;
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &parameter);
}

AnyHandler native_port_handler(const Cell* port, int slot) {
    const AnyHandler* table = g_port_actor_reader(port);
    if (!table) return nullptr;
    AnyHandler fn = table[slot - FIRST_PORT_SLOT];
    if (!fn) support::fire_error(ErrorId::access_no_port_action);
    return fn;
}

// A copy of the path from its head through element `position`, left on the
// stack so it stays rooted while the error is made.
Cell* push_cut_path(const Cell& path, int position) {
    Cell* cut = stack::push_cell();
    *cut = make_cell(TYPE_UNSET);
    uint32_t head = path.data1;
    NodeId source = path.data2;
    uint32_t length = memory::buffer_of(source)->used() / sizeof(Cell);
    uint32_t n = head < length ? std::min<uint32_t>(length - head, uint32_t(position) + 1) : 0;
    NodeId node = memory::alloc_cells(std::max<uint32_t>(n, 1));
    // Re-read the source after the allocation: its buffer may have moved.
    const Cell* from = memory::buffer_of(source)->head_cell() + head;
    memory::SeriesBuffer* target = memory::buffer_of(node);
    std::copy(from, from + n, target->head_cell());
    target->tail = target->head + n * uint32_t(sizeof(Cell));
    *cut = make_cell(path.type(), 0, node, 0);
    return cut;
}

bool valid_compare_mode(int mode) {
    return (mode >= COMP_EQUAL && mode <= COMP_GREATER_EQUAL) ||
           (mode >= COMP_SAME && mode <= COMP_FIND);
}

bool ordering_mode(int mode) { return mode >= COMP_LESSER && mode <= COMP_GREATER_EQUAL; }

int order_of(uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; }
int order_of(int32_t a, int32_t b) { return a < b ? -1 : a > b ? 1 : 0; }
}  // namespace

void register_(int count, const natives::Entry* entries) {
    if (count < 0 || count > ACTION_COUNT) runtime::fatal(ASSERTION_FAILED);
    std::copy(entries, entries + count, g_dispatch_table);
}

namespace {
// A port whose actor is an object takes the action's own arguments, before
// any entry reads them; a native actor goes through the entry to its table.
template <natives::Entry F, int S> Flow port_first(int check, const int32_t* r) {
    if (stack::g_base->is(TYPE_PORT) && !port::native_actor_table(stack::g_base)) [[unlikely]]
        return port::forward_action(S, r);
    return F(check, r);
}
}  // namespace

// Slot order; set-path has no dispatcher.
void init_table() {
    static const natives::Entry entries[ACTION_COUNT] = {
        make,      random_,  reflect,  to,       form,      mold,     eval_path, nullptr,
        compare,   absolute, add,      divide,   multiply,  negate,   power,     remainder,
        round_,    subtract, even_q,   odd_q,    and_,      complement, or_,     xor_,
        port_first<append, A_APPEND>,     port_first<at, A_AT>,
        port_first<back, A_BACK>,         port_first<change, A_CHANGE>,
        port_first<clear, A_CLEAR>,       port_first<copy, A_COPY>,
        port_first<find, A_FIND>,         port_first<head, A_HEAD>,
        port_first<head_q, A_HEAD_Q>,     port_first<index_q, A_INDEX_Q>,
        port_first<insert, A_INSERT>,     port_first<length_q, A_LENGTH_Q>,
        port_first<move, A_MOVE>,         port_first<next, A_NEXT>,
        port_first<pick, A_PICK>,         port_first<poke, A_POKE>,
        port_first<put, A_PUT>,           port_first<remove_, A_REMOVE>,
        port_first<reverse, A_REVERSE>,   port_first<select_, A_SELECT>,
        port_first<sort, A_SORT>,         port_first<skip, A_SKIP>,
        port_first<swap, A_SWAP>,         port_first<tail, A_TAIL>,
        port_first<tail_q, A_TAIL_Q>,     port_first<take, A_TAKE>,
        port_first<trim, A_TRIM>,         port_first<create, A_CREATE>,
        port_first<close_, A_CLOSE>,      port_first<delete_, A_DELETE>,
        port_first<modify, A_MODIFY>,     port_first<open_, A_OPEN>,
        open_q,                           port_first<query, A_QUERY>,
        port_first<read_, A_READ>,        port_first<rename_, A_RENAME>,
        port_first<update, A_UPDATE>,     port_first<write_, A_WRITE>,
    };
    register_(ACTION_COUNT, entries);
}

void set_port_actor_reader(PortActorReader reader) { g_port_actor_reader = reader; }

AnyHandler lookup(uint32_t type, const Cell* value, int slot) {
    if (value->is(TYPE_PORT) && slot >= FIRST_PORT_SLOT && g_port_actor_reader)
        if (AnyHandler fn = native_port_handler(value, slot)) return fn;
    AnyHandler fn = registry::entry(type, slot);
    if (!fn) fire_expect_arg(type);
    return fn;
}

AnyHandler lookup_for_argument(int slot) { return lookup_by_value(stack::argument(0), slot); }

AnyHandler lookup_or_error(const Cell* value, int slot, const Cell* path, const Cell* element,
                           int position) {
    AnyHandler fn = registry::entry(value->type(), slot);
    if (fn) return fn;
    Cell datatype = make_cell(TYPE_DATATYPE, value->type());
    if (!path) support::fire_error(ErrorId::script_bad_path_type2, element, &datatype);
    Cell whole = *path;  // the path cell may lie in a buffer the copy moves
    Cell* cut = push_cut_path(whole, position);
    support::fire_error(ErrorId::script_bad_path_type, &whole, &datatype, cut);
}

int32_t index_argument() {
    const Cell* index = stack::argument(1);
    switch (index->type()) {
        case TYPE_INTEGER:
        case TYPE_CHAR:
            return int32_t(index->data2);
        case TYPE_LOGIC:
            return logic::get(index) == 1 ? 1 : 2;
        default:
            return 0;
    }
}

// Uncomparable values count as unequal under every equality mode, not-equal
// included; only the orderings raise.
bool compare(Cell* value1, Cell* value2, int mode) {
    if (!valid_compare_mode(mode)) runtime::fatal(BAD_MODE);
    int order = handler_of<A_COMPARE>(value1)(value1, value2, mode);
    if (order == COMPARE_UNCOMPARABLE && ordering_mode(mode))
        support::fire_error(ErrorId::script_invalid_compare, value1, value2);
    switch (mode) {
        case COMP_NOT_EQUAL: return order != 0;
        case COMP_LESSER: return order < 0;
        case COMP_LESSER_EQUAL: return order <= 0;
        case COMP_GREATER: return order > 0;
        case COMP_GREATER_EQUAL: return order >= 0;
        default: return order == 0;
    }
}

// Logic values and the function types are ordered here when both values have
// the same type; any other pair goes to the first value's handler.
int compare_direct(Cell* value1, Cell* value2, int mode) {
    auto fn = handler_of<A_COMPARE>(value1);
    if (value1->type() == value2->type()) {
        switch (value1->type()) {
            case TYPE_LOGIC:
                return int(logic::true_value_q(value1)) - int(logic::true_value_q(value2));
            case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP:
                return order_of(int32_t(value1->data1), int32_t(value2->data1));
            case TYPE_FUNCTION: case TYPE_ROUTINE:
                return order_of(value1->data3, value2->data3);
            default:
                break;
        }
    }
    return fn(value1, value2, mode);
}

int form_direct(Cell* value, Cell* buffer, Cell* part_arg, int limit) {
    return handler_of<A_FORM>(value)(value, buffer, part_arg, limit);
}

int mold_direct(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part_arg,
                int limit, int indent) {
    return handler_of<A_MOLD>(value)(value, buffer, only, all, flat, part_arg, limit, indent);
}


void compare_arguments(int mode) {
    bool holds = compare(stack::argument(0), stack::argument(1), mode);
    *stack::g_base = logic::make_value(holds);
}

// ---------------------------------------------------------------- direct forms

namespace {
template <int S> SlotFnT<S> handler_for(const Cell* value) { return handler_of<S>(value); }

// make and to: a datatype! first argument chooses the row of the type it names.
template <int S> Cell* typed_direct(Cell* type, Cell* spec) {
    uint32_t t = type->is(TYPE_DATATYPE) ? type->data1 : type->type();
    auto fn = reinterpret_cast<SlotFnT<S>>(lookup(t, type, S));
    return fn(type, spec, int(t));
}
}  // namespace

Cell* make_direct(Cell* type, Cell* spec) { return typed_direct<A_MAKE>(type, spec); }
Cell* to_direct(Cell* type, Cell* spec) { return typed_direct<A_TO>(type, spec); }
void random_direct(Cell* value, bool seed, bool secure, bool only) {
    handler_for<A_RANDOM>(value)(value, seed, secure, only);
}
void reflect_direct(Cell* value, uint32_t field_symbol) {
    handler_for<A_REFLECT>(value)(value, field_symbol);
}
Cell* eval_path_direct(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                       Cell* previous, int index, bool case_, bool get, bool last, bool notify) {
    return handler_for<A_EVAL_PATH>(parent)(parent, element, value, path, grandparent, previous,
                                            index, case_, get, last, notify);
}
void negate_direct(Cell* number) { handler_for<A_NEGATE>(number)(number); }
void round_direct(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling) {
    handler_for<A_ROUND>(n)(n, scale, even, down, half_down, floor, ceiling, half_ceiling);
}
bool even_q_direct(Cell* number) { return handler_for<A_EVEN_Q>(number)(number); }
bool odd_q_direct(Cell* number) { return handler_for<A_ODD_Q>(number)(number); }
Cell* complement_direct(Cell* value) { return handler_for<A_COMPLEMENT>(value)(value); }
Cell* append_direct(Cell* series, Cell* value, int part, bool only, int dup, bool is_append) {
    return handler_for<A_APPEND>(series)(series, value, part, only, dup, is_append);
}
Cell* insert_direct(Cell* series, Cell* value, int part, bool only, int dup, bool is_append) {
    return handler_for<A_INSERT>(series)(series, value, part, only, dup, is_append);
}
Cell* change_direct(Cell* series, Cell* value, int part, bool only, int dup) {
    return handler_for<A_CHANGE>(series)(series, value, part, only, dup);
}
Cell* clear_direct(Cell* series) { return handler_for<A_CLEAR>(series)(series); }
Cell* copy_direct(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    return handler_for<A_COPY>(value)(value, result, part, deep, types);
}
Cell* find_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                  bool match) {
    return handler_for<A_FIND>(series)(series, value, part, only, case_, same, any, with, skip,
                                       last, reverse, tail, match);
}
int length_q_direct(Cell* series) { return handler_for<A_LENGTH_Q>(series)(series); }
Cell* move_direct(Cell* origin, Cell* target, Cell* part) {
    return handler_for<A_MOVE>(origin)(origin, target, part);
}
Cell* pick_direct(Cell* series, int index, Cell* index_cell) {
    return handler_for<A_PICK>(series)(series, index, index_cell);
}
Cell* poke_direct(Cell* series, int index, Cell* value, Cell* index_cell) {
    return handler_for<A_POKE>(series)(series, index, value, index_cell);
}
Cell* put_direct(Cell* series, Cell* key, Cell* value, bool case_) {
    return handler_for<A_PUT>(series)(series, key, value, case_);
}
Cell* remove_direct(Cell* series, Cell* part, Cell* key) {
    return handler_for<A_REMOVE>(series)(series, part, key);
}
Cell* reverse_direct(Cell* series, Cell* part, Cell* skip) {
    return handler_for<A_REVERSE>(series)(series, part, skip);
}
Cell* select_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                    bool any, Cell* with, Cell* skip, bool last, bool reverse) {
    return handler_for<A_SELECT>(series)(series, value, part, only, case_, same, any, with, skip,
                                         last, reverse);
}
Cell* sort_direct(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
                  bool reverse, bool stable) {
    return handler_for<A_SORT>(series)(series, case_, skip, compare, part, all, reverse, stable);
}
Cell* swap_direct(Cell* series1, Cell* series2) {
    return handler_for<A_SWAP>(series1)(series1, series2);
}
Cell* take_direct(Cell* series, Cell* part, bool deep, bool last) {
    return handler_for<A_TAKE>(series)(series, part, deep, last);
}
Cell* trim_direct(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                  Cell* with) {
    return handler_for<A_TRIM>(series)(series, head, tail, auto_, lines, all, with);
}
Cell* create_direct(Cell* port) { return handler_for<A_CREATE>(port)(port); }
Cell* close_direct(Cell* port) { return handler_for<A_CLOSE>(port)(port); }
Cell* delete_direct(Cell* file) { return handler_for<A_DELETE>(file)(file); }
Cell* modify_direct(Cell* target, Cell* field, Cell* value, bool case_) {
    return handler_for<A_MODIFY>(target)(target, field, value, case_);
}
Cell* open_direct(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return handler_for<A_OPEN>(port)(port, new_, read, write, seek, allow);
}
Cell* open_q_direct(Cell* port) { return handler_for<A_OPEN_Q>(port)(port); }
Cell* query_direct(Cell* target) { return handler_for<A_QUERY>(target)(target); }
Cell* read_direct(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                  Cell* as) {
    return handler_for<A_READ>(source)(source, part, seek, binary, lines, info, as);
}
Cell* rename_direct(Cell* from, Cell* to) { return handler_for<A_RENAME>(from)(from, to); }
Cell* update_direct(Cell* port) { return handler_for<A_UPDATE>(port)(port); }
Cell* write_direct(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                   bool append, Cell* part, Cell* seek, Cell* allow, Cell* as) {
    return handler_for<A_WRITE>(destination)(destination, data, binary, lines, info, append,
                                             part, seek, allow, as);
}

// ---------------------------------------------------------------- stack entries

namespace {
constexpr int32_t ABSENT = -1;
constexpr int NO_LIMIT = 2147483647;

Cell* arg(int i) { return stack::g_base + i; }
bool flag(const int32_t* refinements, int i) { return refinements[i] != ABSENT; }
// A refinement's argument cell, nullptr when the refinement is not used.
Cell* ref_cell(const int32_t* refinements, int i) {
    return refinements[i] == ABSENT ? nullptr : stack::g_base + refinements[i];
}
int32_t ref_integer(const int32_t* refinements, int i) {
    return support::to_int_checked(stack::g_base + refinements[i]);
}
// The handler answered a cell: it becomes the result.
Flow returned(const Cell* value) {
    *stack::g_base = value ? *value : make_cell(TYPE_UNSET);
    return Flow::normal;
}
template <int S> Flow on_stack() {
    reinterpret_cast<void (*)()>(lookup_for_argument(S))();
    return Flow::normal;
}

bool port_q(const Cell* value) { return value->is(TYPE_PORT); }
bool image_q(const Cell* value) { return value->is(TYPE_IMAGE); }

// The series types whose head is a unit index into their buffer.
bool positional_q(uint32_t type) {
    switch (type) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_PATH: case TYPE_LIT_PATH:
        case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
        case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
        case TYPE_MAP:
            return true;
        default:
            return false;
    }
}
// The values whose part append and insert can take.
bool part_source_q(const Cell* value) {
    return (positional_q(value->type()) || value->is(TYPE_IMAGE)) && value->data2 != 0;
}
int32_t head_index(const Cell* series) { return int32_t(series->data1); }
int32_t units_of(const Cell* series) {
    const memory::SeriesBuffer* b = memory::buffer_of(series->data2);
    return int32_t(b->used() / std::max<uint32_t>(b->unit(), 1));
}
// A head past the tail goes back to the tail.
void clamp_head(Cell* series) {
    if (!positional_q(series->type()) || !series->data2) return;
    int32_t total = units_of(series);
    if (head_index(series) > total) series->data1 = uint32_t(total);
}
// The head moves back by up to n units; answers how far it went.
int32_t move_back(Cell* series, int32_t n) {
    int32_t head = head_index(series);
    int32_t to = std::max<int64_t>(int64_t(head) - n, 0);
    series->data1 = uint32_t(to);
    return head - to;
}

[[noreturn]] void bad_part(const Cell* value) {
    Cell word = *refinements::get(refinements::part);
    support::fire_error(ErrorId::script_invalid_refine_arg, &word, value);
}

// The count of an append or insert /part: -1 for none, 0 for nothing to add.
int32_t added_part(const int32_t* refinements) {
    if (!flag(refinements, 0)) return -1;
    Cell* part = ref_cell(refinements, 0);
    Cell* value = arg(1);
    if (!part_source_q(value)) support::fire_error(ErrorId::script_invalid_part, part);
    clamp_head(value);
    int64_t count;
    if (part->is(TYPE_INTEGER) || part->is(TYPE_FLOAT)) {
        count = support::to_int_checked(part);
    } else {
        if (part->type() != value->type() || part->data2 != value->data2 || port_q(value))
            bad_part(part);
        clamp_head(part);
        count = int64_t(head_index(part)) - head_index(value);
    }
    if (count < 0) return move_back(value, int32_t(std::min<int64_t>(-count, NO_LIMIT)));
    return int32_t(count);
}

Flow add_values(const int32_t* refinements, bool is_append) {
    if (!is_append && !port_q(arg(0))) clamp_head(arg(0));
    int32_t part = added_part(refinements);
    if (part == 0) return Flow::normal;
    int32_t dup = 1;
    if (flag(refinements, 2)) {
        dup = ref_integer(refinements, 2);
        if (dup <= 0) return Flow::normal;
    }
    bool only = flag(refinements, 1);
    if (is_append) append_direct(arg(0), arg(1), part, only, dup, true);
    else insert_direct(arg(0), arg(1), part, only, dup, false);
    return Flow::normal;
}

// The count of a change /part, taken on the series itself; -1 for none.
int32_t changed_part(const int32_t* refinements) {
    Cell* series = arg(0);
    bool fixed = port_q(series) || image_q(series);
    if (!fixed) clamp_head(series);
    if (!flag(refinements, 0)) return -1;
    Cell* part = ref_cell(refinements, 0);
    int64_t count;
    if (part->is(TYPE_INTEGER) || part->is(TYPE_FLOAT)) {
        count = support::to_int_checked(part);
    } else {
        if (fixed || part->type() != series->type() || part->data2 != series->data2)
            bad_part(part);
        count = int64_t(head_index(part)) - head_index(series);
    }
    if (count >= 0) return int32_t(count);
    return fixed ? 0 : move_back(series, int32_t(std::min<int64_t>(-count, NO_LIMIT)));
}

// The new string the text goes into, in the cell above slot 0.
Cell* push_text_buffer() {
    stack::g_top = stack::g_base + 1;
    Cell* buffer = stack::push_cell();
    *buffer = make_cell(TYPE_UNSET);
    return string::make_empty_at(buffer, 16);
}

// Slot 0 becomes the text, cut to the /part limit when one was given.
Flow text_result(Cell* buffer, bool cut, int limit) {
    if (cut) string::truncate_buffer(memory::buffer_of(buffer->data2), uint32_t(limit));
    *stack::g_base = *buffer;
    stack::g_top = stack::g_base + 1;
    return Flow::normal;
}

Flow empty_text() {
    stack::g_top = stack::g_base + 1;
    string::make_empty_at(stack::g_base, 0);
    return Flow::normal;
}

// The /part cell of form or mold, copied out: the text buffer takes the cell
// above slot 0, where that argument may lie.
struct TextPart {
    Cell cell;
    bool given;
    int limit;
    Cell* pointer() { return given ? &cell : nullptr; }
};
TextPart text_part(const int32_t* refinements, int i) {
    TextPart p{make_cell(TYPE_NONE), flag(refinements, i), NO_LIMIT};
    if (p.given) {
        p.cell = *ref_cell(refinements, i);
        p.limit = support::to_int_checked(&p.cell);
    }
    return p;
}

Flow copy_checked(const int32_t* r) {
    Cell* types = ref_cell(r, 2);
    if (types && !types->is(TYPE_DATATYPE) && !types->is(TYPE_TYPESET)) {
        Cell callee = context::resolve_symbol(0, sym::id(sym::copy));
        Cell datatype = make_cell(TYPE_DATATYPE, types->type());
        Cell kind = make_cell(TYPE_WORD, 0, symbol::make("kind"), context::NO_INDEX);
        support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &kind);
    }
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_UNSET);
    return returned(copy_direct(arg(0), result, ref_cell(r, 0), flag(r, 1), types));
}
}  // namespace

Flow make(int, const int32_t*) { return returned(make_direct(arg(0), arg(1))); }

Flow random_(int, const int32_t* r) {
    random_direct(arg(0), flag(r, 0), flag(r, 1), flag(r, 2));
    return Flow::normal;
}

Flow reflect(int, const int32_t*) {
    reflect_direct(arg(0), arg(1)->data2);
    return Flow::normal;
}

Flow to(int, const int32_t*) { return returned(to_direct(arg(0), arg(1))); }

Flow form(int, const int32_t* r) {
    TextPart part = text_part(r, 0);
    if (part.limit <= 0) return empty_text();
    Cell* buffer = push_text_buffer();
    form_direct(arg(0), buffer, part.pointer(), part.limit);
    return text_result(buffer, part.given, part.limit);
}

Flow mold(int, const int32_t* r) {
    TextPart part = text_part(r, 3);
    if (part.limit <= 0) return empty_text();
    Cell* buffer = push_text_buffer();
    mold_direct(arg(0), buffer, flag(r, 0), flag(r, 1), flag(r, 2), part.pointer(), part.limit,
                0);
    return text_result(buffer, part.given, part.limit);
}

// A read, or with /set a write of its argument.
Flow eval_path(int, const int32_t* r) {
    return returned(eval_path_direct(arg(0), arg(1), ref_cell(r, 0), nullptr, nullptr, nullptr,
                                     0, false, false, true, false));
}

Flow compare(int, const int32_t*) {
    const Cell* mode = arg(2);
    if (!mode->is(TYPE_INTEGER) || mode->as_int() < COMP_EQUAL || mode->as_int() > COMP_FIND)
        support::fire_error(ErrorId::script_invalid_arg, mode);
    int order = compare_direct(arg(0), arg(1), mode->as_int());
    *stack::g_base = integer_cell(order);
    return Flow::normal;
}

Flow absolute(int, const int32_t*) { return on_stack<A_ABSOLUTE>(); }
Flow add(int, const int32_t*) { return on_stack<A_ADD>(); }
Flow divide(int, const int32_t*) { return on_stack<A_DIVIDE>(); }
Flow multiply(int, const int32_t*) { return on_stack<A_MULTIPLY>(); }

Flow negate(int, const int32_t*) {
    negate_direct(arg(0));
    return Flow::normal;
}

Flow power(int, const int32_t*) { return on_stack<A_POWER>(); }
Flow remainder(int, const int32_t*) { return on_stack<A_REMAINDER>(); }

Flow round_(int, const int32_t* r) {
    round_direct(arg(0), ref_cell(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                 flag(r, 5), flag(r, 6));
    return Flow::normal;
}

Flow subtract(int, const int32_t*) { return on_stack<A_SUBTRACT>(); }

Flow even_q(int, const int32_t*) {
    bool even = even_q_direct(arg(0));
    *stack::g_base = logic::make_value(even);
    return Flow::normal;
}

Flow odd_q(int, const int32_t*) {
    bool odd = odd_q_direct(arg(0));
    *stack::g_base = logic::make_value(odd);
    return Flow::normal;
}

Flow and_(int, const int32_t*) { return on_stack<A_AND>(); }
Flow complement(int, const int32_t*) { return returned(complement_direct(arg(0))); }
Flow or_(int, const int32_t*) { return on_stack<A_OR>(); }
Flow xor_(int, const int32_t*) { return on_stack<A_XOR>(); }
Flow append(int, const int32_t* r) { return add_values(r, true); }
Flow at(int, const int32_t*) { return on_stack<A_AT>(); }
Flow back(int, const int32_t*) { return on_stack<A_BACK>(); }

Flow change(int, const int32_t* r) {
    int32_t part = changed_part(r);
    int32_t dup = flag(r, 2) ? ref_integer(r, 2) : 1;
    change_direct(arg(0), arg(1), part, flag(r, 1), dup);
    return Flow::normal;
}

Flow clear(int, const int32_t*) {
    clear_direct(arg(0));
    return Flow::normal;
}

Flow copy(int, const int32_t* r) { return copy_checked(r); }

Flow find(int, const int32_t* r) {
    return returned(find_direct(arg(0), arg(1), ref_cell(r, 0), flag(r, 1), flag(r, 2),
                                flag(r, 3), flag(r, 4), ref_cell(r, 5), ref_cell(r, 6),
                                flag(r, 7), flag(r, 8), flag(r, 9), flag(r, 10)));
}

Flow head(int, const int32_t*) { return on_stack<A_HEAD>(); }
Flow head_q(int, const int32_t*) { return on_stack<A_HEAD_Q>(); }
Flow index_q(int, const int32_t*) { return on_stack<A_INDEX_Q>(); }
Flow insert(int, const int32_t* r) { return add_values(r, false); }

Flow length_q(int, const int32_t*) {
    int length = length_q_direct(arg(0));
    *stack::g_base = length == -1 ? make_cell(TYPE_NONE) : integer_cell(length);
    return Flow::normal;
}

Flow move(int, const int32_t* r) {
    return returned(move_direct(arg(0), arg(1), ref_cell(r, 0)));
}

Flow next(int, const int32_t*) { return on_stack<A_NEXT>(); }

Flow pick(int, const int32_t*) {
    return returned(pick_direct(arg(0), index_argument(), arg(1)));
}

// The result is the value stored, not the series.
Flow poke(int, const int32_t*) {
    poke_direct(arg(0), index_argument(), arg(2), arg(1));
    *stack::g_base = *arg(2);
    return Flow::normal;
}

Flow put(int, const int32_t* r) {
    return returned(put_direct(arg(0), arg(1), arg(2), flag(r, 0)));
}

Flow remove_(int, const int32_t* r) {
    remove_direct(arg(0), ref_cell(r, 0), ref_cell(r, 1));
    return Flow::normal;
}

Flow reverse(int, const int32_t* r) {
    reverse_direct(arg(0), ref_cell(r, 0), ref_cell(r, 1));
    return Flow::normal;
}

Flow select_(int, const int32_t* r) {
    return returned(select_direct(arg(0), arg(1), ref_cell(r, 0), flag(r, 1), flag(r, 2),
                                  flag(r, 3), flag(r, 4), ref_cell(r, 5), ref_cell(r, 6),
                                  flag(r, 7), flag(r, 8)));
}

Flow sort(int, const int32_t* r) {
    return returned(sort_direct(arg(0), flag(r, 0), ref_cell(r, 1), ref_cell(r, 2),
                                ref_cell(r, 3), flag(r, 4), flag(r, 5), flag(r, 6)));
}

Flow skip(int, const int32_t*) { return on_stack<A_SKIP>(); }

Flow swap(int, const int32_t*) {
    swap_direct(arg(0), arg(1));
    return Flow::normal;
}

Flow tail(int, const int32_t*) { return on_stack<A_TAIL>(); }
Flow tail_q(int, const int32_t*) { return on_stack<A_TAIL_Q>(); }

Flow take(int, const int32_t* r) {
    return returned(take_direct(arg(0), ref_cell(r, 0), flag(r, 1), flag(r, 2)));
}

Flow trim(int, const int32_t* r) {
    trim_direct(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3), flag(r, 4),
                ref_cell(r, 5));
    return Flow::normal;
}

Flow create(int, const int32_t*) { return returned(create_direct(arg(0))); }
Flow close_(int, const int32_t*) { return returned(close_direct(arg(0))); }
Flow delete_(int, const int32_t*) { return returned(delete_direct(arg(0))); }

// The result is the target, whatever the handler answers.
Flow modify(int, const int32_t* r) {
    const Cell target = *arg(0);
    modify_direct(arg(0), arg(1), arg(2), flag(r, 0));
    *stack::g_base = target;
    return Flow::normal;
}

Flow open_(int, const int32_t* r) {
    return returned(open_direct(arg(0), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                ref_cell(r, 4)));
}

Flow open_q(int, const int32_t*) { return returned(open_q_direct(arg(0))); }
Flow query(int, const int32_t*) { return returned(query_direct(arg(0))); }

Flow read_(int, const int32_t* r) {
    return returned(read_direct(arg(0), ref_cell(r, 0), ref_cell(r, 1), flag(r, 2), flag(r, 3),
                                flag(r, 4), ref_cell(r, 5)));
}

Flow rename_(int, const int32_t*) { return returned(rename_direct(arg(0), arg(1))); }
Flow update(int, const int32_t*) { return returned(update_direct(arg(0))); }

Flow write_(int, const int32_t* r) {
    return returned(write_direct(arg(0), arg(1), flag(r, 0), flag(r, 1), flag(r, 2), flag(r, 3),
                                 ref_cell(r, 4), ref_cell(r, 5), ref_cell(r, 6), ref_cell(r, 7)));
}

Flow no_op(int, const int32_t*) { return Flow::normal; }

}  // namespace zun::actions
