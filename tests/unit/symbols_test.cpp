#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <string>

#include "core/case_folding.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

class Symbol : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        unicode::init_case_tables();
        symbols::init();
    }
};

std::u32string chars_of(const Cell* str) {
    std::u32string out;
    for (int32_t i = int32_t(str->data1); i < string::length_from_start(str); i++)
        out += char32_t(string::char_at(str, i));
    return out;
}

std::string name_of(uint32_t id) { return std::string(symbol::name(id)); }

TEST_F(Symbol, CaseVariantsGetTheirOwnSymbolAliasingTheFirst) {
    uint32_t count = symbols::count();
    uint32_t foo = symbol::make("foo-sym");
    uint32_t Foo = symbol::make("Foo-sym");
    EXPECT_EQ(symbol::make("foo-sym"), foo);
    uint32_t FOO = symbol::make("FOO-SYM");
    EXPECT_EQ(symbols::count(), count + 3);
    EXPECT_NE(Foo, foo);
    EXPECT_NE(FOO, Foo);
    EXPECT_EQ(symbol::alias(foo), symbol::NO_ALIAS);
    EXPECT_EQ(symbol::alias(Foo), foo);
    EXPECT_EQ(symbol::alias(FOO), foo);
    EXPECT_EQ(symbol::canonical(FOO), foo);
    EXPECT_EQ(symbol::canonical(foo), foo);
    EXPECT_EQ(name_of(Foo), "Foo-sym");  // each keeps its written form
}

TEST_F(Symbol, FindAnyCaseAnswersTheKnownVariant) {
    uint32_t foo = symbol::make("bar-sym");
    uint32_t count = symbols::count();
    EXPECT_EQ(symbol::find_any_case("BAR-SYM"), foo);
    EXPECT_EQ(symbols::count(), count);
    uint32_t fresh = symbol::find_any_case("Qux-sym");
    EXPECT_EQ(symbols::count(), count + 1);
    EXPECT_EQ(symbol::alias(fresh), symbol::NO_ALIAS);
}

TEST_F(Symbol, OnlyAsciiLettersFoldWhenInterning) {
    uint32_t lower = symbol::make("\xC3\xA9t\xC3\xA9");  // été
    uint32_t upper = symbol::make("\xC3\x89T\xC3\x89");  // ÉTÉ
    EXPECT_EQ(symbol::alias(upper), symbol::NO_ALIAS);
    uint32_t mixed = symbol::make("\xC3\xA9T\xC3\xA9");  // éTé: a case variant of été
    EXPECT_EQ(symbol::alias(mixed), lower);
    EXPECT_NE(lower, upper);
}

TEST_F(Symbol, FromStringEncodesFromTheHead) {
    Cell* str = string::load_c_text("x\xE2\x82\xAC" "abc", 7, 0);  // x€abc, 2-byte units
    str->data1 = 1;
    uint32_t id = symbol::from_string(str);
    EXPECT_EQ(name_of(id), "\xE2\x82\xAC" "abc");
    EXPECT_EQ(id, symbol::make("\xE2\x82\xAC" "abc"));
}

TEST_F(Symbol, StringFormIsMadeOnceAndKeepsTheText) {
    uint32_t id = symbol::make("\xEF\xBB\xBFname\xC3\xA9");  // a leading BOM is part of the name
    EXPECT_EQ(memory::buffer_of(symbols::series())->head_cell()[id - 1].data2, 0u);
    Cell* record = symbol::get_record(id);
    NodeId form = record->data2;
    ASSERT_NE(form, 0u);
    Cell str = make_cell(TYPE_STRING, 0, form, 0);
    EXPECT_EQ(chars_of(&str), U"\xFEFFname\xE9");
    EXPECT_EQ(symbol::get_record(id)->data2, form);
}

TEST_F(Symbol, CompareOrdersNamesAsStrings) {
    const struct {
        const char* a;
        const char* b;
        int op;
        int expected;
    } cases[] = {
        {"abc", "ABC", COMP_EQUAL, 0},
        {"abc", "ABC", COMP_STRICT_EQUAL, 1},
        {"abc", "abd", COMP_LESSER, -1},
        {"ab", "abc", COMP_LESSER, -1},
        {"ab", "abc", COMP_EQUAL, 1},
        {"B", "a", COMP_SORT, 1},
        {"B", "a", COMP_CASE_SORT, -1},
        {"\xC3\xA9", "\xC3\x89", COMP_EQUAL, 0},  // é and É fold alike
    };
    for (const auto& c : cases) {
        Cell a = *symbol::get_record(symbol::make(c.a));
        Cell b = *symbol::get_record(symbol::make(c.b));
        int order = registry::handler<A_COMPARE>(TYPE_SYMBOL)(&a, &b, c.op);
        EXPECT_EQ(order < 0 ? -1 : order > 0 ? 1 : 0, c.expected) << c.a << " " << c.b << " " << c.op;
    }
    Cell a = *symbol::get_record(symbol::make("a"));
    Cell copy = a;
    EXPECT_EQ(symbol::compare(&a, &copy, COMP_SAME), 0);
    Cell n = integer_cell(1);
    EXPECT_EQ(symbol::compare(&a, &n, COMP_EQUAL), COMPARE_UNCOMPARABLE);
}

