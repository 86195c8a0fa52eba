#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/rng.hpp"
#include "core/symbols.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/money.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

using test_support::error_arg;
using test_support::raised;

class Integer : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        rng::init();
    }
};

constexpr int32_t MAX = INT32_MAX;
constexpr int32_t MIN = INT32_MIN;
const Cell k_none = make_cell(TYPE_NONE);

Cell integer(int32_t n) { return integer_cell(n); }
Cell character(uint32_t c) { return make_cell(TYPE_CHAR, 0, c); }
Cell real(double d, uint32_t type = TYPE_FLOAT) {
    Cell c = make_cell(type);
    c.set_double(d);
    return c;
}
Cell datatype(uint32_t type) { return make_cell(TYPE_DATATYPE, type); }

// An integer! or the float! an operation promoted to.
struct Number {
    bool is_float;
    double value;
};
Number I(int32_t n) { return {false, double(n)}; }
Number F(double d) { return {true, d}; }

void expect_number(const Cell& cell, Number expected) {
    if (expected.is_float) {
        ASSERT_TRUE(cell.is(TYPE_FLOAT)) << "type " << cell.type();
        EXPECT_EQ(cell.as_double(), expected.value);
    } else {
        ASSERT_TRUE(cell.is(TYPE_INTEGER)) << "type " << cell.type();
        EXPECT_EQ(cell.as_int(), int32_t(expected.value));
    }
}

// Runs a stack handler on (a, b) in slots 0 and 1; answers slot 0.
Cell run_binary(void (*op)(), Cell a, Cell b) {
    stack::reset();
    stack::push(&a);
    stack::push(&b);
    op();
    return *stack::argument(0);
}

using StackFn = void (*)();
constexpr StackFn HANDLER_OF_OP[] = {&integer::add,       &integer::subtract, &integer::multiply,
                                     &integer::divide,    &integer::remainder, &integer::or_,
                                     &integer::and_,      &integer::xor_};

std::string text_of(Cell* str) {
    std::string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++) out += char(string::char_at(str, i));
    return out;
}

// Forms or molds a copy of the value; answers the text and checks the budget.
std::string formed(Cell value, bool mold) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    int left = mold ? actions::mold_direct(&value, buffer, false, true, false, nullptr, 1000, 0)
                    : actions::form_direct(&value, buffer, nullptr, 1000);
    std::string text = text_of(buffer);
    EXPECT_EQ(left, 1000 - int(text.size())) << text;
    stack::pop(1);
    return text;
}

Cell binary(std::vector<uint8_t> bytes, uint32_t head = 0) {
    NodeId node = memory::alloc_bytes(uint32_t(bytes.size()));
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (!bytes.empty()) std::memcpy(b->tail_ptr(), bytes.data(), bytes.size());
    b->tail += uint32_t(bytes.size());
    return make_cell(TYPE_BINARY, head, node, 0);
}

Cell issue(const char* name) {
    Cell c;
    issue::init_from_cstring(&c, name);
    return c;
}

// A date! cell; time is the local time of day in seconds, zone in hours.
Cell date(int32_t year, uint32_t month, uint32_t day, std::optional<double> time = {},
          int zone_hours = 0) {
    uint32_t packed = uint32_t(year) << 17 | month << 12 | day << 7;
    if (time) packed |= 1u << 16 | uint32_t(zone_hours < 0 ? 0x40 : 0) |
                        uint32_t(std::abs(zone_hours)) << 2;
    Cell c = make_cell(TYPE_DATE, packed);
    c.set_double(time ? *time - zone_hours * 3600.0 : 0.0);
    return c;
}

// ---------------------------------------------------------------------------

