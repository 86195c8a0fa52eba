// bitset!: making from specs, membership, changes, form and mold, comparison
// and the set operations, with complemented operands.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "datatypes/series/bitset.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun {
namespace {

using eval_test::EvalTest;

class BitsetTest : public EvalTest {
protected:
    void expect_all(const std::vector<std::pair<const char*, const char*>>& cases) {
        for (const auto& [code, molded] : cases) EXPECT_EQ(run(code), molded) << code;
    }
    // The bitset the code makes, kept on the stack.
    Cell* bits(const char* code) {
        Cell* block = load(code);
        EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal);
        Cell* kept = stack::push(&stack::g_top[-1]);
        EXPECT_TRUE(kept->is(TYPE_BITSET)) << code;
        return kept;
    }
};

TEST_F(BitsetTest, MakeFromSpecs) {
    expect_all({
        {"make bitset! 0", "make bitset! #{}"},
        {"make bitset! 10", "make bitset! #{0000}"},
        {"make bitset! #\"^A\"", "make bitset! #{40}"},
        {"make bitset! \"ab\"", "make bitset! #{00000000000000000000000060}"},
        {"make bitset! [0 - 3 9]", "make bitset! #{F040}"},
        {"make bitset! [#\"a\" - #\"c\"]", "make bitset! #{00000000000000000000000070}"},
        {"make bitset! [not \"a\"]", "make bitset! [not #{00000000000000000000000040}]"},
        {"make bitset! #{F0}", "make bitset! #{F0}"},
        {"make bitset! [not #{F0}]", "make bitset! [not #{F0}]"},
        {"to bitset! [1 2.9]", "make bitset! #{60}"},
        {"make bitset! []", "make bitset! #{00}"},
        {"length? make bitset! 0", "0"},
        {"length? make bitset! 1", "8"},
        {"length? make bitset! [300]", "304"},
    });
    EXPECT_EQ(fails("make bitset! [5 - 2]"), ErrorId::script_past_end);
    EXPECT_EQ(fails("make bitset! [1 -]"), ErrorId::script_past_end);
    EXPECT_EQ(fails("make bitset! [#\"a\" - 100]"), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("make bitset! -1"), ErrorId::script_out_of_range);
    EXPECT_EQ(fails("make bitset! [-1]"), ErrorId::script_out_of_range);
    EXPECT_EQ(fails("to bitset! 8"), ErrorId::script_bad_to_arg);
    EXPECT_EQ(fails("make bitset! [none]"), ErrorId::script_bad_make_arg);
    EXPECT_EQ(fails("to bitset! [none]"), ErrorId::script_bad_to_arg);
    EXPECT_EQ(fails("b: [1] append/only b b make bitset! b"), ErrorId::internal_stack_overflow);
    EXPECT_EQ(run("make bitset! [[1 [2]] 9]"), "make bitset! #{6040}");
}

