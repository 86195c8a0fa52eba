#include "services/zunbin.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/collector.hpp"
#include "core/memory.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/series/block.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/stack.hpp"
#include "services/lz.hpp"
#include "services/zunbin_compact.hpp"
#include "services/zunbin_state.hpp"

namespace zun::zunbin {

namespace {

constexpr int BOOT_DATA_CORRUPT = 98;
constexpr uint32_t CELL = sizeof(Cell);
constexpr uint8_t MAGIC[6] = {'Z', 'U', 'N', 'B', 'I', 'N'};

[[noreturn]] void not_zunbin(bool raise_errors, const char* line) {
    if (raise_errors) {
        const Cell arg = *stack::argument(0);
        support::fire_error(ErrorId::script_invalid_data, &arg);
    }
    std::fprintf(stderr, "%s\n", line);
    std::fflush(stderr);
    std::_Exit(BOOT_DATA_CORRUPT);
}

struct FreeInflated {
    void operator()(uint8_t* p) const { compress::lz_free(p); }
};

// The decoder state holds pointers into the input only while a decode runs.
struct DecodeScope {
    ~DecodeScope() {
        g_decode.origin = nullptr;
        g_decode.offsets = nullptr;
        g_decode.names = nullptr;
        g_decode.interned.clear();
        g_decode.global_index.clear();
        g_decode.root = Cell{};
    }
};

}  // namespace

namespace {

// The stream's header checked; the body, inflated when packed (held by
// inflated), between start and end. Sets the decoder's error origin.
struct Body {
    const uint8_t* start;
    const uint8_t* end;
    uint8_t flags;
};
Body open_body(const uint8_t* data, bool raise_errors, int64_t length,
               std::unique_ptr<uint8_t, FreeInflated>& inflated) {
    if (length >= 0 && length < 8) not_zunbin(raise_errors, "Error: Not a Zunbin file!");
    for (int i = 0; i < 6; i++)
        if (data[i] != MAGIC[i]) not_zunbin(raise_errors, "Error: Not a Zunbin file!");
    g_decode.origin = data;
    Body body{data + HEADER_SIZE, length >= 0 ? data + length : nullptr, data[7]};
    if (body.flags & FLAG_COMPRESSED) {
        uint32_t size = 0;
        inflated.reset(compress::lz_decompress(body.start, uint64_t(body.end - body.start), &size));
        if (!inflated) not_zunbin(raise_errors, "Error: Zunbin compressed data corrupted!");
        body.start = inflated.get();
        body.end = body.start + size;
        // Errors name the index the byte would have in the stream stored plain.
        g_decode.origin = body.start - HEADER_SIZE;
    }
    return body;
}

}  // namespace

uint32_t decode(const uint8_t* data, Cell* destination, bool raise_errors, int64_t length) {
    DecodeScope scope;
    std::unique_ptr<uint8_t, FreeInflated> inflated;
    const Body body = open_body(data, raise_errors, length, inflated);
    // Boot words name their context by literal number, counted from here.
    if (!raise_errors) g_decode.literal_base = memory::buffer_of(destination->data2)->used() / CELL;
    if (body.flags & FLAG_COMPACT) decode_compact(body.start, body.end, destination, body.flags & FLAG_SYMBOLS);
    else decode_word_aligned(body.start, body.end, destination, body.flags & FLAG_SYMBOLS);
    return g_decode.literal_base;
}

namespace {

// The boot reader's own decoder state, swapped in while it reads, so a codec
// decode run by the library between two values finds the usual state.
struct BootReader {
    DecodeState state;
    std::unique_ptr<uint8_t, FreeInflated> inflated;
    const uint8_t* at = nullptr;
    const uint8_t* end = nullptr;
};
BootReader g_boot;

class BootStep {
public:
    BootStep() {
        g_codec_q = false;
        std::swap(g_decode, g_boot.state);
    }
    ~BootStep() { std::swap(g_decode, g_boot.state); }
    BootStep(const BootStep&) = delete;
    BootStep& operator=(const BootStep&) = delete;

private:
    CollectorPause m_pause;
};

}  // namespace

void boot_open(const uint8_t* stream, int64_t length, const Cell& literals) {
    g_boot = BootReader{};
    BootStep step;
    g_decode.fatal = true;
    g_decode.root = literals;
    g_decode.literal_base = 0;
    support::set_boot_literals(literals.data2, 0);
    const Body body = open_body(stream, false, length, g_boot.inflated);
    if (!(body.flags & FLAG_COMPACT)) {
        // Word-aligned records are read whole.
        Cell root = literals;
        decode_word_aligned(body.start, body.end, &root, body.flags & FLAG_SYMBOLS);
        return;
    }
    const RecordSpan records = open_compact(body.start, body.end, body.flags & FLAG_SYMBOLS);
    g_boot.at = records.start;
    g_boot.end = records.end;
    while (set_record_at(g_boot.at, g_boot.end))
        g_boot.at = read_compact_record(g_boot.at, g_boot.end, literals.data2);
}

bool boot_next() {
    if (g_boot.at >= g_boot.end) return false;
    BootStep step;
    const NodeId literals = g_decode.root.data2;
    const uint32_t before = cells_in(literals);
    while (g_boot.at < g_boot.end && cells_in(literals) == before)
        g_boot.at = read_compact_record(g_boot.at, g_boot.end, literals);
    return cells_in(literals) > before;
}

uint32_t load_boot_data(const uint8_t* stream, int64_t length, bool keep_base) {
    g_codec_q = false;
    CollectorPause pause;
    const uint32_t saved = g_decode.literal_base;
    Cell root = *symbols::root_block();
    const uint32_t base = decode(stream, &root, false, length);
    if (keep_base) g_decode.literal_base = saved;
    else support::set_boot_literals(root.data2, base);
    return base;
}

Cell* codec_decode(const Cell* payload_in) {
    Cell payload = *payload_in;
    Cell* data = stack::push(&payload);
    if (payload.is(TYPE_FILE) || payload.is(TYPE_URL)) {
        actions::read_direct(data, nullptr, nullptr, true, false, false, nullptr);
        *data = *stack::top();
        stack::g_top = data + 1;
    } else if (!payload.is(TYPE_BINARY)) {
        support::fire_error(ErrorId::script_invalid_data, &payload);
    }
    if (!data->is(TYPE_BINARY)) support::fire_error(ErrorId::script_invalid_data, data);
    memory::SeriesBuffer* b = memory::buffer_of(data->data2);
    const int64_t head = std::max<int64_t>(int32_t(data->data1), 0);
    const int64_t size = int64_t(b->used()) - head;
    if (size <= 10) support::fire_error(ErrorId::script_invalid_data, data);
    Cell* result = stack::push_cell();
    block::make_at(result, 1);
    g_codec_q = true;
    {
        CollectorPause pause;
        b = memory::buffer_of(data->data2);
        decode(b->head_ptr() + head, result, true, size);
    }
    if (memory::buffer_of(result->data2)->used() == CELL) *result = *block::cell_at(result, 0);
    *data = *result;
    stack::g_top = data + 1;
    return data;
}

}  // namespace zun::zunbin
