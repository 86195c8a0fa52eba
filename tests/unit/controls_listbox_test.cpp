#include "platform/controls/listbox.hpp"

#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

class ListBoxTest : public ControlsTest {
protected:
    HWND make_list(uint32_t style, std::initializer_list<const char*> items, int h = 100, uint32_t id = 5) {
        HWND l = make(WC_LISTBOX, "", style, 10, 10, 150, h, id, WS_EX_CLIENTEDGE);
        for (const char* s : items) SendMessage(l, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
        return l;
    }
    int row() { return static_cast<int>(SendMessage(m_list, LB_GETITEMHEIGHT, 0, 0)); }
    // A point of the parent in the middle of row i (the list at 10,10, rows from its edge at 2 px).
    int row_y(int i) { return 10 + 2 + i * row() + row() / 2; }
    std::string text(int i) {
        char buf[64] = {};
        SendMessage(m_list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
        return buf;
    }
    void press_key(const char* combo) {
        m_display->key(combo);
        pump();
    }
    HWND m_list = 0;
};

LPARAM str(const char* s) { return reinterpret_cast<LPARAM>(s); }

TEST_F(ListBoxTest, MessagesAndAnswers) {
    m_list = make_list(LBS_NOTIFY, {});
    struct Step {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        LRESULT answer;
    };
    const WPARAM none = static_cast<WPARAM>(-1);
    const Step steps[] = {
        {LB_GETCURSEL, 0, 0, LB_ERR},
        {LB_ADDSTRING, 0, str("pear"), 0},
        {LB_ADDSTRING, 0, str("apple"), 1},
        {LB_INSERTSTRING, 0, str("Banana"), 0},   // Banana pear apple
        {LB_INSERTSTRING, none, str("cherry"), 3},  // -1: the end
        {LB_INSERTSTRING, 9, str("x"), LB_ERR},
        {LB_GETCOUNT, 0, 0, 4},
        {LB_GETTEXTLEN, 0, 0, 6},
        {LB_GETTEXTLEN, 4, 0, LB_ERR},
        {LB_FINDSTRING, none, str("b"), 0},  // a prefix, ignoring case
        {LB_FINDSTRING, 0, str("b"), 0},     // searched after the start, wrapping
        {LB_FINDSTRING, none, str("ch"), 3},
        {LB_FINDSTRINGEXACT, none, str("APPLE"), 2},
        {LB_FINDSTRINGEXACT, none, str("app"), LB_ERR},
        {LB_SETCURSEL, 2, 0, 2},
        {LB_GETCURSEL, 0, 0, 2},
        {LB_GETSEL, 2, 0, 1},
        {LB_INSERTSTRING, 0, str("fig"), 0},  // the selection moves with its item
        {LB_GETCURSEL, 0, 0, 3},
        {LB_DELETESTRING, 0, 0, 4},
        {LB_GETCURSEL, 0, 0, 2},
        {LB_DELETESTRING, 2, 0, 3},  // the selected item gone: no selection
        {LB_GETCURSEL, 0, 0, LB_ERR},
        {LB_DELETESTRING, 3, 0, LB_ERR},
        {LB_SETCURSEL, 1, 0, 1},
        {LB_SETCURSEL, 7, 0, LB_ERR},  // out of range clears the selection
        {LB_GETCURSEL, 0, 0, LB_ERR},
        {LB_SETCURSEL, 1, 0, 1},
        {LB_SETCURSEL, none, 0, LB_ERR},
        {LB_GETCURSEL, 0, 0, LB_ERR},
        {LB_SELECTSTRING, none, str("CH"), 2},
        {LB_GETCURSEL, 0, 0, 2},
        {LB_GETSELCOUNT, 0, 0, LB_ERR},  // single selection
        {LB_SETSEL, 1, 0, LB_ERR},
        {LB_SETTOPINDEX, 9, 0, LB_ERR},
        {LB_GETTOPINDEX, 0, 0, 0},
        {LB_SETITEMDATA, 1, 42, LB_OKAY},
        {LB_GETITEMDATA, 1, 0, 42},
        {LB_GETITEMDATA, 5, 0, LB_ERR},
        {LB_GETTEXT, 0, 0, LB_ERR},  // no buffer
        {LB_GETITEMRECT, 0, 0, LB_ERR},
        {LB_SETCARETINDEX, none, 0, LB_ERR},
        {LB_SETTOPINDEX, none, 0, LB_ERR},
        {LB_SETITEMHEIGHT, 0, 0, LB_ERR},
        {LB_INSERTSTRING, 0, 0, 0},  // no string: an empty item
        {LB_GETTEXTLEN, 0, 0, 0},
        {LB_RESETCONTENT, 0, 0, 0},
        {LB_GETCOUNT, 0, 0, 0},
        {LB_GETCURSEL, 0, 0, LB_ERR},
        {LB_GETTEXTLEN, 0, 0, LB_ERR},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << std::hex << s.msg << " " << std::dec << static_cast<intptr_t>(s.wp));
        EXPECT_EQ(SendMessage(m_list, s.msg, s.wp, s.lp), s.answer);
    }
    EXPECT_TRUE(g_notes.empty());  // messages notify nothing
}

TEST_F(ListBoxTest, TextAndSorting) {
    m_list = make_list(LBS_SORT, {"pear", "Apple", "banana", "apricot"});
    EXPECT_EQ(text(0), "Apple");
    EXPECT_EQ(text(1), "apricot");
    EXPECT_EQ(text(2), "banana");
    EXPECT_EQ(text(3), "pear");
    // LB_INSERTSTRING keeps its place even in a sorted list, as Windows.
    EXPECT_EQ(SendMessage(m_list, LB_INSERTSTRING, 0, str("zebra")), 0);
    EXPECT_EQ(text(0), "zebra");
    char buf[16] = {};
    EXPECT_EQ(SendMessage(m_list, LB_GETTEXT, 9, reinterpret_cast<LPARAM>(buf)), LB_ERR);
    EXPECT_EQ(SendMessage(m_list, LB_ADDSTRING, 0, str("Ünïcode")), 5);
    EXPECT_EQ(SendMessage(m_list, LB_GETTEXTLEN, 5, 0), 9);  // UTF-8 bytes
}

TEST_F(ListBoxTest, InputSelectsAndNotifies) {
    m_list = make_list(LBS_NOTIFY, {"alpha", "beta", "gamma", "delta", "echo", "foxtrot", "golf", "hotel"}, 80);
    struct Step {
        const char* what;  // "click N", "dbl N" or a key
        int cur;
        std::vector<UINT> codes;
    };
    const Step steps[] = {
        {"click 1", 1, {LBN_SETFOCUS, LBN_SELCHANGE}},
        {"click 1", 1, {LBN_SELCHANGE}},  // the same item again: the parent sorts it out
        {"Down", 2, {LBN_SELCHANGE}},
        {"Up", 1, {LBN_SELCHANGE}},
        {"End", 7, {LBN_SELCHANGE}},
        {"End", 7, {}},
        {"Home", 0, {LBN_SELCHANGE}},
        {"Up", 0, {}},
        {"Next", 3, {}},  // a page less one row: checked below by the row count
        {"g", 6, {LBN_SELCHANGE}},  // typed letters: the next item starting so
        {"g", 2, {LBN_SELCHANGE}},
        {"x", 2, {}},
    };
    int page = 80 - 4;
    page /= row();
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        g_notes.clear();
        std::string what = s.what;
        int want = s.cur;
        std::vector<UINT> want_codes = s.codes;
        if (what.rfind("click ", 0) == 0) {
            m_display->advance(1000);
            click(60, row_y(std::stoi(what.substr(6))));
        } else if (what == "Next") {
            press_key("Next");
            want = std::max(1, page - 1);
            want_codes = {LBN_SELCHANGE};
        } else {
            press_key(s.what);
        }
        EXPECT_EQ(SendMessage(m_list, LB_GETCURSEL, 0, 0), want);
        EXPECT_EQ(codes(), want_codes);
    }
    // A double click: the first click selects, the second is LBN_DBLCLK.
    g_notes.clear();
    m_display->advance(1000);
    click(60, row_y(0));
    click(60, row_y(0));
    EXPECT_EQ(codes(), (std::vector<UINT>{LBN_SELCHANGE, LBN_DBLCLK}));
    EXPECT_EQ(g_notes.back(), (Note{WM_COMMAND, LBN_DBLCLK, 5, m_list}));
    // Focus leaving.
    g_notes.clear();
    SetFocus(m_top);
    EXPECT_EQ(codes(), std::vector<UINT>{LBN_KILLFOCUS});
}

