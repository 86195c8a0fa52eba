// Small helpers the natives share: argument access, results and the
// argument-type error.
#pragma once
#include <cstdint>

#include "core/support.hpp"
#include "datatypes/function.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives::args {

// A refinement slot of a call that did not use the refinement.
constexpr int32_t ABSENT = -1;

inline Cell* arg(int i) { return stack::g_base + i; }
inline bool used(const int32_t* refinements, int i) { return refinements[i] != ABSENT; }

inline Flow result(const Cell* value) {
    stack::set_result_reset(value);
    return Flow::normal;
}
inline Flow none_result() { return result(&shared_none_cell); }
inline Flow logic_result(bool flag) {
    Cell value{TYPE_LOGIC, flag ? 1u : 0u, 0, 0};
    return result(&value);
}
inline Flow integer_result(int32_t n) {
    Cell value = integer_cell(n);
    return result(&value);
}
// Slot 0 was changed in place.
inline Flow keep_result() {
    stack::reset_keep_result();
    return Flow::normal;
}

// script expect-arg naming the current native, the value's datatype and the
// spec parameter (counted from 0 over words and refinements).
[[noreturn]] inline void fire_expect_arg(const Cell* value, int32_t parameter) {
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, value->type());
    Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}

}  // namespace zun::natives::args
