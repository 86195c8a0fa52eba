#include "core/memory.hpp"

#include <sys/mman.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/runtime.hpp"
#include "core/support.hpp"

namespace zun::memory {

SeriesBuffer** g_node_table = nullptr;

namespace {

// The budget of allocation between two collections never drops below these:
// small heaps are not collected over and over.
constexpr uint64_t BYTE_BUDGET_FLOOR = 4u << 20;
constexpr uint32_t NODE_BUDGET_FLOOR = 3 * NODES_PER_FRAME;
// Buffers up to this size take the allocation fast path.
constexpr uint64_t SMALL_BYTES = 64u << 10;

// Room for 6,553 node frames: far more series than memory can hold.
constexpr uint32_t MAX_NODE_FRAMES = 6553;
constexpr size_t NODE_TABLE_ENTRIES = size_t(MAX_NODE_FRAMES) * NODES_PER_FRAME + 1;

struct State {
    uint64_t total = 0;  // the OS-block accounting stats reports
    std::vector<NodeFrame> node_frames;
    int32_t first_node = -1, last_node = -1, current_node = -1;
    SeriesFrame* first_series = nullptr;
    SeriesFrame* last_series = nullptr;
    SeriesFrame* current_series = nullptr;
    uint32_t next_frame_size = FIRST_FRAME_SIZE;
    BigBlock* big_first = nullptr;
    BigBlock* big_last = nullptr;
    uint32_t collections = 0;
    // What the next collection waits for: as much allocation again as the
    // last one left live, at least the floors. Counted down; a node budget
    // used up zeroes the bytes left, so allocation leaves its fast path.
    uint64_t byte_budget = BYTE_BUDGET_FLOOR;
    uint32_t node_budget = NODE_BUDGET_FLOOR;
    int64_t bytes_left = BYTE_BUDGET_FLOOR;
    int64_t nodes_left = NODE_BUDGET_FLOOR;
    bool keep_frames = false;  // a collection the allocation triggered runs
    CollectFn collect = nullptr;
    bool collector_on = false;
    bool ready = false;
#if ZUN_GC_STRESS > 0
    uint32_t stress_count = 0;
#endif
};
State s;

inline SeriesBuffer* free_link(NodeId next) {
    return reinterpret_cast<SeriesBuffer*>((uintptr_t(next) << 1) | 1);
}
inline NodeId free_next(SeriesBuffer* entry) {
    return NodeId(reinterpret_cast<uintptr_t>(entry) >> 1);
}

// An OS block reports (requested + 4) rounded up to a page, as the stats show it.
uint64_t os_block_figure(uint64_t requested) { return (requested + 4 + 4095) & ~uint64_t(4095); }

void* os_alloc(size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) support::fire_error(ErrorId::internal_no_memory);
    return p;
}

void os_free(void* p, size_t bytes) {
    if (munmap(p, bytes) != 0) support::fire_error(ErrorId::internal_wrong_mem);
}

// Series frames and big blocks keep their mapped length in front of the header.
struct alignas(16) OsPrefix {
    size_t bytes;
    size_t pad;
};

void* os_block(size_t user_bytes) {
    size_t bytes = (user_bytes + sizeof(OsPrefix) + 4095) & ~size_t(4095);
    auto* prefix = static_cast<OsPrefix*>(os_alloc(bytes));
    prefix->bytes = bytes;
    return prefix + 1;
}

void os_block_free(void* user) {
    OsPrefix* prefix = static_cast<OsPrefix*>(user) - 1;
    os_free(prefix, prefix->bytes);
}

void reserve_node_table() {
    size_t bytes = NODE_TABLE_ENTRIES * sizeof(SeriesBuffer*);
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) runtime::fatal(94);
    g_node_table = static_cast<SeriesBuffer**>(p);
}

