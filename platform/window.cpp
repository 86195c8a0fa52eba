#include "platform/window.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/display_memory.hpp"
#include "platform/keys.hpp"
#include "platform/window_internal.hpp"

namespace zun::win {

std::unique_ptr<Display> open_x11_display(std::string* error);  // display_x11.cpp

namespace detail {

State& state() {
    static State s;
    return s;
}

Window* get(HWND hwnd) {
    State& s = state();
    uint32_t slot = hwnd & 0xFFFF;
    if (slot == 0 || slot >= s.windows.size()) return nullptr;
    Window& w = s.windows[slot];
    return w.live && w.generation == (hwnd >> 16) ? &w : nullptr;
}

HWND handle_of(const Window& w) {
    auto slot = static_cast<uint32_t>(&w - state().windows.data());
    return static_cast<HWND>(w.generation) << 16 | slot;
}

bool is_top(const Window& w) { return w.parent == 0; }

HWND root_of(HWND hwnd) {
    Window* w = get(hwnd);
    while (w && w->parent) {
        hwnd = w->parent;
        w = get(hwnd);
    }
    return w ? hwnd : 0;
}

RECT client_rect(const Window& w) {
    RECT r{0, 0, w.rect.width(), w.rect.height()};
    int bar = static_cast<int>(17 * w.dpi / 96);
    if (w.bars[SB_VERT].shown) r.right = std::max(0, r.right - bar);
    if (w.bars[SB_HORZ].shown) r.bottom = std::max(0, r.bottom - bar);
    return r;
}

POINT client_origin_screen(HWND hwnd) {
    POINT p;
    for (Window* w = get(hwnd); w; w = get(w->parent)) {
        p.x += w->rect.left;
        p.y += w->rect.top;
        if (!w->parent) break;
    }
    return p;
}

bool visible_chain(HWND hwnd) {
    for (Window* w = get(hwnd); w; w = get(w->parent)) {
        if (!(w->style & WS_VISIBLE)) return false;
        if (!w->parent) return true;
    }
    return false;
}

bool enabled_chain(HWND hwnd) {
    for (Window* w = get(hwnd); w; w = get(w->parent)) {
        if (w->style & WS_DISABLED) return false;
        if (!w->parent) return true;
    }
    return false;
}

uint16_t mk_flags(uint32_t mods) {
    uint16_t f = 0;
    if (mods & MOD_BUTTON_LEFT) f |= MK_LBUTTON;
    if (mods & MOD_BUTTON_RIGHT) f |= MK_RBUTTON;
    if (mods & MOD_BUTTON_MIDDLE) f |= MK_MBUTTON;
    if (mods & MOD_BUTTON_X1) f |= MK_XBUTTON1;
    if (mods & MOD_BUTTON_X2) f |= MK_XBUTTON2;
    if (mods & MOD_SHIFT) f |= MK_SHIFT;
    if (mods & MOD_CONTROL) f |= MK_CONTROL;
    return f;
}

void post(const MSG& msg) {
    State& s = state();
    // The queue keeps only the newest pointer move, as Windows does.
    if (msg.message == WM_MOUSEMOVE && !s.queue.empty()) {
        MSG& last = s.queue.back();
        if (last.message == WM_MOUSEMOVE && last.hwnd == msg.hwnd && last.wParam == msg.wParam) {
            last = msg;
            return;
        }
    }
    s.queue.push_back(msg);
}

void sync_toplevel(HWND hwnd) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w || !is_top(*w) || !s.display) return;
    TopLevelState t;
    t.rect = w->rect;
    t.rect.top -= menu_band(*w);
    t.title = w->text;
    t.visible = (w->style & WS_VISIBLE) != 0;
    t.enabled = !(w->style & WS_DISABLED);
    t.layered = (w->ex_style & WS_EX_LAYERED) != 0;
    t.state = show_state(*w);
    t.style = w->style;
    t.ex_style = w->ex_style;
    t.owner = w->owner;
    s.display->update_toplevel(hwnd, t);
}

void kill_timers_of(HWND hwnd) {
    auto& t = state().timers;
    t.erase(std::remove_if(t.begin(), t.end(), [hwnd](const Timer& x) { return x.hwnd == hwnd; }),
            t.end());
}

}  // namespace detail

using namespace detail;

namespace {

void restack_tops() {
    State& s = state();
    // Topmost windows stay in front of the others.
    std::stable_partition(s.tops.begin(), s.tops.end(), [](HWND h) {
        Window* w = get(h);
        return w && (w->ex_style & WS_EX_TOPMOST);
    });
    if (s.display) s.display->restack(s.tops);
}

std::vector<HWND>& sibling_list(const Window& w) {
    return w.parent ? get(w.parent)->children : state().tops;
}

void place_in_z(HWND hwnd, HWND after) {
    Window* w = get(hwnd);
    auto& list = sibling_list(*w);
    if (after == HWND_TOPMOST) w->ex_style |= WS_EX_TOPMOST;
    if (after == HWND_NOTOPMOST) w->ex_style &= ~WS_EX_TOPMOST;
    auto it = std::find(list.begin(), list.end(), hwnd);
    if (it != list.end()) list.erase(it);
    if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
        list.insert(list.begin(), hwnd);
    } else if (after == HWND_BOTTOM) {
        list.push_back(hwnd);
    } else {
        auto pos = std::find(list.begin(), list.end(), after);
        list.insert(pos == list.end() ? list.end() : pos + 1, hwnd);
    }
    if (!w->parent) restack_tops();
}

ClassRec* find_class(std::string_view name) {
    for (ClassRec& c : state().classes)
        if (c.live && c.wc.lpszClassName.size() == name.size() &&
            strncasecmp(c.wc.lpszClassName.data(), name.data(), name.size()) == 0)
            return &c;
    return nullptr;
}

uint32_t monitor_dpi_for_rect(const RECT& r) {
    HMONITOR m = MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST);
    return m ? GetDpiForMonitor(m) : state().settings.dpi;
}

HWND allocate_window() {
    State& s = state();
    uint16_t slot;
    if (!s.free_slots.empty()) {
        slot = s.free_slots.back();
        s.free_slots.pop_back();
    } else {
        if (s.windows.size() >= 0xFFFF) return 0;
        slot = static_cast<uint16_t>(s.windows.size());
        s.windows.emplace_back();
    }
    Window& w = s.windows[slot];
    uint16_t gen = static_cast<uint16_t>(w.generation + 1);
    w = Window{};
    w.generation = gen == 0 ? 1 : gen;
    w.live = true;
    return handle_of(w);
}

void activate_next(HWND leaving) {
    for (HWND h : state().tops) {
        Window* w = get(h);
        if (h != leaving && w && (w->style & WS_VISIBLE) && !(w->style & (WS_MINIMIZE | WS_DISABLED)) &&
            !(w->ex_style & WS_EX_NOACTIVATE)) {
            activate(h, WA_ACTIVE, true);
            return;
        }
    }
    activate(0, WA_INACTIVE, false);
}

