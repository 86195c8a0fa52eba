#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/word.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/lexer_internal.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using test_support::error_arg;
using test_support::raised;

namespace {

std::string utf8_of(const Cell* str) {
    std::string out;
    Cell s = *str;
    for (int32_t i = string::head_index(&s); i < string::length_from_start(&s); i++) {
        uint8_t buf[4];
        out.append(reinterpret_cast<char*>(buf), unicode::encode_utf8_char(string::char_at(&s, i), buf));
    }
    return out;
}

std::string escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c < 32 || c == 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "^(%X)", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string describe(const Cell& c);

std::string describe_items(const Cell& blk, const char* separator) {
    std::string out;
    for (int32_t i = block::head_index(&blk); i < block::length_from_start(&blk); i++) {
        if (i > block::head_index(&blk)) out += separator;
        out += describe(*block::cell_at(&blk, i));
    }
    return out;
}

// A compact text of a value, independent of the datatypes' own mold.
std::string describe(const Cell& c) {
    auto name = [&] { return std::string(symbol::name(c.data2)); };
    switch (c.type()) {
        case TYPE_WORD: return name();
        case TYPE_SET_WORD: return name() + ":";
        case TYPE_GET_WORD: return ":" + name();
        case TYPE_LIT_WORD: return "'" + name();
        case TYPE_REFINEMENT: return "/" + name();
        case TYPE_ISSUE: return "#" + name();
        case TYPE_INTEGER: return std::to_string(c.as_int());
        case TYPE_FLOAT: {
            char text[40];
            std::snprintf(text, sizeof text, "%.17g", c.as_double());
            return std::string(text) + (std::strpbrk(text, ".ena") ? "" : ".0");
        }
        case TYPE_CHAR: {
            char text[16];
            std::snprintf(text, sizeof text, "#\"^(%X)\"", c.data2);
            return text;
        }
        case TYPE_STRING: return "\"" + escaped(utf8_of(&c)) + "\"";
        case TYPE_FILE: return "%\"" + escaped(utf8_of(&c)) + "\"";
        case TYPE_URL: return "url:" + utf8_of(&c);
        case TYPE_EMAIL: return "email:" + utf8_of(&c);
        case TYPE_TAG: return "<" + utf8_of(&c) + ">";
        case TYPE_REF: return "@" + utf8_of(&c);
        case TYPE_BINARY: {
            std::string out = "#{";
            memory::SeriesBuffer* b = memory::buffer_of(c.data2);
            for (uint32_t i = b->head + c.data1; i < b->tail; i++) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02X", b->data()[i]);
                out += hex;
            }
            return out + "}";
        }
        case TYPE_BLOCK: return "[" + describe_items(c, " ") + "]";
        case TYPE_PAREN: return "(" + describe_items(c, " ") + ")";
        case TYPE_PATH: return describe_items(c, "/");
        case TYPE_LIT_PATH: return "'" + describe_items(c, "/");
        case TYPE_GET_PATH: return ":" + describe_items(c, "/");
        case TYPE_SET_PATH: return describe_items(c, "/") + ":";
        case TYPE_LOGIC: return c.data1 ? "#(true)" : "#(false)";
        case TYPE_NONE: return "#(none)";
        case TYPE_UNSET: return "#(unset)";
        case TYPE_DATATYPE: return registry::type_name(c.data1);
        default: return std::string("?") + registry::type_name(c.type());
    }
}

class Lexer : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        lexer::init();
        stack::push_native_frame(nullptr);
    }
    void TearDown() override { lexer::set_callback_hook(nullptr); }

    // Loads the text into a block (or one value) and describes it.
    static std::string load(const std::string& text, lexer::Options options = {},
                            uint32_t* consumed = nullptr) {
        Cell* out = stack::push_cell();
        *out = make_cell(TYPE_UNSET);
        uint32_t n = 0;
        lexer::transcode(out, reinterpret_cast<const uint8_t*>(text.data()), uint32_t(text.size()),
                         options, consumed ? consumed : &n);
        std::string d = describe(*out);
        EXPECT_EQ(lexer::token_cells_in_use(), 0u);
        return out->is(TYPE_BLOCK) && !options.one_value ? d.substr(1, d.size() - 2) : d;
    }
    // The type a /scan (or /prescan) of the text answers.
    static std::string scan_type(const std::string& text, bool prescan = false) {
        lexer::Options o;
        o.one_value = !prescan;
        o.load = !prescan;
        o.produce = prescan;
        Cell* out = stack::push_cell();
        int32_t type = lexer::transcode(out, reinterpret_cast<const uint8_t*>(text.data()),
                                        uint32_t(text.size()), o, nullptr);
        return type > 0 ? registry::type_name(uint32_t(type)) : "none";
    }
    struct Failure {
        ErrorId id;
        std::string line, arg2, token;
    };
    static Failure fails(const std::string& text) {
        Cell error;
        ErrorId id = raised([&] { load(text); }, &error);
        Failure f{id, "", "", ""};
        Cell a1 = error_arg(error, 0), a2 = error_arg(error, 1), a3 = error_arg(error, 2);
        if (a1.is(TYPE_STRING)) f.line = utf8_of(&a1);
        if (a2.is(TYPE_DATATYPE)) f.arg2 = registry::type_name(a2.data1);
        if (a2.is(TYPE_CHAR)) f.arg2 = std::string(1, char(a2.data2));
        if (a2.is(TYPE_STRING)) f.token = utf8_of(&a2);
        if (a3.is(TYPE_STRING)) f.token = utf8_of(&a3);
        return f;
    }
};

