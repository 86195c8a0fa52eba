// Datatype registry: per type a name and 62 action slots. Each slot has one C++
// signature, fixed here and used by every datatype; a handler of the wrong
// shape does not compile. Slot tables are arrays of exactly 62 entries, so a
// wrong count is a compile error too.
#pragma once
#include <array>
#include <cstdint>

#include "core/cell.hpp"

namespace zun {

enum ActionSlot : int {
    A_MAKE = 1, A_RANDOM, A_REFLECT, A_TO, A_FORM, A_MOLD, A_EVAL_PATH, A_SET_PATH,
    A_COMPARE, A_ABSOLUTE, A_ADD, A_DIVIDE, A_MULTIPLY, A_NEGATE, A_POWER, A_REMAINDER,
    A_ROUND, A_SUBTRACT, A_EVEN_Q, A_ODD_Q, A_AND, A_COMPLEMENT, A_OR, A_XOR, A_APPEND,
    A_AT, A_BACK, A_CHANGE, A_CLEAR, A_COPY, A_FIND, A_HEAD, A_HEAD_Q, A_INDEX_Q,
    A_INSERT, A_LENGTH_Q, A_MOVE, A_NEXT, A_PICK, A_POKE, A_PUT, A_REMOVE, A_REVERSE,
    A_SELECT, A_SORT, A_SKIP, A_SWAP, A_TAIL, A_TAIL_Q, A_TAKE, A_TRIM, A_CREATE,
    A_CLOSE, A_DELETE, A_MODIFY, A_OPEN, A_OPEN_Q, A_QUERY, A_READ, A_RENAME, A_UPDATE,
    A_WRITE
};
constexpr int ACTION_COUNT = 62;
static_assert(A_WRITE == ACTION_COUNT);

// Comparison operation codes of the compare slot.
enum CompareOp : int {
    COMP_EQUAL = 0, COMP_NOT_EQUAL, COMP_STRICT_EQUAL, COMP_LESSER, COMP_LESSER_EQUAL,
    COMP_GREATER, COMP_GREATER_EQUAL, COMP_SORT, COMP_CASE_SORT, COMP_SAME,
    COMP_STRICT_LIT, COMP_LOOSE_LIT, COMP_FIND
};
constexpr int COMPARE_UNCOMPARABLE = -2;

// One signature per slot. Refinements come as a flag, a cell pointer (nullptr
// when absent) or a number, as the action's direct form passes them.
// Handlers marked "stack" take their arguments from the arguments base.
template <int S> struct SlotFn;
#define ZUN_SLOT(S, ...) template <> struct SlotFn<S> { using type = __VA_ARGS__; }
// make, to: prototype or type cell, spec, type id -> result cell
ZUN_SLOT(A_MAKE, Cell* (*)(Cell* proto, Cell* spec, int type));
ZUN_SLOT(A_RANDOM, void (*)(Cell* value, bool seed, bool secure, bool only));
ZUN_SLOT(A_REFLECT, void (*)(Cell* value, uint32_t field_symbol));
ZUN_SLOT(A_TO, Cell* (*)(Cell* proto, Cell* spec, int type));
// form, mold: append to the string buffer; answer the part limit less what was added
ZUN_SLOT(A_FORM, int (*)(Cell* value, Cell* buffer, Cell* arg, int part));
ZUN_SLOT(A_MOLD, int (*)(Cell* value, Cell* buffer, bool only, bool all, bool flat,
                         Cell* arg, int part, int indent));
ZUN_SLOT(A_EVAL_PATH, Cell* (*)(Cell* parent, Cell* element, Cell* value, Cell* path,
                                Cell* grandparent, Cell* previous, int index, bool case_,
                                bool get, bool last, bool notify));
ZUN_SLOT(A_SET_PATH, void (*)());
ZUN_SLOT(A_COMPARE, int (*)(Cell* value1, Cell* value2, int op));
ZUN_SLOT(A_ABSOLUTE, void (*)());  // stack
ZUN_SLOT(A_ADD, void (*)());       // stack
ZUN_SLOT(A_DIVIDE, void (*)());    // stack
ZUN_SLOT(A_MULTIPLY, void (*)());  // stack
ZUN_SLOT(A_NEGATE, void (*)(Cell* number));
ZUN_SLOT(A_POWER, void (*)());      // stack
ZUN_SLOT(A_REMAINDER, void (*)());  // stack
ZUN_SLOT(A_ROUND, void (*)(Cell* n, Cell* scale, bool even, bool down, bool half_down,
                           bool floor, bool ceiling, bool half_ceiling));
ZUN_SLOT(A_SUBTRACT, void (*)());  // stack
ZUN_SLOT(A_EVEN_Q, bool (*)(Cell* number));
ZUN_SLOT(A_ODD_Q, bool (*)(Cell* number));
ZUN_SLOT(A_AND, void (*)());  // stack
ZUN_SLOT(A_COMPLEMENT, Cell* (*)(Cell* value));
ZUN_SLOT(A_OR, void (*)());   // stack
ZUN_SLOT(A_XOR, void (*)());  // stack
// append, insert: part and dup counts (-1 all / 1), is_append 1 for append
ZUN_SLOT(A_APPEND, Cell* (*)(Cell* series, Cell* value, int part, bool only, int dup,
                             bool is_append));
ZUN_SLOT(A_AT, void (*)());    // stack
ZUN_SLOT(A_BACK, void (*)());  // stack
ZUN_SLOT(A_CHANGE, Cell* (*)(Cell* series, Cell* value, int part, bool only, int dup));
ZUN_SLOT(A_CLEAR, Cell* (*)(Cell* series));
ZUN_SLOT(A_COPY, Cell* (*)(Cell* value, Cell* result, Cell* part, bool deep, Cell* types));
ZUN_SLOT(A_FIND, Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_,
                           bool same, bool any, Cell* with, Cell* skip, bool last,
                           bool reverse, bool tail, bool match));
