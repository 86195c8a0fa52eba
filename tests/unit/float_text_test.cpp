#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/float_text.hpp"

using namespace zun;

namespace {

double from_bits(uint64_t bits) { return std::bit_cast<double>(bits); }
uint64_t to_bits(double d) { return std::bit_cast<uint64_t>(d); }

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

double parse(const std::string& text, int adjust = 0, int* rest_out = nullptr) {
    int rest = -1;
    double d = dtoa::strtod(bytes(text), bytes(text) + text.size(), adjust, &rest);
    if (rest_out) *rest_out = rest;
    return d;
}

// Digits and decimal point of a text in python's repr or "%e" notation.
dtoa::Decimal decimal_of(const std::string& text) {
    std::string mantissa = text, exponent = "0";
    if (auto e = text.find('e'); e != std::string::npos) {
        mantissa = text.substr(0, e);
        exponent = text.substr(e + 1);
    }
    std::string int_part = mantissa, frac;
    if (auto dot = mantissa.find('.'); dot != std::string::npos) {
        int_part = mantissa.substr(0, dot);
        frac = mantissa.substr(dot + 1);
    }
    std::string all = int_part + frac;
    size_t first = all.find_first_not_of('0');
    size_t last = all.find_last_not_of('0');
    dtoa::Decimal d{};
    std::string digits = all.substr(first, last - first + 1);
    std::strcpy(d.digits, digits.c_str());
    d.length = int(digits.size());
    d.decpt = int(int_part.size()) - int(first) + std::stoi(exponent);
    return d;
}

std::string text_of(const dtoa::Decimal& d) {
    return std::string(d.digits) + "@" + std::to_string(d.decpt);
}

std::string shortest(double value) {
    dtoa::Decimal d;
    dtoa::to_decimal(value, 0, &d);
    return text_of(d);
}

// Scientific text of a decimal, for parsing it back.
std::string scientific(const dtoa::Decimal& d) {
    return std::string(d.digits) + "e" + std::to_string(d.decpt - d.length);
}

// ---------------------------------------------------------------------------
// Digits

// python3's repr of each double.
TEST(FloatText, ShortestDigitsMatchPythonRepr) {
    const struct {
        uint64_t bits;
        const char* repr;
    } cases[] = {
        {0x0000000000000001ull, "5e-324"},
        {0x0000000000000002ull, "1e-323"},
        {0x0010000000000000ull, "2.2250738585072014e-308"},
        {0x000FFFFFFFFFFFFFull, "2.225073858507201e-308"},
        {0x7FEFFFFFFFFFFFFFull, "1.7976931348623157e+308"},
        {0x44B52D02C7E14AF6ull, "1e+23"},
        {0x44B52D02C7E14AF7ull, "1.0000000000000001e+23"},
        {0x4340000000000000ull, "9007199254740992.0"},
        {0x4340000000000001ull, "9007199254740994.0"},
        {0x3FB999999999999Aull, "0.1"},
        {0x3FD3333333333334ull, "0.30000000000000004"},
        {0x3FD5555555555555ull, "0.3333333333333333"},
        {0x3FE5555555555555ull, "0.6666666666666666"},
        {0x437B69B4BA630F35ull, "1.2345678901234568e+17"},
        {0x444B1AE4D6E2EF50ull, "1e+21"},
        {0x4480F0CF064DD592ull, "1e+22"},
        {0x00005C0AB9347ED7ull, "5e-310"},
        {0x0018000000000000ull, "3.337610787760802e-308"},
        {0x407B2FFFFFFFFFFFull, "434.99999999999994"},
        {0x43F0000000000000ull, "1.8446744073709552e+19"},
        {0x3EB0000000000000ull, "9.5367431640625e-07"},
        {0x0000000000000003ull, "1.5e-323"},
        {0x4341C37937E08000ull, "1e+16"},
        {0x4376345785D8A000ull, "1e+17"},
        {0x441AC53A7E04BCDAull, "1.2345678901234568e+20"},
        {0x3FE0000000000000ull, "0.5"},
        {0x4059000000000000ull, "100.0"},
        {0x3E7AD7F29ABCAF48ull, "1e-07"},
        {0x3E45798EE2308C3Aull, "1e-08"},
        {0x447C7E83209E90B2ull, "8.41e+21"},
        {0x3EA0C6F7A0B5ED8Dull, "5e-07"},
        {0x7FEFFFFFFFFFFFFEull, "1.7976931348623155e+308"},
        {0x7FE0000000000000ull, "8.98846567431158e+307"},
        {0x0008000000000000ull, "1.1125369292536007e-308"},
        {0x0000000000000400ull, "5.06e-321"},
        {0x3FF199999999999Aull, "1.1"},
        {0x43B0000000000000ull, "1.152921504606847e+18"},
        {0x3E080D43DE9CC603ull, "7e-10"},
        {0x432550F7DCA70001ull, "3000000000000000.5"},
        {0x72A74DE452E6B438ull, "1.989032661366619e+244"},
        {0x6513270E269E0D37ull, "7.761117632285041e+178"},
        {0x0C5C7FD0A6A3A450ull, "3.980498358697587e-249"},
        {0x523F0824128B2F33ull, "1.5432835417340557e+88"},
        {0x1818E811892F902Bull, "1.3647584518757569e-192"},
        {0x36F675CC81E74EF5ull, "6.294675241195386e-44"},
        {0x3D9C172411E20B8Full, "6.387016158513563e-12"},
        {0x2170B33839263059ull, "1.306052388527796e-147"},
        {0x15E60AF593BD04CFull, "3.51527970626667e-203"},
        {0x0CB1E29C658CDA14ull, "1.5987381841032883e-247"},
        {0x3898D190F9EBDACCull, "4.6678633181812096e-36"},
        {0x6B4CB2424A23D596ull, "7.370437700706684e+208"},
    };
    for (const auto& c : cases) {
        double v = from_bits(c.bits);
        EXPECT_EQ(shortest(v), text_of(decimal_of(c.repr))) << c.repr;
        dtoa::Decimal exact;
        dtoa::detail::to_decimal_exact(v, 0, &exact);
        EXPECT_EQ(text_of(exact), text_of(decimal_of(c.repr))) << c.repr;
    }
}

// python3's "%.<n-1>e" of each double: correctly rounded, ties to even.
TEST(FloatText, FixedDigitsMatchPythonFormat) {
    const struct {
        uint64_t bits;
        int ndigits;
        const char* text;
    } cases[] = {
        {0x3FC0000000000000ull, 2, "1.2e-01"},
        {0x3FD8000000000000ull, 2, "3.8e-01"},
        {0x4004000000000000ull, 1, "2e+00"},
        {0x400C000000000000ull, 1, "4e+00"},
        {0x43118B54F22AEB02ull, 16, "1.234567890123456e+15"},
        {0x0000000000000001ull, 3, "4.94e-324"},
        {0x44B52D02C7E14AF6ull, 17, "9.9999999999999992e+22"},
        {0x3FB999999999999Aull, 25, "1.000000000000000055511151e-01"},
        {0x3FB999999999999Aull, 17, "1.0000000000000001e-01"},
        {0x3FD5555555555555ull, 13, "3.333333333333e-01"},
        {0x3FD5555555555555ull, 30, "3.33333333333333314829616256247e-01"},
        {0x407B2FFFFFFFFFFFull, 16, "4.349999999999999e+02"},
        {0x407B2FFFFFFFFFFFull, 14, "4.3500000000000e+02"},
        {0x4023000000000000ull, 1, "1e+01"},
        {0x3FEE666666666666ull, 1, "9e-01"},
        {0x4058FCCCCCCCCCCDull, 3, "1.00e+02"},
        {0x7FEFFFFFFFFFFFFFull, 5, "1.7977e+308"},
        {0x0000000000000003ull, 1, "1e-323"},
        {0x01A56E1FC2F8F359ull, 20, "1.0000000000000000251e-300"},
        {0x405EDD2F1A9FBE77ull, 6, "1.23456e+02"},
        {0x404DFFFFFF29406Bull, 6, "6.00000e+01"},
        {0x3F202E85BE111841ull, 7, "1.234568e-04"},
        {0x416312CFF0000000ull, 7, "1.000000e+07"},
        {0x4450000000000000ull, 18, "1.18059162071741130e+21"},
        {0x3E8421F5F40D8376ull, 16, "1.500000000000000e-07"},
        {0x401C000000000000ull, 16, "7.000000000000000e+00"},
    };
    for (const auto& c : cases) {
        dtoa::Decimal d;
        dtoa::to_decimal(from_bits(c.bits), c.ndigits, &d);
        EXPECT_EQ(text_of(d), text_of(decimal_of(c.text))) << c.text;
    }
}

// Random doubles of several shapes: the shortest text reads back to the same
// double, one digit fewer (correctly rounded) does not, and the fast path
// agrees with the big-integer generator in both modes.
TEST(FloatText, ShortestRoundTripsOverRandomDoubles) {
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 120000; i++) {
        uint64_t r = random();
        double v;
        switch (i % 4) {
            case 0: v = from_bits(r & 0x7FFFFFFFFFFFFFFFull); break;
            case 1: v = double(r >> (r % 64)); break;
            case 2: v = double(r % 1000000) / std::pow(10.0, double(r % 23)); break;
            default: v = from_bits(r & 0x000FFFFFFFFFFFFFull); break;
        }
        if (!std::isfinite(v) || v == 0) continue;
        dtoa::Decimal d;
        dtoa::to_decimal(v, 0, &d);
        ASSERT_LE(d.length, 17);
        ASSERT_NE(d.digits[d.length - 1], '0');
        int rest;
        std::string text = scientific(d);
        ASSERT_EQ(to_bits(parse(text, 0, &rest)), to_bits(v)) << text;
        EXPECT_EQ(rest, 0);
        if (d.length > 1) {
            dtoa::Decimal shorter;
            dtoa::to_decimal(v, d.length - 1, &shorter);
            ASSERT_NE(to_bits(parse(scientific(shorter))), to_bits(v)) << text;
        }
        if (i % 8 == 0) {
            int ndigits = int(r >> 59) % 20;
            dtoa::Decimal fast, exact;
            dtoa::to_decimal(v, ndigits, &fast);
            dtoa::detail::to_decimal_exact(v, ndigits, &exact);
            ASSERT_EQ(text_of(fast), text_of(exact)) << text << " ndigits " << ndigits;
        }
    }
}

