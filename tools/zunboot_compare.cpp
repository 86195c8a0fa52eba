#include "tools/zunboot_compare.hpp"

#include <cstring>

#include "core/memory.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::zunboot {

std::string mold_all(const Cell& value) {
    stack::StackScope scope;
    Cell copy = value;
    Cell* buffer = string::make_empty_at(stack::push_cell(), 64);
    actions::mold_direct(&copy, buffer, false, true, false, nullptr, 0x7FFFFFFF, 0);
    memory::SeriesBuffer* b = memory::buffer_of(buffer->data2);
    std::string text;
    for (uint32_t i = 0; i < b->used() / b->unit(); i++) {
        uint32_t c = 0;
        std::memcpy(&c, b->head_ptr() + i * b->unit(), b->unit());
        text += char(c < 0x80 ? c : '?');
    }
    return text;
}

bool same(const Cell& a_in, const Cell& b_in, std::string& why) {
    // Copies: molding allocates, and the cells may lie in buffers it moves.
    const Cell a = a_in, b = b_in;
    if (a.header != b.header) {
        why = "header of " + mold_all(a);
        return false;
    }
    const uint32_t type = a.type();
    if (block::any_block_q(type)) {
        if (a.data1 != b.data1) {
            why = "head of " + mold_all(a);
            return false;
        }
        const int32_t n = block::length_from_start(&a);
        if (n != block::length_from_start(&b)) {
            why = "length of " + mold_all(a);
            return false;
        }
        for (int32_t i = 0; i < n; i++)
            if (!same(*block::cell_at(&a, i), *block::cell_at(&b, i), why)) return false;
        return true;
    }
    if (string::any_string_q(type) || type == TYPE_BINARY || type == TYPE_VECTOR || type == TYPE_BITSET) {
        memory::SeriesBuffer* x = memory::buffer_of(a.data2);
        memory::SeriesBuffer* y = memory::buffer_of(b.data2);
        const bool equal = a.data1 == b.data1 && a.data3 == b.data3 && x->unit() == y->unit() &&
                           x->used() == y->used() && std::memcmp(x->head_ptr(), y->head_ptr(), x->used()) == 0;
        if (!equal) why = "contents of " + mold_all(a);
        return equal;
    }
    switch (type) {
        case TYPE_MAP: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_FUNCTION: case TYPE_IMAGE:
            if (mold_all(a) != mold_all(b)) {
                why = "value " + mold_all(a);
                return false;
            }
            return true;
        default:
            if (a.data1 != b.data1 || a.data2 != b.data2 || a.data3 != b.data3) {
                why = "payload of " + mold_all(a);
                return false;
            }
            return true;
    }
}

}  // namespace zun::zunboot