void release_window(HWND hwnd) {
    State& s = state();
    Window* w = get(hwnd);
    destroy_paint_state(*w);
    destroy_window_menu(*w);
    w->live = false;
    s.free_slots.push_back(static_cast<uint16_t>(hwnd & 0xFFFF));
}

// Applies a new rectangle, z place and visibility; sends the position
// messages. Children and top-levels alike; the display hears of top-levels.
bool set_window_pos(HWND hwnd, HWND after, int32_t x, int32_t y, int32_t cx, int32_t cy, UINT flags,
                    bool tell_display) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w) return false;
    WINDOWPOS wp{hwnd, after, x, y, std::max(0, cx), std::max(0, cy), flags};
    if (flags & SWP_NOMOVE) wp.x = w->rect.left, wp.y = w->rect.top;
    if (flags & SWP_NOSIZE) wp.cx = w->rect.width(), wp.cy = w->rect.height();
    if (!(flags & SWP_NOSENDCHANGING)) SendMessage(hwnd, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (!(w = get(hwnd))) return false;
    RECT old = w->rect;
    RECT neu{wp.x, wp.y, wp.x + wp.cx, wp.y + wp.cy};
    bool moved = neu.left != old.left || neu.top != old.top;
    bool sized = neu.width() != old.width() || neu.height() != old.height();
    bool was_visible = (w->style & WS_VISIBLE) != 0;
    bool redraw = !(wp.flags & SWP_NOREDRAW);
    if (redraw && was_visible && (moved || sized || (wp.flags & SWP_HIDEWINDOW) || !(wp.flags & SWP_NOZORDER)))
        damage_parent_area(hwnd);
    w->rect = neu;
    if (!(wp.flags & SWP_NOZORDER)) place_in_z(hwnd, wp.hwndInsertAfter);
    w = get(hwnd);
    if (wp.flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (wp.flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    bool shown = !was_visible && (w->style & WS_VISIBLE);
    if (sized || shown || (wp.flags & SWP_FRAMECHANGED)) {
        InvalidateRect(hwnd, nullptr, true);
        w = get(hwnd);
    }
    if (redraw && (w->style & WS_VISIBLE)) damage_parent_area(hwnd);
    if ((wp.flags & SWP_HIDEWINDOW) && was_visible) {
        if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
        if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) SetFocus(w->parent ? w->parent : 0);
    }
    if (tell_display) sync_toplevel(hwnd);
    UINT done = wp.flags & ~(SWP_NOMOVE | SWP_NOSIZE);
    if (!moved) done |= SWP_NOMOVE;
    if (!sized && !(wp.flags & SWP_STATECHANGED)) done |= SWP_NOSIZE;
    wp.flags = done;
    SendMessage(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    w = get(hwnd);
    if (w && !w->parent && (moved || sized)) check_dpi(hwnd);
    return true;
}

void send_position_messages(HWND hwnd, const WINDOWPOS& wp) {
    Window* w = get(hwnd);
    if (!w) return;
    if (!(wp.flags & SWP_NOSIZE) || (wp.flags & SWP_STATECHANGED)) {
        RECT c = client_rect(*w);
        WPARAM kind = show_state(*w);
        LPARAM size = kind == SIZE_MINIMIZED ? 0 : make_lparam(c.right, c.bottom);
        SendMessage(hwnd, WM_SIZE, kind, size);
    }
    if (!(wp.flags & SWP_NOMOVE) && (w = get(hwnd)))
        SendMessage(hwnd, WM_MOVE, 0, make_lparam(w->rect.left, w->rect.top));
}

void (*g_destroy_observer)(HWND) = nullptr;

void destroy_tree(HWND hwnd) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w || w->destroying) return;
    w->destroying = true;
    SendMessage(hwnd, WM_DESTROY, 0, 0);
    if (!(w = get(hwnd))) return;
    std::vector<HWND> kids = w->children;
    for (HWND k : kids) destroy_tree(k);
    if (!(w = get(hwnd))) return;
    kill_timers_of(hwnd);
    // What was posted to it is dropped with it, as Win32 does.
    s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(), [hwnd](const MSG& m) { return m.hwnd == hwnd; }),
                  s.queue.end());
    if (s.capture == hwnd) s.capture = 0;
    if (s.focus == hwnd) s.focus = 0;
    if (s.track_hwnd == hwnd) s.track_hwnd = 0;
    if (s.pointer_window == hwnd) s.pointer_window = 0;
    if (s.caret_hwnd == hwnd) s.caret_hwnd = 0;
    if (s.scroll.hwnd == hwnd) s.scroll = {};
    if (g_destroy_observer) g_destroy_observer(hwnd);
    SendMessage(hwnd, WM_NCDESTROY, 0, 0);
    if (!(w = get(hwnd))) return;
    if (w->parent) {
        if (Window* p = get(w->parent)) {
            auto& c = p->children;
            c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
        }
    } else {
        s.tops.erase(std::remove(s.tops.begin(), s.tops.end(), hwnd), s.tops.end());
        s.composition_fonts.erase(hwnd);
        if (s.display) s.display->destroy_toplevel(hwnd);
    }
    release_window(hwnd);
}

}  // namespace

// ---- opening and closing ----------------------------------------------------

bool open(std::unique_ptr<Display> display) {
    if (!display) return false;
    if (is_open()) close();
    State& s = state();
    s.display = std::move(display);
    s.owner_thread = std::this_thread::get_id();
    s.wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    s.settings = s.display->settings();
    refresh_monitors();
    return true;
}

bool open_from_environment(std::string* error) {
    const char* z = std::getenv("ZUN_DISPLAY");
    if (z && std::strncmp(z, "memory", 6) == 0 && (z[6] == 0 || z[6] == ':')) {
        std::vector<Monitor> monitors;
        if (!MemoryDisplay::parse_monitors(z[6] ? z + 7 : "", &monitors)) {
            if (error) *error = std::string("bad monitor list in ZUN_DISPLAY: ") + z;
            return false;
        }
        return open(std::make_unique<MemoryDisplay>(std::move(monitors)));
    }
    return open(open_x11_display(error));
}

void close() {
    State& s = state();
    if (!s.display) return;
    std::vector<HWND> tops = s.tops;
    for (HWND h : tops) DestroyWindow(h);
    for (auto& c : s.image_cursors)
        if (c.image) cairo_surface_destroy(c.image);
    if (s.wake_fd >= 0) ::close(s.wake_fd);
    s.display.reset();
    s.~State();
    new (&s) State();
}

