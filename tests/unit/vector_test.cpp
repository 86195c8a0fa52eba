// vector!: making from each spec form, mold and form, comparison, element-wise
// arithmetic for every element type (narrow integers wrap), append, insert and
// change, and the element routines other modules call.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "datatypes/series/vector.hpp"
#include "tests/unit/eval_fixture.hpp"
#include "tests/unit/python_oracle.hpp"

using namespace zun;

namespace {

using eval_test::Case;
using Fail = eval_test::Failure;

using test_support::python_lines;

class Vector : public eval_test::EvalTest {};

struct Runner : eval_test::EvalTest {
    using EvalTest::fails;
    using EvalTest::run;
};

void run_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) EXPECT_EQ(Runner::run(c.code), c.molded) << c.code;
}
void run_fails(const std::vector<Fail>& cases) {
    for (const Fail& f : cases)
        EXPECT_EQ(Runner::fails(f.code), f.id) << f.code << ": " << error_info(Runner::fails(f.code)).id_name;
}

TEST_F(Vector, MakeFromEachSpecForm) {
    run_cases({
        // a count, a float count truncated
        {"mold make vector! 3", "\"make vector! [0 0 0]\""},
        {"mold make vector! 2.9", "\"make vector! [0.0 0.0]\""},
        {"mold make vector! 0", "\"make vector! [integer! 32 []]\""},
        {"mold make vector! -4", "\"make vector! [integer! 32 []]\""},
        // a block of values: the first value's type at its default size
        {"mold make vector! [1 2 3]", "\"make vector! [1 2 3]\""},
        {"mold make vector! [1.5 -2.0]", "\"make vector! [1.5 -2.0]\""},
        {"mold make vector! [#\"a\" #\"b\"]", "{make vector! [#\"a\" #\"b\"]}"},
        {"mold make vector! [50% 1%]", "\"make vector! [50% 1%]\""},
        // type and size, then values, a count, or a count and values
        {"mold make vector! [integer! 16 [1 2 3]]", "\"make vector! [integer! 16 [1 2 3]]\""},
        {"mold make vector! [integer! 8 5 [1 2]]", "\"make vector! [integer! 8 [1 2 0 0 0]]\""},
        {"mold make vector! [integer! 32 1 [1 2 3]]", "\"make vector! [1 2 3]\""},
        {"mold make vector! [integer! 32 2]", "\"make vector! [0 0]\""},
        {"mold make vector! [integer! 8 0]", "\"make vector! [integer! 8 []]\""},
        {"mold make vector! [integer! 8]", "\"make vector! [integer! 8 []]\""},
        {"mold make vector! [INTEGER! 16 [40000]]", "\"make vector! [integer! 16 [-25536]]\""},
        {"mold make vector! [char! 16 [#\"x\"]]", "{make vector! [char! 16 [#\"x\"]]}"},
        {"mold make vector! [float! 32 [1.5 0.25]]", "\"make vector! [float! 32 [1.5 0.25]]\""},
        {"mold make vector! [float! 64 [1.5]]", "\"make vector! [1.5]\""},
        // percent! takes any size and always keeps doubles; the size may be left out
        {"mold make vector! [percent! [50%]]", "\"make vector! [50%]\""},
        {"mold make vector! [percent! 16 [50%]]", "\"make vector! [50%]\""},
        {"mold make vector! [percent! 8 2]", "\"make vector! [0% 0%]\""},
        {"length? make vector! [integer! 8 100]", "100"},
    });
}

TEST_F(Vector, MakeErrors) {
    run_fails({
        {"make vector! []", ErrorId::script_invalid_type},
        {"make vector! [\"a\"]", ErrorId::script_invalid_type},
        {"make vector! [integer!]", ErrorId::script_bad_make_arg},
        {"make vector! [string! 8 [1]]", ErrorId::script_bad_make_arg},
        {"make vector! [integer! 12 [1]]", ErrorId::script_bad_make_arg},
        {"make vector! [integer! 64 [1]]", ErrorId::script_bad_make_arg},
        {"make vector! [float! 16 [1.0]]", ErrorId::script_bad_make_arg},
        {"make vector! [integer! [1 2]]", ErrorId::script_invalid_spec_field},
        {"make vector! [integer! 8 \"x\"]", ErrorId::script_invalid_spec_field},
        {"make vector! [1 2.0]", ErrorId::script_invalid_arg},
        {"make vector! [integer! 8 [1 #\"a\"]]", ErrorId::script_invalid_arg},
        {"make vector! \"abc\"", ErrorId::internal_not_done},
        {"make vector! 1e10", ErrorId::script_out_of_range},
    });
}