// ---------------------------------------------------------------------------
// Values

TEST_F(Lexer, LoadsEveryTokenKindOfTheReadyDatatypes) {
    const struct {
        const char* text;
        const char* values;
    } cases[] = {
        {"", ""},
        {"   \t\r ", ""},
        {"a", "a"},
        {"a: :a 'a", "a: :a 'a"},
        {"/ // /a", "/ // /a"},
        {"+ - = < > <= >= <> % %%", "+ - = < > <= >= <> % %%"},
        {"#abc #a-b", "#abc #a-b"},
        {"ABC Deh FFh", "ABC Deh 255"},
        {"0 7 -1 +42 2147483647 -2147483648", "0 7 -1 42 2147483647 -2147483648"},
        {"1'000'000", "1000000"},
        {"FFh FFFFFFFFh 00h 7FFFFFFFh", "255 -1 0 2147483647"},
        {"\"\" \"a b\"", "\"\" \"a b\""},
        {"\"a^/b^-c^^d^\"e\"", "\"a^(A)b^(9)c^d\"e\""},
        {"\"^(line)^(TAB)^(null)^(41)^(1F600)\"", "\"^(A)^(9)^(0)A\xF0\x9F\x98\x80\""},
        {"\"^a^Z^[^@^~^{^}\"", "\"^(1)^(1A)^(1B)^(0)^(7F){}\""},
        {"\"h\xC3\xA9\xE2\x82\xAC\"", "\"h\xC3\xA9\xE2\x82\xAC\""},
        {"{a{b}c}", "\"a{b}c\""},
        {"{a^}b}", "\"a}b\""},
        {"{line1\nline2}", "\"line1^(A)line2\""},
        {"%{a}b}% %%{x}%%", "\"a}b\" \"x\""},
        {"%%{x}% y}%%", "\"x}% y\""},
        {"%{a^/b}%", "\"a^/b\""},
        {"#\"a\" #\"^-\" #\"^(line)\" #\"\xC3\xA9\"", "#\"^(61)\" #\"^(9)\" #\"^(A)\" #\"^(E9)\""},
        {"#{DEADBEEF} 16#{de ad be ef}", "#{DEADBEEF} #{DEADBEEF}"},
        {"2#{00000001} 64#{AQID} #{}", "#{01} #{010203} #{}"},
        {"64#{AQ==} 64#{AQI=}", "#{01} #{0102}"},
        {"#{0A ; comment\n 0B}", "#{0A0B}"},
        {"<a> <a href=\">\"> <b c='>'>", "<a> <a href=\">\"> <b c='>'>"},
        {"%a/b.txt %a%20b %\"with space\"", "%\"a/b.txt\" %\"a b\" %\"with space\""},
        {"%\"a^/b\"", "%\"a^(A)b\""},
        {"http://x.org/a?b=c a:b", "url:http://x.org/a?b=c url:a:b"},
        {"http://x/%41", "url:http://x/A"},
        {"me@x.org @ref a@b", "email:me@x.org @ref email:a@b"},
        {"[a (b)] c", "[a (b)] c"},
        {"[] () [[[]]]", "[] () [[[]]]"},
        {"a/b/c a/b: 'a/b :a/b", "a/b/c a/b: 'a/b :a/b"},
        {"a/1/(b) a/\"s\"", "a/1/(b) a/\"s\""},
        {"[a/b c]", "[a/b c]"},
        {"#(true) #(FALSE) #(none) #(unset) #(integer!) #(Block!)",
         "#(true) #(false) #(none) #(unset) integer! block!"},
        {"a ; comment\nb", "a b"},
        {"a;comment", "a"},
        {"a\xC2\xA0" "b", "a b"},
        {"\xC2\xA0" "a", "a"},
        {"\xE3\x80\x80", ""},
        {"\xC3\xA9t\xC3\xA9", "\xC3\xA9t\xC3\xA9"},
    };
    for (const auto& c : cases) EXPECT_EQ(load(c.text), c.values) << "text: " << c.text;
    EXPECT_EQ(load(std::string("a\0b", 3)), "a");  // a NUL byte ends the input
}

