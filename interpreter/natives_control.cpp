// Conditional and selection natives: if, unless, either, any, all, switch and
// case. Blocks run through the evaluator; a status other than Flow::normal
// that comes out of it is passed on unchanged.
#include <algorithm>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

Cell* arg(int i) { return stack::g_base + i; }

// With the check flag: the argument at stack position `position` must be a
// block!; `parameter` counts the spec's parameters and refinements from 0.
[[gnu::noinline]] void check_block_slow(int position, int32_t parameter) {
    if (arg(position)->is(TYPE_BLOCK)) return;
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, arg(position)->type());
    Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}
inline void check_block(int check, int position, int32_t parameter) {
    if (check) [[unlikely]]
        check_block_slow(position, parameter);
}

// The condition in slot 0; unset! raises as result_true_q does.
inline bool condition_true() {
    const Cell* c = arg(0);
    if (c->is(TYPE_UNSET)) [[unlikely]]
        return logic::result_true_q();
    return !logic::false_value(c);
}

Flow none_result() {
    stack::set_result_reset(&shared_none_cell);
    return Flow::normal;
}

// Absolute cell indexes of a block's head and tail; the tail is read anew
// each time since evaluated code may change the block.
uint32_t head_of(const Cell* block) { return uint32_t(std::max(block::head_index(block), 0)); }
uint32_t tail_of(const Cell* block) { return uint32_t(block::length_from_start(block)); }

// Evaluates a block that lies in a series: a copy on the stack keeps it
// reachable and in place while it runs. The result goes into slot 0.
Flow eval_cell_block(const Cell& block) {
    Cell* held = stack::push(&block);
    return interpreter::eval_block(held, true);
}
}  // namespace

Flow if_(int check, const int32_t*) {
    check_block(check, 1, 1);
    if (logic::false_value(arg(0))) return none_result();
    return interpreter::eval_block(arg(1), true);
}

Flow unless(int check, const int32_t*) {
    check_block(check, 1, 1);
    if (!logic::result_false_q()) return none_result();
    return interpreter::eval_block(arg(1), true);
}

Flow either(int check, const int32_t*) {
    check_block(check, 1, 1);
    check_block(check, 2, 2);
    return interpreter::eval_block(arg(condition_true() ? 1 : 2), true);
}

// Each expression's value lands in slot 0, over the block argument: the copy
// pushed first keeps the block.
Flow any(int check, const int32_t*) {
    check_block(check, 0, 0);
    Cell* block = stack::push(arg(0));
    for (uint32_t index = head_of(block); index < tail_of(block);) {
        if (Flow flow = interpreter::eval_one_framed(block, &index, false); flow != Flow::normal)
            return flow;
        if (!logic::result_false_q()) {
            stack::reset_keep_result();
            return Flow::normal;
        }
    }
    return none_result();
}

Flow all(int check, const int32_t*) {
    check_block(check, 0, 0);
    Cell* block = stack::push(arg(0));
    uint32_t index = head_of(block);
    if (index >= tail_of(block)) return none_result();
    while (index < tail_of(block)) {
        if (Flow flow = interpreter::eval_one_framed(block, &index, false); flow != Flow::normal)
            return flow;
        if (logic::result_false_q()) return none_result();
    }
    stack::reset_keep_result();
    return Flow::normal;
}

// Only elements of the value's own type are compared (equal? semantics); the
// branch is the first block after the match, so several values can share it.
Flow switch_(int check, const int32_t* refinements) {
    check_block(check, 1, 1);
    if (refinements[0] != ABSENT) check_block(check, refinements[0], 3);
    Cell value = *arg(0);
    const Cell cases = *arg(1);
    bool matched = false;
    uint32_t index = head_of(&cases);
    if (!value.is(TYPE_BLOCK)) {
        for (; index < tail_of(&cases); index++) {
            Cell element = *block::cell_at(&cases, int32_t(index));
            if (element.type() == value.type() &&
                actions::compare(&value, &element, COMP_EQUAL)) {
                matched = true;
                break;
            }
        }
    }
    if (matched) {
        for (index++; index < tail_of(&cases); index++) {
            const Cell branch = *block::cell_at(&cases, int32_t(index));
            if (branch.is(TYPE_BLOCK)) return eval_cell_block(branch);
        }
        return none_result();
    }
    if (refinements[0] != ABSENT) return interpreter::eval_block(arg(refinements[0]), true);
    return none_result();
}

// Conditions and branches run in an <anon> frame whose slot 0 collects their
// values. With /all the result is the last branch's value only when the last
// condition tested was true.
Flow case_(int check, const int32_t* refinements) {
    check_block(check, 0, 0);
    const bool all = refinements[0] != ABSENT;
    Cell* block = stack::push(arg(0));
    uint32_t index = head_of(block);
    if (index >= tail_of(block)) return none_result();
    stack::push_native_frame(words::get(words::anon));
    *stack::push_cell() = make_cell(TYPE_UNSET);
    bool last_true = false;
    while (index < tail_of(block)) {
        last_true = false;
        if (Flow flow = interpreter::eval_one_framed(block, &index, false); flow != Flow::normal)
            return flow;
        if (index >= tail_of(block)) {
            Cell word = context::resolve_symbol(0, sym::id(sym::case_));
            support::fire_error(ErrorId::script_need_value, &word);
        }
        if (!logic::result_true_q()) {
            index++;
            continue;
        }
        last_true = true;
        stack::reset_keep_result();
        const Cell branch = *block::cell_at(block, int32_t(index));
        Flow flow;
        if (branch.is(TYPE_BLOCK)) {
            flow = eval_cell_block(branch);
            index++;
        } else {
            flow = interpreter::eval_one_framed(block, &index, false);
        }
        if (flow != Flow::normal) return flow;
        if (!all) break;
        stack::reset_keep_result();
    }
    stack::pop_frame_set_result();
    if (!last_true) return none_result();
    stack::reset_keep_result();
    return Flow::normal;
}

}  // namespace zun::natives
