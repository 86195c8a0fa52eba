#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "core/case_folding.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using hashtable::Table;

namespace {

// ---------------------------------------------------------------- comparators
// The tables only need equality; these stand in for the datatypes' own.

int order(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

int compare_integers(Cell* a, Cell* b, int) {
    if (!b->is(TYPE_INTEGER)) return COMPARE_UNCOMPARABLE;
    return order(a->as_int(), b->as_int());
}

int compare_strings(Cell* a, Cell* b, int op) {
    if (!b->is(TYPE_STRING)) return COMPARE_UNCOMPARABLE;
    int32_t na = string::length_from_start(a), nb = string::length_from_start(b);
    int32_t i = int32_t(a->data1), j = int32_t(b->data1);
    for (; i < na && j < nb; i++, j++) {
        uint32_t x = string::char_at(a, i), y = string::char_at(b, j);
        if (op != COMP_STRICT_EQUAL) {
            x = unicode::change_case(x, false);
            y = unicode::change_case(y, false);
        }
        if (x != y) return order(x, y);
    }
    return order(na - i, nb - j);
}

bool word_type(uint32_t t) { return t >= TYPE_WORD && t <= TYPE_ISSUE; }

int compare_words(Cell* a, Cell* b, int op) {
    if (!word_type(b->type())) return COMPARE_UNCOMPARABLE;
    if (op == COMP_STRICT_EQUAL) return a->type() == b->type() && a->data2 == b->data2 ? 0 : 1;
    return symbol::canonical(a->data2) == symbol::canonical(b->data2) ? 0 : 1;
}

void install_compare(uint32_t type, SlotFnT<A_COMPARE> fn) {
    registry::g_action_table[type * registry::ROW + A_COMPARE - 1] = reinterpret_cast<AnyHandler>(fn);
}

class HashTable : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        unicode::init_case_tables();
        symbols::init();
        install_compare(TYPE_INTEGER, compare_integers);
        install_compare(TYPE_STRING, compare_strings);
        for (uint32_t t = TYPE_WORD; t <= TYPE_ISSUE; t++) install_compare(t, compare_words);
    }
};

// ---------------------------------------------------------------- helpers
// Blocks live in value-stack cells, so they stay reachable while tests allocate;
// a hashed block's cell carries its table in word 3 (as hash! and map! do).

Cell* hold(const Cell& value) { return stack::push(&value); }
Cell* new_block(uint32_t room = 8) { return hold(make_cell(TYPE_BLOCK, 0, memory::alloc_cells(room), 0)); }
Cell* hold_table(NodeId table) {
    return hold(make_cell(TYPE_HASH, 0, hashtable::table_of(table)->block, table));
}
uint32_t length(const Cell* block) { return memory::buffer_of(block->data2)->used() / sizeof(Cell); }
Cell* at(const Cell* block, uint32_t pos) { return memory::buffer_of(block->data2)->head_cell() + pos; }
int32_t pos_of(const Cell* block, const Cell* found) {
    return found ? int32_t(found - memory::buffer_of(block->data2)->head_cell()) : -1;
}
void add(Cell* block, const Cell& value) { *support::append_cell(block) = value; }
void add_int(Cell* block, int32_t v) { add(block, integer_cell(v)); }
void add_text(Cell* block, const char* text) {
    string::load_c_text_in(text, uint32_t(std::strlen(text)), block, 0);
}
Cell word(const char* name, uint32_t type = TYPE_WORD) { return make_cell(type, 0, symbol::make(name), 0); }

NodeId hashed(Cell* block, uint32_t kind) {
    NodeId table = hashtable::make(length(block), block->data2, kind, 0);
    block->set_type(kind == hashtable::KIND_MAP ? TYPE_MAP : TYPE_HASH);
    block->data3 = table;
    return table;
}

Cell text(const char* s) {
    Cell* cell = stack::push_cell();
    string::load_c_text_at(s, uint32_t(std::strlen(s)), cell, 0);
    return *cell;
}

int32_t find_in(const Cell* block, const Cell& key, int32_t start = 0, int op = COMP_EQUAL,
                int32_t skip = 1, bool last = false, bool reverse = false) {
    return pos_of(block, hashtable::find(block->data3, &key, start, skip, op, last, reverse));
}

