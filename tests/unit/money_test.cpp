// money!: the cell layout and the helpers other modules call (digits from the
// lexer, ZUNBIN bytes, floats, integers), text with the money-digits option,
// the comparison codes, random, and the actions run from source text.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/rng.hpp"
#include "datatypes/money.hpp"
#include "datatypes/registry.hpp"
#include "startup/system_data.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

class Money : public eval_test::EvalTest {
protected:
    // The amount in the cell from text, as the lexer hands it over.
    static Cell from_text(const char* digits, const char* fraction = "", const char* code = nullptr,
                          bool negative = false) {
        Cell cell{};
        Cell* made = money::init_from_digits(
            &cell, negative, reinterpret_cast<const uint8_t*>(code),
            reinterpret_cast<const uint8_t*>(digits), uint32_t(std::strlen(digits)),
            reinterpret_cast<const uint8_t*>(fraction), uint32_t(std::strlen(fraction)));
        EXPECT_TRUE(made) << digits;
        return cell;
    }
    static std::string text(const Cell& value, bool all = false, bool grouping = false) {
        Cell v = value;
        Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
        money::form_text(&v, buffer, 1000, all, grouping);
        std::string out = test_support::bytes_of(buffer);
        stack::pop(1);
        return out;
    }
    struct Case {
        const char* code;
        const char* molded;
    };
    void check(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(run(c.code), c.molded) << c.code;
    }
    struct Fail {
        const char* code;
        ErrorId id;
    };
    void check_fails(const std::vector<Fail>& cases) {
        for (const Fail& f : cases) EXPECT_EQ(fails(f.code), f.id) << f.code;
    }
};

TEST_F(Money, CellLayout) {
    // USD is the 155th code of the list; digits run high nibble first from
    // the byte after the currency.
    Cell usd = from_text("1'234", "5", "usd", true);
    EXPECT_EQ(usd.type(), uint32_t(TYPE_MONEY));
    EXPECT_EQ(money::currency(&usd), 155u);
    EXPECT_TRUE(money::get_sign(&usd));
    EXPECT_EQ(usd.header & money::SIGN_FLAG, money::SIGN_FLAG);
    for (int p = 1; p <= 13; p++) EXPECT_EQ(money::digit_at(&usd, p), 0) << p;
    const int digits[] = {1, 2, 3, 4, 5, 0, 0, 0, 0};
    for (int p = 14; p <= 22; p++) EXPECT_EQ(money::digit_at(&usd, p), digits[p - 14]) << p;
    EXPECT_EQ(usd.data1, 155u);         // digits 1-6 in bytes 1-3
    EXPECT_EQ(usd.data2, 0x01000000u);  // digits 7-14 in bytes 4-7
    EXPECT_EQ(usd.data3, 0x00004523u);  // digits 15-22 in bytes 8-11

    const uint8_t bytes[11] = {0, 0, 0, 0, 0, 0, 0x01, 0x23, 0x45, 0, 0};
    Cell rebuilt{};
    ASSERT_TRUE(money::init_cell(&rebuilt, true, 155, bytes));
    EXPECT_EQ(std::memcmp(&rebuilt, &usd, sizeof(Cell)), 0);
    const uint8_t bad[11] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA0, 0};
    EXPECT_FALSE(money::init_cell(&rebuilt, false, 0, bad));
}

TEST_F(Money, FromDigits) {
    EXPECT_EQ(text(from_text("00000000000000000000012", "50")), "$12.50");
    EXPECT_EQ(text(from_text("99999999999999999", "999999999"), true), "$99999999999999999.99999");
    EXPECT_EQ(text(from_text("1", "123456789"), true), "$1.12345");  // cut, not rounded
    EXPECT_EQ(text(from_text("0", "", nullptr, true)), "$0.00");     // no sign on zero
    Cell zero = from_text("0", "", nullptr, true);
    EXPECT_EQ(money::sign(&zero), 0);
    EXPECT_EQ(text(from_text("7", "", "eur")), "EUR$7.00");

    Cell cell{};
    const uint8_t code[] = "QQQ", one[] = "1";
    EXPECT_FALSE(money::init_from_digits(&cell, false, code, one, 1, nullptr, 0));
    // Eighteen integer digits do not fit: an error, never the last 17.
    const uint8_t eighteen[] = "123456789012345678";
    EXPECT_EQ(test_support::raised([&] {
                  money::init_from_digits(&cell, false, nullptr, eighteen, 18, nullptr, 0);
              }),
              ErrorId::script_type_limit);
}

