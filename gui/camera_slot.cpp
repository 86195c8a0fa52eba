#include "gui/camera_slot.hpp"

#include <chrono>
#include <cstring>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace zun::camera {

#if defined(__x86_64__)
namespace {
// Sixteen pixels a step: each group of four is shuffled out of twelve bytes.
__attribute__((target("ssse3"))) int bgr_to_bgra_ssse3(const uint8_t* in, uint8_t* out, int pixels) {
    const __m128i shuffle = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i alpha = _mm_set1_epi32(int(0xFF000000u));
    int x = 0;
    for (; x + 16 <= pixels; x += 16, in += 48, out += 64) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        const __m128i p0 = a;
        const __m128i p1 = _mm_alignr_epi8(b, a, 12);
        const __m128i p2 = _mm_alignr_epi8(c, b, 8);
        const __m128i p3 = _mm_srli_si128(c, 4);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(_mm_shuffle_epi8(p0, shuffle), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_or_si128(_mm_shuffle_epi8(p1, shuffle), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm_or_si128(_mm_shuffle_epi8(p2, shuffle), alpha));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_or_si128(_mm_shuffle_epi8(p3, shuffle), alpha));
    }
    return x;
}
bool has_ssse3() {
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return yes;
}
}  // namespace
#endif

void bgr_to_bgra(const uint8_t* in, uint8_t* out, int pixels) {
    int x = 0;
#if defined(__x86_64__)
    if (has_ssse3()) {
        x = bgr_to_bgra_ssse3(in, out, pixels);
        in += size_t(x) * 3;
        out += size_t(x) * 4;
    }
#endif
    // four pixels from three little-endian words
    for (; x + 4 <= pixels; x += 4, in += 12, out += 16) {
        uint32_t a, b, c;
        std::memcpy(&a, in, 4);
        std::memcpy(&b, in + 4, 4);
        std::memcpy(&c, in + 8, 4);
        const uint32_t p[4] = {a | 0xFF000000u, (a >> 24) | (b << 8) | 0xFF000000u,
                               (b >> 16) | (c << 16) | 0xFF000000u, (c >> 8) | 0xFF000000u};
        std::memcpy(out, p, 16);
    }
    for (; x < pixels; ++x, in += 3, out += 4) {
        out[0] = in[0]; out[1] = in[1]; out[2] = in[2]; out[3] = 255;
    }
}

FrameSlot::FrameSlot(int width, int height)
    : width_(width), height_(height), pixels_(size_t(width) * size_t(height) * 4) {}

bool FrameSlot::offer(const uint8_t* bgr, int stride) {
    int expected = SLOT_FREE;
    if (!state_.compare_exchange_strong(expected, SLOT_FILLING, std::memory_order_acq_rel))
        return false;
    uint8_t* out = pixels_.data();
    for (int y = 0; y < height_; ++y, out += size_t(width_) * 4)
        bgr_to_bgra(bgr + size_t(y) * size_t(stride), out, width_);
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
