// Drawing into windows of the window layer: each window drawn on keeps a
// render record over its retained surface, scaled by the window's DPI so
// draw blocks work in logical units. The GUI backend's painting opens a
// window pass (its face's colour and image, then draw blocks), and captures
// faces into images through the same pass.
#pragma once
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/cell.hpp"
#include "platform/window.hpp"

namespace zun::draw {

class Walker;

// A rectangle the rich-text layout paints behind its runs.
struct Backdrop {
    double x, y, width, height;
    uint32_t colour;  // packed: R low byte, transparency in the top byte
};

// The render record of a window.
struct WindowRecord {
    win::HWND hwnd = 0;
    bool layered = false;
    bool failed = false;  // its last resize failed: nothing is drawn until the next
    int width = 0, height = 0;  // pixels the targets were made for
    // The pixels drawn on: the layer's retained surface, or for a layered
    // window a surface of our own (create_window_bitmap hands it out).
    cairo_surface_t* pixels = nullptr;
    bool owns_pixels = false;
    // The same pixels with the DPI scale as device scale.
    cairo_surface_t* target = nullptr;
    double scale = 1.0;
    // Solid colour sources by packed colour, at most 64.
    std::vector<std::pair<uint32_t, cairo_pattern_t*>> colours;
    std::vector<Backdrop> backdrops;
};
constexpr size_t MAX_CACHED_COLOURS = 64;

// The window's record, made on first use at its client size.
WindowRecord* window_target(win::HWND hwnd, bool layered);
WindowRecord* find_window_target(win::HWND hwnd);
// Makes the record's targets again at width x height pixels; false (and
// "resizing failed" printed) when no surface can be made: the window then
// draws nothing until it is resized again.
bool resize_render_target(WindowRecord& record, int width, int height);
// Gives back the record's sources and surfaces (a window destroyed, or the
// device switched). release_all_render_targets does it for every window and
// resets the paint limit (the layer closing).
void release_render_target(win::HWND hwnd);
void release_all_render_targets();
// A switch of drawing path (toggle-GPU): the flag flips, every window's
// record is made again and the windows are painted anew. There is one
// software path on cairo, so both settings draw alike.
void switch_render_path();
bool gpu_path();
// A layered window's frame for UpdateLayeredWindow (pixels, no device
// scale), null without a record or with an empty client area.
cairo_surface_t* create_window_bitmap(win::HWND hwnd);
// A solid source of the packed colour, cached in the record while fewer than
// 64 are; the caller owns the reference answered.
cairo_pattern_t* colour_source(WindowRecord& record, uint32_t packed);

// The DPI drawing runs at: 96 until a scope is entered.
double current_dpi();
class DpiScope {
public:
    explicit DpiScope(win::HWND hwnd);
    ~DpiScope();
    DpiScope(const DpiScope&) = delete;
    DpiScope& operator=(const DpiScope&) = delete;

private:
    double m_saved;
};

// A window pass (draw-begin-dpi .. draw-end). Made with a paint context (the
// HDC of BeginPaint: its clip is kept, EndPaint hands the damage on) or
// without one (the damage is handed to the composition at the end). A
// layered pass draws into the layered frame and presents nothing.
class WindowPass {
public:
    WindowPass(win::HWND hwnd, const Cell* face, bool layered, win::HDC paint_dc);
    // The capture pass (face-to-image): the window's content at its DPI
    // into the image, whose pixels stand for the window's.
    WindowPass(win::HWND hwnd, const Cell* face, const Cell* image);
    ~WindowPass();
    WindowPass(const WindowPass&) = delete;
    WindowPass& operator=(const WindowPass&) = delete;

    // False when nothing can be drawn (no record, a failed resize, an empty
    // client area).
    bool open() const { return m_cr != nullptr; }
    // Walks a draw block on the pass, its errors printed (draw-face).
    void draw(const Cell* commands);
    // The pass open on the window, or null: draw-face outside a paint draws
    // nothing.
    static WindowPass* current(win::HWND hwnd);

private:
    void begin(const Cell* face);
    win::HWND m_hwnd;
    bool m_layered = false;
    bool m_paint = false;
    WindowRecord* m_record = nullptr;
    DpiScope m_dpi;
    cairo_t* m_cr = nullptr;
    cairo_surface_t* m_image_surface = nullptr;  // the capture's target
    NodeId m_image = 0;
    std::unique_ptr<Walker> m_walker;
    WindowPass* m_outer;
};

// One paint: opens a pass on the window, draws the commands (a block, or
// none) and closes it.
void paint_window(win::HWND hwnd, const Cell* face, const Cell* commands, bool layered, win::HDC paint_dc);
// Paints the face's content and commands into the image (face-to-image).
void capture_window(win::HWND hwnd, const Cell* face, const Cell* commands, const Cell* image);

// The layered paint limit: after a layered window's drawing, paints wait
// 16.6 ms; and one paint at a time. A refused paint's area is kept aside
// (the window stays due) and offered again when the running paint ends or
// the limit expires, never at once.
constexpr double LAYERED_FRAME_MS = 16.6;
// Answers whether the window may paint now; false keeps its area aside.
bool paint_may_start(win::HWND hwnd);
void paint_started(win::HWND hwnd, bool layered);
void paint_ended(win::HWND hwnd);
bool paint_in_progress();
// Forgets the frame timer and the held paints (the layer closing).
void reset_paint_limit();
// The wait of a layered window after a resize, before it is drawn again.
constexpr uint32_t LAYERED_RESIZE_WAIT_MS = 16;
void layered_resize_wait();

}  // namespace zun::draw
