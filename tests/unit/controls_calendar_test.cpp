#include <clocale>

#include "platform/controls/calendar.hpp"
#include "tests/unit/controls_fixture.hpp"

using namespace controls_test;

namespace {

struct Ymd {
    int y, m, d;
    bool operator==(const Ymd&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Ymd& d) { return o << d.y << "-" << d.m << "-" << d.d; }

SYSTEMTIME st(Ymd d) {
    SYSTEMTIME s;
    s.wYear = static_cast<uint16_t>(d.y);
    s.wMonth = static_cast<uint16_t>(d.m);
    s.wDay = static_cast<uint16_t>(d.d);
    return s;
}

class CalendarTest : public ControlsTest {
protected:
    void SetUp() override {
        ControlsTest::SetUp();
        std::setlocale(LC_TIME, "C");  // Sunday first, "Su Mo ..."
        g_parent_handler = [this](HWND, UINT m, WPARAM, LPARAM l, LRESULT*) {
            auto* hdr = reinterpret_cast<const NMHDR*>(l);
            if (m == WM_NOTIFY && (hdr->code == MCN_SELCHANGE || hdr->code == MCN_SELECT)) {
                auto* n = reinterpret_cast<const NMSELCHANGE*>(l);
                m_told.push_back({n->stSelStart.wYear, n->stSelStart.wMonth, n->stSelStart.wDay});
                EXPECT_EQ(n->stSelEnd.wDay, n->stSelStart.wDay);
            }
            return false;
        };
    }
    // A calendar of its least size at 10,10 showing d selected (today elsewhere).
    HWND calendar(uint32_t style, Ymd d, uint32_t id = 3) {
        HWND c = make(MONTHCAL_CLASS, "", style, 10, 10, 139, 148 + ((style & MCS_NOTODAY) ? 0 : 17), id);
        SYSTEMTIME today = st({2000, 6, 15});
        SendMessage(c, MCM_SETTODAY, 0, reinterpret_cast<LPARAM>(&today));
        SYSTEMTIME s = st(d);
        EXPECT_EQ(SendMessage(c, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&s)), 1);
        return c;
    }
    static Ymd selected(HWND c) {
        SYSTEMTIME s;
        SendMessage(c, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&s));
        return {s.wYear, s.wMonth, s.wDay};
    }
    // The middle of a grid cell (row 0..5, column 0..6) of a calendar at 10,10.
    void click_cell(int row, int col) { click(10 + 3 + 19 * col + 9, 10 + 43 + 17 * row + 8); }
    std::vector<Ymd> m_told;
};

TEST_F(CalendarTest, SelectionMessages) {
    HWND c = calendar(MCS_NOTODAY, {2024, 1, 31});
    struct Case {
        Ymd set;
        LRESULT answer;
        Ymd after;
        uint16_t weekday;  // of after, 0 Sunday
    };
    const Case cases[] = {
        {{2024, 2, 29}, 1, {2024, 2, 29}, 4},  {{2023, 2, 29}, 0, {2024, 2, 29}, 4},
        {{1601, 1, 1}, 1, {1601, 1, 1}, 1},    {{1600, 12, 31}, 0, {1601, 1, 1}, 1},
        {{9999, 12, 31}, 1, {9999, 12, 31}, 5}, {{2024, 13, 1}, 0, {9999, 12, 31}, 5},
        {{2024, 4, 31}, 0, {9999, 12, 31}, 5}, {{2024, 4, 0}, 0, {9999, 12, 31}, 5},
        {{1970, 1, 1}, 1, {1970, 1, 1}, 4},
    };
    for (const Case& k : cases) {
        SYSTEMTIME s = st(k.set);
        EXPECT_EQ(SendMessage(c, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&s)), k.answer) << k.set;
        EXPECT_EQ(selected(c), k.after) << k.set;
        SendMessage(c, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&s));
        EXPECT_EQ(s.wDayOfWeek, k.weekday) << k.set;
    }
    EXPECT_TRUE(g_notes.empty());  // MCM_SETCURSEL is silent
    // Colours: the old one answered, a bad part refused.
    EXPECT_EQ(SendMessage(c, MCM_SETCOLOR, MCSC_BACKGROUND, 0x123456), static_cast<LRESULT>(controls::sys_colour(COLOR_WINDOW)));
    EXPECT_EQ(SendMessage(c, MCM_GETCOLOR, MCSC_BACKGROUND, 0), 0x123456);
    EXPECT_EQ(SendMessage(c, MCM_SETCOLOR, 9, 0), -1);
    // The first weekday, counted from Monday as the message does.
    EXPECT_EQ(SendMessage(c, MCM_GETFIRSTDAYOFWEEK, 0, 0), 6);  // the C locale's Sunday
    EXPECT_EQ(SendMessage(c, MCM_SETFIRSTDAYOFWEEK, 0, 0), 6);
    EXPECT_EQ(SendMessage(c, MCM_GETFIRSTDAYOFWEEK, 0, 0), 0x10000);
}

