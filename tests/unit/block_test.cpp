#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/hashtable.hpp"
#include "core/runtime.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;
using test_support::bytes_of;
using test_support::error_arg;

namespace {

class BlockTest : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        stack::push_native_frame(nullptr);
    }
};

// Each suite name starts with Block so one filter runs them all.
using BlockRoutines = BlockTest;
using BlockMold = BlockTest;
using BlockCompare = BlockTest;
using BlockPath = BlockTest;
using BlockFind = BlockTest;
using BlockChange = BlockTest;
using BlockSort = BlockTest;
using BlockSetOp = BlockTest;

using test_support::raised;

Cell W(const char* name, uint32_t type = TYPE_WORD) {
    return make_cell(type, 0, symbol::make(name), context::NO_INDEX);
}

std::vector<std::string> tokens_of(const std::string& text) {
    std::string spaced;
    for (char c : text) {
        if (c == '[' || c == ']' || c == '(' || c == ')') spaced += std::string(" ") + c + " ";
        else spaced += c;
    }
    std::istringstream in(spaced);
    std::vector<std::string> tokens;
    for (std::string t; in >> t;) tokens.push_back(t);
    return tokens;
}

Cell value_of(std::string t) {
    if (t == "none") return make_cell(TYPE_NONE);
    if (t == "true" || t == "false") return logic::make_value(t == "true");
    if (t.back() == '!')
        for (uint32_t type = 1; type <= TYPE_EVENT; type++)
            if (registry::type_name(type) && t == registry::type_name(type))
                return make_cell(TYPE_DATATYPE, type);
    if (isdigit(static_cast<unsigned char>(t[0]))) return integer_cell(std::stoi(t));
    if (t.back() == ':') return W(t.substr(0, t.size() - 1).c_str(), TYPE_SET_WORD);
    return W(t.c_str());
}

void fill(Cell* block, const std::vector<std::string>& tokens, size_t& i) {
    while (i < tokens.size()) {
        std::string t = tokens[i++];
        if (t == "]" || t == ")") return;
        bool new_line = t[0] == '^';
        if (new_line) t = t.size() > 1 ? t.substr(1) : tokens[i++];
        Cell value;
        if (t == "[" || t == "(") {
            Cell* inner = block::push_new(4);
            fill(inner, tokens, i);
            inner->set_type(t == "[" ? TYPE_BLOCK : TYPE_PAREN);
            value = *inner;
        } else {
            value = value_of(t);
        }
        if (new_line) value.header |= NEW_LINE_FLAG;
        block::append_cell(block, &value);
    }
}

// The block the text describes, on the value stack: words, set-words, none,
// true, false, datatypes, integers, [..] and (..); a leading ^ gives the value
// a new-line mark.
Cell* B(const std::string& text, uint32_t type = TYPE_BLOCK) {
    std::vector<std::string> tokens = tokens_of(text);
    size_t i = 0;
    Cell* b = block::push_new(4);
    fill(b, tokens, i);
    b->set_type(type);
    return b;
}

struct MoldFlags {
    bool only = false, all = false, flat = false;
    Cell* part = nullptr;
    int limit = 1000;
    int indent = 0;
};

struct Text {
    std::string text;
    int left;
};

Text mold_text(Cell value, MoldFlags f = {}) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    int left = block::mold(&value, buffer, f.only, f.all, f.flat, f.part, f.limit, f.indent);
    return {bytes_of(buffer), left};
}

// The mold of a block of any block type from its head, as a block!.
std::string M(const Cell* value) {
    Cell b = *value;
    b.set_type(TYPE_BLOCK);
    return mold_text(b).text;
}

// The molds of a block from index 0, and its head index.
std::string whole(const Cell* value) {
    Cell b = *value;
    b.data1 = 0;
    return M(&b);
}

Cell* at(Cell* blk, int32_t head) {
    Cell* cell = stack::push(blk);
    cell->data1 = uint32_t(head);
    return cell;
}

Cell* make_hash(const std::string& text) {
    Cell* h = B(text);
    NodeId table = hashtable::make(uint32_t(block::length_from_start(h)), h->data2,
                                   hashtable::KIND_HASH, 0);
    *h = make_cell(TYPE_HASH, 0, h->data2, table);
    return h;
}

// ====================================================================== routines

TEST_F(BlockRoutines, HeadClippingAndStepping) {
    Cell* b = B("a b c");
    EXPECT_EQ(block::count_cells(b), 3);
    b->data1 = 5;
    EXPECT_EQ(block::count_cells(b), -2);  // not clipped
    EXPECT_EQ(block::length_from_head(b), 0);
    EXPECT_TRUE(block::at_tail_q(b));
    EXPECT_EQ(block::head_cell(b), block::tail_cell(b));
    EXPECT_EQ(b->data1, 3u);  // clipped and stored

    b->data1 = 1;
    EXPECT_FALSE(block::next_checked(b));
    EXPECT_EQ(b->data1, 2u);
    EXPECT_TRUE(block::next_checked(b));
    EXPECT_EQ(b->data1, 3u);
    EXPECT_TRUE(block::next_checked(b));
    EXPECT_EQ(b->data1, 3u);  // stays at the tail

    block::remove_last(b);
    EXPECT_EQ(b->data1, 2u);
    EXPECT_EQ(whole(b), "[a b]");
    block::set_tail_at(b, 1);
    EXPECT_EQ(whole(b), "[a]");
    Cell* c = B("a b c");
    c->data1 = 1;
    block::clear_from_head(c);
    EXPECT_EQ(whole(c), "[a]");
}

TEST_F(BlockRoutines, AppendCopiesValuesFromTheGrowingBlockItself) {
    Cell* b = block::push_new(1);
    Cell x = W("x");
    block::append_cell(b, &x);
    for (int i = 0; i < 40; i++) block::append_cell(b, block::cell_at(b, i));
    EXPECT_EQ(block::length_from_start(b), 41);
    for (int i = 0; i < 41; i++) EXPECT_EQ(block::cell_at(b, i)->data2, x.data2);

    Cell* c = B("a b");
    block::append_block(c, c);
    EXPECT_EQ(whole(c), "[a b a b]");
}

