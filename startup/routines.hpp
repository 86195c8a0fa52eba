// The routine! values start-up binds to global words: the environment routines
// (quit-return ... write-stdout) and the type and typeset predicates (block?
// ... planar?). Their bodies are C++; their specs are the ones scripts see.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::routines {

// After the natives, actions and prologue values are bound: makes each
// routine and sets its global word, environment routines first.
void bind_all();

}  // namespace zun::routines
