#include "platform/controls/tabcontrol.hpp"
#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

using TabTest = ControlsTest;

LRESULT insert(HWND t, WPARAM at, const char* text) {
    TCITEMW item;
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(text);
    return SendMessage(t, TCM_INSERTITEMW, at, reinterpret_cast<LPARAM>(&item));
}

std::string text_of(HWND t, WPARAM i, int max = 64) {
    char buf[64] = "?";
    TCITEMW item;
    item.mask = TCIF_TEXT;
    item.pszText = buf;
    item.cchTextMax = max;
    if (!SendMessage(t, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item))) return "(none)";
    return buf;
}

std::string titles(HWND t) {
    std::string out;
    for (WPARAM i = 0; i < static_cast<WPARAM>(SendMessage(t, TCM_GETITEMCOUNT, 0, 0)); ++i)
        out += (i ? " " : "") + text_of(t, i);
    return out;
}

RECT item_rect(HWND t, WPARAM i) {
    RECT r{};
    SendMessage(t, TCM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&r));
    return r;
}

TEST_F(TabTest, ItemMessagesSelectSilently) {
    HWND t = make(WC_TABCONTROL, "", 0, 10, 10, 300, 200);
    EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), -1);
    struct Step {
        UINT msg;
        WPARAM wp;
        const char* text;  // an item's title for TCM_INSERTITEMW
        LRESULT answer;
        const char* titles;
        LRESULT sel;
    };
    const Step steps[] = {
        {TCM_INSERTITEMW, 0, "one", 0, "one", 0},  // the first tab is selected from the start
        {TCM_INSERTITEMW, 9, "three", 1, "one three", 0},
        {TCM_INSERTITEMW, 1, "two", 1, "one two three", 0},
        {TCM_SETCURSEL, 2, nullptr, 0, "one two three", 2},
        {TCM_SETCURSEL, 3, nullptr, -1, "one two three", 2},  // out of range: unchanged
        {TCM_INSERTITEMW, 0, "zero", 0, "zero one two three", 3},  // the selection moves with its tab
        {TCM_SETCURFOCUS, 1, nullptr, 0, "zero one two three", 1},
        {TCM_DELETEITEM, 0, nullptr, 1, "one two three", 0},
        {TCM_DELETEITEM, 0, nullptr, 1, "two three", 0},  // the next tab takes the deleted selection's place
        {TCM_DELETEITEM, 5, nullptr, 0, "two three", 0},
        {TCM_SETCURSEL, 1, nullptr, 0, "two three", 1},
        {TCM_DELETEITEM, 1, nullptr, 1, "two", 0},  // the last: the one before
        {TCM_DELETEALLITEMS, 0, nullptr, 1, "", -1},
        {TCM_INSERTITEMW, 0, "again", 0, "again", 0},
    };
    for (const Step& s : steps) {
        LRESULT got = s.text ? insert(t, s.wp, s.text) : SendMessage(t, s.msg, s.wp, 0);
        EXPECT_EQ(got, s.answer) << s.msg << " " << s.wp;
        EXPECT_EQ(titles(t), s.titles) << s.msg << " " << s.wp;
        EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), s.sel) << s.msg << " " << s.wp;
    }
    EXPECT_TRUE(g_notes.empty());  // messages notify nothing, TCM_SETCURFOCUS included
    // TCM_SETITEMW and TCM_GETITEMW, the text cut at whole characters.
    TCITEMW item;
    item.mask = TCIF_TEXT | TCIF_PARAM;
    item.pszText = const_cast<char*>("héllo");
    item.lParam = 77;
    EXPECT_EQ(SendMessage(t, TCM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)), 1);
    EXPECT_EQ(text_of(t, 0), "héllo");
    EXPECT_EQ(text_of(t, 0, 3), "h");  // "h" and half of "é" fit: the half is dropped
    EXPECT_EQ(text_of(t, 0, 4), "hé");
    EXPECT_EQ(text_of(t, 1), "(none)");
    TCITEMW param;
    param.mask = TCIF_PARAM;
    SendMessage(t, TCM_GETITEMW, 0, reinterpret_cast<LPARAM>(&param));
    EXPECT_EQ(param.lParam, 77);
}

