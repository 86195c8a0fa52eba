// The word-aligned reader: records of 32-bit words, appended at the tail of a
// destination block; every record is checked against the end of the records.
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/money.hpp"
#include "datatypes/series/bitset.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "services/zunbin.hpp"
#include "services/zunbin_compact.hpp"
#include "datatypes/series/image.hpp"
#include "services/image_record.hpp"
#include "services/zunbin_state.hpp"

namespace zun::zunbin {

namespace {

using namespace aligned;

constexpr uint32_t CELL = sizeof(Cell);
constexpr uint32_t MAX_REFERENCE = 65536;



uint32_t load(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

class AlignedReader {
public:
    AlignedReader(const uint8_t* position, const uint8_t* end, const uint8_t* start)
        : p(position), m_end(end), m_start(start) {}
    const uint8_t* p;
    void read_value(NodeId destination);

private:
    const uint8_t* m_end;
    const uint8_t* m_start;  // of the records: padding counts from here
    std::vector<uint32_t> m_indexes;

    uint32_t dword() {
        if (m_end - p < 4) invalid_record(p);
        const uint32_t v = load(p);
        p += 4;
        return v;
    }
    void need(uint64_t n, const uint8_t* at) {
        if (n > uint64_t(m_end - p)) invalid_record(at);
    }
    void align() {
        while ((p - m_start) % 4) p++;
    }
    const Cell* reference();
    void read_series(NodeId destination, uint32_t h, const uint8_t* at);
    NodeId read_owner(uint32_t h, const uint8_t* at, uint32_t line, const auto& place);
    void read_context_values(NodeId context, uint32_t ch, uint32_t n);
    void read_function_block(NodeId context, bool spec);
    Cell read_word(uint32_t h, const uint8_t* at, NodeId destination);
    Cell read_boot_word(uint32_t h, const uint8_t* at, NodeId destination, bool& set);
};

const Cell* AlignedReader::reference() {
    const uint8_t* at = p;
    if (dword() != REFERENCE) invalid_record(at);
    const uint32_t n = dword();
    if (n == 0 || n > MAX_REFERENCE) invalid_record(at);
    need(4ull * n, at);
    if (m_indexes.size() < n) m_indexes.resize(n + 32);
    for (uint32_t i = 0; i < n; i++) m_indexes[i] = dword();
    return resolve_path(m_indexes.data(), n, at);
}

void AlignedReader::read_value(NodeId destination) {
    Depth depth;
    const uint8_t* at = p;
    uint32_t h = dword();
    while ((h & 0xFF) == 0) {  // padding
        at = p;
        h = dword();
    }
    const uint32_t type = h & 0xFF;
    const uint32_t line = (h & NEW_LINE_BIT) ? NEW_LINE_FLAG : 0;
    const bool shared = h & SHARED_BIT;
    switch (type) {
        case TYPE_UNSET: case TYPE_NONE:
            append(destination, make_cell(type | line));
            return;
        case TYPE_DATATYPE: case TYPE_LOGIC: {
            const uint32_t w1 = dword();
            if (type == TYPE_DATATYPE && (w1 == 0 || w1 > TYPE_EVENT)) invalid_record(at);
            append(destination, make_cell(type | line, type == TYPE_LOGIC ? uint32_t(w1 != 0) : w1));
            return;
        }
        case TYPE_CHAR: case TYPE_INTEGER:
            append(destination, make_cell(type | line, 0, dword()));
            return;
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
            need(8, at);
            const uint32_t high = dword(), low = dword();
            append(destination, make_cell(type | line, 0, low, high));
            return;
        }
        case TYPE_PAIR: {
            need(8, at);
            const uint32_t x = dword(), y = dword();
            append(destination, make_cell(type | line, 0, x, y));
            return;
        }
        case TYPE_POINT2D: {
            need(8, at);
            const uint32_t x = dword(), y = dword();
            append(destination, make_cell(type | line, x, y, 0));
            return;
        }
        case TYPE_DATE: {
            need(12, at);
            const uint32_t date = dword(), high = dword(), low = dword();
            append(destination, make_cell(type | line, date, low, high));
            return;
        }
        case TYPE_TUPLE: case TYPE_MONEY: case TYPE_TYPESET: case TYPE_POINT3D: {
            need(12, at);
            const uint32_t w1 = dword(), w2 = dword(), w3 = dword();
            uint32_t header = type | line;
            if (type == TYPE_TUPLE) {
                const uint32_t n = (h >> 8) & 0xFF;
                if (n < 1 || n > 12) invalid_record(at);
                header |= n << tuple::LENGTH_SHIFT;
            }
            Cell value = make_cell(header, w1, w2, w3);
            if (type == TYPE_MONEY) money::set_sign(&value, h & MONEY_SIGN_BIT);
            append(destination, value);
            return;
        }
        case TYPE_ISSUE:
            append(destination, global_word(type | line, table_symbol(dword(), at)));
            return;
        case REFERENCE: {
            p = at;
            Cell value = *reference();
            value.header |= line;
            append(destination, value);
            return;
        }
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        case TYPE_REFINEMENT: {
            if (!g_codec_q) {
                bool set = false;
                const uint32_t before = cells_in(destination);
                const Cell word = read_boot_word(h, at, destination, set);
                if (set) {
                    read_value(destination);
                    if (cells_in(destination) <= before) invalid_record(at);
                    const Cell value = cells_of(destination)[before];
                    cut_back(destination, before);
                    stack::StackScope scope;
                    Cell* held = stack::push(&word);
                    word::set_value(held, &value);
                    return;
                }
                append(destination, word);
                return;
            }
            const Cell word = read_word(h, at, destination);
            append(destination, word);
            return;
        }
        case TYPE_NATIVE: case TYPE_ACTION: {
            const uint32_t index = dword();
            zunbin::read_native(destination, type, index, line, at,
                                [](void* r, NodeId into) { static_cast<AlignedReader*>(r)->read_value(into); },
                                this);
            return;
        }
        case TYPE_OP: {
            const uint32_t home = cells_in(destination);
            read_value(destination);
            make_op(destination, home, line, at);
            return;
        }
        case TYPE_ERROR: {
            const int32_t code = int32_t(dword());
            read_error(destination, code, line, at,
                       [](void* r, NodeId into) { static_cast<AlignedReader*>(r)->read_value(into); }, this);
            return;
        }
        case TYPE_OBJECT: case TYPE_FUNCTION:
            if (shared) {
                const Cell earlier = *reference();
                Cell value;
                if (type == TYPE_FUNCTION && earlier.is(TYPE_OP)) {
                    value = earlier;
                    value.header = TYPE_FUNCTION;
                } else {
                    value = *context::owner_of(owner_context_of(earlier, at));
                    if (value.type() != type) invalid_record(at);
                }
                value.header |= line;
                append(destination, value);
                return;
            }
            read_owner(h, at, line, [&](const Cell& owner) { append(destination, owner); });
            return;
        case TYPE_CONTEXT: {
            const uint32_t n = dword();
            if (n > uint64_t(m_end - p) / 4) invalid_record(at);
            std::vector<uint32_t> symbols(n);
            for (uint32_t i = 0; i < n; i++) symbols[i] = table_symbol(dword(), at);
            if (h & CONTEXT_STACK_BIT) invalid_record(at);
            const NodeId context =
                make_context(symbols, (h >> 26) & 3, false, h & CONTEXT_OWNER_BIT, at);
            const Cell object = make_cell(TYPE_OBJECT, context, 0xFFFFFFFFu, 0);
            *context::owner_of(context) = object;
            append(destination, make_cell(TYPE_OBJECT | line, context, 0xFFFFFFFFu, 0));
            read_context_values(context, h, n);
            return;
        }
        case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
            g_writer.reset();
            no_codec_type(type);
        default:
            if (series_value_q(type)) return read_series(destination, h, at);
            invalid_record(at);
    }
}

void AlignedReader::read_series(NodeId destination, uint32_t h, const uint8_t* at) {
    const uint32_t type = h & 0xFF;
    const uint32_t line = (h & NEW_LINE_BIT) ? NEW_LINE_FLAG : 0;
    const bool has_head = type != TYPE_MAP && type != TYPE_BITSET;
    const uint32_t head = has_head ? dword() : 0;
    if (head >= 0x80000000u) invalid_record(at);
    if (h & SHARED_BIT) {
        const Cell earlier = *reference();
        const uint32_t t = earlier.type();
        bool fits;
        if (block::any_block_q(type)) fits = block::any_block_q(t);
        else if (string::any_string_q(type)) fits = string::any_string_q(t);
        else fits = t == type;
        if (!fits) invalid_record(at);
        Cell value = earlier;
        if (type == TYPE_MAP || type == TYPE_BITSET) {
            value.header = (value.header & ~NEW_LINE_FLAG) | line;
        } else if (type == TYPE_HASH || type == TYPE_VECTOR || type == TYPE_IMAGE) {
            value.header = (value.header & ~NEW_LINE_FLAG) | line;
            value.data1 = head;
        } else {
            value = make_cell(type | line, head, earlier.data2, 0);
        }
        append(destination, value);
        return;
    }
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: {
            const uint32_t unit = (h >> 8) & 0xFF;
            const uint32_t units = dword();
            const uint32_t element = type == TYPE_VECTOR ? dword() : 0;
            bool fits;
            if (type == TYPE_BINARY) fits = unit == 1;
            else if (type == TYPE_VECTOR)
                fits = ((element == TYPE_CHAR || element == TYPE_INTEGER) &&
                        (unit == 1 || unit == 2 || unit == 4)) ||
                       (element == TYPE_FLOAT && (unit == 4 || unit == 8)) ||
                       (element == TYPE_PERCENT && unit == 8);
            else fits = unit == 1 || unit == 2 || unit == 4;
            if (!fits || units >= 0x80000000u) invalid_record(at);
            const uint64_t bytes = uint64_t(units) * unit;
            need(bytes, at);
            const NodeId node = memory::alloc_series(std::max(units, 1u), unit, 0);
            memory::SeriesBuffer* b = memory::buffer_of(node);
            if (bytes) std::memcpy(b->head_ptr(), p, bytes);
            b->tail = b->head + uint32_t(bytes);
            p += bytes;
            align();
            append(destination, make_cell(type | line, head, node, element));
            return;
        }
        case TYPE_BITSET: {
            const uint32_t n = dword();
            need(n, at);
            Cell made;
            bitset::make_at(&made, n, h & COMPLEMENT_BIT);
            if (n) std::memcpy(memory::buffer_of(made.data2)->head_ptr(), p, n);
            p += n;
            align();
            made.header |= line;
            append(destination, made);
            return;
        }
        case TYPE_IMAGE: {
            const uint32_t size = dword();
            const uint32_t width = size & 0xFFFF, height = size >> 16;
            const uint64_t bytes = uint64_t(width) * height * 4;
            need(bytes, at);
            if (width && height && !image_codec::size_ok(width, height)) invalid_record(at);
            const Cell made = image_value(width, height, p, head, line);
            p += bytes;
            append(destination, made);
            return;
        }
        default: {
            const uint32_t n = dword();
            if (n > uint64_t(m_end - p) / 4) invalid_record(at);
            read_block(destination, type | line, head, n, at,
                       [](void* r, NodeId into) { static_cast<AlignedReader*>(r)->read_value(into); }, this);
        }
    }
}

void AlignedReader::read_context_values(NodeId context, uint32_t ch, uint32_t n) {
    if (!(ch & VALUES_BIT) || (ch & CONTEXT_STACK_BIT)) return;
    const NodeId values = context::cell_of(context)->data2;
    cut_back(values, 0);
    for (uint32_t i = 0; i < n; i++) read_value(values);
    if (cells_in(values) != n) invalid_record(p);
}

// Makes the object or function of the record (its context first), hands it
// to place, then reads its values or blocks. Answers the context.
NodeId AlignedReader::read_owner(uint32_t h, const uint8_t* at, uint32_t line, const auto& place) {
    const uint32_t type = h & 0xFF;
    uint32_t class_id = 0, spec_cells = 0, body_cells = 0;
    int32_t handlers[2] = {-1, -1};
    if (type == TYPE_OBJECT) {
        class_id = dword();
        if (h & ON_SET_BIT) {
            handlers[0] = int32_t(dword());
            handlers[1] = int32_t(dword());
        }
    } else {
        spec_cells = dword();
        body_cells = dword();
        if (spec_cells > uint64_t(m_end - p) / 4 || body_cells > uint64_t(m_end - p) / 4)
            invalid_record(at);
    }
    const uint8_t* context_at = p;
    const uint32_t ch = dword();
    if ((ch & 0xFF) != TYPE_CONTEXT) invalid_record(context_at);
    const uint32_t n = dword();
    if (n > uint64_t(m_end - p) / 4) invalid_record(context_at);
    std::vector<uint32_t> symbols(n);
    for (uint32_t i = 0; i < n; i++) symbols[i] = table_symbol(dword(), context_at);
    const bool stack = ch & CONTEXT_STACK_BIT;
    if (stack != (type == TYPE_FUNCTION)) invalid_record(context_at);
    for (int32_t handler : handlers)
        if (handler < -1 || handler >= int32_t(n)) invalid_record(at);
    const NodeId context = make_context(symbols, (ch >> 26) & 3, stack, ch & CONTEXT_OWNER_BIT, at);
    if (type == TYPE_OBJECT) {
        NodeId info = 0;
        if (h & ON_SET_BIT) {
            info = memory::alloc_unset_cells(2);
            cut_back(info, 2);
        }
        const Cell object = make_cell(TYPE_OBJECT, context, g_codec_q ? 0xFFFFFFFFu : class_id, info);
        *context::owner_of(context) = object;
        Cell placed = object;
        placed.header |= line;
        place(placed);
        read_context_values(context, ch, n);
        finish_object(context);
    } else {
        Cell fn = make_function(context, spec_cells, body_cells);
        fn.header |= line;
        place(fn);
        read_function_block(context, true);
        read_function_block(context, false);
    }
    return context;
}

void AlignedReader::read_function_block(NodeId context, bool spec) {
    const uint8_t* at = p;
    uint32_t h = dword();
    while ((h & 0xFF) == 0) {
        at = p;
        h = dword();
    }
    if ((h & 0xFF) != TYPE_BLOCK) invalid_record(at);
    dword();  // the head: always 0
    Cell* owner = context::owner_of(context);
    if (h & SHARED_BIT) {
        const Cell earlier = *reference();
        if (!earlier.is(TYPE_BLOCK)) invalid_record(at);
        owner = context::owner_of(context);
        if (spec) owner->data2 = earlier.data2;
        else *function::more_cell(owner, function::MORE_BODY) = make_cell(TYPE_BLOCK, 0, earlier.data2, 0);
        return;
    }
    const uint32_t n = dword();
    if (n > uint64_t(m_end - p) / 4) invalid_record(at);
    const NodeId node = spec ? owner->data2 : function::more_cell(owner, function::MORE_BODY)->data2;
    for (uint32_t i = 0; i < n; i++) read_value(node);
}

Cell AlignedReader::read_word(uint32_t h, const uint8_t* at, NodeId destination) {
    const uint32_t type = h & 0xFF;
    const uint32_t line = (h & NEW_LINE_BIT) ? NEW_LINE_FLAG : 0;
    need(8, at);
    const uint32_t sym = table_symbol(dword(), at);
    const int32_t index = int32_t(dword());
    if (h & SHARED_BIT) {
        const NodeId context = owner_context_of(*reference(), at);
        check_word_index(context, sym, index, at);
        return make_cell(type | line, context, sym, uint32_t(index));
    }
    if (h & GLOBAL_BIT) {
        return global_word(type | line, sym);
    }
    const uint8_t* owner_at = p;
    const uint32_t oh = dword();
    const uint32_t owner_type = oh & 0xFF;
    if (owner_type != TYPE_OBJECT && owner_type != TYPE_FUNCTION) invalid_record(owner_at);
    uint32_t home = 0;
    read_owner(oh & ~SHARED_BIT, owner_at, 0, [&](const Cell& owner) {
        check_word_index(owner.data1, sym, index, at);
        home = cells_in(destination);
        append(destination, make_cell(type | line, owner.data1, sym, uint32_t(index)));
    });
    const Cell word = cells_of(destination)[home];
    cut_back(destination, home);
    return word;
}

// Boot words: symbol, context (-1 global, else a boot literal's), index (-1:
// looked up); bit 25 makes the next record the word's value.
Cell AlignedReader::read_boot_word(uint32_t h, const uint8_t* at, NodeId, bool& set) {
    const uint32_t type = h & 0xFF;
    const uint32_t line = (h & NEW_LINE_BIT) ? NEW_LINE_FLAG : 0;
    need(12, at);
    const uint32_t sym = table_symbol(dword(), at);
    const int32_t literal = int32_t(dword());
    const int32_t index = int32_t(dword());
    set = h & GLOBAL_BIT;
    if (literal == -1) {
        return global_word(type | line, sym);
    }
    const NodeId context = literal_context(literal, at);
    int32_t i = index;
    if (index == -1) {
        i = context::find_word(context, sym, true);
        if (i < 0) invalid_record(at);
    } else {
        check_word_index(context, sym, index, at);
    }
    return make_cell(type | line, context, sym, uint32_t(i));
}

}  // namespace

