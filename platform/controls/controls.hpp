// The standard control classes (BUTTON, STATIC, msctls_progress32 ...) as
// system classes of the window layer, drawn by us with cairo and pango, and
// the messages, styles and notifications they answer and send, with Win32's
// names and numbers so the GUI backend's window procedures port as written.
#pragma once
#include <pango/pango-font.h>

#include "platform/window.hpp"

namespace zun::win {

// Registers every control class; call after open() (close() drops classes).
void register_system_controls();

// ---- fonts: an HFONT names a PangoFontDescription kept by the controls ----
using HFONT = uintptr_t;
// A font from a pango description string ("DejaVu Sans Bold 9"), 0 when bad.
HFONT CreateFontFromDescription(std::string_view description);
bool DeleteFont(HFONT font);
// The default GUI font: the desktop's family at its size ("sans-serif" 9 pt).
HFONT GetDefaultGuiFont();
// The description a handle names (the default font's for 0 or a stale one).
const PangoFontDescription* font_description(HFONT font);

// ---- a device-context record over cairo (WM_CTLCOLOR* answers) ----------
enum : int { TRANSPARENT = 1, OPAQUE = 2 };
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
COLORREF SetDCBrushColor(HDC dc, COLORREF color);
COLORREF GetDCBrushColor(HDC dc);
// The DC brush: the brush whose colour is the one SetDCBrushColor gave.
constexpr HBRUSH DC_BRUSH_HANDLE = 0x7FFFFFFF;
HBRUSH GetDCBrush();

// ---- messages ---------------------------------------------------------------
enum : UINT {
    WM_GETTEXTLENGTH = 0x000E, WM_SETFONT = 0x0030, WM_GETFONT = 0x0031,
    WM_NOTIFY = 0x004E, WM_CONTEXTMENU = 0x007B, WM_GETDLGCODE = 0x0087,
    WM_COMMAND = 0x0111, WM_CTLCOLOREDIT = 0x0133, WM_CTLCOLORLISTBOX = 0x0134,
    WM_CTLCOLORBTN = 0x0135, WM_CTLCOLORSTATIC = 0x0138, WM_CTLCOLORSCROLLBAR = 0x0137,
    WM_CUT = 0x0300, WM_COPY = 0x0301, WM_PASTE = 0x0302, WM_CLEAR = 0x0303, WM_UNDO = 0x0304,
};

struct NMHDR {
    HWND hwndFrom;
    uintptr_t idFrom;
    UINT code;
};
struct NMCUSTOMDRAW {
    NMHDR hdr;
    uint32_t dwDrawStage;
    HDC hdc;
    RECT rc;
    uintptr_t dwItemSpec;
    UINT uItemState;
    LPARAM lItemlParam;
};
enum : UINT { NM_CUSTOMDRAW = static_cast<UINT>(-12) };
constexpr uint32_t CDDS_PREPAINT = 0x1, CDDS_POSTPAINT = 0x2;
enum : LRESULT { CDRF_DODEFAULT = 0x0, CDRF_SKIPDEFAULT = 0x4 };
constexpr UINT CDIS_SELECTED = 0x1, CDIS_DISABLED = 0x4, CDIS_CHECKED = 0x8, CDIS_FOCUS = 0x10,
               CDIS_HOT = 0x40, CDIS_INDETERMINATE = 0x100;

constexpr WPARAM MAKEWPARAM(uint32_t lo, uint32_t hi) { return (lo & 0xFFFF) | ((hi & 0xFFFF) << 16); }

// Extended styles
constexpr uint32_t WS_EX_CLIENTEDGE = 0x200, WS_GROUP = 0x00020000, WS_TABSTOP = 0x00010000;

// Further system colours the controls draw with (GetSysColor's indices).
enum : int {
    COLOR_HIGHLIGHT = 13, COLOR_HIGHLIGHTTEXT = 14, COLOR_BTNSHADOW = 16,
    COLOR_GRAYTEXT = 17, COLOR_BTNHIGHLIGHT = 20, COLOR_3DDKSHADOW = 21, COLOR_3DLIGHT = 22,
    COLOR_HOTLIGHT = 26,
};

// ---- BUTTON -----------------------------------------------------------------
constexpr uint32_t BS_PUSHBUTTON = 0x0, BS_DEFPUSHBUTTON = 0x1, BS_CHECKBOX = 0x2, BS_AUTOCHECKBOX = 0x3,
    BS_RADIOBUTTON = 0x4, BS_3STATE = 0x5, BS_AUTO3STATE = 0x6, BS_GROUPBOX = 0x7,
    BS_AUTORADIOBUTTON = 0x9, BS_TYPEMASK = 0xF, BS_LEFTTEXT = 0x20, BS_BITMAP = 0x80,
    BS_LEFT = 0x100, BS_RIGHT = 0x200, BS_CENTER = 0x300, BS_TOP = 0x400, BS_BOTTOM = 0x800,
    BS_VCENTER = 0xC00, BS_PUSHLIKE = 0x1000, BS_MULTILINE = 0x2000, BS_NOTIFY = 0x4000,
    BS_FLAT = 0x8000;
enum : UINT {
    BM_GETCHECK = 0x00F0, BM_SETCHECK = 0x00F1, BM_GETSTATE = 0x00F2, BM_SETSTATE = 0x00F3,
    BM_SETSTYLE = 0x00F4, BM_CLICK = 0x00F5,
};
constexpr LRESULT BST_UNCHECKED = 0x0, BST_CHECKED = 0x1, BST_INDETERMINATE = 0x2, BST_PUSHED = 0x4,
                  BST_FOCUS = 0x8, BST_HOT = 0x200;
enum : UINT {
    BN_CLICKED = 0, BN_PAINT = 1, BN_HILITE = 2, BN_UNHILITE = 3, BN_DISABLE = 4,
    BN_DOUBLECLICKED = 5, BN_SETFOCUS = 6, BN_KILLFOCUS = 7,
};

// ---- STATIC -----------------------------------------------------------------
constexpr uint32_t SS_LEFT = 0x0, SS_CENTER = 0x1, SS_RIGHT = 0x2, SS_TYPEMASK = 0x1F, SS_NOTIFY = 0x100,
    SS_CENTERIMAGE = 0x200, SS_NOPREFIX = 0x80, SS_ENDELLIPSIS = 0x4000;

// ---- msctls_progress32 ------------------------------------------------------
constexpr uint32_t PBS_SMOOTH = 0x1, PBS_VERTICAL = 0x4;
enum : UINT {
    PBM_SETRANGE = WM_USER + 1, PBM_SETPOS = WM_USER + 2, PBM_DELTAPOS = WM_USER + 3,
    PBM_SETSTEP = WM_USER + 4, PBM_STEPIT = WM_USER + 5, PBM_SETRANGE32 = WM_USER + 6,
    PBM_GETRANGE = WM_USER + 7, PBM_GETPOS = WM_USER + 8,
};
struct PBRANGE {
    int32_t iLow, iHigh;
};

// ---- SCROLLBAR --------------------------------------------------------------
constexpr uint32_t SBS_HORZ = 0x0, SBS_VERT = 0x1;
enum : UINT {
    SBM_SETPOS = 0x00E0, SBM_GETPOS = 0x00E1, SBM_SETRANGE = 0x00E2, SBM_GETRANGE = 0x00E3,
    SBM_ENABLE_ARROWS = 0x00E4, SBM_SETRANGEREDRAW = 0x00E6, SBM_SETSCROLLINFO = 0x00E9,
    SBM_GETSCROLLINFO = 0x00EA,
};
enum : uint8_t { VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_INSERT = 0x2D };

// ---- EDIT (one line) -----------------------------------------------------------
constexpr uint32_t ES_LEFT = 0x0, ES_CENTER = 0x1, ES_RIGHT = 0x2, ES_MULTILINE = 0x4, ES_PASSWORD = 0x20,
                   ES_AUTOVSCROLL = 0x40, ES_AUTOHSCROLL = 0x80, ES_NOHIDESEL = 0x100, ES_READONLY = 0x800;
enum : UINT {
    EM_GETSEL = 0x00B0, EM_SETSEL = 0x00B1, EM_SCROLLCARET = 0x00B7, EM_REPLACESEL = 0x00C2,
    EM_LIMITTEXT = 0x00C5, EM_SETLIMITTEXT = 0x00C5, EM_CANUNDO = 0x00C6, EM_UNDO = 0x00C7,
    EM_SETTABSTOPS = 0x00CB, EM_SETPASSWORDCHAR = 0x00CC, EM_EMPTYUNDOBUFFER = 0x00CD,
    EM_SETREADONLY = 0x00CF, EM_GETPASSWORDCHAR = 0x00D2, EM_GETLIMITTEXT = 0x00D5,
    EM_SETCUEBANNER = 0x1501, EM_GETCUEBANNER = 0x1502,
};
enum : UINT {
    EN_SETFOCUS = 0x0100, EN_KILLFOCUS = 0x0200, EN_CHANGE = 0x0300, EN_UPDATE = 0x0400,
    EN_MAXTEXT = 0x0501,
};
// Positions count characters (code points). Strings travel as UTF-8 char*.
// The clipboard EDIT's keys use: a process-local stand-in until a service
// installs its own reader and writer.
using ClipboardReader = bool (*)(std::string* text);
using ClipboardWriter = bool (*)(std::string_view text);
void set_edit_clipboard(ClipboardReader reader, ClipboardWriter writer);
bool edit_clipboard_read(std::string* text);
bool edit_clipboard_write(std::string_view text);
// EDIT's standard context menu (Undo, Cut, Copy, Paste, Delete, Select All),
// shown on WM_CONTEXTMENU; installed by the menus, nothing until then.
using EditContextMenu = void (*)(HWND edit, POINT screen);
void set_edit_context_menu(EditContextMenu show);
EditContextMenu edit_context_menu();

constexpr const char* WC_BUTTON = "BUTTON";
constexpr const char* WC_STATIC = "STATIC";
constexpr const char* PROGRESS_CLASS = "msctls_progress32";
constexpr const char* WC_SCROLLBAR = "SCROLLBAR";
constexpr const char* WC_EDIT = "EDIT";

}  // namespace zun::win
