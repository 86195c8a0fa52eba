#include "core/support.hpp"
#include "services/zunbin.hpp"
#include "services/zunbin_state.hpp"
namespace zun::zunbin {
Cell* encode(const Cell*) { support::fire_error(ErrorId::internal_not_done); }
}  // namespace zun::zunbin
