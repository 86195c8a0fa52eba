#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <vector>

#include "core/collector.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/symbols.hpp"
#include "core/value_slots.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

using namespace zun;

namespace {

std::vector<std::vector<Cell>> g_calls;
void recording_runner(const Cell*) { g_calls.emplace_back(stack::g_base, stack::g_top); }

class Ownership : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        object::init_class_ids();
        system_data::init();
        object::end_startup_classes();
        ownership::init();
        stack::push_native_frame(nullptr);
        g_calls.clear();
        object::set_function_runner(recording_runner);
    }
    void TearDown() override {
        object::set_function_runner(nullptr);
        collector::set_enabled(false);
    }

    static Cell* load(const char* text) { return system_data::load(text, std::strlen(text)); }
    // The object constructed from the text, pushed.
    static Cell* construct(const char* text) {
        Cell* spec = load(text);
        Cell* made = object::push_new(&shared_none_cell, spec, false);
        *spec = *made;
        stack::g_top = spec + 1;
        return spec;
    }
    static Cell word_of(const char* name) {
        return make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
    }
    static Cell field(const Cell& obj, const char* name) {
        Cell w = word_of(name);
        return *object::select_word(&obj, &w);
    }
    static void set_field(const Cell& obj, const char* name, const Cell& value) {
        Cell w = word_of(name);
        context::put_value(obj.data1, &w, &value);
    }
    // Gives the object an on-deep-change* handler (its field must exist).
    static void give_handler(Cell* obj) {
        Cell* spec = load("owner word target action new index part");
        Cell* body = load("");
        function::push(spec, body, 0, 0, 0, 0);
        set_field(*obj, "on-deep-change*", *stack::top());
        object::install_handlers(obj);
    }
    static uint32_t entries() { return hashtable::table_of(ownership::table())->size; }
    static bool owned(const Cell& series) {
        return memory::buffer_of(series.data2)->flags & memory::OWNED_FLAG;
    }
    static bool owner_is(const Cell& series, const Cell& owner, const char* word) {
        Cell o, w;
        if (!ownership::find_owner(series.data2, &o, &w)) return false;
        return o.data1 == owner.data1 && w.data2 == symbol::make(word);
    }
    static Cell nth(const Cell& blk, int32_t i) { return *block::cell_at(&blk, block::head_index(&blk) + i); }
};

TEST_F(Ownership, SetOwnerRecordsTheWholeTreeAndMarksTheOwner) {
    Cell obj = *construct("list: none");
    Cell blk = *load("1 [2 [3]] \"s\"");
    const Cell bin = make_cell(TYPE_BINARY, 0, memory::alloc_bytes(4), 0);
    block::append_cell(&blk, &bin);
    Cell word = word_of("list");
    uint32_t before = entries();
    ownership::set_owner(&blk, &obj, &word);
    Cell inner = nth(blk, 1), innermost = nth(inner, 1), str = nth(blk, 2);
    for (const Cell& s : {blk, inner, innermost, str, bin}) {
        EXPECT_TRUE(owned(s));
        EXPECT_TRUE(owner_is(s, obj, "list"));
    }
    EXPECT_EQ(entries(), before + 5);
    EXPECT_TRUE(context::cell_of(obj.data1)->header & ownership::OWNER_MARK);
}

TEST_F(Ownership, ABlockThatHoldsItselfIsRecordedOnce) {
    Cell obj = *construct("list: none");
    Cell* blk = load("a");
    block::append_cell(blk, blk);
    block::append_cell(blk, blk);
    Cell word = word_of("list");
    uint32_t before = entries();
    ownership::set_owner(blk, &obj, &word);
    EXPECT_EQ(entries(), before + 1);
    ownership::unset_owner(blk);
    EXPECT_EQ(entries(), before);
    EXPECT_FALSE(owned(*blk));
}

