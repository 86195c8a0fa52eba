#include "core/support.hpp"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#include "core/runtime.hpp"
#include "datatypes/error.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/stack.hpp"

namespace zun {

namespace {
constexpr ErrorInfo k_errors[] = {
#define ZUN_ERROR(sym, code, cat, cat_name, id_name, message) \
    {code, cat, cat_name, id_name, message},
#include "error_catalog.inc"
#undef ZUN_ERROR
};
constexpr const char* k_titles[] = {
#define ZUN_ERROR(sym, code, cat, cat_name, id_name, message)
#define ZUN_ERROR_CATEGORY(index, name, title) title,
#include "error_catalog.inc"
#undef ZUN_ERROR_CATEGORY
#undef ZUN_ERROR
};
}  // namespace

const ErrorInfo& error_info(ErrorId id) { return k_errors[size_t(id)]; }

const char* error_category_title(uint8_t category) {
    return category < std::size(k_titles) ? k_titles[category] : "Error";
}

}  // namespace zun

namespace zun::support {

Cell* alloc_tail_cell(NodeId block_node) {
    memory::SeriesBuffer* b = memory::buffer_of(block_node);
    if (b->tail + 16 > b->size) b = memory::expand_series(b, int64_t(b->size) * 2);
    Cell* cell = b->tail_cell();
    cell->header = TYPE_UNSET;
    b->tail += 16;
    return cell;
}

Cell* append_cell(const Cell* block) { return alloc_tail_cell(block->data2); }

uint8_t* reserve_bytes(NodeId node, uint32_t n) {
    memory::SeriesBuffer* b = memory::buffer_of(node);
    if (uint64_t(b->tail) + n > b->size) {
        int64_t grow = n > b->size ? int64_t(n) * 2 : int64_t(b->size) * 2;
        b = memory::expand_series(b, grow);
    }
    uint8_t* old_tail = b->tail_ptr();
    b->tail += n;
    return old_tail;
}

uint8_t* replicate_bytes(uint8_t* start, int32_t n, int32_t count) {
    if (n <= 0 || count <= 0) return start;
    size_t total = size_t(n) * size_t(count);
    size_t done = size_t(n);
    while (done * 2 <= total) {
        std::memcpy(start + done, start, done);
        done *= 2;
    }
    if (done < total) std::memcpy(start + done, start, total - done);
    return start + total;
}

namespace {
NodeId g_literals = 0;
uint32_t g_literal_base = 0;

void interim_make_error(Cell* result, ErrorId id, const Cell* a1, const Cell* a2,
                        const Cell* a3) {
    NodeId args = 0;
    if (a1 || a2 || a3) {
        // Copy first: an argument inside a series may move when we allocate.
        const Cell none{TYPE_NONE, 0, 0, 0};
        const Cell copies[3] = {a1 ? *a1 : none, a2 ? *a2 : none, a3 ? *a3 : none};
        args = memory::alloc_cells(3);
        memory::SeriesBuffer* b = memory::buffer_of(args);
        for (int i = 0; i < 3; i++) b->cells()[i] = copies[i];
        b->tail = 48;
    }
    *result = Cell{TYPE_ERROR, uint32_t(id), args, 0};
}

// Appends the text of a simple argument; values whose form comes later show
// their datatype.
void interim_arg_text(const Cell* arg, std::string& out) {
    char buf[64];
    switch (arg->type()) {
    case TYPE_NONE: out += "none"; return;
    case TYPE_LOGIC: out += arg->data1 == 1 ? "true" : "false"; return;
    case TYPE_INTEGER: std::snprintf(buf, sizeof buf, "%d", arg->as_int()); break;
    case TYPE_FLOAT: std::snprintf(buf, sizeof buf, "%.16g", arg->as_double()); break;
    default: std::snprintf(buf, sizeof buf, "<value of type %u>", arg->type()); break;
    }
    out += buf;
}

// Fills a template: quoted pieces are copied, :argN and argN take the arguments.
void interim_form_error(const Cell* error, char* out, size_t size) {
    ErrorId id = error_id_of(error);
    const ErrorInfo& info = error_info(id);
    const Cell* args = error->data2 ? memory::buffer_of(error->data2)->cells() : nullptr;
    std::string text = "*** ";
    text += error_category_title(info.category);
    text += ": ";
    const char* t = info.message;
    bool first = true;
    while (*t) {
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
            if (args && n >= 0 && n < 3) interim_arg_text(&args[n], text);
            else text += "none";
            first = false;
            t = digit + 1;
        } else {
            t++;
        }
    }
    text += "\n*** Where: ???";
    std::snprintf(out, size, "%s", text.c_str());
}

ErrorMaker g_maker = interim_make_error;
ErrorFormer g_former = interim_form_error;
}  // namespace

