#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/unicode.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using memory::SeriesBuffer;

namespace {

using Unicode = test_support::RuntimeTest;
using test_support::raised;

const uint8_t* bytes(const char* s) { return reinterpret_cast<const uint8_t*>(s); }
const uint8_t* bytes(const std::string& s) { return bytes(s.data()); }

// The code points of a series from its first used byte.
std::u32string chars_of_node(NodeId node) {
    SeriesBuffer* b = memory::buffer_of(node);
    std::u32string out;
    for (uint32_t at = b->head; at < b->tail; at += b->unit())
        out += char32_t(string::get_char(b->data() + at, b->unit()));
    return out;
}

// A string! on the stack holding the text in units of the given size.
Cell* make_text(const std::u32string& text, uint32_t unit) {
    Cell* str = string::make_at(stack::push_cell(), uint32_t(text.size()), unit);
    SeriesBuffer* b = string::buffer_of(str);
    for (char32_t c : text) {
        uint32_t cp = c;
        std::memcpy(b->tail_ptr(), &cp, unit);
        b->tail += unit;
    }
    return str;
}

uint32_t unit_of(NodeId node) { return memory::buffer_of(node)->unit(); }

// The bytes an error made by the interim maker holds in its binary! argument.
std::string error_bytes(const Cell& error) {
    if (!error.is(TYPE_ERROR)) return "(no error)";
    Cell arg = test_support::error_arg(error, 0);
    EXPECT_EQ(arg.type(), TYPE_BINARY);
    SeriesBuffer* b = memory::buffer_of(arg.data2);
    return std::string(reinterpret_cast<const char*>(b->head_ptr()), b->used());
}

constexpr uint64_t FNV_BASIS = 0xCBF29CE484222325ull;
uint64_t mix(uint64_t h, uint64_t v) { return (h ^ v) * 0x100000001B3ull; }

// ---------------------------------------------------------------- decoding

// Every input of one, two and three bytes, and four-byte inputs over the bytes
// where the rules change: a sequence the decoder takes whole must be the one
// encoding of a scalar value (no overlong form, no surrogate, nothing above
// 10FFFF), and every scalar value's encoding must be taken whole.
TEST_F(Unicode, DecoderAcceptsExactlyTheWellFormedSequences) {
    auto check_input = [](const uint8_t* in, uint32_t n) {
        int32_t cp;
        const uint8_t* next = unicode::decode_utf8_char(in, in + n, &cp);
        if (next <= in || next > in + n) ADD_FAILURE() << "no progress";
        if (cp < 0 || next != in + n) return;
        uint8_t again[4];
        bool scalar = cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
        ASSERT_TRUE(scalar) << std::hex << cp;
        ASSERT_EQ(unicode::encode_utf8_char(uint32_t(cp), again), n);
        ASSERT_EQ(std::memcmp(again, in, n), 0) << std::hex << cp;
    };
    uint8_t in[4];
    for (uint32_t v = 0; v < (1u << 24); v++) {
        in[0] = uint8_t(v >> 16), in[1] = uint8_t(v >> 8), in[2] = uint8_t(v);
        check_input(in, 3);
        if ((v >> 16) == 0) check_input(in + 1, 2);
        if ((v >> 8) == 0) check_input(in + 2, 1);
    }
    const uint8_t edges[] = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (uint32_t lead = 0; lead < 256; lead++)
        for (uint8_t b1 : edges)
            for (uint8_t b2 : edges)
                for (uint8_t b3 : edges) {
                    const uint8_t four[] = {uint8_t(lead), b1, b2, b3};
                    check_input(four, 4);
                }
    for (uint32_t cp = 0; cp <= 0x10FFFF; cp++) {
        if (cp == 0xD800) cp = 0xE000;
        uint8_t enc[4];
        uint32_t n = unicode::encode_utf8_char(cp, enc);
        int32_t got;
        ASSERT_EQ(unicode::decode_utf8_char(enc, enc + n, &got), enc + n);
        ASSERT_EQ(got, int32_t(cp));
    }
}

// Expected results from python3: bytes.decode("utf-8") (strict: -1 when it
// decodes, else the error's start) and bytes.decode("utf-8", "replace").
struct Utf8Case {
    const char* in;
    uint32_t size;
    int32_t strict_error_at;
    std::vector<uint32_t> replaced;
    bool cut = false;  // python's reason: "unexpected end of data"
};
const Utf8Case k_utf8_cases[] = {
    {"", 0, -1, {}},
    {"\x41", 1, -1, {0x41}},
    {"\x00", 1, -1, {0x0}},
    {"\x7F", 1, -1, {0x7F}},
    {"\xC2\x80", 2, -1, {0x80}},
    {"\xC3\xA9", 2, -1, {0xE9}},
    {"\xDF\xBF", 2, -1, {0x7FF}},
    {"\xE0\xA0\x80", 3, -1, {0x800}},
    {"\xE2\x82\xAC", 3, -1, {0x20AC}},
    {"\xED\x9F\xBF", 3, -1, {0xD7FF}},
    {"\xEE\x80\x80", 3, -1, {0xE000}},
    {"\xEF\xBF\xBD", 3, -1, {0xFFFD}},
    {"\xEF\xBF\xBF", 3, -1, {0xFFFF}},
    {"\xF0\x90\x80\x80", 4, -1, {0x10000}},
    {"\xF0\x9F\x98\x80", 4, -1, {0x1F600}},
    {"\xF4\x8F\xBF\xBF", 4, -1, {0x10FFFF}},
    {"\x61\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\x7A", 11, -1, {0x61, 0xE9, 0x20AC, 0x1F600, 0x7A}},
    // cut short by the end of the input
    {"\xC3", 1, 0, {0xFFFD}, true},
    {"\xE2\x82", 2, 0, {0xFFFD}, true},
    {"\xF0\x9F\x98", 3, 0, {0xFFFD}, true},
    {"\x41\xF0\x9F", 3, 1, {0x41, 0xFFFD}, true},
    {"\xE2", 1, 0, {0xFFFD}, true},
    // malformed
    {"\x80", 1, 0, {0xFFFD}},
    {"\xBF", 1, 0, {0xFFFD}},
    {"\x80\x80\x41", 3, 0, {0xFFFD, 0xFFFD, 0x41}},
    {"\xC0\x80", 2, 0, {0xFFFD, 0xFFFD}},
    {"\xC1\xBF", 2, 0, {0xFFFD, 0xFFFD}},
    {"\xE0\x80\x80", 3, 0, {0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xE0\x9F\xBF", 3, 0, {0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xED\xA0\x80", 3, 0, {0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xED\xB2\x80", 3, 0, {0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xED\xBF\xBF", 3, 0, {0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xF0\x80\x80\x80", 4, 0, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xF0\x8F\xBF\xBF", 4, 0, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xF4\x90\x80\x80", 4, 0, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xF5\x80\x80\x80", 4, 0, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xF8\x88\x80\x80\x80", 5, 0, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
    {"\xFE", 1, 0, {0xFFFD}},
    {"\xFF", 1, 0, {0xFFFD}},
    {"\xC3\x41", 2, 0, {0xFFFD, 0x41}},
    {"\xE2\x82\x41", 3, 0, {0xFFFD, 0x41}},
    {"\xF0\x9F\x98\x41", 4, 0, {0xFFFD, 0x41}},
    {"\xE2\x41\x82", 3, 0, {0xFFFD, 0x41, 0xFFFD}},
    {"\x41\xC3\xC3\xA9", 4, 1, {0x41, 0xFFFD, 0xE9}},
    {"\xED\xA0\x80\xED\xB0\x80", 6, 0, {0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}},
};

std::u32string to_u32(const std::vector<uint32_t>& v) { return std::u32string(v.begin(), v.end()); }

// The strict prefix python decodes before the error (or all of it).
std::u32string strict_prefix(const Utf8Case& c) {
    std::u32string out;
    for (uint32_t cp : c.replaced) {
        if (c.strict_error_at >= 0 && cp == 0xFFFD) break;
        out += char32_t(cp);
    }
    return out;
}

TEST_F(Unicode, DfaDecodingAgreesWithPythonReplaceMode) {
    for (const Utf8Case& c : k_utf8_cases) {
        const uint8_t* p = bytes(c.in);
        const uint8_t* end = p + c.size;
        std::u32string got;
        while (p < end) {
            int32_t cp;
            p = unicode::decode_utf8_char(p, end, &cp);
            got += char32_t(cp < 0 ? 0xFFFD : cp);
        }
        EXPECT_EQ(got, to_u32(c.replaced)) << testing::PrintToString(std::string(c.in, c.size));
        EXPECT_EQ(unicode::count_utf8_chars(bytes(c.in), end), c.replaced.size());
        EXPECT_EQ(unicode::skip_utf8_chars(bytes(c.in), end, uint32_t(c.replaced.size())), end);
        EXPECT_EQ(unicode::skip_utf8_chars(bytes(c.in), end, 1000), end);
    }
}

TEST_F(Unicode, StrictDecodingAgreesWithPythonStrictMode) {
    for (const Utf8Case& c : k_utf8_cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(c.in, c.size)));
        const uint8_t* in = bytes(c.in);
        if (c.strict_error_at < 0) {
            EXPECT_EQ(chars_of_node(unicode::load_utf8_string(in, c.size)), to_u32(c.replaced));
            continue;
        }
        // Without a word for the unread bytes, a cut sequence is an error too.
        Cell error{};
        EXPECT_EQ(raised([&] { unicode::load_utf8_string(in, c.size); }, &error),
                  ErrorId::access_invalid_utf8);
        std::string from_error = std::string(c.in + c.strict_error_at, c.size - c.strict_error_at);
        EXPECT_EQ(error_bytes(error), from_error.substr(0, 4));
        uint32_t unread = 99;
        if (c.cut) {
            NodeId node = unicode::load_utf8(in, c.size, 0, &unread, false);
            EXPECT_EQ(chars_of_node(node), strict_prefix(c));
            EXPECT_EQ(unread, c.size - uint32_t(c.strict_error_at));
        } else {
            EXPECT_EQ(raised([&] { unicode::load_utf8(in, c.size, 0, &unread, false); }),
                      ErrorId::access_invalid_utf8);
        }
        // One sequence at a time: the same verdict at the same place.
        uint32_t at = 0, used = 0;
        while (at < uint32_t(c.strict_error_at)) {
            ASSERT_GE(unicode::decode_utf8_strict(in + at, c.size - at, &used), 0);
            at += used;
        }
        if (c.cut) {
            EXPECT_EQ(unicode::decode_utf8_strict(in + at, c.size - at, &used),
                      unicode::INCOMPLETE);
            EXPECT_EQ(used, 0u);
        } else {
            EXPECT_EQ(raised([&] { unicode::decode_utf8_strict(in + at, c.size - at, &used); }),
                      ErrorId::access_invalid_utf8);
        }
    }
}

// The shared copy of Markus Kuhn's stress test has had each malformed sequence
// replaced by U+FFFD, so the whole file is valid UTF-8; python3 decodes it to
// these code points (count, U+FFFD count, FNV-1a over the code points) and
// encodes it to these UTF-16 units.
TEST_F(Unicode, StressTestCorpusDecodesAsPythonDoes) {
    auto path = std::filesystem::path(__FILE__).parent_path() /
                "../../../shared/corpora/utf8/UTF-8-test.txt";
    std::ifstream file(path, std::ios::binary);
    if (!file) GTEST_SKIP() << "corpus not found: " << path;
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_EQ(text.size(), 23331u);
    const uint8_t* start = bytes(text);
    const uint8_t* end = start + text.size();

    uint64_t h = FNV_BASIS;
    uint32_t n = 0, replacements = 0;
    for (const uint8_t* p = start; p < end; n++) {
        int32_t cp;
        p = unicode::decode_utf8_char(p, end, &cp);
        ASSERT_GE(cp, 0);
        replacements += cp == 0xFFFD;
        h = mix(h, uint32_t(cp));
    }
    EXPECT_EQ(n, 22479u);
    EXPECT_EQ(replacements, 333u);
    EXPECT_EQ(h, 0xCEBDF8355D5C8AD9ull);
    EXPECT_EQ(unicode::count_utf8_chars(start, end), 22479u);

    Cell* str = stack::push_cell();
    *str = make_cell(TYPE_STRING, 0, unicode::load_utf8_string(start, uint32_t(text.size())), 0);
    std::u32string chars = chars_of_node(str->data2);
    uint64_t h2 = FNV_BASIS;
    for (char32_t c : chars) h2 = mix(h2, c);
    EXPECT_EQ(chars.size(), 22479u);
    EXPECT_EQ(h2, h);
    EXPECT_EQ(unit_of(str->data2), 4u);  // it holds U+10FFFF

    int32_t count = -1;
    const char* utf8 = unicode::to_utf8(str, &count);
    EXPECT_EQ(std::string(utf8, size_t(count)), text);

    const uint16_t* units = unicode::to_utf16(str, &(count = -1), false);
    ASSERT_NE(units, nullptr);
    uint64_t h3 = FNV_BASIS;
    for (int32_t i = 0; i < count; i++) h3 = mix(h3, units[i]);
    EXPECT_EQ(count, 22513);
    EXPECT_EQ(h3, 0xB3632AA153D226ull);
}

// ---------------------------------------------------------------- loading

TEST_F(Unicode, LoadUtf8HandlesMarksLineEndsAndWidening) {
    struct Case {
        std::string in;
        bool crlf;
        std::u32string out;
        uint32_t unit;
    };
    const Case cases[] = {
        {"\xEF\xBB\xBF", false, U"", 1},
        {"\xEF\xBB\xBF" "ab", false, U"ab", 1},
        {"a\xEF\xBB\xBF", false, U"a\xFEFF", 2},  // only a leading mark is skipped
        {"A\r\nB\rC", true, U"A\nB\nC", 1},
        {"A\r\nB\rC", false, U"A\r\nB\rC", 1},
        {"\r\r\n\r", true, U"\n\n\n", 1},
        {"0123456789\r\n0123456789abcdef\r", true, U"0123456789\n0123456789abcdef\n", 1},
        {"\xC3\xA9", false, U"\xE9", 1},  // Latin-1 stays in 1-byte units
        {"x\xC3\xA9\xE2\x82\xAC", false, U"x\xE9\x20AC", 2},
        {"x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80y", false, U"x\xE9\x20AC\x1F600y", 4},
        {"\xF0\x9F\x98\x80\r\n", true, U"\x1F600\n", 4},
    };
    for (const Case& c : cases) {
        NodeId node = unicode::load_utf8(bytes(c.in), uint32_t(c.in.size()), 0, nullptr, c.crlf);
        EXPECT_EQ(chars_of_node(node), c.out) << c.in;
        EXPECT_EQ(unit_of(node), c.unit) << c.in;
    }
    NodeId empty = unicode::load_utf8(nullptr, 0, 0, nullptr, false);
    EXPECT_EQ(chars_of_node(empty), U"");
}

TEST_F(Unicode, LoadUtf8AppendsToATargetAndWidensIt) {
    Cell* str = make_text(U"ab", 1);
    std::string more = "\xC3\xA9z";
    unicode::load_utf8_into(bytes(more), uint32_t(more.size()), str, nullptr, false);
    EXPECT_EQ(chars_of_node(str->data2), U"ab\xE9z");
    EXPECT_EQ(unit_of(str->data2), 1u);
    // Many wide characters: the buffer grows and widens, earlier text kept.
    std::string wide;
    std::u32string expected = U"ab\xE9z";
    for (int i = 0; i < 3000; i++) {
        wide += "\xF0\x9F\x98\x80\xE2\x82\xAC";
        expected += U"\x1F600\x20AC";
    }
    unicode::load_utf8_into(bytes(wide), uint32_t(wide.size()), str, nullptr, false);
    EXPECT_EQ(chars_of_node(str->data2), expected);
    EXPECT_EQ(unit_of(str->data2), 4u);
    // A wider target keeps its unit for narrow text.
    unicode::load_utf8_into(bytes(more), uint32_t(more.size()), str, nullptr, false);
    EXPECT_EQ(chars_of_node(str->data2), expected + U"\xE9z");
    // Malformed input leaves the target as it was.
    std::string bad = "ok\xC3";
    NodeId node = str->data2;
    size_t before = chars_of_node(node).size();
    EXPECT_EQ(raised([&] { unicode::load_utf8_into(bytes(bad), 3, str, nullptr, false); }),
              ErrorId::access_invalid_utf8);
    EXPECT_EQ(chars_of_node(node).size(), before);
}

TEST_F(Unicode, LoadUtf8LeavesACutSequenceForTheNextChunk) {
    std::string text = "x\xE2\x82\xAC\xF0\x9F\x98\x80y\xC3\xA9";
    // Every split point: the first chunk's unread bytes go in front of the second.
    for (size_t cut = 0; cut <= text.size(); cut++) {
        Cell* str = make_text(U"", 1);
        uint32_t unread = 0;
        unicode::load_utf8_into(bytes(text), uint32_t(cut), str, &unread, false);
        std::string rest = text.substr(cut - unread);
        unicode::load_utf8_into(bytes(rest), uint32_t(rest.size()), str, &unread, false);
        EXPECT_EQ(unread, 0u);
        EXPECT_EQ(chars_of_node(str->data2), U"x\x20AC\x1F600y\xE9") << cut;
        stack::pop(1);
    }
    std::string tail = "ab\xC3";
    uint32_t unread = 0;
    NodeId node = unicode::load_utf8(bytes(tail), 3, 0, &unread, false);
    EXPECT_EQ(chars_of_node(node), U"ab");
    EXPECT_EQ(unread, 1u);
}

// The source lies in a series buffer, which the target's growth may move.
TEST_F(Unicode, LoadUtf8FromASeriesBuffer) {
    std::string text = "\xEF\xBB\xBFK\xC3\xB6ln \xE2\x82\xAC \xF0\x9F\x98\x80";
    Cell* bin = stack::push_cell();
    *bin = make_cell(TYPE_BINARY, 0, memory::alloc_bytes(64), 0);
    SeriesBuffer* b = memory::buffer_of(bin->data2);
    b->head = 3;  // a first used byte inside the payload
    b->tail = b->head + 2 + uint32_t(text.size());
    std::memcpy(b->head_ptr() + 2, text.data(), text.size());
    Cell* str = make_text(U"<", 1);
    unicode::load_utf8_from(bin->data2, 2, uint32_t(text.size()), str->data2, nullptr, false);
    EXPECT_EQ(chars_of_node(str->data2), U"<K\xF6ln \x20AC \x1F600");
}

// ---------------------------------------------------------------- encoding

TEST_F(Unicode, EncodingAgreesWithPython) {
    // chr(cp).encode("utf-8", "surrogatepass")
    const struct {
        uint32_t cp;
        std::string utf8;
    } cases[] = {
        {0x0, std::string("\x00", 1)},
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xD7FF, "\xED\x9F\xBF"},
        {0xD800, "\xED\xA0\x80"},
        {0xDFFF, "\xED\xBF\xBF"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
    };
    for (const auto& c : cases) {
        uint8_t out[4];
        uint32_t n = unicode::encode_utf8_char(c.cp, out);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), c.utf8) << std::hex << c.cp;
        EXPECT_EQ(unicode::utf8_length_of(c.cp), c.utf8.size());
        for (int32_t room = -1; room <= 5; room++) {
            uint8_t cut[4] = {0xAA, 0xAA, 0xAA, 0xAA};
            uint32_t want = uint32_t(std::clamp<int32_t>(room, 0, int32_t(n)));
            EXPECT_EQ(unicode::encode_utf8_char_bounded(c.cp, cut, room), want);
            EXPECT_EQ(std::memcmp(cut, out, want), 0);
            if (want < 4) {
                EXPECT_EQ(cut[want], 0xAA) << "wrote past the room";
            }
        }
    }
    for (uint8_t lead : {0x00, 0x7F, 0x80, 0xBF, 0xC0, 0xDF, 0xE0, 0xEF, 0xF0, 0xF7, 0xFF})
        EXPECT_EQ(unicode::utf8_sequence_length(lead),
                  lead >= 0xF0 ? 4u : lead >= 0xE0 ? 3u : lead >= 0xC0 ? 2u : 0u);
}

TEST_F(Unicode, CodePointsAboveTheLastAreInvalidChars) {
    uint8_t out[4];
    const uint32_t big[] = {0x110000, 0x7FFFFFFF};
    for (uint32_t cp : big) {
        Cell error{};
        EXPECT_EQ(raised([&] { unicode::utf8_length_of(cp); }, &error),
                  ErrorId::script_invalid_char);
        EXPECT_EQ(test_support::error_arg(error, 0).as_int(), int32_t(cp));
        EXPECT_EQ(raised([&] { unicode::encode_utf8_char(cp, out); }),
                  ErrorId::script_invalid_char);
        EXPECT_EQ(raised([&] { unicode::encode_utf8_char_bounded(cp, out, 4); }),
                  ErrorId::script_invalid_char);
        EXPECT_EQ(raised([&] {
                      unicode::utf8_size_of_units(reinterpret_cast<const uint8_t*>(&cp),
                                                  reinterpret_cast<const uint8_t*>(&cp + 1), 4);
                  }),
                  ErrorId::script_invalid_char);
    }
}

TEST_F(Unicode, Utf8SizeOfUnits) {
    const struct {
        std::u32string text;
        uint32_t unit;
        uint64_t size;
    } cases[] = {
        {U"", 1, 0}, {U"abc", 1, 3}, {U"a\xE9\xFF", 1, 5}, {U"a\x7FF\x800\xFFFF", 2, 9},
        {U"a\x10000\x10FFFF\xE9", 4, 11},
    };
    for (const auto& c : cases) {
        Cell* str = make_text(c.text, c.unit);
        SeriesBuffer* b = string::buffer_of(str);
        EXPECT_EQ(unicode::utf8_size_of_units(b->head_ptr(), b->tail_ptr(), c.unit), c.size);
    }
}

// ---------------------------------------------------------------- exports

TEST_F(Unicode, ToUtf8ExportsFromTheHead) {
    const struct {
        std::u32string text;
        uint32_t unit;
        int32_t head, limit;
        bool crlf;
        std::string out;
    } cases[] = {
        {U"abc", 1, 0, -1, false, "abc"},
        {U"a\xE9\nb", 1, 0, -1, true, "a\xC3\xA9\r\nb"},
        {U"\n\n", 1, 0, -1, true, "\r\n\r\n"},
        {U"a\xE9\x20AC\n", 2, 1, -1, true, "\xC3\xA9\xE2\x82\xAC\r\n"},
        {U"a\xE9\x20AC\x1F600", 4, 0, 3, false, "a\xC3\xA9\xE2\x82\xAC"},
        {U"\x1F600\n", 4, 0, -7, true, "\xF0\x9F\x98\x80\r\n"},  // any negative limit is all
        {U"abc", 1, 5, -1, false, ""},  // a head past the tail is clipped
        {U"abc", 1, 1, 0, false, ""},
    };
    for (const auto& c : cases) {
        Cell* str = make_text(c.text, c.unit);
        str->data1 = uint32_t(c.head);
        int32_t count = c.limit;
        const char* out = unicode::to_utf8_part(str, &count, c.crlf);
        EXPECT_EQ(std::string(out, size_t(count)), c.out);
        EXPECT_EQ(out[count], 0);
        if (!c.crlf) {
            count = c.limit;
            out = unicode::to_utf8(str, &count);
            EXPECT_EQ(std::string(out, size_t(count)), c.out);
            uint8_t buffer[64];
            std::memset(buffer, 0xAA, sizeof buffer);
            uint32_t n = unicode::write_utf8(str, buffer, c.limit, true);
            EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), n), c.out);
            EXPECT_EQ(buffer[n], 0);
        }
    }
}

