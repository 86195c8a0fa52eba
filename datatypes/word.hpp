// The word family: word!, set-word!, lit-word!, get-word!, refinement! and issue!.
//
// Cell: word 1 the node of the context the word is bound to (0 = unbound),
// word 2 the symbol id (its own written form), word 3 the index in that context
// (-1 = not yet located; a self word bound by context::bind_block keeps -1 and
// means the context's owner). Makers that answer a Cell* into a series answer a
// pointer good until the next allocation.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/context.hpp"

namespace zun::word {

void register_type();

inline bool any_word_type_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }
inline Cell make_value(uint32_t type, NodeId context, uint32_t symbol, uint32_t index) {
    return make_cell(type, context, symbol, index);
}

// Global words. While the keep-words flag is set, the answer is a stable copy
// in the root block.
Cell* make_global(const char* name);
Cell* make_global_from_symbol(uint32_t symbol);
// The cell must not lie in a series: the word may be added to the context.
Cell* init_global(uint32_t symbol, Cell* cell);
Cell* append_global(uint32_t symbol, const Cell* block);
Cell* append_global_name(const char* name, const Cell* block);
Cell* push_global(uint32_t symbol);

Cell* push_cell(const Cell* cell);
Cell* push_context_word(NodeId context, uint32_t i);
inline Cell* context_word_at(NodeId context, uint32_t i) {
    return memory::buffer_of(context::word_block(context))->head_cell() + i;
}
Cell* symbol_record(const Cell* word);

// Binds the word when the context holds its symbol (any case); its index or -1.
int32_t bind_to(NodeId context, Cell* word);
inline Cell* get_value(const Cell* word) { return context::value_address(word, word->data1); }
Cell* set_value(Cell* word, const Cell* value);
// The value cell that a set of the word fills directly: a function's, the
// global context's, or an object's field (marked as assigned) when the
// object has no on-change handler; nullptr when set_value must run (a
// handler, a word not yet located, the setter's errors).
// plain_target for a word of a context other than the running function's
// and the global one.
Cell* record_target(NodeId context, uint32_t index);
[[gnu::always_inline]] inline Cell* plain_target(const Cell* word) {
    const NodeId context = word->data1;
    const uint32_t index = word->data3;
    if (!context || index == context::NO_INDEX) return nullptr;
    // The running function's values, then the global ones, then the record.
    if (context == stack::g_values_context) return stack::values_cell(stack::g_values_word) + index;
    if (context != context::g_global_context) return record_target(context, index);
    memory::SeriesBuffer* b = memory::buffer_of(context::g_global_values);
    return index < b->used() / sizeof(Cell) ? b->cells() + index : nullptr;
}
Cell* push_value(const Cell* word);  // script no-value when unset!
void set_from_args();                // argument 0 the word, 1 the value
Cell* push_as_string(const Cell* word);
uint32_t scan_name(const Cell* word);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);  // also to
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
void index_q();

}  // namespace zun::word

namespace zun::set_word {
void register_type();
Cell* push_from(const Cell* cell);
}  // namespace zun::set_word

namespace zun::lit_word {
void register_type();
Cell* push_from(const Cell* cell);
}  // namespace zun::lit_word

namespace zun::get_word {
void register_type();
Cell* push_from(const Cell* cell);
Cell* push_context_word(NodeId context, uint32_t i);
Cell* push_value(const Cell* word);  // no unset! check
}  // namespace zun::get_word

namespace zun::refinement {
void register_type();
Cell* push_from(const Cell* cell);
Cell* push_context_word(NodeId context, uint32_t i);
// An unbound refinement appended to the root block.
Cell* append_from_cstring(const char* name);
}  // namespace zun::refinement

namespace zun::issue {
void register_type();
Cell* push_from(const Cell* cell);
// Bound to the global context with index -1. The cell must not lie in a series.
Cell* init_from_cstring(Cell* cell, const char* name);
// Appended to the root block while the keep-words flag is set, else pushed.
Cell* push_from_cstring(const char* name);
Cell* make(Cell* proto, Cell* spec, int type);  // also to
int compare(Cell* value1, Cell* value2, int op);
}  // namespace zun::issue
