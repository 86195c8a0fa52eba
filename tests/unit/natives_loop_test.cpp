// The loop natives while, until, loop, repeat, forever, foreach, forall and
// remove-each, and the iteration steps, run from source text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/unit/eval_fixture.hpp"

using namespace zun;
using eval_test::g_notes;

namespace {

using eval_test::Case;
using Failure = eval_test::Failure;

using Notes = std::vector<std::string>;

class NativesLoop : public eval_test::EvalTest {
protected:
    void check(const Case* cases, size_t n) {
        for (size_t i = 0; i < n; i++) EXPECT_EQ(run(cases[i].code), cases[i].molded) << cases[i].code;
    }
    void check(const Failure* cases, size_t n) {
        for (size_t i = 0; i < n; i++) EXPECT_EQ(fails(cases[i].code), cases[i].id) << cases[i].code;
    }
    // The notes one piece of code leaves.
    Notes notes_of(const char* code) {
        g_notes.clear();
        run(code);
        return g_notes;
    }
};

TEST_F(NativesLoop, EntriesAtTheirIndexes) {
    const natives::Entry entries[] = {natives::while_, natives::until, natives::loop,
                                      natives::repeat, natives::forever, natives::foreach,
                                      natives::forall, natives::remove_each};
    for (uint32_t i = 0; i < 8; i++) EXPECT_EQ(natives::g_table[5 + i], entries[i]) << i + 6;
}

TEST_F(NativesLoop, While) {
    const Case cases[] = {
        {"while [false] [1]", "unset"},
        {"n: 0 while [n < 3] [n: n + 1]", "unset"},  // unset! however it ends
        {"n: 0 while [n < 3] [n: n + 1] n", "3"},
        {"while [true] [break]", "unset"},
        {"while [true] [break/return 5]", "unset"},
        {"n: 0 while [n < 5] [n: n + 1 if n < 3 [continue] note n] n", "5"},
    };
    check(cases, std::size(cases));
    EXPECT_EQ(notes_of("n: 0 while [n < 4] [n: n + 1 if n < 3 [continue] note n]"), (Notes{"3", "4"}));
    const Failure failures[] = {
        {"while [break] [1]", ErrorId::throw_while_cond},
        {"loop 2 [while [continue] [1]]", ErrorId::throw_while_cond},
        {"while [] [1]", ErrorId::script_no_return},
        {"while [true] [fail 1]", ErrorId::script_invalid_arg},
    };
    check(failures, std::size(failures));
}

TEST_F(NativesLoop, Until) {
    const Case cases[] = {
        {"until [true]", "true"},
        {"until [5]", "5"},
        {"n: 0 until [n: n + 1 2 < n]", "true"},
        {"until [break/return 7]", "7"},
        {"until [break]", "unset"},
        {"n: 0 until [n: n + 1 if n < 3 [continue] true] n", "3"},  // continue skips the test
    };
    check(cases, std::size(cases));
    EXPECT_EQ(fails("until []"), ErrorId::script_no_return);
}

TEST_F(NativesLoop, Loop) {
    const Case cases[] = {
        {"loop 3 [1]", "1"},
        {"loop 0 [1]", "none"},
        {"loop -1 [1]", "none"},
        {"n: 0 loop 2.9 [n: n + 1] n", "2"},
        {"loop 0.5 [1]", "none"},
        {"loop 3 [break/return 4]", "4"},
        {"loop 2 [break]", "unset"},
        {"loop 2 [continue]", "unset"},
        {"loop 2 []", "unset"},
        {"n: 0 loop 3 [loop 2 [n: n + 1 break] n: n + 10] n", "33"},  // the inner loop only
    };
    check(cases, std::size(cases));
    EXPECT_EQ(fails("loop 1e20 [1]"), ErrorId::script_out_of_range);
}

TEST_F(NativesLoop, Repeat) {
    const Case cases[] = {
        {"repeat i 3 [i]", "3"},
        {"repeat i 0 [1]", "none"},
        {"repeat i -1 [1]", "none"},
        {"repeat i 2.5 [i]", "2"},
        {"repeat i 5 [if i = 2 [break/return i * 10]]", "20"},
        {"n: 0 repeat i 3 [i: 10 n: n + 1] n", "3"},
    };
    check(cases, std::size(cases));
    EXPECT_EQ(notes_of("repeat i 3 [note i i: 10]"), (Notes{"1", "2", "3"}));
    EXPECT_EQ(notes_of("repeat i 4 [if i = 2 [continue] note i]"), (Notes{"1", "3", "4"}));
    // The word is set in its own binding: a function's argument or local keeps it.
    EXPECT_EQ(run("i: 0 f: func [i] [repeat i 2 [] i] f 0"), "2");
    EXPECT_EQ(run("f: func [/local i] [foreach i [1 2] [] i] f"), "2");
    EXPECT_EQ(run("i"), "0");
}

TEST_F(NativesLoop, Forever) {
    const Case cases[] = {
        {"n: 0 forever [n: n + 1 if n = 3 [break/return n]]", "3"},
        {"forever [break]", "unset"},
        {"n: 0 forever [n: n + 1 if n < 3 [continue] break] n", "3"},
    };
    check(cases, std::size(cases));
}

TEST_F(NativesLoop, Foreach) {
    const Case cases[] = {
        {"foreach x [1 2 3] [x * 2]", "6"},
        {"foreach x [] [1]", "unset"},
        {"foreach x next [1 2 3] [x]", "3"},
        {"n: 0 foreach [a b] [1 2 3] [n: n + 1] n", "2"},
        {"foreach x [1 2 3] [if x = 2 [break/return 9]]", "9"},
        {"foreach x [1 2 3] [if x = 3 [continue] x]", "unset"},
        {"foreach x \"ab\" [x]", "#\"b\""},
        {"foreach x #{0102} [x]", "2"},
        {"foreach x 'a/b [x]", "b"},
        {"foreach x [1 2] [] x", "2"},  // the word keeps the last item
    };
    check(cases, std::size(cases));
    EXPECT_EQ(notes_of("foreach [a b] [1 2 3] [note a note b]"), (Notes{"1", "2", "3", "none"}));
    EXPECT_EQ(notes_of("foreach [a b] \"xyz\" [note a note b]"),
              (Notes{"#\"x\"", "#\"y\"", "#\"z\"", "none"}));
    EXPECT_EQ(notes_of("foreach x [1 2 3] [if x = 2 [continue] note x]"), (Notes{"1", "3"}));
    EXPECT_EQ(notes_of("foreach x [a () \"s\"] [note :x]"), (Notes{"a", "()", "\"s\""}));
    // The series is walked through a copy of its cell: the argument keeps its place.
    EXPECT_EQ(run("b: [1 2] foreach x b [] b"), "[1 2]");
    const Failure failures[] = {
        {"foreach [] [1] [2]", ErrorId::script_invalid_arg},
        {"foreach [a 1] [1 2] []", ErrorId::script_invalid_arg},
        {"foreach [a 1] \"xy\" []", ErrorId::script_invalid_arg},  // strings check their words too
        {"foreach x [1] [fail x]", ErrorId::script_invalid_arg},  // errors pass through
    };
    check(failures, std::size(failures));
}

TEST_F(NativesLoop, Forall) {
    const Case cases[] = {
        {"s: [1 2 3] forall s [s] s", "[1 2 3]"},  // back at its start
        {"s: [1 2 3] forall s [s]", "[3]"},
        {"s: [1 2 3] forall s [if 2 = s/1 [break]] s", "[2 3]"},  // stays after break
        {"s: [] forall s [1]", "unset"},
        {"s: next [1 2 3] forall s [] s", "[2 3]"},
        {"s: \"abc\" forall s [] s", "\"abc\""},
        {"s: [1 2 3] forall s [s: next s] s", "[1 2 3]"},  // the same series may move
    };
    check(cases, std::size(cases));
    EXPECT_EQ(notes_of("s: [1 2 3] forall s [note s]"), (Notes{"[1 2 3]", "[2 3]", "[3]"}));
    EXPECT_EQ(notes_of("s: [1 2 3] forall s [if 2 = s/1 [continue] note s]"),
              (Notes{"[1 2 3]", "[3]"}));
    Cell error;
    EXPECT_EQ(fails("s: 5 forall s []", &error), ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 0), "forall");
    EXPECT_EQ(error_arg(error, 2), "'word");  // the parameter as its spec writes it
    EXPECT_EQ(fails("s: [1 2] forall s [s: [1 2]]", &error), ErrorId::script_bad_loop_series);
    EXPECT_EQ(error_arg(error, 0), "[1 2]");
    EXPECT_EQ(fails("s: [1 2] forall s [s: 3]"), ErrorId::script_bad_loop_series);
}

