#include "core/externals.hpp"

#include "core/runtime.hpp"

namespace zun::externals {

namespace {
ExternalKind* g_kinds = nullptr;
int g_kind_count = 0;
ExternalEntry* g_entries = nullptr;
int32_t g_capacity = 0;
int32_t g_free_head = END;
int32_t g_used_head = END;

// Entries first..last-1 become free, each linking to the next; the last to END.
void thread_free(int32_t first, int32_t last) {
    for (int32_t i = first; i < last; i++)
        g_entries[i] = ExternalEntry{FREE_ENTRY, 0, i + 1 < last ? i + 1 : END};
}

void grow() {
    int32_t old = g_capacity;
    g_entries = static_cast<ExternalEntry*>(
        runtime::resize(g_entries, size_t(old) * 2 * sizeof(ExternalEntry)));
    g_capacity = old * 2;
    thread_free(old, g_capacity);
}

bool in_use(int32_t index) {
    return index >= 0 && index < g_capacity && g_entries[index].kind != FREE_ENTRY;
}

// Takes the entry out of the in-use list, whose predecessor is prev (END when
// it is the head), and pushes it on the free list.
void unlink_and_free(int32_t index, int32_t prev) {
    ExternalEntry& e = g_entries[index];
    if (prev == END) g_used_head = e.next;
    else g_entries[prev].next = e.next;
    e = ExternalEntry{FREE_ENTRY, 0, g_free_head};
    g_free_head = index;
}

int32_t predecessor(int32_t index) {
    int32_t prev = END;
    for (int32_t i = g_used_head; i != index; i = g_entries[i].next) prev = i;
    return prev;
}
}  // namespace

void init() {
    runtime::free(g_kinds);
    runtime::free(g_entries);
    g_kinds = static_cast<ExternalKind*>(runtime::allocate(MAX_KINDS * sizeof(ExternalKind)));
    g_kind_count = 0;
    g_entries = static_cast<ExternalEntry*>(
        runtime::allocate(size_t(INITIAL_ENTRIES) * sizeof(ExternalEntry)));
    g_capacity = INITIAL_ENTRIES;
    thread_free(0, g_capacity);
    g_free_head = 0;
    g_used_head = END;
}

int register_kind(const char* name, ReleaseFn release) {
    if (g_kind_count >= MAX_KINDS) return 0;
    g_kinds[g_kind_count] = ExternalKind{name, release};
    return ++g_kind_count;
}

int32_t add(uintptr_t resource, int kind) {
    int32_t index = g_free_head;
    if (g_entries[index].next == END) {
        grow();  // moves the array: index it again below
        g_entries[index].next = g_capacity / 2;
    }
    ExternalEntry& e = g_entries[index];
    g_free_head = e.next;
    e = ExternalEntry{uint32_t(kind) & KIND_MASK, resource, g_used_head};
    g_used_head = index;
    return index;
}

void release(int kind, uintptr_t resource) {
    int handle = kind & int(KIND_MASK);
    if (handle < 1 || handle > g_kind_count) return;
    if (ReleaseFn fn = g_kinds[handle - 1].release) fn(resource);
}

void set_pointer(int32_t index, uintptr_t resource) {
    if (!in_use(index)) return;
    ExternalEntry& e = g_entries[index];
    uintptr_t old = e.resource;
    e.resource = resource;
    if (old != resource) release(int(e.kind), old);
}

int32_t free_(int32_t index, bool release_flag) {
    // A second free would put the entry on the free list twice.
    if (!in_use(index)) return END;
    int kind = int(g_entries[index].kind);
    uintptr_t res = g_entries[index].resource;
    unlink_and_free(index, predecessor(index));
    if (release_flag) release(kind, res);
    return END;
}

int mark(int32_t index, uintptr_t resource) {
    if (!in_use(index)) return 0;
    ExternalEntry& e = g_entries[index];
    if (resource) e.resource = resource;
    bool was_marked = e.kind & MARK_BIT;
    e.kind |= MARK_BIT;
    return was_marked ? 0 : 1;
}

void for_each_of_kind(int kind, EachFn fn) {
    for (int32_t i = g_used_head; i != END;) {
        int32_t next = g_entries[i].next;  // fn may free this entry
        if ((g_entries[i].kind & KIND_MASK) == uint32_t(kind)) fn(g_entries[i].resource);
        i = next;
    }
}

void sweep() {
    int32_t prev = END;
    for (int32_t i = g_used_head; i != END;) {
        ExternalEntry& e = g_entries[i];
        int32_t next = e.next;
        if (e.kind & MARK_BIT) {
            e.kind &= ~MARK_BIT;
            prev = i;
        } else {
            // Freed before the callback runs, so a callback that frees or adds
            // entries finds a consistent table.
            int kind = int(e.kind);
            uintptr_t res = e.resource;
            unlink_and_free(i, prev);
            release(kind, res);
        }
        i = next;
    }
}

uintptr_t resource(int32_t index) { return in_use(index) ? g_entries[index].resource : 0; }
int32_t capacity() { return g_capacity; }

}  // namespace zun::externals
