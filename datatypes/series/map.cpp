#include "datatypes/series/map.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::map {

namespace {

using stack::StackScope;

// Cells of a node: good until the next allocation.
inline Cell* entries(NodeId node) { return memory::buffer_of(node)->head_cell(); }
inline int32_t cell_count(NodeId node) { return int32_t(memory::buffer_of(node)->used() >> 4); }

bool word_key_q(uint32_t type) {
    return type == TYPE_WORD || type == TYPE_SET_WORD || type == TYPE_LIT_WORD ||
           type == TYPE_GET_WORD;
}

bool series_key_q(uint32_t type) {
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_BINARY: case TYPE_TAG:
        case TYPE_EMAIL: case TYPE_REF:
            return true;
        default:
            return false;
    }
}

int lookup_op(bool case_, bool same) {
    return same ? COMP_SAME : case_ ? COMP_STRICT_EQUAL : COMP_EQUAL;
}

// The key's position in the map's block, or -1 (removed entries included).
int32_t lookup(const Cell* map, const Cell* key, int op) {
    const Cell k = *key;
    Cell* hit = hashtable::find(map->data3, &k, 0, 1, op, false, false);
    if (!hit) return -1;
    return int32_t(hit - entries(map->data2));
}

bool live_at(NodeId node, int32_t pos) {
    return pos >= 0 && pos + 1 < cell_count(node) && entries(node)[pos + 1].header != 0;
}

// The first live entry at or after pos, or -1.
int32_t next_live(NodeId node, int32_t pos) {
    for (; pos + 1 < cell_count(node); pos += 2)
        if (entries(node)[pos + 1].header != 0) return pos;
    return -1;
}

Cell datatype_of(uint32_t type) { return make_cell(TYPE_DATATYPE, type); }