TEST_F(NativesLoop, RemoveEach) {
    const Case cases[] = {
        {"b: [1 2 3 4] remove-each x b [even? x] b", "[1 3]"},
        {"remove-each x [1 2 3 4] [even? x]", "[1 3]"},
        {"b: [1 2 3 4] remove-each x next b [even? x]", "[3]"},  // the data at its start
        {"b: [1 2 3 4] remove-each x next b [even? x] b", "[1 3]"},
        {"remove-each [a b] [1 2 3 4] [a = 3]", "[1 2]"},
        {"remove-each [a b] [1 2 3] [true]", "[]"},
        {"b: [1 2 3] remove-each x b [break] b", "[1 2 3]"},
        {"b: [1 2 3] remove-each x b [if x = 2 [break] true] b", "[2 3]"},
        {"remove-each x [1 2 3] [if x = 2 [continue] true]", "[2]"},
        {"remove-each x [1 2 3] []", "[]"},  // unset! counts as true
        {"remove-each x [1 2 3] [none]", "[1 2 3]"},
        {"remove-each x \"abc\" [x = #\"b\"]", "\"ac\""},
        {"remove-each [] [1 2] [true]", "[1 2]"},
    };
    check(cases, std::size(cases));
}

TEST_F(NativesLoop, ExitsThatAreNotTheLoops) {
    const Case cases[] = {
        {"f: func [] [loop 3 [return 7] 8] f", "7"},
        {"f: func [] [foreach x [1 2] [exit] 8] f", "unset"},
        {"f: func [] [s: [1 2] forall s [exit] 8] f", "unset"},
        {"catch [repeat i 3 [throw i * 5]]", "5"},
        {"catch [while [throw 4] [1]]", "4"},  // a throw may leave the condition
        {"f: func [] [while [return 6] [1]] f", "6"},
        {"n: 0 loop 3 [n: n + 1 try [break]] n", "1"},
        {"n: 0 loop 3 [n: n + 1 catch [continue] n: n + 10] n", "3"},
    };
    check(cases, std::size(cases));
    EXPECT_EQ(run("e: loop 1 [try/all [break]] e/id"), "break");  // the barrier stops it
}

