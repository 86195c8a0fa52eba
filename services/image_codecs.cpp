#include "services/image_codecs.hpp"

#include <algorithm>
#include <csetjmp>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <tiffio.h>

#include "core/console_out.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/series/binary.hpp"
#include "services/bmp.hpp"

namespace zun::image_codec {

namespace {

uint64_t g_pixel_limit = uint64_t(MAX_SIDE) * MAX_SIDE;

bool acceptable(uint64_t width, uint64_t height) {
    return width && height && size_ok(int64_t(width), int64_t(height)) &&
           width * height <= g_pixel_limit;
}

// A buffer the C libraries grow through malloc: nothing with a destructor
// may lie between their setjmp and the longjmp of their errors.
struct RawBuffer {
    uint8_t* data = nullptr;
    size_t size = 0, capacity = 0;
    bool append(const uint8_t* bytes, size_t n) {
        if (n > capacity - size) {
            size_t want = std::max(capacity * 2, size + n + 4096);
            auto* grown = static_cast<uint8_t*>(std::realloc(data, want));
            if (!grown) return false;
            data = grown;
            capacity = want;
        }
        std::memcpy(data + size, bytes, n);
        size += n;
        return true;
    }
};

struct Reader {
    const uint8_t* data;
    size_t size, pos;
};

// Room for the pixels; false when it cannot be had.
bool reserve(Pixels* p, uint32_t width, uint32_t height) {
    try {
        p->straight.resize(size_t(width) * height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    p->width = width;
    p->height = height;
    return true;
}

// ================================================================ PNG

void png_read_bytes(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->size - r->pos) png_error(png, "truncated");
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
}
void png_write_bytes(png_structp png, png_bytep bytes, png_size_t n) {
    if (!static_cast<RawBuffer*>(png_get_io_ptr(png))->append(bytes, n)) png_error(png, "memory");
}
void png_flush_nothing(png_structp) {}
void png_quiet(png_structp, png_const_charp) {}
[[noreturn]] void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Every colour type and depth to 8-bit BGRA, 16-bit channels scaled with
// rounding, tRNS to alpha, interlacing undone. The pixels go straight into
// the caller's buffer (declared outside this frame, so the library's longjmp
// skips no destructor).
bool png_decode(Reader* reader, Pixels* out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    png_bytep* volatile rows = nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        std::free(rows);
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        return false;
    }
    png_set_read_fn(png, reader, png_read_bytes);
    png_read_info(png, info);
    uint32_t w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    if (!acceptable(w, h)) png_error(png, "size");
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(w) * 4) png_error(png, "layout");
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * h));
    if (!rows || !reserve(out, w, h)) png_error(png, "memory");
    for (uint32_t y = 0; y < h; y++)
        rows[y] = reinterpret_cast<png_bytep>(out->straight.data() + size_t(y) * w);
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::free(rows);
    return true;
}

bool png_encode(const uint32_t* pixels, uint32_t w, uint32_t h, RawBuffer* out) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, out, png_write_bytes, png_flush_nothing);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (uint32_t y = 0; y < h; y++)
        png_write_row(png, reinterpret_cast<png_const_bytep>(pixels + size_t(y) * w));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// ================================================================ JPEG

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};
[[noreturn]] void jpeg_fail(j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); }
void jpeg_quiet(j_common_ptr, int) {}
void jpeg_quiet_output(j_common_ptr) {}
void jpeg_error_setup(JpegError* e) {
    jpeg_std_error(&e->manager);
    e->manager.error_exit = jpeg_fail;
    e->manager.emit_message = jpeg_quiet;
    e->manager.output_message = jpeg_quiet_output;
}

// A source over the bytes that fails at their end (the library's own memory
// source would pad a truncated file with an end marker and go on).
void source_start(j_decompress_ptr) {}
boolean source_fill(j_decompress_ptr c) {
    ERREXIT(c, JERR_INPUT_EOF);
    return FALSE;
}
void source_skip(j_decompress_ptr c, long n) {
    if (n <= 0) return;
    if (size_t(n) > c->src->bytes_in_buffer) ERREXIT(c, JERR_INPUT_EOF);
    c->src->next_input_byte += n;
    c->src->bytes_in_buffer -= size_t(n);
}
void source_end(j_decompress_ptr) {}

