// Popup menus on the in-memory display: what the owner hears and in which
// order, cascading, keys and mnemonics, closing, placement, the shortcut
// column, and EDIT's standard context menu.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/case_folding.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/display_memory.hpp"
#include "platform/menu.hpp"

namespace {

using namespace zun::win;

struct Heard {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    bool operator==(const Heard&) const = default;
};

std::vector<Heard> g_heard;
// Steps run when the menu loop would wait (WM_ENTERIDLE), one each time.
std::deque<std::function<void()>> g_steps;
HMENU g_last_popup_menu = 0;  // of the last WM_INITMENUPOPUP

LRESULT owner_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
        case WM_ENTERMENULOOP: case WM_EXITMENULOOP: case WM_MENUSELECT: case WM_COMMAND:
            g_heard.push_back({m, w, l});
            break;
        case WM_CONTEXTMENU:
            if (GetParent(h)) break;  // the child passes it up
            g_heard.push_back({m, w, l});
            return 0;
        case WM_INITMENUPOPUP:
            g_heard.push_back({m, w, l});
            g_last_popup_menu = static_cast<HMENU>(w);
            break;
        case WM_ENTERIDLE:
            if (!g_steps.empty()) {
                auto step = std::move(g_steps.front());
                g_steps.pop_front();
                step();
            }
            return 0;
        default: break;
    }
    return DefWindowProc(h, m, w, l);
}

// A menu as build-menu makes it: ids are positions, "---" a separator, a
// string followed by a vector a submenu.
struct Entry {
    std::string text;
    std::vector<std::string> sub;
};
HMENU build(const std::vector<Entry>& entries) {
    HMENU menu = CreatePopupMenu();
    for (size_t i = 0; i < entries.size(); ++i) {
        MENUITEMINFO mi;
        mi.fMask = MIIM_ID | MIIM_STRING | MIIM_DATA;
        mi.wID = static_cast<UINT>(i);
        mi.dwItemData = 100 + i;
        if (entries[i].text == "---") {
            mi.fMask = MIIM_FTYPE | MIIM_ID | MIIM_DATA;
            mi.fType = MFT_SEPARATOR;
        } else {
            mi.text = entries[i].text;
        }
        if (!entries[i].sub.empty()) {
            std::vector<Entry> sub;
            for (const std::string& s : entries[i].sub) sub.push_back({s, {}});
            mi.fMask |= MIIM_SUBMENU;
            mi.hSubMenu = build(sub);
        }
        InsertMenuItem(menu, static_cast<UINT>(i), true, &mi);
    }
    return menu;
}

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        zun::unicode::init_case_tables();  // mnemonics match in either case
        auto d = std::make_unique<MemoryDisplay>();
        m_display = d.get();
        ASSERT_TRUE(open(std::move(d)));
        register_system_controls();
        WNDCLASS wc;
        wc.lpfnWndProc = owner_proc;
        wc.lpszClassName = "MenuOwner";
        ASSERT_NE(RegisterClass(wc), 0);
        m_owner = CreateWindowEx(0, "MenuOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, 0);
        g_heard.clear();
        g_steps.clear();
        m_menu = build({{"&Open\tCtrl+O", {}}, {"---", {}}, {"&Recent", {"&a.txt", "&b.txt"}},
                        {"E&xit\tF4", {}}, {"&Edit", {}}, {"&Export", {}}, {"&Ёлка", {}}});
        m_sub = sub_of(m_menu, 2);
    }
    void TearDown() override {
        DestroyMenu(m_menu);
        close();
    }
    static HMENU sub_of(HMENU menu, UINT pos) {
        MENUITEMINFO mi;
        mi.fMask = MIIM_SUBMENU;
        GetMenuItemInfo(menu, pos, true, &mi);
        return mi.hSubMenu;
    }
    static POINT centre(HMENU menu, UINT item) {
        RECT r{};
        EXPECT_TRUE(GetMenuItemRect(0, menu, item, &r));
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void hover(HMENU menu, UINT item) {
        POINT p = centre(menu, item);
        m_display->move(p.x, p.y);
    }
    void click_item(HMENU menu, UINT item) {
        POINT p = centre(menu, item);
        m_display->click(p.x, p.y);
    }
    // Tracks the menu at (x, y), then runs the loop for the posted command.
    int track(int x = 50, int y = 40, UINT flags = TPM_LEFTBUTTON) {
        int r = TrackPopupMenuEx(m_menu, flags, x, y, m_owner, nullptr);
        MSG m;
        while (PeekMessage(&m)) DispatchMessage(&m);
        return r;
    }
    // The command the owner got and the menu of the last highlight, or
    // {-1, 0} for none.
    std::pair<int, HMENU> outcome() const {
        HMENU last = 0;
        for (const Heard& h : g_heard) {
            if (h.msg == WM_MENUSELECT && h.wp != MENU_CLOSED) last = static_cast<HMENU>(h.lp);
            if (h.msg == WM_COMMAND) return {static_cast<int>(h.wp), last};
        }
        return {-1, 0};
    }
    MemoryDisplay* m_display = nullptr;
    HWND m_owner = 0;
    HMENU m_menu = 0, m_sub = 0;
};

