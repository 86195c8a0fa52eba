// function! and routine!: functions written in Zun and functions written in C++.
//
// function! cell: word 1 the node of its argument context (kind 1, values on
// the value stack while a call runs; the owner cell holds a copy of the
// function cell), word 2 the node of its spec block (head 0), word 3 the node of
// its more-block of five cells (the MORE_* indexes below). Header bit 9 marks an
// untraced function, bit 10 a traced one.
//
// routine! cell: the same layout with type id 29. Its more-block holds the body
// given by the maker, the entry index into the routine table and the return
// type; header bit 15 is kept for the maker, bits 25-29 hold the arity (the
// number of word! entries of the spec).
//
// Makers push the new value on the value stack and answer it there.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::function {

constexpr uint32_t NO_TRACE_FLAG = 0x200;
constexpr uint32_t TRACE_FLAG = 0x400;

// Cells of the more-block, counted from 0.
enum MoreCell : uint32_t {
    MORE_BODY = 0,         // body block (bound copy) or none
    MORE_ARGUMENTS = 1,    // the evaluator's argument-spec cache; absent unless a block!
    MORE_ENTRY = 2,        // integer! entry index of a compiled body or routine, else unset!
    MORE_OP_FUNCTION = 3,  // the function cell an op! wraps, else unset!
    MORE_OWNER = 4,        // integer! owner context of a method (a routine: its return type)
    MORE_CELLS = 5
};

void register_type();

// The spec grammar; answers the attribute flags (TRACE_FLAG, NO_TRACE_FLAG).
// Raises script bad-func-def, dup-vars or invalid-type-spec.
uint32_t validate_spec(const Cell* spec);
// The flags of an attribute block; -1 when it holds anything but words.
int32_t parse_attributes(const Cell* block);
void check_type_block(const Cell* block);
void check_duplicates(const Cell* spec);

// The local words of the `function` constructor: the body's set-words and loop
// words that the spec does not name, appended to the spec after /local (added
// when missing); a /extern part of the spec is cut off. Pushes the block of the
// collected words and answers it.
Cell* collect_locals(const Cell* spec, const Cell* body);
// 1 for /local plus the word! entries after it, counted from cell `from` of
// the spec's buffer; 0 without /local, or -1 when `require` is set.
int32_t count_locals(const Cell* spec, int32_t from, bool require);
// The local slots of a call: logic false for /local, then n - 1 none cells.
void push_locals(int32_t n);

// Builds and pushes a function!. body may be nullptr or none; context 0 makes
// one from the spec (and binds the body copy to it); entry 0 means no compiled
// body, owner 0 no owner. Answers the argument context.
NodeId push(const Cell* spec, const Cell* body, NodeId context, int32_t entry, NodeId owner,
            uint32_t flags);

// Spec cell of parameter n (from 0, over the word!, lit-word!, get-word! and
// refinement! entries) of the function named by the innermost call frame; the
// word <anon> when that name holds no function or n is past the last one.
Cell nth_parameter(int32_t n);

// The more-block cell i of a function, routine, native, action or op value;
// good until the next allocation.
Cell* more_cell(const Cell* value, uint32_t i);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
void reflect(Cell* value, uint32_t field_symbol);
// The value (on the stack) of any function kind becomes a deep copy of its
// spec block: changing what reflect answers must not change the function.
void reflect_spec(Cell* value);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::function

namespace zun::routine {

constexpr uint32_t CELL_ARGUMENTS_FLAG = 0x8000;  // header bit 15, set on the maker's request
constexpr uint32_t ARITY_SHIFT = 25;
constexpr uint32_t ARITY_MASK = 0x1Fu << ARITY_SHIFT;
constexpr int32_t NO_RETURN_TYPE = -1;

// What a C++ routine answers: the routine's return type (more-block cell
// MORE_OWNER) turns it into the call's value: logic! (non-zero is true) and
// integer! read `integer`, float! reads `number`. With NO_RETURN_TYPE the
// routine has written its result into args[0] itself and the answer is unused.
struct MachineResult {
    int32_t integer = 0;
    double number = 0.0;
};
// A routine's entry point: args are its arity argument cells on the value
// stack, first argument first (args[0] is also the result slot), already
// checked against the types its spec declares.
using Entry = MachineResult (*)(Cell* args);

constexpr uint32_t TABLE_SIZE = 256;
// Entry indexes start at 1; registering the same function again answers the
// same index, so equal entries are equal indexes.
uint32_t register_entry(Entry fn);
Entry entry(uint32_t index);  // nullptr when nothing is registered there

void register_type();

// Builds and pushes a routine!: the context comes from the spec, the body (or
// nullptr / none) is copied into more-block cell MORE_BODY, the entry index
// and the return type (or NO_RETURN_TYPE) are stored as integer!.
Cell* push(const Cell* spec, const Cell* body, uint32_t entry, int32_t return_type, bool flag);
inline uint32_t arity(const Cell* value) { return (value->header & ARITY_MASK) >> ARITY_SHIFT; }
void set_arity(Cell* value);

int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::routine