// Sets a key (adding or reviving its entry); answers nothing.
void set_key(const Cell* map, const Cell* key, const Cell* value, const Cell* path, bool case_) {
    const Cell m = *map, k = *key;
    Cell v = *value;
    v.header &= ~NEW_LINE_FLAG;
    StackScope scope;
    Cell* map_slot = stack::push(&m);
    Cell* key_slot = stack::push(&k);
    Cell* value_slot = stack::push(&v);
    int32_t pos = lookup(map_slot, key_slot, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
    if (pos >= 0) {
        Cell* cell = entries(m.data2) + pos + 1;
        if (cell->header == 0) hashtable::table_of(m.data3)->size++;
        *cell = v;
        return;
    }
    prepare_key_for(key_slot, path ? path : map_slot);
    support::reserve_bytes(m.data2, 32);
    int32_t at = cell_count(m.data2) - 2;
    entries(m.data2)[at] = *key_slot;
    entries(m.data2)[at + 1] = *value_slot;
    hashtable::put(m.data3, entries(m.data2) + at);
}

Cell none_result(Cell* series) {
    *series = make_cell(TYPE_NONE);
    return *series;
}

int append_ascii(Cell* buffer, const char* text) {
    string::append_c_string(buffer, text);
    return int(std::strlen(text));
}

// The entries of a map: key, space, value per live entry. indent: each pair on
// its own line, indented to the level, a line feed after each; otherwise the
// separator (a line feed, or a space with flat) goes between pairs.
int mold_entries(const Cell* map, Cell* buffer, bool only, bool all, bool flat, Cell* arg,
                 int part, bool indent, int level, bool opening_line_feed) {
    const Cell m = *map;
    if (count(&m) == 0) return part;
    bool indenting = indent && !flat && !only;
    const char* separator = flat ? " " : "\n";
    if (!flat && opening_line_feed && !only) part -= append_ascii(buffer, "\n");
    cycles::Guard walking(m.data2);
    for (int32_t pos = next_live(m.data2, 0); pos >= 0; pos = next_live(m.data2, pos + 2)) {
        if (arg && part < 1) break;
        if (indenting) part = support::mold_indent(buffer, level, part);
        Cell key = entries(m.data2)[pos];
        key.header &= ~NEW_LINE_FLAG;
        part = actions::mold_direct(&key, buffer, false, all, flat, arg, part, level);
        part -= append_ascii(buffer, " ");
        Cell value = entries(m.data2)[pos + 1];
        part = actions::mold_direct(&value, buffer, false, all, flat, arg, part, level);
        if (indenting || next_live(m.data2, pos + 2) >= 0) part -= append_ascii(buffer, separator);
    }
    return part;
}

bool equality_code_q(int op) {
    return op == COMP_EQUAL || op == COMP_NOT_EQUAL || op == COMP_STRICT_EQUAL ||
           op == COMP_SAME || op == COMP_FIND;
}

// Equal (0) or not (1) as the entries of map 1 are found in map 2.
int compare_entries(const Cell* m1, const Cell* m2, int op) {
    cycles::Guard walking1(m1->data2);
    cycles::Guard walking2(m2->data2);
    for (int32_t pos = next_live(m1->data2, 0); pos >= 0; pos = next_live(m1->data2, pos + 2)) {
        Cell key = entries(m1->data2)[pos];
        if (op == COMP_STRICT_EQUAL) {
            int32_t at = lookup(m2, &key, COMP_STRICT_EQUAL);
            if (!live_at(m2->data2, at)) return 1;
            Cell a = entries(m1->data2)[pos + 1], b = entries(m2->data2)[at + 1];
            if (actions::compare_direct(&a, &b, COMP_STRICT_EQUAL) != 0) return 1;
            continue;
        }
        // Every key of map 2 that matches without case; positions first, as
        // comparing values may walk other tables.
        std::vector<int32_t> candidates;
        Cell* hit = hashtable::find(m2->data3, &key, 0, 1, COMP_EQUAL, false, false);
        while (hit) {
            candidates.push_back(int32_t(hit - entries(m2->data2)));
            hit = hashtable::find_next(m2->data3, &key, COMP_EQUAL);
        }
        bool matched = false;
        for (int32_t at : candidates) {
            if (!live_at(m2->data2, at)) continue;
            Cell a = entries(m1->data2)[pos + 1], b = entries(m2->data2)[at + 1];
            if (actions::compare_direct(&a, &b, COMP_EQUAL) == 0) {
                matched = true;
                break;
            }
        }
        if (!matched) return 1;
    }
    return 0;
}

Cell* make_from_block(const Cell* spec) {
    const Cell s = *spec;
    int32_t n = block::length_from_head(&s);
    if (n % 2) support::fire_error(ErrorId::script_invalid_arg, &s);
    // Keys are checked before the table indexes them.
    int32_t head = std::max(block::head_index(&s), 0);
    for (int32_t i = 0; i < n; i += 2) {
        uint32_t type = entries(s.data2)[head + i].type();
        if (valid_key_type_q(type)) continue;
        Cell datatype = datatype_of(type);
        support::fire_error(ErrorId::script_invalid_path, &shared_none_cell, &datatype);
    }
    Cell* made = block::clone(&s, false, false);
    return make_at(made, made, 0);
}

Cell* make_spec(Cell* spec, bool from_to) {
    switch (spec->type()) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH:
            return make_from_block(spec);
        case TYPE_INTEGER: case TYPE_FLOAT: {
            Cell datatype = datatype_of(TYPE_MAP);
            if (from_to) support::fire_error(ErrorId::script_bad_to_arg, &datatype, spec);
            int32_t n = support::to_int_checked(spec);
            if (n < 0) support::fire_error(ErrorId::script_out_of_range, spec);
            Cell* made = stack::push_cell();
            *made = make_cell(TYPE_NONE);
            return make_at(made, nullptr, int32_t(std::min<int64_t>(int64_t(n) * 2, 0x0FFFFFFF)));
        }
        case TYPE_MAP: {
            Cell* made = stack::push_cell();
            *made = make_cell(TYPE_NONE);
            return copy(spec, made, nullptr, false, nullptr);
        }
        default: {
            Cell datatype = datatype_of(TYPE_MAP);
            support::fire_error(ErrorId::script_bad_to_arg, &datatype, spec);
        }
    }
}

}  // namespace

