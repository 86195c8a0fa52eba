// The image command: at its own size, at a point, stretched between two
// points, or a cropped part of it.
#include <cmath>

#include "datatypes/series/image.hpp"
#include "draw/walker.hpp"

namespace zun::draw {

void cmd_image(Walker& w, const Cell*) {
    const Cell* found = w.maybe_image();
    if (!found) w.invalid_here();
    const Cell img = *found;
    Point p1{0, 0}, p2{0, 0};
    const bool has1 = w.maybe_point(&p1);
    const bool has2 = has1 && w.maybe_point(&p2);
    Rgba key;
    w.maybe_colour(&key);  // the key colour and border are accepted without effect
    Point crop_at{0, 0}, crop_size{0, 0};
    bool crop = false;
    if (!w.maybe(O_BORDER) && w.maybe(O_CROP)) {
        crop = true;
        crop_at = w.take_point();
        crop_size = w.take_point();
    }
    draw_image(w, img, p1, has2 ? &p2 : nullptr, crop ? &crop_at : nullptr, &crop_size);
}

void draw_image(Walker& w, const Cell& img, Point p1, const Point* far, const Point* crop_offset,
                const Point* crop_size_) {
    if (!w.drawable()) return;
    const bool has2 = far != nullptr, crop = crop_offset != nullptr;
    const Point p2 = far ? *far : Point{0, 0};
    const Point crop_at = crop ? *crop_offset : Point{0, 0}, crop_size = crop ? *crop_size_ : Point{0, 0};
    const double iw = image::width_of(&img), ih = image::height_of(&img);
    double x = p1.x, y = p1.y, left = 0, top = 0, right = iw, bottom = ih;
    if (crop) {
        left = crop_at.x, top = crop_at.y, right = crop_at.x + crop_size.x, bottom = crop_at.y + crop_size.y;
        if (left > right) std::swap(left, right);
        if (top > bottom) std::swap(top, bottom);
        if (right <= 0 || bottom <= 0) return;
        if (left < 0) x -= left, left = 0;
        if (top < 0) y -= top, top = 0;
        right = std::min(right, iw), bottom = std::min(bottom, ih);
        if (left >= right || top >= bottom) return;  // right of or below the image
    }
    const double sw = right - left, sh = bottom - top;
    const double dw = has2 ? p2.x - x : sw, dh = has2 ? p2.y - y : sh;
    if (!(dw > 0 && dh > 0) || !(sw > 0 && sh > 0)) return;
    cairo_surface_t* source = image_surface(w, &img);
    if (!source) return;
    auto ref = adopt_surface(source);
    cairo_t* cr = w.cr;
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, dw / sw, dh / sh);
    cairo_set_source_surface(cr, source, -left, -top);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_rectangle(cr, 0, 0, sw, sh);
    cairo_fill(cr);
    cairo_restore(cr);
}

}  // namespace zun::draw
