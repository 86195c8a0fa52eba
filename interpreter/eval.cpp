#include "interpreter/eval.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/collector.hpp"
#include "core/memory.hpp"
#include "core/sorting.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/fast_paths.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/path_eval.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/trace.hpp"

// Keeps g++ from specialising the call path across calls; clang has no such
// attribute.
#if defined(__clang__)
#define ZUN_NO_IPA
#else
#define ZUN_NO_IPA gnu::noipa
#endif

namespace zun::interpreter {

volatile sig_atomic_t g_interrupt = 0;

namespace {

constexpr uint32_t CELL = sizeof(Cell);

// Argument classes, in the header of the argument spec's typeset entries.
constexpr uint32_t CLASS_NORMAL = 0;
constexpr uint32_t CLASS_GET = 1u << 20;
constexpr uint32_t CLASS_LITERAL = 1u << 21;
constexpr uint32_t CLASS_MASK = CLASS_GET | CLASS_LITERAL;
constexpr uint32_t CLASS_RETURN = CLASS_MASK;

// Refinement slots of a native call live in the caller's C++ frame.
constexpr uint32_t FAST_SLOTS = 32;
constexpr int32_t SLOT_OFF = INT32_MIN;  // given, switched off: -1 again before the call

// The code position lives outside every series (errors copy it into near
// whatever runtime made them); the collector marks it through code_position().
Cell g_position = make_cell(TYPE_UNSET);
Cell* const g_code_position = &g_position;

inline memory::SeriesBuffer* buf(NodeId node) { return memory::buffer_of(node); }
inline const Cell* cells_of(NodeId node) { return buf(node)->head_cell(); }
inline uint32_t length_of(NodeId node) { return buf(node)->used() / CELL; }
inline uint32_t head_of(const Cell& series) {
    int32_t h = int32_t(series.data1);
    return h > 0 ? uint32_t(h) : 0;
}

inline uint32_t tail_of(const Code& code) {
    if (!code.node) return 0;
    uint32_t n = length_of(code.node);
    return n < code.limit ? n : code.limit;
}
inline Cell cell_at(const Code& code, uint32_t pos) { return cells_of(code.node)[pos]; }
// The code's cells and its tail, read once: good until code runs.
struct View {
    const Cell* cells;
    uint32_t tail;
};
[[gnu::always_inline]] inline View view_of(const Code& code) {
    if (!code.node) return {nullptr, 0};
    memory::SeriesBuffer* b = buf(code.node);
    const uint32_t n = b->used() / CELL;
    return {b->head_cell(), n < code.limit ? n : code.limit};
}

inline bool function_type_q(uint32_t type) {
    return type == TYPE_NATIVE || type == TYPE_ACTION || type == TYPE_FUNCTION ||
           type == TYPE_ROUTINE;
}
inline bool refinement_word_q(uint32_t type) {
    return type >= TYPE_WORD && type <= TYPE_REFINEMENT;
}

Cell unset_value() { return make_cell(TYPE_UNSET); }
Cell none_value() { return make_cell(TYPE_NONE); }

[[noreturn]] void fire(ErrorId id, Cell a1) { support::fire_error(id, &a1); }
[[noreturn]] void fire(ErrorId id, Cell a1, Cell a2) { support::fire_error(id, &a1, &a2); }

// Saves the code position and puts it back however the evaluation ends.
// The cell is moved as two words.
class PositionScope {
public:
    PositionScope() { std::memcpy(m_saved, g_code_position, sizeof m_saved); }
    PositionScope(const PositionScope&) = delete;
    PositionScope& operator=(const PositionScope&) = delete;
    ~PositionScope() { std::memcpy(g_code_position, m_saved, sizeof m_saved); }

private:
    uint64_t m_saved[2];
};

// A return or exit whose target is the frame at `record`, which do marked as
// a body (do marks the frame of its caller, whatever pushed it): the exit
// goes on from there to the function, or becomes the error of a return
// outside any function.
inline Flow pass_on(Flow flow, const stack::CallFrame* record) {
    if ((flow == Flow::return_ || flow == Flow::exit) && stack::g_frame_top == record + 1) [[unlikely]]
        return stack::throw_return_signal(flow == Flow::return_);
    return flow;
}


Flow eval_expression(const Code& code, uint32_t& pos, bool no_infix, bool as_data);
[[gnu::noinline]] Flow eval_active(const Code& code, uint32_t& pos, bool as_data);
// v: the code's cells, read again after anything that ran code.
// op: the value of the operator word at pos, found by the caller.
[[gnu::noinline]] Flow eval_infix(const Code& code, View& v, uint32_t& pos, Cell* entry,
                                  const Cell* op);

// Types that stand for themselves in code, and the values a word gives
// without a call or an error: one bit test each.
constexpr uint64_t type_bit(uint32_t type) { return uint64_t(1) << type; }
constexpr uint64_t ACTIVE_CELLS =
    type_bit(TYPE_WORD) | type_bit(TYPE_SET_WORD) | type_bit(TYPE_LIT_WORD) |
    type_bit(TYPE_GET_WORD) | type_bit(TYPE_ISSUE) | type_bit(TYPE_NATIVE) | type_bit(TYPE_ACTION) |
    type_bit(TYPE_OP) | type_bit(TYPE_FUNCTION) | type_bit(TYPE_PATH) | type_bit(TYPE_LIT_PATH) |
    type_bit(TYPE_SET_PATH) | type_bit(TYPE_GET_PATH) | type_bit(TYPE_ROUTINE) | type_bit(TYPE_PAREN);
constexpr uint64_t ACTIVE_VALUES = type_bit(TYPE_NATIVE) | type_bit(TYPE_ACTION) |
                                   type_bit(TYPE_FUNCTION) | type_bit(TYPE_ROUTINE) |
                                   type_bit(TYPE_UNSET) | type_bit(TYPE_OP);
inline bool in_set(uint64_t set, uint32_t type) { return type < 64 && ((set >> type) & 1); }

// What a cell gives without running anything: the cell itself when it stands
// for itself, the value of a located word holding no function; else nullptr.
// Good until the next allocation.
inline const Cell* inert_value(const Cell* c) {
    if (!c->is(TYPE_WORD)) return in_set(ACTIVE_CELLS, c->type()) ? nullptr : c;
    const Cell* value = context::bound_value(c);
    return value && !in_set(ACTIVE_VALUES, value->type()) ? value : nullptr;
}

// Whether the cell at pos of the code is a word holding an operator.
inline bool operator_at(const View& v, uint32_t pos) {
    if (pos >= v.tail || !v.cells[pos].is(TYPE_WORD)) return false;
    const Cell* op = context::bound_value(&v.cells[pos]);
    return op && op->is(TYPE_OP);
}

// A value the code at pos produced without a call, now on top.
[[gnu::noinline]] void trace_push(const Code& code, uint32_t pos) {
    trace_event(TRACE_PUSH, code.node, int32_t(pos), nullptr, stack::g_top - 1);
}

// Cells whose evaluation sends events of its own rather than push.
constexpr uint64_t CALLING_CELLS =
    type_bit(TYPE_WORD) | type_bit(TYPE_SET_WORD) | type_bit(TYPE_PAREN) | type_bit(TYPE_PATH) |
    type_bit(TYPE_GET_PATH) | type_bit(TYPE_SET_PATH);

constexpr uint64_t CALLED_VALUES =
    type_bit(TYPE_NATIVE) | type_bit(TYPE_ACTION) | type_bit(TYPE_FUNCTION) | type_bit(TYPE_ROUTINE);

[[gnu::noinline, ZUN_NO_IPA]] Flow call_plain(const Cell& function, const Cell& name,
                                             const Code& code, uint32_t& pos);
// Untraced: the caller found no tracer just now and nothing ran since; v
// holds the code's cells.
template <bool Untraced>
[[gnu::noinline]] Flow eval_set_word(const Cell& word, const Code& code, View v, uint32_t& pos);
Flow run_block(NodeId node, uint32_t head, uint32_t extra);
// The block's words one by one: callers often have just written the cell
// in pieces, and one wide load of it would wait for those stores.
inline Flow run_inline(const Cell& blk) {
    return run_block(blk.data2, head_of(blk), blk.data3);
}

// An expression at c that runs code (value: the value of a word at c).
template <bool Untraced>
[[gnu::always_inline]] inline Flow eval_running(const Code& code, const View& v, uint32_t& pos,
                                                const Cell* c, const Cell* value, bool as_data) {
    const Cell cell = *c;
    if (cell.is(TYPE_WORD) && in_set(CALLED_VALUES, value->type())) {
        pos++;
        return call_plain(*value, cell, code, pos);
    } else if (cell.is(TYPE_SET_WORD)) {
        pos++;
        return eval_set_word<Untraced>(cell, code, v, pos);
    } else if (cell.is(TYPE_PAREN)) {
        pos++;
        return run_inline(cell);
    } else if (cell.is(TYPE_PATH)) {
        pos++;
        return walk_get_path(cell, code, pos);
    }
    return eval_active(code, pos, as_data);
}

// One expression, inline in the loops of blocks and argument lists. v holds
// the code's cells on entry and again on return. A value found in the code,
// or the value of a word that holds no function, is pushed without running
// anything, so the cells are still good for the operator check after it.
// Untraced: the caller found no tracer just now, so fetch and push events
// cannot be due (nothing runs between that check and the push).
template <bool Untraced>
[[gnu::always_inline]] inline Flow eval_step(const Code& code, View& v, uint32_t& pos, bool no_infix,
                                             bool as_data) {
    Cell* const entry = stack::g_top;
    if (!Untraced && g_trace_switch) [[unlikely]] {
        trace_event(TRACE_FETCH, code.node, int32_t(pos), nullptr, v.cells + pos);
        v = view_of(code);
    }
    const Cell* c = v.cells + pos;
    const bool word = c->is(TYPE_WORD);
    const Cell* value = word ? context::value_address(c, c->data1) : c;
    if (!in_set(word ? ACTIVE_VALUES : ACTIVE_CELLS, value->type())) {
        stack::push(value);
        if (!Untraced && g_trace_switch) [[unlikely]] {
            trace_push(code, pos);
            v = view_of(code);
        }
        pos++;
    } else {
        if (Flow flow = eval_running<Untraced>(code, v, pos, c, value, as_data); flow != Flow::normal)
            return flow;
        v = view_of(code);
    }
    if (no_infix || pos >= v.tail || !v.cells[pos].is(TYPE_WORD)) return Flow::normal;
    // Most words after a value are the next argument, not an operator.
    const Cell* op = context::bound_value(&v.cells[pos]);
    if (!op || !op->is(TYPE_OP)) return Flow::normal;
    return eval_infix(code, v, pos, entry, op);
}

// Every event of one expression, while a tracer is installed.
[[gnu::noinline]] Flow eval_traced(const Code& code, View& v, uint32_t& pos, bool no_infix,
                                   bool as_data) {
    return eval_step<false>(code, v, pos, no_infix, as_data);
}

[[gnu::always_inline]] inline Flow eval_inline(const Code& code, View& v, uint32_t& pos,
                                               bool no_infix, bool as_data) {
    if (g_trace_switch) [[unlikely]]
        return eval_traced(code, v, pos, no_infix, as_data);
    return eval_step<true>(code, v, pos, no_infix, as_data);
}

// ---------------------------------------------------------------- blocks

// The expressions of a block, evaluated on top of the stack; the last value is
// left pushed (unset! for an empty block). Parens and function bodies run so
// without a frame of their own (an evaluation frame would be hidden from every
// listing anyway).
[[gnu::noinline]] Flow run_block_crossing(NodeId node, uint32_t head, uint32_t extra, bool library);

// Ctrl-C in the console: the command ends as `halt` ends it.
[[gnu::noinline]] Flow halt_on_interrupt() {
    g_interrupt = 0;
    const Cell* halt = context::find_word_value(symbol::make("halt"), context::global());
    if (!halt || !halt->is(TYPE_FUNCTION)) return Flow::normal;
    const Cell fn = *halt;
    return call_function(&fn, nullptr, 0, true);
}

// The expr event after an expression of a user block.
[[gnu::noinline]] void trace_expression(const Code& code, View& v, uint32_t pos) {
    trace_event(TRACE_EXPR, code.node, int32_t(pos), nullptr, stack::g_top - 1);
    v = view_of(code);
}

// A step of a user block while Ctrl-C or a tracer is due: the expr event
// after it too. The code position is set.
[[gnu::noinline]] Flow block_step(const Code& code, View& v, uint32_t& pos) {
    if (g_interrupt) [[unlikely]] {
        Cell* const start = stack::g_top;
        if (Flow flow = halt_on_interrupt(); flow != Flow::normal) return flow;
        g_code_position->data1 = pos;
        stack::g_top = start;
    }
    if (Flow flow = eval_inline(code, v, pos, false, false); flow != Flow::normal) return flow;
    if (g_trace_switch) [[unlikely]]
        trace_expression(code, v, pos);
    return Flow::normal;
}

// The steps of a user block run by user code, from pos, which is before
// the tail of v, the block's cells; the code position follows them.
[[gnu::always_inline]] inline Flow run_user_steps(NodeId node, uint32_t pos, uint32_t extra, View v) {
    Cell* const start = stack::g_top;
    const Code code{node, UINT32_MAX};
    PositionScope position;
    *g_code_position = make_cell(TYPE_BLOCK, pos, node, extra);
    do {
        g_code_position->data1 = pos;
        stack::g_top = start;
        if (g_interrupt | g_trace_switch) [[unlikely]] {
            if (Flow flow = block_step(code, v, pos); flow != Flow::normal) return flow;
            continue;
        }
        if (Flow flow = eval_step<true>(code, v, pos, false, false); flow != Flow::normal) return flow;
        if (g_trace_switch) [[unlikely]]
            trace_expression(code, v, pos);
    } while (pos < v.tail);
    return Flow::normal;
}

Flow run_block(NodeId node, uint32_t head, uint32_t extra) {
    Cell* const start = stack::g_top;
    const Code code{node, UINT32_MAX};
    uint32_t pos = head;
    View v = view_of(code);
    if (pos >= v.tail) {
        // An empty body is a loop's whole step: Ctrl-C is looked for here too.
        if (g_interrupt) [[unlikely]]
            if (Flow flow = halt_on_interrupt(); flow != Flow::normal) return flow;
        *stack::push_cell() = unset_value();
        return Flow::normal;
    }
    // Library code runs unseen: no code position for errors, no trace events.
    static_assert(memory::LIBRARY_FLAG << 8 == stack::LIBRARY_BYTE << 24);
    const uint32_t library = (buf(node)->flags & memory::LIBRARY_FLAG) << 8;
    if (library != stack::g_library_code) [[unlikely]]
        return run_block_crossing(node, head, extra, library != 0);
    if (library) {
        do {
            if (g_interrupt) [[unlikely]]
                if (Flow flow = halt_on_interrupt(); flow != Flow::normal) return flow;
            stack::g_top = start;
            if (Flow flow = eval_inline(code, v, pos, false, false); flow != Flow::normal) return flow;
        } while (pos < v.tail);
        return Flow::normal;
    }
    return run_user_steps(node, pos, extra, v);
}

// Library code handing a block of user code to the evaluator, or user code
// calling into the library: the marks of library code change for the block.
class LibraryScope {
public:
    explicit LibraryScope(bool library)
        : m_code(stack::g_library_code), m_switch(g_trace_switch), m_user(g_user_trace_switch),
          m_library(library) {
        stack::g_library_code = library ? stack::LIBRARY_BYTE << 24 : 0;
        if (library) {
            g_user_trace_switch = g_trace_switch;
            g_trace_switch = 0;
        } else {
            g_trace_switch = g_user_trace_switch;
        }
    }
    LibraryScope(const LibraryScope&) = delete;
    LibraryScope& operator=(const LibraryScope&) = delete;
    ~LibraryScope() {
        stack::g_library_code = m_code;
        if (m_library) {
            // `trace on` or `trace off` may have changed what the user runs with
            g_trace_switch = g_user_trace_switch;
            g_user_trace_switch = m_user;
        } else {
            g_user_trace_switch = g_trace_switch;
            g_trace_switch = m_switch;
        }
    }

private:
    uint32_t m_code;
    uint32_t m_switch;
    uint32_t m_user;
    bool m_library;
};

Flow run_block_crossing(NodeId node, uint32_t head, uint32_t extra, bool library) {
    LibraryScope scope(library);
    return run_block(node, head, extra);
}

inline Flow push_paren(const Cell& paren) { return run_inline(paren); }

// ---------------------------------------------------------------- argument spec

[[noreturn]] void fire_bad_spec(const Cell& item) { fire(ErrorId::script_bad_func_def, item); }

bool named(const Cell& word, uint32_t symbol) {
    return symbol::canonical(word.data2) == symbol::canonical(symbol);
}

// Appends the typeset of a parameter (its type block, when it holds anything,
// else every type but unset!) with the class bits; answers the next spec index.
uint32_t append_parameter(const Cell* cache, NodeId spec, uint32_t i, uint32_t cls) {
    Cell* ts;
    if (i + 1 < length_of(spec) && cells_of(spec)[i + 1].is(TYPE_BLOCK) &&
        block::length_from_head(&cells_of(spec)[i + 1]) > 0) {
        const Cell types = cells_of(spec)[i + 1];
        ts = typeset::append_from_spec(cache, &types);
        i++;
    } else {
        ts = typeset::append_any_value(cache);
        if (i + 1 < length_of(spec) && cells_of(spec)[i + 1].is(TYPE_BLOCK)) i++;
    }
    ts->header = (ts->header & ~CLASS_MASK) | cls;  // good until the next allocation
    return i + 1;
}

NodeId build_spec_cache(const Cell& fn_in) {
    const Cell fn = fn_in;  // fn_in may lie in a buffer the building moves
    const bool native = fn.is(TYPE_NATIVE) || fn.is(TYPE_ACTION);
    const NodeId spec = fn.data2;
    Cell* cache = block::push_new(int32_t(length_of(spec)) + 1);  // on the stack: a root
    const uint32_t local = refinements::get(refinements::local)->data2;
    const uint32_t return_symbol = sym::id(sym::return_);
    uint32_t refinements = 0, slot = 0, locals = 0;
    bool in_locals = false;
    for (uint32_t i = 0; i < length_of(spec);) {
        const Cell c = cells_of(spec)[i];
        switch (c.type()) {
            case TYPE_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
                if (in_locals) {
                    locals += c.is(TYPE_WORD);
                    i++;
                    break;
                }
                i = append_parameter(cache, spec, i,
                                     c.is(TYPE_WORD) ? CLASS_NORMAL
                                     : c.is(TYPE_GET_WORD) ? CLASS_GET : CLASS_LITERAL);
                slot++;
                break;
            case TYPE_SET_WORD:
                if (!named(c, return_symbol)) fire_bad_spec(c);
                in_locals = false;
                i = append_parameter(cache, spec, i, CLASS_RETURN);
                break;
            case TYPE_REFINEMENT: {
                i++;
                if (named(c, local)) {
                    in_locals = true;
                    locals = 1;
                    break;
                }
                if (in_locals) break;
                Cell r = c;
                r.header = TYPE_REFINEMENT;
                // Natives: the ordinal of the refinement; functions: its stack slot.
                refinements++;
                r.data3 = native ? refinements : slot;
                slot++;
                block::append_cell(cache, &r);
                break;
            }
            default:
                i++;
                break;
        }
    }
    if (!native && locals) {
        Cell n = integer_cell(int32_t(locals));
        block::append_cell(cache, &n);
    } else if (native && refinements) {
        Cell n = integer_cell(int32_t(refinements));
        block::append_cell(cache, &n);
    }
    const NodeId node = cache->data2;
    // Re-read the more-block: building allocated.
    *function::more_cell(&fn, function::MORE_ARGUMENTS) = make_cell(TYPE_BLOCK, 0, node, 0);
    stack::g_top = cache;
    return node;
}

// The more-block cell i of a function, native, action or routine; good until
// the next allocation.
inline const Cell* more_of(const Cell& fn, uint32_t i) { return cells_of(fn.data3) + i; }

inline NodeId spec_cache(const Cell& fn) {
    const Cell* cached = more_of(fn, function::MORE_ARGUMENTS);
    return cached->is(TYPE_BLOCK) ? cached->data2 : build_spec_cache(fn);
}

// Spec cell of parameter n (word, lit-word, get-word and refinement entries,
// from 0) for error reports.
Cell parameter_word(const Cell& fn, uint32_t n) {
    const NodeId spec = fn.data2;
    for (uint32_t i = 0, k = 0; i < length_of(spec); i++) {
        const Cell& c = cells_of(spec)[i];
        if (c.is(TYPE_WORD) || c.is(TYPE_LIT_WORD) || c.is(TYPE_GET_WORD) || c.is(TYPE_REFINEMENT))
            if (k++ == n) return c;
    }
    return *words::get(words::anon);
}

// The parameter number of cache entry i.
uint32_t parameter_of(NodeId cache, uint32_t i) {
    uint32_t n = 0;
    for (uint32_t k = 0; k < i; k++) {
        const Cell& e = cells_of(cache)[k];
        n += e.is(TYPE_REFINEMENT) || (e.is(TYPE_TYPESET) && (e.header & CLASS_MASK) != CLASS_RETURN);
    }
    return n;
}

[[noreturn]] void fire_expect_arg(const Cell& name, uint32_t type, const Cell& fn, uint32_t param) {
    const Cell datatype = make_cell(TYPE_DATATYPE, type);
    const Cell word = parameter_word(fn, param);
    support::fire_error(ErrorId::script_expect_arg, &name, &datatype, &word);
}

// ---------------------------------------------------------------- fetching arguments

struct CallState {
    CallState(const Cell& function, const Cell& call_name, const Code& source, uint32_t& position,
              NodeId spec_block, bool infix_call)
        : fn(function), name(call_name), code(source), pos(position), spec(spec_block),
          infix(infix_call), native(function.is(TYPE_NATIVE) || function.is(TYPE_ACTION)) {}

