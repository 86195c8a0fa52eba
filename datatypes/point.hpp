// point2D! and point3D!: single-precision points.
#pragma once

namespace zun::point2D {
void register_type();
}
namespace zun::point3D {
void register_type();
}
