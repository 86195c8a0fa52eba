#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <vector>

#include "core/collector.hpp"
#include "core/externals.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "core/value_slots.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

// Collections run only where a test asks for one, moving buffers only as far
// as compaction needs, whatever the build's stress setting.
class Collector : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        collector::init();
        collector::set_stress(false);
    }
    void TearDown() override {
        collector::set_stress(ZUN_GC_STRESS > 0);
        stack::g_top = stack::g_bottom;
        stack::g_base = stack::g_bottom;
        stack::g_frame_top = stack::g_frame_bottom;
    }

    static bool freed(NodeId node) { return memory::node_free(node); }
    static memory::SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }

    // A block of n integer! cells first, first + 1 ... pushed on the stack.
    static Cell* push_block(int32_t n, int32_t first = 0) {
        NodeId node = memory::alloc_cells(uint32_t(n) + 8);  // room to append
        for (int32_t i = 0; i < n; i++) buf(node)->cells()[i] = integer_cell(first + i);
        buf(node)->tail = uint32_t(n) * sizeof(Cell);
        const Cell cell = make_cell(TYPE_BLOCK, 0, node, 0);
        return stack::push(&cell);
    }
    static Cell block_cell(NodeId node) { return make_cell(TYPE_BLOCK, 0, node, 0); }
    static void append(NodeId block, const Cell& value) {
        memory::SeriesBuffer* b = buf(block);
        ASSERT_LT(b->tail + sizeof(Cell), b->size + 1);
        *b->tail_cell() = value;
        b->tail += sizeof(Cell);
    }
    static std::vector<int32_t> ints(NodeId block) {
        std::vector<int32_t> out;
        for (Cell* c = buf(block)->head_cell(); c < buf(block)->tail_cell(); ++c) out.push_back(c->as_int());
        return out;
    }
    static NodeId bytes(const char* text) {
        uint32_t n = uint32_t(std::strlen(text));
        NodeId node = memory::alloc_bytes(n);
        std::memcpy(buf(node)->data(), text, n);
        buf(node)->tail = n;
        return node;
    }
    static std::string text(NodeId node) {
        return std::string(reinterpret_cast<const char*>(buf(node)->head_ptr()), buf(node)->used());
    }
    static int frame_count() {
        int n = 0;
        for (memory::SeriesFrame* f = memory::first_series_frame(); f; f = f->next) n++;
        return n;
    }
};

// ---------------------------------------------------------------- reclaiming

TEST_F(Collector, UnreachableSeriesAndTheirNodesAreReclaimed) {
    NodeId garbage = memory::alloc_bytes(1000);
    NodeId garbage_block = memory::alloc_cells(10);
    Cell* live = push_block(3, 7);
    uint32_t before = memory::collection_count();
    collector::recycle();
    EXPECT_EQ(memory::collection_count(), before + 1);
    EXPECT_TRUE(freed(garbage));
    EXPECT_TRUE(freed(garbage_block));
    EXPECT_FALSE(freed(live->data2));
    EXPECT_GE(collector::last_report().nodes_freed, 2u);
}

TEST_F(Collector, LiveBuffersSlideDownOverDeadOnesKeepingTheirContent) {
    memory::alloc_bytes(5000);
    Cell* blk = push_block(5, 100);
    NodeId str = bytes("kept text");
    append(blk->data2, make_cell(TYPE_STRING, 0, str, 0));
    memory::SeriesBuffer* old_block = buf(blk->data2);
    memory::SeriesBuffer* old_str = buf(str);
    collector::recycle();
    EXPECT_NE(buf(blk->data2), old_block);
    EXPECT_NE(buf(str), old_str);
    EXPECT_LT(buf(blk->data2), old_block);
    EXPECT_EQ(buf(blk->data2)->node, blk->data2);
    std::vector<int32_t> expected{100, 101, 102, 103, 104};
    std::vector<int32_t> got = ints(blk->data2);
    got.pop_back();  // the string cell
    EXPECT_EQ(got, expected);
    EXPECT_EQ(text(str), "kept text");
    EXPECT_GE(collector::last_report().buffers_moved, 2u);
}

