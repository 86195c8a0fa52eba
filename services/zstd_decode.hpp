// Zstandard decoding (RFC 8878): frames, skippable frames, blocks, literals
// and sequences, with the content checksum checked when writing. No heap
// allocation: the decoder context lives in the caller's frame.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::compress {

// Results shared by the compression services.
enum ZstdResult : int { ZSTD_DONE = 0, ZSTD_TOO_SMALL = 1, ZSTD_BAD_DATA = 2, ZSTD_TOO_LARGE = 6 };

// Decodes every frame of the input into out (capacity *size bytes). A null
// out, or an output found too small, measures instead: 1 with the size
// needed in *size (0 when the result is empty). A measured size above
// 2^31 - 1 is ZSTD_TOO_LARGE. Bad data is 2.
int zstd_decompress(uint8_t* out, int32_t* size, const uint8_t* in, int32_t length);

struct ZstdDecoder;

// The frame walker under zstd_decompress, for callers that want the modes:
// out null measures (capacity ignored); mode 0 may count a frame by its
// declared size, mode 1 decodes every block. *produced gets the total.
int zstd_decode_frames(const uint8_t* in, size_t length, uint8_t* out, uint64_t capacity,
                       uint64_t* produced, int mode, bool* size_from_header);

}  // namespace zun::compress
