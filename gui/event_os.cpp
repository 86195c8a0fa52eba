#include "gui/event_os.hpp"

#include <cmath>

#include "core/symbols.hpp"
#include "datatypes/char.hpp"
#include "datatypes/context.hpp"
#include "datatypes/float.hpp"
#include "datatypes/integer.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/word.hpp"
#include "gui/event.hpp"
#include "gui/event_internal.hpp"
#include "interpreter/stack.hpp"

namespace zun::event {

namespace {

WindowLayer g_layer;
State g_state;

struct MessageSlot {
    uint32_t serial = 0;
    Message message;
};
MessageSlot g_ring[MESSAGE_RING];
uint32_t g_serial = 0;
Cell g_event_cell = make_cell(TYPE_EVENT);

// The virtual keys whose key-down makes a character.
struct KeyRange {
    uint8_t first, last;
};
constexpr KeyRange k_char_keys[] = {
    {0x08, 0x09}, {0x0D, 0x0D}, {0x1B, 0x1B}, {0x20, 0x20}, {0x30, 0x39}, {0x41, 0x5A},
    {0x60, 0x6B}, {0x6D, 0x6F}, {0xBA, 0xC0}, {0xDB, 0xDF}, {0xE2, 0xE4}, {0xE9, 0xF5},
};

struct BitPair {
    uint32_t from, to;
};
constexpr BitPair k_mouse_key_flags[] = {
    {mk::LBUTTON, F_DOWN},     {mk::RBUTTON, F_ALT_DOWN},  {mk::SHIFT, F_SHIFT},
    {mk::CONTROL, F_CONTROL},  {mk::MBUTTON, F_MID_DOWN},  {mk::XBUTTON1, F_AUX_DOWN},
    {mk::XBUTTON2, F_AUX_DOWN},
};
// OS-send-event: the event's flags as mouse-message wParam bits.
constexpr BitPair k_flag_mouse_keys[] = {
    {F_CONTROL, mk::CONTROL}, {F_SHIFT, mk::SHIFT},     {F_DOWN, mk::LBUTTON},
    {F_ALT_DOWN, mk::RBUTTON}, {F_MID_DOWN, mk::MBUTTON}, {F_AUX_DOWN, mk::XBUTTON1},
};
constexpr BitPair k_key_state_flags[] = {
    {vk::CONTROL, F_CONTROL}, {vk::SHIFT, F_SHIFT}, {vk::MENU, F_ALT},
};
constexpr BitPair k_button_state_flags[] = {
    {vk::LBUTTON, F_DOWN}, {vk::RBUTTON, F_ALT_DOWN}, {vk::MBUTTON, F_MID_DOWN},
    {vk::XBUTTON1, F_AUX_DOWN},
};

// Event types 1-15 as messages; 0 where the type has none.
struct SentMessage {
    uint32_t message, wparam;
};
constexpr SentMessage k_sent_messages[] = {
    {wm::LBUTTONDOWN, mk::LBUTTON}, {wm::LBUTTONUP, 0},     {wm::MBUTTONDOWN, mk::MBUTTON},
    {wm::MBUTTONUP, 0},             {wm::RBUTTONDOWN, mk::RBUTTON}, {wm::RBUTTONUP, 0},
    {wm::XBUTTONDOWN, 0x10020},     {wm::XBUTTONUP, 0x10000}, {0, 0},
    {wm::LBUTTONDBLCLK, mk::LBUTTON}, {wm::MOUSEWHEEL, 0},  {wm::MOUSEMOVE, 0},
    {wm::CHAR, 0},                  {wm::KEYDOWN, 0},       {wm::KEYUP, 0},
};

constexpr const char* k_vertical_scroll_keys[] = {"up", "down", "page-up", "page-down", "end", "track"};
constexpr const char* k_horizontal_scroll_keys[] = {"left", "right", "page-left", "page-right", "end", "track"};

constexpr uint32_t FORCED_FLAG_MASK = 0x73C00000;

int16_t low_word(uint64_t v) { return int16_t(uint16_t(v)); }
int16_t high_word(uint64_t v) { return int16_t(uint16_t(v >> 16)); }

void client_origin(uint32_t window, int32_t* x, int32_t* y) {
    *x = *y = 0;
    if (g_layer.client_origin) g_layer.client_origin(window, x, y);
}

double scale() {
    double s = g_layer.scale ? g_layer.scale() : 1.0;
    return s > 0 && std::isfinite(s) ? s : 1.0;
}

bool key_down(uint32_t virtual_key) { return g_layer.key_down && g_layer.key_down(virtual_key); }

uint32_t map_virtual_key(uint32_t code, uint32_t map_type) {
    return g_layer.map_virtual_key ? g_layer.map_virtual_key(code, map_type) : 0;
}

Cell* push_none() { return stack::push(&shared_none_cell); }

Cell* push_logical_point(int32_t x, int32_t y) {
    return point2D::push(float(to_logical(x)), float(to_logical(y)));
}

// Key data of key-down and key-up: the virtual key, or its character when the
// key makes one.
uint32_t key_code(const Message& msg, bool consult_ime) {
    const uint32_t virtual_key = uint32_t(msg.wparam & 0xFFFF);
    const bool character = (consult_ime && g_state.ime_composing) || char_key_q(virtual_key);
    g_state.last_key = character ? -1 : int32_t(special_key_code(virtual_key, msg.lparam));
    uint32_t code = virtual_key;
    if (g_state.last_key == -1) {
        if (uint32_t c = map_virtual_key(virtual_key, MAPVK_VK_TO_CHAR) & 0xFFFF) code = c;
    }
    return code | current_key_flags();
}

// Key data of a character message; nullopt for the first half of a pair.
std::optional<uint32_t> character_data(const Message& msg) {
    uint32_t modifiers = current_key_flags();
    uint32_t c = uint32_t(msg.wparam) & KEY_MASK;
    if (c >= 0xD800 && c <= 0xDBFF) {
        g_state.high_surrogate = c;
        return std::nullopt;
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        // A second half without its first is not a character.
        const uint32_t high = g_state.high_surrogate;
        if (high < 0xD800 || high > 0xDBFF) return std::nullopt;
        c = 0x10000 + ((high & 0x3FF) << 10) + (c & 0x3FF);
    }
    if (c > 0x10FFFF) return std::nullopt;
    if (c > 0xFFFF) {
        // Joined above, or one message from a layer that sends whole code points.
        g_state.high_surrogate = c;
        modifiers = 0;
    } else {
        g_state.high_surrogate = 0;
    }
    // Ctrl with a lower-case letter gives its control code, as the keyboard does.
    if ((modifiers & F_CONTROL) && c > 0x60 && c < 0x7B) {
        c -= 0x60;
        g_state.last_key = -1;
    }
    if ((g_state.ime_composing && (modifiers & F_SHIFT)) || g_state.last_key == int32_t(vk::LMENU) ||
        g_state.last_key == int32_t(vk::RMENU))
        g_state.last_key = -1;
    return c | modifiers;
}

// ---------------------------------------------------------------- OS event fields

Cell* push_offset(const Cell* event, const Message& msg) {
    const uint32_t code = event->data1;
    int32_t ox, oy;
    switch (code) {
        case WHEEL:
            client_origin(msg.window, &ox, &oy);
            return push_logical_point(low_word(msg.lparam) - ox, high_word(msg.lparam) - oy);
        case KEY: case KEY_DOWN: case KEY_UP: {
            int32_t x = 0, y = 0;
            if (g_layer.message_pos) g_layer.message_pos(&x, &y);
            client_origin(msg.window, &ox, &oy);
            return push_logical_point(x - ox, y - oy);
        }
        case ZOOM: case PAN: case ROTATE: case TWO_TAP: case PRESS_TAP: {
            Gesture g;
            if (!g_layer.gesture_info || !g_layer.gesture_info(msg, &g)) return push_none();
            return push_logical_point(g.x, g.y);
        }
        case MENU:
            return push_logical_point(g_state.menu_x, g_state.menu_y);
        default:
            break;
    }
    if (!(code <= DBL_CLICK || code == OVER || (code >= MOVE && code <= RESIZING))) return push_none();
    int32_t x = low_word(msg.lparam), y = high_word(msg.lparam);
    if (event->data3 & F_AWAY) {
        client_origin(msg.window, &ox, &oy);
        x = msg.x - ox;
        y = msg.y - oy;
    }
    if ((code == RESIZE || code == RESIZING) && g_layer.pair_sized && g_layer.pair_sized(msg.window))
        return pair::push(int32_t(to_logical(x)), int32_t(to_logical(y)));
    return push_logical_point(x, y);
}

Cell* push_key(const Cell* event, const Message& msg) {
    const uint32_t code = event->data1, payload3 = event->data3;
    switch (code) {
        case KEY: case KEY_DOWN: case KEY_UP: {
            if (g_state.last_key == -1) {
                const bool whole = code == KEY && g_state.high_surrogate >= 0x10000;
                return char_::push(payload3 & (whole ? KEY_MASK : 0xFFFF));
            }
            if (const char* name = special_key_name(uint32_t(g_state.last_key))) return detail::push_word(name);
            return code == KEY ? push_none() : char_::push(payload3 & 0xFFFF);
        }
        case SCROLL: {
            const uint32_t request = uint32_t(msg.wparam & 0xFFFF);
            const char* const* names =
                msg.message == wm::VSCROLL ? k_vertical_scroll_keys : k_horizontal_scroll_keys;
            return detail::push_word(names[request <= 3 ? request : request == 5 ? 5 : 4]);
        }
        case WHEEL:
            return detail::push_word("wheel");
        default:
            return push_none();
    }
}

Cell* push_zoom(const Message& msg) {
    Gesture g;
    if (!g_layer.gesture_info || !g_layer.gesture_info(msg, &g)) return push_none();
    const uint64_t previous = g_state.zoom_distance;
    g_state.zoom_distance = g.argument;
    // Without an earlier distance there is no ratio.
    if ((g.flags & GF_BEGIN) || previous == 0) return push_none();
    const double ratio = (double(g.argument) - double(previous)) / double(previous) + 1.0;
    return percent::init_cell(stack::push_cell(), ratio);
}

Cell* push_picked(const Cell* event, const Message& msg) {
    const uint32_t code = event->data1, payload3 = event->data3;
    switch (code) {
        case ZOOM:
            return push_zoom(msg);
        case IME: {
            const std::string text = g_state.composition;
            return string::load_c_text(text.data(), uint32_t(text.size()), 0);
        }
        case PAN: case ROTATE: case TWO_TAP: case PRESS_TAP: {
            Gesture g;
            if (!g_layer.gesture_info || !g_layer.gesture_info(msg, &g)) return push_none();
            return integer::push(int32_t(g.argument));
        }
        case MENU:
            // Menu items carry their word's symbol id.
            if (payload3 == 0xFFFFFFFF || payload3 == 0 || payload3 > symbols::count()) return push_none();
            return word::push_global(payload3);
        case SCROLL: {
            const int bar = msg.message == wm::VSCROLL ? SB_VERT : SB_HORZ;
            return integer::push(g_layer.scroll_track_position ? g_layer.scroll_track_position(msg.window, bar) : 0);
        }
        case WHEEL: {
            int32_t d = high_word(msg.wparam);
            if (d < -24000) d += 30720;
            else if (d > 24000) d -= 30720;
            return float_::push(d / 120.0);
        }
        case DOWN: case MID_DOWN: case ALT_DOWN: case AUX_DOWN: case DBL_CLICK: {
            int32_t ox, oy;
            client_origin(msg.window, &ox, &oy);
            const int32_t item = g_layer.list_item_at
                                     ? g_layer.list_item_at(msg.window, low_word(msg.lparam) + ox,
                                                            high_word(msg.lparam) + oy)
                                     : -1;
            return item >= 0 ? integer::push(item + 1) : push_none();
        }
        default:
            return integer::push(low_word(payload3));
    }
}

}  // namespace

// ---------------------------------------------------------------- layer and state

void set_window_layer(const WindowLayer& layer) { g_layer = layer; }
const WindowLayer& window_layer() { return g_layer; }

State& state() { return g_state; }
void reset_state() { g_state = State{}; }

uint32_t key_state_flags(bool with_buttons) {
    uint32_t flags = 0;
    for (const BitPair& p : k_key_state_flags)
        if (key_down(p.from)) flags |= p.to;
    if (with_buttons)
        for (const BitPair& p : k_button_state_flags)
            if (key_down(p.from)) flags |= p.to;
    return flags;
}

uint32_t mouse_key_flags(uint64_t wparam) {
    uint32_t flags = 0;
    for (const BitPair& p : k_mouse_key_flags)
        if (wparam & p.from) flags |= p.to;
    return flags;
}

uint32_t current_key_flags() {
    return g_state.forced_flags >= 0 ? uint32_t(g_state.forced_flags) : key_state_flags(true);
}

uint32_t special_key_code(uint32_t virtual_key, uint64_t lparam) {
    const bool extended = (lparam & 0x01000000) != 0;
    switch (virtual_key) {
        case vk::SHIFT: return map_virtual_key(uint32_t(lparam >> 16) & 0xFF, MAPVK_VSC_TO_VK_EX);
        case vk::CONTROL: return extended ? vk::RCONTROL : vk::LCONTROL;
        case vk::MENU: return extended ? vk::RMENU : vk::LMENU;
        default: return virtual_key & 0xFFFF;
    }
}

bool char_key_q(uint32_t virtual_key) {
    for (const KeyRange& r : k_char_keys)
        if (virtual_key >= r.first && virtual_key <= r.last) return true;
    return false;
}

std::optional<uint32_t> payload_for(uint32_t type, const Message& msg, uint32_t flags) {
    switch (type) {
        case OVER: case MENU: return flags;
        case KEY_DOWN:
            if ((msg.wparam & 0xFFFF) == vk::PROCESSKEY) {
                g_state.last_key = -1;
                return std::nullopt;
            }
            return key_code(msg, true);
        case KEY_UP: return key_code(msg, false);
        case KEY: return character_data(msg);
        case SELECT: return (flags + 1) & 0xFFFF;
        case DOWN: case UP: case MID_DOWN: case MID_UP: case ALT_DOWN: case ALT_UP:
        case DBL_CLICK: case WHEEL:
            return flags | key_state_flags(true);
        case CLICK: return key_state_flags(false);
        default: return 0;
    }
}

// ---------------------------------------------------------------- the event cell

Cell* set_os_event(uint32_t type, const Message& msg, uint32_t payload3) {
    if (++g_serial == 0) g_serial = 1;
    g_ring[g_serial % MESSAGE_RING] = MessageSlot{g_serial, msg};
    g_event_cell = make_cell(TYPE_EVENT, type, g_serial, payload3);
    return &g_event_cell;
}

Cell* event_cell() { return &g_event_cell; }

const Message* message_of(const Cell* event) {
    if (made_q(event) || !event->data2) return nullptr;
    const MessageSlot& slot = g_ring[event->data2 % MESSAGE_RING];
    return slot.serial == event->data2 ? &slot.message : nullptr;
}

int32_t to_pixels(double logical) {
    const double v = std::trunc(logical * scale() + 0.5);
    if (!(v > -2147483648.0)) return INT32_MIN;
    if (!(v < 2147483647.0)) return INT32_MAX;
    return int32_t(v);
}

double to_logical(int32_t pixels) { return pixels / scale(); }

Cell* detail::push_os_field(const Cell* event, int field) {
    const Message* msg = message_of(event);
    // An event kept past its message's record reads as having none.
    if (!msg) return push_none();
    switch (field) {
        case FIELD_FACE: case FIELD_WINDOW: {
            uint32_t window = g_layer.event_window ? g_layer.event_window(*msg) : 0;
            if (window && field == FIELD_WINDOW) window = g_layer.root_owner ? g_layer.root_owner(window) : 0;
            Cell face;
            if (window && g_layer.face_of && g_layer.face_of(window, &face)) return stack::push(&face);
            return push_none();
        }
        case FIELD_OFFSET: return push_offset(event, *msg);
        case FIELD_KEY: return push_key(event, *msg);
        case FIELD_PICKED: return push_picked(event, *msg);
        case FIELD_ORIENTATION:
            if (event->data1 != SCROLL) return push_none();
            return detail::push_word(msg->message == wm::VSCROLL ? "vertical" : "horizontal");
        default: return push_none();
    }
}

// ---------------------------------------------------------------- OS-send-event

bool message_for(const Cell* event, uint32_t window, Message* out) {
    const uint32_t code = event->data1, flags = event->data3;
    if (code < DOWN || code > KEY_UP || !k_sent_messages[code - 1].message) return false;
    *out = Message{};
    out->window = window;
    out->message = k_sent_messages[code - 1].message;
    out->wparam = k_sent_messages[code - 1].wparam;
    const uint32_t key = flags & KEY_MASK;
    if (code == KEY) {
        // A layer that sends whole code points takes the key above U+FFFF whole.
        out->wparam = key;
        return true;
    }
    if (code == KEY_DOWN || code == KEY_UP) {
        const int32_t scan = g_layer.vk_key_scan ? g_layer.vk_key_scan(key) : -1;
        out->wparam = uint32_t(scan) & 0xFF;
        return true;
    }
    for (const BitPair& p : k_flag_mouse_keys)
        if (flags & p.from) out->wparam |= p.to;
    Cell offset = pair::make_value(0, 0);
    detail::made_value(event, 2, &offset);
    double lx, ly;
    if (offset.is(TYPE_POINT2D)) {
        lx = point::coordinate(&offset, 0);
        ly = point::coordinate(&offset, 1);
    } else {
        lx = pair::x_of(&offset);
        ly = pair::y_of(&offset);
    }
    int32_t x = to_pixels(lx), y = to_pixels(ly), ox, oy;
    client_origin(window, &ox, &oy);
    if (code == OVER && (flags & F_AWAY)) {
        out->message = wm::MOUSELEAVE;
        out->x = x + ox;
        out->y = y + oy;
    }
    if (code == WHEEL) {
        x += ox;
        y += oy;
        Cell picked;
        if (detail::made_value(event, 3, &picked) && picked.is(TYPE_INTEGER))
            out->wparam += uint64_t(uint32_t(picked.as_int()) * 0x780000u);
    }
    if (out->message == wm::MOUSEMOVE || out->message == wm::LBUTTONUP) out->wparam |= mk::SYNTHETIC;
    out->lparam = (uint32_t(y) << 16) | (uint32_t(x) & 0xFFFF);
    return true;
}

namespace {

// The window of a made event's face: the handle! first in its `state` block.
uint32_t face_window(const Cell* event, Cell* face) {
    if (!detail::made_value(event, 0, face) || !face->is(TYPE_OBJECT)) return 0;
    const Cell* st = context::find_word_value(symbol::make("state"), face->data1);
    if (!st || !st->is(TYPE_BLOCK) || block::length_from_head(st) < 1) return 0;
    const Cell* first = block::cell_at(st, block::head_index(st));
    return first->is(TYPE_HANDLE) ? first->data2 : 0;
}

bool window_face_q(const Cell* face) {
    const uint32_t window = symbol::make("window");  // may allocate: before the field is read
    const Cell* type = context::find_word_value(sym::id(sym::type), face->data1);
    return type && type->is(TYPE_WORD) && symbol::canonical(type->data2) == symbol::canonical(window);
}

bool send_window_state(uint32_t code, uint32_t window, const Cell* face, bool post) {
    if (!window_face_q(face)) return false;
    const uint32_t style = g_layer.window_style ? g_layer.window_style(window) : 0;
    if ((code == MINIMIZE && !(style & WS_MINIMIZEBOX)) || (code == MAXIMIZE && !(style & WS_MAXIMIZEBOX)))
        return false;
    if (post) {
        Message msg;
        msg.window = window;
        msg.message = wm::WINDOW_STATE;
        msg.wparam = code;
        return g_layer.post_message && g_layer.post_message(msg);
    }
    if (!g_layer.window_state) return false;
    g_layer.window_state(window, code);
    return true;
}

struct ForcedFlags {
    int32_t saved = g_state.forced_flags;
    ~ForcedFlags() { g_state.forced_flags = saved; }
};

}  // namespace

bool send_event_os(const Cell* event, bool post) {
    if (!made_q(event)) return false;
    Cell face;
    const uint32_t window = face_window(event, &face);
    if (!window) return false;
    const uint32_t code = event->data1;
    if (code >= MINIMIZE && code <= RESTORE) return send_window_state(code, window, &face, post);
    Message msg;
    if (!message_for(event, window, &msg)) return false;
    // A synthetic move to the last position must not be dropped as a repeat.
    if (msg.message == wm::MOUSEMOVE) g_state.last_mouse_position = -1;
    if (post) return g_layer.post_message && g_layer.post_message(msg);
    if (!g_layer.dispatch_now) return false;
    ForcedFlags forced;
    if (code >= KEY && code <= KEY_UP) g_state.forced_flags = int32_t(event->data3 & FORCED_FLAG_MASK);
    g_layer.dispatch_now(msg);
    return true;
}

}  // namespace zun::event