// Grey, YCbCr and RGB come out as BGRA; CMYK and YCCK as CMYK, turned into
// RGB here (inverted as Adobe writes it when its marker is there).
bool jpeg_decode(const uint8_t* bytes, size_t n, Pixels* out) {
    jpeg_decompress_struct c;
    JpegError e;
    jpeg_error_setup(&e);
    c.err = &e.manager;
    if (setjmp(e.jump)) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    jpeg_create_decompress(&c);
    jpeg_source_mgr source{};
    source.next_input_byte = bytes;
    source.bytes_in_buffer = n;
    source.init_source = source_start;
    source.fill_input_buffer = source_fill;
    source.skip_input_data = source_skip;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = source_end;
    c.src = &source;
    jpeg_read_header(&c, TRUE);
    uint32_t w = c.image_width, h = c.image_height;
    if (!acceptable(w, h)) ERREXIT(&c, JERR_IMAGE_TOO_BIG);
    bool cmyk = c.jpeg_color_space == JCS_CMYK || c.jpeg_color_space == JCS_YCCK;
    c.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    c.dct_method = JDCT_ISLOW;
    c.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&c);
    if (c.output_components != 4) ERREXIT(&c, JERR_BAD_IN_COLORSPACE);
    if (!reserve(out, w, h)) ERREXIT1(&c, JERR_OUT_OF_MEMORY, 0);
    uint32_t* pixels = out->straight.data();
    bool inverted = c.saw_Adobe_marker;
    while (c.output_scanline < h) {
        uint32_t y = c.output_scanline;
        JSAMPROW row = reinterpret_cast<JSAMPROW>(pixels + size_t(y) * w);
        jpeg_read_scanlines(&c, &row, 1);
        if (!cmyk) continue;
        for (uint32_t x = 0; x < w; x++) {
            const uint8_t* p = row + 4 * x;
            uint32_t k = inverted ? p[3] : 255 - p[3];
            auto ink = [&](uint8_t v) { return ((inverted ? v : 255 - v) * k + 127) / 255; };
            pixels[size_t(y) * w + x] = 0xFF000000u | ink(p[0]) << 16 | ink(p[1]) << 8 | ink(p[2]);
        }
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return true;
}

// Quality 90, 4:2:0, baseline; alpha dropped.
bool jpeg_encode(const uint32_t* pixels, uint32_t w, uint32_t h, unsigned char** out,
                 unsigned long* size) {
    jpeg_compress_struct c;
    JpegError e;
    jpeg_error_setup(&e);
    c.err = &e.manager;
    if (setjmp(e.jump)) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, out, size);
    c.image_width = w;
    c.image_height = h;
    c.input_components = 4;
    c.in_color_space = JCS_EXT_BGRX;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    c.dct_method = JDCT_ISLOW;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < h) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(pixels + size_t(c.next_scanline) * w));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

// ================================================================ GIF

int gif_read(GifFileType* g, GifByteType* out, int n) {
    auto* r = static_cast<Reader*>(g->UserData);
    size_t k = std::min(size_t(n), r->size - r->pos);
    std::memcpy(out, r->data + r->pos, k);
    r->pos += k;
    return int(k);
}
int gif_write(GifFileType* g, const GifByteType* bytes, int n) {
    return static_cast<RawBuffer*>(g->UserData)->append(bytes, size_t(n)) ? n : 0;
}

struct GifFile {
    GifFileType* file = nullptr;
    ~GifFile() {
        int error;
        if (file) DGifCloseFile(file, &error);
    }
};

// Skips the data blocks of an extension or of an image's codes.
bool gif_skip_extension(GifFileType* g, GifByteType* block) {
    while (block)
        if (DGifGetExtensionNext(g, &block) == GIF_ERROR) return false;
    return true;
}

