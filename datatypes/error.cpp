#include "datatypes/error.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/memory.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "startup/system_data.hpp"

namespace zun::error {

namespace {

constexpr int32_t ARGUMENT_LIMIT = 80;
constexpr int32_t NEAR_LIMIT = 40;
constexpr int UNLIMITED = 0x7FFFFFFF;

const Cell* g_code_position = nullptr;
TraceLevelReader g_trace_level = nullptr;
SourceFilesReader g_source_files = nullptr;

Cell* values_of(NodeId context) {
    return memory::buffer_of(context::cell_of(context)->data2)->head_cell();
}
uint32_t count_of(NodeId context) { return context::word_count(context); }
NodeId catalog() { return system_data::catalog_errors()->data1; }

// Word i of a context, as a word! bound to it.
Cell bound_word(NodeId context, uint32_t i) {
    Cell w = *object::word_at(context, i);
    w.header = TYPE_WORD;
    return w;
}

Cell unbound_word(const char* name) {
    return make_cell(TYPE_WORD, 0, symbol::make(name), context::NO_INDEX);
}

// The value the word names in the object, none when the object lacks it.
Cell value_in(const Cell& object, const Cell& word) {
    bool object_q = object.is(TYPE_OBJECT) || object.is(TYPE_ERROR) || object.is(TYPE_PORT);
    if (!object_q || !word::any_word_type_q(word.type())) return shared_none_cell;
    int32_t i = context::find_word(object.data1, word.data2, true);
    return i < 0 ? shared_none_cell : values_of(object.data1)[i];
}

int32_t trace_level() { return g_trace_level ? g_trace_level() : 1; }

[[noreturn]] void fire_spec_field(sym::Name name) {
    Cell word = make_cell(TYPE_WORD, 0, sym::id(name), context::NO_INDEX);
    support::fire_error(ErrorId::script_invalid_spec_field, &word);
}
[[noreturn]] void fire_spec_field_id() {
    Cell word = *words::get(words::id);
    support::fire_error(ErrorId::script_invalid_spec_field, &word);
}

// ---------------------------------------------------------------- interim errors

// Without the catalogue an error is the cell the runtime starts with: the id
// in word 1 and a block of the three arguments in word 2.
void make_interim(Cell* result, ErrorId id, const Cell* a1, const Cell* a2, const Cell* a3) {
    NodeId args = 0;
    if (a1 || a2 || a3) {
        const Cell copies[3] = {a1 ? *a1 : shared_none_cell, a2 ? *a2 : shared_none_cell,
                                a3 ? *a3 : shared_none_cell};
        args = memory::alloc_cells(3);
        memory::SeriesBuffer* b = memory::buffer_of(args);
        for (int i = 0; i < 3; i++) b->cells()[i] = copies[i];
        b->tail = 48;
    }
    *result = Cell{TYPE_ERROR, uint32_t(id), args, 0};
}

void interim_argument(const Cell& arg, std::string& out) {
    char text[64];
    switch (arg.type()) {
        case TYPE_NONE: out += "none"; return;
        case TYPE_LOGIC: out += arg.data1 == 1 ? "true" : "false"; return;
        case TYPE_INTEGER: std::snprintf(text, sizeof text, "%d", arg.as_int()); break;
        case TYPE_FLOAT: std::snprintf(text, sizeof text, "%.16g", arg.as_double()); break;
        default: std::snprintf(text, sizeof text, "<value of type %u>", arg.type()); break;
    }
    out += text;
}

// The template's quoted pieces, with :argN and argN taking the arguments.
std::string interim_report(const Cell* error) {
    if (error->data1 >= uint32_t(ErrorId::count_)) return "*** Internal Error: invalid error";
    const ErrorInfo& info = error_info(ErrorId(error->data1));
    const Cell* args = error->data2 ? memory::buffer_of(error->data2)->cells() : nullptr;
    std::string text = std::string("*** ") + error_category_title(info.category) + ": ";
    bool first = true;
    for (const char* t = info.message; *t;) {
        if (*t == '"') {
            const char* end = std::strchr(t + 1, '"');
            if (!end) break;
            if (!first) text += ' ';
            text.append(t + 1, end - t - 1);
            first = false;
            t = end + 1;
        } else if (std::strncmp(t, ":arg", 4) == 0 || std::strncmp(t, "arg", 3) == 0) {
            const char* digit = t + (*t == ':' ? 4 : 3);
            int n = *digit - '1';
            if (!first) text += ' ';
            if (args && n >= 0 && n < 3) interim_argument(args[n], text);
            else text += "none";
            first = false;
            t = digit + 1;
        } else {
            t++;
        }
    }
    return text + "\n*** Where: ???";
}

// ---------------------------------------------------------------- making

// A copy of system/standard/error as an error! of class 1, at *result (a
// stack cell).
void new_error(Cell* result) {
    object::copy_into(system_data::standard_error(), result, false, nullptr);
    result->set_type(TYPE_ERROR);
    result->data2 = CLASS_ID;
    result->data3 = 0;
    *context::owner_of(result->data1) = *result;
}

void set_near(const Cell* error) {
    *field(error, NEAR) = g_code_position ? *g_code_position : shared_none_cell;
}

// code, type and id from a code of the live catalogue. Strict: a code the
// catalogue lacks raises out-of-range; else the answer is false.
bool set_from_code(const Cell* error, int32_t code, bool strict) {
    const Cell code_cell = integer_cell(code);
    *field(error, CODE) = code_cell;
    NodeId errors = catalog();
    uint32_t c = uint32_t(code / 100), i = uint32_t(code % 100) + 2;
    const Cell category = code >= 0 && c < count_of(errors) ? values_of(errors)[c] : shared_none_cell;
    if (!category.is(TYPE_OBJECT) || i >= count_of(category.data1)) {
        if (strict) support::fire_error(ErrorId::script_out_of_range, &code_cell);
        return false;
    }
    *field(error, TYPE) = bound_word(errors, c);
    *field(error, ID) = bound_word(category.data1, i);
    return true;
}

// type and id given as words: their indexes in the catalogue give the code.
// The fields code and type of a category are no ids.
void set_from_words(const Cell* error, const Cell& type, const Cell& id) {
    NodeId errors = catalog();
    int32_t c = type.is(TYPE_WORD) ? context::find_word(errors, type.data2, true) : -1;
    const Cell category = c < 0 ? shared_none_cell : values_of(errors)[c];
    if (!category.is(TYPE_OBJECT)) fire_spec_field(sym::type);
    int32_t i = id.is(TYPE_WORD) ? context::find_word(category.data1, id.data2, true) : -1;
    if (i < 2) fire_spec_field_id();
    Cell type_word = type, id_word = id;
    type_word.data1 = errors;
    type_word.data3 = uint32_t(c);
    id_word.data1 = category.data1;
    id_word.data3 = uint32_t(i);
    *field(error, TYPE) = type_word;
    *field(error, ID) = id_word;
    *field(error, CODE) = integer_cell(c * 100 + i - 2);
}

void make_from_block(Cell* result, const Cell& spec) {
    if (block::length_from_head(&spec) == 0) support::fire_error(ErrorId::internal_invalid_error);
    const Cell first = *block::cell_at(&spec, block::head_index(&spec));
    if (first.is(TYPE_WORD)) {
        if (context::find_word(catalog(), first.data2, true) < 0) fire_spec_field(sym::type);
        if (block::length_from_head(&spec) < 2) fire_spec_field_id();
        const Cell second = *block::cell_at(&spec, block::head_index(&spec) + 1);
        if (!second.is(TYPE_WORD)) support::fire_error(ErrorId::script_invalid_arg, &second);
        set_from_words(result, first, second);
    } else if (first.is(TYPE_SET_WORD)) {
        Cell* body = stack::push(&spec);
        context::bind_block(body, result->data1, true);
        object::evaluate(body);
        const Cell type = *field(result, TYPE), id = *field(result, ID);
        set_from_words(result, type, id);
    } else {
        support::fire_error(ErrorId::internal_invalid_error);
    }
}

// Making an error takes a few value-stack cells. On a full stack (the
// overflow error itself) the top cells are lent meanwhile: parked in the root
// block, where they stay reachable, and put back afterwards.
class StackRoom {
public:
    StackRoom() {
        int64_t short_by = MAKER_ROOM - (stack::g_end - stack::g_top);
        if (!stack::initialised() || short_by <= 0) return;
        m_count = int32_t(std::min<int64_t>(short_by, stack::g_top - stack::g_bottom));
        m_from = stack::g_top - m_count;
        Cell* root = symbols::root_block();
        m_root_at = block::length_from_start(root);
        for (int32_t i = 0; i < m_count; i++) *support::append_cell(root) = m_from[i];
        stack::g_top = m_from;
    }
    StackRoom(const StackRoom&) = delete;
    StackRoom& operator=(const StackRoom&) = delete;
    ~StackRoom() {
        if (!m_count) return;
        Cell* root = symbols::root_block();
        for (int32_t i = 0; i < m_count; i++) m_from[i] = *block::cell_at(root, m_root_at + i);
        block::set_tail_at(root, m_root_at);
        stack::g_top = m_from + m_count;
    }

private:
    static constexpr int64_t MAKER_ROOM = 32;
    Cell* m_from = nullptr;
    int32_t m_count = 0;
    int32_t m_root_at = 0;
};

// The installed maker: never raises for the catalogue's state, so an error
// can always be made.
void make_value(Cell* result, ErrorId id, const Cell* a1, const Cell* a2, const Cell* a3) {
    if (!system_data::ready()) {
        make_interim(result, id, a1, a2, a3);
        return;
    }
    // Copied first: an argument inside a series may move when we allocate.
    const Cell* given[3] = {a1, a2, a3};
    Cell args[3];
    for (int i = 0; i < 3; i++)
        if (given[i]) args[i] = *given[i];
    StackRoom room;
    Cell* saved = stack::g_top;
    Cell* error = stack::push_cell();
    *error = shared_none_cell;
    new_error(error);
    const ErrorInfo& info = error_info(id);
    if (!set_from_code(error, info.code, false)) {
        *field(error, TYPE) = unbound_word(info.category_name);
        *field(error, ID) = unbound_word(info.id_name);
    }
    set_near(error);
    for (int i = 0; i < 3; i++)
        if (given[i]) *field(error, Field(ARG1 + i)) = args[i];
    *result = *error;
    stack::g_top = saved;
}

// ---------------------------------------------------------------- forming

void append_string(Cell* buffer, const Cell& text) {
    for (int32_t i = std::max(string::head_index(&text), 0); i < string::length_from_start(&text); i++)
        string::append_char(string::buffer_of(buffer), string::char_at(&text, i));
}

// Limits a form or mold to `limit` characters, as /part does.
void append_limited(Cell* buffer, const Cell& value, bool formed, bool only, int32_t limit) {
    Cell v = value;
    Cell part = integer_cell(limit);
    int32_t start = string::length_from_start(buffer);
    Cell* saved = stack::g_top;
    stack::push_native_frame(words::get(words::body));
    if (formed) actions::form_direct(&v, buffer, &part, limit);
    else actions::mold_direct(&v, buffer, only, false, true, &part, limit, 0);
    stack::pop_frame();
    stack::g_top = saved;
    string::truncate_buffer(string::buffer_of(buffer), uint32_t(start + limit));
}

// The callee words of the frames below a recorded position, outermost first:
// those naming functions, or every named frame above trace level 1.
template <typename F> void walk_calls(int32_t level, uint32_t position, F each) {
    uint32_t hidden1 = words::get(words::body)->data2, hidden2 = words::get(words::anon)->data2;
    stack::CallFrame* end = stack::g_frame_bottom + std::min(position, stack::FRAME_STACK_RECORDS);
    for (stack::CallFrame* record = stack::g_frame_bottom; record < end; ++record) {
        uint32_t symbol = record->symbol();
        if (!symbol || symbol == hidden1 || symbol == hidden2 || record->library()) continue;
        NodeId names = record->name_context ? record->name_context : context::global();
        const Cell* value = context::find_word_value(symbol, names);
        if (level > 1 || (value && value->is(TYPE_FUNCTION))) each(context::resolve_symbol(0, symbol));
    }
}

// The template rule: strings as they are, argument words formed (syntax) or
// molded flat, each at most 80 characters, pieces joined by single spaces.
void append_template(Cell* buffer, const Cell& error, const Cell& pieces, const Cell* arg1) {
    bool syntax = symbol::canonical(get_type(&error)) ==
                  symbol::canonical(words::get(words::syntax)->data2);
    uint32_t arg1_symbol = symbol::canonical(object::word_at(error.data1, ARG1)->data2);
    int32_t head = std::max(block::head_index(&pieces), 0);
    int32_t n = block::length_from_start(&pieces);
    for (int32_t i = head; i < n; i++) {
        const Cell piece = *block::cell_at(&pieces, i);
        if (piece.is(TYPE_STRING)) {
            append_string(buffer, piece);
        } else if (piece.is(TYPE_WORD) || piece.is(TYPE_GET_WORD)) {
            bool substituted = arg1 && symbol::canonical(piece.data2) == arg1_symbol;
            const Cell value = substituted ? *arg1 : value_in(error, piece);
            append_limited(buffer, value, syntax, false, ARGUMENT_LIMIT);
        }
        if (i + 1 < n) string::append_c_string(buffer, " ");
    }
}

// The report. A type or id the catalogue lacks reads as internal invalid-error
// with that word as arg1; the error itself is left as it is.
void write_report(Cell* buffer, const Cell& error) {
    string::append_c_string(buffer, "*** ");
    const Cell errors = *system_data::catalog_errors();
    const Cell type = *field(&error, TYPE), id = *field(&error, ID);
    Cell category = value_in(errors, type);
    Cell message = value_in(category, id);
    Cell arg1;
    bool substituted = !category.is(TYPE_OBJECT) || message.is(TYPE_NONE);
    if (substituted) {
        arg1 = category.is(TYPE_OBJECT) ? id : type;
        category = value_in(errors, *words::get(words::internal));
        message = value_in(category, *words::get(words::invalid_error));
    }
    if (message.is(TYPE_WORD) || message.is(TYPE_LIT_WORD)) message = value_in(error, message);
    Cell title = value_in(category, *words::get(words::type));
    if (title.is(TYPE_STRING)) append_string(buffer, title);
    string::append_c_string(buffer, ": ");
    if (message.is(TYPE_STRING)) append_string(buffer, message);
    else if (message.is(TYPE_BLOCK)) append_template(buffer, error, message, substituted ? &arg1 : nullptr);

    string::append_c_string(buffer, "\n*** Where: ");
    Cell where = *field(&error, WHERE);
    if (word::any_word_type_q(where.type())) word::form(&where, buffer, nullptr, UNLIMITED);
    else if (where.is(TYPE_STRING)) append_string(buffer, where);
    else string::append_c_string(buffer, "???");

    string::append_c_string(buffer, "\n*** Near : ");
    append_limited(buffer, *field(&error, NEAR), false, true, NEAR_LIMIT);

    int32_t level = trace_level();
    Cell stack_value = *field(&error, STACK);
    if (level > 0 && stack_value.is(TYPE_INTEGER)) {
        string::append_c_string(buffer, "\n*** Stack: ");
        walk_calls(level, stack_value.data2, [buffer](Cell word) {
            word::form(&word, buffer, nullptr, UNLIMITED);
            string::append_c_string(buffer, " ");
        });
    } else if (level > 0 && stack_value.is(TYPE_BLOCK)) {
        string::append_c_string(buffer, "\n*** Stack: ");
        actions::form_direct(&stack_value, buffer, nullptr, UNLIMITED);
    }
    Cell files = *field(&error, FILES);
    if (files.is(TYPE_BLOCK)) {
        string::append_c_string(buffer, "\n*** Files: ");
        append_limited(buffer, files, false, true, NEAR_LIMIT);
    }
}

void put_utf8(std::string& out, uint32_t cp) {
    uint8_t bytes[4];
    out.append(reinterpret_cast<const char*>(bytes), unicode::encode_utf8_char(cp, bytes));
}

// The report goes out as C text: a NUL in a message is written as mold
// writes it, so the lines after it are not lost.
void form_value(const Cell* error, char* out, size_t size) {
    const std::string text = report(error);
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        if (c == '\0') escaped += "^@";
        else escaped += c;
    }
    std::snprintf(out, size, "%s", escaped.c_str());
}

int appended_since(const Cell* buffer, int32_t start) {
    return string::length_from_start(buffer) - start;
}

}  // namespace

