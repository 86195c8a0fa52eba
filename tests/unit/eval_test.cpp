// The evaluator: expressions, infix operators, argument classes, refinements,
// function bodies, callbacks and the hooks other modules call.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/collector.hpp"
#include "datatypes/typeset.hpp"
#include "interpreter/trace.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;
using eval_test::g_notes;
using eval_test::g_slots;

namespace {

using Eval = eval_test::EvalTest;
using Notes = std::vector<std::string>;

TEST_F(Eval, Expressions) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"", "unset"},
        {"1 + 2 * 3", "9"},  // no precedence: left to right
        {"2 * 3 + 1", "7"},
        {"1 + (2 * 3)", "7"},
        {"a: b: 1 a + b", "2"},
        {"x: 10 x", "10"},
        {"'x", "x"},
        {":never-set-word", "unset"},
        {"'a/b", "a/b"},
        {"#issue", "#issue"},
        {"f: func [a] [a] f 1 + 2", "3"},  // a prefix call's argument takes operators
        {"f: func [a] [a] 1 + f 2 + 3", "6"},
        {"f: func [a b] [a - b] f 10 3", "7"},
        {"f: func [] [return 1 2] f", "1"},
        {"f: func [] [] f", "unset"},
        {"f: func [a /local b] [b: a * 2 b] f 4", "8"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

// Integer operands of the built-in operators take a shorter way; every other
// operand goes through the call, with the same results.
TEST_F(Eval, OperatorsAgreeWithTheirFunctions) {
    const char* pairs[][2] = {
        {"1 + 2.5", "add 1 2.5"},
        {"2147483647 + 1", "add 2147483647 1"},
        {"-2147483648 - 1", "subtract -2147483648 1"},
        {"65536 * 65536", "multiply 65536 65536"},
        {"7 - 10", "subtract 7 10"},
    };
    for (const auto& p : pairs) EXPECT_EQ(run(p[0]), run(p[1])) << p[0];
    EXPECT_EQ(run("1 + 2.5"), "3.5");
    EXPECT_EQ(run("f: func [a b] [a * 10 + b] join: make op! :f 1 join 2 join 3"), "123");
}

// The comparison natives behind operators, on integers (their own code is
// not needed for that).
TEST_F(Eval, IntegerComparisons) {
    const struct {
        const char* word;
        uint32_t native;
        const char* results;  // for 1 ? 2, 2 ? 2, 3 ? 2
    } ops[] = {
        {"eq", 25, "false true false"},  {"ne", 26, "true false true"},
        {"seq", 27, "false true false"}, {"lt", 28, "true false false"},
        {"gt", 29, "false false true"},  {"le", 30, "true true false"},
        {"ge", 31, "false true true"},
    };
    for (const auto& o : ops) {
        Cell* native = native::push(TYPE_NATIVE, load("a [integer!] b [integer!]"), o.native);
        set_global(o.word, *op::make(nullptr, native, TYPE_OP));
        std::string got;
        for (const char* left : {"1", "2", "3"}) {
            if (!got.empty()) got += " ";
            got += run((std::string(left) + " " + o.word + " 2").c_str());
        }
        EXPECT_EQ(got, o.results) << o.word;
    }
}

// A routine: its arguments checked against the machine types it declares.
TEST_F(Eval, Routines) {
    const uint32_t sum = routine::register_entry([](Cell* args) {
        routine::MachineResult r;
        r.integer = args[0].as_int() + args[1].as_int();
        return r;
    });
    Cell* made = routine::push(load("a [integer!] b [integer!]"), nullptr, sum, TYPE_INTEGER, false);
    set_global("sum", *made);
    EXPECT_EQ(run("sum 2 3"), "5");
    EXPECT_EQ(run("1 + sum 2 3"), "6");
    Cell error;
    EXPECT_EQ(fails("sum 2 \"x\"", &error), ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 0), "sum");
    const uint32_t first = routine::register_entry([](Cell* args) {
        args[0] = args[1];  // a result written in place
        return routine::MachineResult{};
    });
    made = routine::push(load("a b"), nullptr, first, routine::NO_RETURN_TYPE, true);
    set_global("second", *made);
    EXPECT_EQ(run("second 1 \"two\""), "\"two\"");
}

