#include "platform/platform.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "core/memory.hpp"
#include "core/support.hpp"
#include "interpreter/stack.hpp"

using namespace zun;

namespace {

std::string run_python(const std::string& code) {
    std::string cmd = "python3 -c '" + code + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return {};
    std::string out;
    char buf[256];
    while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    pclose(p);
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

// Restores TZ and the current directory whatever a test did to them.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* tz = std::getenv("TZ");
        m_had_tz = tz != nullptr;
        if (tz) m_tz = tz;
        m_cwd = platform::get_current_dir();
    }
    void TearDown() override {
        if (m_had_tz) setenv("TZ", m_tz.c_str(), 1);
        else unsetenv("TZ");
        tzset();
        ASSERT_EQ(chdir(m_cwd.c_str()), 0);
    }
    static void set_tz(const char* tz) {
        setenv("TZ", tz, 1);
        tzset();
    }

private:
    bool m_had_tz = false;
    std::string m_tz, m_cwd;
};

}  // namespace

TEST(PlatformZone, PackZoneFields) {
    struct Case {
        int32_t minutes;
        uint32_t zone;
    };
    const Case cases[] = {
        {0, 0},
        {330, 22},              // +5:30
        {-210, 78},             // -3:30: (3 | sign) << 2 | 2
        {-30, 0x10 << 2 | 2},   // -0:30 keeps its sign with 0 hours
        {-15, 0x10 << 2 | 1},
        {345, 5 << 2 | 3},      // +5:45
        {-600, (10 | 0x10) << 2},
        {840, 14 << 2},         // +14:00, the largest in use
        {-59, 0x10 << 2 | 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::pack_zone(c.minutes), c.zone) << "offset " << c.minutes;
}

TEST(PlatformZone, PackDateLayout) {
    uint32_t d = platform::pack_date(2024, 2, 29, -210);
    EXPECT_EQ(d >> 17, 2024u);
    EXPECT_EQ(d >> 12 & 0x1F, 2u);
    EXPECT_EQ(d >> 7 & 0x1F, 29u);
    EXPECT_EQ(d & 0x7F, 78u);
}

// The zone comes from the local time's offset, daylight time included.
TEST_F(PlatformTest, CurrentDateZoneFollowsTz) {
    struct Case {
        const char* tz;  // POSIX TZ: the offset is west-positive
        uint32_t zone;
    };
    const Case cases[] = {{"AAA-5:30", 22}, {"BBB3:30", 78}, {"CCC0:30", 66}, {"UTC0", 0}};
    for (const Case& c : cases) {
        set_tz(c.tz);
        EXPECT_EQ(platform::current_date(false) & 0x7F, c.zone) << c.tz;
        EXPECT_EQ(platform::current_date(true) & 0x7F, 0u) << c.tz;
    }
}

TEST_F(PlatformTest, CurrentDateMatchesPython) {
    set_tz("AAA-5:30");
    auto python_date = [] {
        return run_python(
            "import datetime as d; t = d.datetime.now(d.timezone(d.timedelta(hours=5, minutes=30)));"
            " print(t.year, t.month, t.day)");
    };
    auto ours = [] {
        uint32_t d = platform::current_date(false);
        return std::to_string(d >> 17) + " " + std::to_string(d >> 12 & 0x1F) + " " +
               std::to_string(d >> 7 & 0x1F);
    };
    std::string before = python_date();
    std::string mine = ours();
    std::string after = python_date();  // either side of a midnight
    EXPECT_TRUE(mine == before || mine == after) << mine << " vs " << before;
}

TEST(Platform, TimeOfDayIsSecondsSinceUtcMidnight) {
    long expected = long(std::time(nullptr) % 86400);
    double coarse = platform::time_of_day(false);
    double fine = platform::time_of_day(true);
    EXPECT_EQ(coarse, std::floor(coarse));
    EXPECT_GE(coarse, 0.0);
    EXPECT_LT(fine, 86400.0);
    // Allow for a second or two passing, and for midnight in between.
    long diff = (long(coarse) - expected + 86400) % 86400;
    EXPECT_LE(diff, 2);
    EXPECT_LE(std::fmod(fine - coarse + 86400.0, 86400.0), 2.0);
}

TEST(Platform, WaitMilliseconds) {
    struct Case {
        double seconds;
        uint32_t ms;
    };
    const Case cases[] = {
        {0.0001, 1}, {2.5, 2500}, {0.0, 1}, {-3.0, 1}, {NAN, 1}, {0.0129, 12},
        {1e300, 4294967294u}, {INFINITY, 4294967294u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::wait_milliseconds(c.seconds), c.ms) << c.seconds;
}

TEST(Platform, EnvironmentSetGetDelete) {
    const char* name = "ZUN_PLATFORM_TEST_VAR";
    ASSERT_TRUE(platform::set_env(name, "h\xC3\xA9llo"));
    EXPECT_EQ(platform::get_env(name, nullptr, 0), 7u);  // 6 bytes + NUL

    char small[4] = "xyz";
    EXPECT_EQ(platform::get_env(name, small, sizeof small), 7u);
    EXPECT_STREQ(small, "xyz");  // untouched when it does not fit

    char buf[7];
    EXPECT_EQ(platform::get_env(name, buf, sizeof buf), 6u);
    EXPECT_STREQ(buf, "h\xC3\xA9llo");

    ASSERT_TRUE(platform::set_env(name, ""));
    EXPECT_EQ(platform::get_env(name, nullptr, 0), 1u);  // present but empty

    ASSERT_TRUE(platform::set_env(name, nullptr));
    EXPECT_EQ(platform::get_env(name, buf, sizeof buf), 0u);
    EXPECT_TRUE(platform::set_env(name, nullptr));  // deleting again is fine
}

TEST(Platform, EnvironmentRefusesBadNames) {
    EXPECT_FALSE(platform::set_env("", "x"));
    EXPECT_FALSE(platform::set_env("A=B", "x"));
}

TEST_F(PlatformTest, CurrentDirRoundTripAndLongPaths) {
    char tmpl[] = "/tmp/zun-platform-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    // Deeper than the first buffer getcwd is given.
    std::vector<std::string> made;
    for (int i = 0; i < 12; i++) {
        dir += "/" + std::string(40, char('a' + i));
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        made.push_back(dir);
    }
    ASSERT_TRUE(platform::set_current_dir(dir.c_str()));
    EXPECT_EQ(platform::get_current_dir(), dir);
    EXPECT_FALSE(platform::set_current_dir("/nonexistent/zun/dir"));
    EXPECT_EQ(platform::get_current_dir(), dir);

    // A removed current directory has no name: empty, not garbage.
    for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
    EXPECT_EQ(platform::get_current_dir(), "");
    rmdir(tmpl);
}

TEST(Platform, RootDirIsOneCharacter) {
    std::string cwd = platform::get_current_dir();
    ASSERT_TRUE(platform::set_current_dir("/"));
    EXPECT_EQ(platform::get_current_dir(), "/");
    ASSERT_TRUE(platform::set_current_dir(cwd.c_str()));
}

TEST(Platform, VirtualMemoryIsZeroedAndWritable) {
    const size_t size = 3 * 4096 + 100;
    auto* p = static_cast<unsigned char*>(platform::alloc_virtual(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4096, 0u);
    size_t nonzero = 0;
    for (size_t i = 0; i < size; i++) nonzero += p[i] != 0;
    EXPECT_EQ(nonzero, 0u);
    p[0] = 1;
    p[size - 1] = 2;
    platform::free_virtual(p);
}

namespace {

// Runs f under a try frame; answers the error id it raised.
template <typename F>
ErrorId raised(F f) {
    memory::init();
    cycles::init();
    stack::init();
    stack::push_try_frame(nullptr);
    try {
        f();
    } catch (const Unwind&) {
        stack::adjust_after_error();
        ErrorId id = support::error_id_of(stack::top());
        stack::pop_frame();
        return id;
    }
    stack::pop_frame();
    ADD_FAILURE() << "no error raised";
    return ErrorId::count_;
}

}  // namespace

TEST(Platform, VirtualMemoryFailuresRaise) {
    EXPECT_EQ(raised([] { platform::alloc_virtual(size_t(1) << 62); }),
              ErrorId::internal_no_memory);
    int local = 0;
    EXPECT_EQ(raised([&] { platform::free_virtual(&local); }),  // never handed out
              ErrorId::internal_wrong_mem);
    void* p = platform::alloc_virtual(4096);
    platform::free_virtual(p);
    EXPECT_EQ(raised([&] { platform::free_virtual(p); }),  // already released
              ErrorId::internal_wrong_mem);
}
