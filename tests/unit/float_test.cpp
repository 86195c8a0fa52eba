#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/rng.hpp"
#include "core/symbols.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/money.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

using test_support::error_arg;
using test_support::raised;

class Float : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        symbols::init();
        rng::init();
        float_::g_pretty = true;
    }
    void TearDown() override { float_::g_pretty = true; }
};

const double INF = std::numeric_limits<double>::infinity();
const double NaN = std::bit_cast<double>(float_::QUIET_NAN_BITS);
const Cell k_none = make_cell(TYPE_NONE);

uint64_t bits_of(double d) { return std::bit_cast<uint64_t>(d); }
// n units in the last place further from zero.
double ulps(double d, int n) { return std::bit_cast<double>(bits_of(d) + uint64_t(n)); }
Cell real(double d, uint32_t type = TYPE_FLOAT) { return float_::make_value(d, type); }
Cell integer(int32_t n) { return integer_cell(n); }
Cell character(uint32_t c) { return make_cell(TYPE_CHAR, 0, c); }
Cell datatype(uint32_t type) { return make_cell(TYPE_DATATYPE, type); }

// The same double and type, NaN matching NaN.
void expect_value(const Cell& cell, uint32_t type, double value) {
    EXPECT_EQ(cell.type(), type);
    if (std::isnan(value)) EXPECT_TRUE(std::isnan(cell.as_double())) << cell.as_double();
    else EXPECT_EQ(bits_of(cell.as_double()), bits_of(value)) << cell.as_double() << " / " << value;
}

// Runs a stack handler on (a, b) in slots 0 and 1; answers slot 0.
Cell run_binary(void (*op)(), Cell a, Cell b) {
    stack::reset();
    stack::push(&a);
    stack::push(&b);
    op();
    return *stack::argument(0);
}

std::string text_of(Cell* str) {
    std::string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++) out += char(string::char_at(str, string::head_index(str) + i));
    return out;
}

// Forms or molds a copy of the value; answers the text and checks the budget.
std::string formed(Cell value, bool mold) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    int left = mold ? actions::mold_direct(&value, buffer, false, false, false, nullptr, 1000, 0)
                    : actions::form_direct(&value, buffer, nullptr, 1000);
    std::string text = text_of(buffer);
    EXPECT_EQ(left, 1000 - int(text.size())) << text;
    stack::pop(1);
    return text;
}

Cell text_value(const std::string& text) {
    return *string::load_c_text(text.data(), uint32_t(text.size()), 0);
}

Cell block_of(std::vector<Cell> cells) {
    Cell* b = block::push_new(int32_t(cells.size()));
    for (const Cell& c : cells) block::append_cell(b, &c);
    return *b;
}

Cell binary(std::vector<uint8_t> bytes) {
    NodeId node = memory::alloc_bytes(uint32_t(bytes.size()));
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (!bytes.empty()) std::memcpy(b->tail_ptr(), bytes.data(), bytes.size());
    b->tail += uint32_t(bytes.size());
    return make_cell(TYPE_BINARY, 0, node, 0);
}

// ---------------------------------------------------------------------------
// Text

TEST_F(Float, FormFollowsThePrettyRules) {
    const struct {
        double value;
        bool pretty;
        const char* text;
    } cases[] = {
        {1.0, true, "1.0"},
        {1e20, true, "1.0e20"},
        {1.5e-7, true, "1.5e-7"},
        {-0.0, true, "0.0"},
        {-0.0, false, "-0.0"},
        {0.0, false, "0.0"},
        {1e-17, true, "0.0"},
        {1e-17, false, "1.0e-17"},
        {434.99999999999994, true, "435.0"},  // "%.16g" ends in two nines
        {434.99999999999994, false, "434.9999999999999"},
        {-434.99999999999994, true, "-435.0"},
        {0.1 + 0.2, true, "0.3"},
        {0.1 + 0.7, true, "0.8"},  // 0.7999999999999999: 18 characters from a '0'
        {0.1 + 0.7, false, "0.7999999999999999"},
        {1.000000000000001, true, "1.0"},  // ends in "01"
        {1.000000000000001, false, "1.000000000000001"},
        {1e16, true, "1.0e16"},
        {1234567890123456.0, true, "1234567890123456.0"},
        {0.0001, true, "0.0001"},
        {0.00001, true, "1.0e-5"},
        {-2.5, true, "-2.5"},
        {1.7976931348623157e308, true, "1.797693134862316e308"},
        {INF, true, "1.#INF"},
        {-INF, true, "-1.#INF"},
        {NaN, true, "1.#NaN"},
        {-NaN, false, "1.#NaN"},
    };
    for (const auto& c : cases) {
        float_::g_pretty = c.pretty;
        EXPECT_EQ(formed(real(c.value), false), c.text) << c.value << " pretty " << c.pretty;
    }
}

