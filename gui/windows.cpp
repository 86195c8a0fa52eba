// Window classes, the window procedures of window, panel and base faces, and
// faces made into windows and destroyed.
#include <cairo.h>
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "core/unicode.hpp"
#include "draw/draw_pass.hpp"
#include "draw/window_target.hpp"
#include "gui/backend.hpp"
#include "gui/camera_face.hpp"
#include "gui/class_registry.hpp"
#include "gui/event.hpp"
#include "gui/face.hpp"
#include "gui/font.hpp"
#include "gui/menus.hpp"
#include "gui/text_platform.hpp"
#include "gui/widget.hpp"
#include "services/image_record.hpp"

namespace zun::gui {

using namespace win;

// ---- facets ----------------------------------------------------------------

namespace face {

Cell* facet(const Cell* f, int position) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < FACETS)
        support::fire_error(ErrorId::script_invalid_arg, f);
    return object::values_base(f) + position;
}

// The value is read first: making the symbol may allocate and move it.
bool word_is(const Cell* value, const char* name) {
    const Cell v = *value;
    return (v.is(TYPE_WORD) || v.is(TYPE_LIT_WORD)) &&
           symbol::canonical(v.data2) == symbol::canonical(symbol::make(name));
}

bool type_is(const Cell* f, const char* name) { return word_is(facet(f, TYPE), name); }

bool has_flag(const Cell* f, const char* flag) {
    const Cell flags = *facet(f, FLAGS);
    if (word_is(&flags, flag)) return true;
    if (!flags.is(TYPE_BLOCK)) return false;
    const int32_t n = block::length_from_head(&flags);
    for (int32_t i = 0; i < n; i++) {
        const Cell w = block::head_cell(const_cast<Cell*>(&flags))[i];
        if (word_is(&w, flag)) return true;
    }
    return false;
}

uint32_t window_of(const Cell* f) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < FACETS) return 0;
    Cell* st = object::values_base(f) + STATE;
    if (!st->is(TYPE_BLOCK) || block::length_from_head(st) < 1) return 0;
    const Cell* h = block::head_cell(st);
    return h->is(TYPE_HANDLE) && h->data1 == handle::WINDOW ? h->data2 : 0;
}

}  // namespace face

uint32_t face_window(const Cell* f) { return face::window_of(f); }

bool xy_of(const Cell* v, double* x, double* y) {
    if (v->is(TYPE_PAIR)) {
        *x = pair::x_of(v), *y = pair::y_of(v);
        return true;
    }
    if (v->is(TYPE_POINT2D)) {
        *x = point::coordinate(v, 0), *y = point::coordinate(v, 1);
        return true;
    }
    return false;
}


namespace {

// The offset or size facet from pixels: a point2D! in logical units, a
// pair! for a window made with a pair! size.
void set_position_facet(const Cell* f, int position, HWND hwnd, int32_t x, int32_t y) {
    Cell* at = face::facet(f, position);
    const double lx = to_logical(x), ly = to_logical(y);
    if (GetWindowLong(hwnd, LONG_CREATION) & CREATION_PAIR_SIZE)
        pair::init_cell(at, int32_t(std::lround(lx)), int32_t(std::lround(ly)));
    else
        point2D::init_cell(at, float(lx), float(ly));
}

LPARAM pack(int32_t x, int32_t y) { return LPARAM((uint32_t(y) << 16) | (uint32_t(x) & 0xFFFF)); }

LPARAM update_position_facet(HWND hwnd, const Cell* f, UINT msg, LPARAM lp) {
    const int32_t x = int16_t(lp & 0xFFFF), y = int16_t((lp >> 16) & 0xFFFF);
    if (msg == WM_MOVE) {
        SetWindowLong(hwnd, LONG_ORIGIN, int32_t(lp));
        const RECT frame = frame_extents(hwnd);
        const int32_t fx = x - frame.left, fy = y - frame.top;
        set_position_facet(f, face::OFFSET, hwnd, fx, fy);
        return pack(fx, fy);
    }
    set_position_facet(f, face::SIZE, hwnd, x, y);
    return pack(x, y);
}

bool layered_window(HWND hwnd) { return (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_LAYERED) != 0; }

// One paint through the window pass: the face's colour (else transparent for
// a child, the theme's panel colour for a window), image and own text, then
// its draw block, or for a base face without one the `drawing` event whose
// handler paints with draw-face. A layered window's frame is presented whole.
void paint(HWND hwnd, const Cell* f) {
    // refused while another paint runs or within the layered limit: the area
    // is held and offered again later
    if (!draw::paint_may_start(hwnd)) return;
    const bool layered = layered_window(hwnd);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc) {
        draw::paint_started(hwnd, layered);
        {
            draw::WindowPass pass(hwnd, f, layered, layered ? nullptr : dc);
            const Cell commands = *face::facet(f, face::DRAW);
            if (commands.is(TYPE_BLOCK)) pass.draw(&commands);
            else if (pass.open() && face::type_is(f, "base")) report(hwnd, event::DRAWING, 0, 0, false);
        }
        if (layered && IsWindow(hwnd))
            UpdateLayeredWindow(hwnd, nullptr, nullptr, draw::create_window_bitmap(hwnd), nullptr, 255);
        draw::paint_ended(hwnd);
    }
    EndPaint(hwnd, &ps);
}