TEST_F(Unicode, ConversionBufferIsReusedAndGrows) {
    Cell* str = make_text(U"abc", 1);
    EXPECT_EQ(str->data3, 0u);
    unicode::to_utf8(str, nullptr);
    NodeId first = str->data3;
    ASSERT_NE(first, 0u);
    unicode::to_utf16_crlf(str);
    EXPECT_EQ(str->data3, first);
    std::u32string big(500, U'\x20AC');
    Cell* wide = make_text(big, 2);
    wide->data3 = first;  // a copy of the cell shares the conversion buffer
    int32_t count = -1;
    const char* out = unicode::to_utf8(wide, &count);
    EXPECT_EQ(count, 1500);
    EXPECT_EQ(wide->data3, first);
    EXPECT_GE(memory::buffer_of(first)->size, 1501u);
    EXPECT_EQ(std::string(out, 3), "\xE2\x82\xAC");
    uint8_t* scratch = unicode::scratch_buffer(str, 4000);
    std::memset(scratch, 1, 4000);  // ASan: the room is there
}

TEST_F(Unicode, WriteUtf8BoundedNeverPassesTheRoom) {
    Cell* str = make_text(U"a\xE9\x20AC\x1F600", 4);
    const std::string all = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    for (int32_t room = 0; room <= 12; room++)
        for (int32_t limit : {-1, 0, 2, 4, 9}) {
            uint8_t out[16];
            std::memset(out, 0xAA, sizeof out);
            uint32_t n = unicode::write_utf8_bounded(str, out, room, limit, true);
            std::string want = all.substr(0, limit == 2 ? 3 : all.size());
            want = want.substr(0, size_t(room));
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), want) << room << " " << limit;
            if (int32_t(n) < room) {
                EXPECT_EQ(out[n], 0);
            }
            EXPECT_EQ(out[room], 0xAA) << "wrote past the room";
        }
}