TEST_F(Lexer, OneValueModeStopsAfterTheFirstCompleteValueAndReportsWhereItStopped) {
    lexer::Options one;
    one.one_value = true;
    const struct {
        const char* text;
        const char* value;
        uint32_t consumed;
    } cases[] = {
        {"", "[]", 0},
        {"1 2", "1", 1},
        {"  [1 2] 3", "[1 2]", 7},
        {"a/b c", "a/b", 3},
        {"{a{b}} x", "\"a{b}\"", 6},
        {"; c\n x y", "x", 6},
    };
    for (const auto& c : cases) {
        uint32_t consumed = 99;
        EXPECT_EQ(load(c.text, one, &consumed), c.value) << c.text;
        EXPECT_EQ(consumed, c.consumed) << c.text;
    }
}

TEST_F(Lexer, NewLineMarksFollowLineFeeds) {
    Cell* out = stack::push_cell();
    const char text[] = "a\nb c\r\n[d\n{x\ny}]";
    lexer::transcode(out, reinterpret_cast<const uint8_t*>(text), sizeof text - 1, {}, nullptr);
    std::vector<bool> marks;
    for (int32_t i = 0; i < block::length_from_start(out); i++)
        marks.push_back(block::cell_at(out, i)->header & NEW_LINE_FLAG);
    EXPECT_EQ(marks, (std::vector<bool>{false, true, false, true}));
    const Cell inner = *block::cell_at(out, 3);
    EXPECT_TRUE(block::cell_at(&inner, 1)->header & NEW_LINE_FLAG);
}

TEST_F(Lexer, TheBlockOfValuesIsAppendedToATarget) {
    Cell* target = block::push_new(4);
    block::append_cell(target, stack::push(&shared_none_cell));
    lexer::Options o;
    o.target = target;
    EXPECT_EQ(load("a 1", o), "#(none) a 1");
}

TEST_F(Lexer, LargeInputGrowsTheTokenBuffer) {
    std::string text;
    for (int i = 0; i < 2500; i++) text += "[" + std::to_string(i) + " ";
    for (int i = 0; i < 2500; i++) text += "]";
    std::string d = load(text);
    EXPECT_EQ(d.substr(0, 9), "[0 [1 [2 ");
    EXPECT_EQ(d.size(), text.size() - 1);  // no blank before the first "]"
}

TEST_F(Lexer, StringInputCountsCharacters) {
    Cell* str = string::load_c_text("\xC3\xA9t\xC3\xA9 [x] y", 12, 0);
    lexer::Options one;
    one.one_value = true;
    Cell* out = stack::push_cell();
    uint32_t consumed = 0;
    lexer::load_string(out, str, 4, -1, one, &consumed);
    EXPECT_EQ(describe(*out), "[x]");
    EXPECT_EQ(consumed, 3u);  // characters after the start
    lexer::load_string(out, str, 0, 3, {}, &consumed);
    EXPECT_EQ(describe(*out), "[\xC3\xA9t\xC3\xA9]");
}

TEST_F(Lexer, TheTranscodeNativesRefinements) {
    auto bin = [](const std::string& bytes) {
        Cell* b = stack::push_cell();
        NodeId node = memory::alloc_bytes(uint32_t(bytes.size()));
        memory::SeriesBuffer* buf = memory::buffer_of(node);
        std::memcpy(buf->data(), bytes.data(), bytes.size());
        buf->tail = buf->head + uint32_t(bytes.size());
        *b = make_cell(TYPE_BINARY, 0, node, 0);
        return b;
    };
    Cell* result = stack::push_cell();
    lexer::Refinements r;
    lexer::transcode(result, bin("\xEF\xBB\xBF" "a [b]"), r);
    EXPECT_EQ(describe(*result), "[a [b]]");

    r.next = true;
    lexer::transcode(result, bin("[b] c d"), r);
    ASSERT_TRUE(result->is(TYPE_BLOCK));
    EXPECT_EQ(describe(*block::cell_at(result, 0)), "[b]");
    EXPECT_EQ(block::cell_at(result, 1)->data1, 3u);

    lexer::Refinements one;
    one.one = true;
    lexer::transcode(result, bin("42 x"), one);
    EXPECT_EQ(describe(*result), "42");

    lexer::Refinements scan;
    scan.scan = true;
    lexer::transcode(result, bin("1.5x2"), scan);
    EXPECT_EQ(describe(*result), "error!");
    lexer::transcode(result, bin("a/b"), scan);
    EXPECT_EQ(describe(*result), "path!");
    Cell* empty = bin("");
    lexer::transcode(result, empty, scan);
    EXPECT_TRUE(result->is(TYPE_BINARY));

    lexer::Refinements part;
    Cell limit = integer_cell(3);
    part.part = &limit;
    lexer::transcode(result, bin("abc def"), part);
    EXPECT_EQ(describe(*result), "[abc]");

    Cell* str = string::load_c_text("x", 1, 0);
    Cell wrong = *bin("x");
    part.part = &wrong;
    EXPECT_EQ(raised([&] { lexer::transcode(result, str, part); }), ErrorId::script_not_same_type);

    lexer::Refinements into;
    Cell* target = block::push_new(2);
    into.into = target;
    lexer::transcode(result, string::load_c_text("p q", 3, 0), into);
    EXPECT_EQ(describe(*result), "[p q]");
    EXPECT_EQ(result->data2, target->data2);
}

