#include "datatypes/char.hpp"

#include <algorithm>
#include <cstring>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/unicode.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/vector.hpp"
#include "interpreter/stack.hpp"

namespace zun::char_ {

namespace {
// Caret names of the code points 0x00-0x1F.
constexpr char CONTROL_NAMES[] = "@ABCDEFGH-/KLMNOPQRSTUVWXYZ[\\]^_";

[[noreturn]] void fire_bad_to(const Cell* spec) { support::fire_bad_to(TYPE_CHAR, spec); }

[[noreturn]] void fire_out_of_range(const Cell* spec) {
    support::fire_error(ErrorId::script_out_of_range, spec);
}

// access invalid-utf8 with the bytes of a cut sequence.
[[noreturn]] void fire_invalid_utf8(const uint8_t* at, uint32_t available) {
    uint8_t bytes[4];
    uint32_t n = std::min<uint32_t>(available, 4);
    std::memcpy(bytes, at, n);  // copied first: making the binary may move the source
    Cell* held = stack::push_cell();
    *held = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_bytes(n);
    memory::SeriesBuffer* buffer = memory::buffer_of(node);
    std::memcpy(buffer->tail_ptr(), bytes, n);
    buffer->tail += n;
    *held = make_cell(TYPE_BINARY, 0, node, 0);
    support::fire_error(ErrorId::access_invalid_utf8, held);
}

// The first UTF-8 sequence at the binary's head, decoded by the strict
// decoder. A sequence that the tail cuts short is malformed here.
uint32_t from_binary(Cell* spec) {
    const memory::SeriesBuffer* buffer = memory::buffer_of(spec->data2);
    int64_t head = std::max<int64_t>(int32_t(spec->data1), 0);
    int64_t available = int64_t(buffer->used()) - head;
    if (available <= 0) fire_bad_to(spec);
    const uint8_t* p = buffer->data() + buffer->head + head;
    uint32_t length = std::max<uint32_t>(unicode::utf8_sequence_length(p[0]), 1);
    uint32_t have = uint32_t(std::min<int64_t>(available, length));
    uint32_t used;
    int32_t cp = unicode::decode_utf8_strict(p, have, &used);
    if (cp == unicode::INCOMPLETE) fire_invalid_utf8(p, have);
    return uint32_t(cp);
}

// The character at the head of a string-like value.
uint32_t from_text(Cell* spec) {
    if (string::length_from_head(spec) <= 0) fire_bad_to(spec);
    return string::get_char(string::head_pointer(spec), string::buffer_of(spec)->unit());
}

inline int order(int32_t a, int32_t b) { return (a > b) - (a < b); }

inline void math(int op) {
    Cell* left = stack::argument(0);
    const Cell* right = left + 1;
    int32_t value;
    switch (right->type()) {
        case TYPE_CHAR: case TYPE_INTEGER:
            value = right->as_int();
            break;
        case TYPE_FLOAT: {
            double d = right->as_double();
            // A float beyond 32 bits would not truncate to a number at all.
            if (!(d > -2147483649.0 && d < 2147483648.0)) integer::fire_overflow();
            value = int32_t(d);
            break;
        }
        case TYPE_VECTOR: {
            const Cell scalar = *left;
            *left = *vector::math_scalar(op, const_cast<Cell*>(right), &scalar, true);
            return;
        }
        default: {
            Cell datatype = make_cell(TYPE_DATATYPE, right->type());
            support::fire_error(ErrorId::script_invalid_type, &datatype);
        }
    }
    // Division truncates: no result cell. Otherwise an overflow shows as a
    // float! in the scratch cell.
    Cell scratch = make_cell(TYPE_UNSET);
    int32_t r = integer::do_math(left->as_int(), value, op, op == MATH_DIVIDE ? nullptr : &scratch);
    if (scratch.is(TYPE_FLOAT) || r < 0 || uint32_t(r) > MAX_CODE_POINT) integer::fire_overflow();
    left->data2 = uint32_t(r);
}
}  // namespace

Cell* push(uint32_t code_point) {
    Cell* cell = stack::push_cell();
    *cell = make_value(code_point);
    return cell;
}

Cell* append_to_block(const Cell* block, uint32_t code_point) {
    Cell* cell = support::append_cell(block);
    *cell = make_value(code_point);
    return cell;
}

void math_op(int op) { math(op); }
void add() { math(MATH_ADD); }
void subtract() { math(MATH_SUBTRACT); }
void multiply() { math(MATH_MULTIPLY); }
void divide() { math(MATH_DIVIDE); }
void remainder() { math(MATH_REMAINDER); }
void and_() { math(MATH_AND); }
void or_() { math(MATH_OR); }
void xor_() { math(MATH_XOR); }

Cell* make(Cell*, Cell* spec, int) {
    uint32_t cp;
    switch (spec->type()) {
        case TYPE_CHAR: case TYPE_INTEGER: {
            int32_t n = spec->as_int();
            if (n < 0 || uint32_t(n) > MAX_CODE_POINT) fire_out_of_range(spec);
            cp = uint32_t(n);
            break;
        }
        case TYPE_FLOAT: case TYPE_PERCENT: {
            double d = spec->as_double();  // truncated toward zero, so -0.5 gives 0
            if (!(d > -1.0 && d < double(MAX_CODE_POINT) + 1.0)) fire_out_of_range(spec);
            cp = uint32_t(d);
            break;
        }
        case TYPE_BINARY:
            cp = from_binary(spec);
            break;
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            cp = from_text(spec);
            break;
        default:
            fire_bad_to(spec);
    }
    return push(cp);
}

int append_escaped(Cell* buffer, uint32_t c, bool all) {
    if (c == 0x1E || (c >= 0x80 && c <= 0x9F) || (all && c > 0x7F)) {
        char text[16] = "^(";
        std::strcat(text, string::integer_to_hex(int32_t(c), true));
        std::strcat(text, ")");
        string::append_c_string(buffer, text);
        return int(std::strlen(text));
    }
    char name = c < 0x20 ? CONTROL_NAMES[c] : c == 0x22 ? '"' : c == 0x5E ? '^' : c == 0x7F ? '~' : 0;
    if (name) {
        const char text[3] = {'^', name, 0};
        string::append_c_string(buffer, text);
        return 2;
    }
    string::append_char(string::buffer_of(buffer), c);
    return 1;
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    string::append_char(string::buffer_of(buffer), value->data2);
    return part - 1;
}

// The budget drops by what was written, escapes included.
int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell*, int part, int) {
    string::append_c_string(buffer, "#\"");
    int n = append_escaped(buffer, value->data2, all);
    string::append_c_string(buffer, "\"");
    return part - (n + 3);
}