TEST_F(Unicode, ToUtf16ExportsFromTheHead) {
    const struct {
        std::u32string text;
        uint32_t unit;
        int32_t limit;
        bool crlf;
        std::u16string out;
    } cases[] = {
        {U"a\xE9", 1, -1, false, u"a\xE9"},
        {U"a\nb", 1, -1, true, u"a\r\nb"},
        {U"a\x20AC\n", 2, -1, false, u"a\x20AC\n"},
        {U"a\x20AC\n", 2, -1, true, u"a\x20AC\r\n"},
        {U"\x10000", 4, -1, false, u"\xD800\xDC00"},
        {U"\x1F600\n\x10FFFF", 4, -1, true, u"\xD83D\xDE00\r\n\xDBFF\xDFFF"},
        {U"ab\x1F600", 4, 2, false, u"ab"},
        {U"\xD800x", 4, -1, false, u"\xD800x"},  // a lone surrogate passes as it is
    };
    for (const auto& c : cases) {
        Cell* str = make_text(c.text, c.unit);
        int32_t count = c.limit;
        const uint16_t* out = unicode::to_utf16(str, &count, c.crlf);
        ASSERT_NE(out, nullptr);
        EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out), size_t(count)), c.out);
        EXPECT_EQ(out[count], 0);
        if (c.crlf && c.limit == -1) {
            out = unicode::to_utf16_crlf(str);
            EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(out)), c.out);
        }
    }
    Cell* bad = make_text(U"a\x110000", 4);
    int32_t count = -1;
    EXPECT_EQ(unicode::to_utf16(bad, &count, false), nullptr);

    uint16_t latin[8];
    unicode::latin1_to_utf16("a\xE9z", latin);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(latin)), u"a\xE9z");
}

