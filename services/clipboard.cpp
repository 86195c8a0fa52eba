#include "services/clipboard.hpp"

#include <algorithm>
#include <cstring>
#include <map>

#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/series/image.hpp"
#include "datatypes/series/string.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"
#include "platform/controls/controls.hpp"
#include "platform/display.hpp"
#include "platform/platform.hpp"
#include "platform/window.hpp"
#include "services/clipboard_formats.hpp"
#include "services/image_codecs.hpp"
#include "services/image_record.hpp"
#include "services/os_info.hpp"

namespace zun::clipboard {

namespace ic = image_codec;

namespace {

constexpr const char* UTF8_TEXT = "UTF8_STRING";
constexpr const char* MIME_TEXT = "text/plain;charset=utf-8";
constexpr const char* LATIN1_TEXT = "STRING";
constexpr const char* URI_LIST = "text/uri-list";
constexpr const char* GNOME_FILES = "x-special/gnome-copied-files";
constexpr const char* IMAGE_TARGETS[] = {"image/png", "image/jpeg", "image/gif"};
constexpr const char* BMP_TARGETS[] = {"image/bmp", "image/x-bmp"};

// The DIB layout written, and the only one read as raw pixels.
constexpr uint32_t FILE_HEADER = 14, V5_HEADER = 124;
constexpr uint32_t MASK_R = 0x00FF0000, MASK_G = 0x0000FF00, MASK_B = 0x000000FF, MASK_A = 0xFF000000;

void put32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; i++) out[at + i] = char(v >> (8 * i));
}
uint32_t get32(std::string_view in, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t(uint8_t(in[at + i])) << (8 * i);
    return v;
}

// A BMP file: file header, BITMAPV5HEADER, top-down 32-bit pixels.
std::string dib_file(const uint32_t* pixels, uint32_t width, uint32_t height) {
    const size_t image = size_t(width) * height * 4;
    std::string out(FILE_HEADER + V5_HEADER + image, '\0');
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, uint32_t(out.size()));
    put32(out, 10, FILE_HEADER + V5_HEADER);
    const size_t h = FILE_HEADER;
    put32(out, h, V5_HEADER);
    put32(out, h + 4, width);
    put32(out, h + 8, uint32_t(-int32_t(height)));
    out[h + 12] = 1;   // planes
    out[h + 14] = 32;  // bits per pixel
    put32(out, h + 16, 3);  // BI_BITFIELDS
    put32(out, h + 20, uint32_t(image));
    put32(out, h + 40, MASK_R);
    put32(out, h + 44, MASK_G);
    put32(out, h + 48, MASK_B);
    put32(out, h + 52, MASK_A);
    put32(out, h + 56, 0x57696E20);  // LCS_WINDOWS_COLOR_SPACE
    put32(out, h + 108, 4);          // LCS_GM_IMAGES
    std::memcpy(out.data() + h + V5_HEADER, pixels, image);
    return out;
}

Offer text_offer(std::string text) {
    const Bytes utf8(std::move(text));
    const bool ascii = std::all_of(utf8.str().begin(), utf8.str().end(), [](char c) { return uint8_t(c) < 0x80; });
    const Bytes latin1 = ascii ? utf8 : Bytes(utf8_to_latin1(utf8.str()));
    return {{UTF8_TEXT, utf8}, {MIME_TEXT, utf8}, {"TEXT", utf8}, {LATIN1_TEXT, latin1}};
}

Offer text_offer(Cell* str) {
    // encoded straight into the target's bytes: a copied text may be megabytes
    const uint32_t unit = string::buffer_of(str)->unit();
    const uint8_t* head = string::head_pointer(str);
    const size_t n = size_t(std::max(string::length_from_head(str), 0));
    std::string text(unicode::utf8_size_of_units(head, head + n * unit, unit), '\0');
    unicode::write_utf8(str, reinterpret_cast<uint8_t*>(text.data()), int32_t(n), false);
    return text_offer(std::move(text));
}

Offer files_offer(const Cell* blk) {
    std::vector<std::string> paths;
    const std::string cwd = platform::get_current_dir();
    for (int32_t i = block::head_index(blk); i < block::length_from_start(blk); i++) {
        Cell item = *block::cell_at(blk, i);
        std::string path;
        if (!item.is(TYPE_FILE) || !file::to_os_c_string(&item, path))
            support::fire_error(ErrorId::script_invalid_arg, blk);
        // Other programs need whole paths.
        if (path.empty() || path[0] != '/') path = cwd + (cwd.ends_with('/') ? "" : "/") + path;
        paths.push_back(std::move(path));
    }
    return {{URI_LIST, paths_to_uri_list(paths)}, {GNOME_FILES, paths_to_gnome_copied(paths)}};
}

