#include "services/image_record.hpp"

#include <algorithm>
#include <cstring>

#include "core/collector.hpp"
#include "core/externals.hpp"
#include "core/memory.hpp"

namespace zun::image_codec {

namespace {

struct Record {
    uint32_t flags;
    uint32_t source;
    uint32_t bitmap;
    uint32_t size;
    uint32_t resource;
    uint32_t attached;
};
static_assert(sizeof(Record) == 24);

int g_kind = 0;
size_t g_live = 0;

// Pixels live outside the series frames, so their allocations would never
// prompt a collection on their own: once more pixel bytes were made since
// the last collection than survived it (and at least COLLECT_AFTER), one runs.
constexpr size_t COLLECT_AFTER = size_t(64) << 20;
size_t g_live_bytes = 0, g_made_bytes = 0, g_survivors = 0;
uint32_t g_collections_seen = 0;

size_t bytes_of(const Pixels& p) { return (p.straight.capacity() + p.premultiplied.capacity()) * 4; }

void account(size_t bytes) {
    if (memory::collection_count() != g_collections_seen) {
        g_collections_seen = memory::collection_count();
        g_made_bytes = 0;
        g_survivors = g_live_bytes;
    }
    g_made_bytes += bytes;
    if (g_made_bytes > std::max(COLLECT_AFTER, g_survivors)) {
        memory::maybe_collect();
        g_collections_seen = memory::collection_count();
        g_made_bytes = 0;
        g_survivors = g_live_bytes;
    }
}
collector::Anchor g_anchor;

void release_pixels(uintptr_t resource) {
    Pixels* p = reinterpret_cast<Pixels*>(resource);
    if (!p) return;
    if (p->attached) release(p->attached);
    g_live_bytes -= std::min(g_live_bytes, bytes_of(*p));
    delete p;
    g_live--;
}

// The kind is registered again on a new memory manager (the tables are new).
int kind() {
    if (!g_anchor.current()) {
        g_anchor.make();
        g_kind = externals::register_kind("image", release_pixels);
    }
    return g_kind;
}

Record* record_of(NodeId node) { return reinterpret_cast<Record*>(memory::buffer_of(node)->head_ptr()); }

void drop_attached(Record* r, Pixels* p) {
    if (p->attached) release(p->attached);
    p->attached = nullptr;
    r->attached = 0;
}

// The straight buffer rebuilt from the premultiplied one after drawing.
void refresh_straight(Record* r, Pixels* p) {
    if (r->flags & DRAWN) r->flags &= ~(DRAWN | BITMAP_VALID);
    if (r->flags & BITMAP_VALID) return;
    if (!p->premultiplied.empty()) {
        p->straight.resize(p->count());
        std::transform(p->premultiplied.begin(), p->premultiplied.end(), p->straight.begin(),
                       unpremultiply);
    }
    r->bitmap = 1;
    r->flags |= BITMAP_VALID;
}

Pixels blank(uint32_t width, uint32_t height) {
    Pixels p;
    p.width = width;
    p.height = height;
    p.straight.assign(p.count(), 0xFFFFFFFFu);
    return p;
}

}  // namespace

size_t live_records() { return g_live; }

bool size_ok(int64_t width, int64_t height) {
    if (width < 0 || height < 0 || width > MAX_SIDE || height > MAX_SIDE) return false;
    return uint64_t(width) * uint64_t(height) * 4 <= MAX_BYTES;
}

Attached* make_attached(void* object, void (*release_fn)(void*)) {
    return new Attached{object, release_fn, 1};
}
void retain(Attached* a) {
    if (a) a->references++;
}
void release(Attached* a) {
    if (!a || --a->references) return;
    if (a->release) a->release(a->object);
    delete a;
}

uint32_t premultiply(uint32_t pixel) {
    uint32_t a = pixel >> 24;
    if (a == 255) return pixel;
    auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | mul((pixel >> 16) & 255) << 16 | mul((pixel >> 8) & 255) << 8 |
           mul(pixel & 255);
}
uint32_t unpremultiply(uint32_t pixel) {
    uint32_t a = pixel >> 24;
    if (a == 255) return pixel;
    if (a == 0) return 0;
    auto div = [a](uint32_t p) { return std::min<uint32_t>(255, (p * 255 + a / 2) / a); };
    return a << 24 | div((pixel >> 16) & 255) << 16 | div((pixel >> 8) & 255) << 8 |
           div(pixel & 255);
}

// Nothing global to set up: the libraries are used per call, and the kind is
// registered with the first record of each memory manager.
void init_factory() {}

NodeId new_record(Pixels&& pixels, uint32_t flags) {
    // The record first: its allocation may collect, and nothing is registered yet.
    account(bytes_of(pixels));
    NodeId node = memory::alloc_bytes(sizeof(Record));
    memory::SeriesBuffer* b = memory::buffer_of(node);
    b->tail = b->head + sizeof(Record);
    Pixels* p = new Pixels(std::move(pixels));
    g_live++;
    g_live_bytes += bytes_of(*p);
    Record* r = record_of(node);
    r->flags = flags;
    r->source = p->premultiplied.empty() ? 0 : 1;
    r->bitmap = p->straight.empty() ? 0 : 1;
    r->size = p->width | p->height << 16;
    r->resource = uint32_t(externals::add(reinterpret_cast<uintptr_t>(p), kind()));
    r->attached = 0;
    return node;
}

uint32_t bitmap_width(NodeId node) { return record_of(node)->size & 0xFFFF; }
uint32_t bitmap_height(NodeId node) { return record_of(node)->size >> 16; }
uint32_t record_flags(NodeId node) { return record_of(node)->flags; }
Pixels* pixels_of(NodeId node) {
    return reinterpret_cast<Pixels*>(externals::resource(int32_t(record_of(node)->resource)));
}

void attach_bitmap(NodeId node, Attached* object) {
    Record* r = record_of(node);
    Pixels* p = pixels_of(node);
    if (p->attached && p->attached != object) release(p->attached);
    p->attached = object;
    r->attached = object ? 1 : 0;
}

Attached* get_attached_bitmap(NodeId node) {
    Record* r = record_of(node);
    Pixels* p = pixels_of(node);
    r->flags |= HANDED_OUT;
    retain(p->attached);
    return p->attached;
}

void drop_attached_bitmap(NodeId node) { drop_attached(record_of(node), pixels_of(node)); }

void invalidate_attached(NodeId node) {
    record_of(node)->flags |= DRAWN;
    drop_attached_bitmap(node);
}

void sweep_attached_bitmap(NodeId node) {
    Record* r = record_of(node);
    if (!externals::mark(int32_t(r->resource), 0)) return;
    if (r->flags & HANDED_OUT) r->flags &= ~HANDED_OUT;
    else if (Pixels* p = pixels_of(node); p && p->attached) drop_attached(r, p);
}

void release_bitmaps(NodeId node) {
    Record* r = record_of(node);
    Pixels* p = pixels_of(node);
    if (!p) return;
    drop_attached(r, p);
    g_live_bytes -= std::min(g_live_bytes, bytes_of(*p));
    std::vector<uint32_t>().swap(p->straight);
    std::vector<uint32_t>().swap(p->premultiplied);
    r->source = r->bitmap = 0;
    r->flags &= ~(BITMAP_VALID | SHARED | PREMULTIPLIED);
}

const uint32_t* get_converted_bitmap(NodeId node, bool premultiplied) {
    Record* r = record_of(node);
    Pixels* p = pixels_of(node);
    if (!premultiplied) return get_bitmap(node);
    bool stale = p->premultiplied.empty() || (r->flags & MODIFIED) || !(r->flags & PREMULTIPLIED);
    if (stale && p->count()) {
        refresh_straight(r, p);
        if (p->premultiplied.empty()) g_live_bytes += p->count() * 4;
        p->premultiplied.resize(p->count());
        std::transform(p->straight.begin(), p->straight.end(), p->premultiplied.begin(),
                       premultiply);
        drop_attached(r, p);
        r->flags = (r->flags & ~(MODIFIED | SHARED)) | PREMULTIPLIED;
        r->source = 1;
    }
    return p->premultiplied.data();
}

uint32_t* make_shared_bitmap(NodeId node) {
    Record* r = record_of(node);
    const uint32_t* data = get_converted_bitmap(node, true);
    // The straight buffer stays valid until something draws (DRAWN).
    r->flags = (r->flags & BITMAP_VALID) | SHARED | PREMULTIPLIED;
    return const_cast<uint32_t*>(data);
}

uint32_t* get_bitmap(NodeId node) {
    Record* r = record_of(node);
    Pixels* p = pixels_of(node);
    refresh_straight(r, p);
    return p->straight.data();
}

Lock lock_bitmap(NodeId node, bool write) {
    Lock lock{node, get_bitmap(node), bitmap_width(node) * 4};
    if (write) record_of(node)->flags |= MODIFIED;
    return lock;
}
uint32_t* lock_data(const Lock& lock, uint32_t* stride) {
    if (stride) *stride = lock.stride;
    return lock.data;
}
void unlock_bitmap(Lock& lock) { lock = Lock{}; }

uint32_t get_pixel(NodeId node, uint32_t index) { return get_bitmap(node)[index]; }
void set_pixel(NodeId node, uint32_t index, uint32_t pixel) {
    get_bitmap(node)[index] = pixel;
    record_of(node)->flags |= MODIFIED;
}

NodeId make_bitmap(uint32_t width, uint32_t height, const uint8_t* colour, int colour_length,
                   const uint8_t* rgb, size_t rgb_length, const uint8_t* alpha,
                   size_t alpha_length) {
    Pixels p = blank(width, height);
    size_t n = p.count();
    if (colour) {
        uint32_t a = colour_length > 3 ? 255u - colour[3] : 255u;
        std::fill(p.straight.begin(), p.straight.end(),
                  a << 24 | uint32_t(colour[0]) << 16 | uint32_t(colour[1]) << 8 | colour[2]);
    } else {
        size_t triples = rgb ? std::min(n, rgb_length / 3) : 0;
        for (size_t i = 0; i < triples; i++)
            p.straight[i] = 0xFF000000u | uint32_t(rgb[3 * i]) << 16 |
                            uint32_t(rgb[3 * i + 1]) << 8 | rgb[3 * i + 2];
        size_t alphas = alpha ? std::min(n, alpha_length) : 0;
        for (size_t i = 0; i < alphas; i++)
            p.straight[i] = (p.straight[i] & 0xFFFFFF) | uint32_t(255 - alpha[i]) << 24;
    }
    return new_record(std::move(p), BITMAP_VALID | MODIFIED);
}

NodeId bitmap_from_memory(uint32_t width, uint32_t height, uint32_t stride,
                          const uint8_t* pixels) {
    Pixels p = blank(width, height);
    if (!stride) stride = width * 4;
    for (uint32_t y = 0; y < height; y++)
        std::memcpy(p.straight.data() + size_t(y) * width, pixels + size_t(y) * stride,
                    size_t(width) * 4);
    return new_record(std::move(p), BITMAP_VALID);
}

NodeId flip_vertical(NodeId node) {
    uint32_t w = bitmap_width(node), h = bitmap_height(node);
    Pixels p = blank(w, h);
    const uint32_t* src = get_bitmap(node);
    for (uint32_t y = 0; y < h; y++)
        std::copy_n(src + size_t(h - 1 - y) * w, w, p.straight.data() + size_t(y) * w);
    return new_record(std::move(p), BITMAP_VALID);
}

NodeId resize(NodeId node, uint32_t width, uint32_t height) {
    uint64_t sw = bitmap_width(node), sh = bitmap_height(node);
    Pixels p = blank(width, height);
    const uint32_t* src = get_bitmap(node);
    std::vector<uint32_t> columns(width);
    for (uint64_t x = 0; x < width; x++) columns[x] = uint32_t(((2 * x + 1) * sw) / (2 * width));
    for (uint64_t y = 0; y < height; y++) {
        const uint32_t* row = src + ((2 * y + 1) * sh) / (2 * height) * sw;
        uint32_t* out = p.straight.data() + y * width;
        for (uint32_t x = 0; x < width; x++) out[x] = row[columns[x]];
    }
    return new_record(std::move(p), BITMAP_VALID);
}

NodeId crop(NodeId node, int64_t x, int64_t y, int64_t width, int64_t height) {
    int64_t w = bitmap_width(node), h = bitmap_height(node);
    int64_t x0 = std::clamp<int64_t>(x, 0, w), y0 = std::clamp<int64_t>(y, 0, h);
    int64_t x1 = std::clamp<int64_t>(x + width, x0, w), y1 = std::clamp<int64_t>(y + height, y0, h);
    if (x1 <= x0 || y1 <= y0) return 0;
    uint32_t cw = uint32_t(x1 - x0), ch = uint32_t(y1 - y0);
    Pixels p = blank(cw, ch);
    const uint32_t* src = get_bitmap(node);
    for (uint32_t row = 0; row < ch; row++)
        std::copy_n(src + (y0 + row) * w + x0, cw, p.straight.data() + size_t(row) * cw);
    return new_record(std::move(p), BITMAP_VALID | MODIFIED);
}

NodeId copy_bitmap(NodeId node) {
    Pixels p;
    p.width = bitmap_width(node);
    p.height = bitmap_height(node);
    const uint32_t* src = get_bitmap(node);
    p.straight.assign(src, src + p.count());
    return new_record(std::move(p), BITMAP_VALID | MODIFIED);
}

}  // namespace zun::image_codec
