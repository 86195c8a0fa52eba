// Text layouts of strings and faces: range styles, backdrops, measuring and
// hit testing, and drawing onto a cairo context.
//
// Positions are characters; pango counts UTF-8 bytes, so a layout keeps the
// byte offset of every character. Vertical alignment has no pango
// counterpart, and pango aligns unwrapped lines against the widest one: the
// layout is shifted inside its box for both, in drawing and in every hit
// test alike.
#pragma once
#include <cairo.h>
#include <pango/pangocairo.h>

#include <memory>
#include <vector>

#include "core/cell.hpp"
#include "draw/text_format.hpp"

namespace zun::draw {

struct Rgba {
    double r = 0, g = 0, b = 0, a = 1;
};
// The parts of a pair! or point2D!; false (x and y left alone) for other values.
bool xy_of(const Cell* c, double* x, double* y);
// A tuple's colour (the fourth component is the transparency).
Rgba tuple_colour(const Cell* tuple);

struct TextLayout : TextResource {
    PangoLayout* layout = nullptr;
    PangoAttrList* attrs = nullptr;
    std::vector<int32_t> bytes;  // byte offset of each character, then of the end
    int text_align = 0, para_align = 0;
    bool wrap = false, uniform = false;
    double spacing = 0;
    double box_w = -1, box_h = -1;  // the box's maximum sizes; negative: unbounded
    struct Backdrop {
        int32_t start, length;
        Rgba colour;
    };
    std::vector<Backdrop> backdrops;
    bool attrs_changed = false;

    ~TextLayout() override;
    int32_t length() const { return int32_t(bytes.size()) - 1; }
    // Hands changed attributes to pango; every measure calls it first.
    void commit();
    double shift_x();
    double shift_y();
    double text_height();
    double text_width();  // white space at each line's end left out
    int32_t char_of_byte(int32_t byte) const;

    // Range styles (character ranges, already cut to the text).
    void set_colour(int32_t start, int32_t length, Rgba c);
    void set_weight(int32_t start, int32_t length, int weight);
    void set_italic(int32_t start, int32_t length);
    void set_underline(int32_t start, int32_t length);
    void set_strike(int32_t start, int32_t length);
    void set_family(int32_t start, int32_t length, const std::string& family);
    void set_size(int32_t start, int32_t length, double points);
    void add_backdrop(int32_t start, int32_t length, Rgba c);
};

// A layout of the text (a string!, else empty) with the format's settings;
// a positive width or height bounds the box at that value + 0.5.
std::unique_ptr<TextLayout> create_text_layout(const Cell* text, const TextFormat& format, double width,
                                               double height);

// The decoration bits of a font object's style: 1 underline, 2 strike.
int font_decoration_flags(const Cell* font);
void apply_font_decorations(TextLayout& layout, int flags);

// Applies a style block (pairs of 1-based character ranges, each followed by
// its styles) to a layout; bad values raise draw-invalid.
void text_box_styles(TextLayout& layout, const Cell* styles, bool catch_flag);

// A face's layout: a rich-text face's is kept in its `handles` block (made or
// refreshed here) and owned by it; any other face's belongs to the caller.
struct FaceLayout {
    TextLayout* layout = nullptr;
    std::unique_ptr<TextLayout> owned;
};
FaceLayout os_text_box_layout(const Cell* face, bool catch_flag);
// A layout of the text laid out as the face lays out its own (font, para,
// box; no styles).
std::unique_ptr<TextLayout> face_text_layout(const Cell* face, const Cell* text);
// Answers the metric of type (0 caret point, 6 its far corner, 1 caret
// position at a point, 5 character at a point, 2 line height, 3 size, else
// line count) into out.
void os_text_box_metrics(TextLayout& layout, const Cell* arg, int type, Cell* out);
// The layout held in a rich-text face's handles block, or nullptr.
TextLayout* handles_layout(const Cell* handles);

// Paints the backdrops at the origin, in list order, and empties the list.
void draw_text_backdrops(cairo_t* cr, double x, double y, TextLayout& layout);
// Draws the layout with its top-left corner at x, y in the colour.
void draw_layout(cairo_t* cr, double x, double y, TextLayout& layout, Rgba colour);

}  // namespace zun::draw
