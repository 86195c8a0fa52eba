// The draw dialect's `font` and `text` commands: the text state a draw pass
// keeps (copied and put back with the rest of the drawing state by scoped
// commands) and the drawing of strings and faces.
#pragma once
#include <cairo.h>

#include "core/cell.hpp"
#include "draw/text_layout.hpp"

namespace zun::draw {

struct TextState {
    FormatRef format;          // the current text format (shared with a font when its own)
    Rgba text_colour;
    bool font_colour = false;  // set: the font's colour; clear: the pen's
    int decorations = 0;       // 1 underline, 2 strike
};

// `font`: a font object. False when the value is none.
bool font_command(TextState& state, const Cell* font);
// `text`: a string or a face object drawn at x, y; pen is the pen's colour.
// False when the value is neither (or an object too small to be a face).
bool text_command(cairo_t* cr, TextState& state, Rgba pen, double x, double y, const Cell* value);
// A face's own text at the start of a window pass: at 0x0 in its font's
// colour or the window-text colour; errors are dropped.
void draw_face_own_text(cairo_t* cr, const Cell* face, Rgba window_text);

}  // namespace zun::draw
