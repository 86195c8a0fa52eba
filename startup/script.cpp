#include "startup/script.hpp"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "startup/library.hpp"

namespace zun::startup {

namespace {

bool read_file(const char* path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// A script may start with its header: the word Zun and a block.
void skip_header(Cell* code) {
    memory::SeriesBuffer* b = memory::buffer_of(code->data2);
    uint32_t count = b->used() / sizeof(Cell);
    Cell* cells = b->head_cell() + code->data1;
    if (count - code->data1 < 2 || !cells[0].is(TYPE_WORD) || !cells[1].is(TYPE_BLOCK)) return;
    std::string_view name = symbol::name(cells[0].data2);
    if (name == "Zun" || name == "zun" || name == "ZUN") code->data1 += 2;
}

void report(const Cell* error) {
    std::vector<char> text(1 << 16);
    support::form_error(error, text.data(), text.size());
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.data());
}

}  // namespace

int run_script(const char* path) {
    std::string source;
    if (!read_file(path, source)) {
        std::fprintf(stderr, "*** cannot read script: %s\n", path);
        return 2;
    }
    stack::push_try_frame(nullptr);
    try {
        library::load_all();
        Cell* code = stack::push_cell();
        *code = Cell{TYPE_NONE, 0, 0, 0};
        uint32_t consumed = 0;
        lexer::Options options;
        lexer::transcode(code, reinterpret_cast<const uint8_t*>(source.data()),
                         uint32_t(source.size()), options, &consumed);
        skip_header(code);
        Flow flow = interpreter::eval_block(code, true);
        (void)flow;  // exits with no target were turned into errors at their raise
    } catch (const Unwind& u) {
        if (u.code != Flow::error) return 1;
        stack::adjust_after_error();
        report(stack::top());
        return 1;
    }
    std::fflush(stdout);
    return 0;
}

}  // namespace zun::startup
