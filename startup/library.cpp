#include "startup/library.hpp"

#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "gui/text_platform.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_object.hpp"

#include "library_modules.inc"

namespace zun::library {

namespace {

// A module starts with its header: the word Zun and a block.
void skip_header(Cell* code) {
    memory::SeriesBuffer* b = memory::buffer_of(code->data2);
    uint32_t count = b->used() / sizeof(Cell);
    Cell* cells = b->head_cell() + code->data1;
    if (count - code->data1 < 2 || !cells[0].is(TYPE_WORD) || !cells[1].is(TYPE_BLOCK)) return;
    if (symbol::name(cells[0].data2) == "Zun") code->data1 += 2;
}

// Every block, paren and path of a module, nested ones too, carries the
// library flag: the evaluator runs them unseen by tracing and error reports.
void mark_library_code(NodeId node) {
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (b->flags & memory::LIBRARY_FLAG) return;
    b->flags |= memory::LIBRARY_FLAG;
    const uint32_t count = b->used() / sizeof(Cell);
    for (uint32_t i = 0; i < count; i++) {
        const Cell cell = memory::buffer_of(node)->head_cell()[i];
        if (block::any_block_q(cell.type()) && cell.data2) mark_library_code(cell.data2);
    }
}

}  // namespace

void load_all() {
    system_object::LibraryLoad loading;
    for (uint32_t i = 0; i < library_module_count; i++) {
        const LibraryModule& m = library_modules[i];
        stack::StackScope scope;
        Cell* code = stack::push_cell();
        boot_texts::load(code, m.bytes, m.size);
        skip_header(code);
        mark_library_code(code->data2);
        if (Flow flow = interpreter::eval_block(code, false); flow != Flow::normal)
            interpreter::raise_pending(flow);
    }
    gui::bind_text_routines();
    // The library's objects took start-up class ids; a script's first object
    // gets the first run-time one.
    object::end_startup_classes();
}

uint32_t module_count() { return library_module_count; }
const char* module_name(uint32_t i) { return i < library_module_count ? library_modules[i].name : ""; }

const uint8_t* module_text(uint32_t i, size_t* size) {
    *size = i < library_module_count ? library_modules[i].size : 0;
    return i < library_module_count ? reinterpret_cast<const uint8_t*>(library_modules[i].bytes) : nullptr;
}

}  // namespace zun::library