TEST_F(BlockRoutines, InsertKeepsOrderAndAdvances) {
    Cell* b = B("a b");
    b->data1 = 1;
    Cell x = W("x"), y = W("y");
    block::insert_value(b, &x, true, false);
    EXPECT_EQ(whole(b), "[a x b]");
    EXPECT_EQ(b->data1, 2u);
    block::insert_value(b, &y, false, true);
    EXPECT_EQ(whole(b), "[y a x b]");
    EXPECT_EQ(b->data1, 2u);

    Cell* t = B("c d");
    block::insert_block(t, B("a b"));
    EXPECT_EQ(whole(t), "[a b c d]");
    EXPECT_EQ(t->data1, 2u);

    // The source is a later part of the target: its cells move as room is made.
    Cell* s = B("a b c");
    block::insert_block(at(s, 0), at(s, 1));
    EXPECT_EQ(whole(s), "[b c a b c]");
}

TEST_F(BlockRoutines, SelectAndRemoveByValue) {
    Cell* b = B("x 1 Y 2 y: 3 z");
    Cell y = W("y"), z = W("z"), q = W("q");
    EXPECT_EQ(block::select_word(b, &y, false)->as_int(), 2);  // any case, first word
    EXPECT_EQ(block::select_word(b, &y, true)->as_int(), 3);   // exact: the set-word
    EXPECT_TRUE(block::select_word(b, &z, false)->is(TYPE_NONE));  // the last cell
    EXPECT_TRUE(block::select_word(b, &q, false)->is(TYPE_NONE));
    EXPECT_EQ(block::select_value(b, &y)->as_int(), 2);
    EXPECT_TRUE(block::select_value(b, &z)->is(TYPE_NONE));

    Cell* r = B("a b c");
    r->data1 = 1;
    Cell a = W("a"), c = W("c");
    EXPECT_FALSE(block::remove_value(r, &a, false));  // searched from the head
    EXPECT_EQ(whole(r), "[a b c]");
    EXPECT_TRUE(block::remove_value(r, &a, true));  // before the head
    EXPECT_EQ(whole(r), "[b c]");
    Cell* s = B("a b c");
    EXPECT_FALSE(block::remove_value(s, &c, false));  // after the head
    EXPECT_EQ(whole(s), "[a b]");
}

TEST_F(BlockRoutines, CloneDeepCopiesNestedBlocksAndKeepsMarks) {
    Cell* b = B("a ^[x [y]] (p)");
    Cell* flat = block::clone(b, false, false);
    EXPECT_EQ(block::cell_at(flat, 1)->data2, block::cell_at(b, 1)->data2);

    Cell* deep = block::clone(b, true, false);
    EXPECT_EQ(M(deep), M(b));
    const Cell* nested = block::cell_at(deep, 1);
    EXPECT_NE(nested->data2, block::cell_at(b, 1)->data2);
    EXPECT_TRUE(nested->header & NEW_LINE_FLAG);
    EXPECT_NE(block::cell_at(nested, 1)->data2, block::cell_at(block::cell_at(b, 1), 1)->data2);
    EXPECT_EQ(block::cell_at(deep, 2)->data2, block::cell_at(b, 2)->data2);  // the paren shared

    Cell* paths = block::clone(b, true, true);
    EXPECT_NE(block::cell_at(paths, 2)->data2, block::cell_at(b, 2)->data2);

    block::append_cell(b, b);
    EXPECT_EQ(test_support::raised([&] { block::clone(b, true, false); }), ErrorId::internal_no_cycle);
}

TEST_F(BlockRoutines, ValueMakers) {
    Cell* p = B("a");
    Cell* made = block::make_in(p, 0);
    EXPECT_TRUE(made->is(TYPE_BLOCK));
    EXPECT_EQ(block::length_from_start(p), 2);
    EXPECT_EQ(block::buffer_of(block::cell_at(p, 1))->size, 16u);
    Cell* fixed = block::make_fixed_in(p, 3);
    EXPECT_TRUE(block::buffer_of(fixed)->flags & memory::MALLOC_FLAG);
    runtime::free(block::buffer_of(fixed));  // such buffers are never collected
    block::cell_at(p, 2)->header = TYPE_NONE;

    Cell* c = stack::push_cell();
    block::make_at_alloc(c, 3, false);
    EXPECT_TRUE(block::buffer_of(c)->head_cell()[2].is(TYPE_UNSET));
    EXPECT_EQ(block::length_from_start(c), 0);

    // Compiled-code forms: argument 0 the block, values pushed above it.
    stack::push_native_frame(nullptr);
    Cell* target = block::push_new(1);
    stack::g_base = target;
    Cell x = W("x"), y = W("y");
    stack::push(&x);
    block::append_second_arg();
    stack::pop(1);
    stack::push(&y);
    block::append_arg();
    EXPECT_EQ(stack::g_top, target + 1);  // the appended value was popped
    stack::push(&y);
    block::insert_arg();
    EXPECT_EQ(whole(target), "[y x y]");
    EXPECT_EQ(target->data1, 1u);
    stack::pop_frame();
}

