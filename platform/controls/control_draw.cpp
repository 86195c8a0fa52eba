#include "platform/controls/control_draw.hpp"

#include "platform/controls/combobox.hpp"
#include "platform/controls/fonts.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/menu.hpp"
#include "platform/text_rendering.hpp"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace zun::win {

void register_system_controls() {
    controls::register_button();
    controls::register_static();
    controls::register_progress();
    controls::register_scrollbar();
    controls::register_edit();
    controls::register_listbox();
    controls::register_combobox();
    controls::register_trackbar();
    controls::register_tab_control();
    controls::register_calendar();
    install_edit_context_menu();
}

// ---- fonts --------------------------------------------------------------------

namespace {

struct FontTable {
    std::vector<PangoFontDescription*> fonts;  // by handle - 1; null when deleted
    std::vector<int> qualities;                 // by handle - 1
    PangoFontDescription* fallback = nullptr;
    std::string fallback_key;
    ~FontTable() {
        for (PangoFontDescription* f : fonts)
            if (f) pango_font_description_free(f);
        if (fallback) pango_font_description_free(fallback);
    }
};

// Never destroyed: the windows closed at exit still measure their menu bars
// after the function-local statics made later are gone.
FontTable& font_table() {
    static FontTable* table = new FontTable;
    return *table;
}

const PangoFontDescription* default_description() {
    FontTable& t = font_table();
    DesktopSettings s = is_open() ? desktop_settings() : DesktopSettings{};
    std::string key = s.font_family + " " + std::to_string(s.font_points);
    if (!t.fallback || key != t.fallback_key) {
        if (t.fallback) pango_font_description_free(t.fallback);
        t.fallback = pango_font_description_new();
        pango_font_description_set_family(t.fallback, s.font_family.c_str());
        pango_font_description_set_size(t.fallback, static_cast<int>(s.font_points * PANGO_SCALE));
        t.fallback_key = key;
    }
    return t.fallback;
}

}  // namespace

HFONT CreateFontFromDescription(std::string_view description) {
    std::string text(description);
    PangoFontDescription* d = pango_font_description_from_string(text.c_str());
    if (!d) return 0;
    if (!pango_font_description_get_size(d)) pango_font_description_set_size(d, 9 * PANGO_SCALE);
    FontTable& t = font_table();
    t.fonts.push_back(d);
    t.qualities.push_back(0);
    return t.fonts.size();
}

bool SetFontQuality(HFONT font, int quality) {
    FontTable& t = font_table();
    if (font == 0 || font > t.fonts.size() || !t.fonts[font - 1]) return false;
    t.qualities[font - 1] = quality;
    return true;
}

int GetFontQuality(HFONT font) {
    FontTable& t = font_table();
    return font && font <= t.fonts.size() && t.fonts[font - 1] ? t.qualities[font - 1] : 0;
}

CompositionFont composition_font(const PangoFontDescription* d, uint32_t dpi) {
    CompositionFont made;
    const char* family = pango_font_description_get_family(d);
    made.family = family ? family : "";
    made.height = pango_font_description_get_size(d) / PANGO_SCALE * int32_t(dpi) / -72;
    made.weight = int32_t(pango_font_description_get_weight(d));
    made.italic = pango_font_description_get_style(d) != PANGO_STYLE_NORMAL;
    return made;
}

TextRendering control_rendering(HFONT font) { return control_text_rendering(current_desktop(), GetFontQuality(font)); }

cairo_font_options_t* control_font_options(HFONT font) {
    cairo_font_options_t* o = font_options(control_rendering(font));
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_DEFAULT);  // the context's own
    return o;
}

bool DeleteFont(HFONT font) {
    FontTable& t = font_table();
    if (font == 0 || font > t.fonts.size() || !t.fonts[font - 1]) return false;
    pango_font_description_free(t.fonts[font - 1]);
    t.fonts[font - 1] = nullptr;
    return true;
}

