#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <string>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

using namespace zun;
using test_support::error_arg;
using test_support::raised;

namespace {

int32_t g_trace_level = 0;
int32_t trace_level() { return g_trace_level; }

// Assigns set-word runs the constant, or the word a lit-word names.
void constant_evaluator(Cell* block) {
    const Cell b = *block;
    for (int32_t i = block::head_index(&b); i < block::length_from_start(&b); i++) {
        int32_t j = i;
        while (j < block::length_from_start(&b) && block::cell_at(&b, j)->is(TYPE_SET_WORD)) j++;
        if (j == i) continue;
        Cell value = *block::cell_at(&b, j);
        if (value.is(TYPE_LIT_WORD)) value.set_type(TYPE_WORD);
        for (int32_t k = i; k < j; k++) {
            Cell w = *block::cell_at(&b, k);
            context::set_word_value(&w, &value, w.data1, true);
        }
        i = j;
    }
}

class Error : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        object::init_class_ids();
        system_data::init();
        object::end_startup_classes();
        g_trace_level = 0;
        error::set_trace_level_reader(trace_level);
    }
    void TearDown() override {
        error::set_trace_level_reader(nullptr);
        error::set_code_position(nullptr);
        error::set_source_files_reader(nullptr);
        object::set_block_evaluator(nullptr);
    }

    static Cell* load(const char* text) { return system_data::load(text, std::strlen(text)); }
    static Cell word_of(const char* name, uint32_t type = TYPE_WORD) {
        return make_cell(type, 0, symbol::make(name), context::NO_INDEX);
    }
    static Cell string_of(const char* text) {
        return *string::load_c_text(text, uint32_t(std::strlen(text)), 0);
    }
    // An error made as fire_error makes it, kept on the stack.
    static Cell made(ErrorId id, const Cell* a1 = nullptr, const Cell* a2 = nullptr,
                     const Cell* a3 = nullptr) {
        Cell* cell = stack::push_cell();
        support::make_error(cell, id, a1, a2, a3);
        return *cell;
    }
    static std::string first_line(const Cell& error) {
        std::string text = error::report(&error);
        return text.substr(0, text.find('\n'));
    }
    static std::string name_in(const Cell& error, error::Field f) {
        return std::string(symbol::name(error::field(&error, f)->data2));
    }
    static Cell make_error_value(const Cell& spec_value) {
        Cell type = make_cell(TYPE_DATATYPE, TYPE_ERROR);
        Cell spec = spec_value;
        return *error::make(&type, &spec, TYPE_ERROR);
    }
    static std::string molded(Cell value, bool flat) {
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        actions::mold_direct(&value, buffer, false, false, flat, nullptr, 100000, 0);
        std::string text;
        for (int32_t i = 0; i < string::length_from_start(buffer); i++)
            text += char(string::char_at(buffer, i));
        stack::pop(1);
        return text;
    }
};

// ---------------------------------------------------------------- the report

