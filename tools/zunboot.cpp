// zunboot: makes the boot stream. It starts a runtime that has no stream, so
// every text start-up reads is lexed; each one is recorded in order, written
// into one compact stream, then decoded again and compared with what the
// lexer gives. A difference fails the build.
//
// usage: zunboot OUTPUT
#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "services/zunbin.hpp"
#include "startup/boot_texts.hpp"
#include "startup/init.hpp"
#include "startup/script.hpp"

namespace zun {
namespace {

struct Text {
    uint64_t key;
    std::string bytes;
};
std::vector<Text> g_texts;

// Each text is written as it is lexed, before start-up runs it (running may
// bind its words in place).
void record(uint64_t key, const uint8_t* text, size_t size, const Cell* block) {
    zunbin::boot_writer_add(key, block);
    g_texts.push_back(Text{key, std::string(reinterpret_cast<const char*>(text), size)});
}

std::string mold_all(const Cell& value) {
    stack::StackScope scope;
    Cell copy = value;
    Cell* buffer = string::make_empty_at(stack::push_cell(), 64);
    actions::mold_direct(&copy, buffer, false, true, false, nullptr, 0x7FFFFFFF, 0);
    memory::SeriesBuffer* b = memory::buffer_of(buffer->data2);
    std::string text;
    for (uint32_t i = 0; i < b->used() / b->unit(); i++) {
        uint32_t c = 0;
        std::memcpy(&c, b->head_ptr() + i * b->unit(), b->unit());
        text += char(c < 0x80 ? c : '?');
    }
    return text;
}

// Types, contents, new-line marks, head indexes and word bindings.
bool same(const Cell& a, const Cell& b, std::string& why) {
    if (a.header != b.header) {
        why = "header of " + mold_all(a);
        return false;
    }
    const uint32_t type = a.type();
    if (block::any_block_q(type)) {
        if (a.data1 != b.data1) {
            why = "head of " + mold_all(a);
            return false;
        }
        const int32_t n = block::length_from_start(&a);
        if (n != block::length_from_start(&b)) {
            why = "length of " + mold_all(a);
            return false;
        }
        for (int32_t i = 0; i < n; i++)
            if (!same(*block::cell_at(&a, i), *block::cell_at(&b, i), why)) return false;
        return true;
    }
    if (string::any_string_q(type) || type == TYPE_BINARY || type == TYPE_VECTOR || type == TYPE_BITSET) {
        memory::SeriesBuffer* x = memory::buffer_of(a.data2);
        memory::SeriesBuffer* y = memory::buffer_of(b.data2);
        const bool equal = a.data1 == b.data1 && a.data3 == b.data3 && x->unit() == y->unit() &&
                           x->used() == y->used() && std::memcmp(x->head_ptr(), y->head_ptr(), x->used()) == 0;
        if (!equal) why = "contents of " + mold_all(a);
        return equal;
    }
    switch (type) {
        case TYPE_MAP: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_FUNCTION: case TYPE_IMAGE:
            if (mold_all(a) != mold_all(b)) {
                why = "value " + mold_all(a);
                return false;
            }
            return true;
        default:
            if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) {
                why = "payload of " + mold_all(a);
                return false;
            }
            return true;
    }
}

struct Run {
    const char* output;
    int status;
};

// Every text decoded from the stream against the lexer's block of it.
bool check(const std::vector<uint8_t>& stream) {
    zunbin::boot_open(stream.data(), int64_t(stream.size()));
    for (const Text& t : g_texts) {
        stack::StackScope scope;
        Cell* decoded = stack::push_cell();
        if (!zunbin::boot_next(t.key, decoded)) {
            std::fprintf(stderr, "zunboot: the stream lost a text\n");
            return false;
        }
        Cell* lexed = stack::push_cell();
        *lexed = make_cell(TYPE_NONE);
        uint32_t consumed = 0;
        lexer::transcode(lexed, reinterpret_cast<const uint8_t*>(t.bytes.data()), uint32_t(t.bytes.size()),
                         lexer::Options{}, &consumed);
        std::string why;
        if (!same(*decoded, *lexed, why)) {
            std::fprintf(stderr, "zunboot: the stream differs from the text: %s\n", why.c_str());
            return false;
        }
    }
    return true;
}

void* run(void* arg) {
    Run* r = static_cast<Run*>(arg);
    r->status = 1;
    boot_texts::set_recorder(record);
    try {
        startup::init_runtime();
        startup::read_startup_texts();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        std::string text(4096, '\0');
        support::form_error(stack::top(), text.data(), text.size());
        std::fprintf(stderr, "zunboot: start-up failed:\n%s\n", text.c_str());
        return nullptr;
    }
    boot_texts::set_recorder(nullptr);
    const std::vector<uint8_t> stream = zunbin::boot_writer_finish();
    try {
        if (!check(stream)) return nullptr;
    } catch (...) {
        std::fprintf(stderr, "zunboot: the stream does not decode\n");
        return nullptr;
    }
    std::ofstream out(r->output, std::ios::binary);
    out.write(reinterpret_cast<const char*>(stream.data()), std::streamsize(stream.size()));
    if (!out) {
        std::fprintf(stderr, "zunboot: cannot write %s\n", r->output);
        return nullptr;
    }
    r->status = 0;
    return nullptr;
}

}  // namespace
}  // namespace zun

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zunboot OUTPUT\n");
        return 2;
    }
    zun::Run r{argv[1], 1};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t(256) << 20);
    pthread_t thread;
    if (pthread_create(&thread, &attr, zun::run, &r) != 0) zun::run(&r);
    else pthread_join(thread, nullptr);
    return r.status;
}
