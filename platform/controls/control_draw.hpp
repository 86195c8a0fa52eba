// What every control class shares: per-window state kept beside the layer's
// window, the theme's colours, text through pango with the `&` prefix rule,
// borders and the focus rectangle, all at the window's DPI scale.
#pragma once
#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/controls/controls.hpp"

namespace zun::win::controls {

// State every control keeps; each class derives its own.
struct ControlBase {
    HFONT font = 0;
    virtual ~ControlBase() = default;
};

// One class's states by window, made at WM_NCCREATE, dropped at WM_NCDESTROY.
template <class S>
class StateTable {
public:
    S* get(HWND hwnd) {
        auto it = m_states.find(hwnd);
        return it == m_states.end() ? nullptr : it->second.get();
    }
    S* make(HWND hwnd) { return (m_states[hwnd] = std::make_unique<S>()).get(); }
    void drop(HWND hwnd) { m_states.erase(hwnd); }

private:
    std::unordered_map<HWND, std::unique_ptr<S>> m_states;
};

// The state of a control's window: made at WM_NCCREATE, dropped at
// WM_NCDESTROY (null then, and for a window not made by the class).
template <class S>
S* state_for(StateTable<S>& table, HWND hwnd, UINT msg) {
    if (msg == WM_NCCREATE) return table.make(hwnd);
    if (msg == WM_NCDESTROY) {
        table.drop(hwnd);
        return nullptr;
    }
    return table.get(hwnd);
}
void register_control(const char* name, WNDPROC proc, UINT class_style, HCURSOR cursor = IDC_ARROW);

// Messages all controls answer alike (fonts, text, enabling): true when
// handled, with the answer in *result.
bool common_message(HWND hwnd, ControlBase& base, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result);

inline int16_t x_of(LPARAM lp) { return static_cast<int16_t>(lp & 0xFFFF); }
inline int16_t y_of(LPARAM lp) { return static_cast<int16_t>((lp >> 16) & 0xFFFF); }
inline uint32_t style_of(HWND hwnd) { return static_cast<uint32_t>(GetWindowLong(hwnd, GWL_STYLE)); }
inline bool inside(const RECT& r, int x, int y) { return x >= r.left && y >= r.top && x < r.right && y < r.bottom; }
// Sends a WM_COMMAND notification to the parent, the control in lParam.
void notify_parent(HWND hwnd, UINT code);
// Sends WM_NOTIFY to the parent with hdr's sender, id and code filled in;
// answers the parent's answer (0 without a parent).
LRESULT notify_parent(HWND hwnd, NMHDR& hdr, UINT code);
// Tells the parent of a bar-like control a scroll code (WM_HSCROLL or
// WM_VSCROLL, the position in the high word, the control in lParam).
void scroll_parent(HWND hwnd, bool vertical, UINT code, int32_t pos = 0);
// A held arrow, trough or channel repeats after this first delay, then at
// the shorter one (ms).
constexpr UINT k_hold_first_delay = 200, k_hold_repeat_delay = 50;
// Asks for WM_MOUSELEAVE once the pointer leaves the control (the hot look).
void track_mouse_leave(HWND hwnd);
// WM_SETFOCUS and WM_KILLFOCUS: the flag kept and the control redrawn.
void note_focus(HWND hwnd, bool& focused, UINT msg);
// The client rectangle inside a WS_EX_CLIENTEDGE border.
RECT inner_client_rect(HWND hwnd);

// ---- theme ------------------------------------------------------------------
// The theme of the window being painted (see ThemeScope): the nearest one
// set on it or an ancestor by set_window_theme, else the desktop's.
bool dark_theme();
// SetWindowTheme's stand-in: the window and its children draw dark or light
// whatever the desktop's theme.
void set_window_theme(HWND hwnd, bool dark);
// While alive, dark_theme() answers for this window.
class ThemeScope {
public:
    explicit ThemeScope(HWND hwnd);
    ~ThemeScope();
    ThemeScope(const ThemeScope&) = delete;
    ThemeScope& operator=(const ThemeScope&) = delete;

private:
    HWND m_previous;
};
// A system colour in the current theme (light keeps the layer's own values).
COLORREF sys_colour(int index);
void set_colour(cairo_t* cr, COLORREF c);
// Pixels per logical unit of the window (1.0 at 96 DPI).
double scale_of(HWND hwnd);
inline int scaled(HWND hwnd, double units) { return static_cast<int>(units * scale_of(hwnd) + 0.5); }

// ---- text -------------------------------------------------------------------
// Pixels as pango units, held where pango's int arithmetic stays whole (a
// huge window, wrap width or tab stop from a script).
constexpr int k_pango_max_px = INT32_MAX / PANGO_SCALE / 2;
inline int pango_units(int64_t px) {
    return static_cast<int>(std::clamp<int64_t>(px, -k_pango_max_px, k_pango_max_px)) * PANGO_SCALE;
}
enum TextFlags : uint32_t {
    DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_TOP = 0x0, DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8, DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
};
// The caption without its `&` markers, and the byte offset of the underlined
// character (-1 for none): "&x" underlines x, "&&" shows one "&".
std::string strip_prefix(std::string_view text, int* underline);
// Draws text in box with the window's font and DPI; answers its size.
SIZE draw_text(cairo_t* cr, HWND hwnd, HFONT font, std::string_view text, const RECT& box,
               uint32_t flags, COLORREF colour);
// A layout of text in the window's font at its DPI (width -1: unbounded);
// the caller unrefs it.
PangoLayout* make_layout(cairo_t* cr, HWND hwnd, HFONT font, std::string_view text, int width, uint32_t flags);
// The size text takes with the window's font (width -1: unbounded).
SIZE measure_text(HWND hwnd, HFONT font, std::string_view text, int width, uint32_t flags);

// ---- shapes -----------------------------------------------------------------
void fill_rect(cairo_t* cr, const RECT& r, COLORREF c);
// A 1-px frame inside r.
void frame_rect(cairo_t* cr, const RECT& r, COLORREF c);
// WS_EX_CLIENTEDGE: a 2-px sunken border inside r; answers the rectangle within.
RECT draw_client_edge(cairo_t* cr, const RECT& r);

// One paint of a control: BeginPaint, the client rectangle inside its sunken
// edge (drawn when it has one), EndPaint when it goes.
struct ControlPaint {
    HWND hwnd;
    ThemeScope theme;
    PAINTSTRUCT ps{};
    cairo_t* cr = nullptr;
    RECT r{};
    explicit ControlPaint(HWND h);
    ~ControlPaint();
    ControlPaint(const ControlPaint&) = delete;
    ControlPaint& operator=(const ControlPaint&) = delete;
};
// The dotted focus rectangle inside r.
void draw_focus_rect(cairo_t* cr, const RECT& r);
// The background a control asks its parent for (WM_CTLCOLOR*): fills r with
// the answered brush (or back, the face colour when CLR_INVALID) and answers
// the text colour.
COLORREF parent_colours(HWND hwnd, UINT ctlcolor_msg, cairo_t* cr, const RECT& r, COLORREF text,
                        COLORREF back = CLR_INVALID);
inline RECT inset(RECT r, int d) { return {r.left + d, r.top + d, r.right - d, r.bottom - d}; }

}  // namespace zun::win::controls

namespace zun::win::controls {
// Each class's registration (register_system_controls calls them all).
void register_button();
void register_static();
void register_progress();
void register_scrollbar();
void register_edit();
void register_trackbar();
void register_tab_control();
void register_calendar();
}  // namespace zun::win::controls
