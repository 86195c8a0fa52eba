// Messages, styles, notification codes and structs of the list, combo,
// trackbar, tab and calendar classes and of button image lists, with Win32's
// names and values. The control classes' own headers define them too; these
// copies let the widget code build before those classes exist and fold into
// theirs once both are in.
#pragma once
#include <cstdint>

#include "platform/controls/controls.hpp"

namespace zun::win::widget32 {

constexpr UINT WM_MENUSELECT = 0x011F;

// ListBox
constexpr uint32_t LBS_NOTIFY = 0x1, LBS_NOINTEGRALHEIGHT = 0x100;
enum : UINT {
    LB_ADDSTRING = 0x0180, LB_INSERTSTRING = 0x0181, LB_DELETESTRING = 0x0182,
    LB_RESETCONTENT = 0x0184, LB_SETCURSEL = 0x0186, LB_GETCURSEL = 0x0188, LB_GETTEXT = 0x0189,
    LB_GETTEXTLEN = 0x018A, LB_GETCOUNT = 0x018B, LB_SETHORIZONTALEXTENT = 0x0194,
    LB_ITEMFROMPOINT = 0x01A9,
};
enum : UINT { LBN_SELCHANGE = 1, LBN_DBLCLK = 2, LBN_SETFOCUS = 4, LBN_KILLFOCUS = 5 };
constexpr LRESULT LB_ERR = -1;

// ComboBox
constexpr uint32_t CBS_DROPDOWN = 0x2, CBS_DROPDOWNLIST = 0x3, CBS_AUTOHSCROLL = 0x40,
                   CBS_HASSTRINGS = 0x200;
enum : UINT {
    CB_ADDSTRING = 0x0143, CB_DELETESTRING = 0x0144, CB_GETCOUNT = 0x0146, CB_GETCURSEL = 0x0147,
    CB_GETLBTEXT = 0x0148, CB_GETLBTEXTLEN = 0x0149, CB_INSERTSTRING = 0x014A,
    CB_RESETCONTENT = 0x014B, CB_SETCURSEL = 0x014E,
};
enum : UINT { CBN_SELCHANGE = 1, CBN_SETFOCUS = 3, CBN_KILLFOCUS = 4, CBN_EDITCHANGE = 5 };
constexpr LRESULT CB_ERR = -1;

// msctls_trackbar32
constexpr uint32_t TBS_VERT = 0x2, TBS_DOWNISLEFT = 0x400;
enum : UINT {
    TBM_GETPOS = WM_USER, TBM_SETPOS = WM_USER + 5, TBM_SETRANGE = WM_USER + 6,
    TBM_SETRANGEMAX = WM_USER + 8,
};
enum : WPARAM { TB_THUMBPOSITION = 4, TB_THUMBTRACK = 5, TB_ENDTRACK = 8 };

// SysTabControl32; strings travel as UTF-8, as everywhere in the layer.
enum : UINT {
    TCM_GETITEMCOUNT = 0x1304, TCM_DELETEITEM = 0x1308, TCM_DELETEALLITEMS = 0x1309,
    TCM_GETCURSEL = 0x130B, TCM_SETCURSEL = 0x130C, TCM_ADJUSTRECT = 0x1328,
    TCM_SETCURFOCUS = 0x1330, TCM_INSERTITEMW = 0x133E, TCM_HITTEST = 0x130D,
};
struct TCHITTESTINFO {
    POINT pt;
    UINT flags = 0;
};
constexpr UINT TCIF_TEXT = 0x1;
struct TCITEMW {
    UINT mask = 0;
    uint32_t dwState = 0, dwStateMask = 0;
    char* pszText = nullptr;
    int cchTextMax = 0;
    int iImage = -1;
    LPARAM lParam = 0;
};
enum : UINT { TCN_SELCHANGE = static_cast<UINT>(-551), TCN_SELCHANGING = static_cast<UINT>(-552) };

// SysMonthCal32
constexpr uint32_t MCS_NOTODAY = 0x10, MCS_SHORTDAYSOFWEEK = 0x80, MCS_NOSELCHANGEONNAV = 0x100;
enum : UINT { MCM_GETCURSEL = 0x1001, MCM_SETCURSEL = 0x1002, MCM_SETCOLOR = 0x100A };
constexpr WPARAM MCSC_BACKGROUND = 0;
enum : UINT { MCN_SELCHANGE = static_cast<UINT>(-749) };
struct SYSTEMTIME {
    uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

constexpr const char* WC_LISTBOX = "ListBox";
constexpr const char* WC_COMBOBOX = "ComboBox";
constexpr const char* TRACKBAR_CLASS = "msctls_trackbar32";
constexpr const char* WC_TABCONTROL = "SysTabControl32";
constexpr const char* MONTHCAL_CLASS = "SysMonthCal32";

}  // namespace zun::win::widget32
