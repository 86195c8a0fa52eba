#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

class ScrollBarTest : public ControlsTest {
protected:
    // A bar over min 0 .. max with a page, at position 0.
    HWND bar(uint32_t style, int x, int y, int w, int h, uint32_t id, int32_t max, UINT page) {
        HWND s = make(WC_SCROLLBAR, "", style, x, y, w, h, id);
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        si.nMin = 0, si.nMax = max, si.nPage = page, si.nPos = 0;
        SetScrollInfo(s, SB_CTL, &si, true);
        return s;
    }
};

TEST_F(ScrollBarTest, SetScrollInfoClamps) {
    HWND s = make(WC_SCROLLBAR, "", SBS_VERT, 10, 10, 17, 200);
    struct Case {
        int32_t min, max;
        UINT page;
        int32_t pos;
        UINT page_after;
        int32_t pos_after;
    };
    const Case cases[] = {
        {0, 100, 10, 95, 10, 91},   // max - (page - 1)
        {0, 100, 0, 100, 0, 100},   // no page: up to max
        {0, 100, 1, 100, 1, 100},
        {0, 100, 500, 50, 101, 0},  // page cut to the range
        {10, 20, 5, -3, 5, 10},
        {-50, 50, 20, 40, 20, 31},
    };
    for (const Case& c : cases) {
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        si.nMin = c.min, si.nMax = c.max, si.nPage = c.page, si.nPos = c.pos;
        EXPECT_EQ(SetScrollInfo(s, SB_CTL, &si, true), c.pos_after);
        SCROLLINFO out;
        out.fMask = SIF_ALL;
        ASSERT_TRUE(GetScrollInfo(s, SB_CTL, &out));
        EXPECT_EQ(out.nMin, c.min);
        EXPECT_EQ(out.nMax, c.max);
        EXPECT_EQ(out.nPage, c.page_after);
        EXPECT_EQ(out.nPos, c.pos_after);
        EXPECT_EQ(GetScrollPos(s, SB_CTL), c.pos_after);
    }
    EXPECT_EQ(SetScrollPos(s, SB_CTL, 1000, true), 31);
    EXPECT_EQ(GetScrollPos(s, SB_CTL), 31);
    EXPECT_EQ(SendMessage(s, SBM_GETPOS, 0, 0), 31);
}

// Each action's codes, and the position left where the application put it.
TEST_F(ScrollBarTest, ActionsSendCodes) {
    HWND s = bar(SBS_VERT, 10, 10, 17, 200, 3, 100, 10);
    struct Case {
        int y;  // a press at this window y, released at once
        std::vector<UINT> codes;
    };
    const Case cases[] = {
        {5, {SB_LINEUP, SB_ENDSCROLL}},
        {195, {SB_LINEDOWN, SB_ENDSCROLL}},
        {120, {SB_PAGEDOWN, SB_ENDSCROLL}},
    };
    for (const Case& c : cases) {
        g_notes.clear();
        m_display->advance(1000);
        click(18, 10 + c.y);
        EXPECT_EQ(codes(), c.codes) << c.y;
        for (const Note& n : g_notes) {
            EXPECT_EQ(n.msg, WM_VSCROLL);
            EXPECT_EQ(n.from, s);
        }
    }
    EXPECT_EQ(GetScrollPos(s, SB_CTL), 0);
    EXPECT_NE(GetFocus(), s);
    // A held arrow repeats: at once, after 200 ms, then every 50 ms.
    g_notes.clear();
    m_display->advance(1000);
    m_display->move(18, 205);
    m_display->press();
    m_display->advance(310);
    m_display->release();
    pump();
    EXPECT_EQ(codes(), (std::vector<UINT>{SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN, SB_LINEDOWN, SB_ENDSCROLL}));
    // Moved off the arrow, the repeat pauses.
    g_notes.clear();
    m_display->advance(1000);
    m_display->move(18, 205);
    m_display->press();
    m_display->move(300, 205);
    m_display->advance(400);
    m_display->release();
    pump();
    EXPECT_EQ(codes(), (std::vector<UINT>{SB_LINEDOWN, SB_ENDSCROLL}));
}

