#include "core/float_text.hpp"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace zun::dtoa {

namespace {

using u128 = unsigned __int128;

constexpr uint64_t HIDDEN_BIT = uint64_t(1) << 52;
constexpr uint64_t MANTISSA_MASK = HIDDEN_BIT - 1;
constexpr int MIN_EXPONENT = -1074;  // of the mantissa's lowest bit

constexpr uint64_t POW10_U64[20] = {1ull,
                                    10ull,
                                    100ull,
                                    1000ull,
                                    10000ull,
                                    100000ull,
                                    1000000ull,
                                    10000000ull,
                                    100000000ull,
                                    1000000000ull,
                                    10000000000ull,
                                    100000000000ull,
                                    1000000000000ull,
                                    10000000000000ull,
                                    100000000000000ull,
                                    1000000000000000ull,
                                    10000000000000000ull,
                                    100000000000000000ull,
                                    1000000000000000000ull,
                                    10000000000000000000ull};

int decimal_length(uint64_t n) {
    int length = 1;
    while (length < 20 && n >= POW10_U64[length]) length++;
    return length;
}

// ---------------------------------------------------------------------------
// Big unsigned integers of fixed capacity, 32-bit words, least significant
// first. The largest need (a parse of 800 digits compared with a halfway point
// scaled by 5^1144) stays below 2800 bits.

class Big {
public:
    static constexpr int CAPACITY = 112;

    Big() = default;
    explicit Big(uint64_t v) { set(v); }
    Big(const Big& other) : m_size(other.m_size) {
        std::memcpy(m_words, other.m_words, sizeof(uint32_t) * size_t(m_size));
    }
    Big& operator=(const Big& other) {
        m_size = other.m_size;
        std::memcpy(m_words, other.m_words, sizeof(uint32_t) * size_t(m_size));
        return *this;
    }

    void set(uint64_t v) {
        m_size = 0;
        while (v) {
            m_words[m_size++] = uint32_t(v);
            v >>= 32;
        }
    }
    bool zero() const { return m_size == 0; }
    int bit_length() const {
        return m_size == 0 ? 0 : 32 * (m_size - 1) + 32 - std::countl_zero(m_words[m_size - 1]);
    }
    bool bit(int i) const {
        int w = i >> 5;
        return w < m_size && ((m_words[w] >> (i & 31)) & 1);
    }
    // Bits [from, from + 64) as a number; bits below 0 read as 0.
    uint64_t bits64(int from) const {
        uint64_t r = 0;
        for (int i = 63; i >= 0; i--) r = (r << 1) | uint64_t(from + i >= 0 && bit(from + i));
        return r;
    }
    bool any_bits_below(int n) const {
        for (int i = 0; i < m_size && 32 * i < n; i++) {
            uint32_t w = m_words[i];
            if (32 * (i + 1) > n) w &= (uint32_t(1) << (n - 32 * i)) - 1;
            if (w) return true;
        }
        return false;
    }

