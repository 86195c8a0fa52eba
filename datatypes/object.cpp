#include "datatypes/object.hpp"

#include <algorithm>
#include <cstring>
#include <exception>

#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"

namespace zun::object {

namespace {

constexpr uint32_t CELL = sizeof(Cell);
constexpr uint32_t ABSENT = NO_HANDLER << 16;

BlockEvaluator g_evaluator = nullptr;
FunctionRunner g_runner = nullptr;
uint32_t g_startup_counter = START_UP_CLASS_BASE;
uint32_t g_runtime_counter = RUN_TIME_CLASS_BASE;
bool g_startup = true;

using stack::StackScope;

using CycleGuard = cycles::Guard;

bool object_type_q(uint32_t type) {
    return type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT;
}
bool word_family_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_GET_WORD; }
bool path_type_q(uint32_t type) { return type >= TYPE_PATH && type <= TYPE_GET_PATH; }
bool number_q(uint32_t type) {
    return type == TYPE_INTEGER || type == TYPE_FLOAT || type == TYPE_PERCENT;
}
bool string_type_q(uint32_t type) {
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF:
            return true;
        default:
            return false;
    }
}
// What make copies from a prototype: every series type.
bool series_q(uint32_t type) {
    return block::any_block_q(type) || string_type_q(type) || type == TYPE_BINARY ||
           type == TYPE_VECTOR || type == TYPE_IMAGE;
}
// What copy/deep copies: blocks, parens, paths and the string family.
bool deep_copied_q(uint32_t type) {
    return type == TYPE_BLOCK || type == TYPE_PAREN || path_type_q(type) || string_type_q(type);
}

NodeId values_node(NodeId context) { return context::cell_of(context)->data2; }
Cell* values_of(NodeId context) { return memory::buffer_of(values_node(context))->head_cell(); }
uint32_t count_of(NodeId context) { return context::word_count(context); }
Cell* info_cells(NodeId info) { return memory::buffer_of(info)->head_cell(); }

bool same_name(uint32_t symbol1, uint32_t symbol2) {
    return symbol::canonical(symbol1) == symbol::canonical(symbol2);
}
bool handler_word_q(const Cell& word) {
    return same_name(word.data2, words::get(words::on_change_star)->data2) ||
           same_name(word.data2, words::get(words::on_deep_change_star)->data2);
}

Cell plain_word(NodeId context, uint32_t i) {
    Cell w = *word_at(context, i);
    w.header = TYPE_WORD;
    return w;
}

Cell datatype_of(const Cell& value) { return make_cell(TYPE_DATATYPE, value.type()); }

// The local slots a handler needs: /local itself and the words after it.
uint32_t count_locals(NodeId spec) {
    if (!spec) return 0;
    const Cell block = make_cell(TYPE_BLOCK, 0, spec, 0);
    return uint32_t(std::max(function::count_locals(&block, 0, false), 0));
}

Cell info_entry(int32_t index, uint32_t locals, NodeId spec) {
    uint32_t word2 = index < 0 ? ABSENT : (uint32_t(index) << 16) | (locals & 0xFFFF);
    return make_cell(TYPE_PAIR, 0, word2, index < 0 ? 0 : spec);
}

NodeId make_info(const Cell& on_change, const Cell& on_deep_change) {
    NodeId node = memory::alloc_cells(2);
    memory::SeriesBuffer* b = memory::buffer_of(node);
    b->head_cell()[0] = on_change;
    b->head_cell()[1] = on_deep_change;
    b->tail = b->head + 2 * CELL;
    return node;
}

struct Handler {
    Cell name;
    Cell function;
    uint32_t locals;
};

