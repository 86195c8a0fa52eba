#include "core/console_out.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace zun;

namespace {

// Runs fn with file descriptor 1 sent to a temporary file; answers what it wrote.
std::string capture_stdout(const std::function<void()>& fn) {
    std::fflush(stdout);
    FILE* tmp = std::tmpfile();
    int saved = dup(1);
    dup2(fileno(tmp), 1);
    fn();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::string out;
    std::rewind(tmp);
    char buf[4096];
    while (size_t n = std::fread(buf, 1, sizeof buf, tmp)) out.append(buf, n);
    std::fclose(tmp);
    return out;
}

std::vector<std::string> g_calls;

void value_hook_a(const Cell* value, int newline) {
    g_calls.push_back("a" + std::to_string(value->data1) + "/" + std::to_string(newline));
}
void value_hook_b(const Cell* value, int) { g_calls.push_back("b" + std::to_string(value->data1)); }
void value_hook_c(const Cell*, int) {}
void value_hook_d(const Cell*, int) {}
void value_hook_e(const Cell*, int) {}
void value_hook_f(const Cell*, int) {}
void text_hook(const void* text, int length, int flags) {
    g_calls.push_back("t:" + std::string(static_cast<const char*>(text), length) + "/" +
                      std::to_string(flags));
}

class ConsoleOutTest : public ::testing::Test {
protected:
    void SetUp() override {
        console_out::init_hooks();
        console_out::init();
        g_calls.clear();
    }
    void TearDown() override { console_out::init_hooks(); }
};

template <typename T>
std::string write_text(const std::vector<T>& units, bool newline = false) {
    return capture_stdout([&] {
        console_out::write_units(units.data(), units.size() * sizeof(T), int(sizeof(T)), newline);
    });
}

}  // namespace

TEST_F(ConsoleOutTest, WriteUnitsEncodesUtf8) {
    using B = std::string;
    EXPECT_EQ(write_text<uint8_t>({'A', 0xE9}), B("A\xC3\xA9"));           // Latin-1
    EXPECT_EQ(write_text<uint16_t>({0x20AC}), B("\xE2\x82\xAC"));
    EXPECT_EQ(write_text<uint16_t>({'x', 0x7FF, 0x800}), B("x\xDF\xBF\xE0\xA0\x80"));
    EXPECT_EQ(write_text<uint32_t>({0x1F600}), B("\xF0\x9F\x98\x80"));
    EXPECT_EQ(write_text<uint32_t>({0x10FFFF}), B("\xF4\x8F\xBF\xBF"));
    EXPECT_EQ(write_text<uint16_t>({0xD83D, 0xDE00}), B("\xF0\x9F\x98\x80"));  // a pair joins
    // What is no character is written as U+FFFD, never as broken UTF-8.
    EXPECT_EQ(write_text<uint16_t>({0xD800, 'a'}), B("\xEF\xBF\xBD" "a"));
    EXPECT_EQ(write_text<uint16_t>({0xDC00}), B("\xEF\xBF\xBD"));
    EXPECT_EQ(write_text<uint32_t>({0x110000}), B("\xEF\xBF\xBD"));
    EXPECT_EQ(write_text<uint8_t>({}, true), B("\n"));
    EXPECT_EQ(write_text<uint16_t>({'o', 'k'}, true), B("ok\n"));
}

TEST_F(ConsoleOutTest, EscapesPassThroughUnchanged) {
    std::vector<uint8_t> esc = {0x1B, '[', '3', '1', 'm', 'r', 0x1B, 'x'};
    EXPECT_EQ(write_text(esc), std::string(esc.begin(), esc.end()));
}

// Long texts cross the internal buffer; a 3-byte character must not be split wrongly.
TEST_F(ConsoleOutTest, LongTextsSurviveBuffering) {
    std::vector<uint16_t> text;
    std::string expected;
    for (int i = 0; i < 3000; i++) {
        text.push_back(i % 3 ? 0x20AC : uint16_t('a' + i % 26));
        expected += i % 3 ? "\xE2\x82\xAC" : std::string(1, char('a' + i % 26));
    }
    EXPECT_EQ(write_text(text, true), expected + "\n");
}

