#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <string>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using test_support::bytes_of;
using test_support::error_arg;
using test_support::raised;

namespace {

class Word : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        stack::push_native_frame(nullptr);
    }
};

Cell w(uint32_t type, const char* name, NodeId ctx = 0) {
    return make_cell(type, ctx, symbol::make(name), context::NO_INDEX);
}

std::string name_of(const Cell& c) { return std::string(symbol::name(c.data2)); }

std::u32string chars_of(const Cell* str) {
    std::u32string out;
    for (int32_t i = int32_t(str->data1); i < string::length_from_start(str); i++)
        out += char32_t(string::char_at(str, i));
    return out;
}

struct Text {
    std::u32string text;
    int left;
};
Text render(Cell value, bool mold) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 8);
    int left = mold ? actions::mold_direct(&value, buffer, false, false, false, nullptr, 100, 0)
                    : actions::form_direct(&value, buffer, nullptr, 100);
    return {chars_of(buffer), left};
}

TEST_F(Word, MoldMarksTheTypeAndFormShowsTheName) {
    const struct {
        uint32_t type;
        std::u32string mold;
    } cases[] = {
        {TYPE_WORD, U"a\xE9"},     {TYPE_SET_WORD, U"a\xE9:"},   {TYPE_LIT_WORD, U"'a\xE9"},
        {TYPE_GET_WORD, U":a\xE9"}, {TYPE_REFINEMENT, U"/a\xE9"}, {TYPE_ISSUE, U"#a\xE9"},
    };
    for (const auto& c : cases) {
        Cell value = w(c.type, "a\xC3\xA9");
        Text molded = render(value, true);
        EXPECT_EQ(molded.text, c.mold) << c.type;
        EXPECT_EQ(molded.left, 100 - int(c.mold.size())) << c.type;  // per character
        Text formed = render(value, false);
        EXPECT_EQ(formed.text, U"a\xE9") << c.type;
        EXPECT_EQ(formed.left, 98) << c.type;
    }
}

TEST_F(Word, CompareByCanonicalSymbolTypeAndOperation) {
    NodeId ctx = context::create(1, false, false, 0, context::OBJECT_KIND);
    const struct {
        Cell a, b;
        int op;
        bool holds;
    } cases[] = {
        {w(TYPE_WORD, "foo"), w(TYPE_WORD, "FOO"), COMP_EQUAL, true},
        {w(TYPE_WORD, "foo"), w(TYPE_SET_WORD, "FOO"), COMP_EQUAL, true},
        {w(TYPE_WORD, "foo"), w(TYPE_WORD, "FOO"), COMP_NOT_EQUAL, false},
        {w(TYPE_WORD, "foo"), w(TYPE_WORD, "FOO"), COMP_STRICT_EQUAL, false},
        {w(TYPE_WORD, "foo"), w(TYPE_SET_WORD, "foo"), COMP_STRICT_EQUAL, false},
        {w(TYPE_WORD, "foo"), w(TYPE_WORD, "foo"), COMP_STRICT_EQUAL, true},
        {w(TYPE_WORD, "a"), w(TYPE_LIT_WORD, "a"), COMP_STRICT_LIT, true},
        {w(TYPE_LIT_WORD, "a"), w(TYPE_WORD, "A"), COMP_STRICT_LIT, false},
        {w(TYPE_WORD, "a"), w(TYPE_SET_WORD, "a"), COMP_STRICT_LIT, false},
        {w(TYPE_WORD, "a"), w(TYPE_LIT_WORD, "A"), COMP_LOOSE_LIT, true},
        {w(TYPE_WORD, "a"), w(TYPE_SET_WORD, "a"), COMP_LOOSE_LIT, false},
        {w(TYPE_WORD, "a"), w(TYPE_WORD, "A"), COMP_LOOSE_LIT, true},
        {w(TYPE_WORD, "a"), w(TYPE_WORD, "a"), COMP_SAME, true},
        {w(TYPE_WORD, "a"), w(TYPE_WORD, "a", ctx), COMP_SAME, false},
        {w(TYPE_WORD, "a"), w(TYPE_WORD, "A"), COMP_SAME, false},
        {w(TYPE_WORD, "a"), w(TYPE_WORD, "B"), COMP_LESSER, true},
        {w(TYPE_WORD, "b"), w(TYPE_WORD, "A"), COMP_LESSER, false},
        {w(TYPE_WORD, "a"), w(TYPE_ISSUE, "a"), COMP_EQUAL, false},
        {w(TYPE_ISSUE, "a"), w(TYPE_WORD, "a"), COMP_EQUAL, false},
        {w(TYPE_ISSUE, "a"), w(TYPE_ISSUE, "A"), COMP_EQUAL, true},
        {w(TYPE_ISSUE, "a"), w(TYPE_ISSUE, "A"), COMP_STRICT_EQUAL, false},
        {w(TYPE_REFINEMENT, "a"), w(TYPE_GET_WORD, "A"), COMP_EQUAL, true},
        {w(TYPE_WORD, "a"), integer_cell(1), COMP_EQUAL, false},
    };
    for (auto c : cases)
        EXPECT_EQ(actions::compare(&c.a, &c.b, c.op), c.holds)
            << name_of(c.a) << " " << c.a.type() << " op " << c.op;
    Cell a = w(TYPE_WORD, "a");
    Cell B = w(TYPE_WORD, "B");
    EXPECT_GT(actions::compare_direct(&B, &a, COMP_SORT), 0);
    EXPECT_LT(actions::compare_direct(&B, &a, COMP_CASE_SORT), 0);
    Cell one = integer_cell(1);
    EXPECT_EQ(raised([&] { actions::compare(&a, &one, COMP_LESSER); }),
              ErrorId::script_invalid_compare);
}

