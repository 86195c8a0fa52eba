#include "datatypes/series/bitset.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun::bitset {

using memory::SeriesBuffer;

namespace {

// The highest bit a bitset may hold: its length (whole bytes of bits) must
// stay an integer!.
constexpr int64_t MAX_BIT = 0x7FFFFFF7;

inline SeriesBuffer* buf(const Cell* bits) { return memory::buffer_of(bits->data2); }
inline uint8_t fill_of(const SeriesBuffer* b) {
    return (b->flags & memory::COMPLEMENTED_FLAG) ? 0xFF : 0;
}
inline uint8_t mask_of(uint32_t n) { return uint8_t(0x80u >> (n % 8)); }

bool symbol_is(const Cell* word, sym::Name name) {
    return word->is(TYPE_WORD) && symbol::canonical(word->data2) == symbol::canonical(sym::id(name));
}

[[noreturn]] void fire_out_of_range(int64_t n) {
    Cell value = integer_cell(int32_t(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX)));
    support::fire_error(ErrorId::script_out_of_range, &value);
}

[[noreturn]] void fire_unsupported(const Cell* value, int context) {
    Cell copy = *value;
    Cell datatype = make_cell(TYPE_DATATYPE, TYPE_BITSET);
    if (context == FROM_MAKE) support::fire_error(ErrorId::script_bad_make_arg, &datatype, &copy);
    if (context == FROM_TO) support::fire_error(ErrorId::script_bad_to_arg, &datatype, &copy);
    support::fire_error(ErrorId::script_invalid_arg, &copy);
}

// Only a buffer the ownership table records has an owner to tell.
bool tell(const Cell* bits, const Cell* word, const Cell* value, int64_t index, int64_t part) {
    if (!(buf(bits)->flags & memory::OWNED_FLAG)) return false;
    return ownership::check_owner(bits, word, value, int32_t(index), int32_t(part)) != 0;
}
bool tell(const Cell* bits, words::Name word, const Cell* value) {
    return tell(bits, words::get(word), value, 0, 0);
}

// ---------------------------------------------------------------- one bit

// The number a char!, integer! or float! (truncated) names.
int64_t number_of(const Cell* value) {
    if (value->is(TYPE_FLOAT)) {
        double d = value->as_double();
        if (std::isnan(d)) fire_out_of_range(-1);
        return int64_t(std::clamp(d, -1.0, double(MAX_BIT) + 1));
    }
    if (value->is(TYPE_CHAR)) return value->data2;
    return value->as_int();
}

void add_bit(const Cell* bits, uint32_t n) {
    SeriesBuffer* b = buf(bits);
    if (n / 8 >= b->used()) {
        if (b->flags & memory::COMPLEMENTED_FLAG) return;  // already a member
        b = reserve_bit(bits, n);
    }
    b->head_ptr()[n / 8] |= mask_of(n);
}

void remove_bit(const Cell* bits, uint32_t n) {
    SeriesBuffer* b = buf(bits);
    if (n / 8 >= b->used()) {
        if (!(b->flags & memory::COMPLEMENTED_FLAG)) return;  // never a member
        b = reserve_bit(bits, n);
    }
    b->head_ptr()[n / 8] &= uint8_t(~mask_of(n));
}

// One number under an op; MEASURE and ADD answer the bytes it needs.
int32_t process_number(const Cell* bits, int64_t n, int op) {
    if (n < 0) {
        if (op == TEST) return complemented_q(bits);
        fire_out_of_range(n);
    }
    if (n > MAX_BIT) fire_out_of_range(n);
    switch (op) {
        case TEST: return member_q(bits, n);
        case ADD: add_bit(bits, uint32_t(n)); break;
        case REMOVE: remove_bit(bits, uint32_t(n)); return 1;
        default: break;
    }
    return int32_t(n / 8 + 1);
}

