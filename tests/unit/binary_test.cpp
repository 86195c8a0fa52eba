// binary!: conversions, hex molding, byte insertion, trimming, bitwise
// actions, comparison, and the base encoders and decoders.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "datatypes/series/binary.hpp"
#include "tests/unit/eval_fixture.hpp"

namespace zun {
namespace {

using eval_test::Case;

using eval_test::EvalTest;

class BinaryTest : public EvalTest {
protected:
    void expect_all(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    }
};

// ---------------------------------------------------------------- encodings

std::string encode(int base, const std::string& bytes) {
    std::string out(binary::encoded_room(base, bytes.size()), '\0');
    char* end = binary::encode_base(base, out.data(),
                                    reinterpret_cast<const uint8_t*>(bytes.data()),
                                    uint32_t(bytes.size()));
    out.resize(size_t(end - out.data()));
    return out;
}

// The decoded bytes, or "<fail>".
std::string decode(int base, const std::string& text) {
    std::string out(binary::decoded_room(base, text.size()) + 1, '\0');
    int64_t n = binary::decode_base(base, reinterpret_cast<const uint8_t*>(text.data()),
                                    uint32_t(text.size()), 1, reinterpret_cast<uint8_t*>(out.data()));
    if (n < 0) return "<fail>";
    out.resize(size_t(n));
    return out;
}

TEST(BinaryEncodings, DecodersSkipSpaceAndCommentsAndRejectOtherText) {
    struct DecodeCase {
        int base;
        const char* text;
        std::string bytes;
    };
    const std::vector<DecodeCase> cases = {
        {64, "aGVsbG8=", "hello"},
        {64, " aGVs\nbG8= ", "hello"},
        {64, "aGVs ; a comment\nbG8=", "hello"},
        {64, "aGVsbG8", "hello"},  // an unpadded last group keeps its bytes
        {64, "aGVsbA", "hell"},
        {64, "Q=", "<fail>"},
        {64, "aGVsb", "<fail>"},  // a lone last character is no byte
        {64, "=QUJD", "<fail>"},
        {64, "QUJD!", "<fail>"},
        {64, "QUJDQQ==QUJD", "ABCA"},  // "=" ends the data
        {64, "QUJD=", "<fail>"},
        {64, "", ""},
        {16, "00ff", std::string("\x00\xFF", 2)},
        {16, "0 0\tF f", std::string("\x00\xFF", 2)},
        {16, "ABC", "\xAB"},  // an odd last digit is dropped
        {16, "0G", "<fail>"},
        {16, "; only a comment", ""},
        {2, "01000001 01000010", "AB"},
        {2, "0100", "<fail>"},
        {2, "0102", "<fail>"},
        {58, "11", std::string(2, '\0')},
        {58, "", ""},
        {58, "2g", "a"},
        {58, "0", "<fail>"},
        {58, "I", "<fail>"},
    };
    for (const DecodeCase& c : cases) EXPECT_EQ(decode(c.base, c.text), c.bytes) << c.base << " " << c.text;
}

TEST(BinaryEncodings, WideUnitsAndCodePointsAboveAscii) {
    // "QUJD" in 2-byte units; a code point above 127 is never a digit.
    const uint8_t wide[] = {'Q', 0, 'U', 0, 'J', 0, 'D', 0};
    uint8_t out[8];
    EXPECT_EQ(binary::decode_base64(wide, 4, 2, out), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "ABC");
    const uint8_t degree[] = {0xB0, 0, '0', 0};  // U+00B0 folds to "0" in 7 bits
    EXPECT_EQ(binary::decode_base16(degree, 2, 2, out), -1);
    const uint8_t ends[] = {'2', 0, 'g', 0, 0xE9, 0, 'I', 0};  // base 58 stops at U+00E9
    EXPECT_EQ(binary::decode_base58(ends, 4, 2, out), 1);
    EXPECT_EQ(out[0], 'a');
}

TEST(BinaryEncodings, RoundTripsEveryLengthAndLeadingZeros) {
    std::string bytes;
    for (int n = 0; n < 70; n++) {
        for (int base : {2, 16, 58, 64}) {
            std::string text = encode(base, bytes);
            EXPECT_LE(text.size(), binary::encoded_room(base, bytes.size()));
            EXPECT_EQ(decode(base, text), bytes) << base << " " << n;
        }
        bytes.push_back(char(n % 5 == 0 ? 0 : n * 37));
    }
    EXPECT_EQ(encode(58, std::string(3, '\0')), "111");
    EXPECT_EQ(encode(16, "\x01\xAB\xFF"), "01ABFF");
    EXPECT_EQ(encode(2, "\x81"), "10000001");
}

// ---------------------------------------------------------------- actions

TEST_F(BinaryTest, ToBinaryByType) {
    expect_all({
        {"to binary! 1", "#{00000001}"},
        {"to binary! -1", "#{FFFFFFFF}"},
        {"to binary! 1.0", "#{3FF0000000000000}"},
        {"to binary! #{}", "#{}"},
        {"to binary! next #{0102}", "#{02}"},
        {"to binary! \"\xC3\xA9\"", "#{C3A9}"},
        {"to binary! \"a\xE2\x82\xAC\"", "#{61E282AC}"},
        {"to binary! #\"\xC3\xA9\"", "#{C3A9}"},
        {"to binary! #ABCD", "#{ABCD}"},
        {"to binary! [1 \"A\" #\"B\"]", "#{014142}"},
        {"to binary! 1.2.3", "#{010203}"},
        {"to binary! make bitset! [0 9]", "#{8040}"},
        {"make binary! 10", "#{}"},
    });
    Cell error;
    EXPECT_EQ(fails("to binary! #XYZ", &error), ErrorId::script_invalid_data);
    EXPECT_EQ(fails("to binary! none"), ErrorId::script_bad_to_arg);
    EXPECT_EQ(fails("to binary! [1.5]"), ErrorId::script_bad_to_arg);
    EXPECT_EQ(fails("make binary! -1"), ErrorId::script_out_of_range);
    EXPECT_EQ(fails("b: [1] append/only b b to binary! b"), ErrorId::internal_stack_overflow);
}

TEST_F(BinaryTest, MoldLaysOutLongBinariesInLinesOf32Bytes) {
    // The text a form or mold of n bytes of AB gives at an indentation level.
    auto text = [&](int n, int indent = 0, bool flat = false, bool form = false) {
        stack::StackScope scope;
        Cell* bin = binary::make_at(stack::push_cell(), uint32_t(n));
        for (int i = 0; i < n; i++) {
            uint8_t byte = 0xAB;
            binary::append_bytes(bin, &byte, 1);
        }
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        if (form) actions::form_direct(bin, buffer, nullptr, 100000);
        else actions::mold_direct(bin, buffer, false, false, flat, nullptr, 100000, indent);
        return test_support::bytes_of(buffer);
    };
    auto digits = [](int n) {
        std::string s;
        for (int i = 0; i < n; i++) s += "AB";
        return s;
    };
    EXPECT_EQ(text(0), "#{}");
    EXPECT_EQ(run("mold #{01ABFF}"), "\"#{01ABFF}\"");
    EXPECT_EQ(text(30), "#{" + digits(30) + "}");
    EXPECT_EQ(text(31), "#{\n    " + digits(31) + "\n}");
    EXPECT_EQ(text(64), "#{\n    " + digits(32) + "\n    " + digits(32) + "\n    }");
    EXPECT_EQ(text(40, 0, true), "#{" + digits(40) + "}");
    EXPECT_EQ(text(40, 0, false, true), "#{\n    " + digits(32) + "\n    " + digits(8) + "\n}");
    EXPECT_EQ(text(31, 1), "#{\n        " + digits(31) + "\n    }");
    EXPECT_EQ(run("mold/part #{01020304} 6"), "\"#{0102\"");
}

TEST_F(BinaryTest, AppendInsertAndChangeWriteBytes) {
    expect_all({
        {"append #{} 255", "#{FF}"},
        {"append #{} -1", "#{FF}"},
        {"append #{} #\"\xC3\xA9\"", "#{C3A9}"},
        {"append #{00} [1 \"A\" #\"B\"]", "#{00014142}"},
        {"append #{00} \"\"", "#{00}"},
        {"append/part #{} \"abcdef\" 2", "#{6162}"},
        {"append/part #{} [1 2 3] 2", "#{0102}"},
        {"append/dup #{} #{0102} 3", "#{010201020102}"},
        {"append next #{0102} 3", "#{010203}"},
        {"b: #{0102} append b b", "#{01020102}"},
        {"insert #{0102} 3", "#{0102}"},  // positioned after the insertion
        {"head insert next #{0102} #{AA}", "#{01AA02}"},
        {"head insert tail #{01} 2", "#{0102}"},
        {"head change #{010203} #{AABB}", "#{AABB03}"},
        {"change #{010203} #{AABB}", "#{03}"},
        {"head change/part #{010203} 255 2", "#{FF03}"},
        {"head change #{0102} 1.5", "#{312E35}"},  // formed text as UTF-8
        {"head change/dup #{00} #{AB} 3", "#{ABABAB}"},
        {"head change tail #{01} 2", "#{0102}"},
        {"b: #{010203} head change next b b", "#{01010203}"},
    });
    EXPECT_EQ(fails("append #{} 256"), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("append #{} -129"), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("append #{} 1.5"), ErrorId::script_bad_to_arg);
    EXPECT_EQ(fails("insert #{} 'word"), ErrorId::script_bad_to_arg);
}

TEST_F(BinaryTest, InheritedSeriesActionsWorkOnBytes) {
    expect_all({
        {"find #{0102AB03} 171", "#{AB03}"},
        {"find #{0102AB03} #{AB}", "#{AB03}"},
        {"find #{0102AB03} 4", "none"},
        {"pick #{0102} 2", "2"},
        {"b: #{0102} poke b 1 255 b", "#{FF02}"},
        {"length? next #{010203}", "2"},
        {"copy/part next #{01020304} 2", "#{0203}"},
        {"select #{0102AB03} 171", "3"},
    });
}

TEST_F(BinaryTest, TrimDropsZeroBytes) {
    expect_all({
        {"trim #{0000AB0000}", "#{AB}"},
        {"trim/head #{0000AB0000}", "#{AB0000}"},
        {"trim/tail #{0000AB0000}", "#{0000AB}"},
        {"trim #{0000}", "#{}"},
        {"head trim next #{0000AB00}", "#{00AB}"},
        {"trim/all #{00AB00CD00}", "#{ABCD}"},
        {"trim/with #{00AB01CD} #{AB}", "#{0001CD}"},
    });
    EXPECT_EQ(fails("trim/auto #{00}"), ErrorId::internal_not_done);
}

TEST_F(BinaryTest, BitwiseActionsAndComplement) {
    expect_all({
        {"and~ #{FF0F} #{0F}", "#{0F00}"},
        {"or~ #{F0} #{0F0F}", "#{FF0F}"},
        {"xor~ #{FF00} #{0F}", "#{F000}"},
        {"and~ next #{00FF} #{F0}", "#{F0}"},
        {"complement #{00F0}", "#{FF0F}"},
        {"head complement next #{00F0}", "#{000F}"},
    });
    EXPECT_EQ(fails("and~ #{00} 1"), ErrorId::script_invalid_arg);
}

TEST_F(BinaryTest, ComparesBytesUnsignedAndExactly) {
    expect_all({
        {"#{0102} = #{0102}", "true"},
        {"#{0102} = #{01}", "false"},
        {"#{41} = #{61}", "false"},
        {"#{01} < #{0102}", "true"},
        {"#{80} > #{7F}", "true"},
        {"#{0102} < #{02}", "true"},
        {"#{} = #{}", "true"},
        {"#{01} = \"^A\"", "false"},  // no other type is equal
        {"strict-equal? #{AB} #{AB}", "true"},
    });
}

TEST_F(BinaryTest, CompareBytesMatchesAgainstText) {
    Cell* bin = load("#{616263}");
    Cell value = *block::cell_at(bin, 0);
    Cell* str = load("\"ab\" \"abcd\" \"\" \"b\"");
    Cell ab = *block::cell_at(str, 0), abcd = *block::cell_at(str, 1), none = *block::cell_at(str, 2);
    EXPECT_EQ(binary::compare_bytes(&value, &ab, COMP_EQUAL, true), 0);
    EXPECT_EQ(binary::compare_bytes(&value, &abcd, COMP_EQUAL, true), 1);
    EXPECT_EQ(binary::compare_bytes(&value, &none, COMP_EQUAL, true), 0);
    EXPECT_EQ(binary::compare_bytes(&value, &none, COMP_LESSER, true), 1);
    Cell b = *block::cell_at(str, 3);
    EXPECT_FALSE(binary::match_q(&value, &b, COMP_EQUAL));
    Cell a = make_cell(TYPE_CHAR, 0, 'a', 0);
    EXPECT_TRUE(binary::match_q(&value, &a, COMP_EQUAL));
}

TEST_F(BinaryTest, ByteHelpersForServices) {
    Cell* bin = binary::make_at(stack::push_cell(), 0);
    const uint8_t ab[] = {0xA, 0xB};
    binary::append_bytes(bin, ab, 2);
    binary::append_int32_be(bin, 0x01020304);
    binary::insert_bytes(bin, 1, ab, 2);
    EXPECT_EQ(eval_test::mold(*bin), "#{0A0A0B0B01020304}");
    bin->data1 = 7;
    EXPECT_EQ(binary::length_from_head(bin), 1);
    EXPECT_EQ(*binary::head_pointer(bin), 4);
    Cell* block = load("x");
    Cell* made = binary::load_bytes_in(ab, 2, block);
    EXPECT_EQ(eval_test::mold(*made), "#{0A0B}");
    EXPECT_EQ(eval_test::mold(*block), "[x #{0A0B}]");
}

TEST_F(BinaryTest, EnbaseAndDebaseNatives) {
    expect_all({
        {"enbase \"hello\"", "\"aGVsbG8=\""},
        {"enbase/base #{00FF} 16", "\"00FF\""},
        {"enbase/base #{0000} 58", "\"11\""},
        {"enbase/base #{} 58", "\"\""},
        {"enbase/base next #{FF41} 2", "\"01000001\""},
        {"enbase \"\xC3\xA9\"", "\"w6k=\""},
        {"debase \"aGVsbG8=\"", "#{68656C6C6F}"},
        {"debase \"aGVsbG8!\"", "none"},
        {"debase/base \"11\" 58", "#{0000}"},
        {"debase/base \"0100\" 2", "none"},
        {"debase/base \"ABC\" 16", "#{AB}"},
        {"debase/base next \"xAB\" 16", "#{AB}"},
    });
    EXPECT_EQ(fails("enbase/base #{} 10"), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("debase/base \"\" 32"), ErrorId::script_invalid_arg);
}

}  // namespace
}  // namespace zun
