#include "draw/window_target.hpp"

#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <unordered_map>

#include "core/console_out.hpp"
#include "core/memory.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/tuple.hpp"
#include "draw/draw_pass.hpp"
#include "draw/text_draw.hpp"
#include "draw/text_render.hpp"
#include "draw/walker.hpp"
#include "services/image_record.hpp"

namespace zun::draw {

using namespace win;

namespace {

std::unordered_map<HWND, std::unique_ptr<WindowRecord>> g_records;
double g_dpi = 96.0;
WindowPass* g_current = nullptr;  // innermost open window pass
bool g_gpu_path = true;

void print_line(const char* text) { console_out::write_units(text, std::strlen(text), 1, true); }

void release_targets(WindowRecord& r) {
    if (r.target) cairo_surface_destroy(r.target);
    if (r.owns_pixels && r.pixels) cairo_surface_destroy(r.pixels);
    r.target = r.pixels = nullptr;
    r.owns_pixels = false;
}

SIZE client_size(HWND hwnd) {
    RECT c;
    if (!GetClientRect(hwnd, &c)) return {};
    return {c.right, c.bottom};
}

bool face_colour(const Cell* face, Rgba* out) {
    const Cell* c = field_of(face, "color");
    if (!c || !c->is(TYPE_TUPLE)) return false;
    uint8_t bytes[tuple::MAX_LENGTH];
    tuple::get_bytes(c, bytes);
    *out = tuple_to_rgba(bytes, tuple::length_of(c));
    return true;
}

// Text: the desktop's subpixel order on windows, grey on layered windows and
// images.
void set_text_antialias(cairo_t* cr, bool subpixel) {
    win::set_text_rendering(cr, win::window_text_rendering(win::current_desktop(), !subpixel));
}

uint32_t pack(const Rgba& c) {
    auto byte = [](double v) { return uint32_t(std::lround(v * 255)); };
    return byte(c.r) | byte(c.g) << 8 | byte(c.b) << 16 | (255 - byte(c.a)) << 24;
}

}  // namespace

// ------------------------------------------------------------------ records

WindowRecord* find_window_target(HWND hwnd) {
    auto it = g_records.find(hwnd);
    return it == g_records.end() ? nullptr : it->second.get();
}

WindowRecord* window_target(HWND hwnd, bool layered) {
    if (WindowRecord* r = find_window_target(hwnd)) {
        if (r->layered != layered) {  // the window turned layered or back
            r->layered = layered;
            const SIZE s = client_size(hwnd);
            resize_render_target(*r, s.cx, s.cy);
        }
        return r;
    }
    if (!IsWindow(hwnd)) return nullptr;
    auto made = std::make_unique<WindowRecord>();
    made->hwnd = hwnd;
    made->layered = layered;
    made->colours.reserve(MAX_CACHED_COLOURS);
    WindowRecord* r = made.get();
    g_records.emplace(hwnd, std::move(made));
    const SIZE s = client_size(hwnd);
    if (s.cx > 0 && s.cy > 0) resize_render_target(*r, s.cx, s.cy);
    return r;
}

bool resize_render_target(WindowRecord& r, int width, int height) {
    release_targets(r);
    r.failed = false;
    r.width = width, r.height = height;  // kept on failure: the next resize tries again
    if (width <= 0 || height <= 0) return true;  // nothing to draw on, nothing failed
    if (r.layered) {
        r.pixels = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        r.owns_pixels = true;
    } else {
        r.pixels = GetWindowSurface(r.hwnd);
    }
    if (r.pixels && cairo_surface_status(r.pixels) == CAIRO_STATUS_SUCCESS &&
        cairo_image_surface_get_width(r.pixels) == width && cairo_image_surface_get_height(r.pixels) == height) {
        r.target = cairo_image_surface_create_for_data(cairo_image_surface_get_data(r.pixels), CAIRO_FORMAT_ARGB32,
                                                       width, height, cairo_image_surface_get_stride(r.pixels));
        if (cairo_surface_status(r.target) == CAIRO_STATUS_SUCCESS) return true;
    }
    release_targets(r);
    r.failed = true;
    print_line("resizing failed");
    return false;
}

void release_render_target(HWND hwnd) {
    auto it = g_records.find(hwnd);
    if (it == g_records.end()) return;
    WindowRecord& r = *it->second;
    for (auto& [packed, source] : r.colours) cairo_pattern_destroy(source);
    release_targets(r);
    g_records.erase(it);
}

void release_all_render_targets() {
    while (!g_records.empty()) release_render_target(g_records.begin()->first);
    reset_paint_limit();
}

void switch_render_path() {
    g_gpu_path = !g_gpu_path;
    if (g_current) return;  // a pass draws on the records: they stay until the next switch
    std::vector<HWND> windows;
    for (const auto& [hwnd, record] : g_records) windows.push_back(hwnd);
    for (HWND hwnd : windows) {
        release_render_target(hwnd);
        if (IsWindow(hwnd)) RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

bool gpu_path() { return g_gpu_path; }

cairo_surface_t* create_window_bitmap(HWND hwnd) {
    WindowRecord* r = find_window_target(hwnd);
    if (!r || !r->layered) return nullptr;
    const SIZE s = client_size(hwnd);
    if (s.cx <= 0 || s.cy <= 0) return nullptr;
    // same size: the frame is kept
    if (r->width != s.cx || r->height != s.cy || r->failed) resize_render_target(*r, s.cx, s.cy);
    if (r->pixels) cairo_surface_flush(r->pixels);
    return r->pixels;
}

cairo_pattern_t* colour_source(WindowRecord& r, uint32_t packed) {
    for (auto& [c, source] : r.colours)
        if (c == packed) return cairo_pattern_reference(source);
    cairo_pattern_t* source = cairo_pattern_create_rgba((packed & 0xFF) / 255.0, ((packed >> 8) & 0xFF) / 255.0,
                                                        ((packed >> 16) & 0xFF) / 255.0, (255 - (packed >> 24)) / 255.0);
    if (r.colours.size() < MAX_CACHED_COLOURS) r.colours.emplace_back(packed, cairo_pattern_reference(source));
    return source;
}

// ---------------------------------------------------------------------- DPI

double current_dpi() { return g_dpi; }

DpiScope::DpiScope(HWND hwnd) : m_saved(g_dpi) {
    if (hwnd && IsWindow(hwnd)) g_dpi = GetDpiForWindow(hwnd);
}
DpiScope::~DpiScope() { g_dpi = m_saved; }

// ------------------------------------------------------------ the paint limit

namespace {

bool g_painting = false;
bool g_last_layered = false;
uint64_t g_last_start = 0;
bool g_started = false;
struct Held {
    HWND hwnd;
    RECT area;
};
std::vector<Held> g_held;
constexpr uintptr_t REOFFER_TIMER = 0x7A50;

void reoffer(HWND hwnd) {
    for (size_t i = 0; i < g_held.size(); ++i) {
        if (g_held[i].hwnd != hwnd) continue;
        const RECT area = g_held[i].area;
        g_held.erase(g_held.begin() + long(i));
        KillTimer(hwnd, REOFFER_TIMER);
        InvalidateRect(hwnd, &area, false);
        return;
    }
}

void on_reoffer_timer(HWND hwnd, UINT, uintptr_t, uint32_t) { reoffer(hwnd); }

void hold(HWND hwnd, uint32_t wait_ms) {
    RECT area;
    if (!GetUpdateRect(hwnd, &area, false)) GetClientRect(hwnd, &area);
    ValidateRect(hwnd, nullptr);
    bool found = false;
    for (Held& h : g_held)
        if (h.hwnd == hwnd) {
            h.area = {std::min(h.area.left, area.left), std::min(h.area.top, area.top),
                      std::max(h.area.right, area.right), std::max(h.area.bottom, area.bottom)};
            found = true;
        }
    if (!found) g_held.push_back({hwnd, area});
    if (wait_ms) SetTimer(hwnd, REOFFER_TIMER, wait_ms, on_reoffer_timer);
}

}  // namespace

bool paint_may_start(HWND hwnd) {
    if (g_painting) {
        hold(hwnd, 0);  // offered again when the running paint ends
        return false;
    }
    if (g_started && g_last_layered) {
        const double elapsed = double(now_ms() - g_last_start);
        if (elapsed < LAYERED_FRAME_MS) {
            hold(hwnd, uint32_t(std::ceil(LAYERED_FRAME_MS - elapsed)));
            return false;
        }
    }
    return true;
}

void paint_started(HWND, bool) { g_painting = true; }

void paint_ended(HWND) {
    g_painting = false;
    // those refused while it ran; a limit still running holds them again
    std::vector<Held> waiting;
    for (const Held& h : g_held) waiting.push_back(h);
    for (const Held& h : waiting) reoffer(h.hwnd);
}

bool paint_in_progress() { return g_painting; }

void reset_paint_limit() {
    g_painting = g_started = g_last_layered = false;
    g_held.clear();
}

void layered_resize_wait() { std::this_thread::sleep_for(std::chrono::milliseconds(LAYERED_RESIZE_WAIT_MS)); }

// --------------------------------------------------------------- the passes

WindowPass* WindowPass::current(HWND hwnd) {
    for (WindowPass* p = g_current; p; p = p->m_outer)
        if (p->m_hwnd == hwnd && p->open()) return p;
    return nullptr;
}

WindowPass::WindowPass(HWND hwnd, const Cell* face, bool layered, HDC paint_dc)
    : m_hwnd(hwnd), m_layered(layered), m_paint(paint_dc != nullptr), m_dpi(hwnd), m_outer(g_current) {
    g_current = this;
    g_last_start = now_ms();  // the frame timer of the layered limit
    g_last_layered = layered;
    g_started = true;
    m_record = window_target(hwnd, layered);
    if (!m_record) return;
    const SIZE s = client_size(hwnd);
    // the layer makes its surface again when the client size changed
    const bool resized = s.cx != m_record->width || s.cy != m_record->height;
    const bool moved = !layered && m_record->target && GetWindowSurface(hwnd) != m_record->pixels;
    if (resized || moved) resize_render_target(*m_record, s.cx, s.cy);
    if (m_record->failed || !m_record->target) return;
    const double scale = current_dpi() / 96.0;
    cairo_surface_set_device_scale(m_record->target, scale, scale);
    cairo_surface_flush(m_record->pixels);
    m_cr = cairo_create(m_record->target);
    set_text_antialias(m_cr, !layered);
    if (paint_dc) {
        // the paint's update area, in logical units
        cairo_rectangle_list_t* clip = cairo_copy_clip_rectangle_list(paint_dc);
        if (clip->status == CAIRO_STATUS_SUCCESS) {
            for (int i = 0; i < clip->num_rectangles; ++i) {
                const cairo_rectangle_t& c = clip->rectangles[i];
                cairo_rectangle(m_cr, c.x / scale, c.y / scale, c.width / scale, c.height / scale);
            }
            cairo_clip(m_cr);
        }
        cairo_rectangle_list_destroy(clip);
    }
    begin(face);
}

WindowPass::WindowPass(HWND hwnd, const Cell* face, const Cell* image)
    : m_hwnd(hwnd), m_paint(true), m_dpi(hwnd), m_outer(g_current) {
    g_current = this;
    const uint32_t w = image::width_of(image), h = image::height_of(image);
    m_image = image->data2;
    if (m_image == 0 || w == 0 || h == 0) return;
    uint32_t* pixels = image_codec::make_shared_bitmap(m_image);
    image_codec::invalidate_attached(m_image);
    m_image_surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels),
                                                          CAIRO_FORMAT_ARGB32, int(w), int(h), int(w * 4));
    if (cairo_surface_status(m_image_surface) != CAIRO_STATUS_SUCCESS) {
        print_line("CreateWicBitmapRenderTarget failed in draw-begin");
        cairo_surface_destroy(m_image_surface);
        m_image_surface = nullptr;
        return;
    }
    const double scale = current_dpi() / 96.0;
    cairo_surface_set_device_scale(m_image_surface, scale, scale);
    m_cr = cairo_create(m_image_surface);
    set_text_antialias(m_cr, false);
    m_walker = std::make_unique<Walker>(m_cr, Target{m_image, pixels, m_image_surface}, true);
    begin(face);
}

void WindowPass::begin(const Cell* face) {
    if (!m_walker) m_walker = std::make_unique<Walker>(m_cr, Target{}, true);
    // the face's own content: its colour (else transparent for a child, the
    // theme's panel colour for a top-level), then its image at its size
    Rgba colour{0, 0, 0, 0};
    if (!face_colour(face, &colour) && !(GetWindowLong(m_hwnd, GWL_STYLE) & WS_CHILD) && !m_image_surface) {
        const COLORREF panel = GetSysColor(COLOR_BTNFACE);
        colour = Rgba{(panel & 0xFF) / 255.0, ((panel >> 8) & 0xFF) / 255.0, ((panel >> 16) & 0xFF) / 255.0, 1};
    }
    cairo_save(m_cr);
    cairo_set_operator(m_cr, CAIRO_OPERATOR_SOURCE);
    if (m_record) {
        cairo_pattern_t* source = colour_source(*m_record, pack(colour));
        cairo_set_source(m_cr, source);
        cairo_pattern_destroy(source);
    } else {
        cairo_set_source_rgba(m_cr, colour.r, colour.g, colour.b, colour.a);
    }
    cairo_paint(m_cr);
    cairo_restore(m_cr);
    const Cell* img = field_of(face, "image");
    const Cell* size = field_of(face, "size");
    if (img && img->is(TYPE_IMAGE) && size && Walker::point_q(size)) {
        const Point far = Walker::point(size);
        draw_image(*m_walker, *img, Point{0, 0}, &far, nullptr, nullptr);
    }
    const COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
    draw_face_own_text(m_cr, face, Rgba{(text & 0xFF) / 255.0, ((text >> 8) & 0xFF) / 255.0,
                                        ((text >> 16) & 0xFF) / 255.0, 1});
}

void WindowPass::draw(const Cell* commands) {
    if (!open() || !commands || !commands->is(TYPE_BLOCK) || block::length_from_head(commands) <= 0) return;
    memory::NoCompaction in_place;  // the walker reads the commands in place
    const int cycle_base = cycles::depth();
    try {
        walk_caught(*m_walker, commands);
    } catch (const SilentAbort&) {
        // abandoned under silent?: what was drawn stays
    }
    cycles::drop(cycles::depth() - cycle_base);
}

WindowPass::~WindowPass() {
    if (m_walker) m_walker->end_clips(0);
    m_walker.reset();
    if (m_cr) cairo_destroy(m_cr);
    if (m_image_surface) {
        cairo_surface_flush(m_image_surface);
        cairo_surface_destroy(m_image_surface);
    } else if (m_cr && m_record && m_record->pixels) {
        cairo_surface_flush(m_record->target);
        cairo_surface_mark_dirty(m_record->pixels);
        // a paint's damage goes with EndPaint; a layered frame is presented
        // by its painter
        if (!m_paint && !m_layered) damage_window(m_hwnd, nullptr);
    }
    g_current = m_outer;
}

void paint_window(HWND hwnd, const Cell* face, const Cell* commands, bool layered, HDC paint_dc) {
    WindowPass pass(hwnd, face, layered, paint_dc);
    pass.draw(commands);
}

void capture_window(HWND hwnd, const Cell* face, const Cell* commands, const Cell* image) {
    WindowPass pass(hwnd, face, image);
    pass.draw(commands);
}

}  // namespace zun::draw
