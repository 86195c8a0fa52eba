// The native table and the conditional natives if, unless, either, any, all,
// switch and case, run from source text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/symbols.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "startup/boot_values.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;
using test_support::bytes_of;
using test_support::error_arg;
using test_support::raised;

namespace {

class NativesTest : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        actions::init_table();
        natives::init_table();
        lexer::init();
        interpreter::init();
        boot_values::init();
        stack::push_native_frame(nullptr);
    }

    // The value of the code, molded.
    std::string molded_value(const char* code) {
        Cell* block = stack::push_cell();
        *block = make_cell(TYPE_NONE);
        uint32_t consumed = 0;
        lexer::transcode(block, reinterpret_cast<const uint8_t*>(code),
                         uint32_t(std::strlen(code)), lexer::Options{}, &consumed);
        EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal) << code;
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        Cell value = *(buffer - 1);
        actions::mold_direct(&value, buffer, false, false, false, nullptr, 100000, 0);
        return bytes_of(buffer);
    }
    // As molded_value; an error fails the test and answers "error".
    std::string run(const char* code) {
        std::string text = "error";
        Cell error;
        ErrorId id = raised_or_none([&] { text = molded_value(code); }, &error);
        EXPECT_EQ(id, ErrorId::count_) << code << ": " << error_info(id).id_name;
        return text;
    }
    template <typename F> ErrorId raised_or_none(F f, Cell* error) {
        return test_support::caught(f, error);
    }
    ErrorId fails(const char* code, Cell* error = nullptr) {
        return raised([&] { molded_value(code); }, error);
    }
};

using NativesTable = NativesTest;
using NativesCond = NativesTest;

TEST_F(NativesTable, EntriesInIndexOrder) {
    const struct {
        uint32_t index;
        natives::Entry entry;
    } known[] = {
        {1, natives::if_},      {2, natives::unless}, {3, natives::either}, {4, natives::any},
        {5, natives::all},      {18, natives::switch_}, {19, natives::case_},
    };
    for (const auto& k : known) EXPECT_EQ(natives::g_table[k.index - 1], k.entry) << k.index;
    for (uint32_t i = 1; i <= natives::TABLE_SIZE; i++)
        EXPECT_EQ(natives::g_table[i - 1] != nullptr, i <= natives::NATIVE_COUNT) << i;
    EXPECT_EQ(natives::g_next_index, natives::NATIVE_COUNT + 1);
    // The entry of a native whose code comes later.
    EXPECT_EQ(raised([] { (void)natives::not_done(0, nullptr); }), ErrorId::internal_not_done);
}

TEST_F(NativesTable, PrintBufferHasRoomFor32Cells) {
    const Cell* buffer = natives::print_buffer();
    ASSERT_TRUE(buffer->is(TYPE_BLOCK));
    EXPECT_GE(memory::buffer_of(buffer->data2)->size, 32u * sizeof(Cell));
    EXPECT_EQ(block::length_from_head(buffer), 0);
}

TEST_F(NativesCond, Results) {
    const struct {
        const char* code;
        const char* molded;
    } cases[] = {
        {"if true [1]", "1"},
        {"if false [1]", "none"},
        {"if none [1]", "none"},
        {"if () [1]", "1"},  // unset! counts as true
        {"if true []", "unset"},
        {"if 0 [2]", "2"},
        {"unless false [1]", "1"},
        {"unless true [1]", "none"},
        {"unless () [1]", "none"},
        {"either true [1] [2]", "1"},
        {"either none [1] [2]", "2"},
        {"either 0 [1] [2]", "1"},
        {"any [none false]", "none"},
        {"any []", "none"},
        {"any [none 2 3]", "2"},
        {"any [false ()]", "unset"},
        {"all []", "none"},
        {"all [1 2]", "2"},
        {"all [1 none 2]", "none"},
        {"all [1 false]", "none"},
        {"all [1 ()]", "unset"},
        {"switch 65 [#\"A\" [1] 65 [2]]", "2"},  // type ids must match
        {"switch \"A\" [\"a\" [3]]", "3"},  // equal? ignores case
        {"switch 2 [1 2 3 [4]]", "4"},      // values share the next block
        {"switch/default 9 [1 [1]] [5]", "5"},
        {"switch 9 [1 [1]]", "none"},
        {"switch 3 [1 [1] 3]", "none"},     // a match with no block after it
        {"switch [1] [[1] [2] [3]]", "none"},  // a block never matches
        {"switch/default [1] [[1] [2]] [6]", "6"},
        {"case []", "none"},
        {"case [false [1]]", "none"},
        {"case [false [1] true [2] true [3]]", "2"},
        {"case [none 1 true 5]", "5"},      // a false condition skips one value
        {"case [true 5 + 1]", "6"},         // a non-block branch is one expression
        {"case [none [1] 1 [7]]", "7"},
        {"case/all [true [1] false [2]]", "none"},
        {"case/all [false [1] true [2]]", "2"},
        {"case/all [true [1] true [2]]", "2"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
}

TEST_F(NativesCond, Errors) {
    const struct {
        const char* code;
        ErrorId id;
    } cases[] = {
        {"either () [1] [2]", ErrorId::script_no_return},
        {"case [() [1]]", ErrorId::script_no_return},
        {"case [false [1] true]", ErrorId::script_need_value},
        {"case [true]", ErrorId::script_need_value},
    };
    for (const auto& c : cases) EXPECT_EQ(fails(c.code), c.id) << c.code;
    Cell error;
    fails("case [false [1] true]", &error);
    EXPECT_EQ(symbol::name(error_arg(error, 0).data2), "case");
}

// With the check flag a native checks its own arguments against its spec.
TEST_F(NativesCond, CheckFlag) {
    const Cell yes = logic::make_value(true), one = integer_cell(1);
    Cell name = *word::make_global("if");
    Cell error;
    EXPECT_EQ(raised(
                  [&] {
                      stack::push_native_frame(&name);
                      stack::push(&yes);
                      stack::push(&one);
                      (void)natives::if_(1, nullptr);
                  },
                  &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(symbol::name(error_arg(error, 0).data2), "if");
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_INTEGER));
    EXPECT_EQ(symbol::name(error_arg(error, 2).data2), "then-blk");
    // Unchecked, the evaluator having checked: a plain value is the result.
    EXPECT_EQ(run("if true [1]"), "1");
}

}  // namespace