// The handler that cell `slot` of the object's on-set-info names, its cached
// local count refreshed when the function's spec changed. A field holding no
// function raises invalid-obj-evt when strict, else counts as no handler.
bool find_handler(const Cell& object, int slot, bool strict, Handler* handler) {
    Cell entry = info_cells(object.data3)[slot];
    if (entry.data2 >= ABSENT) return false;
    NodeId context = object.data1;
    uint32_t index = entry.data2 >> 16;
    if (index >= count_of(context)) return false;
    Cell function = values_of(context)[index];
    if (!function.is(TYPE_FUNCTION)) {
        if (strict) support::fire_error(ErrorId::script_invalid_obj_evt, &function);
        return false;
    }
    uint32_t locals = entry.data2 & 0xFFFF;
    if (function.data2 != entry.data3) {
        locals = count_locals(function.data2);
        info_cells(object.data3)[slot] = info_entry(int32_t(index), locals, function.data2);
    }
    *handler = Handler{*word_at(context, index), function, locals};
    return true;
}

// A call frame named by the handler's word, the arguments, then the local
// slots (/local false, the others none); the handler's result is dropped.
void run_handler(const Handler& handler, const Cell* args, int count) {
    if (!g_runner) not_done_raise();
    Cell* saved = stack::g_top;
    stack::push_function_frame(&handler.name, handler.function.data1);
    for (int i = 0; i < count; i++) stack::push(&args[i]);
    function::push_locals(int32_t(handler.locals));
    g_runner(&handler.function);
    stack::pop_function_frame();
    stack::g_top = saved;
}

void notify_change(Cell* owner, Cell* word, Cell* old_value, Cell* new_value) {
    call_on_change(owner, word, old_value, new_value);
}

// Gives an empty values series one unset! cell per word.
void fill_values(NodeId context) {
    uint32_t n = count_of(context);
    memory::SeriesBuffer* b = memory::buffer_of(values_node(context));
    if (b->used() || !n) return;
    if (b->head + n * CELL > b->size) b = memory::expand_series(b, int64_t(b->head + n * CELL));
    for (uint32_t i = 0; i < n; i++) b->head_cell()[i] = make_cell(TYPE_UNSET);
    b->tail = b->head + n * CELL;
}

// A new context with the source's words and values, no handlers yet; the
// result keeps the source's type and class id.
void clone_object(const Cell& source, Cell* result) {
    *result = source;
    context::clone(result, context::OBJECT_KIND);
    NodeId from = source.data1, to = result->data1;
    uint32_t n = count_of(from);
    std::memcpy(values_of(to), values_of(from), size_t(n) * CELL);
    result->data3 = 0;
    *context::owner_of(to) = *result;
}

// Copies a series value through its type's copy action.
Cell copied(const Cell& value, bool deep) {
    StackScope scope;
    Cell* source = stack::push(&value);
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    return *actions::handler_of<A_COPY>(source)(source, result, nullptr, deep, nullptr);
}

void rebind_functions(NodeId context) {
    for (uint32_t i = 0; i < count_of(context); i++)
        if (values_of(context)[i].is(TYPE_FUNCTION)) rebind_function(context, i);
}

// Stores a field's new value; with handlers, the old value stays on the stack
// while on-change* runs.
void assign_field(const Cell& object, uint32_t i, const Cell& value) {
    NodeId context = object.data1;
    word_at(context, i)->header |= context::CHANGED_MARK;
    if (!object.data3) {
        values_of(context)[i] = value;
        return;
    }
    StackScope scope;
    Cell* old_value = stack::push(&values_of(context)[i]);
    values_of(context)[i] = value;
    Cell word = plain_word(context, i);
    call_on_change(&object, &word, old_value, &value);
}

// The value construct takes for the set-word at i: the one after its run of
// set-words, none past the end; words name logic values and none.
Cell construct_value(NodeId spec, int32_t i, bool only) {
    memory::SeriesBuffer* b = memory::buffer_of(spec);
    const Cell* cells = b->head_cell();
    int32_t n = int32_t(b->used() / CELL);
    while (i < n && cells[i].is(TYPE_SET_WORD)) i++;
    if (i >= n) return shared_none_cell;
    Cell value = cells[i];
    if (only || !value.is(TYPE_WORD)) return value;
    uint32_t name = symbol::canonical(value.data2);
    auto is = [name](sym::Name n) { return name == symbol::canonical(sym::id(n)); };
    if (is(sym::true_) || is(sym::yes) || is(sym::on)) return shared_true_cell;
    if (is(sym::false_) || is(sym::no) || is(sym::off)) return shared_false_cell;
    if (is(sym::none)) return shared_none_cell;
    return value;
}

