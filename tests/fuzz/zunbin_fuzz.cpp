// libFuzzer target: the zunbin codec's decode on arbitrary records behind a
// valid header (compact, or word-aligned with ZUNBIN_FUZZ_ALIGNED). The first
// input byte picks the flags' symbol bit. Bad input must end in
// zb-invalid-record, invalid-data or no-codec (not-done for image! records,
// stack-overflow for nesting deeper than walks of values allow); anything a sanitizer reports, or any other error, is a fault.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/collector.hpp"
#include "core/support.hpp"
#include "datatypes/series/binary.hpp"
#include "interpreter/stack.hpp"
#include "services/zunbin.hpp"
#include "startup/init.hpp"

using namespace zun;

#ifndef ZUNBIN_FUZZ_ALIGNED
#define ZUNBIN_FUZZ_ALIGNED 0
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = (startup::init_runtime(), true);
    (void)started;
    if (size == 0) return 0;
    std::vector<uint8_t> stream = {'Z', 'U', 'N', 'B', 'I', 'N', 2,
                                   uint8_t((ZUNBIN_FUZZ_ALIGNED ? 0 : 1) | (data[0] & 4))};
    stream.insert(stream.end(), data + 1, data + size);
    Cell* frame_base = stack::g_top;
    stack::push_try_frame(nullptr);
    try {
        Cell* bin = binary::push_bytes(stream.data(), uint32_t(stream.size()));
        zunbin::codec_decode(bin);
        stack::pop_frame();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        const ErrorId id = support::error_id_of(stack::top());
        stack::pop_frame();
        if (id != ErrorId::script_zb_invalid_record && id != ErrorId::script_invalid_data &&
            id != ErrorId::access_no_codec && id != ErrorId::internal_not_done &&
            id != ErrorId::internal_stack_overflow)
            __builtin_trap();
    }
    stack::g_top = frame_base;
    return 0;
}
