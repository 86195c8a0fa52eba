// The clock: the now native.
#include <ctime>

#include "core/support.hpp"
#include "datatypes/date.hpp"
#include "interpreter/natives.hpp"
#include "interpreter/stack.hpp"

namespace zun::natives {

namespace {
constexpr int32_t ABSENT = -1;

enum NowRefinement : int {
    R_YEAR, R_MONTH, R_DAY, R_TIME, R_ZONE, R_DATE, R_WEEKDAY, R_YEARDAY, R_PRECISE, R_UTC
};
}  // namespace

// One reading of the clock gives both the date and the time, so a call near
// midnight cannot pair today's date with yesterday's time.
Flow now(int, const int32_t* refinements) {
    auto on = [&](int i) { return refinements[i] != ABSENT; };
    if (!(on(R_TIME) && on(R_PRECISE))) {
        int used = 0;
        for (int i = R_YEAR; i <= R_PRECISE; i++) used += on(i);
        if (used > 1) support::fire_error(ErrorId::script_bad_refines);
    }
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    tm parts{};
    bool utc = on(R_UTC);
    if (!(utc ? gmtime_r(&clock.tv_sec, &parts) : localtime_r(&clock.tv_sec, &parts)))
        support::fire_error(ErrorId::script_bad_refines);
    int32_t offset_minutes = utc ? 0 : int32_t(parts.tm_gmtoff / 60);
    double time = parts.tm_hour * 3600.0 + parts.tm_min * 60.0 + parts.tm_sec;
    if (on(R_PRECISE)) time += double(clock.tv_nsec) / 1e9;
    Cell result;
    date::init_cell(&result, parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, time,
                    offset_minutes, !on(R_DATE));
    int field = on(R_YEAR) ? 2 : on(R_MONTH) ? 3 : on(R_DAY) ? 4 : on(R_ZONE) ? 5
              : on(R_TIME) ? 6 : on(R_WEEKDAY) ? 10 : on(R_YEARDAY) ? 11 : 0;
    if (field) result = *date::get_field(&result, field);
    stack::set_result_reset(&result);
    return Flow::normal;
}

}  // namespace zun::natives