std::vector<int32_t> bucket_entries(NodeId table) {
    const Table* t = hashtable::table_of(table);
    const auto* w = reinterpret_cast<const int32_t*>(memory::buffer_of(t->buckets)->head_ptr());
    const auto* f = reinterpret_cast<const uint32_t*>(memory::buffer_of(t->flags)->head_ptr());
    std::vector<int32_t> in_use;
    for (uint32_t i = 0; i < t->n; i++)
        if ((f[i / 16] >> (2 * (i % 16)) & 3) == 0) in_use.push_back(w[i]);
    return in_use;
}

// ---------------------------------------------------------------- hashing

TEST(HashMurmur3, PublishedVectors) {
    const struct {
        const char* data;
        size_t length;
        uint32_t seed, hash;
    } cases[] = {
        {"", 0, 0, 0},
        {"", 0, 1, 0x514E28B7},
        {"", 0, 0xFFFFFFFF, 0x81F16F39},
        {"\0\0\0\0", 4, 0, 0x2362F9DE},
        {"\x21\x43\x65\x87", 4, 0, 0xF55B516B},
        {"\x21\x43\x65", 3, 0, 0x7E4A8634},
        {"\x21\x43", 2, 0, 0xA0F7B07A},
        {"\x21", 1, 0, 0x72661CF4},
        {"aaaa", 4, 0x9747B28C, 0x5A97808A},
        {"abc", 3, 0x9747B28C, 0xC84A62DD},
        {"Hello, world!", 13, 0x9747B28C, 0x24884CBA},
        {"The quick brown fox jumps over the lazy dog", 43, 0x9747B28C, 0x2FA826CD},
    };
    for (const auto& c : cases)
        EXPECT_EQ(hashtable::murmur3_32_seeded(c.data, c.length, c.seed), c.hash) << c.data;
}

TEST_F(HashTable, StringsHashTheirCodePointsFolded) {
    // One 32-bit block per code point, lowered, length 4 x count.
    const uint32_t lowered[] = {0xE0, 'b', 'c'};
    Cell upper = text("\xC3\x80" "bC");  // "Àbc" with a capital
    Cell lower = text("\xC3\xA0" "bc");
    EXPECT_EQ(hashtable::hash_string(&lower, false), hashtable::murmur3_32(lowered, sizeof lowered));
    EXPECT_EQ(hashtable::hash_value(&upper, false), hashtable::hash_value(&lower, false));
    EXPECT_NE(hashtable::hash_value(&upper, true), hashtable::hash_value(&lower, true));
    // The unit size does not show in the hash; the head index does.
    Cell wide = text("\xC3\xA0" "bc");
    string::widen_to(string::buffer_of(&wide), 1, 2);
    EXPECT_EQ(hashtable::hash_string(&wide, true), hashtable::hash_string(&lower, true));
    Cell tail = lower;
    tail.data1 = 1;
    Cell bc = text("bc");
    EXPECT_EQ(hashtable::hash_string(&tail, true), hashtable::hash_string(&bc, true));
}

TEST_F(HashTable, EqualValuesHashAlike) {
    Cell zero = make_cell(TYPE_FLOAT), minus_zero = make_cell(TYPE_FLOAT);
    zero.set_double(0.0);
    minus_zero.set_double(-0.0);
    const float p[] = {1.5f, -0.0f, 2.0f}, q[] = {1.5f, 0.0f, 2.0f};
    Cell p3 = make_cell(TYPE_POINT3D, std::bit_cast<uint32_t>(p[0]), std::bit_cast<uint32_t>(p[1]),
                        std::bit_cast<uint32_t>(p[2]));
    Cell q3 = make_cell(TYPE_POINT3D, std::bit_cast<uint32_t>(q[0]), std::bit_cast<uint32_t>(q[1]),
                        std::bit_cast<uint32_t>(q[2]));
    Cell tuple_a = make_cell(TYPE_TUPLE | 3u << 19, 0x00030201, 0, 0);
    Cell tuple_b = make_cell(TYPE_TUPLE | 3u << 19, 0xFF030201, 7, 9);  // bytes past the length
    Cell money_zero = make_cell(TYPE_MONEY, 0, 0, 0), money_minus_zero = make_cell(TYPE_MONEY | 0x4000, 0, 0, 0);
    Cell foo = word("Foo-key"), set_foo = word("foo-KEY", TYPE_SET_WORD);
    const std::pair<Cell, Cell> pairs[] = {
        {zero, minus_zero}, {p3, q3}, {tuple_a, tuple_b}, {money_zero, money_minus_zero}, {foo, set_foo},
    };
    for (const auto& [a, b] : pairs)
        EXPECT_EQ(hashtable::hash_value(&a, false), hashtable::hash_value(&b, false)) << a.type();
    const Cell unset = make_cell(TYPE_UNSET), none = make_cell(TYPE_NONE), ctx = make_cell(TYPE_CONTEXT, 5);
    EXPECT_EQ(hashtable::hash_value(&unset, false), uint32_t(-2));
    EXPECT_EQ(hashtable::hash_value(&none, false), uint32_t(-1));
    EXPECT_EQ(hashtable::hash_value(&ctx, false), 0u);
    Cell i7 = integer_cell(7);
    EXPECT_EQ(hashtable::hash_value(&i7, false), hashtable::murmur3_fmix32(7));
}

