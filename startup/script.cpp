#include "startup/script.hpp"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/stack.hpp"
#include "startup/console_terminal.hpp"
#include "startup/library.hpp"
#include "startup/system_object.hpp"

namespace zun::startup {

namespace {

bool library_loaded = false;

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

// Evaluates a line of Zun source in the global context; its value stays on
// the stack.
Cell* eval_text(const char* source) {
    Cell* code = stack::push_cell();
    boot_texts::load(code, source, std::strlen(source));
    // Start-up's own calls into the library are library code: their frames
    // stay out of the user's error reports.
    memory::buffer_of(code->data2)->flags |= memory::LIBRARY_FLAG;
    if (Flow flow = interpreter::eval_block(code, true); flow != Flow::normal)
        interpreter::raise_pending(flow);
    return stack::top();
}

constexpr const char* LAUNCH = "system/console/launch";
constexpr const char* HAS_LAUNCH =
    "all [value? 'system object! = type? :system in system 'console "
    "object! = type? get in system 'console "
    "function! = type? get in system/console 'launch]";

}  // namespace

int run_script(const char* path) {
    std::string source;
    if (!read_file(path, source)) {
        std::fprintf(stderr, "*** cannot read script: %s\n", path);
        return 2;
    }
    stack::push_try_frame(nullptr);
    try {
        if (!library_loaded) library::load_all();
        library_loaded = true;
        system_object::apply_command_line(path);
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

void read_startup_texts() {
    console_terminal::install();
    library::load_all();
    stack::StackScope scope;
    for (const char* line : {HAS_LAUNCH, LAUNCH}) boot_texts::load(stack::push_cell(), line, std::strlen(line));
}

int run_console(int argc, char** argv) {
    stack::push_try_frame(nullptr);
    try {
        console_terminal::install();
        library::load_all();
        library_loaded = true;
        stack::StackScope scope;
        Cell* ready = eval_text(HAS_LAUNCH);
        if (ready->is(TYPE_NONE) || (ready->is(TYPE_LOGIC) && ready->data1 == 0)) {
            if (argc > 1) return run_script(argv[1]);
            std::fprintf(stderr, "*** the console engine is missing from the library\n");
            return 2;
        }
        eval_text(LAUNCH);
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
