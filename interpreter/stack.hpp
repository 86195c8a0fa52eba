// The value stack and the call-frame stack, and the non-local exits built on them.
//
// Errors travel as one C++ exception (Unwind with code Flow::error) after the
// frame work is done; break, continue, return, exit and throw travel as a
// returned Flow status, the frame work again done at raise time. Where user code
// runs under C++ that cannot pass a status on, raise_flow() turns the status into
// a PendingFlow exception and catch points turn it back.
#pragma once
#include <cstdint>
#include <exception>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun {

enum class [[nodiscard]] Flow : uint32_t {
    normal = 0,
    throw_ = 0x7FFFFFFA,
    exit = 0x7FFFFFFB,
    return_ = 0x7FFFFFFC,
    continue_ = 0x7FFFFFFD,
    break_ = 0x7FFFFFFE,
    error = 0x7FFFFFFF,
};

// Catch-point thresholds: a catch point takes every code not above its own.
constexpr uint32_t CATCH_ALL = 0x7FFFFFFF;   // try and other guards of an evaluation
constexpr uint32_t CATCH_LOOPS = 0x7FFFFFFE; // loops and parse: all but errors
constexpr uint32_t CATCH_THROW = 0x7FFFFFFA; // catch
inline bool catches(uint32_t threshold, Flow code) { return uint32_t(code) <= threshold; }

struct Unwind {
    Flow code;
};
// A status raised where user code ran under C++ that cannot pass it on (sort
// comparators, change handlers, object specs). The frame work is already done;
// the evaluator's next native or action call, and every catch point, turn it
// back into a status. Catch it before Unwind, which stands for errors.
struct PendingFlow : Unwind {};
[[noreturn]] void raise_flow(Flow code);

}  // namespace zun

namespace zun::stack {

constexpr uint32_t VALUE_STACK_CELLS = 20000;
constexpr uint32_t FRAME_STACK_RECORDS = 12000;
constexpr uint32_t BACK_OFF_CELLS = 5;

enum FrameKind : uint32_t {
    FUNCTION_FRAME = 1,
    NATIVE_FRAME = 2,
    TRY_FRAME = 4,
    TRY_ALL_FRAME = 5,
    CATCH_FRAME = 6,
    EVAL_FRAME = 7,
    LOOP_FRAME = 8,
};
// Header high byte: kind in bits 0-3, body flag 0x10, library flags 0x20 and
// 0x40, interpreter flag 0x80.
constexpr uint32_t BODY_BYTE = 0x10;
// Pushed while library code ran: left out of where and the call listing.
constexpr uint32_t LIBRARY_BYTE = 0x20;
// The body frame of a library function: a return in user code passes it.
constexpr uint32_t LIBRARY_BODY_BYTE = 0x40;
constexpr uint32_t INTERP_BYTE = 0x80;

struct CallFrame {
    uint32_t header;        // symbol id in bits 0-23, flags byte in bits 24-31
    uint32_t saved_base;    // caller's arguments base, as a cell index
    NodeId name_context;    // context of the callee's name word, 0 when none
    NodeId function_context;
    uint32_t saved_values;  // that context's values word when pushed

