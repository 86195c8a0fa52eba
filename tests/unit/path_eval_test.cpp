// Path evaluation: reads, assignments and calls through blocks and objects,
// paren elements, and the errors of malformed paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interpreter/path_eval.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;
using eval_test::g_notes;

namespace {

using Notes = std::vector<std::string>;

class PathEval : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        run("b: [10 20 30] n: [[1 2] [3 4]] o: make object! [a: 1 c: make object! [d: 4] "
            "f: func [x] [x + a] g: func [x /twice] [either twice [x * 2] [x]]] k: func [] [9]");
    }
};

TEST_F(PathEval, Reads) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"b/2", "20"},
        {"b/(1 + 2)", "30"},
        {"i: 1 b/:i", "10"},
        {"n/2/1", "3"},
        {"o/a", "1"},
        {"o/c/d", "4"},
        {":o/c/d", "4"},
        {":o/missing", "unset"},
        {"b/4", "none"},
        {"b/(b: [7 8 9] 2)", "8"},  // the paren changed the head word's value
        {"o/f 2", "3"},              // a method
        {"o/g 5", "5"},
        {"o/g/twice 5", "10"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(PathEval, Assignments) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"b/2: 99", "99"},
        {"b/2: 99 b", "[10 99 30]"},
        {"n/2/1: 5 n", "[[1 2] [5 4]]"},
        {"o/a: 5 o/a", "5"},
        {"o/c/d: 7 o/c/d", "7"},
        {"o/a: 1 + 2", "3"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

// The value is evaluated before the path is walked.
TEST_F(PathEval, ValueBeforePath) {
    EXPECT_EQ(run("b/(note 1 1): (note 2 5) b"), "[5 20 30]");
    EXPECT_EQ(g_notes, (Notes{"2", "1"}));
}

TEST_F(PathEval, Errors) {
    const eval_test::ErrorCase cases[] = {
        {"u/a", ErrorId::script_unset_path, "u/a", "u", ""},
        {"o/missing", ErrorId::script_invalid_path, "o/missing", "missing", ""},
        {"o/missing: 1", ErrorId::script_invalid_path, "o/missing:", "missing", ""},
        {"b/(())", ErrorId::script_invalid_path, "b/(())", "(())", ""},
        {"b/:nothing-at-all", ErrorId::script_invalid_path, "b/:nothing-at-all", ":nothing-at-all", ""},
        {":k/x", ErrorId::script_invalid_path_get, ":k/x", "", ""},
        {"k/x: 1", ErrorId::script_invalid_path_set, "k/x:", "", ""},
        {"i: 5 i/a", ErrorId::script_bad_path_type, "i/a", "integer!", "i"},
        {"o/a/b", ErrorId::script_bad_path_type, "o/a/b", "integer!", "o/a"},
    };
    check_errors(cases);
}

// Paths the lexer cannot write: empty, or not starting with a word.
TEST_F(PathEval, MalformedPaths) {
    Cell* empty = load("x/y");
    empty->header = TYPE_PATH;
    memory::buffer_of(empty->data2)->tail = memory::buffer_of(empty->data2)->head;
    EXPECT_EQ(test_support::raised([&] {
                  (void)interpreter::eval_path(empty, nullptr, nullptr, interpreter::PathMode::get, true, false);
              }),
              ErrorId::script_empty_path);
    Cell* numbered = load("1 a");
    numbered->header = TYPE_PATH;
    Cell error;
    EXPECT_EQ(test_support::raised([&] {
                  (void)interpreter::eval_path(numbered, nullptr, nullptr, interpreter::PathMode::get, true, false);
              }, &error),
              ErrorId::script_word_first);
    EXPECT_EQ(error_arg(error, 0), "1/a");
}

// A function reached by a path takes its arguments from the code after it.
TEST_F(PathEval, CallsTakeArgumentsFromTheCode) {
    Cell* path = load("o/f");
    Cell p = *block::cell_at(path, 0);
    Cell* code = load("41 99");
    uint32_t index = 0;
    Cell* top = stack::g_top;
    ASSERT_EQ(interpreter::eval_path(&p, code, &index, interpreter::PathMode::get, true, false), Flow::normal);
    EXPECT_EQ(index, 1u);
    EXPECT_EQ(stack::g_top, top + 1);
    EXPECT_EQ(eval_test::mold(*top), "42");
}

}  // namespace
