// msctls_trackbar32: a thumb dragged along a channel, paging toward a press in
// the channel (repeating while held), moved by the keys; ticks at both ends of
// the range (every TBM_SETTICFREQ step with TBS_AUTOTICKS).
#include "platform/controls/trackbar.hpp"

#include <algorithm>
#include <cmath>

#include "platform/controls/control_draw.hpp"

namespace zun::win::controls {

namespace {

enum class Hold { None, Thumb, Channel };

struct Trackbar : ControlBase {
    int32_t min = 0, max = 100, pos = 0;
    int32_t line = 1, page = 20, tic_freq = 1;
    bool page_set = false;  // TBM_SETPAGESIZE given: no longer a fifth of the range
    Hold hold = Hold::None;
    int32_t grab = 0;       // pointer less thumb centre along the channel, at the press
    int32_t pointer = 0;    // along the channel, while held
    bool hot = false, focused = false;
};

StateTable<Trackbar> g_trackbars;
constexpr uintptr_t k_repeat_timer = 1;

bool vertical(HWND hwnd) { return style_of(hwnd) & TBS_VERT; }

// Where things are, along (the range's axis) and across it.
struct Geometry {
    RECT client;
    bool v = false;
    int32_t first = 0, last = 0;  // the thumb centre's travel
    int32_t centre = 0;           // the channel's middle across
    int32_t thumb_len = 0, thumb_thick = 0;
    int32_t along(POINT p) const { return v ? p.y : p.x; }
    RECT span(int32_t a0, int32_t a1, int32_t c0, int32_t c1) const {
        return v ? RECT{c0, a0, c1, a1} : RECT{a0, c0, a1, c1};
    }
};

Geometry geometry(HWND hwnd) {
    Geometry g;
    g.client = inner_client_rect(hwnd);
    g.v = vertical(hwnd);
    int32_t a0 = g.v ? g.client.top : g.client.left, a1 = g.v ? g.client.bottom : g.client.right;
    int32_t c0 = g.v ? g.client.left : g.client.top, c1 = g.v ? g.client.right : g.client.bottom;
    g.thumb_len = scaled(hwnd, 11);
    g.thumb_thick = std::max(4, std::min(scaled(hwnd, 20), (c1 - c0) - 2 * scaled(hwnd, 6)));
    int32_t margin = g.thumb_len / 2 + scaled(hwnd, 3);
    g.first = a0 + margin;
    g.last = std::max(g.first, a1 - margin - 1);
    g.centre = (c0 + c1) / 2;
    return g;
}

int32_t pixel_of(const Trackbar& t, const Geometry& g, int32_t pos) {
    int64_t span = int64_t(t.max) - t.min;
    if (span <= 0) return g.first;
    return g.first + static_cast<int32_t>(std::lround(double(pos - int64_t(t.min)) * (g.last - g.first) / double(span)));
}

int32_t pos_of(const Trackbar& t, const Geometry& g, int32_t pixel) {
    int64_t span = int64_t(t.max) - t.min;
    if (span <= 0 || g.last == g.first) return t.min;
    double f = std::clamp(double(pixel - g.first) / (g.last - g.first), 0.0, 1.0);
    return static_cast<int32_t>(t.min + std::llround(f * double(span)));
}

RECT thumb_rect(const Trackbar& t, const Geometry& g) {
    int32_t c = pixel_of(t, g, t.pos);
    return g.span(c - g.thumb_len / 2, c - g.thumb_len / 2 + g.thumb_len, g.centre - g.thumb_thick / 2,
                  g.centre - g.thumb_thick / 2 + g.thumb_thick);
}

RECT channel_rect(HWND hwnd, const Geometry& g) {
    int32_t half = scaled(hwnd, 2);
    return g.span(g.first - half, g.last + half + 1, g.centre - half, g.centre + half);
}

int32_t clamp_pos(const Trackbar& t, int64_t pos) {
    return static_cast<int32_t>(std::clamp<int64_t>(pos, std::min(t.min, t.max), std::max(t.min, t.max)));
}

void set_pos(HWND hwnd, Trackbar& t, int64_t pos) {
    int32_t p = clamp_pos(t, pos);
    if (p == t.pos) return;
    t.pos = p;
    InvalidateRect(hwnd, nullptr, false);
}

void set_range(HWND hwnd, Trackbar& t, int32_t min, int32_t max, bool redraw) {
    t.min = min;
    t.max = max;
    if (!t.page_set) t.page = std::max<int32_t>(1, static_cast<int32_t>((int64_t(max) - min) / 5));
    t.pos = clamp_pos(t, t.pos);
    if (redraw) InvalidateRect(hwnd, nullptr, false);
}

void tell(HWND hwnd, UINT code, int32_t pos = 0) { scroll_parent(hwnd, vertical(hwnd), code, pos); }

// A key or channel step: moves and tells the parent, unless already there.
void step(HWND hwnd, Trackbar& t, UINT code) {
    int64_t to = t.pos;
    switch (code) {
        case TB_LINEUP: to -= t.line; break;
        case TB_LINEDOWN: to += t.line; break;
        case TB_PAGEUP: to -= t.page; break;
        case TB_PAGEDOWN: to += t.page; break;
        case TB_TOP: to = t.min; break;
        case TB_BOTTOM: to = t.max; break;
        default: return;
    }
    if (clamp_pos(t, to) == t.pos) return;
    set_pos(hwnd, t, to);
    tell(hwnd, code);
}

// One page toward the held pointer, until the thumb covers it.
void page_toward_pointer(HWND hwnd, Trackbar& t) {
    Geometry g = geometry(hwnd);
    int32_t c = pixel_of(t, g, t.pos);
    if (std::abs(t.pointer - c) <= g.thumb_len / 2) return;
    step(hwnd, t, t.pointer < c ? TB_PAGEUP : TB_PAGEDOWN);
}

void end_hold(HWND hwnd, Trackbar& t) {
    KillTimer(hwnd, k_repeat_timer);
    Hold was = t.hold;
    t.hold = Hold::None;
    InvalidateRect(hwnd, nullptr, false);
    if (was == Hold::Thumb) tell(hwnd, TB_THUMBPOSITION, t.pos);
    tell(hwnd, TB_ENDTRACK);
}

UINT key_code(HWND hwnd, WPARAM vk) {
    bool down_is_left = style_of(hwnd) & TBS_DOWNISLEFT;
    switch (vk) {
        case VK_LEFT: return TB_LINEUP;
        case VK_RIGHT: return TB_LINEDOWN;
        case VK_UP: return down_is_left ? TB_LINEDOWN : TB_LINEUP;
        case VK_DOWN: return down_is_left ? TB_LINEUP : TB_LINEDOWN;
        case VK_PRIOR: return TB_PAGEUP;
        case VK_NEXT: return TB_PAGEDOWN;
        case VK_HOME: return TB_TOP;
        case VK_END: return TB_BOTTOM;
        default: return TB_ENDTRACK;  // not a trackbar key
    }
}

// ---- drawing ----------------------------------------------------------------

void draw_ticks(HWND hwnd, cairo_t* cr, const Trackbar& t, const Geometry& g, COLORREF ink) {
    uint32_t style = style_of(hwnd);
    if (style & TBS_NOTICKS) return;
    bool before = (style & TBS_BOTH) || (style & TBS_TOP);  // above, or left of a vertical bar
    bool after = (style & TBS_BOTH) || !(style & TBS_TOP);
    int32_t gap = scaled(hwnd, 2), len = scaled(hwnd, 3);
    auto tick = [&](int32_t pos) {
        int32_t a = pixel_of(t, g, pos);
        int32_t outer = g.thumb_thick / 2 + gap;
        if (after) fill_rect(cr, g.span(a, a + 1, g.centre + outer, g.centre + outer + len), ink);
        if (before) fill_rect(cr, g.span(a, a + 1, g.centre - outer - len, g.centre - outer), ink);
    };
    tick(t.min);
    tick(t.max);
    int64_t span = int64_t(t.max) - t.min;
    if (!(style & TBS_AUTOTICKS) || t.tic_freq <= 0 || span <= 0) return;
    // Every step, unless they would run closer than 2 px.
    if (double(g.last - g.first) * t.tic_freq / double(span) < 2) return;
    for (int64_t p = int64_t(t.min) + t.tic_freq; p < t.max; p += t.tic_freq) tick(static_cast<int32_t>(p));
}

void paint(HWND hwnd, Trackbar& t) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    bool enabled = IsWindowEnabled(hwnd), dark = dark_theme();
    COLORREF ink = parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, painting.r,
                                  enabled ? sys_colour(COLOR_BTNTEXT) : sys_colour(COLOR_GRAYTEXT));
    if (!enabled) ink = sys_colour(COLOR_GRAYTEXT);
    Geometry g = geometry(hwnd);
    RECT channel = channel_rect(hwnd, g);
    fill_rect(cr, channel, dark ? 0x3A3A3A : 0xE7EAEA);
    frame_rect(cr, channel, dark ? 0x6A6A6A : 0xD6D6D6);
    draw_ticks(hwnd, cr, t, g, ink);
    if (!(style_of(hwnd) & TBS_NOTHUMB)) {
        COLORREF fill = !enabled                  ? sys_colour(COLOR_BTNSHADOW)
                        : t.hold == Hold::Thumb   ? (dark ? 0xC8C8C8 : 0xCCCCCC)
                        : t.hot                   ? (dark ? 0xFFFFFF : 0x171717)
                                                  : sys_colour(COLOR_HIGHLIGHT);
        fill_rect(cr, thumb_rect(t, g), fill);
    }
    if (t.focused) draw_focus_rect(cr, painting.r);
}

