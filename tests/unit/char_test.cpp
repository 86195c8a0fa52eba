#include <gtest/gtest.h>

#include "tests/unit/runtime_fixture.hpp"

#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/rng.hpp"
#include "datatypes/char.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

using test_support::error_arg;
using test_support::raised;

class Char : public test_support::RuntimeTest {
protected:
    void SetUp() override {
        RuntimeTest::SetUp();
        rng::init();
    }
};

Cell character(uint32_t c) { return char_::make_value(c); }
Cell integer(int32_t n) { return integer_cell(n); }
Cell real(double d, uint32_t type = TYPE_FLOAT) {
    Cell c = make_cell(type);
    c.set_double(d);
    return c;
}

Cell binary(std::vector<uint8_t> bytes) {
    NodeId node = memory::alloc_bytes(uint32_t(bytes.size()));
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (!bytes.empty()) std::memcpy(b->tail_ptr(), bytes.data(), bytes.size());
    b->tail += uint32_t(bytes.size());
    return make_cell(TYPE_BINARY, 0, node, 0);
}

Cell text(const char* utf8, uint32_t head = 0, uint32_t type = TYPE_STRING) {
    Cell c = *string::load_c_text(utf8, uint32_t(std::strlen(utf8)), 0);
    c.data1 = head;
    c.set_type(type);
    return c;
}

std::u32string text_of(Cell* str) {
    std::u32string out;
    int32_t n = string::length_from_head(str);
    for (int32_t i = 0; i < n; i++) out += char32_t(string::char_at(str, i));
    return out;
}

// Forms or molds the value; answers the text and checks the budget.
std::u32string formed(Cell value, bool mold, bool all = false) {
    Cell* buffer = string::make_empty_at(stack::push_cell(), 16);
    int left = mold ? actions::mold_direct(&value, buffer, false, all, false, nullptr, 1000, 0)
                    : actions::form_direct(&value, buffer, nullptr, 1000);
    std::u32string out = text_of(buffer);
    EXPECT_EQ(left, 1000 - int(out.size()));
    stack::pop(1);
    return out;
}

Cell run_binary(void (*op)(), Cell a, Cell b) {
    stack::reset();
    stack::push(&a);
    stack::push(&b);
    op();
    return *stack::argument(0);
}

TEST_F(Char, MakeAndTo) {
    using test_support::keep;  // the series specs outlive the allocations that follow
    struct Case {
        Cell spec;
        std::optional<uint32_t> expected;
        ErrorId error = ErrorId::count_;
    };
    const ErrorId RANGE = ErrorId::script_out_of_range;
    const ErrorId BAD_TO = ErrorId::script_bad_to_arg;
    const ErrorId UTF8 = ErrorId::access_invalid_utf8;
    const Case cases[] = {
        {character('a'), 'a'},
        {integer(65), 'A'},
        {integer(0), 0},
        {integer(0x10FFFF), 0x10FFFF},
        {integer(0x110000), {}, RANGE},
        {integer(-1), {}, RANGE},
        {integer(INT32_MIN), {}, RANGE},
        {real(65.9), 65},
        {real(-0.5), 0},
        {real(1114111.9), 0x10FFFF},
        {real(-1.0), {}, RANGE},
        {real(1114112.0), {}, RANGE},
        {real(1e20), {}, RANGE},
        {real(NAN), {}, RANGE},
        {real(0.5, TYPE_PERCENT), 0},
        {keep(text("abc")), 'a'},
        {keep(text("abc", 1)), 'b'},
        {keep(text("abc", 3)), {}, BAD_TO},
        {keep(text("")), {}, BAD_TO},
        {keep(text("\xE2\x82\xAC!")), 0x20AC},
        {keep(text("x", 0, TYPE_FILE)), 'x'},
        {keep(text("y", 0, TYPE_EMAIL)), 'y'},
        {keep(binary({0x41, 0x42})), 'A'},
        {keep(binary({0xC3, 0xA9})), 0xE9},
        {keep(binary({0xF0, 0x9F, 0x98, 0x80, 0x41})), 0x1F600},
        {keep(binary({})), {}, BAD_TO},
        {keep(binary({0xC3})), {}, UTF8},  // cut short by the tail
        {keep(binary({0xF0, 0x9F, 0x98})), {}, UTF8},
        {keep(binary({0x80, 0x41})), {}, UTF8},
        {keep(binary({0xFF})), {}, UTF8},
        {keep(binary({0xC3, 0x41})), {}, UTF8},
        {make_cell(TYPE_NONE), {}, BAD_TO},
        {make_cell(TYPE_LOGIC, 1), {}, BAD_TO},
    };
    Cell proto = make_cell(TYPE_DATATYPE, TYPE_CHAR);
    for (auto slot : {registry::handler<A_MAKE>(TYPE_CHAR), registry::handler<A_TO>(TYPE_CHAR)}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "spec type " << c.spec.type() << " word 2 "
                                            << c.spec.data2);
            Cell spec = c.spec;
            if (c.expected) {
                Cell* result = slot(&proto, &spec, TYPE_CHAR);
                ASSERT_TRUE(result->is(TYPE_CHAR));
                EXPECT_EQ(result->data2, *c.expected);
            } else {
                Cell error{};
                EXPECT_EQ(raised([&] { slot(&proto, &spec, TYPE_CHAR); }, &error), c.error);
                if (c.error == RANGE) {  // the value as given
                    EXPECT_EQ(error_arg(error, 0).header, c.spec.header);
                    EXPECT_EQ(error_arg(error, 0).data2, c.spec.data2);
                }
                if (c.error == BAD_TO) {
                    EXPECT_EQ(error_arg(error, 0).data1, uint32_t(TYPE_CHAR));
                }
                if (c.error == UTF8) {
                    EXPECT_TRUE(error_arg(error, 0).is(TYPE_BINARY));
                }
            }
        }
    }
}