TEST_F(ListBoxTest, OnlyFocusCodesWithoutNotifyOrItems) {
    m_list = make_list(0, {"a", "b", "c"});
    click(60, row_y(1));
    press_key("Down");
    EXPECT_EQ(SendMessage(m_list, LB_GETCURSEL, 0, 0), 2);
    EXPECT_EQ(codes(), std::vector<UINT>{LBN_SETFOCUS});
    // An empty list takes the focus, and nothing more, from a click.
    HWND empty = make(WC_LISTBOX, "", LBS_NOTIFY, 200, 10, 100, 100, 6);
    g_notes.clear();
    click(250, 50);
    EXPECT_EQ(GetFocus(), empty);
    EXPECT_EQ(g_notes, (std::vector<Note>{{WM_COMMAND, LBN_KILLFOCUS, 5, m_list}, {WM_COMMAND, LBN_SETFOCUS, 6, empty}}));
    EXPECT_EQ(GetCapture(), 0u);
}

TEST_F(ListBoxTest, ExtendedSelection) {
    m_list = make_list(LBS_NOTIFY | LBS_EXTENDEDSEL, {"a", "b", "c", "d", "e", "f"});
    auto selected = [&] {
        int buf[8] = {};
        int n = static_cast<int>(SendMessage(m_list, LB_GETSELITEMS, 8, reinterpret_cast<LPARAM>(buf)));
        EXPECT_EQ(SendMessage(m_list, LB_GETSELCOUNT, 0, 0), n);
        return std::vector<int>(buf, buf + std::max(n, 0));
    };
    struct Step {
        const char* mods;
        int row;  // -1: a key instead
        const char* key;
        std::vector<int> sel;
    };
    const Step steps[] = {
        {"", 1, nullptr, {1}},
        {"ctrl", 3, nullptr, {1, 3}},
        {"ctrl", 1, nullptr, {3}},  // Ctrl toggles
        {"shift", 5, nullptr, {1, 2, 3, 4, 5}},  // from the anchor the Ctrl click left
        {"", 2, nullptr, {2}},
        {"", -1, "shift+Down", {2, 3}},
        {"", -1, "shift+Down", {2, 3, 4}},
        {"", -1, "Up", {3}},
        {"", -1, "ctrl+Down", {3}},  // the caret alone moves
        {"", -1, "ctrl+space", {3, 4}},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << s.mods << " " << s.row << " " << (s.key ? s.key : ""));
        if (s.row >= 0) {
            std::string mod = s.mods;
            if (!mod.empty()) m_display->key_down(mod == "ctrl" ? "Control_L" : "Shift_L");
            m_display->advance(1000);
            m_display->click(60, row_y(s.row));
            if (!mod.empty()) m_display->key_up(mod == "ctrl" ? "Control_L" : "Shift_L");
            pump();
        } else {
            press_key(s.key);
        }
        EXPECT_EQ(selected(), s.sel);
    }
    EXPECT_EQ(SendMessage(m_list, LB_GETCURSEL, 0, 0), 4);  // the caret in a multiple selection
    EXPECT_EQ(SendMessage(m_list, LB_SETCURSEL, 1, 0), LB_ERR);
    EXPECT_EQ(SendMessage(m_list, LB_SETSEL, 1, 0), LB_OKAY);
    EXPECT_EQ(SendMessage(m_list, LB_SETSEL, 0, 3), LB_OKAY);
    EXPECT_EQ(selected(), (std::vector<int>{0, 4}));
    EXPECT_EQ(SendMessage(m_list, LB_SETSEL, 1, -1), LB_OKAY);  // -1: all
    EXPECT_EQ(selected().size(), 6u);
    EXPECT_EQ(SendMessage(m_list, LB_SETSEL, 1, 6), LB_ERR);
}