TEST_F(MenuTest, ItemInfoByPositionAndId) {
    EXPECT_EQ(GetMenuItemCount(m_menu), 7);
    MENUITEMINFO mi;
    mi.fMask = MIIM_DATA | MIIM_ID | MIIM_FTYPE | MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfo(m_menu, 3, true, &mi));
    EXPECT_EQ(mi.wID, 3u);
    EXPECT_EQ(mi.dwItemData, 103u);
    EXPECT_EQ(mi.text, "E&xit\tF4");
    ASSERT_TRUE(GetMenuItemInfo(m_menu, 1, true, &mi));
    EXPECT_EQ(mi.fType, MFT_SEPARATOR);
    // by id, the submenus are searched too
    mi.fMask = MIIM_STRING;
    ASSERT_TRUE(GetMenuItemInfo(m_sub, 1, false, &mi));
    EXPECT_EQ(mi.text, "&b.txt");
    EXPECT_FALSE(GetMenuItemInfo(m_menu, 7, true, &mi));
    // a destroyed menu's handle names nothing, nor do its submenus
    HMENU gone = build({{"x", {"y"}}});
    HMENU gone_sub = sub_of(gone, 0);
    EXPECT_TRUE(DestroyMenu(gone));
    EXPECT_FALSE(IsMenu(gone));
    EXPECT_FALSE(IsMenu(gone_sub));
    EXPECT_EQ(GetMenuItemCount(gone), -1);
    EXPECT_NE(CreatePopupMenu(), gone);  // the slot comes back with a new generation
}

TEST_F(MenuTest, OwnerHearsHighlightsThenCloseThenCommand) {
    g_steps = {[&] { hover(m_menu, 0); }, [&] { click_item(m_menu, 3); }};
    EXPECT_EQ(track(), 1);
    const WPARAM mouse = MF_HILITE | MF_MOUSESELECT;
    const std::vector<Heard> want = {
        {WM_ENTERMENULOOP, 1, 0},
        {WM_INITMENUPOPUP, m_menu, 0},
        {WM_MENUSELECT, MAKEWPARAM(0, mouse), static_cast<LPARAM>(m_menu)},
        {WM_MENUSELECT, MAKEWPARAM(3, mouse), static_cast<LPARAM>(m_menu)},
        {WM_MENUSELECT, MENU_CLOSED, 0},
        {WM_EXITMENULOOP, 1, 0},
        {WM_COMMAND, 3, 0},
    };
    EXPECT_EQ(g_heard, want);
    EXPECT_EQ(menu_popup_window(0), 0u);
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(m_display->grab(), 0u);
    EXPECT_EQ(m_display->keyboard_grab(), 0u);
}

TEST_F(MenuTest, CascadeOnHoverIdsArePositionsInTheirOwnMenu) {
    g_steps = {[&] { hover(m_menu, 2); },
               [&] {
                   HWND root = menu_popup_window(0), sub = menu_popup_window(1);
                   ASSERT_NE(sub, 0u);
                   RECT a, b;
                   GetWindowRect(root, &a);
                   GetWindowRect(sub, &b);
                   EXPECT_GE(b.left, a.right - 2);  // beside the root popup
                   click_item(m_sub, 1);
               }};
    track();
    // the submenu's item is named by its position, the submenu row by its own
    EXPECT_EQ(outcome(), std::make_pair(1, m_sub));
    bool saw_popup_row = false;
    for (const Heard& h : g_heard)
        saw_popup_row |= h.msg == WM_MENUSELECT && h.wp == MAKEWPARAM(2, MF_HILITE | MF_POPUP | MF_MOUSESELECT);
    EXPECT_TRUE(saw_popup_row);
}

