#include "core/hashtable.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "core/case_folding.hpp"
#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::hashtable {

namespace {

using memory::SeriesBuffer;

constexpr int ASSERTION_FAILED = 98;
constexpr uint32_t HASH_SEED = 0x7A756E31;  // any constant: hashes never leave the process
constexpr double LOAD = 0.77;
constexpr int32_t SHIFT_LIMIT = 30000;
constexpr uint32_t NONE = 0xFFFFFFFF;
constexpr uint32_t NO_ALIAS = 0xFFFFFFFF;

// ---------------------------------------------------------------- MurmurHash3

inline uint32_t rotl(uint32_t x, int r) { return (x << r) | (x >> (32 - r)); }
inline uint32_t mix_k(uint32_t k) { return rotl(k * 0xCC9E2D51u, 15) * 0x1B873593u; }
inline uint32_t mix_block(uint32_t h, uint32_t k) { return rotl(h ^ mix_k(k), 13) * 5 + 0xE6546B64u; }
inline uint32_t finish(uint32_t h, uint32_t length) { return murmur3_fmix32(h ^ length); }

// Bytes pass through `byte` first (ASCII lowering for names).
template <typename ByteFn>
uint32_t murmur_bytes(const uint8_t* p, size_t n, uint32_t seed, ByteFn byte) {
    uint32_t h = seed;
    for (size_t i = 0; i < n / 4; i++, p += 4)
        h = mix_block(h, byte(p[0]) | byte(p[1]) << 8 | byte(p[2]) << 16 | byte(p[3]) << 24);
    uint32_t k = 0;
    switch (n & 3) {
        case 3: k ^= byte(p[2]) << 16; [[fallthrough]];
        case 2: k ^= byte(p[1]) << 8; [[fallthrough]];
        case 1: h ^= mix_k(k ^ byte(p[0]));
    }
    return finish(h, uint32_t(n));
}

inline uint32_t plain_byte(uint8_t b) { return b; }
inline uint32_t ascii_lower(uint8_t b) { return b >= 'A' && b <= 'Z' ? b + 32u : b; }
// As function objects, so murmur_bytes inlines them.
constexpr auto plain_fn = [](uint8_t b) { return plain_byte(b); };
constexpr auto lower_fn = [](uint8_t b) { return ascii_lower(b); };

uint32_t murmur_words(const uint32_t* words, size_t count) {
    return murmur3_32(words, count * 4);
}

// -0.0 and 0.0 are equal keys, so they must hash alike.
uint32_t positive_zero64(uint32_t low, uint32_t high, uint32_t* out) {
    uint64_t bits = uint64_t(high) << 32 | low;
    if (bits == 0x8000000000000000ull) bits = 0;
    out[0] = uint32_t(bits);
    out[1] = uint32_t(bits >> 32);
    return 2;
}
inline uint32_t positive_zero32(uint32_t bits) { return bits == 0x80000000u ? 0 : bits; }

uint32_t hash_double_cell(const Cell* v) {
    uint32_t w[2];
    positive_zero64(v->data2, v->data3, w);
    return murmur_words(w, 2);
}

uint32_t hash_point_cell(const Cell* v, size_t coordinates) {
    const uint32_t w[3] = {positive_zero32(v->data1), positive_zero32(v->data2),
                           positive_zero32(v->data3)};
    return murmur_words(w, coordinates);
}

uint32_t hash_tuple(const Cell* v) {
    uint32_t length = (v->header >> 19) & 0xF;
    if (length > 12) length = 12;
    return murmur3_32(&v->data1, length);
}

uint32_t hash_binary(const Cell* v) {
    const SeriesBuffer* b = memory::buffer_of(v->data2);
    uint32_t head = std::min<uint32_t>(uint32_t(std::max<int32_t>(int32_t(v->data1), 0)), b->used());
    return murmur3_32(b->data() + b->head + head, b->used() - head);
}

uint32_t hash_symbol_cell(const Cell* v) {
    const SeriesBuffer* b = memory::buffer_of(v->data3);
    return murmur_bytes(b->data() + b->head, b->used(), HASH_SEED, lower_fn);
}

// Equal amounts must hash alike: the sign of a zero and the currency (which
// the comparison may ignore) are left out; the digits are canonical already.
uint32_t hash_money(const Cell* v) {
    Cell scratch = *v;
    scratch.header = TYPE_MONEY;
    scratch.data1 &= ~0xFFu;
    return murmur3_32(&scratch, sizeof scratch);
}

// ---------------------------------------------------------------- buffers

inline SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }
inline uint32_t* words_of(NodeId node) { return reinterpret_cast<uint32_t*>(buf(node)->head_ptr()); }
inline Cell* cell_at(NodeId block, uint32_t pos) { return buf(block)->head_cell() + pos; }
inline uint32_t cell_count(NodeId block) { return buf(block)->used() / sizeof(Cell); }
inline Cell* entry_at(NodeId block, uint32_t offset) {
    return reinterpret_cast<Cell*>(buf(block)->head_ptr() + offset);
}

uint32_t position_in(NodeId block, const Cell* cell) {
    SeriesBuffer* b = buf(block);
    auto at = reinterpret_cast<uintptr_t>(cell);
    auto head = reinterpret_cast<uintptr_t>(b->head_ptr());
    if (at < head || at >= reinterpret_cast<uintptr_t>(b->tail_ptr()) || (at - head) % sizeof(Cell))
        runtime::fatal(ASSERTION_FAILED);  // a key outside its table's block
    return uint32_t((at - head) / sizeof(Cell));
}

uint32_t next_power_of_two(uint64_t x) {
    if (x > 0x80000000ull) support::fire_error(ErrorId::internal_no_memory);
    return uint32_t(std::bit_ceil(std::max<uint64_t>(x, 1)));
}

inline uint32_t flag_bytes(uint32_t n) { return std::max<uint32_t>(n / 4, 4); }

// Keeps a value reachable across the allocations that follow. Before the value
// stack exists the collector is off, so nothing needs holding then.
class StackRoot {
public:
    explicit StackRoot(const Cell& value) {
        if (stack::initialised()) m_cell = stack::push(&value);
    }
    ~StackRoot() {
        if (m_cell && stack::g_top > m_cell) stack::g_top = m_cell;
    }
    StackRoot(const StackRoot&) = delete;
    StackRoot& operator=(const StackRoot&) = delete;
    void set(const Cell& value) {
        if (m_cell) *m_cell = value;
    }

private:
    Cell* m_cell = nullptr;
};

// A hash!-typed cell marks both a block and a table.
inline Cell table_cell(NodeId block, NodeId table) { return make_cell(TYPE_HASH, 0, block, table); }
inline Cell bytes_cell(NodeId node) { return make_cell(TYPE_BINARY, 0, node, 0); }

// ---------------------------------------------------------------- flags and probing

inline uint32_t flag(const uint32_t* f, uint32_t i) { return f[i >> 4] >> ((i & 15) << 1) & 3; }
inline bool empty_at(const uint32_t* f, uint32_t i) { return flag(f, i) & 2; }
inline bool deleted_at(const uint32_t* f, uint32_t i) { return flag(f, i) & 1; }
inline bool in_use(const uint32_t* f, uint32_t i) { return flag(f, i) == 0; }
inline void set_in_use(uint32_t* f, uint32_t i) { f[i >> 4] &= ~(3u << ((i & 15) << 1)); }
inline void set_deleted(uint32_t* f, uint32_t i) { f[i >> 4] |= 1u << ((i & 15) << 1); }

