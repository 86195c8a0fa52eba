#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <initializer_list>
#include <string>
#include <vector>

#include "core/hashtable.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using test_support::error_arg;
using test_support::raised;

namespace {

class Context : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
    }
    void TearDown() override { context::set_change_notifier(nullptr); }
};

Cell w(uint32_t type, const char* name) {
    return make_cell(type, 0, symbol::make(name), context::NO_INDEX);
}

Cell block_of(std::initializer_list<Cell> cells, uint32_t type = TYPE_BLOCK) {
    NodeId node = memory::alloc_cells(uint32_t(cells.size()) + 1);
    memory::SeriesBuffer* b = memory::buffer_of(node);
    for (const Cell& c : cells) *b->tail_cell() = c, b->tail += 16;
    return make_cell(type, 0, node, 0);
}

Cell* cells_of(const Cell& block) { return memory::buffer_of(block.data2)->head_cell(); }
uint32_t values_length(NodeId ctx) {
    return memory::buffer_of(context::cell_of(ctx)->data2)->used() / 16;
}

std::vector<std::string> names_of(NodeId ctx) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < context::word_count(ctx); i++)
        out.emplace_back(symbol::name(word::context_word_at(ctx, i)->data2));
    return out;
}

// A word of the context for the name, added when missing.
Cell word_in(NodeId ctx, const char* name, uint32_t type = TYPE_WORD) {
    Cell c = w(type, name);
    c.data3 = uint32_t(context::add_word(ctx, &c));
    c.data1 = ctx;
    return c;
}

TEST_F(Context, CreateSetsKindFlagsAndRoom) {
    const struct {
        bool stack, owner;
        uint32_t kind;
    } cases[] = {{false, false, 0}, {true, false, 1}, {false, true, 2}, {true, true, 2}};
    for (const auto& c : cases) {
        NodeId ctx = context::create(0, c.stack, c.owner, 0, c.kind);
        const Cell* cell = context::cell_of(ctx);
        EXPECT_EQ(cell->type(), uint32_t(TYPE_CONTEXT));
        EXPECT_EQ(context::kind_of(cell), c.kind);
        EXPECT_EQ(bool(cell->header & context::STACK_FLAG), c.stack);
        EXPECT_EQ(bool(cell->header & context::OWNER_FLAG), c.owner);
        EXPECT_EQ(cell->data2 == 0, c.stack);  // no values series for stack values
        EXPECT_TRUE(context::owner_of(ctx)->is(TYPE_UNSET));
        EXPECT_EQ(context::word_count(ctx), 0u);
        EXPECT_EQ(hashtable::table_of(cell->data1)->n, 8u);  // size 0 counts as 1
    }
    EXPECT_EQ(hashtable::table_of(context::cell_of(context::global())->data1)->n, 16384u);
}

TEST_F(Context, FromSpecTakesWordsInOrder) {
    Cell spec = test_support::keep(block_of({w(TYPE_WORD, "a"), w(TYPE_WORD, "b"), w(TYPE_REFINEMENT, "r"),
                                             w(TYPE_SET_WORD, "x"), integer_cell(1), w(TYPE_WORD, "c"),
                                             w(TYPE_REFINEMENT, "local"), w(TYPE_GET_WORD, "d"),
                                             w(TYPE_LIT_WORD, "e"), w(TYPE_ISSUE, "i"), w(TYPE_WORD, "A")}));
    NodeId ctx = context::from_spec(&spec, false, false, context::OBJECT_KIND);
    EXPECT_EQ(names_of(ctx), (std::vector<std::string>{"a", "b", "r", "c", "local", "d", "e"}));
    EXPECT_EQ(values_length(ctx), 8u);  // a and A: added once, counted twice
    for (uint32_t i = 0; i < 8; i++)
        EXPECT_TRUE(memory::buffer_of(context::cell_of(ctx)->data2)->head_cell()[i].is(TYPE_UNSET));

    NodeId args = context::from_spec(&spec, true, false, context::FUNCTION_KIND);
    EXPECT_EQ(context::word_count(args), 7u);
    EXPECT_EQ(context::cell_of(args)->data2, 0u);
}