TEST_F(BitsetTest, MembershipPokeAppendRemoveAndClear) {
    expect_all({
        {"b: make bitset! [not \"a\"] reduce [pick b #\"a\" pick b #\"b\" pick b 100000]",
         "[false true true]"},
        {"b: make bitset! \"a\" reduce [pick b #\"a\" pick b 1000 find b \"ab\" find b \"a\"]",
         "[true false none true]"},
        {"b: make bitset! 8 poke b 3 true poke b 1 1 reduce [b pick b [1 3] b/2]",
         "[make bitset! #{50} true false]"},
        {"b: make bitset! [1 3] poke b 3 0 b", "make bitset! #{40}"},
        {"b: make bitset! [1 3] poke b 3 none poke b 500 false b", "make bitset! #{40}"},
        {"b: make bitset! 8 b/20: true b", "make bitset! #{000008}"},
        {"b: make bitset! 8 append b [#\"0\" - #\"1\"] insert b 2 b",
         "make bitset! #{200000000000C0}"},
        {"b: make bitset! [1 2] remove/key b 1 b", "make bitset! #{20}"},
        // A complemented set lists what it lacks: remove takes 1 off that list.
        {"b: make bitset! [not 1 2] remove/key b 1 reduce [b pick b 1 pick b 2]",
         "[make bitset! [not #{20}] true false]"},
        {"b: make bitset! [not 1] poke b 1 true poke b 100 false reduce [pick b 1 pick b 100 pick b 99]",
         "[true false true]"},
        {"b: make bitset! [1] clear b reduce [b pick b 1]", "[make bitset! #{00} false]"},
        {"b: make bitset! [not 1] clear b reduce [pick b 1 pick b 0]", "[true true]"},
        {"b: make bitset! [not \"a\"] reduce [pick b \"bcd\" pick b \"ba\" pick b \"^(1000)a\"]",
         "[true false false]"},
    });
    EXPECT_EQ(fails("remove make bitset! 8"), ErrorId::script_missing_arg);
    EXPECT_EQ(fails("b: make bitset! 8 b/x"), ErrorId::script_invalid_type);
    EXPECT_EQ(fails("append make bitset! 8 none"), ErrorId::script_invalid_arg);
}

TEST_F(BitsetTest, RangesCoverEveryBitInclusive) {
    struct Case {
        const char* code;
        std::function<bool(int64_t)> member;
    };
    auto in = [](int64_t n, int64_t a, int64_t b) { return n >= a && n <= b; };
    const std::vector<Case> cases = {
        {"make bitset! [3 - 20 70]", [&](int64_t n) { return in(n, 3, 20) || n == 70; }},
        {"make bitset! [not 3 - 20 70]", [&](int64_t n) { return !in(n, 3, 20) && n != 70; }},
        {"make bitset! [8 - 15 16 - 16 40 - 103]", [&](int64_t n) { return in(n, 8, 16) || in(n, 40, 103); }},
        {"b: make bitset! [not 0 - 7] append b [2 - 5] b", [&](int64_t n) { return !in(n, 0, 7) || in(n, 2, 5); }},
        {"b: make bitset! [0 - 200] remove/key b [9 - 190] b", [&](int64_t n) { return in(n, 0, 8) || in(n, 191, 200); }},
        {"b: make bitset! [not 1] poke b [60 - 300] false b", [&](int64_t n) { return n != 1 && !in(n, 60, 300); }},
        {"b: make bitset! 8 poke b [5 - 5] true b", [&](int64_t n) { return n == 5; }},
    };
    for (const Case& c : cases) {
        stack::StackScope scope;
        Cell* b = bits(c.code);
        for (int64_t n = 0; n < 400; n++) ASSERT_EQ(bitset::member_q(b, n), c.member(n)) << c.code << " at " << n;
    }
    expect_all({{"b: make bitset! [1 - 3] reduce [pick b [1 - 3] pick b [0 - 3] find b [2 - 4]]",
                 "[true false none]"}});
}

TEST_F(BitsetTest, ComplementCopyCompareAndMold) {
    expect_all({
        {"complement complement make bitset! [1 9]", "make bitset! #{4040}"},
        {"b: make bitset! [1 9] (complement complement b) = b", "true"},
        {"complement make bitset! [1]", "make bitset! [not #{40}]"},
        {"negate make bitset! [not 1]", "make bitset! #{40}"},
        {"b: make bitset! [1] c: copy b append c 2 reduce [b c]",
         "[make bitset! #{40} make bitset! #{60}]"},
        {"(make bitset! [1]) = make bitset! [1]", "true"},
        {"(make bitset! [1]) = make bitset! [2]", "false"},
        {"(make bitset! [1]) < make bitset! [9]", "true"},
        {"(make bitset! [7]) < make bitset! [0]", "true"},
        {"(make bitset! [1]) < complement make bitset! [1]", "true"},
        {"(make bitset! 0) = make bitset! 0", "true"},
        {"form make bitset! [1]", "\"make bitset! #{40}\""},
        {"mold/part make bitset! [1] 15", "\"make bitset! #{\""},
        {"to binary! make bitset! [not 1]", "#{BF}"},
    });
}