// A pane after a DPI or theme change: pair! offsets and sizes become
// point2D!, every window is placed again in pixels of the new scale in one
// batch, then the children's panes; faces with a font are redrawn with it
// made for the new DPI.
void relayout_pane(const Cell* f, int depth = 0) {
    const Cell pane = *face::facet(f, face::PANE);
    if (!pane.is(TYPE_BLOCK) || depth > 64) return;  // a pane holding its own face ends here
    const int32_t n = block::length_from_head(&pane);
    HDWP batch = BeginDeferWindowPos(32);
    for (int32_t i = 0; i < n; i++) {
        const Cell child = block::head_cell(const_cast<Cell*>(&pane))[i];
        if (!child.is(TYPE_OBJECT) || object::field_count(&child) < face::FACETS) continue;
        double x = 0, y = 0, w = 0, h = 0;
        for (int position : {int(face::OFFSET), int(face::SIZE)}) {
            Cell* v = face::facet(&child, position);
            double a, b;
            if (v->is(TYPE_PAIR) && xy_of(v, &a, &b)) point2D::init_cell(v, float(a), float(b));
        }
        xy_of(face::facet(&child, face::OFFSET), &x, &y);
        xy_of(face::facet(&child, face::SIZE), &w, &h);
        if (const HWND hwnd = face::window_of(&child))
            batch = DeferWindowPos(batch, hwnd, 0, to_pixels(x), to_pixels(y), to_pixels(w), to_pixels(h),
                                   SWP_NOZORDER | SWP_NOACTIVATE);
    }
    EndDeferWindowPos(batch);
    for (int32_t i = 0; i < n; i++) {
        const Cell child = block::head_cell(const_cast<Cell*>(&pane))[i];
        if (!child.is(TYPE_OBJECT) || object::field_count(&child) < face::FACETS) continue;
        relayout_pane(&child, depth + 1);
        if (!face::facet(&child, face::FONT)->is(TYPE_OBJECT)) continue;
        set_font(&child);
        if (const HWND hwnd = face::window_of(&child)) widget::set_control_font(hwnd, &child);
    }
}

void timer_proc(HWND hwnd, UINT, uintptr_t, uint32_t) { report(hwnd, event::TIME, 0, 0, false); }

LRESULT common_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, const Cell& f, bool is_window) {
    if (menus::menu_message(hwnd, msg, wp, lp)) return 0;
    if (LRESULT answer; widget::parent_message(hwnd, msg, wp, lp, &answer)) return answer;
    switch (msg) {
    case WM_USER + 2:
        send_window_state(hwnd, uint32_t(wp));
        return 0;
    case WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
        if (!is_window || !pos || !(pos->flags & SWP_STATECHANGED)) break;
        const uint32_t style = uint32_t(GetWindowLong(hwnd, GWL_STYLE));
        uint32_t code = event::MINIMIZE;
        if (!(style & WS_MINIMIZE)) {
            RECT rc;
            GetClientRect(hwnd, &rc);
            update_position_facet(hwnd, &f, WM_SIZE, pack(rc.right, rc.bottom));
            POINT origin;
            ClientToScreen(hwnd, &origin);
            update_position_facet(hwnd, &f, WM_MOVE, pack(origin.x, origin.y));
            code = (style & WS_MAXIMIZE) ? event::MAXIMIZE : event::RESTORE;
        }
        report(hwnd, code, 0, 0, false);
        break;
    }
    case WM_SIZE:
        InvalidateRect(hwnd, nullptr, true);
        [[fallthrough]];
    case WM_MOVE: {
        if (!is_window) break;
        ensure_current_message();
        if (msg == WM_SIZE && wp == SIZE_MINIMIZED) break;
        const int32_t x = int16_t(lp & 0xFFFF), y = int16_t((lp >> 16) & 0xFFFF);
        if (msg == WM_MOVE && x < -9999 && y < -9999) return 0;
        const LPARAM packed = update_position_facet(hwnd, &f, msg, lp);
        report(hwnd, msg == WM_MOVE ? event::MOVE : event::RESIZE, 0, packed, true);
        if (msg == WM_SIZE && face::facet(&f, face::STATE)->is(TYPE_BLOCK) &&
            (!in_size_move() || wp == SIZE_MAXIMIZED))
            report(hwnd, event::RESIZE, 0, packed, true);
        return 0;
    }
    case WM_ENTERSIZEMOVE:
        if (is_window) set_in_size_move(true);
        break;
    case WM_EXITSIZEMOVE:
        if (!is_window) break;
        set_in_size_move(false);
        report(hwnd, GetWindowLong(hwnd, LONG_SIZE_MOVE) == 31 ? event::MOVE : event::RESIZE, 0, 0, false);
        return 0;
    case WM_MOVING:
    case WM_SIZING: {
        if (!is_window) break;
        const auto* r = reinterpret_cast<const RECT*>(lp);
        const uint32_t code = msg == WM_MOVING ? event::MOVING : event::RESIZING;
        SetWindowLong(hwnd, LONG_SIZE_MOVE, int32_t(code));
        const int32_t x = msg == WM_MOVING ? r->left : r->width();
        const int32_t y = msg == WM_MOVING ? r->top : r->height();
        set_position_facet(&f, msg == WM_MOVING ? face::OFFSET : face::SIZE, hwnd, x, y);
        report(hwnd, code, 0, pack(x, y), true);
        return 1;
    }
    case WM_ACTIVATE:
        if (!is_window) break;
        if ((wp & 0xFFFF) != WA_INACTIVE) {
            report(hwnd, event::FOCUS, 0, 0, false);
            focus_face(hwnd);
            return 0;
        }
        report(hwnd, event::UNFOCUS, 0, 0, false);
        break;
    case WM_DPICHANGED: {
        if (!face::facet(&f, face::STATE)->is(TYPE_BLOCK)) return 0;
        set_dpi(int32_t(wp & 0xFFFF));
        const auto* r = reinterpret_cast<const RECT*>(lp);
        if (r) SetWindowPos(hwnd, 0, r->left, r->top, r->width(), r->height(), SWP_NOZORDER | SWP_NOACTIVATE);
        if (is_window) relayout_pane(&f);
        RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        break;
    }
    case WM_THEMECHANGED:
        if (!is_window) break;
        relayout_pane(&f);
        // the controls' colours and default font follow the theme
        RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
        break;
    case WM_DISPLAYCHANGE:
        refresh_screens();
        RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN);
        break;
    case WM_DESTROY:
        draw::release_render_target(hwnd);
        break;
    case WM_SETCURSOR: {
        // the cursor of the window under the pointer; base faces set theirs
        // only over their client area (bit 31, from their hit test)
        const HWND under = HWND(wp);
        const uint32_t cursor = IsWindow(under) ? uint32_t(GetWindowLong(under, LONG_CURSOR)) : 0;
        if (!cursor) break;
        Cell uf;
        if (!(cursor & 0x80000000u) && face_of_window(under, &uf) &&
            (face::type_is(&uf, "base") || face::type_is(&uf, "rich-text")))
            return 0;
        SetCursor(HCURSOR(cursor & 0x7FFFFFFFu));
        return 1;
    }
    case WM_ERASEBKGND: return 1;
    case WM_PAINT:
        paint(hwnd, &f);
        return 0;
    case WM_CLOSE:
        if (GetWindowLong(hwnd, LONG_DATA) == -1) {
            reset_current_message();
            break;
        }
        if (!is_window) break;
        SetFocus(hwnd);
        if (report(hwnd, event::CLOSE, 0, 0, false) == 0) {
            reset_current_message();
            PostQuitMessage(0);
        }
        return 0;
    default: break;
    }
    run_class_hooks(hwnd, msg, wp, lp);
    return DefWindowProc(hwnd, msg, wp, lp);
}

