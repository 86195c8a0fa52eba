#include "datatypes/series/vector.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun::vector {

namespace {

using memory::SeriesBuffer;

constexpr int64_t MAX_BYTES = 0x7FFFFFF0;

inline SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }
inline int32_t total_of(NodeId node) {
    SeriesBuffer* b = buf(node);
    return int32_t(b->used() / b->unit());
}
inline uint8_t* address_of(NodeId node, int64_t i) {
    SeriesBuffer* b = buf(node);
    return b->head_ptr() + i * b->unit();
}
inline bool float_type_q(uint32_t t) { return t == TYPE_FLOAT || t == TYPE_PERCENT; }
inline bool element_type_q(uint32_t t) {
    return t == TYPE_CHAR || t == TYPE_INTEGER || float_type_q(t);
}
inline bool cell_series_q(uint32_t t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH;
}
inline bool path_q(uint32_t t) { return t >= TYPE_PATH && t <= TYPE_GET_PATH; }

// The head clipped to 0 .. tail (and stored back when it lay past the tail).
int32_t clip_head(Cell* vec) {
    int32_t total = total_of(vec->data2);
    int32_t head = std::max(int32_t(vec->data1), 0);
    if (head > total) {
        head = total;
        vec->data1 = uint32_t(head);
    }
    return head;
}
int32_t count_from_head(const Cell* vec) {
    return std::max(total_of(vec->data2) - std::max(int32_t(vec->data1), 0), 0);
}

// ---------------------------------------------------------------- errors

[[noreturn]] void fire_no_memory() { support::fire_error(ErrorId::internal_no_memory); }
using support::fire_invalid_type;
[[noreturn]] void fire_bad_make(const Cell* spec) {
    Cell datatype = make_cell(TYPE_DATATYPE, TYPE_VECTOR);
    Cell copy = *spec;
    support::fire_make_error(&datatype, &copy);
}
[[noreturn]] void fire_bad_field(const Cell& value) {
    Cell copy = value;
    support::fire_error(ErrorId::script_invalid_spec_field, &copy);
}
[[noreturn]] void fire_invalid_arg(const Cell& value) {
    Cell copy = value;
    support::fire_error(ErrorId::script_invalid_arg, &copy);
}

// ---------------------------------------------------------------- element storage

void put_int(uint8_t* p, uint32_t unit, int32_t value) {
    uint32_t v = uint32_t(value);
    std::memcpy(p, &v, std::min<uint32_t>(unit, 4));  // little-endian: low bytes first
}
void put_float(uint8_t* p, uint32_t unit, double value) {
    if (unit == 8) {
        std::memcpy(p, &value, 8);
    } else {
        float f = float(value);
        std::memcpy(p, &f, 4);
    }
}
// A char! or integer! element as the number it stands for: chars never read
// back negative, so their narrow units are zero-extended.
int64_t int_element(const uint8_t* p, uint32_t unit, uint32_t element_type) {
    if (element_type != TYPE_CHAR) return get_int(p, unit);
    switch (unit) {
        case 1: return p[0];
        case 2: return string::get_char(p, 2);
        default: return string::get_char(p, 4);
    }
}

// ---------------------------------------------------------------- arithmetic

// 32-bit integer arithmetic that wraps modulo 2^32 (unsigned, so no undefined
// behaviour); only a division by zero raises.
int32_t wrapping_math(int32_t left, int32_t right, int op) {
    uint32_t a = uint32_t(left), b = uint32_t(right);
    switch (op) {
        case MATH_ADD: return int32_t(a + b);
        case MATH_SUBTRACT: return int32_t(a - b);
        case MATH_MULTIPLY: return int32_t(a * b);
        case MATH_DIVIDE:
            if (right == 0) integer::fire_zero_divide();
            return right == -1 ? int32_t(0u - a) : left / right;
        case MATH_REMAINDER:
            if (right == 0) integer::fire_zero_divide();
            return right == -1 ? 0 : left % right;
        case MATH_OR: return int32_t(a | b);
        case MATH_AND: return int32_t(a & b);
        case MATH_XOR: return int32_t(a ^ b);
        default: integer::bad_operation();
    }
}

