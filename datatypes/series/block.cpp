#include "datatypes/series/block.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

#include "core/hashtable.hpp"
#include "core/ownership.hpp"
#include "core/sorting.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/vector.hpp"
#include "datatypes/typeset.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun::block {

using memory::SeriesBuffer;

namespace {

constexpr int32_t CELL = 16;
constexpr int64_t MAX_BYTES = 0xFFFFFFF0;  // buffer payloads stay 32-bit

using stack::StackScope;

using CycleGuard = cycles::Guard;

// The sorts hold the records' address across comparator calls.
class NoCompaction {
public:
    NoCompaction() : m_was(memory::collector_enabled()) { memory::set_collector_enabled(false); }
    NoCompaction(const NoCompaction&) = delete;
    NoCompaction& operator=(const NoCompaction&) = delete;
    ~NoCompaction() { memory::set_collector_enabled(m_was); }

private:
    bool m_was;
};

inline Cell* cells_of(NodeId node) { return memory::buffer_of(node)->head_cell(); }
inline int32_t length_of(NodeId node) { return int32_t(memory::buffer_of(node)->used() >> 4); }
inline void set_length(NodeId node, int32_t n) {
    SeriesBuffer* b = memory::buffer_of(node);
    b->tail = b->head + uint32_t(n) * CELL;
}

// The head index brought into 0 .. length and stored back.
int32_t clip_head(Cell* blk) {
    int32_t length = length_from_start(blk);
    int32_t head = head_index(blk);
    if (head > length || head < 0) {
        head = head < 0 ? 0 : length;
        blk->data1 = uint32_t(head);
    }
    return head;
}

NodeId table_of(const Cell* series) { return series->is(TYPE_HASH) ? series->data3 : 0; }

bool string_type_q(uint32_t type) {
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            return true;
        default:
            return false;
    }
}
bool holds_series_q(uint32_t type) {
    return any_block_q(type) || string_type_q(type) || type == TYPE_BINARY ||
           type == TYPE_VECTOR || type == TYPE_IMAGE;
}
bool path_type_q(uint32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }
bool word_type_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_ISSUE; }
bool number_type_q(uint32_t type) {
    return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT;
}