    void mul_add(uint64_t factor, uint32_t addend = 0) {
        u128 carry = addend;
        for (int i = 0; i < m_size; i++) {
            u128 t = u128(m_words[i]) * factor + carry;
            m_words[i] = uint32_t(t);
            carry = t >> 32;
        }
        while (carry) {
            push(uint32_t(carry));
            carry >>= 32;
        }
    }
    void mul_pow10(int n) {
        for (; n >= 19; n -= 19) mul_add(POW10_U64[19]);
        if (n > 0) mul_add(POW10_U64[n]);
    }
    void mul_pow5(int n) {
        constexpr uint64_t POW5_27 = 7450580596923828125ull;
        for (; n >= 27; n -= 27) mul_add(POW5_27);
        uint64_t p = 1;
        while (n-- > 0) p *= 5;
        if (p > 1) mul_add(p);
    }
    void shift_left(int n) {
        if (m_size == 0 || n == 0) return;
        int words = n >> 5, bits = n & 31;
        if (m_size + words + 1 > CAPACITY) overflow();
        if (bits) {
            m_words[m_size] = 0;
            for (int i = m_size; i > 0; i--)
                m_words[i] = (m_words[i] << bits) | (m_words[i - 1] >> (32 - bits));
            m_words[0] <<= bits;
            m_size++;
        }
        if (words) {
            std::memmove(m_words + words, m_words, sizeof(uint32_t) * size_t(m_size));
            std::memset(m_words, 0, sizeof(uint32_t) * size_t(words));
            m_size += words;
        }
        trim();
    }
    // Divides in place; answers the remainder.
    uint64_t div_small(uint64_t divisor) {
        u128 rem = 0;
        for (int i = m_size - 1; i >= 0; i--) {
            u128 cur = (rem << 32) | m_words[i];
            m_words[i] = uint32_t(cur / divisor);
            rem = cur % divisor;
        }
        trim();
        return uint64_t(rem);
    }
    void add(const Big& b) {
        uint64_t carry = 0;
        int n = m_size > b.m_size ? m_size : b.m_size;
        if (n + 1 > CAPACITY) overflow();
        for (int i = 0; i < n; i++) {
            uint64_t t = carry + (i < m_size ? m_words[i] : 0) + (i < b.m_size ? b.m_words[i] : 0);
            m_words[i] = uint32_t(t);
            carry = t >> 32;
        }
        m_size = n;
        if (carry) m_words[m_size++] = uint32_t(carry);
    }
    void sub(const Big& b) {  // requires *this >= b
        int64_t borrow = 0;
        for (int i = 0; i < m_size; i++) {
            int64_t t = int64_t(m_words[i]) - (i < b.m_size ? b.m_words[i] : 0) - borrow;
            borrow = t < 0;
            m_words[i] = uint32_t(t);
        }
        trim();
    }
    friend int compare(const Big& a, const Big& b) {
        if (a.m_size != b.m_size) return a.m_size < b.m_size ? -1 : 1;
        for (int i = a.m_size - 1; i >= 0; i--)
            if (a.m_words[i] != b.m_words[i]) return a.m_words[i] < b.m_words[i] ? -1 : 1;
        return 0;
    }
    // Sign of a + b - c.
    friend int compare_sum(const Big& a, const Big& b, const Big& c) {
        Big sum = a;
        sum.add(b);
        return compare(sum, c);
    }

private:
    // Every use is bounded well below the capacity; reaching it is a bug.
    [[noreturn]] static void overflow() { std::abort(); }
    void push(uint32_t w) {
        if (m_size >= CAPACITY) overflow();
        m_words[m_size++] = w;
    }
    void trim() {
        while (m_size > 0 && m_words[m_size - 1] == 0) m_size--;
    }