    Cell fn;
    Cell name;
    const Code& code;
    uint32_t& pos;
    NodeId spec;
    bool infix;
    bool native;  // native! or action!: refinements take no cell
    const Cell* path = nullptr;  // a copy in the caller's frame
    uint32_t path_index = 0;
    uint32_t flags = 0;
    int32_t* slots = nullptr;  // natives: one per refinement
    uint32_t slot_count = 0;
    uint64_t given = 0;  // refinements named so far, by ordinal or slot (below 64)
    uint32_t locals = 0;
    uint32_t at = 0;  // where the call stands in the code, for the tracer
};

// One argument by class, pushed.
Flow fetch_one(const Code& code, uint32_t& pos, uint32_t cls, bool infix, bool one_cell) {
    if (cls == CLASS_NORMAL) {
        if (one_cell) {
            const Code one{code.node, pos + 1};
            return eval_expression(one, pos, true, false);
        }
        return eval_expression(code, pos, infix, false);
    }
    const Cell c = cell_at(code, pos++);
    if (cls == CLASS_GET) {
        stack::push(&c);
        return Flow::normal;
    }
    switch (c.type()) {
        case TYPE_PAREN:
            return push_paren(c);
        case TYPE_GET_WORD:
            stack::push(word::get_value(&c));
            return Flow::normal;
        case TYPE_GET_PATH: {
            uint32_t none = 0;
            return walk_path(c, Code{}, none, PathMode::get_no_call, false);
        }
        default:
            stack::push(&c);
            return Flow::normal;
    }
}

[[noreturn]] void fire_no_arg(const CallState& s, uint32_t entry) {
    const Cell word = parameter_word(s.fn, parameter_of(s.spec, entry));
    fire(ErrorId::script_no_arg, s.name, word);
}

inline void check_type(const CallState& s, const Cell& ts, const Cell* value, uint32_t entry) {
    if (!typeset::has(&ts, value->type())) [[unlikely]]
        fire_expect_arg(s.name, value->type(), s.fn, parameter_of(s.spec, entry));
}

// The argument of typeset entry `entry`, fetched and checked, pushed.
Flow fetch_checked(CallState& s, const Cell& ts, uint32_t entry) {
    const uint32_t cls = ts.header & CLASS_MASK;
    if (s.pos >= tail_of(s.code)) {
        if (s.flags) {
            *stack::push_cell() = none_value();
            return Flow::normal;
        }
        if (cls == CLASS_LITERAL && typeset::has(&ts, TYPE_UNSET)) {
            *stack::push_cell() = unset_value();
            return Flow::normal;
        }
        fire_no_arg(s, entry);
    }
    if (Flow flow = fetch_one(s.code, s.pos, cls, s.infix, s.flags & CALL_ONE_CELL);
        flow != Flow::normal)
        return flow;
    check_type(s, ts, stack::g_top - 1, entry);
    return Flow::normal;
}

// The argument of an inactive refinement still stands in the code: taken and
// dropped (with one-cell arguments skipped without evaluation).
Flow skip_argument(CallState& s, const Cell& ts, uint32_t entry) {
    if (s.pos >= tail_of(s.code)) {
        if (!s.flags) fire_no_arg(s, entry);
        return Flow::normal;
    }
    if (s.flags & CALL_ONE_CELL) {
        s.pos++;
        return Flow::normal;
    }
    Cell* top = stack::g_top;
    if (Flow flow = fetch_one(s.code, s.pos, ts.header & CLASS_MASK, s.infix, false);
        flow != Flow::normal)
        return flow;
    stack::g_top = top;
    return Flow::normal;
}

// apply/all: a logic! in the code switches each refinement.
Flow fetch_switch(CallState& s, const Cell& refinement, uint32_t entry, bool* on) {
    *on = false;
    if (s.pos < tail_of(s.code)) {
        if (Flow flow = fetch_one(s.code, s.pos, CLASS_NORMAL, false, s.flags & CALL_ONE_CELL);
            flow != Flow::normal)
            return flow;
        const Cell* value = stack::g_top - 1;
        if (!value->is(TYPE_LOGIC))
            fire_expect_arg(s.name, value->type(), s.fn, parameter_of(s.spec, entry));
        *on = !logic::false_value(value);
        if (s.native) {
            stack::pop(1);
            if (*on) s.slots[refinement.data3 - 1] = int32_t(stack::g_top - stack::g_base);
        }
    } else if (!s.native) {
        *stack::push_cell() = logic::make_value(false);
    }
    return Flow::normal;
}

// The arguments in spec order up to the refinements (with apply/all, all of them).
Flow fetch_in_order(CallState& s) {
    const bool values_in_code = s.flags && !(s.flags & CALL_CODE_REFINEMENTS);
    bool active = true;
    bool left = s.infix;  // the left operand, already in slot 0
    for (uint32_t i = 0; i < length_of(s.spec); i++) {
        const Cell e = cells_of(s.spec)[i];  // re-read: fetching evaluates code
        switch (e.type()) {
            case TYPE_TYPESET: {
                if ((e.header & CLASS_MASK) == CLASS_RETURN) break;
                if (!active) {
                    if (values_in_code)
                        if (Flow flow = skip_argument(s, e, i); flow != Flow::normal) return flow;
                    if (!s.native) *stack::push_cell() = none_value();
                    break;
                }
                if (left) {
                    left = false;
                    check_type(s, e, stack::g_base, i);
                    break;
                }
                if (Flow flow = fetch_checked(s, e, i); flow != Flow::normal) return flow;
                break;
            }
            case TYPE_REFINEMENT:
                if (!values_in_code) {
                    if (s.native) return Flow::normal;  // nothing more to push
                    *stack::push_cell() = logic::make_value(false);
                    active = false;
                    break;
                }
                if (Flow flow = fetch_switch(s, e, i, &active); flow != Flow::normal) return flow;
                break;
            case TYPE_INTEGER:
                if (!s.native) s.locals = uint32_t(e.as_int());
                break;
            default:
                break;
        }
    }
    return Flow::normal;
}

bool has_refinements(const CallState& s) {
    for (uint32_t i = 0; i < length_of(s.spec); i++)
        if (cells_of(s.spec)[i].is(TYPE_REFINEMENT)) return true;
    return false;
}

int32_t find_refinement(const CallState& s, const Cell& element) {
    const uint32_t wanted = symbol::canonical(element.data2);
    const Cell* entries = cells_of(s.spec);
    for (uint32_t i = 0, n = length_of(s.spec); i < n; i++)
        if (entries[i].is(TYPE_REFINEMENT) && symbol::canonical(entries[i].data2) == wanted)
            return int32_t(i);
    return -1;
}

// A refinement named by a path element or in the code: switched on or off,
// its arguments fetched (or taken and dropped).
Flow use_refinement(CallState& s, const Cell& element, bool on) {
    const int32_t at = find_refinement(s, element);
    if (at < 0) fire(ErrorId::script_no_refine, s.name, element);
    const Cell r = cells_of(s.spec)[at];
    const uint32_t key = r.data3;
    const bool seen = key < 64 ? (s.given >> key) & 1
                               : (s.native ? s.slots[key - 1] != -1 : stack::g_base[key].data1 == 1);
    if (seen) fire(ErrorId::script_dup_refine, s.path ? *s.path : element);
    if (key < 64) s.given |= uint64_t(1) << key;
    Cell* base = stack::g_base;  // the value stack never moves
    if (s.native) s.slots[key - 1] = on ? int32_t(stack::g_top - base) : SLOT_OFF;
    else if (on) base[key] = logic::make_value(true);
    uint32_t m = 0;
    for (uint32_t i = uint32_t(at) + 1; i < length_of(s.spec); i++) {
        const Cell e = cells_of(s.spec)[i];
        if (!e.is(TYPE_TYPESET)) break;
        if ((e.header & CLASS_MASK) == CLASS_RETURN) continue;
        m++;
        if (!on) {
            if (Flow flow = skip_argument(s, e, i); flow != Flow::normal) return flow;
            continue;
        }
        if (Flow flow = fetch_checked(s, e, i); flow != Flow::normal) return flow;
        if (!s.native) {
            base[key + m] = stack::g_top[-1];
            stack::pop(1);
        }
    }
    return Flow::normal;
}

Flow walk_refinements(CallState& s) {
    if (s.path) {
        const NodeId path = s.path->data2;
        for (uint32_t k = s.path_index; k < length_of(path); k++) {  // the code may change the path
            const Cell element = cells_of(path)[k];
            bool on = true;
            if (element.is(TYPE_GET_WORD)) {
                on = !logic::false_value(word::get_value(&element));
            } else if (!refinement_word_q(element.type())) {
                if (s.flags && !has_refinements(s)) break;
                fire(ErrorId::script_bad_refine, element);
            }
            if (Flow flow = use_refinement(s, element, on); flow != Flow::normal) return flow;
        }
    }
    if (s.flags & CALL_CODE_REFINEMENTS) {
        while (s.pos < tail_of(s.code)) {
            const Cell element = cell_at(s.code, s.pos);
            if (!element.is(TYPE_REFINEMENT)) {
                if (!has_refinements(s)) break;
                fire(ErrorId::script_bad_refine, element);
            }
            s.pos++;
            bool on = false;
            if (s.pos < tail_of(s.code)) {
                if (Flow flow = fetch_one(s.code, s.pos, CLASS_NORMAL, false, s.flags & CALL_ONE_CELL);
                    flow != Flow::normal)
                    return flow;
                on = !logic::false_value(stack::g_top - 1);
                stack::pop(1);
            }
            if (Flow flow = use_refinement(s, element, on); flow != Flow::normal) return flow;
        }
    }
    return Flow::normal;
}

Flow fetch_arguments(CallState& s) {
    if (s.infix) stack::push_cell();  // the left operand, already in slot 0
    if (Flow flow = fetch_in_order(s); flow != Flow::normal) return flow;
    if (s.path || (s.flags & CALL_CODE_REFINEMENTS)) return walk_refinements(s);
    return Flow::normal;
}

// A status pending in user code that ran under the entry point comes back here.
Flow call_entry(natives::Entry entry, const int32_t* slots) {
    try {
        return entry(0, slots);
    } catch (const PendingFlow& pending) {
        return pending.code;
    }
}

Flow call_native(CallState& s) {
    const uint32_t index = s.fn.data1;
    natives::Entry entry = nullptr;
    if (s.fn.is(TYPE_NATIVE)) {
        if (index >= 1 && index <= natives::TABLE_SIZE) entry = natives::g_table[index - 1];
    } else if (index >= 1 && index <= uint32_t(ACTION_COUNT)) {
        entry = actions::g_dispatch_table[index - 1];
    }
    if (!entry) not_done_raise();
    for (uint32_t i = 0; i < s.slot_count; i++)
        if (s.slots[i] == SLOT_OFF) s.slots[i] = -1;
    trace(TRACE_CALL, s.code.node, int32_t(s.at), &s.name, &s.fn);
    return call_entry(entry, s.slot_count ? s.slots : nullptr);
}

// ---------------------------------------------------------------- running bodies

// Points a function context's values at the running call's arguments and puts
// the caller's pointer back however the body ends (recursion).
class ValuesScope {
public:
    explicit ValuesScope(NodeId context)
        : m_context(context),
          m_saved(stack::exchange_values(context, stack::values_word(stack::g_base))) {}
    ValuesScope(const ValuesScope&) = delete;
    ValuesScope& operator=(const ValuesScope&) = delete;
    // Re-read: the context record may have moved meanwhile.
    ~ValuesScope() { stack::set_values(m_context, m_saved); }

private:
    NodeId m_context;
    uint32_t m_saved;
};

// The end of a body's run shared by every way of running one: the marks put
// on this call's frame come off, and a return or exit made for it stops here.
inline Flow end_function_body(Flow flow, stack::CallFrame* record, uint32_t marks) {
    // A break, continue or throw has cut the frame stack below this frame.
    if (record < stack::g_frame_top) record->header &= ~marks;
    // A return from user code passes the bodies of library functions: only
    // one that made this frame current ends here.
    if ((flow == Flow::return_ || flow == Flow::exit) && stack::g_frame_top == record + 1)
        return Flow::normal;
    return flow;
}

// body: a copy of the function's body cell.
[[gnu::always_inline]] inline Flow eval_function_body(const Cell& fn, const Cell body) {
    ValuesScope values(fn.data1);
    FunctionTraceScope tracing(fn.header);
    stack::CallFrame* record = stack::g_frame_top - 1;  // this call's frame
    // return and exit stop here (a user block's only when it is user code)
    const bool library = body.data2 && (buf(body.data2)->flags & memory::LIBRARY_FLAG);
    const uint32_t marks = (stack::BODY_BYTE | (library ? stack::LIBRARY_BODY_BYTE : 0)) << 24;
    record->header |= marks;
    Flow flow = Flow::normal;
    if (g_trace_switch && !library) [[unlikely]] {
        const Cell name = stack::current_callee_word();
        trace_event(TRACE_PROLOG, body.data2, -1, &name, &fn);
    }
    if (block::any_block_q(body.type()) && body.data2) {
        // the body is a block evaluation of its own for tracers
        if (g_trace_switch && !library) [[unlikely]]
            trace_event(TRACE_ENTER, body.data2, int32_t(head_of(body)), nullptr, nullptr);
        flow = run_inline(body);
        if (flow == Flow::normal) *stack::g_base = stack::g_top[-1];
        if (g_trace_switch && flow == Flow::normal && !library) [[unlikely]]
            trace_event(TRACE_EXIT, body.data2, int32_t(length_of(body.data2)), nullptr,
                        stack::g_base);
    } else {
        *stack::g_base = unset_value();
    }
    if (g_trace_switch && flow == Flow::normal && !library) [[unlikely]] {
        const Cell name = stack::current_callee_word();
        trace_event(TRACE_EPILOG, body.data2, -1, &name, &fn);
    }
    return end_function_body(flow, record, marks);
}

bool declared_type_matches(const Cell& types, const Cell& value) {
    const Cell first = cells_of(types.data2)[head_of(types)];
    if (symbol::canonical(first.data2) == symbol::canonical(sym::id(sym::any_type_type))) return true;
    const Cell* type = context::bound_value(&first);
    if (!type) return false;
    if (type->is(TYPE_TYPESET)) return typeset::has(type, value.type());
    return type->is(TYPE_DATATYPE) && type->data1 == value.type();
}

// Routines with declared machine types check each argument, last first.
void check_routine_arguments(const Cell& fn, const Cell& name) {
    const NodeId spec = fn.data2;
    uint32_t k = routine::arity(&fn);
    for (uint32_t i = length_of(spec); i-- > 0 && k > 0;) {
        const Cell word = cells_of(spec)[i];
        if (!word.is(TYPE_WORD)) continue;
        const Cell value = stack::g_base[--k];
        const Cell types = i + 1 < length_of(spec) ? cells_of(spec)[i + 1] : none_value();
        if (!types.is(TYPE_BLOCK) || block::length_from_head(&types) == 0 ||
            !cells_of(types.data2)[head_of(types)].is(TYPE_WORD))
            fire(ErrorId::script_invalid_type_spec, types.is(TYPE_BLOCK) ? types : word);
        if (!declared_type_matches(types, value)) {
            // The value's datatype, as every other expect-arg names it.
            const Cell datatype = make_cell(TYPE_DATATYPE, value.type());
            support::fire_error(ErrorId::script_expect_arg, &name, &datatype, &word);
        }
    }
}

// True when every argument a routine checks is declared any-type!: its check
// can then never fail, nor its spec be found bad.
bool routine_checks_nothing(const Cell& fn) {
    const NodeId spec = fn.data2;
    uint32_t k = routine::arity(&fn);
    for (uint32_t i = length_of(spec); i-- > 0 && k > 0;) {
        const Cell word = cells_of(spec)[i];
        if (!word.is(TYPE_WORD)) continue;
        --k;
        const Cell types = i + 1 < length_of(spec) ? cells_of(spec)[i + 1] : none_value();
        if (!types.is(TYPE_BLOCK) || block::length_from_head(&types) == 0) return false;
        const Cell first = cells_of(types.data2)[head_of(types)];
        if (!first.is(TYPE_WORD) ||
            symbol::canonical(first.data2) != symbol::canonical(sym::id(sym::any_type_type)))
            return false;
    }
    return true;
}

// A routine's entry point and return type, kept by more-block so that a
// call reads no series. Only a collection frees a more-block's node for
// reuse, so an entry of an older collection epoch is read again.
extern uint32_t g_shape_epoch;
struct RoutineEntry {
    NodeId more = 0;
    uint32_t epoch = 0;
    routine::Entry entry = nullptr;
    int32_t return_type = routine::NO_RETURN_TYPE;
};
constexpr uint32_t ROUTINE_TABLE = 64;
RoutineEntry g_routine_entries[ROUTINE_TABLE];

// The entry as fn's more-block holds it; its entry point nullptr when none.
RoutineEntry routine_entry_read(const Cell& fn) {
    const Cell entry_cell = *more_of(fn, function::MORE_ENTRY);
    const Cell return_cell = *more_of(fn, function::MORE_OWNER);
    return RoutineEntry{
        fn.data3, g_shape_epoch,
        entry_cell.is(TYPE_INTEGER) ? routine::entry(uint32_t(entry_cell.as_int())) : nullptr,
        return_cell.is(TYPE_INTEGER) ? return_cell.as_int() : routine::NO_RETURN_TYPE};
}

[[gnu::noinline]] const RoutineEntry& read_routine_entry(const Cell& fn) {
    const RoutineEntry read = routine_entry_read(fn);
    if (!read.entry) not_done_raise();
    RoutineEntry& e = g_routine_entries[fn.data3 % ROUTINE_TABLE];
    e = read;
    return e;
}

inline const RoutineEntry& routine_entry_of(const Cell& fn) {
    const RoutineEntry& e = g_routine_entries[fn.data3 % ROUTINE_TABLE];
    if (e.more == fn.data3 && e.epoch == g_shape_epoch) [[likely]]
        return e;
    return read_routine_entry(fn);
}

// found: fn's entry, with an entry point.
[[gnu::always_inline]] inline Flow run_routine(const Cell& fn, const Cell& name,
                                               const RoutineEntry& found, bool check) {
    const routine::Entry entry = found.entry;
    const int32_t return_type = found.return_type;
    Cell* args = stack::g_base;
    routine::MachineResult result;
    trace(TRACE_CALL, 0, -1, &name, &fn);
    try {
        if (fn.header & routine::CELL_ARGUMENTS_FLAG) {
            stack::push_native_frame(words::get(words::body));
            result = entry(args);
            stack::pop_frame();
        } else {
            if (check) check_routine_arguments(fn, name);
            result = entry(args);
        }
    } catch (const PendingFlow& pending) {
        return pending.code;
    }
    switch (return_type) {
        case TYPE_LOGIC: *args = logic::make_value(result.integer != 0); break;
        case TYPE_INTEGER: *args = integer_cell(result.integer); break;
        case TYPE_FLOAT:
            *args = make_cell(TYPE_FLOAT);
            args->set_double(result.number);
            break;
        default: break;  // the routine wrote its result itself
    }
    return Flow::normal;
}

[[gnu::always_inline]] inline Flow call_routine(const Cell& fn, const Cell& name, bool check = true) {
    return run_routine(fn, name, routine_entry_of(fn), check);
}

// ---------------------------------------------------------------- calls

Cell call_name(const CallOptions& o, const Code& code, uint32_t pos) {
    Cell candidate = none_value();
    if (o.name) candidate = *o.name;
    else if (code.node && pos > 0 && pos - 1 < length_of(code.node)) candidate = cell_at(code, pos - 1);
    else if (o.path) candidate = *o.path;
    if (word::any_word_type_q(candidate.type())) return candidate;
    return *words::get(words::anon);
}

[[gnu::noinline]] Flow run_call(CallState& s) {
    // An operator's left operand, on top, becomes slot 0 of its call.
    if (s.infix) stack::g_top--;
    const stack::CallFrame* const record = stack::g_frame_top;
    switch (s.fn.type()) {
        case TYPE_NATIVE: case TYPE_ACTION: {
            int32_t fast[FAST_SLOTS];
            std::unique_ptr<int32_t[]> many;
            const NodeId spec = s.spec;
            const uint32_t n = length_of(spec);
            const Cell last = n ? cells_of(spec)[n - 1] : none_value();
            s.slot_count = last.is(TYPE_INTEGER) ? uint32_t(last.as_int()) : 0;
            if (s.slot_count > FAST_SLOTS) {
                many.reset(new int32_t[s.slot_count]);
                s.slots = many.get();
            } else {
                s.slots = fast;
            }
            std::fill(s.slots, s.slots + s.slot_count, -1);
            stack::push_interp_native_frame(&s.name);
            if (Flow flow = fetch_arguments(s); flow != Flow::normal) return pass_on(flow, record);
            if (Flow flow = call_native(s); flow != Flow::normal) return pass_on(flow, record);
            break;
        }
        case TYPE_ROUTINE:
            stack::push_interp_native_frame(&s.name);
            if (Flow flow = fetch_arguments(s); flow != Flow::normal) return pass_on(flow, record);
            function::push_locals(int32_t(s.locals));
            if (Flow flow = call_routine(s.fn, s.name); flow != Flow::normal) return pass_on(flow, record);
            break;
        case TYPE_FUNCTION:
            stack::push_interp_function_frame(&s.name);
            if (Flow flow = fetch_arguments(s); flow != Flow::normal) return pass_on(flow, record);
            function::push_locals(int32_t(s.locals));
            // An operator's function has no cell of its own below the frame:
            // one above the locals keeps it alive while the body runs.
            if (s.infix) stack::push(&s.fn);
            trace(TRACE_CALL, s.code.node, int32_t(s.at), &s.name, &s.fn);
            if (Flow flow = exec_function(&s.fn); flow != Flow::normal) return pass_on(flow, record);
            break;
        default:
            not_done_raise();
    }
    stack::pop_frame();
    return Flow::normal;
}

// The built-in actions and natives that have fast paths, by the values their
// words got at start-up: a script that redefines `+`, `add` or `pick` gets
// its own function. An op! shares the index, spec and more-block of the
// function it wraps, so it matches that function's entry.
// Division and remainder have no fast-path op code: the evaluator works out
// their integer case itself (op: MATH_DIVIDE or MATH_REMAINDER) and leaves
// a zero divisor and the one overflow to the action, which raises.
enum FastKind : uint8_t {
    FAST_KIND_NONE, FAST_KIND_MATH, FAST_KIND_COMPARE, FAST_KIND_DIVIDE, FAST_KIND_PICK, FAST_KIND_SERIES,
    FAST_KIND_BRANCH, FAST_KIND_NOT
};
// Op codes of the branch natives.
enum : uint8_t { BRANCH_EITHER, BRANCH_IF, BRANCH_UNLESS };
// The integer case of a target, kind and op code in one, so the operator
// loop needs a single switch.
enum IntegerStep : uint8_t {
    STEP_NONE, STEP_ADD, STEP_SUBTRACT, STEP_MULTIPLY, STEP_OR, STEP_AND, STEP_XOR, STEP_EQUAL,
    STEP_NOT_EQUAL, STEP_LESSER, STEP_LESSER_OR_EQUAL, STEP_GREATER, STEP_GREATER_OR_EQUAL,
    STEP_DIVIDE, STEP_REMAINDER
};
struct FastTarget {
    NodeId spec = 0;
    NodeId more = 0;
    uint8_t kind = FAST_KIND_NONE;
    uint8_t op = 0;
    uint8_t step = STEP_NONE;
};
FastTarget g_fast_actions[ACTION_COUNT + 1];
FastTarget g_fast_natives[natives::TABLE_SIZE + 1];

void capture_fast_targets() {
    static const struct {
        const char* word;
        uint8_t kind;
        uint8_t op;
        uint8_t step = STEP_NONE;
    } targets[] = {
        {"add", FAST_KIND_MATH, actions::FAST_ADD, STEP_ADD},
        {"subtract", FAST_KIND_MATH, actions::FAST_SUBTRACT, STEP_SUBTRACT},
        {"multiply", FAST_KIND_MATH, actions::FAST_MULTIPLY, STEP_MULTIPLY},
        {"or~", FAST_KIND_MATH, actions::FAST_OR, STEP_OR},
        {"and~", FAST_KIND_MATH, actions::FAST_AND, STEP_AND},
        {"xor~", FAST_KIND_MATH, actions::FAST_XOR, STEP_XOR},
        {"divide", FAST_KIND_DIVIDE, MATH_DIVIDE, STEP_DIVIDE},
        {"remainder", FAST_KIND_DIVIDE, MATH_REMAINDER, STEP_REMAINDER},
        {"equal?", FAST_KIND_COMPARE, actions::FAST_EQUAL, STEP_EQUAL},
        {"not-equal?", FAST_KIND_COMPARE, actions::FAST_NOT_EQUAL, STEP_NOT_EQUAL},
        {"strict-equal?", FAST_KIND_COMPARE, actions::FAST_STRICT_EQUAL, STEP_EQUAL},
        {"lesser?", FAST_KIND_COMPARE, actions::FAST_LESSER, STEP_LESSER},
        {"lesser-or-equal?", FAST_KIND_COMPARE, actions::FAST_LESSER_OR_EQUAL, STEP_LESSER_OR_EQUAL},
        {"greater?", FAST_KIND_COMPARE, actions::FAST_GREATER, STEP_GREATER},
        {"greater-or-equal?", FAST_KIND_COMPARE, actions::FAST_GREATER_OR_EQUAL, STEP_GREATER_OR_EQUAL},
        {"pick", FAST_KIND_PICK, 0},
        {"length?", FAST_KIND_SERIES, actions::FAST_LENGTH_Q},
        {"index?", FAST_KIND_SERIES, actions::FAST_INDEX_Q},
        {"head?", FAST_KIND_SERIES, actions::FAST_HEAD_Q},
        {"tail?", FAST_KIND_SERIES, actions::FAST_TAIL_Q},
        {"next", FAST_KIND_SERIES, actions::FAST_NEXT},
        {"back", FAST_KIND_SERIES, actions::FAST_BACK},
        {"head", FAST_KIND_SERIES, actions::FAST_HEAD},
        {"tail", FAST_KIND_SERIES, actions::FAST_TAIL},
        {"either", FAST_KIND_BRANCH, BRANCH_EITHER},
        {"if", FAST_KIND_BRANCH, BRANCH_IF},
        {"unless", FAST_KIND_BRANCH, BRANCH_UNLESS},
        {"not", FAST_KIND_NOT, 0},
    };
    for (FastTarget& t : g_fast_actions) t = FastTarget{};
    for (FastTarget& t : g_fast_natives) t = FastTarget{};
    for (const auto& t : targets) {
        const Cell* value = context::find_word_value(symbol::make(t.word), context::global());
        if (!value) continue;
        const uint32_t index = value->data1;
        FastTarget* slot = nullptr;
        if (value->is(TYPE_ACTION) && index >= 1 && index <= uint32_t(ACTION_COUNT))
            slot = &g_fast_actions[index];
        else if (value->is(TYPE_NATIVE) && index >= 1 && index <= natives::TABLE_SIZE)
            slot = &g_fast_natives[index];
        if (slot) *slot = FastTarget{value->data2, value->data3, t.kind, t.op, t.step};
    }
}

// fn: an action! or native! of type `type` (an op! with the type it wraps);
// nullptr unless it is one of the start-up values above.
inline const FastTarget* fast_target(const Cell& fn, uint32_t type) {
    const uint32_t index = fn.data1;
    const FastTarget* t;
    if (type == TYPE_ACTION) {
        if (index > uint32_t(ACTION_COUNT)) return nullptr;
        t = &g_fast_actions[index];
    } else if (type == TYPE_NATIVE) {
        if (index > natives::TABLE_SIZE) return nullptr;
        t = &g_fast_natives[index];
    } else {
        return nullptr;
    }
    if (t->kind == FAST_KIND_NONE || t->spec != fn.data2 || t->more != fn.data3) return nullptr;
    return t;
}
inline const FastTarget* fast_target(const Cell& fn) { return fast_target(fn, fn.type()); }

// The integer case of divide and remainder when the action would not raise.
inline bool integer_divide(int op, Cell* left, int32_t right) {
    const int32_t a = left->as_int();
    if (right == 0 || (right == -1 && a == INT32_MIN)) return false;
    integer::do_math(a, right, op, left);
    return true;
}

// A fast path on the arguments of a call already fetched into slots 0 and
// 1: true when it left the result in slot 0, false when the action must run.
inline bool fast_call_in_frame(const FastTarget& t) {
    Cell* base = stack::g_base;
    switch (t.kind) {
        case FAST_KIND_MATH:
            return actions::fast_math_core(t.op, base, base + 1, base);
        case FAST_KIND_COMPARE: {
            bool truth;
            if (!actions::fast_compare_core(t.op, base, base + 1, &truth)) return false;
            *base = logic::make_value(truth);
            return true;
        }
        case FAST_KIND_DIVIDE:
            return base[0].is(TYPE_INTEGER) && base[1].is(TYPE_INTEGER) &&
                   integer_divide(t.op, base, base[1].as_int());
        case FAST_KIND_PICK:
            return base[1].is(TYPE_INTEGER) && actions::fast_pick_core(base, base[1].as_int(), base);
        case FAST_KIND_NOT:
            *base = logic::make_value(logic::false_value(base));
            return true;
        default:
            return actions::fast_series_core(t.op, base, base);
    }
}

// An add, subtract or multiply that overflows: the float! result as the
// action gives it.
[[gnu::cold, gnu::noinline]] bool integer_overflow(int op, Cell* left, int32_t right) {
    integer::do_math(left->as_int(), right, op, left);
    return true;
}

// A built-in operator on an integer left operand and an integer right one,
// the result in place of the left; false when the action must decide (a
// zero divisor, the one division overflow, an operator with no integer case).
[[gnu::always_inline]] inline bool integer_step(const FastTarget& t, Cell* left, int32_t right) {
    const int32_t a = left->as_int();
    int32_t r;
    switch (t.step) {
        case STEP_ADD:
            if (__builtin_add_overflow(a, right, &r)) [[unlikely]]
                return integer_overflow(MATH_ADD, left, right);
            left->data2 = uint32_t(r);
            return true;
        case STEP_SUBTRACT:
            if (__builtin_sub_overflow(a, right, &r)) [[unlikely]]
                return integer_overflow(MATH_SUBTRACT, left, right);
            left->data2 = uint32_t(r);
            return true;
        case STEP_MULTIPLY:
            if (__builtin_mul_overflow(a, right, &r)) [[unlikely]]
                return integer_overflow(MATH_MULTIPLY, left, right);
            left->data2 = uint32_t(r);
            return true;
        case STEP_OR: left->data2 = uint32_t(a | right); return true;
        case STEP_AND: left->data2 = uint32_t(a & right); return true;
        case STEP_XOR: left->data2 = uint32_t(a ^ right); return true;
        case STEP_EQUAL: *left = logic::make_value(a == right); return true;
        case STEP_NOT_EQUAL: *left = logic::make_value(a != right); return true;
        case STEP_LESSER: *left = logic::make_value(a < right); return true;
        case STEP_LESSER_OR_EQUAL: *left = logic::make_value(a <= right); return true;
        case STEP_GREATER: *left = logic::make_value(a > right); return true;
        case STEP_GREATER_OR_EQUAL: *left = logic::make_value(a >= right); return true;
        case STEP_DIVIDE: return integer_divide(MATH_DIVIDE, left, right);
        case STEP_REMAINDER: return integer_divide(MATH_REMAINDER, left, right);
        default: return false;
    }
}

// ---------------------------------------------------------------- pure expressions

// A pure expression: a value that runs nothing (a literal, or a word holding
// such a value), an integer followed by built-in operators on integers given
// in the code or held by words, or a paren holding one pure expression.
// Nothing in it can fail, run user code, allocate or be seen from outside,
// so it is worked out ahead, with no frame and no block evaluation; on
// anything else the caller evaluates the expression the general way from
// its start. Only while no tracer is installed and no Ctrl-C waits, and with
// room for what the general way would push, so its overflows stay where
// they were. A whole block is taken so only while no Ctrl-C waits (a block
// evaluation looks for one).
constexpr uint32_t PURE_DEPTH = 8;  // parens inside parens
constexpr uint32_t PURE_ROOM_CELLS = 2 * PURE_DEPTH + 4;

inline bool pure_allowed() {
    return !(g_trace_switch | g_user_trace_switch) && stack::g_top + PURE_ROOM_CELLS < stack::g_end &&
           stack::g_frame_top + 2 < stack::g_frame_end;
}

bool pure_block(const Cell& block, Cell* out, uint32_t depth);

inline const Cell* pure_integer(const Cell& c) {
    if (c.is(TYPE_INTEGER)) return &c;
    if (!c.is(TYPE_WORD)) return nullptr;
    const Cell* value = context::bound_value(&c);
    return value && value->is(TYPE_INTEGER) ? value : nullptr;
}

inline bool pure_operand(const Cell& c, Cell* out, uint32_t depth) {
    const Cell* value = &c;
    if (c.is(TYPE_WORD)) {
        value = context::bound_value(&c);
        if (!value || in_set(ACTIVE_VALUES, value->type())) return false;
    } else if (c.is(TYPE_PAREN)) {
        return pure_block(c, out, depth + 1);
    } else if (in_set(ACTIVE_CELLS, c.type()) || c.is(TYPE_UNSET)) {
        return false;  // an unset! value is an error where it is used
    }
    *out = *value;
    return true;
}

// The pure expression at pos of cells up to tail: its value in *out and pos
// past it, else false with pos as it was.
bool pure_expression(const Cell* cells, uint32_t tail, uint32_t& pos, Cell* out, uint32_t depth) {
    if (pos >= tail || !pure_operand(cells[pos], out, depth)) return false;
    uint32_t p = pos + 1;
    while (p < tail && cells[p].is(TYPE_WORD)) {
        const Cell* op = context::bound_value(&cells[p]);
        if (!op || !op->is(TYPE_OP)) break;  // a word that starts the next expression
        if (!out->is(TYPE_INTEGER) || p + 1 >= tail) return false;
        const FastTarget* t = fast_target(*op, op::wrapped_type(op));
        const Cell* right = pure_integer(cells[p + 1]);
        if (!t || !right || !integer_step(*t, out, right->as_int())) return false;
        p += 2;
    }
    pos = p;
    return true;
}

// A block or paren holding one pure expression, from its index to its tail.
bool pure_block(const Cell& block, Cell* out, uint32_t depth) {
    if (depth > PURE_DEPTH || !block.data2) return false;
    memory::SeriesBuffer* b = buf(block.data2);
    const uint32_t tail = b->used() / CELL;
    uint32_t pos = head_of(block);
    return pure_expression(b->head_cell(), tail, pos, out, depth) && pos == tail;
}

// A block's value as evaluating it gives, pushed, when it is pure.
inline bool push_pure_block(const Cell& block) {
    if (!pure_allowed() || g_interrupt) return false;
    Cell value;
    if (!pure_block(block, &value, 0)) return false;
    stack::push(&value);
    return true;
}

// ---------------------------------------------------------------- plain calls

// A call without path, call flags or infix operand: the arguments are the
// normal ones, in spec order, up to the first refinement. This is the call of
// almost every word in running code, so it takes the short way through the
// argument spec.

[[noreturn, gnu::noinline]] void fire_no_arg_at(const Cell& fn, const Cell& name, NodeId spec,
                                               uint32_t entry) {
    const Cell word = parameter_word(fn, parameter_of(spec, entry));
    fire(ErrorId::script_no_arg, name, word);
}

[[noreturn, gnu::noinline]] void fire_expect_at(const Cell& fn, const Cell& name, NodeId spec,
                                               uint32_t entry, uint32_t type) {
    fire_expect_arg(name, type, fn, parameter_of(spec, entry));
}

// The argument of typeset entry `entry` (a copy: fetching may move the
// cache), pushed and checked.
[[gnu::always_inline]] inline Flow fetch_plain(const Cell& fn, const Cell& name, NodeId spec,
                                               uint32_t entry, const Cell& ts, const Code& code,
                                               View& v, uint32_t& pos) {
    const uint32_t cls = ts.header & CLASS_MASK;
    if (pos >= v.tail) [[unlikely]] {
        if (cls == CLASS_LITERAL && typeset::has(&ts, TYPE_UNSET)) {
            *stack::push_cell() = unset_value();
            return Flow::normal;
        }
        fire_no_arg_at(fn, name, spec, entry);
    }
    if (cls == CLASS_NORMAL) {
        if (Flow flow = eval_inline(code, v, pos, false, false); flow != Flow::normal) return flow;
    } else {
        if (Flow flow = fetch_one(code, pos, cls, false, false); flow != Flow::normal) return flow;
        v = view_of(code);
    }
    const uint32_t type = stack::g_top[-1].type();
    if (!typeset::has(&ts, type)) [[unlikely]]
        fire_expect_at(fn, name, spec, entry, type);
    return Flow::normal;
}

// The arguments up to the first refinement; answers the entry after the last
// one fetched (a refinement, the local count or the end) in *stop.
inline Flow fetch_plain_arguments(const Cell& fn, const Cell& name, NodeId spec, const Code& code,
                                  uint32_t& pos, uint32_t* stop) {
    const uint32_t n = length_of(spec);
    View v = view_of(code);
    uint32_t i = 0;
    for (; i < n; i++) {
        const Cell e = cells_of(spec)[i];  // re-read: fetching evaluates code
        if (e.is(TYPE_TYPESET)) {
            if ((e.header & CLASS_MASK) == CLASS_RETURN) continue;
            if (Flow flow = fetch_plain(fn, name, spec, i, e, code, v, pos); flow != Flow::normal)
                return flow;
        } else {
            break;  // a refinement, or the count of local slots
        }
    }
    *stop = i;
    return Flow::normal;
}

// What a plain call needs of a function's argument spec, kept in a small
// table by more-block so that a call walks no series: the accepted types of
// the leading arguments, the cells a function pushes after them (false for
// a refinement and for /local, none! for the rest) and a native's
// refinement slots. Every collection starts a new epoch that empties the
// table, since only a collection frees a more-block's node for reuse.
constexpr uint32_t SHAPE_ARGS = 4;
constexpr uint32_t SHAPE_TABLE = 256;
struct Shape {
    // spec and more lie as a cell's words 2 and 3 do: one compare finds both
    NodeId spec = 0;    // the function's spec block
    NodeId more = 0;    // 0: no entry
    uint32_t epoch = 0;
    uint8_t type = 0;
    uint8_t simple = 0;  // else the call takes the general way
    uint8_t args = 0;
    uint8_t tail = 0;    // functions: cells after the arguments
    uint8_t fast = 0;    // natives and actions: the kind of their fast path (start-up values)
    uint8_t fast_op = 0;
    uint8_t unchecked = 0;  // routines: no argument check can fail
    uint8_t block_body = 0; // functions: the body is a block with a series
    uint32_t slots = 0;  // natives and actions: refinement slots
    uint64_t falses = 0; // bit k: tail cell k is logic false, else none!
    uint64_t accept[SHAPE_ARGS] = {};
    Cell body{};         // functions: the more-block's body, set once at creation
    RoutineEntry routine{};  // routines: the entry the more-block holds
};
Shape g_shapes[SHAPE_TABLE];
uint32_t g_shape_epoch = 1;

// Each collection: shapes are made again, and the stack context mirrored
// for look-ups is forgotten (its node may have been freed).
void forget_shapes_and_values() {
    g_shape_epoch++;
    stack::forget_values_context();
}

uint64_t type_mask(const Cell& ts) {
    uint64_t mask = 0;
    for (uint32_t t = 0; t < 64; t++)
        if (typeset::has(&ts, t)) mask |= uint64_t(1) << t;
    return mask;
}

// fn: a copy (building the argument spec allocates).
[[gnu::noinline]] const Shape& build_shape(const Cell& fn) {
    const NodeId spec = spec_cache(fn);
    Shape sh;
    sh.more = fn.data3;
    sh.spec = fn.data2;
    sh.epoch = g_shape_epoch;
    sh.type = uint8_t(fn.type());
    const bool native = fn.is(TYPE_NATIVE) || fn.is(TYPE_ACTION);
    const uint32_t n = length_of(spec);
    const Cell* e = cells_of(spec);
    bool simple = true;
    // A return: after the arguments takes no cell (a return: before one
    // would shift the entries the error reports name).
    bool returned = false;
    uint32_t i = 0, args = 0;
    for (; i < n && e[i].is(TYPE_TYPESET); i++) {
        const uint32_t cls = e[i].header & CLASS_MASK;
        if (cls == CLASS_RETURN) {
            returned = true;
        } else if (cls != CLASS_NORMAL || returned || args >= SHAPE_ARGS) {
            simple = false;
            args++;
        } else {
            sh.accept[args++] = type_mask(e[i]);
        }
    }
    sh.args = uint8_t(args);
    uint32_t tail = 0;
    for (; i < n; i++) {
        if (e[i].is(TYPE_REFINEMENT)) {
            if (tail < 64) sh.falses |= uint64_t(1) << tail;
            tail++;
        } else if (e[i].is(TYPE_TYPESET)) {
            if ((e[i].header & CLASS_MASK) != CLASS_RETURN) tail++;
        } else if (e[i].is(TYPE_INTEGER)) {
            const uint32_t count = uint32_t(e[i].as_int());
            if (native) {
                sh.slots = count;
                if (count > FAST_SLOTS) simple = false;
            } else if (count) {
                if (tail < 64) sh.falses |= uint64_t(1) << tail;
                tail += count;
            }
        }
    }
    if (!native && tail > 64) simple = false;
    sh.tail = uint8_t(native ? 0 : tail);
    if (fn.is(TYPE_FUNCTION)) {
        const Cell* more = more_of(fn, 0);
        const Cell& entry = more[function::MORE_ENTRY];
        if (entry.is(TYPE_INTEGER) && entry.as_int() != 0) simple = false;  // compiled bodies
        sh.body = more[function::MORE_BODY];
        sh.block_body = block::any_block_q(sh.body.type()) && sh.body.data2;
    }
    if (fn.is(TYPE_ROUTINE)) {
        sh.routine = routine_entry_read(fn);
        if (!(fn.header & routine::CELL_ARGUMENTS_FLAG)) sh.unchecked = routine_checks_nothing(fn);
    }
    sh.simple = simple;
    if (const FastTarget* t = native ? fast_target(fn) : nullptr) {
        sh.fast = t->kind;
        sh.fast_op = t->op;
    }
    Shape& slot = g_shapes[fn.data3 % SHAPE_TABLE];
    slot = sh;
    return slot;
}

inline const Shape& shape_of(const Cell& fn) {
    const Shape& sh = g_shapes[fn.data3 % SHAPE_TABLE];
    uint64_t key, have;
    std::memcpy(&key, &fn.data2, sizeof key);
    std::memcpy(&have, &sh.spec, sizeof have);
    if (have == key && sh.epoch == g_shape_epoch && sh.type == fn.type()) [[likely]]
        return sh;
    return build_shape(fn);
}

// The table entry of fn again after code ran: the calls it made may have put
// another function's shape in its slot. An entry for fn's more-block is
// fn's own whatever its epoch: the call keeps fn, and its more-block, alive,
// and no other value of a type that has shapes shares a more-block.
inline const Shape* shape_again(const Shape* sh, const Cell& fn) {
    if (sh->more == fn.data3) [[likely]]
        return sh;
    return &shape_of(fn);
}

// A block! in the code at pos with no operator after it: pushed as
// evaluating it would push it, with no tracer to tell.
inline bool push_literal_block(const View& v, uint32_t& pos) {
    if (pos >= v.tail || g_trace_switch) return false;
    const Cell* c = v.cells + pos;
    if (!c->is(TYPE_BLOCK) || operator_at(v, pos + 1)) return false;
    stack::push(c);
    pos++;
    return true;
}

// The leading arguments of a plain call, fetched and checked. A branch
// native's blocks are taken straight from the code where they stand there.
template <bool BRANCH = false>
[[gnu::always_inline]] inline Flow fetch_shaped(const Cell& fn, const Cell& name, const Shape*& sh,
                                                const Code& code, uint32_t& pos) {
    View v = view_of(code);
    for (uint32_t i = 0; i < sh->args; i++) {
        if (BRANCH && i > 0 && push_literal_block(v, pos)) {
            if (!((sh->accept[i] >> TYPE_BLOCK) & 1)) [[unlikely]]
                fire_expect_at(fn, name, spec_cache(fn), i, TYPE_BLOCK);
            continue;
        }
        if (pos >= v.tail) [[unlikely]]
            fire_no_arg_at(fn, name, spec_cache(fn), i);
        if (Flow flow = eval_inline(code, v, pos, false, false); flow != Flow::normal) return flow;
        sh = shape_again(sh, fn);
        const uint32_t type = stack::g_top[-1].type();
        if (!((sh->accept[i] >> type) & 1)) [[unlikely]]
            fire_expect_at(fn, name, spec_cache(fn), i, type);
    }
    return Flow::normal;
}


// The end of a user body that stopped early or turned a tracer on: as
// eval_function_body ends it.
[[gnu::noinline]] Flow finish_user_body(Flow flow, const Cell& fn, const Cell& body,
                                        stack::CallFrame* record) {
    if (flow == Flow::normal) {
        *stack::g_base = stack::g_top[-1];
        if (g_trace_switch) {
            trace_event(TRACE_EXIT, body.data2, int32_t(length_of(body.data2)), nullptr,
                        stack::g_base);
            const Cell name = stack::current_callee_word();
            trace_event(TRACE_EPILOG, body.data2, -1, &name, &fn);
        }
    }
    return end_function_body(flow, record, stack::BODY_BYTE << 24);
}

// The body of a user function called by user code with no tracer and no
// trace flag: what eval_function_body and run_block would do, with nothing
// checked twice. The result goes straight to slot, the function's copy.
[[gnu::always_inline]] inline Flow run_user_body(const Cell& fn, const Cell& body, View v,
                                                 Cell* slot) {
    stack::CallFrame* const record = stack::g_frame_top - 1;  // this call's frame
    record->header |= stack::BODY_BYTE << 24;
    ValuesScope values(fn.data1);
    Flow flow = run_user_steps(body.data2, head_of(body), body.data3, v);
    if (flow == Flow::normal && !g_trace_switch) [[likely]] {
        const Cell result = stack::g_top[-1];
        stack::pop_own_frame(record, stack::cell_at(record->saved_base));
        *slot = result;
        stack::g_top = slot + 1;
        return Flow::normal;
    }
    if (flow = finish_user_body(flow, fn, body, record); flow != Flow::normal) return flow;
    stack::pop_frame();
    *slot = slot[1];
    stack::g_top = slot + 1;
    return Flow::normal;
}

// Leaves the result in slot, the function's copy, and the top after it.
[[gnu::always_inline]] inline Flow call_shaped_function(const Cell& fn, const Cell& name,
                                                        const Shape* sh, const Code& code,
                                                        uint32_t& pos, uint32_t at, Cell* slot) {
    stack::push_interp_function_frame(&name);
    if (Flow flow = fetch_shaped(fn, name, sh, code, pos); flow != Flow::normal) return flow;
    const uint64_t falses = sh->falses;
    for (uint32_t k = 0, n = sh->tail; k < n; k++) {
        Cell* c = stack::push_cell();
        *c = (k < 64 && ((falses >> k) & 1)) ? logic::make_value(false) : none_value();
    }
    // A tracer may run other calls and give this shape's slot to them.
    const Cell body = sh->body;
    constexpr uint32_t TRACE_FLAGS = FUNCTION_UNTRACED_FLAG | FUNCTION_TRACED_FLAG;
    if (!(g_trace_switch | stack::g_library_code | (fn.header & TRACE_FLAGS)) && sh->block_body)
        [[likely]] {
        memory::SeriesBuffer* b = buf(body.data2);
        const uint32_t n = b->used() / CELL;
        if (!(b->flags & memory::LIBRARY_FLAG) && head_of(body) < n) [[likely]]
            return run_user_body(fn, body, View{b->head_cell(), n}, slot);
    }
    trace(TRACE_CALL, code.node, int32_t(at), &name, &fn);
    if (Flow flow = eval_function_body(fn, body); flow != Flow::normal) return flow;
    stack::pop_frame();
    *slot = slot[1];
    stack::g_top = slot + 1;
    return Flow::normal;
}

// A routine!'s frame is a native's; its unused refinements and locals are
// pushed as a function's are.
[[gnu::noinline]] Flow call_shaped_routine(const Cell& fn, const Cell& name, const Shape* sh,
                                           const Code& code, uint32_t& pos) {
    stack::push_interp_native_frame(&name);
    if (Flow flow = fetch_shaped(fn, name, sh, code, pos); flow != Flow::normal) return flow;
    const uint64_t falses = sh->falses;
    for (uint32_t k = 0, n = sh->tail; k < n; k++) {
        Cell* c = stack::push_cell();
        *c = (k < 64 && ((falses >> k) & 1)) ? logic::make_value(false) : none_value();
    }
    sh = shape_again(sh, fn);
    if (!sh->routine.entry) not_done_raise();
    if (Flow flow = run_routine(fn, name, sh->routine, !sh->unchecked); flow != Flow::normal)
        return flow;
    stack::pop_own_top_frame();
    return Flow::normal;
}

inline natives::Entry entry_of(const Cell& fn) {
    const uint32_t index = fn.data1;
    if (fn.is(TYPE_NATIVE)) {
        if (index >= 1 && index <= natives::TABLE_SIZE) return natives::g_table[index - 1];
    } else if (index >= 1 && index <= uint32_t(ACTION_COUNT)) {
        return actions::g_dispatch_table[index - 1];
    }
    return nullptr;
}

// The value of a block that holds one value needing no call (a literal, or
// a word holding such a value): running it would run nothing, so its frame
// and cells could not be seen. nullptr when the block must run, or when the
// frame or cell it would push would overflow (the run raises that), or a
// Ctrl-C waits (the run looks for one). Good until the next allocation.
inline const Cell* single_value(const Cell& blk) {
    if (!blk.data2 || g_interrupt || stack::g_frame_top >= stack::g_frame_end ||
        stack::g_top + 1 >= stack::g_end)
        return nullptr;
    memory::SeriesBuffer* b = buf(blk.data2);
    const uint32_t head = head_of(blk);
    if (head + 1 != b->used() / CELL) return nullptr;
    return inert_value(b->head_cell() + head);
}

// either, if and unless in the native's frame: the chosen block runs under
// the evaluation frame the native would push, with no native entry between.
// False when the native must run (either on unset!, which raises, or a user
// block that library code hands over).
[[gnu::always_inline]] inline bool run_branch(uint8_t op, Flow* flow) {
    Cell* const base = stack::g_base;
    if (op == BRANCH_EITHER && base->is(TYPE_UNSET)) return false;
    const bool truth = !logic::false_value(base);
    uint32_t which = 1;
    if (op == BRANCH_EITHER) which = truth ? 1 : 2;
    else if (truth != (op == BRANCH_IF)) which = 0;
    *flow = Flow::normal;
    if (!which) {
        stack::set_result_reset(&shared_none_cell);
        return true;
    }
    const Cell blk = base[which];
    if (!blk.is(TYPE_BLOCK)) return false;
    if (stack::g_library_code && blk.data2 && !(buf(blk.data2)->flags & memory::LIBRARY_FLAG))
        return false;
    if (const Cell* value = single_value(blk)) {
        *base = *value;
        return true;
    }
    const stack::CallFrame* const record = stack::g_frame_top;
    stack::push_eval_frame(words::get(words::body));
    if (Flow f = run_inline(blk); f != Flow::normal) {
        *flow = pass_on(f, record);
        return true;
    }
    stack::pop_frame_set_result();
    return true;
}

// The native's own entry on the arguments fetched, in its frame.
[[gnu::always_inline]] inline Flow enter_native(const Cell& fn, const Cell& name, const Shape* sh,
                                                int32_t* slots, const Code& code, uint32_t at) {
    const natives::Entry entry = entry_of(fn);
    if (!entry) not_done_raise();
    const uint32_t slot_count = sh->slots;  // read before a tracer runs other calls
    trace(TRACE_CALL, code.node, int32_t(at), &name, &fn);
    if (Flow flow = call_entry(entry, slot_count ? slots : nullptr); flow != Flow::normal)
        return flow;
    stack::pop_own_top_frame();
    return Flow::normal;
}

// either, if and unless as their start-up values.
[[gnu::always_inline]] inline Flow call_branch_native(const Cell& fn, const Cell& name, const Shape* sh,
                                          const Code& code, uint32_t& pos, uint32_t at) {
    int32_t slots[FAST_SLOTS];
    std::fill(slots, slots + sh->slots, -1);
    stack::push_interp_native_frame(&name);
    if (Flow flow = fetch_shaped<true>(fn, name, sh, code, pos); flow != Flow::normal) return flow;
    if (!g_trace_switch) {
        Flow flow;
        if (run_branch(sh->fast_op, &flow)) {
            if (flow != Flow::normal) return flow;
            stack::pop_own_top_frame();  // the native's own frame, pushed above
            return Flow::normal;
        }
    }
    return enter_native(fn, name, sh, slots, code, at);
}

[[gnu::always_inline]] inline Flow call_shaped_native(const Cell& fn, const Cell& name,
                                                      const Shape* sh, const Code& code,
                                                      uint32_t& pos, uint32_t at) {
    if (sh->fast == FAST_KIND_BRANCH) [[unlikely]]
        return call_branch_native(fn, name, sh, code, pos, at);
    int32_t slots[FAST_SLOTS];
    std::fill(slots, slots + sh->slots, -1);
    stack::push_interp_native_frame(&name);
    if (Flow flow = fetch_shaped(fn, name, sh, code, pos); flow != Flow::normal) return flow;
    if (sh->fast && !g_trace_switch) {
        const FastTarget t{fn.data2, fn.data3, sh->fast, sh->fast_op};
        if (fast_call_in_frame(t)) {
            stack::pop_own_top_frame();
            return Flow::normal;
        }
    }
    return enter_native(fn, name, sh, slots, code, at);
}

[[gnu::always_inline]] inline Flow call_plain_function(const Cell& fn, const Cell& name,
                                                       NodeId spec, const Code& code,
                                                       uint32_t& pos, uint32_t at) {
    stack::push_interp_function_frame(&name);
    uint32_t i;
    if (Flow flow = fetch_plain_arguments(fn, name, spec, code, pos, &i); flow != Flow::normal)
        return flow;
    // The refinements are unused: false, and none! for their arguments; the
    // last entry may count the local slots.
    uint32_t locals = 0;
    for (const uint32_t n = length_of(spec); i < n; i++) {
        const Cell e = cells_of(spec)[i];
        if (e.is(TYPE_REFINEMENT)) *stack::push_cell() = logic::make_value(false);
        else if (e.is(TYPE_TYPESET) && (e.header & CLASS_MASK) != CLASS_RETURN)
            *stack::push_cell() = none_value();
        else if (e.is(TYPE_INTEGER)) locals = uint32_t(e.as_int());
    }
    if (locals) {
        *stack::push_cell() = logic::make_value(false);
        for (uint32_t k = 1; k < locals; k++) *stack::push_cell() = none_value();
    }
    trace(TRACE_CALL, code.node, int32_t(at), &name, &fn);
    const Cell* more = more_of(fn, 0);
    const Cell& entry = more[function::MORE_ENTRY];
    if (entry.is(TYPE_INTEGER) && entry.as_int() != 0) not_done_raise();  // compiled bodies
    if (Flow flow = eval_function_body(fn, more[function::MORE_BODY]); flow != Flow::normal)
        return flow;
    stack::pop_frame();
    return Flow::normal;
}

// A native or action with more refinements than the slots a call keeps on the
// machine stack: the general way, with its slots on the heap.
[[gnu::noinline]] Flow call_native_many_slots(const Cell& fn, const Cell& name, NodeId spec,
                                              const Code& code, uint32_t& pos, uint32_t count) {
    CallState s(fn, name, code, pos, spec, false);
    std::vector<int32_t> slots(count, -1);
    s.slots = slots.data();
    s.slot_count = count;
    stack::push_interp_native_frame(&name);
    if (Flow flow = fetch_arguments(s); flow != Flow::normal) return flow;
    if (Flow flow = call_native(s); flow != Flow::normal) return flow;
    stack::pop_frame();
    return Flow::normal;
}

[[gnu::always_inline]] inline Flow call_plain_native(const Cell& fn, const Cell& name,
                                                     NodeId spec, const Code& code,
                                                     uint32_t& pos, uint32_t at) {
    const uint32_t n = length_of(spec);
    const Cell last = n ? cells_of(spec)[n - 1] : none_value();
    const uint32_t slot_count = last.is(TYPE_INTEGER) ? uint32_t(last.as_int()) : 0;
    if (slot_count > FAST_SLOTS) [[unlikely]]
        return call_native_many_slots(fn, name, spec, code, pos, slot_count);
    int32_t slots[FAST_SLOTS];
    std::fill(slots, slots + slot_count, -1);
    stack::push_interp_native_frame(&name);
    uint32_t stop;
    if (Flow flow = fetch_plain_arguments(fn, name, spec, code, pos, &stop); flow != Flow::normal)
        return flow;
    const uint32_t index = fn.data1;
    natives::Entry entry = nullptr;
    if (fn.is(TYPE_NATIVE)) {
        if (index >= 1 && index <= natives::TABLE_SIZE) entry = natives::g_table[index - 1];
    } else if (index >= 1 && index <= uint32_t(ACTION_COUNT)) {
        entry = actions::g_dispatch_table[index - 1];
    }
    if (!entry) not_done_raise();
    trace(TRACE_CALL, code.node, int32_t(at), &name, &fn);
    if (Flow flow = call_entry(entry, slot_count ? slots : nullptr); flow != Flow::normal)
        return flow;
    stack::pop_frame();
    return Flow::normal;
}

// The call of a function value met in code, with its name; the result
// replaces the function's copy pushed first, which keeps it alive meanwhile.
// Functions whose spec the shape table does not cover: the argument spec
// walked at each call.
[[gnu::noinline]] Flow call_unshaped(const Cell& fn, const Cell& name, const Code& code,
                                     uint32_t& pos, uint32_t at) {
    if (fn.is(TYPE_FUNCTION)) return call_plain_function(fn, name, spec_cache(fn), code, pos, at);
    return call_plain_native(fn, name, spec_cache(fn), code, pos, at);
}

Flow call_plain(const Cell& function, const Cell& name, const Code& code, uint32_t& pos) {
    const Cell fn = function;
    const uint32_t type = fn.type();
    if (!(type == TYPE_FUNCTION || type == TYPE_NATIVE || type == TYPE_ACTION ||
          (type == TYPE_ROUTINE && shape_of(fn).simple))) {
        CallOptions o;
        o.name = &name;
        return call_value(fn, code, pos, o, false);
    }
    const uint32_t at = pos - 1;
    trace(TRACE_OPEN, code.node, int32_t(pos), nullptr, &name);
    Cell* const slot = stack::push(&fn);
    const stack::CallFrame* const record = stack::g_frame_top;
    Flow flow;
    const Shape& found = shape_of(fn);
    if (!found.simple) [[unlikely]]
        flow = call_unshaped(fn, name, code, pos, at);
    else if (type == TYPE_FUNCTION) {
        if (Flow f = call_shaped_function(fn, name, &found, code, pos, at, slot); f != Flow::normal)
            return pass_on(f, record);
        trace(TRACE_RETURN, code.node, int32_t(pos), &name, slot);
        return Flow::normal;
    } else if (type == TYPE_ROUTINE)
        flow = call_shaped_routine(fn, name, &found, code, pos);
    else
        flow = call_shaped_native(fn, name, &found, code, pos, at);
    if (flow != Flow::normal) return pass_on(flow, record);
    *slot = slot[1];
    stack::g_top = slot + 1;
    trace(TRACE_RETURN, code.node, int32_t(pos), &name, slot);
    return Flow::normal;
}

// ---------------------------------------------------------------- expressions

[[noreturn]] void fire_system_code() { support::fire_error(ErrorId::internal_zun_system); }

bool system_issue_q(const Cell& issue) {
    const uint32_t s = symbol::canonical(issue.data2);
    return s == symbol::canonical(sym::id(sym::system_)) ||
           s == symbol::canonical(sym::id(sym::system_global));
}

Flow eval_word(const Cell& word, const Code& code, uint32_t& pos) {
    const Cell* value = context::value_address(&word, word.data1);
    switch (value->type()) {
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
            return call_plain(*value, word, code, pos);
        case TYPE_UNSET:
            fire(ErrorId::script_no_value, word);
        case TYPE_OP:
            fire(ErrorId::script_no_op_arg, word);
        default:
            stack::push(value);
            return Flow::normal;
    }
}

// Runs any on-change* handler a set may call; a status it leaves comes back.
Flow set_word_guarded(Cell* word, const Cell* value) {
    try {
        context::set_word_value(word, value, word->data1, true);
    } catch (const PendingFlow& pending) {
        return pending.code;
    }
    return Flow::normal;
}

template <bool Untraced>
Flow eval_set_word(const Cell& word, const Code& code, View v, uint32_t& pos) {
    if (pos >= v.tail) fire(ErrorId::script_need_value, word);
    // A pure value that starts with a paren needs no frame nor a block
    // evaluation; a word with a change handler takes the general way.
    if (v.cells[pos].is(TYPE_PAREN) && pure_allowed()) {
        uint32_t end = pos;
        Cell value;
        if (pure_expression(v.cells, v.tail, end, &value, 0))
            if (Cell* target = word::plain_target(&word)) {
                *target = value;
                stack::push(&value);
                pos = end;
                return Flow::normal;
            }
    }
    stack::CallFrame* const record = stack::g_frame_top;
    Cell* const caller_base = stack::g_base;
    stack::push_interp_native_frame(&word);
    Cell* slot = stack::push(&word);  // slot 0: the word, then the value
    if (!Untraced && g_trace_switch) [[unlikely]] {
        trace_push(code, pos - 1);
        v = view_of(code);
    }
    if (Flow flow = Untraced ? eval_step<true>(code, v, pos, false, false)
                             : eval_inline(code, v, pos, false, false);
        flow != Flow::normal)
        return pass_on(flow, record);
    const Cell value = slot[1];
    if (value.is(TYPE_UNSET)) fire(ErrorId::script_need_value, word);
    if (Cell* target = word::plain_target(slot)) *target = value;
    else if (Flow flow = set_word_guarded(slot, &value); flow != Flow::normal)
        return pass_on(flow, record);
    *slot = value;
    trace(TRACE_SET, code.node, int32_t(pos), &word, &value);
    stack::pop_own_frame(record, caller_base);
    return Flow::normal;
}

[[gnu::noinline]] Flow eval_set_path(const Cell& path, const Code& code, uint32_t& pos) {
    if (pos >= tail_of(code)) fire(ErrorId::script_need_value, path);
    const stack::CallFrame* const record = stack::g_frame_top;
    stack::push_interp_native_frame(words::get(words::set_path));
    if (Flow flow = eval_expression(code, pos, false, false); flow != Flow::normal)
        return pass_on(flow, record);
    Cell* slot = stack::g_base;
    uint32_t none = 0;
    if (Flow flow = walk_path(path, Code{}, none, PathMode::set, false); flow != Flow::normal)
        return pass_on(flow, record);
    *slot = stack::g_top[-1];
    trace(TRACE_SET, code.node, int32_t(pos), &path, slot);
    stack::pop_frame();
    return Flow::normal;
}

// ---------------------------------------------------------------- operators

// The operator's function on the operands already in place (slot 0 and 1).
[[gnu::noinline]] Flow call_in_place(const Cell& fn, const Cell& name, Cell* left) {
    stack::g_top = left;
    const stack::CallFrame* const record = stack::g_frame_top;
    stack::push_interp_native_frame(&name);
    stack::g_top = left + 2;
    const Code none{};
    uint32_t pos = 0;
    CallState s(fn, name, none, pos, spec_cache(fn), true);
    for (uint32_t i = 0; i < 2; i++) check_type(s, cells_of(s.spec)[i], left + i, i);
    int32_t fast[FAST_SLOTS];
    const Cell last = cells_of(s.spec)[length_of(s.spec) - 1];
    s.slot_count = last.is(TYPE_INTEGER) ? std::min<uint32_t>(last.as_int(), FAST_SLOTS) : 0;
    s.slots = fast;
    std::fill(fast, fast + s.slot_count, -1);
    if (Flow flow = call_native(s); flow != Flow::normal) return pass_on(flow, record);
    stack::pop_frame();
    return Flow::normal;
}

// An integer for the right operand of a built-in operator without
// evaluating anything: an integer! in the code, or the integer a word holds.
inline const Cell* plain_integer_operand(const Cell* cell) {
    if (cell->is(TYPE_INTEGER)) return cell;
    if (!cell->is(TYPE_WORD)) return nullptr;
    const Cell* value = context::value_address(cell, cell->data1);
    return value->is(TYPE_INTEGER) ? value : nullptr;
}

// Division and and, or, xor keep their frame while the right operand runs;
// the other built-in operators run it with none.
inline bool frameless_operator(const FastTarget& t) {
    return (t.kind == FAST_KIND_MATH && t.op <= actions::FAST_MULTIPLY) || t.kind == FAST_KIND_COMPARE;
}

// A frameless operator at pos on the integer at entry: its right operand
// evaluated (a paren run straight while no tracer is installed), then an
// integer result taken by the fast path, anything else by the operator's
// native.
[[gnu::always_inline]] inline Flow operate_evaluated(const FastTarget& t, const Code& code, View& v,
                                                     uint32_t& pos, Cell* entry, const Cell* op,
                                                     bool paren) {
    const Cell word = v.cells[pos++];
    Cell fn = *op;
    fn.set_type(op::wrapped_type(&fn));
    Flow flow;
    if (paren) {
        const Cell right = v.cells[pos++];
        flow = run_inline(right);
    } else {
        flow = eval_expression(code, pos, true, false);
    }
    if (flow != Flow::normal) return flow;
    v = view_of(code);
    if (entry[1].is(TYPE_INTEGER)) {
        const int32_t right = entry[1].as_int();
        stack::g_top = entry + 1;
        if (t.kind == FAST_KIND_MATH) actions::fast_math_integer_in_place(t.op, &word, right);
        else actions::fast_compare_integer_in_place(t.op, &word, right);
        return Flow::normal;
    }
    flow = call_in_place(fn, word, entry);
    v = view_of(code);
    return flow;
}

// A frameless operator whose right operand must be evaluated, the left
// operand just produced at entry.
[[gnu::noinline]] Flow operate_right(const FastTarget& t, const Code& code, View& v, uint32_t& pos,
                                     Cell* entry, const Cell* op) {
    stack::g_top = entry + 1;
    return operate_evaluated(t, code, v, pos, entry, op, v.cells[pos + 1].is(TYPE_PAREN));
}

[[gnu::noinline]] Flow eval_infix_general(const Code& code, View& v, uint32_t& pos, Cell* entry,
                                          const Cell* op);

// Operators after a value: no precedence, grouping to the left. A built-in
// operator on an integer, no tracer installed, is done here: a right
// operand that is an integer in the code or held by a word is taken in
// place, any other runs with no frame for the operator. Anything else goes
// the general way, one operator at a time.
Flow eval_infix(const Code& code, View& v, uint32_t& pos, Cell* entry, const Cell* op) {
    for (;;) {
        const FastTarget* t;
        if (!g_trace_switch && entry->is(TYPE_INTEGER) && pos + 1 < v.tail &&
            (t = fast_target(*op, op::wrapped_type(op)))) {
            if (const Cell* right = plain_integer_operand(v.cells + pos + 1)) {
                if (!integer_step(*t, entry, right->as_int())) goto general;
                stack::g_top = entry + 1;
                pos += 2;
            } else if (frameless_operator(*t)) {
                if (Flow flow = operate_right(*t, code, v, pos, entry, op); flow != Flow::normal) return flow;
            } else {
                goto general;
            }
        } else {
        general:
            if (Flow flow = eval_infix_general(code, v, pos, entry, op); flow != Flow::normal) return flow;
        }
        if (pos >= v.tail || !v.cells[pos].is(TYPE_WORD)) return Flow::normal;
        op = context::bound_value(&v.cells[pos]);
        if (!op || !op->is(TYPE_OP)) return Flow::normal;
    }
}

// The operator at pos called as its function, in a frame of its own, with
// the fetch event before it while a tracer is installed. One that goes out
// in the event, or an operator word changed by it, leaves pos as it is for
// the loop above to look again. The code's cells are read again after
// anything that ran code.
Flow eval_infix_general(const Code& code, View& v, uint32_t& pos, Cell* entry, const Cell* op) {
    if (g_trace_switch) [[unlikely]] {
        trace_event(TRACE_FETCH, code.node, int32_t(pos), nullptr, v.cells + pos);
        v = view_of(code);
        op = context::bound_value(&v.cells[pos]);
        if (!g_trace_switch || !op || !op->is(TYPE_OP)) return Flow::normal;
    }
    stack::g_top = entry + 1;  // the left operand, just produced there
    const Cell word = v.cells[pos++];
    Cell fn = *op;
    fn.set_type(op::wrapped_type(&fn));
    CallOptions o;
    o.name = &word;
    const Flow flow = call_value(fn, code, pos, o, true);
    v = view_of(code);
    return flow;
}

// The expressions that do more than push a value they find: calls, parens,
// paths, assignments and the word forms. pos is at the expression's cell.
Flow eval_active(const Code& code, uint32_t& pos, bool as_data) {
    Cell c = cell_at(code, pos++);
    Flow flow = Flow::normal;
    switch (c.type()) {
        case TYPE_WORD:
            flow = eval_word(c, code, pos);
            break;
        case TYPE_SET_WORD:
            flow = eval_set_word<false>(c, code, view_of(code), pos);
            break;
        case TYPE_PAREN:
            flow = push_paren(c);
            break;
        case TYPE_GET_PATH:
            flow = walk_path(c, code, pos, PathMode::get_no_call, false);
            break;
        case TYPE_SET_PATH:
            flow = eval_set_path(c, code, pos);
            break;
        case TYPE_GET_WORD:
            stack::push(word::get_value(&c));
            break;
        case TYPE_LIT_WORD:
            c.header = TYPE_WORD;
            stack::push(&c);
            break;
        case TYPE_LIT_PATH:
            c.header = TYPE_PATH;
            c.data3 = 0;
            stack::push(&c);
            break;
        case TYPE_OP:
            not_done_raise();
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
            if (as_data) {
                stack::push(&c);
                break;
            }
            return call_value(c, code, pos, CallOptions{}, false);
        case TYPE_ISSUE:
            if (pos < tail_of(code) && cell_at(code, pos).is(TYPE_BLOCK) && system_issue_q(c))
                fire_system_code();
            stack::push(&c);
            break;
        default:
            stack::push(&c);
            break;
    }
    if (g_trace_switch && flow == Flow::normal && !in_set(CALLING_CELLS, c.type())) [[unlikely]]
        trace_push(code, pos - 1);
    return flow;
}

Flow eval_expression(const Code& code, uint32_t& pos, bool no_infix, bool as_data) {
    View v = view_of(code);
    return eval_inline(code, v, pos, no_infix, as_data);
}

// ---------------------------------------------------------------- hooks

void evaluate_object_spec(Cell* block) {
    Cell* top = stack::g_top;
    if (Flow flow = eval_block(block, false); flow != Flow::normal) raise_pending(flow);
    stack::g_top = top;
}

void lexer_callback(const Cell* callback, Cell* args, uint32_t refinement_count, Cell* result);

void run_handler(const Cell* function) {
    if (Flow flow = exec_function(function); flow != Flow::normal) raise_pending(flow);
}

}  // namespace

// ================================================================ public

void init() {
    *g_code_position = unset_value();
    forget_shapes_and_values();
    forget_remembered_fields();
    capture_fast_targets();
    static bool marker = false;  // the markers outlive every memory manager
    if (!marker) {
        collector::register_marker(&forget_shapes_and_values);
        collector::register_marker(&forget_remembered_fields);
        marker = true;
    }
    init_tracer();
    error::set_code_position(g_code_position);
    object::set_block_evaluator(&evaluate_object_spec);
    object::set_function_runner(&run_handler);
    lexer::set_callback_hook(&lexer_callback);
}

Cell* code_position() { return g_code_position; }

void note_start_up_values() {
    forget_shapes_and_values();  // shapes keep the fast paths found
    capture_fast_targets();
}

void raise_pending(Flow code) {
    PendingFlow pending;
    pending.code = code;
    throw pending;
}

namespace {
Flow eval_block_here(const Cell blk, bool chain);
}

Flow eval_condition(const Cell* block) {
    if (push_pure_block(*block)) {
        *stack::g_base = stack::g_top[-1];  // as the evaluation frame's pop gives it
        return Flow::normal;
    }
    return eval_block(block, true);
}

// A user block that library code evaluates is traced as user code, its enter
// and exit included.
Flow eval_block(const Cell* block, bool chain) {
    const Cell blk = *block;
    if (stack::g_library_code && blk.data2 && !(buf(blk.data2)->flags & memory::LIBRARY_FLAG))
        [[unlikely]] {
        LibraryScope scope(false);
        return eval_block_here(blk, chain);
    }
    return eval_block_here(blk, chain);
}

namespace {
[[gnu::always_inline]] inline Flow eval_framed(const Cell blk, bool chain) {
    stack::CallFrame* const record = stack::g_frame_top;
    Cell* const caller_base = stack::g_base;
    stack::push_eval_frame(words::get(words::body));
    trace(TRACE_ENTER, blk.data2, int32_t(head_of(blk)), nullptr, nullptr);
    // The values land from the frame's slot 0 on: the last is its result.
    if (Flow flow = run_block(blk.data2, head_of(blk), blk.data3); flow != Flow::normal)
        return pass_on(flow, record);
    if (g_trace_switch) [[unlikely]]
        trace_event(TRACE_EXIT, blk.data2, blk.data2 ? int32_t(length_of(blk.data2)) : -1, nullptr,
                    stack::g_top - 1);
    Cell* const slot0 = stack::pop_own_frame(record, caller_base);
    if (chain) *caller_base = *slot0;
    return Flow::normal;
}

Flow eval_block_here(const Cell blk, bool chain) { return eval_framed(blk, chain); }
}  // namespace

namespace {
// The value of the expression at pos when it needs no evaluation: an inert
// value, or a word holding one, with no operator after it; else nullptr.
inline const Cell* plain_value(const View& v, uint32_t pos) {
    if (g_trace_switch || pos >= v.tail) return nullptr;
    const Cell* value = inert_value(v.cells + pos);
    return value && !operator_at(v, pos + 1) ? value : nullptr;
}
}  // namespace

// The library test of eval_block is only due in library code.
Flow eval_loop_body(const Cell* body) {
    if (stack::g_library_code) [[unlikely]]
        return eval_block(body, true);
    return eval_framed(*body, true);
}

Flow eval_one_framed(const Cell* block, uint32_t* index, bool push_mode) {
    const Code code{block->data2, UINT32_MAX};
    uint32_t pos = *index;
    // A plain value runs no code: no frame to show it in.
    View v = view_of(code);
    if (const Cell* value = plain_value(v, pos)) {
        Cell* pushed = stack::push(value);
        if (!push_mode) *stack::g_base = *pushed;
        *index = pos + 1;
        return Flow::normal;
    }
    const stack::CallFrame* const record = stack::g_frame_top;
    stack::push_interp_native_frame(words::get(words::body));
    if (pos < v.tail) {
        if (Flow flow = eval_inline(code, v, pos, false, false); flow != Flow::normal)
            return pass_on(flow, record);
    } else {
        *stack::push_cell() = unset_value();
    }
    *index = pos;
    if (push_mode) stack::pop_frame();
    else stack::pop_frame_set_result();
    return Flow::normal;
}

Flow eval_next(Cell* block) {
    uint32_t pos = head_of(*block);
    if (!block->data2 || pos >= length_of(block->data2)) {
        *stack::g_base = unset_value();
        return Flow::normal;
    }
    if (Flow flow = eval_one_framed(block, &pos, false); flow != Flow::normal) return flow;
    block->data1 = pos;
    return Flow::normal;
}

Flow eval_value(const Cell* value, bool push_mode, bool functions_as_data) {
    const Cell v = *value;
    Cell* start = stack::g_top;
    if (!(functions_as_data && function_type_q(v.type()))) {
        // A one-cell block to evaluate from, held on the stack.
        Cell blk = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0);
        *support::append_cell(&blk) = v;
        stack::push(&blk);
        uint32_t pos = 0;
        if (Flow flow = eval_expression(Code{blk.data2, UINT32_MAX}, pos, false, functions_as_data);
            flow != Flow::normal)
            return flow;
        const Cell result = stack::g_top[-1];
        stack::g_top = start;
        stack::push(&result);
    } else {
        stack::push(&v);
    }
    if (!push_mode) {
        *stack::g_base = *start;
        stack::g_top = start;
    }
    return Flow::normal;
}