TEST_F(Integer, ArithmeticPromotesOverflowToFloat) {
    const struct {
        int op;
        int32_t a, b;
        Number expected;
    } cases[] = {
        {MATH_ADD, MAX, 1, F(2147483648.0)},
        {MATH_ADD, MIN, -1, F(-2147483649.0)},
        {MATH_ADD, MIN, MAX, I(-1)},
        {MATH_ADD, MAX, MAX, F(4294967294.0)},
        {MATH_SUBTRACT, MIN, 1, F(-2147483649.0)},
        {MATH_SUBTRACT, 0, MIN, F(2147483648.0)},
        {MATH_SUBTRACT, -1, MIN, I(MAX)},
        {MATH_SUBTRACT, MAX, -1, F(2147483648.0)},
        {MATH_MULTIPLY, 65536, 65536, F(4294967296.0)},
        {MATH_MULTIPLY, MIN, -1, F(2147483648.0)},
        {MATH_MULTIPLY, MIN, 1, I(MIN)},
        {MATH_MULTIPLY, -65536, 32768, I(MIN)},
        {MATH_MULTIPLY, MAX, MAX, F(4611686014132420609.0)},  // the nearest double
        {MATH_MULTIPLY, -7, 6, I(-42)},
        {MATH_DIVIDE, 7, 2, F(3.5)},
        {MATH_DIVIDE, -7, 2, F(-3.5)},
        {MATH_DIVIDE, 8, 2, I(4)},
        {MATH_DIVIDE, MIN, 1, I(MIN)},
        {MATH_DIVIDE, MIN, 2, I(-1073741824)},
        {MATH_DIVIDE, 1, 3, F(1.0 / 3.0)},
        {MATH_REMAINDER, -7, 2, I(-1)},
        {MATH_REMAINDER, 7, -2, I(1)},
        {MATH_REMAINDER, MIN, MAX, I(-1)},
        {MATH_REMAINDER, MIN, 1, I(0)},
        {MATH_OR, 0x0F, 0x30, I(0x3F)},
        {MATH_AND, -1, 0x55, I(0x55)},
        {MATH_XOR, MIN, -1, I(MAX)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "op " << c.op << " " << c.a << ", " << c.b);
        expect_number(run_binary(HANDLER_OF_OP[c.op], integer(c.a), integer(c.b)), c.expected);
        stack::reset();
        stack::push(&k_none);
        *stack::argument(0) = integer(c.a);
        Cell b = integer(c.b);
        stack::push(&b);
        integer::math_op(c.op);  // the same through the shared entry
        expect_number(*stack::argument(0), c.expected);
    }
}

TEST_F(Integer, ArithmeticTakesACharAsItsCode) {
    expect_number(run_binary(&integer::add, integer(1), character('a')), I(98));
    expect_number(run_binary(&integer::divide, integer(97), character('a')), I(1));
}

TEST_F(Integer, ArithmeticKeepsTheResultFlags) {
    Cell a = integer(MAX);
    a.header |= NEW_LINE_FLAG;
    Cell sum = run_binary(&integer::add, a, integer(1));
    EXPECT_TRUE(sum.is(TYPE_FLOAT));
    EXPECT_TRUE(sum.header & NEW_LINE_FLAG);
}

TEST_F(Integer, DivideAndRemainderErrors) {
    const struct {
        StackFn op;
        int32_t a, b;
        ErrorId error;
    } cases[] = {
        {&integer::divide, 1, 0, ErrorId::math_zero_divide},
        {&integer::remainder, 1, 0, ErrorId::math_zero_divide},
        {&integer::divide, MIN, 0, ErrorId::math_zero_divide},
        {&integer::divide, MIN, -1, ErrorId::math_overflow},
        {&integer::remainder, MIN, -1, ErrorId::math_overflow},
    };
    for (const auto& c : cases)
        EXPECT_EQ(raised([&] { run_binary(c.op, integer(c.a), integer(c.b)); }), c.error)
            << c.a << " " << c.b;
}

TEST_F(Integer, DoMathWithoutAResultCell) {
    EXPECT_EQ(integer::do_math(-7, 2, MATH_DIVIDE, nullptr), -3);  // truncates
    EXPECT_EQ(integer::do_math(7, 2, MATH_DIVIDE, nullptr), 3);
    EXPECT_EQ(integer::do_math(MAX, 1, MATH_ADD, nullptr), MIN);  // wraps modulo 2^32
    EXPECT_EQ(integer::do_math(MIN, 1, MATH_SUBTRACT, nullptr), MAX);
    EXPECT_EQ(integer::do_math(65536, 65537, MATH_MULTIPLY, nullptr), 65536);
    EXPECT_EQ(raised([] { integer::do_math(5, 0, MATH_REMAINDER, nullptr); }),
              ErrorId::math_zero_divide);

    // A result cell of another type gets word 2 only while the result stays an integer.
    Cell status = make_cell(TYPE_UNSET);
    EXPECT_EQ(integer::do_math(6, 3, MATH_DIVIDE, &status), 2);
    EXPECT_TRUE(status.is(TYPE_UNSET));
    EXPECT_EQ(status.data2, 2u);
    EXPECT_EQ(integer::do_math(MAX, 2, MATH_MULTIPLY, &status), 0);
    EXPECT_TRUE(status.is(TYPE_FLOAT));
    EXPECT_EQ(status.as_double(), 4294967294.0);
}

