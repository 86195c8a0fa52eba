// The action stack entries: refinement positions turned into the direct
// forms' parameters, the /part rules of append, insert and change, and the
// result rules.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;
using test_support::bytes_of;
using test_support::error_arg;
using test_support::raised;

namespace {

constexpr int32_t NO = -1;

Cell W(const char* name) { return make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX); }
Cell I(int32_t n) { return integer_cell(n); }
Cell S(const char* text) {
    return *string::load_c_text(text, uint32_t(std::strlen(text)), 0);
}
Cell B(std::initializer_list<Cell> cells) {
    Cell b{TYPE_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0};
    stack::push(&b);
    for (const Cell& c : cells) *support::append_cell(&b) = c;
    return b;
}
Cell at(Cell series, int32_t index) {
    series.data1 = uint32_t(index);
    return series;
}

std::string molded(Cell value) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    Cell v = value;
    actions::mold_direct(&v, buffer, false, false, false, nullptr, 100000, 0);
    return bytes_of(buffer);
}

class ActionEntries : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        actions::init_table();
        stack::push_native_frame(nullptr);
    }

    // Calls the entry of `slot` as the evaluator does: a native frame named by
    // `name`, the arguments from its base. The result stays in that slot 0.
    Cell call(int slot, std::initializer_list<Cell> args, std::vector<int32_t> refinements = {},
              const char* name = nullptr) {
        Cell word = name ? *word::make_global(name) : make_cell(TYPE_NONE);
        stack::push_native_frame(name ? &word : nullptr);
        for (const Cell& a : args) stack::push(&a);
        refinements.push_back(NO);  // never empty: entries may read slot 0
        (void)actions::g_dispatch_table[slot - 1](0, refinements.data());
        Cell result = *stack::g_base;
        stack::pop_frame_set_result();
        return result;
    }
    ErrorId fails(int slot, std::initializer_list<Cell> args, std::vector<int32_t> refinements = {},
                  const char* name = nullptr, Cell* error = nullptr) {
        return raised([&] { call(slot, args, refinements, name); }, error);
    }
};

TEST_F(ActionEntries, TableHoldsOneEntryPerSlotButSetPath) {
    for (int s = 1; s <= ACTION_COUNT; s++)
        EXPECT_EQ(actions::g_dispatch_table[s - 1] == nullptr, s == A_SET_PATH) << s;
}

// A limit of 0 or less never reaches the datatype (tuple!'s form and mold are
// not written yet and would raise not-done).
TEST_F(ActionEntries, FormAndMoldPart) {
    Cell tuple = make_cell(TYPE_TUPLE | 3u << 19, 0x030201);
    Cell list = test_support::keep(B({I(1), I(2), I(3), I(4)}));  // call() reuses its stack slot
    const struct {
        int slot;
        Cell value;
        std::vector<int32_t> refinements;
        Cell part;
        const char* text;
    } cases[] = {
        {A_FORM, tuple, {1}, I(0), ""},
        {A_MOLD, tuple, {NO, NO, NO, 1}, I(-1), ""},
        {A_FORM, list, {NO}, shared_none_cell, "1 2 3 4"},
        {A_FORM, list, {1}, I(3), "1 2"},
        {A_MOLD, list, {NO, NO, NO, NO}, shared_none_cell, "[1 2 3 4]"},
        {A_MOLD, list, {1, NO, NO, NO}, shared_none_cell, "1 2 3 4"},
        {A_MOLD, list, {NO, NO, NO, 1}, I(4), "[1 2"},
    };
    for (const auto& c : cases) {
        Cell result = c.part.is(TYPE_NONE) ? call(c.slot, {c.value}, c.refinements)
                                           : call(c.slot, {c.value, c.part}, c.refinements);
        ASSERT_TRUE(result.is(TYPE_STRING)) << c.text;
        EXPECT_EQ(bytes_of(&result), c.text);
    }
}

