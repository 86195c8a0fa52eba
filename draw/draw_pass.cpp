#include "draw/draw_pass.hpp"
#include "draw/text_draw.hpp"

#include "core/memory.hpp"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "interpreter/stack.hpp"
#include "services/image_record.hpp"
#include "startup/boot_texts.hpp"

namespace zun::draw {

namespace {

using routine::MachineResult;
using support::fire_error;
constexpr int MAX_DEPTH = 999;

struct Stop {
    double offset, r, g, b, a;
};

struct Colour {
    double r = 0, g = 0, b = 0, a = 1;
    bool on = false;
    // A gradient fitted to each shape: 0 none, 1 linear, 2 radial.
    int gradient = 0;
    std::vector<Stop> stops;
};

struct State {
    Colour pen{0, 0, 0, 1, true, 0, {}};
    Colour fill;
    double width = 1.0;
    TextState text;
};

struct Walker {
    cairo_t* cr;
    State state;
    const Cell* at = nullptr;
    const Cell* end = nullptr;
    int depth = 0;
    NodeId target = 0;                    // the image drawn into
    const uint32_t* target_pixels = nullptr;

    [[noreturn]] void invalid(const Cell* where) { fire_error(ErrorId::script_invalid_arg, where); }

    // A word holding a value stands for it.
    const Cell* resolve(const Cell* c) {
        if (c->is(TYPE_WORD)) {
            const Cell* v = word::get_value(c);
            if (v) return v;
        }
        return c;
    }
    bool is_word(const Cell* c, const char* name) {
        return c->is(TYPE_WORD) &&
               symbol::canonical(c->data2) == symbol::canonical(symbol::make(name));
    }
    bool number_q(const Cell* c) { return c->is(TYPE_INTEGER) || c->is(TYPE_FLOAT); }
    double number(const Cell* c) { return c->is(TYPE_INTEGER) ? c->as_int() : c->as_double(); }
    bool point_q(const Cell* c) { return c->is(TYPE_PAIR); }

    bool colour(const Cell* c, Colour* out) {
        const Cell* v = resolve(c);
        if (!v->is(TYPE_TUPLE)) return false;
        uint8_t bytes[tuple::MAX_LENGTH];
        tuple::get_bytes(v, bytes);
        out->r = bytes[0] / 255.0;
        out->g = bytes[1] / 255.0;
        out->b = bytes[2] / 255.0;
        out->a = tuple::length_of(v) > 3 ? (255 - bytes[3]) / 255.0 : 1.0;
        out->on = true;
        out->gradient = 0;
        out->stops.clear();
        return true;
    }
    void points(std::vector<std::pair<double, double>>& out) {
        while (at < end && point_q(at)) {
            out.emplace_back(pair::x_of(at), pair::y_of(at));
            ++at;
        }
    }
    double take_number(const Cell* cmd) {
        if (at >= end || !number_q(at)) invalid(at < end ? at : cmd);
        return number(at++);
    }
    std::pair<double, double> take_point(const Cell* cmd) {
        if (at >= end || !point_q(at)) invalid(at < end ? at : cmd);
        const Cell* p = at++;
        return {double(pair::x_of(p)), double(pair::y_of(p))};
    }
    // A gradient brush is fitted to the shape's extents: linear across its
    // width, radial centred with the smaller half-size as radius.
    void set_source(const Colour& c, bool stroke) {
        if (!c.gradient) {
            cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
            return;
        }
        double x1, y1, x2, y2;
        if (stroke)
            cairo_stroke_extents(cr, &x1, &y1, &x2, &y2);
        else
            cairo_fill_extents(cr, &x1, &y1, &x2, &y2);
        cairo_pattern_t* p;
        if (c.gradient == 1) {
            p = cairo_pattern_create_linear(x1, 0, x2, 0);
        } else {
            const double cx = (x1 + x2) / 2, cy = (y1 + y2) / 2;
            p = cairo_pattern_create_radial(cx, cy, 0, cx, cy, std::min(x2 - x1, y2 - y1) / 2);
        }
        for (const Stop& s : c.stops) cairo_pattern_add_color_stop_rgba(p, s.offset, s.r, s.g, s.b, s.a);
        cairo_set_source(cr, p);
        cairo_pattern_destroy(p);
    }
    // Fill then stroke the current path with the state's brushes.
    void paint_path(bool fillable = true) {
        if (fillable && state.fill.on) {
            set_source(state.fill, false);
            cairo_fill_preserve(cr);
        }
        if (state.pen.on && state.width > 0) {
            cairo_set_line_width(cr, state.width);
            set_source(state.pen, true);
            cairo_stroke_preserve(cr);
        }
        cairo_new_path(cr);
    }

