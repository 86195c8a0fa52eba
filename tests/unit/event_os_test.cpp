// OS events decoded from synthetic messages through a fake window layer, and
// made events turned back into messages by send-event-os.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "core/symbols.hpp"
#include "gui/event.hpp"
#include "gui/event_os.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;
using namespace zun::event;

namespace {

// What the fake window layer answers and what it was told.
struct Fake {
    std::set<uint32_t> keys_down;
    double scale = 1.0;
    int32_t origin_x = 0, origin_y = 0;
    int32_t pos_x = 0, pos_y = 0;
    bool pair_sized = false;
    int32_t track = 0;
    int bar = -1;
    bool has_gesture = false;
    Gesture gesture;
    int32_t list_item = -1;
    int32_t list_x = 0, list_y = 0;
    uint32_t event_window = 0;
    uint32_t style = 0;
    std::vector<Message> posted, dispatched;
    std::vector<uint32_t> states;
    int32_t forced_during_dispatch = -2;
};
Fake g_fake;

Cell global_value(const char* name) { return *word::get_value(word::make_global(name)); }

WindowLayer fake_layer() {
    WindowLayer l;
    l.event_window = [](const Message&) { return g_fake.event_window; };
    l.face_of = [](uint32_t window, Cell* out) {
        if (window != 7 && window != 9) return false;
        *out = global_value(window == 7 ? "f7" : "f9");
        return true;
    };
    l.root_owner = [](uint32_t window) { return window == 7 ? 9u : 0u; };
    l.client_origin = [](uint32_t, int32_t* x, int32_t* y) {
        *x = g_fake.origin_x;
        *y = g_fake.origin_y;
    };
    l.scale = [] { return g_fake.scale; };
    l.pair_sized = [](uint32_t) { return g_fake.pair_sized; };
    l.scroll_track_position = [](uint32_t, int bar) {
        g_fake.bar = bar;
        return g_fake.track;
    };
    l.message_pos = [](int32_t* x, int32_t* y) {
        *x = g_fake.pos_x;
        *y = g_fake.pos_y;
    };
    l.gesture_info = [](const Message&, Gesture* out) {
        *out = g_fake.gesture;
        return g_fake.has_gesture;
    };
    l.list_item_at = [](uint32_t, int32_t x, int32_t y) {
        g_fake.list_x = x;
        g_fake.list_y = y;
        return g_fake.list_item;
    };
    l.key_down = [](uint32_t key) { return g_fake.keys_down.count(key) > 0; };
    l.map_virtual_key = [](uint32_t code, uint32_t type) -> uint32_t {
        if (type == MAPVK_VSC_TO_VK_EX) return code == 0x36 ? vk::RSHIFT : code == 0x2A ? vk::LSHIFT : 0;
        if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9') || code == 0x0D || code == 0x20)
            return code;
        return 0;
    };
    l.vk_key_scan = [](uint32_t c) -> int32_t {
        if (c >= 'a' && c <= 'z') return int32_t(c - 0x20);
        if (c >= 'A' && c <= 'Z') return int32_t(c | 0x100);
        return -1;
    };
    l.window_style = [](uint32_t) { return g_fake.style; };
    l.post_message = [](const Message& m) {
        g_fake.posted.push_back(m);
        return true;
    };
    l.dispatch_now = [](const Message& m) {
        g_fake.forced_during_dispatch = state().forced_flags;
        g_fake.dispatched.push_back(m);
    };
    l.window_state = [](uint32_t, uint32_t code) { g_fake.states.push_back(code); };
    return l;
}

Message message(uint32_t id, uint64_t wparam = 0, uint64_t lparam = 0) {
    Message m;
    m.window = 7;
    m.message = id;
    m.wparam = wparam;
    m.lparam = lparam;
    return m;
}

uint64_t point(int16_t x, int16_t y) { return (uint64_t(uint16_t(y)) << 16) | uint16_t(x); }

class EventOs : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        g_fake = Fake{};
        reset_state();
        set_window_layer(fake_layer());
        run("f7: make object! [name: \"seven\"] f9: make object! [name: \"nine\"]");
    }
    void TearDown() override {
        set_window_layer(WindowLayer{});
        reset_state();
        EvalTest::TearDown();
    }

    // As gui/dispatch-event fills the cell; the event becomes the global ev.
    static bool dispatch(uint32_t type, const Message& m, uint32_t flags = 0) {
        std::optional<uint32_t> payload = payload_for(type, m, flags);
        if (!payload) return false;
        set_global("ev", *set_os_event(type, m, *payload));
        return true;
    }
    static void dispatch_raw(uint32_t type, const Message& m, uint32_t payload3) {
        set_global("ev", *set_os_event(type, m, payload3));
    }
    // Molded as text: characters above U+FFFF come out as UTF-8.
    static std::string read(const std::string& field) { return run_text("mold ev/" + field); }
};

