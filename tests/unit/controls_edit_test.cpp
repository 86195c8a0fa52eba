#include "platform/controls/edit.hpp"
#include "services/clipboard.hpp"
#include "tests/fuzz/edit_ops.hpp"
#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

using Sel = std::pair<uint32_t, uint32_t>;

Sel sel(HWND e) {
    uint32_t a = 0, b = 0;
    SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return {a, b};
}

class EditTest : public ControlsTest {
protected:
    void TearDown() override {
        set_edit_clipboard(nullptr, nullptr);
        set_edit_context_menu(nullptr);
        ControlsTest::TearDown();
    }
    // Space separated combos ("ctrl+Left shift+End"), then the loop runs.
    void keys(std::string_view combos) {
        size_t at = 0;
        while (at < combos.size()) {
            size_t sp = std::min(combos.find(' ', at), combos.size());
            m_display->key(combos.substr(at, sp - at));
            at = sp + 1;
        }
        pump();
    }
    // An area as the GUI makes it (both bars; wrapping drops ES_AUTOHSCROLL
    // and WS_HSCROLL).
    HWND area(std::string_view text, bool wrap, int w = 200, int h = 100, uint32_t id = 3) {
        uint32_t style = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | (wrap ? 0 : ES_AUTOHSCROLL | WS_HSCROLL);
        HWND e = make(WC_EDIT, "", style, 10, 10, w, h, id, WS_EX_CLIENTEDGE);
        SetWindowText(e, text);
        return e;
    }
    struct KeyCase {
        const char* keys;  // space separated combos
        const char* text;  // then the text and the selection
        Sel sel;
    };
    template <size_t N>
    void run_keys(HWND e, const KeyCase (&cases)[N]) {
        for (const KeyCase& c : cases) {
            keys(c.keys);
            EXPECT_EQ(GetWindowText(e), c.text) << c.keys;
            EXPECT_EQ(sel(e), c.sel) << c.keys;
        }
    }
    static std::string selected_text(HWND e) {
        std::string all = GetWindowText(e);
        uint32_t a = 0, b = 0;
        SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
        // Positions count code points; these tests keep to ASCII there.
        return all.substr(a, b - a);
    }
};


TEST_F(EditTest, TypingAndKeys) {
    HWND e = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 10, 200, 24, 5, WS_EX_CLIENTEDGE);
    click(50, 20);
    EXPECT_EQ(GetFocus(), e);
    EXPECT_EQ(g_notes, (std::vector<Note>{{WM_COMMAND, EN_SETFOCUS, 5, e}}));
    g_notes.clear();
    m_display->commit_text("héllo world");
    pump();
    EXPECT_EQ(GetWindowText(e), "héllo world");
    std::vector<UINT> sent = codes();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), EN_CHANGE), 11);
    const KeyCase cases[] = {
        {"Home", "héllo world", {0, 0}},
        {"ctrl+Right", "héllo world", {6, 6}},
        {"shift+End", "héllo world", {6, 11}},
        {"Delete", "héllo ", {6, 6}},
        {"ctrl+z", "héllo world", {6, 11}},  // undo brings text and selection back
        {"ctrl+a", "héllo world", {0, 11}},
        {"Right", "héllo world", {11, 11}},  // an arrow collapses to its side
        {"ctrl+Left BackSpace", "hélloworld", {5, 5}},
        {"BackSpace", "héllworld", {4, 4}},
        {"shift+Left shift+Left", "héllworld", {2, 4}},
        {"Left", "héllworld", {2, 2}},
        {"End ctrl+BackSpace", "", {0, 0}},
        {"Return Tab Escape", "", {0, 0}},  // control characters never inserted
    };
    run_keys(e, cases);
}

TEST_F(EditTest, ClipboardKeysAndPassword) {
    HWND e = make(WC_EDIT, "copy me", ES_AUTOHSCROLL, 10, 10, 200, 24);
    SetFocus(e);
    SendMessage(e, EM_SETSEL, 0, 4);
    m_display->key("ctrl+c");
    m_display->key("End");
    m_display->key("ctrl+v");
    pump();
    EXPECT_EQ(GetWindowText(e), "copy mecopy");
    SendMessage(e, EM_SETSEL, 0, 5);
    m_display->key("shift+Delete");  // cut
    m_display->key("End");
    m_display->key("shift+Insert");  // paste
    pump();
    EXPECT_EQ(GetWindowText(e), "mecopycopy ");
    SendMessage(e, EM_SETSEL, 0, -1);
    m_display->key("ctrl+Insert");
    pump();
    std::string clip;
    edit_clipboard_read(&clip);
    EXPECT_EQ(clip, "mecopycopy ");
    // Nothing is copied or cut out of a password field.
    HWND p = make(WC_EDIT, "secret", ES_PASSWORD | ES_AUTOHSCROLL, 10, 50, 200, 24);
    EXPECT_EQ(SendMessage(p, EM_GETPASSWORDCHAR, 0, 0), 0x25CF);
    SetFocus(p);
    m_display->key("ctrl+a");
    m_display->key("ctrl+c");
    m_display->key("ctrl+x");
    pump();
    edit_clipboard_read(&clip);
    EXPECT_EQ(clip, "mecopycopy ");
    EXPECT_EQ(GetWindowText(p), "secret");
    // A pasted line stops at its first break.
    edit_clipboard_write("one\ntwo");
    m_display->key("ctrl+v");
    pump();
    EXPECT_EQ(GetWindowText(p), "one");
}