LRESULT window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Cell f;
    if (!face_of_window(hwnd, &f)) return DefWindowProc(hwnd, msg, wp, lp);
    const bool is_window = face::type_is(&f, "window");
    if (msg == WM_LBUTTONDOWN) {
        SetCapture(hwnd);
        return 0;
    }
    if (msg == WM_LBUTTONUP) {
        ReleaseCapture();
        return 0;
    }
    return common_proc(hwnd, msg, wp, lp, f, is_window);
}

namespace {
std::string utf8_of(const std::u32string& text) {
    gchar* made = g_ucs4_to_utf8(reinterpret_cast<const gunichar*>(text.data()), glong(text.size()), nullptr, nullptr,
                                 nullptr);
    std::string out = made ? made : "";
    g_free(made);
    return out;
}

// A face taking compositions: the start sets ime-composing (key events are
// then read as characters), each update reports `ime` with the text as its
// `picked`, the end clears both. Committed text comes as WM_CHAR.
void ime_message(HWND hwnd, UINT msg, LPARAM lp) {
    event::State& s = event::state();
    if (msg == WM_IME_STARTCOMPOSITION) {
        s.ime_composing = true;
        s.composition.clear();
        if (Cell f; face_of_window(hwnd, &f)) set_composition_font(hwnd, &f);
    } else if (msg == WM_IME_COMPOSITION) {
        s.composition = utf8_of(ImmGetCompositionString(lp));
        report(hwnd, event::IME, 0, 0, false);
    } else if (msg == WM_IME_ENDCOMPOSITION) {
        s.ime_composing = false;
        s.composition.clear();
    }
}
}  // namespace

// Base faces: presses hold the capture until the last button is up.
LRESULT base_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Cell f;
    if (!face_of_window(hwnd, &f)) return DefWindowProc(hwnd, msg, wp, lp);
    if (msg >= WM_IME_STARTCOMPOSITION && msg <= WM_IME_COMPOSITION &&
        (GetWindowLong(hwnd, LONG_CREATION) & CREATION_IME))
        ime_message(hwnd, msg, lp);
    switch (msg) {
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN: {
        const int32_t n = GetWindowLong(hwnd, LONG_PRESSES);
        if (n == 0) SetCapture(hwnd);
        SetWindowLong(hwnd, LONG_PRESSES, n + 1);
        return 0;
    }
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP: case WM_XBUTTONUP: {
        const int32_t n = GetWindowLong(hwnd, LONG_PRESSES);
        SetWindowLong(hwnd, LONG_PRESSES, n > 0 ? n - 1 : 0);
        if (n <= 1 && GetCapture() == hwnd) ReleaseCapture();
        return 0;
    }
    case WM_NCHITTEST: {
        const LRESULT hit = DefWindowProc(hwnd, msg, wp, lp);
        const uint32_t cursor = uint32_t(GetWindowLong(hwnd, LONG_CURSOR));
        if (cursor)
            SetWindowLong(hwnd, LONG_CURSOR, int32_t(hit == HTCLIENT ? cursor | 0x80000000u : cursor & 0x7FFFFFFFu));
        return hit;
    }
    case WM_SETCURSOR: {
        const uint32_t cursor = IsWindow(HWND(wp)) ? uint32_t(GetWindowLong(HWND(wp), LONG_CURSOR)) : 0;
        if (!(cursor & 0x80000000u)) break;
        SetCursor(HCURSOR(cursor & 0x7FFFFFFFu));
        return 1;
    }
    default: break;
    }
    return common_proc(hwnd, msg, wp, lp, f, false);
}