TEST_F(EventOs, KeyMessagesInDispatchOrder) {
    struct Row {
        uint32_t type, message, wparam, lparam;
        std::set<uint32_t> keys;
        bool ime;
        int32_t forced;
        const char* key;    // nullptr: no event
        const char* flags;
    };
    const std::set<uint32_t> none, ctrl{vk::CONTROL}, shift{vk::SHIFT}, alt{vk::MENU};
    const Row rows[] = {
        // Enter: key-down and the character both carry 13
        {KEY_DOWN, wm::KEYDOWN, 0x0D, 0, none, false, -1, "#\"^M\"", "[]"},
        {KEY, wm::CHAR, 0x0D, 0, none, false, -1, "#\"^M\"", "[]"},
        // the left arrow: key-down, the key made from it, key-up
        {KEY_DOWN, wm::KEYDOWN, 0x25, 0, none, false, -1, "left", "[]"},
        {KEY, wm::KEYDOWN, 0x25, 0, none, false, -1, "left", "[]"},
        {KEY_UP, wm::KEYUP, 0x25, 0, none, false, -1, "left", "[]"},
        // Ctrl+A on the keyboard, then a lower-case letter with control
        {KEY_DOWN, wm::KEYDOWN, 'A', 0, ctrl, false, -1, "#\"A\"", "[control]"},
        {KEY, wm::CHAR, 0x01, 0, ctrl, false, -1, "#\"^A\"", "[control]"},
        {KEY, wm::CHAR, 'a', 0, ctrl, false, -1, "#\"^A\"", "[control]"},
        {KEY, wm::CHAR, 'z', 0, ctrl, false, -1, "#\"^Z\"", "[control]"},
        {KEY, wm::CHAR, '{', 0, ctrl, false, -1, "#\"{\"", "[control]"},
        // an emoji as a surrogate pair, then as one message: no flags
        {KEY, wm::CHAR, 0xD83D, 0, shift, false, -1, nullptr, ""},
        {KEY, wm::CHAR, 0xDE00, 0, shift, false, -1, "#\"😀\"", "[]"},
        {KEY, wm::CHAR, 0x1F600, 0, shift, false, -1, "#\"😀\"", "[]"},
        {KEY, wm::CHAR, 0x110000, 0, none, false, -1, nullptr, ""},
        // a second half alone is no character
        {KEY, wm::CHAR, 'x', 0, none, false, -1, "#\"x\"", "[]"},
        {KEY, wm::CHAR, 0xDE00, 0, none, false, -1, nullptr, ""},
        // the IME's own key-down makes no event
        {KEY_DOWN, wm::KEYDOWN, vk::PROCESSKEY, 0, none, false, -1, nullptr, ""},
        // left and right modifiers from the scan code and the extended bit
        {KEY_DOWN, wm::KEYDOWN, vk::SHIFT, 0x36 << 16, shift, false, -1, "right-shift", "[shift]"},
        {KEY_DOWN, wm::KEYDOWN, vk::SHIFT, 0x2A << 16, shift, false, -1, "left-shift", "[shift]"},
        {KEY_DOWN, wm::KEYDOWN, vk::CONTROL, 0x01000000, ctrl, false, -1, "right-control", "[control]"},
        {KEY_DOWN, wm::KEYDOWN, vk::CONTROL, 0, ctrl, false, -1, "left-control", "[control]"},
        {KEY_DOWN, wm::SYSKEYDOWN, vk::MENU, 0, alt, false, -1, "left-alt", "[alt]"},
        // after Alt the key is a character again
        {KEY, wm::KEYDOWN, 'a', 0, alt, false, -1, "#\"a\"", "[alt]"},
        {KEY_DOWN, wm::KEYDOWN, 0x7B, 0, none, false, -1, "F12", "[]"},
        // a key with no word: its code as a character, none for key
        {KEY_DOWN, wm::KEYDOWN, 0x2F, 0, none, false, -1, "#\"/\"", "[]"},
        {KEY, wm::KEYDOWN, 0x2F, 0, none, false, -1, "none", "[]"},
        // while an IME composes, key-down reports characters, key-up does not
        {KEY_DOWN, wm::KEYDOWN, 0x25, 0, none, true, -1, "#\"%\"", "[]"},
        {KEY_UP, wm::KEYUP, 0x25, 0, none, true, -1, "left", "[]"},
        // forced flags replace the keyboard's
        {KEY, wm::CHAR, 'b', 0, ctrl, false, int32_t(F_SHIFT), "#\"b\"", "[shift]"},
    };
    for (const Row& r : rows) {
        g_fake.keys_down = r.keys;
        state().ime_composing = r.ime;
        state().forced_flags = r.forced;
        // gui/pre-dispatch forgets the special key before a WM_CHAR
        if (r.message == wm::CHAR) state().last_key = -1;
        const std::string what = std::to_string(r.type) + " " + std::to_string(r.wparam);
        const bool sent = dispatch(r.type, message(r.message, r.wparam, r.lparam));
        ASSERT_EQ(sent, r.key != nullptr) << what;
        if (!sent) continue;
        EXPECT_EQ(read("key"), r.key) << what;
        EXPECT_EQ(read("flags"), r.flags) << what;
        EXPECT_EQ(read("type"), type_name(r.type)) << what;
    }
}