TEST(FloatText, Log10OfPowersOfTwo) {
    for (int e = -1700; e <= 1700; e++)
        ASSERT_EQ(dtoa::detail::floor_log10_pow2(e),
                  int(std::floor(static_cast<long double>(e) * std::log10(2.0L))))
            << e;
}

// ---------------------------------------------------------------------------
// dtoa and form_float

TEST(FloatText, SpecialAndZeroTexts) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        bool point_zero;
        const char* text;
        int decpt;
        int sign;
    } cases[] = {
        {inf, true, "1.#INF", dtoa::DECPT_SPECIAL, 0},
        {-inf, true, "-1.#INF", dtoa::DECPT_SPECIAL, 1},
        {from_bits(0x7FF8000000000000ull), true, "1.#NaN", dtoa::DECPT_SPECIAL, 0},
        {from_bits(0xFFF0000000000001ull), false, "1.#NaN", dtoa::DECPT_SPECIAL, 1},
        {0.0, true, "0.0", dtoa::DECPT_ZERO, 0},
        {-0.0, true, "-0.0", dtoa::DECPT_ZERO, 1},
        {0.0, false, "0", dtoa::DECPT_ZERO, 0},
        {-0.0, false, "-0", dtoa::DECPT_ZERO, 1},
    };
    for (const auto& c : cases) {
        int decpt, sign, length;
        EXPECT_STREQ(dtoa::dtoa(c.value, 0, &decpt, &sign, &length, c.point_zero), c.text);
        EXPECT_EQ(decpt, c.decpt) << c.text;
        EXPECT_EQ(sign, c.sign) << c.text;
        EXPECT_STREQ(dtoa::form_float(c.value, 0, c.point_zero), c.text);
    }
    int decpt, sign, length;
    EXPECT_STREQ(dtoa::dtoa(-2.5, 0, &decpt, &sign, &length, true), "-25");
    EXPECT_EQ(decpt, 1);
    EXPECT_EQ(sign, 1);
    EXPECT_EQ(length, 2);
}

