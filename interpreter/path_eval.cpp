#include "interpreter/path_eval.hpp"

#include <cstring>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/fast_paths.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/trace.hpp"

namespace zun::interpreter {

namespace {

constexpr uint32_t CELL = sizeof(Cell);

inline memory::SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }
inline const Cell* cells_of(NodeId node) { return buf(node)->head_cell(); }
inline uint32_t length_of(NodeId node) { return buf(node)->used() / CELL; }
inline uint32_t head_of(const Cell& series) {
    int32_t h = int32_t(series.data1);
    return h > 0 ? uint32_t(h) : 0;
}

inline bool function_type_q(uint32_t type) {
    return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION ||
           type == TYPE_ROUTINE;
}
inline bool object_type_q(uint32_t type) {
    return type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT;
}
// Containers whose steps answer cells of their own buffer.
inline bool cell_series_q(uint32_t type) { return block::any_block_q(type) || type == TYPE_MAP; }
inline bool notifying_series_q(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH ||
           (type >= TYPE_PATH && type <= TYPE_GET_PATH);
}

[[noreturn]] void fire(ErrorId id, Cell a1) { support::fire_error(id, &a1); }
[[noreturn]] void fire(ErrorId id, Cell a1, Cell a2) { support::fire_error(id, &a1, &a2); }

// Field indexes of object paths by object context and word symbol. A word
// never moves within its table and only a collection frees a context's node
// for reuse, so a hit holds until the next collection (or a fresh start).
struct FieldHit {
    NodeId context = 0;
    uint32_t symbol = 0;
    uint32_t index = 0;
    uint32_t epoch = 0;
};
constexpr uint32_t FIELD_HITS = 256;
FieldHit g_field_hits[FIELD_HITS];
uint32_t g_field_epoch = 1;

inline FieldHit& field_hit(NodeId context, uint32_t symbol) {
    return g_field_hits[(context * 31u + symbol) % FIELD_HITS];
}

// The remembered index, or -1.
inline int32_t remembered_field(NodeId context, uint32_t symbol) {
    const FieldHit& h = field_hit(context, symbol);
    if (h.context != context || h.symbol != symbol || h.epoch != g_field_epoch) return -1;
    return int32_t(h.index);
}

// Remembers the field object/word reaches, for the next short read.
void remember_field(const Cell& object, const Cell& element) {
    if (!object.is(TYPE_OBJECT) || !element.is(TYPE_WORD)) return;
    const NodeId context = object.data1;
    if (remembered_field(context, element.data2) >= 0) return;
    const int32_t index = context::find_word(context, element.data2, true);
    if (index >= 0) field_hit(context, element.data2) = FieldHit{context, element.data2, uint32_t(index), g_field_epoch};
}

// object/word in get modes, its field remembered: the field's value, or
// nullptr when the walk must raise or decide.
inline const Cell* object_path_field(const Cell& object, const Cell& element) {
    if (!object.is(TYPE_OBJECT) || !element.is(TYPE_WORD)) return nullptr;
    const NodeId context = object.data1;
    const int32_t index = remembered_field(context, element.data2);
    if (index < 0) return nullptr;
    const Cell* field = context::values_of(context).first + index;
    return field->is(TYPE_UNSET) ? nullptr : field;
}

// word/integer on a block and word/word on an object, the hot reads and
// method calls: what the walk's one step gives, with no walk state.
enum class Short : uint8_t { walk, pushed, call };

// Pushes the value read, or answers the function to call in *field with its
// name in *name (both in buffers, read before anything allocates); walk when
// the walk must decide (another shape or type, an unset field, a function
// picked from a block), having changed nothing.
[[gnu::always_inline]] inline Short short_path(const Cell& path, bool call, const Cell** field,
                                               const Cell** name) {
    const NodeId node = path.data2;
    if (!node) return Short::walk;
    memory::SeriesBuffer* b = buf(node);
    const uint32_t head = head_of(path);
    if (b->used() != (uint64_t(head) + 2) * CELL) return Short::walk;
    const Cell* cells = b->head_cell() + head;
    if (!cells[0].is(TYPE_WORD)) return Short::walk;
    // No error to raise here: the value of a word bound to a context that has values.
    const Cell* first = context::bound_value(&cells[0]);
    if (!first) return Short::walk;
    const Cell& element = cells[1];
    if (element.is(TYPE_INTEGER)) {
        if (!first->is(TYPE_BLOCK)) return Short::walk;
        const Cell* item = actions::block_pick(*first, element.as_int());
        if (call && function_type_q(item->type())) return Short::walk;  // named <anon>: the walk calls it
        stack::push(item);
        return Short::pushed;
    }
    const Cell* found = object_path_field(*first, element);
    if (!found) return Short::walk;
    if (call && function_type_q(found->type())) {
        *field = found;
        *name = &element;
        return Short::call;
    }
    stack::push(found);
    return Short::pushed;
}

// Where the current value lives, so that it can be read again after a paren
// element has run arbitrary code.
enum class Place : uint8_t { head_word, series, field, none };

// The walk's state, on the value stack: the collector sees it, and its
// addresses stay good whatever the code in a paren does.
enum Slot : uint32_t {
    PATH,      // the path itself
    CURRENT,   // the value reached so far
    PARENT,    // the container of the current value
    PREVIOUS,  // the element that reached the current value (or its field word)
    ELEMENT,   // the value of the element being applied
    ASSIGN,    // the value to assign (set mode)
    OUTER,     // the container of the previous value
    REACHED,   // the element value that reached the current value
    SLOTS
};

struct Walk {
    Cell* s;  // SLOTS cells
    Cell head;
    Place place = Place::head_word;
    uint32_t place_index = 0;
    Place parent_place = Place::none;  // where the previous value lives, in OUTER
    uint32_t parent_index = 0;
};

// Classifies the step's answer against the container it came from.
void locate_result(Walk& w, const Cell& container, const Cell* answer) {
    w.place = Place::none;
    if (cell_series_q(container.type()) && container.data2) {
        memory::SeriesBuffer* b = buf(container.data2);
        if (answer >= b->head_cell() && answer < b->tail_cell()) {
            w.place = Place::series;
            w.place_index = uint32_t(answer - b->head_cell());
        }
    } else if (object_type_q(container.type())) {
        const Cell* base = object::values_base(&container);
        if (answer >= base && answer < base + object::field_count(&container)) {
            w.place = Place::field;
            w.place_index = uint32_t(answer - base);
        }
    }
}

// After a paren: the current value again, from where it lives.
void refind_current(Walk& w) {
    Cell* s = w.s;
    switch (w.place) {
        case Place::head_word:
            s[CURRENT] = *word::get_value(&w.head);
            break;
        case Place::series:
            if (s[PARENT].data2 && w.place_index < length_of(s[PARENT].data2))
                s[CURRENT] = cells_of(s[PARENT].data2)[w.place_index];
            break;
        case Place::field:
            if (w.place_index < object::field_count(&s[PARENT]))
                s[CURRENT] = object::values_base(&s[PARENT])[w.place_index];
            break;
        case Place::none:
            break;
    }
}

Flow element_value(Walk& w, const Cell& element) {
    Cell* s = w.s;
    switch (element.type()) {
        case TYPE_GET_WORD:
            s[ELEMENT] = *word::get_value(&element);
            return Flow::normal;
        case TYPE_PAREN: {
            Cell* slot = stack::push(&element);
            if (Flow flow = eval_block(slot, false); flow != Flow::normal) return flow;
            s[ELEMENT] = slot[1];
            stack::g_top = slot;
            refind_current(w);
            return Flow::normal;
        }
        default:
            s[ELEMENT] = element;
            return Flow::normal;
    }
}

// Set mode, last step, at least the third element: whether the container
// hears of the change; an object's field word becomes the previous element.
bool notify_flag(Walk& w) {
    Cell* s = w.s;
    const Cell& container = s[PARENT];
    if (notifying_series_q(container.type())) return true;
    if (!container.is(TYPE_OBJECT) || !container.data3 || w.place != Place::field) return false;
    if (!s[PREVIOUS].is(TYPE_WORD)) {
        Cell word = *object::word_at(container.data1, w.place_index);
        word.header = TYPE_WORD;
        s[PREVIOUS] = word;
    }
    return true;
}

// One step through the eval-path action of the current value's type. A
// change handler it runs may leave a status.
Flow apply_step(Walk& w, uint32_t step, bool case_, bool get, bool last, bool notify, bool set,
                Cell* answer) {
    Cell* s = w.s;
    const AnyHandler handler = actions::lookup_or_error(&s[CURRENT], A_EVAL_PATH, &s[PATH],
                                                        &s[ELEMENT], int(step - 1));
    const auto fn = reinterpret_cast<SlotFnT<A_EVAL_PATH>>(handler);
    const Cell container = s[CURRENT];
    try {
        const Cell* r = fn(&s[CURRENT], &s[ELEMENT], set ? &s[ASSIGN] : nullptr, &s[PATH],
                           &s[PARENT], &s[PREVIOUS], int(step - 1), case_, get, last, notify);
        *answer = *r;  // r may lie in a series: copied before anything allocates
        locate_result(w, container, r);
    } catch (const PendingFlow& pending) {
        return pending.code;
    }
    return Flow::normal;
}

// Values held whole in their cell: a step that sets one of their fields
// changes a copy, which must go back where the value came from.
inline bool held_in_cell_q(uint32_t type) {
    switch (type) {
        case TYPE_PAIR: case TYPE_TUPLE: case TYPE_TIME: case TYPE_DATE: case TYPE_POINT2D:
        case TYPE_POINT3D: case TYPE_MONEY: case TYPE_TRIPLE: case TYPE_EVENT:
            return true;
        default:
            return false;
    }
}

// After the last step of a set-path: the changed value back into the word,
// series cell or object field that held it. A place that code run by the
// step has removed is left alone.
void store_back(Walk& w, Place place, uint32_t index, const Cell& changed, const Cell& container) {
    switch (place) {
        case Place::head_word: {
            Cell* word = stack::push(&w.head);  // on the stack, as the setter wants
            context::set_word_value(word, &changed, word->data1, false);
            stack::pop(1);
            break;
        }
        case Place::series:
            if (container.data2 && index < length_of(container.data2))
                buf(container.data2)->head_cell()[index] = changed;
            break;
        case Place::field:
            if (index < object::field_count(&container))
                object::values_base(&container)[index] = changed;
            break;
        case Place::none:
            break;
    }
}

// The value a set step changed goes back where it came from. A value made
// by the step before (a date's time) has no place: it is set into the value
// it came from, which then goes back to its own place.
Flow write_back(Walk& w, Place from, uint32_t from_index, bool case_, uint32_t step) {
    Cell* s = w.s;
    if (from != Place::none) {
        store_back(w, from, from_index, s[CURRENT], s[PARENT]);
        return Flow::normal;
    }
    if (step < 2 || !held_in_cell_q(s[PARENT].type()) || w.parent_place == Place::none)
        return Flow::normal;
    const AnyHandler handler = registry::entry(s[PARENT].type(), A_EVAL_PATH);
    if (!handler) return Flow::normal;
    Cell* cells = stack::push(&s[REACHED]);
    stack::push(&s[CURRENT]);
    try {
        reinterpret_cast<SlotFnT<A_EVAL_PATH>>(handler)(&s[PARENT], &cells[0], &cells[1], &s[PATH],
                                                         nullptr, nullptr, int(step - 2), case_,
                                                         false, true, false);
    } catch (const PendingFlow& pending) {
        return pending.code;
    }
    stack::g_top = cells;
    store_back(w, w.parent_place, w.parent_index, s[PARENT], s[OUTER]);
    return Flow::normal;
}

// The walk, step by step through the eval-path actions.
[[gnu::noinline]] Flow walk_steps(const Cell& path, const Code& code, uint32_t& pos, PathMode mode,
                                  bool case_) {
    Cell* const start = stack::g_top;
    const bool set = mode == PathMode::set;
    const Cell assign = *stack::g_base;  // set mode: slot 0 of the current frame
    const NodeId node = path.data2;
    const uint32_t head = head_of(path);
    if (!node || head >= length_of(node)) support::fire_error(ErrorId::script_empty_path);
    Walk w;
    w.head = cells_of(node)[head];
    if (!w.head.is(TYPE_WORD)) fire(ErrorId::script_word_first, path);
    const Cell first = *word::get_value(&w.head);

    if (function_type_q(first.type())) {
        if (set) fire(ErrorId::script_invalid_path_set, path);
        if (mode == PathMode::get_no_call) fire(ErrorId::script_invalid_path_get, path);
        CallOptions o;
        o.path = &path;
        o.path_index = head + 1;
        o.name = &w.head;
        return call_value(first, code, pos, o, false);
    }
    if (first.is(TYPE_UNSET)) fire(ErrorId::script_unset_path, path, w.head);
    if (!set && head + 2 == length_of(node)) remember_field(first, cells_of(node)[head + 1]);
    w.s = stack::g_top;
    for (uint32_t i = 0; i < SLOTS; i++) *stack::push_cell() = make_cell(TYPE_NONE);
    Cell* s = w.s;
    s[PATH] = path;
    s[CURRENT] = first;
    s[PREVIOUS] = w.head;
    s[ASSIGN] = assign;
    // A word of a function's context: the function is the first container.
    const NodeId context = w.head.data1;
    if (context != context::global() && !context::owner_of(context)->is(TYPE_OBJECT))
        s[PARENT] = *context::owner_of(context);

    for (uint32_t k = head + 1; k < length_of(node); k++) {  // a paren may change the path
        const uint32_t step = k - head;
        const Cell element = cells_of(node)[k];
        if (Flow flow = element_value(w, element); flow != Flow::normal) return flow;
        if (s[ELEMENT].is(TYPE_UNSET)) fire(ErrorId::script_invalid_path, path, element);
        const bool last = k + 1 >= length_of(node);
        const bool notify = set && last && step >= 2 && notify_flag(w);
        Cell answer;
        const Place from = w.place;  // where the current value lives
        const uint32_t from_index = w.place_index;
        const Cell before = s[CURRENT];
        if (Flow flow = apply_step(w, step, case_, mode == PathMode::get_no_call, last, notify,
                                   set && last, &answer);
            flow != Flow::normal)
            return flow;
        if (set && last && held_in_cell_q(before.type()) &&
            std::memcmp(&before, &s[CURRENT], sizeof(Cell)) != 0)
            if (Flow flow = write_back(w, from, from_index, case_, step); flow != Flow::normal)
                return flow;
        if (mode == PathMode::get && function_type_q(answer.type())) {
            stack::g_top = start;
            // Nothing after the function: called as its word would be.
            if (last && word::any_word_type_q(element.type())) return call_named(answer, element, code, pos);
            // A method gets the object it was reached through.
            const Cell owner = s[CURRENT];
            CallOptions o;
            o.path = &path;
            o.path_index = k + 1;
            o.name = &element;
            o.owner = &owner;
            return call_value(answer, code, pos, o, false);
        }
        s[OUTER] = s[PARENT];
        w.parent_place = from;
        w.parent_index = from_index;
        s[PARENT] = s[CURRENT];
        s[CURRENT] = answer;
        s[PREVIOUS] = element;
        s[REACHED] = s[ELEMENT];
    }
    const Cell result = s[CURRENT];
    stack::g_top = start;
    stack::push(&result);
    return Flow::normal;
}

}  // namespace

