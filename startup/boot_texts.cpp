#include "startup/boot_texts.hpp"

#include <cstring>

#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "services/zunbin.hpp"

namespace zun::boot_texts {

namespace {

const uint8_t* g_stream = nullptr;
size_t g_stream_size = 0;
bool g_open = false;
Recorder g_recorder = nullptr;
uint32_t g_lexed = 0;

}  // namespace

void set_stream(const uint8_t* data, size_t size) {
    g_stream = data;
    g_stream_size = size;
    g_open = false;
}

void open() {
    g_open = g_stream != nullptr;
    if (g_open) zunbin::boot_open(g_stream, int64_t(g_stream_size));
}

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
    if (g_open && zunbin::boot_next(key, into)) return;
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
