#include "core/ownership.hpp"

#include "core/memory.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"

namespace zun::ownership {

namespace {
Table g_table{};

bool object_type_q(uint32_t type) {
    return type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT;
}

// Series and bitsets are watched by their buffer's node, objects by their context.
NodeId key_of(const Cell* value) { return object_type_q(value->type()) ? value->data1 : value->data2; }
}  // namespace

void install_table(const Table& table) { g_table = table; }

void set_owner(const Cell* value, const Cell* owner, const Cell* word) {
    const Cell o = *owner;
    if (g_table.record) g_table.record(value, &o, word);
    if (object_type_q(o.type())) context::cell_of(o.data1)->header |= OWNER_MARK;
}

void unset_owner(const Cell* value) {
    if (g_table.forget) g_table.forget(value);
}

bool find_owner(NodeId node, Cell* owner, Cell* word) {
    return node && g_table.find && g_table.find(node, owner, word);
}

int check_owner(const Cell* target, const Cell* action_word, const Cell* new_value,
                int32_t index, int32_t part) {
    Cell owner, word;
    if (!find_owner(key_of(target), &owner, &word) || !owner.data3) return 0;
    object::fire_on_deep_change(&owner, &word, target, action_word, new_value, index, part);
    return 1;
}

}  // namespace zun::ownership
