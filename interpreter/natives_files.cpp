// Text natives of files and urls: dehex, enhex and to-local-file.
#include "datatypes/series/file.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/series/url.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

// A new empty string! on the stack, room for the argument's length.
Cell* push_result_string() {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_UNSET);
    return string::make_at(cell, uint32_t(string::length_from_head(stack::g_base)), 1);
}
}  // namespace

Flow dehex(int, const int32_t*) {
    Cell* result = push_result_string();
    url::decode_escapes(stack::g_base, result);
    stack::set_result_reset(result);
    return Flow::normal;
}

// A string! is encoded as a URL component; the other string types keep the
// characters a URL may hold.
Flow enhex(int, const int32_t*) {
    Cell* result = push_result_string();
    int mode = stack::g_base->is(TYPE_STRING) ? url::COMPONENT_MODE : url::WIDE_MODE;
    url::encode_escapes(stack::g_base, result, mode);
    stack::set_result_reset(result);
    return Flow::normal;
}

Flow to_local_file(int, const int32_t* refinements) {
    Cell* result = push_result_string();
    file::to_os_path(stack::g_base, result, refinements[0] != ABSENT);
    stack::set_result_reset(result);
    return Flow::normal;
}

}  // namespace zun::natives
