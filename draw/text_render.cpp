#include "draw/text_render.hpp"

#include <string>
#include <utility>
#include <vector>

#include "draw/text_format.hpp"

namespace zun::draw {

namespace {

PangoContext* g_layout_context = nullptr;  // the open scope's, null outside

cairo_hint_style_t desktop_hint_style(const win::DesktopSettings& desktop) {
    const std::string& h = desktop.text_hintstyle;
    if (h == "hintslight") return CAIRO_HINT_STYLE_SLIGHT;
    if (h == "hintmedium") return CAIRO_HINT_STYLE_MEDIUM;
    if (h == "hintfull") return CAIRO_HINT_STYLE_FULL;
    return CAIRO_HINT_STYLE_NONE;
}

}  // namespace

cairo_subpixel_order_t desktop_subpixel_order(const win::DesktopSettings& desktop) {
    const std::string& o = desktop.text_rgba;
    if (o == "rgb") return CAIRO_SUBPIXEL_ORDER_RGB;
    if (o == "bgr") return CAIRO_SUBPIXEL_ORDER_BGR;
    if (o == "vrgb") return CAIRO_SUBPIXEL_ORDER_VRGB;
    if (o == "vbgr") return CAIRO_SUBPIXEL_ORDER_VBGR;
    return CAIRO_SUBPIXEL_ORDER_DEFAULT;
}

TextRendering window_text_rendering(const win::DesktopSettings& desktop, bool layered) {
    TextRendering r;
    if (layered) return r;
    r.hint = desktop_hint_style(desktop);
    if (desktop.text_antialias == 0) {
        r.antialias = CAIRO_ANTIALIAS_NONE;
    } else if ((r.order = desktop_subpixel_order(desktop)) != CAIRO_SUBPIXEL_ORDER_DEFAULT) {
        r.antialias = CAIRO_ANTIALIAS_SUBPIXEL;
    }
    return r;
}

TextRendering control_text_rendering(const win::DesktopSettings& desktop, int quality) {
    TextRendering r = window_text_rendering(desktop, false);
    if (quality == 4) {
        r.antialias = CAIRO_ANTIALIAS_GRAY;
        r.order = CAIRO_SUBPIXEL_ORDER_DEFAULT;
    } else if (quality == 5) {
        // asked for by name: the desktop's order, else the usual one
        r.antialias = CAIRO_ANTIALIAS_SUBPIXEL;
        if (r.order == CAIRO_SUBPIXEL_ORDER_DEFAULT) r.order = CAIRO_SUBPIXEL_ORDER_RGB;
    }
    return r;
}

cairo_font_options_t* font_options(const TextRendering& r) {
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_font_options_set_antialias(o, r.antialias);
    cairo_font_options_set_subpixel_order(o, r.order);
    cairo_font_options_set_hint_style(o, r.hint);
    cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
    return o;
}

void set_text_rendering(cairo_t* cr, const TextRendering& rendering) {
    cairo_font_options_t* o = font_options(rendering);
    cairo_set_font_options(cr, o);
    cairo_font_options_destroy(o);
}

TextRendering text_rendering_of(cairo_t* cr) {
    cairo_font_options_t* o = cairo_font_options_create();
    cairo_get_font_options(cr, o);
    TextRendering r;
    const cairo_antialias_t a = cairo_font_options_get_antialias(o);
    if (a == CAIRO_ANTIALIAS_NONE || a == CAIRO_ANTIALIAS_SUBPIXEL) r.antialias = a;
    if (a == CAIRO_ANTIALIAS_SUBPIXEL) r.order = cairo_font_options_get_subpixel_order(o);
    if (cairo_font_options_get_hint_style(o) != CAIRO_HINT_STYLE_DEFAULT) r.hint = cairo_font_options_get_hint_style(o);
    cairo_font_options_destroy(o);
    return r;
}

TextRenderingScope::TextRenderingScope(const TextRendering& rendering) : m_saved(g_layout_context) {
    // a handful of renderings at most: the measuring one, a window's, a control font's
    static std::vector<std::pair<TextRendering, PangoContext*>> contexts;
    if (rendering == TextRendering{}) {
        g_layout_context = shared_context();
        return;
    }
    for (const auto& [r, context] : contexts)
        if (r == rendering) {
            g_layout_context = context;
            return;
        }
    cairo_font_options_t* o = font_options(rendering);
    PangoContext* made = make_text_context(o);
    cairo_font_options_destroy(o);
    contexts.emplace_back(rendering, made);
    g_layout_context = made;
}

TextRenderingScope::~TextRenderingScope() { g_layout_context = m_saved; }

PangoContext* layout_context() { return g_layout_context ? g_layout_context : shared_context(); }

}  // namespace zun::draw