int order_of(uint32_t a, uint32_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// Errors name a refinement by a word of its name.
Cell refinement_word(refinements::Name name) {
    Cell word = *refinements::get(name);
    word.set_type(TYPE_WORD);
    return word;
}
[[noreturn]] void fire_invalid_refine(refinements::Name name, const Cell* value) {
    Cell word = refinement_word(name);
    support::fire_error(ErrorId::script_invalid_refine_arg, &word, value);
}
[[noreturn]] void fire_no_memory() { support::fire_error(ErrorId::internal_no_memory); }

// The owner's handler may run user code: every caller re-reads its buffers
// (and re-checks its positions) after a notification.
bool notify(const Cell* series, const Cell* word, const Cell* value, int32_t index,
            int32_t part) {
    return ownership::check_owner(series, word, value, index, part) != 0;
}
bool notify(const Cell* series, words::Name word, const Cell* value, int32_t index,
            int32_t part) {
    return notify(series, words::get(word), value, index, part);
}

// Whether two cells are equal under op; the first one's type decides.
bool equal_cells(const Cell& a, const Cell& b, int op) {
    Cell x = a, y = b;
    return actions::compare_direct(&x, &y, op) == 0;
}

// ---------------------------------------------------------------- growth and gaps

// Room for `extra` bytes after the tail; may move every buffer. twice: grow to
// twice the needed size (capped), else to exactly it.
SeriesBuffer* ensure_room(NodeId node, int64_t extra, bool twice) {
    SeriesBuffer* b = memory::buffer_of(node);
    if (int64_t(b->tail) + extra <= int64_t(b->size)) return b;
    int64_t need = int64_t(b->used()) + extra;
    if (need > MAX_BYTES) fire_no_memory();
    return memory::expand_series(b, twice ? std::min(need * 2, MAX_BYTES) : need);
}

// Opens n cells at pos (the cells from pos move up); they hold stale cells
// until the caller fills them.
SeriesBuffer* open_gap(NodeId node, int32_t pos, int32_t n, bool twice) {
    SeriesBuffer* b = ensure_room(node, int64_t(n) * CELL, twice);
    Cell* cells = b->head_cell();
    int32_t length = int32_t(b->used() >> 4);
    if (pos < length) std::memmove(cells + pos + n, cells + pos, size_t(length - pos) * CELL);
    b->tail += uint32_t(n) * CELL;
    return b;
}

void close_gap(NodeId node, int32_t pos, int32_t n) {
    SeriesBuffer* b = memory::buffer_of(node);
    Cell* cells = b->head_cell();
    int32_t length = int32_t(b->used() >> 4);
    if (pos + n < length) std::memmove(cells + pos, cells + pos + n, size_t(length - pos - n) * CELL);
    b->tail -= uint32_t(n) * CELL;
}

// ---------------------------------------------------------------- hash! upkeep

// Adds one cell of the block to the table; true when the table rebuilt itself
// over the whole block instead.
bool index_cell(NodeId table, NodeId block, int32_t pos) {
    int status = 0;
    hashtable::put_with_status(table, cells_of(block) + pos, &status);
    return status == 2;
}

// After n cells were put at pos and the `moved` cells after them moved up.
void hash_inserted(const Cell* series, int32_t pos, int32_t n, int32_t moved) {
    NodeId table = table_of(series);
    if (!table || n <= 0) return;
    NodeId block = series->data2;
    if (moved > 0 && hashtable::shift_positions(table, n, pos, moved, true)) {
        hashtable::rebuild(table, length_of(block));
        return;
    }
    for (int32_t i = 0; i < n; i++)
        if (index_cell(table, block, pos + i)) return;
}

// After n cells at pos were removed, from a block that had `length` cells.
void hash_removed(const Cell* series, int32_t pos, int32_t n, int32_t length) {
    NodeId table = table_of(series);
    if (!table || n <= 0) return;
    if (hashtable::shift_positions(table, -n, pos + n, length - pos - n, true))
        hashtable::rebuild(table, length_of(series->data2));
}

// A cell rewritten in place: its old key leaves the index before the new one
// goes in, so the index never points at a value the cell no longer holds.
void hash_unindex(const Cell* series, int32_t pos) {
    if (NodeId table = table_of(series)) hashtable::remove_cell(table, cells_of(series->data2) + pos);
}
void hash_index(const Cell* series, int32_t pos) {
    if (NodeId table = table_of(series)) index_cell(table, series->data2, pos);
}

// ---------------------------------------------------------------- sources of cells

// Where inserted cells come from: one value held here, or a run of a block.
struct Source {
    Cell single{};
    NodeId node = 0;   // 0: the single value
    int32_t first = 0;
    int32_t count = 0;
};

Source source_of(const Cell* value, bool only) {
    Source s;
    s.single = *value;
    if (!only && any_block_q(value->type())) {
        s.node = value->data2;
        s.first = std::max(head_index(value), 0);
        s.count = length_from_head(value);
    } else {
        s.count = 1;
    }
    return s;
}

// The count may have changed under a change handler.
void reclip(Source& s) {
    if (s.node) s.count = std::clamp(length_of(s.node) - s.first, 0, s.count);
}

// Cells that must be read before the target moves them (the target is the
// source's own block) are taken out first; otherwise they are read in place,
// after every allocation.
class SourceCells {
public:
    SourceCells(const Source& s, NodeId target) : m_source(s) {
        if (s.node == target && s.node) {
            const Cell* from = cells_of(s.node) + s.first;
            m_copy.assign(from, from + s.count);
        }
    }
    const Cell* cells() const {
        if (!m_source.node) return &m_source.single;
        if (!m_copy.empty()) return m_copy.data();
        return cells_of(m_source.node) + m_source.first;
    }

private:
    const Source& m_source;
    std::vector<Cell> m_copy;  // only for a block changed with its own cells
};

// Puts count x dup cells at pos (the cells from pos move up). The buffer
// grows to twice the need when `twice`. Answers the cells put.
int32_t insert_cells(Cell* series, int32_t pos, const Source& s, int32_t dup, bool twice) {
    NodeId node = series->data2;
    int32_t total = s.count * dup;
    if (total <= 0) return 0;
    SourceCells from(s, node);
    int32_t moved = length_of(node) - pos;
    SeriesBuffer* b = open_gap(node, pos, total, twice);  // may move every buffer
    uint8_t* at = reinterpret_cast<uint8_t*>(b->head_cell() + pos);
    std::memcpy(at, from.cells(), size_t(s.count) * CELL);
    if (dup > 1) support::replicate_bytes(at, s.count * CELL, dup);
    hash_inserted(series, pos, total, moved);
    return total;
}

// count x dup, checked against the 32-bit payload with `used` bytes in use.
int32_t checked_total(int64_t count, int64_t dup, int64_t used) {
    int64_t total = dup < 1 ? 0 : count * dup;
    if (total * CELL + used > MAX_BYTES) fire_no_memory();
    return int32_t(total);
}

// Appends one cell, indexing it for a hash!; true when the table rebuilt.
bool append_indexed(Cell* series, const Cell value) {
    NodeId node = series->data2;
    *support::alloc_tail_cell(node) = value;
    NodeId table = table_of(series);
    return table && index_cell(table, node, length_of(node) - 1);
}

// ---------------------------------------------------------------- find

enum class Kind { single, type, typeset, sequence };

struct Search {
    Cell* part = nullptr;
    bool only = false, case_ = false, same = false;
    Cell* skip = nullptr;
    bool last = false, reverse = false, match = false;
};
struct Found {
    int32_t at = -1;   // index of the match
    int32_t end = -1;  // index after it
};

int32_t skip_size(const Cell* skip) {
    if (!skip->is(TYPE_INTEGER)) fire_invalid_refine(refinements::skip, skip);
    int32_t size = skip->as_int();
    if (size < 1) support::fire_error(ErrorId::script_out_of_range, skip);
    return size;
}

// One past the last cell a /part lets the search reach; -1 for none at all.
int32_t part_end(const Cell* series, int32_t head, int32_t length, const Cell* part) {
    if (part->is(TYPE_INTEGER)) {
        int32_t n = part->as_int();
        return n < 1 ? -1 : int32_t(std::min<int64_t>(int64_t(head) + n, length));
    }
    if (part->type() != series->type() || part->data2 != series->data2)
        fire_invalid_refine(refinements::part, part);
    return std::clamp(head_index(part), 0, length);
}

// What a position must hold to match.
struct Pattern {
    Kind kind = Kind::single;
    Cell value{};
    int32_t head = 0;   // a sequence's first cell
    int32_t width = 1;  // the cells a match covers
    int op = COMP_FIND;

    bool at(NodeId node, int32_t p) const {
        const Cell& cell = cells_of(node)[p];
        switch (kind) {
            case Kind::type: return cell.type() == value.data1;
            case Kind::typeset: return typeset::has(&value, cell.type());
            case Kind::single: return equal_cells(value, cell, op);
            case Kind::sequence:
                for (int32_t i = 0; i < width; i++)
                    if (!equal_cells(cells_of(value.data2)[head + i], cells_of(node)[p + i], op))
                        return false;
                return true;
        }
        return false;
    }
};

Pattern pattern_of(const Cell* value, const Search& s) {
    Pattern pattern;
    pattern.value = *value;
    pattern.op = s.same ? COMP_SAME : s.case_ ? COMP_STRICT_EQUAL : COMP_FIND;
    if (s.only) return pattern;
    if (value->is(TYPE_DATATYPE)) {
        pattern.kind = Kind::type;
    } else if (value->is(TYPE_TYPESET)) {
        pattern.kind = Kind::typeset;
    } else if (any_block_q(value->type())) {
        pattern.kind = Kind::sequence;
        pattern.head = std::max(head_index(value), 0);
        pattern.width = length_from_head(value);
    }
    return pattern;
}

// Tries from, from + step ... while within low .. high (step may be negative).
Found scan(NodeId node, const Pattern& pattern, int32_t from, int32_t step, int32_t low,
           int32_t high, bool match) {
    for (int32_t p = from; p >= low && p <= high; p += step) {
        if (pattern.at(node, p)) return {p, p + pattern.width};
        if (match) break;
    }
    return {};
}

Found find_in(const Cell* series, const Cell* value, const Search& s) {
    NodeId node = series->data2;
    int32_t length = length_of(node);
    int32_t head = head_index(series);
    if (length == 0 || (!s.reverse && head >= length)) return {};
    head = std::clamp(head, 0, length);
    int32_t step = s.skip ? skip_size(s.skip) : 1;
    int32_t end = s.part ? part_end(series, head, length, s.part) : length;
    if (end < 0) return {};
    const Pattern pattern = pattern_of(value, s);
    if (pattern.width == 0) return {};  // an empty sequence names nothing to find

    NodeId table = table_of(series);
    if (table && pattern.kind == Kind::single && (!value->is(TYPE_OBJECT) || s.same) && !s.match) {
        Cell* hit = hashtable::find(table, value, head, step, pattern.op, s.last, s.reverse);
        if (!hit) return {};
        int32_t at = int32_t(hit - cells_of(node));
        if (s.part && at >= end) return {};
        return {at, at + 1};
    }

    int32_t width = pattern.width;
    if (s.reverse)
        return scan(node, pattern, (s.part ? end : head) - width, -step, 0, length - width, s.match);
    if (s.last) {
        // Records of `step` cells count from the head, as in the forward scan.
        int32_t top = end - width;
        if (top < head) return {};
        return scan(node, pattern, head + (top - head) / step * step, -step, head, top, s.match);
    }
    return scan(node, pattern, head, step, head, end - width, s.match);
}

// ---------------------------------------------------------------- pick and poke

int32_t pick_position(const Cell* series, int32_t i) {
    int32_t head = head_index(series);
    return i > 0 ? head + i - 1 : head + i;
}

Cell* pick_cell(const Cell* series, int32_t i) {
    int32_t p = pick_position(series, i);
    if (i == 0 || p < 0 || p >= length_from_start(series)) return &shared_none_cell;
    return cells_of(series->data2) + p;
}

void poke_cell(Cell* series, int32_t i, const Cell* value) {
    int32_t p = pick_position(series, i);
    if (i == 0 || p < 0 || p >= length_from_start(series)) {
        Cell index = integer_cell(i);
        support::fire_error(ErrorId::script_out_of_range, &index);
    }
    Cell v = *value;
    bool told = notify(series, words::poke, &v, p, 1);
    if (p >= length_from_start(series)) return;  // shortened by the handler
    hash_unindex(series, p);
    cells_of(series->data2)[p] = v;
    hash_index(series, p);
    if (told) notify(series, words::poked, &v, p, 1);
}

// ---------------------------------------------------------------- copying

// Copies the value through its type's copy action into a stack cell.
Cell* push_copy_of(const Cell& value, bool deep, Cell* types) {
    Cell* source = stack::push(&value);
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    return actions::handler_of<A_COPY>(source)(source, result, nullptr, deep, types);
}

bool copyable_q(uint32_t type) {
    return holds_series_q(type) || type == TYPE_BITSET || type == TYPE_OBJECT ||
           type == TYPE_ERROR || type == TYPE_MAP;
}

bool type_in(const Cell* types, uint32_t type) {
    if (types->is(TYPE_DATATYPE)) return types->data1 == type;
    if (types->is(TYPE_TYPESET)) return typeset::has(types, type);
    return false;
}

// ---------------------------------------------------------------- sorting

// User word 2 of the comparator: reverse, whole records, then the field
// offset (or the record width with whole records).
constexpr uintptr_t SORT_REVERSE = 1;
constexpr uintptr_t SORT_ALL = 2;
constexpr int SORT_SHIFT = 2;

int compare_for_sort(const Cell* a, const Cell* b, int op) {
    Cell x = *a, y = *b;
    int order = actions::compare_direct(&x, &y, op);
    if (order == COMPARE_UNCOMPARABLE) return order_of(x.type(), y.type());
    return order;
}

int compare_records(const void* a, const void* b, uintptr_t op, uintptr_t flags) {
    const Cell* x = static_cast<const Cell*>(a);
    const Cell* y = static_cast<const Cell*>(b);
    if (flags & SORT_REVERSE) std::swap(x, y);
    uintptr_t n = flags >> SORT_SHIFT;
    if (!(flags & SORT_ALL)) return compare_for_sort(x + n, y + n, int(op));
    for (uintptr_t i = 0; i < n; i++)
        if (int order = compare_for_sort(x + i, y + i, int(op))) return order;
    return 0;
}

// ---------------------------------------------------------------- molding

bool ends_in_break(const Cell* buffer) {
    SeriesBuffer* b = memory::buffer_of(buffer->data2);
    uint32_t unit = b->unit();
    if (b->used() < unit) return false;
    uint32_t c = string::get_char(b->tail_ptr() - unit, unit);
    return c == '\t' || c == '\n' || c == '\r';
}

int append_ascii(Cell* buffer, const char* text) {
    string::append_c_string(buffer, text);
    return int(std::strlen(text));
}

}  // namespace

