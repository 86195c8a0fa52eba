#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "core/rng.hpp"
#include "core/symbols.hpp"
#include "datatypes/float.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

class Percent : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        rng::init();
        float_::g_pretty = true;
    }
    void TearDown() override { float_::g_pretty = true; }
};

Cell percent_of(double d) { return float_::make_value(d, TYPE_PERCENT); }

std::string text_of(Cell* str) {
    std::string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++) out += char(string::char_at(str, string::head_index(str) + i));
    return out;
}

std::string formed(Cell value, bool mold) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    int left = mold ? actions::mold_direct(&value, buffer, false, false, false, nullptr, 500, 0)
                    : actions::form_direct(&value, buffer, nullptr, 500);
    std::string text = text_of(buffer);
    EXPECT_EQ(left, 500 - int(text.size())) << text;
    stack::pop(1);
    return text;
}

// Runs the inherited stack handler of the action slot on (a, b).
Cell run_slot(int slot, Cell a, Cell b) {
    stack::reset();
    stack::push(&a);
    stack::push(&b);
    reinterpret_cast<void (*)()>(registry::entry(TYPE_PERCENT, slot))();
    return *stack::argument(0);
}

TEST_F(Percent, FormAndMoldWriteAPercentage) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        bool pretty;
        const char* text;
    } cases[] = {
        {0.5, true, "50%"},
        {0.125, true, "12.5%"},
        {1.0, true, "100%"},
        {1e20, true, "1e22%"},
        {1.0 / 3.0, true, "33.33333333333%"},
        {-0.0025, true, "-0.25%"},
        {1e-18, true, "0%"},
        {1e-18, false, "1e-16%"},
        {0.0, false, "0%"},
        {-0.0, false, "-0%"},
        {1e-7, true, "1e-5%"},
        {inf, true, "1.#INF"},
        {-inf, true, "-1.#INF"},
        {std::nan(""), true, "1.#NaN"},
    };
    for (const auto& c : cases) {
        float_::g_pretty = c.pretty;
        EXPECT_EQ(formed(percent_of(c.value), false), c.text) << c.value;
        EXPECT_EQ(formed(percent_of(c.value), true), c.text) << c.value;
    }
}

TEST_F(Percent, InheritsTheFloatMachinery) {
    Cell sum = run_slot(A_ADD, percent_of(0.5), integer_cell(1));
    EXPECT_TRUE(sum.is(TYPE_PERCENT));
    EXPECT_EQ(sum.as_double(), 1.5);
    EXPECT_EQ(formed(sum, true), "150%");

    Cell value = percent_of(0.12345);
    registry::handler<A_ROUND>(TYPE_PERCENT)(&value, nullptr, false, false, false, false, false,
                                             false);
    EXPECT_TRUE(value.is(TYPE_PERCENT));
    EXPECT_EQ(formed(value, false), "12%");

    Cell proto = make_cell(TYPE_DATATYPE, TYPE_PERCENT), spec = float_::make_value(0.5);
    Cell* made = registry::handler<A_TO>(TYPE_PERCENT)(&proto, &spec, TYPE_PERCENT);
    EXPECT_TRUE(made->is(TYPE_PERCENT));
    EXPECT_EQ(made->as_double(), 0.5);

    Cell r = percent_of(0.5);
    registry::handler<A_RANDOM>(TYPE_PERCENT)(&r, false, false, false);
    EXPECT_TRUE(r.is(TYPE_PERCENT));
    EXPECT_TRUE(r.as_double() >= 0.0 && r.as_double() <= 0.5);

    Cell a = percent_of(0.5), b = float_::make_value(0.5);
    EXPECT_EQ(actions::compare_direct(&a, &b, COMP_EQUAL), 0);

    for (int slot = 1; slot <= ACTION_COUNT; slot++) {
        if (slot == A_FORM || slot == A_MOLD) continue;
        EXPECT_EQ(registry::entry(TYPE_PERCENT, slot), registry::entry(TYPE_FLOAT, slot)) << slot;
    }
}

TEST_F(Percent, Makers) {
    Cell c = make_cell(TYPE_NONE | NEW_LINE_FLAG, 5);
    percent::init_cell(&c, 0.25);
    EXPECT_TRUE(c.is(TYPE_PERCENT));
    EXPECT_TRUE(c.header & NEW_LINE_FLAG);
    EXPECT_EQ(c.data1, 0u);
    EXPECT_EQ(c.as_double(), 0.25);

    Cell* blk = block::push_new(1);
    Cell* appended = percent::append_to_block(blk, 0u, 0x3FE00000u);
    EXPECT_TRUE(appended->is(TYPE_PERCENT));
    EXPECT_EQ(appended->as_double(), 0.5);
    EXPECT_EQ(block::length_from_head(blk), 1);
}

}  // namespace