TEST_F(ListBoxTest, MultipleSelectionToggles) {
    m_list = make_list(LBS_MULTIPLESEL, {"a", "b", "c"});
    click(60, row_y(0));
    m_display->advance(1000);
    click(60, row_y(2));
    EXPECT_EQ(SendMessage(m_list, LB_GETSELCOUNT, 0, 0), 2);
    m_display->advance(1000);
    click(60, row_y(0));
    EXPECT_EQ(SendMessage(m_list, LB_GETSEL, 0, 0), 0);
    EXPECT_EQ(SendMessage(m_list, LB_GETSEL, 2, 0), 1);
}

TEST_F(ListBoxTest, BarsOnlyWhenNeeded) {
    m_list = make(WC_LISTBOX, "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL, 10, 10, 150, 100, 5,
                  WS_EX_CLIENTEDGE);
    auto bars = [&] { return static_cast<uint32_t>(GetWindowLong(m_list, GWL_STYLE)) & (WS_VSCROLL | WS_HSCROLL); };
    EXPECT_EQ(bars(), 0u);
    for (int i = 0; i < 3; ++i) SendMessage(m_list, LB_ADDSTRING, 0, str("row"));
    EXPECT_EQ(bars(), 0u);
    for (int i = 0; i < 40; ++i) SendMessage(m_list, LB_ADDSTRING, 0, str("row"));
    EXPECT_EQ(bars(), WS_VSCROLL);
    SendMessage(m_list, LB_SETHORIZONTALEXTENT, 100, 0);  // narrower than the list
    EXPECT_EQ(bars(), WS_VSCROLL);
    SendMessage(m_list, LB_SETHORIZONTALEXTENT, 400, 0);
    EXPECT_EQ(bars(), WS_VSCROLL | WS_HSCROLL);
    EXPECT_EQ(SendMessage(m_list, LB_GETHORIZONTALEXTENT, 0, 0), 400);
    SCROLLINFO si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(m_list, SB_VERT, &si));
    RECT c;
    GetClientRect(m_list, &c);
    int page = (c.bottom - 4) / row();
    EXPECT_EQ(si.nMax, 42);
    EXPECT_EQ(static_cast<int>(si.nPage), page);
    // End shows the last row at the bottom; the top index follows.
    SetFocus(m_list);
    press_key("End");
    EXPECT_EQ(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 43 - page);
    EXPECT_EQ(GetScrollPos(m_list, SB_VERT), 43 - page);
    SendMessage(m_list, LB_SETTOPINDEX, 42, 0);  // clamped to the last full page
    EXPECT_EQ(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 43 - page);
    SendMessage(m_list, LB_SETTOPINDEX, 10, 0);
    m_display->move(60, 40);
    m_display->wheel(-1);  // toward the user: three rows down
    pump();
    EXPECT_EQ(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 13);
    m_display->wheel(2);
    pump();
    EXPECT_EQ(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 7);
    // The bar scrolls the rows: a click on its down arrow moves one row.
    RECT w;
    GetWindowRect(m_list, &w);
    int bar = scroll_bar_size(m_list);
    click(w.right - bar / 2, w.top + c.bottom - bar / 2);
    EXPECT_EQ(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 8);
    // Emptied: the bars go.
    SendMessage(m_list, LB_SETHORIZONTALEXTENT, 0, 0);
    SendMessage(m_list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(bars(), 0u);
    EXPECT_EQ(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 0);
}

