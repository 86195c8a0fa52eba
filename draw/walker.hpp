// The draw dialect's walker: reads a draw block cell by cell, dispatches the
// command words through one table, reads their arguments and keeps the
// drawing state in step with cairo. Errors point at the offending cell.
#pragma once
#include <cairo.h>

#include <cstdint>

#include "core/cell.hpp"
#include "core/support.hpp"
#include "draw/state.hpp"

namespace zun::draw {

// Option words of the dialect, compared by canonical symbol.
enum Opt : uint8_t {
    O_OFF, O_LINEAR, O_RADIAL, O_DIAMOND, O_PATTERN, O_BITMAP, O_PAD, O_REPEAT, O_REFLECT,
    O_TILE, O_FLIP_X, O_FLIP_Y, O_FLIP_XY, O_CLAMP, O_CLOSED, O_MITER, O_BEVEL, O_ROUND,
    O_MITER_BEVEL, O_FLAT, O_SQUARE, O_BORDER, O_CROP, O_INSET, O_REPLACE, O_INTERSECT,
    O_UNION, O_XOR, O_EXCLUDE, O_PEN, O_FILL_PEN, O_SWEEP, O_LARGE,
    // the shape sub-dialect
    O_MOVE, O_LINE, O_HLINE, O_VLINE, O_ARC, O_CURVE, O_CURV, O_QCURVE, O_QCURV, O_CLOSE,
    OPT_COUNT
};

struct Point {
    double x, y;
};

// The drawing abandoned without a message (system/view/silent?).
struct SilentAbort {};
bool view_silent();

class Walker;
using CommandFn = void (*)(Walker& w, const Cell* cmd);

// Where a pass draws: an image now, a window later.
struct Target {
    NodeId image = 0;               // the image drawn into, 0 for none
    uint32_t* pixels = nullptr;     // its premultiplied pixels the surface wraps
    cairo_surface_t* surface = nullptr;
};

class Walker {
public:
    Walker(cairo_t* cr, const Target& target, bool catch_mode);

    // draw/eval-draw-block: walks a block! cell under the cycle guard.
    void walk_block(const Cell* block);
    // The same with another reader of its cells (the shape sub-dialect).
    template <class Step> void walk_with(const Cell* block, Step step) {
        const Cursor saved = enter(block);
        while (at < end) step();
        leave(saved);
    }
    void set_marker(const Cell* set_word);

    // ---- the cursor: cells from `at` to `end` of the block being walked
    const Cell* at = nullptr;
    const Cell* end = nullptr;
    bool more() const { return at < end; }
    // draw-invalid with the walked block positioned at the cell (end: its tail).
    [[noreturn]] void invalid(const Cell* where);
    [[noreturn]] void invalid_here() { invalid(at); }
    [[noreturn]] void report(ErrorId id, const Cell* arg);

    // ---- argument readers: "take" requires (else draw-invalid), "maybe" is optional
    static bool is(const Cell* c, Opt o);
    static bool named(const Cell* c, Opt o);  // any word type
    bool maybe(Opt o);
    const Cell* word_value(const Cell* c);  // a word stands for its value
    static bool point_q(const Cell* c) { return c->is(TYPE_PAIR) || c->is(TYPE_POINT2D); }
    static Point point(const Cell* c);
    static bool number_q(const Cell* c) { return c->is(TYPE_INTEGER) || c->is(TYPE_FLOAT); }
    static double number(const Cell* c);
    bool next_point() const { return more() && point_q(at); }
    bool next_number() const { return more() && number_q(at); }
    Point take_point();
    double take_number();
    double take_scale();
    bool maybe_point(Point* p);
    bool maybe_number(double* n);
    bool colour_at(const Cell* c, Rgba* out);
    bool maybe_colour(Rgba* out);
    const Cell* maybe_image();  // the image! cell (a word resolved), or nullptr
    const Cell* take_block();
    // Points while they come; answers how many.
    template <class Out> size_t points(Out& out) {
        size_t n = 0;
        while (next_point()) out.push_back(point(at++)), ++n;
        return n;
    }