void set_boot_literals(NodeId block, uint32_t first_index) {
    g_literals = block;
    g_literal_base = first_index;
}

Cell* boot_literal(uint32_t i) {
    return memory::buffer_of(g_literals)->cells() + g_literal_base + i;
}

uint32_t boot_literal_ref(uint32_t i) { return boot_literal(i)->data1; }

void set_error_maker(ErrorMaker maker) { g_maker = maker; }

namespace {
ErrorTracer g_error_tracer = nullptr;
}
void set_error_tracer(ErrorTracer tracer) { g_error_tracer = tracer; }
void set_error_former(ErrorFormer former) { g_former = former; }

void make_error(Cell* result, ErrorId id, const Cell* a1, const Cell* a2, const Cell* a3) {
    g_maker(result, id, a1, a2, a3);
}

void form_error(const Cell* error, char* out, size_t size) { g_former(error, out, size); }

ErrorId error_id_of(const Cell* error) {
    return error::real_q(error) ? error::id_of(error) : ErrorId(error->data1);
}

void fire_error(ErrorId id, const Cell* a1, const Cell* a2, const Cell* a3) {
    // The arguments may lie on the value stack: make the error before pushing.
    Cell error;
    g_maker(&error, id, a1, a2, a3);
    Cell* slot = stack::initialised() ? stack::push(&error) : &error;
    if (g_error_tracer) [[unlikely]]
        g_error_tracer(slot);
    stack::throw_error(slot);
}

void fire_invalid_type(uint32_t type) {
    Cell datatype = datatype_cell(type);
    fire_error(ErrorId::script_invalid_type, &datatype);
}

void fire_bad_to(uint32_t type, const Cell* spec) {
    Cell datatype = datatype_cell(type);
    fire_error(ErrorId::script_bad_to_arg, &datatype, spec);
}

void fire_make_error(const Cell* type, const Cell* spec) {
    fire_error(ErrorId::script_bad_make_arg, type, spec);
}

int32_t to_int_checked(const Cell* value) {
    if (value->is(TYPE_INTEGER)) return value->as_int();
    double d = value->as_double();
    if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0)
        fire_error(ErrorId::script_out_of_range, value);
    return int32_t(d);
}

int mold_indent(Cell* buffer, int level, int limit) {
    for (int i = 0; i < level; i++) string::append_c_string(buffer, "    ");
    return limit - 4 * level;
}

}  // namespace zun::support

namespace zun::interpreter {

namespace {
const char* cycle_marker(uint32_t type, bool mold) {
    if (!mold) return "...";
    switch (type) {
    case TYPE_BLOCK:
    case TYPE_HASH: return "[...]";
    case TYPE_PAREN: return "(...)";
    case TYPE_MAP: return "#[...]";
    case TYPE_OBJECT: return "make object! [...]";
    default: return "...";
    }
}
}  // namespace

bool mold_cycle_marker(const Cell* value, Cell* buffer, int* limit, bool mold) {
    // Objects, errors and ports are walked through their context, any series
    // through its buffer's node.
    const uint32_t type = value->type();
    const bool context = type == TYPE_OBJECT || type == TYPE_ERROR || type == TYPE_PORT;
    NodeId node = context ? value->data1 : value->data2;
    if (!cycles::find(node)) return false;
    const char* marker = cycle_marker(value->type(), mold);
    string::append_c_string(buffer, marker);
    *limit -= int(std::strlen(marker));
    return true;
}

}  // namespace zun::interpreter

namespace zun::cycles {

namespace {
NodeId* g_base = nullptr;
int g_pos = 0;
}  // namespace

void init() {
    if (!g_base) g_base = static_cast<NodeId*>(runtime::allocate(CAPACITY * sizeof(NodeId)));
    g_pos = 0;
}

void push(NodeId node) {
    g_base[g_pos++] = node;
    if (g_pos >= CAPACITY) {
        g_pos = 0;
        support::fire_error(ErrorId::internal_too_deep);
    }
}

void pop() {
    if (g_pos > 0) g_pos--;
}

void drop(int n) { g_pos = n < g_pos ? g_pos - n : 0; }
void reset() { g_pos = 0; }

bool find(NodeId node) {
    for (int i = 0; i < g_pos; i++)
        if (g_base[i] == node) return true;
    return false;
}

int depth() { return g_pos; }

}  // namespace zun::cycles