// ---------------------------------------------------------------- routines

int32_t count(const Cell* map) { return int32_t(hashtable::table_of(map->data3)->size); }

bool valid_key_type_q(uint32_t type) {
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_BINARY: case TYPE_TAG:
        case TYPE_EMAIL: case TYPE_REF: case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD:
        case TYPE_GET_WORD: case TYPE_CHAR: case TYPE_INTEGER: case TYPE_FLOAT:
        case TYPE_REFINEMENT: case TYPE_ISSUE: case TYPE_PAIR: case TYPE_PERCENT: case TYPE_TUPLE:
        case TYPE_TIME: case TYPE_DATE: case TYPE_MONEY: case TYPE_POINT2D: case TYPE_POINT3D:
            return true;
        default:
            return false;
    }
}

void prepare_key(Cell* key) { prepare_key_for(key, nullptr); }

void prepare_key_for(Cell* key, const Cell* path) {
    uint32_t type = key->type();
    if (!valid_key_type_q(type)) {
        Cell datatype = datatype_of(type);
        support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell,
                            &datatype);
    }
    key->header &= ~NEW_LINE_FLAG;
    if (word_key_q(type)) {
        key->set_type(TYPE_SET_WORD);
    } else if (series_key_q(type)) {
        StackScope scope;
        Cell* copied = stack::push_cell();
        *copied = make_cell(TYPE_NONE);
        actions::copy_direct(key, copied, nullptr, false, nullptr);
        *key = *copied;
        key->header &= ~NEW_LINE_FLAG;
    }
}

Cell* make_at(Cell* cell, const Cell* blk, int32_t n) {
    uint32_t line = cell->header & NEW_LINE_FLAG;  // a loaded map keeps its place on a line
    NodeId node;
    if (blk && block::any_block_q(blk->type())) {
        node = blk->data2;
        Cell* cells = entries(node);
        for (int32_t i = 0; i < cell_count(node); i++) cells[i].header &= ~NEW_LINE_FLAG;
    } else {
        node = memory::alloc_cells(uint32_t(std::max(n, 2)));
    }
    *cell = make_cell(TYPE_BLOCK, 0, node, 0);  // reachable while the table is made
    NodeId table = hashtable::make(uint32_t(std::max(cell_count(node), n) / 2 + 1), node,
                                   hashtable::KIND_MAP, 0);
    *cell = make_cell(TYPE_MAP | line, 0, node, table);
    return cell;
}

Cell* extend(Cell* map, const Cell* blk, bool case_) {
    const Cell m = *map, b = *blk;
    int32_t n = block::length_from_head(&b);
    if (n % 2) support::fire_error(ErrorId::script_invalid_arg, &b);
    StackScope scope;
    Cell* map_slot = stack::push(&m);
    stack::push(&b);
    int32_t head = std::max(block::head_index(&b), 0);
    for (int32_t i = 0; i < n; i += 2) {
        Cell key = entries(b.data2)[head + i], value = entries(b.data2)[head + i + 1];
        set_key(map_slot, &key, &value, map_slot, case_);
    }
    return map;
}

Cell* extend_cells(Cell* map, const Cell* cells, int32_t n, bool case_) {
    for (int32_t i = 0; i + 1 < n; i += 2) set_key(map, &cells[i], &cells[i + 1], map, case_);
    return map;
}

Cell* push_body(const Cell* map) {
    const Cell m = *map;
    Cell* slot = stack::push(&m);
    Cell* body = block::push_new(count(&m) * 2);
    for (int32_t pos = next_live(m.data2, 0); pos >= 0; pos = next_live(m.data2, pos + 2)) {
        Cell key = entries(m.data2)[pos], value = entries(m.data2)[pos + 1];
        key.header |= NEW_LINE_FLAG;
        block::append_cell(body, &key);
        block::append_cell(body, &value);
    }
    *slot = *body;
    stack::g_top = slot + 1;
    return slot;
}

Cell* push_copy(const Cell* value) { return stack::push(value); }