TEST_F(Float, FormTextKinds) {
    const struct {
        double value;
        int kind;
        const char* text;
    } cases[] = {
        {1.0 / 3.0, float_::TEXT_SINGLE, "0.3333333"},
        {2.0, float_::TEXT_SINGLE, "2.0"},
        {1e-20, float_::TEXT_SINGLE, "0.0"},
        {50.0, float_::TEXT_SINGLE_PERCENT, "50%"},
        {1e-20, float_::TEXT_SINGLE_PERCENT, "0%"},
        {100.0 / 3.0, float_::TEXT_PERCENT, "33.33333333333%"},
        {1e22, float_::TEXT_PERCENT, "1e22%"},
        {1.5, float_::TEXT_TIME, "1.5"},
        {59.9999999, float_::TEXT_TIME, "60"},
        {12.25, float_::TEXT_TIME, "12.25"},
        {1e-17, float_::TEXT_TIME, "0.0"},
        {1.5, float_::TEXT_POINT, "1.5"},
        {2.0, float_::TEXT_POINT, "2"},
        {0.0, float_::TEXT_POINT, "0"},
        {1e10, float_::TEXT_POINT, "1e10"},
        {INF, float_::TEXT_PERCENT, "1.#INF"},
        {-INF, float_::TEXT_POINT, "-1.#INF"},
        {NaN, float_::TEXT_SINGLE_PERCENT, "1.#NaN"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(float_::form_text(c.value, c.kind), c.text) << c.value << " kind " << c.kind;
}

TEST_F(Float, MoldWritesTheShortestRoundTripText) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0.1 + 0.2, "0.30000000000000004"},
        {434.99999999999994, "434.99999999999994"},
        {1.0, "1.0"},
        {1e17, "1.0e17"},
        {1e16, "10000000000000000.0"},
        {-0.0, "-0.0"},
        {1e-17, "1.0e-17"},
        {5e-324, "5.0e-324"},
        {NaN, "1.#NaN"},
        {-INF, "-1.#INF"},
    };
    for (const auto& c : cases) EXPECT_EQ(formed(real(c.value), true), c.text) << c.text;
}

// ---------------------------------------------------------------------------
// make and to

TEST_F(Float, MakeAndToFromEveryAcceptedType) {
    using test_support::keep;  // the series specs outlive the allocations that follow
    const struct {
        Cell spec;
        uint32_t target;
        double value;
    } cases[] = {
        {keep(block_of({integer(15), integer(-1)})), TYPE_FLOAT, 1.5},
        {keep(block_of({real(2.5), real(2.9)})), TYPE_FLOAT, 250.0},  // exponent truncated
        {keep(block_of({integer(1), integer(400)})), TYPE_FLOAT, INF},
        {keep(text_value("1.5")), TYPE_FLOAT, 1.5},
        {keep(text_value("1,5")), TYPE_FLOAT, 1.5},
        {keep(text_value("1'000.25")), TYPE_FLOAT, 1000.25},
        {keep(text_value("-1e3")), TYPE_FLOAT, -1000.0},
        {integer(-3), TYPE_FLOAT, -3.0},
        {integer(7), TYPE_PERCENT, 7.0},
        {character('A'), TYPE_FLOAT, 65.0},
        {real(0.5, TYPE_PERCENT), TYPE_FLOAT, 0.5},
        {real(0.25), TYPE_PERCENT, 0.25},
        {real(90.5, TYPE_TIME), TYPE_FLOAT, 90.5},
        {keep(binary({0x3F, 0xF0, 0, 0, 0, 0, 0, 0})), TYPE_FLOAT, 1.0},
        {keep(binary({0x3F, 0xF0, 0, 0, 0, 0, 0, 0, 0xFF})), TYPE_FLOAT, 1.0},  // first 8 bytes
        {keep(binary({0x01})), TYPE_FLOAT, std::bit_cast<double>(uint64_t(1))},  // the low end
        {keep(binary({})), TYPE_FLOAT, 0.0},
    };
    for (uint32_t slot : {A_MAKE, A_TO}) {
        for (const auto& c : cases) {
            Cell proto = datatype(c.target), spec = c.spec;
            auto fn = reinterpret_cast<SlotFnT<A_MAKE>>(registry::entry(c.target, int(slot)));
            Cell* result = fn(&proto, &spec, int(c.target));
            SCOPED_TRACE(testing::Message() << "spec type " << c.spec.type() << " slot " << slot);
            expect_value(*result, c.target, c.value);
            EXPECT_EQ(result, stack::top());
        }
    }
}

