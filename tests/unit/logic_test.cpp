#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include "core/rng.hpp"

#include <cmath>
#include <cstring>
#include <string>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

using Logic = test_support::RuntimeTest;
using test_support::raised;


using test_support::error_arg;

Cell integer(int32_t n) { return make_cell(TYPE_INTEGER, 0, uint32_t(n)); }
Cell float_(double d, uint32_t type = TYPE_FLOAT) {
    Cell c = make_cell(type);
    c.set_double(d);
    return c;
}
bool same(const Cell& a, const Cell& b) { return std::memcmp(&a, &b, sizeof(Cell)) == 0; }

const Cell k_unset = make_cell(TYPE_UNSET);
const Cell k_none = make_cell(TYPE_NONE);
const Cell k_true = make_cell(TYPE_LOGIC, 1);
const Cell k_false = make_cell(TYPE_LOGIC, 0);

std::string text_of(Cell* str) {
    std::string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++) out += char(string::char_at(str, i));
    return out;
}

// Forms or molds a copy of the value; answers the text and checks the budget.
std::string formed(Cell value, bool mold, bool all) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    int left = mold ? actions::mold_direct(&value, buffer, false, all, false, nullptr, 1000, 0)
                    : actions::form_direct(&value, buffer, nullptr, 1000);
    std::string text = text_of(buffer);
    EXPECT_EQ(left, 1000 - int(text.size())) << text;
    stack::pop(1);
    return text;
}

TEST_F(Logic, FormAndMold) {
    const struct {
        Cell value;
        const char* form;
        const char* mold;
        const char* mold_all;
    } cases[] = {
        {k_unset, "", "unset", "#(unset)"},
        {k_none, "none", "none", "#(none)"},
        {k_true, "true", "true", "#(true)"},
        {k_false, "false", "false", "#(false)"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formed(c.value, false, false), c.form);
        EXPECT_EQ(formed(c.value, true, false), c.mold);
        EXPECT_EQ(formed(c.value, true, true), c.mold_all);
    }
}

TEST_F(Logic, CompareDirect) {
    constexpr int U = COMPARE_UNCOMPARABLE;
    const struct {
        Cell a, b;
        int op, expected;
    } cases[] = {
        {k_unset, k_unset, COMP_EQUAL, 0},   {k_unset, k_unset, COMP_SORT, 0},
        {k_unset, k_unset, COMP_LESSER, U},  {k_unset, k_none, COMP_EQUAL, U},
        {k_none, k_none, COMP_FIND, 0},      {k_none, k_none, COMP_GREATER, U},
        {k_none, k_false, COMP_EQUAL, U},    {k_false, k_true, COMP_SORT, -1},
        {k_true, k_false, COMP_CASE_SORT, 1}, {k_true, k_true, COMP_STRICT_EQUAL, 0},
        // A logic paired with another type is not its truth value's equal.
        {k_true, integer(1), COMP_FIND, U},  {k_false, k_none, COMP_EQUAL, U},
    };
    for (auto c : cases)
        EXPECT_EQ(actions::compare_direct(&c.a, &c.b, c.op), c.expected)
            << c.a.type() << " " << c.b.type() << " op " << c.op;
    // The handler alone refuses to order logic values.
    Cell f = k_false, t = k_true;
    EXPECT_EQ(logic::compare(&f, &t, COMP_LESSER), U);
}

TEST_F(Logic, CompareMapsToRelations) {
    Cell f = k_false, t = k_true, none = k_none, one = integer(1);
    EXPECT_TRUE(actions::compare(&t, &t, COMP_EQUAL));
    EXPECT_FALSE(actions::compare(&t, &f, COMP_EQUAL));
    EXPECT_TRUE(actions::compare(&t, &f, COMP_NOT_EQUAL));
    EXPECT_FALSE(actions::compare(&none, &one, COMP_EQUAL));
    EXPECT_TRUE(actions::compare(&none, &one, COMP_NOT_EQUAL));  // unequal, not an error
    for (int op : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL})
        EXPECT_EQ(raised([&] { actions::compare(&f, &t, op); }), ErrorId::script_invalid_compare)
            << op;
}

TEST_F(Logic, CompareWithABadModeIsFatal) {
    Cell t = k_true;
    for (int op : {int(COMP_SORT), int(COMP_CASE_SORT), 13, -1})
        EXPECT_EXIT(actions::compare(&t, &t, op), ::testing::ExitedWithCode(101), "") << op;
}

