// Shadows under boxes: the box is drawn into an offscreen surface, each
// shadow entry is its alpha scaled by the spread, blurred, tinted and put
// down at its offset, and the box itself goes last.
#include <cmath>
#include <cstring>
#include <vector>

#include "datatypes/pair.hpp"
#include "draw/walker.hpp"
#include "services/image_record.hpp"

namespace zun::draw {

namespace {

constexpr double BLUR_TO_SIGMA = 1.8799711;

// Three box blurs approximate a Gaussian of this sigma.
void box_sizes(double sigma, int sizes[3]) {
    const double ideal = std::sqrt(12 * sigma * sigma / 3 + 1);
    int lower = int(std::floor(ideal));
    if (lower % 2 == 0) lower--;
    const int upper = lower + 2;
    const double m = (12 * sigma * sigma - 3.0 * lower * lower - 12.0 * lower - 9) / (-4.0 * lower - 4);
    const int mi = int(std::lround(m));
    for (int i = 0; i < 3; i++) sizes[i] = i < mi ? lower : upper;
}

// A box blur of radius r along each row, then down each column; sums in
// fixed point, the columns a row at a time so memory is read in order.
void box_rows(const uint8_t* src, uint8_t* dst, int w, int h, int stride, int r) {
    const uint32_t scale = (1u << 16) / uint32_t(2 * r + 1);
    for (int y = 0; y < h; y++) {
        const uint8_t* s = src + size_t(y) * stride;
        uint8_t* d = dst + size_t(y) * stride;
        uint32_t sum = 0;
        for (int i = 0; i <= r && i < w; i++) sum += s[i];
        for (int x = 0; x < w; x++) {
            d[x] = uint8_t((sum * scale + 0x8000) >> 16);
            if (x + r + 1 < w) sum += s[x + r + 1];
            if (x - r >= 0) sum -= s[x - r];
        }
    }
}

void box_columns(const uint8_t* src, uint8_t* dst, int w, int h, int stride, int r, std::vector<uint32_t>& sums) {
    const uint32_t scale = (1u << 16) / uint32_t(2 * r + 1);
    sums.assign(size_t(w), 0);
    for (int i = 0; i <= r && i < h; i++) {
        const uint8_t* s = src + size_t(i) * stride;
        for (int x = 0; x < w; x++) sums[x] += s[x];
    }
    for (int y = 0; y < h; y++) {
        uint8_t* d = dst + size_t(y) * stride;
        for (int x = 0; x < w; x++) d[x] = uint8_t((sums[x] * scale + 0x8000) >> 16);
        if (y + r + 1 < h) {
            const uint8_t* s = src + size_t(y + r + 1) * stride;
            for (int x = 0; x < w; x++) sums[x] += s[x];
        }
        if (y - r >= 0) {
            const uint8_t* s = src + size_t(y - r) * stride;
            for (int x = 0; x < w; x++) sums[x] -= s[x];
        }
    }
}

void blur_alpha(cairo_surface_t* a8, double sigma) {
    if (!(sigma > 0.3)) return;
    cairo_surface_flush(a8);
    uint8_t* data = cairo_image_surface_get_data(a8);
    const int w = cairo_image_surface_get_width(a8), h = cairo_image_surface_get_height(a8);
    const int stride = cairo_image_surface_get_stride(a8);
    std::vector<uint8_t> tmp(size_t(stride) * h);
    std::vector<uint32_t> sums;
    int sizes[3];
    box_sizes(sigma, sizes);
    for (int size : sizes) {
        const int r = (size - 1) / 2;
        if (r <= 0) continue;
        box_rows(data, tmp.data(), w, h, stride, r);
        box_columns(tmp.data(), data, w, h, stride, r, sums);
    }
    cairo_surface_mark_dirty(a8);
}

void cmd_shadow_impl(Walker& w) {
    if (w.maybe(O_OFF)) return w.st.shadows.clear();
    if (!(w.more() && w.at->is(TYPE_PAIR))) w.invalid_here();
    Shadow s{double(pair::x_of(w.at)), double(pair::y_of(w.at)), 0, 0, Rgba{0, 0, 0, 1}, false};
    ++w.at;
    if (w.more() && w.at->is(TYPE_INTEGER)) {
        s.blur = (w.at++)->as_int();
        if (w.more() && w.at->is(TYPE_INTEGER)) s.spread = (w.at++)->as_int();
    }
    w.maybe_colour(&s.colour);
    s.inset = w.maybe(O_INSET);  // kept; drawn as an outer shadow
    w.st.shadows.push_back(s);
}

}  // namespace

void cmd_shadow(Walker& w, const Cell*) { cmd_shadow_impl(w); }

void shadowed_box(Walker& w, double x, double y, double wd, double ht, double radius) {
    const double lw = w.st.width;
    // how far shadows reach beyond the box: offscreen surfaces need no more
    const double tw = cairo_image_surface_get_width(cairo_get_target(w.cr));
    const double th = cairo_image_surface_get_height(cairo_get_target(w.cr));
    double reach = 0;
    for (const Shadow& s : w.st.shadows)
        reach = std::max(reach, std::min(std::fabs(s.dx) + std::fabs(s.dy), tw + th) + std::fabs(s.spread) +
                                    3 * std::fabs(s.blur) / BLUR_TO_SIGMA);
    const double limit_w = tw + reach, limit_h = th + reach;
    const double want_w = std::min(wd + lw, limit_w), want_h = std::min(ht + lw, limit_h);
    if (!offscreen_ok(want_w, want_h)) {  // nothing to shade, or beyond any use
        box_path(w.cr, x, y, wd, ht, radius);
        return paint_path(w, true);
    }
    const int bw = int(std::ceil(want_w)), bh = int(std::ceil(want_h));
    cairo_surface_t* shape = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bw, bh);
    auto shape_ref = adopt_surface(shape);
    if (cairo_surface_status(shape) != CAIRO_STATUS_SUCCESS) support::fire_error(ErrorId::internal_no_memory);
    {
        cairo_t* scr = cairo_create(shape);
        struct Swap {
            Walker& w;
            cairo_t* outer;
            ~Swap() {
                cairo_destroy(w.cr);
                w.cr = outer;
            }
        } swap{w, w.cr};
        w.cr = scr;
        w.apply_stroke();
        cairo_set_antialias(scr, w.st.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
        box_path(scr, lw / 2, lw / 2, wd, ht, radius);
        const double bounds[4] = {lw / 2, lw / 2, wd + lw / 2, ht + lw / 2};
        paint_path(w, true, bounds);
    }
    cairo_surface_flush(shape);
    // the box lands where it would without a shadow
    const double ox = x - lw / 2, oy = y - lw / 2;
    cairo_t* cr = w.cr;
    for (const Shadow& s : w.st.shadows) {
        const double kx = wd > 0 ? (2 * s.spread + wd) / wd : 1, ky = ht > 0 ? (2 * s.spread + ht) / ht : 1;
        if (!(kx > 0 && ky > 0)) continue;
        const double sigma = std::max(0.0, s.blur) / BLUR_TO_SIGMA;
        const int margin = int(std::ceil(3 * sigma)) + 1;
        const double sw = std::ceil(bw * kx) + 2 * margin, sh = std::ceil(bh * ky) + 2 * margin;
        if (!offscreen_ok(sw, sh)) continue;
        cairo_surface_t* alpha = cairo_image_surface_create(CAIRO_FORMAT_A8, int(sw), int(sh));
        auto alpha_ref = adopt_surface(alpha);
        if (cairo_surface_status(alpha) != CAIRO_STATUS_SUCCESS) support::fire_error(ErrorId::internal_no_memory);
        cairo_t* acr = cairo_create(alpha);
        cairo_translate(acr, margin, margin);
        cairo_scale(acr, kx, ky);
        cairo_set_source_surface(acr, shape, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(acr), CAIRO_FILTER_BILINEAR);
        cairo_paint(acr);
        cairo_destroy(acr);
        blur_alpha(alpha, sigma);
        cairo_set_source_rgba(cr, s.colour.r, s.colour.g, s.colour.b, s.colour.a);
        cairo_mask_surface(cr, alpha, ox + s.dx - s.spread - margin, oy + s.dy - s.spread - margin);
    }
    cairo_set_source_surface(cr, shape, ox, oy);
    cairo_paint(cr);
}

}  // namespace zun::draw
