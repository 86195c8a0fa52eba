#include "platform/window.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "platform/display_memory.hpp"

using namespace zun::win;

namespace {

struct Seen {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> g_seen;
// The test's own handling; answering false falls to DefWindowProc.
std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> g_handler;
// Colour each window paints its client with (ARGB, not premultiplied).
std::map<HWND, uint32_t> g_paint_colour;
std::map<HWND, int> g_paints;
std::vector<UINT> g_watch;  // messages to record; empty records all

LRESULT CALLBACK_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (g_watch.empty() || std::find(g_watch.begin(), g_watch.end(), m) != g_watch.end())
        g_seen.push_back({h, m, w, l});
    LRESULT r = 0;
    if (g_handler && g_handler(h, m, w, l, &r)) return r;
    if (m == WM_PAINT && g_paint_colour.count(h)) {
        ++g_paints[h];
        PAINTSTRUCT ps;
        cairo_t* cr = BeginPaint(h, &ps);
        uint32_t c = g_paint_colour[h];
        cairo_set_source_rgba(cr, ((c >> 16) & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                              (c >> 24) / 255.0);
        cairo_paint(cr);
        EndPaint(h, &ps);
        return 0;
    }
    return DefWindowProc(h, m, w, l);
}

class WindowLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto d = std::make_unique<MemoryDisplay>();
        m_display = d.get();
        ASSERT_TRUE(open(std::move(d)));
        WNDCLASS wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = CALLBACK_proc;
        wc.cbWndExtra = 80;
        wc.hCursor = IDC_ARROW;
        wc.lpszClassName = "Test";
        ASSERT_NE(RegisterClass(wc), 0);
        wc.style = 0;
        wc.lpszClassName = "Plain";
        wc.hCursor = IDC_IBEAM;
        ASSERT_NE(RegisterClass(wc), 0);
        g_seen.clear();
        g_handler = nullptr;
        g_paint_colour.clear();
        g_paints.clear();
        g_watch.clear();
    }
    void TearDown() override {
        g_handler = nullptr;
        close();
    }
    HWND top(int x, int y, int w, int h, uint32_t style = WS_OVERLAPPEDWINDOW | WS_VISIBLE, uint32_t ex = 0) {
        return CreateWindowEx(ex, "Test", "top", style, x, y, w, h, 0);
    }
    HWND child(HWND parent, int x, int y, int w, int h, const char* cls = "Test", uint32_t ex = 0) {
        return CreateWindowEx(ex, cls, "", WS_CHILD | WS_VISIBLE, x, y, w, h, parent);
    }
    // Runs a blocking loop to its end (a quit, or nothing left).
    static int run_loop() {
        MSG m;
        int n = 0;
        while (GetMessage(&m) > 0) {
            TranslateMessage(&m);
            DispatchMessage(&m);
            ++n;
        }
        return n;
    }
    std::vector<Seen> seen_of(std::initializer_list<UINT> msgs) {
        std::vector<Seen> out;
        for (const Seen& s : g_seen)
            if (std::find(msgs.begin(), msgs.end(), s.msg) != msgs.end()) out.push_back(s);
        return out;
    }
    std::vector<UINT> msgs_of(HWND h, std::initializer_list<UINT> msgs) {
        std::vector<UINT> out;
        for (const Seen& s : seen_of(msgs))
            if (!h || s.hwnd == h) out.push_back(s.msg);
        return out;
    }
    MemoryDisplay* m_display = nullptr;
};

// ---- handles and the model ----------------------------------------------------

TEST_F(WindowLayerTest, HandlesLongsAndTree) {
    HWND t = top(0, 0, 300, 200);
    HWND c = child(t, 10, 10, 50, 50);
    ASSERT_TRUE(IsWindow(c));
    EXPECT_EQ(GetParent(c), t);
    EXPECT_EQ(GetAncestor(c, GA_ROOT), t);
    EXPECT_TRUE(IsChild(t, c));
    // 20 longs by byte index; beyond the class's extra bytes nothing.
    for (int i = 0; i < 80; i += 4) SetWindowLong(c, i, i * 3);
    for (int i = 0; i < 80; i += 4) EXPECT_EQ(GetWindowLong(c, i), i * 3);
    EXPECT_EQ(SetWindowLong(c, 60, 7), 180);
    EXPECT_EQ(GetWindowLong(c, 80), 0);
    EXPECT_EQ(GetWindowLong(c, 2), 0);
    RECT r;
    GetWindowRect(c, &r);
    EXPECT_EQ(r, (RECT{10, 10, 60, 60}));
    POINT p{5, 5};
    ClientToScreen(c, &p);
    EXPECT_EQ(p, (POINT{15, 15}));
    EXPECT_EQ(GetClassName(c), "Test");
    EXPECT_FALSE(UnregisterClass("Test"));  // still in use
    DestroyWindow(t);
    EXPECT_FALSE(IsWindow(c));
    EXPECT_FALSE(IsWindow(t));
    // A new window in the old slot gets a new generation: the stale handle stays dead.
    HWND again = top(0, 0, 10, 10);
    EXPECT_NE(again, t);
    EXPECT_FALSE(IsWindow(t));
    EXPECT_EQ(GetWindowLong(t, GWL_STYLE), 0);
    // Destruction order: the window, then its children; WM_NCDESTROY after them.
    HWND k = child(again, 0, 0, 5, 5);
    g_watch = {WM_DESTROY, WM_NCDESTROY};
    g_seen.clear();
    DestroyWindow(again);
    EXPECT_EQ(g_seen, (std::vector<Seen>{{again, WM_DESTROY, 0, 0}, {k, WM_DESTROY, 0, 0},
                                         {k, WM_NCDESTROY, 0, 0}, {again, WM_NCDESTROY, 0, 0}}));
}

