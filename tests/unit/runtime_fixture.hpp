// Shared by the unit tests: a fresh runtime per test and a way to catch the
// error a piece of code raises.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/case_folding.hpp"
#include "core/collector.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "datatypes/error.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/stack.hpp"

namespace zun::test_support {

// Values a test copies into C++ locals stay reachable until the next test
// through keep(); the errors raised() copies out are kept so.
inline std::vector<Cell>& kept_cells() {
    static std::vector<Cell> cells;
    return cells;
}
inline void mark_kept_cells() {
    std::vector<Cell>& cells = kept_cells();
    if (!cells.empty()) collector::mark_cells(cells.data(), cells.data() + cells.size());
}
inline const Cell& keep(const Cell& value) {
    kept_cells().push_back(value);
    return value;
}

// How the tests run the collector (a ZUN_GC_STRESS build runs it at each
// allocation). FULL: reclaim and move. KEEP: move every buffer but reclaim
// nothing, while test code still holds values in C++ locals unrooted.
enum class CollectMode { OFF, KEEP, FULL };
inline constexpr CollectMode COLLECT_IN_TESTS = CollectMode::FULL;

// Tests whose code still holds values in C++ locals that nothing roots: they
// run with KEEP until their values live on the stack, in a GcRoot or keep().
// None at present; list them as "Suite.Test" (std::array<const char*, N>).
inline constexpr std::array<const char*, 0> UNROOTED_TESTS{};

inline CollectMode collect_mode() {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    if (COLLECT_IN_TESTS != CollectMode::FULL || !info) return COLLECT_IN_TESTS;
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (const char* unrooted : UNROOTED_TESTS)
        if (name == unrooted) return CollectMode::KEEP;
    return CollectMode::FULL;
}

class RuntimeTest : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        collector::init();
        cycles::init();
        stack::init();
        registry::register_all();
        unicode::init_case_tables();
        ownership::init();
        kept_cells().clear();
        static const bool registered = (collector::register_marker(mark_kept_cells), true);
        (void)registered;
        CollectMode mode = collect_mode();
        collector::set_keep_unreached(mode == CollectMode::KEEP);
        collector::set_enabled(mode != CollectMode::OFF);
    }
};

// Runs f under a try frame of its own; answers the id of the error it raised
// (count_ when none) and copies the error into *error when asked. The cells the
// test holds on the stack stay where they are.
template <typename F> ErrorId caught(F f, Cell* error = nullptr) {
    Cell* top = stack::g_top;
    Cell* base = stack::g_base;
    stack::CallFrame* frames = stack::g_frame_top;
    stack::push_native_frame(nullptr);
    stack::push_try_frame(nullptr);
    ErrorId id = ErrorId::count_;
    try {
        f();
    } catch (const Unwind& u) {
        EXPECT_EQ(u.code, Flow::error);
        stack::adjust_after_error();
        if (error) *error = keep(*stack::top());
        id = support::error_id_of(stack::top());
    }
    stack::g_frame_top = frames;
    stack::g_base = base;
    stack::g_top = top;
    return id;
}

// The same, for code that must raise.
template <typename F> ErrorId raised(F f, Cell* error = nullptr) {
    ErrorId id = caught(f, error);
    if (id == ErrorId::count_) ADD_FAILURE() << "no error raised";
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
