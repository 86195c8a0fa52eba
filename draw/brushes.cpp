// Pens and brushes: the pen grammar, gradients with their own geometry or
// fitted to each shape, image and pattern brushes, and the cairo source a
// brush gives for one shape.
#include <cmath>
#include <cstring>

#include "datatypes/series/image.hpp"
#include "draw/walker.hpp"
#include "services/image_record.hpp"

namespace zun::draw {

namespace {

// Colour stops: offsets not given are spread evenly; one without an offset
// after one with repeats it.
void read_stops(Walker& w, std::vector<Stop>& out) {
    struct Read {
        Rgba c;
        bool has;
        double offset;
    };
    std::vector<Read> read;
    Rgba c;
    while (w.maybe_colour(&c)) {
        Read r{c, false, 0};
        if (w.more() && w.at->is(TYPE_FLOAT)) r.has = true, r.offset = (w.at++)->as_double();
        read.push_back(r);
    }
    if (read.size() < 2) w.invalid_here();
    const double step = 1.0 / double(read.size() - 1);
    double pos = 0;
    for (const Read& r : read) {
        if (r.has) pos = r.offset;
        out.push_back(Stop{pos, r.c});
        if (!r.has) pos += step;
    }
}

cairo_extend_t read_spread(Walker& w) {
    if (w.maybe(O_REPEAT)) return CAIRO_EXTEND_REPEAT;
    if (w.maybe(O_REFLECT)) return CAIRO_EXTEND_REFLECT;
    w.maybe(O_PAD);
    return CAIRO_EXTEND_PAD;
}

// The point-first form: offset, range start and end, then angle and scales.
void gradient_from_point(Walker& w, Brush& b) {
    const Point o = w.take_point();
    double range[2];
    for (double& r : range) {
        if (!(w.more() && w.at->is(TYPE_INTEGER))) w.invalid_here();
        r = double((w.at++)->as_int());
    }
    double angle = 0, sx = 1, sy = 1;
    if (w.maybe_number(&angle) && w.maybe_number(&sx)) w.maybe_number(&sy);
    read_stops(w, b.stops);
    b.extend = read_spread(w);
    b.kind = OWN_GEOMETRY;
    if (b.gradient == LINEAR) {
        b.x1 = o.x + range[0], b.y1 = o.y, b.x2 = o.x + range[1], b.y2 = o.y;
    } else {
        b.x1 = b.x2 = o.x, b.y1 = b.y2 = o.y, b.r = range[1] - range[0];
        if (!(b.r > 0)) b.kind = NO_BRUSH;  // no radius, no brush
    }
    if (angle != 0.0) b.transform = multiply(rotation(angle, 0, 0), b.transform);
    if (sx != 1.0 || sy != 1.0) b.transform = multiply(scaling(sx, sy, 0, 0), b.transform);
}

void gradient(Walker& w, Brush& b) {
    if (w.next_point()) return gradient_from_point(w, b);
    read_stops(w, b.stops);
    Point p1;
    if (!w.maybe_point(&p1)) {
        b.kind = FITTED;
        b.x1 = b.y1 = b.x2 = b.y2 = b.r = 1;
        if (b.gradient == LINEAR) b.x1 = b.y1 = b.y2 = 0;
    } else if (b.gradient == LINEAR) {
        const Point p2 = w.take_point();
        b.kind = OWN_GEOMETRY;
        b.x1 = p1.x, b.y1 = p1.y, b.x2 = p2.x, b.y2 = p2.y;
    } else {
        b.kind = OWN_GEOMETRY;
        b.x1 = b.x2 = p1.x, b.y1 = b.y2 = p1.y;
        if (b.gradient == RADIAL) {
            b.r = w.take_number();
            Point focus;
            if (w.maybe_point(&focus)) b.x2 = focus.x, b.y2 = focus.y;
        } else {  // a diamond is drawn as radial: the second point gives the radius
            const Point p2 = w.take_point();
            b.r = std::hypot(p2.x - p1.x, p2.y - p1.y);
            Point third;
            if (w.maybe_point(&third)) b.x2 = third.x, b.y2 = third.y;
        }
    }
    b.extend = read_spread(w);
}

enum Tiling { TILE, FLIP_X, FLIP_Y, FLIP_XY, CLAMP };

Tiling read_tiling(Walker& w) {
    if (w.maybe(O_FLIP_X)) return FLIP_X;
    if (w.maybe(O_FLIP_Y)) return FLIP_Y;
    if (w.maybe(O_FLIP_XY)) return FLIP_XY;
    if (w.maybe(O_CLAMP)) return CLAMP;
    w.maybe(O_TILE);
    return TILE;
}

// The tile of an image brush: the source rectangle, mirrored into a 2x1,
// 1x2 or 2x2 tile for the flips, as cairo has one extend mode for both axes.
void image_brush(Brush& b, cairo_surface_t* source, double width, double height, const Point* start,
                 const Point* end, Tiling tiling) {
    b = Brush{};
    b.kind = IMAGE_BRUSH;
    const double left = start ? std::max(0.0, start->x) : 0, top = start ? std::max(0.0, start->y) : 0;
    const double right = end ? std::min(end->x, width) : width;
    const double bottom = end ? std::min(end->y, height) : height;
    const int tw = int(std::ceil(right - left)), th = int(std::ceil(bottom - top));
    if (!(tw > 0 && th > 0)) return;
    const int mx = (tiling == FLIP_X || tiling == FLIP_XY) ? 2 : 1;
    const int my = (tiling == FLIP_Y || tiling == FLIP_XY) ? 2 : 1;
    if (!offscreen_ok(double(tw) * mx, double(th) * my)) return;
    cairo_surface_t* tile = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, tw * mx, th * my);
    if (cairo_surface_status(tile) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(tile);
        support::fire_error(ErrorId::internal_no_memory);
    }
    cairo_t* cr = cairo_create(tile);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    for (int j = 0; j < my; j++)
        for (int i = 0; i < mx; i++) {
            cairo_save(cr);
            cairo_rectangle(cr, i * tw, j * th, tw, th);
            cairo_clip(cr);
            cairo_translate(cr, i ? 2.0 * tw : 0, j ? 2.0 * th : 0);
            cairo_scale(cr, i ? -1 : 1, j ? -1 : 1);
            cairo_set_source_surface(cr, source, -left, -top);
            cairo_paint(cr);
            cairo_restore(cr);
        }
    cairo_destroy(cr);
    b.tile = adopt_surface(tile);
    b.extend = tiling == CLAMP ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_REPEAT;
}

// A pattern's block walked into a tile of its size, with the pen and fill
// in force but its own transform and clips.
cairo_surface_t* pattern_surface(Walker& w, Point size, const Cell* block) {
    if (!offscreen_ok(size.x, size.y)) return nullptr;
    const int pw = int(std::ceil(size.x)), ph = int(std::ceil(size.y));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pw, ph);
    cairo_t* pcr = cairo_create(surface);
    if (cairo_status(pcr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(pcr);
        cairo_surface_destroy(surface);
        support::fire_error(ErrorId::internal_no_memory);
    }
    struct Swap {
        Walker& w;
        cairo_t* outer;
        cairo_surface_t* surface;
        int clips;
        bool done = false;
        ~Swap() {
            cairo_destroy(w.cr);
            w.cr = outer;
            w.clip_count = clips;
            if (!done) cairo_surface_destroy(surface);
        }
    } swap{w, w.cr, surface, w.clip_count};
    w.cr = pcr;
    w.clip_count = 0;
    {
        Walker::Scope scope(w);
        w.st.transform = Matrix{};
        w.apply_all();
        w.walk_block(block);
    }
    cairo_surface_flush(surface);
    swap.done = true;
    return surface;
}

}  // namespace

