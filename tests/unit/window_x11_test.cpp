// The window layer on a real X server: a bounded smoke test under Xvfb.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/display.hpp"
#include "platform/window.hpp"

// Last: Xlib's macros (None, Bool, Status ...) would break the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace zun::win;

namespace {

// Xvfb on a free display (-displayfd), stopped by its pid.
class Xvfb {
public:
    Xvfb() {
        int fds[2];
        if (pipe(fds) != 0) return;
        m_pid = fork();
        if (m_pid == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-dpi", "96",
                   "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The number and its newline may come in two writes: closing the pipe
        // between them kills the server.
        std::string got;
        pollfd p{fds[0], POLLIN, 0};
        char c;
        while (m_pid > 0 && got.find('\n') == std::string::npos && poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1)
            got += c;
        if (got.find('\n') != std::string::npos) m_display = ":" + std::to_string(std::atoi(got.c_str()));
        close(fds[0]);
    }
    ~Xvfb() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& display() const { return m_display; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

std::vector<std::pair<HWND, UINT>> g_seen;

LRESULT proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    if (m == WM_LBUTTONDOWN || m == WM_KEYDOWN || m == WM_CHAR || m == WM_CLOSE || m == WM_THEMECHANGED) g_seen.push_back({h, m == WM_CHAR ? UINT(w) : m});
    return DefWindowProc(h, m, w, l);
}

// Pumps the layer until the condition holds or 5 seconds pass.
bool pump_until(const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < end) {
        MSG m;
        while (PeekMessage(&m)) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
        if (done()) return true;
        usleep(5000);
    }
    return false;
}

Window find_window(::Display* dpy, const std::string& title) {
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    Window found = 0;
    Atom name = XInternAtom(dpy, "_NET_WM_NAME", False);
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n)) return 0;
    for (unsigned i = 0; i < n && !found; ++i) {
        Atom type;
        int format;
        unsigned long count, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(dpy, kids[i], name, 0, 256, False, AnyPropertyType, &type, &format, &count, &after,
                               &data) == Success && data) {
            if (std::string(reinterpret_cast<char*>(data), count) == title) found = kids[i];
            XFree(data);
        }
    }
    if (kids) XFree(kids);
    return found;
}

// An XSETTINGS property (least significant byte first) of strings and integers.
std::vector<unsigned char> xsettings(const std::vector<std::pair<std::string, std::string>>& strings,
                                     const std::vector<std::pair<std::string, int>>& ints) {
    std::vector<unsigned char> d = {0, 0, 0, 0};
    auto card = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) d.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    auto text = [&](const std::string& t) {
        d.insert(d.end(), t.begin(), t.end());
        while (d.size() % 4) d.push_back(0);
    };
    card(1, 4);
    card(static_cast<uint32_t>(strings.size() + ints.size()), 4);
    for (const auto& [name, value] : strings) {
        d.push_back(1), d.push_back(0), card(static_cast<uint32_t>(name.size()), 2), text(name), card(0, 4);
        card(static_cast<uint32_t>(value.size()), 4), text(value);
    }
    for (const auto& [name, value] : ints) {
        d.push_back(0), d.push_back(0), card(static_cast<uint32_t>(name.size()), 2), text(name), card(0, 4);
        card(static_cast<uint32_t>(value), 4);
    }
    return d;
}

void set_settings(::Display* dpy, Window owner, const std::vector<unsigned char>& data) {
    Atom prop = XInternAtom(dpy, "_XSETTINGS_SETTINGS", False);
    XChangeProperty(dpy, owner, prop, prop, 8, PropModeReplace, data.data(), static_cast<int>(data.size()));
    XFlush(dpy);
}

void send(::Display* dpy, Window w, XEvent e, long mask) {
    e.xany.window = w;
    XSendEvent(dpy, w, True, mask, &e);
    XFlush(dpy);
}

