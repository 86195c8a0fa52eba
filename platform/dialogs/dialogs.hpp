// The standard dialogs (file, folder, colour, font), built from the layer's
// own controls: modal top-levels owned by the active window, which stays
// disabled while one is open. Each answers false on Cancel, Escape, the
// window manager's close button, or when the loop runs dry (an in-memory
// display with no input left).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/window.hpp"

namespace zun::win::dialogs {

// Description and pattern ("*.zun;*.zuns") pairs of the type drop-list.
using Filters = std::vector<std::pair<std::string, std::string>>;
const Filters& default_filters();
// Globs separated by ";", matched without regard to case; "*.*" and "*"
// match every name.
bool matches(std::string_view patterns, std::string_view name);

struct FileRequest {
    std::string title;  // empty: "Open" or "Save As"
    std::string name;   // initial "folder/name", relative to the current directory
    Filters filters;    // empty: the default pairs
    bool save = false, multi = false;
};
// Full paths of the chosen files (one unless multi).
bool request_file(const FileRequest& request, std::vector<std::string>* chosen);

// The chosen folder's full path, without a trailing "/" (except for "/").
bool request_dir(std::string_view title, std::string_view dir, std::string* chosen);

// Colours as 0xRRGGBB; custom: up to 16, the rest white.
bool request_color(uint32_t initial, const std::vector<uint32_t>& custom, uint32_t* chosen);

struct FontChoice {
    std::string family;
    int points = 11;
    int weight = 400;  // 100 .. 1000 as pango and CSS count
    bool italic = false;
};
// Starts from *font (an empty family: "Courier New" as fontconfig resolves
// it); mono lists only monospaced families.
bool request_font(FontChoice* font, bool mono);
// The family fontconfig gives for a name.
std::string resolved_family(std::string_view name);

// Control ids the dialogs use, for tests that drive them.
enum : uint32_t {
    IDOK = 1, IDCANCEL = 2,
    ID_FOLDER = 100, ID_UP, ID_LIST, ID_NAME, ID_FILTER, ID_NEW_FOLDER, ID_PATH,
    ID_RED = 200, ID_GREEN, ID_BLUE, ID_HUE, ID_SAT, ID_LUM, ID_ADD_CUSTOM,
    ID_FAMILY = 300, ID_FACE, ID_SIZE, ID_SIZES,
};
// The dialog on screen (0 when none): tests find its controls by id.
HWND current();
HWND control(uint32_t id);

}  // namespace zun::win::dialogs

namespace zun::win::dialogs {
// Called with each dialog once it shows (turn 0), then on the in-memory
// display each time the queued input is used up (turns 1, 2 ...): tests
// queue input and look at the controls there. Nothing queued after a turn
// ends the dialog as Cancel.
using OpenHook = void (*)(HWND dialog, int turn);
void set_open_hook(OpenHook hook);
}  // namespace zun::win::dialogs
