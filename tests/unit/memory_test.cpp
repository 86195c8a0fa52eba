#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/stats.hpp"
#include "core/support.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using memory::SeriesBuffer;

namespace {

class Memory : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        cycles::init();
        stack::init();
    }
};

using test_support::raised;

TEST_F(Memory, BufferLayoutFollowsTheRequest) {
    struct Case {
        uint32_t count, unit;
        int32_t head;
        uint32_t payload, head_at;
        bool middle;
    };
    const Case cases[] = {
        {3, 16, 0, 48, 0, false},   // cells
        {3, 16, -1, 48, 24, true},  // head placed in the middle
        {5, 1, 0, 16, 0, false},    // rounded up to 16
        {17, 2, 4, 48, 4, false},
    };
    for (const Case& c : cases) {
        NodeId n = memory::alloc_series(c.count, c.unit, c.head);
        SeriesBuffer* b = memory::buffer_of(n);
        EXPECT_EQ(b->size, c.payload);
        EXPECT_EQ(b->head, c.head_at);
        EXPECT_EQ(b->tail, c.head_at);
        EXPECT_EQ(b->node, n);
        EXPECT_EQ(b->unit(), c.unit);
        EXPECT_EQ(bool(b->flags & memory::MIDDLE_HEAD_FLAG), c.middle);
        EXPECT_TRUE(b->flags & memory::LIVE_FLAG);
        EXPECT_TRUE(b->flags & memory::MADE_FLAG);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b->data()) % 8, 0u);
    }
    // Zero counts still give room for 16 bytes.
    EXPECT_EQ(memory::buffer_of(memory::alloc_units(0, 4))->size, 16u);
    EXPECT_EQ(memory::buffer_of(memory::alloc_bytes(0))->size, 16u);
}

TEST_F(Memory, BigBlocksStartWhereTheNeedReachesTwoMegabytes) {
    NodeId stays = memory::alloc_bytes(2097120);  // need 2,097,144
    NodeId big = memory::alloc_bytes(2097136);    // need 2,097,160
    EXPECT_FALSE(memory::buffer_of(stays)->flags & memory::BIG_FLAG);
    EXPECT_TRUE(memory::buffer_of(big)->flags & memory::BIG_FLAG);
    EXPECT_EQ(memory::first_big_block()->size, 2097160u);
}

TEST_F(Memory, FramesGrowFromOneToTwoMegabytes) {
    // Fill the first frame; the next one is 2 MB since making the first doubled it.
    for (int i = 0; i < 3; i++) memory::alloc_bytes(400000);
    std::vector<uint32_t> sizes;  // the list is in address order, not creation order
    for (auto* f = memory::first_series_frame(); f; f = f->next) sizes.push_back(f->size);
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<uint32_t>{(1u << 20) + 20, (2u << 20) + 20}));
}

TEST_F(Memory, ExpandKeepsContentNodeAndUsedBytes) {
    NodeId n = memory::alloc_bytes(32);
    SeriesBuffer* b = memory::buffer_of(n);
    std::memcpy(b->tail_ptr(), "0123456789", 10);
    b->tail += 10;
    SeriesBuffer* old = b;
    b = memory::expand_series(b, 64);
    EXPECT_NE(b, old);
    EXPECT_EQ(memory::buffer_of(n), b);
    EXPECT_EQ(b->node, n);
    EXPECT_EQ(old->node, 0u);
    EXPECT_FALSE(old->flags & memory::LIVE_FLAG);
    EXPECT_EQ(b->size, 64u);
    EXPECT_EQ(b->used(), 10u);
    EXPECT_EQ(std::memcmp(b->head_ptr(), "0123456789", 10), 0);

    // Grow past the frames into a big block and back out of it: still the same node.
    b = memory::expand_series(b, 3 << 20);
    EXPECT_TRUE(b->flags & memory::BIG_FLAG);
    b = memory::expand_series(b, 128);
    EXPECT_FALSE(b->flags & memory::BIG_FLAG);
    EXPECT_EQ(memory::buffer_of(n), b);
    EXPECT_EQ(std::memcmp(b->head_ptr(), "0123456789", 10), 0);
}

