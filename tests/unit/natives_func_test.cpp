// The function-making, word and evaluation natives func, function, does, has,
// do, get and set, run from source text.
#include <gtest/gtest.h>

#include <string>

#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

// The evaluator's fixture, with its stand-ins for func and do replaced by
// the natives themselves.
class NativesFunc : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        define_native(14, "func", "spec [block!] body [block!]", &natives::func);
        define_native(20, "do",
                      "value [any-type!] /expand /args arg /next position [word!] "
                      "/trace callback [function!]",
                      &natives::do_);
    }

    // The error a native raises when called with the check flag on the
    // arguments given (molded source of each), under a frame of its name.
    ErrorId checked_call(const char* name, natives::Entry entry, const char* args,
                         const int32_t* refinements, Cell* error) {
        return raised_or_none(
            [&] {
                Cell* values = load(args);
                const Cell name_word = *word::make_global(name);
                stack::push_native_frame(&name_word);
                const memory::SeriesBuffer* b = memory::buffer_of(values->data2);
                for (uint32_t i = 0; i < b->used() / sizeof(Cell); i++)
                    stack::push(memory::buffer_of(values->data2)->head_cell() + i);
                (void)entry(1, refinements);
            },
            error);
    }
};

TEST_F(NativesFunc, MakingFunctions) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"f: func [a b] [a + b] f 1 2", "3"},
        {"f: func [a [integer!] \"doc\" /r b] [either r [b] [a]] f/r 1 2", "2"},
        {"b: next [x] clear head b f: func [] b mold :f", "\"func [][]\""},  // head past tail
        {"f: function [x] [y: x * 2 y] f 4", "8"},
        {"y: 1 f: function [x] [y: x] f 5 y", "1"},                 // y is local
        {"y: 1 f: function [x /extern y] [y: x] f 5 y", "5"},       // y is not
        {"f: function [x /extern y] [y: x z: 1] mold :f", "\"func [x /local z][y: x z: 1]\""},
        {"f: function [/local a] [b: 1] mold :f", "\"func [/local a b][b: 1]\""},
        {"f: function [] [foreach [k v] [1 2] [] k] mold :f",
         "\"func [/local k v][foreach [k v] [1 2] [] k]\""},
        {"f: does [1 + 1] f", "2"},
        {"f: has [a] [a: 5 a] f", "5"},
        {"a: 1 f: has [a] [a: 5] f a", "1"},
        {"f: has [a] [] mold :f", "\"func [/local a][]\""},
        {"v: [a] f: has v [] v", "[a]"},  // the vars block is copied
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(NativesFunc, Do) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"do [1 2]", "2"},
        {"do []", "unset"},
        {"do \"1 + 2\"", "3"},
        {"do \"\"", "unset"},
        {"do 5", "5"},
        {"f: does [7] do :f", "7"},
        {"x: 3 do 'x", "3"},
        {"do 'nothing-here/x", "error"},
        {"p: to paren! [1 + 2] do :p", "3"},
        {"do/next [1 + 2 3] 'pos", "3"},
        {"do/next [1 + 2 3] 'pos pos", "[3]"},
        {"do/next next [1 2] 'pos pos", "[]"},
        {"do/next [] 'pos", "unset"},
        {"b: next [1] do/next tail b 'pos index? pos", "2"},
        {"do/next \"4 5\" 'pos pos", "[5]"},
        {"f: func [a] [do [return a + 1] 8] f 4", "5"},
        {"f: func [] [do :g 2] g: func [] [3] f", "2"},
    };
    for (const auto& c : cases) {
        if (std::string(c.molded) == "error") {
            EXPECT_NE(fails(c.code), ErrorId::count_) << c.code;
        } else {
            EXPECT_EQ(run(c.code), c.molded) << c.code;
        }
    }
}

