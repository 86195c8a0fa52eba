#include "datatypes/port.hpp"

#include <algorithm>
#include <vector>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "startup/system_data.hpp"

namespace zun::port {

namespace {

constexpr int32_t ABSENT = -1;

SchemesProvider g_schemes_provider = nullptr;
std::vector<const AnyHandler*> g_native_actors;

// How an action's arguments reach the actor: its plain arguments, then per
// refinement in spec order: 'f' a flag only, 'a' a flag and its argument,
// 'n' the same with a number argument passed as integer!.
struct Shape {
    const char* name;
    int args;
    const char* refinements;
};
constexpr Shape SHAPES[NATIVE_ACTOR_SLOTS] = {
    {"append", 2, "nfn"},  {"at", 2, ""},          {"back", 1, ""},
    {"change", 2, "nfn"},  {"clear", 1, ""},        {"copy", 1, "nfa"},
    {"find", 2, "nffffaaffff"},                     {"head", 1, ""},
    {"head?", 1, ""},      {"index?", 1, ""},       {"insert", 2, "nfn"},
    {"length?", 1, ""},    {"move", 2, "n"},        {"next", 1, ""},
    {"pick", 2, ""},       {"poke", 3, ""},         {"put", 3, "f"},
    {"remove", 1, "na"},   {"reverse", 1, "na"},    {"select", 2, "nffffaaff"},
    {"sort", 1, "faanfff"}, {"skip", 2, ""},        {"swap", 2, ""},
    {"tail", 1, ""},       {"tail?", 1, ""},        {"take", 1, "nff"},
    {"trim", 1, "fffffa"}, {"create", 1, ""},       {"close", 1, ""},
    {"delete", 1, ""},     {"modify", 3, "f"},      {"open", 1, "ffffa"},
    {"open?", 1, ""},      {"query", 1, ""},        {"read", 1, "nafffa"},
    {"rename", 2, ""},     {"update", 1, ""},       {"write", 2, "ffffnaaa"},
};
const Shape& shape_of(int slot) { return SHAPES[slot - A_APPEND]; }

// The most cells an action hands on: find and write, with every refinement.
constexpr int MAX_ARGS = 16;

// The arguments of one actor call, built before anything can allocate.
struct Args {
    Cell cells[MAX_ARGS];
    int n = 0;
    void add(const Cell& c) { cells[n++] = c; }
    void flag(bool on) { add(logic::make_value(on)); }
    // A refinement with its argument: the flag, then the value or none.
    void with(const Cell* value) {
        flag(value != nullptr);
        add(value ? *value : shared_none_cell);
    }
    // A /part or /dup: a number goes as integer!.
    void count(const Cell* value) {
        if (value && value->is(TYPE_FLOAT)) {
            Cell n = integer_cell(support::to_int_checked(value));
            with(&n);
        } else {
            with(value);
        }
    }
    void flags(int n_flags) {
        for (int i = 0; i < n_flags; i++) flag(false);
    }
};

// The value of a field of an object, none when it has no such field.
Cell field(const Cell& object, const char* name) {
    uint32_t symbol = symbol::make(name);  // may intern: before any buffer is read
    int32_t i = context::find_word(object.data1, symbol, true);
    return i < 0 ? shared_none_cell : object::values_base(&object)[i];
}

void set_field(const Cell& object, const char* name, const Cell& value) {
    uint32_t symbol = symbol::make(name);
    int32_t i = context::find_word(object.data1, symbol, true);
    if (i >= 0) object::values_base(&object)[i] = value;
}

const Cell* default_schemes() {
    if (!symbols::ready()) return nullptr;
    const Cell* system = context::find_word_value(sym::id(sym::system_), context::global());
    if (!system || !system->is(TYPE_OBJECT)) return nullptr;
    static Cell schemes;
    schemes = field(*system, "schemes");
    return &schemes;
}

// system/schemes is a block of names and scheme objects; an object of
// schemes is searched by field name.
Cell find_scheme(const Cell& scheme_word) {
    const Cell* provided = g_schemes_provider ? g_schemes_provider() : default_schemes();
    if (!provided) return shared_none_cell;
    Cell schemes = *provided;
    if (schemes.is(TYPE_BLOCK)) return *block::select_word(&schemes, &scheme_word, false);
    if (!schemes.is(TYPE_OBJECT)) return shared_none_cell;
    int32_t i = context::find_word(schemes.data1, scheme_word.data2, true);
    return i < 0 ? shared_none_cell : object::values_base(&schemes)[i];
}

// The local slots of a function: /local itself and the words after it.
int32_t locals_of(const Cell& fn) {
    const Cell spec = make_cell(TYPE_BLOCK, 0, fn.data2, 0);
    return std::max(function::count_locals(&spec, 0, false), 0);
}

// Runs one actor call and leaves its result in slot 0 of the current call.
Flow call_into_result(const Cell* port, int slot, const Args& args) {
    Cell* result;
    if (Flow flow = call_actor(port, slot, args.cells, args.n, &result); flow != Flow::normal)
        return flow;
    stack::set_result_reset(result);
    return Flow::normal;
}

// From C++: a status that leaves the actor goes on as a pending status.
Cell* call_direct(const Cell* port, int slot, const Args& args) {
    Cell* result;
    if (Flow flow = call_actor(port, slot, args.cells, args.n, &result); flow != Flow::normal)
        interpreter::raise_pending(flow);
    return result;
}

// read: open, copy (with the /part), close; the copy is the result, pushed.
// Every call's arguments are copied first: part may lie anywhere.
Flow read_port(const Cell& port, const Cell* part, Cell** result) {
    Args open, copy, close;
    open.add(port);
    open.flags(4);
    open.with(nullptr);
    copy.add(port);
    copy.count(part);
    copy.flag(false);
    copy.with(nullptr);
    close.add(port);
    Cell* done;
    if (Flow flow = call_actor(&port, A_OPEN, open.cells, open.n, &done); flow != Flow::normal)
        return flow;
    if (Flow flow = call_actor(&port, A_COPY, copy.cells, copy.n, result); flow != Flow::normal)
        return flow;
    if (Flow flow = call_actor(&port, A_CLOSE, close.cells, close.n, &done); flow != Flow::normal)
        return flow;
    stack::g_top = *result + 1;
    return Flow::normal;
}

// write: open with the write flag, insert (with the /part), close; answers
// the port, pushed.
Flow write_port(const Cell& port, const Cell& data, const Cell* part, Cell** result) {
    Args open, insert, close;
    open.add(port);
    open.flags(2);
    open.flag(true);
    open.flag(false);
    open.with(nullptr);
    insert.add(port);
    insert.add(data);
    insert.count(part);
    insert.flag(false);
    insert.with(nullptr);
    close.add(port);
    Cell* start = stack::push(&port);
    Cell* done;
    if (Flow flow = call_actor(&port, A_OPEN, open.cells, open.n, &done); flow != Flow::normal)
        return flow;
    if (Flow flow = call_actor(&port, A_INSERT, insert.cells, insert.n, &done);
        flow != Flow::normal)
        return flow;
    if (Flow flow = call_actor(&port, A_CLOSE, close.cells, close.n, &done); flow != Flow::normal)
        return flow;
    stack::g_top = start + 1;
    *result = start;
    return Flow::normal;
}

// The arguments of a stack entry, in the order of the action's spec.
Args stack_arguments(int slot, const int32_t* refinements) {
    const Shape& s = shape_of(slot);
    Args args;
    for (int i = 0; i < s.args; i++) args.add(stack::g_base[i]);
    for (int i = 0; s.refinements[i]; i++) {
        const Cell* value =
            refinements[i] == ABSENT ? nullptr : stack::g_base + refinements[i];
        switch (s.refinements[i]) {
            case 'f': args.flag(value != nullptr); break;
            case 'a': args.with(value); break;
            default: args.count(value); break;
        }
    }
    return args;
}

// ---------------------------------------------------------------- typed forwarders
// For runtime code that calls an action on a port directly; the refinements
// arrive in their direct form and go on as flags and arguments.

template <int S> Cell* port_only(Cell* port) {
    Args a;
    a.add(*port);
    return call_direct(port, S, a);
}
// The stack-argument slots: the port and its arguments from the stack.
template <int S> void on_stack() {
    Args a;
    for (int i = 0; i < shape_of(S).args; i++) a.add(stack::g_base[i]);
    const Cell* port = stack::g_base;
    stack::set_result(call_direct(port, S, a));
}

Cell* add_values(int slot, Cell* series, Cell* value, int part, bool only, int dup) {
    Args a;
    a.add(*series);
    a.add(*value);
    Cell p = integer_cell(part), d = integer_cell(dup);
    a.with(part >= 0 ? &p : nullptr);
    a.flag(only);
    a.with(dup != 1 ? &d : nullptr);
    return call_direct(series, slot, a);
}
Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool) {
    return add_values(A_APPEND, series, value, part, only, dup);
}
Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool) {
    return add_values(A_INSERT, series, value, part, only, dup);
}
Cell* change(Cell* series, Cell* value, int part, bool only, int dup) {
    return add_values(A_CHANGE, series, value, part, only, dup);
}
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    Args a;
    a.add(*value);
    a.count(part);
    a.flag(deep);
    a.with(types);
    *result = *call_direct(value, A_COPY, a);
    return result;
}
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Args a;
    a.add(*series);
    a.add(*value);
    a.count(part);
    for (bool f : {only, case_, same, any}) a.flag(f);
    a.with(with);
    a.with(skip);
    for (bool f : {last, reverse, tail, match}) a.flag(f);
    return call_direct(series, A_FIND, a);
}
int length_q(Cell* series) {
    Cell* r = port_only<A_LENGTH_Q>(series);
    return r->is(TYPE_INTEGER) ? r->as_int() : -1;
}
Cell* move(Cell* origin, Cell* target, Cell* part) {
    Args a;
    a.add(*origin);
    a.add(*target);
    a.count(part);
    return call_direct(origin, A_MOVE, a);
}
Cell* pick(Cell* series, int, Cell* index_cell) {
    Args a;
    a.add(*series);
    a.add(*index_cell);
    return call_direct(series, A_PICK, a);
}
Cell* poke(Cell* series, int, Cell* value, Cell* index_cell) {
    Args a;
    a.add(*series);
    a.add(*index_cell);
    a.add(*value);
    return call_direct(series, A_POKE, a);
}
Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    Args a;
    a.add(*series);
    a.add(*key);
    a.add(*value);
    a.flag(case_);
    return call_direct(series, A_PUT, a);
}
Cell* remove(Cell* series, Cell* part, Cell* key) {
    Args a;
    a.add(*series);
    a.count(part);
    a.with(key);
    return call_direct(series, A_REMOVE, a);
}
Cell* reverse(Cell* series, Cell* part, Cell* skip) {
    Args a;
    a.add(*series);
    a.count(part);
    a.with(skip);
    return call_direct(series, A_REVERSE, a);
}
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse) {
    Args a;
    a.add(*series);
    a.add(*value);
    a.count(part);
    for (bool f : {only, case_, same, any}) a.flag(f);
    a.with(with);
    a.with(skip);
    a.flag(last);
    a.flag(reverse);
    return call_direct(series, A_SELECT, a);
}
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable) {
    Args a;
    a.add(*series);
    a.flag(case_);
    a.with(skip);
    a.with(compare);
    a.count(part);
    for (bool f : {all, reverse, stable}) a.flag(f);
    return call_direct(series, A_SORT, a);
}
Cell* swap(Cell* series1, Cell* series2) {
    Args a;
    a.add(*series1);
    a.add(*series2);
    return call_direct(series1, A_SWAP, a);
}
Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    Args a;
    a.add(*series);
    a.count(part);
    a.flag(deep);
    a.flag(last);
    return call_direct(series, A_TAKE, a);
}
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    Args a;
    a.add(*series);
    for (bool f : {head, tail, auto_, lines, all}) a.flag(f);
    a.with(with);
    return call_direct(series, A_TRIM, a);
}
Cell* modify(Cell* target, Cell* field_word, Cell* value, bool case_) {
    Args a;
    a.add(*target);
    a.add(*field_word);
    a.add(*value);
    a.flag(case_);
    return call_direct(target, A_MODIFY, a);
}
Cell* rename(Cell* from, Cell* to) {
    Args a;
    a.add(*from);
    a.add(*to);
    return call_direct(from, A_RENAME, a);
}

}  // namespace