    int m_size = 0;
    uint32_t m_words[CAPACITY];
};

// ---------------------------------------------------------------------------
// 10^q ~= (hi:lo) x 2^exp2 with the top bit of hi set, truncated (never above
// the true value); exact when no bit was cut.

constexpr int POW10_MIN = -350;
constexpr int POW10_MAX = 350;

struct Pow10 {
    uint64_t hi, lo;
    int32_t exp2;
    bool exact;
};

struct Pow10Table {
    Pow10 entries[POW10_MAX - POW10_MIN + 1];
    const Pow10& operator[](int q) const { return entries[q - POW10_MIN]; }
};

Pow10 top_128(const Big& x, int extra_exponent) {
    int length = x.bit_length();
    int from = length - 128;
    return Pow10{x.bits64(from + 64), x.bits64(from), from + extra_exponent,
                 from <= 0 || !x.any_bits_below(from)};
}

Pow10Table build_pow10_table() {
    Pow10Table table;
    Big x(1);
    for (int q = 0; q <= POW10_MAX; q++) {
        table.entries[q - POW10_MIN] = top_128(x, 0);
        x.mul_add(10);
    }
    // floor(floor(a / b) / c) = floor(a / bc): repeated division keeps exact
    // floors of 2^N / 10^q.
    constexpr int N = 1344;
    Big y(1);
    y.shift_left(N);
    for (int q = -1; q >= POW10_MIN; q--) {
        y.div_small(10);
        Pow10 p = top_128(y, -N);
        p.exact = false;
        table.entries[q - POW10_MIN] = p;
    }
    return table;
}

const Pow10Table& pow10_table() {
    static const Pow10Table table = build_pow10_table();
    return table;
}

// m x (hi:lo) as three 64-bit words, most significant first.
struct U192 {
    uint64_t w2, w1, w0;
};
U192 multiply(uint64_t m, uint64_t hi, uint64_t lo) {
    u128 low = u128(m) * lo;
    u128 high = u128(m) * hi;
    u128 mid = (low >> 64) + uint64_t(high);
    return U192{uint64_t(high >> 64) + uint64_t(mid >> 64), uint64_t(mid), uint64_t(low)};
}

double from_bits(uint64_t bits) { return std::bit_cast<double>(bits); }
uint64_t to_bits(double d) { return std::bit_cast<uint64_t>(d); }

// ---------------------------------------------------------------------------
// Parsing

// (w2:w1:w0) x 2^e, w2 != 0, rounded to the nearest double, ties to even.
double round_to_double(U192 x, int e) {
    int s = std::countl_zero(x.w2);
    if (s) {
        x.w2 = (x.w2 << s) | (x.w1 >> (64 - s));
        x.w1 = (x.w1 << s) | (x.w0 >> (64 - s));
        x.w0 <<= s;
        e -= s;
    }
    bool sticky = (x.w1 | x.w0) != 0;
    int top = e + 191;  // value in [2^top, 2^(top+1))
    if (top > 1023) return std::numeric_limits<double>::infinity();
    int keep = top >= -1022 ? 53 : top + 1075;  // mantissa bits that stay
    if (keep <= 0) {
        // Below 2^-1075 is nearer zero; exactly 2^-1075 ties to even zero.
        bool above_half = keep == 0 && (x.w2 != (uint64_t(1) << 63) || sticky);
        return from_bits(above_half ? 1 : 0);
    }
    uint64_t mantissa = x.w2 >> (64 - keep);
    uint64_t rest = x.w2 << keep;  // the cut bits, left-aligned
    constexpr uint64_t HALF = uint64_t(1) << 63;
    if (rest > HALF || (rest == HALF && (sticky || (mantissa & 1)))) mantissa++;
    if (keep < 53) return from_bits(mantissa);  // a carry into the exponent field is right
    int biased = top + 1023;
    if (mantissa == (uint64_t(1) << 53)) {
        mantissa >>= 1;
        biased++;
        if (biased >= 2047) return std::numeric_limits<double>::infinity();
    }
    return from_bits(uint64_t(biased) << 52 | (mantissa & MANTISSA_MASK));
}

constexpr int KEPT_DIGITS = 800;  // more than any halfway point between doubles has

// The significant digits of the text: from the first to the last non-zero
// digit, over the integer part then the fraction.
struct DigitText {
    const uint8_t* int_start;
    const uint8_t* int_end;
    const uint8_t* frac_start;
    const uint8_t* frac_end;
    int64_t first;  // positions: 0 the first integer digit, the '.' skipped
    int64_t last;
    const uint8_t* at(int64_t i) const {
        int64_t n = int_end - int_start;
        return i < n ? int_start + i : frac_start + (i - n);
    }
};

// The exact decimal compared with the halfway points above candidate b, upward
// from b, which must not exceed the answer.
double refine(const DigitText& text, int64_t dec_exp, double b) {
    // D: at most KEPT_DIGITS digits, plus a final 1 when non-zero digits were
    // cut (no halfway point has that many digits, so the order is kept).
    Big d;
    int64_t count = text.last - text.first + 1;
    int64_t taken = count > KEPT_DIGITS ? KEPT_DIGITS : count;
    uint64_t chunk = 0;
    int chunk_digits = 0;
    for (int64_t i = 0; i < taken; i++) {
        chunk = chunk * 10 + uint64_t(*text.at(text.first + i) - '0');
        if (++chunk_digits == 19) {
            d.mul_add(POW10_U64[19], 0);
            d.add(Big(chunk));
            chunk = 0;
            chunk_digits = 0;
        }
    }
    if (chunk_digits) {
        d.mul_add(POW10_U64[chunk_digits]);
        d.add(Big(chunk));
    }
    if (count > taken) {
        d.mul_add(10, 1);
        dec_exp -= 1;
    }
    dec_exp += count - taken;
    int e10 = int(dec_exp);
    Big five;  // 5^-e10 for a negative exponent
    if (e10 >= 0) d.mul_pow5(e10);
    else {
        five.set(1);
        five.mul_pow5(-e10);
    }
    for (;;) {
        uint64_t bits = to_bits(b);
        if ((bits >> 52) >= 0x7FF) return b;  // infinity
        uint64_t m = bits & MANTISSA_MASK;
        int e = int(bits >> 52);
        if (e) m |= HIDDEN_BIT;
        e = (e ? e : 1) - 1075;
        // D x 10^e10 against (2m + 1) x 2^(e - 1), common powers of two removed.
        Big lhs = d;
        Big rhs;
        if (e10 >= 0) rhs.set(2 * m + 1);
        else {
            rhs = five;
            rhs.mul_add(2 * m + 1);
        }
        int p2l = e10, p2r = e - 1;
        int low = p2l < p2r ? p2l : p2r;
        lhs.shift_left(p2l - low);
        rhs.shift_left(p2r - low);
        int c = compare(lhs, rhs);
        if (c < 0) return b;
        if (c == 0) return (m & 1) ? from_bits(bits + 1) : b;
        b = from_bits(bits + 1);
    }
}

double convert(const DigitText& text, int64_t exponent, bool negative) {
    // Value = digits first..last x 10^dec_exp; sci its decimal exponent.
    int64_t count = text.last - text.first + 1;
    int64_t int_length = text.int_end - text.int_start;
    int64_t dec_exp = exponent + (int_length - 1 - text.last);
    int64_t sci = dec_exp + count - 1;
    double sign = negative ? -1.0 : 1.0;
    if (sci >= 309) return sign * std::numeric_limits<double>::infinity();
    if (sci < -324) return sign * 0.0;

    int taken = count > 19 ? 19 : int(count);
    uint64_t w = 0;
    for (int i = 0; i < taken; i++) w = w * 10 + uint64_t(*text.at(text.first + i) - '0');
    bool truncated = count > 19;  // the last digit is non-zero, so digits were cut
    int q = int(dec_exp + (count - taken));

    // Both exact and the product rounded once.
    static constexpr double EXACT_POW10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                               1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                               1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (!truncated && w <= (uint64_t(1) << 53)) {
        if (q >= 0 && q <= 22) return sign * (double(w) * EXACT_POW10[q]);
        if (q < 0 && q >= -22) return sign * (double(w) / EXACT_POW10[-q]);
        if (q > 22 && q <= 22 + 15) {
            uint64_t scaled = w;
            int extra = q - 22;
            for (; extra > 0 && scaled <= (uint64_t(1) << 53) / 10; extra--) scaled *= 10;
            if (extra == 0) return sign * (double(scaled) * EXACT_POW10[22]);
        }
    }

    // The product with a 128-bit power of ten; rounding the lowest and the
    // highest possible true value alike settles it.
    const Pow10& p = pow10_table()[q];
    int lz = std::countl_zero(w);
    U192 lower = multiply(w << lz, p.hi, p.lo);
    int e = p.exp2 - lz;
    double low = round_to_double(lower, e);
    if (!truncated && p.exact) return sign * low;
    U192 upper = lower;
    bool carry = false;
    if (!p.exact) {
        upper.w1 += 1;
        if (upper.w1 == 0) carry = true;
    }
    uint64_t add2 = (carry ? 1 : 0) + (truncated ? (uint64_t(1) << lz) + 1 : 0);
    bool overflow = upper.w2 + add2 < upper.w2;
    upper.w2 += add2;
    if (!overflow && round_to_double(upper, e) == low) return sign * low;
    return sign * refine(text, dec_exp, low);
}

bool digit_q(uint8_t c) { return c >= '0' && c <= '9'; }

// ---------------------------------------------------------------------------
// Printing

constexpr int UNKNOWN = 2;

// A scaled value t as 64.64 fixed point: exactly lo, strictly between lo and
// lo + 1 unit, or somewhere in [lo, lo + err).
struct Scaled {
    enum Kind { EXACT, STICKY, RANGE } kind;
    u128 lo;
    uint64_t err;
};

// -1, 0, 1 for t against x, or UNKNOWN.
int compare(const Scaled& t, u128 x) {
    switch (t.kind) {
        case Scaled::EXACT: return t.lo < x ? -1 : t.lo > x ? 1 : 0;
        case Scaled::STICKY: return t.lo < x ? -1 : 1;
        default:
            if (t.lo > x) return 1;
            if (x - t.lo >= t.err) return -1;
            return UNKNOWN;
    }
}

// M x 2^e x 10^-k in 64.64 fixed point; false when it does not fit.
bool scale(uint64_t m, int e, int k, Scaled* out) {
    const Pow10& p = pow10_table()[-k];
    U192 x = multiply(m, p.hi, p.lo);
    int shift = -(e + p.exp2 + 64);
    if (shift <= 0 || shift >= 128 || (shift < 64 && (x.w2 >> shift) != 0)) return false;
    u128 hi = (u128(x.w2) << 64) | x.w1;
    bool dropped;
    if (shift < 64) {
        out->lo = (hi << (64 - shift)) | (x.w0 >> shift);
        dropped = (x.w0 << (64 - shift)) != 0;
    } else {
        out->lo = hi >> (shift - 64);
        dropped = x.w0 != 0 || (shift > 64 && (hi << (192 - shift)) != 0);
    }
    if (p.exact) {
        out->kind = dropped ? Scaled::STICKY : Scaled::EXACT;
        out->err = 0;
    } else {
        out->kind = Scaled::RANGE;
        out->err = (shift >= 64 ? 0 : (m >> shift)) + 2;
    }
    return true;
}

// The largest integer below (or at, when inclusive) the upper bound; -1 when
// undecided.
int64_t floor_bound(const Scaled& u, bool inclusive) {
    uint64_t n = uint64_t(u.lo >> 64);
    if (compare(u, u128(n + 1) << 64) != -1) return -1;
    int c = compare(u, u128(n) << 64);
    if (c == UNKNOWN) return -1;
    if (c == 0 && !inclusive) return n == 0 ? -1 : int64_t(n - 1);
    return int64_t(n);
}

// The smallest integer above (or at) the lower bound; -1 when undecided.
int64_t ceil_bound(const Scaled& l, bool inclusive) {
    uint64_t n = uint64_t(l.lo >> 64);
    if (compare(l, u128(n + 1) << 64) != -1) return -1;
    int c = compare(l, u128(n) << 64);
    if (c == UNKNOWN) return -1;
    return int64_t(c == 0 && inclusive ? n : n + 1);
}

// t rounded to a multiple of 10^j (ties to an even quotient), as the quotient;
// false when undecided.
bool round_scaled(const Scaled& t, int j, uint64_t* quotient) {
    uint64_t n = uint64_t(t.lo >> 64);
    uint64_t q = n / POW10_U64[j];
    u128 half = j == 0 ? u128(1) << 63 : u128(5 * POW10_U64[j - 1]) << 64;
    int c = compare(t, (u128(q * POW10_U64[j]) << 64) + half);
    if (c == UNKNOWN) return false;
    *quotient = c < 0 ? q : c > 0 ? q + 1 : q + (q & 1);
    return true;
}

void set_digits(Decimal* out, uint64_t n, int decpt_base) {
    while (n % 10 == 0 && n != 0) {
        n /= 10;
        decpt_base++;
    }
    int length = decimal_length(n);
    for (int i = length - 1; i >= 0; i--) {
        out->digits[i] = char('0' + n % 10);
        n /= 10;
    }
    out->digits[length] = 0;
    out->length = length;
    out->decpt = decpt_base + length;
}

struct Parts {
    uint64_t m;  // value = m x 2^e, m > 0
    int e;
};
Parts split(double value) {
    uint64_t bits = to_bits(value);
    int biased = int((bits >> 52) & 0x7FF);
    uint64_t m = bits & MANTISSA_MASK;
    if (biased == 0) return Parts{m, MIN_EXPONENT};
    return Parts{m | HIDDEN_BIT, biased - 1075};
}

// Scale factor: value x 10^-k lies in [10^16, 10^18).
int scale_exponent(const Parts& p) {
    int floor_log2 = p.e + 63 - std::countl_zero(p.m);
    return detail::floor_log10_pow2(floor_log2) - 16;
}

bool shortest_fast(const Parts& p, Decimal* out) {
    bool inclusive = (p.m & 1) == 0;
    bool narrow_below = p.m == HIDDEN_BIT && p.e > MIN_EXPONENT;
    int k = scale_exponent(p);
    Scaled low, mid, high;
    if (!scale(4 * p.m - (narrow_below ? 1 : 2), p.e - 2, k, &low) ||
        !scale(4 * p.m, p.e - 2, k, &mid) || !scale(4 * p.m + 2, p.e - 2, k, &high))
        return false;
    int64_t top = floor_bound(high, inclusive);
    int64_t bottom = ceil_bound(low, inclusive);
    if (top < 0 || bottom < 0 || bottom > top) return false;
    // Drop digits while a multiple of the next power of ten stays inside.
    uint64_t a = uint64_t(top), b = uint64_t(bottom);
    int j = 0;
    while (a >= 10 && a / 10 >= (b + 9) / 10) {
        a /= 10;
        b = (b + 9) / 10;
        j++;
    }
    uint64_t d;
    if (!round_scaled(mid, j, &d)) return false;
    if (d < b) d = b;
    if (d > a) d = a;
    set_digits(out, d, j + k);
    return true;
}

bool fixed_fast(const Parts& p, int ndigits, Decimal* out) {
    int k = scale_exponent(p);
    Scaled mid;
    if (!scale(4 * p.m, p.e - 2, k, &mid)) return false;
    int length = decimal_length(uint64_t(mid.lo >> 64));
    if (length < ndigits) return false;
    int j = length - ndigits;
    uint64_t d;
    if (!round_scaled(mid, j, &d)) return false;
    set_digits(out, d, j + k);
    return true;
}

// The classic exact digit generation on big integers: value = r / s, the
// half-gaps to the neighbouring doubles m+ / s and m- / s.
void exact_digits(const Parts& p, int ndigits, Decimal* out) {
    bool shortest = ndigits <= 0;
    bool even = (p.m & 1) == 0;
    bool narrow_below = p.m == HIDDEN_BIT && p.e > MIN_EXPONENT;
    int extra = narrow_below ? 1 : 0;
    Big r(p.m), s(1), plus(1), minus(1);
    r.shift_left(1 + extra + (p.e > 0 ? p.e : 0));
    s.shift_left(1 + extra + (p.e < 0 ? -p.e : 0));
    plus.shift_left(extra + (p.e > 0 ? p.e : 0));
    minus.shift_left(p.e > 0 ? p.e : 0);

    int k = detail::floor_log10_pow2(p.e + 63 - std::countl_zero(p.m)) + 1;  // never too high
    if (k >= 0) s.mul_pow10(k);
    else {
        r.mul_pow10(-k);
        plus.mul_pow10(-k);
        minus.mul_pow10(-k);
    }
    if (shortest) {
        for (int c; (c = compare_sum(r, plus, s)) > 0 || (c == 0 && even);) {
            s.mul_add(10);
            k++;
        }
    } else {
        while (compare(r, s) >= 0) {
            s.mul_add(10);
            k++;
        }
    }

    char* digits = out->digits;
    int length = 0;
    bool round_up = false;
    int limit = shortest ? MAX_DIGITS : (ndigits > MAX_DIGITS ? MAX_DIGITS : ndigits);
    for (;;) {
        r.mul_add(10);
        int d = 0;
        while (compare(r, s) >= 0) {
            r.sub(s);
            d++;
        }
        digits[length++] = char('0' + d);
        if (shortest) {
            plus.mul_add(10);
            minus.mul_add(10);
            int cl = compare(r, minus);
            int ch = compare_sum(r, plus, s);
            bool low_ok = cl < 0 || (cl == 0 && even);
            bool high_ok = ch > 0 || (ch == 0 && even);
            if (!low_ok && !high_ok) continue;
            if (low_ok && high_ok) {
                Big twice = r;
                twice.shift_left(1);
                int c = compare(twice, s);
                round_up = c > 0 || (c == 0 && (d & 1));
            } else {
                round_up = high_ok;
            }
            break;
        }
        if (r.zero()) break;
        if (length == limit) {
            Big twice = r;
            twice.shift_left(1);
            int c = compare(twice, s);
            round_up = c > 0 || (c == 0 && (d & 1));
            break;
        }
    }
    if (round_up) {
        int i = length - 1;
        while (i >= 0 && digits[i] == '9') i--;
        if (i < 0) {
            digits[0] = '1';
            length = 1;
            k++;
        } else {
            digits[i]++;
            length = i + 1;
        }
    }
    while (length > 1 && digits[length - 1] == '0') length--;
    digits[length] = 0;
    out->length = length;
    out->decpt = k;
}

}  // namespace