TEST_F(EditTest, LimitUndoAndSetText) {
    HWND e = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 10, 200, 24, 2);
    EXPECT_EQ(SendMessage(e, EM_GETLIMITTEXT, 0, 0), 32767);
    SendMessage(e, EM_SETLIMITTEXT, 5, 0);
    SetFocus(e);
    g_notes.clear();
    m_display->commit_text("abcdefg");
    pump();
    EXPECT_EQ(GetWindowText(e), "abcde");  // typing past the limit refused
    std::vector<UINT> sent = codes();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), EN_MAXTEXT), 2);
    edit_clipboard_write("0123456789");
    SendMessage(e, EM_SETSEL, 1, 3);
    SendMessage(e, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowText(e), "a01de");  // a paste cut to the limit
    EXPECT_EQ(SendMessage(e, EM_CANUNDO, 0, 0), 1);
    SendMessage(e, EM_UNDO, 0, 0);
    EXPECT_EQ(GetWindowText(e), "abcde");
    SendMessage(e, EM_UNDO, 0, 0);  // undo of the undo: the redo
    EXPECT_EQ(GetWindowText(e), "a01de");
    g_notes.clear();
    SetWindowText(e, "a text longer than five");  // never cut
    EXPECT_EQ(GetWindowText(e), "a text longer than five");
    EXPECT_EQ(SendMessage(e, WM_GETTEXTLENGTH, 0, 0), 23);
    EXPECT_EQ(codes(), std::vector<UINT>{EN_CHANGE});  // a one-line control notifies
    EXPECT_EQ(SendMessage(e, EM_CANUNDO, 0, 0), 0);    // and forgets its undo
    SendMessage(e, EM_SETLIMITTEXT, 0, 0);  // 0: as large as can be
    SendMessage(e, EM_SETSEL, 2, 6);
    SendMessage(e, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>("TEXT"));
    EXPECT_EQ(GetWindowText(e), "a TEXT longer than five");
    EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{6, 6}));
    SendMessage(e, EM_SETSEL, 100, -1);
    EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{23, 23}));
    SendMessage(e, EM_SETSEL, 3, 1);  // reversed: the caret at 1
    EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{1, 3}));
    // Without ES_AUTOHSCROLL typing stops at the right edge.
    HWND narrow = make(WC_EDIT, "", 0, 10, 50, 40, 24);
    SetFocus(narrow);
    m_display->commit_text("WWWWWWWWWWWWWWWWWWWW");
    pump();
    EXPECT_LT(GetWindowText(narrow).size(), 8u);
    EXPECT_GT(GetWindowText(narrow).size(), 0u);
}

TEST_F(EditTest, MouseSelection) {
    HWND e = make(WC_EDIT, "alpha beta gamma", ES_AUTOHSCROLL, 10, 10, 300, 24);
    click(12, 20);
    EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{0, 0}));
    // Drag to the end.
    m_display->advance(1000);
    m_display->move(12, 20);
    m_display->press();
    m_display->move(305, 20);
    m_display->release();
    pump();
    EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{0, 16}));
    // A double click selects a word.
    m_display->advance(1000);
    SendMessage(e, EM_SETSEL, 8, 8);
    pump();
    POINT caret;
    GetCaretPos(&caret);
    click(10 + caret.x, 20);
    click(10 + caret.x, 20);
    EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{6, 10}));
    g_notes.clear();
    SetFocus(m_top);
    EXPECT_EQ(codes(), std::vector<UINT>{EN_KILLFOCUS});
}

