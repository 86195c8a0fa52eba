#include "datatypes/function.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/runtime.hpp"
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

namespace zun::function {

namespace {
constexpr uint32_t CELL = sizeof(Cell);
constexpr uint32_t END = 0;  // the type answered for a position past the tail

Cell* cells_of(NodeId node) { return memory::buffer_of(node)->head_cell(); }
int32_t length_of(NodeId node) { return int32_t(memory::buffer_of(node)->used() / CELL); }
Cell block_cell(NodeId node) { return make_cell(TYPE_BLOCK, 0, node, 0); }

// The cell at a position, or a cell of type END past the tail. Re-read on every
// call: checking a type block may allocate.
Cell cell_at(NodeId node, int32_t i) {
    return i >= 0 && i < length_of(node) ? cells_of(node)[i] : make_cell(END);
}

bool same_symbol(uint32_t a, uint32_t b) { return symbol::canonical(a) == symbol::canonical(b); }
bool named(const Cell& c, uint32_t symbol) { return same_symbol(c.data2, symbol); }
uint32_t local_symbol() { return refinements::get(refinements::local)->data2; }
uint32_t extern_symbol() { return refinements::get(refinements::extern_)->data2; }

bool parameter_q(uint32_t type) {
    return type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD;
}
bool context_word_q(uint32_t type) { return parameter_q(type) || type == TYPE_REFINEMENT; }

[[noreturn]] void fire_with(ErrorId id, const Cell& arg) {
    const Cell copy = arg;  // making the error allocates
    support::fire_error(id, &copy);
}

using CycleGuard = cycles::Guard;

int append_ascii(Cell* buffer, const char* text) {
    string::append_c_string(buffer, text);
    return int(std::strlen(text));
}

bool equality_or_sort(int op) {
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
        case COMP_CASE_SORT: case COMP_SAME: case COMP_FIND:
            return true;
        default:
            return false;
    }
}

// ---------------------------------------------------------------- building

// Blocks the library loader made keep their mark in the body copy a function
// makes. The copy is a tree (cloning refuses cycles), no deeper than the
// clone could walk.
void mark_library(NodeId node) {
    memory::buffer_of(node)->flags |= memory::LIBRARY_FLAG;
    for (int32_t i = 0; i < length_of(node); i++) {
        const Cell c = cells_of(node)[i];
        if (block::any_block_q(c.type()) && c.data2) mark_library(c.data2);
    }
}

struct Build {
    uint32_t header;
    NodeId context;   // 0: a new one from the spec
    bool bind_body;   // bind the body copy to a context made here
    Cell entry_cell;  // more-block MORE_ENTRY
    Cell last_cell;   // more-block MORE_OWNER
};

// Pushes the value; answers it with its context in *context_out. Everything
// made on the way stays on the stack above the result until the end, so the
// collector sees it.
Cell* build(const Cell* spec_in, const Cell* body_in, const Build& how, NodeId* context_out) {
    Cell spec = *spec_in;
    const Cell body = body_in ? *body_in : shared_none_cell;
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);

    // The function keeps a copy of its own: the caller may change or clear
    // its block later, and the evaluator reads the arguments from the spec.
    int32_t length = length_of(spec.data2);
    spec.data1 = uint32_t(std::clamp(int32_t(spec.data1), 0, length));
    spec = *block::clone(&spec, true, false);
    NodeId more = memory::alloc_unset_cells(MORE_CELLS);
    memory::buffer_of(more)->tail = memory::buffer_of(more)->head + MORE_CELLS * CELL;
    stack::push(&spec);
    Cell more_block = block_cell(more);
    stack::push(&more_block);

    NodeId context = how.context;
    bool made = !context;
    if (made) context = context::from_spec(&spec, true, false, context::FUNCTION_KIND);
    Cell context_holder = block_cell(context);
    stack::push(&context_holder);

    Cell body_copy = shared_none_cell;
    if (block::any_block_q(body.type()) && body.data2) {
        body_copy = *block::clone(&body, true, true);
        if (memory::buffer_of(body.data2)->flags & memory::LIBRARY_FLAG)
            mark_library(body_copy.data2);
        if (made && how.bind_body) context::bind_block(&body_copy, context, false);
    }
    Cell* cells = cells_of(more);  // nothing below allocates
    cells[MORE_BODY] = body_copy;
    cells[MORE_ENTRY] = how.entry_cell;
    cells[MORE_OWNER] = how.last_cell;

