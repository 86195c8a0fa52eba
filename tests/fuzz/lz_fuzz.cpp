// libFuzzer target: the runtime LZ decoder on arbitrary containers (it must
// refuse bad ones, never read past the input, and allocate no more than the
// input can expand to), and every input of 128 bytes or more compressed and
// decompressed again.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "services/lz.hpp"

using namespace zun::compress;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint32_t n = 0;
    if (uint8_t* out = lz_decompress(data, size, &n)) {
        if (uint64_t(n) > uint64_t(size) * 206) __builtin_trap();
        lz_free(out);
    }
    if (size >= LZ_MIN_INPUT && size < (1u << 22)) {
        std::vector<uint8_t> packed(size);
        const int64_t c = lz_compress(data, uint32_t(size), packed.data());
        if (c > 0) {
            uint8_t* back = lz_decompress(packed.data(), uint64_t(c), &n);
            if (!back || n != size || std::memcmp(back, data, size) != 0) __builtin_trap();
            lz_free(back);
        }
    }
    return 0;
}
