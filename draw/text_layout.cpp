#include "draw/text_layout.hpp"
#include "draw/text_render.hpp"

#include <algorithm>
#include <cmath>

#include "core/externals.hpp"
#include "core/support.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "gui/font.hpp"
#include "interpreter/stack.hpp"

namespace zun::draw {

namespace {

constexpr double S = PANGO_SCALE;

// The string's characters as UTF-8 with each character's byte offset; code
// points UTF-8 cannot carry become U+FFFD so every character keeps a place.
void utf8_of(const Cell* text, std::string& out, std::vector<int32_t>& offsets) {
    out.clear();
    offsets.clear();
    if (text->is(TYPE_STRING)) {
        const int32_t head = string::head_index(text);
        const int32_t n = std::max(0, string::length_from_start(text) - head);
        offsets.reserve(size_t(n) + 1);
        out.reserve(size_t(n));
        for (int32_t i = 0; i < n; ++i) {
            uint32_t c = string::char_at(text, head + i);
            if (c == 0 || (c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = 0xFFFD;
            offsets.push_back(int32_t(out.size()));
            char buf[6];
            out.append(buf, size_t(g_unichar_to_utf8(c, buf)));
        }
    }
    offsets.push_back(int32_t(out.size()));
}

// The horizontal span of the bytes start..end of a line, from the first
// character's leading edge to the last one's trailing edge, in pango units.
std::pair<int, int> x_span(PangoLayoutLine* line, const char* text, int32_t start, int32_t end) {
    int x0 = 0, x1 = 0;
    pango_layout_line_index_to_x(line, start, FALSE, &x0);
    pango_layout_line_index_to_x(line, int(g_utf8_find_prev_char(text, text + end) - text), TRUE, &x1);
    return {std::min(x0, x1), std::max(x0, x1)};
}

double factor(int align) { return align == 2 ? 0.5 : align == 1 ? 1.0 : 0.0; }

[[noreturn]] void invalid_at(const Cell* styles, const Cell* at) {
    Cell where = *styles;
    where.data1 = uint32_t(at - block::buffer_of(styles)->head_cell());
    support::fire_error(ErrorId::script_draw_invalid, &where);
}

double number_of(const Cell* c) { return c->is(TYPE_INTEGER) ? c->as_int() : c->as_double(); }

}  // namespace

Rgba tuple_colour(const Cell* tuple) {
    uint8_t b[tuple::MAX_LENGTH];
    tuple::get_bytes(tuple, b);
    return Rgba{b[0] / 255.0, b[1] / 255.0, b[2] / 255.0,
                tuple::length_of(tuple) > 3 ? (255 - b[3]) / 255.0 : 1.0};
}

bool xy_of(const Cell* c, double* x, double* y) {
    if (c->is(TYPE_PAIR)) {
        *x = pair::x_of(c);
        *y = pair::y_of(c);
    } else if (c->is(TYPE_POINT2D)) {
        *x = point::coordinate(c, 0);
        *y = point::coordinate(c, 1);
    } else {
        return false;
    }
    return true;
}

TextLayout::~TextLayout() {
    if (layout) g_object_unref(layout);
    if (attrs) pango_attr_list_unref(attrs);
}

void TextLayout::commit() {
    if (!attrs_changed) return;
    pango_layout_set_attributes(layout, attrs);
    attrs_changed = false;
}

double TextLayout::shift_x() {
    if (box_w < 0 || wrap || !text_align) return 0;
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return (box_w - logical.width / S) * factor(text_align);
}

double TextLayout::shift_y() {
    if (box_h < 0 || !para_align) return 0;
    return (box_h - text_height()) * factor(para_align);
}

double TextLayout::text_height() {
    commit();
    if (uniform) return pango_layout_get_line_count(layout) * spacing;
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    return logical.height / S;
}

double TextLayout::text_width() {
    commit();
    const char* text = pango_layout_get_text(layout);
    double widest = 0;
    for (GSList* l = pango_layout_get_lines_readonly(layout); l; l = l->next) {
        auto* line = static_cast<PangoLayoutLine*>(l->data);
        const int32_t start = line->start_index;
        int32_t end = start + line->length;
        while (end > start) {
            const char* prev = g_utf8_find_prev_char(text + start, text + end);
            if (!prev || !g_unichar_isspace(g_utf8_get_char(prev))) break;
            end = int32_t(prev - text);
        }
        if (end == start) continue;
        const auto [x0, x1] = x_span(line, text, start, end);
        widest = std::max(widest, (x1 - x0) / S);
    }
    return widest;
}

int32_t TextLayout::char_of_byte(int32_t byte) const {
    auto it = std::upper_bound(bytes.begin(), bytes.end(), byte);
    return std::max<int32_t>(0, int32_t(it - bytes.begin()) - 1);
}

namespace {

// Inserts the attribute over the characters, replacing what the same kind
// set there before, as a range property would.
void change(TextLayout& t, PangoAttribute* attr, int32_t start, int32_t length) {
    attr->start_index = guint(t.bytes[size_t(start)]);
    attr->end_index = length == INT32_MAX ? PANGO_ATTR_INDEX_TO_TEXT_END : guint(t.bytes[size_t(start + length)]);
    pango_attr_list_change(t.attrs, attr);
    t.attrs_changed = true;
}

}  // namespace

void TextLayout::set_colour(int32_t start, int32_t length, Rgba c) {
    auto channel = [](double v) { return guint16(std::lround(v * 65535)); };
    change(*this, pango_attr_foreground_new(channel(c.r), channel(c.g), channel(c.b)), start, length);
    change(*this, pango_attr_foreground_alpha_new(channel(c.a)), start, length);
}
void TextLayout::set_weight(int32_t start, int32_t length, int weight) {
    change(*this, pango_attr_weight_new(PangoWeight(weight)), start, length);
}
void TextLayout::set_italic(int32_t start, int32_t length) {
    change(*this, pango_attr_style_new(PANGO_STYLE_ITALIC), start, length);
}
void TextLayout::set_underline(int32_t start, int32_t length) {
    change(*this, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE), start, length);
}
void TextLayout::set_strike(int32_t start, int32_t length) {
    change(*this, pango_attr_strikethrough_new(TRUE), start, length);
}
void TextLayout::set_family(int32_t start, int32_t length, const std::string& family) {
    change(*this, pango_attr_family_new(family.c_str()), start, length);
}
void TextLayout::set_size(int32_t start, int32_t length, double points) {
    // a size pango cannot hold is refused, as a bad size is by a range setter
    if (!(points > 0 && points < 10000)) return;
    change(*this, pango_attr_size_new(int(std::lround(points * PANGO_SCALE))), start, length);
}
void TextLayout::add_backdrop(int32_t start, int32_t length, Rgba c) {
    backdrops.push_back(Backdrop{start, length, c});
}

std::unique_ptr<TextLayout> create_text_layout(const Cell* text, const TextFormat& format, double width,
                                               double height) {
    auto t = std::make_unique<TextLayout>();
    std::string utf8;
    utf8_of(text, utf8, t->bytes);
    t->layout = pango_layout_new(layout_context());
    t->attrs = pango_attr_list_new();
    // a word broken at the line's end gets no hyphen
    pango_attr_list_insert(t->attrs, pango_attr_insert_hyphens_new(FALSE));
    t->attrs_changed = true;
    pango_layout_set_font_description(t->layout, format.desc);
    pango_layout_set_text(t->layout, utf8.data(), int(utf8.size()));
    const double stop = format.tab_stop > 0 ? format.tab_stop : 4 * format.size_px;
    PangoTabArray* tabs = pango_tab_array_new(1, FALSE);
    pango_tab_array_set_tab(tabs, 0, PANGO_TAB_LEFT, int(std::lround(stop * S)));
    pango_layout_set_tabs(t->layout, tabs);
    pango_tab_array_free(tabs);
    t->text_align = format.text_align;
    t->para_align = format.para_align;
    t->wrap = format.wrap;
    t->uniform = format.uniform;
    t->spacing = format.spacing;
    pango_layout_set_alignment(t->layout, t->text_align == 2   ? PANGO_ALIGN_CENTER
                                          : t->text_align == 1 ? PANGO_ALIGN_RIGHT
                                                               : PANGO_ALIGN_LEFT);
    if (width > 0) t->box_w = width + 0.5;
    if (height > 0) t->box_h = height + 0.5;
    if (t->wrap && t->box_w > 0) {
        pango_layout_set_width(t->layout, int(t->box_w * S));
        pango_layout_set_wrap(t->layout, PANGO_WRAP_WORD_CHAR);
    }
    if (t->uniform) pango_layout_set_spacing(t->layout, int(std::lround((t->spacing - format.natural) * S)));
    return t;
}

int font_decoration_flags(const Cell* font) {
    if (!object_with_fields(font, gui::FONT_FIELDS)) return 0;
    const Cell* style = field_of(font, gui::FONT_STYLE);
    return (holds_word(style, "underline") ? 1 : 0) | (holds_word(style, "strike") ? 2 : 0);
}

void apply_font_decorations(TextLayout& layout, int flags) {
    if (layout.length() == 0) return;
    if (flags & 1) layout.set_underline(0, INT32_MAX);
    if (flags & 2) layout.set_strike(0, INT32_MAX);
}

void text_box_styles(TextLayout& layout, const Cell* styles, bool) {
    const int32_t n = layout.length();
    int32_t start = 0, length = 0;
    const Cell block_cell = *styles;
    const Cell* end = block::tail_cell(&block_cell);
    for (const Cell* at = block::head_cell(const_cast<Cell*>(&block_cell)); at < end; ++at) {
        const bool some = length > 0;
        switch (at->type()) {
        case TYPE_PAIR:
        {
            // the part of the range inside the text: cut at both ends
            const int64_t from = int64_t(pair::x_of(at)) - 1;
            const int64_t to = from + std::max(pair::y_of(at), 0);
            start = int32_t(std::clamp<int64_t>(from, 0, n));
            length = int32_t(std::clamp<int64_t>(to, start, n)) - start;
            continue;
        }
        case TYPE_TUPLE:
            if (some) layout.set_colour(start, length, tuple_colour(at));
            continue;
        case TYPE_STRING:
            if (some) layout.set_family(start, length, family_name(at));
            continue;
        case TYPE_INTEGER:
        case TYPE_FLOAT:
            if (some) layout.set_size(start, length, number_of(at));
            continue;
        default:
            break;
        }
        if (word_is(at, "backdrop") && at->is(TYPE_WORD)) {
            if (++at >= end) invalid_at(&block_cell, at);
            const Cell* colour = at;
            if (colour->is(TYPE_WORD)) {
                const Cell* v = word::get_value(colour);
                colour = v ? v : colour;
            }
            if (!colour->is(TYPE_TUPLE)) invalid_at(&block_cell, at);
            if (some) layout.add_backdrop(start, length, tuple_colour(colour));
        } else if (at->is(TYPE_WORD) && word_is(at, "bold")) {
            if (some) layout.set_weight(start, length, 700);
        } else if (at->is(TYPE_WORD) && word_is(at, "italic")) {
            if (some) layout.set_italic(start, length);
        } else if (at->is(TYPE_WORD) &&
                   (word_is(at, "underline") || word_is(at, "strike") || word_is(at, "border"))) {
            const Cell* word = at;
            if (at + 1 < end && at[1].is(TYPE_TUPLE)) ++at;
            if (at + 1 < end && at[1].is(TYPE_LIT_WORD)) ++at;
            if (!some) continue;
            if (word_is(word, "underline")) layout.set_underline(start, length);
            else if (word_is(word, "strike")) layout.set_strike(start, length);
        } else {
            invalid_at(&block_cell, at);
        }
    }
}

TextLayout* handles_layout(const Cell* handles) {
    if (!handles->is(TYPE_BLOCK) || block::length_from_start(handles) < 4) return nullptr;
    return dynamic_cast<TextLayout*>(handle_resource(block::cell_at(handles, 0)));
}

namespace {

bool rich_face_q(const Cell* face) {
    return word_is(field_of(face, gui::FACE_TYPE), "rich-text") && object_with_fields(face, gui::RICH_TEXT_FIELDS);
}

// The format of a face's text with its para, tab and spacing settings, and
// its box (the size's parts rounded).
struct FaceFormat {
    std::unique_ptr<TextFormat> format;
    double w = 0, h = 0;
};
FaceFormat face_format(const Cell* face, bool rich) {
    using namespace gui;
    const Cell f = *face;
    const Cell font = *field_of(&f, FACE_FONT);
    FaceFormat out;
    out.format = std::make_unique<TextFormat>(*text_format(object_with_fields(&font, FONT_FIELDS) ? &font : nullptr));
    TextFormat& format = *out.format;
    const Cell para = *field_of(&f, FACE_PARA);
    const uint32_t flags = object_with_fields(&para, PARA_FIELDS) ? para_style_flags(field_of(&f, FACE_TYPE), &para)
                                                                 : rich ? 0x10u : 5u;
    para_format(format, flags);
    if (rich) {
        tab_stops(format, field_of(&f, FACE_TABS));
        const Cell spacing = *field_of(&f, FACE_LINE_SPACING);
        if (!(spacing.is(TYPE_WORD) && word_is(&spacing, "default"))) line_spacing(format, &spacing);
    }
    if (xy_of(field_of(&f, FACE_SIZE), &out.w, &out.h)) {
        out.w = int(out.w + 0.5);
        out.h = int(out.h + 0.5);
    }
    return out;
}

}  // namespace

std::unique_ptr<TextLayout> face_text_layout(const Cell* face, const Cell* text) {
    const Cell f = *face, t = *text;
    const FaceFormat settings = face_format(&f, rich_face_q(&f));
    return create_text_layout(&t, *settings.format, settings.w, settings.h);
}

FaceLayout os_text_box_layout(const Cell* face, bool catch_flag) {
    using namespace gui;
    const Cell f = *face;
    const bool rich = rich_face_q(&f);
    const Cell font = *field_of(&f, FACE_FONT);
    const bool has_font = object_with_fields(&font, FONT_FIELDS);
    const FaceFormat settings = face_format(&f, rich);

    int32_t entry = -1;
    if (rich) {
        Cell* handles = field_of(&f, FACE_HANDLES);
        if (handles->is(TYPE_BLOCK) && block::length_from_start(handles) >= 4) {
            if (handles_layout(handles)) entry = int32_t(block::cell_at(handles, 0)->data3);
            *block::cell_at(handles, 3) = shared_false_cell;
        } else {
            stack::StackScope scope;
            Cell* made = block::push_new(4);
            const Cell list = *made;
            const Cell values[4] = {shared_none_cell, make_cell(TYPE_HANDLE, handle::RICH_TEXT, 0, handle::NO_SLOT),
                                    shared_none_cell, shared_false_cell};
            for (const Cell& v : values) block::append_cell(&list, &v);
            *field_of(&f, FACE_HANDLES) = list;
        }
        *block::cell_at(field_of(&f, FACE_HANDLES), 2) = *field_of(&f, FACE_TEXT);
    }

    FaceLayout out;
    out.owned = create_text_layout(field_of(&f, FACE_TEXT), *settings.format, settings.w, settings.h);
    out.layout = out.owned.get();
    if (rich) {
        TextLayout* made = out.owned.release();
        Cell handle;
        if (entry >= 0)
            handle = replace_resource(entry, made, handle::RICH_TEXT);
        else
            handle = resource_handle(made, layout_kind(), handle::RICH_TEXT);
        *block::cell_at(field_of(&f, FACE_HANDLES), 0) = handle;
    }

    if (has_font) {
        const Cell* colour = field_of(&font, FONT_COLOR);
        if (colour->is(TYPE_TUPLE)) out.layout->set_colour(0, out.layout->length(), tuple_colour(colour));
        apply_font_decorations(*out.layout, font_decoration_flags(&font));
    }
    const Cell data = *field_of(&f, FACE_DATA);
    if (data.is(TYPE_BLOCK) && block::length_from_head(&data) > 1) {
        // A bad style leaves no backdrops, and a kept layout marked stale.
        struct Guard {
            const Cell& face;
            FaceLayout& out;
            bool rich;
            bool done = false;
            ~Guard() {
                if (done) return;
                out.layout->backdrops.clear();
                if (rich) *block::cell_at(field_of(&face, FACE_HANDLES), 3) = shared_true_cell;
            }
        } guard{f, out, rich};
        text_box_styles(*out.layout, &data, catch_flag);
        guard.done = true;
    }
    return out;
}

void os_text_box_metrics(TextLayout& t, const Cell* arg, int type, Cell* out) {
    t.commit();
    PangoLayout* layout = t.layout;
    const double sx = t.shift_x(), sy = t.shift_y();
    switch (type) {
    case 0:
    case 6: {
        const int32_t pos = arg->is(TYPE_INTEGER) ? arg->as_int() : 1;
        const int32_t index = std::clamp(pos - 1, 0, t.length());
        PangoRectangle r;
        pango_layout_index_to_pos(layout, t.bytes[size_t(index)], &r);
        double x = r.x / S + sx, y = r.y / S + sy;
        const double height = t.uniform ? t.spacing : r.height / S;
        if (type == 6) {
            x += r.width / S;
            y += height;
        } else if (y < 0) {
            y = 0;
        }
        point2D::init_cell(out, float(x), float(y));
        return;
    }
    case 1:
    case 5: {
        double px = 0, py = 0;
        xy_of(arg, &px, &py);
        int index = 0, trailing = 0;
        pango_layout_xy_to_index(layout, int(std::lround((px - sx) * S)), int(std::lround((py - sy) * S)), &index,
                                 &trailing);
        int32_t c = t.char_of_byte(index);
        if (type == 1 && trailing > 0) ++c;
        *out = integer_cell(c + 1);
        return;
    }
    case 2: {
        int32_t pos = arg->is(TYPE_INTEGER) ? arg->as_int() : 1;
        PangoLayoutIter* iter = pango_layout_get_iter(layout);
        double height = 0;
        for (;;) {
            PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(iter, nullptr, &logical);
            height = t.uniform ? t.spacing : logical.height / S;
            const int32_t first = t.char_of_byte(line->start_index);
            const bool last = !pango_layout_iter_next_line(iter);
            const int32_t next =
                last ? t.length() : t.char_of_byte(pango_layout_iter_get_line_readonly(iter)->start_index);
            pos -= next - first;
            if (pos <= 0 || last) break;
        }
        pango_layout_iter_free(iter);
        Cell result = make_cell(TYPE_FLOAT);
        result.set_double(height);
        *out = result;
        return;
    }
    case 3:
        point2D::init_cell(out, float(t.text_width()), float(t.text_height()));
        return;
    default:
        *out = integer_cell(pango_layout_get_line_count(layout));
        return;
    }
}

void draw_text_backdrops(cairo_t* cr, double x, double y, TextLayout& t) {
    if (t.backdrops.empty()) return;
    t.commit();
    const double ox = x + t.shift_x(), oy = y + t.shift_y();
    for (const TextLayout::Backdrop& b : t.backdrops) {
        const int32_t from = t.bytes[size_t(b.start)], to = t.bytes[size_t(b.start + b.length)];
        cairo_set_source_rgba(cr, b.colour.r, b.colour.g, b.colour.b, b.colour.a);
        PangoLayoutIter* iter = pango_layout_get_iter(t.layout);
        do {
            PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
            const int32_t s = std::max<int32_t>(line->start_index, from);
            const int32_t e = std::min<int32_t>(line->start_index + line->length, to);
            if (s >= e) continue;
            PangoRectangle logical;
            pango_layout_iter_get_line_extents(iter, nullptr, &logical);
            const double top = oy + logical.y / S;
            const double height = t.uniform ? t.spacing : logical.height / S;
            const auto [x0, x1] = x_span(line, pango_layout_get_text(t.layout), s, e);
            const int left = int(ox + (logical.x + x0) / S + 0.5);
            const int width = int((x1 - x0) / S + 0.5);
            cairo_rectangle(cr, left, int(top + 0.5), width, int(height + 0.99));
            cairo_fill(cr);
        } while (pango_layout_iter_next_line(iter));
        pango_layout_iter_free(iter);
    }
    t.backdrops.clear();
}

void draw_layout(cairo_t* cr, double x, double y, TextLayout& t, Rgba colour) {
    t.commit();
    cairo_save(cr);
    cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, colour.a);
    cairo_move_to(cr, x + t.shift_x(), y + t.shift_y());
    pango_cairo_show_layout(cr, t.layout);
    cairo_restore(cr);
}

}  // namespace zun::draw