TEST_F(Logic, MakeAndTo) {
    const struct {
        Cell spec;
        bool make, to;
    } cases[] = {
        {integer(0), false, true},   {integer(2), true, true},
        {integer(-1), true, true},   {float_(0.0), false, true},
        {float_(-0.0), false, true}, {float_(NAN), true, true},
        {float_(0.0, TYPE_PERCENT), false, true},
        {float_(0.5, TYPE_PERCENT), true, true},
        {k_none, false, false},      {k_unset, true, true},
        {k_false, false, false},     {k_true, true, true},
    };
    auto make = registry::handler<A_MAKE>(TYPE_LOGIC);
    auto to = registry::handler<A_TO>(TYPE_LOGIC);
    for (auto c : cases) {
        SCOPED_TRACE(c.spec.type());
        Cell proto = make_cell(TYPE_DATATYPE, TYPE_LOGIC);
        Cell* made = make(&proto, &c.spec, TYPE_LOGIC);
        ASSERT_TRUE(made->is(TYPE_LOGIC));
        EXPECT_EQ(made->data1, c.make ? 1u : 0u);
        Cell* converted = to(&proto, &c.spec, TYPE_LOGIC);
        ASSERT_TRUE(converted->is(TYPE_LOGIC));
        EXPECT_EQ(converted->data1, c.to ? 1u : 0u);
    }
    Cell spec = k_false;
    Cell proto = make_cell(TYPE_DATATYPE, TYPE_LOGIC);
    EXPECT_EQ(to(&proto, &spec, TYPE_LOGIC), &spec);  // a logic is its own conversion

    // make and to of unset! and none! push a fresh value whatever the spec.
    for (uint32_t type : {TYPE_UNSET, TYPE_NONE}) {
        Cell s = integer(5);
        Cell* result = registry::handler<A_TO>(type)(&proto, &s, int(type));
        EXPECT_EQ(result, stack::top());
        EXPECT_TRUE(result->is(type));
    }
}

// Runs a stack handler on (a, b) in slots 0 and 1; answers slot 0.
Cell run_binary(void (*op)(), Cell a, Cell b) {
    stack::reset();
    stack::push(&a);
    stack::push(&b);
    op();
    return *stack::argument(0);
}

TEST_F(Logic, AndOrXor) {
    const struct {
        bool a, b, and_, or_, xor_;
    } cases[] = {
        {false, false, false, false, false}, {false, true, false, true, true},
        {true, false, false, true, true},    {true, true, true, true, false},
    };
    for (const auto& c : cases) {
        Cell a = logic::make_value(c.a), b = logic::make_value(c.b);
        EXPECT_EQ(run_binary(registry::handler<A_AND>(TYPE_LOGIC), a, b).data1, uint32_t(c.and_));
        EXPECT_EQ(run_binary(registry::handler<A_OR>(TYPE_LOGIC), a, b).data1, uint32_t(c.or_));
        EXPECT_EQ(run_binary(registry::handler<A_XOR>(TYPE_LOGIC), a, b).data1, uint32_t(c.xor_));
    }
}

TEST_F(Logic, BitwiseWithANonLogicRaisesExpectArg) {
    for (auto op : {&logic::and_, &logic::or_, &logic::xor_}) {
        Cell error{};
        EXPECT_EQ(raised([&] { run_binary(op, k_true, integer(1)); }, &error),
                  ErrorId::script_expect_arg);
        EXPECT_TRUE(error_arg(error, 0).is(TYPE_WORD));
        Cell arg2 = error_arg(error, 1);
        EXPECT_TRUE(arg2.is(TYPE_DATATYPE));
        EXPECT_EQ(arg2.data1, uint32_t(TYPE_INTEGER));
    }
}

TEST_F(Logic, ComplementFlipsInPlace) {
    Cell value = k_true;
    Cell* result = registry::handler<A_COMPLEMENT>(TYPE_LOGIC)(&value);
    EXPECT_EQ(result, &value);
    EXPECT_EQ(value.data1, 0u);
    logic::complement(&value);
    EXPECT_EQ(value.data1, 1u);
}

TEST_F(Logic, RandomDrawsBothValuesAndSeedsRepeatably) {
    rng::init();
    int trues = 0;
    for (int i = 0; i < 2000; i++) {
        Cell value = k_true;
        logic::random(&value, false, false, false);
        EXPECT_TRUE(value.is(TYPE_LOGIC));
        trues += value.data1 == 1;
    }
    EXPECT_GT(trues, 850);
    EXPECT_LT(trues, 1150);

    auto draws = [] {
        Cell seed = k_true;  // seeds with its flag word, 1
        logic::random(&seed, true, false, false);
        EXPECT_TRUE(seed.is(TYPE_UNSET));
        std::string bits;
        for (int i = 0; i < 32; i++) {
            Cell v = k_true;
            logic::random(&v, false, false, false);
            bits += char('0' + v.data1);
        }
        return bits;
    };
    EXPECT_EQ(draws(), draws());
}

