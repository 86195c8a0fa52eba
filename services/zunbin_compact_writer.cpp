// The compact writer: varints, one byte for integers 0 to 63 and logic
// values, series met before written as references to their first path.
#include <cmath>
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/native.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/bitset.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/tuple.hpp"
#include "services/zunbin.hpp"
#include "datatypes/series/image.hpp"
#include "services/image_record.hpp"
#include "services/zunbin_compact.hpp"
#include "services/zunbin_state.hpp"

namespace zun::zunbin {

namespace {

constexpr uint32_t CELL = sizeof(Cell);
constexpr uint8_t M = 0x40;

class CompactWriter {
public:
    std::vector<uint8_t> out;

    void put_byte(uint8_t b) { out.push_back(b); }
    void put_varint(uint32_t v) {
        while (v >= 0x80) {
            out.push_back(uint8_t(v | 0x80));
            v >>= 7;
        }
        out.push_back(uint8_t(v));
    }
    void put_signed_varint(int32_t v) {
        put_varint((uint32_t(v) << 1) ^ uint32_t(v >> 31));
    }
    void put_u32(uint32_t v) {
        for (int i = 0; i < 4; i++) out.push_back(uint8_t(v >> (8 * i)));
    }
    void put_bytes(const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }
    void put_double(double d) {
        uint64_t bits;
        std::memcpy(&bits, &d, 8);
        put_u32(uint32_t(bits));
        put_u32(uint32_t(bits >> 32));
    }
    void put_type(uint32_t type, bool m) {
        if (type < 63) {
            put_byte(uint8_t(type | (m ? M : 0)));
        } else {
            put_byte(uint8_t(63 | (m ? M : 0)));
            put_varint(type);
        }
    }
    void put_reference(const uint32_t* entry) {
        put_varint(entry[0]);
        for (uint32_t i = 1; i <= entry[0]; i++) put_varint(entry[i]);
    }
    void put_head(uint32_t type, const Cell& v) {
        put_type(type, v.data1 != 0);
        if (v.data1) put_varint(v.data1);
    }