TEST_F(Integer, AnUnknownOperationCodeStopsTheRuntime) {
    EXPECT_EXIT(integer::do_math(1, 1, 8, nullptr), ::testing::ExitedWithCode(101), "");
    EXPECT_EXIT(
        {
            stack::reset();
            stack::push(&k_none);
            Cell b = real(1.0);
            stack::push(&b);
            integer::math_op(-1);
        },
        ::testing::ExitedWithCode(101), "");
}

TEST_F(Integer, NegateAbsoluteComplementParity) {
    Cell n = integer(5);
    integer::negate(&n);
    EXPECT_EQ(n.as_int(), -5);
    n = integer(MAX);
    integer::negate(&n);
    EXPECT_EQ(n.as_int(), -MAX);
    n = integer(MIN);
    EXPECT_EQ(raised([&] { integer::negate(&n); }), ErrorId::math_overflow);

    EXPECT_EQ(run_binary(&integer::absolute, integer(-MAX), k_none).as_int(), MAX);
    EXPECT_EQ(run_binary(&integer::absolute, integer(0), k_none).as_int(), 0);
    EXPECT_EQ(raised([] { run_binary(&integer::absolute, integer(MIN), k_none); }),
              ErrorId::math_overflow);
    EXPECT_EQ(raised([] { integer::abs_checked(MIN); }), ErrorId::math_overflow);

    Cell c = integer(0);
    EXPECT_EQ(integer::complement(&c), &c);
    EXPECT_EQ(c.as_int(), -1);
    c = integer(MIN);
    integer::complement(&c);
    EXPECT_EQ(c.as_int(), MAX);

    for (int32_t v : {0, 2, -2, MIN, 7, -7, MAX}) {
        Cell x = integer(v);
        EXPECT_EQ(integer::even_q(&x), v % 2 == 0) << v;
        EXPECT_EQ(integer::odd_q(&x), v % 2 != 0) << v;
    }
}