TEST_F(Error, ReportTextOfCatalogueEntries) {
    Cell x = word_of("x"), a = word_of("a"), append = word_of("append");
    Cell series = word_of("series"), foo = word_of("foo"), bar = word_of("bar");
    Cell integer_type = make_cell(TYPE_DATATYPE, TYPE_INTEGER);
    Cell path = *load("o a");
    path.set_type(TYPE_PATH);
    Cell s1 = string_of("word"), s2 = string_of("x:y"), s3 = string_of("[x:y]");
    Cell abc = string_of("abc"), five = integer_cell(5);
    struct Case {
        ErrorId id;
        const Cell *a1, *a2, *a3;
        const char* line;
    } cases[] = {
        {ErrorId::math_zero_divide, nullptr, nullptr, nullptr,
         "*** Math Error: attempt to divide by zero"},
        {ErrorId::script_no_value, &x, nullptr, nullptr, "*** Script Error: x has no value"},
        {ErrorId::script_invalid_path, &path, &a, nullptr,
         "*** Script Error: cannot access a in path o/a"},
        {ErrorId::script_expect_arg, &append, &integer_type, &series,
         "*** Script Error: append does not allow integer! for its series argument"},
        // Syntax arguments are formed, all others molded.
        {ErrorId::syntax_invalid, &s1, &s2, &s3, "*** Syntax Error: word invalid x:y at [x:y]"},
        {ErrorId::script_invalid_arg, &abc, nullptr, nullptr,
         "*** Script Error: invalid argument: \"abc\""},
        {ErrorId::internal_deprecated, &foo, &bar, nullptr,
         "*** Internal Error: foo is DEPRECATED, please use bar instead"},
        {ErrorId::note_no_load, &abc, nullptr, nullptr, "*** note: cannot load:  \"abc\""},
        {ErrorId::throw_throw, &five, nullptr, nullptr, "*** Throw Error: no catch for throw: 5"},
        {ErrorId::script_no_value, nullptr, nullptr, nullptr, "*** Script Error: none has no value"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(first_line(made(c.id, c.a1, c.a2, c.a3)), c.line);
}

TEST_F(Error, ReportLayoutWithWhereNearStackAndFiles) {
    Cell x = word_of("x");
    Cell error = made(ErrorId::script_no_value, &x);
    EXPECT_EQ(error::report(&error),
              "*** Script Error: x has no value\n*** Where: ???\n*** Near : none");

    Cell position = *load("print x + 1 print \"a rather long text that goes past the limit\"");
    position.data1 = 1;
    error::set_code_position(&position);
    Cell* where = stack::push(words::get(words::append));
    Cell near_error = made(ErrorId::script_no_value, &x);
    error::set_where(&near_error, where);
    error::set_where(&near_error, &x);  // the first one stays
    *error::field(&near_error, error::FILES) = *load("%a.zun");
    g_trace_level = 1;
    *error::field(&near_error, error::STACK) = *load("f g");
    EXPECT_EQ(error::report(&near_error),
              "*** Script Error: x has no value\n"
              "*** Where: append\n"
              "*** Near : x + 1 print \"a rather long text that goe\n"
              "*** Stack: f g\n"
              "*** Files: %a.zun");
    g_trace_level = 0;
    EXPECT_EQ(error::report(&near_error).find("Stack"), std::string::npos);
}

TEST_F(Error, ArgumentsAreCutAtEightyCharacters) {
    std::string long_text(100, 'y');
    Cell arg = string_of(long_text.c_str());
    std::string line = first_line(made(ErrorId::script_invalid_arg, &arg));
    const std::string prefix = "*** Script Error: invalid argument: ";
    EXPECT_EQ(line.size(), prefix.size() + 80);
    EXPECT_EQ(line.substr(line.size() - 79), std::string(79, 'y'));
}

// A type or id the catalogue lacks reads as internal invalid-error; the
// error's fields stay as they were.
TEST_F(Error, AnUnknownEntryFormsAsInvalidErrorWithoutChangingTheError) {
    Cell x = word_of("x");
    Cell error = made(ErrorId::script_no_value, &x);
    *error::field(&error, error::ID) = word_of("foo");
    EXPECT_EQ(first_line(error), "*** Internal Error: invalid error object field value: foo");
    EXPECT_EQ(name_in(error, error::ID), "foo");
    EXPECT_EQ(name_in(error, error::TYPE), "script");
    EXPECT_EQ(error::field(&error, error::ARG1)->data2, x.data2);
    *error::field(&error, error::TYPE) = word_of("bogus");
    EXPECT_EQ(first_line(error), "*** Internal Error: invalid error object field value: bogus");
    EXPECT_EQ(name_in(error, error::TYPE), "bogus");
}

TEST_F(Error, UserMessagesPrintTheirText) {
    Cell text = string_of("boom");
    Cell error = make_error_value(text);
    EXPECT_EQ(name_in(error, error::TYPE), "user");
    EXPECT_EQ(name_in(error, error::ID), "message");
    EXPECT_EQ(error::field(&error, error::ARG1)->data2, text.data2);
    EXPECT_EQ(error::field(&error, error::CODE)->as_int(), 800);
    EXPECT_EQ(first_line(error), "*** User Error: boom");
}

// ---------------------------------------------------------------- make

TEST_F(Error, MakeFromACode) {
    struct Case {
        int32_t code;
        const char *type, *id;
    } cases[] = {
        {305, "script", "expect-arg"}, {316, "script", "invalid-data"}, {0, "throw", "break"},
        {400, "math", "zero-divide"},  {904, "internal", "stack-overflow"}, {800, "user", "message"},
    };
    for (const Case& c : cases) {
        Cell error = make_error_value(integer_cell(c.code));
        EXPECT_TRUE(error.is(TYPE_ERROR));
        EXPECT_EQ(error.data2, error::CLASS_ID);
        EXPECT_EQ(error::field(&error, error::CODE)->as_int(), c.code);
        EXPECT_EQ(name_in(error, error::TYPE), c.type);
        EXPECT_EQ(name_in(error, error::ID), c.id);
        EXPECT_EQ(error::field(&error, error::TYPE)->data1, system_data::catalog_errors()->data1);
        EXPECT_EQ(support::error_id_of(&error), error::id_of(&error));
    }
    for (int32_t code : {399, 600, 700, -1, 1000}) {
        Cell error;
        EXPECT_EQ(raised([&] { make_error_value(integer_cell(code)); }, &error),
                  ErrorId::script_out_of_range) << code;
        EXPECT_EQ(error_arg(error, 0).as_int(), code);
    }
}

TEST_F(Error, MakeFromABlock) {
    Cell error = make_error_value(*load("math zero-divide extra"));
    EXPECT_EQ(error::field(&error, error::CODE)->as_int(), 400);
    EXPECT_EQ(support::error_id_of(&error), ErrorId::math_zero_divide);
    struct Case {
        const char* spec;
        ErrorId raised;
        const char* arg;
    } cases[] = {
        {"script", ErrorId::script_invalid_spec_field, "id"},
        {"foo bar", ErrorId::script_invalid_spec_field, "type"},
        {"script no-such", ErrorId::script_invalid_spec_field, "id"},
        {"script type", ErrorId::script_invalid_spec_field, "id"},  // no id of the category
        {"script 1", ErrorId::script_invalid_arg, nullptr},
        {"1", ErrorId::internal_invalid_error, nullptr},
        {"", ErrorId::internal_invalid_error, nullptr},
    };
    for (const Case& c : cases) {
        Cell caught;
        EXPECT_EQ(raised([&] { make_error_value(*load(c.spec)); }, &caught), c.raised) << c.spec;
        if (c.arg) {
            EXPECT_EQ(std::string(symbol::name(error_arg(caught, 0).data2)), c.arg);
        }
    }
    Cell caught;
    EXPECT_EQ(raised([&] { make_error_value(shared_true_cell); }, &caught), ErrorId::script_bad_make_arg);
    EXPECT_EQ(error_arg(caught, 0).data1, uint32_t(TYPE_ERROR));
}

TEST_F(Error, MakeFromAssignmentsComputesTheCode) {
    Cell* spec = load("type: 'math id: 'zero-divide arg1: 5 code: 7");
    EXPECT_EQ(raised([&] { make_error_value(*spec); }), ErrorId::internal_not_done);
    object::set_block_evaluator(constant_evaluator);
    Cell error = make_error_value(*load("type: 'math id: 'zero-divide arg1: 5 code: 7"));
    EXPECT_EQ(error::field(&error, error::CODE)->as_int(), 400);
    EXPECT_EQ(error::field(&error, error::ARG1)->as_int(), 5);
    EXPECT_EQ(raised([&] { make_error_value(*load("type: 'math id: 'nope")); }),
              ErrorId::script_invalid_spec_field);
}

// ---------------------------------------------------------------- raising

TEST_F(Error, FireErrorMakesARealErrorWithWhereAndStack) {
    Cell x = word_of("x");
    Cell error;
    uint32_t depth = 0;
    ErrorId id = raised(
        [&] {
            stack::push_native_frame(words::get(words::append));
            depth = stack::frame_depth();
            support::fire_error(ErrorId::script_no_value, &x);
        },
        &error);
    EXPECT_EQ(id, ErrorId::script_no_value);
    ASSERT_TRUE(error::real_q(&error));
    EXPECT_EQ(error_arg(error, 0).data2, x.data2);
    EXPECT_EQ(name_in(error, error::WHERE), "append");
    EXPECT_EQ(error::field(&error, error::STACK)->as_int(), int32_t(depth));

    error::record_stack(&error);  // append is no function: only a level above 1 lists it
    EXPECT_EQ(block::length_from_head(error::field(&error, error::STACK)), 0);
    *error::field(&error, error::STACK) = integer_cell(int32_t(depth));
    g_trace_level = 2;
    error::record_stack(&error);
    EXPECT_EQ(molded(*error::field(&error, error::STACK), true), "[append]");
}

TEST_F(Error, TheMakerSurvivesADamagedCatalogue) {
    Cell math = word_of("math");
    context::put_value(system_data::catalog_errors()->data1, &math, &shared_none_cell);
    Cell error = made(ErrorId::math_zero_divide);
    EXPECT_EQ(name_in(error, error::TYPE), "math");
    EXPECT_EQ(first_line(error), "*** Internal Error: invalid error object field value: math");
}

TEST_F(Error, AStackOverflowStillMakesItsError) {
    stack::push_try_frame(nullptr);
    try {
        for (;;) stack::push(&shared_none_cell);
    } catch (const Unwind&) {
        stack::adjust_after_error();
        EXPECT_TRUE(error::real_q(stack::top()));
        EXPECT_EQ(support::error_id_of(stack::top()), ErrorId::internal_stack_overflow);
    }
}

TEST_F(Error, AnUncaughtErrorPrintsItsReport) {
    EXPECT_EXIT(support::fire_error(ErrorId::math_zero_divide), ::testing::ExitedWithCode(254),
                "Zun NoName App\n\\*\\*\\* Math Error: attempt to divide by zero\n"
                "\\*\\*\\* Where: \\?\\?\\?\n\\*\\*\\* Near : none");
    EXPECT_EXIT(
        {
            stack::push_native_frame(words::get(words::append));
            support::fire_error(ErrorId::math_zero_divide);
        },
        ::testing::ExitedWithCode(254), "\\*\\*\\* Where: append\n\\*\\*\\* Near : none");
}

// ---------------------------------------------------------------- other actions

TEST_F(Error, MoldWritesTheTenFields) {
    Cell error = made(ErrorId::math_zero_divide);
    EXPECT_EQ(molded(error, true),
              "make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg2: none "
              "arg3: none near: none where: none stack: none files: none]");
    std::string indented = molded(error, false);
    EXPECT_EQ(indented.substr(0, 40), "make error! [\n    code: 400\n    type: 'm");
    EXPECT_EQ(indented.substr(indented.size() - 17), "    files: none\n]");
}

TEST_F(Error, CompareAndPathAccessWorkAsForObjects) {
    Cell x = word_of("x"), y = word_of("y");
    Cell e1 = made(ErrorId::script_no_value, &x);
    Cell e2 = made(ErrorId::script_no_value, &x);
    Cell e3 = made(ErrorId::script_no_value, &y);
    EXPECT_EQ(error::compare(&e1, &e2, COMP_EQUAL), 0);
    EXPECT_NE(error::compare(&e1, &e3, COMP_EQUAL), 0);
    EXPECT_TRUE(e2.is(TYPE_ERROR));
    Cell obj = *system_data::standard_error();
    EXPECT_EQ(error::compare(&e1, &obj, COMP_EQUAL), COMPARE_UNCOMPARABLE);

    Cell id = word_of("id");
    EXPECT_EQ(error::eval_path(&e1, &id, nullptr, nullptr, nullptr, nullptr, 0, false, false, true, true)->data2,
              error::field(&e1, error::ID)->data2);
    Cell arg1 = word_of("arg1"), seven = integer_cell(7);
    error::eval_path(&e1, &arg1, &seven, nullptr, nullptr, nullptr, 0, false, false, true, true);
    EXPECT_EQ(error_arg(e1, 0).as_int(), 7);

    Cell result = shared_none_cell;
    Cell copy = *actions::handler_of<A_COPY>(&e1)(&e1, &result, nullptr, false, nullptr);
    EXPECT_TRUE(copy.is(TYPE_ERROR));
    EXPECT_EQ(copy.data2, error::CLASS_ID);
    EXPECT_NE(copy.data1, e1.data1);
    EXPECT_EQ(support::error_id_of(&copy), ErrorId::script_no_value);
}

}  // namespace
