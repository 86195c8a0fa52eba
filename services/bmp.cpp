#include "services/bmp.hpp"

#include <bit>
#include <cstring>

namespace zun::bmp {

namespace {

using image_codec::Pixels;

enum Compression : uint32_t { RGB = 0, RLE8 = 1, RLE4 = 2, BITFIELDS = 3, JPEG = 4, PNG = 5, ALPHABITFIELDS = 6 };

uint32_t u16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t u32(const uint8_t* p) { return u16(p) | u16(p + 2) << 16; }

// A channel of a bit-field pixel, widened to 8 bits by repeating its bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0, bits = 0;
    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        bits = std::popcount(m);
    }
    uint32_t get(uint32_t pixel) const {
        if (!bits) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return (v >> (bits - 8)) & 255;
        uint32_t r = v << (8 - bits);
        for (int s = 8 - 2 * bits; s > -bits; s -= bits) r |= s >= 0 ? v << s : v >> -s;
        return r & 255;
    }
};

struct Header {
    uint32_t size = 0, bits = 0, compression = RGB, colours = 0, offset = 0;
    int64_t width = 0, height = 0;
    uint32_t masks[4] = {};
    bool top_down = false;
    uint32_t palette_at = 0, palette_entry = 4;
};

bool read_header(const uint8_t* b, size_t n, Header& h) {
    if (n < 26 || b[0] != 'B' || b[1] != 'M') return false;
    h.offset = u32(b + 10);
    h.size = u32(b + 14);
    switch (h.size) {
        case 12: case 40: case 52: case 56: case 108: case 124: break;
        default: return false;
    }
    if (n < 14 + size_t(h.size)) return false;
    const uint8_t* i = b + 14;
    if (h.size == 12) {
        h.width = u16(i + 4);
        h.height = u16(i + 6);
        h.bits = u16(i + 10);
        h.palette_entry = 3;
    } else {
        h.width = int32_t(u32(i + 4));
        h.height = int32_t(u32(i + 8));
        h.bits = u16(i + 14);
        h.compression = u32(i + 16);
        h.colours = u32(i + 32);
        if (h.size >= 52) for (int k = 0; k < 3; k++) h.masks[k] = u32(i + 40 + 4 * k);
        if (h.size >= 56) h.masks[3] = u32(i + 52);
    }
    h.palette_at = 14 + h.size;
    if (h.size == 40 && (h.compression == BITFIELDS || h.compression == ALPHABITFIELDS)) {
        int count = h.compression == ALPHABITFIELDS ? 4 : 3;
        if (n < h.palette_at + 4 * size_t(count)) return false;
        for (int k = 0; k < count; k++) h.masks[k] = u32(b + h.palette_at + 4 * k);
        h.palette_at += 4 * count;
    }
    if (h.height < 0) {
        h.top_down = true;
        h.height = -h.height;
    }
    return h.width > 0 && h.height > 0;
}

// The palette: the entries the header declares (all 2^bits when it says 0),
// as many as lie before the pixels.
std::vector<uint32_t> read_palette(const uint8_t* b, size_t n, const Header& h) {
    std::vector<uint32_t> palette;
    if (h.bits > 8) return palette;
    uint64_t want = h.colours ? h.colours : 1u << h.bits;
    want = std::min<uint64_t>(want, 256);
    size_t end = std::min<size_t>(n, h.offset);
    for (uint64_t k = 0; k < want; k++) {
        size_t at = h.palette_at + k * h.palette_entry;
        if (at + 3 > end) break;
        palette.push_back(0xFF000000u | (u32(b + at) & 0xFFFFFF));
    }
    return palette;
}

uint32_t colour(const std::vector<uint32_t>& palette, uint32_t index) {
    if (index < palette.size()) return palette[index];
    return palette.empty() ? 0xFF000000u : palette[0];
}

// Rows are stored bottom-up unless the header says otherwise.
uint32_t* row_of(Pixels& p, const Header& h, uint32_t y) {
    uint32_t r = h.top_down ? y : p.height - 1 - y;
    return p.straight.data() + size_t(r) * p.width;
}

bool read_plain(const uint8_t* b, size_t n, const Header& h, Pixels& p,
                const std::vector<uint32_t>& palette) {
    uint64_t stride = ((uint64_t(p.width) * h.bits + 31) / 32) * 4;
    if (h.offset > n || stride * p.height > n - h.offset) return false;
    Channel ch[4];
    if (h.bits == 16 || h.bits == 32) {
        uint32_t masks[4];
        if (h.compression == RGB) {
            if (h.bits == 16) masks[0] = 0x7C00, masks[1] = 0x3E0, masks[2] = 0x1F;
            else masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
            masks[3] = 0;
        } else {
            std::memcpy(masks, h.masks, sizeof masks);
        }
        for (int k = 0; k < 4; k++) ch[k] = Channel(masks[k]);
    }
    for (uint32_t y = 0; y < p.height; y++) {
        const uint8_t* s = b + h.offset + stride * y;
        uint32_t* out = row_of(p, h, y);
        for (uint32_t x = 0; x < p.width; x++) {
            switch (h.bits) {
                case 1: out[x] = colour(palette, (s[x >> 3] >> (7 - (x & 7))) & 1); break;
                case 4: out[x] = colour(palette, (s[x >> 1] >> (x & 1 ? 0 : 4)) & 15); break;
                case 8: out[x] = colour(palette, s[x]); break;
                case 24: out[x] = 0xFF000000u | u16(s + 3 * x) | uint32_t(s[3 * x + 2]) << 16; break;
                default: {
                    uint32_t v = h.bits == 16 ? u16(s + 2 * x) : u32(s + 4 * x);
                    uint32_t a = ch[3].bits ? ch[3].get(v) : 255;
                    out[x] = a << 24 | ch[0].get(v) << 16 | ch[1].get(v) << 8 | ch[2].get(v);
                }
            }
        }
    }
    return true;
}