// float_::do_math raises its own error for the bitwise operations: raise it
// before anything is written.
void check_float_op(uint32_t element_type, int op) {
    if (float_type_q(element_type) && op > MATH_REMAINDER) (void)float_::do_math(0, 0, op);
}

Cell* math_vectors(int op, Cell* left, const Cell* right) {
    uint32_t type = left->data3;
    if (right->data3 != type) support::fire_error(ErrorId::script_not_same_type);
    check_float_op(type, op);
    NodeId na = left->data2, nb = right->data2;
    int32_t ha = std::max(int32_t(left->data1), 0), hb = std::max(int32_t(right->data1), 0);
    int32_t n = std::min(count_from_head(left), count_from_head(right));
    uint32_t ua = buf(na)->unit(), ub = buf(nb)->unit(), unit = std::max(ua, ub);
    stack::StackScope scope;
    Cell* result = stack::push_cell();
    make_at(result, n, type, unit);
    // Read every address after the allocation: it may have moved both sources.
    const uint8_t* a = address_of(na, ha);
    const uint8_t* b = address_of(nb, hb);
    SeriesBuffer* dst = buf(result->data2);
    uint8_t* out = dst->head_ptr();
    if (float_type_q(type)) {
        for (int32_t i = 0; i < n; i++)
            put_float(out + i * unit, unit,
                      float_::do_math(get_float(a + i * ua, ua), get_float(b + i * ub, ub), op));
    } else {
        for (int32_t i = 0; i < n; i++) {
            int32_t x = int32_t(int_element(a + i * ua, ua, type));
            int32_t y = int32_t(int_element(b + i * ub, ub, type));
            put_int(out + i * unit, unit, wrapping_math(x, y, op));
        }
    }
    dst->tail = dst->head + uint32_t(n) * unit;
    *left = *result;
    return left;
}

// ---------------------------------------------------------------- sources of append and change

// Where the values of append, insert and change come from: the cells of a
// block-like series, the elements of a vector, or the value itself.
struct Source {
    enum Kind { CELLS, ELEMENTS, ONE } kind = ONE;
    Cell value{};
    int32_t head = 0;
    int32_t count = 1;
};

Source source_of(const Cell* value, int part, bool paths) {
    Source s;
    s.value = *value;
    uint32_t t = value->type();
    if (cell_series_q(t) || (paths && path_q(t))) s.kind = Source::CELLS;
    else if (t == TYPE_VECTOR) s.kind = Source::ELEMENTS;
    else return s;
    s.head = std::max(int32_t(value->data1), 0);
    int32_t total = s.kind == Source::CELLS ? int32_t(buf(value->data2)->used() / sizeof(Cell))
                                            : total_of(value->data2);
    s.count = std::max(total - s.head, 0);
    if (part > 0) s.count = std::min(s.count, part);
    return s;
}

// Each value must be of the vector's element type.
void check_source(const Source& s, uint32_t element_type) {
    switch (s.kind) {
        case Source::ONE:
            if (s.value.type() != element_type) fire_invalid_arg(s.value);
            return;
        case Source::ELEMENTS:
            if (s.count > 0 && s.value.data3 != element_type) {
                uint32_t unit = buf(s.value.data2)->unit();
                fire_invalid_arg(element_value(address_of(s.value.data2, s.head), unit,
                                               s.value.data3));
            }
            return;
        case Source::CELLS: {
            const Cell* cells = buf(s.value.data2)->head_cell() + s.head;
            for (int32_t i = 0; i < s.count; i++)
                if (cells[i].type() != element_type) fire_invalid_arg(cells[i]);
            return;
        }
    }
}

// Writes the source's values at `out`. A vector source is read through a
// copy of its bytes when it shares the target's buffer (append v v).
void write_source(const Source& s, uint8_t* out, uint32_t unit, const uint8_t* own_copy) {
    switch (s.kind) {
        case Source::ONE:
            store_element(out, &s.value, unit);
            return;
        case Source::CELLS: {
            const Cell* cells = buf(s.value.data2)->head_cell() + s.head;
            for (int32_t i = 0; i < s.count; i++) store_element(out + i * unit, cells + i, unit);
            return;
        }
        case Source::ELEMENTS: {
            uint32_t su = buf(s.value.data2)->unit();
            const uint8_t* from = own_copy ? own_copy : address_of(s.value.data2, s.head);
            if (su == unit) {
                std::memmove(out, from, size_t(s.count) * unit);
                return;
            }
            for (int32_t i = 0; i < s.count; i++) {
                Cell e = element_value(from + i * su, su, s.value.data3);
                store_element(out + i * unit, &e, unit);
            }
            return;
        }
    }
}