// Each loop leaves only its result: no frame, no cell of its own.
TEST_F(NativesLoop, StackIsBackAfterTheLoop) {
    const char* codes[] = {
        "while [false] []",        "n: 0 until [n: n + 1 2 < n]", "loop 50 [1 2 3]",
        "repeat i 50 [i]",         "forever [break]",            "foreach x [1 2 3] [x x]",
        "s: [1 2 3] forall s [s]", "remove-each x [1 2 3] [1]",  "loop 50 [try [fail 1]]",
        "loop 50 [catch [throw 1]]",
    };
    for (const char* code : codes) {
        Cell* block = load(code);
        Cell* top = stack::g_top;
        stack::CallFrame* frames = stack::g_frame_top;
        EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal) << code;
        EXPECT_EQ(stack::g_top, top + 1) << code;
        EXPECT_EQ(stack::g_frame_top, frames) << code;
    }
}

TEST_F(NativesLoop, SetWordsFromBlock) {
    Cell* words = load("a b");
    const struct {
        const char* source;
        bool any, only, some;
        const char* a;
        const char* b;
    } cases[] = {
        {"1 2", false, false, false, "1", "2"},
        {"1", false, false, false, "1", "none"},  // none! past the end
        {"5", false, true, false, "[5]", "[5]"},  // /only: the block itself
        {"0 2", false, false, true, "0", "2"},    // /some: none! leaves the word
    };
    for (const auto& c : cases) {
        run("a: 0 b: 0");
        Cell* source = load(c.source);
        if (c.some) *block::cell_at(source, 0) = make_cell(TYPE_NONE);
        natives::set_words_from_block(words, source, 2, c.any, c.only, c.some);
        EXPECT_EQ(run("a"), c.a) << c.source;
        EXPECT_EQ(run("b"), c.b) << c.source;
    }
    Cell seven = integer_cell(7);
    natives::set_words_from_block(words, &seven, 2, false, false, false);
    EXPECT_EQ(run("b"), "7");  // no series: every word gets the value
    Cell unset = make_cell(TYPE_UNSET);
    EXPECT_EQ(test_support::raised([&] {
                  natives::set_words_from_block(words, &unset, 2, false, false, false);
              }),
              ErrorId::script_need_value);
    natives::set_words_from_block(words, &unset, 2, true, false, false);
    EXPECT_EQ(run(":a"), "unset");
}

TEST_F(NativesLoop, CompiledLoopSteps) {
    run("x: 41");
    Cell x = *word::make_global("x");
    natives::repeat_step(&x);
    EXPECT_EQ(run("x"), "42");

    // A loop frame over the word s and its series cell, as compiled forall lays them.
    run("s: [1 2]");
    stack::push(word::get_value(word::make_global("s")));
    stack::push(word::make_global("s"));
    stack::push_loop_frame(nullptr);
    EXPECT_FALSE(natives::forall_next(false));
    EXPECT_TRUE(natives::forall_next(true) == false);
    EXPECT_EQ(eval_test::mold(*word::get_value(word::make_global("s"))), "[2]");
    natives::forall_sync_index();
    EXPECT_EQ(eval_test::mold(stack::g_base[-2]), "[2]");
    EXPECT_TRUE(natives::forall_next(true));
    stack::g_base[-2].data1 = 0;
    natives::forall_set_word();
    stack::pop_frame();
    EXPECT_EQ(run("s"), "[1 2]");

    Cell count = make_cell(TYPE_FLOAT);
    count.set_double(-2.7);
    EXPECT_EQ(natives::count_to_integer(&count), -2);
    EXPECT_TRUE(count.is(TYPE_INTEGER));
}

}  // namespace