TEST_F(ConsoleOutTest, KeepsOrderWithOtherStdoutWriters) {
    std::string out = capture_stdout([] {
        std::fputs("1", stdout);
        console_out::write_cstring("2");
        std::fputs("3", stdout);
        console_out::print_int(4);
    });
    EXPECT_EQ(out, "1234");
}

TEST_F(ConsoleOutTest, WriteCstringIsRawAndReachesTextHooks) {
    console_out::add_hooks(nullptr, text_hook);
    EXPECT_EQ(capture_stdout([] { console_out::write_cstring("caf\xE9"); }), "caf\xE9");
    EXPECT_EQ(g_calls, std::vector<std::string>{"t:caf\xE9/0"});
}

TEST_F(ConsoleOutTest, NumberPrinters) {
    console_out::add_hooks(nullptr, text_hook);
    struct Case {
        std::function<void()> print;
        std::string text;
    };
    const Case cases[] = {
        {[] { console_out::print_int(-42); }, "-42"},
        {[] { console_out::print_int(INT32_MIN); }, "-2147483648"},
        {[] { console_out::print_hex2(10); }, "0A"},
        {[] { console_out::print_hex8(0xBEEF); }, "0000BEEF"},
        {[] { console_out::print_hex8(0xFFFFFFFF); }, "FFFFFFFF"},
        {[] { console_out::print_float64(0.1); }, "0.1"},
        {[] { console_out::print_float64(1.0 / 3); }, "0.3333333333333333"},
        {[] { console_out::print_float64(1e21); }, "1e+21"},
        {[] { console_out::print_float32(0.1f); }, "0.1"},
        {[] { console_out::print_float32(1.0f / 3); }, "0.3333333"},
    };
    for (const Case& c : cases) {
        g_calls.clear();
        EXPECT_EQ(capture_stdout(c.print), c.text);
        EXPECT_EQ(g_calls, std::vector<std::string>{"t:" + c.text + "/0"});
    }
}

TEST_F(ConsoleOutTest, HookListsGrowByFive) {
    EXPECT_EQ(console_out::value_hook_capacity(), 5);
    console_out::ValueHook hooks[] = {value_hook_a, value_hook_b, value_hook_c,
                                      value_hook_d, value_hook_e, value_hook_f};
    for (int i = 0; i < 5; i++) console_out::add_hooks(hooks[i], nullptr);
    EXPECT_EQ(console_out::value_hook_capacity(), 5);
    console_out::add_hooks(hooks[5], text_hook);
    EXPECT_EQ(console_out::value_hook_count(), 6);
    EXPECT_EQ(console_out::value_hook_capacity(), 10);
    EXPECT_EQ(console_out::text_hook_count(), 1);
    EXPECT_EQ(console_out::text_hook_capacity(), 5);

    console_out::remove_hooks(value_hook_c, nullptr);
    Cell v = make_cell(TYPE_STRING, 7);
    console_out::call_print_hooks(&v, 1);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"a7/1", "b7"}));  // the rest record nothing
    EXPECT_EQ(console_out::value_hook_count(), 5);
}

TEST_F(ConsoleOutTest, RemovingTakesFirstEqualEntryOnly) {
    console_out::add_hooks(value_hook_a, nullptr);
    console_out::add_hooks(value_hook_b, nullptr);
    console_out::add_hooks(value_hook_a, nullptr);

    console_out::remove_hooks(value_hook_c, nullptr);  // not registered
    console_out::remove_hooks(nullptr, text_hook);     // not registered
    EXPECT_EQ(console_out::value_hook_count(), 3);
    EXPECT_EQ(console_out::text_hook_count(), 0);

    console_out::remove_hooks(value_hook_a, nullptr);
    Cell v = make_cell(TYPE_STRING, 1);
    console_out::call_print_hooks(&v, 0);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"b1", "a1/0"}));
}

TEST_F(ConsoleOutTest, OutputHooksGetTheirArguments) {
    console_out::add_hooks(nullptr, text_hook);
    console_out::add_hooks(nullptr, text_hook);
    console_out::call_output_hooks("abcdef", 3, 5);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"t:abc/5", "t:abc/5"}));
}
