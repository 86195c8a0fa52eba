// The text routines of system/view/platform: size-text, text-box-metrics,
// update-font and update-para.
#pragma once

#include "core/cell.hpp"

namespace zun::gui {

// The size of the text laid out in the face's font, as the face lays out its
// own (base, rich-text, window and panel faces) or on one unbounded line per
// paragraph with tabs expanded (other faces), into out as a point2D! in
// logical units.
void size_text(const Cell* face, const Cell* text, Cell* out);

// Puts the routines into system/view/platform, in place of the windows
// layer's placeholders, once the library is loaded.
void bind_text_routines();

}  // namespace zun::gui