[[gnu::noinline]] Flow call_value(const Cell& function, const Code& code, uint32_t& pos,
                                  const CallOptions& o, bool infix) {
    Cell fn = function;
    if (fn.is(TYPE_OP)) fn.set_type(op::wrapped_type(&fn));
    // The options may point into series: copy what is used after user code runs.
    Cell path;
    const Cell name = call_name(o, code, pos);
    trace(TRACE_OPEN, code.node, int32_t(pos), nullptr, &name);
    // The function's copy keeps it alive while it runs; the result replaces it.
    Cell* slot = infix ? nullptr : stack::push(&fn);
    CallState s(fn, name, code, pos, spec_cache(fn), infix);
    s.at = pos > 0 ? pos - 1 : 0;
    if (o.path) {
        path = *o.path;
        s.path = &path;
        s.path_index = o.path_index;
    }
    s.flags = o.flags;
    if (Flow flow = run_call(s); flow != Flow::normal) return flow;
    if (slot) {
        *slot = slot[1];
        stack::g_top = slot + 1;
    }
    trace(TRACE_RETURN, code.node, int32_t(pos), &name, stack::g_top - 1);
    return Flow::normal;
}

Flow call_named(const Cell& function, const Cell& name, const Code& code, uint32_t& pos) {
    const Cell fn = function, word = name;  // both may lie in a buffer the call moves
    return call_plain(fn, word, code, pos);
}