TEST_F(Integer, Power) {
    const struct {
        int32_t base;
        Cell exponent;
        Number expected;
    } cases[] = {
        {2, integer(30), I(1073741824)},
        {2, integer(31), F(2147483648.0)},
        {-2, integer(31), I(MIN)},  // the last product fits; no square follows it
        {5, integer(0), I(1)},
        {0, integer(0), I(1)},
        {-1, integer(MAX), I(-1)},
        {46341, integer(2), F(2147488281.0)},
        {3, integer(20), F(3486784401.0)},
        {10, integer(9), I(1000000000)},
        {2, integer(-1), F(0.5)},
        {0, integer(-1), F(INFINITY)},
        {4, real(0.5), F(2.0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.base << " ** " << c.exponent.type());
        expect_number(run_binary(&integer::power, integer(c.base), c.exponent), c.expected);
    }
    int32_t r = 0;
    EXPECT_TRUE(integer::int_power(7, 3, &r));
    EXPECT_EQ(r, 343);
    EXPECT_FALSE(integer::int_power(MIN, 2, &r));

    Cell error{};
    EXPECT_EQ(raised([] { run_binary(&integer::power, integer(2), real(0.5, TYPE_PERCENT)); },
                     &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_PERCENT));
}

TEST_F(Integer, RoundWithEveryRefinement) {
    enum : unsigned { EVEN = 1, DOWN = 2, HALF_DOWN = 4, FLOOR = 8, CEILING = 16, HALF_CEIL = 32 };
    constexpr int32_t NO_SCALE = 0x7FFFFFF0;  // no /to
    const struct {
        int32_t n, scale;
        unsigned flags;
        int32_t expected;
    } cases[] = {
        {17, 5, 0, 15},          {18, 5, 0, 20},           {15, 10, 0, 20},
        {-15, 10, 0, -20},       {15, 10, EVEN, 20},       {25, 10, EVEN, 20},
        {-25, 10, EVEN, -20},    {-35, 10, EVEN, -40},     {15, 10, HALF_DOWN, 10},
        {-15, 10, HALF_DOWN, -10}, {15, 10, HALF_CEIL, 20}, {-15, 10, HALF_CEIL, -10},
        {-14, 10, HALF_CEIL, -10}, {-16, 10, HALF_CEIL, -20}, {-12, 5, FLOOR, -15},
        {12, 5, FLOOR, 10},      {-12, 5, CEILING, -10},   {12, 5, CEILING, 15},
        {17, 5, DOWN, 15},       {-17, 5, DOWN, -15},      {-12, 5, DOWN | FLOOR, -10},
        {12, 5, FLOOR | CEILING, 10}, {16, 10, EVEN, 20},  {14, 10, HALF_DOWN, 10},
        {17, -5, 0, 15},         {17, 0, 0, 17},           {17, 1, 0, 17},
        {20, 5, CEILING, 20},    {0, 7, CEILING, 0},       {17, NO_SCALE, HALF_CEIL, 17},
        {MIN, 10, 0, MIN},       {MIN, 3, FLOOR, MIN},     {MAX, MAX, 0, MAX},
        {MAX, 10, FLOOR, 2147483640},  // the floor fits, so nothing overflows
        {MAX, 10, DOWN, 2147483640},
        {-MAX, 2, 0, MIN},              // -2147483648 fits as well
        {-MAX, 10, CEILING, -2147483640},
        {MAX - 1, MAX, 0, MAX},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.n << " to " << c.scale << " flags " << c.flags);
        Cell value = integer(c.n), scale = integer(c.scale);
        integer::round(&value, c.scale == NO_SCALE ? nullptr : &scale, c.flags & EVEN,
                       c.flags & DOWN, c.flags & HALF_DOWN, c.flags & FLOOR, c.flags & CEILING,
                       c.flags & HALF_CEIL);
        ASSERT_TRUE(value.is(TYPE_INTEGER));
        EXPECT_EQ(value.as_int(), c.expected);
    }

    const struct {
        int32_t n, scale;
        unsigned flags;
    } overflows[] = {
        {MAX, 10, 0}, {MAX, 10, CEILING}, {-MAX, 10, FLOOR}, {MAX, 2, EVEN},
        {2147483645, 10, HALF_CEIL}, {17, MIN, 0},
    };
    for (const auto& c : overflows) {
        Cell value = integer(c.n), scale = integer(c.scale);
        EXPECT_EQ(raised([&] {
                      integer::round(&value, &scale, c.flags & EVEN, c.flags & DOWN,
                                     c.flags & HALF_DOWN, c.flags & FLOOR, c.flags & CEILING,
                                     c.flags & HALF_CEIL);
                  }),
                  ErrorId::math_overflow)
            << c.n << " to " << c.scale;
    }

    Cell value = integer(17), money = make_cell(TYPE_MONEY);
    Cell error{};
    EXPECT_EQ(raised([&] { integer::round(&value, &money, false, false, false, false, false,
                                          false); },
                     &error),
              ErrorId::script_not_related);
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_MONEY));
}

