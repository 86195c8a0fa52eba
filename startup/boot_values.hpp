// The values start-up gives the global words before any library code runs:
// the datatype words, the native! and action! values made from their spec
// blocks (startup/boot-specs.zun, embedded by the build), the base values,
// constants, typesets and colours, and the operators.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::boot_values {

// Start-up, once the stacks, the lexer and both entry tables exist: reads the
// embedded spec file and sets every word below, in this order.
void init();

// Each datatype word (integer! ...) gets its datatype! value.
void bind_datatype_words();

// From a block [natives: [name: [spec] ...] actions: [name: [spec] ...]]: the
// n-th native entry becomes native! n, the n-th action entry the action! of
// the n-th slot that has a dispatcher; each is set to its name word. Answers
// the number of natives and actions bound. The block must be reachable by the
// collector (on the value stack).
struct Counts {
    uint32_t natives = 0;
    uint32_t actions = 0;
};
Counts bind_functions(const Cell* specs);
// The same walk handing each entry to visit (the boot tool writes them).
using FunctionVisitor = void (*)(void* data, const Cell& name, uint32_t type, uint32_t index,
                                 const Cell& spec);
Counts visit_functions(const Cell* specs, FunctionVisitor visit, void* data);
// The key of the spec text among the texts start-up reads.
uint64_t specs_key();

// none, true, false, the character and number constants, the standard
// typesets and the named colours.
void bind_prologue_values();

// The infix operators, each made from the function its source word holds;
// an operator whose source word holds no function yet is left out.
void bind_operators();

}  // namespace zun::boot_values