// ---- the procedure ------------------------------------------------------------

LRESULT CALLBACK_trackbar(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Trackbar* t = state_for(g_trackbars, hwnd, msg);
    if (!t || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    if (msg == WM_ENABLE && !wp && t->hold != Hold::None) ReleaseCapture();
    LRESULT result = 0;
    if (common_message(hwnd, *t, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_PAINT: paint(hwnd, *t); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            SetFocus(hwnd);
            if (!IsWindow(hwnd) || t->hold != Hold::None) return 0;
            POINT p{x_of(lp), y_of(lp)};
            Geometry g = geometry(hwnd);
            t->pointer = g.along(p);
            SetCapture(hwnd);
            if (inside(thumb_rect(*t, g), p.x, p.y) && !(style_of(hwnd) & TBS_NOTHUMB)) {
                t->hold = Hold::Thumb;
                t->grab = t->pointer - pixel_of(*t, g, t->pos);
                InvalidateRect(hwnd, nullptr, false);
            } else {
                t->hold = Hold::Channel;
                page_toward_pointer(hwnd, *t);
                SetTimer(hwnd, k_repeat_timer, k_hold_first_delay, nullptr);
            }
            return 0;
        }
        case WM_TIMER:
            if (wp != k_repeat_timer || t->hold != Hold::Channel) return 0;
            SetTimer(hwnd, k_repeat_timer, k_hold_repeat_delay, nullptr);
            page_toward_pointer(hwnd, *t);
            return 0;
        case WM_MOUSEMOVE: {
            if (!t->hot) {
                t->hot = true;
                track_mouse_leave(hwnd);
                InvalidateRect(hwnd, nullptr, false);
            }
            if (t->hold == Hold::None) return 0;
            Geometry g = geometry(hwnd);
            t->pointer = g.along({x_of(lp), y_of(lp)});
            if (t->hold == Hold::Thumb) {
                int32_t p = pos_of(*t, g, t->pointer - t->grab);
                if (p != t->pos) {
                    set_pos(hwnd, *t, p);
                    tell(hwnd, TB_THUMBTRACK, t->pos);
                }
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            t->hot = false;
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case WM_LBUTTONUP:
            if (t->hold == Hold::None) return 0;
            ReleaseCapture();  // WM_CAPTURECHANGED ends the hold, unless the parent destroyed us there
            if ((t = g_trackbars.get(hwnd)) && t->hold != Hold::None) end_hold(hwnd, *t);
            return 0;
        case WM_CAPTURECHANGED:
            if (t->hold != Hold::None && static_cast<HWND>(lp) != hwnd) end_hold(hwnd, *t);
            return 0;
        case WM_KEYDOWN: {
            UINT code = key_code(hwnd, wp);
            if (code != TB_ENDTRACK) step(hwnd, *t, code);
            return 0;
        }
        case WM_KEYUP:
            if (key_code(hwnd, wp) != TB_ENDTRACK) tell(hwnd, TB_ENDTRACK);
            return 0;
        case WM_MOUSEWHEEL: {
            int notches = static_cast<int16_t>(wp >> 16) / WHEEL_DELTA;
            for (int i = 0; i < std::abs(notches) && (t = g_trackbars.get(hwnd)); ++i)
                step(hwnd, *t, notches > 0 ? TB_LINEUP : TB_LINEDOWN);
            if (notches) tell(hwnd, TB_ENDTRACK);
            return 0;
        }
        case WM_SETFOCUS:
        case WM_KILLFOCUS: note_focus(hwnd, t->focused, msg); return 0;
        case TBM_GETPOS: return t->pos;
        case TBM_GETRANGEMIN: return t->min;
        case TBM_GETRANGEMAX: return t->max;
        case TBM_SETPOS:
            set_pos(hwnd, *t, static_cast<int32_t>(lp));
            return 0;
        case TBM_SETRANGE:
            set_range(hwnd, *t, static_cast<uint16_t>(lp & 0xFFFF), static_cast<uint16_t>((lp >> 16) & 0xFFFF), wp != 0);
            return 0;
        case TBM_SETRANGEMIN: set_range(hwnd, *t, static_cast<int32_t>(lp), t->max, wp != 0); return 0;
        case TBM_SETRANGEMAX: set_range(hwnd, *t, t->min, static_cast<int32_t>(lp), wp != 0); return 0;
        case TBM_SETTICFREQ:
            t->tic_freq = static_cast<int32_t>(wp);
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case TBM_SETPAGESIZE: {
            int32_t old = t->page;
            t->page = static_cast<int32_t>(lp);
            t->page_set = true;
            return old;
        }
        case TBM_GETPAGESIZE: return t->page;
        case TBM_SETLINESIZE: {
            int32_t old = t->line;
            t->line = static_cast<int32_t>(lp);
            return old;
        }
        case TBM_GETLINESIZE: return t->line;
        case TBM_GETTHUMBRECT:
        case TBM_GETCHANNELRECT: {
            if (!lp) return 0;
            Geometry g = geometry(hwnd);
            *reinterpret_cast<RECT*>(lp) = msg == TBM_GETTHUMBRECT ? thumb_rect(*t, g) : channel_rect(hwnd, g);
            return 0;
        }
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_trackbar() { register_control(TRACKBAR_CLASS, CALLBACK_trackbar, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
