// The compact reader: one record at a time, appended at the tail of a
// destination block. Every field is checked against the end of the records
// before it is read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
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

constexpr uint32_t MAX_REFERENCE = 65536;
constexpr uint32_t NEGATIVE = 0x80000000u;



bool block_family_q(uint32_t type) { return block::any_block_q(type) && type != TYPE_HASH; }

class CompactReader {
public:
    CompactReader(const uint8_t* position, const uint8_t* end) : p(position), m_end(end) {}

    const uint8_t* p;

    void read_value(NodeId destination);
    uint32_t varint(const uint8_t* end);
    // Most fields fit in one or two bytes (symbol indexes): those inline.
    uint32_t varint() {
        if (m_end - p >= 2) [[likely]] {
            if (p[0] < 0x80) return *p++;
            if (p[1] < 0x80) {
                const uint32_t v = (p[0] & 0x7Fu) | uint32_t(p[1]) << 7;
                p += 2;
                return v;
            }
        }
        return varint(m_end);
    }
    uint32_t count() {  // a length that must fit in what is left
        const uint8_t* at = p;
        const uint32_t n = varint();
        if (n >= NEGATIVE || n > uint64_t(m_end - p)) invalid_record(at);
        return n;
    }

private:
    const uint8_t* m_end;
    const NodeId m_global = context::global();
    std::vector<uint32_t> m_indexes;

    uint8_t byte() {
        if (p >= m_end) invalid_record(p);
        return *p++;
    }
    int32_t signed_varint() {
        const uint32_t u = varint();
        return int32_t((u >> 1) ^ (0u - (u & 1)));
    }
    void need(uint64_t n) {
        if (n > uint64_t(m_end - p)) invalid_record(p);
    }
    uint32_t u32() {
        need(4);
        uint32_t v;
        std::memcpy(&v, p, 4);
        p += 4;
        return v;
    }
    double float64() {
        need(8);
        double d;
        std::memcpy(&d, p, 8);
        p += 8;
        return d;
    }
    uint32_t head() {
        const uint8_t* at = p;
        const uint32_t h = varint();
        if (h >= NEGATIVE) invalid_record(at);
        return h;
    }
    uint32_t symbol() {
        const uint8_t* at = p;
        return table_symbol(varint(), at);
    }
    // A word of the global context by its table index; the binding is kept
    // per index, as words of the global context never go away.
    Cell global_word_at(uint32_t header) {
        const uint8_t* at = p;
        const uint32_t i = varint();
        std::vector<uint32_t>& bound = g_decode.global_index;
        // A name met before: its symbol and index are known.
        if (i < bound.size() && bound[i] != context::NO_INDEX)
            return make_cell(header, m_global, g_decode.interned[i], bound[i]);
        const uint32_t sym = table_symbol(i, at);
        const Cell word = global_word(header, sym);
        if (i < bound.size()) bound[i] = word.data3;
        return word;
    }
    const Cell* reference();
    // A global word record (a new-line mark allowed), most of the cells of
    // code, read without a call; false leaves p where it was.
    bool read_plain_word(NodeId into) {
        const uint8_t* q = p;
        uint32_t nl = 0;
        if (q < m_end && *q == PREFIX_NEW_LINE) {
            nl = NEW_LINE_FLAG;
            q++;
        }
        if (q >= m_end || *q < TYPE_WORD || *q > TYPE_REFINEMENT) return false;
        const uint32_t type = *q;
        p = q + 1;
        append(into, global_word_at(type | nl));
        return true;
    }

    void read_set_record(NodeId destination, uint32_t type, bool m);
    Cell read_word(uint32_t type, bool m, bool shared, uint32_t line, NodeId destination);
    Cell read_word_boot(uint32_t type, bool m, uint32_t line);
    void read_shared_series(NodeId destination, uint32_t type, const uint8_t* at);
    void read_series(NodeId destination, uint32_t type, bool m, bool shared, uint32_t line,
                     const uint8_t* at);
    void read_typed(NodeId destination, uint32_t type, bool m, bool shared, uint32_t line,
                    const uint8_t* at);
    void read_context_part(bool own_byte, uint32_t& flags, std::vector<uint32_t>& symbols);
    void read_context_values(NodeId context, uint32_t flags, uint32_t n);
    // Objects and functions: the context made first, its owner appended (or
    // bound to a word) by the caller's hook, then the values or blocks read.
    template <typename Place> void read_object(bool m, uint32_t line, Place place);
    template <typename Place> void read_function(uint32_t line, Place place);
    void read_function_block(NodeId owner_context, bool spec);
    void read_native(NodeId destination, uint32_t type, uint32_t line, const uint8_t* at);
};