void forget_remembered_fields() { g_field_epoch++; }

Flow walk_path(const Cell& path, const Code& code, uint32_t& pos, PathMode mode, bool case_) {
    if (mode != PathMode::set && !g_trace_switch) {
        const Cell *field, *name;
        switch (short_path(path, mode == PathMode::get, &field, &name)) {
            case Short::pushed: return Flow::normal;
            case Short::call: return call_named(*field, *name, code, pos);
            case Short::walk: break;
        }
    }
    return walk_steps(path, code, pos, mode, case_);
}

namespace {
// block_pick, a positive index tested against both ends at once.
inline const Cell* pick_item(const Cell& block, int32_t index) {
    if (index <= 0) return actions::block_pick(block, index);
    memory::SeriesBuffer* b = buf(block.data2);
    const uint64_t at = uint64_t(int64_t(int32_t(block.data1)) + index - 1);
    return at < b->used() / CELL ? b->head_cell() + at : &shared_none_cell;
}

// object/word met in code: the field pushed or its function called.
[[gnu::noinline]] Flow object_get_path(const Cell& object, const Cell& element, const Cell& path,
                                       const Code& code, uint32_t& pos) {
    const Cell* found = object_path_field(object, element);
    if (!found) return walk_steps(path, code, pos, PathMode::get, false);
    if (function_type_q(found->type())) return call_named(*found, element, code, pos);
    stack::push(found);
    return Flow::normal;
}
}  // namespace

