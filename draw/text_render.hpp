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
#include <pango/pangocairo.h>

#include "platform/window.hpp"

namespace zun::draw {

struct TextRendering {
    cairo_antialias_t antialias = CAIRO_ANTIALIAS_GRAY;
    cairo_subpixel_order_t order = CAIRO_SUBPIXEL_ORDER_DEFAULT;
    cairo_hint_style_t hint = CAIRO_HINT_STYLE_NONE;
    bool operator==(const TextRendering&) const = default;
};

// The desktop's order, CAIRO_SUBPIXEL_ORDER_DEFAULT when it gives none.
cairo_subpixel_order_t desktop_subpixel_order(const win::DesktopSettings& desktop);
// The draw dialect's text on a window (layered: false) or a layered window.
TextRendering window_text_rendering(const win::DesktopSettings& desktop, bool layered);
// A control font's text by its quality: 4 grey, 5 subpixel (ClearType), else
// the desktop default.
TextRendering control_text_rendering(const win::DesktopSettings& desktop, int quality);

// The rendering as font options (hint metrics off, glyph positions not
// rounded); the caller destroys them.
cairo_font_options_t* font_options(const TextRendering& rendering);
void set_text_rendering(cairo_t* cr, const TextRendering& rendering);
// The rendering font options set on cr give (grey for none set).
TextRendering text_rendering_of(cairo_t* cr);

// While a scope lasts, text layouts are made in a context of the rendering
// (one per rendering, over the shared font map); outside, in the measuring
// context.
class TextRenderingScope {
public:
    explicit TextRenderingScope(const TextRendering& rendering);
    ~TextRenderingScope();
    TextRenderingScope(const TextRenderingScope&) = delete;
    TextRenderingScope& operator=(const TextRenderingScope&) = delete;

private:
    PangoContext* m_saved;
};
PangoContext* layout_context();

}  // namespace zun::draw
