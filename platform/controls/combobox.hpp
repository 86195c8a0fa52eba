// ComboBox: a face showing one item (CBS_DROPDOWNLIST) or an EDIT child to
// type into (CBS_DROPDOWN), and a drop list opened under it as a popup
// top-level of class ComboLBox. Win32's styles, messages, answers and
// notification codes; strings travel as UTF-8 char*.
#pragma once
#include "platform/controls/controls.hpp"

namespace zun::win {

constexpr const char* WC_COMBOBOX = "ComboBox";
// The drop list's class: a list box shown as a popup while the list is open.
constexpr const char* WC_COMBOLBOX = "ComboLBox";

constexpr uint32_t CBS_SIMPLE = 0x1, CBS_DROPDOWN = 0x2, CBS_DROPDOWNLIST = 0x3, CBS_TYPEMASK = 0x3,
                   CBS_AUTOHSCROLL = 0x40, CBS_SORT = 0x100, CBS_HASSTRINGS = 0x200,
                   CBS_NOINTEGRALHEIGHT = 0x400, CBS_DISABLENOSCROLL = 0x800;

enum : UINT {
    CB_GETEDITSEL = 0x0140, CB_LIMITTEXT = 0x0141, CB_SETEDITSEL = 0x0142, CB_ADDSTRING = 0x0143,
    CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147, CB_GETLBTEXT = 0x0148,
    CB_GETLBTEXTLEN = 0x0149, CB_INSERTSTRING = 0x014A, CB_RESETCONTENT = 0x014B, CB_FINDSTRING = 0x014C,
    CB_SELECTSTRING = 0x014D, CB_SETCURSEL = 0x014E, CB_SHOWDROPDOWN = 0x014F, CB_GETITEMDATA = 0x0150,
    CB_SETITEMDATA = 0x0151, CB_GETDROPPEDCONTROLRECT = 0x0152, CB_GETITEMHEIGHT = 0x0154,
    CB_GETDROPPEDSTATE = 0x0157, CB_FINDSTRINGEXACT = 0x0158, CB_GETDROPPEDWIDTH = 0x015F,
    CB_SETDROPPEDWIDTH = 0x0160, CB_INITSTORAGE = 0x0161, CB_SETMINVISIBLE = 0x1701, CB_GETMINVISIBLE = 0x1702,
};
constexpr LRESULT CB_OKAY = 0, CB_ERR = -1;

enum : UINT {
    CBN_SELCHANGE = 1, CBN_DBLCLK = 2, CBN_SETFOCUS = 3, CBN_KILLFOCUS = 4, CBN_EDITCHANGE = 5,
    CBN_EDITUPDATE = 6, CBN_DROPDOWN = 7, CBN_CLOSEUP = 8, CBN_SELENDOK = 9, CBN_SELENDCANCEL = 10,
};

constexpr uint8_t VK_F4 = 0x73;

namespace controls {
void register_combobox();
}

}  // namespace zun::win
