#include "startup/boot_texts.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/series/block.hpp"
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

// The literals of the stream: decoded one at a time into a block the root
// block holds, as start-up asks for them, and each handed out once (a second
// ask gets a fresh lexed copy).
bool g_loaded = false;
NodeId g_literal_block = 0;
uint32_t g_literals = 0;  // the keys: no more literals than these are asked for
uint32_t g_decoded = 0;
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

// Literals are decoded in stream order, up to the one asked for; false when
// the stream ends first.
bool decode_through(uint32_t i) {
    for (; g_decoded <= i; g_decoded++)
        if (!zunbin::boot_next()) return false;
    return true;
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
    g_decoded = 0;
    if (!g_stream) return;
    stack::StackScope scope;
    Cell* literals = stack::push_cell();
    block::make_at(literals, int32_t(g_key_count));
    *support::append_cell(symbols::root_block()) = *literals;
    g_literal_block = literals->data2;
    zunbin::boot_open(g_stream, int64_t(g_stream_size), *literals);
    g_literals = g_key_count;
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
    if (const int64_t i = find_literal(key); i >= 0 && decode_through(uint32_t(i))) {
        g_taken[size_t(i)] = true;
        Cell& literal = memory::buffer_of(g_literal_block)->head_cell()[i];
        *into = literal;
        // Handed out: the caller's cell keeps it from here. A block is
        // dropped; an object or function stays for the words that name its
        // context by literal number.
        if (block::any_block_q(literal.type())) literal = make_cell(TYPE_NONE);
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

uint32_t decoded_count() { return g_decoded; }

Cell make_routine(const char* spec_text, routine::Entry entry, int32_t return_type) {
    stack::StackScope scope;
    Cell* spec = stack::push_cell();
    load(spec, spec_text, std::strlen(spec_text));
    return *routine::push(spec, nullptr, routine::register_entry(entry), return_type, false);
}

}  // namespace zun::boot_texts
