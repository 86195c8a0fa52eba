// What the parse engine's loop needs from the input matchers.
#pragma once
#include <bit>
#include <cstdint>

#include "core/cell.hpp"
#include "core/memory.hpp"

namespace zun::parser {

enum InputKind { STRING_INPUT, BINARY_INPUT, BLOCK_INPUT };

// The current input: a series cell whose head index is the input position,
// and the end of the window the matchers may look at (the tail, or the /part
// limit).
struct Input {
    Cell* series;
    int32_t end;
};

InputKind input_kind(const Cell* series);
inline int32_t input_tail(const Cell* series) {  // units from the buffer start
    const memory::SeriesBuffer* b = memory::buffer_of(series->data2);
    return int32_t(b->used() >> std::countr_zero(b->unit()));  // units are powers of two
}
uint32_t unit_at(const Cell* series, int32_t index);    // a character or a byte

// Each answers whether it matched and, when it did, moves the head past the
// match; a failed match leaves the head where it was.
bool match_literal(Input in, const Cell& value, int mode);
bool match_type(Input in, const Cell& value);  // datatype! or typeset!
// min .. max matches of a simple value (max -1: no maximum), in one pass.
bool match_repeat(Input in, const Cell& value, int32_t min, int32_t max, int mode);
// to / thru a simple value: the head goes to the match's start or past it.
bool scan_to(Input in, const Cell& value, int mode, bool thru);
// keep into a string or binary target of the same unit size: the units from
// `from` to the input's head go straight into the target (appended, or
// inserted at its head, which moves past them). False when the units differ.
bool keep_run(const Cell* input, int32_t from, Cell* target, bool append);

}  // namespace zun::parser