TEST_F(EventOs, OffsetsInLogicalUnits) {
    g_fake.scale = 1.5;
    g_fake.origin_x = 100;
    g_fake.origin_y = 200;
    g_fake.pos_x = 115;
    g_fake.pos_y = 215;
    g_fake.gesture = Gesture{0, 45, 60, 0};
    g_fake.has_gesture = true;
    state().menu_x = 30;
    state().menu_y = 15;
    struct Row {
        uint32_t type, message;
        uint64_t lparam;
        uint32_t flags;
        int32_t x, y;  // message point
        bool pair_sized;
        const char* offset;
    } rows[] = {
        {DOWN, wm::LBUTTONDOWN, point(30, 45), 0, 0, 0, false, "(20, 30)"},
        {UP, wm::LBUTTONUP, point(-15, 3), 0, 0, 0, false, "(-10, 2)"},
        {OVER, wm::MOUSELEAVE, point(1, 1), F_AWAY, 160, 260, false, "(40, 40)"},
        {WHEEL, wm::MOUSEWHEEL, point(130, 230), 0, 0, 0, false, "(20, 20)"},
        {WHEEL, wm::MOUSEWHEEL, point(-200, -100), 0, 0, 0, false, "(-200, -200)"},
        {KEY_DOWN, wm::KEYDOWN, 0, 0, 0, 0, false, "(10, 10)"},
        {RESIZE, 0x0005, point(301, 151), 0, 0, 0, true, "200x100"},
        {RESIZING, 0x0214, point(300, 150), 0, 0, 0, false, "(200, 100)"},
        {MOVE, 0x0003, point(-30, 60), 0, 0, 0, false, "(-20, 40)"},
        {ZOOM, 0x0119, 0, 0, 0, 0, false, "(30, 40)"},
        {MENU, 0x0111, 0, 0, 0, 0, false, "(20, 10)"},
        {FOCUS, 0x0007, point(30, 45), 0, 0, 0, false, "none"},
        {TIME, 0x0113, point(30, 45), 0, 0, 0, false, "none"},
    };
    for (const Row& r : rows) {
        g_fake.pair_sized = r.pair_sized;
        Message m = message(r.message, 0, r.lparam);
        m.x = r.x;
        m.y = r.y;
        dispatch_raw(r.type, m, r.flags);
        EXPECT_EQ(read("offset"), r.offset) << type_name(r.type);
    }
}