// Frame 0 at its own size; the transparent index of its control block gives
// stored alpha 0. The rest of the file is walked so a truncated one fails.
std::optional<Pixels> gif_decode(const uint8_t* bytes, size_t n) {
    Reader reader{bytes, n, 0};
    int error = 0;
    GifFile gif;
    gif.file = DGifOpen(&reader, gif_read, &error);
    GifFileType* g = gif.file;
    if (!g) return std::nullopt;
    int transparent = -1;
    std::optional<Pixels> frame;
    std::vector<GifByteType> line;
    while (true) {
        GifRecordType type;
        if (DGifGetRecordType(g, &type) == GIF_ERROR) return std::nullopt;
        if (type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* block = nullptr;
            if (DGifGetExtension(g, &code, &block) == GIF_ERROR) return std::nullopt;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && !frame) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
            }
            if (!gif_skip_extension(g, block)) return std::nullopt;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) return std::nullopt;
        if (DGifGetImageDesc(g) == GIF_ERROR) return std::nullopt;
        const GifImageDesc& d = g->Image;
        if (frame) {
            int size;
            GifByteType* code = nullptr;
            if (DGifGetCode(g, &size, &code) == GIF_ERROR) return std::nullopt;
            while (code)
                if (DGifGetCodeNext(g, &code) == GIF_ERROR) return std::nullopt;
            continue;
        }
        if (d.Width <= 0 || d.Height <= 0 || !acceptable(uint32_t(d.Width), uint32_t(d.Height)))
            return std::nullopt;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
        if (!map) return std::nullopt;
        Pixels p;
        p.width = uint32_t(d.Width);
        p.height = uint32_t(d.Height);
        p.straight.resize(p.count());
        line.resize(p.width);
        static constexpr int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        int passes = d.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; pass++) {
            for (uint32_t y = d.Interlace ? start[pass] : 0; y < p.height; y += d.Interlace ? step[pass] : 1) {
                if (DGifGetLine(g, line.data(), d.Width) == GIF_ERROR) return std::nullopt;
                uint32_t* out = p.straight.data() + size_t(y) * p.width;
                for (uint32_t x = 0; x < p.width; x++) {
                    int i = line[x];
                    if (i == transparent) {
                        GifColorType c = i < map->ColorCount ? map->Colors[i] : GifColorType{0, 0, 0};
                        out[x] = uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
                    } else if (i < map->ColorCount) {
                        const GifColorType& c = map->Colors[i];
                        out[x] = 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
                    } else {
                        out[x] = 0xFF000000u;
                    }
                }
            }
        }
        frame = std::move(p);
    }
    return frame;
}