// ---------------------------------------------------------------- value tables

TEST_F(HashTable, SizingFollowsTheLoadFactor) {
    const struct {
        uint32_t size, kind, n, bound;
    } cases[] = {
        {1, hashtable::KIND_HASH, 8, 6},        {4, hashtable::KIND_MAP, 8, 6},
        {10, hashtable::KIND_HASH, 16, 12},     {100, hashtable::KIND_WORDS, 256, 197},
        {3999, hashtable::KIND_WORDS, 8192, 6307}, {4000, hashtable::KIND_WORDS, 16384, 12615},
        {4000, hashtable::KIND_HASH, 8192, 6307},
    };
    for (const auto& c : cases) {
        const Table* t = hashtable::table_of(hashtable::make(c.size, 0, c.kind, 0));
        EXPECT_EQ(t->n, c.n) << c.size;
        EXPECT_EQ(t->bound, c.bound) << c.size;
        EXPECT_EQ(t->stamp, 0u);
    }
}

TEST_F(HashTable, HashDuplicatesShareOneBucketThroughAPositionList) {
    Cell* block = new_block();
    for (const char* s : {"a", "b", "A", "a"}) add_text(block, s);
    NodeId table = hashed(block, hashtable::KIND_HASH);
    EXPECT_EQ(hashtable::table_of(table)->size, 2u);
    Cell a = text("a");
    const struct {
        int32_t start, skip;
        int op;
        bool last, reverse;
        int32_t found;
    } cases[] = {
        {0, 1, COMP_EQUAL, false, false, 0},   {1, 1, COMP_EQUAL, false, false, 2},
        {0, 1, COMP_EQUAL, true, false, 3},    {3, 1, COMP_EQUAL, false, true, 2},
        {2, 1, COMP_EQUAL, false, true, 0},    {1, 1, COMP_STRICT_EQUAL, false, false, 3},
        {1, 2, COMP_EQUAL, false, false, 3},   {0, 2, COMP_EQUAL, true, false, 2},
        {4, 2, COMP_EQUAL, false, true, 3},    {0, 1, COMP_STRICT_EQUAL, true, false, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(find_in(block, a, c.start, c.op, c.skip, c.last, c.reverse), c.found)
            << c.start << " skip " << c.skip << " last " << c.last << " reverse " << c.reverse;

    hashtable::remove_cell(table, at(block, 2));
    hashtable::remove_cell(table, at(block, 3));
    // One position left: a plain bucket again, and no list kept.
    std::vector<int32_t> entries = bucket_entries(table);
    EXPECT_TRUE(std::all_of(entries.begin(), entries.end(), [](int32_t e) { return e >= 0; }));
    EXPECT_EQ(hashtable::table_of(table)->size, 2u);
    EXPECT_EQ(find_in(block, a, 0), 0);
    EXPECT_EQ(find_in(block, a, 1), -1);
    hashtable::remove_cell(table, at(block, 0));
    EXPECT_EQ(find_in(block, a, 0), -1);
    EXPECT_EQ(hashtable::table_of(table)->size, 1u);
}

TEST_F(HashTable, DuplicateChurnDoesNotGrowTheListOfLists) {
    Cell* block = new_block();
    add_text(block, "k");
    NodeId table = hashed(block, hashtable::KIND_HASH);
    for (int i = 0; i < 100; i++) {
        add_text(block, "k");
        hashtable::put(table, at(block, 1));
        hashtable::remove_cell(table, at(block, 1));
        memory::buffer_of(block->data2)->tail -= sizeof(Cell);
    }
    EXPECT_EQ(array::length(hashtable::table_of(table)->aux2), 0u);
    EXPECT_EQ(find_in(block, text("k")), 0);
}

TEST_F(HashTable, FindNextWalksEveryEqualKey) {
    Cell* block = new_block();
    for (const char* s : {"x", "X", "y", "x"}) add_text(block, s);
    NodeId table = hashed(block, hashtable::KIND_HASH);
    Cell x = text("x");
    std::set<int32_t> seen;
    for (Cell* c = hashtable::find(table, &x, 0, 1, COMP_EQUAL, false, false); c;
         c = hashtable::find_next(table, &x, COMP_EQUAL))
        seen.insert(pos_of(block, c));
    EXPECT_EQ(seen, (std::set<int32_t>{0, 1, 3}));
}

TEST_F(HashTable, MapKeysGivenTwiceKeepTheLaterValue) {
    Cell* block = new_block();
    add_int(block, 1), add_text(block, "one");
    add_int(block, 2), add_text(block, "two");
    add_int(block, 1), add_text(block, "uno");
    add(block, word("Foo-m")), add_int(block, 10);
    add(block, word("foo-m")), add_int(block, 20);  // distinct under /case
    NodeId table = hashed(block, hashtable::KIND_MAP);
    ASSERT_EQ(length(block), 8u);  // the later pair of key 1 left the block
    EXPECT_EQ(hashtable::table_of(table)->size, 4u);
    EXPECT_EQ(test_support::bytes_of(at(block, 1)), "uno");
    EXPECT_TRUE(at(block, 4)->is(TYPE_SET_WORD));  // word keys are stored as set-words

    // Words that differ only in case are one key unless compared strictly.
    Cell lookup = word("FOO-M");
    EXPECT_EQ(find_in(block, lookup, 0, COMP_EQUAL), 4);
    EXPECT_EQ(pos_of(block, hashtable::find_next(table, &lookup, COMP_EQUAL)), 6);
    EXPECT_EQ(hashtable::find_next(table, &lookup, COMP_EQUAL), nullptr);
    EXPECT_EQ(find_in(block, lookup, 0, COMP_STRICT_EQUAL), -1);
    EXPECT_EQ(find_in(block, word("foo-m"), 0, COMP_STRICT_EQUAL), 6);
}

TEST_F(HashTable, RemovedMapEntriesKeepTheirBucketAndCountOnce) {
    Cell* block = new_block();
    add_int(block, 5), add_int(block, 50);
    add_int(block, 6), add_int(block, 60);
    NodeId table = hashed(block, hashtable::KIND_MAP);
    hashtable::remove_cell(table, at(block, 0));
    hashtable::remove_cell(table, at(block, 0));
    EXPECT_EQ(hashtable::table_of(table)->size, 1u);
    EXPECT_EQ(at(block, 1)->header, 0u);
    EXPECT_EQ(find_in(block, integer_cell(5)), 0);  // found again, to be revived
}

TEST_F(HashTable, WordsDifferingInCaseShareAContextSlotByCanonicalId) {
    NodeId table = hashtable::make(4, 0, hashtable::KIND_WORDS, 0);
    hold_table(table);
    uint32_t Foo = symbol::make("Foo-ctx"), foo = symbol::make("foo-ctx");
    const NodeId ctx = 77;
    int32_t index = -5;
    EXPECT_EQ(hashtable::context_word_index(table, Foo, true, ctx, &index), -1);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(hashtable::context_word_index(table, foo, true, 0, nullptr), 0);
    EXPECT_EQ(hashtable::context_word_index(table, foo, false, 0, nullptr), -1);
    EXPECT_EQ(hashtable::context_word_index(table, foo, false, ctx, &index), -1);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(hashtable::context_word_index(table, Foo, true, ctx, &index), 0);
    EXPECT_EQ(index, 0);
    const Cell& added = *(memory::buffer_of(hashtable::table_of(table)->block)->head_cell() + 1);
    EXPECT_EQ(added.type(), uint32_t(TYPE_WORD));
    EXPECT_EQ(added.data1, ctx);
    EXPECT_EQ(added.data2, foo);
    EXPECT_EQ(added.data3, 1u);
    // Growing by sixteen: 8 buckets hold 6; the 7th word finds 256.
    for (int i = 0; i < 5; i++)
        hashtable::context_word_index(table, symbol::make(("w" + std::to_string(i)).c_str()), true, ctx, &index);
    EXPECT_EQ(hashtable::table_of(table)->n, 256u);
    EXPECT_EQ(hashtable::context_word_index(table, symbol::make("W3"), true, 0, nullptr), 5);
}

TEST_F(HashTable, CopiedTablesAreIndependent) {
    Cell* block = new_block();
    for (int v : {3, 4, 3, 5}) add_int(block, v);
    NodeId table = hashed(block, hashtable::KIND_HASH);
    Cell* twin = stack::push(block);
    twin->data2 = memory::clone_buffer(memory::buffer_of(block->data2));
    twin->data3 = hashtable::copy(table, twin->data2);
    hashtable::remove_cell(twin->data3, at(twin, 2));
    hashtable::remove_cell(twin->data3, at(twin, 3));
    EXPECT_EQ(find_in(twin, integer_cell(3), 1), -1);
    EXPECT_EQ(find_in(twin, integer_cell(5)), -1);
    EXPECT_EQ(find_in(block, integer_cell(3), 1), 2);
    EXPECT_EQ(find_in(block, integer_cell(5)), 3);
    hashtable::clear(table);
    EXPECT_EQ(find_in(block, integer_cell(4)), -1);
    EXPECT_EQ(find_in(twin, integer_cell(4)), 1);
    hashtable::index_block(table, 0, 1);
    EXPECT_EQ(find_in(block, integer_cell(3), 1), 2);
}

// ---------------------------------------------------------------- position updates

// A block of ints kept in step with a plain vector, through the routines the
// series actions use.
struct Model {
    Cell* block;
    std::vector<int32_t> values;

    void insert(uint32_t pos, int32_t v) {
        uint32_t n = length(block);
        support::append_cell(block);
        Cell* first = at(block, pos);
        std::memmove(first + 1, first, (n - pos) * sizeof(Cell));
        *first = integer_cell(v);
        values.insert(values.begin() + pos, v);
        if (hashtable::shift_positions(block->data3, 1, int32_t(pos), int32_t(n - pos), true))
            return hashtable::rebuild(block->data3, int32_t(n + 1));
        int status = 0;
        hashtable::put_with_status(block->data3, at(block, pos), &status);
    }
    void remove(uint32_t pos) {
        uint32_t n = length(block);
        if (hashtable::shift_positions(block->data3, -1, int32_t(pos + 1), int32_t(n - pos - 1), true)) {
            drop(pos);
            return hashtable::rebuild(block->data3, int32_t(n - 1));
        }
        drop(pos);
    }
    void drop(uint32_t pos) {
        memory::SeriesBuffer* b = memory::buffer_of(block->data2);
        Cell* c = b->head_cell() + pos;
        std::memmove(c, c + 1, (length(block) - pos - 1) * sizeof(Cell));
        b->tail -= sizeof(Cell);
        values.erase(values.begin() + pos);
    }
    // Every position of every value, through find from each start.
    void check() const {
        std::map<int32_t, std::vector<int32_t>> positions;
        for (size_t i = 0; i < values.size(); i++) positions[values[i]].push_back(int32_t(i));
        ASSERT_EQ(hashtable::table_of(block->data3)->size, positions.size());
        for (const auto& [v, expected] : positions) {
            std::vector<int32_t> found;
            for (int32_t p = find_in(block, integer_cell(v)); p >= 0; p = find_in(block, integer_cell(v), p + 1))
                found.push_back(p);
            ASSERT_EQ(found, expected) << "value " << v;
        }
    }
};

TEST_F(HashTable, ShiftsFollowInsertionsAndRemovalsWithDuplicatesAndGrowth) {
    Model m{new_block(), {}};
    hashed(m.block, hashtable::KIND_HASH);
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t range) {
        seed = seed * 1103515245 + 12345;
        return (seed >> 8) % range;
    };
    for (int round = 0; round < 3000; round++) {
        bool grow = m.values.empty() || next(100) < (round < 2000 ? 65 : 30);
        int32_t range = round < 1500 ? 40 : 2000;  // many duplicates, then many keys
        if (grow) m.insert(next(uint32_t(m.values.size()) + 1), int32_t(next(uint32_t(range))));
        else m.remove(next(uint32_t(m.values.size())));
        if (round % 500 == 0) m.check();
    }
    m.check();
    const Table* t = hashtable::table_of(m.block->data3);
    EXPECT_LT(t->occupied, t->bound);
}

TEST_F(HashTable, MoreThan30000MovedCellsAskForARebuild) {
    Model m{new_block(30002), {}};
    for (int32_t v = 0; v < 30001; v++) add_int(m.block, v), m.values.push_back(v);
    hashed(m.block, hashtable::KIND_HASH);
    EXPECT_EQ(hashtable::shift_positions(m.block->data3, 1, 0, 30001, true), 1);
    m.insert(1, -1);  // 30,000 cells follow: shifted in place
    m.check();
    m.insert(0, -2);  // 30,002 follow: rebuilt
    m.check();
}

TEST_F(HashTable, MoveRangeRenumbersMovedAndPassedOverCells) {
    Cell* block = new_block();
    for (int v : {0, 1, 2, 3, 4, 5, 6, 7, 8, 2}) add_int(block, v);
    hashed(block, hashtable::KIND_HASH);
    auto apply = [&](std::vector<int> order, int32_t from, int32_t to) {
        for (size_t i = 0; i < order.size(); i++) *at(block, uint32_t(i)) = integer_cell(order[i]);
        EXPECT_EQ(hashtable::move_range(block->data3, from, to, 3), 0);
        for (size_t i = 0; i < order.size(); i++)
            EXPECT_EQ(find_in(block, integer_cell(order[i]), int32_t(i), COMP_EQUAL, 1, false, false),
                      int32_t(i)) << "value " << order[i];
        EXPECT_EQ(find_in(block, integer_cell(2), 0, COMP_EQUAL, 1, true, false), 9);
    };
    apply({0, 1, 5, 6, 7, 8, 2, 3, 4, 2}, 2, 6);  // cells 2-4 after cell 8
    apply({0, 1, 2, 3, 4, 5, 6, 7, 8, 2}, 6, 2);  // and back
}

// ---------------------------------------------------------------- node-keyed tables

TEST_F(HashTable, NodeKeyedEntriesPutGetAndRemove) {
    NodeId table = hashtable::make(16, 0, hashtable::KIND_NODES, 3);
    hold_table(table);
    for (NodeId node = 1; node <= 2000; node++) {
        Cell* values = hashtable::put_node(table, node);
        EXPECT_TRUE(values[0].is(TYPE_UNSET) && values[2].is(TYPE_UNSET));
        values[0] = integer_cell(int32_t(node));
        values[2] = integer_cell(-int32_t(node));
    }
    for (NodeId node = 1; node <= 2000; node += 2) ASSERT_NE(hashtable::remove_node(table, node), nullptr);
    EXPECT_EQ(hashtable::remove_node(table, 1), nullptr);
    EXPECT_EQ(hashtable::table_of(table)->size, 1000u);
    for (NodeId node = 1; node <= 2000; node++) {
        Cell* values = hashtable::get_node(table, node);
        if (node % 2) {
            EXPECT_EQ(values, nullptr);
            continue;
        }
        ASSERT_NE(values, nullptr);
        EXPECT_EQ(values[0].as_int(), int32_t(node));
        EXPECT_EQ(values[2].as_int(), -int32_t(node));
    }
    EXPECT_TRUE(hashtable::put_node(table, 2)[0].is(TYPE_UNSET));  // put resets a found entry
}

TEST_F(HashTable, NodeKeyedChurnReusesBucketsAndEntries) {
    NodeId table = hashtable::make(16, 0, hashtable::KIND_NODES, 1);
    hold_table(table);
    for (NodeId node = 1; node <= 100000; node++) {
        hashtable::put_node(table, node);
        if (node > 50) hashtable::remove_node(table, node - 50);
    }
    const Table* t = hashtable::table_of(table);
    EXPECT_EQ(t->size, 50u);
    EXPECT_LE(t->n, 256u);
    // Entries of removed keys are reused: the entry series stays near the live count.
    EXPECT_LE(memory::buffer_of(t->block)->used() / t->aux1, t->n);
    for (NodeId node = 99951; node <= 100000; node++) EXPECT_NE(hashtable::get_node(table, node), nullptr);
}

// ---------------------------------------------------------------- symbols

class HashSymbols : public HashTable {
protected:
    void SetUp() override {
        HashTable::SetUp();
        series = new_block(16);
        table = hashed(series, hashtable::KIND_WORDS);
    }
    uint32_t intern(const char* name, bool any_case = false) {
        return hashtable::intern_symbol(table, name, std::strlen(name), any_case);
    }
    uint32_t alias(uint32_t id) { return at(series, id - 1)->data1; }
    std::string name(uint32_t id) {
        memory::SeriesBuffer* b = memory::buffer_of(at(series, id - 1)->data3);
        EXPECT_EQ(b->head_ptr()[b->used()], 0);  // NUL after the name
        return std::string(reinterpret_cast<const char*>(b->head_ptr()), b->used());
    }
    Cell* series = nullptr;
    NodeId table = 0;
};

TEST_F(HashSymbols, CaseVariantsAliasTheFirstForm) {
    uint32_t foo = intern("foo");
    uint32_t Foo = intern("Foo");
    EXPECT_EQ(intern("foo"), foo);
    uint32_t FOO = intern("FOO");
    EXPECT_EQ(length(series), 3u);
    EXPECT_EQ(alias(foo), 0xFFFFFFFFu);
    EXPECT_EQ(alias(Foo), foo);
    EXPECT_EQ(alias(FOO), foo);
    EXPECT_EQ(name(Foo), "Foo");
    EXPECT_TRUE(at(series, Foo - 1)->is(TYPE_SYMBOL));
    EXPECT_EQ(at(series, Foo - 1)->data2, 0u);  // no string form yet
    // With the any-case flag a known variant answers and nothing is made.
    EXPECT_EQ(intern("fOO", true), foo);
    EXPECT_EQ(length(series), 3u);
    uint32_t bar = intern("Bar", true);
    EXPECT_EQ(alias(bar), 0xFFFFFFFFu);
}

TEST_F(HashSymbols, OnlyAsciiLettersFold) {
    uint32_t upper = intern("\xC3\x84x");   // "Äx"
    uint32_t lower = intern("\xC3\xA4x");   // "äx": another byte, another name
    EXPECT_EQ(alias(lower), 0xFFFFFFFFu);
    EXPECT_EQ(alias(intern("\xC3\x84X")), upper);
    EXPECT_EQ(hashtable::hash_name("\xC3\x84X", 3), hashtable::hash_name("\xC3\x84x", 3));
    EXPECT_TRUE(hashtable::compare_names("A\xC3\x84", "a\xC3\x84", 3, false));
    EXPECT_FALSE(hashtable::compare_names("A\xC3\x84", "a\xC3\x84", 3, true));
    EXPECT_FALSE(hashtable::compare_names("\xC3\x84", "\xC3\xA4", 2, false));
}

TEST_F(HashSymbols, GrowthBySixteenKeepsEveryNameAndAlias) {
    // 8 buckets hold 6 names: the 7th resizes to 16 x 9, rounded up to 256.
    std::vector<uint32_t> ids;
    for (const char* n : {"a1", "a2", "a3", "a4", "a5", "a6"}) ids.push_back(intern(n));
    EXPECT_EQ(hashtable::table_of(table)->n, 8u);
    uint32_t variant = intern("A1");
    EXPECT_EQ(hashtable::table_of(table)->n, 256u);
    EXPECT_EQ(alias(variant), ids[0]);
    for (int i = 0; i < 6; i++) EXPECT_EQ(intern(("a" + std::to_string(i + 1)).c_str()), ids[i]);
}

int compare_symbols(Cell* a, Cell* b, int) {
    return b->is(TYPE_SYMBOL) && a->data3 == b->data3 ? 0 : 1;
}

TEST_F(HashSymbols, NewVariantsAliasTheFirstFormWhicheverVariantComesFirst) {
    uint32_t ab = intern("ab");
    EXPECT_EQ(alias(intern("AB")), ab);
    for (int i = 0; i < 300; i++) intern(("n" + std::to_string(i)).c_str());  // resizes
    EXPECT_EQ(alias(intern("Ab")), ab);
    EXPECT_EQ(intern("ab"), ab);
    // A resize may put a variant ahead of its first form in the probe order: a
    // new form must still name the first form, or its canonical id would differ.
    install_compare(TYPE_SYMBOL, compare_symbols);
    Cell* reordered = new_block(4);
    add(reordered, *at(series, intern("AB") - 1));  // id 1, alias id 2
    add(reordered, *at(series, ab - 1));           // id 2
    at(reordered, 0)->data1 = 2;
    NodeId other = hashed(reordered, hashtable::KIND_WORDS);
    uint32_t id = hashtable::intern_symbol(other, "aB", 2, false);
    EXPECT_EQ(id, 3u);
    EXPECT_EQ(at(reordered, 2)->data1, 2u);
}

// ---------------------------------------------------------------- collector

std::set<NodeId> g_marked;
std::set<NodeId> g_marked_blocks;
bool record_series(NodeId node) { return g_marked.insert(node).second; }
void record_block(NodeId node) {
    g_marked.insert(node);
    g_marked_blocks.insert(node);
}

TEST_F(HashTable, MarkReachesEveryBuffer) {
    Cell* block = new_block();
    for (int v : {1, 1, 2}) add_int(block, v);
    NodeId table = hashed(block, hashtable::KIND_HASH);
    g_marked.clear();
    g_marked_blocks.clear();
    hashtable::mark(table, {record_series, record_block});
    const Table* t = hashtable::table_of(table);
    std::set<NodeId> expected{table, t->flags, t->buckets, t->aux1, t->aux2, block->data2};
    for (uint32_t k = 1; k <= array::length(t->aux2); k++) expected.insert(array::get_int(t->aux2, k));
    EXPECT_EQ(array::length(t->aux2), 1u);
    EXPECT_EQ(g_marked, expected);
    EXPECT_EQ(g_marked_blocks, std::set<NodeId>{block->data2});

    NodeId key = memory::alloc_cells(2);
    test_support::keep(make_cell(TYPE_BLOCK, 0, key, 0));
    NodeId nodes = hashtable::make(4, 0, hashtable::KIND_NODES, 1);
    test_support::keep(make_cell(TYPE_HASH, 0, 0, nodes));
    hashtable::put_node(nodes, key);
    g_marked_blocks.clear();
    hashtable::mark(nodes, {record_series, record_block});
    EXPECT_EQ(g_marked_blocks, (std::set<NodeId>{key, hashtable::table_of(nodes)->block}));
}

// ---------------------------------------------------------------- pointer table

TEST(HashPointerTable, PutGetRemoveAndWalk) {
    pointer_table::PointerTable* t = pointer_table::make(10);
    for (uint32_t k = 0; k < 1000; k++) pointer_table::put(t, k * 7919, k);
    pointer_table::put(t, 7919, 42);  // replaces
    EXPECT_EQ(*pointer_table::get(t, 7919), 42u);
    for (uint32_t k = 0; k < 1000; k += 2) pointer_table::remove(t, k * 7919);
    EXPECT_EQ(pointer_table::get(t, 0), nullptr);
    EXPECT_EQ(pointer_table::find(t, 2 * 7919), -1);
    std::set<uint32_t> walked;
    for (int32_t b = pointer_table::next(t, -1); b >= 0; b = pointer_table::next(t, b)) {
        EXPECT_EQ(pointer_table::key_at(t, b) % 2, 1u);
        walked.insert(pointer_table::key_at(t, b));
    }
    EXPECT_EQ(walked.size(), 500u);
    EXPECT_EQ(pointer_table::size(t), 500u);
    EXPECT_EQ(pointer_table::resize(t, 0x80000000u), -1);
    EXPECT_EQ(*pointer_table::get(t, 3 * 7919), 3u);
    pointer_table::clear(t);
    EXPECT_EQ(pointer_table::next(t, -1), -1);
    for (uint32_t k = 1; k < 100000; k++) {  // churn at a steady size reuses deleted buckets
        pointer_table::put(t, k, k);
        if (k > 20) pointer_table::remove(t, k - 20);
    }
    EXPECT_EQ(pointer_table::size(t), 20u);
    EXPECT_EQ(*pointer_table::get(t, 99990), 99990u);
    pointer_table::free_(t);
}

// ---------------------------------------------------------------- arrays

TEST_F(HashTable, ArraysGrowAndEdit) {
    NodeId a = array::make(2, 4);
    hold(make_cell(TYPE_BINARY, 0, a, 0));
    for (uint32_t v : {10u, 20u, 30u, 40u, 50u}) array::append_int(a, v);
    EXPECT_EQ(array::length(a), 5u);
    array::insert_at(a, 5, 1);
    array::set_int(a, 6, 55);
    EXPECT_EQ(array::find_int(a, 30), 12);
    EXPECT_EQ(array::find_int(a, 31), -1);
    array::remove_value(a, 30);
    array::remove_at(a, 0, 4);
    std::vector<uint32_t> got;
    for (uint32_t i = 1; i <= array::length(a); i++) got.push_back(array::get_int(a, i));
    EXPECT_EQ(got, (std::vector<uint32_t>{10, 20, 40, 55}));
    NodeId twin = array::copy(a);
    array::clear(a);
    EXPECT_EQ(array::length(a), 0u);
    EXPECT_EQ(array::length(twin), 4u);
    array::set_length(twin, 2);
    EXPECT_EQ(array::length(twin), 2u);
    NodeId bytes = array::make(1, 1);
    array::append_bytes(bytes, reinterpret_cast<const uint8_t*>("xyz"), 3);
    array::append_byte(bytes, '!');
    EXPECT_EQ(array::byte_at(bytes, 4), '!');
    EXPECT_EQ(array::length(bytes), 4u);
}

}  // namespace