void cmd_pen(Walker& w, const Cell* cmd) {
    const bool is_pen = Walker::is(cmd, O_PEN);
    if (!w.more()) w.invalid_here();
    Brush made;
    if (w.maybe(O_OFF)) {
        made.kind = NO_BRUSH;
        if (is_pen) w.st.saved_pen_kind = NO_BRUSH;
    } else if (Walker::is(w.at, O_LINEAR) || Walker::is(w.at, O_RADIAL) || Walker::is(w.at, O_DIAMOND)) {
        made.gradient = Walker::is(w.at, O_LINEAR) ? LINEAR : Walker::is(w.at, O_RADIAL) ? RADIAL : DIAMOND;
        ++w.at;
        gradient(w, made);
    } else if (w.maybe(O_PATTERN)) {
        const Point size = w.take_point();
        Point start, end;
        const bool ranged = w.maybe_point(&start);
        if (ranged) end = w.take_point();
        const Tiling tiling = read_tiling(w);
        const Cell* block = w.take_block();
        cairo_surface_t* tile = pattern_surface(w, size, block);
        if (tile) {
            image_brush(made, tile, size.x, size.y, ranged ? &start : nullptr, ranged ? &end : nullptr, tiling);
            cairo_surface_destroy(tile);
        } else {
            made.kind = IMAGE_BRUSH;
        }
    } else if (w.maybe(O_BITMAP)) {
        const Cell* img = w.maybe_image();
        if (!img) w.invalid_here();
        const Cell copy = *img;
        Point start, end;
        const bool ranged = w.maybe_point(&start);
        if (ranged) end = w.take_point();
        const Tiling tiling = read_tiling(w);
        cairo_surface_t* source = image_surface(w, &copy);
        if (source) {  // an image without pixels turns the brush off
            image_brush(made, source, image::width_of(&copy), image::height_of(&copy),
                        ranged ? &start : nullptr, ranged ? &end : nullptr, tiling);
            cairo_surface_destroy(source);
        }
    } else {
        Rgba c;
        if (!w.maybe_colour(&c)) w.invalid_here();
        made.kind = SOLID;
        made.colour = c;
        if (is_pen) {
            w.st.text_colour = c;
            if (w.st.width == 0.0) w.st.saved_pen_kind = SOLID, made.kind = NO_BRUSH;
        }
    }
    (is_pen ? w.st.pen : w.st.fill) = std::move(made);
}

