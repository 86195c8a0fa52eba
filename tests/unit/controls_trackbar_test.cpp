#include "platform/controls/calendar.hpp"
#include "platform/controls/tabcontrol.hpp"
#include "platform/controls/trackbar.hpp"
#include "platform/controls/static.hpp"
#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

using TrackbarTest = ControlsTest;

LRESULT pos_of(HWND t) { return SendMessage(t, TBM_GETPOS, 0, 0); }

RECT thumb_of(HWND t) {
    RECT r{};
    SendMessage(t, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&r));
    return r;
}

TEST_F(TrackbarTest, RangeAndPositionMessages) {
    HWND t = make(TRACKBAR_CLASS, "", 0, 10, 10, 200, 30);
    struct Step {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        int32_t pos, min, max, page;
    };
    const Step steps[] = {
        {TBM_GETPOS, 0, 0, 0, 0, 100, 20},
        {TBM_SETPOS, 1, 60, 60, 0, 100, 20},
        {TBM_SETPOS, 1, 500, 100, 0, 100, 20},              // clamped to the range
        {TBM_SETRANGE, 1, (50 << 16) | 10, 50, 10, 50, 8},  // the page a fifth of the range
        {TBM_SETPOS, 0, -4, 10, 10, 50, 8},
        {TBM_SETRANGEMAX, 0, 200, 10, 10, 200, 38},
        {TBM_SETRANGEMIN, 1, 30, 30, 30, 200, 34},          // the position follows the minimum
        {TBM_SETPAGESIZE, 0, 7, 30, 30, 200, 7},
        {TBM_SETRANGE, 1, 100 << 16, 30, 0, 100, 7},        // a page once set stays
        {TBM_SETRANGE, 1, 40000 << 16, 30, 0, 40000, 7},    // the words are unsigned
    };
    for (const Step& s : steps) {
        SendMessage(t, s.msg, s.wp, s.lp);
        EXPECT_EQ(pos_of(t), s.pos) << s.msg << " " << s.lp;
        EXPECT_EQ(SendMessage(t, TBM_GETRANGEMIN, 0, 0), s.min) << s.msg;
        EXPECT_EQ(SendMessage(t, TBM_GETRANGEMAX, 0, 0), s.max) << s.msg;
        EXPECT_EQ(SendMessage(t, TBM_GETPAGESIZE, 0, 0), s.page) << s.msg;
    }
    EXPECT_TRUE(g_notes.empty());  // the messages tell the parent nothing
}

// Each key's code, the position after it, and TB_ENDTRACK when the key goes up.
TEST_F(TrackbarTest, KeysStepAndEndTrack) {
    constexpr UINT k_none = 99;
    struct Case {
        uint32_t style;
        const char* key;
        int32_t from;
        UINT code;  // TB_ENDTRACK alone: nothing moved; k_none: not even that
        int32_t to;
    };
    const Case cases[] = {
        {0, "Right", 50, TB_LINEDOWN, 51},
        {0, "Left", 50, TB_LINEUP, 49},
        {0, "Down", 50, TB_LINEDOWN, 51},
        {0, "Up", 50, TB_LINEUP, 49},
        {0, "Page_Down", 50, TB_PAGEDOWN, 70},
        {0, "Page_Up", 50, TB_PAGEUP, 30},
        {0, "Page_Up", 10, TB_PAGEUP, 0},
        {0, "Home", 50, TB_TOP, 0},
        {0, "End", 50, TB_BOTTOM, 100},
        {0, "End", 100, TB_ENDTRACK, 100},  // at the end: only the end of the action
        {0, "Left", 0, TB_ENDTRACK, 0},
        {0, "a", 50, k_none, 50},                // not a trackbar key: nothing at all
        {TBS_VERT | TBS_DOWNISLEFT, "Down", 50, TB_LINEUP, 49},
        {TBS_VERT | TBS_DOWNISLEFT, "Up", 50, TB_LINEDOWN, 51},
        {TBS_VERT | TBS_DOWNISLEFT, "Right", 50, TB_LINEDOWN, 51},
        {TBS_VERT, "Down", 50, TB_LINEDOWN, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.style));
        bool vert = c.style & TBS_VERT;
        HWND t = make(TRACKBAR_CLASS, "", c.style, 10, 10, vert ? 30 : 200, vert ? 200 : 30, 4);
        SendMessage(t, TBM_SETPOS, 1, c.from);
        SetFocus(t);
        g_notes.clear();
        m_display->key(c.key);
        pump();
        std::vector<Note> want;
        UINT msg = vert ? WM_VSCROLL : WM_HSCROLL;
        if (c.code != TB_ENDTRACK && c.code != k_none) want.push_back({msg, c.code, 0, t});
        if (c.code != k_none) want.push_back({msg, TB_ENDTRACK, 0, t});
        EXPECT_EQ(g_notes, want);
        EXPECT_EQ(pos_of(t), c.to);
        DestroyWindow(t);
    }
}

