// What the ZUNBIN readers and writers share: the decoder state (error
// positions, the root of reference paths, the symbol table), reference
// paths, and the writers' sharing state (levels, reference table, symbols).
#pragma once
#include <cstdint>
#include <string>
#include <algorithm>
#include <vector>

#include "core/cell.hpp"

namespace zun::zunbin {

// ---------------------------------------------------------------- decoding

struct DecodeState {
    const uint8_t* origin = nullptr;  // error index = position - origin + 1
    Cell root{};                      // the destination block of the decode
    const uint8_t* offsets = nullptr; // the symbol table, nullptr when absent
    const uint8_t* names = nullptr;
    uint32_t symbol_count = 0;
    uint32_t names_size = 0;
    std::vector<uint32_t> interned;   // symbol ids by table index, 0 until met
    std::vector<uint32_t> global_index;  // global-context index by table index
    uint32_t literal_base = 0;        // index in the root block of boot literal 0
};
extern DecodeState g_decode;

// Script zb-invalid-record with the 1-based index of the position.
[[noreturn]] void invalid_record(const uint8_t* position);
// Access no-codec with the datatype! of the type.
[[noreturn]] void no_codec_type(uint32_t type);
// The cell a path of level indexes names, from the root block.
const Cell* resolve_path(const uint32_t* indexes, uint32_t count, const uint8_t* position);
// The symbol id of entry i of the stream's symbol table.
uint32_t table_symbol(uint32_t i, const uint8_t* position);

// Values a reader builds the same way whichever the variant.
bool series_value_q(uint32_t type);
// A word of the global context (the symbol added when missing), its own
// written form kept.
Cell global_word(uint32_t header, uint32_t symbol);
// Checks a bound word's index against its context (same canonical symbol).
void check_word_index(NodeId context, uint32_t symbol, int32_t index, const uint8_t* position);
// The context a boot-mode word names by the number of a boot literal.
NodeId literal_context(int32_t literal, const uint8_t* position);
// The native! or action! of the table index, on the stack (spec a block!).
Cell* push_native(uint32_t type, uint32_t index, const Cell* spec, const uint8_t* position);
// An error! of the code with its fields cut back after id, appended.
Cell* append_error(NodeId destination, int32_t code, const uint8_t* position);
// Puts the files field back after the six read ones.
void finish_error(NodeId destination, uint32_t index, const Cell& files, const uint8_t* position);
// The object's on-set-info, from its handler fields, once its values are in.
void finish_object(NodeId context);
// A new context of n words (symbols given) with the kind and flags.
NodeId make_context(const std::vector<uint32_t>& symbols, uint32_t kind, bool stack, bool owner,
                    const uint8_t* position);
// The context of a value a shared word, object or function record refers to.
NodeId owner_context_of(const Cell& value, const uint8_t* position);
// Makes the map! or the hash! over the block cell (in place).
void index_map(Cell* cell, const uint8_t* position);
void index_hash(Cell* cell);
// A new function! over the context with empty spec and body blocks of room
// for the given cells; the context's owner.
Cell make_function(NodeId context, uint32_t spec_cells, uint32_t body_cells);

// ---------------------------------------------------------------- encoding

// Open addressing from a non-zero 32-bit key to a 32-bit value: the writers
// look up every series, context and symbol they meet.
class FlatMap {
public:
    const uint32_t* find(uint32_t key) const {
        if (m_keys.empty()) return nullptr;
        for (size_t i = slot(key);; i = (i + 1) & m_mask) {
            if (m_keys[i] == key) return &m_values[i];
            if (m_keys[i] == 0) return nullptr;
        }
    }
    // The value stored for the key, or the given one stored now; added tells which.
    uint32_t insert(uint32_t key, uint32_t value, bool* added) {
        if ((m_count + 1) * 4 > m_keys.size() * 3) grow();
        for (size_t i = slot(key);; i = (i + 1) & m_mask) {
            if (m_keys[i] == key) {
                *added = false;
                return m_values[i];
            }
            if (m_keys[i] == 0) {
                m_keys[i] = key;
                m_values[i] = value;
                m_count++;
                *added = true;
                return value;
            }
        }
    }
    void clear() {
        if (m_keys.size() > 4096) {
            m_keys.assign(1024, 0);
            m_values.assign(1024, 0);
            m_mask = 1023;
        } else if (m_count) {
            std::fill(m_keys.begin(), m_keys.end(), 0);
        }
        m_count = 0;
    }

private:
    std::vector<uint32_t> m_keys, m_values;
    size_t m_mask = 0, m_count = 0;
    size_t slot(uint32_t key) const { return (key * 2654435761u) & m_mask; }
    void grow() {
        std::vector<uint32_t> keys = std::move(m_keys), values = std::move(m_values);
        const size_t size = keys.empty() ? 1024 : keys.size() * 2;
        m_keys.assign(size, 0);
        m_values.assign(size, 0);
        m_mask = size - 1;
        m_count = 0;
        bool added;
        for (size_t i = 0; i < keys.size(); i++)
            if (keys[i]) insert(keys[i], values[i], &added);
    }
};

struct WriterState {
    uint32_t counter = 0;
    std::vector<uint32_t> levels;
    FlatMap references;                               // node -> offset in paths + 1
    std::vector<uint32_t> paths;                      // depth, then the indexes
    FlatMap symbol_index;                             // symbol id -> index
    std::vector<uint32_t> symbols;                    // symbol ids by first use
    std::vector<std::string> names;

    void reset();
    void push_level() {
        levels.push_back(counter);
        counter = 0;
    }
    void pop_level() {
        counter = levels.back();
        levels.pop_back();
    }
    // The path entry of the node (depth first), nullptr when not written yet.
    const uint32_t* find(NodeId node) const {
        const uint32_t* at = node ? references.find(node) : nullptr;
        return at ? paths.data() + *at : nullptr;
    }
    void record(NodeId node);
    uint32_t symbol(uint32_t id);
};
extern WriterState g_writer;

// Resets the writer, then raises access no-codec with the value.
[[noreturn]] void no_codec(const Cell* value);
// The context a word is written against: 0 for the global one.
NodeId word_context(const Cell& word);
bool shareable_q(uint32_t type);
// The key sharing goes by: the context node for words, objects and functions.
NodeId sharing_key(const Cell& value);
// Values no writer takes.
bool unwritable_q(uint32_t type);
// The 1-based table index of a native! or action!.
uint32_t native_index(const Cell& value);

// Nesting that data drives: readers and writers raise internal
// stack-overflow past the depth the cycle stack allows walks of values.
class Depth {
public:
    Depth();
    ~Depth() { s_depth--; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    static inline uint32_t s_depth = 0;
};

// Keeps the collector off while a codec routine holds raw buffer pointers.
class CollectorPause {
public:
    CollectorPause();
    ~CollectorPause();
    CollectorPause(const CollectorPause&) = delete;
    CollectorPause& operator=(const CollectorPause&) = delete;

private:
    bool m_was;
};

}  // namespace zun::zunbin
