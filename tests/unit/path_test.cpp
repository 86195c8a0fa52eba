#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/path.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using memory::SeriesBuffer;
using test_support::bytes_of;
using test_support::error_arg;

namespace {

class Path : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        stack::push_native_frame(nullptr);
    }
};

using test_support::raised;

Cell w(const char* name, uint32_t flags = 0) {
    return make_cell(TYPE_WORD | flags, 0, symbol::make(name), context::NO_INDEX);
}

// A value of the type over fresh cells, kept in a value-stack cell.
Cell* value_of(uint32_t type, const std::vector<Cell>& cells, int32_t head = 0) {
    Cell* v = stack::push(&shared_none_cell);
    NodeId node = memory::alloc_cells(uint32_t(std::max<size_t>(cells.size(), 1)));
    for (const Cell& c : cells) *support::alloc_tail_cell(node) = c;
    *v = make_cell(type, uint32_t(head), node, 0);
    return v;
}

std::vector<Cell> cells_of(const Cell* v) {
    SeriesBuffer* b = memory::buffer_of(v->data2);
    return std::vector<Cell>(b->head_cell() + v->data1, b->tail_cell());
}

struct Text {
    std::string text;
    int left;
};

Text mold(const Cell* value, bool only = false, bool flat = false, int part = 100,
          bool limited = false, int indent = 0) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    Cell* copy = stack::push(value);
    Cell* arg = limited ? stack::push(&shared_none_cell) : nullptr;
    int left = actions::mold_direct(copy, buffer, only, false, flat, arg, part, indent);
    return {bytes_of(buffer), left};
}

Text form(const Cell* value, int part = 100, bool limited = false) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    Cell* copy = stack::push(value);
    Cell* arg = limited ? stack::push(&shared_none_cell) : nullptr;
    int left = actions::form_direct(copy, buffer, arg, part);
    return {bytes_of(buffer), left};
}

// ---------------------------------------------------------------- form and mold

TEST_F(Path, EachPathTypeMoldsWithItsMarks) {
    const struct {
        uint32_t type;
        const char* molded;
    } cases[] = {
        {TYPE_PATH, "a/b/c"},
        {TYPE_LIT_PATH, "'a/b/c"},
        {TYPE_SET_PATH, "a/b/c:"},
        {TYPE_GET_PATH, ":a/b/c"},
    };
    for (const auto& c : cases) {
        Cell* p = value_of(c.type, {w("a"), w("b", NEW_LINE_FLAG), w("c")});
        Text m = mold(p);
        EXPECT_EQ(m.text, c.molded);
        EXPECT_EQ(m.left, 100 - int(m.text.size()));
        Text f = form(p);
        EXPECT_EQ(f.text, "a/b/c");  // no quote or colon
        EXPECT_EQ(f.left, 95);
    }
    EXPECT_EQ(mold(value_of(TYPE_PATH, {w("a"), w("b")}, 1)).text, "b");
    EXPECT_EQ(mold(value_of(TYPE_SET_PATH, {})).text, ":");
}

TEST_F(Path, PartStopsAfterAnElement) {
    Cell* p = value_of(TYPE_PATH, {w("a"), w("bb"), w("c"), w("d")});
    Text m = mold(p, false, false, 4, true);
    EXPECT_EQ(m.text, "a/bb");
    EXPECT_EQ(m.left, 0);
    EXPECT_EQ(form(p, 3, true).text, "a/bb");
    EXPECT_EQ(form(p, 5, true).text, "a/bb/c");
    EXPECT_EQ(mold(p, false, false, 2, false).text, "a/bb/c/d");  // no /part: no limit
}

TEST_F(Path, NestedParensAndCycles) {
    Cell* paren = value_of(TYPE_PAREN, {w("b"), w("c")});
    Cell* p = value_of(TYPE_PATH, {w("a"), *paren, w("d")});
    EXPECT_EQ(mold(p).text, "a/(b c)/d");

    Cell* self = value_of(TYPE_GET_PATH, {w("a"), w("b")});
    memory::buffer_of(self->data2)->head_cell()[1] = *self;
    EXPECT_EQ(mold(self).text, ":a/:...");
    EXPECT_EQ(cycles::depth(), 0);

    Cell* loop = value_of(TYPE_PAREN, {w("a"), w("b")});
    memory::buffer_of(loop->data2)->head_cell()[1] = *loop;
    EXPECT_EQ(mold(loop).text, "(a (...))");
    EXPECT_EQ(cycles::depth(), 0);
}

