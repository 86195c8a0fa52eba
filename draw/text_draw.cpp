#include "draw/text_draw.hpp"

#include "draw/text_render.hpp"
#include "gui/font.hpp"
#include "interpreter/stack.hpp"

namespace zun::draw {

namespace {

bool face_q(const Cell* value) {
    if (!object_with_fields(value, gui::FACE_FIELDS)) return false;
    return !word_is(field_of(value, gui::FACE_TYPE), "rich-text") ||
           object_with_fields(value, gui::RICH_TEXT_FIELDS);
}

// A face's box filled with its colour before its text, for faces that do not
// keep a layout of their own.
void fill_face_box(cairo_t* cr, double x, double y, const Cell* face) {
    const Cell* colour = field_of(face, gui::FACE_COLOR);
    const Cell* size = field_of(face, gui::FACE_SIZE);
    if (!colour->is(TYPE_TUPLE)) return;
    double w, h;
    if (!xy_of(size, &w, &h)) return;
    const Rgba c = tuple_colour(colour);
    cairo_save(cr);
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace

bool font_command(TextState& state, const Cell* font) {
    if (!object_with_fields(font, gui::FONT_FIELDS)) return false;
    state.format = text_format(font);
    const Cell* colour = field_of(font, gui::FONT_COLOR);
    state.font_colour = colour->is(TYPE_TUPLE);
    if (state.font_colour) state.text_colour = tuple_colour(colour);
    state.decorations = font_decoration_flags(font);
    return true;
}

bool text_command(cairo_t* cr, TextState& state, Rgba pen, double x, double y, const Cell* value) {
    const Rgba colour = state.font_colour ? state.text_colour : pen;
    // layouts made here render as the target wants its text
    TextRenderingScope rendering(win::text_rendering_of(cr));
    if (value->is(TYPE_STRING)) {
        if (!state.format) {
            state.format = default_format();
        }
        // the spacing goes on a copy: a font's cached format stays as made
        TextFormat format(*state.format);
        line_spacing(format, nullptr);
        std::unique_ptr<TextLayout> layout = create_text_layout(value, format, 0, 0);
        apply_font_decorations(*layout, state.decorations);
        draw_layout(cr, x, y, *layout, colour);
        return true;
    }
    if (!face_q(value)) return false;
    const Cell face = *value;
    FaceLayout made = os_text_box_layout(&face, false);
    if (made.owned) fill_face_box(cr, x, y, &face);
    draw_text_backdrops(cr, x, y, *made.layout);
    draw_layout(cr, x, y, *made.layout, colour);
    return true;
}

void draw_face_own_text(cairo_t* cr, const Cell* face, Rgba window_text) {
    if (!face_q(face) || word_is(field_of(face, gui::FACE_TYPE), "window") ||
        !field_of(face, gui::FACE_TEXT)->is(TYPE_STRING))
        return;
    TextState state;
    const Cell font = *field_of(face, gui::FACE_FONT);
    const Cell* colour = object_with_fields(&font, gui::FONT_FIELDS) ? field_of(&font, gui::FONT_COLOR) : nullptr;
    state.font_colour = true;
    state.text_colour = colour && colour->is(TYPE_TUPLE) ? tuple_colour(colour) : window_text;
    const Cell face_copy = *face;
    // A catch point of its own: an error drops the face's text, the pass goes on.
    Cell* top = stack::g_top;
    Cell* base = stack::g_base;
    stack::CallFrame* frames = stack::g_frame_top;
    stack::push_native_frame(nullptr);
    stack::push_try_frame(nullptr);
    try {
        text_command(cr, state, window_text, 0, 0, &face_copy);
    } catch (const Unwind& u) {
        if (u.code != Flow::error) throw;
        stack::adjust_after_error();
    }
    stack::g_frame_top = frames;
    stack::g_base = base;
    stack::g_top = top;
}

}  // namespace zun::draw