TEST_F(WindowLayerTest, WindowsFromPointsAndTextLength) {
    HWND t = top(100, 100, 300, 200);
    HWND c = child(t, 10, 10, 50, 50);
    HWND hidden = child(t, 100, 10, 50, 50);
    ShowWindow(hidden, SW_HIDE);
    struct Case {
        POINT screen;
        HWND window;
    };
    for (const Case& k : {Case{{115, 115}, c}, Case{{105, 105}, t}, Case{{205, 115}, t}, Case{{50, 50}, 0}})
        EXPECT_EQ(WindowFromPoint(k.screen), k.window) << k.screen.x << "," << k.screen.y;
    struct ChildCase {
        POINT client;
        HWND window;
    };
    for (const ChildCase& k : {ChildCase{{15, 15}, c}, ChildCase{{5, 5}, t}, ChildCase{{105, 15}, t},
                               ChildCase{{-1, 5}, 0}, ChildCase{{400, 5}, 0}})
        EXPECT_EQ(ChildWindowFromPoint(t, k.client), k.window) << k.client.x << "," << k.client.y;
    SetWindowText(t, "h\u00e9");
    EXPECT_EQ(SendMessage(t, 0x000E /* WM_GETTEXTLENGTH */, 0, 0), 3);  // UTF-8 bytes
}

TEST_F(WindowLayerTest, SuperclassChainsThroughCallWindowProc) {
    static WNDPROC base = nullptr;
    static std::vector<UINT> filtered;
    WNDCLASS wc;
    ASSERT_TRUE(GetClassInfo("test", &wc));  // names compare without case
    base = wc.lpfnWndProc;
    wc.lpszClassName = "Filtered";
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        filtered.push_back(m);
        if (m == WM_USER + 7) return 42;
        return CallWindowProc(base, h, m, w, l);
    };
    ASSERT_NE(RegisterClass(wc), 0);
    HWND f = CreateWindowEx(0, "Filtered", "", WS_OVERLAPPED, 0, 0, 10, 10, 0);
    ASSERT_TRUE(f);
    g_seen.clear();
    EXPECT_EQ(SendMessage(f, WM_USER + 7, 0, 0), 42);
    EXPECT_EQ(SendMessage(f, WM_USER + 8, 1, 2), 0);
    EXPECT_EQ(g_seen, (std::vector<Seen>{{f, WM_USER + 8, 1, 2}}));
    EXPECT_EQ(filtered.back(), WM_USER + 8u);
    // The default procedure: WM_CLOSE destroys, the text round-trips.
    SetWindowText(f, "héllo");
    EXPECT_EQ(GetWindowText(f), "héllo");
    SendMessage(f, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(f));
}

// ---- the queue ------------------------------------------------------------------

TEST_F(WindowLayerTest, MessageOrder) {
    HWND t = top(0, 0, 100, 100);
    SetFocus(t);
    run_loop();  // first paint and creation messages
    g_seen.clear();
    PostMessage(t, WM_USER + 1, 0, 0);
    m_display->key("x");
    PostMessage(t, WM_USER + 2, 0, 0);
    InvalidateRect(t, nullptr, false);
    SetTimer(t, 5, 10, nullptr);
    m_display->tick(20);
    PostQuitMessage(3);
    std::vector<UINT> order;
    MSG m;
    while (PeekMessage(&m)) {
        order.push_back(m.message);
        if (m.message == WM_QUIT) {
            EXPECT_EQ(m.wParam, 3u);
        }
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    // Posted first, then the input in arrival order (TranslateMessage's
    // WM_CHAR right after its key), the quit, paint, the timer.
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_QUIT,
                                        WM_PAINT, WM_TIMER}));
    // A filter takes only its range and leaves the rest.
    PostMessage(t, WM_USER + 3, 0, 0);
    PostMessage(t, WM_USER + 4, 0, 0);
    ASSERT_TRUE(PeekMessage(&m, 0, WM_USER + 4, WM_USER + 4));
    EXPECT_EQ(m.message, WM_USER + 4u);
    ASSERT_TRUE(PeekMessage(&m, 0, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, WM_USER + 3u);
    ASSERT_TRUE(PeekMessage(&m));
    EXPECT_EQ(m.message, WM_USER + 3u);
    // Sent messages run at once, before anything queued.
    EXPECT_EQ(SendMessage(t, WM_USER + 5, 0, 0), 0);
    EXPECT_EQ(g_seen.back().msg, WM_USER + 5u);
    // Posting to a dead window fails; what was posted to it goes with it.
    HWND dead = top(0, 0, 1, 1);
    PostMessage(dead, WM_USER + 6, 0, 0);
    DestroyWindow(dead);
    EXPECT_FALSE(PostMessage(dead, WM_USER, 0, 0));
    while (PeekMessage(&m)) EXPECT_NE(m.message, WM_USER + 6u);
}