TEST_F(EventOs, PickedKeyAndOrientationByType) {
    g_fake.track = 42;
    state().composition = "かな";
    const uint32_t open_id = symbol::make("open");
    struct Row {
        uint32_t type, message;
        uint64_t wparam;
        uint32_t payload3;
        const char *picked, *key, *orientation;
    } rows[] = {
        {WHEEL, wm::MOUSEWHEEL, 120u << 16, 0, "1.0", "wheel", "none"},
        {WHEEL, wm::MOUSEWHEEL, uint64_t(uint16_t(-240)) << 16, 0, "-2.0", "wheel", "none"},
        // the wrap-around of far deltas
        {WHEEL, wm::MOUSEWHEEL, 24120u << 16, 0, "-55.0", "wheel", "none"},
        {WHEEL, wm::MOUSEWHEEL, uint64_t(uint16_t(-24120)) << 16, 0, "55.0", "wheel", "none"},
        {WHEEL, wm::MOUSEWHEEL, 24000u << 16, 0, "200.0", "wheel", "none"},
        {SCROLL, wm::VSCROLL, 2, 0, "42", "page-up", "vertical"},
        {SCROLL, wm::VSCROLL, 1, 0, "42", "down", "vertical"},
        {SCROLL, wm::HSCROLL, 3, 0, "42", "page-right", "horizontal"},
        {SCROLL, wm::HSCROLL, 5, 0, "42", "track", "horizontal"},
        {SCROLL, wm::HSCROLL, 8, 0, "42", "end", "horizontal"},
        {MENU, 0x0111, 0, open_id, "open", "none", "none"},
        {MENU, 0x0111, 0, 0xFFFFFFFF, "none", "none", "none"},
        {SELECT, 0x0111, 0, 5, "5", "none", "none"},
        {CHANGE, 0x0111, 0, 0xFFFF, "-1", "none", "none"},
        {DOWN, wm::LBUTTONDOWN, 0, 0, "none", "none", "none"},
        {IME, 0x010F, 0, 0, "\"かな\"", "none", "none"},
    };
    for (const Row& r : rows) {
        dispatch_raw(r.type, message(r.message, r.wparam), r.payload3);
        const std::string what = std::string(type_name(r.type)) + " " + std::to_string(r.wparam);
        EXPECT_EQ(read("picked"), r.picked) << what;
        EXPECT_EQ(read("key"), r.key) << what;
        EXPECT_EQ(read("orientation"), r.orientation) << what;
        if (r.type == SCROLL) {
            EXPECT_EQ(g_fake.bar, r.message == wm::VSCROLL ? SB_VERT : SB_HORZ);
        }
    }
}

TEST_F(EventOs, GesturesAndListItems) {
    g_fake.has_gesture = true;
    struct Row {
        uint32_t type, flags;
        uint64_t argument;
        const char* picked;
    } rows[] = {
        {ZOOM, GF_BEGIN, 100, "none"}, {ZOOM, 0, 150, "150%"}, {ZOOM, 0, 75, "50%"},
        {PAN, 0, 12, "12"},           {ROTATE, 0, 3, "3"},     {PRESS_TAP, 0, 0, "0"},
    };
    for (const Row& r : rows) {
        g_fake.gesture = Gesture{r.flags, 0, 0, r.argument};
        dispatch_raw(r.type, message(0x0119), 0);
        EXPECT_EQ(read("picked"), r.picked) << type_name(r.type) << " " << r.argument;
    }
    // The list item under a press, 1-based, looked up by its screen point.
    g_fake.origin_x = 10;
    g_fake.origin_y = 20;
    g_fake.list_item = 2;
    dispatch_raw(DBL_CLICK, message(wm::LBUTTONDBLCLK, 0, point(5, 6)), 0);
    EXPECT_EQ(read("picked"), "3");
    EXPECT_EQ(g_fake.list_x, 15);
    EXPECT_EQ(g_fake.list_y, 26);
}

TEST_F(EventOs, FaceWindowAndFlags) {
    dispatch_raw(DOWN, message(wm::LBUTTONDOWN), F_DOWN | F_SHIFT | F_AWAY);
    EXPECT_EQ(read("face"), "none");  // no window of the event has a face
    EXPECT_EQ(read("window"), "none");
    g_fake.event_window = 7;
    EXPECT_EQ(read("face/name"), "\"seven\"");
    EXPECT_EQ(read("window/name"), "\"nine\"");
    EXPECT_EQ(read("flags"), "[away down shift]");
    EXPECT_EQ(run("reduce [ev/away? ev/down? ev/shift? ev/ctrl? ev/alt-down?]"),
              "[true true true false false]");
    // A menu event's payload is an item id, not flags.
    dispatch_raw(MENU, message(0x0111), F_DOWN | F_SHIFT);
    EXPECT_EQ(run("reduce [ev/flags ev/down? ev/shift?]"), "[[] false false]");
}

TEST_F(EventOs, AKeptEventOutlivesItsMessage) {
    dispatch_raw(DOWN, message(wm::LBUTTONDOWN, 0, point(3, 4)), F_DOWN);
    run("kept: ev");
    EXPECT_EQ(run("kept/offset"), "(3, 4)");
    for (uint32_t i = 0; i < MESSAGE_RING; i++) dispatch_raw(UP, message(wm::LBUTTONUP), 0);
    // Its payload still answers; what came from the message does not.
    EXPECT_EQ(run("reduce [kept/type kept/offset kept/down?]"), "[down none true]");
}