// Click and arrow keys ask first (TCN_SELCHANGING), then tell (TCN_SELCHANGE);
// a non-zero answer refuses.
TEST_F(TabTest, UserSelectionNotifies) {
    HWND t = make(WC_TABCONTROL, "", 0, 10, 10, 300, 200, 8);
    for (const char* s : {"Alpha", "Beta", "Gamma"}) insert(t, 9, s);
    bool refuse = false;
    std::vector<LRESULT> sel_when_asked;
    g_parent_handler = [&](HWND, UINT m, WPARAM, LPARAM l, LRESULT* r) {
        if (m != WM_NOTIFY || reinterpret_cast<NMHDR*>(l)->code != TCN_SELCHANGING) return false;
        sel_when_asked.push_back(SendMessage(t, TCM_GETCURSEL, 0, 0));
        *r = refuse;
        return true;
    };
    const Note asking{WM_NOTIFY, TCN_SELCHANGING, 8, t}, told{WM_NOTIFY, TCN_SELCHANGE, 8, t};
    struct Case {
        const char* action;  // "click N" on tab N, or a key
        bool refuse;
        std::vector<Note> notes;
        LRESULT sel;
    };
    const Case cases[] = {
        {"click 1", false, {asking, told}, 1},
        {"click 1", false, {}, 1},  // the selected tab again: nothing
        {"click 2", true, {asking}, 1},
        {"Right", false, {asking, told}, 2},
        {"Right", false, {}, 2},  // no tab after the last
        {"Left", true, {asking}, 2},
        {"Left", false, {asking, told}, 1},
        {"Home", false, {}, 1},
    };
    for (const Case& c : cases) {
        g_notes.clear();
        refuse = c.refuse;
        m_display->advance(1000);
        std::string a = c.action;
        if (a.rfind("click ", 0) == 0) {
            RECT r = item_rect(t, std::stoul(a.substr(6)));
            click(10 + (r.left + r.right) / 2, 10 + (r.top + r.bottom) / 2);
            EXPECT_EQ(GetFocus(), t);
        } else {
            m_display->key(a);
            pump();
        }
        EXPECT_EQ(g_notes, c.notes) << a;
        EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), c.sel) << a;
    }
    EXPECT_EQ(sel_when_asked, (std::vector<LRESULT>{0, 1, 1, 2, 2}));  // asked before the change
}

