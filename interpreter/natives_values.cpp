// Natives over words, objects, maps and list markers, case conversion and
// series coercion: construct, value?, extend, unset, new-line, new-line?,
// context?, uppercase, lowercase and as.
#include "core/case_folding.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/map.hpp"
#include "datatypes/word.hpp"
#include "interpreter/native_args.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

using namespace args;

namespace {

bool value_word_q(uint32_t type) {
    return type == TYPE_WORD || type == TYPE_SET_WORD || type == TYPE_GET_WORD || type == TYPE_LIT_WORD;
}

void unset_word(Cell* word) {
    Cell unset{TYPE_UNSET, 0, 0, 0};
    word::set_value(word, &unset);
}

void set_new_line(Cell* cell, bool on) {
    cell->header = on ? cell->header | NEW_LINE_FLAG : cell->header & ~NEW_LINE_FLAG;
}

enum class SeriesGroup { NONE, LIST, TEXT };

SeriesGroup group_of(uint32_t type) {
    switch (type) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
    case TYPE_GET_PATH: return SeriesGroup::LIST;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: return SeriesGroup::TEXT;
    default: return SeriesGroup::NONE;
    }
}

Flow change_case(const int32_t* refinements, bool upper) {
    const Cell* part = used(refinements, 0) ? arg(refinements[0]) : nullptr;
    Cell value = *arg(0);  // the converter wants a cell outside series buffers
    unicode::change_case_value(&value, part, upper);
    return result(&value);
}

}  // namespace

Flow construct(int, const int32_t* refinements) {
    const Cell* prototype = used(refinements, 0) ? arg(refinements[0]) : &shared_none_cell;
    Cell* made = object::push_new(prototype, arg(0), used(refinements, 1));
    return result(made);
}

Flow value_q(int, const int32_t*) {
    Cell* v = arg(0);
    if (value_word_q(v->type())) return logic_result(!word::get_value(v)->is(TYPE_UNSET));
    return logic_result(!v->is(TYPE_UNSET));
}

Flow extend(int, const int32_t* refinements) {
    if (!arg(0)->is(TYPE_MAP)) not_done_raise();
    map::extend(arg(0), arg(1), used(refinements, 0));
    return keep_result();
}

Flow unset(int, const int32_t*) {
    Cell* target = arg(0);
    if (target->is(TYPE_WORD)) {
        unset_word(target);
    } else {
        // Each word is copied out first: its change handler may move the block.
        for (int32_t i = block::head_index(target); i < block::length_from_start(target); i++) {
            Cell element = *block::cell_at(target, i);
            if (element.is(TYPE_WORD)) unset_word(&element);
        }
    }
    Cell unset{TYPE_UNSET, 0, 0, 0};
    return result(&unset);
}

Flow new_line(int, const int32_t* refinements) {
    const Cell* position = arg(0);
    const bool mark = arg(1)->data1 != 0;
    const bool all = used(refinements, 0), skip = used(refinements, 1);
    const int32_t start = block::head_index(position), tail = block::length_from_start(position);
    if (!all && !skip) {
        if (start < tail) {
            set_new_line(block::cell_at(position, start), mark);
        }
        return keep_result();
    }
    int32_t step = 1;
    if (skip) {
        Cell* size = arg(refinements[1]);
        step = int32_t(size->data2);
        if (step <= 0) support::fire_error(ErrorId::script_out_of_range, size);
    }
    for (int32_t i = 0; start + i < tail; i++) {
        set_new_line(block::cell_at(position, start + i), (step == 1 || i % step == 0) ? mark : !mark);
    }
    return keep_result();
}

Flow new_line_q(int, const int32_t*) {
    const Cell* position = arg(0);
    int32_t start = block::head_index(position);
    if (start < 0 || start >= block::length_from_start(position)) return logic_result(false);
    return logic_result((block::cell_at(position, start)->header & NEW_LINE_FLAG) != 0);
}

Flow context_q(int, const int32_t*) {
    NodeId context = arg(0)->data1;
    if (context == 0) return none_result();
    return result(context::owner_of(context));
}

Flow uppercase(int, const int32_t* refinements) { return change_case(refinements, true); }
Flow lowercase(int, const int32_t* refinements) { return change_case(refinements, false); }

Flow as(int, const int32_t*) {
    const Cell* type_arg = arg(0);
    Cell* spec = arg(1);
    uint32_t target = type_arg->is(TYPE_DATATYPE) ? type_arg->data1 : type_arg->type();
    SeriesGroup group = group_of(target);
    if (group == SeriesGroup::NONE || group != group_of(spec->type())) {
        Cell from = make_cell(TYPE_DATATYPE, spec->type());
        Cell to = make_cell(TYPE_DATATYPE, target);
        support::fire_error(ErrorId::script_not_same_class, &from, &to);
    }
    Cell coerced = *spec;
    coerced.set_type(target);
    return result(&coerced);
}

}  // namespace zun::natives
