// The X11 display: top-levels are X windows showing the layer's composition;
// X events become the layer's input through from_display.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/Xrender.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/display.hpp"
#include "platform/keys.hpp"

namespace zun::win {

// The clipboard's hooks (services/clipboard_x11.cpp): selection events go to
// it first; it hears when the connection is about to close.
bool (*g_x11_event_hook)(XEvent* event) = nullptr;
void (*g_x11_closing_hook)(::Display* connection) = nullptr;

namespace {

std::string g_display_name;

int ignore_x_error(::Display*, XErrorEvent*) { return 0; }  // windows the manager already destroyed ...

int connection_lost(::Display*) {
    std::fprintf(stderr, "*** Didu Error: X connection to %s lost\n", g_display_name.c_str());
    std::exit(1);
}

uint32_t mods_of(unsigned state) {
    uint32_t m = 0;
    if (state & ShiftMask) m |= MOD_SHIFT;
    if (state & ControlMask) m |= MOD_CONTROL;
    if (state & Mod1Mask) m |= MOD_ALT;
    if (state & Mod5Mask) m |= MOD_ALTGR;
    if (state & Mod4Mask) m |= MOD_SUPER;
    if (state & LockMask) m |= MOD_CAPS;
    if (state & Button1Mask) m |= MOD_BUTTON_LEFT;
    if (state & Button2Mask) m |= MOD_BUTTON_MIDDLE;
    if (state & Button3Mask) m |= MOD_BUTTON_RIGHT;
    return m;
}

unsigned font_cursor(HCURSOR c) {
    switch (c) {
        case IDC_IBEAM: return XC_xterm;
        case IDC_HAND: return XC_hand2;
        case IDC_CROSS: return XC_crosshair;
        case IDC_SIZENS: return XC_sb_v_double_arrow;
        case IDC_SIZEWE: return XC_sb_h_double_arrow;
        case IDC_SIZEALL: return XC_fleur;
        case IDC_WAIT: return XC_watch;
        default: return XC_left_ptr;
    }
}

// Popups (menus, drop lists) bypass the window manager and carry one name
// tools and tests find them by.
constexpr const char* k_popup_name = "zun-popup";
bool is_popup(const TopLevelState& st) { return (st.style & WS_POPUP) && (st.ex_style & WS_EX_TOOLWINDOW); }

class X11Display : public Display {
public:
    explicit X11Display(::Display* dpy) : m_dpy(dpy) {
        m_screen = DefaultScreen(dpy);
        m_root = RootWindow(dpy, m_screen);
        const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_NAME", "UTF8_STRING",
                               "_NET_WM_PID", "_NET_FRAME_EXTENTS", "_NET_WM_STATE",
                               "_NET_WM_STATE_MAXIMIZED_VERT", "_NET_WM_STATE_MAXIMIZED_HORZ",
                               "_NET_WM_STATE_HIDDEN", "WM_STATE", "_NET_ACTIVE_WINDOW",
                               "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_UTILITY", "_MOTIF_WM_HINTS",
                               "RESOURCE_MANAGER", "_NET_SUPPORTED", "WM_TRANSIENT_FOR",
                               "_NET_WM_STATE_MODAL", "_XSETTINGS_SETTINGS", "_GTK_THEME_VARIANT"};
        XInternAtoms(dpy, const_cast<char**>(names), k_atoms, False, m_atoms);
        XSelectInput(dpy, m_root, PropertyChangeMask | StructureNotifyMask);
        int error_base;
        m_randr = XRRQueryExtension(dpy, &m_randr_event, &error_base);
        if (m_randr) XRRSelectInput(dpy, m_root, RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
        // the input method opens later (open_im): libX11's own parses the
        // locale's Compose file, two thirds of a first window's start-up
        m_gc = XCreateGC(dpy, m_root, 0, nullptr);
        m_shm = XShmQueryExtension(dpy);
        std::string selection = "_XSETTINGS_S" + std::to_string(m_screen);
        m_xsettings_selection = XInternAtom(dpy, selection.c_str(), False);
        m_compositor_selection = XInternAtom(dpy, ("_NET_WM_CM_S" + std::to_string(m_screen)).c_str(), False);
        read_settings();
    }

    ~X11Display() override {
        if (g_x11_closing_hook) g_x11_closing_hook(m_dpy);
        for (auto& [h, w] : m_windows) release(w);
        for (auto& [c, cur] : m_cursors) XFreeCursor(m_dpy, cur);
        if (m_im) XCloseIM(m_im);
        XFreeGC(m_dpy, m_gc);
        XCloseDisplay(m_dpy);
    }

    std::string_view name() const override { return "x11"; }
    ::Display* connection() const { return m_dpy; }

    static constexpr long k_top_events = ExposureMask | StructureNotifyMask | KeyPressMask | KeyReleaseMask |
                                         ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                                         LeaveWindowMask | FocusChangeMask | PropertyChangeMask;

    void create_toplevel(HWND hwnd, const TopLevelState& st) override {
        XSetWindowAttributes a{};
        a.event_mask = k_top_events;
        a.background_pixmap = None;
        a.bit_gravity = NorthWestGravity;
        a.override_redirect = is_popup(st);
        unsigned long fields = CWEventMask | CWBackPixmap | CWBitGravity | CWOverrideRedirect;
        // A layered window shows what lies under it only through a
        // compositor: then it takes an ARGB visual; else the default one,
        // its pixels over the panel colour (see present).
        Visual* visual = DefaultVisual(m_dpy, m_screen);
        int depth = DefaultDepth(m_dpy, m_screen);
        Colormap colormap = None;
        XVisualInfo argb;
        if (st.layered && compositor_running() && XMatchVisualInfo(m_dpy, m_screen, 32, TrueColor, &argb)) {
            visual = argb.visual, depth = 32;
            a.colormap = colormap = XCreateColormap(m_dpy, m_root, visual, AllocNone);
            a.border_pixel = 0;
            fields |= CWColormap | CWBorderPixel;
        }
        Window xid = XCreateWindow(m_dpy, m_root, st.rect.left, st.rect.top, std::max(1, st.rect.width()),
                                   std::max(1, st.rect.height()), 0, depth, InputOutput, visual, fields, &a);
        XClassHint cls{const_cast<char*>("zun"), const_cast<char*>("Zun")};
        XSetClassHint(m_dpy, xid, &cls);
        XSetWMProtocols(m_dpy, xid, &m_atoms[DELETE], 1);
        long pid = getpid();
        XChangeProperty(m_dpy, xid, m_atoms[PID], XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&pid), 1);
        XWMHints hints{};
        hints.flags = InputHint;
        hints.input = True;
        XSetWMHints(m_dpy, xid, &hints);
        Top& t = m_windows[hwnd];
        t.xid = xid;
        t.visual = visual, t.depth = depth, t.colormap = colormap;
        if (colormap) t.gc = XCreateGC(m_dpy, xid, 0, nullptr);  // the shared GC is for the default depth
        m_by_xid[xid] = hwnd;
        set_style_hints(xid, st);
        if (m_im) attach_ic(hwnd, t, false);
        update_toplevel(hwnd, st);
    }