uint32_t CompactReader::varint(const uint8_t* end) {
    uint32_t v = 0;
    for (int i = 0; i < 5; i++) {
        if (p >= end) invalid_record(p);
        const uint8_t b = *p;
        if (i == 4 && (b & 0xF0)) invalid_record(p);
        p++;
        v |= uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80)) return v;
    }
    return v;
}

const Cell* CompactReader::reference() {
    const uint8_t* at = p;
    const uint32_t n = varint();
    if (n == 0 || n > MAX_REFERENCE || n > uint64_t(m_end - p)) invalid_record(at);
    if (m_indexes.size() < n) m_indexes.resize(n + 32);
    for (uint32_t i = 0; i < n; i++) m_indexes[i] = varint();
    return resolve_path(m_indexes.data(), n, at);
}

void CompactReader::read_value(NodeId destination) {
    if (p >= m_end) invalid_record(p);
    bool line = false, shared = false, set = false;
    for (;;) {
        const uint8_t b = *p;
        if (b == PREFIX_NEW_LINE) line = true;
        else if (b == PREFIX_SHARED) shared = true;
        else if (b == PREFIX_SET) {
            if (g_codec_q) invalid_record(p);
            set = true;
        } else break;
        p++;
        if (p >= m_end) invalid_record(p);
    }
    const uint8_t* lead_at = p;
    const uint8_t lead = *p++;
    const uint32_t nl = line ? NEW_LINE_FLAG : 0;
    if (lead >= 0x80) {
        if (shared || set) invalid_record(lead_at);
        Cell value;
        if (lead <= 0xBF) value = integer_cell(lead - SMALL_INTEGER);
        else if (lead == LOGIC_TRUE) value = make_cell(TYPE_LOGIC, 1);
        else if (lead == LOGIC_FALSE) value = make_cell(TYPE_LOGIC, 0);
        else if (lead == 0xFF) value = *reference();
        else invalid_record(lead_at);
        value.header |= nl;
        append(destination, value);
        return;
    }
    const bool m = lead & 0x40;
    uint32_t type = lead & 0x3F;
    // Words of the global context, the commonest record, in either mode.
    if (!m && !shared && !set && type >= TYPE_WORD && type <= TYPE_REFINEMENT) {
        append(destination, global_word_at(type | nl));
        return;
    }
    Depth depth;
    // Blocks, parens and paths: their cells read straight in (hash! and
    // map! build tables after, and go the general way).
    if (!shared && !set && block_family_q(type)) {
        const uint32_t h = m ? head() : 0;
        const uint32_t n = count();
        const NodeId node = memory::alloc_cells(std::max(n, 1u));
        append(destination, make_cell(type | nl, h, node, 0));
        for (uint32_t i = 0; i < n; i++)
            if (!read_plain_word(node)) read_value(node);
        return;
    }
    if (type == 63) type = varint();
    if (type == 0) invalid_record(lead_at);
    if (set) {
        if (type < TYPE_WORD || type > TYPE_ISSUE) invalid_record(lead_at);
        if (type != TYPE_ISSUE) return read_set_record(destination, type, m);
    }
    read_typed(destination, type, m, shared, nl, lead_at);
}

void CompactReader::read_set_record(NodeId destination, uint32_t type, bool m) {
    const uint32_t before = cells_in(destination);
    Cell word = read_word_boot(type, m, 0);
    read_value(destination);
    if (cells_in(destination) <= before) invalid_record(p);
    const Cell value = cells_of(destination)[before];
    cut_back(destination, before);
    stack::StackScope scope;
    Cell* held = stack::push(&word);
    word::set_value(held, &value);
}

Cell CompactReader::read_word_boot(uint32_t type, bool m, uint32_t line) {
    if (!m) return global_word_at(type | line);
    const uint8_t* at = p;
    const uint32_t sym = symbol();
    const uint8_t* literal_at = p;
    const uint32_t literal = varint();
    const int32_t index = signed_varint();
    const NodeId context = literal_context(int32_t(literal), literal_at);
    int32_t i = index;
    if (index == -1) {
        i = context::find_word(context, sym, true);
        if (i < 0) invalid_record(at);
    } else {
        check_word_index(context, sym, index, at);
    }
    return make_cell(type | line, context, sym, uint32_t(i));
}

