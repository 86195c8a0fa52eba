// Reading and setting words and context fields for compiled code, with the
// "needs a value" and "has no value" rules.
#include "core/hashtable.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

namespace zun::support {

namespace {
const Cell* value_to_set(const Cell* name) {
    const Cell* value = stack::top();
    if (value->is(TYPE_UNSET)) fire_error(ErrorId::script_need_value, name);
    return value;
}
}  // namespace

void set_word(Cell* word) { word::set_value(word, value_to_set(word)); }

void set_word_reset(Cell* word) {
    set_word(word);
    stack::reset();
}

Cell* set_context_field(NodeId context, uint32_t i) {
    const Cell* value = value_to_set(word::context_word_at(context, i));
    return copy_cell(value, context_field(context, i));
}

Cell* set_context_field_reset(NodeId context, uint32_t i) {
    Cell* slot = set_context_field(context, i);
    stack::reset();
    return slot;
}

void set_object_field(NodeId context, uint32_t i) {
    Cell* slot = context_field(context, i);
    if (context::kind_of(context::cell_of(context)) == context::OBJECT_KIND)
        word::context_word_at(context, i)->header |= context::CHANGED_MARK;
    copy_cell(stack::top(), slot);
    stack::reset();
}

Cell* get_word(const Cell* word) {
    Cell* value = word::get_value(word);
    if (value->is(TYPE_UNSET)) fire_error(ErrorId::script_no_value, word);
    return value;
}

Cell* context_field(NodeId context, uint32_t i) { return context::field_address(context, i); }

void set_refinement(const Cell* refinement, uint32_t i, uint32_t count) {
    Cell* slot = stack::argument(int(i));
    if (logic::true_value_q(refinement)) {
        slot->data1 = 1;
        return;
    }
    for (uint32_t k = 1; k <= count; k++) slot[k] = make_cell(TYPE_NONE);
}

NodeId context_words_node(const Cell* context_cell) {
    return hashtable::table_of(context_cell->data1)->block;
}

memory::SeriesBuffer* context_words_buffer(const Cell* context_cell) {
    return memory::buffer_of(context_words_node(context_cell));
}

Cell* context_word(const Cell* context_cell, uint32_t i) {
    return context_words_buffer(context_cell)->head_cell() + i;
}

}  // namespace zun::support