struct ClassSpec {
    const char* name;
    WNDPROC proc;
};
const ClassSpec k_classes[] = {
    {"ZunWindow", window_proc},
    {"ZunPanel", window_proc},
    {"ZunBase", base_window_proc},
    {"ZunBaseInternal", base_window_proc},
    {"ZunCamera", camera_face::window_proc},
};

const ClassSpec* class_for(const Cell* f) {
    if (face::type_is(f, "window")) return &k_classes[0];
    if (face::type_is(f, "panel")) return &k_classes[1];
    if (face::type_is(f, "base") || face::type_is(f, "rich-text")) return &k_classes[2];
    if (face::type_is(f, "camera")) return &k_classes[4];
    return nullptr;
}

std::string text_of(const Cell* v) {
    if (!v->is(TYPE_STRING)) return {};
    Cell copy = *v;
    int32_t limit = -1;
    const char* s = unicode::to_utf8(&copy, &limit);
    return s ? std::string(s) : std::string();
}

uint32_t window_style(const Cell* f) {
    uint32_t style = WS_OVERLAPPEDWINDOW & ~(WS_THICKFRAME | WS_MAXIMIZEBOX);
    if (face::has_flag(f, "resize")) style |= WS_THICKFRAME | WS_MAXIMIZEBOX;
    if (face::has_flag(f, "no-min")) style &= ~WS_MINIMIZEBOX;
    if (face::has_flag(f, "no-max")) style &= ~WS_MAXIMIZEBOX;
    if (face::has_flag(f, "no-buttons")) style &= ~(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    if (face::has_flag(f, "no-title")) style = WS_POPUP | WS_BORDER;
    if (face::has_flag(f, "no-border")) style = WS_POPUP;
    if (menus::menu_bar_q(face::facet(f, face::MENU), f)) style |= WS_SYSMENU;
    return style;
}

}  // namespace

namespace {
// An image cursor lives as long as its window, or until replaced.
void drop_image_cursor(HWND hwnd) {
    if (const int32_t icon = GetWindowLong(hwnd, LONG_ICON)) DestroyCursor(HCURSOR(uint32_t(icon)));
    SetWindowLong(hwnd, LONG_ICON, 0);
}

// A face window destroyed with its parent, outside gui/destroy-face (a face
// no longer in its parent's pane): its slot and image cursor go with it.
void forget_destroyed_window(HWND hwnd) {
    drop_image_cursor(hwnd);
    const uint32_t slot = uint32_t(GetWindowLong(hwnd, LONG_FACE));
    SetWindowLong(hwnd, LONG_FACE, 0);
    free_slot(slot);
}
}  // namespace

void register_classes() {
    set_destroy_observer(forget_destroyed_window);
    for (const ClassSpec& c : k_classes) {
        WNDCLASS wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = c.proc;
        wc.cbWndExtra = 80;
        wc.hCursor = LoadCursor(IDC_ARROW);
        wc.hbrBackground = HBRUSH((&c == &k_classes[4] ? COLOR_BACKGROUND : COLOR_BTNFACE) + 1);
        wc.lpszClassName = c.name;
        RegisterClass(wc);
    }
}