// ---------------------------------------------------------------- UTF-16 input

// Expected results from python3: bytes.decode("utf-16-le"); -1 when it
// decodes, else the unit where the error starts.
struct Utf16Case {
    std::vector<uint16_t> in;
    int32_t error_unit;
    std::vector<uint32_t> out;
};
const Utf16Case k_utf16_cases[] = {
    {{0x61, 0x62, 0x63}, -1, {0x61, 0x62, 0x63}},
    {{0xE9, 0xFF}, -1, {0xE9, 0xFF}},
    {{0x100}, -1, {0x100}},
    {{0x61, 0x20AC}, -1, {0x61, 0x20AC}},
    {{0xD83D, 0xDE00}, -1, {0x1F600}},
    {{0x61, 0xD800, 0xDC00, 0x62}, -1, {0x61, 0x10000, 0x62}},
    {{0xDBFF, 0xDFFF}, -1, {0x10FFFF}},
    {{0xD, 0xA, 0x61, 0xD, 0x62}, -1, {0xD, 0xA, 0x61, 0xD, 0x62}},
    {{0xD800}, 0, {}},
    {{0xD800, 0x41}, 0, {}},
    {{0xDC00}, 0, {}},
    {{0xDC00, 0xD800}, 0, {}},
    {{0xD800, 0xD800, 0xDC00}, 0, {}},
    {{0x41, 0xDBFF}, 1, {}},
};

