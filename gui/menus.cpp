#include "gui/menus.hpp"

#include <string>

#include "core/support.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/series/block.hpp"
#include "core/symbols.hpp"
#include "gui/backend.hpp"
#include "gui/event.hpp"
#include "gui/face.hpp"

namespace zun::gui::menus {

using namespace win;

namespace {

// The last WM_MENUSELECT: item (signed) and menu.
int32_t g_item = -1;
HMENU g_menu = 0;
// The open context menu: the window it was opened for, and the menu built.
HWND g_context_window = 0;
HMENU g_context_menu = 0;

std::string utf8_of(const Cell* s) {
    Cell copy = *s;
    int32_t limit = -1;
    const char* t = unicode::to_utf8(&copy, &limit);
    return t ? std::string(t) : std::string();
}

bool is_word(const Cell* v, const char* name) {
    return v->is(TYPE_WORD) && symbol::canonical(v->data2) == symbol::canonical(symbol::make(name));
}

void insert(HMENU menu, MENUITEMINFO& mi) {
    const int n = GetMenuItemCount(menu);
    mi.fMask |= MIIM_ID | MIIM_DATA;
    mi.wID = uint32_t(n);
    InsertMenuItem(menu, uint32_t(n), true, &mi);
}

// Blocks nest below the first call: the depth keeps a block holding itself
// from recursing without end.
void fill(Cell blk, HMENU menu, int depth) {
    if (depth > MAX_DEPTH) support::fire_error(ErrorId::internal_stack_overflow);
    const int32_t n = block::length_from_head(&blk);
    for (int32_t i = 0; i < n && GetMenuItemCount(menu) < int(MAX_ITEMS); ++i) {
        // the conversions below may allocate: take the cells again each turn
        const Cell v = block::head_cell(&blk)[i];
        if (is_word(&v, "---")) {
            MENUITEMINFO mi;
            mi.fMask = MIIM_FTYPE;
            mi.fType = MFT_SEPARATOR;
            mi.dwItemData = uint32_t(-1);
            insert(menu, mi);
            continue;
        }
        if (!v.is(TYPE_STRING)) continue;
        MENUITEMINFO mi;
        mi.fMask = MIIM_STRING;
        mi.text = utf8_of(&v);
        mi.dwItemData = uint32_t(-1);
        const Cell next = i + 1 < n ? block::head_cell(&blk)[i + 1] : make_cell(TYPE_NONE);
        if (next.is(TYPE_BLOCK)) {
            HMENU sub = CreatePopupMenu();
            mi.fMask |= MIIM_SUBMENU;
            mi.hSubMenu = sub;
            insert(menu, mi);  // first, so the submenu goes with the menu on an error
            fill(next, sub, depth + 1);
            ++i;
        } else {
            // `---` right after an item is still a separator, never its word
            if (next.is(TYPE_WORD) && !is_word(&next, "---")) {
                mi.dwItemData = next.data2;
                ++i;
            }
            insert(menu, mi);
        }
    }
}

}  // namespace

HMENU build_menu(const Cell* block, HMENU menu) {
    if (!block->is(TYPE_BLOCK)) return 0;
    try {
        fill(*block, menu, 0);
    } catch (...) {
        DestroyMenu(menu);
        throw;
    }
    return menu;
}

bool menu_bar_q(const Cell* block, const Cell* face) {
    if (!block->is(TYPE_BLOCK) || block::length_from_head(block) == 0) return false;
    if (!face::type_is(face, "window")) return false;
    Cell b = *block;
    return !is_word(block::head_cell(&b), "popup");
}

HMENU build_bar(const Cell* face) {
    const Cell menu = *face::facet(face, face::MENU);
    return menu_bar_q(&menu, face) ? build_menu(&menu, CreateMenu()) : 0;
}

void set_menu_bar(HWND hwnd, const Cell* face) {
    if (HMENU old = GetMenu(hwnd)) {
        SetMenu(hwnd, 0);
        DestroyMenu(old);
    }
    SetMenu(hwnd, build_bar(face));
}

void clear_context_menu() {
    if (g_context_menu) DestroyMenu(g_context_menu);
    g_context_menu = 0;
    g_context_window = 0;
}

bool show_context_menu(const event::Message& msg, int32_t x, int32_t y) {
    g_item = -1;
    g_menu = 0;
    HWND hwnd = msg.window;
    Cell f;
    if (!face_of_window(hwnd, &f)) return false;
    const Cell menu = *face::facet(&f, face::MENU);
    if (!menu.is(TYPE_BLOCK) || menu_bar_q(&menu, &f)) return false;
    HWND owner = GetParent(hwnd);
    if (!owner) owner = hwnd;
    clear_context_menu();
    g_context_menu = build_menu(&menu, CreatePopupMenu());
    g_context_window = hwnd;
    TrackPopupMenuEx(g_context_menu, TPM_LEFTBUTTON, x, y, owner, nullptr);
    return true;
}

int32_t menu_item_data(HMENU menu, uint32_t position) {
    MENUITEMINFO mi;
    mi.fMask = MIIM_DATA;
    if (!GetMenuItemInfo(menu, position, true, &mi)) return -1;
    return int32_t(uint32_t(mi.dwItemData));
}

namespace {

// gui/menu-command: the recorded item's word as a `menu` event of the
// context menu's window (or this one), then the context menu goes.
void menu_command(HWND hwnd) {
    const int32_t data = menu_item_data(g_menu, uint32_t(g_item));
    const HWND target = IsWindow(g_context_window) ? g_context_window : hwnd;
    const HMENU built = g_context_menu;
    g_context_menu = 0;
    g_context_window = 0;
    report(target, event::MENU, uint32_t(data), 0, false);
    if (built) DestroyMenu(built);
}

}  // namespace

bool menu_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_MENUSELECT:
            if (wp != MENU_CLOSED) {
                g_item = int16_t(wp & 0xFFFF);
                g_menu = HMENU(lp);
            }
            return true;
        case WM_ENTERMENULOOP:
            if (wp == 0) clear_context_menu();  // a menu bar
            return false;
        case WM_COMMAND:
            if (lp != 0 || (wp & 0xFFFF) >= MAX_ITEMS || !g_menu) return false;
            menu_command(hwnd);
            return true;
        default: return false;
    }
}

}  // namespace zun::gui::menus