ZUN_SLOT(A_HEAD, void (*)());     // stack
ZUN_SLOT(A_HEAD_Q, void (*)());   // stack
ZUN_SLOT(A_INDEX_Q, void (*)());  // stack
ZUN_SLOT(A_INSERT, Cell* (*)(Cell* series, Cell* value, int part, bool only, int dup,
                             bool is_append));
ZUN_SLOT(A_LENGTH_Q, int (*)(Cell* series));  // -1 answers none
ZUN_SLOT(A_MOVE, Cell* (*)(Cell* origin, Cell* target, Cell* part));
ZUN_SLOT(A_NEXT, void (*)());  // stack
ZUN_SLOT(A_PICK, Cell* (*)(Cell* series, int index, Cell* index_cell));
ZUN_SLOT(A_POKE, Cell* (*)(Cell* series, int index, Cell* value, Cell* index_cell));
ZUN_SLOT(A_PUT, Cell* (*)(Cell* series, Cell* key, Cell* value, bool case_));
ZUN_SLOT(A_REMOVE, Cell* (*)(Cell* series, Cell* part, Cell* key));
ZUN_SLOT(A_REVERSE, Cell* (*)(Cell* series, Cell* part, Cell* skip));
ZUN_SLOT(A_SELECT, Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_,
                             bool same, bool any, Cell* with, Cell* skip, bool last,
                             bool reverse));
ZUN_SLOT(A_SORT, Cell* (*)(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part,
                           bool all, bool reverse, bool stable));
ZUN_SLOT(A_SKIP, void (*)());  // stack
ZUN_SLOT(A_SWAP, Cell* (*)(Cell* series1, Cell* series2));
ZUN_SLOT(A_TAIL, void (*)());    // stack
ZUN_SLOT(A_TAIL_Q, void (*)());  // stack
ZUN_SLOT(A_TAKE, Cell* (*)(Cell* series, Cell* part, bool deep, bool last));
ZUN_SLOT(A_TRIM, Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines,
                           bool all, Cell* with));
ZUN_SLOT(A_CREATE, Cell* (*)(Cell* port));
ZUN_SLOT(A_CLOSE, Cell* (*)(Cell* port));
ZUN_SLOT(A_DELETE, Cell* (*)(Cell* file));
ZUN_SLOT(A_MODIFY, Cell* (*)(Cell* target, Cell* field, Cell* value, bool case_));
ZUN_SLOT(A_OPEN, Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek,
                           Cell* allow));
ZUN_SLOT(A_OPEN_Q, Cell* (*)(Cell* port));
ZUN_SLOT(A_QUERY, Cell* (*)(Cell* target));
ZUN_SLOT(A_READ, Cell* (*)(Cell* source, Cell* part, Cell* seek, bool binary, bool lines,
                           bool info, Cell* as));
