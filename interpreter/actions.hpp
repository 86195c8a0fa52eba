// Action dispatch: the table of the 62 action entry points, the look-up of a
// datatype's handler for (type, slot), and the direct forms of the dispatchers
// that runtime code calls with values it holds.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/native_table.hpp"

namespace zun::actions {

// Entry i - 1 is the stack entry of action slot i; set-path has none. The
// entries share the natives' calling convention and ignore the check flag.
extern natives::Entry g_dispatch_table[ACTION_COUNT];
void register_(int count, const natives::Entry* entries);
void init_table();

// A port! whose actor is native serves slots 25-62 from its own table of 38
// entries (slot s at s - 25). The port! module installs the reader; it answers
// nullptr when the port's actor is not native.
using PortActorReader = const AnyHandler* (*)(const Cell* port);
void set_port_actor_reader(PortActorReader reader);

// The handler of `slot` in the row of `type`; an empty slot raises script
// expect-arg naming the action being called.
AnyHandler lookup(uint32_t type, const Cell* value, int slot);
AnyHandler lookup_for_argument(int slot);  // argument 0 of the current call
inline AnyHandler lookup_by_value(const Cell* value, int slot) {
    return lookup(value->type(), value, slot);
}
// Path access: an empty slot raises bad-path-type2 (no path) or bad-path-type
// with the path cut after element `position`.
AnyHandler lookup_or_error(const Cell* value, int slot, const Cell* path, const Cell* element,
                           int position);

template <int S> inline SlotFnT<S> handler_of(const Cell* value) {
    return reinterpret_cast<SlotFnT<S>>(lookup_by_value(value, S));
}

// The index argument of pick and poke: integer! and char! their value, logic!
// true 1 and false 2, anything else 0.
int32_t index_argument();

// Whether the relation of `mode` holds. Uncomparable values are unequal; under
// an ordering mode they raise script invalid-compare.
bool compare(Cell* value1, Cell* value2, int mode);
// The raw order: negative, 0, positive, or COMPARE_UNCOMPARABLE.
int compare_direct(Cell* value1, Cell* value2, int mode);

// Append the value's text to the string! buffer; answer the budget left.
int form_direct(Cell* value, Cell* buffer, Cell* part_arg, int limit);
int mold_direct(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part_arg,
                int limit, int indent);

}  // namespace zun::actions