TEST_F(BlockRoutines, MakeAndTo) {
    auto make = [](uint32_t type, Cell spec) {
        Cell proto = make_cell(TYPE_DATATYPE, type);
        return *block::make(&proto, &spec, int(type));
    };
    auto to = [](uint32_t type, Cell spec) {
        Cell proto = make_cell(TYPE_DATATYPE, type);
        return *block::to(&proto, &spec, int(type));
    };
    for (int n : {0, -3, 5}) {
        Cell b = make(TYPE_BLOCK, integer_cell(n));
        EXPECT_TRUE(b.is(TYPE_BLOCK));
        EXPECT_EQ(block::length_from_start(&b), 0);
        EXPECT_EQ(block::buffer_of(&b)->size, n < 1 ? 16u : 16u * uint32_t(n));
    }
    Cell f = make_cell(TYPE_FLOAT);
    f.set_double(2.9);
    Cell truncated = make(TYPE_BLOCK, f);
    EXPECT_EQ(block::buffer_of(&truncated)->size, 32u);
    Cell big = make_cell(TYPE_FLOAT);
    big.set_double(3e9);
    EXPECT_EQ(test_support::raised([&] { make(TYPE_BLOCK, big); }), ErrorId::script_out_of_range);

    Cell* source = B("a [b]");
    source->data1 = 1;
    Cell paren = make(TYPE_PAREN, *source);
    EXPECT_TRUE(paren.is(TYPE_PAREN));
    EXPECT_EQ(M(&paren), "[[b]]");
    EXPECT_NE(paren.data2, source->data2);

    Cell error{};
    EXPECT_EQ(test_support::raised([&] { make(TYPE_BLOCK, make_cell(TYPE_NONE)); }, &error),
              ErrorId::script_bad_make_arg);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_BLOCK));
    EXPECT_TRUE(error_arg(error, 1).is(TYPE_NONE));

    Cell single = to(TYPE_BLOCK, W("w"));
    EXPECT_EQ(M(&single), "[w]");
    Cell retyped = to(TYPE_PAREN, *B("a b"));
    EXPECT_TRUE(retyped.is(TYPE_PAREN));
    EXPECT_EQ(M(&retyped), "[a b]");
    Cell ts = make_cell(TYPE_TYPESET);
    typeset::add(&ts, TYPE_NONE);
    typeset::add(&ts, TYPE_BLOCK);
    Cell types = to(TYPE_BLOCK, ts);
    EXPECT_EQ(M(&types), "[none! block!]");
}

// ====================================================================== form and mold

TEST_F(BlockMold, NewLineMarksAndIndentation) {
    const struct {
        const char* block;
        MoldFlags flags;
        const char* text;
    } cases[] = {
        {"a ^b", {}, "[a\nb]"},
        {"^a b", {}, "[\n    a b\n]"},
        {"^a ^b", {}, "[\n    a\n    b\n]"},
        {"a [^b c]", {}, "[a [\n    b c\n]]"},
        {"^a [^b c]", {}, "[\n    a [\n        b c\n    ]\n]"},
        {"^a ^b", {.only = true}, "a\nb"},
        {"^a ^b", {.flat = true}, "[a b]"},
        {"^a", {.indent = 1}, "[\n        a\n    ]"},
        {"none true integer! [a]", {.all = true}, "[#(none) #(true) #(integer!) [a]]"},
        {"none true integer!", {}, "[none true integer!]"},
        {"", {}, "[]"},
    };
    for (const auto& c : cases) EXPECT_EQ(mold_text(*B(c.block), c.flags).text, c.text) << c.block;
}

TEST_F(BlockMold, PartStopsTheWalkAndCyclesShowMarkers) {
    Cell* b = B("abc def ghi");
    Cell limit = integer_cell(4);
    Text t = mold_text(*b, {.part = &limit, .limit = 4});
    EXPECT_EQ(t.text, "[abc]");
    EXPECT_EQ(t.left, -1);

    Cell* self = B("a");
    block::append_cell(self, self);
    EXPECT_EQ(mold_text(*self).text, "[a [...]]");
    EXPECT_EQ(cycles::depth(), 0);

    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    EXPECT_EQ(block::form(self, buffer, nullptr, 100), 100 - 5);
    EXPECT_EQ(bytes_of(buffer), "a ...");
}

TEST_F(BlockMold, FormJoinsWithSpacesExceptAfterLineBreaks) {
    auto form = [](Cell value, Cell* part, int limit) {
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        int left = block::form(&value, buffer, part, limit);
        return Text{bytes_of(buffer), left};
    };
    EXPECT_EQ(form(*B("a [b [c]] none integer!"), nullptr, 100).text, "a b c none integer");
    // A name ending in a line feed stands for any value whose text does.
    Cell* b = B("x");
    Cell broken = W("y\n"), z = W("z");
    block::append_cell(b, &broken);
    block::append_cell(b, &z);
    EXPECT_EQ(form(*b, nullptr, 100).text, "x y\nz");

    Cell limit = integer_cell(5);
    Text t = form(*B("abc def ghi"), &limit, 5);
    EXPECT_EQ(t.text, "abc def");
    EXPECT_EQ(t.left, -2);
}

// ====================================================================== compare

