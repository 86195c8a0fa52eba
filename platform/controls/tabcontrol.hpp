// SysTabControl32: one row of tabs over a framed display area. A click on a
// tab, or Left/Right while focused, asks the parent with TCN_SELCHANGING (a
// non-zero answer refuses) and tells it TCN_SELCHANGE; the messages select
// silently. Arrow buttons scroll the row when it is wider than the control.
#pragma once
#include "platform/controls/controls.hpp"

namespace zun::win {

constexpr const char* WC_TABCONTROL = "SysTabControl32";

constexpr uint32_t TCS_FOCUSNEVER = 0x8000;

enum : UINT {
    TCM_GETITEMCOUNT = 0x1304, TCM_DELETEITEM = 0x1308, TCM_DELETEALLITEMS = 0x1309,
    TCM_GETITEMRECT = 0x130A, TCM_GETCURSEL = 0x130B, TCM_SETCURSEL = 0x130C, TCM_HITTEST = 0x130D,
    TCM_ADJUSTRECT = 0x1328, TCM_GETROWCOUNT = 0x132C, TCM_GETCURFOCUS = 0x132F,
    TCM_SETCURFOCUS = 0x1330, TCM_GETITEMW = 0x133C, TCM_SETITEMW = 0x133D, TCM_INSERTITEMW = 0x133E,
};
enum : UINT { TCIF_TEXT = 0x1, TCIF_IMAGE = 0x2, TCIF_PARAM = 0x8, TCIF_STATE = 0x10 };
enum : UINT { TCHT_NOWHERE = 0x1, TCHT_ONITEMICON = 0x2, TCHT_ONITEMLABEL = 0x4, TCHT_ONITEM = 0x6 };
enum : UINT {
    TCN_KEYDOWN = static_cast<UINT>(-550), TCN_SELCHANGE = static_cast<UINT>(-551),
    TCN_SELCHANGING = static_cast<UINT>(-552),
};

// A tab's fields; the text travels as UTF-8. TCM_GETITEMW copies at most
// cchTextMax - 1 bytes (whole characters) and a NUL into pszText.
struct TCITEMW {
    UINT mask = 0;
    uint32_t dwState = 0, dwStateMask = 0;
    char* pszText = nullptr;
    int cchTextMax = 0;
    int iImage = -1;
    LPARAM lParam = 0;
};
struct TCHITTESTINFO {
    POINT pt;
    UINT flags = 0;
};

}  // namespace zun::win
