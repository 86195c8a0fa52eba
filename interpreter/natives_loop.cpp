// Loop natives: while, until, loop, repeat, forever, foreach, forall and
// remove-each, and the iteration steps that foreach, remove-each, set and
// compiled loops share.
//
// Each loop runs its body in a loop frame named <body>: break and continue
// find that frame, make it current and come back as a status; the loop takes
// them and passes every other status on unchanged. Nothing is allocated per
// iteration: the loop words are set through their own binding, and the
// iteration state lives in cells pushed once below the loop frame.
#include <cstdint>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/series/series.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

namespace {

// With the check flag: the argument at `position` must have a type `ok`
// accepts; `parameter` counts the spec's parameters and refinements from 0.
template <typename Ok> void check_arg(int check, const Cell* args, int position, int32_t parameter, Ok ok) {
    if (!check || ok(args[position].type())) return;
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, args[position].type());
    Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}
bool block_type(uint32_t t) { return t == TYPE_BLOCK; }
bool count_type(uint32_t t) { return t == TYPE_INTEGER || t == TYPE_FLOAT; }
bool words_type(uint32_t t) { return t == TYPE_WORD || t == TYPE_BLOCK; }
bool series_type(uint32_t t) {
    return block::any_block_q(t) || string::any_string_q(t) || t == TYPE_BINARY ||
           t == TYPE_VECTOR || t == TYPE_IMAGE;
}
bool settable_word(uint32_t t) { return t >= TYPE_WORD && t <= TYPE_GET_WORD; }

Flow none_result() {
    stack::set_result_reset(&shared_none_cell);
    return Flow::normal;
}

// Pushes the loop frame; its slot 0, the loop's result so far, starts unset!.
void open_loop() {
    stack::push_loop_frame(words::get(words::body));
    *stack::push_cell() = make_cell(TYPE_UNSET);
}

// Pops the loop frame; its slot 0 becomes the native's result.
Flow close_loop() {
    stack::pop_frame_set_result();
    stack::reset_keep_result();
    return Flow::normal;
}

// The body's value lands in the loop frame's slot 0.
Flow run_body(const Cell* body) {
    stack::reset();
    return interpreter::eval_loop_body(body);
}

// What a status means to the loop whose frame is current.
enum class Then { go_on, stop, pass_on };
Then then(Flow flow) {
    switch (flow) {
        case Flow::normal: case Flow::continue_: return Then::go_on;
        case Flow::break_: return Then::stop;
        default: return Then::pass_on;
    }
}

// Code that may run user code under C++ (an object's on-change* handler, an
// owner's change handler): a status raised there comes back as a status.
template <typename F> Flow guarded(F f) {
    try {
        f();
    } catch (const PendingFlow& pending) {
        return pending.code;
    }
    return Flow::normal;
}

// Item i (from 1) of a block-like value from its head; none! outside.
Cell item_at(const Cell* series, int32_t i) {
    const int64_t index = int64_t(block::head_index(series)) + i - 1;
    if (index < 0 || index >= block::length_from_start(series)) return make_cell(TYPE_NONE);
    return *block::cell_at(series, int32_t(index));
}

Cell picked(const Cell* series, int32_t i) {
    if (block::any_block_q(series->type())) return item_at(series, i);
    Cell s = *series;
    return *actions::pick_direct(&s, i, nullptr);
}

// Word i of a word block; any other value raises script invalid-arg.
Cell loop_word(const Cell* words, int32_t i) {
    Cell word = item_at(words, i);
    if (!settable_word(word.type())) support::fire_error(ErrorId::script_invalid_arg, &word);
    return word;
}

bool at_end(const Cell* series) {
    if (series->is(TYPE_IMAGE)) return int64_t(int32_t(series->data1)) >= image::count_of(series);
    return series::at_tail_q(series);
}

Cell* loop_base() { return stack::g_base; }

}  // namespace

// ---------------------------------------------------------------- helpers

int32_t count_to_integer(Cell* count) {
    if (count->is(TYPE_FLOAT)) *count = integer_cell(support::to_int_checked(count));
    return count->as_int();
}

bool series_has_more_q(const Cell* series) { return !at_end(series); }

