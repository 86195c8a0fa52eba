// What the ZUNBIN readers and writers share: the decoder state (error
// positions, the root of reference paths, the symbol table), reference
// paths, and the writers' sharing state (levels, reference table, symbols).
#pragma once
#include <cstdint>
#include <string>
#include <algorithm>
#include <vector>

#include "core/cell.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"

namespace zun::zunbin {

// Header bits of the word-aligned records.
namespace aligned {
constexpr uint32_t SHARED_BIT = 1u << 19;       // a reference follows
constexpr uint32_t MONEY_SIGN_BIT = 1u << 22;
constexpr uint32_t COMPLEMENT_BIT = 1u << 23;   // bitset!
constexpr uint32_t ON_SET_BIT = 1u << 24;       // object! with handler indexes
constexpr uint32_t GLOBAL_BIT = 1u << 25;       // word of the global context
constexpr uint32_t CONTEXT_OWNER_BIT = 1u << 28;
constexpr uint32_t CONTEXT_STACK_BIT = 1u << 29;
constexpr uint32_t VALUES_BIT = 1u << 30;       // context values follow
constexpr uint32_t NEW_LINE_BIT = 1u << 31;
constexpr uint32_t REFERENCE = 255;
}  // namespace aligned

// ---------------------------------------------------------------- decoding

inline uint32_t cells_in(NodeId node) { return memory::buffer_of(node)->used() / sizeof(Cell); }
inline Cell* cells_of(NodeId node) { return memory::buffer_of(node)->head_cell(); }
// Readers append every value they make: the room check inline, the growth
// (with the value copied first, as it may lie in the buffer) out of line.
inline Cell* append(NodeId destination, const Cell& value) {
    memory::SeriesBuffer* b = memory::buffer_of(destination);
    if (b->tail + sizeof(Cell) > b->size) [[unlikely]] {
        const Cell copy = value;
        Cell* cell = support::alloc_tail_cell(destination);
        *cell = copy;
        return cell;
    }
    Cell* cell = b->tail_cell();
    *cell = value;
    b->tail += sizeof(Cell);
    return cell;
}
// Drops the cells past the first count.
inline void cut_back(NodeId destination, uint32_t count) {
    memory::SeriesBuffer* b = memory::buffer_of(destination);
    b->tail = b->head + count * uint32_t(sizeof(Cell));
}

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
    bool fatal = false;               // malformed records go to the top-level handler
};
extern DecodeState g_decode;

// Script zb-invalid-record with the 1-based index of the position; while
// start-up reads its boot stream, reported by the top-level handler, whatever
// catch points are open (the stream is the program's own: a fault there is
// a build fault).
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
// An image! of the size over a copy of the stored pixel words (none for an
// empty size), at the head and with the new-line mark given. The size must
// pass the reader's checks first.
Cell image_value(uint32_t width, uint32_t height, const uint8_t* pixels, uint32_t head,
                 uint32_t line);
// The stored pixel words of an image! value (nullptr for one without pixels).
const uint8_t* image_pixels(const Cell& image);
// Checks a bound word's index against its context (same canonical symbol).
void check_word_index(NodeId context, uint32_t symbol, int32_t index, const uint8_t* position);
// The context a boot-mode word names by the number of a boot literal.
NodeId literal_context(int32_t literal, const uint8_t* position);
// The native! or action! of the table index, on the stack (spec a block!).
Cell* push_native(uint32_t type, uint32_t index, const Cell* spec, const uint8_t* position);
// The record read just before at index home of the destination becomes an
// op! wrapping it (a native!, action! or function!).
void make_op(NodeId destination, uint32_t home, uint32_t line, const uint8_t* position);
// A native! or action! of the table index: its spec record (read by
// read_spec into the block given) stays after it in boot data, and is read
// into a scratch block and dropped in codec data.
void read_native(NodeId destination, uint32_t type, uint32_t index, uint32_t line,
                 const uint8_t* position, void (*read_spec)(void* reader, NodeId into),
                 void* reader);
// An error! of the code, appended; its six fields arg1 to stack read by
// read_field, files kept from the make.
void read_error(NodeId destination, int32_t code, uint32_t line, const uint8_t* position,
                void (*read_field)(void* reader, NodeId into), void* reader);
// The object's on-set-info, from its handler fields, once its values are in.
void finish_object(NodeId context);
// A new context of n words (symbols given) with the kind and flags.
NodeId make_context(const std::vector<uint32_t>& symbols, uint32_t kind, bool stack, bool owner,
                    const uint8_t* position);
// The context of a value a shared word, object or function record refers to.
NodeId owner_context_of(const Cell& value, const uint8_t* position);
// A block of the type (map! too) with n records read by read_cell into it,
// appended; a map! or hash! gets its table once the cells are in.
void read_block(NodeId destination, uint32_t header, uint32_t head, uint32_t n,
                const uint8_t* position, void (*read_cell)(void* reader, NodeId into), void* reader);
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

// A function's spec and body as the block records the writers write them
// (the body from its head; an empty block when it has none), with their
// cell counts.
struct FunctionBlocks {
    Cell spec, body;
    uint32_t spec_cells, body_cells;
};
FunctionBlocks function_blocks(const Cell& function);
// Writes the spec at level index 0 and the body at 1 of the function's level.
template <typename Write> void write_function_blocks(const FunctionBlocks& b, Write write) {
    extern WriterState g_writer;
    const uint32_t saved = g_writer.counter;
    g_writer.counter = 0;
    write(b.spec);
    g_writer.counter = 1;
    write(b.body);
    g_writer.counter = saved;
}

// The sharing step of writing a value: the path entry of its first
// occurrence (nullptr when this is it, or when it takes no part in sharing);
// a first occurrence enters a level, which end_sharing leaves.
struct Sharing {
    const uint32_t* shared = nullptr;
    bool first = false;
};
Sharing begin_sharing(const Cell& value);
inline void end_sharing(const Sharing& s) {
    extern WriterState g_writer;
    if (s.first) g_writer.pop_level();
    g_writer.counter++;
}

// The live entries of a map! (a removed one has a value cell of header 0).
uint32_t live_entries(const Cell& map);
template <typename Write> void write_live_entries(const Cell& map, Write write) {
    const uint32_t n = cells_in(map.data2);
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        if (cells_of(map.data2)[i + 1].header == 0) continue;
        write(cells_of(map.data2)[i]);
        write(cells_of(map.data2)[i + 1]);
    }
}

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
    Depth() {
        if (++s_depth > uint32_t(cycles::CAPACITY)) [[unlikely]] too_deep();
    }
    ~Depth() { s_depth--; }
    Depth(const Depth&) = delete;
    Depth& operator=(const Depth&) = delete;

private:
    static inline uint32_t s_depth = 0;
    [[noreturn]] static void too_deep();
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
