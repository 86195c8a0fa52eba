// Support routines that need the evaluator: paths, switch look-up, the
// argument checks of compiled functions and calls with refinements.
#include <algorithm>
#include <memory>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/stack.hpp"

namespace zun::support {

namespace {

constexpr uint32_t CELL = sizeof(Cell);

inline const Cell* cells_of(NodeId node) { return memory::buffer_of(node)->head_cell(); }
inline uint32_t length_of(NodeId node) { return memory::buffer_of(node)->used() / CELL; }

[[noreturn]] void fire_expect(uint32_t type, int32_t parameter) {
    const Cell callee = stack::current_callee_word();
    const Cell datatype = make_cell(TYPE_DATATYPE, type);
    const Cell word = function::nth_parameter(parameter);
    fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}

bool notifying_series_q(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH ||
           (type >= TYPE_PATH && type <= TYPE_GET_PATH);
}

}  // namespace

void eval_path(bool set, const Cell* path_in, const Cell* items, uint32_t count) {
    if (count == 0) fire_error(ErrorId::script_empty_path);
    // The walk's cells live on the stack: stable addresses, seen by the collector.
    Cell* s = stack::g_top;
    enum { PATH, CURRENT, PARENT, PREVIOUS, ELEMENT, ASSIGN, SLOTS };
    for (int i = 0; i < SLOTS; i++) *stack::push_cell() = make_cell(TYPE_NONE);
    s[PATH] = *path_in;
    s[ASSIGN] = *stack::g_base;
    const Cell head = items[0];
    s[CURRENT] = head;
    s[PREVIOUS] = head;
    if (head.is(TYPE_WORD)) {
        s[CURRENT] = *word::get_value(&head);
        const NodeId context = head.data1;
        if (context != context::global() && !context::owner_of(context)->is(TYPE_OBJECT))
            s[PARENT] = *context::owner_of(context);
    }
    const Cell* place = nullptr;  // where the last step found the current value
    for (uint32_t k = 1; k < count; k++) {
        s[ELEMENT] = items[k];
        const bool last = k + 1 == count;
        bool notify = false;
        if (set && last && k >= 2) {
            const Cell& parent = s[PARENT];
            if (parent.is(TYPE_OBJECT) && parent.data3) {
                // Nothing has allocated since the last step answered `place`.
                const Cell* word = place ? object::word_of_value(&parent, place) : nullptr;
                if (word && !s[PREVIOUS].is(TYPE_WORD)) {
                    Cell w = *word;
                    w.header = TYPE_WORD;
                    s[PREVIOUS] = w;
                }
                notify = word != nullptr;
            } else {
                notify = notifying_series_q(parent.type());
            }
        }
        const auto fn = reinterpret_cast<SlotFnT<A_EVAL_PATH>>(
            actions::lookup_or_error(&s[CURRENT], A_EVAL_PATH, &s[PATH], &s[ELEMENT], int(k - 1)));
        const Cell* r = fn(&s[CURRENT], &s[ELEMENT], set && last ? &s[ASSIGN] : nullptr, &s[PATH],
                           &s[PARENT], &s[PREVIOUS], int(k - 1), false, false, last, notify);
        const Cell answer = *r;
        place = r;
        s[PARENT] = s[CURRENT];
        s[CURRENT] = answer;
        s[PREVIOUS] = items[k];
    }
    const Cell result = s[CURRENT];
    stack::g_top = s;
    stack::set_result(&result);
}

void switch_lookup(bool one_step, bool block_flag) {
    Cell key = *stack::argument(0);
    const Cell blk = *stack::argument(1);
    Cell found = make_cell(TYPE_NONE);
    if (!key.is(TYPE_BLOCK) && blk.data2) {
        const NodeId node = blk.data2;
        const uint32_t step = one_step ? 1 : 2;
        const uint32_t head = int32_t(blk.data1) > 0 ? blk.data1 : 0;
        for (uint32_t i = head; i < length_of(node); i += step) {
            Cell element = cells_of(node)[i];
            if (element.type() != key.type() || !actions::compare(&element, &key, COMP_EQUAL))
                continue;
            if (block_flag) {
                for (uint32_t j = i + 1; j < length_of(node); j++) {
                    if (cells_of(node)[j].is(TYPE_BLOCK)) {
                        found = cells_of(node)[j];
                        break;
                    }
                }
            } else {
                found = i + 1 < length_of(node) ? cells_of(node)[i + 1] : element;
            }
            break;
        }
    }
    if (one_step) stack::push(&found);
    else stack::set_result(&found);
}

Cell* check_arg_type(const Cell* typeset, int32_t parameter, Cell* argument) {
    if (!typeset::has(typeset, argument->type())) fire_expect(argument->type(), parameter);
    return argument;
}

int32_t check_stack_arg_type(int32_t i, const Cell* typeset, int32_t parameter) {
    if (i >= 0) check_arg_type(typeset, parameter, stack::argument(i));
    return i;
}

Cell* check_opt_arg_type(const Cell* refinement, const Cell* typeset, int32_t parameter,
                         Cell* argument) {
    if (!refinement->data1) return argument;
    return check_arg_type(typeset, parameter, argument);
}

Cell* reject_unset_arg(int32_t parameter, Cell* argument) {
    if (argument->is(TYPE_UNSET)) fire_expect(TYPE_UNSET, parameter);
    return argument;
}

Flow call_with_refinements(uint32_t index, bool native, uint32_t slot_count,
                           const RefinementGroup* groups, uint32_t group_count) {
    int32_t fast[32];
    std::unique_ptr<int32_t[]> many;
    int32_t* slots = fast;
    if (slot_count > 32) {
        many.reset(new int32_t[slot_count]);
        slots = many.get();
    }
    std::fill(slots, slots + slot_count, -1);
    for (uint32_t g = 0; g < group_count; g++) {
        const RefinementGroup& group = groups[g];
        if (group.slot < 1 || group.slot > slot_count) continue;
        if (logic::true_value_q(group.value)) {
            slots[group.slot - 1] = int32_t(group.first);
        } else {
            for (uint32_t k = 0; k < group.count; k++)
                *stack::argument(int(group.first + k)) = make_cell(TYPE_NONE);
        }
    }
    natives::Entry entry = nullptr;
    if (native && index >= 1 && index <= natives::TABLE_SIZE) entry = natives::g_table[index - 1];
    if (!native && index >= 1 && index <= uint32_t(ACTION_COUNT))
        entry = actions::g_dispatch_table[index - 1];
    if (!entry) not_done_raise();
    return entry(native ? 1 : 0, slot_count ? slots : nullptr);
}

Cell* scan_value_of_type(const Cell* text, uint32_t type) {
    Cell* scanned = scan_one_value(text);
    if (!scanned->is(type)) fire_bad_to(type, text);
    return scanned;
}

}  // namespace zun::support

