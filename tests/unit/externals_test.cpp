#include "core/externals.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace zun;

namespace {

std::vector<uintptr_t> g_released;
std::vector<uintptr_t> g_visited;

void record_release(uintptr_t resource) { g_released.push_back(resource); }
void record_visit(uintptr_t resource) { g_visited.push_back(resource); }

class ExternalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        externals::init();
        g_released.clear();
        g_visited.clear();
        m_image = externals::register_kind("image", record_release);
        m_font = externals::register_kind("font", record_release);
        m_silent = externals::register_kind("com-object", nullptr);
    }
    // Beyond 32 bits, as real pointers are.
    static uintptr_t res(uintptr_t n) { return (uintptr_t(1) << 40) + n; }

    int m_image = 0, m_font = 0, m_silent = 0;
};

}  // namespace

TEST_F(ExternalsTest, KindsAreNumberedFromOneUpToTwenty) {
    EXPECT_EQ(m_image, 1);
    EXPECT_EQ(m_font, 2);
    for (int k = 4; k <= externals::MAX_KINDS; k++)
        EXPECT_EQ(externals::register_kind("k", record_release), k);
    EXPECT_EQ(externals::register_kind("one too many", record_release), 0);
}

TEST_F(ExternalsTest, ThousandthAddDoublesBeforeHandingOut) {
    std::vector<int32_t> indexes;
    for (uintptr_t i = 0; i < 999; i++) indexes.push_back(externals::add(res(i), m_image));
    EXPECT_EQ(externals::capacity(), 1000);
    int32_t last = externals::add(res(999), m_image);
    EXPECT_EQ(externals::capacity(), 2000);
    EXPECT_EQ(last, 999);
    EXPECT_EQ(externals::add(res(1000), m_image), 1000);  // first entry of the new half
    for (uintptr_t i = 0; i < 999; i++) {
        ASSERT_EQ(indexes[i], int32_t(i));
        ASSERT_EQ(externals::resource(indexes[i]), res(i));
    }
    // The grown table keeps working as a whole.
    externals::sweep();
    EXPECT_EQ(g_released.size(), 1001u);
    EXPECT_EQ(externals::add(res(5), m_font), 0);  // the last swept, reused first
}

TEST_F(ExternalsTest, FreeReleasesOnlyWithTheFlag) {
    int32_t a = externals::add(res(1), m_image);
    int32_t b = externals::add(res(2), m_image);
    EXPECT_EQ(externals::free_(a, false), externals::END);
    EXPECT_TRUE(g_released.empty());
    EXPECT_EQ(externals::free_(b, true), externals::END);
    EXPECT_EQ(g_released, std::vector<uintptr_t>{res(2)});
    // Freed entries are reused, the last freed first.
    EXPECT_EQ(externals::add(res(3), m_image), b);
    EXPECT_EQ(externals::add(res(4), m_image), a);
}

TEST_F(ExternalsTest, FreeingTwiceChangesNothing) {
    int32_t a = externals::add(res(1), m_image);
    externals::free_(a, true);
    externals::free_(a, true);
    externals::free_(-1, true);
    externals::free_(5000, true);
    EXPECT_EQ(g_released.size(), 1u);
    int32_t x = externals::add(res(2), m_image);
    int32_t y = externals::add(res(3), m_image);
    EXPECT_NE(x, y);
    EXPECT_EQ(externals::resource(x), res(2));
    EXPECT_EQ(externals::resource(y), res(3));
}

TEST_F(ExternalsTest, FreeUnlinksFromAnyPlaceInTheInUseList) {
    int32_t a = externals::add(res(1), m_image);
    int32_t b = externals::add(res(2), m_image);
    int32_t c = externals::add(res(3), m_image);
    externals::free_(b, false);  // middle
    externals::for_each_of_kind(m_image, record_visit);
    EXPECT_EQ(g_visited, (std::vector<uintptr_t>{res(3), res(1)}));
    externals::free_(c, false);  // head
    externals::free_(a, false);  // last
    g_visited.clear();
    externals::for_each_of_kind(m_image, record_visit);
    EXPECT_TRUE(g_visited.empty());
}

TEST_F(ExternalsTest, SetPointerReleasesOnlyAChangedResource) {
    int32_t a = externals::add(res(1), m_image);
    externals::set_pointer(a, res(1));
    EXPECT_TRUE(g_released.empty());
    externals::set_pointer(a, res(2));
    EXPECT_EQ(g_released, std::vector<uintptr_t>{res(1)});
    EXPECT_EQ(externals::resource(a), res(2));
}

TEST_F(ExternalsTest, ReleaseIgnoresMissingKindsAndMasksTheHandle) {
    externals::release(0, res(1));
    externals::release(m_silent, res(2));
    externals::release(17, res(3));  // not registered
    EXPECT_TRUE(g_released.empty());
    externals::release(m_font | 0x100, res(4));
    EXPECT_EQ(g_released, std::vector<uintptr_t>{res(4)});
}

TEST_F(ExternalsTest, SweepReleasesUnmarkedOnceAndKeepsMarked) {
    int32_t a = externals::add(res(1), m_image);
    int32_t b = externals::add(res(2), m_font);
    int32_t c = externals::add(res(3), m_image);
    int32_t d = externals::add(res(4), m_silent);
    EXPECT_EQ(externals::mark(b, 0), 1);
    EXPECT_EQ(externals::mark(b, 0), 0);  // already marked
    externals::sweep();
    std::sort(g_released.begin(), g_released.end());
    EXPECT_EQ(g_released, (std::vector<uintptr_t>{res(1), res(3)}));
    EXPECT_EQ(externals::resource(a), 0u);
    EXPECT_EQ(externals::resource(c), 0u);
    EXPECT_EQ(externals::resource(d), 0u);  // freed although its kind releases nothing
    EXPECT_EQ(externals::resource(b), res(2));

    // The sweep cleared b's mark: unmarked at the next one, it goes.
    g_released.clear();
    externals::sweep();
    EXPECT_EQ(g_released, std::vector<uintptr_t>{res(2)});
    g_released.clear();
    externals::sweep();
    EXPECT_TRUE(g_released.empty());
}

TEST_F(ExternalsTest, MarkWithResourceReplacesWithoutRelease) {
    int32_t a = externals::add(res(1), m_image);
    EXPECT_EQ(externals::mark(a, res(9)), 1);
    EXPECT_TRUE(g_released.empty());
    EXPECT_EQ(externals::resource(a), res(9));
    // A free entry stays free: marking it must not make it look in use.
    externals::free_(a, false);
    EXPECT_EQ(externals::mark(a, res(7)), 0);
    EXPECT_EQ(externals::resource(a), 0u);
    EXPECT_EQ(externals::add(res(2), m_image), a);
}

TEST_F(ExternalsTest, ForEachOfKindVisitsInUseOrder) {
    externals::add(res(1), m_image);
    externals::add(res(2), m_font);
    int32_t c = externals::add(res(3), m_image);
    externals::mark(c, 0);  // the mark bit does not hide the kind
    externals::for_each_of_kind(m_image, record_visit);
    EXPECT_EQ(g_visited, (std::vector<uintptr_t>{res(3), res(1)}));
}
