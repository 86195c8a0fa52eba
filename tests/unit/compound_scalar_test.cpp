// pair!, tuple!, point2D!, point3D!, triple! and handle!: arithmetic and its
// fall-over to points, comparison, conversion, text, paths and the cells the
// native side builds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/rng.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "tests/unit/eval_fixture.hpp"
#include "tests/unit/python_oracle.hpp"

using namespace zun;

namespace {

using eval_test::Case;
using Failure = eval_test::Failure;

class CompoundScalar : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        rng::init();
    }
    void check(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    }
    void check_fails(const std::vector<Failure>& cases) {
        for (const Failure& c : cases)
            EXPECT_EQ(std::string(error_info(fails(c.code)).id_name), error_info(c.id).id_name)
                << c.code;
    }
    // The last value of the code.
    Cell value_of(const char* code) {
        Cell* block = load(code);
        EXPECT_EQ(interpreter::eval_block(block, false), Flow::normal) << code;
        return stack::g_top[-1];
    }
};

TEST_F(CompoundScalar, PairArithmeticStaysExactOrFallsOverToPoints) {
    check({
        {"1x2 + 3x4", "4x6"},
        {"1x2 + 3", "4x5"},
        {"3 + 1x2", "4x5"},
        {"3 - 1x2", "2x1"},
        {"3x4 + 1.5", "4x5"},
        {"1.5 + 3x4", "4x5"},
        {"2x4 + 1.9", "3x5"},
        {"6x4 / 2", "3x2"},
        {"4x6 / 2", "2x3"},
        {"3x3 / 2", "(1.5, 1.5)"},
        {"-1x-1 / 2", "(-0.5, -0.5)"},
        {"3x4 * 1.5", "(4.5, 6)"},
        {"1.5 * 3x4", "(4.5, 6)"},
        {"2x4 * 50%", "(1, 2)"},
        {"1x1 / 0.0", "(1.#INF, 1.#INF)"},
        {"2147483647x0 + 1x0", "(2.147484e9, 0)"},
        {"0x2147483647 + 0x1", "(0, 2.147484e9)"},
        {"100000x1 * 100000", "(1e10, 100000)"},
        {"1x2 + (0.5, 0.25)", "(1.5, 2.25)"},
        {"remainder 5x7 3", "2x1"},
        {"remainder -5x7 3", "-2x1"},
        {"5x3 and 3", "1x3"},
        {"5x3 or 2x8", "7x11"},
        {"5x3 xor 1x1", "4x2"},
        {"1x1 + 1e10", "(1e10, 1e10)"},
        {"negate 1x-2", "-1x2"},
        {"negate -2147483648x0", "-2147483648x0"},
        {"absolute -3x4", "3x4"},
        {"reverse 1x2", "2x1"},
    });
    check_fails({
        {"1x1 / 0", ErrorId::math_zero_divide},
        {"remainder 1x1 0", ErrorId::math_zero_divide},
        {"-2147483648x1 / -1", ErrorId::math_overflow},
        {"absolute -2147483648x0", ErrorId::math_overflow},
        {"1x2 + 1.2.3", ErrorId::script_invalid_type},
        {"1x2 * 1.#INF", ErrorId::script_invalid_arg},
        {"1x2 / 1.#NaN", ErrorId::script_invalid_arg},
        {"1x2 + 1.#INF", ErrorId::script_invalid_arg},
        {"3 / 1x2", ErrorId::script_not_related},
    });
}