TEST_F(ListBoxTest, IntegralHeightUnlessAskedNot) {
    HWND whole = make(WC_LISTBOX, "", 0, 10, 10, 100, 101, 1, WS_EX_CLIENTEDGE);
    HWND partial = make(WC_LISTBOX, "", LBS_NOINTEGRALHEIGHT, 120, 10, 100, 101, 2, WS_EX_CLIENTEDGE);
    int h = static_cast<int>(SendMessage(whole, LB_GETITEMHEIGHT, 0, 0));
    RECT r;
    for (int cy : {101, 150, 3}) {
        MoveWindow(whole, 10, 10, 100, cy, true);
        MoveWindow(partial, 120, 10, 100, cy, true);
        GetWindowRect(whole, &r);
        EXPECT_EQ(r.height(), 4 + std::max(1, (cy - 4) / h) * h) << cy;
        GetWindowRect(partial, &r);
        EXPECT_EQ(r.height(), cy);
    }
    // A partial last row is drawn: the item there shows its highlight.
    MoveWindow(partial, 120, 10, 100, 4 + 2 * h + h / 2, true);
    for (const char* s : {"a", "b", "c", "d"}) SendMessage(partial, LB_ADDSTRING, 0, str(s));
    SendMessage(partial, LB_SETCURSEL, 2, 0);
    SendMessage(partial, LB_SETTOPINDEX, 0, 0);
    EXPECT_EQ(pixel(200, 12 + 2 * h + 2), 0x0078D7u);
}