TEST_F(BlockCompare, OrderAndEquality) {
    const struct {
        const char *a, *b;
        int op;
        int sign;  // -1, 0, 1
    } cases[] = {
        {"a [b c]", "a [b c]", COMP_EQUAL, 0},
        {"a b", "A b", COMP_EQUAL, 0},
        {"a b", "A b", COMP_STRICT_EQUAL, 1},
        {"a b", "a c", COMP_EQUAL, 1},
        {"a", "a b", COMP_EQUAL, 1},  // lengths differ
        {"a", "a b", COMP_SORT, -1},  // a prefix sorts first
        {"a b", "a", COMP_SORT, 1},
        {"", "a", COMP_SORT, -1},
        {"", "", COMP_SORT, 0},
        {"a", "integer!", COMP_SORT, 1},  // by type id: datatype! first
        {"none", "a", COMP_SORT, -1},
        {"a b", "a: c", COMP_SORT, -1},  // word types compare by name
        {"b", "A", COMP_SORT, 1},
        {"b", "A", COMP_CASE_SORT, 1},
        {"B", "a", COMP_CASE_SORT, -1},
        {"a 1", "a 2", COMP_SORT, -1},
        {"a 1", "a 1", COMP_EQUAL, 0},
    };
    auto sign = [](int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; };
    for (const auto& c : cases)
        EXPECT_EQ(sign(block::compare(B(c.a), B(c.b), c.op)), c.sign)
            << "[" << c.a << "] [" << c.b << "] op " << c.op;
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(BlockCompare, TypesSamenessAndCycles) {
    Cell* b = B("a");
    Cell* p = B("a", TYPE_PAREN);
    EXPECT_EQ(block::compare(b, p, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    EXPECT_FALSE(actions::compare(b, p, COMP_EQUAL));

    Cell* path = B("a b", TYPE_PATH);
    Cell* lit = B("a b", TYPE_LIT_PATH);
    EXPECT_EQ(block::compare(path, lit, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    EXPECT_EQ(block::compare(path, lit, COMP_STRICT_LIT), 0);
    EXPECT_EQ(block::compare(lit, path, COMP_LOOSE_LIT), 0);

    Cell* copy = stack::push(b);
    Cell* clone = block::clone(b, false, false);
    EXPECT_EQ(block::compare(b, copy, COMP_SAME), 0);
    EXPECT_EQ(block::compare(b, clone, COMP_SAME), -1);
    EXPECT_EQ(block::compare(b, clone, COMP_EQUAL), 0);
    EXPECT_EQ(block::compare(b, at(b, 1), COMP_SAME), -1);

    Cell* x = B("x");
    Cell* y = B("x");
    block::append_cell(x, x);
    block::append_cell(y, y);
    EXPECT_EQ(block::compare(x, y, COMP_EQUAL), 0);  // terminates on the cycles
    EXPECT_EQ(cycles::depth(), 0);
}

// ====================================================================== path access

TEST_F(BlockPath, ReadAndSetThroughElements) {
    auto read = [](Cell* parent, Cell element, bool case_ = false) {
        return *block::eval_path(parent, &element, nullptr, nullptr, nullptr, nullptr, 1, case_,
                                 true, true, false);
    };
    auto set = [](Cell* parent, Cell element, Cell value) {
        Cell path = *B("p q", TYPE_PATH);
        return *block::eval_path(parent, &element, &value, &path, nullptr, nullptr, 1, false,
                                 false, true, false);
    };
    Cell* b = B("x 1 y 2 true 7");
    EXPECT_EQ(read(b, W("x")).as_int(), 1);
    EXPECT_EQ(read(b, W("X")).as_int(), 1);
    EXPECT_TRUE(read(b, W("X"), true).is(TYPE_NONE));
    EXPECT_TRUE(read(B("x"), W("x")).is(TYPE_NONE));
    EXPECT_EQ(read(b, logic::make_value(true)).as_int(), 7);
    EXPECT_EQ(read(b, integer_cell(2)).as_int(), 1);
    for (int i : {0, 7, -1}) EXPECT_TRUE(read(b, integer_cell(i)).is(TYPE_NONE)) << i;
    EXPECT_EQ(read(at(b, 2), integer_cell(-1)).as_int(), 1);

    EXPECT_EQ(set(b, W("y"), W("v")).data2, W("v").data2);
    EXPECT_EQ(block::cell_at(b, 3)->data2, W("v").data2);
    set(b, integer_cell(1), W("w"));
    EXPECT_EQ(block::cell_at(b, 0)->data2, W("w").data2);

    Cell error{};
    EXPECT_EQ(test_support::raised([&] { set(b, W("z"), W("v")); }, &error), ErrorId::script_bad_path_set);
    EXPECT_TRUE(error_arg(error, 0).is(TYPE_PATH));
    EXPECT_EQ(error_arg(error, 1).data2, W("z").data2);
    EXPECT_EQ(test_support::raised([&] { set(B("x 1 y"), W("y"), W("v")); }, &error),
              ErrorId::script_out_of_range);
    EXPECT_EQ(error_arg(error, 0).as_int(), 2);
    EXPECT_EQ(test_support::raised([&] { set(b, integer_cell(9), W("v")); }), ErrorId::script_out_of_range);
}

// ====================================================================== find, select, put

struct FindArgs {
    Cell* part = nullptr;
    bool only = false, case_ = false, same = false;
    Cell* skip = nullptr;
    bool last = false, reverse = false, tail = false, match = false;
};

// The head index of the result, or -1 for none.
int find_at(Cell* series, Cell value, FindArgs a = {}) {
    Cell* s = stack::push(series);
    Cell* r = block::find(s, &value, a.part, a.only, a.case_, a.same, false, nullptr, a.skip,
                          a.last, a.reverse, a.tail, a.match);
    if (r->is(TYPE_NONE)) return -1;
    EXPECT_EQ(r->data2, series->data2);
    return int(r->data1);
}

TEST_F(BlockFind, MatchKindsAndRefinements) {
    Cell* s = B("a b c a b c");
    Cell two = integer_cell(2), three = integer_cell(3), zero = integer_cell(0);
    Cell ts = make_cell(TYPE_TYPESET);
    typeset::add(&ts, TYPE_WORD);
    const struct {
        Cell* series;
        Cell value;
        FindArgs args;
        int expected;
        const char* what;
    } cases[] = {
        {s, W("b"), {}, 1, "single"},
        {s, *B("b c"), {}, 1, "sequence"},
        {s, *B("b c"), {.only = true}, -1, "sequence only"},
        {B("a [b c]"), *B("b c"), {.only = true}, 1, "block only"},
        {s, *B("b c"), {.tail = true}, 3, "sequence tail"},
        {s, W("b"), {.tail = true}, 2, "single tail"},
        {s, *B(""), {}, -1, "empty sequence"},
        {s, W("a"), {.last = true}, 3, "last"},
        {s, *B("a b"), {.last = true}, 3, "last sequence"},
        {at(s, 3), W("a"), {.reverse = true}, 0, "reverse"},
        {at(s, 3), W("c"), {.reverse = true}, 2, "reverse from before the head"},
        {at(s, 3), *B("b c"), {.reverse = true}, 1, "reverse sequence"},
        {s, W("a"), {.reverse = true}, -1, "reverse at the start"},
        {B("3 a 4"), make_cell(TYPE_DATATYPE, TYPE_WORD), {}, 1, "datatype"},
        {B("3 a 4"), make_cell(TYPE_DATATYPE, TYPE_WORD), {.only = true}, -1, "datatype only"},
        {B("3 4 a"), ts, {}, 2, "typeset"},
        {s, W("c"), {.part = &two}, -1, "part short"},
        {s, W("c"), {.part = &three}, 2, "part"},
        {s, W("a"), {.part = &zero}, -1, "part zero"},
        {s, W("b"), {.part = at(s, 2)}, 1, "part series"},
        {s, W("c"), {.part = at(s, 2)}, -1, "part series short"},
        {B("a x b x a x"), W("b"), {.skip = &two}, 2, "skip"},
        {B("a x b x a x"), W("x"), {.skip = &two}, -1, "skip keys only"},
        {B("a x b x a x"), W("a"), {.skip = &two, .last = true}, 4, "skip last"},
        {B("a x b x a"), W("b"), {.skip = &two, .last = true}, 2, "skip last records"},
        {at(B("a x b x a x"), 4), W("x"), {.skip = &two, .reverse = true}, 3, "skip reverse"},
        {at(B("a x b x a x"), 4), W("b"), {.skip = &two, .reverse = true}, -1, "skip reverse steps"},
        {s, W("a"), {.match = true}, 0, "match"},
        {s, W("b"), {.match = true}, -1, "match at head only"},
        {s, W("a"), {.tail = true, .match = true}, 1, "match tail"},
        {B("A a"), W("a"), {.case_ = true}, 1, "case"},
        {B("A a"), W("a"), {}, 0, "any case"},
        {at(s, 6), W("a"), {}, -1, "at tail"},
        {at(s, 9), W("c"), {.reverse = true}, 5, "reverse past the tail"},
    };
    for (const auto& c : cases) EXPECT_EQ(find_at(c.series, c.value, c.args), c.expected) << c.what;

    Cell* nested = B("[x] [x]");
    Cell first = *block::cell_at(nested, 0);
    EXPECT_EQ(find_at(nested, first, {.only = true, .same = true}), 0);
    Cell lookalike = *block::clone(&first, false, false);
    EXPECT_EQ(find_at(nested, lookalike, {.only = true}), 0);
    EXPECT_EQ(find_at(nested, lookalike, {.only = true, .same = true}), -1);
}

TEST_F(BlockFind, BadRefinementsRaise) {
    Cell* s = B("a b c");
    Cell zero = integer_cell(0), none = make_cell(TYPE_NONE), word = W("w");
    Cell error{};
    EXPECT_EQ(test_support::raised([&] { find_at(s, W("a"), {.skip = &zero}); }, &error),
              ErrorId::script_out_of_range);
    EXPECT_EQ(error_arg(error, 0).as_int(), 0);
    EXPECT_EQ(test_support::raised([&] { find_at(s, W("a"), {.skip = &none}); }, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(std::string(symbol::name(error_arg(error, 0).data2)), "skip");
    EXPECT_EQ(test_support::raised([&] { find_at(s, W("a"), {.part = &word}); }, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(std::string(symbol::name(error_arg(error, 0).data2)), "part");
    EXPECT_EQ(test_support::raised([&] { find_at(s, W("a"), {.part = B("a b c")}); }),
              ErrorId::script_invalid_refine_arg);  // another node
}

TEST_F(BlockFind, SelectAndPut) {
    auto select = [](Cell* series, Cell value, FindArgs a = {}) {
        Cell* s = stack::push(series);
        return *block::select(s, &value, a.part, a.only, a.case_, a.same, false, nullptr, a.skip,
                              a.last, a.reverse);
    };
    Cell* b = B("a 1 b");
    EXPECT_EQ(select(b, W("a")).as_int(), 1);
    EXPECT_TRUE(select(b, W("b")).is(TYPE_NONE));
    EXPECT_TRUE(select(b, W("q")).is(TYPE_NONE));
    EXPECT_EQ(select(B("x y z w"), *B("x y")).data2, W("z").data2);
    Cell two = integer_cell(2);
    EXPECT_EQ(select(B("k a a b"), W("a"), {.skip = &two}).data2, W("b").data2);

    auto put = [](Cell* series, Cell key, Cell value) {
        Cell* s = stack::push(series);
        return *block::put(s, &key, &value, false);
    };
    Cell* m = B("a p b q");
    EXPECT_EQ(put(m, W("c"), W("r")).data2, W("r").data2);
    EXPECT_EQ(whole(m), "[a p b q c r]");
    put(m, W("B"), W("s"));
    EXPECT_EQ(whole(m), "[a p b s c r]");
    Cell* last = B("a p z");
    put(last, W("z"), W("t"));
    EXPECT_EQ(whole(last), "[a p z t]");
}

// ====================================================================== append, change, take...

Cell* append(Cell* series, Cell value, int part = -1, bool only = false, int dup = 1,
             bool is_append = true) {
    Cell* s = stack::push(series);
    return block::append(s, &value, part, only, dup, is_append);
}

TEST_F(BlockChange, AppendAndInsert) {
    const struct {
        const char* target;
        int head;
        const char* value;  // a block value unless single
        bool single, only;
        int part, dup;
        bool is_append;
        const char* result;
        int result_head;
    } cases[] = {
        {"a", 0, "b", true, false, -1, 3, true, "[a b b b]", 0},
        {"a", 0, "b c", false, false, -1, 1, true, "[a b c]", 0},
        {"a", 0, "b c", false, true, -1, 1, true, "[a [b c]]", 0},
        {"a", 0, "b c", false, false, 1, 1, true, "[a b]", 0},
        {"a", 0, "b c", false, false, 9, 1, true, "[a b c]", 0},
        {"a", 0, "x y", false, false, -1, 3, true, "[a x y x y x y]", 0},
        {"a", 0, "b", true, false, -1, 0, true, "[a]", 0},
        {"a", 0, "b", true, false, -1, 6, true, "[a b b b b b b]", 0},
        {"c", 0, "a b", false, false, -1, 1, false, "[a b c]", 2},
        {"a c", 1, "x", true, false, -1, 1, false, "[a x c]", 2},
        {"a c", 1, "x", true, false, -1, 2, false, "[a x x c]", 3},
        {"a c", 5, "x", true, false, -1, 1, false, "[a c x]", 3},
        {"a", 0, "", false, false, -1, 1, false, "[a]", 0},
    };
    for (const auto& c : cases) {
        Cell value = c.single ? W(c.value) : *B(c.value);
        Cell* r = append(at(B(c.target), c.head), value, c.part, c.only, c.dup, c.is_append);
        EXPECT_EQ(whole(r), c.result) << c.target << " + " << c.value;
        EXPECT_EQ(int(r->data1), c.result_head) << c.target << " + " << c.value;
    }
    Cell* self = B("a b");
    append(self, *self);
    EXPECT_EQ(whole(self), "[a b a b]");
    Cell* front = B("a b");
    append(front, *front, -1, false, 1, false);
    EXPECT_EQ(whole(front), "[a b a b]");
}

TEST_F(BlockChange, ChangeReplacesAndShifts) {
    auto change = [](Cell* series, Cell value, int part = -1, bool only = false, int dup = 1) {
        Cell* s = stack::push(series);
        return block::change(s, &value, part, only, dup);
    };
    const struct {
        const char* target;
        int head;
        const char* value;
        bool single, only;
        int part, dup;
        const char* result;
        int result_head;
    } cases[] = {
        {"a b c", 0, "x", true, false, -1, 1, "[x b c]", 1},
        {"a b c d", 0, "x", false, false, 2, 1, "[x c d]", 1},
        {"a b", 0, "x y z", false, false, -1, 1, "[x y z]", 3},
        {"a b c d", 1, "x y", false, false, 0, 1, "[a x y b c d]", 3},
        {"a b c d", 0, "x", true, false, -1, 3, "[x x x d]", 3},
        {"a b", 0, "x y", false, true, -1, 1, "[[x y] b]", 1},
        {"a b", 2, "x", true, false, -1, 1, "[a b x]", 3},
        {"a b c", 1, "", false, false, 5, 1, "[a]", 1},
    };
    for (const auto& c : cases) {
        Cell value = c.single ? W(c.value) : *B(c.value);
        Cell* r = change(at(B(c.target), c.head), value, c.part, c.only, c.dup);
        EXPECT_EQ(whole(r), c.result) << c.target << " <- " << c.value;
        EXPECT_EQ(int(r->data1), c.result_head) << c.target << " <- " << c.value;
    }
    // The source lies after the replaced cells in the same block.
    Cell* s = B("a b c d");
    Cell* r = change(at(s, 0), *at(s, 2), 1);
    EXPECT_EQ(whole(r), "[c d b c d]");
    EXPECT_EQ(r->data1, 2u);
    // ... and across them.
    Cell* t = B("a b c d");
    change(at(t, 1), *at(t, 0), 1);
    EXPECT_EQ(whole(t), "[a a b c d c d]");
}

TEST_F(BlockChange, Take) {
    auto take = [](Cell* series, Cell* part = nullptr, bool deep = false, bool last = false) {
        Cell* s = stack::push(series);
        return *block::take(s, part, deep, last);
    };
    Cell two = integer_cell(2), minus = integer_cell(-1), zero = integer_cell(0);
    EXPECT_TRUE(take(B("")).is(TYPE_NONE));
    EXPECT_TRUE(take(at(B("a"), 1)).is(TYPE_NONE));

    Cell* b = B("a b c");
    EXPECT_EQ(take(b).data2, W("a").data2);
    EXPECT_EQ(take(b, nullptr, false, true).data2, W("c").data2);
    EXPECT_EQ(whole(b), "[b]");

    const struct {
        const char* block;
        int head;
        Cell* part;
        bool last;
        const char* taken;
        const char* left;
    } cases[] = {
        {"a b c", 0, &two, false, "[a b]", "[c]"},
        {"a b c", 0, &two, true, "[b c]", "[a]"},
        {"a b c", 2, &minus, false, "[b]", "[a c]"},
        {"a b c", 0, &minus, false, "[]", "[a b c]"},
        {"a b c", 2, &minus, true, "[]", "[a b c]"},
        {"a b c", 1, &zero, false, "[]", "[a b c]"},
        {"a b c", 1, &two, false, "[b c]", "[a]"},
    };
    for (const auto& c : cases) {
        Cell* s = at(B(c.block), c.head);
        Cell taken = take(s, c.part, false, c.last);
        EXPECT_EQ(M(&taken), c.taken) << c.block << " " << c.head;
        EXPECT_EQ(whole(s), c.left) << c.block << " " << c.head;
    }
    Cell* p = B("a b c");
    Cell taken = take(p, at(p, 2));
    EXPECT_EQ(M(&taken), "[a b]");
    Cell* q = B("a b c");
    taken = take(q, at(q, 1), false, true);
    EXPECT_EQ(M(&taken), "[b c]");
    Cell word = W("w");
    EXPECT_EQ(test_support::raised([&] { take(B("a"), &word); }), ErrorId::script_invalid_refine_arg);

    Cell* nested = B("[x] y");
    NodeId inner = block::cell_at(nested, 0)->data2;
    Cell copy = take(nested, nullptr, true);
    EXPECT_EQ(M(&copy), "[x]");
    EXPECT_NE(copy.data2, inner);
    Cell* nested2 = B("[x] [y]");
    Cell run = take(nested2, &two, true);
    EXPECT_EQ(M(&run), "[[x] [y]]");
    EXPECT_NE(block::cell_at(&run, 0)->data2, inner);
}

TEST_F(BlockChange, SwapAndTrim) {
    Cell* a = B("a b");
    Cell* b = B("c d");
    EXPECT_EQ(block::swap(a, b), a);
    EXPECT_EQ(whole(a), "[c b]");
    EXPECT_EQ(whole(b), "[a d]");
    block::swap(at(a, 2), b);
    EXPECT_EQ(whole(b), "[a d]");
    Cell word = W("w");
    EXPECT_EQ(test_support::raised([&] { block::swap(a, &word); }), ErrorId::script_invalid_arg);

    Cell* t = B("none a none b");
    Cell none_word = W("none");
    block::append_cell(t, &none_word);
    t->data1 = 1;
    block::trim(t, false, false, false, false, false, nullptr);
    EXPECT_EQ(whole(t), "[none a b none]");  // the head's none stays, the word too
    EXPECT_TRUE(block::cell_at(t, 0)->is(TYPE_NONE));
    EXPECT_TRUE(block::cell_at(t, 3)->is(TYPE_WORD));
}

TEST_F(BlockChange, CopyPartsDeepAndTypes) {
    auto copy = [](Cell* series, Cell* part = nullptr, bool deep = false, Cell* types = nullptr) {
        Cell* s = stack::push(series);
        Cell* result = stack::push_cell();
        return *block::copy(s, result, part, deep, types);
    };
    Cell two = integer_cell(2), minus = integer_cell(-1), far = integer_cell(-5);
    Cell pair = make_cell(TYPE_PAIR, 0, 2, 3), word = W("w");
    Cell* b = B("a b c");
    const struct {
        Cell* series;
        Cell* part;
        const char* result;
    } cases[] = {
        {b, nullptr, "[a b c]"}, {b, &two, "[a b]"},       {at(b, 2), &minus, "[b]"},
        {at(b, 2), &far, "[a b]"}, {b, &pair, "[b]"},     {b, at(b, 2), "[a b]"},
        {at(b, 7), nullptr, "[]"}, {at(b, 1), &far, "[a]"},
    };
    for (const auto& c : cases) {
        Cell r = copy(c.series, c.part);
        EXPECT_EQ(M(&r), c.result);
        EXPECT_NE(r.data2, b->data2);
        EXPECT_EQ(r.data1, 0u);
    }
    EXPECT_EQ(test_support::raised([&] { copy(b, &word); }), ErrorId::script_invalid_refine_arg);

    Cell* marked = B("a");
    marked->header |= NEW_LINE_FLAG;
    EXPECT_TRUE(copy(marked).header & NEW_LINE_FLAG);

    Cell* nested = B("[x [y]] (p)");
    NodeId inner = block::cell_at(nested, 0)->data2;
    Cell shallow = copy(nested);
    EXPECT_EQ(block::cell_at(&shallow, 0)->data2, inner);
    Cell deep = copy(nested, nullptr, true);
    EXPECT_EQ(M(&deep), M(nested));
    EXPECT_NE(block::cell_at(&deep, 0)->data2, inner);
    EXPECT_NE(block::cell_at(&deep, 1)->data2, block::cell_at(nested, 1)->data2);
    EXPECT_NE(block::cell_at(block::cell_at(&deep, 0), 1)->data2,
              block::cell_at(block::cell_at(nested, 0), 1)->data2);

    Cell block_type = make_cell(TYPE_DATATYPE, TYPE_BLOCK);
    Cell typed = copy(nested, nullptr, false, &block_type);
    EXPECT_NE(block::cell_at(&typed, 0)->data2, inner);
    EXPECT_EQ(block::cell_at(&typed, 1)->data2, block::cell_at(nested, 1)->data2);

    Cell* self = B("a");
    block::append_cell(self, self);
    EXPECT_EQ(test_support::raised([&] { copy(self, nullptr, true); }), ErrorId::internal_no_cycle);
    EXPECT_EQ(cycles::depth(), 0);
}

// ====================================================================== sort

struct SortArgs {
    bool case_ = false;
    Cell* skip = nullptr;
    Cell* compare = nullptr;
    Cell* part = nullptr;
    bool all = false, reverse = false, stable = false;
};

Cell* sort(Cell* series, SortArgs a = {}) {
    Cell* s = stack::push(series);
    return block::sort(s, a.case_, a.skip, a.compare, a.part, a.all, a.reverse, a.stable);
}

TEST_F(BlockSort, OrdersRecordsByRefinements) {
    Cell two = integer_cell(2), one = integer_cell(1);
    Cell* tail_part = B("c b a");
    const struct {
        Cell* series;
        SortArgs args;
        const char* result;
    } cases[] = {
        {B("c a b"), {}, "[a b c]"},
        {B("3 10 1 2"), {}, "[1 2 3 10]"},
        {B("c a b"), {.stable = true}, "[a b c]"},
        {B("c a b"), {.reverse = true}, "[c b a]"},
        {B("b x a y"), {.skip = &two}, "[a y b x]"},
        {B("a z b y"), {.skip = &two, .compare = &two}, "[b y a z]"},
        {B("a z b y"), {.skip = &two, .compare = &one}, "[a z b y]"},
        {B("a z a y"), {.skip = &two, .all = true}, "[a y a z]"},
        {B("b p a q b r a s"), {.skip = &two, .stable = true}, "[a q a s b p b r]"},
        {B("b A a B"), {.stable = true}, "[A a b B]"},
        {B("b A a B"), {.case_ = true}, "[A B a b]"},
        {B("c b a"), {.part = &two}, "[b c a]"},
        {tail_part, {.part = at(tail_part, 2)}, "[b c a]"},
        {B("b integer! a none true"), {}, "[integer! none true a b]"},
        {at(B("c b a"), 1), {}, "[c a b]"},
    };
    for (const auto& c : cases) {
        Cell* r = sort(c.series, c.args);
        EXPECT_EQ(whole(r), c.result);
    }
    Cell* back = at(B("c b a"), 2);
    Cell minus = integer_cell(-2);
    Cell* r = sort(back, {.part = &minus});
    EXPECT_EQ(whole(r), "[b c a]");
    EXPECT_EQ(r->data1, 0u);
}

TEST_F(BlockSort, RejectsBadRefinements) {
    Cell two = integer_cell(2), three = integer_cell(3), zero = integer_cell(0);
    Cell none = make_cell(TYPE_NONE);
    const struct {
        SortArgs args;
        ErrorId error;
    } cases[] = {
        {{.skip = &three}, ErrorId::script_invalid_refine_arg},
        {{.skip = &zero}, ErrorId::script_invalid_refine_arg},
        {{.skip = &none}, ErrorId::script_invalid_refine_arg},
        {{.skip = &two, .compare = &three}, ErrorId::script_out_of_range},
        {{.skip = &two, .compare = &zero}, ErrorId::script_out_of_range},
        {{.compare = &two}, ErrorId::script_bad_refines},
        {{.skip = &two, .compare = &two, .all = true}, ErrorId::script_bad_refines},
        {{.all = true}, ErrorId::script_bad_refines},
        {{.compare = &none}, ErrorId::script_invalid_refine_arg},
        {{.part = &none}, ErrorId::script_invalid_refine_arg},
    };
    for (const auto& c : cases) {
        Cell* b = B("d c b a");
        EXPECT_EQ(test_support::raised([&] { sort(b, c.args); }), c.error);
        EXPECT_EQ(whole(b), "[d c b a]");
    }
}

// ====================================================================== set operations

Cell set_op(int op, Cell* set1, Cell* set2, bool case_ = false, Cell* skip = nullptr) {
    Cell* a = stack::push(set1);
    Cell* b = set2 ? stack::push(set2) : nullptr;
    return *block::set_operation(a, b, case_, skip, op);
}

TEST_F(BlockSetOp, OperationsOnWordsAndBlocks) {
    Cell two = integer_cell(2);
    const struct {
        int op;
        const char *a, *b;
        bool case_;
        Cell* skip;
        const char* result;
    } cases[] = {
        {block::SET_UNIQUE, "a b a b", nullptr, false, nullptr, "[a b]"},
        {block::SET_UNION, "a b", "b c", false, nullptr, "[a b c]"},
        {block::SET_UNION, "a a", "c c", false, nullptr, "[a c]"},
        {block::SET_INTERSECT, "a b c", "c b d", false, nullptr, "[b c]"},
        {block::SET_DIFFERENCE, "a b", "b c", false, nullptr, "[a c]"},
        {block::SET_EXCLUDE, "a b", "b c", false, nullptr, "[a]"},
        {block::SET_UNIQUE, "a A", nullptr, false, nullptr, "[a]"},
        {block::SET_UNIQUE, "a A", nullptr, true, nullptr, "[a A]"},
        {block::SET_EXCLUDE, "a b", "A", true, nullptr, "[a b]"},
        {block::SET_UNIQUE, "a x a y b z", nullptr, false, &two, "[a x b z]"},
        {block::SET_INTERSECT, "a x b y", "y a", false, &two, "[]"},
        {block::SET_INTERSECT, "a x b y", "b q", false, &two, "[b y]"},
        {block::SET_UNIQUE, "[x] [x] [y] x", nullptr, false, nullptr, "[[x] [y] x]"},
        {block::SET_INTERSECT, "[x] a", "b [x]", false, nullptr, "[[x]]"},
        {block::SET_UNIQUE, "none none true", nullptr, false, nullptr, "[none true]"},
        {block::SET_UNION, "", "", false, nullptr, "[]"},
        {block::SET_UNIQUE, "1 2 1 2", nullptr, false, nullptr, "[1 2]"},
        {block::SET_UNION, "1 2", "2 3", false, nullptr, "[1 2 3]"},
        {block::SET_DIFFERENCE, "1 2", "2 3", false, nullptr, "[1 3]"},
        {block::SET_EXCLUDE, "1 2", "2 3", false, nullptr, "[1]"},
    };
    for (const auto& c : cases) {
        Cell r = set_op(c.op, B(c.a), c.b ? B(c.b) : nullptr, c.case_, c.skip);
        EXPECT_TRUE(r.is(TYPE_BLOCK));
        EXPECT_EQ(r.data3, 0u);
        EXPECT_EQ(M(&r), c.result) << c.op << " [" << c.a << "]";
    }
    Cell r = set_op(block::SET_UNIQUE, at(B("a b a c"), 1), nullptr);
    EXPECT_EQ(M(&r), "[b a c]");
    Cell zero = integer_cell(0);
    EXPECT_EQ(test_support::raised([&] { set_op(block::SET_UNIQUE, B("a"), nullptr, false, &zero); }),
              ErrorId::script_invalid_refine_arg);
}

TEST_F(BlockSetOp, HashSetsKeepTheResultTable) {
    Cell r = set_op(block::SET_UNION, B("a b"), make_hash("b c"));
    ASSERT_TRUE(r.is(TYPE_HASH));  // a kept table makes the result a hash!
    EXPECT_NE(r.data3, 0u);
    EXPECT_EQ(find_at(&r, W("c")), 2);
    Cell h = set_op(block::SET_UNIQUE, make_hash("a x a y"), nullptr);
    EXPECT_TRUE(h.is(TYPE_HASH));
    EXPECT_EQ(find_at(&h, W("x")), 1);  // every cell indexed, not only the keys
}

// ====================================================================== hash! upkeep

// Every edit through the block actions keeps a hash!'s index answering as a
// linear search of the same cells does.
TEST_F(BlockChange, HashIndexFollowsEdits) {
    Cell* h = make_hash("a b c a");
    const char* names[] = {"a", "b", "c", "x", "y", "z"};
    auto check = [&](const char* step) {
        Cell plain = *h;
        plain.set_type(TYPE_BLOCK);
        plain.data3 = 0;
        plain.data1 = 0;
        Cell hashed = *h;
        hashed.data1 = 0;
        for (const char* n : names) {
            EXPECT_EQ(find_at(&hashed, W(n)), find_at(&plain, W(n))) << step << " " << n;
            EXPECT_EQ(find_at(&hashed, W(n), {.last = true}), find_at(&plain, W(n), {.last = true}))
                << step << " " << n;
        }
    };
    check("made");
    append(at(h, 1), W("x"), -1, false, 1, false);
    check("insert");
    append(h, *B("y z"), -1, false, 2, true);
    check("append dup");
    Cell y = W("y");
    block::change(at(h, 0), &y, 2, false, 1);
    check("change");
    block::take(stack::push(h), nullptr, false, false);
    check("take");
    Cell two = integer_cell(2);
    block::take(at(h, 1), &two, false, false);
    check("take part");
    Cell key = W("z"), value = W("c");
    block::put(stack::push(h), &key, &value, false);
    check("put");
    block::swap(at(h, 0), at(h, 2));
    check("swap");
    Cell a = W("a");
    block::remove_value(h, &a, true);
    check("remove");
    block::append_cell(h, &a);  // a raw append: index it as the routine's callers do
    hashtable::put(h->data3, block::cell_at(h, block::length_from_start(h) - 1));
    sort(h);
    check("sort");
}

}  // namespace
