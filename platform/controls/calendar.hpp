// SysMonthCal32: one month (title with arrows, day names, six week rows, and
// a "Today:" line unless MCS_NOTODAY), the first weekday, day and month names
// from the LC_TIME locale. The user's choice of a day comes to the parent as
// MCN_SELCHANGE (and MCN_SELECT for a click); MCM_SETCURSEL is silent.
#pragma once
#include "platform/controls/controls.hpp"

namespace zun::win {

constexpr const char* MONTHCAL_CLASS = "SysMonthCal32";

struct SYSTEMTIME {
    uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

constexpr uint32_t MCS_DAYSTATE = 0x1, MCS_MULTISELECT = 0x2, MCS_WEEKNUMBERS = 0x4, MCS_NOTODAYCIRCLE = 0x8,
                   MCS_NOTODAY = 0x10, MCS_NOTRAILINGDATES = 0x40, MCS_SHORTDAYSOFWEEK = 0x80,
                   MCS_NOSELCHANGEONNAV = 0x100;

enum : UINT {
    MCM_GETCURSEL = 0x1001, MCM_SETCURSEL = 0x1002, MCM_GETMINREQRECT = 0x1009, MCM_SETCOLOR = 0x100A,
    MCM_GETCOLOR = 0x100B, MCM_SETTODAY = 0x100C, MCM_GETTODAY = 0x100D, MCM_SETFIRSTDAYOFWEEK = 0x100F,
    MCM_GETFIRSTDAYOFWEEK = 0x1010,
};
// MCM_SETCOLOR's parts.
enum : int {
    MCSC_BACKGROUND = 0, MCSC_TEXT = 1, MCSC_TITLEBK = 2, MCSC_TITLETEXT = 3, MCSC_MONTHBK = 4,
    MCSC_TRAILINGTEXT = 5,
};
enum : UINT { MCN_SELECT = static_cast<UINT>(-746), MCN_SELCHANGE = static_cast<UINT>(-749) };

struct NMSELCHANGE {
    NMHDR nmhdr;
    SYSTEMTIME stSelStart, stSelEnd;
};

// The first day of the week (0 Sunday .. 6 Saturday) from glibc's LC_TIME
// values: _NL_TIME_WEEK_1STDAY (19971130 a Sunday, 19971201 a Monday) and
// _NL_TIME_FIRST_WEEKDAY (1 that day, 2 the next ...).
int first_weekday_of(uint32_t week_1stday, int first_weekday);

}  // namespace zun::win