TEST_F(TabTest, AdjustRectLeavesTheFrame) {
    HWND t = make(WC_TABCONTROL, "", 0, 10, 10, 300, 200);
    insert(t, 0, "Page");
    int32_t row = item_rect(t, 0).bottom;  // the row's bottom: the frame's top line
    EXPECT_GT(row, 10);
    RECT r{0, 0, 300, 200};
    SendMessage(t, TCM_ADJUSTRECT, 0, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(r, (RECT{4, row + 2, 298, 197}));
    SendMessage(t, TCM_ADJUSTRECT, 1, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(r, (RECT{0, 0, 300, 200}));
    // The frame is one pixel inside the panel corrections put a page at
    // (left - 3, top - 1, width + 4, height + 3): its lines lie just outside.
    RECT page{4 - 3, row + 2 - 1, 4 - 3 + 294 + 4, row + 2 - 1 + (197 - row - 2) + 3};
    EXPECT_EQ(page, (RECT{1, row + 1, 299, 199}));
    uint32_t inside_page = pixel(10 + 150, 10 + 150);
    EXPECT_NE(pixel(10 + 150, 10 + 199), inside_page);  // bottom line
    EXPECT_NE(pixel(10 + 0, 10 + 150), inside_page);    // left line
    EXPECT_NE(pixel(10 + 299, 10 + 150), inside_page);  // right line
    EXPECT_EQ(pixel(10 + 1, 10 + 198), inside_page);
}

// A row wider than the control gets arrow buttons that scroll it a tab at a
// time without selecting; a selection by key brings its tab into view.
TEST_F(TabTest, ArrowsScrollAWideRow) {
    HWND t = make(WC_TABCONTROL, "", 0, 10, 10, 160, 100);
    for (const char* s : {"First tab", "Second tab", "Third tab", "Fourth tab"}) insert(t, 9, s);
    RECT last = item_rect(t, 3);
    EXPECT_GT(last.right, 160);
    int32_t first_width = item_rect(t, 1).left - item_rect(t, 0).left;
    int arrow_y = 10 + item_rect(t, 0).top + 3;
    click(10 + 160 - 3, arrow_y);  // the right arrow
    EXPECT_EQ(item_rect(t, 1).left, item_rect(t, 0).left + first_width);
    EXPECT_EQ(item_rect(t, 0).right, 2);  // scrolled out to the left
    EXPECT_TRUE(g_notes.empty());
    EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), 0);
    click(10 + 160 - 20, arrow_y);  // the left arrow
    EXPECT_EQ(item_rect(t, 0).left, 2);
    for (int i = 0; i < 3; ++i) m_display->key("Right");
    pump();
    EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), 3);
    EXPECT_LE(item_rect(t, 3).right, 160 - 32);  // clear of the arrows
    // Without the need, no arrows: the row is back at its start.
    SetWindowPos(t, 0, 0, 0, 600, 100, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(item_rect(t, 0).left, 2);
}

// ---- looks ------------------------------------------------------------------------

TEST_F(TabTest, SelectedTabDrawnApart) {
    HWND t = make(WC_TABCONTROL, "", 0, 10, 10, 300, 150);
    insert(t, 0, "One");
    insert(t, 1, "Two");
    SendMessage(t, TCM_SETCURSEL, 1, 0);
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark);
        DesktopSettings s = desktop_settings();
        s.dark = dark;
        m_display->set_settings(s);
        InvalidateRect(t, nullptr, true);
        RECT one = item_rect(t, 0), two = item_rect(t, 1);
        uint32_t page = shown(controls::sys_colour(COLOR_WINDOW));
        EXPECT_EQ(pixel(10 + 150, 10 + 100), page);
        // The selected tab has the page's colour and opens into it; the other
        // stands on the frame line.
        EXPECT_EQ(pixel(10 + two.left + 3, 10 + two.top + 3), page);
        EXPECT_NE(pixel(10 + one.left + 3, 10 + one.top + 3), page);
        EXPECT_EQ(pixel(10 + two.left + 3, 10 + two.bottom), page);
        EXPECT_NE(pixel(10 + one.left + 3, 10 + one.bottom), page);
        // It also rises above the others.
        EXPECT_EQ(pixel(10 + two.left + 3, 10 + two.top - 1), page);
        EXPECT_NE(pixel(10 + one.left + 3, 10 + one.top - 1), page);
    }
}

TEST_F(TabTest, DisabledIsGreyAndDeaf) {
    HWND t = make(WC_TABCONTROL, "", 0, 10, 10, 300, 150);
    insert(t, 0, "WWWW");
    insert(t, 1, "Other");
    RECT one = item_rect(t, 0);
    RECT caption{10 + one.left, 10 + one.top, 10 + one.right, 10 + one.bottom};
    EXPECT_GT(darkest(caption), 600);
    EnableWindow(t, false);
    int grey = darkest(caption);
    EXPECT_GT(grey, 250);
    EXPECT_LT(grey, 500);
    RECT two = item_rect(t, 1);
    click(10 + two.left + 5, 10 + two.top + 5);
    EXPECT_TRUE(g_notes.empty());
    EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), 0);
}

}  // namespace