bool is_open() { return state().display != nullptr; }
Display* display() { return state().display.get(); }
uint32_t idle_exits() { return state().idle_exits; }
LayerCounts layer_counts() {
    const State& s = state();
    LayerCounts c;
    for (const Window& w : s.windows) c.windows += w.live ? 1 : 0;
    c.timers = uint32_t(s.timers.size());
    for (const auto& ic : s.image_cursors) c.image_cursors += ic.image ? 1 : 0;
    return c;
}
uint64_t now_ms() { return state().display ? state().display->now_ms() : 0; }

// ---- classes ----------------------------------------------------------------

ATOM RegisterClass(const WNDCLASS& wc) {
    State& s = state();
    if (wc.lpszClassName.empty() || !wc.lpfnWndProc || find_class(wc.lpszClassName)) return 0;
    if (wc.cbWndExtra < 0 || wc.cbWndExtra > k_longs * 4) return 0;
    ClassRec rec{wc, static_cast<ATOM>(0xC000 + s.classes.size()), true};
    s.classes.push_back(std::move(rec));
    return s.classes.back().atom;
}

bool UnregisterClass(std::string_view name) {
    ClassRec* c = find_class(name);
    if (!c) return false;
    auto index = static_cast<uint16_t>(c - state().classes.data());
    for (const Window& w : state().windows)
        if (w.live && w.cls == index) return false;  // still in use, as Win32
    c->live = false;
    return true;
}

bool GetClassInfo(std::string_view name, WNDCLASS* out) {
    ClassRec* c = find_class(name);
    if (!c) return false;
    *out = c->wc;
    return true;
}

uint32_t GetClassLong(HWND hwnd, int index) {
    Window* w = get(hwnd);
    if (!w) return 0;
    const WNDCLASS& wc = state().classes[w->cls].wc;
    switch (index) {
        case GCL_STYLE: return wc.style;
        case GCLP_HCURSOR: return wc.hCursor;
        case GCLP_HBRBACKGROUND: return wc.hbrBackground;
        default: return 0;
    }
}

std::string GetClassName(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? state().classes[w->cls].wc.lpszClassName : std::string();
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    return proc ? proc(hwnd, msg, wp, lp) : 0;
}

// ---- windows ----------------------------------------------------------------

HWND CreateWindowEx(uint32_t ex_style, std::string_view class_name, std::string_view title,
                    uint32_t style, int32_t x, int32_t y, int32_t cx, int32_t cy, HWND parent,
                    uint32_t id, void* create_params) {
    State& s = state();
    ClassRec* cls = find_class(class_name);
    if (!s.display || !cls) return 0;
    bool child = (style & WS_CHILD) != 0;
    // a parent on its way out would leave its new child unreachable
    if (child && (!get(parent) || get(parent)->destroying)) return 0;
    HWND hwnd = allocate_window();
    if (!hwnd) return 0;
    Window* w = get(hwnd);
    w->cls = static_cast<uint16_t>(cls - s.classes.data());
    w->proc = cls->wc.lpfnWndProc;
    w->style = style & ~WS_VISIBLE;
    w->ex_style = ex_style;
    w->id = id;
    w->text = title;
    w->rect = {x, y, x + std::max(0, cx), y + std::max(0, cy)};
    w->normal_rect = w->rect;
    w->bars[SB_VERT].shown = (style & WS_VSCROLL) != 0;
    w->bars[SB_HORZ].shown = (style & WS_HSCROLL) != 0;
    if (child) {
        w->parent = parent;
        w->dpi = get(root_of(parent))->dpi;
        get(parent)->children.push_back(hwnd);  // children start at the bottom, as Win32
    } else {
        w->owner = root_of(parent);
        w->dpi = monitor_dpi_for_rect(w->rect);
        s.tops.insert(s.tops.begin(), hwnd);
        TopLevelState t;
        t.rect = w->rect;
        t.title = w->text;
        t.style = style;
        t.ex_style = ex_style;
        t.owner = w->owner;
        t.layered = (ex_style & WS_EX_LAYERED) != 0;
        s.display->create_toplevel(hwnd, t);
        restack_tops();
    }
    CREATESTRUCT cs{create_params, parent, cy, cx, y, x, style, title, class_name, ex_style};
    if (!SendMessage(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs)) ||
        SendMessage(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (!get(hwnd)) return 0;
    WINDOWPOS wp{hwnd, 0, x, y, cx, cy, SWP_NOZORDER};
    send_position_messages(hwnd, wp);
    if ((style & WS_MAXIMIZE) && get(hwnd)) apply_state(hwnd, SIZE_MAXIMIZED, true);
    if ((style & WS_VISIBLE) && get(hwnd)) ShowWindow(hwnd, SW_SHOW);
    return get(hwnd) ? hwnd : 0;
}

void set_destroy_observer(void (*observer)(HWND)) { g_destroy_observer = observer; }

bool DestroyWindow(HWND hwnd) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w || w->destroying) return false;
    if (!w->parent) {
        // Owned windows go first, as Win32.
        std::vector<HWND> owned;
        for (HWND h : s.tops)
            if (Window* o = get(h); o && o->owner == hwnd) owned.push_back(h);
        for (HWND h : owned) DestroyWindow(h);
    }
    if ((w = get(hwnd)) && (w->style & WS_VISIBLE))
        set_window_pos(hwnd, 0, 0, 0, 0, 0,
                       SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, true);
    bool was_active = s.active == hwnd;
    if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) s.focus = 0;
    if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
    if (was_active) activate_next(hwnd);
    destroy_tree(hwnd);
    return true;
}

bool IsWindow(HWND hwnd) { return get(hwnd) != nullptr; }
bool IsWindowVisible(HWND hwnd) { return visible_chain(hwnd); }
bool IsWindowEnabled(HWND hwnd) {
    Window* w = get(hwnd);
    return w && !(w->style & WS_DISABLED);
}
bool IsIconic(HWND hwnd) {
    Window* w = get(hwnd);
    return w && (w->style & WS_MINIMIZE);
}
bool IsZoomed(HWND hwnd) {
    Window* w = get(hwnd);
    return w && (w->style & WS_MAXIMIZE);
}
bool IsChild(HWND parent, HWND hwnd) {
    for (Window* w = get(hwnd); w && w->parent; w = get(w->parent))
        if (w->parent == parent) return true;
    return false;
}

bool EnableWindow(HWND hwnd, bool enable) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w) return false;
    bool was_disabled = (w->style & WS_DISABLED) != 0;
    if (was_disabled == !enable) return was_disabled;
    if (enable) {
        w->style &= ~WS_DISABLED;
    } else {
        w->style |= WS_DISABLED;
        if (s.capture && (s.capture == hwnd || IsChild(hwnd, s.capture))) ReleaseCapture();
        if (s.focus && (s.focus == hwnd || IsChild(hwnd, s.focus))) SetFocus(0);
    }
    sync_toplevel(hwnd);
    SendMessage(hwnd, WM_ENABLE, enable, 0);
    return was_disabled;
}

