#include "platform/controls/imagelist.hpp"
#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

using ButtonTest = ControlsTest;

TEST_F(ButtonTest, ClicksStepTheCheckThenNotify) {
    struct Case {
        uint32_t style;
        std::vector<LRESULT> checks;  // BM_GETCHECK after each click
    };
    const Case cases[] = {
        {BS_PUSHBUTTON, {0, 0}},
        {BS_CHECKBOX, {0, 0}},  // not auto: the application checks it
        {BS_AUTOCHECKBOX, {BST_CHECKED, BST_UNCHECKED, BST_CHECKED}},
        {BS_3STATE, {0, 0}},
        {BS_AUTO3STATE, {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED, BST_CHECKED}},
        {BS_RADIOBUTTON, {0, 0}},  // does not check itself
        {BS_AUTORADIOBUTTON, {BST_CHECKED, BST_CHECKED}},
        {BS_AUTOCHECKBOX | BS_PUSHLIKE, {BST_CHECKED, BST_UNCHECKED}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.style);
        HWND b = make(WC_BUTTON, "Go", c.style, 10, 10, 100, 30, 7);
        g_notes.clear();
        for (LRESULT want : c.checks) {
            m_display->advance(1000);  // no double clicks here
            click(50, 25);
            EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), want);
        }
        std::vector<Note> expected(c.checks.size(), Note{WM_COMMAND, BN_CLICKED, 7, b});
        EXPECT_EQ(g_notes, expected);
        EXPECT_EQ(GetFocus(), b);  // a left press takes the focus
        EXPECT_TRUE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_FOCUS);
        DestroyWindow(b);
    }
}

TEST_F(ButtonTest, ReleaseOutsideSendsNothing) {
    HWND b = make(WC_BUTTON, "Go", BS_AUTOCHECKBOX, 10, 10, 100, 30);
    m_display->move(50, 25);
    m_display->press();
    pump();
    EXPECT_EQ(GetCapture(), b);
    EXPECT_TRUE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED);
    m_display->move(200, 200);
    pump();
    EXPECT_FALSE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED);  // drawn up outside
    m_display->move(60, 20);
    pump();
    EXPECT_TRUE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED);  // down again inside
    m_display->move(200, 200);
    m_display->release();
    pump();
    EXPECT_TRUE(g_notes.empty());
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(GetCapture(), 0u);
}

// A double click: a push button clicks twice; a radio button (not auto)
// tells BN_DOUBLECLICKED, as every button does with BS_NOTIFY, which also
// tells its focus.
TEST_F(ButtonTest, DoubleClicks) {
    struct Case {
        uint32_t style;
        std::vector<UINT> codes;
        LRESULT check;
    };
    const Case cases[] = {
        {BS_PUSHBUTTON, {BN_CLICKED, BN_CLICKED}, 0},
        {BS_RADIOBUTTON, {BN_CLICKED, BN_DOUBLECLICKED}, 0},
        {BS_AUTORADIOBUTTON, {BN_CLICKED, BN_CLICKED}, BST_CHECKED},
        {BS_AUTOCHECKBOX, {BN_CLICKED, BN_CLICKED}, BST_UNCHECKED},
        {BS_PUSHBUTTON | BS_NOTIFY, {BN_SETFOCUS, BN_CLICKED, BN_DOUBLECLICKED}, 0},
        {BS_AUTOCHECKBOX | BS_NOTIFY, {BN_SETFOCUS, BN_CLICKED, BN_DOUBLECLICKED}, BST_CHECKED},
    };
    for (const Case& c : cases) {
        SetFocus(m_top);
        HWND b = make(WC_BUTTON, "Push", c.style, 10, 10, 100, 30, 1);
        g_notes.clear();
        m_display->advance(1000);
        click(50, 25);
        click(50, 25);
        EXPECT_EQ(codes(), c.codes) << c.style;
        for (const Note& n : g_notes) EXPECT_EQ(n.from, b);
        EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), c.check) << c.style;
        g_notes.clear();
        SetFocus(m_top);
        EXPECT_EQ(codes(), (c.style & BS_NOTIFY) ? std::vector<UINT>{BN_KILLFOCUS} : std::vector<UINT>{}) << c.style;
        DestroyWindow(b);
    }
}

