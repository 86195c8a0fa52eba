// Ownership: series and objects held in the fields of objects with change
// handlers report their modifications to the owner.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::ownership {

// Tells the owner of the target (when it has one with change handlers) about a
// modification: the action word, the new value or nullptr, the 0-based index
// and the part count. Answers 1 when a handler was called.
int check_owner(const Cell* target, const Cell* action_word, const Cell* new_value,
                int32_t index, int32_t part);

}  // namespace zun::ownership
