// Memory manager: node frames, series frames and big blocks.
//
// A value never holds a buffer address: it holds a NodeId, an index into the
// node table whose entry is the buffer's address. The collector may move a
// buffer and a series may get a bigger one; only the node entry changes.
// So never keep a SeriesBuffer* across a call that can allocate or run user
// code: re-read node -> buffer after it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/cell.hpp"

namespace zun::memory {

// Buffer flag bits.
constexpr uint32_t UNIT_MASK = 0x1F;
constexpr uint32_t OWNED_FLAG = 0x20000;
constexpr uint32_t COMPLEMENTED_FLAG = 0x80000;
constexpr uint32_t MALLOC_FLAG = 0x100000;
constexpr uint32_t LIBRARY_FLAG = 0x200000;  // block made by the library loader
constexpr uint32_t BIG_FLAG = 0x1000000;
constexpr uint32_t MARK_FLAG = 0x8000000;
constexpr uint32_t MIDDLE_HEAD_FLAG = 0x10000000;
constexpr uint32_t MADE_FLAG = 0x20000000;
constexpr uint32_t LIVE_FLAG = 0x80000000;

constexpr uint32_t NODES_PER_FRAME = 10000;
constexpr uint32_t FIRST_FRAME_SIZE = 1u << 20;
constexpr uint32_t BIG_THRESHOLD = 2u << 20;
constexpr uint32_t MIN_FRAME_ROOM = 0xCCCC;  // below this, a new frame beats reuse

// Header of five words (head and tail as byte offsets from the payload start),
// one spare word, then the payload: a frame spends payload + 24 bytes on it.
struct SeriesBuffer {
    uint32_t flags;
    NodeId node;    // back link; 0 once abandoned
    uint32_t size;  // payload bytes, a multiple of 16
    uint32_t head;  // offset of the first used byte
    uint32_t tail;  // offset one past the last used byte
    uint32_t spare;

    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(this + 1); }
    uint8_t* head_ptr() { return data() + head; }
    uint8_t* tail_ptr() { return data() + tail; }
    uint8_t* end_ptr() { return data() + size; }
    uint32_t unit() const { return flags & UNIT_MASK; }
    uint32_t used() const { return tail - head; }
    Cell* cells() { return reinterpret_cast<Cell*>(data()); }
    Cell* head_cell() { return reinterpret_cast<Cell*>(head_ptr()); }
    Cell* tail_cell() { return reinterpret_cast<Cell*>(tail_ptr()); }
    bool live() const { return flags & LIVE_FLAG; }
};
static_assert(sizeof(SeriesBuffer) == 24);

// The node table; entry 0 is unused. A free node holds an odd value.
extern SeriesBuffer** g_node_table;

inline SeriesBuffer* buffer_of(NodeId node) { return g_node_table[node]; }
inline bool node_free(NodeId node) {
    return reinterpret_cast<uintptr_t>(g_node_table[node]) & 1;
}

void init();
void release_all();
bool initialised();

// Nodes.
NodeId alloc_node();
void free_node(NodeId node);  // only the collector frees nodes

// Buffers. head_offset -1 puts the head in the middle of the payload.
SeriesBuffer* alloc_buffer(uint32_t count, uint32_t unit, int32_t head_offset);
NodeId alloc_series(uint32_t count, uint32_t unit, int32_t head_offset);
NodeId alloc_cells(uint32_t n);
NodeId alloc_unset_cells(uint32_t n);
NodeId alloc_bytes(uint32_t n);
NodeId alloc_units(uint32_t n, uint32_t unit);
NodeId alloc_bytes_filled(uint32_t n, uint8_t byte);
NodeId alloc_series_malloc(uint32_t count, uint32_t unit, int32_t head_offset);

void set_buffer_flags(SeriesBuffer* buffer, uint32_t bits);
// new_size 0 means twice the old payload.
SeriesBuffer* replace_buffer(SeriesBuffer* buffer, int64_t new_size);
SeriesBuffer* expand_series(SeriesBuffer* buffer, int64_t new_size);
SeriesBuffer* expand_series_filled(SeriesBuffer* buffer, int64_t new_size, uint8_t byte);
NodeId clone_buffer(SeriesBuffer* buffer);
// Gives the payload past `keep` bytes (rounded up to 16) of a buffer in a
// series frame back to the frame, where the next compaction reclaims it;
// nothing happens to big, outside and middle-head buffers, nor when the
// data reaches past keep or too little would be freed.
void trim_buffer(SeriesBuffer* buffer, uint32_t keep);

// The collector plugs in here; until it does, nothing is collected.
using CollectFn = void (*)();
void set_collector(CollectFn collect);
void set_collector_enabled(bool on);
bool collector_enabled();
void maybe_collect();  // runs the collector when it is present and enabled
// Bytes of emptied frames the running collection keeps mapped for the
// allocation that follows: the budget when allocation triggered it, 0 for a
// collection asked for (recycle), which gives every empty frame back.
uint64_t empty_frame_reserve();

// Walking frames, for the collector and stats.
struct SeriesFrame {
    SeriesFrame* next;
    SeriesFrame* prev;
    uint32_t size;  // data bytes + 20, as the frame reports it
    uint32_t pad;
    uint8_t* heap;  // first free byte
    uint8_t* end;
    uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
};

struct NodeFrame {
    int32_t next = -1;
    int32_t prev = -1;
    uint32_t capacity = 0;
    NodeId free_head = 0;
    uint32_t used = 0;
    uint32_t made_at = 0;  // collection count when made
    uint32_t prev_used = 0;
    uint32_t history = 0;
    bool retired = false;
    bool in_list = false;
    NodeId first_node() const;
};

struct BigBlock {
    BigBlock* next;
    BigBlock* prev;  // stays null
    uint32_t size;   // payload + 24
    uint32_t pad[3];
    SeriesBuffer* buffer() { return reinterpret_cast<SeriesBuffer*>(this + 1); }
};

SeriesFrame* first_series_frame();
SeriesFrame* current_series_frame();
int32_t first_node_frame();
NodeFrame& node_frame(int32_t index);
BigBlock* first_big_block();
uint32_t collection_count();
uint32_t next_frame_size();

// Bookkeeping the collector runs after a collection.
void after_collection_node_frames();
void sweep_big_blocks();
void release_empty_series_frame(SeriesFrame* frame);
void note_collection();

// The spec'd accounting the stats native reports.
uint64_t total_os_bytes();
double bytes_in_use();  // stats mode 1
// Modes 2 and 3 append blocks and totals to a block; see stats.cpp.

}  // namespace zun::memory

// ---------------------------------------------------------------------------
// No-compaction scopes: while one is open the collector must not move
// buffers. A sort whose comparator runs user code holds its records' address
// across the calls.
namespace zun::memory {
inline uint32_t g_no_compaction = 0;
inline bool compaction_allowed() { return g_no_compaction == 0; }
class NoCompaction {
public:
    NoCompaction() { ++g_no_compaction; }
    NoCompaction(const NoCompaction&) = delete;
    NoCompaction& operator=(const NoCompaction&) = delete;
    ~NoCompaction() { --g_no_compaction; }
};
}  // namespace zun::memory
