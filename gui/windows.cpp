// Window classes, the window procedures of window, panel and base faces, and
// faces made into windows and destroyed.
#include <cmath>
#include <vector>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "core/unicode.hpp"
#include "draw/draw_pass.hpp"
#include "gui/backend.hpp"
#include "gui/event.hpp"
#include "gui/face.hpp"
#include "gui/menus.hpp"

namespace zun::gui {

using namespace win;

// ---- facets ----------------------------------------------------------------

namespace face {

Cell* facet(const Cell* f, int position) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < FACETS)
        support::fire_error(ErrorId::script_invalid_arg, f);
    return object::values_base(f) + position;
}

bool word_is(const Cell* value, const char* name) {
    return (value->is(TYPE_WORD) || value->is(TYPE_LIT_WORD)) &&
           symbol::canonical(value->data2) == symbol::canonical(symbol::make(name));
}

bool type_is(const Cell* f, const char* name) { return word_is(facet(f, TYPE), name); }

bool has_flag(const Cell* f, const char* flag) {
    Cell* flags = facet(f, FLAGS);
    if (word_is(flags, flag)) return true;
    if (!flags->is(TYPE_BLOCK)) return false;
    const int32_t n = block::length_from_head(flags);
    for (int32_t i = 0; i < n; i++)
        if (word_is(block::head_cell(flags) + i, flag)) return true;
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


// ---- units -----------------------------------------------------------------

namespace {
double scale() { return is_open() ? desktop_settings().dpi / 96.0 : 1.0; }
}  // namespace

int32_t to_pixels(double logical) { return int32_t(std::trunc(logical * scale() + 0.5)); }
double to_logical(int32_t pixels) { return pixels / scale(); }

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

uint32_t colour_of(const Cell* c, double* r, double* g, double* b, double* a) {
    if (!c->is(TYPE_TUPLE)) return 0;
    uint8_t bytes[12];
    tuple::get_bytes(c, bytes);
    *r = bytes[0] / 255.0, *g = bytes[1] / 255.0, *b = bytes[2] / 255.0;
    *a = tuple::length_of(c) > 3 ? (255 - bytes[3]) / 255.0 : 1.0;
    return 1;
}

struct Painting {
    HWND hwnd = 0;
    HDC dc = nullptr;
};
Painting g_painting;

void draw_on_paint(HDC dc, const Cell* commands) {
    cairo_save(dc);
    const double s = scale();
    cairo_scale(dc, s, s);
    draw::do_draw_on(dc, commands);
    cairo_restore(dc);
}

// Background: the face's colour, else the class brush (the theme's panel
// colour) for a window, transparent for a child.
void paint(HWND hwnd, const Cell* f) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    if (dc) {
        double r, g, b, a;
        RECT rc;
        GetClientRect(hwnd, &rc);
        cairo_save(dc);
        cairo_set_operator(dc, CAIRO_OPERATOR_SOURCE);
        cairo_rectangle(dc, 0, 0, rc.right, rc.bottom);
        if (colour_of(face::facet(f, face::COLOR), &r, &g, &b, &a))
            cairo_set_source_rgba(dc, r, g, b, a);
        else if (face::type_is(f, "window"))
            cairo_set_source_rgb(dc, 240 / 255.0, 240 / 255.0, 240 / 255.0);
        else
            cairo_set_source_rgba(dc, 0, 0, 0, 0);
        cairo_fill(dc);
        cairo_restore(dc);
        const Cell commands = *face::facet(f, face::DRAW);
        if (commands.is(TYPE_BLOCK)) {
            draw_on_paint(dc, &commands);
        } else if (face::type_is(f, "base")) {
            // no draw block: the handler of `drawing` paints with draw-face
            const Painting saved = g_painting;
            g_painting = Painting{hwnd, dc};
            report(hwnd, event::DRAWING, 0, 0, false);
            g_painting = saved;
        }
    }
    EndPaint(hwnd, &ps);
}

void timer_proc(HWND hwnd, UINT, uintptr_t, uint32_t) { report(hwnd, event::TIME, 0, 0, false); }