// append series value /part length /only /dup count: refinements in that order.
TEST_F(ActionEntries, AppendPartAndDup) {
    Cell abcd = B({W("a"), W("b"), W("c"), W("d")});
    const struct {
        Cell value;
        std::vector<Cell> extra;
        std::vector<int32_t> refinements;
        const char* result;
    } cases[] = {
        {abcd, {I(2)}, {2, NO, NO}, "[a b]"},
        {abcd, {I(0)}, {2, NO, NO}, "[]"},
        {abcd, {I(9)}, {2, NO, NO}, "[a b c d]"},
        {at(abcd, 3), {I(-2)}, {2, NO, NO}, "[b c]"},   // the items just before
        {at(abcd, 3), {I(-9)}, {2, NO, NO}, "[a b c]"}, // not below the head
        {abcd, {I(-2)}, {2, NO, NO}, "[]"},             // at index 0: nothing
        {abcd, {at(abcd, 3)}, {2, NO, NO}, "[a b c]"},  // a position: the distance
        {at(abcd, 3), {abcd}, {2, NO, NO}, "[a b c]"},  // an earlier position
        {I(1), {I(0)}, {NO, NO, 2}, "[]"},
        {I(1), {I(3)}, {NO, NO, 2}, "[1 1 1]"},
        {I(1), {I(-1)}, {NO, NO, 2}, "[]"},
        {abcd, {I(1), I(2)}, {2, NO, 3}, "[a a]"},
        {B({I(1)}), {}, {NO, 2, NO}, "[[1]]"},
    };
    for (const auto& c : cases) {
        Cell target = B({});
        std::vector<Cell> args{target, c.value};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        Cell word = *word::make_global("append");
        stack::push_native_frame(&word);
        for (const Cell& a : args) stack::push(&a);
        (void)actions::append(0, c.refinements.data());
        stack::pop_frame();
        EXPECT_EQ(molded(target), c.result) << c.result;
    }
}

TEST_F(ActionEntries, AppendPartErrors) {
    Cell abc = B({W("a"), W("b"), W("c")});
    Cell other = B({W("a"), W("b"), W("c")});
    Cell error;
    EXPECT_EQ(fails(A_APPEND, {B({}), I(5), I(2)}, {2, NO, NO}, nullptr, &error),
              ErrorId::script_invalid_part);
    EXPECT_EQ(error_arg(error, 0).as_int(), 2);
    EXPECT_EQ(fails(A_APPEND, {B({}), abc, at(other, 1)}, {2, NO, NO}, nullptr, &error),
              ErrorId::script_invalid_refine_arg);
    EXPECT_TRUE(error_arg(error, 0).is(TYPE_REFINEMENT));
    EXPECT_EQ(fails(A_APPEND, {B({}), abc, S("ab")}, {2, NO, NO}),
              ErrorId::script_invalid_refine_arg);
}

TEST_F(ActionEntries, InsertMovesAHeadPastTheTailBack) {
    Cell list = B({W("a"), W("b")});
    Cell result = call(A_INSERT, {at(list, 7), W("x")}, {NO, NO, NO});
    EXPECT_EQ(molded(list), "[a b x]");
    EXPECT_EQ(result.data1, 3u);
}

// change series value /part range /only /dup count: the part is taken on the
// series itself.
TEST_F(ActionEntries, ChangePart) {
    const struct {
        int32_t head;
        Cell part;  // none: by a position of the series, head + 2
        const char* result;
    } cases[] = {
        {1, I(2), "[a x d]"},
        {1, I(-1), "[x b c d]"},
        {0, I(-3), "[x a b c d]"},
        {1, shared_none_cell, "[a x d]"},
    };
    for (const auto& c : cases) {
        Cell list = B({W("a"), W("b"), W("c"), W("d")});
        Cell part = c.part.is(TYPE_NONE) ? at(list, c.head + 2) : c.part;
        call(A_CHANGE, {at(list, c.head), W("x"), part}, {2, NO, NO});
        EXPECT_EQ(molded(list), c.result) << c.result;
    }
    Cell list = B({W("a")});
    EXPECT_EQ(fails(A_CHANGE, {list, W("x"), B({})}, {2, NO, NO}),
              ErrorId::script_invalid_refine_arg);
}

TEST_F(ActionEntries, CopyTypesMustBeADatatypeOrTypeset) {
    Cell error;
    EXPECT_EQ(fails(A_COPY, {B({I(1)}), I(3)}, {NO, NO, 1}, nullptr, &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(symbol::name(error_arg(error, 0).data2), "copy");
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_INTEGER));
    EXPECT_EQ(symbol::name(error_arg(error, 2).data2), "kind");
    Cell copy = call(A_COPY, {B({I(1), I(2)})}, {NO, NO, NO});
    EXPECT_EQ(molded(copy), "[1 2]");
}