// Field look-up of path access: locates the element in the object, binding it
// when found. Answers the index, or -1.
int32_t locate(NodeId context, Cell* element) {
    if (element->data1 == context && element->data3 != context::NO_INDEX)
        return int32_t(element->data3);
    int32_t index = context::find_word(context, element->data2, true);
    element->data3 = index < 0 ? context::NO_INDEX : uint32_t(index);
    if (index >= 0) element->data1 = context;
    return index;
}

[[noreturn]] void fire_path_error(bool last, const Cell* path, const Cell* element) {
    const Cell* p = path ? path : &shared_none_cell;
    support::fire_error(last ? ErrorId::script_invalid_path : ErrorId::script_unset_path, p,
                        element);
}

// Comparison of two fields' values.
int compare_values(Cell a, Cell b, int op) {
    uint32_t ta = a.type(), tb = b.type();
    bool related = ta == tb || (word_family_q(ta) && word_family_q(tb)) || (number_q(ta) && number_q(tb));
    if (!related) return ta < tb ? -1 : 1;
    return actions::compare_direct(&a, &b, op);
}

int append_text(Cell* buffer, const char* text) {
    string::append_c_string(buffer, text);
    return int(std::strlen(text));
}

Cell* new_block_on_stack(uint32_t n) { return block::push_new(int32_t(std::max<uint32_t>(n, 1))); }

}  // namespace

// ---------------------------------------------------------------- class ids

void init_class_ids() {
    g_startup = true;
    g_startup_counter = START_UP_CLASS_BASE;
    g_runtime_counter = RUN_TIME_CLASS_BASE;
}

void end_startup_classes() {
    g_startup = false;
    g_runtime_counter = RUN_TIME_CLASS_BASE;
}

uint32_t new_class_id() { return g_startup ? ++g_startup_counter : ++g_runtime_counter; }

// ---------------------------------------------------------------- hooks

void set_block_evaluator(BlockEvaluator evaluator) { g_evaluator = evaluator; }
void set_function_runner(FunctionRunner runner) { g_runner = runner; }

void evaluate(Cell* block) {
    if (block::length_from_head(block) == 0) return;
    if (!g_evaluator) not_done_raise();
    g_evaluator(block);
}

// ---------------------------------------------------------------- building

Cell* init_empty(Cell* cell, uint32_t n) {
    NodeId context = context::create(n, false, true, 0, context::OBJECT_KIND);
    *cell = make_cell(TYPE_OBJECT, context, 0, 0);
    *context::owner_of(context) = *cell;
    return cell;
}

Cell* push(NodeId context, uint32_t class_id) { return push_with_handlers(context, class_id, 0); }

Cell* push_with_handlers(NodeId context, uint32_t class_id, NodeId on_set_info) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_OBJECT, context, class_id, on_set_info);
    fill_values(context);
    *context::owner_of(context) = *cell;
    return cell;
}

void finish_with_handlers(int32_t on_change, int32_t on_change_locals, int32_t on_deep_change,
                          int32_t on_deep_change_locals) {
    Cell* object = stack::top();  // the value stack never moves
    NodeId info = make_info(info_entry(on_change, uint32_t(on_change_locals), 0),
                            info_entry(on_deep_change, uint32_t(on_deep_change_locals), 0));
    object->data3 = info;
    if (on_deep_change >= 0) ownership::set_owner(object, object, &shared_none_cell);
    *context::owner_of(object->data1) = *object;
}

