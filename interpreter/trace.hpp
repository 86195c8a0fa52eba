// Evaluation tracing: a function given to do/trace receives one call per
// event of the evaluation it observes. While no tracer is installed every
// call point costs one test of g_trace_switch.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "interpreter/stack.hpp"

namespace zun::interpreter {

// The events, as bits of the tracer's mask.
enum TraceEvent : uint32_t {
    TRACE_INIT = 1, TRACE_END = 2, TRACE_PROLOG = 4, TRACE_EPILOG = 8, TRACE_ENTER = 16,
    TRACE_EXIT = 32, TRACE_OPEN = 64, TRACE_RETURN = 128, TRACE_FETCH = 256, TRACE_PUSH = 512,
    TRACE_SET = 1024, TRACE_CALL = 2048, TRACE_ERROR = 4096, TRACE_THROW = 8192,
    TRACE_CATCH = 16384, TRACE_EXPR = 32768
};
constexpr uint32_t TRACE_ALL = 0x1FFFF;

// Function header flags that switch tracing for the calls of one function.
constexpr uint32_t FUNCTION_UNTRACED_FLAG = 1u << 9;
constexpr uint32_t FUNCTION_TRACED_FLAG = 1u << 10;

// Non-zero while events are to be sent now.
extern uint32_t g_trace_switch;

// The switch user code runs with while library code runs: library code runs
// untraced, and user code that it calls is traced as the user's own code
// (also after `trace on` or `trace off`, which run as library code).
extern uint32_t g_user_trace_switch;
// `trace on`/`trace off`: only ever on inside a traced evaluation.
void set_user_trace_switch(bool on);

// Calls the tracer with the event: its word, the code block (node 0: none)
// and the offset in it (-1 when there is no code or it lies outside), the
// event's value and reference (nullptr: none) and the stack position. The
// value and reference are copied before anything can move them. A tracer
// that leaves by break, throw and the like raises that status as a
// PendingFlow; its errors pass through as they are.
void trace_event(uint32_t event, NodeId code, int32_t position, const Cell* reference,
                 const Cell* value);
inline void trace(uint32_t event, NodeId code, int32_t position, const Cell* reference,
                  const Cell* value) {
    if (g_trace_switch) [[unlikely]]
        trace_event(event, code, position, reference, value);
}

void init_tracer();  // the tracer cell in the root block
bool tracing_active();
// The events a tracer asks for: the event words in a block that starts its
// body, else all of them.
uint32_t trace_mask_from_words(const Cell* tracer);

// Installs a tracer for the life of the scope (do/trace), sending init and,
// when the traced evaluation ends normally, end. Inside an active traced
// evaluation it installs nothing.
class TraceScope {
public:
    explicit TraceScope(const Cell* tracer);
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;
    ~TraceScope();
    void finish();  // sends end; the evaluation completed

private:
    bool m_installed = false;
};

// The switch while a function with a traced or untraced flag runs.
class FunctionTraceScope {
public:
    // The switch is put back only when this function's flags changed it.
    explicit FunctionTraceScope(uint32_t header)
        : m_saved(g_trace_switch),
          m_changed(header & (FUNCTION_UNTRACED_FLAG | FUNCTION_TRACED_FLAG)) {
        if (m_changed) [[unlikely]]
            switch_for(header);
    }
    FunctionTraceScope(const FunctionTraceScope&) = delete;
    FunctionTraceScope& operator=(const FunctionTraceScope&) = delete;
    ~FunctionTraceScope() {
        if (m_changed) [[unlikely]]
            g_trace_switch = m_saved;
    }

private:
    static void switch_for(uint32_t header);
    uint32_t m_saved;
    bool m_changed;
};

}  // namespace zun::interpreter