Cell* open(Cell* port, bool new_, bool read_, bool write_, bool seek, Cell* allow) {
    Args a;
    a.add(*port);
    for (bool f : {new_, read_, write_, seek}) a.flag(f);
    a.with(allow);
    return call_direct(port, A_OPEN, a);
}

// ---------------------------------------------------------------- public

void set_schemes_provider(SchemesProvider provider) { g_schemes_provider = provider; }

uint32_t register_native_actor(const AnyHandler* table) {
    for (size_t i = 0; i < g_native_actors.size(); i++)
        if (g_native_actors[i] == table) return uint32_t(i + 1);
    g_native_actors.push_back(table);
    return uint32_t(g_native_actors.size());
}

Cell native_actor_handle(uint32_t id) {
    Cell cell = make_cell(TYPE_HANDLE);
    handle::init_cell(&cell, id, handle::NO_KIND);
    return cell;
}

const AnyHandler* native_actor_table(const Cell* port) {
    if (!port->is(TYPE_PORT) || !symbols::ready()) return nullptr;
    Cell actor = field(*port, "actor");
    if (!actor.is(TYPE_HANDLE) || actor.data1 != handle::NO_KIND) return nullptr;
    uint32_t id = actor.data2;
    return id >= 1 && id <= g_native_actors.size() ? g_native_actors[id - 1] : nullptr;
}