// Raw pointers into the table's buffers: re-make after anything that allocates.
struct View {
    Table* t;
    uint32_t* flags;
    int32_t* buckets;
    explicit View(NodeId table)
        : t(table_of(table)),
          flags(words_of(t->flags)),
          buckets(reinterpret_cast<int32_t*>(words_of(t->buckets))) {}
};

// Step k moves k buckets on; after n buckets every one has been seen.
struct Probe {
    uint32_t mask, i, step = 0;
    Probe(uint32_t hash, uint32_t n) : mask(n - 1), i(hash & (n - 1)) {}
    bool next() {
        i = (i + ++step) & mask;
        return step <= mask;
    }
};

uint32_t grow_target(const Table* t) { return 2 * t->size < t->n ? t->n - 1 : t->n + 1; }

bool is_word_type(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }

// Table compares never allocate, but they run datatype code: callers re-read
// their buffers after each one all the same.
bool equal(const Cell& a, const Cell& b, int op) {
    Cell x = a, y = b;
    return actions::compare(&x, &y, op);
}

// ---------------------------------------------------------------- hash! side arrays

NodeId list_node(const Table* t, uint32_t k) { return words_of(t->aux2)[k - 1]; }
uint32_t list_length(NodeId list) { return buf(list)->used() / 4; }

// The position whose cell stands for a bucket's key (a list's first one).
uint32_t representative(const Table* t, int32_t entry) {
    return entry >= 0 ? uint32_t(entry) : words_of(list_node(t, uint32_t(-entry)))[0];
}

uint32_t bucket_of(const Table* t, uint32_t pos) {
    const SeriesBuffer* b = buf(t->aux1);
    if (uint64_t(pos) * 4 + 4 > b->size - b->head) return NONE;
    uint32_t v = words_of(t->aux1)[pos];
    return v == NONE ? NONE : v - 1;
}

// Grows the bucket-of-position array (new entries none) to hold `entries`.
void ensure_positions(NodeId table, uint64_t entries) {
    SeriesBuffer* b = buf(table_of(table)->aux1);
    if (entries * 4 <= b->size - b->head) return;
    if (entries > 0x10000000ull) support::fire_error(ErrorId::internal_no_memory);
    memory::expand_series_filled(b, int64_t(std::max<uint64_t>(entries * 8, 16)), 0xFF);
}

void set_bucket_of(NodeId table, uint32_t pos, uint32_t bucket) {
    ensure_positions(table, uint64_t(pos) + 1);
    words_of(table_of(table)->aux1)[pos] = bucket == NONE ? NONE : bucket + 1;
}

void drop_list(Table* t, uint32_t k) {
    SeriesBuffer* lists = buf(t->aux2);
    reinterpret_cast<uint32_t*>(lists->head_ptr())[k - 1] = 0;
    // Trailing free slots go, so churn on one key does not grow the list of lists.
    while (lists->used() >= 4 && reinterpret_cast<uint32_t*>(lists->tail_ptr())[-1] == 0)
        lists->tail -= 4;
}

// Makes the key at pos a duplicate of bucket i's key.
Cell* add_duplicate(NodeId table, uint32_t i, uint32_t pos) {
    int32_t entry = View(table).buckets[i];
    if (entry >= 0) {
        NodeId lists = table_of(table)->aux2;
        uint32_t k = array::length(lists) + 1;
        array::append_int(lists, 0);  // the slot first: the new list is stored before anything else allocates
        NodeId list = array::make(4, 4);
        uint32_t* w = words_of(list);
        w[0] = uint32_t(entry);
        w[1] = pos;
        buf(list)->tail = buf(list)->head + 8;
        words_of(table_of(table)->aux2)[k - 1] = list;
        View(table).buckets[i] = -int32_t(k);
    } else {
        array::append_int(list_node(table_of(table), uint32_t(-entry)), pos);
    }
    set_bucket_of(table, pos, i);
    return cell_at(table_of(table)->block, pos);
}

// Drops the index entry of the hash! cell at pos.
void remove_position(NodeId table, uint32_t pos) {
    View v(table);
    uint32_t bucket = bucket_of(v.t, pos);
    if (bucket == NONE) return;
    int32_t entry = v.buckets[bucket];
    if (entry >= 0) {
        if (uint32_t(entry) == pos) {
            set_deleted(v.flags, bucket);
            v.t->size--;
        }
    } else {
        uint32_t k = uint32_t(-entry);
        NodeId list = list_node(v.t, k);
        array::remove_value(list, pos);
        uint32_t left = list_length(list);
        if (left == 1) v.buckets[bucket] = int32_t(words_of(list)[0]);  // a plain bucket again
        if (left == 0) {
            set_deleted(v.flags, bucket);
            v.t->size--;
        }
        if (left <= 1) drop_list(v.t, k);
    }
    words_of(v.t->aux1)[pos] = NONE;
}

// ---------------------------------------------------------------- find-next state

struct Walk {
    NodeId table = 0;
    Probe probe{0, 4};
    uint32_t list_index = 0;
};
Walk g_walk;

void save_walk(NodeId table, const Probe& p, uint32_t list_index) {
    g_walk.table = table;
    g_walk.probe = p;
    g_walk.list_index = list_index;
}

PrepareKeyFn g_prepare_key = nullptr;

// Scratch marks for the position lists a shift has already patched.
std::vector<uint8_t> g_list_done;
std::vector<uint32_t> g_lists_touched;

bool first_visit(uint32_t k) {
    if (g_list_done.size() <= k) g_list_done.resize(size_t(k) * 2 + 16, 0);
    if (g_list_done[k]) return false;
    g_list_done[k] = 1;
    g_lists_touched.push_back(k);
    return true;
}

void forget_visits() {
    for (uint32_t k : g_lists_touched) g_list_done[k] = 0;
    g_lists_touched.clear();
}

}  // namespace


// ---------------------------------------------------------------- hashing

uint32_t murmur3_32_seeded(const void* data, size_t length, uint32_t seed) {
    return murmur_bytes(static_cast<const uint8_t*>(data), length, seed, plain_fn);
}

uint32_t murmur3_32(const void* data, size_t length) {
    return murmur3_32_seeded(data, length, HASH_SEED);
}

uint32_t hash_name(const char* name, size_t length) {
    return murmur_bytes(reinterpret_cast<const uint8_t*>(name), length, HASH_SEED, lower_fn);
}

uint32_t hash_string(const Cell* str, bool case_) {
    const SeriesBuffer* b = memory::buffer_of(str->data2);
    uint32_t unit = b->unit();
    uint32_t total = b->used() / unit;
    uint32_t head = uint32_t(std::max<int32_t>(int32_t(str->data1), 0));
    uint32_t count = head < total ? total - head : 0;
    const uint8_t* p = b->data() + b->head + size_t(head) * unit;
    uint32_t h = HASH_SEED;
    for (uint32_t i = 0; i < count; i++, p += unit) {
        uint32_t cp = string::get_char(p, unit);
        h = mix_block(h, case_ ? cp : unicode::change_case(cp, false));
    }
    return finish(h, 4 * count);
}

