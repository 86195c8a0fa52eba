#include "interpreter/native_table.hpp"

#include "core/runtime.hpp"

namespace zun::natives {

Entry g_table[TABLE_SIZE];
uint32_t g_next_index = 1;

void register_(uint32_t count, const Entry* entries) {
    constexpr int ASSERTION_FAILED = 98;
    if (count > TABLE_SIZE + 1 - g_next_index) runtime::fatal(ASSERTION_FAILED);
    for (uint32_t i = 0; i < count; i++) g_table[g_next_index - 1 + i] = entries[i];
    g_next_index += count;
}

}  // namespace zun::natives