TEST_F(Integer, MakeAndTo) {
    using test_support::keep;  // the series specs outlive the allocations that follow
    struct Case {
        Cell spec;
        std::optional<int32_t> expected;
        ErrorId error = ErrorId::count_;
    };
    const ErrorId LIMIT = ErrorId::script_type_limit;
    const Case cases[] = {
        {integer(-5), -5},
        {character(0x10FFFF), 0x10FFFF},
        {real(3.7), 3},
        {real(-3.7), -3},
        {real(2147483647.0), MAX},
        {real(-2147483648.0), MIN},
        {real(2147483647.5), {}, LIMIT},
        {real(-2147483648.5), {}, LIMIT},
        {real(NAN), {}, LIMIT},
        {real(INFINITY), {}, LIMIT},
        {real(0.5, TYPE_PERCENT), 0},
        {real(-123.9, TYPE_PERCENT), -123},
        {real(1.5, TYPE_TIME), 2},
        {real(1.4, TYPE_TIME), 1},
        {real(-1.0, TYPE_TIME), -1},  // rounded, never pulled toward zero
        {real(-1.7, TYPE_TIME), -2},
        {real(3e9, TYPE_TIME), {}, LIMIT},
        {real(NAN, TYPE_TIME), {}, LIMIT},
        {date(1970, 1, 1), 0},
        {date(1970, 1, 2), 86400},
        {date(2024, 3, 15, 37800.0), 1710498600},
        {date(2024, 3, 15, 37800.0, 5), 1710480600},
        {date(1970, 1, 1, 3600.0, 5), -14400},  // a negative stored time
        {date(1969, 12, 31, 86399.0), -1},
        {date(1969, 12, 31, 86399.6), 0},
        {date(2038, 1, 19, 11647.0), MAX},
        {date(1901, 12, 13, 74752.0), MIN},
        {date(2038, 1, 19, 11648.0), {}, LIMIT},
        {date(-200, 1, 1), {}, LIMIT},
        {issue("FF"), 255},
        {issue("7fffFFFF"), MAX},
        {issue("FFFFFFFF"), -1},
        {issue("0"), 0},
        {issue("123456789"), {}, ErrorId::script_invalid_data},
        {issue("G1"), {}, ErrorId::script_invalid_data},
        {keep(binary({0xFF})), 255},
        {keep(binary({0x01, 0x02})), 258},
        {keep(binary({0x01, 0x02, 0x03, 0x04, 0xFF})), 16909060},
        {keep(binary({0xFF, 0xFF, 0xFF, 0xFF})), -1},
        {keep(binary({0x01, 0x02, 0x03}, 1)), 0x0203},
        {keep(binary({0x01}, 5)), 0},
        {keep(binary({})), 0},
        {make_cell(TYPE_LOGIC, 1), {}, ErrorId::script_bad_to_arg},
        {make_cell(TYPE_PAIR, 1, 2), {}, ErrorId::script_bad_to_arg},
        {k_none, {}, ErrorId::script_bad_to_arg},
    };
    Cell proto = datatype(TYPE_INTEGER);
    auto to = registry::handler<A_TO>(TYPE_INTEGER);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "spec type " << c.spec.type() << " word 2 "
                                        << c.spec.data2);
        Cell spec = c.spec;
        if (c.expected) {
            Cell* result = to(&proto, &spec, TYPE_INTEGER);
            EXPECT_EQ(result, stack::top());
            ASSERT_TRUE(result->is(TYPE_INTEGER));
            EXPECT_EQ(result->as_int(), *c.expected);
        } else {
            Cell error{};
            EXPECT_EQ(raised([&] { to(&proto, &spec, TYPE_INTEGER); }, &error), c.error);
            if (c.error == LIMIT || c.error == ErrorId::script_bad_to_arg) {
                EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_INTEGER));
            }
            if (c.error == ErrorId::script_bad_to_arg) {
                EXPECT_EQ(error_arg(error, 1).type(), c.spec.type());
            }
        }
    }

    // make differs from to only for logic!.
    auto make = registry::handler<A_MAKE>(TYPE_INTEGER);
    Cell yes = make_cell(TYPE_LOGIC, 1), no = make_cell(TYPE_LOGIC, 0), f = real(-2.9);
    EXPECT_EQ(make(&proto, &yes, TYPE_INTEGER)->as_int(), 1);
    EXPECT_EQ(make(&proto, &no, TYPE_INTEGER)->as_int(), 0);
    EXPECT_EQ(make(&proto, &f, TYPE_INTEGER)->as_int(), -2);
}

TEST_F(Integer, ConversionsFromGroupedTextAndMoney) {
    Cell proto = datatype(TYPE_INTEGER);
    Cell* text = string::load_c_text("1'000", 5, 0);
    EXPECT_EQ(integer::to(&proto, text, TYPE_INTEGER)->as_int(), 1000);
    Cell money = *money::push_from_float(-3.99, true);
    EXPECT_EQ(integer::to(&proto, &money, TYPE_INTEGER)->as_int(), -3);
}

TEST_F(Integer, FormAndMold) {
    const struct {
        int32_t n;
        const char* text;
    } cases[] = {
        {0, "0"}, {7, "7"}, {-5, "-5"}, {1000000, "1000000"},
        {MAX, "2147483647"}, {MIN, "-2147483648"}, {MIN + 1, "-2147483647"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formed(integer(c.n), false), c.text);
        EXPECT_EQ(formed(integer(c.n), true), c.text);
        EXPECT_STREQ(integer::form_decimal(c.n), c.text);
    }
}

