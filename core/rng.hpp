// The process-wide pseudo-random generator (a variant of MT19937 whose right
// shifts propagate the sign, so outputs are 31-bit) and the secure source.
#pragma once
#include <cstdint>

namespace zun::rng {

// Allocates the state and seeds it with 19650218; call once at start-up, before
// any other function here.
void init();
void seed(int32_t seed);
int32_t next();  // 0 .. 2147483647

// 4 bytes from the system's cryptographic source, top bit cleared.
int32_t secure_int31();

// 0 for n = 0 (draws nothing); 1 .. n for n > 0; -1 .. n for n < 0; the
// complement of one raw draw for n = -2147483648.
int32_t integer(bool secure, int32_t n);

}  // namespace zun::rng