    void walk(const Cell* from, const Cell* to) {
        if (++depth > MAX_DEPTH) invalid(from);
        const Cell* saved_at = at;
        const Cell* saved_end = end;
        at = from;
        end = to;
        while (at < end) command();
        at = saved_at;
        end = saved_end;
        --depth;
    }

    void command() {
        const Cell* cmd = at++;
        if (cmd->is(TYPE_BLOCK)) {
            auto* buf = block::buffer_of(cmd);
            const Cell* head = buf->head_cell() + block::head_index(cmd);
            walk(head, buf->tail_cell());
            return;
        }
        if (is_word(cmd, "pen") || is_word(cmd, "fill-pen")) {
            Colour* target = is_word(cmd, "pen") ? &state.pen : &state.fill;
            if (at < end && is_word(at, "off")) {
                target->on = false;
                ++at;
            } else if (at < end && (is_word(at, "linear") || is_word(at, "radial"))) {
                Colour g;
                g.on = true;
                g.gradient = is_word(at, "linear") ? 1 : 2;
                ++at;
                std::vector<Stop> stops;
                std::vector<bool> given;
                Colour c;
                while (at < end && colour(at, &c)) {
                    ++at;
                    const bool has = at < end && at->is(TYPE_FLOAT);
                    const double offset = has ? number(at++) : 0.0;
                    stops.push_back(Stop{offset, c.r, c.g, c.b, c.a});
                    given.push_back(has);
                }
                if (stops.size() < 2) invalid(at < end ? at : cmd);
                // offsets not given are spread evenly
                for (size_t i = 0; i < stops.size(); ++i)
                    if (!given[i]) stops[i].offset = double(i) / double(stops.size() - 1);
                g.stops = std::move(stops);
                *target = std::move(g);
            } else if (at >= end || !colour(at, target)) {
                invalid(at < end ? at : cmd);
            } else {
                ++at;
            }
        } else if (is_word(cmd, "line-width")) {
            state.width = take_number(cmd);
        } else if (is_word(cmd, "line")) {
            std::vector<std::pair<double, double>> ps;
            points(ps);
            if (ps.size() == 1) invalid(cmd);
            if (ps.empty()) return;
            cairo_move_to(cr, ps[0].first, ps[0].second);
            for (size_t i = 1; i < ps.size(); ++i) cairo_line_to(cr, ps[i].first, ps[i].second);
            paint_path(ps.size() > 2);
        } else if (is_word(cmd, "triangle") || is_word(cmd, "polygon")) {
            std::vector<std::pair<double, double>> ps;
            points(ps);
            const bool tri = is_word(cmd, "triangle");
            if (tri ? ps.size() != 3 : ps.size() < 3) invalid(cmd);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            cairo_move_to(cr, ps[0].first, ps[0].second);
            for (size_t i = 1; i < ps.size(); ++i) cairo_line_to(cr, ps[i].first, ps[i].second);
            cairo_close_path(cr);
            paint_path();
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
        } else if (is_word(cmd, "box")) {
            auto [x1, y1] = take_point(cmd);
            auto [x2, y2] = take_point(cmd);
            double radius = 0;
            if (at < end && number_q(at)) radius = number(at++);
            const double x = std::min(x1, x2), y = std::min(y1, y2);
            const double w = std::fabs(x2 - x1), h = std::fabs(y2 - y1);
            if (radius < 0) return;
            radius = std::min(radius, std::min(w, h) / 2);
            if (radius <= 0) {
                cairo_rectangle(cr, x, y, w, h);
            } else {
                cairo_new_sub_path(cr);
                cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
                cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
                cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
                cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
                cairo_close_path(cr);
            }
            paint_path();
        } else if (is_word(cmd, "circle") || is_word(cmd, "ellipse")) {
            auto [cx, cy] = take_point(cmd);
            double rx, ry;
            if (is_word(cmd, "ellipse")) {
                auto [w, h] = take_point(cmd);
                rx = w / 2;
                ry = h / 2;
                cx += rx;
                cy += ry;
            } else {
                rx = take_number(cmd);
                ry = (at < end && number_q(at)) ? number(at++) : rx;
            }
            if (rx <= 0 || ry <= 0) return;
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_scale(cr, rx, ry);
            cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
            cairo_restore(cr);
            paint_path();
        } else if (is_word(cmd, "arc")) {
            auto [cx, cy] = take_point(cmd);
            auto [rx, ry] = take_point(cmd);
            const double start = take_number(cmd), sweep = take_number(cmd);
            const bool closed = at < end && is_word(at, "closed") && (++at, true);
            if (rx <= 0 || ry <= 0) return;
            cairo_save(cr);
            cairo_translate(cr, cx, cy);
            cairo_scale(cr, rx, ry);
            if (closed) cairo_move_to(cr, 0, 0);
            const double a0 = start * M_PI / 180;
            const double a1 = sweep >= 359.999 ? a0 + 2 * M_PI : a0 + sweep * M_PI / 180;
            cairo_arc(cr, 0, 0, 1, a0, a1);
            if (closed) cairo_close_path(cr);
            cairo_restore(cr);
            paint_path(closed);
        } else if (is_word(cmd, "curve")) {
            std::vector<std::pair<double, double>> ps;
            points(ps);
            if (ps.size() == 3) {  // quadratic raised to cubic
                const auto [x0, y0] = ps[0];
                const auto [qx, qy] = ps[1];
                const auto [x3, y3] = ps[2];
                ps = {ps[0], {x0 + 2.0 / 3 * (qx - x0), y0 + 2.0 / 3 * (qy - y0)},
                      {x3 + 2.0 / 3 * (qx - x3), y3 + 2.0 / 3 * (qy - y3)}, ps[2]};
            }
            if (ps.size() != 4) invalid(cmd);
            cairo_move_to(cr, ps[0].first, ps[0].second);
            cairo_curve_to(cr, ps[1].first, ps[1].second, ps[2].first, ps[2].second, ps[3].first,
                           ps[3].second);
            paint_path(false);
        } else if (is_word(cmd, "image")) {
            if (at >= end || !resolve(at)->is(TYPE_IMAGE)) invalid(at < end ? at : cmd);
            const Cell source = *resolve(at++);
            std::vector<std::pair<double, double>> ps;
            points(ps);
            if (ps.size() > 2) invalid(cmd);
            draw_image_at(source, ps);
        } else if (is_word(cmd, "spline")) {
            std::vector<std::pair<double, double>> ps;
            points(ps);
            const bool closed = at < end && is_word(at, "closed") && (++at, true);
            if (ps.size() < 2) invalid(cmd);
            spline(ps, closed);
            paint_path(closed);
        } else if (is_word(cmd, "line-join") || is_word(cmd, "line-cap")) {
            const bool join = is_word(cmd, "line-join");
            if (at >= end) invalid(cmd);
            const Cell* w = at++;
            if (join && (is_word(w, "miter") || is_word(w, "miter-bevel")))
                cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
            else if (join && is_word(w, "round"))
                cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            else if (join && is_word(w, "bevel"))
                cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
            else if (!join && is_word(w, "flat"))
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
            else if (!join && is_word(w, "square"))
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
            else if (!join && is_word(w, "round"))
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            else
                invalid(w);
        } else if (is_word(cmd, "font")) {
            if (at >= end || !font_command(state.text, resolve(at))) invalid(at < end ? at : cmd);
            ++at;
        } else if (is_word(cmd, "text")) {
            const std::pair<double, double> p = take_point(cmd);
            const Rgba pen{state.pen.r, state.pen.g, state.pen.b, state.pen.a};
            if (at >= end || !text_command(cr, state.text, pen, p.first, p.second, at)) invalid(at < end ? at : cmd);
            ++at;
        } else if (is_word(cmd, "anti-alias")) {
            if (at >= end || !(is_word(at, "on") || is_word(at, "off"))) invalid(at < end ? at : cmd);
            cairo_set_antialias(cr, is_word(at++, "on") ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
        } else if (is_word(cmd, "push")) {
            scoped(cmd, [] {});
        } else if (is_word(cmd, "translate")) {
            // plain variables: lambdas may not capture structured bindings in clang 14
            const std::pair<double, double> by = take_point(cmd);
            scoped_or_not(cmd, [&] { cairo_translate(cr, by.first, by.second); });
        } else if (is_word(cmd, "rotate")) {
            const double angle = take_number(cmd);
            double cx = 0, cy = 0;
            if (at < end && point_q(at)) std::tie(cx, cy) = take_point(cmd);
            scoped_or_not(cmd, [&] {
                cairo_translate(cr, cx, cy);
                cairo_rotate(cr, angle * M_PI / 180);
                cairo_translate(cr, -cx, -cy);
            });
        } else if (is_word(cmd, "scale")) {
            const double sx = take_number(cmd), sy = take_number(cmd);
            double cx = 0, cy = 0;
            if (at < end && point_q(at)) std::tie(cx, cy) = take_point(cmd);
            // cairo keeps no singular matrix: such a scale draws nothing more here
            if (sx == 0 || sy == 0) invalid(cmd);
            scoped_or_not(cmd, [&] {
                cairo_translate(cr, cx, cy);
                cairo_scale(cr, sx, sy);
                cairo_translate(cr, -cx, -cy);
            });
        } else if (is_word(cmd, "clip")) {
            const std::pair<double, double> p1 = take_point(cmd), p2 = take_point(cmd);
            const double x1 = p1.first, y1 = p1.second, x2 = p2.first, y2 = p2.second;
            // every clip intersects: the mode words are accepted and ignored
            if (at < end && (is_word(at, "replace") || is_word(at, "intersect") ||
                             is_word(at, "union") || is_word(at, "xor") || is_word(at, "exclude")))
                ++at;
            scoped_or_not(cmd, [&] {
                cairo_rectangle(cr, std::min(x1, x2), std::min(y1, y2), std::fabs(x2 - x1),
                                std::fabs(y2 - y1));
                cairo_clip(cr);
            });
        } else {
            invalid(cmd);
        }
    }

    // Catmull-Rom through the points, 25 steps a segment; the ends repeat
    // their point unless the spline is closed.
    void spline(const std::vector<std::pair<double, double>>& ps, bool closed) {
        constexpr int STEPS = 25;
        const size_t n = ps.size();
        auto at_index = [&](long i) {
            if (closed) return ps[size_t((i % long(n) + long(n)) % long(n))];
            return ps[size_t(std::clamp(i, 0L, long(n) - 1))];
        };
        cairo_move_to(cr, ps[0].first, ps[0].second);
        const long segments = closed ? long(n) : long(n) - 1;
        for (long i = 0; i < segments; ++i) {
            const auto p0 = at_index(i - 1), p1 = at_index(i), p2 = at_index(i + 1), p3 = at_index(i + 2);
            for (int s = 1; s <= STEPS; ++s) {
                const double t = double(s) / STEPS, t2 = t * t, t3 = t2 * t;
                auto f = [&](double a, double b, double c, double d) {
                    return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 +
                                  (3 * b - a - 3 * c + d) * t3);
                };
                cairo_line_to(cr, f(p0.first, p1.first, p2.first, p3.first),
                              f(p0.second, p1.second, p2.second, p3.second));
            }
        }
        if (closed) cairo_close_path(cr);
    }