int32_t new_node_frame() {
    int32_t index = -1;
    for (size_t i = 0; i < s.node_frames.size(); i++)
        if (!s.node_frames[i].in_list) {
            index = int32_t(i);
            break;
        }
    if (index < 0) {
        if (s.node_frames.size() >= MAX_NODE_FRAMES) support::fire_error(ErrorId::internal_no_memory);
        index = int32_t(s.node_frames.size());
        s.node_frames.emplace_back();
    }
    NodeFrame& f = s.node_frames[index];
    f = NodeFrame{};
    f.capacity = NODES_PER_FRAME;
    f.made_at = s.collections;
    f.in_list = true;
    NodeId first = f.first_node();
    for (uint32_t i = 0; i < NODES_PER_FRAME; i++) {
        NodeId next = i + 1 < NODES_PER_FRAME ? first + i + 1 : 0;
        g_node_table[first + i] = free_link(next);
    }
    f.free_head = first;
    f.prev = s.last_node;
    if (s.last_node >= 0) s.node_frames[s.last_node].next = index;
    else s.first_node = index;
    s.last_node = index;
    if (s.current_node < 0) s.current_node = index;
    s.total += os_block_figure(36 + 4ull * NODES_PER_FRAME);
    return index;
}

void unlink_node_frame(int32_t index) {
    NodeFrame& f = s.node_frames[index];
    if (f.prev >= 0) s.node_frames[f.prev].next = f.next;
    else s.first_node = f.next;
    if (f.next >= 0) s.node_frames[f.next].prev = f.prev;
    else s.last_node = f.prev;
    f.in_list = false;
    s.total -= os_block_figure(36 + 4ull * f.capacity);
    if (s.current_node == index) s.current_node = s.last_node;
}

int32_t frame_of_node(NodeId node) { return int32_t((node - 1) / NODES_PER_FRAME); }

SeriesFrame* new_series_frame_sized(uint32_t size) {
    auto* frame = static_cast<SeriesFrame*>(os_block(sizeof(SeriesFrame) + size));
    frame->size = size + 20;
    frame->heap = frame->data();
    frame->end = frame->data() + size;
    // Keep the list in address order.
    SeriesFrame* after = nullptr;
    for (SeriesFrame* f = s.first_series; f && f < frame; f = f->next) after = f;
    frame->prev = after;
    frame->next = after ? after->next : s.first_series;
    if (frame->next) frame->next->prev = frame;
    else s.last_series = frame;
    if (after) after->next = frame;
    else s.first_series = frame;
    s.total += os_block_figure(uint64_t(size) + 20);
    return frame;
}

SeriesFrame* new_series_frame() {
    uint32_t size = s.next_frame_size;
    if (s.next_frame_size < BIG_THRESHOLD) s.next_frame_size *= 2;
    return new_series_frame_sized(size);
}

SeriesFrame* frame_with_room(uint64_t need) {
    for (SeriesFrame* f = s.first_series; f; f = f->next)
        if (uint64_t(f->heap - f->data()) + need < uint64_t(f->end - f->data())) return f;
    return nullptr;
}

// A frame worth switching to: one with a good deal of room before one that
// merely fits, so that frames a collection emptied are used before new ones.
SeriesFrame* roomy_frame(uint64_t need) {
    if (SeriesFrame* f = frame_with_room(std::max<uint64_t>(need, MIN_FRAME_ROOM))) return f;
    return frame_with_room(need);
}

bool frame_fits(SeriesFrame* f, uint64_t need) {
    return f && uint64_t(f->end - f->heap) > need;
}

SeriesBuffer* carve(SeriesFrame* frame, uint64_t need) {
    auto* buffer = reinterpret_cast<SeriesBuffer*>(frame->heap);
    frame->heap += need;
    return buffer;
}

SeriesBuffer* alloc_big(uint64_t need) {
    maybe_collect();
    auto* block = static_cast<BigBlock*>(os_block(sizeof(BigBlock) + need));
    block->next = nullptr;
    block->prev = nullptr;
    block->size = uint32_t(need);
    if (s.big_last) s.big_last->next = block;
    else s.big_first = block;
    s.big_last = block;
    s.total += os_block_figure(need + 12);
    return block->buffer();
}

