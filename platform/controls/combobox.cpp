// ComboBox: the face (an item shown, or an EDIT child to type into, and the
// drop button) and its drop list, a popup holding the pointer capture while
// open; the combo keeps the keyboard and drives the list's highlight.
#include <algorithm>

#include "platform/controls/combobox.hpp"
#include "platform/controls/listbox_items.hpp"
#include "platform/window_internal.hpp"

namespace zun::win::controls {

namespace {

struct Combo : ControlBase {
    ListItems items;
    HWND edit = 0;  // CBS_DROPDOWN's EDIT child
    HWND list = 0;  // the drop list while open
    int min_visible = 30, dropped_width = 0;
    bool focused = false;       // the combo or its edit has the focus
    bool setting_text = false;  // our own changes of the edit's text
    RowHeight row_height;
};

StateTable<Combo> g_combos;
WNDPROC g_edit_proc = nullptr;  // EDIT's own procedure, under our filter
constexpr uint32_t k_edit_id = 1001;

bool has_edit(HWND hwnd) { return (style_of(hwnd) & CBS_TYPEMASK) != CBS_DROPDOWNLIST; }

// Inside the sunken edge, or our own 1-px frame.
RECT inner_rect(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return inset(r, (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? 2 : 1);
}
RECT button_rect(HWND hwnd) {
    RECT in = inner_rect(hwnd);
    return {std::max(in.left, in.right - scroll_bar_size(hwnd)), in.top, in.right, in.bottom};
}
RECT text_rect(HWND hwnd) {
    RECT in = inner_rect(hwnd);
    return {in.left, in.top, button_rect(hwnd).left, in.bottom};
}

// The window text follows what the face shows (GetWindowText reads it).
void mirror_text(HWND hwnd, const Combo& c) {
    std::string text = c.edit ? GetWindowText(c.edit) : c.items.valid(c.items.cur) ? c.items.rows[c.items.cur].text : "";
    DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void set_edit_text(Combo& c, const std::string& text) {
    c.setting_text = true;
    SetWindowText(c.edit, text);
    c.setting_text = false;
}

// The selection set (-1: none), shown in the face or the edit.
void set_selection(HWND hwnd, Combo& c, int i) {
    c.items.cur = c.items.valid(i) ? i : -1;
    if (c.edit) {
        set_edit_text(c, c.items.cur >= 0 ? c.items.rows[c.items.cur].text : "");
        SendMessage(c.edit, EM_SETSEL, 0, static_cast<LPARAM>(-1));
    }
    if (c.list) set_drop_list_highlight(c.list, c.items.cur);
    mirror_text(hwnd, c);
    InvalidateRect(hwnd, nullptr, false);
}

// The user chose item i: CBN_SELCHANGE when it is another one.
void choose(HWND hwnd, Combo& c, int i) {
    if (i < 0) return;
    bool other = i != c.items.cur;
    set_selection(hwnd, c, i);
    if (other) notify_parent(hwnd, CBN_SELCHANGE);
}

// ---- the drop list ----------------------------------------------------------------

// Under the face, or above it when there is more room there; as many rows
// as fit, up to min_visible.
RECT drop_rect(HWND hwnd, Combo& c) {
    RECT face;
    GetWindowRect(hwnd, &face);
    MONITORINFO mi;
    GetMonitorInfo(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi);
    const RECT& work = mi.rcWork;
    int h = c.row_height.get(hwnd, c.font);
    int rows = std::clamp(c.items.count(), 1, std::max(c.min_visible, 1));
    int below = work.bottom - face.bottom, above = face.top - work.top;
    int want = rows * h + 2;
    bool up = want > below && above > below;
    int room = std::max(up ? above : below, h + 2);
    if (want > room) want = std::max(1, (room - 2) / h) * h + 2;
    int width = std::max<int>(face.width(), c.dropped_width);
    int left = std::max<int>(work.left, std::min<int>(face.left, work.right - width));
    int top = up ? face.top - want : face.bottom;
    return {left, top, left + width, top + want};
}

void open_list(HWND hwnd, Combo& c) {
    if (c.list || !IsWindowEnabled(hwnd) || !IsWindowVisible(hwnd)) return;
    notify_parent(hwnd, CBN_DROPDOWN);  // the parent may still fill the list
    Combo* again = g_combos.get(hwnd);
    if (!again || again->list) return;
    HWND list = create_drop_list(hwnd, &again->items, again->font, drop_rect(hwnd, *again));
    if (!list) return;
    again->list = list;
    ShowWindow(list, SW_SHOWNA);
    SetCapture(list);
    InvalidateRect(hwnd, nullptr, false);
}

// Closes the list: ok takes the item picked (-1: the highlighted one).
void close_list(HWND hwnd, Combo& c, bool ok, int pick = -1) {
    if (!c.list) return;
    HWND list = c.list;
    c.list = 0;
    if (ok && pick < 0) pick = drop_list_highlight(list);
    if (GetCapture() == list) ReleaseCapture();
    DestroyWindow(list);
    InvalidateRect(hwnd, nullptr, false);
    notify_parent(hwnd, ok ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (!g_combos.get(hwnd)) return;
    notify_parent(hwnd, CBN_CLOSEUP);
    Combo* now = g_combos.get(hwnd);
    if (ok && now) choose(hwnd, *now, pick);
}

// ---- keys and typing ------------------------------------------------------------

// Keys the combo takes, from itself or from its edit: answers whether used.
bool on_key(HWND hwnd, Combo& c, WPARAM vk, bool from_edit) {
    bool alt = GetKeyState(VK_MENU) & 0x8000;
    if ((vk == VK_F4 && !alt) || (alt && (vk == VK_DOWN || vk == VK_UP))) {
        if (c.list) close_list(hwnd, c, true);
        else open_list(hwnd, c);
        return true;
    }
    if (alt) return false;
    bool line_key = vk == VK_UP || vk == VK_DOWN || vk == VK_PRIOR || vk == VK_NEXT;
    if (c.list) {
        if (vk == VK_RETURN || vk == VK_ESCAPE) {
            close_list(hwnd, c, vk == VK_RETURN);
            return true;
        }
        if (from_edit && !line_key) return false;
        int to = key_target(vk, drop_list_highlight(c.list), c.items.count(), c.min_visible);
        if (to >= 0) set_drop_list_highlight(c.list, to);
        return to >= 0;
    }
    if (from_edit && !line_key) return false;
    int to = key_target(vk, c.items.cur, c.items.count(), c.min_visible);
    choose(hwnd, c, to);
    return to >= 0;
}

// A typed letter in a drop-list: the next item starting with it.
void on_letter(HWND hwnd, Combo& c, char32_t ch) {
    int from = c.list ? drop_list_highlight(c.list) : c.items.cur;
    int to = letter_target(c.items, from, ch);
    if (to < 0) return;
    if (c.list) set_drop_list_highlight(c.list, to);
    else choose(hwnd, c, to);
}

// The user typed into the edit: an open list highlights the first item the
// text begins; a closed one no longer has a selection (the text is not an
// item any more), as Windows does.
void on_typed(HWND hwnd, Combo& c) {
    mirror_text(hwnd, c);
    std::string text = GetWindowText(c.edit);
    if (c.list) {
        if (!text.empty()) set_drop_list_highlight(c.list, c.items.find(-1, text, false));
    } else {
        c.items.cur = -1;
    }
    notify_parent(hwnd, CBN_EDITCHANGE);
}

void focus_changed(HWND hwnd, Combo& c) {
    HWND f = GetFocus();
    bool now = f == hwnd || (c.edit && f == c.edit);
    if (now == c.focused) return;
    c.focused = now;
    if (!now) close_list(hwnd, c, false);
    Combo* again = g_combos.get(hwnd);
    if (!again) return;
    InvalidateRect(hwnd, nullptr, false);
    notify_parent(hwnd, now ? CBN_SETFOCUS : CBN_KILLFOCUS);
}

// The edit under our filter: the keys that work the list come to the combo.
LRESULT CALLBACK_combo_edit(HWND edit, UINT msg, WPARAM wp, LPARAM lp) {
    HWND combo = GetParent(edit);
    Combo* c = g_combos.get(combo);
    if (c && (msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && on_key(combo, *c, wp, true)) return 0;
    return CallWindowProc(g_edit_proc, edit, msg, wp, lp);
}

// ---- painting -------------------------------------------------------------------

void paint(HWND hwnd, Combo& c) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    RECT r = painting.r;
    bool enabled = IsWindowEnabled(hwnd);
    COLORREF ink = enabled ? window_colours(cr, GetParent(hwnd), WM_CTLCOLOREDIT, hwnd, r)
                           : parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, r, sys_colour(COLOR_GRAYTEXT));
    if (!enabled) ink = sys_colour(COLOR_GRAYTEXT);
    if (!(GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) {
        RECT client;
        GetClientRect(hwnd, &client);
        frame_rect(cr, client, sys_colour(enabled && (c.focused || c.list) ? int{COLOR_HIGHLIGHT} : int{COLOR_BTNSHADOW}));
    }
    RECT b = button_rect(hwnd);
    fill_rect(cr, b, sys_colour(c.list ? int{COLOR_3DLIGHT} : int{COLOR_BTNFACE}));
    set_colour(cr, sys_colour(enabled ? int{COLOR_BTNTEXT} : int{COLOR_GRAYTEXT}));
    detail::draw_scroll_arrow(cr, b.left + b.width() / 2.0, b.top + b.height() / 2.0, b.width() / 4.0, true, false);
    if (c.edit) return;  // the edit draws the text
    RECT t = inset(text_rect(hwnd), 1);
    COLORREF fg = ink;
    if (enabled && c.focused && !c.list) {
        fill_rect(cr, t, sys_colour(COLOR_HIGHLIGHT));
        fg = sys_colour(COLOR_HIGHLIGHTTEXT);
    }
    if (!c.items.valid(c.items.cur)) return;
    int pad = scaled(hwnd, 2);
    draw_text(cr, hwnd, c.font, c.items.rows[c.items.cur].text, {t.left + pad, t.top, t.right - pad, t.bottom},
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS, fg);
}

// ---- messages ---------------------------------------------------------------------

// CB_ messages that are LB_ messages on the items.
struct ItemMessage {
    UINT cb, lb;
};
constexpr ItemMessage k_item_messages[] = {
    {CB_ADDSTRING, LB_ADDSTRING},       {CB_INSERTSTRING, LB_INSERTSTRING}, {CB_DELETESTRING, LB_DELETESTRING},
    {CB_RESETCONTENT, LB_RESETCONTENT}, {CB_GETCOUNT, LB_GETCOUNT},         {CB_GETLBTEXT, LB_GETTEXT},
    {CB_GETLBTEXTLEN, LB_GETTEXTLEN},   {CB_FINDSTRING, LB_FINDSTRING},     {CB_FINDSTRINGEXACT, LB_FINDSTRINGEXACT},
    {CB_GETITEMDATA, LB_GETITEMDATA},   {CB_SETITEMDATA, LB_SETITEMDATA},   {CB_INITSTORAGE, LB_INITSTORAGE},
};

bool item_messages(HWND hwnd, Combo& c, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    for (const ItemMessage& m : k_item_messages) {
        if (m.cb != msg) continue;
        bool changed = false;
        item_message(c.items, m.lb, wp, lp, result, &changed);
        if (changed) {
            if (!c.edit) mirror_text(hwnd, c);
            if (c.list) drop_list_rows_changed(c.list);
            InvalidateRect(hwnd, nullptr, false);
        }
        return true;
    }
    return false;
}

void on_create(HWND hwnd, Combo& c, const CREATESTRUCT* cs) {
    c.items.sorted = (cs->style & CBS_SORT) != 0;
    if (!has_edit(hwnd)) {
        mirror_text(hwnd, c);
        return;
    }
    RECT t = text_rect(hwnd);
    uint32_t style = WS_CHILD | WS_VISIBLE | ES_LEFT | ((cs->style & CBS_AUTOHSCROLL) ? ES_AUTOHSCROLL : 0) |
                     (cs->style & WS_DISABLED);
    c.edit = CreateWindowEx(0, WC_EDIT, cs->lpszName, style, t.left, t.top, t.width(), t.height(), hwnd, k_edit_id);
    if (!c.edit) return;
    WNDPROC base = SetWindowProc(c.edit, CALLBACK_combo_edit);
    if (!g_edit_proc) g_edit_proc = base;
}

LRESULT CALLBACK_combo(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Combo* c = state_for(g_combos, hwnd, msg);
    if (!c || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT result = 0;
    if (item_messages(hwnd, *c, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_SETFONT:
            c->font = wp;
            if (c->edit) SendMessage(c->edit, WM_SETFONT, wp, lp);
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case WM_SETTEXT: {
            const char* text = lp ? reinterpret_cast<const char*>(lp) : "";
            if (c->edit) {
                set_edit_text(*c, text);
                mirror_text(hwnd, *c);
                return 1;
            }
            int found = c->items.find(-1, text, true);  // a drop-list shows items only
            if (found < 0) return CB_ERR;
            set_selection(hwnd, *c, found);
            return 1;
        }
        case WM_ENABLE:
            if (!wp) close_list(hwnd, *c, false);
            if ((c = g_combos.get(hwnd)) && c->edit) EnableWindow(c->edit, wp != 0);
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        default: break;
    }
    if (common_message(hwnd, *c, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_CREATE: on_create(hwnd, *c, reinterpret_cast<const CREATESTRUCT*>(lp)); return 0;
        case WM_DESTROY:
            if (c->list) {
                HWND list = c->list;
                c->list = 0;
                DestroyWindow(list);
            }
            return 0;
        case WM_SIZE:
            if (c->edit) {
                RECT t = text_rect(hwnd);
                MoveWindow(c->edit, t.left, t.top, t.width(), t.height(), true);
            }
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case WM_SHOWWINDOW:
            if (!wp) close_list(hwnd, *c, false);
            return 0;
        case WM_PAINT: paint(hwnd, *c); return 0;
        case WM_SETFOCUS:
            if (c->edit) SetFocus(c->edit);
            else focus_changed(hwnd, *c);
            return 0;
        case WM_KILLFOCUS: focus_changed(hwnd, *c); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(c->edit ? c->edit : hwnd);
            if (!(c = g_combos.get(hwnd))) return 0;
            if (c->list) close_list(hwnd, *c, false);
            else if (!c->edit || inside(button_rect(hwnd), x_of(lp), y_of(lp))) open_list(hwnd, *c);
            return 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (on_key(hwnd, *c, wp, false)) return 0;
            return DefWindowProc(hwnd, msg, wp, lp);
        case WM_CHAR: on_letter(hwnd, *c, static_cast<char32_t>(wp)); return 0;
        case WM_COMMAND:
            if (static_cast<HWND>(lp) != c->edit || !c->edit) return DefWindowProc(hwnd, msg, wp, lp);
            switch (wp >> 16) {
                case EN_SETFOCUS:
                case EN_KILLFOCUS: focus_changed(hwnd, *c); break;
                case EN_CHANGE:
                    if (!c->setting_text) on_typed(hwnd, *c);
                    else mirror_text(hwnd, *c);
                    break;
                default: break;
            }
            return 0;
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORSTATIC: {
            HWND parent = GetParent(hwnd);
            return parent ? SendMessage(parent, msg, wp, lp) : 0;
        }
        case CB_SETCURSEL:
            set_selection(hwnd, *c, static_cast<int>(static_cast<intptr_t>(wp)));
            return c->items.cur >= 0 ? c->items.cur : CB_ERR;
        case CB_GETCURSEL: return c->items.cur;
        case CB_SELECTSTRING: {
            int found = c->items.find(static_cast<int>(static_cast<intptr_t>(wp)), lp ? reinterpret_cast<const char*>(lp) : "", false);
            if (found >= 0) set_selection(hwnd, *c, found);
            return found;
        }
        case CB_SHOWDROPDOWN:
            if (wp) open_list(hwnd, *c);
            else close_list(hwnd, *c, false);
            return 1;
        case CB_GETDROPPEDSTATE: return c->list != 0;
        case CB_SETMINVISIBLE:
            if (static_cast<intptr_t>(wp) < 1) return 0;
            c->min_visible = static_cast<int>(wp);
            return 1;
        case CB_GETMINVISIBLE: return c->min_visible;
        case CB_GETITEMHEIGHT:
            return static_cast<intptr_t>(wp) == -1 ? text_rect(hwnd).height() : c->row_height.get(hwnd, c->font);
        case CB_SETDROPPEDWIDTH: c->dropped_width = static_cast<int>(wp); return c->dropped_width;
        case CB_GETDROPPEDWIDTH: {
            RECT r;
            GetWindowRect(hwnd, &r);
            return std::max<LRESULT>(r.width(), c->dropped_width);
        }
        case CB_GETDROPPEDCONTROLRECT:
            if (lp) *reinterpret_cast<RECT*>(lp) = drop_rect(hwnd, *c);
            return 1;
        case CB_GETEDITSEL: return c->edit ? SendMessage(c->edit, EM_GETSEL, wp, lp) : CB_ERR;
        case CB_SETEDITSEL: {
            if (!c->edit) return CB_ERR;
            auto start = static_cast<int16_t>(lp & 0xFFFF), end = static_cast<int16_t>((lp >> 16) & 0xFFFF);
            SendMessage(c->edit, EM_SETSEL, static_cast<WPARAM>(static_cast<intptr_t>(start)), end);
            return 1;
        }
        case CB_LIMITTEXT:
            if (!c->edit) return CB_ERR;
            SendMessage(c->edit, EM_SETLIMITTEXT, wp, 0);
            return 1;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void combo_list_pick(HWND combo, int index) {
    if (Combo* c = g_combos.get(combo)) close_list(combo, *c, true, index);
}

void combo_list_cancel(HWND combo) {
    if (Combo* c = g_combos.get(combo)) close_list(combo, *c, false);
}

void register_combobox() { register_control(WC_COMBOBOX, CALLBACK_combo, CS_DBLCLKS); }

}  // namespace zun::win::controls