TEST_F(Eval, BothSetWordsOfAChainAreSet) {
    EXPECT_EQ(run("a: b: 5 + 1"), "6");
    EXPECT_EQ(eval_test::mold(global("a")), "6");
    EXPECT_EQ(eval_test::mold(global("b")), "6");
}

TEST_F(Eval, Errors) {
    const eval_test::ErrorCase cases[] = {
        {"nothing-here + 1", ErrorId::script_no_value, "nothing-here", "", ""},
        {"+ 1", ErrorId::script_no_op_arg, "+", "", ""},
        {"f: func [a b] [a] f 1", ErrorId::script_no_arg, "f", "b", ""},
        {"a:", ErrorId::script_need_value, "a:", "", ""},
        {"a: ()", ErrorId::script_need_value, "a:", "", ""},
        {"b/1:", ErrorId::script_need_value, "b/1:", "", ""},
        {"g: func [a [integer!]] [a] g \"s\"", ErrorId::script_expect_arg, "g", "string!", "a"},
        {"1 + \"s\"", ErrorId::script_expect_arg, "+", "string!", "value2"},
        {"\"s\" + 1", ErrorId::script_expect_arg, "+", "string!", "value1"},
        {"#system [1]", ErrorId::internal_zun_system, "", "", ""},
        {"#system-global [1]", ErrorId::internal_zun_system, "", "", ""},
    };
    check_errors(cases);
}

// An op! value standing in the code is reserved.
TEST_F(Eval, OperatorValueInCode) {
    Cell* code = load("1");
    *block::cell_at(code, 0) = global("+");
    EXPECT_EQ(test_support::raised([&] { (void)interpreter::eval_block(code, false); }),
              ErrorId::internal_not_done);
}

