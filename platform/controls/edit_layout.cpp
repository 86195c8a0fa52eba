// EDIT's rows: each hard line is laid out by pango on its own, and only when
// it is shown, measured or changed; the rows each line takes are kept by
// line, so a key typed into a long text lays out one line, not the text.
#include <algorithm>

#include "platform/controls/edit_internal.hpp"
#include "platform/controls/fonts.hpp"

namespace zun::win::controls::edit {

void Edit::forget_layouts() {
    for (auto& [text, layout] : layouts) g_object_unref(layout);
    layouts.clear();
}

Edit::~Edit() {
    forget_layouts();
    if (tab_array) pango_tab_array_free(tab_array);
    if (context) g_object_unref(context);
}

bool multiline(HWND hwnd) { return style_of(hwnd) & ES_MULTILINE; }
bool wraps(HWND hwnd) { return multiline(hwnd) && !(style_of(hwnd) & ES_AUTOHSCROLL); }

RECT text_rect(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    if (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) r = inset(r, 2);
    int pad = scaled(hwnd, 2);
    int top = multiline(hwnd) ? scaled(hwnd, 1) : 0;
    return {r.left + pad, r.top + top, std::max(r.left + pad, r.right - pad), std::max(r.top + top, r.bottom)};
}

namespace {

PangoLayout* new_layout(Edit& e, std::string_view text) {
    PangoLayout* layout = pango_layout_new(e.context);
    pango_layout_set_single_paragraph_mode(layout, true);
    if (e.tab_array) pango_layout_set_tabs(layout, e.tab_array);
    pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
    return layout;
}

void make_tabs(Edit& e) {
    if (e.tab_array) pango_tab_array_free(e.tab_array);
    // Stops are in dialog units, four to an average character.
    std::vector<int32_t> stops = e.tabs.empty() ? std::vector<int32_t>{32} : e.tabs;
    auto pixels = [&](int32_t stop) {
        return static_cast<int>(std::clamp<int64_t>(int64_t(stop) * e.char_w / 4, 1, k_pango_max_px));
    };
    if (stops.size() == 1) {
        e.tab_array = pango_tab_array_new(1, true);
        pango_tab_array_set_tab(e.tab_array, 0, PANGO_TAB_LEFT, pixels(stops[0]));
        return;
    }
    e.tab_array = pango_tab_array_new(static_cast<int>(stops.size()), true);
    for (size_t i = 0; i < stops.size(); ++i)
        pango_tab_array_set_tab(e.tab_array, static_cast<int>(i), PANGO_TAB_LEFT, pixels(stops[i]));
}

// The first tab stop right of x (pango units).
int64_t next_tab_stop(const Edit& e, int64_t x) {
    int n = pango_tab_array_get_size(e.tab_array);
    int64_t last = 0, step = pango_units(8 * int64_t(e.char_w));
    for (int i = 0; i < n; ++i) {
        PangoTabAlign align;
        int at = 0;
        pango_tab_array_get_tab(e.tab_array, i, &align, &at);
        at = pango_units(at);
        if (at > x) return at;
        step = i ? at - last : at;
        last = at;
    }
    step = std::max<int64_t>(step, PANGO_SCALE);
    return last + ((x - last) / step + 1) * step;
}

void make_context(HWND hwnd, Edit& e) {
    e.forget_layouts();
    if (e.context) g_object_unref(e.context);
    e.context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    pango_cairo_context_set_resolution(e.context, 96.0 * scale_of(hwnd));
    pango_context_set_font_description(e.context, font_description(e.font));
    cairo_font_options_t* options = control_font_options(e.font);
    pango_cairo_context_set_font_options(e.context, options);
    e.layout_rendering = control_rendering(e.font);
    cairo_font_options_destroy(options);
    if (e.tab_array) pango_tab_array_free(e.tab_array);
    e.tab_array = nullptr;
    PangoLayout* probe = new_layout(e, "Ag");
    PangoRectangle logical;
    pango_layout_get_pixel_extents(probe, nullptr, &logical);
    e.line_h = std::max(1, logical.height);
    e.baseline = PANGO_PIXELS(pango_layout_get_baseline(probe));
    pango_layout_set_text(probe, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ", 52);
    pango_layout_get_pixel_extents(probe, nullptr, &logical);
    e.char_w = std::max(1, (logical.width + 26) / 52);
    g_object_unref(probe);
    make_tabs(e);
    e.layout_font = e.font;
    e.layout_dpi = GetDpiForWindow(hwnd);
    e.advances.clear();
    e.buf.forget_layout();
    e.rows_known = false;
}

// A hard line's width from the advances of its characters, without shaping
// it (kerning left out): enough for the horizontal bar's range, and to know
// that a line well inside the wrapping width takes one row.
int estimated_width(Edit& e, size_t line) {
    std::string_view text = std::string_view(e.buf.text()).substr(e.buf.line_start(line), e.buf.line_end(line) - e.buf.line_start(line));
    int64_t x = 0;  // pango units of a long line pass the int range
    for (size_t i = 0; i < text.size();) {
        char32_t c = decode_at(text, i);
        size_t n = 1;
        while (i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80) ++n;
        if (c == U'\t') {
            x = next_tab_stop(e, x);
        } else {
            auto it = e.advances.find(c);
            if (it == e.advances.end()) {
                PangoLayout* one = new_layout(e, text.substr(i, n));
                PangoRectangle logical;
                pango_layout_get_extents(one, nullptr, &logical);
                g_object_unref(one);
                it = e.advances.emplace(c, logical.width).first;
            }
            x += it->second;
        }
        i += n;
    }
    return static_cast<int>(std::min<int64_t>((x + PANGO_SCALE - 1) / PANGO_SCALE, INT32_MAX));
}

int rows_of_line(HWND hwnd, Edit& e, size_t line) {
    TextBuffer::Line& l = e.buf.line(line);
    if (!l.rows) {
        int margin = e.wrap_width / 10 + e.char_w;
        l.rows = estimated_width(e, line) < e.wrap_width - margin ? 1 : LineLayout(hwnd, e, line).rows();
    }
    return l.rows;
}

}  // namespace

void prepare(HWND hwnd, Edit& e) {
    if (!e.context || e.layout_font != e.font || e.layout_dpi != GetDpiForWindow(hwnd) ||
        !(e.layout_rendering == control_rendering(e.font)))
        make_context(hwnd, e);
    if (wraps(hwnd)) {
        int width = std::max(1, text_rect(hwnd).width() - 1);
        if (width != e.wrap_width) {
            e.wrap_width = width;
            e.forget_layouts();
            e.buf.forget_layout();
            e.rows_known = false;
        }
    }
    if (e.rows_known) return;
    size_t n = e.buf.line_count();
    e.first_row.resize(n + 1);
    bool wrap = wraps(hwnd);
    int row = 0;
    for (size_t i = 0; i < n; ++i) {
        e.first_row[i] = row;
        row += wrap ? rows_of_line(hwnd, e, i) : 1;
    }
    e.first_row[n] = row;
    e.rows_known = true;
}

int row_count(HWND hwnd, Edit& e) {
    prepare(hwnd, e);
    return e.first_row.back();
}

int visible_rows(HWND hwnd, Edit& e) {
    prepare(hwnd, e);
    return multiline(hwnd) ? std::max(1, text_rect(hwnd).height() / e.line_h) : 1;
}

LineLayout::LineLayout(HWND hwnd, Edit& e, size_t index) : line(index) {
    const std::string& text = e.buf.text();
    size_t start = e.buf.line_start(index), end = e.buf.line_end(index);
    std::string_view part = std::string_view(text).substr(start, end - start);
    if (e.password) {
        std::string bullet;
        append_utf8(bullet, e.password);
        size_t n = count_chars(part);
        shown.reserve(n * bullet.size());
        for (size_t i = 0; i < n; ++i) shown += bullet;
    } else if (!e.buf.multiline()) {
        // One line shows its breaks as spaces, byte for byte.
        shown.assign(part);
        std::replace_if(shown.begin(), shown.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    }
    std::string_view text_shown = e.password || !e.buf.multiline() ? std::string_view(shown) : part;
    std::string key(text_shown);
    auto it = e.layouts.find(key);
    if (it != e.layouts.end()) {
        layout = PANGO_LAYOUT(g_object_ref(it->second));
        return;
    }
    layout = new_layout(e, text_shown);
    if (wraps(hwnd)) {
        pango_layout_set_width(layout, pango_units(e.wrap_width));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    // A line taken for one row from its estimate that wraps after all: the
    // rows are counted again and shown again.
    TextBuffer::Line& l = e.buf.line(index);
    if (l.rows && l.rows != rows()) {
        l.rows = rows();
        e.rows_known = false;
        InvalidateRect(hwnd, nullptr, false);
    }
    if (e.layouts.size() >= 160) e.forget_layouts();  // bounded: a screenful or two, then starts over
    e.layouts.emplace(std::move(key), PANGO_LAYOUT(g_object_ref(layout)));
}

LineLayout::~LineLayout() { g_object_unref(layout); }

int LineLayout::row_width(int k) const {
    PangoRectangle logical;
    pango_layout_line_get_pixel_extents(row(k), nullptr, &logical);
    return logical.width;
}

int LineLayout::width() const {
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    return w;
}

int LineLayout::shown_index(const Edit& e, size_t byte) const {
    size_t start = e.buf.line_start(line);
    byte = std::clamp(byte, start, e.buf.line_end(line));
    if (!e.password) return static_cast<int>(byte - start);
    std::string bullet;
    append_utf8(bullet, e.password);
    return static_cast<int>(count_chars(std::string_view(e.buf.text()).substr(start, byte - start)) * bullet.size());
}

size_t LineLayout::buffer_byte(const Edit& e, int index) const {
    size_t start = e.buf.line_start(line), end = e.buf.line_end(line);
    if (!e.password) return e.buf.snap(std::min(end, start + static_cast<size_t>(std::max(index, 0))));
    std::string bullet;
    append_utf8(bullet, e.password);
    size_t k = static_cast<size_t>(std::max(index, 0)) / bullet.size();
    return start + prefix_bytes(std::string_view(e.buf.text()).substr(start, end - start), k);
}

int row_left(HWND hwnd, const Edit& e, int width) {
    RECT tr = text_rect(hwnd);
    int room = tr.width() - width;
    uint32_t style = style_of(hwnd);
    int shift = 0;
    if (room > 0 && (style & ES_CENTER) == ES_CENTER) shift = room / 2;
    else if (room > 0 && (style & ES_RIGHT)) shift = room;
    return tr.left + shift - e.scroll_x;
}

int row_top(HWND hwnd, Edit& e, int row) {
    RECT tr = text_rect(hwnd);
    prepare(hwnd, e);
    if (!multiline(hwnd)) return tr.top + std::max(0, (tr.height() - e.line_h) / 2);
    return tr.top + (row - e.top_row) * e.line_h;
}

std::pair<size_t, int> line_of_row(HWND hwnd, Edit& e, int row) {
    prepare(hwnd, e);
    row = std::clamp(row, 0, std::max(0, e.first_row.back() - 1));
    auto it = std::upper_bound(e.first_row.begin(), e.first_row.end() - 1, row);
    size_t line = static_cast<size_t>(it - e.first_row.begin()) - 1;
    return {line, row - e.first_row[line]};
}

std::pair<size_t, size_t> row_range(HWND hwnd, Edit& e, int row) {
    auto [line, k] = line_of_row(hwnd, e, row);
    LineLayout ll(hwnd, e, line);
    PangoLayoutLine* pl = ll.row(std::min(k, ll.rows() - 1));
    return {ll.buffer_byte(e, pl->start_index), ll.buffer_byte(e, pl->start_index + pl->length)};
}

RowPlace place_of(HWND hwnd, Edit& e, size_t byte) {
    prepare(hwnd, e);
    size_t line = e.buf.line_of(byte);
    LineLayout ll(hwnd, e, line);
    int k = 0, x = 0;
    pango_layout_index_to_line_x(ll.layout, ll.shown_index(e, byte), false, &k, &x);
    k = std::clamp(k, 0, ll.rows() - 1);
    int row = e.first_row[line] + k;
    return {row, row_left(hwnd, e, ll.row_width(k)) + PANGO_PIXELS(x), row_top(hwnd, e, row)};
}

size_t byte_at(HWND hwnd, Edit& e, int x, int y) {
    prepare(hwnd, e);
    int row = 0;
    if (multiline(hwnd)) {
        int dy = y - text_rect(hwnd).top;
        row = e.top_row + (dy < 0 ? -((e.line_h - 1 - dy) / e.line_h) : dy / e.line_h);
    }
    auto [line, k] = line_of_row(hwnd, e, row);
    LineLayout ll(hwnd, e, line);
    k = std::min(k, ll.rows() - 1);
    int index = 0, trailing = 0;
    pango_layout_line_x_to_index(ll.row(k), pango_units(int64_t(x) - row_left(hwnd, e, ll.row_width(k))), &index, &trailing);
    size_t byte = ll.buffer_byte(e, index);
    for (; trailing > 0; --trailing) byte = std::min(e.buf.next(byte), e.buf.line_end(line));
    return byte;
}

int longest_width(HWND hwnd, Edit& e) {
    prepare(hwnd, e);
    int best = 0;
    for (size_t i = 0; i < e.buf.line_count(); ++i) {
        TextBuffer::Line& l = e.buf.line(i);
        if (l.width < 0) l.width = wraps(hwnd) ? 0 : estimated_width(e, i);
        best = std::max(best, l.width);
    }
    return best;
}

int text_width(HWND hwnd, Edit& e, std::string_view utf8) {
    prepare(hwnd, e);
    PangoLayout* layout = new_layout(e, utf8);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    return w;
}

bool scroll_to(HWND hwnd, Edit& e, int top_row, int32_t x) {
    int rows = row_count(hwnd, e), vis = visible_rows(hwnd, e);
    top_row = multiline(hwnd) ? std::clamp(top_row, 0, std::max(0, rows - vis)) : 0;
    x = std::max(0, x);
    if (top_row == e.top_row && x == e.scroll_x) return false;
    e.top_row = top_row;
    e.scroll_x = x;
    InvalidateRect(hwnd, nullptr, false);
    update_bars(hwnd, e);
    return true;
}

void scroll_to_caret(HWND hwnd, Edit& e) {
    RowPlace p = place_of(hwnd, e, e.caret);
    RECT tr = text_rect(hwnd);
    int width = tr.width();
    int x = p.x - tr.left + e.scroll_x;  // in the text's own coordinates
    int32_t sx = e.scroll_x;
    if (!wraps(hwnd)) {
        if (x - sx > width - 1) sx = x - width + 1 + width / 4;
        if (x < sx) sx = std::max(0, x - width / 4);
        if (!multiline(hwnd)) {
            LineLayout ll(hwnd, e, 0);
            sx = std::clamp(sx, 0, std::max(0, ll.width() - width + 1));
        }
    } else {
        sx = 0;
    }
    int top = e.top_row, vis = visible_rows(hwnd, e);
    if (p.row < top) top = p.row;
    if (p.row >= top + vis) top = p.row - vis + 1;
    scroll_to(hwnd, e, top, sx);
}

// A shown bar gets range, page and position, and stays shown (disabled when
// there is nothing to scroll); whether it shows is for whoever calls
// ShowScrollBar (the GUI decides it after each EN_CHANGE), so a hidden bar is
// left alone and filled in when it shows again (WM_SIZE).
void update_bars(HWND hwnd, Edit& e) {
    if (!multiline(hwnd)) return;
    auto give = [&](int bar, int32_t max, UINT page, int32_t pos) {
        if (!(style_of(hwnd) & (bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL))) return;
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
        si.nMin = 0;
        si.nMax = max;
        si.nPage = page;
        si.nPos = pos;
        SCROLLINFO& last = e.bars_set[bar];
        if (last.fMask == si.fMask && last.nMax == max && last.nPage == page && last.nPos == pos) return;
        last = si;
        SetScrollInfo(hwnd, bar, &si, true);
    };
    give(SB_VERT, std::max(0, row_count(hwnd, e) - 1), static_cast<UINT>(visible_rows(hwnd, e)), e.top_row);
    if (!wraps(hwnd)) {
        int width = text_rect(hwnd).width();
        give(SB_HORZ, longest_width(hwnd, e) + e.char_w, static_cast<UINT>(std::max(1, width)), e.scroll_x);
    }
}

void place_ime_caret(HWND hwnd, Edit& e) {
    if (!e.focused || caret_window() != hwnd) return;
    RowPlace p = place_of(hwnd, e, e.caret);
    SetCaretPos(p.x, p.y);
}

}  // namespace zun::win::controls::edit
