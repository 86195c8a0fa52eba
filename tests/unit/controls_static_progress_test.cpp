#include "platform/controls/static.hpp"
#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

using StaticTest = ControlsTest;
using ProgressTest = ControlsTest;

TEST_F(StaticTest, TransparentToTheMouseUnlessNotify) {
    HWND under = make(WC_BUTTON, "under", BS_PUSHBUTTON, 10, 10, 100, 30, 1);
    HWND text = make(WC_STATIC, "label", SS_LEFT, 10, 10, 100, 30, 2);
    SetWindowPos(text, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    click(50, 25);  // the label lets the press through to the button
    EXPECT_EQ(codes(), std::vector<UINT>{BN_CLICKED});
    EXPECT_NE(GetFocus(), text);
    SetWindowLong(text, GWL_STYLE, GetWindowLong(text, GWL_STYLE) | static_cast<int32_t>(SS_NOTIFY));
    g_notes.clear();
    m_display->advance(1000);
    click(50, 25);  // SS_NOTIFY: it takes the mouse and tells a click and a double click
    click(50, 25);
    EXPECT_EQ(g_notes, (std::vector<Note>{{WM_COMMAND, STN_CLICKED, 2, text}, {WM_COMMAND, STN_DBLCLK, 2, text}}));
    EXPECT_NE(GetFocus(), text);  // a static never takes the focus
    (void)under;
}

TEST_F(StaticTest, TextMessagesAndLayout) {
    HWND s = make(WC_STATIC, "one two three four five six seven", SS_LEFT, 10, 10, 80, 60);
    EXPECT_EQ(SendMessage(s, WM_GETTEXTLENGTH, 0, 0), 33);
    EXPECT_GT(ink({10, 30, 90, 50}), 5);  // word-wrapped onto further lines
    SendMessage(s, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("WW"));
    EXPECT_EQ(GetWindowText(s), "WW");
    EXPECT_EQ(ink({10, 30, 90, 70}), 0);
    // Alignment: ink only near the side asked for.
    struct Case {
        uint32_t style;
        RECT inked, clear;
    };
    const Case cases[] = {
        {SS_LEFT, {100, 100, 140, 120}, {260, 100, 300, 120}},
        {SS_RIGHT, {260, 100, 300, 120}, {100, 100, 140, 120}},
        {SS_CENTER, {180, 100, 220, 120}, {100, 100, 140, 120}},
    };
    for (const Case& c : cases) {
        HWND t = make(WC_STATIC, "WWW", c.style, 100, 100, 200, 20);
        EXPECT_GT(ink(c.inked), 5) << c.style;
        EXPECT_EQ(ink(c.clear), 0) << c.style;
        DestroyWindow(t);
    }
    // SS_CENTERIMAGE: one line, centred vertically.
    HWND v = make(WC_STATIC, "WWW", SS_CENTERIMAGE, 100, 150, 200, 100);
    EXPECT_EQ(ink({100, 150, 300, 185}), 0);
    EXPECT_GT(ink({100, 185, 300, 215}), 5);
    DestroyWindow(v);
    // SS_ENDELLIPSIS: one line, cut.
    make(WC_STATIC, "a long text that will not fit here at all", SS_ENDELLIPSIS, 100, 150, 80, 60);
    EXPECT_EQ(ink({100, 172, 180, 210}), 0);
    EXPECT_GT(ink({100, 150, 180, 170}), 5);
}

TEST_F(StaticTest, ParentColoursAndDisabledGrey) {
    HWND s = make(WC_STATIC, "WWWW", SS_LEFT, 10, 10, 100, 20, 4);
    g_parent_handler = [s](HWND, UINT m, WPARAM w, LPARAM l, LRESULT* r) {
        if (m != WM_CTLCOLORSTATIC) return false;
        EXPECT_EQ(static_cast<HWND>(l), s);
        auto dc = reinterpret_cast<HDC>(w);
        SetTextColor(dc, 0x0000FF);  // red text
        SetBkMode(dc, TRANSPARENT);
        SetDCBrushColor(dc, 0x00FF00);  // on green
        *r = static_cast<LRESULT>(GetDCBrush());
        return true;
    };
    InvalidateRect(s, nullptr, true);
    EXPECT_EQ(pixel(105, 25), 0x00FF00u);
    int reddest = 0;
    pump();
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 60; ++x) {
            uint32_t p = m_display->pixel(m_top, x, y) & 0xFFFFFF;
            reddest = std::max(reddest, static_cast<int>((p >> 16) & 0xFF) - static_cast<int>((p >> 8) & 0xFF));
        }
    EXPECT_GT(reddest, 200);
    g_parent_handler = nullptr;
    EnableWindow(s, false);
    int grey = darkest({10, 10, 110, 30});
    EXPECT_GT(grey, 250);
    EXPECT_LT(grey, 500);
}

