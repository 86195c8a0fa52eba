// XXH64 with seed 0: the content checksum of Zstandard frames.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::compress {

uint64_t xxh64(const uint8_t* data, size_t length);

}  // namespace zun::compress