void send_window_state(HWND hwnd, uint32_t code) {
    if (code == event::MINIMIZE) {
        SendMessage(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return;
    }
    if (code == event::MAXIMIZE) {
        SendMessage(hwnd, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
        return;
    }
    if (GetWindowLong(hwnd, GWL_STYLE) & (WS_MINIMIZE | WS_MAXIMIZE)) ShowWindow(hwnd, SW_SHOWNORMAL);
    Cell f;
    if (face_of_window(hwnd, &f)) {
        SetForegroundWindow(hwnd);
        focus_face(hwnd);
    }
}

// The window of the face held in the window face's `selected`, 0 when none.
HWND focus_target(HWND hwnd) {
    Cell f;
    if (!face_of_window(hwnd, &f)) return 0;
    const Cell selected = *face::facet(&f, face::SELECTED);
    return selected.is(TYPE_OBJECT) ? face::window_of(&selected) : 0;
}

void focus_face(HWND hwnd) {
    if (const HWND target = focus_target(hwnd)) SetFocus(target);
}

namespace {
// The timer period of a rate in ms, 0 for none; a rate that is no positive
// integer or time raises before anything changes.
UINT rate_ms(const Cell* rate) {
    if (rate->is(TYPE_NONE)) return 0;
    double ms = 0;
    if (rate->is(TYPE_INTEGER) && int32_t(rate->data2) > 0)
        ms = std::max(1.0, std::floor(1000.0 / int32_t(rate->data2)));  // above 1000: still 1 ms
    else if (rate->is(TYPE_TIME))
        ms = std::floor(rate->as_double() * 1000.0);
    if (ms < 1) support::fire_error(ErrorId::script_invalid_facet_type, rate);
    return UINT(ms);
}
}  // namespace

void set_font(const Cell* f) {
    const Cell font = *face::facet(f, face::FONT);
    if (font.is(TYPE_OBJECT) && object::field_count(&font) >= FONT_FIELDS) make_font(f, &font, true);
    if (const HWND hwnd = face::window_of(f)) InvalidateRect(hwnd, nullptr, true);
}

// The para's style bits on the face's window, under the mask of its type.
void set_para_style(const Cell* f) {
    const HWND hwnd = face::window_of(f);
    if (!hwnd || !IsWindow(hwnd)) return;
    const Cell* type = face::facet(f, face::TYPE);
    uint32_t keep = 0xFFFFFFFF;
    if (face::word_is(type, "base") || face::word_is(type, "rich-text")) keep = ~0x2Fu;
    else if (face::word_is(type, "button") || face::word_is(type, "toggle") || face::word_is(type, "check") ||
             face::word_is(type, "radio"))
        keep = ~0xF00u;
    else if (face::word_is(type, "field") || face::word_is(type, "text"))
        keep = ~0x40C3u;
    else
        return;
    const uint32_t style = uint32_t(GetWindowLong(hwnd, GWL_STYLE));
    SetWindowLong(hwnd, GWL_STYLE, int32_t((style & keep) | para_style_flags(type, face::facet(f, face::PARA))));
}

namespace {
bool any_word_is(const Cell* value, const char* name) {
    const Cell v = *value;
    return (v.is(TYPE_WORD) || v.is(TYPE_SET_WORD) || v.is(TYPE_LIT_WORD) || v.is(TYPE_GET_WORD)) &&
           symbol::canonical(v.data2) == symbol::canonical(symbol::make(name));
}

// An image cursor, its hot spot at the centre as an icon's.
HCURSOR image_cursor(const Cell* img) {
    const int w = int(image::width_of(img)), h = int(image::height_of(img));
    const uint32_t* pixels = img->data2 ? image_codec::get_converted_bitmap(img->data2, true) : nullptr;
    if (!pixels || w <= 0 || h <= 0) return 0;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_surface_flush(surface);
    unsigned char* out = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; y++) std::memcpy(out + y * stride, pixels + size_t(y) * size_t(w), size_t(w) * 4);
    cairo_surface_mark_dirty(surface);
    const HCURSOR cursor = CreateImageCursor(surface, w / 2, h / 2);
    cairo_surface_destroy(surface);
    return cursor;
}
}  // namespace

// gui/set-cursor-option: the `cursor` of an options block of pairs: an image
// (kept in long 16 until replaced), or a word naming a system cursor.
void set_cursor_option(HWND hwnd, const Cell* f) {
    if (!hwnd || !IsWindow(hwnd)) return;
    drop_image_cursor(hwnd);
    SetWindowLong(hwnd, LONG_CURSOR, 0);
    const Cell options = *face::facet(f, face::OPTIONS);
    if (!options.is(TYPE_BLOCK) || block::length_from_head(&options) % 2) return;
    for (int32_t i = 0; i + 1 < block::length_from_head(&options); i += 2) {
        const Cell key = block::head_cell(const_cast<Cell*>(&options))[i];
        const Cell value = block::head_cell(const_cast<Cell*>(&options))[i + 1];
        if (!any_word_is(&key, "cursor")) continue;
        HCURSOR cursor = 0;
        if (value.is(TYPE_IMAGE)) {
            drop_image_cursor(hwnd);  // a second cursor pair replaces the first
            cursor = image_cursor(&value);
            SetWindowLong(hwnd, LONG_ICON, int32_t(cursor));
        } else if (any_word_is(&value, "I-beam")) {
            cursor = IDC_IBEAM;
        } else if (any_word_is(&value, "hand")) {
            cursor = IDC_HAND;
        } else if (any_word_is(&value, "cross")) {
            cursor = IDC_CROSS;
        } else if (any_word_is(&value, "resize-ns")) {
            cursor = IDC_SIZENS;
        } else if (any_word_is(&value, "resize-ew") || any_word_is(&value, "resize-we")) {
            cursor = IDC_SIZEWE;
        } else if (value.is(TYPE_WORD) || value.is(TYPE_LIT_WORD)) {
            cursor = IDC_ARROW;
        }
        SetWindowLong(hwnd, LONG_CURSOR, int32_t(cursor));
    }
}

void set_rate(HWND hwnd, const Cell* rate) {
    const UINT ms = rate_ms(rate);
    if (ms) SetTimer(hwnd, 1, ms, timer_proc);
    else KillTimer(hwnd, 1);
}

namespace {
struct FlagBit {
    const char* word;
    uint32_t bit;
};
const FlagBit k_flag_bits[] = {
    {"all-over", 0x1},          {"focusable", 0x2},       {"tri-state", 0x20000},   {"scrollable", 0x40000},
    {"password", 0x80000},      {"no-sync", 0x100000},    {"fullscreen", 0x200000}, {"popup", 0x1000000},
    {"modal", 0x2000000},       {"resize", 0x4000000},    {"no-buttons", 0x8000000}, {"no-max", 0x10000000},
    {"no-min", 0x20000000},     {"no-title", 0x40000000}, {"no-border", 0x80000000},
};

uint32_t flag_bit(const Cell word) {
    for (const FlagBit& b : k_flag_bits)
        if (face::word_is(&word, b.word)) return b.bit;
    support::fire_error(ErrorId::script_invalid_arg, &word);
}

// A translucent tuple: its fourth component is not 0.
bool translucent(const Cell* colour) {
    if (!colour->is(TYPE_TUPLE) || tuple::length_of(colour) < 4) return false;
    uint8_t bytes[12];
    tuple::get_bytes(colour, bytes);
    return bytes[3] != 0;
}
}  // namespace

uint32_t face_flag_bits(const Cell* f) {
    const Cell flags = *face::facet(f, face::FLAGS);
    if (flags.is(TYPE_WORD) || flags.is(TYPE_LIT_WORD)) return flag_bit(flags);
    if (!flags.is(TYPE_BLOCK)) return 0;
    uint32_t bits = 0;
    for (int32_t i = 0; i < block::length_from_head(&flags); i++)
        bits |= flag_bit(block::head_cell(const_cast<Cell*>(&flags))[i]);
    return bits;
}

// Base and rich-text faces with a translucent colour, and borderless windows
// with one, are layered: composed with their alpha.
bool must_be_layered(const Cell* f) {
    // the colour is read last: looking up the words may allocate and move
    // the face's values
    if (face::type_is(f, "base") || face::type_is(f, "rich-text")) return translucent(face::facet(f, face::COLOR));
    return face::type_is(f, "window") && face::has_flag(f, "no-border") && translucent(face::facet(f, face::COLOR));
}

namespace {
// A face of a registered class: the record's styles, its menu value as the
// identifier; a child of a parent, shown unless the face says otherwise.
HWND make_custom_view(const Cell* f, HWND parent, const CustomClass& c) {
    double x = 0, y = 0, w = 0, h = 0;
    xy_of(face::facet(f, face::OFFSET), &x, &y);
    xy_of(face::facet(f, face::SIZE), &w, &h);
    uint32_t style = c.style;
    if (parent) style |= WS_CHILD;
    if (const Cell* v = face::facet(f, face::VISIBLE); !v->is(TYPE_LOGIC) || v->data1) style |= WS_VISIBLE;
    const std::string text = text_of(face::facet(f, face::TEXT));
    const uint32_t flags = face_flag_bits(f);  // a bad flag raises before there is a window to leak
    DpiContext dpi(parent);
    const HWND hwnd = CreateWindowEx(c.ex_style, c.name, text, style, to_pixels(x), to_pixels(y), to_pixels(w),
                                     to_pixels(h), parent, c.menu);
    if (!hwnd) support::fire_error(ErrorId::internal_not_done);
    SetWindowLong(hwnd, LONG_FLAGS, int32_t(flags));
    SetWindowLong(hwnd, LONG_FACE, int32_t(take_slot(f)));
    return hwnd;
}
}  // namespace

HWND make_view(const Cell* f, HWND parent) {
    const ClassSpec* cls = class_for(f);
    if (!cls && widget::made_here(f)) return widget::create(f, parent);
    if (!cls) {
        if (const CustomClass* custom = find_class(face::facet(f, face::TYPE))) return make_custom_view(f, parent, *custom);
        support::fire_error(ErrorId::script_face_type, face::facet(f, face::TYPE));
    }
    if (cls == &k_classes[1]) widget::fit_panel_to_tab(f, parent);
    const UINT period = rate_ms(face::facet(f, face::RATE));
    const uint32_t flags = face_flag_bits(f);  // a bad flag raises before there is a window to leak
    const bool top = cls == &k_classes[0];
    // First: a bad menu raises before the window is made, and building may
    // allocate, which moves the facet cells read below.
    const HMENU bar = top ? menus::build_bar(f) : 0;
    double x = 0, y = 0, w = 0, h = 0;
    xy_of(face::facet(f, face::OFFSET), &x, &y);
    const Cell size = *face::facet(f, face::SIZE);  // a copy: the calls below allocate
    xy_of(&size, &w, &h);
    if (top && w == -1 && h == -1) w = h = 200;
    uint32_t style = top ? window_style(f) : (WS_CHILD | WS_CLIPSIBLINGS);
    uint32_t ex = 0;
    if (top && face::has_flag(f, "popup")) ex |= WS_EX_TOOLWINDOW;
    if (top && face::has_flag(f, "modal")) ex |= WS_EX_DLGMODALFRAME;  // the modal state for the window manager
    if (must_be_layered(f) || (!top && parent && IsWindow(parent) &&
                               (GetWindowLong(parent, GWL_EXSTYLE) & WS_EX_LAYERED) && cls == &k_classes[2]))
        ex |= WS_EX_LAYERED;
    if (const Cell* v = face::facet(f, face::VISIBLE); !v->is(TYPE_LOGIC) || v->data1) style |= WS_VISIBLE;
    if (const Cell* e = face::facet(f, face::ENABLED); e->is(TYPE_LOGIC) && !e->data1) style |= WS_DISABLED;
    HWND owner = 0;
    if (top && face::has_flag(f, "modal")) owner = GetActiveWindow();
    const std::string title = top ? text_of(face::facet(f, face::TEXT)) : std::string();
    // sized at the DPI of where it lands: its parent's, or for a window the
    // monitor its rectangle falls on
    DpiContext dpi(top ? 0 : parent);
    if (top) target_monitor_dpi(x, y, w, h);
    const HWND hwnd = CreateWindowEx(ex, cls->name, title, style, to_pixels(x), to_pixels(y),
                                     to_pixels(w), to_pixels(h), top ? owner : parent);
    if (!hwnd) support::fire_error(ErrorId::internal_not_done);
    if (top && window_dpi(hwnd) != current_dpi()) {
        // the layer put it on a monitor of another DPI: sized again for it
        sync_window_dpi(hwnd);
        SetWindowPos(hwnd, 0, 0, 0, to_pixels(w), to_pixels(h), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    SetWindowLong(hwnd, LONG_CREATION, (size.is(TYPE_PAIR) ? CREATION_PAIR_SIZE : 0) |
                                           (face::type_is(f, "rich-text") ? CREATION_IME : 0));
    SetWindowLong(hwnd, LONG_FLAGS, int32_t(flags));
    set_cursor_option(hwnd, f);
    SetWindowLong(hwnd, LONG_FACE, int32_t(take_slot(f)));
    if (bar) SetMenu(hwnd, bar);
    // the face joins its font's faces, which update-font redraws
    if (const Cell font = *face::facet(f, face::FONT); font.is(TYPE_OBJECT) && object::field_count(&font) >= FONT_FIELDS)
        make_font(f, &font, true);
    if (period) SetTimer(hwnd, 1, period, timer_proc);
    if (cls == &k_classes[4]) camera_face::init(f, hwnd);
    if (face::type_is(f, "base")) init_caret_option(hwnd, f);
    return hwnd;
}

namespace {
void destroy_tree(const Cell* f, std::vector<NodeId>* seen) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < face::FACETS) return;
    for (NodeId n : *seen)
        if (n == f->data1) support::fire_error(ErrorId::script_invalid_arg, f);
    seen->push_back(f->data1);
    const Cell pane = *face::facet(f, face::PANE);
    if (pane.is(TYPE_BLOCK)) {
        const int32_t n = block::length_from_head(&pane);
        for (int32_t i = 0; i < n; i++) {
            const Cell child = block::head_cell(const_cast<Cell*>(&pane))[i];
            destroy_tree(&child, seen);
        }
    }
    seen->pop_back();
    if (const HWND hwnd = face::window_of(f)) {
        KillTimer(hwnd, 1);
        drop_image_cursor(hwnd);
        const uint32_t slot = uint32_t(GetWindowLong(hwnd, LONG_FACE));
        SetWindowLong(hwnd, LONG_FACE, 0);
        DestroyWindow(hwnd);
        free_slot(slot);
    }
    *face::facet(f, face::STATE) = make_cell(TYPE_NONE);
}
}  // namespace

namespace {
// Forgets the windows of a face and its pane's faces (timers, slots) before
// their windows go, keeping their state blocks. A pane face's window goes
// here: it may lie outside the face's window (a face in two panes).
void release_tree(const Cell* f, int depth) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < face::FACETS || depth > 64) return;
    const Cell pane = *face::facet(f, face::PANE);
    if (pane.is(TYPE_BLOCK))
        for (int32_t i = 0; i < block::length_from_head(&pane); i++) {
            const Cell child = block::head_cell(const_cast<Cell*>(&pane))[i];
            release_tree(&child, depth + 1);
        }
    if (const HWND hwnd = face::window_of(f)) {
        KillTimer(hwnd, 1);
        drop_image_cursor(hwnd);
        const uint32_t slot = uint32_t(GetWindowLong(hwnd, LONG_FACE));
        SetWindowLong(hwnd, LONG_FACE, 0);
        free_slot(slot);
        if (depth > 0) DestroyWindow(hwnd);
    }
}

