// Start-up values: the native! and action! values made from their spec
// blocks, the datatype words, the prologue's constants, typesets and colours,
// and the operators.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>
#include <string>

#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/stack.hpp"
#include "startup/boot_values.hpp"
#include "tests/unit/runtime_fixture.hpp"

using namespace zun;
using test_support::bytes_of;

namespace {

Cell value_of(const char* name) {
    const Cell* v = context::find_word_value(symbol::make(name), context::global());
    return v ? *v : make_cell(TYPE_UNSET);
}

Cell SW(const char* name) {
    return make_cell(TYPE_SET_WORD, 0, symbol::make(name), context::NO_INDEX);
}
Cell B(std::initializer_list<Cell> cells) {
    Cell b{TYPE_BLOCK, 0, memory::alloc_cells(uint32_t(cells.size()) + 1), 0};
    stack::push(&b);
    for (const Cell& c : cells) *support::append_cell(&b) = c;
    return b;
}

class BootValues : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        actions::init_table();
        natives::init_table();
        lexer::init();
        stack::push_native_frame(nullptr);
    }
};

using BootSpecs = BootValues;

TEST_F(BootSpecs, HandBuiltSpecsBindByPosition) {
    Cell actions = B({});
    for (const char* name : {"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8"}) {
        Cell set = SW(name);
        *support::append_cell(&actions) = set;
        *support::append_cell(&actions) = B({});
    }
    Cell specs = B({SW("natives"), B({SW("n1"), B({}), SW("n2"), B({})}), SW("actions"), actions});
    boot_values::Counts counts = boot_values::bind_functions(&specs);
    EXPECT_EQ(counts.natives, 2u);
    EXPECT_EQ(counts.actions, 8u);
    const struct {
        const char* name;
        uint32_t type, index;
    } cases[] = {
        {"n1", TYPE_NATIVE, 1}, {"n2", TYPE_NATIVE, 2}, {"a1", TYPE_ACTION, 1},
        {"a7", TYPE_ACTION, 7}, {"a8", TYPE_ACTION, 9},  // set-path has no action
    };
    for (const auto& c : cases) {
        Cell v = value_of(c.name);
        EXPECT_EQ(v.type(), c.type) << c.name;
        EXPECT_EQ(v.data1, c.index) << c.name;
    }
}

class BootInit : public BootValues {
protected:
    void SetUp() override {
        BootValues::SetUp();
        boot_values::init();
    }
};

TEST_F(BootInit, NativesAndActionsByIndex) {
    const struct {
        const char* name;
        uint32_t type, index;
    } cases[] = {
        {"if", TYPE_NATIVE, 1},        {"switch", TYPE_NATIVE, 18}, {"case", TYPE_NATIVE, 19},
        {"get", TYPE_NATIVE, 21},      {"greater?", TYPE_NATIVE, 29},
        {"lesser-or-equal?", TYPE_NATIVE, 30}, {"reduce", TYPE_NATIVE, 35},
        {"parse", TYPE_NATIVE, 40},    {"NaN?", TYPE_NATIVE, 62},   {"try", TYPE_NATIVE, 70},
        {"return", TYPE_NATIVE, 80},   {"sign?", TYPE_NATIVE, 97},  {"zero?", TYPE_NATIVE, 100},
        {"apply", TYPE_NATIVE, 107},   {"make", TYPE_ACTION, 1},    {"mold", TYPE_ACTION, 6},
        {"eval-path", TYPE_ACTION, 7}, {"compare", TYPE_ACTION, 9}, {"and~", TYPE_ACTION, 21},
        {"append", TYPE_ACTION, 25},   {"poke", TYPE_ACTION, 40},   {"open?", TYPE_ACTION, 57},
        {"write", TYPE_ACTION, 62},
    };
    for (const auto& c : cases) {
        Cell v = value_of(c.name);
        EXPECT_EQ(v.type(), c.type) << c.name;
        EXPECT_EQ(v.data1, c.index) << c.name;
    }
}

// Every spec starts with its doc string; the evaluator reads the rest.
TEST_F(BootInit, SpecsStartWithTheirDocString) {
    for (const char* name : {"if", "apply", "transcode", "make", "write", "stats", "exit"}) {
        Cell v = value_of(name);
        Cell spec = make_cell(TYPE_BLOCK, 0, v.data2, 0);
        ASSERT_GT(block::length_from_head(&spec), 0) << name;
        EXPECT_TRUE(block::cell_at(&spec, 0)->is(TYPE_STRING)) << name;
    }
    Cell sine = value_of("sine");
    Cell spec = make_cell(TYPE_BLOCK, 0, sine.data2, 0);
    Cell doc = *block::cell_at(&spec, 0);
    EXPECT_EQ(bytes_of(&doc), "Returns the trigonometric sine");
}

TEST_F(BootInit, DatatypeWords) {
    for (uint32_t t : {TYPE_DATATYPE, TYPE_UNSET, TYPE_INTEGER, TYPE_POINT3D, TYPE_EVENT}) {
        Cell v = value_of(registry::type_name(t));
        EXPECT_TRUE(v.is(TYPE_DATATYPE)) << t;
        EXPECT_EQ(v.data1, t);
    }
}

