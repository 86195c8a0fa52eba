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

// Writes into slot 0 the logic! of compare (argument 0, argument 1, mode).
void compare_arguments(int mode);

// Append the value's text to the string! buffer; answer the budget left.
int form_direct(Cell* value, Cell* buffer, Cell* part_arg, int limit);
int mold_direct(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part_arg,
                int limit, int indent);

// Direct forms: the datatype's handler of the first value, called with the
// values themselves. A cell refinement is nullptr when absent. make and to take
// the row of the type a datatype! first argument names.
Cell* make_direct(Cell* type, Cell* spec);
Cell* to_direct(Cell* type, Cell* spec);
void random_direct(Cell* value, bool seed, bool secure, bool only);
void reflect_direct(Cell* value, uint32_t field_symbol);
Cell* eval_path_direct(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                       Cell* previous, int index, bool case_, bool get, bool last, bool notify);
void negate_direct(Cell* number);
void round_direct(Cell* n, Cell* scale, bool even, bool down, bool half_down, bool floor,
                  bool ceiling, bool half_ceiling);
bool even_q_direct(Cell* number);
bool odd_q_direct(Cell* number);
Cell* complement_direct(Cell* value);
// part: a count or -1 for all; dup: a count, 1 without /dup.
Cell* append_direct(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
Cell* insert_direct(Cell* series, Cell* value, int part, bool only, int dup, bool is_append);
Cell* change_direct(Cell* series, Cell* value, int part, bool only, int dup);
Cell* clear_direct(Cell* series);
// result: a cell outside every series buffer that receives the copy.
Cell* copy_direct(Cell* value, Cell* result, Cell* part, bool deep, Cell* types);
Cell* find_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                  bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                  bool match);
int length_q_direct(Cell* series);  // -1: none
Cell* move_direct(Cell* origin, Cell* target, Cell* part);
Cell* pick_direct(Cell* series, int index, Cell* index_cell);
Cell* poke_direct(Cell* series, int index, Cell* value, Cell* index_cell);
Cell* put_direct(Cell* series, Cell* key, Cell* value, bool case_);
Cell* remove_direct(Cell* series, Cell* part, Cell* key);
Cell* reverse_direct(Cell* series, Cell* part, Cell* skip);
Cell* select_direct(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                    bool any, Cell* with, Cell* skip, bool last, bool reverse);
Cell* sort_direct(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
                  bool reverse, bool stable);
Cell* swap_direct(Cell* series1, Cell* series2);
Cell* take_direct(Cell* series, Cell* part, bool deep, bool last);
Cell* trim_direct(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                  Cell* with);
Cell* create_direct(Cell* port);
Cell* close_direct(Cell* port);
Cell* delete_direct(Cell* file);
Cell* modify_direct(Cell* target, Cell* field, Cell* value, bool case_);
Cell* open_direct(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell* open_q_direct(Cell* port);
Cell* query_direct(Cell* target);
Cell* read_direct(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                  Cell* as);
Cell* rename_direct(Cell* from, Cell* to);
Cell* update_direct(Cell* port);
Cell* write_direct(Cell* destination, Cell* data, bool binary, bool lines, bool info,
                   bool append, Cell* part, Cell* seek, Cell* allow, Cell* as);

// Stack entries, one per slot but set-path: the arguments lie from the
// arguments base, refinements[i] is the position of refinement i's first
// argument or -1 (the action's spec order). The result goes into slot 0.
// Names that clash with C++ or the C library take a trailing underscore.
Flow make(int check, const int32_t* refinements);
Flow random_(int check, const int32_t* refinements);
Flow reflect(int check, const int32_t* refinements);
Flow to(int check, const int32_t* refinements);
Flow form(int check, const int32_t* refinements);
Flow mold(int check, const int32_t* refinements);
Flow eval_path(int check, const int32_t* refinements);
Flow compare(int check, const int32_t* refinements);  // the raw order as integer!
Flow absolute(int check, const int32_t* refinements);
Flow add(int check, const int32_t* refinements);
Flow divide(int check, const int32_t* refinements);
Flow multiply(int check, const int32_t* refinements);
Flow negate(int check, const int32_t* refinements);
Flow power(int check, const int32_t* refinements);
Flow remainder(int check, const int32_t* refinements);
Flow round_(int check, const int32_t* refinements);
Flow subtract(int check, const int32_t* refinements);
Flow even_q(int check, const int32_t* refinements);
Flow odd_q(int check, const int32_t* refinements);
Flow and_(int check, const int32_t* refinements);
Flow complement(int check, const int32_t* refinements);
Flow or_(int check, const int32_t* refinements);
Flow xor_(int check, const int32_t* refinements);
Flow append(int check, const int32_t* refinements);
Flow at(int check, const int32_t* refinements);
Flow back(int check, const int32_t* refinements);
Flow change(int check, const int32_t* refinements);
Flow clear(int check, const int32_t* refinements);
Flow copy(int check, const int32_t* refinements);
Flow find(int check, const int32_t* refinements);
Flow head(int check, const int32_t* refinements);
Flow head_q(int check, const int32_t* refinements);
Flow index_q(int check, const int32_t* refinements);
Flow insert(int check, const int32_t* refinements);
Flow length_q(int check, const int32_t* refinements);
Flow move(int check, const int32_t* refinements);
Flow next(int check, const int32_t* refinements);
Flow pick(int check, const int32_t* refinements);
Flow poke(int check, const int32_t* refinements);
Flow put(int check, const int32_t* refinements);
Flow remove_(int check, const int32_t* refinements);
Flow reverse(int check, const int32_t* refinements);
Flow select_(int check, const int32_t* refinements);
Flow sort(int check, const int32_t* refinements);
Flow skip(int check, const int32_t* refinements);
Flow swap(int check, const int32_t* refinements);
Flow tail(int check, const int32_t* refinements);
Flow tail_q(int check, const int32_t* refinements);
Flow take(int check, const int32_t* refinements);
Flow trim(int check, const int32_t* refinements);
Flow create(int check, const int32_t* refinements);
Flow close_(int check, const int32_t* refinements);
Flow delete_(int check, const int32_t* refinements);
Flow modify(int check, const int32_t* refinements);
Flow open_(int check, const int32_t* refinements);
Flow open_q(int check, const int32_t* refinements);
Flow query(int check, const int32_t* refinements);
Flow read_(int check, const int32_t* refinements);
Flow rename_(int check, const int32_t* refinements);
Flow update(int check, const int32_t* refinements);
Flow write_(int check, const int32_t* refinements);

// Does nothing; nothing calls it.
Flow no_op(int check, const int32_t* refinements);

}  // namespace zun::actions