// A palette of at most 255 colours by median cut; index[i] is the palette
// entry of colours[i].
struct Cut {
    std::vector<uint32_t> palette;
    std::vector<uint8_t> index;
};
Cut median_cut(const std::vector<uint32_t>& colours, const std::vector<uint32_t>& counts, size_t limit) {
    struct Box {
        size_t first, last;  // into order
    };
    std::vector<uint32_t> order(colours.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = uint32_t(i);
    auto channel = [&](uint32_t i, int c) { return (colours[i] >> (16 - 8 * c)) & 255; };
    auto widest = [&](const Box& b, int* which) {
        uint32_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (size_t k = b.first; k < b.last; k++)
            for (int c = 0; c < 3; c++) {
                lo[c] = std::min(lo[c], channel(order[k], c));
                hi[c] = std::max(hi[c], channel(order[k], c));
            }
        int best = 0;
        for (int c = 1; c < 3; c++)
            if (hi[c] - lo[c] > hi[best] - lo[best]) best = c;
        *which = best;
        return hi[best] - lo[best];
    };
    std::vector<Box> boxes{{0, order.size()}};
    while (boxes.size() < limit) {
        int pick = -1, axis = 0;
        uint32_t best = 0;
        for (size_t b = 0; b < boxes.size(); b++) {
            if (boxes[b].last - boxes[b].first < 2) continue;
            int which;
            uint32_t range = widest(boxes[b], &which);
            if (range > best) best = range, pick = int(b), axis = which;
        }
        if (pick < 0) break;
        Box box = boxes[size_t(pick)];
        std::sort(order.begin() + long(box.first), order.begin() + long(box.last),
                  [&](uint32_t a, uint32_t b) { return channel(a, axis) < channel(b, axis); });
        uint64_t total = 0, half = 0;
        for (size_t k = box.first; k < box.last; k++) total += counts[order[k]];
        size_t split = box.first + 1;
        for (size_t k = box.first; k < box.last - 1; k++) {
            half += counts[order[k]];
            split = k + 1;
            if (half * 2 >= total) break;
        }
        boxes[size_t(pick)] = Box{box.first, split};
        boxes.push_back(Box{split, box.last});
    }
    Cut cut;
    cut.index.resize(colours.size());
    for (size_t b = 0; b < boxes.size(); b++) {
        uint64_t sum[3] = {}, weight = 0;
        for (size_t k = boxes[b].first; k < boxes[b].last; k++) {
            uint32_t i = order[k];
            for (int c = 0; c < 3; c++) sum[c] += uint64_t(channel(i, c)) * counts[i];
            weight += counts[i];
            cut.index[i] = uint8_t(b);
        }
        uint32_t rgb = 0;
        for (int c = 0; c < 3; c++) rgb = rgb << 8 | uint32_t((sum[c] + weight / 2) / weight);
        cut.palette.push_back(rgb);
    }
    return cut;
}

// GIF89a: exact with at most 256 colours (stored alpha below 128 shares one
// transparent index), else median cut to 255 plus the transparent index.
bool gif_encode(const uint32_t* pixels, uint32_t w, uint32_t h, RawBuffer* out) {
    size_t n = size_t(w) * h;
    std::unordered_map<uint32_t, uint32_t> seen;  // colour -> slot in colours
    std::vector<uint32_t> colours, counts;
    bool transparent = false;
    for (size_t i = 0; i < n; i++) {
        if ((pixels[i] >> 24) < 128) {
            transparent = true;
            continue;
        }
        uint32_t rgb = pixels[i] & 0xFFFFFF;
        auto [it, fresh] = seen.try_emplace(rgb, uint32_t(colours.size()));
        if (fresh) {
            colours.push_back(rgb);
            counts.push_back(0);
        }
        counts[it->second]++;
    }
    Cut cut;
    if (colours.size() + transparent <= 256) {
        cut.palette = colours;
        cut.index.resize(colours.size());
        for (size_t i = 0; i < colours.size(); i++) cut.index[i] = uint8_t(i);
    } else {
        cut = median_cut(colours, counts, 255);
    }
    int clear = transparent ? int(cut.palette.size()) : -1;
    size_t entries = cut.palette.size() + transparent;
    int bits = 1;
    while ((size_t(1) << bits) < entries) bits++;
    std::vector<GifColorType> table(size_t(1) << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < cut.palette.size(); i++)
        table[i] = GifColorType{GifByteType(cut.palette[i] >> 16), GifByteType(cut.palette[i] >> 8),
                                GifByteType(cut.palette[i])};
    int error = 0;
    GifFileType* g = EGifOpen(out, gif_write, &error);
    if (!g) return false;
    ColorMapObject* map = GifMakeMapObject(1 << bits, table.data());
    bool ok = map != nullptr;
    EGifSetGifVersion(g, true);
    ok = ok && EGifPutScreenDesc(g, int(w), int(h), bits, 0, map) == GIF_OK;
    if (ok && transparent) {
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, clear};
        GifByteType ext[4];
        EGifGCBToExtension(&gcb, ext);
        ok = EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, ext) == GIF_OK;
    }
    ok = ok && EGifPutImageDesc(g, 0, 0, int(w), int(h), false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(w);
    for (uint32_t y = 0; ok && y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            uint32_t px = pixels[size_t(y) * w + x];
            line[x] = (px >> 24) < 128 ? GifPixelType(clear) : cut.index[seen[px & 0xFFFFFF]];
        }
        ok = EGifPutLine(g, line.data(), int(w)) == GIF_OK;
    }
    if (map) GifFreeMapObject(map);
    if (EGifCloseFile(g, &error) == GIF_ERROR) ok = false;
    return ok;
}

// ================================================================ TIFF