bool foreach_step(Cell* cursor, const Cell* words, int32_t n) {
    bool took = false;
    const int32_t first = block::head_index(words);
    for (int32_t i = 0; i < n; i++) {
        Cell word = *block::cell_at(words, first + i);
        const uint32_t t = word.type();
        if (t != TYPE_WORD && t != TYPE_SET_WORD && t != TYPE_LIT_WORD && t != TYPE_GET_WORD)
            support::fire_error(ErrorId::script_invalid_arg, &word);
        // Re-read each time: setting a word may run code that changes the map.
        const NodeId node = cursor->data2;
        int32_t pos = int32_t(cursor->data1);
        while (pos % 2 == 0 && pos + 1 < cell_count(node) && entries(node)[pos + 1].header == 0)
            pos += 2;
        Cell value = make_cell(TYPE_NONE);
        if (pos < cell_count(node)) {
            value = entries(node)[pos++];
            value.header &= ~NEW_LINE_FLAG;
            if (value.is(TYPE_SET_WORD)) value.set_type(TYPE_WORD);
            took = true;
        }
        cursor->data1 = uint32_t(pos);
        word::set_value(&word, &value);
    }
    return took;
}

// ---------------------------------------------------------------- actions

Cell* make(Cell*, Cell* spec, int) { return make_spec(spec, false); }
Cell* to(Cell*, Cell* spec, int) { return make_spec(spec, true); }

void reflect(Cell* value, uint32_t field_symbol) {
    auto is = [field_symbol](sym::Name name) {
        return symbol::canonical(field_symbol) == symbol::canonical(sym::id(name));
    };
    const Cell m = *value;
    StackScope scope;
    if (is(sym::body)) {
        *value = *push_body(&m);
        return;
    }
    bool values = is(sym::values);
    if (!values && !is(sym::words)) support::fire_error(ErrorId::internal_not_done);
    stack::push(&m);
    Cell* result = block::push_new(count(&m));
    for (int32_t pos = next_live(m.data2, 0); pos >= 0; pos = next_live(m.data2, pos + 2)) {
        Cell cell = entries(m.data2)[pos + (values ? 1 : 0)];
        cell.header &= ~NEW_LINE_FLAG;
        if (!values && cell.is(TYPE_SET_WORD)) cell.set_type(TYPE_WORD);
        block::append_cell(result, &cell);
    }
    *value = *result;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, false)) return part;
    return mold_entries(value, buffer, false, false, false, arg, part, false, 0, false);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, true)) return part;
    if (!only) part -= append_ascii(buffer, "#[");
    bool wrote = count(value) > 0;
    part = mold_entries(value, buffer, only, all, flat, arg, part, true, indent + 1, true);
    if (only) return part;
    if (wrote && indent > 0 && !flat) part = support::mold_indent(buffer, indent, part);
    return part - append_ascii(buffer, "]");
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int,
                bool case_, bool, bool, bool) {
    if (!value) {
        int32_t pos = lookup(parent, element, case_ ? COMP_STRICT_EQUAL : COMP_EQUAL);
        if (!live_at(parent->data2, pos)) return &shared_none_cell;
        return entries(parent->data2) + pos + 1;
    }
    set_key(parent, element, value, path, case_);
    return value;
}

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_MAP)) return COMPARE_UNCOMPARABLE;
    NodeId n1 = value1->data2, n2 = value2->data2;
    if (op == COMP_SORT || op == COMP_CASE_SORT) return n1 < n2 ? -1 : n1 > n2 ? 1 : 0;
    if (!equality_code_q(op)) return COMPARE_UNCOMPARABLE;
    if (n1 == n2 && value1->data1 == value2->data1) return 0;
    if (op == COMP_SAME) return -1;
    if (cycles::find(n1)) return cycles::find(n2) ? 0 : -1;
    int32_t c1 = count(value1), c2 = count(value2);
    if (c1 != c2) return 1;
    if (c1 == 0) return 0;
    const Cell m1 = *value1, m2 = *value2;
    StackScope scope;
    stack::push(&m1);
    stack::push(&m2);
    return compare_entries(&m1, &m2, op);
}