TEST_F(EventOs, FlagFunctions) {
    EXPECT_EQ(mouse_key_flags(mk::LBUTTON | mk::SHIFT), uint32_t(F_DOWN | F_SHIFT));
    EXPECT_EQ(mouse_key_flags(mk::RBUTTON | mk::CONTROL | mk::MBUTTON),
              uint32_t(F_ALT_DOWN | F_CONTROL | F_MID_DOWN));
    EXPECT_EQ(mouse_key_flags(mk::XBUTTON2), uint32_t(F_AUX_DOWN));
    g_fake.keys_down = {vk::CONTROL, vk::MENU, vk::LBUTTON, vk::XBUTTON1};
    EXPECT_EQ(key_state_flags(false), uint32_t(F_CONTROL | F_ALT));
    EXPECT_EQ(key_state_flags(true), uint32_t(F_CONTROL | F_ALT | F_DOWN | F_AUX_DOWN));
    // Button events add the keyboard's state to the message's; click only modifiers.
    EXPECT_EQ(*payload_for(DOWN, message(wm::LBUTTONDOWN), F_SHIFT),
              uint32_t(F_SHIFT | F_CONTROL | F_ALT | F_DOWN | F_AUX_DOWN));
    EXPECT_EQ(*payload_for(CLICK, message(0x0111), F_SHIFT), uint32_t(F_CONTROL | F_ALT));
    EXPECT_EQ(*payload_for(OVER, message(wm::MOUSEMOVE), F_AWAY), uint32_t(F_AWAY));
    EXPECT_EQ(*payload_for(SELECT, message(0x0111), 0), 1u);
    EXPECT_EQ(*payload_for(FOCUS, message(0x0007), F_SHIFT), 0u);
    for (uint32_t k : {0x08u, 0x09u, 0x0Du, 0x1Bu, 0x20u, 0x30u, 0x5Au, 0x6Bu, 0x6Du, 0xC0u, 0xDBu,
                       0xE2u, 0xF5u})
        EXPECT_TRUE(char_key_q(k)) << k;
    for (uint32_t k : {0x07u, 0x0Au, 0x21u, 0x2Eu, 0x5Bu, 0x6Cu, 0x70u, 0xA0u, 0xC1u, 0xE5u, 0xF6u})
        EXPECT_FALSE(char_key_q(k)) << k;
}

// A face whose state block starts with the handle! of window 7.
class SendEvent : public EventOs {
protected:
    void SetUp() override {
        EventOs::SetUp();
        run("wf: make object! [type: 'window state: [0] name: \"w\"]"
            " bf: make object! [type: 'base state: [0] name: \"b\"]");
        for (const char* name : {"wf", "bf"}) {
            Cell face = global_value(name);
            Cell* st = context::find_word_value(symbol::make("state"), face.data1);
            *block::cell_at(st, 0) = make_cell(TYPE_HANDLE, 0, 7, 0xFFFFFFFF);
        }
    }
    static bool send(const std::string& spec, bool post) {
        run(("e: make event! [" + spec + "]").c_str());
        Cell e = global_value("e");
        return send_event_os(&e, post);
    }
};