TEST_F(Float, MakeRefusesWhatIsNoNumber) {
    std::vector<Cell> specs = {
        text_value(""),
        text_value("abc"),
        text_value("1.5x"),
        text_value(" 1"),
        text_value("0.5" + std::string(310, '0')),  // 313 characters
        *string::load_c_text("1\xC4\xB1", 3, 0),  // U+0131 must not read as "1"
        block_of({integer(1)}),
        block_of({integer(1), integer(2), integer(3)}),
        block_of({integer(1), real(2.0, TYPE_PERCENT)}),
        k_none,
        make_cell(TYPE_LOGIC, 1),
        make_cell(TYPE_PAIR),
    };
    for (const Cell& s : specs) {
        Cell proto = datatype(TYPE_FLOAT), spec = s;
        Cell error{};
        EXPECT_EQ(raised([&] { float_::make(&proto, &spec, TYPE_FLOAT); }, &error),
                  ErrorId::script_bad_to_arg)
            << "type " << s.type();
        EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_FLOAT));
        EXPECT_EQ(error_arg(error, 1).type(), s.type());
    }
    Cell proto = datatype(TYPE_FLOAT), spec = text_value("0.5" + std::string(309, '0'));
    EXPECT_EQ(float_::make(&proto, &spec, TYPE_FLOAT)->as_double(), 0.5);
}

TEST_F(Float, ConversionsFromPercentTextAndMoney) {
    Cell proto = datatype(TYPE_PERCENT), text = text_value("50%");
    EXPECT_EQ(float_::make(&proto, &text, TYPE_PERCENT)->as_double(), 0.5);
    Cell money = *money::push_from_float(1.25, true);
    EXPECT_EQ(float_::make(&proto, &money, TYPE_FLOAT)->as_double(), 1.25);
}

// ---------------------------------------------------------------------------
// Comparison

