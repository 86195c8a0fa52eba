// Input-method compositions of faces: the font an input method that draws
// the composition itself takes (the face's font at the window's DPI), and
// the caret a `caret` option gives a face, which places the composition.
// On-the-spot methods hand the text over instead: `ime` events carry it and
// the face's code measures and draws it with its own layouts.
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/series/block.hpp"
#include "draw/text_format.hpp"
#include "gui/backend.hpp"
#include "gui/face.hpp"
#include "gui/font.hpp"
#include "gui/text_platform.hpp"
#include "platform/controls/fonts.hpp"

namespace zun::gui {

namespace {

using namespace win;

// The face the `caret` option names, when it is a face with a window.
bool caret_option(const Cell* f, Cell* out) {
    const uint32_t caret = symbol::canonical(symbol::make("caret"));
    const Cell options = *face::facet(f, face::OPTIONS);
    if (!options.is(TYPE_BLOCK) || block::length_from_head(&options) % 2) return false;
    for (int32_t i = 0; i + 1 < block::length_from_head(&options); i += 2) {
        const Cell* pair = block::head_cell(const_cast<Cell*>(&options)) + i;
        const Cell key = pair[0];
        if (!(key.is(TYPE_SET_WORD) || key.is(TYPE_WORD) || key.is(TYPE_LIT_WORD)) ||
            symbol::canonical(key.data2) != caret)
            continue;
        if (!draw::object_with_fields(pair + 1, FACE_FIELDS)) return false;
        *out = pair[1];
        return face::window_of(out) != 0;
    }
    return false;
}

HWND caret_owner(HWND hwnd) {
    if (!(GetWindowLong(hwnd, LONG_CREATION) & CREATION_CARET)) return 0;
    const HWND owner = HWND(uint32_t(GetWindowLong(hwnd, LONG_CARET_OWNER)));
    return IsWindow(owner) ? owner : 0;
}

// The caret at the face's offset, the composition placed there.
void place_caret(HWND owner, const Cell* f) {
    double x = 0, y = 0;
    xy_of(face::facet(f, face::OFFSET), &x, &y);
    const int32_t px = to_pixels(x), py = to_pixels(y);
    if (caret_window() == owner) SetCaretPos(px, py);
    set_ime_position(owner, px, py);
}

// gui/create-caret: a hidden caret of the face's size in the owner's window.
void create_caret(HWND owner, const Cell* f) {
    double w = 0, h = 0;
    xy_of(face::facet(f, face::SIZE), &w, &h);
    CreateCaret(owner, to_pixels(w), to_pixels(h));
    HideCaret(owner);
    place_caret(owner, f);
}

}  // namespace

void set_composition_font(HWND hwnd, const Cell* f) {
    const Cell font = *face::facet(f, face::FONT);
    if (!draw::object_with_fields(&font, FONT_FIELDS)) return;
    const FontRecord* record = make_font(f, &font, true);
    if (record && record->desc) ImmSetCompositionFont(hwnd, composition_font(record->desc, uint32_t(window_dpi(hwnd))));
}

void set_ime_position(HWND owner, int32_t x, int32_t y) { ImmSetCompositionWindow(owner, POINT{x, y}); }

void init_caret_option(HWND hwnd, const Cell* f) {
    Cell owner_face;
    if (!caret_option(f, &owner_face)) return;
    const HWND owner = face::window_of(&owner_face);
    SetWindowLong(hwnd, LONG_CREATION, GetWindowLong(hwnd, LONG_CREATION) | CREATION_CARET);
    SetWindowLong(hwnd, LONG_CARET_OWNER, int32_t(owner));
    create_caret(owner, f);
}

void caret_moved(HWND hwnd, const Cell* f) {
    if (const HWND owner = caret_owner(hwnd)) place_caret(owner, f);
}

void caret_shown(HWND hwnd, const Cell* f, bool shown) {
    const HWND owner = caret_owner(hwnd);
    if (!owner) return;
    if (shown) create_caret(owner, f);
    else if (caret_window() == owner) DestroyCaret();
}

bool has_caret(HWND hwnd) { return caret_owner(hwnd) != 0; }

}  // namespace zun::gui