Offer image_offer(const Cell* img) {
    const uint32_t w = image::width_of(img), h = image::height_of(img);
    const NodeId record = img->data2;
    if (!record || !w || !h) return {};
    const uint32_t* pixels = ic::get_converted_bitmap(record, false);
    std::vector<uint8_t> png;
    if (ic::encode_pixels(pixels, w, h, ic::IMAGE_PNG, png) != ic::EncodeStatus::ok)
        support::fire_error(ErrorId::access_bad_media);
    pixels = ic::get_converted_bitmap(record, false);
    return {{"image/png", std::string(png.begin(), png.end())}, {"image/bmp", dib_file(pixels, w, h)}};
}

// ---- reading ----

Cell* push_false() {
    const Cell no = logic::make_value(false);
    return stack::push(&no);
}

// Up to the first NUL; invalid UTF-8 as U+FFFD. Valid text is used as it
// lies (a clipboard may hold megabytes).
std::string_view text_of(std::string_view bytes, bool latin1, std::string* converted) {
    bytes = bytes.substr(0, bytes.find('\0'));
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (latin1) *converted = latin1_to_utf8(bytes);
    else if (!unicode::is_valid_utf8(p, p + bytes.size())) *converted = os_info::valid_utf8(bytes.data(), bytes.size());
    else return bytes;
    return *converted;
}

Cell* push_text(std::string_view bytes, bool latin1) {
    std::string converted;
    const std::string_view text = text_of(bytes, latin1, &converted);
    // the string loader takes a leading byte order mark for a file's
    if (text.size() > UINT32_MAX / 4 || text.starts_with("\xEF\xBB\xBF"))
        return os_info::push_text(text.data(), text.size());
    return string::load_c_text(text.data(), uint32_t(text.size()), 0);
}

}  // namespace

// Each path through to-zun-file (a file! made directly when the library
// does not define it).
Cell* push_files(const std::vector<std::string>& paths) {
    Cell* blk = block::push_new(int32_t(paths.size()));
    const uint32_t symbol = symbol::make("to-zun-file");
    for (const std::string& path : paths) {
        stack::StackScope scope;
        const Cell* fn = context::find_word_value(symbol, context::global());
        Cell* text = os_info::push_text(path.data(), path.size());
        if (fn && fn->is(TYPE_FUNCTION)) {
            Cell* held = stack::push(fn);
            Cell* arg = stack::push(text);
            const Cell name = context::resolve_symbol(context::global(), symbol);
            if (Flow flow = interpreter::call_function(held, arg, 1, true, &name); flow != Flow::normal)
                interpreter::raise_pending(flow);
            block::append_cell(blk, stack::top());
        } else {
            text->set_type(TYPE_FILE);
            block::append_cell(blk, text);
        }
    }
    return blk;
}

