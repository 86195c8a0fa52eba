// bitset!: sets of bits.
#pragma once

namespace zun::bitset {
void register_type();
}