TEST_F(CompoundScalar, PairConversionRoundingPicksAndRandom) {
    check({
        {"make pair! 3", "3x3"},
        {"make pair! -2.7", "-2x-2"},
        {"make pair! [1 2.7]", "1x2"},
        {"make pair! [1 2 3]", "1x2"},
        {"make pair! (1.9, -2.9)", "1x-2"},
        {"make pair! \"1x2\"", "1x2"},
        {"to pair! 5x6", "5x6"},
        {"as-pair 1.9 -2", "1x-2"},
        {"round/to 17x23 5x10", "15x20"},
        {"round/to 17x23 5", "15x25"},
        {"round/to 17x23 2.5", "17x22"},
        {"round/down/to 19x-19 10", "10x-10"},
        {"pick 3x4 2", "4"},
        {"pick 3x4 'x", "3"},
        {"p: 3x4 p/y", "4"},
        {"p: 3x4 p/2", "4"},
        {"random 0x0", "0x0"},
        {"random/seed 3x5", "unset"},
        {"random 1x-1", "1x-1"},
    });
    check_fails({
        {"make pair! [1]", ErrorId::syntax_malconstruct},
        {"make pair! [1 \"a\"]", ErrorId::syntax_malconstruct},
        {"to pair! \"abc\"", ErrorId::script_bad_to_arg},
        {"to pair! 1.2.3", ErrorId::script_bad_to_arg},
        {"make pair! (1.#INF, 0)", ErrorId::script_invalid_arg},
        {"make pair! 1e10", ErrorId::math_overflow},
        {"as-pair 1.#INF 0", ErrorId::script_invalid_arg},
        {"pick 3x4 3", ErrorId::script_out_of_range},
        {"pick 3x4 'z", ErrorId::script_cannot_use},
        {"p: 3x4 p/z", ErrorId::script_invalid_path},
        {"p: 3x4 p/3", ErrorId::script_invalid_path},
        {"p: 3x4 p/x: 2.5", ErrorId::script_invalid_type},
        {"round/to 1x1 $1", ErrorId::script_not_related},
    });
    for (int i = 0; i < 50; i++) {
        Cell r = value_of("random 10x-10");
        EXPECT_TRUE(pair::x_of(&r) >= 1 && pair::x_of(&r) <= 10);
        EXPECT_TRUE(pair::y_of(&r) <= -1 && pair::y_of(&r) >= -10);
    }
}

TEST_F(CompoundScalar, PairsOrderXFirstAndMeetPointsAsPoints) {
    check({
        {"1x2 = 1x2", "true"},
        {"1x5 < 2x0", "true"},
        {"2x1 > 2x0", "true"},
        {"2147483647x0 > -1x0", "true"},
        {"1x2 = (1, 2)", "true"},
        {"(1, 2) = 1x2", "true"},
        {"1x2 < (1, 2.5)", "true"},
        {"1x2 == (1, 2)", "false"},
        {"1x2 = 1.2.3", "false"},
    });
    check_fails({{"1x2 < 1", ErrorId::script_invalid_compare}});
}

TEST_F(CompoundScalar, TupleArithmeticClampsAndTakesTheLongerLength) {
    check({
        {"1.2.3 + 1.2.3.4", "2.4.6.4"},
        {"10.20.30 - 15", "0.5.15"},
        {"100.200.250 * 2", "200.255.255"},
        {"10.20.30 / 3", "3.6.10"},
        {"10.20.30 * 1.5", "15.30.45"},
        {"10.20.30 * -1.5", "0.0.0"},
        {"255.0.0 and 15", "15.0.0"},
        {"1.2.3 or 4.4.4.4", "5.6.7.4"},
        {"200.100.50 + 100", "255.200.150"},
        {"5.5.5 - 10", "0.0.0"},
        {"2 * 1.2.3", "2.4.6"},
        {"1.5 * 2.4.6", "3.6.9"},
        {"100.100.100 * 2147483647", "255.255.255"},
        {"100.100.100 + -2147483647", "0.0.0"},
        {"remainder 10.11.12 5", "0.1.2"},
        {"10.20.30 * 50%", "5.10.15"},
        {"complement 0.255.15", "255.0.240"},
        {"length? 1.2.3.4", "4"},
        {"pick 1.2.3 2", "2"},
    });
    check_fails({
        {"1.2.3 / 0", ErrorId::math_zero_divide},
        {"1.2.3 / 1.0.1", ErrorId::math_zero_divide},
        {"2 - 1.2.3", ErrorId::script_not_related},
        {"2.0 / 1.2.3", ErrorId::script_not_related},
        {"1.2.3 + $1", ErrorId::script_invalid_type},
        {"1.2.3 + 1x2", ErrorId::script_invalid_type},
        {"pick 1.2.3 4", ErrorId::script_out_of_range},
        {"pick 1.2.3 0", ErrorId::script_out_of_range},
    });
}