bool known_code(int32_t code) {
    NodeId errors = catalog();
    uint32_t c = uint32_t(code / 100), i = uint32_t(code % 100) + 2;
    if (code < 0 || c >= count_of(errors)) return false;
    const Cell category = values_of(errors)[c];
    return category.is(TYPE_OBJECT) && i < count_of(category.data1);
}


// ---------------------------------------------------------------- queries

bool real_q(const Cell* value) {
    return value->is(TYPE_ERROR) && value->data2 == CLASS_ID && value->data3 == 0 &&
           value->data1 != 0 && system_data::ready();
}

Cell* field(const Cell* error, Field f) { return values_of(error->data1) + f; }

ErrorId id_of(const Cell* error) {
    const Cell code = *field(error, CODE);
    if (!code.is(TYPE_INTEGER)) return ErrorId::count_;
    uint32_t low = 0, high = uint32_t(ErrorId::count_);
    while (low < high) {
        uint32_t mid = (low + high) / 2;
        if (error_info(ErrorId(mid)).code < code.as_int()) low = mid + 1;
        else high = mid;
    }
    bool found = low < uint32_t(ErrorId::count_) && error_info(ErrorId(low)).code == code.as_int();
    return found ? ErrorId(low) : ErrorId::count_;
}

uint32_t get_type(const Cell* error) {
    const Cell* type = field(error, TYPE);
    return word::any_word_type_q(type->type()) ? type->data2 : 0;
}

