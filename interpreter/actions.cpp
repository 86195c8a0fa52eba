#include "interpreter/actions.hpp"

#include <algorithm>

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "interpreter/stack.hpp"

namespace zun::actions {

natives::Entry g_dispatch_table[ACTION_COUNT];

namespace {
constexpr int ASSERTION_FAILED = 98;
constexpr int BAD_MODE = 101;
constexpr int FIRST_PORT_SLOT = A_APPEND;

PortActorReader g_port_actor_reader = nullptr;

Flow not_done_entry(int, const int32_t*) { not_done_raise(); }

// The spec word of the action's first parameter needs the action's spec,
// which comes with the evaluator: arg3 is none until then.
[[noreturn]] void fire_expect_arg(uint32_t type) {
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, type);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &shared_none_cell);
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

// The stack entries come with the evaluator; until then every slot but
// set-path (which has no dispatcher) holds an entry that raises not-done.
void init_table() {
    natives::Entry entries[ACTION_COUNT];
    std::fill(entries, entries + ACTION_COUNT, &not_done_entry);
    entries[A_SET_PATH - 1] = nullptr;
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

}  // namespace zun::actions
