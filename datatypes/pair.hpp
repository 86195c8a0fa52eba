// pair!: two 32-bit integer coordinates.
#pragma once

namespace zun::pair {
void register_type();
}
