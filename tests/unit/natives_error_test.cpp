// The error and control-transfer natives try, catch, throw, break, continue,
// return and exit, run from source text.
#include <gtest/gtest.h>

#include <string>

#include "datatypes/error.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

using eval_test::Case;
using Failure = eval_test::Failure;

class NativesError : public eval_test::EvalTest {
protected:
    // The id of the error! value the code answers (count_ for any other value).
    ErrorId caught(const char* code) {
        ErrorId id = ErrorId::count_;
        Cell error;
        ErrorId raised = raised_or_none(
            [&] {
                Cell* block = load(code);
                EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal) << code;
                if (stack::g_top[-1].is(TYPE_ERROR)) id = error::id_of(&stack::g_top[-1]);
            },
            &error);
        EXPECT_EQ(raised, ErrorId::count_) << code << ": " << error_info(raised).id_name;
        return id;
    }
};

TEST_F(NativesError, EntriesAtTheirIndexes) {
    EXPECT_EQ(natives::g_table[70 - 1], natives::try_);
    const natives::Entry entries[] = {natives::break_, natives::continue_, natives::exit_,
                                      natives::return_, natives::throw_, natives::catch_};
    for (uint32_t i = 0; i < 6; i++) EXPECT_EQ(natives::g_table[76 + i], entries[i]) << i + 77;
}

TEST_F(NativesError, TryAnswersTheValueOrTheError) {
    const Case cases[] = {
        {"try [1 2]", "2"},
        {"try []", "unset"},
        {"try [fail 1] 3", "3"},
        {"n: 0 loop 3 [n: n + 1 try [break]] n", "1"},   // a plain try lets break through
        {"n: 0 loop 3 [try [n: n + 1 continue] n: 9] n", "3"},
        {"f: func [] [try [return 3] 4] f", "3"},
        {"f: func [] [try [exit] 4] f", "unset"},
        {"catch [try [throw 5] 6]", "5"},
        {"try/all [loop 2 [break/return 8]]", "8"},       // the loop lies inside the barrier
        {"try/all [catch [throw 2]]", "2"},
        {"f: func [] [try/all [return 1] 2] f", "2"},      // return stopped, f goes on
        {"try [try [fail 1] 7]", "7"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    const Failure errors[] = {
        {"try [fail 1]", ErrorId::script_invalid_arg},
        {"try/all [fail 1]", ErrorId::script_invalid_arg},
        {"loop 2 [try/all [break]]", ErrorId::throw_break},
        {"loop 2 [try/all [continue]]", ErrorId::throw_continue},
        {"f: func [] [try/all [return 1]] f", ErrorId::throw_return},
        {"f: func [] [try/all [exit]] f", ErrorId::throw_return},
        {"catch [try/all [throw 1]]", ErrorId::throw_throw},
        {"try [break]", ErrorId::throw_break},
        {"try [throw 3]", ErrorId::throw_throw},
        {"try [while [break] []]", ErrorId::throw_while_cond},
    };
    for (const auto& e : errors) EXPECT_EQ(caught(e.code), e.id) << e.code;
}

TEST_F(NativesError, TryKeepRecordsTheCallTrace) {
    run("e: try [fail 1]");
    EXPECT_TRUE(error::field(word::get_value(word::make_global("e")), error::STACK)->is(TYPE_INTEGER));
    run("g: func [] [fail 1] e: try/keep [g]");
    Cell e = global("e");
    EXPECT_TRUE(error::field(&e, error::STACK)->is(TYPE_BLOCK));
    run("e: try/keep [5]");
    EXPECT_EQ(run("e"), "5");
}

TEST_F(NativesError, Catch) {
    const Case cases[] = {
        {"catch [throw 1 2]", "1"},
        {"catch [1]", "1"},
        {"catch []", "unset"},
        {"catch [loop 3 [throw 4]]", "4"},
        {"catch [throw/name 6 'x]", "6"},                   // a plain catch takes every throw
        {"catch/name [throw/name 1 'A] 'a", "1"},          // names ignore case
        {"catch/name [throw/name 1 'b] [a b]", "1"},
        {"catch/name [throw/name 1 'a] [a 1]", "1"},        // matched before the bad element
        {"catch [catch/name [throw/name 1 'x] 'y 2]", "1"},  // on to the outer catch
        {"catch [catch/name [throw 1] 'y 2]", "1"},         // an unnamed throw skips /name
        {"catch/name [catch/name [throw/name 3 'x] 'y] [x]", "3"},
        {"g: func [] [throw 7] f: func [] [catch [g]] f", "7"},
        {"f: func [] [catch [return 3] 4] f", "3"},
        {"loop 2 [catch [break/return 1]]", "1"},
        {"catch [throw ()]", "unset"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    Cell error;
    EXPECT_EQ(fails("catch [fail 1]"), ErrorId::script_invalid_arg);  // errors pass by
    EXPECT_EQ(fails("catch/name [throw/name 1 'x] [a 1]", &error), ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(error_arg(error, 0), "name");
    EXPECT_EQ(error_arg(error, 1), "[a 1]");
}

TEST_F(NativesError, ExitsWithoutATarget) {
    Cell error;
    EXPECT_EQ(fails("throw 1", &error), ErrorId::throw_throw);
    EXPECT_EQ(error_arg(error, 0), "1");
    EXPECT_EQ(fails("catch/name [throw 1] 'a"), ErrorId::throw_throw);
    EXPECT_EQ(fails("catch/name [throw/name 2 'b] 'a", &error), ErrorId::throw_throw);
    EXPECT_EQ(error_arg(error, 0), "2");
    const Failure failures[] = {
        {"break", ErrorId::throw_break},
        {"break/return 1", ErrorId::throw_break},
        {"continue", ErrorId::throw_continue},
        {"return 1", ErrorId::throw_return},
        {"exit", ErrorId::throw_return},
    };
    for (const auto& f : failures) EXPECT_EQ(fails(f.code), f.id) << f.code;
    // The error names the call that tried the exit.
    EXPECT_EQ(fails("g: func [] [break] g", &error), ErrorId::throw_break);
    EXPECT_EQ(eval_test::mold(*error::field(&error, error::WHERE)), "break");
}

TEST_F(NativesError, ReturnAndExit) {
    const Case cases[] = {
        {"f: func [] [return 5 6] f", "5"},
        {"f: func [] [exit 6] f", "unset"},
        {"f: func [] [do [return 5] 6] f", "5"},  // do marks its caller as a body
        {"f: func [] [loop 2 [do [exit]] 3] f", "unset"},
        {"f: func [x] [if x [return 1] 2] f true", "1"},
        {"f: func [n] [if n = 0 [return 0] n + f n - 1] f 4", "10"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(NativesError, CompiledTryErrorResult) {
    // An ordinary error becomes the result of the current call.
    stack::push_native_frame(nullptr);
    *stack::push_cell() = make_cell(TYPE_NONE);
    Cell error;
    fails("fail 1", &error);
    stack::push(&error);
    natives::try_error_result(false);
    EXPECT_EQ(error::id_of(stack::g_base), ErrorId::script_invalid_arg);
    EXPECT_EQ(stack::g_top, stack::g_base + 1);
    // A throw that found no catch goes on to the next try.
    fails("throw 9", &error);
    EXPECT_EQ(test_support::raised([&] {
                  stack::push(&error);
                  natives::try_error_result(false);
              }),
              ErrorId::throw_throw);
    stack::pop_frame();
}

}  // namespace
