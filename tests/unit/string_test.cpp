#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
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
        {"high surrogate", "\xED\xA0\x80", "\xED\xA0\x80"},
        {"overlong", "\xC1\x81", "\xC1\x81"},
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
    const char16_t utf16[] = u"a\u00E9\u20AC";
    Cell* str = string::load_c_text(reinterpret_cast<const char*>(utf16), 3, -1);
    EXPECT_EQ(chars_of(str), U"a\xE9\x20AC");
    EXPECT_EQ(unit_of(str), 2u);
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

// ---------------------------------------------------------------- writing at positions

Cell* text(const std::u32string& t) {
    Cell* str = new_string(uint32_t(t.size()) + 1);
    append_all(str, t);
    return str;
}

TEST_F(String, WritesAtPositionsKeepLatin1AndWidenBeyond) {
    Cell* str = text(U"abc");
    string::set_char_at(string::buffer_of(str), 1, 0xE9);
    EXPECT_EQ(chars_of(str), U"a\xE9" "c");
    EXPECT_EQ(unit_of(str), 1u);  // a position keeps Latin-1
    string::set_char_at(string::buffer_of(str), 3, U'd');  // at the tail: the tail follows
    string::set_char_at(string::buffer_of(str), 6, U'g');  // past it: the gap becomes 0
    EXPECT_EQ(chars_of(str), std::u32string(U"a\xE9" "cd\0\0g", 7));

    string::insert_char_at(string::buffer_of(str), 1, 0x20AC);
    EXPECT_EQ(unit_of(str), 2u);
    EXPECT_EQ(chars_of(str), std::u32string(U"a\x20AC\xE9" "cd\0\0g", 8));
    string::insert_char_at(string::buffer_of(str), 0, 0x1F600);
    EXPECT_EQ(unit_of(str), 4u);
    EXPECT_EQ(chars_of(str), std::u32string(U"\x1F600" "a\x20AC\xE9" "cd\0\0g", 9));
    string::insert_char_at(string::buffer_of(str), 9, U'!');
    EXPECT_EQ(chars_of(str).back(), U'!');
}

TEST_F(String, PokeCharFollowsTheWidenedUnit) {
    Cell* str = text(U"hello");
    SeriesBuffer* b = string::buffer_of(str);
    b = string::poke_char(b, b->head_ptr() + 3, 0x1F600);
    EXPECT_EQ(b, string::buffer_of(str));
    EXPECT_EQ(chars_of(str), U"hel\x1F600o");
    b = string::poke_char(b, b->head_ptr() + 4 * 4, U'!');
    EXPECT_EQ(chars_of(str), U"hel\x1F600!");
}

TEST_F(String, RemoveMoveAndSwapRegions) {
    Cell* str = text(U"abcdef");
    string::remove_units_at(str, 1, 2);
    EXPECT_EQ(chars_of(str), U"adef");
    string::remove_units_at(str, 3, 10);  // cut at the tail
    EXPECT_EQ(chars_of(str), U"ade");
    string::remove_unit_at(str, 7);  // past the tail: nothing
    EXPECT_EQ(chars_of(str), U"ade");

    Cell* from = text(U"x\x1F600y");
    Cell* to = text(U"12");
    to->data1 = 1;
    string::move_units(from, to, 2);
    EXPECT_EQ(chars_of(from), U"y");
    to->data1 = 0;
    EXPECT_EQ(chars_of(to), U"1x\x1F600" "2");
    EXPECT_EQ(unit_of(to), 4u);

    uint8_t bytes[] = "AAbbbGGccccc";
    string::swap_regions(bytes + 2, 3, bytes + 7, 5, 2);
    EXPECT_STREQ(reinterpret_cast<char*>(bytes), "AAcccccGGbbb");
}

TEST_F(String, CopyWidened) {
    Cell* src = string::load_c_text("h\xC3\xA9llo", 6, 0);  // Latin-1 in 1-byte units
    ASSERT_EQ(unit_of(src), 1u);
    Cell* dst = stack::push_cell();
    *dst = make_cell(TYPE_UNSET);
    SeriesBuffer* made = string::copy_widened(string::buffer_of(src), nullptr, 2, 1, 0, 0, false);
    *dst = make_cell(TYPE_STRING, 0, made->node, 0);
    EXPECT_EQ(unit_of(dst), 2u);
    EXPECT_EQ(chars_of(dst), U"\xE9llo");
    string::copy_widened(string::buffer_of(src), string::buffer_of(dst), 2, 0, 8, 2, false);
    EXPECT_EQ(chars_of(dst), U"\xE9lloh\xE9");
}

// ---------------------------------------------------------------- concatenate