HFONT GetDefaultGuiFont() { return 0; }

const PangoFontDescription* font_description(HFONT font) {
    FontTable& t = font_table();
    if (font && font <= t.fonts.size() && t.fonts[font - 1]) return t.fonts[font - 1];
    return default_description();
}

// ---- the device-context record ----------------------------------------------

namespace {

struct DcRecord {
    COLORREF text = 0, back = 0xFFFFFF, brush = 0xFFFFFF;
    int mode = OPAQUE;
};
cairo_user_data_key_t g_dc_key;

DcRecord* dc_record(HDC dc) {
    if (!dc) return nullptr;
    auto* r = static_cast<DcRecord*>(cairo_get_user_data(dc, &g_dc_key));
    if (r) return r;
    r = new DcRecord;
    r->text = controls::sys_colour(COLOR_WINDOWTEXT);
    r->back = r->brush = controls::sys_colour(COLOR_WINDOW);
    cairo_set_user_data(dc, &g_dc_key, r, [](void* p) { delete static_cast<DcRecord*>(p); });
    return r;
}

template <class T>
T swap_field(HDC dc, T DcRecord::*field, T value, T none) {
    DcRecord* r = dc_record(dc);
    if (!r) return none;
    T old = r->*field;
    r->*field = value;
    return old;
}
template <class T>
T read_field(HDC dc, T DcRecord::*field, T none) {
    DcRecord* r = dc_record(dc);
    return r ? r->*field : none;
}

COLORREF g_dc_brush_colour = 0xFFFFFF;  // of the DC last given a brush colour

}  // namespace

COLORREF SetTextColor(HDC dc, COLORREF c) { return swap_field(dc, &DcRecord::text, c, CLR_INVALID); }
COLORREF GetTextColor(HDC dc) { return read_field(dc, &DcRecord::text, CLR_INVALID); }
COLORREF SetBkColor(HDC dc, COLORREF c) { return swap_field(dc, &DcRecord::back, c, CLR_INVALID); }
COLORREF GetBkColor(HDC dc) { return read_field(dc, &DcRecord::back, CLR_INVALID); }
int SetBkMode(HDC dc, int mode) { return swap_field(dc, &DcRecord::mode, mode, 0); }
int GetBkMode(HDC dc) { return read_field(dc, &DcRecord::mode, 0); }
COLORREF SetDCBrushColor(HDC dc, COLORREF c) {
    g_dc_brush_colour = c;
    return swap_field(dc, &DcRecord::brush, c, CLR_INVALID);
}
COLORREF GetDCBrushColor(HDC dc) { return read_field(dc, &DcRecord::brush, CLR_INVALID); }
HBRUSH GetDCBrush() { return DC_BRUSH_HANDLE; }

}  // namespace zun::win

namespace zun::win::controls {

bool common_message(HWND hwnd, ControlBase& base, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    switch (msg) {
        case WM_SETFONT:
            base.font = wp;
            if (lp) InvalidateRect(hwnd, nullptr, true);
            *result = 0;
            return true;
        case WM_GETFONT: *result = static_cast<LRESULT>(base.font); return true;
        case WM_GETTEXTLENGTH: *result = static_cast<LRESULT>(GetWindowText(hwnd).size()); return true;
        case WM_SETTEXT:
            *result = DefWindowProc(hwnd, msg, wp, lp);
            InvalidateRect(hwnd, nullptr, true);
            return true;
        case WM_ENABLE:
            InvalidateRect(hwnd, nullptr, true);
            *result = 0;
            return true;
        case WM_ERASEBKGND: *result = 1; return true;  // the paint covers it all
        default: return false;
    }
}

void register_control(const char* name, WNDPROC proc, UINT class_style, HCURSOR cursor) {
    WNDCLASS wc;
    wc.style = class_style;
    wc.lpfnWndProc = proc;
    wc.hCursor = cursor;
    wc.lpszClassName = name;
    RegisterClass(wc);
}

void notify_parent(HWND hwnd, UINT code) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    auto id = static_cast<uint32_t>(GetWindowLong(hwnd, GWLP_ID));
    SendMessage(parent, WM_COMMAND, MAKEWPARAM(id, code), static_cast<LPARAM>(hwnd));
}