TEST_F(Ownership, UnsetOwnerForgetsNestedBlocksToo) {
    Cell obj = *construct("list: none");
    Cell blk = *load("[[x]] \"s\"");
    Cell word = word_of("list");
    ownership::set_owner(&blk, &obj, &word);
    Cell inner = nth(blk, 0), innermost = nth(inner, 0), str = nth(blk, 1);
    ownership::unset_owner(&blk);
    for (const Cell& s : {blk, inner, innermost, str}) {
        EXPECT_FALSE(owned(s));
        Cell o, w;
        EXPECT_FALSE(ownership::find_owner(s.data2, &o, &w));
    }
}

TEST_F(Ownership, UnsetOwnerRangeForgetsOnlyThoseCells) {
    Cell obj = *construct("list: none");
    Cell blk = *load("[a] [b] [c]");
    Cell word = word_of("list");
    ownership::set_owner(&blk, &obj, &word);
    ownership::unset_owner_range(&blk, 1, 1);
    EXPECT_TRUE(owner_is(nth(blk, 0), obj, "list"));
    EXPECT_FALSE(owned(nth(blk, 1)));
    EXPECT_TRUE(owner_is(nth(blk, 2), obj, "list"));
    EXPECT_TRUE(owner_is(blk, obj, "list"));
}

TEST_F(Ownership, AnObjectsFieldsAreRecordedWithTheirOwnWords) {
    Cell obj = *construct("a: [1] b: \"x\" me: none inner: none");
    Cell inner = *construct("deep: [2]");
    set_field(obj, "me", obj);
    set_field(obj, "inner", inner);
    uint32_t before = entries();
    ownership::set_owner(&obj, &obj, &shared_none_cell);
    EXPECT_TRUE(owner_is(field(obj, "a"), obj, "a"));
    EXPECT_TRUE(owner_is(field(obj, "b"), obj, "b"));
    EXPECT_TRUE(owner_is(field(inner, "deep"), obj, "deep"));
    EXPECT_EQ(entries(), before + 3);
    EXPECT_TRUE(context::cell_of(obj.data1)->header & ownership::OWNER_MARK);
    // An owner is not walked again.
    set_field(obj, "a", *load("[9]"));
    ownership::set_owner(&obj, &obj, &shared_none_cell);
    EXPECT_EQ(entries(), before + 3);
}

TEST_F(Ownership, CheckOwnerCallsTheOwnersDeepChangeHandler) {
    Cell* obj = construct("list: [1 2] on-deep-change*: none");
    give_handler(obj);
    Cell list = field(*obj, "list");
    EXPECT_TRUE(owner_is(list, *obj, "list"));
    Cell three = integer_cell(3);
    EXPECT_EQ(ownership::check_owner(&list, words::get(words::append), &three, 2, 1), 1);
    ASSERT_EQ(g_calls.size(), 1u);
    const std::vector<Cell>& call = g_calls[0];
    ASSERT_EQ(call.size(), 7u);
    EXPECT_EQ(call[0].data1, obj->data1);
    EXPECT_EQ(call[1].data2, symbol::make("list"));
    EXPECT_EQ(call[2].data2, list.data2);
    EXPECT_EQ(call[3].data2, words::get(words::append)->data2);
    EXPECT_EQ(call[4].as_int(), 3);
    EXPECT_EQ(call[5].as_int(), 2);
    EXPECT_EQ(call[6].as_int(), 1);
    Cell* loose = load("4 5");
    EXPECT_EQ(ownership::check_owner(loose, words::get(words::append), &three, 0, 1), 0);
    EXPECT_EQ(g_calls.size(), 1u);
}

TEST_F(Ownership, HandlersGivenAfterRecordingAreStillReached) {
    Cell* obj = construct("list: none on-deep-change*: none");
    Cell blk = *load("1");
    Cell word = word_of("list");
    ownership::set_owner(&blk, obj, &word);  // recorded while obj has no handler
    EXPECT_EQ(ownership::check_owner(&blk, words::get(words::append), nullptr, 0, 1), 0);
    give_handler(obj);
    EXPECT_EQ(ownership::check_owner(&blk, words::get(words::append), nullptr, 0, 1), 1);
}