Flow call_function_value(const Cell* function, const Cell* code, uint32_t* index, bool push_mode,
                         const CallOptions& options) {
    const Code source{code ? code->data2 : 0, UINT32_MAX};
    uint32_t pos = code && index ? *index : 0;
    const Cell fn = *function;
    if (!function_type_q(fn.type()) && !fn.is(TYPE_OP)) fire(ErrorId::script_invalid_arg, fn);
    Cell* start = stack::g_top;
    if (Flow flow = call_value(fn, source, pos, options, false); flow != Flow::normal) return flow;
    if (index) *index = pos;
    if (!push_mode) *stack::g_base = *start;
    return Flow::normal;
}

Flow exec_function(const Cell* function) {
    const Cell fn = *function;
    const Cell* entry = more_of(fn, function::MORE_ENTRY);
    if (entry->is(TYPE_INTEGER) && entry->as_int() != 0) not_done_raise();  // compiled bodies
    return eval_function_body(fn, *more_of(fn, function::MORE_BODY));
}

NodeId scan_function_spec(const Cell* function) {
    Cell fn = *function;
    if (fn.is(TYPE_OP)) fn.set_type(op::wrapped_type(&fn));
    return spec_cache(fn);
}

namespace {

// A call with its arguments given as cells: the function's copy, a function
// (or native) frame, the arguments checked against the spec, the unused
// refinements, the locals. The result replaces the function's copy, pushed.
// input_back: receives argument 1 as the call left it.
Flow invoke(const Cell& function, const Cell* args, uint32_t argc, const Cell& name,
            Cell* input_back) {
    Cell fn = function;
    if (fn.is(TYPE_OP)) fn.set_type(op::wrapped_type(&fn));
    if (!function_type_q(fn.type())) fire(ErrorId::script_invalid_arg, fn);
    Cell* slot = stack::push(&fn);  // keeps the function alive; the result replaces it
    const stack::CallFrame* const record = stack::g_frame_top;
    if (fn.is(TYPE_FUNCTION)) stack::push_function_frame(&name, fn.data1);
    else stack::push_native_frame(&name);
    // Pushing allocates nothing: args stay good until all are copied.
    for (uint32_t i = 0; i < argc; i++) stack::push(args + i);
    const Code none{};
    uint32_t pos = 0;
    CallState s(fn, name, none, pos, spec_cache(fn), false);
    uint32_t given = 0;
    bool active = true;
    for (uint32_t i = 0; i < length_of(s.spec); i++) {
        const Cell e = cells_of(s.spec)[i];
        if (e.is(TYPE_TYPESET) && (e.header & CLASS_MASK) != CLASS_RETURN) {
            if (!active) {
                if (!s.native) *stack::push_cell() = none_value();
            } else if (given < argc) {
                check_type(s, e, stack::g_base + given++, i);
            } else {
                fire_no_arg(s, i);
            }
        } else if (e.is(TYPE_REFINEMENT)) {
            if (active) stack::g_top = stack::g_base + given;  // surplus arguments dropped
            active = false;
            if (!s.native) *stack::push_cell() = logic::make_value(false);
        } else if (e.is(TYPE_INTEGER)) {
            if (s.native) s.slot_count = uint32_t(e.as_int());
            else s.locals = uint32_t(e.as_int());
        }
    }
    if (active) stack::g_top = stack::g_base + given;
    Flow flow;
    switch (fn.type()) {
        case TYPE_FUNCTION:
            function::push_locals(int32_t(s.locals));
            flow = exec_function(&fn);
            break;
        case TYPE_ROUTINE:
            function::push_locals(int32_t(s.locals));
            flow = call_routine(fn, name);
            break;
        default: {
            int32_t fast[FAST_SLOTS];
            std::unique_ptr<int32_t[]> many;
            if (s.slot_count > FAST_SLOTS) {
                many.reset(new int32_t[s.slot_count]);
                s.slots = many.get();
            } else {
                s.slots = fast;
            }
            std::fill(s.slots, s.slots + s.slot_count, -1);
            flow = call_native(s);
            break;
        }
    }
    if (flow != Flow::normal) return pass_on(flow, record);
    if (input_back && argc > 1) *input_back = stack::g_base[1];
    if (fn.is(TYPE_FUNCTION)) stack::pop_function_frame();
    else stack::pop_frame();
    *slot = slot[1];
    stack::g_top = slot + 1;
    return Flow::normal;
}

void lexer_callback(const Cell* callback, Cell* args, uint32_t, Cell* result) {
    Cell* top = stack::g_top;
    if (Flow flow = invoke(*callback, args, 5, *words::get(words::lexer_callback), &args[1]);
        flow != Flow::normal)
        raise_pending(flow);
    *result = stack::g_top[-1];
    stack::g_top = top;
}

}  // namespace