// ---------------------------------------------------------------- walking

int32_t length_from_head(const Cell* blk) {
    return std::max(length_from_start(blk) - std::max(head_index(blk), 0), 0);
}

int32_t count_cells(const Cell* blk) { return length_from_start(blk) - head_index(blk); }

Cell* head_cell(Cell* blk) { return cells_of(blk->data2) + clip_head(blk); }

Cell* tail_cell(const Cell* blk) { return buffer_of(blk)->tail_cell(); }

bool at_tail_q(const Cell* blk) { return head_index(blk) >= length_from_start(blk); }

bool next_checked(Cell* blk) {
    int32_t length = length_from_start(blk);
    int32_t head = head_index(blk);
    if (head + 1 <= length) blk->data1 = uint32_t(++head);
    return head >= length;
}

Cell* cell_at(const Cell* blk, int32_t index) { return cells_of(blk->data2) + index; }

void clear_from_head(Cell* blk) { set_length(blk->data2, clip_head(blk)); }

void set_tail_at(const Cell* blk, int32_t index) { set_length(blk->data2, index); }

void remove_last(Cell* blk) {
    int32_t length = length_from_start(blk);
    if (length == 0) return;
    set_length(blk->data2, length - 1);
    clip_head(blk);
}

// ---------------------------------------------------------------- building

Cell* append_cell(const Cell* blk, const Cell* value) {
    Cell copy = *value;  // the value may lie in the buffer that grows
    Cell* cell = support::alloc_tail_cell(blk->data2);
    *cell = copy;
    return cell;
}

void append_cells(const Cell* blk, const Cell* cells, int32_t n, int32_t spare) {
    const NodeId node = blk->data2;
    SeriesBuffer* b = ensure_room(node, (int64_t(n) + spare) * CELL, false);
    std::memcpy(b->tail_ptr(), cells, size_t(n) * CELL);
    b->tail += uint32_t(n) * CELL;
}

Cell* append_block(Cell* target, const Cell* source) {
    Source s = source_of(source, false);
    NodeId node = target->data2;
    insert_cells(target, length_of(node), s, 1, true);
    return target;
}

Cell* insert_value(Cell* blk, const Cell* value, bool advance, bool at_start) {
    Source s = source_of(value, true);
    int32_t pos = at_start ? 0 : clip_head(blk);
    insert_cells(blk, pos, s, 1, true);
    if (advance) blk->data1++;
    return blk;
}

Cell* insert_block(Cell* target, const Cell* source) {
    Source s = source_of(source, false);
    int32_t n = insert_cells(target, clip_head(target), s, 1, true);
    target->data1 += uint32_t(n);
    return target;
}