// Where the caption goes: the alignment bits, BS_MULTILINE, and a check
// box's caption from 16 logical units.
TEST_F(ButtonTest, CaptionPlacement) {
    const RECT left{12, 12, 60, 68}, centre{85, 12, 135, 68}, right{160, 12, 208, 68};
    const RECT top{12, 12, 208, 28}, middle{12, 32, 208, 48}, bottom{12, 52, 208, 68};
    const RECT after_box{26, 12, 60, 68};
    struct Case {
        uint32_t style;
        const char* text;
        std::vector<RECT> inked, clear;
    };
    const Case cases[] = {
        {BS_PUSHBUTTON, "WW", {centre, middle}, {left, right, top, bottom}},
        {BS_PUSHBUTTON | BS_LEFT, "WW", {left}, {centre, right}},
        {BS_PUSHBUTTON | BS_RIGHT | BS_TOP, "WW", {right, top}, {left, centre, middle, bottom}},
        {BS_PUSHBUTTON | BS_BOTTOM, "WW", {centre, bottom}, {top, middle}},
        {BS_AUTOCHECKBOX, "WW", {after_box, middle}, {centre, right, top, bottom}},
        {BS_AUTOCHECKBOX | BS_RIGHT, "WW", {right}, {after_box, centre}},
        {BS_PUSHBUTTON | BS_MULTILINE, "WWWWWW WWWWWW WWWWWW WWWWWW WWWWWW", {top, bottom}, {}},
        {BS_PUSHBUTTON, "WWWWWW WWWWWW WWWWWW WWWWWW WWWWWW", {middle}, {top, bottom}},  // one line
    };
    for (const Case& c : cases) {
        HWND b = make(WC_BUTTON, c.text, c.style, 10, 10, 200, 60);
        for (const RECT& r : c.inked) EXPECT_GT(ink(r), 5) << c.style << " " << r.left << "," << r.top;
        for (const RECT& r : c.clear) EXPECT_EQ(ink(r), 0) << c.style << " " << r.left << "," << r.top;
        DestroyWindow(b);
    }
}

// The check box is 13 px at 96 DPI and its caption starts 16 logical units
// in, both scaled at 144 DPI.
TEST_F(ButtonTest, CheckBoxScalesWithTheDpi) {
    m_display->set_monitors({{{0, 0, 1024, 768}, 96, "a"}, {{1024, 0, 2048, 768}, 144, "b"}});
    for (int dpi : {96, 144}) {
        HWND top = CreateWindowEx(0, "CtlParent", "t", WS_OVERLAPPEDWINDOW | WS_VISIBLE, dpi == 96 ? 100 : 1100, 100, 300, 100, 0);
        CreateWindowEx(0, WC_BUTTON, "WW", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 0, 0, 200, 40, top, 1);
        pump();
        auto dark = [&](int x) { return darkness(m_display->pixel(top, x, 20) & 0xFFFFFF) > 382; };
        int box = dpi == 96 ? 13 : 20, shift = dpi == 96 ? 16 : 24;
        EXPECT_TRUE(dark(0)) << dpi;
        EXPECT_TRUE(dark(box - 1)) << dpi;
        EXPECT_FALSE(dark(box)) << dpi;
        int first_ink = box;
        while (first_ink < 200 && !dark(first_ink)) ++first_ink;
        EXPECT_GE(first_ink, shift) << dpi;
        EXPECT_LT(first_ink, shift + 4) << dpi;
        DestroyWindow(top);
    }
}

