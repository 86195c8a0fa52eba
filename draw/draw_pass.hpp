// The draw pass on image targets: a block of drawing commands painted with
// cairo over the image's premultiplied pixels, and the routines of
// system/view/platform.
#pragma once
#include <cairo.h>

#include <cstdint>

#include "core/cell.hpp"

namespace zun::draw {

class Walker;

// A field of an object (a face, system/view), or nullptr.
const Cell* field_of(const Cell* object, const char* name);

// A cairo target over premultiplied ARGB pixels; flushed when it goes. One
// that cannot be made raises internal no-memory before any walk.
struct ImagePass {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    ImagePass(uint32_t* pixels, uint32_t w, uint32_t h);
    ~ImagePass() { release(); }
    ImagePass(const ImagePass&) = delete;
    ImagePass& operator=(const ImagePass&) = delete;
    void release();
};

// Walks the commands with their errors printed (painting): the pass stops,
// the program goes on.
void walk_caught(Walker& walker, const Cell* commands);

// OS-do-draw on an image: runs the commands on it. Catch mode (painting)
// prints an error and stops; script mode raises it after the pass ended.
void do_draw(const Cell* image, const Cell* commands, bool catch_mode);

// A window's paint: the commands on a cairo context over its surface (the
// caller sets the clip and the DPI scale); errors are printed.
void do_draw_on(cairo_t* cr, const Cell* commands);

// draw/release-device-resources: one software path on cairo image surfaces
// holds nothing bound to a device, so there is nothing to give back.
void release_device_resources();

// The 29 routines of system/view/platform in member order, as a new block
// pushed on the stack (draw-image and toggle-GPU work; those of the windows
// layer raise internal not-done until it comes).
Cell* push_platform_routines();

}  // namespace zun::draw