// ---------------------------------------------------------------- look-ups

Cell* select_value(Cell* blk, const Cell* value) {
    Search search;
    search.only = true;
    Found f = find_in(blk, value, search);
    if (f.at < 0 || f.end >= length_from_start(blk)) return &shared_none_cell;
    return cells_of(blk->data2) + f.end;
}

Cell* select_word(Cell* blk, const Cell* word, bool exact) {
    uint32_t symbol = exact ? word->data2 : symbol::canonical(word->data2);
    int32_t length = length_from_start(blk);
    const Cell* cells = cells_of(blk->data2);  // nothing below allocates
    for (int32_t i = std::max(head_index(blk), 0); i < length; i++) {
        uint32_t type = cells[i].type();
        if (type < TYPE_WORD || type > TYPE_GET_WORD) continue;
        uint32_t s = exact ? cells[i].data2 : symbol::canonical(cells[i].data2);
        if (s != symbol) continue;
        return i + 1 < length ? cells_of(blk->data2) + i + 1 : &shared_none_cell;
    }
    return &shared_none_cell;
}

bool remove_value(Cell* blk, const Cell* value, bool from_start) {
    Cell start = *blk;
    if (from_start) start.data1 = 0;
    Search search;
    search.only = true;
    Found f = find_in(&start, value, search);
    if (f.at < 0) return false;
    int32_t length = length_from_start(blk);
    close_gap(blk->data2, f.at, 1);
    hash_removed(blk, f.at, 1, length);
    return f.at <= head_index(blk);
}

// ---------------------------------------------------------------- copies

Cell* clone(const Cell* blk, bool deep, bool paths) {
    const Cell source = *blk;
    int32_t head = std::max(head_index(&source), 0);
    int32_t n = length_from_head(&source);
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    NodeId node = memory::alloc_cells(uint32_t(std::max(n, 1)));
    // The source buffer may have moved during the allocation.
    std::memcpy(cells_of(node), cells_of(source.data2) + head, size_t(n) * CELL);
    set_length(node, n);
    *result = make_cell(source.type(), 0, node, 0);
    if (!deep) return result;

    if (cycles::find(source.data2)) support::fire_error(ErrorId::internal_no_cycle);
    CycleGuard walking(source.data2);
    for (int32_t i = 0; i < n; i++) {
        Cell element = cells_of(node)[i];
        uint32_t type = element.type();
        if (type != TYPE_BLOCK && !(paths && (type == TYPE_PAREN || path_type_q(type)))) continue;
        StackScope scope;
        Cell* copy = clone(&element, true, paths);
        copy->header = element.header;  // keeps the type and the new-line mark
        cells_of(node)[i] = *copy;
    }
    return result;
}

void copy_values_in_place(NodeId node, int32_t first, int32_t end, int32_t step,
                          const Cell* types_in, bool deep) {
    const Cell types = *types_in;
    StackScope scope;
    Cell* types_arg = stack::push(&types);
    for (int32_t i = first; i < end && i < length_of(node); i += std::max(step, 1)) {
        Cell element = cells_of(node)[i];
        if (!type_in(&types, element.type()) || !copyable_q(element.type())) continue;
        StackScope inner;
        Cell* copy = push_copy_of(element, deep, deep ? types_arg : nullptr);
        cells_of(node)[i] = *copy;  // re-read: the copy moved every buffer
    }
}

// ---------------------------------------------------------------- value makers

Cell* make_at(Cell* cell, int32_t n) {
    NodeId node = memory::alloc_cells(uint32_t(std::max(n, 1)));
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);
    return cell;
}

Cell* make_holding(Cell* cell, const Cell* cells, int32_t n, int32_t spare) {
    NodeId node = memory::alloc_cells(uint32_t(std::max(n + spare, 1)));
    Cell* to = cells_of(node);
    for (int32_t i = 0; i < n; i++) to[i] = cells[i];
    set_length(node, n);
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);
    return cell;
}

Cell* make_at_alloc(Cell* cell, int32_t n, bool outside) {
    uint32_t count = uint32_t(std::max(n, 1));
    NodeId node = outside ? memory::alloc_series_malloc(count, CELL, 0)
                          : memory::alloc_unset_cells(count);
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);
    return cell;
}

namespace {
// The slot first, so the new block is reachable from the parent at once.
Cell* make_child(const Cell* parent, int32_t n, bool outside) {
    const Cell holder = parent ? *parent : *symbols::root_block();
    support::alloc_tail_cell(holder.data2);
    int32_t slot = length_of(holder.data2) - 1;
    uint32_t count = uint32_t(std::max(n, 1));
    NodeId node = outside ? memory::alloc_series_malloc(count, CELL, 0) : memory::alloc_cells(count);
    Cell* cell = cells_of(holder.data2) + slot;
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);
    return cell;
}
}  // namespace

Cell* make_in(const Cell* parent, int32_t n) { return make_child(parent, n, false); }
Cell* make_fixed_in(const Cell* parent, int32_t n) { return make_child(parent, n, true); }

Cell* push_copy(const Cell* value) { return stack::push(value); }

Cell* push_new(int32_t n) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_NONE);
    return make_at(cell, n);
}

void append_arg() {
    Cell* value = stack::top();
    append_indexed(value - 1, *value);
    stack::pop(1);
}

void append_second_arg() { append_indexed(stack::argument(0), *stack::argument(1)); }

void insert_arg() {
    Cell* value = stack::top();
    insert_value(value - 1, value, true, false);
    stack::pop(1);
}

// ---------------------------------------------------------------- make and to

namespace {
// The body of an object! or map!: a new block of its words (set-words) and
// values, pushed.
Cell* push_body_of(const Cell* spec) {
    if (spec->is(TYPE_MAP)) return map::push_body(spec);
    Cell* body = stack::push(spec);
    object::reflect(body, sym::id(sym::body));
    return body;
}
}  // namespace

Cell* make(Cell*, Cell* spec, int type) {
    switch (spec->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
        case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_HASH: {
            Cell* result = clone(spec, false, false);
            result->set_type(uint32_t(type));
            return result;
        }
        case TYPE_INTEGER: case TYPE_FLOAT: {
            int32_t n = support::to_int_checked(spec);
            Cell* result = push_new(n);
            result->set_type(uint32_t(type));
            return result;
        }
        case TYPE_OBJECT: case TYPE_MAP: {
            Cell* result = push_body_of(spec);
            result->set_type(uint32_t(type));
            return result;
        }
        case TYPE_VECTOR: {
            Cell* result = vector::to_block(spec, stack::push_cell());
            result->set_type(uint32_t(type));
            return result;
        }
        default: {
            Cell datatype = make_cell(TYPE_DATATYPE, uint32_t(type));
            support::fire_make_error(&datatype, spec);
        }
    }
}