LRESULT notify_parent(HWND hwnd, NMHDR& hdr, UINT code) {
    HWND parent = GetParent(hwnd);
    hdr.hwndFrom = hwnd;
    hdr.idFrom = static_cast<uint32_t>(GetWindowLong(hwnd, GWLP_ID));
    hdr.code = code;
    return parent ? SendMessage(parent, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr)) : 0;
}

void scroll_parent(HWND hwnd, bool vertical, UINT code, int32_t pos) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    SendMessage(parent, vertical ? WM_VSCROLL : WM_HSCROLL, MAKEWPARAM(code, static_cast<uint32_t>(pos)),
                static_cast<LPARAM>(hwnd));
}

void track_mouse_leave(HWND hwnd) {
    TRACKMOUSEEVENT tme;
    tme.dwFlags = TME_LEAVE;
    tme.hwndTrack = hwnd;
    TrackMouseEvent(&tme);
}

void note_focus(HWND hwnd, bool& focused, UINT msg) {
    focused = msg == WM_SETFOCUS;
    InvalidateRect(hwnd, nullptr, false);
}

RECT inner_client_rect(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    return (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? inset(r, 2) : r;
}

// ---- theme --------------------------------------------------------------------

namespace {
HWND g_theme_window = 0;
std::unordered_map<HWND, bool> g_window_themes;

// -1: neither the window nor an ancestor has a theme of its own.
int own_theme(HWND hwnd) {
    for (int depth = 0; hwnd && depth < 256; depth++, hwnd = GetParent(hwnd)) {
        auto it = g_window_themes.find(hwnd);
        if (it != g_window_themes.end()) return it->second ? 1 : 0;
    }
    return -1;
}
}  // namespace

bool dark_theme() {
    if (!is_open()) return false;
    const int own = g_theme_window && !g_window_themes.empty() ? own_theme(g_theme_window) : -1;
    return own >= 0 ? own == 1 : desktop_settings().dark;
}

void set_window_theme(HWND hwnd, bool dark) {
    // handles carry a generation, so entries of destroyed windows only wait here to be dropped
    std::erase_if(g_window_themes, [](const auto& entry) { return !IsWindow(entry.first); });
    if (IsWindow(hwnd)) g_window_themes[hwnd] = dark;
}

ThemeScope::ThemeScope(HWND hwnd) : m_previous(g_theme_window) { g_theme_window = hwnd; }
ThemeScope::~ThemeScope() { g_theme_window = m_previous; }

namespace {
constexpr COLORREF rgb(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (b << 16); }
}  // namespace

COLORREF sys_colour(int index) {
    if (!dark_theme()) {
        switch (index) {
            case COLOR_HIGHLIGHT: return rgb(0, 120, 215);
            case COLOR_HIGHLIGHTTEXT: return rgb(255, 255, 255);
            case COLOR_BTNSHADOW: return rgb(160, 160, 160);
            case COLOR_GRAYTEXT: return rgb(109, 109, 109);
            case COLOR_BTNHIGHLIGHT: return rgb(255, 255, 255);
            case COLOR_3DDKSHADOW: return rgb(105, 105, 105);
            case COLOR_3DLIGHT: return rgb(227, 227, 227);
            case COLOR_HOTLIGHT: return rgb(0, 102, 204);
            default: return GetSysColor(index);
        }
    }
    switch (index) {
        case COLOR_WINDOW: return rgb(32, 32, 32);
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT:
        case COLOR_HIGHLIGHTTEXT: return rgb(255, 255, 255);
        case COLOR_BTNFACE: return rgb(43, 43, 43);
        case COLOR_HIGHLIGHT: return rgb(0, 95, 184);
        case COLOR_BTNSHADOW: return rgb(100, 100, 100);
        case COLOR_GRAYTEXT: return rgb(150, 150, 150);
        case COLOR_BTNHIGHLIGHT: return rgb(70, 70, 70);
        case COLOR_3DDKSHADOW: return rgb(20, 20, 20);
        case COLOR_3DLIGHT: return rgb(60, 60, 60);
        case COLOR_HOTLIGHT: return rgb(96, 205, 255);
        default: return rgb(43, 43, 43);
    }
}

void set_colour(cairo_t* cr, COLORREF c) {
    cairo_set_source_rgb(cr, (c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0);
}

double scale_of(HWND hwnd) {
    uint32_t dpi = GetDpiForWindow(hwnd);
    return dpi ? dpi / 96.0 : 1.0;
}

// ---- text ---------------------------------------------------------------------

std::string strip_prefix(std::string_view text, int* underline) {
    std::string out;
    out.reserve(text.size());
    *underline = -1;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && *underline < 0) *underline = static_cast<int>(out.size());
        }
        out += text[i];
    }
    return out;
}

