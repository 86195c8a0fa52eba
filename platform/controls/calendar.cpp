// SysMonthCal32: one month at a time. Its measures are those of a month in
// 139 x 148 logical units with the default font, grown with a larger font;
// a larger control shows the month centred. Days of the neighbouring months
// fill the first and last rows (at least one day before the month).
#include "platform/controls/calendar.hpp"

#include <langinfo.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <string>

#include "platform/controls/control_draw.hpp"
#include "platform/window_internal.hpp"

namespace zun::win {

int first_weekday_of(uint32_t week_1stday, int first_weekday) {
    int origin = week_1stday == 19971201 ? 1 : 0;  // else a Sunday
    return ((origin + first_weekday - 1) % 7 + 7) % 7;
}

}  // namespace zun::win

namespace zun::win::controls {

namespace {

// ---- dates ----------------------------------------------------------------------

struct Date {
    int y = 1601, m = 1, d = 1;
    bool operator==(const Date&) const = default;
};

constexpr int k_first_year = 1601, k_last_year = 9999;

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int days_in_month(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}
bool valid(const Date& d) {
    return d.y >= k_first_year && d.y <= k_last_year && d.m >= 1 && d.m <= 12 && d.d >= 1 &&
           d.d <= days_in_month(d.y, d.m);
}

// Days since 1970-01-01 (proleptic Gregorian), and back.
int64_t serial(const Date& d) {
    int64_t y = d.y - (d.m <= 2);
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (d.m + (d.m > 2 ? -3 : 9)) + 2) / 5 + d.d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
Date from_serial(int64_t z) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    int m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (m <= 2)), m, d};
}
int day_of_week(const Date& d) { return static_cast<int>(((serial(d) % 7) + 11) % 7); }  // 1970-01-01 a Thursday

Date clamp_date(int64_t s) {
    return from_serial(std::clamp(s, serial({k_first_year, 1, 1}), serial({k_last_year, 12, 31})));
}
Date add_days(const Date& d, int64_t n) { return clamp_date(serial(d) + n); }
Date add_months(const Date& d, int n) {
    int64_t months = int64_t(d.y) * 12 + (d.m - 1) + n;
    months = std::clamp<int64_t>(months, int64_t(k_first_year) * 12, int64_t(k_last_year) * 12 + 11);
    int y = static_cast<int>(months / 12), m = static_cast<int>(months % 12) + 1;
    return {y, m, std::min(d.d, days_in_month(y, m))};
}

SYSTEMTIME to_systemtime(const Date& d) {
    SYSTEMTIME st;
    st.wYear = static_cast<uint16_t>(d.y);
    st.wMonth = static_cast<uint16_t>(d.m);
    st.wDay = static_cast<uint16_t>(d.d);
    st.wDayOfWeek = static_cast<uint16_t>(day_of_week(d));
    return st;
}
Date from_systemtime(const SYSTEMTIME& st) { return {st.wYear, st.wMonth, st.wDay}; }