Cell* clear(Cell* series) {
    hashtable::clear(series->data3);
    memory::SeriesBuffer* b = memory::buffer_of(series->data2);
    b->tail = b->head;
    return series;
}

Cell* copy(Cell* value, Cell* result, Cell*, bool deep, Cell* types) {
    const Cell source = *value;
    if (!result) result = value;
    StackScope scope;
    stack::push(&source);
    bool walk = deep && types;
    if (walk && cycles::find(source.data2)) support::fire_error(ErrorId::internal_no_cycle);
    struct Pop {
        bool on;
        ~Pop() { if (on) cycles::pop(); }
    } pop{walk};
    if (walk) cycles::push(source.data2);
    const Cell whole = make_cell(TYPE_BLOCK, 0, source.data2, 0);
    Cell* made = block::clone(&whole, deep && !types, true);
    NodeId table = hashtable::copy(source.data3, made->data2);
    *made = make_cell(TYPE_MAP, 0, made->data2, table);
    if (types) {
        NodeId node = made->data2;
        block::copy_values_in_place(node, 1, cell_count(node), 2, types, deep);
    }
    *result = *made;
    return result;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool case_, bool same, bool, Cell*, Cell*,
           bool, bool, bool, bool) {
    int32_t pos = lookup(series, value, lookup_op(case_, same));
    if (!live_at(series->data2, pos)) {
        none_result(series);
        return series;
    }
    Cell key = entries(series->data2)[pos];
    key.header &= ~NEW_LINE_FLAG;
    if (key.is(TYPE_SET_WORD)) key.set_type(TYPE_WORD);
    *series = key;
    return series;
}

int length_q(Cell* series) { return count(series); }

Cell* put(Cell* series, Cell* key, Cell* value, bool case_) {
    const Cell v = *value;
    set_key(series, key, &v, nullptr, case_);
    *series = v;
    return series;
}

Cell* remove(Cell* series, Cell*, Cell* key) {
    if (!key) support::fire_error(ErrorId::script_missing_arg);
    int32_t pos = lookup(series, key, COMP_STRICT_EQUAL);
    if (live_at(series->data2, pos))
        hashtable::remove_cell(series->data3, entries(series->data2) + pos);
    return series;
}

Cell* select(Cell* series, Cell* value, Cell*, bool, bool case_, bool same, bool, Cell*,
             Cell*, bool, bool) {
    int32_t pos = lookup(series, value, lookup_op(case_, same));
    if (!live_at(series->data2, pos)) {
        none_result(series);
        return series;
    }
    *series = entries(series->data2)[pos + 1];
    return series;
}

void register_type() {
    hashtable::set_prepare_key(&prepare_key);
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, own<A_REFLECT>(&reflect), own<A_TO>(&to),
        /*  5 */ own<A_FORM>(&form), own<A_MOLD>(&mold), own<A_EVAL_PATH>(&eval_path), E,
        /*  9 */ own<A_COMPARE>(&compare), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, E, E, E, own<A_CLEAR>(&clear), own<A_COPY>(&copy),
        /* 31 */ own<A_FIND>(&find), E, E, E, E, own<A_LENGTH_Q>(&length_q), E, E,
        /* 39 */ E, E, own<A_PUT>(&put), own<A_REMOVE>(&remove), E, own<A_SELECT>(&select), E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_MAP, 0, "map!", slots);
}
}  // namespace zun::map

