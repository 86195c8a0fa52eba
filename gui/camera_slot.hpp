// The one-frame slot between a capture thread and the GUI thread, and the
// preview rectangle. The capture thread converts into the slot only when it is
// free, so a slow reader drops frames and never blocks the source.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace zun::camera {

// One row of BGR24 pixels as opaque BGRA.
void bgr_to_bgra(const uint8_t* in, uint8_t* out, int pixels);

enum SlotState : int { SLOT_STOPPED = 0, SLOT_FREE = 1, SLOT_READY = 2, SLOT_FILLING = 3 };

class FrameSlot {
public:
    FrameSlot(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }
    int state() const { return state_.load(std::memory_order_acquire); }
    void open() { state_.store(SLOT_FREE, std::memory_order_release); }
    void close() { state_.store(SLOT_STOPPED, std::memory_order_release); }

    // Capture thread: copies a top-down BGR24 frame as BGRA when the slot is
    // free; false when the frame is dropped. Allocates nothing.
    bool offer(const uint8_t* bgr, int stride);
    bool ready() const { return state() == SLOT_READY; }
    // GUI thread: copies a ready frame out and frees the slot.
    bool take(std::vector<uint8_t>& out);
    // GUI thread, on the ready message: a ready frame copied out when out is
    // given; the slot then idles until the next grab.
    bool settle(std::vector<uint8_t>* out);
    // Asks for a frame newer than the call and waits up to timeout_ms, in
    // 10 ms steps; the slot idles afterwards.
    bool grab(std::vector<uint8_t>& out, int timeout_ms = 3000);

private:
    int width_, height_;
    std::vector<uint8_t> pixels_;
    std::atomic<int> state_{SLOT_STOPPED};
};

// Reads frames from a source on a thread of its own until stopped. The source
// fills a BGR24 buffer and answers false when no frame came in its time-out.
class CaptureThread {
public:
    using Source = std::function<bool(uint8_t* bgr, int timeout_ms)>;
    // Called on the capture thread after each frame, with whether the slot took it.
    using Hook = std::function<void(const uint8_t* bgr, bool taken)>;
    CaptureThread(FrameSlot& slot, Source source, Hook hook = {});
    ~CaptureThread() { stop(); }
    void start();
    // Joins the thread before returning, so the slot may be freed after.
    void stop();
    uint64_t delivered() const { return delivered_.load(); }
    uint64_t dropped() const { return dropped_.load(); }

private:
    FrameSlot& slot_;
    Source source_;
    Hook hook_;
    std::vector<uint8_t> frame_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<uint64_t> delivered_{0}, dropped_{0};
};

struct Rect { int left, top, width, height; };
// The largest rectangle of the frame's ratio centred in the face.
Rect fit_preview(int frame_w, int frame_h, int face_w, int face_h);

}  // namespace zun::camera