TEST_F(ProgressTest, RangeAndPosition) {
    HWND p = make(PROGRESS_CLASS, "", 0, 10, 10, 202, 20);
    struct Step {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        LRESULT answer;
        int32_t pos_after;
    };
    const Step steps[] = {
        {PBM_GETPOS, 0, 0, 0, 0},
        {PBM_SETPOS, 50, 0, 0, 50},
        {PBM_SETPOS, 150, 0, 50, 100},  // clamped to the range
        {PBM_SETRANGE, 0, 200 << 16, 100 << 16, 100},
        {PBM_DELTAPOS, 30, 0, 100, 130},
        {PBM_SETSTEP, 80, 0, 10, 130},
        {PBM_STEPIT, 0, 0, 130, 10},  // past the end it wraps
        {PBM_SETRANGE32, 20, 40, 200 << 16, 20},
        {PBM_GETRANGE, 1, 0, 20, 20},
        {PBM_GETRANGE, 0, 0, 40, 20},
        {PBM_SETPOS, static_cast<WPARAM>(-5), 0, 20, 20},
    };
    for (const Step& s : steps) {
        EXPECT_EQ(SendMessage(p, s.msg, s.wp, s.lp), s.answer) << s.msg << " " << s.wp;
        EXPECT_EQ(SendMessage(p, PBM_GETPOS, 0, 0), s.pos_after) << s.msg << " " << s.wp;
    }
    PBRANGE r{};
    SendMessage(p, PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(r.iLow, 20);
    EXPECT_EQ(r.iHigh, 40);
}

// The fill ends within 1 px of its fraction, horizontally and from the bottom.
TEST_F(ProgressTest, FillFollowsTheFraction) {
    auto is_fill = [](uint32_t p) { return ((p >> 8) & 0xFF) > 150 && ((p >> 16) & 0xFF) < 100; };
    HWND h = make(PROGRESS_CLASS, "", 0, 10, 10, 202, 20);
    for (int pos : {0, 25, 50, 100}) {
        SendMessage(h, PBM_SETPOS, pos, 0);
        pump();
        int end = 11;  // first pixel inside the frame
        while (end < 211 && is_fill(m_display->pixel(m_top, end, 20) & 0xFFFFFF)) ++end;
        EXPECT_NEAR(end - 11, pos * 2, 1) << pos;
    }
    HWND v = make(PROGRESS_CLASS, "", PBS_VERTICAL, 250, 10, 20, 202);
    SendMessage(v, PBM_SETRANGE, 0, 200 << 16);
    SendMessage(v, PBM_SETPOS, 100, 0);
    pump();
    int top = 210;  // last pixel inside the frame
    while (top > 10 && is_fill(m_display->pixel(m_top, 260, top) & 0xFFFFFF)) --top;
    EXPECT_NEAR(210 - top, 100, 1);
    EXPECT_FALSE(is_fill(m_display->pixel(m_top, 260, 50) & 0xFFFFFF));
}

}  // namespace