void to_decimal(double value, int ndigits, Decimal* out) {
    Parts p = split(value);
    if (ndigits <= 0) {
        if (shortest_fast(p, out)) return;
    } else if (ndigits <= 17) {
        if (fixed_fast(p, ndigits, out)) return;
    }
    exact_digits(p, ndigits, out);
}

void detail::to_decimal_exact(double value, int ndigits, Decimal* out) {
    exact_digits(split(value), ndigits, out);
}

const char* dtoa(double value, int ndigits, int* decpt, int* sign, int* length, bool point_zero) {
    static char buffer[MAX_DIGITS + 2];  // '-' then the digits
    uint64_t bits = to_bits(value);
    bool negative = bits >> 63;
    *sign = negative;
    const char* text;
    if (((bits >> 52) & 0x7FF) == 0x7FF) {
        *decpt = DECPT_SPECIAL;
        text = (bits & MANTISSA_MASK) ? "1.#NaN" : negative ? "-1.#INF" : "1.#INF";
    } else if ((bits << 1) == 0) {
        *decpt = DECPT_ZERO;
        text = point_zero ? (negative ? "-0.0" : "0.0") : (negative ? "-0" : "0");
    } else {
        Decimal d;
        to_decimal(value, ndigits, &d);
        buffer[0] = '-';
        std::memcpy(buffer + 1, d.digits, size_t(d.length) + 1);
        *decpt = d.decpt;
        *length = d.length;
        return negative ? buffer : buffer + 1;
    }
    *length = int(std::strlen(text)) - (text[0] == '-');
    return text;
}