// Makes the face's window again in parent, then its pane's faces that had
// one, each face once (a pane may hold a face twice, or its own face); the
// handle goes into the first value of each state block.
HWND remake_tree(const Cell* f, HWND parent, int depth, std::vector<NodeId>* done) {
    if (depth > 64 || std::find(done->begin(), done->end(), f->data1) != done->end()) return 0;
    done->push_back(f->data1);
    const HWND hwnd = make_view(f, parent);
    Cell* st = face::facet(f, face::STATE);
    handle::init_cell(block::head_cell(st), hwnd, handle::WINDOW);
    const Cell pane = *face::facet(f, face::PANE);
    if (pane.is(TYPE_BLOCK))
        for (int32_t i = 0; i < block::length_from_head(&pane); i++) {
            const Cell child = block::head_cell(const_cast<Cell*>(&pane))[i];
            if (face::window_of(&child)) remake_tree(&child, hwnd, depth + 1, done);
        }
    return hwnd;
}
}  // namespace

HWND remake_view(const Cell* f) {
    const HWND old = face::window_of(f);
    if (!old || !IsWindow(old)) return 0;
    const bool child = (GetWindowLong(old, GWL_STYLE) & WS_CHILD) != 0;
    const HWND parent = child ? GetParent(old) : 0;
    const HWND above = GetWindow(old, GW_HWNDPREV);
    release_tree(f, 0);
    DestroyWindow(old);
    std::vector<NodeId> done;
    const HWND hwnd = remake_tree(f, parent, 0, &done);
    SetWindowPos(hwnd, above ? above : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_NOOWNERZORDER |
                     SWP_NOSENDCHANGING);
    InvalidateRect(hwnd, nullptr, true);
    return hwnd;
}

