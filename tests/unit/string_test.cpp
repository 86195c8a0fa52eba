#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using memory::SeriesBuffer;

namespace {

using String = test_support::RuntimeTest;
using test_support::raised;


// The code points from the head to the tail.
std::u32string chars_of(Cell* str) {
    std::u32string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++)
        out += char32_t(string::char_at(str, string::head_index(str) + i));
    return out;
}

uint32_t unit_of(const Cell* str) { return string::buffer_of(str)->unit(); }

Cell* new_string(uint32_t room = 4, uint32_t unit = 1) {
    return string::make_at(stack::push_cell(), room, unit);
}

std::u32string append_all(Cell* str, const std::u32string& text) {
    for (char32_t c : text) string::append_char(string::buffer_of(str), c);
    return chars_of(str);
}

TEST_F(String, AppendCharWidensAndKeepsEarlierText) {
    const struct {
        std::u32string text;
        uint32_t unit;
    } cases[] = {
        {U"abc", 1},
        {U"\x7F", 1},
        {U"a\xE9", 2},  // appending keeps ASCII only in 1-byte units
        {U"a\x20AC" "b", 2},
        {U"ab\x1F600", 4},
        {U"a\xE9\x1F600z", 4},
        {U"\x10FFFF", 4},
    };
    for (const auto& c : cases) {
        Cell* str = new_string();
        EXPECT_EQ(append_all(str, c.text), c.text);
        EXPECT_EQ(unit_of(str), c.unit) << c.text.size();
        stack::pop(1);
    }
}

TEST_F(String, GrowsPastItsRoomInEveryUnit) {
    for (char32_t c : {U'x', U'\x20AC', U'\x1F600'}) {
        Cell* str = new_string(1);
        std::u32string text = U"a";
        text.append(5000, c);
        EXPECT_EQ(append_all(str, text), text);
        stack::pop(1);
    }
}

TEST_F(String, WideningWithTheHeadInsideThePayload) {
    // The first used byte lies mid-payload: the widened text fits the payload
    // size but not the room after the head, so the buffer must grow.
    NodeId node = memory::alloc_series(64, 1, -1);
    Cell* str = stack::push_cell();
    *str = make_cell(TYPE_STRING, 0, node, 0);
    std::u32string text(20, U'q');
    append_all(str, text);
    ASSERT_EQ(string::buffer_of(str)->head, 32u);
    SeriesBuffer* b = string::widen_to(string::buffer_of(str), 1, 2);
    EXPECT_EQ(b->unit(), 2u);
    EXPECT_LE(b->tail, b->size);
    EXPECT_EQ(chars_of(str), text);
    EXPECT_EQ(append_all(str, U"600"), text + U"600");
}

TEST_F(String, WidenToEachUnit) {
    const struct {
        uint32_t from, to;
    } cases[] = {{1, 2}, {1, 4}, {2, 4}};
    for (const auto& c : cases) {
        Cell* str = new_string(8, c.from);
        std::u32string text = c.from == 1 ? U"h\xE9llo" : U"\x20AC\xE9x";
        for (char32_t ch : text) {  // raw stores: the text already fits the unit
            SeriesBuffer* b = string::buffer_of(str);
            uint8_t* at = b->tail_ptr();
            for (uint32_t i = 0; i < c.from; i++) at[i] = uint8_t(ch >> (8 * i));
            b->tail += c.from;
        }
        string::widen_to(string::buffer_of(str), c.from, c.to);
        EXPECT_EQ(unit_of(str), c.to);
        EXPECT_EQ(chars_of(str), text);
        stack::pop(1);
    }
    Cell* str = new_string(8, 2);
    EXPECT_EXIT(string::widen_to(string::buffer_of(str), 2, 1), ::testing::ExitedWithCode(101),
                "");
    EXPECT_EXIT(string::make_at(stack::push_cell(), 4, 3), ::testing::ExitedWithCode(101), "");
}