// A held trough pages while the application moves the thumb, and stops once
// the thumb has reached the pointer.
TEST_F(ScrollBarTest, HeldTroughRepeatsUntilTheThumbArrives) {
    HWND s = bar(SBS_VERT, 10, 10, 17, 200, 3, 99, 10);
    g_parent_handler = [s](HWND, UINT m, WPARAM w, LPARAM, LRESULT*) {
        if (m != WM_VSCROLL) return false;
        int pos = GetScrollPos(s, SB_CTL);
        if ((w & 0xFFFF) == SB_PAGEDOWN) SetScrollPos(s, SB_CTL, pos + 10, true);
        if ((w & 0xFFFF) == SB_PAGEUP) SetScrollPos(s, SB_CTL, pos - 10, true);
        return true;
    };
    // The trough runs from 17 to 183 (166 px), the thumb is 16 px: position
    // 50 puts it at 17 + 50 * 150 / 90 = 100.
    m_display->move(18, 10 + 110);
    m_display->press();
    m_display->advance(2000);
    m_display->release();
    pump();
    EXPECT_EQ(GetScrollPos(s, SB_CTL), 50);
    std::vector<UINT> want(5, SB_PAGEDOWN);
    want.push_back(SB_ENDSCROLL);
    EXPECT_EQ(codes(), want);
    // Back up: the pointer above the thumb pages up until it is covered.
    g_notes.clear();
    m_display->advance(1000);
    m_display->move(18, 10 + 40);
    m_display->press();
    m_display->advance(2000);
    m_display->release();
    pump();
    EXPECT_EQ(GetScrollPos(s, SB_CTL), 10);  // 10 puts the thumb at 33 to 49
    want.assign(4, SB_PAGEUP);
    want.push_back(SB_ENDSCROLL);
    EXPECT_EQ(codes(), want);
}

TEST_F(ScrollBarTest, ThumbDragTracks) {
    HWND s = bar(SBS_HORZ, 10, 10, 200, 17, 4, 100, 10);
    m_display->move(10 + 20, 18);  // on the thumb, just past the left arrow
    m_display->press();
    m_display->move(10 + 100, 18);
    pump();
    SCROLLINFO out;
    out.fMask = SIF_TRACKPOS | SIF_POS;
    GetScrollInfo(s, SB_CTL, &out);
    EXPECT_GT(out.nTrackPos, 30);
    EXPECT_EQ(out.nPos, 0);  // the application moves it, not the bar
    m_display->move(10 + 400, 18);  // far past the end: the last position
    m_display->release();
    pump();
    ASSERT_GE(g_notes.size(), 4u);
    EXPECT_EQ(g_notes.front().code, SB_THUMBTRACK);
    EXPECT_EQ(g_notes.front().msg, WM_HSCROLL);
    Note last_track = g_notes[g_notes.size() - 3];
    EXPECT_EQ(last_track.code, SB_THUMBTRACK);
    EXPECT_EQ(last_track.id, 91u);
    EXPECT_EQ(g_notes[g_notes.size() - 2], (Note{WM_HSCROLL, SB_THUMBPOSITION, 91, s}));
    EXPECT_EQ(g_notes.back(), (Note{WM_HSCROLL, SB_ENDSCROLL, 0, s}));
    EXPECT_EQ(GetScrollPos(s, SB_CTL), 0);
}

TEST_F(ScrollBarTest, KeysAndDisabled) {
    HWND s = make(WC_SCROLLBAR, "", SBS_VERT, 10, 10, 17, 200);
    SetFocus(s);
    m_display->key("Down");
    m_display->key("Page_Up");
    m_display->key("End");
    pump();
    EXPECT_EQ(codes(), (std::vector<UINT>{SB_LINEDOWN, SB_ENDSCROLL, SB_PAGEUP, SB_ENDSCROLL, SB_BOTTOM, SB_ENDSCROLL}));
    g_notes.clear();
    EnableWindow(s, false);
    click(18, 15);
    EXPECT_TRUE(g_notes.empty());
}

}  // namespace