TEST_F(MenuTest, KeysAndMnemonics) {
    struct Case {
        std::vector<const char*> keys;
        int command;  // -1: none
        bool in_sub;
    };
    const Case cases[] = {
        {{"Down", "Return"}, 0, false},
        {{"Up", "Return"}, 6, false},                      // wraps to the last
        {{"Down", "Down", "Return", "Return"}, 0, true},    // Enter opens, lights the first
        {{"Down", "Down", "Right", "Down", "Return"}, 1, true},
        {{"Down", "Down", "Right", "Left", "Down", "Return"}, 3, false},  // Left closes the submenu
        {{"Down", "Down", "Right", "Escape", "Down", "Return"}, 3, false},
        {{"x"}, 3, false},                                  // one match: chosen at once
        {{"shift+X"}, 3, false},
        {{"r", "b"}, 1, true},
        {{"e", "e", "Return"}, 5, false},                   // two matches take turns
        {{"Down", "Down", "Down", "Return"}, 3, false},     // the separator is skipped
        {{"Escape"}, -1, false},
        {{"Down", "alt"}, -1, false},
        {{"Down"}, -1, false},                              // nothing chosen when input ends
        {{"q"}, -1, false},
        {{"=ё"}, 6, false},                                 // a mnemonic beyond ASCII, either case
        {{"=Ё"}, 6, false},
    };
    for (const Case& c : cases) {
        std::string keys;
        for (const char* k : c.keys) keys += std::string(k) + " ";
        SCOPED_TRACE(keys);
        g_heard.clear();
        g_steps = {[&] {
            for (const char* k : c.keys) {
                if (k[0] != '=') {
                    m_display->key(k);
                    continue;
                }
                m_display->key_down("a", k + 1, true);  // what the input method makes of a key
                m_display->key_up("a");
            }
        }};
        track();
        auto [command, menu] = outcome();
        EXPECT_EQ(command, c.command);
        if (c.command >= 0) {
            EXPECT_EQ(menu, c.in_sub ? m_sub : m_menu);
        }
        EXPECT_EQ(menu_popup_window(0), 0u);
    }
}

