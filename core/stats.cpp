#include "core/stats.hpp"

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"

namespace zun::stats {

namespace {

class CollectorOff {
public:
    CollectorOff() : m_was(memory::collector_enabled()) { memory::set_collector_enabled(false); }
    ~CollectorOff() { memory::set_collector_enabled(m_was); }

private:
    bool m_was;
};

Cell* append_to(NodeId block) { return support::alloc_tail_cell(block); }

void append_integer(NodeId block, int64_t value, bool new_line = false) {
    Cell* c = append_to(block);
    *c = integer_cell(int32_t(value));
    if (new_line) c->header |= NEW_LINE_FLAG;
}

// Totals past the integer range are reported as float!.
void append_total(NodeId block, uint64_t value) {
    Cell* c = append_to(block);
    if (value > 2147483647ull) {
        *c = Cell{TYPE_FLOAT, 0, 0, 0};
        c->set_double(double(value));
    } else {
        *c = integer_cell(int32_t(value));
    }
}

NodeId append_block(NodeId block, bool new_line) {
    NodeId inner = memory::alloc_cells(4);
    Cell* c = append_to(block);
    *c = Cell{TYPE_BLOCK | (new_line ? NEW_LINE_FLAG : 0), 0, inner, 0};
    return inner;
}

void append_triple(NodeId outer, int64_t a, int64_t b, int64_t c) {
    NodeId inner = append_block(outer, true);
    append_integer(inner, a);
    append_integer(inner, b);
    append_integer(inner, c);
}

}  // namespace

void memory(const Cell* block, int mode, Cell* result) {
    CollectorOff off;
    if (mode == 1) {
        *result = Cell{TYPE_FLOAT, 0, 0, 0};
        result->set_double(memory::bytes_in_use());
        return;
    }
    NodeId target = block->data2;
    uint64_t occupied = 0;

    NodeId nodes = append_block(target, false);
    for (int32_t i = memory::first_node_frame(); i >= 0; i = memory::node_frame(i).next) {
        const memory::NodeFrame& f = memory::node_frame(i);
        append_triple(nodes, f.capacity - f.used, f.used, f.capacity);
        occupied += 36 + 4ull * f.capacity;
    }
    NodeId frames = append_block(target, false);
    for (memory::SeriesFrame* f = memory::first_series_frame(); f; f = f->next) {
        append_triple(frames, f->end - f->heap, f->heap - f->data(), f->end - f->data());
        occupied += f->size;
    }
    NodeId bigs = append_block(target, false);
    for (memory::BigBlock* b = memory::first_big_block(); b; b = b->next) {
        append_integer(bigs, b->size, true);
        occupied += 12ull + b->size;
    }
    uint64_t heap = runtime::heap_bytes() + 16ull * runtime::heap_block_count();
    append_total(target, occupied + heap);
    append_total(target, heap);
}

}  // namespace zun::stats
