// The display back end under the window layer (platform/window.hpp). A
// display shows top-level windows (the layer composes their pixels), reports
// input and window-manager actions through the layer's entry points in
// namespace from_display, and owns the clock, the monitors and the desktop
// settings. Two exist: the in-memory display (display_memory.hpp) and X11.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.hpp"

namespace zun::win {

struct Monitor {
    RECT rect;          // screen pixels
    uint32_t dpi = 96;
    std::string name;
};

// What the layer tells the display about a top-level.
struct TopLevelState {
    RECT rect;            // window rectangle in screen pixels
    std::string title;
    bool visible = false;
    bool enabled = true;
    bool layered = false;
    uint8_t state = 0;    // 0 normal, SIZE_MINIMIZED, SIZE_MAXIMIZED
    uint32_t style = 0, ex_style = 0;
    HWND owner = 0;
};

class Display {
public:
    virtual ~Display() = default;
    virtual std::string_view name() const = 0;

    virtual void create_toplevel(HWND hwnd, const TopLevelState& state) = 0;
    virtual void destroy_toplevel(HWND hwnd) = 0;
    // Geometry, title, visibility, styles: the layer sends the whole state.
    virtual void update_toplevel(HWND hwnd, const TopLevelState& state) = 0;
    // Stacking of the top-levels, front first.
    virtual void restack(const std::vector<HWND>& front_to_back) = 0;
    virtual void activate(HWND hwnd) = 0;
    virtual void set_cursor(HWND hwnd, HCURSOR cursor) = 0;
    virtual void grab_pointer(HWND hwnd) = 0;  // 0 releases
    // An open menu's popup takes the keyboard; 0 releases.
    virtual void grab_keyboard(HWND) {}
    // The caret's place (the input method's spot), screen pixels; hwnd 0: none.
    virtual void set_caret(HWND hwnd, RECT screen_rect) = 0;
    // The font an over-the-spot input method draws the top-level's
    // composition in.
    virtual void set_composition_font(HWND, const CompositionFont&) {}
    // The damaged part of a top-level's composition (ARGB32 premultiplied,
    // the size of its window rectangle).
    virtual void present(HWND hwnd, cairo_surface_t* composition, const RECT& damage) = 0;
    virtual RECT frame_extents(HWND hwnd) = 0;
    virtual void set_title_theme(HWND, bool /*dark*/) {}

    virtual uint64_t now_ms() = 0;
    // Reports pending events through from_display without waiting.
    virtual void pump() = 0;
    // Waits until an event may be pending, wake_fd (the layer's eventfd,
    // written by posts from other threads) is readable or the deadline (ms on
    // now_ms(), 0 for none) passes. Answers false when nothing can ever come
    // (the in-memory display with no input queued and no deadline).
    virtual bool wait(uint64_t deadline, int wake_fd) = 0;

    virtual std::vector<Monitor> monitors() = 0;
    virtual DesktopSettings settings() = 0;
    virtual POINT pointer() = 0;
};

// The layer's entry points for the display's events; every point is in
// screen pixels, mods are KeyMods.
namespace from_display {
void pointer_move(POINT screen, uint32_t mods);
void button(POINT screen, int button, bool press, uint32_t mods);  // X numbering 1-9
void key(uint32_t keysym, bool press, uint32_t mods, char32_t text, bool text_known,
         uint16_t scan_code);
void text(std::u32string_view committed);
void composition(HWND top, std::u32string_view preedit, bool active);
void close_request(HWND top);
void syscommand(HWND top, WPARAM command);
void configure(HWND top, RECT window_rect);
void state_changed(HWND top, uint8_t state);
void focus(HWND top, bool in);
void size_move(HWND top, bool begin, bool resizing);
void moving(HWND top, RECT proposed, bool resizing);
void expose(HWND top);
void monitors_changed();
void settings_changed();
}  // namespace from_display

}  // namespace zun::win
