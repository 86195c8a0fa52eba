// Painting: update regions, retained client surfaces, the composition of a
// top-level from its windows, layered windows and the scroll bars' looks.
#include <algorithm>

#include "platform/window_internal.hpp"

namespace zun::win {

using namespace detail;

namespace {

cairo_rectangle_int_t to_cairo(const RECT& r) { return {r.left, r.top, r.width(), r.height()}; }
RECT from_cairo(const cairo_rectangle_int_t& r) { return {r.x, r.y, r.x + r.width, r.y + r.height}; }

RECT intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right <= r.left || r.bottom <= r.top) return {};
    return r;
}

bool empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

void set_source_colour(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

COLORREF rgb(int r, int g, int b) { return static_cast<COLORREF>(r | g << 8 | b << 16); }

// Makes the client surface match the client size, keeping what fits of the
// old pixels.
cairo_surface_t* ensure_surface(Window& w) {
    RECT c = client_rect(w);
    if (c.right <= 0 || c.bottom <= 0) return nullptr;
    if (w.surface && cairo_image_surface_get_width(w.surface) == c.right &&
        cairo_image_surface_get_height(w.surface) == c.bottom)
        return w.surface;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, c.right, c.bottom);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    if (w.surface) {
        cairo_t* cr = cairo_create(s);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, w.surface, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(w.surface);
    }
    w.surface = s;
    return s;
}

void draw_scroll_bar(cairo_t* cr, const Window& w, int bar);

// Draws a window and its descendants at (ox, oy), clipped to its rectangle.
// replace: its own surface replaces what is there (it covers it whole).
void draw_window(cairo_t* cr, HWND hwnd, int32_t ox, int32_t oy, bool replace = false) {
    Window* w = get(hwnd);
    if (!w || !(w->style & WS_VISIBLE)) return;
    cairo_save(cr);
    cairo_rectangle(cr, ox, oy, w->rect.width(), w->rect.height());
    cairo_clip(cr);
    if (w->surface) {
        cairo_set_source_surface(cr, w->surface, ox, oy);
        if (replace) cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        if ((w->ex_style & WS_EX_LAYERED) && w->alpha != 255) cairo_paint_with_alpha(cr, w->alpha / 255.0);
        else cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    for (int bar : {SB_VERT, SB_HORZ})
        if (w->bars[bar].shown) {
            cairo_save(cr);
            cairo_translate(cr, ox, oy);
            draw_scroll_bar(cr, *w, bar);
            cairo_restore(cr);
        }
    RECT c = client_rect(*w);
    cairo_rectangle(cr, ox, oy, c.right, c.bottom);
    cairo_clip(cr);
    std::vector<HWND> kids = w->children;
    for (auto it = kids.rbegin(); it != kids.rend(); ++it) {
        Window* k = get(*it);
        if (k) draw_window(cr, *it, ox + k->rect.left, oy + k->rect.top);
    }
    cairo_restore(cr);
}

void compose(HWND top) {
    Window* w = get(top);
    // The menu band lies above the client area: window y from -band.
    const int32_t band = menu_band(*w);
    int32_t width = w->rect.width(), height = w->rect.height() + band;
    if (width <= 0 || height <= 0) return;
    if (!w->composition || cairo_image_surface_get_width(w->composition) != width ||
        cairo_image_surface_get_height(w->composition) != height) {
        if (w->composition) cairo_surface_destroy(w->composition);
        w->composition = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_region_destroy(w->damage);
        w->damage = nullptr;
        damage_window_rect(top, {0, 0, width, height});
        w = get(top);
        if (band) {
            if (!w->damage) w->damage = cairo_region_create();
            cairo_rectangle_int_t b{0, -band, width, band};
            cairo_region_union_rectangle(w->damage, &b);
        }
    }
    cairo_rectangle_int_t whole{0, -band, width, height};
    cairo_region_intersect_rectangle(w->damage, &whole);
    if (cairo_region_is_empty(w->damage)) return;
    cairo_t* cr = cairo_create(w->composition);
    cairo_translate(cr, 0, band);
    int n = cairo_region_num_rectangles(w->damage);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(w->damage, i, &r);
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_clip(cr);
    // A top-level whose surface covers all of it (no bars, no band, no
    // constant alpha) is copied in: clearing first would cost a pass more.
    const bool covers = w->surface && !band && !w->bars[SB_VERT].shown && !w->bars[SB_HORZ].shown &&
                        !((w->ex_style & WS_EX_LAYERED) && w->alpha != 255) &&
                        cairo_image_surface_get_width(w->surface) >= width &&
                        cairo_image_surface_get_height(w->surface) >= height;
    if (!covers) {
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    }
    draw_window(cr, top, 0, 0, covers);
    if (band) paint_menu_band(cr, top);
    cairo_destroy(cr);
    cairo_surface_flush(w->composition);
    cairo_rectangle_int_t ext;
    cairo_region_get_extents(w->damage, &ext);
    ext.y += band;
    cairo_region_destroy(w->damage);
    w->damage = nullptr;
    state().display->present(top, w->composition, from_cairo(ext));
}

// A window's rectangle within its top-level, clipped by its ancestors'
// client areas; the offset of its window origin there goes to *origin.
RECT visible_part(HWND hwnd, POINT* origin) {
    Window* w = get(hwnd);
    RECT r{0, 0, w->rect.width(), w->rect.height()};
    POINT o{0, 0};
    while (w->parent) {
        o.x += w->rect.left;
        o.y += w->rect.top;
        r = {r.left + w->rect.left, r.top + w->rect.top, r.right + w->rect.left, r.bottom + w->rect.top};
        Window* p = get(w->parent);
        r = intersect(r, client_rect(*p));
        w = p;
    }
    if (origin) *origin = o;
    return r;
}

}  // namespace