Cell* to(Cell*, Cell* spec, int type) {
    Cell* result;
    switch (spec->type()) {
        case TYPE_OBJECT: case TYPE_MAP:
            result = push_body_of(spec);
            break;
        case TYPE_STRING: {
            result = stack::push_cell();
            *result = make_cell(TYPE_NONE);
            uint32_t consumed = 0;
            lexer::load_string(result, spec, 0, -1, lexer::Options{}, &consumed);
            break;
        }
        case TYPE_VECTOR:
            result = vector::to_block(spec, stack::push_cell());
            break;
        case TYPE_TYPESET: {
            Cell ts = *spec;
            result = push_new(typeset::count(&ts));
            typeset::to_block(&ts, result);
            break;
        }
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
        case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_HASH:
            result = clone(spec, false, false);
            break;
        default: {
            Cell value = *spec;
            result = push_new(1);
            append_cell(result, &value);
            break;
        }
    }
    result->set_type(uint32_t(type));
    return result;
}

// ---------------------------------------------------------------- form and mold

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, false)) return part;
    const Cell blk = *value;
    NodeId node = blk.data2;
    int32_t head = std::max(head_index(&blk), 0);
    CycleGuard walking(node);
    for (int32_t i = head; i < length_of(node); i++) {
        if (arg && part < 1) break;
        if (i > head && !ends_in_break(buffer)) part -= append_ascii(buffer, " ");
        Cell element = cells_of(node)[i];
        part = actions::form_direct(&element, buffer, arg, part);
    }
    return part;
}

int mold_between(Cell* value, Cell* buffer, const char* open, const char* close, bool only,
                 bool all, bool flat, Cell* arg, int part, int indent) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, true)) return part;
    if (!only) part -= append_ascii(buffer, open);
    const Cell blk = *value;
    NodeId node = blk.data2;
    int32_t head = std::max(head_index(&blk), 0);
    bool opened = false;
    {
        CycleGuard walking(node);
        for (int32_t i = head; i < length_of(node); i++) {
            if (arg && part <= 0) break;
            Cell element = cells_of(node)[i];
            bool first = i == head;
            if (!flat && (element.header & NEW_LINE_FLAG)) {
                if (!only && first) {
                    indent++;
                    opened = true;
                }
                if (!(only && first)) part -= append_ascii(buffer, "\n");
                part = support::mold_indent(buffer, indent, part);
            } else if (!first) {
                part -= append_ascii(buffer, " ");
            }
            part = actions::mold_direct(&element, buffer, false, all, flat, arg, part, indent);
        }
    }
    if (opened) {
        part -= append_ascii(buffer, "\n");
        part = support::mold_indent(buffer, indent - 1, part);
    }
    if (!only) part -= append_ascii(buffer, close);
    return part;
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    return mold_between(value, buffer, "[", "]", only, all, flat, arg, part, indent);
}

// ---------------------------------------------------------------- path access

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int,
                bool case_, bool, bool, bool) {
    if (element->is(TYPE_INTEGER)) {
        if (!value) return pick_cell(parent, element->as_int());
        poke_cell(parent, element->as_int(), value);
        return value;
    }
    if (!value) {
        if (element->is(TYPE_WORD) && !parent->is(TYPE_HASH))
            return select_word(parent, element, case_);
        Search search;
        search.only = true;
        search.case_ = case_;
        Found f = find_in(parent, element, search);
        if (f.at < 0 || f.end >= length_from_start(parent)) return &shared_none_cell;
        return cells_of(parent->data2) + f.end;
    }
    Search search;
    search.case_ = case_;
    Found f = find_in(parent, element, search);
    if (f.at < 0) support::fire_error(ErrorId::script_bad_path_set, path ? path : &shared_none_cell, element);
    Cell at = *parent;
    at.data1 = uint32_t(f.at);
    poke_cell(&at, 2, value);
    return value;
}

// ---------------------------------------------------------------- comparison

int compare(Cell* value1, Cell* value2, int op) {
    uint32_t t1 = value1->type(), t2 = value2->type();
    if (t1 != t2) {
        bool literal_pair = (op == COMP_STRICT_LIT || op == COMP_LOOSE_LIT) &&
                            ((t1 == TYPE_PATH && t2 == TYPE_LIT_PATH) ||
                             (t1 == TYPE_LIT_PATH && t2 == TYPE_PATH));
        if (!literal_pair) return COMPARE_UNCOMPARABLE;
    }
    NodeId n1 = value1->data2, n2 = value2->data2;
    bool same_position = n1 == n2 && value1->data1 == value2->data1;
    if (op == COMP_SAME) return same_position ? 0 : -1;
    if (same_position) return 0;
    if (cycles::find(n1)) return cycles::find(n2) ? 0 : -1;

    int32_t l1 = length_from_head(value1), l2 = length_from_head(value2);
    bool equality = op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
                    op == COMP_STRICT_LIT || op == COMP_LOOSE_LIT || op == COMP_FIND;
    if (l1 != l2 && equality) return 1;
    if (l1 == 0) return l2 > 0 ? -1 : 0;

    int32_t h1 = std::max(head_index(value1), 0), h2 = std::max(head_index(value2), 0);
    int order = 0;
    {
        CycleGuard walking1(n1);
        CycleGuard walking2(n2);
        for (int32_t i = 0; i < std::min(l1, l2) && order == 0; i++) {
            Cell a = cells_of(n1)[h1 + i], b = cells_of(n2)[h2 + i];
            uint32_t ta = a.type(), tb = b.type();
            if (ta == tb || (word_type_q(ta) && word_type_q(tb)) ||
                (number_type_q(ta) && number_type_q(tb)))
                order = actions::compare_direct(&a, &b, op);
            else
                order = order_of(ta, tb);
        }
    }
    if (order) return order;
    return order_of(uint32_t(l1), uint32_t(l2));
}

