#include "startup/boot_texts.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "services/zunbin.hpp"

namespace zun::boot_texts {

namespace {

const uint8_t* g_stream = nullptr;
size_t g_stream_size = 0;
const uint8_t* g_keys = nullptr;
uint32_t g_key_count = 0;
Recorder g_recorder = nullptr;
uint32_t g_lexed = 0;

// The literals of the load: where they start in the root block, and which
// have been handed out (each once: a second ask gets a fresh lexed copy).
bool g_loaded = false;
uint32_t g_base = 0;
uint32_t g_literals = 0;
uint32_t g_next = 0;
std::vector<bool> g_taken;

uint64_t key_at(uint32_t i) {
    uint64_t key;
    std::memcpy(&key, g_keys + 8 * size_t(i), 8);
    return key;
}

// The literal of the key: the next one in start-up's order, else any not
// taken; -1 when none.
int64_t find_literal(uint64_t key) {
    if (!g_loaded) return -1;
    if (g_next < g_literals && !g_taken[g_next] && key_at(g_next) == key) return g_next++;
    for (uint32_t i = 0; i < g_literals; i++)
        if (!g_taken[i] && key_at(i) == key) return i;
    return -1;
}

}  // namespace

void set_stream(const uint8_t* data, size_t size, const uint8_t* keys, size_t keys_size) {
    g_stream = data;
    g_stream_size = size;
    g_keys = keys;
    g_key_count = uint32_t(keys_size / 8);
    g_loaded = false;
}

void load_stream() {
    g_loaded = false;
    g_next = 0;
    if (!g_stream) return;
    const Cell root = *symbols::root_block();
    g_base = zunbin::load_boot_data(g_stream, int64_t(g_stream_size), false);
    const uint32_t cells = memory::buffer_of(root.data2)->used() / sizeof(Cell);
    g_literals = std::min(cells - g_base, g_key_count);
    g_taken.assign(g_literals, false);
    g_loaded = true;
}

bool loaded() { return g_loaded; }

uint64_t key_of(const uint8_t* text, size_t size) {
    // FNV-1a over the first and last 64 bytes: the build regenerates the
    // stream whenever a text changes, the key only guards the order.
    uint32_t h = 2166136261u;
    auto mix = [&](const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 16777619u;
    };
    const size_t edge = size < 64 ? size : 64;
    mix(text, edge);
    mix(text + size - edge, edge);
    return uint64_t(size) << 32 | h;
}

void load(Cell* into, const uint8_t* text, size_t size) {
    const uint64_t key = key_of(text, size);
    if (const int64_t i = find_literal(key); i >= 0) {
        g_taken[size_t(i)] = true;
        *into = memory::buffer_of(symbols::root_block()->data2)->head_cell()[g_base + uint32_t(i)];
        return;
    }
    *into = make_cell(TYPE_NONE);
    uint32_t consumed = 0;
    lexer::transcode(into, text, uint32_t(size), lexer::Options{}, &consumed);
    g_lexed++;
    if (g_recorder) g_recorder(key, text, size, into);
}

void set_recorder(Recorder recorder) { g_recorder = recorder; }

uint32_t lexed_count() { return g_lexed; }

Cell make_routine(const char* spec_text, routine::Entry entry, int32_t return_type) {
    stack::StackScope scope;
    Cell* spec = stack::push_cell();
    load(spec, spec_text, std::strlen(spec_text));
    return *routine::push(spec, nullptr, routine::register_entry(entry), return_type, false);
}

}  // namespace zun::boot_texts
