// Shared by the backend's modules: face facets by position, window longs,
// and the loop, class and window helpers.
#pragma once
#include <cstdint>

#include "core/cell.hpp"
#include "gui/event_os.hpp"
#include "platform/window.hpp"

namespace zun::gui {

// Window longs (byte offsets into the 80 extra bytes).
constexpr int LONG_ICON = 16;     // an image cursor made from `options`
constexpr int LONG_CURSOR = 32;    // cursor handle, bit 31: set also for base faces
constexpr int LONG_SIZE_MOVE = 36; // 31 moving, 32 resizing
constexpr int LONG_DARK = 40;      // the window's theme flag (1 dark)
constexpr int LONG_CREATION = 48;  // creation flags
constexpr int LONG_ORIGIN = 52;    // client origin, y << 16 | x
constexpr int LONG_DATA = 56;      // -1: a close that needs no event
constexpr int LONG_FACE = 60;      // the face slot (0: none)
constexpr int LONG_PRESSES = 64;   // base faces: buttons held
constexpr int LONG_FLAGS = 76;     // face-flag-bits of `flags`
constexpr int32_t CREATION_PAIR_SIZE = 0x10;
constexpr int32_t CREATION_IME = 0x8;  // the face takes input-method compositions
constexpr int32_t CREATION_CARET = 0x2;  // a `caret` option gave the face a caret
constexpr int LONG_CARET_OWNER = 36;     // base faces: the window the caret is in

namespace face {
enum Facet : int {
    TYPE = 0, OFFSET, SIZE, TEXT, IMAGE, COLOR, MENU, DATA, ENABLED, VISIBLE, SELECTED, FLAGS,
    OPTIONS, PARENT, PANE, STATE, RATE, EDGE, PARA, FONT, ACTORS, EXTRA, DRAW,
};
constexpr uint32_t FACETS = 25;
// The facet of a face; script invalid-arg for an object with too few fields.
Cell* facet(const Cell* face, int position);
bool type_is(const Cell* face, const char* name);
bool word_is(const Cell* value, const char* name);
bool has_flag(const Cell* face, const char* flag);
// The handle in the face's state block, 0 when none.
uint32_t window_of(const Cell* face);
}  // namespace face

// Loop helpers (backend.cpp).
void ensure_current_message();
void reset_current_message();
int report(win::HWND hwnd, uint32_t type, uint32_t flags, win::LPARAM lparam, bool set_lparam);
bool in_size_move();
// Calls system/view/platform/refresh-screens, when it is a function.
void refresh_screens();
void set_in_size_move(bool on);
uint32_t hover_window();
uint32_t take_slot(const Cell* face);
void free_slot(uint32_t slot);

// Classes and windows (windows.cpp).
void register_classes();
void send_window_state(win::HWND hwnd, uint32_t code);
// gui/focus-target and gui/focus-face: the window face's `selected` face.
win::HWND focus_target(win::HWND hwnd);
void focus_face(win::HWND hwnd);
// The x and y of a pair! or point2D!; false for other values.
bool xy_of(const Cell* v, double* x, double* y);
// The current DPI (dpi.cpp): logical units are 1/96 inch, pixels are
// truncate(logical x scale + 0.5).
double scale();
int32_t current_dpi();
void set_dpi(int32_t dpi);
int32_t to_pixels(double logical);
double to_logical(int32_t pixels);
// v truncated and held within -2^24..2^24 (NaN: 0), far beyond any screen or
// control range, so a script's huge or odd number stays one window and
// control arithmetic can take.
int32_t truncated(double v);
// The DPI of a window's root (the current one when it has none).
int32_t window_dpi(win::HWND hwnd);
void sync_window_dpi(win::HWND hwnd);
// A DPI scope: the window's DPI while it lasts (the current one for 0); the
// outermost scope ends on the active window's DPI.
int32_t dpi_context_push(win::HWND hwnd);
void dpi_context_pop(int32_t saved);
struct DpiContext {
    explicit DpiContext(win::HWND hwnd) : saved(dpi_context_push(hwnd)) {}
    ~DpiContext() { dpi_context_pop(saved); }
    DpiContext(const DpiContext&) = delete;
    DpiContext& operator=(const DpiContext&) = delete;
    int32_t saved;
};
int32_t cursor_monitor_dpi();
// The DPI of the monitor a logical rectangle lands on, in up to four rounds.
void target_monitor_dpi(double x, double y, double width, double height);
// OS-make-view: the new window of a face (0 for a type without one).
win::HWND make_view(const Cell* face, win::HWND parent);
void destroy_face(const Cell* face);
// face-flag-bits: the `flags` facet as bits; an unknown word raises invalid-arg.
uint32_t face_flag_bits(const Cell* face);
bool must_be_layered(const Cell* face);
// The face's window made again in its parent at its z-order place, its
// state block kept and its pane's windows made again; 0 without a window.
win::HWND remake_view(const Cell* face);
void redraw_face(const Cell* face);
void sync_z_order(const Cell* pane);
// draw-face: draws only into the face being painted; false otherwise.
bool draw_face(const Cell* face, const Cell* commands);
void set_rate(win::HWND hwnd, const Cell* rate);
void set_cursor_option(win::HWND hwnd, const Cell* face);
// gui/set-font: the face's font made for the current DPI and its window
// redrawn.
void set_font(const Cell* face);
// The para's alignment bits on the face's window style (update-para).
void set_para_style(const Cell* face);

}  // namespace zun::gui