// ---------------------------------------------------------------- find, select, put

Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool,
           Cell*, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    Found f = find_in(series, value, Search{part, only, case_, same, skip, last, reverse, match});
    if (f.at < 0) {
        series->header = TYPE_NONE;
        return series;
    }
    series->data1 = uint32_t(tail ? f.end : f.at);
    return series;
}

Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool,
             Cell*, Cell* skip, bool last, bool reverse) {
    Found f = find_in(series, value, Search{part, only, case_, same, skip, last, reverse, false});
    if (f.at < 0 || f.end >= length_from_start(series)) {
        series->header = TYPE_NONE;
        return series;
    }
    *series = cells_of(series->data2)[f.end];
    return series;
}

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    const Cell k = *key, v = *value;
    Search search;
    search.case_ = case_;
    Found f = find_in(series, &k, search);
    NodeId node = series->data2;
    if (f.at < 0) {
        notify(series, words::put, &v, length_from_head(series), 1);  // no put-ed follows
        *support::alloc_tail_cell(node) = k;
        *support::alloc_tail_cell(node) = v;
        if (NodeId table = table_of(series)) {
            int32_t length = length_of(node);
            // A rebuild on the key's addition has indexed the value too.
            if (!index_cell(table, node, length - 2)) index_cell(table, node, length - 1);
        }
    } else {
        int32_t slot = f.end;
        notify(series, words::put, &v, slot, 1);
        if (slot >= length_of(node)) {
            append_indexed(series, v);
        } else if (!equal_cells(v, cells_of(node)[slot], COMP_FIND)) {
            hash_unindex(series, slot);
            cells_of(node)[slot] = v;
            hash_index(series, slot);
        }
        notify(series, words::put_ed, &v, slot, 1);
    }
    *series = v;
    return series;
}

// ---------------------------------------------------------------- append, insert, change

Cell* append(Cell* series, Cell* value, int part, bool only, int dup, bool is_append) {
    Source s = source_of(value, only);
    if (part >= 0 && part < s.count) s.count = part;
    NodeId node = series->data2;
    int32_t head = clip_head(series);
    int32_t total = checked_total(s.count, dup, memory::buffer_of(node)->used());
    if (total == 0) {
        if (is_append) series->data1 = 0;
        return series;
    }
    const Cell* word = is_append ? words::get(words::append) : words::insert();
    Cell v = *value;
    bool told = notify(series, word, &v, is_append ? length_of(node) : head, total);

    reclip(s);  // the handler may have changed either series
    head = clip_head(series);
    int32_t pos = is_append ? length_of(node) : head;
    checked_total(s.count, dup, memory::buffer_of(node)->used());
    total = insert_cells(series, pos, s, std::max(dup, 1), dup <= 4);
    if (told)
        notify(series, is_append ? words::appended : words::inserted, &v, pos, total);
    series->data1 = is_append ? 0 : uint32_t(std::min(head + total, length_of(node)));
    return series;
}

Cell* change(Cell* series, Cell* value, int part, bool only, int dup) {
    Source s = source_of(value, only);
    NodeId node = series->data2;
    int32_t head = clip_head(series);
    int32_t remaining = length_of(node) - head;
    int32_t written = checked_total(s.count, dup, memory::buffer_of(node)->used());
    int32_t replaced = std::min(part >= 0 ? part : written, remaining);
    Cell v = *value;
    bool told = notify(series, words::change, &v, head, replaced);

    reclip(s);
    head = clip_head(series);
    int32_t length = length_of(node);
    remaining = length - head;
    replaced = std::min(replaced, remaining);
    written = checked_total(s.count, dup, int64_t(length - replaced) * CELL);
    SourceCells from(s, node);
    SeriesBuffer* b = written > replaced ? ensure_room(node, int64_t(written - replaced) * CELL, false)
                                         : memory::buffer_of(node);
    Cell* cells = b->head_cell();
    int32_t after = remaining - replaced;  // cells kept after the replaced range
    if (written != replaced)
        std::memmove(cells + head + written, cells + head + replaced, size_t(after) * CELL);
    if (written > 0) {
        uint8_t* at = reinterpret_cast<uint8_t*>(cells + head);
        std::memcpy(at, from.cells(), size_t(s.count) * CELL);
        if (dup > 1) support::replicate_bytes(at, s.count * CELL, dup);
    }
    int32_t new_length = head + written + after;
    set_length(node, new_length);
    if (NodeId table = table_of(series)) hashtable::rebuild(table, new_length);
    if (told) notify(series, words::changed, &v, head, written);
    series->data1 = uint32_t(std::min(head + written, new_length));
    return series;
}

// ---------------------------------------------------------------- take, swap, trim

Cell* take(Cell* series, Cell* part, bool deep, bool last) {
    NodeId node = series->data2;
    int32_t length = length_of(node);
    int32_t head = std::max(head_index(series), 0);
    int32_t n = length - head;
    if (n < 1) {
        series->header = TYPE_NONE;
        return series;
    }
    // The run taken is [first, first + count): from the head, from the end
    // (/last) or, for a negative /part, just before the head.
    int64_t asked = 1;
    if (part) {
        if (part->is(TYPE_INTEGER)) {
            asked = part->as_int();
        } else if (part->type() == series->type() && part->data2 == node) {
            int32_t at = std::clamp(head_index(part), 0, length);
            asked = last ? (at >= head ? length - at : 0) : at - head;
        } else {
            fire_invalid_refine(refinements::part, part);
        }
    }
    StackScope scope;
    bool told = notify(series, words::take, nullptr, head, int32_t(asked));

    length = length_of(node);  // the handler may have changed the block
    head = std::min(head, length);
    n = length - head;
    int32_t first = head, count = 0;
    if (asked > 0) {
        count = int32_t(std::min<int64_t>(asked, n));
        first = last ? length - count : head;
    } else if (asked < 0 && !last) {
        count = int32_t(std::min<int64_t>(-asked, head));
        first = head - count;
    }

    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    if (part) {
        NodeId taken = memory::alloc_cells(uint32_t(std::max(count, 1)));
        std::memcpy(cells_of(taken), cells_of(node) + first, size_t(count) * CELL);
        set_length(taken, count);
        *result = make_cell(series->type() == TYPE_HASH ? TYPE_BLOCK : series->type(), 0, taken, 0);
        if (series->is(TYPE_HASH)) {
            NodeId table = hashtable::make(uint32_t(count), taken, hashtable::KIND_HASH, 0);
            *result = make_cell(TYPE_HASH, 0, taken, table);
        }
    } else if (count > 0) {
        *result = cells_of(node)[first];
    }
    if (count > 0) {
        close_gap(node, first, count);
        hash_removed(series, first, count, length);
    }
    if (told) notify(series, words::taken, nullptr, head, 0);

    if (deep && count > 0) {
        if (!part) {
            if (holds_series_q(result->type())) *result = *push_copy_of(*result, true, nullptr);
        } else {
            NodeId taken = result->data2;
            for (int32_t i = 0; i < count; i++) {
                Cell element = cells_of(taken)[i];
                if (!holds_series_q(element.type())) continue;
                StackScope inner;
                Cell* copy = push_copy_of(element, true, nullptr);
                cells_of(taken)[i] = *copy;
            }
        }
    }
    *series = *result;
    return series;
}