TEST_F(WindowLayerTest, NestedLoopsAndQuits) {
    HWND t = top(0, 0, 100, 100);
    std::vector<std::pair<UINT, int>> log;
    int depth = 0;
    g_handler = [&](HWND h, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m < WM_USER) return false;
        log.push_back({m, depth});
        if (m == WM_USER + 1) {  // a modal loop inside the outer one
            ++depth;
            PostMessage(h, WM_USER + 2, 0, 0);
            run_loop();
            --depth;
        }
        if (m == WM_USER + 2) PostQuitMessage(0);
        return true;
    };
    PostMessage(t, WM_USER + 1, 0, 0);
    PostMessage(t, WM_USER + 3, 0, 0);
    uint32_t idle_before = idle_exits();
    run_loop();
    // USER+3 was queued before the quit, so the inner loop takes it; the quit
    // then ends the inner loop only, and the outer ends when nothing is left.
    EXPECT_EQ(log, (std::vector<std::pair<UINT, int>>{{WM_USER + 1, 0}, {WM_USER + 3, 1}, {WM_USER + 2, 1}}));
    EXPECT_EQ(idle_exits(), idle_before + 1);

    // Two quits for two loops; a third loop then ends idle.
    log.clear();
    g_handler = [&](HWND h, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m < WM_USER) return false;
        log.push_back({m, depth});
        if (m == WM_USER + 1) {
            ++depth;
            PostMessage(h, WM_USER + 2, 0, 0);
            run_loop();
            --depth;
            PostQuitMessage(0);  // as the last window's close passes the quit outward
        }
        if (m == WM_USER + 2) PostQuitMessage(0);
        return true;
    };
    PostMessage(t, WM_USER + 1, 0, 0);
    idle_before = idle_exits();
    run_loop();
    EXPECT_EQ(log, (std::vector<std::pair<UINT, int>>{{WM_USER + 1, 0}, {WM_USER + 2, 1}}));
    EXPECT_EQ(idle_exits(), idle_before);
}

TEST_F(WindowLayerTest, PostFromAnotherThreadWakesTheLoop) {
    HWND t = top(0, 0, 100, 100);
    std::atomic<int> got{0};
    g_handler = [&](HWND, UINT m, WPARAM w, LPARAM, LRESULT*) {
        if (m == WM_USER + 9) {
            ++got;
            if (w == 999) PostQuitMessage(0);
            return true;
        }
        return false;
    };
    // A timer keeps the loop alive until the last frame arrives.
    SetTimer(t, 1, 5, nullptr);
    std::thread poster([t] {
        for (int i = 0; i < 1000; ++i) PostMessage(t, WM_USER + 9, i, 0);
    });
    run_loop();
    poster.join();
    EXPECT_EQ(got.load(), 1000);
}

// ---- timers -----------------------------------------------------------------------

TEST_F(WindowLayerTest, TimersOnTheVirtualClock) {
    HWND t = top(0, 0, 100, 100);
    run_loop();
    struct Case {
        const char* what;
        std::function<void()> setup;
        std::vector<uint64_t> ticks;  // ms after the start
    };
    uint64_t start = 0;
    std::vector<uint64_t> ticks;
    size_t stop_after = 3;
    g_handler = [&](HWND h, UINT m, WPARAM id, LPARAM, LRESULT*) {
        if (m != WM_TIMER) return false;
        ticks.push_back(now_ms() - start);
        if (ticks.size() == stop_after) KillTimer(h, id);
        return true;
    };
    std::vector<Case> cases = {
        {"one timer", [&] { SetTimer(t, 1, 100, nullptr); }, {100, 200, 300}},
        {"a new rate replaces the old", [&] {
             SetTimer(t, 1, 100, nullptr);
             SetTimer(t, 1, 250, nullptr);
         }, {250, 500, 750}},
        {"killed before it ticks", [&] {
             SetTimer(t, 2, 100, nullptr);
             KillTimer(t, 2);
         }, {}},
    };
    for (Case& c : cases) {
        ticks.clear();
        start = now_ms();
        c.setup();
        run_loop();
        EXPECT_EQ(ticks, c.ticks) << c.what;
    }
    // Late ticks coalesce: the clock jumps a second, one WM_TIMER comes.
    SetTimer(t, 3, 100, nullptr);
    m_display->tick(1000);
    int timers = 0;
    MSG m;
    while (PeekMessage(&m)) timers += m.message == WM_TIMER;
    EXPECT_EQ(timers, 1);
    KillTimer(t, 3);
    // A timer procedure is called by DispatchMessage.
    static int proc_calls = 0;
    uintptr_t id = SetTimer(0, 0, 50, [](HWND, UINT, uintptr_t tid, uint32_t) {
        if (++proc_calls == 2) KillTimer(0, tid);
    });
    EXPECT_NE(id, 0u);
    run_loop();
    EXPECT_EQ(proc_calls, 2);
}

// ---- pointer --------------------------------------------------------------------

TEST_F(WindowLayerTest, CaptureOutsideTheTopLevel) {
    HWND t = top(100, 100, 200, 100);
    run_loop();
    g_handler = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT* r) {
        if (m == WM_LBUTTONDOWN) SetCapture(h);
        if (m == WM_LBUTTONUP) ReleaseCapture();
        *r = 0;
        return m == WM_LBUTTONDOWN || m == WM_LBUTTONUP;
    };
    g_seen.clear();
    m_display->move(150, 150);
    m_display->press(1);
    m_display->move(50, 20);    // left of and above the window
    m_display->move(700, 500);  // right of and below it
    m_display->release(1);
    m_display->move(710, 510);  // no capture: nothing
    run_loop();
    auto pt = [](LPARAM l) { return POINT{int16_t(l & 0xFFFF), int16_t((l >> 16) & 0xFFFF)}; };
    auto got = seen_of({WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP});
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[1].msg, WM_LBUTTONDOWN);
    EXPECT_EQ(pt(got[1].lp), (POINT{50, 50}));
    EXPECT_EQ(got[1].wp & MK_LBUTTON, MK_LBUTTON);
    EXPECT_EQ(pt(got[2].lp), (POINT{-50, -80}));
    EXPECT_EQ(pt(got[3].lp), (POINT{600, 400}));
    EXPECT_EQ(got[4].msg, WM_LBUTTONUP);
    EXPECT_EQ(got[4].wp & MK_LBUTTON, 0u);
    EXPECT_EQ(GetCapture(), 0u);
    EXPECT_EQ(m_display->grab(), 0u);
    // The display grabbed the pointer while captured.
    SetCapture(t);
    EXPECT_EQ(m_display->grab(), t);
    EXPECT_TRUE(m_display->top(t)->grabbed);
    ReleaseCapture();
}