uint32_t get_id(const Cell* error) {
    const Cell* id = field(error, ID);
    return word::any_word_type_q(id->type()) ? id->data2 : 0;
}

// ---------------------------------------------------------------- making

Cell* create(const Cell* category, const Cell* id, const Cell* arg1, const Cell* arg2,
             const Cell* arg3) {
    const Cell* given[3] = {arg1, arg2, arg3};
    Cell args[3];
    for (int i = 0; i < 3; i++)
        if (given[i]) args[i] = *given[i];
    const Cell type = *category, name = *id;
    Cell* spec = block::push_new(2);
    block::append_cell(spec, &type);
    block::append_cell(spec, &name);
    Cell proto = make_cell(TYPE_DATATYPE, TYPE_ERROR);
    Cell* error = make(&proto, spec, TYPE_ERROR);
    for (int i = 0; i < 3; i++)
        if (given[i]) *field(error, Field(ARG1 + i)) = args[i];
    *spec = *error;
    stack::g_top = spec + 1;
    return spec;
}

Cell* make(Cell*, Cell* spec, int) {
    const Cell s = *spec;
    Cell* result = stack::push_cell();
    *result = shared_none_cell;
    if (s.is(TYPE_STRING)) {
        const Cell category = *words::get(words::user), id = unbound_word("message");
        Cell* made = create(&category, &id, &s);
        *result = *made;
        stack::g_top = result + 1;
        return result;
    }
    new_error(result);
    switch (s.type()) {
        case TYPE_INTEGER:
            set_from_code(result, s.as_int(), true);
            break;
        case TYPE_BLOCK:
            make_from_block(result, s);
            break;
        default: {
            Cell type = make_cell(TYPE_DATATYPE, TYPE_ERROR);
            support::fire_error(ErrorId::script_bad_make_arg, &type, &s);
        }
    }
    set_near(result);
    stack::g_top = result + 1;
    return result;
}

