#include "datatypes/tuple.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string_view>
#include <utility>

#include "core/memory.hpp"
#include "core/rng.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"

namespace zun::tuple {

namespace {

constexpr size_t PAYLOAD_OFFSET = offsetof(Cell, data1);

using support::datatype_cell;

using support::fire_invalid_type;

[[noreturn]] void fire_bad_to(const Cell* spec) { support::fire_bad_to(TYPE_TUPLE, spec); }

[[noreturn]] void fire_out_of_range(int32_t index) {
    Cell n = integer_cell(index);
    support::fire_error(ErrorId::script_out_of_range, &n);
}

[[noreturn]] void fire_invalid_refine(refinements::Name name, const Cell* value) {
    Cell word = *refinements::get(name);
    word.set_type(TYPE_WORD);
    support::fire_error(ErrorId::script_invalid_refine_arg, &word, value);
}

uint8_t clamp_byte(int64_t v) { return uint8_t(std::clamp<int64_t>(v, 0, 255)); }

// Truncation as the processor does it: NaN and out-of-range give the
// smallest integer, which clamps to 0.
int32_t truncate32(double d) {
    return d > -2147483649.0 && d < 2147483648.0 ? int32_t(d) : INT32_MIN;
}

bool byte_of(const Cell* cell, uint8_t* out) {
    int64_t v;
    switch (cell->type()) {
        case TYPE_INTEGER: case TYPE_CHAR: v = cell->as_int(); break;
        case TYPE_FLOAT: {
            double d = std::trunc(cell->as_double());
            if (!(d >= 0 && d <= 255)) return false;
            v = int64_t(d);
            break;
        }
        default: return false;
    }
    if (v < 0 || v > 255) return false;
    *out = uint8_t(v);
    return true;
}

Cell* from_block(const Cell* spec, Cell* cell) {
    int32_t n = block::length_from_head(spec);
    if (n > MAX_LENGTH) fire_bad_to(spec);
    uint8_t bytes[MAX_LENGTH] = {};
    for (int32_t i = 0; i < n; i++) {
        Cell item = *block::cell_at(spec, block::head_index(spec) + i);
        if (!byte_of(&item, &bytes[i])) fire_bad_to(spec);
    }
    return init_cell(cell, bytes, std::max(n, 3));
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reverses the records of skip bytes in bytes[0..count), each keeping its order.
void reverse_records(uint8_t* bytes, int count, int skip) {
    for (int a = 0, b = count - skip; a < b; a += skip, b -= skip)
        for (int k = 0; k < skip; k++) std::swap(bytes[a + k], bytes[b + k]);
}

}  // namespace

void get_bytes(const Cell* cell, uint8_t out[MAX_LENGTH]) {
    std::memcpy(out, reinterpret_cast<const uint8_t*>(cell) + PAYLOAD_OFFSET, MAX_LENGTH);
    for (int i = length_of(cell); i < MAX_LENGTH; i++) out[i] = 0;
}

Cell* init_cell(Cell* cell, const uint8_t* bytes, int length) {
    uint8_t payload[MAX_LENGTH] = {};
    std::memcpy(payload, bytes, size_t(length));
    cell->header = (cell->header & ~(TYPE_MASK | LENGTH_MASK)) | TYPE_TUPLE |
                   (uint32_t(length) << LENGTH_SHIFT);
    std::memcpy(reinterpret_cast<uint8_t*>(cell) + PAYLOAD_OFFSET, payload, MAX_LENGTH);
    return cell;
}

Cell* push(int length, uint32_t word1, uint32_t word2, uint32_t word3) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_TUPLE | (uint32_t(length) << LENGTH_SHIFT), word1, word2, word3);
    return cell;
}

Cell* init_rgba(Cell* cell, uint8_t r, uint8_t g, uint8_t b, int32_t alpha) {
    const uint8_t bytes[4] = {r, g, b, uint8_t(alpha == -1 ? 0 : alpha)};
    return init_cell(cell, bytes, alpha == -1 ? 3 : 4);
}

Cell* push_from_ints(int count, const int32_t* ints) {
    uint8_t bytes[MAX_LENGTH] = {};
    count = std::min(count, MAX_LENGTH);
    for (int i = 0; i < count; i++) bytes[i] = uint8_t(ints[i]);
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_NONE);
    return init_cell(cell, bytes, std::max(count, 3));
}

bool zero_q(const Cell* cell) {
    uint8_t bytes[MAX_LENGTH];
    get_bytes(cell, bytes);
    for (int i = 0; i < length_of(cell); i++)
        if (bytes[i]) return false;
    return true;
}