TEST_F(Eval, ArgumentClasses) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"h: func ['w] [w] h foo", "foo"},
        {"h: func ['w] [w] h (1 + 2)", "3"},
        {"x: 5 h: func ['w] [w] h :x", "5"},
        {"b: [1 2] h: func ['w] [w] h :b/2", "2"},
        {"g: func [:w] [w] g (1 + 2)", "(1 + 2)"},
        {"g: func [:w] [w] g :x", ":x"},
        {"o: func ['w [any-type!]] [:w] o", "unset"},  // an optional literal at the tail
        {"o: func ['w [any-type!]] [:w] o 7", "7"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(Eval, FunctionRefinementsLandInTheirOwnCells) {
    run("f: func [a /x b /y c] [note a note x note b note y note c]");
    const struct {
        const char* call;
        Notes notes;
    } cases[] = {
        {"f 1", {"1", "false", "none", "false", "none"}},
        {"f/x/y 1 2 3", {"1", "true", "2", "true", "3"}},
        {"f/y/x 1 2 3", {"1", "true", "3", "true", "2"}},
        {"f/y 1 2", {"1", "false", "none", "true", "2"}},
        {"on: true f/:on 1 2", {}},  // no refinement named on
        {"x: false f/:x 1 2", {"1", "false", "none", "false", "none"}},  // 2 taken, dropped
        {"x: true f/:x 1 2", {"1", "true", "2", "false", "none"}},
    };
    for (const auto& c : cases) {
        g_notes.clear();
        if (c.notes.empty()) {
            EXPECT_EQ(fails(c.call), ErrorId::script_no_refine) << c.call;
            continue;
        }
        run(c.call);
        EXPECT_EQ(g_notes, c.notes) << c.call;
    }
}

TEST_F(Eval, RefinementWithTwoArguments) {
    run("f: func [a /x b c /y d] [note b note c note d] f/y/x 1 2 3 4");
    EXPECT_EQ(g_notes, (Notes{"3", "4", "2"}));
}

TEST_F(Eval, RefinementErrors) {
    run("f: func [a /x b] [a]");
    Cell error;
    EXPECT_EQ(fails("f/x/x 1 2 3", &error), ErrorId::script_dup_refine);
    EXPECT_EQ(error_arg(error, 0), "f/x/x");
    EXPECT_EQ(fails("f/z 1", &error), ErrorId::script_no_refine);
    EXPECT_EQ(error_arg(error, 0), "f");
    EXPECT_EQ(error_arg(error, 1), "z");
    EXPECT_EQ(fails("f/1 1", &error), ErrorId::script_bad_refine);
    EXPECT_EQ(error_arg(error, 0), "1");
    EXPECT_EQ(fails("f/x 1", &error), ErrorId::script_no_arg);
    EXPECT_EQ(error_arg(error, 1), "b");
}

// probe [a /r1 x /r2 /r3 y z]: a slot is the index of the refinement's first
// argument cell, or the argument count for one without arguments.
TEST_F(Eval, NativeRefinementSlots) {
    const struct {
        const char* call;
        int32_t slots[3];
        Notes cells;
    } cases[] = {
        {"probe 1", {-1, -1, -1}, {"1"}},
        {"probe/r1 1 2", {1, -1, -1}, {"1", "2"}},
        {"probe/r2 1", {-1, 1, -1}, {"1"}},
        {"probe/r3/r1 1 2 3 4", {3, -1, 1}, {"1", "2", "3", "4"}},
        {"probe/r1/r2/r3 1 2 3 4", {1, 2, 2}, {"1", "2", "3", "4"}},
    };
    for (const auto& c : cases) {
        g_notes.clear();
        run(c.call);
        EXPECT_EQ(g_notes, c.cells) << c.call;
        for (int i = 0; i < 3; i++) EXPECT_EQ(g_slots[i], c.slots[i]) << c.call << " slot " << i;
    }
}

TEST_F(Eval, RecursionKeepsEachCallsArguments) {
    EXPECT_EQ(run("fact: func [n] [either n < 2 [1] [n * fact n - 1]] fact 10"), "3628800");
    run("r: func [n] [if 0 < n [r n - 1] note n] r 3");
    EXPECT_EQ(g_notes, (Notes{"0", "1", "2", "3"}));
}

TEST_F(Eval, ArgumentSpecIsScannedOnce) {
    run("f: func [a b] [a] f 1 2");
    const Cell f = global("f");
    const Cell first = *function::more_cell(&f, function::MORE_ARGUMENTS);
    ASSERT_TRUE(first.is(TYPE_BLOCK));
    run("f 3 4");
    EXPECT_EQ(function::more_cell(&f, function::MORE_ARGUMENTS)->data2, first.data2);
}

TEST_F(Eval, ReturnLeavesOnlyItsFunction) {
    EXPECT_EQ(run("f: func [] [loop 3 [return 7] 8] f"), "7");
    EXPECT_EQ(run("f: func [a] [do [return a + 1] 8] f 4"), "5");  // the frame of the body
    EXPECT_EQ(run("g: func [] [f 1 note 2 3] g"), "3");
    EXPECT_EQ(g_notes, (Notes{"2"}));
    // do marks whatever frame called it: the return still leaves the function.
    EXPECT_EQ(run("f: func [] [either true [do [return 5]] [2] 3] f"), "5");
    EXPECT_EQ(run("f: func [] [x: do [return 6] 7] f"), "6");
    EXPECT_EQ(run("f: func [] [note do [return 7] 8] f"), "7");
    EXPECT_EQ(run("f: func [] [1 + do [return 8]] f"), "8");
    EXPECT_EQ(g_notes, (Notes{"2"}));
    EXPECT_EQ(fails("either true [do [return 1]] [2]"), ErrorId::throw_return);
    EXPECT_EQ(run("n: 0 loop 5 [n: n + 1 if 2 < n [break]] n"), "3");
}

TEST_F(Eval, MakeObjectEvaluatesItsSpec) {
    EXPECT_EQ(run("o: make object! [a: 1 + 2 b: a * 2] o/b"), "6");
}

TEST_F(Eval, OnChangeGetsWordOldAndNew) {
    run("o: make object! [a: 1 on-change*: func [word old new] [note word note old note new]]");
    EXPECT_TRUE(g_notes.empty());  // nothing fires while the spec runs
    run("o/a: 5");
    EXPECT_EQ(g_notes, (Notes{"a", "1", "5"}));
    // Through a word bound to the object.
    g_notes.clear();
    Cell* code = load("a: 7");
    const Cell o = global("o");
    context::bind_block(code, o.data1, false);
    ASSERT_EQ(interpreter::eval_block(code, false), Flow::normal);
    EXPECT_EQ(g_notes, (Notes{"a:", "5", "7"}));  // the word as the code wrote it
}

TEST_F(Eval, SortWithCompareFunction) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"b: [3 1 2] sort/compare b func [x y] [x < y] b", "[1 2 3]"},
        {"b: [3 1 2] sort/compare/reverse b func [x y] [x < y] b", "[3 2 1]"},
        {"b: [3 1 2] sort/compare/stable b func [x y] [x < y] b", "[1 2 3]"},
        {"b: [2 a 1 b] sort/skip/compare/all b 2 func [x y] [x/1 < y/1] b", "[1 b 2 a]"},
        {"s: \"cab\" sort/compare s func [x y] [x < y] s", "\"abc\""},
        {"s: \"cab\" sort/compare/reverse s func [x y] [x < y] s", "\"cba\""},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