// Room for `bytes` used bytes from the buffer's first used byte: twice the
// capacity, or what is needed when doubling is not enough.
SeriesBuffer* ensure_room(NodeId node, int64_t bytes) {
    if (bytes > MAX_BYTES) fire_no_memory();
    SeriesBuffer* b = buf(node);
    int64_t capacity = int64_t(b->size) - b->head;
    if (capacity >= bytes) return b;
    return memory::expand_series(b, std::min(std::max(capacity * 2, bytes), MAX_BYTES));
}

void check_size(int64_t written, int64_t kept, uint32_t unit) {
    if (written > MAX_BYTES || (written + kept) * unit > MAX_BYTES) fire_no_memory();
}

// Only a buffer recorded in the ownership table has an owner to tell.
bool tell(const Cell* vec, const Cell* word, const Cell* value, int64_t index, int64_t part) {
    if (!(buf(vec->data2)->flags & memory::OWNED_FLAG)) return false;
    return ownership::check_owner(vec, word, value, int32_t(index), int32_t(part)) != 0;
}

// The bytes of a vector source that is also the target, taken before the
// target's elements move.
const uint8_t* copy_if_shared(const Source& s, NodeId target, std::vector<uint8_t>& keep) {
    if (s.kind != Source::ELEMENTS || s.value.data2 != target || s.count == 0) return nullptr;
    const uint8_t* from = address_of(target, s.head);
    keep.assign(from, from + size_t(s.count) * buf(target)->unit());
    return keep.data();
}

// ---------------------------------------------------------------- make

uint32_t canonical(uint32_t symbol_id) {
    uint32_t alias = symbol::alias(symbol_id);
    return int32_t(alias) > 0 ? alias : symbol_id;
}

// The element type a spec word names, without regard to case; 0 for none.
uint32_t element_type_named(const Cell& word) {
    static const struct {
        sym::Name name;
        uint32_t type;
    } names[] = {{sym::integer_type, TYPE_INTEGER}, {sym::char_type, TYPE_CHAR},
                 {sym::float_type, TYPE_FLOAT}, {sym::percent_type, TYPE_PERCENT}};
    uint32_t wanted = canonical(word.data2);
    for (const auto& n : names)
        if (canonical(sym::id(n.name)) == wanted) return n.type;
    return 0;
}

bool valid_bits_q(uint32_t type, int32_t bits) {
    if (type == TYPE_FLOAT) return bits == 32 || bits == 64;
    return bits == 8 || bits == 16 || bits == 32;
}

// A new vector on the stack: count elements, the values (a block, or none)
// first and zero bytes after them.
Cell* make_filled(uint32_t type, uint32_t unit, int32_t count, const Cell* values) {
    int32_t n_values = 0;
    if (values) n_values = std::max(int32_t(buf(values->data2)->used() / sizeof(Cell)) -
                                        std::max(int32_t(values->data1), 0), 0);
    count = std::max(count, n_values);
    Cell* result = stack::push_cell();
    make_at(result, count, type, unit);
    if (values) append_values(result, values);
    if (int32_t zeros = count - n_values; zeros > 0) {
        uint8_t* at = support::reserve_bytes(result->data2, uint32_t(zeros) * unit);
        std::memset(at, 0, size_t(zeros) * unit);
    }
    return result;
}

