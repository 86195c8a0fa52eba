#include "interpreter/stack.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"

namespace zun {

void raise_flow(Flow code) { throw PendingFlow{{code}}; }

}  // namespace zun

namespace zun::stack {

Cell* g_bottom = nullptr;
Cell* g_top = nullptr;
Cell* g_end = nullptr;
Cell* g_base = nullptr;
NodeId g_values_context = NO_VALUES_CONTEXT;
uint32_t g_values_word = 0;
CallFrame* g_frame_bottom = nullptr;
CallFrame* g_frame_top = nullptr;
CallFrame* g_frame_end = nullptr;
uint32_t g_library_code = 0;

namespace {

constexpr uint32_t FRAME_STACK_CELLS = FRAME_STACK_RECORDS * sizeof(CallFrame) / sizeof(Cell);
static_assert(FRAME_STACK_CELLS * sizeof(Cell) == FRAME_STACK_RECORDS * sizeof(CallFrame));
constexpr uint32_t NO_POSITION = 0xFFFFFFFF;
constexpr uint32_t STACK_CONTEXT_FLAG = 1u << 22;  // context! header: values on the stack
constexpr const char* DEFAULT_CAPTION = runtime::k_error_caption;

struct FixedBlock {
    NodeId node = 0;
    memory::SeriesBuffer* buffer = nullptr;
};
FixedBlock g_value_block;
FixedBlock g_frame_block;

uint32_t g_body_symbol = 0;
uint32_t g_anon_symbol = 0;
uint32_t g_saved_position = NO_POSITION;  // set by a failed throw, read by the next where

// A second init (tests) keeps the blocks while the memory manager still maps
// them; after memory::init they belong to nobody else and are released (malloc
// series live on the runtime heap).
void make_fixed_block(FixedBlock& block, uint32_t cells) {
    if (block.buffer) {
        if (memory::buffer_of(block.node) == block.buffer) return;
        runtime::free(block.buffer);
    }
    block.node = memory::alloc_series_malloc(cells, sizeof(Cell), 0);
    block.buffer = memory::buffer_of(block.node);
    std::memset(block.buffer->data(), 0, block.buffer->size);
}

Cell* context_cell(NodeId context) { return memory::buffer_of(context)->head_cell(); }

bool hidden_name(const CallFrame* record) {
    uint32_t symbol = record->symbol();
    return (g_body_symbol && symbol == g_body_symbol) || (g_anon_symbol && symbol == g_anon_symbol);
}

bool hidden(const CallFrame* record) { return record->library() || hidden_name(record); }


// Pops records down to the nearest one of `kind` or a try-all frame, restoring
// the contexts of the function records passed. The record found stays on the
// frame stack and g_base is its own base; nullptr when the stack ran empty.
CallFrame* cut_to_kind(uint32_t kind) {
    while (g_frame_top > g_frame_bottom) {
        CallFrame* record = g_frame_top - 1;
        if (record->kind() == kind || record->kind() == TRY_ALL_FRAME) return record;
        if (record->kind() == FUNCTION_FRAME) restore_values(record);
        g_base = cell_at(record->saved_base);
        g_frame_top = record;
    }
    return nullptr;
}

// The target of a break, continue, return, exit or throw, searched below the
// exit's own frame; nullptr when a try-all frame or the bottom comes first.
template <typename Match> CallFrame* find_target(Match match) {
    if (g_frame_top == g_frame_bottom) return nullptr;
    for (CallFrame* record = g_frame_top - 1; record > g_frame_bottom;) {
        --record;
        if (record->kind() == TRY_ALL_FRAME) return nullptr;
        if (match(record)) return record;
    }
    return nullptr;
}

// Makes the target current with an empty frame. The records passed lose their
// frames here, so their function contexts are restored as their pops would have,
// innermost first; otherwise an outer call of a recursive function would read
// dead cells.
void enter_target(CallFrame* target) {
    for (CallFrame* record = g_frame_top - 1; record > target; --record) restore_values(record);
    g_base = cell_at(target[1].saved_base);
    g_top = g_base;
    g_frame_top = target + 1;
}

Cell unset_cell() { return make_cell(TYPE_UNSET); }

}  // namespace

void init() {
    make_fixed_block(g_value_block, VALUE_STACK_CELLS);
    make_fixed_block(g_frame_block, FRAME_STACK_CELLS);
    g_bottom = g_value_block.buffer->cells();
    g_end = g_bottom + VALUE_STACK_CELLS;
    g_top = g_base = g_bottom;
    forget_values_context();
    g_frame_bottom = reinterpret_cast<CallFrame*>(g_frame_block.buffer->data());
    g_frame_end = g_frame_bottom + FRAME_STACK_RECORDS;
    g_frame_top = g_frame_bottom;
    g_library_code = 0;
    g_saved_position = NO_POSITION;
}

void set_hidden_symbols(uint32_t body_symbol, uint32_t anon_symbol) {
    g_body_symbol = body_symbol;
    g_anon_symbol = anon_symbol;
}

bool initialised() { return g_bottom != nullptr; }

void value_overflow() {
    // push_cell advanced top to the end: back off so the error path has room.
    g_top -= BACK_OFF_CELLS;
    cycles::reset();
    support::fire_error(ErrorId::internal_stack_overflow);
}

void frame_overflow() {
    g_top = g_top - g_bottom > int64_t(BACK_OFF_CELLS) ? g_top - BACK_OFF_CELLS : g_bottom;
    cycles::reset();
    support::fire_error(ErrorId::internal_stack_overflow);
}

void adjust_after_error() {
    const Cell* last = top();
    if (last->is(TYPE_ERROR)) *g_base = *last;
    g_top = g_base + 1;
}

void push_compiled_function_frame(const Cell* name, NodeId context) {
    if (context) set_values(context, values_word(g_base));
    push_frame(name, NATIVE_FRAME | BODY_BYTE);
}

void set_body_flag(bool on) {
    CallFrame* record = top_frame();
    if (!record) return;
    if (on) record->header |= BODY_BYTE << 24;
    else record->header &= ~(BODY_BYTE << 24);
}

void set_top_frame_interpreted() {
    if (CallFrame* record = top_frame()) record->header |= INTERP_BYTE << 24;
}

CallFrame* set_caller_body_flag() {
    if (frame_depth() < 2) return nullptr;
    CallFrame* caller = g_frame_top - 2;
    if (caller->body()) return nullptr;
    // A frame of library code stops only the library's own returns.
    caller->header |= (BODY_BYTE | (caller->library() ? LIBRARY_BODY_BYTE : 0)) << 24;
    return caller;
}

void clear_body_flag(CallFrame* record) {
    if (record) record->header &= ~((BODY_BYTE | LIBRARY_BODY_BYTE) << 24);
}

bool interpreted_frame(CallFrame* start, bool next_only) {
    for (CallFrame* record = start ? start : g_frame_top; record > g_frame_bottom;) {
        --record;
        if (record->interpreted()) return true;
        if (next_only) return false;
    }
    return false;
}

void pop_frame_discard() {
    CallFrame* record;
    Cell* slot0 = take_record(&record);
    if (!slot0) return;
    if (record->kind() == FUNCTION_FRAME) restore_values(record);
    g_top = slot0;
    if (g_frame_top == g_frame_bottom) g_base = g_top = g_bottom;
}

void unwind_to_frame(uint32_t kind, bool keep) {
    Cell* innermost = g_base;
    CallFrame* found = cut_to_kind(kind);
    if (!found) {
        g_base = g_top = g_bottom;
        return;
    }
    if (!keep) g_base = cell_at(found->saved_base);
    g_top = innermost + 1;
}

void unwind_to_frame_set_result(uint32_t kind) {
    Cell result = *g_base;
    CallFrame* found = cut_to_kind(kind);
    if (!found) {
        g_base = g_top = g_bottom;
        return;
    }
    *g_base = result;  // g_base is the found frame's own slot 0
    g_top = g_base;
}

void throw_error(Cell* error) {
    Cell value = *error;  // usually on the stack, in cells the unwind gives up
    CallFrame* catcher = nullptr;
    if (g_frame_top > g_frame_bottom) {
        // The look-up also consumes a position saved by a failed throw, so it
        // runs for an interim error too, which has no where to keep it in.
        Cell where = current_callee_word();
        if (error::real_q(&value)) error::set_where(&value, &where);
        record_error_frame(&value);
        Cell* saved_top = g_top;
        catcher = cut_to_kind(TRY_FRAME);
        if (catcher) {
            g_base = cell_at(catcher->saved_base);
            g_frame_top = catcher;
        }
        g_top = saved_top;
    }
    if (!catcher) top_level_handler(&value);
    // A full stack must not turn the push into a second overflow that would
    // skip the try frame just popped.
    if (g_top + 1 >= g_end) g_top = g_end - BACK_OFF_CELLS;
    push(&value);
    throw Unwind{Flow::error};
}

Flow throw_loop_signal(bool has_value, bool is_continue) {
    CallFrame* loop = find_target([](const CallFrame* r) { return r->kind() == LOOP_FRAME; });
    if (!loop) support::fire_error(is_continue ? ErrorId::throw_continue : ErrorId::throw_break);
    Cell value = has_value && !is_continue ? *g_base : unset_cell();
    enter_target(loop);
    *g_base = value;
    return is_continue ? Flow::continue_ : Flow::break_;
}

Flow throw_return_signal(bool has_value) {
    // Library code returns from its own function; user code passes the bodies
    // of library functions it was handed to.
    CallFrame* body = g_library_code
                          ? find_target([](const CallFrame* r) { return r->body(); })
                          : find_target([](const CallFrame* r) { return r->body() && !r->library_body(); });
    if (!body) support::fire_error(ErrorId::throw_return);
    Cell value = has_value ? *g_base : unset_cell();
    enter_target(body);
    *g_base = value;
    return has_value ? Flow::return_ : Flow::exit;
}

Flow throw_value(Flow code) {
    Cell value = g_base[0];
    Cell name = g_base + 1 < g_top ? g_base[1] : unset_cell();
    CallFrame* catcher = find_target([](const CallFrame* r) { return r->kind() == CATCH_FRAME; });
    if (!catcher) {
        // Saved only here: a throw that reaches its catch must not leave a
        // position for the where of some later, unrelated error.
        save_error_frame_position();
        support::fire_error(ErrorId::throw_throw, &value);
    }
    enter_target(catcher);
    push(&value);
    push(&name);
    return code;
}

Cell current_callee_word() {
    CallFrame* record = g_frame_top;
    if (g_saved_position != NO_POSITION) {
        record = g_frame_bottom + std::min(g_saved_position, FRAME_STACK_RECORDS);
        g_saved_position = NO_POSITION;
    }
    // Library code's frames stand in only when no call of user code is found
    // (an error of the console's top level names the library call it ran in).
    const CallFrame* library = nullptr;
    while (record > g_frame_bottom) {
        --record;
        if (record->library() && !library && record->symbol() && !hidden_name(record)) library = record;
        if (hidden(record)) continue;
        // Until symbols exist the record's own symbol and context stand for the word.
        if (!symbols::ready())
            return make_cell(TYPE_WORD, record->name_context, record->symbol(), 0xFFFFFFFF);
        if (record->symbol()) return context::resolve_symbol(record->name_context, record->symbol());
        break;  // an unnamed frame
    }
    if (library && symbols::ready()) return context::resolve_symbol(library->name_context, library->symbol());
    // Symbol 0 stands for the <not-found> word until symbols exist.
    return symbols::ready() ? *words::get(words::not_found) : make_cell(TYPE_WORD, 0, 0, 0xFFFFFFFF);
}

void record_error_frame(Cell* error) {
    // An interim error keeps the position in word 3.
    if (error::real_q(error)) error::set_stack_position(error, frame_depth());
    else error->data3 = frame_depth();
}

void save_error_frame_position() {
    if (g_saved_position == NO_POSITION && frame_depth() > 0) g_saved_position = frame_depth() - 1;
}

void top_level_handler(Cell* error) {
    Cell value = *error;
    if (initialised()) {
        set_last(&value);
        g_top = g_base + 1;  // every call is over: forming gets the whole stack
    }
    std::string text(1u << 20, '\0');
    support::form_error(&value, text.data(), text.size());
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n%s\n", DEFAULT_CAPTION, text.c_str());
    std::fflush(stderr);
    runtime::show_error_box(DEFAULT_CAPTION, text.c_str());
    std::exit(-2);
}

void mark_for_collector(MarkContextFn mark_context, MarkBlockFn mark_block) {
    for (CallFrame* record = g_frame_bottom; record < g_frame_top; ++record) {
        if (record->name_context) mark_context(record->name_context);
        NodeId context = record->function_context;
        if (!context) continue;
        mark_context(context);
        if (record->saved_values && !(context_cell(context)->header & STACK_CONTEXT_FLAG))
            mark_block(record->saved_values);
    }
}

}  // namespace zun::stack