int compare(Cell* value1, Cell* value2, int op) {
    uint32_t type = value2->type();
    if (type == TYPE_CHAR) [[likely]] return order(value1->as_int(), value2->as_int());
    if (op == COMP_STRICT_EQUAL || op == COMP_FIND) return 1;
    if (type == TYPE_INTEGER) return order(value1->as_int(), value2->as_int());
    return COMPARE_UNCOMPARABLE;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), inherit<A_RANDOM>(), E, own<A_TO>(make),
        /*  5 */ own<A_FORM>(form), own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare),
        /* 10 */ inherit<A_ABSOLUTE>(), own<A_ADD>(add), own<A_DIVIDE>(divide),
        /* 13 */ own<A_MULTIPLY>(multiply), E, E, own<A_REMAINDER>(remainder), E,
        /* 18 */ own<A_SUBTRACT>(subtract), inherit<A_EVEN_Q>(), inherit<A_ODD_Q>(),
        /* 21 */ own<A_AND>(and_), E, own<A_OR>(or_), own<A_XOR>(xor_), E, E, E, E,
        /* 29 */ E, E, E, E, E, E, E, E,
        /* 37 */ E, E, E, E, E, E, E, E,
        /* 45 */ E, E, E, E, E, E, E, E,
        /* 53 */ E, E, E, E, E, E, E, E,
        /* 61 */ E, E);
    registry::register_type(TYPE_CHAR, TYPE_INTEGER, "char!", slots);
}

}  // namespace zun::char_