TEST_F(CompoundScalar, TupleConversionComparisonPathsAndReverse) {
    check({
        {"make tuple! []", "0.0.0"},
        {"make tuple! [1 2]", "1.2.0"},
        {"make tuple! [#\"A\" 1.9 2]", "65.1.2"},
        {"to tuple! #F0C", "255.0.204"},
        {"to tuple! #F80", "255.136.0"},
        {"to tuple! #FF000080", "255.0.0.128"},
        {"to tuple! #0a0B0c", "10.11.12"},
        {"to tuple! #{0102}", "1.2.0"},
        {"to tuple! #{0102030405060708090A0B0C0D0E0F1011121314}", "1.2.3.4.5.6.7.8.9.10.11.12"},
        {"to tuple! next #{01020304}", "2.3.4"},
        {"to tuple! \"1.2.3.4\"", "1.2.3.4"},
        {"1.2.3 = 1.2.3.0", "true"},
        {"1.2.3 < 1.2.4", "true"},
        {"1.2.3.4 > 1.2.3", "true"},
        {"1.2.3 <> 1.2.3.1", "true"},
        {"t: 1.2.3 t/3", "3"},
        {"reverse 1.2.3", "3.2.1"},
        {"reverse/skip 1.2.3.4.5.6 2", "5.6.3.4.1.2"},
        {"reverse/part 1.2.3.4 2", "2.1.3.4"},
        {"reverse/part/skip 1.2.3.4.5.6 4 2", "3.4.1.2.5.6"},
        {"reverse/part/skip 1.2.3 6 2", "1.2.3"},
        {"reverse/part 1.2.3 9", "3.2.1"},
        {"reverse/skip 1.2.3 3", "1.2.3"},
        {"random/seed 1.2.3", "unset"},
        {"random 0.0.0", "0.0.0"},
    });
    check_fails({
        {"make tuple! [1 2 3 4 5 6 7 8 9 10 11 12 13]", ErrorId::script_bad_to_arg},
        {"make tuple! [256 0 0]", ErrorId::script_bad_to_arg},
        {"make tuple! [-1 0 0]", ErrorId::script_bad_to_arg},
        {"make tuple! [a]", ErrorId::script_bad_to_arg},
        {"to tuple! 1x2", ErrorId::script_bad_to_arg},
        {"to tuple! \"abc\"", ErrorId::script_bad_to_arg},
        {"to tuple! #12345", ErrorId::script_invalid_data},
        {"to tuple! #12G", ErrorId::script_invalid_data},
        {"1.2.3 < 1", ErrorId::script_invalid_compare},
        {"t: 1.2.3 t/4: 1", ErrorId::script_out_of_range},
        {"t: 1.2.3 t/x", ErrorId::script_invalid_type},
        {"t: 1.2.3 t/1: 1.5", ErrorId::script_invalid_type},
        {"reverse/skip 1.2.3.4 3", ErrorId::script_invalid_refine_arg},
        {"reverse/skip 1.2.3.4 0", ErrorId::script_out_of_range},
        {"reverse/part 1.2.3.4 -1", ErrorId::script_out_of_range},
        {"reverse/part 1.2.3.4 \"a\"", ErrorId::script_invalid_refine_arg},
    });
    for (int i = 0; i < 50; i++) {
        Cell r = value_of("random 3.0.255.1");
        uint8_t b[tuple::MAX_LENGTH];
        tuple::get_bytes(&r, b);
        EXPECT_EQ(tuple::length_of(&r), 4);
        EXPECT_TRUE(b[0] <= 3 && b[1] == 0 && b[3] <= 1);
    }
}