    *result = make_cell(how.header, context, spec.data2, more);
    *context::owner_of(context) = *result;
    stack::g_top = result + 1;
    *context_out = context;
    return result;
}

// ---------------------------------------------------------------- local collection

struct Collector {
    Cell* seen;    // on the stack
    Cell* locals;  // on the stack
};

bool seen_q(const Collector& c, const Cell& word) {
    NodeId node = c.seen->data2;
    for (int32_t i = 0; i < length_of(node); i++) {
        const Cell& s = cells_of(node)[i];
        if (s.is(TYPE_WORD) && same_symbol(s.data2, word.data2)) return true;
    }
    return false;
}

void collect_word(const Collector& c, const Cell& found) {
    Cell word = found;
    word.header = TYPE_WORD;  // the spec shows it without its line break
    if (seen_q(c, word)) return;
    block::append_cell(c.seen, &word);
    block::append_cell(c.locals, &word);
}

bool loop_word_q(const Cell& c, bool with_repeat) {
    if (!c.is(TYPE_WORD)) return false;
    return named(c, sym::id(sym::foreach)) || named(c, sym::id(sym::remove_each)) ||
           (with_repeat && named(c, sym::id(sym::repeat)));
}

// Appending to the collector's blocks may move every buffer: cells are read by
// position after each step.
void collect_in(const Collector& c, NodeId node, int32_t head) {
    if (cycles::find(node)) return;
    CycleGuard walking(node);
    for (int32_t i = std::max(head, 0); i < length_of(node); i++) {
        const Cell cell = cells_of(node)[i];
        const Cell next = cell_at(node, i + 1);
        switch (cell.type()) {
            case TYPE_BLOCK: case TYPE_PAREN:
                if (cell.data2) collect_in(c, cell.data2, int32_t(cell.data1));
                break;
            case TYPE_SET_WORD:
                collect_word(c, cell);
                break;
            case TYPE_WORD:
                if (loop_word_q(cell, false) && next.is(TYPE_BLOCK)) {
                    int32_t k = std::max(int32_t(next.data1), 0);
                    for (; k < length_of(next.data2); k++) {
                        const Cell w = cells_of(next.data2)[k];
                        if (parameter_q(w.type())) collect_word(c, w);
                    }
                }
                if (loop_word_q(cell, true) && (next.is(TYPE_WORD) || next.is(TYPE_SET_WORD)))
                    collect_word(c, next);
                break;
            default:
                break;
        }
    }
}

int32_t find_refinement(NodeId node, uint32_t symbol, int32_t from) {
    for (int32_t i = from; i < length_of(node); i++) {
        const Cell& c = cells_of(node)[i];
        if (c.is(TYPE_REFINEMENT) && named(c, symbol)) return i;
    }
    return -1;
}

// The seen copy names every spec entry as a word; with /extern the spec may
// hold nothing else than words, strings and blocks.
void prepare_seen(NodeId seen, bool has_extern) {
    for (int32_t i = 0; i < length_of(seen); i++) {
        Cell* c = cells_of(seen) + i;
        switch (c->type()) {
            case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD: case TYPE_REFINEMENT:
                c->set_type(TYPE_WORD);
                break;
            case TYPE_WORD: case TYPE_STRING: case TYPE_BLOCK:
                break;
            default:
                if (has_extern) fire_with(ErrorId::script_bad_func_extern, *c);
        }
    }
}

void remove_word(const Cell* blk, uint32_t symbol) {
    memory::SeriesBuffer* b = memory::buffer_of(blk->data2);
    Cell* cells = b->head_cell();
    int32_t n = int32_t(b->used() / CELL), kept = 0;
    for (int32_t i = 0; i < n; i++)
        if (!named(cells[i], symbol)) cells[kept++] = cells[i];
    b->tail = b->head + uint32_t(kept) * CELL;
}

// ---------------------------------------------------------------- text

int mold_spec(NodeId spec, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
              int indent) {
    Cell blk = block_cell(spec);
    return block::mold(&blk, buffer, only, all, flat, arg, part, indent);
}

}  // namespace

// ---------------------------------------------------------------- spec checks

int32_t parse_attributes(const Cell* block_in) {
    const Cell blk = *block_in;
    int32_t flags = 0;
    for (int32_t i = std::max(int32_t(blk.data1), 0); i < length_of(blk.data2); i++) {
        const Cell& c = cells_of(blk.data2)[i];
        if (!c.is(TYPE_WORD)) return -1;
        if (named(c, sym::id(sym::trace))) flags |= int32_t(TRACE_FLAG);
        else if (named(c, sym::id(sym::no_trace))) flags |= int32_t(NO_TRACE_FLAG);
    }
    return flags;
}

