// Input from the display: hit testing, capture, hover tracking, double
// clicks, keys; cursors, the caret and the scroll bars' pointer handling.
#include <algorithm>
#include <cstdlib>

#include "platform/keys.hpp"
#include "platform/window_internal.hpp"

namespace zun::win {

using namespace detail;

namespace {

// Whether a layered window lets the pointer through at a window point: a
// fully transparent pixel of its surface.
bool transparent_at(const Window& w, POINT wp) {
    if (!(w.ex_style & WS_EX_LAYERED)) return false;
    if (w.alpha == 0) return true;
    if (!w.surface) return true;
    RECT c = client_rect(w);
    if (wp.x >= c.right || wp.y >= c.bottom) return false;
    cairo_surface_flush(w.surface);
    int stride = cairo_image_surface_get_stride(w.surface);
    if (wp.x >= cairo_image_surface_get_width(w.surface) || wp.y >= cairo_image_surface_get_height(w.surface))
        return true;
    const unsigned char* row = cairo_image_surface_get_data(w.surface) + wp.y * stride;
    return (reinterpret_cast<const uint32_t*>(row)[wp.x] >> 24) == 0;
}

// The deepest visible, enabled window under a point of hwnd's window
// coordinates, asking each candidate's WM_NCHITTEST (HTTRANSPARENT passes the
// point on to what lies under it).
HWND hit_in(HWND hwnd, POINT screen, POINT wp, LRESULT* hit) {
    Window* w = get(hwnd);
    if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_DISABLED)) return 0;
    if (wp.x < 0 || wp.y < 0 || wp.x >= w->rect.width() || wp.y >= w->rect.height()) return 0;
    if (transparent_at(*w, wp)) return 0;
    RECT c = client_rect(*w);
    if (wp.x < c.right && wp.y < c.bottom) {
        for (HWND child : std::vector<HWND>(w->children)) {
            Window* k = get(child);
            if (!k) continue;
            if (HWND h = hit_in(child, screen, {wp.x - k->rect.left, wp.y - k->rect.top}, hit)) return h;
        }
    }
    LRESULT r = SendMessage(hwnd, WM_NCHITTEST, 0, make_lparam(screen.x, screen.y));
    if (r == HTTRANSPARENT || r == HTNOWHERE) return 0;
    *hit = r;
    return hwnd;
}

HWND pointer_target(POINT screen, LRESULT* hit) {
    State& s = state();
    *hit = HTCLIENT;
    if (s.capture && get(s.capture)) return s.capture;
    for (HWND top : std::vector<HWND>(s.tops)) {
        Window* w = get(top);
        if (!w || (w->style & WS_MINIMIZE)) continue;
        if (int32_t band = menu_band(*w); band && (w->style & WS_VISIBLE) && !(w->style & WS_DISABLED) &&
            screen.x >= w->rect.left && screen.x < w->rect.right && screen.y >= w->rect.top - band &&
            screen.y < w->rect.top) {
            *hit = HTMENU;
            return top;
        }
        if (HWND h = hit_in(top, screen, {screen.x - w->rect.left, screen.y - w->rect.top}, hit)) return h;
        // A disabled top-level (a modal's owner) swallows what falls on it.
        RECT r = w->rect;
        if ((w->style & WS_VISIBLE) && screen.x >= r.left && screen.y >= r.top && screen.x < r.right &&
            screen.y < r.bottom && !(w->ex_style & WS_EX_LAYERED))
            return 0;
    }
    return 0;
}

}  // namespace

HWND WindowFromPoint(POINT screen) {
    State& s = state();
    LRESULT hit = HTCLIENT;
    for (HWND top : std::vector<HWND>(s.tops)) {
        Window* w = get(top);
        if (!w || (w->style & WS_MINIMIZE)) continue;
        if (HWND h = hit_in(top, screen, {screen.x - w->rect.left, screen.y - w->rect.top}, &hit)) return h;
    }
    return 0;
}