TEST(CalendarLocale, FirstWeekday) {
    struct Case {
        uint32_t week_1stday;
        int first_weekday, sunday_based;
    };
    const Case cases[] = {
        {19971130, 1, 0}, {19971130, 2, 1}, {19971130, 7, 6}, {19971201, 1, 1}, {19971201, 7, 0}, {0, 1, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(first_weekday_of(c.week_1stday, c.first_weekday), c.sunday_based);
}

TEST_F(CalendarTest, LeastSize) {
    struct Case {
        uint32_t style, ex;
        SIZE size;
    };
    const Case cases[] = {
        {MCS_NOTODAY, 0, {139, 148}},
        {0, 0, {139, 165}},
        {MCS_NOTODAY, WS_EX_CLIENTEDGE, {143, 152}},
    };
    for (const Case& k : cases) {
        HWND c = make(MONTHCAL_CLASS, "", k.style, 0, 0, 50, 50, 1, k.ex);
        RECT r{};
        EXPECT_EQ(SendMessage(c, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&r)), 1);
        EXPECT_EQ(r, (RECT{0, 0, k.size.cx, k.size.cy})) << k.style;
        DestroyWindow(c);
    }
    // A larger font and a larger DPI grow it.
    HWND c = make(MONTHCAL_CLASS, "", MCS_NOTODAY, 0, 0, 50, 50);
    HFONT big = CreateFontFromDescription("sans-serif 18");
    SendMessage(c, WM_SETFONT, big, 0);
    RECT r{};
    SendMessage(c, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&r));
    EXPECT_GT(r.right, 139 * 3 / 2);
    EXPECT_GT(r.bottom, 148 * 3 / 2);
    DeleteFont(big);
    m_display->set_monitors({{{0, 0, 1024, 768}, 96, "a"}, {{1024, 0, 2048, 768}, 144, "b"}});
    HWND top = CreateWindowEx(0, "CtlParent", "hi", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 1100, 100, 400, 300, 0);
    HWND hi = CreateWindowEx(0, MONTHCAL_CLASS, "", WS_CHILD | WS_VISIBLE | MCS_NOTODAY, 0, 0, 50, 50, top, 1);
    ASSERT_EQ(GetDpiForWindow(hi), 144u);
    SendMessage(hi, MCM_GETMINREQRECT, 0, reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(r, (RECT{0, 0, 209, 222}));
}

// Navigation by the arrows and PgUp/PgDn keeps the selection under
// MCS_NOSELCHANGEONNAV, and moves it a month otherwise; arrow keys always select.
TEST_F(CalendarTest, NavigationAndKeys) {
    struct Step {
        const char* action;  // "prev", "next" (the title's arrows), "cell r c", or keys
        Ymd sel;
        std::vector<Ymd> told;  // MCN_SELCHANGE (and MCN_SELECT after a click)
    };
    struct Case {
        uint32_t style;
        Ymd start;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {MCS_NOSELCHANGEONNAV | MCS_NOTODAY, {2024, 1, 31},
         {{"next", {2024, 1, 31}, {}},
          {"Page_Down", {2024, 1, 31}, {}},
          {"cell 0 0", {2024, 2, 25}, {{2024, 2, 25}, {2024, 2, 25}}},  // March's grid starts Feb 25
          {"prev", {2024, 2, 25}, {}},
          {"ctrl+Page_Up", {2024, 2, 25}, {}},
          {"Left", {2024, 2, 24}, {{2024, 2, 24}}},  // a key brings the selection's month back
          {"cell 4 2", {2024, 2, 27}, {{2024, 2, 27}, {2024, 2, 27}}}}},
        {MCS_NOTODAY, {2024, 1, 31},
         {{"next", {2024, 2, 29}, {{2024, 2, 29}}},
          {"Page_Down", {2024, 3, 29}, {{2024, 3, 29}}},
          {"ctrl+Page_Up", {2023, 3, 29}, {{2023, 3, 29}}},
          {"Down", {2023, 4, 5}, {{2023, 4, 5}}},
          {"Up", {2023, 3, 29}, {{2023, 3, 29}}},
          {"Right", {2023, 3, 30}, {{2023, 3, 30}}},
          {"Home", {2023, 3, 1}, {{2023, 3, 1}}},
          {"Home", {2023, 3, 1}, {}},  // no change, nothing told
          {"End", {2023, 3, 31}, {{2023, 3, 31}}},
          {"cell 5 6", {2023, 4, 8}, {{2023, 4, 8}, {2023, 4, 8}}},  // a day of April moves there
          {"cell 0 6", {2023, 4, 1}, {{2023, 4, 1}, {2023, 4, 1}}},
          {"cell 0 6", {2023, 4, 1}, {{2023, 4, 1}}}}},  // the same day again: MCN_SELECT only
        {MCS_NOTODAY, {1601, 1, 3}, {{"prev", {1601, 1, 3}, {}}, {"ctrl+Page_Up", {1601, 1, 3}, {}}, {"Up", {1601, 1, 1}, {{1601, 1, 1}}}}},
        // At the start of the range: no earlier month, the first row empty up to it.
        {MCS_NOTODAY, {1601, 1, 3}, {{"cell 0 0", {1601, 1, 3}, {}}, {"cell 0 1", {1601, 1, 1}, {{1601, 1, 1}, {1601, 1, 1}}}}},
        // Days of other months not shown are not there to click.
        {MCS_NOTODAY | MCS_NOTRAILINGDATES, {2024, 3, 10}, {{"cell 0 0", {2024, 3, 10}, {}}, {"cell 0 5", {2024, 3, 1}, {{2024, 3, 1}, {2024, 3, 1}}}}},
    };
    for (const Case& k : cases) {
        HWND c = calendar(k.style, k.start);
        for (const Step& s : k.steps) {
            SCOPED_TRACE(s.action);
            m_told.clear();
            m_display->advance(1000);
            std::string a = s.action;
            if (a == "prev" || a == "next") click(10 + (a == "prev" ? 3 + 8 : 139 - 3 - 8), 10 + 2 + 11);
            else if (a.rfind("cell", 0) == 0) click_cell(a[5] - '0', a[7] - '0');
            else {
                m_display->key(a);
                pump();
            }
            EXPECT_EQ(selected(c), s.sel);
            EXPECT_EQ(m_told, s.told);
            EXPECT_EQ(GetFocus(), c);
        }
        DestroyWindow(c);
    }
}

// ---- looks ------------------------------------------------------------------------------

TEST_F(CalendarTest, SelectionTodayAndColours) {
    HWND c = calendar(MCS_NOTODAY, {2000, 6, 20});  // June 2000: the 1st a Thursday, the grid from May 28
    auto cell = [](int row, int col) {
        return RECT{10 + 3 + 19 * col, 10 + 43 + 17 * row, 10 + 3 + 19 * (col + 1), 10 + 43 + 17 * (row + 1)};
    };
    uint32_t highlight = shown(controls::sys_colour(COLOR_HIGHLIGHT));
    RECT sel = cell(3, 2), today = cell(2, 4), other = cell(3, 4);
    EXPECT_EQ(pixel(sel.left + 1, sel.top + 1), highlight);
    EXPECT_NE(pixel(other.left + 1, other.top + 1), highlight);
    // Today outlined without the today line.
    EXPECT_GT(darkness(pixel(today.left, today.top + 8)), 300);
    EXPECT_LT(darkness(pixel(other.left, other.top + 8)), 100);
    make(MONTHCAL_CLASS, "", 0, 200, 10, 139, 165);
    EXPECT_GT(ink({200 + 3, 10 + 145, 200 + 136, 10 + 162}), 20);  // "Today: ..." when asked for
    EXPECT_EQ(ink({10 + 3, 10 + 148, 10 + 136, 10 + 165}), 0);
    // MCSC_BACKGROUND paints the control.
    SendMessage(c, MCM_SETCOLOR, MCSC_BACKGROUND, 0x00FF00);
    EXPECT_EQ(pixel(12, 12), 0x00FF00u);
    EXPECT_EQ(pixel(sel.left + 1, sel.top + 1), highlight);
    // Disabled: grey; dark theme: a dark face.
    RECT title{10 + 20, 10 + 2, 10 + 119, 10 + 24};
    SendMessage(c, MCM_SETCOLOR, MCSC_BACKGROUND, 0xFFFFFF);
    EXPECT_GT(darkest(title), 600);
    EnableWindow(c, false);
    EXPECT_LT(darkest(title), 500);
    click_cell(0, 0);
    EXPECT_TRUE(m_told.empty());
    // The dark theme: a dark face with light text.
    DestroyWindow(c);
    DesktopSettings s = desktop_settings();
    s.dark = true;
    m_display->set_settings(s);
    calendar(MCS_NOTODAY, {2000, 6, 20});
    EXPECT_GT(darkness(pixel(12, 12)), 600);
    int light = 0;
    for (int y = title.top; y < title.bottom; ++y)
        for (int x = title.left; x < title.right; ++x) light += darkness(m_display->pixel(m_top, x, y) & 0xFFFFFF) < 150;
    EXPECT_GT(light, 20);
}

}  // namespace