void check_type_block(const Cell* block_in) {
    const Cell blk = *block_in;
    for (int32_t i = std::max(int32_t(blk.data1), 0); i < length_of(blk.data2); i++) {
        const Cell entry = cells_of(blk.data2)[i];
        Cell value = entry;
        if (entry.is(TYPE_WORD)) {
            value = *word::push_value(&entry);  // no-value when unset
            stack::pop(1);
        }
        if (!value.is(TYPE_DATATYPE) && !value.is(TYPE_TYPESET) && !value.is(TYPE_WORD))
            fire_with(ErrorId::script_invalid_type_spec, entry);
    }
}

void check_duplicates(const Cell* spec_in) {
    const Cell spec = *spec_in;
    std::vector<uint32_t> names;
    for (int32_t i = std::max(int32_t(spec.data1), 0); i < length_of(spec.data2); i++) {
        const Cell c = cells_of(spec.data2)[i];
        if (!context_word_q(c.type())) continue;
        uint32_t name = symbol::canonical(c.data2);
        if (std::find(names.begin(), names.end(), name) != names.end())
            fire_with(ErrorId::script_dup_vars, c);
        names.push_back(name);
    }
}

uint32_t validate_spec(const Cell* spec_in) {
    const Cell spec = *spec_in;
    const NodeId node = spec.data2;
    auto bad = [&]() { fire_with(ErrorId::script_bad_func_def, spec); };
    int32_t i = std::max(int32_t(spec.data1), 0);
    uint32_t flags = 0;
    if (cell_at(node, i).is(TYPE_BLOCK)) {
        Cell attributes = cell_at(node, i++);
        int32_t f = parse_attributes(&attributes);
        if (f < 0) bad();
        flags = uint32_t(f);
    }
    bool local = false, returns = false;
    while (i < length_of(node)) {
        const Cell c = cell_at(node, i);
        const uint32_t type = c.type();
        if (parameter_q(type)) {
            if ((local && type != TYPE_WORD) || (returns && !local)) bad();
            // The type block comes before the doc string, never after it.
            if (cell_at(node, i + 1).is(TYPE_STRING) && cell_at(node, i + 2).is(TYPE_BLOCK)) bad();
            i++;
            if (cell_at(node, i).is(TYPE_BLOCK)) {
                Cell types = cell_at(node, i++);
                check_type_block(&types);
            }
        } else if (type == TYPE_STRING) {
            i++;
        } else if (type == TYPE_SET_WORD) {
            if (!named(c, sym::id(sym::return_)) || returns || local) bad();
            returns = true;
            if (!cell_at(node, i + 1).is(TYPE_BLOCK)) bad();
            uint32_t after = cell_at(node, i + 2).type();
            if (after != END && after != TYPE_REFINEMENT && after != TYPE_STRING) bad();
            i += 2;
        } else if (type == TYPE_REFINEMENT) {
            if (named(c, local_symbol())) local = true;
            else if (local || returns) bad();
            uint32_t next = cell_at(node, i + 1).type();
            if (next != END && !context_word_q(next) && next != TYPE_SET_WORD &&
                next != TYPE_STRING)
                bad();
            i++;
        } else {
            bad();
        }
    }
    check_duplicates(&spec);
    return flags;
}

// ---------------------------------------------------------------- locals

Cell* collect_locals(const Cell* spec_in, const Cell* body_in) {
    Cell spec = *spec_in;
    const Cell body = *body_in;
    int32_t head = std::max(int32_t(spec.data1), 0);
    Cell* locals = block::push_new(8);
    Collector c{block::clone(&spec, false, false), locals};

    int32_t extern_at = find_refinement(spec.data2, extern_symbol(), head);
    bool has_extern = extern_at >= 0;
    if (has_extern) {
        int32_t local_at = find_refinement(spec.data2, local_symbol(), extern_at + 1);
        for (int32_t i = local_at + 1; local_at >= 0 && i < length_of(spec.data2); i++) {
            const Cell w = cells_of(spec.data2)[i];
            if (w.is(TYPE_WORD)) block::append_cell(locals, &w);
        }
        block::set_tail_at(&spec, extern_at);
    }
    prepare_seen(c.seen->data2, has_extern);
    if (block::any_block_q(body.type()) && body.data2)
        collect_in(c, body.data2, int32_t(body.data1));

    if (length_of(locals->data2) > 0) {
        if (count_locals(&spec, head, true) < 0)
            block::append_cell(&spec, refinements::get(refinements::local));
        remove_word(locals, words::get(words::local)->data2);
        block::append_block(&spec, locals);
    }
    stack::g_top = locals + 1;
    return locals;
}

