// The text routines of system/view/platform: size-text, text-box-metrics,
// update-font and update-para.
#pragma once

#include "core/cell.hpp"
#include "platform/window.hpp"

namespace zun::gui {

// The size of the text laid out in the face's font, as the face lays out its
// own (base, rich-text, window and panel faces) or on one unbounded line per
// paragraph with tabs expanded (other faces), into out as a point2D! in
// logical units.
void size_text(const Cell* face, const Cell* text, Cell* out);

// An area made again (its para changed): the text, selection, first visible
// line, text limit, modified flag and focus kept. 0 without a window.
win::HWND remake_area(const Cell* face);
// A shown face's para changed: an area whose wrapping or alignment no longer
// matches its window is made again, other faces get their style bits
// rewritten; the window is redrawn.
void para_changed(win::HWND hwnd, const Cell* face);

// Compositions (WM_IME_STARTCOMPOSITION): the face's font, at its window's
// DPI, handed to input methods that draw the composition themselves.
void set_composition_font(win::HWND hwnd, const Cell* face);
// gui/set-ime-position: the composition placed at a client point of owner.
void set_ime_position(win::HWND owner, int32_t x, int32_t y);
// A base face whose `caret` option names a shown face: a hidden caret of the
// face's size in that face's window at the face's offset (creation flag 2),
// followed by the composition; moved with the face, made and destroyed as
// it is shown and hidden.
void init_caret_option(win::HWND hwnd, const Cell* face);
void caret_moved(win::HWND hwnd, const Cell* face);
void caret_shown(win::HWND hwnd, const Cell* face, bool shown);
bool has_caret(win::HWND hwnd);

// Puts the routines into system/view/platform, in place of the windows
// layer's placeholders, once the library is loaded.
void bind_text_routines();

}  // namespace zun::gui
