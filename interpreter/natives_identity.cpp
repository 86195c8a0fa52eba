// same?, not, type?, stats, bind and in: identity, truth and type of values,
// memory figures, and binding words to contexts.
#include "core/memory.hpp"
#include "core/stats.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives {

namespace {

Cell* arg(int i) { return stack::g_base + i; }

Flow logic_result(bool flag) {
    Cell result{TYPE_LOGIC, flag ? 1u : 0u, 0, 0};
    stack::set_result_reset(&result);
    return Flow::normal;
}

bool same_words(const Cell* a, const Cell* b, bool w1, bool w2, bool w3) {
    return (!w1 || a->data1 == b->data1) && (!w2 || a->data2 == b->data2) &&
           (!w3 || a->data3 == b->data3);
}

// The context a value reaches: an object's, a function's, or a word's binding.
NodeId context_of(const Cell* value) {
    switch (value->type()) {
    case TYPE_OBJECT:
    case TYPE_ERROR:
    case TYPE_PORT:
    case TYPE_FUNCTION:
    case TYPE_ROUTINE: return value->data1;
    default: return word::any_word_type_q(value->type()) ? value->data1 : 0;
    }
}

// stats/show: the figures go to the library's report printer.
Flow show_memory_stats() {
    Cell* data = block::push_new(5);
    stats::memory(data, 2, nullptr);
    const Cell* printer = context::find_word_value(symbol::make("show-memory-stats"), context::global());
    if (!printer || !printer->is(TYPE_FUNCTION)) not_done_raise();
    const Cell fn = *printer;
    const Cell block = *data;
    if (Flow flow = interpreter::call_function(&fn, &block, 1, true); flow != Flow::normal) return flow;
    Cell unset{TYPE_UNSET, 0, 0, 0};
    stack::set_result_reset(&unset);
    return Flow::normal;
}

}  // namespace

bool same_values_q(Cell* a, Cell* b) {
    uint32_t type = a->type();
    if (type != b->type()) return false;
    switch (type) {
    case TYPE_NONE:
    case TYPE_UNSET: return true;
    case TYPE_DATATYPE:
    case TYPE_LOGIC:
    case TYPE_OBJECT: return same_words(a, b, true, false, false);
    case TYPE_CHAR:
    case TYPE_INTEGER:
    case TYPE_BITSET: return same_words(a, b, false, true, false);
    case TYPE_FLOAT:
    case TYPE_PERCENT:
    case TYPE_PAIR:
    case TYPE_TIME:
    case TYPE_OP: return same_words(a, b, false, true, true);
    case TYPE_TUPLE:
        return ((a->header ^ b->header) & 0x780000) == 0 &&
               actions::compare_direct(a, b, COMP_EQUAL) == 0;
    case TYPE_MONEY: return actions::compare_direct(a, b, COMP_EQUAL) == 0;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
    case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
    case TYPE_IMAGE: case TYPE_NATIVE: case TYPE_ACTION: case TYPE_POINT2D:
        return same_words(a, b, true, true, false);
    default: return same_words(a, b, true, true, true);
    }
}

Flow same_q(int, const int32_t*) { return logic_result(same_values_q(arg(0), arg(1))); }

Flow not_(int, const int32_t*) { return logic_result(logic::result_false_q()); }

Flow type_q(int, const int32_t* refinements) {
    uint32_t type = arg(0)->type();
    Cell result{TYPE_DATATYPE, type, 0, 0};
    if (refinements[0] != -1) {
        const Cell* name = registry::g_name_table[type].word;
        result = name ? *name : *word::make_global(registry::type_name(type));
    }
    stack::set_result_reset(&result);
    return Flow::normal;
}

Flow stats(int, const int32_t* refinements) {
    bool show = refinements[0] != -1, info = refinements[1] != -1;
    if (show) return show_memory_stats();
    if (!info) {
        Cell total{};
        stats::memory(nullptr, 1, &total);
        double bytes = total.as_double();
        if (bytes <= 2147483647.0) total = integer_cell(int32_t(bytes));
        stack::set_result_reset(&total);
        return Flow::normal;
    }
    Cell* out = block::push_new(5);
    stats::memory(out, 2, nullptr);
    stack::set_result_reset(out);
    return Flow::normal;
}

Flow bind(int, const int32_t* refinements) {
    NodeId context = context_of(arg(1));
    if (!context) support::fire_error(ErrorId::script_not_in_context, arg(1));
    if (arg(0)->is(TYPE_BLOCK)) {
        Cell* target = arg(0);
        if (refinements[0] != -1) target = block::clone(arg(0), true, true);
        context::bind_block(target, context, arg(1)->is(TYPE_OBJECT));
        stack::set_result_reset(target);
        return Flow::normal;
    }
    Cell* w = arg(0);
    int32_t index = context::find_word(context, w->data2, true);
    if (index >= 0) {
        w->data1 = context;
        w->data3 = uint32_t(index);
    }
    stack::reset_keep_result();
    return Flow::normal;
}

Flow in_(int, const int32_t*) {
    NodeId context = arg(0)->is(TYPE_NATIVE) || arg(0)->is(TYPE_ACTION) || arg(0)->is(TYPE_OP)
                         ? 0
                         : context_of(arg(0));
    Cell w = *arg(1);
    if (context == 0 || word::bind_to(context, &w) < 0) {
        stack::set_result_reset(&shared_none_cell);
        return Flow::normal;
    }
    if (w.is(TYPE_REFINEMENT)) w.set_type(TYPE_WORD);
    stack::set_result_reset(&w);
    return Flow::normal;
}

}  // namespace zun::natives
