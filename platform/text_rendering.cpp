#include "platform/text_rendering.hpp"

#include <string>

namespace zun::win {

namespace {

cairo_user_data_key_t g_rendering_key;

cairo_hint_style_t desktop_hint_style(const DesktopSettings& desktop) {
    const std::string& h = desktop.text_hintstyle;
    if (h == "hintslight") return CAIRO_HINT_STYLE_SLIGHT;
    if (h == "hintmedium") return CAIRO_HINT_STYLE_MEDIUM;
    if (h == "hintfull") return CAIRO_HINT_STYLE_FULL;
    return CAIRO_HINT_STYLE_NONE;
}

}  // namespace

cairo_subpixel_order_t desktop_subpixel_order(const DesktopSettings& desktop) {
    const std::string& o = desktop.text_rgba;
    if (o == "rgb") return CAIRO_SUBPIXEL_ORDER_RGB;
    if (o == "bgr") return CAIRO_SUBPIXEL_ORDER_BGR;
    if (o == "vrgb") return CAIRO_SUBPIXEL_ORDER_VRGB;
    if (o == "vbgr") return CAIRO_SUBPIXEL_ORDER_VBGR;
    return CAIRO_SUBPIXEL_ORDER_DEFAULT;
}

TextRendering window_text_rendering(const DesktopSettings& desktop, bool layered) {
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

TextRendering control_text_rendering(const DesktopSettings& desktop, int quality) {
    TextRendering r = window_text_rendering(desktop, false);
    // the desktop's hinting only when it gives one: fontconfig's otherwise
    if (desktop.text_hintstyle.empty()) r.hint = CAIRO_HINT_STYLE_DEFAULT;
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

const DesktopSettings& current_desktop() {
    static const DesktopSettings defaults;
    return is_open() ? desktop_settings() : defaults;
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
    // kept beside, so text commands read it back without making options
    cairo_set_user_data(cr, &g_rendering_key, new TextRendering(rendering),
                        [](void* kept) { delete static_cast<TextRendering*>(kept); });
}

TextRendering text_rendering_of(cairo_t* cr) {
    const auto* kept = static_cast<const TextRendering*>(cairo_get_user_data(cr, &g_rendering_key));
    return kept ? *kept : TextRendering{};
}

}  // namespace zun::win
