// 3x2 matrices in the row-vector convention (m11 m12 m21 m22 dx dy): a point
// (x, y) maps to (x m11 + y m21 + dx, x m12 + y m22 + dy). A new matrix M is
// combined with the current one C as M x C, so M acts first.
#pragma once
#include <cairo.h>

#include <cmath>

namespace zun::draw {

struct Matrix {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

    double determinant() const { return m11 * m22 - m12 * m21; }
    bool invertible() const {
        const double d = determinant();
        return std::isfinite(d) && d != 0 && std::isfinite(dx) && std::isfinite(dy);
    }
    cairo_matrix_t to_cairo() const {
        cairo_matrix_t m;
        cairo_matrix_init(&m, m11, m12, m21, m22, dx, dy);
        return m;
    }
};

inline Matrix multiply(const Matrix& a, const Matrix& b) {
    return Matrix{a.m11 * b.m11 + a.m12 * b.m21,       a.m11 * b.m12 + a.m12 * b.m22,
                  a.m21 * b.m11 + a.m22 * b.m21,       a.m21 * b.m12 + a.m22 * b.m22,
                  a.dx * b.m11 + a.dy * b.m21 + b.dx, a.dx * b.m12 + a.dy * b.m22 + b.dy};
}

inline Matrix translation(double x, double y) { return Matrix{1, 0, 0, 1, x, y}; }

// Rotation by degrees (clockwise with y down) about a centre.
inline Matrix rotation(double degrees, double cx, double cy) {
    const double r = degrees * M_PI / 180, c = std::cos(r), s = std::sin(r);
    return Matrix{c, s, -s, c, cx - cx * c + cy * s, cy - cx * s - cy * c};
}

inline Matrix skewing(double x_degrees, double y_degrees, double cx, double cy) {
    const double tx = std::tan(x_degrees * M_PI / 180), ty = std::tan(y_degrees * M_PI / 180);
    return Matrix{1, ty, tx, 1, -cy * tx, -cx * ty};
}

// Scaling that keeps the centre where it is.
inline Matrix scaling(double sx, double sy, double cx, double cy) {
    return Matrix{sx, 0, 0, sy, cx - sx * cx, cy - sy * cy};
}

// The inverse, or false (and the matrix untouched) when it is singular.
inline bool invert(Matrix& m) {
    if (!m.invertible()) return false;
    const double d = m.determinant();
    const Matrix r{m.m22 / d,
                   -m.m12 / d,
                   -m.m21 / d,
                   m.m11 / d,
                   (m.m21 * m.dy - m.m22 * m.dx) / d,
                   (m.m12 * m.dx - m.m11 * m.dy) / d};
    m = r;
    return true;
}

// Whether the matrix keeps rectangles axis-aligned (a quarter turn does).
inline bool axis_aligned(const Matrix& m) {
    const double a = std::fabs(m.m11), b = std::fabs(m.m12), c = std::fabs(m.m21), d = std::fabs(m.m22);
    return (b <= a * 1e-6 && c <= d * 1e-6) || (a <= b * 1e-6 && d <= c * 1e-6);
}

}  // namespace zun::draw
