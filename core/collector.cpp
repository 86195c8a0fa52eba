#include "core/collector.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "core/externals.hpp"
#include "core/hashtable.hpp"
#include "core/ownership.hpp"
#include "core/runtime.hpp"
#include "core/symbols.hpp"
#include "core/value_slots.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/series/series.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

namespace zun {

namespace {
GcRoot::Slot g_guards[GcRoot::CAPACITY];
uint32_t g_guard_depth = 0;
constexpr int ASSERTION_FAILED = 98;
}  // namespace

GcRoot::GcRoot(Cell* cell, uint32_t count) : m_cell(cell) {
    if (g_guard_depth >= CAPACITY) runtime::fatal(ASSERTION_FAILED);
    g_guards[g_guard_depth++] = Slot{cell, count};
}

// Guards end in reverse order of creation; any other order is a misuse.
GcRoot::~GcRoot() {
    if (g_guard_depth == 0 || g_guards[g_guard_depth - 1].cell != m_cell) runtime::fatal(ASSERTION_FAILED);
    g_guard_depth--;
}

uint32_t GcRoot::depth() { return g_guard_depth; }
const GcRoot::Slot& GcRoot::slot(uint32_t i) { return g_guards[i]; }

}  // namespace zun

namespace zun::collector {

using memory::SeriesBuffer;
using memory::SeriesFrame;

namespace {

constexpr uint32_t HEADER_BYTES = sizeof(SeriesBuffer);
// Below this much free room a frame takes no more buffers from the next one.
constexpr uint64_t GIVE_MIN_ROOM = 52428;
constexpr uint32_t EVENT_BLOCK_FLAG = 0x1000;

// How the mark loop treats a cell, by type: most cells name nothing, or one
// block, or (words) a context that the words before them named already;
// the others go through mark_value, which must agree with this table.
enum Kind : uint8_t { KIND_NONE, KIND_BLOCK, KIND_WORD, KIND_OTHER };

constexpr std::array<uint8_t, TYPE_MASK + 1> default_kinds() {
    std::array<uint8_t, TYPE_MASK + 1> kinds{};
    for (uint32_t t : {TYPE_BLOCK, TYPE_PAREN, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH, TYPE_GET_PATH})
        kinds[t] = KIND_BLOCK;
    for (uint32_t t : {TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD, TYPE_GET_WORD, TYPE_REFINEMENT})
        kinds[t] = KIND_WORD;
    for (uint32_t t : {TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_TAG, TYPE_EMAIL, TYPE_REF, TYPE_SYMBOL,
                       TYPE_CONTEXT, TYPE_OP, TYPE_NATIVE, TYPE_ACTION, TYPE_FUNCTION, TYPE_ROUTINE,
                       TYPE_BITSET, TYPE_VECTOR, TYPE_BINARY, TYPE_IMAGE, TYPE_OBJECT, TYPE_PORT,
                       TYPE_ERROR, TYPE_HASH, TYPE_MAP, TYPE_HANDLE, TYPE_EVENT})
        kinds[t] = KIND_OTHER;
    return kinds;
}

struct State {
    bool active = false;
    bool draining = false;
    bool check = std::getenv("ZUN_GC_CHECK") != nullptr;
    bool stress = ZUN_GC_STRESS > 0;
    bool keep_unreached = false;
    NodeId node_limit = 0;                // one past the highest node of a live frame
    std::vector<NodeId> work;             // marked blocks whose cells wait
    std::vector<SeriesBuffer*> outside;   // marked buffers outside the frames
    // Nodes of unreached buffers, one bit per node: freed in node order
    // without a sort.
    std::vector<uint64_t> dead;
    uint32_t dead_count = 0;
    MarkFn markers[MAX_MARKERS] = {};
    int marker_count = 0;
    CellMarker cell_markers[TYPE_COUNT_MAX + 1] = {};
    std::array<uint8_t, TYPE_MASK + 1> kinds = default_kinds();  // by type, see Kind
    NodeId last_word_context = 0;  // marked already in this collection
    Report report;
};
State g;

// A node that holds a buffer of the current memory manager.
bool valid_node(NodeId node) {
    return node && node < g.node_limit && !memory::node_free(node) && memory::buffer_of(node);
}

NodeId compute_node_limit() {
    NodeId limit = 0;
    for (int32_t i = memory::first_node_frame(); i >= 0; i = memory::node_frame(i).next) {
        const memory::NodeFrame& f = memory::node_frame(i);
        limit = std::max<NodeId>(limit, f.first_node() + f.capacity);
    }
    return limit;
}

// ---------------------------------------------------------------- marking

void mark_value(const Cell* c);

// The buffer of a node that holds one and is not marked yet, else nullptr.
[[gnu::always_inline]] inline SeriesBuffer* unmarked_buffer(NodeId node) {
    if (!node || node >= g.node_limit) return nullptr;
    SeriesBuffer* b = memory::g_node_table[node];
    if ((reinterpret_cast<uintptr_t>(b) & 1) || !b || (b->flags & memory::MARK_FLAG)) return nullptr;
    return b;
}

inline void set_mark(SeriesBuffer* b) {
    b->flags |= memory::MARK_FLAG;
    if (b->flags & memory::MALLOC_FLAG) [[unlikely]]
        g.outside.push_back(b);
}

bool mark_buffer(NodeId node) {
    SeriesBuffer* b = unmarked_buffer(node);
    if (!b) return false;
    set_mark(b);
    return true;
}

// The cells wait on the work list: deep nesting costs no machine stack.
[[gnu::always_inline]] inline void queue_block(NodeId node) {
    SeriesBuffer* b = unmarked_buffer(node);
    if (!b) return;
    set_mark(b);
    if (b->unit() == sizeof(Cell)) g.work.push_back(node);
}

// A word's context; runs of words bound to one context look it up once.
inline void queue_word_context(NodeId context) {
    if (context == g.last_word_context) return;
    g.last_word_context = context;
    queue_block(context);
}

// ZUN_GC_CHECK set: a cell in a series that names a freed node, or a buffer
// of the wrong unit for its type, is a value some code failed to keep
// reachable across an allocation. Reported with the series holding it.
void check_reference(NodeId holder, const Cell* c) {
    uint32_t type = c->type();
    bool cells = type == TYPE_BLOCK || type == TYPE_PAREN || (type >= TYPE_PATH && type <= TYPE_GET_PATH) ||
                 type == TYPE_HASH || type == TYPE_MAP;
    bool text = type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
                type == TYPE_EMAIL || type == TYPE_REF;
    if ((!cells && !text) || !c->data2) return;
    bool bad = !valid_node(c->data2);
    if (!bad) {
        uint32_t unit = memory::buffer_of(c->data2)->unit();
        bad = cells ? unit != sizeof(Cell) : (unit != 1 && unit != 2 && unit != 4);
    }
    if (!bad) return;
    std::fprintf(stderr, "collector check: cell type %u naming node %u (%s) in series %u at cell %ld\n", type,
                 c->data2, valid_node(c->data2) ? "wrong unit" : "freed", holder,
                 long(c - memory::buffer_of(holder)->head_cell()));
    std::abort();
}

[[gnu::always_inline]] inline void mark_cell(const Cell* c) {
    switch (g.kinds[c->type()]) {
    case KIND_NONE: return;
    case KIND_BLOCK: queue_block(c->data2); return;
    case KIND_WORD: queue_word_context(c->data1); return;
    default: mark_value(c); return;
    }
}

void drain() {
    if (g.draining) return;
    g.draining = true;
    while (!g.work.empty()) {
        NodeId node = g.work.back();
        g.work.pop_back();
        // Nothing moves while marking: the buffer pointer stays good.
        SeriesBuffer* b = memory::buffer_of(node);
        const Cell* end = b->tail_cell();
        if (g.check) [[unlikely]]
            for (const Cell* c = b->head_cell(); c < end; ++c) check_reference(node, c);
        for (const Cell* c = b->head_cell(); c < end; ++c) mark_cell(c);
    }
    g.draining = false;
}

bool series_fn(NodeId node) { return mark_buffer(node); }
void block_fn(NodeId node) { queue_block(node); }
const hashtable::Marker k_marker{series_fn, block_fn};

// Only a table record is walked as one: a stale or made-up node must not
// send the walk through another buffer's bytes.
void mark_table(NodeId table) {
    if (!valid_node(table)) return;
    const SeriesBuffer* b = memory::buffer_of(table);
    if (b->unit() == 1 && b->used() == sizeof(hashtable::Table)) hashtable::mark(table, k_marker);
}

void mark_context_cell(const Cell* c) {
    mark_table(c->data1);
    if (!(c->header & context::STACK_FLAG)) queue_block(c->data2);
}

bool string_family(uint32_t type) {
    return type == TYPE_STRING || type == TYPE_FILE || type == TYPE_URL || type == TYPE_TAG ||
           type == TYPE_EMAIL || type == TYPE_REF;
}

void mark_object(const Cell* c) {
    queue_block(c->data1);
    if (c->data3) mark_buffer(c->data3);
}

void mark_value(const Cell* c) {
    uint32_t type = c->type();
    if (type <= TYPE_COUNT_MAX && g.cell_markers[type]) return g.cell_markers[type](c);
    switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH:
        queue_block(c->data2);
        return;
    case TYPE_SYMBOL:
        mark_buffer(c->data3);
        mark_buffer(c->data2);
        return;
    case TYPE_CONTEXT: mark_context_cell(c); return;
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
    case TYPE_REFINEMENT:
        queue_word_context(c->data1);
        return;
    case TYPE_OP: {
        uint32_t wrapped = (c->header >> 16) & 0xFF;
        if (wrapped == TYPE_FUNCTION || wrapped == TYPE_ROUTINE) queue_block(c->data1);
        queue_block(c->data2);
        queue_block(c->data3);
        return;
    }
    case TYPE_NATIVE: case TYPE_ACTION:
        queue_block(c->data2);
        queue_block(c->data3);
        return;
    case TYPE_FUNCTION: case TYPE_ROUTINE:
        queue_block(c->data1);
        queue_block(c->data2);
        queue_block(c->data3);
        return;
    case TYPE_BITSET: case TYPE_VECTOR: case TYPE_BINARY: case TYPE_IMAGE:
        mark_buffer(c->data2);
        return;
    case TYPE_OBJECT: case TYPE_PORT: mark_object(c); return;
    case TYPE_ERROR:
        // An interim error (no catalogue yet) keeps its arguments in a block.
        if (error::real_q(c)) mark_object(c);
        else queue_block(c->data2);
        return;
    case TYPE_HASH: case TYPE_MAP:
        queue_block(c->data2);
        mark_table(c->data3);
        return;
    case TYPE_HANDLE:
        if (int32_t(c->data3) >= 0) externals::mark(int32_t(c->data3), 0);
        return;
    case TYPE_EVENT:
        if ((c->header & EVENT_BLOCK_FLAG) && c->data2) queue_block(c->data2);
        return;
    default:
        if (string_family(type)) {
            mark_buffer(c->data2);
            mark_buffer(c->data3);  // the conversion buffer
        }
        return;
    }
}

void mark_context_fn(NodeId context) { mark_context(context); }
void mark_cells_fn(Cell* first, Cell* end) { mark_cells(first, end); }

// The roots, in their fixed order. The public marking routines empty the
// work list themselves; after the others it is emptied here.
void mark_roots() {
    if (symbols::ready()) {
        mark_cells(symbols::root_block(), symbols::root_block() + 1);
        mark_table(symbols::table());
        drain();
    }
    ownership::mark_for_collector();
    // The two stack blocks lie outside the frames and are never swept: only
    // their live cells need marking.
    if (stack::initialised()) {
        mark_cells(stack::g_bottom, stack::g_top);
        stack::mark_for_collector(mark_context_fn, block_fn);
        drain();
    }
    if (symbols::ready()) mark_context(context::global());
    mark_block(series::take_scratch());
    mark_cells(interpreter::code_position(), interpreter::code_position() + 1);
    lexer::mark_for_collector(mark_cells_fn);
    value_slots::mark_for_collector();
    for (uint32_t i = 0; i < GcRoot::depth(); i++) {
        const GcRoot::Slot& s = GcRoot::slot(i);
        mark_cells(s.cell, s.cell + s.count);
    }
    for (int i = 0; i < g.marker_count; i++)
        if (g.markers[i]) {
            g.markers[i]();
            drain();
        }
}

// ---------------------------------------------------------------- compaction

inline SeriesBuffer* at(uint8_t* p) { return reinterpret_cast<SeriesBuffer*>(p); }
inline uint64_t step_of(const SeriesBuffer* b) { return HEADER_BYTES + uint64_t(b->size); }
inline bool is_marked(const SeriesBuffer* b) { return b->flags & memory::MARK_FLAG; }
inline uint64_t room(const SeriesFrame* f) { return uint64_t(f->end - f->heap); }

inline void add_dead(NodeId node) {
    g.dead[node >> 6] |= uint64_t(1) << (node & 63);
    g.dead_count++;
}

// An unreached buffer: its node (when it still maps to it) goes, and the
// buffer forgets it, so a buffer left in place is never freed twice.
void bury(SeriesBuffer* b) {
    if (b->node && !memory::node_free(b->node) && memory::buffer_of(b->node) == b)
        add_dead(b->node);
    b->node = 0;
    b->flags &= ~memory::LIVE_FLAG;
}

// The run of live buffers now at [to, to + length) had its start at from:
// marks go, nodes follow.
void settle(uint8_t* to, uint64_t length, const uint8_t* from) {
    for (uint8_t* p = to; p < to + length; p += step_of(at(p))) {
        SeriesBuffer* b = at(p);
        b->flags &= ~memory::MARK_FLAG;
        if (to != from) {
            memory::g_node_table[b->node] = b;
            g.report.buffers_moved++;
        }
    }
}

// Slides the frame's live buffers down; while `give` holds, runs may go to the
// end of the previous frame instead. Answers true when some run stayed put.
bool compact_frame(SeriesFrame* f, SeriesFrame* prev, bool moving) {
    uint8_t* p = f->data();
    uint8_t* write = f->data();  // the lowest freed address
    bool stayed = false;
    bool give = moving && prev && room(prev) > GIVE_MIN_ROOM;
    while (p < f->heap) {
        if (!is_marked(at(p))) {
            bury(at(p));
            p += step_of(at(p));
            continue;
        }
        uint8_t* start = p;
        uint8_t* last = p;
        uint64_t length = 0;
        uint64_t limit = give ? room(prev) : UINT64_MAX;
        while (p < f->heap && is_marked(at(p))) {
            last = p;
            length += step_of(at(p));
            p += step_of(at(p));
            if (length >= limit) break;
        }
        if (give) {
            uint64_t shorter = uint64_t(last - start);
            uint64_t taken = length <= limit ? length : shorter <= limit ? shorter : 0;
            if (taken) {
                std::memcpy(prev->heap, start, taken);
                settle(prev->heap, taken, start);
                prev->heap += taken;
                if (taken < length) p = last;  // walked again as the next run's start
                if (room(prev) <= GIVE_MIN_ROOM) give = false;
                continue;
            }
        }
        if (!moving || write == start) {
            settle(start, length, start);
            stayed = true;
            give = false;
        } else {
            std::memmove(write, start, length);
            settle(write, length, start);
        }
        // Without moving, dead buffers before this run stay as they are.
        write = moving ? write + length : p;
    }
    f->heap = write;
    return stayed;
}

// Stress: every buffer of the frame moves up by one header, behind a dead
// placeholder that the next collection drops (moving them all down again).
void shift_frame(SeriesFrame* f) {
    uint64_t used = uint64_t(f->heap - f->data());
    if (used == 0 || room(f) < HEADER_BYTES) return;
    uint8_t* from = f->data();
    std::memmove(from + HEADER_BYTES, from, used);
    SeriesBuffer* placeholder = at(from);
    std::memset(placeholder, 0, HEADER_BYTES);
    f->heap += HEADER_BYTES;
    for (uint8_t* p = from + HEADER_BYTES; p < f->heap; p += step_of(at(p))) {
        memory::g_node_table[at(p)->node] = at(p);
        g.report.buffers_moved++;
    }
}

void compact_frames() {
    bool moving = memory::compaction_allowed();
    uint64_t reserve = memory::empty_frame_reserve();
    SeriesFrame* prev = nullptr;
    for (SeriesFrame* f = memory::first_series_frame(); f;) {
        SeriesFrame* next = f->next;
        bool stayed = compact_frame(f, prev, moving);
        if (f->heap == f->data() && next && reserve >= f->size) {
            reserve -= f->size;
            prev = f;
        } else if (f->heap == f->data() && next) {
            memory::release_empty_series_frame(f);
            g.report.frames_released++;
        } else {
            if (moving && g.stress && stayed) shift_frame(f);
            prev = f;
        }
        f = next;
    }
}

// The dead nodes go back to their frames from the highest down, so each
// frame's free list hands them out in ascending order.
void free_dead_nodes() {
    for (size_t w = g.dead.size(); g.dead_count && w-- > 0;) {
        for (uint64_t bits = g.dead[w]; bits;) {
            const uint32_t bit = 63 - uint32_t(__builtin_clzll(bits));
            bits &= ~(uint64_t(1) << bit);
            memory::free_node(NodeId(w * 64 + bit));
            g.report.nodes_freed++;
            g.dead_count--;
        }
        g.dead[w] = 0;
    }
}

void clear_outside_marks() {
    for (SeriesBuffer* b : g.outside) b->flags &= ~memory::MARK_FLAG;
    g.outside.clear();
}

// Big blocks: the memory manager frees the unmarked ones and their nodes.
void sweep_big() {
    uint32_t before = 0;
    for (memory::BigBlock* b = memory::first_big_block(); b; b = b->next)
        if (!is_marked(b->buffer()) && b->buffer()->node &&
            memory::buffer_of(b->buffer()->node) == b->buffer())
            before++;
    memory::sweep_big_blocks();
    g.report.nodes_freed += before;
}

// A collection cut short (a release callback raised) must not leave marks:
// the next one would take those buffers as walked already.
void clear_all_marks() {
    for (SeriesFrame* f = memory::first_series_frame(); f; f = f->next)
        for (uint8_t* p = f->data(); p < f->heap; p += step_of(at(p))) at(p)->flags &= ~memory::MARK_FLAG;
    for (memory::BigBlock* b = memory::first_big_block(); b; b = b->next)
        b->buffer()->flags &= ~memory::MARK_FLAG;
}

// Every buffer that still has its node counts as reached (abandoned ones go).
void mark_everything() {
    for (SeriesFrame* f = memory::first_series_frame(); f; f = f->next)
        for (uint8_t* p = f->data(); p < f->heap; p += step_of(at(p)))
            if (at(p)->node && memory::buffer_of(at(p)->node) == at(p)) at(p)->flags |= memory::MARK_FLAG;
    for (memory::BigBlock* b = memory::first_big_block(); b; b = b->next) {
        SeriesBuffer* buffer = b->buffer();
        if (buffer->node && memory::buffer_of(buffer->node) == buffer) buffer->flags |= memory::MARK_FLAG;
    }
}

class ActiveScope {
public:
    ActiveScope() { g.active = true; }
    ~ActiveScope() {
        if (std::uncaught_exceptions() > m_unwinding) clear_all_marks();
        g.work.clear();
        g.draining = false;
        if (g.dead_count) std::fill(g.dead.begin(), g.dead.end(), 0);
        g.dead_count = 0;
        clear_outside_marks();
        g.active = false;
    }
    ActiveScope(const ActiveScope&) = delete;
    ActiveScope& operator=(const ActiveScope&) = delete;

private:
    int m_unwinding = std::uncaught_exceptions();
};

}  // namespace