int32_t count_locals(const Cell* spec, int32_t from, bool require) {
    NodeId node = spec->data2;
    int32_t at = find_refinement(node, local_symbol(), std::max(from, 0));
    if (at < 0) return require ? -1 : 0;
    int32_t n = 1;
    for (int32_t i = at + 1; i < length_of(node); i++) n += cells_of(node)[i].is(TYPE_WORD);
    return n;
}

void push_locals(int32_t n) {
    if (n <= 0) return;
    *stack::push_cell() = make_cell(TYPE_LOGIC, 0);
    for (int32_t i = 1; i < n; i++) *stack::push_cell() = make_cell(TYPE_NONE);
}

// ---------------------------------------------------------------- values

NodeId push(const Cell* spec, const Cell* body, NodeId context, int32_t entry, NodeId owner,
            uint32_t flags) {
    Build how{(flags & ~TYPE_MASK) | TYPE_FUNCTION, context, true,
              entry ? integer_cell(entry) : make_cell(TYPE_UNSET),
              owner ? integer_cell(int32_t(owner)) : make_cell(TYPE_UNSET)};
    NodeId made;
    build(spec, body, how, &made);
    return made;
}

Cell* more_cell(const Cell* value, uint32_t i) { return cells_of(value->data3) + i; }

Cell nth_parameter(int32_t n) {
    const Cell anon = *words::get(words::anon);
    stack::CallFrame* record = stack::top_frame();
    if (!record || !record->symbol()) return anon;
    const Cell name = context::resolve_symbol(record->name_context, record->symbol());
    // A name whose context holds no values now (a function not running) has none.
    if (!name.data1 || name.data3 == context::NO_INDEX || !context::cell_of(name.data1)->data2)
        return anon;
    const Cell value = *context::value_address(&name, name.data1);
    switch (value.type()) {
        case TYPE_NATIVE: case TYPE_ACTION: case TYPE_OP: case TYPE_FUNCTION: case TYPE_ROUTINE:
            break;
        default:
            return anon;
    }
    for (int32_t i = 0, k = 0; i < length_of(value.data2); i++) {
        const Cell& c = cells_of(value.data2)[i];
        if (!context_word_q(c.type())) continue;
        if (k++ == n) return c;
    }
    return anon;
}

// ---------------------------------------------------------------- actions

Cell* make(Cell*, Cell* spec_in, int) {
    const Cell arg = *spec_in;
    if (!arg.is(TYPE_BLOCK) || block::length_from_head(&arg) < 2)
        fire_with(ErrorId::script_bad_func_def, arg);
    const Cell* first = cells_of(arg.data2) + std::max(int32_t(arg.data1), 0);
    const Cell fspec = first[0], fbody = first[1];
    if (!fspec.is(TYPE_BLOCK) || !fbody.is(TYPE_BLOCK))
        fire_with(ErrorId::script_bad_func_def, arg);
    uint32_t flags = validate_spec(&fspec);
    push(&fspec, &fbody, 0, 0, 0, flags);
    return stack::top();
}

void reflect_spec(Cell* value) {
    const Cell spec = block_cell(value->data2);
    *value = *block::clone(&spec, true, false);
    stack::pop(1);
}

void reflect(Cell* value, uint32_t field_symbol) {
    const Cell v = *value;
    if (same_symbol(field_symbol, sym::id(sym::spec))) {
        reflect_spec(value);
    } else if (same_symbol(field_symbol, sym::id(sym::body))) {
        *value = *more_cell(&v, MORE_BODY);
    } else if (same_symbol(field_symbol, sym::id(sym::words))) {
        const NodeId context = v.data1;
        uint32_t n = context::word_count(context);
        NodeId words = memory::alloc_cells(std::max<uint32_t>(n, 1));
        // The value cell (on the stack) keeps the context alive until here.
        const Cell* from = memory::buffer_of(context::word_block(context))->head_cell();
        memory::SeriesBuffer* to = memory::buffer_of(words);
        for (uint32_t i = 0; i < n; i++)
            to->head_cell()[i] = make_cell(TYPE_WORD, context, from[i].data2, i);
        to->tail = to->head + n * CELL;
        *value = block_cell(words);
    } else {
        support::fire_error(ErrorId::internal_not_done);
    }
}