Cell CompactReader::read_word(uint32_t type, bool m, bool shared, uint32_t line,
                              NodeId destination) {
    if (!g_codec_q) return read_word_boot(type, m, line);
    if (!m) return global_word_at(type | line);
    const uint8_t* at = p;
    const uint32_t sym = symbol();
    const int32_t index = signed_varint();
    if (shared) {
        const NodeId context = owner_context_of(*reference(), at);
        check_word_index(context, sym, index, at);
        return make_cell(type | line, context, sym, uint32_t(index));
    }
    const uint8_t* lead_at = p;
    const uint8_t lead = byte();
    const uint32_t owner_type = lead & 0x3F;
    // The owner's context is bound before its values are read: they may
    // refer to it through this word.
    uint32_t home = 0;
    auto place = [&](const Cell& owner) {
        check_word_index(owner.data1, sym, index, at);
        home = cells_in(destination);
        append(destination, make_cell(type | line, owner.data1, sym, uint32_t(index)));
    };
    if (owner_type == TYPE_OBJECT) read_object(lead & 0x40, 0, place);
    else if (owner_type == TYPE_FUNCTION) read_function(0, place);
    else invalid_record(lead_at);
    const Cell word = cells_of(destination)[home];
    cut_back(destination, home);
    return word;
}

void CompactReader::read_context_part(bool own_byte, uint32_t& flags,
                                        std::vector<uint32_t>& symbols) {
    if (own_byte) {
        const uint8_t* at = p;
        if ((byte() & 0x3F) != TYPE_CONTEXT) invalid_record(at);
    }
    flags = byte();
    const uint32_t n = count();
    symbols.resize(n);
    for (uint32_t i = 0; i < n; i++) symbols[i] = symbol();
}

void CompactReader::read_context_values(NodeId context, uint32_t flags, uint32_t n) {
    const Cell c = *context::cell_of(context);
    if (!(flags & 0x10) || (c.header & context::STACK_FLAG)) return;
    const NodeId values = c.data2;
    cut_back(values, 0);
    for (uint32_t i = 0; i < n; i++) read_value(values);
    if (cells_in(values) != n) invalid_record(p);
}

template <typename Place> void CompactReader::read_object(bool m, uint32_t line, Place place) {
    const uint8_t* at = p;
    const int32_t class_id = signed_varint();
    int32_t handlers[2] = {-1, -1};
    const uint8_t* handlers_at = p;
    if (m) {
        handlers[0] = signed_varint();
        handlers[1] = signed_varint();
    }
    uint32_t flags;
    std::vector<uint32_t> symbols;
    read_context_part(true, flags, symbols);
    const uint32_t n = uint32_t(symbols.size());
    // Object values live in a values series, never on the stack.
    if (flags & 4) invalid_record(at);
    for (int32_t h : handlers)
        if (h < -1 || h >= int32_t(n)) invalid_record(handlers_at);
    const NodeId context = make_context(symbols, flags & 3, false, flags & 8, at);
    NodeId info = 0;
    if (m) {
        info = memory::alloc_unset_cells(2);
        cut_back(info, 2);
    }
    const uint32_t id = g_codec_q ? 0xFFFFFFFFu : uint32_t(class_id);
    const Cell object = make_cell(TYPE_OBJECT, context, id, info);
    *context::owner_of(context) = object;
    Cell placed = object;
    placed.header |= line;
    place(placed);
    read_context_values(context, flags, n);
    finish_object(context);
}

template <typename Place> void CompactReader::read_function(uint32_t line, Place place) {
    const uint8_t* at = p;
    const uint32_t spec_cells = count();
    const uint32_t body_cells = count();
    uint32_t flags;
    std::vector<uint32_t> symbols;
    read_context_part(true, flags, symbols);
    // Arguments live on the value stack while a call runs.
    if (!(flags & 4)) invalid_record(at);
    const NodeId context = make_context(symbols, flags & 3, true, flags & 8, at);
    Cell fn = make_function(context, spec_cells, body_cells);
    fn.header |= line;
    place(fn);
    read_function_block(context, true);
    read_function_block(context, false);
}