Flow call_function(const Cell* function, const Cell* args, uint32_t argc, bool push_mode,
                   const Cell* name) {
    const Cell fn = *function;
    Cell* start = stack::g_top;
    if (Flow flow = invoke(fn, args, argc, name ? *name : *words::get(words::anon), nullptr);
        flow != Flow::normal)
        return flow;
    if (!push_mode) {
        *stack::g_base = *start;
        stack::g_top = start > stack::g_base ? start : stack::g_base + 1;
    }
    return Flow::normal;
}

// ================================================================ sorting with a function

namespace {

// How the comparator's answer orders its two arguments: positive when its
// first argument goes first.
int block_order(const Cell& r) {
    switch (r.type()) {
        case TYPE_LOGIC: return logic::false_value(&r) ? -1 : 1;
        case TYPE_NONE: return -1;
        case TYPE_INTEGER: return r.as_int() > 0 ? 1 : r.as_int() < 0 ? -1 : 0;
        case TYPE_FLOAT: case TYPE_PERCENT: {
            double d = r.as_double();
            return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
        }
        default: return 1;
    }
}

// Strings count numbers the other way round: an integer is negated.
int string_order(const Cell& r) {
    switch (r.type()) {
        case TYPE_INTEGER: return r.as_int() > 0 ? -1 : r.as_int() < 0 ? 1 : 0;
        case TYPE_FLOAT: case TYPE_PERCENT: {
            double d = r.as_double();
            return d > 0.0 ? -1 : d < 0.0 ? 1 : 0;
        }
        default: return block_order(r);
    }
}

struct FunctionSort {
    const Cell* function;  // on the value stack
    Cell* scratch;         // two series on the value stack, or nullptr
    uint32_t type;         // the sorted series' type
    uint32_t element;      // a vector's element type
    int32_t size;          // units per record
    uint32_t unit;         // bytes per unit
    bool reverse;
    int (*order)(const Cell&);
};

// Calls the comparator on two loaded arguments; a status it leaves is raised
// through the sort.
int call_comparator(const FunctionSort& s, const Cell* args) {
    Cell* top = stack::g_top;
    if (Flow flow = call_function(s.function, args, 2, true, words::get(words::compare_callback));
        flow != Flow::normal)
        raise_pending(flow);
    const Cell result = stack::g_top[-1];
    stack::g_top = top;
    return s.order(result);
}

// The record into scratch series k: the series reaches the comparator whole.
Cell load_record(const FunctionSort& s, const uint8_t* record, int k) {
    Cell* holder = s.scratch + k;
    memory::SeriesBuffer* b = buf(holder->data2);
    const uint32_t bytes = uint32_t(s.size) * s.unit;
    std::memcpy(b->head_ptr(), record, bytes);
    b->tail = b->head + bytes;
    holder->data1 = 0;
    return *holder;
}

int compare_cell_records(const void* a, const void* b, uintptr_t state, uintptr_t) {
    const FunctionSort& s = *reinterpret_cast<const FunctionSort*>(state);
    const Cell* x = static_cast<const Cell*>(a);
    const Cell* y = static_cast<const Cell*>(b);
    if (s.reverse) std::swap(x, y);
    // The function gets the second record first.
    Cell args[2];
    if (s.scratch) {
        args[0] = load_record(s, reinterpret_cast<const uint8_t*>(y), 0);
        args[1] = load_record(s, reinterpret_cast<const uint8_t*>(x), 1);
    } else {
        args[0] = *y;
        args[1] = *x;
    }
    return call_comparator(s, args);
}

Cell unit_value(const FunctionSort& s, const uint8_t* p) {
    if (s.type == TYPE_VECTOR && s.element != TYPE_CHAR && s.element != 0) {
        // A vector's elements reach the comparator as the numbers they are.
        if (s.element == TYPE_FLOAT || s.element == TYPE_PERCENT) {
            double d;
            if (s.unit == 8) {
                std::memcpy(&d, p, 8);
            } else {
                float f;
                std::memcpy(&f, p, 4);
                d = f;
            }
            Cell c = make_cell(s.element);
            c.set_double(d);
            return c;
        }
        int32_t n = s.unit == 1 ? int8_t(p[0])
                    : s.unit == 2 ? int16_t(uint16_t(p[0] | p[1] << 8))
                                  : int32_t(string::get_char(p, 4));
        return integer_cell(n);
    }
    return make_cell(TYPE_CHAR, 0, string::get_char(p, s.unit), 0);
}

int compare_unit_records(const void* a, const void* b, uintptr_t state, uintptr_t) {
    const FunctionSort& s = *reinterpret_cast<const FunctionSort*>(state);
    const uint8_t* x = static_cast<const uint8_t*>(a);
    const uint8_t* y = static_cast<const uint8_t*>(b);
    if (s.reverse) std::swap(x, y);
    Cell args[2];
    if (s.scratch) {
        args[0] = load_record(s, y, 0);
        args[1] = load_record(s, x, 1);
    } else {
        args[0] = unit_value(s, y);
        args[1] = unit_value(s, x);
    }
    return call_comparator(s, args);
}

// Sorts `records` records of `width` bytes from byte `offset` of the series'
// buffer in a private copy, then writes them back.
void sort_copy(NodeId node, uint32_t offset, int32_t records, uint32_t width, uint32_t unit,
               const FunctionSort& s, bool stable, sorting::Comparator compare) {
    const uint32_t bytes = uint32_t(records) * width;
    const NodeId copy = memory::alloc_series(bytes / unit, unit, 0);
    const Cell holder = make_cell(unit == CELL ? TYPE_BLOCK : TYPE_BINARY, 0, copy, 0);
    Cell* held = stack::push(&holder);
    // Both buffers are read after the allocation.
    memory::SeriesBuffer* target = buf(copy);
    std::memcpy(target->head_ptr(), buf(node)->head_ptr() + offset, bytes);
    target->tail = target->head + bytes;
    {
        // The copy's address is held across comparator calls.
        memory::NoCompaction fixed;
        auto run = stable ? sorting::merge_sort : sorting::quick_sort;
        run(buf(copy)->head_ptr(), records, int32_t(width), reinterpret_cast<uintptr_t>(&s), 0, compare);
    }
    // The comparator may have shortened the series: write back what still fits.
    memory::SeriesBuffer* b = buf(node);
    const uint32_t room = b->used() > offset ? b->used() - offset : 0;
    std::memcpy(b->head_ptr() + offset, buf(copy)->head_ptr(), std::min(bytes, room / width * width));
    stack::g_top = held;
}

}  // namespace

