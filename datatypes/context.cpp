#include "datatypes/context.hpp"

#include <algorithm>

#include "core/collector.hpp"
#include "core/hashtable.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/word.hpp"

namespace zun::symbol {
void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, E, E, E, E,
        /*  9 */ own<A_COMPARE>(&compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_SYMBOL, 0, "symbol!", slots);
}
}  // namespace zun::symbol

namespace zun::context {

namespace {
NodeId g_global = 0;
}  // namespace
NodeId g_global_context = 0xFFFFFFFF;
NodeId g_global_values = 0;
namespace {
ChangeNotifier g_notifier = nullptr;

constexpr uint32_t CELL = sizeof(Cell);

Cell* store(Cell* slot, const Cell& value) {
    *slot = value;
    return slot;
}

uint32_t cells_in(NodeId node) { return memory::buffer_of(node)->used() / CELL; }
Cell* values_of(const Cell* context_cell) {
    return memory::buffer_of(context_cell->data2)->head_cell();
}

// Sets a cell series to n unset! cells, growing it when its room is short.
void set_unset_length(NodeId node, uint32_t n) {
    memory::SeriesBuffer* b = memory::buffer_of(node);
    uint64_t bytes = uint64_t(n) * CELL;
    if (b->head + bytes > b->size) b = memory::expand_series(b, int64_t(b->head + bytes));
    Cell* cells = b->head_cell();
    for (uint32_t i = b->used() / CELL; i < n; i++) cells[i] = make_cell(TYPE_UNSET);
    b->tail = b->head + uint32_t(bytes);
}

void mark_changed(NodeId context, uint32_t i) {
    if (kind_of(cell_of(context)) == OBJECT_KIND) word::context_word_at(context, i)->header |= CHANGED_MARK;
}

[[noreturn]] void fire_not_defined_at(NodeId context, uint32_t i) {
    Cell name = *word::context_word_at(context, i);
    support::fire_error(ErrorId::script_not_defined, &name);
}

// Value cell i wherever the values live; not-defined when they live nowhere.
Cell* slot_at(NodeId context, uint32_t i) {
    const Cell* c = cell_of(context);
    if (!c->data2) fire_not_defined_at(context, i);
    if (c->header & STACK_FLAG) return stack::values_cell(c->data2) + i;
    return values_of(c) + i;
}

// Assignment in an object whose owner has change handlers: the old value stays
// on the stack while the handler runs (it may run any code, so the slot is
// found again afterwards).
Cell* store_notifying(NodeId context, const Cell* word, const Cell& value, uint32_t index) {
    if (!g_notifier) not_done_raise();
    Cell* saved_top = stack::g_top;
    Cell* slot = values_of(cell_of(context)) + index;
    Cell* old_value = stack::push(slot);
    *slot = value;
    Cell owner = *owner_of(context);
    Cell name = *word;
    Cell new_value = value;
    g_notifier(&owner, &name, old_value, &new_value);
    stack::g_top = saved_top;
    return values_of(cell_of(context)) + index;
}

void bind_cells(NodeId node, uint32_t head, NodeId context, bool self);

void bind_cell(Cell* cell, NodeId context, bool self) {
    switch (cell->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_PATH: case TYPE_LIT_PATH:
        case TYPE_SET_PATH: case TYPE_GET_PATH:
            if (cell->data2) bind_cells(cell->data2, cell->data1, context, self);
            return;
        case TYPE_WORD:
            if (self && cell->data2 == self_symbol()) {
                cell->data1 = context;
                cell->data3 = NO_INDEX;
                return;
            }
            word::bind_to(context, cell);
            return;
        case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
            word::bind_to(context, cell);
            return;
        default:
            return;
    }
}

// Binding only reads the word tables, so nothing allocates below and the raw
// cell pointers stay good (too-deep throws before any pointer is taken).
void bind_cells(NodeId node, uint32_t head, NodeId context, bool self) {
    if (cycles::find(node)) return;
    cycles::push(node);
    memory::SeriesBuffer* b = memory::buffer_of(node);
    Cell* end = b->tail_cell();
    for (Cell* cell = b->head_cell() + head; cell < end; ++cell) bind_cell(cell, context, self);
    cycles::pop();
}
}  // namespace

void register_type() {
    g_global_context = 0xFFFFFFFF;  // a new runtime: no global context yet
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, E, E, E, E,
        /*  9 */ E, E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_CONTEXT, 0, "context!", slots);
}

void init_global(uint32_t size) {
    g_global = create(size, false, false, 0, GLOBAL_KIND);
    g_global_values = cell_of(g_global)->data2;
    g_global_context = g_global;
}
NodeId global() { return g_global; }
uint32_t self_symbol() { return sym::id(sym::self); }

uint32_t word_count(NodeId context) { return cells_in(word_block(context)); }