TEST_F(ListBoxTest, ADragPastTheEdgeScrollsOn) {
    m_list = make(WC_LISTBOX, "", LBS_NOTIFY | WS_VSCROLL, 10, 10, 150, 100, 5, WS_EX_CLIENTEDGE);
    for (int i = 0; i < 40; ++i) SendMessage(m_list, LB_ADDSTRING, 0, str(("row " + std::to_string(i)).c_str()));
    m_display->move(60, row_y(1));
    m_display->press();
    pump();
    m_display->move(60, 150);  // below the list, held
    pump();
    int page = static_cast<int>(SendMessage(m_list, LB_GETTOPINDEX, 0, 0));
    m_display->advance(500);  // the repeat moves on, a row each time
    pump();
    LRESULT sel = SendMessage(m_list, LB_GETCURSEL, 0, 0);
    EXPECT_GT(sel, page + 5);
    EXPECT_GT(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 5);
    m_display->move(60, row_y(2));  // back inside: it stops
    pump();
    sel = SendMessage(m_list, LB_GETCURSEL, 0, 0);
    m_display->advance(500);
    pump();
    EXPECT_EQ(SendMessage(m_list, LB_GETCURSEL, 0, 0), sel);
    m_display->release();
    pump();
    EXPECT_EQ(codes(), (std::vector<UINT>{LBN_SETFOCUS, LBN_SELCHANGE}));
}

TEST_F(ListBoxTest, ItemFromPoint) {
    m_list = make_list(0, {"a", "b", "c"}, 100);
    int h = row();
    struct Case {
        int x, y, item;
        bool off;
    };
    const Case cases[] = {
        {20, 2 + h / 2, 0, false},
        {20, 2 + 2 * h + 1, 2, false},
        {20, 2 + 3 * h + 2, 2, true},  // below the last row: the nearest, off the items
        {200, 2 + h, 1, true},         // outside the client area
    };
    for (const Case& c : cases) {
        LRESULT r = SendMessage(m_list, LB_ITEMFROMPOINT, 0, static_cast<LPARAM>(c.x | (c.y << 16)));
        EXPECT_EQ(item_of(r), c.item) << c.y;
        EXPECT_EQ(off_items(r), c.off) << c.y;
    }
}

// ---- looks --------------------------------------------------------------------------

TEST_F(ListBoxTest, SelectionHighlightInBothThemes) {
    m_list = make_list(LBS_NOTIFY, {"one", "two", "three"});
    int x = 140;  // right of the text
    EXPECT_EQ(pixel(x, row_y(1)), 0xFFFFFFu);  // COLOR_WINDOW
    SendMessage(m_list, LB_SETCURSEL, 1, 0);
    EXPECT_EQ(pixel(x, row_y(1)), 0x0078D7u);  // COLOR_HIGHLIGHT
    EXPECT_EQ(pixel(x, row_y(0)), 0xFFFFFFu);
    EXPECT_GT(ink({14, row_y(0) - row() / 2, 60, row_y(0) + row() / 2}), 3);  // the text drawn
    DesktopSettings s = desktop_settings();
    s.dark = true;
    m_display->set_settings(s);
    InvalidateRect(m_list, nullptr, true);
    EXPECT_EQ(pixel(x, row_y(1)), 0x005FB8u);
    EXPECT_EQ(pixel(x, row_y(2)), 0x202020u);
}

