// print, prin and the seven comparison natives.
//
// Printed text goes to the value hooks; while none is registered it goes to
// standard output through the low-level writer, and from there to the text
// hooks like everything else that writer prints.
#include <algorithm>
#include <climits>
#include <string>

#include "core/console_out.hpp"
#include "core/unicode.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

namespace {
int g_last_line_end = 0;

constexpr uint32_t REPLACEMENT = 0xFFFD;

// Cuts print's reduce buffer back to where this print started, whatever way
// the print ends: the reduction can raise or leave through break or return.
// The buffer's cell lies in the root block, which never moves.
class ReduceBufferCut {
public:
    explicit ReduceBufferCut(int32_t length) : m_length(length) {}
    ~ReduceBufferCut() {
        const Cell* buffer = print_buffer();
        if (block::length_from_start(buffer) > m_length) block::set_tail_at(buffer, m_length);
    }
    ReduceBufferCut(const ReduceBufferCut&) = delete;
    ReduceBufferCut& operator=(const ReduceBufferCut&) = delete;

private:
    int32_t m_length;
};

// A string! in slot 0 is printed as it stands (a head past its tail clipped);
// any other value becomes its formed text.
void form_result() {
    Cell* slot = stack::g_base;
    if (slot->is(TYPE_STRING)) {
        slot->data1 = uint32_t(std::min(string::head_index(slot), string::length_from_start(slot)));
        return;
    }
    Cell* text = stack::push_cell();
    *text = make_cell(TYPE_UNSET);
    string::make_empty_at(text, 16);
    actions::form_direct(slot, text, nullptr, INT_MAX);
    stack::set_result_reset(text);
}

void pass_to_text_hooks(const uint8_t* text, uint32_t count, uint32_t unit, bool line_end) {
    std::string bytes;
    bytes.reserve(count + 1);
    for (uint32_t i = 0; i < count; i++) {
        uint32_t code_point = string::get_char(text + i * unit, unit);
        if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF))
            code_point = REPLACEMENT;
        uint8_t sequence[4];
        bytes.append(reinterpret_cast<const char*>(sequence),
                     unicode::encode_utf8_char(code_point, sequence));
    }
    if (line_end) bytes += '\n';
    console_out::call_output_hooks(bytes.data(), int(bytes.size()), 0);
}

// The string's characters from its head, to standard output.
void write_out(const Cell* text, int line_end) {
    memory::SeriesBuffer* buffer = string::buffer_of(text);
    const uint32_t unit = buffer->unit();
    const uint32_t head = uint32_t(std::max(string::head_index(text), 0)) * unit;
    const uint32_t bytes = buffer->used() > head ? buffer->used() - head : 0;
    const uint8_t* start = buffer->head_ptr() + head;
    console_out::write_units(start, bytes, int(unit), line_end != 0);
    if (console_out::text_hook_count() > 0)
        pass_to_text_hooks(start, bytes / unit, unit, line_end != 0);
}

// Slot 0, formed, to the hooks or to standard output.
void output(int line_end) {
    form_result();
    const Cell* text = stack::g_base;
    if (console_out::value_hook_count() > 0) console_out::call_print_hooks(text, line_end);
    else write_out(text, line_end);
}

Flow compare_arguments(int mode) {
    actions::compare_arguments(mode);
    stack::reset_keep_result();
    return Flow::normal;
}
}  // namespace

// A block is reduced behind whatever print's buffer holds already, so a print
// run while another one reduces keeps the outer one's values.
Flow print_value(int, int line_end) {
    const Cell value = *stack::g_base;
    if (value.is(TYPE_BLOCK)) {
        Cell target = *print_buffer();
        const int32_t start = block::length_from_start(&target);
        target.data1 = uint32_t(start);
        ReduceBufferCut cut(start);
        if (Flow flow = reduce_into(&value, &target); flow != Flow::normal) return flow;
        output(line_end);
    } else {
        output(line_end);
    }
    g_last_line_end = line_end;
    stack::set_result_reset(&shared_unset_cell);
    return Flow::normal;
}

Flow print(int check, const int32_t*) { return print_value(check, 1); }
Flow prin(int check, const int32_t*) { return print_value(check, 0); }

int last_line_end() { return g_last_line_end; }

Flow equal_q(int, const int32_t*) { return compare_arguments(COMP_EQUAL); }
Flow not_equal_q(int, const int32_t*) { return compare_arguments(COMP_NOT_EQUAL); }
Flow strict_equal_q(int, const int32_t*) { return compare_arguments(COMP_STRICT_EQUAL); }
Flow lesser_q(int, const int32_t*) { return compare_arguments(COMP_LESSER); }
Flow greater_q(int, const int32_t*) { return compare_arguments(COMP_GREATER); }
Flow lesser_or_equal_q(int, const int32_t*) { return compare_arguments(COMP_LESSER_EQUAL); }
Flow greater_or_equal_q(int, const int32_t*) { return compare_arguments(COMP_GREATER_EQUAL); }

}  // namespace zun::natives