TEST_F(Ownership, TheCollectorKeepsEntriesOnlyWhileSeriesAndOwnerLive) {
    collector::init();
    Cell* base = stack::g_top;
    Cell* obj = construct("list: none other: none");
    Cell* kept = load("[1]");
    Cell* lost = load("2");
    Cell word = word_of("list");
    ownership::set_owner(kept, obj, &word);
    ownership::set_owner(lost, obj, &word);
    NodeId lost_node = lost->data2;
    *lost = shared_none_cell;  // nothing else reaches it
    uint32_t before = entries();
    collector::recycle();
    EXPECT_EQ(collector::last_report().owner_entries_dropped, 1u);
    EXPECT_EQ(entries(), before - 1);
    EXPECT_TRUE(memory::node_free(lost_node));  // the table does not keep it
    EXPECT_TRUE(owner_is(*kept, *obj, "list"));
    EXPECT_TRUE(owner_is(nth(*kept, 0), *obj, "list"));

    // The owner goes: its entries go, the series forget they were watched.
    Cell series = *kept;
    *obj = shared_none_cell;
    collector::recycle();
    EXPECT_EQ(collector::last_report().owner_entries_dropped, 2u);
    EXPECT_FALSE(owned(series));
    Cell o, w;
    EXPECT_FALSE(ownership::find_owner(series.data2, &o, &w));
    stack::g_top = base;
}

TEST_F(Ownership, EntriesSurviveCompactionAndStress) {
    collector::init();
    collector::set_stress(true);
    Cell* obj = construct("list: none");
    Cell* blk = load("[a] \"s\"");
    Cell word = word_of("list");
    ownership::set_owner(blk, obj, &word);
    for (int i = 0; i < 3; i++) collector::recycle();
    EXPECT_TRUE(owner_is(*blk, *obj, "list"));
    EXPECT_TRUE(owner_is(nth(*blk, 0), *obj, "list"));
    EXPECT_TRUE(owner_is(nth(*blk, 1), *obj, "list"));
    collector::set_stress(ZUN_GC_STRESS > 0);
}

// ---------------------------------------------------------------- value slots

TEST_F(Ownership, ValueSlotsDoubleWhenFullAndReuseFreedSlots) {
    value_slots::init();
    EXPECT_EQ(value_slots::capacity(), 100u);
    for (int32_t i = 1; i <= 100; i++) {
        Cell v = integer_cell(i * 10);
        EXPECT_EQ(value_slots::add(&v), i);
    }
    Cell v101 = integer_cell(1010);
    EXPECT_EQ(value_slots::add(&v101), 101);
    EXPECT_EQ(value_slots::capacity(), 200u);
    EXPECT_EQ(value_slots::get(50)->as_int(), 500);
    EXPECT_EQ(value_slots::get(101)->as_int(), 1010);
    value_slots::free_(5);
    Cell again = integer_cell(-5);
    EXPECT_EQ(value_slots::add(&again), 5);
    EXPECT_EQ(value_slots::get(5)->as_int(), -5);
    EXPECT_EQ(value_slots::add(&again), 102);
    value_slots::free_(0);  // ignored
    EXPECT_EQ(value_slots::get(0), nullptr);
    EXPECT_EQ(value_slots::get(201), nullptr);
}

TEST_F(Ownership, AValueSlotCanTakeACopyOfAnotherSlot) {
    value_slots::init();
    Cell blk = *load("[1 2]");
    int32_t first = value_slots::add(&blk);
    for (int32_t i = 1; i < 100; i++) value_slots::add(&shared_none_cell);
    // The source cell lies in the block that grows.
    int32_t copy = value_slots::add(value_slots::get(first));
    EXPECT_EQ(copy, 101);
    EXPECT_EQ(value_slots::get(copy)->data2, blk.data2);
}

}  // namespace
