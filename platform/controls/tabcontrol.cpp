// SysTabControl32: one row of tabs over a display area framed by one pixel.
// The selected tab is drawn apart: wider, raised, in the page's colour and
// open into the page. When the row is wider than the control, two arrow
// buttons at its right end scroll it a tab at a time.
#include "platform/controls/tabcontrol.hpp"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/controls/control_draw.hpp"
#include "platform/window_internal.hpp"

namespace zun::win::controls {

namespace {

struct Tab {
    std::string text;
    LPARAM param = 0;
    int image = -1;
    uint32_t state = 0;
};

struct TabControl : ControlBase {
    std::vector<Tab> tabs;
    int sel = -1;
    int first = 0;  // the first tab shown when the row is scrolled
    int hot = -1;   // the tab under the pointer
    bool focused = false;
};

StateTable<TabControl> g_tabs;

// The row's measures, in client pixels.
struct Row {
    RECT inner;            // inside a client edge
    int32_t height = 0;    // the row: tabs plus the selected tab's rise
    int32_t item_h = 0;    // an unselected tab
    int32_t start = 0;     // the first shown tab's left
    int32_t end = 0;       // where tabs are cut (the arrows' left, or the right edge)
    bool arrows = false;
    std::vector<int32_t> widths;
    RECT arrow(bool left) const {
        int32_t w = (inner.right - end) / 2;
        int32_t x = left ? end : end + w;
        return {x, inner.top, x + w, inner.top + item_h};
    }
};

int32_t tab_width(HWND hwnd, const TabControl& t, const Tab& tab) {
    SIZE s = measure_text(hwnd, t.font, tab.text, -1, DT_SINGLELINE);
    return std::max<int32_t>(s.cx + 2 * scaled(hwnd, 6), scaled(hwnd, 24));
}

Row row_of(HWND hwnd, const TabControl& t) {
    Row row;
    row.inner = inner_client_rect(hwnd);
    row.item_h = measure_text(hwnd, t.font, "Ag", -1, DT_SINGLELINE).cy + scaled(hwnd, 4);
    row.height = row.item_h + scaled(hwnd, 2);
    row.start = row.inner.left + scaled(hwnd, 2);
    row.end = row.inner.right;
    int64_t total = 0;
    for (const Tab& tab : t.tabs) {
        row.widths.push_back(tab_width(hwnd, t, tab));
        total += row.widths.back();
    }
    if (row.start + total + scaled(hwnd, 2) > row.inner.right) {
        row.arrows = true;
        row.end = std::max(row.start, row.inner.right - 2 * scaled(hwnd, 16));
    }
    return row;
}

// A tab's rectangle as unselected, the row scrolled to t.first.
RECT item_rect(const Row& row, const TabControl& t, int index) {
    int32_t x = row.start;
    for (int i = t.first; i < index; ++i) x += row.widths[static_cast<size_t>(i)];
    for (int i = index; i < t.first; ++i) x -= row.widths[static_cast<size_t>(i)];
    return {x, row.inner.top + (row.height - row.item_h), x + row.widths[static_cast<size_t>(index)],
            row.inner.top + row.height};
}

// The first index from which every tab after it fits before the arrows.
int last_first(const Row& row) {
    int32_t room = row.end - row.start, used = 0;
    int k = static_cast<int>(row.widths.size());
    while (k > 0 && used + row.widths[static_cast<size_t>(k - 1)] <= room) used += row.widths[static_cast<size_t>(--k)];
    return std::min<int>(k, std::max<int>(0, static_cast<int>(row.widths.size()) - 1));
}

void clamp_scroll(const Row& row, TabControl& t) {
    t.first = row.arrows ? std::clamp(t.first, 0, last_first(row)) : 0;
}

void ensure_visible(HWND hwnd, TabControl& t, int index) {
    Row row = row_of(hwnd, t);
    if (index >= 0 && index < static_cast<int>(t.tabs.size()) && row.arrows) {
        if (index < t.first) t.first = index;
        while (t.first < index && item_rect(row, t, index).right > row.end) ++t.first;
    }
    clamp_scroll(row, t);
}

int tab_at(HWND hwnd, const TabControl& t, POINT p) {
    Row row = row_of(hwnd, t);
    if (p.x >= row.end) return -1;
    for (int i = t.first; i < static_cast<int>(t.tabs.size()); ++i) {
        RECT r = item_rect(row, t, i);
        if (i == t.sel) r = {r.left - scaled(hwnd, 2), row.inner.top, r.right + scaled(hwnd, 2), r.bottom};
        if (inside(r, p.x, p.y)) return i;
    }
    return -1;
}

void changed(HWND hwnd, TabControl& t) {
    clamp_scroll(row_of(hwnd, t), t);
    InvalidateRect(hwnd, nullptr, false);
}

// A selection asked for by the user: the parent may refuse it.
void user_select(HWND hwnd, int index) {
    TabControl* t = g_tabs.get(hwnd);
    if (!t || index == t->sel || index < 0 || index >= static_cast<int>(t->tabs.size())) return;
    NMHDR asking{};
    if (notify_parent(hwnd, asking, TCN_SELCHANGING)) return;
    t = g_tabs.get(hwnd);  // the parent may have changed the tabs, or destroyed us
    if (!t || index >= static_cast<int>(t->tabs.size())) return;
    t->sel = index;
    ensure_visible(hwnd, *t, index);
    InvalidateRect(hwnd, nullptr, false);
    NMHDR told{};
    notify_parent(hwnd, told, TCN_SELCHANGE);
}

LRESULT select_silently(HWND hwnd, TabControl& t, WPARAM index) {
    if (index >= t.tabs.size()) return -1;
    int old = t.sel;
    t.sel = static_cast<int>(index);
    ensure_visible(hwnd, t, t.sel);
    InvalidateRect(hwnd, nullptr, false);
    return old;
}

LRESULT insert(HWND hwnd, TabControl& t, WPARAM index, const TCITEMW* item) {
    if (!item || static_cast<intptr_t>(index) < 0) return -1;
    size_t at = std::min<size_t>(index, t.tabs.size());
    Tab tab;
    if ((item->mask & TCIF_TEXT) && item->pszText) tab.text = item->pszText;
    if (item->mask & TCIF_PARAM) tab.param = item->lParam;
    if (item->mask & TCIF_IMAGE) tab.image = item->iImage;
    if (item->mask & TCIF_STATE) tab.state = item->dwState & item->dwStateMask;
    t.tabs.insert(t.tabs.begin() + static_cast<ptrdiff_t>(at), std::move(tab));
    if (t.sel < 0) t.sel = 0;  // the first tab is selected from the start
    else if (static_cast<int>(at) <= t.sel && t.tabs.size() > 1) ++t.sel;
    changed(hwnd, t);
    return static_cast<LRESULT>(at);
}

bool erase(HWND hwnd, TabControl& t, WPARAM index) {
    if (index >= t.tabs.size()) return false;
    t.tabs.erase(t.tabs.begin() + static_cast<ptrdiff_t>(index));
    int i = static_cast<int>(index);
    // A deleted selection passes to the tab that takes its place.
    if (i < t.sel || t.sel >= static_cast<int>(t.tabs.size())) --t.sel;
    if (t.hot >= static_cast<int>(t.tabs.size())) t.hot = -1;
    changed(hwnd, t);
    return true;
}

// Copies text into a caller's buffer of max bytes, whole characters and a NUL.
void copy_text(const std::string& text, char* out, int max) {
    if (!out || max <= 0) return;
    size_t n = std::min(text.size(), static_cast<size_t>(max - 1));
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    std::memcpy(out, text.data(), n);
    out[n] = 0;
}

// TCM_ADJUSTRECT: the display area of a window rectangle, or (larger) the
// window rectangle around a display area.
void adjust_rect(HWND hwnd, const TabControl& t, bool larger, RECT* r) {
    int32_t edge = (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? 2 : 0;
    int32_t left = edge + scaled(hwnd, 4), top = edge + row_of(hwnd, t).height + scaled(hwnd, 2);
    int32_t right = edge + scaled(hwnd, 2), bottom = edge + scaled(hwnd, 3);
    int sign = larger ? -1 : 1;
    r->left += sign * left;
    r->top += sign * top;
    r->right -= sign * right;
    r->bottom -= sign * bottom;
}

// ---- drawing ------------------------------------------------------------------

COLORREF page_colour() { return sys_colour(COLOR_WINDOW); }
COLORREF frame_colour() { return dark_theme() ? 0x505050 : 0xD9D9D9; }

void draw_tab(HWND hwnd, cairo_t* cr, const Row& row, const TabControl& t, int i, bool enabled) {
    RECT r = item_rect(row, t, i);
    bool selected = i == t.sel;
    if (selected) r = {r.left - scaled(hwnd, 2), row.inner.top, r.right + scaled(hwnd, 2), r.bottom + 1};
    COLORREF fill = selected ? page_colour()
                    : (i == t.hot && enabled) ? (dark_theme() ? 0x3A3A3A : 0xF9EAD8)
                                              : sys_colour(COLOR_BTNFACE);
    fill_rect(cr, r, fill);
    frame_rect(cr, selected ? RECT{r.left, r.top, r.right, r.bottom + 1} : r, frame_colour());
    if (selected) fill_rect(cr, {r.left + 1, r.bottom - 1, r.right - 1, r.bottom}, fill);  // open into the page
    COLORREF ink = enabled ? sys_colour(COLOR_BTNTEXT) : sys_colour(COLOR_GRAYTEXT);
    RECT box{r.left, r.top, r.right, r.top + row.item_h};
    SIZE drawn = draw_text(cr, hwnd, t.font, t.tabs[static_cast<size_t>(i)].text, box,
                           DT_CENTER | DT_VCENTER | DT_SINGLELINE, ink);
    if (selected && t.focused) {
        int32_t cx = (box.left + box.right) / 2, cy = (box.top + box.bottom) / 2;
        draw_focus_rect(cr, {cx - drawn.cx / 2 - 2, cy - drawn.cy / 2, cx + (drawn.cx + 1) / 2 + 2, cy + (drawn.cy + 1) / 2 + 1});
    }
}

void draw_arrow_button(HWND hwnd, cairo_t* cr, const Row& row, const TabControl& t, bool left, bool enabled) {
    RECT a = row.arrow(left);
    bool usable = enabled && (left ? t.first > 0 : t.first < last_first(row));
    fill_rect(cr, a, sys_colour(COLOR_BTNFACE));
    frame_rect(cr, a, frame_colour());
    set_colour(cr, usable ? sys_colour(COLOR_BTNTEXT) : sys_colour(COLOR_GRAYTEXT));
    detail::draw_scroll_arrow(cr, (a.left + a.right) / 2.0, (a.top + a.bottom) / 2.0, scaled(hwnd, 4), false, left);
}

void paint(HWND hwnd, TabControl& t) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    bool enabled = IsWindowEnabled(hwnd);
    Row row = row_of(hwnd, t);
    RECT r = painting.r;
    RECT page{r.left, r.top + row.height, r.right, r.bottom};
    fill_rect(cr, {r.left, r.top, r.right, page.top}, sys_colour(COLOR_BTNFACE));
    fill_rect(cr, page, page_colour());
    frame_rect(cr, page, frame_colour());
    cairo_save(cr);
    cairo_rectangle(cr, r.left, r.top, row.end - r.left, r.height());
    cairo_clip(cr);
    for (int i = t.first; i < static_cast<int>(t.tabs.size()); ++i)
        if (i != t.sel) draw_tab(hwnd, cr, row, t, i, enabled);
    if (t.sel >= t.first && t.sel < static_cast<int>(t.tabs.size())) draw_tab(hwnd, cr, row, t, t.sel, enabled);
    cairo_restore(cr);
    if (row.arrows) {
        draw_arrow_button(hwnd, cr, row, t, true, enabled);
        draw_arrow_button(hwnd, cr, row, t, false, enabled);
    }
}

// ---- the procedure ------------------------------------------------------------

void press(HWND hwnd, POINT p) {
    if (!(style_of(hwnd) & TCS_FOCUSNEVER)) SetFocus(hwnd);
    TabControl* t = g_tabs.get(hwnd);
    if (!t) return;
    Row row = row_of(hwnd, *t);
    if (row.arrows && p.y < row.inner.top + row.item_h) {
        if (inside(row.arrow(true), p.x, p.y) && t->first > 0) {
            --t->first;
            InvalidateRect(hwnd, nullptr, false);
            return;
        }
        if (inside(row.arrow(false), p.x, p.y) && t->first < last_first(row)) {
            ++t->first;
            InvalidateRect(hwnd, nullptr, false);
            return;
        }
    }
    user_select(hwnd, tab_at(hwnd, *t, p));
}

void track_hot(HWND hwnd, TabControl& t, POINT p) {
    int hot = tab_at(hwnd, t, p);
    if (hot == t.hot) return;
    if (t.hot < 0) track_mouse_leave(hwnd);
    t.hot = hot;
    InvalidateRect(hwnd, nullptr, false);
}

LRESULT CALLBACK_tab(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TabControl* t = state_for(g_tabs, hwnd, msg);
    if (!t || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT result = 0;
    if (common_message(hwnd, *t, msg, wp, lp, &result)) {
        if (msg == WM_SETFONT) clamp_scroll(row_of(hwnd, *t), *t);
        return result;
    }
    switch (msg) {
        case WM_PAINT: paint(hwnd, *t); return 0;
        case WM_SIZE: changed(hwnd, *t); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: press(hwnd, {x_of(lp), y_of(lp)}); return 0;
        case WM_MOUSEMOVE: track_hot(hwnd, *t, {x_of(lp), y_of(lp)}); return 0;
        case WM_MOUSELEAVE:
            t->hot = -1;
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_LEFT && t->sel > 0) user_select(hwnd, t->sel - 1);
            else if (wp == VK_RIGHT && t->sel + 1 < static_cast<int>(t->tabs.size())) user_select(hwnd, t->sel + 1);
            return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: note_focus(hwnd, t->focused, msg); return 0;
        case TCM_GETITEMCOUNT: return static_cast<LRESULT>(t->tabs.size());
        case TCM_GETROWCOUNT: return 1;
        case TCM_INSERTITEMW: return insert(hwnd, *t, wp, reinterpret_cast<const TCITEMW*>(lp));
        case TCM_DELETEITEM: return erase(hwnd, *t, wp);
        case TCM_DELETEALLITEMS:
            t->tabs.clear();
            t->sel = t->hot = -1;
            changed(hwnd, *t);
            return 1;
        case TCM_GETCURSEL:
        case TCM_GETCURFOCUS: return t->sel;
        case TCM_SETCURSEL: return select_silently(hwnd, *t, wp);
        case TCM_SETCURFOCUS: select_silently(hwnd, *t, wp); return 0;
        case TCM_SETITEMW:
        case TCM_GETITEMW: {
            auto* item = reinterpret_cast<TCITEMW*>(lp);
            if (!item || wp >= t->tabs.size()) return 0;
            Tab& tab = t->tabs[wp];
            if (msg == TCM_GETITEMW) {
                if (item->mask & TCIF_TEXT) copy_text(tab.text, item->pszText, item->cchTextMax);
                if (item->mask & TCIF_PARAM) item->lParam = tab.param;
                if (item->mask & TCIF_IMAGE) item->iImage = tab.image;
                if (item->mask & TCIF_STATE) item->dwState = tab.state & item->dwStateMask;
                return 1;
            }
            if ((item->mask & TCIF_TEXT) && item->pszText) tab.text = item->pszText;
            if (item->mask & TCIF_PARAM) tab.param = item->lParam;
            if (item->mask & TCIF_IMAGE) tab.image = item->iImage;
            if (item->mask & TCIF_STATE) tab.state = (tab.state & ~item->dwStateMask) | (item->dwState & item->dwStateMask);
            changed(hwnd, *t);
            return 1;
        }
        case TCM_GETITEMRECT:
            if (!lp || wp >= t->tabs.size()) return 0;
            *reinterpret_cast<RECT*>(lp) = item_rect(row_of(hwnd, *t), *t, static_cast<int>(wp));
            return 1;
        case TCM_HITTEST: {
            auto* info = reinterpret_cast<TCHITTESTINFO*>(lp);
            if (!info) return -1;
            int i = tab_at(hwnd, *t, info->pt);
            info->flags = i < 0 ? TCHT_NOWHERE : TCHT_ONITEMLABEL;
            return i;
        }
        case TCM_ADJUSTRECT:
            if (lp) adjust_rect(hwnd, *t, wp != 0, reinterpret_cast<RECT*>(lp));
            return 0;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_tab_control() { register_control(WC_TABCONTROL, CALLBACK_tab, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
