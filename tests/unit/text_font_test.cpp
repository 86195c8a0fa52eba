// Font records and para style bits: pixel heights at a DPI, qualities, names,
// weights, shared and copied fonts, the para table, UTF-16 index helpers.
#include <gtest/gtest.h>

#include <cstring>

#include "core/collector.hpp"
#include "datatypes/series/block.hpp"
#include "draw/text_layout.hpp"
#include "gui/font.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "run_code.hpp"
#include "startup/init.hpp"

namespace zun {
namespace {

class TextFont : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("FONTCONFIG_FILE", ZUN_TEXT_FONTS_CONF, 1);
        startup::init_runtime();
        stack::push_try_frame(nullptr);
        run("font!: make object! [name: size: style: weight: none angle: 0 color: none anti-alias?: false "
            "shadow: state: parent: none handler-1: handler-2: none]");
        run("para!: make object! [origin: padding: scroll: align: v-align: none wrap?: false parent: none "
            "handler: none]");
        run("face!: make object! [type: 'base offset: size: text: image: color: menu: data: none "
            "enabled?: visible?: true selected: flags: options: parent: pane: state: rate: edge: para: font: "
            "actors: extra: draw: none handler-1: handler-2: none]");
    }
    void TearDown() override { gui::set_screen_dpi(96); }

    // The value of the code, on the stack (good until the next allocation);
    // the tests keep what they hold in words, so the collector keeps it.
    static Cell* run(const char* code) { return test::run_code(code); }
};

TEST_F(TextFont, PixelHeightsAtTheScreenDpi) {
    gui::set_screen_dpi(144);
    const Cell font = *run("f: make font! [size: 10]");
    gui::FontRecord* record = gui::make_font_scaled(&font);
    EXPECT_EQ(record->scaled_height, -20);
    EXPECT_EQ(record->height, -13);
    EXPECT_EQ(gui::font_handle(&font), record);
}

TEST_F(TextFont, QualityNameWeightAndAngle) {
    struct Case {
        const char* spec;
        int quality, weight, orientation;
        const char* family;
    } cases[] = {
        {"anti-alias?: 'ClearType", 5, 400, 0, "sans-serif"},
        {"anti-alias?: true", 4, 400, 0, "sans-serif"},
        {"anti-alias?: false style: 'bold", 0, 700, 0, "sans-serif"},
        {"style: [bold italic] weight: 1200 angle: 90", 0, 999, 900, "sans-serif"},
        {"weight: 300 style: 'bold", 0, 300, 0, "sans-serif"},
        {"name: \"0123456789012345678901234567890123456789\"", 0, 400, 0, "0123456789012345678901234567890"},
    };
    for (const Case& c : cases) {
        std::string code = std::string("q: make font! [") + c.spec + "]";
        const Cell font = *run(code.c_str());
        gui::FontRecord* r = gui::make_font(nullptr, &font, false);
        EXPECT_EQ(r->quality, c.quality) << c.spec;
        EXPECT_EQ(int(pango_font_description_get_weight(r->desc)), c.weight) << c.spec;
        EXPECT_EQ(r->orientation, c.orientation) << c.spec;
        EXPECT_STREQ(pango_font_description_get_family(r->desc), c.family) << c.spec;
    }
}

TEST_F(TextFont, FacesShareOneRecordAndCopiesMakeTheirOwn) {
    run("f: make font! [size: 11] a: make face! [] b: make face! []");
    const Cell font = *run("f");
    const Cell a = *run("a"), b = *run("b");
    gui::FontRecord* one = gui::make_font(&a, &font, true);
    EXPECT_EQ(gui::make_font(&b, &font, true), one);
    EXPECT_EQ(gui::make_font(&a, &font, true), one);
    EXPECT_EQ(run("length? f/parent")->as_int(), 2);
    const Cell copy = *run("g: make f []");
    EXPECT_EQ(gui::font_state(&copy), nullptr);  // the copied block is not trusted
    gui::FontRecord* own = gui::make_font(nullptr, &copy, false);
    EXPECT_NE(own, one);
    EXPECT_EQ(gui::font_handle(&font), one);  // the first font keeps its record
    gui::update_font(&font, 1);
    EXPECT_NE(gui::font_handle(&font), nullptr);
    gui::font_release_state(&font);
    EXPECT_TRUE(run("f/state")->is(TYPE_NONE));
}

