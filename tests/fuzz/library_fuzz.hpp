// Shared by the fuzz targets that drive library functions: the whole runtime
// with the library loaded, a driver text run once, and the code they call.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/cell.hpp"
#include "core/symbols.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "startup/console_terminal.hpp"
#include "startup/init.hpp"
#include "startup/library.hpp"
#include "startup/system_object.hpp"

namespace zun::fuzz {

// The values of the text, as a block on the value stack.
inline Cell* load_code(const char* text) {
    Cell* code = stack::push_cell();
    *code = Cell{TYPE_NONE, 0, 0, 0};
    uint32_t consumed = 0;
    lexer::transcode(code, reinterpret_cast<const uint8_t*>(text), uint32_t(std::strlen(text)),
                     lexer::Options{}, &consumed);
    return code;
}

inline void set_global(uint32_t symbol, const Cell* value) {
    Cell word = *word::make_global_from_symbol(symbol);
    word::set_value(&word, value);
}

// Starts the runtime, loads the library and runs the driver; a driver that
// fails is reported on standard error and stops the run.
inline void start_with_library(const char* program, const char* driver) {
    static const char* argv[] = {program, nullptr};
    system_object::set_command_line(1, argv);
    startup::init_runtime();
    stack::push_try_frame(nullptr);
    try {
        console_terminal::install();
        library::load_all();
        if (interpreter::eval_block(load_code(driver), false) != Flow::normal) __builtin_trap();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        Cell* text = string::make_empty_at(stack::push_cell(), 64);
        actions::mold_direct(stack::top() - 1, text, false, false, false, nullptr, 4000, 0);
        std::fwrite(string::head_pointer(text), 1, size_t(string::length_from_head(text)), stderr);
        __builtin_trap();
    }
}

}  // namespace zun::fuzz