HWND ChildWindowFromPoint(HWND parent, POINT client) {
    RECT area;
    if (!GetClientRect(parent, &area) || client.x < 0 || client.y < 0 || client.x >= area.right ||
        client.y >= area.bottom)
        return 0;
    POINT screen = client;
    ClientToScreen(parent, &screen);
    for (HWND child : EnumChildWindows(parent)) {
        RECT r;
        if (IsWindowVisible(child) && GetWindowRect(child, &r) && screen.x >= r.left && screen.y >= r.top &&
            screen.x < r.right && screen.y < r.bottom)
            return child;
    }
    return parent;
}

namespace {

void leave_tracked(HWND now_over) {
    State& s = state();
    if (!s.track_hwnd || s.track_hwnd == now_over) return;
    HWND h = s.track_hwnd;
    bool leave = (s.track_flags & TME_LEAVE) != 0;
    s.track_hwnd = 0;
    s.track_flags = 0;
    if (leave) PostMessage(h, WM_MOUSELEAVE, 0, 0);
}

void set_async(uint8_t vk, bool down) {
    uint8_t& k = state().async_keys[vk];
    if (down && !(k & 0x80)) k ^= 1;
    k = static_cast<uint8_t>((k & 1) | (down ? 0x80 : 0));
}

void post_input(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, uint32_t priv = 0) {
    State& s = state();
    post({hwnd, msg, wp, lp, static_cast<uint32_t>(now_ms()), s.pointer, priv});
}

LPARAM client_lparam(HWND hwnd, POINT screen) {
    ScreenToClient(hwnd, &screen);
    return make_lparam(screen.x, screen.y);
}

struct ButtonMsgs {
    UINT down, up, dbl;
    uint32_t mod;
    uint8_t vk;
};

const ButtonMsgs* button_msgs(int button) {
    static const ButtonMsgs left{WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MOD_BUTTON_LEFT, VK_LBUTTON};
    static const ButtonMsgs middle{WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MOD_BUTTON_MIDDLE, VK_MBUTTON};
    static const ButtonMsgs right{WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MOD_BUTTON_RIGHT, VK_RBUTTON};
    static const ButtonMsgs x1{WM_XBUTTONDOWN, WM_XBUTTONUP, WM_XBUTTONDBLCLK, MOD_BUTTON_X1, VK_XBUTTON1};
    static const ButtonMsgs x2{WM_XBUTTONDOWN, WM_XBUTTONUP, WM_XBUTTONDBLCLK, MOD_BUTTON_X2, VK_XBUTTON2};
    switch (button) {
        case 1: return &left;
        case 2: return &middle;
        case 3: return &right;
        case 8: return &x1;
        case 9: return &x2;
        default: return nullptr;
    }
}

bool is_double(HWND hwnd, int button, POINT screen) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w || !(s.classes[w->cls].wc.style & CS_DBLCLKS)) return false;
    uint32_t d = s.settings.double_click_distance;
    return s.last_press_hwnd == hwnd && s.last_press_button == button &&
           now_ms() - s.last_press_time <= s.settings.double_click_time &&
           static_cast<uint32_t>(std::abs(screen.x - s.last_press_pt.x)) <= d &&
           static_cast<uint32_t>(std::abs(screen.y - s.last_press_pt.y)) <= d;
}

void wheel(POINT screen, int delta, uint32_t mods) {
    LRESULT hit;
    HWND target = pointer_target(screen, &hit);
    if (!target) return;
    WPARAM wp = static_cast<WPARAM>(static_cast<uint16_t>(delta)) << 16 | mk_flags(mods);
    post_input(target, WM_MOUSEWHEEL, wp, make_lparam(screen.x, screen.y));
}

}  // namespace

// ---- capture, tracking, cursor, caret ---------------------------------------

HWND SetCapture(HWND hwnd) {
    State& s = state();
    HWND old = s.capture;
    if (!get(hwnd) || old == hwnd) return old;
    s.capture = hwnd;
    if (get(old)) SendMessage(old, WM_CAPTURECHANGED, 0, static_cast<LPARAM>(hwnd));
    if (s.display) s.display->grab_pointer(root_of(hwnd));
    return old;
}

bool ReleaseCapture() {
    State& s = state();
    HWND old = s.capture;
    if (!old) return true;
    s.capture = 0;
    if (s.display) s.display->grab_pointer(0);
    if (get(old)) SendMessage(old, WM_CAPTURECHANGED, 0, 0);
    return true;
}

HWND GetCapture() { return state().capture; }

