#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cstring>
#include <initializer_list>
#include <string>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;
using test_support::error_arg;
using test_support::raised;

namespace {

Cell w(const char* name, uint32_t type = TYPE_WORD) {
    Cell c = *word::make_global(name);
    c.set_type(type);
    return c;
}
Cell str(const char* text) { return *string::load_c_text(text, uint32_t(std::strlen(text)), 0); }

Cell blk(std::initializer_list<Cell> cells) {
    Cell b{TYPE_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0};
    for (const Cell& c : cells) *support::append_cell(&b) = c;
    return *stack::push(&b);
}

std::string text_of(Cell v, bool mold, bool only = false) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    if (mold) actions::mold_direct(&v, buffer, only, false, false, nullptr, 10000, 0);
    else actions::form_direct(&v, buffer, nullptr, 10000);
    return test_support::bytes_of(buffer);
}

class Native : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        stack::push_native_frame(nullptr);
    }
    Cell make(uint32_t type, Cell arg) {
        Cell proto = make_cell(TYPE_DATATYPE, type);
        return *registry::handler<A_MAKE>(type)(&proto, &arg, int(type));
    }
    Cell make_function(std::initializer_list<Cell> spec, std::initializer_list<Cell> body) {
        Cell s = blk(spec), b = blk(body);
        function::push(&s, &b, 0, 0, 0, 0);
        return *stack::top();
    }
    Cell reflect(Cell value, sym::Name field) {
        Cell* slot = stack::push(&value);
        registry::handler<A_REFLECT>(value.type())(slot, sym::id(field));
        return *slot;
    }
};

TEST_F(Native, MakeTakesASpecBlockAndAnIndexInRange) {
    const struct {
        uint32_t type;
        Cell arg;
    } bad[] = {
        {TYPE_NATIVE, blk({blk({}), integer_cell(121)})},
        {TYPE_NATIVE, blk({blk({}), integer_cell(0)})},
        {TYPE_NATIVE, blk({blk({}), integer_cell(-1)})},
        {TYPE_ACTION, blk({blk({}), integer_cell(63)})},
        {TYPE_ACTION, blk({blk({}), integer_cell(0)})},
        {TYPE_NATIVE, integer_cell(5)},
        {TYPE_NATIVE, blk({blk({})})},
        {TYPE_NATIVE, blk({blk({}), integer_cell(5), integer_cell(6)})},
        {TYPE_NATIVE, blk({blk({}), str("5")})},
        {TYPE_NATIVE, blk({integer_cell(3), integer_cell(5)})},
    };
    for (const auto& c : bad) {
        Cell error{};
        ASSERT_EQ(raised([&] { make(c.type, c.arg); }, &error), ErrorId::script_bad_make_arg);
        EXPECT_EQ(error_arg(error, 0).type(), uint32_t(TYPE_DATATYPE));
        EXPECT_EQ(error_arg(error, 0).data1, c.type);
        EXPECT_EQ(error_arg(error, 1).data2, c.arg.data2);
    }
    for (uint32_t type : {TYPE_NATIVE, TYPE_ACTION}) {
        uint32_t last = type == TYPE_NATIVE ? 120 : 62;
        for (uint32_t index : {1u, last}) {
            Cell spec = blk({w("value")});
            Cell arg = blk({spec, integer_cell(int32_t(index))});
            arg.data1 = 0;
            Cell v = make(type, arg);
            EXPECT_EQ(v.type(), type);
            EXPECT_EQ(v.data1, index);
            EXPECT_EQ(v.data2, spec.data2);
        }
    }
}

TEST_F(Native, MoreBlockHoldsAnEmptyStackContextAndNoArgumentCache) {
    Cell spec = blk({w("value"), w("other")});
    Cell v = make(TYPE_NATIVE, blk({spec, integer_cell(3)}));
    memory::SeriesBuffer* more = memory::buffer_of(v.data3);
    ASSERT_EQ(more->used(), 2 * sizeof(Cell));
    const Cell ctx = more->head_cell()[0];
    EXPECT_TRUE(ctx.is(TYPE_CONTEXT));
    EXPECT_TRUE(ctx.header & context::STACK_FLAG);
    EXPECT_EQ(context::kind_of(&ctx), uint32_t(context::FUNCTION_KIND));
    EXPECT_TRUE(more->head_cell()[function::MORE_ARGUMENTS].is(TYPE_NONE));
}