TEST_F(TrackbarTest, ThumbDragTracksThenEnds) {
    HWND t = make(TRACKBAR_CLASS, "", 0, 10, 10, 200, 30, 6);
    RECT th = thumb_of(t);
    int grab_x = 10 + (th.left + th.right) / 2, y = 10 + (th.top + th.bottom) / 2;
    m_display->move(grab_x, y);
    m_display->press();
    m_display->move(grab_x + 50, y);
    m_display->move(grab_x + 100, y);
    pump();
    EXPECT_EQ(GetFocus(), t);  // a left press takes the focus
    EXPECT_EQ(GetCapture(), t);
    LRESULT mid = pos_of(t);  // the trackbar moves itself while dragged
    EXPECT_NEAR(mid, 100 * 100 / 183, 1);
    m_display->move(grab_x + 400, y);  // past the end: the maximum
    m_display->release();
    pump();
    EXPECT_EQ(pos_of(t), 100);
    EXPECT_EQ(GetCapture(), 0u);
    ASSERT_EQ(g_notes.size(), 5u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g_notes[i].msg, WM_HSCROLL);
        EXPECT_EQ(g_notes[i].code, TB_THUMBTRACK);
        EXPECT_EQ(g_notes[i].from, t);
    }
    EXPECT_EQ(g_notes[1].id, static_cast<uint32_t>(mid));
    EXPECT_EQ(g_notes[2].id, 100u);
    EXPECT_EQ(g_notes[3], (Note{WM_HSCROLL, TB_THUMBPOSITION, 100, t}));
    EXPECT_EQ(g_notes[4], (Note{WM_HSCROLL, TB_ENDTRACK, 0, t}));
    // A press on the thumb without moving: the position stays, the track ends.
    g_notes.clear();
    m_display->advance(1000);
    th = thumb_of(t);
    click(10 + (th.left + th.right) / 2, y);
    EXPECT_EQ(g_notes, (std::vector<Note>{{WM_HSCROLL, TB_THUMBPOSITION, 100, t}, {WM_HSCROLL, TB_ENDTRACK, 0, t}}));
}

