#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using memory::SeriesBuffer;
namespace {

using test_support::raised;

class StringActions : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
    }
};

// A new string! on the stack from UTF-8 text.
Cell* str(const std::string& text) {
    return string::load_c_text(text.data(), uint32_t(text.size()), 0);
}

void put_utf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | c >> 6);
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | c >> 12);
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | c >> 18);
        out += char(0x80 | (c >> 12 & 0x3F));
        out += char(0x80 | (c >> 6 & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The text from the head (or from the buffer start) as UTF-8.
std::string utf8(const Cell* s, bool from_start = false) {
    std::string out;
    SeriesBuffer* b = memory::buffer_of(s->data2);
    uint32_t unit = b->unit();
    for (uint32_t i = from_start ? 0 : s->data1; i < b->used() / unit; i++)
        put_utf8(out, string::get_char(b->head_ptr() + i * unit, unit));
    return out;
}

uint32_t unit_of(const Cell* s) { return memory::buffer_of(s->data2)->unit(); }

std::string molded(Cell* value, bool all = false, Cell* part_arg = nullptr, int part = INT_MAX,
                   int* left = nullptr) {
    Cell* out = string::make_empty_at(stack::push_cell(), 16);
    int rest = string::mold(value, out, false, all, false, part_arg, part, 0);
    if (left) *left = rest;
    return utf8(out);
}

Cell* new_block() { return block::push_new(4); }
void add(Cell* blk, const Cell& value) { block::append_cell(blk, &value); }
Cell chr(uint32_t c) { return make_cell(TYPE_CHAR, 0, c, 0); }

// A series of bytes, or of 16-bit integers for a vector.
Cell* bytes(const std::vector<uint8_t>& data, uint32_t type = TYPE_BINARY, uint32_t unit = 1,
            uint32_t element = 0) {
    Cell* cell = stack::push_cell();
    NodeId node = memory::alloc_series(uint32_t(data.size() / unit) + 1, unit, 0);
    SeriesBuffer* b = memory::buffer_of(node);
    std::memcpy(b->head_ptr(), data.data(), data.size());
    b->tail = b->head + uint32_t(data.size());
    *cell = make_cell(type, 0, node, element);
    return cell;
}

// ---------------------------------------------------------------- mold and form

TEST_F(StringActions, MoldChoosesQuotesOrBracesAndEscapes) {
    const struct {
        std::string text;
        bool all;
        std::string mold;
    } cases[] = {
        {"abc", false, "\"abc\""},
        {"", false, "\"\""},
        {std::string("\0\t\x7F", 3) + "\xC2\x80", false, "\"^@^-^~^(80)\""},
        {"\x1E" "\xC2\x9F" "\xC3\xA9", false, "\"^(1E)^(9F)\xC3\xA9\""},
        {"\xC3\xA9\xF0\x9F\x98\x80", true, "\"^(E9)^(1F600)\""},
        {"a^b\x1B", false, "\"a^^b^[\""},
        {"one\ntwo\n", false, "\"one^/two^/\""},  // two line feeds: quotes
        {"1\n2\n3\n", false, "{1^/2^/3^/}"},     // three: braces, still escaped
        {"say \"hi\"", false, "{say \"hi\"}"},
        {std::string(49, 'x'), false, "\"" + std::string(49, 'x') + "\""},
        {std::string(50, 'x'), false, "{" + std::string(50, 'x') + "}"},
        {"\"{a}{", false, "{\"{a}^{}"},          // the pair as is, the lone brace escaped
        {"\"}x{", false, "{\"^}x^{}"},
        {"\"{{}", false, "{\"^{^{^}}"},          // nothing closes the first brace
        {"\"{{}}}", false, "{\"{{}}^}}"},
        {"\"^\t", false, "{\"^^^-}"},
    };
    for (const auto& c : cases) {
        Cell* s = str(c.text);
        EXPECT_EQ(molded(s, c.all), c.mold) << c.text;
    }
}

TEST_F(StringActions, MoldFromTheHeadWithAPartBudget) {
    Cell* s = str("abcdef");
    s->data1 = 2;
    int left = 0;
    EXPECT_EQ(molded(s, false, nullptr, 100, &left), "\"cdef\"");
    EXPECT_EQ(left, 100 - 4 - 2);
    Cell budget = integer_cell(3);
    EXPECT_EQ(molded(s, false, &budget, 3, &left), "\"cde\"");
    EXPECT_EQ(left, 3 - 3 - 2);

    Cell* wide = str("\xF0\x9F\x98\x80z");
    EXPECT_EQ(molded(wide), "\"\xF0\x9F\x98\x80z\"");
}

TEST_F(StringActions, FormAppendsTheTextAndSpendsTheBudget) {
    Cell* s = str("h\xC3\xA9llo");
    Cell* out = str("> ");
    EXPECT_EQ(string::form(s, out, nullptr, 100), 95);
    EXPECT_EQ(utf8(out), "> h\xC3\xA9llo");
    Cell budget = integer_cell(2);
    EXPECT_EQ(string::form(s, out, &budget, 2), -3);
    EXPECT_EQ(utf8(out), "> h\xC3\xA9lloh\xC3\xA9");
}

// ---------------------------------------------------------------- append, insert, change

TEST_F(StringActions, AppendWidensFromOneToTwoToFourUnits) {
    Cell* s = str("ab");
    s->data1 = 1;
    Cell* e = str("\xC3\xA9");  // Latin-1 in a 1-byte source
    string::append(s, e, -1, false, 1, true);
    EXPECT_EQ(s->data1, 0u);  // append answers the head
    EXPECT_EQ(unit_of(s), 1u);
    Cell euro = chr(0x20AC);
    string::append(s, &euro, -1, false, 1, true);
    EXPECT_EQ(unit_of(s), 2u);
    Cell* mid = str("c");
    string::append(s, mid, -1, false, 1, true);
    Cell* face = str("\xF0\x9F\x98\x80");
    string::append(s, face, -1, false, 1, true);
    EXPECT_EQ(unit_of(s), 4u);
    string::append(s, mid, -1, false, 2, true);
    EXPECT_EQ(utf8(s), "ab\xC3\xA9\xE2\x82\xAC" "c\xF0\x9F\x98\x80" "cc");
}

TEST_F(StringActions, AppendAndInsertValues) {
    auto block_of = [](std::initializer_list<Cell> values) {
        Cell* blk = new_block();
        for (const Cell& v : values) add(blk, v);
        return blk;
    };
    Cell* tag = str("b");
    tag->set_type(TYPE_TAG);
    Cell* words = block_of({*str("ab"), chr('-'), *str("cd")});
    const struct {
        const char* what;
        Cell* value;
        int part;
        bool only;
        int dup;
        std::string result;
    } cases[] = {
        {"part of a string", str("xyz"), 2, false, 1, "12xy"},
        {"char", nullptr, -1, false, 3, "12!!!"},
        {"tag", tag, -1, false, 1, "12<b>"},
        {"tag cut inside", tag, 2, false, 1, "12<b"},
        {"tag with room for its end", tag, 3, false, 1, "12<b>"},
        {"block formed and joined", words, -1, false, 1, "12ab-cd"},
        {"block: part counts elements", words, 2, false, 1, "12ab-"},
        {"block /only: part counts units", words, 3, true, 1, "12ab-"},
        {"block /only cut inside", words, 4, true, 1, "12ab-c"},
        {"dup", str("ab"), -1, false, 3, "12ababab"},
        {"dup 0 adds nothing", str("ab"), -1, false, 0, "12"},
    };
    Cell bang = chr('!');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Cell* value = c.value ? c.value : &bang;
        Cell* s = str("12");
        string::append(s, value, c.part, c.only, c.dup, true);
        EXPECT_EQ(utf8(s), c.result);
        Cell* t = str("12");
        t->data1 = 1;
        string::insert(t, value, c.part, c.only, c.dup, false);
        std::string inserted = c.result.substr(2);
        EXPECT_EQ(utf8(t, true), "1" + inserted + "2");
        EXPECT_EQ(t->data1, 1 + inserted.size());  // just after the insertion
    }
    Cell* s = str("ab");
    s->data1 = 2;
    string::insert(s, str("cd"), -1, false, 1, false);  // at the tail: the new tail
    EXPECT_EQ(s->data1, 4u);
    Cell* self = str("ab\xE2\x82\xAC");
    Cell* same = stack::push(self);
    same->data1 = 1;
    string::insert(self, same, -1, false, 1, false);
    EXPECT_EQ(utf8(self, true), "b\xE2\x82\xAC" "ab\xE2\x82\xAC");
}

TEST_F(StringActions, Change) {
    const struct {
        std::string target;
        uint32_t head;
        std::string value;
        int part, dup;
        std::string result;
        uint32_t after;
    } cases[] = {
        {"abcdef", 1, "XY", -1, 1, "aXYdef", 3},
        {"abcdef", 1, "XY", 4, 1, "aXYf", 3},
        {"abcdef", 1, "XYZW", 1, 1, "aXYZWcdef", 5},
        {"abcdef", 4, "XYZW", -1, 1, "abcdXYZW", 8},  // runs on past the tail
        {"abcdef", 6, "XY", -1, 1, "abcdefXY", 8},    // at the tail
        {"abcdef", 0, "x", -1, 3, "xxxdef", 3},
        {"abcdef", 2, "\xF0\x9F\x98\x80", -1, 1, "ab\xF0\x9F\x98\x80" "def", 3},
        {"abcdef", 1, "", 2, 1, "adef", 1},
    };
    for (const auto& c : cases) {
        Cell* s = str(c.target);
        s->data1 = c.head;
        string::change(s, str(c.value), c.part, false, c.dup);
        EXPECT_EQ(utf8(s, true), c.result) << c.target << ' ' << c.value;
        EXPECT_EQ(s->data1, c.after) << c.value;
    }
    Cell* s = str("hello");
    s->data1 = 1;
    Cell ch = chr(0xE9);
    string::change(s, &ch, -1, false, 1);
    EXPECT_EQ(utf8(s, true), "h\xC3\xA9llo");
}

TEST_F(StringActions, AHugeDupRaisesNoMemory) {
    Cell* s = str("ab");
    EXPECT_EQ(raised([&] { string::append(s, str("xyz"), -1, false, INT_MAX, true); }),
              ErrorId::internal_no_memory);
    EXPECT_EQ(utf8(s), "ab");
}

// ---------------------------------------------------------------- trim

TEST_F(StringActions, Trim) {
    struct Flags {
        bool head = false, tail = false, lines = false, all = false;
    };
    const struct {
        std::string text;
        Flags flags;
        std::string result;
    } cases[] = {
        {"  a  b  ", {}, "a  b"},
        {"  a  b  ", {.lines = true}, "a b"},
        {"  a  b  ", {.all = true}, "ab"},
        {"  a  b  ", {.head = true}, "a  b  "},
        {"  a  b  ", {.tail = true}, "  a  b"},
        {"  a  b  ", {.head = true, .tail = true}, "a  b"},
        {"\t a \t\n\t b  \n\n  c \n  ", {}, "a\nb\n\nc\n"},
        {" a\r\nb", {}, "a\nb"},
        {"a \xE3\x80\x80\n\xE3\x80\x80 b", {}, "a\nb"},  // ideographic spaces count
        {" \t\n\r ", {}, ""},
        {"\n\na\tb\r\n c\xC2\xA0", {.lines = true}, "a b c"},
        {"a\tb\nc\rd e", {.all = true}, "abcde"},
    };
    for (const auto& c : cases) {
        Cell* s = str(c.text);
        string::trim(s, c.flags.head, c.flags.tail, false, c.flags.lines, c.flags.all, nullptr);
        EXPECT_EQ(utf8(s), c.result) << c.text;
    }
    const struct {
        Cell with;
        std::string result;
    } sets[] = {
        {chr('a'), "bnn"},
        {integer_cell('n'), "baaa"},
        {*str("an"), "b"},
        {*str(""), "banana"},
    };
    for (const auto& c : sets) {
        Cell* s = str("banana");
        Cell with = c.with;
        string::trim(s, false, false, false, false, false, &with);
        EXPECT_EQ(utf8(s), c.result);
    }
    Cell* s = str("xx  a  ");
    s->data1 = 2;
    string::trim(s, false, false, false, false, false, nullptr);
    EXPECT_EQ(utf8(s, true), "xxa");
    EXPECT_EQ(raised([&] { string::trim(s, false, false, true, false, false, nullptr); }),
              ErrorId::internal_not_done);
    Cell bad = make_cell(TYPE_NONE);
    EXPECT_EQ(raised([&] { string::trim(s, false, false, false, false, true, &bad); }),
              ErrorId::script_invalid_arg);
}

// ---------------------------------------------------------------- find and select

struct FindFlags {
    int part = 0;  // 0: none
    int skip = 0;  // 0: none
    bool case_ = false, last = false, reverse = false, tail = false, match = false;
};

// The 1-based index of the answer, or 0 for none.
int find_index(Cell* series, Cell* value, uint32_t head, const FindFlags& f) {
    Cell* s = stack::push(series);
    s->data1 = head;
    Cell part = integer_cell(f.part), skip = integer_cell(f.skip);
    string::find(s, value, f.part ? &part : nullptr, false, f.case_, false, false, nullptr,
                 f.skip ? &skip : nullptr, f.last, f.reverse, f.tail, f.match);
    int result = s->is(TYPE_NONE) ? 0 : int(s->data1) + 1;
    stack::pop(1);
    return result;
}

TEST_F(StringActions, FindWithItsRefinements) {
    Cell* abc = str("abcabc");
    Cell* bc = str("bc");
    Cell* BC = str("BC");
    Cell c = chr('C');
    const struct {
        const char* what;
        Cell* value;
        uint32_t head;
        FindFlags flags;
        int index;
    } cases[] = {
        {"text", bc, 0, {}, 2},
        {"folded", BC, 0, {}, 2},
        {"case", BC, 0, {.case_ = true}, 0},
        {"from the head", bc, 2, {}, 5},
        {"last", bc, 0, {.last = true}, 5},
        {"tail", bc, 0, {.tail = true}, 4},
        {"last tail", bc, 0, {.last = true, .tail = true}, 7},
        {"char", &c, 0, {}, 3},
        {"char case", &c, 0, {.case_ = true}, 0},
        {"char last", &c, 0, {.last = true}, 6},
        {"char tail", &c, 0, {.tail = true}, 4},
        {"part too short", bc, 0, {.part = 2}, 0},
        {"part long enough", bc, 0, {.part = 3}, 2},
        {"part from the head", bc, 2, {.part = 3}, 0},
        {"match at the head", bc, 1, {.match = true}, 2},
        {"match elsewhere fails", bc, 0, {.match = true}, 0},
        {"match tail", bc, 1, {.tail = true, .match = true}, 4},
        {"last match: the range's end", bc, 0, {.last = true, .match = true}, 5},
        {"reverse from the head", bc, 0, {.reverse = true}, 0},
        {"reverse", bc, 6, {.reverse = true}, 5},
        {"reverse ends at the head", bc, 5, {.reverse = true}, 2},
        {"reverse part", bc, 6, {.part = 1, .reverse = true}, 0},
        {"reverse match", bc, 6, {.reverse = true, .match = true}, 0},
        {"reverse char", &c, 5, {.reverse = true}, 3},
        {"skip misses", bc, 0, {.skip = 3}, 0},
        {"skip hits a record", bc, 0, {.skip = 2}, 5},
        {"skip hits", &c, 0, {.skip = 2}, 3},
        {"skip last hits records", &c, 0, {.skip = 2, .last = true}, 3},
        {"at the tail", bc, 6, {}, 0},
    };
    for (const auto& k : cases)
        EXPECT_EQ(find_index(abc, k.value, k.head, k.flags), k.index) << k.what;

    Cell* empty = str("");
    EXPECT_EQ(find_index(abc, empty, 0, {}), 0);
    Cell* wide = str("x\xF0\x9F\x98\x80y\xC3\xA9Y");
    Cell* e_upper = str("\xC3\x89y");
    EXPECT_EQ(find_index(wide, e_upper, 0, {}), 4);
    Cell word = *words::get(words::find);  // its name
    Cell* text = str("to find out");
    EXPECT_EQ(find_index(text, &word, 0, {}), 4);
}

TEST_F(StringActions, FindErrors) {
    Cell* s = str("abc");
    Cell a = chr('a');
    Cell zero = integer_cell(0);
    Cell* other = str("abc");
    EXPECT_EQ(raised([&] { string::find(s, &a, nullptr, false, false, false, false, nullptr, &zero,
                                        false, false, false, false); }),
              ErrorId::script_out_of_range);
    EXPECT_EQ(raised([&] { string::find(s, &a, other, false, false, false, false, nullptr, nullptr,
                                        false, false, false, false); }),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(raised([&] { string::find(s, &a, nullptr, false, false, false, true, nullptr, nullptr,
                                        false, false, false, false); }),
              ErrorId::internal_not_done);
    Cell* bin = bytes({'a'});
    EXPECT_EQ(raised([&] { string::find(s, bin, nullptr, false, false, false, false, nullptr,
                                        nullptr, false, false, false, false); }),
              ErrorId::script_invalid_arg);
}

TEST_F(StringActions, FindInBinaryAndVector) {
    Cell* bin = bytes({1, 'A', 'b', 200, 'a'});
    Cell n = integer_cell(200);
    EXPECT_EQ(find_index(bin, &n, 0, {}), 4);
    Cell* text = str("a");
    EXPECT_EQ(find_index(bin, text, 0, {}), 5);  // bytes compare exactly
    Cell* needle = bytes({'A', 'b'});
    EXPECT_EQ(find_index(bin, needle, 0, {}), 2);

    Cell* vec = bytes({0xFF, 0xFF, 5, 0, 0x34, 0x12}, TYPE_VECTOR, 2, TYPE_INTEGER);
    Cell minus_one = integer_cell(-1), big = integer_cell(0x1234);
    EXPECT_EQ(find_index(vec, &minus_one, 0, {}), 1);  // read sign-extended
    EXPECT_EQ(find_index(vec, &big, 0, {}), 3);
}

TEST_F(StringActions, SelectPassesTheWholeMatch) {
    Cell* s = str("key=value;k=v");
    auto selected = [&](Cell* value, bool last) {
        Cell* at = stack::push(s);
        string::select(at, value, nullptr, false, false, false, false, nullptr, nullptr, last, false);
        return *at;
    };
    Cell r = selected(str("KEY="), false);
    ASSERT_TRUE(r.is(TYPE_CHAR));
    EXPECT_EQ(r.data2, uint32_t('v'));
    Cell eq = chr('=');
    EXPECT_EQ(selected(&eq, true).data2, uint32_t('v'));
    EXPECT_TRUE(selected(str("=v"), true).is(TYPE_NONE));  // nothing after it
    Cell* bin = bytes({1, 2, 3});
    Cell one = integer_cell(1);
    string::select(bin, &one, nullptr, false, false, false, false, nullptr, nullptr, false, false);
    ASSERT_TRUE(bin->is(TYPE_INTEGER));
    EXPECT_EQ(bin->as_int(), 2);
}

// ---------------------------------------------------------------- sort

TEST_F(StringActions, Sort) {
    struct Flags {
        bool case_ = false;
        int skip = 0, compare = 0, part = 0;
        bool all = false, reverse = false, stable = false;
    };
    const struct {
        std::string text;
        Flags f;
        std::string result;
    } cases[] = {
        {"cBa", {}, "aBc"},
        {"cBa", {.case_ = true}, "Bac"},
        {"cBa", {.reverse = true}, "cBa"},
        {"cBa", {.case_ = true, .reverse = true}, "caB"},
        {"bBaAbBAa", {.stable = true}, "aAAabBbB"},  // equal letters keep their order
        {"bBaAbBAa", {.reverse = true, .stable = true}, "bBbBaAAa"},
        {"bBaAbBAa", {.case_ = true, .stable = true}, "AABBaabb"},
        {"\xC3\xA9" "E\xC3\x89" "e", {.stable = true}, "Ee\xC3\xA9\xC3\x89"},
        {"_a\xE2\x82\xAC" "B_", {.stable = true}, "__aB\xE2\x82\xAC"},  // one fold in every unit
        {"c1a2b3", {.skip = 2}, "a2b3c1"},
        {"c1a2b3", {.skip = 2, .compare = 2}, "c1a2b3"},
        {"a3a1b2", {.skip = 2, .compare = 2}, "a1b2a3"},
        {"a3a1b2", {.skip = 2, .all = true}, "a1a3b2"},
        {"dcba", {.part = 2}, "cdba"},
        {"\xF0\x9F\x98\x80" "ba\xE2\x82\xAC", {}, "ab\xE2\x82\xAC\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        Cell* s = str(c.text);
        Cell skip = integer_cell(c.f.skip), compare = integer_cell(c.f.compare),
             part = integer_cell(c.f.part);
        string::sort(s, c.f.case_, c.f.skip ? &skip : nullptr, c.f.compare ? &compare : nullptr,
                     c.f.part ? &part : nullptr, c.f.all, c.f.reverse, c.f.stable);
        EXPECT_EQ(utf8(s), c.result) << c.text;
    }
    Cell* s = str("dcba");
    s->data1 = 3;
    Cell back = integer_cell(-2);
    string::sort(s, false, nullptr, nullptr, &back, false, false, false);
    EXPECT_EQ(s->data1, 1u);
    EXPECT_EQ(utf8(s, true), "dbca");

    Cell* vec = bytes({5, 0, 0xFE, 0xFF, 1, 0}, TYPE_VECTOR, 2, TYPE_INTEGER);
    string::sort(vec, false, nullptr, nullptr, nullptr, false, false, false);
    SeriesBuffer* b = memory::buffer_of(vec->data2);
    std::vector<uint8_t> sorted(b->head_ptr(), b->tail_ptr());
    EXPECT_EQ(sorted, (std::vector<uint8_t>{0xFE, 0xFF, 1, 0, 5, 0}));  // -2 1 5
}

TEST_F(StringActions, SortErrors) {
    Cell* s = str("abcde");
    Cell two = integer_cell(2), three = integer_cell(3), one = integer_cell(1);
    auto sort = [&](Cell* skip, Cell* compare, bool all) {
        return raised([&] { string::sort(s, false, skip, compare, nullptr, all, false, false); });
    };
    EXPECT_EQ(sort(&two, nullptr, false), ErrorId::script_invalid_refine_arg);  // 5 % 2
    EXPECT_EQ(sort(nullptr, nullptr, true), ErrorId::script_bad_refines);
    Cell* s4 = str("abcd");
    EXPECT_EQ(raised([&] { string::sort(s4, false, nullptr, &one, nullptr, false, false, false); }),
              ErrorId::script_bad_refines);
    EXPECT_EQ(raised([&] { string::sort(s4, false, &two, &three, nullptr, false, false, false); }),
              ErrorId::script_out_of_range);
    Cell* other = str("x");
    EXPECT_EQ(raised([&] { string::sort(s4, false, nullptr, nullptr, other, false, false, false); }),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(utf8(s4), "abcd");
}

// ---------------------------------------------------------------- take, swap, sets

TEST_F(StringActions, TakeAndSwap) {
    Cell* s = str("h\xC3\xA9llo");
    Cell* taken = stack::push(s);
    string::take(taken, nullptr, false, false);
    ASSERT_TRUE(taken->is(TYPE_CHAR));
    EXPECT_EQ(taken->data2, uint32_t('h'));
    Cell* part = stack::push(s);
    Cell two = integer_cell(2);
    string::take(part, &two, false, true);
    EXPECT_EQ(utf8(part), "lo");
    EXPECT_EQ(utf8(s), "\xC3\xA9l");

    Cell* a = str("abc");
    Cell* b = str("x\xF0\x9F\x98\x80");
    b->data1 = 1;
    string::swap(a, b);
    EXPECT_EQ(utf8(a), "\xF0\x9F\x98\x80" "bc");
    EXPECT_EQ(utf8(b, true), "xa");
    Cell* bin = bytes({1, 2});
    EXPECT_EQ(raised([&] { string::swap(bin, a); }), ErrorId::script_invalid_arg);
    Cell none = make_cell(TYPE_NONE);
    EXPECT_EQ(raised([&] { string::swap(a, &none); }), ErrorId::script_invalid_arg);
}

TEST_F(StringActions, SetOperations) {
    const struct {
        int op;
        std::string a, b;
        bool case_;
        int skip;
        std::string result;
    } cases[] = {
        {block::SET_UNIQUE, "abcabA", "", false, 0, "abc"},
        {block::SET_UNIQUE, "abcabA", "", true, 0, "abcA"},
        {block::SET_UNION, "abc", "cdA", false, 0, "abcd"},
        {block::SET_UNION, "ab", "\xE2\x82\xAC" "a", false, 0, "ab\xE2\x82\xAC"},
        {block::SET_INTERSECT, "abcd", "DBx", false, 0, "bd"},
        {block::SET_EXCLUDE, "abcd", "DBx", false, 0, "ac"},
        {block::SET_DIFFERENCE, "abcd", "dBx", true, 0, "abcBx"},
        {block::SET_DIFFERENCE, "abcd", "dBx", false, 0, "acx"},
        {block::SET_UNIQUE, "a1a2b3", "", false, 2, "a1b3"},
        {block::SET_UNIQUE, "\xE2\x82\xAC" "a\xE2\x82\xAC\xF0\x9F\x98\x80\xF0\x9F\x98\x80", "", false, 0,
         "\xE2\x82\xAC" "a\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        Cell* a = str(c.a);
        Cell* b = str(c.b);
        Cell skip = integer_cell(c.skip);
        string::set_operation(a, b, c.case_, c.skip ? &skip : nullptr, c.op);
        EXPECT_EQ(utf8(a), c.result) << c.op << ' ' << c.a;
    }
    Cell zero = integer_cell(0);
    EXPECT_EQ(raised([&] { string::set_operation(str("a"), str("b"), false, &zero, block::SET_UNION); }),
              ErrorId::script_invalid_refine_arg);
}

// ---------------------------------------------------------------- make, to, compare, paths

TEST_F(StringActions, MakeAndTo) {
    Cell proto = make_cell(TYPE_DATATYPE, TYPE_STRING);
    Cell ten = integer_cell(10);
    Cell* made = string::make(&proto, &ten, TYPE_FILE);
    EXPECT_TRUE(made->is(TYPE_FILE));
    EXPECT_EQ(string::length_from_head(made), 0);
    Cell minus = integer_cell(-1);
    EXPECT_EQ(raised([&] { string::make(&proto, &minus, TYPE_STRING); }), ErrorId::script_out_of_range);

    Cell* blk = new_block();
    add(blk, *str("a"));
    add(blk, chr('b'));
    add(blk, *str("c"));
    Cell* joined = string::to(&proto, blk, TYPE_STRING);
    EXPECT_EQ(utf8(joined), "abc");

    Cell* url = str("http://x");
    url->set_type(TYPE_URL);
    url->data1 = 7;
    Cell* copy = string::to(&proto, url, TYPE_STRING);
    EXPECT_EQ(copy->header, uint32_t(TYPE_STRING));
    EXPECT_EQ(utf8(copy), "x");
    EXPECT_NE(copy->data2, url->data2);

    Cell* bin = bytes({'o', 'k', 0xE2, 0x82, 0xAC});
    EXPECT_EQ(utf8(string::to(&proto, bin, TYPE_STRING)), "ok\xE2\x82\xAC");
    Cell* bad = bytes({'o', 0xFF});
    EXPECT_EQ(raised([&] { string::to(&proto, bad, TYPE_STRING); }), ErrorId::access_invalid_utf8);
    Cell none = make_cell(TYPE_NONE);
    EXPECT_EQ(raised([&] { string::to(&proto, &none, TYPE_STRING); }), ErrorId::script_bad_to_arg);
}

TEST_F(StringActions, CompareAcrossTheFamily) {
    Cell* s = str("abc");
    Cell* f = str("ABC");
    f->set_type(TYPE_FILE);
    EXPECT_EQ(string::compare(s, f, COMP_EQUAL), 0);
    EXPECT_EQ(string::compare(s, f, COMP_LESSER), COMPARE_UNCOMPARABLE);
    Cell n = integer_cell(1);
    EXPECT_EQ(string::compare(s, &n, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    Cell* t = str("abd");
    EXPECT_EQ(string::compare(s, t, COMP_LESSER), -1);
}

TEST_F(StringActions, PathAccess) {
    Cell* s = str("a=1;b=2");
    Cell two = integer_cell(2);
    Cell* got = string::eval_path(s, &two, nullptr, nullptr, nullptr, nullptr, 0, false, true,
                                  false, false);
    EXPECT_EQ(got->data2, uint32_t('='));
    Cell x = chr('X');
    string::eval_path(s, &two, &x, nullptr, nullptr, nullptr, 0, false, false, false, false);
    EXPECT_EQ(utf8(s), "aX1;b=2");
    Cell b = chr('b');
    got = string::eval_path(s, &b, nullptr, nullptr, nullptr, nullptr, 0, false, true, false, false);
    EXPECT_EQ(got->data2, uint32_t('='));
    Cell* key = str("B=");
    Cell nine = chr('9');
    string::eval_path(s, key, &nine, nullptr, nullptr, nullptr, 0, false, false, false, false);
    EXPECT_EQ(utf8(s), "aX1;b92");
    Cell word = *words::get(words::find);
    EXPECT_EQ(raised([&] { string::eval_path(s, &word, nullptr, nullptr, nullptr, nullptr, 0, false,
                                             true, false, false); }),
              ErrorId::script_invalid_path);
    Cell z = chr('z');
    EXPECT_EQ(raised([&] { string::eval_path(s, &z, &nine, nullptr, nullptr, nullptr, 0, false,
                                             false, false, false); }),
              ErrorId::script_bad_path_set);
}

}  // namespace
