#include "core/rng.hpp"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

#include "core/runtime.hpp"
#include "core/support.hpp"

namespace zun::rng {

namespace {

constexpr int N = 624;
constexpr int M = 397;

// Words are signed; wrap-around arithmetic is done on the unsigned bits.
int32_t* g_state = nullptr;
int g_index = N;

inline int32_t asr(int32_t x, int s) { return x >> s; }  // arithmetic since C++20
inline int32_t mul_add(uint32_t a, uint32_t b, uint32_t c) { return int32_t(a * b + c); }

inline int32_t twist(int32_t upper, int32_t lower, int32_t far) {
    int32_t y = int32_t((uint32_t(upper) & 0x80000000u) | (uint32_t(lower) & 0x7FFFFFFFu));
    uint32_t mag = (y & 1) ? 0x9908B0DFu : 0u;
    return int32_t(uint32_t(far) ^ uint32_t(asr(y, 1)) ^ mag);
}

void regenerate() {
    for (int k = 0; k < N - 1; k++)
        g_state[k] = twist(g_state[k], g_state[k + 1], g_state[(k + M) % N]);
    g_state[N - 1] = twist(g_state[N - 1], g_state[0], g_state[M - 1]);
    g_index = 0;
}

int32_t temper(int32_t y) {
    y ^= asr(y, 11);
    y ^= int32_t((uint32_t(y) << 7) & 0x9D2C5680u);
    y ^= int32_t((uint32_t(y) << 15) & 0xEFC60000u);
    y ^= asr(y, 18);
    return y;  // the first and last steps leave the top bit clear
}

int32_t draw(bool secure) { return secure ? secure_int31() : next(); }

}  // namespace

void init() {
    if (!g_state) g_state = static_cast<int32_t*>(runtime::allocate(N * sizeof(int32_t)));
    seed(19650218);
}

void seed(int32_t seed) {
    g_state[0] = seed;
    for (int i = 1; i < N; i++) {
        int32_t prev = g_state[i - 1];
        g_state[i] = mul_add(1812433253u, uint32_t(prev ^ asr(prev, 30)), uint32_t(i));
    }
    g_index = 0;
}

int32_t next() {
    if (g_index == N) regenerate();
    return temper(g_state[g_index++]);
}

int32_t secure_int31() {
    unsigned char bytes[4];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += size_t(n);
        else if (n < 0 && errno != EINTR) support::fire_error(ErrorId::internal_feature_na);
    }
    uint32_t word = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 |
                    uint32_t(bytes[3]) << 24;
    return int32_t(word & 0x7FFFFFFFu);
}

int32_t integer(bool secure, int32_t n) {
    if (n == 0) return 0;
    if (n == INT32_MIN) return ~draw(secure);
    int32_t c = n < 0 ? -n : n;
    int32_t limit = c * (INT32_MAX / c);  // draws at or above it would bias the low values
    int32_t d;
    do d = draw(secure);
    while (d >= limit);
    int32_t r = d % c + 1;
    return n < 0 ? -r : r;
}

}  // namespace zun::rng