TEST_F(MenuTest, ClickOutsideClosesAndIsUsedUp) {
    HWND other = CreateWindowEx(0, "MenuOwner", "other", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 500, 400, 200, 200, 0);
    struct Case {
        const char* name;
        std::function<void()> act;
    };
    const Case cases[] = {
        {"press outside", [&] { m_display->click(600, 500); }},
        {"right press outside", [&] { m_display->click(600, 500, 3); }},
        {"EndMenu", [&] { EndMenu(); }},
        {"a click on the separator chooses nothing, then Escape",
         [&] {
             click_item(m_menu, 1);
             m_display->key("Escape");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_heard.clear();
        g_steps = {[&] {
            EXPECT_EQ(GetCapture(), menu_popup_window(0));
            EXPECT_EQ(m_display->grab(), menu_popup_window(0));
            EXPECT_EQ(m_display->keyboard_grab(), menu_popup_window(0));
            c.act();
        }};
        EXPECT_EQ(track(), 1);
        EXPECT_EQ(outcome().first, -1);
        ASSERT_FALSE(g_heard.empty());
        EXPECT_EQ(g_heard.back(), (Heard{WM_EXITMENULOOP, 1, 0}));
        for (const Heard& h : g_heard) EXPECT_NE(h.msg, WM_COMMAND);
    }
    DestroyWindow(other);
}

TEST_F(MenuTest, ContextMenuRequestsReachTheParents) {
    HWND child = CreateWindowEx(0, "MenuOwner", "", WS_CHILD | WS_VISIBLE, 20, 30, 100, 50, m_owner);
    SetFocus(child);
    struct Case {
        const char* name;
        std::function<void()> input;
        LPARAM where;
    };
    const Case cases[] = {
        {"a right release, at its screen point", [&] { m_display->click(40, 50, 3); }, 40 | 50 << 16},
        {"Shift+F10, at -1, -1", [&] { m_display->key("shift+F10"); }, -1},
        {"the menu key", [&] { m_display->key("Menu"); }, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_heard.clear();
        c.input();
        MSG m;
        while (m_display->queued() || PeekMessage(&m, 0, 0, 0, PM_NOREMOVE)) {
            if (GetMessage(&m) <= 0) break;
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
        EXPECT_EQ(g_heard, (std::vector<Heard>{{WM_CONTEXTMENU, child, c.where}}));
    }
}

TEST_F(MenuTest, RightButtonReleaseChoosesOnlyWithTpmRightButton) {
    for (UINT flags : {TPM_LEFTBUTTON, TPM_RIGHTBUTTON}) {
        g_heard.clear();
        g_steps = {[&] {
            POINT p = centre(m_menu, 0);
            m_display->move(p.x, p.y);
            m_display->press(3);
            m_display->release(3);
        }, [&] { m_display->key("Escape"); }};
        track(50, 40, flags);
        EXPECT_EQ(outcome().first, flags == TPM_RIGHTBUTTON ? 0 : -1);
    }
}

TEST_F(MenuTest, ReturnCmdAnswersTheIdWithoutPosting) {
    g_steps = {[&] { m_display->key("x"); }};
    EXPECT_EQ(track(50, 40, TPM_LEFTBUTTON | TPM_RETURNCMD), 3);
    for (const Heard& h : g_heard) EXPECT_NE(h.msg, WM_COMMAND);
}

TEST_F(MenuTest, PopupIsAToolPopupKeptOnTheMonitor) {
    struct Case {
        POINT at;
    };
    const Case cases[] = {{{50, 40}}, {{1020, 40}}, {{50, 760}}, {{1020, 760}}, {{-30, -30}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.at.x) + "," + std::to_string(c.at.y));
        RECT root{}, sub{};
        g_steps = {[&] {
            HWND p = menu_popup_window(0);
            EXPECT_EQ(GetWindowText(p), "zun-popup");
            EXPECT_TRUE(GetWindowLong(p, GWL_STYLE) & WS_POPUP);
            EXPECT_TRUE(GetWindowLong(p, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
            GetWindowRect(p, &root);
            m_display->key("r");
        }, [&] {
            GetWindowRect(menu_popup_window(1), &sub);
            m_display->key("Escape");
            m_display->key("Escape");
        }};
        track(c.at.x, c.at.y);
        for (const RECT& r : {root, sub}) {
            EXPECT_GE(r.left, 0);
            EXPECT_GE(r.top, 0);
            EXPECT_LE(r.right, 1024);
            EXPECT_LE(r.bottom, 768);
            EXPECT_GT(r.width(), 10);
        }
        // the submenu cascades to the side with room, never over its parent row
        EXPECT_TRUE(sub.left >= root.right - 2 || sub.right <= root.left + 2);
        if (c.at.x > 900) {
            EXPECT_EQ(root.right, c.at.x);  // flipped left of the point
            EXPECT_LE(sub.right, root.left + 2);
        }
    }
}

TEST_F(MenuTest, PopupScalesWithItsMonitorsDpi) {
    m_display->set_monitors({{{0, 0, 1024, 768}, 96, "a"}, {{1024, 0, 2048, 768}, 192, "b"}});
    SIZE sizes[2];
    for (int i = 0; i < 2; ++i) {
        g_steps = {[&] {
            RECT r;
            GetWindowRect(menu_popup_window(0), &r);
            sizes[i] = {r.width(), r.height()};
            m_display->key("Escape");
        }};
        track(i ? 1100 : 100, 40);
    }
    EXPECT_NEAR(sizes[1].cx, 2 * sizes[0].cx, 6);
    EXPECT_NEAR(sizes[1].cy, 2 * sizes[0].cy, 6);
}

// Columns of ink (dark pixels) in a row of a popup's picture.
struct Ink {
    int first = -1, last = -1;
};
Ink ink_in(cairo_surface_t* s, RECT row) {
    Ink ink;
    cairo_surface_flush(s);
    const int stride = cairo_image_surface_get_stride(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int x = row.left; x < row.right; ++x)
        for (int y = row.top; y < row.bottom; ++y) {
            uint32_t p = reinterpret_cast<const uint32_t*>(data + y * stride)[x];
            int sum = ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF);
            if (sum < 300) {
                if (ink.first < 0) ink.first = x;
                ink.last = x;
            }
        }
    return ink;
}

uint32_t rgb_at(cairo_surface_t* s, int x, int y) {
    cairo_surface_flush(s);
    const unsigned char* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(row)[x] & 0xFFFFFF;
}
uint32_t rgb_of(COLORREF c) { return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF); }

TEST_F(MenuTest, DrawnInTheThemesColours) {
    for (bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        DesktopSettings ds = desktop_settings();
        ds.dark = dark;
        m_display->set_settings(ds);
        g_steps = {[&] {
            HWND p = menu_popup_window(0);
            RECT win, row;
            GetWindowRect(p, &win);
            GetMenuItemRect(0, m_menu, 2, &row);
            cairo_surface_t* pic = PrintWindow(p);
            EXPECT_EQ(rgb_at(pic, win.width() - 4, win.height() - 4), rgb_of(controls::sys_colour(COLOR_BTNFACE)));
            EXPECT_EQ(rgb_at(pic, row.right - win.left - 3, row.top - win.top + 2),
                      rgb_of(controls::sys_colour(COLOR_HIGHLIGHT)));  // the lit row
            cairo_surface_destroy(pic);
            m_display->key("Escape");
        }};
        g_steps.push_front([&] { hover(m_menu, 2); });
        track();
    }
}

TEST_F(MenuTest, ShortcutColumnRightAlignedLabelsAligned) {
    DestroyMenu(m_menu);
    m_menu = build({{"&Open\tCtrl+Shift+O", {}}, {"Save && &Quit\tF4", {}}, {"&Wide label here", {}}});
    Ink rows[3];
    g_steps = {[&] {
        HWND p = menu_popup_window(0);
        cairo_surface_t* pic = PrintWindow(p);
        RECT win;
        GetWindowRect(p, &win);
        for (UINT i = 0; i < 3; ++i) {
            RECT r;
            GetMenuItemRect(0, m_menu, i, &r);
            // the right half holds the shortcut column
            RECT local{r.left - win.left, r.top - win.top, r.right - win.left, r.bottom - win.top};
            RECT right_half{(local.left + local.right) / 2, local.top, local.right, local.bottom};
            rows[i] = ink_in(pic, i < 2 ? right_half : local);
            if (i < 2) rows[i].first = ink_in(pic, local).first;
        }
        cairo_surface_destroy(pic);
        m_display->key("q");  // "&&" is a plain "&": q is the mnemonic
    }};
    track();
    EXPECT_EQ(outcome().first, 1);
    ASSERT_GE(rows[0].last, 0);
    ASSERT_GE(rows[1].last, 0);
    EXPECT_NEAR(rows[0].last, rows[1].last, 1);    // shortcuts end together
    EXPECT_NEAR(rows[0].first, rows[1].first, 1);  // labels start together
    EXPECT_GT(rows[0].last, rows[2].last);         // the column lies right of the longest label
}

// ---- menu bars ----------------------------------------------------------------

class MenuBarTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        m_bar = CreateMenu();
        const char* tops[] = {"&File", "&Edit"};
        const std::vector<std::vector<std::string>> subs = {{"&New", "&Quit"}, {"&Copy"}};
        for (UINT i = 0; i < 2; ++i) {
            std::vector<Entry> entries;
            for (const std::string& t : subs[i]) entries.push_back({t, {}});
            MENUITEMINFO mi;
            mi.fMask = MIIM_STRING | MIIM_SUBMENU | MIIM_ID;
            mi.text = tops[i];
            mi.wID = i;
            mi.hSubMenu = build(entries);
            InsertMenuItem(m_bar, i, true, &mi);
        }
        m_file = sub_of(m_bar, 0);
        m_edit = sub_of(m_bar, 1);
    }
    // Runs the loop until the queued input is used up.
    void pump() {
        MSG m;
        for (int guard = 0; guard < 10000 && (m_display->queued() || PeekMessage(&m, 0, 0, 0, PM_NOREMOVE)); ++guard) {
            if (GetMessage(&m) <= 0) break;
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
    }
    POINT bar_centre(UINT item) {
        RECT r{};
        EXPECT_TRUE(GetMenuItemRect(m_owner, m_bar, item, &r));
        return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    HMENU m_bar = 0, m_file = 0, m_edit = 0;
};

TEST_F(MenuBarTest, BandAboveTheClientAreaKeepsTheOuterCorner) {
    RECT before;
    GetWindowRect(m_owner, &before);
    ASSERT_TRUE(SetMenu(m_owner, m_bar));
    EXPECT_EQ(GetMenu(m_owner), m_bar);
    const int band = menu_band_height(m_owner);
    EXPECT_GT(band, 12);
    RECT r, c;
    GetWindowRect(m_owner, &r);
    GetClientRect(m_owner, &c);
    EXPECT_EQ(r, (RECT{before.left, before.top + band, before.right, before.bottom + band}));
    EXPECT_EQ(c.width(), before.width());
    EXPECT_EQ(c.height(), before.height());
    EXPECT_EQ(frame_extents(m_owner).top, band);
    // a top-level's position is its outer corner, the band's top
    SetWindowPos(m_owner, 0, before.left, before.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetWindowRect(m_owner, &r);
    EXPECT_EQ(r.top, before.top + band);
    // the display shows band and client together from the old corner
    EXPECT_EQ(m_display->top(m_owner)->state.rect, (RECT{before.left, before.top, before.right, before.bottom + band}));
    // drawn: the band's face colour, with the items' labels in ink
    flush_display();
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const uint32_t face_rgb = (face & 0xFF) << 16 | (face & 0xFF00) | (face >> 16 & 0xFF);
    EXPECT_EQ(m_display->pixel(m_owner, before.width() - 5, band / 2) & 0xFFFFFF, face_rgb);
    RECT file;
    GetMenuItemRect(m_owner, m_bar, 0, &file);
    int dark = 0;
    for (int x = file.left; x < file.right; ++x)
        for (int y = file.top; y < file.bottom; ++y) {
            uint32_t p = m_display->pixel(m_owner, x - before.left, y - before.top);
            dark += ((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) < 300;
        }
    EXPECT_GT(dark, 5);
    // without the bar the client goes back up; a window takes its bar along
    SetMenu(m_owner, 0);
    GetWindowRect(m_owner, &r);
    EXPECT_EQ(r, before);
    SetMenu(m_owner, m_bar);
    DestroyWindow(m_owner);
    EXPECT_FALSE(IsMenu(m_bar));
    EXPECT_FALSE(IsMenu(m_file));
    m_menu = CreatePopupMenu();
}

TEST_F(MenuBarTest, OpenedByClickF10AltAndMnemonics) {
    struct Case {
        const char* name;
        std::function<void()> input;
        int command;  // -1 none
        int in_menu;  // 0 File, 1 Edit
        bool loop;    // a menu loop ran
    };
    auto click = [&](POINT p) {
        m_display->advance(1000);
        m_display->click(p.x, p.y);
    };
    const Case cases[] = {
        {"click File, then New", [&] { click(bar_centre(0)); m_display->key("Down"); m_display->key("Return"); }, 0, 0, true},
        {"click File, slide to Edit, Copy", [&] {
             click(bar_centre(0));
             POINT e = bar_centre(1);
             m_display->move(e.x, e.y);
             m_display->key("Down");
             m_display->key("Return");
         }, 0, 1, true},
        {"a second click on File closes", [&] { click(bar_centre(0)); click(bar_centre(0)); m_display->key("Return"); }, -1, 0, true},
        {"F10 lights File; Enter opens it lit", [&] { m_display->key("F10"); m_display->key("Return"); m_display->key("Down"); m_display->key("Return"); }, 1, 0, true},
        {"F10, Left wraps to Edit", [&] { m_display->key("F10"); m_display->key("Left"); m_display->key("Return"); m_display->key("Return"); }, 0, 1, true},
        {"Alt alone, Right, Down", [&] { m_display->key("Alt_L"); m_display->key("Right"); m_display->key("Down"); m_display->key("Return"); }, 0, 1, true},
        {"Alt+E opens Edit lit", [&] { m_display->key("alt+e"); m_display->key("Return"); }, 0, 1, true},
        {"in a drop-down, Right moves along the bar", [&] { m_display->key("alt+f"); m_display->key("Right"); m_display->key("Return"); }, 0, 1, true},
        {"Escape goes back to the bar, then out", [&] { m_display->key("alt+f"); m_display->key("Escape"); m_display->key("Escape"); m_display->key("Return"); }, -1, 0, true},
        {"Alt+Q matches nothing", [&] { m_display->key("alt+q"); }, -1, 0, false},
        {"Alt with another key is no tap", [&] {
             m_display->key_down("Alt_L");
             m_display->key("Shift_L");
             m_display->key_up("Alt_L");
             m_display->key("Return");
         }, -1, 0, false},
    };
    SetMenu(m_owner, m_bar);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_heard.clear();
        c.input();
        pump();
        auto [command, menu] = outcome();
        EXPECT_EQ(command, c.command);
        if (c.command >= 0) {
            EXPECT_EQ(menu, c.in_menu ? m_edit : m_file);
        }
        bool entered = !g_heard.empty() && g_heard.front() == Heard{WM_ENTERMENULOOP, 0, 0};
        EXPECT_EQ(entered, c.loop);
        EXPECT_EQ(GetCapture(), 0u);
        EXPECT_EQ(m_display->keyboard_grab(), 0u);
    }
}

// ---- EDIT's standard context menu ------------------------------------------

WNDPROC g_edit_proc = nullptr;
// The edit owns its menu: it hears the loop's idle turns, passed to the steps.
LRESULT edit_wrapper(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_ENTERIDLE || m == WM_INITMENUPOPUP) owner_proc(h, m, w, l);
    return CallWindowProc(g_edit_proc, h, m, w, l);
}

class EditMenuTest : public MenuTest {
protected:
    HWND edit(const char* text, uint32_t style = 0) {
        HWND e = CreateWindowEx(0, WC_EDIT, text, WS_CHILD | WS_VISIBLE | style, 10, 10, 200, 24, m_owner, 5);
        g_edit_proc = SetWindowProc(e, edit_wrapper);
        return e;
    }
    // The enabled commands of the menu (Undo, Cut, Copy, Paste, Delete,
    // Select All) as a string of 0 and 1, and the command chosen by a click.
    std::string states_then(HWND e, int choose_position) {
        std::string states;
        g_steps = {[&] {
            HMENU menu = g_last_popup_menu;
            for (UINT pos : {0u, 2u, 3u, 4u, 5u, 7u}) {
                MENUITEMINFO mi;
                mi.fMask = MIIM_STATE;
                GetMenuItemInfo(menu, pos, true, &mi);
                states += (mi.fState & MFS_GRAYED) ? '0' : '1';
            }
            if (choose_position >= 0) click_item(menu, static_cast<UINT>(choose_position));
            else m_display->key("Escape");
        }};
        edit_context_menu()(e, {60, 60});
        return states;
    }
};

TEST_F(EditMenuTest, CommandsFollowTheEditsState) {
    struct Case {
        const char* name;
        uint32_t style;
        int sel_lo, sel_hi;
        const char* clipboard;
        const char* states;  // Undo Cut Copy Paste Delete SelectAll
    };
    const Case cases[] = {
        {"selection", 0, 0, 2, "x", "011111"},
        {"no selection, empty clipboard", 0, 1, 1, "", "000001"},
        {"all selected", 0, 0, -1, "x", "011110"},
        {"read-only", ES_READONLY, 0, 2, "x", "001001"},
        {"password", ES_PASSWORD, 0, 2, "x", "000111"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HWND e = edit("hello", c.style);
        edit_clipboard_write(c.clipboard);
        SendMessage(e, EM_SETSEL, static_cast<WPARAM>(c.sel_lo), c.sel_hi);
        EXPECT_EQ(states_then(e, -1), c.states);
        DestroyWindow(e);
    }
}

TEST_F(EditMenuTest, ChosenCommandsReachTheEdit) {
    struct Case {
        int position;
        const char* text_after;
        const char* clipboard_after;
        uint32_t sel_lo, sel_hi;
    };
    const Case cases[] = {
        {2, "llo", "he", 0, 0},       // Cut
        {3, "hello", "he", 0, 2},     // Copy
        {4, "clipllo", "clip", 4, 4}, // Paste
        {5, "llo", "clip", 0, 0},     // Delete
        {7, "hello", "clip", 0, 5},   // Select All
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.position);
        HWND e = edit("hello");
        edit_clipboard_write("clip");
        SendMessage(e, EM_SETSEL, 0, 2);
        states_then(e, c.position);
        MSG m;
        while (PeekMessage(&m)) DispatchMessage(&m);
        EXPECT_EQ(GetWindowText(e), c.text_after);
        std::string clip;
        edit_clipboard_read(&clip);
        EXPECT_EQ(clip, c.clipboard_after);
        uint32_t lo = 9, hi = 9;
        SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&lo), reinterpret_cast<LPARAM>(&hi));
        EXPECT_EQ(lo, c.sel_lo);
        EXPECT_EQ(hi, c.sel_hi);
        EXPECT_EQ(GetFocus(), e);
        DestroyWindow(e);
    }
}

}  // namespace