TEST_F(NativesFunc, GetAndSet) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"x: 5 get 'x", "5"},
        {"get/any 'nothing-here", "unset"},
                {"o: make object! [a: 1 b: \"s\"] get o", "[1 \"s\"]"},
        {"o: make object! [a: 1] get 'o/a", "1"},
        {"n: 0 f: does [n: 1] o: make object! [m: :f] get 'o/m n", "0"},  // not called
        {"set 'x 5", "5"},
        {"set 'x 5 x", "5"},
        {"set/any 'x get/any 'nothing-here get/any 'x", "unset"},
        {"set [a b] [1] reduce [a b]", "[1 none]"},
        {"a: b: 0 set/some [a b] [1 #(none)] reduce [a b]", "[1 0]"},
        {"set [a b] 5 reduce [a b]", "[5 5]"},
        {"set/only [a b] [1 2] reduce [a b]", "[[1 2] [1 2]]"},
        {"set [a b] [1 2 3]", "[1 2 3]"},
        {"set next [a b] [1 2] b", "1"},
        {"o: make object! [a: 1 b: 2] set o [3 4] reduce [o/a o/b]", "[3 4]"},
        {"o: make object! [a: 1] set 'o/a 9 o/a", "9"},
        {"o: make object! [a: 1] set 'o/a 9", "9"},
        {"b: [1 2] set 'b/2 5 b", "[1 5]"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(NativesFunc, Errors) {
    const struct {
        const char* code;
        ErrorId id;
        const char* arg1;
    } cases[] = {
        {"func [a a] []", ErrorId::script_dup_vars, "a"},
        {"func [1] []", ErrorId::script_bad_func_def, "[1]"},
        {"function [x /extern 1] []", ErrorId::script_bad_func_extern, "1"},
        {"has [/r] []", ErrorId::script_bad_func_def, "[/local /r]"},
        {"get 'nothing-here", ErrorId::script_no_value, "nothing-here"},
        {"set 'x get/any 'nothing-here", ErrorId::script_need_value, "x"},
        {"set [a b] reduce [1 get/any 'nothing-here]", ErrorId::script_need_value, "b"},
        {"set [a 1] [1 2]", ErrorId::script_invalid_arg, "1"},
        {"do make error! \"boom\"", ErrorId::user_message, "\"boom\""},
        {"do %nothing.zun", ErrorId::internal_not_done, ""},
    };
    for (const auto& c : cases) {
        Cell error;
        ASSERT_EQ(fails(c.code, &error), c.id) << c.code;
        if (*c.arg1) {
            EXPECT_EQ(error_arg(error, 0), c.arg1) << c.code;
        }
    }
}

// A set that fails on its first check sets none of the words.
TEST_F(NativesFunc, BlockSetChecksBeforeSetting) {
    EXPECT_EQ(fails("a: 0 set [a b] reduce [1 get/any 'nothing-here]"), ErrorId::script_need_value);
    EXPECT_EQ(run("a"), "0");
}

// With the check flag the natives check their own arguments.
TEST_F(NativesFunc, CheckFlag) {
    const int32_t do_next[] = {-1, -1, 1, -1};
    const int32_t none2[] = {-1, -1};
    const int32_t none4[] = {-1, -1, -1, -1};
    const struct {
        const char* name;
        natives::Entry entry;
        const char* args;
        const int32_t* refinements;
        const char* parameter;
    } cases[] = {
        {"func", &natives::func, "[] 1", nullptr, "body"},
        {"function", &natives::function_, "1 []", nullptr, "spec"},
        {"does", &natives::does, "\"x\"", nullptr, "body"},
        {"has", &natives::has, "[a] #i", nullptr, "body"},
        {"do", &natives::do_, "[1] \"pos\"", do_next, "position"},
        {"get", &natives::get, "[a]", none2, "word"},
        {"set", &natives::set, "1 2", none4, "word"},
    };
    for (const auto& c : cases) {
        Cell error;
        ASSERT_EQ(checked_call(c.name, c.entry, c.args, c.refinements, &error),
                  ErrorId::script_expect_arg)
            << c.name;
        EXPECT_EQ(error_arg(error, 2), c.parameter) << c.name;
    }
}

}  // namespace