NodeId build_on_set_info(NodeId context) {
    const uint32_t symbols[2] = {words::get(words::on_change_star)->data2,
                                 words::get(words::on_deep_change_star)->data2};
    Cell entries[2];
    bool any = false;
    for (int k = 0; k < 2; k++) {
        int32_t index = context::find_word(context, symbols[k], true);
        entries[k] = info_entry(index, 0, 0);
        if (index < 0) continue;
        any = true;
        Cell value = values_of(context)[index];
        if (!value.is(TYPE_FUNCTION) && !value.is(TYPE_ROUTINE)) {
            Cell word = plain_word(context, uint32_t(index));
            Cell type = datatype_of(value);
            support::fire_error(ErrorId::script_bad_field_set, &word, &type);
        }
        entries[k] = info_entry(index, count_locals(value.data2), value.data2);
    }
    return any ? make_info(entries[0], entries[1]) : 0;
}

void install_handlers(Cell* object) {
    NodeId info = build_on_set_info(object->data1);
    object->data3 = info;
    if (has_deep_handler_q(object)) ownership::set_owner(object, object, &shared_none_cell);
    *context::owner_of(object->data1) = *object;
}

bool has_deep_handler_q(const Cell* object) {
    return object->data3 && info_cells(object->data3)[1].data2 < ABSENT;
}

void set_class(Cell* object, uint32_t class_id) {
    object->data2 = class_id;
    *context::owner_of(object->data1) = *object;
}

// ---------------------------------------------------------------- handlers

void call_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value) {
    const Cell owner = *object;
    Cell args[3] = {*word, *old_value, *new_value};
    Handler handler;
    if (!owner.data3 || !find_handler(owner, 0, true, &handler)) return;
    if (args[0].data1 != owner.data1) word::bind_to(owner.data1, &args[0]);
    run_handler(handler, args, 3);
}

void fire_on_change(const Cell* object, const Cell* word) {
    Cell* last = stack::top();
    call_on_change(object, word, last, last - 1);
}

void fire_word_on_change(const Cell* word, const Cell* field_word) {
    const Cell value = *word::get_value(word);
    if (object_type_q(value.type())) fire_on_change(&value, field_word);
}

void fire_on_deep_change(const Cell* owner, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index, int32_t part) {
    const Cell o = *owner;
    if (!o.data3) support::fire_error(ErrorId::script_invalid_obj_evt, &o);
    Cell args[7] = {o, *word, *target, *action, new_value ? *new_value : shared_none_cell,
                    integer_cell(index), integer_cell(part)};
    Handler handler;
    if (!find_handler(o, 1, false, &handler)) return;
    run_handler(handler, args, 7);
}

// ---------------------------------------------------------------- fields

int32_t find_field(const Cell* object, const Cell* word) {
    return context::find_word(object->data1, word->data2, true);
}

Cell* select_word(const Cell* object, const Cell* word) {
    int32_t i = find_field(object, word);
    return i < 0 ? &shared_none_cell : values_of(object->data1) + i;
}

Cell* word_at(NodeId context, uint32_t i) { return word::context_word_at(context, i); }
Cell* first_word(const Cell* object) { return word_at(object->data1, 0); }

Cell* word_of_value(const Cell* object, const Cell* value) {
    NodeId context = object->data1;
    const Cell* base = values_of(context);
    if (value < base || value >= base + count_of(context)) return nullptr;
    return word_at(context, uint32_t(value - base));
}

Cell* values_base(const Cell* object) { return values_of(object->data1); }
uint32_t field_count(const Cell* object) { return count_of(object->data1); }

bool word_object_of_class_q(const Cell* word, uint32_t class_id) {
    if (!word->data1) return false;
    const Cell* value = word::get_value(word);
    return value->is(TYPE_OBJECT) && value->data2 == class_id;
}

bool field_object_of_class_q(NodeId context, uint32_t i, uint32_t class_id) {
    const Cell* value = values_of(context) + i;
    return value->is(TYPE_OBJECT) && value->data2 == class_id;
}

void clear_changed_marks(NodeId context) {
    for (uint32_t i = 0; i < count_of(context); i++)
        word_at(context, i)->header &= ~context::CHANGED_MARK;
}

void clear_cell_marks(NodeId series) {
    memory::SeriesBuffer* b = memory::buffer_of(series);
    for (Cell* c = b->head_cell(); c < b->tail_cell(); ++c) c->header &= ~NEW_LINE_FLAG;
}

// ---------------------------------------------------------------- bulk assignment

