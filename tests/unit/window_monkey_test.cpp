// The window layer driven at random on the in-memory display: windows made,
// re-parented, moved in batches, shown, hidden, layered, destroyed (also from
// inside their own procedures and from nested loops), timers, capture, focus,
// scroll bars, carets, image cursors, posted and sent messages, and the
// display's input and window-manager actions. Seeded: a failure names its
// seed and step (ZUN_MONKEY_SEEDS=7 repeats seed 7). Passing means no crash
// or sanitizer report, a window tree without cycles at every step, and
// nothing left in the layer once every window is destroyed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/display_memory.hpp"
#include "platform/window.hpp"

using namespace zun::win;

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr int k_steps = 3000;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr int k_steps = 3000;
#else
constexpr int k_steps = 6000;
#endif
#else
constexpr int k_steps = 6000;
#endif

std::mt19937 g_rng;
int g_depth = 0;            // nested loops run from procedures
std::vector<HCURSOR> g_cursors;

int pick(int n) { return n <= 1 ? 0 : int(g_rng() % uint32_t(n)); }
bool chance(int n) { return pick(n) == 0; }

std::vector<HWND> all_windows() {
    std::vector<HWND> out, todo = EnumWindows();
    while (!todo.empty()) {
        HWND h = todo.back();
        todo.pop_back();
        out.push_back(h);
        for (HWND c : EnumChildWindows(h)) todo.push_back(c);
    }
    return out;
}

HWND any_window() {
    std::vector<HWND> w = all_windows();
    return w.empty() ? 0 : w[size_t(pick(int(w.size())))];
}

RECT any_rect() {
    int x = pick(1200) - 100, y = pick(900) - 100;
    return {x, y, x + pick(400), y + pick(300)};
}

void pump(int limit);

// What a window does on its own: paints, and now and then meddles.
LRESULT monkey_proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    switch (m) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        cairo_t* cr = BeginPaint(h, &ps);
        if (cr) {
            cairo_set_source_rgba(cr, pick(256) / 255.0, pick(256) / 255.0, pick(256) / 255.0,
                                  chance(4) ? pick(256) / 255.0 : 1.0);
            cairo_paint(cr);
        }
        EndPaint(h, &ps);
        return 0;
    }
    case WM_NCHITTEST:
        if (chance(10)) return HTTRANSPARENT;
        break;
    case WM_CLOSE:
        if (chance(2)) return 0;  // kept
        break;
    default: break;
    }
    if (g_depth < 3 && chance(60)) {
        ++g_depth;
        switch (pick(6)) {
        case 0:
            if (HWND v = any_window()) DestroyWindow(v);
            break;
        case 1: SetCapture(h); break;
        case 2: pump(5); break;
        case 3: CreateWindowEx(0, "Monkey", "inner", WS_CHILD | WS_VISIBLE, 1, 1, 20, 20, h); break;
        case 4: SetWindowPos(h, HWND_TOP, pick(100), pick(100), pick(200), pick(200), SWP_NOACTIVATE); break;
        case 5: PostMessage(h, WM_USER + 1, 0, 0); break;
        }
        --g_depth;
    }
    return DefWindowProc(h, m, w, l);
}