bool ShowWindow(HWND hwnd, int cmd) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w) return false;
    bool was_visible = (w->style & WS_VISIBLE) != 0;
    bool top = !w->parent;
    switch (cmd) {
        case SW_HIDE:
            if (!was_visible) return false;
            SendMessage(hwnd, WM_SHOWWINDOW, 0, 0);
            set_window_pos(hwnd, 0, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, true);
            if (s.active == hwnd) activate_next(hwnd);
            return true;
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMINNOACTIVE:
            apply_state(hwnd, SIZE_MINIMIZED, true);
            break;
        case SW_MAXIMIZE:
            apply_state(hwnd, SIZE_MAXIMIZED, true);
            break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
        case SW_SHOWDEFAULT:
            if (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) apply_state(hwnd, 0, true);
            break;
        default:
            break;
    }
    if (!(w = get(hwnd))) return was_visible;
    if (!(w->style & WS_VISIBLE)) {
        SendMessage(hwnd, WM_SHOWWINDOW, 1, 0);
        set_window_pos(hwnd, 0, 0, 0, 0, 0,
                       SWP_SHOWWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE, true);
    }
    bool activating = cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWMINNOACTIVE &&
                      cmd != SW_MINIMIZE && cmd != SW_SHOWMINIMIZED;
    if (top && activating && (w = get(hwnd)) && !(w->ex_style & WS_EX_NOACTIVATE) && !(w->style & WS_MINIMIZE))
        activate(hwnd, WA_ACTIVE, true);
    return was_visible;
}

void detail::apply_state(HWND hwnd, uint8_t new_state, bool tell_display) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w || w->parent) return;
    uint8_t old = show_state(*w);
    if (old == new_state) return;
    if (old == 0) w->normal_rect = w->rect;
    w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
    RECT r = w->rect;
    if (new_state == SIZE_MINIMIZED) {
        // The window keeps its place: nothing reports a move to -32000.
        w->style |= WS_MINIMIZE;
    } else if (new_state == SIZE_MAXIMIZED) {
        w->style |= WS_MAXIMIZE;
        MONITORINFO mi;
        if (GetMonitorInfo(MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST), &mi)) r = mi.rcWork;
        r.top += menu_band(*w);
    } else {
        r = w->normal_rect;
    }
    set_window_pos(hwnd, 0, r.left, r.top, r.width(), r.height(),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED | SWP_STATECHANGED, tell_display);
    if (new_state == SIZE_MINIMIZED && s.active == hwnd) activate_next(hwnd);
}

bool SetWindowPos(HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy, UINT flags) {
    // A top-level's position is its outer corner: above the menu band, as a
    // window manager's frame keeps its corner where it was put.
    if (Window* t = get(hwnd); t && !t->parent) y += menu_band(*t);
    bool ok = set_window_pos(hwnd, insert_after, x, y, cx, cy, flags, true);
    Window* w = get(hwnd);
    if (ok && w && !w->parent && !(flags & SWP_NOACTIVATE) && (flags & SWP_SHOWWINDOW)) activate(hwnd, WA_ACTIVE, true);
    return ok;
}

bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t cx, int32_t cy, bool repaint) {
    return SetWindowPos(hwnd, 0, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0u : UINT(SWP_NOREDRAW)));
}

HDWP BeginDeferWindowPos(int count) {
    State& s = state();
    s.batches.emplace_back();
    s.batches.back().reserve(std::max(count, 0));
    return static_cast<HDWP>(s.batches.size());
}

HDWP DeferWindowPos(HDWP batch, HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx,
                    int32_t cy, UINT flags) {
    State& s = state();
    if (batch == 0 || batch > s.batches.size() || !get(hwnd)) return 0;
    s.batches[batch - 1].push_back({hwnd, insert_after, x, y, cx, cy, flags});
    return batch;
}

bool EndDeferWindowPos(HDWP batch) {
    State& s = state();
    if (batch == 0 || batch > s.batches.size()) return false;
    std::vector<WINDOWPOS> items = std::move(s.batches[batch - 1]);
    // Batches close in any order; the slots of closed ones are dropped from the end.
    s.batches[batch - 1].clear();
    s.batches[batch - 1].shrink_to_fit();
    while (!s.batches.empty() && s.batches.back().empty() && s.batches.back().capacity() == 0) s.batches.pop_back();
    for (const WINDOWPOS& p : items) SetWindowPos(p.hwnd, p.hwndInsertAfter, p.x, p.y, p.cx, p.cy, p.flags);
    return true;
}

HWND SetParent(HWND hwnd, HWND parent) {
    State& s = state();
    Window* w = get(hwnd);
    if (!w || (parent && (!get(parent) || get(parent)->destroying)) || parent == hwnd ||
        (parent && IsChild(hwnd, parent)))
        return 0;
    HWND old = w->parent;
    bool visible = (w->style & WS_VISIBLE) != 0;
    if (visible) damage_parent_area(hwnd);
    if (old) {
        auto& c = get(old)->children;
        c.erase(std::remove(c.begin(), c.end(), hwnd), c.end());
    } else {
        s.tops.erase(std::remove(s.tops.begin(), s.tops.end(), hwnd), s.tops.end());
        s.display->destroy_toplevel(hwnd);
        if (s.active == hwnd) s.active = 0;
    }
    w = get(hwnd);
    if (parent) {
        w->parent = parent;
        w->style = (w->style | WS_CHILD) & ~WS_POPUP;
        get(parent)->children.insert(get(parent)->children.begin(), hwnd);
        w->dpi = get(root_of(parent))->dpi;
    } else {
        POINT o = client_origin_screen(hwnd);
        w->rect = {o.x, o.y, o.x + w->rect.width(), o.y + w->rect.height()};
        w->parent = 0;
        w->style &= ~WS_CHILD;
        s.tops.insert(s.tops.begin(), hwnd);
        TopLevelState t;
        t.rect = w->rect;
        t.title = w->text;
        s.display->create_toplevel(hwnd, t);
        sync_toplevel(hwnd);
        restack_tops();
    }
    if ((w = get(hwnd)) && visible) {
        damage_parent_area(hwnd);
        InvalidateRect(hwnd, nullptr, true);
    }
    return old;
}

HWND GetParent(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) return 0;
    return w->parent ? w->parent : (w->style & WS_POPUP) ? w->owner : 0;
}

HWND GetAncestor(HWND hwnd, UINT flags) {
    Window* w = get(hwnd);
    if (!w) return 0;
    switch (flags) {
        case GA_PARENT: return w->parent;
        case GA_ROOT: return root_of(hwnd);
        case GA_ROOTOWNER: {
            HWND r = root_of(hwnd);
            while (Window* t = get(r)) {
                if (!t->owner) break;
                r = t->owner;
            }
            return r;
        }
        default: return 0;
    }
}