TEST_F(Collector, ATrimmedBufferGivesItsEndBackToTheNextCompaction) {
    Cell* blk = push_block(3, 7);  // room for 11 cells
    NodeId after = bytes("after the trimmed block");
    const Cell held = make_cell(TYPE_STRING, 0, after, 0);
    stack::push(&held);
    memory::SeriesBuffer* b = buf(blk->data2);
    const uint32_t before = b->size;
    memory::trim_buffer(b, b->tail);
    EXPECT_EQ(b->size, 3 * sizeof(Cell));
    memory::trim_buffer(b, 1);  // never below the data
    EXPECT_EQ(b->size, 3 * sizeof(Cell));
    const double in_use = memory::bytes_in_use();
    collector::recycle();
    EXPECT_EQ(ints(blk->data2), (std::vector<int32_t>{7, 8, 9}));
    EXPECT_EQ(text(after), "after the trimmed block");
    EXPECT_LE(memory::bytes_in_use(), in_use - (before - 3 * sizeof(Cell)));
    EXPECT_EQ(buf(blk->data2)->used(), buf(blk->data2)->size);  // no room was kept
}

TEST_F(Collector, MarksAreClearedAfterACollection) {
    push_block(4);
    symbols::init();
    collector::recycle();
    for (memory::SeriesFrame* f = memory::first_series_frame(); f; f = f->next)
        for (uint8_t* p = f->data(); p < f->heap;) {
            auto* b = reinterpret_cast<memory::SeriesBuffer*>(p);
            EXPECT_FALSE(b->flags & memory::MARK_FLAG);
            p += sizeof(memory::SeriesBuffer) + b->size;
        }
    EXPECT_FALSE(buf(symbols::root_block()->data2)->flags & memory::MARK_FLAG);
}

TEST_F(Collector, NestedAndCyclicBlocksAreKeptAndDroppedTogether) {
    Cell* outer = push_block(0);
    NodeId inner = memory::alloc_cells(4);
    NodeId innermost = memory::alloc_cells(4);
    append(outer->data2, block_cell(inner));
    append(inner, block_cell(innermost));
    append(innermost, block_cell(outer->data2));  // a cycle back to the top
    append(inner, block_cell(inner));              // and one to itself
    NodeId o = outer->data2;
    collector::recycle();
    EXPECT_FALSE(freed(o));
    EXPECT_FALSE(freed(inner));
    EXPECT_FALSE(freed(innermost));
    stack::pop(1);
    collector::recycle();
    EXPECT_TRUE(freed(o));
    EXPECT_TRUE(freed(inner));
    EXPECT_TRUE(freed(innermost));
}

TEST_F(Collector, DeepNestingNeedsNoDeepRecursion) {
    Cell* top = push_block(0);
    NodeId last = top->data2;
    for (int i = 0; i < 50000; i++) {
        NodeId next = memory::alloc_cells(1);
        append(last, block_cell(next));
        last = next;
    }
    collector::recycle();
    EXPECT_FALSE(freed(last));
}

TEST_F(Collector, AnAbandonedBufferGoesWithoutItsNode) {
    Cell* blk = push_block(4, 1);
    memory::alloc_bytes(100);
    memory::SeriesBuffer* grown = memory::expand_series(buf(blk->data2), 4096);
    EXPECT_EQ(grown->node, blk->data2);
    collector::recycle();
    EXPECT_FALSE(freed(blk->data2));
    EXPECT_EQ(buf(blk->data2)->size, 4096u);
    EXPECT_EQ(ints(blk->data2), (std::vector<int32_t>{1, 2, 3, 4}));
}

TEST_F(Collector, BigBlocksAreSweptWhenUnreachable) {
    NodeId big_garbage = memory::alloc_bytes(3u << 20);
    NodeId big_kept = memory::alloc_bytes(3u << 20);
    const Cell kept = make_cell(TYPE_BINARY, 0, big_kept, 0);
    stack::push(&kept);
    std::memset(buf(big_kept)->data(), 0x5A, 16);
    collector::recycle();
    EXPECT_TRUE(freed(big_garbage));
    EXPECT_FALSE(freed(big_kept));
    ASSERT_NE(memory::first_big_block(), nullptr);
    EXPECT_EQ(memory::first_big_block()->buffer(), buf(big_kept));
    EXPECT_EQ(memory::first_big_block()->next, nullptr);
    EXPECT_EQ(buf(big_kept)->data()[15], 0x5A);
    EXPECT_FALSE(buf(big_kept)->flags & memory::MARK_FLAG);
    stack::pop(1);
    collector::recycle();
    EXPECT_TRUE(freed(big_kept));
    EXPECT_EQ(memory::first_big_block(), nullptr);
}