TEST_F(WindowLayerTest, HoverAndLeave) {
    HWND t = top(0, 0, 200, 100);
    HWND a = child(t, 0, 0, 100, 100);
    HWND b = child(t, 100, 0, 100, 100);
    run_loop();
    g_handler = [](HWND h, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m == WM_MOUSEMOVE) {
            TRACKMOUSEEVENT tme;
            tme.dwFlags = TME_LEAVE | TME_HOVER;
            tme.hwndTrack = h;
            tme.dwHoverTime = HOVER_DEFAULT;
            TrackMouseEvent(&tme);
        }
        return false;
    };
    g_seen.clear();
    m_display->move(10, 10);
    m_display->move(20, 10);    // still in a
    m_display->advance(500);    // rests: a hovers
    m_display->move(150, 10);   // into b: a leaves
    m_display->move(500, 500);  // off the window: b leaves
    run_loop();
    auto got = seen_of({WM_MOUSEMOVE, WM_MOUSELEAVE, WM_MOUSEHOVER});
    std::vector<std::pair<HWND, UINT>> flow;
    for (const Seen& s : got) flow.push_back({s.hwnd, s.msg});
    EXPECT_EQ(flow, (std::vector<std::pair<HWND, UINT>>{{a, WM_MOUSEMOVE}, {a, WM_MOUSEMOVE}, {a, WM_MOUSEHOVER},
                                                        {a, WM_MOUSELEAVE}, {b, WM_MOUSEMOVE}, {b, WM_MOUSELEAVE}}));
    // The cursor follows the class of the window under the pointer.
    HWND text = child(t, 0, 0, 50, 50, "Plain");
    SetWindowPos(text, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    m_display->move(10, 10);
    run_loop();
    EXPECT_EQ(m_display->top(t)->cursor, IDC_IBEAM);
    m_display->move(150, 10);
    run_loop();
    EXPECT_EQ(m_display->top(t)->cursor, IDC_ARROW);
}

TEST_F(WindowLayerTest, DoubleClicks) {
    HWND t = top(0, 0, 300, 100);
    HWND left = child(t, 0, 0, 100, 100);
    HWND right = child(t, 100, 0, 100, 100);
    HWND plain = child(t, 200, 0, 100, 100, "Plain");  // no CS_DBLCLKS
    run_loop();
    struct Case {
        const char* what;
        int x1, x2;
        uint64_t gap;
        UINT second;
    } cases[] = {
        {"quick, same place", 50, 50, 100, WM_LBUTTONDBLCLK},
        {"at the time limit", 50, 50, 500, WM_LBUTTONDBLCLK},
        {"too slow", 50, 50, 501, WM_LBUTTONDOWN},
        {"4 pixels away", 50, 54, 100, WM_LBUTTONDBLCLK},
        {"5 pixels away", 50, 55, 100, WM_LBUTTONDOWN},
        {"another window", 98, 102, 100, WM_LBUTTONDOWN},
        {"a class without double clicks", 250, 250, 100, WM_LBUTTONDOWN},
    };
    for (const Case& c : cases) {
        m_display->advance(1000);
        m_display->click(c.x1, 50);
        m_display->advance(c.gap);
        m_display->click(c.x2, 50);
        g_seen.clear();
        run_loop();
        auto downs = seen_of({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK});
        ASSERT_EQ(downs.size(), 2u) << c.what;
        EXPECT_EQ(downs[0].msg, WM_LBUTTONDOWN) << c.what;
        EXPECT_EQ(downs[1].msg, c.second) << c.what;
    }
    // A third quick press starts over.
    m_display->advance(1000);
    for (int i = 0; i < 3; ++i) m_display->click(50, 50);
    g_seen.clear();
    run_loop();
    EXPECT_EQ(msgs_of(left, {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}),
              (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN}));
    // The settings' time counts.
    DesktopSettings s = desktop_settings();
    s.double_click_time = 800;
    m_display->set_settings(s);
    m_display->advance(1000);
    m_display->click(150, 50);
    m_display->advance(700);
    m_display->click(150, 50);
    g_seen.clear();
    run_loop();
    EXPECT_EQ(msgs_of(right, {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}), (std::vector<UINT>{WM_LBUTTONDOWN, WM_LBUTTONDBLCLK}));
    (void)plain;
}

// ---- focus, activation, disabled windows ---------------------------------------

