// time! and date!: literals, make and to, text forms, path fields and their
// writes, arithmetic, comparison, the calendar itself and the now native.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "core/rng.hpp"
#include "datatypes/date.hpp"
#include "datatypes/time.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

using eval_test::Case;
using Fail = eval_test::Failure;

struct Runner : eval_test::EvalTest {
    using EvalTest::fails;
    using EvalTest::run;
};

class TimeDate : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        rng::init();
    }
    static void expect_runs(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(Runner::run(c.code), c.molded) << c.code;
    }
    static void expect_fails(const std::vector<Fail>& cases) {
        for (const Fail& f : cases)
            EXPECT_EQ(Runner::fails(f.code), f.id)
                << f.code << " raised " << error_info(Runner::fails(f.code)).id_name;
    }
};

TEST_F(TimeDate, TimeLiteralsAndText) {
    expect_runs({
        {"10:30", "10:30:00"},
        {"1:30.5", "0:01:30.5"},
        {"-1:00", "-1:00:00"},
        {"-1:02:03.5", "-1:02:03.5"},
        {"0:0:5", "0:00:05"},
        {"make time! 3723", "1:02:03"},
        {"make time! 90.5", "0:01:30.5"},
        {"make time! -5400", "-1:30:00"},
        {"make time! 0", "0:00:00"},
        {"make time! 36000000", "10000:00:00"},
        {"make time! 0.0000001", "0:00:00"},
        {"make time! 12.25", "0:00:12.25"},
        {"form 1:05", "\"1:05:00\""},
        {"make time! 7.7e12", "2138888888:53:20"},
    });
}

TEST_F(TimeDate, TimeMakeAndTo) {
    expect_runs({
        {"make time! [1 30]", "1:30:00"},
        {"make time! [-1 30]", "-1:30:00"},
        {"make time! [0 0 1.5]", "0:00:01.5"},
        {"make time! [2]", "2:00:00"},
        {"to time! 50%", "0:00:00.5"},
        {"to time! \"1:30\"", "1:30:00"},
        {"to time! \" -0:00:05 \"", "-0:00:05"},
        {"to time! 1:02", "1:02:00"},
    });
    expect_fails({
        {"make time! [1 2 3 4]", ErrorId::script_bad_to_arg},
        {"make time! [1 -2]", ErrorId::script_bad_to_arg},
        {"make time! [1.5 2]", ErrorId::script_bad_to_arg},
        {"make time! [1 2.5]", ErrorId::script_bad_to_arg},
        {"to time! \"abc\"", ErrorId::script_bad_to_arg},
        {"to time! \"10\"", ErrorId::script_bad_to_arg},
        {"to time! \"1:30 x\"", ErrorId::script_bad_to_arg},
        {"to time! 'a", ErrorId::script_bad_to_arg},
    });
}

TEST_F(TimeDate, TimeFieldsAndPaths) {
    expect_runs({
        {"t: -1:30:00 t/minute", "30"},
        {"t: -1:30:00 t/hour", "-1"},
        {"t: -0:00:05 t/second", "-5.0"},
        {"t: 1:30:00 t/1", "1"},
        {"t: 1:30:00 t/hour: 2 t", "2:30:00"},
        {"t: 0:00:59.5 t/second: 0 t", "0:00:00"},
        {"t: 1:00 t/minute: 75 t", "2:15:00"},
        {"t: 1:00 t/second: 1.5 t", "1:00:01.5"},
        {"t: 1:00 t/hour: 3", "3"},
        {"pick 1:30:00 2", "30"},
        {"pick 1:30:45 'second", "45.0"},
        // the changed time goes back into its container
        {"b: [x 1:00] b/2/minute: 5 b", "[x 1:05:00]"},
        {"b: [x 1:00] b/x/hour: 5 b", "[x 5:00:00]"},
        {"o: make object! [t: 1:00] o/t/minute: 15 o/t", "1:15:00"},
    });
    expect_fails({
        {"t: 1:00 t/foo", ErrorId::script_invalid_path},
        {"t: 1:00 t/4", ErrorId::script_invalid_path},
        {"t: 1:00 t/hour: 1.5", ErrorId::script_invalid_arg},
        {"t: 1:00 t/minute: \"x\"", ErrorId::script_invalid_arg},
        {"pick 1:00 4", ErrorId::script_out_of_range},
        {"pick 1:00 'foo", ErrorId::script_cannot_use},
        {"t: make time! 1e300 t/hour", ErrorId::script_type_limit},
    });
}

