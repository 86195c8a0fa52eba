#include "core/support.hpp"
#include "services/zunbin_compact.hpp"
#include "services/zunbin_state.hpp"
namespace zun::zunbin {
void decode_word_aligned(const uint8_t*, const uint8_t*, Cell*, bool) {
    support::fire_error(ErrorId::internal_not_done);
}
}  // namespace zun::zunbin
