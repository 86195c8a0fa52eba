#include "interpreter/trace.hpp"

#include <iterator>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/word.hpp"
#include "interpreter/eval.hpp"

namespace zun::interpreter {

uint32_t g_trace_switch = 0;
uint32_t g_user_trace_switch = 0;

namespace {

Cell g_tracer_fallback = make_cell(TYPE_NONE);
Cell* g_tracer = &g_tracer_fallback;  // a root-block cell once init has run
uint32_t g_trace_active = 0;
uint32_t g_trace_mask = 0;

constexpr const char* EVENT_NAMES[] = {"init",   "end",  "prolog", "epilog", "enter", "exit",
                                      "open",   "return", "fetch", "push",  "set",   "call",
                                      "error",  "throw",  "catch", "expr"};
constexpr uint32_t EVENT_COUNT = std::size(EVENT_NAMES);
Cell g_event_words[EVENT_COUNT];

const Cell* event_word(uint32_t event) { return &g_event_words[__builtin_ctz(event)]; }

void trace_error(const Cell* error) { trace(TRACE_ERROR, 0, -1, nullptr, error); }

}  // namespace

void init_tracer() {
    g_tracer = support::append_cell(symbols::root_block());  // root-block cells never move
    *g_tracer = make_cell(TYPE_NONE);
    g_trace_switch = 0;
    g_trace_active = 0;
    g_trace_mask = 0;
    for (uint32_t i = 0; i < EVENT_COUNT; i++) g_event_words[i] = *word::make_global(EVENT_NAMES[i]);
}

bool tracing_active() { return g_trace_active != 0; }

void set_user_trace_switch(bool on) { g_user_trace_switch = on && g_trace_active; }

uint32_t trace_mask_from_words(const Cell* tracer) {
    const Cell* body = function::more_cell(tracer, function::MORE_BODY);
    if (!body->is(TYPE_BLOCK) || block::length_from_head(body) == 0) return TRACE_ALL;
    const Cell first = *block::cell_at(body, block::head_index(body));
    if (!first.is(TYPE_BLOCK)) return TRACE_ALL;
    uint32_t mask = 0;
    for (int32_t i = block::head_index(&first); i < block::length_from_start(&first); i++) {
        const Cell* item = block::cell_at(&first, i);
        if (!item->is(TYPE_WORD)) continue;
        const uint32_t canonical = symbol::canonical(item->data2);
        for (uint32_t bit = 0; bit < EVENT_COUNT; bit++)
            if (symbol::canonical(g_event_words[bit].data2) == canonical) mask |= 1u << bit;
    }
    return mask;
}

void trace_event(uint32_t event, NodeId code, int32_t position, const Cell* reference,
                 const Cell* value) {
    if (!g_tracer->is(TYPE_FUNCTION) || !(g_trace_mask & event)) return;
    Cell args[6];
    args[0] = *event_word(event);
    if (code) {
        const int32_t length = int32_t(memory::buffer_of(code)->used() / sizeof(Cell));
        args[1] = make_cell(TYPE_BLOCK, 0, code, 0);
        args[2] = integer_cell(position >= 0 && position <= length ? position : -1);
    } else {
        args[1] = make_cell(TYPE_NONE);
        args[2] = integer_cell(-1);
    }
    args[3] = value ? *value : make_cell(TYPE_NONE);
    args[4] = reference ? *reference : make_cell(TYPE_NONE);
    Cell* const top = stack::g_top;
    stack::CallFrame* const frame_top = stack::g_frame_top;
    args[5] = make_cell(TYPE_PAIR, 0, stack::cell_index(stack::g_base), stack::cell_index(top));
    // The tracer's call goes above a spare cell. It is written: the collector
    // takes every cell below the top as a value, and what was left there may
    // name a node freed since.
    *stack::push_cell() = make_cell(TYPE_NONE);
    const Cell tracer = *g_tracer;
    const uint32_t saved_switch = g_trace_switch;
    g_trace_switch = 0;  // the tracer's own evaluation is not traced
    const Flow flow = call_function(&tracer, args, 6, true, words::get(words::interp_callback));
    if (flow != Flow::normal) raise_pending(flow);
    g_trace_switch = saved_switch;
    stack::g_top = top;
    stack::set_frame_top(frame_top);
}

TraceScope::TraceScope(const Cell* tracer) {
    if (g_trace_active) return;
    g_trace_mask = trace_mask_from_words(tracer);
    *g_tracer = *tracer;
    g_trace_switch = 1;
    g_user_trace_switch = 1;  // the traced code is the user's, whoever installs the tracer
    g_trace_active = 1;
    m_installed = true;
    support::set_error_tracer(&trace_error);
    trace(TRACE_INIT, 0, -1, nullptr, nullptr);
}

void TraceScope::finish() {
    if (m_installed) trace(TRACE_END, 0, -1, nullptr, nullptr);
}

TraceScope::~TraceScope() {
    if (!m_installed) return;
    g_user_trace_switch = 0;
    *g_tracer = make_cell(TYPE_NONE);
    g_trace_switch = 0;
    g_trace_active = 0;
    support::set_error_tracer(nullptr);
}

void FunctionTraceScope::switch_for(uint32_t header) {
    if (header & FUNCTION_UNTRACED_FLAG) g_trace_switch = 0;
    else if (header & FUNCTION_TRACED_FLAG) g_trace_switch = g_trace_active;
}

}  // namespace zun::interpreter
