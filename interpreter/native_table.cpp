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

// Index order, one native a line; a native whose code comes later holds
// not_done.
void init_table() {
    static const Entry entries[NATIVE_COUNT] = {
        /*   1 if */ if_,
        /*   2 unless */ unless,
        /*   3 either */ either,
        /*   4 any */ any,
        /*   5 all */ all,
        /*   6 while */ while_,
        /*   7 until */ until,
        /*   8 loop */ loop,
        /*   9 repeat */ repeat,
        /*  10 forever */ forever,
        /*  11 foreach */ foreach,
        /*  12 forall */ forall,
        /*  13 remove-each */ remove_each,
        /*  14 func */ func,
        /*  15 function */ function_,
        /*  16 does */ does,
        /*  17 has */ has,
        /*  18 switch */ switch_,
        /*  19 case */ case_,
        /*  20 do */ do_,
        /*  21 get */ get,
        /*  22 set */ set,
        /*  23 print */ print,
        /*  24 prin */ prin,
        /*  25 equal? */ equal_q,
        /*  26 not-equal? */ not_equal_q,
        /*  27 strict-equal? */ strict_equal_q,
        /*  28 lesser? */ lesser_q,
        /*  29 greater? */ greater_q,
        /*  30 lesser-or-equal? */ lesser_or_equal_q,
        /*  31 greater-or-equal? */ greater_or_equal_q,
        /*  32 same? */ same_q,
        /*  33 not */ not_,
        /*  34 type? */ type_q,
        /*  35 reduce */ reduce,
        /*  36 compose */ compose,
        /*  37 stats */ stats,
        /*  38 bind */ bind,
        /*  39 in */ in_,
        /*  40 parse */ parse,
        /*  41 union */ union_,
        /*  42 intersect */ intersect,
        /*  43 unique */ unique,
        /*  44 difference */ difference,
        /*  45 exclude */ exclude,
        /*  46 complement? */ complement_q,
        /*  47 dehex */ dehex,
        /*  48 enhex */ enhex,
        /*  49 negative? */ negative_q,
        /*  50 positive? */ positive_q,
        /*  51 max */ max_,
        /*  52 min */ min_,
        /*  53 shift */ shift,
        /*  54 to-hex */ to_hex,
        /*  55 sine */ sine,
        /*  56 cosine */ cosine,
        /*  57 tangent */ tangent,
        /*  58 arcsine */ arcsine,
        /*  59 arccosine */ arccosine,
        /*  60 arctangent */ arctangent,
        /*  61 arctangent2 */ arctangent2,
        /*  62 NaN? */ nan_q,
        /*  63 log-2 */ log_2,
        /*  64 log-10 */ log_10,
        /*  65 log-e */ log_e,
        /*  66 exp */ exp_,
        /*  67 square-root */ square_root,
        /*  68 construct */ construct,
        /*  69 value? */ value_q,
        /*  70 try */ try_,
        /*  71 uppercase */ uppercase,
        /*  72 lowercase */ lowercase,
        /*  73 as-pair */ as_pair,
        /*  74 as-point2D */ as_point2D,
        /*  75 as-point3D */ as_point3D,
        /*  76 as-money */ as_money,
        /*  77 break */ break_,
        /*  78 continue */ continue_,
        /*  79 exit */ exit_,
        /*  80 return */ return_,
        /*  81 throw */ throw_,
        /*  82 catch */ catch_,
        /*  83 extend */ extend,
        /*  84 debase */ debase,
        /*  85 to-local-file */ to_local_file,
        /*  86 wait */ wait,
        /*  87 checksum */ checksum,
        /*  88 unset */ unset,
        /*  89 new-line */ new_line,
        /*  90 new-line? */ new_line_q,
        /*  91 enbase */ enbase,
        /*  92 context? */ context_q,
        /*  93 set-env */ set_env,
        /*  94 get-env */ get_env,
        /*  95 list-env */ list_env,
        /*  96 now */ now,
        /*  97 sign? */ sign_q,
        /*  98 as */ as,
        /*  99 call */ call,
        /* 100 zero? */ zero_q,
        /* 101 size? */ size_q,
        /* 102 browse */ browse,
        /* 103 compress */ compress,
        /* 104 decompress */ decompress,
        /* 105 recycle */ recycle,
        /* 106 transcode */ transcode,
        /* 107 apply */ apply,
    };
    std::fill(g_table, g_table + TABLE_SIZE, nullptr);
    g_next_index = 1;
    g_print_buffer = block::make_in(nullptr, PRINT_BUFFER_CELLS);
    register_(NATIVE_COUNT, entries);
}

Cell* print_buffer() { return g_print_buffer; }

}  // namespace zun::natives