Cell get_actor(const Cell* port) {
    const Cell p = *port;
    Cell actor = field(p, "actor");
    if (!actor.is(TYPE_OBJECT)) support::fire_error(ErrorId::access_invalid_port, &p);
    return actor;
}

Flow call_actor(const Cell* port, int slot, const Cell* args, int count, Cell** result) {
    const Cell actor = get_actor(port);
    // Interning the name may allocate: args must not lie in a series buffer.
    uint32_t symbol = symbol::make(shape_of(slot).name);
    int32_t i = context::find_word(actor.data1, symbol, true);
    const Cell fn = i < 0 ? shared_none_cell : object::values_base(&actor)[i];
    if (!fn.is(TYPE_FUNCTION)) support::fire_error(ErrorId::access_no_port_action);
    Cell name = *object::word_at(actor.data1, uint32_t(i));
    name.set_type(TYPE_WORD);
    int32_t locals = locals_of(fn);
    int32_t params = std::max<int32_t>(int32_t(context::word_count(fn.data1)) - locals, 0);

    Cell* slot0 = stack::push(&fn);  // keeps the function reachable; the result replaces it
    stack::push_function_frame(&name, fn.data1);
    // An actor that takes fewer arguments gets the first ones; missing ones are none.
    for (int32_t k = 0; k < params; k++) stack::push(k < count ? &args[k] : &shared_none_cell);
    function::push_locals(locals);
    if (Flow flow = interpreter::exec_function(&fn); flow != Flow::normal) return flow;
    stack::pop_function_frame();
    *slot0 = slot0[1];
    stack::g_top = slot0 + 1;
    *result = slot0;
    return Flow::normal;
}