TEST_F(Float, CompareUnderEveryOperation) {
    const double third = 0.1 + 0.2;
    const struct {
        Cell a, b;
        int op;
        int expected;
    } cases[] = {
        {real(third), real(0.3), COMP_EQUAL, 0},  // within 10 units in the last place
        {real(third), real(0.3), COMP_NOT_EQUAL, 0},
        {real(third), real(0.3), COMP_STRICT_EQUAL, 1},
        {real(third), real(0.3), COMP_SAME, 1},
        {real(1.0), real(1.0 + 11 * DBL_EPSILON), COMP_EQUAL, 1},
        {real(1e-300), real(-1e-300), COMP_EQUAL, 0},  // closer than the tolerance
        {real(0.0), real(-0.0), COMP_STRICT_EQUAL, 0},
        {real(0.0), real(-0.0), COMP_SAME, 1},
        {real(NaN), real(NaN), COMP_EQUAL, 1},
        {real(NaN), real(NaN), COMP_STRICT_EQUAL, 1},
        {real(NaN), real(NaN), COMP_SAME, 0},
        {real(NaN), real(1.0), COMP_LESSER, 1},
        {real(NaN), real(1.0), COMP_LESSER_EQUAL, 1},
        {real(NaN), real(1.0), COMP_GREATER, -1},
        {real(1.0), real(NaN), COMP_GREATER_EQUAL, -1},
        {real(NaN), real(1.0), COMP_SORT, 0},
        {real(NaN), real(1.0), COMP_FIND, 1},
        {real(NaN), real(NaN), COMP_FIND, 1},
        {real(1.0), real(2.0), COMP_LESSER, -1},
        {real(2.0), real(1.0), COMP_SORT, 1},
        {real(third), real(0.3), COMP_FIND, 1},  // exact order
        {real(1.0), integer(1), COMP_EQUAL, 0},
        {real(1.5), integer(1), COMP_GREATER, 1},
        {real(1.0), integer(1), COMP_STRICT_EQUAL, 1},  // another type
        {real(1.0), integer(1), COMP_FIND, 1},
        {real(0.5), real(0.5, TYPE_PERCENT), COMP_EQUAL, 0},
        {real(0.5), real(0.5, TYPE_PERCENT), COMP_SAME, 1},
        {real(0.5, TYPE_PERCENT), real(0.5, TYPE_PERCENT), COMP_STRICT_EQUAL, 0},
        {real(60.0), real(60.0, TYPE_TIME), COMP_EQUAL, 0},
        {real(60.0, TYPE_TIME), real(61.0), COMP_LESSER, -1},
        {real(1.0), character('a'), COMP_EQUAL, COMPARE_UNCOMPARABLE},
        {real(1.0), k_none, COMP_LESSER, COMPARE_UNCOMPARABLE},
    };
    for (const auto& c : cases) {
        Cell a = c.a, b = c.b;
        EXPECT_EQ(float_::compare(&a, &b, c.op), c.expected)
            << a.as_double() << " op " << c.op << " type " << b.type();
    }
}