void init() {
    memory::set_collector(recycle);
    memory::set_collector_enabled(false);
    g.stress = ZUN_GC_STRESS > 0;
    g.keep_unreached = false;
    g.report = Report{};
}

void recycle() {
    if (g.active || !memory::initialised()) return;
    ActiveScope scope;
    g.report = Report{};
    g.last_word_context = 0;
    g.node_limit = compute_node_limit();
    if (g.dead.size() * 64 < g.node_limit) g.dead.resize(g.node_limit / 64 + 1);
    mark_roots();
    if (g.keep_unreached) {
        mark_everything();
    } else {
        g.report.owner_entries_dropped = ownership::sweep_for_collector();
        externals::sweep();
    }
    compact_frames();
    sweep_big();
    free_dead_nodes();
    memory::after_collection_node_frames();
    memory::note_collection();
}

void set_enabled(bool on) { memory::set_collector_enabled(on); }
bool enabled() { return memory::collector_enabled(); }
bool active() { return g.active; }
void set_stress(bool on) { g.stress = on; }
void set_keep_unreached(bool on) { g.keep_unreached = on; }
const Report& last_report() { return g.report; }

bool mark_series(NodeId node) { return mark_buffer(node); }

void mark_block(NodeId node) {
    queue_block(node);
    drain();
}