TEST_F(Integer, Compare) {
    constexpr int U = COMPARE_UNCOMPARABLE;
    Cell text = *string::load_c_text("1", 1, 0);
    const struct {
        Cell a, b;
        int op, expected;
    } cases[] = {
        {integer(1), integer(1), COMP_EQUAL, 0},
        {integer(MIN), integer(MAX), COMP_LESSER, -1},
        {integer(MAX), integer(MIN), COMP_SORT, 1},
        {integer(-1), integer(0), COMP_STRICT_EQUAL, -1},
        {integer(97), character('a'), COMP_EQUAL, 0},
        {integer(98), character('a'), COMP_GREATER, 1},
        {integer(97), character('a'), COMP_STRICT_EQUAL, 1},
        {integer(97), character('a'), COMP_FIND, 1},
        {integer(1), real(1.0), COMP_STRICT_EQUAL, 1},
        {integer(1), text, COMP_EQUAL, U},
        {integer(1), text, COMP_STRICT_EQUAL, 1},
        {integer(1), k_none, COMP_LESSER, U},
    };
    for (auto c : cases)
        EXPECT_EQ(integer::compare(&c.a, &c.b, c.op), c.expected)
            << c.a.as_int() << " type " << c.b.type() << " op " << c.op;
    Cell a = integer(1), b = integer(2);
    EXPECT_TRUE(actions::compare(&a, &b, COMP_LESSER));
    EXPECT_FALSE(actions::compare(&a, &b, COMP_EQUAL));
}

TEST_F(Integer, Random) {
    for (int32_t n : {1, 6, -6, MAX, MIN}) {
        for (bool secure : {false, true}) {
            for (int i = 0; i < 200; i++) {
                Cell v = integer(n);
                integer::random(&v, false, secure, false);
                ASSERT_TRUE(v.is(TYPE_INTEGER));
                bool in_range = n > 0 ? v.as_int() >= 1 && v.as_int() <= n
                                      : v.as_int() <= -1 && v.as_int() >= n;
                EXPECT_TRUE(in_range) << n << " gave " << v.as_int();
            }
        }
    }
    Cell zero = integer(0);
    integer::random(&zero, false, false, false);
    EXPECT_EQ(zero.as_int(), 0);

    auto draws = [] {
        Cell seed = integer(42);
        integer::random(&seed, true, false, false);
        EXPECT_TRUE(seed.is(TYPE_UNSET));
        std::vector<int32_t> out;
        for (int i = 0; i < 16; i++) {
            Cell v = integer(1000);
            integer::random(&v, false, false, false);
            out.push_back(v.as_int());
        }
        return out;
    };
    EXPECT_EQ(draws(), draws());
}

TEST_F(Integer, MakersAndReaders) {
    Cell* pushed = integer::push(-9);
    EXPECT_EQ(pushed, stack::top());
    EXPECT_EQ(integer::get(pushed), -9);

    stack::reset();
    Cell s = make_cell(TYPE_STRING, 1, 2, 3);
    stack::push(&s);
    EXPECT_EQ(integer::get_result_or_zero(), 0);
    integer::set_result(12);
    EXPECT_TRUE(stack::argument(0)->is(TYPE_INTEGER));
    EXPECT_EQ(integer::get_result(), 12);
    EXPECT_EQ(integer::get_result_or_zero(), 12);

    Cell flagged = make_cell(TYPE_NONE | NEW_LINE_FLAG, 5, 6, 7);
    integer::init_cell(&flagged, MIN);
    EXPECT_EQ(flagged.header, uint32_t(TYPE_INTEGER) | NEW_LINE_FLAG);
    EXPECT_EQ(flagged.as_int(), MIN);

    EXPECT_EQ(integer::sign(MIN), -1);
    EXPECT_EQ(integer::sign(0), 0);
    EXPECT_EQ(integer::sign(MAX), 1);

    for (auto [d, out] : std::initializer_list<std::pair<double, bool>>{
             {2147483647.0, false}, {2147483647.5, true}, {-2147483648.0, false},
             {-2147483648.5, true}, {NAN, true}, {-INFINITY, true}, {0.0, false}}) {
        Cell f = real(d);
        EXPECT_EQ(integer::out_of_range_q(&f), out) << d;
    }
}