uint32_t hash_value(const Cell* v, bool case_) {
    switch (v->type()) {
        case TYPE_UNSET: return uint32_t(-2);
        case TYPE_NONE: return uint32_t(-1);
        case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
            return murmur3_fmix32(v->data1);
        case TYPE_CHAR: case TYPE_INTEGER: case TYPE_MAP: case TYPE_HANDLE: case TYPE_EVENT:
            return murmur3_fmix32(v->data2);
        case TYPE_NATIVE: case TYPE_ACTION:
            return murmur3_fmix32(v->data3);
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        case TYPE_REFINEMENT: case TYPE_ISSUE:
            return murmur3_fmix32(symbol::canonical(v->data2));
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: case TYPE_IMAGE:
            return murmur_words(&v->data1, 2);
        case TYPE_POINT2D: return hash_point_cell(v, 2);
        case TYPE_POINT3D: return hash_point_cell(v, 3);
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: return hash_double_cell(v);
        case TYPE_PAIR: return murmur_words(&v->data2, 2);
        case TYPE_OP: case TYPE_FUNCTION: case TYPE_TRIPLE: case TYPE_TYPESET: case TYPE_DATE:
            return murmur_words(&v->data1, 3);
        case TYPE_TUPLE: return hash_tuple(v);
        case TYPE_BINARY: return hash_binary(v);
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            return hash_string(v, case_);
        case TYPE_SYMBOL: return hash_symbol_cell(v);
        case TYPE_MONEY: return hash_money(v);
        default: return 0;  // context!, routine!, bitset!, vector!: slow but sound
    }
}

namespace {

// The hash a bucket's entry is filed under, for re-insertion.
uint32_t rehash(const Table* t, int32_t entry) {
    if (t->kind >= KIND_NODES) return murmur3_fmix32(entry_at(t->block, uint32_t(entry))->data1);
    return hash_value(cell_at(t->block, representative(t, entry)), false);
}

// Node kinds: entries of deleted buckets would be orphaned by a re-insertion,
// so they join the free list (linked through the key cell's word 2).
void free_deleted_entries(NodeId table) {
    View v(table);
    for (uint32_t i = 0; i < v.t->n; i++) {
        if (flag(v.flags, i) != 1) continue;
        Cell* key = entry_at(v.t->block, uint32_t(v.buckets[i]));
        key->header = 0;
        key->data2 = v.t->aux2;
        v.t->aux2 = uint32_t(v.buckets[i]) + 1;
    }
}

// Re-inserts every in-use entry under the new mask, in place: each entry not yet
// moved is placed at the first empty bucket of its new probe sequence, kicking
// out any unmoved entry it finds there, which is placed in turn.
uint32_t reinsert(NodeId table, uint32_t* new_flags, uint32_t new_n) {
    View v(table);
    uint32_t old_n = v.t->n, mask = new_n - 1, moved = 0;
    for (uint32_t j = 0; j < old_n; j++) {
        if (!in_use(v.flags, j)) continue;
        int32_t entry = v.buckets[j];
        set_deleted(v.flags, j);
        moved++;
        for (;;) {
            uint32_t i = rehash(v.t, entry) & mask, step = 0;
            while (!empty_at(new_flags, i)) i = (i + ++step) & mask;
            set_in_use(new_flags, i);
            if (i < old_n && in_use(v.flags, i)) {
                std::swap(entry, v.buckets[i]);
                set_deleted(v.flags, i);
            } else {
                v.buckets[i] = entry;
                break;
            }
        }
    }
    return moved;
}

// Gives the table flag and bucket arrays for n buckets, every bucket empty.
void fresh_arrays(NodeId table, uint32_t n) {
    NodeId flags = table_of(table)->flags;
    if (!flags || buf(flags)->size - buf(flags)->head < flag_bytes(n)) {
        flags = memory::alloc_bytes(flag_bytes(n));
        table_of(table)->flags = flags;
    }
    std::memset(buf(flags)->head_ptr(), 0xAA, flag_bytes(n));
    NodeId buckets = table_of(table)->buckets;
    if (!buckets || buf(buckets)->size - buf(buckets)->head < n * 4) {
        buckets = memory::alloc_bytes(n * 4);
        table_of(table)->buckets = buckets;
    }
    std::memset(buf(buckets)->head_ptr(), 0, size_t(n) * 4);
    Table* t = table_of(table);
    t->n = n;
    t->size = t->occupied = 0;
}

// Grows before an insertion; true when a hash! was rebuilt (which indexed the
// whole block, the new key included).
bool grow_for_insert(NodeId table) {
    Table* t = table_of(table);
    if (t->occupied < t->bound) return false;
    switch (t->kind) {
        case KIND_HASH: rebuild(table, int32_t(grow_target(t))); return true;
        case KIND_MAP: resize(table, t->n + 1); return false;
        default: resize(table, grow_target(t)); return false;
    }
}

// Files pos in bucket `slot`, met empty or deleted.
void take_bucket(NodeId table, uint32_t slot, uint32_t pos) {
    View v(table);
    if (empty_at(v.flags, slot)) v.t->occupied++;
    v.t->size++;
    v.buckets[slot] = int32_t(pos);
    set_in_use(v.flags, slot);
}

}  // namespace

// ---------------------------------------------------------------- value tables

NodeId make(uint32_t size, NodeId block, uint32_t kind, uint32_t value_cells) {
    if (size < 4) size = 4;
    if (kind == KIND_WORDS && size >= 4000) size *= 2;
    uint32_t n = next_power_of_two(uint64_t(size / LOAD));
    bool index = block && kind < KIND_NODES;
    uint32_t stride = 16 * (value_cells + 1);
    StackRoot root(make_cell(TYPE_BLOCK, 0, block, 0));
    if (kind >= KIND_NODES) block = memory::alloc_cells(std::min<uint32_t>(size, 64) * (value_cells + 1));
    else if (!block) block = memory::alloc_cells(size);
    root.set(make_cell(TYPE_BLOCK, 0, block, 0));

    NodeId table = memory::alloc_bytes(sizeof(Table));
    std::memset(buf(table)->head_ptr(), 0, sizeof(Table));
    buf(table)->tail = buf(table)->head + sizeof(Table);
    Table* t = table_of(table);
    t->block = block;
    t->kind = kind;
    if (kind >= KIND_NODES) t->aux1 = stride;
    root.set(table_cell(block, table));

    fresh_arrays(table, n);
    table_of(table)->bound = uint32_t(n * LOAD);
    if (kind == KIND_HASH) {
        NodeId positions = memory::alloc_bytes_filled(std::max<uint32_t>(cell_count(block), 4) * 4, 0xFF);
        table_of(table)->aux1 = positions;
        NodeId lists = array::make(4, 4);
        table_of(table)->aux2 = lists;
    }
    if (index) index_block(table, 0, kind == KIND_MAP ? 2 : 1);
    return table;
}

Cell* put(NodeId table, const Cell* key) { return put_with_status(table, key, nullptr); }