    // ---- scoped commands: with a block after them, the state is saved, the
    // change applied, the block walked and the state put back on every exit.
    template <class F> void scoped(F apply) {
        if (!(more() && at->is(TYPE_BLOCK))) return apply();
        const Cell* block = at++;
        Scope scope(*this);
        apply();
        walk_block(block);
    }
    class Scope {
    public:
        explicit Scope(Walker& w);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Walker& m_w;
        State m_saved;
        int m_clips;
    };

    // ---- cairo in step with the state
    void apply_transform();
    void apply_stroke();
    void apply_all();
    bool drawable() const { return st.transform.invertible(); }
    void push_clip();           // one level: cairo_save
    void end_clips(int down_to);  // restores levels above down_to

    cairo_t* cr;
    State st;
    Target target;
    bool catch_mode;
    int clip_count = 0;

private:
    struct Cursor {
        const Cell *at, *end, *head;
        NodeId node;
    };
    Cursor enter(const Cell* block);
    void leave(const Cursor& saved);
    const Cell* m_head = nullptr;  // first cell of the walked block's buffer
    NodeId m_node = 0;
    void step();
};

// The command table, in the order the walker tests the words.
struct Command {
    const char* name;
    CommandFn run;
};
const Command* commands(size_t* count);
void init_symbols();

// Commands of the modules (draw/shapes.cpp, brushes.cpp, images.cpp ...).
void cmd_pen(Walker& w, const Cell* cmd);
void cmd_box(Walker& w, const Cell* cmd);
void cmd_line(Walker& w, const Cell* cmd);
void cmd_triangle(Walker& w, const Cell* cmd);
void cmd_polygon(Walker& w, const Cell* cmd);
void cmd_circle(Walker& w, const Cell* cmd);
void cmd_ellipse(Walker& w, const Cell* cmd);
void cmd_arc(Walker& w, const Cell* cmd);
void cmd_curve(Walker& w, const Cell* cmd);
void cmd_spline(Walker& w, const Cell* cmd);
void cmd_shape(Walker& w, const Cell* cmd);
void cmd_image(Walker& w, const Cell* cmd);
void cmd_shadow(Walker& w, const Cell* cmd);
void cmd_clip(Walker& w, const Cell* cmd);

// Fills then strokes the current cairo path with the state's brushes (the
// fill only when `fillable`); the path is cleared.
void paint_path(Walker& w, bool fillable, const double* bounds = nullptr);
// Builds a shape block's path on the current cairo path (clip: winding rule,
// every figure filled).
void build_shape_path(Walker& w, const Cell* block, bool clip_mode);
// Sets the brush as cairo's source for a shape with these bounds; false when
// the brush draws nothing.
bool set_source(Walker& w, const Brush& b, double x1, double y1, double x2, double y2);
// The pixels of an image to read from: the target's own when it is the one.
const uint32_t* source_pixels(Walker& w, NodeId record);
// A new cairo surface holding the image's pixels (nullptr on failure).
cairo_surface_t* image_surface(Walker& w, const Cell* img);
// Offscreen surfaces (pattern tiles, shadows) hold at most this many pixels.
constexpr int64_t MAX_OFFSCREEN_PIXELS = int64_t(1) << 24;
inline bool offscreen_ok(double w, double h) {
    return w > 0 && h > 0 && w * h <= double(MAX_OFFSCREEN_PIXELS);
}
// An image at a point, stretched to a second point when given, or a part
// of it (crop offset and size). A window pass draws its face's own image so.
void draw_image(Walker& w, const Cell& img, Point at, const Point* far, const Point* crop_offset,
                const Point* crop_size);
// A box drawn through its shadows.
void shadowed_box(Walker& w, double x, double y, double wd, double ht, double radius);
// The rectangle (rounded when radius > 0) as a cairo path.
void box_path(cairo_t* cr, double x, double y, double wd, double ht, double radius);

}  // namespace zun::draw