void set_where(const Cell* error, const Cell* value) {
    Cell* where = field(error, WHERE);
    if (where->is(TYPE_NONE)) *where = *value;
}

void set_stack_position(const Cell* error, uint32_t position) {
    Cell* slot = field(error, STACK);
    if (!slot->is(TYPE_BLOCK)) *slot = integer_cell(int32_t(position));
}

void record_stack(Cell* value) {
    if (!real_q(value)) return;
    const Cell error = *value;
    const Cell position = *field(&error, STACK);
    if (!position.is(TYPE_INTEGER)) return;
    int32_t level = trace_level();
    Cell* saved = stack::g_top;
    Cell* names = block::push_new(20);
    walk_calls(level > 0 ? level : 1, position.data2,
               [names](Cell word) { block::append_cell(names, &word); });
    *field(&error, STACK) = *names;
    if (g_source_files) {
        const Cell files = g_source_files();
        if (block::any_block_q(files.type()) && !block::at_tail_q(&files)) {
            Cell* copy = block::clone(&files, false, false);
            *field(&error, FILES) = *copy;
        }
    }
    stack::g_top = saved;
}

void set_code_position(const Cell* cell) { g_code_position = cell; }
void set_trace_level_reader(TraceLevelReader reader) { g_trace_level = reader; }
void set_source_files_reader(SourceFilesReader reader) { g_source_files = reader; }