SeriesBuffer* alloc_in_frames(uint64_t need) {
    if (frame_fits(s.current_series, need)) return carve(s.current_series, need);
    SeriesFrame* frame = roomy_frame(need);
    if (!frame) {
        maybe_collect();
        frame = roomy_frame(need);
    }
    if (!frame || uint64_t(frame->end - frame->heap) < MIN_FRAME_ROOM) {
        if (need >= s.next_frame_size) s.next_frame_size = BIG_THRESHOLD;
        frame = new_series_frame();
    }
    s.current_series = frame;
    return carve(frame, need);
}

void init_header(SeriesBuffer* b, uint32_t unit, uint32_t payload, int32_t head_offset,
                 uint32_t extra_flags) {
    b->flags = unit | LIVE_FLAG | MADE_FLAG | extra_flags;
    b->node = 0;
    b->size = payload;
    if (head_offset < 0) {
        b->flags |= MIDDLE_HEAD_FLAG;
        head_offset = int32_t(payload / 2);
    }
    b->head = b->tail = uint32_t(head_offset);
    b->spare = 0;
}

uint32_t payload_for(uint64_t bytes) {
    uint64_t payload = (bytes + 15) & ~uint64_t(15);
    if (payload > 0x7FFFFFF0ull) support::fire_error(ErrorId::internal_no_memory);
    return uint32_t(payload);
}

}  // namespace

NodeId NodeFrame::first_node() const {
    size_t index = this - s.node_frames.data();
    return NodeId(index * NODES_PER_FRAME + 1);
}

void init() {
    if (!g_node_table) reserve_node_table();
    release_all();
    s.total = 0;
    s.next_frame_size = FIRST_FRAME_SIZE;
    s.collections = 0;
    s.byte_budget = BYTE_BUDGET_FLOOR;
    s.node_budget = NODE_BUDGET_FLOOR;
    s.bytes_left = s.byte_budget;
    s.nodes_left = s.node_budget;
    s.collector_on = false;
    new_node_frame();
    s.current_series = new_series_frame();
    s.ready = true;
}

bool initialised() { return s.ready; }

void release_all() {
    for (SeriesFrame* f = s.first_series; f;) {
        SeriesFrame* next = f->next;
        os_block_free(f);
        f = next;
    }
    for (BigBlock* b = s.big_first; b;) {
        BigBlock* next = b->next;
        os_block_free(b);
        b = next;
    }
    s.first_series = s.last_series = s.current_series = nullptr;
    s.big_first = s.big_last = nullptr;
    // Clear the nodes handed out, so no stale buffer address outlives its frame.
    for (size_t i = 0; i < s.node_frames.size(); i++)
        std::memset(&g_node_table[i * NODES_PER_FRAME + 1], 0,
                    NODES_PER_FRAME * sizeof(SeriesBuffer*));
    s.node_frames.clear();
    s.first_node = s.last_node = s.current_node = -1;
    s.total = 0;
    s.ready = false;
}

namespace {
// The current frame ran out of nodes: the first with free ones, else a new one.
[[gnu::noinline]] NodeFrame* frame_with_free_nodes() {
    int32_t found = -1;
    for (int32_t i = s.first_node; i >= 0; i = s.node_frames[i].next) {
        const NodeFrame& c = s.node_frames[i];
        if (c.free_head && !c.retired) {
            found = i;
            break;
        }
    }
    if (found < 0) found = new_node_frame();
    s.current_node = found;
    return &s.node_frames[found];
}
}  // namespace

NodeId alloc_node() {
    NodeFrame* f = s.current_node >= 0 ? &s.node_frames[s.current_node] : nullptr;
    if (!f || !f->free_head) [[unlikely]]
        f = frame_with_free_nodes();
    NodeId node = f->free_head;
    f->free_head = free_next(g_node_table[node]);
    g_node_table[node] = nullptr;
    f->used++;
    if (--s.nodes_left < 0) [[unlikely]]
        s.bytes_left = std::min<int64_t>(s.bytes_left, 0);
    return node;
}