const char* form_float(double value, int ndigits, bool point_zero) {
    static char buffer[64];
    int decpt, sign, length;
    const char* digits = dtoa(value, ndigits, &decpt, &sign, &length, point_zero);
    if (decpt >= DECPT_ZERO) return digits;
    if (sign) digits++;
    char* p = buffer;
    if (sign) *p++ = '-';
    auto end_point = [&] {
        if (point_zero) *p++ = '0';
        else p--;
    };
    if (decpt > 17 || decpt < -6) {
        *p++ = digits[0];
        *p++ = '.';
        std::memcpy(p, digits + 1, size_t(length - 1));
        p += length - 1;
        if (length == 1) end_point();
        *p++ = 'e';
        int x = decpt - 1;
        if (x < 0) {
            *p++ = '-';
            x = -x;
        }
        char tmp[8];
        int n = 0;
        do tmp[n++] = char('0' + x % 10);
        while (x /= 10);
        while (n) *p++ = tmp[--n];
    } else if (decpt <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -decpt; i++) *p++ = '0';
        std::memcpy(p, digits, size_t(length));
        p += length;
    } else if (decpt < length) {
        std::memcpy(p, digits, size_t(decpt));
        p += decpt;
        *p++ = '.';
        std::memcpy(p, digits + decpt, size_t(length - decpt));
        p += length - decpt;
    } else {
        std::memcpy(p, digits, size_t(length));
        p += length;
        for (int i = length; i < decpt; i++) *p++ = '0';
        *p++ = '.';
        end_point();
    }
    *p = 0;
    return buffer;
}