TEST_F(Word, IndexAnswersPositionOrNone) {
    Cell g = *word::make_global("indexed");
    auto index_of = [](Cell value) {
        stack::push_native_frame(nullptr);
        stack::push(&value);
        registry::handler<A_INDEX_Q>(value.type())();
        Cell result = *stack::g_base;
        stack::pop_frame();
        return result;
    };
    Cell r = index_of(g);
    EXPECT_EQ(r.type(), uint32_t(TYPE_INTEGER));
    EXPECT_EQ(r.as_int(), int32_t(g.data3) + 1);
    g.set_type(TYPE_SET_WORD);
    EXPECT_EQ(index_of(g).as_int(), int32_t(g.data3) + 1);
    EXPECT_TRUE(index_of(w(TYPE_WORD, "nowhere")).is(TYPE_NONE));
    EXPECT_EQ(registry::entry(TYPE_REFINEMENT, A_INDEX_Q), nullptr);
    EXPECT_EQ(registry::entry(TYPE_ISSUE, A_INDEX_Q), nullptr);
}

Cell to_type(uint32_t type, Cell spec) {
    Cell proto = make_cell(TYPE_DATATYPE, type);
    return *registry::handler<A_TO>(type)(&proto, &spec, int(type));
}

TEST_F(Word, ToWordFromDatatypeLogicAndWords) {
    Cell r = to_type(TYPE_WORD, make_cell(TYPE_DATATYPE, TYPE_INTEGER));
    EXPECT_EQ(r.type(), uint32_t(TYPE_WORD));
    EXPECT_EQ(name_of(r), "integer!");
    EXPECT_EQ(r.data1, context::global());

    r = to_type(TYPE_SET_WORD, shared_false_cell);
    EXPECT_EQ(r.header, uint32_t(TYPE_SET_WORD));
    EXPECT_EQ(name_of(r), "false");
    EXPECT_EQ(r.data1, context::global());

    NodeId ctx = context::create(1, false, false, 0, context::OBJECT_KIND);
    Cell spec = w(TYPE_LIT_WORD, "bound", ctx);
    spec.header |= NEW_LINE_FLAG;
    spec.data3 = 0;
    r = to_type(TYPE_GET_WORD, spec);
    EXPECT_EQ(r.header, uint32_t(TYPE_GET_WORD));  // flags cleared
    EXPECT_EQ(r.data1, ctx);
    EXPECT_EQ(r.data3, 0u);
}

TEST_F(Word, ToWordRefusesOtherTypes) {
    Cell error{};
    EXPECT_EQ(raised([&] { to_type(TYPE_WORD, integer_cell(3)); }, &error), ErrorId::script_bad_to_arg);
    EXPECT_EQ(error_arg(error, 0).type(), uint32_t(TYPE_DATATYPE));
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_WORD));
    EXPECT_EQ(error_arg(error, 1).as_int(), 3);
    EXPECT_EQ(raised([&] { to_type(TYPE_REFINEMENT, make_cell(TYPE_NONE)); }, &error),
              ErrorId::script_bad_to_arg);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_REFINEMENT));
    // Text is scanned by the lexer: a word's text makes the word, other text fails.
    Cell* text = string::load_c_text("abc", 3, 0);
    Cell made = to_type(TYPE_WORD, *text);
    EXPECT_TRUE(made.is(TYPE_WORD));
    EXPECT_EQ(symbol::name(made.data2), "abc");
    raised([&] { to_type(TYPE_WORD, w(TYPE_ISSUE, "123")); });
}

TEST_F(Word, ToIssueTakesTextAsItStands) {
    Cell* text = string::load_c_text("x123", 4, 0);
    text->data1 = 1;
    Cell r = to_type(TYPE_ISSUE, *text);
    EXPECT_EQ(r.header, uint32_t(TYPE_ISSUE));
    EXPECT_EQ(name_of(r), "123");
    EXPECT_EQ(r.data1, context::global());
    EXPECT_EQ(r.data3, context::NO_INDEX);

    r = to_type(TYPE_ISSUE, make_cell(TYPE_CHAR, 0, 0xE9));
    EXPECT_EQ(name_of(r), "\xC3\xA9");

    NodeId ctx = context::create(1, false, false, 0, context::OBJECT_KIND);
    r = to_type(TYPE_ISSUE, w(TYPE_SET_WORD, "kept", ctx));
    EXPECT_EQ(r.type(), uint32_t(TYPE_ISSUE));
    EXPECT_EQ(r.data1, ctx);

    r = to_type(TYPE_ISSUE, make_cell(TYPE_DATATYPE, TYPE_BLOCK));
    EXPECT_EQ(name_of(r), "block!");

    Cell error{};
    EXPECT_EQ(raised([&] { to_type(TYPE_ISSUE, integer_cell(1)); }, &error), ErrorId::script_bad_to_arg);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_ISSUE));
}