void set_words_from_block(const Cell* words, const Cell* source, int32_t n, bool any, bool only,
                          bool some) {
    const bool items = !only && (block::any_block_q(source->type()) || source->is(TYPE_MAP));
    if (items) {
        for (int32_t i = 1; i <= n; i++) {
            Cell word = loop_word(words, i);
            if (!any && picked(source, i).is(TYPE_UNSET))
                support::fire_error(ErrorId::script_need_value, &word);
        }
    }
    for (int32_t i = 1; i <= n; i++) {
        const Cell value = items ? picked(source, i) : *source;
        if (some && value.is(TYPE_NONE)) continue;
        Cell word = loop_word(words, i);
        if (!any && value.is(TYPE_UNSET)) support::fire_error(ErrorId::script_need_value, &word);
        word::set_value(&word, &value);
    }
}

// The words are checked too: a value that is no word has no place to be set.
void set_words_from_string(const Cell* words, const Cell* series, int32_t n) {
    for (int32_t i = 1; i <= n; i++) {
        Cell word = loop_word(words, i);
        const Cell value = picked(series, i);
        word::set_value(&word, &value);
    }
}

bool foreach_next(int32_t n) {
    Cell* series = loop_base() - 2;
    const Cell* words = loop_base() - 1;
    if (n <= 0 || !series_has_more_q(series)) return false;
    const uint32_t type = series->type();
    if (string::any_string_q(type) || type == TYPE_BINARY || type == TYPE_VECTOR) {
        set_words_from_string(words, series, n);
    } else if (type == TYPE_MAP) {
        if (n != 2) support::fire_error(ErrorId::script_invalid_arg, words);
        return map::foreach_step(series, words, n);  // moves the cursor itself
    } else if (type == TYPE_IMAGE) {
        image::foreach_step(words, series, n);
    } else {
        set_words_from_block(words, series, n, true, false, false);
    }
    series->data1 += uint32_t(n);
    return true;
}

bool foreach_next_word() {
    Cell* series = loop_base() - 2;
    Cell* word = loop_base() - 1;  // on the stack: a first set stores its index here
    if (!series_has_more_q(series)) return false;
    const Cell value = picked(series, 1);
    word::set_value(word, &value);
    series->data1 += 1;
    return true;
}

void remove_each_next(int32_t n) {
    if (logic::false_value(loop_base())) return;
    Cell* series = loop_base() - 2;
    Cell* count = loop_base() - 3;
    series->data1 -= uint32_t(n);
    const Cell* rest = actions::remove_direct(series, n == 1 ? nullptr : count, nullptr);
    series->data1 = rest->data1;
}

bool forall_next(bool advance) {
    Cell* value = word::get_value(loop_base() - 1);
    if (advance) value->data1 += 1;
    return at_end(value);
}

void forall_set_word() { word::set_value(loop_base() - 1, loop_base() - 2); }

void forall_sync_index() { (loop_base() - 2)->data1 = word::get_value(loop_base() - 1)->data1; }

void repeat_step(Cell* word) {
    Cell* value = word::get_value(word);
    if (!value->is(TYPE_INTEGER)) support::fire_error(ErrorId::script_invalid_arg, value);
    value->data2 += 1;
    const NodeId context = word->data1;
    if (context && context::kind_of(context::cell_of(context)) == context::OBJECT_KIND) {
        const Cell counted = *value;
        word::set_value(word, &counted);  // the object's change handling runs
    }
}

// ---------------------------------------------------------------- natives

// The result is unset! however the loop ends, break/return included.
Flow while_(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, block_type);
    check_arg(check, args, 1, 1, block_type);
    open_loop();
    for (;;) {
        stack::reset();
        Flow flow = interpreter::eval_condition(&args[0]);
        if (flow == Flow::break_ || flow == Flow::continue_)
            support::fire_error(ErrorId::throw_while_cond);
        if (flow != Flow::normal) return flow;
        if (!logic::result_true_q()) break;
        flow = run_body(&args[1]);
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
    }
    stack::pop_frame();
    stack::set_result_reset(&shared_unset_cell);
    return Flow::normal;
}

Flow until(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, block_type);
    open_loop();
    for (;;) {
        const Flow flow = run_body(&args[0]);
        if (flow == Flow::continue_) continue;  // no test
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
        if (logic::result_true_q()) break;
    }
    return close_loop();
}

Flow loop(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, count_type);
    check_arg(check, args, 1, 1, block_type);
    const int32_t count = count_to_integer(&args[0]);
    if (count <= 0) return none_result();
    open_loop();
    for (int32_t i = 0; i < count; i++) {
        const Flow flow = run_body(&args[1]);
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
    }
    return close_loop();
}

