#include "services/zunbin_state.hpp"

#include <cstring>

#include "core/collector.hpp"
#include "core/hashtable.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/series/map.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/native_table.hpp"
#include "interpreter/stack.hpp"
#include "services/image_record.hpp"

namespace zun::zunbin {

DecodeState g_decode;
WriterState g_writer;
bool g_codec_q = true;

namespace {

constexpr uint32_t CELL = sizeof(Cell);


uint32_t read_u32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

bool word_type_q(uint32_t type) { return type >= TYPE_WORD && type <= TYPE_REFINEMENT; }

// Spec (index 0, then optionally a spec cell) and body (index 1) of a
// function, op, or the owner of a word bound to a function's arguments.
const Cell* function_step(const Cell& fn, const uint32_t* indexes, uint32_t count, uint32_t& i,
                          const uint8_t* position, Cell& scratch) {
    const uint32_t k = indexes[i];
    if (k == 0) {
        if (i + 1 == count) {
            scratch = make_cell(TYPE_BLOCK, 0, fn.data2, 0);
            return &scratch;
        }
        const uint32_t j = indexes[++i];
        if (j >= cells_in(fn.data2)) invalid_record(position);
        return cells_of(fn.data2) + j;
    }
    if (k == 1 && fn.is(TYPE_FUNCTION)) {
        const Cell* body = function::more_cell(&fn, function::MORE_BODY);
        if (!body->is(TYPE_BLOCK)) invalid_record(position);
        return body;
    }
    invalid_record(position);
}

}  // namespace

// ---------------------------------------------------------------- decoding

void invalid_record(const uint8_t* position) {
    const Cell index = integer_cell(int32_t(position - g_decode.origin + 1));
    if (g_decode.fatal) {
        Cell error;
        support::make_error(&error, ErrorId::script_zb_invalid_record, &index);
        stack::top_level_handler(&error);
    }
    support::fire_error(ErrorId::script_zb_invalid_record, &index);
}

void no_codec_type(uint32_t type) {
    const Cell datatype = make_cell(TYPE_DATATYPE, type);
    support::fire_error(ErrorId::access_no_codec, &datatype);
}

const Cell* resolve_path(const uint32_t* indexes, uint32_t count, const uint8_t* position) {
    static Cell scratch;
    const Cell* at = &g_decode.root;
    for (uint32_t i = 0; i < count; i++) {
        const Cell current = *at;
        const uint32_t k = indexes[i];
        const uint32_t type = current.type();
        NodeId values = 0;
        uint32_t first = 0;
        if (block::any_block_q(type) || type == TYPE_MAP) {
            values = current.data2;
        } else if (type == TYPE_OBJECT || type == TYPE_ERROR) {
            values = context::cell_of(current.data1)->data2;
            if (type == TYPE_ERROR) first = error::ARG1;
        } else if (word_type_q(type)) {
            if (!current.data1) invalid_record(position);
            const Cell* c = context::cell_of(current.data1);
            if (c->header & context::STACK_FLAG) {
                const Cell owner = *context::owner_of(current.data1);
                if (!owner.is(TYPE_FUNCTION)) invalid_record(position);
                at = function_step(owner, indexes, count, i, position, scratch);
                continue;
            }
            values = c->data2;
        } else if (type == TYPE_NATIVE || type == TYPE_ACTION) {
            values = current.data2;
        } else if (type == TYPE_FUNCTION || type == TYPE_OP) {
            at = function_step(current, indexes, count, i, position, scratch);
            continue;
        } else {
            invalid_record(position);
        }
        if (!values || uint64_t(k) + first >= cells_in(values)) invalid_record(position);
        at = cells_of(values) + first + k;
    }
    return at;
}

uint32_t table_symbol(uint32_t i, const uint8_t* position) {
    if (!g_decode.offsets || i >= g_decode.symbol_count) invalid_record(position);
    const bool cached = i < g_decode.interned.size();
    if (cached && g_decode.interned[i]) return g_decode.interned[i];
    const uint32_t offset = read_u32(g_decode.offsets + 4 * uint64_t(i));
    if (offset >= g_decode.names_size) invalid_record(position);
    const char* name = reinterpret_cast<const char*>(g_decode.names) + offset;
    const size_t length = strnlen(name, g_decode.names_size - offset);
    const uint32_t id = symbol::make_from_buffer(name, length);
    if (cached) g_decode.interned[i] = id;
    return id;
}

bool series_value_q(uint32_t type) {
    switch (type) {
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: case TYPE_STRING: case TYPE_FILE: case TYPE_URL:
        case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
        case TYPE_IMAGE: case TYPE_MAP: case TYPE_BITSET:
            return true;
        default:
            return false;
    }
}

Cell image_value(uint32_t width, uint32_t height, const uint8_t* pixels, uint32_t head,
                 uint32_t line) {
    Cell made = make_cell(TYPE_NONE);
    const NodeId record =
        width && height ? image_codec::bitmap_from_memory(width, height, 0, pixels) : 0;
    image::make_at(&made, record, width, height);
    made.data1 = head;
    made.header |= line;
    return made;
}

const uint8_t* image_pixels(const Cell& image) {
    if (!image.data2 || !image::width_of(&image) || !image::height_of(&image)) return nullptr;
    return reinterpret_cast<const uint8_t*>(image_codec::get_bitmap(image.data2));
}

// Bound as the lexer binds: added to the global context when missing.
Cell global_word(uint32_t header, uint32_t symbol) {
    Cell word = make_cell(TYPE_WORD, context::global(), symbol, context::NO_INDEX);
    word.data3 = uint32_t(context::add_word(context::global(), &word));
    word.header = header;
    return word;
}

void check_word_index(NodeId context, uint32_t symbol, int32_t index, const uint8_t* position) {
    if (index < 0 || uint32_t(index) >= context::word_count(context)) invalid_record(position);
    const Cell* word = cells_of(context::word_block(context)) + index;
    if (symbol::canonical(word->data2) != symbol::canonical(symbol)) invalid_record(position);
}

NodeId literal_context(int32_t literal, const uint8_t* position) {
    const Cell root = g_decode.root;
    const int64_t at = int64_t(g_decode.literal_base) + literal;
    if (literal < 0 || at >= cells_in(root.data2)) invalid_record(position);
    const Cell value = cells_of(root.data2)[at];
    switch (value.type()) {
        case TYPE_OBJECT: case TYPE_FUNCTION: case TYPE_ERROR:
            return value.data1;
        default:
            invalid_record(position);
    }
}

Cell* push_native(uint32_t type, uint32_t index, const Cell* spec, const uint8_t* position) {
    const bool native = type == TYPE_NATIVE;
    const uint32_t limit = native ? natives::NATIVE_COUNT : uint32_t(ACTION_COUNT);
    if (index < 1 || index > limit) invalid_record(position);
    if (native ? !natives::g_table[index - 1] : !actions::g_dispatch_table[index - 1])
        invalid_record(position);
    if (!spec->is(TYPE_BLOCK)) invalid_record(position);
    return native::push(type, spec, index);
}

void make_op(NodeId destination, uint32_t home, uint32_t line, const uint8_t* position) {
    if (cells_in(destination) != home + 1) invalid_record(position);
    Cell* wrapped = cells_of(destination) + home;
    const uint32_t t = wrapped->type();
    if (t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_FUNCTION) invalid_record(position);
    if (t == TYPE_FUNCTION) {
        Cell plain = *wrapped;
        plain.header = TYPE_FUNCTION;
        *function::more_cell(wrapped, function::MORE_OP_FUNCTION) = plain;
    }
    wrapped = cells_of(destination) + home;
    wrapped->header = TYPE_OP | t << 16 | line;
}

void read_native(NodeId destination, uint32_t type, uint32_t index, uint32_t line,
                 const uint8_t* position, void (*read_spec)(void* reader, NodeId into), void* reader) {
    stack::StackScope scope;
    Cell* holder = stack::push_cell();
    block::make_at(holder, 1);
    const uint32_t slot = cells_in(destination);
    if (!g_codec_q) *support::alloc_tail_cell(destination) = make_cell(TYPE_UNSET);
    const NodeId into = g_codec_q ? holder->data2 : destination;
    const uint32_t before = cells_in(into);
    read_spec(reader, into);
    if (cells_in(into) != before + 1) invalid_record(position);
    const Cell spec = cells_of(into)[before];
    Cell value = *push_native(type, index, &spec, position);
    value.header |= line;
    // Boot data: the natives and actions start-up makes; natives made later
    // by index take their spec from these.
    if (!g_codec_q) native::record_own_spec(type, index, spec.data2);
    if (g_codec_q) *support::alloc_tail_cell(destination) = value;
    else cells_of(destination)[slot] = value;
}

void read_error(NodeId destination, int32_t code, uint32_t line, const uint8_t* position,
                void (*read_field)(void* reader, NodeId into), void* reader) {
    if (!error::known_code(code)) invalid_record(position);
    const uint32_t home = cells_in(destination);
    {
        stack::StackScope scope;
        Cell spec = integer_cell(code);
        Cell made = *error::make(nullptr, &spec, TYPE_ERROR);
        made.header |= line;
        append(destination, made);
    }
    const NodeId values = context::cell_of(cells_of(destination)[home].data1)->data2;
    const Cell files = cells_of(values)[error::FILES];
    cut_back(values, error::ARG1);
    for (uint32_t f = error::ARG1; f <= error::STACK; f++) read_field(reader, values);
    if (cells_in(values) != error::FILES) invalid_record(position);
    append(values, files);
}

void finish_object(NodeId context) {
    Cell object = *context::owner_of(context);
    const NodeId info = object::build_on_set_info(context);
    if (object.data3) {
        Cell* cells = cells_of(object.data3);
        const Cell absent = make_cell(TYPE_PAIR, 0, object::NO_HANDLER << 16, 0);
        cells[0] = info ? cells_of(info)[0] : absent;
        cells[1] = info ? cells_of(info)[1] : absent;
    } else {
        object.data3 = info;
        *context::owner_of(context) = object;
    }
    if (object.data3 && object::has_deep_handler_q(&object))
        ownership::set_owner(&object, &object, &shared_none_cell);
}

NodeId make_context(const std::vector<uint32_t>& symbols, uint32_t kind, bool stack, bool owner,
                    const uint8_t* position) {
    const uint32_t n = uint32_t(symbols.size());
    const NodeId context = context::create(n, stack, owner, 0, kind);
    for (uint32_t symbol : symbols) {
        const Cell word = make_cell(TYPE_WORD, 0, symbol, context::NO_INDEX);
        context::add_word(context, &word);
    }
    if (context::word_count(context) != n) invalid_record(position);
    return context;
}

NodeId owner_context_of(const Cell& value, const uint8_t* position) {
    switch (value.type()) {
        case TYPE_OBJECT: case TYPE_FUNCTION: case TYPE_OP: case TYPE_WORD: case TYPE_SET_WORD:
        case TYPE_LIT_WORD: case TYPE_GET_WORD:
            if (value.data1) return value.data1;
            [[fallthrough]];
        default:
            invalid_record(position);
    }
}

namespace {

void index_map(Cell* cell, const uint8_t* position) {
    const uint32_t n = cells_in(cell->data2);
    if (n % 2) invalid_record(position);
    for (uint32_t i = 0; i < n; i += 2)
        if (!map::valid_key_type_q(cells_of(cell->data2)[i].type())) invalid_record(position);
    const Cell block = *cell;
    const uint32_t line = cell->header & NEW_LINE_FLAG;
    map::make_at(cell, &block, 0);
    cell->header |= line;
}

}  // namespace

void read_block(NodeId destination, uint32_t header, uint32_t head, uint32_t n,
                const uint8_t* position, void (*read_cell)(void* reader, NodeId into), void* reader) {
    const uint32_t type = header & TYPE_MASK;
    const NodeId node = memory::alloc_cells(std::max(n, 1u));
    const uint32_t home = cells_in(destination);
    append(destination, make_cell((type == TYPE_MAP ? TYPE_BLOCK : type) | (header & NEW_LINE_FLAG), head, node, 0));
    for (uint32_t i = 0; i < n; i++) read_cell(reader, node);
    if (type != TYPE_HASH && type != TYPE_MAP) return;
    stack::StackScope scope;
    Cell* made = stack::push(cells_of(destination) + home);
    if (type == TYPE_HASH) {
        made->data3 = hashtable::make(std::max(cells_in(made->data2), 1u), made->data2, hashtable::KIND_HASH, 0);
    } else {
        index_map(made, position);
    }
    cells_of(destination)[home] = *made;
}

uint32_t live_entries(const Cell& map) {
    uint32_t live = 0;
    const uint32_t n = cells_in(map.data2);
    for (uint32_t i = 0; i + 1 < n; i += 2) live += cells_of(map.data2)[i + 1].header != 0;
    return live;
}

Cell make_function(NodeId context, uint32_t spec_cells, uint32_t body_cells) {
    const NodeId spec = memory::alloc_cells(std::max(spec_cells, 1u));
    const NodeId more = memory::alloc_unset_cells(function::MORE_CELLS);
    memory::buffer_of(more)->tail = memory::buffer_of(more)->head + function::MORE_CELLS * CELL;
    const NodeId body = memory::alloc_cells(std::max(body_cells, 1u));
    cells_of(more)[function::MORE_BODY] = make_cell(TYPE_BLOCK, 0, body, 0);
    const Cell fn = make_cell(TYPE_FUNCTION, context, spec, more);
    *context::owner_of(context) = fn;
    return fn;
}

// ---------------------------------------------------------------- encoding

void WriterState::reset() {
    counter = 0;
    levels.clear();
    references.clear();
    paths.clear();
    symbol_index.clear();
    symbols.clear();
    names.clear();
    if (levels.capacity() > 1024) levels.shrink_to_fit();
    if (paths.capacity() > 16384) paths.shrink_to_fit();
}

void WriterState::record(NodeId node) {
    bool added;
    if (node) references.insert(node, uint32_t(paths.size()), &added);
    paths.push_back(uint32_t(levels.size()));
    paths.insert(paths.end(), levels.begin(), levels.end());
}

uint32_t WriterState::symbol(uint32_t id) {
    bool added;
    const uint32_t index = symbol_index.insert(id, uint32_t(symbols.size()), &added);
    if (added) {
        symbols.push_back(id);
        names.emplace_back(symbol::name(id));
    }
    return index;
}

FunctionBlocks function_blocks(const Cell& function) {
    Cell body = *function::more_cell(&function, function::MORE_BODY);
    if (block::any_block_q(body.type()) && body.data2) body.header = TYPE_BLOCK;
    else body = make_cell(TYPE_BLOCK, 0, memory::alloc_cells(1), 0);
    return FunctionBlocks{make_cell(TYPE_BLOCK, 0, function.data2, 0), body, cells_in(function.data2),
                          uint32_t(block::length_from_head(&body))};
}

Sharing begin_sharing(const Cell& value) {
    Sharing s;
    const uint32_t type = value.type();
    if (!shareable_q(type)) return s;
    const NodeId key = sharing_key(value);
    if (key == 0 && type != TYPE_OBJECT && type != TYPE_FUNCTION) return s;  // a global word
    s.shared = g_writer.find(key);
    if (!s.shared) {
        g_writer.push_level();
        g_writer.record(key);
        s.first = true;
    }
    return s;
}

void no_codec(const Cell* value) {
    g_writer.reset();
    const Cell copy = *value;
    support::fire_error(ErrorId::access_no_codec, &copy);
}

NodeId word_context(const Cell& word) {
    const NodeId context = word.data1;
    if (!context || context == context::global()) return 0;
    switch (context::owner_of(context)->type()) {
        case TYPE_NONE: case TYPE_UNSET: case TYPE_BLOCK:
            return 0;
        default:
            return context;
    }
}

bool shareable_q(uint32_t type) {
    return series_value_q(type) || word_type_q(type) || type == TYPE_OBJECT ||
           type == TYPE_FUNCTION;
}

NodeId sharing_key(const Cell& value) {
    const uint32_t type = value.type();
    if (word_type_q(type)) return word_context(value);
    if (type == TYPE_OBJECT || type == TYPE_FUNCTION) return value.data1;
    return value.data2;
}

bool unwritable_q(uint32_t type) {
    switch (type) {
        case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
        case TYPE_SYMBOL: case TYPE_CONTEXT: case TYPE_SERIES:
            return true;
        default:
            return type == 0 || type > TYPE_EVENT;
    }
}

uint32_t native_index(const Cell& value) { return value.data1; }

void Depth::too_deep() {
    s_depth--;
    support::fire_error(ErrorId::internal_stack_overflow);
}

CollectorPause::CollectorPause() : m_was(collector::enabled()) { collector::set_enabled(false); }
CollectorPause::~CollectorPause() { collector::set_enabled(m_was); }

}  // namespace zun::zunbin