// Each code point on its own: a string need not be sorted, and a code point
// beyond the storage of a complemented set is still a member to test or take.
int32_t process_string(const Cell* text, const Cell* bits, int op) {
    NodeId node = text->data2;
    int32_t bytes = 1;
    for (int64_t i = std::max<int32_t>(int32_t(text->data1), 0);; i++) {
        // Re-read each time: adding a bit may move every buffer.
        SeriesBuffer* b = memory::buffer_of(node);
        uint32_t unit = b->unit();
        if (i >= int64_t(b->used() / unit)) break;
        uint32_t c = string::get_char(b->head_ptr() + i * unit, unit);
        int32_t r = process_number(bits, c, op);
        if (op == TEST && !r) return 0;
        bytes = std::max(bytes, r);
    }
    return op == TEST ? 1 : bytes;
}

// Nested (or self-holding) spec blocks stop at a fixed depth.
constexpr int MAX_NESTING = 1000;
thread_local int g_nesting = 0;

int32_t process_block(const Cell* block, const Cell* bits, int op, int context) {
    struct Depth {
        Depth() {
            if (++g_nesting > MAX_NESTING) {
                g_nesting = 0;
                support::fire_error(ErrorId::internal_stack_overflow);
            }
        }
        ~Depth() {
            if (g_nesting > 0) g_nesting--;
        }
    } depth;
    NodeId node = block->data2;
    int32_t bytes = 1;
    auto count = [&] { return int64_t(memory::buffer_of(node)->used() / sizeof(Cell)); };
    auto at = [&](int64_t i) { return memory::buffer_of(node)->head_cell()[i]; };
    for (int64_t i = std::max<int32_t>(int32_t(block->data1), 0); i < count(); i++) {
        Cell item = at(i);
        bool rangeable = item.is(TYPE_CHAR) || item.is(TYPE_INTEGER);
        if (rangeable && i + 1 < count()) {
            Cell dash = at(i + 1);
            if (symbol_is(&dash, sym::minus)) {
                if (i + 2 >= count()) support::fire_error(ErrorId::script_past_end);
                Cell end = at(i + 2);
                if (end.type() != item.type()) support::fire_error(ErrorId::script_invalid_arg, &end);
                int64_t from = number_of(&item), to = number_of(&end);
                if (to < from) support::fire_error(ErrorId::script_past_end);
                if (from < 0) fire_out_of_range(from);
                if (to > MAX_BIT) fire_out_of_range(to);
                i += 2;
                if (op == MEASURE) {
                    bytes = std::max(bytes, int32_t(to / 8 + 1));
                    continue;
                }
                bool ok = process_range(bits, uint32_t(from), uint32_t(to), op);
                if (op == TEST && !ok) return 0;
                if (op == ADD) bytes = std::max(bytes, int32_t(to / 8 + 1));
                continue;
            }
        }
        int32_t r = process_spec(&item, bits, op, context);
        if (op == TEST && !r) return 0;
        bytes = std::max(bytes, r);
    }
    return op == TEST ? 1 : bytes;
}

// A fresh bitset cell in place of `cell`, over a new buffer of `bytes`.
Cell* new_bits(Cell* cell, uint32_t bytes, bool complemented) {
    *cell = make_cell(TYPE_UNSET);
    NodeId node = memory::alloc_bytes_filled(bytes, complemented ? 0xFF : 0);
    SeriesBuffer* b = memory::buffer_of(node);
    b->tail = b->head + bytes;
    if (complemented) memory::set_buffer_flags(b, memory::COMPLEMENTED_FLAG);
    *cell = make_cell(TYPE_BITSET, 0, node, 0);
    return cell;
}

// A copy of the buffer, flag included, in a new node.
void copy_into(const Cell* bits, Cell* result) {
    *result = make_cell(TYPE_UNSET);
    SeriesBuffer* src = buf(bits);
    uint32_t used = src->used();
    bool complemented = src->flags & memory::COMPLEMENTED_FLAG;
    new_bits(result, used, complemented);
    std::memcpy(buf(result)->head_ptr(), buf(bits)->head_ptr(), used);  // re-read both
}