TEST_F(String, ConcatenateInEveryMode) {
    const struct {
        std::u32string target, source;
        int32_t head, part, offset, mode;
        std::u32string result;
    } cases[] = {
        {U"ab", U"cd", 0, -1, 0, string::APPEND_MODE, U"abcd"},
        {U"ab", U"cde", 1, 2, 0, string::APPEND_MODE, U"abcd"},
        {U"ab", U"\x1F600", 0, -1, 0, string::APPEND_MODE, U"ab\x1F600"},
        {U"\x20AC" "b", U"cd", 0, -1, 0, string::APPEND_MODE, U"\x20AC" "bcd"},
        {U"abcd", U"XY", 1, -1, 1, string::INSERT_MODE, U"abXYcd"},
        {U"abcd", U"XYZ", 0, 0, 0, string::INSERT_MODE, U"abcd"},
        {U"abcd", U"XY", 1, -1, 0, string::OVERWRITE_MODE, U"aXYd"},
        {U"abcd", U"XYZ", 2, -1, 0, string::OVERWRITE_MODE, U"abXYZ"},  // the tail moves on
        {U"abcd", U"\x20AC", 0, -1, 3, string::OVERWRITE_MODE, U"abc\x20AC"},
    };
    for (const auto& c : cases) {
        Cell* t = text(c.target);
        Cell* s = text(c.source);
        t->data1 = uint32_t(c.head);
        string::concatenate(t, s, c.part, c.offset, false, c.mode);
        t->data1 = 0;
        EXPECT_EQ(chars_of(t), c.result) << c.mode << ' ' << c.head;
        EXPECT_EQ(chars_of(s), c.source);  // the source is never changed
    }
}

TEST_F(String, ConcatenateAStringWithItself) {
    const struct {
        int32_t target_head, source_head, mode;
        std::u32string result;
    } cases[] = {
        {0, 0, string::APPEND_MODE, U"xabcxabc"},
        {0, 1, string::INSERT_MODE, U"abcxabc"},
        {2, 0, string::INSERT_MODE, U"xaxabcbc"},
        {1, 2, string::INSERT_MODE, U"xbcabc"},
        {0, 1, string::OVERWRITE_MODE, U"abcc"},
        {1, 0, string::OVERWRITE_MODE, U"xxabc"},
    };
    for (const auto& c : cases) {
        Cell* t = text(U"xabc");
        Cell* s = stack::push(t);
        t->data1 = uint32_t(c.target_head);
        s->data1 = uint32_t(c.source_head);
        string::concatenate(t, s, -1, 0, false, c.mode);
        t->data1 = 0;
        EXPECT_EQ(chars_of(t), c.result) << c.mode << ' ' << c.target_head << ' ' << c.source_head;
    }
}

// ---------------------------------------------------------------- matching

TEST_F(String, CompareStrings) {
    const struct {
        std::u32string a, b;
        int op;
        bool match;
        int result;
    } cases[] = {
        {U"abc", U"ABC", COMP_EQUAL, false, 0},
        {U"abc", U"ABC", COMP_STRICT_EQUAL, false, 1},
        {U"ab", U"abc", COMP_LESSER, false, -1},
        {U"abc", U"ab", COMP_LESSER, false, 1},
        {U"ab", U"abc", COMP_EQUAL, false, 1},
        {U"", U"", COMP_LESSER, false, 0},
        {U"", U"a", COMP_LESSER, false, -1},
        {U"a", U"", COMP_LESSER, false, 1},
        {U"B", U"a", COMP_SORT, false, 1},
        {U"B", U"a", COMP_CASE_SORT, false, -1},
        {U"\xE9t\xE9", U"\xC9T\xC9", COMP_EQUAL, false, 0},
        {U"\x1F600", U"\x20AC", COMP_LESSER, false, 1},
        {U"abcdef", U"ABC", COMP_EQUAL, true, 0},
        {U"abcdef", U"ABC", COMP_STRICT_EQUAL, true, 1},
        {U"ab", U"abc", COMP_EQUAL, true, 1},
        {U"abc", U"", COMP_EQUAL, true, 0},
        {U"abc", U"", COMP_FIND, true, 1},
    };
    for (const auto& c : cases) {
        Cell* a = text(c.a);
        Cell* b = text(c.b);
        EXPECT_EQ(string::compare_strings(a, b, c.op, c.match), c.result)
            << c.op << ' ' << c.match << ' ' << c.a.size() << ' ' << c.b.size();
    }
    Cell* a = text(U"abc");
    Cell* same = stack::push(a);
    Cell* copy = text(U"abc");
    EXPECT_EQ(string::compare_strings(a, same, COMP_SAME, false), 0);
    EXPECT_EQ(string::compare_strings(a, copy, COMP_SAME, false), -1);
}