Cell* from_binary(const Cell* binary, Cell* cell) {
    const memory::SeriesBuffer* buffer = memory::buffer_of(binary->data2);
    int64_t head = std::max<int64_t>(int32_t(binary->data1), 0);
    int64_t n = std::clamp<int64_t>(int64_t(buffer->used()) - head, 0, MAX_LENGTH);
    uint8_t bytes[MAX_LENGTH] = {};
    if (n) std::memcpy(bytes, buffer->data() + buffer->head + head, size_t(n));
    return init_cell(cell, bytes, std::max<int>(int(n), 3));
}

Cell* from_issue(const Cell* issue, Cell* cell) {
    std::string_view text = symbol::name(issue->data2);
    size_t n = text.size();
    if (n != 3 && n != 6 && n != 8) support::fire_error(ErrorId::script_invalid_data, issue);
    int digits[8];
    for (size_t i = 0; i < n; i++)
        if ((digits[i] = hex_digit(text[i])) < 0)
            support::fire_error(ErrorId::script_invalid_data, issue);
    uint8_t bytes[4];
    if (n == 3) {
        for (int i = 0; i < 3; i++) bytes[i] = uint8_t(digits[i] * 17);
        return init_cell(cell, bytes, 3);
    }
    for (size_t i = 0; i < n / 2; i++) bytes[i] = uint8_t(digits[2 * i] << 4 | digits[2 * i + 1]);
    return init_cell(cell, bytes, int(n / 2));
}

void set_at(Cell* tuple, int32_t index, const Cell* value) {
    int length = length_of(tuple);
    if (index < 1 || index > length) fire_out_of_range(index);
    uint8_t bytes[MAX_LENGTH];
    get_bytes(tuple, bytes);
    if (value->is(TYPE_NONE)) {
        for (int i = index - 1; i < MAX_LENGTH; i++) bytes[i] = 0;
        length = std::max(index - 1, 3);
    } else {
        bytes[index - 1] = clamp_byte(value->as_int());
    }
    init_cell(tuple, bytes, length);
}

Cell* do_math(int op) {
    Cell* base = stack::argument(0);
    Cell* other = base + 1;
    if (!base->is(TYPE_TUPLE)) {
        if (op == MATH_SUBTRACT || op == MATH_DIVIDE) {
            Cell word = *words::get(op == MATH_SUBTRACT ? words::subtract : words::divide);
            Cell datatype = datatype_cell(base->type());
            support::fire_error(ErrorId::script_not_related, &word, &datatype);
        }
        std::swap(*base, *other);
    }
    uint8_t left[MAX_LENGTH];
    get_bytes(base, left);
    int length = length_of(base);
    switch (other->type()) {
        case TYPE_FLOAT: case TYPE_PERCENT: {
            double f = other->as_double();
            for (int i = 0; i < length; i++)
                left[i] = clamp_byte(truncate32(float_::do_math(double(left[i]), f, op)));
            return init_cell(base, left, length);
        }
        case TYPE_INTEGER: case TYPE_TUPLE:
            break;
        default:
            fire_invalid_type(other->type());
    }
    uint8_t right[MAX_LENGTH];
    const bool scalar = other->is(TYPE_INTEGER);
    if (!scalar) {
        get_bytes(other, right);
        length = std::max(length, length_of(other));
    }
    for (int i = 0; i < length; i++) {
        int32_t r = scalar ? other->as_int() : right[i];
        int32_t v;
        if (op == MATH_DIVIDE) {
            v = integer::do_math(left[i], r, op, nullptr);
        } else {
            Cell status = make_cell(TYPE_UNSET);
            v = integer::do_math(left[i], r, op, &status);
            if (status.is(TYPE_FLOAT)) v = status.as_double() > 0.0 ? 255 : 0;
        }
        left[i] = clamp_byte(v);
    }
    return init_cell(base, left, length);
}

Cell* make(Cell*, Cell* spec, int) {
    switch (spec->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
            return from_block(spec, stack::push_cell());
        case TYPE_BINARY:
            return from_binary(spec, stack::push_cell());
        case TYPE_ISSUE:
            return from_issue(spec, stack::push_cell());
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            return support::scan_value_of_type(spec, TYPE_TUPLE);
        case TYPE_TUPLE:
            return stack::push(spec);
        default:
            fire_bad_to(spec);
    }
}

