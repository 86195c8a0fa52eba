#include "gui/camera_devices.hpp"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zun::camera {

namespace {

// The number of a "video<digits>" name, or -1.
long video_number(const char* name) {
    if (std::strncmp(name, "video", 5) != 0 || !name[5]) return -1;
    long n = 0;
    for (const char* p = name + 5; *p; ++p) {
        if (*p < '0' || *p > '9' || n > 100000000) return -1;
        n = n * 10 + (*p - '0');
    }
    return n;
}

std::optional<std::string> capture_card(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return std::nullopt;
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    v4l2_capability cap{};
    int rc = ioctl(fd, VIDIOC_QUERYCAP, &cap);
    close(fd);
    if (rc != 0) return std::nullopt;
    uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    const uint32_t need = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    if ((caps & need) != need) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(cap.card),
                       strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
}

}  // namespace

std::optional<std::vector<Device>> list_devices(const std::string& dir) {
    DIR* d = opendir(dir.c_str());
    if (!d) return std::nullopt;
    std::vector<std::pair<long, std::string>> nodes;
    while (dirent* e = readdir(d)) {
        long n = video_number(e->d_name);
        if (n >= 0) nodes.emplace_back(n, dir + "/" + e->d_name);
    }
    closedir(d);
    std::sort(nodes.begin(), nodes.end());
    std::vector<Device> out;
    for (auto& [n, path] : nodes)
        if (auto card = capture_card(path)) out.push_back({path, *card});
    return out;
}

}  // namespace zun::camera
