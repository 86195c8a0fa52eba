// The fast paths of integer math, comparisons, pick and block navigation:
// every entry form on its common case and on the fallback to the action, the
// stack each form leaves, and the op-code tables.
#include "interpreter/fast_paths.hpp"

#include "datatypes/error.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun::eval_test {
namespace {

using namespace actions;

class FastPaths : public EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        plus = *word::make_global("+");
    }
    Cell plus;

    static Cell F(double d) {
        Cell c = make_cell(TYPE_FLOAT);
        c.set_double(d);
        return c;
    }
    // The first value of the text; its block stays on the stack.
    static Cell value(const char* text) { return memory::buffer_of(load(text)->data2)->head_cell()[0]; }
    static std::string where_of(const Cell& error) {
        return error::real_q(&error) ? mold(*error::field(&error, error::WHERE)) : "not an error";
    }
    // Runs f and answers the value it pushed, checking that it pushed one
    // cell and left the frames as they were.
    template <typename Fn> static std::string pushed(Fn f) {
        Cell* top = stack::g_top;
        stack::CallFrame* frames = stack::g_frame_top;
        f();
        EXPECT_EQ(stack::g_top, top + 1);
        EXPECT_EQ(stack::g_frame_top, frames);
        const Cell result = stack::g_top[-1];
        stack::g_top = top;
        return mold(result);
    }
    // Pushes left, runs the in-place form f; answers what replaced left.
    template <typename Fn> static std::string in_place(Cell left, Fn f) {
        Cell* top = stack::g_top;
        stack::push(&left);
        f();
        EXPECT_EQ(stack::g_top, top + 1);
        const Cell result = stack::g_top[-1];
        stack::g_top = top;
        return mold(result);
    }
};

TEST_F(FastPaths, MathOnIntegersPromotesOverflowToTheExactFloat) {
    struct Row {
        int op;
        int32_t a, b;
        const char* want;
    } rows[] = {
        {FAST_ADD, 2, 3, "5"},
        {FAST_ADD, 2147483647, 1, "2147483648.0"},
        {FAST_SUBTRACT, -2147483647 - 1, 1, "-2147483649.0"},
        {FAST_MULTIPLY, 65536, 65536, "4294967296.0"},
        {FAST_MULTIPLY, -7, 6, "-42"},
        {FAST_OR, 12, 10, "14"},
        {FAST_AND, 12, 10, "8"},
        {FAST_XOR, 12, 10, "6"},
    };
    for (const Row& r : rows) {
        const Cell a = integer_cell(r.a), b = integer_cell(r.b);
        EXPECT_EQ(pushed([&] { fast_math(r.op, &plus, &a, &b); }), r.want) << r.a << " op " << r.op;
        EXPECT_EQ(pushed([&] { fast_math_integer(r.op, &plus, &a, r.b); }), r.want);
        EXPECT_EQ(in_place(a, [&] { fast_math_in_place(r.op, &plus, &b); }), r.want);
        EXPECT_EQ(in_place(a, [&] { fast_math_integer_in_place(r.op, &plus, r.b); }), r.want);
    }
}

TEST_F(FastPaths, OtherOperandsTakeTheAction) {
    const Cell half = F(1.5), two = integer_cell(2), quarter = F(0.25);
    EXPECT_EQ(pushed([&] { fast_math(FAST_ADD, &plus, &half, &two); }), "3.5");
    EXPECT_EQ(pushed([&] { fast_math(FAST_ADD, &plus, &two, &half); }), "3.5");
    EXPECT_EQ(pushed([&] { fast_math(FAST_MULTIPLY, &plus, &half, &quarter); }), "0.375");
    EXPECT_EQ(pushed([&] { fast_math_integer(FAST_SUBTRACT, &plus, &half, 2); }), "-0.5");
    EXPECT_EQ(in_place(half, [&] { fast_math_in_place(FAST_ADD, &plus, &two); }), "3.5");
    EXPECT_EQ(in_place(half, [&] { fast_math_integer_in_place(FAST_ADD, &plus, 2); }), "3.5");
    const Cell t = make_cell(TYPE_LOGIC, 1);
    EXPECT_EQ(pushed([&] { fast_math(FAST_AND, &plus, &t, &t); }), "true");
}

TEST_F(FastPaths, TheFallbackRaisesInAFrameNamedByTheWord) {
    Cell error;
    const Cell one = integer_cell(1), none = make_cell(TYPE_NONE);
    ASSERT_NE(test_support::caught([&] { fast_math(FAST_ADD, &plus, &one, &none); }, &error),
              ErrorId::count_);
    EXPECT_EQ(where_of(error), "+");
}

TEST_F(FastPaths, EveryComparisonForm) {
    const Cell lesser = *word::make_global("lesser?");
    struct Row {
        int op;
        int32_t a, b;
        bool want;
    } rows[] = {
        {FAST_EQUAL, 3, 3, true},          {FAST_NOT_EQUAL, 3, 3, false},
        {FAST_STRICT_EQUAL, 3, 4, false},  {FAST_LESSER, -5, 2, true},
        {FAST_LESSER_OR_EQUAL, 2, 2, true}, {FAST_GREATER, 2, 2, false},
        {FAST_GREATER_OR_EQUAL, 2, 3, false},
    };
    for (const Row& r : rows) {
        const Cell a = integer_cell(r.a), b = integer_cell(r.b);
        const std::string want = r.want ? "true" : "false";
        EXPECT_EQ(pushed([&] { fast_compare(r.op, &lesser, &a, &b); }), want) << r.op;
        EXPECT_EQ(pushed([&] { fast_compare_integer(r.op, &lesser, &a, r.b); }), want);
        Cell* top = stack::g_top;
        EXPECT_EQ(fast_compare_test(r.op, &lesser, &a, &b, false), r.want);
        EXPECT_EQ(fast_compare_integer_test(r.op, &lesser, &a, r.b, true), !r.want);
        EXPECT_EQ(stack::g_top, top);
        EXPECT_EQ(in_place(a, [&] { fast_compare_in_place(r.op, &lesser, &b); }), want);
        EXPECT_EQ(in_place(a, [&] { fast_compare_integer_in_place(r.op, &lesser, r.b); }), want);
        stack::g_base[0] = make_cell(TYPE_NONE);
        fast_compare_to_result(r.op, &lesser, &a, &b);
        EXPECT_EQ(mold(stack::g_base[0]), want);
        fast_compare_integer_to_result(r.op, &lesser, &a, r.b);
        EXPECT_EQ(mold(stack::g_base[0]), want);
    }
}

