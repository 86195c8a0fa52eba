// zunboot: makes the boot stream. It starts a runtime that has no stream, so
// every text start-up reads is lexed; each one is recorded in order (a copy
// of its block, taken before start-up runs it). The stream then holds, after
// a symbol table that lists the global words in the order this start-up
// ended with: a set record for every native and action of the spec text,
// then every other text's block as a boot literal, in start-up's order. The
// keys of the literals go to a second file. The stream is decoded again and
// compared with what the lexer gives; a difference fails the build.
//
// usage: zunboot STREAM KEYS
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
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/word.hpp"
#include "startup/boot_values.hpp"
#include "services/zunbin.hpp"
#include "startup/boot_texts.hpp"
#include "startup/init.hpp"
#include "startup/script.hpp"
#include "tools/zunboot_compare.hpp"

namespace zun {
namespace {

struct Text {
    uint64_t key;
    std::string bytes;
};
std::vector<Text> g_texts;
// The copies of the recorded blocks, in one block the root block holds.
Cell* g_copies = nullptr;

// A copy is taken as the text is lexed, before start-up runs it (running may
// bind its words in place).
void record(uint64_t key, const uint8_t* text, size_t size, const Cell* block) {
    stack::StackScope scope;
    if (!g_copies) {
        g_copies = support::append_cell(symbols::root_block());
        block::make_at(g_copies, 512);
    }
    Cell* source = stack::push(block);
    Cell* copy = stack::push_cell();
    block::copy(source, copy, nullptr, true, nullptr);
    *support::append_cell(g_copies) = *copy;
    g_texts.push_back(Text{key, std::string(reinterpret_cast<const char*>(text), size)});
}

const Cell& copy_of(size_t i) { return *block::cell_at(g_copies, int32_t(i)); }

using zunboot::mold_all;
using zunboot::same;

struct Run {
    const char* output;
    const char* keys;
    int status;
};

Cell lex(const Text& t) {
    Cell lexed = make_cell(TYPE_NONE);
    uint32_t consumed = 0;
    lexer::transcode(&lexed, reinterpret_cast<const uint8_t*>(t.bytes.data()), uint32_t(t.bytes.size()),
                     lexer::Options{}, &consumed);
    return lexed;
}

void write_set_record(void*, const Cell& name, uint32_t type, uint32_t index, const Cell& spec) {
    zunbin::boot_writer_set_function(name.data2, type, index, &spec);
}

// The global words in their order, the natives and actions (the reader
// applies the set records that lead the stream when it opens), the literals.
std::vector<uint8_t> write_stream(std::vector<uint64_t>& keys) {
    const NodeId global = context::global();
    const Cell* words = memory::buffer_of(context::word_block(global))->head_cell();
    std::vector<uint32_t> symbols;
    for (uint32_t i = 0; i < context::word_count(global); i++) symbols.push_back(words[i].data2);
    zunbin::boot_writer_begin(symbols);
    for (size_t i = 0; i < g_texts.size(); i++) {
        if (g_texts[i].key != boot_values::specs_key()) continue;
        stack::StackScope scope;
        boot_values::visit_functions(stack::push(&copy_of(i)), write_set_record, nullptr);
    }
    for (size_t i = 0; i < g_texts.size(); i++) {
        if (g_texts[i].key == boot_values::specs_key()) continue;
        stack::StackScope scope;
        zunbin::boot_writer_literal(stack::push(&copy_of(i)));
        keys.push_back(g_texts[i].key);
    }
    return zunbin::boot_writer_finish();
}

struct SpecCheck {
    bool ok = true;
    std::string why;
};

// A native or action word holds what the set record made: its index, its
// spec as lexed.
void check_function(void* data, const Cell& name, uint32_t type, uint32_t index, const Cell& spec) {
    SpecCheck& c = *static_cast<SpecCheck*>(data);
    if (!c.ok) return;
    const Cell* value = context::find_word_value(name.data2, context::global());
    if (!value || value->type() != type || value->data1 != index) {
        c.ok = false;
        c.why = "the function of " + mold_all(name);
        return;
    }
    const Cell made = make_cell(TYPE_BLOCK, 0, value->data2, 0);
    if (!same(made, spec, c.why)) c.ok = false;
}

// The stream read as start-up reads it, a value at a time, into a scratch
// block: every literal against the lexer's block of its text, every native
// and action against the spec.
bool check(const std::vector<uint8_t>& stream) {
    stack::StackScope scope;
    Cell* scratch = stack::push_cell();
    block::make_at(scratch, 512);
    zunbin::boot_open(stream.data(), int64_t(stream.size()), *scratch);
    while (zunbin::boot_next()) {
    }
    int32_t literal = 0;
    for (const Text& t : g_texts) {
        Cell* lexed = stack::push_cell();
        *lexed = lex(t);
        std::string why;
        if (t.key == boot_values::specs_key()) {
            SpecCheck c;
            boot_values::visit_functions(lexed, check_function, &c);
            if (!c.ok) {
                std::fprintf(stderr, "zunboot: a set record differs from the specs: %s\n", c.why.c_str());
                return false;
            }
            continue;
        }
        if (literal >= block::length_from_start(scratch)) {
            std::fprintf(stderr, "zunboot: the stream lost a text\n");
            return false;
        }
        if (!same(*block::cell_at(scratch, literal++), *lexed, why)) {
            std::fprintf(stderr, "zunboot: the stream differs from the text: %s\n", why.c_str());
            return false;
        }
    }
    if (literal != block::length_from_start(scratch)) {
        std::fprintf(stderr, "zunboot: the stream holds more than the texts\n");
        return false;
    }
    return true;
}

bool write_file(const char* path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    if (out) return true;
    std::fprintf(stderr, "zunboot: cannot write %s\n", path);
    return false;
}

void* run(void* arg) {
    Run* r = static_cast<Run*>(arg);
    r->status = 1;
    boot_texts::set_recorder(record);
    std::vector<uint64_t> keys;
    std::vector<uint8_t> stream;
    try {
        startup::init_runtime();
        startup::read_startup_texts();
        boot_texts::set_recorder(nullptr);
        stream = write_stream(keys);
    } catch (const Unwind&) {
        stack::adjust_after_error();
        std::string text(4096, '\0');
        support::form_error(stack::top(), text.data(), text.size());
        std::fprintf(stderr, "zunboot: start-up failed:\n%s\n", text.c_str());
        return nullptr;
    }
    try {
        if (!check(stream)) return nullptr;
    } catch (...) {
        std::fprintf(stderr, "zunboot: the stream does not decode\n");
        return nullptr;
    }
    std::vector<uint8_t> key_bytes(keys.size() * 8);
    if (!keys.empty()) std::memcpy(key_bytes.data(), keys.data(), key_bytes.size());
    if (!write_file(r->output, stream.data(), stream.size()) ||
        !write_file(r->keys, key_bytes.data(), key_bytes.size()))
        return nullptr;
    r->status = 0;
    return nullptr;
}

}  // namespace
}  // namespace zun

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: zunboot STREAM KEYS\n");
        return 2;
    }
    zun::Run r{argv[1], argv[2], 1};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, size_t(256) << 20);
    pthread_t thread;
    if (pthread_create(&thread, &attr, zun::run, &r) != 0) zun::run(&r);
    else pthread_join(thread, nullptr);
    return r.status;
}