bool TrackMouseEvent(TRACKMOUSEEVENT* tme) {
    State& s = state();
    if (!tme) return false;
    if (tme->dwFlags & TME_CANCEL) {
        if (s.track_hwnd == tme->hwndTrack) s.track_flags &= ~tme->dwFlags;
        if (!(s.track_flags & (TME_LEAVE | TME_HOVER))) s.track_hwnd = 0;
        return true;
    }
    if (!get(tme->hwndTrack)) return false;
    // The pointer already elsewhere: the leave comes at once, as Win32.
    if ((tme->dwFlags & TME_LEAVE) && s.pointer_window != tme->hwndTrack) {
        PostMessage(tme->hwndTrack, WM_MOUSELEAVE, 0, 0);
        return true;
    }
    if (s.track_hwnd != tme->hwndTrack) s.track_flags = 0;
    s.track_hwnd = tme->hwndTrack;
    s.track_flags |= tme->dwFlags & (TME_LEAVE | TME_HOVER);
    if (tme->dwFlags & TME_HOVER) {
        uint32_t t = tme->dwHoverTime == HOVER_DEFAULT ? s.settings.hover_time : tme->dwHoverTime;
        s.hover_due = now_ms() + std::max<uint32_t>(t, 1);
    }
    return true;
}

// Where the pointer is now, also outside our windows (no motion comes then).
bool GetCursorPos(POINT* pt) {
    State& s = state();
    *pt = s.display ? s.display->pointer() : s.pointer;
    return true;
}

HCURSOR LoadCursor(HCURSOR id) { return id >= IDC_ARROW && id <= IDC_HELP ? id : 0; }

HCURSOR CreateImageCursor(cairo_surface_t* image, int32_t hot_x, int32_t hot_y) {
    State& s = state();
    if (!image) return 0;
    cairo_surface_reference(image);
    s.image_cursors.push_back({image, {hot_x, hot_y}});
    return static_cast<HCURSOR>(0x10000 + s.image_cursors.size() - 1);
}

bool DestroyCursor(HCURSOR cursor) {
    State& s = state();
    size_t i = cursor - 0x10000;
    if (cursor < 0x10000 || i >= s.image_cursors.size() || !s.image_cursors[i].image) return false;
    cairo_surface_destroy(s.image_cursors[i].image);
    s.image_cursors[i].image = nullptr;
    return true;
}

cairo_surface_t* cursor_image(HCURSOR cursor, POINT* hot) {
    State& s = state();
    size_t i = cursor - 0x10000;
    if (cursor < 0x10000 || i >= s.image_cursors.size()) return nullptr;
    if (hot) *hot = s.image_cursors[i].hot;
    return s.image_cursors[i].image;
}

HCURSOR SetCursor(HCURSOR cursor) {
    State& s = state();
    HCURSOR old = s.cursor;
    s.cursor = cursor;
    HWND top = root_of(s.capture ? s.capture : s.pointer_window);
    if (s.display && top) s.display->set_cursor(top, cursor);
    return old;
}

HCURSOR GetCursor() { return state().cursor; }

namespace {
void tell_caret() {
    State& s = state();
    if (!s.display) return;
    if (!s.caret_hwnd) {
        s.display->set_caret(0, {});
        return;
    }
    POINT o = client_origin_screen(s.caret_hwnd);
    RECT r = s.caret;
    s.display->set_caret(root_of(s.caret_hwnd), {r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y});
}
}  // namespace

bool CreateCaret(HWND hwnd, int32_t width, int32_t height) {
    State& s = state();
    if (!get(hwnd)) return false;
    s.caret_hwnd = hwnd;
    s.caret = {0, 0, std::max(width, 1), std::max(height, 1)};
    s.caret_hidden = 1;
    tell_caret();
    return true;
}

bool DestroyCaret() {
    State& s = state();
    s.caret_hwnd = 0;
    tell_caret();
    return true;
}

bool SetCaretPos(int32_t x, int32_t y) {
    State& s = state();
    if (!s.caret_hwnd) return false;
    s.caret = {x, y, x + s.caret.width(), y + s.caret.height()};
    tell_caret();
    return true;
}