TEST_F(BootInit, BaseValuesAndConstants) {
    EXPECT_TRUE(value_of("none").is(TYPE_NONE));
    const struct {
        const char* name;
        Cell value;
    } cases[] = {
        {"true", logic::make_value(true)}, {"false", logic::make_value(false)},
        {"on", logic::make_value(true)},   {"yes", logic::make_value(true)},
        {"off", logic::make_value(false)}, {"no", logic::make_value(false)},
        {"Quolb", logic::make_value(false)},
        {"sp", make_cell(TYPE_CHAR, 0, 32)},  {"space", make_cell(TYPE_CHAR, 0, 32)},
        {"newline", make_cell(TYPE_CHAR, 0, 10)}, {"lf", make_cell(TYPE_CHAR, 0, 10)},
        {"cr", make_cell(TYPE_CHAR, 0, 13)},  {"enter", make_cell(TYPE_CHAR, 0, 13)},
        {"tab", make_cell(TYPE_CHAR, 0, 9)},  {"null", make_cell(TYPE_CHAR, 0, 0)},
        {"slash", make_cell(TYPE_CHAR, 0, '/')}, {"dbl-quote", make_cell(TYPE_CHAR, 0, '"')},
        {"null-handle", make_cell(TYPE_HANDLE, 0, 0, 0xFFFFFFFF)},
    };
    for (const auto& c : cases) {
        Cell v = value_of(c.name);
        EXPECT_EQ(v.header, c.value.header) << c.name;
        EXPECT_EQ(v.data1, c.value.data1) << c.name;
        EXPECT_EQ(v.data2, c.value.data2) << c.name;
        EXPECT_EQ(v.data3, c.value.data3) << c.name;
    }
    Cell pi = value_of("pi");
    EXPECT_TRUE(pi.is(TYPE_FLOAT));
    EXPECT_EQ(std::bit_cast<uint64_t>(pi.as_double()), 0x400921FB54442D18u);
    Cell crlf = value_of("crlf");
    ASSERT_TRUE(crlf.is(TYPE_STRING));
    EXPECT_EQ(bytes_of(&crlf), "\r\n");
}

TEST_F(BootInit, Typesets) {
    const Cell any_type = value_of("any-type!"), default_ = value_of("default!");
    EXPECT_TRUE(typeset::has(&any_type, TYPE_UNSET) && typeset::has(&any_type, TYPE_EVENT));
    // default! takes in external!, so event! too; only unset! is left out.
    EXPECT_FALSE(typeset::has(&default_, TYPE_UNSET));
    EXPECT_TRUE(typeset::has(&default_, TYPE_EVENT));
    const Cell scalar = value_of("scalar!");
    uint32_t listed[] = {TYPE_INTEGER, TYPE_FLOAT, TYPE_PERCENT, TYPE_POINT2D, TYPE_POINT3D,
                         TYPE_MONEY,   TYPE_CHAR,  TYPE_PAIR,    TYPE_TUPLE,   TYPE_TIME,
                         TYPE_DATE};
    for (uint32_t t = 0; t < 96; t++)
        EXPECT_EQ(typeset::has(&scalar, t),
                  std::find(std::begin(listed), std::end(listed), t) != std::end(listed))
            << t;
    const Cell immediate = value_of("immediate!");
    EXPECT_TRUE(typeset::has(&immediate, TYPE_DATE));
    const Cell internal = value_of("internal!");
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(&internal.data1)[0], 0x20);
    const Cell series = value_of("series!");
    for (uint32_t t : {TYPE_BINARY, TYPE_IMAGE, TYPE_VECTOR, TYPE_PATH, TYPE_HASH, TYPE_REF})
        EXPECT_TRUE(typeset::has(&series, t)) << t;
    EXPECT_FALSE(typeset::has(&series, TYPE_MAP));
}

TEST_F(BootInit, Colours) {
    const struct {
        const char* name;
        uint32_t length;
        uint8_t bytes[4];
    } cases[] = {
        {"aqua", 3, {40, 100, 130, 0}},   {"yellow", 3, {255, 255, 0, 0}},
        {"quolbor", 3, {142, 128, 110, 0}}, {"glass", 4, {0, 0, 0, 255}},
        {"transparent", 4, {0, 0, 0, 255}},
    };
    for (const auto& c : cases) {
        Cell v = value_of(c.name);
        ASSERT_TRUE(v.is(TYPE_TUPLE)) << c.name;
        EXPECT_EQ((v.header >> 19) & 0xF, c.length) << c.name;
        EXPECT_EQ(std::memcmp(&v.data1, c.bytes, c.length), 0) << c.name;
    }
}

TEST_F(BootInit, OperatorsWrapTheirFunctions) {
    const struct {
        const char* op;
        uint32_t wrapped, index;
    } cases[] = {
        {"+", TYPE_ACTION, A_ADD},     {"-", TYPE_ACTION, A_SUBTRACT}, {"%", TYPE_ACTION, A_REMAINDER},
        {"**", TYPE_ACTION, A_POWER},  {"and", TYPE_ACTION, A_AND},    {"xor", TYPE_ACTION, A_XOR},
        {"=", TYPE_NATIVE, 25},        {"<>", TYPE_NATIVE, 26},        {">", TYPE_NATIVE, 29},
        {"<=", TYPE_NATIVE, 30},       {"=?", TYPE_NATIVE, 32},
    };
    for (const auto& c : cases) {
        Cell v = value_of(c.op);
        ASSERT_TRUE(v.is(TYPE_OP)) << c.op;
        EXPECT_EQ(op::wrapped_type(&v), c.wrapped) << c.op;
        EXPECT_EQ(v.data1, c.index) << c.op;
    }
    // modulo is library code: its operator comes with it.
    EXPECT_TRUE(value_of("//").is(TYPE_UNSET));
}

}  // namespace
