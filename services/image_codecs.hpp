// Image codecs: whole images decoded at once into straight BGRA pixels (the
// format found from the data: PNG, JPEG, GIF, TIFF, BMP) and encoded into
// memory. PNG, JPEG, GIF and TIFF go through libpng, libjpeg-turbo, giflib
// and libtiff; BMP is our own (services/bmp).
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/cell.hpp"
#include "services/image_record.hpp"

namespace zun::image_codec {

// Encoder format index.
enum Format : int { IMAGE_BMP = 0, IMAGE_PNG, IMAGE_GIF, IMAGE_JPEG, IMAGE_TIFF };
const char* format_name(int format);  // "BMP" ...

// The container the bytes start with, or -1.
int sniff(const uint8_t* bytes, size_t n);

// Pixels of frame 0 (straight alpha), or nothing when the data cannot be
// decoded: unknown, corrupt or truncated data, or a declared size beyond
// size_ok or beyond the pixel limit.
std::optional<Pixels> decode_pixels(const uint8_t* bytes, size_t n);
// Decoders refuse images of more pixels than this (the fuzz target lowers it).
void set_pixel_limit(uint64_t pixels);

// Records from encoded data: 0 when it cannot be decoded. The bytes are
// decoded before the record is allocated, so they may lie in a series buffer.
NodeId decode_frame(const uint8_t* bytes, size_t n);
NodeId load_binary(const uint8_t* bytes, size_t n);
NodeId load_file(const std::string& path);

// Encoding into out; the 0 x 0 case is the caller's.
enum class EncodeStatus { ok, no_encoder, failed };
EncodeStatus encode_pixels(const uint32_t* pixels, uint32_t width, uint32_t height, int format,
                           std::vector<uint8_t>& out);
// The record's pixels encoded into out (cleared first). An index outside 0-4
// prints "Cannot find image encoder" and produces nothing (answers 0); a
// library failure raises access no-codec with the format's name word.
int encode_to_stream(Cell* out, NodeId record, int format);

}  // namespace zun::image_codec