    // At its own size at a point (0x0 by default), or stretched between two.
    void draw_image_at(const Cell& source, const std::vector<std::pair<double, double>>& ps) {
        const NodeId record = source.data2;
        const uint32_t w = image::width_of(&source), h = image::height_of(&source);
        if (record == 0 || w == 0 || h == 0) return;
        // a copy, so an image drawn into itself reads what it held before
        if (record == target) cairo_surface_flush(cairo_get_target(cr));
        const uint32_t* pixels =
            record == target ? target_pixels : image_codec::make_shared_bitmap(record);
        cairo_surface_t* src = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(w), int(h));
        if (cairo_surface_status(src) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(src);
            return;
        }
        cairo_surface_flush(src);
        unsigned char* dst = cairo_image_surface_get_data(src);
        const int stride = cairo_image_surface_get_stride(src);
        for (uint32_t row = 0; row < h; ++row)
            std::memcpy(dst + size_t(row) * stride, pixels + size_t(row) * w, w * 4);
        cairo_surface_mark_dirty(src);
        const double x = ps.empty() ? 0 : ps[0].first, y = ps.empty() ? 0 : ps[0].second;
        double sx = 1, sy = 1;
        if (ps.size() == 2) {
            sx = (ps[1].first - x) / w;
            sy = (ps[1].second - y) / h;
        }
        if (sx > 0 && sy > 0) {
            cairo_save(cr);
            cairo_translate(cr, x, y);
            cairo_scale(cr, sx, sy);
            cairo_set_source_surface(cr, src, 0, 0);
            cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
            cairo_rectangle(cr, 0, 0, w, h);
            cairo_fill(cr);
            cairo_restore(cr);
        }
        cairo_surface_destroy(src);
    }