void random(Cell* value, bool seed, bool secure, bool) {
    if (seed) {
        rng::seed(int32_t(value->data1 ^ value->data2 ^ value->data3));
        value->set_type(TYPE_UNSET);
        return;
    }
    uint8_t bytes[MAX_LENGTH];
    get_bytes(value, bytes);
    for (int i = 0; i < length_of(value); i++)
        bytes[i] = uint8_t(rng::integer(secure, int32_t(bytes[i]) + 1) - 1);
    init_cell(value, bytes, length_of(value));
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    uint8_t bytes[MAX_LENGTH];
    get_bytes(value, bytes);
    char text[MAX_LENGTH * 4 + 1] = "";
    int n = 0;
    for (int i = 0; i < length_of(value); i++)
        n += std::snprintf(text + n, sizeof text - size_t(n), i ? ".%u" : "%u", bytes[i]);
    string::append_c_string(buffer, text);
    return part - n;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell* grandparent,
                Cell* previous, int, bool, bool, bool, bool notify) {
    if (!element->is(TYPE_INTEGER)) fire_invalid_type(element->type());
    if (!value) return pick(parent, element->as_int(), element);
    if (!value->is(TYPE_INTEGER) && !value->is(TYPE_NONE)) fire_invalid_type(value->type());
    const Cell old = *parent;
    set_at(parent, element->as_int(), value);
    if (notify) pair::report_set_path(grandparent, previous, &old, parent, value, element->as_int());
    return value;
}

int compare(Cell* value1, Cell* value2, int) {
    if (!value2->is(TYPE_TUPLE)) return COMPARE_UNCOMPARABLE;
    uint8_t a[MAX_LENGTH], b[MAX_LENGTH];
    get_bytes(value1, a);
    get_bytes(value2, b);
    int n = std::max(length_of(value1), length_of(value2));
    for (int i = 0; i < n; i++)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return 0;
}

Cell* complement(Cell* value) {
    uint8_t bytes[MAX_LENGTH];
    get_bytes(value, bytes);
    for (int i = 0; i < length_of(value); i++) bytes[i] = uint8_t(255 - bytes[i]);
    return init_cell(value, bytes, length_of(value));
}

int length_q(Cell* value) { return length_of(value); }

Cell* pick(Cell* value, int index, Cell*) {
    if (index < 1 || index > length_of(value)) fire_out_of_range(index);
    uint8_t bytes[MAX_LENGTH];
    get_bytes(value, bytes);
    return integer::push(bytes[index - 1]);
}

Cell* reverse(Cell* value, Cell* part, Cell* skip) {
    const int length = length_of(value);
    int32_t count = length;
    if (part) {
        if (!part->is(TYPE_INTEGER)) fire_invalid_refine(refinements::part, part);
        if (part->as_int() < 0) support::fire_error(ErrorId::script_out_of_range, part);
        count = part->as_int();
    }
    int32_t step = 1;
    if (skip) {
        if (!skip->is(TYPE_INTEGER)) fire_invalid_refine(refinements::skip, skip);
        step = skip->as_int();
        if (step == count) return value;
        if (step < 1) support::fire_error(ErrorId::script_out_of_range, skip);
        if (step > count || count % step != 0) fire_invalid_refine(refinements::skip, skip);
    }
    // Whole records only: a /part beyond the length never swaps past it.
    int region = std::min(count, length);
    region -= region % step;
    uint8_t bytes[MAX_LENGTH];
    get_bytes(value, bytes);
    reverse_records(bytes, region, step);
    return init_cell(value, bytes, length);
}

void add() { do_math(MATH_ADD); }
void subtract() { do_math(MATH_SUBTRACT); }
void multiply() { do_math(MATH_MULTIPLY); }
void divide() { do_math(MATH_DIVIDE); }
void remainder() { do_math(MATH_REMAINDER); }
void and_() { do_math(MATH_AND); }
void or_() { do_math(MATH_OR); }
void xor_() { do_math(MATH_XOR); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), own<A_RANDOM>(random), E, own<A_TO>(make),
        /*  5 */ own<A_FORM>(form), own<A_MOLD>(mold), own<A_EVAL_PATH>(eval_path), E,
        /*  9 */ own<A_COMPARE>(compare), E, own<A_ADD>(add), own<A_DIVIDE>(divide),
        /* 13 */ own<A_MULTIPLY>(multiply), E, E, own<A_REMAINDER>(remainder), E,
        /* 18 */ own<A_SUBTRACT>(subtract), E, E, own<A_AND>(and_),
        /* 22 */ own<A_COMPLEMENT>(complement), own<A_OR>(or_), own<A_XOR>(xor_), E, E, E, E,
        /* 29 */ E, E, E, E, E, E, E, own<A_LENGTH_Q>(length_q),
        /* 37 */ E, E, own<A_PICK>(pick), E, E, E, own<A_REVERSE>(reverse), E,
        /* 45 */ E, E, E, E, E, E, E, E,
        /* 53 */ E, E, E, E, E, E, E, E,
        /* 61 */ E, E);
    registry::register_type(TYPE_TUPLE, 0, "tuple!", slots);
}

}  // namespace zun::tuple