TEST_F(Logic, TruthTests) {
    const struct {
        Cell value;
        bool truth;
    } cases[] = {
        {k_none, false},  {k_false, false}, {make_cell(TYPE_LOGIC, 2), false},
        {k_true, true},   {integer(0), true}, {k_unset, true},
        {float_(0.0), true},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.value.type());
        EXPECT_EQ(logic::true_value_q(&c.value), c.truth);
        stack::reset();
        stack::push(&c.value);
        EXPECT_EQ(logic::result_false_q(), !c.truth);
        EXPECT_EQ(logic::top_false_q(), !c.truth);
        EXPECT_EQ(logic::top_true_q(), c.truth);
        if (!c.value.is(TYPE_UNSET)) {
            EXPECT_EQ(logic::result_true_q(), c.truth);
        }
    }
}

TEST_F(Logic, TopTestsReadTheBaseWhenNothingLiesAbove) {
    stack::reset();
    *stack::g_base = k_none;  // the top is back at the base
    EXPECT_TRUE(logic::top_false_q());
    stack::push(&k_true);
    EXPECT_FALSE(logic::top_false_q());
}

TEST_F(Logic, UnsetConditionsRaise) {
    Cell unset = k_unset;
    Cell name = make_cell(TYPE_INTEGER, 0, 42);
    Cell error{};
    EXPECT_EQ(raised([&] { logic::true_value_q(&unset, true, &name); }, &error),
              ErrorId::script_no_value);
    EXPECT_EQ(error_arg(error, 0).data2, 42u);
    EXPECT_EQ(raised([&] {
                  stack::push(&k_unset);  // slot 0 of the try frame's call
                  logic::result_true_q();
              }),
              ErrorId::script_no_return);
}

TEST_F(Logic, NoneAnswersNoneToSeriesActions) {
    Cell none = k_none, value = integer(1);
    EXPECT_EQ(registry::handler<A_LENGTH_Q>(TYPE_NONE)(&none), -1);
    auto check = [&](auto call) {
        stack::reset();
        Cell* base = stack::push(&value);
        Cell* result = call();
        EXPECT_EQ(result, base);
        EXPECT_TRUE(base->is(TYPE_NONE));
    };
    check([&] { return registry::handler<A_CLEAR>(TYPE_NONE)(&none); });
    check([&] { return registry::handler<A_REMOVE>(TYPE_NONE)(&none, nullptr, nullptr); });
    check([&] { return registry::handler<A_TAKE>(TYPE_NONE)(&none, nullptr, false, false); });
    check([&] {
        return registry::handler<A_FIND>(TYPE_NONE)(&none, &value, nullptr, false, false, false,
                                                    false, nullptr, nullptr, false, false,
                                                    false, false);
    });
    check([&] {
        return registry::handler<A_SELECT>(TYPE_NONE)(&none, &value, nullptr, false, false,
                                                      false, false, nullptr, nullptr, false,
                                                      false);
    });
}

TEST_F(Logic, MakersWriteFreshCells) {
    stack::reset();
    Cell junk = make_cell(TYPE_INTEGER | NEW_LINE_FLAG, 9, 9, 9);
    stack::push(&junk);
    unset::set_result();
    EXPECT_EQ(stack::g_base->header, uint32_t(TYPE_UNSET));
    none::set_result();
    EXPECT_EQ(stack::g_base->header, uint32_t(TYPE_NONE));
    logic::set_result(true);
    EXPECT_TRUE(same(*stack::g_base, k_true));
    EXPECT_TRUE(unset::push()->is(TYPE_UNSET));
    EXPECT_TRUE(none::push()->is(TYPE_NONE));
    EXPECT_TRUE(same(*logic::push(false), k_false));

    Cell* block = stack::push_cell();
    *block = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0);
    unset::append_to_block(block);
    none::append_to_block(block);
    logic::append_to_block(block, true);
    memory::SeriesBuffer* b = memory::buffer_of(block->data2);
    ASSERT_EQ(b->used(), 3 * sizeof(Cell));
    EXPECT_TRUE(b->cells()[0].is(TYPE_UNSET));
    EXPECT_TRUE(b->cells()[1].is(TYPE_NONE));
    EXPECT_TRUE(same(b->cells()[2], k_true));
}

TEST_F(Logic, SharedCellsHoldTheirValues) {
    EXPECT_TRUE(same(shared_unset_cell, k_unset));
    EXPECT_TRUE(same(shared_none_cell, k_none));
    EXPECT_TRUE(same(shared_true_cell, k_true));
    EXPECT_TRUE(same(shared_false_cell, k_false));
}

}  // namespace