TEST_F(WindowLayerTest, FocusAndActivation) {
    HWND a = top(0, 0, 100, 100);
    HWND edit = child(a, 10, 10, 50, 20);
    HWND b = top(200, 0, 100, 100);
    run_loop();
    EXPECT_EQ(GetActiveWindow(), b);  // the last shown
    EXPECT_EQ(GetFocus(), b);
    g_watch = {WM_ACTIVATE, WM_SETFOCUS, WM_KILLFOCUS};
    g_seen.clear();
    SetFocus(edit);  // activates its top-level first
    EXPECT_EQ(g_seen, (std::vector<Seen>{{b, WM_ACTIVATE, WA_INACTIVE, LPARAM(a)},
                                         {b, WM_KILLFOCUS, 0, 0},
                                         {a, WM_ACTIVATE, WA_ACTIVE, LPARAM(b)},
                                         {a, WM_SETFOCUS, 0, 0},
                                         {a, WM_KILLFOCUS, edit, 0},
                                         {edit, WM_SETFOCUS, a, 0}}));
    EXPECT_EQ(m_display->active(), a);
    // Keys go to the focus.
    g_watch = {WM_KEYDOWN, WM_CHAR, WM_LBUTTONDOWN, WM_MOUSEACTIVATE, WM_ACTIVATE, WM_SYSKEYDOWN};
    g_seen.clear();
    m_display->key("q");
    run_loop();
    ASSERT_EQ(seen_of({WM_KEYDOWN, WM_CHAR}).size(), 2u);
    EXPECT_EQ(seen_of({WM_CHAR})[0].hwnd, edit);
    EXPECT_EQ(seen_of({WM_CHAR})[0].wp, WPARAM('q'));
    // A click on the inactive window activates it (WM_MOUSEACTIVATE first).
    g_seen.clear();
    m_display->click(250, 50);
    run_loop();
    EXPECT_EQ(GetActiveWindow(), b);
    EXPECT_EQ(msgs_of(b, {WM_MOUSEACTIVATE, WM_ACTIVATE, WM_LBUTTONDOWN}),
              (std::vector<UINT>{WM_MOUSEACTIVATE, WM_ACTIVATE, WM_LBUTTONDOWN}));
    // The window manager's activation arrives as WM_ACTIVATE too.
    g_seen.clear();
    m_display->activate_window(a);
    run_loop();
    EXPECT_EQ(GetActiveWindow(), a);
    EXPECT_EQ(msgs_of(a, {WM_ACTIVATE}), (std::vector<UINT>{WM_ACTIVATE}));
    // A disabled child passes the click to its parent; a disabled top-level
    // gets no input at all.
    EnableWindow(edit, false);
    g_seen.clear();
    m_display->click(20, 20);
    run_loop();
    auto downs = seen_of({WM_LBUTTONDOWN});
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, a);
    EnableWindow(a, false);
    g_seen.clear();
    m_display->click(20, 20);
    m_display->key("w");
    run_loop();
    EXPECT_TRUE(seen_of({WM_LBUTTONDOWN, WM_KEYDOWN, WM_CHAR}).empty());
    // Alt with a key is a system key without a character.
    EnableWindow(a, true);
    SetFocus(a);
    g_seen.clear();
    m_display->key("alt+a");
    run_loop();
    EXPECT_EQ(msgs_of(a, {WM_KEYDOWN, WM_SYSKEYDOWN, WM_CHAR}), (std::vector<UINT>{WM_SYSKEYDOWN, WM_SYSKEYDOWN}));
}

TEST_F(WindowLayerTest, KeyStateAndMessagePos) {
    HWND t = top(50, 60, 100, 100);
    run_loop();
    std::vector<std::pair<UINT, bool>> shift_state;
    g_handler = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m == WM_KEYDOWN || m == WM_KEYUP) shift_state.push_back({m, (GetKeyState(VK_SHIFT) & 0x8000) != 0});
        return false;
    };
    m_display->key("shift+Right");
    run_loop();
    EXPECT_EQ(shift_state, (std::vector<std::pair<UINT, bool>>{
                               {WM_KEYDOWN, true}, {WM_KEYDOWN, true}, {WM_KEYUP, true}, {WM_KEYUP, false}}));
    EXPECT_FALSE(GetKeyState(VK_LSHIFT) & 0x8000);
    uint32_t pos = 0;
    g_handler = [&](HWND, UINT m, WPARAM, LPARAM, LRESULT*) {
        if (m == WM_LBUTTONDOWN) pos = GetMessagePos();
        return false;
    };
    m_display->click(70, 90);
    run_loop();
    EXPECT_EQ(pos, 90u << 16 | 70u);
    // Committed text: one WM_CHAR a character, also above U+FFFF.
    SetFocus(t);
    g_watch = {WM_CHAR};
    g_seen.clear();
    m_display->commit_text("é€😀");
    run_loop();
    std::vector<WPARAM> chars;
    for (const Seen& s : g_seen) chars.push_back(s.wp);
    EXPECT_EQ(chars, (std::vector<WPARAM>{0xE9, 0x20AC, 0x1F600}));
}

TEST_F(WindowLayerTest, DisplayFromTheEnvironment) {
    close();
    struct Case {
        const char* zun_display;
        const char* display;
        bool opens;
        const char* error;
        size_t monitors;
    } cases[] = {
        {"memory", ":99", true, "", 1},
        {"memory:800x600@120,640x480+800+0", nullptr, true, "", 2},
        {"memory:800x", nullptr, false, "bad monitor list in ZUN_DISPLAY: memory:800x", 0},
        {nullptr, nullptr, false, "X display (DISPLAY is not set)", 0},
    };
    for (const Case& c : cases) {
        if (c.zun_display) setenv("ZUN_DISPLAY", c.zun_display, 1);
        else unsetenv("ZUN_DISPLAY");
        if (c.display) setenv("DISPLAY", c.display, 1);
        else unsetenv("DISPLAY");
        std::string error;
        EXPECT_EQ(open_from_environment(&error), c.opens) << c.zun_display;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(EnumDisplayMonitors().size(), c.monitors);
        if (c.opens) {
            EXPECT_EQ(display()->name(), "memory");
        }
        close();
    }
    unsetenv("ZUN_DISPLAY");
    auto d = std::make_unique<MemoryDisplay>();
    m_display = d.get();
    open(std::move(d));
}