// The reads of short_path, with the block's item read inline: every call
// here is a tail call, so the hot read saves no registers.
Flow walk_get_path(const Cell& path, const Code& code, uint32_t& pos) {
    const NodeId node = path.data2;
    if (!g_trace_switch && node) {
        memory::SeriesBuffer* b = buf(node);
        const uint32_t head = head_of(path);
        const Cell* cells = b->head_cell() + head;
        if (b->used() == (uint64_t(head) + 2) * CELL && cells[0].is(TYPE_WORD)) {
            if (const Cell* first = context::bound_value(&cells[0])) {
                const Cell& element = cells[1];
                if (element.is(TYPE_INTEGER) && first->is(TYPE_BLOCK)) {
                    const Cell* item = pick_item(*first, element.as_int());
                    if (!function_type_q(item->type())) {  // a function: the walk calls it
                        stack::push(item);
                        return Flow::normal;
                    }
                } else if (element.is(TYPE_WORD)) {
                    return object_get_path(*first, element, path, code, pos);
                }
            }
        }
    }
    return walk_steps(path, code, pos, PathMode::get, false);
}

Flow eval_path(const Cell* path, const Cell* code, uint32_t* index, PathMode mode, bool push_mode,
               bool case_) {
    const Code source{code ? code->data2 : 0, UINT32_MAX};
    uint32_t pos = code && index ? *index : 0;
    const Cell p = *path;
    Cell* start = stack::g_top;
    if (Flow flow = walk_path(p, source, pos, mode, case_); flow != Flow::normal) return flow;
    if (code && index) *index = pos;
    if (!push_mode) {
        *stack::g_base = *start;
        stack::g_top = start;
    }
    return Flow::normal;
}

}  // namespace zun::interpreter