Cell* put_with_status(NodeId table, const Cell* key, int* status) {
    if (status) *status = 0;
    NodeId block = table_of(table)->block;
    if (table_of(table)->kind >= KIND_NODES) runtime::fatal(ASSERTION_FAILED);
    uint32_t pos = position_in(block, key);  // before anything allocates
    if (grow_for_insert(table)) {
        if (status) *status = 2;
        return cell_at(block, pos);
    }
    const Cell k = *cell_at(block, pos);
    uint32_t kind = table_of(table)->kind;
    uint32_t chosen = NONE, deleted = NONE;
    Probe p(hash_value(&k, false), table_of(table)->n);
    do {
        View v(table);
        if (empty_at(v.flags, p.i)) {
            chosen = p.i;
            break;
        }
        if (deleted_at(v.flags, p.i)) {
            if (deleted == NONE) deleted = p.i;
            continue;
        }
        int32_t entry = v.buckets[p.i];
        const Cell& stored = *cell_at(block, representative(v.t, entry));
        if (kind == KIND_HASH) {
            if (stored.type() == k.type() && equal(stored, k, COMP_EQUAL))
                return add_duplicate(table, p.i, pos);
        } else if (equal(stored, k, COMP_STRICT_EQUAL)) {
            return cell_at(block, uint32_t(entry));
        }
    } while (p.next());
    uint32_t slot = deleted != NONE ? deleted : chosen;
    if (slot == NONE) runtime::fatal(ASSERTION_FAILED);  // no free bucket below the bound
    take_bucket(table, slot, pos);
    if (kind == KIND_HASH) set_bucket_of(table, pos, slot);
    return cell_at(block, pos);
}

namespace {

// A map! stores word keys as set-words, so look-ups go by set-word.
Cell lookup_key(uint32_t kind, const Cell* key) {
    Cell k = *key;
    if (kind == KIND_MAP && is_word_type(k.type())) k.set_type(TYPE_SET_WORD);
    return k;
}

// Maps and word tables: the next in-use bucket whose key has the key's type
// and compares equal, from the probe's current bucket on.
Cell* walk_keys(NodeId table, const Cell& k, int op, Probe p) {
    NodeId block = table_of(table)->block;
    do {
        View v(table);
        if (empty_at(v.flags, p.i)) break;
        if (!in_use(v.flags, p.i)) continue;
        uint32_t pos = uint32_t(v.buckets[p.i]);
        const Cell& stored = *cell_at(block, pos);
        if (stored.type() == k.type() && equal(stored, k, op)) {
            save_walk(table, p, 0);
            return cell_at(block, pos);
        }
    } while (p.next());
    g_walk.table = 0;
    return nullptr;
}

struct Search {
    int64_t start;
    int32_t skip;
    bool last, reverse;
    int64_t best = -1;

    bool qualifies(int64_t pos) const {
        if (reverse) return pos < start && (start - pos - 1) % skip == 0;
        return pos >= start && (pos - start) % skip == 0;
    }
    bool beats(int64_t pos) const {
        if (best < 0) return true;
        return (last || reverse) ? pos > best : pos < best;
    }
};

uint32_t positions_in(const Table* t, int32_t entry) {
    return entry >= 0 ? 1 : list_length(list_node(t, uint32_t(-entry)));
}

uint32_t position_at(const Table* t, int32_t entry, uint32_t j) {
    return entry >= 0 ? uint32_t(entry) : words_of(list_node(t, uint32_t(-entry)))[j];
}

// hash!: every position whose bucket key equals the key is a candidate.
Cell* find_position(NodeId table, const Cell& k, Search s, int op) {
    NodeId block = table_of(table)->block;
    Walk at_best;
    Probe p(hash_value(&k, false), table_of(table)->n);
    do {
        View v(table);
        if (empty_at(v.flags, p.i)) break;
        if (!in_use(v.flags, p.i)) continue;
        int32_t entry = v.buckets[p.i];
        if (!equal(*cell_at(block, representative(v.t, entry)), k, COMP_EQUAL)) continue;
        for (uint32_t j = 0; j < positions_in(table_of(table), entry); j++) {
            uint32_t pos = position_at(table_of(table), entry, j);
            if (!s.qualifies(pos) || !s.beats(pos)) continue;
            if (op != COMP_EQUAL && !equal(*cell_at(block, pos), k, op)) continue;
            s.best = pos;
            at_best = Walk{table, p, j};
        }
    } while (p.next());
    if (s.best < 0) {
        g_walk.table = 0;
        return nullptr;
    }
    g_walk = at_best;
    return cell_at(block, uint32_t(s.best));
}

// hash!: the next position equal under op after (probe, list index j).
Cell* next_position(NodeId table, const Cell& k, int op, Probe p, uint32_t j) {
    NodeId block = table_of(table)->block;
    do {
        View v(table);
        if (empty_at(v.flags, p.i)) break;
        int32_t entry = v.buckets[p.i];
        if (in_use(v.flags, p.i) &&
            equal(*cell_at(block, representative(v.t, entry)), k, COMP_EQUAL)) {
            for (; j < positions_in(table_of(table), entry); j++) {
                uint32_t pos = position_at(table_of(table), entry, j);
                if (equal(*cell_at(block, pos), k, op)) {
                    save_walk(table, p, j);
                    return cell_at(block, pos);
                }
            }
        }
        j = 0;
    } while (p.next());
    g_walk.table = 0;
    return nullptr;
}

}  // namespace

Cell* find(NodeId table, const Cell* key, int32_t start, int32_t skip, int op, bool last,
           bool reverse) {
    uint32_t kind = table_of(table)->kind;
    if (kind >= KIND_NODES) return nullptr;
    Cell k = lookup_key(kind, key);
    if (kind == KIND_HASH)
        return find_position(table, k, Search{start, std::max(skip, 1), last, reverse}, op);
    return walk_keys(table, k, op, Probe(hash_value(&k, false), table_of(table)->n));
}

Cell* find_next(NodeId table, const Cell* key, int op) {
    if (g_walk.table != table) return nullptr;
    uint32_t kind = table_of(table)->kind;
    Cell k = lookup_key(kind, key);
    Probe p = g_walk.probe;
    if (kind == KIND_HASH) return next_position(table, k, op, p, g_walk.list_index + 1);
    if (!p.next()) return nullptr;
    return walk_keys(table, k, op, p);
}

namespace {

// Maps and word tables: the bucket holding position pos, or NONE.
uint32_t bucket_holding(NodeId table, uint32_t pos) {
    const Table* t = table_of(table);
    Probe p(hash_value(cell_at(t->block, pos), false), t->n);
    View v(table);
    do {
        if (empty_at(v.flags, p.i)) break;
        if (in_use(v.flags, p.i) && uint32_t(v.buckets[p.i]) == pos) return p.i;
    } while (p.next());
    return NONE;
}

void remove_key_at(NodeId table, uint32_t pos) {
    Table* t = table_of(table);
    if (t->kind == KIND_HASH) return remove_position(table, pos);
    uint32_t bucket = bucket_holding(table, pos);
    if (bucket == NONE) return;
    if (t->kind == KIND_MAP) {
        // The entry keeps its bucket so that setting the key again revives it.
        if (pos + 1 >= cell_count(t->block)) return;
        Cell* value = cell_at(t->block, pos + 1);
        if (value->header == 0) return;
        value->header = 0;
        t->size--;
        return;
    }
    set_deleted(View(table).flags, bucket);
    t->size--;
}

}  // namespace