// Each part is reachable from the held record before the next allocation: the
// word block through a block! cell in the record, then the table and values
// through the context! cell.
NodeId create(uint32_t size, bool stack_flag, bool owner_flag, NodeId words, uint32_t kind) {
    if (size == 0) size = 1;
    NodeId record = memory::alloc_unset_cells(2);
    memory::buffer_of(record)->tail = 2 * CELL;
    Cell* held = symbols::hold(make_cell(TYPE_BLOCK, 0, record, 0));
    if (!words) words = memory::alloc_cells(size);
    *cell_of(record) = make_cell(TYPE_BLOCK, 0, words, 0);
    NodeId table = hashtable::make(size, words, hashtable::KIND_WORDS, 0);
    uint32_t header = TYPE_CONTEXT | (stack_flag ? STACK_FLAG : 0) | (kind << KIND_SHIFT) |
                      (owner_flag ? OWNER_FLAG : 0);
    *cell_of(record) = make_cell(header, table, 0, 0);
    if (!stack_flag) {
        // Values stay in step with the words a given block brings.
        uint32_t n = cells_in(words);
        NodeId values = memory::alloc_unset_cells(std::max(size, n));
        memory::SeriesBuffer* b = memory::buffer_of(values);
        b->tail = b->head + n * CELL;
        cell_of(record)->data2 = values;
    }
    symbols::release(held);
    return record;
}

NodeId from_spec(const Cell* spec, bool stack_flag, bool owner_flag, uint32_t kind) {
    const Cell s = *spec;
    uint32_t total = cells_in(s.data2);
    uint32_t size = s.data1 < total ? total - s.data1 : 0;
    NodeId context = create(size, stack_flag, owner_flag, 0, kind);
    Cell* held = symbols::hold(make_cell(TYPE_BLOCK, 0, context, 0));
    uint32_t counted = 0;
    for (uint32_t i = 0; i < cells_in(s.data2); i++) {
        Cell c = memory::buffer_of(s.data2)->head_cell()[i];
        if (!c.is(TYPE_WORD) && !c.is(TYPE_GET_WORD) && !c.is(TYPE_LIT_WORD) &&
            !c.is(TYPE_REFINEMENT))
            continue;
        int32_t index;
        find_symbol(context, c.data2, true, &index);
        counted++;
    }
    // The walk starts at the buffer's first cell, not at the spec's head, so the
    // count may pass the room made for the spec's length.
    if (!stack_flag) set_unset_length(cell_of(context)->data2, counted);
    symbols::release(held);
    return context;
}

void clone(Cell* value, uint32_t kind) {
    NodeId old = value->data1;
    uint32_t n = word_count(old);
    NodeId copy = memory::alloc_cells(std::max<uint32_t>(n, 1));
    Cell* held = symbols::hold(make_cell(TYPE_BLOCK, 0, copy, 0));
    const Cell* from = memory::buffer_of(word_block(old))->head_cell();
    memory::SeriesBuffer* to = memory::buffer_of(copy);
    std::copy(from, from + n, to->head_cell());
    to->tail = to->head + n * CELL;
    uint32_t header = cell_of(old)->header;
    NodeId fresh = create(n, header & STACK_FLAG, header & OWNER_FLAG, copy, kind);
    Cell* words = memory::buffer_of(word_block(fresh))->head_cell();
    for (uint32_t i = 0; i < n; i++) words[i].data1 = fresh;
    symbols::release(held);
    value->data1 = fresh;
}

int32_t find_word(NodeId context, uint32_t symbol, bool case_) {
    int32_t unused;
    return hashtable::context_word_index(cell_of(context)->data1, symbol, case_, 0, &unused);
}

int32_t find_symbol(NodeId context, uint32_t symbol, bool case_, int32_t* index) {
    return hashtable::context_word_index(cell_of(context)->data1, symbol, case_, context, index);
}

int32_t add_word(NodeId context, const Cell* word) {
    int32_t index;
    int32_t found = find_symbol(context, word->data2, true, &index);
    if (found >= 0) return found;
    const Cell* c = cell_of(context);
    if (!(c->header & STACK_FLAG) && c->data2) support::alloc_tail_cell(c->data2);
    return index;
}

Cell* add_word_value(NodeId context, const Cell* word, const Cell* value) {
    Cell v = *value;  // it may lie in a series the additions move
    GcRoot keep(&v);
    int32_t index;
    if (find_symbol(context, word->data2, true, &index) >= 0) return nullptr;
    const Cell* c = cell_of(context);
    if ((c->header & STACK_FLAG) || !c->data2) return nullptr;  // no values series to grow
    Cell* slot = support::alloc_tail_cell(c->data2);
    *slot = v;
    return slot;
}

Cell* put_value(NodeId context, const Cell* word, const Cell* value) {
    Cell v = *value;
    GcRoot keep(&v);
    int32_t index = add_word(context, word);
    Cell* slot = slot_at(context, uint32_t(index));
    *slot = v;
    return slot;
}

