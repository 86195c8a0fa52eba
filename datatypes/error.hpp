// error!: an object whose fields name a category and an id of the error
// catalogue (system/catalog/errors), carry up to three arguments and record
// where the error happened.
//
// Cell: as object!'s, type id 34, class id 1, no on-set-info. Its ten fields
// come from system/standard/error. Until the catalogue exists (runtimes without
// system data, as some unit tests run), errors are interim cells: the ErrorId
// in word 1, a block of the three arguments in word 2.
#pragma once
#include <cstdint>
#include <string>

#include "core/cell.hpp"
#include "core/support.hpp"

namespace zun::error {

constexpr uint32_t CLASS_ID = 1;
enum Field : uint32_t { CODE, TYPE, ID, ARG1, ARG2, ARG3, NEAR, WHERE, STACK, FILES, FIELD_COUNT };

// Registers the type and installs the error maker and former fire_error uses.
void register_type();

// An error made from the catalogue (not an interim one).
bool real_q(const Cell* value);
// Whether the catalogue has an error of the code.
bool known_code(int32_t code);
// A field of a real error; good until the next allocation.
Cell* field(const Cell* error, Field f);
// The catalogue entry of an error; ErrorId::count_ for one the C++ table lacks.
ErrorId id_of(const Cell* error);

// Pushes a new error from a category word and an id word; absent arguments
// keep the prototype's value.
Cell* create(const Cell* category, const Cell* id, const Cell* arg1 = nullptr,
             const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);
// Stores the value in where unless where already holds something.
void set_where(const Cell* error, const Cell* value);
uint32_t get_type(const Cell* error);  // the symbol type holds, 0 when not a word
uint32_t get_id(const Cell* error);
constexpr uint32_t stack_field_index() { return STACK; }
// The frame position of a raise, kept in stack unless it holds a block already.
void set_stack_position(const Cell* error, uint32_t position);
// Turns a frame position in stack into the block of the callee words.
void record_stack(Cell* value);

// What the interpreter and the system object plug in: the code-position cell
// (copied into near), system/state/stack-trace (1 until set) and
// system/state/source-files.
void set_code_position(const Cell* cell);
using TraceLevelReader = int32_t (*)();
using SourceFilesReader = Cell (*)();
void set_trace_level_reader(TraceLevelReader reader);
void set_source_files_reader(SourceFilesReader reader);

// The report form writes (what an uncaught error prints), as UTF-8.
std::string report(const Cell* error);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);

}  // namespace zun::error
