// msctls_trackbar32: a thumb on a channel over a range, telling its parent
// each move as WM_HSCROLL (horizontal) or WM_VSCROLL (TBS_VERT), the code in
// the low word, the position in the high word for TB_THUMBTRACK and
// TB_THUMBPOSITION, the control in lParam. The minimum is at the left, or at
// the top of a vertical bar.
#pragma once
#include "platform/window.hpp"

namespace zun::win {

constexpr const char* TRACKBAR_CLASS = "msctls_trackbar32";

constexpr uint32_t TBS_AUTOTICKS = 0x1, TBS_VERT = 0x2, TBS_HORZ = 0x0, TBS_TOP = 0x4, TBS_BOTTOM = 0x0,
                   TBS_LEFT = 0x4, TBS_RIGHT = 0x0, TBS_BOTH = 0x8, TBS_NOTICKS = 0x10, TBS_NOTHUMB = 0x80,
                   TBS_DOWNISLEFT = 0x400;

enum : UINT {
    TBM_GETPOS = WM_USER, TBM_GETRANGEMIN = WM_USER + 1, TBM_GETRANGEMAX = WM_USER + 2,
    TBM_SETPOS = WM_USER + 5, TBM_SETRANGE = WM_USER + 6, TBM_SETRANGEMIN = WM_USER + 7,
    TBM_SETRANGEMAX = WM_USER + 8, TBM_SETTICFREQ = WM_USER + 20, TBM_SETPAGESIZE = WM_USER + 21,
    TBM_GETPAGESIZE = WM_USER + 22, TBM_SETLINESIZE = WM_USER + 23, TBM_GETLINESIZE = WM_USER + 24,
    TBM_GETTHUMBRECT = WM_USER + 25, TBM_GETCHANNELRECT = WM_USER + 26,
};

// Scroll codes of a trackbar.
enum : UINT {
    TB_LINEUP = 0, TB_LINEDOWN = 1, TB_PAGEUP = 2, TB_PAGEDOWN = 3, TB_THUMBPOSITION = 4,
    TB_THUMBTRACK = 5, TB_TOP = 6, TB_BOTTOM = 7, TB_ENDTRACK = 8,
};

}  // namespace zun::win