void sort_block_with_function(const Cell* series, int32_t head, int32_t records, int32_t size,
                              bool all, const Cell* function, bool reverse, bool stable) {
    if (records < 2) return;
    Cell* top = stack::g_top;
    const NodeId node = series->data2;
    FunctionSort s{function, nullptr, TYPE_BLOCK, 0, size, CELL, reverse, &block_order};
    if (all) {
        s.scratch = block::push_new(size);
        block::push_new(size);
    }
    sort_copy(node, uint32_t(head) * CELL, records, uint32_t(size) * CELL, CELL, s, stable,
              &compare_cell_records);
    stack::g_top = top;
}

void sort_string_with_function(const Cell* series, int32_t head, int32_t records, int32_t size,
                               bool all, const Cell* function, bool reverse, bool stable) {
    if (records < 2) return;
    Cell* top = stack::g_top;
    const Cell value = *series;
    const uint32_t unit = buf(value.data2)->unit();
    FunctionSort s{function, nullptr, value.type(), value.data3, size, unit, reverse, &string_order};
    if (all) {
        for (int k = 0; k < 2; k++) {
            const Cell c = make_cell(value.type(), 0, memory::alloc_series(uint32_t(size), unit, 0),
                                     value.data3);
            Cell* held = stack::push(&c);
            if (k == 0) s.scratch = held;
        }
    }
    sort_copy(value.data2, uint32_t(head) * unit, records, uint32_t(size) * unit, unit, s, stable,
              &compare_unit_records);
    stack::g_top = top;
}

}  // namespace zun::interpreter
