// The parse engine: runs a rules block of the parse dialect over a string,
// binary or block input. One loop driven by a state variable; nested rule
// blocks and keyword arguments live as three-cell entries on the rule stack (a
// block! the engine owns), never on the machine stack.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/stack.hpp"

namespace zun::parser {

constexpr int32_t WORK_BLOCK_LIMIT = 10000;  // cells per work block

// Makes the two work blocks (input stack, rule stack) when the current memory
// manager has none yet; parse calls it itself.
void init();
Cell* input_stack();
Cell* rule_stack();

struct Options {
    int mode = 0;            // 0 case-insensitive, 2 case-sensitive
    bool has_limit = false;  // limit: an absolute index into the input
    int32_t limit = 0;
    const Cell* callback = nullptr;  // function! of parse/trace, or nullptr
};

// Runs the rules over the input; the result (logic!, or the block a top-level
// collect built) goes into *result, which must not lie in a series buffer. A
// break, return, exit or throw from a paren or the callback comes back as the
// status. The work blocks are left as they were found, on errors too.
[[nodiscard]] Flow parse(const Cell* input, const Cell* rules, const Options& options,
                         Cell* result);

}  // namespace zun::parser
