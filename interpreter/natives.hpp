// The natives: built-in functions that are not polymorphic actions. Each has
// the calling convention of natives::Entry (interpreter/native_table.hpp).
#pragma once
#include <cstdint>

#include "interpreter/stack.hpp"

namespace zun::natives {

// The entry of every native whose code is not written yet: raises internal
// not-done.
Flow not_done(int check, const int32_t* refinements);

// Conditional and selection natives (natives_control.cpp).
Flow if_(int check, const int32_t* refinements);
Flow unless(int check, const int32_t* refinements);
Flow either(int check, const int32_t* refinements);
Flow any(int check, const int32_t* refinements);
Flow all(int check, const int32_t* refinements);
Flow switch_(int check, const int32_t* refinements);  // /default
Flow case_(int check, const int32_t* refinements);    // /all

}  // namespace zun::natives
