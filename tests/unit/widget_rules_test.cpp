// The arithmetic behind control faces that scripts cannot watch directly:
// line breaks counted twice by a multi-line control, slider and progress
// positions, scroller ratios, flag words.
#include <gtest/gtest.h>

#include <cstring>

#include "core/support.hpp"
#include "datatypes/error.hpp"
#include "gui/widget_internal.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "interpreter/stack.hpp"
#include "run_code.hpp"
#include "startup/init.hpp"

namespace zun {
namespace {

class WidgetRules : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        startup::init_runtime();
        stack::push_try_frame(nullptr);
        run("face!: make object! [type: 'base offset: size: text: image: color: menu: data: none "
            "enabled?: visible?: true selected: flags: options: parent: pane: state: rate: edge: para: font: "
            "actors: extra: draw: none handler-1: handler-2: none]");
        run("kept: copy []");
    }

    // The value of the code, on the stack (good until the next allocation).
    static Cell* run(const char* code) { return test::run_code(code); }
    // A face kept in a block a word holds, so the collector keeps it.
    static Cell face(const char* spec) {
        std::string code = std::string("append kept f: make face! [") + spec + "] f";
        return *run(code.c_str());
    }
};

TEST_F(WidgetRules, LineBreaksCountTwiceInTheControl) {
    const Cell f = face("text: \"a^/bcdef^/\"");
    struct Case {
        int32_t text, control;
    };
    // "a" LF "bcdef" LF: the selection 2x5 is control positions 1 to 6
    for (const Case c : {Case{0, 0}, Case{1, 1}, Case{2, 3}, Case{5, 6}, Case{7, 8}, Case{8, 10}}) {
        EXPECT_EQ(gui::widget::adjust_line_breaks(&f, c.text, 1), c.control) << c.text;
        EXPECT_EQ(gui::widget::adjust_line_breaks(&f, c.control, -1), c.text) << c.control;
    }
    const Cell none = face("text: none");
    EXPECT_EQ(gui::widget::adjust_line_breaks(&none, 4, 1), 4);
}

TEST_F(WidgetRules, RangePositionsAndScrollerRatios) {
    struct Position {
        const char* spec;
        int32_t position;
    };
    for (const Position c : {Position{"size: 20x200 data: 50%", 100}, Position{"size: 100x20 data: 0.339", 33},
                             Position{"size: 100x20 data: 1", 0}, Position{"size: 100x20 data: none", 0},
                             Position{"size: (100.0, 30.5) data: 10%", 10}}) {
        const Cell f = face(c.spec);
        EXPECT_EQ(gui::widget::range_position(&f), c.position) << c.spec;
    }
    struct Ratio {
        const char* value;
        double ratio;
    };
    for (const Ratio c : {Ratio{"25%", 0.25}, Ratio{"1.5", 1.0}, Ratio{"-0.2", 0.0}, Ratio{"1", -1},
                          Ratio{"none", -1}, Ratio{"\"x\"", -1}}) {
        const Cell v = *run(c.value);
        EXPECT_DOUBLE_EQ(gui::widget::scroller_ratio(&v), c.ratio) << c.value;
    }
}

TEST_F(WidgetRules, FlagWords) {
    const Cell a = face("flags: [tri-state password]");
    EXPECT_EQ(gui::widget::flag_bits(&a), 0xA0000u);
    const Cell b = face("flags: 'no-border");
    EXPECT_EQ(gui::widget::flag_bits(&b), 0x80000000u);
    const Cell c = face("flags: [focusable bogus]");
    bool raised = false;
    try {
        gui::widget::flag_bits(&c);
    } catch (const Unwind&) {
        raised = true;
        stack::adjust_after_error();
    }
    EXPECT_TRUE(raised);
}

}  // namespace
}  // namespace zun