// ---------------------------------------------------------------------------
// Numbers, dates and times: syntax, and the values for the datatypes to make

TEST_F(Lexer, FloatsAndIntegersTooBigForThirtyTwoBits) {
    const struct {
        const char* text;
        const char* values;
    } cases[] = {
        {"1.5 .5 -0.25 1e3 1.5E-3 1'000.5", "1.5 0.5 -0.25 1000.0 0.0015 1000.5"},
        {"2147483648 -2147483649 12345678901", "2147483648.0 -2147483649.0 12345678901.0"},
        {"0000000001", "1"},
        {"1.#INF -1.#inf 1.#nan", "inf -inf nan"},
        {"0.1", "0.10000000000000001"},
        {"a/1.5", "a/1.5"},
    };
    for (const auto& c : cases) EXPECT_EQ(load(c.text), c.values) << c.text;
}

TEST_F(Lexer, ScanReportsTheTypeOfEveryNumericForm) {
    const struct {
        const char* text;
        const char* type;
    } cases[] = {
        {"2147483647", "integer!"}, {"2147483648", "float!"},     {"12345678901", "float!"},
        {"1.5", "float!"},          {".5", "float!"},             {"1e10", "float!"},
        {"1.5e-3", "float!"},       {"50%", "percent!"},          {"1.#INF", "float!"},
        {"-1.#inf", "float!"},      {"1.#nan", "float!"},         {"1.2.3", "tuple!"},
        {"10x20", "pair!"},         {"-1x-2", "pair!"},           {"(1, 2)", "point2D!"},
        {"(1, 2, 3)", "point3D!"},  {"(1 + 2)", "paren!"},        {"1:30", "time!"},
        {"1:30.5", "time!"},        {"-1:00", "time!"},           {"1-Jan-2000", "date!"},
        {"1/1/2000", "date!"},      {"2000-01-01", "date!"},      {"2000-W01-1", "date!"},
        {"2000-001", "date!"},      {"20000101T120000Z", "date!"}, {"1-1-99", "date!"},
        {"$1.50", "money!"},        {"-$1", "money!"},            {"ABC$10", "error!"},
        {"1h", "error!"},           {"1''0", "error!"},           {"2.#INF", "error!"},
        {"1.2.256", "error!"},      {"1.2.3.4.5.6.7.8.9.10.11.12.13", "error!"},
        {"1.5x2", "error!"},        {"31-Feb-2000", "error!"},    {"29-Feb-1999", "error!"},
        {"29-Feb-2000", "date!"},   {"1:30:", "error!"},          {"(1, a)", "error!"},
        {"1,5", "integer!"},        {"a/(1, 2)", "path!"},        {"(1.#INF, -1.#nan)", "point2D!"},
    };
    for (const auto& c : cases) EXPECT_EQ(scan_type(c.text), c.type) << c.text;
}

TEST_F(Lexer, PrescanGuessesFromTheStateMachineAlone) {
    EXPECT_EQ(scan_type("31-Feb-2000", true), "date!");
    EXPECT_EQ(scan_type("1 2 \"x\"", true), "string!");
    EXPECT_EQ(scan_type("[1 2] 3", true), "block!");
    EXPECT_EQ(scan_type("a/b", true), "path!");
}

