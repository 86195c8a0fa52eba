// Open-addressing hash tables over blocks, MurmurHash3, the raw pointer table
// and the small growable arrays the tables are made of.
//
// A value table keeps cell positions into its block, not copies of the keys, so
// a hashed block stays an ordinary block. The table record lives in a byte
// series, reached by its node, so the collector sees it. Positions count cells
// from the block buffer's head.
//
// Tables keyed by series hash the node id, never a buffer address, and node ids
// never change while their series lives (node frames are not evacuated): a
// table never needs re-indexing after a collection, so the relocation stamp
// stays 0.
//
// Every routine that allocates may move buffers: a Cell* answered by one of them
// is good until the next allocation. The table must be reachable from a root
// (a hash! or map! cell in a block, on the stack...) while it is changed.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::hashtable {

enum Kind : uint32_t {
    KIND_HASH = 0,   // hash!: any value, duplicates through position lists
    KIND_MAP = 1,    // map!: keys at even positions, replaced
    KIND_WORDS = 2,  // context word tables and the symbol table
    KIND_NODES = 3,  // node-keyed entries with value cells
    KIND_NODES_2 = 4,
};

// The 11-word table record.
struct Table {
    uint32_t size;       // entries in use (map!: live entries)
    uint32_t aux1;       // hash!: node of bucket-of-position; node kinds: entry stride
    uint32_t aux2;       // hash!: node of the list of position lists;
                         // node kinds: free entry list (byte offset + 1, 0 = none)
    NodeId flags;        // two bits per bucket: 2 empty, 1 deleted, 0 in use
    NodeId buckets;      // n 32-bit entries
    NodeId block;        // the keys' block (or the entries' cell series)
    uint32_t occupied;   // in use or deleted
    uint32_t n;          // bucket count, a power of two
    uint32_t bound;      // occupied count that triggers growth
    uint32_t kind;
    uint32_t stamp;      // node-relocation count + 1 at the last rehash; stays 0 (see above)
};
static_assert(sizeof(Table) == 44);

// Good until the next allocation.
inline Table* table_of(NodeId table) {
    return reinterpret_cast<Table*>(memory::buffer_of(table)->head_ptr());
}

// Hashing. The seed is a fixed constant, so hashes are alike on every run.
uint32_t murmur3_32(const void* data, size_t length);
uint32_t murmur3_32_seeded(const void* data, size_t length, uint32_t seed);
inline uint32_t murmur3_fmix32(uint32_t x) {
    x ^= x >> 16;
    x *= 0x85EBCA6Bu;
    x ^= x >> 13;
    x *= 0xC2B2AE35u;
    x ^= x >> 16;
    return x;
}
// case_ true hashes the exact case; false folds to lower case first.
uint32_t hash_string(const Cell* string, bool case_);
uint32_t hash_value(const Cell* value, bool case_);
// MurmurHash3 of a name lowered in ASCII (only A-Z change): symbols hash so.
uint32_t hash_name(const char* name, size_t length);

// Value tables. make indexes the block when one is given; block 0 makes an
// empty one (kinds 0-2) and node kinds always get their own entry series.
NodeId make(uint32_t size, NodeId block, uint32_t kind, uint32_t value_cells);
// The key cell lies in the table's block; answers the stored key cell.
Cell* put(NodeId table, const Cell* key);
// status 2: the table was rebuilt instead (hash!) and the key is indexed already.
Cell* put_with_status(NodeId table, const Cell* key, int* status);
// The stored key cell, or nullptr. hash!: the first qualifying position from
// start (skip apart; /last the last one, /reverse the last one before start).
Cell* find(NodeId table, const Cell* key, int32_t start, int32_t skip, int op, bool last,
           bool reverse);