TEST_F(CompoundScalar, PointArithmeticConversionAndComparison) {
    check({
        {"(1, 2) * 2.5", "(2.5, 5)"},
        {"(1, 2) + 1x1", "(2, 3)"},
        {"1x1 + (1, 2)", "(2, 3)"},
        {"(1, 2) - 1", "(0, 1)"},
        {"2 - (1, 2)", "(1, 0)"},
        {"(1, 2) / 0", "(1.#INF, 1.#INF)"},
        {"(0, 1) / 0", "(1.#NaN, 1.#INF)"},
        {"remainder (7, -7.5) 2", "(1, -1.5)"},
        {"(1, 2, 3) * 2", "(2, 4, 6)"},
        {"(1, 2, 3) + (0.5, 0.5, 0.5)", "(1.5, 2.5, 3.5)"},
        {"(0.1, 0.2) + (0.2, 0.1)", "(0.3, 0.3)"},
        {"(1, 2) + 10%", "(1.1, 2.1)"},
        {"negate (0, 1)", "(0, -1)"},
        {"absolute (-1.5, 2, -3)", "(1.5, 2, 3)"},
        {"reverse (1, 2, 3)", "(3, 2, 1)"},
        {"reverse (1, 2)", "(2, 1)"},
        {"make point2D! 3x4", "(3, 4)"},
        {"make point2D! [1 2.5]", "(1, 2.5)"},
        {"make point2D! 1.5", "(1.5, 1.5)"},
        {"make point3D! 2", "(2, 2, 2)"},
        {"make point3D! 3x4", "(3, 4, 0)"},
        {"make point3D! (1, 2)", "(1, 2, 0)"},
        {"make point3D! [1 2 3 4]", "(1, 2, 3)"},
        {"to point2D! \"(1, 2)\"", "(1, 2)"},
        {"(1234567.8, 1e-7)", "(1234568, 1e-7)"},
        {"(0.1, 0.2) = (0.1, 0.2)", "true"},
        {"(1, 5) < (2, 0)", "true"},
        {"(1, 2, 3) < (1, 2, 4)", "true"},
        {"(1, 2, 3) = (1, 2, 3)", "true"},
        {"(1, 2) = (1, 2, 0)", "false"},
        {"round (1.5, -2.5)", "(2, -3)"},
        {"round/to (17, 23) 5x10", "(15, 20)"},
        {"round/to (1.26, 2.24) 0.1", "(1.3, 2.2)"},
        {"round/to (17, 23, 38) 5x10", "(15, 20, 38)"},
        {"pick (1.5, 2, 3) 'z", "3.0"},
        {"p: (1, 2) p/y: 3", "3"},
        {"p: (1, 2, 3) p/3", "3.0"},
        {"random (0, 0)", "(0, 0)"},
        {"random/seed (1, 2)", "unset"},
    });
    check_fails({
        {"make point2D! [1]", ErrorId::syntax_malconstruct},
        {"make point3D! [1 2]", ErrorId::syntax_malconstruct},
        {"make point2D! (1, 2, 3)", ErrorId::script_bad_to_arg},
        {"to point3D! \"1x2\"", ErrorId::script_bad_to_arg},
        {"(1, 2, 3) + 1x1", ErrorId::script_invalid_type},
        {"(1, 2, 3) + (1, 2)", ErrorId::script_invalid_type},
        {"(1, 2) + 1.2.3", ErrorId::script_invalid_type},
        {"p: (1, 2) p/y: \"a\"", ErrorId::script_invalid_type},
        {"p: (1, 2) p/z", ErrorId::script_invalid_path},
        {"pick (1, 2) 3", ErrorId::script_out_of_range},
        {"pick (1, 2) 'z", ErrorId::script_cannot_use},
        {"round/to (1, 2) $1", ErrorId::script_not_related},
        {"(1, 2) < 1", ErrorId::script_invalid_compare},
    });
}

