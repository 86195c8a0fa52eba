// Path evaluation: the walk of path!, get-path! and set-path! values, each step
// delegated to the eval-path action of the type of the value reached so far.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"

namespace zun::interpreter {

enum class PathMode : uint8_t {
    get,          // path!: a function reached on the way is called
    get_no_call,  // get-path!
    set,          // set-path!: assigns slot 0 of the current frame
};

// Walks the path. A function it calls takes its arguments from the code at
// *index, which is advanced past them (code nullptr: none available). The
// result is pushed (push_mode) or written into slot 0 of the current frame.
[[nodiscard]] Flow eval_path(const Cell* path, const Cell* code, uint32_t* index, PathMode mode,
                             bool push_mode, bool case_);
// The same from inside the evaluator: the result is always pushed.
[[nodiscard]] Flow walk_path(const Cell& path, const Code& code, uint32_t& pos, PathMode mode,
                             bool case_);
// walk_path for a path met in code, in get mode: three arguments leave the
// short reads registers enough to need no saves.
[[nodiscard]] Flow walk_get_path(const Cell& path, const Code& code, uint32_t& pos);
// Each collection and each fresh start: the object fields remembered for
// short paths may name contexts whose nodes are reused.
void forget_remembered_fields();

}  // namespace zun::interpreter