TEST_F(TextFont, ParaStyleFlagsByType) {
    struct Case {
        const char* type;
        const char* para;
        uint32_t bits;
    } cases[] = {
        {"base", "none", 0},
        {"base", "make para! []", 1 | 4},
        {"rich-text", "make para! []", 0},
        {"base", "make para! [align: 'right v-align: 'bottom wrap?: true]", 2 | 8 | 0x10},
        {"rich-text", "make para! [align: 'center v-align: 'middle wrap?: none]", 1 | 4 | 0x10},
        {"button", "make para! []", 0x300 | 0xC00},
        {"check", "make para! [align: 'left v-align: 'top]", 0x100 | 0x400},
        {"radio", "make para! []", 0x100 | 0xC00},
        {"toggle", "make para! [align: 'right v-align: 'bottom]", 0x200 | 0x800},
        {"field", "make para! [align: 'center v-align: 'middle]", 1 | 0x200 | 0xC0},
        {"area", "make para! [wrap?: true]", 0},
        {"text", "make para! [align: 'right]", 2 | 0x4000},
        {"slider", "make para! [align: 'right]", 0},
    };
    for (const Case& c : cases) {
        std::string code = std::string("t: '") + c.type;
        const Cell type = *run(code.c_str());
        const Cell para = *run((std::string("p: ") + c.para).c_str());
        EXPECT_EQ(gui::para_style_flags(&type, &para), c.bits) << c.type << " " << c.para;
    }
}

TEST_F(TextFont, Utf16IndexAdjust) {
    const Cell s = *run("s: \"a\U0001F600b\U0001F600c\"");
    EXPECT_EQ(gui::utf16_index_adjust(&s, 0, 5, 1), 7);
    EXPECT_EQ(gui::utf16_index_adjust(&s, 2, 1, 1), 1);
    EXPECT_EQ(gui::utf16_index_adjust(&s, 0, 3, -1), 2);
    EXPECT_EQ(gui::utf16_index_adjust(&s, 0, 7, -1), 5);
    const Cell plain = *run("s2: \"abc\"");
    EXPECT_EQ(gui::utf16_index_adjust(&plain, 1, 2, 1), 2);
    EXPECT_EQ(gui::utf16_index_adjust(&plain, 0, 2, -1), 2);
    const char16_t text[] = u"ab\U0001F600";
    EXPECT_EQ(gui::utf16_length(text), 4);
}

TEST_F(TextFont, LayoutBoxes) {
    const Cell text = *run("s3: \"abc\"");
    draw::FormatRef format = draw::default_format();
    EXPECT_LT(draw::create_text_layout(&text, *format, 0, 0)->box_w, 0);
    EXPECT_EQ(draw::create_text_layout(&text, *format, 10, 0)->box_w, 10.5);
    EXPECT_EQ(draw::create_text_layout(&text, *format, 0, 7)->box_h, 7.5);
    // the same format object for a font, until its records are made again
    const Cell font = *run("f13: make font! [size: 13]");
    draw::FormatRef first = draw::text_format(&font);
    EXPECT_EQ(draw::text_format(&font), first);
    EXPECT_NEAR(first->size_px, 13 * 96 / 72.0, 1e-9);
}

TEST_F(TextFont, AFaceLayoutIsReleasedOnceWithItsFace) {
    Cell* top = stack::g_top;
    run("rt!: make face! [type: 'rich-text tabs: none line-spacing: 'default handles: none]");
    run("r: make rt! [text: \"abc\" size: 50x20]");
    const size_t before = draw::live_resources();
    const Cell face = *run("r");
    draw::os_text_box_layout(&face, false);
    EXPECT_EQ(draw::live_resources(), before + 1);
    draw::os_text_box_layout(&face, false);  // the entry takes the new layout, the old one goes
    EXPECT_EQ(draw::live_resources(), before + 1);
    run("r: none");
    stack::g_top = top;
    collector::recycle();
    EXPECT_EQ(draw::live_resources(), before);
    collector::recycle();
    EXPECT_EQ(draw::live_resources(), before);
}

}  // namespace
}  // namespace zun
