// EDIT's messages and notifications beyond the ones every control shares
// (controls.hpp), with Win32's numbers. Positions count code points; a
// multi-line control keeps each line break as CR LF (two positions).
#pragma once
#include "platform/controls/controls.hpp"

namespace zun::win {

enum : UINT {
    EM_GETRECT = 0x00B2, EM_SCROLL = 0x00B5, EM_LINESCROLL = 0x00B6, EM_GETMODIFY = 0x00B8,
    EM_SETMODIFY = 0x00B9, EM_GETLINECOUNT = 0x00BA, EM_LINEINDEX = 0x00BB, EM_LINELENGTH = 0x00C1,
    EM_GETLINE = 0x00C4, EM_LINEFROMCHAR = 0x00C9, EM_GETFIRSTVISIBLELINE = 0x00CE,
    EM_POSFROMCHAR = 0x00D6, EM_CHARFROMPOS = 0x00D7,
};
enum : UINT { EN_ERRSPACE = 0x0500, EN_HSCROLL = 0x0601, EN_VSCROLL = 0x0602 };

// WM_GETDLGCODE answers.
enum : LRESULT {
    DLGC_WANTARROWS = 0x1, DLGC_WANTTAB = 0x2, DLGC_WANTALLKEYS = 0x4, DLGC_HASSETSEL = 0x8,
    DLGC_WANTCHARS = 0x80,
};

// Keys EDIT answers that the window layer does not name.
enum : uint8_t { VK_APPS = 0x5D, VK_F10 = 0x79 };

// The largest limit EM_SETLIMITTEXT 0 gives: one line, several lines.
constexpr size_t EDIT_MAX_LIMIT_ONE_LINE = 0x7FFFFFFE, EDIT_MAX_LIMIT_MULTILINE = 0xFFFFFFFF;
constexpr size_t EDIT_DEFAULT_LIMIT = 32767;

}  // namespace zun::win