TEST_F(EditTest, Looks) {
    HWND e = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 10, 200, 24, 1, WS_EX_CLIENTEDGE);
    EXPECT_EQ(pixel(100, 22), 0xFFFFFFu);  // COLOR_WINDOW inside
    SendMessage(e, EM_SETCUEBANNER, 0, reinterpret_cast<LPARAM>("WWWW hint"));
    int hint = darkest({12, 12, 120, 32});
    EXPECT_GT(hint, 250);  // grey
    EXPECT_LT(hint, 500);
    SetWindowText(e, "WWWW");
    EXPECT_GT(darkest({12, 12, 120, 32}), 600);
    // The selection in COLOR_HIGHLIGHT while focused, hidden when not.
    SetFocus(e);
    SendMessage(e, EM_SETSEL, 0, -1);
    EXPECT_EQ(pixel(16, 14), 0x0078D7u);
    SetFocus(m_top);
    EXPECT_NE(pixel(16, 14), 0x0078D7u);
    // A password shows bullets, not its letters.
    HWND p = make(WC_EDIT, "iiii", ES_PASSWORD, 10, 50, 200, 24);
    int bullets = ink({10, 50, 210, 74});
    SendMessage(p, EM_SETPASSWORDCHAR, 0, 0);
    EXPECT_NE(ink({10, 50, 210, 74}), bullets);
}

}  // namespace

