// EDIT's painting: the colours the parent answers (WM_CTLCOLOREDIT, or
// WM_CTLCOLORSTATIC when read-only or disabled), then only the rows that meet
// the update rectangle, the selection and the caret.
#include <algorithm>
#include <memory>

#include "platform/controls/edit_internal.hpp"

namespace zun::win::controls::edit {

namespace {

// Fills the background as the parent says; answers the text colour.
COLORREF background(HWND hwnd, cairo_t* cr, const RECT& r) {
    bool enabled = IsWindowEnabled(hwnd);
    if (!enabled || (style_of(hwnd) & ES_READONLY)) {
        COLORREF ink = parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, r,
                                      sys_colour(enabled ? int{COLOR_WINDOWTEXT} : int{COLOR_GRAYTEXT}));
        return enabled ? ink : sys_colour(COLOR_GRAYTEXT);
    }
    return parent_colours(hwnd, WM_CTLCOLOREDIT, cr, r, sys_colour(COLOR_WINDOWTEXT), sys_colour(COLOR_WINDOW));
}

RECT intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
}

void draw_cue(HWND hwnd, Edit& e, cairo_t* cr, const RECT& tr) {
    uint32_t style = style_of(hwnd);
    uint32_t align = (style & ES_CENTER) == ES_CENTER ? DT_CENTER : (style & ES_RIGHT) ? DT_RIGHT : DT_LEFT;
    uint32_t flags = DT_NOPREFIX | align | (multiline(hwnd) ? DT_WORDBREAK : DT_SINGLELINE | DT_VCENTER);
    draw_text(cr, hwnd, e.font, e.cue, tr, flags, sys_colour(COLOR_GRAYTEXT));
}

// The selected part of one row, highlighted and drawn again in its colours.
void draw_selection(Edit& e, cairo_t* cr, const LineLayout& ll, PangoLayoutLine* pl, int x, int y) {
    size_t start = e.buf.line_start(ll.line), end = e.buf.line_end(ll.line);
    if (e.lo() > end || e.hi() < start) return;
    int from = std::max(ll.shown_index(e, std::max(e.lo(), start)), pl->start_index);
    int to = std::min(ll.shown_index(e, std::min(e.hi(), end)), pl->start_index + pl->length);
    if (from >= to) return;
    int* ranges = nullptr;
    int n = 0;
    pango_layout_line_get_x_ranges(pl, from, to, &ranges, &n);
    for (int i = 0; i < n; ++i) {
        int x0 = x + PANGO_PIXELS(ranges[2 * i]), x1 = x + PANGO_PIXELS(ranges[2 * i + 1]);
        cairo_save(cr);
        cairo_rectangle(cr, x0, y, x1 - x0, e.line_h);
        cairo_clip(cr);
        fill_rect(cr, {x0, y, x1, y + e.line_h}, sys_colour(COLOR_HIGHLIGHT));
        set_colour(cr, sys_colour(COLOR_HIGHLIGHTTEXT));
        cairo_move_to(cr, x, y + e.baseline);
        pango_cairo_show_layout_line(cr, pl);
        cairo_restore(cr);
    }
    g_free(ranges);
}

void draw_rows(HWND hwnd, Edit& e, cairo_t* cr, const RECT& area, COLORREF ink) {
    prepare(hwnd, e);
    RECT tr = text_rect(hwnd);
    int first = 0, last = 0;
    if (multiline(hwnd)) {
        first = e.top_row + std::max(0, (area.top - tr.top) / e.line_h);
        last = std::min(e.top_row + (area.bottom - tr.top + e.line_h - 1) / e.line_h, e.first_row.back()) - 1;
    }
    bool show_selection = e.lo() != e.hi() && (e.focused || (style_of(hwnd) & ES_NOHIDESEL));
    std::unique_ptr<LineLayout> ll;
    for (int row = first; row <= last; ++row) {
        auto [line, k] = line_of_row(hwnd, e, row);
        if (!ll || ll->line != line) ll = std::make_unique<LineLayout>(hwnd, e, line);
        if (k >= ll->rows()) continue;
        PangoLayoutLine* pl = ll->row(k);
        int width = ll->row_width(k), x = row_left(hwnd, e, width), y = row_top(hwnd, e, row);
        // An opaque DC paints the text's own background in its colour.
        if (GetBkMode(cr) == OPAQUE && width > 0) fill_rect(cr, {x, y, x + width, y + e.line_h}, GetBkColor(cr));
        set_colour(cr, ink);
        cairo_move_to(cr, x, y + e.baseline);
        pango_cairo_show_layout_line(cr, pl);
        if (show_selection) draw_selection(e, cr, *ll, pl, x, y);
    }
}

}  // namespace

RECT caret_rect(HWND hwnd, Edit& e) {
    RowPlace p = place_of(hwnd, e, e.caret);
    return {p.x, p.y, p.x + std::max(1, scaled(hwnd, 1)), p.y + e.line_h};
}

void paint(HWND hwnd, Edit& e) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    COLORREF ink = background(hwnd, cr, painting.r);
    RECT tr = text_rect(hwnd);
    RECT area = intersect(intersect(tr, painting.ps.rcPaint), painting.r);
    if (area.width() <= 0 || area.height() <= 0) return;
    cairo_save(cr);
    cairo_rectangle(cr, area.left, area.top, area.width(), area.height());
    cairo_clip(cr);
    if (e.buf.size() == 0 && !e.cue.empty() && (!e.focused || e.cue_when_focused)) draw_cue(hwnd, e, cr, tr);
    else draw_rows(hwnd, e, cr, area, ink);
    if (e.focused && e.caret_on) {
        e.caret_drawn = caret_rect(hwnd, e);
        fill_rect(cr, e.caret_drawn, ink);
    }
    cairo_restore(cr);
}

}  // namespace zun::win::controls::edit
