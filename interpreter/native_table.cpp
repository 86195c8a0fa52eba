#include "interpreter/native_table.hpp"

#include <algorithm>

#include "core/runtime.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

Entry g_table[TABLE_SIZE];
uint32_t g_next_index = 1;

namespace {
Cell* g_print_buffer = nullptr;
}  // namespace

void register_(uint32_t count, const Entry* entries) {
    constexpr int ASSERTION_FAILED = 98;
    if (count > TABLE_SIZE + 1 - g_next_index) runtime::fatal(ASSERTION_FAILED);
    for (uint32_t i = 0; i < count; i++) g_table[g_next_index - 1 + i] = entries[i];
    g_next_index += count;
}

Flow not_done(int, const int32_t*) { not_done_raise(); }

// Index order; a native whose code comes later holds not_done.
void init_table() {
    static const Entry entries[NATIVE_COUNT] = {
        /*   1 if .. forever */ if_, unless, either, any, all,
        while_, until, loop, repeat, forever,
        /*  11 foreach .. do */ foreach, forall, remove_each, func, function_,
        does, has, switch_, case_, do_,
        /*  21 get .. lesser-or-equal? */ get, set, print, prin, equal_q,
        not_equal_q, strict_equal_q, lesser_q, greater_q, lesser_or_equal_q,
        /*  31 greater-or-equal? .. parse */ greater_or_equal_q, same_q, not_, type_q, reduce,
        compose, stats, bind, in_, not_done,
        /*  41 union .. positive? */ not_done, not_done, not_done, not_done, not_done,
        not_done, not_done, not_done, not_done, not_done,
        /*  51 max .. arctangent */ not_done, not_done, not_done, not_done, not_done,
        not_done, not_done, not_done, not_done, not_done,
        /*  61 arctangent2 .. try */ not_done, not_done, not_done, not_done, not_done,
        not_done, not_done, not_done, not_done, try_,
        /*  71 uppercase .. return */ not_done, not_done, not_done, not_done, not_done,
        not_done, break_, continue_, exit_, return_,
        /*  81 throw .. new-line? */ throw_, catch_, not_done, not_done, not_done,
        not_done, not_done, not_done, not_done, not_done,
        /*  91 enbase .. zero? */ not_done, not_done, not_done, not_done, not_done,
        not_done, not_done, not_done, not_done, not_done,
        /* 101 size? .. apply */ not_done, not_done, not_done, not_done, recycle,
        transcode, not_done,
    };
    std::fill(g_table, g_table + TABLE_SIZE, nullptr);
    g_next_index = 1;
    g_print_buffer = block::make_in(nullptr, PRINT_BUFFER_CELLS);
    register_(NATIVE_COUNT, entries);
}

Cell* print_buffer() { return g_print_buffer; }

}  // namespace zun::natives