TEST_F(FastPaths, ComparisonsAcrossTypes) {
    const Cell lesser = *word::make_global("<");
    const Cell one = integer_cell(1), one_f = F(1.0), text = value("\"a\"");
    EXPECT_EQ(pushed([&] { fast_compare(FAST_EQUAL, &lesser, &one, &one_f); }), "true");
    EXPECT_EQ(pushed([&] { fast_compare(FAST_STRICT_EQUAL, &lesser, &one, &one_f); }), "false");
    EXPECT_EQ(pushed([&] { fast_compare(FAST_EQUAL, &lesser, &one, &text); }), "false");
    Cell error;
    EXPECT_EQ(test_support::caught([&] { fast_compare(FAST_LESSER, &lesser, &one, &text); }, &error),
              ErrorId::script_invalid_compare);
    EXPECT_EQ(where_of(error), "<");
    EXPECT_EQ(test_support::caught([&] { (void)fast_compare_integer_test(FAST_GREATER, &lesser, &text, 1, false); }),
              ErrorId::script_invalid_compare);
}

TEST_F(FastPaths, PickByIndex) {
    const Cell pick = *word::make_global("pick");
    Cell b = value("[10 20 30]");
    b.data1 = 1;  // at 20
    struct Row {
        int32_t index;
        const char* want;
    } rows[] = {{1, "20"}, {2, "30"}, {3, "none"}, {0, "none"}, {-1, "10"}, {-2, "none"}};
    for (const Row& r : rows) EXPECT_EQ(pushed([&] { fast_pick_index(&b, r.index, &pick); }), r.want) << r.index;
    const Cell paren = value("(1 2)");
    EXPECT_EQ(pushed([&] { fast_pick_index(&paren, 2, &pick); }), "2");
    EXPECT_EQ(pushed([&] { fast_pick_index(&paren, 0, &pick); }), "none");
    const Cell text = value("\"abc\"");
    EXPECT_EQ(pushed([&] { fast_pick_index(&text, 3, &pick); }), "#\"c\"");
}

TEST_F(FastPaths, SeriesOpsOnBlocks) {
    const Cell next = *word::make_global("next");
    Cell b = value("[1 2 3]");
    const Cell head = b;
    Cell tail = b;
    tail.data1 = 3;
    struct Row {
        const Cell& series;
        int op;
        const char* want;
    } rows[] = {
        {head, FAST_LENGTH_Q, "3"},  {tail, FAST_LENGTH_Q, "0"},      {tail, FAST_INDEX_Q, "4"},
        {head, FAST_HEAD_Q, "true"}, {tail, FAST_HEAD_Q, "false"},    {tail, FAST_TAIL_Q, "true"},
        {head, FAST_TAIL_Q, "false"}, {head, FAST_NEXT, "[2 3]"},     {tail, FAST_NEXT, "[]"},
        {head, FAST_BACK, "[1 2 3]"}, {tail, FAST_BACK, "[3]"},       {tail, FAST_HEAD, "[1 2 3]"},
        {head, FAST_TAIL, "[]"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(pushed([&] { fast_series_op(&r.series, r.op, &next); }), r.want) << r.op;
    Cell moved;
    ASSERT_TRUE(fast_series_core(FAST_NEXT, &tail, &moved));
    EXPECT_EQ(moved.data1, 3u);  // next at the tail stays there
    ASSERT_TRUE(fast_series_core(FAST_BACK, &head, &moved));
    EXPECT_EQ(moved.data1, 0u);  // back at the head stays there
    const Cell text = value("\"abc\"");
    EXPECT_EQ(pushed([&] { fast_series_op(&text, FAST_NEXT, &next); }), "\"bc\"");
    EXPECT_EQ(pushed([&] { fast_series_op(&text, FAST_LENGTH_Q, &next); }), "3");
}

using FastPathsDeathTest = FastPaths;

TEST_F(FastPathsDeathTest, OpCodesOutsideTheirTablesAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const Cell one = integer_cell(1);
    const Cell b = value("[1]");
    EXPECT_DEATH(fast_math(3, &plus, &one, &one), "Runtime Error 101");
    EXPECT_DEATH(fast_math_integer(4, &plus, &one, 1), "Runtime Error 101");
    EXPECT_DEATH(fast_math(8, &plus, &one, &one), "Runtime Error 101");
    EXPECT_DEATH(fast_compare(7, &plus, &one, &one), "Runtime Error 101");
    EXPECT_DEATH(fast_compare_test(-1, &plus, &one, &one, false), "Runtime Error 101");
    EXPECT_DEATH(fast_series_op(&b, 0, &plus), "Runtime Error 101");
    EXPECT_DEATH(fast_series_op(&b, 9, &plus), "Runtime Error 101");
}

}  // namespace
}  // namespace zun::eval_test
