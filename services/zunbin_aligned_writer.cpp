// The word-aligned writer: every record a run of little-endian 32-bit words,
// doubles after a padding word when needed, series data padded to a word.
#include <cstring>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "datatypes/context.hpp"
#include "datatypes/error.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/bitset.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/tuple.hpp"
#include "services/zunbin.hpp"
#include "datatypes/series/image.hpp"
#include "services/image_record.hpp"
#include "services/zunbin_state.hpp"

namespace zun::zunbin {

namespace {

using namespace aligned;

constexpr uint32_t CELL = sizeof(Cell);

memory::SeriesBuffer* buffer(NodeId node) { return memory::buffer_of(node); }

class AlignedWriter {
public:
    std::vector<uint8_t> out;

    void emit_dword(uint32_t v) {
        const size_t at = out.size();
        out.resize(at + 4);
        std::memcpy(out.data() + at, &v, 4);
    }
    void emit_bytes(const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }
    void pad_output(uint32_t bits) {
        while (out.size() % (bits / 8)) out.push_back(0);
    }
    void emit_reference(const uint32_t* entry) {
        emit_dword(REFERENCE);
        for (uint32_t i = 0; i <= entry[0]; i++) emit_dword(entry[i]);
    }
    void write_value(const Cell& value);

private:
    void write_body(const Cell& v, uint32_t h, bool shared);
    void write_word(const Cell& v, uint32_t h, bool shared);
    void write_object(const Cell& v, uint32_t h, bool shared);
    void write_function(const Cell& v, uint32_t h, bool shared);
    void write_context(NodeId context);
};

void AlignedWriter::write_value(const Cell& value) {
    Depth depth;
    const uint32_t type = value.type();
    if (unwritable_q(type)) no_codec(&value);
    uint32_t h = type | ((value.header & NEW_LINE_FLAG) ? NEW_LINE_BIT : 0);
    const Sharing sharing = begin_sharing(value);
    if (sharing.shared) h |= SHARED_BIT;
    write_body(value, h, sharing.shared);
    if (sharing.shared) emit_reference(sharing.shared);
    end_sharing(sharing);
}

void AlignedWriter::write_body(const Cell& v, uint32_t h, bool shared) {
    const uint32_t type = v.type();
    switch (type) {
        case TYPE_UNSET: case TYPE_NONE:
            emit_dword(h);
            return;
        case TYPE_DATATYPE: case TYPE_LOGIC:
            emit_dword(h);
            emit_dword(v.data1);
            return;
        case TYPE_CHAR: case TYPE_INTEGER:
            emit_dword(h);
            emit_dword(v.data2);
            return;
        case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
            pad_output(64);
            emit_dword(h);
            emit_dword(v.data3);
            emit_dword(v.data2);
            return;
        case TYPE_PAIR:
            emit_dword(h);
            emit_dword(v.data2);
            emit_dword(v.data3);
            return;
        case TYPE_POINT2D:
            emit_dword(h);
            emit_dword(v.data1);
            emit_dword(v.data2);
            return;
        case TYPE_DATE:
            emit_dword(h);
            emit_dword(v.data1);
            emit_dword(v.data3);
            emit_dword(v.data2);
            return;
        case TYPE_TUPLE: case TYPE_MONEY: case TYPE_TYPESET: case TYPE_POINT3D:
            if (type == TYPE_TUPLE) h |= ((v.header >> tuple::LENGTH_SHIFT) & 0xF) << 8;
            if (type == TYPE_MONEY && (v.header & (1u << 14))) h |= MONEY_SIGN_BIT;
            emit_dword(h);
            emit_dword(v.data1);
            emit_dword(v.data2);
            emit_dword(v.data3);
            return;
        case TYPE_ISSUE:
            emit_dword(h);
            emit_dword(g_writer.symbol(v.data2));
            return;
        case TYPE_ERROR:
            g_writer.push_level();
            g_writer.record(v.data1);
            emit_dword(h);
            emit_dword(uint32_t(error::field(&v, error::CODE)->as_int()));
            for (uint32_t f = error::ARG1; f <= error::STACK; f++)
                write_value(*error::field(&v, error::Field(f)));
            g_writer.pop_level();
            return;
        case TYPE_NATIVE: case TYPE_ACTION:
            emit_dword(h);
            emit_dword(native_index(v));
            write_value(make_cell(TYPE_BLOCK, 0, v.data2, 0));
            g_writer.counter--;
            return;
        case TYPE_OP: {
            const uint32_t wrapped = (v.header >> 16) & 0xFF;
            if (wrapped == TYPE_ROUTINE) no_codec(&v);
            emit_dword((h & ~(0xFFu << 16)) | wrapped << 16);
            Cell inner = v;
            inner.header = wrapped;
            write_value(inner);
            g_writer.counter--;
            return;
        }
        case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH: case TYPE_SET_PATH:
        case TYPE_GET_PATH: case TYPE_HASH: {
            emit_dword(h);
            emit_dword(v.data1);
            if (shared) return;
            const uint32_t n = buffer(v.data2)->used() / CELL;
            emit_dword(n);
            for (uint32_t i = 0; i < n; i++) write_value(buffer(v.data2)->head_cell()[i]);
            return;
        }
        case TYPE_MAP: {
            emit_dword(h);
            if (shared) return;
            emit_dword(2 * live_entries(v));
            write_live_entries(v, [this](const Cell& c) { write_value(c); });
            return;
        }
        case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
        case TYPE_REF: case TYPE_BINARY: case TYPE_VECTOR: {
            memory::SeriesBuffer* b = buffer(v.data2);
            emit_dword(h | b->unit() << 8);
            emit_dword(v.data1);
            if (shared) return;
            emit_dword(b->used() / b->unit());
            if (type == TYPE_VECTOR) emit_dword(v.data3);
            emit_bytes(b->head_ptr(), b->used());
            pad_output(32);
            return;
        }
        case TYPE_BITSET: {
            emit_dword(h | (bitset::complemented_q(&v) ? COMPLEMENT_BIT : 0));
            if (shared) return;
            memory::SeriesBuffer* b = buffer(v.data2);
            emit_dword(b->used());
            emit_bytes(b->head_ptr(), b->used());
            pad_output(32);
            return;
        }
        case TYPE_IMAGE: {
            emit_dword(h);
            emit_dword(v.data1);
            if (shared) return;
            const uint32_t width = image::width_of(&v), height = image::height_of(&v);
            emit_dword(width | height << 16);
            if (const uint8_t* pixels = image_pixels(v)) emit_bytes(pixels, size_t(width) * height * 4);
            return;
        }
        case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
        case TYPE_REFINEMENT:
            write_word(v, h, shared);
            return;
        case TYPE_OBJECT:
            write_object(v, h, shared);
            return;
        case TYPE_FUNCTION:
            write_function(v, h, shared);
            return;
        default:
            no_codec(&v);
    }
}

void AlignedWriter::write_word(const Cell& v, uint32_t h, bool shared) {
    const NodeId context = word_context(v);
    if (!context) {
        emit_dword(h | GLOBAL_BIT);
        emit_dword(g_writer.symbol(v.data2));
        emit_dword(v.data3);
        return;
    }
    const Cell owner = *context::owner_of(context);
    if (!owner.is(TYPE_OBJECT) && !owner.is(TYPE_FUNCTION)) no_codec(&v);
    uint32_t index = v.data3;
    if (index == context::NO_INDEX) index = uint32_t(context::find_word(context, v.data2, true));
    emit_dword(h);
    emit_dword(g_writer.symbol(v.data2));
    emit_dword(index);
    if (shared) return;
    if (owner.is(TYPE_OBJECT)) write_object(owner, TYPE_OBJECT, false);
    else write_function(owner, TYPE_FUNCTION, false);
}

void AlignedWriter::write_context(NodeId context) {
    const Cell c = *context::cell_of(context);
    const bool stack = c.header & context::STACK_FLAG;
    const NodeId values = stack ? 0 : c.data2;
    const uint32_t n = context::word_count(context);
    uint32_t h = TYPE_CONTEXT | context::kind_of(&c) << 26;
    if (stack) h |= CONTEXT_STACK_BIT;
    if (c.header & context::OWNER_FLAG) h |= CONTEXT_OWNER_BIT;
    for (uint32_t i = 0; values && i < n; i++) {
        if (buffer(values)->head_cell()[i].is(TYPE_UNSET)) continue;
        h |= VALUES_BIT;
        break;
    }
    emit_dword(h);
    emit_dword(n);
    for (uint32_t i = 0; i < n; i++)
        emit_dword(g_writer.symbol(buffer(context::word_block(context))->head_cell()[i].data2));
    if (!(h & VALUES_BIT)) return;
    for (uint32_t i = 0; i < n; i++) write_value(buffer(values)->head_cell()[i]);
}

void AlignedWriter::write_object(const Cell& v, uint32_t h, bool shared) {
    if (v.data3 && !shared) h |= ON_SET_BIT;
    emit_dword(h);
    if (shared) return;
    emit_dword(v.data2);
    if (h & ON_SET_BIT) {
        for (int k = 0; k < 2; k++) {
            const uint32_t index = buffer(v.data3)->head_cell()[k].data2 >> 16;
            emit_dword(index == object::NO_HANDLER ? 0xFFFFFFFFu : index);
        }
    }
    write_context(v.data1);
}

void AlignedWriter::write_function(const Cell& v, uint32_t h, bool shared) {
    emit_dword(h);
    if (shared) return;
    const FunctionBlocks blocks = function_blocks(v);
    emit_dword(blocks.spec_cells);
    emit_dword(blocks.body_cells);
    write_context(v.data1);
    write_function_blocks(blocks, [this](const Cell& b) { write_value(b); });
}

}  // namespace

Cell* encode(const Cell* value) {
    CollectorPause pause;
    g_codec_q = true;
    g_writer.reset();
    AlignedWriter w;
    w.write_value(*value);
    AlignedWriter head;
    static const uint8_t magic[8] = {'Z', 'U', 'N', 'B', 'I', 'N', 2, 0};
    head.emit_bytes(magic, 8);
    const uint32_t symbols = uint32_t(g_writer.symbols.size());
    if (symbols) head.out[7] = FLAG_SYMBOLS;
    head.emit_dword(1);
    head.emit_dword(uint32_t(w.out.size()));
    if (symbols) {
        std::vector<uint32_t> offsets;
        std::vector<uint8_t> names;
        for (const std::string& name : g_writer.names) {
            offsets.push_back(uint32_t(names.size()));
            names.insert(names.end(), name.begin(), name.end());
            names.push_back(0);
            while (names.size() % 8) names.push_back(0);
        }
        head.emit_dword(symbols);
        head.emit_dword(uint32_t(names.size()));
        for (uint32_t offset : offsets) head.emit_dword(offset);
        head.emit_bytes(names.data(), names.size());
    }
    head.emit_bytes(w.out.data(), w.out.size());
    g_writer.reset();
    return binary::push_bytes(head.out.data(), uint32_t(head.out.size()));
}

}  // namespace zun::zunbin