namespace {

POINT point_of(HWND e, uint32_t position) {
    auto p = static_cast<uint32_t>(SendMessage(e, EM_POSFROMCHAR, position, 0));
    RECT r;
    GetWindowRect(e, &r);
    return {r.left + static_cast<int16_t>(p & 0xFFFF), r.top + static_cast<int16_t>(p >> 16)};
}

TEST_F(EditTest, SeveralLinesCountBreaksAsCrLf) {
    HWND e = area("a\nbcdef", false);
    EXPECT_EQ(GetWindowText(e), "a\r\nbcdef");
    // The language's selection 2x5 (LF, b, c, d) is control positions 1 to 6.
    SendMessage(e, EM_SETSEL, 1, 6);
    EXPECT_EQ(selected_text(e), "\r\nbcd");
    struct Case {
        UINT msg;
        WPARAM wp;
        LRESULT answer;
    };
    const Case cases[] = {
        {WM_GETTEXTLENGTH, 0, 8}, {EM_GETLINECOUNT, 0, 2}, {EM_LINEINDEX, 0, 0}, {EM_LINEINDEX, 1, 3},
        {EM_LINEINDEX, 2, -1},    {EM_LINEFROMCHAR, 1, 0}, {EM_LINEFROMCHAR, 3, 1}, {EM_LINEFROMCHAR, 8, 1},
        {EM_LINELENGTH, 0, 1},    {EM_LINELENGTH, 4, 5},   {EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0},
    };
    for (const Case& c : cases) EXPECT_EQ(SendMessage(e, c.msg, c.wp, 0), c.answer) << std::hex << c.msg << " " << c.wp;
    // Every break given becomes CR LF: LF, CR and CR LF alike.
    SetWindowText(e, "x\ry\r\nz\n");
    EXPECT_EQ(GetWindowText(e), "x\r\ny\r\nz\r\n");
    EXPECT_EQ(SendMessage(e, EM_GETLINECOUNT, 0, 0), 4);
    // No position falls between a CR and its LF.
    SendMessage(e, EM_SETSEL, 2, 2);
    EXPECT_EQ(sel(e), (Sel{1, 1}));
    SendMessage(e, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>("1\n2"));
    EXPECT_EQ(GetWindowText(e), "x1\r\n2\r\ny\r\nz\r\n");
    // A one-line control keeps what it is given.
    HWND f = make(WC_EDIT, "p\nq", ES_AUTOHSCROLL, 10, 150, 200, 24);
    EXPECT_EQ(GetWindowText(f), "p\nq");
}

TEST_F(EditTest, KeysInAnArea) {
    HWND e = area("aaaa aaaa\nbb\naaaa aaaa", false, 300, 100);
    SetFocus(e);
    const char* start = "aaaa aaaa\r\nbb\r\naaaa aaaa";
    const KeyCase cases[] = {
        {"ctrl+End", start, {24, 24}},
        {"ctrl+Home", start, {0, 0}},
        {"End", start, {9, 9}},
        {"Right", start, {11, 11}},  // a break is one step
        {"Left", start, {9, 9}},
        {"Down", start, {13, 13}},
        {"Down", start, {24, 24}},  // back to the column it started from
        {"Up Up", start, {9, 9}},
        {"Home shift+Down", start, {0, 11}},
        {"ctrl+Right", start, {15, 15}},
        {"ctrl+Left", start, {11, 11}},
        {"BackSpace", "aaaa aaaabb\r\naaaa aaaa", {9, 9}},
        {"Return Tab", "aaaa aaaa\r\n\tbb\r\naaaa aaaa", {12, 12}},  // inserted in an area
        {"ctrl+z", "aaaa aaaabb\r\naaaa aaaa", {9, 9}},               // the typing run at once
        {"ctrl+a", "aaaa aaaabb\r\naaaa aaaa", {0, 22}},
        {"shift+Up", "aaaa aaaabb\r\naaaa aaaa", {0, 9}},
        {"Delete", "bb\r\naaaa aaaa", {0, 0}},
        {"End Delete", "bbaaaa aaaa", {2, 2}},  // the break at once
    };
    run_keys(e, cases);
}

TEST_F(EditTest, WrappingAndOwnScrollBars) {
    std::string words;
    for (int i = 0; i < 40; ++i) words += "word ";
    HWND wrapped = area(words, true, 120, 60);
    EXPECT_GT(SendMessage(wrapped, EM_GETLINECOUNT, 0, 0), 4);
    HWND unwrapped = area(words, false, 120, 60, 4);
    EXPECT_EQ(SendMessage(unwrapped, EM_GETLINECOUNT, 0, 0), 1);
    // End keeps the caret on its row of a wrapped line.
    SetFocus(wrapped);
    keys("ctrl+Home End");
    EXPECT_EQ(SendMessage(wrapped, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0), 0);
    DestroyWindow(wrapped);
    DestroyWindow(unwrapped);

    std::string lines;
    for (int i = 0; i < 100; ++i) lines += "line " + std::to_string(i) + "\n";
    HWND e = area(lines, false, 200, 100, 5);
    SCROLLINFO si;
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(e, SB_VERT, &si));
    EXPECT_EQ(si.nMax, 100);  // 101 rows, the last empty
    ASSERT_GT(si.nPage, 2u);
    ASSERT_LT(si.nPage, 10u);
    int page = static_cast<int>(si.nPage);
    SetFocus(e);
    g_notes.clear();
    struct Case {
        std::function<void()> act;
        int first_visible;
        std::vector<UINT> codes;
    };
    const Case cases[] = {
        {[&] { keys("ctrl+End"); }, 101 - page, {}},
        {[&] { keys("ctrl+Home"); }, 0, {}},
        {[&] { keys("Next"); }, page, {}},
        {[&] {
             m_display->move(100, 50);
             m_display->wheel(-1);  // toward the user: down
             pump();
         },
         page + 3, {EN_VSCROLL}},
        {[&] { SendMessage(e, WM_VSCROLL, SB_LINEUP, 0); }, page + 2, {EN_VSCROLL}},
        {[&] { click(10 + 200 - 9, 10 + 100 - 17 - 9); }, page + 3, {EN_VSCROLL}},  // the bar's arrow
        {[&] { SendMessage(e, WM_VSCROLL, SB_TOP, 0); }, 0, {EN_VSCROLL}},
        {[&] { SendMessage(e, EM_LINESCROLL, 0, 1000); }, 101 - page, {}},
        {[&] { SendMessage(e, EM_SCROLL, SB_PAGEUP, 0); }, 101 - page - (page - 1), {}},
    };
    for (const Case& c : cases) {
        g_notes.clear();
        c.act();
        EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), c.first_visible) << &c - cases;
        si.fMask = SIF_POS;
        GetScrollInfo(e, SB_VERT, &si);
        EXPECT_EQ(si.nPos, c.first_visible) << &c - cases;
        EXPECT_EQ(codes(), c.codes) << &c - cases;
    }
    // Whether a bar shows is the caller's: hidden, it stays hidden while the
    // text grows, and shows with the right range.
    ShowScrollBar(e, SB_VERT, false);
    SendMessage(e, EM_SETSEL, 0, 0);
    SendMessage(e, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>("more\nlines\n"));
    EXPECT_FALSE(GetWindowLong(e, GWL_STYLE) & WS_VSCROLL);
    ShowScrollBar(e, SB_VERT, true);
    si.fMask = SIF_ALL;
    GetScrollInfo(e, SB_VERT, &si);
    EXPECT_EQ(si.nMax, 102);
    EXPECT_EQ(si.nPos, SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0));
    // A short text keeps a shown bar, with nothing to scroll.
    SetWindowText(e, "short");
    EXPECT_TRUE(GetWindowLong(e, GWL_STYLE) & WS_VSCROLL);
    GetScrollInfo(e, SB_VERT, &si);
    EXPECT_EQ(si.nMax, 0);
    // The horizontal bar spans the longest line.
    HWND wide = area(words + "\nshort", false, 120, 60, 6);
    si.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(wide, SB_HORZ, &si));
    EXPECT_GT(si.nMax, 400);
    EXPECT_EQ(static_cast<int>(si.nPage), 120 - 17 - 4 - 4);
}

