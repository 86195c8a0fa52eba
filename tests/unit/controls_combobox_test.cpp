#include "platform/controls/combobox.hpp"

#include <algorithm>

#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

LPARAM str(const char* s) { return reinterpret_cast<LPARAM>(s); }

class ComboTest : public ControlsTest {
protected:
    HWND make_combo(uint32_t kind, int n_items, uint32_t extra = 0, int x = 10, int y = 10) {
        m_combo = CreateWindowEx(0, WC_COMBOBOX, "", WS_CHILD | WS_VISIBLE | kind | extra, x, y, 150, 24, m_top, 7);
        static const char* names[] = {"apple", "banana", "cherry", "date", "elder", "fig"};
        for (int i = 0; i < n_items; ++i) {
            std::string s = i < 6 ? names[i] : "item " + std::to_string(i);
            SendMessage(m_combo, CB_ADDSTRING, 0, str(s.c_str()));
        }
        return m_combo;
    }
    // The open drop list: the shown ComboLBox top-level.
    HWND popup() {
        for (HWND h : EnumWindows())
            if (GetClassName(h) == WC_COMBOLBOX && IsWindowVisible(h)) return h;
        return 0;
    }
    int row() { return static_cast<int>(SendMessage(m_combo, CB_GETITEMHEIGHT, 0, 0)); }
    // A screen point in the middle of row i of the open list (inside its 1-px frame).
    POINT row_point(int i) {
        RECT r;
        GetWindowRect(popup(), &r);
        return {r.left + 40, r.top + 1 + i * row() + row() / 2};
    }
    void press_key(const char* combo) {
        m_display->key(combo);
        pump();
    }
    std::string text() { return GetWindowText(m_combo); }
    LRESULT cur() { return SendMessage(m_combo, CB_GETCURSEL, 0, 0); }
    HWND m_combo = 0;
};

TEST_F(ComboTest, MessagesAndAnswers) {
    make_combo(CBS_DROPDOWNLIST, 0);
    struct Step {
        UINT msg;
        WPARAM wp;
        LPARAM lp;
        LRESULT answer;
        const char* shown;  // the window text after it, null: not checked
    };
    const WPARAM none = static_cast<WPARAM>(-1);
    const Step steps[] = {
        {CB_GETCURSEL, 0, 0, CB_ERR, ""},
        {CB_ADDSTRING, 0, str("pear"), 0, nullptr},
        {CB_ADDSTRING, 0, str("plum"), 1, nullptr},
        {CB_INSERTSTRING, 0, str("kiwi"), 0, nullptr},  // kiwi pear plum
        {CB_INSERTSTRING, 5, str("x"), CB_ERR, nullptr},
        {CB_GETCOUNT, 0, 0, 3, nullptr},
        {CB_GETLBTEXTLEN, 2, 0, 4, nullptr},
        {CB_GETLBTEXTLEN, 3, 0, CB_ERR, nullptr},
        {CB_SETCURSEL, 1, 0, 1, "pear"},
        {CB_GETCURSEL, 0, 0, 1, nullptr},
        {CB_INSERTSTRING, 0, str("fig"), 0, "pear"},  // the selection follows its item
        {CB_GETCURSEL, 0, 0, 2, nullptr},
        {CB_DELETESTRING, 2, 0, 3, ""},  // the selected one gone
        {CB_GETCURSEL, 0, 0, CB_ERR, nullptr},
        {CB_SETCURSEL, 2, 0, 2, "plum"},
        {CB_SETCURSEL, 9, 0, CB_ERR, ""},  // out of range clears it
        {CB_GETCURSEL, 0, 0, CB_ERR, nullptr},
        {CB_FINDSTRING, none, str("PL"), 2, nullptr},
        {CB_FINDSTRINGEXACT, none, str("kiwi"), 1, nullptr},
        {CB_SELECTSTRING, none, str("k"), 1, "kiwi"},
        {WM_SETTEXT, 0, str("FIG"), 1, "fig"},  // a drop-list shows items only
        {WM_SETTEXT, 0, str("nope"), CB_ERR, "fig"},
        {WM_GETTEXTLENGTH, 0, 0, 3, nullptr},
        {CB_GETDROPPEDSTATE, 0, 0, 0, nullptr},
        {CB_GETMINVISIBLE, 0, 0, 30, nullptr},
        {CB_SETMINVISIBLE, 0, 0, 0, nullptr},
        {CB_SETMINVISIBLE, 12, 0, 1, nullptr},
        {CB_GETMINVISIBLE, 0, 0, 12, nullptr},
        {CB_GETEDITSEL, 0, 0, CB_ERR, nullptr},  // no edit in a drop-list
        {CB_SETEDITSEL, 0, 0, CB_ERR, nullptr},
        {CB_LIMITTEXT, 5, 0, CB_ERR, nullptr},
        {CB_SETITEMDATA, 1, 77, CB_OKAY, nullptr},
        {CB_GETITEMDATA, 1, 0, 77, nullptr},
        {CB_RESETCONTENT, 0, 0, 0, ""},
        {CB_GETCOUNT, 0, 0, 0, nullptr},
        {CB_GETCURSEL, 0, 0, CB_ERR, nullptr},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << std::hex << s.msg << " " << std::dec << static_cast<intptr_t>(s.wp));
        EXPECT_EQ(SendMessage(m_combo, s.msg, s.wp, s.lp), s.answer);
        if (s.shown) {
            EXPECT_EQ(text(), s.shown);
        }
    }
    char buf[16] = {};
    SendMessage(m_combo, CB_ADDSTRING, 0, str("grape"));
    EXPECT_EQ(SendMessage(m_combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf)), 5);
    EXPECT_STREQ(buf, "grape");
    EXPECT_TRUE(g_notes.empty());  // messages notify nothing
}