// An error or a break out of the comparator leaves the series as it was.
TEST_F(Eval, SortComparatorLeavingEarly) {
    EXPECT_EQ(fails("b: [5 3 9 1 7 2] sort/compare b func [x y] [if x < y [fail x] x < y]"),
              ErrorId::script_invalid_arg);
    const Cell b = global("b");
    std::vector<int32_t> seen;
    for (int32_t i = 0; i < block::length_from_head(&b); i++) seen.push_back(block::cell_at(&b, i)->as_int());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 5, 7, 9}));
    EXPECT_EQ(run("b: [3 1 2] loop 2 [note 1 sort/compare b func [x y] [break]] note 2 b"), "[3 1 2]");
    EXPECT_EQ(g_notes, (Notes{"1", "2"}));
}

TEST_F(Eval, EvalNextAndOneFramed) {
    Cell* code = load("1 + 2 3");
    stack::push_native_frame(nullptr);
    *stack::push_cell() = make_cell(TYPE_NONE);  // slot 0 gets the result
    ASSERT_EQ(interpreter::eval_next(code), Flow::normal);
    EXPECT_EQ(eval_test::mold(*stack::g_base), "3");
    EXPECT_EQ(code->data1, 3u);
    uint32_t index = 3;
    Cell* top = stack::g_top;
    ASSERT_EQ(interpreter::eval_one_framed(code, &index, true), Flow::normal);
    EXPECT_EQ(index, 4u);
    EXPECT_EQ(stack::g_top, top + 1);
    EXPECT_EQ(eval_test::mold(top[0]), "3");
}

TEST_F(Eval, EvalValue) {
    run("x: 4 f: func [] [9]");
    const struct {
        const char* value;
        bool as_data;
        const char* molded;
    } cases[] = {{"x", false, "4"}, {"(1 + 1)", false, "2"}, {":f", false, "9"}, {":f", true, "?function?"}};
    for (const auto& c : cases) {
        Cell* code = load(c.value);
        Cell v = *block::cell_at(code, 0);
        if (v.is(TYPE_GET_WORD)) v = *word::get_value(&v);
        Cell* top = stack::g_top;
        ASSERT_EQ(interpreter::eval_value(&v, true, c.as_data), Flow::normal);
        EXPECT_EQ(stack::g_top, top + 1);
        EXPECT_EQ(top->is(TYPE_FUNCTION) ? "?function?" : eval_test::mold(*top), c.molded) << c.value;
    }
}

TEST_F(Eval, CallFunctionFromCpp) {
    run("f: func [a [integer!] b /x] [note x a - b]");
    const Cell f = global("f");
    const Cell args[2] = {integer_cell(7), integer_cell(2)};
    Cell* top = stack::g_top;
    ASSERT_EQ(interpreter::call_function(&f, args, 2, true), Flow::normal);
    EXPECT_EQ(stack::g_top, top + 1);
    EXPECT_EQ(eval_test::mold(*top), "5");
    EXPECT_EQ(g_notes, (Notes{"false"}));
    ASSERT_EQ(interpreter::call_function(&f, args, 2, false), Flow::normal);
    EXPECT_EQ(eval_test::mold(*stack::g_base), "5");
    Cell error;
    EXPECT_EQ(test_support::raised([&] { (void)interpreter::call_function(&f, args, 1, true); }, &error),
              ErrorId::script_no_arg);
    EXPECT_EQ(error_arg(error, 1), "b");
    const Cell wrong[2] = {logic::make_value(true), integer_cell(1)};
    EXPECT_EQ(test_support::raised([&] { (void)interpreter::call_function(&f, wrong, 2, true); }),
              ErrorId::script_expect_arg);
}

