// Error and control-transfer natives: try and catch, which stop errors and
// throws, and break, continue, exit, return and throw, which start exits.
//
// An exit does its frame work when raised (interpreter/stack.cpp): its target
// frame is current again when the status comes back here. Errors arrive as
// the Unwind exception, with the try frame already popped and the error on
// top of the stack.
#include <cstdint>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series/block.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/trace.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

template <typename Ok> void check_arg(int check, int position, int32_t parameter, Ok ok) {
    const Cell* value = stack::g_base + position;
    if (!check || ok(value->type())) return;
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, value->type());
    Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}
bool block_type(uint32_t t) { return t == TYPE_BLOCK; }
bool word_type(uint32_t t) { return t == TYPE_WORD; }

// The caught error is slot 0 of the current call; /keep gives it its call trace.
void finish_try(bool keep) {
    if (keep) error::record_stack(stack::g_base);
}

bool same_name(uint32_t symbol, const Cell& word) {
    return symbol::canonical(word.data2) == symbol;
}

// A throw's name against catch/name's word or block of words; an unnamed
// throw matches no name.
bool name_matches(const Cell& name, const Cell& names) {
    if (!name.is(TYPE_WORD)) return false;
    const uint32_t wanted = symbol::canonical(name.data2);
    if (names.is(TYPE_WORD)) return same_name(wanted, names);
    const int32_t tail = block::length_from_start(&names);
    for (int32_t i = block::head_index(&names); i < tail; i++) {
        const Cell element = *block::cell_at(&names, i);
        if (!element.is(TYPE_WORD)) {
            const Cell block = names;
            support::fire_error(ErrorId::script_invalid_refine_arg, words::get(words::name), &block);
        }
        if (same_name(wanted, element)) return true;
    }
    return false;
}

bool throw_error_q(const Cell* value) {
    const uint32_t throw_symbol = symbol::canonical(words::get(words::throw_)->data2);
    return value->is(TYPE_ERROR) && error::real_q(value) &&
           symbol::canonical(error::get_type(value)) == throw_symbol &&
           symbol::canonical(error::get_id(value)) == throw_symbol;
}
}  // namespace

// Without /all, break, continue, return, exit and throw pass through to their
// targets; with /all the frame stops their search and they arrive as errors.
Flow try_(int check, const int32_t* refinements) {
    check_arg(check, 0, 0, block_type);
    const bool all = refinements[0] != ABSENT;
    const bool keep = refinements[1] != ABSENT;
    Cell* const block = stack::g_base;
    // Pushed outside the guarded region: an overflow here belongs further out.
    if (all) stack::push_try_all_frame(words::get(words::try_));
    else stack::push_try_frame(words::get(words::try_));
    Flow flow;
    try {
        flow = interpreter::eval_block(block, true);
    } catch (const PendingFlow& pending) {
        flow = pending.code;
    } catch (const Unwind&) {
        stack::adjust_after_error();
        finish_try(keep);
        return Flow::normal;
    }
    if (flow != Flow::normal) return flow;  // its target is current already
    stack::pop_frame_set_result();
    stack::reset_keep_result();
    finish_try(keep);
    return Flow::normal;
}

// Errors pass by; a throw comes back with the catch frame current, its value
// in the frame's slot 0 and its name (a word or unset!) above it.
Flow catch_(int check, const int32_t* refinements) {
    check_arg(check, 0, 0, block_type);
    const int32_t named = refinements[0];
    if (named != ABSENT)
        check_arg(check, named, 2, [](uint32_t t) { return t == TYPE_WORD || t == TYPE_BLOCK; });
    Cell* const args = stack::g_base;
    stack::push_catch_frame(words::get(words::catch_));
    const Flow flow = interpreter::eval_block(&args[0], true);
    if (flow == Flow::normal) {
        stack::pop_frame_set_result();
        stack::reset_keep_result();
        return Flow::normal;
    }
    if (flow != Flow::throw_) return flow;
    const Cell value = stack::g_base[0];
    const Cell name = stack::g_base[1];
    stack::pop_frame();
    if (named == ABSENT || name_matches(name, args[named])) {
        interpreter::trace(interpreter::TRACE_CATCH, 0, -1, nullptr, &value);
        stack::set_result_reset(&value);
        return Flow::normal;
    }
    // Not this catch's name: thrown again from this call, to the next catch out.
    args[0] = value;
    args[1] = name;
    stack::g_top = args + 2;
    return stack::throw_value(Flow::throw_);
}

Flow break_(int, const int32_t* refinements) {
    return stack::throw_loop_signal(refinements[0] != ABSENT, false);
}

Flow continue_(int, const int32_t*) { return stack::throw_loop_signal(false, true); }

Flow exit_(int, const int32_t*) { return stack::throw_return_signal(false); }

Flow return_(int, const int32_t*) { return stack::throw_return_signal(true); }

Flow throw_(int check, const int32_t* refinements) {
    interpreter::trace(interpreter::TRACE_THROW, 0, -1, nullptr, stack::g_base);
    if (refinements[0] == ABSENT) {
        stack::g_top = stack::g_base + 1;
        *stack::push_cell() = make_cell(TYPE_UNSET);  // the name of an unnamed throw
    } else {
        check_arg(check, refinements[0], 2, word_type);
    }
    return stack::throw_value(Flow::throw_);
}

void try_error_result(bool keep) {
    Cell* error = stack::top();
    if (keep) error::record_stack(error);
    if (throw_error_q(error)) stack::throw_error(error);  // a throw no catch took goes on
    stack::adjust_after_error();
}

}  // namespace zun::natives