struct TiffStream {
    const uint8_t* in = nullptr;
    std::vector<uint8_t>* out = nullptr;
    uint64_t size = 0, pos = 0;
};
tmsize_t tiff_read(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<TiffStream*>(h);
    const uint8_t* data = s->in ? s->in : s->out->data();
    uint64_t k = s->pos < s->size ? std::min<uint64_t>(uint64_t(n), s->size - s->pos) : 0;
    if (k) std::memcpy(buf, data + s->pos, k);
    s->pos += k;
    return tmsize_t(k);
}
tmsize_t tiff_write(thandle_t h, void* buf, tmsize_t n) {
    auto* s = static_cast<TiffStream*>(h);
    if (!s->out) return -1;
    try {
        if (s->pos + uint64_t(n) > s->out->size()) s->out->resize(s->pos + uint64_t(n));
    } catch (...) {
        return -1;
    }
    std::memcpy(s->out->data() + s->pos, buf, size_t(n));
    s->pos += uint64_t(n);
    s->size = std::max<uint64_t>(s->size, s->pos);
    return n;
}
toff_t tiff_seek(thandle_t h, toff_t off, int whence) {
    auto* s = static_cast<TiffStream*>(h);
    uint64_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->size : 0;
    s->pos = base + off;
    return s->pos;
}
int tiff_close(thandle_t) { return 0; }
toff_t tiff_size(thandle_t h) { return static_cast<TiffStream*>(h)->size; }
int tiff_map(thandle_t, void**, toff_t*) { return 0; }
void tiff_unmap(thandle_t, void*, toff_t) {}
int tiff_quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* tiff_open(TiffStream* s, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiff_quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiff_quiet, nullptr);
    TIFF* t = TIFFClientOpenExt("memory", mode, s, tiff_read, tiff_write, tiff_seek, tiff_close,
                                tiff_size, tiff_map, tiff_unmap, options);
    TIFFOpenOptionsFree(options);
    return t;
}

struct TiffFile {
    TIFF* t = nullptr;
    ~TiffFile() {
        if (t) TIFFClose(t);
    }
};

// Whether the first directory and the values it points at lie within the
// bytes: libtiff would pass over a cut-off tag value with a warning.
bool tiff_complete(const uint8_t* b, size_t n) {
    if (n < 8 || b[2] == 43 || b[3] == 43) return n >= 8;  // BigTIFF: left to libtiff
    bool little = b[0] == 'I';
    auto u16 = [&](size_t at) { return little ? uint32_t(b[at]) | uint32_t(b[at + 1]) << 8
                                              : uint32_t(b[at]) << 8 | b[at + 1]; };
    auto u32 = [&](size_t at) { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    uint64_t ifd = u32(4);
    if (ifd + 2 > n) return false;
    uint32_t entries = u16(size_t(ifd));
    if (ifd + 2 + 12ull * entries + 4 > n) return false;
    static constexpr uint8_t type_size[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4, 0, 0, 8, 8, 8};
    for (uint32_t k = 0; k < entries; k++) {
        size_t at = size_t(ifd) + 2 + 12 * k;
        uint32_t type = u16(at + 2);
        uint64_t bytes = uint64_t(u32(at + 4)) * (type < sizeof type_size ? type_size[type] : 0);
        if (bytes > 4 && uint64_t(u32(at + 8)) + bytes > n) return false;
    }
    return true;
}

// A palette entry of 16 bits (8 for old files whose entries all fit 8 bits),
// rounded to 8.
uint32_t palette_channel(uint16_t v, bool wide) { return wide ? (uint32_t(v) * 255 + 32767) / 65535 : v; }

// 8-bit RGB and RGBA strips and 1- to 8-bit palettes read as they are;
// everything else through the RGBA interface, whose premultiplied colour is
// turned back into straight.
std::optional<Pixels> tiff_decode(const uint8_t* bytes, size_t n) {
    if (!tiff_complete(bytes, n)) return std::nullopt;
    TiffStream s{bytes, nullptr, n, 0};
    TiffFile file;
    file.t = tiff_open(&s, "rm");
    TIFF* t = file.t;
    if (!t) return std::nullopt;
    uint32_t w = 0, h = 0;
    uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, extras = 0;
    uint16_t* extra_kinds = nullptr;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h))
        return std::nullopt;
    if (!acceptable(w, h)) return std::nullopt;
    TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extras, &extra_kinds);
    bool has_photometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
    Pixels p;
    p.width = w;
    p.height = h;
    p.straight.resize(p.count());
    bool associated = extras > 0 && extra_kinds && extra_kinds[0] == EXTRASAMPLE_ASSOCALPHA;
    uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (has_photometric && photometric == PHOTOMETRIC_PALETTE && bits <= 8 && samples == 1 &&
        !TIFFIsTiled(t) && TIFFGetField(t, TIFFTAG_COLORMAP, &red, &green, &blue)) {
        uint32_t entries = 1u << bits;
        bool wide = false;
        for (uint32_t i = 0; i < entries; i++) wide |= red[i] > 255 || green[i] > 255 || blue[i] > 255;
        uint32_t palette[256];
        for (uint32_t i = 0; i < entries; i++)
            palette[i] = 0xFF000000u | palette_channel(red[i], wide) << 16 |
                         palette_channel(green[i], wide) << 8 | palette_channel(blue[i], wide);
        tmsize_t line = TIFFScanlineSize(t);
        if (line < tmsize_t((uint64_t(w) * bits + 7) / 8)) return std::nullopt;
        std::vector<uint8_t> row(static_cast<size_t>(line));
        for (uint32_t y = 0; y < h; y++) {
            if (TIFFReadScanline(t, row.data(), y, 0) < 0) return std::nullopt;
            uint32_t* out = p.straight.data() + size_t(y) * w;
            for (uint32_t x = 0; x < w; x++) {
                uint64_t bit = uint64_t(x) * bits;
                uint32_t index = (row[bit / 8] >> (8 - bits - bit % 8)) & (entries - 1);
                out[x] = palette[index];
            }
        }
        return p;
    }
    if (has_photometric && photometric == PHOTOMETRIC_RGB && bits == 8 &&
        planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(t) && (samples == 3 || samples == 4)) {
        tmsize_t line = TIFFScanlineSize(t);
        if (line < tmsize_t(w) * samples) return std::nullopt;
        std::vector<uint8_t> row(static_cast<size_t>(line));
        for (uint32_t y = 0; y < h; y++) {
            if (TIFFReadScanline(t, row.data(), y, 0) < 0) return std::nullopt;
            uint32_t* out = p.straight.data() + size_t(y) * w;
            for (uint32_t x = 0; x < w; x++) {
                const uint8_t* s4 = row.data() + size_t(x) * samples;
                uint32_t a = samples == 4 ? s4[3] : 255;
                uint32_t px = a << 24 | uint32_t(s4[0]) << 16 | uint32_t(s4[1]) << 8 | s4[2];
                out[x] = associated ? unpremultiply(px) : px;
            }
        }
        return p;
    }
    if (!TIFFReadRGBAImageOriented(t, w, h, p.straight.data(), ORIENTATION_TOPLEFT, 1))
        return std::nullopt;
    bool alpha = extras > 0;
    for (uint32_t& v : p.straight) {  // A, B, G, R from the top byte down
        uint32_t px = (v & 0xFF00FF00u) | (v & 0xFF) << 16 | (v >> 16 & 0xFF);
        v = alpha ? unpremultiply(px) : px;
    }
    return p;
}

