// reduce and compose: copies of a block with its expressions, or only its
// parens, evaluated. The values go to a new block or, with /into, to the
// target's tail when it is at its tail, else before its position. A status
// other than Flow::normal that comes out of an evaluation is passed on; the
// partly built result is then abandoned.
#include <algorithm>

#include "core/hashtable.hpp"
#include "core/ownership.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series/block.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

Cell* arg(int i) { return stack::g_base + i; }

// With the check flag: the argument at stack position `position` must be of
// any-block!; `parameter` counts the spec's parameters and refinements from 0.
void check_any_block(int check, int32_t position, int32_t parameter) {
    if (!check || block::any_block_q(arg(position)->type())) return;
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, arg(position)->type());
    Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}

uint32_t head_of(const Cell* blk) { return uint32_t(std::max(block::head_index(blk), 0)); }
uint32_t tail_of(const Cell* blk) { return uint32_t(block::length_from_start(blk)); }


// The target of reduce: slot 0 of a frame of its own, each value in slot 1,
// the layout append_second_arg works on.
struct ReduceTarget {
    bool appending;
    int32_t former_length;
};

ReduceTarget open_target(const Cell* target) {
    stack::push_native_frame(words::get(words::anon));
    const Cell* into = stack::push(target);
    return {block::at_tail_q(into), block::length_from_start(into)};
}

void add_reduced(const ReduceTarget& t) {
    Cell* value = stack::g_base + 1;
    support::clear_new_line(value);
    // One value each, inserted as appended: a block result is not spliced.
    if (t.appending) block::append_second_arg();
    else actions::insert_direct(stack::g_base, value, -1, true, 1, false);
    stack::g_top = stack::g_base + 1;
}

// Leaves the target, at its final position, in the caller's slot 0.
Flow close_target(const ReduceTarget& t) {
    const Cell result = *stack::g_base;
    stack::pop_frame();
    stack::set_result_reset(&result);
    const int32_t added = block::length_from_start(&result) - t.former_length;
    if (t.appending && added > 0) {
        const Cell word = *words::insert();
        ownership::check_owner(stack::g_base, &word, nullptr, t.former_length, added);
    }
    return Flow::normal;
}

// A value that is not a block: a function value as it is, anything else as
// a one-value expression.
Flow reduce_value(const Cell* value, const Cell* target) {
    if (Flow flow = interpreter::eval_value(value, true, true); flow != Flow::normal) return flow;
    if (!target) {
        stack::set_result_reset(stack::top());
        return Flow::normal;
    }
    const Cell result = *stack::top();
    const ReduceTarget t = open_target(target);
    stack::push(&result);
    add_reduced(t);
    return close_target(t);
}

// compose's target, kept on the stack.
struct ComposeTarget {
    Cell* block;
    bool appending;
};

void add_one(const ComposeTarget& t, const Cell* value) {
    if (!t.appending) {
        block::insert_value(t.block, value, true, false);
        return;
    }
    Cell* added = block::append_cell(t.block, value);
    if (t.block->is(TYPE_HASH)) {
        int status = 0;
        hashtable::put_with_status(t.block->data3, added, &status);
    }
}

void add_spliced(const ComposeTarget& t, const Cell* blk) {
    if (t.appending) block::append_block(t.block, blk);
    else block::insert_block(t.block, blk);
}

// The value of a paren, evaluated as a block, is added unless it is unset!;
// a block! value is spliced unless `only`.
Flow compose_paren(const ComposeTarget& t, const Cell& paren, bool only) {
    if (block::length_from_head(&paren) == 0) return Flow::normal;
    const Cell* held = stack::push(&paren);
    if (Flow flow = interpreter::eval_block(held, false); flow != Flow::normal) return flow;
    const Cell* value = stack::top();
    if (value->is(TYPE_UNSET)) return Flow::normal;
    if (value->is(TYPE_BLOCK) && !only) add_spliced(t, value);
    else add_one(t, value);
    return Flow::normal;
}
}  // namespace

Flow reduce_into(const Cell* source_block, const Cell* target) {
    Cell* source = stack::push(source_block);
    // The tail is taken once, so a source that is its own target ends.
    const uint32_t tail = tail_of(source);
    uint32_t index = head_of(source);
    const ReduceTarget t = open_target(target);
    while (index < std::min(tail, tail_of(source))) {
        if (Flow flow = interpreter::eval_one_framed(source, &index, true); flow != Flow::normal)
            return flow;
        add_reduced(t);
    }
    return close_target(t);
}

