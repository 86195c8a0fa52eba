// The evaluator: blocks, expressions, infix operators and calls of every
// function kind.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/stack.hpp"

namespace zun::interpreter {

void init();  // code-position cell, tracer cell
Cell* code_position();

// chain: the result goes into the caller's slot 0, else it is left as the top value.
[[nodiscard]] Flow eval_block(const Cell* block, bool chain);
// One expression inside a frame, from *index (absolute cell index from the
// buffer's first cell) to the tail; *index is advanced.
[[nodiscard]] Flow eval_one_framed(const Cell* block, uint32_t* index, bool push_mode);
// do/next: the block's index is advanced in the cell.
[[nodiscard]] Flow eval_next(Cell* block);
// Calls a function value with argc argument cells (copied onto the stack) under
// a function frame; the result goes into the caller's slot 0 or is pushed
// (push_mode). For callbacks: sort comparators, change handlers, lexer and
// parse callbacks.
[[nodiscard]] Flow call_function(const Cell* function, const Cell* args, uint32_t argc, bool push_mode);

}  // namespace zun::interpreter
