// Ownership: series and objects held in the fields of objects with change
// handlers report their modifications to the owner.
//
// The table of who owns what plugs in through install_table; until it does,
// nothing is recorded and no series has an owner to tell.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::ownership {

constexpr uint32_t OWNER_MARK = 1u << 16;  // on an object's context! cell: it owns values

struct Table {
    // Records the value (and what it holds) as watched by the owner's field.
    void (*record)(const Cell* value, const Cell* owner, const Cell* word);
    void (*forget)(const Cell* value);
    // The owner and field word watching the series or object of this node.
    bool (*find)(NodeId node, Cell* owner, Cell* word);
};
void install_table(const Table& table);

// Records the value's tree and marks the owner's context.
void set_owner(const Cell* value, const Cell* owner, const Cell* word);
void unset_owner(const Cell* value);
bool find_owner(NodeId node, Cell* owner, Cell* word);

// Tells the owner of the target (when it has one with change handlers) about a
// modification: the action word, the new value or nullptr, the 0-based index
// and the part count. Answers 1 when the owner's handler was called. The
// handler runs user code: callers re-read their buffers afterwards.
int check_owner(const Cell* target, const Cell* action_word, const Cell* new_value,
                int32_t index, int32_t part);

}  // namespace zun::ownership
