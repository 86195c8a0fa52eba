// libFuzzer target: arbitrary bytes through image!/load-binary, so through
// all five decoders and the libraries. bad-media is the expected outcome of
// most inputs; anything a sanitizer reports is a fault. The collector runs as
// allocations go, so dropped images give their pixels back.
#include <cstddef>
#include <cstdint>

#include "core/case_folding.hpp"
#include "core/collector.hpp"
#include "core/externals.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/image.hpp"
#include "interpreter/stack.hpp"
#include "services/image_codecs.hpp"

using namespace zun;

namespace {

void start_runtime() {
    memory::init();
    collector::init();
    externals::init();
    cycles::init();
    stack::init();
    registry::register_all();
    unicode::init_case_tables();
    symbols::init();
    collector::set_enabled(true);
    // A declared size must not ask for gigabytes.
    image_codec::set_pixel_limit(uint64_t(1) << 22);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = (start_runtime(), true);
    (void)started;
    Cell* bin = binary::push_bytes(data, uint32_t(size));
    stack::push_try_frame(nullptr);
    try {
        Cell* img = image::load_binary(bin);
        if (img->is(TYPE_IMAGE) && img->data2 && image::count_of(img) == 0) __builtin_trap();
        stack::pop_frame();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        stack::pop_frame();
    }
    stack::g_top = stack::g_bottom;
    return 0;
}