void detail::damage_window_rect(HWND hwnd, RECT rect) {
    if (!get(hwnd) || !visible_chain(hwnd)) return;
    POINT o;
    RECT vis = visible_part(hwnd, &o);
    RECT r = intersect({rect.left + o.x, rect.top + o.y, rect.right + o.x, rect.bottom + o.y}, vis);
    if (empty(r)) return;
    Window* top = get(root_of(hwnd));
    if (!top->damage) top->damage = cairo_region_create();
    cairo_rectangle_int_t cr = to_cairo(r);
    cairo_region_union_rectangle(top->damage, &cr);
}

void detail::damage_parent_area(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) return;
    if (!w->parent) {
        damage_window_rect(hwnd, {0, 0, w->rect.width(), w->rect.height()});
        return;
    }
    Window* p = get(w->parent);
    if (!p || !visible_chain(w->parent)) return;
    // The parent's window coordinates are its client's plus nothing: client
    // areas start at the window origin.
    damage_window_rect(w->parent, w->rect);
}

void detail::destroy_paint_state(Window& w) {
    if (w.surface) cairo_surface_destroy(w.surface);
    if (w.update) cairo_region_destroy(w.update);
    if (w.damage) cairo_region_destroy(w.damage);
    if (w.composition) cairo_surface_destroy(w.composition);
    w.surface = nullptr;
    w.update = w.damage = nullptr;
    w.composition = nullptr;
}

void damage_window(HWND hwnd, const RECT* client) {
    Window* w = get(hwnd);
    if (!w) return;
    RECT c = client_rect(*w);
    damage_window_rect(hwnd, client ? intersect(*client, c) : c);
}

bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase) {
    Window* w = get(hwnd);
    if (!w) return false;
    RECT c = client_rect(*w);
    RECT r = rect ? intersect(*rect, c) : c;
    if (!w->update) w->update = cairo_region_create();
    if (!empty(r)) {
        cairo_rectangle_int_t cr = to_cairo(r);
        cairo_region_union_rectangle(w->update, &cr);
    }
    w->erase = w->erase || erase;
    return true;
}

bool ValidateRect(HWND hwnd, const RECT* rect) {
    Window* w = get(hwnd);
    if (!w) return false;
    if (!w->update) return true;
    if (!rect) {
        cairo_region_destroy(w->update);
        w->update = nullptr;
        w->erase = false;
        return true;
    }
    cairo_rectangle_int_t cr = to_cairo(*rect);
    cairo_region_subtract_rectangle(w->update, &cr);
    return true;
}

bool GetUpdateRect(HWND hwnd, RECT* out, bool) {
    Window* w = get(hwnd);
    if (!w || !w->update || cairo_region_is_empty(w->update)) {
        if (out) *out = {};
        return false;
    }
    cairo_rectangle_int_t ext;
    cairo_region_get_extents(w->update, &ext);
    if (out) *out = from_cairo(ext);
    return true;
}