void remove_cell(NodeId table, const Cell* cell) {
    Table* t = table_of(table);
    if (t->kind >= KIND_NODES) return;
    remove_key_at(table, position_in(t->block, cell));
}

void remove_range(NodeId table, int32_t position, int32_t n) {
    Table* t = table_of(table);
    if (t->kind >= KIND_NODES || n <= 0) return;
    int64_t from = std::max<int32_t>(position, 0);
    int64_t to = std::min<int64_t>(int64_t(position) + n, cell_count(t->block));
    if (from == 0 && to >= cell_count(t->block)) return clear(table);
    uint32_t step = t->kind == KIND_MAP ? 2 : 1;
    if (step == 2 && (from & 1)) from++;
    for (int64_t p = from; p < to; p += step) remove_key_at(table, uint32_t(p));
}

void clear(NodeId table) {
    View v(table);
    std::memset(v.flags, 0xAA, flag_bytes(v.t->n));
    v.t->size = v.t->occupied = 0;
    if (v.t->kind == KIND_HASH) {
        SeriesBuffer* positions = buf(v.t->aux1);
        std::memset(positions->head_ptr(), 0xFF, positions->size - positions->head);
        buf(v.t->aux2)->tail = buf(v.t->aux2)->head;
    } else if (v.t->kind >= KIND_NODES) {
        buf(v.t->block)->tail = buf(v.t->block)->head;
        v.t->aux2 = 0;
    }
}

namespace {
NodeId clone_node(NodeId node) { return memory::clone_buffer(buf(node)); }

// The new table owns a copy of every position list.
void clone_lists(NodeId copy) {
    NodeId lists = clone_node(table_of(copy)->aux2);
    table_of(copy)->aux2 = lists;
    for (uint32_t k = 1; k <= array::length(lists); k++) {
        NodeId list = words_of(lists)[k - 1];
        if (!list) continue;
        NodeId cloned = clone_node(list);
        words_of(lists)[k - 1] = cloned;  // re-read: the clone may have moved the list of lists
    }
}
}  // namespace

NodeId copy(NodeId table, NodeId new_block) {
    Table source = *table_of(table);
    StackRoot root(make_cell(TYPE_BLOCK, 0, new_block, 0));
    if (source.kind >= KIND_NODES && !new_block) {
        new_block = clone_node(source.block);
        root.set(make_cell(TYPE_BLOCK, 0, new_block, 0));
    }
    if (!new_block) runtime::fatal(ASSERTION_FAILED);
    NodeId result = memory::alloc_bytes(sizeof(Table));
    buf(result)->tail = buf(result)->head + sizeof(Table);
    Table* t = table_of(result);
    *t = source;
    t->block = new_block;
    t->flags = t->buckets = 0;
    if (source.kind == KIND_HASH) t->aux1 = t->aux2 = 0;
    root.set(table_cell(new_block, result));
    // Each clone may move every buffer: the record is re-read for each store.
    NodeId flags = clone_node(table_of(table)->flags);
    table_of(result)->flags = flags;
    NodeId buckets = clone_node(table_of(table)->buckets);
    table_of(result)->buckets = buckets;
    if (source.kind == KIND_HASH) {
        NodeId positions = clone_node(table_of(table)->aux1);
        table_of(result)->aux1 = positions;
        table_of(result)->aux2 = table_of(table)->aux2;
        clone_lists(result);
    }
    return result;
}

void rebuild(NodeId table, int32_t n) {
    Table* t = table_of(table);
    if (t->kind >= KIND_NODES) return resize(table, uint32_t(std::max(n, 0)));
    uint32_t buckets = std::max<uint32_t>(next_power_of_two(uint64_t(std::max(n, 0) * 1.5)), 4);
    fresh_arrays(table, buckets);
    t = table_of(table);
    t->bound = uint32_t(buckets * LOAD);
    if (t->kind == KIND_HASH) {
        SeriesBuffer* positions = buf(t->aux1);
        std::memset(positions->head_ptr(), 0xFF, positions->size - positions->head);
        buf(t->aux2)->tail = buf(t->aux2)->head;
    }
    index_block(table, 0, t->kind == KIND_MAP ? 2 : 1);
}

void resize(NodeId table, uint32_t target) {
    Table* t = table_of(table);
    // Position lists and the bucket-of-position array follow only a full re-index.
    if (t->kind == KIND_HASH) return rebuild(table, int32_t(std::min<uint32_t>(target, 0x7FFFFFFF)));
    uint32_t n = std::max<uint32_t>(next_power_of_two(target), 4);
    uint32_t bound = uint32_t(n * LOAD + 0.5);
    if (t->size >= bound) return;
    if (t->kind >= KIND_NODES) free_deleted_entries(table);
    NodeId flags = memory::alloc_bytes_filled(flag_bytes(n), 0xAA);
    StackRoot root(bytes_cell(flags));
    SeriesBuffer* buckets = buf(table_of(table)->buckets);
    if (buckets->size - buckets->head < n * 4) memory::expand_series(buckets, int64_t(n) * 4);
    uint32_t moved = reinsert(table, words_of(flags), n);
    t = table_of(table);
    t->flags = flags;
    t->n = n;
    t->bound = bound;
    t->occupied = moved;  // deleted buckets are gone (a map!'s removed entries stay)
}

namespace {

// The first `n` cells at pos leave the block (a later duplicate map! pair).
void drop_cells(NodeId block, uint32_t pos, uint32_t n) {
    SeriesBuffer* b = buf(block);
    Cell* at = b->head_cell() + pos;
    std::memmove(at, at + n, (b->tail - b->head) - (pos + n) * sizeof(Cell));
    b->tail -= n * sizeof(Cell);
}

void prepare_key_at(NodeId block, uint32_t pos) {
    Cell* key = cell_at(block, pos);
    if (is_word_type(key->type())) key->set_type(TYPE_SET_WORD);
    if (!g_prepare_key) return;
    if (!stack::initialised()) {
        Cell copy = *key;
        g_prepare_key(&copy);
        *cell_at(block, pos) = copy;
        return;
    }
    Cell* copy = stack::push(key);
    g_prepare_key(copy);  // may allocate: the block is re-read after it
    *cell_at(block, pos) = *copy;
    stack::g_top = copy;
}

// A key met again gives its value to the earlier pair and its pair leaves.
void merge_pair(NodeId table, NodeId block, uint32_t earlier, uint32_t pos) {
    Cell* value = cell_at(block, pos + 1);
    Cell* target = cell_at(block, earlier + 1);
    if (value->header != 0) {
        if (target->header == 0) table_of(table)->size++;
        *target = *value;
    }
    drop_cells(block, pos, 2);
}

void index_map_block(NodeId table, uint32_t pos) {
    NodeId block = table_of(table)->block;
    pos += pos & 1;
    while (pos + 1 < cell_count(block)) {
        Cell key = *cell_at(block, pos);
        Cell* found = find(table, &key, 0, 1, COMP_STRICT_EQUAL, false, false);
        if (found) {
            uint32_t earlier = position_in(block, found);
            if (earlier != pos) {
                merge_pair(table, block, earlier, pos);
                continue;
            }
        } else {
            put(table, cell_at(block, pos));
            if (cell_at(block, pos + 1)->header == 0) table_of(table)->size--;
            prepare_key_at(block, pos);
        }
        pos += 2;
    }
}

}  // namespace