Cell* make_from_block(const Cell* spec) {
    const NodeId node = spec->data2;
    const int32_t head = std::max(int32_t(spec->data1), 0);
    const int32_t total = int32_t(buf(node)->used() / sizeof(Cell));
    auto at = [&](int32_t i) { return buf(node)->head_cell()[i]; };  // a copy: make allocates
    if (total - head < 1) fire_invalid_type(TYPE_BLOCK);
    Cell first = at(head);
    if (!first.is(TYPE_WORD)) {
        uint32_t type = first.type();
        if (!element_type_q(type)) fire_invalid_type(type);
        return make_filled(type, default_unit(type), 0, spec);
    }
    if (total - head < 2) fire_bad_make(spec);
    uint32_t type = element_type_named(first);
    if (type == 0) fire_bad_make(spec);
    int32_t i = head + 1;
    uint32_t unit = 8;
    Cell size = at(i);
    if (size.is(TYPE_INTEGER)) {
        if (type != TYPE_PERCENT) {
            if (!valid_bits_q(type, size.as_int())) fire_bad_make(spec);
            unit = uint32_t(size.as_int()) / 8;
        }
        i++;
    } else if (type != TYPE_PERCENT) {
        fire_bad_field(size);
    }
    if (i >= total) return make_filled(type, unit, 0, nullptr);
    Cell next = at(i);
    if (next.is(TYPE_BLOCK)) return make_filled(type, unit, 0, &next);
    if (!next.is(TYPE_INTEGER)) fire_bad_field(next);
    Cell values = i + 1 < total ? at(i + 1) : make_cell(TYPE_NONE);
    return make_filled(type, unit, next.as_int(), values.is(TYPE_BLOCK) ? &values : nullptr);
}

// ---------------------------------------------------------------- form and mold

// Tracks what has been written into a text buffer, for the /part budget.
struct Writer {
    Cell* buffer;
    int part;
    int32_t start = string::length_from_start(buffer);
    int left() const { return part - (string::length_from_start(buffer) - start); }
    void text(const char* s) { string::append_c_string(buffer, s); }
};

void write_element(Writer& w, const uint8_t* p, uint32_t unit, uint32_t type, bool mold,
                   bool all) {
    switch (type) {
        case TYPE_CHAR: {
            uint32_t cp = uint32_t(int_element(p, unit, type));
            if (mold) w.text("#\"");
            string::append_escaped_char(w.buffer, cp, all);
            if (mold) w.text("\"");
            return;
        }
        case TYPE_INTEGER:
            w.text(integer::form_decimal(get_int(p, unit)));
            return;
        case TYPE_FLOAT:
            w.text(float_::form_text(get_float(p, unit),
                                     unit == 8 ? float_::TEXT_FLOAT : float_::TEXT_SINGLE));
            return;
        default:
            w.text(float_::form_text(get_float(p, unit) * 100.0,
                                     unit == 8 ? float_::TEXT_PERCENT : float_::TEXT_SINGLE_PERCENT));
            return;
    }
}

void write_elements(Writer& w, const Cell& vec, Cell* arg, bool mold, bool all) {
    int32_t head = std::max(int32_t(vec.data1), 0);
    int32_t total = total_of(vec.data2);
    for (int32_t i = head; i < total; i++) {
        if (arg && w.left() <= 0) break;
        if (i > head) w.text(" ");
        // Re-read each time: writing the text may move the vector's buffer.
        SeriesBuffer* b = buf(vec.data2);
        write_element(w, b->head_ptr() + i * b->unit(), b->unit(), vec.data3, mold, all);
    }
}

// ---------------------------------------------------------------- compare

bool equality_op_q(int op) {
    return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
           op == COMP_FIND || op == COMP_STRICT_LIT || op == COMP_LOOSE_LIT;
}

}  // namespace

// ---------------------------------------------------------------- element access

int32_t get_int(const uint8_t* p, uint32_t unit) {
    switch (unit) {
        case 1: return int8_t(p[0]);
        case 2: return int16_t(uint16_t(p[0] | p[1] << 8));
        default: return int32_t(string::get_char(p, 4));
    }
}