    // The block after a scoped command runs with the state saved and put back
    // on every exit, errors included.
    template <class F> void scoped(const Cell* cmd, F apply) {
        if (at >= end || !at->is(TYPE_BLOCK)) invalid(at < end ? at : cmd);
        const Cell* block_cell = at++;
        struct Restore {
            Walker* w;
            State saved;
            ~Restore() {
                cairo_restore(w->cr);
                w->state = saved;
            }
        } restore{this, state};
        cairo_save(cr);
        apply();
        auto* buf = block::buffer_of(block_cell);
        walk(buf->head_cell() + block::head_index(block_cell), buf->tail_cell());
    }
    template <class F> void scoped_or_not(const Cell* cmd, F apply) {
        if (at < end && at->is(TYPE_BLOCK)) return scoped(cmd, apply);
        apply();
    }
};

// draw target commands: an image! is drawn into; a size makes a new white
// image first. Answers the image.
MachineResult draw_image(Cell* args) {
    if (args[0].is(TYPE_PAIR)) {
        const int32_t w = pair::x_of(&args[0]), h = pair::y_of(&args[0]);
        if (w < 0 || h < 0 || !image_codec::size_ok(w, h)) fire_error(ErrorId::script_invalid_arg, &args[0]);
        const uint8_t white[3] = {255, 255, 255};
        const NodeId made = (w && h) ? image_codec::make_bitmap(uint32_t(w), uint32_t(h), white, 3,
                                                               nullptr, 0, nullptr, 0)
                                     : 0;
        image::make_at(&args[0], made, uint32_t(w), uint32_t(h));
    }
    // The walker reads the commands in place and errors point at them: no
    // buffer may move while it runs.
    memory::NoCompaction in_place;
    const Cell* target = &args[0];
    if (!target->is(TYPE_IMAGE)) fire_error(ErrorId::script_invalid_arg, target);
    if (!args[1].is(TYPE_BLOCK)) fire_error(ErrorId::script_invalid_arg, &args[1]);
    const NodeId record = target->data2;
    const uint32_t w = image::width_of(target), h = image::height_of(target);
    if (record == 0 || w == 0 || h == 0) return MachineResult{};
    uint32_t* pixels = image_codec::make_shared_bitmap(record);
    image_codec::invalidate_attached(record);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_ARGB32, int(w), int(h), int(w * 4));
    cairo_t* cr = cairo_create(surface);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    cairo_set_miter_limit(cr, 10);
    Walker walker{cr, State{}, nullptr, nullptr, 0, record, pixels};
    struct Cleanup {
        cairo_t* cr;
        cairo_surface_t* s;
        ~Cleanup() {
            cairo_destroy(cr);
            cairo_surface_flush(s);
            cairo_surface_destroy(s);
        }
    } cleanup{cr, surface};
    auto* buf = block::buffer_of(&args[1]);
    walker.walk(buf->head_cell() + block::head_index(&args[1]), buf->tail_cell());
    return MachineResult{};
}

}  // namespace

void bind() {
    stack::StackScope scope;
    Cell* spec = stack::push_cell();
    const char* text = "target [any-type!] commands [any-type!]";
    boot_texts::load(spec, text, std::strlen(text));
    const Cell made =
        *routine::push(spec, nullptr, routine::register_entry(draw_image), routine::NO_RETURN_TYPE, false);
    Cell* word = word::make_global("draw");
    word::set_value(word, &made);
}

}  // namespace zun::draw