// gui/redraw-face: a face that must now be layered is made again as one;
// a layered face paints and presents its frame now, others are invalidated.
void redraw_face(const Cell* f) {
    HWND hwnd = face::window_of(f);
    if (!hwnd || !IsWindow(hwnd)) return;
    if (!layered_window(hwnd)) {
        if (!must_be_layered(f)) {
            InvalidateRect(hwnd, nullptr, true);
            return;
        }
        hwnd = remake_view(f);
    }
    if (hwnd) RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

namespace {
// The pane's windows into batch in pane order; a tab-panel's pages follow
// it, so pages placed beside the tab control stay above it.
HDWP defer_z_order(HDWP batch, const Cell& pane, int depth) {
    const int32_t n = block::length_from_head(&pane);
    for (int32_t i = 0; i < n; i++) {
        const Cell child = block::head_cell(const_cast<Cell*>(&pane))[i];
        const HWND hwnd = face::window_of(&child);
        if (!hwnd) continue;
        batch = DeferWindowPos(batch, hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
        const Cell pages = *face::facet(&child, face::PANE);
        if (face::type_is(&child, "tab-panel") && pages.is(TYPE_BLOCK) && depth < 64)
            batch = defer_z_order(batch, pages, depth + 1);
    }
    return batch;
}
}  // namespace

// gui/sync-z-order: the pane's windows in pane order, the last on top.
void sync_z_order(const Cell* pane) {
    if (!pane->is(TYPE_BLOCK)) return;
    const Cell copy = *pane;
    EndDeferWindowPos(defer_z_order(BeginDeferWindowPos(block::length_from_head(&copy)), copy, 0));
}

namespace {
// An image! in out of a premultiplied ARGB32 surface.
void image_from_surface(cairo_surface_t* surface, Cell* out) {
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    std::vector<uint32_t> straight(size_t(w) * size_t(h));
    for (int y = 0; y < h; y++) {
        const auto* row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
        for (int x = 0; x < w; x++) {
            const uint32_t p = row[x], a = p >> 24;
            auto un = [a](uint32_t c) { return a ? std::min(255u, (c * 255 + a / 2) / a) : 0u; };
            straight[size_t(y) * size_t(w) + size_t(x)] =
                a << 24 | un((p >> 16) & 0xFF) << 16 | un((p >> 8) & 0xFF) << 8 | un(p & 0xFF);
        }
    }
    const NodeId record = image_codec::bitmap_from_memory(uint32_t(w), uint32_t(h), 0,
                                                          reinterpret_cast<const uint8_t*>(straight.data()));
    image::make_at(out, record, uint32_t(w), uint32_t(h));
}

// The screen face's area: the top-levels composed back to front.
void capture_screen(const Cell* f, Cell* out) {
    double x = 0, y = 0, w = 0, h = 0;
    xy_of(face::facet(f, face::OFFSET), &x, &y);
    xy_of(face::facet(f, face::SIZE), &w, &h);
    cairo_surface_t* screen = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(0, int(w)), std::max(0, int(h)));
    cairo_t* cr = cairo_create(screen);
    const std::vector<HWND> tops = EnumWindows();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        RECT r;
        if (!IsWindowVisible(*it) || !GetWindowRect(*it, &r)) continue;
        cairo_surface_t* shot = PrintWindow(*it);
        if (!shot) continue;
        cairo_set_source_surface(cr, shot, r.left - x, r.top - y);
        cairo_paint(cr);
        cairo_surface_destroy(shot);
    }
    cairo_destroy(cr);
    image_from_surface(screen, out);
    cairo_surface_destroy(screen);
}
}  // namespace