double get_float(const uint8_t* p, uint32_t unit) {
    if (unit == 8) {
        double d;
        std::memcpy(&d, p, 8);
        return d;
    }
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

Cell element_value(const uint8_t* p, uint32_t unit, uint32_t element_type) {
    if (float_type_q(element_type)) {
        Cell c = make_cell(element_type);
        c.set_double(get_float(p, unit));
        return c;
    }
    return make_cell(element_type, 0, uint32_t(int_element(p, unit, element_type)), 0);
}

void store_element(uint8_t* p, const Cell* value, uint32_t unit) {
    switch (value->type()) {
        case TYPE_CHAR: case TYPE_INTEGER: put_int(p, unit, value->as_int()); return;
        case TYPE_FLOAT: case TYPE_PERCENT: put_float(p, unit, value->as_double()); return;
        default: fire_invalid_type(value->type());
    }
}

// ---------------------------------------------------------------- interfaces

int32_t length_from_head(const Cell* vec) { return count_from_head(vec); }

void clear_from_head(Cell* vec) {
    int32_t head = std::max(int32_t(vec->data1), 0);
    SeriesBuffer* b = buf(vec->data2);
    if (head < total_of(vec->data2)) b->tail = b->head + uint32_t(head) * b->unit();
}

uint8_t* append_int32(Cell* vec, int32_t value) {
    uint8_t* at = support::reserve_bytes(vec->data2, 4);
    put_int(at, 4, value);
    return at;
}

Cell* make_at(Cell* cell, int32_t n, uint32_t element_type, uint32_t unit) {
    if (int64_t(n) * unit > MAX_BYTES) fire_no_memory();
    *cell = make_cell(TYPE_NONE);
    NodeId node = memory::alloc_series(uint32_t(std::max(n, 1)), unit, 0);
    *cell = make_cell(TYPE_VECTOR, 0, node, element_type);
    return cell;
}

void append_value(Cell* vec, const Cell* value) {
    if (value->type() != vec->data3) fire_invalid_arg(*value);
    uint32_t unit = buf(vec->data2)->unit();
    store_element(support::reserve_bytes(vec->data2, unit), value, unit);
}

void append_values(Cell* vec, const Cell* block) {
    const NodeId node = block->data2;
    const int32_t head = std::max(int32_t(block->data1), 0);
    for (int32_t i = head; i < int32_t(buf(node)->used() / sizeof(Cell)); i++) {
        Cell value = buf(node)->head_cell()[i];  // a copy: the append may move the block
        append_value(vec, &value);
    }
}

Cell* to_block(const Cell* vec, Cell* target) {
    const Cell v = *vec;
    int32_t head = std::max(int32_t(v.data1), 0);
    int32_t n = count_from_head(&v);
    block::make_at(target, std::max(n, 1));
    SeriesBuffer* src = buf(v.data2);  // after the allocation
    SeriesBuffer* dst = buf(target->data2);
    uint32_t unit = src->unit();
    Cell* cells = dst->head_cell();
    for (int32_t i = 0; i < n; i++)
        cells[i] = element_value(src->head_ptr() + int64_t(head + i) * unit, unit, v.data3);
    dst->tail = dst->head + uint32_t(n) * sizeof(Cell);
    return target;
}

Cell* do_math(int op) {
    Cell* left = stack::argument(0);
    Cell* right = left + 1;
    if (right->is(TYPE_VECTOR)) return math_vectors(op, left, right);
    return math_scalar(op, left, right);
}

Cell* math_scalar(int op, Cell* vec, const Cell* scalar, bool scalar_first) {
    uint32_t type = vec->data3;
    double d;
    switch (scalar->type()) {
        case TYPE_INTEGER: case TYPE_CHAR: d = scalar->as_int(); break;
        case TYPE_FLOAT: case TYPE_PERCENT: d = scalar->as_double(); break;
        default: not_done_raise();
    }
    check_float_op(type, op);
    bool identity = !scalar_first && (op == MATH_SUBTRACT || op == MATH_DIVIDE);
    if (((op == MATH_ADD || (identity && op == MATH_SUBTRACT)) && d == 0) ||
        ((op == MATH_MULTIPLY || (identity && op == MATH_DIVIDE)) && d == 1))
        return vec;
    const NodeId node = vec->data2;
    const int32_t head = std::max(int32_t(vec->data1), 0);
    const int32_t n = count_from_head(vec);
    const uint32_t unit = buf(node)->unit();
    uint8_t* p = address_of(node, head);  // nothing below allocates
    if (float_type_q(type)) {
        for (int32_t i = 0; i < n; i++, p += unit) {
            double e = get_float(p, unit);
            put_float(p, unit, scalar_first ? float_::do_math(d, e, op) : float_::do_math(e, d, op));
        }
        return vec;
    }
    // A float beyond 32 bits has no integer to truncate to.
    if (!(d > -2147483649.0 && d < 2147483648.0)) integer::fire_overflow();
    int32_t s = int32_t(d);
    bool divides = op == MATH_DIVIDE || op == MATH_REMAINDER;
    // Division by zero must raise before any element has changed.
    if (divides && !scalar_first && s == 0) integer::fire_zero_divide();
    if (divides && scalar_first)
        for (int32_t i = 0; i < n; i++)
            if (int_element(p + i * unit, unit, type) == 0) integer::fire_zero_divide();
    for (int32_t i = 0; i < n; i++, p += unit) {
        int32_t e = int32_t(int_element(p, unit, type));
        put_int(p, unit, scalar_first ? wrapping_math(s, e, op) : wrapping_math(e, s, op));
    }
    return vec;
}

// ---------------------------------------------------------------- actions

Cell* make(Cell*, Cell* spec, int) {
    switch (spec->type()) {
        case TYPE_INTEGER: case TYPE_FLOAT: {
            uint32_t type = spec->type();
            int32_t n = support::to_int_checked(spec);
            return make_filled(type, default_unit(type), n, nullptr);
        }
        case TYPE_BLOCK:
            return make_from_block(spec);
        default:
            not_done_raise();
    }
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    const Cell vec = *value;
    Writer w{buffer, part};
    write_elements(w, vec, arg, false, false);
    return w.left();
}

// `only` leaves out the outer "make vector! [" and its closing bracket alike.
int mold(Cell* value, Cell* buffer, bool only, bool all, bool, Cell* arg, int part, int) {
    const Cell vec = *value;
    Writer w{buffer, part};
    if (!only) w.text("make vector! [");
    uint32_t unit = buf(vec.data2)->unit();
    bool bare = count_from_head(&vec) > 0 && unit == default_unit(vec.data3);
    if (bare) {
        write_elements(w, vec, arg, true, all);
    } else {
        w.text(registry::type_name(vec.data3));
        w.text(" ");
        w.text(integer::form_decimal(int32_t(unit * 8)));
        w.text(" [");
        write_elements(w, vec, arg, true, all);
        w.text("]");
    }
    if (!only) w.text("]");
    return w.left();
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_VECTOR)) return COMPARE_UNCOMPARABLE;
    uint32_t type = value1->data3;
    if (value2->data3 != type) support::fire_error(ErrorId::script_not_same_type);
    bool same = value1->data2 == value2->data2 && value1->data1 == value2->data1;
    if (op == COMP_SAME) return same ? 0 : -1;
    bool equality = equality_op_q(op);
    if (same && equality) return 0;
    int32_t na = count_from_head(value1), nb = count_from_head(value2);
    if (na == 0 && nb == 0) return 0;
    if (na != nb && equality) return 1;
    SeriesBuffer* ba = buf(value1->data2);
    SeriesBuffer* bb = buf(value2->data2);
    uint32_t ua = ba->unit(), ub = bb->unit();
    const uint8_t* a = ba->head_ptr() + int64_t(std::max(int32_t(value1->data1), 0)) * ua;
    const uint8_t* b = bb->head_ptr() + int64_t(std::max(int32_t(value2->data1), 0)) * ub;
    int32_t n = std::min(na, nb);
    for (int32_t i = 0; i < n; i++, a += ua, b += ub) {
        if (float_type_q(type)) {
            double x = get_float(a, ua), y = get_float(b, ub);
            if (x != x || y != y) return 0;
            if (x != y) return x < y ? -1 : 1;
        } else {
            int64_t x = int_element(a, ua, type), y = int_element(b, ub, type);
            if (x != y) return x < y ? -1 : 1;
        }
    }
    return na < nb ? -1 : na > nb ? 1 : 0;
}

