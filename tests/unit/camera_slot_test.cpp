#include <cstring>
// The capture slot under a synthetic source, and the preview rectangle.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <unistd.h>

#include "gui/camera_slot.hpp"

using namespace zun::camera;
using namespace std::chrono_literals;

namespace {

// The first frame carries 1 in the first pixel's blue byte, every later one 2..255
// (a plain byte counter wraps back to 1 after 256 frames).
struct Counter {
    std::atomic<int> n{0};
    bool operator()(uint8_t* bgr, int) {
        const int k = ++n;
        bgr[0] = k == 1 ? 1 : uint8_t(2 + k % 254);
        bgr[1] = 7; bgr[2] = 9;
        return true;
    }
};

}  // namespace

TEST(CameraSlot, FastSourceDropsWhileBusyAndNeverBlocks) {
    FrameSlot slot(64, 48);
    Counter c;
    CaptureThread t(slot, std::ref(c));
    t.start();
    while (t.dropped() < 100) std::this_thread::sleep_for(1ms);
    EXPECT_EQ(t.delivered(), 1u);  // nobody took the first one
    std::vector<uint8_t> a, b;
    ASSERT_TRUE(slot.take(a));
    EXPECT_EQ(a.size(), 64u * 48 * 4);
    EXPECT_EQ(a[1], 7); EXPECT_EQ(a[2], 9); EXPECT_EQ(a[3], 255);
    EXPECT_EQ(a[0], 1);  // the first frame, kept while the rest were dropped
    ASSERT_TRUE(slot.grab(b));
    EXPECT_NE(b[0], 1);  // a fresh frame
    t.stop();
    EXPECT_EQ(slot.state(), SLOT_STOPPED);
}

TEST(CameraSlot, SilentSourceGrabGivesUpAndStopJoins) {
    FrameSlot slot(8, 8);
    CaptureThread t(slot, [](uint8_t*, int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); return false; });
    t.start();
    std::vector<uint8_t> out;
    // the whole 3 s wait, once
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(slot.grab(out));
    EXPECT_GE(std::chrono::steady_clock::now() - asked, 2900ms);
    EXPECT_EQ(slot.state(), SLOT_STOPPED);
    EXPECT_FALSE(slot.grab(out, 50));
    t.stop();
    EXPECT_EQ(t.delivered(), 0u);
}

// The vector path and the tail agree with the plain conversion at every width.
TEST(CameraSlot, BgrRowsBecomeOpaqueBgra) {
    for (int width : {1, 3, 4, 15, 16, 17, 33, 1920}) {
        std::vector<uint8_t> in(size_t(width) * 3), out(size_t(width) * 4, 0);
        for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 7 + 1);
        bgr_to_bgra(in.data(), out.data(), width);
        for (int x = 0; x < width; ++x) {
            const uint8_t want[4] = {in[x * 3], in[x * 3 + 1], in[x * 3 + 2], 255};
            ASSERT_EQ(0, std::memcmp(&out[size_t(x) * 4], want, 4)) << "width " << width << " pixel " << x;
        }
    }
}

TEST(CameraSlot, PreviewFit) {
    struct { int fw, fh, w, h; Rect want; } cases[] = {
        {640, 480, 400, 400, {0, 50, 400, 300}},
        {480, 640, 400, 400, {50, 0, 300, 400}},
        {640, 480, 800, 300, {200, 0, 400, 300}},
        {640, 480, 200, 600, {0, 225, 200, 150}},
        {640, 480, 0, 100, {0, 0, 0, 0}},
    };
    for (auto& k : cases) {
        Rect r = fit_preview(k.fw, k.fh, k.w, k.h);
        EXPECT_EQ(r.left, k.want.left); EXPECT_EQ(r.top, k.want.top);
        EXPECT_EQ(r.width, k.want.width); EXPECT_EQ(r.height, k.want.height);
    }
}

#include <filesystem>
#include <fstream>

#include "gui/camera_devices.hpp"

TEST(CameraDevices, NonDevicesSkippedAndMissingFolderReported) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("zun-cam-" + std::to_string(getpid()));
    fs::create_directories(dir);
    auto empty = list_devices(dir.string());
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
    std::ofstream(dir / "video0") << "not a device";
    fs::create_symlink("/dev/null", dir / "video1");
    auto skipped = list_devices(dir.string());
    ASSERT_TRUE(skipped.has_value());
    EXPECT_TRUE(skipped->empty());
    fs::remove_all(dir);
    EXPECT_FALSE(list_devices(dir.string()).has_value());
    EXPECT_TRUE(list_devices("/dev").has_value());  // no camera on CI: an empty list
}

#include "gui/camera_capture.hpp"