TEST_F(Collector, AFrameLeftEmptyIsReleasedUnlessItIsTheLast) {
    // A kept block in the first frame, garbage filling it and a second one,
    // then a kept block in a third.
    Cell* early = push_block(2, 9);
    while (frame_count() < 3) memory::alloc_bytes(100000);
    Cell* blk = push_block(3, 40);
    ASSERT_EQ(frame_count(), 3);
    collector::recycle();
    EXPECT_EQ(collector::last_report().frames_released, 1u);
    EXPECT_EQ(frame_count(), 2);
    EXPECT_EQ(ints(blk->data2), (std::vector<int32_t>{40, 41, 42}));
    EXPECT_EQ(ints(early->data2), (std::vector<int32_t>{9, 10}));
    // Both went into the frame first in address order, which had room.
    memory::SeriesFrame* first = memory::first_series_frame();
    for (Cell* kept : {blk, early}) {
        auto* b = reinterpret_cast<uint8_t*>(buf(kept->data2));
        EXPECT_TRUE(b >= first->data() && b < first->heap);
    }
}

TEST_F(Collector, NoCompactionScopeFreesButMovesNothing) {
    NodeId garbage = memory::alloc_bytes(2000);
    Cell* blk = push_block(2, 5);
    memory::SeriesBuffer* before = buf(blk->data2);
    {
        memory::NoCompaction fixed;
        collector::recycle();
    }
    EXPECT_TRUE(freed(garbage));
    EXPECT_EQ(buf(blk->data2), before);
    EXPECT_EQ(collector::last_report().buffers_moved, 0u);
    collector::recycle();  // the hole left behind goes now
    EXPECT_LT(buf(blk->data2), before);
    EXPECT_EQ(ints(blk->data2), (std::vector<int32_t>{5, 6}));
}

TEST_F(Collector, StressModeMovesEveryLiveBuffer) {
    collector::set_stress(true);
    std::vector<Cell*> blocks;
    for (int i = 0; i < 6; i++) blocks.push_back(push_block(3, i * 10));
    for (int round = 0; round < 3; round++) {
        std::vector<memory::SeriesBuffer*> before;
        for (Cell* b : blocks) before.push_back(buf(b->data2));
        collector::recycle();
        for (size_t i = 0; i < blocks.size(); i++) {
            EXPECT_NE(buf(blocks[i]->data2), before[i]) << "round " << round << " block " << i;
            int32_t f = int32_t(i) * 10;
            EXPECT_EQ(ints(blocks[i]->data2), (std::vector<int32_t>{f, f + 1, f + 2}));
        }
    }
}

TEST_F(Collector, StressModeFrameStaysUsableForAllocation) {
    collector::set_stress(true);
    Cell* blk = push_block(2, 1);
    for (int round = 0; round < 4; round++) {
        collector::recycle();
        Cell* more = push_block(2, round);
        EXPECT_EQ(ints(more->data2), (std::vector<int32_t>{round, round + 1}));
    }
    EXPECT_EQ(ints(blk->data2), (std::vector<int32_t>{1, 2}));
}

TEST_F(Collector, KeepingUnreachedBuffersStillMovesThem) {
    collector::set_stress(true);
    collector::set_keep_unreached(true);
    NodeId unreached = memory::alloc_cells(2);
    buf(unreached)->cells()[0] = integer_cell(77);
    buf(unreached)->tail = sizeof(Cell);
    NodeId abandoned_owner = memory::alloc_bytes(16);
    memory::expand_series(buf(abandoned_owner), 64);  // the old buffer is abandoned
    memory::SeriesBuffer* before = buf(unreached);
    collector::recycle();
    EXPECT_FALSE(freed(unreached));
    EXPECT_NE(buf(unreached), before);
    EXPECT_EQ(ints(unreached), (std::vector<int32_t>{77}));
    EXPECT_EQ(collector::last_report().nodes_freed, 0u);
    collector::set_keep_unreached(false);
    collector::recycle();
    EXPECT_TRUE(freed(unreached));
    EXPECT_TRUE(freed(abandoned_owner));
}

