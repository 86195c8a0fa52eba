#include "gui/camera_v4l2.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libv4l2.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>

#include "core/console_out.hpp"

namespace zun::camera {

namespace {

int xioctl(int fd, unsigned long request, void* arg) {
    int rc;
    do rc = v4l2_ioctl(fd, request, arg);
    while (rc == -1 && errno == EINTR);
    return rc;
}

void say(const char* line) {
    console_out::write_cstring(line);
    console_out::write_cstring("\n");
}

}  // namespace

bool V4l2Device::open(const std::string& path) {
    close();
    fd_ = v4l2_open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        char line[96];
        std::snprintf(line, sizeof line, "Error %d: Cannot add videocap to filtergraph", errno);
        say(line);
        return false;
    }
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, VIDIOC_G_FMT, &fmt) != 0 || !fmt.fmt.pix.width || !fmt.fmt.pix.height) {
        fmt.fmt.pix.width = 640;
        fmt.fmt.pix.height = 480;
    }
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.pixelformat = V4L2_PIX_FMT_BGR24;
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    fmt.fmt.pix.bytesperline = 0;
    if (xioctl(fd_, VIDIOC_S_FMT, &fmt) != 0 || fmt.fmt.pix.pixelformat != V4L2_PIX_FMT_BGR24) {
        say("This device cannot preview!");
        close();
        return false;
    }
    width_ = int(fmt.fmt.pix.width);
    height_ = int(fmt.fmt.pix.height);
    stride_ = std::max(int(fmt.fmt.pix.bytesperline), width_ * 3);
    v4l2_requestbuffers req{};
    req.count = 4;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    bool ok = xioctl(fd_, VIDIOC_REQBUFS, &req) == 0 && req.count > 0;
    for (uint32_t i = 0; ok && i < req.count; ++i) {
        v4l2_buffer buf{};
        buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buf.memory = V4L2_MEMORY_MMAP;
        buf.index = i;
        ok = xioctl(fd_, VIDIOC_QUERYBUF, &buf) == 0;
        if (!ok) break;
        void* start = v4l2_mmap(nullptr, buf.length, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, buf.m.offset);
        ok = start != MAP_FAILED;
        if (ok) buffers_.push_back({start, buf.length});
        ok = ok && xioctl(fd_, VIDIOC_QBUF, &buf) == 0;
    }
    if (!ok) {
        say("This graph cannot preview");
        close();
        return false;
    }
    return true;
}

bool V4l2Device::run(bool on) {
    if (fd_ < 0 || on == streaming_) return fd_ >= 0;
    v4l2_buf_type type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(fd_, on ? VIDIOC_STREAMON : VIDIOC_STREAMOFF, &type) != 0) return false;
    streaming_ = on;
    return true;
}

void V4l2Device::close() {
    if (fd_ < 0) return;
    run(false);
    for (const Buffer& b : buffers_) v4l2_munmap(b.start, b.length);
    buffers_.clear();
    v4l2_close(fd_);
    fd_ = -1;
}

bool V4l2Device::next_frame(uint8_t* bgr, int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return false;
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    if (xioctl(fd_, VIDIOC_DQBUF, &buf) != 0) return false;
    const auto* src = static_cast<const uint8_t*>(buffers_[buf.index].start);
    const size_t row = size_t(width_) * 3;
    const size_t rows = std::min<size_t>(size_t(height_), buf.bytesused / size_t(stride_));
    for (size_t y = 0; y < rows; ++y) std::memcpy(bgr + y * row, src + y * size_t(stride_), row);
    if (rows < size_t(height_)) std::memset(bgr + rows * row, 0, (size_t(height_) - rows) * row);
    xioctl(fd_, VIDIOC_QBUF, &buf);
    return true;
}

}  // namespace zun::camera
