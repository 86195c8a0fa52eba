// msctls_progress32: a bar filled to pos within its range, left to right or
// (PBS_VERTICAL) from the bottom; no animation.
#include <algorithm>

#include "platform/controls/control_draw.hpp"

namespace zun::win::controls {

namespace {

struct Progress : ControlBase {
    int32_t low = 0, high = 100, pos = 0, step = 10;
};

StateTable<Progress> g_progress;

void paint(HWND hwnd, Progress& p) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    RECT r = painting.r;
    bool dark = dark_theme();
    fill_rect(cr, r, dark ? 0x333333 : 0xE6E6E6);
    frame_rect(cr, r, dark ? 0x646464 : 0xBCBCBC);
    RECT in = inset(r, 1);
    double range = static_cast<double>(p.high) - p.low;
    double f = range > 0 ? (static_cast<double>(p.pos) - p.low) / range : 0;
    f = std::clamp(f, 0.0, 1.0);
    RECT bar = in;
    if (style_of(hwnd) & PBS_VERTICAL) bar.top = in.bottom - static_cast<int32_t>(in.height() * f + 0.5);
    else bar.right = in.left + static_cast<int32_t>(in.width() * f + 0.5);
    COLORREF fill = IsWindowEnabled(hwnd) ? (dark ? 0x3CB371 : 0x25B006) : sys_colour(COLOR_BTNSHADOW);
    if (bar.width() > 0 && bar.height() > 0) fill_rect(cr, bar, fill);
}

// Sets the position within the range; answers the old one.
LRESULT set_pos(HWND hwnd, Progress& p, int64_t pos) {
    int32_t old = p.pos;
    p.pos = static_cast<int32_t>(std::clamp<int64_t>(pos, std::min(p.low, p.high), std::max(p.low, p.high)));
    if (p.pos != old) InvalidateRect(hwnd, nullptr, false);
    return old;
}

LRESULT set_range(HWND hwnd, Progress& p, int32_t low, int32_t high) {
    LRESULT old = (p.low & 0xFFFF) | (static_cast<LRESULT>(p.high & 0xFFFF) << 16);
    p.low = low;
    p.high = high;
    set_pos(hwnd, p, p.pos);
    InvalidateRect(hwnd, nullptr, false);
    return old;
}

LRESULT CALLBACK_progress(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Progress* p = state_for(g_progress, hwnd, msg);
    if (!p || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT result = 0;
    if (common_message(hwnd, *p, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_PAINT: paint(hwnd, *p); return 0;
        case PBM_SETRANGE:
            return set_range(hwnd, *p, static_cast<uint16_t>(lp & 0xFFFF), static_cast<uint16_t>((lp >> 16) & 0xFFFF));
        case PBM_SETRANGE32: return set_range(hwnd, *p, static_cast<int32_t>(wp), static_cast<int32_t>(lp));
        case PBM_GETRANGE:
            if (lp) *reinterpret_cast<PBRANGE*>(lp) = {p->low, p->high};
            return wp ? p->low : p->high;
        case PBM_SETPOS: return set_pos(hwnd, *p, static_cast<int32_t>(wp));
        case PBM_DELTAPOS: return set_pos(hwnd, *p, static_cast<int64_t>(p->pos) + static_cast<int32_t>(wp));
        case PBM_SETSTEP: {
            int32_t old = p->step;
            p->step = static_cast<int32_t>(wp);
            return old;
        }
        case PBM_STEPIT: {
            // Windows wraps to the start past the end.
            int64_t next = static_cast<int64_t>(p->pos) + p->step;
            if (next > p->high) next = p->low + (next - p->high);
            return set_pos(hwnd, *p, next);
        }
        case PBM_GETPOS: return p->pos;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_progress() { register_control(PROGRESS_CLASS, CALLBACK_progress, CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
