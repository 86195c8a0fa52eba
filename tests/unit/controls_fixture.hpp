// A parent window on the in-memory display recording what its controls send.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/controls/control_draw.hpp"
#include "platform/display_memory.hpp"

namespace controls_test {

using namespace zun::win;

struct Note {
    UINT msg;     // WM_COMMAND, WM_NOTIFY, WM_HSCROLL or WM_VSCROLL
    UINT code;    // the notification or scroll code
    uint32_t id;  // the control's id (a scroll's position)
    HWND from;
    bool operator==(const Note&) const = default;
};

inline std::vector<Note> g_notes;
// NM_CUSTOMDRAW comes at every paint: recorded only when a test asks.
inline bool g_record_custom_draw = false;
// The parent's own answer to a message; false falls to DefWindowProc.
inline std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> g_parent_handler;

inline LRESULT CALLBACK_parent(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_COMMAND)
        g_notes.push_back({m, static_cast<UINT>(w >> 16), static_cast<uint32_t>(w & 0xFFFF), static_cast<HWND>(l)});
    if (m == WM_HSCROLL || m == WM_VSCROLL)
        g_notes.push_back({m, static_cast<UINT>(w & 0xFFFF), static_cast<uint32_t>(w >> 16), static_cast<HWND>(l)});
    if (m == WM_NOTIFY) {
        auto* hdr = reinterpret_cast<const NMHDR*>(l);
        if (hdr->code != NM_CUSTOMDRAW || g_record_custom_draw)
            g_notes.push_back({m, hdr->code, static_cast<uint32_t>(hdr->idFrom), hdr->hwndFrom});
    }
    LRESULT r = 0;
    if (g_parent_handler && g_parent_handler(h, m, w, l, &r)) return r;
    return DefWindowProc(h, m, w, l);
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<MemoryDisplay>();
        m_display = d.get();
        ASSERT_TRUE(open(std::move(d)));
        register_system_controls();
        WNDCLASS wc;
        wc.lpfnWndProc = CALLBACK_parent;
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.lpszClassName = "CtlParent";
        ASSERT_NE(RegisterClass(wc), 0);
        g_notes.clear();
        g_parent_handler = nullptr;
        g_record_custom_draw = false;
        m_top = CreateWindowEx(0, "CtlParent", "top", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, 0);
        ASSERT_NE(m_top, 0u);
    }
    void TearDown() override {
        g_parent_handler = nullptr;
        close();
    }
    HWND make(const char* cls, std::string_view text, uint32_t style, int x, int y, int w, int h, uint32_t id = 1,
              uint32_t ex = 0) {
        return CreateWindowEx(ex, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, m_top, id);
    }
    // Runs the loop until the queued input is used up and nothing is pending
    // (a focused EDIT's blink timer would keep a blocking loop alive).
    void pump() {
        MSG m;
        for (int guard = 0; guard < 100000; ++guard) {
            while (PeekMessage(&m)) {
                TranslateMessage(&m);
                DispatchMessage(&m);
            }
            if (!m_display->queued()) break;
            if (GetMessage(&m) <= 0) break;
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
        flush_display();
    }
    // Clicks at a point of the parent's client area and runs the loop.
    void click(int x, int y) {
        m_display->click(x, y);
        pump();
    }
    std::vector<UINT> codes() const {
        std::vector<UINT> out;
        for (const Note& n : g_notes) out.push_back(n.code);
        return out;
    }
    // The shown pixel (0xRRGGBB) at a point of the parent's client area.
    uint32_t pixel(int x, int y) {
        pump();
        return m_display->pixel(m_top, x, y) & 0xFFFFFF;
    }
    // A COLORREF (0xBBGGRR) as pixel() shows it (0xRRGGBB).
    static uint32_t shown(COLORREF c) { return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
    static int darkness(uint32_t p) { return 765 - (((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF)); }
    // The darkest pixel in a rectangle (0 white .. 765 black).
    int darkest(RECT r) {
        pump();
        int best = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) best = std::max(best, darkness(m_display->pixel(m_top, x, y) & 0xFFFFFF));
        return best;
    }
    // Pixels in r darker than half.
    int ink(RECT r) {
        pump();
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) n += darkness(m_display->pixel(m_top, x, y) & 0xFFFFFF) > 382;
        return n;
    }
    MemoryDisplay* m_display = nullptr;
    HWND m_top = 0;
};

}  // namespace controls_test