TEST_F(Float, AlmostEqual) {
    const double one_ulp = std::nextafter(1.0, 2.0);
    const struct {
        double a, b;
        bool equal;
    } cases[] = {
        {1.0, 1.0, true},
        {1.0, one_ulp, true},
        {1e300, ulps(1e300, 10), true},
        {1e300, ulps(1e300, 11), false},
        {-1e300, ulps(-1e300, 10), true},
        {-1e300, ulps(-1e300, 11), false},
        {DBL_MIN, ulps(DBL_MIN, 9), true},
        {1e-310, -1e-310, true},  // within the tolerance
        {0.0, -0.0, true},
        {NaN, NaN, false},
        {NaN, 1.0, false},
        {INF, INF, true},
        {INF, DBL_MAX, true},  // one unit apart
        {INF, -INF, false},
        {1.0, 2.0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(float_::almost_equal_q(c.a, c.b), c.equal) << c.a << " " << c.b;

    const float f_inf = std::numeric_limits<float>::infinity();
    const struct {
        float a, b;
        bool equal;
    } singles[] = {
        {1.0f, std::nextafter(1.0f, 2.0f), true},
        {1.0f, 1.0f + 11 * FLT_EPSILON, false},
        {0.0f, -0.0f, true},
        {std::nanf(""), std::nanf(""), false},
        {f_inf, f_inf, true},
        {f_inf, FLT_MAX, true},
        {f_inf, -f_inf, false},
        {FLT_MAX, std::nextafter(FLT_MAX, 0.0f) , true},
        {-1.0f, -1.0f - 10 * FLT_EPSILON, true},
    };
    for (const auto& c : singles)
        EXPECT_EQ(float_::almost_equal32_q(c.a, c.b), c.equal) << c.a << " " << c.b;
}

// ---------------------------------------------------------------------------
// Arithmetic

TEST_F(Float, ArithmeticResultTypes) {
    using StackFn = void (*)();
    const struct {
        StackFn op;
        Cell a, b;
        uint32_t type;
        double value;
    } cases[] = {
        {&float_::add, real(1.5), real(0.1, TYPE_PERCENT), TYPE_FLOAT, 1.5 + 0.1},
        {&float_::add, real(0.1, TYPE_PERCENT), real(1.5), TYPE_PERCENT, 0.1 + 1.5},
        {&float_::add, real(0.5, TYPE_PERCENT), integer(1), TYPE_PERCENT, 1.5},
        {&float_::multiply, real(0.5, TYPE_PERCENT), real(0.5, TYPE_PERCENT), TYPE_PERCENT, 0.25},
        {&float_::add, real(1.5), integer(2), TYPE_FLOAT, 3.5},
        {&float_::subtract, real(1.5), character('a'), TYPE_FLOAT, -95.5},
        {&float_::add, real(60.0, TYPE_TIME), real(1.5), TYPE_TIME, 61.5},
        {&float_::add, real(1.5), real(60.0, TYPE_TIME), TYPE_TIME, 61.5},
        {&float_::divide, real(3600.0, TYPE_TIME), real(1800.0, TYPE_TIME), TYPE_TIME, 2.0},
        {&float_::add, real(0.5, TYPE_PERCENT), real(60.0, TYPE_TIME), TYPE_TIME, 60.5},
        {&float_::multiply, real(60.0, TYPE_TIME), real(0.5, TYPE_PERCENT), TYPE_TIME, 30.0},
        {&float_::add, integer(1), real(1.5), TYPE_FLOAT, 2.5},
        {&float_::add, integer(1), real(0.1, TYPE_PERCENT), TYPE_FLOAT, 1.0 + 0.1},
        {&float_::add, integer(1), real(1.0, TYPE_TIME), TYPE_TIME, 2.0},
        {&float_::divide, real(1.0), real(0.0), TYPE_FLOAT, INF},
        {&float_::divide, real(0.0), real(0.0), TYPE_FLOAT, NaN},
        {&float_::remainder, real(5.5), real(INF), TYPE_FLOAT, 5.5},
        {&float_::remainder, real(5.5), real(NaN), TYPE_FLOAT, NaN},
        {&float_::remainder, real(INF), real(INF), TYPE_FLOAT, NaN},
        {&float_::remainder, real(INF), real(2.0), TYPE_FLOAT, NaN},
        {&float_::remainder, real(-7.5), real(2.0), TYPE_FLOAT, -1.5},
        {&float_::remainder, real(1.0), real(0.0), TYPE_FLOAT, NaN},
        {&float_::multiply, real(1e308), real(10.0), TYPE_FLOAT, INF},
    };
    for (const auto& c : cases) {
        Cell r = run_binary(c.op, c.a, c.b);
        SCOPED_TRACE(testing::Message() << c.a.as_double() << " / " << c.b.type());
        expect_value(r, c.type, c.value);
    }
}

// integer! hands float operands over; the result comes back a float!.
TEST_F(Float, IntegerHandsFloatOperandsOver) {
    expect_value(run_binary(&integer::add, integer(1), real(1.5)), TYPE_FLOAT, 2.5);
    expect_value(run_binary(&integer::divide, integer(1), real(0.5, TYPE_PERCENT)), TYPE_FLOAT,
                 2.0);
    expect_value(run_binary(&integer::subtract, integer(1), real(90.0, TYPE_TIME)), TYPE_TIME,
                 -89.0);
    Cell i = integer(2), f = real(2.0);
    EXPECT_EQ(actions::compare_direct(&i, &f, COMP_EQUAL), 0);
}

TEST_F(Float, ArithmeticErrors) {
    Cell error{};
    EXPECT_EQ(raised([] { run_binary(&float_::add, real(1.0), k_none); }, &error),
              ErrorId::script_invalid_type);
    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_NONE));
    EXPECT_EQ(raised([] { run_binary(&float_::add, real(1.0, TYPE_PERCENT), character('a')); }),
              ErrorId::script_invalid_type);
    EXPECT_EQ(raised([] { run_binary(&float_::add, real(1.0, TYPE_TIME), character('a')); }),
              ErrorId::script_invalid_type);
    for (uint32_t type : {TYPE_PAIR, TYPE_POINT2D, TYPE_POINT3D}) {
        EXPECT_EQ(raised([&] { run_binary(&float_::subtract, real(1.0), make_cell(type)); },
                         &error),
                  ErrorId::script_not_related);
        EXPECT_EQ(error_arg(error, 1).data1, type);
        EXPECT_EQ(raised([&] { run_binary(&float_::divide, real(1.0), make_cell(type)); }),
                  ErrorId::script_not_related);
        EXPECT_EQ(raised([&] { run_binary(&float_::remainder, real(1.0), make_cell(type)); }),
                  ErrorId::script_invalid_type);
        EXPECT_EQ(raised([&] { run_binary(&float_::add, real(1.0, TYPE_TIME), make_cell(type)); }),
                  ErrorId::script_invalid_type);
    }
    EXPECT_EQ(raised([] { float_::do_math(1.0, 2.0, MATH_OR); }, &error),
              ErrorId::script_cannot_use);
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_FLOAT));
}

