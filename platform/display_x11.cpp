// The X11 display. Until it is written the layer opens only the in-memory
// display; without one, make-view reports the X display it could not open.
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/display.hpp"

namespace zun::win {

std::unique_ptr<Display> open_x11_display(std::string* error) {
    const char* name = std::getenv("DISPLAY");
    if (error) *error = name && *name ? std::string("X display ") + name : "X display (DISPLAY is not set)";
    return nullptr;
}

}  // namespace zun::win