TEST_F(Vector, MoldAndForm) {
    run_cases({
        {"form make vector! [1 2 3]", "\"1 2 3\""},
        {"form make vector! [float! 32 [0.1]]", "\"0.1\""},
        {"form make vector! [0.1 1e300]", "\"0.1 1.0e300\""},
        {"form make vector! [50% 12.5%]", "\"50% 12.5%\""},
        {"form make vector! [#\"a\" #\"^/\"]", "\"a ^^/\""},
        {"mold make vector! [#\"a\" #\"^/\"]", "{make vector! [#\"a\" #\"^^/\"]}"},
        {"mold next make vector! [1 2 3]", "\"make vector! [2 3]\""},
        {"mold tail make vector! [1 2 3]", "\"make vector! [integer! 32 []]\""},
        {"mold/only make vector! [1 2]", "\"1 2\""},
        {"mold/only make vector! [integer! 8 [1 2]]", "\"integer! 8 [1 2]\""},
        {"mold/part make vector! [1 2 3 4] 17", "\"make vector! [1 2\""},
        {"form/part make vector! [10 20 30] 4", "\"10 2\""},
    });
}

// Chars above 127 in 8- and 16-bit vectors read back as the same chars.
TEST_F(Vector, NarrowCharsReadBackUnsigned) {
    run_cases({
        {"mold/all make vector! [char! 8 [#\"^(E9)\" #\"^(FF)\" #\"^(80)\"]]",
         "{make vector! [char! 8 [#\"^^(E9)\" #\"^^(FF)\" #\"^^(80)\"]]}"},
        {"to integer! pick form make vector! [char! 8 [#\"^(E9)\"]] 1", "233"},
        {"mold/all make vector! [char! 16 [#\"^(FFFF)\" #\"^(8000)\"]]",
         "{make vector! [char! 16 [#\"^^(FFFF)\" #\"^^(8000)\"]]}"},
        {"equal? make vector! [char! 8 [#\"^(FF)\"]] make vector! [char! 32 [#\"^(FF)\"]]",
         "true"},
        {"lesser? make vector! [char! 8 [#\"a\"]] make vector! [char! 8 [#\"^(E9)\"]]", "true"},
    });
    for (uint32_t unit : {1u, 2u}) {
        uint8_t bytes[2] = {0xE9, unit == 2 ? uint8_t(0x80) : uint8_t(0)};
        Cell c = vector::element_value(bytes, unit, TYPE_CHAR);
        EXPECT_EQ(c.type(), uint32_t(TYPE_CHAR));
        EXPECT_EQ(c.data2, unit == 1 ? 0xE9u : 0x80E9u);
        Cell i = vector::element_value(bytes, unit, TYPE_INTEGER);
        EXPECT_EQ(i.as_int(), unit == 1 ? -23 : int32_t(int16_t(0x80E9)));
    }
}

TEST_F(Vector, Compare) {
    run_cases({
        {"equal? make vector! [1 2] make vector! [integer! 16 [1 2]]", "true"},
        {"equal? make vector! [1 2] make vector! [1 2 3]", "false"},
        {"equal? make vector! [1 2] next make vector! [0 1 2]", "true"},
        {"equal? make vector! [integer! 8 0] make vector! 0", "true"},
        {"lesser? make vector! [1 2] make vector! [1 3]", "true"},
        {"lesser? make vector! [1 2] make vector! [1 2 0]", "true"},
        {"greater? make vector! [integer! 8 [-1]] make vector! [integer! 16 [-2]]", "true"},
        {"equal? make vector! [float! 32 [0.5]] make vector! [0.5]", "true"},
        {"v: make vector! [1] same? v v", "true"},
        {"same? make vector! [1] make vector! [1]", "false"},
        {"equal? make vector! [1] [1]", "false"},
        // a NaN ends the comparison as equal
        {"n: make vector! [1.0] n: divide n 0 n: subtract n n "
         "equal? n make vector! [5.0]", "true"},
    });
    run_fails({{"equal? make vector! [1] make vector! [1.0]", ErrorId::script_not_same_type}});
}