TEST_F(Symbol, RuntimeWordsAndIds) {
    EXPECT_EQ(sym::id(sym::self), symbol::make("self"));
    EXPECT_EQ(sym::id(sym::code), sym::id(sym::code2));
    EXPECT_EQ(name_of(sym::id(sym::no_trace)), "no-trace");
    EXPECT_EQ(name_of(sym::id(sym::bar)), "|");

    const Cell* w = words::get(words::on_change_star);
    EXPECT_EQ(w->type(), uint32_t(TYPE_WORD));
    EXPECT_EQ(w->data1, context::global());
    EXPECT_EQ(name_of(w->data2), "on-change*");
    EXPECT_EQ(name_of(words::get(words::applied)->data2), "<applied>");
    EXPECT_EQ(words::get(words::throw_)->data3, words::get(words::throw2)->data3);
    // Every global word has its value slot.
    uint32_t values = memory::buffer_of(context::cell_of(context::global())->data2)->used() / 16;
    EXPECT_EQ(values, context::word_count(context::global()));

    const Cell* r = refinements::get(refinements::extern_);
    EXPECT_EQ(r->type(), uint32_t(TYPE_REFINEMENT));
    EXPECT_EQ(r->data1, 0u);
    EXPECT_EQ(name_of(r->data2), "extern");

    const Cell* ooo = support::ooo_issue();
    EXPECT_EQ(ooo->type(), uint32_t(TYPE_ISSUE));
    EXPECT_EQ(ooo->data1, context::global());
    EXPECT_EQ(ooo->data3, context::NO_INDEX);
    EXPECT_EQ(name_of(ooo->data2), "ooo");
}

TEST_F(Symbol, TypeWordsLiveInTheRootBlock) {
    memory::SeriesBuffer* root = memory::buffer_of(symbols::root_block()->data2);
    for (uint32_t t : {uint32_t(TYPE_DATATYPE), uint32_t(TYPE_INTEGER), uint32_t(TYPE_IMAGE)}) {
        const Cell* w = registry::g_name_table[t].word;
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(name_of(w->data2), registry::type_name(t));
        EXPECT_EQ(w->data1, context::global());
        EXPECT_TRUE(w >= root->head_cell() && w < root->tail_cell());
    }
}

TEST_F(Symbol, KeepWordsFlagDecidesWhereMadeWordsLive) {
    memory::SeriesBuffer* root = memory::buffer_of(symbols::root_block()->data2);
    uint32_t before = root->used();
    Cell* kept = word::make_global("kept-word");
    EXPECT_EQ(root->used(), before + 16);
    EXPECT_EQ(kept, root->tail_cell() - 1);
    symbols::set_keep_words(false);
    Cell* plain = word::make_global("kept-word");
    EXPECT_EQ(root->used(), before + 16);
    EXPECT_EQ(plain->data3, kept->data3);
    EXPECT_EQ(plain, word::context_word_at(context::global(), plain->data3));
}

TEST_F(Symbol, CurrentCalleeWordResolvesFrameNames) {
    EXPECT_EQ(stack::current_callee_word().data2, words::get(words::not_found)->data2);

    NodeId object = context::create(4, false, true, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, object, 0, 0));
    int32_t index;
    uint32_t name = symbol::make("method");
    context::find_symbol(object, name, false, &index);
    Cell caller = make_cell(TYPE_WORD, object, name, 0);
    Cell global_name = make_cell(TYPE_WORD, 0, symbol::make("helper"), context::NO_INDEX);
    stack::push_native_frame(&caller);
    Cell found = stack::current_callee_word();
    EXPECT_EQ(found.data1, object);
    EXPECT_EQ(found.data2, name);
    EXPECT_EQ(found.data3, uint32_t(index));

    stack::push_native_frame(&global_name);
    stack::push_eval_frame(words::get(words::body));  // hidden
    stack::push_eval_frame(words::get(words::anon));  // hidden
    found = stack::current_callee_word();
    EXPECT_EQ(found.data1, context::global());
    EXPECT_EQ(found.data2, global_name.data2);
    EXPECT_NE(found.data3, context::NO_INDEX);

    stack::push_native_frame(nullptr);
    EXPECT_EQ(stack::current_callee_word().data2, words::get(words::not_found)->data2);
}

}  // namespace
