// Menu drawing: popups (a check column, labels with their `&` underline, the
// shortcut column right-aligned, submenu arrows, separators) in the theme's
// colours at the window's DPI.
#include <algorithm>

#include "core/case_folding.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/menu_internal.hpp"

namespace zun::win::menus {

using namespace controls;

namespace {

// Logical units at 96 DPI.
constexpr double k_check_column = 24, k_column_gap = 24, k_arrow_column = 20, k_item_pad = 4,
                 k_separator = 7, k_border = 1, k_bar_pad_x = 7, k_bar_pad_y = 3;

int row_height(HWND hwnd) { return measure_text(hwnd, 0, "Mg", -1, DT_SINGLELINE).cy + scaled(hwnd, 2 * k_item_pad); }

}  // namespace

std::string_view label_of(const Item& item) {
    std::string_view t = item.text;
    return t.substr(0, t.find('\t'));
}

std::string_view shortcut_of(const Item& item) {
    std::string_view t = item.text;
    size_t tab = t.find('\t');
    return tab == std::string_view::npos ? std::string_view() : t.substr(tab + 1);
}

char32_t mnemonic_of(const Item& item) {
    if (item.separator()) return 0;
    int at = -1;
    std::string shown = strip_prefix(label_of(item), &at);
    if (at < 0 || static_cast<size_t>(at) >= shown.size()) return 0;
    unsigned char c = static_cast<unsigned char>(shown[static_cast<size_t>(at)]);
    if (c >= 0x80) {
        // a UTF-8 letter: decode it whole
        char32_t cp = 0;
        int n = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
        cp = c & (0x3F >> n);
        for (int i = 1; i <= n && static_cast<size_t>(at + i) < shown.size(); ++i)
            cp = cp << 6 | (static_cast<unsigned char>(shown[static_cast<size_t>(at + i)]) & 0x3F);
        return static_cast<char32_t>(unicode::change_case(cp, false));
    }
    return static_cast<char32_t>(c >= 'A' && c <= 'Z' ? c + 32 : c);
}

PopupLayout layout_popup(HWND hwnd, const Menu& menu) {
    PopupLayout l;
    const int border = scaled(hwnd, k_border), row = row_height(hwnd), sep = scaled(hwnd, k_separator);
    int32_t label_w = 0, shortcut_w = 0;
    for (const Item& it : menu.items) {
        if (it.separator()) continue;
        label_w = std::max(label_w, measure_text(hwnd, 0, label_of(it), -1, DT_SINGLELINE).cx);
        std::string_view sc = shortcut_of(it);
        if (!sc.empty()) shortcut_w = std::max(shortcut_w, measure_text(hwnd, 0, sc, -1, DT_SINGLELINE | DT_NOPREFIX).cx);
    }
    l.label_x = border + scaled(hwnd, k_check_column);
    l.shortcut_r = l.label_x + label_w + (shortcut_w ? scaled(hwnd, k_column_gap) + shortcut_w : 0);
    int32_t width = l.shortcut_r + scaled(hwnd, k_arrow_column) + border;
    int32_t y = border;
    for (const Item& it : menu.items) {
        int32_t h = it.separator() ? sep : row;
        l.rows.push_back({border, y, width - border, y + h});
        y += h;
    }
    l.size = {width, y + border};
    return l;
}

void paint_popup(HDC cr, HWND hwnd, const Menu& menu, int hot) {
    PopupLayout l = layout_popup(hwnd, menu);
    RECT whole{0, 0, l.size.cx, l.size.cy};
    fill_rect(cr, whole, sys_colour(COLOR_BTNFACE));
    frame_rect(cr, whole, sys_colour(COLOR_BTNSHADOW));
    for (size_t i = 0; i < menu.items.size() && i < l.rows.size(); ++i) {
        const Item& it = menu.items[i];
        const RECT& r = l.rows[i];
        if (it.separator()) {
            int32_t y = (r.top + r.bottom) / 2;
            fill_rect(cr, {r.left + scaled(hwnd, 2), y, r.right - scaled(hwnd, 2), y + std::max(1, scaled(hwnd, 1))},
                      sys_colour(COLOR_BTNSHADOW));
            continue;
        }
        bool lit = static_cast<int>(i) == hot;
        if (lit) fill_rect(cr, r, sys_colour(COLOR_HIGHLIGHT));
        COLORREF ink = it.grayed() ? sys_colour(COLOR_GRAYTEXT) : lit ? sys_colour(COLOR_HIGHLIGHTTEXT)
                                                                         : sys_colour(COLOR_BTNTEXT);
        const uint32_t line = DT_SINGLELINE | DT_VCENTER;
        draw_text(cr, hwnd, 0, label_of(it), {l.label_x, r.top, l.shortcut_r, r.bottom}, line | DT_LEFT, ink);
        std::string_view sc = shortcut_of(it);
        if (!sc.empty())
            draw_text(cr, hwnd, 0, sc, {l.label_x, r.top, l.shortcut_r, r.bottom}, line | DT_RIGHT | DT_NOPREFIX, ink);
        if (it.state & MFS_CHECKED) {
            double cx = r.left + scaled(hwnd, k_check_column) / 2.0, cy = (r.top + r.bottom) / 2.0, d = scaled(hwnd, 4);
            set_colour(cr, ink);
            cairo_set_line_width(cr, std::max(1.0, scale_of(hwnd) * 1.5));
            cairo_move_to(cr, cx - d, cy);
            cairo_line_to(cr, cx - d / 3, cy + d * 2 / 3);
            cairo_line_to(cr, cx + d, cy - d * 2 / 3);
            cairo_stroke(cr);
        }
        if (it.sub) {
            double ax = r.right - scaled(hwnd, k_arrow_column) / 2.0, ay = (r.top + r.bottom) / 2.0, d = scaled(hwnd, 3.5);
            set_colour(cr, ink);
            cairo_move_to(cr, ax - d / 2, ay - d);
            cairo_line_to(cr, ax + d / 2, ay);
            cairo_line_to(cr, ax - d / 2, ay + d);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }
}

int32_t bar_height(HWND hwnd) {
    return measure_text(hwnd, 0, "Mg", -1, DT_SINGLELINE).cy + scaled(hwnd, 2 * k_bar_pad_y);
}

std::vector<RECT> layout_bar(HWND hwnd, const Menu& menu) {
    std::vector<RECT> out;
    const int32_t h = bar_height(hwnd), pad = scaled(hwnd, k_bar_pad_x);
    int32_t x = 0;
    for (const Item& it : menu.items) {
        int32_t w = it.separator() ? pad : measure_text(hwnd, 0, label_of(it), -1, DT_SINGLELINE).cx + 2 * pad;
        out.push_back({x, 0, x + w, h});
        x += w;
    }
    return out;
}

void paint_bar(HDC cr, HWND hwnd, const Menu& menu, int hot, int32_t width) {
    const int32_t h = bar_height(hwnd);
    fill_rect(cr, {0, 0, width, h}, sys_colour(COLOR_BTNFACE));
    fill_rect(cr, {0, h - 1, width, h}, sys_colour(COLOR_3DLIGHT));
    std::vector<RECT> rows = layout_bar(hwnd, menu);
    for (size_t i = 0; i < rows.size(); ++i) {
        const Item& it = menu.items[i];
        if (it.separator()) continue;
        bool lit = static_cast<int>(i) == hot;
        RECT r = rows[i];
        if (lit) fill_rect(cr, {r.left, r.top, r.right, r.bottom - 1}, sys_colour(COLOR_HIGHLIGHT));
        COLORREF ink = it.grayed() ? sys_colour(COLOR_GRAYTEXT) : lit ? sys_colour(COLOR_HIGHLIGHTTEXT)
                                                                         : sys_colour(COLOR_BTNTEXT);
        draw_text(cr, hwnd, 0, label_of(it), r, DT_SINGLELINE | DT_VCENTER | DT_CENTER, ink);
    }
}

}  // namespace zun::win::menus