TEST_F(Money, FromNumbers) {
    Cell* n = money::push_from_integer(INT32_MIN);
    EXPECT_EQ(text(*n), "-$2147483648.00");
    EXPECT_EQ(money::to_integer(n), INT32_MIN);
    struct FloatCase {
        double x;
        bool strict;
        const char* text;  // nullptr: bad-make-arg
    };
    for (const FloatCase& c : std::vector<FloatCase>{
             {0.1, true, "$0.10000"},
             {-1234.5, true, "-$1234.50000"},
             {1e-5, true, "$0.00001"},
             {-0.0, true, "$0.00000"},
             {99999999999999984.0, true, "$99999999999999980.00000"},  // shortest digits
             {1.123456, true, nullptr},
             {1.123456, false, "$1.12345"},
             {1e17, false, nullptr},
             {-1e17, false, nullptr},
             {9e-6, false, nullptr},
             {1.0 / 0.0, false, nullptr},
             {0.0 / 0.0, false, nullptr},
         }) {
        Cell error;
        ErrorId id = test_support::caught(
            [&] {
                Cell* m = money::push_from_float(c.x, c.strict);
                if (c.text) {
                    EXPECT_EQ(text(*m, true), c.text) << c.x;
                }
            },
            &error);
        if (c.text) {
            EXPECT_EQ(id, ErrorId::count_) << c.x;
        } else {
            EXPECT_EQ(id, ErrorId::script_bad_make_arg) << c.x;
        }
    }
}

TEST_F(Money, ToIntegerAndFloat) {
    struct IntegerCase {
        Cell value;
        int32_t n;
    };
    for (const IntegerCase& c : std::vector<IntegerCase>{
             {from_text("3", "99"), 3},
             {from_text("3", "99", nullptr, true), -3},
             {from_text("2147483648", "99", nullptr, true), INT32_MIN},
             {from_text("2147483647", "99"), INT32_MAX},
         }) {
        Cell v = c.value;
        EXPECT_EQ(money::to_integer(&v), c.n);
    }
    for (Cell big : {from_text("2147483648"), from_text("2147483649", "", nullptr, true)}) {
        Cell error;
        EXPECT_EQ(test_support::raised([&] { money::to_integer(&big); }, &error),
                  ErrorId::script_type_limit);
        EXPECT_EQ(error_arg(error, 0), "integer!");
    }
    Cell tenth = from_text("0", "1"), large = from_text("12345678901234567", "89", nullptr, true);
    EXPECT_EQ(money::to_float(&tenth), 0.1);
    EXPECT_EQ(money::to_float(&large), -12345678901234567.89);
}

TEST_F(Money, TextFollowsMoneyDigits) {
    Cell* option = system_data::options_money_digits();
    const Cell saved = *option;
    Cell value = from_text("1234567", "98765", "USD", true);
    struct DigitsCase {
        Cell option;
        const char* formed;
        const char* molded_all;
    };
    for (const DigitsCase& c : std::vector<DigitsCase>{
             {integer_cell(2), "-USD$1'234'567.98", "-USD$1234567.98765"},
             {integer_cell(0), "-USD$1'234'567", "-USD$1234567.98765"},
             {integer_cell(-3), "-USD$1'234'567", "-USD$1234567.98765"},
             {integer_cell(4), "-USD$1'234'567.9876", "-USD$1234567.98765"},
             {integer_cell(9), "-USD$1'234'567.98765", "-USD$1234567.98765"},
             {shared_none_cell, "-USD$1'234'567.98", "-USD$1234567.98765"},
         }) {
        *system_data::options_money_digits() = c.option;
        EXPECT_EQ(text(value, false, true), c.formed);
        EXPECT_EQ(text(value, true, false), c.molded_all);
    }
    *system_data::options_money_digits() = saved;
    EXPECT_EQ(text(from_text("100"), false, true), "$100.00");
    EXPECT_EQ(text(from_text("1000"), false, true), "$1'000.00");
    EXPECT_EQ(text(from_text("0", "5"), false, true), "$0.50");
}