TEST_F(TimeDate, TimeArithmetic) {
    expect_runs({
        {"1:00:00 / 0:30:00", "2.0"},
        {"1:00:00 / 2", "0:30:00"},
        {"1:00 + 30", "1:00:30"},
        {"1:00 - 0:30", "0:30:00"},
        {"1:00 * 2", "2:00:00"},
        {"1:00 + 1-Jan-2000", "1-Jan-2000/1:00:00"},
        {"round 1:00:00.6", "1:00:01"},
        {"round/to 1:07:00 0:15:00", "1:00:00"},
        {"round/to 1:00:00.6 1", "1:00:01"},
        {"round/down 1:00:00.6", "1:00:00"},
        {"negate 1:00", "-1:00:00"},
        {"absolute -1:00", "1:00:00"},
        {"even? 0:00:02", "true"},
        {"odd? 0:00:03", "true"},
        {"odd? 0:00:02.9999999", "true"},
        {"even? -0:00:04", "true"},
        {"1:00 < 2:00", "true"},
        {"1:00 = 3600", "true"},
    });
    expect_fails({
        {"1:00 * 1:00", ErrorId::script_not_related},
        {"1:00 - 1-Jan-2000", ErrorId::script_not_related},
        {"round/to 1:00 $1", ErrorId::script_not_related},
    });
}

TEST_F(TimeDate, PercentLiterals) {
    expect_runs({
        {"50%", "50%"},
        {"type? 12.5%", "percent!"},
        {"to float! 50%", "0.5"},
        {"-1'000%", "-1000%"},
        {"50% * 2", "100%"},
    });
}

TEST_F(TimeDate, DateLiterals) {
    expect_runs({
        {"1-Jan-2000", "1-Jan-2000"},
        {"1/1/2000", "1-Jan-2000"},
        {"2000-01-01", "1-Jan-2000"},
        {"2000-W01-1", "3-Jan-2000"},
        {"2004-W53-7", "2-Jan-2005"},
        {"2000-001", "1-Jan-2000"},
        {"2000-366", "31-Dec-2000"},
        {"20000101T120000Z", "1-Jan-2000/12:00:00"},
        {"2000-01-01T10:00:00+02:00", "1-Jan-2000/10:00:00+02:00"},
        {"15-Mar-2024/10:30:00-08:00", "15-Mar-2024/10:30:00-08:00"},
        {"15-Mar-2024/10:30+05:30", "15-Mar-2024/10:30:00+05:30"},
        {"15-march-2024/0:00", "15-Mar-2024/0:00:00"},
        {"1-1-99", "1-Jan-1999"},
        {"1-1-49", "1-Jan-2049"},
        {"1-Jan-0099", "1-Jan-0099"},
        {"1-Jan-999", "1-Jan-999"},
        {"29-Feb-2000", "29-Feb-2000"},
    });
    EXPECT_NE(Runner::fails("31-Feb-2000"), ErrorId::count_);
    EXPECT_NE(Runner::fails("29-Feb-1999"), ErrorId::count_);
}

