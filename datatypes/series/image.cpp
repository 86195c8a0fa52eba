#include "datatypes/series/image.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/collector.hpp"
#include "core/memory.hpp"
#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/binary.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/file.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "gui/backend.hpp"
#include "interpreter/actions.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"
#include "services/image_codecs.hpp"

namespace zun::image {

namespace ic = image_codec;

namespace {

using stack::StackScope;

// ---------------------------------------------------------------- errors

[[noreturn]] void fire(ErrorId id, const Cell* arg1 = nullptr, const Cell* arg2 = nullptr) {
    Cell a = arg1 ? *arg1 : Cell{}, b = arg2 ? *arg2 : Cell{};
    support::fire_error(id, arg1 ? &a : nullptr, arg2 ? &b : nullptr);
}
[[noreturn]] void fire_invalid_arg(const Cell* value) { fire(ErrorId::script_invalid_arg, value); }
[[noreturn]] void fire_not_done() { support::fire_error(ErrorId::internal_not_done); }
[[noreturn]] void fire_bad_media() { support::fire_error(ErrorId::access_bad_media); }
[[noreturn]] void fire_out_of_range(int64_t width, int64_t height) {
    Cell size = pair::make_value(int32_t(std::clamp<int64_t>(width, INT32_MIN, INT32_MAX)),
                                 int32_t(std::clamp<int64_t>(height, INT32_MIN, INT32_MAX)));
    fire(ErrorId::script_out_of_range, &size);
}

// ---------------------------------------------------------------- pixels

NodeId record_of(const Cell* img) { return img->data2; }
const uint32_t* pixels(const Cell* img) { return ic::get_bitmap(record_of(img)); }

int64_t head_of(const Cell* img) { return std::max<int64_t>(int32_t(img->data1), 0); }

uint32_t tuple_pixel(const Cell* value) {
    uint8_t b[tuple::MAX_LENGTH];
    tuple::get_bytes(value, b);
    uint32_t a = tuple::length_of(value) > 3 ? 255u - b[3] : 255u;
    return a << 24 | uint32_t(b[0]) << 16 | uint32_t(b[1]) << 8 | b[2];
}

Cell pixel_tuple(uint32_t px) {
    Cell t = make_cell(TYPE_TUPLE);
    tuple::init_rgba(&t, uint8_t(px >> 16), uint8_t(px >> 8), uint8_t(px), int32_t(255 - (px >> 24)));
    return t;
}

// Tells the owner (when one watches the image) before and after a change.
bool tell(const Cell* img, words::Name word, const Cell* value, int64_t index, int64_t part) {
    return ownership::check_owner(img, words::get(word), value, int32_t(index), int32_t(part)) != 0;
}

// ---------------------------------------------------------------- making

// The size of a make spec: negative sides count as 0; too large ones raise
// out-of-range before anything is allocated.
void checked_size(const Cell* pair, uint32_t* width, uint32_t* height) {
    int64_t w = std::max<int64_t>(pair::x_of(pair), 0), h = std::max<int64_t>(pair::y_of(pair), 0);
    if (!ic::size_ok(w, h)) fire_out_of_range(pair::x_of(pair), pair::y_of(pair));
    *width = uint32_t(w);
    *height = uint32_t(h);
}

Cell* make_sized(Cell* result, const Cell* size, const Cell* rgb, const Cell* colour,
                 const Cell* alpha) {
    uint32_t w, h;
    checked_size(size, &w, &h);
    if (!w || !h) return make_at(result, 0, w, h);
    uint8_t colour_bytes[tuple::MAX_LENGTH];
    if (colour) tuple::get_bytes(colour, colour_bytes);
    auto bytes = [](const Cell* bin, size_t* n) -> const uint8_t* {
        if (!bin) return nullptr;
        Cell copy = *bin;
        *n = size_t(std::max(binary::length_from_head(&copy), 0));
        return binary::head_pointer(&copy);
    };
    size_t rgb_n = 0, alpha_n = 0;
    // The bytes are read before the record is allocated.
    const uint8_t* rgb_p = bytes(rgb, &rgb_n);
    const uint8_t* alpha_p = bytes(alpha, &alpha_n);
    NodeId node = ic::make_bitmap(w, h, colour ? colour_bytes : nullptr,
                                  colour ? tuple::length_of(colour) : 0, rgb_p, rgb_n, alpha_p, alpha_n);
    return make_at(result, node);
}

Cell* copy_whole(Cell* result, const Cell* img) {
    if (!record_of(img)) return make_at(result, 0, width_of(img), height_of(img));
    return make_at(result, ic::copy_bitmap(record_of(img)));
}

// ---------------------------------------------------------------- molding

// The molded text is built whole and appended once: the pixels are C++
// memory, so nothing moves under the walk.
struct Text {
    void put(const char* s) { m_text += s; }
    void line(int level) {
        m_text += '\n';
        for (int i = 0; i < level; i++) m_text += "    ";
    }
    void hex(uint32_t byte) {
        m_text += binary::hex_digit(byte >> 4);
        m_text += binary::hex_digit(byte);
    }
    std::string m_text;
};

int mold_image(Cell* img, Cell* buffer, bool only, bool flat, bool part_given, int limit, int level) {
    Text t;
    if (!only) t.put("make image! [");
    t.put(std::to_string(width_of(img)).c_str());
    t.put("x");
    t.put(std::to_string(height_of(img)).c_str());
    if (!record_of(img)) {
        t.put(" #{}");
    } else {
        const uint32_t* px = pixels(img);
        int64_t total = count_of(img), head = std::min(head_of(img), total), n = total - head;
        t.put(" #{");
        int budget = limit - int(t.m_text.size());
        if (!flat && 4 * n >= 31) t.line(level);
        int64_t covered = 0;
        bool translucent = false;
        for (int64_t i = 0; i < n; i++) {
            uint32_t p = px[head + i];
            t.hex(p >> 16 & 255), t.hex(p >> 8 & 255), t.hex(p & 255);
            covered++;
            translucent |= (p >> 24) < 255;
            if (!flat && covered % 10 == 0) t.line(level);
            budget -= 6;
            if (part_given && budget <= 0) break;
        }
        if (!flat && 4 * covered > 30 && covered % 10 != 0) t.line(level - 1);
        t.put("}");
        if (translucent && !(part_given && budget <= 0)) {
            t.put(" #{");
            t.line(level);
            for (int64_t i = 0; i < covered; i++) {
                t.hex(255 - (px[head + i] >> 24));
                if ((i + 1) % 10 == 0) t.line(level);
            }
            t.line(level - 1);
            t.put("}");
        }
    }
    if (!only) t.put("]");
    string::append_bytes(buffer, reinterpret_cast<const uint8_t*>(t.m_text.data()),
                         uint32_t(t.m_text.size()));
    return limit - int(std::min<size_t>(t.m_text.size(), INT32_MAX));
}

// ---------------------------------------------------------------- rectangles

struct Rect {
    int64_t x, y, w, h;
};

// The rectangle of a size from (x, y): negative sizes reach left and up.
Rect spanned(int64_t x, int64_t y, int64_t sx, int64_t sy) {
    Rect r{x, y, sx, sy};
    if (sx < 0) r.x = x + sx, r.w = -sx;
    if (sy < 0) r.y = y + sy, r.h = -sy;
    return r;
}

Cell* copy_rect(Cell* result, const Cell* img, Rect r) {
    int64_t w = width_of(img), h = height_of(img);
    int64_t x0 = std::clamp<int64_t>(r.x, 0, w), y0 = std::clamp<int64_t>(r.y, 0, h);
    int64_t x1 = std::clamp<int64_t>(r.x + r.w, x0, w), y1 = std::clamp<int64_t>(r.y + r.h, y0, h);
    if (x1 <= x0 || y1 <= y0 || !record_of(img))
        return make_at(result, 0, uint32_t(x1 - x0), uint32_t(y1 - y0));
    if (x0 == 0 && y0 == 0 && x1 == w && y1 == h) return copy_whole(result, img);
    return make_at(result, ic::crop(record_of(img), x0, y0, x1 - x0, y1 - y0));
}

// ---------------------------------------------------------------- actions

Cell* to(Cell*, Cell* spec, int) {
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    if (spec->is(TYPE_IMAGE)) return copy_whole(result, spec);
    if (spec->is(TYPE_OBJECT)) {
        // Only once the GUI engine defines face? can an object be a face.
        const Cell* face_q = context::find_word_value(symbol::make("face?"), context::global());
        if (face_q && (face_q->is(TYPE_FUNCTION) || face_q->is(TYPE_ROUTINE) || face_q->is(TYPE_NATIVE))) {
            Cell fn = *face_q, arg = *spec;
            Flow flow = interpreter::call_function(&fn, &arg, 1, true);
            if (flow != Flow::normal) raise_flow(flow);
            bool face = !logic::false_value(stack::top());
            stack::pop(1);
            if (face && gui::face_to_image(spec, result)) return result;
            if (face) fire_not_done();
        }
    }
    support::fire_bad_to(TYPE_IMAGE, spec);
}

Cell* make(Cell* proto, Cell* spec, int type) {
    if (spec->is(TYPE_PAIR)) {
        Cell* result = stack::push_cell();
        *result = make_cell(TYPE_NONE);
        return make_sized(result, spec, nullptr, nullptr, nullptr);
    }
    if (!spec->is(TYPE_BLOCK)) return to(proto, spec, type);
    int32_t n = block::length_from_head(spec);
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    if (n <= 0) {
        if (proto->is(TYPE_IMAGE)) return copy_whole(result, proto);
        fire_invalid_arg(spec);
    }
    // size, colour or RGB bytes, alpha bytes: nothing after them
    if (n > 3) fire_invalid_arg(block::cell_at(spec, int32_t(spec->data1) + 3));
    Cell items[3];
    for (int32_t i = 0; i < std::min(n, 3); i++) items[i] = *block::cell_at(spec, int32_t(spec->data1) + i);
    if (!items[0].is(TYPE_PAIR)) fire_invalid_arg(&items[0]);
    const Cell *rgb = nullptr, *colour = nullptr, *alpha = nullptr;
    if (n >= 2) {
        if (items[1].is(TYPE_BINARY)) rgb = &items[1];
        else if (items[1].is(TYPE_TUPLE)) colour = &items[1];
        else fire_invalid_arg(&items[1]);
    }
    if (n >= 3) {
        if (!items[2].is(TYPE_BINARY)) fire_invalid_arg(&items[2]);
        alpha = &items[2];
    }
    GcRoot guard(items, 3);
    return make_sized(result, &items[0], rgb, colour, alpha);
}

int form(Cell* value, Cell* buffer, Cell* arg, int part) {
    return mold_image(value, buffer, false, false, arg != nullptr, part, 0);
}
int mold(Cell* value, Cell* buffer, bool only, bool, bool flat, Cell* arg, int part, int indent) {
    return mold_image(value, buffer, only, flat, arg != nullptr, part, indent + 1);
}

Cell* pick(Cell* series, int index, Cell* index_cell) {
    static Cell g_picked;
    Cell integer = integer_cell(index);
    const Cell* position = index_cell && index_cell->is(TYPE_PAIR) ? index_cell : &integer;
    bool outside;
    int64_t i = pixel_index(series, position, 1, &outside);
    if (outside) g_picked = make_cell(TYPE_NONE);
    else g_picked = *pixel_at(series, i), stack::pop(1);
    return &g_picked;
}

Cell* poke(Cell* series, int index, Cell* value, Cell* index_cell) {
    Cell integer = integer_cell(index);
    const Cell* position = index_cell && index_cell->is(TYPE_PAIR) ? index_cell : &integer;
    bool outside;
    int64_t i = pixel_index(series, position, 1, &outside);
    if (outside) fire(ErrorId::script_out_of_range, position);
    if (!value->is(TYPE_TUPLE)) fire_invalid_arg(value);
    bool told = tell(series, words::poke, value, i, 1);
    if (i >= count_of(series) || !record_of(series)) fire(ErrorId::script_out_of_range, position);
    ic::set_pixel(record_of(series), uint32_t(i), tuple_pixel(value));
    if (told) tell(series, words::poked, value, i, 1);
    return value;
}

Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int, bool,
                bool, bool, bool) {
    static Cell g_result;
    if (element->is(TYPE_INTEGER) || element->is(TYPE_PAIR)) {
        if (value) return poke(parent, element->is(TYPE_INTEGER) ? element->as_int() : 0, value, element);
        g_result = *pick(parent, element->is(TYPE_INTEGER) ? element->as_int() : 0, element);
        return &g_result;
    }
    const Cell* where = path ? path : &shared_none_cell;
    if (!element->is(TYPE_WORD)) fire(ErrorId::script_invalid_path, where, element);
    auto named = [&](const char* name) {
        return symbol::compare_names(element->data2, symbol::make(name), COMP_EQUAL) == 0;
    };
    int mode = named("alpha") ? 0 : named("rgb") ? 1 : named("argb") ? 2 : -1;
    if (named("size") && !value) {
        g_result = pair::make_value(int32_t(width_of(parent)), int32_t(height_of(parent)));
        return &g_result;
    }
    if (mode < 0) fire(ErrorId::script_invalid_path, where, element);
    if (value) {
        set_data(parent, value, mode);
        return value;
    }
    g_result = *extract_data(parent, mode);
    stack::pop(1);
    return &g_result;
}

int compare(Cell* a, Cell* b, int op) {
    if (!b->is(TYPE_IMAGE)) return COMPARE_UNCOMPARABLE;
    bool same = a->data2 == b->data2 && a->data1 == b->data1 && a->data3 == b->data3;
    if (op == COMP_SAME) return same ? 0 : -1;
    switch (op) {
        case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_STRICT_EQUAL: case COMP_SORT:
        case COMP_CASE_SORT: case COMP_FIND: break;
        default: return COMPARE_UNCOMPARABLE;
    }
    if (same) return 0;
    int64_t na = count_of(a), nb = count_of(b);
    if (na != nb) return na < nb ? -1 : 1;
    // Equal counts, other shapes: the width decides before the pixels.
    if (width_of(a) != width_of(b)) return width_of(a) < width_of(b) ? -1 : 1;
    if (!na) return 0;
    int c = std::memcmp(pixels(a), pixels(b), size_t(na) * 4);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void set_head(Cell* img, int64_t to) { img->data1 = uint32_t(std::clamp<int64_t>(to, 0, count_of(img))); }

void at() {
    Cell* img = stack::argument(0);
    bool outside;
    set_head(img, pixel_index(img, stack::argument(1), 1, &outside));
}
void skip() {
    Cell* img = stack::argument(0);
    bool outside;
    set_head(img, pixel_index(img, stack::argument(1), 0, &outside));
}
void next() {
    Cell* img = stack::argument(0);
    if (head_of(img) + 1 <= count_of(img)) img->data1 = uint32_t(head_of(img) + 1);
}
void tail() { stack::argument(0)->data1 = uint32_t(count_of(stack::argument(0))); }
void tail_q() {
    Cell* img = stack::argument(0);
    *img = logic::make_value(head_of(img) >= count_of(img));
}
int length_q(Cell* img) { return int(count_of(img)); }

Cell* change(Cell* series, Cell* value, int part, bool, int dup) {
    if (part >= 0 || dup > 1) fire_not_done();
    if (value->is(TYPE_TUPLE)) {
        poke(series, 1, value, nullptr);
        return series;
    }
    if (!value->is(TYPE_IMAGE)) support::fire_invalid_type(value->type());
    int64_t head = head_of(series), from = head_of(value);
    int64_t n = std::min(count_of(series) - head, count_of(value) - from);
    if (n <= 0 || !record_of(series) || !record_of(value)) return series;
    bool told = tell(series, words::change, value, head, n);
    n = std::min(count_of(series) - head, count_of(value) - from);
    if (n > 0) {
        const uint32_t* src = pixels(value);
        std::vector<uint32_t> copy(src + from, src + from + n);  // the same image may be both
        ic::Lock lock = ic::lock_bitmap(record_of(series), true);
        std::copy(copy.begin(), copy.end(), lock.data + head);
        ic::unlock_bitmap(lock);
    }
    if (told) tell(series, words::changed, value, head, n);
    return series;
}

Cell* copy(Cell* value, Cell* result, Cell* part, bool, Cell*) {
    int64_t w = width_of(value), head = head_of(value);
    int64_t x = w ? head % w : 0, y = w ? head / w : 0;
    if (!part) {
        if (head == 0) return copy_whole(result, value);
        return copy_rect(result, value, Rect{x, y, w - x, int64_t(height_of(value)) - y});
    }
    if (part->is(TYPE_PAIR)) return copy_rect(result, value, spanned(x, y, pair::x_of(part), pair::y_of(part)));
    if (part->is(TYPE_IMAGE) && part->data2 == value->data2 && part->data3 == value->data3) {
        int64_t other = head_of(part);
        return copy_rect(result, value, spanned(x, y, (w ? other % w : 0) - x, (w ? other / w : 0) - y));
    }
    if (part->is(TYPE_INTEGER)) fire_not_done();
    Cell word = *refinements::get(refinements::part);
    word.set_type(TYPE_WORD);
    fire(ErrorId::script_invalid_refine_arg, &word, part);
}

void mark_image(const Cell* cell) {
    if (!cell->data2 || !collector::mark_series(cell->data2)) return;
    sweep_node(cell->data2);
}

}  // namespace

// ================================================================ operations

Cell* make_at(Cell* cell, NodeId record, uint32_t width, uint32_t height) {
    if (record) {
        width = ic::bitmap_width(record);
        height = ic::bitmap_height(record);
    }
    *cell = make_cell(TYPE_IMAGE, 0, record, width | height << 16);
    return cell;
}

Cell* push_resized(const Cell* img, int32_t width, int32_t height) {
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    if (width <= 0 || height <= 0 || !record_of(img))
        return make_at(result, 0, uint32_t(std::max(width, 0)), uint32_t(std::max(height, 0)));
    if (!ic::size_ok(width, height)) fire_out_of_range(width, height);
    return make_at(result, ic::resize(record_of(img), uint32_t(width), uint32_t(height)));
}

bool encoded_image_q(const Cell* bin) {
    Cell copy = *bin;
    int32_t n = std::max(binary::length_from_head(&copy), 0);
    return ic::sniff(binary::head_pointer(&copy), size_t(n)) >= 0;
}

Cell* load_binary(const Cell* bin) {
    Cell copy = *bin;
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    if (!encoded_image_q(&copy)) return result;
    int32_t n = std::max(binary::length_from_head(&copy), 0);
    NodeId node = ic::load_binary(binary::head_pointer(&copy), size_t(n));
    if (!node) fire_bad_media();
    return make_at(result, node);
}

Cell* load_file(Cell* target, const Cell* file) {
    Cell f = *file;
    std::string path;
    NodeId node = f.is(TYPE_FILE) && file::to_os_c_string(&f, path) ? ic::load_file(path) : 0;
    if (!node) fire(ErrorId::access_cannot_open, &f);
    return make_at(target, node);
}

Cell* decode(const Cell* value) {
    if (value->is(TYPE_BINARY)) return load_binary(value);
    Cell v = *value;
    if (v.is(TYPE_URL)) {
        Cell made;
        {
            StackScope scope;
            Cell* data = stack::push(&v);
            Cell read = *actions::read_direct(data, nullptr, nullptr, true, false, false, nullptr);
            if (!read.is(TYPE_BINARY)) fire(ErrorId::access_cannot_open, &v);
            Cell* bin = stack::push(&read);
            made = *load_binary(bin);
            if (made.is(TYPE_NONE)) fire(ErrorId::access_cannot_open, &v);
        }
        return stack::push(&made);
    }
    Cell* result = stack::push_cell();
    *result = make_cell(TYPE_NONE);
    return load_file(result, &v);
}

Cell* encode(const Cell* img, const Cell* target, int format) {
    if (!width_of(img) || !height_of(img)) fire_bad_media();
    Cell image_cell = *img, where = target ? *target : shared_none_cell;
    GcRoot guard_image(&image_cell), guard_where(&where);
    Cell* bin = stack::push_cell();
    *bin = make_cell(TYPE_NONE);
    if (!ic::encode_to_stream(bin, record_of(&image_cell), format)) {
        *bin = shared_none_cell;
        return bin;
    }
    if (where.is(TYPE_NONE)) return bin;
    if (where.is(TYPE_FILE) || where.is(TYPE_URL)) {
        Cell* dest = stack::push(&where);
        actions::write_direct(dest, bin, true, false, false, false, nullptr, nullptr, nullptr, nullptr);
        *bin = where;
        stack::pop(1);
        return bin;
    }
    fire_invalid_arg(&where);
}

Cell* extract_data(const Cell* img, int mode) {
    Cell image_cell = *img;
    GcRoot guard(&image_cell);
    int64_t n = count_of(img);
    static constexpr int per_pixel[] = {1, 3, 4};
    Cell* bin = stack::push_cell();
    *bin = make_cell(TYPE_NONE);
    binary::make_at(bin, uint32_t(n * per_pixel[mode]));
    if (!n || !record_of(&image_cell)) return bin;
    std::vector<uint8_t> bytes(size_t(n * per_pixel[mode]));
    const uint32_t* px = pixels(&image_cell);
    for (int64_t i = 0; i < n; i++) {
        uint32_t p = px[i];
        switch (mode) {
            case 0: bytes[size_t(i)] = uint8_t(255 - (p >> 24)); break;
            case 1:
                bytes[size_t(3 * i)] = uint8_t(p >> 16);
                bytes[size_t(3 * i + 1)] = uint8_t(p >> 8);
                bytes[size_t(3 * i + 2)] = uint8_t(p);
                break;
            default: std::memcpy(&bytes[size_t(4 * i)], &p, 4);
        }
    }
    binary::append_bytes(bin, bytes.data(), uint32_t(bytes.size()));
    return bin;
}

void set_data(Cell* img, const Cell* value, int mode) {
    Cell v = *value;
    int64_t n = count_of(img);
    if (!v.is(TYPE_BINARY) && !v.is(TYPE_TUPLE) && !v.is(TYPE_INTEGER)) fire_invalid_arg(&v);
    if (!record_of(img) || !n) return;
    ic::Lock lock = ic::lock_bitmap(record_of(img), true);
    uint32_t* px = lock.data;
    if (v.is(TYPE_BINARY)) {
        int64_t len = std::max(binary::length_from_head(&v), 0);
        const uint8_t* b = binary::head_pointer(&v);
        switch (mode) {
            case 2: std::memcpy(px, b, size_t(std::min(4 * n, len))); break;
            case 1:
                for (int64_t i = 0; i < std::min(n, len / 3); i++)
                    px[i] = (px[i] & 0xFF000000u) | uint32_t(b[3 * i]) << 16 |
                            uint32_t(b[3 * i + 1]) << 8 | b[3 * i + 2];
                break;
            default:
                for (int64_t i = 0; i < std::min(n, len); i++)
                    px[i] = (px[i] & 0xFFFFFF) | uint32_t(255 - b[i]) << 24;
        }
    } else {
        uint32_t c;
        if (v.is(TYPE_INTEGER)) {
            c = uint32_t(v.as_int());
        } else {
            uint8_t t[tuple::MAX_LENGTH];
            tuple::get_bytes(&v, t);
            c = uint32_t(t[0]) | uint32_t(t[1]) << 8 | uint32_t(t[2]) << 16 |
                uint32_t(tuple::length_of(&v) > 3 ? t[3] : 0) << 24;
        }
        uint32_t rgb = (c & 255) << 16 | (c >> 8 & 255) << 8 | (c >> 16 & 255);
        uint32_t alpha = (255 - (mode == 0 ? c & 255 : c >> 24)) << 24;
        for (int64_t i = 0; i < n; i++) {
            switch (mode) {
                case 2: px[i] = alpha | rgb; break;
                case 1: px[i] = (px[i] & 0xFF000000u) | rgb; break;
                default: px[i] = (px[i] & 0xFFFFFF) | alpha;
            }
        }
    }
    ic::unlock_bitmap(lock);
    tell(img, words::changed, &v, 0, n);
}

Cell* pixel_at(const Cell* img, int64_t index) {
    Cell* result = stack::push_cell();
    if (index >= count_of(img) || index < 0 || !record_of(img)) *result = make_cell(TYPE_NONE);
    else *result = pixel_tuple(ic::get_pixel(record_of(img), uint32_t(index)));
    return result;
}

int64_t pixel_index(const Cell* img, const Cell* position, int base, bool* out_of_range) {
    int64_t w = width_of(img), h = height_of(img), total = w * h, e;
    bool outside = false;
    if (position->is(TYPE_PAIR)) {
        int64_t x = pair::x_of(position), y = pair::y_of(position);
        e = base == 1 && y > 0 ? x + w * (y - 1) : x + w * y;
        if (base == 1) outside = x < 1 || x > w || y < 1 || y > h;
        else outside = x < 0 || x >= w || y < 0 || y >= h;
    } else if (position->is(TYPE_INTEGER)) {
        e = position->as_int();
    } else {
        fire_invalid_arg(position);
    }
    int64_t number = e + head_of(img) - base + (base == 1 && e <= 0 ? 1 : 0);
    if (base == 1 && e == 0) outside = true;
    if (number < 0 || number >= total) outside = true;
    *out_of_range = outside;
    return std::clamp<int64_t>(number, 0, total);
}

void foreach_step(const Cell* words, const Cell* img, int32_t count) {
    int64_t head = head_of(img);
    for (int32_t i = 0; i < count; i++) {
        Cell word = *block::cell_at(words, int32_t(words->data1) + i);
        Cell value = head + i < count_of(img) && record_of(img)
                         ? pixel_tuple(ic::get_pixel(record_of(img), uint32_t(head + i)))
                         : shared_none_cell;
        word::set_value(&word, &value);
    }
}

void sweep_node(NodeId record) { ic::sweep_attached_bitmap(record); }
void release_node(NodeId record) { ic::release_bitmaps(record); }

void register_type() {
    collector::set_cell_marker(TYPE_IMAGE, mark_image);
    static const SlotTable slots = make_slots(
        /*  1 */ own<A_MAKE>(make), E, E, own<A_TO>(to), own<A_FORM>(form), own<A_MOLD>(mold),
        /*  7 */ own<A_EVAL_PATH>(eval_path), E, own<A_COMPARE>(compare), E, E, E, E, E,
        /* 15 */ E, E, E, E, E, E, E, E,
        /* 23 */ E, E, E, own<A_AT>(at), inherit<A_BACK>(), own<A_CHANGE>(change), E, own<A_COPY>(copy),
        /* 31 */ E, inherit<A_HEAD>(), inherit<A_HEAD_Q>(), inherit<A_INDEX_Q>(), E,
        /* 36 */ own<A_LENGTH_Q>(length_q), E, own<A_NEXT>(next), own<A_PICK>(pick), own<A_POKE>(poke), E, E, E,
        /* 44 */ E, E, own<A_SKIP>(skip), E, own<A_TAIL>(tail), own<A_TAIL_Q>(tail_q), E, E,
        /* 52 */ E, E, E, inherit<A_MODIFY>(), E, E, E, E,
        /* 60 */ E, E, E);
    registry::register_type(TYPE_IMAGE, TYPE_SERIES, "image!", slots);
}

}  // namespace zun::image
