#include "core/ownership.hpp"

#include <vector>

#include "core/collector.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "interpreter/stack.hpp"

namespace zun::ownership {

namespace {

Table g_override{};
collector::Anchor g_anchor;
NodeId g_table = 0;

bool overridden() { return g_override.record || g_override.forget || g_override.find; }
bool usable() { return g_table && g_anchor.current(); }

bool object_type_q(uint32_t type) {
    return type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT;
}

bool block_like_q(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || type == TYPE_HASH || type == TYPE_PATH ||
           type == TYPE_LIT_PATH || type == TYPE_SET_PATH || type == TYPE_GET_PATH;
}

bool watched_series_q(uint32_t type) {
    switch (type) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
    case TYPE_BINARY: case TYPE_VECTOR: case TYPE_IMAGE: case TYPE_BITSET:
        return true;
    default:
        return block_like_q(type);
    }
}

// Series and bitsets are watched by their buffer's node, objects by their context.
NodeId key_of(const Cell* value) { return object_type_q(value->type()) ? value->data1 : value->data2; }

bool live_node_q(NodeId node) { return node && !memory::node_free(node) && memory::buffer_of(node); }

memory::SeriesBuffer* buffer(NodeId node) { return memory::buffer_of(node); }

using CycleGuard = cycles::Guard;

// Keeps copies of the cells on the value stack while the walk allocates.
class Held {
public:
    Held(const Cell* value, const Cell* owner, const Cell* word) {
        if (!stack::initialised()) {
            m_cells = m_spare;
            m_spare[0] = *value, m_spare[1] = *owner, m_spare[2] = *word;
            return;
        }
        m_top = stack::g_top;
        const Cell copies[3] = {*value, *owner, *word};
        m_cells = stack::push(&copies[0]);
        stack::push(&copies[1]);
        stack::push(&copies[2]);
    }
    ~Held() {
        if (m_top) stack::g_top = m_top;
    }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    const Cell* value() const { return m_cells; }
    const Cell* owner() const { return m_cells + 1; }
    const Cell* word() const { return m_cells + 2; }

private:
    Cell* m_top = nullptr;
    Cell* m_cells = nullptr;
    Cell m_spare[3];
};

// The entry of the node: value, owner, word. put_node allocates, so the cells
// are copied first.
void put_entry(NodeId node, const Cell* value, const Cell* owner, const Cell* word) {
    const Cell v = *value, o = *owner, w = *word;
    Cell* cells = hashtable::put_node(g_table, node);
    cells[0] = v;
    cells[1] = o;
    cells[2] = w;
}

void drop_entry(NodeId node) {
    Cell* cells = hashtable::get_node(g_table, node);
    if (!cells) return;
    for (int i = 0; i < 3; i++) cells[i] = Cell{TYPE_UNSET, 0, 0, 0};
    hashtable::remove_node(g_table, node);
}

uint32_t field_count(NodeId context) { return context::word_count(context); }
Cell field_value(NodeId context, uint32_t i) {
    return memory::buffer_of(context::cell_of(context)->data2)->head_cell()[i];
}
Cell field_word(NodeId context, uint32_t i) {
    return memory::buffer_of(context::word_block(context))->head_cell()[i];
}

// The walks read every cell again after each allocation: the values they
// reach stay reachable from the held top value, but their buffers move.
void record_tree(const Cell* value, const Cell* owner, const Cell* word) {
    uint32_t type = value->type();
    if (watched_series_q(type)) {
        NodeId node = value->data2;
        if (!live_node_q(node)) return;
        if (type == TYPE_IMAGE) {
            if (!hashtable::get_node(g_table, node)) put_entry(node, value, owner, word);
        } else if (!(buffer(node)->flags & memory::OWNED_FLAG)) {
            buffer(node)->flags |= memory::OWNED_FLAG;
            put_entry(node, value, owner, word);
        }
        if (!block_like_q(type) || cycles::find(node)) return;
        CycleGuard guard(node);
        for (int32_t i = int32_t(value->data1); i < int32_t(buffer(node)->used() / sizeof(Cell)); i++) {
            const Cell item = buffer(node)->head_cell()[i];
            record_tree(&item, owner, word);
        }
    } else if (type == TYPE_OBJECT) {
        NodeId context = value->data1;
        if (!live_node_q(context) || (context::cell_of(context)->header & OWNER_MARK)) return;
        if (cycles::find(context)) return;
        CycleGuard guard(context);
        for (uint32_t i = 0; i < field_count(context); i++) {
            const Cell item = field_value(context, i);
            if (item.is(TYPE_OBJECT) && item.data1 == owner->data1) continue;
            const Cell w = field_word(context, i);
            record_tree(&item, owner, &w);
        }
    }
}

void forget_tree(const Cell* value) {
    uint32_t type = value->type();
    if (watched_series_q(type)) {
        NodeId node = value->data2;
        if (!live_node_q(node)) return;
        buffer(node)->flags &= ~memory::OWNED_FLAG;
        drop_entry(node);
        // A block that holds itself: the walk ends where it began.
        if (!block_like_q(type) || cycles::find(node)) return;
        CycleGuard guard(node);
        for (int32_t i = int32_t(value->data1); i < int32_t(buffer(node)->used() / sizeof(Cell)); i++) {
            const Cell item = buffer(node)->head_cell()[i];
            forget_tree(&item);
        }
    } else if (type == TYPE_OBJECT) {
        NodeId context = value->data1;
        if (!live_node_q(context) || cycles::find(context)) return;
        if (context::cell_of(context)->header & OWNER_MARK) return;
        CycleGuard guard(context);
        for (uint32_t i = 0; i < field_count(context); i++) {
            const Cell item = field_value(context, i);
            forget_tree(&item);
        }
    }
}

// The bucket's entry (its key cell) when the bucket is in use, else nullptr.
Cell* entry_in(const hashtable::Table& t, uint32_t bucket) {
    const auto* flags = reinterpret_cast<const uint32_t*>(buffer(t.flags)->head_ptr());
    if ((flags[bucket >> 4] >> ((bucket & 15) << 1)) & 3) return nullptr;
    const auto* buckets = reinterpret_cast<const int32_t*>(buffer(t.buckets)->head_ptr());
    return reinterpret_cast<Cell*>(buffer(t.block)->head_ptr() + buckets[bucket]);
}

// An entry lives on while its series and its owner were reached.
bool entry_live_q(const Cell* key) {
    if (!collector::marked_q(key->data1)) return false;
    const Cell* owner = key + 2;
    return !object_type_q(owner->type()) || collector::marked_q(owner->data1);
}

}  // namespace

