// Text rendering from the desktop's settings and a font's quality: the
// cairo font options window text, layered windows and control fonts get.
#include <gtest/gtest.h>

#include "platform/text_rendering.hpp"

namespace zun {
namespace {

using win::TextRendering;

win::DesktopSettings desktop(const char* rgba, int antialias, const char* hint) {
    win::DesktopSettings s;
    s.text_rgba = rgba;
    s.text_antialias = antialias;
    s.text_hintstyle = hint;
    return s;
}

TEST(TextRender, WindowTextFollowsTheDesktop) {
    struct Case {
        const char* rgba;
        int antialias;
        const char* hint;
        cairo_antialias_t want;
        cairo_subpixel_order_t order;
        cairo_hint_style_t want_hint;
    } cases[] = {
        {"", -1, "", CAIRO_ANTIALIAS_GRAY, CAIRO_SUBPIXEL_ORDER_DEFAULT, CAIRO_HINT_STYLE_NONE},
        {"none", 1, "", CAIRO_ANTIALIAS_GRAY, CAIRO_SUBPIXEL_ORDER_DEFAULT, CAIRO_HINT_STYLE_NONE},
        {"rgb", -1, "hintslight", CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_RGB, CAIRO_HINT_STYLE_SLIGHT},
        {"bgr", 1, "hintfull", CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_BGR, CAIRO_HINT_STYLE_FULL},
        {"vrgb", 1, "hintmedium", CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_VRGB, CAIRO_HINT_STYLE_MEDIUM},
        {"vbgr", 1, "hintnone", CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_VBGR, CAIRO_HINT_STYLE_NONE},
        {"RGB?", 1, "odd", CAIRO_ANTIALIAS_GRAY, CAIRO_SUBPIXEL_ORDER_DEFAULT, CAIRO_HINT_STYLE_NONE},
        // anti-aliasing off wins over an order
        {"rgb", 0, "", CAIRO_ANTIALIAS_NONE, CAIRO_SUBPIXEL_ORDER_DEFAULT, CAIRO_HINT_STYLE_NONE},
    };
    for (const Case& c : cases) {
        const TextRendering r = win::window_text_rendering(desktop(c.rgba, c.antialias, c.hint), false);
        EXPECT_EQ(r.antialias, c.want) << c.rgba << " " << c.antialias;
        EXPECT_EQ(r.order, c.order) << c.rgba;
        EXPECT_EQ(r.hint, c.want_hint) << c.hint;
        // a layered window is grey and unhinted whatever the desktop says
        EXPECT_EQ(win::window_text_rendering(desktop(c.rgba, c.antialias, c.hint), true), TextRendering{});
    }
}

TEST(TextRender, ControlFontQuality) {
    struct Case {
        const char* rgba;
        int antialias;
        int quality;
        cairo_antialias_t want;
        cairo_subpixel_order_t order;
    } cases[] = {
        {"", -1, 0, CAIRO_ANTIALIAS_GRAY, CAIRO_SUBPIXEL_ORDER_DEFAULT},
        {"bgr", -1, 0, CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_BGR},
        {"", 0, 0, CAIRO_ANTIALIAS_NONE, CAIRO_SUBPIXEL_ORDER_DEFAULT},
        // true: grey
        {"bgr", -1, 4, CAIRO_ANTIALIAS_GRAY, CAIRO_SUBPIXEL_ORDER_DEFAULT},
        {"", 0, 4, CAIRO_ANTIALIAS_GRAY, CAIRO_SUBPIXEL_ORDER_DEFAULT},
        // ClearType: subpixel in the desktop's order, else RGB
        {"", -1, 5, CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_RGB},
        {"vbgr", -1, 5, CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_VBGR},
        {"", 0, 5, CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_RGB},
    };
    for (const Case& c : cases) {
        const TextRendering r = win::control_text_rendering(desktop(c.rgba, c.antialias, ""), c.quality);
        EXPECT_EQ(r.antialias, c.want) << c.rgba << " " << c.antialias << " " << c.quality;
        EXPECT_EQ(r.order, c.order) << c.rgba << " " << c.quality;
    }
}

// The options a cairo context is given come back as the same rendering, with
// natural metrics; a context with none set is the measuring (grey) one.
TEST(TextRender, OptionsRoundTrip) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    EXPECT_EQ(win::text_rendering_of(cr), TextRendering{});
    const TextRendering sub{CAIRO_ANTIALIAS_SUBPIXEL, CAIRO_SUBPIXEL_ORDER_VRGB, CAIRO_HINT_STYLE_SLIGHT};
    win::set_text_rendering(cr, sub);
    EXPECT_EQ(win::text_rendering_of(cr), sub);
    cairo_font_options_t* o = win::font_options(sub);
    EXPECT_EQ(cairo_font_options_get_hint_metrics(o), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_destroy(o);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

}  // namespace
}  // namespace zun
