// Function-making, word and evaluation natives: func, function, does, has,
// do, get and set. Code they evaluate may allocate and move every buffer, so
// the values they work on are kept on the value stack and read from there.
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/word.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/trace.hpp"
#include "interpreter/path_eval.hpp"

namespace zun::natives {

namespace {

constexpr int32_t ABSENT = -1;

Cell* arg(int i) { return stack::g_base + i; }

[[noreturn]] void fire(ErrorId id, Cell a1) { support::fire_error(id, &a1); }

bool path_type_q(uint32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }
bool block_q(uint32_t type) { return type == TYPE_BLOCK; }
bool any_value_q(uint32_t type) { return type != TYPE_UNSET; }
bool word_q(uint32_t type) { return type == TYPE_WORD; }
bool function_q(uint32_t type) { return type == TYPE_FUNCTION; }
bool get_target_q(uint32_t type) {
    return word::any_word_type_q(type) || path_type_q(type) || type == TYPE_OBJECT;
}
bool set_target_q(uint32_t type) { return get_target_q(type) || type == TYPE_BLOCK; }

// With the check flag: the argument at stack position `position` must be of
// an accepted type; `parameter` counts the spec's parameters and refinements
// from 0.
void check_arg(int check, int position, int32_t parameter, bool (*accepts)(uint32_t)) {
    if (!check || accepts(arg(position)->type())) return;
    const Cell callee = stack::current_callee_word();
    const Cell datatype = make_cell(TYPE_DATATYPE, arg(position)->type());
    const Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}

// ---------------------------------------------------------------- making functions

// spec and body lie on the value stack; the function! becomes slot 0.
Flow make_function(Cell* spec, Cell* body) {
    block::head_cell(spec);  // a head past the tail moves back to it
    block::head_cell(body);
    const uint32_t flags = function::validate_spec(spec);
    function::push(spec, body, 0, 0, 0, flags);
    stack::set_result_reset(stack::g_top - 1);
    return Flow::normal;
}

// ---------------------------------------------------------------- do

// The function! a global word of the language-level library holds, and that
// word in *name_word; nullptr while the library that defines it is missing.
const Cell* library_function(const char* name, Cell* name_word) {
    const uint32_t symbol = symbol::make(name);
    const Cell* value = context::find_word_value(symbol, context::global());
    if (!value || !value->is(TYPE_FUNCTION)) return nullptr;
    *name_word = context::resolve_symbol(context::global(), symbol);
    return value;
}

// Files and URLs run through the library's do-file: the value, no callback,
// the /args value (or none), and none for the rest of its parameters.
Flow do_file(const Cell& file, const Cell& args) {
    constexpr uint32_t PARAMETERS = 16;
    Cell name;
    const Cell* found = library_function("do-file", &name);
    if (!found) not_done_raise();
    Cell* held = stack::push(found);
    Cell* values = stack::g_top;
    *stack::push_cell() = file;
    *stack::push_cell() = make_cell(TYPE_NONE);
    *stack::push_cell() = args;
    while (stack::g_top < values + PARAMETERS) *stack::push_cell() = make_cell(TYPE_NONE);
    return interpreter::call_function(held, values, PARAMETERS, false, &name);
}

// #directives of the block expanded in place by the preprocessor's expand.
Flow expand(Cell* block) {
    const Cell* preprocessor = context::find_word_value(symbol::make("preprocessor"),
                                                        context::global());
    if (!preprocessor || !preprocessor->is(TYPE_OBJECT)) not_done_raise();
    const Cell owner = *preprocessor;
    const Cell field = make_cell(TYPE_WORD, 0, symbol::make("expand"), context::NO_INDEX);
    const Cell fn = *object::select_word(&owner, &field);
    if (!fn.is(TYPE_FUNCTION)) not_done_raise();
    Cell* const top = stack::g_top;
    Cell* held = stack::push(&fn);
    Cell* values = stack::push(block);
    *stack::push_cell() = make_cell(TYPE_NONE);
    *stack::push_cell() = logic::make_value(false);
    stack::push_native_frame(words::get(words::anon));
    if (Flow flow = interpreter::call_function(held, values, 3, true, &field); flow != Flow::normal)
        return flow;
    stack::pop_frame();
    stack::g_top = top;
    return Flow::normal;
}

// A block on the value stack: evaluated whole into slot 0, or with /next one
// expression and the position word set to the block after it.
Flow do_block(Cell* block, int32_t expand_at, Cell* position) {
    block::head_cell(block);  // a head past the tail moves back to it
    if (expand_at != ABSENT)
        if (Flow flow = expand(block); flow != Flow::normal) return flow;
    if (!position) return interpreter::eval_block(block, true);
    // Slot 0 receives the result: the block is advanced in a cell of its own.
    Cell* held = stack::push(block);
    if (Flow flow = interpreter::eval_next(held); flow != Flow::normal) return flow;
    const Cell result = *stack::g_base;
    Cell* word = stack::push(position);
    word::set_value(word, held);
    stack::set_result_reset(&result);
    return Flow::normal;
}

// ---------------------------------------------------------------- get

Flow get_word_value(const Cell& word, bool any) {
    const Cell value = *word::get_value(&word);
    if (!any && value.is(TYPE_UNSET)) fire(ErrorId::script_no_value, word);
    stack::set_result_reset(&value);
    return Flow::normal;
}

}  // namespace

Flow func(int check, const int32_t*) {
    check_arg(check, 0, 0, block_q);
    check_arg(check, 1, 1, block_q);
    return make_function(arg(0), arg(1));
}

// /extern is written inside the spec; the native's own refinement is not read.
Flow function_(int check, const int32_t*) {
    check_arg(check, 0, 0, block_q);
    check_arg(check, 1, 1, block_q);
    block::head_cell(arg(0));
    *arg(0) = *block::clone(arg(0), false, false);
    function::collect_locals(arg(0), arg(1));
    return make_function(arg(0), arg(1));
}

Flow does(int check, const int32_t*) {
    check_arg(check, 0, 0, block_q);
    Cell* spec = block::push_new(1);
    return make_function(spec, arg(0));
}

Flow has(int check, const int32_t*) {
    check_arg(check, 0, 0, block_q);
    check_arg(check, 1, 1, block_q);
    block::head_cell(arg(0));
    Cell* spec = block::clone(arg(0), false, false);
    block::insert_value(spec, refinements::get(refinements::local), false, true);
    return make_function(spec, arg(1));
}

namespace {
Flow do_value(int check, const int32_t* refinements);
}

// Refinements: /expand, /args arg, /next position, /trace callback.
Flow do_(int check, const int32_t* refinements) {
    const int32_t args_at = refinements[1];
    const int32_t next_at = refinements[2], trace_at = refinements[3];
    if (args_at != ABSENT) check_arg(check, args_at, 3, any_value_q);
    if (next_at != ABSENT) check_arg(check, next_at, 5, word_q);
    if (trace_at != ABSENT) {
        check_arg(check, trace_at, 7, function_q);
        interpreter::TraceScope tracing(arg(trace_at));
        if (Flow flow = do_value(check, refinements); flow != Flow::normal) return flow;
        tracing.finish();
        return Flow::normal;
    }
    return do_value(check, refinements);
}

namespace {
// do without /trace.
Flow do_value(int, const int32_t* refinements) {
    const int32_t expand_at = refinements[0], args_at = refinements[1];
    const int32_t next_at = refinements[2];
    Cell* value = arg(0);
    Cell* position = next_at != ABSENT ? arg(next_at) : nullptr;
    switch (value->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
            return do_block(value, expand_at, position);
        case TYPE_PATH:
            return interpreter::eval_path(value, nullptr, nullptr, interpreter::PathMode::get,
                                          false, false);
        case TYPE_STRING: {
            Cell* loaded = stack::push_cell();
            *loaded = make_cell(TYPE_NONE);
            uint32_t consumed = 0;
            lexer::load_string(loaded, value, 0, -1, lexer::Options{}, &consumed);
            return do_block(loaded, expand_at, position);
        }
        case TYPE_FILE: case TYPE_URL:
            return do_file(*value, args_at != ABSENT ? *arg(args_at) : make_cell(TYPE_NONE));
        case TYPE_ERROR:
            stack::throw_error(value);
        default:
            return interpreter::eval_value(value, false, false);
    }
}

}  // namespace

// Refinements: /any, /case. A path is read without calling what it reaches.
Flow get(int check, const int32_t* refinements) {
    check_arg(check, 0, 0, get_target_q);
    const bool any = refinements[0] != ABSENT, case_ = refinements[1] != ABSENT;
    Cell* target = arg(0);
    if (path_type_q(target->type()))
        return interpreter::eval_path(target, nullptr, nullptr, interpreter::PathMode::get_no_call,
                                      false, case_);
    if (target->is(TYPE_OBJECT)) {
        object::reflect(target, sym::id(sym::values));
        stack::reset_keep_result();
        return Flow::normal;
    }
    return get_word_value(*target, any);
}

// Refinements: /any, /case, /only, /some. The result is the value.
Flow set(int check, const int32_t* refinements) {
    check_arg(check, 0, 0, set_target_q);
    const bool any = refinements[0] != ABSENT, case_ = refinements[1] != ABSENT;
    const bool only = refinements[2] != ABSENT, some = refinements[3] != ABSENT;
    const Cell value = *arg(1);
    if (!any && value.is(TYPE_UNSET)) fire(ErrorId::script_need_value, *arg(0));
    switch (arg(0)->type()) {
        case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH: {
            // The walk assigns slot 0 of the current frame.
            Cell* path = stack::push(arg(0));
            *stack::g_base = value;
            if (Flow flow = interpreter::eval_path(path, nullptr, nullptr,
                                                   interpreter::PathMode::set, true, case_);
                flow != Flow::normal)
                return flow;
            break;
        }
        case TYPE_OBJECT:
            object::set_from(arg(0), arg(1), any, only, some);
            break;
        case TYPE_BLOCK: {
            const int32_t n = block::length_from_head(arg(0));
            Cell* held_words = stack::push(arg(0));
            Cell* held_value = stack::push(&value);
            stack::push_native_frame(words::get(words::anon));
            set_words_from_block(held_words, held_value, n, any, only, some);
            stack::pop_frame();
            break;
        }
        default:
            word::set_value(arg(0), &value);
            break;
    }
    stack::set_result_reset(&value);
    return Flow::normal;
}

}  // namespace zun::natives