std::string report(const Cell* error) {
    if (!real_q(error)) return interim_report(error);
    const Cell e = *error;
    Cell* saved = stack::g_top;
    Cell* buffer = string::make_empty_at(stack::push_cell(), 256);
    write_report(buffer, e);
    std::string out;
    for (int32_t i = 0; i < string::length_from_start(buffer); i++)
        put_utf8(out, string::char_at(buffer, i));
    stack::g_top = saved;
    return out;
}

// ---------------------------------------------------------------- actions

int form(Cell* value, Cell* buffer, Cell*, int part) {
    int32_t start = string::length_from_start(buffer);
    if (real_q(value)) {
        write_report(buffer, *value);
    } else {
        std::string text = interim_report(value);
        string::append_utf8(buffer, text.data(), uint32_t(text.size()));
    }
    return part - appended_since(buffer, start);
}

int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent) {
    if (!real_q(value)) return form(value, buffer, arg, part);
    if (!only) {
        string::append_c_string(buffer, "make error! [");
        part -= 13;
    }
    part = object::mold_fields(value, buffer, only, all, flat, arg, part, true, indent + 1, true);
    if (indent > 0) part = support::mold_indent(buffer, indent, part);
    if (!only) {
        string::append_c_string(buffer, "]");
        part -= 1;
    }
    return part;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify) {
    if (!real_q(parent)) not_done_raise();
    return object::eval_path(parent, element, value, path, grandparent, previous, index, case_,
                             get, last, notify);
}