uint32_t expected_unit(const std::vector<uint16_t>& in) {
    uint32_t unit = 1;
    for (uint16_t u : in) {
        if (u >= 0xD800 && u <= 0xDFFF) return 4;
        if (u > 0xFF) unit = 2;
    }
    return unit;
}

std::u32string without_cr(const std::vector<uint32_t>& v) {
    std::u32string out;
    for (uint32_t c : v)
        if (c != 0x0D) out += char32_t(c);
    return out;
}

TEST_F(Unicode, Utf16DecodingAgreesWithPythonStrictMode) {
    for (const Utf16Case& c : k_utf16_cases) {
        SCOPED_TRACE(testing::PrintToString(c.in));
        uint32_t n = uint32_t(c.in.size());
        if (c.error_unit >= 0) {
            Cell error{};
            auto decode = [&] { unicode::decode_utf16le(c.in.data(), n, nullptr, false); };
            EXPECT_EQ(raised(decode, &error), ErrorId::script_invalid_data);
            std::string unit(reinterpret_cast<const char*>(&c.in[size_t(c.error_unit)]), 2);
            EXPECT_EQ(error_bytes(error), unit);
            continue;
        }
        for (bool crlf : {false, true}) {
            std::u32string want = crlf ? without_cr(c.out) : to_u32(c.out);
            NodeId fresh = unicode::decode_utf16le(c.in.data(), n, nullptr, crlf);
            EXPECT_EQ(chars_of_node(fresh), want);
            EXPECT_EQ(unit_of(fresh), expected_unit(c.in));
            // Into a target: its text is replaced and its unit set.
            Cell* target = make_text(U"\x1F600\x1F600", 4);
            EXPECT_EQ(unicode::decode_utf16le(c.in.data(), n, target, crlf), target->data2);
            EXPECT_EQ(chars_of_node(target->data2), want);
            EXPECT_EQ(unit_of(target->data2), expected_unit(c.in));
            EXPECT_TRUE(string::buffer_of(target)->flags & 0x40000);
        }
    }
    NodeId empty = unicode::decode_utf16le(u"", 0, nullptr, false);
    EXPECT_EQ(unit_of(empty), 2u);
    EXPECT_EQ(chars_of_node(empty), U"");
}

