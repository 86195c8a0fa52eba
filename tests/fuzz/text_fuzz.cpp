// libFuzzer target: random texts (non-BMP characters and line ends among
// them) and style blocks through text layouts, every metric at random
// positions and points, and drawing with backdrops. Style errors are the
// expected outcome of many inputs; caret points must lie in the layout and
// hit positions within 1 .. length + 1.
#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/case_folding.hpp"
#include "core/memory.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/registry.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "draw/text_layout.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

void start_runtime() {
    memory::init();
    cycles::init();
    stack::init();
    registry::register_all();
    unicode::init_case_tables();
    symbols::init();
    lexer::init();
}

struct Input {
    const uint8_t* p;
    size_t n;
    uint8_t byte() { return n ? (--n, *p++) : 0; }
};

const uint32_t k_chars[] = {'a', 'b', ' ', '\t', '\n', '\r', 0x2029, 0xE9, 0x4E2D, 0x1F600, 0x10FFFF, 0xD800,
                            0, 0x200F, 0x5D0, 'W', 0x301, 0xFEFF};
const char* const k_words[] = {"bold", "italic", "underline", "strike", "border", "backdrop", "other"};

[[noreturn]] void fail() { __builtin_trap(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint32_t runs = 0;
    if (runs++ % 2000 == 0) start_runtime();
    Input in{data, size};
    stack::push_try_frame(nullptr);
    try {
        // the text
        const int length = in.byte() % 64;
        Cell* text = string::make_empty_at(stack::push_cell(), 64);
        for (int i = 0; i < length; ++i) {
            const uint8_t b = in.byte();
            const uint32_t c = b < 128 ? k_chars[b % (sizeof k_chars / sizeof k_chars[0])] : 0x20 + b;
            string::append_char(string::buffer_of(text), c);
        }
        // the format
        draw::TextFormat format(*draw::default_format());
        draw::para_format(format, in.byte());
        if (in.byte() & 1) format.tab_stop = in.byte();
        if (in.byte() & 1) {
            const Cell spacing = integer_cell(in.byte() - 64);
            draw::line_spacing(format, &spacing);
        }
        const double w = in.byte() % 4 ? in.byte() : 0, h = in.byte() % 4 ? in.byte() : 0;
        const Cell text_cell = *text;
        std::unique_ptr<draw::TextLayout> layout = draw::create_text_layout(&text_cell, format, w, h);
        const int32_t n = layout->length();

        // the style block
        Cell* styles = block::push_new(16);
        const Cell styles_cell = *styles;
        for (int i = in.byte() % 24; i > 0; --i) {
            const uint8_t kind = in.byte();
            Cell v;
            switch (kind % 7) {
            case 0: v = pair::make_value(int8_t(in.byte()), int8_t(in.byte())); break;
            case 1: {
                const uint8_t bytes[4] = {in.byte(), in.byte(), in.byte(), in.byte()};
                tuple::init_cell(&v, bytes, 3 + (kind & 8 ? 1 : 0));
                break;
            }
            case 2: v = *word::make_global(k_words[in.byte() % 7]); break;
            case 3: v = integer_cell(int8_t(in.byte())); break;
            case 4: v = *string::load_c_text("DejaVu Serif", 12, 0); break;
            case 5: v = *word::make_global("bold"); v.set_type(TYPE_LIT_WORD); break;
            default: v = make_cell(TYPE_NONE); break;
            }
            block::append_cell(&styles_cell, &v);
        }
        if (block::length_from_head(&styles_cell) > 1) {
            stack::push_try_frame(nullptr);
            try {
                draw::text_box_styles(*layout, &styles_cell, false);
                stack::pop_frame();
            } catch (const Unwind&) {
                stack::adjust_after_error();
                stack::pop_frame();
            }
        }

        // every metric at random positions and points
        Cell out;
        draw::os_text_box_metrics(*layout, &out, 3, &out);
        const double width = point::coordinate(&out, 0), height = point::coordinate(&out, 1);
        if (!(width >= 0) || !(height >= 0)) fail();
        for (int i = 0; i < 8; ++i) {
            const Cell pos = integer_cell(int8_t(in.byte()));
            draw::os_text_box_metrics(*layout, &pos, 0, &out);
            const double x = point::coordinate(&out, 0), y = point::coordinate(&out, 1);
            if (y < 0 || !(x > -1e6 && x < 1e6)) fail();
            draw::os_text_box_metrics(*layout, &pos, 2, &out);
            if (!(out.as_double() >= 0)) fail();
            const Cell point = pair::make_value(int8_t(in.byte()) * 4, int8_t(in.byte()) * 4);
            for (int type : {1, 5}) {
                draw::os_text_box_metrics(*layout, &point, type, &out);
                if (out.as_int() < 1 || out.as_int() > n + 1) fail();
            }
        }
        draw::os_text_box_metrics(*layout, &out, 4, &out);
        if (out.as_int() < 1) fail();

        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 64, 32);
        cairo_t* cr = cairo_create(surface);
        draw::draw_text_backdrops(cr, 2, 3, *layout);
        draw::draw_layout(cr, 2, 3, *layout, draw::Rgba{0, 0, 0, 1});
        if (!layout->backdrops.empty()) fail();
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
        stack::pop_frame();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        stack::pop_frame();
    }
    stack::g_top = stack::g_bottom;
    return 0;
}
