// libFuzzer target: the runtime LZ decoder on arbitrary containers. It must
// refuse bad ones, never read past the input, and produce no more than the
// input can expand to. (Round trips through the compressor are the unit
// tests': it clears 6 MB of tables per call, which would starve the fuzzer.)
#include <cstddef>
#include <cstdint>

#include "services/lz.hpp"

using namespace zun::compress;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t n = 0;
    if (uint8_t* out = lz_decompress(data, size, &n)) {
        if (uint64_t(n) > uint64_t(size) * 206) __builtin_trap();
        lz_free(out);
    }
    return 0;
}
