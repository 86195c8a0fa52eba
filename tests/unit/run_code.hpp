// Runs Zun source in a started runtime; the value is on the stack, good until
// the next allocation (tests keep what they hold in words).
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::test {

inline Cell* run_code(const char* code) {
    Cell* block = stack::push_cell();
    *block = make_cell(TYPE_NONE);
    uint32_t consumed = 0;
    lexer::transcode(block, reinterpret_cast<const uint8_t*>(code), uint32_t(std::strlen(code)), lexer::Options{},
                     &consumed);
    const Cell code_block = *block;
    Flow flow = interpreter::eval_block(&code_block, true);
    EXPECT_EQ(flow, Flow::normal);
    return stack::top();
}

}  // namespace zun::test