TEST(FloatText, FormFloatLayout) {
    const struct {
        double value;
        int ndigits;
        bool point_zero;
        const char* text;
    } cases[] = {
        {1.0, 0, true, "1.0"},
        {100.0, 0, true, "100.0"},
        {0.1, 0, true, "0.1"},
        {1e16, 0, true, "10000000000000000.0"},
        {1e17, 0, true, "1.0e17"},
        {1.5e300, 0, true, "1.5e300"},
        {1e-7, 0, true, "0.0000001"},
        {1e-8, 0, true, "1.0e-8"},
        {0.1 + 0.2, 0, true, "0.30000000000000004"},
        {-2.5, 0, true, "-2.5"},
        {from_bits(1), 0, true, "5.0e-324"},
        {1.2345678901234568e20, 0, true, "1.2345678901234568e20"},
        {1e17, 0, false, "1e17"},
        {100.0, 0, false, "100"},
        {-1.5e-7, 0, true, "-0.00000015"},
        {-1.5e-8, 0, true, "-1.5e-8"},
        {123.456, 0, true, "123.456"},
        {59.9999999, 6, false, "60"},
        {1.5, 6, false, "1.5"},
        {0.125, 2, false, "0.12"},
        {12345678.9, 3, true, "12300000.0"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(dtoa::form_float(c.value, c.ndigits, c.point_zero), c.text) << c.text;
}

// ---------------------------------------------------------------------------
// strtod

TEST(FloatText, ParsesNumbersAndReportsTheRest) {
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* text;
        int adjust;
        double value;
        int rest;
    } cases[] = {
        {"1.5", 0, 1.5, 0},
        {"-2.25e2", 0, -225.0, 0},
        {"+.5", 0, 0.5, 0},
        {"1.", 0, 1.0, 0},
        {"1e400", 0, inf, 0},
        {"-1e400", 0, -inf, 0},
        {"1e-400", 0, 0.0, 0},
        {"-1.#INF", 0, -inf, 0},
        {"1.#INF", 0, inf, 0},
        {"1.5x", 0, 1.5, 1},
        {"000", 0, 0.0, 0},
        {"1e", 0, 1.0, 1},
        {"1e+", 0, 1.0, 2},
        {"2E-3", 0, 0.002, 0},
        {"50", -2, 0.5, 0},
        {"12.5", -2, 0.125, 0},
        {"0.30000000000000004", 0, 0.1 + 0.2, 0},
        {"4.9406564584124654e-324", 0, from_bits(1), 0},
        {"2.4703282292062328e-324", 0, from_bits(1), 0},  // just above half the smallest
        {"2.4703282292062327e-324", 0, 0.0, 0},           // just below
        {"1.7976931348623158e308", 0, 1.7976931348623157e308, 0},
        {"1.7976931348623159e308", 0, inf, 0},
        {"9007199254740993", 0, 9007199254740992.0, 0},  // tie to even
        {"9007199254740993.0000000000000000000000001", 0, 9007199254740994.0, 0},
        {"0.000001e6", 0, 1.0, 0},
        {"1#", 0, 1.0, 1},
        {"1.#Q", 0, 1.0, 2},
    };
    for (const auto& c : cases) {
        int rest;
        double d = parse(c.text, c.adjust, &rest);
        EXPECT_EQ(to_bits(d), to_bits(c.value)) << c.text;
        EXPECT_EQ(rest, c.rest) << c.text;
    }
    int rest;
    EXPECT_TRUE(std::isnan(parse("1.#nan", 0, &rest)));
    EXPECT_EQ(to_bits(parse("-1.#NaN")), 0x7FF8000000000000ull);
}

TEST(FloatText, TextWithoutDigits) {
    const struct {
        const char* text;
        uint64_t bits;
        int rest;
    } cases[] = {
        {"", 0, 0},
        {"-", 0x8000000000000000ull, 1},
        {".", 0, 1},
        {"abc", 0, 3},
        {"-e5", 0x8000000000000000ull, 3},
        {"-0", 0, 0},  // zeros to the end: +0.0 whatever the sign
        {"-0.0", 0x8000000000000000ull, 0},
        {"-0e9", 0x8000000000000000ull, 0},
        {"0.000", 0, 0},
    };
    for (const auto& c : cases) {
        int rest;
        EXPECT_EQ(to_bits(parse(c.text, 0, &rest)), c.bits) << "'" << c.text << "'";
        EXPECT_EQ(rest, c.rest) << "'" << c.text << "'";
    }
}

// The exact decimal digits of m x 5^n (so m x 2^-n is those digits x 10^-n).
std::string digits_of(uint64_t m, int n) {
    std::vector<uint32_t> d;  // least significant first
    for (; m; m /= 10) d.push_back(uint32_t(m % 10));
    for (int i = 0; i < n; i++) {
        uint32_t carry = 0;
        for (uint32_t& x : d) {
            x = x * 5 + carry;
            carry = x / 10;
            x %= 10;
        }
        for (; carry; carry /= 10) d.push_back(carry % 10);
    }
    std::string text;
    for (auto it = d.rbegin(); it != d.rend(); ++it) text += char('0' + *it);
    return text;
}

// Long inputs: the decision lies beyond the 19th digit and beyond the 800th.
TEST(FloatText, LongDigitStrings) {
    // The halfway point between the subnormals 0x000FFFFFFFFFFFFE and ...FF has
    // 768 significant digits; its tie goes down to the even one.
    std::string half = digits_of((uint64_t(1) << 53) - 3, 1075);
    ASSERT_EQ(half.size(), 768u);
    EXPECT_EQ(to_bits(parse(half + "e-1075")), 0x000FFFFFFFFFFFFEull);
    EXPECT_EQ(to_bits(parse(half + "1e-1076")), 0x000FFFFFFFFFFFFFull);
    EXPECT_EQ(to_bits(parse(half + std::string(100, '0') + "1e-1176")), 0x000FFFFFFFFFFFFFull);
    std::string below = half;
    below.back()--;
    EXPECT_EQ(to_bits(parse(below + std::string(100, '9') + "e-1175")), 0x000FFFFFFFFFFFFEull);

    // 2^53 + 1 is the halfway point between 2^53 and 2^53 + 2.
    std::string tie = "9007199254740993";
    EXPECT_EQ(parse(tie + "." + std::string(900, '0')), 9007199254740992.0);
    EXPECT_EQ(parse(tie + "." + std::string(900, '0') + "1"), 9007199254740994.0);
    EXPECT_EQ(parse(tie + std::string(900, '0') + "e-900"), 9007199254740992.0);
    EXPECT_EQ(parse("0." + std::string(400, '0') + "1e400"), 0.1);
    EXPECT_EQ(parse(std::string(400, '1') + "e-400"), parse("1.1111111111111111111e-1"));
}

// Every decimal text of the shared float-parse corpus (hex16 hex32 hex64
// hex128 text per line) parses to the file's float64 bits.
TEST(FloatText, ParseCorpusMatchesExactBits) {
    auto dir =
        std::filesystem::path(__FILE__).parent_path() / "../../../shared/corpora/float-parse";
    if (!std::filesystem::is_directory(dir)) GTEST_SKIP() << "corpus not found: " << dir;
    int files = 0, lines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".txt") continue;
        files++;
        std::ifstream file(entry.path());
        std::string line;
        while (std::getline(file, line)) {
            std::istringstream fields(line);
            std::string h16, h32, h64, h128, text;
            if (!(fields >> h16 >> h32 >> h64 >> h128 >> text)) continue;
            lines++;
            int rest;
            double d = parse(text, 0, &rest);
            ASSERT_EQ(to_bits(d), std::stoull(h64, nullptr, 16))
                << entry.path().filename() << ": " << text.substr(0, 80);
            ASSERT_EQ(rest, 0) << text.substr(0, 80);
        }
    }
    EXPECT_GT(files, 0);
    EXPECT_GT(lines, 0);
}

}  // namespace