Flow forward_action(int slot, const int32_t* refinements) {
    const Cell port = *stack::g_base;
    Cell* result;
    if (slot == A_READ) {
        const Cell* part = refinements[0] == ABSENT ? nullptr : stack::g_base + refinements[0];
        if (Flow flow = read_port(port, part, &result); flow != Flow::normal) return flow;
        stack::set_result_reset(result);
        return Flow::normal;
    }
    if (slot == A_WRITE) {
        const Cell* part = refinements[4] == ABSENT ? nullptr : stack::g_base + refinements[4];
        if (Flow flow = write_port(port, stack::g_base[1], part, &result); flow != Flow::normal)
            return flow;
        stack::set_result_reset(result);
        return Flow::normal;
    }
    return call_into_result(&port, slot, stack_arguments(slot, refinements));
}

Cell* read(Cell* source, Cell* part, Cell*, bool, bool, bool, Cell*) {
    Cell* result;
    if (Flow flow = read_port(*source, part, &result); flow != Flow::normal)
        interpreter::raise_pending(flow);
    return result;
}

Cell* write(Cell* destination, Cell* data, bool, bool, bool, bool, Cell* part, Cell*, Cell*,
            Cell*) {
    Cell* result;
    if (Flow flow = write_port(*destination, *data, part, &result); flow != Flow::normal)
        interpreter::raise_pending(flow);
    return result;
}