Cell* swap(Cell* series1, Cell* series2) {
    if (!any_block_q(series2->type())) support::fire_error(ErrorId::script_invalid_arg, series2);
    auto live = [](const Cell* s) {
        int32_t h = head_index(s);
        return h >= 0 && h < length_from_start(s);
    };
    if (!live(series1) || !live(series2)) return series1;
    int32_t h1 = head_index(series1), h2 = head_index(series2);
    Cell a = cells_of(series1->data2)[h1], b = cells_of(series2->data2)[h2];
    bool told1 = notify(series1, words::swap, &b, h1, 1);
    bool told2 = notify(series2, words::swap, &a, h2, 1);
    if (!live(series1) || !live(series2)) return series1;
    hash_unindex(series1, h1);
    hash_unindex(series2, h2);
    a = cells_of(series1->data2)[h1];
    b = cells_of(series2->data2)[h2];
    cells_of(series1->data2)[h1] = b;
    cells_of(series2->data2)[h2] = a;
    hash_index(series1, h1);
    hash_index(series2, h2);
    if (told1) notify(series1, words::swaped, &a, h1, 1);
    if (told2) notify(series2, words::swaped, &b, h2, 1);
    return series1;
}

Cell* trim(Cell* series, bool, bool, bool, bool, bool, Cell*) {
    int32_t head = clip_head(series);
    bool told = notify(series, words::trim, nullptr, head, 0);
    head = clip_head(series);
    NodeId node = series->data2;
    Cell* cells = cells_of(node);  // nothing below allocates
    int32_t length = length_of(node), kept = head;
    for (int32_t i = head; i < length; i++)
        if (!cells[i].is(TYPE_NONE)) cells[kept++] = cells[i];
    set_length(node, kept);
    if (NodeId table = table_of(series)) hashtable::rebuild(table, kept);
    if (told) notify(series, words::trimmed, nullptr, head, 0);
    return series;
}

// ---------------------------------------------------------------- copy

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    const Cell source = *value;
    if (!result) result = value;
    int32_t length = length_from_start(&source);
    int32_t head = head_index(&source);
    int64_t start = head;
    int64_t count = std::max(length - head, 0);
    if (part) {
        if (part->is(TYPE_INTEGER)) {
            count = part->as_int();
        } else if (part->is(TYPE_PAIR)) {
            int32_t x = int32_t(part->data2), y = int32_t(part->data3);
            start = std::max<int64_t>(x < 0 ? int64_t(head) + x : int64_t(head) + x - 1, 0);
            count = y < x ? 0 : int64_t(y) - x;
        } else if (part->type() == source.type() && part->data2 == source.data2) {
            count = int64_t(head_index(part)) - head;
        } else {
            fire_invalid_refine(refinements::part, part);
        }
        if (count < 0) {
            count = -count;
            start -= count;
            if (start < 0) {
                start = 0;
                count = std::max(head, 0);
            }
        }
    }
    if (start > length) start = count = 0;
    else count = std::min<int64_t>(count, length - start);

    NodeId node = memory::alloc_cells(uint32_t(std::max<int64_t>(count, 1)));
    // The source buffer may have moved during the allocation.
    std::memcpy(cells_of(node), cells_of(source.data2) + start, size_t(count) * CELL);
    set_length(node, int32_t(count));
    uint32_t type = source.type();
    if (type == TYPE_HASH && (deep || types)) type = TYPE_BLOCK;  // hash! retypes it
    *result = make_cell(type | (source.header & NEW_LINE_FLAG), 0, node, 0);
    if (!deep && !types) return result;

    StackScope scope;
    stack::push(result);  // keeps the copy reachable whatever `result` is
    bool walk = deep;
    if (walk && cycles::find(source.data2)) support::fire_error(ErrorId::internal_no_cycle);
    if (walk) cycles::push(source.data2);
    struct Pop {
        bool on;
        ~Pop() { if (on) cycles::pop(); }
    } pop{walk};
    if (types) {
        copy_values_in_place(node, 0, int32_t(count), 1, types, deep);
        return result;
    }
    for (int32_t i = 0; i < int32_t(count); i++) {
        Cell element = cells_of(node)[i];
        if (!holds_series_q(element.type())) continue;
        StackScope inner;
        Cell* copied = push_copy_of(element, true, nullptr);
        cells_of(node)[i] = *copied;
    }
    return result;
}

// ---------------------------------------------------------------- sort

Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable) {
    NodeId node = series->data2;
    int32_t head = clip_head(series);
    int32_t n = length_of(node) - head;
    if (n == 0) return series;
    if (part) {
        int32_t count;
        if (part->is(TYPE_INTEGER)) count = part->as_int();
        else if (any_block_q(part->type()) && part->data2 == node) count = head_index(part) - head;
        else fire_invalid_refine(refinements::part, part);
        if (count < 0) {  // the cells before the head
            if (head + count < 0) {
                head = 0;
                count = 0;
            } else {
                head += count;
                count = -count;
            }
            series->data1 = uint32_t(head);
            n = count;
        }
        n = std::min(n, count);
        if (n == 0) return series;
    }
    int32_t size = 1;
    if (skip) {
        size = skip->is(TYPE_INTEGER) ? skip->as_int() : 0;
        if (size < 1 || n % size != 0 || n < size) fire_invalid_refine(refinements::skip, skip);
    } else if (all) {
        support::fire_error(ErrorId::script_bad_refines);
    }

    uintptr_t flags = reverse ? SORT_REVERSE : 0;
    if (all) flags |= SORT_ALL | (uintptr_t(size) << SORT_SHIFT);
    if (compare) {
        if (compare->is(TYPE_INTEGER)) {
            if (!skip || all) support::fire_error(ErrorId::script_bad_refines);
            int32_t field = compare->as_int();
            if (field < 1 || field > size) support::fire_error(ErrorId::script_out_of_range, compare);
            flags |= uintptr_t(field - 1) << SORT_SHIFT;
        } else if (compare->is(TYPE_FUNCTION)) {
            bool told = notify(series, words::sort, nullptr, head, 0);
            int32_t records = std::min(n, std::max(length_of(node) - head, 0)) / size;
            interpreter::sort_block_with_function(series, head, records, size, all, compare,
                                                  reverse, stable);
            if (NodeId table = table_of(series)) hashtable::rebuild(table, length_of(node));
            if (told) notify(series, words::sorted, nullptr, head, 0);
            return series;
        } else {
            fire_invalid_refine(refinements::compare, compare);
        }
    }

    bool told = notify(series, words::sort, nullptr, head, 0);
    // A handler may have shortened the block: sort what is left of the range.
    int32_t records = std::min(n, std::max(length_of(node) - head, 0)) / size;
    {
        NoCompaction fixed;
        auto run = stable ? sorting::merge_sort : sorting::quick_sort;
        run(cells_of(node) + head, records, size * CELL, uintptr_t(case_ ? COMP_CASE_SORT : COMP_SORT),
            flags, compare_records);
    }
    if (NodeId table = table_of(series)) hashtable::rebuild(table, length_of(node));
    if (told) notify(series, words::sorted, nullptr, head, 0);
    return series;
}