TEST_F(ListBoxTest, ParentColoursAndFocusRectangle) {
    g_parent_handler = [](HWND, UINT m, WPARAM w, LPARAM, LRESULT* r) {
        if (m != WM_CTLCOLORLISTBOX) return false;
        SetDCBrushColor(reinterpret_cast<HDC>(w), 0x00FFCC);  // yellowish, as BGR
        *r = GetDCBrush();
        return true;
    };
    m_list = make_list(0, {"one", "two"});
    EXPECT_EQ(pixel(140, row_y(1)), 0xCCFF00u);
    // The focus rectangle sits on the caret row's edge only while focused.
    RECT edge{14, row_y(0) - row() / 2, 150, row_y(0) - row() / 2 + 1};
    EXPECT_EQ(ink(edge), 0);
    SetFocus(m_list);
    EXPECT_GT(ink(edge), 20);
}

TEST_F(ListBoxTest, DisabledTakesNoInput) {
    m_list = make_list(LBS_NOTIFY | WS_DISABLED, {"one", "two"});
    click(60, row_y(1));
    m_display->key("Down");
    pump();
    EXPECT_TRUE(g_notes.empty());
    EXPECT_EQ(SendMessage(m_list, LB_GETCURSEL, 0, 0), LB_ERR);
    EXPECT_NE(GetFocus(), m_list);
    RECT text{14, row_y(0) - 6, 60, row_y(0) + 6};
    int grey = darkest(text);
    EXPECT_GT(grey, 200);
    EXPECT_LT(grey, 500);
}

TEST_F(ListBoxTest, ManyItemsPaintOnce) {
    int paints = 0;
    g_parent_handler = [&paints](HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
        paints += m == WM_CTLCOLORLISTBOX;  // asked once per paint
        return false;
    };
    m_list = make(WC_LISTBOX, "", LBS_NOTIFY | WS_VSCROLL, 10, 10, 150, 100, 5, WS_EX_CLIENTEDGE);
    pump();
    paints = 0;
    for (int i = 0; i < 10000; ++i) SendMessage(m_list, LB_ADDSTRING, 0, str("an item of the list"));
    pump();
    EXPECT_EQ(paints, 1);
    SCROLLINFO si;
    si.fMask = SIF_RANGE;
    GetScrollInfo(m_list, SB_VERT, &si);
    EXPECT_EQ(si.nMax, 9999);
    SendMessage(m_list, LB_SETCURSEL, 9999, 0);
    EXPECT_GT(SendMessage(m_list, LB_GETTOPINDEX, 0, 0), 9990);
}

TEST_F(ListBoxTest, FontsSetTheRowHeight) {
    m_list = make_list(LBS_NOINTEGRALHEIGHT, {"a"});
    int before = row();
    HFONT big = CreateFontFromDescription("DejaVu Sans 18");
    SendMessage(m_list, WM_SETFONT, big, 1);
    EXPECT_EQ(static_cast<HFONT>(SendMessage(m_list, WM_GETFONT, 0, 0)), big);
    EXPECT_GT(row(), before * 3 / 2);
    EXPECT_EQ(SendMessage(m_list, LB_SETITEMHEIGHT, 0, 30), LB_OKAY);  // a height of its own
    EXPECT_EQ(row(), 30);
    EXPECT_EQ(SendMessage(m_list, LB_SETITEMHEIGHT, 0, 0), LB_ERR);
    DeleteFont(big);
}

TEST(ListBoxDpi, RowsScaleWithTheMonitor) {
    std::vector<Monitor> monitors;
    ASSERT_TRUE(MemoryDisplay::parse_monitors("1024x768@96,1024x768+1024+0@192", &monitors));
    ASSERT_TRUE(open(std::make_unique<MemoryDisplay>(monitors)));
    register_system_controls();
    HWND a = CreateWindowEx(0, WC_LISTBOX, "", WS_VISIBLE, 10, 10, 100, 100, 0);
    HWND b = CreateWindowEx(0, WC_LISTBOX, "", WS_VISIBLE, 1100, 10, 100, 100, 0);
    LRESULT ha = SendMessage(a, LB_GETITEMHEIGHT, 0, 0), hb = SendMessage(b, LB_GETITEMHEIGHT, 0, 0);
    EXPECT_GE(hb, 2 * ha - 2);
    EXPECT_LE(hb, 2 * ha + 2);
    close();
}

}  // namespace