TEST_F(Word, PushValueAndSetFromArgs) {
    Cell x = *word::make_global("settable");
    Cell error{};
    EXPECT_EQ(raised([&] { word::push_value(&x); }, &error), ErrorId::script_no_value);
    EXPECT_EQ(error_arg(error, 0).data2, x.data2);
    EXPECT_TRUE(get_word::push_value(&x)->is(TYPE_UNSET));  // no check

    EXPECT_EQ(raised([&] {
                  stack::push_native_frame(nullptr);
                  stack::push(&x);
                  stack::push(&shared_unset_cell);
                  word::set_from_args();
              }),
              ErrorId::script_need_value);

    stack::push_native_frame(nullptr);
    stack::push(&x);
    Cell four = integer_cell(4);
    stack::push(&four);
    word::set_from_args();
    EXPECT_EQ(stack::g_base->as_int(), 4);
    stack::pop_frame();
    EXPECT_EQ(word::push_value(&x)->as_int(), 4);
}

TEST_F(Word, PushersRetypeAndKeepFlags) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell a = w(TYPE_WORD, "a");
    context::add_word(ctx, &a);
    a.header |= NEW_LINE_FLAG;
    using Pusher = Cell* (*)(const Cell*);
    const struct {
        Pusher push;
        uint32_t type;
    } cases[] = {{set_word::push_from, TYPE_SET_WORD},     {lit_word::push_from, TYPE_LIT_WORD},
                 {get_word::push_from, TYPE_GET_WORD},     {refinement::push_from, TYPE_REFINEMENT},
                 {issue::push_from, TYPE_ISSUE},           {word::push_cell, TYPE_WORD}};
    for (const auto& c : cases) {
        Cell* pushed = c.push(&a);
        EXPECT_EQ(pushed, stack::top());
        EXPECT_EQ(pushed->header, c.type | NEW_LINE_FLAG);
        EXPECT_EQ(pushed->data2, a.data2);
    }
    EXPECT_EQ(word::push_context_word(ctx, 0)->data1, ctx);
    EXPECT_EQ(get_word::push_context_word(ctx, 0)->type(), uint32_t(TYPE_GET_WORD));
    EXPECT_EQ(refinement::push_context_word(ctx, 0)->type(), uint32_t(TYPE_REFINEMENT));

    uint32_t s = symbol::make("pushed-global");
    Cell* g = word::push_global(s);
    EXPECT_EQ(g->data1, context::global());
    EXPECT_EQ(int32_t(g->data3), context::find_word(context::global(), s, false));
    Cell init;
    word::init_global(s, &init);
    EXPECT_EQ(init.data3, g->data3);
    Cell block = test_support::keep(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0));
    Cell* appended = word::append_global_name("PUSHED-GLOBAL", &block);
    EXPECT_EQ(appended->data3, g->data3);
    EXPECT_NE(appended->data2, s);
    EXPECT_EQ(memory::buffer_of(block.data2)->used(), 16u);
}

TEST_F(Word, IssuesFromNames) {
    Cell* kept = issue::push_from_cstring("kept-issue");
    memory::SeriesBuffer* root = memory::buffer_of(symbols::root_block()->data2);
    EXPECT_EQ(kept, root->tail_cell() - 1);
    symbols::set_keep_words(false);
    Cell* pushed = issue::push_from_cstring("pushed-issue");
    EXPECT_EQ(pushed, stack::top());
    EXPECT_EQ(pushed->data1, context::global());
    EXPECT_EQ(pushed->data3, context::NO_INDEX);
    Cell made;
    issue::init_from_cstring(&made, "made-issue");
    EXPECT_EQ(made.type(), uint32_t(TYPE_ISSUE));
    EXPECT_EQ(name_of(made), "made-issue");
    Cell* r = refinement::append_from_cstring("ref-name");
    EXPECT_EQ(r, root->tail_cell() - 1);
    EXPECT_EQ(r->data1, 0u);
}

TEST_F(Word, StringOfAWordIsItsOwn) {
    Cell a = w(TYPE_WORD, "shared-name");
    Cell* str = word::push_as_string(&a);
    EXPECT_EQ(bytes_of(str), "shared-name");
    string::append_c_string(str, "!");
    EXPECT_EQ(name_of(a), "shared-name");
    Cell form = make_cell(TYPE_STRING, 0, word::symbol_record(&a)->data2, 0);
    EXPECT_EQ(bytes_of(&form), "shared-name");
    EXPECT_NE(form.data2, str->data2);
}

}  // namespace