namespace {

// Frames only while streaming, as a device gives them; it may refuse to start.
class CountingSource final : public FrameSource {
public:
    explicit CountingSource(bool starts = true, std::atomic<int>* gone = nullptr, int w = 8, int h = 6)
        : m_starts(starts), m_gone(gone), m_w(w), m_h(h) {}
    ~CountingSource() override {
        if (m_gone) ++*m_gone;
    }
    int width() const override { return m_w; }
    int height() const override { return m_h; }
    bool run(bool on) override {
        if (on && !m_starts) return false;
        streaming = on;
        return true;
    }
    bool next_frame(uint8_t* bgr, int ms) override {
        if (!streaming) {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            return false;
        }
        if (m_w * m_h < 1000) std::this_thread::sleep_for(1ms);  // big frames pour
        std::memset(bgr, 0, size_t(m_w) * size_t(m_h) * 3);
        bgr[0] = uint8_t(1 + frames++ % 255);  // never 0: a preview test reads 0 as "no frame"
        return true;
    }
    std::atomic<bool> streaming{false};
    std::atomic<int> frames{0};

private:
    bool m_starts;
    std::atomic<int>* m_gone;
    int m_w, m_h;
};

template <typename F> bool within(F done, std::chrono::milliseconds limit = 3000ms) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (done()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return done();
}

}  // namespace

// Opened stopped; run starts the stream then the thread, a pause joins the
// thread before the stream stops, and a new run delivers again.
TEST(CameraCapture, OpensStoppedRunsPausesAndStops) {
    std::atomic<int> posted{0}, gone{0};
    Capture c([&](bool) { ++posted; });
    auto owned = std::make_unique<CountingSource>(true, &gone);
    CountingSource* source = owned.get();
    c.open(std::move(owned));
    EXPECT_TRUE(c.opened());
    EXPECT_FALSE(c.running());
    EXPECT_DOUBLE_EQ(c.ratio(), 8.0 / 6.0);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(posted, 0);
    EXPECT_EQ(c.slot()->state(), SLOT_STOPPED);

    ASSERT_TRUE(c.run(true));
    EXPECT_TRUE(source->streaming);
    ASSERT_TRUE(within([&] { return c.slot()->ready(); }));  // the first frame waits in the slot
    std::vector<uint8_t> frame;
    ASSERT_TRUE(c.slot()->take(frame));
    EXPECT_EQ(frame[3], 255);

    ASSERT_TRUE(c.run(false));
    EXPECT_FALSE(c.running());
    EXPECT_FALSE(source->streaming);
    const int seen = posted, made = source->frames;
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(posted, seen);
    EXPECT_EQ(source->frames, made);
    EXPECT_EQ(c.slot()->state(), SLOT_STOPPED);
    bool kept = false;
    EXPECT_TRUE(c.with_preview([&](const uint8_t* px, int w, int h) { kept = px[0] != 0 && w == 8 && h == 6; }));
    EXPECT_TRUE(kept);  // a paused capture still shows its last frame

    ASSERT_TRUE(c.run(true));
    EXPECT_TRUE(c.run(true));  // running already
    ASSERT_TRUE(within([&] { return c.slot()->ready() && source->frames > made; }));

    // a new source stops and frees the running one first
    c.open(std::make_unique<CountingSource>(true, &gone));
    EXPECT_EQ(gone, 1);
    EXPECT_FALSE(c.running());
    c.stop();
    EXPECT_EQ(gone, 2);
    EXPECT_FALSE(c.opened());
    EXPECT_EQ(c.slot(), nullptr);
    EXPECT_FALSE(c.with_preview([](const uint8_t*, int, int) {}));
    EXPECT_FALSE(c.run(true));  // nothing open
}

TEST(CameraCapture, AStreamThatWillNotStartStaysStopped) {
    Capture c([](bool) {});
    c.open(std::make_unique<CountingSource>(false));
    EXPECT_FALSE(c.run(true));
    EXPECT_FALSE(c.running());
    EXPECT_TRUE(c.opened());
}

// Stopping while large frames pour in as fast as they can be copied, so the
// stop lands in a copy now and then: the thread is joined before anything
// it writes is freed.
TEST(CameraCapture, StopWhileFramesPour) {
    for (int i = 0; i < 8; ++i) {
        Capture c([](bool) {});
        c.open(std::make_unique<CountingSource>(true, nullptr, 640, 480));
        ASSERT_TRUE(c.run(true));
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 4));
        if (i % 2) {
            std::vector<uint8_t> out;
            c.slot()->grab(out, 20);
        }
        c.stop();
    }
}

TEST(CameraCapture, SyntheticFramesCarryTheirNumber) {
    SyntheticSource s(16, 4);
    std::vector<uint8_t> bgr(16 * 4 * 3);
    for (uint32_t n = 1; n <= 2; ++n) {
        ASSERT_TRUE(s.next_frame(bgr.data(), 100));
        EXPECT_EQ(bgr[0], n);
        EXPECT_EQ(bgr[3 * 15 + 1], 255);          // green across
        EXPECT_EQ(bgr[3 * (16 * 3) + 2], 255);    // red down
        EXPECT_EQ(bgr[3 * 5], uint8_t(n));        // every pixel's blue
    }
}
