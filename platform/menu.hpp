// Menus of the window layer: menu handles holding items (text with `&`
// mnemonics and a shortcut column after a tab, submenus, separators, ids,
// item data), popup menus tracked in a nested modal loop, and a top-level's
// menu bar drawn in its menu band.
//
// A popup menu is a WS_POPUP top-level with WS_EX_TOOLWINDOW (an
// override-redirect X window named "zun-popup") holding the pointer and
// keyboard grabs while it is open. The owner hears WM_ENTERMENULOOP,
// WM_INITMENUPOPUP, WM_MENUSELECT at every highlight and with 0xFFFF0000 when
// the menu closes, WM_EXITMENULOOP, then a posted WM_COMMAND (lParam 0) with
// the chosen item's id.
#pragma once
#include <string>

#include "platform/controls/controls.hpp"

namespace zun::win {

using HMENU = uint32_t;

enum : UINT {
    WM_INITMENUPOPUP = 0x0117, WM_MENUSELECT = 0x011F, WM_ENTERIDLE = 0x0121,
    WM_ENTERMENULOOP = 0x0211, WM_EXITMENULOOP = 0x0212,
};
// WM_ENTERIDLE's wParam: sent to the owner when the menu loop would wait.
constexpr WPARAM MSGF_MENU = 2;
enum : UINT {
    MIIM_STATE = 0x1, MIIM_ID = 0x2, MIIM_SUBMENU = 0x4, MIIM_DATA = 0x20, MIIM_STRING = 0x40,
    MIIM_FTYPE = 0x100,
};
enum : UINT { MFT_STRING = 0x0, MFT_SEPARATOR = 0x800 };
enum : UINT { MFS_ENABLED = 0x0, MFS_GRAYED = 0x3, MFS_DISABLED = 0x3, MFS_CHECKED = 0x8 };
// WM_MENUSELECT's flags (high word of wParam).
enum : UINT { MF_GRAYED = 0x1, MF_DISABLED = 0x2, MF_POPUP = 0x10, MF_HILITE = 0x80,
              MF_SEPARATOR = 0x800, MF_MOUSESELECT = 0x8000 };
enum : UINT { TPM_LEFTBUTTON = 0x0, TPM_RIGHTBUTTON = 0x2, TPM_NONOTIFY = 0x80, TPM_RETURNCMD = 0x100 };
constexpr WPARAM MENU_CLOSED = 0xFFFF0000;

// The subset of Win32's MENUITEMINFO the layer keeps; text is UTF-8.
struct MENUITEMINFO {
    UINT fMask = 0;
    UINT fType = MFT_STRING;
    UINT fState = MFS_ENABLED;
    UINT wID = 0;
    HMENU hSubMenu = 0;
    uintptr_t dwItemData = 0;
    std::string text;
};

HMENU CreateMenu();       // a menu bar
HMENU CreatePopupMenu();  // a drop-down or context menu
// Destroys the menu and its submenus.
bool DestroyMenu(HMENU menu);
bool IsMenu(HMENU menu);
// Inserts before item (an id, or a position when by_position); a position
// past the end appends.
bool InsertMenuItem(HMENU menu, UINT item, bool by_position, const MENUITEMINFO* info);
// Fills what info->fMask asks for.
bool GetMenuItemInfo(HMENU menu, UINT item, bool by_position, MENUITEMINFO* info);
bool SetMenuItemInfo(HMENU menu, UINT item, bool by_position, const MENUITEMINFO* info);
int GetMenuItemCount(HMENU menu);  // -1 for a bad handle

// The menu bar of a top-level, shown in its menu band above the client area.
bool SetMenu(HWND hwnd, HMENU menu);
HMENU GetMenu(HWND hwnd);
bool DrawMenuBar(HWND hwnd);
// The band's height in pixels at the window's DPI (0 without a menu bar).
int menu_band_height(HWND hwnd);

// Tracks a popup menu at a screen point in a nested loop. Answers the chosen
// id with TPM_RETURNCMD (0 for none), else whether the menu was shown.
int TrackPopupMenuEx(HMENU menu, UINT flags, int32_t x, int32_t y, HWND owner, const RECT* exclude);
// The screen rectangle of an item (by position) of hwnd's menu bar or of an
// open popup.
bool GetMenuItemRect(HWND hwnd, HMENU menu, UINT item, RECT* out);
// Closes the open menu, as Escape would.
bool EndMenu();
// The popup window of the open menu's level (0 the first), 0 when none.
HWND menu_popup_window(size_t level);

// Installs EDIT's standard context menu (set_edit_context_menu).
void install_edit_context_menu();

}  // namespace zun::win