bool set_source(Walker& w, const Brush& b, double x1, double y1, double x2, double y2) {
    cairo_t* cr = w.cr;
    if (b.kind == SOLID) {
        cairo_set_source_rgba(cr, b.colour.r, b.colour.g, b.colour.b, b.colour.a);
        return true;
    }
    if (b.kind == NO_BRUSH) return false;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    Matrix m = b.transform;
    if (b.kind >= FITTED) m = multiply(m, translation(x1, y1));
    if (!invert(m)) return false;
    cairo_pattern_t* p = nullptr;
    if (b.kind == IMAGE_BRUSH) {
        if (!b.tile) return false;
        p = cairo_pattern_create_for_surface(b.tile.get());
        cairo_pattern_set_filter(p, CAIRO_FILTER_BILINEAR);
    } else {
        double gx1 = b.x1, gy1 = b.y1, gx2 = b.x2, gy2 = b.y2, r = b.r;
        if (b.kind == FITTED && b.gradient == LINEAR) gx1 = gy1 = gy2 = 0, gx2 = x2 - x1;
        if (b.kind == FITTED && b.gradient == RADIAL) {
            gx1 = gx2 = (x2 - x1) / 2, gy1 = gy2 = (y2 - y1) / 2;
            r = std::min(gx1, gy1);
        }
        if (b.gradient == LINEAR) {
            if (gx1 == gx2 && gy1 == gy2) return false;
            p = cairo_pattern_create_linear(gx1, gy1, gx2, gy2);
        } else {
            if (!(r > 0)) return false;
            p = cairo_pattern_create_radial(gx2, gy2, 0, gx1, gy1, r);
        }
        for (const Stop& s : b.stops)
            cairo_pattern_add_color_stop_rgba(p, s.offset, s.colour.r, s.colour.g, s.colour.b, s.colour.a);
    }
    cairo_pattern_set_extend(p, b.extend);
    const cairo_matrix_t cm = m.to_cairo();
    cairo_pattern_set_matrix(p, &cm);
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
    return true;
}

const uint32_t* source_pixels(Walker& w, NodeId record) {
    if (record == w.target.image) {
        cairo_surface_flush(w.target.surface);
        return w.target.pixels;
    }
    return image_codec::make_shared_bitmap(record);
}

cairo_surface_t* image_surface(Walker& w, const Cell* img) {
    const NodeId record = img->data2;
    const uint32_t iw = image::width_of(img), ih = image::height_of(img);
    if (record == 0 || iw == 0 || ih == 0) return nullptr;
    const uint32_t* pixels = source_pixels(w, record);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(iw), int(ih));
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        support::fire_error(ErrorId::internal_no_memory);
    }
    cairo_surface_flush(s);
    unsigned char* dst = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (uint32_t row = 0; row < ih; ++row)
        std::memcpy(dst + size_t(row) * stride, pixels + size_t(row) * iw, size_t(iw) * 4);
    cairo_surface_mark_dirty(s);
    return s;
}

}  // namespace zun::draw
