// STATIC: a caption, left (word-wrapped), centred or right, or one line
// centred vertically; transparent to the mouse unless SS_NOTIFY.
#include "platform/controls/static.hpp"

#include "platform/controls/control_draw.hpp"

namespace zun::win::controls {

namespace {

StateTable<ControlBase> g_statics;

uint32_t text_flags(uint32_t style) {
    uint32_t f = 0;
    switch (style & SS_TYPEMASK) {
        case SS_CENTER: f |= DT_CENTER; break;
        case SS_RIGHT: f |= DT_RIGHT; break;
        default: break;
    }
    if (style & SS_CENTERIMAGE) f |= DT_SINGLELINE | DT_VCENTER;
    else f |= DT_WORDBREAK;
    if (style & SS_ENDELLIPSIS) f = (f & ~DT_WORDBREAK) | DT_SINGLELINE | DT_END_ELLIPSIS;
    if (style & SS_NOPREFIX) f |= DT_NOPREFIX;
    return f;
}

void paint(HWND hwnd, ControlBase& s) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    RECT r = painting.r;
    bool enabled = IsWindowEnabled(hwnd);
    COLORREF ink = parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, r, sys_colour(COLOR_WINDOWTEXT));
    if (!enabled) ink = sys_colour(COLOR_GRAYTEXT);
    draw_text(cr, hwnd, s.font, GetWindowText(hwnd), r, text_flags(style_of(hwnd)), ink);
}

LRESULT CALLBACK_static(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    ControlBase* s = state_for(g_statics, hwnd, msg);
    if (!s || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT result = 0;
    if (common_message(hwnd, *s, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_NCHITTEST:
            return (style_of(hwnd) & SS_NOTIFY) ? DefWindowProc(hwnd, msg, wp, lp) : HTTRANSPARENT;
        case WM_PAINT: paint(hwnd, *s); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            if (style_of(hwnd) & SS_NOTIFY) notify_parent(hwnd, msg == WM_LBUTTONDOWN ? STN_CLICKED : STN_DBLCLK);
            return 0;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_static() { register_control(WC_STATIC, CALLBACK_static, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