// The line index follows every replacement: each line's first position,
// and the text, against the same edits made on a plain string.
TEST_F(EditTest, LineIndexFollowsEdits) {
    HWND e = area("", false, 300, 200);
    SendMessage(e, EM_SETLIMITTEXT, 0, 0);
    std::u32string model;
    const char* pieces[] = {"x", "\n", "ab\ncd", "", "\xC3\xA9\n\n", "\r\n12\r"};
    const char32_t* pieces32[] = {U"x", U"\r\n", U"ab\r\ncd", U"", U"\u00E9\r\n\r\n", U"\r\n12\r\n"};
    uint32_t seed = 7;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245 + 12345;
        return n ? (seed >> 8) % n : 0;
    };
    for (int step = 0; step < 80; ++step) {
        uint32_t a = next(static_cast<uint32_t>(model.size()) + 1), b = next(static_cast<uint32_t>(model.size()) + 1);
        if (a > b) std::swap(a, b);
        // Keep off the middle of a break, as the control does.
        if (a > 0 && a < model.size() && model[a] == U'\n') --a;
        if (b > 0 && b < model.size() && model[b] == U'\n') --b;
        if (a > b) std::swap(a, b);
        uint32_t k = next(6);
        SendMessage(e, EM_SETSEL, a, b);
        SendMessage(e, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>(pieces[k]));
        model.replace(a, b - a, pieces32[k]);
        std::vector<uint32_t> starts{0};
        for (uint32_t i = 0; i + 1 < model.size(); ++i)
            if (model[i] == U'\r' && model[i + 1] == U'\n') starts.push_back(i + 2);
        ASSERT_EQ(SendMessage(e, EM_GETLINECOUNT, 0, 0), static_cast<LRESULT>(starts.size())) << step;
        for (size_t line = 0; line < starts.size(); ++line) {
            ASSERT_EQ(SendMessage(e, EM_LINEINDEX, line, 0), starts[line]) << step << " " << line;
            ASSERT_EQ(SendMessage(e, EM_LINEFROMCHAR, starts[line], 0), static_cast<LRESULT>(line)) << step;
        }
        std::u32string shown;
        for (char32_t c : GetWindowText(e)) shown += c;  // ASCII and one é: compare by length and ends
        ASSERT_EQ(static_cast<size_t>(SendMessage(e, EM_GETLIMITTEXT, 0, 0)), 0xFFFFFFFFu);
    }
}

TEST_F(EditTest, NotificationsAndAnswers) {
    HWND f = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 10, 200, 24, 4);
    HWND a = area("", false, 200, 100, 5);
    struct Case {
        const char* what;
        std::function<void()> act;
        std::vector<Note> notes;
    };
    const Case cases[] = {
        {"WM_SETTEXT, one line", [&] { SetWindowText(f, "x"); }, {{WM_COMMAND, EN_CHANGE, 4, f}}},
        {"WM_SETTEXT, an area", [&] { SetWindowText(a, "x"); }, {}},
        {"EM_REPLACESEL", [&] { SendMessage(a, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>("y")); },
         {{WM_COMMAND, EN_CHANGE, 5, a}}},
        {"EM_SETSEL", [&] { SendMessage(a, EM_SETSEL, 0, -1); }, {}},
        {"typing at the limit",
         [&] {
             SendMessage(f, EM_SETLIMITTEXT, 1, 0);
             SendMessage(f, WM_CHAR, 'z', 1);
         },
         {{WM_COMMAND, EN_MAXTEXT, 4, f}}},
        {"a paste cut to the limit",
         [&] {
             SendMessage(f, EM_SETLIMITTEXT, 3, 0);
             edit_clipboard_write("abcdef");
             SendMessage(f, EM_SETSEL, 1, 1);
             SendMessage(f, WM_PASTE, 0, 0);
         },
         {{WM_COMMAND, EN_MAXTEXT, 4, f}, {WM_COMMAND, EN_CHANGE, 4, f}}},
        {"undo", [&] { SendMessage(f, WM_UNDO, 0, 0); }, {{WM_COMMAND, EN_CHANGE, 4, f}}},
        {"focus", [&] { SetFocus(f); }, {{WM_COMMAND, EN_SETFOCUS, 4, f}}},
        {"focus moves", [&] { SetFocus(a); }, {{WM_COMMAND, EN_KILLFOCUS, 4, f}, {WM_COMMAND, EN_SETFOCUS, 5, a}}},
        {"read-only",
         [&] {
             SendMessage(a, EM_SETREADONLY, 1, 0);
             SendMessage(a, WM_CHAR, 'q', 1);
             SendMessage(a, WM_PASTE, 0, 0);
         },
         {}},
    };
    for (const Case& c : cases) {
        g_notes.clear();
        c.act();
        EXPECT_EQ(g_notes, c.notes) << c.what;
    }
    EXPECT_EQ(GetWindowText(f), "x");  // the paste undone
    EXPECT_EQ(GetWindowText(a), "yx");

    HWND f2 = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 40, 200, 24, 6);
    HWND a2 = area("", false, 200, 100, 7);
    struct Answer {
        HWND e;
        UINT msg;
        WPARAM wp;
        LRESULT answer;
    };
    const LRESULT one_line_keys = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
    const Answer answers[] = {
        {f2, EM_GETLIMITTEXT, 0, 32767},
        {a2, EM_GETLIMITTEXT, 0, 32767},
        {f2, EM_SETLIMITTEXT, 0, 0},
        {f2, EM_GETLIMITTEXT, 0, 0x7FFFFFFE},
        {a2, EM_SETLIMITTEXT, 0, 0},
        {a2, EM_GETLIMITTEXT, 0, 0xFFFFFFFF},
        {f2, EM_SETTABSTOPS, 0, 0},  // one line has none
        {a2, EM_SETTABSTOPS, 0, 1},
        {f2, EM_GETLINECOUNT, 0, 1},
        {a2, EM_GETLINECOUNT, 0, 1},
        {f2, WM_GETDLGCODE, 0, one_line_keys},
        {a2, WM_GETDLGCODE, 0, one_line_keys | DLGC_WANTALLKEYS},
        {a2, EM_SETPASSWORDCHAR, '*', 0},
        {a2, EM_GETPASSWORDCHAR, 0, 0},  // an area shows its text
        {f2, EM_SETPASSWORDCHAR, '*', 0},
        {f2, EM_GETPASSWORDCHAR, 0, '*'},
        {f2, EM_GETMODIFY, 0, 0},
        {f2, EM_CANUNDO, 0, 0},
        {f2, EM_POSFROMCHAR, 1, -1},  // past the end
    };
    for (const Answer& c : answers) EXPECT_EQ(SendMessage(c.e, c.msg, c.wp, 0), c.answer) << std::hex << c.msg;
    EXPECT_EQ(GetWindowLong(f2, GWL_STYLE) & ES_PASSWORD, static_cast<int32_t>(ES_PASSWORD));
}