// Pairs and points take the float in their own arithmetic, operands swapped.
TEST_F(Float, PairAndPointOperandsAreSwapped) {
    static Cell seen[2];
    auto spy = +[] {
        seen[0] = *stack::argument(0);
        seen[1] = *stack::argument(1);
    };
    for (uint32_t type : {TYPE_PAIR, TYPE_POINT2D, TYPE_POINT3D}) {
        for (int slot : {A_ADD, A_MULTIPLY}) {
            registry::g_action_table[type * registry::ROW + slot - 1] =
                reinterpret_cast<AnyHandler>(spy);
            run_binary(slot == A_ADD ? &float_::add : &float_::multiply, real(2.5),
                       make_cell(type, 0, 7));
            EXPECT_EQ(seen[0].type(), type);
            EXPECT_EQ(seen[0].data2, 7u);
            expect_value(seen[1], TYPE_FLOAT, 2.5);
        }
    }
}

TEST_F(Float, PowerAbsoluteNegateParity) {
    expect_value(run_binary(&float_::power, real(2.0), integer(10)), TYPE_FLOAT, 1024.0);
    expect_value(run_binary(&float_::power, real(4.0), real(0.5)), TYPE_FLOAT, 2.0);
    expect_value(run_binary(&float_::power, real(0.5, TYPE_PERCENT), integer(2)), TYPE_PERCENT,
                 0.25);
    expect_value(run_binary(&float_::power, real(-8.0), real(1.0 / 3.0)), TYPE_FLOAT, NaN);
    Cell error{};
    EXPECT_EQ(raised([] { run_binary(&float_::power, real(2.0), real(0.5, TYPE_PERCENT)); },
                     &error),
              ErrorId::script_expect_arg);
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_PERCENT));

    const double values[] = {-2.5, -0.0, 0.0, -INF, -NaN};
    for (double v : values) {
        Cell r = run_binary(&float_::absolute, real(v, TYPE_PERCENT), k_none);
        EXPECT_EQ(r.type(), uint32_t(TYPE_PERCENT));
        EXPECT_EQ(bits_of(r.as_double()), bits_of(v) & ~(uint64_t(1) << 63));
    }
    for (double v : {-0.0, 0.0}) {
        Cell n = real(v);
        float_::negate(&n);
        EXPECT_EQ(bits_of(n.as_double()), 0u);  // 0.0 - value
    }
    Cell n = real(2.5, TYPE_TIME);
    float_::negate(&n);
    expect_value(n, TYPE_TIME, -2.5);

    const struct {
        double value;
        bool even;
    } parity[] = {{2.5, true}, {-3.7, false}, {3.0, false}, {-0.5, true},
                  {1e10, true}, {-1e10, true}, {NaN, true}, {2147483647.9, false}};
    for (const auto& c : parity) {
        Cell x = real(c.value);
        EXPECT_EQ(float_::even_q(&x), c.even) << c.value;
        EXPECT_EQ(float_::odd_q(&x), !c.even) << c.value;
    }
}

// ---------------------------------------------------------------------------
// round

