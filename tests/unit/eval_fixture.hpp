// Shared by the evaluator's unit tests: a runtime with the start-up values
// bound (func, do, loop, return and the other natives written so far are the
// real ones), a few test natives that look inside, and code run from source
// text.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/symbols.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/url.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "services/compress.hpp"
#include "startup/boot_values.hpp"
#include "startup/system_data.hpp"
#include "tests/unit/runtime_fixture.hpp"

namespace zun::eval_test {

// Table rows of the tests: code and its value molded, code and its error.
struct Case {
    const char* code;
    const char* molded;
};
struct Failure {
    const char* code;
    ErrorId id;
};
// Code, its error and the error's arguments as text ("" for one not checked).
struct ErrorCase {
    const char* code;
    ErrorId id;
    const char* arg1;
    const char* arg2;
    const char* arg3;
};

inline std::string mold(Cell v) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    actions::mold_direct(&v, buffer, false, false, false, nullptr, 100000, 0);
    std::string text = test_support::bytes_of(buffer);
    stack::pop(1);
    return text;
}

// What the note native saw, molded, and the slots the probe native got.
inline std::vector<std::string> g_notes;
inline int32_t g_slots[3];

inline Cell* arg(int i) { return stack::argument(i); }

inline Flow t_note(int, const int32_t*) {
    g_notes.push_back(mold(*arg(0)));
    stack::set_result(arg(0));
    return Flow::normal;
}
inline Flow t_fail(int, const int32_t*) { support::fire_error(ErrorId::script_invalid_arg, arg(0)); }
// probe [a /r1 x /r2 /r3 y z]: notes its argument cells, keeps its slots.
inline Flow t_probe(int, const int32_t* refinements) {
    for (int i = 0; i < 3; i++) g_slots[i] = refinements[i];
    for (Cell* c = stack::g_base; c < stack::g_top; c++) g_notes.push_back(mold(*c));
    return Flow::normal;
}

class EvalTest : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        object::init_class_ids();
        system_data::init();
        actions::init_table();
        natives::init_table();
        compress::init_method_words();
        lexer::init();
        interpreter::init();
        boot_values::init();
        interpreter::note_start_up_values();
        stack::push_native_frame(nullptr);
        g_notes.clear();
        define_native(113, "note", "value [any-type!]", &t_note);
        define_native(114, "fail", "value", &t_fail);
        define_native(116, "probe", "a /r1 x /r2 /r3 y z", &t_probe);
    }

    // The test natives leave the table as start-up fills it.
    void TearDown() override {
        for (uint32_t i = FIRST_TEST_NATIVE; i <= natives::TABLE_SIZE; i++) natives::g_table[i - 1] = nullptr;
    }
    static constexpr uint32_t FIRST_TEST_NATIVE = 109;

    void define_native(uint32_t index, const char* name, const char* spec, natives::Entry entry) {
        natives::g_table[index - 1] = entry;
        Cell* value = native::push(TYPE_NATIVE, load(spec), index);
        set_global(name, *value);
    }

    static void set_global(const char* name, const Cell& value) {
        Cell word = *word::make_global(name);
        word::set_value(&word, &value);
    }
    static Cell global(const char* name) { return *word::get_value(word::make_global(name)); }

    // The values of the text, as a block on the value stack.
    static Cell* load(const char* text) {
        Cell* block = stack::push_cell();
        *block = make_cell(TYPE_NONE);
        uint32_t consumed = 0;
        lexer::transcode(block, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)),
                         lexer::Options{}, &consumed);
        return block;
    }

    // The value of the code, molded; an error or a status fails the test.
    static std::string run(const char* text) {
        std::string molded = "error";
        Cell error;
        ErrorId id = raised_or_none(
            [&] {
                Cell* code = load(text);
                EXPECT_EQ(interpreter::eval_block(code, false), Flow::normal) << text;
                molded = mold(stack::g_top[-1]);
            },
            &error);
        EXPECT_EQ(id, ErrorId::count_) << text << ": " << error_info(id).id_name;
        return molded;
    }

    // The value of the code as text: a string type's characters (UTF-8), a
    // binary's bytes, anything else molded; an error fails the test.
    static std::string run_text(const std::string& text) {
        std::string out = "error";
        Cell error;
        ErrorId id = raised_or_none(
            [&] {
                Cell* code = load(text.c_str());
                EXPECT_EQ(interpreter::eval_block(code, false), Flow::normal) << text;
                Cell result = stack::g_top[-1];
                if (result.is(TYPE_BINARY)) {
                    memory::SeriesBuffer* b = memory::buffer_of(result.data2);
                    out.assign(reinterpret_cast<const char*>(b->head_ptr()) + result.data1,
                               b->used() - result.data1);
                } else if (string::any_string_q(result.type())) {
                    out = url::utf8_of(&result);
                } else {
                    out = mold(result);
                }
            },
            &error);
        EXPECT_EQ(id, ErrorId::count_) << text << ": " << error_info(id).id_name;
        return out;
    }

    // Each case raises its error, with the arguments it names.
    template <size_t N> static void check_errors(const ErrorCase (&cases)[N]) {
        for (const ErrorCase& c : cases) {
            Cell error;
            ASSERT_EQ(fails(c.code, &error), c.id) << c.code;
            const char* args[] = {c.arg1, c.arg2, c.arg3};
            for (int i = 0; i < 3; i++)
                if (*args[i]) {
                    EXPECT_EQ(error_arg(error, i), args[i]) << c.code << " arg " << i + 1;
                }
        }
    }

    // The error the code raises (count_ when none).
    static ErrorId fails(const char* text, Cell* error = nullptr) {
        return test_support::raised(
            [&] {
                Cell* code = load(text);
                (void)interpreter::eval_block(code, false);
            },
            error);
    }
    static std::string error_arg(const Cell& error, int i) {
        return mold(test_support::error_arg(error, i));
    }

    template <typename F> static ErrorId raised_or_none(F f, Cell* error) {
        return test_support::caught(f, error);
    }
};

}  // namespace zun::eval_test