void index_block(NodeId table, int32_t first, int32_t step) {
    Table* t = table_of(table);
    if (t->kind >= KIND_NODES) return;
    if (t->kind == KIND_MAP) return index_map_block(table, uint32_t(std::max(first, 0)));
    NodeId block = t->block;
    if (step < 1) step = 1;
    for (uint32_t pos = uint32_t(std::max(first, 0)); pos < cell_count(block); pos += step) {
        int status;
        put_with_status(table, cell_at(block, pos), &status);
        if (status == 2) break;
    }
}

void set_prepare_key(PrepareKeyFn prepare) { g_prepare_key = prepare; }

// ---------------------------------------------------------------- position updates

namespace {

// Moves the position of every index entry in [lo, hi) through `remap`; a
// position list is patched once, whichever of its cells comes first.
template <typename Remap> void remap_positions(NodeId table, uint32_t lo, uint32_t hi, Remap remap) {
    View v(table);
    for (uint32_t pos = lo; pos < hi; pos++) {
        uint32_t bucket = bucket_of(v.t, pos);
        if (bucket == NONE) continue;
        int32_t entry = v.buckets[bucket];
        if (entry >= 0) {
            v.buckets[bucket] = int32_t(remap(uint32_t(entry)));
            continue;
        }
        if (!first_visit(uint32_t(-entry))) continue;
        NodeId list = list_node(v.t, uint32_t(-entry));
        uint32_t* w = words_of(list);
        for (uint32_t j = 0; j < list_length(list); j++) w[j] = remap(w[j]);
    }
    forget_visits();
}

uint32_t* positions_array(NodeId table) { return words_of(table_of(table)->aux1); }

}  // namespace

int shift_positions(NodeId table, int32_t shift, int32_t position, int32_t count, bool move) {
    if (count > SHIFT_LIMIT) return 1;
    if (table_of(table)->kind != KIND_HASH || count < 0 || position < 0) return 0;
    uint32_t first = uint32_t(position), end = first + uint32_t(count);
    if (move && shift < 0)
        for (int64_t p = std::max<int64_t>(int64_t(position) + shift, 0); p < position; p++)
            remove_position(table, uint32_t(p));
    if (move && shift > 0) ensure_positions(table, uint64_t(end) + uint32_t(shift));
    remap_positions(table, first, end, [&](uint32_t p) { return p >= first ? p + shift : p; });
    if (!move || shift == 0) return 0;
    ensure_positions(table, end);
    uint32_t* w = positions_array(table);
    std::memmove(w + first + shift, w + first, size_t(count) * 4);
    if (shift > 0) std::fill(w + first, w + first + shift, NONE);
    else std::fill(w + end + shift, w + end, NONE);
    return 0;
}

int move_range(NodeId table, int32_t from, int32_t to, int32_t count) {
    if (table_of(table)->kind != KIND_HASH || count <= 0 || from == to || from < 0 || to < 0)
        return 0;
    uint32_t lo = uint32_t(std::min(from, to)), hi = uint32_t(std::max(from, to) + count);
    if (int64_t(hi) - lo > SHIFT_LIMIT) return 1;
    ensure_positions(table, hi);
    uint32_t f = uint32_t(from), t = uint32_t(to), c = uint32_t(count);
    remap_positions(table, lo, hi, [&](uint32_t p) {
        if (p >= f && p < f + c) return p - f + t;
        if (t > f && p >= f + c && p < t + c) return p - c;
        if (t < f && p >= t && p < f) return p + c;
        return p;
    });
    uint32_t* w = positions_array(table);
    if (t > f) std::rotate(w + f, w + f + c, w + t + c);
    else std::rotate(w + t, w + f, w + f + c);
    return 0;
}

// ---------------------------------------------------------------- node-keyed tables

namespace {

// The bucket of the entry keyed by node, or NONE; *free receives the first
// deleted bucket met, else the empty one that ended the walk.
uint32_t probe_node(NodeId table, NodeId node, uint32_t* free) {
    View v(table);
    uint32_t deleted = NONE;
    *free = NONE;
    Probe p(murmur3_fmix32(node), v.t->n);
    do {
        if (empty_at(v.flags, p.i)) {
            *free = deleted != NONE ? deleted : p.i;
            return NONE;
        }
        if (deleted_at(v.flags, p.i)) {
            if (deleted == NONE) deleted = p.i;
            continue;
        }
        if (entry_at(v.t->block, uint32_t(v.buckets[p.i]))->data1 == node) return p.i;
    } while (p.next());
    *free = deleted;
    return NONE;
}

// A new entry's byte offset: a freed entry when there is one, else the tail.
uint32_t new_entry(NodeId table) {
    Table* t = table_of(table);
    if (t->aux2) {
        uint32_t offset = t->aux2 - 1;
        t->aux2 = entry_at(t->block, offset)->data2;
        return offset;
    }
    uint32_t offset = buf(t->block)->used();
    support::reserve_bytes(t->block, t->aux1);
    return offset;
}

Cell* reset_entry(NodeId table, uint32_t offset) {
    const Table* t = table_of(table);
    Cell* entry = entry_at(t->block, offset);
    for (uint32_t i = 0; i < t->aux1 / sizeof(Cell); i++) entry[i].header = TYPE_UNSET;
    return entry + 1;
}

}  // namespace

Cell* put_node(NodeId table, NodeId node) {
    if (table_of(table)->occupied >= table_of(table)->bound)
        resize(table, grow_target(table_of(table)));
    uint32_t free;
    uint32_t bucket = probe_node(table, node, &free);
    if (bucket != NONE) return reset_entry(table, uint32_t(View(table).buckets[bucket]));
    if (free == NONE) runtime::fatal(ASSERTION_FAILED);
    // A deleted bucket still holds the offset of its old entry: reuse it.
    uint32_t offset = deleted_at(View(table).flags, free) ? uint32_t(View(table).buckets[free])
                                                        : new_entry(table);
    take_bucket(table, free, offset);
    Cell* key = entry_at(table_of(table)->block, offset);
    *key = make_cell(TYPE_UNSET, node, 0, 0);
    return reset_entry(table, offset);
}

Cell* get_node(NodeId table, NodeId node) {
    uint32_t free;
    uint32_t bucket = probe_node(table, node, &free);
    if (bucket == NONE) return nullptr;
    return entry_at(table_of(table)->block, uint32_t(View(table).buckets[bucket])) + 1;
}

Cell* remove_node(NodeId table, NodeId node) {
    uint32_t free;
    uint32_t bucket = probe_node(table, node, &free);
    if (bucket == NONE) return nullptr;
    View v(table);
    Cell* key = entry_at(v.t->block, uint32_t(v.buckets[bucket]));
    key->header = 0;
    set_deleted(v.flags, bucket);
    v.t->size--;
    return key + 1;
}

// ---------------------------------------------------------------- symbols and context words

bool compare_names(const char* a, const char* b, size_t length, bool exact) {
    if (exact) return std::memcmp(a, b, length) == 0;
    for (size_t i = 0; i < length; i++)
        if (ascii_lower(uint8_t(a[i])) != ascii_lower(uint8_t(b[i]))) return false;
    return true;
}