bool UpdateWindow(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) return false;
    if (visible_chain(hwnd) && ((w->update && !cairo_region_is_empty(w->update)) || w->internal_paint)) {
        w->internal_paint = false;
        SendMessage(hwnd, WM_PAINT, 0, 0);
    }
    return true;
}

bool RedrawWindow(HWND hwnd, const RECT* rect, UINT flags) {
    Window* w = get(hwnd);
    if (!w) return false;
    if (flags & RDW_INVALIDATE) InvalidateRect(hwnd, rect, (flags & RDW_ERASE) != 0);
    if (flags & RDW_VALIDATE) ValidateRect(hwnd, rect);
    if (flags & RDW_INTERNALPAINT) w->internal_paint = true;
    if (flags & RDW_FRAME) damage_parent_area(hwnd);
    if (flags & RDW_ALLCHILDREN)
        for (HWND c : std::vector<HWND>(w->children)) RedrawWindow(c, nullptr, flags & ~RDW_UPDATENOW);
    if (flags & RDW_UPDATENOW) {
        UpdateWindow(hwnd);
        if (flags & RDW_ALLCHILDREN)
            if (Window* again = get(hwnd))
                for (HWND c : std::vector<HWND>(again->children)) RedrawWindow(c, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    return true;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    Window* w = get(hwnd);
    *ps = {};
    if (!w) return nullptr;
    cairo_region_t* region = w->update ? w->update : cairo_region_create();
    w->update = nullptr;
    bool erase = w->erase;
    w->erase = false;
    w->internal_paint = false;
    cairo_surface_t* surface = ensure_surface(*w);
    cairo_rectangle_int_t ext;
    cairo_region_get_extents(region, &ext);
    ps->rcPaint = from_cairo(ext);
    if (!surface) {
        cairo_region_destroy(region);
        // Nothing to paint on: a null context of its own keeps callers simple.
        static cairo_surface_t* nothing = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        ps->hdc = cairo_create(nothing);
        cairo_rectangle(ps->hdc, 0, 0, 0, 0);
        cairo_clip(ps->hdc);
        return ps->hdc;
    }
    cairo_t* cr = cairo_create(surface);
    int n = cairo_region_num_rectangles(region);
    for (int i = 0; i < n; ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(region, i, &r);
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_region_destroy(region);
    cairo_clip(cr);
    // What is invalid starts transparent: a redraw never piles up on its old pixels.
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    ps->hdc = cr;
    ps->fErase = erase ? SendMessage(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(cr), 0) == 0 : false;
    return cr;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps->hdc) cairo_destroy(ps->hdc);
    Window* w = get(hwnd);
    if (!w) return false;
    if (w->surface) cairo_surface_flush(w->surface);
    damage_window_rect(hwnd, ps->rcPaint);
    return true;
}

cairo_surface_t* GetWindowSurface(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? ensure_surface(*w) : nullptr;
}

cairo_surface_t* PrintWindow(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) return nullptr;
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(1, w->rect.width()),
                                                      std::max(1, w->rect.height()));
    cairo_t* cr = cairo_create(out);
    uint32_t style = w->style;
    w->style |= WS_VISIBLE;  // print a hidden window too
    draw_window(cr, hwnd, 0, 0);
    if (Window* again = get(hwnd)) again->style = style;
    cairo_destroy(cr);
    cairo_surface_flush(out);
    return out;
}

void flush_display() {
    State& s = state();
    if (!s.display) return;
    for (HWND top : std::vector<HWND>(s.tops)) {
        Window* w = get(top);
        if (w && (w->style & WS_VISIBLE) && w->damage) compose(top);
    }
}

