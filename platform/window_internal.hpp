// State shared by the window layer's files (window.cpp: windows, classes,
// messages, positions, focus; window_input.cpp: input from the display;
// window_paint.cpp: painting and composition). Not for other modules.
#pragma once
#include <cairo.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/display.hpp"
#include "platform/window.hpp"

namespace zun::win::detail {

// A scroll bar's arrow: a filled triangle of half-width d centred on cx, cy.
void draw_scroll_arrow(cairo_t* cr, double cx, double cy, double d, bool vert, bool up);

constexpr int k_longs = 20;

struct ClassRec {
    WNDCLASS wc;
    ATOM atom = 0;
    bool live = false;
};

struct ScrollBar {
    bool shown = false;
    SCROLLINFO si;
};

struct Window {
    uint16_t generation = 0;
    bool live = false;
    bool destroying = false;
    uint16_t cls = 0;
    WNDPROC proc = nullptr;
    int32_t longs[k_longs] = {};
    uint32_t id = 0;
    int32_t userdata = 0;
    HWND parent = 0;  // children only
    HWND owner = 0;   // top-levels only
    uint32_t style = 0, ex_style = 0;
    RECT rect;         // window rectangle: parent client pixels, screen for a top-level
    RECT normal_rect;  // a top-level's rectangle to restore
    std::string text;
    std::vector<HWND> children;  // front to back
    cairo_surface_t* surface = nullptr;
    cairo_region_t* update = nullptr;  // invalid client area
    bool erase = false;
    bool internal_paint = false;
    ScrollBar bars[2];  // SB_HORZ, SB_VERT
    uint8_t alpha = 255;
    uint32_t dpi = 96;
    uint32_t menu = 0;  // a top-level's menu bar (platform/menu.hpp)
    // Top-levels: the part of the composition to compose and present again.
    cairo_region_t* damage = nullptr;
    cairo_surface_t* composition = nullptr;
};

struct Timer {
    HWND hwnd;
    uintptr_t id;
    UINT period;
    TIMERPROC proc;
    uint64_t due;
    bool cosmetic = false;  // keeps no loop waiting on the in-memory display
};

struct ScrollTrack {
    HWND hwnd = 0;
    int bar = 0;
    WPARAM code = SB_ENDSCROLL;  // what the pressed part sends
    int32_t grab_offset = 0;     // pointer to thumb start while dragging
};

struct MonitorRec {
    HMONITOR handle;
    Monitor monitor;
};

struct State {
    std::unique_ptr<Display> display;
    std::thread::id owner_thread;
    int wake_fd = -1;
    std::vector<Window> windows{1};  // slot 0 names no window
    std::vector<uint16_t> free_slots;
    std::vector<ClassRec> classes;
    std::vector<HWND> tops;  // top-levels front to back
    std::deque<MSG> queue;
    std::mutex inbox_mutex;
    std::vector<MSG> inbox;
    bool quit = false;
    int quit_code = 0;
    std::vector<Timer> timers;
    uintptr_t next_timer_id = 0x1000;
    std::vector<std::vector<WINDOWPOS>> batches;
    uint32_t idle_exits = 0;
    HWND capture = 0, focus = 0, active = 0;
    // Mouse tracking (TrackMouseEvent) and the window the pointer is over.
    HWND track_hwnd = 0;
    uint32_t track_flags = 0;
    uint64_t hover_due = 0;
    HWND pointer_window = 0;
    POINT pointer;
    uint32_t mods = 0;
    // Double clicks
    HWND last_press_hwnd = 0;
    int last_press_button = 0;
    uint64_t last_press_time = 0;
    POINT last_press_pt;
    uint8_t keys[256] = {};        // as of the last message taken
    uint8_t async_keys[256] = {};  // as of now
    uint32_t msg_pos = 0, msg_time = 0;
    HCURSOR cursor = IDC_ARROW;
    struct ImageCursor {
        cairo_surface_t* image;
        POINT hot;
    };
    std::vector<ImageCursor> image_cursors;
    HWND caret_hwnd = 0;
    RECT caret;  // client pixels of caret_hwnd
    int caret_hidden = 1;
    std::u32string composition;
    bool composing = false;  // a composition runs (its text may still be empty)
    // The text of each update, kept for its WM_IME_COMPOSITION (lParam: the
    // serial), read when the message is handled, after later updates.
    std::u32string composition_ring[16];
    uint32_t composition_serial = 0;
    std::unordered_map<HWND, CompositionFont> composition_fonts;  // by top-level
    HWND key_grab = 0;        // an open menu: keys go to it
    bool alt_alone = false;   // Alt is down and no other key or button came
    ScrollTrack scroll;
    std::vector<MonitorRec> monitors;
    HMONITOR next_monitor = 1;
    DesktopSettings settings;
};

State& state();
Window* get(HWND hwnd);  // null for 0 and for a stale handle
HWND handle_of(const Window& w);
HWND root_of(HWND hwnd);  // the top-level of a window
bool is_top(const Window& w);
RECT client_rect(const Window& w);  // client area in window coordinates
POINT client_origin_screen(HWND hwnd);
bool visible_chain(HWND hwnd);
bool enabled_chain(HWND hwnd);
void post(const MSG& msg);
void activate(HWND top, WPARAM how, bool tell_display);
void sync_toplevel(HWND hwnd);
void apply_state(HWND hwnd, uint8_t new_state, bool tell_display);
void check_dpi(HWND top);
void refresh_monitors();
void destroy_paint_state(Window& w);
void damage_window_rect(HWND hwnd, RECT window_rect);  // window coordinates
void damage_parent_area(HWND hwnd);  // what the window covers, in its top-level
void kill_timers_of(HWND hwnd);
// Scroll bar geometry: the bar's rectangle in window coordinates, and its
// parts along the bar (arrows of the bar's thickness at both ends, the thumb
// between; thumb_len 0 when there is nothing to scroll).
RECT scroll_bar_rect(const Window& w, int bar);
struct BarParts {
    RECT bar;
    int32_t len, start;  // the bar's length and first coordinate along it
    int32_t s;           // its thickness
    int32_t thumb_start, thumb_len;
};
BarParts bar_parts(const Window& w, int bar);
LRESULT scroll_hit(HWND hwnd, POINT window_pt);
void scroll_begin(HWND hwnd, int bar, POINT window_pt);
bool scroll_tracking_message(const MSG& msg);  // eats pointer messages of a drag
uint16_t mk_flags(uint32_t mods);
// Menu keys and clicks DefWindowProc passes on (menu.cpp): true when taken.
bool menu_default(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// A top-level's menu band (menu.cpp): outside its rectangle, above it, like
// the window manager's frame; 0 pixels without a menu bar.
int32_t menu_band(const Window& w);
// Draws the band into a cairo_t whose origin is the client's top left.
void paint_menu_band(cairo_t* cr, HWND top);
void destroy_window_menu(Window& w);
inline LPARAM make_lparam(int32_t lo, int32_t hi) {
    return static_cast<LPARAM>(static_cast<int32_t>((static_cast<uint32_t>(hi) << 16) |
                                                    (static_cast<uint32_t>(lo) & 0xFFFF)));
}
inline uint8_t show_state(const Window& w) {
    if (w.style & WS_MINIMIZE) return SIZE_MINIMIZED;
    return (w.style & WS_MAXIMIZE) ? uint8_t(SIZE_MAXIMIZED) : uint8_t(SIZE_RESTORED);
}
inline int16_t lo_word(LPARAM v) { return static_cast<int16_t>(v & 0xFFFF); }
inline int16_t hi_word(LPARAM v) { return static_cast<int16_t>((v >> 16) & 0xFFFF); }

}  // namespace zun::win::detail
