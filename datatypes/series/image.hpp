// image!: pixel grids.
#pragma once

namespace zun::image {
void register_type();
}