TEST_F(Path, ParenMoldsItsCellsAsABlockDoes) {
    const struct {
        uint32_t marks;  // bit 0: a carries the new-line mark, bit 1: b does
        bool only, flat;
        int indent;
        const char* molded;
    } cases[] = {
        {0, false, false, 0, "(a b)"},
        {2, false, false, 0, "(a\nb)"},
        {1, false, false, 0, "(\n    a b\n)"},
        {3, false, false, 0, "(\n    a\n    b\n)"},
        {1, false, false, 1, "(\n        a b\n    )"},
        {0, true, false, 0, "a b"},
        {1, true, false, 0, "a b"},
        {3, true, false, 0, "a\nb"},
        {3, false, true, 0, "(a b)"},
    };
    for (const auto& c : cases) {
        Cell* paren = value_of(TYPE_PAREN, {w("a", c.marks & 1 ? NEW_LINE_FLAG : 0),
                                            w("b", c.marks & 2 ? NEW_LINE_FLAG : 0)});
        Text m = mold(paren, c.only, c.flat, 100, false, c.indent);
        EXPECT_EQ(m.text, c.molded) << c.marks << c.only << c.flat;
        EXPECT_EQ(m.left, 100 - int(m.text.size())) << c.molded;
    }
    Cell* limited = value_of(TYPE_PAREN, {w("aa"), w("b"), w("c")});
    EXPECT_EQ(mold(limited, false, false, 3, true).text, "(aa)");
}

TEST_F(Path, NestingDeeperThanTheCycleStackRaises) {
    Cell* inner = value_of(TYPE_PAREN, {w("x")});
    for (int i = 0; i < cycles::CAPACITY; i++) {
        Cell* outer = value_of(TYPE_PAREN, {*inner});
        *inner = *outer;
        stack::pop(1);
    }
    EXPECT_EQ(raised([&] { mold(inner); }), ErrorId::internal_too_deep);
    EXPECT_EQ(cycles::depth(), 0);
}

// ---------------------------------------------------------------- make and to

TEST_F(Path, MakeFromACountGivesAnEmptyPathWithRoom) {
    Cell percent = make_cell(TYPE_PERCENT);
    percent.set_double(2.9);
    Cell real = make_cell(TYPE_FLOAT);
    real.set_double(3.7);
    const struct {
        Cell spec;
        uint32_t room;
    } cases[] = {
        {integer_cell(0), 1}, {integer_cell(-5), 1}, {integer_cell(4), 4}, {real, 3}, {percent, 2},
    };
    for (const auto& c : cases) {
        Cell* spec = stack::push(&c.spec);
        Cell* made = path::make(nullptr, spec, TYPE_SET_PATH);
        EXPECT_EQ(made->type(), uint32_t(TYPE_SET_PATH));
        EXPECT_EQ(made->data1, 0u);
        SeriesBuffer* b = memory::buffer_of(made->data2);
        EXPECT_EQ(b->used(), 0u);
        EXPECT_EQ(b->size, c.room * 16) << c.spec.type();
    }
}

TEST_F(Path, MakeFromABlockCopiesFromItsHead) {
    for (uint32_t source_type : {TYPE_BLOCK, TYPE_PAREN, TYPE_LIT_PATH}) {
        Cell* source = value_of(source_type, {w("x"), w("a"), w("b")}, 1);
        Cell* made = path::make(nullptr, source, TYPE_PATH);
        EXPECT_EQ(made->header, uint32_t(TYPE_PATH));
        EXPECT_NE(made->data2, source->data2);
        EXPECT_EQ(mold(made).text, "a/b");
        memory::buffer_of(source->data2)->head_cell()[1] = w("z");
        EXPECT_EQ(mold(made).text, "a/b");  // a copy, not a view
    }
}

TEST_F(Path, MakeErrors) {
    Cell* text = string::make_empty_at(stack::push_cell(), 4);
    Cell error{};
    EXPECT_EQ(raised([&] { path::make(nullptr, text, TYPE_GET_PATH); }, &error),
              ErrorId::script_bad_make_arg);
    EXPECT_EQ(error_arg(error, 0).type(), uint32_t(TYPE_DATATYPE));
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_GET_PATH));
    EXPECT_EQ(error_arg(error, 1).type(), uint32_t(TYPE_STRING));
    Cell huge = make_cell(TYPE_FLOAT);
    huge.set_double(1e10);
    Cell* spec = stack::push(&huge);
    EXPECT_EQ(raised([&] { path::make(nullptr, spec, TYPE_PATH); }), ErrorId::script_out_of_range);
}

