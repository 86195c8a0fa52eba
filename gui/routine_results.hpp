// Small helpers shared by the GUI's platform routines: their answers, and
// string arguments read as UTF-8.
#pragma once
#include <string>

#include "core/cell.hpp"
#include "core/unicode.hpp"
#include "datatypes/function.hpp"

namespace zun::gui {

inline routine::MachineResult none_result(Cell* args) {
    args[0] = make_cell(TYPE_NONE);
    return routine::MachineResult{};
}

inline routine::MachineResult logic_result(Cell* args, bool b) {
    args[0] = make_cell(TYPE_LOGIC, b ? 1 : 0);
    return routine::MachineResult{};
}

inline std::string utf8(const Cell* s) {
    Cell copy = *s;
    int32_t limit = -1;
    const char* t = unicode::to_utf8(&copy, &limit);
    return t ? t : "";
}

}  // namespace zun::gui