void add() { do_math(MATH_ADD); }
void subtract() { do_math(MATH_SUBTRACT); }
void multiply() { do_math(MATH_MULTIPLY); }
void divide() { do_math(MATH_DIVIDE); }
void remainder() { do_math(MATH_REMAINDER); }
void and_() { do_math(MATH_AND); }
void or_() { do_math(MATH_OR); }
void xor_() { do_math(MATH_XOR); }

Cell* append(Cell* series, Cell* value, int part, bool, int dup, bool is_append) {
    const NodeId node = series->data2;
    const uint32_t type = series->data3;
    int32_t head = clip_head(series);
    Source s = source_of(value, part, false);
    if (dup < 1 || s.count == 0) {
        if (is_append) series->data1 = 0;
        return series;
    }
    check_source(s, type);
    uint32_t unit = buf(node)->unit();
    check_size(int64_t(s.count) * dup, total_of(node), unit);
    const Cell* word = is_append ? words::get(words::append) : words::insert();
    int32_t total = total_of(node);
    bool told = tell(series, word, value, is_append ? total : head, int64_t(s.count) * dup);
    if (told) {  // the owner's handler may have changed either series
        head = clip_head(series);
        s = source_of(value, part, false);
        check_source(s, type);
    }
    int64_t written = int64_t(s.count) * dup;
    total = total_of(node);
    check_size(written, total, unit);
    int32_t pos = is_append ? total : head;
    std::vector<uint8_t> keep;
    SeriesBuffer* b = ensure_room(node, (total + written) * unit);
    const uint8_t* own = copy_if_shared(s, node, keep);
    uint8_t* at = b->head_ptr() + int64_t(pos) * unit;
    std::memmove(at + written * unit, at, size_t(total - pos) * unit);
    write_source(s, at, unit, own);
    if (dup > 1) support::replicate_bytes(at, s.count * int32_t(unit), dup);
    b->tail += uint32_t(written * unit);
    if (told) tell(series, words::get(is_append ? words::appended : words::inserted), value, pos, written);
    series->data1 = is_append ? 0 : uint32_t(pos + written);
    return series;
}