bool UpdateLayeredWindow(HWND hwnd, const POINT* pos, const SIZE* size, cairo_surface_t* source,
                         const POINT* source_pt, uint8_t alpha) {
    Window* w = get(hwnd);
    if (!w || !(w->ex_style & WS_EX_LAYERED)) return false;
    if (pos || size) {
        RECT r;
        GetWindowRect(hwnd, &r);
        POINT p = pos ? *pos : POINT{r.left, r.top};
        if (w->parent) ScreenToClient(w->parent, &p);
        int32_t cx = size ? size->cx : w->rect.width(), cy = size ? size->cy : w->rect.height();
        SetWindowPos(hwnd, 0, p.x, p.y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
        if (!(w = get(hwnd))) return false;
        damage_parent_area(hwnd);
    }
    w->alpha = alpha;
    if (source) {
        cairo_surface_t* surface = ensure_surface(*w);
        if (surface) {
            cairo_t* cr = cairo_create(surface);
            cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
            POINT sp = source_pt ? *source_pt : POINT{};
            cairo_set_source_surface(cr, source, -sp.x, -sp.y);
            cairo_paint(cr);
            cairo_destroy(cr);
            cairo_surface_flush(surface);
        }
    }
    ValidateRect(hwnd, nullptr);
    damage_parent_area(hwnd);
    return true;
}

// ---- brushes ----------------------------------------------------------------

HBRUSH CreateSolidBrush(COLORREF color) { return 0x80000000u | (color & 0xFFFFFF); }
HBRUSH GetSysColorBrush(int index) { return static_cast<HBRUSH>(index + 1); }

COLORREF GetSysColor(int index) {
    switch (index) {
        case COLOR_WINDOW: return rgb(255, 255, 255);
        case COLOR_BTNFACE: return rgb(240, 240, 240);
        case COLOR_BACKGROUND: return rgb(0, 0, 0);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT: return rgb(0, 0, 0);
        default: return rgb(240, 240, 240);
    }
}

bool FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    if (!dc || !rect || !brush) return false;
    COLORREF c = (brush & 0x80000000u) ? (brush & 0xFFFFFF) : GetSysColor(static_cast<int>(brush) - 1);
    cairo_save(dc);
    set_source_colour(dc, c);
    cairo_rectangle(dc, rect->left, rect->top, rect->width(), rect->height());
    cairo_fill(dc);
    cairo_restore(dc);
    return true;
}

// ---- scroll bars --------------------------------------------------------------

void detail::draw_scroll_arrow(cairo_t* cr, double cx, double cy, double d, bool vert, bool up) {
    double sign = up ? -1 : 1;
    if (vert) {
        cairo_move_to(cr, cx - d, cy - sign * d / 2);
        cairo_line_to(cr, cx + d, cy - sign * d / 2);
        cairo_line_to(cr, cx, cy + sign * d / 2);
    } else {
        cairo_move_to(cr, cx - sign * d / 2, cy - d);
        cairo_line_to(cr, cx - sign * d / 2, cy + d);
        cairo_line_to(cr, cx + sign * d / 2, cy);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
}

namespace {

void draw_scroll_bar(cairo_t* cr, const Window& w, int bar) {
    RECT r = scroll_bar_rect(w, bar);
    if (empty(r)) return;
    bool vert = bar == SB_VERT;
    int32_t s = vert ? r.width() : r.height();
    set_source_colour(cr, rgb(240, 240, 240));
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_fill(cr);
    // Arrows: a small triangle in a square at each end.
    set_source_colour(cr, rgb(96, 96, 96));
    for (int end = 0; end < 2; ++end) {
        double cx = vert ? r.left + s / 2.0 : (end ? r.right - s / 2.0 : r.left + s / 2.0);
        double cy = vert ? (end ? r.bottom - s / 2.0 : r.top + s / 2.0) : r.top + s / 2.0;
        detail::draw_scroll_arrow(cr, cx, cy, s / 4.0, vert, end == 0);
    }
    BarParts p = bar_parts(w, bar);
    if (!p.thumb_len) return;
    int32_t start = p.thumb_start - p.start;
    int32_t tl = p.thumb_len;
    set_source_colour(cr, rgb(192, 192, 192));
    if (vert) cairo_rectangle(cr, r.left + 2, r.top + start, s - 4, tl);
    else cairo_rectangle(cr, r.left + start, r.top + 2, tl, s - 4);
    cairo_fill(cr);
}

// Shows or hides a bar; the client area changes, so the window hears WM_SIZE.
void set_bar_shown(HWND hwnd, int bar, bool show) {
    Window* w = get(hwnd);
    if (!w || w->bars[bar].shown == show) return;
    w->bars[bar].shown = show;
    uint32_t flag = bar == SB_VERT ? WS_VSCROLL : WS_HSCROLL;
    w->style = show ? (w->style | flag) : (w->style & ~flag);
    damage_parent_area(hwnd);
    InvalidateRect(hwnd, nullptr, true);
    WINDOWPOS wp{hwnd, 0, w->rect.left, w->rect.top, w->rect.width(), w->rect.height(),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_STATECHANGED};
    SendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
}

bool valid_bar(int bar) { return bar == SB_VERT || bar == SB_HORZ; }

}  // namespace

int scroll_bar_size(HWND hwnd) {
    Window* w = get(hwnd);
    return static_cast<int>(17 * (w ? GetDpiForWindow(hwnd) : 96) / 96);
}

// SB_CTL: a scroll bar control keeps its own info, asked for by message
// (SBM_SETSCROLLINFO, SBM_GETSCROLLINFO), as Win32 does.
constexpr UINT k_sbm_setscrollinfo = 0x00E9, k_sbm_getscrollinfo = 0x00EA;

int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* si, bool redraw) {
    Window* w = get(hwnd);
    if (bar == SB_CTL)
        return w && si ? static_cast<int>(SendMessage(hwnd, k_sbm_setscrollinfo, redraw, reinterpret_cast<LPARAM>(si))) : 0;
    if (!w || !si || !valid_bar(bar)) return 0;
    SCROLLINFO& cur = w->bars[bar].si;
    if (si->fMask & SIF_RANGE) cur.nMin = si->nMin, cur.nMax = si->nMax;
    if (si->fMask & SIF_PAGE) cur.nPage = si->nPage;
    if (si->fMask & SIF_POS) cur.nPos = si->nPos;
    int64_t range = int64_t(cur.nMax) - cur.nMin + 1;
    cur.nPage = static_cast<UINT>(std::clamp<int64_t>(cur.nPage, 0, std::max<int64_t>(range, 0)));
    int64_t top = cur.nMax - std::max<int64_t>(int64_t(cur.nPage) - 1, 0);
    cur.nPos = static_cast<int32_t>(std::clamp<int64_t>(cur.nPos, cur.nMin, std::max<int64_t>(top, cur.nMin)));
    // A bar with nothing to scroll hides itself unless asked to stay disabled.
    bool needed = range > 1 && (cur.nPage == 0 || range > cur.nPage);
    if (si->fMask & (SIF_RANGE | SIF_PAGE)) set_bar_shown(hwnd, bar, needed || (si->fMask & SIF_DISABLENOSCROLL));
    if (redraw && (w = get(hwnd)) && w->bars[bar].shown) damage_window_rect(hwnd, scroll_bar_rect(*w, bar));
    return get(hwnd) ? get(hwnd)->bars[bar].si.nPos : 0;
}

bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* si) {
    Window* w = get(hwnd);
    if (bar == SB_CTL) return w && si && SendMessage(hwnd, k_sbm_getscrollinfo, 0, reinterpret_cast<LPARAM>(si));
    if (!w || !si || !valid_bar(bar)) return false;
    const SCROLLINFO& cur = w->bars[bar].si;
    if (si->fMask & SIF_RANGE) si->nMin = cur.nMin, si->nMax = cur.nMax;
    if (si->fMask & SIF_PAGE) si->nPage = cur.nPage;
    if (si->fMask & SIF_POS) si->nPos = cur.nPos;
    if (si->fMask & SIF_TRACKPOS) si->nTrackPos = cur.nTrackPos;
    return true;
}

int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw) {
    int old = GetScrollPos(hwnd, bar);
    SCROLLINFO si;
    si.fMask = SIF_POS;
    si.nPos = pos;
    SetScrollInfo(hwnd, bar, &si, redraw);
    return old;
}

int GetScrollPos(HWND hwnd, int bar) {
    Window* w = get(hwnd);
    if (bar == SB_CTL) {
        SCROLLINFO si;
        si.fMask = SIF_POS;
        return GetScrollInfo(hwnd, SB_CTL, &si) ? si.nPos : 0;
    }
    return w && valid_bar(bar) ? w->bars[bar].si.nPos : 0;
}

bool SetScrollRange(HWND hwnd, int bar, int min, int max, bool redraw) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE;
    si.nMin = min;
    si.nMax = max;
    return SetScrollInfo(hwnd, bar, &si, redraw) || get(hwnd);
}

bool ShowScrollBar(HWND hwnd, int bar, bool show) {
    if (!get(hwnd)) return false;
    if (bar == SB_BOTH || bar == SB_HORZ) set_bar_shown(hwnd, SB_HORZ, show);
    if (bar == SB_BOTH || bar == SB_VERT) set_bar_shown(hwnd, SB_VERT, show);
    return true;
}

}  // namespace zun::win