TEST_F(ButtonTest, SpaceClicksOnRelease) {
    HWND b = make(WC_BUTTON, "Go", BS_AUTOCHECKBOX, 10, 10, 100, 30, 3);
    SetFocus(b);
    m_display->key_down("space");
    pump();
    EXPECT_TRUE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED);
    EXPECT_TRUE(g_notes.empty());
    m_display->key_up("space");
    pump();
    EXPECT_EQ(codes(), std::vector<UINT>{BN_CLICKED});
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    // Other keys do nothing.
    m_display->key("Return");
    m_display->key("a");
    pump();
    EXPECT_EQ(g_notes.size(), 1u);
}

TEST_F(ButtonTest, DisabledTakesNoInput) {
    HWND b = make(WC_BUTTON, "Go", BS_AUTOCHECKBOX | WS_DISABLED, 10, 10, 100, 30);
    click(50, 25);
    EXPECT_TRUE(g_notes.empty());
    EXPECT_NE(GetFocus(), b);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    SendMessage(b, BM_CLICK, 0, 0);
    EXPECT_TRUE(g_notes.empty());
    EnableWindow(b, true);
    SendMessage(b, BM_CLICK, 0, 0);
    EXPECT_EQ(codes(), std::vector<UINT>{BN_CLICKED});
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(ButtonTest, CheckStateMessages) {
    struct Case {
        uint32_t style;
        WPARAM set;
        LRESULT got;
    };
    const Case cases[] = {
        {BS_PUSHBUTTON, BST_CHECKED, 0},         {BS_CHECKBOX, BST_INDETERMINATE, BST_CHECKED},
        {BS_3STATE, BST_INDETERMINATE, BST_INDETERMINATE}, {BS_AUTO3STATE, 7, BST_INDETERMINATE},
        {BS_RADIOBUTTON, BST_CHECKED, BST_CHECKED},       {BS_GROUPBOX, BST_CHECKED, 0},
    };
    for (const Case& c : cases) {
        HWND b = make(WC_BUTTON, "x", c.style, 0, 0, 50, 20);
        SendMessage(b, BM_SETCHECK, c.set, 0);
        EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), c.got) << c.style;
        EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0) & 3, c.got) << c.style;
        DestroyWindow(b);
    }
    HWND b = make(WC_BUTTON, "x", BS_CHECKBOX, 0, 0, 50, 20);
    SendMessage(b, BM_SETSTATE, 1, 0);
    EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0), BST_PUSHED);
    SendMessage(b, BM_SETSTATE, 0, 0);
    EXPECT_EQ(SendMessage(b, BM_GETSTATE, 0, 0), 0);
    SendMessage(b, BM_SETSTYLE, BS_AUTOCHECKBOX, 1);
    EXPECT_EQ(GetWindowLong(b, GWL_STYLE) & BS_TYPEMASK, static_cast<int32_t>(BS_AUTOCHECKBOX));
    SendMessage(b, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_TRUE(g_notes.empty() == false);
    EXPECT_TRUE(g_notes.back() == (Note{WM_COMMAND, BN_CLICKED, 1, b}));
}

