// Faces' menus: a `menu` block built into a menu (a window's menu bar, or a
// context menu opened by the right button), the selection the menu loop
// reports, and the chosen item turned into a `menu` event.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "gui/event_os.hpp"
#include "platform/menu.hpp"

namespace zun::gui::menus {

// Deeper submenus raise internal stack-overflow (a block holding itself).
constexpr int MAX_DEPTH = 64;
// Item ids are positions below this: WM_COMMAND tells menus from controls so.
constexpr uint32_t MAX_ITEMS = 1000;

// gui/build-menu: fills menu from a menu block and answers it; 0 when the
// value is not a block.
win::HMENU build_menu(const Cell* block, win::HMENU menu);
// gui/menu-bar?: a window's block that does not start with `popup`.
bool menu_bar_q(const Cell* block, const Cell* face);
// A new menu bar built from a window face's `menu`, 0 when it has none.
win::HMENU build_bar(const Cell* face);
// The `menu` facet of a window made or changed: the old bar destroyed, a
// new one built and set when the facet is a menu bar.
void set_menu_bar(win::HWND hwnd, const Cell* face);
// gui/show-context-menu on a right press at a screen point: true when shown.
bool show_context_menu(const event::Message& msg, int32_t x, int32_t y);
// The context-menu state cleared (every left, double and right press).
void clear_context_menu();
// gui/menu-item-data: -1 when the menu or position names no item.
int32_t menu_item_data(win::HMENU menu, uint32_t position);
// The window procedures' menu rows: WM_MENUSELECT, WM_ENTERMENULOOP and the
// menu commands of WM_COMMAND. True when the message was a menu one.
bool menu_message(win::HWND hwnd, win::UINT msg, win::WPARAM wp, win::LPARAM lp);

}  // namespace zun::gui::menus
