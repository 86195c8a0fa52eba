// The error box on the in-memory display: shown modal with the caption, the
// text and OK, ended by each of its ways out; without a display the text
// goes to standard error only.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/runtime.hpp"
#include "gui/error_box.hpp"
#include "platform/controls/controls.hpp"
#include "platform/dialogs/dialog_frame.hpp"
#include "platform/display_memory.hpp"

using namespace zun::win;

namespace {

struct Seen {
    std::string title, text, button;
    bool owner_enabled = true;
    int turns = 0;
};
Seen g_seen;
std::function<void(MemoryDisplay*, HWND)> g_input;
MemoryDisplay* g_display = nullptr;
HWND g_owner = 0;

void on_open(HWND box, int turn) {
    g_seen.turns = turn + 1;
    if (turn > 0) return;  // input only once: a second turn means it was ignored
    g_seen.title = GetWindowText(box);
    for (HWND c : EnumChildWindows(box)) {
        if (GetClassName(c) == WC_STATIC) g_seen.text = GetWindowText(c);
        if (GetClassName(c) == WC_BUTTON) g_seen.button = GetWindowText(c);
    }
    g_seen.owner_enabled = IsWindowEnabled(g_owner);
    g_input(g_display, box);
}

class ErrorBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<MemoryDisplay>();
        g_display = d.get();
        ASSERT_TRUE(open(std::move(d)));
        WNDCLASS wc;
        wc.lpfnWndProc = DefWindowProc;
        wc.lpszClassName = "BoxOwner";
        ASSERT_NE(RegisterClass(wc), 0);
        g_owner = CreateWindowEx(0, "BoxOwner", "app", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, 0);
        SetActiveWindow(g_owner);
        dialogs::set_open_hook(on_open);
        g_seen = {};
    }
    void TearDown() override {
        dialogs::set_open_hook(nullptr);
        close();
    }
};

// The OK button's centre in screen pixels.
POINT ok_centre(HWND box) {
    for (HWND c : EnumChildWindows(box))
        if (GetClassName(c) == WC_BUTTON) {
            RECT r;
            GetWindowRect(c, &r);
            return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        }
    return {-1, -1};
}

TEST_F(ErrorBoxTest, ShowsModalAndEndsEachWay) {
    struct Case {
        const char* name;
        std::function<void(MemoryDisplay*, HWND)> input;
        int turns;  // 1: ended by the input; 2: still open when input ran out
    };
    const Case cases[] = {
        {"OK clicked", [](MemoryDisplay* d, HWND b) { POINT p = ok_centre(b); d->click(p.x, p.y); }, 1},
        {"Enter", [](MemoryDisplay* d, HWND) { d->key("Return"); }, 1},
        {"Escape", [](MemoryDisplay* d, HWND) { d->key("Escape"); }, 1},
        {"close request", [](MemoryDisplay* d, HWND b) { d->close_request(b); }, 1},
        {"a letter does not end it", [](MemoryDisplay* d, HWND) { d->key("a"); }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_seen = {};
        g_input = c.input;
        EXPECT_TRUE(zun::gui::show_error_box("Zun NoName App", "*** Math Error: attempt to divide by zero"));
        EXPECT_EQ(g_seen.title, "Zun NoName App");
        EXPECT_EQ(g_seen.text, "*** Math Error: attempt to divide by zero");
        EXPECT_EQ(g_seen.button, "OK");
        EXPECT_FALSE(g_seen.owner_enabled);  // modal
        EXPECT_EQ(g_seen.turns, c.turns);
        EXPECT_TRUE(IsWindowEnabled(g_owner));
        EXPECT_EQ(GetActiveWindow(), g_owner);
        // no box is left behind
        EXPECT_EQ(EnumWindows().size(), 1u);
    }
}

TEST_F(ErrorBoxTest, LongTextFitsInsideTheBox) {
    g_input = [](MemoryDisplay*, HWND box) {
        RECT client, text;
        GetClientRect(box, &client);
        for (HWND c : EnumChildWindows(box)) {
            RECT r;
            GetWindowRect(c, &r);
            POINT o{0, 0};
            ClientToScreen(box, &o);
            EXPECT_GE(r.left - o.x, 0);
            EXPECT_LE(r.right - o.x, client.right);
            EXPECT_LE(r.bottom - o.y, client.bottom);
            if (GetClassName(c) == WC_STATIC) text = r;
        }
        // twenty lines need more room than one
        EXPECT_GT(text.height(), 16 * 20 - 1);
    };
    std::string text;
    for (int i = 0; i < 20; ++i) text += "*** near: [" + std::string(100, 'x') + "]\n";
    EXPECT_TRUE(zun::gui::show_error_box("Zun NoName App", text));
}

TEST(ErrorBoxNoDisplay, TextGoesToStandardError) {
    ASSERT_FALSE(is_open());
    testing::internal::CaptureStderr();
    zun::gui::error_message_box("Zun NoName App", "*** User Error: boom");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Zun NoName App\n*** User Error: boom\n");
    EXPECT_FALSE(zun::gui::show_error_box("Zun NoName App", "x"));
}

}  // namespace