Cell* make(Cell* proto, Cell* spec, int) {
    (void)proto;
    const Cell given = *spec;
    Cell* spec_object;
    if (given.is(TYPE_OBJECT)) {
        spec_object = stack::push(&given);
    } else {
        Cell parts = *system_data::standard_url_parts();
        Cell* prototype = stack::push(&parts);
        spec_object = object::make(prototype, spec, TYPE_OBJECT);
    }
    const Cell scheme_word = field(*spec_object, "scheme");
    if (!scheme_word.is(TYPE_WORD)) support::fire_error(ErrorId::access_no_scheme, &given);

    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    Cell standard = *system_data::standard_port();
    object::copy_into(&standard, result, false, nullptr);
    result->set_type(TYPE_PORT);
    object::set_class(result, result->data2);  // the owner cell becomes the port too
    set_field(*result, "spec", *spec_object);
    set_field(*result, "scheme", scheme_word);

    const Cell scheme = find_scheme(scheme_word);
    if (!scheme.is(TYPE_OBJECT)) support::fire_error(ErrorId::access_unknown_scheme, &given);
    const Cell actor = field(scheme, "actor");
    if (!actor.is(TYPE_OBJECT) && !actor.is(TYPE_HANDLE))
        support::fire_error(ErrorId::access_invalid_actor, &given);
    set_field(*result, "actor", actor);
    return result;
}

// form and mold write the same text; a port met again inside itself is cut short.
int mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* arg, int part,
         int indent) {
    const Cell port = *value;
    if (cycles::find(port.data1)) {
        string::append_c_string(buffer, "make port! [...]");
        return part - 16;
    }
    string::append_c_string(buffer, "make port! [");
    part -= 12;
    part = object::mold_fields(&port, buffer, false, all, flat, arg, part, true, indent + 1,
                               true);
    if (!flat && indent > 0) part = support::mold_indent(buffer, indent, part);
    string::append_c_string(buffer, "]");
    return part - 1;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    return mold(value, buffer, false, false, false, arg, part, 0);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, inherit<A_REFLECT>(), E, own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E,
        /* 11 */ E, E, E, E, E, E, E, E, E, E, E, E, E, E,
        /* 25 */ own<A_APPEND>(append), own<A_AT>(on_stack<A_AT>),
        /* 27 */ own<A_BACK>(on_stack<A_BACK>), own<A_CHANGE>(change),
        /* 29 */ own<A_CLEAR>(port_only<A_CLEAR>), own<A_COPY>(copy), own<A_FIND>(find),
        /* 32 */ own<A_HEAD>(on_stack<A_HEAD>), own<A_HEAD_Q>(on_stack<A_HEAD_Q>),
        /* 34 */ own<A_INDEX_Q>(on_stack<A_INDEX_Q>), own<A_INSERT>(insert),
        /* 36 */ own<A_LENGTH_Q>(length_q), own<A_MOVE>(move),
        /* 38 */ own<A_NEXT>(on_stack<A_NEXT>), own<A_PICK>(pick), own<A_POKE>(poke),
        /* 41 */ own<A_PUT>(put), own<A_REMOVE>(remove), own<A_REVERSE>(reverse),
        /* 44 */ own<A_SELECT>(select), own<A_SORT>(sort), own<A_SKIP>(on_stack<A_SKIP>),
        /* 47 */ own<A_SWAP>(swap), own<A_TAIL>(on_stack<A_TAIL>),
        /* 49 */ own<A_TAIL_Q>(on_stack<A_TAIL_Q>), own<A_TAKE>(take), own<A_TRIM>(trim),
        /* 52 */ own<A_CREATE>(port_only<A_CREATE>), own<A_CLOSE>(port_only<A_CLOSE>),
        /* 54 */ own<A_DELETE>(port_only<A_DELETE>), own<A_MODIFY>(modify),
        /* 56 */ own<A_OPEN>(open), E, own<A_QUERY>(port_only<A_QUERY>), own<A_READ>(read),
        /* 60 */ own<A_RENAME>(rename), own<A_UPDATE>(port_only<A_UPDATE>),
        /* 62 */ own<A_WRITE>(write));
    registry::register_type(TYPE_PORT, TYPE_OBJECT, "port!", slots);
    actions::set_port_actor_reader(native_actor_table);
}

}  // namespace zun::port