    void destroy_toplevel(HWND hwnd) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) return;
        m_by_xid.erase(it->second.xid);
        release(it->second);
        m_windows.erase(it);
        XFlush(m_dpy);
    }

    void update_toplevel(HWND hwnd, const TopLevelState& st) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) return;
        Top& t = it->second;
        if (st.title != t.state.title || !t.named) {
            const std::string title = is_popup(st) ? std::string(k_popup_name) : st.title;
            XChangeProperty(m_dpy, t.xid, m_atoms[NET_WM_NAME], m_atoms[UTF8], 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(title.data()), static_cast<int>(title.size()));
            XStoreName(m_dpy, t.xid, title.c_str());
            t.named = true;
        }
        if (st.style != t.state.style || st.ex_style != t.state.ex_style) set_style_hints(t.xid, st);
        if (st.owner != t.state.owner) {
            auto o = m_windows.find(st.owner);
            if (o != m_windows.end()) XSetTransientForHint(m_dpy, t.xid, o->second.xid);
        }
        if (!(st.rect == t.state.rect) && st.rect.width() > 0 && st.rect.height() > 0) {
            XSizeHints size{};
            size.flags = USPosition | USSize | PWinGravity;
            size.x = st.rect.left;
            size.y = st.rect.top;
            size.width = st.rect.width();
            size.height = st.rect.height();
            size.win_gravity = NorthWestGravity;
            if (!(st.style & WS_THICKFRAME)) {
                size.flags |= PMinSize | PMaxSize;
                size.min_width = size.max_width = size.width;
                size.min_height = size.max_height = size.height;
            }
            XSetWMNormalHints(m_dpy, t.xid, &size);
            XMoveResizeWindow(m_dpy, t.xid, st.rect.left, st.rect.top, st.rect.width(), st.rect.height());
        }
        if (st.visible != t.state.visible || st.state != t.state.state) {
            if (!st.visible) XUnmapWindow(m_dpy, t.xid);
            else if (st.state == SIZE_MINIMIZED) XIconifyWindow(m_dpy, t.xid, m_screen);
            else XMapWindow(m_dpy, t.xid);
            if (st.visible && st.state != SIZE_MINIMIZED && (st.state == SIZE_MAXIMIZED) != (t.state.state == SIZE_MAXIMIZED))
                set_maximized(t.xid, st.state == SIZE_MAXIMIZED);
        }
        t.state = st;
        XFlush(m_dpy);
    }

    void restack(const std::vector<HWND>& front_to_back) override {
        std::vector<Window> xids;
        for (HWND h : front_to_back) {
            auto it = m_windows.find(h);
            if (it != m_windows.end() && it->second.state.visible) xids.push_back(it->second.xid);
        }
        if (!xids.empty()) XRestackWindows(m_dpy, xids.data(), static_cast<int>(xids.size()));
    }

    void activate(HWND hwnd) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.state.visible) return;
        Window xid = it->second.xid;
        if (wm_supports(m_atoms[ACTIVE])) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = xid;
            e.xclient.message_type = m_atoms[ACTIVE];
            e.xclient.format = 32;
            e.xclient.data.l[0] = 1;
            e.xclient.data.l[1] = CurrentTime;
            XSendEvent(m_dpy, m_root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        } else if (it->second.mapped) {
            XRaiseWindow(m_dpy, xid);
            XSetInputFocus(m_dpy, xid, RevertToParent, CurrentTime);
        }
        XFlush(m_dpy);
    }

    void set_cursor(HWND hwnd, HCURSOR cursor) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) return;
        auto c = m_cursors.find(cursor);
        if (c == m_cursors.end()) {
            Cursor made = cursor_image(cursor, nullptr) ? image_cursor(cursor) : None;
            if (made == None) made = XCreateFontCursor(m_dpy, font_cursor(cursor));
            c = m_cursors.emplace(cursor, made).first;
        }
        XDefineCursor(m_dpy, it->second.xid, c->second);
    }

    void grab_pointer(HWND hwnd) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) {
            XUngrabPointer(m_dpy, CurrentTime);
        } else if (it->second.mapped || (is_popup(it->second.state) && it->second.state.visible)) {
            XGrabPointer(m_dpy, it->second.xid, True, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                         GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        }
        XFlush(m_dpy);
    }

    // A popup is mapped at once (no window manager), so it can take the
    // keyboard before its MapNotify comes.
    void grab_keyboard(HWND hwnd) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) XUngrabKeyboard(m_dpy, CurrentTime);
        else XGrabKeyboard(m_dpy, it->second.xid, True, GrabModeAsync, GrabModeAsync, CurrentTime);
        XFlush(m_dpy);
    }

    void set_caret(HWND hwnd, RECT r) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.ic) return;
        XPoint spot{static_cast<short>(r.left - it->second.state.rect.left),
                    static_cast<short>(r.bottom - it->second.state.rect.top)};
        XVaNestedList list = XVaCreateNestedList(0, XNSpotLocation, &spot, nullptr);
        XSetICValues(it->second.ic, XNPreeditAttributes, list, nullptr);
        XFree(list);
    }

    // An over-the-spot method draws the composition itself: in a font set of
    // the face font's pixel size (core X fonts seldom have its family).
    void set_composition_font(HWND hwnd, const CompositionFont& font) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.ic || !it->second.over_spot) return;
        Top& t = it->second;
        if (t.font_set && t.composition_font == font) return;  // each composition starts with it
        XFontSet made = font_set(font);
        if (!made) return;
        XVaNestedList list = XVaCreateNestedList(0, XNFontSet, made, nullptr);
        XSetICValues(t.ic, XNPreeditAttributes, list, nullptr);
        XFree(list);
        if (t.font_set) XFreeFontSet(m_dpy, t.font_set);
        t.font_set = made;
        t.composition_font = font;
    }

    XFontSet font_set(const CompositionFont& font) {
        std::string family;
        for (char c : font.family) family += c == '-' || c == ',' ? ' ' : char(std::tolower(static_cast<unsigned char>(c)));
        const std::string px = std::to_string(std::max(1, std::abs(font.height)));
        const std::string pattern = "-*-" + family + "-" + (font.weight >= 600 ? "bold" : "medium") + "-" +
                                    (font.italic ? "i" : "r") + "-normal--" + px + "-*-*-*-*-*-*-*,-*-*-medium-r-normal--" +
                                    px + "-*-*-*-*-*-*-*,-*-*-*-*-*--" + px + "-*-*-*-*-*-*-*,*";
        char** missing = nullptr;
        int missing_count = 0;
        char* fallback = nullptr;
        XFontSet made = XCreateFontSet(m_dpy, pattern.c_str(), &missing, &missing_count, &fallback);
        if (missing) XFreeStringList(missing);
        return made;
    }

    // The damaged part goes out through shared memory on a local server (the
    // composition's rows are copied into the segment), else with XPutImage.
    void present(HWND hwnd, cairo_surface_t* comp, const RECT& d) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) return;
        Top& t = it->second;
        if (t.depth != 24 && t.depth != 32) return;
        int w = cairo_image_surface_get_width(comp), h = cairo_image_surface_get_height(comp);
        RECT r{std::max(0, d.left), std::max(0, d.top), std::min(w, d.right), std::min(h, d.bottom)};
        if (r.right <= r.left || r.bottom <= r.top) return;
        auto uw = static_cast<unsigned>(r.width()), uh = static_cast<unsigned>(r.height());
        const unsigned char* src = cairo_image_surface_get_data(comp);
        int stride = cairo_image_surface_get_stride(comp);
        // translucent pixels on an opaque visual: over the panel colour
        const bool over_panel = t.state.layered && !t.colormap;
        GC gc = t.gc ? t.gc : m_gc;
        if (XImage* shm = shm_image(t, w, h)) {
            for (int y = r.top; y < r.bottom; ++y)
                copy_row(shm->data + y * shm->bytes_per_line + r.left * 4, src + y * stride + r.left * 4, uw, over_panel);
            XShmPutImage(m_dpy, t.xid, gc, shm, r.left, r.top, r.left, r.top, uw, uh, False);
        } else {
            std::vector<char> blended;
            if (over_panel) {
                blended.resize(static_cast<size_t>(stride) * static_cast<size_t>(h));
                for (int y = r.top; y < r.bottom; ++y)
                    copy_row(blended.data() + y * stride + r.left * 4, src + y * stride + r.left * 4, uw, true);
                src = reinterpret_cast<const unsigned char*>(blended.data());
            }
            XImage* img = XCreateImage(m_dpy, t.visual, static_cast<unsigned>(t.depth), ZPixmap, 0,
                                       const_cast<char*>(reinterpret_cast<const char*>(src)), static_cast<unsigned>(w),
                                       static_cast<unsigned>(h), 32, stride);
            if (!img) return;
            XPutImage(m_dpy, t.xid, gc, img, r.left, r.top, r.left, r.top, uw, uh);
            img->data = nullptr;  // the composition's pixels stay the layer's
            XDestroyImage(img);
        }
        XFlush(m_dpy);
    }

    // One row of premultiplied ARGB; over_panel: composed over the panel
    // colour, opaque.
    static void copy_row(char* to, const unsigned char* from, unsigned count, bool over_panel) {
        if (!over_panel) {
            std::memcpy(to, from, count * 4);
            return;
        }
        const COLORREF panel = GetSysColor(COLOR_BTNFACE);
        const uint32_t back[3] = {panel & 0xFF, (panel >> 8) & 0xFF, (panel >> 16) & 0xFF};  // r g b
        for (unsigned i = 0; i < count; ++i) {
            uint32_t px;
            std::memcpy(&px, from + i * 4, 4);
            const uint32_t keep = 255 - (px >> 24);
            uint32_t out = 0xFF000000u;
            for (int c = 0; c < 3; ++c) {
                const int shift = 16 - 8 * c;
                out |= (((px >> shift) & 0xFF) + (back[c] * keep + 127) / 255) << shift;
            }
            std::memcpy(to + i * 4, &out, 4);
        }
    }

    RECT frame_extents(HWND hwnd) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) return {};
        long v[4] = {};
        if (!read_cardinals(it->second.xid, m_atoms[EXTENTS], v, 4)) return {};
        return {static_cast<int32_t>(v[0]), static_cast<int32_t>(v[2]), static_cast<int32_t>(v[1]),
                static_cast<int32_t>(v[3])};
    }

    // What GTK windows set for a dark title bar: window managers and
    // compositors that follow it draw the frame to match.
    void set_title_theme(HWND hwnd, bool dark) override {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end()) return;
        const char* variant = dark ? "dark" : "light";
        XChangeProperty(m_dpy, it->second.xid, m_atoms[THEME_VARIANT], m_atoms[UTF8], 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(variant), static_cast<int>(std::strlen(variant)));
        XFlush(m_dpy);
    }

    uint64_t now_ms() override {
        timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
    }

    void pump() override {
        while (XPending(m_dpy)) {
            XEvent e;
            XNextEvent(m_dpy, &e);
            if (e.type == KeyPress) open_im();
            const XKeyEvent before = e.xkey;  // the method may clear the keycode
            if (XFilterEvent(&e, None)) {
                if (e.type == KeyPress) m_composing_key = before;
                continue;
            }
            handle(e);
        }
    }

    bool wait(uint64_t deadline, int wake_fd) override {
        open_im();
        XFlush(m_dpy);
        if (XPending(m_dpy)) return true;
        pollfd fds[2] = {{ConnectionNumber(m_dpy), POLLIN, 0}, {wake_fd, POLLIN, 0}};
        int timeout = -1;
        if (deadline) {
            uint64_t now = now_ms();
            timeout = deadline > now ? static_cast<int>(std::min<uint64_t>(deadline - now, 1 << 30)) : 0;
        }
        ::poll(fds, wake_fd >= 0 ? 2 : 1, timeout);
        return true;
    }

    std::vector<Monitor> monitors() override {
        std::vector<Monitor> out;
        if (m_randr) {
            int n = 0;
            XRRMonitorInfo* ms = XRRGetMonitors(m_dpy, m_root, True, &n);
            for (int i = 0; i < n; ++i) {
                char* name = ms[i].name ? XGetAtomName(m_dpy, ms[i].name) : nullptr;
                out.push_back({{ms[i].x, ms[i].y, ms[i].x + ms[i].width, ms[i].y + ms[i].height},
                               m_settings.dpi, name ? name : ""});
                if (name) XFree(name);
            }
            if (ms) XRRFreeMonitors(ms);
        }
        if (out.empty())
            out.push_back({{0, 0, DisplayWidth(m_dpy, m_screen), DisplayHeight(m_dpy, m_screen)}, m_settings.dpi, "screen"});
        m_known_monitors = out;
        m_known_size = {DisplayWidth(m_dpy, m_screen), DisplayHeight(m_dpy, m_screen)};
        return out;
    }

    DesktopSettings settings() override { return m_settings; }

    POINT pointer() override {
        Window root, child;
        int rx = 0, ry = 0, wx, wy;
        unsigned mask;
        XQueryPointer(m_dpy, m_root, &root, &child, &rx, &ry, &wx, &wy, &mask);
        return {rx, ry};
    }

