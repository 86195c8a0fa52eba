// Menu handles and the menu loop: popups opened in a nested loop that takes
// every pointer and key message while it runs (the popup holds the capture
// and the keyboard), cascading submenus, keys and mnemonics, and the
// notifications the owner hears.
#include <algorithm>
#include <functional>
#include <iterator>

#include "core/case_folding.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/menu_internal.hpp"
#include "platform/window_internal.hpp"

namespace zun::win {

namespace menus {

namespace {
std::vector<Menu> g_menus{1};  // slot 0 names no menu
std::vector<uint16_t> g_free;
}  // namespace

Menu* get(HMENU h) {
    uint32_t slot = h & 0xFFFF;
    if (!slot || slot >= g_menus.size()) return nullptr;
    Menu& m = g_menus[slot];
    return m.live && m.generation == (h >> 16) ? &m : nullptr;
}

namespace {

HMENU make(bool bar) {
    uint32_t slot;
    if (!g_free.empty()) {
        slot = g_free.back();
        g_free.pop_back();
    } else {
        if (g_menus.size() >= 0xFFFF) return 0;
        slot = static_cast<uint32_t>(g_menus.size());
        g_menus.emplace_back();
    }
    Menu& m = g_menus[slot];
    uint16_t gen = static_cast<uint16_t>(m.generation + 1);
    m = Menu{};
    m.generation = gen ? gen : 1;
    m.live = true;
    m.bar = bar;
    return static_cast<HMENU>(m.generation) << 16 | slot;
}

// The item by id (searching submenus too, as Win32) or by position.
Item* find_item(HMENU h, UINT item, bool by_position, int depth = 0) {
    Menu* m = get(h);
    if (!m || depth > 32) return nullptr;
    if (by_position) return item < m->items.size() ? &m->items[item] : nullptr;
    for (Item& it : m->items)
        if (!it.sub && !it.separator() && it.id == item) return &it;
    for (size_t i = 0; i < m->items.size(); ++i)
        if (HMENU sub = get(h)->items[i].sub)
            if (Item* found = find_item(sub, item, false, depth + 1)) return found;
    return nullptr;
}

void apply(Item& it, const MENUITEMINFO& info) {
    if (info.fMask & MIIM_FTYPE) it.type = info.fType;
    if (info.fMask & MIIM_STATE) it.state = info.fState;
    if (info.fMask & MIIM_ID) it.id = info.wID;
    if (info.fMask & MIIM_SUBMENU) it.sub = info.hSubMenu;
    if (info.fMask & MIIM_DATA) it.data = info.dwItemData;
    if (info.fMask & MIIM_STRING) it.text = info.text;
}

}  // namespace
}  // namespace menus

using menus::Item;
using menus::Menu;
using namespace detail;

HMENU CreateMenu() { return menus::make(true); }
HMENU CreatePopupMenu() { return menus::make(false); }
bool IsMenu(HMENU menu) { return menus::get(menu) != nullptr; }

bool DestroyMenu(HMENU h) {
    Menu* m = menus::get(h);
    if (!m) return false;
    std::vector<HMENU> subs;
    for (const Item& it : m->items)
        if (it.sub) subs.push_back(it.sub);
    m->live = false;
    m->items.clear();
    menus::g_free.push_back(static_cast<uint16_t>(h & 0xFFFF));
    for (HMENU sub : subs) DestroyMenu(sub);
    return true;
}

bool InsertMenuItem(HMENU h, UINT item, bool by_position, const MENUITEMINFO* info) {
    Menu* m = menus::get(h);
    if (!m || !info) return false;
    size_t at = m->items.size();
    if (by_position) {
        at = std::min<size_t>(item, m->items.size());
    } else {
        for (size_t i = 0; i < m->items.size(); ++i)
            if (m->items[i].id == item) at = i;
    }
    Item it;
    menus::apply(it, *info);
    m->items.insert(m->items.begin() + static_cast<ptrdiff_t>(at), std::move(it));
    return true;
}

bool GetMenuItemInfo(HMENU h, UINT item, bool by_position, MENUITEMINFO* info) {
    const Item* it = info ? menus::find_item(h, item, by_position) : nullptr;
    if (!it) return false;
    if (info->fMask & MIIM_FTYPE) info->fType = it->type;
    if (info->fMask & MIIM_STATE) info->fState = it->state;
    if (info->fMask & MIIM_ID) info->wID = it->id;
    if (info->fMask & MIIM_SUBMENU) info->hSubMenu = it->sub;
    if (info->fMask & MIIM_DATA) info->dwItemData = it->data;
    if (info->fMask & MIIM_STRING) info->text = it->text;
    return true;
}

bool SetMenuItemInfo(HMENU h, UINT item, bool by_position, const MENUITEMINFO* info) {
    Item* it = info ? menus::find_item(h, item, by_position) : nullptr;
    if (!it) return false;
    menus::apply(*it, *info);
    return true;
}

int GetMenuItemCount(HMENU h) {
    const Menu* m = menus::get(h);
    return m ? static_cast<int>(m->items.size()) : -1;
}

// ---- the menu loop ----------------------------------------------------------

namespace {

constexpr const char* k_popup_class = "ZunMenuPopup";
constexpr WPARAM k_vk_apps = 0x5D;

struct Level {
    HMENU menu = 0;
    HWND popup = 0;
    int hot = -1;
};

struct Loop {
    bool active = false;
    bool done = false;
    bool picked = false;  // ids may be 0
    UINT chosen = 0;
    UINT flags = 0;
    HWND owner = 0;
    std::vector<Level> levels;
    // A menu bar's loop: the owner's bar, its lit item (-1 none).
    HMENU bar = 0;
    int bar_hot = -1;
};
Loop g_loop;

Level* level_of(HWND popup) {
    for (Level& l : g_loop.levels)
        if (l.popup == popup) return &l;
    return nullptr;
}

LRESULT popup_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            Level* l = level_of(hwnd);
            if (dc && l)
                if (const Menu* m = menus::get(l->menu)) menus::paint_popup(dc, hwnd, *m, l->hot);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: return 1;
        case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

void ensure_popup_class() {
    WNDCLASS wc;
    if (GetClassInfo(k_popup_class, &wc)) return;
    wc.lpfnWndProc = popup_proc;
    wc.hCursor = IDC_ARROW;
    wc.lpszClassName = k_popup_class;
    RegisterClass(wc);
}

bool notify() { return !(g_loop.flags & TPM_NONOTIFY); }

// The popup of a menu placed on screen: at the point, or beside the parent
// row (cascading), flipped to the other side at a monitor's edge and shifted
// to stay within its work area.
HWND open_popup(HMENU menu, POINT at, const RECT* beside, const RECT* below) {
    ensure_popup_class();
    HWND p = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE | WS_EX_TOPMOST, k_popup_class, "zun-popup",
                            WS_POPUP, at.x, at.y, 1, 1, g_loop.owner);
    const Menu* m = menus::get(menu);
    if (!p || !m) return p;
    menus::PopupLayout l = menus::layout_popup(p, *m);
    MONITORINFO mi;
    GetMonitorInfo(MonitorFromPoint(at, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT work = mi.rcWork;
    int32_t w = l.size.cx, h = l.size.cy, x = at.x, y = at.y;
    if (beside) {
        x = beside->right;
        y = beside->top - (l.rows.empty() ? 0 : l.rows[0].top);
        if (x + w > work.right) x = beside->left - w;
        if (y + h > work.bottom) y = work.bottom - h;
    } else {
        if (x + w > work.right) x -= w;
        if (y + h > work.bottom) y = below ? below->top - h : y - h;
    }
    x = std::max(std::min(x, work.right - w), work.left);
    y = std::max(std::min(y, work.bottom - h), work.top);
    SetWindowPos(p, 0, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(p, SW_SHOWNA);
    return p;
}

void close_from(size_t n) {
    while (g_loop.levels.size() > n) {
        HWND p = g_loop.levels.back().popup;
        g_loop.levels.pop_back();
        DestroyWindow(p);
    }
}

// The popup that holds the pointer and the keyboard.
// A bar's window holds them throughout: its drop-downs come and go, and
// input queued for a destroyed window would be lost.
HWND grab_holder() {
    if (g_loop.bar) return g_loop.owner;
    return g_loop.levels.empty() ? 0 : g_loop.levels[0].popup;
}

void hold_grabs() {
    State& s = state();
    HWND h = grab_holder();
    if (h && GetCapture() != h) SetCapture(h);
    if (s.key_grab != h) {
        s.key_grab = h;
        if (s.display) s.display->grab_keyboard(h);
    }
}

bool open_level(HMENU menu, POINT at, const RECT* beside, int position, const RECT* below = nullptr) {
    if (notify()) SendMessage(g_loop.owner, WM_INITMENUPOPUP, menu, make_lparam(position, 0));
    if (!menus::get(menu)) return false;
    HWND p = open_popup(menu, at, beside, below);
    if (!p) return false;
    g_loop.levels.push_back({menu, p, -1});
    hold_grabs();
    return true;
}

const Item* item_at(size_t level, int i) {
    if (level >= g_loop.levels.size() || i < 0) return nullptr;
    const Menu* m = menus::get(g_loop.levels[level].menu);
    return m && static_cast<size_t>(i) < m->items.size() ? &m->items[static_cast<size_t>(i)] : nullptr;
}

RECT row_on_screen(size_t level, int i) {
    const Level& l = g_loop.levels[level];
    menus::PopupLayout lay = menus::layout_popup(l.popup, *menus::get(l.menu));
    RECT r = lay.rows[static_cast<size_t>(i)], win;
    GetWindowRect(l.popup, &win);
    return {r.left + win.left, r.top + win.top, r.right + win.left, r.bottom + win.top};
}

void highlight(size_t level, int i, bool mouse) {
    Level& l = g_loop.levels[level];
    const Item* it = item_at(level, i);
    if (!it || l.hot == i) return;
    HMENU sub = it->sub;
    if (g_loop.levels.size() > level + 1 && g_loop.levels[level + 1].menu != sub) close_from(level + 1);
    l.hot = i;
    InvalidateRect(l.popup, nullptr, false);
    if (!notify()) return;
    UINT flags = MF_HILITE;
    if (sub) flags |= MF_POPUP;
    if (it->grayed()) flags |= MF_GRAYED | MF_DISABLED;
    if (mouse) flags |= MF_MOUSESELECT;
    UINT id = sub ? static_cast<UINT>(i) : it->id;
    SendMessage(g_loop.owner, WM_MENUSELECT, MAKEWPARAM(id, flags), static_cast<LPARAM>(l.menu));
}

// Opens the submenu of the level's highlighted item (first item lit when asked).
void open_sub(size_t level, bool light_first);

void step(size_t level, int dir) {
    const Menu* m = menus::get(g_loop.levels[level].menu);
    int n = m ? static_cast<int>(m->items.size()) : 0;
    int i = g_loop.levels[level].hot;
    for (int k = 0; k < n; ++k) {
        i = i < 0 ? (dir > 0 ? 0 : n - 1) : (i + dir + n) % n;
        if (!m->items[static_cast<size_t>(i)].separator()) {
            highlight(level, i, false);
            return;
        }
    }
}

void open_sub(size_t level, bool light_first) {
    const Item* it = item_at(level, g_loop.levels[level].hot);
    if (!it || !it->sub || it->grayed()) return;
    if (g_loop.levels.size() == level + 1) {
        RECT row = row_on_screen(level, g_loop.levels[level].hot);
        if (!open_level(it->sub, {row.right, row.top}, &row, g_loop.levels[level].hot)) return;
    }
    if (light_first && g_loop.levels[level + 1].hot < 0) step(level + 1, 1);
}

void choose(size_t level, int i) {
    const Item* it = item_at(level, i);
    if (!it || it->separator() || it->grayed()) return;
    if (it->sub) {
        highlight(level, i, false);
        open_sub(level, true);
        return;
    }
    g_loop.chosen = it->id;
    g_loop.picked = g_loop.done = true;
}

void cancel() { g_loop.done = true; }

// The level and row under a screen point, deepest popup first.
bool hit(POINT p, size_t* level, int* row) {
    for (size_t k = g_loop.levels.size(); k-- > 0;) {
        const Level& l = g_loop.levels[k];
        RECT win;
        GetWindowRect(l.popup, &win);
        if (p.x < win.left || p.y < win.top || p.x >= win.right || p.y >= win.bottom) continue;
        *level = k;
        *row = -1;
        menus::PopupLayout lay = menus::layout_popup(l.popup, *menus::get(l.menu));
        for (size_t i = 0; i < lay.rows.size(); ++i) {
            const RECT& r = lay.rows[i];
            if (p.y - win.top >= r.top && p.y - win.top < r.bottom) *row = static_cast<int>(i);
        }
        return true;
    }
    return false;
}

bool is_pointer(UINT m) {
    return (m >= WM_MOUSEMOVE && m <= WM_XBUTTONDBLCLK) || (m >= WM_NCMOUSEMOVE && m <= WM_NCLBUTTONDBLCLK) ||
           m == WM_MOUSELEAVE || m == WM_MOUSEHOVER;
}
bool is_key(UINT m) { return m >= WM_KEYDOWN && m <= WM_SYSCHAR; }

// ---- the menu bar ----

int bar_item_at(HWND top, HMENU bar, POINT screen) {
    Window* w = get(top);
    const Menu* m = menus::get(bar);
    if (!w || !m) return -1;
    int32_t band = menu_band(*w);
    POINT p{screen.x - w->rect.left, screen.y - (w->rect.top - band)};
    if (p.y < 0 || p.y >= band) return -1;
    std::vector<RECT> rows = menus::layout_bar(top, *m);
    for (size_t i = 0; i < rows.size(); ++i)
        if (p.x >= rows[i].left && p.x < rows[i].right && !m->items[i].separator()) return static_cast<int>(i);
    return -1;
}

RECT bar_item_on_screen(int i) {
    Window* w = get(g_loop.owner);
    std::vector<RECT> rows = menus::layout_bar(g_loop.owner, *menus::get(g_loop.bar));
    RECT r = rows[static_cast<size_t>(i)];
    int32_t x = w->rect.left, y = w->rect.top - menu_band(*w);
    return {r.left + x, r.top + y, r.right + x, r.bottom + y};
}

void damage_band(HWND top) {
    Window* w = get(top);
    int32_t band = w ? menu_band(*w) : 0;
    if (!band) return;
    if (!w->damage) w->damage = cairo_region_create();
    cairo_rectangle_int_t r{0, -band, w->rect.width(), band};
    cairo_region_union_rectangle(w->damage, &r);
}

// Lights a bar item and opens its drop-down (its first item lit when asked).
void open_bar_item(int i, bool open, bool light_first) {
    const Menu* m = menus::get(g_loop.bar);
    if (!m || i < 0 || static_cast<size_t>(i) >= m->items.size()) return;
    const Item it = m->items[static_cast<size_t>(i)];
    if (i != g_loop.bar_hot || (open && g_loop.levels.empty())) close_from(0);
    if (i != g_loop.bar_hot) {
        g_loop.bar_hot = i;
        damage_band(g_loop.owner);
        if (notify()) {
            UINT flags = MF_HILITE | (it.sub ? UINT(MF_POPUP) : 0u);
            SendMessage(g_loop.owner, WM_MENUSELECT, MAKEWPARAM(it.sub ? UINT(i) : it.id, flags),
                        static_cast<LPARAM>(g_loop.bar));
        }
    }
    if (!open || !it.sub || it.grayed() || !g_loop.levels.empty()) return;
    RECT r = bar_item_on_screen(i);
    if (open_level(it.sub, {r.left, r.bottom}, nullptr, i, &r) && light_first) step(0, 1);
}

void bar_step(int dir) {
    const Menu* m = menus::get(g_loop.bar);
    int n = m ? static_cast<int>(m->items.size()) : 0;
    int i = g_loop.bar_hot;
    for (int k = 0; k < n; ++k) {
        i = (i + dir + n) % n;
        if (!m->items[static_cast<size_t>(i)].separator()) break;
    }
    bool was_open = !g_loop.levels.empty();
    open_bar_item(i, was_open, true);
}

// Enter on the bar: open the drop-down, or choose an item without one.
void bar_enter() {
    const Menu* m = menus::get(g_loop.bar);
    if (!m || g_loop.bar_hot < 0) return;
    const Item& it = m->items[static_cast<size_t>(g_loop.bar_hot)];
    if (it.sub) {
        open_bar_item(g_loop.bar_hot, true, true);
    } else if (!it.grayed() && !it.separator()) {
        g_loop.chosen = it.id;
        g_loop.picked = g_loop.done = true;
    }
}

void on_pointer(const MSG& msg) {
    size_t level = 0;
    int row = -1;
    bool over = hit(msg.pt, &level, &row);
    const Item* it = over ? item_at(level, row) : nullptr;
    int bar_item = !over && g_loop.bar ? bar_item_at(g_loop.owner, g_loop.bar, msg.pt) : -1;
    switch (msg.message) {
        case WM_MOUSEMOVE:
        case WM_NCMOUSEMOVE:
            if (it && !it->separator()) {
                highlight(level, row, true);
                if (it->sub) open_sub(level, false);
            } else if (bar_item >= 0 && bar_item != g_loop.bar_hot) {
                open_bar_item(bar_item, !g_loop.levels.empty(), false);
            }
            return;
        case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN: case WM_XBUTTONDOWN:
        case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK: case WM_XBUTTONDBLCLK:
        case WM_NCLBUTTONDOWN: case WM_NCLBUTTONDBLCLK:
            if (bar_item >= 0 && (bar_item != g_loop.bar_hot || g_loop.levels.empty())) {
                open_bar_item(bar_item, true, false);
                if (g_loop.levels.empty()) bar_enter();  // an item without a drop-down
            } else if (!over) {
                cancel();  // a press outside (or on the open bar item) closes the menu, used up
            }
            return;
        case WM_LBUTTONUP:
        case WM_NCLBUTTONUP:
        case WM_RBUTTONUP:
            if (msg.message == WM_RBUTTONUP && !(g_loop.flags & TPM_RIGHTBUTTON)) return;
            if (it && !it->sub) choose(level, row);
            return;
        default: return;
    }
}

char32_t lowered(char32_t c) { return static_cast<char32_t>(unicode::change_case(c, false)); }

// `&` mnemonics: one match acts as Enter, several take turns being lit.
void mnemonic(size_t level, char32_t c) {
    const Menu* m = menus::get(g_loop.levels[level].menu);
    if (!m || !c) return;
    c = lowered(c);
    std::vector<int> matches;
    for (size_t i = 0; i < m->items.size(); ++i)
        if (menus::mnemonic_of(m->items[i]) == c) matches.push_back(static_cast<int>(i));
    if (matches.size() == 1) {
        highlight(level, matches[0], false);
        choose(level, matches[0]);
    } else if (!matches.empty()) {
        int hot = g_loop.levels[level].hot;
        auto next = std::upper_bound(matches.begin(), matches.end(), hot);
        highlight(level, next == matches.end() ? matches[0] : *next, false);
    }
}

// The character of a key-down: its text, else the key's own (Alt+letter).
char32_t key_char(const MSG& msg) {
    char32_t c = msg.lPrivate & 0x1FFFFF;
    return c ? c : MapVirtualKey(static_cast<UINT>(msg.wParam), MAPVK_VK_TO_CHAR);
}

// Keys while only the bar is lit, no drop-down open.
void on_bar_key(const MSG& msg) {
    switch (msg.wParam) {
        case VK_LEFT: bar_step(-1); return;
        case VK_RIGHT: bar_step(1); return;
        case VK_DOWN: case VK_UP: case VK_RETURN: bar_enter(); return;
        case VK_ESCAPE: case VK_MENU: case VK_F1 + 9: cancel(); return;
        default: break;
    }
    const Menu* m = menus::get(g_loop.bar);
    char32_t c = lowered(key_char(msg));
    for (size_t i = 0; m && c && i < m->items.size(); ++i)
        if (menus::mnemonic_of(m->items[i]) == c) {
            open_bar_item(static_cast<int>(i), true, true);
            bar_enter();
            return;
        }
}

void on_key(const MSG& msg) {
    if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return;
    if (g_loop.levels.empty()) return g_loop.bar ? on_bar_key(msg) : cancel();
    size_t level = g_loop.levels.size() - 1;
    const Item* lit = item_at(level, g_loop.levels[level].hot);
    switch (msg.wParam) {
        case VK_DOWN: step(level, 1); return;
        case VK_UP: step(level, -1); return;
        case VK_RIGHT:
            if (g_loop.bar && (!lit || !lit->sub)) bar_step(1);
            else open_sub(level, true);
            return;
        case VK_LEFT:
        case VK_ESCAPE:
            if (level > 0) close_from(level);
            else if (g_loop.bar && msg.wParam == VK_LEFT) bar_step(-1);
            else if (g_loop.bar) close_from(0);  // back to the bar
            else if (msg.wParam == VK_ESCAPE) cancel();
            return;
        case VK_RETURN: {
            int hot = g_loop.levels[level].hot;
            if (hot >= 0) choose(level, hot);
            return;
        }
        case VK_MENU:
        case VK_F1 + 9:  // F10
            cancel();
            return;
        default: mnemonic(level, key_char(msg)); return;
    }
}

void end_loop() {
    State& s = state();
    close_from(0);
    if (s.key_grab) {
        s.key_grab = 0;
        if (s.display) s.display->grab_keyboard(0);
    }
    if (g_loop.bar) {
        if (GetCapture() == g_loop.owner) ReleaseCapture();
        g_loop.bar_hot = -1;
        damage_band(g_loop.owner);
    }
    if (notify() && IsWindow(g_loop.owner)) SendMessage(g_loop.owner, WM_MENUSELECT, MENU_CLOSED, 0);
    if (IsWindow(g_loop.owner)) SendMessage(g_loop.owner, WM_EXITMENULOOP, g_loop.bar ? 0 : 1, 0);
}

void run_loop() {
    while (!g_loop.done) {
        hold_grabs();
        MSG msg;
        if (!PeekMessage(&msg, 0, 0, 0, PM_NOREMOVE)) {
            SendMessage(g_loop.owner, WM_ENTERIDLE, MSGF_MENU, static_cast<LPARAM>(grab_holder()));
            if (g_loop.done) break;
        }
        uint32_t idle = idle_exits();
        if (GetMessage(&msg) <= 0) {
            // A quit ends the loops around this one too; an idle end only this.
            if (idle_exits() == idle) PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (is_pointer(msg.message)) on_pointer(msg);
        else if (is_key(msg.message)) on_key(msg);
        else {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
            if (!IsWindow(g_loop.owner) || !IsWindow(grab_holder()) || GetCapture() != grab_holder()) cancel();
        }
    }
}

// Runs the loop with its first state made by start; answers the chosen id
// for TPM_RETURNCMD, else posts it.
int track(HWND owner, UINT flags, HMENU bar, const std::function<bool()>& start) {
    g_loop = Loop{};
    g_loop.active = true;
    g_loop.owner = owner;
    g_loop.flags = flags;
    g_loop.bar = bar;
    SendMessage(owner, WM_ENTERMENULOOP, bar ? 0 : 1, 0);
    if (start()) run_loop();
    end_loop();
    const UINT chosen = g_loop.chosen;
    const bool picked = g_loop.picked;
    g_loop = Loop{};
    if (flags & TPM_RETURNCMD) return static_cast<int>(chosen);
    if (picked && IsWindow(owner)) PostMessage(owner, WM_COMMAND, chosen, 0);
    return 1;
}

// The menu bar's loop from a click on item i, F10 or Alt (i 0, nothing
// open), or Alt with an item's mnemonic.
void track_bar(HWND top, int i, bool open, bool by_key) {
    HMENU bar = GetMenu(top);
    if (g_loop.active || !bar || !IsWindowEnabled(top)) return;
    track(top, TPM_LEFTBUTTON, bar, [&] {
        hold_grabs();
        if (open) {
            open_bar_item(i, true, by_key);
            if (g_loop.levels.empty()) bar_enter();
        } else {
            open_bar_item(i, false, false);
        }
        return !g_loop.done;
    });
}

}  // namespace

int TrackPopupMenuEx(HMENU menu, UINT flags, int32_t x, int32_t y, HWND owner, const RECT*) {
    if (g_loop.active || !menus::get(menu) || !IsWindow(owner) || !is_open()) return 0;
    return track(owner, flags, 0, [&] { return open_level(menu, {x, y}, nullptr, 0); });
}

bool EndMenu() {
    if (!g_loop.active) return false;
    cancel();
    return true;
}

bool GetMenuItemRect(HWND hwnd, HMENU menu, UINT item, RECT* out) {
    Window* w = get(hwnd);
    if (w && !w->parent && w->menu == menu && menus::get(menu) && item < menus::get(menu)->items.size()) {
        RECT r = menus::layout_bar(hwnd, *menus::get(menu))[item];
        int32_t x = w->rect.left, y = w->rect.top - menu_band(*w);
        *out = {r.left + x, r.top + y, r.right + x, r.bottom + y};
        return true;
    }
    for (size_t k = 0; k < g_loop.levels.size(); ++k) {
        const Menu* m = menus::get(g_loop.levels[k].menu);
        if (g_loop.levels[k].menu != menu || !m || item >= m->items.size()) continue;
        *out = row_on_screen(k, static_cast<int>(item));
        return true;
    }
    return false;
}

HWND menu_popup_window(size_t level) {
    return level < g_loop.levels.size() ? g_loop.levels[level].popup : 0;
}

// The band comes and goes above the client area, which moves by it so the
// window's outer top left stays (as a window manager's gravity does).
bool SetMenu(HWND hwnd, HMENU menu) {
    Window* w = get(hwnd);
    if (!w || w->parent || (menu && !menus::get(menu))) return false;
    int32_t before = menu_band(*w);
    w->menu = menu;
    int32_t after = menu_band(*w);
    if (after != before)  // SetWindowPos places the outer corner, where the old band began
        SetWindowPos(hwnd, 0, w->rect.left, w->rect.top - before, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    DrawMenuBar(hwnd);
    return true;
}

HMENU GetMenu(HWND hwnd) {
    Window* w = get(hwnd);
    return w && menus::get(w->menu) ? w->menu : 0;
}

bool DrawMenuBar(HWND hwnd) {
    if (!get(hwnd)) return false;
    damage_band(hwnd);
    return true;
}

int menu_band_height(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? menu_band(*w) : 0;
}

int32_t detail::menu_band(const Window& w) {
    if (w.parent || !w.menu || !menus::get(w.menu)) return 0;
    return menus::bar_height(handle_of(w));
}

void detail::paint_menu_band(cairo_t* cr, HWND top) {
    Window* w = get(top);
    const Menu* m = w ? menus::get(w->menu) : nullptr;
    if (!m) return;
    int32_t band = menu_band(*w);
    cairo_save(cr);
    cairo_translate(cr, 0, -band);
    menus::paint_bar(cr, top, *m, g_loop.active && g_loop.owner == top ? g_loop.bar_hot : -1, w->rect.width());
    cairo_restore(cr);
}

void detail::destroy_window_menu(Window& w) {
    HMENU menu = w.menu;
    w.menu = 0;
    if (menu) DestroyMenu(menu);
}

// DefWindowProc's menu keys and band clicks: the top-level's bar opens.
bool detail::menu_default(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    State& s = state();
    // The context menu's request: a right release, Shift+F10 or the menu
    // key (at -1, -1), passed up to the parents until one answers.
    if (msg == WM_RBUTTONUP) {
        POINT p{lo_word(lp), hi_word(lp)};
        ClientToScreen(hwnd, &p);
        SendMessage(hwnd, WM_CONTEXTMENU, hwnd, make_lparam(p.x, p.y));
        return true;
    }
    if (msg == WM_CONTEXTMENU) {
        if (HWND parent = GetAncestor(hwnd, GA_PARENT)) SendMessage(parent, WM_CONTEXTMENU, wp, lp);
        return true;
    }
    if ((msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) &&
        (wp == k_vk_apps || (wp == VK_F1 + 9 && (GetKeyState(VK_SHIFT) & 0x8000)))) {
        SendMessage(hwnd, WM_CONTEXTMENU, hwnd, -1);
        return true;
    }
    HWND top = root_of(hwnd);
    HMENU bar = GetMenu(top);
    if (!bar) return false;
    switch (msg) {
        case WM_NCLBUTTONDOWN: {
            int i = bar_item_at(top, bar, {lo_word(lp), hi_word(lp)});
            if (i >= 0) track_bar(top, i, true, false);
            return true;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (wp == VK_F1 + 9) {  // F10
                track_bar(top, 0, false, true);
                return true;
            }
            if (msg == WM_SYSKEYDOWN && wp != VK_MENU) {
                const Menu* m = menus::get(bar);
                char32_t c = lowered(MapVirtualKey(static_cast<UINT>(wp), MAPVK_VK_TO_CHAR));
                for (size_t i = 0; m && c && i < m->items.size(); ++i)
                    if (menus::mnemonic_of(m->items[i]) == c) {
                        track_bar(top, static_cast<int>(i), true, true);
                        return true;
                    }
            }
            return false;
        case WM_SYSKEYUP:
            if (wp != VK_MENU || !s.alt_alone) return false;
            s.alt_alone = false;
            track_bar(top, 0, false, true);
            return true;
        default: return false;
    }
}

// ---- EDIT's standard context menu -----------------------------------------

namespace {

struct EditCommand {
    const char* text;
    UINT msg;  // sent to the edit when chosen
};
// Win32's labels; ids are positions + 1, 0 a separator.
const EditCommand k_edit_commands[] = {
    {"&Undo", WM_UNDO}, {nullptr, 0}, {"Cu&t", WM_CUT}, {"&Copy", WM_COPY}, {"&Paste", WM_PASTE},
    {"&Delete", WM_CLEAR}, {nullptr, 0}, {"Select &All", EM_SETSEL},
};

// Which commands the edit's state allows, in k_edit_commands' order.
std::vector<bool> edit_command_states(HWND edit) {
    uint32_t lo = 0, hi = 0;
    SendMessage(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
    const uint32_t style = static_cast<uint32_t>(GetWindowLong(edit, GWL_STYLE));
    const bool read_only = style & ES_READONLY, password = style & ES_PASSWORD, selection = lo != hi;
    std::string clip;
    const bool paste = edit_clipboard_read(&clip) && !clip.empty();
    const auto length = static_cast<uint32_t>(SendMessage(edit, WM_GETTEXTLENGTH, 0, 0));
    const bool all = lo == 0 && hi >= length;
    return {SendMessage(edit, EM_CANUNDO, 0, 0) != 0 && !read_only, false, selection && !read_only && !password,
            selection && !password, paste && !read_only, selection && !read_only, false, length > 0 && !all};
}

void edit_menu(HWND edit, POINT at) {
    if (!IsWindow(edit)) return;
    if (at.x == -1 && at.y == -1) {  // from the keyboard: at the edit's corner
        at = {0, 0};
        ClientToScreen(edit, &at);
    }
    const std::vector<bool> on = edit_command_states(edit);
    HMENU menu = CreatePopupMenu();
    for (size_t i = 0; i < std::size(k_edit_commands); ++i) {
        MENUITEMINFO mi;
        mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        mi.wID = static_cast<UINT>(i + 1);
        if (k_edit_commands[i].text) mi.text = k_edit_commands[i].text;
        else mi.fType = MFT_SEPARATOR;
        mi.fState = on[i] ? MFS_ENABLED : MFS_GRAYED;
        InsertMenuItem(menu, static_cast<UINT>(i), true, &mi);
    }
    SetFocus(edit);
    const int id = TrackPopupMenuEx(menu, TPM_LEFTBUTTON | TPM_RETURNCMD, at.x, at.y, edit, nullptr);
    DestroyMenu(menu);
    if (id <= 0 || !IsWindow(edit)) return;
    const UINT msg = k_edit_commands[id - 1].msg;
    if (msg == EM_SETSEL) SendMessage(edit, EM_SETSEL, 0, -1);
    else SendMessage(edit, msg, 0, 0);
}

}  // namespace

void install_edit_context_menu() { set_edit_context_menu(edit_menu); }

}  // namespace zun::win