// ---------------------------------------------------------------------------
// Operands of other types go to their own arithmetic. Stubs stand in for the
// other types' handlers and record how they were called.

struct Call {
    int slot = 0;
    uint32_t type = 0;
    Cell arg0{}, arg1{};
};
std::vector<Call> g_calls;

template <int S, uint32_t T> void stack_stub() {
    g_calls.push_back({S, T, *stack::argument(0), *stack::argument(1)});
}
template <uint32_t T> void negate_stub(Cell* value) {
    g_calls.push_back({A_NEGATE, T, *value, {}});
    value->data1 = ~value->data1;
}
int compare_stub(Cell* a, Cell* b, int op) {
    g_calls.push_back({A_COMPARE, TYPE_FLOAT, *a, *b});
    return op;
}
void round_stub(Cell* n, Cell* scale, bool, bool down, bool, bool, bool, bool) {
    g_calls.push_back({A_ROUND, TYPE_FLOAT, *n, *scale});
    EXPECT_TRUE(down);
}

constexpr int SLOT_OF_OP[] = {A_ADD, A_SUBTRACT, A_MULTIPLY, A_DIVIDE, A_REMAINDER, A_OR, A_AND, A_XOR};

template <uint32_t T> void install_math_stubs() {
    auto set = [](int slot, AnyHandler fn) {
        registry::g_action_table[T * registry::ROW + slot - 1] = fn;
    };
    set(A_ADD, &stack_stub<A_ADD, T>);
    set(A_SUBTRACT, &stack_stub<A_SUBTRACT, T>);
    set(A_MULTIPLY, &stack_stub<A_MULTIPLY, T>);
    set(A_DIVIDE, &stack_stub<A_DIVIDE, T>);
    set(A_REMAINDER, &stack_stub<A_REMAINDER, T>);
    set(A_OR, &stack_stub<A_OR, T>);
    set(A_AND, &stack_stub<A_AND, T>);
    set(A_XOR, &stack_stub<A_XOR, T>);
    set(A_NEGATE, reinterpret_cast<AnyHandler>(&negate_stub<T>));
}

class IntegerDispatch : public Integer {
protected:
    void SetUp() override {
        Integer::SetUp();
        g_calls.clear();
        install_math_stubs<TYPE_FLOAT>();
        install_math_stubs<TYPE_MONEY>();
        install_math_stubs<TYPE_PAIR>();
        install_math_stubs<TYPE_TUPLE>();
        install_math_stubs<TYPE_DATE>();
        registry::g_action_table[TYPE_FLOAT * registry::ROW + A_COMPARE - 1] =
            reinterpret_cast<AnyHandler>(&compare_stub);
        registry::g_action_table[TYPE_FLOAT * registry::ROW + A_ROUND - 1] =
            reinterpret_cast<AnyHandler>(&round_stub);
    }
};

TEST_F(IntegerDispatch, FloatLikeAndMoneyOperandsKeepTheirOrder) {
    for (uint32_t type : {TYPE_FLOAT, TYPE_PERCENT, TYPE_TIME, TYPE_MONEY}) {
        uint32_t handler_type = type == TYPE_MONEY ? TYPE_MONEY : TYPE_FLOAT;
        for (int op = MATH_ADD; op <= MATH_REMAINDER; op++) {
            SCOPED_TRACE(testing::Message() << "type " << type << " op " << op);
            g_calls.clear();
            run_binary(HANDLER_OF_OP[op], integer(7), real(2.5, type));
            ASSERT_EQ(g_calls.size(), 1u);
            EXPECT_EQ(g_calls[0].slot, SLOT_OF_OP[op]);
            EXPECT_EQ(g_calls[0].type, handler_type);
            EXPECT_EQ(g_calls[0].arg0.as_int(), 7);
            EXPECT_TRUE(g_calls[0].arg1.is(type));
        }
        for (int op = MATH_OR; op <= MATH_XOR; op++) {
            Cell error{};
            EXPECT_EQ(raised([&] { run_binary(HANDLER_OF_OP[op], integer(7), real(2.5, type)); },
                             &error),
                      ErrorId::script_invalid_type);
            EXPECT_EQ(error_arg(error, 0).data1, type);
        }
    }
}