// The value argument's cell is the counter; the word is set from it at the
// start of each iteration, so the body cannot change the count.
Flow repeat(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, [](uint32_t t) { return t == TYPE_WORD; });
    check_arg(check, args, 1, 1, count_type);
    check_arg(check, args, 2, 2, block_type);
    Cell* const word = &args[0];
    Cell* const counter = &args[1];
    int32_t left = count_to_integer(counter);
    if (left <= 0) return none_result();
    *counter = integer_cell(1);
    open_loop();
    for (; left > 0; left--) {
        stack::reset();
        Flow flow = Flow::normal;
        if (Cell* target = word::plain_target(word)) *target = *counter;
        else flow = guarded([&] { word::set_value(word, counter); });
        if (flow == Flow::normal) flow = run_body(&args[2]);
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
        counter->data2 += 1;
    }
    return close_loop();
}

// Each iteration's value is dropped; the result is what break leaves.
Flow forever(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, block_type);
    open_loop();
    for (;;) {
        const Flow flow = run_body(&args[0]);
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
    }
    return close_loop();
}

Flow foreach(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, words_type);
    check_arg(check, args, 1, 1, [](uint32_t t) { return series_type(t) || t == TYPE_MAP; });
    check_arg(check, args, 2, 2, block_type);
    const bool several = args[0].is(TYPE_BLOCK);
    const int32_t n = several ? block::length_from_head(&args[0]) : 1;
    if (several && n == 0) support::fire_error(ErrorId::script_invalid_arg, &args[0]);
    if (!several && args[1].is(TYPE_MAP)) support::fire_error(ErrorId::script_invalid_arg, &args[0]);
    stack::push(&args[1]);  // the copy whose head walks the series
    stack::push(&args[0]);
    open_loop();
    for (;;) {
        bool more = false;
        Flow flow = guarded([&] { more = several ? foreach_next(n) : foreach_next_word(); });
        if (flow == Flow::normal && !more) break;
        if (flow == Flow::normal) flow = run_body(&args[2]);
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
    }
    return close_loop();
}

// The word itself walks the series; it is put back at its start unless a
// break ended the loop.
Flow forall(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, [](uint32_t t) { return t == TYPE_WORD; });
    check_arg(check, args, 1, 1, block_type);
    Cell* const start = stack::push(word::get_value(&args[0]));
    if (!series_type(start->type())) {
        Cell callee = stack::current_callee_word();
        Cell datatype = make_cell(TYPE_DATATYPE, start->type());
        Cell parameter = function::nth_parameter(0);
        support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &parameter);
    }
    stack::push(&args[0]);
    open_loop();
    bool broke = false;
    if (!forall_next(false)) {
        for (;;) {
            const Flow flow = run_body(&args[1]);
            if (then(flow) == Then::stop) {
                broke = true;
                break;
            }
            if (then(flow) == Then::pass_on) return flow;
            const Cell now = *word::get_value(loop_base() - 1);
            if (!series_type(now.type()) || now.data2 != start->data2)
                support::fire_error(ErrorId::script_bad_loop_series, &now);
            if (forall_next(true)) break;
        }
    }
    if (!broke) {
        stack::reset_keep_result();
        const Flow flow = guarded(forall_set_word);
        if (then(flow) == Then::pass_on) return flow;
    }
    return close_loop();
}

Flow remove_each(int check, const int32_t*) {
    Cell* const args = stack::g_base;
    check_arg(check, args, 0, 0, words_type);
    check_arg(check, args, 1, 1, series_type);
    check_arg(check, args, 2, 2, block_type);
    const bool several = args[0].is(TYPE_BLOCK);
    const int32_t n = several ? block::length_from_head(&args[0]) : 1;
    *stack::push_cell() = integer_cell(n);
    stack::push(&args[1]);
    stack::push(&args[0]);
    open_loop();
    for (;;) {
        bool more = false;
        Flow flow = guarded([&] { more = several ? foreach_next(n) : foreach_next_word(); });
        if (flow == Flow::normal && !more) break;
        if (flow == Flow::normal) flow = run_body(&args[2]);
        if (flow == Flow::normal) flow = guarded([&] { remove_each_next(n); });
        if (then(flow) == Then::stop) break;
        if (then(flow) == Then::pass_on) return flow;
    }
    stack::pop_frame();
    stack::set_result_reset(&args[1]);
    return Flow::normal;
}

}  // namespace zun::natives
