// Ownership: series and objects held in the fields of objects with change
// handlers report their modifications to the owner.
//
// The ownership table maps the node of a watched series to three cells: the
// watched value, the owner object and the owner's field word. The table does
// not keep what it names alive: after marking, the collector drops the entries
// whose series or owner nothing else reaches.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::ownership {

constexpr uint32_t OWNER_MARK = 1u << 16;        // on an object's context! cell: it owns values
constexpr uint32_t IMAGE_OWNED_MARK = 1u << 16;  // on an image! cell: it is watched
constexpr uint32_t TABLE_ENTRIES = 1000;

// Makes the table on the current memory manager (after the native table).
void init();
// The table's node; 0 when none was made on the current memory manager.
NodeId table();

// Records the value's tree as watched by the owner's field, then marks the
// owner's context as an owner. The cells may lie anywhere: they are copied
// before anything allocates.
void set_owner(const Cell* value, const Cell* owner, const Cell* word);
void set_owner_tree(const Cell* value, const Cell* owner, const Cell* word);
// Forgets the value and, for blocks and objects, what they hold.
void unset_owner(const Cell* value);
// The same for count cells of a block from cell index (counted from the
// buffer's first cell, as block positions are).
void unset_owner_range(const Cell* block, int32_t index, int32_t count);
// The owner and field word watching the series of this node.
bool find_owner(NodeId node, Cell* owner, Cell* word);

// Tells the owner of the target (when it has one with change handlers) about a
// modification: the action word, the new value or nullptr, the 0-based index
// and the part count. Answers 1 when the owner's handler was called. The
// handler runs user code: callers re-read their buffers afterwards.
int check_owner(const Cell* target, const Cell* action_word, const Cell* new_value,
                int32_t index, int32_t part);

// A stand-in for the table (tests of the change handlers); an empty one puts
// the built-in table back.
struct Table {
    void (*record)(const Cell* value, const Cell* owner, const Cell* word);
    void (*forget)(const Cell* value);
    bool (*find)(NodeId node, Cell* owner, Cell* word);
};
void install_table(const Table& table);

// The collector's part: the table's own buffers while roots are marked; then,
// once everything else is marked, the entries whose series and owner were
// reached are kept (and what they hold marked), the others dropped. Answers
// the number dropped.
void mark_for_collector();
uint32_t sweep_for_collector();

}  // namespace zun::ownership