TEST_F(Lexer, DatesReadDayFirstAndTheYearFirstWhenTheFirstGroupCannotBeADay) {
    const struct {
        const char* text;
        int year, month, day, week, weekday, yearday;
        double seconds;
        int zone;
    } cases[] = {
        {"1-Jan-2000", 2000, 1, 1, 0, 0, 0, -1, 0},
        {"1/1/2000", 2000, 1, 1, 0, 0, 0, -1, 0},
        {"31/december/1999", 1999, 12, 31, 0, 0, 0, -1, 0},
        {"2000-01-02", 2000, 1, 2, 0, 0, 0, -1, 0},
        {"1-1-99", 1999, 1, 1, 0, 0, 0, -1, 0},
        {"1-1-49", 2049, 1, 1, 0, 0, 0, -1, 0},
        {"1-1-0049", 49, 1, 1, 0, 0, 0, -1, 0},
        {"2000-W01-1", 2000, 0, 0, 1, 1, 0, -1, 0},
        {"2000-W52", 2000, 0, 0, 52, 1, 0, -1, 0},
        {"2000-001", 2000, 0, 0, 0, 0, 1, -1, 0},
        {"20000101T120000Z", 2000, 1, 1, 0, 0, 0, 43200, 0},
        {"20000101T1230+0130", 2000, 1, 1, 0, 0, 0, 45000, 90},
        {"1-Jan-2000/10:30:15", 2000, 1, 1, 0, 0, 0, 37815, 0},
        {"1-Jan-2000/10:30+5:00", 2000, 1, 1, 0, 0, 0, 37800, 300},
        {"1-Jan-2000T10:30-0130", 2000, 1, 1, 0, 0, 0, 37800, -90},
    };
    for (const auto& c : cases) {
        lexer::DateFields d;
        const uint8_t* s = reinterpret_cast<const uint8_t*>(c.text);
        ASSERT_TRUE(lexer::parse_date(s, s + std::strlen(c.text), &d)) << c.text;
        EXPECT_EQ(d.year, c.year) << c.text;
        EXPECT_EQ(d.month, c.month) << c.text;
        EXPECT_EQ(d.day, c.day) << c.text;
        EXPECT_EQ(d.week, c.week) << c.text;
        EXPECT_EQ(d.weekday, c.weekday) << c.text;
        EXPECT_EQ(d.yearday, c.yearday) << c.text;
        EXPECT_EQ(d.has_time, c.seconds >= 0) << c.text;
        if (c.seconds >= 0) {
            EXPECT_DOUBLE_EQ(d.seconds, c.seconds) << c.text;
        }
        EXPECT_EQ(d.zone_minutes, c.zone) << c.text;
    }
    for (const char* bad : {"31-Feb-2000", "29-Feb-1999", "1-Foo-2000", "1-Ja-2000", "0-Jan-2000",
                            "1-13-2000", "1-Jan-2000/24:00", "1-Jan-2000/10:60", "2000-000",
                            "2000-W54", "2000-W01-8", "1/Jan-2000", "20000101T2500Z",
                            "1-Jan-2000/", "2000-001T", "2000-W01T"}) {
        lexer::DateFields d;
        const uint8_t* s = reinterpret_cast<const uint8_t*>(bad);
        EXPECT_FALSE(lexer::parse_date(s, s + std::strlen(bad), &d)) << bad;
    }
}

TEST_F(Lexer, TimesAndFloatText) {
    const struct {
        const char* text;
        double seconds;
    } times[] = {{"1:30", 5400}, {"1:30.5", 90.5}, {"-1:00", -3600}, {"1:02:03.25", 3723.25},
                 {"0:0:0", 0}, {"100:00", 360000}};
    for (const auto& t : times) {
        double s = 0;
        const uint8_t* p = reinterpret_cast<const uint8_t*>(t.text);
        ASSERT_TRUE(lexer::parse_time(p, p + std::strlen(t.text), &s)) << t.text;
        EXPECT_DOUBLE_EQ(s, t.seconds) << t.text;
    }
    for (const char* text : {"1:30:", "1:", "1:30:-5", "1:3a"}) {
        double s;
        const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
        EXPECT_FALSE(lexer::parse_time(p, p + std::strlen(text), &s)) << text;
    }
    const struct {
        const char* text;
        bool ok;
    } floats[] = {{"1", true},   {"1.", true},  {".5", true},   {"1.5e10", true}, {"-1'000.5", true},
                  {"1e", false}, {"e1", false}, {"1..2", false}, {"1''0", false}, {"+.5", true},
                  {"1.5'", true}, {"1.5''", false}, {"", false}};
    for (const auto& f : floats) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(f.text);
        EXPECT_EQ(lexer::float_syntax_q(p, p + std::strlen(f.text)), f.ok) << f.text;
    }
}

TEST_F(Lexer, NumberScannersForTheDatatypes) {
    int32_t v = 0;
    auto text = [](const char* t) { return reinterpret_cast<const uint8_t*>(t); };
    EXPECT_EQ(lexer::scan_integer(text("-2147483648"), 11, 1, &v), lexer::SCAN_OK);
    EXPECT_EQ(v, INT32_MIN);
    EXPECT_EQ(lexer::scan_integer(text("1'000"), 5, 1, &v), lexer::SCAN_OK);
    EXPECT_EQ(v, 1000);
    EXPECT_EQ(lexer::scan_integer(text("2147483648"), 10, 1, &v), lexer::SCAN_OVERFLOW);
    EXPECT_EQ(lexer::scan_integer(text("12a"), 3, 1, &v), lexer::SCAN_BAD);
    EXPECT_EQ(lexer::scan_integer(text(""), 0, 1, &v), lexer::SCAN_BAD);
    const uint16_t wide[] = {'4', '2'};
    EXPECT_EQ(lexer::scan_integer(reinterpret_cast<const uint8_t*>(wide), 2, 2, &v), lexer::SCAN_OK);
    EXPECT_EQ(v, 42);

    double d = 0;
    EXPECT_EQ(lexer::scan_float(text("1,5"), 3, 1, &d), lexer::SCAN_OK);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(lexer::scan_float(text("1'000.25e1"), 10, 1, &d), lexer::SCAN_OK);
    EXPECT_EQ(d, 10002.5);
    EXPECT_EQ(lexer::scan_float(text("abc"), 3, 1, &d), lexer::SCAN_BAD);
    EXPECT_TRUE(std::isnan(d));
    std::string huge(313, '1');
    EXPECT_EQ(lexer::scan_float(text(huge.c_str()), 313, 1, &d), lexer::SCAN_BAD);

    uint8_t bytes[12];
    EXPECT_EQ(lexer::scan_tuple(text("1.2.3"), 5, 1, bytes), 3);
    EXPECT_EQ(bytes[2], 3);
    EXPECT_EQ(lexer::scan_tuple(text("1.2.256"), 7, 1, bytes), 0);
    EXPECT_EQ(lexer::scan_tuple(text("1..2"), 4, 1, bytes), 0);
    EXPECT_EQ(lexer::scan_tuple(text("1.2.3.4.5.6.7.8.9.10.11.12.13"), 29, 1, bytes), 0);

    lexer::MoneyParts m;
    const char* money = "-USD$1'000.50";
    ASSERT_TRUE(lexer::parse_money(text(money), text(money) + 13, &m));
    EXPECT_TRUE(m.negative);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.code), 3), "USD");
    EXPECT_EQ(m.digit_count, 5u);
    EXPECT_EQ(m.fraction_count, 2u);
}