TEST_F(TimeDate, DateMakeAndTo) {
    expect_runs({
        {"to date! 0", "1-Jan-1970/0:00:00"},
        {"to date! 86399", "1-Jan-1970/23:59:59"},
        {"to date! -1", "31-Dec-1969/23:59:59"},
        {"to date! -86401", "30-Dec-1969/23:59:59"},
        {"to date! 2147483647", "19-Jan-2038/3:14:07"},
        {"to date! [31 2 2024]", "2-Mar-2024"},
        {"make date! [29 2 2024]", "29-Feb-2024"},
        {"make date! [2024 3 15]", "15-Mar-2024"},
        {"make date! [15 3 2024 10:30]", "15-Mar-2024/10:30:00"},
        {"make date! [15 3 2024 10:30 5:30]", "15-Mar-2024/10:30:00+05:30"},
        {"make date! [15 3 2024 10:30 -8 0]", "15-Mar-2024/10:30:00-08:00"},
        {"make date! [15 3 2024 10 30 15.5 2]", "15-Mar-2024/10:30:15.5+02:00"},
        {"make date! [15 3 2024 10 30]", "15-Mar-2024/10:30:00"},
        {"to date! [15 3 2024 25:00]", "16-Mar-2024/1:00:00"},
        {"to date! [0 1 2024]", "31-Dec-2023"},
        {"to date! [1 13 2024]", "1-Jan-2025"},
        {"to date! [1 0 2024]", "1-Dec-2023"},
        {"make date! [1 1 -44]", "1/Jan/-0044"},
        {"make date! 1-Jan-2000/10:00", "1-Jan-2000/10:00:00"},
    });
    expect_fails({
        {"make date! [31 2 2024]", ErrorId::script_bad_to_arg},
        {"make date! [15 3 2024 25:00]", ErrorId::script_bad_to_arg},
        {"make date! [15 3 2024 10 75]", ErrorId::script_bad_to_arg},
        {"make date! [1 2]", ErrorId::script_bad_to_arg},
        {"make date! [1 2 3 4 5 6 7 8 9]", ErrorId::script_bad_to_arg},
        {"make date! [1 \"a\" 3]", ErrorId::script_bad_to_arg},
        {"make date! [1 1 2000 1.5]", ErrorId::script_bad_to_arg},
        {"make date! 0", ErrorId::script_bad_to_arg},
        {"to date! \"1-Jan-2000\"", ErrorId::script_bad_to_arg},
        {"to date! [1 1 99999]", ErrorId::script_bad_to_arg},
    });
}

TEST_F(TimeDate, DateFieldsRead) {
    expect_runs({
        {"d: 15-Mar-2024/10:30:45.5+05:30 reduce [d/year d/month d/day d/hour d/minute d/second]",
         "[2024 3 15 10 30 45.5]"},
        {"d: 15-Mar-2024/10:30+05:30 reduce [d/zone d/timezone d/time d/date]",
         "[5:30:00 5:30:00 10:30:00 15-Mar-2024]"},
        {"d: 15-Mar-2024 reduce [d/zone d/time d/hour]", "[none none 0]"},
        {"d: 15-Mar-2024/1:00-08:00 d/time", "1:00:00"},
        {"d: 1-Jan-1970 d/weekday", "4"},
        {"d: 1-Jan-2021 d/isoweek", "53"},
        {"d: 29-Dec-2014 d/isoweek", "1"},
        {"d: 31-Dec-2024 reduce [d/yearday d/julian d/week]", "[366 366 53]"},
        {"d: 1-Jan-2023 reduce [d/week d/weekday]", "[1 7]"},
        {"d: 8-Jan-2023 d/week", "2"},
        {"d: 1-Jan-2024 reduce [d/1 d/4 d/14]", "[1-Jan-2024 1 1]"},
        {"pick 15-Mar-2024 'month", "3"},
        {"pick 15-Mar-2024 2", "2024"},
    });
    expect_fails({
        {"d: 1-Jan-2024 d/foo", ErrorId::script_invalid_path},
        {"d: 1-Jan-2024 d/15", ErrorId::script_invalid_path},
        {"pick 1-Jan-2024 15", ErrorId::script_out_of_range},
        {"pick 1-Jan-2024 'foo", ErrorId::script_out_of_range},
    });
}