// 8-bit RGBA, unassociated alpha, LZW.
bool tiff_encode(const uint32_t* pixels, uint32_t w, uint32_t h, std::vector<uint8_t>& out) {
    TiffStream s{nullptr, &out, 0, 0};
    TiffFile file;
    file.t = tiff_open(&s, "w");
    TIFF* t = file.t;
    if (!t) return false;
    uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, h) &&
              TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4) &&
              TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    std::vector<uint8_t> row(size_t(w) * 4);
    for (uint32_t y = 0; ok && y < h; y++) {
        for (uint32_t x = 0; x < w; x++) {
            uint32_t px = pixels[size_t(y) * w + x];
            uint8_t* o = row.data() + 4 * size_t(x);
            o[0] = uint8_t(px >> 16), o[1] = uint8_t(px >> 8), o[2] = uint8_t(px), o[3] = uint8_t(px >> 24);
        }
        ok = TIFFWriteScanline(t, row.data(), y, 0) >= 0;
    }
    TIFFClose(file.t);
    file.t = nullptr;
    out.resize(size_t(s.size));
    return ok;
}

}  // namespace

const char* format_name(int format) {
    static const char* names[] = {"BMP", "PNG", "GIF", "JPEG", "TIFF"};
    return format >= 0 && format <= 4 ? names[format] : "";
}

