// enbase and debase: text in base 2, 16, 58 or 64 to and from bytes. The
// encoders and decoders are binary!'s; these natives size the output and
// shape the result.
#include <cstring>

#include "core/support.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/natives.hpp"

namespace zun::natives {

namespace {

constexpr int32_t ABSENT = -1;
constexpr uint64_t MAX_BYTES = 0x7FFFFFF0;

// script expect-arg naming the current native, the value's datatype and the
// spec parameter (counted over words and refinements).
void check_arg(int check, int position, int32_t parameter, bool ok) {
    if (!check || ok) return;
    Cell callee = stack::current_callee_word();
    Cell datatype = make_cell(TYPE_DATATYPE, stack::argument(position)->type());
    Cell word = function::nth_parameter(parameter);
    support::fire_error(ErrorId::script_expect_arg, &callee, &datatype, &word);
}

// The /base argument (64 without it); any base but 2, 16, 58 and 64 raises.
int base_argument(int check, const int32_t* refinements) {
    if (!refinements || refinements[0] == ABSENT) return 64;
    const Cell* base = stack::argument(refinements[0]);
    check_arg(check, refinements[0], 2, base->is(TYPE_INTEGER));
    int32_t b = base->as_int();
    if (b != 2 && b != 16 && b != 58 && b != 64) {
        Cell copy = *base;
        support::fire_error(ErrorId::script_invalid_arg, &copy);
    }
    return b;
}

}  // namespace

Flow enbase(int check, const int32_t* refinements) {
    Cell* value = stack::argument(0);
    check_arg(check, 0, 0, value->is(TYPE_BINARY) || value->is(TYPE_STRING));
    int base = base_argument(check, refinements);
    // A string is encoded as its UTF-8 bytes (a binary pushed on the stack,
    // which the result reset drops).
    Cell* bytes = value->is(TYPE_BINARY) ? value : binary::to(nullptr, value, TYPE_BINARY);
    uint64_t n = uint64_t(binary::length_from_head(bytes));
    uint64_t room = binary::encoded_room(base, n);
    if (room > MAX_BYTES) support::fire_error(ErrorId::script_too_long);
    Cell* text = string::make_empty_at(stack::push_cell(), uint32_t(room));
    memory::SeriesBuffer* out = string::buffer_of(text);
    // The input is read after the allocation.
    char* end = binary::encode_base(base, reinterpret_cast<char*>(out->head_ptr()),
                                    binary::head_pointer(bytes), uint32_t(n));
    out->tail = uint32_t(reinterpret_cast<uint8_t*>(end) - out->data());
    stack::set_result_reset(text);
    return Flow::normal;
}

Flow debase(int check, const int32_t* refinements) {
    Cell* value = stack::argument(0);
    check_arg(check, 0, 0, value->is(TYPE_STRING));
    int base = base_argument(check, refinements);
    uint32_t n = uint32_t(string::length_from_head(value));
    Cell* result = binary::make_at(stack::push_cell(), uint32_t(binary::decoded_room(base, n)));
    memory::SeriesBuffer* out = memory::buffer_of(result->data2);
    // The text is read after the allocation.
    const uint8_t* text = string::head_pointer(value);
    uint32_t unit = string::buffer_of(value)->unit();
    int64_t count = binary::decode_base(base, text, n, unit, out->head_ptr());
    if (count < 0) {
        stack::set_result_reset(&shared_none_cell);
        return Flow::normal;
    }
    out->tail = out->head + uint32_t(count);
    stack::set_result_reset(result);
    return Flow::normal;
}

}  // namespace zun::natives