TEST_F(Native, ReflectGivesSpecAndTableIndex) {
    Cell spec = blk({w("value")});
    Cell n = make(TYPE_NATIVE, blk({spec, integer_cell(14)}));
    Cell a = make(TYPE_ACTION, blk({spec, integer_cell(25)}));
    for (Cell v : {n, a}) {
        Cell s = reflect(v, sym::spec);
        EXPECT_TRUE(s.is(TYPE_BLOCK));
        EXPECT_EQ(s.data1, 0u);
        EXPECT_NE(s.data2, spec.data2);  // a copy: changing it leaves the native alone
        EXPECT_EQ(text_of(s, true), "[value]");
        EXPECT_EQ(raised([&] { reflect(v, sym::words); }), ErrorId::internal_not_done);
        EXPECT_EQ(raised([&] { reflect(v, sym::values); }), ErrorId::internal_not_done);
    }
    EXPECT_EQ(reflect(n, sym::body).as_int(), 14);
    EXPECT_EQ(reflect(a, sym::body).as_int(), 25);
}

TEST_F(Native, FormAndMold) {
    Cell spec = blk({w("series"), w("value"), w("only", TYPE_REFINEMENT)});
    Cell n = make(TYPE_NATIVE, blk({spec, integer_cell(1)}));
    Cell a = make(TYPE_ACTION, blk({spec, integer_cell(25)}));
    EXPECT_EQ(text_of(n, false), "?native?");
    EXPECT_EQ(text_of(a, false), "?action?");
    EXPECT_EQ(text_of(n, true), "make native! [[series value /only]]");
    EXPECT_EQ(text_of(a, true), "make action! [[series value /only]]");
    EXPECT_EQ(text_of(n, true, true), "make native! [series value /only]");

    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    EXPECT_EQ(actions::form_direct(&a, buffer, nullptr, 100), 92);
    EXPECT_EQ(actions::mold_direct(&n, buffer, false, false, false, nullptr, 100, 0),
              100 - int(std::strlen("make native! [[series value /only]]")));
}

TEST_F(Native, EqualWhenTheyReachTheSameEntry) {
    Cell n1 = make(TYPE_NATIVE, blk({blk({w("a")}), integer_cell(7)}));
    Cell n2 = make(TYPE_NATIVE, blk({blk({w("b")}), integer_cell(7)}));
    Cell n3 = make(TYPE_NATIVE, blk({blk({w("a")}), integer_cell(8)}));
    Cell a7 = make(TYPE_ACTION, blk({blk({w("a")}), integer_cell(7)}));
    auto compare = registry::handler<A_COMPARE>(TYPE_NATIVE);
    EXPECT_TRUE(actions::compare(&n1, &n2, COMP_EQUAL));
    EXPECT_FALSE(actions::compare(&n1, &n3, COMP_EQUAL));
    EXPECT_EQ(compare(&n1, &n3, COMP_SORT), -1);
    EXPECT_EQ(compare(&n3, &n1, COMP_SAME), 1);
    EXPECT_EQ(compare(&n1, &n2, COMP_LESSER), COMPARE_UNCOMPARABLE);
    EXPECT_EQ(compare(&n1, &a7, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    EXPECT_EQ(registry::handler<A_COMPARE>(TYPE_ACTION)(&a7, &n1, COMP_EQUAL),
              COMPARE_UNCOMPARABLE);
}

// ---------------------------------------------------------------- op!

TEST_F(Native, OpNeedsAFunctionOfTwoArgumentsWithAPlainLeftOne) {
    Cell proto = make_cell(TYPE_DATATYPE, TYPE_OP);
    auto make_op = registry::handler<A_MAKE>(TYPE_OP);
    Cell number = integer_cell(1);
    Cell error{};
    EXPECT_EQ(raised([&] { make_op(&proto, &number, TYPE_OP); }, &error),
              ErrorId::script_invalid_type);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_INTEGER));
    Cell fn = make_function({w("a"), w("b")}, {});
    Cell op = *make_op(&proto, &fn, TYPE_OP);
    EXPECT_EQ(raised([&] { make_op(&proto, &op, TYPE_OP); }), ErrorId::script_invalid_type);

    const struct {
        Cell spec;
        bool accepted;
    } cases[] = {
        {blk({w("a")}), false},
        {blk({w("a"), w("b"), w("c")}), false},
        {blk({w("a", TYPE_LIT_WORD), w("b")}), false},
        {blk({w("a", TYPE_GET_WORD), w("b")}), false},
        {blk({w("a"), w("b", TYPE_LIT_WORD)}), true},
        {blk({w("a"), w("b", TYPE_GET_WORD)}), true},
        {blk({w("a"), w("b"), w("local", TYPE_REFINEMENT), w("c"), w("d")}), true},
        {blk({w("a"), w("b"), w("extern", TYPE_REFINEMENT), w("c")}), true},
        {blk({w("a"), w("b"), w("only", TYPE_REFINEMENT)}), false},
        {blk({w("a"), w("local", TYPE_REFINEMENT), w("c")}), false},
        {blk({str("doc"), w("a"), blk({w("integer!")}), str("left"), w("b"),
              w("return", TYPE_SET_WORD), blk({}), w("c")}),
         true},
    };
    for (const auto& c : cases) {
        Cell native = make(TYPE_NATIVE, blk({c.spec, integer_cell(2)}));
        EXPECT_EQ(op::two_arguments_q(&c.spec), c.accepted) << text_of(c.spec, true);
        if (c.accepted) continue;
        EXPECT_EQ(raised([&] { make_op(&proto, &native, TYPE_OP); }), ErrorId::script_bad_op_spec)
            << text_of(c.spec, true);
    }
}

