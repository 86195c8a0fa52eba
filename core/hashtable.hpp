// Open-addressing hash tables over blocks, MurmurHash3, the raw pointer table
// and the small growable arrays the tables are made of.
//
// A value table keeps cell positions into its block, not copies of the keys, so
// a hashed block stays an ordinary block. The table record lives in a byte
// series, reached by its node, so the collector sees it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.hpp"

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
    uint32_t size;       // entries in use
    uint32_t aux1;       // hash!: node of bucket-of-position; node kinds: entry stride
    uint32_t aux2;       // hash!: node of the list of position lists
    NodeId flags;        // two bits per bucket: 2 empty, 1 deleted, 0 in use
    NodeId buckets;      // n 32-bit entries
    NodeId block;        // the keys' block (or the entries' cell series)
    uint32_t occupied;   // in use or deleted
    uint32_t n;          // bucket count, a power of two
    uint32_t bound;      // occupied count that triggers growth
    uint32_t kind;
    uint32_t stamp;      // node-relocation count + 1 at the last rehash; 0 = not address-keyed
};
static_assert(sizeof(Table) == 44);

Table* table_of(NodeId table);  // good until the next allocation

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
uint32_t hash_string(const Cell* string, bool case_);
uint32_t hash_value(const Cell* value, bool case_);

// Value tables.
NodeId make(uint32_t size, NodeId block, uint32_t kind, uint32_t value_cells);
Cell* put(NodeId table, const Cell* key);
// status 2: the table was rebuilt instead (hash!) and the key is indexed already.
Cell* put_with_status(NodeId table, const Cell* key, int* status);
Cell* find(NodeId table, const Cell* key, int32_t start, int32_t skip, int op, bool last,
           bool reverse);
Cell* find_next(NodeId table, const Cell* key, int32_t start, int32_t skip, int op, bool last,
                bool reverse);
void remove_cell(NodeId table, const Cell* cell);
void remove_range(NodeId table, int32_t position, int32_t n);
void clear(NodeId table);
NodeId copy(NodeId table, NodeId new_block);
void rebuild(NodeId table, int32_t n);
void resize(NodeId table, uint32_t target);
void index_block(NodeId table, int32_t first, int32_t step);
// 1 when the caller must rebuild instead (too many cells moved).
int shift_positions(NodeId table, int32_t shift, int32_t position, int32_t count, bool move);
void move_range(NodeId table, int32_t from, int32_t to, int32_t count);
inline void destroy(NodeId) {}  // the collector reclaims tables

// Node-keyed tables: answers the entry's value cells (headers reset to unset!).
Cell* put_node(NodeId table, NodeId node);
Cell* get_node(NodeId table, NodeId node);
Cell* remove_node(NodeId table, NodeId node);

// Symbols and context words.
uint32_t intern_symbol(NodeId table, const char* name, size_t length, bool any_case);
bool compare_names(const char* a, const char* b, size_t length, bool exact);
// The word's index, or -1 (when context_to_add is given, a new word is appended
// to the context's word block and its index stored in *index_out).
int32_t context_word_index(NodeId table, uint32_t symbol, bool canonical,
                           NodeId context_to_add, int32_t* index_out);

using MarkBufferFn = void (*)(NodeId node);
void mark(NodeId table, MarkBufferFn mark_buffer);

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
int resize(PointerTable* t, uint32_t n);  // -1 when it cannot grow
void clear(PointerTable* t);
void free_(PointerTable* t);
}  // namespace zun::pointer_table

// Growable arrays of 32-bit values or bytes kept in byte series.
namespace zun::array {
NodeId make(uint32_t count, uint32_t width);
uint32_t length(NodeId a);
void clear(NodeId a);
void set_length(NodeId a, uint32_t n);
uint32_t* append_int(NodeId a, uint32_t value);
void append_byte(NodeId a, uint8_t byte);
void append_bytes(NodeId a, const uint8_t* bytes, uint32_t n);
uint8_t byte_at(NodeId a, uint32_t i);    // counted from 1
uint32_t get_int(NodeId a, uint32_t i);   // counted from 1
void set_int(NodeId a, uint32_t i, uint32_t value);
int32_t find_int(NodeId a, uint32_t value);  // byte offset, -1 when absent
void remove_at(NodeId a, uint32_t offset, uint32_t n);
void remove_value(NodeId a, uint32_t value);
void insert_at(NodeId a, uint32_t value, uint32_t index);
NodeId copy(NodeId a);
}  // namespace zun::array