TEST_F(Lexer, NumberLikeTokensLoadAsTheirDatatypes) {
    const struct {
        const char* text;
        uint32_t type;
    } cases[] = {{"50%", TYPE_PERCENT}, {"1.2.3", TYPE_TUPLE},     {"10x20", TYPE_PAIR},
                 {"(1, 2)", TYPE_POINT2D}, {"(1, 2, 3)", TYPE_POINT3D}, {"1:30", TYPE_TIME},
                 {"1-Jan-2000", TYPE_DATE}, {"$1", TYPE_MONEY}};
    for (const auto& c : cases) {
        lexer::Options o;
        o.one_value = true;
        Cell* out = stack::push_cell();
        uint32_t n = 0;
        lexer::transcode(out, reinterpret_cast<const uint8_t*>(c.text), uint32_t(std::strlen(c.text)), o, &n);
        EXPECT_EQ(out->type(), c.type) << c.text;
    }
}

// ---------------------------------------------------------------------------
// Syntax errors

TEST_F(Lexer, SyntaxErrorsNameTheLineTheTypeAndTheToken) {
    const struct {
        const char* text;
        ErrorId id;
        const char* line;
        const char* arg2;
        const char* token;
    } cases[] = {
        {"[1 2", ErrorId::syntax_missing, "(line 1)", "]", "[1 2"},
        {"(1 2", ErrorId::syntax_missing, "(line 1)", ")", "(1 2"},
        {"a\n\n]", ErrorId::syntax_missing, "(line 3)", "[", "]"},
        {"(a]", ErrorId::syntax_missing, "(line 1)", "[", "]"},
        {"[a)", ErrorId::syntax_missing, "(line 1)", "(", ")"},
        {"#[a 1)", ErrorId::syntax_missing, "(line 1)", "(", ")"},
        {"#[a 1 b]", ErrorId::syntax_invalid, "(line 1)", "map!", "]"},
        {"\"abc", ErrorId::syntax_invalid, "(line 1)", "string!", "\"abc"},
        {"x \"ab\ncd\"", ErrorId::syntax_invalid, "(line 1)", "string!", "\"ab"},
        {"{abc", ErrorId::syntax_invalid, "(line 1)", "string!", "{abc"},
        {"1''0", ErrorId::syntax_invalid, "(line 1)", "integer!", "1''0"},
        {"1h", ErrorId::syntax_invalid, "(line 1)", "integer!", "1h"},
        {"1a", ErrorId::syntax_invalid, "(line 1)", "integer!", "1a"},
        {"'a:", ErrorId::syntax_invalid, "(line 1)", "lit-word!", "'a:"},
        {":a:", ErrorId::syntax_invalid, "(line 1)", "word!", ":a:"},
        {"a/", ErrorId::syntax_invalid, "(line 1)", "path!", "a/"},
        {"#\"ab\"", ErrorId::syntax_invalid, "(line 1)", "char!", "#\"ab\""},
        {"8#{00}", ErrorId::syntax_invalid, "(line 1)", "binary!", "8#{00}"},
        {"#{0G}", ErrorId::syntax_invalid, "(line 1)", "binary!", "#{0G}"},
        {"#{0}", ErrorId::syntax_invalid, "(line 1)", "binary!", "#{0}"},
        {"64#{A=}", ErrorId::syntax_invalid, "(line 1)", "binary!", "64#{A=}"},
        {"\"^(xyz)\"", ErrorId::syntax_invalid, "(line 1)", "string!", "\"^(xyz)\""},
        {"\"^(110000)\"", ErrorId::syntax_invalid, "(line 1)", "string!", "\"^(110000)\""},
        {"%%{x}%%%", ErrorId::syntax_invalid, "(line 1)", "string!", "%%{x}%%%"},
        {"%%{x}%", ErrorId::syntax_invalid, "(line 1)", "string!", "%%{x}%"},
        {"%{x}%a", ErrorId::syntax_invalid, "(line 1)", "string!", "%{x}%a"},
        {"#(foo)", ErrorId::syntax_malconstruct, "(line 1)", "", "#(foo)"},
        {"a\n}", ErrorId::syntax_bad_char, "(line 2)", "", "}"},
        {"\\", ErrorId::syntax_bad_char, "(line 1)", "", "\\"},
        {"\xFF", ErrorId::syntax_bad_char, "(line 1)", "", "\xEF\xBF\xBD"},
        {"a ,", ErrorId::syntax_invalid, "(line 1)", "point2D!", ","},
        {"a,", ErrorId::syntax_invalid, "(line 1)", "word!", "a,"},
        {"(a, b)", ErrorId::syntax_invalid, "(line 1)", "point2D!", "(a, b)"},
        {"(x + y , 1)", ErrorId::syntax_missing, "(line 1)", "(", ")"},
        {"a\xC3", ErrorId::syntax_invalid, "(line 1)", "word!", "a\xEF\xBF\xBD"},
        {"\n\n\"x", ErrorId::syntax_invalid, "(line 3)", "string!", "\"x"},
        {"[a/b", ErrorId::syntax_missing, "(line 1)", "]", "[a/b"},
    };
    for (const auto& c : cases) {
        Failure f = fails(c.text);
        EXPECT_EQ(f.id, c.id) << c.text;
        EXPECT_EQ(f.line, c.line) << c.text;
        EXPECT_EQ(f.arg2, c.arg2) << c.text;
        EXPECT_EQ(f.token, c.token) << c.text;
        EXPECT_EQ(lexer::token_cells_in_use(), 0u) << c.text;
    }
}