private:
    enum Atom_ {
        PROTOCOLS, DELETE, NET_WM_NAME, UTF8, PID, EXTENTS, NET_STATE, MAX_VERT, MAX_HORZ, HIDDEN, WM_STATE_,
        ACTIVE, TYPE, TYPE_UTILITY, MOTIF, RESOURCES, SUPPORTED, TRANSIENT, MODAL, XSETTINGS, THEME_VARIANT, k_atoms
    };
    // An on-the-spot composition: the method hands us its text to show,
    // which the layer reports as the composition of the window.
    struct Preedit {
        HWND hwnd = 0;
        std::u32string text;
    };
    struct Top {
        Window xid = 0;
        XIC ic = nullptr;
        bool over_spot = false;         // the method draws the composition
        XFontSet font_set = nullptr;    // ... in this font set
        CompositionFont composition_font;
        std::unique_ptr<Preedit> preedit;
        TopLevelState state;
        bool named = false;
        bool mapped = false;
        XImage* shm = nullptr;
        XShmSegmentInfo segment{};
        Visual* visual = nullptr;
        int depth = 0;
        Colormap colormap = None;  // an ARGB window's own
        GC gc = nullptr;           // an ARGB window's own
    };

    static int preedit_start(XIC, XPointer data, XPointer) {
        auto* p = reinterpret_cast<Preedit*>(data);
        p->text.clear();
        from_display::composition(p->hwnd, p->text, true);
        return -1;  // no length limit
    }
    static void preedit_draw(XIC, XPointer data, XPointer call) {
        auto* p = reinterpret_cast<Preedit*>(data);
        const auto* d = reinterpret_cast<XIMPreeditDrawCallbackStruct*>(call);
        const size_t first = std::min<size_t>(size_t(std::max(0, d->chg_first)), p->text.size());
        const size_t length = std::min<size_t>(size_t(std::max(0, d->chg_length)), p->text.size() - first);
        std::u32string inserted;
        if (d->text && d->text->length) {
            if (d->text->encoding_is_wchar) {
                for (unsigned short i = 0; i < d->text->length; ++i)
                    inserted += char32_t(d->text->string.wide_char[i]);
            } else if (d->text->string.multi_byte) {
                // the locale is UTF-8 (set up at open)
                inserted = utf8_to_utf32(d->text->string.multi_byte);
            }
        }
        p->text.replace(first, length, inserted);
        from_display::composition(p->hwnd, p->text, true);
    }
    static void preedit_done(XIC, XPointer data, XPointer) {
        auto* p = reinterpret_cast<Preedit*>(data);
        p->text.clear();
        from_display::composition(p->hwnd, p->text, false);
    }
    static void preedit_caret(XIC, XPointer, XPointer) {}

    void attach_ic(HWND hwnd, Top& t, bool focused) {
        t.ic = create_ic(hwnd, t);
        if (!t.ic) return;
        long filter = 0;
        XGetICValues(t.ic, XNFilterEvents, &filter, nullptr);
        XSelectInput(m_dpy, t.xid, k_top_events | filter);
        if (focused) XSetICFocus(t.ic);
    }

    // Once, when the loop first waits or the first key comes, whichever is
    // first: the top-levels made until then get their input contexts.
    void open_im() {
        if (m_im_tried) return;
        m_im_tried = true;
        m_im = XOpenIM(m_dpy, nullptr, nullptr, nullptr);
        if (!m_im) return;
        Window focus = None;
        int revert = 0;
        XGetInputFocus(m_dpy, &focus, &revert);
        for (auto& [hwnd, t] : m_windows) attach_ic(hwnd, t, t.xid == focus);
    }

    // Styles in order of preference: on-the-spot (we get the text), over
    // the spot (the method draws at the caret, see set_caret), then none.
    XIC create_ic(HWND hwnd, Top& t) {
        XIMStyles* styles = nullptr;
        bool callbacks = false, position = false;
        if (!XGetIMValues(m_im, XNQueryInputStyle, &styles, nullptr) && styles) {
            for (unsigned short i = 0; i < styles->count_styles; ++i) {
                const XIMStyle st = styles->supported_styles[i];
                if (!(st & XIMStatusNothing)) continue;
                callbacks = callbacks || (st & XIMPreeditCallbacks);
                position = position || (st & XIMPreeditPosition);
            }
            XFree(styles);
        }
        XIC ic = nullptr;
        if (callbacks) {
            t.preedit = std::make_unique<Preedit>();
            t.preedit->hwnd = hwnd;
            const XPointer data = reinterpret_cast<XPointer>(t.preedit.get());
            XIMCallback start{data, reinterpret_cast<XIMProc>(reinterpret_cast<void (*)()>(preedit_start))};
            XIMCallback draw{data, reinterpret_cast<XIMProc>(preedit_draw)};
            XIMCallback done{data, reinterpret_cast<XIMProc>(preedit_done)};
            XIMCallback caret{data, reinterpret_cast<XIMProc>(preedit_caret)};
            XVaNestedList list = XVaCreateNestedList(0, XNPreeditStartCallback, &start, XNPreeditDrawCallback, &draw,
                                                     XNPreeditDoneCallback, &done, XNPreeditCaretCallback, &caret,
                                                     nullptr);
            ic = XCreateIC(m_im, XNInputStyle, XIMPreeditCallbacks | XIMStatusNothing, XNClientWindow, t.xid,
                           XNFocusWindow, t.xid, XNPreeditAttributes, list, nullptr);
            XFree(list);
            if (!ic) t.preedit.reset();
        }
        if (!ic && position) {
            // many methods want a font set from the start: the desktop font's size
            XPoint spot{0, 0};
            CompositionFont start;
            start.family = m_settings.font_family;
            start.height = -int32_t(m_settings.font_points * m_settings.dpi / 72.0 + 0.5);
            t.font_set = font_set(start);
            XVaNestedList list = t.font_set ? XVaCreateNestedList(0, XNSpotLocation, &spot, XNFontSet, t.font_set, nullptr)
                                            : XVaCreateNestedList(0, XNSpotLocation, &spot, nullptr);
            ic = XCreateIC(m_im, XNInputStyle, XIMPreeditPosition | XIMStatusNothing, XNClientWindow, t.xid,
                           XNFocusWindow, t.xid, XNPreeditAttributes, list, nullptr);
            XFree(list);
            t.over_spot = ic != nullptr;
        }
        if (!ic)
            ic = XCreateIC(m_im, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, t.xid,
                           XNFocusWindow, t.xid, nullptr);
        return ic;
    }

    static int shm_failed(::Display*, XErrorEvent*) {
        s_shm_error = true;
        return 0;
    }
    static inline bool s_shm_error = false;

    // The top-level's shared image of the composition's size; null when the
    // server has no MIT-SHM or cannot attach (a remote server).
    XImage* shm_image(Top& t, int w, int h) {
        if (!m_shm) return nullptr;
        if (t.shm && t.shm->width == w && t.shm->height == h) return t.shm;
        free_shm(t);
        XImage* img = XShmCreateImage(m_dpy, t.visual, static_cast<unsigned>(t.depth), ZPixmap, nullptr,
                                      &t.segment, static_cast<unsigned>(w), static_cast<unsigned>(h));
        if (!img || img->bits_per_pixel != 32) {
            if (img) XDestroyImage(img);
            m_shm = false;
            return nullptr;
        }
        t.segment.shmid = shmget(IPC_PRIVATE, static_cast<size_t>(img->bytes_per_line) * h, IPC_CREAT | 0600);
        void* mem = t.segment.shmid >= 0 ? shmat(t.segment.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
        if (mem == reinterpret_cast<void*>(-1)) {
            if (t.segment.shmid >= 0) shmctl(t.segment.shmid, IPC_RMID, nullptr);
            XDestroyImage(img);
            m_shm = false;
            return nullptr;
        }
        t.segment.shmaddr = img->data = static_cast<char*>(mem);
        t.segment.readOnly = False;
        s_shm_error = false;
        XErrorHandler old = XSetErrorHandler(shm_failed);
        XShmAttach(m_dpy, &t.segment);
        XSync(m_dpy, False);
        XSetErrorHandler(old);
        shmctl(t.segment.shmid, IPC_RMID, nullptr);  // freed once both sides detach
        t.shm = img;
        if (s_shm_error) {
            m_shm = false;
            free_shm(t);
            return nullptr;
        }
        return img;
    }

    void release(Top& t) {
        if (t.ic) XDestroyIC(t.ic);
        if (t.font_set) XFreeFontSet(m_dpy, t.font_set);
        free_shm(t);
        if (t.gc) XFreeGC(m_dpy, t.gc);
        XDestroyWindow(m_dpy, t.xid);
        if (t.colormap) XFreeColormap(m_dpy, t.colormap);
    }

    bool compositor_running() { return XGetSelectionOwner(m_dpy, m_compositor_selection) != None; }

    void free_shm(Top& t) {
        if (!t.shm) return;
        if (!s_shm_error) XShmDetach(m_dpy, &t.segment);
        shmdt(t.segment.shmaddr);
        t.shm->data = nullptr;
        XDestroyImage(t.shm);
        t.shm = nullptr;
    }

    HWND hwnd_of(Window xid) const {
        auto it = m_by_xid.find(xid);
        return it == m_by_xid.end() ? 0 : it->second;
    }

    bool read_cardinals(Window w, Atom prop, long* out, unsigned long count) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_dpy, w, prop, 0, static_cast<long>(count), False, AnyPropertyType, &type, &format, &n,
                               &after, &data) != Success || !data) return false;
        bool ok = format == 32 && n >= count;
        if (ok) std::memcpy(out, data, count * sizeof(long));
        XFree(data);
        return ok;
    }

    std::vector<Atom> read_atoms(Window w, Atom prop) {
        std::vector<Atom> out;
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_dpy, w, prop, 0, 1024, False, XA_ATOM, &type, &format, &n, &after, &data) == Success &&
            data) {
            out.assign(reinterpret_cast<Atom*>(data), reinterpret_cast<Atom*>(data) + n);
            XFree(data);
        }
        return out;
    }

    bool wm_supports(Atom a) {
        std::vector<Atom> s = read_atoms(m_root, m_atoms[SUPPORTED]);
        return std::find(s.begin(), s.end(), a) != s.end();
    }

    // Caption boxes and borders as Motif hints, the tool-window type, a
    // modal frame as the modal state.
    void set_style_hints(Window xid, const TopLevelState& st) {
        enum : long { BORDER = 2, RESIZEH = 4, TITLE = 8, MENU = 16, MINIMIZE = 32, MAXIMIZE = 64 };
        enum : long { F_RESIZE = 2, F_MOVE = 4, F_MINIMIZE = 8, F_MAXIMIZE = 16, F_CLOSE = 32 };
        long decor = 0, functions = F_MOVE | F_CLOSE;
        if (st.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME)) decor |= BORDER;
        if ((st.style & WS_CAPTION) == WS_CAPTION) decor |= TITLE;
        if (st.style & WS_SYSMENU) decor |= MENU;
        if (st.style & WS_THICKFRAME) decor |= RESIZEH, functions |= F_RESIZE;
        if (st.style & WS_MINIMIZEBOX) decor |= MINIMIZE, functions |= F_MINIMIZE;
        if (st.style & WS_MAXIMIZEBOX) decor |= MAXIMIZE, functions |= F_MAXIMIZE;
        long motif[5] = {1 | 2, functions, decor, 0, 0};
        XChangeProperty(m_dpy, xid, m_atoms[MOTIF], m_atoms[MOTIF], 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(motif), 5);
        if (st.ex_style & WS_EX_TOOLWINDOW)
            XChangeProperty(m_dpy, xid, m_atoms[TYPE], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&m_atoms[TYPE_UTILITY]), 1);
        else
            XDeleteProperty(m_dpy, xid, m_atoms[TYPE]);
        bool modal = (st.ex_style & WS_EX_DLGMODALFRAME) != 0;
        auto it = std::find_if(m_windows.begin(), m_windows.end(), [xid](const auto& w) { return w.second.xid == xid; });
        if (it != m_windows.end() && it->second.mapped) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = xid;
            e.xclient.message_type = m_atoms[NET_STATE];
            e.xclient.format = 32;
            e.xclient.data.l[0] = modal ? 1 : 0;
            e.xclient.data.l[1] = static_cast<long>(m_atoms[MODAL]);
            XSendEvent(m_dpy, m_root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
        } else if (modal) {
            XChangeProperty(m_dpy, xid, m_atoms[NET_STATE], XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(&m_atoms[MODAL]), 1);
        }
    }

    // Desktop settings: Xft.dpi, then XSETTINGS when a settings manager runs,
    // else GTK_THEME.
    void read_settings() {
        DesktopSettings s;
        s.dpi = read_xft_dpi();
        read_xft_text(&s);
        const char* theme = std::getenv("GTK_THEME");
        s.dark = theme && std::strstr(theme, ":dark");
        Window owner = XGetSelectionOwner(m_dpy, m_xsettings_selection);
        if (owner != m_xsettings_owner) {
            m_xsettings_owner = owner;
            if (owner) XSelectInput(m_dpy, owner, PropertyChangeMask | StructureNotifyMask);
        }
        if (owner) apply_xsettings(owner, &s);
        m_settings = s;
    }

    void apply_xsettings(Window owner, DesktopSettings* s) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_dpy, owner, m_atoms[XSETTINGS], 0, 1 << 16, False, m_atoms[XSETTINGS], &type,
                               &format, &n, &after, &data) != Success || !data)
            return;
        parse_xsettings(data, n, s);
        XFree(data);
    }

    static void parse_xsettings(const unsigned char* d, size_t size, DesktopSettings* s) {
        if (size < 12) return;
        bool msb = d[0] == 1;  // MSBFirst
        auto card = [&](size_t at, int bytes) -> uint32_t {
            uint32_t v = 0;
            for (int i = 0; i < bytes; ++i) v |= uint32_t(d[at + i]) << (8 * (msb ? bytes - 1 - i : i));
            return v;
        };
        uint32_t count = card(8, 4);
        size_t at = 12;
        auto pad4 = [](size_t v) { return (v + 3) & ~size_t(3); };
        for (uint32_t i = 0; i < count && at + 4 <= size; ++i) {
            uint8_t kind = d[at];
            size_t name_len = card(at + 2, 2);
            size_t name_at = at + 4;
            size_t value_at = name_at + pad4(name_len) + 4;
            if (value_at > size) return;
            std::string name(reinterpret_cast<const char*>(d + name_at), name_len);
            if (kind == 0 && value_at + 4 <= size) {  // integer
                auto v = static_cast<int32_t>(card(value_at, 4));
                if (name == "Net/DoubleClickTime" && v > 0) s->double_click_time = uint32_t(v);
                if (name == "Net/DoubleClickDistance" && v >= 0) s->double_click_distance = uint32_t(v);
                if (name == "Net/CursorBlinkTime" && v >= 0) s->caret_blink_time = uint32_t(v);
                if (name == "Xft/Antialias" && v >= 0) s->text_antialias = v ? 1 : 0;
                at = value_at + 4;
            } else if (kind == 1 && value_at + 4 <= size) {  // string
                size_t len = card(value_at, 4);
                if (value_at + 4 + len > size) return;
                std::string v(reinterpret_cast<const char*>(d + value_at + 4), len);
                if (name == "Net/ThemeName") {
                    std::string lower = v;
                    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                    s->dark = lower.find("dark") != std::string::npos;
                    s->high_contrast = v.rfind("HighContrast", 0) == 0;
                }
                if (name == "Gtk/FontName") set_font(v, s);
                if (name == "Xft/RGBA") s->text_rgba = v;
                if (name == "Xft/HintStyle") s->text_hintstyle = v;
                at = value_at + 4 + pad4(len);
            } else if (kind == 2) {  // colour
                at = value_at + 8;
            } else {
                return;
            }
        }
    }

    // "DejaVu Sans Bold 10": the family and the points after the last blank.
    static void set_font(const std::string& v, DesktopSettings* s) {
        size_t blank = v.rfind(' ');
        double points = blank == std::string::npos ? 0 : std::atof(v.c_str() + blank + 1);
        if (points > 0) {
            s->font_family = v.substr(0, blank);
            s->font_points = points;
        } else if (!v.empty()) {
            s->font_family = v;
        }
    }

    // An ARGB cursor through XRender, from the layer's image and hot spot.
    Cursor image_cursor(HCURSOR cursor) {
        POINT hot;
        cairo_surface_t* img = cursor_image(cursor, &hot);
        XRenderPictFormat* argb = XRenderFindStandardFormat(m_dpy, PictStandardARGB32);
        if (!img || !argb || cairo_image_surface_get_format(img) != CAIRO_FORMAT_ARGB32) return None;
        int w = cairo_image_surface_get_width(img), h = cairo_image_surface_get_height(img);
        cairo_surface_flush(img);
        Pixmap pix = XCreatePixmap(m_dpy, m_root, static_cast<unsigned>(w), static_cast<unsigned>(h), 32);
        GC gc = XCreateGC(m_dpy, pix, 0, nullptr);
        XImage* ximg = XCreateImage(m_dpy, nullptr, 32, ZPixmap, 0,
                                    reinterpret_cast<char*>(cairo_image_surface_get_data(img)), static_cast<unsigned>(w),
                                    static_cast<unsigned>(h), 32, cairo_image_surface_get_stride(img));
        Cursor made = None;
        if (ximg) {
            XPutImage(m_dpy, pix, gc, ximg, 0, 0, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
            ximg->data = nullptr;
            XDestroyImage(ximg);
            Picture pict = XRenderCreatePicture(m_dpy, pix, argb, 0, nullptr);
            made = XRenderCreateCursor(m_dpy, pict, static_cast<unsigned>(std::clamp(hot.x, 0, w - 1)),
                                       static_cast<unsigned>(std::clamp(hot.y, 0, h - 1)));
            XRenderFreePicture(m_dpy, pict);
        }
        XFreeGC(m_dpy, gc);
        XFreePixmap(m_dpy, pix);
        return made;
    }

    void set_maximized(Window xid, bool on) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = xid;
        e.xclient.message_type = m_atoms[NET_STATE];
        e.xclient.format = 32;
        e.xclient.data.l[0] = on ? 1 : 0;
        e.xclient.data.l[1] = static_cast<long>(m_atoms[MAX_VERT]);
        e.xclient.data.l[2] = static_cast<long>(m_atoms[MAX_HORZ]);
        XSendEvent(m_dpy, m_root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    }

    // Xft.rgba, Xft.antialias and Xft.hintstyle of the screen's resources.
    void read_xft_text(DesktopSettings* s) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(m_dpy, m_root, m_atoms[RESOURCES], 0, 1 << 20, False, XA_STRING, &type, &format, &n,
                               &after, &data) != Success || !data)
            return;
        if (XrmDatabase db = XrmGetStringDatabase(reinterpret_cast<char*>(data))) {
            char* kind = nullptr;
            XrmValue v;
            if (XrmGetResource(db, "Xft.rgba", "Xft.Rgba", &kind, &v) && v.addr) s->text_rgba = v.addr;
            if (XrmGetResource(db, "Xft.hintstyle", "Xft.Hintstyle", &kind, &v) && v.addr) s->text_hintstyle = v.addr;
            if (XrmGetResource(db, "Xft.antialias", "Xft.Antialias", &kind, &v) && v.addr) {
                const std::string a = v.addr;
                s->text_antialias = a == "1" || a == "true" || a == "True" || a == "on" ? 1 : 0;
            }
            XrmDestroyDatabase(db);
        }
        XFree(data);
    }

    uint32_t read_xft_dpi() {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char* data = nullptr;
        uint32_t dpi = 96;
        if (XGetWindowProperty(m_dpy, m_root, m_atoms[RESOURCES], 0, 1 << 20, False, XA_STRING, &type, &format, &n,
                               &after, &data) == Success && data) {
            XrmDatabase db = XrmGetStringDatabase(reinterpret_cast<char*>(data));
            char* kind = nullptr;
            XrmValue v;
            if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &kind, &v) && v.addr) {
                double d = std::atof(v.addr);
                if (d >= 24 && d <= 960) dpi = static_cast<uint32_t>(d + 0.5);
            }
            if (db) XrmDestroyDatabase(db);
            XFree(data);
        }
        return dpi;
    }

    static bool same_monitors(const std::vector<Monitor>& a, const std::vector<Monitor>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Monitor& x, const Monitor& y) {
            return x.rect == y.rect && x.dpi == y.dpi && x.name == y.name;
        });
    }

    uint8_t read_state(Window xid) {
        long wm_state[1] = {};
        if (read_cardinals(xid, m_atoms[WM_STATE_], wm_state, 1) && wm_state[0] == IconicState) return SIZE_MINIMIZED;
        std::vector<Atom> s = read_atoms(xid, m_atoms[NET_STATE]);
        auto has = [&](Atom a) { return std::find(s.begin(), s.end(), a) != s.end(); };
        if (has(m_atoms[HIDDEN])) return SIZE_MINIMIZED;
        if (has(m_atoms[MAX_VERT]) && has(m_atoms[MAX_HORZ])) return SIZE_MAXIMIZED;
        return 0;
    }

    void key_event(XKeyEvent& k, HWND hwnd) {
        bool press = k.type == KeyPress;
        // X repeats a held key as release-press pairs; Windows as presses only.
        if (!press && XEventsQueued(m_dpy, QueuedAfterReading)) {
            XEvent next;
            XPeekEvent(m_dpy, &next);
            if (next.type == KeyPress && next.xkey.keycode == k.keycode && next.xkey.time == k.time) return;
        }
        char buf[64];
        KeySym sym = NoSymbol;
        int len = 0;
        Status status = XLookupNone;
        Top& t = m_windows[hwnd];
        if (press && t.ic) {
            len = Xutf8LookupString(t.ic, &k, buf, sizeof buf - 1, &sym, &status);
            if (status == XBufferOverflow) len = 0;
            if (status == XLookupChars) sym = NoSymbol;
            // A dead key or compose sequence ends: the method hands back the
            // last key's press without its keycode, with the composed
            // character's keysym. As on Windows, that key goes down with the
            // composed character (dead_acute e: E, é).
            if ((status == XLookupChars || status == XLookupBoth) && k.keycode == 0 && m_composing_key.keycode &&
                m_composing_key.time == k.time) {
                char ignored[8];
                XLookupString(&m_composing_key, ignored, sizeof ignored, &sym, nullptr);
                k.keycode = m_composing_key.keycode;
            }
            m_composing_key.keycode = 0;
        } else {
            len = XLookupString(&k, buf, sizeof buf - 1, &sym, nullptr);
            if (!press) len = 0;
        }
        std::u32string text = utf8_to_utf32(std::string_view(buf, static_cast<size_t>(std::max(len, 0))));
        auto scan = static_cast<uint16_t>(k.keycode >= 8 ? k.keycode - 8 : 0);
        if (sym == NoSymbol) {
            if (!text.empty()) from_display::text(text);
            return;
        }
        from_display::key(static_cast<uint32_t>(sym), press, mods_of(k.state), text.empty() ? 0 : text[0], true, scan);
        if (text.size() > 1) from_display::text(std::u32string_view(text).substr(1));
    }

    void handle(XEvent& e) {
        if (g_x11_event_hook && g_x11_event_hook(&e)) return;
        if (e.type == MappingNotify) {  // xmodmap, setxkbmap: keys map anew
            XRefreshKeyboardMapping(&e.xmapping);
            return;
        }
        // A size, CRTC or output change comes as RandR events; a monitor
        // edit (xrandr --setmonitor) only as the root's ConfigureNotify. Each
        // change brings several: the layer hears once of a change of the
        // monitors or of the screen's size.
        const bool randr = m_randr && (e.type == m_randr_event + RRScreenChangeNotify || e.type == m_randr_event + RRNotify);
        if (randr || (e.type == ConfigureNotify && e.xconfigure.window == m_root)) {
            XRRUpdateConfiguration(&e);
            const std::vector<Monitor> known = m_known_monitors;
            const POINT size = m_known_size;
            if (!same_monitors(known, monitors()) || !(size == m_known_size)) from_display::monitors_changed();
            return;
        }
        bool settings_owner = m_xsettings_owner && e.xany.window == m_xsettings_owner;
        if ((e.type == PropertyNotify && (e.xproperty.window == m_root || settings_owner) &&
             (e.xproperty.atom == m_atoms[RESOURCES] || e.xproperty.atom == m_atoms[XSETTINGS])) ||
            (e.type == DestroyNotify && settings_owner) ||
            (e.type == ClientMessage && e.xany.window == m_root)) {
            uint32_t dpi = m_settings.dpi;
            read_settings();
            from_display::settings_changed();
            if (dpi != m_settings.dpi) from_display::monitors_changed();  // every monitor has that DPI
            return;
        }
        if (e.xany.window == m_root || settings_owner) return;
        HWND hwnd = hwnd_of(e.xany.window);
        if (!hwnd) return;
        Top& t = m_windows[hwnd];
        switch (e.type) {
            case Expose:
                if (e.xexpose.count == 0) from_display::expose(hwnd);
                break;
            case MapNotify:
                t.mapped = true;
                break;
            case UnmapNotify:
                t.mapped = false;
                break;
            case ConfigureNotify: {
                int x = e.xconfigure.x, y = e.xconfigure.y;
                if (!e.xconfigure.send_event) {
                    Window child;
                    XTranslateCoordinates(m_dpy, t.xid, m_root, 0, 0, &x, &y, &child);
                }
                RECT r{x, y, x + e.xconfigure.width, y + e.xconfigure.height};
                t.state.rect = r;
                from_display::configure(hwnd, r);
                break;
            }
            case MotionNotify:
                from_display::pointer_move({e.xmotion.x_root, e.xmotion.y_root}, mods_of(e.xmotion.state) | m_xbuttons);
                break;
            case LeaveNotify:
                if (e.xcrossing.mode == NotifyNormal)
                    from_display::pointer_move({e.xcrossing.x_root, e.xcrossing.y_root}, mods_of(e.xcrossing.state));
                break;
            case ButtonPress:
            case ButtonRelease: {
                auto b = static_cast<int>(e.xbutton.button);
                uint32_t bit = b == 8 ? uint32_t(MOD_BUTTON_X1) : b == 9 ? uint32_t(MOD_BUTTON_X2) : 0u;
                from_display::button({e.xbutton.x_root, e.xbutton.y_root}, b, e.type == ButtonPress,
                                     mods_of(e.xbutton.state) | m_xbuttons);
                m_xbuttons = e.type == ButtonPress ? (m_xbuttons | bit) : (m_xbuttons & ~bit);
                break;
            }
            case KeyPress:
            case KeyRelease:
                key_event(e.xkey, hwnd);
                break;
            case FocusIn:
            case FocusOut:
                if (e.xfocus.mode == NotifyGrab || e.xfocus.mode == NotifyUngrab) break;
                if (t.ic) (e.type == FocusIn ? XSetICFocus : XUnsetICFocus)(t.ic);
                from_display::focus(hwnd, e.type == FocusIn);
                break;
            case ClientMessage:
                if (e.xclient.message_type == m_atoms[PROTOCOLS] &&
                    static_cast<Atom>(e.xclient.data.l[0]) == m_atoms[DELETE])
                    from_display::close_request(hwnd);
                break;
            case PropertyNotify:
                if (e.xproperty.atom == m_atoms[WM_STATE_] || e.xproperty.atom == m_atoms[NET_STATE]) {
                    uint8_t s = read_state(t.xid);
                    if (s != t.state.state) {
                        t.state.state = s;
                        from_display::state_changed(hwnd, s);
                    }
                }
                break;
            default:
                break;
        }
    }

    ::Display* m_dpy;
    int m_screen;
    Window m_root;
    Atom m_atoms[k_atoms];
    bool m_randr = false;
    int m_randr_event = 0;
    XIM m_im = nullptr;
    bool m_im_tried = false;
    XKeyEvent m_composing_key{};  // the last press the input method took
    GC m_gc;
    DesktopSettings m_settings;
    std::map<HWND, Top> m_windows;
    std::map<Window, HWND> m_by_xid;
    std::map<HCURSOR, Cursor> m_cursors;
    bool m_shm = false;
    Atom m_xsettings_selection = 0;
    Atom m_compositor_selection = 0;
    Window m_xsettings_owner = 0;
    uint32_t m_xbuttons = 0;
    std::vector<Monitor> m_known_monitors;  // as last read, with the screen's size
    POINT m_known_size{};
};

void set_locale_for_input() {
    // Only the character type: number formatting stays "C".
    const char* l = std::setlocale(LC_CTYPE, "");
    if (!l || std::strcmp(l, "C") == 0 || std::strcmp(l, "POSIX") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
    XSetLocaleModifiers("");
}

}  // namespace

::Display* x11_connection(Display* display) {
    auto* x = dynamic_cast<X11Display*>(display);
    return x ? x->connection() : nullptr;
}

std::unique_ptr<Display> open_x11_display(std::string* error) {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) {
        if (error) *error = "X display (DISPLAY is not set)";
        return nullptr;
    }
    set_locale_for_input();
    ::Display* dpy = XOpenDisplay(name);
    if (!dpy) {
        if (error) *error = std::string("X display ") + name;
        return nullptr;
    }
    g_display_name = name;
    XSetErrorHandler(ignore_x_error);
    XSetIOErrorHandler(connection_lost);
    return std::make_unique<X11Display>(dpy);
}

}  // namespace zun::win