int sniff(const uint8_t* b, size_t n) {
    auto starts = [&](std::initializer_list<uint8_t> s) {
        return n >= s.size() && std::equal(s.begin(), s.end(), b);
    };
    if (starts({0x89, 'P', 'N', 'G'})) return IMAGE_PNG;
    if (starts({0xFF, 0xD8, 0xFF})) return IMAGE_JPEG;
    if (starts({'B', 'M'})) return IMAGE_BMP;
    if (n >= 6 && starts({'G', 'I', 'F', '8'}) && (b[4] == '7' || b[4] == '9') && b[5] == 'a')
        return IMAGE_GIF;
    if (starts({'I', 'I', 0x2A, 0}) || starts({'M', 'M', 0, 0x2A})) return IMAGE_TIFF;
    return -1;
}

void set_pixel_limit(uint64_t pixels) { g_pixel_limit = pixels; }

std::optional<Pixels> decode_pixels(const uint8_t* bytes, size_t n) {
    Pixels p;
    bool ok = false;
    switch (sniff(bytes, n)) {
        case IMAGE_PNG: {
            Reader reader{bytes, n, 0};
            ok = png_decode(&reader, &p);
            break;
        }
        case IMAGE_JPEG: ok = jpeg_decode(bytes, n, &p); break;
        case IMAGE_GIF: return gif_decode(bytes, n);
        case IMAGE_TIFF: return tiff_decode(bytes, n);
        case IMAGE_BMP: return bmp::decode(bytes, n, g_pixel_limit);
        default: return std::nullopt;
    }
    if (!ok) return std::nullopt;
    return p;
}

NodeId decode_frame(const uint8_t* bytes, size_t n) {
    std::optional<Pixels> p = decode_pixels(bytes, n);
    if (!p) return 0;
    return new_record(std::move(*p), BITMAP_VALID);
}

NodeId load_binary(const uint8_t* bytes, size_t n) { return decode_frame(bytes, n); }

NodeId load_file(const std::string& path) {
    std::vector<uint8_t> data;
    {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return 0;
        uint8_t chunk[65536];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
        bool failed = std::ferror(f);
        std::fclose(f);
        if (failed) return 0;
    }
    return decode_frame(data.data(), data.size());
}

EncodeStatus encode_pixels(const uint32_t* pixels, uint32_t w, uint32_t h, int format,
                           std::vector<uint8_t>& out) {
    out.clear();
    RawBuffer raw;
    bool ok = false;
    switch (format) {
        case IMAGE_BMP:
            bmp::encode(pixels, w, h, out);
            return EncodeStatus::ok;
        case IMAGE_TIFF: ok = tiff_encode(pixels, w, h, out); return ok ? EncodeStatus::ok : EncodeStatus::failed;
        case IMAGE_PNG: ok = png_encode(pixels, w, h, &raw); break;
        case IMAGE_GIF: ok = gif_encode(pixels, w, h, &raw); break;
        case IMAGE_JPEG: {
            unsigned char* buffer = nullptr;
            unsigned long size = 0;
            ok = jpeg_encode(pixels, w, h, &buffer, &size);
            if (ok) out.assign(buffer, buffer + size);
            std::free(buffer);
            return ok ? EncodeStatus::ok : EncodeStatus::failed;
        }
        default: return EncodeStatus::no_encoder;
    }
    if (ok) out.assign(raw.data, raw.data + raw.size);
    std::free(raw.data);
    return ok ? EncodeStatus::ok : EncodeStatus::failed;
}

int encode_to_stream(Cell* out, NodeId record, int format) {
    if (format < 0 || format > 4) {
        console_out::write_cstring("Cannot find image encoder\n");
        return 0;
    }
    uint32_t w = record ? bitmap_width(record) : 0, h = record ? bitmap_height(record) : 0;
    std::vector<uint8_t> bytes;
    if (w && h) {
        EncodeStatus status = encode_pixels(get_converted_bitmap(record, false), w, h, format, bytes);
        if (status != EncodeStatus::ok) {
            Cell name = make_cell(TYPE_WORD, 0, symbol::make(format_name(format)), context::NO_INDEX);
            support::fire_error(ErrorId::access_no_codec, &name);
        }
    }
    binary::make_at(out, uint32_t(bytes.size()));
    if (!bytes.empty()) binary::append_bytes(out, bytes.data(), uint32_t(bytes.size()));
    return 1;
}

}  // namespace zun::image_codec