namespace {

// Resizes by 16 x the usual target, so that start-up's thousands of names
// rarely trigger a resize.
void grow_sixteenfold(NodeId table) {
    const Table* t = table_of(table);
    if (t->occupied >= t->bound) resize(table, 16 * grow_target(t));
}

struct NameMatch {
    uint32_t id = 0;        // exact (or, with any_case, any-case) match
    uint32_t variant = 0;   // canonical id of the first case variant met
    uint32_t free = NONE;   // bucket for a new symbol
};

inline uint32_t canonical_of(const Cell& symbol, uint32_t id) {
    return int32_t(symbol.data1) > 0 ? symbol.data1 : id;
}

// One walk does both passes of the look-up: the exact form wins wherever it
// lies; the first case variant met is remembered for a new form's alias.
NameMatch match_name(NodeId table, const char* name, size_t length, bool any_case) {
    NameMatch m;
    View v(table);
    NodeId series = v.t->block;
    uint32_t deleted = NONE;
    Probe p(hash_name(name, length), v.t->n);
    do {
        if (empty_at(v.flags, p.i)) {
            m.free = deleted != NONE ? deleted : p.i;
            return m;
        }
        if (deleted_at(v.flags, p.i)) {
            if (deleted == NONE) deleted = p.i;
            continue;
        }
        uint32_t pos = uint32_t(v.buckets[p.i]);
        const Cell& symbol = *cell_at(series, pos);
        const SeriesBuffer* b = buf(symbol.data3);
        if (b->used() != length) continue;
        const char* stored = reinterpret_cast<const char*>(b->data() + b->head);
        if (compare_names(stored, name, length, !any_case)) {
            m.id = pos + 1;
            return m;
        }
        if (!m.variant && compare_names(stored, name, length, false))
            m.variant = canonical_of(symbol, pos + 1);
    } while (p.next());
    m.free = deleted;
    return m;
}

// Appends the symbol! cell and its name buffer; answers its position.
uint32_t append_symbol(NodeId series, const char* name, size_t length, uint32_t alias) {
    uint32_t pos = cell_count(series);
    support::alloc_tail_cell(series);  // stays unset! until the name exists
    NodeId name_node = memory::alloc_bytes(uint32_t(length) + 1);
    SeriesBuffer* b = buf(name_node);
    std::memcpy(b->head_ptr(), name, length);
    b->head_ptr()[length] = 0;
    b->tail = b->head + uint32_t(length);
    *cell_at(series, pos) = make_cell(TYPE_SYMBOL, alias, 0, name_node);
    return pos;
}

}  // namespace

uint32_t intern_symbol(NodeId table, const char* name, size_t length, bool any_case) {
    if (length > 0x7FFFFFF0) support::fire_error(ErrorId::internal_no_memory);
    grow_sixteenfold(table);
    NameMatch m = match_name(table, name, length, any_case);
    if (m.id) return m.id;
    if (m.free == NONE) runtime::fatal(ASSERTION_FAILED);
    uint32_t alias = m.variant ? m.variant : NO_ALIAS;
    uint32_t pos = append_symbol(table_of(table)->block, name, length, alias);
    take_bucket(table, m.free, pos);
    return pos + 1;
}

int32_t context_word_index(NodeId table, uint32_t symbol, bool canonical,
                           NodeId context_to_add, int32_t* index_out) {
    if (context_to_add) grow_sixteenfold(table);
    uint32_t canon = symbol::canonical(symbol);
    View v(table);
    NodeId words = v.t->block;
    uint32_t free = NONE, deleted = NONE;
    Probe p(murmur3_fmix32(canon), v.t->n);
    do {
        if (empty_at(v.flags, p.i)) {
            free = deleted != NONE ? deleted : p.i;
            break;
        }
        if (deleted_at(v.flags, p.i)) {
            if (deleted == NONE) deleted = p.i;
            continue;
        }
        int32_t index = v.buckets[p.i];
        uint32_t stored = cell_at(words, uint32_t(index))->data2;
        if (canonical ? symbol::canonical(stored) == canon : stored == symbol) {
            if (context_to_add && index_out) *index_out = index;
            return index;
        }
    } while (p.next());
    if (!context_to_add) return -1;
    if (free == NONE) free = deleted;
    if (free == NONE) runtime::fatal(ASSERTION_FAILED);
    uint32_t n = cell_count(words);
    *support::alloc_tail_cell(words) = make_cell(TYPE_WORD, context_to_add, symbol, n);
    take_bucket(table, free, n);
    if (index_out) *index_out = int32_t(n);
    return -1;
}

// ---------------------------------------------------------------- collector

void mark(NodeId table, const Marker& marker) {
    if (!table || !marker.series(table)) return;
    Table t = *table_of(table);
    if (t.flags) marker.series(t.flags);
    if (t.buckets) marker.series(t.buckets);
    if (t.kind == KIND_HASH) {
        if (t.aux1) marker.series(t.aux1);
        if (t.aux2) {
            marker.series(t.aux2);
            for (uint32_t k = 1; k <= array::length(t.aux2); k++)
                if (NodeId list = words_of(t.aux2)[k - 1]) marker.series(list);
        }
    }
    if (t.kind >= KIND_NODES && t.flags && t.buckets) {
        for (uint32_t i = 0; i < t.n; i++) {
            View v(table);
            if (!in_use(v.flags, i)) continue;
            NodeId key = entry_at(t.block, uint32_t(v.buckets[i]))->data1;
            if (!key || memory::node_free(key) || !buf(key)) continue;
            if (buf(key)->unit() == sizeof(Cell)) marker.block(key);
            else marker.series(key);
        }
    }
    if (t.block) marker.block(t.block);
}

}  // namespace zun::hashtable

// ---------------------------------------------------------------- pointer table