void pump(int limit) {
    MSG msg;
    for (int i = 0; i < limit && PeekMessage(&msg, 0, 0, 0, PM_REMOVE); i++) {
        if (msg.message == WM_QUIT) break;
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    flush_display();
}

HWND make_window() {
    static const uint32_t top_styles[] = {WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_POPUP | WS_VISIBLE, WS_POPUP,
                                          WS_OVERLAPPEDWINDOW | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL};
    static const uint32_t child_styles[] = {WS_CHILD | WS_VISIBLE, WS_CHILD | WS_VISIBLE | WS_VSCROLL,
                                            WS_CHILD, WS_CHILD | WS_VISIBLE | WS_DISABLED | WS_HSCROLL,
                                            WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS};
    static const uint32_t ex_styles[] = {0, 0, 0, WS_EX_LAYERED, WS_EX_TRANSPARENT, WS_EX_TOOLWINDOW,
                                         WS_EX_NOACTIVATE};
    const HWND parent = chance(3) ? 0 : any_window();
    const RECT r = any_rect();
    const uint32_t style = parent ? child_styles[pick(5)] : top_styles[pick(4)];
    const HWND owner = !parent && chance(4) ? any_window() : 0;
    const HWND h = CreateWindowEx(ex_styles[pick(7)], chance(2) ? "Monkey" : "Plain", "monkey", style, r.left,
                                  r.top, r.width(), r.height(), parent ? parent : owner);
    if (h && (GetWindowLong(h, GWL_EXSTYLE) & WS_EX_LAYERED))
        SetLayeredWindowAttributes(h, 0, uint8_t(pick(256)), LWA_ALPHA);
    return h;
}

void window_action(MemoryDisplay* d) {
    const HWND h = any_window();
    if (!h) {
        make_window();
        return;
    }
    const RECT r = any_rect();
    switch (pick(24)) {
    case 0: case 1: make_window(); break;
    case 2: DestroyWindow(h); break;
    case 3: SetParent(h, chance(3) ? 0 : any_window()); break;  // also under its own child: refused
    case 4: SetWindowPos(h, chance(2) ? HWND_TOP : chance(2) ? HWND_BOTTOM : any_window(), r.left, r.top,
                         r.width(), r.height(), UINT(pick(0x100)) & ~SWP_NOSENDCHANGING);
        break;
    case 5: {
        HDWP batch = BeginDeferWindowPos(4);
        for (int i = 0, n = 1 + pick(5); i < n; i++)
            if (HWND v = any_window())
                batch = DeferWindowPos(batch, v, 0, pick(500), pick(400), pick(300), pick(300),
                                       SWP_NOZORDER | (chance(3) ? UINT(SWP_SHOWWINDOW) : 0u));
        EndDeferWindowPos(batch);
        break;
    }
    case 6: ShowWindow(h, pick(11)); break;
    case 7: EnableWindow(h, !chance(3)); break;
    case 8: SetTimer(h, uintptr_t(1 + pick(3)), UINT(pick(300)), nullptr); break;
    case 9: KillTimer(h, uintptr_t(1 + pick(3))); break;
    case 10: chance(2) ? (void)SetCapture(h) : (void)ReleaseCapture(); break;
    case 11: chance(2) ? (void)SetFocus(h) : chance(2) ? (void)SetActiveWindow(h) : (void)SetForegroundWindow(h); break;
    case 12: InvalidateRect(h, chance(2) ? nullptr : &r, chance(2)); break;
    case 13: RedrawWindow(h, chance(2) ? nullptr : &r, UINT(pick(0x800))); break;
    case 14: {
        SCROLLINFO si;
        si.fMask = SIF_ALL;
        si.nMin = pick(10);
        si.nMax = pick(300) - 20;
        si.nPage = UINT(pick(100));
        si.nPos = pick(400) - 50;
        SetScrollInfo(h, pick(2), &si, chance(2));
        if (chance(3)) ShowScrollBar(h, pick(4), chance(2));
        break;
    }
    case 15: SetLayeredWindowAttributes(h, 0, uint8_t(pick(256)), LWA_ALPHA); break;
    case 16: SetWindowText(h, chance(2) ? "é€😀" : ""); break;
    case 17: {
        TRACKMOUSEEVENT tme;
        tme.dwFlags = TME_LEAVE | (chance(2) ? uint32_t(TME_HOVER) : 0u) | (chance(5) ? uint32_t(TME_CANCEL) : 0u);
        tme.hwndTrack = h;
        tme.dwHoverTime = HOVER_DEFAULT;
        TrackMouseEvent(&tme);
        break;
    }
    case 18:
        if (cairo_surface_t* s = PrintWindow(h)) cairo_surface_destroy(s);
        break;
    case 19:
        if (chance(2)) {
            CreateCaret(h, 2, 14);
            SetCaretPos(pick(100), pick(100));
            ShowCaret(h);
        } else {
            DestroyCaret();
        }
        break;
    case 20: {
        cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1 + pick(32), 1 + pick(32));
        g_cursors.push_back(CreateImageCursor(img, 0, 0));
        cairo_surface_destroy(img);
        SetCursor(g_cursors.back());
        if (chance(2)) {
            DestroyCursor(g_cursors.front());
            g_cursors.erase(g_cursors.begin());
        }
        break;
    }
    case 21: chance(2) ? (void)PostMessage(h, WM_USER + pick(4), 0, 0) : (void)SendMessage(h, WM_USER, 0, 0); break;
    case 22: UpdateWindow(h); break;
    case 23: {
        const HWND top = GetAncestor(h, GA_ROOT);
        d->begin_size_move(top, chance(2));
        d->size_move_to(top, r);
        d->end_size_move(top);
        break;
    }
    }
}