TEST_F(Path, ToWrapsSingleValuesAndCopiesBlocks) {
    const Cell singles[] = {make_cell(TYPE_OBJECT, 7, 0, 0), make_cell(TYPE_TYPESET, 1, 2, 3),
                            make_cell(TYPE_MAP, 0, 5, 6), integer_cell(42), w("q")};
    for (const Cell& single : singles) {
        Cell* spec = stack::push(&single);
        Cell* made = path::to(nullptr, spec, TYPE_LIT_PATH);
        EXPECT_EQ(made->type(), uint32_t(TYPE_LIT_PATH));
        std::vector<Cell> cells = cells_of(made);
        ASSERT_EQ(cells.size(), 1u);
        EXPECT_EQ(cells[0].header, single.header);
        EXPECT_EQ(cells[0].data1, single.data1);
        EXPECT_EQ(cells[0].data2, single.data2);
    }
    Cell* source = value_of(TYPE_PAREN, {w("a"), w("b")});
    Cell* made = path::to(nullptr, source, TYPE_GET_PATH);
    EXPECT_EQ(mold(made).text, ":a/b");
    EXPECT_NE(made->data2, source->data2);
}

// ---------------------------------------------------------------- copy and push-as

TEST_F(Path, CopyKeepsThePathType) {
    Cell* p = value_of(TYPE_SET_PATH, {w("a"), w("b"), w("c")}, 1);
    Cell* result = stack::push(&shared_none_cell);
    auto copy = registry::handler<A_COPY>(TYPE_SET_PATH);
    EXPECT_EQ(copy(p, result, nullptr, false, nullptr), result);
    EXPECT_EQ(result->type(), uint32_t(TYPE_SET_PATH));
    EXPECT_EQ(mold(result).text, "b/c:");
    Cell one = integer_cell(1);
    copy(p, result, &one, false, nullptr);
    EXPECT_EQ(mold(result).text, "b:");
}

TEST_F(Path, PushAsRetypesAndPushes) {
    const struct {
        Cell* (*push_as)(Cell*);
        uint32_t type;
    } cases[] = {
        {path::push_as_path, TYPE_PATH},         {lit_path::push_as_lit_path, TYPE_LIT_PATH},
        {set_path::push_as_set_path, TYPE_SET_PATH}, {get_path::push_as_get_path, TYPE_GET_PATH},
        {paren::push_as_paren, TYPE_PAREN},
    };
    for (const auto& c : cases) {
        Cell* literal = value_of(TYPE_BLOCK, {w("a")});
        literal->header |= NEW_LINE_FLAG;
        Cell* pushed = c.push_as(literal);
        EXPECT_EQ(pushed, stack::top());
        EXPECT_NE(pushed, literal);
        EXPECT_EQ(literal->header, c.type | NEW_LINE_FLAG);
        EXPECT_EQ(pushed->header, literal->header);
        EXPECT_EQ(pushed->data2, literal->data2);
    }
    Cell* made = path::make_at(stack::push_cell(), 0);
    EXPECT_EQ(made->type(), uint32_t(TYPE_PATH));
    EXPECT_EQ(memory::buffer_of(made->data2)->size, 16u);
}

TEST_F(Path, SlotTables) {
    for (uint32_t t : {TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH}) {
        EXPECT_EQ(registry::handler<A_MAKE>(t), &path::make);
        EXPECT_EQ(registry::handler<A_TO>(t), &path::to);
        EXPECT_EQ(registry::handler<A_FORM>(t), &path::form);
        EXPECT_EQ(registry::handler<A_COPY>(t), &path::copy);
    }
    EXPECT_EQ(registry::handler<A_MOLD>(TYPE_SET_PATH), &set_path::mold);
    EXPECT_EQ(registry::handler<A_MOLD>(TYPE_PAREN), &paren::mold);
    for (uint32_t t : {TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH})
        for (int slot : {A_RANDOM, A_SORT, A_TRIM}) EXPECT_EQ(registry::entry(t, slot), nullptr);
    EXPECT_EQ(registry::entry(TYPE_PAREN, A_SORT), registry::entry(TYPE_BLOCK, A_SORT));
    EXPECT_EQ(registry::entry(TYPE_PAREN, A_RANDOM), registry::entry(TYPE_BLOCK, A_RANDOM));
}

}  // namespace
