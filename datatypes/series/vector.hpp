// vector!: packed numeric series.
#pragma once

namespace zun::vector {
void register_type();
}
