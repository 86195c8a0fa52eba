// How text is rendered: grey, subpixel (with the desktop's order) or without
// anti-aliasing, and the outline hinting. Metrics never change with it (no
// hinted metrics, no rounded glyph positions), so a layout measures the same
// whatever it was made for.
//
// The draw dialect's text: subpixel on windows when the desktop gives an
// order (Xft.rgba or XSETTINGS Xft/RGBA), else grey; grey on layered windows
// and images. Control text follows its font's quality: grey for `true`,
// subpixel for `ClearType`, else the desktop's choice.
#pragma once
#include <cairo.h>

#include "platform/window.hpp"

namespace zun::win {

struct TextRendering {
    cairo_antialias_t antialias = CAIRO_ANTIALIAS_GRAY;
    cairo_subpixel_order_t order = CAIRO_SUBPIXEL_ORDER_DEFAULT;
    cairo_hint_style_t hint = CAIRO_HINT_STYLE_NONE;
    bool operator==(const TextRendering&) const = default;
};

// The desktop's order, CAIRO_SUBPIXEL_ORDER_DEFAULT when it gives none.
cairo_subpixel_order_t desktop_subpixel_order(const DesktopSettings& desktop);
// The draw dialect's text on a window (layered: false) or a layered window.
TextRendering window_text_rendering(const DesktopSettings& desktop, bool layered);
// A control font's text by its quality: 4 grey, 5 subpixel (ClearType), else
// the desktop default.
TextRendering control_text_rendering(const DesktopSettings& desktop, int quality);
// The desktop the layer has (the defaults while it is closed).
const DesktopSettings& current_desktop();

// The rendering as font options (hint metrics off); the caller destroys them.
cairo_font_options_t* font_options(const TextRendering& rendering);
void set_text_rendering(cairo_t* cr, const TextRendering& rendering);
// The rendering set_text_rendering gave cr (grey for none).
TextRendering text_rendering_of(cairo_t* cr);

}  // namespace zun::win
