#include "gui/text_platform.hpp"

#include <cstring>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/object.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "draw/text_layout.hpp"
#include "gui/font.hpp"
#include "interpreter/stack.hpp"
#include "startup/boot_texts.hpp"

namespace zun::gui {

namespace {

using draw::field_of;
using draw::object_with_fields;
using draw::word_is;
using routine::MachineResult;

// An object read by position must have the fields it is read for.
void need_fields(const Cell* value, uint32_t n) {
    if (!object_with_fields(value, n)) support::fire_error(ErrorId::script_invalid_arg, value);
}

// Faces whose text is laid out as their painting lays it out.
bool painted_face_q(const Cell* type) {
    return word_is(type, "base") || word_is(type, "rich-text") || word_is(type, "window") ||
           word_is(type, "panel");
}

MachineResult size_text_routine(Cell* args) {
    need_fields(&args[0], FACE_FIELDS);
    const Cell* text = &args[1];
    if (text->is(TYPE_NONE)) text = field_of(&args[0], FACE_TEXT);
    else if (!text->is(TYPE_STRING)) support::fire_invalid_type(text->type());
    const Cell t = *text;
    size_text(&args[0], &t, &args[0]);
    return MachineResult{};
}

MachineResult text_box_metrics_routine(Cell* args) {
    need_fields(&args[0], FACE_FIELDS);
    const Cell* type = field_of(&args[0], FACE_TYPE);
    if (!word_is(type, "rich-text")) {
        const Cell word = *type;
        support::fire_error(ErrorId::script_face_type, &word);
    }
    need_fields(&args[0], RICH_TEXT_FIELDS);
    if (!field_of(&args[0], FACE_TEXT)->is(TYPE_STRING)) {
        args[0] = shared_none_cell;
        return MachineResult{};
    }
    const Cell* handles = field_of(&args[0], FACE_HANDLES);
    draw::TextLayout* layout = draw::handles_layout(handles);
    if (!layout || !block::cell_at(handles, 3)->is(TYPE_LOGIC) || block::cell_at(handles, 3)->data1) {
        const Cell face = args[0];
        layout = draw::os_text_box_layout(&face, false).layout;
    }
    draw::os_text_box_metrics(*layout, &args[1], args[2].as_int(), &args[0]);
    return MachineResult{};
}

MachineResult update_font_routine(Cell* args) {
    need_fields(&args[0], FONT_FIELDS);
    update_font(&args[0], args[1].as_int());
    args[0] = shared_none_cell;
    return MachineResult{};
}

MachineResult update_para_routine(Cell* args) {
    need_fields(&args[0], FACE_FIELDS);
    update_para(&args[0], args[1].as_int());
    args[0] = shared_none_cell;
    return MachineResult{};
}

struct Routine {
    const char* name;
    const char* spec;
    routine::Entry entry;
};
const Routine k_routines[] = {
    {"size-text", "face [object!] value [any-type!]", size_text_routine},
    {"text-box-metrics", "box [object!] arg0 [any-type!] type [integer!]", text_box_metrics_routine},
    {"update-font", "font [object!] flags [integer!]", update_font_routine},
    {"update-para", "face [object!] flags [integer!]", update_para_routine},
};

// Field look-ups by symbol: the symbols are made first, as making one may
// move the buffers the fields lie in.
Cell* named_field(Cell* object, uint32_t symbol) {
    if (!object || !object->is(TYPE_OBJECT)) return nullptr;
    const int32_t i = context::find_word(object->data1, symbol, true);
    return i < 0 ? nullptr : object::values_base(object) + i;
}
Cell* view_field(uint32_t system, uint32_t view) {
    return named_field(context::find_word_value(system, context::global()), view);
}

}  // namespace

void size_text(const Cell* face, const Cell* text, Cell* out) {
    if (!text->is(TYPE_STRING)) {
        *out = shared_none_cell;
        return;
    }
    const Cell f = *face, t = *text;
    std::unique_ptr<draw::TextLayout> layout;
    if (painted_face_q(field_of(&f, FACE_TYPE))) {
        layout = draw::face_text_layout(&f, &t);
    } else {
        // one unbounded line per paragraph, tabs every eight average characters
        const Cell font = *field_of(&f, FACE_FONT);
        draw::TextFormat format(*draw::text_format(object_with_fields(&font, FONT_FIELDS) ? &font : nullptr));
        PangoFontMetrics* metrics =
            pango_context_get_metrics(draw::shared_context(), format.desc, pango_language_get_default());
        format.tab_stop = 8.0 * pango_font_metrics_get_approximate_char_width(metrics) / PANGO_SCALE;
        pango_font_metrics_unref(metrics);
        layout = draw::create_text_layout(&t, format, 0, 0);
    }
    const float w = float(layout->text_width()), h = float(layout->text_height());
    point2D::init_cell(out, w, h);
}

void bind_text_routines() {
    stack::StackScope scope;
    const uint32_t system = symbol::make("system"), view = symbol::make("view");
    const uint32_t platform = symbol::make("platform");
    for (const Routine& r : k_routines) {
        const uint32_t name = symbol::make(r.name);
        const Cell made = boot_texts::make_routine(r.spec, r.entry);
        if (Cell* slot = named_field(named_field(view_field(system, view), platform), name)) *slot = made;
    }
}

}  // namespace zun::gui