bool GetCaretPos(POINT* pt) {
    State& s = state();
    if (!s.caret_hwnd) return false;
    *pt = {s.caret.left, s.caret.top};
    return true;
}

bool ShowCaret(HWND hwnd) {
    State& s = state();
    if (!s.caret_hwnd || (hwnd && hwnd != s.caret_hwnd)) return false;
    if (s.caret_hidden > 0) --s.caret_hidden;
    return true;
}

bool HideCaret(HWND hwnd) {
    State& s = state();
    if (!s.caret_hwnd || (hwnd && hwnd != s.caret_hwnd)) return false;
    ++s.caret_hidden;
    return true;
}

HWND caret_window() { return state().caret_hwnd; }

bool ImmSetCompositionFont(HWND hwnd, const CompositionFont& font) {
    State& s = state();
    const HWND top = get(hwnd) ? root_of(hwnd) : 0;
    if (!top) return false;
    s.composition_fonts[top] = font;
    if (s.display) s.display->set_composition_font(top, font);
    return true;
}

bool ImmGetCompositionFont(HWND hwnd, CompositionFont* font) {
    const State& s = state();
    const auto it = s.composition_fonts.find(get(hwnd) ? root_of(hwnd) : 0);
    if (it == s.composition_fonts.end()) return false;
    *font = it->second;
    return true;
}

bool ImmSetCompositionWindow(HWND hwnd, POINT p) {
    State& s = state();
    if (!get(hwnd) || !s.display) return false;
    const POINT o = client_origin_screen(hwnd);
    const int32_t h = s.caret_hwnd == hwnd ? s.caret.height() : 1;
    s.display->set_caret(root_of(hwnd), {p.x + o.x, p.y + o.y, p.x + o.x + 1, p.y + o.y + h});
    return true;
}

// ---- the display's events ---------------------------------------------------