TEST_F(Collector, TheEnabledFlagDecidesWhetherAllocationsCollect) {
    collector::set_enabled(false);
    uint32_t before = memory::collection_count();
    for (int i = 0; i < 40; i++) memory::alloc_bytes(100000);
    EXPECT_EQ(memory::collection_count(), before);
    collector::set_enabled(true);
    int frames = frame_count();
    for (int i = 0; i < 40; i++) memory::alloc_bytes(100000);
    EXPECT_GT(memory::collection_count(), before);
    EXPECT_LE(frame_count(), frames + 1);  // garbage made room again
    collector::set_enabled(false);
}

// Small blocks from the allocation fast path, a few buffers past it, the
// collections the budget runs among them: what stays reachable keeps its
// cells, nodes are reused, and a collection hands its freed nodes out lowest
// first.
TEST_F(Collector, ChurnKeepsReachableContentAcrossBudgetCollections) {
    collector::set_enabled(true);
    collector::set_stress(ZUN_GC_STRESS > 0);
    constexpr int32_t SLOTS = 64;
    const NodeId roots = push_block(SLOTS)->data2;
    const uint32_t before = memory::collection_count();
    constexpr int32_t ROUNDS = ZUN_GC_STRESS > 0 ? 3000 : 200000;
    for (int32_t i = 0; i < ROUNDS; i++) {
        const NodeId pair = memory::alloc_cells(2);
        buf(pair)->cells()[0] = integer_cell(i);
        buf(pair)->cells()[1] = integer_cell(-i);
        buf(pair)->tail = 2 * sizeof(Cell);
        if (i % 7 == 0) buf(roots)->cells()[(i / 7) % SLOTS] = block_cell(pair);
        if (i % 997 == 0) memory::alloc_bytes(70000 + uint32_t(i % 5) * 16);
    }
    if (ZUN_GC_STRESS == 0) {
        EXPECT_GT(memory::collection_count(), before + 2);
    }
    collector::recycle();
    for (int32_t slot = 0; slot < SLOTS; slot++) {
        const Cell kept = buf(roots)->cells()[slot];
        ASSERT_TRUE(kept.is(TYPE_BLOCK)) << slot;
        const int32_t i = ints(kept.data2).front();
        EXPECT_EQ(i % 7, 0);
        EXPECT_EQ((i / 7) % SLOTS, slot);
        EXPECT_EQ(ints(kept.data2), (std::vector<int32_t>{i, -i}));
    }
    // Garbage of one collection: its nodes come back in ascending order.
    NodeId dropped[3];
    for (NodeId& n : dropped) n = memory::alloc_cells(1);
    collector::recycle();
    for (NodeId n : dropped) EXPECT_TRUE(freed(n));
    const NodeId first = memory::alloc_cells(1);
    const NodeId second = memory::alloc_cells(1);
    EXPECT_LT(first, second);
    collector::set_enabled(false);
}

// ---------------------------------------------------------------- cell kinds

