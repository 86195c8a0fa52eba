// The in-memory display: no X at all, a virtual clock, and a C++ interface
// through which tests queue input and window-manager actions and read back
// what the top-levels show. Queued actions reach the layer when its loop
// pumps; advance() holds the actions after it until the loop would wait, then
// moves the clock (timers fall due on the way).
#pragma once
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/display.hpp"

namespace zun::win {

class MemoryDisplay : public Display {
public:
    // Monitors as "1024x768@96,1280x1024+1024+0@144" (size, origin, DPI); an
    // empty spec is one 1024x768 monitor at 96 DPI. Answers false when bad.
    static bool parse_monitors(std::string_view spec, std::vector<Monitor>* out);
    explicit MemoryDisplay(std::vector<Monitor> monitors = {});
    ~MemoryDisplay() override;

    // ---- queued input (screen pixels; buttons 1 left, 2 middle, 3 right,
    // 8 and 9 the X buttons) ----
    void move(int32_t x, int32_t y);
    void press(int button = 1);
    void release(int button = 1);
    void click(int32_t x, int32_t y, int button = 1);  // move, press, release
    void wheel(int clicks);                             // > 0 away from the user
    // "ctrl+shift+a", "Return", "alt+F4": the modifiers go down, the key goes
    // down and up, the modifiers go up. text: what the input method makes of
    // the key (default: the keysym's own character).
    void key(std::string_view combo);
    void key_down(std::string_view name, std::string_view text = {}, bool text_known = false);
    void key_up(std::string_view name);
    void commit_text(std::string_view utf8);
    void compose(HWND top, std::string_view preedit);  // empty ends the composition
    void close_request(HWND top);
    void minimize(HWND top);
    void maximize(HWND top);
    void restore(HWND top);
    void activate_window(HWND top);
    void begin_size_move(HWND top, bool resizing);
    void size_move_to(HWND top, RECT rect);
    void end_size_move(HWND top);
    void advance(uint64_t ms);  // queued clock step
    // Immediate changes.
    void tick(uint64_t ms);  // the clock moves now
    void set_monitors(std::vector<Monitor> monitors);
    void set_settings(const DesktopSettings& settings);
    size_t queued() const { return m_actions.size(); }

    // ---- read back ----
    struct Top {
        TopLevelState state;
        HCURSOR cursor = 0;
        bool grabbed = false;
        uint32_t presents = 0;
        RECT last_damage;  // of the last present
        cairo_surface_t* pixels = nullptr;  // what the screen shows of it
    };
    const Top* top(HWND hwnd) const;
    std::vector<HWND> z_order() const { return m_z; }
    HWND active() const { return m_active; }
    HWND grab() const { return m_grab; }
    HWND keyboard_grab() const { return m_key_grab; }
    RECT caret() const { return m_caret; }
    HWND caret_window() const { return m_caret_window; }
    // The last composition font the layer handed over, and for which top-level.
    CompositionFont composition_font() const { return m_composition_font; }
    HWND composition_font_window() const { return m_composition_font_window; }
    // ARGB32 pixel (premultiplied, as cairo keeps it) at a window point.
    uint32_t pixel(HWND hwnd, int32_t x, int32_t y) const;
    std::u32string preedit() const { return m_preedit; }

    // ---- Display ----
    std::string_view name() const override { return "memory"; }
    void create_toplevel(HWND hwnd, const TopLevelState& state) override;
    void destroy_toplevel(HWND hwnd) override;
    void update_toplevel(HWND hwnd, const TopLevelState& state) override;
    void restack(const std::vector<HWND>& front_to_back) override;
    void activate(HWND hwnd) override;
    void set_cursor(HWND hwnd, HCURSOR cursor) override;
    void grab_pointer(HWND hwnd) override;
    void grab_keyboard(HWND hwnd) override { m_key_grab = m_tops.count(hwnd) ? hwnd : 0; }
    void set_caret(HWND hwnd, RECT screen_rect) override;
    void set_composition_font(HWND hwnd, const CompositionFont& font) override;
    void present(HWND hwnd, cairo_surface_t* composition, const RECT& damage) override;
    RECT frame_extents(HWND) override { return {}; }
    uint64_t now_ms() override { return m_clock; }
    void pump() override;
    bool wait(uint64_t deadline, int wake_fd) override;
    std::vector<Monitor> monitors() override { return m_monitors; }
    DesktopSettings settings() override { return m_settings; }
    POINT pointer() override { return m_pointer; }

private:
    struct Action {
        enum Kind {
            Move, Button, Key, Text, Compose, Close, SysCommand, Activate, SizeMoveBegin,
            SizeMoveTo, SizeMoveEnd, Advance,
        } kind = Move;
        HWND top = 0;
        int32_t a = 0, b = 0;
        RECT rect;
        uint64_t ms = 0;
        std::string text;
        bool flag = false;
    };
    static Action act(Action::Kind kind, HWND top = 0, int32_t a = 0, int32_t b = 0) {
        Action x;
        x.kind = kind;
        x.top = top;
        x.a = a;
        x.b = b;
        return x;
    }
    void queue(Action action) { m_actions.push_back(std::move(action)); }
    void run(const Action& action);
    void modifier(uint32_t keysym, bool down);
    void restack_front(HWND hwnd);

    std::vector<Monitor> m_monitors;
    DesktopSettings m_settings;
    uint64_t m_clock = 1000;
    std::deque<Action> m_actions;
    std::map<HWND, Top> m_tops;
    std::vector<HWND> m_z;
    HWND m_active = 0, m_grab = 0, m_key_grab = 0, m_caret_window = 0;
    RECT m_caret;
    CompositionFont m_composition_font;
    HWND m_composition_font_window = 0;
    POINT m_pointer;
    uint32_t m_mods = 0;
    std::u32string m_preedit;
};

}  // namespace zun::win
