#include "core/value_slots.hpp"

#include "core/collector.hpp"
#include "core/memory.hpp"

namespace zun::value_slots {

namespace {
collector::Anchor g_anchor;
NodeId g_block = 0;
uint32_t g_capacity = 0;
int32_t g_free_head = -1;

bool usable() { return g_block && g_anchor.current(); }
Cell* cells() { return memory::buffer_of(g_block)->cells(); }
}  // namespace

void init() {
    g_anchor.make();
    g_block = 0;
    NodeId node = memory::alloc_cells(INITIAL_CAPACITY);
    g_block = node;
    g_capacity = INITIAL_CAPACITY;
    thread(0);
}

void thread(uint32_t from) {
    if (!usable()) return;
    for (uint32_t i = from; i < g_capacity; i++)
        cells()[i] = integer_cell(i + 1 < g_capacity ? int32_t(i + 1) : -1);
    g_free_head = from < g_capacity ? int32_t(from) : -1;
    memory::SeriesBuffer* b = memory::buffer_of(g_block);
    b->tail = b->size;
}

int32_t add(const Cell* value) {
    if (!usable()) return 0;
    Cell copy = *value;  // the value may lie in the block that grows
    if (g_free_head < 0) {
        GcRoot keep(&copy);
        uint32_t old = g_capacity;
        memory::expand_series(memory::buffer_of(g_block), int64_t(old) * 2 * sizeof(Cell));
        g_capacity = old * 2;
        thread(old);
    }
    int32_t index = g_free_head;
    g_free_head = cells()[index].as_int();
    cells()[index] = copy;
    return index + 1;
}

Cell* get(int32_t slot) {
    if (!usable() || slot < 1 || uint32_t(slot) > g_capacity) return nullptr;
    return cells() + (slot - 1);
}

void free_(int32_t slot) {
    if (!usable() || slot < 1 || uint32_t(slot) > g_capacity) return;
    cells()[slot - 1] = integer_cell(g_free_head);
    g_free_head = slot - 1;
}

uint32_t capacity() { return usable() ? g_capacity : 0; }
NodeId block() { return usable() ? g_block : 0; }

void mark_for_collector() {
    if (usable()) collector::mark_block(g_block);
}

}  // namespace zun::value_slots