TEST_F(Collector, EveryCellKindKeepsWhatItsPayloadNames) {
    Cell* holder = push_block(0);
    NodeId h = holder->data2;
    struct Kept {
        const char* what;
        NodeId node;
    };
    std::vector<Kept> kept;
    auto keep = [&](const char* what, NodeId node) { kept.push_back({what, node}); };
    auto add = [&](const Cell& c) { append(h, c); };
    memory::expand_series(buf(h), 64 * sizeof(Cell));

    NodeId s = bytes("abc"), conv = memory::alloc_bytes(8);
    keep("string", s), keep("conversion buffer", conv);
    add(make_cell(TYPE_FILE, 0, s, conv));
    NodeId name = bytes("name"), cached = bytes("name");
    keep("symbol name", name), keep("symbol string", cached);
    add(make_cell(TYPE_SYMBOL, 0, cached, name));
    NodeId bin = memory::alloc_bytes(4), bits = memory::alloc_bytes(4), vec = memory::alloc_bytes(8);
    keep("binary", bin), keep("bitset", bits), keep("vector", vec);
    add(make_cell(TYPE_BINARY, 0, bin, 0));
    add(make_cell(TYPE_BITSET, 0, bits, 0));
    add(make_cell(TYPE_VECTOR, 0, vec, 3));
    NodeId path = memory::alloc_cells(2);
    keep("path", path);
    add(make_cell(TYPE_GET_PATH, 0, path, 0));

    NodeId ctx = context::create(4, false, true, 0, context::OBJECT_KIND);
    keep("object context", ctx);
    keep("word table", context::cell_of(ctx)->data1);
    keep("values", context::cell_of(ctx)->data2);
    keep("word block", context::word_block(ctx));
    NodeId info = memory::alloc_cells(2);
    keep("on-set-info", info);
    add(make_cell(TYPE_OBJECT, ctx, 0, info));

    NodeId word_ctx = context::create(2, false, false, 0, context::OBJECT_KIND);
    keep("word context", word_ctx);
    add(make_cell(TYPE_SET_WORD, word_ctx, 1, 0));

    NodeId fn_ctx = context::create(2, true, true, 0, context::FUNCTION_KIND);
    NodeId spec = memory::alloc_cells(2), more = memory::alloc_cells(5);
    keep("function context", fn_ctx), keep("spec", spec), keep("more", more);
    add(make_cell(TYPE_FUNCTION, fn_ctx, spec, more));
    NodeId op_ctx = context::create(2, true, true, 0, context::FUNCTION_KIND);
    NodeId op_spec = memory::alloc_cells(2), op_more = memory::alloc_cells(5);
    keep("op context", op_ctx), keep("op spec", op_spec), keep("op more", op_more);
    add(make_cell(TYPE_OP | (TYPE_FUNCTION << 16), op_ctx, op_spec, op_more));
    NodeId nat_spec = memory::alloc_cells(2), nat_more = memory::alloc_cells(2);
    keep("native spec", nat_spec), keep("native more", nat_more);
    add(make_cell(TYPE_NATIVE, 3, nat_spec, nat_more));

    NodeId hashed = memory::alloc_cells(4);
    append(hashed, integer_cell(1));
    append(hashed, integer_cell(2));
    NodeId table = hashtable::make(4, hashed, hashtable::KIND_HASH, 0);
    const hashtable::Table t = *hashtable::table_of(table);
    keep("hash block", hashed), keep("hash table", table), keep("flags", t.flags);
    keep("buckets", t.buckets), keep("positions", t.aux1), keep("position lists", t.aux2);
    add(make_cell(TYPE_HASH, 0, hashed, table));

    NodeId args = memory::alloc_cells(3);
    keep("interim error arguments", args);
    add(make_cell(TYPE_ERROR, uint32_t(ErrorId::internal_not_done), args, 0));
    NodeId event_block = memory::alloc_cells(1);
    keep("event block", event_block);
    add(make_cell(TYPE_EVENT | 0x1000, 0, event_block, 0));

    // Unflagged events and plain numbers name nothing.
    NodeId unnamed = memory::alloc_cells(1);
    add(make_cell(TYPE_EVENT, 0, unnamed, 0));
    add(make_cell(TYPE_INTEGER, 0, unnamed, unnamed));

    collector::recycle();
    for (const Kept& k : kept) EXPECT_FALSE(freed(k.node)) << k.what;
    EXPECT_TRUE(freed(unnamed));
    stack::pop(1);
    collector::recycle();
    for (const Kept& k : kept) EXPECT_TRUE(freed(k.node)) << k.what;
}

TEST_F(Collector, ExternalResourcesAreReleasedExactlyOnce) {
    static std::vector<uintptr_t> released;
    released.clear();
    externals::init();
    int kind = externals::register_kind("test", [](uintptr_t r) { released.push_back(r); });
    int32_t kept = externals::add(0xAB, kind);
    int32_t lost = externals::add(0xCD, kind);
    const Cell handle = make_cell(TYPE_HANDLE, 0, 7, uint32_t(kept));
    const Cell no_entry = make_cell(TYPE_HANDLE, 0, 8, uint32_t(-1));
    stack::push(&handle);
    stack::push(&no_entry);
    collector::recycle();
    EXPECT_EQ(released, (std::vector<uintptr_t>{0xCD}));
    EXPECT_EQ(externals::resource(kept), 0xABu);
    EXPECT_EQ(externals::resource(lost), 0u);
    collector::recycle();
    EXPECT_EQ(released.size(), 1u);
    stack::pop(2);
    collector::recycle();
    EXPECT_EQ(released, (std::vector<uintptr_t>{0xCD, 0xAB}));
    collector::recycle();
    EXPECT_EQ(released.size(), 2u);
}

// ---------------------------------------------------------------- roots