Cell* build(Cell* spec, int context) {
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_UNSET);
    Cell s = *spec;  // a block's head moves past "not" in this copy only
    bool negated = false;
    if (s.is(TYPE_BLOCK) || s.is(TYPE_PAREN)) {
        SeriesBuffer* b = memory::buffer_of(s.data2);
        int64_t head = std::max<int32_t>(int32_t(s.data1), 0);
        int64_t count = b->used() / sizeof(Cell);
        if (head < count && symbol_is(&b->head_cell()[head], sym::not_)) {
            negated = true;
            s.data1 = uint32_t(++head);
            if (head < count && b->head_cell()[head].is(TYPE_BINARY)) s = b->head_cell()[head];
        }
    }
    switch (s.type()) {
        case TYPE_INTEGER: case TYPE_FLOAT: {
            if (context == FROM_TO) fire_unsupported(spec, FROM_TO);
            int64_t size = number_of(&s);
            if (size < 0) fire_out_of_range(size);
            if (size > MAX_BIT) fire_out_of_range(size);
            return new_bits(result, uint32_t((size + 7) / 8), false);
        }
        case TYPE_BITSET:
            copy_into(&s, result);
            return result;
        case TYPE_BINARY: {
            int32_t n = binary::length_from_head(&s);
            new_bits(result, uint32_t(n), negated);
            const uint8_t* from = binary::head_pointer(&s);  // after the allocation
            uint8_t* to = buf(result)->head_ptr();
            for (int32_t i = 0; i < n; i++) to[i] = negated ? uint8_t(~from[i]) : from[i];
            return result;
        }
        default: {
            // Measure first (the same call checks every value), then fill.
            Cell scratch = make_cell(TYPE_NONE);
            int32_t bytes = process_spec(&s, &scratch, MEASURE, context);
            new_bits(result, uint32_t(bytes), negated);
            process_spec(&s, result, negated ? REMOVE : ADD, context);
            return result;
        }
    }
}

void fill_payload(SeriesBuffer* b, uint8_t byte) {
    std::memset(b->head_ptr(), byte, b->size - b->head);
}

void invert_payload(SeriesBuffer* b) {
    for (uint8_t* p = b->head_ptr(); p < b->end_ptr(); p++) *p = uint8_t(~*p);
}

// True when the state given to poke stands for "not a member".
bool false_state_q(const Cell* v) {
    switch (v->type()) {
        case TYPE_NONE: return true;
        case TYPE_LOGIC: return v->data1 == 0;
        case TYPE_INTEGER: return v->as_int() == 0;
        case TYPE_FLOAT: return v->as_double() == 0.0;
        default: return false;
    }
}

// "remove" has no runtime word of its own: an unbound word of its symbol.
Cell remove_word() { return make_cell(TYPE_WORD, 0, sym::id(sym::remove_), context::NO_INDEX); }

}  // namespace

// ================================================================ bits

bool member_q(const Cell* bits, int64_t n) {
    SeriesBuffer* b = buf(bits);
    if (n < 0 || uint64_t(n / 8) >= b->used()) return b->flags & memory::COMPLEMENTED_FLAG;
    return b->head_ptr()[n / 8] & mask_of(uint32_t(n));
}

bool out_of_range_q(const Cell* bits, int64_t n) {
    return n < 0 || uint64_t(n / 8) >= buf(bits)->used();
}

SeriesBuffer* reserve_bit(const Cell* bits, uint32_t n) {
    SeriesBuffer* b = buf(bits);
    uint32_t need = n / 8 + 1;
    uint32_t capacity = b->size - b->head;
    if (need > capacity) {
        int64_t want = std::min<int64_t>(std::max<int64_t>(need, int64_t(capacity) * 2), MAX_BIT / 8 + 1);
        b = memory::expand_series_filled(b, b->head + want, fill_of(b));
    }
    if (b->used() < need) {
        std::memset(b->tail_ptr(), fill_of(b), need - b->used());
        b->tail = b->head + need;
    }
    return b;
}

