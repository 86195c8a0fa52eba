// Control fonts' quality (CreateFont's: 0 the desktop's default, 4 grey,
// 5 ClearType), kept with their descriptions: a control's text renders as
// the quality and the desktop's settings give it.
#pragma once
#include <cairo.h>
#include <pango/pango-font.h>

#include "platform/controls/controls.hpp"
#include "platform/text_rendering.hpp"

namespace zun::win {

bool SetFontQuality(HFONT font, int quality);
int GetFontQuality(HFONT font);
// How the font's text renders now.
TextRendering control_rendering(HFONT font);
// The font options of the font's text now (the caller destroys them); the
// metrics settings are left to the context they go on.
cairo_font_options_t* control_font_options(HFONT font);

// The font an input method drawing the composition itself takes for text of
// this description at a DPI: CreateFont's height, the character height
// (negative), of the description's points.
CompositionFont composition_font(const PangoFontDescription* description, uint32_t dpi);

}  // namespace zun::win