TEST_F(Char, Arithmetic) {
    using StackFn = void (*)();
    struct Case {
        StackFn op;
        uint32_t c;
        Cell other;
        std::optional<uint32_t> expected;
        ErrorId error = ErrorId::count_;
    };
    const ErrorId OVER = ErrorId::math_overflow;
    const Case cases[] = {
        {&char_::add, 'a', integer(1), 'b'},
        {&char_::add, 'a', character('b'), 'a' + 'b'},
        {&char_::add, 0x10FFFE, integer(1), 0x10FFFF},
        {&char_::add, 0x10FFFF, integer(1), {}, OVER},
        {&char_::add, 'a', integer(INT32_MAX), {}, OVER},  // 32-bit overflow
        {&char_::add, 'a', real(3e9), {}, OVER},
        {&char_::add, 'a', real(NAN), {}, OVER},
        {&char_::add, 'a', real(-0.9), 'a'},
        {&char_::subtract, 'a', integer(97), 0},
        {&char_::subtract, 'a', integer(98), {}, OVER},
        {&char_::subtract, 'a', integer(INT32_MIN), {}, OVER},
        {&char_::multiply, 'a', real(2.9), 194},
        {&char_::multiply, 'a', integer(0), 0},
        {&char_::multiply, 0x10FFFF, integer(0x10FFFF), {}, OVER},
        {&char_::multiply, 'a', integer(-1), {}, OVER},
        {&char_::divide, 'a', integer(2), 48},  // truncates
        {&char_::divide, 'a', integer(-1), {}, OVER},
        {&char_::divide, 'a', integer(0), {}, ErrorId::math_zero_divide},
        {&char_::remainder, 'a', integer(10), 7},
        {&char_::remainder, 'a', character(0), {}, ErrorId::math_zero_divide},
        {&char_::or_, 'A', integer(0x20), 'a'},
        {&char_::and_, 'a', integer(0xDF), 'A'},
        {&char_::xor_, 'a', integer(0x20), 'A'},
        {&char_::xor_, 'a', integer(-1), {}, OVER},
        {&char_::add, 'a', real(0.5, TYPE_PERCENT), {}, ErrorId::script_invalid_type},
        {&char_::add, 'a', make_cell(TYPE_NONE), {}, ErrorId::script_invalid_type},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.c << " with type " << c.other.type() << " word 2 "
                                        << c.other.data2);
        if (c.expected) {
            Cell result = run_binary(c.op, character(c.c), c.other);
            ASSERT_TRUE(result.is(TYPE_CHAR));
            EXPECT_EQ(result.data2, *c.expected);
        } else {
            EXPECT_EQ(raised([&] { run_binary(c.op, character(c.c), c.other); }), c.error);
        }
    }
    // math_op is the same routine with the operation code.
    stack::reset();
    Cell a = character('a'), b = integer(2);
    stack::push(&a);
    stack::push(&b);
    char_::math_op(MATH_MULTIPLY);
    EXPECT_EQ(stack::argument(0)->data2, 194u);
    EXPECT_TRUE(stack::argument(0)->is(TYPE_CHAR));
}