TEST_F(SendEvent, InputEventsBecomeMessages) {
    g_fake.scale = 1.5;
    g_fake.origin_x = 100;
    g_fake.origin_y = 200;
    struct Row {
        const char* spec;
        uint32_t message;
        uint64_t wparam, lparam;
        int32_t x, y;
    } rows[] = {
        {"type: 'down offset: 10x20 flags: [shift]", wm::LBUTTONDOWN, mk::LBUTTON | mk::SHIFT, point(15, 30), 0, 0},
        {"type: 'up offset: (1.5, 2.5) flags: [control alt-down]", wm::LBUTTONUP,
         mk::SYNTHETIC | mk::CONTROL | mk::RBUTTON, point(2, 4), 0, 0},
        {"type: 'aux-down flags: [mid-down aux-down]", wm::XBUTTONDOWN, 0x10020 | mk::MBUTTON, 0, 0, 0},
        {"type: 'aux-up", wm::XBUTTONUP, 0x10000, 0, 0, 0},
        {"type: 'alt-down offset: -2x-4", wm::RBUTTONDOWN, mk::RBUTTON, point(-2, -5), 0, 0},
        {"type: 'dbl-click", wm::LBUTTONDBLCLK, mk::LBUTTON, 0, 0, 0},
        {"type: 'over offset: 2x2", wm::MOUSEMOVE, mk::SYNTHETIC, point(3, 3), 0, 0},
        {"type: 'over offset: 2x2 flags: [away]", wm::MOUSELEAVE, 0, point(3, 3), 103, 203},
        {"type: 'wheel offset: 2x2 picked: -2", wm::MOUSEWHEEL, uint64_t(uint32_t(-2) * 0x780000u),
         point(103, 203), 0, 0},
        {"type: 'key key: #\"a\"", wm::CHAR, 'a', 0, 0, 0},
        {"type: 'key-down key: #\"a\"", wm::KEYDOWN, 'A', 0, 0, 0},
        {"type: 'key-up key: #\"B\"", wm::KEYUP, 'B', 0, 0, 0},
    };
    for (const Row& r : rows) {
        g_fake.dispatched.clear();
        ASSERT_TRUE(send(std::string(r.spec) + " face: bf", false)) << r.spec;
        ASSERT_EQ(g_fake.dispatched.size(), 1u) << r.spec;
        const Message& m = g_fake.dispatched[0];
        EXPECT_EQ(m.window, 7u) << r.spec;
        EXPECT_EQ(m.message, r.message) << r.spec;
        EXPECT_EQ(m.wparam, r.wparam) << r.spec;
        EXPECT_EQ(m.lparam & 0xFFFFFFFF, r.lparam) << r.spec;
        EXPECT_EQ(m.x, r.x) << r.spec;
        EXPECT_EQ(m.y, r.y) << r.spec;
    }
    // Types with no message, events without a live face.
    for (const char* spec : {"type: 'click face: bf", "type: 'focus face: bf", "face: bf",
                             "type: 'down", "type: 'down face: f7"})
        EXPECT_FALSE(send(spec, false)) << spec;
    EXPECT_FALSE(send_event_os(event_cell(), false));
}

TEST_F(SendEvent, KeyFlagsAreForcedWhileDispatching) {
    state().forced_flags = -1;
    ASSERT_TRUE(send("type: 'key key: #\"a\" flags: [control shift command] face: bf", false));
    EXPECT_EQ(g_fake.forced_during_dispatch, int32_t(F_CONTROL | F_SHIFT));
    EXPECT_EQ(state().forced_flags, -1);
    ASSERT_TRUE(send("type: 'down flags: [control] face: bf", false));
    EXPECT_EQ(g_fake.forced_during_dispatch, -1);
    // The control code comes out of the forced flags as from the keyboard.
    state().forced_flags = int32_t(F_CONTROL);
    state().last_key = -1;
    ASSERT_TRUE(dispatch(KEY, g_fake.dispatched[0]));
    EXPECT_EQ(read("key"), "#\"^A\"");
}

TEST_F(SendEvent, PostingAndWindowStates) {
    ASSERT_TRUE(send("type: 'down face: bf", true));
    ASSERT_EQ(g_fake.posted.size(), 1u);
    EXPECT_EQ(g_fake.posted[0].message, wm::LBUTTONDOWN);
    EXPECT_TRUE(g_fake.dispatched.empty());
    // minimize and maximize need their boxes; restore does not; only windows
    g_fake.posted.clear();
    EXPECT_FALSE(send("type: 'minimize face: wf", false));
    EXPECT_FALSE(send("type: 'maximize face: wf", true));
    EXPECT_FALSE(send("type: 'restore face: bf", false));
    EXPECT_TRUE(send("type: 'restore face: wf", false));
    g_fake.style = WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_TRUE(send("type: 'minimize face: wf", false));
    EXPECT_TRUE(send("type: 'maximize face: wf", true));
    EXPECT_EQ(g_fake.states, (std::vector<uint32_t>{RESTORE, MINIMIZE}));
    ASSERT_EQ(g_fake.posted.size(), 1u);
    EXPECT_EQ(g_fake.posted[0].message, wm::WINDOW_STATE);
    EXPECT_EQ(g_fake.posted[0].wparam, uint64_t(MAXIMIZE));
    // Without a window layer nothing is delivered.
    set_window_layer(WindowLayer{});
    EXPECT_FALSE(send("type: 'down face: bf", false));
    EXPECT_FALSE(send("type: 'down face: bf", true));
}

}  // namespace