bool process_range(const Cell* bits, uint32_t from, uint32_t to, int op) {
    if (op == TEST) {
        for (uint64_t n = from; n <= to; n++)
            if (!member_q(bits, int64_t(n))) return false;
        return true;
    }
    bool complemented = complemented_q(bits);
    // Bits beyond the storage already read right: a complemented set holds
    // them, a plain one lacks them.
    if (op == ADD ? complemented : !complemented) {
        uint64_t stored = uint64_t(buf(bits)->used()) * 8;
        if (from >= stored) return true;
        to = uint32_t(std::min<uint64_t>(to, stored - 1));
    } else {
        reserve_bit(bits, to);
    }
    uint8_t* p = buf(bits)->head_ptr();  // nothing below allocates
    auto one = [&](uint64_t n) {
        if (op == ADD) p[n / 8] |= mask_of(uint32_t(n));
        else p[n / 8] &= uint8_t(~mask_of(uint32_t(n)));
    };
    uint64_t n = from, last = to;
    for (; n <= last && n % 8 != 0; n++) one(n);
    if (n + 7 <= last) {  // whole bytes at once
        uint64_t whole = (last - n + 1) / 8;
        std::memset(p + n / 8, op == ADD ? 0xFF : 0, size_t(whole));
        n += whole * 8;
    }
    for (; n <= last; n++) one(n);
    return true;
}

int32_t process_spec(const Cell* spec, const Cell* bits, int op, int context) {
    switch (spec->type()) {
        case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT:
            return process_number(bits, number_of(spec), op);
        case TYPE_BLOCK: case TYPE_PAREN:
            return process_block(spec, bits, op, context);
        case TYPE_BINARY:
            support::fire_error(ErrorId::internal_not_done);
        default:
            if (string::any_string_q(spec->type())) return process_string(spec, bits, op);
            fire_unsupported(spec, context);
    }
}

Cell* make_at(Cell* cell, uint32_t bytes, bool complemented) {
    return new_bits(cell, bytes, complemented);
}

// ================================================================ set operations

void set_operation(int op) {
    Cell* a = stack::argument(0);
    if (op == 8) return;  // unique: the set itself
    Cell* b = stack::argument(1);
    if (!b->is(TYPE_BITSET)) {
        Cell datatype = make_cell(TYPE_DATATYPE, b->type());
        support::fire_error(ErrorId::script_invalid_type, &datatype);
    }
    uint32_t l1 = buf(a)->used(), l2 = buf(b)->used();
    bool f1 = complemented_q(a), f2 = complemented_q(b);
    // Beyond its stored bytes an operand reads as its fill; the result flag is
    // the operation applied to the two flags.
    bool flag;
    switch (op) {
        case 5: case 9: flag = f1 || f2; break;
        case 6: case 10: flag = f1 && f2; break;
        case 11: flag = f1 && !f2; break;
        default: flag = f1 != f2; break;
    }
    uint32_t length = std::max(l1, l2);
    // and~ ends with the shorter operand when that one is plain: what follows
    // would be all 0, as the result's fill says.
    if (op == 6 && ((l1 <= l2 && !f1) || (l2 <= l1 && !f2))) length = std::min(l1, l2);
    Cell* result = new_bits(stack::push_cell(), length, flag);
    const uint8_t* p1 = buf(a)->head_ptr();  // read after the allocation
    const uint8_t* p2 = buf(b)->head_ptr();
    uint8_t fill1 = f1 ? 0xFF : 0, fill2 = f2 ? 0xFF : 0;
    uint8_t* out = buf(result)->head_ptr();
    for (uint32_t i = 0; i < length; i++) {
        uint8_t x = i < l1 ? p1[i] : fill1, y = i < l2 ? p2[i] : fill2;
        switch (op) {
            case 5: case 9: out[i] = x | y; break;
            case 6: case 10: out[i] = x & y; break;
            case 11: out[i] = x & uint8_t(~y); break;
            default: out[i] = x ^ y; break;
        }
    }
    *stack::argument(0) = *result;
    stack::pop(1);
}