TEST(WindowX11Test, SmokeUnderXvfb) {
    Xvfb server;
    if (server.display().empty()) {
        if (std::getenv("CI")) FAIL() << "Xvfb did not start";
        GTEST_SKIP() << "no Xvfb";
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    unsetenv("ZUN_DISPLAY");
    unsetenv("GTK_THEME");
    // A settings manager of our own: the test's connection owns _XSETTINGS_S0.
    ::Display* probe = XOpenDisplay(server.display().c_str());
    ASSERT_NE(probe, nullptr);
    Window manager = XCreateSimpleWindow(probe, DefaultRootWindow(probe), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(probe, XInternAtom(probe, "_XSETTINGS_S0", False), manager, CurrentTime);
    set_settings(probe, manager,
                 xsettings({{"Net/ThemeName", "Adwaita-dark"}, {"Gtk/FontName", "DejaVu Sans 11"},
                            {"Xft/RGBA", "bgr"}, {"Xft/HintStyle", "hintslight"}},
                           {{"Net/DoubleClickTime", 400}, {"Net/DoubleClickDistance", 6}, {"Xft/Antialias", 1}}));
    std::string error;
    ASSERT_TRUE(open_from_environment(&error)) << error;
    EXPECT_EQ(display()->name(), "x11");
    ASSERT_EQ(EnumDisplayMonitors().size(), 1u);
    MONITORINFO mi;
    GetMonitorInfo(EnumDisplayMonitors()[0], &mi);
    EXPECT_EQ(mi.rcMonitor, (RECT{0, 0, 1024, 768}));
    EXPECT_TRUE(desktop_settings().dark);
    EXPECT_FALSE(desktop_settings().high_contrast);
    EXPECT_EQ(desktop_settings().font_family, "DejaVu Sans");
    EXPECT_EQ(desktop_settings().font_points, 11);
    EXPECT_EQ(desktop_settings().double_click_time, 400u);
    EXPECT_EQ(desktop_settings().double_click_distance, 6u);
    EXPECT_EQ(desktop_settings().dpi, 96u);
    // text rendering
    EXPECT_EQ(desktop_settings().text_rgba, "bgr");
    EXPECT_EQ(desktop_settings().text_hintstyle, "hintslight");
    EXPECT_EQ(desktop_settings().text_antialias, 1);

    WNDCLASS wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hbrBackground = CreateSolidBrush(0x0000FF);  // red, as COLORREF
    wc.lpszClassName = "X";
    ASSERT_NE(RegisterClass(wc), 0);
    const std::string title = "Zun — ünïcode";
    HWND h = CreateWindowEx(0, "X", title, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE, 50, 60, 200, 100, 0);
    ASSERT_TRUE(h);

    Window xid = 0;
    ASSERT_TRUE(pump_until([&] { return (xid = find_window(probe, title)) != 0; }));
    // The style's hints: Motif decorations and functions (no resize, no maximize).
    {
        Atom motif = XInternAtom(probe, "_MOTIF_WM_HINTS", False), type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        ASSERT_EQ(XGetWindowProperty(probe, xid, motif, 0, 5, False, motif, &type, &format, &n, &after, &data), Success);
        ASSERT_EQ(n, 5u);
        auto* v = reinterpret_cast<long*>(data);
        EXPECT_EQ(v[1], 4 | 8 | 32);        // move, minimize, close
        EXPECT_EQ(v[2], 2 | 8 | 16 | 32);   // border, title, menu, minimize
        XFree(data);
    }
    // The window shows its erased background.
    unsigned long pixel = 0;
    EXPECT_TRUE(pump_until([&] {
        XWindowAttributes a;
        if (!XGetWindowAttributes(probe, xid, &a) || a.map_state != IsViewable) return false;
        XImage* img = XGetImage(probe, xid, 10, 10, 1, 1, AllPlanes, ZPixmap);
        if (!img) return false;
        pixel = XGetPixel(img, 0, 0);
        XDestroyImage(img);
        return (pixel & 0xFFFFFF) == 0xFF0000;
    })) << std::hex << pixel;

    // A click and a key, sent as X events.
    XEvent e{};
    e.xbutton.type = ButtonPress;
    e.xbutton.button = 1;
    e.xbutton.x = 20;
    e.xbutton.y = 30;
    e.xbutton.x_root = 70;
    e.xbutton.y_root = 90;
    e.xbutton.same_screen = True;
    send(probe, xid, e, ButtonPressMask);
    EXPECT_TRUE(pump_until([&] { return !g_seen.empty() && g_seen.back().second == WM_LBUTTONDOWN; }));
    XEvent k{};
    k.xkey.type = KeyPress;
    k.xkey.keycode = XKeysymToKeycode(probe, XK_a);
    k.xkey.same_screen = True;
    send(probe, xid, k, KeyPressMask);
    EXPECT_TRUE(pump_until([&] { return !g_seen.empty() && g_seen.back().second == 'a'; }));

    // An image cursor (made through XRender) and a font cursor are set.
    cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 16, 16);
    HCURSOR cur = CreateImageCursor(img, 8, 8);
    cairo_surface_destroy(img);
    display()->set_cursor(h, cur);
    display()->set_cursor(h, IDC_HAND);
    EXPECT_TRUE(pump_until([] { return true; }));

    // A new theme while running: WM_THEMECHANGED.
    set_settings(probe, manager, xsettings({{"Net/ThemeName", "HighContrast"}}, {}));
    EXPECT_TRUE(pump_until([&] { return !g_seen.empty() && g_seen.back().second == WM_THEMECHANGED; }));
    EXPECT_TRUE(desktop_settings().high_contrast);
    EXPECT_FALSE(desktop_settings().dark);
    EXPECT_EQ(desktop_settings().double_click_time, 500u);

    // The window manager's close request: WM_DELETE_WINDOW, then WM_CLOSE destroys.
    XEvent c{};
    c.xclient.type = ClientMessage;
    c.xclient.message_type = XInternAtom(probe, "WM_PROTOCOLS", False);
    c.xclient.format = 32;
    c.xclient.data.l[0] = static_cast<long>(XInternAtom(probe, "WM_DELETE_WINDOW", False));
    send(probe, xid, c, NoEventMask);
    EXPECT_TRUE(pump_until([&] { return !IsWindow(h); }));
    XCloseDisplay(probe);
    close();
}

}  // namespace