TEST_F(String, AppendBytesAndCText) {
    Cell* str = new_string();
    string::append_c_string(str, "plain ");
    EXPECT_EQ(unit_of(str), 1u);
    const uint8_t bytes[] = {'a', 0xE9, 'b'};
    string::append_bytes(str, bytes, 3);  // a byte per character: 0xE9 widens
    string::append_c_string(str, "");
    EXPECT_EQ(chars_of(str), U"plain a\xE9" "b");
    EXPECT_EQ(unit_of(str), 2u);
    string::append_utf8(str, "\xE2\x82\xAC\xF0\x9F\x98\x80", 7);
    EXPECT_EQ(chars_of(str), U"plain a\xE9" "b\x20AC\x1F600");
}

struct Utf8Case {
    const char* what;
    std::string bytes;
    std::u32string text;
    uint32_t unit;
};

TEST_F(String, LoadsUtf8) {
    const Utf8Case cases[] = {
        {"ascii", "abc", U"abc", 1},
        {"empty", "", U"", 1},
        {"byte-order mark alone", "\xEF\xBB\xBF", U"", 1},
        {"byte-order mark skipped", "\xEF\xBB\xBFok", U"ok", 1},
        {"latin-1 stays in bytes", "caf\xC3\xA9", U"caf\xE9", 1},
        {"bmp", "\xE2\x82\xAC" "5", U"\x20AC" "5", 2},
        {"astral after bmp", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", U"\xE9\x20AC\x1F600", 4},
        {"high surrogate passes", "\xED\xA0\x80", U"\xD800", 2},
        {"overlong passes", "\xC1\x81", U"A", 1},
        {"nul inside", std::string("a\0b", 3), std::u32string(U"a\0b", 3), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Cell* str = string::load_c_text(c.bytes.data(), uint32_t(c.bytes.size()), 0);
        EXPECT_EQ(str, stack::top());
        ASSERT_TRUE(str->is(TYPE_STRING));
        EXPECT_EQ(chars_of(str), c.text);
        EXPECT_EQ(unit_of(str), c.unit);
        stack::pop(1);
    }
}

TEST_F(String, RefusesBadUtf8WithTheBytesAtTheFault) {
    const struct {
        const char* what;
        std::string bytes;
        std::string reported;
    } cases[] = {
        {"bad continuation", "ab\xC3(xyz", "\xC3(xy"},
        {"stray continuation", "\x80", "\x80"},
        {"low surrogate range", "\xED\xB2\x80", "\xED\xB2\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},
        {"cut short at the end", "ok\xE2\x82", "\xE2\x82"},
        {"lead byte F8", "\xF8\x88\x80\x80\x80", "\xF8\x88\x80\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Cell error{};
        EXPECT_EQ(raised([&] { string::load_c_text(c.bytes.data(), uint32_t(c.bytes.size()), 0); },
                         &error),
                  ErrorId::access_invalid_utf8);
        Cell arg = memory::buffer_of(error.data2)->cells()[0];
        ASSERT_TRUE(arg.is(TYPE_BINARY));
        SeriesBuffer* b = memory::buffer_of(arg.data2);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(b->head_ptr()), b->used()), c.reported);
    }
}

TEST_F(String, LoadsIntoAGivenCellOrABlock) {
    Cell* cell = stack::push_cell();
    EXPECT_EQ(string::load_c_text_at("xy", 2, cell, 0), cell);
    EXPECT_EQ(chars_of(cell), U"xy");

    Cell* block = stack::push_cell();
    *block = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0);
    Cell* top = stack::g_top;
    string::load_c_text_in("one", 3, block, 0);
    Cell* second = string::load_c_text_in("two", 3, block, 0);
    EXPECT_EQ(stack::g_top, top);
    SeriesBuffer* b = memory::buffer_of(block->data2);
    ASSERT_EQ(b->used(), 2 * sizeof(Cell));
    EXPECT_EQ(second, b->cells() + 1);
    EXPECT_EQ(chars_of(b->cells() + 1), U"two");
}

TEST_F(String, OtherEncodings) {
    EXPECT_EQ(raised([] { string::load_c_text("a\0", 2, -1); }), ErrorId::internal_not_done);
    EXPECT_EXIT(string::load_c_text("a", 1, 7), ::testing::ExitedWithCode(98),
                "\\*\\*\\* Loading Error: input encoding unsupported");
}

TEST_F(String, NavigationClipsAHeadPastTheTail) {
    Cell* str = string::load_c_text("hello", 5, 0);
    EXPECT_EQ(string::length_from_start(str), 5);
    str->data1 = 2;
    EXPECT_EQ(string::length_from_head(str), 3);
    EXPECT_EQ(*string::head_pointer(str), 'l');
    EXPECT_FALSE(string::at_tail_q(str));
    str->data1 = 9;
    EXPECT_TRUE(string::at_tail_q(str));
    EXPECT_EQ(string::length_from_head(str), 0);
    EXPECT_EQ(str->data1, 5u);
    str->data1 = 9;
    EXPECT_EQ(string::head_pointer(str), string::tail_pointer(str));
    EXPECT_EQ(str->data1, 5u);
}

TEST_F(String, GetCharReadsLittleEndianUnits) {
    const uint8_t bytes[] = {0x00, 0xF6, 0x01, 0x00};
    EXPECT_EQ(string::get_char(bytes + 1, 1), 0xF6u);
    EXPECT_EQ(string::get_char(bytes, 2), 0xF600u);
    EXPECT_EQ(string::get_char(bytes, 4), 0x1F600u);
}

TEST_F(String, TruncateAndReset) {
    Cell* str = new_string(8);
    append_all(str, U"abc\x1F600" "def");
    string::truncate_buffer(string::buffer_of(str), 4);
    EXPECT_EQ(chars_of(str), U"abc\x1F600");
    string::truncate_buffer(string::buffer_of(str), 6);  // beyond the tail: no change
    string::truncate_buffer(string::buffer_of(str), 1000);
    EXPECT_EQ(chars_of(str), U"abc\x1F600");
    str->data1 = 2;
    string::reset(str);
    EXPECT_EQ(str->data1, 0u);
    EXPECT_EQ(unit_of(str), 1u);
    EXPECT_EQ(string::length_from_head(str), 0);
    EXPECT_EQ(append_all(str, U"z"), U"z");
    EXPECT_EQ(unit_of(str), 1u);
}

TEST_F(String, MakeEmptyAt) {
    Cell* str = string::make_empty_at(stack::push_cell(), 0);
    EXPECT_TRUE(str->is(TYPE_STRING));
    EXPECT_EQ(str->data1, 0u);
    EXPECT_EQ(str->data3, 0u);
    EXPECT_EQ(unit_of(str), 1u);
    EXPECT_GE(string::buffer_of(str)->size, 1u);
    EXPECT_EQ(string::length_from_head(str), 0);
}

TEST_F(String, HexTexts) {
    const struct {
        int32_t value;
        bool trim;
        const char* text;
    } cases[] = {
        {0x1F, true, "1F"},         {0, true, "00"},         {-1, true, ""},
        {-1, false, "FFFFFFFF"},    {255, false, "000000FF"}, {0, false, "00000000"},
        {0x1E, true, "1E"},         {5, true, "5"},          {-2, false, "FFFFFFFE"},
        {-2, true, "E"},            {INT32_MIN, false, "80000000"},
        {0x7FFFFFFF, true, "7FFFFFFF"}, {0x12345678, false, "12345678"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(string::integer_to_hex(c.value, c.trim), c.text) << c.value << c.trim;
    const struct {
        uint8_t byte;
        const char* text;
    } bytes[] = {{10, "0A"}, {0, "00"}, {0xFF, "FF"}, {0xA5, "A5"}};
    for (const auto& c : bytes) EXPECT_STREQ(string::byte_to_hex(c.byte), c.text);
}

}  // namespace
