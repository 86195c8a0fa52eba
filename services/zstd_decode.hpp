// Zstandard decoding (RFC 8878): frames, skippable frames, blocks, literals
// and sequences, with the content checksum checked when writing. No heap
// allocation: the decoder context lives in the caller's frame.
#pragma once
#include <cstddef>
#include <cstdint>

#include "services/compress.hpp"

namespace zun::compress {

// zstd_decompress (declared with the other services in compress.hpp) decodes
// every frame of the input into out (capacity *size bytes). A null out, or an
// output found too small, measures instead: TOO_SMALL with the size needed in
// *size (DONE when the result is empty). A measured size above 2^31 - 1 is
// TOO_LARGE; bad data is BAD_DATA.

// The frame walker under zstd_decompress, for callers that want the modes:
// out null measures (capacity ignored); mode 0 may count a frame by its
// declared size, mode 1 decodes every block. *produced gets the total.
int zstd_decode_frames(const uint8_t* in, size_t length, uint8_t* out, uint64_t capacity,
                       uint64_t* produced, int mode, bool* size_from_header);

}  // namespace zun::compress