TEST_F(IntegerDispatch, CompoundOperandsGoFirst) {
    Cell pair = make_cell(TYPE_PAIR, 3, 4);
    // subtract: n - p = -p + n
    run_binary(&integer::subtract, integer(10), pair);
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].slot, A_NEGATE);
    EXPECT_EQ(g_calls[0].arg0.data1, 3u);
    EXPECT_EQ(g_calls[1].slot, A_ADD);
    EXPECT_EQ(g_calls[1].arg0.data1, ~3u);
    EXPECT_EQ(g_calls[1].arg1.as_int(), 10);

    const struct {
        Cell other;
        int op;
        int slot;  // 0: script not-related
    } cases[] = {
        {pair, MATH_ADD, A_ADD},
        {pair, MATH_MULTIPLY, A_MULTIPLY},
        {pair, MATH_XOR, A_XOR},
        {pair, MATH_DIVIDE, 0},
        {pair, MATH_REMAINDER, 0},
        {make_cell(TYPE_TUPLE, 0, 1), MATH_ADD, A_ADD},
        {make_cell(TYPE_TUPLE, 0, 1), MATH_AND, A_AND},
        {make_cell(TYPE_TUPLE, 0, 1), MATH_SUBTRACT, 0},
        {make_cell(TYPE_TUPLE, 0, 1), MATH_DIVIDE, 0},
        {make_cell(TYPE_TUPLE, 0, 1), MATH_REMAINDER, 0},
        {make_cell(TYPE_DATE, 1), MATH_ADD, A_ADD},
        {make_cell(TYPE_DATE, 1), MATH_SUBTRACT, 0},
        {make_cell(TYPE_DATE, 1), MATH_MULTIPLY, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.other.type() << " op " << c.op);
        g_calls.clear();
        if (c.slot) {
            run_binary(HANDLER_OF_OP[c.op], integer(10), c.other);
            ASSERT_EQ(g_calls.size(), 1u);
            EXPECT_EQ(g_calls[0].slot, c.slot);
            EXPECT_EQ(g_calls[0].type, c.other.type());
            EXPECT_TRUE(g_calls[0].arg0.is(c.other.type()));
            EXPECT_EQ(g_calls[0].arg1.as_int(), 10);
        } else {
            Cell error{};
            EXPECT_EQ(raised([&] { run_binary(HANDLER_OF_OP[c.op], integer(10), c.other); },
                             &error),
                      ErrorId::script_not_related);
            EXPECT_TRUE(error_arg(error, 0).is(TYPE_WORD));
            EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_INTEGER));
            EXPECT_TRUE(g_calls.empty());
        }
    }
}

TEST_F(IntegerDispatch, UnsupportedOperands) {
    Cell text = *string::load_c_text("x", 1, 0);
    Cell error{};
    EXPECT_EQ(raised([&] { run_binary(&integer::add, integer(1), text); }, &error),
              ErrorId::script_invalid_type);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_STRING));
    // A type without the operation's slot.
    registry::g_action_table[TYPE_PAIR * registry::ROW + A_XOR - 1] = nullptr;
    EXPECT_EQ(raised([] { run_binary(&integer::xor_, integer(1), make_cell(TYPE_PAIR)); }),
              ErrorId::script_invalid_type);
}

TEST_F(IntegerDispatch, FloatComparisonAndRoundingGetAFloatCopy) {
    Cell a = integer(-3), b = real(1.5, TYPE_TIME);
    EXPECT_EQ(integer::compare(&a, &b, COMP_LESSER), COMP_LESSER);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_TRUE(g_calls[0].arg0.is(TYPE_FLOAT));
    EXPECT_EQ(g_calls[0].arg0.as_double(), -3.0);
    EXPECT_TRUE(g_calls[0].arg1.is(TYPE_TIME));
    EXPECT_EQ(a.as_int(), -3);  // the value itself is left alone

    g_calls.clear();
    Cell value = integer(17), scale = real(0.5);
    integer::round(&value, &scale, false, true, false, false, false, false);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_TRUE(g_calls[0].arg0.is(TYPE_FLOAT));
    EXPECT_EQ(g_calls[0].arg0.as_double(), 17.0);
}

}  // namespace
