// libFuzzer target: the transcode core on arbitrary bytes, in each of its
// modes. Syntax errors (and not-done for datatypes that come later) are the
// expected outcome of most inputs; anything else a sanitizer reports is a
// fault. The runtime starts over every few thousand inputs, as nothing is
// collected between them.
#include <cstddef>
#include <cstdint>

#include "core/case_folding.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

void start_runtime() {
    memory::init();
    cycles::init();
    stack::init();
    registry::register_all();
    unicode::init_case_tables();
    symbols::init();
    lexer::init();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint32_t runs = 0;
    if (runs++ % 4000 == 0) start_runtime();
    if (size == 0) return 0;
    // The first byte picks the mode; the rest is the text.
    uint8_t mode = data[0];
    lexer::Options options;
    options.one_value = mode & 1;
    options.load = !(mode & 2);
    options.produce = !(mode & 4);
    Cell* out = stack::push_cell();
    *out = make_cell(TYPE_UNSET);
    stack::push_try_frame(nullptr);
    try {
        uint32_t consumed = 0;
        lexer::transcode(out, data + 1, uint32_t(size - 1), options, &consumed);
        if (consumed > size - 1) __builtin_trap();
        stack::pop_frame();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        stack::pop_frame();
    }
    stack::g_top = stack::g_bottom;
    if (lexer::token_cells_in_use() != 0) __builtin_trap();
    return 0;
}
