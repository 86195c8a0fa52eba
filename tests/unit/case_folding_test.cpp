#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>

#include "core/case_folding.hpp"
#include "core/symbols.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

class CaseFolding : public ::testing::Test {
protected:
    void SetUp() override { unicode::init_case_tables(); }
};

// Code points whose str.upper() in python3 is more than one code point (its
// full mapping differs from the simple one); str.lower() has one such: U+0130.
constexpr uint32_t k_multi_upper[] = {
    0x00DF, 0x0149, 0x01F0, 0x0390, 0x03B0, 0x0587, 0x1E96, 0x1E97, 0x1E98, 0x1E99, 0x1E9A,
    0x1F50, 0x1F52, 0x1F54, 0x1F56, 0x1F80, 0x1F81, 0x1F82, 0x1F83, 0x1F84, 0x1F85, 0x1F86,
    0x1F87, 0x1F88, 0x1F89, 0x1F8A, 0x1F8B, 0x1F8C, 0x1F8D, 0x1F8E, 0x1F8F, 0x1F90, 0x1F91,
    0x1F92, 0x1F93, 0x1F94, 0x1F95, 0x1F96, 0x1F97, 0x1F98, 0x1F99, 0x1F9A, 0x1F9B, 0x1F9C,
    0x1F9D, 0x1F9E, 0x1F9F, 0x1FA0, 0x1FA1, 0x1FA2, 0x1FA3, 0x1FA4, 0x1FA5, 0x1FA6, 0x1FA7,
    0x1FA8, 0x1FA9, 0x1FAA, 0x1FAB, 0x1FAC, 0x1FAD, 0x1FAE, 0x1FAF, 0x1FB2, 0x1FB3, 0x1FB4,
    0x1FB6, 0x1FB7, 0x1FBC, 0x1FC2, 0x1FC3, 0x1FC4, 0x1FC6, 0x1FC7, 0x1FCC, 0x1FD2, 0x1FD3,
    0x1FD6, 0x1FD7, 0x1FE2, 0x1FE3, 0x1FE4, 0x1FE6, 0x1FE7, 0x1FF2, 0x1FF3, 0x1FF4, 0x1FF6,
    0x1FF7, 0x1FFC, 0xFB00, 0xFB01, 0xFB02, 0xFB03, 0xFB04, 0xFB05, 0xFB06, 0xFB13, 0xFB14,
    0xFB15, 0xFB16, 0xFB17};
constexpr uint32_t k_multi_lower[] = {0x0130};

// h = h x 1000003 + mapped over every code point but surrogates and the ones
// above, as python3 (Unicode 14.0, the same case pairs as 15.0) computes it with
// ord(chr(c).upper()) and ord(chr(c).lower()).
constexpr uint64_t k_python_upper_sum = 0xAAD06BCB195EBAEFull;
constexpr uint64_t k_python_lower_sum = 0x56C1A52BB0EE2AE5ull;

template <size_t N> uint64_t checksum(bool to_upper, const uint32_t (&skip)[N]) {
    uint64_t h = 0;
    for (uint32_t cp = 0; cp < 0x110000; cp++) {
        if ((cp >= 0xD800 && cp < 0xE000) || std::binary_search(std::begin(skip), std::end(skip), cp))
            continue;
        h = h * 1000003 + unicode::change_case(cp, to_upper);
    }
    return h;
}

TEST_F(CaseFolding, AgreesWithPythonWhereFullAndSimpleMappingsCoincide) {
    EXPECT_EQ(checksum(true, k_multi_upper), k_python_upper_sum);
    EXPECT_EQ(checksum(false, k_multi_lower), k_python_lower_sum);
}

TEST_F(CaseFolding, SingleCodePointMappings) {
    struct Case {
        uint32_t cp;
        bool to_upper;
        uint32_t expected;
    };
    const Case cases[] = {
        {'a', true, 'A'},         {'A', false, 'a'},        {'A', true, 'A'},
        {0xFF, true, 0x178},      {0x178, false, 0xFF},     // ÿ widens past Latin-1
        {0xDF, true, 0xDF},       // ß: no single upper-case letter, no special casing
        {0x130, false, 0x69},     {0x131, true, 0x49},      // dotted and dotless i
        {0x1C5, true, 0x1C4},     {0x1C5, false, 0x1C6},    // title-case Dž
        {0x3C2, true, 0x3A3},     {0x10D0, true, 0x1C90},   // final sigma, Georgian
        {0x1E922, true, 0x1E900}, {0x1E900, false, 0x1E922},  // Adlam
        {0x10428, true, 0x10400}, {0x10400, false, 0x10428},  // Deseret, first astral pair
        {0x1E943, true, 0x1E921}, {0x1E921, false, 0x1E943},  // the last ones
        {0x10427, false, 0x1044F},
        {0x1E944, true, 0x1E944}, {0x103FF, true, 0x103FF},  // just outside the tables
        {0x10FFFF, true, 0x10FFFF}, {0x10FFFF, false, 0x10FFFF}, {0, true, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(unicode::change_case(c.cp, c.to_upper), c.expected)
            << std::hex << c.cp << (c.to_upper ? " upper" : " lower");
}

// The checked-in data is UCD 15.0's simple mappings (see tools/gen_case_data.py).
TEST_F(CaseFolding, SourceTablesHoldTheUnicodeDataPairs) {
    unicode::CaseTableCounts n = unicode::case_table_counts();
    EXPECT_EQ(n.upper_bmp, 1190u);
    EXPECT_EQ(n.lower_bmp, 1173u);
    EXPECT_EQ(n.upper_astral, 260u);
    EXPECT_EQ(n.lower_astral, 260u);
}

// ---------------------------------------------------------------- values in place

class CaseFoldingValue : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();  // the words uppercase, lowercase and part
    }
};
using test_support::raised;

