// The capture of one camera window apart from its face: a frame source (a
// V4L2 device or a synthetic one), the frame slot, the capture thread and the
// newest frame kept for painting. Opening, running and stopping are separate
// steps: a source opens stopped, runs and pauses, and is freed only after its
// thread is joined.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "gui/camera_slot.hpp"

namespace zun::camera {

class FrameSource {
public:
    virtual ~FrameSource() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Starts or stops the stream; false when it cannot.
    virtual bool run(bool on) = 0;
    // Capture thread: the next frame as top-down BGR24 rows of width * 3
    // bytes; false when none came within the time-out.
    virtual bool next_frame(uint8_t* bgr, int timeout_ms) = 0;
};

// A test camera at 30 frames a second: blue carries the frame number's low
// byte, green and red the column and row; the first four pixels' blue bytes
// hold the whole number.
class SyntheticSource final : public FrameSource {
public:
    SyntheticSource(int width, int height) : m_width(width), m_height(height) {}
    int width() const override { return m_width; }
    int height() const override { return m_height; }
    bool run(bool) override { return true; }
    bool next_frame(uint8_t* bgr, int timeout_ms) override;

private:
    int m_width, m_height;
    uint32_t m_number = 0;
    std::chrono::steady_clock::time_point m_next = std::chrono::steady_clock::now();
};

class Capture {
public:
    // Called on the capture thread after each frame, with whether the slot
    // took it (the preview always does).
    using Post = std::function<void(bool taken)>;
    explicit Capture(Post post) : m_post(std::move(post)) {}
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    ~Capture() { stop(); }

    // A new source, stopped; what was open is stopped and freed first.
    void open(std::unique_ptr<FrameSource> source);
    // On: the stream, then the capture thread. Off: the thread joined, then
    // the stream stopped. False when the stream would not start.
    bool run(bool on);
    // The thread joined, then the slot, the source and the preview freed.
    void stop();
    bool opened() const { return m_source != nullptr; }
    bool running() const { return m_thread != nullptr; }
    FrameSlot* slot() const { return m_slot.get(); }
    double ratio() const { return m_source ? double(m_source->width()) / double(m_source->height()) : 0.0; }
    // The newest frame as BGRA, under the preview lock: f(pixels, width,
    // height). False when nothing is open.
    template <typename F> bool with_preview(F f) {
        std::lock_guard<std::mutex> hold(m_preview_lock);
        if (m_preview.empty()) return false;
        f(m_preview.data(), m_preview_w, m_preview_h);
        return true;
    }

private:
    Post m_post;
    std::unique_ptr<FrameSource> m_source;
    std::unique_ptr<FrameSlot> m_slot;
    std::unique_ptr<CaptureThread> m_thread;
    std::mutex m_preview_lock;
    std::vector<uint8_t> m_preview;
    int m_preview_w = 0, m_preview_h = 0;
};

}  // namespace zun::camera