TEST_F(Context, FromSpecWalksTheWholeBufferAndMakesRoomForIt) {
    Cell spec = test_support::keep(block_of({w(TYPE_WORD, "p"), w(TYPE_WORD, "q"), w(TYPE_WORD, "s"),
                                             w(TYPE_WORD, "t"), w(TYPE_WORD, "u"), w(TYPE_WORD, "v")}));
    spec.data1 = 5;  // sized for one cell, yet the walk starts at the first
    NodeId ctx = context::from_spec(&spec, false, false, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    EXPECT_EQ(context::word_count(ctx), 6u);
    EXPECT_EQ(values_length(ctx), 6u);
    Cell v = word_in(ctx, "v");
    Cell n = integer_cell(6);
    word::set_value(&v, &n);
    EXPECT_EQ(word::get_value(&v)->as_int(), 6);
}

TEST_F(Context, AddAndFindIgnoreCaseOnlyWhenAsked) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell Foo = w(TYPE_WORD, "Foo");
    Cell foo = w(TYPE_WORD, "foo");
    EXPECT_EQ(context::add_word(ctx, &Foo), 0);
    EXPECT_EQ(context::add_word(ctx, &foo), 0);
    EXPECT_EQ(context::word_count(ctx), 1u);
    EXPECT_EQ(values_length(ctx), 1u);
    EXPECT_EQ(context::find_word(ctx, foo.data2, true), 0);
    EXPECT_EQ(context::find_word(ctx, foo.data2, false), -1);

    int32_t index = 99;
    EXPECT_EQ(context::find_symbol(ctx, symbol::make("bar"), true, &index), -1);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(context::find_symbol(ctx, symbol::make("BAR"), true, &index), 1);
    EXPECT_EQ(values_length(ctx), 1u);  // find_symbol adds words only
}

TEST_F(Context, AddWordValueAndPutValue) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell a = w(TYPE_WORD, "a");
    Cell one = integer_cell(1), two = integer_cell(2);
    Cell* slot = context::add_word_value(ctx, &a, &one);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->as_int(), 1);
    Cell A = w(TYPE_WORD, "A");
    EXPECT_EQ(context::add_word_value(ctx, &A, &two), nullptr);
    EXPECT_EQ(context::put_value(ctx, &A, &two)->as_int(), 2);
    Cell b = w(TYPE_SET_WORD, "b");
    EXPECT_EQ(context::put_value(ctx, &b, &one)->as_int(), 1);
    EXPECT_EQ(names_of(ctx), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(values_length(ctx), 2u);
}

TEST_F(Context, CollectSetWordsAnswersWhetherItAdded) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell body = test_support::keep(block_of({w(TYPE_SET_WORD, "a"), w(TYPE_WORD, "b"), w(TYPE_SET_WORD, "c"),
                                             w(TYPE_LIT_WORD, "d"), w(TYPE_SET_WORD, "A")}));
    EXPECT_TRUE(context::collect_set_words(ctx, &body));
    EXPECT_EQ(names_of(ctx), (std::vector<std::string>{"a", "c"}));
    EXPECT_FALSE(context::collect_set_words(ctx, &body));
    body.data1 = 40;  // past the tail: nothing to collect
    EXPECT_FALSE(context::collect_set_words(ctx, &body));
}

TEST_F(Context, CaseVariantsReachOneValue) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell Foo = word_in(ctx, "Foo");
    Cell body = test_support::keep(block_of({w(TYPE_WORD, "foo"), w(TYPE_WORD, "FOO")}));
    context::bind_block(&body, ctx, false);
    Cell seven = integer_cell(7);
    word::set_value(&Foo, &seven);
    EXPECT_EQ(word::get_value(&cells_of(body)[0])->as_int(), 7);
    EXPECT_EQ(word::get_value(&cells_of(body)[1])->as_int(), 7);
    EXPECT_EQ(std::string(symbol::name(cells_of(body)[1].data2)), "FOO");
}

