// Shared by the event! modules: words by name and the shared flags block.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::event::detail {

// The global word of the name, pushed.
Cell* push_word(const char* name);
// The flags of payload 3 as words, in the order event/flags lists them,
// refilled into the one shared block, which is pushed.
Cell* push_flags(uint32_t payload3);
// The block of a made event, copied cell i (0-3); nullptr when it has none.
bool made_value(const Cell* event, int i, Cell* out);
// Field readers of OS events: the message-dependent fields.
Cell* push_os_field(const Cell* event, int field);

}  // namespace zun::event::detail