namespace {
// Values wait on the value stack; past this many they go to the block, and
// on a deep stack (recursion through reduce) before every evaluation, so
// that nesting costs no more stack than appending each value at once did.
constexpr int32_t PENDING_MAX = 16;
constexpr int64_t DEEP_STACK = stack::VALUE_STACK_CELLS / 8;

// The pending values from `first` to the top go to the result block, made
// on the first call with room for `spare` more; the top drops to `first`.
void flush_pending(Cell* result, Cell* first, int32_t spare) {
    const int32_t n = int32_t(stack::g_top - first);
    if (result->is(TYPE_NONE)) block::make_holding(result, first, n, spare);
    else block::append_cells(result, first, n, spare);
    stack::g_top = first;
}
}  // namespace

Flow reduce_new(const Cell* source_block) {
    Cell* source = stack::push(source_block);
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    Cell* const first = stack::g_top;
    // The tail is taken once, so a source that grows while it runs ends.
    const uint32_t tail = tail_of(source);
    uint32_t index = head_of(source);
    while (index < std::min(tail, tail_of(source))) {
        if (stack::g_top - first >= PENDING_MAX || stack::g_top - stack::g_bottom > DEEP_STACK)
            flush_pending(result, first, int32_t(tail - index));
        if (Flow flow = interpreter::eval_one_framed(source, &index, true); flow != Flow::normal)
            return flow;
        support::clear_new_line(stack::g_top - 1);
    }
    // Short blocks end here with one block made at its final size.
    const bool flushed = !result->is(TYPE_NONE);
    flush_pending(result, first, 0);
    if (flushed) {
        memory::SeriesBuffer* b = memory::buffer_of(result->data2);
        memory::trim_buffer(b, b->tail);
    }
    stack::set_result_reset(result);
    return Flow::normal;
}

Flow compose_block(const Cell* source_block, bool deep, bool only, const Cell* target) {
    Cell* source = stack::push(source_block);
    Cell* into = target ? stack::push(target) : block::push_new(block::length_from_head(source));
    const ComposeTarget t{into, !target || block::at_tail_q(into)};
    for (uint32_t index = head_of(source); index < tail_of(source); index++) {
        Cell* const top = stack::g_top;
        const Cell cell = *block::cell_at(source, int32_t(index));
        Flow flow = Flow::normal;
        if (cell.is(TYPE_PAREN)) {
            flow = compose_paren(t, cell, only);
        } else if (cell.is(TYPE_BLOCK) && deep) {
            // Nested blocks are composed into new blocks, never into the target.
            flow = compose_block(&cell, true, only, nullptr);
            if (flow == Flow::normal) add_one(t, stack::top());
        } else {
            add_one(t, &cell);
        }
        if (flow != Flow::normal) return flow;
        stack::g_top = top;
    }
    *source = *into;
    stack::g_top = source + 1;
    return Flow::normal;
}

Flow reduce(int check, const int32_t* refinements) {
    const int32_t out = refinements[0];
    if (out != ABSENT) check_any_block(check, out, 2);
    const Cell value = *arg(0);
    const Cell* target = out != ABSENT ? arg(out) : nullptr;
    if (!value.is(TYPE_BLOCK)) return reduce_value(&value, target);
    if (target) return reduce_into(&value, target);
    return reduce_new(&value);
}

Flow compose(int check, const int32_t* refinements) {
    const int32_t out = refinements[2];
    if (out != ABSENT) check_any_block(check, out, 4);
    const Cell value = *arg(0);
    if (!value.is(TYPE_BLOCK)) {
        const Cell expected = make_cell(TYPE_DATATYPE, TYPE_BLOCK);
        const Cell datatype = make_cell(TYPE_DATATYPE, value.type());
        support::fire_error(ErrorId::script_expect_val, &expected, &datatype);
    }
    const Cell* target = out != ABSENT ? arg(out) : nullptr;
    const bool deep = refinements[0] != ABSENT;
    const bool only = refinements[1] != ABSENT;
    if (Flow flow = compose_block(&value, deep, only, target); flow != Flow::normal) return flow;
    stack::set_result_reset(stack::top());
    return Flow::normal;
}

}  // namespace zun::natives
