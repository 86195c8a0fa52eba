#include "datatypes/triple.hpp"

#include <cstdio>
#include <cstring>

#include "core/support.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun::triple {

int form(Cell* value, Cell* buffer, Cell*, int part) {
    char text[64];
    int n = std::snprintf(text, sizeof text, "make triple! [%d %d %d]", int32_t(value->data1),
                          int32_t(value->data2), int32_t(value->data3));
    string::append_c_string(buffer, text);
    return part - n;
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, own<A_FORM>(form), own<A_MOLD>(mold), E, E,
        /*  9 */ E, E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_TRIPLE, 0, "triple!", slots);
}

}  // namespace zun::triple

namespace zun::handle {

namespace {
constexpr const char* KIND_NAMES[] = {nullptr, "null", "fd", "monitor", "window", "font",
                                      "rich-text"};
}  // namespace

void set_result(uint32_t handle, uint32_t kind) { init_cell(stack::g_base, handle, kind); }

Cell* push(uint32_t handle, uint32_t kind) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_NONE);
    return init_cell(cell, handle, kind);
}

Cell* push_null() { return push(0, NO_KIND); }

Cell* append_to_block(const Cell* block, uint32_t handle, uint32_t kind) {
    return init_cell(support::append_cell(block), handle, kind);
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%08Xh", value->data2);
    string::append_c_string(buffer, text);
    return part - n;
}

int mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* arg, int part, int) {
    if (!all) {
        string::append_c_string(buffer, "handle!");
        return part - 7;
    }
    string::append_c_string(buffer, "#[handle! ");
    part = form(value, buffer, arg, part - 10);
    const uint32_t kind = value->data1;
    if (kind >= NULL_KIND && kind <= RICH_TEXT) {
        string::append_c_string(buffer, " ");
        string::append_c_string(buffer, KIND_NAMES[kind]);
        part -= 1 + int(std::strlen(KIND_NAMES[kind]));
    }
    string::append_c_string(buffer, "]");
    return part - 1;
}

int compare(Cell* value1, Cell* value2, int) {
    if (!value2->is(TYPE_HANDLE)) return 1;
    int32_t a = int32_t(value1->data2), b = int32_t(value2->data2);
    return (a > b) - (a < b);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, E, E, own<A_FORM>(form), own<A_MOLD>(mold), E, E,
        /*  9 */ own<A_COMPARE>(compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_HANDLE, TYPE_INTEGER, "handle!", slots);
}

}  // namespace zun::handle