TEST_F(EditTest, UndoRuns) {
    HWND e = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 10, 200, 24);
    SetFocus(e);
    struct Case {
        std::function<void()> act;
        const char* text;
        bool can_undo;
    };
    const Case cases[] = {
        {[&] { m_display->commit_text("abc"); pump(); }, "abc", true},
        {[&] { keys("ctrl+z"); }, "", true},  // the whole run
        {[&] { keys("ctrl+z"); }, "abc", true},  // and back
        {[&] { keys("BackSpace BackSpace"); }, "a", true},
        {[&] { keys("ctrl+z"); }, "abc", true},
        {[&] { keys("Home Delete Delete"); }, "c", true},
        {[&] { keys("ctrl+z"); }, "abc", true},
        {[&] { SendMessage(e, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>("!")); }, "!abc", false},
        {[&] { m_display->commit_text("z"); pump(); }, "!zabc", true},
        {[&] { SetWindowText(e, "new"); }, "new", false},
        {[&] { keys("ctrl+z"); }, "new", false},
    };
    for (const Case& c : cases) {
        c.act();
        EXPECT_EQ(GetWindowText(e), c.text) << &c - cases;
        EXPECT_EQ(SendMessage(e, EM_CANUNDO, 0, 0), c.can_undo) << &c - cases;
    }
}

TEST_F(EditTest, MouseInAnArea) {
    HWND e = area("zero\none two\ntwo\nthree\nfour\nfive\nsix\nseven\neight\nnine", false, 200, 120);
    POINT row1 = point_of(e, 6), row3 = point_of(e, 20);
    int line_h = point_of(e, 15).y - row1.y;
    ASSERT_GT(line_h, 5);
    click(row3.x + 1, row3.y + line_h / 2);
    EXPECT_EQ(GetFocus(), e);
    EXPECT_EQ(sel(e), (Sel{20, 20}));
    m_display->advance(1000);
    m_display->key_down("Shift_L");
    click(row1.x, row1.y + line_h / 2);
    m_display->key_up("Shift_L");
    pump();
    EXPECT_EQ(sel(e), (Sel{6, 20}));
    // A double click selects the word under it.
    m_display->advance(1000);
    click(row1.x + 2, row1.y + line_h / 2);
    click(row1.x + 2, row1.y + line_h / 2);
    EXPECT_EQ(selected_text(e), "one");
    // Dragging below the bottom selects on and scrolls.
    m_display->advance(1000);
    m_display->move(row1.x, row1.y + line_h / 2);
    m_display->press();
    for (int i = 1; i <= 6; ++i) m_display->move(row1.x, 10 + 120 + i * line_h);
    m_display->release();
    pump();
    EXPECT_GT(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(sel(e).first, 6u);
    EXPECT_GT(sel(e).second, 30u);
}

TEST_F(EditTest, ContextMenuHook) {
    static std::vector<std::pair<HWND, POINT>> shown;
    shown.clear();
    HWND e = make(WC_EDIT, "hello", ES_AUTOHSCROLL, 10, 10, 200, 24);
    m_display->click(50, 20, 3);  // without a hook nothing shows
    pump();
    set_edit_context_menu([](HWND h, POINT at) { shown.push_back({h, at}); });
    m_display->click(60, 21, 3);
    pump();
    EXPECT_EQ(GetFocus(), e);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, e);
    EXPECT_EQ(shown[0].second, (POINT{60, 21}));
    // From the keyboard: under the caret.
    SendMessage(e, EM_SETSEL, 2, 2);
    keys("shift+F10 Menu");
    ASSERT_EQ(shown.size(), 3u);
    POINT caret = point_of(e, 2);
    EXPECT_EQ(shown[1].second.x, caret.x);
    EXPECT_GT(shown[1].second.y, caret.y);
    EXPECT_EQ(shown[2].second, shown[1].second);
}

