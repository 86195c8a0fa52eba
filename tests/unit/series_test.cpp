#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/rng.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/series.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using memory::SeriesBuffer;
using test_support::error_arg;
using Units = std::vector<uint32_t>;

namespace {

class Series : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        rng::init();
        symbols::init();
        stack::push_native_frame(nullptr);
    }
};

SeriesBuffer* buffer_of(const Cell* s) { return memory::buffer_of(s->data2); }

// A series of the type on a fresh buffer holding the units (integer! cells for
// unit 16), kept in a value-stack cell.
Cell* series_of(uint32_t type, uint32_t unit, const Units& units, int32_t head = 0,
                uint32_t word3 = 0) {
    Cell* s = stack::push(&shared_none_cell);
    NodeId node = memory::alloc_series(uint32_t(std::max<size_t>(units.size(), 1)), unit, 0);
    SeriesBuffer* b = memory::buffer_of(node);
    for (size_t i = 0; i < units.size(); i++) {
        uint8_t* p = b->head_ptr() + i * unit;
        if (unit == 16) {
            *reinterpret_cast<Cell*>(p) = integer_cell(int32_t(units[i]));
        } else {
            uint64_t v = units[i];
            std::memcpy(p, &v, unit);
        }
    }
    b->tail = b->head + uint32_t(units.size() * unit);
    *s = make_cell(type, uint32_t(head), node, word3);
    return s;
}

Cell* block_of(const Units& values, int32_t head = 0) { return series_of(TYPE_BLOCK, 16, values, head); }
Cell* text_of(const Units& chars, uint32_t unit = 1, int32_t head = 0) {
    return series_of(TYPE_STRING, unit, chars, head);
}

// Every unit of the buffer, the head ignored.
Units units_of(const Cell* s) {
    SeriesBuffer* b = buffer_of(s);
    uint32_t unit = b->unit();
    Units out;
    for (uint32_t off = b->head; off < b->tail; off += unit) {
        const uint8_t* p = b->data() + off;
        if (unit == 16) {
            out.push_back(reinterpret_cast<const Cell*>(p)->data2);
        } else {
            uint64_t v = 0;
            std::memcpy(&v, p, unit);
            out.push_back(uint32_t(v));
        }
    }
    return out;
}

// A stack-form handler called with the series and one argument.
Cell call(void (*fn)(), const Cell* series, Cell arg = make_cell(TYPE_NONE)) {
    Cell* saved = stack::g_top;
    stack::push_native_frame(nullptr);
    stack::push(series);
    stack::push(&arg);
    fn();
    Cell result = *stack::argument(0);
    stack::pop_frame();
    stack::g_top = saved;
    return result;
}

Cell integer(int32_t v) { return integer_cell(v); }

using test_support::raised;

// ---------------------------------------------------------------- navigation

TEST_F(Series, AtAndSkipClipToTheSeries) {
    const struct {
        void (*fn)();
        int32_t head;
        int32_t n;
        int32_t expected;
    } cases[] = {
        {series::at, 0, 0, 0},  {series::at, 0, 1, 0},   {series::at, 0, -1, 0},
        {series::at, 0, 9, 5},  {series::at, 0, 3, 2},   {series::at, 2, -1, 1},
        {series::at, 2, 2, 3},  {series::skip, 1, -3, 0}, {series::skip, 1, 2, 3},
        {series::skip, 1, 10, 5}, {series::skip, 3, 0, 3}, {series::at, 1, INT32_MAX, 5},
        {series::skip, 1, INT32_MIN, 0},
    };
    for (const auto& c : cases) {
        Cell* s = block_of({1, 2, 3, 4, 5}, c.head);
        Cell r = call(c.fn, s, integer(c.n));
        EXPECT_EQ(r.type(), uint32_t(TYPE_BLOCK));
        EXPECT_EQ(int32_t(r.data1), c.expected) << c.head << " " << c.n;
    }
}

TEST_F(Series, AtWithANonIntegerIndexRaises) {
    Cell* s = text_of({'a', 'b'});
    Cell error{};
    Cell index = make_cell(TYPE_CHAR, 0, 'a', 0);
    EXPECT_EQ(raised([&] { call(series::at, s, index); }, &error), ErrorId::script_invalid_arg);
    EXPECT_EQ(error_arg(error, 0).type(), uint32_t(TYPE_CHAR));
    EXPECT_EQ(raised([&] { call(series::skip, s, make_cell(TYPE_NONE)); }),
              ErrorId::script_invalid_arg);
}