bool face_to_image(const Cell* f, Cell* out) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < face::FACETS) return false;
    if (face::type_is(f, "screen")) {
        if (!is_open()) return false;
        capture_screen(f, out);
        return true;
    }
    const HWND hwnd = face::window_of(f);
    if (face::type_is(f, "camera")) {
        camera_face::to_image(f, out);
        return true;
    }
    if (face::type_is(f, "base")) {
        // the face's pixel size at its window's DPI, drawn through the pass
        DpiContext dpi(hwnd);
        double w = 0, h = 0;
        xy_of(face::facet(f, face::SIZE), &w, &h);
        const uint32_t pw = uint32_t(std::max(0, to_pixels(w))), ph = uint32_t(std::max(0, to_pixels(h)));
        image::make_at(out, image_codec::make_bitmap(pw, ph, nullptr, 0, nullptr, 0, nullptr, 0), pw, ph);
        const Cell face = *f, commands = *face::facet(f, face::DRAW);
        draw::capture_window(hwnd, &face, &commands, out);
        return true;
    }
    if (!hwnd || !IsWindow(hwnd)) return false;
    UpdateWindow(hwnd);
    cairo_surface_t* shot = PrintWindow(hwnd);
    if (!shot) return false;
    image_from_surface(shot, out);
    cairo_surface_destroy(shot);
    return true;
}

bool draw_face(const Cell* f, const Cell* commands) {
    const HWND hwnd = face::window_of(f);
    draw::WindowPass* pass = hwnd ? draw::WindowPass::current(hwnd) : nullptr;
    if (!pass) return false;
    pass->draw(commands);
    return true;
}

void destroy_face(const Cell* f) {
    std::vector<NodeId> seen;
    destroy_tree(f, &seen);
}

}  // namespace zun::gui