TEST_F(ComboTest, PopupOpensUnderTheFaceAndAClickPicks) {
    make_combo(CBS_DROPDOWNLIST, 4);
    SendMessage(m_combo, CB_SETCURSEL, 0, 0);
    click(60, 20);
    EXPECT_EQ(codes(), (std::vector<UINT>{CBN_SETFOCUS, CBN_DROPDOWN}));
    HWND list = popup();
    ASSERT_NE(list, 0u);
    EXPECT_EQ(SendMessage(m_combo, CB_GETDROPPEDSTATE, 0, 0), 1);
    auto style = static_cast<uint32_t>(GetWindowLong(list, GWL_STYLE));
    auto ex = static_cast<uint32_t>(GetWindowLong(list, GWL_EXSTYLE));
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(ex & (WS_EX_TOOLWINDOW | WS_EX_TOPMOST), WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    RECT r;
    GetWindowRect(list, &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 34);  // right under the face
    EXPECT_EQ(r.width(), 150);
    EXPECT_EQ(r.height(), 4 * row() + 2);  // the rows fill it
    EXPECT_FALSE(style & WS_VSCROLL);
    EXPECT_EQ(GetCapture(), list);
    EXPECT_EQ(GetFocus(), m_combo);  // the combo keeps the keyboard
    // The selection starts highlighted; the pointer moves the highlight.
    auto shown = [&](int i) { return m_display->pixel(list, 140, 1 + i * row() + row() / 2) & 0xFFFFFF; };
    pump();
    EXPECT_EQ(shown(0), 0x0078D7u);
    POINT p = row_point(2);
    m_display->move(p.x, p.y);
    pump();
    EXPECT_EQ(shown(0), 0xFFFFFFu);
    EXPECT_EQ(shown(2), 0x0078D7u);
    EXPECT_EQ(cur(), 0);  // nothing chosen yet
    g_notes.clear();
    click(p.x, p.y);
    EXPECT_EQ(codes(), (std::vector<UINT>{CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
    EXPECT_EQ(cur(), 2);
    EXPECT_EQ(text(), "cherry");
    EXPECT_FALSE(IsWindow(list));
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(GetFocus(), m_combo);
}

TEST_F(ComboTest, KeysInTheOpenList) {
    make_combo(CBS_DROPDOWNLIST, 5);
    SendMessage(m_combo, CB_SETCURSEL, 1, 0);
    SetFocus(m_combo);
    struct Case {
        const char* open;
        std::vector<const char*> keys;
        LRESULT cur;
        std::vector<UINT> codes;
    };
    const Case cases[] = {
        {"F4", {"Down", "Down", "Escape"}, 1, {CBN_DROPDOWN, CBN_SELENDCANCEL, CBN_CLOSEUP}},
        {"alt+Down", {"Down", "Return"}, 2, {CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}},
        {"F4", {"Return"}, 2, {CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP}},  // the same item: no change
        {"F4", {"End", "F4"}, 4, {CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}},
        {"alt+Up", {"Home", "e", "alt+Up"}, 4, {CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP}},
        {"F4", {"Prior", "Return"}, 0, {CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.open);
        g_notes.clear();
        press_key(c.open);
        EXPECT_NE(popup(), 0u);
        for (const char* k : c.keys) press_key(k);
        EXPECT_EQ(popup(), 0u);
        EXPECT_EQ(cur(), c.cur);
        EXPECT_EQ(codes(), c.codes);
        EXPECT_EQ(GetCapture(), 0u);
    }
}

TEST_F(ComboTest, ClickOutsideClosesUnchangedAndIsEaten) {
    HWND button = make(WC_BUTTON, "Go", BS_PUSHBUTTON, 250, 200, 80, 30, 9);
    make_combo(CBS_DROPDOWNLIST, 3);
    SendMessage(m_combo, CB_SETCURSEL, 1, 0);
    click(60, 20);
    POINT p = row_point(2);
    m_display->move(p.x, p.y);  // highlight another row first
    pump();
    g_notes.clear();
    click(280, 215);
    EXPECT_EQ(codes(), (std::vector<UINT>{CBN_SELENDCANCEL, CBN_CLOSEUP}));
    EXPECT_EQ(cur(), 1);
    EXPECT_EQ(popup(), 0u);
    EXPECT_NE(GetFocus(), button);
    // A click on the face while open closes it too.
    m_display->advance(1000);
    click(60, 20);
    EXPECT_NE(popup(), 0u);
    m_display->advance(1000);
    click(60, 20);
    EXPECT_EQ(popup(), 0u);
    // A press on the face dragged onto a row and let go there picks it.
    g_notes.clear();
    m_display->advance(1000);
    m_display->move(60, 20);
    m_display->press();
    pump();
    p = row_point(0);
    m_display->move(p.x, p.y);
    m_display->release();
    pump();
    EXPECT_EQ(cur(), 0);
    EXPECT_EQ(codes(), (std::vector<UINT>{CBN_DROPDOWN, CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
}

TEST_F(ComboTest, RowsUpToMinVisibleThenAScrollBar) {
    struct Case {
        int items, min_visible, rows;
        bool bar;
    };
    const Case cases[] = {{3, 30, 3, false}, {50, 30, 30, true}, {50, 10, 10, true}, {0, 30, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.items);
        make_combo(CBS_DROPDOWNLIST, c.items);
        SendMessage(m_combo, CB_SETMINVISIBLE, static_cast<WPARAM>(c.min_visible), 0);
        SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0);
        HWND list = popup();
        ASSERT_NE(list, 0u);
        RECT r;
        GetWindowRect(list, &r);
        EXPECT_EQ(r.height(), c.rows * row() + 2);
        EXPECT_EQ((GetWindowLong(list, GWL_STYLE) & WS_VSCROLL) != 0, c.bar);
        SendMessage(m_combo, CB_SHOWDROPDOWN, 0, 0);
        EXPECT_EQ(popup(), 0u);
        DestroyWindow(m_combo);
    }
}

TEST_F(ComboTest, OpensAboveWhenNoRoomBelow) {
    SetWindowPos(m_top, 0, 0, 600, 400, 168, SWP_NOZORDER);
    make_combo(CBS_DROPDOWNLIST, 20, 0, 10, 130);  // the face at 730..754 of a 768 screen
    SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0);
    RECT face, r;
    GetWindowRect(m_combo, &face);
    GetWindowRect(popup(), &r);
    EXPECT_EQ(r.bottom, face.top);
    EXPECT_EQ(r.height(), 20 * row() + 2);
}

TEST_F(ComboTest, TheListsBarScrollsWithoutClosing) {
    make_combo(CBS_DROPDOWNLIST, 50);
    click(60, 20);
    HWND list = popup();
    ASSERT_NE(list, 0u);
    RECT r;
    GetWindowRect(list, &r);
    int bar = scroll_bar_size(list);
    EXPECT_EQ(GetScrollPos(list, SB_VERT), 0);
    click(r.right - bar / 2, r.bottom - bar / 2);  // the down arrow
    EXPECT_EQ(GetScrollPos(list, SB_VERT), 1);
    EXPECT_EQ(popup(), list);
    EXPECT_EQ(GetCapture(), list);  // back with the list after the bar's drag
    m_display->move(r.left + 20, r.bottom + 20);
    m_display->wheel(-1);
    pump();
    EXPECT_EQ(GetScrollPos(list, SB_VERT), 4);
    press_key("Escape");
    EXPECT_EQ(popup(), 0u);
    EXPECT_EQ(cur(), CB_ERR);
}

TEST_F(ComboTest, AHeldPointerBelowTheListScrollsIt) {
    make_combo(CBS_DROPDOWNLIST, 50);
    SendMessage(m_combo, CB_SETMINVISIBLE, 5, 0);
    m_display->move(60, 20);
    m_display->press();  // opens; held into the list and past its bottom
    pump();
    HWND list = popup();
    ASSERT_NE(list, 0u);
    RECT r;
    GetWindowRect(list, &r);
    POINT p = row_point(1);
    m_display->move(p.x, p.y);
    m_display->move(p.x, r.bottom + 10);
    m_display->advance(500);
    pump();
    EXPECT_GT(GetScrollPos(list, SB_VERT), 5);
    m_display->release();  // below the list: nothing picked, still open
    pump();
    EXPECT_EQ(popup(), list);
    press_key("Return");  // the highlight followed the scrolling
    EXPECT_GT(cur(), 9);
}

TEST_F(ComboTest, ClosedDropListSelectsAtOnce) {
    make_combo(CBS_DROPDOWNLIST, 6);
    SetFocus(m_combo);
    struct Step {
        const char* key;
        LRESULT cur;
        bool notified;
    };
    const Step steps[] = {
        {"Down", 0, true}, {"Down", 1, true}, {"Up", 0, true}, {"Up", 0, false},
        {"d", 3, true},    {"End", 5, true},  {"c", 2, true},  {"q", 2, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.key);
        g_notes.clear();
        press_key(s.key);
        EXPECT_EQ(cur(), s.cur);
        EXPECT_EQ(codes(), s.notified ? std::vector<UINT>{CBN_SELCHANGE} : std::vector<UINT>{});
        EXPECT_EQ(popup(), 0u);
    }
    EXPECT_EQ(text(), "cherry");
}

TEST_F(ComboTest, DropDownEditsInItsEditChild) {
    make_combo(CBS_DROPDOWN | CBS_AUTOHSCROLL, 4);
    std::vector<HWND> kids = EnumChildWindows(m_combo);
    ASSERT_EQ(kids.size(), 1u);
    HWND edit = kids[0];
    EXPECT_EQ(GetClassName(edit), WC_EDIT);
    EXPECT_EQ(GetWindowLong(edit, GWLP_ID), 1001);
    click(40, 20);  // into the edit
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(popup(), 0u);  // only the button opens a drop-down
    press_key("c");
    press_key("h");
    EXPECT_EQ(codes(), (std::vector<UINT>{CBN_SETFOCUS, CBN_EDITCHANGE, CBN_EDITCHANGE}));
    EXPECT_EQ(text(), "ch");
    EXPECT_EQ(SendMessage(m_combo, WM_GETTEXTLENGTH, 0, 0), 2);
    // Set by message: the text follows, no CBN_EDITCHANGE.
    g_notes.clear();
    EXPECT_EQ(SendMessage(m_combo, CB_SETCURSEL, 1, 0), 1);
    EXPECT_EQ(GetWindowText(edit), "banana");
    SetWindowText(m_combo, "free text");
    EXPECT_EQ(GetWindowText(edit), "free text");
    EXPECT_EQ(cur(), 1);
    EXPECT_TRUE(g_notes.empty());
    // Typing into a closed list leaves no selection: the text is no item.
    press_key("x");
    EXPECT_EQ(cur(), CB_ERR);
    // The edit's selection through the combo.
    EXPECT_EQ(SendMessage(m_combo, CB_SETEDITSEL, 0, 2 | (5 << 16)), 1);
    uint32_t from = 0, to = 0;
    SendMessage(m_combo, CB_GETEDITSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 2u);
    EXPECT_EQ(to, 5u);
    EXPECT_EQ(SendMessage(m_combo, CB_LIMITTEXT, 20, 0), 1);
    EXPECT_EQ(SendMessage(edit, EM_GETLIMITTEXT, 0, 0), 20);
    // Up and Down in the edit choose items; typing in the open list highlights.
    g_notes.clear();
    press_key("Down");
    EXPECT_EQ(cur(), 0);
    EXPECT_EQ(GetWindowText(edit), "apple");
    press_key("F4");
    SendMessage(m_combo, CB_SETEDITSEL, 0, static_cast<LPARAM>(0xFFFF0000));  // all, to type over it
    press_key("d");
    press_key("Return");
    EXPECT_EQ(cur(), 3);
    EXPECT_EQ(GetWindowText(edit), "date");
    EXPECT_EQ(codes(), (std::vector<UINT>{CBN_SELCHANGE, CBN_DROPDOWN, CBN_EDITCHANGE, CBN_SELENDOK, CBN_CLOSEUP,
                                          CBN_SELCHANGE}));
    // A pick from the list by the button and the pointer.
    RECT face;
    GetWindowRect(m_combo, &face);
    click(face.right - 5, 20);
    ASSERT_NE(popup(), 0u);
    POINT p = row_point(2);
    m_display->move(p.x, p.y);
    click(p.x, p.y);
    EXPECT_EQ(GetWindowText(edit), "cherry");
    EXPECT_EQ(text(), "cherry");
    EXPECT_EQ(GetFocus(), edit);
}

TEST_F(ComboTest, FocusCodesOnceForTheComboAndItsEdit) {
    for (uint32_t kind : {CBS_DROPDOWN, CBS_DROPDOWNLIST}) {
        SCOPED_TRACE(kind);
        make_combo(kind, 3);
        g_notes.clear();
        SetFocus(m_combo);
        EXPECT_EQ(codes(), std::vector<UINT>{CBN_SETFOCUS});
        SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0);
        g_notes.clear();
        SetFocus(m_top);  // the focus leaving closes the list
        EXPECT_EQ(codes(), (std::vector<UINT>{CBN_SELENDCANCEL, CBN_CLOSEUP, CBN_KILLFOCUS}));
        EXPECT_EQ(popup(), 0u);
        DestroyWindow(m_combo);
    }
}

TEST_F(ComboTest, ItemsChangedWhileOpen) {
    make_combo(CBS_DROPDOWNLIST, 5);
    SendMessage(m_combo, CB_SETCURSEL, 4, 0);
    SetFocus(m_combo);
    press_key("F4");
    HWND list = popup();
    SendMessage(m_combo, CB_DELETESTRING, 4, 0);  // the highlighted item goes
    SendMessage(m_combo, CB_ADDSTRING, 0, str("grape"));
    EXPECT_EQ(popup(), list);
    press_key("Return");  // nothing highlighted: nothing chosen
    EXPECT_EQ(cur(), CB_ERR);
    press_key("F4");
    press_key("End");
    SendMessage(m_combo, CB_RESETCONTENT, 0, 0);
    press_key("Down");
    press_key("Return");
    EXPECT_EQ(cur(), CB_ERR);
    EXPECT_EQ(popup(), 0u);
    char buf[8] = "x";
    EXPECT_EQ(SendMessage(m_combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(buf)), CB_ERR);
    EXPECT_EQ(SendMessage(m_combo, CB_GETLBTEXT, 0, 0), CB_ERR);
}

TEST_F(ComboTest, DestroyedWhileOpen) {
    make_combo(CBS_DROPDOWNLIST, 3);
    SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0);
    HWND list = popup();
    ASSERT_NE(list, 0u);
    DestroyWindow(m_combo);
    EXPECT_FALSE(IsWindow(list));
    EXPECT_EQ(GetCapture(), 0u);
    pump();
}

// ---- looks and input states ------------------------------------------------------------

TEST_F(ComboTest, FaceLooks) {
    make_combo(CBS_DROPDOWNLIST, 3);
    SendMessage(m_combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(pixel(100, 22), 0xFFFFFFu);  // right of the text, left of the button
    EXPECT_GT(ink({14, 14, 60, 32}), 3);   // "apple"
    EXPECT_GT(ink({145, 14, 158, 32}), 3);  // the arrow
    SetFocus(m_combo);
    EXPECT_EQ(pixel(100, 22), 0x0078D7u);  // a focused drop-list shows its item selected
    DesktopSettings s = desktop_settings();
    s.dark = true;
    m_display->set_settings(s);
    InvalidateRect(m_combo, nullptr, true);
    EXPECT_EQ(pixel(100, 22), 0x005FB8u);
}

TEST_F(ComboTest, DisabledTakesNoInput) {
    make_combo(CBS_DROPDOWNLIST, 3, WS_DISABLED);
    click(60, 20);
    m_display->key("F4");
    pump();
    EXPECT_EQ(popup(), 0u);
    EXPECT_TRUE(g_notes.empty());
    EXPECT_EQ(SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0), 1);
    EXPECT_EQ(popup(), 0u);
    make_combo(CBS_DROPDOWN, 3, WS_DISABLED, 10, 60);
    EXPECT_FALSE(IsWindowEnabled(EnumChildWindows(m_combo)[0]));
    EnableWindow(m_combo, true);
    EXPECT_TRUE(IsWindowEnabled(EnumChildWindows(m_combo)[0]));
}

TEST_F(ComboTest, FontReachesTheEditAndTheList) {
    make_combo(CBS_DROPDOWN, 3);
    HWND edit = EnumChildWindows(m_combo)[0];
    int before = row();
    HFONT big = CreateFontFromDescription("DejaVu Sans 18");
    SendMessage(m_combo, WM_SETFONT, big, 1);
    EXPECT_EQ(static_cast<HFONT>(SendMessage(m_combo, WM_GETFONT, 0, 0)), big);
    EXPECT_EQ(static_cast<HFONT>(SendMessage(edit, WM_GETFONT, 0, 0)), big);
    EXPECT_GT(row(), before * 3 / 2);
    SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0);
    RECT r;
    GetWindowRect(popup(), &r);
    EXPECT_EQ(r.height(), 3 * row() + 2);
    SendMessage(m_combo, CB_SHOWDROPDOWN, 0, 0);
    DeleteFont(big);
}

TEST_F(ComboTest, ColoursAskedOfTheParent) {
    std::vector<std::pair<UINT, HWND>> asked;
    g_parent_handler = [&asked](HWND, UINT m, WPARAM w, LPARAM l, LRESULT* r) {
        if (m != WM_CTLCOLOREDIT && m != WM_CTLCOLORLISTBOX) return false;
        asked.emplace_back(m, static_cast<HWND>(l));
        SetDCBrushColor(reinterpret_cast<HDC>(w), 0x00FFCC);
        *r = GetDCBrush();
        return true;
    };
    make_combo(CBS_DROPDOWN, 3);
    HWND edit = EnumChildWindows(m_combo)[0];
    EXPECT_EQ(pixel(60, 22), 0xCCFF00u);  // the edit's background, through the combo
    SendMessage(m_combo, CB_SHOWDROPDOWN, 1, 0);
    pump();
    HWND list = popup();
    EXPECT_EQ(m_display->pixel(list, 140, 1 + row() + row() / 2) & 0xFFFFFF, 0xCCFF00u);
    EXPECT_NE(std::find(asked.begin(), asked.end(), std::make_pair(UINT{WM_CTLCOLOREDIT}, edit)), asked.end());
    EXPECT_NE(std::find(asked.begin(), asked.end(), std::make_pair(UINT{WM_CTLCOLORLISTBOX}, m_combo)), asked.end());
}

}  // namespace