TEST_F(ButtonTest, AutoRadiosUncheckTheirGroup) {
    HWND a = make(WC_BUTTON, "a", BS_AUTORADIOBUTTON | WS_GROUP, 10, 10, 100, 20, 1);
    HWND b = make(WC_BUTTON, "b", BS_AUTORADIOBUTTON, 10, 40, 100, 20, 2);
    HWND c = make(WC_BUTTON, "c", BS_AUTORADIOBUTTON, 10, 70, 100, 20, 3);
    HWND d = make(WC_BUTTON, "d", BS_AUTORADIOBUTTON | WS_GROUP, 10, 100, 100, 20, 4);
    SendMessage(a, BM_SETCHECK, BST_CHECKED, 0);
    SendMessage(d, BM_SETCHECK, BST_CHECKED, 0);
    click(20, 80);
    EXPECT_EQ(SendMessage(a, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(SendMessage(c, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessage(d, BM_GETCHECK, 0, 0), BST_CHECKED);  // another group
    // A checked auto radio clicked again still notifies, checked.
    g_notes.clear();
    click(20, 80);
    EXPECT_EQ(codes(), std::vector<UINT>{BN_CLICKED});
    EXPECT_EQ(SendMessage(c, BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(ButtonTest, GroupBoxLetsTheMouseThrough) {
    HWND inner = make(WC_BUTTON, "in", BS_PUSHBUTTON, 30, 40, 80, 30, 5);
    HWND group = make(WC_BUTTON, "Group", BS_GROUPBOX, 10, 10, 200, 150, 6);
    SetWindowPos(group, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    click(60, 50);
    EXPECT_EQ(g_notes, (std::vector<Note>{{WM_COMMAND, BN_CLICKED, 5, inner}}));
    EXPECT_NE(GetFocus(), group);
    // Caption ink at the top left, none in the middle of the frame.
    EXPECT_GT(ink({20, 10, 60, 26}), 5);
    EXPECT_EQ(ink({120, 80, 200, 150}), 0);
}

TEST_F(ButtonTest, HotTrackingEndsOnLeave) {
    HWND b = make(WC_BUTTON, "Go", BS_PUSHBUTTON, 10, 10, 100, 30);
    m_display->move(50, 20);
    pump();
    EXPECT_TRUE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_HOT);
    m_display->move(300, 200);
    pump();
    EXPECT_FALSE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_HOT);
}

TEST_F(ButtonTest, TextAndFontMessages) {
    HWND b = make(WC_BUTTON, "Mouse Copy&&Paste", BS_PUSHBUTTON, 10, 10, 150, 30);
    EXPECT_EQ(SendMessage(b, WM_GETTEXTLENGTH, 0, 0), 17);
    SetWindowText(b, "&Open");
    EXPECT_EQ(GetWindowText(b), "&Open");
    EXPECT_EQ(SendMessage(b, WM_GETTEXTLENGTH, 0, 0), 5);
    EXPECT_EQ(SendMessage(b, WM_GETFONT, 0, 0), 0);  // the system font
    HFONT f = CreateFontFromDescription("DejaVu Sans Bold 12");
    SendMessage(b, WM_SETFONT, f, 1);
    EXPECT_EQ(static_cast<HFONT>(SendMessage(b, WM_GETFONT, 0, 0)), f);
    EXPECT_EQ(pango_font_description_get_weight(font_description(f)), PANGO_WEIGHT_BOLD);
    DeleteFont(f);
}

TEST(ButtonPrefix, AmpersandRule) {
    struct Case {
        const char* text;
        const char* shown;
        int underline;
    };
    const Case cases[] = {
        {"Mouse Copy&&Paste", "Mouse Copy&Paste", -1}, {"&File", "File", 0}, {"Sa&ve && Quit", "Save & Quit", 2},
        {"end&", "end&", -1}, {"&&&x", "&x", 1}, {"", "", -1},
    };
    for (const Case& c : cases) {
        int u = 0;
        EXPECT_EQ(controls::strip_prefix(c.text, &u), c.shown) << c.text;
        EXPECT_EQ(u, c.underline) << c.text;
    }
}

// ---- looks --------------------------------------------------------------------

TEST_F(ButtonTest, CheckMarkAndDisabledLooks) {
    HWND b = make(WC_BUTTON, "Check", BS_AUTOCHECKBOX, 10, 10, 120, 20);
    RECT box{12, 15, 21, 24};  // inside the 13-px box, clear of its frame
    EXPECT_EQ(ink(box), 0);
    SendMessage(b, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_GT(ink(box), 8);
    SendMessage(b, BM_SETCHECK, BST_INDETERMINATE, 0);  // not a 3-state: stays checked
    EXPECT_GT(ink(box), 8);
    RECT caption{26, 10, 130, 30};
    EXPECT_GT(darkest(caption), 600);  // black text
    EnableWindow(b, false);
    int grey = darkest(caption);
    EXPECT_GT(grey, 250);
    EXPECT_LT(grey, 500);
}

TEST_F(ButtonTest, RadioDotAndFocusRectangle) {
    HWND r = make(WC_BUTTON, "Radio", BS_RADIOBUTTON, 10, 10, 120, 20);
    RECT dot{14, 17, 19, 22};
    EXPECT_EQ(ink(dot), 0);
    SendMessage(r, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_GT(ink(dot), 10);
    HWND p = make(WC_BUTTON, "", BS_PUSHBUTTON, 10, 50, 100, 40);
    RECT focus_line{20, 53, 100, 54};  // 3 px inside the top edge
    EXPECT_EQ(ink(focus_line), 0);
    SetFocus(p);
    EXPECT_GT(ink(focus_line), 20);
}

TEST_F(ButtonTest, PushLikeStaysDownAndDarkTheme) {
    HWND b = make(WC_BUTTON, "", BS_AUTOCHECKBOX | BS_PUSHLIKE, 10, 10, 100, 30);
    uint32_t up = pixel(60, 25);
    click(60, 25);
    m_display->move(300, 250);
    SetFocus(m_top);
    EXPECT_EQ(SendMessage(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_NE(pixel(60, 25), up);
    DesktopSettings s = desktop_settings();
    s.dark = true;
    m_display->set_settings(s);
    InvalidateRect(b, nullptr, true);
    EXPECT_GT(darkness(pixel(60, 25)), 382);
}

TEST_F(ButtonTest, CustomDrawSkipsTheCaption) {
    HWND b = make(WC_BUTTON, "WWWWWW", BS_PUSHBUTTON, 10, 10, 120, 30, 9);
    RECT caption{20, 15, 120, 35};
    EXPECT_GT(ink(caption), 20);
    g_parent_handler = [](HWND, UINT m, WPARAM, LPARAM l, LRESULT* r) {
        if (m != WM_NOTIFY) return false;
        auto* cd = reinterpret_cast<NMCUSTOMDRAW*>(l);
        EXPECT_EQ(cd->dwDrawStage, CDDS_PREPAINT);
        EXPECT_NE(cd->hdc, nullptr);
        *r = CDRF_SKIPDEFAULT;
        return true;
    };
    g_notes.clear();
    g_record_custom_draw = true;
    InvalidateRect(b, nullptr, true);
    EXPECT_EQ(ink(caption), 0);
    EXPECT_EQ(g_notes, (std::vector<Note>{{WM_NOTIFY, NM_CUSTOMDRAW, 9, b}}));
}

TEST_F(ButtonTest, ClientEdgeIsSunken) {
    make(WC_BUTTON, "", BS_GROUPBOX, 10, 10, 100, 50, 1, WS_EX_CLIENTEDGE);
    EXPECT_EQ(pixel(10, 30), 0xA0A0A0u);  // outer shadow
    EXPECT_EQ(pixel(11, 30), 0x696969u);  // inner dark shadow
}

// ---- image lists ----------------------------------------------------------------------

cairo_surface_t* solid(int w, int h, double r, double g, double b) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, r, g, b);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

TEST(ImageList, AddCountsAndCuts) {
    HIMAGELIST list = ImageList_Create(16, 8, ILC_COLOR32, 1, 1);
    ASSERT_NE(list, 0u);
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    cairo_surface_t* one = solid(16, 8, 1, 0, 0);
    cairo_surface_t* strip = solid(48, 8, 0, 0, 1);  // three images side by side
    cairo_surface_t* narrow = solid(5, 8, 0, 1, 0);
    struct Case {
        cairo_surface_t* image;
        int index, count;
    };
    const Case cases[] = {{one, 0, 1}, {strip, 1, 4}, {narrow, 4, 5}, {nullptr, -1, 5}};
    for (const Case& c : cases) {
        EXPECT_EQ(ImageList_Add(list, c.image, nullptr), c.index);
        EXPECT_EQ(ImageList_GetImageCount(list), c.count);
    }
    cairo_surface_destroy(one);  // the list keeps copies
    cairo_surface_destroy(strip);
    cairo_surface_destroy(narrow);
    auto argb = [&](int index, int x) {
        cairo_surface_t* s = ImageList_GetImage(list, index);
        cairo_surface_flush(s);
        return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s))[x];
    };
    EXPECT_EQ(argb(0, 3), 0xFFFF0000u);
    EXPECT_EQ(argb(3, 15), 0xFF0000FFu);
    EXPECT_EQ(argb(4, 2), 0xFF00FF00u);
    EXPECT_EQ(argb(4, 10), 0u);  // beyond a narrow image: transparent
    int cx = 0, cy = 0;
    EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 8);
    EXPECT_TRUE(ImageList_Remove(list, 1));
    EXPECT_EQ(ImageList_GetImageCount(list), 4);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_EQ(ImageList_Add(list, nullptr, nullptr), -1);
    EXPECT_EQ(ImageList_Create(0, 5, ILC_COLOR32, 1, 1), 0u);
}

// A BS_BITMAP button shows the list's image of its state, centred, and no caption.
TEST_F(ButtonTest, ImageListPerState) {
    HIMAGELIST list = ImageList_Create(20, 10, ILC_COLOR32, 6, 0);
    const double colours[][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0.5, 0.5, 0.5}, {1, 1, 0}, {0, 1, 1}};
    for (const auto& c : colours) {
        cairo_surface_t* s = solid(20, 10, c[0], c[1], c[2]);
        ImageList_Add(list, s, nullptr);
        cairo_surface_destroy(s);
    }
    HWND b = make(WC_BUTTON, "WWWWWWWW", BS_PUSHBUTTON | BS_BITMAP, 10, 10, 100, 40, 3);
    BUTTON_IMAGELIST il;
    il.himl = list;
    il.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
    EXPECT_EQ(SendMessage(b, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&il)), 1);
    BUTTON_IMAGELIST back;
    EXPECT_EQ(SendMessage(b, BCM_GETIMAGELIST, 0, reinterpret_cast<LPARAM>(&back)), 1);
    EXPECT_EQ(back.himl, list);
    EXPECT_EQ(back.uAlign, static_cast<UINT>(BUTTON_IMAGELIST_ALIGN_CENTER));
    m_display->move(300, 250);
    pump();
    EXPECT_EQ(pixel(60, 30), 0xFF0000u);  // normal, at the centre
    EXPECT_EQ(ink({12, 12, 45, 38}), 0);    // no caption beside it
    m_display->move(30, 20);
    EXPECT_EQ(pixel(60, 30), 0x00FF00u);  // hot
    m_display->press();
    EXPECT_EQ(pixel(60, 30), 0x0000FFu);  // pressed
    m_display->release();
    m_display->move(300, 250);
    EnableWindow(b, false);
    EXPECT_EQ(pixel(60, 30), 0x808080u);  // disabled
    // One image serves every state; -1 is no list: the caption comes back
    // once BS_BITMAP goes.
    HIMAGELIST one = ImageList_Create(20, 10, ILC_COLOR32, 1, 0);
    cairo_surface_t* s = solid(20, 10, 1, 0, 1);
    ImageList_Add(one, s, nullptr);
    cairo_surface_destroy(s);
    il.himl = one;
    SendMessage(b, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&il));
    EXPECT_EQ(pixel(60, 30), 0xFF00FFu);
    il.himl = HIMAGELIST_NONE;
    SendMessage(b, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&il));
    SendMessage(b, BM_SETSTYLE, BS_PUSHBUTTON, 1);
    EnableWindow(b, true);
    EXPECT_NE(pixel(60, 30), 0xFF00FFu);
    EXPECT_GT(ink({12, 12, 108, 48}), 20);
    ImageList_Destroy(list);
    ImageList_Destroy(one);
}

}  // namespace

// fontconfig's process-long caches are left to the leak checker's suppressions
// in draw/text_format.cpp.