void free_node(NodeId node) {
    NodeFrame& f = s.node_frames[frame_of_node(node)];
    g_node_table[node] = free_link(f.free_head);
    f.free_head = node;
    f.used--;
}

namespace {
[[gnu::noinline]] SeriesBuffer* alloc_buffer_slow(uint64_t bytes, uint32_t unit, int32_t head_offset) {
    uint32_t payload = payload_for(bytes);
    uint64_t need = uint64_t(payload) + sizeof(SeriesBuffer);
    // Garbage must not pile up while frames still have room: a collection
    // once the allocation since the last one passes its budget.
    if (s.bytes_left < int64_t(need) || s.nodes_left < 0) maybe_collect();
    s.bytes_left -= int64_t(need);
    bool big = need >= BIG_THRESHOLD;
    SeriesBuffer* b = big ? alloc_big(need) : alloc_in_frames(need);
    init_header(b, unit, payload, head_offset, big ? BIG_FLAG : 0);
    return b;
}
}  // namespace

SeriesBuffer* alloc_buffer(uint32_t count, uint32_t unit, int32_t head_offset) {
#if ZUN_GC_STRESS > 0
    if (++s.stress_count >= ZUN_GC_STRESS) {
        s.stress_count = 0;
        maybe_collect();
    }
#endif
    const uint64_t bytes = uint64_t(count) * unit;
    // Most buffers are small and fit the current frame within the budget:
    // a pointer bump.
    if (bytes <= SMALL_BYTES) [[likely]] {
        const uint32_t payload = payload_for(bytes);
        const int64_t need = int64_t(payload) + int64_t(sizeof(SeriesBuffer));
        if (s.bytes_left >= need && frame_fits(s.current_series, uint64_t(need))) [[likely]] {
            s.bytes_left -= need;
            SeriesBuffer* b = carve(s.current_series, uint64_t(need));
            init_header(b, unit, payload, head_offset, 0);
            return b;
        }
    }
    return alloc_buffer_slow(bytes, unit, head_offset);
}

NodeId alloc_series(uint32_t count, uint32_t unit, int32_t head_offset) {
    // The node first: a collection inside the buffer allocation must not see a
    // buffer without its node.
    NodeId node = alloc_node();
    SeriesBuffer* b;
    try {
        b = alloc_buffer(count, unit, head_offset);
    } catch (...) {
        free_node(node);
        throw;
    }
    b->node = node;
    g_node_table[node] = b;
    return node;
}

NodeId alloc_cells(uint32_t n) { return alloc_series(n, 16, 0); }

NodeId alloc_unset_cells(uint32_t n) {
    NodeId node = alloc_cells(n);
    SeriesBuffer* b = buffer_of(node);
    Cell* cells = b->cells();
    for (uint32_t i = 0; i < b->size / 16; i++) cells[i] = Cell{TYPE_UNSET, 0, 0, 0};
    return node;
}

NodeId alloc_bytes(uint32_t n) { return alloc_series(n ? n : 16, 1, 0); }

NodeId alloc_units(uint32_t n, uint32_t unit) { return alloc_series(n ? n : 16 / unit, unit, 0); }

NodeId alloc_bytes_filled(uint32_t n, uint8_t byte) {
    NodeId node = alloc_bytes(n);
    SeriesBuffer* b = buffer_of(node);
    std::memset(b->data(), byte, b->size);
    return node;
}

NodeId alloc_series_malloc(uint32_t count, uint32_t unit, int32_t head_offset) {
    uint32_t payload = payload_for(uint64_t(count) * unit);
    auto* b = static_cast<SeriesBuffer*>(runtime::allocate(sizeof(SeriesBuffer) + payload));
    init_header(b, unit, payload, head_offset < 0 ? 0 : head_offset, MALLOC_FLAG);
    NodeId node = alloc_node();
    b->node = node;
    g_node_table[node] = b;
    return node;
}

