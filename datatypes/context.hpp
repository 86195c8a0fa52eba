// symbol! and context!: the internal types under every word and object.
//
// A context record is a block of two cells reached through its node: the
// context! cell (word 1 the word table, word 2 the values series node, or, with
// the stack flag, the value-stack cell index + 1 of the running call's first
// argument, 0 while no call runs) and the owner value (an object or function,
// unset! until one claims it). Contexts are passed by node: their cells move.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"
#include "core/hashtable.hpp"
#include "interpreter/stack.hpp"

namespace zun::symbol {
void register_type();
// The id of the first-registered written form that differs only in case (the
// symbol's own id when it is the first). Words hash and bind by it.
uint32_t canonical(uint32_t id);
}  // namespace zun::symbol

namespace zun::context {

constexpr uint32_t KIND_SHIFT = 11;
constexpr uint32_t KIND_MASK = 3u << KIND_SHIFT;
constexpr uint32_t STACK_FLAG = 1u << 22;  // values live on the value stack
constexpr uint32_t OWNER_FLAG = 1u << 24;  // cell 2 holds the owner value
constexpr uint32_t CHANGED_MARK = 1u << 13;  // on an object's word once assigned
constexpr uint32_t NO_INDEX = 0xFFFFFFFF;    // a word not yet located
enum Kind : uint32_t { GLOBAL_KIND = 0, FUNCTION_KIND = 1, OBJECT_KIND = 2 };

void register_type();

// The global context: made once at start-up, a collector root.
void init_global(uint32_t size);
NodeId global();

// A context's record and values series never have room before their first
// cell, so their cells start at the buffer's data.
// The record's cells; good until the next allocation.
inline Cell* cell_of(NodeId context) { return memory::buffer_of(context)->cells(); }
// The global context and its values series, whose node stays for its life.
extern NodeId g_global_context;
extern NodeId g_global_values;
inline Cell* owner_of(NodeId context) { return cell_of(context) + 1; }
inline uint32_t kind_of(const Cell* context_cell) {
    return (context_cell->header & KIND_MASK) >> KIND_SHIFT;
}
inline NodeId word_block(NodeId context) { return hashtable::table_of(cell_of(context)->data1)->block; }
uint32_t word_count(NodeId context);

NodeId create(uint32_t size, bool stack, bool owner, NodeId word_block, uint32_t kind);
NodeId from_spec(const Cell* spec, bool stack, bool owner, uint32_t kind);
// The value (word 1 a context node, outside any series) gets a context of its own.
void clone(Cell* value, uint32_t kind);

// Look-ups and additions. The case flag compares canonical symbols.
int32_t find_word(NodeId context, uint32_t symbol, bool case_);
// Find-or-add: -1 when the symbol was added, its index then in *index.
int32_t find_symbol(NodeId context, uint32_t symbol, bool case_, int32_t* index);
int32_t add_word(NodeId context, const Cell* word);
Cell* add_word_value(NodeId context, const Cell* word, const Cell* value);
Cell* put_value(NodeId context, const Cell* word, const Cell* value);
bool collect_set_words(NodeId context, const Cell* block);

// Binds the words of a block, and of the blocks and paths inside it, in place.
Cell* bind_block(Cell* block, NodeId context, bool self);

// Assignment. A word with index -1 is located first; when that adds it to the
// context (which allocates and may move the word's series) the index is written
// back only into a word on the value stack, so the others locate it next time.
// With the event flag an object's on-change* handler runs, and may run any code.
Cell* set_word_value(Cell* word, const Cell* value, NodeId context, bool event);
// The symbol of "self": a self word with index -1 means the context's owner.
uint32_t self_symbol();
// The rare cases: index -1 (self means the owner), no values, no binding.
Cell* value_address_slow(const Cell* word, NodeId context);
// The hottest path of the interpreter: no allocation, a few loads.
// A context's values: where they start (nullptr when it has none) and how
// many there are (ANY_COUNT for a stack context, whose values are the running
// call's). The global context and the running function's are found without
// reading their record. Good until the next allocation.
constexpr uint32_t ANY_COUNT = 0xFFFFFFFF;
struct Values {
    Cell* first;
    uint32_t count;
};
// A context's values as its record tells them (the running function's and
// the global context are found faster by values_of).
[[gnu::always_inline]] inline Values record_values(NodeId context) {
    const Cell* c = cell_of(context);
    if (!c->data2) return {nullptr, 0};
    if (c->header & STACK_FLAG) return {stack::values_cell(c->data2), ANY_COUNT};
    memory::SeriesBuffer* b = memory::buffer_of(c->data2);
    return {b->cells(), uint32_t(b->used() / sizeof(Cell))};
}
inline Values values_of(NodeId context) {
    if (context == stack::g_values_context) return {stack::values_cell(stack::g_values_word), ANY_COUNT};
    if (context != g_global_context) return record_values(context);
    memory::SeriesBuffer* b = memory::buffer_of(g_global_values);
    return {b->cells(), uint32_t(b->used() / sizeof(Cell))};
}
// The running function's value at index: only while its context is
// g_values_context, whose values word is then never 0.
inline Cell* running_value(uint32_t index) {
    return stack::g_bottom + (size_t(stack::g_values_word) - 1 + index);
}
// The global values' cells, and how many (their head is their data).
inline memory::SeriesBuffer* global_values() { return memory::buffer_of(g_global_values); }
// The cases value_address leaves out of line: a context other than the
// running function's and the global one, and the errors.
Cell* value_address_rest(const Cell* word, NodeId context);
// Inline for the running function's words and the global ones; the calling
// paths are too big for the compiler to inline this on its own.
[[gnu::always_inline]] inline Cell* value_address(const Cell* word, NodeId context) {
    const uint32_t index = word->data3;
    if (index != NO_INDEX) [[likely]] {
        if (context == stack::g_values_context) return running_value(index);
        if (context == g_global_context) return global_values()->cells() + index;
    }
    return value_address_rest(word, context);
}
// The value of a word bound to a context that has values, else nullptr;
// never raises.
Cell* bound_value_rest(const Cell* word);
[[gnu::always_inline]] inline Cell* bound_value(const Cell* word) {
    const NodeId context = word->data1;
    const uint32_t index = word->data3;
    if (context == stack::g_values_context && index != NO_INDEX) return running_value(index);
    if (context == g_global_context) {
        memory::SeriesBuffer* b = global_values();
        return index < b->used() / sizeof(Cell) ? b->cells() + index : nullptr;
    }
    return bound_value_rest(word);
}
// nullptr when the context (the global one for a stack context) lacks the symbol.
Cell* find_word_value(uint32_t symbol, NodeId context);
// The global context's word for the symbol, added with an unset! value when
// missing; good until the next allocation.
Cell* global_word(uint32_t symbol, bool case_, bool variant);
// The context's word for the symbol (exact), else the global one.
Cell resolve_symbol(NodeId context, uint32_t symbol);

// Values by index, as compiled code addresses fields and locals.
Cell* field_address(NodeId context, uint32_t i);
Cell* push_value_at(NodeId context, uint32_t i);
Cell* set_field(NodeId context, uint32_t i);
Cell* swap_field(NodeId context, uint32_t i);

// The object! module installs the call of an object's on-change* handler.
using ChangeNotifier = void (*)(Cell* owner, Cell* word, Cell* old_value, Cell* new_value);
void set_change_notifier(ChangeNotifier notifier);

}  // namespace zun::context