    uint32_t kind() const { return (header >> 24) & 0x0F; }
    uint32_t symbol() const { return header & 0xFFFFFF; }
    bool body() const { return header & (BODY_BYTE << 24); }
    bool library() const { return header & (LIBRARY_BYTE << 24); }
    bool library_body() const { return header & (LIBRARY_BODY_BYTE << 24); }
    bool interpreted() const { return header & (INTERP_BYTE << 24); }
};
static_assert(sizeof(CallFrame) == 20);

// Plain globals: every push and pop is a few pointer moves.
extern Cell* g_bottom;
extern Cell* g_top;   // next free cell
extern Cell* g_end;
extern Cell* g_base;  // arguments base, slot 0 of the current call
extern CallFrame* g_frame_bottom;
extern CallFrame* g_frame_top;  // next free record
// LIBRARY_BYTE << 24 while library code runs, else 0: every frame pushed
// meanwhile carries it.
extern uint32_t g_library_code;
extern CallFrame* g_frame_end;
// The stack context whose values word was written last, and that word: a
// word of the running function is found without reading its context's
// record. Every write of a stack context's values word goes through
// set_values; a collection forgets the pair (the node may be freed).
constexpr NodeId NO_VALUES_CONTEXT = 0xFFFFFFFF;
extern NodeId g_values_context;
extern uint32_t g_values_word;
inline void forget_values_context() { g_values_context = NO_VALUES_CONTEXT; }

void init();
// Symbols of the frame names left out of call listings (set once symbols exist).
void set_hidden_symbols(uint32_t body_symbol, uint32_t anon_symbol);
bool initialised();

[[noreturn]] void value_overflow();

inline Cell* push_cell() {
    Cell* cell = g_top++;
    if (g_top >= g_end) value_overflow();
    return cell;
}
inline Cell* push(const Cell* value) {
    Cell* cell = push_cell();
    *cell = *value;
    return cell;
}
inline void pop(uint32_t n) { g_top = (g_top - g_bottom) > int64_t(n) ? g_top - n : g_bottom; }
inline Cell* top() { return g_top > g_bottom ? g_top - 1 : g_bottom; }
inline uint32_t top_type() { return top()->type(); }

// Drops what was pushed in the scope, unless an error is unwinding: the error
// value then lies on the stack for the catch point.
class StackScope {
public:
    StackScope() = default;
    StackScope(const StackScope&) = delete;
    StackScope& operator=(const StackScope&) = delete;
    ~StackScope() {
        if (std::uncaught_exceptions() == m_unwinding) g_top = m_top;
    }

private:
    Cell* m_top = g_top;
    int m_unwinding = std::uncaught_exceptions();
};
inline Cell* arguments() { return g_base; }
inline Cell* argument(int i) { return g_base + i; }
inline void set_last(const Cell* value) { *g_base = *value; }
inline void set_result(const Cell* value) { *g_base = *value; }
inline void set_result_reset(const Cell* value) {
    Cell copy = *value;  // value may lie above the new top
    g_top = g_base + 1;
    *g_base = copy;
}
inline void reset() { g_top = g_base; }
inline void reset_keep_result() { g_top = g_base + 1; }
void adjust_after_error();

inline uint32_t cell_index(const Cell* cell) { return uint32_t(cell - g_bottom); }
inline Cell* cell_at(uint32_t index) { return g_bottom + index; }
// A function context's values live on the stack: the context! cell's word 2 then
// holds the cell index + 1 of its first value (0 while no call runs).
inline uint32_t values_word(const Cell* first) { return cell_index(first) + 1; }
inline Cell* values_cell(uint32_t word) { return word ? g_bottom + (word - 1) : nullptr; }

// Frame pushes; name is a word cell (or nullptr for an unnamed frame). Inline:
// every call and every block evaluation pushes and pops one.
[[noreturn]] void frame_overflow();
inline CallFrame* write_record(const Cell* name, uint32_t high_byte) {
    if (g_frame_top >= g_frame_end) [[unlikely]]
        frame_overflow();
    CallFrame* record = g_frame_top++;
    const uint32_t symbol = name ? name->data2 & 0xFFFFFF : 0;
    record->header = symbol | (high_byte << 24) | g_library_code;
    record->saved_base = cell_index(g_base);
    record->name_context = name ? name->data1 : 0;
    record->function_context = 0;
    record->saved_values = 0;
    g_base = g_top;
    return record;
}
inline void push_frame(const Cell* name, uint32_t high_byte) { write_record(name, high_byte); }
// The context record's cell: its values word is saved and restored around calls.
inline Cell* context_record(NodeId context) { return memory::buffer_of(context)->head_cell(); }
inline void set_values(NodeId context, uint32_t values_word) {
    context_record(context)->data2 = values_word;
    g_values_context = values_word ? context : NO_VALUES_CONTEXT;
    g_values_word = values_word;
}
// set_values for a running call (values_word never 0); answers the word the
// context held.
inline uint32_t exchange_values(NodeId context, uint32_t values_word) {
    Cell* record = context_record(context);
    const uint32_t saved = record->data2;
    record->data2 = values_word;
    g_values_context = context;
    g_values_word = values_word;
    return saved;
}
inline void push_function_frame(const Cell* name, NodeId function_context) {
    CallFrame* record = write_record(name, FUNCTION_FRAME);
    if (!function_context) return;
    record->function_context = function_context;
    record->saved_values = context_record(function_context)->data2;
}
inline void push_native_frame(const Cell* name) { push_frame(name, NATIVE_FRAME); }
inline void push_try_frame(const Cell* name) { push_frame(name, TRY_FRAME); }
inline void push_try_all_frame(const Cell* name) { push_frame(name, TRY_ALL_FRAME); }
inline void push_catch_frame(const Cell* name) { push_frame(name, CATCH_FRAME); }
inline void push_eval_frame(const Cell* name) { push_frame(name, EVAL_FRAME | INTERP_BYTE); }
inline void push_loop_frame(const Cell* name) { push_frame(name, LOOP_FRAME); }
inline void push_interp_native_frame(const Cell* name) { push_frame(name, NATIVE_FRAME | INTERP_BYTE); }
inline void push_interp_function_frame(const Cell* name) {
    push_frame(name, FUNCTION_FRAME | INTERP_BYTE);
}
void push_compiled_function_frame(const Cell* name, NodeId context);

void set_body_flag(bool on);
void set_top_frame_interpreted();
CallFrame* set_caller_body_flag();  // nullptr when it was set already
void clear_body_flag(CallFrame* record);
inline void set_frame_top(CallFrame* record) { g_frame_top = record; }
inline CallFrame* top_frame() { return g_frame_top > g_frame_bottom ? g_frame_top - 1 : nullptr; }
inline uint32_t frame_depth() { return uint32_t(g_frame_top - g_frame_bottom); }
bool interpreted_frame(CallFrame* start, bool next_only);

// Pops; see the table of pops for what each does to the value stack. The
// arguments base goes back to the caller's; nothing happens without a record.
inline void restore_values(const CallFrame* record) {
    if (record->function_context)
        set_values(record->function_context, record->saved_values);
}
// Takes the top record off; answers the popped call's slot 0, or nullptr.
inline Cell* take_record(CallFrame** popped) {
    if (g_frame_top == g_frame_bottom) [[unlikely]]
        return nullptr;
    CallFrame* record = --g_frame_top;
    Cell* slot0 = g_base;
    g_base = cell_at(record->saved_base);
    *popped = record;
    return slot0;
}
inline void pop_frame() {
    CallFrame* record;
    if (Cell* slot0 = take_record(&record)) g_top = slot0 + 1;
}
inline void pop_function_frame() {
    CallFrame* record;
    Cell* slot0 = take_record(&record);
    if (!slot0) return;
    restore_values(record);
    g_top = slot0 + 1;
}
inline void pop_frame_set_result() {
    CallFrame* record;
    Cell* slot0 = take_record(&record);
    if (!slot0) return;
    *g_base = *slot0;
    g_top = slot0 + 1;
}
inline void pop_function_frame_set_result() {
    CallFrame* record;
    Cell* slot0 = take_record(&record);
    if (!slot0) return;
    restore_values(record);
    *g_base = *slot0;
    g_top = slot0 + 1;
}
inline void pop_frame_reset() {
    CallFrame* record;
    if (take_record(&record)) g_top = g_base;
}
inline void pop_function_frame_reset() {
    CallFrame* record;
    if (!take_record(&record)) return;
    restore_values(record);
    g_top = g_base;
}
void pop_frame_discard();
// The frame a caller pushed at record itself, so one is there: popped as
// pop_frame pops it, with the caller's base it kept. Answers the popped
// call's slot 0; the top is left after it.
inline Cell* pop_own_frame(CallFrame* record, Cell* caller_base) {
    Cell* slot0 = g_base;
    g_frame_top = record;
    g_base = caller_base;
    g_top = slot0 + 1;
    return slot0;
}
// The same for the frame on top, pushed by the caller itself.
inline Cell* pop_own_top_frame() {
    CallFrame* const record = g_frame_top - 1;
    return pop_own_frame(record, cell_at(record->saved_base));
}

// Unwinding by kind; stops at a try-all frame whatever kind is asked for.
void unwind_to_frame(uint32_t kind, bool keep);
void unwind_to_frame_set_result(uint32_t kind);
inline void unwind_to_loop(bool keep) { unwind_to_frame(LOOP_FRAME, keep); }

// Non-local exits.
[[noreturn]] void throw_error(Cell* error);
Flow throw_loop_signal(bool has_value, bool is_continue);
Flow throw_return_signal(bool has_value);
Flow throw_value(Flow code);

// The word naming the innermost call (for an error's where).
Cell current_callee_word();
void record_error_frame(Cell* error);
void save_error_frame_position();  // by throw: later where names its caller

// The top-level handler: shows the error and ends the process with status -2.
[[noreturn]] void top_level_handler(Cell* error);

// Collector roots.
using MarkContextFn = void (*)(NodeId context);
using MarkBlockFn = void (*)(NodeId block);
void mark_for_collector(MarkContextFn mark_context, MarkBlockFn mark_block);

}  // namespace zun::stack