namespace zun::hash {

namespace {

inline int32_t cell_count(NodeId node) { return int32_t(memory::buffer_of(node)->used() >> 4); }

// A block cell on the value stack becomes a hash! with a new table over it.
Cell* index_cells(Cell* made) {
    NodeId node = made->data2;
    NodeId table = hashtable::make(uint32_t(std::max(cell_count(node), 1)), node,
                                   hashtable::KIND_HASH, 0);
    *made = make_cell(TYPE_HASH, made->data1, node, table);
    return made;
}

}  // namespace

Cell* make(Cell* proto, Cell* spec, int type) {
    switch (spec->type()) {
        case TYPE_INTEGER: case TYPE_FLOAT: {
            int32_t n = support::to_int_checked(spec);
            return index_cells(block::push_new(std::max(n, 1)));
        }
        case TYPE_BLOCK: {
            Cell* made = stack::push_cell();
            *made = make_cell(TYPE_NONE);
            block::copy(spec, made, nullptr, false, nullptr);
            made->header = TYPE_BLOCK;
            made->data1 = 0;
            return index_cells(made);
        }
        case TYPE_HASH: {
            Cell* made = stack::push_cell();
            *made = make_cell(TYPE_NONE);
            return copy(spec, made, nullptr, false, nullptr);
        }
        default:
            return to(proto, spec, type);
    }
}

Cell* to(Cell* proto, Cell* spec, int) {
    if (spec->is(TYPE_HASH)) {
        Cell* made = stack::push_cell();
        *made = make_cell(TYPE_NONE);
        return copy(spec, made, nullptr, false, nullptr);
    }
    if (spec->is(TYPE_MAP)) {
        Cell* body = map::push_body(spec);
        body->header = TYPE_BLOCK;
        return index_cells(body);
    }
    Cell* made = block::to(proto, spec, TYPE_BLOCK);
    made->header = TYPE_BLOCK;
    return index_cells(made);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    if (!only) {
        string::append_c_string(buffer, "make hash! ");
        part -= 11;
    }
    return block::mold(value, buffer, only, all, flat, arg, part, indent);
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    const Cell source = *value;
    if (!result) result = value;
    stack::StackScope scope;
    stack::push(&source);
    Cell* made = stack::push_cell();
    *made = make_cell(TYPE_NONE);
    block::copy(value, made, part, deep, types);
    NodeId node = made->data2;
    bool whole = block::head_index(&source) == 0 && !part && !deep && !types && source.data3;
    NodeId table = whole ? hashtable::copy(source.data3, node)
                         : hashtable::make(uint32_t(std::max(cell_count(node), 1)), node,
                                           hashtable::KIND_HASH, 0);
    *made = make_cell(TYPE_HASH, 0, node, table);
    *result = *made;
    return result;
}

// block! sort and trim rebuild a hash!'s table themselves.
Cell* sort(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
           bool reverse, bool stable) {
    return block::sort(series, case_, skip, compare, part, all, reverse, stable);
}

Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    return block::trim(series, head, tail, auto_, lines, all, with);
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, inherit<A_REFLECT>(), own<A_TO>(&to), inherit<A_FORM>(),
        /*  6 */ own<A_MOLD>(&mold), inherit<A_EVAL_PATH>(), E, inherit<A_COMPARE>(), E, E, E, E,
        /* 14 */ E, E, E, E, E, E, E, E,
        /* 22 */ E, E, E, inherit<A_APPEND>(), inherit<A_AT>(), inherit<A_BACK>(),
        /* 28 */ inherit<A_CHANGE>(), inherit<A_CLEAR>(), own<A_COPY>(&copy), inherit<A_FIND>(),
        /* 32 */ inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), inherit<A_INSERT>(),
        /* 36 */ inherit<A_LENGTH_Q>(), inherit<A_MOVE>(), inherit<A_NEXT>(), inherit<A_PICK>(),
        /* 40 */ inherit<A_POKE>(), inherit<A_PUT>(), inherit<A_REMOVE>(), inherit<A_REVERSE>(),
        /* 44 */ inherit<A_SELECT>(), own<A_SORT>(&sort), inherit<A_SKIP>(), inherit<A_SWAP>(),
        /* 48 */ inherit<A_TAIL>(), inherit<A_TAIL_Q>(), inherit<A_TAKE>(), own<A_TRIM>(&trim), E, E, E,
        /* 55 */ inherit<A_MODIFY>(), E, E, E, E, E, E, E);
    registry::register_type(TYPE_HASH, TYPE_BLOCK, "hash!", slots);
}
}  // namespace zun::hash