void init() {
    g_anchor.make();
    g_table = 0;
    g_table = hashtable::make(TABLE_ENTRIES, 0, hashtable::KIND_NODES_2, 3);
}

NodeId table() { return usable() ? g_table : 0; }

void install_table(const Table& table) { g_override = table; }

void set_owner_tree(const Cell* value, const Cell* owner, const Cell* word) {
    Held held(value, owner, word);
    if (overridden()) {
        if (g_override.record) g_override.record(held.value(), held.owner(), held.word());
        return;
    }
    if (usable()) record_tree(held.value(), held.owner(), held.word());
}

void set_owner(const Cell* value, const Cell* owner, const Cell* word) {
    const Cell o = *owner;
    set_owner_tree(value, owner, word);
    if (object_type_q(o.type()) && live_node_q(o.data1)) context::cell_of(o.data1)->header |= OWNER_MARK;
}

void unset_owner(const Cell* value) {
    if (overridden()) {
        if (g_override.forget) g_override.forget(value);
        return;
    }
    if (usable()) forget_tree(value);
}

void unset_owner_range(const Cell* block, int32_t index, int32_t count) {
    NodeId node = block->data2;
    if (!live_node_q(node) || index < 0) return;
    for (int32_t i = index; i < index + count; i++) {
        if (i >= int32_t(buffer(node)->used() / sizeof(Cell))) break;
        const Cell item = buffer(node)->head_cell()[i];
        unset_owner(&item);
    }
}

bool find_owner(NodeId node, Cell* owner, Cell* word) {
    if (!node) return false;
    if (overridden()) return g_override.find && g_override.find(node, owner, word);
    if (!usable()) return false;
    const Cell* cells = hashtable::get_node(g_table, node);
    if (!cells) return false;
    *owner = cells[1];
    *word = cells[2];
    return true;
}

int check_owner(const Cell* target, const Cell* action_word, const Cell* new_value,
                int32_t index, int32_t part) {
    NodeId key = key_of(target);
    if (!live_node_q(key)) return 0;
    // Most series are watched by nobody: their buffer says so, checked first.
    const uint32_t type = target->type();
    if (!(buffer(key)->flags & memory::OWNED_FLAG) && !object_type_q(type) && type != TYPE_IMAGE &&
        !overridden())
        return 0;
    Cell owner, word;
    if (!find_owner(key, &owner, &word)) return 0;
    // The object's own cell in its context record follows later handler changes.
    if (object_type_q(owner.type()) && live_node_q(owner.data1)) {
        const Cell* current = context::owner_of(owner.data1);
        if (current->type() == owner.type() && current->data1 == owner.data1) owner = *current;
    }
    if (!owner.data3) return 0;
    object::fire_on_deep_change(&owner, &word, target, action_word, new_value, index, part);
    return 1;
}

void mark_for_collector() {
    if (!usable() || !collector::mark_series(g_table)) return;
    const hashtable::Table t = *hashtable::table_of(g_table);
    collector::mark_series(t.flags);
    collector::mark_series(t.buckets);
    collector::mark_series(t.block);  // the entries' cells wait for the sweep
}

uint32_t sweep_for_collector() {
    if (!usable()) return 0;
    const hashtable::Table t = *hashtable::table_of(g_table);
    if (!t.flags || !t.buckets || !t.block) return 0;
    // What a kept entry holds may reach the series or owner of another.
    std::vector<uint8_t> kept(t.n, 0);
    for (bool grew = true; grew;) {
        grew = false;
        for (uint32_t i = 0; i < t.n; i++) {
            if (kept[i]) continue;
            const Cell* key = entry_in(t, i);
            if (!key || !entry_live_q(key)) continue;
            kept[i] = 1;
            grew = true;
            collector::mark_cells(key + 1, key + 4);
        }
    }
    uint32_t dropped = 0;
    for (uint32_t i = 0; i < t.n; i++) {
        const Cell* key = entry_in(t, i);
        if (!key || kept[i]) continue;
        NodeId node = key->data1;
        if (live_node_q(node)) buffer(node)->flags &= ~memory::OWNED_FLAG;
        drop_entry(node);
        dropped++;
    }
    return dropped;
}

}  // namespace zun::ownership