bool collect_set_words(NodeId context, const Cell* block) {
    const Cell b = *block;
    uint32_t before = word_count(context);
    for (uint32_t i = b.data1; i < cells_in(b.data2); i++) {
        Cell c = memory::buffer_of(b.data2)->head_cell()[i];
        if (c.is(TYPE_SET_WORD)) add_word(context, &c);
    }
    return word_count(context) > before;
}

Cell* bind_block(Cell* block, NodeId context, bool self) {
    if (block->data2) bind_cells(block->data2, block->data1, context, self);
    return block;
}

Cell* set_word_value(Cell* word, const Cell* value, NodeId context, bool event) {
    const Cell v = *value;  // it may lie in a series an addition moves
    if (!context) support::fire_error(ErrorId::script_not_defined, word);
    uint32_t index = word->data3;
    if (index == NO_INDEX) {
        int32_t found = find_word(context, word->data2, false);
        if (found >= 0) {
            index = word->data3 = uint32_t(found);
        } else {
            // Adding allocates: the index goes back only into a word that
            // cannot move (on the value stack).
            const Cell w = *word;
            index = uint32_t(add_word(context, &w));
            if (word >= stack::g_bottom && word < stack::g_end) word->data3 = index;
        }
    }
    const Cell* c = cell_of(context);
    if (!c->data2) support::fire_error(ErrorId::script_not_defined, word);
    if (c->header & STACK_FLAG) return store(stack::values_cell(c->data2) + index, v);
    if (kind_of(c) == OBJECT_KIND) {
        word::context_word_at(context, index)->header |= CHANGED_MARK;
        if (event && owner_of(context)->data3) return store_notifying(context, word, v, index);
    }
    return store(values_of(cell_of(context)) + index, v);
}

Cell* value_address_rest(const Cell* word, NodeId context) {
    const uint32_t index = word->data3;
    if (index != NO_INDEX && context) {
        if (Cell* first = record_values(context).first) return first + index;
    }
    return value_address_slow(word, context);
}

Cell* bound_value_rest(const Cell* word) {
    const NodeId context = word->data1;
    const uint32_t index = word->data3;
    if (!context || index == NO_INDEX) return nullptr;
    const Values v = record_values(context);
    return v.first && index < v.count ? v.first + index : nullptr;
}

Cell* value_address_slow(const Cell* word, NodeId context) {
    if (word->data3 == NO_INDEX) {
        if (word->data1 && word->data2 == self_symbol()) return owner_of(word->data1);
        support::fire_error(ErrorId::script_no_value, word);
    }
    if (!context) support::fire_error(ErrorId::script_not_defined, word);
    support::fire_error(ErrorId::script_not_in_context, word);
}

Cell* find_word_value(uint32_t symbol, NodeId context) {
    if (cell_of(context)->header & STACK_FLAG) context = g_global;
    int32_t index = find_word(context, symbol, true);
    if (index < 0) return nullptr;
    const Cell w = *word::context_word_at(context, uint32_t(index));
    return value_address(&w, context);
}

Cell* global_word(uint32_t symbol, bool case_, bool variant) {
    int32_t index;
    int32_t found = find_symbol(g_global, symbol, case_, &index);
    if (found < 0) {
        uint32_t canonical = symbol::canonical(symbol);
        // Only a canonical form already present can share its value.
        int32_t shared = canonical != symbol ? find_word(g_global, canonical, false) : -1;
        if (shared >= 0) word::context_word_at(g_global, uint32_t(index))->data3 = uint32_t(shared);
        support::alloc_tail_cell(cell_of(g_global)->data2);
        return word::context_word_at(g_global, uint32_t(index));
    }
    Cell* w = word::context_word_at(g_global, uint32_t(found));
    if (!(case_ && variant) || w->data2 == symbol) return w;
    Cell copy = *w;
    copy.data2 = symbol;
    return store(support::append_cell(symbols::root_block()), copy);
}

Cell resolve_symbol(NodeId context, uint32_t symbol) {
    if (context) {
        int32_t index = find_word(context, symbol, false);
        if (index >= 0) return *word::context_word_at(context, uint32_t(index));
    }
    Cell w = *global_word(symbol, true, false);
    w.data2 = symbol;
    return w;
}

Cell* field_address(NodeId context, uint32_t i) { return slot_at(context, i); }

Cell* push_value_at(NodeId context, uint32_t i) { return stack::push(slot_at(context, i)); }

Cell* set_field(NodeId context, uint32_t i) {
    Cell* slot = slot_at(context, i);
    mark_changed(context, i);
    return support::copy_cell(stack::top(), slot);
}

Cell* swap_field(NodeId context, uint32_t i) {
    const Cell last = *stack::top();
    Cell* slot = slot_at(context, i);
    stack::push(slot);
    mark_changed(context, i);
    return store(slot, last);
}

void set_change_notifier(ChangeNotifier notifier) { g_notifier = notifier; }

}  // namespace zun::context