namespace zun::support {

Cell* scan_one_value(const Cell* text) {
    Cell* out = stack::push_cell();
    *out = make_cell(TYPE_NONE);
    // Bad text is no value, not a syntax error: a scan that loads nothing
    // tells first.
    lexer::Options check;
    check.one_value = true;
    check.produce = false;
    uint32_t scanned = 0;
    if (lexer::load_string(out, text, 0, -1, check, &scanned) == int32_t(TYPE_ERROR)) {
        *out = make_cell(TYPE_NONE);
        return out;
    }
    *out = make_cell(TYPE_NONE);
    lexer::Options options;
    options.one_value = true;
    uint32_t consumed = 0;
    lexer::load_string(out, text, 0, -1, options, &consumed);
    // Only a text that is one value as a whole converts: "1x2 junk" is no
    // pair. Blanks around the value are allowed on both sides.
    const int32_t length = string::length_from_start(text) - string::head_index(text);
    Cell t = *text;
    const uint8_t* p = string::head_pointer(&t);
    const uint32_t unit = string::buffer_of(&t)->unit();
    for (int32_t i = int32_t(consumed); i < length; i++) {
        const uint32_t c = string::get_char(p + int64_t(i) * unit, unit);
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
            *out = make_cell(TYPE_NONE);
            break;
        }
    }
    return out;
}

}  // namespace zun::support
