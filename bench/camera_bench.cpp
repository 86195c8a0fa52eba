// One 1920x1080 frame as the capture thread handles it (rows copied out of
// the driver's buffer, then converted to BGRA into the frame slot) against a
// memcpy of the same bytes. Built on request:
//   cmake --build build --target camera_bench && build/camera_bench
#include <sys/resource.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "bench/bench_util.hpp"
#include "gui/camera_slot.hpp"

int main() {
    const int w = 1920, h = 1080;
    const size_t bytes = size_t(w) * h * 3;
    std::vector<uint8_t> driver(bytes), frame(bytes), peer(bytes);
    for (size_t i = 0; i < bytes; ++i) driver[i] = uint8_t(i * 31);
    zun::camera::FrameSlot slot(w, h);
    volatile uint8_t sink = 0;
    const double ours = bench::best(50, [&] {
        slot.open();
        for (int y = 0; y < h; ++y) std::memcpy(frame.data() + size_t(y) * w * 3, driver.data() + size_t(y) * w * 3, size_t(w) * 3);
        slot.offer(frame.data(), w * 3);
        sink = sink + uint8_t(slot.state());
    });
    const double base = bench::best(50, [&] {
        std::memcpy(peer.data(), driver.data(), bytes);
        sink = sink + peer[bytes / 2];
    });
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("frame copy+convert %.3f ms, memcpy %.3f ms, ratio %.2f (aim <= 4), peak memory %ld KiB\n",
                ours * 1e3, base * 1e3, ours / base, ru.ru_maxrss);
    return 0;
}