Date clock_today() {
    time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

// ---- the locale -------------------------------------------------------------------

int locale_first_weekday() {
    union {
        const char* s;
        uint32_t word;
    } origin{};
    origin.s = nl_langinfo(_NL_TIME_WEEK_1STDAY);
    return first_weekday_of(origin.word, nl_langinfo(_NL_TIME_FIRST_WEEKDAY)[0]);
}

// The first n characters of a UTF-8 string.
std::string first_chars(const char* s, int n) {
    std::string out;
    for (const char* p = s; *p; ++p) {
        if ((static_cast<unsigned char>(*p) & 0xC0) != 0x80 && n-- == 0) break;
        out += *p;
    }
    return out;
}

std::string day_name(int dow, bool shortest) {
    const char* name = nl_langinfo(static_cast<nl_item>(ABDAY_1 + dow));
    return shortest ? first_chars(name, 2) : std::string(name);
}

std::string title_of(const Date& view) {
    return std::string(nl_langinfo(static_cast<nl_item>(MON_1 + view.m - 1))) + " " + std::to_string(view.y);
}

// ---- the control's state ------------------------------------------------------------

constexpr COLORREF k_default = 0xFF000000;  // a part's colour not set: the theme's

struct Calendar : ControlBase {
    Date sel, today, view;  // view: the month shown (day 1)
    COLORREF colours[6] = {k_default, k_default, k_default, k_default, k_default, k_default};
    int first_day = -1;  // MCM_SETFIRSTDAYOFWEEK's, 0 Sunday; -1 the locale's
    bool focused = false;
};

StateTable<Calendar> g_calendars;

COLORREF colour(const Calendar& c, int part) {
    if (c.colours[part] != k_default) return c.colours[part];
    switch (part) {
        case MCSC_BACKGROUND: return sys_colour(COLOR_WINDOW);
        case MCSC_TRAILINGTEXT: return sys_colour(COLOR_GRAYTEXT);
        case MCSC_TITLEBK:
        case MCSC_MONTHBK: return colour(c, MCSC_BACKGROUND);
        default: return sys_colour(COLOR_WINDOWTEXT);
    }
}

int first_day(const Calendar& c) { return c.first_day >= 0 ? c.first_day : locale_first_weekday(); }

// The serial day of the grid's first cell; cells before 1601 stay empty.
int64_t grid_start(const Calendar& c) {
    Date first{c.view.y, c.view.m, 1};
    int before = (day_of_week(first) - first_day(c) + 7) % 7;
    return serial(first) - (before ? before : 7);
}

// The date in a grid cell, false when the cell is outside the range.
bool cell_date(const Calendar& c, int i, Date* d) {
    *d = from_serial(grid_start(c) + i);
    return valid(*d);
}

// ---- layout, in logical units of the default font -----------------------------------

constexpr int k_margin_x = 3, k_col = 19, k_top = 2, k_header = 22, k_names_y = 26, k_names_h = 16,
              k_grid_y = 43, k_row = 17, k_bottom = 3, k_width = k_margin_x * 2 + 7 * k_col,
              k_height = k_grid_y + 6 * k_row + k_bottom, k_arrow = 16;

struct Layout {
    double u = 1;  // pixels per unit
    int32_t x0 = 0, y0 = 0;
    bool today_line = true;
    int32_t px(double units) const { return static_cast<int32_t>(std::lround(units * u)); }
    RECT box(double x, double y, double w, double h) const {
        return {x0 + px(x), y0 + px(y), x0 + px(x + w), y0 + px(y + h)};
    }
    RECT header() const { return box(k_margin_x, k_top, 7 * k_col, k_header); }
    RECT arrow(bool prev) const {
        double y = k_top + (k_header - k_arrow) / 2.0;
        return prev ? box(k_margin_x, y, k_arrow, k_arrow) : box(k_width - k_margin_x - k_arrow, y, k_arrow, k_arrow);
    }
    RECT name(int col) const { return box(k_margin_x + col * k_col, k_names_y, k_col, k_names_h); }
    RECT cell(int i) const { return box(k_margin_x + (i % 7) * k_col, k_grid_y + (i / 7) * k_row, k_col, k_row); }
    RECT today() const { return box(k_margin_x, k_grid_y + 6 * k_row, 7 * k_col, k_row); }
};

// Pixels per logical unit: the DPI scale times the font's height against the default font's.
double unit_of(HWND hwnd, const Calendar& c) {
    double f = 1;
    if (c.font) {
        int32_t own = measure_text(hwnd, c.font, "0", -1, DT_SINGLELINE).cy;
        int32_t def = measure_text(hwnd, 0, "0", -1, DT_SINGLELINE).cy;
        if (own > 0 && def > 0) f = double(own) / def;
    }
    return scale_of(hwnd) * f;
}

SIZE min_size(HWND hwnd, const Calendar& c) {
    double u = unit_of(hwnd, c);
    bool today_line = !(style_of(hwnd) & MCS_NOTODAY);
    int32_t edge = (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? 4 : 0;
    return {static_cast<int32_t>(std::lround(k_width * u)) + edge,
            static_cast<int32_t>(std::lround((k_height + (today_line ? k_row : 0)) * u)) + edge};
}

Layout layout_of(HWND hwnd, const Calendar& c) {
    Layout l;
    l.u = unit_of(hwnd, c);
    l.today_line = !(style_of(hwnd) & MCS_NOTODAY);
    RECT r = inner_client_rect(hwnd);
    SIZE need = min_size(hwnd, c);
    int32_t edge = (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) ? 4 : 0;
    l.x0 = r.left + std::max(0, (r.width() - (need.cx - edge)) / 2);
    l.y0 = r.top + std::max(0, (r.height() - (need.cy - edge)) / 2);
    return l;
}

// ---- changes ----------------------------------------------------------------------------

void tell(HWND hwnd, const Calendar& c, UINT code) {
    NMSELCHANGE n{};
    n.stSelStart = n.stSelEnd = to_systemtime(c.sel);
    notify_parent(hwnd, n.nmhdr, code);
}

// The user chose a day: shown, selected, and told when it changed.
void user_select(HWND hwnd, Calendar& c, const Date& d, bool clicked) {
    bool changed = !(d == c.sel);
    c.sel = d;
    c.view = {d.y, d.m, 1};
    InvalidateRect(hwnd, nullptr, false);
    if (changed) tell(hwnd, c, MCN_SELCHANGE);
    Calendar* still = g_calendars.get(hwnd);
    if (clicked && still) tell(hwnd, *still, MCN_SELECT);
}

// The arrows, PgUp and PgDn: another month; the selection follows unless
// MCS_NOSELCHANGEONNAV.
void navigate(HWND hwnd, Calendar& c, int months) {
    if (style_of(hwnd) & MCS_NOSELCHANGEONNAV) {
        c.view = add_months(c.view, months);
        InvalidateRect(hwnd, nullptr, false);
        return;
    }
    user_select(hwnd, c, add_months(c.sel, months), false);
}

bool can_navigate(const Calendar& c, bool back) {
    return back ? (c.view.y > k_first_year || c.view.m > 1) : (c.view.y < k_last_year || c.view.m < 12);
}

void press(HWND hwnd, Calendar& c, POINT p) {
    Layout l = layout_of(hwnd, c);
    for (bool back : {true, false})
        if (inside(l.arrow(back), p.x, p.y)) {
            if (can_navigate(c, back)) navigate(hwnd, c, back ? -1 : 1);
            return;
        }
    for (int i = 0; i < 42; ++i) {
        Date d;
        if (inside(l.cell(i), p.x, p.y)) {
            bool shown = cell_date(c, i, &d) && (d.m == c.view.m || !(style_of(hwnd) & MCS_NOTRAILINGDATES));
            if (shown) user_select(hwnd, c, d, true);
            return;
        }
    }
    if (l.today_line && inside(l.today(), p.x, p.y)) user_select(hwnd, c, c.today, true);
}

void key(HWND hwnd, Calendar& c, WPARAM vk) {
    bool ctrl = GetKeyState(VK_CONTROL) & 0x8000;
    switch (vk) {
        case VK_LEFT: user_select(hwnd, c, add_days(c.sel, -1), false); break;
        case VK_RIGHT: user_select(hwnd, c, add_days(c.sel, 1), false); break;
        case VK_UP: user_select(hwnd, c, add_days(c.sel, -7), false); break;
        case VK_DOWN: user_select(hwnd, c, add_days(c.sel, 7), false); break;
        case VK_HOME: user_select(hwnd, c, {c.sel.y, c.sel.m, 1}, false); break;
        case VK_END: user_select(hwnd, c, {c.sel.y, c.sel.m, days_in_month(c.sel.y, c.sel.m)}, false); break;
        case VK_PRIOR: navigate(hwnd, c, ctrl ? -12 : -1); break;
        case VK_NEXT: navigate(hwnd, c, ctrl ? 12 : 1); break;
        default: break;
    }
}

// ---- drawing ----------------------------------------------------------------------------

void paint(HWND hwnd, Calendar& c) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    bool enabled = IsWindowEnabled(hwnd);
    uint32_t style = style_of(hwnd);
    Layout l = layout_of(hwnd, c);
    auto ink = [&](COLORREF normal) { return enabled ? normal : sys_colour(COLOR_GRAYTEXT); };
    fill_rect(cr, painting.r, colour(c, MCSC_BACKGROUND));
    HFONT font = c.font;
    // Title and arrows.
    RECT header = l.header();
    if (c.colours[MCSC_TITLEBK] != k_default) fill_rect(cr, header, colour(c, MCSC_TITLEBK));
    RECT title{header.left + l.px(k_arrow), header.top, header.right - l.px(k_arrow), header.bottom};
    draw_text(cr, hwnd, font, title_of(c.view), title, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
              ink(colour(c, MCSC_TITLETEXT)));
    for (bool back : {true, false}) {
        RECT a = l.arrow(back);
        set_colour(cr, can_navigate(c, back) ? ink(colour(c, MCSC_TITLETEXT)) : sys_colour(COLOR_GRAYTEXT));
        detail::draw_scroll_arrow(cr, (a.left + a.right) / 2.0, (a.top + a.bottom) / 2.0, l.px(4), false, back);
    }
    // Day names over a line.
    int first = first_day(c);
    bool shortest = style & MCS_SHORTDAYSOFWEEK;
    for (int col = 0; col < 7; ++col)
        draw_text(cr, hwnd, font, day_name((first + col) % 7, shortest), l.name(col),
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, ink(colour(c, MCSC_TEXT)));
    RECT line = l.box(k_margin_x, k_grid_y - 1, 7 * k_col, 1);
    line.bottom = line.top + 1;
    fill_rect(cr, line, sys_colour(COLOR_BTNSHADOW));
    // The weeks.
    RECT grid = l.box(k_margin_x, k_grid_y, 7 * k_col, 6 * k_row);
    if (c.colours[MCSC_MONTHBK] != k_default) fill_rect(cr, grid, colour(c, MCSC_MONTHBK));
    for (int i = 0; i < 42; ++i) {
        Date d;
        if (!cell_date(c, i, &d)) continue;
        bool own_month = d.m == c.view.m;
        if (!own_month && (style & MCS_NOTRAILINGDATES)) continue;
        RECT cell = l.cell(i);
        COLORREF text = own_month ? colour(c, MCSC_TEXT) : colour(c, MCSC_TRAILINGTEXT);
        if (d == c.sel) {
            fill_rect(cr, cell, enabled ? sys_colour(COLOR_HIGHLIGHT) : sys_colour(COLOR_BTNSHADOW));
            text = sys_colour(COLOR_HIGHLIGHTTEXT);
        }
        if (d == c.today && !(style & MCS_NOTODAYCIRCLE))
            frame_rect(cr, cell, dark_theme() ? 0xFFEB99 : 0x995400);  // a dark blue ring, light in dark
        draw_text(cr, hwnd, font, std::to_string(d.d), cell, DT_CENTER | DT_VCENTER | DT_SINGLELINE,
                  enabled ? text : sys_colour(COLOR_GRAYTEXT));
        if (d == c.sel && c.focused) draw_focus_rect(cr, inset(cell, 1));
    }
    if (l.today_line) {
        struct tm tm {};
        tm.tm_year = c.today.y - 1900;
        tm.tm_mon = c.today.m - 1;
        tm.tm_mday = c.today.d;
        tm.tm_wday = day_of_week(c.today);
        char date[64];
        size_t n = strftime(date, sizeof date, "%x", &tm);
        draw_text(cr, hwnd, font, "Today: " + std::string(date, n), l.today(), DT_LEFT | DT_VCENTER | DT_SINGLELINE,
                  ink(colour(c, MCSC_TEXT)));
    }
}

// ---- the procedure ------------------------------------------------------------------------

// MCM_SETFIRSTDAYOFWEEK counts from Monday (0) to Sunday (6).
int from_monday(int sunday_based) { return (sunday_based + 6) % 7; }

LRESULT CALLBACK_calendar(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Calendar* c = state_for(g_calendars, hwnd, msg);
    if (!c) return DefWindowProc(hwnd, msg, wp, lp);
    if (msg == WM_NCCREATE) {
        c->today = c->sel = clock_today();
        c->view = {c->sel.y, c->sel.m, 1};
        return DefWindowProc(hwnd, msg, wp, lp);
    }
    LRESULT result = 0;
    if (common_message(hwnd, *c, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_PAINT: paint(hwnd, *c); return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            SetFocus(hwnd);
            if ((c = g_calendars.get(hwnd))) press(hwnd, *c, {x_of(lp), y_of(lp)});
            return 0;
        case WM_KEYDOWN: key(hwnd, *c, wp); return 0;
        case WM_SETFOCUS:
        case WM_KILLFOCUS: note_focus(hwnd, c->focused, msg); return 0;
        case MCM_GETCURSEL:
        case MCM_GETTODAY:
            if (!lp) return 0;
            *reinterpret_cast<SYSTEMTIME*>(lp) = to_systemtime(msg == MCM_GETCURSEL ? c->sel : c->today);
            return 1;
        case MCM_SETCURSEL: {
            if (!lp) return 0;
            Date d = from_systemtime(*reinterpret_cast<const SYSTEMTIME*>(lp));
            if (!valid(d)) return 0;
            c->sel = d;
            c->view = {d.y, d.m, 1};
            InvalidateRect(hwnd, nullptr, false);
            return 1;
        }
        case MCM_SETTODAY: {
            Date d = lp ? from_systemtime(*reinterpret_cast<const SYSTEMTIME*>(lp)) : clock_today();
            if (valid(d)) c->today = d;
            InvalidateRect(hwnd, nullptr, false);
            return 0;
        }
        case MCM_SETCOLOR:
        case MCM_GETCOLOR: {
            if (wp > MCSC_TRAILINGTEXT) return -1;
            COLORREF old = colour(*c, static_cast<int>(wp));
            if (msg == MCM_SETCOLOR) {
                c->colours[wp] = static_cast<COLORREF>(lp) & 0xFFFFFF;
                InvalidateRect(hwnd, nullptr, false);
            }
            return old;
        }
        case MCM_GETMINREQRECT: {
            if (!lp) return 0;
            SIZE s = min_size(hwnd, *c);
            *reinterpret_cast<RECT*>(lp) = {0, 0, s.cx, s.cy};
            return 1;
        }
        case MCM_GETFIRSTDAYOFWEEK:
            return from_monday(first_day(*c)) | (c->first_day >= 0 && c->first_day != locale_first_weekday() ? 0x10000 : 0);
        case MCM_SETFIRSTDAYOFWEEK: {
            LRESULT old = SendMessage(hwnd, MCM_GETFIRSTDAYOFWEEK, 0, 0);
            int day = static_cast<int>(lp);
            c->first_day = day >= 0 && day <= 6 ? (day + 1) % 7 : -1;
            InvalidateRect(hwnd, nullptr, false);
            return old;
        }
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_calendar() { register_control(MONTHCAL_CLASS, CALLBACK_calendar, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
