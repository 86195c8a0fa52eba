// ListBox, and the combo box's drop list (ComboLBox, the same rows shown in
// a popup): text rows in a scrolled window, painted only where visible,
// selected by the pointer, navigation keys and typed letters.
#include <glib.h>

#include <algorithm>
#include <cstring>

#include "platform/controls/combobox.hpp"
#include "platform/controls/listbox_items.hpp"

namespace zun::win::controls {

// ---- items --------------------------------------------------------------------

namespace {

std::string folded(std::string_view s) {
    gchar* f = g_utf8_casefold(s.data(), static_cast<gssize>(s.size()));
    std::string out(f);
    g_free(f);
    return out;
}

std::string utf8_of(char32_t c) {
    char buf[8];
    int n = g_unichar_to_utf8(static_cast<gunichar>(c), buf);
    return std::string(buf, static_cast<size_t>(n));
}

// WPARAM indices as Win32 reads them: (WPARAM)-1 is -1.
int index_of(WPARAM wp) { return static_cast<int>(static_cast<intptr_t>(wp)); }

const char* text_of(LPARAM lp) { return lp ? reinterpret_cast<const char*>(lp) : ""; }

}  // namespace

int ListItems::insert(int at, std::string_view text) {
    if (at < -1 || at > count()) return static_cast<int>(LB_ERR);
    if (at == -1) at = count();
    rows.insert(rows.begin() + at, ListItem{std::string(text)});
    if (cur >= at) ++cur;
    return at;
}

int ListItems::add(std::string_view text) {
    if (!sorted) return insert(-1, text);
    std::string key = folded(text);
    auto place = std::upper_bound(rows.begin(), rows.end(), key,
                                  [](const std::string& k, const ListItem& row) { return k < folded(row.text); });
    return insert(static_cast<int>(place - rows.begin()), text);
}

int ListItems::erase(int at) {
    if (!valid(at)) return static_cast<int>(LB_ERR);
    rows.erase(rows.begin() + at);
    if (cur == at) cur = -1;
    else if (cur > at) --cur;
    return count();
}

void ListItems::clear() {
    rows.clear();
    cur = -1;
}

int ListItems::find(int after, std::string_view prefix, bool exact) const {
    int n = count();
    if (n == 0) return static_cast<int>(LB_ERR);
    std::string key = folded(prefix);
    int start = after >= 0 && after < n ? after + 1 : 0;
    for (int k = 0; k < n; ++k) {
        int i = (start + k) % n;
        std::string f = folded(rows[i].text);
        if (exact ? f == key : f.compare(0, key.size(), key) == 0) return i;
    }
    return static_cast<int>(LB_ERR);
}

bool item_message(ListItems& items, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, bool* changed) {
    *changed = false;
    int i = index_of(wp);
    switch (msg) {
        case LB_ADDSTRING: *result = items.add(text_of(lp)); break;
        case LB_INSERTSTRING: *result = items.insert(i, text_of(lp)); break;
        case LB_DELETESTRING: *result = items.erase(i); break;
        case LB_RESETCONTENT: items.clear(); *result = 0; break;
        case LB_GETCOUNT: *result = items.count(); return true;
        case LB_GETTEXT:
            if (!items.valid(i) || !lp) {
                *result = LB_ERR;
                return true;
            }
            std::memcpy(reinterpret_cast<char*>(lp), items.rows[i].text.c_str(), items.rows[i].text.size() + 1);
            *result = static_cast<LRESULT>(items.rows[i].text.size());
            return true;
        case LB_GETTEXTLEN: *result = items.valid(i) ? static_cast<LRESULT>(items.rows[i].text.size()) : LB_ERR; return true;
        case LB_FINDSTRING:
        case LB_FINDSTRINGEXACT: *result = items.find(i, text_of(lp), msg == LB_FINDSTRINGEXACT); return true;
        case LB_GETITEMDATA: *result = items.valid(i) ? items.rows[i].data : LB_ERR; return true;
        case LB_SETITEMDATA:
            if (!items.valid(i)) {
                *result = LB_ERR;
                return true;
            }
            items.rows[i].data = lp;
            *result = LB_OKAY;
            return true;
        case LB_INITSTORAGE:
            items.rows.reserve(items.rows.size() + wp);
            *result = static_cast<LRESULT>(items.rows.capacity());
            return true;
        default: return false;
    }
    *changed = msg == LB_RESETCONTENT || *result != LB_ERR;
    return true;
}

int key_target(WPARAM vk, int from, int count, int page) {
    if (count <= 0) return -1;
    int at = std::max(from, 0);
    int step = std::max(1, page - 1);
    switch (vk) {
        case VK_UP:
        case VK_LEFT: return from < 0 ? 0 : std::max(0, from - 1);
        case VK_DOWN:
        case VK_RIGHT: return from < 0 ? 0 : std::min(count - 1, from + 1);
        case VK_PRIOR: return std::max(0, at - step);
        case VK_NEXT: return std::min(count - 1, at + step);
        case VK_HOME: return 0;
        case VK_END: return count - 1;
        default: return -1;
    }
}

int letter_target(const ListItems& items, int from, char32_t c) {
    if (c < 0x20 || c == 0x7F) return -1;
    return items.find(from, utf8_of(c), false);
}

int RowHeight::get(HWND hwnd, HFONT font) {
    uint32_t dpi = GetDpiForWindow(hwnd);
    unsigned hash = pango_font_description_hash(font_description(font));
    if (!m_height || font != m_font || dpi != m_dpi || hash != m_hash) {
        m_font = font;
        m_dpi = dpi;
        m_hash = hash;
        m_height = std::max(1, measure_text(hwnd, font, "Ag", -1, DT_SINGLELINE | DT_NOPREFIX).cy);
    }
    return m_height;
}

COLORREF window_colours(cairo_t* cr, HWND to, UINT msg, HWND control, const RECT& r) {
    SetBkColor(cr, sys_colour(COLOR_WINDOW));
    SetTextColor(cr, sys_colour(COLOR_WINDOWTEXT));
    auto brush = to ? static_cast<HBRUSH>(SendMessage(to, msg, reinterpret_cast<WPARAM>(cr), static_cast<LPARAM>(control)))
                    : 0;
    if (brush == DC_BRUSH_HANDLE) fill_rect(cr, r, GetDCBrushColor(cr));
    else if (brush) FillRect(cr, &r, brush);
    else fill_rect(cr, r, sys_colour(COLOR_WINDOW));
    return GetTextColor(cr);
}

// ---- the list box -------------------------------------------------------------

namespace {

struct DropListParams {
    HWND combo;
    ListItems* items;
    HFONT font;
};

struct ListBox : ControlBase {
    ListItems own;
    ListItems* items = &own;  // a drop list shows its combo's
    HWND combo = 0;           // set for a drop list
    int top = 0;              // the first row shown
    int caret = 0, anchor = 0;  // the focus item; where a Shift range starts
    int xoff = 0, extent = 0;   // pixels scrolled sideways; LB_SETHORIZONTALEXTENT
    int fixed_height = 0;       // LB_SETITEMHEIGHT
    RowHeight row_height;
    bool want_v = false, want_h = false, in_bars = false;
    bool focused = false, tracking = false;
    int wheel = 0;  // wheel delta not yet turned into rows
    int drag_y = 0;  // where a held pointer is, while above or below the rows
    bool drag_timer = false;
    // A drop list: the highlighted row; whether the pointer came into the
    // rows or pressed on them since it opened; a drag of its scroll bar.
    int hot = -1;
    bool entered = false, pressed = false, bar_drag = false;
};

StateTable<ListBox> g_lists;

int count_of(const ListBox& l) { return l.items->count(); }

bool multiple(HWND hwnd, const ListBox& l) {
    return !l.combo && (style_of(hwnd) & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL));
}
bool extended(HWND hwnd, const ListBox& l) { return !l.combo && (style_of(hwnd) & LBS_EXTENDEDSEL); }
bool notifies(HWND hwnd, const ListBox& l) { return !l.combo && (style_of(hwnd) & LBS_NOTIFY); }

// The rows' area: inside the sunken edge, or the drop list's 1-px frame.
RECT rows_rect(HWND hwnd, const ListBox& l) {
    RECT r;
    GetClientRect(hwnd, &r);
    if (l.combo) return inset(r, 1);
    return (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? inset(r, 2) : r;
}

int row_h(HWND hwnd, ListBox& l) { return l.fixed_height ? l.fixed_height : l.row_height.get(hwnd, l.font); }
int page_rows(HWND hwnd, ListBox& l) { return std::max(1, rows_rect(hwnd, l).height() / row_h(hwnd, l)); }
int max_top(HWND hwnd, ListBox& l) { return std::max(0, count_of(l) - page_rows(hwnd, l)); }

RECT row_rect(HWND hwnd, ListBox& l, int i) {
    RECT in = rows_rect(hwnd, l);
    int h = row_h(hwnd, l);
    int y = in.top + (i - l.top) * h;
    return {in.left, y, in.right, y + h};
}

// The row at a client y, -1 below the last row or outside the rows.
int row_at(HWND hwnd, ListBox& l, int y) {
    RECT in = rows_rect(hwnd, l);
    if (y < in.top || y >= in.bottom) return -1;
    int i = l.top + (y - in.top) / row_h(hwnd, l);
    return i < count_of(l) ? i : -1;
}

// The row a pointer at y means: the nearest one; above or below the rows,
// the next one out of view, so a drag scrolls.
int row_near(HWND hwnd, ListBox& l, int y) {
    int n = count_of(l);
    if (n == 0) return -1;
    RECT in = rows_rect(hwnd, l);
    int i = y < in.top ? l.top - 1 : y >= in.bottom ? l.top + page_rows(hwnd, l) : l.top + (y - in.top) / row_h(hwnd, l);
    return std::clamp(i, 0, n - 1);
}

// The bars follow the rows: shown only when needed (both at most twice, as
// one bar showing narrows the room of the other).
void update_bars(HWND hwnd, ListBox& l) {
    if (l.in_bars) return;
    l.in_bars = true;
    UINT keep = (style_of(hwnd) & LBS_DISABLENOSCROLL) && !l.combo ? UINT{SIF_DISABLENOSCROLL} : 0u;
    for (int pass = 0; pass < 2; ++pass) {
        RECT in = rows_rect(hwnd, l);
        l.top = std::clamp(l.top, 0, max_top(hwnd, l));
        l.xoff = std::clamp(l.xoff, 0, std::max(0, l.extent - in.width()));
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | keep;
        if (l.want_v) {
            si.nMin = 0;
            si.nMax = count_of(l) - 1;
            si.nPage = static_cast<UINT>(page_rows(hwnd, l));
            si.nPos = l.top;
            SetScrollInfo(hwnd, SB_VERT, &si, true);
        }
        if (l.want_h) {
            si.nMin = 0;
            si.nMax = l.extent - 1;
            si.nPage = static_cast<UINT>(std::max(0, in.width()));
            si.nPos = l.xoff;
            SetScrollInfo(hwnd, SB_HORZ, &si, true);
        }
    }
    l.in_bars = false;
}

// Without LBS_NOINTEGRALHEIGHT a list is as tall as its whole rows.
int integral_height(HWND hwnd, ListBox& l, int cy) {
    if (l.combo || (style_of(hwnd) & LBS_NOINTEGRALHEIGHT)) return cy;
    int frame = (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? 4 : 0;
    if (style_of(hwnd) & WS_HSCROLL) frame += scroll_bar_size(hwnd);
    int h = row_h(hwnd, l);
    return frame + std::max(1, (cy - frame) / h) * h;
}

void fit_height(HWND hwnd, ListBox& l) {
    RECT r;
    GetWindowRect(hwnd, &r);
    int cy = integral_height(hwnd, l, r.height());
    if (cy != r.height()) SetWindowPos(hwnd, 0, 0, 0, r.width(), cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void scroll_to(HWND hwnd, ListBox& l, int top) {
    top = std::clamp(top, 0, max_top(hwnd, l));
    if (top == l.top) return;
    l.top = top;
    if (l.want_v) SetScrollPos(hwnd, SB_VERT, top, true);
    InvalidateRect(hwnd, nullptr, false);
}

void scroll_sideways(HWND hwnd, ListBox& l, int xoff) {
    xoff = std::clamp(xoff, 0, std::max(0, l.extent - rows_rect(hwnd, l).width()));
    if (xoff == l.xoff) return;
    l.xoff = xoff;
    if (l.want_h) SetScrollPos(hwnd, SB_HORZ, xoff, true);
    InvalidateRect(hwnd, nullptr, false);
}

void ensure_visible(HWND hwnd, ListBox& l, int i) {
    if (i < 0) return;
    int page = page_rows(hwnd, l);
    if (i < l.top) scroll_to(hwnd, l, i);
    else if (i >= l.top + page) scroll_to(hwnd, l, i - page + 1);
}

bool is_selected(HWND hwnd, const ListBox& l, int i) {
    if (l.combo) return i == l.hot;
    return multiple(hwnd, l) ? l.items->rows[i].selected : i == l.items->cur;
}

void set_caret(HWND hwnd, ListBox& l, int i) {
    l.caret = i;
    ensure_visible(hwnd, l, i);
    InvalidateRect(hwnd, nullptr, false);
}

// A single selection (-1: none); the caret follows a real one.
void select_one(HWND hwnd, ListBox& l, int i) {
    l.items->cur = l.items->valid(i) ? i : -1;
    if (l.items->cur >= 0) {
        l.anchor = i;
        set_caret(hwnd, l, i);
    }
    InvalidateRect(hwnd, nullptr, false);
}

void mark_range(ListBox& l, int a, int b, bool on) {
    if (a > b) std::swap(a, b);
    for (int i = std::max(a, 0); i <= b && i < count_of(l); ++i) l.items->rows[i].selected = on;
}
void clear_marks(ListBox& l) { mark_range(l, 0, count_of(l) - 1, false); }

void notify(HWND hwnd, ListBox& l, UINT code) {
    if (notifies(hwnd, l)) notify_parent(hwnd, code);
}

// After the rows changed at index `at` (-1: all of them).
void rows_changed(HWND hwnd, ListBox& l, int at) {
    int n = count_of(l);
    l.caret = std::clamp(l.caret, 0, std::max(n - 1, 0));
    l.anchor = std::clamp(l.anchor, 0, std::max(n - 1, 0));
    if (l.hot >= n) l.hot = -1;
    update_bars(hwnd, l);
    if (at < 0 || at <= l.top + page_rows(hwnd, l)) InvalidateRect(hwnd, nullptr, false);
}

// ---- painting -------------------------------------------------------------------

void paint(HWND hwnd, ListBox& l) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    RECT in = rows_rect(hwnd, l);
    bool enabled = IsWindowEnabled(l.combo ? l.combo : hwnd);
    HWND to = GetParent(l.combo ? l.combo : hwnd);
    COLORREF ink = window_colours(cr, to, WM_CTLCOLORLISTBOX, l.combo ? l.combo : hwnd, painting.r);
    if (l.combo) {
        RECT c;
        GetClientRect(hwnd, &c);
        frame_rect(cr, c, sys_colour(COLOR_BTNSHADOW));
    }
    if (!enabled) ink = sys_colour(COLOR_GRAYTEXT);
    int h = row_h(hwnd, l);
    const RECT& dirty = painting.ps.rcPaint;
    int first = l.top + std::max(0, (dirty.top - in.top) / h);
    int last = std::min(count_of(l) - 1, l.top + std::max(0, (std::min(dirty.bottom, in.bottom) - in.top - 1) / h));
    int pad = scaled(hwnd, 2);
    cairo_save(cr);
    cairo_rectangle(cr, in.left, in.top, in.width(), in.height());
    cairo_clip(cr);
    for (int i = first; i <= last; ++i) {
        RECT row = row_rect(hwnd, l, i);
        COLORREF fg = ink;
        if (is_selected(hwnd, l, i)) {
            fill_rect(cr, row, sys_colour(enabled ? int{COLOR_HIGHLIGHT} : int{COLOR_BTNFACE}));
            fg = sys_colour(enabled ? int{COLOR_HIGHLIGHTTEXT} : int{COLOR_GRAYTEXT});
        }
        RECT text{row.left + pad - l.xoff, row.top, row.right, row.bottom};
        draw_text(cr, hwnd, l.font, l.items->rows[i].text, text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, fg);
    }
    if (l.focused && !l.combo) draw_focus_rect(cr, row_rect(hwnd, l, count_of(l) ? l.caret : 0));
    cairo_restore(cr);
}

// ---- input ------------------------------------------------------------------------

bool key_held(int vk) { return GetKeyState(vk) & 0x8000; }

// The pointer chose row i: a press, or a drag while held.
void pointer_select(HWND hwnd, ListBox& l, int i, bool press) {
    if (!multiple(hwnd, l)) {
        select_one(hwnd, l, i);
        return;
    }
    bool ctrl = key_held(VK_CONTROL), shift = key_held(VK_SHIFT);
    if (!extended(hwnd, l)) {  // LBS_MULTIPLESEL: a press toggles
        if (press) {
            l.items->rows[i].selected = !l.items->rows[i].selected;
            l.anchor = i;
        }
    } else if (press && ctrl && !shift) {
        l.items->rows[i].selected = !l.items->rows[i].selected;
        l.anchor = i;
    } else {
        if (!ctrl) clear_marks(l);
        if (press && !shift) l.anchor = i;
        mark_range(l, l.anchor, i, true);
    }
    set_caret(hwnd, l, i);
}

void on_press(HWND hwnd, UINT msg, LPARAM lp) {
    if (GetFocus() != hwnd) SetFocus(hwnd);
    ListBox* l = g_lists.get(hwnd);  // the focus notification may have run anything
    if (!l) return;
    int i = row_near(hwnd, *l, y_of(lp));
    if (i < 0 || (style_of(hwnd) & LBS_NOSEL)) return;  // nothing to choose: nothing to tell
    SetCapture(hwnd);
    l->tracking = true;
    pointer_select(hwnd, *l, i, true);
    if (msg == WM_LBUTTONDBLCLK && row_at(hwnd, *l, y_of(lp)) >= 0) {
        l->tracking = false;
        ReleaseCapture();
        notify(hwnd, *l, LBN_DBLCLK);
    }
}

// A held pointer moved to y: the row there is chosen (a drop list's is
// highlighted); above or below the rows the next one out of view is, again
// and again on a timer until the pointer comes back or lets go.
constexpr uintptr_t k_drag_timer = 1;
constexpr UINT k_drag_repeat = 50;  // ms

void drag_to(HWND hwnd, ListBox& l, int y) {
    int i = row_near(hwnd, l, y);
    if (l.combo) {
        if (i >= 0 && i != l.hot) set_drop_list_highlight(hwnd, i);
    } else {
        int now = multiple(hwnd, l) ? l.caret : l.items->cur;
        if (i >= 0 && i != now) pointer_select(hwnd, l, i, false);
    }
    RECT in = rows_rect(hwnd, l);
    bool out = y < in.top || y >= in.bottom;
    l.drag_y = y;
    if (out != l.drag_timer) {
        l.drag_timer = out;
        if (out) SetTimer(hwnd, k_drag_timer, k_drag_repeat, nullptr);
        else KillTimer(hwnd, k_drag_timer);
    }
}

void end_drag(HWND hwnd, ListBox& l) {
    if (l.drag_timer) KillTimer(hwnd, k_drag_timer);
    l.drag_timer = false;
}

// A key or a typed letter moved to row `to`.
void key_select(HWND hwnd, ListBox& l, int to) {
    if (to < 0) return;
    if (!multiple(hwnd, l)) {
        if (to == l.items->cur) {
            ensure_visible(hwnd, l, to);
            return;
        }
        select_one(hwnd, l, to);
        notify(hwnd, l, LBN_SELCHANGE);
        return;
    }
    if (!extended(hwnd, l) || key_held(VK_CONTROL)) {  // the caret alone moves
        set_caret(hwnd, l, to);
        return;
    }
    clear_marks(l);
    if (!key_held(VK_SHIFT)) l.anchor = to;
    mark_range(l, l.anchor, to, true);
    set_caret(hwnd, l, to);
    notify(hwnd, l, LBN_SELCHANGE);
}

void on_key(HWND hwnd, ListBox& l, WPARAM vk) {
    if (vk == VK_SPACE && multiple(hwnd, l) && count_of(l) &&
        (!extended(hwnd, l) || key_held(VK_CONTROL))) {
        ListItem& row = l.items->rows[l.caret];
        row.selected = !row.selected;
        l.anchor = l.caret;
        InvalidateRect(hwnd, nullptr, false);
        notify(hwnd, l, LBN_SELCHANGE);
        return;
    }
    int from = multiple(hwnd, l) ? l.caret : l.items->cur;
    key_select(hwnd, l, key_target(vk, from, count_of(l), page_rows(hwnd, l)));
}

void on_wheel(HWND hwnd, ListBox& l, WPARAM wp) {
    l.wheel += static_cast<int16_t>(wp >> 16);
    int notches = l.wheel / WHEEL_DELTA;
    l.wheel -= notches * WHEEL_DELTA;
    scroll_to(hwnd, l, l.top - notches * 3);
}

void on_scroll(HWND hwnd, ListBox& l, UINT msg, WPARAM wp) {
    bool vert = msg == WM_VSCROLL;
    int line = vert ? 1 : scaled(hwnd, 8);
    int page = vert ? page_rows(hwnd, l) : rows_rect(hwnd, l).width();
    int pos = vert ? l.top : l.xoff;
    int end = vert ? max_top(hwnd, l) : l.extent;
    switch (wp & 0xFFFF) {
        case SB_LINEUP: pos -= line; break;
        case SB_LINEDOWN: pos += line; break;
        case SB_PAGEUP: pos -= page; break;
        case SB_PAGEDOWN: pos += page; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = end; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: {
            SCROLLINFO si;
            si.fMask = SIF_TRACKPOS;
            GetScrollInfo(hwnd, vert ? SB_VERT : SB_HORZ, &si);
            pos = si.nTrackPos;
            break;
        }
        default: return;
    }
    if (vert) scroll_to(hwnd, l, pos);
    else scroll_sideways(hwnd, l, pos);
}

// ---- the drop list's pointer: it holds the capture while open ----------------------

LRESULT drop_list_pointer(HWND hwnd, ListBox& l, UINT msg, WPARAM wp, LPARAM lp) {
    int x = x_of(lp), y = y_of(lp);
    l.bar_drag = false;  // a drag of the bar eats the pointer until it ends
    RECT in = rows_rect(hwnd, l);
    switch (msg) {
        case WM_MOUSEMOVE:
            if (inside(in, x, y)) {
                l.entered = true;
                int i = row_at(hwnd, l, y);
                if (i >= 0 && i != l.hot) set_drop_list_highlight(hwnd, i);
            }
            if ((wp & MK_LBUTTON) && (l.entered || l.pressed) && x >= in.left && x < in.right) drag_to(hwnd, l, y);
            else end_drag(hwnd, l);
            return 0;
        case WM_LBUTTONUP:
            end_drag(hwnd, l);
            if (inside(in, x, y) && (l.pressed || l.entered)) {
                int i = row_at(hwnd, l, y);
                if (i >= 0) {
                    combo_list_pick(l.combo, i);  // destroys this list
                    return 0;
                }
            }
            l.pressed = false;
            return 0;
        default: break;  // a press
    }
    POINT screen{x, y};
    ClientToScreen(hwnd, &screen);
    RECT window;
    GetWindowRect(hwnd, &window);
    if (!inside(window, screen.x, screen.y)) {
        combo_list_cancel(l.combo);  // destroys this list
        return 0;
    }
    if (msg != WM_LBUTTONDOWN) return 0;
    RECT client;
    GetClientRect(hwnd, &client);
    if (!inside(client, x, y)) {  // on the scroll bar: the layer drags it
        LPARAM at = static_cast<LPARAM>(static_cast<uint32_t>(screen.x & 0xFFFF) | (static_cast<uint32_t>(screen.y) << 16));
        LRESULT hit = DefWindowProc(hwnd, WM_NCHITTEST, 0, at);
        if (hit == HTVSCROLL || hit == HTHSCROLL) {
            l.bar_drag = true;
            DefWindowProc(hwnd, WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit), at);
        }
        return 0;
    }
    l.pressed = true;
    int i = row_at(hwnd, l, y);
    if (i >= 0) set_drop_list_highlight(hwnd, i);
    return 0;
}

LRESULT list_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool drop) {
    ListBox* l = state_for(g_lists, hwnd, msg);
    if (l && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lp);
        auto* params = drop && cs ? static_cast<const DropListParams*>(cs->lpCreateParams) : nullptr;
        if (params) {
            l->combo = params->combo;
            l->items = params->items;
            l->font = params->font;
            l->hot = params->items->cur;
        }
        if (cs) l->own.sorted = (cs->style & LBS_SORT) != 0;
        return DefWindowProc(hwnd, msg, wp, lp);
    }
    if (!l) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT result = 0;
    bool changed = false;
    if (item_message(*l->items, msg, wp, lp, &result, &changed)) {
        if (changed) {
            if (msg == LB_RESETCONTENT) l->top = 0;
            rows_changed(hwnd, *l, msg == LB_RESETCONTENT ? -1 : msg == LB_DELETESTRING ? index_of(wp) : static_cast<int>(result));
        }
        return result;
    }
    if (msg == WM_SETFONT) {
        common_message(hwnd, *l, msg, wp, lp, &result);
        fit_height(hwnd, *l);
        update_bars(hwnd, *l);
        InvalidateRect(hwnd, nullptr, false);
        return 0;
    }
    if (common_message(hwnd, *l, msg, wp, lp, &result)) return result;
    if (l->combo) {
        switch (msg) {
            case WM_MOUSEMOVE:
            case WM_LBUTTONDOWN:
            case WM_LBUTTONUP:
            case WM_RBUTTONDOWN:
            case WM_MBUTTONDOWN: return drop_list_pointer(hwnd, *l, msg, wp, lp);
            case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
            case WM_CAPTURECHANGED:
                if (static_cast<HWND>(lp) != hwnd && !l->bar_drag) combo_list_cancel(l->combo);
                return 0;
            case WM_VSCROLL:
                if ((wp & 0xFFFF) == SB_ENDSCROLL && l->bar_drag) {
                    l->bar_drag = false;
                    SetCapture(hwnd);  // the bar's drag let it go
                }
                break;
            default: break;
        }
    }
    int count = count_of(*l);
    int i = index_of(wp);
    bool multi = multiple(hwnd, *l);
    switch (msg) {
        case WM_CREATE:
            l->want_v = (style_of(hwnd) & WS_VSCROLL) != 0;
            l->want_h = (style_of(hwnd) & WS_HSCROLL) != 0;
            fit_height(hwnd, *l);
            update_bars(hwnd, *l);
            ensure_visible(hwnd, *l, l->combo ? l->hot : l->items->cur);
            return 0;
        case WM_WINDOWPOSCHANGING: {
            auto* pos = reinterpret_cast<WINDOWPOS*>(lp);
            if (!(pos->flags & SWP_NOSIZE)) pos->cy = integral_height(hwnd, *l, pos->cy);
            return 0;
        }
        case WM_SIZE:
            update_bars(hwnd, *l);
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case WM_PAINT: paint(hwnd, *l); return 0;
        case WM_SETFOCUS:
            l->focused = true;
            InvalidateRect(hwnd, nullptr, false);
            if (!l->combo) notify_parent(hwnd, LBN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            l->focused = false;
            InvalidateRect(hwnd, nullptr, false);
            if (!l->combo) notify_parent(hwnd, LBN_KILLFOCUS);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: on_press(hwnd, msg, lp); return 0;
        case WM_MOUSEMOVE:
            if (l->tracking) drag_to(hwnd, *l, y_of(lp));
            return 0;
        case WM_TIMER:
            if (wp == k_drag_timer && l->drag_timer) drag_to(hwnd, *l, l->drag_y);
            return 0;
        case WM_LBUTTONUP:
            end_drag(hwnd, *l);
            if (!l->tracking) return 0;
            l->tracking = false;
            ReleaseCapture();
            notify(hwnd, *l, LBN_SELCHANGE);
            return 0;
        case WM_CAPTURECHANGED:
            if (static_cast<HWND>(lp) != hwnd) {
                l->tracking = false;
                end_drag(hwnd, *l);
            }
            return 0;
        case WM_KEYDOWN: on_key(hwnd, *l, wp); return 0;
        case WM_CHAR: {
            int from = multi ? l->caret : l->items->cur;
            key_select(hwnd, *l, letter_target(*l->items, from, static_cast<char32_t>(wp)));
            return 0;
        }
        case WM_MOUSEWHEEL: on_wheel(hwnd, *l, wp); return 0;
        case WM_VSCROLL:
        case WM_HSCROLL:
            if (lp == 0) on_scroll(hwnd, *l, msg, wp);
            return 0;
        case LB_SETCURSEL:
            if (multi) return LB_ERR;
            select_one(hwnd, *l, i);
            return l->items->valid(i) ? i : LB_ERR;
        case LB_GETCURSEL: return multi ? l->caret : l->items->cur;
        case LB_GETSEL:
            if (!l->items->valid(i)) return LB_ERR;
            return multi ? l->items->rows[i].selected : i == l->items->cur;
        case LB_SETSEL: {
            int at = index_of(static_cast<WPARAM>(lp));
            if (!multi || (at != -1 && !l->items->valid(at))) return LB_ERR;
            if (at == -1) mark_range(*l, 0, count - 1, wp != 0);
            else l->items->rows[at].selected = wp != 0;
            InvalidateRect(hwnd, nullptr, false);
            return LB_OKAY;
        }
        case LB_SELITEMRANGEEX: {
            if (!multi) return LB_ERR;
            int last = index_of(static_cast<WPARAM>(lp));
            mark_range(*l, i, last, i <= last);
            InvalidateRect(hwnd, nullptr, false);
            return LB_OKAY;
        }
        case LB_GETSELCOUNT:
            if (!multi) return LB_ERR;
            return std::count_if(l->items->rows.begin(), l->items->rows.end(), [](const ListItem& r) { return r.selected; });
        case LB_GETSELITEMS: {
            if (!multi) return LB_ERR;
            auto* out = reinterpret_cast<int*>(lp);
            int n = 0;
            for (int k = 0; k < count && n < i && out; ++k)
                if (l->items->rows[k].selected) out[n++] = k;
            return n;
        }
        case LB_SELECTSTRING: {
            if (multi) return LB_ERR;
            int found = l->items->find(i, text_of(lp), false);
            if (found >= 0) select_one(hwnd, *l, found);
            return found;
        }
        case LB_GETTOPINDEX: return l->top;
        case LB_SETTOPINDEX:
            if (!l->items->valid(i) && !(i == 0 && count == 0)) return LB_ERR;
            scroll_to(hwnd, *l, i);
            return LB_OKAY;
        case LB_GETCARETINDEX: return l->caret;
        case LB_SETCARETINDEX:
            if (!l->items->valid(i)) return LB_ERR;
            set_caret(hwnd, *l, i);
            return LB_OKAY;
        case LB_GETANCHORINDEX: return l->anchor;
        case LB_SETANCHORINDEX:
            if (!l->items->valid(i)) return LB_ERR;
            l->anchor = i;
            return LB_OKAY;
        case LB_GETITEMHEIGHT: return row_h(hwnd, *l);
        case LB_SETITEMHEIGHT: {
            int h = static_cast<int>(lp & 0xFFFF);
            if (h <= 0 || h > 255) return LB_ERR;
            l->fixed_height = h;
            update_bars(hwnd, *l);
            InvalidateRect(hwnd, nullptr, false);
            return LB_OKAY;
        }
        case LB_GETITEMRECT: {
            if (!lp || (!l->items->valid(i) && !(i == 0 && count == 0))) return LB_ERR;
            *reinterpret_cast<RECT*>(lp) = row_rect(hwnd, *l, i);
            return 1;
        }
        case LB_GETHORIZONTALEXTENT: return l->extent;
        case LB_SETHORIZONTALEXTENT:
            l->extent = static_cast<int>(wp & 0xFFFF);
            update_bars(hwnd, *l);
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case LB_ITEMFROMPOINT: {
            int x = x_of(lp), y = y_of(lp);
            RECT c;
            GetClientRect(hwnd, &c);
            int near = row_near(hwnd, *l, y);
            bool off = !inside(c, x, y) || row_at(hwnd, *l, y) < 0;
            return static_cast<LRESULT>((near < 0 ? 0 : near) | (off ? 0x10000 : 0));
        }
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK_listbox(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return list_proc(hwnd, msg, wp, lp, false); }
LRESULT CALLBACK_drop_list(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return list_proc(hwnd, msg, wp, lp, true); }

}  // namespace

// ---- the drop list, for the combo box -------------------------------------------------

HWND create_drop_list(HWND combo, ListItems* items, HFONT font, const RECT& r) {
    DropListParams params{combo, items, font};
    return CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, WC_COMBOLBOX, "",
                          WS_POPUP | WS_VSCROLL, r.left, r.top, r.width(), r.height(),
                          GetAncestor(combo, GA_ROOT), 0, &params);
}

int drop_list_highlight(HWND list) {
    ListBox* l = g_lists.get(list);
    return l ? l->hot : -1;
}

void set_drop_list_highlight(HWND list, int index) {
    ListBox* l = g_lists.get(list);
    if (!l) return;
    l->hot = l->items->valid(index) ? index : -1;
    ensure_visible(list, *l, l->hot);
    InvalidateRect(list, nullptr, false);
}

void drop_list_rows_changed(HWND list) {
    if (ListBox* l = g_lists.get(list)) rows_changed(list, *l, -1);
}

void register_listbox() {
    register_control(WC_LISTBOX, CALLBACK_listbox, CS_DBLCLKS);
    register_control(WC_COMBOLBOX, CALLBACK_drop_list, 0);
}

}  // namespace zun::win::controls