PangoLayout* make_layout(cairo_t* cr, HWND hwnd, HFONT font, std::string_view text, int width,
                         uint32_t flags) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_cairo_context_set_resolution(pango_layout_get_context(layout), 96.0 * scale_of(hwnd));
    cairo_font_options_t* options = control_font_options(font);
    pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
    cairo_font_options_destroy(options);
    pango_layout_context_changed(layout);
    pango_layout_set_font_description(layout, font_description(font));
    int underline = -1;
    std::string shown = (flags & DT_NOPREFIX) ? std::string(text) : strip_prefix(text, &underline);
    if (flags & DT_SINGLELINE)
        for (char& c : shown)
            if (c == '\n' || c == '\r') c = ' ';
    pango_layout_set_text(layout, shown.data(), static_cast<int>(shown.size()));
    if (underline >= 0) {
        PangoAttrList* attrs = pango_attr_list_new();
        PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
        a->start_index = static_cast<guint>(underline);
        // The whole UTF-8 character after the marker.
        size_t end = static_cast<size_t>(underline) + 1;
        while (end < shown.size() && (static_cast<unsigned char>(shown[end]) & 0xC0) == 0x80) ++end;
        a->end_index = static_cast<guint>(end);
        pango_attr_list_insert(attrs, a);
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
    }
    if (width >= 0) {
        pango_layout_set_width(layout, pango_units(width));
        if (flags & DT_END_ELLIPSIS) pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        else if (flags & DT_WORDBREAK) pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        if (flags & (DT_SINGLELINE | DT_END_ELLIPSIS)) pango_layout_set_height(layout, -1);
        pango_layout_set_alignment(layout, (flags & DT_CENTER)  ? PANGO_ALIGN_CENTER
                                           : (flags & DT_RIGHT) ? PANGO_ALIGN_RIGHT
                                                                : PANGO_ALIGN_LEFT);
    }
    return layout;
}

SIZE draw_text(cairo_t* cr, HWND hwnd, HFONT font, std::string_view text, const RECT& box,
               uint32_t flags, COLORREF colour) {
    // One line is laid out unbounded and placed by hand: a bounded pango
    // layout would wrap it.
    bool one_line = (flags & DT_SINGLELINE) && !(flags & DT_END_ELLIPSIS);
    bool bounded = !one_line && (flags & (DT_WORDBREAK | DT_END_ELLIPSIS | DT_CENTER | DT_RIGHT)) != 0;
    PangoLayout* layout = make_layout(cr, hwnd, font, text, bounded ? std::max(box.width(), 0) : -1, flags);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    double x = box.left;
    if (one_line && (flags & DT_CENTER)) x = box.left + std::floor((box.width() - w) / 2.0);
    else if (one_line && (flags & DT_RIGHT)) x = box.right - w;
    double y = box.top;
    if (flags & DT_VCENTER) y = box.top + (box.height() - h) / 2.0;
    else if (flags & DT_BOTTOM) y = box.bottom - h;
    cairo_save(cr);
    cairo_rectangle(cr, box.left, box.top, box.width(), box.height());
    cairo_clip(cr);
    set_colour(cr, colour);
    cairo_move_to(cr, x, std::floor(y));
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return {w, h};
}