    void write_value(const Cell& value);

private:
    void write_float(uint32_t type, double d, bool percent);
    void write_body(const Cell& v, uint32_t type, const uint32_t* shared);
    void write_series_data(const Cell& v, uint32_t type);
    void write_word(const Cell& v, uint32_t type, const uint32_t* shared);
    void write_object(const Cell& v, const uint32_t* shared);
    void write_function(const Cell& v, const uint32_t* shared);
    void write_context(NodeId context);
};

memory::SeriesBuffer* buffer(NodeId node) { return memory::buffer_of(node); }

void CompactWriter::write_float(uint32_t type, double d, bool percent) {
    const bool negative_zero = d == 0.0 && std::signbit(d);
    if (!negative_zero) {
        if (!percent && d >= -2147483000.0 && d <= 2147483000.0) {
            const int32_t i = int32_t(d);
            if (double(i) == d) {
                put_type(type, true);
                put_signed_varint(i);
                return;
            }
        } else if (percent && d >= -21474836.0 && d <= 21474836.0) {
            const int32_t i = int32_t(std::round(d * 100.0));
            if (double(i) / 100.0 == d) {
                put_type(type, true);
                put_signed_varint(i);
                return;
            }
        }
    }
    put_type(type, false);
    put_double(d);
}

void CompactWriter::write_value(const Cell& value) {
    Depth depth;
    const uint32_t type = value.type();
    if (unwritable_q(type)) no_codec(&value);
    if (value.header & NEW_LINE_FLAG) put_byte(PREFIX_NEW_LINE);
    const Sharing sharing = begin_sharing(value);
    if (sharing.shared) put_byte(PREFIX_SHARED);
    write_body(value, type, sharing.shared);
    if (sharing.shared) put_reference(sharing.shared);
    end_sharing(sharing);
}

void CompactWriter::write_series_data(const Cell& v, uint32_t type) {
    memory::SeriesBuffer* b = buffer(v.data2);
    const uint32_t unit = b->unit();
    const uint32_t units = b->used() / unit;
    switch (type) {
        case TYPE_BINARY:
            put_varint(units);
            break;
        case TYPE_VECTOR: {
            const uint32_t code = unit == 1 ? 0 : unit == 2 ? 1 : unit == 4 ? 2 : 3;
            put_byte(uint8_t(v.data3 << 2 | code));
            put_varint(units);
            break;
        }
        default: {
            const uint32_t code = unit == 1 ? 0 : unit == 2 ? 1 : 2;
            put_varint(units << 2 | code);
        }
    }
    put_bytes(b->head_ptr(), b->used());
}

void CompactWriter::write_body(const Cell& v, uint32_t type, const uint32_t* shared) {
    switch (type) {
        case TYPE_NONE: case TYPE_UNSET:
            put_type(type, false);
            return;
        case TYPE_DATATYPE:
            put_type(type, false);
            put_varint(v.data1);
            return;
        case TYPE_LOGIC:
            put_byte(v.data1 ? LOGIC_TRUE : LOGIC_FALSE);
            return;
        case TYPE_INTEGER:
            if (v.as_int() >= 0 && v.as_int() <= 63) {
                put_byte(uint8_t(SMALL_INTEGER + v.as_int()));
            } else {
                put_type(type, false);
                put_signed_varint(v.as_int());
            }
            return;
        case TYPE_CHAR:
            put_type(type, false);
            put_varint(v.data2);
            return;
        case TYPE_PAIR:
            put_type(type, false);
            put_signed_varint(int32_t(v.data2));
            put_signed_varint(int32_t(v.data3));
            return;
        case TYPE_POINT2D:
            put_type(type, false);
            put_u32(v.data1);
            put_u32(v.data2);
            return;
        case TYPE_POINT3D:
            put_type(type, false);
            put_u32(v.data1);
            put_u32(v.data2);
            put_u32(v.data3);
            return;
        case TYPE_FLOAT: case TYPE_TIME:
            write_float(type, v.as_double(), false);
            return;
        case TYPE_PERCENT:
            write_float(type, v.as_double(), true);
            return;
        case TYPE_DATE: {
            const bool time = v.data1 & 0x10000;
            put_type(type, time);
            put_u32(v.data1);
            if (time) put_double(v.as_double());
            return;
        }
        case TYPE_TYPESET: {
            uint8_t mask[12];
            std::memcpy(mask, &v.data1, 12);
            uint8_t n = 12;
            while (n > 0 && mask[n - 1] == 0) n--;
            put_type(type, false);
            put_byte(n);
            put_bytes(mask, n);
            return;
        }
        case TYPE_TUPLE: {
            const uint32_t n = (v.header >> tuple::LENGTH_SHIFT) & 0xF;
            uint8_t bytes[12];
            std::memcpy(bytes, &v.data1, 12);
            put_type(type, n != 3);
            if (n != 3) put_byte(uint8_t(n));
            put_bytes(bytes, n);
            return;
        }
        case TYPE_MONEY: {
            uint8_t bytes[12];
            std::memcpy(bytes, &v.data1, 12);
            put_type(type, v.header & (1u << 14));
            put_bytes(bytes, 12);
            return;
        }
        case TYPE_ISSUE:
            put_type(type, false);
            put_varint(g_writer.symbol(v.data2));
            return;
        case TYPE_ERROR: {
            g_writer.push_level();
            g_writer.record(v.data1);
            put_type(type, false);
            put_varint(uint32_t(error::field(&v, error::CODE)->as_int()));
            for (uint32_t f = error::ARG1; f <= error::STACK; f++)
                write_value(*error::field(&v, error::Field(f)));
            g_writer.pop_level();
            return;
        }
        case TYPE_NATIVE: case TYPE_ACTION: {
            put_type(type, false);
            put_varint(native_index(v));
            write_value(make_cell(TYPE_BLOCK, 0, v.data2, 0));
            g_writer.counter--;
            return;
        }
        case TYPE_OP: {
            const uint32_t wrapped = (v.header >> 16) & 0xFF;
            if (wrapped == TYPE_ROUTINE) no_codec(&v);
            put_type(type, false);
            Cell inner = v;
            inner.header = wrapped;
            write_value(inner);
            g_writer.counter--;
            return;
        }
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: {
            put_head(type, v);
            if (shared) return;
            const uint32_t n = buffer(v.data2)->used() / CELL;
            put_varint(n);
            for (uint32_t i = 0; i < n; i++) write_value(buffer(v.data2)->head_cell()[i]);
            return;
        }
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR:
            put_head(type, v);
            if (!shared) write_series_data(v, type);
            return;
        case TYPE_BITSET: {
            put_type(type, bitset::complemented_q(&v));
            if (shared) return;
            memory::SeriesBuffer* b = buffer(v.data2);
            put_varint(b->used());
            put_bytes(b->head_ptr(), b->used());
            return;
        }
        case TYPE_IMAGE: {
            put_head(type, v);
            if (shared) return;
            const uint32_t width = image::width_of(&v), height = image::height_of(&v);
            put_varint(width);
            put_varint(height);
            if (const uint8_t* pixels = image_pixels(v)) put_bytes(pixels, size_t(width) * height * 4);
            return;
        }
        case TYPE_MAP: {
            put_type(type, false);
            if (shared) return;
            put_varint(2 * live_entries(v));
            write_live_entries(v, [this](const Cell& c) { write_value(c); });
            return;
        }
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        case TYPE_REFINEMENT:
            write_word(v, type, shared);
            return;
        case TYPE_OBJECT:
            write_object(v, shared);
            return;
        case TYPE_FUNCTION:
            write_function(v, shared);
            return;
        default:
            no_codec(&v);
    }
}

void CompactWriter::write_word(const Cell& v, uint32_t type, const uint32_t* shared) {
    const NodeId context = word_context(v);
    const uint32_t symbol = g_writer.symbol(v.data2);
    if (!context) {
        put_type(type, false);
        put_varint(symbol);
        return;
    }
    const Cell owner = *context::owner_of(context);
    if (!owner.is(TYPE_OBJECT) && !owner.is(TYPE_FUNCTION)) no_codec(&v);
    int32_t index = int32_t(v.data3);
    if (v.data3 == context::NO_INDEX) index = context::find_word(context, v.data2, true);
    put_type(type, true);
    put_varint(symbol);
    put_signed_varint(index);
    if (shared) return;
    if (owner.is(TYPE_OBJECT)) write_object(owner, nullptr);
    else write_function(owner, nullptr);
}

void CompactWriter::write_context(NodeId context) {
    const Cell c = *context::cell_of(context);
    const NodeId values = (c.header & context::STACK_FLAG) ? 0 : c.data2;
    const uint32_t n = context::word_count(context);
    bool any = false;
    for (uint32_t i = 0; values && i < n && !any; i++)
        any = !buffer(values)->head_cell()[i].is(TYPE_UNSET);
    uint8_t flags = uint8_t(context::kind_of(&c));
    if (c.header & context::STACK_FLAG) flags |= 4;
    if (c.header & context::OWNER_FLAG) flags |= 8;
    if (any) flags |= 0x10;
    put_byte(TYPE_CONTEXT);
    put_byte(flags);
    put_varint(n);
    for (uint32_t i = 0; i < n; i++)
        put_varint(g_writer.symbol(buffer(context::word_block(context))->head_cell()[i].data2));
    if (!any) return;
    for (uint32_t i = 0; i < n; i++) write_value(buffer(values)->head_cell()[i]);
}

void CompactWriter::write_object(const Cell& v, const uint32_t* shared) {
    const bool handlers = v.data3 != 0 && !shared;
    put_type(TYPE_OBJECT, handlers);
    if (shared) return;
    put_signed_varint(int32_t(v.data2));
    if (handlers) {
        for (int k = 0; k < 2; k++) {
            const uint32_t index = buffer(v.data3)->head_cell()[k].data2 >> 16;
            put_signed_varint(index == object::NO_HANDLER ? -1 : int32_t(index));
        }
    }
    write_context(v.data1);
}

void CompactWriter::write_function(const Cell& v, const uint32_t* shared) {
    put_type(TYPE_FUNCTION, false);
    if (shared) return;
    const FunctionBlocks blocks = function_blocks(v);
    put_varint(blocks.spec_cells);
    put_varint(blocks.body_cells);
    write_context(v.data1);
    write_function_blocks(blocks, [this](const Cell& b) { write_value(b); });
}

// The stream header, the symbol table and the records.
std::vector<uint8_t> assemble(uint8_t version, uint32_t count, const std::vector<uint8_t>& records) {
    CompactWriter head;
    static const uint8_t magic[6] = {'Z', 'U', 'N', 'B', 'I', 'N'};
    head.put_bytes(magic, 6);
    head.put_byte(version);
    const uint32_t symbols = uint32_t(g_writer.symbols.size());
    head.put_byte(symbols ? FLAG_COMPACT | FLAG_SYMBOLS : FLAG_COMPACT);
    head.put_varint(count);
    head.put_varint(uint32_t(records.size()));
    if (symbols) {
        uint32_t size = 0;
        for (const std::string& name : g_writer.names) size += uint32_t(name.size()) + 1;
        head.put_varint(symbols);
        head.put_varint(size);
        uint32_t offset = 0;
        for (const std::string& name : g_writer.names) {
            head.put_u32(offset);
            offset += uint32_t(name.size()) + 1;
        }
        for (const std::string& name : g_writer.names) {
            head.put_bytes(reinterpret_cast<const uint8_t*>(name.data()), name.size());
            head.put_byte(0);
        }
    }
    head.put_bytes(records.data(), records.size());
    return std::move(head.out);
}

CompactWriter g_boot_writer;
uint32_t g_boot_count = 0;

}  // namespace

Cell* encode_cp(const Cell* value) {
    CollectorPause pause;
    g_codec_q = true;
    g_writer.reset();
    CompactWriter w;
    w.write_value(*value);
    const std::vector<uint8_t> stream = assemble(2, 1, w.out);
    g_writer.reset();
    return binary::push_bytes(stream.data(), uint32_t(stream.size()));
}

void boot_writer_begin(const std::vector<uint32_t>& symbols) {
    g_writer.reset();
    g_boot_writer.out.clear();
    g_boot_count = 0;
    for (uint32_t id : symbols) g_writer.symbol(id);
}

void boot_writer_set_function(uint32_t name, uint32_t type, uint32_t index, const Cell* spec) {
    CollectorPause pause;
    g_boot_writer.put_byte(PREFIX_SET);
    g_boot_writer.put_type(TYPE_SET_WORD, false);
    g_boot_writer.put_varint(g_writer.symbol(name));
    g_boot_writer.put_type(type, false);
    g_boot_writer.put_varint(index);
    boot_writer_literal(spec);
    g_boot_count++;
}

void boot_writer_literal(const Cell* value) {
    CollectorPause pause;
    // Each value is written alone: its references start from its own root.
    g_writer.counter = 0;
    g_writer.levels.clear();
    g_writer.references.clear();
    g_writer.paths.clear();
    g_boot_writer.write_value(*value);
    g_boot_count++;
}

std::vector<uint8_t> boot_writer_finish() {
    std::vector<uint8_t> stream = assemble(1, g_boot_count, g_boot_writer.out);
    g_boot_writer.out.clear();
    g_boot_count = 0;
    g_writer.reset();
    return stream;
}

}  // namespace zun::zunbin
