// The set-operation natives and the parse native. The set natives only check
// their arguments and route them to the datatypes' set operations; the
// comparison rules belong to those.
#include <algorithm>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/date.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/bitset.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/typeset.hpp"
#include "interpreter/native_args.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/parse.hpp"

namespace zun::natives {

using args::arg;
using args::used;

namespace {

bool block_like(uint32_t t) { return t == TYPE_BLOCK || t == TYPE_HASH; }

bool set_type_ok(uint32_t t, bool dates) {
    return block_like(t) || t == TYPE_STRING || t == TYPE_BITSET || t == TYPE_TYPESET ||
           (dates && t == TYPE_DATE);
}

// refinements: /case, /skip (its size argument).
Flow set_operation(int check, const int32_t* refinements, int op) {
    Cell* set1 = arg(0);
    const bool two_sets = op != block::SET_UNIQUE;
    Cell* set2 = two_sets ? arg(1) : nullptr;
    if (check) {
        const bool dates = op == block::SET_DIFFERENCE;
        if (!set_type_ok(set1->type(), dates) || (!two_sets && !block_like(set1->type()) &&
                                                  !set1->is(TYPE_STRING)))
            args::fire_expect_arg(set1, 0);
        if (two_sets && !set_type_ok(set2->type(), dates)) args::fire_expect_arg(set2, 1);
    }
    if (two_sets) {
        const bool compatible = block_like(set1->type()) ? block_like(set2->type())
                                                         : set1->type() == set2->type();
        if (!compatible) {
            Cell t1 = make_cell(TYPE_DATATYPE, set1->type());
            Cell t2 = make_cell(TYPE_DATATYPE, set2->type());
            support::fire_error(ErrorId::script_expect_val, &t1, &t2);
        }
    }
    const bool case_ = used(refinements, 0);
    Cell* skip = used(refinements, 1) ? arg(refinements[1]) : nullptr;
    const int32_t parameter = two_sets ? 1 : 0;
    switch (set1->type()) {
        case TYPE_BLOCK: case TYPE_HASH: {
            const Cell* made = block::set_operation(set1, set2, case_, skip, op);
            return args::result(made);
        }
        case TYPE_STRING: {
            const Cell* made = string::set_operation(set1, set2, case_, skip, op);
            return args::result(made);
        }
        case TYPE_BITSET:
            bitset::set_operation(op);
            return args::keep_result();
        case TYPE_TYPESET:
            typeset::do_set_op(op);
            return args::keep_result();
        case TYPE_DATE:
            if (op != block::SET_DIFFERENCE) args::fire_expect_arg(set1, parameter);
            date::difference(set1, set2);
            return args::keep_result();
        default:
            args::fire_expect_arg(set1, parameter);
    }
}

// The /part limit as an absolute index into the input.
int32_t part_limit(const Cell* input, const Cell* part) {
    if (part->is(TYPE_INTEGER)) return int32_t(input->data1) + part->as_int();
    if (part->is(TYPE_FLOAT)) return int32_t(input->data1) + support::to_int_checked(part);
    if (part->type() != input->type() || part->data2 != input->data2) {
        Cell word = *zun::refinements::get(zun::refinements::part);
        word.set_type(TYPE_WORD);
        support::fire_error(ErrorId::script_invalid_refine_arg, &word, part);
    }
    return int32_t(part->data1);
}

bool parse_input_type(uint32_t t) {
    return t == TYPE_BINARY || block::any_block_q(t) || string::any_string_q(t);
}

}  // namespace

Flow union_(int check, const int32_t* refinements) {
    return set_operation(check, refinements, block::SET_UNION);
}
Flow intersect(int check, const int32_t* refinements) {
    return set_operation(check, refinements, block::SET_INTERSECT);
}
Flow unique(int check, const int32_t* refinements) {
    return set_operation(check, refinements, block::SET_UNIQUE);
}
Flow difference(int check, const int32_t* refinements) {
    return set_operation(check, refinements, block::SET_DIFFERENCE);
}
Flow exclude(int check, const int32_t* refinements) {
    return set_operation(check, refinements, block::SET_EXCLUDE);
}

Flow complement_q(int, const int32_t*) {
    Cell* bits = arg(0);
    if (!bits->is(TYPE_BITSET)) args::fire_expect_arg(bits, 0);
    return args::logic_result(bitset::complemented_q(bits));
}

// refinements: /case, /part (its length), /trace (its callback).
Flow parse(int check, const int32_t* refinements) {
    const Cell input = *arg(0);
    const Cell rules = *arg(1);
    if (check) {
        if (!parse_input_type(input.type())) args::fire_expect_arg(arg(0), 0);
        if (!rules.is(TYPE_BLOCK)) args::fire_expect_arg(arg(1), 1);
    }
    parser::Options options;
    options.mode = used(refinements, 0) ? 2 : 0;
    if (used(refinements, 1)) {
        options.has_limit = true;
        options.limit = part_limit(&input, arg(refinements[1]));
    }
    if (used(refinements, 2)) {
        const Cell* callback = arg(refinements[2]);
        if (!callback->is(TYPE_FUNCTION)) args::fire_expect_arg(callback, 6);
        options.callback = callback;
    }
    Cell result = make_cell(TYPE_NONE);
    if (Flow flow = parser::parse(&input, &rules, options, &result); flow != Flow::normal)
        return flow;
    return args::result(&result);
}

}  // namespace zun::natives