TEST_F(EditTest, TheClipboardService) {
    namespace cb = zun::clipboard;
    cb::install_edit_clipboard();
    HWND e = make(WC_EDIT, "h\xC3\xA9llo", ES_AUTOHSCROLL, 10, 10, 200, 24);
    SendMessage(e, EM_SETSEL, 0, -1);
    SendMessage(e, WM_COPY, 0, 0);
    EXPECT_EQ(cb::memory::get("UTF8_STRING"), "h\xC3\xA9llo");
    EXPECT_EQ(cb::memory::get("STRING"), "h\xE9llo");
    cb::memory::put({{"STRING", "caf\xE9"}});  // another program, Latin-1 only
    SendMessage(e, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowText(e), "caf\xC3\xA9");
    cb::memory::clear();
    SendMessage(e, WM_PASTE, 0, 0);
    EXPECT_EQ(GetWindowText(e), "caf\xC3\xA9");
}

TEST_F(EditTest, LooksOfAreasThemesAndColours) {
    HWND a = area("a    b\na    b", false, 200, 100);
    SetFocus(a);
    SendMessage(a, EM_SETSEL, 0, -1);
    POINT r0 = point_of(a, 2), r1 = point_of(a, 10);
    EXPECT_EQ(pixel(r0.x + 1, r0.y + 4), 0x0078D7u);  // both rows highlighted
    EXPECT_EQ(pixel(r1.x + 1, r1.y + 4), 0x0078D7u);
    EXPECT_EQ(pixel(150, 80), 0xFFFFFFu);         // the rest in COLOR_WINDOW

    // The caret blinks at the desktop's rate; the input method follows it.
    HWND f = make(WC_EDIT, "", ES_AUTOHSCROLL, 10, 150, 200, 24, 2);
    SetFocus(f);
    POINT c = point_of(f, 0);
    auto caret_ink = [&] { return darkest({c.x - 1, c.y + 2, c.x + 2, c.y + 10}); };
    EXPECT_GT(caret_ink(), 600);
    m_display->tick(desktop_settings().caret_blink_time);  // the clock moves, no more
    EXPECT_LT(caret_ink(), 100);
    m_display->tick(desktop_settings().caret_blink_time);
    EXPECT_GT(caret_ink(), 600);
    EXPECT_EQ(m_display->caret().left, c.x);
    EXPECT_EQ(m_display->caret().top, c.y);

    // The parent's colours: WM_CTLCOLOREDIT's brush and text colour.
    g_parent_handler = [](HWND, UINT m, WPARAM w, LPARAM, LRESULT* r) {
        if (m != WM_CTLCOLOREDIT) return false;
        SetBkMode(reinterpret_cast<HDC>(w), TRANSPARENT);
        SetTextColor(reinterpret_cast<HDC>(w), 0x0000FF);   // red
        SetDCBrushColor(reinterpret_cast<HDC>(w), 0x00FFFF);  // yellow
        *r = static_cast<LRESULT>(GetDCBrush());
        return true;
    };
    HWND coloured = make(WC_EDIT, "WWWW", ES_AUTOHSCROLL, 10, 200, 200, 24, 3);
    EXPECT_EQ(pixel(180, 212), 0xFFFF00u);
    bool red = false;
    for (int x = 12; x < 60 && !red; ++x)
        for (int y = 202; y < 222 && !red; ++y) red = pixel(x, y) == 0xFF0000u;
    EXPECT_TRUE(red);
    // An opaque DC keeps its background colour behind the text.
    g_parent_handler = [](HWND, UINT m, WPARAM w, LPARAM, LRESULT* r) {
        if (m != WM_CTLCOLOREDIT) return false;
        SetBkColor(reinterpret_cast<HDC>(w), 0x00FF00);  // green
        *r = static_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
        return true;
    };
    InvalidateRect(coloured, nullptr, false);
    auto count = [&](RECT r, uint32_t colour) {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += pixel(x, y) == colour;
        return n;
    };
    EXPECT_GT(count({10, 200, 60, 224}, 0x00FF00u), 50);
    EXPECT_EQ(pixel(180, 212), 0xFFFFFFu);
    g_parent_handler = nullptr;
    // Without ES_NOHIDESEL the selection shows only while focused.
    SetFocus(m_top);
    SendMessage(coloured, EM_SETSEL, 0, -1);
    EXPECT_EQ(count({10, 200, 60, 224}, 0x0078D7u), 0);
    HWND kept = make(WC_EDIT, "WWWW", ES_AUTOHSCROLL | ES_NOHIDESEL, 10, 240, 200, 24, 5);
    SendMessage(kept, EM_SETSEL, 0, -1);
    EXPECT_GT(count({10, 240, 60, 264}, 0x0078D7u), 50);
    // Disabled: the face colour and grey text.
    EnableWindow(coloured, false);
    EXPECT_EQ(pixel(180, 212), GetSysColor(COLOR_BTNFACE) >> 16 | (GetSysColor(COLOR_BTNFACE) & 0xFF00) |
                                   (GetSysColor(COLOR_BTNFACE) & 0xFF) << 16);
    int grey = darkest({12, 202, 60, 222});
    EXPECT_GT(grey, 150);
    EXPECT_LT(grey, 500);

    // Dark theme: a dark inside and a hint lighter than it.
    DesktopSettings s = desktop_settings();
    s.dark = true;
    m_display->set_settings(s);
    HWND hinted = make(WC_EDIT, "", ES_AUTOHSCROLL, 220, 10, 150, 24, 4, WS_EX_CLIENTEDGE);
    SendMessage(hinted, EM_SETCUEBANNER, 1, reinterpret_cast<LPARAM>("WWWW"));
    EXPECT_EQ(pixel(360, 22), 0x202020u);
    int lightest = 765;
    for (int x = 224; x < 280; ++x)
        for (int y = 12; y < 32; ++y) lightest = std::min(lightest, darkness(pixel(x, y)));
    EXPECT_LT(lightest, 400);
    EXPECT_GT(lightest, 100);  // grey, not white
}

