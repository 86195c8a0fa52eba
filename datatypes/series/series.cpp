#include "datatypes/series/series.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/rng.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/vector.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::series {

namespace {

using memory::SeriesBuffer;

inline SeriesBuffer* buffer_of(const Cell* s) { return memory::buffer_of(s->data2); }
inline uint32_t shift_of(const SeriesBuffer* b) { return uint32_t(std::countr_zero(b->unit())); }
inline int32_t head_of(const Cell* s) { return int32_t(s->data1); }
inline int32_t total_of(const SeriesBuffer* b) { return int32_t(b->used() >> shift_of(b)); }
// Address of unit i counted from the first used byte.
inline uint8_t* unit_at(SeriesBuffer* b, int64_t i) { return b->head_ptr() + i * b->unit(); }

bool cell_type(uint32_t t) {
    return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_HASH ||
           (t >= TYPE_PATH && t <= TYPE_GET_PATH);
}
bool text_type(uint32_t t) {
    return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
           t == TYPE_EMAIL || t == TYPE_REF;
}
bool any_series(uint32_t t) {
    return cell_type(t) || text_type(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
           t == TYPE_IMAGE;
}
inline NodeId table_of(const Cell* s) { return s->is(TYPE_HASH) ? s->data3 : 0; }
inline bool same_series(const Cell* a, const Cell* b) {
    return a->type() == b->type() && a->data2 == b->data2;
}

// ---------------------------------------------------------------- notifications

// Only a buffer recorded in the ownership table has an owner to tell: the flag
// test keeps the look-up off the hot paths.
bool tell(const Cell* series, const Cell* word, const Cell* value, int64_t index, int64_t part) {
    if (!(buffer_of(series)->flags & memory::OWNED_FLAG)) return false;
    return ownership::check_owner(series, word, value, int32_t(index), int32_t(part)) != 0;
}
bool tell(const Cell* series, words::Name word, const Cell* value, int64_t index, int64_t part) {
    return tell(series, words::get(word), value, index, part);
}
// The runtime words hold no `remove`: an unbound word of its symbol stands in.
Cell remove_word() { return make_cell(TYPE_WORD, 0, sym::id(sym::remove_), context::NO_INDEX); }

// ---------------------------------------------------------------- errors

[[noreturn]] void bad_refine(refinements::Name name, const Cell* value) {
    Cell word = *refinements::get(name);
    word.set_type(TYPE_WORD);
    support::fire_error(ErrorId::script_invalid_refine_arg, &word, value);
}

[[noreturn]] void out_of_range(int64_t index) {
    Cell i = integer_cell(int32_t(index));
    support::fire_error(ErrorId::script_out_of_range, &i);
}

[[noreturn]] void move_bad(uint32_t from, uint32_t to) {
    Cell* a = datatype::push(from);
    Cell* b = datatype::push(to);
    support::fire_error(ErrorId::script_move_bad, a, b);
}

[[noreturn]] void not_a_target(const Cell* target) {
    Cell callee = stack::current_callee_word();
    Cell* type = datatype::push(target->type());
    Cell word = make_cell(TYPE_NONE);
    if (symbols::ready())
        word = make_cell(TYPE_WORD, 0, symbol::make("target"), context::NO_INDEX);
    support::fire_error(ErrorId::script_expect_arg, &callee, type, &word);
}

// The count a /part of remove, reverse or take gives: an integer!, or a
// position in the same series.
int64_t part_count(const Cell* part, const Cell* series) {
    if (part->is(TYPE_INTEGER)) return part->as_int();
    if (same_series(part, series)) return int64_t(head_of(part)) - head_of(series);
    bad_refine(refinements::part, part);
}

// ---------------------------------------------------------------- elements

// Vector elements read as the vector's own element values (narrow chars
// zero-extended, narrow integers sign-extended, 4-byte floats widened).
void vector_element(const uint8_t* p, uint32_t unit, uint32_t element_type, Cell* out) {
    *out = vector::element_value(p, unit, element_type);
}

void store_vector_element(uint8_t* p, uint32_t unit, const Cell* value) {
    if (value->is(TYPE_FLOAT) || value->is(TYPE_PERCENT)) {
        double d = value->as_double();
        if (unit == 8) {
            std::memcpy(p, &d, 8);
        } else {
            float f = float(d);
            std::memcpy(p, &f, 4);
        }
        return;
    }
    uint32_t v = value->data2;
    std::memcpy(p, &v, std::min<uint32_t>(unit, 4));  // low bytes first
}

void put_char(uint8_t* p, uint32_t unit, uint32_t cp) {
    p[0] = uint8_t(cp);
    if (unit == 1) return;
    p[1] = uint8_t(cp >> 8);
    if (unit == 2) return;
    p[2] = uint8_t(cp >> 16);
    p[3] = uint8_t(cp >> 24);
}

// The unit a string needs at a written position to keep the code point.
inline uint32_t unit_for(uint32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

// Writes a code point at unit index i of a string, widening the buffer first
// when its unit cannot keep it.
void poke_char(const Cell* str, int64_t i, uint32_t cp) {
    SeriesBuffer* b = buffer_of(str);
    uint32_t unit = b->unit();
    if (unit_for(cp) > unit) {
        b = string::widen_to(b, unit, unit_for(cp));
        unit = b->unit();
    }
    put_char(unit_at(b, i), unit, cp);
}

Cell g_picked;  // pick's answer for values that are not cells of the series

// The element at unit p, as pick makes it. A cell element is answered in place.
Cell* element_at(const Cell* series, int64_t p) {
    SeriesBuffer* b = buffer_of(series);
    const uint8_t* at = unit_at(b, p);
    uint32_t t = series->type();
    if (cell_type(t)) return b->head_cell() + p;
    if (t == TYPE_VECTOR) vector_element(at, b->unit(), series->data3, &g_picked);
    else if (t == TYPE_BINARY) g_picked = integer_cell(at[0]);
    else g_picked = make_cell(TYPE_CHAR, 0, string::get_char(at, b->unit()), 0);
    return &g_picked;
}

// Position of pick/poke index i (never 0) from the head.
inline int64_t index_position(const Cell* series, int i) {
    return int64_t(head_of(series)) + (i > 0 ? i - 1 : i);
}

void swap_units(SeriesBuffer* b, int64_t i, int64_t j, int64_t width) {
    uint8_t* a = unit_at(b, i);
    std::swap_ranges(a, a + width * b->unit(), unit_at(b, j));
}

// Re-indexes n cells of a hash! from position `from` (their old entries gone).
void index_cells(NodeId table, const Cell* series, int64_t from, int64_t n) {
    for (int64_t i = from; i < from + n; i++) {
        int status;
        // put may grow the table and move every buffer: the cell is re-read each time.
        hashtable::put_with_status(table, buffer_of(series)->head_cell() + i, &status);
        if (status == 2) return;  // rebuilt over the whole block
    }
}

// Cells [at, total) of a hash! moved by shift (a removal when negative).
void shift_table(NodeId table, int64_t shift, int64_t at, int64_t moved, int32_t new_total) {
    if (hashtable::shift_positions(table, int32_t(shift), int32_t(at), int32_t(moved), true))
        hashtable::rebuild(table, new_total);
}

// Room for `bytes` more bytes after the tail; may move the buffer.
SeriesBuffer* room_for(SeriesBuffer* b, uint64_t bytes) {
    uint64_t need = uint64_t(b->used()) + bytes;
    if (need > 0x7FFFFFF0ull / 2) support::fire_error(ErrorId::internal_no_memory);
    if (b->size - b->head >= need) return b;
    return memory::expand_series(b, int64_t(need * 2));
}

// Takes n units out of a series at unit `from`, closing the gap.
void close_gap(const Cell* series, int64_t from, int64_t n) {
    SeriesBuffer* b = buffer_of(series);
    int32_t total = total_of(b);
    uint8_t* at = unit_at(b, from);
    std::memmove(at, at + n * b->unit(), size_t(total - from - n) * b->unit());
    b->tail -= uint32_t(n * b->unit());
    if (NodeId table = table_of(series)) shift_table(table, -n, from + n, total - from - n, total - int32_t(n));
}

// ---------------------------------------------------------------- move

// Inside one series: the n units at the origin's head land at the target.
Cell* move_within(Cell* origin, Cell* target, int64_t n) {
    int64_t o = head_of(origin), t = head_of(target);
    int64_t total = total_of(buffer_of(origin));
    if (o == t) return target;
    if (t > o && t != total && total - t < n) return origin;
    t = std::clamp<int64_t>(t, 0, total);
    // A target inside the moved run has no place to receive it.
    if (t > o && t < o + n) return target;
    int64_t dest = t < o ? t : t == total ? total - n : t + 1 - n;
    bool told = tell(target, words::move, origin, o, n);
    SeriesBuffer* b = buffer_of(origin);
    if (total_of(b) != total) return target;  // the owner's handler reshaped it
    uint8_t* base = b->head_ptr();
    uint32_t u = b->unit();
    if (dest > o) std::rotate(base + o * u, base + (o + n) * u, base + (dest + n) * u);
    else std::rotate(base + dest * u, base + o * u, base + (o + n) * u);
    if (NodeId table = table_of(origin))
        if (hashtable::move_range(table, int32_t(o), int32_t(dest), int32_t(n)))
            hashtable::rebuild(table, int32_t(total));
    if (told) tell(target, words::moved, nullptr, head_of(target) - n, n);
    return target;
}

// Between two series of one unit size: raw units.
void move_units_same(const Cell* origin, const Cell* target, int64_t n) {
    SeriesBuffer* tb = buffer_of(target);
    uint32_t u = tb->unit();
    int64_t ttotal = total_of(tb);
    int64_t t = std::clamp<int64_t>(head_of(target), 0, ttotal);
    tb = room_for(tb, uint64_t(n) * u);
    SeriesBuffer* ob = buffer_of(origin);  // re-read: growing the target may move it
    uint8_t* at = unit_at(tb, t);
    std::memmove(at + n * u, at, size_t(ttotal - t) * u);
    std::memcpy(at, unit_at(ob, head_of(origin)), size_t(n) * u);
    tb->tail += uint32_t(n * u);
    close_gap(origin, head_of(origin), n);
    if (NodeId table = table_of(target)) {
        if (hashtable::shift_positions(table, int32_t(n), int32_t(t), int32_t(ttotal - t), true))
            hashtable::rebuild(table, int32_t(ttotal + n));
        else
            index_cells(table, target, t, n);
    }
}

// Between strings of different units: code points, the target widening when
// one of them does not fit its unit.
void move_units_text(const Cell* origin, const Cell* target, int64_t n) {
    SeriesBuffer* ob = buffer_of(origin);
    uint32_t ou = ob->unit();
    uint32_t widest = 1;
    for (int64_t i = 0; i < n; i++)
        widest = std::max(widest, unit_for(string::get_char(unit_at(ob, head_of(origin) + i), ou)));
    SeriesBuffer* tb = buffer_of(target);
    if (widest > tb->unit()) tb = string::widen_to(tb, tb->unit(), widest);
    uint32_t tu = tb->unit();
    int64_t ttotal = total_of(tb);
    int64_t t = std::clamp<int64_t>(head_of(target), 0, ttotal);
    tb = room_for(tb, uint64_t(n) * tu);
    ob = buffer_of(origin);  // re-read: widening and growing may move it
    uint8_t* at = unit_at(tb, t);
    std::memmove(at + n * tu, at, size_t(ttotal - t) * tu);
    for (int64_t i = 0; i < n; i++)
        put_char(at + i * tu, tu, string::get_char(unit_at(ob, head_of(origin) + i), ou));
    tb->tail += uint32_t(n * tu);
    close_gap(origin, head_of(origin), n);
}

Cell* move_between(Cell* origin, Cell* target, int64_t n) {
    uint32_t ot = origin->type(), tt = target->type();
    // Cells and units never mix; an image keeps its pixels its own way.
    if (cell_type(ot) != cell_type(tt) || ot == TYPE_IMAGE || tt == TYPE_IMAGE) move_bad(ot, tt);
    bool told = tell(target, words::move, origin, head_of(origin), n);
    n = std::min<int64_t>(n, total_of(buffer_of(origin)) - int64_t(head_of(origin)));
    if (n < 1) return target;  // the owner's handler emptied the origin
    if (buffer_of(origin)->unit() == buffer_of(target)->unit()) {
        move_units_same(origin, target, n);
    } else {
        bool raw = ot == TYPE_BINARY || ot == TYPE_VECTOR || tt == TYPE_BINARY || tt == TYPE_VECTOR;
        if (raw) move_bad(ot, tt);
        move_units_text(origin, target, n);
    }
    if (told) tell(target, words::moved, nullptr, head_of(target), n);
    return target;
}

// ---------------------------------------------------------------- take

NodeId g_scratch_node = 0;
SeriesBuffer* g_scratch = nullptr;

bool scratch_valid() {
    return g_scratch && memory::initialised() && memory::buffer_of(g_scratch_node) == g_scratch;
}

// The shared one-unit result buffer of take, made outside the frames.
NodeId scratch_for(uint32_t unit) {
    if (!scratch_valid()) {
        if (g_scratch) runtime::free(g_scratch);  // left by an earlier memory manager
        g_scratch_node = memory::alloc_series_malloc(1, sizeof(Cell), 0);
        g_scratch = memory::buffer_of(g_scratch_node);
    }
    g_scratch->flags = (g_scratch->flags & ~memory::UNIT_MASK) | unit;
    g_scratch->tail = g_scratch->head;
    return g_scratch_node;
}

}  // namespace

// ---------------------------------------------------------------- positions

bool at_tail_q(const Cell* series) {
    const SeriesBuffer* b = buffer_of(series);
    return head_of(series) >= total_of(b);
}

int32_t length_from_start(const Cell* series) { return total_of(buffer_of(series)); }

bool skip_checked(Cell* series, int32_t n) {
    int32_t total = total_of(buffer_of(series));
    int64_t to = int64_t(head_of(series)) + n;
    if (to >= 0 && to <= total) series->data1 = uint32_t(to);
    return head_of(series) >= total;
}

int32_t clip_offset(bool at, const Cell* series, const Cell* index) {
    if (!index->is(TYPE_INTEGER)) support::fire_error(ErrorId::script_invalid_arg, index);
    int64_t n = index->as_int();
    int64_t to = int64_t(head_of(series)) + (at && n >= 1 ? n - 1 : n);
    return int32_t(std::clamp<int64_t>(to, 0, total_of(buffer_of(series))));
}

int32_t length_clipped(Cell* series, bool from_start) {
    int32_t total = total_of(buffer_of(series));
    int32_t p = from_start ? 0 : std::max(head_of(series), 0);
    if (p <= total) return total - p;
    series->data1 = uint32_t(total);
    return 0;
}

// ---------------------------------------------------------------- navigation

void at() {
    Cell* s = stack::argument(0);
    s->data1 = uint32_t(clip_offset(true, s, stack::argument(1)));
}

void skip() {
    Cell* s = stack::argument(0);
    s->data1 = uint32_t(clip_offset(false, s, stack::argument(1)));
}

void back() {
    Cell* s = stack::argument(0);
    if (head_of(s) > 0) s->data1--;
}

void next() { skip_checked(stack::argument(0), 1); }
void head() { stack::argument(0)->data1 = 0; }
void tail() {
    Cell* s = stack::argument(0);
    s->data1 = uint32_t(total_of(buffer_of(s)));
}

void head_q() {
    Cell* s = stack::argument(0);
    *s = logic::make_value(head_of(s) == 0);
}

void tail_q() {
    Cell* s = stack::argument(0);
    *s = logic::make_value(at_tail_q(s));
}

void index_q() {
    Cell* s = stack::argument(0);
    *s = integer_cell(int32_t(int64_t(head_of(s)) + 1));
}

int length_q(Cell* series) { return length_clipped(series, false); }

// ---------------------------------------------------------------- pick and poke

Cell* pick(Cell* series, int index, Cell*) {
    int64_t p = index_position(series, index);
    if (index == 0 || p < 0 || p >= total_of(buffer_of(series))) {
        g_picked = make_cell(TYPE_NONE);
        return &g_picked;
    }
    return element_at(series, p);
}

Cell* poke(Cell* series, int index, Cell* value, Cell*) {
    int64_t p = index_position(series, index);
    if (index == 0 || p < 0 || p >= total_of(buffer_of(series))) out_of_range(index);
    bool told = tell(series, words::poke, value, p, 1);
    SeriesBuffer* b = buffer_of(series);
    if (p >= total_of(b)) out_of_range(index);  // the owner's handler shortened it
    uint32_t t = series->type();
    if (cell_type(t)) {
        NodeId table = table_of(series);
        if (table) hashtable::remove_range(table, int32_t(p), 1);
        buffer_of(series)->head_cell()[p] = *value;
        if (table) index_cells(table, series, p, 1);
    } else if (t == TYPE_VECTOR) {
        if (value->type() != series->data3) support::fire_error(ErrorId::script_invalid_arg, value);
        store_vector_element(unit_at(b, p), b->unit(), value);
    } else if (t == TYPE_BINARY) {
        if (!value->is(TYPE_INTEGER) && !value->is(TYPE_CHAR))
            support::fire_error(ErrorId::script_invalid_arg, value);
        *unit_at(b, p) = uint8_t(value->data2);
    } else {
        if (!value->is(TYPE_CHAR)) support::fire_error(ErrorId::script_invalid_arg, value);
        poke_char(series, p, value->data2);
    }
    if (told) tell(series, words::poked, value, p, 1);
    return value;
}

// ---------------------------------------------------------------- changes

Cell* clear(Cell* series) {
    int32_t n = length_clipped(series, false);
    if (n < 1) return series;
    int32_t head = head_of(series);
    tell(series, words::clear, nullptr, head, n);
    SeriesBuffer* b = buffer_of(series);
    int32_t total = total_of(b);
    if (head < total) {
        if (NodeId table = table_of(series)) hashtable::remove_range(table, head, total - head);
        b = buffer_of(series);
        b->tail = b->head + uint32_t(head) * b->unit();
    }
    tell(series, words::cleared, nullptr, head, 0);
    return series;
}

Cell* remove_(Cell* series, Cell* part, Cell* key) {
    int64_t count = part ? part_count(part, series) : 1;
    if (count < 1) return series;
    if (key) {
        Cell saved = *series;
        Cell* found = actions::handler_of<A_FIND>(series)(series, key, nullptr, false, true, false,
                                                           false, nullptr, nullptr, false, false,
                                                           false, false);
        Cell at = *found;
        *series = saved;
        if (at.is(TYPE_NONE)) {
            *series = make_cell(TYPE_NONE);
            return series;
        }
        series->data1 = at.data1;
        count++;
    }
    int32_t head = head_of(series);
    if (head < 0 || head >= total_of(buffer_of(series))) return series;
    Cell word = remove_word();
    bool told = tell(series, &word, nullptr, head, count);
    int32_t total = total_of(buffer_of(series));
    if (head >= total) return series;  // the owner's handler shortened it
    close_gap(series, head, std::min<int64_t>(count, total - head));
    if (told) tell(series, words::removed, nullptr, head, 0);
    return series;
}

Cell* reverse(Cell* series, Cell* part, Cell* skip) {
    if (at_tail_q(series)) return series;
    int64_t n = length_clipped(series, false);
    int64_t count = n;
    if (part) {
        count = part_count(part, series);
        if (count < 1) return series;
        count = std::min(count, n);  // never past the tail
    }
    int64_t size = 1;
    if (skip) {
        if (!skip->is(TYPE_INTEGER)) bad_refine(refinements::skip, skip);
        size = skip->as_int();
        if (size == count) return series;
        if (size < 1) support::fire_error(ErrorId::script_out_of_range, skip);
        if (count < size || count % size) bad_refine(refinements::skip, skip);
    }
    int32_t head = head_of(series);
    bool told = tell(series, words::reverse, nullptr, head, count);
    SeriesBuffer* b = buffer_of(series);
    count = std::min<int64_t>(count, total_of(b) - int64_t(head));
    count -= count % size;
    NodeId table = table_of(series);
    if (table && count > 0) hashtable::remove_range(table, head, int32_t(count));
    b = buffer_of(series);
    for (int64_t lo = head, hi = head + count - size; lo < hi; lo += size, hi -= size)
        swap_units(b, lo, hi, size);
    if (table && count > 0) index_cells(table, series, head, count);
    if (told) tell(series, words::reversed, nullptr, head, count);
    return series;
}

Cell* move(Cell* origin, Cell* target, Cell* part) {
    if (!any_series(target->type())) not_a_target(target);
    if (at_tail_q(origin)) return target;
    int64_t n = 1;
    if (part) {
        if (!part->is(TYPE_INTEGER)) bad_refine(refinements::part, part);
        n = part->as_int();
        if (n < 1) return target;
        n = std::min<int64_t>(n, total_of(buffer_of(origin)) - int64_t(head_of(origin)));
    }
    if (origin->data2 == target->data2) return move_within(origin, target, n);
    return move_between(origin, target, n);
}

Cell* take(Cell* series, Cell* part, bool, bool last) {
    int32_t n = length_clipped(series, false);
    if (n < 1) {
        series->set_type(TYPE_NONE);
        return series;
    }
    int32_t head = head_of(series);
    int64_t asked = 1;
    if (part && same_series(part, series)) {
        int32_t at = head_of(part);
        asked = at < head ? 0 : last ? int64_t(head) + n - at : int64_t(at) - head;
    } else if (part) {
        asked = part_count(part, series);
    }
    bool before = asked < 0;
    int64_t count = before ? (last ? 1 : -asked) : asked;
    count = std::min<int64_t>(count, before ? head : n);
    // Nothing asked for, or nothing before the head, takes nothing.
    if (count < 1 || (before && last)) count = 0;

    bool told = tell(series, words::take, nullptr, head, asked);
    SeriesBuffer* b = buffer_of(series);
    uint32_t unit = b->unit();
    int64_t total = total_of(b);
    int64_t from = before ? head - count : last ? total - count : head;
    if (from < 0 || from + count > total) {  // the owner's handler reshaped it
        from = 0;
        count = 0;
    }

    NodeId node = part ? memory::alloc_series(uint32_t(std::max<int64_t>(count, 1)), unit, 0)
                       : scratch_for(unit);
    uint32_t word3 = series->is(TYPE_VECTOR) ? series->data3 : 0;
    Cell* result = stack::push(&shared_none_cell);
    *result = make_cell(series->type(), 0, node, word3);
    // Re-read both buffers: the allocation may have moved them.
    SeriesBuffer* dst = memory::buffer_of(node);
    b = buffer_of(series);
    if (count > 0) std::memcpy(dst->head_ptr(), unit_at(b, from), size_t(count) * unit);
    dst->tail = dst->head + uint32_t(count) * unit;
    if (count > 0) close_gap(series, from, count);
    if (series->is(TYPE_HASH)) {
        NodeId table = hashtable::make(uint32_t(std::max<int64_t>(count, 1)), node,
                                       hashtable::KIND_HASH, 0);
        result->data3 = table;
    }
    if (told) tell(series, words::taken, nullptr, head, 0);
    *series = *result;
    stack::pop(1);
    return series;
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
    const Cell source = *value;
    int32_t total = total_of(buffer_of(&source));
    int32_t head = head_of(&source);
    int64_t start = head;
    int64_t count = std::max<int64_t>(int64_t(total) - head, 0);
    if (part) {
        if (part->is(TYPE_PAIR)) {
            int64_t x = int32_t(part->data2), y = int32_t(part->data3);
            start = std::max<int64_t>(x < 0 ? head + x : head + x - 1, 0);
            count = y < x ? 0 : y - x;
        } else {
            count = part_count(part, &source);
        }
        if (count < 0) {
            count = -count;
            if (start - count < 0) {
                count = start;
                start = 0;
            } else {
                start -= count;
            }
        }
    }
    count = start > total ? 0 : std::min<int64_t>(count, total - start);
    uint32_t unit = buffer_of(&source)->unit();
    // A fresh buffer takes only the unit: the other flags describe the source's
    // own buffer (placement, ownership, library origin).
    NodeId node = memory::alloc_series(uint32_t(std::max<int64_t>(count, 1)), unit, 0);
    SeriesBuffer* dst = memory::buffer_of(node);
    if (count > 0) std::memcpy(dst->head_ptr(), unit_at(buffer_of(&source), start), size_t(count) * unit);
    dst->tail = dst->head + uint32_t(count) * unit;
    uint32_t word3 = source.is(TYPE_VECTOR) ? source.data3 : 0;
    *result = make_cell(source.type() | (source.header & NEW_LINE_FLAG), 0, node, word3);
    return result;
}

void random_(Cell* value, bool seed, bool secure, bool only) {
    int32_t n = length_clipped(value, false);
    int32_t head = head_of(value);
    if (seed) {
        SeriesBuffer* b = buffer_of(value);
        rng::seed(int32_t(hashtable::murmur3_32(unit_at(b, head), size_t(n) * b->unit())));
        *value = make_cell(TYPE_UNSET);
        return;
    }
    if (only) {
        *value = n < 1 ? make_cell(TYPE_NONE)
                       : *element_at(value, head + rng::integer(secure, n) - 1);
        return;
    }
    bool told = tell(value, words::random_, nullptr, head, n);
    SeriesBuffer* b = buffer_of(value);
    n = int32_t(std::min<int64_t>(n, total_of(b) - int64_t(head)));
    for (int32_t i = 0; i < n; i++)
        swap_units(b, head + i, head + i + rng::integer(secure, n - i) - 1, 1);
    if (NodeId table = table_of(value)) hashtable::rebuild(table, total_of(b));
    if (told) tell(value, words::randomized, nullptr, head, n);
}

// ---------------------------------------------------------------- ownership

// No series has an owner until objects with change handlers record them, so
// `owned` answers none and setting it records nothing yet.
void reflect(Cell* value, uint32_t field_symbol) {
    if (symbol::canonical(field_symbol) != symbol::canonical(sym::id(sym::owned)))
        support::fire_error(ErrorId::internal_not_done);
    *value = make_cell(TYPE_NONE);
}

Cell* modify(Cell*, Cell*, Cell* value, bool) { return value; }

NodeId take_scratch() { return scratch_valid() ? g_scratch_node : 0; }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, own<A_RANDOM>(random_), own<A_REFLECT>(reflect), E, E, E, E, E,
        /*  9 */ E, E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, own<A_AT>(at), own<A_BACK>(back), E, own<A_CLEAR>(clear),
        /* 30 */ own<A_COPY>(copy), E,
        /* 32 */ own<A_HEAD>(head), own<A_HEAD_Q>(head_q), own<A_INDEX_Q>(index_q), E,
        /* 36 */ own<A_LENGTH_Q>(length_q),
        /* 37 */ own<A_MOVE>(move), own<A_NEXT>(next), own<A_PICK>(pick), own<A_POKE>(poke), E,
        /* 42 */ own<A_REMOVE>(remove_), own<A_REVERSE>(reverse), E, E, own<A_SKIP>(skip), E,
        /* 48 */ own<A_TAIL>(tail),
        /* 49 */ own<A_TAIL_Q>(tail_q), own<A_TAKE>(take), E, E, E, E, own<A_MODIFY>(modify), E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_SERIES, 0, "series!", slots);
}

}  // namespace zun::series