// Each element type against a scalar and against a vector; narrow integer
// elements wrap into their width, 32-bit ones modulo 2^32.
TEST_F(Vector, ArithmeticForEachElementType) {
    run_cases({
        // integer! 8
        {"mold add make vector! [integer! 8 [100 -100 127]] 100",
         "\"make vector! [integer! 8 [-56 0 -29]]\""},
        {"mold multiply make vector! [integer! 8 [16 -3]] 16",
         "\"make vector! [integer! 8 [0 -48]]\""},
        {"mold subtract make vector! [integer! 8 [-128]] 1", "\"make vector! [integer! 8 [127]]\""},
        {"mold divide make vector! [integer! 8 [-128 7]] -1",
         "\"make vector! [integer! 8 [-128 -7]]\""},
        // integer! 16
        {"mold multiply make vector! [integer! 16 [30000 -2]] 3",
         "\"make vector! [integer! 16 [24464 -6]]\""},
        {"mold add make vector! [integer! 16 [32767]] make vector! [integer! 16 [1]]",
         "\"make vector! [integer! 16 [-32768]]\""},
        // integer! 32
        {"mold add make vector! [2147483647] 1", "\"make vector! [-2147483648]\""},
        {"mold subtract make vector! [-2147483648] 1", "\"make vector! [2147483647]\""},
        {"mold multiply make vector! [65536 65536] make vector! [65536 2]",
         "\"make vector! [0 131072]\""},
        {"mold divide make vector! [-2147483648] -1", "\"make vector! [-2147483648]\""},
        {"mold divide make vector! [7 -7 9] 2", "\"make vector! [3 -3 4]\""},
        {"mold remainder make vector! [7 -7] 3", "\"make vector! [1 -1]\""},
        {"mold and~ make vector! [12 10] 6", "\"make vector! [4 2]\""},
        {"mold or~ make vector! [12 10] make vector! [1 5]", "\"make vector! [13 15]\""},
        {"mold xor~ make vector! [12 -1] 5", "\"make vector! [9 -6]\""},
        {"mold multiply make vector! [3 4] 2.9", "\"make vector! [6 8]\""},
        {"mold add make vector! [1 2] #\"a\"", "\"make vector! [98 99]\""},
        // char! 8: the sum wraps to the low byte, read back unsigned
        {"form add make vector! [char! 8 [#\"a\" #\"^(FF)\"]] 1", "\"b ^^@\""},
        {"form add make vector! [char! 32 [#\"a\"]] make vector! [char! 32 [#\"^(01)\"]]",
         "\"b\""},
        // float! 64 and 32
        {"mold multiply make vector! [1.5 -2.0] 2", "\"make vector! [3.0 -4.0]\""},
        {"mold divide make vector! [1.0 -1.0] 0", "\"make vector! [1.#INF -1.#INF]\""},
        {"mold remainder make vector! [7.5] 2", "\"make vector! [1.5]\""},
        {"mold add make vector! [float! 32 [0.5]] 0.25", "\"make vector! [float! 32 [0.75]]\""},
        {"mold subtract make vector! [float! 32 [1.0 2.0]] make vector! [0.5 0.5]",
         "\"make vector! [0.5 1.5]\""},
        // percent!
        {"mold multiply make vector! [50% 25%] 2", "\"make vector! [100% 50%]\""},
        {"mold add make vector! [50%] 10%", "\"make vector! [60%]\""},
        // vectors of different lengths and sizes: the shorter count, the wider unit
        {"mold add make vector! [integer! 8 [100 1 2]] make vector! [integer! 16 [100 2]]",
         "\"make vector! [integer! 16 [200 3]]\""},
        // from the head; the first vector changes in place
        {"v: make vector! [1 2 3] add next v 10 v", "make vector! [1 12 13]"},
        // (a vector operand gives a new vector in the first argument's place)
        {"v: make vector! [1 2] w: add v make vector! [1 1] reduce [v w]",
         "[make vector! [1 2] make vector! [2 3]]"},
        {"v: make vector! [1 2] v + 1 v", "make vector! [2 3]"},
        // 0 added and 1 multiplied leave the vector alone
        {"mold add make vector! [float! 32 [1.5]] 0", "\"make vector! [float! 32 [1.5]]\""},
        {"mold divide make vector! [5] 1", "\"make vector! [5]\""},
    });
}