// The next stored key equal to the key under op, in probe order, after the one
// the last find or find_next on this table answered.
Cell* find_next(NodeId table, const Cell* key, int op);
// map!: the entry stays indexed (a later put of the key finds it again); its
// value cell's header becomes 0 and size drops, once.
void remove_cell(NodeId table, const Cell* cell);
void remove_range(NodeId table, int32_t position, int32_t n);
// Empties the table; the block is the caller's (node kinds: the entries go too).
void clear(NodeId table);
// A copy of the table for a copy of its block (node kinds: 0 copies the entries).
NodeId copy(NodeId table, NodeId new_block);
void rebuild(NodeId table, int32_t n);
void resize(NodeId table, uint32_t target);
void index_block(NodeId table, int32_t first, int32_t step);
// After cells moved in a hash! block: count cells from position moved by shift
// (shift < 0: the -shift cells before position were removed). 1 when more than
// 30,000 cells moved and the caller must rebuild instead.
int shift_positions(NodeId table, int32_t shift, int32_t position, int32_t count, bool move);
// count cells moved from `from` so that the first now lies at `to`; the cells
// passed over moved by count the other way. 1 when the caller must rebuild.
int move_range(NodeId table, int32_t from, int32_t to, int32_t count);
inline void destroy(NodeId) {}  // the collector reclaims tables

// map! keys are prepared once indexed (string keys copied, words made
// set-words); the map! datatype installs the routine. It gets a value-stack
// copy of the key and may allocate or raise.
using PrepareKeyFn = void (*)(Cell* key);
void set_prepare_key(PrepareKeyFn prepare);

// Node-keyed tables: answers the entry's value cells (headers reset to unset!).
Cell* put_node(NodeId table, NodeId node);
Cell* get_node(NodeId table, NodeId node);
Cell* remove_node(NodeId table, NodeId node);

// Symbols and context words. The name must not lie inside a series buffer:
// interning allocates.
uint32_t intern_symbol(NodeId table, const char* name, size_t length, bool any_case);
bool compare_names(const char* a, const char* b, size_t length, bool exact);
// The word's index, or -1 (when context_to_add is given, a new word is appended
// to the context's word block and its index stored in *index_out).
int32_t context_word_index(NodeId table, uint32_t symbol, bool canonical,
                           NodeId context_to_add, int32_t* index_out);

// What the collector lends the table for marking.
struct Marker {
    bool (*series)(NodeId node);  // marks one buffer; true when newly marked
    void (*block)(NodeId node);   // marks a buffer and the cells in it
};
void mark(NodeId table, const Marker& marker);

}  // namespace zun::hashtable

// Raw 32-bit key -> 32-bit value table, outside the collector's memory.
namespace zun::pointer_table {
struct PointerTable;
PointerTable* make(uint32_t size);
void put(PointerTable* t, uint32_t key, uint32_t value);
uint32_t* get(PointerTable* t, uint32_t key);  // nullptr when absent
int32_t find(PointerTable* t, uint32_t key);   // bucket or -1
void remove(PointerTable* t, uint32_t key);
int32_t next(PointerTable* t, int32_t after_bucket);  // next bucket in use, or -1
uint32_t key_at(PointerTable* t, int32_t bucket);
uint32_t value_at(PointerTable* t, int32_t bucket);
uint32_t size(const PointerTable* t);
int resize(PointerTable* t, uint32_t n);  // -1 when it cannot grow
void clear(PointerTable* t);
void free_(PointerTable* t);
}  // namespace zun::pointer_table

// Growable arrays of 32-bit values or bytes kept in byte series; the buffer's
// unit field holds the entry width.
namespace zun::array {
NodeId make(uint32_t count, uint32_t width);
uint32_t length(NodeId a);
void clear(NodeId a);
void set_length(NodeId a, uint32_t n);
uint32_t* append_int(NodeId a, uint32_t value);  // the slot: good until the next allocation
inline uint32_t* append(NodeId a, uint32_t value) { return append_int(a, value); }
void append_byte(NodeId a, uint8_t byte);
void append_bytes(NodeId a, const uint8_t* bytes, uint32_t n);  // bytes outside any series
uint8_t byte_at(NodeId a, uint32_t i);    // counted from 1
uint32_t get_int(NodeId a, uint32_t i);   // counted from 1
void set_int(NodeId a, uint32_t i, uint32_t value);
int32_t find_int(NodeId a, uint32_t value);  // byte offset, -1 when absent
// Entries that name buffers hold node ids, so a look-up by "pointer" is by value.
inline int32_t find(NodeId a, uint32_t node) { return find_int(a, node); }
void remove_at(NodeId a, uint32_t offset, uint32_t n);
void remove_value(NodeId a, uint32_t value);
void insert_at(NodeId a, uint32_t value, uint32_t index);  // index counted from 1
NodeId copy(NodeId a);
}  // namespace zun::array