TEST_F(Series, StepsStopAtTheEnds) {
    Cell* s = block_of({1, 2, 3}, 2);
    EXPECT_EQ(call(series::next, s).data1, 3u);
    s->data1 = 3;
    EXPECT_EQ(call(series::next, s).data1, 3u);
    s->data1 = 1;
    EXPECT_EQ(call(series::back, s).data1, 0u);
    s->data1 = 0;
    EXPECT_EQ(call(series::back, s).data1, 0u);
    s->data1 = 1;
    EXPECT_EQ(call(series::head, s).data1, 0u);
    EXPECT_EQ(call(series::tail, s).data1, 3u);
}

TEST_F(Series, PredicatesAndIndex) {
    Cell* s = text_of({'a', 'b', 'c'}, 2, 0);
    EXPECT_EQ(call(series::head_q, s).data1, 1u);
    EXPECT_EQ(call(series::tail_q, s).data1, 0u);
    EXPECT_EQ(call(series::index_q, s).as_int(), 1);
    s->data1 = 3;
    EXPECT_EQ(call(series::head_q, s).data1, 0u);
    EXPECT_EQ(call(series::tail_q, s).data1, 1u);
    EXPECT_EQ(call(series::index_q, s).as_int(), 4);
    EXPECT_EQ(series::length_q(s), 0);
}

TEST_F(Series, AHeadPastAShortenedTail) {
    Cell* s = block_of({1, 2, 3, 4}, 3);
    SeriesBuffer* b = buffer_of(s);
    b->tail = b->head + 2 * 16;  // shortened through another value
    EXPECT_EQ(call(series::index_q, s).as_int(), 4);  // not clipped
    EXPECT_EQ(call(series::tail_q, s).data1, 1u);
    EXPECT_EQ(call(series::next, s).data1, 3u);       // stays
    EXPECT_EQ(call(series::back, s).data1, 2u);
    EXPECT_EQ(series::length_q(s), 0);
    EXPECT_EQ(s->data1, 2u);  // length clipped the head to the tail
    s->data1 = 3;
    EXPECT_EQ(series::length_clipped(s, true), 2);
    EXPECT_EQ(s->data1, 3u);
    EXPECT_TRUE(series::skip_checked(s, -5));  // would pass the start: stays
    EXPECT_EQ(s->data1, 3u);
    EXPECT_EQ(series::length_from_start(s), 2);
}

// ---------------------------------------------------------------- pick and poke

TEST_F(Series, PickAcrossTypesAndUnits) {
    const struct {
        uint32_t type, unit, word3;
        Units units;
        int index;
        Cell expected;
    } cases[] = {
        {TYPE_BLOCK, 16, 0, {10, 20, 30}, 2, integer_cell(30)},
        {TYPE_PAREN, 16, 0, {10, 20, 30}, -1, integer_cell(10)},
        {TYPE_STRING, 1, 0, {'a', 0xE9, 'c'}, 1, make_cell(TYPE_CHAR, 0, 0xE9, 0)},
        {TYPE_FILE, 2, 0, {'a', 0x20AC, 'c'}, 1, make_cell(TYPE_CHAR, 0, 0x20AC, 0)},
        {TYPE_STRING, 4, 0, {'a', 0x1F600, 'c'}, -1, make_cell(TYPE_CHAR, 0, 'a', 0)},
        {TYPE_BINARY, 1, 0, {1, 0xFF, 3}, 1, integer_cell(255)},
        {TYPE_VECTOR, 2, TYPE_INTEGER, {1, 0xFFFF, 3}, 1, integer_cell(-1)},
        {TYPE_VECTOR, 1, TYPE_CHAR, {1, 200, 3}, 1, make_cell(TYPE_CHAR, 0, 200, 0)},
        {TYPE_STRING, 1, 0, {'a', 'b', 'c'}, 0, make_cell(TYPE_NONE)},
        {TYPE_STRING, 1, 0, {'a', 'b', 'c'}, 3, make_cell(TYPE_NONE)},
        {TYPE_BLOCK, 16, 0, {10, 20, 30}, -2, make_cell(TYPE_NONE)},
    };
    for (const auto& c : cases) {
        Cell* s = series_of(c.type, c.unit, c.units, 1, c.word3);
        Cell got = *series::pick(s, c.index, nullptr);
        EXPECT_EQ(got.type(), c.expected.type()) << c.type << " " << c.index;
        EXPECT_EQ(got.data2, c.expected.data2) << c.type << " " << c.index;
    }
}