// A set-path step on the value itself, as path evaluation runs it: the
// answer is the value stored, the cell holds the changed value.
TEST_F(CompoundScalar, SetPathStepsChangeTheValueInPlace) {
    const struct {
        const char* value;
        const char* element;
        const char* assigned;
        const char* after;
    } cases[] = {
        {"1.2.3.4.5", "4", "none", "1.2.3"},
        {"1.2.3.4", "2", "none", "1.0.0"},
        {"1.2.3", "2", "300", "1.255.3"},
        {"1.2.3", "2", "-5", "1.0.3"},
        {"3x4", "'x", "-7", "-7x4"},
        {"3x4", "2", "9", "3x9"},
        {"(1, 2)", "'y", "3", "(1, 3)"},
        {"(1, 2, 3)", "'z", "0.1", "(1, 2, 0.1)"},
    };
    for (const auto& c : cases) {
        Cell* value = stack::push_cell();
        *value = value_of(c.value);
        Cell* element = stack::push_cell();
        *element = value_of(c.element);
        Cell* assigned = stack::push_cell();
        *assigned = value_of(c.assigned);
        Cell* answer = registry::handler<A_EVAL_PATH>(value->type())(
            value, element, assigned, nullptr, nullptr, nullptr, 1, false, false, true, false);
        EXPECT_EQ(eval_test::mold(*answer), c.assigned) << c.value;
        EXPECT_EQ(eval_test::mold(*value), c.after) << c.value;
    }
}

TEST_F(CompoundScalar, PointEqualityToleratesAFewUnitsInTheLastPlace) {
    Cell a = value_of("(1, 2)");
    Cell b = a;
    b.data1 += 1;  // one unit in the last place of x
    Cell* p = stack::push(&a);
    Cell* q = stack::push(&b);
    EXPECT_EQ(point2D::compare(p, q, COMP_EQUAL), 0);
    EXPECT_EQ(point2D::compare(p, q, COMP_STRICT_EQUAL), 1);
    EXPECT_EQ(point2D::compare(p, q, COMP_SAME), 1);
    // Orderings test the difference itself: only a near-zero one lets y decide.
    EXPECT_EQ(point2D::compare(p, q, COMP_LESSER), -1);
    q->data1 += 20;
    EXPECT_EQ(point2D::compare(p, q, COMP_EQUAL), 1);
    *q = a;
    q->data1 = 0x80000000u | (a.data1 & 0);  // -0.0 against +0.0
    p->data1 = 0;
    EXPECT_EQ(point2D::compare(p, q, COMP_EQUAL), 0);
    EXPECT_EQ(point2D::compare(p, q, COMP_SAME), 1);
}

// Each coordinate is the double rounded to the nearest single, ties to even,
// as python's struct module packs a 'f'.
TEST_F(CompoundScalar, PointCoordinatesRoundToSinglesAsStructPacksThem) {
    const std::vector<std::string> texts = {
        "0.1", "0.2", "1.1", "-2.675", "3.14159265358979", "16777217.0", "16777219.0",
        "1.00000005960464477539", "1.00000017881393432617", "123456789.0", "1e-40", "-1e-45",
        "7e-46", "3.4028234e38", "-3.4028235e38", "2.5e-38", "0.333333333333", "65504.0001",
        "1e10", "-0.0",
    };
    std::string list;
    for (const std::string& t : texts) list += t + ",";
    std::string command = "python3 -c \"import struct; print(' '.join(struct.pack('<f', v)"
                          ".hex() for v in [" + list + "]))\"";
    const std::vector<std::string> out = test_support::command_lines(command);
    ASSERT_EQ(out.size(), 1u);
    char line[4096] = {};
    std::snprintf(line, sizeof line, "%s", out[0].c_str());
    std::vector<uint32_t> expected;
    for (char* word = std::strtok(line, " \n"); word; word = std::strtok(nullptr, " \n")) {
        unsigned b[4];
        ASSERT_EQ(std::sscanf(word, "%2x%2x%2x%2x", &b[0], &b[1], &b[2], &b[3]), 4);
        expected.push_back(b[0] | b[1] << 8 | b[2] << 16 | uint32_t(b[3]) << 24);
    }
    ASSERT_EQ(expected.size(), texts.size());
    for (size_t i = 0; i < texts.size(); i++) {
        const std::string& t = texts[i];
        // The token, make from a float!, and a product with 1 all store the single.
        std::string token = "(" + t + ", " + t + ", 0)";
        std::string made = "make point2D! " + t;
        std::string product = "(1, 1) * " + t;
        for (const std::string& code : {token, made, product}) {
            Cell v = value_of(code.c_str());
            EXPECT_EQ(v.data1, expected[i]) << code;
            EXPECT_EQ(v.data2, expected[i]) << code;
        }
    }
}

