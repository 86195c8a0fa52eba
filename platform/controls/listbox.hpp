// ListBox: a list of text rows with one or many selected, with Win32's
// styles, messages, answers and notifications. Strings travel as UTF-8
// char*; lengths count bytes, as WM_GETTEXTLENGTH does here.
#pragma once
#include "platform/controls/controls.hpp"

namespace zun::win {

constexpr const char* WC_LISTBOX = "ListBox";

constexpr uint32_t LBS_NOTIFY = 0x1, LBS_SORT = 0x2, LBS_MULTIPLESEL = 0x8, LBS_HASSTRINGS = 0x40,
                   LBS_NOINTEGRALHEIGHT = 0x100, LBS_EXTENDEDSEL = 0x800, LBS_DISABLENOSCROLL = 0x1000,
                   LBS_NOSEL = 0x4000;

enum : UINT {
    LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182,
    LB_SELITEMRANGEEX = 0x0183, LB_RESETCONTENT = 0x0184, LB_SETSEL = 0x0185, LB_SETCURSEL = 0x0186,
    LB_GETSEL = 0x0187, LB_GETCURSEL = 0x0188, LB_GETTEXT = 0x0189, LB_GETTEXTLEN = 0x018A,
    LB_GETCOUNT = 0x018B, LB_SELECTSTRING = 0x018C, LB_GETTOPINDEX = 0x018E, LB_FINDSTRING = 0x018F,
    LB_GETSELCOUNT = 0x0190, LB_GETSELITEMS = 0x0191, LB_GETHORIZONTALEXTENT = 0x0193,
    LB_SETHORIZONTALEXTENT = 0x0194, LB_SETTOPINDEX = 0x0197, LB_GETITEMRECT = 0x0198,
    LB_GETITEMDATA = 0x0199, LB_SETITEMDATA = 0x019A, LB_SETANCHORINDEX = 0x019C,
    LB_GETANCHORINDEX = 0x019D, LB_SETCARETINDEX = 0x019E, LB_GETCARETINDEX = 0x019F,
    LB_SETITEMHEIGHT = 0x01A0, LB_GETITEMHEIGHT = 0x01A1, LB_FINDSTRINGEXACT = 0x01A2,
    LB_INITSTORAGE = 0x01A8, LB_ITEMFROMPOINT = 0x01A9,
};
constexpr LRESULT LB_OKAY = 0, LB_ERR = -1;

enum : UINT { LBN_SELCHANGE = 1, LBN_DBLCLK = 2, LBN_SELCANCEL = 3, LBN_SETFOCUS = 4, LBN_KILLFOCUS = 5 };

// LB_ITEMFROMPOINT's answer: the nearest item in the low word; the high word
// is 1 when the point is not on an item (outside the client area or below the
// last row), 0 when it is.
constexpr int item_of(LRESULT item_from_point) { return static_cast<int>(item_from_point & 0xFFFF); }
constexpr bool off_items(LRESULT item_from_point) { return ((item_from_point >> 16) & 0xFFFF) != 0; }

namespace controls {
void register_listbox();
}

}  // namespace zun::win