// The record's cells are the context! cell (word table, values) and the owner.
void mark_context(NodeId context) { mark_block(context); }

void mark_cells(const Cell* first, const Cell* end) {
    for (const Cell* c = first; c < end; ++c) mark_value(c);
    drain();
}

bool marked_q(NodeId node) {
    return valid_node(node) && (memory::buffer_of(node)->flags & memory::MARK_FLAG);
}

void register_marker(MarkFn fn) {
    if (g.marker_count >= MAX_MARKERS) runtime::fatal(ASSERTION_FAILED);
    g.markers[g.marker_count++] = fn;
}

void unregister_marker(MarkFn fn) {
    for (int i = 0; i < g.marker_count; i++)
        if (g.markers[i] == fn) g.markers[i] = nullptr;
}

void set_cell_marker(uint32_t type, CellMarker marker) {
    if (type > TYPE_COUNT_MAX) return;
    g.cell_markers[type] = marker;
    g.kinds[type] = marker ? uint8_t(KIND_OTHER) : default_kinds()[type];
}

// ---------------------------------------------------------------- anchors

void Anchor::make() {
    if (current()) return;
    if (m_buffer) runtime::free(m_buffer);  // left by an earlier memory manager
    m_node = memory::alloc_series_malloc(1, sizeof(Cell), 0);
    m_buffer = memory::buffer_of(m_node);
}

bool Anchor::current() const {
    if (!m_buffer || !memory::initialised()) return false;
    // The node table keeps old entries of frames no longer in use.
    for (int32_t i = memory::first_node_frame(); i >= 0; i = memory::node_frame(i).next) {
        const memory::NodeFrame& f = memory::node_frame(i);
        if (m_node >= f.first_node() && m_node < f.first_node() + f.capacity)
            return !memory::node_free(m_node) && memory::buffer_of(m_node) == m_buffer;
    }
    return false;
}

}  // namespace zun::collector