// A held press in the channel pages toward the pointer, repeating until the
// thumb reaches it; a vertical bar counts from its top.
TEST_F(TrackbarTest, ChannelPagesWithRepeat) {
    struct Case {
        uint32_t style;
        int x, y;  // the press, client coordinates
        int32_t from;
        std::vector<UINT> codes;
        int32_t to;
    };
    const Case cases[] = {
        {0, 150, 15, 0, {TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_ENDTRACK}, 80},
        {0, 20, 15, 100, {TB_PAGEUP, TB_PAGEUP, TB_PAGEUP, TB_PAGEUP, TB_PAGEUP, TB_ENDTRACK}, 0},
        {TBS_VERT | TBS_DOWNISLEFT, 15, 190, 0, {TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_PAGEDOWN, TB_ENDTRACK}, 100},
    };
    for (const Case& c : cases) {
        bool vert = c.style & TBS_VERT;
        HWND t = make(TRACKBAR_CLASS, "", c.style, 10, 10, vert ? 30 : 200, vert ? 200 : 30, 2);
        SendMessage(t, TBM_SETPOS, 1, c.from);
        g_notes.clear();
        m_display->advance(1000);
        m_display->move(10 + c.x, 10 + c.y);
        m_display->press();
        m_display->advance(400);
        m_display->release();
        pump();
        EXPECT_EQ(codes(), c.codes) << c.x << "," << c.y;
        EXPECT_EQ(pos_of(t), c.to);
        for (const Note& n : g_notes) EXPECT_EQ(n.msg, vert ? WM_VSCROLL : WM_HSCROLL);
        DestroyWindow(t);
    }
}

TEST_F(TrackbarTest, DisabledTakesNoInput) {
    HWND t = make(TRACKBAR_CLASS, "", WS_DISABLED, 10, 10, 200, 30);
    click(150, 25);
    EXPECT_TRUE(g_notes.empty());
    EXPECT_NE(GetFocus(), t);
    EXPECT_EQ(pos_of(t), 0);
}

// ---- looks --------------------------------------------------------------------------

TEST_F(TrackbarTest, ThumbTicksAndThemes) {
    HWND t = make(TRACKBAR_CLASS, "", 0, 10, 10, 200, 40);
    auto is_thumb = [&](int x, int y) { return pixel(x, y) == shown(controls::sys_colour(COLOR_HIGHLIGHT)); };
    RECT th = thumb_of(t);
    int y = 10 + (th.top + th.bottom) / 2;
    EXPECT_TRUE(is_thumb(10 + (th.left + th.right) / 2, y));
    EXPECT_FALSE(is_thumb(150, y));
    SendMessage(t, TBM_SETPOS, 1, 80);
    th = thumb_of(t);
    EXPECT_TRUE(is_thumb(10 + (th.left + th.right) / 2, y));
    EXPECT_FALSE(is_thumb(20, y));
    // Ticks below the thumb, at both ends of the range only.
    RECT below{10, 10 + th.bottom + 1, 210, 10 + th.bottom + 6};
    int ticks = 0;
    pump();
    for (int x = below.left; x < below.right; ++x) {
        bool dark = false;
        for (int yy = below.top; yy < below.bottom; ++yy) dark |= darkness(m_display->pixel(m_top, x, yy) & 0xFFFFFF) > 382;
        ticks += dark;
    }
    EXPECT_EQ(ticks, 2);
    // The dark theme: the background goes dark.
    DesktopSettings s = desktop_settings();
    s.dark = true;
    m_display->set_settings(s);
    InvalidateRect(t, nullptr, true);
    EXPECT_GT(darkness(pixel(12, 12)), 382);
}