HWND GetWindow(HWND hwnd, UINT cmd) {
    Window* w = get(hwnd);
    if (!w) return 0;
    if (cmd == GW_CHILD) return w->children.empty() ? 0 : w->children.front();
    if (cmd == GW_OWNER) return w->owner;
    const auto& list = sibling_list(*w);
    auto it = std::find(list.begin(), list.end(), hwnd);
    switch (cmd) {
        case GW_HWNDFIRST: return list.front();
        case GW_HWNDLAST: return list.back();
        case GW_HWNDNEXT: return it + 1 < list.end() ? *(it + 1) : 0;
        case GW_HWNDPREV: return it > list.begin() ? *(it - 1) : 0;
        default: return 0;
    }
}

std::vector<HWND> EnumChildWindows(HWND parent) {
    Window* w = get(parent);
    return w ? w->children : std::vector<HWND>{};
}
std::vector<HWND> EnumWindows() { return state().tops; }

int32_t GetWindowLong(HWND hwnd, int index) {
    Window* w = get(hwnd);
    if (!w) return 0;
    switch (index) {
        case GWL_STYLE: return static_cast<int32_t>(w->style);
        case GWL_EXSTYLE: return static_cast<int32_t>(w->ex_style);
        case GWLP_ID: return static_cast<int32_t>(w->id);
        case GWLP_USERDATA: return w->userdata;
        case GWLP_HWNDPARENT: return static_cast<int32_t>(w->parent ? w->parent : w->owner);
        default: break;
    }
    int extra = state().classes[w->cls].wc.cbWndExtra;
    if (index < 0 || index % 4 || index + 4 > extra) return 0;
    return w->longs[index / 4];
}

int32_t SetWindowLong(HWND hwnd, int index, int32_t value) {
    Window* w = get(hwnd);
    if (!w) return 0;
    int32_t old = GetWindowLong(hwnd, index);
    switch (index) {
        case GWL_STYLE: {
            auto v = static_cast<uint32_t>(value);
            bool show = (v & WS_VISIBLE) != (w->style & WS_VISIBLE);
            w->style = (v & ~WS_VISIBLE) | (w->style & WS_VISIBLE);
            w->bars[SB_VERT].shown = (v & WS_VSCROLL) != 0;
            w->bars[SB_HORZ].shown = (v & WS_HSCROLL) != 0;
            if (show) ShowWindow(hwnd, (v & WS_VISIBLE) ? SW_SHOWNA : SW_HIDE);
            sync_toplevel(hwnd);
            return old;
        }
        case GWL_EXSTYLE:
            w->ex_style = static_cast<uint32_t>(value);
            sync_toplevel(hwnd);
            damage_parent_area(hwnd);
            return old;
        case GWLP_ID: w->id = static_cast<uint32_t>(value); return old;
        case GWLP_USERDATA: w->userdata = value; return old;
        default: break;
    }
    int extra = state().classes[w->cls].wc.cbWndExtra;
    if (index < 0 || index % 4 || index + 4 > extra) return 0;
    w->longs[index / 4] = value;
    return old;
}

WNDPROC GetWindowProc(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? w->proc : nullptr;
}

WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc) {
    Window* w = get(hwnd);
    if (!w || !proc) return nullptr;
    WNDPROC old = w->proc;
    w->proc = proc;
    return old;
}

bool SetWindowText(HWND hwnd, std::string_view text) {
    if (!get(hwnd)) return false;
    std::string copy(text);
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str())) != 0;
}

std::string GetWindowText(HWND hwnd) {
    Window* w = get(hwnd);
    return w ? w->text : std::string();
}

bool GetWindowRect(HWND hwnd, RECT* out) {
    Window* w = get(hwnd);
    if (!w) return false;
    POINT o = w->parent ? client_origin_screen(w->parent) : POINT{};
    *out = {w->rect.left + o.x, w->rect.top + o.y, w->rect.right + o.x, w->rect.bottom + o.y};
    return true;
}

bool GetClientRect(HWND hwnd, RECT* out) {
    Window* w = get(hwnd);
    if (!w) return false;
    *out = client_rect(*w);
    return true;
}

bool ClientToScreen(HWND hwnd, POINT* pt) {
    if (!get(hwnd)) return false;
    POINT o = client_origin_screen(hwnd);
    pt->x += o.x;
    pt->y += o.y;
    return true;
}

bool ScreenToClient(HWND hwnd, POINT* pt) {
    if (!get(hwnd)) return false;
    POINT o = client_origin_screen(hwnd);
    pt->x -= o.x;
    pt->y -= o.y;
    return true;
}

int MapWindowPoints(HWND from, HWND to, POINT* pts, int count) {
    POINT a = from ? client_origin_screen(from) : POINT{};
    POINT b = to ? client_origin_screen(to) : POINT{};
    for (int i = 0; i < count; ++i) {
        pts[i].x += a.x - b.x;
        pts[i].y += a.y - b.y;
    }
    return static_cast<int>(static_cast<uint32_t>(static_cast<uint16_t>(a.x - b.x)) |
                            static_cast<uint32_t>(static_cast<uint16_t>(a.y - b.y)) << 16);
}

bool AdjustWindowRectEx(RECT* rect, uint32_t, bool, uint32_t) {
    // The frame belongs to the window manager, outside the window.
    return rect != nullptr;
}

bool GetWindowMinimizedRect(HWND hwnd, RECT* normal) {
    Window* w = get(hwnd);
    if (!w) return false;
    *normal = (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) ? w->normal_rect : w->rect;
    return true;
}

bool SetLayeredWindowAttributes(HWND hwnd, COLORREF, uint8_t alpha, uint32_t flags) {
    Window* w = get(hwnd);
    if (!w || !(w->ex_style & WS_EX_LAYERED)) return false;
    if (flags & LWA_ALPHA) w->alpha = alpha;
    damage_parent_area(hwnd);
    return true;
}

// ---- messages ---------------------------------------------------------------

bool PostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    State& s = state();
    MSG m{hwnd, msg, wp, lp, 0, {}, 0};
    if (std::this_thread::get_id() != s.owner_thread) {
        {
            std::lock_guard<std::mutex> lock(s.inbox_mutex);
            s.inbox.push_back(m);
        }
        uint64_t one = 1;
        if (s.wake_fd >= 0) (void)!::write(s.wake_fd, &one, sizeof one);
        return true;
    }
    if (hwnd && !get(hwnd)) return false;
    m.time = static_cast<uint32_t>(now_ms());
    m.pt = s.pointer;
    s.queue.push_back(m);
    return true;
}

bool PostThreadMessage(UINT msg, WPARAM wp, LPARAM lp) { return PostMessage(0, msg, wp, lp); }

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = get(hwnd);
    if (!w) return 0;
    return w->proc(hwnd, msg, wp, lp);
}

void PostQuitMessage(int exit_code) {
    State& s = state();
    s.quit = true;
    s.quit_code = exit_code;
}