void decode_word_aligned(const uint8_t* position, const uint8_t* end, Cell* destination,
                         bool symbols) {
    if (end - position < 8) {
        const Cell arg = *stack::argument(0);
        support::fire_error(ErrorId::script_invalid_data, &arg);
    }
    const uint32_t length = load(position + 4);
    const uint8_t* p = position + 8;
    g_decode.offsets = nullptr;
    g_decode.symbol_count = 0;
    if (symbols) {
        if (end - p < 8) invalid_record(p);
        const uint32_t n = load(p), size = load(p + 4);
        const uint64_t left = uint64_t(end - p - 8);
        if (n >= 0x80000000u || size >= 0x80000000u || 4ull * n + size > left) invalid_record(p);
        p += 8;
        g_decode.offsets = p;
        g_decode.names = p + 4ull * n;
        g_decode.symbol_count = n;
        g_decode.names_size = size;
        if (size && g_decode.names[size - 1] != 0) invalid_record(g_decode.names + size - 1);
        p = g_decode.names + size;
        g_decode.interned.assign(n, 0);
        // Boot data interns every name once, up front.
        if (!g_codec_q)
            for (uint32_t i = 0; i < n; i++) table_symbol(i, g_decode.offsets);
    }
    if (length > uint64_t(end - p)) invalid_record(position + 4);
    g_decode.root = *destination;
    AlignedReader r(p, p + length, p);
    while (r.p < p + length) r.read_value(destination->data2);
}

}  // namespace zun::zunbin