TEST_F(Collector, AGuardKeepsALocalCellWhileItLives) {
    Cell local = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(2), 0);
    Cell pair[2] = {make_cell(TYPE_STRING, 0, bytes("a"), 0), make_cell(TYPE_STRING, 0, bytes("b"), 0)};
    {
        GcRoot guard(&local);
        GcRoot both(pair, 2);
        EXPECT_EQ(GcRoot::depth(), 2u);
        collector::recycle();
        EXPECT_FALSE(freed(local.data2));
        EXPECT_EQ(text(pair[1].data2), "b");
    }
    EXPECT_EQ(GcRoot::depth(), 0u);
    collector::recycle();
    EXPECT_TRUE(freed(local.data2));
    EXPECT_TRUE(freed(pair[0].data2));
}

Cell g_marked = make_cell(TYPE_UNSET);
void mark_g_marked() { collector::mark_cells(&g_marked, &g_marked + 1); }

TEST_F(Collector, AMarkCallbackKeepsWhatItMarksUntilUnregistered) {
    g_marked = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(3), 0);
    NodeId node = g_marked.data2;
    collector::register_marker(mark_g_marked);
    collector::recycle();
    EXPECT_FALSE(freed(node));
    collector::unregister_marker(mark_g_marked);
    collector::recycle();
    EXPECT_TRUE(freed(node));
    g_marked = make_cell(TYPE_UNSET);
}

TEST_F(Collector, StartUpRootsKeepGlobalValuesAndSymbols) {
    symbols::init();
    NodeId kept = memory::alloc_cells(2);
    const Cell value = make_cell(TYPE_BLOCK, 0, kept, 0);
    const Cell word = make_cell(TYPE_WORD, 0, symbol::make("kept-by-global"), context::NO_INDEX);
    context::put_value(context::global(), &word, &value);
    NodeId root_kept = memory::alloc_cells(1);
    *support::append_cell(symbols::root_block()) = make_cell(TYPE_BLOCK, 0, root_kept, 0);
    NodeId global = context::global(), table = symbols::table(), series = symbols::series();
    collector::recycle();
    EXPECT_FALSE(freed(kept));
    EXPECT_FALSE(freed(root_kept));
    EXPECT_FALSE(freed(global));
    EXPECT_FALSE(freed(table));
    EXPECT_FALSE(freed(series));
    EXPECT_EQ(symbol::name(symbol::make("kept-by-global")), "kept-by-global");
}

TEST_F(Collector, CallFramesKeepTheirContexts) {
    NodeId ctx = context::create(2, true, false, 0, context::FUNCTION_KIND);
    stack::push_function_frame(nullptr, ctx);
    collector::recycle();
    EXPECT_FALSE(freed(ctx));
    EXPECT_FALSE(freed(context::cell_of(ctx)->data1));
    stack::pop_frame_discard();
    collector::recycle();
    EXPECT_TRUE(freed(ctx));
}

TEST_F(Collector, TheCodePositionKeepsItsBlock) {
    Cell* position = interpreter::code_position();
    const Cell saved = *position;
    NodeId code = memory::alloc_cells(2);
    *position = make_cell(TYPE_BLOCK, 1, code, 0);
    collector::recycle();
    EXPECT_FALSE(freed(code));
    *position = saved;
    collector::recycle();
    EXPECT_TRUE(freed(code));
}

TEST_F(Collector, ValueSlotsKeepTheirValues) {
    value_slots::init();
    NodeId node = memory::alloc_cells(1);
    const Cell value = make_cell(TYPE_BLOCK, 0, node, 0);
    int32_t slot = value_slots::add(&value);
    collector::recycle();
    EXPECT_FALSE(freed(node));
    EXPECT_FALSE(freed(value_slots::block()));
    EXPECT_EQ(value_slots::get(slot)->data2, node);
    value_slots::free_(slot);
    collector::recycle();
    EXPECT_TRUE(freed(node));
}

TEST_F(Collector, StateOfAnEarlierMemoryManagerIsNotUsed) {
    value_slots::init();
    EXPECT_NE(value_slots::block(), 0u);
    memory::init();
    stack::init();
    EXPECT_EQ(value_slots::block(), 0u);
    EXPECT_EQ(value_slots::add(&shared_none_cell), 0);
    collector::recycle();  // nothing stale is marked
}

}  // namespace