void set_buffer_flags(SeriesBuffer* buffer, uint32_t bits) { buffer->flags |= bits; }

namespace {
// Gives the series a new buffer; *abandoned receives the old one's address as
// it is after any collection the allocation ran.
SeriesBuffer* replace_keeping_old(SeriesBuffer* old, int64_t new_size, SeriesBuffer** abandoned) {
    // Doubling an empty payload must still make room.
    if (new_size == 0) new_size = old->size ? int64_t(old->size) * 2 : 16;
    if (new_size < 1) support::fire_error(ErrorId::internal_no_memory);
    uint32_t unit = old->unit();
    NodeId node = old->node;
    uint32_t used = old->tail - old->head;
    SeriesBuffer* fresh = alloc_buffer(uint32_t(new_size / unit), unit, 0);
    old = buffer_of(node);  // the allocation may have moved it
    fresh->flags = (old->flags & ~BIG_FLAG) | (fresh->flags & BIG_FLAG);
    fresh->node = node;
    fresh->tail = fresh->head + used;
    g_node_table[node] = fresh;
    old->node = 0;
    old->flags &= ~LIVE_FLAG;
    *abandoned = old;
    return fresh;
}
}  // namespace

SeriesBuffer* replace_buffer(SeriesBuffer* buffer, int64_t new_size) {
    SeriesBuffer* abandoned;
    return replace_keeping_old(buffer, new_size, &abandoned);
}

SeriesBuffer* expand_series(SeriesBuffer* buffer, int64_t new_size) {
    SeriesBuffer* old;
    SeriesBuffer* fresh = replace_keeping_old(buffer, new_size, &old);
    // The abandoned buffer keeps its bytes until the next compaction.
    uint32_t bytes = old->size - old->head;
    if (bytes > fresh->size) bytes = fresh->size;
    std::memcpy(fresh->head_ptr(), old->head_ptr(), bytes);
    return fresh;
}

SeriesBuffer* expand_series_filled(SeriesBuffer* buffer, int64_t new_size, uint8_t byte) {
    uint32_t old_size = buffer->size;
    SeriesBuffer* fresh = expand_series(buffer, new_size);
    if (fresh->flags & COMPLEMENTED_FLAG) byte = 0xFF;
    uint32_t from = fresh->head + old_size;
    if (from < fresh->size) std::memset(fresh->data() + from, byte, fresh->size - from);
    return fresh;
}

void trim_buffer(SeriesBuffer* buffer, uint32_t keep) {
    if (buffer->flags & (BIG_FLAG | MALLOC_FLAG | MIDDLE_HEAD_FLAG)) return;
    keep = std::max<uint32_t>((keep + 15) & ~15u, 16);
    if (buffer->tail > keep || buffer->size < keep + sizeof(SeriesBuffer)) return;
    // The stretch given up reads as a dead buffer, as the frame walk expects.
    auto* dead = reinterpret_cast<SeriesBuffer*>(buffer->data() + keep);
    std::memset(dead, 0, sizeof(SeriesBuffer));
    dead->size = buffer->size - keep - uint32_t(sizeof(SeriesBuffer));
    buffer->size = keep;
}

NodeId clone_buffer(SeriesBuffer* buffer) {
    NodeId src_node = buffer->node;
    NodeId node = alloc_bytes(buffer->size);
    SeriesBuffer* src = buffer_of(src_node);
    SeriesBuffer* dst = buffer_of(node);
    dst->flags = (src->flags & ~BIG_FLAG) | (dst->flags & BIG_FLAG);
    std::memcpy(dst->data(), src->data(), src->size);
    // The whole payload is copied, so the head keeps its offset with it.
    dst->head = src->head;
    dst->tail = src->tail;
    return node;
}

void set_collector(CollectFn collect) { s.collect = collect; }
void set_collector_enabled(bool on) { s.collector_on = on; }
bool collector_enabled() { return s.collector_on; }