int form(Cell*, Cell* buffer, Cell*, int part) { return part - append_ascii(buffer, "?function?"); }

int mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* arg, int part, int indent) {
    const Cell v = *value;
    part -= append_ascii(buffer, "func ");
    part = mold_spec(v.data2, buffer, false, all, flat, arg, part, indent);
    Cell body = *more_cell(&v, MORE_BODY);
    if (body.is(TYPE_NONE)) return part - append_ascii(buffer, " none");
    return block::mold(&body, buffer, false, all, flat, arg, part, indent);
}

int compare(Cell* value1, Cell* value2, int op) {
    if (value2->type() != value1->type() || !equality_or_sort(op)) return COMPARE_UNCOMPARABLE;
    NodeId a = value1->data3, b = value2->data3;
    return a < b ? -1 : a > b ? 1 : 0;
}

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, own<A_REFLECT>(reflect), E, own<A_FORM>(form),
        /*  6 */ own<A_MOLD>(mold), E, E, own<A_COMPARE>(compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_FUNCTION, TYPE_CONTEXT, "function!", slots);
}

}  // namespace zun::function

namespace zun::routine {

namespace {
Entry g_entries[TABLE_SIZE];
uint32_t g_count = 0;

int append_ascii(Cell* buffer, const char* text) {
    string::append_c_string(buffer, text);
    return int(std::strlen(text));
}
}  // namespace

uint32_t register_entry(Entry fn) {
    for (uint32_t i = 0; i < g_count; i++)
        if (g_entries[i] == fn) return i + 1;
    constexpr int ASSERTION_FAILED = 98;
    if (!fn || g_count >= TABLE_SIZE) runtime::fatal(ASSERTION_FAILED);
    g_entries[g_count++] = fn;
    return g_count;
}

Entry entry(uint32_t index) {
    return index >= 1 && index <= g_count ? g_entries[index - 1] : nullptr;
}

Cell* push(const Cell* spec, const Cell* body, uint32_t entry, int32_t return_type, bool flag) {
    function::Build how{TYPE_ROUTINE | (flag ? CELL_ARGUMENTS_FLAG : 0), 0, false,
                        integer_cell(int32_t(entry)), integer_cell(return_type)};
    NodeId context;
    Cell* result = function::build(spec, body, how, &context);
    set_arity(result);
    *context::owner_of(context) = *result;
    return result;
}

void set_arity(Cell* value) {
    memory::SeriesBuffer* b = memory::buffer_of(value->data2);
    uint32_t n = 0;
    for (const Cell* c = b->head_cell(); c < b->tail_cell(); ++c) n += c->is(TYPE_WORD);
    n = std::min<uint32_t>(n, ARITY_MASK >> ARITY_SHIFT);
    value->header = (value->header & ~ARITY_MASK) | (n << ARITY_SHIFT);
}

int form(Cell*, Cell* buffer, Cell*, int part) { return part - append_ascii(buffer, "?routine?"); }

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    const Cell v = *value;
    part -= append_ascii(buffer, "routine ");
    Cell spec = make_cell(TYPE_BLOCK, 0, v.data2, 0);
    part = block::mold(&spec, buffer, only, all, flat, arg, part, indent);
    Cell body = *function::more_cell(&v, function::MORE_BODY);
    if (!body.is(TYPE_BLOCK)) part -= append_ascii(buffer, " ");
    return actions::mold_direct(&body, buffer, only, all, flat, arg, part, indent);
}

int compare(Cell* value1, Cell* value2, int op) { return function::compare(value1, value2, op); }

void register_type() {
    static const SlotTable slots = make_slots(
        /*  1 */ E, E, inherit<A_REFLECT>(), E, own<A_FORM>(form), own<A_MOLD>(mold), E, E,
        /*  9 */ own<A_COMPARE>(compare), E, E, E, E, E, E, E,
        /* 17 */ E, E, E, E, E, E, E, E,
        /* 25 */ E, E, E, E, E, E, E, E,
        /* 33 */ E, E, E, E, E, E, E, E,
        /* 41 */ E, E, E, E, E, E, E, E,
        /* 49 */ E, E, E, E, E, E, E, E,
        /* 57 */ E, E, E, E, E, E);
    registry::register_type(TYPE_ROUTINE, TYPE_FUNCTION, "routine!", slots);
}

}  // namespace zun::routine
