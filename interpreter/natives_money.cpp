#include "datatypes/logic.hpp"
#include "datatypes/money.hpp"
#include "interpreter/native_args.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

using args::arg;

Flow as_money(int check, const int32_t*) {
    const Cell currency = *arg(0);
    const Cell* amount = arg(1);
    if (check) {
        if (!currency.is(TYPE_WORD)) args::fire_expect_arg(&currency, 0);
        if (!amount->is(TYPE_INTEGER) && !amount->is(TYPE_FLOAT)) args::fire_expect_arg(amount, 1);
    }
    int32_t index = money::currency_index(currency.data2);
    if (index < 0) support::fire_error(ErrorId::script_bad_denom, &currency);
    // Strict, as `to money!` is: an amount that cannot be held exactly is an
    // error, not a silent cut.
    Cell* result = amount->is(TYPE_INTEGER) ? money::push_from_integer(amount->as_int())
                                            : money::push_from_float(amount->as_double(), true);
    money::set_currency(result, uint32_t(index));
    return args::result(result);
}

}  // namespace zun::natives
