// object!: a context of named fields with an owner value.
//
// Cell: word 1 the node of the object's context record (kind object, owner
// flag; its owner cell holds a copy of this cell), word 2 the class id (objects
// of one class have the same fields in the same order; 0 while under
// construction), word 3 the node of the object's on-set-info, 0 when it has
// neither handler field. error! and port! values are objects with their own
// type id.
//
// on-set-info: a block of two pair!-headed cells, the first for on-change*, the
// second for on-deep-change*: word 2 (field index << 16) | the handler's local
// count (field index 0xFFFF: no handler), word 3 the spec node the count was
// taken from.
//
// A Cell* answered into a values series or a word table is good until the next
// allocation. Handlers and spec evaluation run user code, which may allocate
// and move every buffer: nothing here holds a buffer pointer across them.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::object {

constexpr uint32_t NO_HANDLER = 0xFFFF;
constexpr uint32_t RUN_TIME_CLASS_BASE = 1000000;  // the first run-time id is one above
constexpr uint32_t START_UP_CLASS_BASE = 1000;

void register_type();

// Class ids. Objects made while start-up runs (the library's own shapes) take
// ids from a start-up counter in definition order; once start-up ends, ids come
// from the run-time counter, so the first object a script makes gets 1,000,001.
void init_class_ids();        // start-up counter, from its first id again
void end_startup_classes();   // the run-time counter, from its first id again
uint32_t new_class_id();

// The evaluator plugs in here. The block evaluator runs a block (a spec bound
// to a new object, the set-word form of make error!); a break or return status
// that leaves it goes on as an Unwind. The function runner runs the body of
// the function whose call frame, arguments and local slots are in place.
using BlockEvaluator = void (*)(Cell* block);
using FunctionRunner = void (*)(const Cell* function);
void set_block_evaluator(BlockEvaluator evaluator);
void set_function_runner(FunctionRunner runner);
// Runs a block through the installed evaluator; internal not-done without one.
// An empty block needs no evaluation.
void evaluate(Cell* block);

// Building. The cells given must not lie in a series buffer.
Cell* init_empty(Cell* cell, uint32_t n);
Cell* push(NodeId context, uint32_t class_id);
Cell* push_with_handlers(NodeId context, uint32_t class_id, NodeId on_set_info);
// For the object on top of the stack; -1 for an absent handler.
void finish_with_handlers(int32_t on_change, int32_t on_change_locals, int32_t on_deep_change,
                          int32_t on_deep_change_locals);
NodeId build_on_set_info(NodeId context);  // 0 when the context has no handler field
void install_handlers(Cell* object);
bool has_deep_handler_q(const Cell* object);
// Replaces an object's class id, keeping its owner cell in step.
void set_class(Cell* object, uint32_t class_id);

// Handlers. The arguments may lie anywhere: they are copied before anything runs.
void call_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value);
void fire_on_change(const Cell* object, const Cell* word);  // old: last stack cell, new: below
void fire_word_on_change(const Cell* word, const Cell* field_word);
void fire_on_deep_change(const Cell* owner, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index, int32_t part);

// Fields. Look-ups ignore letter case.
int32_t find_field(const Cell* object, const Cell* word);
Cell* select_word(const Cell* object, const Cell* word);  // the shared none cell when absent
Cell* word_at(NodeId context, uint32_t i);
Cell* first_word(const Cell* object);
Cell* word_of_value(const Cell* object, const Cell* value);  // nullptr outside the values
Cell* values_base(const Cell* object);
uint32_t field_count(const Cell* object);
bool word_object_of_class_q(const Cell* word, uint32_t class_id);
bool field_object_of_class_q(NodeId context, uint32_t i, uint32_t class_id);
void clear_changed_marks(NodeId context);
void clear_cell_marks(NodeId series);

// Bulk assignment (set on an object).
void set_from(const Cell* object, const Cell* source, bool any, bool only, bool some);
// Assignment without evaluation; true when the context gained words.
bool construct_words(NodeId context, const Cell* spec, bool only);
// construct: pushes the new object (the prototype may be none).
Cell* push_new(const Cell* prototype, const Cell* spec, bool only);
bool merge(NodeId target, NodeId source);
void copy_values(const Cell* source, const Cell* target, bool all);
// The function in field i becomes a copy whose body is bound to the object.
void rebind_function(NodeId context, uint32_t i);

// The copy of copy and of make error!: a new context, fresh handlers; the
// copy keeps the source's type and class id. result must not lie in a series.
Cell* copy_into(const Cell* source, Cell* result, bool deep, Cell* types);

// Writes the fields as form and mold do; answers the budget left.
int mold_fields(const Cell* object, Cell* buffer, bool only, bool all, bool flat, Cell* arg,
                int part, bool indent, int level, bool mold);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
void reflect(Cell* value, uint32_t field_symbol);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);
Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
Cell* put(Cell* series, Cell* key, Cell* value, bool case_);
Cell* modify(Cell* target, Cell* field, Cell* value, bool case_);

}  // namespace zun::object
