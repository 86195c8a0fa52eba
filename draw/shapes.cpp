// Shapes and strokes: the outline commands, the shape sub-dialect and the
// clip command, drawn with the state's pen and fill.
#include <cmath>
#include <vector>

#include "draw/walker.hpp"

namespace zun::draw {

namespace {

using Points = std::vector<Point>;

void poly_path(cairo_t* cr, const Points& ps, bool closed) {
    cairo_move_to(cr, ps[0].x, ps[0].y);
    for (size_t i = 1; i < ps.size(); ++i) cairo_line_to(cr, ps[i].x, ps[i].y);
    if (closed) cairo_close_path(cr);
}

// cairo cuts an arc into pieces by its size on the target: one far larger
// than any target is not drawn rather than cut into millions.
constexpr double MAX_DEVICE_RADIUS = 1 << 22;
bool drawable_radii(cairo_t* cr, double rx, double ry) {
    double ax = rx, ay = 0, bx = 0, by = ry;
    cairo_user_to_device_distance(cr, &ax, &ay);
    cairo_user_to_device_distance(cr, &bx, &by);
    const double r = std::max(std::hypot(ax, ay), std::hypot(bx, by));
    return std::isfinite(r) && r < MAX_DEVICE_RADIUS;
}

void ellipse_path(cairo_t* cr, double cx, double cy, double rx, double ry, double a0, double a1,
                  bool pie) {
    if (!drawable_radii(cr, rx, ry)) return;
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    if (pie) cairo_move_to(cr, 0, 0);
    if (a1 >= a0)
        cairo_arc(cr, 0, 0, 1, a0, a1);
    else
        cairo_arc_negative(cr, 0, 0, 1, a0, a1);
    if (pie) cairo_close_path(cr);
    cairo_restore(cr);
}

// Catmull-Rom from P1 to P2, 25 steps.
void spline_segment(cairo_t* cr, const Point& p0, const Point& p1, const Point& p2, const Point& p3) {
    double t = 0;
    for (int s = 0; s < 25; s++) {
        t += 0.04;
        const double t2 = t * t, t3 = t2 * t;
        auto f = [&](double a, double b, double c, double d) {
            return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (3 * (b - c) + d - a) * t3);
        };
        cairo_line_to(cr, f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y));
    }
}

// ------------------------------------------------------------ shape paths

// The SVG rules: radii too small are scaled up, a zero radius is a line.
void svg_arc(cairo_t* cr, Point from, Point to, double rx, double ry, double degrees, bool large,
             bool sweep) {
    rx = std::fabs(rx), ry = std::fabs(ry);
    if ((from.x == to.x && from.y == to.y)) return;
    if (rx == 0 || ry == 0 || !std::isfinite(rx * ry)) return cairo_line_to(cr, to.x, to.y);
    const double phi = degrees * M_PI / 180, c = std::cos(phi), s = std::sin(phi);
    const double hx = (from.x - to.x) / 2, hy = (from.y - to.y) / 2;
    const double x1 = c * hx + s * hy, y1 = -s * hx + c * hy;
    const double lambda = (x1 * x1) / (rx * rx) + (y1 * y1) / (ry * ry);
    if (lambda > 1) rx *= std::sqrt(lambda), ry *= std::sqrt(lambda);
    const double num = rx * rx * ry * ry - rx * rx * y1 * y1 - ry * ry * x1 * x1;
    const double den = rx * rx * y1 * y1 + ry * ry * x1 * x1;
    double k = den > 0 ? std::sqrt(std::max(0.0, num / den)) : 0;
    if (large == sweep) k = -k;
    const double cx1 = k * rx * y1 / ry, cy1 = -k * ry * x1 / rx;
    const double cx = c * cx1 - s * cy1 + (from.x + to.x) / 2;
    const double cy = s * cx1 + c * cy1 + (from.y + to.y) / 2;
    auto angle = [](double ux, double uy, double vx, double vy) {
        return std::atan2(ux * vy - uy * vx, ux * vx + uy * vy);
    };
    if (!drawable_radii(cr, rx, ry)) return cairo_line_to(cr, to.x, to.y);
    const double a0 = angle(1, 0, (x1 - cx1) / rx, (y1 - cy1) / ry);
    double da = angle((x1 - cx1) / rx, (y1 - cy1) / ry, (-x1 - cx1) / rx, (-y1 - cy1) / ry);
    if (!sweep && da > 0) da -= 2 * M_PI;
    if (sweep && da < 0) da += 2 * M_PI;
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_rotate(cr, phi);
    cairo_scale(cr, rx, ry);
    if (sweep)
        cairo_arc(cr, 0, 0, 1, a0, a0 + da);
    else
        cairo_arc_negative(cr, 0, 0, 1, a0, a0 + da);
    cairo_restore(cr);
}

