// A V4L2 capture device read through libv4l2, which converts the camera's
// own format to BGR24; mmap streaming with 4 buffers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/camera_capture.hpp"

namespace zun::camera {

class V4l2Device final : public FrameSource {
public:
    V4l2Device() = default;
    V4l2Device(const V4l2Device&) = delete;
    V4l2Device& operator=(const V4l2Device&) = delete;
    ~V4l2Device() override { close(); }
    // Opens the node at its current size (else 640x480) and sets up
    // streaming; prints why and answers false when it cannot.
    bool open(const std::string& path);
    bool run(bool on) override;
    void close();
    int width() const override { return width_; }
    int height() const override { return height_; }
    // Capture thread: the next frame as top-down BGR24 rows of width * 3
    // bytes; false when none came within the time-out.
    bool next_frame(uint8_t* bgr, int timeout_ms) override;

private:
    struct Buffer { void* start; size_t length; };
    int fd_ = -1;
    int width_ = 0, height_ = 0, stride_ = 0;
    bool streaming_ = false;
    std::vector<Buffer> buffers_;
};

}  // namespace zun::camera