// A string-type value on the stack holding the text in units of the given size.
Cell* make_text(const std::u32string& text, uint32_t unit, uint32_t type = TYPE_STRING) {
    Cell* str = string::make_at(stack::push_cell(), uint32_t(text.size()), unit);
    str->set_type(type);
    memory::SeriesBuffer* b = string::buffer_of(str);
    for (char32_t c : text) {
        uint32_t cp = c;
        std::memcpy(b->tail_ptr(), &cp, unit);
        b->tail += unit;
    }
    return str;
}

// The whole text, from the buffer's start.
std::u32string all_chars(const Cell* str) {
    std::u32string out;
    for (int32_t i = 0; i < string::length_from_start(str); i++)
        out += char32_t(string::char_at(str, i));
    return out;
}

TEST_F(CaseFoldingValue, CharValues) {
    Cell c = make_cell(TYPE_CHAR, 0, 0x1E922, 0);
    unicode::change_case_value(&c, nullptr, true);
    EXPECT_EQ(c.data2, 0x1E900u);
    unicode::change_case_value(&c, nullptr, false);
    EXPECT_EQ(c.data2, 0x1E922u);
    c.data2 = 0xDF;
    unicode::change_case_value(&c, nullptr, true);
    EXPECT_EQ(c.data2, 0xDFu);
}

TEST_F(CaseFoldingValue, StringsFromTheHeadOverThePart) {
    const struct {
        std::u32string text;
        uint32_t unit;
        int32_t head;
        int32_t part;  // INT32_MIN: no /part
        bool to_upper;
        std::u32string out;
        uint32_t out_unit;
    } cases[] = {
        {U"abc def", 1, 0, INT32_MIN, true, U"ABC DEF", 1},
        {U"ABC", 1, 0, 10, false, U"abc", 1},         // a part past the tail stops there
        {U"abcd", 1, 1, 2, true, U"aBCd", 1},
        {U"abcd", 1, 1, -3, true, U"abcd", 1},        // a negative part changes nothing
        {U"abcd", 1, 9, INT32_MIN, true, U"abcd", 1}, // a head past the tail: nothing
        {U"a\xFFz", 1, 0, INT32_MIN, true, U"A\x178Z", 2},  // widens, neighbours kept
        {U"\xE9\xB5x", 1, 0, 2, true, U"\xC9\x39Cx", 2},
        {U"\x178\x130", 2, 0, INT32_MIN, false, U"\xFFi", 2},
        {U"x\x10428\x1E922", 4, 0, INT32_MIN, true, U"X\x10400\x1E900", 4},
        {U"\x10400Q", 4, 0, INT32_MIN, false, U"\x10428q", 4},
    };
    for (const auto& c : cases) {
        Cell* str = make_text(c.text, c.unit);
        str->data1 = uint32_t(c.head);
        Cell part = integer_cell(c.part);
        unicode::change_case_value(str, c.part == INT32_MIN ? nullptr : &part, c.to_upper);
        EXPECT_EQ(all_chars(str), c.out);
        EXPECT_EQ(string::buffer_of(str)->unit(), c.out_unit);
        stack::pop(1);
    }
}

// Widening in the middle of a long text: the place of each later write is
// recomputed for the new unit.
TEST_F(CaseFoldingValue, WideningMidwayKeepsEveryCharacter) {
    std::u32string text, upper;
    for (int i = 0; i < 300; i++) {
        text += i == 150 ? U'\xFF' : char32_t(U'a' + i % 26);
        upper += i == 150 ? U'\x178' : char32_t(U'A' + i % 26);
    }
    Cell* str = make_text(text, 1);
    unicode::change_case_value(str, nullptr, true);
    EXPECT_EQ(all_chars(str), upper);
    EXPECT_EQ(string::buffer_of(str)->unit(), 2u);
}

TEST_F(CaseFoldingValue, PartAsAPositionInTheSameSeries) {
    Cell* str = make_text(U"abcdef", 1, TYPE_FILE);
    str->data1 = 1;
    Cell end = *str;
    end.data1 = 4;
    unicode::change_case_value(str, &end, true);
    EXPECT_EQ(all_chars(str), U"aBCDef");
    Cell before = *str;
    before.data1 = 0;  // before the head: nothing
    unicode::change_case_value(str, &before, true);
    EXPECT_EQ(all_chars(str), U"aBCDef");
    Cell as_float = make_cell(TYPE_FLOAT);
    as_float.set_double(2.9);
    unicode::change_case_value(str, &as_float, false);
    EXPECT_EQ(all_chars(str), U"abcDef");
}

// An error resets the stack: each round makes its strings again.
TEST_F(CaseFoldingValue, PartInAnotherSeriesIsRefused) {
    for (bool same_node : {false, true}) {
        Cell* str = make_text(U"abc", 1);
        Cell part = *make_text(U"abc", 1);
        if (same_node) part = *str, part.set_type(TYPE_FILE);
        NodeId node = str->data2;
        Cell error{};
        EXPECT_EQ(raised([&] { unicode::change_case_value(str, &part, true); }, &error),
                  ErrorId::script_invalid_refine_arg);
        Cell word = test_support::error_arg(error, 0);
        EXPECT_EQ(word.type(), TYPE_WORD);
        EXPECT_EQ(symbol::name(word.data2), "part");
        EXPECT_EQ(string::get_char(memory::buffer_of(node)->head_ptr(), 1), uint32_t('a'));
    }
}

}  // namespace