TEST_F(Char, InheritedActionsKeepTheType) {
    stack::reset();
    Cell a = character('a');
    stack::push(&a);
    registry::handler<A_ABSOLUTE>(TYPE_CHAR)();
    EXPECT_TRUE(stack::argument(0)->is(TYPE_CHAR));
    EXPECT_EQ(stack::argument(0)->data2, uint32_t('a'));

    Cell even = character('b'), odd = character('a');
    EXPECT_TRUE(registry::handler<A_EVEN_Q>(TYPE_CHAR)(&even));
    EXPECT_FALSE(registry::handler<A_EVEN_Q>(TYPE_CHAR)(&odd));
    EXPECT_TRUE(registry::handler<A_ODD_Q>(TYPE_CHAR)(&odd));

    auto random = registry::handler<A_RANDOM>(TYPE_CHAR);
    for (int i = 0; i < 200; i++) {
        Cell v = character('z');
        random(&v, false, false, false);
        ASSERT_TRUE(v.is(TYPE_CHAR));
        EXPECT_TRUE(v.data2 >= 1 && v.data2 <= 'z') << v.data2;
    }
    Cell seed = character('a');
    random(&seed, true, false, false);
    EXPECT_TRUE(seed.is(TYPE_UNSET));
}

TEST_F(Char, Compare) {
    constexpr int U = COMPARE_UNCOMPARABLE;
    const struct {
        Cell a, b;
        int op, expected;
    } cases[] = {
        {character('a'), character('a'), COMP_STRICT_EQUAL, 0},
        {character('a'), character('A'), COMP_EQUAL, 1},  // no case folding here
        {character('A'), character('a'), COMP_SORT, -1},
        {character(0x10FFFF), character(0), COMP_GREATER, 1},
        {character('a'), integer(97), COMP_EQUAL, 0},
        {character('a'), integer(98), COMP_LESSER, -1},
        {character('a'), integer(-1), COMP_LESSER, 1},
        {character('a'), integer(97), COMP_STRICT_EQUAL, 1},
        {character('a'), integer(97), COMP_FIND, 1},
        {character('a'), real(97.0), COMP_EQUAL, U},
        {character('a'), real(97.0), COMP_STRICT_EQUAL, 1},
        {character('a'), make_cell(TYPE_NONE), COMP_SORT, U},
    };
    for (auto c : cases)
        EXPECT_EQ(char_::compare(&c.a, &c.b, c.op), c.expected)
            << c.a.data2 << " type " << c.b.type() << " op " << c.op;
}

TEST_F(Char, FormWritesTheCharacter) {
    for (uint32_t c : {uint32_t('a'), 0u, 0x0Au, 0xE9u, 0x20ACu, 0x1F600u})
        EXPECT_EQ(formed(character(c), false), std::u32string(1, char32_t(c))) << c;
}

TEST_F(Char, MoldWithCaretEscapes) {
    // The caret names of 0x00-0x1F; 0x1E takes the hexadecimal form instead.
    const char32_t names[] = U"@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";
    for (uint32_t c = 0; c < 0x20; c++) {
        std::u32string expected = c == 0x1E ? U"#\"^(1E)\"" : U"#\"^" + std::u32string(1, names[c]) + U"\"";
        EXPECT_EQ(formed(character(c), true), expected) << c;
        EXPECT_EQ(formed(character(c), true, true), expected) << c;
    }
    const struct {
        uint32_t c;
        const char32_t* mold;
        const char32_t* mold_all;
    } cases[] = {
        {'a', U"#\"a\"", U"#\"a\""},
        {' ', U"#\" \"", U"#\" \""},
        {0x22, U"#\"^\"\"", U"#\"^\"\""},
        {0x5E, U"#\"^^\"", U"#\"^^\""},
        {0x7F, U"#\"^~\"", U"#\"^~\""},
        {'{', U"#\"{\"", U"#\"{\""},
        {0x80, U"#\"^(80)\"", U"#\"^(80)\""},
        {0x85, U"#\"^(85)\"", U"#\"^(85)\""},
        {0x9F, U"#\"^(9F)\"", U"#\"^(9F)\""},
        {0xA0, U"#\"\u00A0\"", U"#\"^(A0)\""},
        {0xE9, U"#\"\u00E9\"", U"#\"^(E9)\""},
        {0x20AC, U"#\"\u20AC\"", U"#\"^(20AC)\""},
        {0x1F600, U"#\"\U0001F600\"", U"#\"^(1F600)\""},
        {0x10FFFF, U"#\"\U0010FFFF\"", U"#\"^(10FFFF)\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formed(character(c.c), true), c.mold) << c.c;
        EXPECT_EQ(formed(character(c.c), true, true), c.mold_all) << c.c;
    }
}

TEST_F(Char, Makers) {
    Cell* pushed = char_::push(0x1F600);
    EXPECT_EQ(pushed, stack::top());
    EXPECT_TRUE(pushed->is(TYPE_CHAR));
    EXPECT_EQ(pushed->data2, 0x1F600u);
}

}  // namespace
