#include "core/ownership.hpp"

namespace zun::ownership {

// Owners are recorded by objects with change handlers, which do not exist yet:
// until they do, no series has an owner to tell.
int check_owner(const Cell*, const Cell*, const Cell*, int32_t, int32_t) { return 0; }

}  // namespace zun::ownership