// What does not fit is refused whole: rows past the bottom of an area
// without ES_AUTOVSCROLL, keys while disabled.
TEST_F(EditTest, RefusedChanges) {
    HWND fixed = make(WC_EDIT, "", ES_MULTILINE | ES_AUTOHSCROLL, 10, 10, 200, 40);
    SetFocus(fixed);
    g_notes.clear();
    for (int i = 0; i < 10; ++i) SendMessage(fixed, WM_CHAR, '\r', 1);
    LRESULT rows = SendMessage(fixed, EM_GETLINECOUNT, 0, 0);
    EXPECT_GE(rows, 1);
    EXPECT_LT(rows, 5);
    std::vector<UINT> sent = codes();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), EN_MAXTEXT), 10 - (rows - 1));
    HWND scrolling = make(WC_EDIT, "", ES_MULTILINE | ES_AUTOVSCROLL, 10, 60, 200, 40);
    SetFocus(scrolling);
    for (int i = 0; i < 10; ++i) SendMessage(scrolling, WM_CHAR, '\r', 1);
    EXPECT_EQ(SendMessage(scrolling, EM_GETLINECOUNT, 0, 0), 11);
    EnableWindow(scrolling, false);
    SendMessage(scrolling, WM_CHAR, 'x', 1);
    EXPECT_EQ(SendMessage(scrolling, EM_GETLINECOUNT, 0, 0), 11);
    EXPECT_EQ(GetWindowText(scrolling).find('x'), std::string::npos);
}

TEST_F(EditTest, AlignedText) {
    struct Case {
        uint32_t style;
        RECT ink_in, none_in;
    };
    const Case cases[] = {
        {ES_LEFT, {10, 10, 80, 34}, {140, 10, 210, 34}},
        {ES_CENTER, {80, 10, 140, 34}, {10, 10, 70, 34}},
        {ES_RIGHT, {140, 10, 210, 34}, {10, 10, 80, 34}},
        {ES_RIGHT | ES_MULTILINE, {140, 10, 210, 34}, {10, 10, 80, 34}},
    };
    for (const Case& c : cases) {
        HWND e = make(WC_EDIT, "WW", c.style, 10, 10, 200, 24);
        EXPECT_GT(ink(c.ink_in), 10) << c.style;
        EXPECT_EQ(ink(c.none_in), 0) << c.style;
        DestroyWindow(e);
    }
}

}  // namespace

namespace {

// Generated byte runs through what the fuzz target does: every control
// keeps agreeing with itself.
TEST_F(EditTest, GeneratedOperations) {
    edit_ops::Controls c = edit_ops::make_controls();
    uint32_t seed = 12345;
    for (int run = 0; run < 30; ++run) {
        std::vector<uint8_t> bytes(300);
        for (uint8_t& b : bytes) {
            seed = seed * 1664525 + 1013904223;
            b = static_cast<uint8_t>(seed >> 24);
        }
        ASSERT_EQ(edit_ops::run(c, bytes.data(), bytes.size()), "") << "run " << run;
    }
}

}  // namespace