TEST_F(Float, RoundWithEveryRefinement) {
    enum { NONE, EVEN, DOWN, HALF_DOWN, FLOOR, CEILING, HALF_CEILING };
    const struct {
        Cell value;
        int mode;
        std::optional<Cell> scale;
        Cell expected;
    } cases[] = {
        {real(2.5), NONE, {}, real(3.0)},
        {real(-2.5), NONE, {}, real(-3.0)},
        {real(2.4), NONE, {}, real(2.0)},
        {real(2.5), EVEN, {}, real(2.0)},
        {real(3.5), EVEN, {}, real(4.0)},
        {real(-2.5), EVEN, {}, real(-2.0)},
        {real(-2.5), HALF_DOWN, {}, real(-2.0)},
        {real(2.5), HALF_DOWN, {}, real(2.0)},
        {real(-2.5), HALF_CEILING, {}, real(-2.0)},
        {real(2.5), HALF_CEILING, {}, real(3.0)},
        {real(-2.7), DOWN, {}, real(-2.0)},
        {real(-2.2), FLOOR, {}, real(-3.0)},
        {real(-2.7), CEILING, {}, real(-2.0)},
        {real(2.2), CEILING, {}, real(3.0)},
        {real(-0.3), NONE, {}, real(-0.0)},
        {real(1.2345), NONE, real(0.01), real(1.23)},
        {real(7.5), NONE, integer(2), integer(8)},
        {real(7.5), NONE, integer(-2), integer(8)},
        {real(1234.5), NONE, real(100.0, TYPE_PERCENT), real(1200.0, TYPE_PERCENT)},
        {real(1e300), NONE, integer(1), real(1e300)},  // finer than the last bit
        {real(3.0), NONE, integer(0), real(3.0)},
        {real(INF), NONE, {}, real(INF)},
        {real(5e-324), NONE, real(4e-323), real(0.0)},  // a scale without a finite reciprocal
        {real(7e-323), NONE, real(4e-323), real(8e-323)},
        {real(0.12345, TYPE_PERCENT), NONE, {}, real(0.12, TYPE_PERCENT)},
        {real(0.12345, TYPE_PERCENT), NONE, real(0.1), real(0.123)},
        {real(0.126, TYPE_PERCENT), NONE, integer(1), integer(0)},
        {real(90.4, TYPE_TIME), NONE, {}, real(90.0, TYPE_TIME)},
        {real(90.4, TYPE_TIME), NONE, integer(60), integer(120)},
    };
    for (const auto& c : cases) {
        Cell value = c.value;
        Cell scale = c.scale.value_or(k_none);
        float_::round(&value, c.scale ? &scale : nullptr, c.mode == EVEN, c.mode == DOWN,
                      c.mode == HALF_DOWN, c.mode == FLOOR, c.mode == CEILING,
                      c.mode == HALF_CEILING);
        SCOPED_TRACE(testing::Message() << c.value.as_double() << " mode " << c.mode);
        if (c.expected.is(TYPE_INTEGER)) {
            EXPECT_TRUE(value.is(TYPE_INTEGER));
            EXPECT_EQ(value.as_int(), c.expected.as_int());
        } else {
            expect_value(value, c.expected.type(), c.expected.as_double());
        }
    }
}

TEST_F(Float, RoundErrors) {
    auto round_to = [](Cell value, Cell scale) {
        float_::round(&value, &scale, false, false, false, false, false, false);
    };
    Cell error{};
    EXPECT_EQ(raised([&] { round_to(real(1.5), make_cell(TYPE_MONEY)); }, &error),
              ErrorId::script_not_related);
    EXPECT_EQ(error_arg(error, 1).data1, uint32_t(TYPE_MONEY));
    // The rounded value overflows; a result that leaves the 32-bit range.
    EXPECT_EQ(raised([&] { round_to(real(1.7e308), real(1e308)); }), ErrorId::math_overflow);
    EXPECT_EQ(raised([&] { round_to(real(3e9), integer(1)); }), ErrorId::math_overflow);
    EXPECT_EQ(raised([&] { round_to(real(NaN), integer(1)); }), ErrorId::math_overflow);
}

// ---------------------------------------------------------------------------
// Random, helpers, trigonometry

TEST_F(Float, RandomDrawsWithinTheRange) {
    Cell seed = real(12.5);
    float_::random(&seed, true, false, false);
    EXPECT_TRUE(seed.is(TYPE_UNSET));
    std::vector<double> first;
    for (int i = 0; i < 3; i++) {
        Cell v = real(10.0, TYPE_PERCENT);
        float_::random(&v, false, false, false);
        EXPECT_TRUE(v.is(TYPE_PERCENT));
        first.push_back(v.as_double());
    }
    seed = real(12.5);
    float_::random(&seed, true, false, false);
    for (int i = 0; i < 3; i++) {
        Cell v = real(10.0);
        float_::random(&v, false, false, false);
        EXPECT_EQ(v.as_double(), first[size_t(i)]);
    }
    for (int i = 0; i < 2000; i++) {
        double plain = float_::random_float(-3.0, false);
        double secure = float_::random_float(3.0, true);
        EXPECT_TRUE(plain <= 0.0 && plain >= -3.0) << plain;
        EXPECT_TRUE(secure >= 0.0 && secure <= 3.0) << secure;
    }
}