ZUN_SLOT(A_RENAME, Cell* (*)(Cell* from, Cell* to));
ZUN_SLOT(A_UPDATE, Cell* (*)(Cell* port));
ZUN_SLOT(A_WRITE, Cell* (*)(Cell* destination, Cell* data, bool binary, bool lines,
                            bool info, bool append, Cell* part, Cell* seek, Cell* allow,
                            Cell* as));
#undef ZUN_SLOT
template <int S> using SlotFnT = typename SlotFn<S>::type;

using AnyHandler = void (*)();

// One entry of a slot table: empty (0), inherited from the parent (-1) or own.
struct SlotEntry {
    enum Kind : uint8_t { EMPTY, INHERIT, OWN } kind = EMPTY;
    AnyHandler fn = nullptr;
    int slot = 0;  // checked against the position at registration
};

// own<A_FORM>(&logic::form) only compiles when the handler has the slot's shape.
template <int S> inline SlotEntry own(SlotFnT<S> fn) {
    return SlotEntry{SlotEntry::OWN, reinterpret_cast<AnyHandler>(fn), S};
}
template <int S> inline SlotEntry inherit() { return SlotEntry{SlotEntry::INHERIT, nullptr, S}; }
template <int S> inline SlotEntry empty() { return SlotEntry{SlotEntry::EMPTY, nullptr, S}; }

// A handler whose code comes later: raises internal not-done.
[[noreturn]] void not_done_raise();
template <typename F> struct NotDone;
template <typename R, typename... A> struct NotDone<R (*)(A...)> {
    static R call(A...) { not_done_raise(); }
};
template <int S> inline SlotEntry todo() { return own<S>(&NotDone<SlotFnT<S>>::call); }

using SlotTable = std::array<SlotEntry, ACTION_COUNT>;

// An empty slot in a table written out in slot order.
inline constexpr SlotEntry E{};

// A slot table, one entry per action slot in slot order; any other count fails
// to compile. Own and inherited entries also carry their slot number, checked
// against their position when the type registers.
template <typename... Entries> inline SlotTable make_slots(Entries... entries) {
    static_assert(sizeof...(Entries) == ACTION_COUNT,
                  "a datatype registers exactly 62 action entries");
    return SlotTable{entries...};
}

namespace registry {
constexpr int TYPE_TABLE_SIZE = 57;  // ids 0..56
constexpr int ROW = 256;

struct NameEntry {
    const char* name = nullptr;  // "integer!"
    uint32_t length = 0;         // without the "!"
    Cell* word = nullptr;        // word! of the name, once symbols exist
};

extern AnyHandler g_action_table[TYPE_TABLE_SIZE * ROW];
extern NameEntry g_name_table[TYPE_TABLE_SIZE];
extern uint32_t g_top_type_id;

// Registers one type: slot tables hold exactly 62 entries by construction.
void register_type(uint32_t type, uint32_t parent, const char* name, const SlotTable& slots);
// Every datatype of the runtime, in registration order.
void register_all();
bool type_registered(uint32_t type);

template <int S> inline SlotFnT<S> handler(uint32_t type) {
    return reinterpret_cast<SlotFnT<S>>(g_action_table[type * ROW + S - 1]);
}
inline AnyHandler entry(uint32_t type, int slot) { return g_action_table[type * ROW + slot - 1]; }
inline const char* type_name(uint32_t type) { return g_name_table[type].name; }

// How each slot of a registered type was given (own, inherited or empty);
// nullptr for a type that has not registered.
const SlotEntry::Kind* slot_kinds(uint32_t type);

// Words of the type names: registrations run before symbols exist, so start-up
// calls this once words can be made; a type registering after it gets its word
// at once.
using NameWordMaker = Cell* (*)(const char* name);
void make_name_words(NameWordMaker make);
}  // namespace registry

// datatype!: a value naming a type (type id in word 1).
namespace datatype {
void register_type();
Cell* push(uint32_t type);
// The new cell is good until the next allocation.
Cell* append_to_block(const Cell* block, uint32_t type);
inline Cell* init_cell(Cell* cell, uint32_t type) {
    *cell = make_cell(TYPE_DATATYPE, type);
    return cell;
}
}  // namespace datatype

}  // namespace zun