TEST_F(Money, CompareCodes) {
    Cell usd1 = from_text("1", "", "USD"), eur1 = from_text("1", "", "EUR"), plain1 = from_text("1");
    Cell usd2 = from_text("2", "", "USD");
    auto cmp = [](Cell a, Cell b, int op) { return money::compare(&a, &b, op); };
    EXPECT_EQ(cmp(usd1, plain1, COMP_EQUAL), 0);
    EXPECT_EQ(cmp(usd1, eur1, COMP_EQUAL), 1);
    EXPECT_EQ(cmp(usd1, plain1, COMP_STRICT_EQUAL), 1);
    EXPECT_EQ(cmp(usd1, usd1, COMP_STRICT_EQUAL), 0);
    EXPECT_EQ(cmp(usd1, plain1, COMP_FIND), 0);   // a value without currency finds any
    EXPECT_EQ(cmp(plain1, usd1, COMP_FIND), 1);
    EXPECT_EQ(cmp(usd1, usd2, COMP_LESSER), -1);
    EXPECT_EQ(cmp(usd2, plain1, COMP_GREATER), 1);
    EXPECT_EQ(cmp(usd2, eur1, COMP_SORT), 1);     // EUR sorts before USD whatever the amount
    EXPECT_EQ(cmp(plain1, eur1, COMP_SORT), -1);
    EXPECT_EQ(test_support::raised([&] { cmp(usd1, eur1, COMP_LESSER); }),
              ErrorId::script_wrong_denom);
    Cell integer = integer_cell(1), text_value = make_cell(TYPE_NONE);
    EXPECT_EQ(cmp(plain1, integer, COMP_EQUAL), 0);
    EXPECT_EQ(cmp(plain1, integer, COMP_STRICT_EQUAL), 1);
    EXPECT_EQ(cmp(plain1, text_value, COMP_EQUAL), COMPARE_UNCOMPARABLE);

    // Floats compare exactly, also beyond the money range and past 5 digits.
    Cell negative = from_text("5", "", nullptr, true), zero = from_text("0");
    struct FloatCase {
        Cell money;
        double x;
        int order;
    };
    for (const FloatCase& c : std::vector<FloatCase>{
             {plain1, 1.0, 0}, {plain1, 1e300, -1}, {negative, -1e300, 1},
             {plain1, 1e-9, 1}, {negative, -1e-9, -1}, {zero, 1e-9, -1}, {zero, -1e-9, 1},
             {plain1, 1.000001, -1}, {plain1, 0.999999, 1}, {negative, -5.0000001, 1},
             {plain1, 1.0 / 0.0, -1}, {negative, -1.0 / 0.0, 1}, {zero, 0.0, 0},
         }) {
        Cell x = make_cell(TYPE_FLOAT);
        x.set_double(c.x);
        EXPECT_EQ(cmp(c.money, x, COMP_LESSER), c.order) << c.x;
    }
}

TEST_F(Money, RandomStaysInRange) {
    rng::init();
    Cell value = from_text("307", "5", "GBP", true);
    rng::seed(7);
    for (int i = 0; i < 200; i++) {
        Cell r = value;
        registry::handler<A_RANDOM>(TYPE_MONEY)(&r, false, false, false);
        EXPECT_EQ(money::currency(&r), money::currency(&value));
        EXPECT_LE(money::compare(&value, &r, COMP_LESSER), 0);  // -307.5 <= r
        Cell zero = from_text("0");
        EXPECT_LE(money::compare(&r, &zero, COMP_LESSER), 0);
        for (int p = 1; p <= 22; p++) EXPECT_LE(money::digit_at(&r, p), 9);
    }
    // A seed gives the same draws again.
    Cell seed = value;
    registry::handler<A_RANDOM>(TYPE_MONEY)(&seed, true, false, false);
    EXPECT_EQ(seed.type(), uint32_t(TYPE_UNSET));
    Cell a = value, b = value;
    registry::handler<A_RANDOM>(TYPE_MONEY)(&a, false, false, false);
    seed = value;
    registry::handler<A_RANDOM>(TYPE_MONEY)(&seed, true, false, false);
    registry::handler<A_RANDOM>(TYPE_MONEY)(&b, false, false, false);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof(Cell)), 0);
}