struct ShapePath {
    Walker& w;
    bool clip_mode;
    Point current{0, 0};
    Point control{0, 0};
    bool control_valid = false;

    cairo_t* cr() { return w.cr; }
    Point offset(Point p, bool rel, Point base) const { return rel ? Point{p.x + base.x, p.y + base.y} : p; }

    void step() {
        const Cell* cell = w.at++;
        const uint32_t t = cell->type();
        if (t == TYPE_SET_WORD) return w.set_marker(cell);
        if (t == TYPE_BLOCK) return w.walk_with(cell, [this] { step(); });
        if (t != TYPE_WORD && t != TYPE_LIT_WORD) w.invalid(cell);
        const bool rel = t == TYPE_LIT_WORD;
        if (Walker::named(cell, O_MOVE)) {
            current = offset(w.take_point(), rel, current);
            cairo_move_to(cr(), current.x, current.y);
            control_valid = false;
        } else if (Walker::named(cell, O_LINE)) {
            if (!w.next_point()) w.invalid_here();
            while (w.next_point()) {
                current = offset(Walker::point(w.at++), rel, current);
                cairo_line_to(cr(), current.x, current.y);
            }
            control_valid = false;
        } else if (Walker::named(cell, O_HLINE) || Walker::named(cell, O_VLINE)) {
            const double v = w.take_number();
            double& axis = Walker::named(cell, O_HLINE) ? current.x : current.y;
            axis = rel ? axis + v : v;
            cairo_line_to(cr(), current.x, current.y);
        } else if (Walker::named(cell, O_ARC)) {
            const Point end = offset(w.take_point(), rel, current);
            const double rx = w.take_number(), ry = w.take_number(), rot = w.take_number();
            bool sweep = false, large = false;
            for (int i = 0; i < 2; i++) {
                if (w.maybe(O_SWEEP)) sweep = true;
                else if (w.maybe(O_LARGE)) large = true;
            }
            svg_arc(cr(), current, end, rx, ry, rot, large, sweep);
            current = end;
        } else if (Walker::named(cell, O_CURVE)) {
            bezier(rel, 3, false);
        } else if (Walker::named(cell, O_QCURVE)) {
            bezier(rel, 2, false);
        } else if (Walker::named(cell, O_CURV)) {
            bezier(rel, 2, true);
        } else if (Walker::named(cell, O_QCURV)) {
            bezier(rel, 1, true);
        } else if (Walker::named(cell, O_CLOSE)) {
            cairo_close_path(cr());
            cairo_move_to(cr(), current.x, current.y);
        } else {
            w.invalid(cell);
        }
    }

    // Segments of n points; the smooth forms take their first control point
    // as the reflection of the last one (else the current point).
    void bezier(bool rel, int n, bool smooth) {
        if (!w.next_point()) w.invalid_here();
        const bool cubic = smooth ? n == 2 : n == 3;
        while (w.next_point()) {
            Point p[3];
            int got = 0;
            while (got < n && w.next_point()) p[got++] = Walker::point(w.at++);
            if (got < n) break;  // a part segment at the end is dropped
            const Point base = current;
            for (int i = 0; i < n; i++) p[i] = offset(p[i], rel, base);
            Point c1 = current;
            if (smooth && control_valid) c1 = Point{2 * current.x - control.x, 2 * current.y - control.y};
            Point ctl, c2, end;
            if (cubic) {
                ctl = smooth ? c1 : p[0];
                c2 = smooth ? p[0] : p[1];
                end = smooth ? p[1] : p[2];
                cairo_curve_to(cr(), ctl.x, ctl.y, c2.x, c2.y, end.x, end.y);
                control = c2;
            } else {
                ctl = smooth ? c1 : p[0];
                end = smooth ? p[0] : p[1];
                const Point q1{current.x + 2.0 / 3 * (ctl.x - current.x), current.y + 2.0 / 3 * (ctl.y - current.y)};
                const Point q2{end.x + 2.0 / 3 * (ctl.x - end.x), end.y + 2.0 / 3 * (ctl.y - end.y)};
                cairo_curve_to(cr(), q1.x, q1.y, q2.x, q2.y, end.x, end.y);
                control = ctl;
            }
            current = end;
            control_valid = true;
        }
    }
};

}  // namespace

