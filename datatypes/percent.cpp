#include "datatypes/percent.hpp"

#include <cstring>

#include "core/support.hpp"
#include "datatypes/float.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/string.hpp"

namespace zun::percent {

Cell* append_to_block(const Cell* block, uint32_t low, uint32_t high) {
    Cell* cell = support::append_cell(block);
    *cell = make_cell(TYPE_PERCENT, 0, low, high);
    return cell;
}

int form(Cell* value, Cell* buffer, Cell*, int part) {
    const char* text = float_::form_text(value->as_double() * 100.0, float_::TEXT_PERCENT);
    string::append_c_string(buffer, text);
    return part - int(std::strlen(text));
}

int mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* arg, int part, int) {
    return form(value, buffer, arg, part);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ inherit<A_MAKE>(), inherit<A_RANDOM>(), E, inherit<A_TO>(), own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), E, E, inherit<A_COMPARE>(), inherit<A_ABSOLUTE>(),
        /* 11 */ inherit<A_ADD>(), inherit<A_DIVIDE>(), inherit<A_MULTIPLY>(), inherit<A_NEGATE>(),
        /* 15 */ inherit<A_POWER>(), inherit<A_REMAINDER>(), inherit<A_ROUND>(),
        /* 18 */ inherit<A_SUBTRACT>(), inherit<A_EVEN_Q>(), inherit<A_ODD_Q>(), E, E, E, E, E,
        /* 26 */ E, E, E, E, E, E, E, E,
        /* 34 */ E, E, E, E, E, E, E, E,
        /* 42 */ E, E, E, E, E, E, E, E,
        /* 50 */ E, E, E, E, E, E, E, E,
        /* 58 */ E, E, E, E, E);
    registry::register_type(TYPE_PERCENT, TYPE_FLOAT, "percent!", slots);
}

}  // namespace zun::percent