TEST_F(Lexer, ErrorTokensAreCutAtThirtyBytesToAWholeCharacter) {
    std::string text = "\"" + std::string(28, 'a') + "\xE2\x82\xAC" + "bbbb";
    Failure f = fails(text);
    EXPECT_EQ(f.token, "\"" + std::string(28, 'a') + "\xE2\x82\xAC");
    EXPECT_EQ(fails("\"abc\ndef").token, "\"abc");
}

TEST_F(Lexer, NoInputMakesTheLexerReadPastItsEnd) {
    // Every byte value alone and after each token prefix, in every mode; the
    // buffers are exact copies so a sanitizer sees any overread.
    const char* prefixes[] = {"", "a", "1", "#", "%", "%%{", "\"", "{", "<", "$", "@", "'",
                              ":", "/", "a/", "1.", "1:", "1-", "#{", "#\"", "#(", "(1,",
                              "2#{", "-", "+", ".", "=", "1e", "1x", "a:"};
    for (const char* prefix : prefixes) {
        for (int b = 0; b < 256; b++) {
            std::string text = std::string(prefix) + char(b);
            for (int mode = 0; mode < 4; mode++) {
                std::vector<uint8_t> exact(text.begin(), text.end());
                lexer::Options o;
                o.one_value = mode & 1;
                o.load = !(mode & 2);
                Cell* out = stack::push_cell();
                stack::push_try_frame(nullptr);
                try {
                    uint32_t consumed = 0;
                    lexer::transcode(out, exact.data(), uint32_t(exact.size()), o, &consumed);
                    EXPECT_LE(consumed, exact.size());
                    stack::pop_frame();
                } catch (const Unwind&) {
                    stack::adjust_after_error();
                    stack::pop_frame();
                }
                stack::g_top = stack::g_base + 1;
                ASSERT_EQ(lexer::token_cells_in_use(), 0u) << text;
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Events

struct Event {
    std::string word, type;
    int32_t line;
    std::string token;
};
std::vector<Event> g_events;
// Answers false to the events whose word is listed; moves the input once.
std::vector<std::string> g_refuse;
int32_t g_move_to = -1;

void recording_hook(const Cell*, Cell* args, uint32_t, Cell* result) {
    Event e;
    e.word = std::string(symbol::name(args[0].data2));
    e.type = args[2].is(TYPE_DATATYPE) ? registry::type_name(args[2].data1) : "none";
    e.line = args[3].as_int();
    if (args[4].is(TYPE_PAIR))
        e.token = std::to_string(args[4].data2) + "x" + std::to_string(args[4].data3);
    else
        e.token = describe(args[4]);
    g_events.push_back(e);
    bool refuse = false;
    for (const std::string& w : g_refuse) refuse |= w == e.word;
    *result = refuse ? shared_false_cell : shared_true_cell;
    if (g_move_to >= 0 && e.word == "prescan") {
        args[1].data1 = uint32_t(g_move_to);
        g_move_to = -1;
    }
}

class LexerEvents : public Lexer {
protected:
    void SetUp() override {
        Lexer::SetUp();
        g_events.clear();
        g_refuse.clear();
        g_move_to = -1;
        lexer::set_callback_hook(&recording_hook);
        m_callback = integer_cell(0);  // not a function: every event is watched
    }
    std::string traced(const std::string& text, lexer::Options o = {}) {
        Cell* input = string::load_c_text(text.data(), uint32_t(text.size()), 0);
        o.callback = &m_callback;
        Cell* out = stack::push_cell();
        lexer::load_string(out, input, 0, -1, o, nullptr);
        std::string d = describe(*out);
        return out->is(TYPE_BLOCK) ? d.substr(1, d.size() - 2) : d;
    }
    std::string events() const {
        std::string out;
        for (const Event& e : g_events)
            out += e.word + " " + e.type + " " + std::to_string(e.line) + " " + e.token + "\n";
        return out;
    }
    Cell m_callback;
};

TEST_F(LexerEvents, EveryEventInScanOrder) {
    EXPECT_EQ(traced("[a]\n12"), "[a] 12");
    EXPECT_EQ(events(),
              "prescan none 1 1x1\n"
              "open block! 1 1x2\n"
              "prescan word! 1 2x3\n"
              "scan word! 1 2x3\n"
              "load word! 1 a\n"
              "prescan none 1 3x3\n"
              "close block! 1 3x4\n"
              "prescan integer! 2 5x7\n"
              "scan integer! 2 5x7\n"
              "load integer! 2 12\n");
}

TEST_F(LexerEvents, AnswersSteerTheScan) {
    g_refuse = {"load"};
    EXPECT_EQ(traced("a [b] c"), "[]");
    g_refuse = {"prescan"};
    EXPECT_EQ(traced("a b [c] (d) {e} #[f] g/h , } \\"), "");
    g_refuse = {"open", "close"};
    EXPECT_EQ(traced("[a] b"), "a b");
    g_refuse = {"error"};
    EXPECT_EQ(traced("a 1''0 b ] c"), "a b c");
    g_refuse = {"error"};
    EXPECT_EQ(traced("[a"), "#(none)");
}

TEST_F(LexerEvents, ACallbackThatMovesTheInputMovesTheScanAndStaysInside) {
    g_move_to = 5;
    EXPECT_EQ(traced("abc def"), "abc ef");
    g_move_to = 1000;
    EXPECT_EQ(traced("abc def"), "abc");
}

TEST_F(LexerEvents, ErrorsReportTheirTypeToTheCallback) {
    g_refuse = {"error"};
    traced("x\n1''0");
    ASSERT_FALSE(g_events.empty());
    const Event& e = g_events.back();
    EXPECT_EQ(e.word, "error");
    EXPECT_EQ(e.type, "integer!");
    EXPECT_EQ(e.line, 2);
}

TEST_F(LexerEvents, TheMaskComesFromTheBlockAtTheHeadOfTheBody) {
    Cell* spec = block::push_new(4);
    for (const char* w : {"event", "input", "type", "line", "token"})
        word::append_global_name(w, spec);
    Cell* body = block::push_new(2);
    Cell* mask = block::make_in(body, 2);
    word::append_global_name("load", mask);
    word::append_global_name("close", mask);
    word::append_global_name("bogus", mask);
    function::push(spec, body, 0, 0, 0, 0);
    m_callback = *stack::top();
    EXPECT_EQ(lexer::event_mask_from_words(&m_callback), lexer::EVENT_LOAD | lexer::EVENT_CLOSE);
    traced("[x]");
    EXPECT_EQ(events(), "load word! 1 x\nclose block! 1 3x4\n");
    Cell plain = integer_cell(1);
    EXPECT_EQ(lexer::event_mask_from_words(&plain), lexer::ALL_EVENTS);
}

// A callback that scans again: the inner scan takes the token buffer after
// the outer scan's cells and grows it; the outer scan goes on unharmed.
void nesting_hook(const Cell*, Cell* args, uint32_t, Cell* result) {
    *result = shared_true_cell;
    if (std::string(symbol::name(args[0].data2)) != "load") return;
    std::string inner;
    for (int i = 0; i < 3000; i++) inner += "x ";
    Cell* out = stack::push_cell();
    lexer::transcode(out, reinterpret_cast<const uint8_t*>(inner.data()), uint32_t(inner.size()), {},
                     nullptr);
    EXPECT_EQ(block::length_from_start(out), 3000);
}

TEST_F(Lexer, ScansNestFromCallbacks) {
    lexer::set_callback_hook(&nesting_hook);
    Cell callback = integer_cell(0);
    lexer::Options o;
    o.callback = &callback;
    EXPECT_EQ(load("[a [b c] d] e", o), "[a [b c] d] e");
}

TEST_F(Lexer, LeadingBlanksAndControlBytesCountNoLines) {
    EXPECT_EQ(load("\r\x01\x02 a"), "a");
    EXPECT_EQ(fails("\r\r\x7F").line, "(line 1)");
    EXPECT_EQ(fails("\n\r\n\x7F").line, "(line 3)");
}

TEST_F(Lexer, ACallbackWithoutAHookIsNotDoneYet) {
    Cell callback = integer_cell(0);
    lexer::Options o;
    o.callback = &callback;
    EXPECT_EQ(raised([&] { load("a", o); }), ErrorId::internal_not_done);
}

}  // namespace
