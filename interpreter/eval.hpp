// The evaluator: blocks, expressions, infix operators and calls of every
// function kind.
//
// Positions in code are cell indexes from the buffer's first cell, never cell
// addresses: evaluation runs user code, which may allocate and move every
// buffer, so the code's buffer is read again after each call.
#pragma once
#include <csignal>
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/stack.hpp"

namespace zun::interpreter {

// Set by the console's Ctrl-C handler while a command runs: the evaluator
// halts the command (through the global `halt`) at its next expression.
extern volatile sig_atomic_t g_interrupt;

void init();  // code-position cell, tracer cell
// Notes the values the operator and action words hold now as the ones whose
// fast paths the evaluator takes (init does it too, after start-up binding).
void note_start_up_values();
// The block being evaluated at the running expression: a static cell that
// errors copy into near and the collector marks.
Cell* code_position();

// chain: the result goes into the caller's slot 0, else it is left as the top value.
[[nodiscard]] Flow eval_block(const Cell* block, bool chain);
// A loop's body once: eval_block chained.
[[nodiscard]] Flow eval_loop_body(const Cell* body);
// A loop's condition: eval_block chained, with no frame for a pure one (an
// integer comparison, say), which nothing could see.
[[nodiscard]] Flow eval_condition(const Cell* block);
// One expression inside a frame, from *index (absolute cell index from the
// buffer's first cell) to the tail; *index is advanced.
[[nodiscard]] Flow eval_one_framed(const Cell* block, uint32_t* index, bool push_mode);
// do/next: the block's index is advanced in the cell.
[[nodiscard]] Flow eval_next(Cell* block);
// Calls a function value with argc argument cells (copied onto the stack) under
// a function frame; the result goes into the caller's slot 0 or is pushed
// (push_mode). For callbacks: sort comparators, change handlers, lexer and
// parse callbacks. The frame is named by `name` (a word), else <anon>.
[[nodiscard]] Flow call_function(const Cell* function, const Cell* args, uint32_t argc, bool push_mode,
                                 const Cell* name = nullptr);

// One expression over just this value (do or reduce of a value that is not a
// block): a word gives its value, a path its target, a paren its last value.
// With functions_as_data a function value is the result, not called.
[[nodiscard]] Flow eval_value(const Cell* value, bool push_mode, bool functions_as_data);

// Where the arguments of a call come from: a block's cells up to its tail, or
// up to `limit` when that comes first. Node 0: no cells at all.
struct Code {
    NodeId node = 0;
    uint32_t limit = UINT32_MAX;
};

// Call flags (apply): any non-zero value marks an applied call, whose missing
// arguments at the end of the code become none!.
constexpr uint32_t CALL_APPLIED = 1;
constexpr uint32_t CALL_CODE_REFINEMENTS = 2;  // a refinement! then a value switching it
constexpr uint32_t CALL_ONE_CELL = 4;          // each argument is one cell, not an expression

struct CallOptions {
    const Cell* path = nullptr;  // its elements from path_index on name refinements
    uint32_t path_index = 0;
    const Cell* name = nullptr;   // the word naming the call
    const Cell* owner = nullptr;  // the object a method was reached through
    uint32_t flags = 0;
};

// Calls a native!, action!, function! or routine! (an op! is called as the
// function it wraps) with its arguments taken from the code at *index, which
// is advanced past them. code may be nullptr (no arguments available).
[[nodiscard]] Flow call_function_value(const Cell* function, const Cell* code, uint32_t* index,
                                       bool push_mode, const CallOptions& options);
// The same from inside the evaluator: the result is always pushed.
[[nodiscard]] Flow call_value(const Cell& function, const Code& code, uint32_t& pos,
                              const CallOptions& options, bool infix);

// A call with no path refinements, named by a word: the arguments the
// function's spec takes in order, as for a function held by a word.
[[nodiscard]] Flow call_named(const Cell& function, const Cell& name, const Code& code, uint32_t& pos);

// Runs the body of a function! whose frame, arguments and local slots are in
// place (the frame on top of the frame stack); the result is its slot 0.
[[nodiscard]] Flow exec_function(const Cell* function);

// The argument spec of a native!, action!, function!, routine! or op!: built on
// the first call and kept in its more-block; answers the block's node.
NodeId scan_function_spec(const Cell* function);

// Throws a status as a PendingFlow (interpreter/stack.hpp), as raise_flow does.
[[noreturn]] void raise_pending(Flow code);

// sort/compare with a function. The records are sorted in a copy that user
// code cannot reach, then written back: an error or other exit from the
// comparator leaves the series as it was.
// Blocks: records of `size` cells from cell `head` of the buffer; with `all`
// the comparator gets each record as a block, else its first cell.
void sort_block_with_function(const Cell* series, int32_t head, int32_t records, int32_t size,
                              bool all, const Cell* function, bool reverse, bool stable);
// Strings, binaries and vectors: records of `size` units from unit `head`;
// with `all` the comparator gets each record as a series of the same type,
// else its first unit as a char!.
void sort_string_with_function(const Cell* series, int32_t head, int32_t records, int32_t size,
                               bool all, const Cell* function, bool reverse, bool stable);

}  // namespace zun::interpreter