void set_from(const Cell* object, const Cell* source, bool any, bool only, bool some) {
    const Cell owner = *object, src = *source;
    NodeId context = owner.data1;
    enum { BY_POSITION, BY_NAME, WHOLE } mode =
        only ? WHOLE : src.is(TYPE_BLOCK) ? BY_POSITION : object_type_q(src.type()) ? BY_NAME : WHOLE;
    auto skipped = [&](uint32_t i) { return owner.data3 && handler_word_q(*word_at(context, i)); };
    // The value for field i; false leaves the field alone. Read afresh each
    // time: a handler may have changed the source.
    auto value_for = [&](uint32_t i, Cell* out) {
        if (mode == WHOLE) {
            *out = src;
        } else if (mode == BY_POSITION) {
            int32_t at = block::head_index(&src) + int32_t(i);
            *out = at >= 0 && at < block::length_from_start(&src) ? *block::cell_at(&src, at)
                                                                   : shared_none_cell;
        } else {
            int32_t j = context::find_word(src.data1, word_at(context, i)->data2, true);
            if (j < 0) return false;
            *out = values_of(src.data1)[j];
        }
        return true;
    };
    Cell value;
    if (mode != WHOLE && !any && !some) {
        for (uint32_t i = 0; i < count_of(context); i++) {
            if (skipped(i) || !value_for(i, &value) || !value.is(TYPE_UNSET)) continue;
            Cell word = plain_word(context, i);
            support::fire_error(ErrorId::script_need_value, &word);
        }
    }
    for (uint32_t i = 0; i < count_of(context); i++) {
        if (skipped(i) || !value_for(i, &value)) continue;
        if (some && value.is(TYPE_NONE)) continue;
        assign_field(owner, i, value);
    }
}

bool construct_words(NodeId context, const Cell* spec, bool only) {
    const Cell s = *spec;
    uint32_t before = count_of(context);
    for (int32_t i = 0; i < block::length_from_start(&s); i++) {
        Cell word = *block::cell_at(&s, i);
        if (!word.is(TYPE_SET_WORD)) continue;
        Cell value = construct_value(s.data2, i, only);
        context::put_value(context, &word, &value);
    }
    return count_of(context) > before;
}

Cell* push_new(const Cell* prototype, const Cell* spec, bool only) {
    const Cell proto = *prototype, s = *spec;
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    bool from_proto = object_type_q(proto.type());
    if (from_proto) {
        copy_into(&proto, result, false, nullptr);
    } else {
        init_empty(result, 4);
        set_class(result, new_class_id());
    }
    // An added word makes another shape: it must not keep the prototype's class.
    if (construct_words(result->data1, &s, only) && from_proto) set_class(result, new_class_id());
    return result;
}

bool merge(NodeId target, NodeId source) {
    uint32_t before = count_of(target);
    for (uint32_t i = 0; i < count_of(source); i++) {
        Cell word = *word_at(source, i);
        Cell value = values_of(source)[i];
        context::put_value(target, &word, &value);
    }
    for (uint32_t i = 0; i < count_of(target); i++) {
        Cell value = values_of(target)[i];
        if (value.is(TYPE_FUNCTION)) {
            rebind_function(target, i);
        } else if (series_q(value.type())) {
            Cell copy = copied(value, false);
            values_of(target)[i] = copy;
        }
    }
    return count_of(target) > before;
}

// Nested blocks are copied too: binding the copy to the new object must not
// rebind the blocks the prototype still holds.
void copy_values(const Cell* source, const Cell* target, bool all) {
    const Cell from = *source, to = *target;
    uint32_t n = std::min(count_of(from.data1), count_of(to.data1));
    for (uint32_t i = 0; i < n; i++) {
        Cell value = values_of(from.data1)[i];
        uint32_t type = value.type();
        if (series_q(type)) {
            StackScope scope;
            Cell* copy = stack::push(&shared_none_cell);
            // A hash! keeps its table only through its own copy action.
            bool nested = block::any_block_q(type) && type != TYPE_HASH;
            *copy = nested ? *block::clone(&value, true, true) : copied(value, false);
            copy->header = value.header;
            if (block::any_block_q(type)) context::bind_block(copy, to.data1, true);
            values_of(to.data1)[i] = *copy;
        } else if (all) {
            values_of(to.data1)[i] = value;
        }
    }
}