TEST_F(ActionEntries, ResultRules) {
    Cell list = test_support::keep(B({I(1), I(2), I(3)}));  // call() reuses its stack slot
    // length? none answers none (its handler answers -1).
    EXPECT_TRUE(call(A_LENGTH_Q, {shared_none_cell}).is(TYPE_NONE));
    EXPECT_EQ(call(A_LENGTH_Q, {at(list, 1)}).as_int(), 2);
    // poke answers the value stored, not the series.
    Cell poked = call(A_POKE, {list, I(2), I(9)});
    EXPECT_EQ(poked.type(), uint32_t(TYPE_INTEGER));
    EXPECT_EQ(poked.as_int(), 9);
    EXPECT_EQ(molded(list), "[1 9 3]");
    // pick takes logic! indexes as 1 and 2.
    EXPECT_EQ(call(A_PICK, {list, shared_true_cell}).as_int(), 1);
    EXPECT_EQ(call(A_PICK, {list, shared_false_cell}).as_int(), 9);
    // even? and odd? answer a logic! made from the handler's answer.
    EXPECT_EQ(call(A_EVEN_Q, {I(4)}).header, logic::make_value(true).header);
    Cell odd = call(A_ODD_Q, {I(4)});
    EXPECT_TRUE(odd.is(TYPE_LOGIC) && logic::false_value(&odd));
    // compare answers the raw order.
    EXPECT_EQ(call(A_COMPARE, {I(1), I(2), I(COMP_LESSER)}).as_int(), -1);
    EXPECT_EQ(call(A_COMPARE, {I(1), S("a"), I(COMP_EQUAL)}).as_int(), COMPARE_UNCOMPARABLE);
    // make and to with a datatype! take the named type's row.
    EXPECT_TRUE(call(A_MAKE, {make_cell(TYPE_DATATYPE, TYPE_BLOCK), I(4)}).is(TYPE_BLOCK));
    Cell false_ = call(A_TO, {make_cell(TYPE_DATATYPE, TYPE_LOGIC), shared_none_cell});
    EXPECT_TRUE(false_.is(TYPE_LOGIC) && logic::false_value(&false_));
    // eval-path reads, or with its flag writes argument 2.
    EXPECT_EQ(call(A_EVAL_PATH, {list, I(3)}, {NO}).as_int(), 3);
    EXPECT_EQ(call(A_EVAL_PATH, {list, I(3), I(7)}, {2}).as_int(), 7);
    EXPECT_EQ(molded(list), "[1 9 7]");
}

// Argument 0 of compare-arguments is also the slot the logic! goes to.
TEST_F(ActionEntries, CompareArguments) {
    const struct {
        Cell a, b;
        int mode;
        bool holds;
    } cases[] = {
        {I(1), I(2), COMP_LESSER, true},     {I(2), I(1), COMP_GREATER, true},
        {I(1), I(1), COMP_LESSER_EQUAL, true}, {I(1), I(1), COMP_GREATER_EQUAL, true},
        {I(1), S("a"), COMP_EQUAL, false},   {I(1), S("a"), COMP_STRICT_EQUAL, false},
        {I(1), S("a"), COMP_NOT_EQUAL, true}, {S("A"), S("a"), COMP_EQUAL, true},
        {S("A"), S("a"), COMP_STRICT_EQUAL, false},
    };
    for (const auto& c : cases) {
        stack::push_native_frame(nullptr);
        stack::push(&c.a);
        stack::push(&c.b);
        stack::g_base->header |= NEW_LINE_FLAG;
        actions::compare_arguments(c.mode);
        EXPECT_EQ(stack::g_base->header, uint32_t(TYPE_LOGIC)) << c.mode;  // a fresh header
        EXPECT_EQ(logic::get(stack::g_base), uint32_t(c.holds)) << c.mode;
        stack::pop_frame();
    }
    for (int mode : {COMP_LESSER, COMP_LESSER_EQUAL, COMP_GREATER, COMP_GREATER_EQUAL}) {
        Cell error;
        Cell a = I(1), b = S("a");
        EXPECT_EQ(raised(
                      [&] {
                          stack::push_native_frame(nullptr);
                          stack::push(&a);
                          stack::push(&b);
                          actions::compare_arguments(mode);
                      },
                      &error),
                  ErrorId::script_invalid_compare)
            << mode;
        EXPECT_EQ(error_arg(error, 0).as_int(), 1);
    }
}

// The error names the action, the argument's type and the action's first
// parameter, read from the spec of the value its word holds.
TEST_F(ActionEntries, EmptySlotNamesTheFirstParameter) {
    Cell spec = B({S("doc"), W("series"), B({}), W("value")});
    Cell* action = native::push(TYPE_ACTION, &spec, A_APPEND);
    Cell word = *word::make_global("append");
    word::set_value(&word, action);
    Cell error;
    EXPECT_EQ(fails(A_APPEND, {I(1), I(2)}, {NO, NO, NO}, "append", &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(symbol::name(error_arg(error, 0).data2), "append");
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_INTEGER));
    EXPECT_EQ(symbol::name(error_arg(error, 2).data2), "series");
}

}  // namespace