TEST_F(Vector, ArithmeticErrors) {
    run_fails({
        {"divide make vector! [1 2] 0", ErrorId::math_zero_divide},
        {"remainder make vector! [integer! 8 [1]] 0", ErrorId::math_zero_divide},
        {"divide make vector! [1 2] make vector! [1 0]", ErrorId::math_zero_divide},
        {"add make vector! [1] make vector! [1.0]", ErrorId::script_not_same_type},
        {"and~ make vector! [1.0] 1", ErrorId::script_cannot_use},
        {"or~ make vector! [50%] make vector! [50%]", ErrorId::script_cannot_use},
        {"add make vector! [1] 1x2", ErrorId::internal_not_done},
        {"add make vector! [1] 1e10", ErrorId::math_overflow},
    });
    // A failed division leaves the vector as it was.
    run_cases({{"v: make vector! [4 6] try [divide v 0] v", "make vector! [4 6]"},
               {"v: make vector! [4 6] try [divide v make vector! [2 0]] v",
                "make vector! [4 6]"}});
}

TEST_F(Vector, AppendInsertChange) {
    run_cases({
        {"v: make vector! [1 2] append v 3 v", "make vector! [1 2 3]"},
        {"v: make vector! [1 2] append v [3 4] v", "make vector! [1 2 3 4]"},
        {"v: make vector! [1] append v [] v", "make vector! [1]"},
        {"v: make vector! [1] append/part v [2 3 4] 2 v", "make vector! [1 2 3]"},
        {"v: make vector! [1] append/dup v 7 3 v", "make vector! [1 7 7 7]"},
        {"v: make vector! [1] append/dup v [2 3] 2 v", "make vector! [1 2 3 2 3]"},
        {"index? append next make vector! [1 2] 3", "1"},
        {"v: make vector! [integer! 8 [1]] append v 300 v", "make vector! [integer! 8 [1 44]]"},
        {"v: make vector! [float! 32 [1.0]] append v 2.5 v", "make vector! [float! 32 [1.0 2.5]]"},
        {"v: make vector! [1 2] append v v v", "make vector! [1 2 1 2]"},
        {"v: make vector! [integer! 8 [1]] append v make vector! [300] v",
         "make vector! [integer! 8 [1 44]]"},
        // insert goes in at the head and answers the position after
        {"v: make vector! [1 4] insert next v [2 3] v", "make vector! [1 2 3 4]"},
        {"index? insert next make vector! [1 4] [2 3]", "4"},
        {"v: make vector! [1 2] insert v v v", "make vector! [1 2 1 2]"},
        {"v: make vector! [1 2] x: make vector! 0 loop 100 [append x 5] length? x", "100"},
        // change writes over the elements, /part says how many it replaces
        {"v: make vector! [1 2 3] change v 9 v", "make vector! [9 2 3]"},
        {"v: make vector! [1 2 3] change next v [8 9 10] v", "make vector! [1 8 9 10]"},
        {"v: make vector! [1 2 3] change/part v 7 2 v", "make vector! [7 3]"},
        {"v: make vector! [1 2 3] change/part v [7 8 9] 1 v", "make vector! [7 8 9 2 3]"},
        {"v: make vector! [1 2 3] change v make vector! [integer! 8 [5 6]] v",
         "make vector! [5 6 3]"},
        {"v: make vector! [1 2] change tail v 3 v", "make vector! [1 2 3]"},
        {"v: make vector! [1 2 3] change/dup v 0 2 v", "make vector! [0 0 3]"},
        {"v: make vector! [1 2 3] change v to paren! [4 5] v", "make vector! [4 5 3]"},
        {"index? change make vector! [1 2 3] [7 8]", "3"},
        {"v: make vector! [1 2 3] change next v v v", "make vector! [1 1 2 3]"},
    });
    run_fails({
        {"append make vector! [1] 2.0", ErrorId::script_invalid_arg},
        {"append make vector! [1] [2 3.0]", ErrorId::script_invalid_arg},
        {"insert make vector! [1.0] #\"a\"", ErrorId::script_invalid_arg},
        {"change make vector! [1] \"a\"", ErrorId::script_invalid_arg},
        {"change make vector! [1] make vector! [1.0]", ErrorId::script_invalid_arg},
    });
    // a rejected block changes nothing
    run_cases({{"v: make vector! [1] try [append v [2 3.0]] v", "make vector! [1]"}});
}