double strtod(const uint8_t* start, const uint8_t* end, int exponent_adjust, int* rest) {
    const uint8_t* p = start;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    bool zeros = false;
    while (p < end && *p == '0') {
        p++;
        zeros = true;
    }
    if (zeros && p == end) {
        *rest = 0;
        return 0.0;
    }
    DigitText text{};
    text.int_start = p;
    while (p < end && digit_q(*p)) p++;
    text.int_end = p;
    text.frac_start = text.frac_end = p;
    if (p < end && *p == '.') {
        if (text.int_end - text.int_start == 1 && end - p >= 3 && p[1] == '#') {
            uint8_t c = p[2];
            if (c == 'I' || c == 'i') {
                *rest = 0;
                return negative ? -std::numeric_limits<double>::infinity()
                                : std::numeric_limits<double>::infinity();
            }
            if (c == 'N' || c == 'n') {
                *rest = 0;
                return from_bits(uint64_t(0x7FF80000) << 32);
            }
        }
        text.frac_start = ++p;
        while (p < end && digit_q(*p)) p++;
        text.frac_end = p;
    }
    if (!zeros && text.int_start == text.int_end && text.frac_start == text.frac_end) {
        *rest = int(end - start);
        return negative ? -0.0 : 0.0;
    }
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const uint8_t* q = p + 1;
        bool minus = false;
        if (q < end && (*q == '+' || *q == '-')) minus = *q++ == '-';
        if (q < end && digit_q(*q)) {
            // Beyond this any value overflows or underflows; the text length
            // cannot move it back.
            constexpr int64_t CAP = int64_t(1) << 40;
            while (q < end && digit_q(*q)) {
                if (exponent < CAP) exponent = exponent * 10 + (*q - '0');
                q++;
            }
            if (minus) exponent = -exponent;
            p = q;
        }
    }
    *rest = int(end - p);
    exponent += exponent_adjust;

    int64_t int_length = text.int_end - text.int_start;
    int64_t total = int_length + (text.frac_end - text.frac_start);
    text.first = -1;
    for (int64_t i = 0; i < total; i++)
        if (*text.at(i) != '0') {
            text.first = i;
            break;
        }
    if (text.first < 0) return negative ? -0.0 : 0.0;
    text.last = total - 1;
    while (*text.at(text.last) == '0') text.last--;
    return convert(text, exponent, negative);
}

}  // namespace zun::dtoa