// A block record whose cells become the function's spec or body; a shared one
// hands over the earlier block's series.
void CompactReader::read_function_block(NodeId context, bool spec) {
    bool shared = false;
    for (;;) {
        if (p >= m_end) invalid_record(p);
        if (*p == PREFIX_NEW_LINE) p++;
        else if (*p == PREFIX_SHARED) {
            shared = true;
            p++;
        } else break;
    }
    const uint8_t* at = p;
    const uint8_t lead = byte();
    if ((lead & 0x3F) != TYPE_BLOCK) invalid_record(at);
    if (lead & 0x40) head();
    Cell* owner = context::owner_of(context);
    if (shared) {
        const Cell earlier = *reference();
        if (!earlier.is(TYPE_BLOCK)) invalid_record(at);
        if (spec) owner->data2 = earlier.data2;
        else *function::more_cell(owner, function::MORE_BODY) = make_cell(TYPE_BLOCK, 0, earlier.data2, 0);
        return;
    }
    const uint32_t n = count();
    const NodeId node = spec ? owner->data2 : function::more_cell(owner, function::MORE_BODY)->data2;
    for (uint32_t i = 0; i < n; i++) read_value(node);
}

void CompactReader::read_native(NodeId destination, uint32_t type, uint32_t line,
                                const uint8_t* at) {
    const uint32_t index = varint();
    zunbin::read_native(destination, type, index, line, at,
                        [](void* r, NodeId into) { static_cast<CompactReader*>(r)->read_value(into); },
                        this);
}

void CompactReader::read_shared_series(NodeId destination, uint32_t type, const uint8_t* at) {
    const Cell earlier = *reference();
    const uint32_t t = earlier.type();
    bool fits;
    if (block_family_q(type) || type == TYPE_HASH) fits = block::any_block_q(t);
    else if (string::any_string_q(type)) fits = string::any_string_q(t);
    else fits = t == type;
    if (!fits) invalid_record(at);
    append(destination, earlier);
}

void CompactReader::read_series(NodeId destination, uint32_t type, bool m, bool shared,
                                uint32_t line, const uint8_t* at) {
    const uint32_t h = (m && type != TYPE_MAP && type != TYPE_BITSET) ? head() : 0;
    if (shared) {
        read_shared_series(destination, type, at);
        Cell* made = cells_of(destination) + cells_in(destination) - 1;
        if (type == TYPE_MAP || type == TYPE_BITSET) {
            made->header = (made->header & ~NEW_LINE_FLAG) | line;
        } else if (type == TYPE_HASH || type == TYPE_VECTOR || type == TYPE_IMAGE) {
            made->header = (made->header & ~NEW_LINE_FLAG) | line;
            made->data1 = h;
        } else {
            made->header = type | line;
            made->data1 = h;
            made->data3 = 0;
        }
        return;
    }
    switch (type) {
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: {
            uint32_t unit = 1, units, element = 0;
            const uint8_t* field = p;
            if (type == TYPE_BINARY) {
                units = count();
            } else if (type == TYPE_VECTOR) {
                const uint8_t e = byte();
                element = e >> 2;
                unit = 1u << (e & 3);
                const bool fits = ((element == TYPE_CHAR || element == TYPE_INTEGER) && unit <= 4) ||
                                  (element == TYPE_FLOAT && unit >= 4) ||
                                  (element == TYPE_PERCENT && unit == 8);
                if (!fits) invalid_record(field);
                const uint8_t* count_at = p;
                units = varint();
                if (units >= NEGATIVE) invalid_record(count_at);
            } else {
                const uint32_t l = varint();
                if (l >= NEGATIVE || (l & 3) == 3) invalid_record(field);
                units = l >> 2;
                unit = 1u << (l & 3);
            }
            const uint64_t bytes = uint64_t(units) * unit;
            need(bytes);
            const NodeId node = memory::alloc_series(std::max(units, 1u), unit, 0);
            memory::SeriesBuffer* b = memory::buffer_of(node);
            if (bytes) std::memcpy(b->head_ptr(), p, bytes);
            b->tail = b->head + uint32_t(bytes);
            p += bytes;
            append(destination, make_cell(type | line, h, node, element));
            return;
        }
        case TYPE_BITSET: {
            const uint32_t n = count();
            Cell made;
            bitset::make_at(&made, n, m);
            memory::SeriesBuffer* b = memory::buffer_of(made.data2);
            if (n) std::memcpy(b->head_ptr(), p, n);
            p += n;
            made.header |= line;
            append(destination, made);
            return;
        }
        case TYPE_IMAGE: {
            const uint32_t width = varint(), height = varint();
            if (width > image_codec::MAX_SIDE || height > image_codec::MAX_SIDE) invalid_record(at);
            const uint64_t bytes = uint64_t(width) * height * 4;
            need(bytes);
            if (width && height && !image_codec::size_ok(width, height)) invalid_record(at);
            const Cell made = image_value(width, height, p, h, line);
            p += bytes;
            append(destination, made);
            return;
        }
        default:  // the block family, hash! and map!
            read_block(destination, type | line, h, count(), at,
                       [](void* r, NodeId into) { static_cast<CompactReader*>(r)->read_value(into); }, this);
    }
}