LRESULT common_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, const Cell& f, bool is_window) {
    if (menus::menu_message(hwnd, msg, wp, lp)) return 0;
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
            return 0;
        }
        report(hwnd, event::UNFOCUS, 0, 0, false);
        break;
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

// Base faces: presses hold the capture until the last button is up.
LRESULT base_window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Cell f;
    if (!face_of_window(hwnd, &f)) return DefWindowProc(hwnd, msg, wp, lp);
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
    default: return common_proc(hwnd, msg, wp, lp, f, false);
    }
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
};

const ClassSpec* class_for(const Cell* f) {
    if (face::type_is(f, "window")) return &k_classes[0];
    if (face::type_is(f, "panel")) return &k_classes[1];
    if (face::type_is(f, "base")) return &k_classes[2];
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

void register_classes() {
    for (const ClassSpec& c : k_classes) {
        WNDCLASS wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = c.proc;
        wc.cbWndExtra = 80;
        wc.hCursor = LoadCursor(IDC_ARROW);
        wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
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
    if (face_of_window(hwnd, &f)) SetForegroundWindow(hwnd);
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

void set_rate(HWND hwnd, const Cell* rate) {
    const UINT ms = rate_ms(rate);
    if (ms) SetTimer(hwnd, 1, ms, timer_proc);
    else KillTimer(hwnd, 1);
}

HWND make_view(const Cell* f, HWND parent) {
    const ClassSpec* cls = class_for(f);
    if (!cls) support::fire_error(ErrorId::internal_not_done);
    const UINT period = rate_ms(face::facet(f, face::RATE));
    const bool top = cls == &k_classes[0];
    // First: a bad menu raises before the window is made, and building may
    // allocate, which moves the facet cells read below.
    const HMENU bar = top ? menus::build_bar(f) : 0;
    double x = 0, y = 0, w = 0, h = 0;
    xy_of(face::facet(f, face::OFFSET), &x, &y);
    const Cell* size = face::facet(f, face::SIZE);
    xy_of(size, &w, &h);
    const bool pair_size = size->is(TYPE_PAIR);  // the title's conversion below may move the facets
    if (top && w == -1 && h == -1) w = h = 200;
    uint32_t style = top ? window_style(f) : (WS_CHILD | WS_CLIPSIBLINGS);
    uint32_t ex = 0;
    if (top && face::has_flag(f, "popup")) ex |= WS_EX_TOOLWINDOW;
    if (const Cell* v = face::facet(f, face::VISIBLE); !v->is(TYPE_LOGIC) || v->data1) style |= WS_VISIBLE;
    if (const Cell* e = face::facet(f, face::ENABLED); e->is(TYPE_LOGIC) && !e->data1) style |= WS_DISABLED;
    HWND owner = 0;
    if (top && face::has_flag(f, "modal")) owner = GetActiveWindow();
    const std::string title = top ? text_of(face::facet(f, face::TEXT)) : std::string();
    const HWND hwnd = CreateWindowEx(ex, cls->name, title, style, to_pixels(x), to_pixels(y),
                                     to_pixels(w), to_pixels(h), top ? owner : parent);
    if (!hwnd) support::fire_error(ErrorId::internal_not_done);
    SetWindowLong(hwnd, LONG_CREATION, pair_size ? CREATION_PAIR_SIZE : 0);
    SetWindowLong(hwnd, LONG_FACE, int32_t(take_slot(f)));
    if (bar) SetMenu(hwnd, bar);
    if (period) SetTimer(hwnd, 1, period, timer_proc);
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
        const uint32_t slot = uint32_t(GetWindowLong(hwnd, LONG_FACE));
        SetWindowLong(hwnd, LONG_FACE, 0);
        DestroyWindow(hwnd);
        free_slot(slot);
    }
    *face::facet(f, face::STATE) = make_cell(TYPE_NONE);
}
}  // namespace

bool draw_face(const Cell* f, const Cell* commands) {
    const HWND hwnd = face::window_of(f);
    if (!hwnd || hwnd != g_painting.hwnd || !g_painting.dc) return false;
    draw_on_paint(g_painting.dc, commands);
    return true;
}

void destroy_face(const Cell* f) {
    std::vector<NodeId> seen;
    destroy_tree(f, &seen);
}

}  // namespace zun::gui
