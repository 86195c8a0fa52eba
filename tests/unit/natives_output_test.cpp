// print and prin, the comparison natives, reduce and compose, run from source
// text on a runtime started as the program starts it.
#include <gtest/gtest.h>

#include "core/collector.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "core/console_out.hpp"
#include "core/hashtable.hpp"
#include "core/unicode.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"
#include "startup/init.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;
using test_support::bytes_of;
using test_support::raised;

namespace {

// What the value hook received: each text, then "\n" for a line end.
std::string g_printed;
std::vector<uint32_t> g_printed_types;
std::string g_text_hook_bytes;

std::string utf8_of(const Cell* str) {
    Cell copy = *str;
    std::vector<uint8_t> out(size_t(string::length_from_start(&copy)) * 4 + 1);
    uint32_t n = unicode::write_utf8(&copy, out.data(), -1, false);
    return std::string(reinterpret_cast<const char*>(out.data()), n);
}

void value_hook(const Cell* value, int newline) {
    g_printed_types.push_back(value->type());
    EXPECT_LE(string::head_index(value), string::length_from_start(value));
    g_printed += utf8_of(value);
    if (newline) g_printed += '\n';
}

void text_hook(const void* text, int length, int) {
    g_text_hook_bytes.append(static_cast<const char*>(text), size_t(length));
}

// Stand-ins for natives written elsewhere: func, loop (which ends at break)
// and break.
Flow t_func(int, const int32_t*) {
    const Cell spec = *stack::argument(0), body = *stack::argument(1);
    function::push(&spec, &body, 0, 0, 0, function::validate_spec(&spec));
    stack::set_result(stack::top());
    return Flow::normal;
}
Flow t_loop(int, const int32_t*) {
    const int32_t n = stack::argument(0)->as_int();
    const Cell body = *stack::argument(1);
    stack::push_loop_frame(nullptr);
    *stack::g_base = make_cell(TYPE_NONE);
    for (int32_t i = 0; i < n; i++) {
        stack::g_top = stack::g_base + 1;
        Flow flow = interpreter::eval_block(&body, true);
        if (flow == Flow::break_) break;
        if (flow != Flow::normal) return flow;
    }
    stack::pop_frame_set_result();
    return Flow::normal;
}
Flow t_break(int, const int32_t*) { return stack::throw_loop_signal(false, false); }

class NativesOutput : public ::testing::Test {
protected:
    static constexpr uint32_t FIRST_TEST_NATIVE = 109;

    void SetUp() override {
        startup::init_runtime();
        // Some cases keep errors in C++ locals: move buffers, free nothing.
        collector::set_keep_unreached(true);
        stack::push_native_frame(nullptr);
        g_printed.clear();
        g_printed_types.clear();
        g_text_hook_bytes.clear();
        console_out::add_hooks(value_hook, nullptr);
        define_native(109, "func", "spec [block!] body [block!]", &t_func);
        define_native(110, "loop", "count [integer!] body [block!]", &t_loop);
        define_native(111, "break", "", &t_break);
    }
    void TearDown() override {
        console_out::remove_hooks(value_hook, text_hook);
        for (uint32_t i = FIRST_TEST_NATIVE; i <= natives::TABLE_SIZE; i++)
            natives::g_table[i - 1] = nullptr;
    }

    void define_native(uint32_t index, const char* name, const char* spec, natives::Entry entry) {
        natives::g_table[index - 1] = entry;
        Cell* value = native::push(TYPE_NATIVE, load(spec), index);
        Cell word = *word::make_global(name);
        word::set_value(&word, value);
    }

    static Cell* load(const char* text) {
        Cell* block = stack::push_cell();
        *block = make_cell(TYPE_NONE);
        uint32_t consumed = 0;
        lexer::transcode(block, reinterpret_cast<const uint8_t*>(text),
                         uint32_t(std::strlen(text)), lexer::Options{}, &consumed);
        return block;
    }

    static std::string mold(Cell value) {
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        actions::mold_direct(&value, buffer, false, false, false, nullptr, 100000, 0);
        return bytes_of(buffer);
    }

    // The value of the code, molded; an error fails the test.
    static std::string run(const char* code) {
        std::string molded = "error";
        Cell* top = stack::g_top;
        ErrorId id = raised_or_none([&] {
            Cell* block = load(code);
            EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal) << code;
            molded = mold(*stack::top());
        });
        EXPECT_EQ(id, ErrorId::count_) << code << ": " << error_info(id).id_name;
        stack::g_top = top;
        return molded;
    }

    // What the code printed through the value hook.
    static std::string printed(const char* code) {
        g_printed.clear();
        run(code);
        return g_printed;
    }