Cell* change(Cell* series, Cell* value, int part, bool, int dup) {
    const NodeId node = series->data2;
    const uint32_t type = series->data3;
    int32_t head = clip_head(series);
    Source s = source_of(value, -1, true);
    check_source(s, type);
    uint32_t unit = buf(node)->unit();
    int64_t written = dup < 1 ? 0 : int64_t(s.count) * dup;
    int32_t total = total_of(node);
    int64_t replaced = std::min<int64_t>(part >= 0 ? part : written, total - head);
    check_size(written, total - replaced, unit);
    bool told = tell(series, words::get(words::change), value, head, replaced);
    if (told) {
        head = clip_head(series);
        s = source_of(value, -1, true);
        check_source(s, type);
        written = dup < 1 ? 0 : int64_t(s.count) * dup;
        total = total_of(node);
        replaced = std::min<int64_t>(replaced, total - head);
        check_size(written, total - replaced, unit);
    }
    int64_t after = total - head - replaced;  // elements kept after the replaced span
    std::vector<uint8_t> keep;
    SeriesBuffer* b = ensure_room(node, (head + written + after) * unit);
    const uint8_t* own = copy_if_shared(s, node, keep);
    uint8_t* at = b->head_ptr() + int64_t(head) * unit;
    if (written != replaced) std::memmove(at + written * unit, at + replaced * unit, size_t(after) * unit);
    if (written > 0) {
        write_source(s, at, unit, own);
        if (dup > 1) support::replicate_bytes(at, s.count * int32_t(unit), dup);
    }
    b->tail = b->head + uint32_t((head + written + after) * unit);
    if (told) tell(series, words::get(words::changed), value, head, written);
    series->data1 = uint32_t(head + written);
    return series;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), inherit<A_RANDOM>(), inherit<A_REFLECT>(), E, own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), inherit<A_EVAL_PATH>(), E, own<A_COMPARE>(compare), E,
        /* 11 */ own<A_ADD>(add), own<A_DIVIDE>(divide), own<A_MULTIPLY>(multiply), E, E,
        /* 16 */ own<A_REMAINDER>(remainder), E, own<A_SUBTRACT>(subtract), E, E, own<A_AND>(and_),
        /* 22 */ E, own<A_OR>(or_), own<A_XOR>(xor_),
        /* 25 */ own<A_APPEND>(append), inherit<A_AT>(), inherit<A_BACK>(), own<A_CHANGE>(change),
        /* 29 */ inherit<A_CLEAR>(), inherit<A_COPY>(), inherit<A_FIND>(), inherit<A_HEAD>(),
        /* 33 */ inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), own<A_INSERT>(append),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), E, inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), inherit<A_SORT>(), inherit<A_SKIP>(), E, inherit<A_TAIL>(),
        /* 49 */ inherit<A_TAIL_Q>(), inherit<A_TAKE>(), E, E, E, E, inherit<A_MODIFY>(), E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_VECTOR, TYPE_STRING, "vector!", slots);
}

}  // namespace zun::vector
