// Image records: the 24-byte payload behind every image! value.
//
// The record is a series buffer of the memory manager (so the collector sees
// it and `stats` counts it) holding six 32-bit words:
//   0 flags      (below)
//   4 source     1 when the premultiplied copy exists, else 0
//   8 bitmap     1 when the straight buffer exists, else 0
//  12 size       width | height << 16
//  16 resource   the external-resource entry (kind "image") that owns the pixels
//  20 attached   1 while an attached object is held, else 0
// The pixels themselves live in a C++ object (Pixels) that the external
// entry owns; its release callback frees them when the collector drops the
// record. Real pointers stay in C++ structures only.
//
// Pixels are 32-bit words alpha << 24 | R << 16 | G << 8 | B (little-endian
// B, G, R, A in memory), straight alpha, stored alpha = 255 - the language's
// alpha. The "converted source" is a premultiplied copy of the straight
// buffer made on demand, in exactly cairo's ARGB32 layout, so the drawing
// backend can wrap it as a surface (stride = width x 4).
//
// Invalidation between pixel access and drawing:
//   - writing pixels (a write lock, set-pixel) sets MODIFIED: the next request
//     for the premultiplied copy rebuilds it from the straight buffer and
//     drops the attached object;
//   - drawing into the shared premultiplied copy is announced with
//     invalidate_attached (sets DRAWN): the next pixel access rebuilds the
//     straight buffer from the premultiplied one. Only such pixels ever go
//     through the inverse of premultiplying.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/cell.hpp"

namespace zun::image_codec {

// Record flags.
constexpr uint32_t BITMAP_VALID = 0x01;   // the straight buffer is valid
constexpr uint32_t MODIFIED = 0x02;       // pixels written since the last conversion
constexpr uint32_t SHARED = 0x08;         // the premultiplied copy is shared with drawing
constexpr uint32_t PREMULTIPLIED = 0x10;  // the source is premultiplied
constexpr uint32_t DRAWN = 0x20;          // drawn into: rebuild the straight buffer first
constexpr uint32_t HANDED_OUT = 0x40;     // attached object handed out since last collection

// Sides above this, or more than MAX_BYTES of pixels, are refused.
constexpr uint32_t MAX_SIDE = 65535;
constexpr uint64_t MAX_BYTES = 0x7FFFFFFF;
// Whether width x height pixels fit the size word and the byte limit.
bool size_ok(int64_t width, int64_t height);

// The drawing backend's object attached to a record: opaque to us, reference
// counted, freed through the release function its owner supplies.
struct Attached {
    void* object = nullptr;
    void (*release)(void* object) = nullptr;
    uint32_t references = 1;
};
// A new handle holding one reference (the caller's).
Attached* make_attached(void* object, void (*release)(void*));
void retain(Attached* a);
void release(Attached* a);  // the owner's release runs with the last reference

// The pixels a record owns.
struct Pixels {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> straight;       // valid while BITMAP_VALID
    std::vector<uint32_t> premultiplied;  // the converted source, when made
    Attached* attached = nullptr;
    size_t count() const { return size_t(width) * height; }
};

// Premultiplying one pixel and back (0 colour when alpha is 0).
uint32_t premultiply(uint32_t pixel);
uint32_t unpremultiply(uint32_t pixel);

// Start-up, before image! registers: nothing the libraries need is set up
// globally; the external-resource kind "image" is registered with the first
// record made on a memory manager.
void init_factory();

// How many records hold pixels now (freed by the collector's sweep).
size_t live_records();

// Record and bookkeeping. new_record takes the pixels (their sizes must pass
// size_ok) and answers the record's node; it may run a collection (so may
// every maker below), and the node must reach a cell before the next
// allocation.
NodeId new_record(Pixels&& pixels, uint32_t flags);
uint32_t bitmap_width(NodeId record);
uint32_t bitmap_height(NodeId record);
uint32_t record_flags(NodeId record);
Pixels* pixels_of(NodeId record);
// The attached object: attach keeps the caller's reference and releases the
// one held before; get answers it with a new reference (nullptr when none)
// and sets HANDED_OUT.
void attach_bitmap(NodeId record, Attached* object);
Attached* get_attached_bitmap(NodeId record);
void drop_attached_bitmap(NodeId record);
// Drawing into the image begins: sets DRAWN and drops the attached object.
void invalidate_attached(NodeId record);
// The collector marks an image! value: marks the record's entry; the first
// time in a collection, an attached object survives only when handed out
// since the previous collection.
void sweep_attached_bitmap(NodeId record);
// Frees every buffer and the attached object (the kind's release).
void release_bitmaps(NodeId record);

// Conversion. get_converted_bitmap answers the premultiplied copy (or the
// straight buffer without premultiplied), rebuilt when missing, when pixels
// were written since, or when the other form was asked last; rebuilding drops
// the attached object and clears MODIFIED and SHARED.
const uint32_t* get_converted_bitmap(NodeId record, bool premultiplied);
// The premultiplied copy the drawing backend draws from or into (SHARED set).
uint32_t* make_shared_bitmap(NodeId record);
// The straight buffer, rebuilt from the premultiplied copy after drawing.
uint32_t* get_bitmap(NodeId record);

// Pixel access. A write lock sets MODIFIED.
struct Lock {
    NodeId record = 0;
    uint32_t* data = nullptr;
    uint32_t stride = 0;
};
Lock lock_bitmap(NodeId record, bool write);
uint32_t* lock_data(const Lock& lock, uint32_t* stride);
void unlock_bitmap(Lock& lock);
uint32_t get_pixel(NodeId record, uint32_t index);
void set_pixel(NodeId record, uint32_t index, uint32_t pixel);
// The straight buffer is BGRA here, always.
inline bool is_bgra_q(NodeId) { return true; }
inline bool lock_is_bgra_q(const Lock&) { return true; }

// Making images. make_bitmap: every pixel the colour (when given), else from
// RGB bytes (whole triples only, white after them) and alpha bytes (stored
// 255 - byte, opaque after them). The bytes are read before the record is
// allocated, so they may lie in series buffers.
NodeId make_bitmap(uint32_t width, uint32_t height, const uint8_t* colour, int colour_length,
                   const uint8_t* rgb, size_t rgb_length, const uint8_t* alpha,
                   size_t alpha_length);
// Pixels in rows of stride bytes (0: width x 4), top row first.
NodeId bitmap_from_memory(uint32_t width, uint32_t height, uint32_t stride,
                          const uint8_t* pixels);
NodeId flip_vertical(NodeId record);
// Nearest neighbour on pixel centres; the caller gives a size that passes size_ok.
NodeId resize(NodeId record, uint32_t width, uint32_t height);
// The rectangle is cut to the image first; answers 0 when nothing is left.
NodeId crop(NodeId record, int64_t x, int64_t y, int64_t width, int64_t height);
NodeId copy_bitmap(NodeId record);

}  // namespace zun::image_codec