void input_action(MemoryDisplay* d) {
    static const char* keys[] = {"Return", "Left", "ctrl+a", "a", "shift+Tab", "Delete", "alt+a", "Escape",
                                 "F10", "alt+F4", "Menu", "space", "dead_acute"};
    const HWND top = GetAncestor(any_window(), GA_ROOT);
    switch (pick(12)) {
    case 0: case 1: case 2: d->move(pick(1300) - 100, pick(900) - 100); break;
    case 3: d->press(1 + pick(3)); break;
    case 4: d->release(1 + pick(3)); break;
    case 5: d->wheel(pick(5) - 2); break;
    case 6: d->key(keys[pick(13)]); break;
    case 7: d->commit_text(chance(2) ? "é" : "😀"); break;
    case 8:
        switch (pick(6)) {
        case 0: d->close_request(top); break;
        case 1: d->minimize(top); break;
        case 2: d->maximize(top); break;
        case 3: d->restore(top); break;
        case 4: d->activate_window(top); break;
        case 5: d->compose(top, chance(2) ? "ka" : ""); break;
        }
        break;
    case 9: d->advance(uint64_t(pick(600))); break;
    case 10: {
        DesktopSettings s = desktop_settings();
        s.dpi = chance(2) ? 96 : 144;
        s.dark = chance(2);
        d->set_settings(s);
        break;
    }
    case 11: {
        std::vector<Monitor> m;
        MemoryDisplay::parse_monitors(chance(2) ? "1024x768@96" : "1024x768@96,1280x1024+1024+0@144", &m);
        d->set_monitors(m);
        break;
    }
    }
}

// No window is its own ancestor (owners aside: a popup may own its parent).
void check_tree(uint32_t seed, int step) {
    for (HWND h : all_windows()) {
        int depth = 0;
        for (HWND p = GetAncestor(h, GA_PARENT); p && depth < 10000; p = GetAncestor(p, GA_PARENT)) depth++;
        ASSERT_LT(depth, 10000) << "seed " << seed << " step " << step << ": a cycle above " << h;
    }
}

void run_seed(uint32_t seed, int steps) {
    g_rng.seed(seed);
    g_depth = 0;
    g_cursors.clear();
    auto owned = std::make_unique<MemoryDisplay>();
    MemoryDisplay* d = owned.get();
    ASSERT_TRUE(open(std::move(owned)));
    WNDCLASS wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = monkey_proc;
    wc.hCursor = IDC_ARROW;
    wc.lpszClassName = "Monkey";
    ASSERT_NE(RegisterClass(wc), 0);
    wc.style = 0;
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = "Plain";
    ASSERT_NE(RegisterClass(wc), 0);
    for (int step = 0; step < steps; step++) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " step " + std::to_string(step));
        for (int i = pick(3); i >= 0; i--) window_action(d);
        for (int i = pick(4); i >= 0; i--) input_action(d);
        if (chance(8)) {
            // a blocking loop ends when nothing is left, or at a quit
            MSG msg;
            for (int n = 0; n < 200 && GetMessage(&msg) > 0; n++) {
                TranslateMessage(&msg);
                DispatchMessage(&msg);
                if (msg.message == WM_TIMER && chance(3)) PostQuitMessage(0);
            }
        } else {
            pump(300);
        }
        if (step % 64 == 0) check_tree(seed, step);
        if (::testing::Test::HasFatalFailure()) break;
    }
    for (HWND h : EnumWindows()) DestroyWindow(h);
    for (HCURSOR c : g_cursors) DestroyCursor(c);
    const LayerCounts left = layer_counts();
    EXPECT_EQ(left.windows, 0u) << "seed " << seed;
    EXPECT_EQ(left.timers, 0u) << "seed " << seed;
    EXPECT_EQ(left.image_cursors, 0u) << "seed " << seed;
    close();
}

std::vector<uint32_t> seeds() {
    std::vector<uint32_t> out;
    if (const char* s = std::getenv("ZUN_MONKEY_SEEDS")) {
        for (char* p = const_cast<char*>(s); *p;) {
            out.push_back(uint32_t(std::strtoul(p, &p, 10)));
            while (*p == ',') p++;
        }
        return out;
    }
    return {1, 2, 3};
}

TEST(WindowMonkey, RandomActionsLeaveNothingBehind) {
    for (uint32_t seed : seeds()) {
        run_seed(seed, k_steps);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