TEST_F(WindowLayerTest, SetParentMovesBetweenTreeAndDisplay) {
    HWND a = top(0, 0, 200, 200);
    HWND b = top(300, 0, 200, 200);
    HWND c = child(a, 10, 20, 50, 50);
    EXPECT_EQ(SetParent(c, b), a);
    EXPECT_TRUE(IsChild(b, c));
    EXPECT_EQ(EnumChildWindows(a).size(), 0u);
    RECT r;
    GetWindowRect(c, &r);
    EXPECT_EQ(r, (RECT{310, 20, 360, 70}));
    // Parent 0: it becomes a top-level at the same place on the screen.
    EXPECT_EQ(SetParent(c, 0), b);
    EXPECT_NE(m_display->top(c), nullptr);
    EXPECT_EQ(m_display->top(c)->state.rect, (RECT{310, 20, 360, 70}));
    EXPECT_EQ(SetParent(a, a), 0u);  // never its own parent
}

// ---- positions --------------------------------------------------------------------

TEST_F(WindowLayerTest, DeferredBatch) {
    HWND t = top(0, 0, 400, 400);
    g_paint_colour[t] = 0xFFFFFFFF;
    std::vector<HWND> kids;
    for (int i = 0; i < 10; ++i) {
        kids.push_back(child(t, i * 10, 0, 10, 10));
        g_paint_colour[kids.back()] = 0xFF0000FF;
    }
    run_loop();
    uint32_t presents = m_display->top(t)->presents;
    g_watch = {WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE};
    g_seen.clear();
    HDWP batch = BeginDeferWindowPos(10);
    for (int i = 0; i < 10; ++i) batch = DeferWindowPos(batch, kids[i], 0, i * 10, 100, 20, 20, SWP_NOZORDER);
    RECT r;
    GetWindowRect(kids[3], &r);
    EXPECT_EQ(r, (RECT{30, 0, 40, 10}));  // nothing moves before the end
    EXPECT_TRUE(g_seen.empty());
    EXPECT_TRUE(EndDeferWindowPos(batch));
    for (int i = 0; i < 10; ++i) {
        GetWindowRect(kids[i], &r);
        EXPECT_EQ(r, (RECT{i * 10, 100, i * 10 + 20, 120}));
        EXPECT_EQ(msgs_of(kids[i], {WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
                  (std::vector<UINT>{WM_WINDOWPOSCHANGED, WM_SIZE, WM_MOVE}));
    }
    run_loop();
    // One loop turn, one present of the whole batch.
    EXPECT_EQ(m_display->top(t)->presents, presents + 1);
    EXPECT_EQ(m_display->pixel(t, 5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(m_display->pixel(t, 5, 105), 0xFF0000FFu);
}

TEST_F(WindowLayerTest, MinimizeMaximizeRestoreAndSizeMove) {
    HWND t = top(100, 100, 300, 200);
    run_loop();
    g_watch = {WM_SIZE, WM_MOVE, WM_WINDOWPOSCHANGED, WM_ENTERSIZEMOVE, WM_EXITSIZEMOVE, WM_MOVING, WM_SIZING};
    g_seen.clear();
    m_display->minimize(t);
    run_loop();
    EXPECT_TRUE(IsIconic(t));
    EXPECT_EQ(m_display->top(t)->state.state, SIZE_MINIMIZED);
    // No move to -32000: WM_SIZE with SIZE_MINIMIZED only.
    auto got = seen_of({WM_SIZE, WM_MOVE});
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].wp, SIZE_MINIMIZED);
    g_seen.clear();
    m_display->maximize(t);
    run_loop();
    EXPECT_TRUE(IsZoomed(t));
    RECT r;
    GetWindowRect(t, &r);
    EXPECT_EQ(r, (RECT{0, 0, 1024, 768}));
    EXPECT_EQ(seen_of({WM_SIZE})[0].wp, SIZE_MAXIMIZED);
    m_display->restore(t);
    run_loop();
    GetWindowRect(t, &r);
    EXPECT_EQ(r, (RECT{100, 100, 400, 300}));
    // An interactive move: begin, moving steps, end.
    g_seen.clear();
    m_display->begin_size_move(t, false);
    m_display->size_move_to(t, {110, 100, 410, 300});
    m_display->size_move_to(t, {120, 105, 420, 305});
    m_display->end_size_move(t);
    run_loop();
    EXPECT_EQ(msgs_of(t, {WM_ENTERSIZEMOVE, WM_MOVING, WM_MOVE, WM_EXITSIZEMOVE}),
              (std::vector<UINT>{WM_ENTERSIZEMOVE, WM_MOVING, WM_MOVE, WM_MOVING, WM_MOVE, WM_EXITSIZEMOVE}));
    EXPECT_EQ(m_display->top(t)->state.rect, (RECT{120, 105, 420, 305}));
    // The close request reaches WM_CLOSE through WM_SYSCOMMAND; the default destroys.
    m_display->close_request(t);
    run_loop();
    EXPECT_FALSE(IsWindow(t));
    EXPECT_EQ(m_display->top(t), nullptr);
}

// ---- pixels -----------------------------------------------------------------------

TEST_F(WindowLayerTest, CompositionZOrderAndClipping) {
    HWND t = top(0, 0, 200, 200);
    HWND red = child(t, 10, 10, 100, 100);
    HWND blue = child(t, 60, 60, 100, 100);
    HWND clipper = child(t, 150, 150, 40, 40);
    HWND inner = CreateWindowEx(0, "Test", "", WS_CHILD | WS_VISIBLE, 20, 20, 100, 100, clipper);
    g_paint_colour = {{t, 0xFFFFFFFF}, {red, 0xFFFF0000}, {blue, 0xFF0000FF}, {clipper, 0xFF00FF00}, {inner, 0xFF000000}};
    // Children are created below their older siblings: red lies over blue.
    run_loop();
    struct Probe {
        int x, y;
        uint32_t argb;
    };
    auto check = [&](std::initializer_list<Probe> probes, const char* what) {
        for (const Probe& p : probes) EXPECT_EQ(m_display->pixel(t, p.x, p.y), p.argb) << what << " " << p.x << "," << p.y;
    };
    check({{5, 5, 0xFFFFFFFF}, {20, 20, 0xFFFF0000}, {80, 80, 0xFFFF0000}, {150, 120, 0xFF0000FF}},
          "red in front");
    SetWindowPos(blue, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    run_loop();
    check({{80, 80, 0xFF0000FF}, {20, 20, 0xFFFF0000}}, "blue raised");
    // The inner window is clipped by its parent's client area.
    check({{160, 160, 0xFF00FF00}, {175, 175, 0xFF000000}, {195, 195, 0xFFFFFFFF}, {185, 195, 0xFFFFFFFF}}, "clip");
    // A hidden window shows what lies under it; PrintWindow composes a window alone.
    ShowWindow(blue, SW_HIDE);
    run_loop();
    check({{80, 80, 0xFFFF0000}, {150, 120, 0xFFFFFFFF}}, "blue hidden");
    cairo_surface_t* img = PrintWindow(clipper);
    ASSERT_EQ(cairo_image_surface_get_width(img), 40);
    auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(img));
    EXPECT_EQ(px[0], 0xFF00FF00u);
    EXPECT_EQ(px[25 * 40 + 25], 0xFF000000u);
    cairo_surface_destroy(img);
}

TEST_F(WindowLayerTest, TranslucentWindowsCompose) {
    HWND t = top(0, 0, 100, 100);
    HWND glass = child(t, 0, 0, 50, 50, "Test", WS_EX_LAYERED);
    g_paint_colour = {{t, 0xFF0000FF}, {glass, 0x80FF0000}};
    run_loop();
    uint32_t first = m_display->pixel(t, 10, 10);
    EXPECT_EQ(first & 0xFF000000u, 0xFF000000u);
    EXPECT_NEAR(int((first >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(int(first & 0xFF), 127, 2);
    // 100 redraws keep the same pixels (nothing piles up) and never repaint
    // the parent under it.
    int parent_paints = g_paints[t];
    for (int i = 0; i < 100; ++i) {
        InvalidateRect(glass, nullptr, false);
        UpdateWindow(glass);
        flush_display();
    }
    // Only the damaged rectangle was composed and presented.
    EXPECT_EQ(m_display->top(t)->last_damage, (RECT{0, 0, 50, 50}));
    EXPECT_EQ(g_paints[glass], 101);
    EXPECT_EQ(g_paints[t], parent_paints);
    EXPECT_EQ(m_display->pixel(t, 10, 10), first);
    EXPECT_EQ(m_display->pixel(t, 70, 70), 0xFF0000FFu);
    // Constant alpha on top of the pixels' own.
    SetLayeredWindowAttributes(glass, 0, 0, LWA_ALPHA);
    flush_display();
    EXPECT_EQ(m_display->pixel(t, 10, 10), 0xFF0000FFu);
    // Fully transparent: clicks pass through to what lies under it.
    g_seen.clear();
    m_display->click(10, 10);
    run_loop();
    auto downs = seen_of({WM_LBUTTONDOWN});
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(downs[0].hwnd, t);
    // UpdateLayeredWindow gives the content whole, without a paint.
    SetLayeredWindowAttributes(glass, 0, 255, LWA_ALPHA);
    cairo_surface_t* src = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 50, 50);
    cairo_t* cr = cairo_create(src);
    cairo_set_source_rgba(cr, 0, 1, 0, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
    int paints = g_paints[glass];
    UpdateLayeredWindow(glass, nullptr, nullptr, src, nullptr, 255);
    cairo_surface_destroy(src);
    flush_display();
    EXPECT_EQ(g_paints[glass], paints);
    EXPECT_EQ(m_display->pixel(t, 10, 10), 0xFF00FF00u);
}

// ---- scroll bars, monitors, caret -----------------------------------------------------

TEST_F(WindowLayerTest, OwnScrollBars) {
    HWND t = top(0, 0, 200, 200);
    HWND w = CreateWindowEx(0, "Test", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, t);
    run_loop();
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = 99;
    si.nPage = 10;
    si.nPos = 0;
    g_seen.clear();
    SetScrollInfo(w, SB_VERT, &si, true);
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c, (RECT{0, 0, 83, 100}));  // the bar takes 17 pixels
    EXPECT_EQ(msgs_of(w, {WM_SIZE}), (std::vector<UINT>{WM_SIZE}));
    EXPECT_EQ(SendMessage(w, WM_NCHITTEST, 0, (90 & 0xFFFF) | (50 << 16)), HTVSCROLL);
    g_seen.clear();
    g_watch = {WM_VSCROLL};
    m_display->click(90, 5);   // the up arrow
    m_display->click(90, 95);  // the down arrow
    m_display->click(90, 80);  // the track below the thumb
    // Drag the thumb (17..83 is the track; the thumb is 6 long at the top).
    m_display->move(90, 20);
    m_display->press(1);
    m_display->move(90, 50);
    m_display->release(1);
    run_loop();
    std::vector<WPARAM> codes;
    for (const Seen& s : g_seen) codes.push_back(s.wp & 0xFFFF);
    EXPECT_EQ(codes, (std::vector<WPARAM>{SB_LINEUP, SB_ENDSCROLL, SB_LINEDOWN, SB_ENDSCROLL, SB_PAGEDOWN,
                                          SB_ENDSCROLL, SB_THUMBTRACK, SB_THUMBPOSITION, SB_ENDSCROLL}));
    ASSERT_GE(g_seen.size(), 8u);
    int track_pos = int(g_seen[7].wp >> 16);
    EXPECT_GT(track_pos, 30);
    EXPECT_LT(track_pos, 60);
    // The layer draws the bar.
    EXPECT_NE(m_display->pixel(t, 90, 50), 0u);
    // Nothing to scroll: the bar goes away.
    si.fMask = SIF_RANGE;
    si.nMax = 5;
    SetScrollInfo(w, SB_VERT, &si, true);
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 100);
    ShowScrollBar(w, SB_HORZ, true);
    GetClientRect(w, &c);
    EXPECT_EQ(c, (RECT{0, 0, 100, 83}));
}

TEST_F(WindowLayerTest, MonitorsDpiAndSettings) {
    std::vector<Monitor> ms;
    ASSERT_TRUE(MemoryDisplay::parse_monitors("1024x768@96,1280x1024+1024+0@144", &ms));
    EXPECT_FALSE(MemoryDisplay::parse_monitors("1024x@96", &ms));
    EXPECT_FALSE(MemoryDisplay::parse_monitors("10x10@5000", &ms));
    ASSERT_TRUE(MemoryDisplay::parse_monitors("1024x768@96,1280x1024+1024+0@144", &ms));
    m_display->set_monitors(ms);
    auto handles = EnumDisplayMonitors();
    ASSERT_EQ(handles.size(), 2u);
    MONITORINFO mi;
    ASSERT_TRUE(GetMonitorInfo(handles[1], &mi));
    EXPECT_EQ(mi.rcMonitor, (RECT{1024, 0, 2304, 1024}));
    EXPECT_EQ(mi.dpi, 144u);
    EXPECT_EQ(MonitorFromPoint({1100, 10}, MONITOR_DEFAULTTONULL), handles[1]);
    EXPECT_EQ(MonitorFromPoint({-5, 10}, MONITOR_DEFAULTTONULL), 0u);
    EXPECT_EQ(MonitorFromPoint({-5, 10}, MONITOR_DEFAULTTONEAREST), handles[0]);
    HWND t = top(100, 100, 200, 100);
    EXPECT_EQ(GetDpiForWindow(t), 96u);
    // Moving onto the 144 DPI monitor: WM_DPICHANGED with the scaled rectangle.
    RECT suggested{};
    WPARAM dpis = 0;
    g_handler = [&](HWND, UINT m, WPARAM w, LPARAM l, LRESULT*) {
        if (m == WM_DPICHANGED) {
            dpis = w;
            suggested = *reinterpret_cast<RECT*>(l);
        }
        return false;
    };
    SetWindowPos(t, 0, 1200, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_EQ(GetDpiForWindow(t), 144u);
    EXPECT_EQ(dpis, 144u | 144u << 16);
    EXPECT_EQ(suggested, (RECT{1200, 100, 1500, 250}));
    // A monitor keeps its handle while it exists; changes reach every top-level.
    g_seen.clear();
    ms.pop_back();
    m_display->set_monitors(ms);
    EXPECT_EQ(EnumDisplayMonitors(), std::vector<HMONITOR>{handles[0]});
    EXPECT_EQ(msgs_of(t, {WM_DISPLAYCHANGE}), std::vector<UINT>{WM_DISPLAYCHANGE});
    EXPECT_EQ(GetDpiForWindow(t), 96u);
    DesktopSettings s = desktop_settings();
    s.dark = true;
    g_seen.clear();
    m_display->set_settings(s);
    EXPECT_TRUE(desktop_settings().dark);
    EXPECT_EQ(msgs_of(t, {WM_SETTINGCHANGE, WM_THEMECHANGED}), (std::vector<UINT>{WM_SETTINGCHANGE, WM_THEMECHANGED}));
}

TEST_F(WindowLayerTest, CaretCursorsAndTitle) {
    HWND t = top(10, 20, 200, 100);
    HWND c = child(t, 5, 5, 100, 50);
    CreateCaret(c, 1, 16);
    SetCaretPos(7, 3);
    EXPECT_EQ(m_display->caret_window(), t);
    EXPECT_EQ(m_display->caret(), (RECT{22, 28, 23, 44}));
    DestroyCaret();
    EXPECT_EQ(m_display->caret_window(), 0u);
    SetWindowText(t, "Zun — ünïcode");
    EXPECT_EQ(m_display->top(t)->state.title, "Zun — ünïcode");
    cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 16, 16);
    HCURSOR cur = CreateImageCursor(img, 8, 8);
    cairo_surface_destroy(img);
    POINT hot;
    EXPECT_NE(cursor_image(cur, &hot), nullptr);
    EXPECT_EQ(hot, (POINT{8, 8}));
    EXPECT_TRUE(DestroyCursor(cur));
    EXPECT_FALSE(DestroyCursor(cur));
    EXPECT_TRUE(m_display->top(t)->state.visible);
    ShowWindow(t, SW_HIDE);
    EXPECT_FALSE(m_display->top(t)->state.visible);
}

}  // namespace