TEST_F(TimeDate, DateFieldsWrite) {
    expect_runs({
        {"d: 1-Jan-2024/10:00+02:00 d/zone: -5 d", "1-Jan-2024/10:00:00-05:00"},
        {"d: 1-Jan-2024/10:00+02:00 d/timezone: -5 d", "1-Jan-2024/3:00:00-05:00"},
        {"d: 1-Jan-2024/1:00+02:00 d/timezone: 0 d", "31-Dec-2023/23:00:00"},
        {"d: 1-Jan-2024 d/zone: 5:45 d", "1-Jan-2024/0:00:00+05:45"},
        {"d: 1-Jan-2024 d/zone: 17 d", "1-Jan-2024/0:00:00+01:00"},
        {"d: 31-Jan-2024 d/month: 14 d", "3-Mar-2025"},
        {"d: 31-Jan-2024 d/month: 2 d", "2-Mar-2024"},
        {"d: 15-Jan-2024 d/month: 0 d", "15-Dec-2023"},
        {"d: 15-Jan-2024 d/month: -1 d", "15-Nov-2023"},
        {"d: 29-Feb-2024 d/year: 2023 d", "1-Mar-2023"},
        {"d: 15-Mar-2024 d/day: 0 d", "29-Feb-2024"},
        {"d: 15-Mar-2024 d/day: 32 d", "1-Apr-2024"},
        {"d: 15-Mar-2024/10:00 d/time: none d", "15-Mar-2024"},
        {"d: 15-Mar-2024 d/time: 10:00 d", "15-Mar-2024/10:00:00"},
        {"d: 15-Mar-2024/10:00 d/time: 25:00 d", "16-Mar-2024/1:00:00"},
        {"d: 15-Mar-2024/10:00+05:30 d/hour: 7 d", "15-Mar-2024/7:00:00+05:30"},
        {"d: 15-Mar-2024/10:00+05:30 d/minute: 15 d", "15-Mar-2024/10:15:00+05:30"},
        {"d: 15-Mar-2024/10:00 d/second: 1.5 d", "15-Mar-2024/10:00:01.5"},
        {"d: 15-Mar-2024/10:00 d/minute: 120 d", "15-Mar-2024/12:00:00"},
        {"d: 15-Mar-2024 d/hour: 3 d", "15-Mar-2024/3:00:00"},
        {"d: 15-Mar-2024 d/weekday: 1 d", "11-Mar-2024"},
        {"d: 15-Mar-2024 d/weekday: 7 d", "17-Mar-2024"},
        {"d: 15-Mar-2024 d/yearday: 60 d", "29-Feb-2024"},
        {"d: 15-Mar-2024 d/week: 1 d", "1-Jan-2024"},
        {"d: 15-Mar-2024 d/week: 2 d", "7-Jan-2024"},
        {"d: 15-Mar-2024 d/isoweek: 1 d", "1-Jan-2024"},
        {"d: 15-Mar-2021 d/isoweek: 1 d", "4-Jan-2021"},
        {"d: 15-Mar-2024/10:00+01:00 d/date: 1-Jan-2000 d", "1-Jan-2000"},
        {"d: 15-Mar-2024/10:00+01:00 d/date: 1-Jan-2000/5:00 d", "1-Jan-2000/10:00:00+01:00"},
        {"o: make object! [d: 1-Jan-2024] o/d/day: 5 o/d", "5-Jan-2024"},
        {"b: [1-Jan-2024] b/1/year: 2000 b", "[1-Jan-2000]"},
    });
    expect_fails({
        {"d: 1-Jan-2024 d/year: \"x\"", ErrorId::script_invalid_arg},
        {"d: 1-Jan-2024 d/zone: \"x\"", ErrorId::script_invalid_arg},
        {"d: 1-Jan-2024 d/time: 5", ErrorId::script_invalid_arg},
        {"d: 1-Jan-2024 d/date: 5", ErrorId::script_invalid_arg},
        {"d: 1-Jan-2024 d/second: \"x\"", ErrorId::script_invalid_arg},
        {"d: 1-Jan-2024 d/year: 20000", ErrorId::script_type_limit},
    });
}

TEST_F(TimeDate, DateArithmeticAndCompare) {
    expect_runs({
        {"1-Jan-2024 - 1", "31-Dec-2023"},
        {"1-Mar-2024 - 1-Jan-2024", "60"},
        {"1-Jan-2024 - 1-Mar-2024", "-60"},
        {"31-Dec-2023/23:00 + 2:00", "1-Jan-2024/1:00:00"},
        {"1-Jan-2024 - 1:00", "31-Dec-2023/23:00:00"},
        {"1-Jan-2024/10:00+02:00 + 20:00", "2-Jan-2024/6:00:00+02:00"},
        {"1-Jan-2024 + 366", "1-Jan-2025"},
        {"5 + 1-Jan-2024", "6-Jan-2024"},
        {"1-Jan-2024/0:00 - 31-Dec-2023/23:00", "0"},
        {"2-Jan-2024/12:00 - 1-Jan-2024/13:00", "0"},
        {"1-Mar-0000 - 1", "29-Feb-0000"},
        {"1-Jan-2024 = 1-Jan-2024/0:00", "true"},
        {"1-Jan-2024 < 2-Jan-2024", "true"},
        {"1-Jan-2024/10:00 > 1-Jan-2024/9:00", "true"},
        {"1-Jan-2024/10:00+02:00 = 1-Jan-2024/8:00", "true"},
        // ordered by the instant: 23:00 UTC comes before 23:30 UTC
        {"2-Jan-2024/1:00+02:00 < 1-Jan-2024/23:30", "true"},
        {"1-Jan-2024 = 1", "false"},
    });
    expect_fails({
        {"1-Jan-2024 + 1-Jan-2024", ErrorId::script_not_related},
        {"1-Jan-2024 + 1.5", ErrorId::script_invalid_type},
        {"31-Dec-9999 + 10000000", ErrorId::script_type_limit},
    });
}