TEST_F(Float, MakersAndHelpers) {
    stack::reset();
    Cell* pushed = float_::push(2.5);
    expect_value(*pushed, TYPE_FLOAT, 2.5);
    Cell* halves = float_::push_halves(0x3FF00000u, 0u);
    expect_value(*halves, TYPE_FLOAT, 1.0);
    float_::set_result(-4.0);
    expect_value(*stack::argument(0), TYPE_FLOAT, -4.0);
    Cell blk = block_of({});
    Cell* appended = float_::append_to_block(&blk, 0.25);
    expect_value(*appended, TYPE_FLOAT, 0.25);
    EXPECT_EQ(block::length_from_head(&blk), 1);
    Cell c = make_cell(TYPE_INTEGER | NEW_LINE_FLAG, 9, 9, 9);
    float_::init_cell(&c, 3.0);
    expect_value(c, TYPE_FLOAT, 3.0);
    EXPECT_TRUE(c.header & NEW_LINE_FLAG);

    EXPECT_EQ(float_::abs_(0u, 0xBFF00000u), 1.0);
    EXPECT_TRUE(float_::nan_q(1u, 0x7FF00000u));
    EXPECT_TRUE(float_::nan_q(0u, 0xFFF80000u));
    EXPECT_FALSE(float_::nan_q(0u, 0x7FF00000u));
    EXPECT_TRUE(float_::special_q(-INF));
    EXPECT_TRUE(float_::special_q(NaN));
    EXPECT_FALSE(float_::special_q(DBL_MAX));
    EXPECT_TRUE(float_::nan_single_q(std::nanf("")));
    EXPECT_FALSE(float_::nan_single_q(1.0f));

    const struct {
        double value;
        int32_t expected;
    } ints[] = {{2.4, 2}, {2.5, 3}, {-2.6, -2}, {0.49999999999999994, 0}, {-0.5, 0},
                {2147483646.6, 2147483647}, {2147483647.6, INT32_MIN}, {NaN, INT32_MIN}};
    for (const auto& c : ints) EXPECT_EQ(float_::to_int32(c.value), c.expected) << c.value;
}

TEST_F(Float, DegreesToRadians) {
    const double pi = 3.141592653589793;
    const struct {
        double degrees;
        int mode;
        double radians;
    } cases[] = {
        {90.0, 1, 90.0 * pi / 180.0},  {450.0, 1, 90.0 * pi / 180.0},
        {270.0, 1, -90.0 * pi / 180.0}, {-270.0, 1, 90.0 * pi / 180.0},
        {135.0, 0, -45.0 * pi / 180.0}, {-135.0, 0, 45.0 * pi / 180.0},
        {135.0, 2, 45.0 * pi / 180.0},  {-135.0, 2, -45.0 * pi / 180.0},
        {135.0, 1, 135.0 * pi / 180.0}, {180.0, 2, 0.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trig::degrees_to_radians(c.degrees, c.mode), c.radians)
            << c.degrees << " mode " << c.mode;
}

TEST_F(Float, RegistersItsOwnSlots) {
    const int own[] = {A_MAKE, A_RANDOM, A_TO, A_FORM, A_MOLD, A_COMPARE, A_ABSOLUTE, A_ADD,
                       A_DIVIDE, A_MULTIPLY, A_NEGATE, A_POWER, A_REMAINDER, A_ROUND,
                       A_SUBTRACT, A_EVEN_Q, A_ODD_Q};
    const SlotEntry::Kind* kinds = registry::slot_kinds(TYPE_FLOAT);
    ASSERT_NE(kinds, nullptr);
    int owned = 0;
    for (int slot = 1; slot <= ACTION_COUNT; slot++) owned += kinds[slot - 1] == SlotEntry::OWN;
    EXPECT_EQ(owned, int(std::size(own)));
    for (int slot : own) EXPECT_EQ(kinds[slot - 1], SlotEntry::OWN) << slot;
    EXPECT_EQ(registry::entry(TYPE_FLOAT, A_TO), registry::entry(TYPE_FLOAT, A_MAKE));
}

}  // namespace
