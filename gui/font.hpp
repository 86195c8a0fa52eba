// Fonts and paragraph styles of faces: a font! object's native font record,
// cached in its state block, and the para! style bits.
//
// The state block of a font (field `state`) holds the font itself as a
// hidden first value (head index 1), then the font record, the text format
// of the draw dialect and a free slot, each a handle! whose external-resource
// entry (kind "font") the collector releases once no value reaches it.
#pragma once
#include <pango/pango.h>

#include <cstdint>

#include "core/cell.hpp"
#include "draw/text_format.hpp"

namespace zun::gui {

// font! fields by position.
enum FontField : uint32_t {
    FONT_NAME = 0, FONT_SIZE, FONT_STYLE, FONT_WEIGHT, FONT_ANGLE, FONT_COLOR, FONT_ANTI_ALIAS,
    FONT_SHADOW, FONT_STATE, FONT_PARENT, FONT_FIELDS = 12
};
// para! fields by position.
enum ParaField : uint32_t { PARA_ALIGN = 3, PARA_V_ALIGN = 4, PARA_WRAP = 5, PARA_FIELDS = 8 };
// face! fields by position; a rich-text face adds three.
enum FaceField : uint32_t {
    FACE_TYPE = 0, FACE_OFFSET, FACE_SIZE, FACE_TEXT, FACE_IMAGE, FACE_COLOR, FACE_DATA = 7,
    FACE_STATE = 15, FACE_PARA = 18, FACE_FONT = 19, FACE_FIELDS = 25, FACE_TABS = 25,
    FACE_LINE_SPACING, FACE_HANDLES, RICH_TEXT_FIELDS
};

// The native font of a font object: the description at the font's points,
// the decorations, the rotation and the quality, with the pixel heights
// CreateFont-style (negative: the character height) at 96 DPI and at the
// screen's DPI.
struct FontRecord : draw::TextResource {
    PangoFontDescription* desc = nullptr;
    bool underline = false, strike = false;
    int orientation = 0;  // tenths of a degree
    int quality = 0;      // 0 desktop default, 4 grey, 5 subpixel (ClearType)
    int height = 0;       // at 96 DPI
    int scaled_height = 0;
    int dpi = 96;         // of scaled_height
    ~FontRecord() override;
};

// The screen DPI (96 until the window layer sets it).
int screen_dpi();
void set_screen_dpi(int dpi);

// The state block cell of a font (good until the next allocation), or nullptr
// when it has none; a block that a copy took from another font is dropped.
Cell* font_state(const Cell* font);
Cell* font_make_state(const Cell* font);
// Releases the records of the state block and sets `state` to none.
void font_release_state(const Cell* font);
// The positive integer weight of the font, capped at 999, else the default.
int font_weight(const Cell* font, int default_weight);

// The font record, made and cached when missing; the face (when an object)
// joins the font's parent list.
FontRecord* make_font(const Cell* face, const Cell* font, bool scaled);
FontRecord* make_font_scaled(const Cell* font);
// The cached record, or nullptr.
FontRecord* font_handle(const Cell* font);

// The font changed: its records are made again and its faces' rich-text
// layouts marked stale.
void update_font(const Cell* font, int32_t flags);
// A rich-text face's layout marked stale (made again before it is measured);
// nothing for other faces.
void mark_layout_stale(const Cell* face);
// The para changed: the face's change mask gets bit 0x40000, a rich-text
// layout is marked stale.
void update_para(const Cell* face, int32_t flags);
// The text alignment style bits of a face type word and a para object.
uint32_t para_style_flags(const Cell* type, const Cell* para);

// UTF-16 units before the terminating zero.
int32_t utf16_length(const char16_t* text);
// Direction 1: count + the characters above U+FFFF among the count characters
// from start (a span of characters in UTF-16 units); direction -1: the
// character index of the UTF-16 index count.
int32_t utf16_index_adjust(const Cell* str, int32_t start, int32_t count, int direction);

}  // namespace zun::gui