TEST_F(Series, PickOfFloatVectors) {
    float f = 1.5f;
    double d = -2.25;
    uint32_t fbits;
    std::memcpy(&fbits, &f, 4);
    Cell* v4 = series_of(TYPE_VECTOR, 4, {fbits}, 0, TYPE_FLOAT);
    EXPECT_EQ(series::pick(v4, 1, nullptr)->as_double(), 1.5);

    Cell* v8 = stack::push(&shared_none_cell);
    NodeId node = memory::alloc_series(1, 8, 0);
    std::memcpy(memory::buffer_of(node)->head_ptr(), &d, 8);
    memory::buffer_of(node)->tail += 8;
    *v8 = make_cell(TYPE_VECTOR, 0, node, TYPE_PERCENT);
    Cell got = *series::pick(v8, 1, nullptr);
    EXPECT_EQ(got.type(), uint32_t(TYPE_PERCENT));
    EXPECT_EQ(got.as_double(), -2.25);
}

TEST_F(Series, PokeWritesByTypeAndWidensText) {
    Cell* b = block_of({1, 2, 3}, 1);
    Cell v = integer(9);
    EXPECT_EQ(series::poke(b, -1, &v, nullptr)->as_int(), 9);
    EXPECT_EQ(units_of(b), (Units{9, 2, 3}));

    Cell* s = text_of({'a', 'b', 'c'});
    Cell e_acute = make_cell(TYPE_CHAR, 0, 0xE9, 0);
    series::poke(s, 1, &e_acute, nullptr);
    EXPECT_EQ(buffer_of(s)->unit(), 1u);  // a written position keeps Latin-1 in one byte
    Cell euro = make_cell(TYPE_CHAR, 0, 0x20AC, 0);
    series::poke(s, 3, &euro, nullptr);
    EXPECT_EQ(buffer_of(s)->unit(), 2u);
    EXPECT_EQ(units_of(s), (Units{0xE9, 'b', 0x20AC}));
    Cell smile = make_cell(TYPE_CHAR, 0, 0x1F600, 0);
    series::poke(s, 2, &smile, nullptr);
    EXPECT_EQ(buffer_of(s)->unit(), 4u);
    EXPECT_EQ(units_of(s), (Units{0xE9, 0x1F600, 0x20AC}));

    Cell* bin = series_of(TYPE_BINARY, 1, {0, 0});
    Cell big = integer(0x1FF);
    series::poke(bin, 2, &big, nullptr);
    Cell ch = make_cell(TYPE_CHAR, 0, 'A', 0);
    series::poke(bin, 1, &ch, nullptr);
    EXPECT_EQ(units_of(bin), (Units{'A', 0xFF}));

    Cell* vec = series_of(TYPE_VECTOR, 2, {0, 0}, 0, TYPE_INTEGER);
    Cell wide = integer(40000);
    series::poke(vec, 1, &wide, nullptr);
    EXPECT_EQ(series::pick(vec, 1, nullptr)->as_int(), -25536);
}

TEST_F(Series, PokeErrors) {
    Cell* s = text_of({'a', 'b', 'c'}, 1, 1);
    Cell ch = make_cell(TYPE_CHAR, 0, 'z', 0);
    Cell error{};
    for (int index : {0, 3, -2}) {
        EXPECT_EQ(raised([&] { series::poke(s, index, &ch, nullptr); }, &error),
                  ErrorId::script_out_of_range);
        EXPECT_EQ(error_arg(error, 0).as_int(), index);
    }
    Cell number = integer(65);
    EXPECT_EQ(raised([&] { series::poke(s, 1, &number, nullptr); }), ErrorId::script_invalid_arg);
    Cell* bin = series_of(TYPE_BINARY, 1, {0});
    EXPECT_EQ(raised([&] { series::poke(bin, 1, s, nullptr); }), ErrorId::script_invalid_arg);
    Cell* vec = series_of(TYPE_VECTOR, 4, {0}, 0, TYPE_INTEGER);
    Cell f = make_cell(TYPE_FLOAT);
    f.set_double(1.0);
    EXPECT_EQ(raised([&] { series::poke(vec, 1, &f, nullptr); }), ErrorId::script_invalid_arg);
    EXPECT_EQ(units_of(s), (Units{'a', 'b', 'c'}));
}

// ---------------------------------------------------------------- clear and remove

TEST_F(Series, ClearCutsAtTheHead) {
    Cell* s = text_of({'a', 'b', 'c', 'd'}, 2, 2);
    EXPECT_EQ(series::clear(s), s);
    EXPECT_EQ(units_of(s), (Units{'a', 'b'}));
    series::clear(s);  // at the tail: nothing
    EXPECT_EQ(units_of(s), (Units{'a', 'b'}));
    s->data1 = 7;  // past the tail
    series::clear(s);
    EXPECT_EQ(units_of(s), (Units{'a', 'b'}));
}