TEST_F(CompoundScalar, TupleHelpersOfTheNativeSide) {
    const int32_t ints[] = {1, 258, -1, 4};
    Cell* t = tuple::push_from_ints(2, ints);
    EXPECT_EQ(eval_test::mold(*t), "1.2.0");
    t = tuple::push_from_ints(4, ints);
    EXPECT_EQ(eval_test::mold(*t), "1.2.255.4");
    EXPECT_FALSE(tuple::zero_q(t));
    Cell c = make_cell(TYPE_NONE | NEW_LINE_FLAG);
    tuple::init_rgba(&c, 10, 20, 30, -1);
    EXPECT_EQ(eval_test::mold(c), "10.20.30");
    EXPECT_TRUE(c.header & NEW_LINE_FLAG);
    tuple::init_rgba(&c, 10, 20, 30, 128);
    EXPECT_EQ(eval_test::mold(c), "10.20.30.128");
    // Bytes past a cut length are no part of the value.
    Cell z = *tuple::push(3, 0, 0x01000000u, 0);
    EXPECT_TRUE(tuple::zero_q(&z));
    Cell* y = tuple::push(4, 0, 0, 0);
    EXPECT_EQ(tuple::compare(&z, y, COMP_EQUAL), 0);
}

TEST_F(CompoundScalar, TriplesAndHandlesFormAndMold) {
    const struct {
        Cell value;
        bool all;
        const char* formed;
        const char* molded;
    } cases[] = {
        {triple::make_value(0, 0, 0), false, "make triple! [0 0 0]", "make triple! [0 0 0]"},
        {triple::make_value(1, -2, 3), true, "make triple! [1 -2 3]", "make triple! [1 -2 3]"},
        {make_cell(TYPE_HANDLE, handle::WINDOW, 0x00A3F2C0, handle::NO_SLOT), true, "00A3F2C0h",
         "#[handle! 00A3F2C0h window]"},
        {make_cell(TYPE_HANDLE, handle::NO_KIND, 255, handle::NO_SLOT), true, "000000FFh",
         "#[handle! 000000FFh]"},
        {make_cell(TYPE_HANDLE, handle::RICH_TEXT, 0xFFFFFFFF, 3), false, "FFFFFFFFh", "handle!"},
    };
    for (const auto& c : cases) {
        Cell v = c.value;
        for (bool mold : {false, true}) {
            Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
            int left = mold ? actions::mold_direct(&v, buffer, false, c.all, false, nullptr, 500, 0)
                            : actions::form_direct(&v, buffer, nullptr, 500);
            std::string text = test_support::bytes_of(buffer);
            EXPECT_EQ(text, mold ? c.molded : c.formed);
            EXPECT_EQ(left, 500 - int(text.size())) << text;
        }
    }
    Cell a = *handle::push(7, handle::WINDOW);
    Cell b = *handle::push(7, handle::FONT);
    Cell n = integer_cell(7);
    Cell big = *handle::push(0x80000000u, handle::FD);
    EXPECT_EQ(handle::compare(&a, &b, COMP_EQUAL), 0);
    EXPECT_EQ(handle::compare(&a, &n, COMP_EQUAL), 1);
    EXPECT_EQ(handle::compare(&big, &a, COMP_LESSER), -1);  // signed
}

}  // namespace