// The units already lie in the target's buffer: decoding runs in place, in
// every unit size, with CRs dropped before the pairs widen.
TEST_F(Unicode, Utf16DecodingInPlace) {
    const struct {
        std::u16string in;
        bool crlf;
        std::u32string out;
    } cases[] = {
        {u"abc\r\n", false, U"abc\r\n"},
        {u"abc\r\n", true, U"abc\n"},
        {u"a\x20AC\r\nz", true, U"a\x20AC\nz"},
        {u"a\x20AC\r\nz", false, U"a\x20AC\r\nz"},
        {u"\xD83D\xDE00x\xD800\xDC00", false, U"\x1F600x\x10000"},
        {u"\r\r\r\r\r\r\r\r\xD83D\xDE00\r\xD83D\xDE00", true, U"\x1F600\x1F600"},
        {u"\r\n\r\n\r\n\r\nab\xDBFF\xDFFFz", true, U"\n\n\n\nab\x10FFFFz"},
    };
    for (const auto& c : cases) {
        uint32_t n = uint32_t(c.in.size());
        Cell* str = string::make_at(stack::push_cell(), n, 2);
        SeriesBuffer* b = string::buffer_of(str);
        std::memcpy(b->head_ptr(), c.in.data(), 2 * n);
        b->tail = b->head + 2 * n;
        unicode::decode_utf16le(nullptr, n, str, c.crlf);
        EXPECT_EQ(chars_of_node(str->data2), c.out);
    }
}

TEST_F(Unicode, WideningKeepsEveryCodePoint) {
    Cell* a = make_text(U"a\xE9\xFF", 1);
    SeriesBuffer* b = unicode::widen_1_to_2(string::buffer_of(a));
    EXPECT_EQ(b->unit(), 2u);
    EXPECT_EQ(chars_of_node(a->data2), U"a\xE9\xFF");
    b = unicode::widen_2_to_4(b);
    EXPECT_EQ(b->unit(), 4u);
    EXPECT_EQ(chars_of_node(a->data2), U"a\xE9\xFF");
    Cell* c = make_text(U"xyz", 1);
    EXPECT_EQ(unicode::widen_1_to_4(string::buffer_of(c))->unit(), 4u);
    EXPECT_EQ(chars_of_node(c->data2), U"xyz");
}

}  // namespace
