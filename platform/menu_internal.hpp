// What menu.cpp and menu_paint.cpp share: the menu records and the layout
// of popups and bars. Not for other modules.
#pragma once
#include <string>
#include <vector>

#include "platform/menu.hpp"

namespace zun::win::menus {

struct Item {
    UINT type = MFT_STRING;
    UINT state = MFS_ENABLED;
    UINT id = 0;
    HMENU sub = 0;
    uintptr_t data = 0;
    std::string text;
    bool separator() const { return (type & MFT_SEPARATOR) != 0; }
    bool grayed() const { return (state & MFS_GRAYED) != 0; }
};

struct Menu {
    uint16_t generation = 0;
    bool live = false;
    bool bar = false;
    std::vector<Item> items;
};

Menu* get(HMENU menu);  // null for 0 and for a stale handle

// The label and the shortcut column of an item's text (split at its tab).
std::string_view label_of(const Item& item);
std::string_view shortcut_of(const Item& item);
// The character an item's `&` names, lowered; 0 when none.
char32_t mnemonic_of(const Item& item);

// A popup's geometry in pixels for the DPI of hwnd (any window on the
// target monitor): items top to bottom, each its own row.
struct PopupLayout {
    SIZE size;
    std::vector<RECT> rows;
    int32_t label_x = 0;     // where labels start
    int32_t shortcut_r = 0;  // where shortcuts end (right-aligned)
};
PopupLayout layout_popup(HWND dpi_window, const Menu& menu);
void paint_popup(HDC dc, HWND hwnd, const Menu& menu, int hot);

// A menu bar: its band's height, and its items left to right in band
// coordinates (the band's top left at 0, 0).
int32_t bar_height(HWND hwnd);
std::vector<RECT> layout_bar(HWND hwnd, const Menu& menu);
// Draws the band of width pixels with its top left at 0, 0.
void paint_bar(HDC dc, HWND hwnd, const Menu& menu, int hot, int32_t width);

}  // namespace zun::win::menus