// ---------------------------------------------------------------- set operations

namespace {

// A set seen as records of `size` cells from its head; hashed sets keep a
// table over their cells, a stack cell of type hash! keeping both reachable.
struct Set {
    Cell* cell;     // on the value stack: hash! (block node, table) or the set itself
    int32_t head;
    NodeId node() const { return cell->data2; }
    NodeId table() const { return cell->is(TYPE_HASH) ? cell->data3 : 0; }
};

Set hashed_set(const Cell* set, int32_t head) {
    Cell* cell = stack::push(set);
    if (set->is(TYPE_HASH) && set->data3) return {cell, head};
    cell->set_type(TYPE_BLOCK);
    NodeId table = hashtable::make(uint32_t(std::max(length_of(set->data2), 1)), set->data2,
                                   hashtable::KIND_HASH, 0);
    *cell = make_cell(TYPE_HASH, 0, set->data2, table);
    return {cell, head};
}

// Whether the set holds the key as the first cell of one of its records.
bool set_has(const Set& set, const Cell& key, int32_t size, bool case_) {
    if (any_block_q(key.type())) {
        Cell at = make_cell(TYPE_BLOCK, uint32_t(set.head), set.node(), 0);
        Cell step = integer_cell(size);
        Search search;
        search.only = true;
        search.case_ = case_;
        search.skip = &step;
        return find_in(&at, &key, search).at >= 0;
    }
    int op = case_ ? COMP_STRICT_EQUAL : COMP_EQUAL;
    return hashtable::find(set.table(), &key, set.head, size, op, false, false) != nullptr;
}

// Each cell is copied out before the append: growing the result may move
// every buffer, the source's included.
void add_record(const Set& result, NodeId from, int32_t first, int32_t size) {
    NodeId node = result.node();
    int32_t count = std::min(size, length_of(from) - first);
    for (int32_t i = 0; i < count; i++) {
        const Cell cell = cells_of(from)[first + i];
        *support::alloc_tail_cell(node) = cell;
        if (i == 0 && !any_block_q(cell.type()))
            index_cell(result.table(), node, length_of(node) - 1);
    }
}

}  // namespace

Cell* set_operation(Cell* set1, Cell* set2, bool case_, Cell* skip, int op) {
    int32_t size = 1;
    if (skip && !skip->is(TYPE_NONE)) {
        size = skip->is(TYPE_INTEGER) ? skip->as_int() : 0;
        if (size < 1) fire_invalid_refine(refinements::skip, skip);
    }
    bool two_sets = op != SET_UNIQUE;
    int32_t head1 = clip_head(set1);
    int32_t head2 = two_sets ? clip_head(set2) : 0;
    int32_t room = length_of(set1->data2) - head1;
    if (op == SET_UNION) room += length_of(set2->data2) - head2;

    StackScope scope;
    Cell* made = push_new(room);
    NodeId made_table = hashtable::make(uint32_t(std::max(room, 1)), made->data2, hashtable::KIND_HASH, 0);
    *made = make_cell(TYPE_HASH, 0, made->data2, made_table);
    Set result{made, 0};

    // One pass over `from`; `other` filters it for the operations that need one.
    auto pass = [&](const Cell* from, int32_t head, const Set* other, bool keep_found) {
        NodeId node = from->data2;
        for (int32_t p = head; p < length_of(node); p += size) {
            const Cell key = cells_of(node)[p];
            if (other && set_has(*other, key, size, case_) != keep_found) continue;
            if (set_has(result, key, size, case_)) continue;
            add_record(result, node, p, size);
        }
    };
    auto other_of = [&](const Cell* set, int32_t head) { return hashed_set(set, head); };

    switch (op) {
        case SET_UNIQUE:
            pass(set1, head1, nullptr, false);
            break;
        case SET_UNION:
            pass(set1, head1, nullptr, false);
            pass(set2, head2, nullptr, false);
            break;
        case SET_INTERSECT: case SET_EXCLUDE: {
            Set other = other_of(set2, head2);
            pass(set1, head1, &other, op == SET_INTERSECT);
            break;
        }
        case SET_DIFFERENCE: {
            Set other2 = other_of(set2, head2);
            pass(set1, head1, &other2, false);
            Set other1 = other_of(set1, head1);
            pass(set2, head2, &other1, false);
            break;
        }
        default:
            not_done_raise();
    }

    bool keep_table = set1->is(TYPE_HASH) || (two_sets && set2->is(TYPE_HASH));
    // A hash! indexes every cell, not only the keys the operation looked up.
    if (keep_table) hashtable::rebuild(made_table, length_of(made->data2));
    // A block! keeps word 3 at 0: a kept table makes the result a hash!.
    uint32_t type = keep_table ? uint32_t(TYPE_HASH) : set1->type();
    *set1 = make_cell(type, 0, made->data2, keep_table ? made_table : 0);
    return set1;
}

// ---------------------------------------------------------------- registration

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), inherit<A_RANDOM>(), inherit<A_REFLECT>(), own<A_TO>(&to),
        /*  5 */ own<A_FORM>(&form), own<A_MOLD>(&mold), own<A_EVAL_PATH>(&eval_path), E,
        /*  9 */ own<A_COMPARE>(&compare), E, E, E,
        /* 13 */ E, E, E, E, E, E, E, E,
        /* 21 */ E, E, E, E, own<A_APPEND>(&append), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ own<A_CHANGE>(&change), inherit<A_CLEAR>(), own<A_COPY>(&copy), own<A_FIND>(&find),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), own<A_INSERT>(&append),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), own<A_PUT>(&put), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ own<A_SELECT>(&select), own<A_SORT>(&sort), inherit<A_SKIP>(), own<A_SWAP>(&swap),
        /* 48 */ inherit<A_TAIL>(), inherit<A_TAIL_Q>(), own<A_TAKE>(&take), own<A_TRIM>(&trim),
        /* 52 */ E, E, E, inherit<A_MODIFY>(), E, E, E, E, E, E, E);
    registry::register_type(TYPE_BLOCK, TYPE_SERIES, "block!", slots);
}

}  // namespace zun::block
