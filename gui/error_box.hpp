// gui/error-message-box: a modal box of our own (caption, the text, OK)
// while a display is open; the text always goes to standard error too, so
// nothing is lost when no one sees the box.
#pragma once
#include <string_view>

namespace zun::gui {

// The message on standard error, then the box when the layer is open.
void error_message_box(std::string_view caption, std::string_view text);
// Only the box (the runtime's error reports print the text themselves);
// false when no display is open.
bool show_error_box(std::string_view caption, std::string_view text);

}  // namespace zun::gui