namespace {

void drain_inbox() {
    State& s = state();
    std::vector<MSG> in;
    {
        std::lock_guard<std::mutex> lock(s.inbox_mutex);
        in.swap(s.inbox);
    }
    uint64_t count;
    if (s.wake_fd >= 0) (void)!::read(s.wake_fd, &count, sizeof count);
    for (MSG& m : in) {
        if (m.hwnd && !get(m.hwnd)) continue;
        m.time = static_cast<uint32_t>(now_ms());
        m.pt = s.pointer;
        s.queue.push_back(m);
    }
}

bool matches(const MSG& m, HWND filter, UINT min, UINT max) {
    if (filter && m.hwnd != filter && !IsChild(filter, m.hwnd)) return false;
    return (min == 0 && max == 0) || (m.message >= min && m.message <= max);
}

void note_taken(const MSG& m) {
    State& s = state();
    s.msg_pos = static_cast<uint32_t>(make_lparam(m.pt.x, m.pt.y));
    s.msg_time = m.time;
    auto set = [&](uint8_t vk, bool down) {
        if (down && !(s.keys[vk] & 0x80)) s.keys[vk] ^= 1;  // toggle state
        s.keys[vk] = static_cast<uint8_t>((s.keys[vk] & 1) | (down ? 0x80 : 0));
    };
    switch (m.message) {
        case WM_KEYDOWN: case WM_SYSKEYDOWN: case WM_KEYUP: case WM_SYSKEYUP: {
            bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
            auto vk = static_cast<uint8_t>(m.wParam);
            set(vk, down);
            uint8_t side = static_cast<uint8_t>(m.lPrivate >> 24);
            if (side && side != vk) set(side, down);
            return;
        }
        case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_NCLBUTTONDOWN: set(VK_LBUTTON, true); return;
        case WM_LBUTTONUP: case WM_NCLBUTTONUP: set(VK_LBUTTON, false); return;
        case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: set(VK_RBUTTON, true); return;
        case WM_RBUTTONUP: set(VK_RBUTTON, false); return;
        case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: set(VK_MBUTTON, true); return;
        case WM_MBUTTONUP: set(VK_MBUTTON, false); return;
        default: return;
    }
}

HWND find_paint(HWND hwnd, HWND filter) {
    Window* w = get(hwnd);
    if (!w || !(w->style & WS_VISIBLE)) return 0;
    bool dirty = (w->update && !cairo_region_is_empty(w->update)) || w->internal_paint;
    if (dirty && (!filter || filter == hwnd || IsChild(filter, hwnd))) return hwnd;
    for (HWND c : w->children)  // no user code runs here: no copy needed
        if (HWND h = find_paint(c, filter)) return h;
    return 0;
}

Timer* due_timer(HWND filter) {
    State& s = state();
    uint64_t now = now_ms();
    Timer* best = nullptr;
    for (Timer& t : s.timers)
        if (t.due <= now && (!filter || t.hwnd == filter || IsChild(filter, t.hwnd)) && (!best || t.due < best->due))
            best = &t;
    return best;
}

uint64_t next_deadline(bool with_cosmetic) {
    State& s = state();
    uint64_t d = 0;
    for (const Timer& t : s.timers)
        if ((with_cosmetic || !t.cosmetic) && (!d || t.due < d)) d = t.due;
    if (s.track_hwnd && (s.track_flags & TME_HOVER) && s.hover_due && (!d || s.hover_due < d)) d = s.hover_due;
    return d;
}

void check_hover() {
    State& s = state();
    if (!s.track_hwnd || !(s.track_flags & TME_HOVER) || !s.hover_due || now_ms() < s.hover_due) return;
    POINT p = s.pointer;
    ScreenToClient(s.track_hwnd, &p);
    PostMessage(s.track_hwnd, WM_MOUSEHOVER, mk_flags(s.mods), make_lparam(p.x, p.y));
    s.track_flags &= ~TME_HOVER;
    s.hover_due = 0;
}

// One turn of taking a message: 1 a message, 0 a quit (or an idle end), -1
// nothing (only when not waiting).
int take_message(MSG* out, HWND filter, UINT min, UINT max, bool remove, bool may_wait) {
    State& s = state();
    if (!s.display) return may_wait ? 0 : -1;
    for (;;) {
        drain_inbox();
        s.display->pump();
        check_hover();
        for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
            if (!matches(*it, filter, min, max)) continue;
            *out = *it;
            if (remove) {
                s.queue.erase(it);
                note_taken(*out);
            }
            return 1;
        }
        if (s.quit && (min == 0 || (WM_QUIT >= min && WM_QUIT <= max))) {
            *out = MSG{0, WM_QUIT, static_cast<WPARAM>(s.quit_code), 0, static_cast<uint32_t>(now_ms()), s.pointer, 0};
            if (remove) s.quit = false;
            return 0;
        }
        bool want_paint = (min == 0 && max == 0) || (WM_PAINT >= min && WM_PAINT <= max);
        if (want_paint) {
            for (HWND top : s.tops) {
                if (HWND h = find_paint(top, filter)) {
                    *out = MSG{h, WM_PAINT, 0, 0, static_cast<uint32_t>(now_ms()), s.pointer, 0};
                    return 1;
                }
            }
        }
        bool want_timer = (min == 0 && max == 0) || (WM_TIMER >= min && WM_TIMER <= max);
        if (Timer* t = want_timer ? due_timer(filter) : nullptr) {
            *out = MSG{t->hwnd, WM_TIMER, t->id, reinterpret_cast<LPARAM>(t->proc),
                       static_cast<uint32_t>(now_ms()), s.pointer, 0};
            if (remove) t->due = now_ms() + t->period;  // late ticks coalesce into one
            return 1;
        }
        flush_display();
        if (!may_wait) return -1;
        // A caret's blink must not keep a test's loop from ending idle.
        bool with_cosmetic = s.display->name() != "memory";
        if (!s.display->wait(next_deadline(with_cosmetic), s.wake_fd)) {
            std::lock_guard<std::mutex> lock(s.inbox_mutex);
            if (s.inbox.empty()) {
                ++s.idle_exits;
                *out = MSG{0, WM_QUIT, 0, 0, static_cast<uint32_t>(now_ms()), s.pointer, 0};
                return 0;
            }
        }
    }
}

}  // namespace

int GetMessage(MSG* msg, HWND filter, UINT min, UINT max) {
    return take_message(msg, filter, min, max, true, true);
}

bool PeekMessage(MSG* msg, HWND filter, UINT min, UINT max, UINT remove) {
    return take_message(msg, filter, min, max, (remove & PM_REMOVE) != 0, false) >= 0;
}

bool WaitMessage() {
    MSG m;
    return take_message(&m, 0, 0, 0, false, true) != 0;
}