TEST_F(Money, Actions) {
    check({
        {"mold $1'234.5", "\"$1234.50\""},
        {"mold -usd$0.001", "\"-USD$0.00\""},
        {"mold negate USD$2", "\"-USD$2.00\""},
        {"mold absolute -EUR$2", "\"EUR$2.00\""},
        {"mold/all remainder -$7.5 $2", "\"-$1.50000\""},
        {"mold/all remainder $7.5 -2", "\"$1.50000\""},
        {"-$10 / $4", "-2.5"},
        {"mold/all -$1 / 3", "\"-$0.33333\""},
        {"mold/all $0.00001 * 0.5", "\"$0.00000\""},
        {"to money! $3", "$3.00"},
        {"to money! \"$1.5\"", "$1.50"},
        {"mold/all make money! [12.00001]", "\"$12.00001\""},
        {"mold/all make money! [EUR -3 99999]", "\"-EUR$3.99999\""},
        {"pick USD$5 2", "$5.00"},
        {"pick $5 'code", "none"},
        {"even? -$2.5", "true"},
        {"odd? $0", "false"},
        {"$1 = 1", "true"},
        {"$1 < 2", "true"},
        {"1 < $2", "true"},
        {"$0.1 = 0.1", "true"},
        {"1.5 < $2", "true"},
        {"mold round -$2.5", "\"-$3.00\""},
        {"mold round/half-ceiling -$2.5", "\"-$2.00\""},
        {"mold round/half-down $2.5", "\"$2.00\""},
        {"mold round/down -$2.9", "\"-$2.00\""},
        {"mold round/to $7 2", "\"$8.00\""},
        {"mold round/to $7 $0", "\"$7.00\""},
        {"mold round/to/ceiling $6 $3", "\"$6.00\""},
        {"mold round/to/half-down $3.5 $5", "\"$5.00\""},
        {"mold round/to USD$1.26 0.05", "\"USD$1.25\""},
        {"mold round/floor -$0.1", "\"-$1.00\""},
        {"mold round -$0.1", "\"$0.00\""},
    });
}

TEST_F(Money, Errors) {
    check_fails({
        {"$2 * $3", ErrorId::script_invalid_type},
        {"2 / $3", ErrorId::script_invalid_type},
        {"$1 + #\"a\"", ErrorId::script_invalid_type},
        {"$1 / 0", ErrorId::math_zero_divide},
        {"remainder $1 $0", ErrorId::math_zero_divide},
        {"$99999999999999999 * 2", ErrorId::script_type_limit},
        {"$10000000000000000 / $0.00001", ErrorId::script_type_limit},
        {"-$99999999999999999 - $1", ErrorId::script_type_limit},
        {"round/ceiling $99999999999999999.5", ErrorId::script_type_limit},
        {"to money! 0.000001", ErrorId::script_bad_make_arg},
        {"to money! 1e17", ErrorId::script_bad_make_arg},
        {"to money! 1.123456", ErrorId::script_bad_make_arg},
        {"to money! 50%", ErrorId::script_bad_to_arg},
        {"to money! \"1.5\"", ErrorId::script_bad_to_arg},
        {"to money! \"$1 \"", ErrorId::script_bad_to_arg},
        {"to money! \"ABC$1\"", ErrorId::script_bad_to_arg},
        {"to money! [1]", ErrorId::script_bad_to_arg},
        {"make money! [12.5 5]", ErrorId::script_bad_make_arg},
        {"make money! []", ErrorId::script_bad_make_arg},
        {"make money! [USD]", ErrorId::script_bad_make_arg},
        {"make money! [ABC 1]", ErrorId::script_bad_make_arg},
        {"make money! [1 100000]", ErrorId::script_bad_make_arg},
        {"make money! [1 -1]", ErrorId::script_bad_make_arg},
        {"make money! [1 2 3 4]", ErrorId::script_bad_make_arg},
        {"make money! [USD 1 2 3]", ErrorId::script_bad_make_arg},
        {"make money! [\"1\"]", ErrorId::script_bad_make_arg},
        {"make money! 'abc", ErrorId::script_bad_make_arg},
        {"USD$1 < EUR$2", ErrorId::script_wrong_denom},
        {"pick $1 3", ErrorId::script_out_of_range},
        {"as-money 'USD 1.123456", ErrorId::script_bad_make_arg},
        {"as-money 'QQQ 1", ErrorId::script_bad_denom},
    });
    Cell error;
    fails("make money! [USD 1.5 2]", &error);
    EXPECT_EQ(error_arg(error, 1), "2");
    fails("$1 + #\"a\"", &error);
    EXPECT_EQ(error_arg(error, 0), "char!");
}

}  // namespace