namespace {

Cell* push_image(NodeId record) {
    Cell* cell = stack::push_cell();
    *cell = make_cell(TYPE_NONE);
    if (!record) support::fire_error(ErrorId::access_bad_media);
    return image::make_at(cell, record);
}

// The top-down 32-bit bit-field DIB we write is taken as it lies; a short one
// is refused like any corrupt image.
std::optional<Cell*> push_own_dib(std::string_view bmp) {
    if (bmp.size() < FILE_HEADER + V5_HEADER || bmp[0] != 'B' || bmp[1] != 'M') return std::nullopt;
    const size_t h = FILE_HEADER;
    const bool ours = get32(bmp, h) == V5_HEADER && uint8_t(bmp[h + 14]) == 32 && get32(bmp, h + 16) == 3 &&
                      get32(bmp, h + 40) == MASK_R && get32(bmp, h + 44) == MASK_G &&
                      get32(bmp, h + 48) == MASK_B && get32(bmp, h + 52) == MASK_A &&
                      int32_t(get32(bmp, h + 8)) < 0;
    if (!ours) return std::nullopt;
    const int64_t width = int32_t(get32(bmp, h + 4)), height = -int64_t(int32_t(get32(bmp, h + 8)));
    if (width <= 0) return stack::push(&shared_none_cell);
    if (!ic::size_ok(width, height) ||
        uint64_t(FILE_HEADER + V5_HEADER) + uint64_t(width) * uint64_t(height) * 4 > bmp.size())
        support::fire_error(ErrorId::access_bad_media);
    const auto* pixels = reinterpret_cast<const uint8_t*>(bmp.data() + FILE_HEADER + V5_HEADER);
    return push_image(ic::bitmap_from_memory(uint32_t(width), uint32_t(height), 0, pixels));
}

bool has(const std::vector<std::string>& list, std::string_view name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

// An owner that refuses TARGETS is asked for text directly.
Cell* push_text_asked(Backend& from) {
    std::string bytes;
    for (const char* target : {UTF8_TEXT, LATIN1_TEXT}) {
        Backend::Got got = from.fetch(target, &bytes);
        if (got == Backend::Got::failed) return push_false();
        if (got == Backend::Got::data) return push_text(bytes, target == LATIN1_TEXT);
    }
    return stack::push(&shared_none_cell);
}

}  // namespace

Offer offer_for(const Cell* value) {
    Cell v = *value;
    switch (v.type()) {
        case TYPE_NONE: return {};
        case TYPE_STRING: return text_offer(&v);
        case TYPE_BLOCK: return files_offer(&v);
        case TYPE_IMAGE: return image_offer(&v);
        default: support::fire_error(ErrorId::script_invalid_arg, &v);
    }
}

Cell* push_read(Backend& from) {
    std::vector<std::string> targets;
    switch (from.targets(&targets)) {
        case Backend::Got::failed: return push_false();
        case Backend::Got::refused: return push_text_asked(from);
        case Backend::Got::data: break;
    }
    std::string bytes;
    // Asks for a listed target: nullopt when the transfer failed, false when
    // the owner would not give it after all.
    auto fetch = [&](std::string_view target) -> std::optional<bool> {
        if (!has(targets, target)) return false;
        Backend::Got got = from.fetch(std::string(target), &bytes);
        if (got == Backend::Got::failed) return std::nullopt;
        return got == Backend::Got::data;
    };
    // File managers offer the names as text too: local files win.
    for (const char* target : {URI_LIST, GNOME_FILES}) {
        std::optional<bool> got = fetch(target);
        if (!got) return push_false();
        if (!*got) continue;
        auto paths = target == URI_LIST ? uri_list_to_paths(bytes) : gnome_copied_to_paths(bytes);
        if (paths) return push_files(*paths);
    }
    for (const char* target : {UTF8_TEXT, MIME_TEXT, LATIN1_TEXT}) {
        std::optional<bool> got = fetch(target);
        if (!got) return push_false();
        if (*got) return push_text(bytes, target == LATIN1_TEXT);
    }
    for (const char* target : IMAGE_TARGETS) {
        std::optional<bool> got = fetch(target);
        if (!got) return push_false();
        if (*got) return push_image(ic::load_binary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    for (const char* target : BMP_TARGETS) {
        std::optional<bool> got = fetch(target);
        if (!got) return push_false();
        if (!*got) continue;
        if (std::optional<Cell*> dib = push_own_dib(bytes)) return *dib;
        return push_image(ic::load_binary(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }
    return stack::push(&shared_none_cell);
}

// ---- the in-memory display's clipboard ----

namespace {

struct MemoryClipboard final : Backend {
    bool owned = false, refuse_targets = false;
    Offer offer;

    bool own(Offer o) override {
        owned = true;
        refuse_targets = false;
        offer = std::move(o);
        return true;
    }
    Got targets(std::vector<std::string>* out) override {
        if (!owned || refuse_targets) return Got::refused;
        *out = memory::targets();
        return Got::data;
    }
    Got fetch(const std::string& target, std::string* out) override {
        std::optional<std::string> data = memory::get(target);
        if (!data) return Got::refused;
        *out = std::move(*data);
        return Got::data;
    }
};

MemoryClipboard g_memory;

}  // namespace

namespace memory {
void put(Offer offer, bool refuse_targets) {
    g_memory.own(std::move(offer));
    g_memory.refuse_targets = refuse_targets;
}
void clear() {
    g_memory.owned = false;
    g_memory.offer.clear();
}
bool owned() { return g_memory.owned; }
std::vector<std::string> targets() {
    if (!g_memory.owned) return {};
    std::vector<std::string> out{"TARGETS", "TIMESTAMP", "MULTIPLE"};
    for (const Target& t : g_memory.offer) out.push_back(t.name);
    return out;
}
std::optional<std::string> get(std::string_view target) {
    if (!g_memory.owned) return std::nullopt;
    for (const Target& t : g_memory.offer)
        if (t.name == target) return t.bytes.str();
    return std::nullopt;
}
}  // namespace memory

// ---- the routines ----

Backend* current_backend() {
    if (!win::is_open() && !win::open_from_environment()) return nullptr;
    if (win::display()->name() == "memory") return &g_memory;
    return x11_backend();
}

Cell* push_read_clipboard() {
    Backend* b = current_backend();
    return b ? push_read(*b) : push_false();
}

bool write_clipboard(const Cell* value) {
    Offer offer = offer_for(value);  // bad values raise with or without a display
    Backend* b = current_backend();
    return b && b->own(std::move(offer));
}

bool read_text(std::string* out) {
    Backend* b = current_backend();
    if (!b) return false;
    std::vector<std::string> targets;
    const Backend::Got listed = b->targets(&targets);
    if (listed == Backend::Got::failed) return false;
    std::string bytes;
    for (const char* target : {UTF8_TEXT, MIME_TEXT, LATIN1_TEXT}) {
        // An owner that refuses TARGETS is asked for each directly.
        if (listed == Backend::Got::data && !has(targets, target)) continue;
        const Backend::Got got = b->fetch(target, &bytes);
        if (got == Backend::Got::failed) return false;
        if (got == Backend::Got::data) {
            std::string converted;
            *out = text_of(bytes, target == LATIN1_TEXT, &converted);
            return true;
        }
    }
    return false;
}

bool write_text(std::string_view utf8) {
    Backend* b = current_backend();
    return b && b->own(text_offer(std::string(utf8)));
}

void install_edit_clipboard() { win::set_edit_clipboard(read_text, write_text); }

}  // namespace zun::clipboard