// apply's modes: refinements named in the code, or every argument in order.
TEST_F(Eval, CallFlags) {
    run("f: func [a /x b /y c] [note a note x note b note y note c]");
    const Cell f = global("f");
    const struct {
        const char* code;
        uint32_t flags;
        Notes notes;
    } cases[] = {
        {"1 /y true 3", interpreter::CALL_CODE_REFINEMENTS, {"1", "false", "none", "true", "3"}},
        {"1 /x false 2 + 3", interpreter::CALL_CODE_REFINEMENTS, {"1", "false", "none", "false", "none"}},
        {"1", interpreter::CALL_CODE_REFINEMENTS, {"1", "false", "none", "false", "none"}},
        {"1 true 2 false 3", interpreter::CALL_APPLIED, {"1", "true", "2", "false", "none"}},
        {"1 true 1 + 1", interpreter::CALL_APPLIED, {"1", "true", "2", "false", "none"}},
        {"1 true", interpreter::CALL_APPLIED, {"1", "true", "none", "false", "none"}},
    };
    for (const auto& c : cases) {
        g_notes.clear();
        Cell* code = load(c.code);
        uint32_t index = 0;
        interpreter::CallOptions o;
        o.flags = c.flags;
        ASSERT_EQ(interpreter::call_function_value(&f, code, &index, true, o), Flow::normal) << c.code;
        EXPECT_EQ(g_notes, c.notes) << c.code;
    }
    Cell* code = load("1 true 2 3");
    uint32_t index = 0;
    interpreter::CallOptions o;
    o.flags = interpreter::CALL_APPLIED;
    EXPECT_EQ(test_support::raised([&] { (void)interpreter::call_function_value(&f, code, &index, true, o); }),
              ErrorId::script_expect_arg);  // 3 is no logic! for /y
}

TEST_F(Eval, LexerCallback) {
    run("cb: func [event input type line token] [note event true]");
    Cell cb = global("cb");
    const Cell input = *string::load_c_text("1", 1, 0);
    lexer::Options options;
    options.callback = &cb;
    Cell* out = stack::push_cell();
    *out = make_cell(TYPE_NONE);
    uint32_t consumed = 0;
    lexer::load_string(out, &input, 0, -1, options, &consumed);
    EXPECT_EQ(eval_test::mold(*out), "[1]");
    EXPECT_FALSE(g_notes.empty());
}

}  // namespace