TEST_F(String, MatchesAndLooksUpCharacters) {
    Cell* s = text(U"<Tag>rest");
    Cell* tag = text(U"tag");
    tag->set_type(TYPE_TAG);
    EXPECT_TRUE(string::tag_delimited_q(s, tag));
    EXPECT_TRUE(string::match_q(s, tag, COMP_EQUAL));
    EXPECT_FALSE(string::match_q(s, tag, COMP_STRICT_EQUAL));
    Cell lt = make_cell(TYPE_CHAR, 0, '<', 0);
    EXPECT_TRUE(string::match_q(s, &lt, COMP_EQUAL));
    Cell* prefix = text(U"<TAG");
    EXPECT_TRUE(string::match_q(s, prefix, COMP_EQUAL));
    EXPECT_FALSE(string::match_q(s, &shared_none_cell, COMP_EQUAL));

    Cell* h = text(U"ab\xE9" "cab");
    EXPECT_EQ(string::find_char(h, 0xE9), 2);
    EXPECT_EQ(string::find_char(h, 'z'), -1);
    h->data1 = 1;
    EXPECT_EQ(string::find_char(h, 'a'), 3);
    EXPECT_TRUE(string::contains_char_q(h, 'B', 1, false));
    EXPECT_FALSE(string::contains_char_q(h, 'B', 1, true));
    EXPECT_FALSE(string::contains_char_q(h, 'a', 2, true));  // only at every 2nd unit
    EXPECT_TRUE(string::starts_with_c_text_q(h, "b\xE9"));
    EXPECT_FALSE(string::starts_with_c_text_q(h, "b\xE9" "cabX"));

    NodeId bits = memory::alloc_bytes(13);  // bits 0 .. 103
    SeriesBuffer* b = memory::buffer_of(bits);
    std::memset(b->head_ptr(), 0, 13);
    b->tail = b->head + 13;
    b->head_ptr()['b' / 8] |= 0x80 >> ('b' % 8);
    Cell set = make_cell(TYPE_BITSET, 0, bits, 0);
    EXPECT_TRUE(string::char_in_bitset_q(h, &set));
    h->data1 = 2;
    EXPECT_FALSE(string::char_in_bitset_q(h, &set));  // 0xE9 lies beyond the stored bits
    b->flags |= memory::COMPLEMENTED_FLAG;
    EXPECT_TRUE(string::char_in_bitset_q(h, &set));
}

TEST_F(String, LoadUtf8StrictAndPushCopy) {
    Cell* s = string::load_utf8_strict(reinterpret_cast<const uint8_t*>("a\xE2\x82\xAC"), 4);
    EXPECT_EQ(chars_of(s), U"a\x20AC");
    Cell* copy = string::push_copy(s);
    EXPECT_EQ(copy->data2, s->data2);
    Cell error{};
    EXPECT_EQ(raised([] { string::load_utf8_strict(reinterpret_cast<const uint8_t*>("ok\xE2\x82"), 4); },
                     &error),
              ErrorId::access_invalid_utf8);
    SeriesBuffer* rest = memory::buffer_of(test_support::error_arg(error, 0).data2);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(rest->head_ptr()), rest->used()), "\xE2\x82");
    struct Case {
        const char* text;
        double value;
        bool error;
    };
    for (const Case& c : {Case{"1.5", 1.5, false}, Case{"-2e3", -2000.0, false},
                          Case{"", 0.0, true}, Case{"1.5x", 1.5, true}}) {
        bool error = false;
        auto* text = reinterpret_cast<const uint8_t*>(c.text);
        double value = string::to_float(text, uint32_t(std::strlen(c.text)), &error);
        EXPECT_EQ(error, c.error) << c.text;
        if (!c.error) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
}

TEST_F(String, EscapedCharacters) {
    const struct {
        char32_t c;
        bool all;
        std::u32string text;
    } cases[] = {
        {0, false, U"^@"},     {9, false, U"^-"},       {10, false, U"^/"},
        {27, false, U"^["},    {0x1E, false, U"^(1E)"}, {'"', false, U"^\""},
        {'^', false, U"^^"},   {0x7F, false, U"^~"},    {0x80, false, U"^(80)"},
        {0x9F, false, U"^(9F)"}, {0xE9, false, U"\xE9"}, {0xE9, true, U"^(E9)"},
        {0x1F600, true, U"^(1F600)"}, {'a', true, U"a"},
    };
    for (const auto& c : cases) {
        Cell* out = new_string();
        string::append_escaped_char(out, c.c, c.all);
        EXPECT_EQ(chars_of(out), c.text) << uint32_t(c.c);
    }
}

}  // namespace