TEST_F(TimeDate, RandomStaysInRange) {
    for (int i = 0; i < 50; i++) {
        EXPECT_EQ(Runner::run("d: random 1-Jan-2024 all [d < 1-Jan-2024 d/time = none]"), "true");
        EXPECT_EQ(Runner::run("d: random 1-Jan-2024/10:00 all [d < 2-Jan-2024 time! = type? d/time]"), "true");
    }
    EXPECT_EQ(Runner::run("random/seed 1-Jan-2024/10:00 a: random 1-Jan-2024 "
                          "random/seed 1-Jan-2024/10:00 a = random 1-Jan-2024"),
              "true");
}

// Every day from year -2000 to 2400: the day number and the calendar date
// convert both ways, days follow each other, and weekdays run on through
// year 0 (1 January of year 1 was a Monday; year 0 was a leap year).
TEST_F(TimeDate, CalendarRunsThroughYearZero) {
    int64_t n = date::day_number_of(-2000, 1, 1);
    int32_t weekday = date::weekday(int32_t(n));
    for (int32_t year = -2000; year <= 2400; year++) {
        EXPECT_EQ(date::day_number_of(year, 1, 1), n) << year;
        for (int32_t month = 1; month <= 12; month++) {
            for (int32_t day = 1; day <= date::days_in_month(year, month); day++, n++) {
                uint32_t packed = date::from_day_number(n, 0, false);
                ASSERT_EQ(date::year_of(packed), year);
                ASSERT_EQ(date::month_of(packed), month);
                ASSERT_EQ(date::day_of(packed), day);
                ASSERT_EQ(date::weekday(int32_t(n)), weekday) << year << "-" << month << "-" << day;
                weekday = weekday % 7 + 1;
            }
        }
    }
    EXPECT_EQ(date::weekday(int32_t(date::day_number_of(1, 1, 1))), 1);
    EXPECT_EQ(date::weekday(int32_t(date::day_number_of(0, 1, 1))), 6);
    EXPECT_EQ(date::day_number_of(1970, 1, 1), date::UNIX_EPOCH_DAY);
    EXPECT_EQ(date::day_number_of(0, 3, 1), 0);
}

TEST_F(TimeDate, Now) {
    expect_runs({
        {"type? now", "date!"},
        {"type? now/year", "integer!"},
        {"type? now/time/precise", "time!"},
        {"d: now/date d/time", "none"},
        {"d: now/date d/zone", "none"},
        {"now/utc/zone", "0:00:00"},
        {"(now/utc/date - to date! reduce [1 1 now/utc/year]) + 1 = now/utc/yearday", "true"},
        {"w: now/weekday all [w >= 1 w <= 7]", "true"},
    });
    expect_fails({
        {"now/year/month", ErrorId::script_bad_refines},
        {"now/date/time", ErrorId::script_bad_refines},
    });
    // The clock agrees with the C library's, to within a day boundary.
    int64_t days = std::time(nullptr) / 86400;
    std::string got = Runner::run("(now/utc) - to date! 0");
    int64_t diff = std::stoll(got) - days;
    EXPECT_TRUE(diff == 0 || diff == 1) << got;
    tm local{};
    time_t now = std::time(nullptr);
    localtime_r(&now, &local);
    std::string zone_text = Runner::run("now/zone");
    EXPECT_EQ(zone_text, eval_test::mold(*time_::push(double(local.tm_gmtoff / 900 * 900))));
}

}  // namespace
