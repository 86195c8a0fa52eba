// port!: an object that forwards its actions to its scheme's actor.
//
// Cell: an object! cell with type id 48. Its context is a copy of
// system/standard/port: spec, scheme, actor, awake, state, data, extra. The
// actor is an object! of functions, one per action, or a handle! naming a
// native actor: a table of typed handlers that the dispatcher serves slots
// 25-62 from directly.
//
// Every forwarding call runs user code (the actor's function), which may
// allocate and move every buffer: cells are copied before it runs.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/registry.hpp"
#include "interpreter/stack.hpp"

namespace zun::port {

void register_type();

// Where make finds a scheme by its word: a block of names and scheme objects
// as system/schemes holds them (an object with a field per scheme also
// serves), or nullptr when there is none. The default reads system/schemes
// through the global word system; nullptr restores it.
using SchemesProvider = const Cell* (*)();
void set_schemes_provider(SchemesProvider provider);

// Native actors: tables of handlers for slots 25-62 (slot s at s - 25, with
// each slot's typed signature; nullptr: the action is not supported). A
// handle! of kind 0 whose value is the id that registering answers stands for
// the table. Tables must live for the whole run.
constexpr int NATIVE_ACTOR_SLOTS = ACTION_COUNT - A_APPEND + 1;
uint32_t register_native_actor(const AnyHandler* table);
Cell native_actor_handle(uint32_t id);
// The table that serves the port, or nullptr when its actor is not native.
const AnyHandler* native_actor_table(const Cell* port);

// The port's actor object; anything else raises access invalid-port.
Cell get_actor(const Cell* port);

// Calls the actor's function for action `slot` with the given arguments
// (copied before anything runs) in a function frame. The result lies in the
// pushed cell *result. A status that leaves the function is answered.
Flow call_actor(const Cell* port, int slot, const Cell* args, int count, Cell** result);

// The stack entry of actions 25-62 for a port whose actor is not native: the
// action's own arguments in spec order (each refinement a logic! flag and its
// argument or none) go to the actor; read and write are composed of open,
// copy or insert, and close. The result goes to slot 0.
Flow forward_action(int slot, const int32_t* refinements);

// The composed actions. Their result is pushed.
Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as);

Cell* make(Cell* proto, Cell* spec, int type);
Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);

}  // namespace zun::port
