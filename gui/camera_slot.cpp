#include "gui/camera_slot.hpp"

#include <chrono>
#include <cstring>

namespace zun::camera {

FrameSlot::FrameSlot(int width, int height)
    : width_(width), height_(height), pixels_(size_t(width) * size_t(height) * 4) {}

bool FrameSlot::offer(const uint8_t* bgr, int stride) {
    int expected = SLOT_FREE;
    if (!state_.compare_exchange_strong(expected, SLOT_FILLING, std::memory_order_acq_rel))
        return false;
    uint8_t* out = pixels_.data();
    for (int y = 0; y < height_; ++y) {
        const uint8_t* row = bgr + size_t(y) * size_t(stride);
        for (int x = 0; x < width_; ++x, out += 4, row += 3) {
            out[0] = row[0]; out[1] = row[1]; out[2] = row[2]; out[3] = 255;
        }
    }
    // Sequentially consistent: a full fence before the GUI thread is told.
    state_.store(SLOT_READY, std::memory_order_seq_cst);
    return true;
}

bool FrameSlot::take(std::vector<uint8_t>& out) {
    if (state() != SLOT_READY) return false;
    out.assign(pixels_.begin(), pixels_.end());
    int expected = SLOT_READY;
    state_.compare_exchange_strong(expected, SLOT_FREE, std::memory_order_acq_rel);
    return true;
}

bool FrameSlot::settle(std::vector<uint8_t>* out) {
    if (state() != SLOT_READY) return false;
    if (out) out->assign(pixels_.begin(), pixels_.end());
    state_.store(SLOT_STOPPED, std::memory_order_seq_cst);
    return true;
}

bool FrameSlot::grab(std::vector<uint8_t>& out, int timeout_ms) {
    using namespace std::chrono_literals;
    // Whatever waits is older than the call; a copy in progress ends first.
    for (;;) {
        int s = state();
        if (s == SLOT_FILLING) { std::this_thread::sleep_for(1ms); continue; }
        if (state_.compare_exchange_strong(s, SLOT_FREE, std::memory_order_seq_cst)) break;
    }
    for (int waited = 0; waited < timeout_ms && state() != SLOT_READY; waited += 10)
        std::this_thread::sleep_for(10ms);
    // Take the request back; a copy that began meanwhile is waited for.
    int expected = SLOT_FREE;
    if (!state_.compare_exchange_strong(expected, SLOT_STOPPED, std::memory_order_seq_cst))
        while (state() == SLOT_FILLING) std::this_thread::sleep_for(1ms);
    return settle(&out);
}

CaptureThread::CaptureThread(FrameSlot& slot, Source source, Hook hook)
    : slot_(slot), source_(std::move(source)), hook_(std::move(hook)),
      frame_(size_t(slot.width()) * size_t(slot.height()) * 3) {}

void CaptureThread::start() {
    stop();
    stopping_ = false;
    slot_.open();
    thread_ = std::thread([this] {
        while (!stopping_.load(std::memory_order_acquire)) {
            if (!source_(frame_.data(), 100)) continue;
            const bool taken = slot_.offer(frame_.data(), slot_.width() * 3);
            if (taken) ++delivered_;
            else ++dropped_;
            if (hook_) hook_(frame_.data(), taken);
        }
    });
}

void CaptureThread::stop() {
    stopping_.store(true, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    slot_.close();
}

Rect fit_preview(int frame_w, int frame_h, int face_w, int face_h) {
    if (frame_w <= 0 || frame_h <= 0 || face_w <= 0 || face_h <= 0) return {0, 0, 0, 0};
    // Compare ratios in integers: frame_w / frame_h against face_w / face_h.
    if (int64_t(frame_w) * face_h >= int64_t(face_w) * frame_h) {
        int h = int(int64_t(face_w) * frame_h / frame_w);
        return {0, (face_h - h) / 2, face_w, h};
    }
    int w = int(int64_t(face_h) * frame_w / frame_h);
    return {(face_w - w) / 2, 0, w, face_h};
}

}  // namespace zun::camera