// RLE8 and RLE4: runs and absolute runs with end-of-line, end-of-bitmap and
// delta escapes. Pixels nothing writes stay transparent black.
bool read_rle(const uint8_t* b, size_t n, const Header& h, Pixels& p,
              const std::vector<uint32_t>& palette) {
    std::fill(p.straight.begin(), p.straight.end(), 0u);
    const bool four = h.compression == RLE4;
    size_t at = h.offset;
    uint64_t x = 0, y = 0;
    auto put = [&](uint32_t index) {
        if (x < p.width && y < p.height) row_of(p, h, uint32_t(y))[x] = colour(palette, index);
        x++;
    };
    while (true) {
        if (at + 2 > n) return false;
        uint32_t count = b[at], value = b[at + 1];
        at += 2;
        if (count) {
            for (uint32_t k = 0; k < count; k++) put(four ? (k & 1 ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {
            x = 0;
            y++;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (at + 2 > n) return false;
            x += b[at];
            y += b[at + 1];
            at += 2;
        } else {
            size_t bytes = four ? (value + 1) / 2 : value;
            if (at + bytes > n) return false;
            for (uint32_t k = 0; k < value; k++)
                put(four ? (k & 1 ? b[at + k / 2] & 15 : b[at + k / 2] >> 4) : b[at + k]);
            at += bytes + (bytes & 1);
        }
        if (y >= p.height) return true;
    }
}

void put16(std::vector<uint8_t>& o, uint32_t v) {
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}
void put32(std::vector<uint8_t>& o, uint32_t v) {
    put16(o, v & 0xFFFF);
    put16(o, v >> 16);
}

}  // namespace

std::optional<Pixels> decode(const uint8_t* b, size_t n, uint64_t max_pixels) {
    Header h;
    if (!read_header(b, n, h)) return std::nullopt;
    if (!image_codec::size_ok(h.width, h.height) || uint64_t(h.width * h.height) > max_pixels)
        return std::nullopt;
    bool rle = h.compression == RLE8 || h.compression == RLE4;
    switch (h.bits) {
        case 1: case 4: case 8: case 24:
            if (h.compression != RGB && !(h.compression == RLE8 && h.bits == 8) &&
                !(h.compression == RLE4 && h.bits == 4))
                return std::nullopt;
            break;
        case 16: case 32:
            if (h.compression != RGB && h.compression != BITFIELDS && h.compression != ALPHABITFIELDS)
                return std::nullopt;
            break;
        default: return std::nullopt;
    }
    // Uncompressed rows must all be there before the pixels are allocated.
    uint64_t stride = ((uint64_t(h.width) * h.bits + 31) / 32) * 4;
    if (!rle && (h.offset > n || stride * uint64_t(h.height) > n - h.offset)) return std::nullopt;
    std::vector<uint32_t> palette = read_palette(b, n, h);
    if (h.bits <= 8 && palette.empty()) return std::nullopt;
    Pixels p;
    p.width = uint32_t(h.width);
    p.height = uint32_t(h.height);
    p.straight.resize(p.count());
    bool ok = rle ? read_rle(b, n, h, p, palette) : read_plain(b, n, h, p, palette);
    if (!ok) return std::nullopt;
    return p;
}

void encode(const uint32_t* pixels, uint32_t width, uint32_t height, std::vector<uint8_t>& o) {
    constexpr uint32_t HEADER = 108, OFFSET = 14 + HEADER;
    uint32_t bytes = width * height * 4;
    o.clear();
    o.reserve(OFFSET + bytes);
    o.push_back('B');
    o.push_back('M');
    put32(o, OFFSET + bytes);
    put32(o, 0);
    put32(o, OFFSET);
    put32(o, HEADER);
    put32(o, width);
    put32(o, height);  // positive: bottom-up
    put16(o, 1);
    put16(o, 32);
    put32(o, BITFIELDS);
    put32(o, bytes);
    put32(o, 2835);  // 72 dpi
    put32(o, 2835);
    put32(o, 0);
    put32(o, 0);
    for (uint32_t m : {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u}) put32(o, m);
    put32(o, 0x73524742);  // 'sRGB'
    for (int k = 0; k < 12; k++) put32(o, 0);  // endpoints and gamma, unused with sRGB
    for (uint32_t y = height; y-- > 0;)
        for (uint32_t x = 0; x < width; x++) put32(o, pixels[size_t(y) * width + x]);
}

}  // namespace zun::bmp