void box_path(cairo_t* cr, double x, double y, double wd, double ht, double radius) {
    radius = std::min(radius, std::min(wd, ht) / 2);
    if (!(radius > 0) || !drawable_radii(cr, radius, radius)) return cairo_rectangle(cr, x, y, wd, ht);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + wd - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + wd - radius, y + ht - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + ht - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void paint_path(Walker& w, bool fillable, const double* bounds) {
    cairo_t* cr = w.cr;
    const State& s = w.st;
    const bool fill = fillable && s.fill.kind != NO_BRUSH;
    const bool stroke = s.pen.kind != NO_BRUSH && s.width > 0;
    if (!w.drawable() || (!fill && !stroke)) return cairo_new_path(cr);
    // fitted brushes take the widened bounds of the shape
    double b[4] = {0, 0, 0, 0};
    if (bounds) {
        std::copy(bounds, bounds + 4, b);
    } else if ((fill && s.fill.kind >= FITTED) || (stroke && s.pen.kind >= FITTED)) {
        if (s.width > 0)
            cairo_stroke_extents(cr, &b[0], &b[1], &b[2], &b[3]);
        else
            cairo_fill_extents(cr, &b[0], &b[1], &b[2], &b[3]);
    }
    if (fill && set_source(w, s.fill, b[0], b[1], b[2], b[3])) cairo_fill_preserve(cr);
    if (stroke && set_source(w, s.pen, b[0], b[1], b[2], b[3])) cairo_stroke_preserve(cr);
    cairo_new_path(cr);
}

void cmd_line(Walker& w, const Cell*) {
    Points ps;
    w.points(ps);
    if (ps.size() == 1) w.invalid(w.at - 1);
    if (ps.empty()) return;
    poly_path(w.cr, ps, false);
    if (ps.size() == 2) {
        const double b[4] = {ps[0].x, ps[0].y, ps[1].x, ps[1].y};
        return paint_path(w, false, b);
    }
    paint_path(w, true);
}

void cmd_triangle(Walker& w, const Cell*) {
    Points ps;
    for (int i = 0; i < 3; i++) ps.push_back(w.take_point());
    poly_path(w.cr, ps, true);
    paint_path(w, true);
}

void cmd_polygon(Walker& w, const Cell*) {
    Points ps;
    w.points(ps);
    if (ps.size() < 3) w.invalid(ps.empty() ? w.at : w.at - 1);
    poly_path(w.cr, ps, true);
    paint_path(w, true);
}

void cmd_box(Walker& w, const Cell*) {
    const Point a = w.take_point(), b = w.take_point();
    double radius = 0;
    w.maybe_number(&radius);
    if (radius < 0) return;
    const double x = std::min(a.x, b.x), y = std::min(a.y, b.y);
    const double wd = std::fabs(b.x - a.x), ht = std::fabs(b.y - a.y);
    if (!w.st.shadows.empty() && w.drawable()) return shadowed_box(w, x, y, wd, ht, radius);
    box_path(w.cr, x, y, wd, ht, radius);
    paint_path(w, true);
}

void cmd_circle(Walker& w, const Cell*) {
    const Point c = w.take_point();
    const double rx = w.take_number();
    double ry = rx;
    w.maybe_number(&ry);
    if (!(rx > 0 && ry > 0)) return;
    ellipse_path(w.cr, c.x, c.y, rx, ry, 0, 2 * M_PI, false);
    paint_path(w, true);
}

void cmd_ellipse(Walker& w, const Cell*) {
    const Point p = w.take_point(), size = w.take_point();
    if (!(size.x > 0 && size.y > 0)) return;
    ellipse_path(w.cr, p.x + size.x / 2, p.y + size.y / 2, size.x / 2, size.y / 2, 0, 2 * M_PI, false);
    paint_path(w, true);
}

// Degrees, clockwise with y down; 359.999 or more either way is the whole ellipse.
void cmd_arc(Walker& w, const Cell*) {
    const Point c = w.take_point(), r = w.take_point();
    const double start = w.take_number(), sweep = w.take_number();
    const bool closed = w.maybe(O_CLOSED);
    if (!(r.x > 0 && r.y > 0) || !std::isfinite(start) || !std::isfinite(sweep)) return;
    const double a0 = start * M_PI / 180;
    const double a1 = std::fabs(sweep) >= 359.999 ? a0 + (sweep < 0 ? -2 : 2) * M_PI : a0 + sweep * M_PI / 180;
    ellipse_path(w.cr, c.x, c.y, r.x, r.y, a0, a1, closed);
    paint_path(w, closed);
}

// Four points are a cubic; three a quadratic raised to a cubic.
void cmd_curve(Walker& w, const Cell*) {
    Points ps;
    for (int i = 0; i < 3; i++) ps.push_back(w.take_point());
    Point last;
    if (w.maybe_point(&last)) {
        ps.push_back(last);
    } else {
        const Point s = ps[0], q = ps[1], e = ps[2];
        ps = {s, {(2 * q.x + s.x) / 3, (2 * q.y + s.y) / 3}, {(2 * q.x + e.x) / 3, (2 * q.y + e.y) / 3}, e};
    }
    cairo_move_to(w.cr, ps[0].x, ps[0].y);
    cairo_curve_to(w.cr, ps[1].x, ps[1].y, ps[2].x, ps[2].y, ps[3].x, ps[3].y);
    paint_path(w, false);
}

void cmd_spline(Walker& w, const Cell*) {
    Points p;
    w.points(p);
    if (p.size() < 2) w.invalid_here();
    const bool closed = w.maybe(O_CLOSED);
    cairo_t* cr = w.cr;
    if (p.size() == 2) {
        poly_path(cr, p, false);
        const double b[4] = {p[0].x, p[0].y, p[1].x, p[1].y};
        return paint_path(w, false, b);
    }
    const size_t last = p.size() - 1;
    cairo_move_to(cr, p[0].x, p[0].y);
    spline_segment(cr, closed ? p[last] : p[0], p[0], p[1], p[2]);
    for (size_t i = 0; i + 3 <= last; i++) spline_segment(cr, p[i], p[i + 1], p[i + 2], p[i + 3]);
    if (closed) {
        spline_segment(cr, p[last - 2], p[last - 1], p[last], p[0]);
        spline_segment(cr, p[last - 1], p[last], p[0], p[1]);
        cairo_close_path(cr);
    } else {
        spline_segment(cr, p[last - 2], p[last - 1], p[last], p[last]);
    }
    paint_path(w, true);
}

void build_shape_path(Walker& w, const Cell* block, bool clip_mode) {
    ShapePath path{w, clip_mode};
    cairo_new_path(w.cr);
    cairo_move_to(w.cr, 0, 0);
    w.walk_with(block, [&path] { path.step(); });
}

void cmd_shape(Walker& w, const Cell*) {
    const Cell* block = w.take_block();
    build_shape_path(w, block, false);
    paint_path(w, true);
}

// Every clip intersects with those in force: the mode words are accepted.
void cmd_clip(Walker& w, const Cell*) {
    const Cell* shape = nullptr;
    Point a{0, 0}, b{0, 0};
    if (w.more() && w.at->is(TYPE_BLOCK))
        shape = w.at++;
    else
        a = w.take_point(), b = w.take_point();
    for (Opt mode : {O_REPLACE, O_INTERSECT, O_UNION, O_XOR, O_EXCLUDE})
        if (w.maybe(mode)) break;
    w.scoped([&] {
        w.push_clip();
        cairo_t* cr = w.cr;
        if (shape) {
            build_shape_path(w, shape, true);
        } else {
            cairo_new_path(cr);
            cairo_rectangle(cr, std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
        }
        if (!w.drawable()) {  // a clip under a singular transform holds nothing
            cairo_new_path(cr);
            cairo_rectangle(cr, 0, 0, 0, 0);
        }
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        cairo_clip(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    });
}

}  // namespace zun::draw