TEST_F(Context, BindBlockReachesNestedWordsButNotIssues) {
    NodeId ctx = context::create(8, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    for (const char* name : {"a", "b", "c", "d", "e", "f", "g", "h", "i"}) word_in(ctx, name);
    Cell outsider = word_in(context::global(), "zz-outsider");
    // Each inner block is kept before the next allocation.
    Cell body = test_support::keep(
        block_of({w(TYPE_WORD, "a"), test_support::keep(block_of({w(TYPE_WORD, "b")})),
                  test_support::keep(block_of({w(TYPE_WORD, "c")}, TYPE_PAREN)),
                  test_support::keep(block_of({w(TYPE_WORD, "d"), w(TYPE_WORD, "e")}, TYPE_PATH)),
                  w(TYPE_LIT_WORD, "f"), w(TYPE_GET_WORD, "g"), w(TYPE_REFINEMENT, "h"),
                  w(TYPE_ISSUE, "i"), outsider}));
    context::bind_block(&body, ctx, false);
    const Cell* c = cells_of(body);
    const Cell* bound[] = {&c[0], &cells_of(c[1])[0], &cells_of(c[2])[0], &cells_of(c[3])[0],
                           &cells_of(c[3])[1], &c[4], &c[5], &c[6]};
    for (const Cell* b : bound) {
        EXPECT_EQ(b->data1, ctx) << symbol::name(b->data2);
        EXPECT_EQ(int32_t(b->data3), context::find_word(ctx, b->data2, false));
    }
    EXPECT_EQ(c[7].data1, 0u);  // the issue
    EXPECT_EQ(c[7].data3, context::NO_INDEX);
    EXPECT_EQ(c[8].data1, context::global());  // unknown here: keeps its binding
    EXPECT_EQ(c[8].data3, outsider.data3);
}

TEST_F(Context, BindBlockSelfMeansTheOwner) {
    NodeId ctx = context::create(2, false, true, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    *context::owner_of(ctx) = make_cell(TYPE_OBJECT, ctx, 5, 0);
    word_in(ctx, "a");
    Cell body = test_support::keep(block_of({w(TYPE_WORD, "self"), w(TYPE_SET_WORD, "self")}));
    context::bind_block(&body, ctx, false);
    EXPECT_EQ(cells_of(body)[0].data1, 0u);  // without the flag, self is a word like any
    context::bind_block(&body, ctx, true);
    Cell self = cells_of(body)[0];
    EXPECT_EQ(self.data1, ctx);
    EXPECT_EQ(self.data3, context::NO_INDEX);
    EXPECT_EQ(cells_of(body)[1].data1, 0u);  // only word! follows the self rule
    const Cell* owner = word::get_value(&self);
    EXPECT_EQ(owner->type(), uint32_t(TYPE_OBJECT));
    EXPECT_EQ(owner->data2, 5u);
}

TEST_F(Context, BindBlockThatContainsItselfStops) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    word_in(ctx, "a");
    Cell body = test_support::keep(block_of({w(TYPE_WORD, "a"), make_cell(TYPE_UNSET)}));
    cells_of(body)[1] = body;
    cells_of(body)[1].data1 = 0;
    context::bind_block(&body, ctx, false);
    EXPECT_EQ(cells_of(body)[0].data1, ctx);
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Context, GlobalWordsShareOneValueAcrossCase) {
    Cell alpha = *word::make_global("alpha-g");
    Cell five = integer_cell(5);
    word::set_value(&alpha, &five);
    Cell ALPHA = *word::make_global("ALPHA-G");
    EXPECT_NE(ALPHA.data2, alpha.data2);
    EXPECT_EQ(ALPHA.data3, alpha.data3);
    EXPECT_EQ(word::get_value(&ALPHA)->as_int(), 5);

    // Asked for by exact form, a new written form gets a word of its own that
    // points at the canonical form's value.
    uint32_t count = context::word_count(context::global());
    Cell* variant = context::global_word(symbol::make("Alpha-G"), false, false);
    EXPECT_EQ(variant->data3, alpha.data3);
    EXPECT_EQ(context::word_count(context::global()), count + 1);
    EXPECT_EQ(values_length(context::global()), count + 1);
}

TEST_F(Context, ResolveSymbolPrefersTheContext) {
    NodeId ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell local = word_in(ctx, "resolved");
    Cell r = context::resolve_symbol(ctx, local.data2);
    EXPECT_EQ(r.data1, ctx);
    EXPECT_EQ(r.data3, local.data3);
    uint32_t other = symbol::make("Resolved");
    r = context::resolve_symbol(ctx, other);  // exact look-up only: the global word
    EXPECT_EQ(r.data1, context::global());
    EXPECT_EQ(r.data2, other);
    EXPECT_EQ(context::find_word(context::global(), other, true), int32_t(r.data3));
}

TEST_F(Context, FunctionValuesLiveOnTheStackWhileRunning) {
    Cell spec = test_support::keep(block_of({w(TYPE_WORD, "a"), w(TYPE_WORD, "b")}));
    NodeId ctx = context::from_spec(&spec, true, false, context::FUNCTION_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell a = word_in(ctx, "a"), b = word_in(ctx, "b");
    Cell one = integer_cell(1);
    Cell error{};
    EXPECT_EQ(raised([&] { word::get_value(&a); }, &error), ErrorId::script_not_in_context);
    EXPECT_EQ(error_arg(error, 0).data2, a.data2);
    EXPECT_EQ(raised([&] { word::set_value(&a, &one); }), ErrorId::script_not_defined);
    EXPECT_EQ(raised([&] { support::context_field(ctx, 1); }, &error), ErrorId::script_not_defined);
    EXPECT_EQ(error_arg(error, 0).data2, b.data2);

    stack::push_native_frame(nullptr);
    Cell* first = stack::push(&one);
    Cell two = integer_cell(2);
    stack::push(&two);
    context::cell_of(ctx)->data2 = stack::values_word(first);
    EXPECT_EQ(word::get_value(&b)->as_int(), 2);
    Cell nine = integer_cell(9);
    EXPECT_EQ(word::set_value(&a, &nine), first);
    EXPECT_EQ(first->as_int(), 9);
    EXPECT_EQ(context::push_value_at(ctx, 1)->as_int(), 2);
    // A stack context has no words of its own to look up by symbol.
    EXPECT_EQ(context::find_word_value(a.data2, ctx), nullptr);
    Cell g = word_in(context::global(), "a");
    EXPECT_EQ(context::find_word_value(a.data2, ctx), word::get_value(&g));
}

TEST_F(Context, WordsWithoutIndexOrBinding) {
    Cell lost = make_cell(TYPE_WORD, context::global(), symbol::make("lost"), context::NO_INDEX);
    EXPECT_EQ(raised([&] { word::get_value(&lost); }), ErrorId::script_no_value);
    Cell unbound = make_cell(TYPE_WORD, 0, symbol::make("lost"), 0);
    EXPECT_EQ(raised([&] { word::get_value(&unbound); }), ErrorId::script_not_defined);
    Cell one = integer_cell(1);
    EXPECT_EQ(raised([&] { word::set_value(&unbound, &one); }), ErrorId::script_not_defined);
    Cell self = make_cell(TYPE_WORD, 0, sym::id(sym::self), context::NO_INDEX);
    EXPECT_EQ(raised([&] { word::get_value(&self); }), ErrorId::script_no_value);
}

TEST_F(Context, AssigningAnUnlocatedWordAddsIt) {
    Cell* on_stack = stack::push_cell();
    *on_stack = make_cell(TYPE_WORD, context::global(), symbol::make("fresh-one"), context::NO_INDEX);
    Cell one = integer_cell(1);
    context::set_word_value(on_stack, &one, context::global(), true);
    EXPECT_NE(on_stack->data3, context::NO_INDEX);
    EXPECT_EQ(word::get_value(on_stack)->as_int(), 1);

    // A word that may lie in a series keeps -1: the addition may move it.
    Cell elsewhere = make_cell(TYPE_WORD, context::global(), symbol::make("fresh-two"), context::NO_INDEX);
    Cell two = integer_cell(2);
    context::set_word_value(&elsewhere, &two, context::global(), true);
    EXPECT_EQ(elsewhere.data3, context::NO_INDEX);
    EXPECT_EQ(context::find_word_value(elsewhere.data2, context::global())->as_int(), 2);
    context::set_word_value(&elsewhere, &one, context::global(), true);  // found now: located
    EXPECT_NE(elsewhere.data3, context::NO_INDEX);
    EXPECT_EQ(word::get_value(&elsewhere)->as_int(), 1);
}

struct Notified {
    int calls = 0;
    Cell owner, word, old_value, new_value;
};
Notified g_notified;

TEST_F(Context, ObjectAssignmentMarksAndNotifies) {
    NodeId ctx = context::create(2, false, true, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell a = word_in(ctx, "a");
    word_in(ctx, "b");
    Cell one = integer_cell(1), two = integer_cell(2);
    word::set_value(&a, &one);
    EXPECT_TRUE(word::context_word_at(ctx, 0)->header & context::CHANGED_MARK);
    EXPECT_FALSE(word::context_word_at(ctx, 1)->header & context::CHANGED_MARK);

    g_notified = {};
    context::set_change_notifier([](Cell* owner, Cell* word, Cell* old_value, Cell* new_value) {
        g_notified.calls++;
        g_notified.owner = *owner;
        g_notified.word = *word;
        g_notified.old_value = *old_value;
        g_notified.new_value = *new_value;
        EXPECT_EQ(old_value, stack::top());  // the old value waits on the stack
    });
    *context::owner_of(ctx) = make_cell(TYPE_OBJECT, ctx, 0, 1);  // has on-set-info
    Cell* top = stack::g_top;
    EXPECT_EQ(word::set_value(&a, &two)->as_int(), 2);
    EXPECT_EQ(stack::g_top, top);
    EXPECT_EQ(g_notified.calls, 1);
    EXPECT_EQ(g_notified.owner.data1, ctx);
    EXPECT_EQ(g_notified.word.data2, a.data2);
    EXPECT_EQ(g_notified.old_value.as_int(), 1);
    EXPECT_EQ(g_notified.new_value.as_int(), 2);
    context::set_word_value(&a, &one, ctx, false);  // no event: no call
    EXPECT_EQ(g_notified.calls, 1);
    EXPECT_EQ(word::get_value(&a)->as_int(), 1);
}

TEST_F(Context, CloneGivesTheValueItsOwnContext) {
    NodeId ctx = context::create(2, false, true, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    Cell a = word_in(ctx, "a");
    word_in(ctx, "b");
    Cell one = integer_cell(1);
    word::set_value(&a, &one);
    Cell* object = stack::push_cell();
    *object = make_cell(TYPE_OBJECT, ctx, 0, 0);
    context::clone(object, context::OBJECT_KIND);
    NodeId copy = object->data1;
    ASSERT_NE(copy, ctx);
    EXPECT_EQ(names_of(copy), names_of(ctx));
    EXPECT_TRUE(context::cell_of(copy)->header & context::OWNER_FLAG);
    EXPECT_EQ(values_length(copy), 2u);
    for (uint32_t i = 0; i < 2; i++) EXPECT_EQ(word::context_word_at(copy, i)->data1, copy);
    Cell a2 = *word::context_word_at(copy, 0);
    EXPECT_TRUE(word::get_value(&a2)->is(TYPE_UNSET));
    Cell two = integer_cell(2);
    word::set_value(&a2, &two);
    EXPECT_EQ(word::get_value(&a)->as_int(), 1);
}

TEST_F(Context, FieldsByIndex) {
    NodeId ctx = context::create(2, false, true, 0, context::OBJECT_KIND);
    test_support::keep(make_cell(TYPE_OBJECT, ctx, 0, 0));
    word_in(ctx, "a");
    word_in(ctx, "b");
    stack::push_native_frame(nullptr);
    Cell three = integer_cell(3);
    stack::push(&three);
    EXPECT_EQ(context::set_field(ctx, 0)->as_int(), 3);
    EXPECT_TRUE(word::context_word_at(ctx, 0)->header & context::CHANGED_MARK);
    Cell four = integer_cell(4);
    stack::push(&four);
    context::swap_field(ctx, 0);  // pushes the old value, stores the last one
    EXPECT_EQ(stack::top()->as_int(), 3);
    EXPECT_EQ(context::field_address(ctx, 0)->as_int(), 4);
    EXPECT_EQ(context::push_value_at(ctx, 0)->as_int(), 4);

    stack::push(&shared_unset_cell);
    Cell error{};
    EXPECT_EQ(raised([&] { support::set_context_field(ctx, 1); }, &error), ErrorId::script_need_value);
    EXPECT_EQ(std::string(symbol::name(error_arg(error, 0).data2)), "b");
    stack::push(&shared_unset_cell);
    support::set_object_field(ctx, 1);  // unset! is accepted here
    EXPECT_EQ(stack::g_top, stack::g_base);
    EXPECT_TRUE(word::context_word_at(ctx, 1)->header & context::CHANGED_MARK);
    stack::push(&three);
    EXPECT_EQ(support::set_context_field_reset(ctx, 1)->as_int(), 3);
    EXPECT_EQ(stack::g_top, stack::g_base);
}

TEST_F(Context, SupportWordRoutines) {
    stack::push_native_frame(nullptr);
    Cell x = *word::make_global("support-x");
    Cell error{};
    EXPECT_EQ(raised([&] { support::get_word(&x); }, &error), ErrorId::script_no_value);
    stack::push(&shared_unset_cell);
    EXPECT_EQ(raised([&] { support::set_word(&x); }, &error), ErrorId::script_need_value);
    EXPECT_EQ(error_arg(error, 0).data2, x.data2);
    Cell eight = integer_cell(8);
    stack::push(&eight);
    support::set_word(&x);
    EXPECT_EQ(stack::top()->as_int(), 8);  // left on the stack
    EXPECT_EQ(support::get_word(&x)->as_int(), 8);
    support::set_word_reset(&x);
    EXPECT_EQ(stack::g_top, stack::g_base);

    const Cell* global = context::cell_of(context::global());
    EXPECT_EQ(support::context_word(global, x.data3)->data2, x.data2);
    EXPECT_EQ(support::context_words_node(global), context::word_block(context::global()));

    // Refinement slots: true sets the flag, false clears its arguments.
    for (int i = 0; i < 4; i++) stack::push(&eight);
    support::set_refinement(&shared_true_cell, 0, 1);
    EXPECT_EQ(stack::argument(0)->data1, 1u);
    EXPECT_EQ(stack::argument(1)->as_int(), 8);
    support::set_refinement(&shared_none_cell, 1, 2);
    EXPECT_EQ(stack::argument(1)->as_int(), 8);
    EXPECT_TRUE(stack::argument(2)->is(TYPE_NONE));
    EXPECT_TRUE(stack::argument(3)->is(TYPE_NONE));
}

}  // namespace
