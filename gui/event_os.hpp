// The OS side of event!: the message record the window layer reports, the
// hooks through which it answers what only it knows (faces of windows, the
// DPI scale, key state, delivery of synthetic messages), the backend's key
// state, and the decoding of a message into an event's fields.
//
// The window layer fills a Message for every message it dispatches, installs
// its hooks once with set_window_layer, and calls set_os_event before handing
// the event cell to the handler. Without a window layer every hook has a
// neutral answer (no face, scale 1.0, no key down, nothing delivered), which
// is also what the unit tests replace to feed synthetic messages.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/cell.hpp"

namespace zun::event {

// One message as Windows' MSG lays it out: window, message, wParam, lParam,
// time, message point (screen pixels).
struct Message {
    uint32_t window = 0;
    uint32_t message = 0;
    uint64_t wparam = 0;
    uint64_t lparam = 0;
    uint32_t time = 0;
    int32_t x = 0;
    int32_t y = 0;
};

// The message ids the decoding and OS-send-event use.
namespace wm {
constexpr uint32_t USER = 0x0400;
constexpr uint32_t WINDOW_STATE = USER + 2;  // wParam the event type code 36-38
constexpr uint32_t KEYDOWN = 0x0100, KEYUP = 0x0101, CHAR = 0x0102;
constexpr uint32_t SYSKEYDOWN = 0x0104, SYSKEYUP = 0x0105;
constexpr uint32_t HSCROLL = 0x0114, VSCROLL = 0x0115;
constexpr uint32_t MOUSEMOVE = 0x0200, LBUTTONDOWN = 0x0201, LBUTTONUP = 0x0202;
constexpr uint32_t LBUTTONDBLCLK = 0x0203, RBUTTONDOWN = 0x0204, RBUTTONUP = 0x0205;
constexpr uint32_t MBUTTONDOWN = 0x0207, MBUTTONUP = 0x0208, MOUSEWHEEL = 0x020A;
constexpr uint32_t XBUTTONDOWN = 0x020B, XBUTTONUP = 0x020C, MOUSELEAVE = 0x02A3;
}  // namespace wm

// Mouse-message wParam bits.
namespace mk {
constexpr uint32_t LBUTTON = 0x1, RBUTTON = 0x2, SHIFT = 0x4, CONTROL = 0x8;
constexpr uint32_t MBUTTON = 0x10, XBUTTON1 = 0x20, XBUTTON2 = 0x40;
// A synthetic move or left release from OS-send-event.
constexpr uint32_t SYNTHETIC = 0x8000;
}  // namespace mk

// Virtual-key codes the key rules name.
namespace vk {
constexpr uint32_t LBUTTON = 0x01, RBUTTON = 0x02, MBUTTON = 0x04, XBUTTON1 = 0x05;
constexpr uint32_t SHIFT = 0x10, CONTROL = 0x11, MENU = 0x12;
constexpr uint32_t LSHIFT = 0xA0, RSHIFT = 0xA1, LCONTROL = 0xA2, RCONTROL = 0xA3;
constexpr uint32_t LMENU = 0xA4, RMENU = 0xA5, PROCESSKEY = 0xE5;
}  // namespace vk

// MapVirtualKeyW map types.
constexpr uint32_t MAPVK_VK_TO_CHAR = 2;
constexpr uint32_t MAPVK_VSC_TO_VK_EX = 3;
// Scroll bars.
constexpr int SB_HORZ = 0, SB_VERT = 1;
// Window styles OS-send-event checks.
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000, WS_MINIMIZEBOX = 0x00020000;
// GESTUREINFO flag of a gesture's first message.
constexpr uint32_t GF_BEGIN = 0x1;

// What GESTUREINFO holds for one gesture message.
struct Gesture {
    uint32_t flags = 0;
    int32_t x = 0, y = 0;  // ptsLocation
    uint64_t argument = 0;  // ullArguments
};

// The window layer's answers. A null entry keeps the neutral answer.
struct WindowLayer {
    // gui/event-window: the window owning the message that carries a face
    // (the message's window, its parent, or the window under the point); 0
    // when none does.
    uint32_t (*event_window)(const Message& msg) = nullptr;
    // The face object of a window into *out; false when it has none.
    bool (*face_of)(uint32_t window, Cell* out) = nullptr;
    // GetAncestor with GA_ROOTOWNER; 0 when none.
    uint32_t (*root_owner)(uint32_t window) = nullptr;
    // The window's client origin in screen pixels (ClientToScreen of 0,0).
    void (*client_origin)(uint32_t window, int32_t* x, int32_t* y) = nullptr;
    // The current DPI scale: pixels per logical unit (DPI / 96).
    double (*scale)() = nullptr;
    // The window was made with a pair! size (creation flag 0x10).
    bool (*pair_sized)(uint32_t window) = nullptr;
    // The track position of a window's own scroll bar (SB_HORZ or SB_VERT).
    int32_t (*scroll_track_position)(uint32_t window, int bar) = nullptr;
    // GetMessagePos: the pointer's screen point at the last message.
    void (*message_pos)(int32_t* x, int32_t* y) = nullptr;
    // GetGestureInfo of a gesture message; false when it has none.
    bool (*gesture_info)(const Message& msg, Gesture* out) = nullptr;
    // LBItemFromPt: the 0-based item of a list under a screen point, -1 none.
    int32_t (*list_item_at)(uint32_t window, int32_t x, int32_t y) = nullptr;
    // GetKeyState's high bit for a virtual key.
    bool (*key_down)(uint32_t virtual_key) = nullptr;
    // MapVirtualKeyW; 0 when there is no mapping.
    uint32_t (*map_virtual_key)(uint32_t code, uint32_t map_type) = nullptr;
    // VkKeyScanW: the virtual key in the low byte, -1 when none.
    int32_t (*vk_key_scan)(uint32_t character) = nullptr;
    // The window's style bits (GWL_STYLE).
    uint32_t (*window_style)(uint32_t window) = nullptr;
    // PostMessageW; false when it fails.
    bool (*post_message)(const Message& msg) = nullptr;
    // gui/pre-dispatch and, when it lets the message pass, DispatchMessageW
    // with the message as the current one (no TranslateMessage).
    void (*dispatch_now)(const Message& msg) = nullptr;
    // The WM_USER+2 handler of a window face called directly (code 36-38).
    void (*window_state)(uint32_t window, uint32_t code) = nullptr;
};
void set_window_layer(const WindowLayer& layer);
const WindowLayer& window_layer();

// The backend's event state (one instance, single thread).
struct State {
    int32_t last_key = -1;          // special-key code of the last key, -1: a character
    uint32_t high_surrogate = 0;    // first half of a pair, or the last full code point
    bool ime_composing = false;     // an IME composition runs in a base face
    int32_t forced_flags = -1;      // key flags reported instead of the keyboard's
    int64_t last_mouse_position = -1;  // lParam of the last move let through
    uint64_t zoom_distance = 0;     // the previous zoom gesture's distance
    int32_t menu_x = 0, menu_y = 0; // client point of the context menu's right press
    std::string composition;        // the IME's current composition (UTF-8), `ime`'s picked
};
State& state();
// Back to the start values (a new runtime, a test).
void reset_state();

// Modifier and button flags.
uint32_t key_state_flags(bool with_buttons);
uint32_t mouse_key_flags(uint64_t wparam);
uint32_t current_key_flags();
uint32_t special_key_code(uint32_t virtual_key, uint64_t lparam);
bool char_key_q(uint32_t virtual_key);

// Payload 3 of an event of the type for the message, as gui/dispatch-event
// computes it from the flags argument and the key state; nullopt when the
// message makes no event (VK_PROCESSKEY, the first half of a surrogate pair).
// `change` answers 0: a tab-panel's tab index is its caller's.
std::optional<uint32_t> payload_for(uint32_t type, const Message& msg, uint32_t flags);

// The backend's one event cell, rewritten for a message being dispatched
// (the message is copied: fields read later see it as it was).
Cell* set_os_event(uint32_t type, const Message& msg, uint32_t payload3);
Cell* event_cell();
// The message of an OS event, nullptr when the event outlived its record.
const Message* message_of(const Cell* event);
// Serials name message records: one in a made event's payload never occurs.
constexpr uint32_t MESSAGE_RING = 64;

// Pixels and logical units at the current scale.
int32_t to_pixels(double logical);
double to_logical(int32_t pixels);

// OS-send-event: the made event as a message for its face's window, posted
// or dispatched at once; false when the event cannot be expressed or there
// is no window to receive it.
bool send_event_os(const Cell* event, bool post);
// The message a made event becomes (types 1-15 but `click`), with the
// window given; false for the other types.
bool message_for(const Cell* event, uint32_t window, Message* out);

}  // namespace zun::event
