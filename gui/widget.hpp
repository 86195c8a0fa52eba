// Control faces: the control superclasses and their filters, control faces
// made and changed, the notifications controls send their parents, and
// reading a control's state back into its face. The backend's window
// procedures, make-view and update-view call in here.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "datatypes/function.hpp"
#include "gui/event_os.hpp"
#include "platform/window.hpp"

namespace zun::gui::widget {

// The standard control classes and the Zun* superclasses over them.
void register_classes();

// A face type made here (button ... calendar, group-box).
bool made_here(const Cell* face);
// gui/create-widget for those types: the new window, 0 when the control
// class is missing (a line on the console says so).
win::HWND create(const Cell* face, win::HWND parent);
// A panel whose parent is a tab-panel takes the tab's display area first.
void fit_panel_to_tab(const Cell* face, win::HWND tab);
// gui/relink-face of a page into a tab-panel.
void link_tab_page(win::HWND tab, const Cell* page);

// WM_COMMAND, WM_NOTIFY, WM_HSCROLL/WM_VSCROLL and WM_CTLCOLOR* of a face's
// window: true when answered, the answer in *out.
bool parent_message(win::HWND hwnd, win::UINT msg, win::WPARAM wp, win::LPARAM lp, win::LRESULT* out);

// The per-type rows of a face's pending changes (bit n: facet n), after the
// window itself was moved, sized, shown and enabled.
void apply_changes(win::HWND hwnd, const Cell* face, uint32_t bits);

// The face's font on its control (a group-box's caption too), as after a
// `font` change or a DPI or theme change.
void set_control_font(win::HWND hwnd, const Cell* face);

// `change` with flags and `select` of a drop-down read the text back before
// the event is made.
void before_dispatch(const event::Message& msg, uint32_t flags, uint32_t type);

// The 0-based list item under a screen point, -1 when none.
int32_t list_item_at(uint32_t hwnd, int32_t x, int32_t y);

// Platform routines: update-text and on-change-facet.
routine::MachineResult update_text_routine(Cell* args);
routine::MachineResult on_change_facet_routine(Cell* args);

// Context-menu commands of a drop-down's edit part go to the menus.
using MenuCommand = void (*)(win::HWND hwnd, uint32_t item);
void set_menu_command(MenuCommand handler);

}  // namespace zun::gui::widget
