#include "gui/camera_capture.hpp"

#include <thread>

namespace zun::camera {

bool SyntheticSource::next_frame(uint8_t* bgr, int timeout_ms) {
    const auto now = std::chrono::steady_clock::now();
    if (m_next > now + std::chrono::milliseconds(timeout_ms)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
        return false;
    }
    std::this_thread::sleep_until(m_next);
    m_next += std::chrono::microseconds(33333);
    ++m_number;
    uint8_t* p = bgr;
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x, p += 3) {
            p[0] = uint8_t(m_number);
            p[1] = uint8_t(x * 255 / std::max(m_width - 1, 1));
            p[2] = uint8_t(y * 255 / std::max(m_height - 1, 1));
        }
    for (int i = 0; i < 4 && i < m_width * m_height; ++i) bgr[3 * i] = uint8_t(m_number >> (8 * i));
    return true;
}

void Capture::open(std::unique_ptr<FrameSource> source) {
    stop();
    const int w = source->width(), h = source->height();
    m_slot = std::make_unique<FrameSlot>(w, h);
    {
        std::lock_guard<std::mutex> hold(m_preview_lock);
        m_preview.assign(size_t(w) * size_t(h) * 4, 0);
        m_preview_w = w;
        m_preview_h = h;
    }
    m_source = std::move(source);
}

bool Capture::run(bool on) {
    if (!m_source) return false;
    if (!on) {
        // joined before the stream stops: the thread may be reading it
        m_thread.reset();
        return m_source->run(false);
    }
    if (m_thread) return true;
    if (!m_source->run(true)) return false;
    FrameSource* source = m_source.get();
    auto hook = [this](const uint8_t* bgr, bool taken) {
        {
            std::lock_guard<std::mutex> hold(m_preview_lock);
            bgr_to_bgra(bgr, m_preview.data(), m_preview_w * m_preview_h);
        }
        if (m_post) m_post(taken);
    };
    m_thread = std::make_unique<CaptureThread>(
        *m_slot, [source](uint8_t* bgr, int ms) { return source->next_frame(bgr, ms); }, hook);
    m_thread->start();
    return true;
}

void Capture::stop() {
    m_thread.reset();  // joins
    if (m_source) m_source->run(false);
    m_source.reset();
    m_slot.reset();
    std::lock_guard<std::mutex> hold(m_preview_lock);
    m_preview.clear();
    m_preview.shrink_to_fit();
    m_preview_w = m_preview_h = 0;
}

}  // namespace zun::camera