// A parent may destroy a control inside any of its notifications; the
// control then touches nothing of itself (the sanitizer build catches it).
TEST_F(TrackbarTest, ParentDestroysTheSender) {
    struct Case {
        const char* cls;
        uint32_t style;
        UINT msg, code;  // the notification that destroys the sender
        const char* action;
        POINT at{150, 40};  // the channel right of the thumb, an arrow, a button
    };
    const Case cases[] = {
        {WC_BUTTON, BS_PUSHBUTTON | BS_NOTIFY, WM_COMMAND, BN_SETFOCUS, "click"},
        {WC_BUTTON, BS_AUTOCHECKBOX, WM_COMMAND, BN_CLICKED, "click"},
        {WC_SCROLLBAR, SBS_VERT, WM_VSCROLL, SB_ENDSCROLL, "click"},
        {WC_SCROLLBAR, SBS_VERT, WM_VSCROLL, SB_LINEUP, "hold"},  // the upper arrow, 75 px high
        {TRACKBAR_CLASS, 0, WM_HSCROLL, TB_ENDTRACK, "click"},
        {TRACKBAR_CLASS, 0, WM_HSCROLL, TB_PAGEDOWN, "hold"},
        {TRACKBAR_CLASS, 0, WM_HSCROLL, TB_LINEDOWN, "wheel"},
        {WC_TABCONTROL, 0, WM_NOTIFY, TCN_SELCHANGING, "click", {45, 22}},  // the second tab
        {WC_TABCONTROL, 0, WM_NOTIFY, TCN_SELCHANGE, "click", {45, 22}},
        {MONTHCAL_CLASS, MCS_NOTODAY, WM_NOTIFY, MCN_SELCHANGE, "click", {30, 62}},  // the first day shown
        {WC_STATIC, SS_NOTIFY, WM_COMMAND, STN_CLICKED, "click"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cls) + " " + c.action);
        HWND w = make(c.cls, "x", c.style, 10, 10, 160, 150, 5);
        if (c.cls == std::string(WC_TABCONTROL))
            for (const char* title : {"a", "b", "c", "d", "e", "f", "g", "h"}) {
                TCITEMW item;
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<char*>(title);
                SendMessage(w, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&item));
            }
        bool destroyed = false;
        g_parent_handler = [&](HWND, UINT m, WPARAM wp, LPARAM lp, LRESULT* r) {
            UINT code = m == WM_NOTIFY ? reinterpret_cast<NMHDR*>(lp)->code
                        : m == WM_COMMAND ? static_cast<UINT>(wp >> 16)
                                          : static_cast<UINT>(wp & 0xFFFF);
            if (m != c.msg || code != c.code || destroyed) return false;
            destroyed = true;
            DestroyWindow(w);
            *r = 0;
            return true;
        };
        m_display->advance(1000);
        std::string a = c.action;
        if (a == "wheel") {
            SetFocus(w);
            m_display->move(100, 40);
            m_display->wheel(-3);
        } else {
            m_display->move(c.at.x, c.at.y);
            m_display->press();
            if (a == "hold") m_display->advance(400);
            m_display->release();
        }
        pump();
        EXPECT_TRUE(destroyed);
        EXPECT_FALSE(IsWindow(w));
        g_parent_handler = nullptr;
        if (IsWindow(w)) DestroyWindow(w);
    }
}

// What the trackbar, the tab control and the calendar share with every
// control: fonts, text, the focus on a left press, a client edge.
TEST_F(TrackbarTest, CommonMessagesOfTheNewClasses) {
    HFONT font = CreateFontFromDescription("DejaVu Sans 11");
    for (const char* cls : {TRACKBAR_CLASS, WC_TABCONTROL, MONTHCAL_CLASS}) {
        SCOPED_TRACE(cls);
        HWND c = make(cls, "", 0, 10, 10, 200, 180, 1, WS_EX_CLIENTEDGE);
        EXPECT_EQ(SendMessage(c, WM_GETFONT, 0, 0), 0);
        SendMessage(c, WM_SETFONT, font, 1);
        EXPECT_EQ(static_cast<HFONT>(SendMessage(c, WM_GETFONT, 0, 0)), font);
        SendMessage(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("named"));
        EXPECT_EQ(GetWindowText(c), "named");
        EXPECT_EQ(SendMessage(c, WM_GETTEXTLENGTH, 0, 0), 5);
        EXPECT_EQ(pixel(10, 100), 0xA0A0A0u);  // the sunken edge's outer shadow
        EXPECT_EQ(pixel(11, 100), 0x696969u);
        SetFocus(m_top);
        m_display->advance(1000);
        click(14, 180);
        EXPECT_EQ(GetFocus(), c);
        DestroyWindow(c);
    }
    DeleteFont(font);
}

}  // namespace