namespace {
void and_() { set_operation(6); }
void or_() { set_operation(5); }
void xor_() { set_operation(7); }
}  // namespace

// ================================================================ actions

Cell* make(Cell*, Cell* spec, int) { return build(spec, FROM_MAKE); }
Cell* to(Cell*, Cell* spec, int) { return build(spec, FROM_TO); }

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    bool complemented = complemented_q(value);
    char head[32];
    std::strcpy(head, complemented ? "make bitset! [not #{" : "make bitset! #{");
    string::append_c_string(buffer, head);
    int limit = part - int(std::strlen(head));
    if (arg && limit < 0) return limit;
    // Hex digits in chunks; the bytes are re-read after each append.
    char chunk[256];
    uint32_t used = 0;
    uint32_t n = buf(value)->used();
    for (uint32_t i = 0; i < n; i++) {
        uint8_t byte = buf(value)->head_ptr()[i];
        if (complemented) byte = uint8_t(~byte);
        chunk[used++] = binary::hex_digit(byte >> 4);
        chunk[used++] = binary::hex_digit(byte);
        limit -= 2;
        bool stop = arg && limit < 0;
        if (used == sizeof chunk || stop || i + 1 == n) {
            string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(chunk), used);
            used = 0;
        }
        if (stop) return limit;
    }
    string::append_c_string(buffer, complemented ? "}]" : "}");
    return limit - (complemented ? 2 : 1);
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_BITSET)) return COMPARE_UNCOMPARABLE;
    if (op == COMP_SAME) return value1->data2 == value2->data2 ? 0 : 1;
    SeriesBuffer* a = buf(value1);
    SeriesBuffer* b = buf(value2);
    uint32_t la = a->used(), lb = b->used();
    if (la != lb) return la < lb ? -1 : 1;
    if (la == 0) return 0;
    bool fa = a->flags & memory::COMPLEMENTED_FLAG, fb = b->flags & memory::COMPLEMENTED_FLAG;
    if (fa != fb) return fa ? 1 : -1;
    for (uint32_t i = la; i-- > 0;) {
        uint8_t x = a->head_ptr()[i], y = b->head_ptr()[i];
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

Cell* complement(Cell* value) {
    Cell* result = stack::push_cell();
    copy_into(value, result);
    SeriesBuffer* b = buf(result);
    b->flags ^= memory::COMPLEMENTED_FLAG;
    invert_payload(b);
    return result;
}

void negate(Cell* value) {
    stack::StackScope scope;
    *value = *complement(value);
}

Cell* pick(Cell* series, int, Cell* index_cell) {
    bool member = process_spec(index_cell, series, TEST, FROM_ACTION);
    return member ? &shared_true_cell : &shared_false_cell;
}

static Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool,
                  bool, bool, bool) {
    bool member = process_spec(value, series, TEST, FROM_ACTION);
    return member ? &shared_true_cell : &shared_none_cell;
}

Cell* poke(Cell* series, int, Cell* value, Cell* index_cell) {
    bool told = tell(series, words::poke, index_cell);
    process_spec(index_cell, series, false_state_q(value) ? REMOVE : ADD, FROM_ACTION);
    if (told) tell(series, words::poked, index_cell);
    return value;
}

Cell* append(Cell* series, Cell* value, int, bool, int, bool is_append) {
    const Cell* word = is_append ? words::get(words::append) : words::insert();
    bool told = tell(series, word, value, 0, 0);
    process_spec(value, series, ADD, FROM_ACTION);
    if (told) tell(series, is_append ? words::appended : words::inserted, value);
    return series;
}

