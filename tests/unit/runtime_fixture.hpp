// Shared by the unit tests: a fresh runtime per test and a way to catch the
// error a piece of code raises.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "core/case_folding.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/error.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/stack.hpp"

namespace zun::test_support {

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        cycles::init();
        stack::init();
        registry::register_all();
        unicode::init_case_tables();
    }
};

// Runs f under a try frame of its own; answers the id of the error it raised
// (count_ when none) and copies the error into *error when asked. The cells the
// test holds on the stack stay where they are.
template <typename F> ErrorId raised(F f, Cell* error = nullptr) {
    Cell* top = stack::g_top;
    Cell* base = stack::g_base;
    stack::CallFrame* frames = stack::g_frame_top;
    stack::push_native_frame(nullptr);
    stack::push_try_frame(nullptr);
    ErrorId id = ErrorId::count_;
    try {
        f();
        ADD_FAILURE() << "no error raised";
    } catch (const Unwind& u) {
        EXPECT_EQ(u.code, Flow::error);
        stack::adjust_after_error();
        if (error) *error = *stack::top();
        id = support::error_id_of(stack::top());
    }
    stack::g_frame_top = frames;
    stack::g_base = base;
    stack::g_top = top;
    return id;
}

// Argument i (0-2) of an error: its field argN, or for an interim error (a
// runtime without the error catalogue) cell i of its argument block.
inline Cell error_arg(const Cell& error, int i) {
    if (error::real_q(&error)) return *error::field(&error, error::Field(error::ARG1 + i));
    return memory::buffer_of(error.data2)->cells()[i];
}

// The characters of a 1-byte-unit string from its head, as bytes.
inline std::string bytes_of(const Cell* str) {
    memory::SeriesBuffer* b = memory::buffer_of(str->data2);
    return std::string(reinterpret_cast<const char*>(b->head_ptr()) + int32_t(str->data1),
                       b->tail - b->head - int32_t(str->data1));
}

}  // namespace zun::test_support