SIZE measure_text(HWND hwnd, HFONT font, std::string_view text, int width, uint32_t flags) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(s);
    PangoLayout* layout = make_layout(cr, hwnd, font, text, width, flags);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    return {w, h};
}

// ---- shapes -------------------------------------------------------------------

void fill_rect(cairo_t* cr, const RECT& r, COLORREF c) {
    set_colour(cr, c);
    cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
    cairo_fill(cr);
}

void frame_rect(cairo_t* cr, const RECT& r, COLORREF c) {
    if (r.width() <= 0 || r.height() <= 0) return;
    set_colour(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1);
    cairo_stroke(cr);
}

ControlPaint::ControlPaint(HWND h) : hwnd(h), theme(h) {
    cr = BeginPaint(hwnd, &ps);
    if (!cr) return;
    GetClientRect(hwnd, &r);
    if (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) r = draw_client_edge(cr, r);
}

ControlPaint::~ControlPaint() {
    if (cr) EndPaint(hwnd, &ps);
}

RECT draw_client_edge(cairo_t* cr, const RECT& r) {
    // Outer: shadow top-left, highlight bottom-right; inner: dark shadow, light.
    auto edge = [&](const RECT& e, COLORREF tl, COLORREF br) {
        cairo_set_line_width(cr, 1);
        set_colour(cr, tl);
        cairo_move_to(cr, e.left + 0.5, e.bottom - 1);
        cairo_line_to(cr, e.left + 0.5, e.top + 0.5);
        cairo_line_to(cr, e.right - 1, e.top + 0.5);
        cairo_stroke(cr);
        set_colour(cr, br);
        cairo_move_to(cr, e.right - 0.5, e.top);
        cairo_line_to(cr, e.right - 0.5, e.bottom - 0.5);
        cairo_line_to(cr, e.left, e.bottom - 0.5);
        cairo_stroke(cr);
    };
    edge(r, sys_colour(COLOR_BTNSHADOW), sys_colour(COLOR_BTNHIGHLIGHT));
    edge(inset(r, 1), sys_colour(COLOR_3DDKSHADOW), sys_colour(COLOR_3DLIGHT));
    return inset(r, 2);
}

void draw_focus_rect(cairo_t* cr, const RECT& r) {
    if (r.width() <= 1 || r.height() <= 1) return;
    cairo_save(cr);
    set_colour(cr, sys_colour(COLOR_WINDOWTEXT));
    cairo_set_line_width(cr, 1);
    double dash[] = {1.0, 1.0};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_rectangle(cr, r.left + 0.5, r.top + 0.5, r.width() - 1, r.height() - 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

COLORREF parent_colours(HWND hwnd, UINT ctlcolor_msg, cairo_t* cr, const RECT& r, COLORREF text, COLORREF back) {
    if (back == CLR_INVALID) back = sys_colour(COLOR_BTNFACE);
    SetTextColor(cr, text);
    SetBkColor(cr, back);
    HWND parent = GetParent(hwnd);
    auto brush = parent ? static_cast<HBRUSH>(SendMessage(parent, ctlcolor_msg, reinterpret_cast<WPARAM>(cr),
                                                          static_cast<LPARAM>(hwnd)))
                        : 0;
    if (brush == DC_BRUSH_HANDLE) fill_rect(cr, r, GetDCBrushColor(cr));
    else if (brush) FillRect(cr, &r, brush);
    else fill_rect(cr, r, back);
    return GetTextColor(cr);
}

}  // namespace zun::win::controls