namespace zun::pointer_table {

struct PointerTable {
    uint32_t size;
    uint32_t* flags;
    uint32_t* pairs;  // key, value
    uint32_t occupied;
    uint32_t n;
    uint32_t bound;
};

namespace {
using hashtable::murmur3_fmix32;
constexpr uint32_t MAX_BUCKETS = 1u << 28;

inline uint32_t flag(const uint32_t* f, uint32_t i) { return f[i >> 4] >> ((i & 15) << 1) & 3; }
inline void set_in_use(uint32_t* f, uint32_t i) { f[i >> 4] &= ~(3u << ((i & 15) << 1)); }
inline void set_deleted(uint32_t* f, uint32_t i) { f[i >> 4] |= 1u << ((i & 15) << 1); }
inline size_t flag_bytes(uint32_t n) { return std::max<size_t>(n / 4, 4); }

uint32_t* new_flags(uint32_t n) {
    auto* f = static_cast<uint32_t*>(runtime::allocate(flag_bytes(n)));
    std::memset(f, 0xAA, flag_bytes(n));
    return f;
}

// The bucket holding key, or NONE; *free the first deleted or the empty bucket.
uint32_t probe(const PointerTable* t, uint32_t key, uint32_t* free) {
    uint32_t mask = t->n - 1, i = murmur3_fmix32(key) & mask, deleted = 0xFFFFFFFF;
    for (uint32_t step = 0; step <= mask; i = (i + ++step) & mask) {
        uint32_t f = flag(t->flags, i);
        if (f & 2) {
            *free = deleted != 0xFFFFFFFF ? deleted : i;
            return 0xFFFFFFFF;
        }
        if (f & 1) {
            if (deleted == 0xFFFFFFFF) deleted = i;
        } else if (t->pairs[2 * i] == key) {
            return i;
        }
    }
    *free = deleted;
    return 0xFFFFFFFF;
}
}  // namespace

PointerTable* make(uint32_t size) {
    auto* t = static_cast<PointerTable*>(runtime::allocate(sizeof(PointerTable)));
    uint32_t n = std::bit_ceil(std::max<uint32_t>(uint32_t(std::max<uint32_t>(size, 4) / 0.77), 4));
    *t = PointerTable{0, new_flags(n), static_cast<uint32_t*>(runtime::allocate(size_t(n) * 8)), 0, n,
                      uint32_t(n * 0.77)};
    return t;
}

int resize(PointerTable* t, uint32_t n) {
    if (n > MAX_BUCKETS) return -1;
    n = std::max<uint32_t>(std::bit_ceil(std::max<uint32_t>(n, 1)), 4);
    uint32_t bound = uint32_t(n * 0.77 + 0.5);
    if (t->size >= bound) return 0;
    PointerTable fresh{0, new_flags(n), static_cast<uint32_t*>(runtime::allocate(size_t(n) * 8)), 0, n,
                       bound};
    for (uint32_t i = 0; i < t->n; i++) {
        if (flag(t->flags, i) != 0) continue;
        uint32_t free;
        probe(&fresh, t->pairs[2 * i], &free);
        fresh.pairs[2 * free] = t->pairs[2 * i];
        fresh.pairs[2 * free + 1] = t->pairs[2 * i + 1];
        set_in_use(fresh.flags, free);
        fresh.size++;
    }
    fresh.occupied = fresh.size;
    runtime::free(t->flags);
    runtime::free(t->pairs);
    *t = fresh;
    return 0;
}

void put(PointerTable* t, uint32_t key, uint32_t value) {
    if (t->occupied >= t->bound) resize(t, 2 * t->size < t->n ? t->n - 1 : t->n + 1);
    uint32_t free;
    uint32_t bucket = probe(t, key, &free);
    if (bucket == 0xFFFFFFFF) {
        if (free == 0xFFFFFFFF) runtime::fatal(98);  // full: the bound keeps buckets free
        if (flag(t->flags, free) & 2) t->occupied++;
        t->size++;
        set_in_use(t->flags, free);
        t->pairs[2 * free] = key;
        bucket = free;
    }
    t->pairs[2 * bucket + 1] = value;
}

uint32_t* get(PointerTable* t, uint32_t key) {
    int32_t bucket = find(t, key);
    return bucket < 0 ? nullptr : &t->pairs[2 * bucket + 1];
}

int32_t find(PointerTable* t, uint32_t key) {
    uint32_t free;
    uint32_t bucket = probe(t, key, &free);
    return bucket == 0xFFFFFFFF ? -1 : int32_t(bucket);
}

void remove(PointerTable* t, uint32_t key) {
    int32_t bucket = find(t, key);
    if (bucket < 0) return;
    set_deleted(t->flags, uint32_t(bucket));
    t->size--;
}

int32_t next(PointerTable* t, int32_t after_bucket) {
    for (uint32_t i = uint32_t(after_bucket + 1); i < t->n; i++)
        if (flag(t->flags, i) == 0) return int32_t(i);
    return -1;
}

uint32_t key_at(PointerTable* t, int32_t bucket) { return t->pairs[2 * bucket]; }
uint32_t value_at(PointerTable* t, int32_t bucket) { return t->pairs[2 * bucket + 1]; }
uint32_t size(const PointerTable* t) { return t->size; }

void clear(PointerTable* t) {
    std::memset(t->flags, 0xAA, flag_bytes(t->n));
    t->size = t->occupied = 0;
}

void free_(PointerTable* t) {
    if (!t) return;
    runtime::free(t->flags);
    runtime::free(t->pairs);
    runtime::free(t);
}

}  // namespace zun::pointer_table

// ---------------------------------------------------------------- arrays

namespace zun::array {

namespace {
using memory::SeriesBuffer;
inline SeriesBuffer* buf(NodeId a) { return memory::buffer_of(a); }
inline uint32_t* ints(NodeId a) { return reinterpret_cast<uint32_t*>(buf(a)->head_ptr()); }
}  // namespace

NodeId make(uint32_t count, uint32_t width) {
    return memory::alloc_series(std::max<uint32_t>(count, 1), width, 0);
}

uint32_t length(NodeId a) { return buf(a)->used() / buf(a)->unit(); }

void clear(NodeId a) { buf(a)->tail = buf(a)->head; }

void set_length(NodeId a, uint32_t n) {
    SeriesBuffer* b = buf(a);
    uint64_t bytes = uint64_t(n) * b->unit();
    if (b->head + bytes > b->size) b = memory::expand_series(b, int64_t(bytes) * 2);
    b->tail = b->head + uint32_t(bytes);
}

uint32_t* append_int(NodeId a, uint32_t value) {
    auto* slot = reinterpret_cast<uint32_t*>(support::reserve_bytes(a, 4));
    *slot = value;
    return slot;
}

void append_byte(NodeId a, uint8_t byte) { *support::reserve_bytes(a, 1) = byte; }

void append_bytes(NodeId a, const uint8_t* bytes, uint32_t n) {
    if (n) std::memcpy(support::reserve_bytes(a, n), bytes, n);
}

uint8_t byte_at(NodeId a, uint32_t i) { return buf(a)->head_ptr()[i - 1]; }
uint32_t get_int(NodeId a, uint32_t i) { return ints(a)[i - 1]; }
void set_int(NodeId a, uint32_t i, uint32_t value) { ints(a)[i - 1] = value; }

int32_t find_int(NodeId a, uint32_t value) {
    const uint32_t* w = ints(a);
    uint32_t n = buf(a)->used() / 4;
    for (uint32_t i = 0; i < n; i++)
        if (w[i] == value) return int32_t(i * 4);
    return -1;
}

void remove_at(NodeId a, uint32_t offset, uint32_t n) {
    SeriesBuffer* b = buf(a);
    if (offset >= b->used()) return;
    n = std::min(n, b->used() - offset);
    std::memmove(b->head_ptr() + offset, b->head_ptr() + offset + n, b->used() - offset - n);
    b->tail -= n;
}

void remove_value(NodeId a, uint32_t value) {
    int32_t offset = find_int(a, value);
    if (offset >= 0) remove_at(a, uint32_t(offset), 4);
}

void insert_at(NodeId a, uint32_t value, uint32_t index) {
    uint32_t count = length(a);
    uint32_t at = std::min(std::max<uint32_t>(index, 1), count + 1) - 1;
    support::reserve_bytes(a, 4);  // may move the buffer: re-read below
    uint32_t* w = ints(a);
    std::memmove(w + at + 1, w + at, size_t(count - at) * 4);
    w[at] = value;
}

NodeId copy(NodeId a) { return memory::clone_buffer(buf(a)); }

}  // namespace zun::array