TEST_F(Memory, ReplaceMovesTheHeadToTheStartAndDoublesByDefault) {
    NodeId n = memory::alloc_series(4, 16, -1);  // head in the middle
    SeriesBuffer* b = memory::buffer_of(n);
    b->tail += 16;
    b = memory::replace_buffer(b, 0);
    EXPECT_EQ(b->size, 128u);
    EXPECT_EQ(b->head, 0u);
    EXPECT_EQ(b->used(), 16u);
    EXPECT_EQ(raised([&] { memory::replace_buffer(memory::buffer_of(n), -5); }),
              ErrorId::internal_no_memory);
    // A block made empty can still grow cell by cell.
    NodeId empty = memory::alloc_cells(0);
    EXPECT_EQ(memory::buffer_of(empty)->size, 0u);
    support::alloc_tail_cell(empty);
    EXPECT_EQ(memory::buffer_of(empty)->used(), 16u);
}

TEST_F(Memory, ExpandFilledFillsOnlyTheNewPart) {
    NodeId n = memory::alloc_bytes_filled(16, 0xAA);
    SeriesBuffer* b = memory::expand_series_filled(memory::buffer_of(n), 48, 0x11);
    for (uint32_t i = 0; i < 48; i++) EXPECT_EQ(b->data()[i], i < 16 ? 0xAA : 0x11) << i;
    b->flags |= memory::COMPLEMENTED_FLAG;
    b = memory::expand_series_filled(b, 64, 0x00);
    EXPECT_EQ(b->data()[63], 0xFF);  // complemented bitsets grow with set bits
}

TEST_F(Memory, CloneCopiesPayloadAndPosition) {
    NodeId n = memory::alloc_series(8, 1, -1);
    SeriesBuffer* b = memory::buffer_of(n);
    std::memcpy(b->tail_ptr(), "abc", 3);
    b->tail += 3;
    NodeId c = memory::clone_buffer(b);
    SeriesBuffer* copy = memory::buffer_of(c);
    EXPECT_NE(c, n);
    EXPECT_EQ(copy->used(), 3u);
    EXPECT_EQ(std::memcmp(copy->head_ptr(), "abc", 3), 0);
}

TEST_F(Memory, NodesAreStableAndComeFromNewFramesWhenFull) {
    std::vector<NodeId> nodes;
    for (uint32_t i = 0; i < memory::NODES_PER_FRAME + 5; i++) nodes.push_back(memory::alloc_node());
    int frames = 0;
    for (int32_t i = memory::first_node_frame(); i >= 0; i = memory::node_frame(i).next) frames++;
    EXPECT_EQ(frames, 2);
    // Every id is distinct; freeing one hands it out again.
    std::vector<NodeId> sorted = nodes;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
    NodeId freed = nodes[17];
    memory::free_node(freed);
    EXPECT_TRUE(memory::node_free(freed));
    int32_t first = memory::first_node_frame();
    EXPECT_EQ(memory::node_frame(first).used, memory::NODES_PER_FRAME - 1);
}

TEST_F(Memory, StatsReportFramesAndTotals) {
    memory::alloc_bytes(100);
    NodeId out = memory::alloc_cells(8);
    Cell block{TYPE_BLOCK, 0, out, 0};
    Cell result{};
    stats::memory(&block, 1, &result);
    EXPECT_TRUE(result.is(TYPE_FLOAT));
    EXPECT_GT(result.as_double(), 4.0 * 2);

    stats::memory(&block, 2, &result);
    SeriesBuffer* b = memory::buffer_of(out);
    ASSERT_EQ(b->used(), 5u * 16);
    Cell* cells = b->head_cell();
    EXPECT_TRUE(cells[0].is(TYPE_BLOCK));
    Cell* node_frames = memory::buffer_of(cells[0].data2)->head_cell();
    Cell* triple = memory::buffer_of(node_frames[0].data2)->head_cell();
    EXPECT_TRUE(node_frames[0].header & NEW_LINE_FLAG);
    EXPECT_EQ(triple[2].as_int(), 10000);
    EXPECT_EQ(triple[0].as_int() + triple[1].as_int(), 10000);
    EXPECT_TRUE(cells[3].is(TYPE_INTEGER));
    EXPECT_TRUE(cells[4].is(TYPE_INTEGER));
}

TEST_F(Memory, TailCellsAndReservedBytesGrowTheBuffer) {
    NodeId blk = memory::alloc_cells(1);
    for (int i = 0; i < 5; i++) support::alloc_tail_cell(blk)->data1 = i;
    SeriesBuffer* b = memory::buffer_of(blk);
    EXPECT_EQ(b->used(), 80u);
    EXPECT_EQ(b->head_cell()[4].data1, 4u);
    EXPECT_TRUE(b->head_cell()[4].is(TYPE_UNSET));

    NodeId bytes = memory::alloc_bytes(64);
    memory::buffer_of(bytes)->tail = 64;
    support::reserve_bytes(bytes, 100);
    EXPECT_EQ(memory::buffer_of(bytes)->size, 208u);
    EXPECT_EQ(memory::buffer_of(bytes)->used(), 164u);
}

