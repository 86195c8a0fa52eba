#include "gui/backend.hpp"
#include "gui/camera_face.hpp"

#include <cmath>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/collector.hpp"
#include "core/console_out.hpp"
#include "core/runtime.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/time.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "draw/window_target.hpp"
#include "gui/error_box.hpp"
#include "gui/event.hpp"
#include "gui/face.hpp"
#include "gui/menus.hpp"
#include "gui/widget.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/stack.hpp"
#include "platform/controls/controls.hpp"
#include "platform/window.hpp"
#include "services/clipboard.hpp"
#include "startup/boot_texts.hpp"

namespace zun::gui {

using namespace win;

namespace {

LoopCounters g_counters;
bool g_tried = false;
bool g_open = false;
std::string g_error;
HWND g_hover = 0;
bool g_in_size_move = false;
event::Message g_static_message;
const event::Message* g_current = nullptr;

// Face slots, marked by the collector; a window's long 60 holds slot + 1.
std::vector<Cell> g_slots;
std::vector<uint32_t> g_free_slots;
// [system/view/awake <event>]: the call dispatch evaluates.
Cell g_awake_call = make_cell(TYPE_NONE);
Cell g_refresh_call = make_cell(TYPE_NONE);

void mark_slots() {
    if (!g_slots.empty()) collector::mark_cells(g_slots.data(), g_slots.data() + g_slots.size());
    collector::mark_cells(&g_awake_call, &g_awake_call + 1);
    collector::mark_cells(&g_refresh_call, &g_refresh_call + 1);
}

uint32_t slot_of(HWND hwnd) {
    if (!IsWindow(hwnd)) return 0;
    return uint32_t(GetWindowLong(hwnd, LONG_FACE));
}


// ---- hooks of event! ----------------------------------------------------

uint32_t hook_event_window(const event::Message& msg) {
    for (HWND w = msg.window; w; w = GetAncestor(w, GA_PARENT))
        if (slot_of(w)) return w;
    return 0;
}
bool hook_face_of(uint32_t w, Cell* out) { return face_of_window(w, out); }
uint32_t hook_root_owner(uint32_t w) { return GetAncestor(w, GA_ROOTOWNER); }
void hook_client_origin(uint32_t w, int32_t* x, int32_t* y) {
    POINT p;
    ClientToScreen(w, &p);
    *x = p.x, *y = p.y;
}
double hook_scale() { return scale(); }
bool hook_pair_sized(uint32_t w) { return (GetWindowLong(w, LONG_CREATION) & CREATION_PAIR_SIZE) != 0; }
int32_t hook_track(uint32_t w, int bar) {
    SCROLLINFO si;
    si.fMask = SIF_TRACKPOS;
    return GetScrollInfo(w, bar, &si) ? si.nTrackPos : 0;
}
void hook_message_pos(int32_t* x, int32_t* y) {
    const uint32_t pos = GetMessagePos();
    *x = int16_t(pos & 0xFFFF), *y = int16_t(pos >> 16);
}
bool hook_key_down(uint32_t vk) { return (GetKeyState(int(vk)) & 0x8000) != 0; }
uint32_t hook_map_vk(uint32_t code, uint32_t type) { return MapVirtualKey(code, type); }
int32_t hook_vk_scan(uint32_t ch) { return VkKeyScan(char32_t(ch)); }
uint32_t hook_style(uint32_t w) { return uint32_t(GetWindowLong(w, GWL_STYLE)); }
bool hook_post(const event::Message& m) {
    return PostMessage(m.window, m.message, WPARAM(m.wparam), LPARAM(m.lparam));
}
MSG to_msg(const event::Message& m) {
    MSG msg;
    msg.hwnd = m.window, msg.message = m.message, msg.wParam = WPARAM(m.wparam);
    msg.lParam = LPARAM(m.lparam), msg.time = m.time, msg.pt = {m.x, m.y};
    return msg;
}
void hook_dispatch_now(const event::Message& m) {
    event::Message copy = m;
    if (pre_dispatch(copy) < 1) return;
    const event::Message* saved = g_current;
    g_current = &copy;
    const MSG msg = to_msg(copy);
    DispatchMessage(&msg);
    g_current = saved;
}
void hook_window_state(uint32_t w, uint32_t code) { send_window_state(w, code); }

void install_hooks() {
    event::WindowLayer layer;
    layer.event_window = hook_event_window;
    layer.face_of = hook_face_of;
    layer.root_owner = hook_root_owner;
    layer.client_origin = hook_client_origin;
    layer.scale = hook_scale;
    layer.pair_sized = hook_pair_sized;
    layer.scroll_track_position = hook_track;
    layer.message_pos = hook_message_pos;
    layer.key_down = hook_key_down;
    layer.map_virtual_key = hook_map_vk;
    layer.vk_key_scan = hook_vk_scan;
    layer.window_style = hook_style;
    layer.post_message = hook_post;
    layer.dispatch_now = hook_dispatch_now;
    layer.window_state = hook_window_state;
    layer.list_item_at = widget::list_item_at;
    event::set_window_layer(layer);
}

// ---- awake ---------------------------------------------------------------

const Cell* field_of(const Cell* object, const char* name) {
    if (!object || !object->is(TYPE_OBJECT)) return nullptr;
    const int32_t i = context::find_word(object->data1, symbol::make(name), true);
    return i < 0 ? nullptr : object::values_base(object) + i;
}

bool awake_is_function() {
    const Cell* system = context::find_word_value(symbol::make("system"), context::global());
    const Cell* awake = field_of(field_of(system, "view"), "awake");
    return awake && awake->is(TYPE_FUNCTION);
}

void print_error(const Cell* error) {
    char text[2048];
    support::form_error(error, text, sizeof text);
    console_out::write_units(text, std::strlen(text), 1, true);
}

// Evaluates a block under a try-all frame: nothing it raises leaves here but
// a halt; an error is printed once. Answers 0 when the result is the word
// `stop`, else 1.
int eval_guarded(Cell* code, Cell* result = nullptr) {
    Cell* const top = stack::g_top;
    Cell* const base = stack::g_base;
    stack::CallFrame* const frames = stack::g_frame_top;
    stack::push_native_frame(nullptr);
    static Cell anon = make_cell(TYPE_NONE);
    stack::push_try_all_frame(&anon);
    int answer = 1;
    try {
        const Flow flow = interpreter::eval_block(code, true);
        if (flow == Flow::normal) {
            const Cell* value = stack::top();
            if (result) *result = *value;
            if (value->is(TYPE_WORD)) {
                const uint32_t s = symbol::canonical(value->data2);
                if (s == symbol::canonical(symbol::make("stop"))) answer = 0;
            }
        }
    } catch (const PendingFlow&) {
        // throws, returns and exits stop at the frame, silently
    } catch (const Unwind& u) {
        if (u.code != Flow::error) {
            stack::g_frame_top = frames, stack::g_base = base, stack::g_top = top;
            throw;
        }
        stack::adjust_after_error();
        print_error(stack::top());
        cycles::reset();
    }
    stack::g_frame_top = frames;
    stack::g_base = base;
    stack::g_top = top;
    return answer;
}

// A block made once from source text, kept in a marked cell.
Cell* kept_block(Cell* cell, const char* text) {
    if (cell->is(TYPE_NONE)) {
        stack::StackScope scope;
        Cell* made = stack::push_cell();
        boot_texts::load(made, text, std::strlen(text));
        *cell = *made;
    }
    return cell;
}

// Calls system/view/awake with the event (see eval_guarded).
int call_awake(const Cell* event_cell) {
    if (!awake_is_function()) return 1;
    block::head_cell(kept_block(&g_awake_call, "system/view/awake none"))[1] = *event_cell;
    return eval_guarded(&g_awake_call);
}

}  // namespace

void eval_guarded_value(Cell* code, Cell* result) { eval_guarded(code, result); }

// ---- start-up ------------------------------------------------------------

bool init() {
    if (g_tried) return g_open;
    g_tried = true;
    g_open = win::is_open() || open_from_environment(&g_error);
    if (!g_open) return false;
    collector::register_marker(mark_slots);
    // at exit the windows go without their faces: the runtime is gone by then
    std::atexit([] { shutdown(); });
    install_hooks();
    set_dpi(cursor_monitor_dpi());
    win::register_system_controls();
    clipboard::install_edit_clipboard();  // EDIT's clipboard keys on the real clipboard
    register_classes();
    widget::register_classes();
    runtime::set_error_box_hook([](const char* caption, const char* text) { show_error_box(caption, text); });
    return true;
}

bool display_open() { return g_open; }

// The monitors changed: the language-level refresh-screens rebuilds the
// screen faces, when the GUI engine has defined it.
void refresh_screens() {
    eval_guarded(kept_block(&g_refresh_call,
                            "if all [find words-of system/view/platform 'refresh-screens"
                            " function? get in system/view/platform 'refresh-screens] [system/view/platform/refresh-screens]"));
}
const std::string& display_error() { return g_error; }

void shutdown() {
    if (!g_open) return;
    runtime::set_error_box_hook(nullptr);
    g_slots.clear();
    g_free_slots.clear();
    draw::release_all_render_targets();
    camera_face::stop_all();
    win::close();
    g_open = false;
    g_tried = false;
    event::set_window_layer(event::WindowLayer{});
}

LoopCounters& counters() { return g_counters; }
uint32_t hover_window() { return g_hover; }

// ---- face slots ------------------------------------------------------------

uint32_t take_slot(const Cell* face) {
    if (g_slots.empty()) g_slots.push_back(make_cell(TYPE_NONE));  // slot 0: none
    if (!g_free_slots.empty()) {
        const uint32_t s = g_free_slots.back();
        g_free_slots.pop_back();
        g_slots[s] = *face;
        return s;
    }
    g_slots.push_back(*face);
    return uint32_t(g_slots.size() - 1);
}

void free_slot(uint32_t slot) {
    if (slot == 0 || slot >= g_slots.size()) return;
    g_slots[slot] = make_cell(TYPE_NONE);
    g_free_slots.push_back(slot);
}

bool face_of_window(uint32_t hwnd, Cell* out) {
    const uint32_t s = slot_of(hwnd);
    if (s == 0 || s >= g_slots.size() || !g_slots[s].is(TYPE_OBJECT)) return false;
    *out = g_slots[s];
    return true;
}

// ---- the loop ----------------------------------------------------------------

const event::Message* current_message() { return g_current; }

void ensure_current_message() {
    if (g_current) return;
    g_static_message = event::Message{};
    const uint32_t pos = win::is_open() ? GetMessagePos() : 0;
    g_static_message.x = int16_t(pos & 0xFFFF);
    g_static_message.y = int16_t(pos >> 16);
    g_current = &g_static_message;
}

void reset_current_message() { g_current = nullptr; }

bool do_events(bool no_wait) {
    if (!init()) return false;
    event::State& es = event::state();
    const int32_t forced = es.forced_flags;
    es.forced_flags = -1;
    bool any = false;
    if (!no_wait) g_counters.loop_depth++, g_counters.running++;
    MSG msg;
    for (;;) {
        if (no_wait) {
            if (!PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) break;
        } else if (GetMessage(&msg) <= 0) {
            break;
        }
        any = true;
        event::Message m{msg.hwnd, msg.message, uint64_t(msg.wParam), uint64_t(msg.lParam),
                         msg.time, msg.pt.x, msg.pt.y};
        if (pre_dispatch(m) >= 1) {
            const event::Message* saved = g_current;
            g_current = &m;
            MSG out = to_msg(m);
            out.lPrivate = msg.lPrivate;
            TranslateMessage(&out);
            DispatchMessage(&out);
            g_current = saved;
        }
        if (no_wait) break;
    }
    if (!no_wait) {
        g_counters.running--;
        // never below 0: loops ended by exit-event-loop must not keep a
        // later last window from ending the loops around it
        g_counters.pending_exits = std::max(0, g_counters.pending_exits - 1);
        if (g_counters.pending_exits > 0) PostQuitMessage(0);
    }
    es.forced_flags = forced;
    return any;
}

int dispatch_event(const event::Message& msg, uint32_t flags, uint32_t type) {
    const std::optional<uint32_t> payload = event::payload_for(type, msg, flags);
    if (!payload) return 1;
    widget::before_dispatch(msg, flags, type);
    const Cell ev = *event::set_os_event(type, msg, *payload);
    const int32_t depth = g_counters.loop_depth;
    const event::Message* saved = g_current;
    const int answer = call_awake(&ev);
    g_current = saved;
    if (g_counters.loop_depth < depth) PostQuitMessage(0);
    return answer;
}

namespace {

bool enabled_face_window(HWND w) { return slot_of(w) && IsWindowEnabled(w); }

bool all_over_q(HWND w) {
    Cell face;
    if (!face_of_window(w, &face)) return false;
    return face::has_flag(&face, "all-over");
}

}  // namespace

int pre_dispatch(event::Message& m) {
    const uint32_t flags = event::mouse_key_flags(m.wparam) | event::key_state_flags(false);
    event::State& es = event::state();
    switch (m.message) {
    case WM_MOUSEMOVE:
        if (m.wparam & event::mk::SYNTHETIC) {
            m.wparam &= ~uint64_t(event::mk::SYNTHETIC);
            if (IsWindowEnabled(m.window)) dispatch_event(m, flags, event::OVER);
            return 1;
        }
        if (int64_t(m.lparam) == es.last_mouse_position) return 0;
        es.last_mouse_position = int64_t(m.lparam);
        if (enabled_face_window(m.window) && (m.window != g_hover || all_over_q(m.window))) {
            if (m.window != g_hover) {
                TRACKMOUSEEVENT tme;
                tme.dwFlags = TME_LEAVE;
                tme.hwndTrack = m.window;
                TrackMouseEvent(&tme);
            }
            dispatch_event(m, flags, event::OVER);
        }
        g_hover = m.window;
        return 1;
    case WM_MOUSELEAVE:
        es.last_mouse_position = -1;
        dispatch_event(m, flags | event::F_AWAY, event::OVER);
        if (m.window == g_hover) g_hover = 0;
        return 1;
    case WM_MOUSEWHEEL:
        return dispatch_event(m, event::mouse_key_flags(m.wparam), event::WHEEL);
    case WM_LBUTTONDOWN:
        menus::clear_context_menu();
        return dispatch_event(m, flags, event::DOWN);
    case WM_LBUTTONUP: {
        m.wparam &= ~uint64_t(event::mk::SYNTHETIC);
        Cell face;
        if (GetCapture() == m.window && face_of_window(m.window, &face) && face::type_is(&face, "base"))
            ReleaseCapture();
        return dispatch_event(m, flags, event::UP);
    }
    case WM_LBUTTONDBLCLK:
        menus::clear_context_menu();
        dispatch_event(m, 0, event::DOWN);
        dispatch_event(m, flags, event::DBL_CLICK);
        return 1;
    case WM_RBUTTONDOWN: {
        if (GetCapture()) return 1;
        es.menu_x = int16_t(m.lparam & 0xFFFF);
        es.menu_y = int16_t((m.lparam >> 16) & 0xFFFF);
        POINT screen{es.menu_x, es.menu_y};
        ClientToScreen(m.window, &screen);
        menus::clear_context_menu();
        const int answer = dispatch_event(m, flags, event::ALT_DOWN);
        return menus::show_context_menu(m, screen.x, screen.y) ? 0 : answer;
    }
    case WM_RBUTTONUP: return dispatch_event(m, flags, event::ALT_UP);
    case WM_MBUTTONDOWN: return dispatch_event(m, flags, event::MID_DOWN);
    case WM_MBUTTONUP: return dispatch_event(m, flags, event::MID_UP);
    case WM_XBUTTONDOWN: return dispatch_event(m, flags, event::AUX_DOWN);
    case WM_XBUTTONUP: return dispatch_event(m, flags, event::AUX_UP);
    case WM_KEYDOWN: {
        const int answer = dispatch_event(m, 0, event::KEY_DOWN);
        const int32_t last = es.last_key;
        const bool modifier = last == 0x10 || last == 0x11 || (last >= 0xA0 && last <= 0xA5);
        if (answer != 0 && last != -1 && !modifier) return dispatch_event(m, 0, event::KEY);
        return answer;
    }
    case WM_SYSKEYDOWN: return dispatch_event(m, 0, event::KEY_DOWN);
    case WM_KEYUP:
    case WM_SYSKEYUP: return dispatch_event(m, 0, event::KEY_UP);
    case WM_CHAR:
        es.last_key = -1;
        return dispatch_event(m, 0, event::KEY);
    default: return 1;
    }
}

// Dispatches an event for a window outside the loop's own dispatch (window
// procedures): the current message gets the window and lParam first.
int report(HWND hwnd, uint32_t type, uint32_t flags, LPARAM lparam, bool set_lparam) {
    ensure_current_message();
    event::Message m = *g_current;
    m.window = hwnd;
    if (set_lparam) m.lparam = uint64_t(lparam);
    const event::Message* saved = g_current;
    g_current = &m;
    const int answer = dispatch_event(m, flags, type);
    g_current = saved;
    return answer;
}

// As report, for a message other than the one being dispatched (a window's
// own scroll bar).
int report_message(HWND hwnd, UINT message, WPARAM wp, LPARAM lp, uint32_t type, uint32_t flags) {
    ensure_current_message();
    event::Message m = *g_current;
    m.window = hwnd, m.message = message, m.wparam = uint64_t(wp), m.lparam = uint64_t(lp);
    const event::Message* saved = g_current;
    g_current = &m;
    const int answer = dispatch_event(m, flags, type);
    g_current = saved;
    return answer;
}

bool in_size_move() { return g_in_size_move; }
void set_in_size_move(bool on) { g_in_size_move = on; }

}  // namespace zun::gui