bool TranslateMessage(const MSG* msg) {
    if ((msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN) || !(msg->lPrivate & 0x1FFFFF))
        return false;
    char32_t ch = msg->lPrivate & 0x1FFFFF;
    MSG c = *msg;
    c.message = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    c.wParam = ch;
    c.lPrivate = 0;
    state().queue.push_front(c);
    return true;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (scroll_tracking_message(*msg)) return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (msg->message == WM_PAINT) {
        Window* w = get(msg->hwnd);
        if (w) w->internal_paint = false;
    }
    return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

uint32_t GetMessagePos() { return state().msg_pos; }
uint32_t GetMessageTime() { return state().msg_time; }

int16_t GetKeyState(int vk) {
    uint8_t k = state().keys[vk & 0xFF];
    return static_cast<int16_t>(((k & 0x80) ? 0x8000 : 0) | (k & 1));
}

int16_t GetAsyncKeyState(int vk) { return (state().async_keys[vk & 0xFF] & 0x80) ? static_cast<int16_t>(0x8000) : 0; }

char32_t MapVirtualKey(UINT code, UINT map_type) {
    switch (map_type) {
        case MAPVK_VK_TO_CHAR: return vk_to_char(static_cast<uint8_t>(code));
        case MAPVK_VK_TO_VSC: return modifier_scan_code(static_cast<uint8_t>(code));
        case MAPVK_VSC_TO_VK_EX: return vk_from_scan_code(static_cast<uint16_t>(code));
        default: return 0;
    }
}

int16_t VkKeyScan(char32_t ch) { return static_cast<int16_t>(vk_key_scan(ch)); }

// ---- timers -----------------------------------------------------------------

uintptr_t SetTimer(HWND hwnd, uintptr_t id, UINT ms, TIMERPROC proc) {
    State& s = state();
    if (hwnd && !get(hwnd)) return 0;
    if (!hwnd) id = s.next_timer_id++;
    ms = std::max<UINT>(ms, 1);
    for (Timer& t : s.timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.period = ms;
            t.proc = proc;
            t.due = now_ms() + ms;
            return hwnd ? 1 : id;
        }
    }
    s.timers.push_back({hwnd, id, ms, proc, now_ms() + ms});
    return hwnd ? 1 : id;
}

uintptr_t SetCosmeticTimer(HWND hwnd, uintptr_t id, UINT ms) {
    uintptr_t made = SetTimer(hwnd, id, ms, nullptr);
    for (Timer& t : state().timers)
        if (t.hwnd == hwnd && t.id == id) t.cosmetic = true;
    return made;
}

bool KillTimer(HWND hwnd, uintptr_t id) {
    auto& t = state().timers;
    auto it = std::find_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
    if (it == t.end()) return false;
    t.erase(it);
    // A WM_TIMER already queued for it is not delivered.
    auto& q = state().queue;
    q.erase(std::remove_if(q.begin(), q.end(),
                           [&](const MSG& m) { return m.message == WM_TIMER && m.hwnd == hwnd && m.wParam == id; }),
            q.end());
    return true;
}

// ---- focus and activation ---------------------------------------------------

void detail::activate(HWND top, WPARAM how, bool tell_display) {
    State& s = state();
    if (top == s.active) return;
    HWND old = s.active;
    s.active = top;
    if (get(old)) {
        SendMessage(old, WM_NCACTIVATE, 0, 0);
        SendMessage(old, WM_ACTIVATE, WA_INACTIVE | (IsIconic(old) ? 0x10000 : 0), static_cast<LPARAM>(top));
        if (s.focus && (s.focus == old || IsChild(old, s.focus)) && s.active == top) {
            HWND f = s.focus;
            s.focus = 0;
            SendMessage(f, WM_KILLFOCUS, 0, 0);
        }
    }
    if (s.active != top || !get(top)) return;
    if (tell_display && s.display) s.display->activate(top);
    SendMessage(top, WM_NCACTIVATE, 1, 0);
    SendMessage(top, WM_ACTIVATE, how | (IsIconic(top) ? 0x10000 : 0), static_cast<LPARAM>(old));
}

HWND SetFocus(HWND hwnd) {
    State& s = state();
    HWND old = s.focus;
    if (hwnd && !get(hwnd)) return 0;
    if (hwnd == old) return old;
    if (hwnd) {
        HWND top = root_of(hwnd);
        if (top != s.active) activate(top, WA_ACTIVE, true);
        if (s.focus == hwnd) return old;
    }
    old = s.focus;  // activation may have moved it
    s.focus = hwnd;
    if (get(old)) SendMessage(old, WM_KILLFOCUS, hwnd, 0);
    if (hwnd && s.focus == hwnd) SendMessage(hwnd, WM_SETFOCUS, old, 0);
    return old;
}

HWND GetFocus() { return state().focus; }

HWND SetActiveWindow(HWND hwnd) {
    HWND old = state().active;
    HWND top = root_of(hwnd);
    if (top) activate(top, WA_ACTIVE, true);
    return old;
}

HWND GetActiveWindow() { return state().active; }

bool SetForegroundWindow(HWND hwnd) {
    HWND top = root_of(hwnd);
    if (!top) return false;
    place_in_z(top, HWND_TOP);
    activate(top, WA_ACTIVE, true);
    return true;
}

HWND GetForegroundWindow() { return state().active; }

// ---- monitors, DPI, settings ------------------------------------------------

void detail::refresh_monitors() {
    State& s = state();
    std::vector<Monitor> now = s.display->monitors();
    std::vector<MonitorRec> next;
    for (Monitor& m : now) {
        HMONITOR h = 0;
        // A monitor keeps its handle while it exists (same name, else same place).
        for (const MonitorRec& r : s.monitors)
            if ((!m.name.empty() && r.monitor.name == m.name) || (m.name.empty() && r.monitor.rect == m.rect))
                h = r.handle;
        next.push_back({h ? h : s.next_monitor++, std::move(m)});
    }
    s.monitors = std::move(next);
}

std::vector<HMONITOR> EnumDisplayMonitors() {
    std::vector<HMONITOR> out;
    for (const MonitorRec& r : state().monitors) out.push_back(r.handle);
    return out;
}

bool GetMonitorInfo(HMONITOR monitor, MONITORINFO* info) {
    const auto& ms = state().monitors;
    for (size_t i = 0; i < ms.size(); ++i) {
        if (ms[i].handle != monitor) continue;
        info->rcMonitor = info->rcWork = ms[i].monitor.rect;
        info->dwFlags = i == 0 ? uint32_t(MONITORINFOF_PRIMARY) : 0u;
        info->dpi = ms[i].monitor.dpi;
        info->name = ms[i].monitor.name;
        return true;
    }
    return false;
}