// Compared as objects; the operands are not retyped in place.
int compare(Cell* value1, Cell* value2, int op) {
    if (!value2->is(TYPE_ERROR)) return COMPARE_UNCOMPARABLE;
    if (!real_q(value1) || !real_q(value2))
        return value1->data1 == value2->data1 && value1->data2 == value2->data2 ? 0 : COMPARE_UNCOMPARABLE;
    Cell a = *value1, b = *value2;
    b.set_type(TYPE_OBJECT);
    return object::compare(&a, &b, op);
}

void register_type() {
    support::set_error_maker(&make_value);
    support::set_error_former(&form_value);
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(&make), E, inherit<A_REFLECT>(), E, own<A_FORM>(&form),
        /*  6 */ own<A_MOLD>(&mold), own<A_EVAL_PATH>(&eval_path), E, own<A_COMPARE>(&compare),
        /* 10 */ E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, E, E, E, E, inherit<A_COPY>(),
        /* 31 */ inherit<A_FIND>(), E, E, E, E, E, E, E,
        /* 39 */ E, E, E, E, E, inherit<A_SELECT>(), E, E,
        /* 47 */ E, E, E, E, E, E, E, E,
        /* 55 */ E, E, E, E, E, E, E, E);
    registry::register_type(TYPE_ERROR, TYPE_OBJECT, "error!", slots);
}

}  // namespace zun::error