// The body is bound to the object first, so that the function's own words
// win when the new function binds its copy.
void rebind_function(NodeId context, uint32_t i) {
    const Cell fn = values_of(context)[i];
    if (!fn.is(TYPE_FUNCTION)) return;
    const Cell body = fn.data3 ? *function::more_cell(&fn, function::MORE_BODY) : shared_none_cell;
    if (!body.is(TYPE_BLOCK)) support::fire_error(ErrorId::script_bad_func_def, &fn);
    StackScope scope;
    Cell* spec = stack::push(&fn);
    *spec = make_cell(TYPE_BLOCK, 0, fn.data2, 0);
    Cell* copy = block::clone(&body, true, true);
    context::bind_block(copy, context, true);
    function::push(spec, copy, 0, 0, 0, fn.header & (function::TRACE_FLAG | function::NO_TRACE_FLAG));
    values_of(context)[i] = *stack::top();
}

Cell* copy_into(const Cell* source, Cell* result, bool deep, Cell* types) {
    const Cell src = *source;
    StackScope scope;
    Cell* copy = stack::push_cell();
    clone_object(src, copy);
    NodeId context = copy->data1;
    rebind_functions(context);
    if (types) {
        if (deep && cycles::find(src.data1)) support::fire_error(ErrorId::internal_no_cycle);
        if (deep) cycles::push(src.data1);
        struct Pop {
            bool on;
            ~Pop() { if (on) cycles::pop(); }
        } pop{deep};
        block::copy_values_in_place(values_node(context), 0, int32_t(count_of(context)), 1,
                                    types, deep);
    } else if (deep) {
        for (uint32_t i = 0; i < count_of(context); i++) {
            Cell value = values_of(context)[i];
            if (!deep_copied_q(value.type())) continue;
            Cell fresh = copied(value, true);
            values_of(context)[i] = fresh;
        }
    }
    install_handlers(copy);
    *result = *copy;
    return result;
}

// ---------------------------------------------------------------- form and mold

int mold_fields(const Cell* object, Cell* buffer, bool only, bool all, bool flat, Cell* arg,
                int part, bool indent, int level, bool mold) {
    NodeId context = object->data1;
    uint32_t n = count_of(context);
    if (n == 0) return part;
    const char* separator = "\n";
    if (flat) {
        separator = " ";
        indent = false;
    } else if (mold && only) {
        indent = false;
    } else if (mold) {
        part -= append_text(buffer, "\n");
    }
    // The separator follows every field written but the last, unless indenting.
    uint32_t last = n;
    for (uint32_t i = 0; i < n; i++)
        if (all || !handler_word_q(*word_at(context, i))) last = i;
    CycleGuard walking(context);
    for (uint32_t i = 0; i < n; i++) {
        if (arg && part < 1) break;
        Cell name = *word_at(context, i);
        if (!all && handler_word_q(name)) continue;
        if (indent) part = support::mold_indent(buffer, level, part);
        part = word::form(&name, buffer, nullptr, part);
        part -= append_text(buffer, ": ");
        Cell value = values_of(context)[i];  // copied: molding allocates
        if (value.type() == 0) value = make_cell(TYPE_UNSET);
        if (value.is(TYPE_WORD)) part -= append_text(buffer, "'");
        part = actions::mold_direct(&value, buffer, false, all, flat, arg, part, level);
        if (indent || i != last) part -= append_text(buffer, separator);
    }
    return part;
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, false)) return part;
    return mold_fields(value, buffer, false, false, false, arg, part, false, 0, false);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    if (interpreter::mold_cycle_marker(value, buffer, &part, true)) return part;
    if (!only) part -= append_text(buffer, "make object! [");
    part = mold_fields(value, buffer, only, all, flat, arg, part, true, indent + 1, true);
    if (!flat && indent != 0) part = support::mold_indent(buffer, indent, part);
    if (!only) part -= append_text(buffer, "]");
    return part;
}