// The series actions the vector inherits.
TEST_F(Vector, InheritedSeriesActions) {
    run_cases({
        {"pick make vector! [10 20 30] 2", "20"},
        {"v: make vector! [10 20] v/2: 5 v", "make vector! [10 5]"},
        {"pick make vector! [integer! 16 [40000]] 1", "-25536"},
        {"pick make vector! [1.5 2.5] 2", "2.5"},
        {"mold copy next make vector! [integer! 8 [1 2 3]]", "\"make vector! [integer! 8 [2 3]]\""},
        {"index? find make vector! [1 2 3] 3", "3"},
        {"v: make vector! [3 1 2] sort v", "make vector! [1 2 3]"},
        {"v: make vector! [1 2 3] remove v v", "make vector! [2 3]"},
        {"v: make vector! [1 2 3] clear next v v", "make vector! [1]"},
        {"take make vector! [integer! 8 [-3 2]]", "-3"},
    });
    run_fails({{"v: make vector! [1 2] v/1: 1.5", ErrorId::script_invalid_arg}});
}

// The routines other modules call directly.
TEST_F(Vector, ElementRoutines) {
    Cell* vec = stack::push_cell();
    vector::make_at(vec, 2, TYPE_INTEGER, 4);
    EXPECT_EQ(vector::length_from_head(vec), 0);
    vector::append_int32(vec, -5);
    vector::append_int32(vec, 70000);
    Cell v = make_cell(TYPE_INTEGER, 0, 9, 0);
    vector::append_value(vec, &v);
    EXPECT_EQ(vector::length_from_head(vec), 3);
    EXPECT_EQ(eval_test::mold(*vec), "make vector! [-5 70000 9]");

    Cell* block = stack::push_cell();
    *block = make_cell(TYPE_NONE);
    vector::to_block(vec, block);
    EXPECT_EQ(eval_test::mold(*block), "[-5 70000 9]");

    vec->data1 = 1;
    vector::clear_from_head(vec);
    vec->data1 = 0;
    EXPECT_EQ(eval_test::mold(*vec), "make vector! [-5]");

    Cell f = make_cell(TYPE_FLOAT);
    f.set_double(1.5);
    EXPECT_EQ(test_support::caught([&] { vector::append_value(vec, &f); }),
              ErrorId::script_invalid_arg);
    uint8_t bytes[8] = {};
    Cell word = make_cell(TYPE_NONE);
    EXPECT_EQ(test_support::caught([&] { vector::store_element(bytes, &word, 4); }),
              ErrorId::script_invalid_type);
    vector::store_element(bytes, &f, 4);
    EXPECT_EQ(vector::get_float(bytes, 4), 1.5);
    Cell* big = stack::push_cell();
    EXPECT_EQ(test_support::caught([&] { vector::make_at(big, 0x40000000, TYPE_FLOAT, 8); }),
              ErrorId::internal_no_memory);
}

// ---------------------------------------------------------------- python3 as the judge


// The bytes of the vector the code evaluates to, from its head, in hex.
std::string result_hex(const char* code) {
    std::string out = "error";
    test_support::caught([&] {
        Cell* block = stack::push_cell();
        *block = make_cell(TYPE_NONE);
        lexer::transcode(block, reinterpret_cast<const uint8_t*>(code), uint32_t(std::strlen(code)),
                         lexer::Options{}, nullptr);
        if (interpreter::eval_block(block, false) != Flow::normal) return;
        const Cell v = stack::g_top[-1];
        if (!v.is(TYPE_VECTOR)) return;
        memory::SeriesBuffer* b = memory::buffer_of(v.data2);
        out.clear();
        for (const uint8_t* p = b->head_ptr() + v.data1 * b->unit(); p < b->tail_ptr(); p++) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", *p);
            out += two;
        }
    });
    return out;
}

constexpr const char* k_oracle = R"(import struct, math
FMT = {('integer!', 8): 'b', ('integer!', 16): 'h', ('integer!', 32): 'i',
       ('float!', 32): 'f', ('float!', 64): 'd'}
def wrap(v, bits):
    m = 1 << bits
    v %= m
    return v - m if v >= m >> 1 else v
def trunc_div(a, b):
    q = abs(a) // abs(b)
    return -q if (a < 0) != (b < 0) else q
def ints(op, a, b, bits):
    ops = {'add': lambda: a + b, 'subtract': lambda: a - b, 'multiply': lambda: a * b,
           'divide': lambda: trunc_div(a, b), 'remainder': lambda: a - b * trunc_div(a, b),
           'and~': lambda: a & b, 'or~': lambda: a | b, 'xor~': lambda: a ^ b}
    return wrap(ops[op](), bits)
