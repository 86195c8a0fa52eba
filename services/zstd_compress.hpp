// Zstandard compression (RFC 8878): one frame per call, levels 1 to 19 (a
// level of 0 or below is 3), no dictionary id and no content checksum.
// zstd_compress itself is declared with the other services in compress.hpp.
#pragma once
#include <cstdint>

#include "services/compress.hpp"

namespace zun::compress {

// The room zstd_compress asks for: n + 3 per 128 KiB block (at least one)
// + 10, enough for a frame whose every block is stored raw.
int64_t zstd_compress_bound(int64_t length);

}  // namespace zun::compress
