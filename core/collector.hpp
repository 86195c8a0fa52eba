// The collector: marks every buffer reachable from the roots, frees the nodes
// of the others, slides the live buffers of each series frame down (so frames
// stay bump-allocated), sweeps big blocks and external resources and returns
// empty frames to the OS.
//
// Roots are precise: nothing scans the machine stack. A value that C++ code
// must keep across an allocation lives on the value stack or in a GcRoot guard.
// Buffers move at any allocation, nodes never do (node frames are not
// evacuated), so a NodeId held in C++ stays good while its series is reachable.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::collector {

// Installs the collector into the memory manager (disabled, the default
// settings below) and starts the counters; run once per memory manager.
void init();

// One full collection; does nothing while one runs. Buffers are not moved
// inside a no-compaction scope.
void recycle();

// Whether allocations may run a collection (the recycle native's switch).
void set_enabled(bool on);
bool enabled();
bool active();  // a collection is running

// Also moves every live buffer of a frame that compaction left in place (by
// one buffer header), so code holding a stale buffer pointer reads the wrong
// bytes. On by default in a ZUN_GC_STRESS build.
void set_stress(bool on);

// Keeps every buffer that still has its node, reached or not: collections
// then only move buffers. For test code that holds values in C++ locals.
void set_keep_unreached(bool on);

// What the last collection did.
struct Report {
    uint32_t nodes_freed = 0;
    uint32_t buffers_moved = 0;
    uint32_t frames_released = 0;
    uint32_t owner_entries_dropped = 0;
};
const Report& last_report();

// Marking, for mark callbacks. Node 0 and nodes that hold no buffer are
// ignored. Cells a marked block holds are marked before the collection goes on.
bool mark_series(NodeId node);  // true when newly marked
void mark_block(NodeId node);   // the buffer and, when it holds cells, its cells
void mark_context(NodeId context);
void mark_cells(const Cell* first, const Cell* end);
// During a collection: whether the node's buffer has been reached.
bool marked_q(NodeId node);

// Mark callbacks of the subsystems that hold values outside the roots, run
// after every other root in registration order.
using MarkFn = void (*)();
constexpr int MAX_MARKERS = 100;
void register_marker(MarkFn fn);
void unregister_marker(MarkFn fn);

// A datatype whose cells reach more than the default marking knows (image!
// bitmaps, event! records) installs its own cell marker.
using CellMarker = void (*)(const Cell* cell);
void set_cell_marker(uint32_t type, CellMarker marker);

// Module state made on one memory manager (the unit tests make one per test)
// must not be used with the next: an anchor is a one-cell series outside the
// frames whose node maps to it only while its memory manager lives.
class Anchor {
public:
    void make();           // on the current memory manager
    bool current() const;  // made on the current memory manager

private:
    NodeId m_node = 0;
    memory::SeriesBuffer* m_buffer = nullptr;
};

}  // namespace zun::collector

namespace zun {

// Keeps cells outside the value stack (C++ locals, statics) reachable while
// the guard lives. Guards nest: destroy them in reverse order of creation,
// which scoped locals do by themselves.
class GcRoot {
public:
    static constexpr uint32_t CAPACITY = 256;

    explicit GcRoot(Cell* cell, uint32_t count = 1);
    ~GcRoot();
    GcRoot(const GcRoot&) = delete;
    GcRoot& operator=(const GcRoot&) = delete;

    struct Slot {
        Cell* cell;
        uint32_t count;
    };
    static uint32_t depth();
    static const Slot& slot(uint32_t i);

private:
    Cell* m_cell;
};

}  // namespace zun