def floats(op, a, b):
    ops = {'add': lambda: a + b, 'subtract': lambda: a - b, 'multiply': lambda: a * b,
           'divide': lambda: a / b, 'remainder': lambda: math.fmod(a, b)}
    return ops[op]()
def stored(kind, bits, text):
    v = int(text) if kind == 'integer!' else float(text)
    if kind == 'integer!':
        return wrap(v, bits)
    return struct.unpack('<' + FMT[kind, bits], struct.pack('<' + FMT[kind, bits], v))[0]
for line in CASES.strip().split('\n'):
    kind, bits, op, a, b, s = line.split('|')
    bits = int(bits)
    a = [stored(kind, bits, t) for t in a.split()]
    b = [stored(kind, bits, t) for t in b.split()]
    s = int(s) if kind == 'integer!' else float(s)
    f = (lambda x, y: ints(op, x, y, bits)) if kind == 'integer!' else (lambda x, y: floats(op, x, y))
    pack = lambda vals: struct.pack('<%d%s' % (len(vals), FMT[kind, bits]), *vals).hex()
    print(pack([f(x, y) for x, y in zip(a, b)]) + ' ' + pack([f(x, s) for x in a]))
)";

// Element-wise results of every operation on each element type, vector with
// vector and vector with a number, against python3's struct packing (which
// also rounds 32-bit floats the way the elements store them).
TEST_F(Vector, ArithmeticMatchesPython) {
    std::mt19937 gen(20261210);
    struct Kind {
        const char* type;
        int bits;
    };
    const Kind kinds[] = {{"integer!", 8}, {"integer!", 16}, {"integer!", 32}, {"float!", 32},
                          {"float!", 64}};
    const char* int_ops[] = {"add", "subtract", "multiply", "divide", "remainder", "and~", "or~", "xor~"};
    struct Row {
        std::string a_code, s_code;
    };
    std::vector<Row> rows;
    std::string cases;
    for (const Kind& k : kinds) {
        bool is_int = k.type[0] == 'i';
        int64_t limit = is_int ? (int64_t(1) << (k.bits - 1)) - 1 : 0;
        auto number = [&](bool nonzero) {
            char text[40];
            if (is_int) {
                // Extremes (and -1, for the one division that overflows) turn up often.
                int64_t picks[] = {-limit - 1, limit, -1, int64_t(gen() % 7) - 3,
                                   int64_t(gen() % uint64_t(2 * limit + 2)) - limit - 1};
                int64_t v = picks[gen() % 5];
                if (nonzero && v == 0) v = 5;
                std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
            } else {
                double v = std::uniform_real_distribution<double>(-1e4, 1e4)(gen);
                if (nonzero && v == 0) v = 0.5;
                std::snprintf(text, sizeof text, "%.6f", v);
            }
            return std::string(text);
        };
        for (const char* op : int_ops) {
            bool bitwise = op[std::strlen(op) - 1] == '~';
            if (!is_int && bitwise) continue;
            bool divides = !std::strcmp(op, "divide") || !std::strcmp(op, "remainder");
            std::string a, b, s = number(divides);
            for (int i = 0; i < 12; i++) {
                a += number(false) + " ";
                b += number(divides) + " ";
            }
            std::string spec = "make vector! [" + std::string(k.type) + " " + std::to_string(k.bits);
            rows.push_back({std::string(op) + " " + spec + " [" + a + "]] " + spec + " [" + b + "]]",
                            std::string(op) + " " + spec + " [" + a + "]] " + s});
            cases += std::string(k.type) + "|" + std::to_string(k.bits) + "|" + op + "|" + a + "|" +
                     b + "|" + s + "\n";
        }
    }
    std::vector<std::string> expected =
        python_lines("CASES = '''" + cases + "'''\n" + k_oracle);
    ASSERT_EQ(expected.size(), rows.size());
    for (size_t i = 0; i < rows.size(); i++) {
        size_t gap = expected[i].find(' ');
        EXPECT_EQ(result_hex(rows[i].a_code.c_str()), expected[i].substr(0, gap)) << rows[i].a_code;
        EXPECT_EQ(result_hex(rows[i].s_code.c_str()), expected[i].substr(gap + 1)) << rows[i].s_code;
    }
}

}  // namespace