void CompactReader::read_typed(NodeId destination, uint32_t type, bool m, bool shared,
                               uint32_t line, const uint8_t* at) {
    switch (type) {
        case TYPE_DATATYPE: {
            const uint32_t id = varint();
            if (id == 0 || id > TYPE_EVENT) invalid_record(at);
            append(destination, make_cell(type | line, id));
            return;
        }
        case TYPE_UNSET: case TYPE_NONE:
            append(destination, make_cell(type | line));
            return;
        case TYPE_CHAR:
            append(destination, make_cell(type | line, 0, varint()));
            return;
        case TYPE_INTEGER:
            append(destination, make_cell(type | line, 0, uint32_t(signed_varint())));
            return;
        case TYPE_FLOAT: case TYPE_TIME: case TYPE_PERCENT: {
            double d;
            if (m) d = type == TYPE_PERCENT ? signed_varint() / 100.0 : double(signed_varint());
            else d = float64();
            Cell value = make_cell(type | line);
            value.set_double(d);
            append(destination, value);
            return;
        }
        case TYPE_CONTEXT: {
            uint32_t flags;
            std::vector<uint32_t> symbols;
            read_context_part(false, flags, symbols);
            if (flags & 4) invalid_record(at);
            const NodeId context = make_context(symbols, flags & 3, false, flags & 8, at);
            const Cell object = make_cell(TYPE_OBJECT, context, 0xFFFFFFFFu, 0);
            *context::owner_of(context) = object;
            append(destination, make_cell(TYPE_OBJECT | line, context, 0xFFFFFFFFu, 0));
            read_context_values(context, flags, uint32_t(symbols.size()));
            return;
        }
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        case TYPE_REFINEMENT: {
            const Cell word = read_word(type, m, shared, line, destination);
            append(destination, word);
            return;
        }
        case TYPE_ISSUE:
            append(destination, global_word_at(type | line));
            return;
        case TYPE_NATIVE: case TYPE_ACTION:
            read_native(destination, type, line, at);
            return;
        case TYPE_OP: {
            const uint32_t home = cells_in(destination);
            read_value(destination);
            make_op(destination, home, line, at);
            return;
        }
        case TYPE_FUNCTION:
            if (shared) {
                const Cell earlier = *reference();
                Cell value;
                if (earlier.is(TYPE_OP)) {
                    value = earlier;
                    value.header = TYPE_FUNCTION;
                } else {
                    value = *context::owner_of(owner_context_of(earlier, at));
                    if (!value.is(TYPE_FUNCTION)) invalid_record(at);
                }
                value.header |= line;
                append(destination, value);
                return;
            }
            read_function(line, [&](const Cell& fn) { append(destination, fn); });
            return;
        case TYPE_OBJECT:
            if (shared) {
                Cell value = *context::owner_of(owner_context_of(*reference(), at));
                if (!value.is(TYPE_OBJECT)) invalid_record(at);
                value.header |= line;
                append(destination, value);
                return;
            }
            read_object(m, line, [&](const Cell& object) { append(destination, object); });
            return;
        case TYPE_TYPESET: {
            const uint8_t n = byte();
            if (n > 12) invalid_record(p - 1);
            need(n);
            Cell value = make_cell(type | line);
            std::memcpy(&value.data1, p, n);
            p += n;
            append(destination, value);
            return;
        }
        case TYPE_ERROR: {
            const uint8_t* code_at = p;
            const int32_t code = int32_t(varint());
            read_error(destination, code, line, code_at,
                       [](void* r, NodeId into) { static_cast<CompactReader*>(r)->read_value(into); }, this);
            return;
        }
        case TYPE_PAIR: {
            const int32_t x = signed_varint();
            const int32_t y = signed_varint();
            append(destination, make_cell(type | line, 0, uint32_t(x), uint32_t(y)));
            return;
        }
        case TYPE_TUPLE: {
            uint32_t n = 3;
            if (m) {
                n = byte();
                if (n < 1 || n > 12) invalid_record(p - 1);
            }
            need(n);
            Cell value = make_cell(type | line | n << tuple::LENGTH_SHIFT);
            std::memcpy(&value.data1, p, n);
            p += n;
            append(destination, value);
            return;
        }
        case TYPE_DATE: {
            const uint32_t date = u32();
            const bool time = date & 0x10000;
            if (time != m) invalid_record(p - 4);
            Cell value = make_cell(type | line, date);
            value.set_double(time ? float64() : 0.0);
            append(destination, value);
            return;
        }
        case TYPE_MONEY: {
            need(12);
            Cell value = make_cell(type | line);
            std::memcpy(&value.data1, p, 12);
            p += 12;
            money::set_sign(&value, m);
            append(destination, value);
            return;
        }
        case TYPE_POINT2D: {
            const uint32_t x = u32();
            const uint32_t y = u32();
            append(destination, make_cell(type | line, x, y, 0));
            return;
        }
        case TYPE_POINT3D: {
            const uint32_t x = u32();
            const uint32_t y = u32();
            const uint32_t z = u32();
            append(destination, make_cell(type | line, x, y, z));
            return;
        }
        case TYPE_ROUTINE: case TYPE_TRIPLE: case TYPE_HANDLE: case TYPE_PORT: case TYPE_EVENT:
            no_codec_type(type);
        default:
            if (series_value_q(type)) return read_series(destination, type, m, shared, line, at);
            invalid_record(at);
    }
}

