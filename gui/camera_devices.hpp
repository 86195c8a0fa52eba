// Capture devices: video<N> nodes of a device folder, in numeric order, kept
// when the driver says they capture video by streaming.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zun::camera {

struct Device {
    std::string path;
    std::string name;  // the driver's card name
};

// Empty optional when the folder cannot be read.
std::optional<std::vector<Device>> list_devices(const std::string& dir = "/dev");

}  // namespace zun::camera
