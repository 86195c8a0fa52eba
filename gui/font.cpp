#include "gui/font.hpp"
#include "gui/face.hpp"
#include "gui/text_platform.hpp"

#include <algorithm>

#include "core/externals.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "interpreter/stack.hpp"

namespace zun::gui {

namespace {

int g_screen_dpi = 96;

using draw::field_of;
using draw::holds_word;
using draw::word_is;

bool same_object(const Cell* a, const Cell* b) {
    return a->is(TYPE_OBJECT) && b->is(TYPE_OBJECT) && a->data1 == b->data1;
}

// Frees the external-resource entries of the handle! values in a block.
void release_handles(const Cell* block) {
    for (const Cell* c = block::head_cell(const_cast<Cell*>(block)); c < block::tail_cell(block); ++c)
        if (draw::handle_resource(c)) externals::free_(int32_t(c->data3), true);
}

// A new block on the stack holding the values; the answered cell is good
// until the next allocation.
Cell* push_block_of(std::initializer_list<Cell> values) {
    Cell* made = block::push_new(int32_t(values.size()));
    const Cell copy = *made;
    for (const Cell& v : values) block::append_cell(&copy, &v);
    return made;
}

// The font's size in points: a positive integer, else the default size.
int font_points(const Cell* font) {
    const Cell* size = field_of(font, FONT_SIZE);
    return size->is(TYPE_INTEGER) && size->as_int() > 0 ? size->as_int() : draw::default_size();
}

// Pixel height as CreateFont takes it: the points at a DPI, negative.
int pixel_height(int size, int dpi) { return size * dpi / -72; }

// Adds the face to the list unless it is there (the list made when missing).
void add_parent(const Cell* font, const Cell* face) {
    const Cell face_copy = *face;
    Cell* parent = field_of(font, FONT_PARENT);
    if (!parent->is(TYPE_BLOCK)) {
        stack::StackScope scope;
        const Cell made = *block::push_new(4);
        *field_of(font, FONT_PARENT) = made;
        parent = field_of(font, FONT_PARENT);
    }
    for (const Cell* c = block::head_cell(parent); c < block::tail_cell(parent); ++c)
        if (same_object(c, &face_copy)) return;
    const Cell list = *parent;
    block::append_cell(&list, &face_copy);
}

}  // namespace

void mark_layout_stale(const Cell* face) {
    if (!draw::object_with_fields(face, RICH_TEXT_FIELDS) ||
        !word_is(field_of(face, FACE_TYPE), "rich-text"))
        return;
    Cell* handles = field_of(face, FACE_HANDLES);
    if (handles->is(TYPE_BLOCK) && block::length_from_start(handles) >= 4)
        *block::cell_at(handles, 3) = shared_true_cell;
}

FontRecord::~FontRecord() {
    if (desc) pango_font_description_free(desc);
}

int screen_dpi() { return g_screen_dpi; }
void set_screen_dpi(int dpi) { g_screen_dpi = dpi > 0 ? dpi : 96; }

Cell* font_state(const Cell* font) {
    Cell* state = field_of(font, FONT_STATE);
    if (!state->is(TYPE_BLOCK)) return nullptr;
    const Cell* cells = block::cell_at(state, 0);
    if (block::head_index(state) == 1 && block::length_from_start(state) >= 4 &&
        same_object(cells, font))
        return state;
    // A block copied from another font is not trusted. Its records are the
    // other font's: the copy only lets go of them, and the collector
    // releases them once neither font reaches them.
    *state = shared_none_cell;
    return nullptr;
}

Cell* font_make_state(const Cell* font) {
    const Cell font_copy = *font;
    stack::StackScope scope;
    Cell* made = push_block_of({font_copy, shared_none_cell, shared_none_cell, shared_none_cell});
    made->data1 = 1;  // the font itself stays before the head
    const Cell state = *made;
    *field_of(&font_copy, FONT_STATE) = state;
    return field_of(&font_copy, FONT_STATE);
}

void font_release_state(const Cell* font) {
    Cell* state = font_state(font);
    if (!state) return;
    release_handles(state);
    *state = shared_none_cell;
}

int font_weight(const Cell* font, int default_weight) {
    const Cell* w = field_of(font, FONT_WEIGHT);
    if (w->is(TYPE_INTEGER) && w->as_int() > 0) return std::min(w->as_int(), 999);
    return default_weight;
}

FontRecord* font_handle(const Cell* font) {
    Cell* state = font_state(font);
    if (!state) return nullptr;
    return dynamic_cast<FontRecord*>(draw::handle_resource(block::head_cell(state)));
}

FontRecord* make_font(const Cell* face, const Cell* font, bool scaled) {
    const Cell font_copy = *font;
    FontRecord* record = font_handle(&font_copy);
    if (!record) {
        // The state block first: an entry no value holds yet would not
        // outlive a collection.
        if (!font_state(&font_copy)) font_make_state(&font_copy);
        auto* made = new FontRecord;
        const int points = font_points(&font_copy);
        made->height = pixel_height(points, 96);
        const Cell* angle = field_of(&font_copy, FONT_ANGLE);
        made->orientation = angle->is(TYPE_INTEGER) ? angle->as_int() * 10 : 0;
        const Cell* aa = field_of(&font_copy, FONT_ANTI_ALIAS);
        made->quality = aa->is(TYPE_LOGIC) && aa->data1 ? 4 : word_is(aa, "ClearType") ? 5 : 0;
        const Cell* style = field_of(&font_copy, FONT_STYLE);
        int weight = holds_word(style, "bold") ? 700 : 400;
        weight = font_weight(&font_copy, weight);
        made->underline = holds_word(style, "underline");
        made->strike = holds_word(style, "strike");
        const bool italic = holds_word(style, "italic");
        made->desc = pango_font_description_new();
        const Cell* name = field_of(&font_copy, FONT_NAME);
        const std::string family = name->is(TYPE_STRING) ? draw::family_name(name) : draw::default_family();
        pango_font_description_set_family(made->desc, family.c_str());
        pango_font_description_set_size(made->desc, points * PANGO_SCALE);
        pango_font_description_set_weight(made->desc, PangoWeight(weight));
        pango_font_description_set_style(made->desc, italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        const Cell handle = draw::resource_handle(made, draw::font_kind(), handle::FONT);
        block::head_cell(font_state(&font_copy))[0] = handle;
        record = made;
    }
    if (scaled) {
        record->scaled_height = pixel_height(font_points(&font_copy), g_screen_dpi);
        record->dpi = g_screen_dpi;
    }
    if (face && face->is(TYPE_OBJECT)) add_parent(&font_copy, face);
    return record;
}

FontRecord* make_font_scaled(const Cell* font) { return make_font(nullptr, font, true); }

void update_font(const Cell* font, int32_t) {
    const Cell font_copy = *font;
    font_release_state(&font_copy);
    make_font(nullptr, &font_copy, true);
    const Cell parent = *field_of(&font_copy, FONT_PARENT);
    if (!parent.is(TYPE_BLOCK)) return;
    // each face's font set again and its window redrawn: re-read the block
    // after each, setting a font allocates
    for (int32_t i = 0; i < block::length_from_head(&parent); ++i) {
        const Cell face = block::head_cell(const_cast<Cell*>(&parent))[i];
        mark_layout_stale(&face);
        if (draw::object_with_fields(&face, FACE_FIELDS)) set_font(&face);
    }
}

void update_para(const Cell* face, int32_t) {
    if (!draw::object_with_fields(face, FACE_FIELDS)) return;
    mark_layout_stale(face);
    Cell* state = field_of(face, FACE_STATE);
    if (!state->is(TYPE_BLOCK)) return;
    if (face::type_is(face, "area")) remake_area(face);
    else set_para_style(face);
    state = field_of(face, FACE_STATE);
    if (!state->is(TYPE_BLOCK) || block::length_from_start(state) < 2) return;
    Cell* mask = block::cell_at(state, 1);
    if (mask->is(TYPE_INTEGER)) mask->data2 |= 0x40000;
}

uint32_t para_style_flags(const Cell* type, const Cell* para) {
    if (!draw::object_with_fields(para, PARA_FIELDS)) return 0;
    const Cell* align = field_of(para, PARA_ALIGN);
    const Cell* v_align = field_of(para, PARA_V_ALIGN);
    const Cell* wrap_cell = field_of(para, PARA_WRAP);
    const bool wrap = wrap_cell->is(TYPE_NONE) || (wrap_cell->is(TYPE_LOGIC) && wrap_cell->data1);
    // Per type group: left, centre, right, other; top, middle, bottom, other.
    struct Group {
        uint32_t h[4], v[4];
    };
    const bool base = word_is(type, "base"), rich = word_is(type, "rich-text");
    const bool button = word_is(type, "button") || word_is(type, "toggle");
    const bool check = word_is(type, "check") || word_is(type, "radio");
    const bool field = word_is(type, "field") || word_is(type, "area");
    const bool text = word_is(type, "text");
    Group g{{0, 0, 0, 0}, {0, 0, 0, 0}};
    uint32_t wrap_bits = 0;
    if (base || rich) {
        g = {{0, 1, 2, base ? 1u : 0u}, {0, 4, 8, base ? 4u : 0u}};
        if (wrap) wrap_bits = 0x10;
    } else if (button || check) {
        g = {{0x100, 0x300, 0x200, button ? 0x300u : 0x100u}, {0x400, 0xC00, 0x800, 0xC00}};
    } else if (field || text) {
        g = {{0, 1, 2, 0}, {0, 0x200, 0, 0}};
        if (!wrap) wrap_bits = text ? 0x4000 : 0xC0;
    }
    auto pick = [](const Cell* w, const char* a, const char* b, const char* c) {
        return word_is(w, a) ? 0 : word_is(w, b) ? 1 : word_is(w, c) ? 2 : 3;
    };
    return g.h[pick(align, "left", "center", "right")] | wrap_bits |
           g.v[pick(v_align, "top", "middle", "bottom")];
}

int32_t utf16_length(const char16_t* text) {
    int32_t n = 0;
    while (text[n]) ++n;
    return n;
}

int32_t utf16_index_adjust(const Cell* str, int32_t start, int32_t count, int direction) {
    const int32_t head = string::head_index(str);
    const int32_t length = string::length_from_start(str) - head;
    if (direction >= 0) {
        int32_t units = count;
        for (int32_t i = std::max(start, 0); i < std::min(start + count, length); ++i)
            if (string::char_at(str, head + i) > 0xFFFF) ++units;
        return units;
    }
    // count UTF-16 units from the head back to characters
    int32_t units = 0, chars = 0;
    while (chars < length && units < count) {
        units += string::char_at(str, head + chars) > 0xFFFF ? 2 : 1;
        ++chars;
    }
    return chars + std::max(0, count - units);
}

}  // namespace zun::gui