TEST_F(Series, RemoveCounts) {
    const struct {
        int32_t head;
        int part;  // 0: no /part
        Units expected;
    } cases[] = {
        {0, 0, {2, 3, 4, 5}}, {1, 2, {1, 4, 5}},  {3, 9, {1, 2, 3}},
        {1, -1, {1, 2, 3, 4, 5}}, {5, 0, {1, 2, 3, 4, 5}},
    };
    for (const auto& c : cases) {
        Cell* s = block_of({1, 2, 3, 4, 5}, c.head);
        Cell part = integer(c.part);
        EXPECT_EQ(series::remove_(s, c.part ? &part : nullptr, nullptr), s);
        EXPECT_EQ(units_of(s), c.expected) << c.head << " " << c.part;
        EXPECT_EQ(int32_t(s->data1), c.head);
    }
    Cell* s = text_of({'a', 'b', 'c', 'd'}, 4, 1);
    Cell end = *s;
    end.data1 = 3;
    series::remove_(s, &end, nullptr);
    EXPECT_EQ(units_of(s), (Units{'a', 'd'}));
}

TEST_F(Series, RemoveWithAForeignPartRaises) {
    Cell* s = block_of({1, 2, 3});
    Cell* other = block_of({1, 2, 3}, 2);
    Cell error{};
    EXPECT_EQ(raised([&] { series::remove_(s, other, nullptr); }, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(error_arg(error, 0).type(), uint32_t(TYPE_WORD));
    EXPECT_EQ(error_arg(error, 0).data2, refinements::get(refinements::part)->data2);
    Cell wrong_type = *s;
    wrong_type.set_type(TYPE_PAREN);
    EXPECT_EQ(raised([&] { series::remove_(s, &wrong_type, nullptr); }),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(units_of(s), (Units{1, 2, 3}));
}

// find stand-in for /key: the first integer equal to the key from the head.
Cell* find_integer(Cell* series, Cell* value, Cell*, bool, bool case_, bool, bool, Cell*, Cell*,
                   bool, bool, bool, bool) {
    EXPECT_TRUE(case_);
    Units all = units_of(series);
    for (size_t i = series->data1; i < all.size(); i++) {
        if (int32_t(all[i]) == value->as_int()) {
            series->data1 = uint32_t(i);
            return series;
        }
    }
    *series = make_cell(TYPE_NONE);
    return series;
}

TEST_F(Series, RemoveKeyTakesTheKeyAndItsValue) {
    registry::g_action_table[TYPE_BLOCK * registry::ROW + A_FIND - 1] =
        reinterpret_cast<AnyHandler>(&find_integer);
    Cell* s = block_of({1, 10, 2, 20, 3, 30});
    Cell key = integer(2);
    Cell* r = series::remove_(s, nullptr, &key);
    EXPECT_EQ(r->data1, 2u);
    EXPECT_EQ(units_of(s), (Units{1, 10, 3, 30}));

    Cell* t = block_of({1, 10, 2, 20, 3, 30});
    Cell part = integer(2);
    series::remove_(t, &part, &key);
    EXPECT_EQ(units_of(t), (Units{1, 10, 30}));

    Cell missing = integer(7);
    Cell keep = *s;
    r = series::remove_(s, nullptr, &missing);
    EXPECT_EQ(r->type(), uint32_t(TYPE_NONE));
    EXPECT_EQ(units_of(&keep), (Units{1, 10, 3, 30}));
}

// ---------------------------------------------------------------- reverse

TEST_F(Series, ReverseRangesAndRecords) {
    const struct {
        uint32_t unit;
        int32_t head;
        int skip;  // 0: no /skip
        Units expected;
    } cases[] = {
        {16, 0, 0, {6, 5, 4, 3, 2, 1}}, {2, 1, 0, {1, 6, 5, 4, 3, 2}},
        {16, 0, 2, {5, 6, 3, 4, 1, 2}}, {4, 0, 3, {4, 5, 6, 1, 2, 3}},
        {16, 0, 6, {1, 2, 3, 4, 5, 6}}, {1, 6, 0, {1, 2, 3, 4, 5, 6}},
    };
    for (const auto& c : cases) {
        Cell* s = series_of(c.unit == 16 ? TYPE_BLOCK : TYPE_STRING, c.unit, {1, 2, 3, 4, 5, 6}, c.head);
        Cell skip = integer(c.skip);
        series::reverse(s, nullptr, c.skip ? &skip : nullptr);
        EXPECT_EQ(units_of(s), c.expected) << c.unit << " " << c.skip;
    }
    // /part: a count and a position; a count past the tail stops at the tail.
    Cell* s = text_of({1, 2, 3, 4, 5});
    Cell two = integer(2);
    series::reverse(s, &two, nullptr);
    EXPECT_EQ(units_of(s), (Units{2, 1, 3, 4, 5}));
    Cell end = *s;
    end.data1 = 4;
    s->data1 = 1;
    series::reverse(s, &end, nullptr);
    EXPECT_EQ(units_of(s), (Units{2, 4, 3, 1, 5}));
    Cell* b = block_of({1, 2, 3}, 1);
    Cell ten = integer(10);
    series::reverse(b, &ten, nullptr);
    EXPECT_EQ(units_of(b), (Units{1, 3, 2}));
}

TEST_F(Series, ReverseSkipErrors) {
    Cell* s = block_of({1, 2, 3, 4, 5, 6});
    Cell error{};
    Cell four = integer(4);
    EXPECT_EQ(raised([&] { series::reverse(s, nullptr, &four); }, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(error_arg(error, 0).data2, refinements::get(refinements::skip)->data2);
    Cell zero = integer(0);
    EXPECT_EQ(raised([&] { series::reverse(s, nullptr, &zero); }), ErrorId::script_out_of_range);
    Cell seven = integer(7);
    EXPECT_EQ(raised([&] { series::reverse(s, nullptr, &seven); }),
              ErrorId::script_invalid_refine_arg);
    Cell none = make_cell(TYPE_NONE);
    EXPECT_EQ(raised([&] { series::reverse(s, nullptr, &none); }),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(raised([&] { series::reverse(s, &none, nullptr); }),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(units_of(s), (Units{1, 2, 3, 4, 5, 6}));
}

// ---------------------------------------------------------------- move

TEST_F(Series, MoveInsideOneSeries) {
    const struct {
        int32_t origin, target, part;
        Units expected;
        bool origin_answered;
    } cases[] = {
        {0, 2, 0, {'b', 'c', 'a', 'd'}, false},
        {0, 4, 0, {'b', 'c', 'd', 'a'}, false},
        {0, 4, 2, {'c', 'd', 'a', 'b'}, false},
        {0, 1, 2, {'a', 'b', 'c', 'd'}, false},  // target inside the run: nothing
        {2, 0, 0, {'c', 'a', 'b', 'd'}, false},
        {2, 0, 9, {'c', 'd', 'a', 'b'}, false},
        {0, 3, 2, {'a', 'b', 'c', 'd'}, true},   // no room after the target
        {1, 1, 0, {'a', 'b', 'c', 'd'}, false},
    };
    for (const auto& c : cases) {
        Cell* origin = text_of({'a', 'b', 'c', 'd'}, 2, c.origin);
        Cell* target = stack::push(origin);
        target->data1 = uint32_t(c.target);
        Cell part = integer(c.part);
        Cell* r = series::move(origin, target, c.part ? &part : nullptr);
        EXPECT_EQ(units_of(origin), c.expected) << c.origin << " " << c.target << " " << c.part;
        EXPECT_EQ(r, c.origin_answered ? origin : target);
    }
    // Cells move as well.
    Cell* b = block_of({1, 2, 3, 4});
    Cell* t = stack::push(b);
    t->data1 = 2;
    series::move(b, t, nullptr);
    EXPECT_EQ(units_of(b), (Units{2, 3, 1, 4}));
}

TEST_F(Series, MoveBetweenSeries) {
    Cell* from = block_of({1, 2, 3});
    Cell* to = block_of({8, 9}, 1);
    Cell two = integer(2);
    EXPECT_EQ(series::move(from, to, &two), to);
    EXPECT_EQ(units_of(from), (Units{3}));
    EXPECT_EQ(units_of(to), (Units{8, 1, 2, 9}));

    // Text of different units: the target widens only when it must.
    Cell* narrow = text_of({'x'});
    Cell* wide = text_of({0xE9, 0x20AC, 'y'}, 2);
    series::move(wide, narrow, nullptr);
    EXPECT_EQ(buffer_of(narrow)->unit(), 1u);
    EXPECT_EQ(units_of(narrow), (Units{0xE9, 'x'}));
    series::move(wide, narrow, nullptr);
    EXPECT_EQ(buffer_of(narrow)->unit(), 2u);
    EXPECT_EQ(units_of(narrow), (Units{0x20AC, 0xE9, 'x'}));
    EXPECT_EQ(units_of(wide), (Units{'y'}));
    Cell* wider = text_of({'a', 'b'}, 4, 1);
    series::move(narrow, wider, &two);
    EXPECT_EQ(units_of(wider), (Units{'a', 0x20AC, 0xE9, 'b'}));

    // A string and a binary of one unit size exchange raw units.
    Cell* bin = series_of(TYPE_BINARY, 1, {7});
    series::move(text_of({'q', 'r'}), bin, nullptr);
    EXPECT_EQ(units_of(bin), (Units{'q', 7}));

    // Growing the target keeps its content.
    Cell* big = text_of(Units(40, 'z'));
    Cell* small = text_of({'s'});
    Cell forty = integer(40);
    series::move(big, small, &forty);
    EXPECT_EQ(units_of(small).size(), 41u);
    EXPECT_EQ(units_of(small).back(), uint32_t('s'));
    EXPECT_TRUE(units_of(big).empty());
}

TEST_F(Series, MoveErrors) {
    Cell* block = block_of({1, 2});
    Cell* text = text_of({'a'});
    Cell* wide = text_of({'a'}, 2);
    Cell* bin = series_of(TYPE_BINARY, 1, {1});
    Cell error{};
    EXPECT_EQ(raised([&] { series::move(block, text, nullptr); }, &error), ErrorId::script_move_bad);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_BLOCK));
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_STRING));
    EXPECT_EQ(raised([&] { series::move(text, block, nullptr); }), ErrorId::script_move_bad);
    EXPECT_EQ(raised([&] { series::move(wide, bin, nullptr); }), ErrorId::script_move_bad);
    Cell number = integer(3);
    EXPECT_EQ(raised([&] { series::move(block, &number, nullptr); }, &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_INTEGER));
    EXPECT_EQ(raised([&] { series::move(block, block, text); }), ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(units_of(block), (Units{1, 2}));
    EXPECT_EQ(units_of(wide), (Units{'a'}));
    Cell zero = integer(0);
    EXPECT_EQ(series::move(block, text, &zero), text);  // nothing to move: no check
}

// ---------------------------------------------------------------- take

TEST_F(Series, TakeOneUnitOrAPart) {
    const struct {
        int32_t head;
        int part;  // INT32_MIN: no /part
        bool last;
        Units taken, left;
    } cases[] = {
        {0, INT32_MIN, false, {'a'}, {'b', 'c', 'd', 'e'}},
        {1, INT32_MIN, true, {'e'}, {'a', 'b', 'c', 'd'}},
        {1, 2, false, {'b', 'c'}, {'a', 'd', 'e'}},
        {1, 2, true, {'d', 'e'}, {'a', 'b', 'c'}},
        {1, 9, false, {'b', 'c', 'd', 'e'}, {'a'}},
        {3, -2, false, {'b', 'c'}, {'a', 'd', 'e'}},
        {1, -3, false, {'a'}, {'b', 'c', 'd', 'e'}},
        {3, -2, true, {}, {'a', 'b', 'c', 'd', 'e'}},
        {2, 0, false, {}, {'a', 'b', 'c', 'd', 'e'}},  // nothing asked, nothing taken
    };
    for (const auto& c : cases) {
        Cell* s = text_of({'a', 'b', 'c', 'd', 'e'}, 2, c.head);
        Cell keep = *s;
        Cell part = integer(c.part);
        Cell* r = series::take(s, c.part == INT32_MIN ? nullptr : &part, false, c.last);
        EXPECT_EQ(r->type(), uint32_t(TYPE_STRING));
        EXPECT_EQ(r->data1, 0u);
        EXPECT_EQ(units_of(r), c.taken) << c.head << " " << c.part << " " << c.last;
        EXPECT_EQ(units_of(&keep), c.left) << c.head << " " << c.part << " " << c.last;
    }
}

TEST_F(Series, TakeEdges) {
    Cell* empty = block_of({1}, 1);
    EXPECT_EQ(series::take(empty, nullptr, false, false)->type(), uint32_t(TYPE_NONE));

    Cell* s = block_of({1, 2, 3, 4});
    Cell keep = test_support::keep(*s);
    NodeId taken = series::take(s, nullptr, false, false)->data2;
    EXPECT_NE(series::take_scratch(), 0u);
    EXPECT_EQ(taken, series::take_scratch());
    EXPECT_EQ(units_of(s), (Units{1}));

    Cell* t = block_of({1, 2, 3, 4}, 1);
    Cell end = *t;
    end.data1 = 3;
    series::take(t, &end, false, false);
    EXPECT_EQ(units_of(t), (Units{2, 3}));
    EXPECT_EQ(units_of(&keep), (Units{2, 3, 4}));

    Cell* v = series_of(TYPE_VECTOR, 2, {5, 6}, 0, TYPE_INTEGER);
    Cell one = integer(1);
    EXPECT_EQ(series::take(v, &one, false, false)->data3, uint32_t(TYPE_INTEGER));

    Cell error{};
    Cell* u = block_of({1, 2});
    Cell pair = make_cell(TYPE_PAIR, 0, 1, 2);
    EXPECT_EQ(raised([&] { series::take(u, &pair, false, false); }, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_EQ(units_of(u), (Units{1, 2}));
}

// ---------------------------------------------------------------- copy

TEST_F(Series, CopyRanges) {
    const struct {
        int32_t head;
        Cell part;  // none: no /part
        Units expected;
    } cases[] = {
        {1, make_cell(TYPE_NONE), {'b', 'c', 'd', 'e'}},
        {1, integer_cell(2), {'b', 'c'}},
        {1, integer_cell(99), {'b', 'c', 'd', 'e'}},
        {3, integer_cell(-2), {'b', 'c'}},
        {2, integer_cell(-5), {'a', 'b'}},
        {1, make_cell(TYPE_PAIR, 0, 2, 4), {'c', 'd'}},
        {1, make_cell(TYPE_PAIR, 0, uint32_t(-1), 2), {'a', 'b', 'c'}},
        {1, make_cell(TYPE_PAIR, 0, 3, 2), {}},
        {5, make_cell(TYPE_NONE), {}},
    };
    for (const auto& c : cases) {
        Cell* s = text_of({'a', 'b', 'c', 'd', 'e'}, 2, c.head);
        Cell* result = stack::push(&shared_none_cell);
        Cell part = c.part;
        EXPECT_EQ(series::copy(s, result, part.is(TYPE_NONE) ? nullptr : &part, false, nullptr),
                  result);
        EXPECT_EQ(result->type(), uint32_t(TYPE_STRING));
        EXPECT_NE(result->data2, s->data2);
        EXPECT_EQ(units_of(result), c.expected) << c.head << " " << c.part.type();
        EXPECT_EQ(buffer_of(result)->unit(), 2u);
        EXPECT_GE(buffer_of(result)->size, 16u);  // room to grow, even when empty
    }
}

TEST_F(Series, CopyKeepsTypeMarkAndElementType) {
    Cell* v = series_of(TYPE_VECTOR, 4, {1, 2, 3}, 1, TYPE_FLOAT);
    v->header |= NEW_LINE_FLAG;
    Cell* end = stack::push(v);
    end->data1 = 2;
    Cell* result = stack::push(&shared_none_cell);
    series::copy(v, result, end, false, nullptr);
    EXPECT_EQ(result->header, uint32_t(TYPE_VECTOR) | NEW_LINE_FLAG);
    EXPECT_EQ(result->data3, uint32_t(TYPE_FLOAT));
    EXPECT_EQ(units_of(result), (Units{2}));
    Cell* other = series_of(TYPE_VECTOR, 4, {1}, 0, TYPE_FLOAT);
    EXPECT_EQ(raised([&] { series::copy(v, result, other, false, nullptr); }),
              ErrorId::script_invalid_refine_arg);
}

// ---------------------------------------------------------------- random

TEST_F(Series, RandomShufflesSeedsAndPicks) {
    Units original;
    for (uint32_t i = 0; i < 50; i++) original.push_back(i);
    Cell* a = block_of(original, 10);
    series::random_(a, false, false, false);
    Units got = units_of(a);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 10, original.begin()));  // before the head
    EXPECT_NE(got, original);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, original);

    // The seed comes from the bytes from the head: equal text, equal draws.
    Cell* seed = text_of({'s', 'e', 'e', 'd'});
    series::random_(seed, true, false, false);
    EXPECT_EQ(seed->type(), uint32_t(TYPE_UNSET));
    int32_t first = rng::next();
    series::random_(text_of({'x', 's', 'e', 'e', 'd'}, 1, 1), true, false, false);
    EXPECT_EQ(rng::next(), first);

    Cell* s = text_of({'p', 'q', 'r'}, 2);
    for (int i = 0; i < 20; i++) {
        Cell* copy = stack::push(s);
        series::random_(copy, false, false, true);
        ASSERT_EQ(copy->type(), uint32_t(TYPE_CHAR));
        EXPECT_TRUE(copy->data2 >= 'p' && copy->data2 <= 'r');
    }
    Cell* empty = text_of({}, 1);
    series::random_(empty, false, false, true);
    EXPECT_EQ(empty->type(), uint32_t(TYPE_NONE));
}

// ---------------------------------------------------------------- reflect and modify

TEST_F(Series, ReflectOwnedOnly) {
    Cell* s = block_of({1});
    Cell copy = *s;
    series::reflect(&copy, sym::id(sym::owned));
    EXPECT_EQ(copy.type(), uint32_t(TYPE_NONE));
    copy = *s;
    EXPECT_EQ(raised([&] { series::reflect(&copy, sym::id(sym::spec)); }),
              ErrorId::internal_not_done);
    Cell value = integer(5);
    Cell field = make_cell(TYPE_WORD, 0, sym::id(sym::owned), 0);
    EXPECT_EQ(series::modify(s, &field, &value, false), &value);
}

// ---------------------------------------------------------------- hash! upkeep

// Words key the table here: their comparison is what the index relies on.
class SeriesHash : public Series {
protected:
    uint32_t word_of(uint32_t n) { return symbol::make(("w" + std::to_string(n)).c_str()); }
    Units words_of(const Units& numbers) {
        Units out;
        for (uint32_t n : numbers) out.push_back(word_of(n));
        return out;
    }
    Cell* hash_of(const Units& numbers, int32_t head = 0) {
        Cell* h = block_of(words_of(numbers), head);
        SeriesBuffer* b = buffer_of(h);
        for (Cell* c = b->head_cell(); c < b->tail_cell(); c++)
            *c = make_cell(TYPE_WORD, 0, c->data2, context::NO_INDEX);
        NodeId table = hashtable::make(uint32_t(std::max<size_t>(numbers.size(), 1)), h->data2,
                                       hashtable::KIND_HASH, 0);
        *h = make_cell(TYPE_HASH, uint32_t(head), h->data2, table);
        return h;
    }
    // Every word w0..w99 is found through the table at its first position, or
    // not at all when the block does not hold it.
    void expect_indexed(const Cell* h) {
        Units all = units_of(h);
        for (uint32_t n = 0; n < 100; n++) {
            Cell key = make_cell(TYPE_WORD, 0, word_of(n), context::NO_INDEX);
            Cell* found = hashtable::find(h->data3, &key, 0, 1, COMP_EQUAL, false, false);
            auto at = std::find(all.begin(), all.end(), key.data2);
            if (at == all.end()) {
                EXPECT_EQ(found, nullptr) << n;
            } else {
                EXPECT_EQ(found, buffer_of(h)->head_cell() + (at - all.begin())) << n;
            }
        }
    }
};

TEST_F(SeriesHash, ChangesKeepTheIndexInStep) {
    Cell* h = hash_of({1, 2, 3, 4, 5, 6, 7, 8}, 2);
    Cell two = integer(2);
    series::remove_(h, &two, nullptr);
    EXPECT_EQ(units_of(h), words_of({1, 2, 5, 6, 7, 8}));
    expect_indexed(h);

    Cell v = make_cell(TYPE_WORD, 0, word_of(42), context::NO_INDEX);
    series::poke(h, 1, &v, nullptr);
    expect_indexed(h);

    series::reverse(h, nullptr, nullptr);
    EXPECT_EQ(units_of(h), words_of({1, 2, 8, 7, 6, 42}));
    expect_indexed(h);

    Cell* target = stack::push(h);
    target->data1 = 5;
    series::move(h, target, nullptr);
    EXPECT_EQ(units_of(h), words_of({1, 2, 7, 6, 42, 8}));
    expect_indexed(h);

    Cell* other = hash_of({90, 91}, 1);
    Cell three = integer(3);
    series::move(h, other, &three);
    EXPECT_EQ(units_of(h), words_of({1, 2, 8}));
    EXPECT_EQ(units_of(other), words_of({90, 7, 6, 42, 91}));
    expect_indexed(h);
    expect_indexed(other);

    Cell keep = *other;
    Cell* taken = series::take(other, &two, false, true);
    EXPECT_EQ(taken->type(), uint32_t(TYPE_HASH));
    EXPECT_EQ(units_of(taken), words_of({42, 91}));
    expect_indexed(taken);
    expect_indexed(&keep);

    keep.data1 = 1;
    series::clear(&keep);
    EXPECT_EQ(units_of(&keep), words_of({90}));
    expect_indexed(&keep);
}

// ---------------------------------------------------------------- registration

TEST_F(Series, TheSlotTableServesTheChildren) {
    EXPECT_EQ(registry::handler<A_PICK>(TYPE_SERIES), &series::pick);
    EXPECT_EQ(registry::handler<A_TAKE>(TYPE_SERIES), &series::take);
    EXPECT_EQ(registry::handler<A_REMOVE>(TYPE_STRING), &series::remove_);
    EXPECT_EQ(registry::handler<A_AT>(TYPE_BINARY), &series::at);
    EXPECT_EQ(registry::entry(TYPE_SERIES, A_MAKE), nullptr);
    EXPECT_EQ(registry::entry(TYPE_SERIES, A_FIND), nullptr);
}

}  // namespace
