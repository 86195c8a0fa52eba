// image!: a grid of 32-bit pixels navigated like a series of pixels in
// row-major order.
//
// Cell: word 1 the head (a pixel number from the top-left pixel), word 2 the
// image record (services/image_record; 0 for an image of zero width or
// height), word 3 the size word width | height << 16. An owner object watching
// the image is found through the ownership table by the record's node.
//
// A pixel read as a tuple is R.G.B.A with A = 255 - stored alpha (0 opaque).
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::image {

void register_type();

inline uint32_t width_of(const Cell* img) { return img->data3 & 0xFFFF; }
inline uint32_t height_of(const Cell* img) { return img->data3 >> 16; }
inline int64_t count_of(const Cell* img) { return int64_t(width_of(img)) * height_of(img); }

// The cell becomes an image! over the record (head 0, its size); record 0
// makes an image of the given size without pixels.
Cell* make_at(Cell* cell, NodeId record, uint32_t width = 0, uint32_t height = 0);
// A new image! of the image scaled to the size (no record when it is empty).
Cell* push_resized(const Cell* img, int32_t width, int32_t height);
// Whether the binary's bytes from its head start with a known image signature.
bool encoded_image_q(const Cell* bin);
// none without a signature; a new image! pushed; access bad-media when
// decoding fails.
Cell* load_binary(const Cell* bin);
// Decodes the file into the target; access cannot-open with the file.
Cell* load_file(Cell* target, const Cell* file);
// binary! through load_binary, url! read as binary first, file! through load_file.
Cell* decode(const Cell* value);
// Encodes in the format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF); a none target
// gives a new binary!, a file! or url! target is written and answered.
Cell* encode(const Cell* img, const Cell* target, int format);
// Mode 0: 255 - stored alpha per pixel; 1: R, G, B; 2: the stored words as
// they lie in memory. From the first pixel. Pushed.
Cell* extract_data(const Cell* img, int mode);
// From the first pixel: a binary! (bytes by mode), a tuple! or integer! colour
// for every pixel; anything else script invalid-arg. The owner is told.
void set_data(Cell* img, const Cell* value, int mode);
// none at w x h, else the pixel as a 4-component tuple; pushed.
Cell* pixel_at(const Cell* img, int64_t index);
// The pixel number of a position (integer! or pair!) with base 1 or 0,
// limited to 0 .. w x h; *out_of_range tells whether it lies outside.
int64_t pixel_index(const Cell* img, const Cell* position, int base, bool* out_of_range);
// foreach: sets the count words to the tuples of the next pixels from the head.
void foreach_step(const Cell* words, const Cell* img, int32_t count);
// The collector's marking of an image! value, and the explicit release.
void sweep_node(NodeId record);
void release_node(NodeId record);

}  // namespace zun::image