void maybe_collect() {
    if (!s.collect || !s.collector_on) return;
    // Empty frames kept for the allocation to come are reused, not mapped
    // anew: fresh pages fault on first touch.
    s.keep_frames = true;
    struct Reset {
        ~Reset() { s.keep_frames = false; }
    } reset;
    s.collect();
}

uint64_t empty_frame_reserve() { return s.keep_frames ? s.byte_budget : 0; }

SeriesFrame* first_series_frame() { return s.first_series; }
SeriesFrame* current_series_frame() { return s.current_series; }
int32_t first_node_frame() { return s.first_node; }
NodeFrame& node_frame(int32_t index) { return s.node_frames[index]; }
BigBlock* first_big_block() { return s.big_first; }
uint32_t collection_count() { return s.collections; }
uint32_t next_frame_size() { return s.next_frame_size; }
void note_collection() {
    s.collections++;
    uint64_t live = 0;
    for (SeriesFrame* f = s.first_series; f; f = f->next) live += uint64_t(f->heap - f->data());
    for (BigBlock* b = s.big_first; b; b = b->next) live += b->size;
    uint64_t nodes = 0;
    for (int32_t i = s.first_node; i >= 0; i = s.node_frames[i].next) nodes += s.node_frames[i].used;
    s.byte_budget = std::max<uint64_t>(BYTE_BUDGET_FLOOR, live);
    s.node_budget = uint32_t(std::max<uint64_t>(NODE_BUDGET_FLOOR, std::min<uint64_t>(nodes, UINT32_MAX / 2)));
    s.bytes_left = int64_t(s.byte_budget);
    s.nodes_left = s.node_budget;
}

void after_collection_node_frames() {
    for (int32_t i = s.first_node; i >= 0;) {
        NodeFrame& f = s.node_frames[i];
        int32_t next = f.next;
        if (f.used == 0 || f.retired) {
            unlink_node_frame(i);
        } else {
            f.history = (f.history << 1) | (f.used == f.prev_used ? 1 : 0);
            f.prev_used = f.used;
        }
        i = next;
    }
    for (int32_t i = s.first_node; i >= 0; i = s.node_frames[i].next)
        if (s.node_frames[i].free_head) {
            s.current_node = i;
            break;
        }
    if (s.first_node < 0) new_node_frame();
}

void sweep_big_blocks() {
    BigBlock* prev = nullptr;
    for (BigBlock* b = s.big_first; b;) {
        BigBlock* next = b->next;
        SeriesBuffer* buf = b->buffer();
        if (buf->flags & MARK_FLAG) {
            buf->flags &= ~MARK_FLAG;
            prev = b;
        } else {
            if (buf->node && buffer_of(buf->node) == buf) free_node(buf->node);
            if (prev) prev->next = next;
            else s.big_first = next;
            if (s.big_last == b) s.big_last = prev;
            s.total -= os_block_figure(uint64_t(b->size) + 12);
            os_block_free(b);
        }
        b = next;
    }
}

void release_empty_series_frame(SeriesFrame* frame) {
    if (frame == s.last_series) return;
    if (frame->prev) frame->prev->next = frame->next;
    else s.first_series = frame->next;
    if (frame->next) frame->next->prev = frame->prev;
    if (s.current_series == frame) s.current_series = s.last_series;
    s.total -= os_block_figure(uint64_t(frame->size));
    os_block_free(frame);
}

uint64_t total_os_bytes() { return s.total; }

double bytes_in_use() {
    double bytes = 0;
    for (int32_t i = s.first_node; i >= 0; i = s.node_frames[i].next)
        bytes += 4.0 * s.node_frames[i].used;
    for (SeriesFrame* f = s.first_series; f; f = f->next) bytes += double(f->heap - f->data());
    for (BigBlock* b = s.big_first; b; b = b->next) bytes += b->size;
    return bytes;
}

}  // namespace zun::memory