namespace {
int64_t overlap(const RECT& a, const RECT& b) {
    int64_t w = std::min(a.right, b.right) - std::max(a.left, b.left);
    int64_t h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
    return w > 0 && h > 0 ? w * h : 0;
}
int64_t distance(const RECT& r, POINT p) {
    int64_t dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    int64_t dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}
HMONITOR fallback(uint32_t flags, const RECT& r) {
    const auto& ms = state().monitors;
    if (ms.empty() || flags == MONITOR_DEFAULTTONULL) return 0;
    if (flags == MONITOR_DEFAULTTOPRIMARY) return ms.front().handle;
    POINT c{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    const MonitorRec* best = &ms.front();
    for (const MonitorRec& m : ms)
        if (distance(m.monitor.rect, c) < distance(best->monitor.rect, c)) best = &m;
    return best->handle;
}
}  // namespace

HMONITOR MonitorFromPoint(POINT pt, uint32_t flags) {
    for (const MonitorRec& m : state().monitors)
        if (distance(m.monitor.rect, pt) == 0) return m.handle;
    return fallback(flags, {pt.x, pt.y, pt.x + 1, pt.y + 1});
}

HMONITOR MonitorFromRect(const RECT* rect, uint32_t flags) {
    const MonitorRec* best = nullptr;
    int64_t best_area = 0;
    for (const MonitorRec& m : state().monitors) {
        int64_t a = overlap(m.monitor.rect, *rect);
        if (a > best_area) best = &m, best_area = a;
    }
    return best ? best->handle : fallback(flags, *rect);
}

HMONITOR MonitorFromWindow(HWND hwnd, uint32_t flags) {
    RECT r;
    if (!GetWindowRect(root_of(hwnd), &r)) return fallback(flags, {});
    return MonitorFromRect(&r, flags);
}

uint32_t GetDpiForWindow(HWND hwnd) {
    Window* w = get(root_of(hwnd));
    return w ? w->dpi : 0;
}

uint32_t GetDpiForMonitor(HMONITOR monitor) {
    for (const MonitorRec& m : state().monitors)
        if (m.handle == monitor) return m.monitor.dpi;
    return 0;
}

void detail::check_dpi(HWND top) {
    Window* w = get(top);
    if (!w || w->parent || (w->style & WS_MINIMIZE)) return;
    uint32_t dpi = monitor_dpi_for_rect(w->rect);
    if (dpi == 0 || dpi == w->dpi) return;
    uint32_t old = w->dpi;
    w->dpi = dpi;
    // Same corner, the size scaled by new over old, as Win32 suggests.
    RECT r = w->rect;
    RECT suggested{r.left, r.top, r.left + static_cast<int32_t>(int64_t(r.width()) * dpi / old),
                   r.top + static_cast<int32_t>(int64_t(r.height()) * dpi / old)};
    SendMessage(top, WM_DPICHANGED, dpi | dpi << 16, reinterpret_cast<LPARAM>(&suggested));
}

const DesktopSettings& desktop_settings() { return state().settings; }

RECT frame_extents(HWND hwnd) {
    State& s = state();
    if (!s.display || !get(hwnd)) return RECT{};
    RECT r = s.display->frame_extents(root_of(hwnd));
    r.top += menu_band(*get(root_of(hwnd)));
    return r;
}

void set_title_theme(HWND hwnd, bool dark) {
    State& s = state();
    const Window* w = get(hwnd);
    if (s.display && w && !w->parent) s.display->set_title_theme(hwnd, dark);
}

// ---- the default procedure --------------------------------------------------

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Window* w = get(hwnd);
    if (!w) return 0;
    switch (msg) {
        case WM_NCCREATE: return 1;
        case WM_CLOSE: DestroyWindow(hwnd); return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND: {
            HBRUSH brush = state().classes[w->cls].wc.hbrBackground;
            if (!brush) return 0;
            RECT c = client_rect(*w);
            FillRect(reinterpret_cast<HDC>(wp), &c, brush);
            return 1;
        }
        case WM_NCHITTEST: {
            POINT p{lo_word(lp), hi_word(lp)};
            RECT r;
            GetWindowRect(hwnd, &r);
            if (p.x < r.left || p.y < r.top || p.x >= r.right || p.y >= r.bottom) return HTNOWHERE;
            POINT wpnt{p.x - r.left, p.y - r.top};
            LRESULT bar = scroll_hit(hwnd, wpnt);
            return bar ? bar : HTCLIENT;
        }
        case WM_SETCURSOR: {
            if (w->parent && SendMessage(w->parent, WM_SETCURSOR, wp, lp)) return 1;
            if (lo_word(lp) == HTCLIENT) {
                if (wp != hwnd) return 0;  // over a child: its own cursor
                HCURSOR c = state().classes[get(hwnd)->cls].wc.hCursor;
                if (!c) return 0;
                SetCursor(c);
                return 1;
            }
            SetCursor(IDC_ARROW);
            return 1;
        }
        case WM_MOUSEACTIVATE:
            if (w->parent) {
                LRESULT r = SendMessage(w->parent, WM_MOUSEACTIVATE, wp, lp);
                if (r) return r;
            }
            return MA_ACTIVATE;
        case WM_ACTIVATE:
            if ((wp & 0xFFFF) != WA_INACTIVE && !(wp >> 16)) SetFocus(hwnd);
            return 0;
        case WM_WINDOWPOSCHANGED:
            send_position_messages(hwnd, *reinterpret_cast<const WINDOWPOS*>(lp));
            return 0;
        case WM_SYSCOMMAND:
            switch (wp & 0xFFF0) {
                case SC_CLOSE: SendMessage(hwnd, WM_CLOSE, 0, 0); return 0;
                case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); return 0;
                case SC_MAXIMIZE: ShowWindow(hwnd, SW_MAXIMIZE); return 0;
                case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); return 0;
                default: return 0;
            }
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK:
            if (wp == HTMENU) menu_default(hwnd, msg, wp, lp);
            if (wp == HTVSCROLL || wp == HTHSCROLL) {
                RECT r;
                GetWindowRect(hwnd, &r);
                scroll_begin(hwnd, wp == HTVSCROLL ? SB_VERT : SB_HORZ, {lo_word(lp) - r.left, hi_word(lp) - r.top});
            }
            return 0;
        case WM_MOUSEWHEEL:
            return w->parent ? SendMessage(w->parent, msg, wp, lp) : 0;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_SYSKEYUP:
        case WM_SYSCHAR:
        case WM_RBUTTONUP:
        case 0x007B:  // WM_CONTEXTMENU
            menu_default(hwnd, msg, wp, lp);
            return 0;
        case WM_SETTEXT: {
            w->text = lp ? reinterpret_cast<const char*>(lp) : "";
            sync_toplevel(hwnd);
            return 1;
        }
        case 0x000E:  // WM_GETTEXTLENGTH (bytes of the UTF-8 text)
            return static_cast<LRESULT>(w->text.size());
        case WM_GETTEXT: {
            if (wp == 0 || !lp) return 0;
            size_t n = std::min<size_t>(wp - 1, w->text.size());
            std::memcpy(reinterpret_cast<char*>(lp), w->text.data(), n);
            reinterpret_cast<char*>(lp)[n] = 0;
            return static_cast<LRESULT>(n);
        }
        default:
            return 0;
    }
}

}  // namespace zun::win
