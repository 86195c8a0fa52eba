// The error box: a dialog of the layer's own STATIC and BUTTON, ended by
// OK, Enter, Escape or the window manager's close request.
#include "gui/error_box.hpp"

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/dialogs/dialog_frame.hpp"

namespace zun::gui {

namespace {

// Layout in logical units: the text wraps inside a width chosen from its
// longest line, and the box grows with the lines it then needs.
constexpr int k_margin = 12, k_char = 7, k_line = 16, k_button_w = 75, k_button_h = 23;
constexpr int k_min_text = 200, k_max_text = 520;

class ErrorBox : public win::dialogs::Dialog {
public:
    ErrorBox(std::string_view caption, std::string_view text) {
        size_t longest = 0, lines = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            longest = std::max(longest, end - start);
            start = end + 1;
        }
        const int text_w = std::clamp(static_cast<int>(longest) * k_char, k_min_text, k_max_text);
        const size_t per_line = static_cast<size_t>(text_w / k_char);
        start = 0;
        while (start <= text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            lines += std::max<size_t>(1, (end - start + per_line - 1) / per_line);
            start = end + 1;
        }
        const int text_h = static_cast<int>(std::min<size_t>(lines, 40)) * k_line;
        const int w = text_w + 2 * k_margin;
        const int h = text_h + k_button_h + 3 * k_margin;
        create(caption, w, h);
        add(win::WC_STATIC, text, win::SS_LEFT | win::SS_NOPREFIX, k_margin, k_margin, text_w, text_h);
        add(win::WC_BUTTON, "OK", win::BS_DEFPUSHBUTTON | win::WS_TABSTOP, w - k_margin - k_button_w,
            h - k_margin - k_button_h, k_button_w, k_button_h, win::dialogs::IDOK);
    }

private:
    void command(uint32_t id, win::UINT code, win::HWND) override {
        if (id == win::dialogs::IDOK && code == win::BN_CLICKED) end(true);
    }
};

}  // namespace

bool show_error_box(std::string_view caption, std::string_view text) {
    if (!win::is_open()) return false;
    ErrorBox box(caption, text);
    box.run();
    return true;
}

void error_message_box(std::string_view caption, std::string_view text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%.*s\n%.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
    show_error_box(caption, text);
}

}  // namespace zun::gui
