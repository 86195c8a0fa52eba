// BMP files, our own reader and writer.
// Reads headers of 12, 40, 52, 56, 108 and 124 bytes; 1-, 4- and 8-bit
// palettes (short ones allowed), 16-bit 555, 565 and bit fields, 24-bit,
// 32-bit (BI_RGB opaque; bit fields with an alpha mask honour it); RLE8 and
// RLE4 (pixels they skip are transparent black); bottom-up and top-down rows.
// Embedded JPEG or PNG is refused. Writes 32-bit BGRA with a version 4 header,
// bit fields with an alpha mask, bottom-up.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "services/image_record.hpp"

namespace zun::bmp {

// max_pixels bounds width x height before anything is allocated.
std::optional<image_codec::Pixels> decode(const uint8_t* bytes, size_t n, uint64_t max_pixels);
void encode(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& out);

}  // namespace zun::bmp
