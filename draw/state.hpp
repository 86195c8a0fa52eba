// The drawing state of a pass: brushes, stroke settings, the transform, the
// shadow list and the text state. Scoped commands copy it whole and put the
// copy back.
#pragma once
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "draw/matrix.hpp"
#include "draw/text_draw.hpp"

namespace zun::draw {

// A colour as the dialect gives it: three components opaque, a fourth the
// transparency.
Rgba tuple_to_rgba(const uint8_t* bytes, int length);

struct Stop {
    double offset;
    Rgba colour;
};

enum BrushKind : uint8_t {
    NO_BRUSH = 0,
    SOLID = 1,
    OWN_GEOMETRY = 2,  // a gradient with its own geometry
    FITTED = 3,        // a gradient fitted to each shape
    IMAGE_BRUSH = 4,   // bitmap or pattern, fitted to each shape's top-left
};
enum GradientKind : uint8_t { NO_GRADIENT, LINEAR, RADIAL, DIAMOND };

// A cairo surface shared by the states that hold the same image brush.
using SurfaceRef = std::shared_ptr<cairo_surface_t>;
SurfaceRef adopt_surface(cairo_surface_t* s);

struct Brush {
    BrushKind kind = NO_BRUSH;
    Rgba colour;
    GradientKind gradient = NO_GRADIENT;
    cairo_extend_t extend = CAIRO_EXTEND_PAD;
    std::vector<Stop> stops;
    // linear: (x1, y1) -> (x2, y2); radial: centre (x1, y1), radius r, focus (x2, y2)
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0, r = 0;
    Matrix transform;  // brush space to user space
    SurfaceRef tile;   // image brushes
};

inline Brush solid_black() {
    Brush b;
    b.kind = SOLID;
    return b;
}

struct Shadow {
    double dx, dy, blur, spread;
    Rgba colour;
    bool inset;
};

struct State {
    Brush pen = solid_black();
    Brush fill;
    BrushKind saved_pen_kind = SOLID;  // the pen parked while the width is 0
    Rgba text_colour;  // the last solid pen colour: text's unless its font has one
    TextState text;
    double width = 1.0;
    int join = 0;  // miter, bevel, round, miter-bevel
    int cap = 0;   // flat, square, round
    std::vector<double> dashes;  // in line widths
    bool antialias = true;
    Matrix transform;
    std::vector<Shadow> shadows;  // a copy is a deep copy
};

}  // namespace zun::draw