namespace from_display {

void pointer_move(POINT screen, uint32_t mods) {
    State& s = state();
    s.pointer = screen;
    s.mods = mods;
    LRESULT hit;
    HWND target = pointer_target(screen, &hit);
    if (!s.capture) leave_tracked(target);
    s.pointer_window = target;
    if (!target) return;
    if (s.track_hwnd == target && (s.track_flags & TME_HOVER)) s.hover_due = now_ms() + s.settings.hover_time;
    if (!s.capture) SendMessage(target, WM_SETCURSOR, target, make_lparam(static_cast<int32_t>(hit), WM_MOUSEMOVE));
    if (!get(target)) return;
    if (hit == HTCLIENT) post_input(target, WM_MOUSEMOVE, mk_flags(mods), client_lparam(target, screen));
    else post_input(target, WM_NCMOUSEMOVE, static_cast<WPARAM>(hit), make_lparam(screen.x, screen.y));
}

void button(POINT screen, int button, bool press, uint32_t mods) {
    State& s = state();
    if (button == 4 || button == 5) {
        if (press) wheel(screen, button == 4 ? WHEEL_DELTA : -WHEEL_DELTA, mods);
        return;
    }
    const ButtonMsgs* bm = button_msgs(button);
    if (!bm) return;  // 6 and 7, the horizontal wheel, have no message
    uint32_t now_mods = press ? (mods | bm->mod) : (mods & ~bm->mod);
    if (press) s.alt_alone = false;
    s.pointer = screen;
    s.mods = now_mods;
    set_async(bm->vk, press);
    LRESULT hit;
    HWND target = pointer_target(screen, &hit);
    if (!target) return;
    WPARAM wp = mk_flags(now_mods);
    if (button >= 8) wp |= static_cast<WPARAM>(button == 8 ? 1 : 2) << 16;
    if (!press) {
        if (hit == HTCLIENT) post_input(target, bm->up, wp, client_lparam(target, screen));
        else if (button == 1) post_input(target, WM_NCLBUTTONUP, static_cast<WPARAM>(hit), make_lparam(screen.x, screen.y));
        return;
    }
    HWND top = root_of(target);
    Window* tw = get(top);
    if (top != s.active && tw && !(tw->ex_style & WS_EX_NOACTIVATE)) {
        LRESULT ma = SendMessage(target, WM_MOUSEACTIVATE, top, make_lparam(static_cast<int32_t>(hit), bm->down));
        if (ma == MA_ACTIVATE || ma == MA_ACTIVATEANDEAT) {
            SetForegroundWindow(top);
            if (s.active == top && s.focus == 0) SetFocus(top);
        }
        if (ma == MA_ACTIVATEANDEAT || ma == MA_NOACTIVATEANDEAT || !get(target)) return;
    }
    bool dbl = is_double(target, button, screen);
    s.last_press_hwnd = dbl ? 0 : target;
    s.last_press_button = button;
    s.last_press_time = now_ms();
    s.last_press_pt = screen;
    if (hit == HTCLIENT) {
        post_input(target, dbl ? bm->dbl : bm->down, wp, client_lparam(target, screen));
    } else if (button == 1) {
        post_input(target, dbl ? WM_NCLBUTTONDBLCLK : WM_NCLBUTTONDOWN, static_cast<WPARAM>(hit),
                   make_lparam(screen.x, screen.y));
    }
}

void key(uint32_t keysym, bool press, uint32_t mods, char32_t text, bool text_known, uint16_t scan_code) {
    State& s = state();
    s.mods = mods;
    KeyTranslation t = translate_key(keysym, mods, text, text_known);
    KeyInfo info = key_info(keysym);
    bool was_down = t.vk && (s.async_keys[t.vk] & 0x80);
    if (t.vk) {
        set_async(t.vk, press);
        if (info.vk_side != t.vk) set_async(info.vk_side, press);
    }
    if (t.vk && press) s.alt_alone = t.vk == VK_MENU && (!was_down || s.alt_alone);
    HWND target = get(s.key_grab) ? s.key_grab : s.focus ? s.focus : s.active;
    if (!target || !enabled_chain(root_of(target))) return;
    if (scan_code == 0) scan_code = modifier_scan_code(info.vk_side);
    if (!t.vk) {
        if (press && t.ch) post_input(target, WM_CHAR, t.ch, 1);
        return;
    }
    bool sys = t.syskey || (!press && t.vk == VK_MENU) || (!s.focus);
    UINT msg = press ? (sys ? WM_SYSKEYDOWN : WM_KEYDOWN) : (sys ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM lp = 1 | static_cast<LPARAM>(scan_code & 0xFF) << 16 | (t.extended ? 1 << 24 : 0) |
                ((mods & MOD_ALT) && !(mods & MOD_ALTGR) ? 1 << 29 : 0);
    if (!press || was_down) lp |= 1 << 30;
    if (!press) lp |= static_cast<LPARAM>(1u << 31);
    lp = static_cast<LPARAM>(static_cast<int32_t>(lp));
    uint32_t priv = static_cast<uint32_t>(info.vk_side) << 24 | (press ? (t.ch & 0x1FFFFF) : 0);
    post_input(target, msg, t.vk, lp, priv);
}

void text(std::u32string_view committed) {
    State& s = state();
    HWND target = get(s.key_grab) ? s.key_grab : s.focus ? s.focus : s.active;
    if (!target) return;
    for (char32_t c : committed) post_input(target, WM_CHAR, c, 1);
}

void composition(HWND, std::u32string_view preedit, bool active) {
    State& s = state();
    HWND target = s.focus ? s.focus : s.active;
    const bool was = s.composing;
    s.composing = active;
    s.composition = active ? std::u32string(preedit) : std::u32string();
    if (!target) return;
    if (active && !was) post_input(target, WM_IME_STARTCOMPOSITION, 0, 0);
    if (active) {
        const uint32_t serial = ++s.composition_serial;
        s.composition_ring[serial % 16] = s.composition;
        post_input(target, WM_IME_COMPOSITION, 0, serial);
    }
    if (!active && was) post_input(target, WM_IME_ENDCOMPOSITION, 0, 0);
}

void close_request(HWND top) {
    if (get(top)) PostMessage(top, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void syscommand(HWND top, WPARAM command) {
    if (get(top)) PostMessage(top, WM_SYSCOMMAND, command, 0);
}

void configure(HWND top, RECT r) {
    Window* w = get(top);
    if (w) r.top += menu_band(*w);
    if (!w || w->rect == r) return;
    // The window manager moved or sized it: apply without telling the display back.
    WINDOWPOS wp{top, 0, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE};
    SendMessage(top, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (!(w = get(top))) return;
    RECT old = w->rect;
    w->rect = {wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    bool sized = old.width() != w->rect.width() || old.height() != w->rect.height();
    if (sized) InvalidateRect(top, nullptr, true);
    if (sized) damage_parent_area(top);
    if (old.left == w->rect.left && old.top == w->rect.top) wp.flags |= SWP_NOMOVE;
    if (!sized) wp.flags |= SWP_NOSIZE;
    SendMessage(top, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    check_dpi(top);
}

void state_changed(HWND top, uint8_t new_state) { apply_state(top, new_state, false); }

void focus(HWND top, bool in) {
    State& s = state();
    if (in && get(top)) activate(top, WA_ACTIVE, false);
    else if (!in && s.active == top) activate(0, WA_INACTIVE, false);
}

void size_move(HWND top, bool begin, bool) {
    if (get(top)) SendMessage(top, begin ? WM_ENTERSIZEMOVE : WM_EXITSIZEMOVE, 0, 0);
}

void moving(HWND top, RECT proposed, bool resizing) {
    if (!get(top)) return;
    RECT r = proposed;
    SendMessage(top, resizing ? WM_SIZING : WM_MOVING, resizing ? 8 : 0, reinterpret_cast<LPARAM>(&r));
    SetWindowPos(top, 0, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

void expose(HWND top) { damage_window_rect(top, {0, 0, 0x7FFF, 0x7FFF}); }

void monitors_changed() {
    State& s = state();
    refresh_monitors();
    RECT primary = !s.monitors.empty() ? s.monitors.front().monitor.rect : RECT{};
    // a new DPI first: what the display change reads is in the new scale
    for (HWND top : std::vector<HWND>(s.tops)) {
        check_dpi(top);
        SendMessage(top, WM_DISPLAYCHANGE, 32, make_lparam(primary.width(), primary.height()));
    }
}

void settings_changed() {
    State& s = state();
    DesktopSettings old = s.settings;
    s.settings = s.display->settings();
    bool theme = old.dark != s.settings.dark || old.high_contrast != s.settings.high_contrast ||
                 old.font_family != s.settings.font_family || old.font_points != s.settings.font_points;
    // text renders anew in every window and control
    const bool text = old.text_rgba != s.settings.text_rgba || old.text_antialias != s.settings.text_antialias ||
                      old.text_hintstyle != s.settings.text_hintstyle;
    for (HWND top : std::vector<HWND>(s.tops)) {
        SendMessage(top, WM_SETTINGCHANGE, 0, 0);
        if (!IsWindow(top)) continue;
        if (theme) SendMessage(top, WM_THEMECHANGED, 0, 0);
        // the controls draw in the theme, text in the desktop's rendering:
        // every window is painted again
        if (theme || text) RedrawWindow(top, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
}

}  // namespace from_display

std::u32string ImmGetCompositionString(LPARAM serial) {
    const State& s = state();
    // an update more than a ring behind reads the latest text
    if (serial <= 0 || uint32_t(serial) > s.composition_serial || s.composition_serial - uint32_t(serial) >= 16)
        return s.composition;
    return s.composition_ring[uint32_t(serial) % 16];
}

// ---- scroll bars: pointer handling ------------------------------------------

namespace detail {

BarParts bar_parts(const Window& w, int bar) {
    BarParts p{};
    p.bar = scroll_bar_rect(w, bar);
    bool vert = bar == SB_VERT;
    p.s = vert ? p.bar.width() : p.bar.height();
    p.len = vert ? p.bar.height() : p.bar.width();
    p.start = vert ? p.bar.top : p.bar.left;
    const SCROLLINFO& si = w.bars[bar].si;
    int32_t track = p.len - 2 * p.s;
    int64_t range = int64_t(si.nMax) - si.nMin + 1;
    if (track <= 0 || range <= 0 || (si.nPage && range <= si.nPage)) return p;
    int32_t tl = si.nPage ? static_cast<int32_t>(track * int64_t(si.nPage) / range) : p.s;
    tl = std::clamp(tl, std::min(p.s / 2 + 1, track), track);
    int64_t span = range - (si.nPage ? si.nPage : 1);
    int64_t pos = std::clamp<int64_t>(si.nPos - si.nMin, 0, std::max<int64_t>(span, 0));
    p.thumb_len = tl;
    p.thumb_start = p.start + p.s + static_cast<int32_t>(span > 0 ? (track - tl) * pos / span : 0);
    return p;
}

namespace {
int32_t along(int bar, POINT p) { return bar == SB_VERT ? p.y : p.x; }
}  // namespace

RECT scroll_bar_rect(const Window& w, int bar) {
    if (!w.bars[bar].shown) return {};
    RECT c = client_rect(w);
    if (bar == SB_VERT) return {c.right, 0, w.rect.width(), c.bottom};
    return {0, c.bottom, c.right, w.rect.height()};
}

LRESULT scroll_hit(HWND hwnd, POINT wp) {
    Window* w = get(hwnd);
    if (!w) return 0;
    for (int bar : {SB_VERT, SB_HORZ}) {
        RECT r = scroll_bar_rect(*w, bar);
        if (wp.x >= r.left && wp.x < r.right && wp.y >= r.top && wp.y < r.bottom)
            return bar == SB_VERT ? HTVSCROLL : HTHSCROLL;
    }
    return 0;
}

void scroll_begin(HWND hwnd, int bar, POINT wp) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w) return;
    BarParts p = bar_parts(*w, bar);
    int32_t at = along(bar, wp);
    WPARAM code;
    if (at < p.start + p.s) code = SB_LINEUP;
    else if (at >= p.start + p.len - p.s) code = SB_LINEDOWN;
    else if (!p.thumb_len) return;
    else if (at < p.thumb_start) code = SB_PAGEUP;
    else if (at >= p.thumb_start + p.thumb_len) code = SB_PAGEDOWN;
    else code = SB_THUMBTRACK;
    s.scroll = {hwnd, bar, code, at - p.thumb_start};
    w->bars[bar].si.nTrackPos = w->bars[bar].si.nPos;
    SetCapture(hwnd);
    if (code != SB_THUMBTRACK) SendMessage(hwnd, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, code, 0);
}

bool scroll_tracking_message(const MSG& msg) {
    State& s = state();
    if (!s.scroll.hwnd || msg.hwnd != s.scroll.hwnd) return false;
    Window* w = get(s.scroll.hwnd);
    UINT scroll_msg = s.scroll.bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL;
    if (!w) {
        s.scroll = {};
        return false;
    }
    if (msg.message == WM_MOUSEMOVE && s.scroll.code == SB_THUMBTRACK) {
        BarParts p = bar_parts(*w, s.scroll.bar);
        SCROLLINFO& si = w->bars[s.scroll.bar].si;
        POINT c{lo_word(msg.lParam), hi_word(msg.lParam)};  // client point; bars sit right of / below it
        int32_t at = along(s.scroll.bar, c) - s.scroll.grab_offset;
        int32_t track = p.len - 2 * p.s - p.thumb_len;
        int64_t span = int64_t(si.nMax) - si.nMin + 1 - (si.nPage ? si.nPage : 1);
        int64_t pos = track > 0 ? int64_t(std::clamp(at - p.start - p.s, 0, track)) * span / track : 0;
        si.nTrackPos = static_cast<int32_t>(si.nMin + pos);
        SendMessage(msg.hwnd, scroll_msg, SB_THUMBTRACK | static_cast<WPARAM>(static_cast<uint16_t>(si.nTrackPos)) << 16, 0);
        return true;
    }
    if (msg.message == WM_LBUTTONUP || msg.message == WM_NCLBUTTONUP) {
        ScrollTrack t = s.scroll;
        s.scroll = {};
        ReleaseCapture();
        if (t.code == SB_THUMBTRACK) {
            int32_t pos = w->bars[t.bar].si.nTrackPos;
            SendMessage(msg.hwnd, scroll_msg, SB_THUMBPOSITION | static_cast<WPARAM>(static_cast<uint16_t>(pos)) << 16, 0);
        }
        SendMessage(msg.hwnd, scroll_msg, SB_ENDSCROLL, 0);
        return true;
    }
    return msg.message >= WM_MOUSEMOVE && msg.message <= WM_XBUTTONDBLCLK;
}

}  // namespace detail

}  // namespace zun::win