    static ErrorId fails(const char* code, Cell* error = nullptr) {
        return raised([&] { (void)interpreter::eval_block(load(code), false); }, error);
    }
    static std::string error_arg(const Cell& error, int i) {
        return mold(test_support::error_arg(error, i));
    }

    // A direct call of a native under a frame named by its word, with the
    // check flag as compiled code passes it.
    static ErrorId call_checked(const char* name, natives::Entry entry,
                                std::initializer_list<Cell> args, const int32_t* refinements,
                                int check, Cell* error) {
        const Cell word = *word::make_global(name);
        return raised(
            [&] {
                stack::push_native_frame(&word);
                for (const Cell& a : args) stack::push(&a);
                (void)entry(check, refinements);
            },
            error);
    }

    template <typename F> static ErrorId raised_or_none(F f) { return test_support::caught(f); }

    static int32_t print_buffer_length() { return block::length_from_start(natives::print_buffer()); }
};

using NativesOutputPrint = NativesOutput;
using NativesOutputCompare = NativesOutput;
using NativesOutputReduce = NativesOutput;
using NativesOutputCompose = NativesOutput;

struct TextCase {
    const char* code;
    const char* expected;
};

TEST_F(NativesOutputPrint, TextHandedToValueHooks) {
    const TextCase cases[] = {
        {"print 1 + 2", "3\n"},
        {"print \"abc\"", "abc\n"},
        {"print next \"abc\"", "bc\n"},  // a string from its head
        {"s: \"abc\" t: tail s clear s print t", "\n"},  // a head past the tail
        {"print [1 + 2 \"x\" [a b] #\"c\"]", "3 x a b c\n"},
        {"print []", "\n"},
        {"prin \"a\" prin [1 2]", "a1 2"},
        {"print 'word", "word\n"},
        {"print none", "none\n"},
        {"print 2.5", "2.5\n"},
        {"print \"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\n"},
        // A print inside the reduction of another keeps the outer values.
        {"print [1 (print [\"in\" 1 + 1] 2) 3]", "in 2\n1 2 3\n"},
        {"f: func [] [print [4 5] 6] print [1 f 2]", "4 5\n1 6 2\n"},
        {"print [1 print [2 3] 4]", "2 3\n1  4\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(printed(c.code), c.expected) << c.code;
    for (uint32_t type : g_printed_types) EXPECT_EQ(type, uint32_t(TYPE_STRING));
    EXPECT_EQ(print_buffer_length(), 0);
    EXPECT_EQ(run("print 1"), "unset");
}

TEST_F(NativesOutputPrint, LastLineEndFlag) {
    run("prin \"a\"");
    EXPECT_EQ(natives::last_line_end(), 0);
    run("prin \"a\" print \"b\"");
    EXPECT_EQ(natives::last_line_end(), 1);
    run("print \"b\" prin \"\"");
    EXPECT_EQ(natives::last_line_end(), 0);
}

// An error or a break out of the reduction prints nothing and leaves the
// reduce buffer as it was, for the outer print too.
TEST_F(NativesOutputPrint, ExitsRestoreTheReduceBuffer) {
    EXPECT_EQ(fails("print [1 2 no-such-word]"), ErrorId::script_no_value);
    EXPECT_EQ(print_buffer_length(), 0);
    EXPECT_EQ(printed("loop 1 [print [1 2 break]]"), "");
    EXPECT_EQ(print_buffer_length(), 0);
    EXPECT_EQ(printed("loop 1 [print [1 (loop 1 [print [3 break]]) 2]]"), "1  2\n");
    EXPECT_EQ(printed("loop 1 [print [1 (print [3 break]) 2]]"), "");
    EXPECT_EQ(print_buffer_length(), 0);
    EXPECT_EQ(printed("print [7 8]"), "7 8\n");
}

TEST_F(NativesOutputPrint, StandardOutputWithoutValueHooks) {
    console_out::remove_hooks(value_hook, nullptr);
    console_out::add_hooks(nullptr, text_hook);
    testing::internal::CaptureStdout();
    run("print 1 + 2 prin \"\xC3\xA9\" print [] prin ['a \"b\"]");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "3\n\xC3\xA9\na b");
    EXPECT_EQ(g_text_hook_bytes, "3\n\xC3\xA9\na b");
    EXPECT_EQ(g_printed, "");
}

TEST_F(NativesOutputCompare, Results) {
    const TextCase cases[] = {
        {"equal? 1 1", "true"},
        {"equal? 1 2", "false"},
        {"equal? \"a\" \"A\"", "true"},
        {"equal? 1 \"a\"", "false"},
        {"equal? 1 none", "false"},
        {"strict-equal? \"a\" \"A\"", "false"},
        {"strict-equal? \"a\" \"a\"", "true"},
        {"not-equal? 1 2", "true"},
        {"not-equal? 1 1", "false"},
        // Values that cannot be compared are simply unequal.
        {"not-equal? none 1", "true"},
        {"not-equal? 1 \"a\"", "true"},
        {"lesser? 1 2", "true"},
        {"lesser? 2 1", "false"},
        {"lesser? 1 1", "false"},
        {"greater? 2 1", "true"},
        {"greater? 1 2", "false"},
        {"greater? 1 1", "false"},
        {"lesser-or-equal? 1 1", "true"},
        {"lesser-or-equal? 2 1", "false"},
        {"greater-or-equal? 1 1", "true"},
        {"greater-or-equal? 1 2", "false"},
        {"greater-or-equal? 2 1", "true"},
        {"lesser? \"abc\" \"abd\"", "true"},
        {"1 = 1", "true"},
        {"1 < 2", "true"},
        {"2 > 1", "true"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
}

TEST_F(NativesOutputCompare, OrderingsOfUncomparableValuesRaise) {
    const char* cases[] = {
        "lesser? 1 \"a\"", "greater? none 1", "lesser-or-equal? 1 \"a\"",
        "greater-or-equal? 1 \"a\"",
    };
    for (const char* code : cases) EXPECT_EQ(fails(code), ErrorId::script_invalid_compare) << code;
    Cell error;
    fails("lesser? 1 \"a\"", &error);
    EXPECT_EQ(error_arg(error, 0), "1");
    EXPECT_EQ(error_arg(error, 1), "\"a\"");
}

TEST_F(NativesOutputReduce, Results) {
    const TextCase cases[] = {
        {"reduce [1 + 2 \"a\" 3 * 4]", "[3 \"a\" 12]"},
        {"reduce []", "[]"},
        {"reduce [\n1\n2\n]", "[1 2]"},  // no new-line markers on the results
        {"reduce [(1 + 1) [a b]]", "[2 [a b]]"},
        {"x: 5 reduce 'x", "5"},
        {"reduce (1 + 1)", "2"},
        {"equal? :equal? reduce :equal?", "true"},  // a function is not called
        {"reduce 7", "7"},
        // More values than wait on the stack at once; the result takes more.
        {"b: copy [] loop 1300 [append b [1 + 1]] append b [3 * 3] r: reduce b "
         "append r 0 reduce [length? r r/1 r/1300 r/1301]",
         "[1302 2 2 9]"},
        // A source that shrinks while it runs ends early.
        {"b: [(clear b) 2 3] reduce b", "[[]]"},
        // Into a target at its tail: appended; the result keeps its position.
        {"b: [z] reduce/into [1 + 1 [a]] tail b", "[2 [a]]"},
        {"b: [z] reduce/into [1 + 1 [a]] tail b b", "[z 2 [a]]"},
        // Elsewhere: inserted before its position, each value as one value.
        {"b: [x y] reduce/into [1 + 1 [a]] next b", "[y]"},
        {"b: [x y] reduce/into [1 + 1 [a]] next b b", "[x 2 [a] y]"},
        {"z: 7 b: [a] reduce/into 'z b b", "[7 a]"},
        {"z: 7 b: [a] reduce/into 'z tail b b", "[a 7]"},
        // The source's tail is taken once: a block reduced into its own tail ends.
        {"b: [1 + 1] reduce/into b tail b b", "[1 + 1 2]"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
}

// Values waiting for their block must not cost stack depth: recursion
// through a long reduce goes as deep as appending each value at once allowed.
// Under the sanitizers the machine stack ends such recursion first.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* k_reduce_depth = "150";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr const char* k_reduce_depth = "150";
#else
constexpr const char* k_reduce_depth = "1400";
#endif
#else
constexpr const char* k_reduce_depth = "1400";
#endif

TEST_F(NativesOutputReduce, DeepRecursionThroughLongBlocks) {
    const std::string depth = k_reduce_depth;
    const std::string code = "f: func [n] [either n = 0 [0] [reduce [1 2 3 4 5 6 7 8 9 10 11 12 13 14 "
                             "15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30 f n - 1]]] r: f " +
                             depth + " loop " + depth + " - 1 [r: r/31] reduce [length? r r/31]";
    EXPECT_EQ(run(code.c_str()), "[31 0]");
}

TEST_F(NativesOutputReduce, ExitsPassOn) {
    EXPECT_EQ(fails("reduce [1 no-such-word]"), ErrorId::script_no_value);
    EXPECT_EQ(run("x: 0 loop 3 [x: x + 1 reduce [1 break 2]] x"), "1");
    EXPECT_EQ(run("x: 0 loop 3 [x: x + 1 reduce/into [break] []] x"), "1");
}

TEST_F(NativesOutputReduce, CheckFlag) {
    const int32_t into[] = {1};
    Cell error;
    const Cell block = *load("[1]");
    EXPECT_EQ(call_checked("reduce", natives::reduce, {block, integer_cell(3)}, into, 1, &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 0), "reduce");
    EXPECT_EQ(error_arg(error, 1), "integer!");
    EXPECT_EQ(error_arg(error, 2), "out");
}

TEST_F(NativesOutputCompose, Results) {
    const TextCase cases[] = {
        {"compose [(1) ([]) () (())]", "[1]"},
        {"compose/only [(1) ([]) () (())]", "[1 []]"},
        {"compose [a ([b c]) d]", "[a b c d]"},
        {"compose/only [a ([b c]) d]", "[a [b c] d]"},
        {"compose [a (1 + 1) 'b c: :d #e]", "[a 2 'b c: :d #e]"},
        {"compose [[(1 + 1)] (1 + 1)]", "[[(1 + 1)] 2]"},
        {"compose/deep [[(1 + 1) [(2)]] (1 + 1)]", "[[2 [2]] 2]"},
        {"compose/deep [[([a])]]", "[[a]]"},
        {"compose/deep/only [[([a])]]", "[[[a]]]"},
        {"compose [(next [a b])]", "[b]"},
        // Nested blocks are shared, and copied only with /deep.
        {"b: [[x]] c: compose b append c/1 'y b", "[[x y]]"},
        {"b: [[x]] c: compose/deep b append c/1 'y b", "[[x]]"},
        // Into a target elsewhere than its tail: inserted before its position.
        {"b: [x y] compose/into [(1 + 1) ([3 4]) z] next b", "[y]"},
        {"b: [x y] compose/into [(1 + 1) ([3 4]) z] next b b", "[x 2 3 4 z y]"},
        {"b: [x] compose/into [(1) ([2 3]) z] tail b", "[1 2 3 z]"},
        {"b: [x] compose/into [(1) ([2 3]) z] tail b b", "[x 1 2 3 z]"},
        // /deep composes nested blocks into new blocks even with /into.
        {"b: [] compose/deep/into [[(1)] ([2])] b b", "[[1] 2]"},
    };
    for (const auto& c : cases) EXPECT_EQ(run(c.code), c.expected) << c.code;
}

// Values appended to a hash! are found through its table.
TEST_F(NativesOutputCompose, HashTargetsIndexAppendedValues) {
    const char* cases[] = {"compose/into [k (1) ([m 2])] h", "reduce/into ['k 1 'm 2] h"};
    for (const char* code : cases) {
        Cell* hash = load("[x 0]");
        const NodeId table = hashtable::make(8, hash->data2, hashtable::KIND_HASH, 0);
        hash->data3 = table;
        hash->data1 = 2;  // at its tail
        hash->set_type(TYPE_HASH);
        Cell word = *word::make_global("h");
        word::set_value(&word, hash);
        run((std::string(code) + " none").c_str());  // a hash! has no mold yet
        for (const char* key : {"k", "m"}) {
            const Cell symbol = *word::make_global(key);
            const Cell* found = hashtable::find(table, &symbol, 0, 1, COMP_FIND, false, false);
            ASSERT_NE(found, nullptr) << code << " " << key;
            EXPECT_EQ(mold(found[1]), key[0] == 'k' ? "1" : "2") << code;
        }
    }
}

TEST_F(NativesOutputCompose, ExitsPassOn) {
    EXPECT_EQ(fails("compose [(no-such-word)]"), ErrorId::script_no_value);
    EXPECT_EQ(fails("compose/deep [[(no-such-word)]]"), ErrorId::script_no_value);
    EXPECT_EQ(run("x: 0 loop 3 [x: x + 1 compose/deep [a [(break)]]] x"), "1");
    // A block holding itself: the nesting ends at the stack's limit.
    EXPECT_EQ(fails("b: [[]] append/only b/1 b compose/deep b"), ErrorId::internal_stack_overflow);
}

TEST_F(NativesOutputCompose, ArgumentChecks) {
    const int32_t none[] = {-1, -1, -1};
    const int32_t into[] = {-1, -1, 1};
    Cell error;
    // Only a block is composed, whatever the check flag.
    EXPECT_EQ(call_checked("compose", natives::compose, {integer_cell(1)}, none, 0, &error),
              ErrorId::script_expect_val);
    EXPECT_EQ(error_arg(error, 0), "block!");
    EXPECT_EQ(error_arg(error, 1), "integer!");
    const Cell block = *load("[(1)]");
    EXPECT_EQ(call_checked("compose", natives::compose, {block, integer_cell(3)}, into, 1, &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 2), "out");
}

}  // namespace
