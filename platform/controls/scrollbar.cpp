// SCROLLBAR (SB_CTL): a bar of its own telling its parent what the user asks
// (WM_HSCROLL / WM_VSCROLL, the control in lParam). It never moves its own
// position: the application sets it; only the dragged thumb follows the pointer.
#include <algorithm>

#include "platform/controls/control_draw.hpp"
#include "platform/window_internal.hpp"

namespace zun::win::controls {

namespace {

enum Part { None, ArrowUp, PageUp, Thumb, PageDown, ArrowDown };

struct ScrollBar : ControlBase {
    SCROLLINFO si{sizeof(SCROLLINFO), 0, 0, 100, 0, 0, 0};
    Part held = None;        // the part a left press holds
    POINT pointer;           // the last pointer position while held
    int32_t grab_offset = 0; // pointer within the thumb at the press
    bool dragging = false;
};

StateTable<ScrollBar> g_bars;
constexpr uintptr_t k_repeat_timer = 1;

bool vertical(HWND hwnd) { return style_of(hwnd) & SBS_VERT; }

// The bar's geometry along its length.
struct Geometry {
    int32_t length = 0, arrow = 0, thumb_start = 0, thumb_len = 0;
    int32_t track_start() const { return arrow; }
    int32_t track_len() const { return std::max(0, length - 2 * arrow); }
};

int64_t scroll_span(const SCROLLINFO& si) {  // positions the thumb can take, less one
    return std::max<int64_t>(int64_t(si.nMax) - si.nMin - std::max<int64_t>(int64_t(si.nPage) - 1, 0), 0);
}

Geometry geometry(HWND hwnd, const ScrollBar& b) {
    RECT r;
    GetClientRect(hwnd, &r);
    bool v = vertical(hwnd);
    Geometry g;
    g.length = v ? r.height() : r.width();
    int32_t thick = v ? r.width() : r.height();
    g.arrow = std::min(thick, g.length / 2);
    int64_t range = int64_t(b.si.nMax) - b.si.nMin + 1;
    int32_t track = g.track_len();
    if (range <= 1 || !IsWindowEnabled(hwnd) || track < scaled(hwnd, 8)) return g;
    int32_t min_thumb = scaled(hwnd, 8);
    g.thumb_len = b.si.nPage ? static_cast<int32_t>(track * int64_t(b.si.nPage) / range) : thick;
    g.thumb_len = std::clamp(g.thumb_len, std::min(min_thumb, track), track);
    int64_t span = scroll_span(b.si);
    int32_t pos = b.dragging ? b.si.nTrackPos : b.si.nPos;
    g.thumb_start = g.track_start() +
                    (span ? static_cast<int32_t>((int64_t(pos) - b.si.nMin) * (track - g.thumb_len) / span) : 0);
    return g;
}

Part part_at(HWND hwnd, const ScrollBar& b, POINT p) {
    RECT r;
    GetClientRect(hwnd, &r);
    if (!inside(r, p.x, p.y)) return None;
    Geometry g = geometry(hwnd, b);
    int32_t at = vertical(hwnd) ? p.y : p.x;
    if (at < g.arrow) return ArrowUp;
    if (at >= g.length - g.arrow) return ArrowDown;
    if (!g.thumb_len) return None;
    if (at < g.thumb_start) return PageUp;
    if (at >= g.thumb_start + g.thumb_len) return PageDown;
    return Thumb;
}

void send_scroll(HWND hwnd, WPARAM code, int32_t pos = 0) {
    scroll_parent(hwnd, vertical(hwnd), static_cast<UINT>(code), pos);
}

WPARAM code_of(Part part) {
    switch (part) {
        case ArrowUp: return SB_LINEUP;
        case ArrowDown: return SB_LINEDOWN;
        case PageUp: return SB_PAGEUP;
        case PageDown: return SB_PAGEDOWN;
        default: return SB_ENDSCROLL;
    }
}

// One step of a held arrow or trough; the trough stops once the thumb has
// reached the pointer.
void step_held(HWND hwnd, ScrollBar& b) {
    if (b.held == None || b.held == Thumb) return;
    if (part_at(hwnd, b, b.pointer) != b.held) return;
    send_scroll(hwnd, code_of(b.held));
}

int32_t track_pos_at(HWND hwnd, const ScrollBar& b, POINT p) {
    Geometry g = geometry(hwnd, b);
    int32_t room = g.track_len() - g.thumb_len;
    int32_t at = (vertical(hwnd) ? p.y : p.x) - b.grab_offset - g.track_start();
    int64_t span = scroll_span(b.si);
    if (room <= 0) return b.si.nMin;
    int64_t pos = b.si.nMin + (int64_t(std::clamp(at, 0, room)) * span + room / 2) / room;
    return static_cast<int32_t>(pos);
}

// SetScrollInfo's rules: the page within the range, the position within
// min..max - max(page - 1, 0).
int set_info(HWND hwnd, ScrollBar& b, const SCROLLINFO& in, bool redraw) {
    SCROLLINFO& cur = b.si;
    if (in.fMask & SIF_RANGE) cur.nMin = in.nMin, cur.nMax = in.nMax;
    if (in.fMask & SIF_PAGE) cur.nPage = in.nPage;
    if (in.fMask & SIF_POS) cur.nPos = in.nPos;
    int64_t range = int64_t(cur.nMax) - cur.nMin + 1;
    cur.nPage = static_cast<UINT>(std::clamp<int64_t>(cur.nPage, 0, std::max<int64_t>(range, 0)));
    cur.nPos = static_cast<int32_t>(std::clamp<int64_t>(cur.nPos, cur.nMin, cur.nMin + scroll_span(cur)));
    if (redraw) InvalidateRect(hwnd, nullptr, false);
    return cur.nPos;
}

void paint(HWND hwnd, ScrollBar& b) {
    ThemeScope theme(hwnd);
    PAINTSTRUCT ps;
    cairo_t* cr = BeginPaint(hwnd, &ps);
    if (!cr) return;
    RECT r;
    GetClientRect(hwnd, &r);
    bool v = vertical(hwnd), dark = dark_theme(), enabled = IsWindowEnabled(hwnd);
    fill_rect(cr, r, dark ? 0x2B2B2B : 0xF0F0F0);
    Geometry g = geometry(hwnd, b);
    auto span_rect = [&](int32_t from, int32_t len) {
        return v ? RECT{r.left, from, r.right, from + len} : RECT{from, r.top, from + len, r.bottom};
    };
    if (b.held == PageUp || b.held == PageDown) {
        RECT t = b.held == PageUp ? span_rect(g.track_start(), g.thumb_start - g.track_start())
                                  : span_rect(g.thumb_start + g.thumb_len, g.length - g.arrow - g.thumb_start - g.thumb_len);
        fill_rect(cr, t, dark ? 0x3C3C3C : 0xDADADA);
    }
    COLORREF arrow_ink = !enabled ? sys_colour(COLOR_BTNSHADOW) : (dark ? 0xC8C8C8 : 0x606060);
    int32_t thick = v ? r.width() : r.height();
    for (Part part : {ArrowUp, ArrowDown}) {
        RECT a = part == ArrowUp ? span_rect(0, g.arrow) : span_rect(g.length - g.arrow, g.arrow);
        if (b.held == part && part_at(hwnd, b, b.pointer) == part) fill_rect(cr, a, dark ? 0x505050 : 0xDADADA);
        set_colour(cr, arrow_ink);
        detail::draw_scroll_arrow(cr, (a.left + a.right) / 2.0, (a.top + a.bottom) / 2.0, std::min(thick, g.arrow) / 4.0, v, part == ArrowUp);
    }
    if (g.thumb_len) {
        RECT t = span_rect(g.thumb_start, g.thumb_len);
        int pad = scaled(hwnd, 2);
        t = v ? RECT{t.left + pad, t.top, t.right - pad, t.bottom} : RECT{t.left, t.top + pad, t.right, t.bottom - pad};
        fill_rect(cr, t, b.dragging ? (dark ? 0xA0A0A0 : 0x606060) : (dark ? 0x6E6E6E : 0xC0C0C0));
    }
    EndPaint(hwnd, &ps);
}

void end_hold(HWND hwnd, ScrollBar& b) {
    KillTimer(hwnd, k_repeat_timer);
    bool was_dragging = b.dragging;
    b.held = None;
    b.dragging = false;
    InvalidateRect(hwnd, nullptr, false);
    if (was_dragging) send_scroll(hwnd, SB_THUMBPOSITION, b.si.nTrackPos);
    send_scroll(hwnd, SB_ENDSCROLL);
}

LRESULT CALLBACK_scrollbar(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    ScrollBar* b = state_for(g_bars, hwnd, msg);
    if (!b || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT result = 0;
    if (common_message(hwnd, *b, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_PAINT: paint(hwnd, *b); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            b->pointer = {x_of(lp), y_of(lp)};
            Part part = part_at(hwnd, *b, b->pointer);
            if (part == None) return 0;
            SetCapture(hwnd);
            b->held = part;
            if (part == Thumb) {
                Geometry g = geometry(hwnd, *b);
                b->grab_offset = (vertical(hwnd) ? b->pointer.y : b->pointer.x) - g.thumb_start;
                b->si.nTrackPos = b->si.nPos;
                b->dragging = true;
            } else {
                send_scroll(hwnd, code_of(part));
                SetTimer(hwnd, k_repeat_timer, k_hold_first_delay, nullptr);
            }
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        }
        case WM_TIMER:
            if (wp != k_repeat_timer) return 0;
            SetTimer(hwnd, k_repeat_timer, k_hold_repeat_delay, nullptr);
            step_held(hwnd, *b);
            return 0;
        case WM_MOUSEMOVE:
            if (b->held == None) return 0;
            b->pointer = {x_of(lp), y_of(lp)};
            if (b->dragging) {
                int32_t pos = track_pos_at(hwnd, *b, b->pointer);
                if (pos != b->si.nTrackPos) {
                    b->si.nTrackPos = pos;
                    send_scroll(hwnd, SB_THUMBTRACK, pos);
                }
            }
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case WM_LBUTTONUP:
            if (b->held == None) return 0;
            ReleaseCapture();  // WM_CAPTURECHANGED ends the hold, unless the parent destroyed us there
            if ((b = g_bars.get(hwnd)) && b->held != None) end_hold(hwnd, *b);
            return 0;
        case WM_CAPTURECHANGED:
            if (b->held != None && static_cast<HWND>(lp) != hwnd) end_hold(hwnd, *b);
            return 0;
        case WM_KEYDOWN: {
            WPARAM code;
            switch (wp) {
                case VK_UP: case VK_LEFT: code = SB_LINEUP; break;
                case VK_DOWN: case VK_RIGHT: code = SB_LINEDOWN; break;
                case VK_PRIOR: code = SB_PAGEUP; break;
                case VK_NEXT: code = SB_PAGEDOWN; break;
                case VK_HOME: code = SB_TOP; break;
                case VK_END: code = SB_BOTTOM; break;
                default: return 0;
            }
            send_scroll(hwnd, code);
            send_scroll(hwnd, SB_ENDSCROLL);
            return 0;
        }
        case SBM_SETSCROLLINFO:
            return lp ? set_info(hwnd, *b, *reinterpret_cast<const SCROLLINFO*>(lp), wp != 0) : b->si.nPos;
        case SBM_GETSCROLLINFO: {
            if (!lp) return 0;
            auto* out = reinterpret_cast<SCROLLINFO*>(lp);
            if (out->fMask & SIF_RANGE) out->nMin = b->si.nMin, out->nMax = b->si.nMax;
            if (out->fMask & SIF_PAGE) out->nPage = b->si.nPage;
            if (out->fMask & SIF_POS) out->nPos = b->si.nPos;
            if (out->fMask & SIF_TRACKPOS) out->nTrackPos = b->dragging ? b->si.nTrackPos : b->si.nPos;
            return 1;
        }
        case SBM_SETPOS: {
            int32_t old = b->si.nPos;
            SCROLLINFO si;
            si.fMask = SIF_POS;
            si.nPos = static_cast<int32_t>(wp);
            set_info(hwnd, *b, si, lp != 0);
            return old;
        }
        case SBM_GETPOS: return b->si.nPos;
        case SBM_SETRANGE:
        case SBM_SETRANGEREDRAW: {
            int32_t old = b->si.nPos;
            SCROLLINFO si;
            si.fMask = SIF_RANGE;
            si.nMin = static_cast<int32_t>(wp);
            si.nMax = static_cast<int32_t>(lp);
            set_info(hwnd, *b, si, msg == SBM_SETRANGEREDRAW);
            return old;
        }
        case SBM_GETRANGE:
            if (wp) *reinterpret_cast<int32_t*>(wp) = b->si.nMin;
            if (lp) *reinterpret_cast<int32_t*>(lp) = b->si.nMax;
            return 0;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_scrollbar() { register_control(WC_SCROLLBAR, CALLBACK_scrollbar, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
