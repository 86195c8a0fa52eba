#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "tests/unit/runtime_fixture.hpp"
#include "datatypes/series/string.hpp"
#include "core/symbols.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"

using namespace zun;
using test_support::raised;

namespace {

class Typeset : public test_support::RuntimeTest {
protected:
    // A block of datatype! cells, kept on the value stack.
    Cell* block_of(std::initializer_list<uint32_t> types) {
        Cell block{TYPE_BLOCK, 0, memory::alloc_cells(uint32_t(types.size())), 0};
        for (uint32_t t : types) *support::append_cell(&block) = Cell{TYPE_DATATYPE, t, 0, 0};
        return stack::push(&block);
    }
    Cell make(std::initializer_list<uint32_t> types) {
        Cell proto{TYPE_DATATYPE, TYPE_TYPESET, 0, 0};
        return *registry::handler<A_MAKE>(TYPE_TYPESET)(&proto, block_of(types), TYPE_TYPESET);
    }
    std::string mold(Cell ts, bool only = false) {
        Cell buf{};
        string::make_empty_at(&buf, 16);
        Cell* b = stack::push(&buf);
        actions::mold_direct(&ts, b, only, false, false, nullptr, 1 << 30, 0);
        return test_support::bytes_of(b);
    }
};

TEST_F(Typeset, MakeIgnoresOrderAndRepeats) {
    Cell a = make({TYPE_INTEGER, TYPE_INTEGER, TYPE_FLOAT});
    Cell b = make({TYPE_FLOAT, TYPE_INTEGER});
    EXPECT_TRUE(actions::compare(&a, &b, COMP_EQUAL));
    EXPECT_EQ(mold(a), "make typeset! [integer! float!]");
    EXPECT_EQ(mold(a, true), "integer! float!");
    EXPECT_EQ(mold(make({})), "make typeset! []");
    EXPECT_EQ(mold(make({TYPE_UNSET})), "make typeset! [unset!]");
    EXPECT_EQ(typeset::count(&a), 2);
}

TEST_F(Typeset, ComplementOfEmptyNamesEveryDatatype) {
    Cell empty = make({});
    Cell all = *registry::handler<A_COMPLEMENT>(TYPE_TYPESET)(&empty);
    std::string text = mold(all);
    EXPECT_EQ(text.rfind("make typeset! [datatype! unset! none!", 0), 0u) << text;
    EXPECT_NE(text.find("point3D! image! event!]"), std::string::npos) << text;
    EXPECT_EQ(typeset::count(&all), 54);
}

TEST_F(Typeset, FindAnswersTrueOrFalseAndRejectsNonDatatypes) {
    Cell ts = make({TYPE_STRING});
    Cell str{TYPE_DATATYPE, TYPE_STRING, 0, 0}, blk{TYPE_DATATYPE, TYPE_BLOCK, 0, 0};
    auto find = registry::handler<A_FIND>(TYPE_TYPESET);
    EXPECT_EQ(find(&ts, &str, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)->data1, 1u);
    EXPECT_EQ(find(&ts, &blk, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0)->data1, 0u);
    Cell n = integer_cell(1);
    EXPECT_EQ(raised([&] { find(&ts, &n, nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0, 0, 0); }),
              ErrorId::script_invalid_arg);
}

TEST_F(Typeset, SetOperationsCombineWithTypesetsAndDatatypes) {
    struct Case {
        int op;
        std::initializer_list<uint32_t> b;
        const char* result;
    };
    const Case cases[] = {
        {5, {TYPE_CHAR}, "make typeset! [char! integer! float!]"},
        {6, {TYPE_FLOAT, TYPE_STRING}, "make typeset! [float!]"},
        {7, {TYPE_FLOAT, TYPE_STRING}, "make typeset! [string! integer!]"},
        {11, {TYPE_FLOAT}, "make typeset! [integer!]"},
    };
    for (const Case& c : cases) {
        Cell a = make({TYPE_INTEGER, TYPE_FLOAT});
        Cell b = c.b.size() == 1 ? Cell{TYPE_DATATYPE, *c.b.begin(), 0, 0} : make(c.b);
        stack::push_native_frame(nullptr);
        stack::push(&a);
        stack::push(&b);
        typeset::do_set_op(c.op);
        Cell result = *stack::argument(0);
        stack::pop_frame();
        EXPECT_EQ(mold(result), c.result) << c.op;
    }
    Cell a = make({TYPE_INTEGER});
    Cell n = integer_cell(3);
    stack::push_native_frame(nullptr);
    stack::push(&a);
    stack::push(&n);
    EXPECT_EQ(raised([] { typeset::do_set_op(5); }), ErrorId::script_invalid_arg);
}

TEST_F(Typeset, EqualityButNoOrdering) {
    Cell a = make({TYPE_INTEGER}), b = make({TYPE_INTEGER, TYPE_FLOAT});
    EXPECT_TRUE(actions::compare(&a, &b, COMP_NOT_EQUAL));
    EXPECT_LT(actions::compare_direct(&a, &b, COMP_SORT), 0);
    EXPECT_EQ(raised([&] { actions::compare(&a, &b, COMP_LESSER); }),
              ErrorId::script_invalid_compare);
    Cell i = integer_cell(1);
    EXPECT_FALSE(actions::compare(&a, &i, COMP_EQUAL));
}

TEST_F(Typeset, WordsStandForTheirValues) {
    symbols::init();
    Cell num = *word::make_global("number!");
    Cell value = make({TYPE_INTEGER, TYPE_FLOAT});
    word::set_value(&num, &value);
    Cell str = *word::make_global("string!");
    Cell string_type{TYPE_DATATYPE, TYPE_STRING, 0, 0};
    word::set_value(&str, &string_type);

    Cell* spec = block_of({TYPE_CHAR});
    *support::append_cell(spec) = num;
    *support::append_cell(spec) = str;
    Cell proto{TYPE_DATATYPE, TYPE_TYPESET, 0, 0};
    Cell ts = *registry::handler<A_MAKE>(TYPE_TYPESET)(&proto, spec, TYPE_TYPESET);
    EXPECT_EQ(mold(ts), "make typeset! [string! char! integer! float!]");
}

TEST_F(Typeset, MakeRejectsOtherSpecs) {
    Cell proto{TYPE_DATATYPE, TYPE_TYPESET, 0, 0};
    Cell n = integer_cell(1);
    EXPECT_EQ(raised([&] { registry::handler<A_MAKE>(TYPE_TYPESET)(&proto, &n, TYPE_TYPESET); }),
              ErrorId::script_bad_to_arg);
    Cell* blk = block_of({});
    *support::append_cell(blk) = integer_cell(5);
    EXPECT_EQ(raised([&] { registry::handler<A_MAKE>(TYPE_TYPESET)(&proto, blk, TYPE_TYPESET); }),
              ErrorId::script_invalid_arg);
}

}  // namespace