// Membership of every result follows the set algebra, whichever operands are
// complemented and whichever is longer.
TEST_F(BitsetTest, SetOperationsFollowTheSetAlgebra) {
    const std::vector<const char*> specs = {
        "make bitset! [1 5 9]",          "make bitset! [not 1 5 9]",
        "make bitset! [0 - 40 70]",      "make bitset! [not 0 - 40 70]",
        "make bitset! 0",                "complement make bitset! 0",
        "make bitset! [200]",            "make bitset! [not 3 200]",
    };
    struct Op {
        int code;
        std::function<bool(bool, bool)> f;
    };
    const std::vector<Op> ops = {
        {5, [](bool a, bool b) { return a || b; }},  {6, [](bool a, bool b) { return a && b; }},
        {7, [](bool a, bool b) { return a != b; }},  {9, [](bool a, bool b) { return a || b; }},
        {10, [](bool a, bool b) { return a && b; }}, {11, [](bool a, bool b) { return a && !b; }},
        {12, [](bool a, bool b) { return a != b; }},
    };
    for (const char* sa : specs) {
        for (const char* sb : specs) {
            stack::StackScope scope;
            Cell* a = bits(sa);
            Cell* b = bits(sb);
            for (const Op& op : ops) {
                stack::StackScope inner;
                Cell* saved_base = stack::g_base;
                Cell* args = stack::push(a);
                stack::push(b);
                stack::g_base = args;
                bitset::set_operation(op.code);
                stack::g_base = saved_base;
                for (int64_t n = 0; n < 400; n++)
                    ASSERT_EQ(bitset::member_q(args, n), op.f(bitset::member_q(a, n), bitset::member_q(b, n)))
                        << sa << " op " << op.code << " " << sb << " at " << n;
            }
        }
    }
}

TEST_F(BitsetTest, SetOperationLengths) {
    struct Case {
        const char* a;
        int op;
        const char* b;
        const char* molded;
    };
    const std::vector<Case> cases = {
        {"make bitset! [1]", 6, "make bitset! [1 9]", "make bitset! #{40}"},
        {"make bitset! [not 1]", 6, "make bitset! [1 9]", "make bitset! #{0040}"},
        {"make bitset! [1]", 10, "make bitset! [1 9]", "make bitset! #{4000}"},
        {"make bitset! [1]", 11, "make bitset! [1 9]", "make bitset! #{0000}"},
        {"make bitset! [1 9]", 11, "make bitset! [1]", "make bitset! #{0040}"},
        {"make bitset! [1]", 5, "make bitset! [9]", "make bitset! #{4040}"},
        {"make bitset! [not 1]", 7, "make bitset! [1 9]", "make bitset! [not #{0040}]"},
        {"make bitset! [not 1]", 9, "make bitset! [not 2]", "make bitset! [not #{00}]"},
        {"make bitset! [1]", 8, "make bitset! [2]", "make bitset! #{40}"},
    };
    for (const Case& c : cases) {
        stack::StackScope scope;
        Cell* a = bits(c.a);
        Cell* b = bits(c.b);
        Cell* saved_base = stack::g_base;
        Cell* args = stack::push(a);
        stack::push(b);
        stack::g_base = args;
        bitset::set_operation(c.op);
        stack::g_base = saved_base;
        EXPECT_EQ(eval_test::mold(*args), c.molded) << c.a << " " << c.op << " " << c.b;
    }
    expect_all({{"length? and~ make bitset! 8 make bitset! 16", "8"}});
    EXPECT_EQ(fails("and~ make bitset! 8 #{00}"), ErrorId::script_invalid_type);
}

}  // namespace
}  // namespace zun
