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
    if (m == WM_LBUTTONDOWN || m == WM_KEYDOWN || m == WM_CHAR || m == WM_CLOSE) g_seen.push_back({h, m == WM_CHAR ? UINT(w) : m});
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
    std::string error;
    ASSERT_TRUE(open_from_environment(&error)) << error;
    EXPECT_EQ(display()->name(), "x11");
    ASSERT_EQ(EnumDisplayMonitors().size(), 1u);
    MONITORINFO mi;
    GetMonitorInfo(EnumDisplayMonitors()[0], &mi);
    EXPECT_EQ(mi.rcMonitor, (RECT{0, 0, 1024, 768}));

    WNDCLASS wc;
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = proc;
    wc.hbrBackground = CreateSolidBrush(0x0000FF);  // red, as COLORREF
    wc.lpszClassName = "X";
    ASSERT_NE(RegisterClass(wc), 0);
    const std::string title = "Zun — ünïcode";
    HWND h = CreateWindowEx(0, "X", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 60, 200, 100, 0);
    ASSERT_TRUE(h);

    ::Display* probe = XOpenDisplay(server.display().c_str());
    ASSERT_NE(probe, nullptr);
    Window xid = 0;
    ASSERT_TRUE(pump_until([&] { return (xid = find_window(probe, title)) != 0; }));
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