namespace {

using EvalSupport = eval_test::EvalTest;

// The cells of the code, from a new frame's slot 0 on.
Cell* frame_with(const Cell* code) {
    stack::push_native_frame(nullptr);
    Cell* base = stack::g_base;
    for (int32_t i = 0; i < block::length_from_head(code); i++) stack::push(block::cell_at(code, i));
    return base;
}

TEST_F(EvalSupport, SwitchLookup) {
    const struct {
        const char* key_and_block;
        bool one_step;
        bool block_flag;
        const char* found;
    } cases[] = {
        {"2 [1 \"a\" 2 \"b\"]", false, false, "\"b\""},
        {"\"a\" [1 \"a\" 2 \"b\"]", false, false, "none"},  // every second element only
        {"\"b\" [1 \"a\" 2 \"b\"]", true, false, "\"b\""},  // the last element: itself
        {"2 [1 2 3 [x] [y]]", true, true, "[x]"},
        {"3 [1 2 3]", true, true, "none"},
        {"[1] [[1] 2]", true, false, "none"},
        {"1.0 [1 2]", true, false, "none"},  // the type must match
    };
    for (const auto& c : cases) {
        Cell* code = load(c.key_and_block);
        Cell* base = frame_with(code);
        support::switch_lookup(c.one_step, c.block_flag);
        EXPECT_EQ(eval_test::mold(c.one_step ? stack::g_top[-1] : *base), c.found) << c.key_and_block;
        stack::pop_frame();
    }
}

TEST_F(EvalSupport, ArgumentChecks) {
    run("f: func [a [integer!] /r b [integer!]] [a]");
    Cell name = *word::make_global("f");
    stack::push_native_frame(&name);
    Cell ts = make_cell(TYPE_TYPESET);
    typeset::add(&ts, TYPE_INTEGER);
    Cell one = integer_cell(1), text = *string::load_c_text("x", 1, 0), off = logic::make_value(false);
    EXPECT_EQ(support::check_arg_type(&ts, 0, &one), &one);
    EXPECT_EQ(support::check_opt_arg_type(&off, &ts, 2, &text), &text);  // refinement not used
    EXPECT_EQ(support::check_stack_arg_type(-1, &ts, 2), -1);
    Cell error;
    auto check_in_f = [&] {
        stack::push_native_frame(&name);  // the callee the error names
        support::check_arg_type(&ts, 2, &text);
    };
    EXPECT_EQ(test_support::raised(check_in_f, &error), ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 0), "f");
    EXPECT_EQ(error_arg(error, 1), "string!");
    EXPECT_EQ(error_arg(error, 2), "b");
    Cell unset = make_cell(TYPE_UNSET);
    EXPECT_EQ(test_support::raised([&] { support::reject_unset_arg(0, &unset); }, &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 1), "unset!");
}

// probe [a /r1 x /r2 /r3 y z] with its arguments in place.
TEST_F(EvalSupport, CallWithRefinements) {
    Cell* code = load("1 2 3 4");
    frame_with(code);
    const Cell yes = logic::make_value(true), no = logic::make_value(false);
    const support::RefinementGroup groups[] = {{&yes, 1, 1, 1}, {&no, 3, 2, 2}};
    ASSERT_EQ(support::call_with_refinements(116, true, 3, groups, 2), Flow::normal);
    EXPECT_EQ(g_notes, (Notes{"1", "2", "none", "none"}));
    EXPECT_EQ(g_slots[0], 1);
    EXPECT_EQ(g_slots[1], -1);
    EXPECT_EQ(g_slots[2], -1);
}

// Whatever an earlier call left above the top is no value: a tracer's
// collection must not take it as one (it may name a node freed since, whose
// reuse it would then keep half-marked).
TEST_F(Eval, ACellLeftAboveTheTopIsNoRootWhileATracerRuns) {
    run("tracer: func [event code offset value [any-type!] ref frame] [recycle]");
    const Cell tracer = global("tracer");
    constexpr uint32_t CELLS = 37;
    const NodeId left = memory::alloc_cells(CELLS);
    memory::SeriesBuffer* b = memory::buffer_of(left);
    for (uint32_t i = 0; i < CELLS; i++) b->head_cell()[i] = integer_cell(4242);
    b->tail = b->head + CELLS * sizeof(Cell);
    *stack::g_top = make_cell(TYPE_BLOCK, 0, left, 0);
    {
        interpreter::TraceScope scope(&tracer);  // its init event calls the tracer
    }
    // Freed, or freed and given to another buffer since (a stress build
    // collects at every allocation).
    b = memory::node_free(left) ? nullptr : memory::buffer_of(left);
    const bool kept = b && b->used() == CELLS * sizeof(Cell) && b->head_cell()[0].is(TYPE_INTEGER) &&
                      b->head_cell()[0].as_int() == 4242;
    EXPECT_FALSE(kept);
}

TEST_F(EvalSupport, EvalPath) {
    run("o: make object! [c: make object! [d: 4]]");
    Cell* items = load("o c d");
    Cell* path = load("o/c/d");
    const Cell p = *block::cell_at(path, 0);
    stack::push_native_frame(nullptr);
    *stack::push_cell() = integer_cell(9);
    support::eval_path(false, &p, block::cell_at(items, 0), 3);
    EXPECT_EQ(eval_test::mold(*stack::g_base), "4");
    *stack::g_base = integer_cell(9);
    support::eval_path(true, &p, block::cell_at(items, 0), 3);
    EXPECT_EQ(run("o/c/d"), "9");
}

}  // namespace