// ---------------------------------------------------------------- make and reflect

Cell* make(Cell* proto, Cell* spec, int type) {
    const Cell p = *proto, s = *spec;
    bool from_proto = object_type_q(p.type());
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    if (from_proto) {
        // No handler runs while the spec is evaluated: handlers come last.
        clone_object(p, result);
        rebind_functions(result->data1);
    } else {
        init_empty(result, 4);
    }
    if (object_type_q(uint32_t(type))) result->set_type(uint32_t(type));
    NodeId context = result->data1;
    bool added;
    switch (s.type()) {
        case TYPE_OBJECT:
            added = merge(context, s.data1);
            break;
        case TYPE_BLOCK: {
            added = context::collect_set_words(context, &s);
            Cell* body = stack::push(&s);
            context::bind_block(body, context, true);
            if (from_proto) copy_values(&p, result, false);
            evaluate(body);
            clear_changed_marks(context);
            clear_cell_marks(values_node(context));
            break;
        }
        default:
            support::fire_error(ErrorId::syntax_malconstruct, &s);
    }
    uint32_t class_id = added || !from_proto ? new_class_id() : p.data2;
    stack::g_top = result + 1;
    result->data2 = class_id;
    install_handlers(result);
    return result;
}

void reflect(Cell* value, uint32_t field_symbol) {
    const Cell object = *value;
    NodeId context = object.data1;
    uint32_t n = count_of(context);
    auto is = [field_symbol](sym::Name name) { return same_name(field_symbol, sym::id(name)); };
    bool changed = same_name(field_symbol, words::get(words::changed)->data2);
    Cell result;
    StackScope scope;
    if (is(sym::words) || is(sym::values) || changed) {
        bool values = is(sym::values);
        Cell* blk = new_block_on_stack(n);
        for (uint32_t i = 0; i < n; i++) {
            Cell cell = values ? values_of(context)[i] : *word_at(context, i);
            if (changed && !(cell.header & context::CHANGED_MARK)) continue;
            if (!values && !changed) cell.header = TYPE_WORD;
            block::append_cell(blk, &cell);
        }
        result = *blk;
    } else if (is(sym::body)) {
        Cell* blk = new_block_on_stack(n);
        for (uint32_t i = 0; i < n; i++) {
            Cell name = *word_at(context, i);
            name.header = TYPE_SET_WORD | NEW_LINE_FLAG;
            block::append_cell(blk, &name);
            Cell field = values_of(context)[i];
            if (field.is(TYPE_WORD)) field.set_type(TYPE_LIT_WORD);
            if (field.is(TYPE_PATH)) field.set_type(TYPE_LIT_PATH);
            block::append_cell(blk, &field);
        }
        result = *blk;
    } else if (is(sym::class_)) {
        result = integer_cell(int32_t(object.data2));
    } else if (is(sym::owner)) {
        result = logic::make_value(context::cell_of(context)->header & ownership::OWNER_MARK);
    } else if (is(sym::events_q)) {
        result = logic::make_value(object.data3 != 0);
    } else {
        support::fire_error(ErrorId::internal_not_done);
    }
    *value = result;
}

// ---------------------------------------------------------------- path access

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool get, bool last, bool) {
    const Cell object = *parent;
    if (!word_family_q(element->type()))
        support::fire_error(ErrorId::script_invalid_path, path ? path : &shared_none_cell, element);
    NodeId context = object.data1;
    int32_t index = locate(context, element);
    if (index < 0) {
        if (get && last) return &shared_unset_cell;
        fire_path_error(last, path, element);
    }
    if (!value) {
        Cell* field = values_of(context) + index;
        if (!field->is(TYPE_UNSET)) return field;
        if (get && last) return field;
        fire_path_error(last, path, element);
    }
    Cell word = element->is(TYPE_WORD) ? *element : plain_word(context, uint32_t(index));
    word.data1 = context;
    word.data3 = uint32_t(index);
    const Cell v = *value;
    if (!object.data3) {
        context::set_word_value(&word, &v, context, false);
        return value;
    }
    StackScope scope;
    Cell* old_value = stack::push(&values_of(context)[index]);
    context::set_word_value(&word, &v, context, false);
    call_on_change(&object, &word, old_value, &v);
    return value;
}

