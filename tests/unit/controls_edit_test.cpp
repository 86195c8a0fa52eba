#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

using EditTest = ControlsTest;

std::pair<uint32_t, uint32_t> sel(HWND e) {
    uint32_t a = 0, b = 0;
    SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return {a, b};
}

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
    struct Case {
        const char* keys;  // space separated combos
        const char* text;
        std::pair<uint32_t, uint32_t> sel;
    };
    const Case cases[] = {
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
    for (const Case& c : cases) {
        std::string keys = c.keys;
        size_t at = 0;
        while (at < keys.size()) {
            size_t sp = keys.find(' ', at);
            if (sp == std::string::npos) sp = keys.size();
            m_display->key(keys.substr(at, sp - at));
            at = sp + 1;
        }
        pump();
        EXPECT_EQ(GetWindowText(e), c.text) << c.keys;
        EXPECT_EQ(sel(e), c.sel) << c.keys;
    }
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