Cell* remove_(Cell* series, Cell*, Cell* key) {
    if (!key) support::fire_error(ErrorId::script_missing_arg);
    Cell word = remove_word();
    bool told = tell(series, &word, key, 0, 0);
    // A complemented set lists the numbers it lacks: removing takes a number
    // off that list.
    process_spec(key, series, complemented_q(series) ? ADD : REMOVE, FROM_ACTION);
    if (told) tell(series, words::removed, key);
    return series;
}

Cell* clear(Cell* series) {
    tell(series, words::clear, nullptr);
    SeriesBuffer* b = buf(series);
    fill_payload(b, fill_of(b));
    tell(series, words::cleared, nullptr);
    return series;
}

static Cell* copy(Cell* value, Cell* result, Cell*, bool, Cell*) {
    copy_into(value, result);
    return result;
}

int length_q(Cell* series) { return int(buf(series)->used() * 8); }

static void reflect(Cell* value, uint32_t field) {
    if (symbol::canonical(field) != symbol::canonical(sym::id(sym::owned)))
        support::fire_error(ErrorId::internal_not_done);
    Cell owner, word;
    bool owned = (buf(value)->flags & memory::OWNED_FLAG) &&
                 ownership::find_owner(value->data2, &owner, &word);
    *value = owned ? owner : make_cell(TYPE_NONE);
}

static Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    if (!symbol_is(field, sym::owned) && !(field->is(TYPE_LIT_WORD) &&
                                           symbol::canonical(field->data2) ==
                                               symbol::canonical(sym::id(sym::owned))))
        return value;
    if (value->is(TYPE_NONE)) {
        ownership::unset_owner(target);
    } else if (value->is(TYPE_BLOCK)) {
        SeriesBuffer* b = memory::buffer_of(value->data2);
        int64_t head = std::max<int32_t>(int32_t(value->data1), 0);
        if (int64_t(b->used() / sizeof(Cell)) >= head + 2) {
            Cell owner = b->head_cell()[head], word = b->head_cell()[head + 1];
            ownership::set_owner(target, &owner, &word);
        }
    }
    return value;
}

static Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell*, Cell*, Cell*, int, bool,
                       bool, bool, bool) {
    static Cell g_result;
    if (!element->is(TYPE_INTEGER) && !element->is(TYPE_CHAR)) {
        Cell datatype = make_cell(TYPE_DATATYPE, element->type());
        support::fire_error(ErrorId::script_invalid_type, &datatype);
    }
    if (value) return poke(parent, 0, value, element);
    g_result = *pick(parent, 0, element);
    return &g_result;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, own<A_REFLECT>(reflect), own<A_TO>(to),
        /*  5 */ own<A_FORM>(form), own<A_MOLD>(mold),
        /*  7 */ own<A_EVAL_PATH>(eval_path), E, own<A_COMPARE>(compare), E, E, E, E,
        /* 14 */ own<A_NEGATE>(negate),
        /* 15 */ E, E, E, E, E, E, own<A_AND>(and_), own<A_COMPLEMENT>(complement),
        /* 23 */ own<A_OR>(or_), own<A_XOR>(xor_), own<A_APPEND>(append), E, E, E,
        /* 29 */ own<A_CLEAR>(clear),
        /* 30 */ own<A_COPY>(copy), own<A_FIND>(find), E, E, E, own<A_INSERT>(append),
        /* 36 */ own<A_LENGTH_Q>(length_q), E,
        /* 38 */ E, own<A_PICK>(pick), own<A_POKE>(poke), E, own<A_REMOVE>(remove_), E, E, E,
        /* 46 */ E, E, E, E, E, E, E, E,
        /* 54 */ E, own<A_MODIFY>(modify), E, E, E, E, E, E,
        /* 62 */ E);
    registry::register_type(TYPE_BITSET, 0, "bitset!", slots);
}

}  // namespace zun::bitset