TEST_F(Native, OpOfANativeOrAction) {
    Cell spec = blk({w("value1"), w("value2")});
    Cell a = make(TYPE_ACTION, blk({spec, integer_cell(11)}));
    a.header |= NEW_LINE_FLAG;
    Cell op = make(TYPE_OP, a);
    EXPECT_EQ(op.header, uint32_t(TYPE_OP) | (uint32_t(TYPE_ACTION) << 16));
    EXPECT_EQ(op::wrapped_type(&op), uint32_t(TYPE_ACTION));
    EXPECT_EQ(op.data1, a.data1);
    EXPECT_EQ(op.data2, a.data2);
    EXPECT_EQ(op.data3, a.data3);
    EXPECT_EQ(reflect(op, sym::body).as_int(), 11);
    EXPECT_EQ(text_of(reflect(op, sym::spec), true), "[value1 value2]");
    EXPECT_EQ(text_of(op, false), "?op?");
    EXPECT_EQ(text_of(op, true), "make op! [[value1 value2]]");

    Cell same = make(TYPE_OP, make(TYPE_ACTION, blk({blk({w("x"), w("y")}), integer_cell(11)})));
    EXPECT_TRUE(actions::compare(&op, &same, COMP_EQUAL));
    EXPECT_EQ(registry::handler<A_COMPARE>(TYPE_OP)(&op, &a, COMP_EQUAL), COMPARE_UNCOMPARABLE);
    EXPECT_EQ(stack::frame_depth(), 1u);  // the mold's frame is gone
}

TEST_F(Native, OpOfAFunctionKeepsTheFunction) {
    Cell f = make_function({w("a"), w("b")}, {w("a"), w("+"), w("b")});
    f.header |= 0x400;
    Cell op = make(TYPE_OP, f);
    EXPECT_EQ(op.header, uint32_t(TYPE_OP) | (uint32_t(TYPE_FUNCTION) << 16));
    EXPECT_EQ(op.data1, f.data1);
    const Cell kept = *function::more_cell(&f, function::MORE_OP_FUNCTION);
    EXPECT_EQ(kept.header, f.header);
    EXPECT_EQ(kept.data3, f.data3);
    Cell body = reflect(op, sym::body);
    EXPECT_EQ(body.data2, function::more_cell(&f, function::MORE_BODY)->data2);
    EXPECT_EQ(text_of(op, true), "make op! func [a b][a + b]");
    EXPECT_EQ(text_of(op, true, true), "make op! func a b[a + b]");

    Cell again = make(TYPE_OP, f);
    Cell other = make(TYPE_OP, make_function({w("a"), w("b")}, {w("a"), w("+"), w("b")}));
    EXPECT_TRUE(actions::compare(&op, &again, COMP_EQUAL));
    EXPECT_FALSE(actions::compare(&op, &other, COMP_EQUAL));

    uint32_t entry = routine::register_entry([](Cell*) { return routine::MachineResult{}; });
    Cell rspec = blk({w("a"), w("b")});
    Cell r = *routine::push(&rspec, nullptr, entry, -1, false);
    Cell rop = make(TYPE_OP, r);
    EXPECT_EQ(op::wrapped_type(&rop), uint32_t(TYPE_ROUTINE));
    EXPECT_EQ(function::more_cell(&r, function::MORE_OP_FUNCTION)->type(), uint32_t(TYPE_ROUTINE));
    EXPECT_TRUE(reflect(rop, sym::body).is(TYPE_NONE));
    EXPECT_EQ(text_of(rop, true), "make op! [[a b]]");
}

}  // namespace
