// External resources: OS objects (bitmaps, fonts...) that values refer to by an
// entry index. The collector marks the entries live values reach; the sweep
// hands every other entry to its kind's release callback.
#pragma once
#include <cstdint>

namespace zun::externals {

using ReleaseFn = void (*)(uintptr_t resource);
using EachFn = void (*)(uintptr_t resource);

constexpr int MAX_KINDS = 20;
constexpr int32_t INITIAL_ENTRIES = 1000;
constexpr uint32_t KIND_MASK = 0xFF;
constexpr uint32_t MARK_BIT = 0x80000000;
constexpr uint32_t FREE_ENTRY = 0x40000000;
constexpr int32_t END = -1;

struct ExternalKind {
    const char* name;
    ReleaseFn release;
};

struct ExternalEntry {
    uint32_t kind;       // kind handle in bits 0-7, MARK_BIT; FREE_ENTRY when free
    uintptr_t resource;
    int32_t next;        // next in the free list or the in-use list; END ends it
};

// Makes the tables (again: a second call drops every kind and entry).
void init();
// The kind's 1-based handle; 0 (a kind that releases nothing) once all
// MAX_KINDS are taken.
int register_kind(const char* name, ReleaseFn release);

// The entry index; the array doubles when its last free entry is taken.
int32_t add(uintptr_t resource, int kind);
// Calls the kind's callback; a handle below 1 or without a callback does nothing.
void release(int kind, uintptr_t resource);
// Stores a new resource, releasing the old one when it differs.
void set_pointer(int32_t index, uintptr_t resource);
// Releases the resource when release_flag is set, frees the entry and answers
// END. An index that is not an entry in use is left alone.
int32_t free_(int32_t index, bool release_flag);
// Marks the entry and, when resource is not 0, stores it (without releasing the
// old one). 1 when it was not marked before; 0 also for an entry not in use.
int mark(int32_t index, uintptr_t resource);
// Calls fn with the resource of every in-use entry of the kind.
void for_each_of_kind(int kind, EachFn fn);
// Keeps marked entries (clearing the mark), releases and frees the others.
void sweep();

// For handle! values and checks: the entry's resource (0 for one not in use)
// and the array's size.
uintptr_t resource(int32_t index);
int32_t capacity();

}  // namespace zun::externals
