// Arbitrary bytes through image!/load-binary: every decoder and library.
#include <cstddef>
#include <cstdint>

#include "core/support.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/image.hpp"
#include "interpreter/stack.hpp"
#include "services/image_codecs.hpp"
#include "startup/init.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        zun::startup::init_runtime();
        // Bounded so a declared size cannot ask for gigabytes.
        zun::image_codec::set_pixel_limit(uint64_t(1) << 22);
        return true;
    }();
    (void)ready;
    zun::stack::StackScope scope;
    zun::Cell* bin = zun::binary::push_bytes(data, uint32_t(size));
    try {
        zun::image::load_binary(bin);
    } catch (...) {
        zun::stack::adjust_after_error();
    }
    return 0;
}