// ---------------------------------------------------------------- compare

int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_OBJECT)) return COMPARE_UNCOMPARABLE;
    NodeId c1 = value1->data1, c2 = value2->data1;
    if (c1 == c2) return 0;
    if (op == COMP_SAME) return -1;
    if (cycles::find(c1)) return cycles::find(c2) ? 0 : -1;
    uint32_t n1 = count_of(c1), n2 = count_of(c2);
    if (n1 != n2) return n1 < n2 ? -1 : 1;
    CycleGuard walking1(c1);
    CycleGuard walking2(c2);
    for (uint32_t i = 0; i < n1; i++) {
        uint32_t s1 = symbol::canonical(word_at(c1, i)->data2);
        uint32_t s2 = symbol::canonical(word_at(c2, i)->data2);
        if (s1 != s2) return s1 < s2 ? -1 : 1;
        if (int order = compare_values(values_of(c1)[i], values_of(c2)[i], op)) return order;
    }
    return 0;
}

// ---------------------------------------------------------------- copy, select, put, modify

Cell* copy(Cell* value, Cell* result, Cell* part, bool deep, Cell* types) {
    if (part) {
        Cell word = *refinements::get(refinements::part);
        word.set_type(TYPE_WORD);
        support::fire_error(ErrorId::script_invalid_refine_arg, &word, part);
    }
    return copy_into(value, result ? result : value, deep, types);
}

Cell* select(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool) {
    if (!word_family_q(value->type())) {
        Cell type = datatype_of(*value);
        support::fire_error(ErrorId::script_invalid_type, &type);
    }
    *series = *select_word(series, value);
    return series;
}

Cell* put(Cell* series, Cell* key, Cell* value, bool) {
    if (!key->is(TYPE_WORD)) {
        Cell type = datatype_of(*key);
        support::fire_error(ErrorId::script_invalid_key_type, &type);
    }
    Cell object = *series, element = *key;
    const Cell v = *value;
    eval_path(&object, &element, value, nullptr, nullptr, nullptr, 0, false, false, true, true);
    *series = v;
    return series;
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    const Cell object = *target;
    uint32_t name = field->data2;
    if (same_name(name, sym::id(sym::owned))) {
        if (value->is(TYPE_NONE)) {
            ownership::unset_owner(&object);
        } else if (value->is(TYPE_BLOCK) && block::length_from_head(value) >= 1) {
            const Cell owner = *block::cell_at(value, block::head_index(value));
            const Cell word = block::length_from_head(value) >= 2
                                  ? *block::cell_at(value, block::head_index(value) + 1)
                                  : shared_none_cell;
            ownership::set_owner(&object, &owner, &word);
        }
    } else if (same_name(name, sym::id(sym::owner))) {
        ownership::set_owner(&object, &object, &shared_none_cell);
    } else if (same_name(name, words::get(words::changed)->data2)) {
        if (!value->is(TYPE_NONE)) support::fire_error(ErrorId::script_invalid_arg, value);
        clear_changed_marks(object.data1);
    }
    return value;
}

void register_type() {
    context::set_change_notifier(&notify_change);
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, own<A_REFLECT>(&reflect), E, own<A_FORM>(&form),
        /*  6 */ own<A_MOLD>(&mold), own<A_EVAL_PATH>(&eval_path), E, own<A_COMPARE>(&compare),
        /* 10 */ E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, E, E, E, E, own<A_COPY>(&copy),
        /* 31 */ E, E, E, E, E, E, E, E,
        /* 39 */ E, E, own<A_PUT>(&put), E, E, own<A_SELECT>(&select), E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ own<A_MODIFY>(&modify), E, E, E, E, E, E, E);
    registry::register_type(TYPE_OBJECT, 0, "object!", slots);
}

}  // namespace zun::object