// The lengths and the symbol table, read into the decoder state.
RecordSpan read_compact_header(const uint8_t* position, const uint8_t* end, bool symbols) {
    CompactReader r(position, end);
    auto window = [&] { return r.p + std::min<ptrdiff_t>(20, end - r.p); };
    const uint8_t* header_end = window();
    r.varint(header_end);  // the record count: not used
    const uint8_t* length_at = r.p;
    const uint32_t length = r.varint(header_end);
    g_decode.offsets = nullptr;
    g_decode.symbol_count = 0;
    g_decode.interned.clear();
    g_decode.global_index.clear();
    if (symbols) {
        header_end = window();
        const uint8_t* at = r.p;
        const uint32_t n = r.varint(header_end);
        const uint32_t size = r.varint(header_end);
        const uint64_t left = uint64_t(end - r.p);
        if (n >= NEGATIVE || size >= NEGATIVE || n > left / 4 || size > left - 4ull * n)
            invalid_record(at);
        g_decode.offsets = r.p;
        g_decode.names = r.p + 4ull * n;
        g_decode.symbol_count = n;
        g_decode.names_size = size;
        if (size && g_decode.names[size - 1] != 0) invalid_record(g_decode.names + size - 1);
        g_decode.interned.assign(n, 0);
        g_decode.global_index.assign(n, context::NO_INDEX);
        r.p = g_decode.names + size;
    }
    if (length >= NEGATIVE || length > uint64_t(end - r.p)) invalid_record(length_at);
    return {r.p, r.p + length};
}

}  // namespace

RecordSpan open_compact(const uint8_t* position, const uint8_t* end, bool symbols) {
    const RecordSpan records = read_compact_header(position, end, symbols);
    // Boot mode: every name of the table becomes a global word, in table
    // order, before any record; the boot tool lists the global words in the
    // order a start-up that lexed its texts ends up with.
    if (!g_codec_q) {
        std::vector<uint32_t>& bound = g_decode.global_index;
        for (uint32_t i = 0; i < g_decode.symbol_count; i++)
            bound[i] = global_word(TYPE_WORD, table_symbol(i, records.start)).data3;
    }
    return records;
}

const uint8_t* read_compact_record(const uint8_t* position, const uint8_t* end, NodeId destination) {
    CompactReader record(position, end);
    record.read_value(destination);
    return record.p;
}

bool set_record_at(const uint8_t* position, const uint8_t* end) {
    while (position < end && (*position == PREFIX_NEW_LINE || *position == PREFIX_SHARED)) position++;
    return position < end && *position == PREFIX_SET;
}

void decode_compact(const uint8_t* position, const uint8_t* end, Cell* destination, bool symbols) {
    g_decode.root = *destination;
    const RecordSpan span = open_compact(position, end, symbols);
    CompactReader records(span.start, span.end);
    while (records.p < span.end) records.read_value(destination->data2);
}

}  // namespace zun::zunbin