TEST_F(Memory, ReplicateBytesDoubles) {
    uint8_t buf[32] = {'a', 'b', 'c'};
    uint8_t* end = support::replicate_bytes(buf, 3, 7);
    EXPECT_EQ(end, buf + 21);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 21), "abcabcabcabcabcabcabc");
    EXPECT_EQ(support::replicate_bytes(buf, 0, 5), buf);
}

TEST_F(Memory, ToIntCheckedTruncatesOrRaises) {
    struct Case {
        double value;
        bool raises;
        int32_t result;
    };
    const Case cases[] = {{2147483647.0, false, 2147483647}, {2147483647.5, true, 0},
                          {-2147483647.9, false, -2147483647}, {-2147483648.5, true, 0},
                          {-2147483648.0, false, INT32_MIN}, {0.0 / 0.0, true, 0}};
    for (const Case& c : cases) {
        Cell f{TYPE_FLOAT, 0, 0, 0};
        f.set_double(c.value);
        if (c.raises)
            EXPECT_EQ(raised([&] { support::to_int_checked(&f); }), ErrorId::script_out_of_range);
        else
            EXPECT_EQ(support::to_int_checked(&f), c.result);
    }
}

TEST_F(Memory, CycleStackHoldsAtMost999) {
    for (NodeId n = 1; n <= 999; n++) cycles::push(n);
    EXPECT_TRUE(cycles::find(500));
    EXPECT_EQ(raised([] { cycles::push(1000); }), ErrorId::internal_too_deep);
    EXPECT_EQ(cycles::depth(), 0);
    EXPECT_FALSE(cycles::find(500));
}

TEST(ErrorCatalogue, CodesAndTemplatesMatchTheCatalogue) {
    EXPECT_EQ(error_info(ErrorId::script_expect_arg).code, 305);
    EXPECT_EQ(error_info(ErrorId::script_invalid_data).code, 316);
    EXPECT_EQ(error_info(ErrorId::math_zero_divide).code, 400);
    EXPECT_EQ(error_info(ErrorId::internal_stack_overflow).code, 904);
    EXPECT_STREQ(error_info(ErrorId::throw_break).message, "\"no loop to break\"");
    EXPECT_STREQ(error_category_title(3), "Script Error");
    // Codes rise within a category from 100 x category.
    for (size_t i = 1; i < size_t(ErrorId::count_); i++) {
        const ErrorInfo& a = error_info(ErrorId(i - 1));
        const ErrorInfo& b = error_info(ErrorId(i));
        if (a.category == b.category) EXPECT_EQ(b.code, a.code + 1) << b.id_name;
        else EXPECT_EQ(b.code, b.category * 100) << b.id_name;
    }
}

}  // namespace

namespace {

class MoldHelpers : public ::testing::Test {
protected:
    void SetUp() override {
        memory::init();
        cycles::init();
        stack::init();
    }
    std::string text(Cell* s) {
        std::string out;
        memory::SeriesBuffer* b = memory::buffer_of(s->data2);
        for (uint32_t i = b->head; i < b->tail; i++) out += char(b->data()[i]);
        return out;
    }
};

TEST_F(MoldHelpers, IndentAndCycleMarkers) {
    Cell buf{};
    string::make_empty_at(&buf, 16);
    EXPECT_EQ(support::mold_indent(&buf, 2, 100), 92);
    EXPECT_EQ(text(&buf), "        ");

    struct Case {
        uint32_t type;
        bool mold;
        const char* marker;
    };
    const Case cases[] = {{TYPE_BLOCK, true, "[...]"},      {TYPE_BLOCK, false, "..."},
                          {TYPE_PAREN, true, "(...)"},      {TYPE_MAP, true, "#[...]"},
                          {TYPE_OBJECT, true, "make object! [...]"}, {TYPE_PATH, true, "..."}};
    for (const Case& c : cases) {
        string::make_empty_at(&buf, 16);
        Cell value{c.type, 0, 0, 0};
        (c.type == TYPE_OBJECT ? value.data1 : value.data2) = 77;
        int limit = 50;
        EXPECT_FALSE(interpreter::mold_cycle_marker(&value, &buf, &limit, c.mold));
        cycles::push(77);
        EXPECT_TRUE(interpreter::mold_cycle_marker(&value, &buf, &limit, c.mold));
        cycles::pop();
        EXPECT_EQ(text(&buf), c.marker);
        EXPECT_EQ(limit, 50 - int(std::strlen(c.marker)));
    }
}

}  // namespace
