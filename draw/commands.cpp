// The command table and the commands that only change the state: stroke
// settings, push and the matrix commands.
#include <cmath>

#include "core/symbols.hpp"
#include "datatypes/series/block.hpp"
#include "draw/walker.hpp"

namespace zun::draw {

namespace {

void cmd_line_width(Walker& w, const Cell*) {
    const double v = w.take_number();
    State& s = w.st;
    // a zero width parks the pen until a width comes back
    if (v == 0.0) {
        if (s.width != 0.0) s.saved_pen_kind = s.pen.kind;
        s.pen.kind = NO_BRUSH;
        s.width = 0.0;
    } else if (v != s.width) {
        if (s.width == 0.0) s.pen.kind = s.saved_pen_kind;
        s.width = v;
    }
    w.apply_stroke();
}

// Any other word gives the first choice.
template <Opt... CHOICES> void set_choice(Walker& w, int* field) {
    if (!(w.more() && w.at->is(TYPE_WORD))) w.invalid_here();
    const Cell* word = w.at++;
    int i = 0, found = 0;
    ((Walker::is(word, CHOICES) ? (found = i, ++i) : ++i), ...);
    *field = found;
    w.apply_stroke();
}
void cmd_line_join(Walker& w, const Cell*) { set_choice<O_MITER, O_BEVEL, O_ROUND, O_MITER_BEVEL>(w, &w.st.join); }
void cmd_line_cap(Walker& w, const Cell*) { set_choice<O_FLAT, O_SQUARE, O_ROUND>(w, &w.st.cap); }

void cmd_line_pattern(Walker& w, const Cell*) {
    std::vector<double>& dashes = w.st.dashes;
    dashes.clear();
    while (w.more() && w.at->is(TYPE_INTEGER)) dashes.push_back(double((w.at++)->as_int()));
    w.apply_stroke();
}

void cmd_anti_alias(Walker& w, const Cell*) {
    if (!(w.more() && w.at->is(TYPE_WORD))) w.invalid_here();
    w.st.antialias = !Walker::is(w.at++, O_OFF);
    w.apply_all();
}

// ---------------------------------------------------------------- text

void cmd_font(Walker& w, const Cell*) {
    if (!(w.more() && font_command(w.st.text, w.word_value(w.at)))) w.invalid_here();
    ++w.at;
}

// A string or a face at a point, in the font's colour or else the pen's.
void cmd_text(Walker& w, const Cell*) {
    const Point p = w.take_point();
    if (!(w.more() && text_command(w.cr, w.st.text, w.st.text_colour, p.x, p.y, w.at))) w.invalid_here();
    ++w.at;
}

void cmd_push(Walker& w, const Cell*) {
    const Cell* block = w.take_block();
    Walker::Scope scope(w);
    w.walk_block(block);
}

// ---------------------------------------------------------------- matrices

// The optional 'pen / 'fill-pen: the brush whose transform the command
// changes, else the drawing transform (nullptr). Another lit-word stays.
struct MatrixTarget {
    bool brush = false;
    bool pen = false;
};
MatrixTarget take_target(Walker& w) {
    MatrixTarget t;
    if (w.more() && w.at->is(TYPE_LIT_WORD)) {
        Cell word = *w.at;
        word.set_type(TYPE_WORD);
        if (Walker::is(&word, O_PEN) || Walker::is(&word, O_FILL_PEN)) {
            t.brush = true;
            t.pen = Walker::is(&word, O_PEN);
            ++w.at;
        }
    }
    return t;
}

// M x C on the chosen transform; solid and absent brushes have none.
void combine(Walker& w, const MatrixTarget& t, const Matrix& m) {
    if (t.brush) {
        Brush& b = t.pen ? w.st.pen : w.st.fill;
        if (b.kind > SOLID) b.transform = multiply(m, b.transform);
        return;
    }
    w.st.transform = multiply(m, w.st.transform);
    w.apply_transform();
}

template <class F> void matrix_command(Walker& w, const MatrixTarget& t, F make) {
    w.scoped([&] { combine(w, t, make()); });
}

void cmd_rotate(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    const double angle = w.take_number();
    Point c{0, 0};
    w.maybe_point(&c);
    matrix_command(w, t, [&] { return rotation(angle, c.x, c.y); });
}

void cmd_scale(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    const double sx = w.take_scale(), sy = w.take_scale();
    Point c{0, 0};
    w.maybe_point(&c);
    matrix_command(w, t, [&] { return scaling(sx, sy, c.x, c.y); });
}

void cmd_translate(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    const Point p = w.take_point();
    matrix_command(w, t, [&] { return translation(p.x, p.y); });
}

void cmd_skew(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    const double ax = w.take_number();
    double ay = 0;
    w.maybe_number(&ay);
    Point c{0, 0};
    w.maybe_point(&c);
    matrix_command(w, t, [&] { return skewing(ax, ay, c.x, c.y); });
}

// Rotate, then scale, then translate, each combined in turn.
void cmd_transform(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    Point c{0, 0};
    w.maybe_point(&c);
    const double angle = w.take_number();
    const double sx = w.take_scale(), sy = w.take_scale();
    const Point p = w.take_point();
    w.scoped([&] {
        combine(w, t, rotation(angle, c.x, c.y));
        combine(w, t, scaling(sx, sy, c.x, c.y));
        combine(w, t, translation(p.x, p.y));
    });
}

void cmd_matrix(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    if (!(w.more() && w.at->is(TYPE_BLOCK))) w.invalid_here();
    const Cell* block = w.at;
    auto* buf = block::buffer_of(block);
    const Cell* first = buf->head_cell() + block::head_index(block);
    const Cell* last = buf->tail_cell();
    double v[6];
    if (last - first != 6) w.invalid_here();
    for (int i = 0; i < 6; i++) {
        if (!Walker::number_q(first + i)) w.invalid_here();
        v[i] = Walker::number(first + i);
    }
    ++w.at;
    combine(w, t, Matrix{v[0], v[1], v[2], v[3], v[4], v[5]});
}

void cmd_reset_matrix(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    if (t.brush) {
        Brush& b = t.pen ? w.st.pen : w.st.fill;
        if (b.kind > SOLID) b.transform = Matrix{};
        return;
    }
    w.st.transform = Matrix{};
    w.apply_transform();
}

// A singular matrix has no inverse: the transform stays as it is.
void cmd_invert_matrix(Walker& w, const Cell*) {
    const MatrixTarget t = take_target(w);
    if (t.brush) {
        Brush& b = t.pen ? w.st.pen : w.st.fill;
        if (b.kind > SOLID) invert(b.transform);
        return;
    }
    invert(w.st.transform);
    w.apply_transform();
}

// In the order the walker tests the words.
const Command k_commands[] = {
    {"pen", cmd_pen},
    {"fill-pen", cmd_pen},
    {"box", cmd_box},
    {"line", cmd_line},
    {"line-width", cmd_line_width},
    {"line-join", cmd_line_join},
    {"line-cap", cmd_line_cap},
    {"line-pattern", cmd_line_pattern},
    {"triangle", cmd_triangle},
    {"polygon", cmd_polygon},
    {"circle", cmd_circle},
    {"ellipse", cmd_ellipse},
    {"font", cmd_font},
    {"text", cmd_text},
    {"anti-alias", cmd_anti_alias},
    {"arc", cmd_arc},
    {"curve", cmd_curve},
    {"spline", cmd_spline},
    {"image", cmd_image},
    {"shadow", cmd_shadow},
    {"clip", cmd_clip},
    {"push", cmd_push},
    {"shape", cmd_shape},
    {"rotate", cmd_rotate},
    {"scale", cmd_scale},
    {"translate", cmd_translate},
    {"skew", cmd_skew},
    {"transform", cmd_transform},
    {"matrix", cmd_matrix},
    {"reset-matrix", cmd_reset_matrix},
    {"invert-matrix", cmd_invert_matrix},
};

}  // namespace

const Command* commands(size_t* count) {
    *count = sizeof k_commands / sizeof k_commands[0];
    return k_commands;
}

}  // namespace zun::draw
