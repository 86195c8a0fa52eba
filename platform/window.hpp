// The window layer: a small window system of our own keeping the Win32 model
// (window classes and procedures, one message queue with nested loops, timers,
// capture, focus), over a display back end (platform/display.hpp): X11 for
// real windows, the in-memory display for tests.
//
// Names follow Win32 on purpose (CreateWindowEx, SendMessage, DefWindowProc,
// WM_PAINT ...), without the W suffix, so the GUI backend reads like the
// documented window procedures it implements. Differences from Win32:
// - Strings are UTF-8 std::string_view. HWND, HCURSOR, HMONITOR, HDWP are
//   32-bit handles; an HWND carries a generation count, so a stale handle
//   names no window. WPARAM and LPARAM are pointer-sized (a WINDOWPOS* or
//   RECT* travels in lParam as in Win32).
// - An HDC is a cairo_t*. Each window keeps a retained ARGB32 surface of its
//   client size (made at its first paint); BeginPaint hands out a cairo_t on
//   it clipped to the update rectangle. A top-level shows the composition of
//   its windows back to front, each clipped by its ancestors; pixels with
//   alpha show what lies under them. Only damaged rectangles are composed, and
//   presented once per loop turn.
// - Top-levels (no WS_CHILD) and popups are display windows; child windows are
//   rectangles of ours. There is no non-client frame: a window's rectangle is
//   its client area plus its own scroll bars (the window manager's frame is
//   outside the window, as the display's frame extents say).
// - Everything runs on the thread that called open(); only PostMessage and
//   PostThreadMessage may be called from other threads.
// - CS_DBLCLKS double clicks use the desktop settings' time and distance.
// - A blocking GetMessage with nothing left to come (no queued input, no
//   timer, nothing posted) on the in-memory display answers 0 as a WM_QUIT
//   would and counts an idle exit (idle_exits()).
#pragma once
#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zun::win {

class Display;

using HWND = uint32_t;
using HCURSOR = uint32_t;
using HMONITOR = uint32_t;
using HDWP = uint32_t;
using HBRUSH = uint32_t;
using ATOM = uint16_t;
using UINT = uint32_t;
using COLORREF = uint32_t;  // 0x00BBGGRR as Win32
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using HDC = cairo_t*;
using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);
using TIMERPROC = void (*)(HWND, UINT, uintptr_t, uint32_t);

struct POINT {
    int32_t x = 0, y = 0;
    bool operator==(const POINT&) const = default;
};
struct SIZE {
    int32_t cx = 0, cy = 0;
};
struct RECT {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t width() const { return right - left; }
    int32_t height() const { return bottom - top; }
    bool operator==(const RECT&) const = default;
};

struct MSG {
    HWND hwnd = 0;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    uint32_t time = 0;
    POINT pt;
    uint32_t lPrivate = 0;  // a key-down's character for TranslateMessage
};

struct WNDCLASS {
    UINT style = 0;
    WNDPROC lpfnWndProc = nullptr;
    int cbClsExtra = 0;
    int cbWndExtra = 0;  // at most 80: 20 longs
    HCURSOR hCursor = 0;
    HBRUSH hbrBackground = 0;
    std::string lpszClassName;
};

struct CREATESTRUCT {
    void* lpCreateParams;
    HWND hwndParent;
    int32_t cy, cx, y, x;
    uint32_t style;
    std::string_view lpszName;
    std::string_view lpszClass;
    uint32_t dwExStyle;
};

struct WINDOWPOS {
    HWND hwnd;
    HWND hwndInsertAfter;
    int32_t x, y, cx, cy;
    UINT flags;
};

struct PAINTSTRUCT {
    HDC hdc = nullptr;
    bool fErase = false;
    RECT rcPaint;
};

struct SCROLLINFO {
    UINT cbSize = sizeof(SCROLLINFO);
    UINT fMask = 0;
    int32_t nMin = 0, nMax = 0;
    UINT nPage = 0;
    int32_t nPos = 0, nTrackPos = 0;
};

struct TRACKMOUSEEVENT {
    uint32_t cbSize = sizeof(TRACKMOUSEEVENT);
    uint32_t dwFlags = 0;
    HWND hwndTrack = 0;
    uint32_t dwHoverTime = 0;
};

struct MONITORINFO {
    RECT rcMonitor;
    RECT rcWork;
    uint32_t dwFlags = 0;  // MONITORINFOF_PRIMARY
    uint32_t dpi = 96;
    std::string name;
};

struct MINMAXINFO {
    POINT ptReserved, ptMaxSize, ptMaxPosition, ptMinTrackSize, ptMaxTrackSize;
};

// Desktop settings, from XSETTINGS and Xft.dpi on X, set by tests in memory.
struct DesktopSettings {
    uint32_t dpi = 96;
    bool dark = false;
    bool high_contrast = false;
    std::string font_family = "sans-serif";
    double font_points = 9;
    uint32_t double_click_time = 500;      // ms
    uint32_t double_click_distance = 4;    // pixels
    uint32_t caret_blink_time = 530;       // ms
    uint32_t hover_time = 400;             // ms
    // Text rendering, as the X resources (Xft.rgba, Xft.antialias,
    // Xft.hintstyle) or XSETTINGS (Xft/RGBA, Xft/Antialias, Xft/HintStyle)
    // give it: "rgb", "bgr", "vrgb", "vbgr", "none" or "" when not given;
    // antialias 1, 0 or -1 when not given; "hintnone" .. "hintfull" or "".
    std::string text_rgba;
    int text_antialias = -1;
    std::string text_hintstyle;
};

// ---- messages -------------------------------------------------------------
enum : UINT {
    WM_NULL = 0x0000, WM_CREATE = 0x0001, WM_DESTROY = 0x0002, WM_MOVE = 0x0003,
    WM_SIZE = 0x0005, WM_ACTIVATE = 0x0006, WM_SETFOCUS = 0x0007, WM_KILLFOCUS = 0x0008,
    WM_ENABLE = 0x000A, WM_SETTEXT = 0x000C, WM_GETTEXT = 0x000D, WM_PAINT = 0x000F,
    WM_CLOSE = 0x0010, WM_QUIT = 0x0012, WM_ERASEBKGND = 0x0014, WM_SHOWWINDOW = 0x0018,
    WM_SETTINGCHANGE = 0x001A, WM_ACTIVATEAPP = 0x001C, WM_SETCURSOR = 0x0020,
    WM_MOUSEACTIVATE = 0x0021, WM_GETMINMAXINFO = 0x0024, WM_WINDOWPOSCHANGING = 0x0046,
    WM_WINDOWPOSCHANGED = 0x0047, WM_NCCREATE = 0x0081, WM_NCDESTROY = 0x0082,
    WM_NCHITTEST = 0x0084, WM_NCACTIVATE = 0x0086, WM_NCMOUSEMOVE = 0x00A0,
    WM_NCLBUTTONDOWN = 0x00A1, WM_NCLBUTTONUP = 0x00A2, WM_NCLBUTTONDBLCLK = 0x00A3,
    WM_KEYDOWN = 0x0100, WM_KEYUP = 0x0101, WM_CHAR = 0x0102, WM_SYSKEYDOWN = 0x0104,
    WM_SYSKEYUP = 0x0105, WM_SYSCHAR = 0x0106, WM_GESTURE = 0x0119,
    WM_SYSCOMMAND = 0x0112, WM_TIMER = 0x0113, WM_HSCROLL = 0x0114, WM_VSCROLL = 0x0115,
    WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONUP = 0x0202,
    WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204, WM_RBUTTONUP = 0x0205,
    WM_RBUTTONDBLCLK = 0x0206, WM_MBUTTONDOWN = 0x0207, WM_MBUTTONUP = 0x0208,
    WM_MBUTTONDBLCLK = 0x0209, WM_MOUSEWHEEL = 0x020A, WM_XBUTTONDOWN = 0x020B,
    WM_XBUTTONUP = 0x020C, WM_XBUTTONDBLCLK = 0x020D, WM_SIZING = 0x0214,
    WM_CAPTURECHANGED = 0x0215, WM_MOVING = 0x0216, WM_ENTERSIZEMOVE = 0x0231,
    WM_EXITSIZEMOVE = 0x0232, WM_IME_STARTCOMPOSITION = 0x010D,
    WM_IME_ENDCOMPOSITION = 0x010E, WM_IME_COMPOSITION = 0x010F,
    WM_MOUSEHOVER = 0x02A1, WM_MOUSELEAVE = 0x02A3, WM_DPICHANGED = 0x02E0,
    WM_THEMECHANGED = 0x031A, WM_DISPLAYCHANGE = 0x007E, WM_PRINT = 0x0317,
    WM_PRINTCLIENT = 0x0318, WM_USER = 0x0400,
};

// ---- styles ---------------------------------------------------------------
enum : uint32_t {
    WS_OVERLAPPED = 0, WS_POPUP = 0x80000000, WS_CHILD = 0x40000000,
    WS_MINIMIZE = 0x20000000, WS_VISIBLE = 0x10000000, WS_DISABLED = 0x08000000,
    WS_CLIPSIBLINGS = 0x04000000, WS_CLIPCHILDREN = 0x02000000, WS_MAXIMIZE = 0x01000000,
    WS_CAPTION = 0x00C00000, WS_BORDER = 0x00800000, WS_DLGFRAME = 0x00400000,
    WS_VSCROLL = 0x00200000, WS_HSCROLL = 0x00100000, WS_SYSMENU = 0x00080000,
    WS_THICKFRAME = 0x00040000, WS_MINIMIZEBOX = 0x00020000, WS_MAXIMIZEBOX = 0x00010000,
    WS_OVERLAPPEDWINDOW = 0x00CF0000,
    WS_EX_DLGMODALFRAME = 0x1, WS_EX_TOPMOST = 0x8, WS_EX_TRANSPARENT = 0x20, WS_EX_TOOLWINDOW = 0x80,
    WS_EX_APPWINDOW = 0x40000, WS_EX_LAYERED = 0x80000, WS_EX_NOACTIVATE = 0x08000000,
    CS_VREDRAW = 0x1, CS_HREDRAW = 0x2, CS_DBLCLKS = 0x8,
};

enum : int {
    GWLP_WNDPROC = -4, GWLP_HWNDPARENT = -8, GWLP_ID = -12, GWL_STYLE = -16,
    GWL_EXSTYLE = -20, GWLP_USERDATA = -21,
};

// SetWindowPos
enum : UINT {
    SWP_NOSIZE = 0x1, SWP_NOMOVE = 0x2, SWP_NOZORDER = 0x4, SWP_NOREDRAW = 0x8,
    SWP_NOACTIVATE = 0x10, SWP_FRAMECHANGED = 0x20, SWP_SHOWWINDOW = 0x40,
    SWP_HIDEWINDOW = 0x80, SWP_NOOWNERZORDER = 0x200, SWP_NOSENDCHANGING = 0x400,
    SWP_STATECHANGED = 0x8000,
};
constexpr HWND HWND_TOP = 0, HWND_BOTTOM = 1, HWND_TOPMOST = 0xFFFFFFFF,
               HWND_NOTOPMOST = 0xFFFFFFFE;

// ShowWindow
enum : int {
    SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_MAXIMIZE = 3,
    SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_SHOWMINNOACTIVE = 7,
    SW_SHOWNA = 8, SW_RESTORE = 9, SW_SHOWDEFAULT = 10,
};
enum : WPARAM { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };
enum : WPARAM {
    SC_SIZE = 0xF000, SC_MOVE = 0xF010, SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030,
    SC_CLOSE = 0xF060, SC_RESTORE = 0xF120,
};
enum : WPARAM { WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2 };
enum : LRESULT { MA_ACTIVATE = 1, MA_ACTIVATEANDEAT = 2, MA_NOACTIVATE = 3, MA_NOACTIVATEANDEAT = 4 };

// Hit tests
enum : LRESULT {
    HTERROR = -2, HTTRANSPARENT = -1, HTNOWHERE = 0, HTCLIENT = 1, HTCAPTION = 2,
    HTMENU = 5, HTHSCROLL = 6, HTVSCROLL = 7,
};

// Mouse and key state
enum : WPARAM {
    MK_LBUTTON = 0x1, MK_RBUTTON = 0x2, MK_SHIFT = 0x4, MK_CONTROL = 0x8,
    MK_MBUTTON = 0x10, MK_XBUTTON1 = 0x20, MK_XBUTTON2 = 0x40,
};
enum : uint32_t { TME_HOVER = 0x1, TME_LEAVE = 0x2, TME_CANCEL = 0x80000000 };
constexpr uint32_t HOVER_DEFAULT = 0xFFFFFFFF;
constexpr int WHEEL_DELTA = 120;
enum : uint8_t {
    VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_MBUTTON = 0x04, VK_XBUTTON1 = 0x05,
    VK_XBUTTON2 = 0x06, VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10,
    VK_CONTROL = 0x11, VK_MENU = 0x12, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
    VK_DELETE = 0x2E, VK_F1 = 0x70, VK_F12 = 0x7B, VK_F24 = 0x87, VK_LSHIFT = 0xA0,
    VK_RSHIFT = 0xA1, VK_LCONTROL = 0xA2, VK_RCONTROL = 0xA3, VK_LMENU = 0xA4,
    VK_RMENU = 0xA5, VK_PROCESSKEY = 0xE5,
};
enum : UINT { MAPVK_VK_TO_VSC = 0, MAPVK_VK_TO_CHAR = 2, MAPVK_VSC_TO_VK_EX = 3 };

// Scroll bars
enum : int { SB_HORZ = 0, SB_VERT = 1, SB_CTL = 2, SB_BOTH = 3 };
enum : WPARAM {
    SB_LINEUP = 0, SB_LINEDOWN = 1, SB_PAGEUP = 2, SB_PAGEDOWN = 3, SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5, SB_TOP = 6, SB_BOTTOM = 7, SB_ENDSCROLL = 8,
};
enum : UINT {
    SIF_RANGE = 0x1, SIF_PAGE = 0x2, SIF_POS = 0x4, SIF_DISABLENOSCROLL = 0x8,
    SIF_TRACKPOS = 0x10, SIF_ALL = 0x17,
};

// PeekMessage, RedrawWindow, monitors
enum : UINT { PM_NOREMOVE = 0, PM_REMOVE = 1 };
enum : UINT {
    RDW_INVALIDATE = 0x1, RDW_INTERNALPAINT = 0x2, RDW_ERASE = 0x4, RDW_VALIDATE = 0x8,
    RDW_NOERASE = 0x20, RDW_ALLCHILDREN = 0x80, RDW_UPDATENOW = 0x100,
    RDW_ERASENOW = 0x200, RDW_FRAME = 0x400, RDW_NOCHILDREN = 0x40,
};
enum : uint32_t {
    MONITOR_DEFAULTTONULL = 0, MONITOR_DEFAULTTOPRIMARY = 1, MONITOR_DEFAULTTONEAREST = 2,
    MONITORINFOF_PRIMARY = 1,
};
enum : uint32_t { LWA_ALPHA = 0x2, ULW_ALPHA = 0x2 };

// System colours, brushes (a class brush is a colour index + 1, or a solid
// brush from CreateSolidBrush) and cursors (LoadCursor(IDC_...)).
enum : int { COLOR_BACKGROUND = 1, COLOR_WINDOW = 5, COLOR_WINDOWTEXT = 8, COLOR_BTNFACE = 15, COLOR_BTNTEXT = 18 };
enum : HCURSOR {
    IDC_ARROW = 32512, IDC_IBEAM = 32513, IDC_WAIT = 32514, IDC_CROSS = 32515,
    IDC_UPARROW = 32516, IDC_SIZENWSE = 32642, IDC_SIZENESW = 32643, IDC_SIZEWE = 32644,
    IDC_SIZENS = 32645, IDC_SIZEALL = 32646, IDC_NO = 32648, IDC_HAND = 32649,
    IDC_APPSTARTING = 32650, IDC_HELP = 32651,
};

// ---- the layer ------------------------------------------------------------
// Opens the layer on a display; answers false (and keeps no display) when it
// is null. close() destroys every window, class, timer and the display.
bool open(std::unique_ptr<Display> display);
// Opens the display the environment names: ZUN_DISPLAY=memory[:monitors]
// first, else X11 on DISPLAY. Answers false without one; error then says why.
bool open_from_environment(std::string* error = nullptr);
void close();
bool is_open();
Display* display();
// Blocking loops that ended because nothing was left to come.
uint32_t idle_exits();
// What lives in the layer now: after every window is destroyed all are 0.
struct LayerCounts {
    uint32_t windows = 0, timers = 0, image_cursors = 0;
};
LayerCounts layer_counts();
// Milliseconds on the display's clock (virtual on the in-memory display).
uint64_t now_ms();

// Classes
ATOM RegisterClass(const WNDCLASS& wc);
bool UnregisterClass(std::string_view name);
bool GetClassInfo(std::string_view name, WNDCLASS* out);
uint32_t GetClassLong(HWND hwnd, int index);  // GCL_STYLE -26 / GCLP_HCURSOR -12 / GCLP_HBRBACKGROUND -10
std::string GetClassName(HWND hwnd);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
enum : int { GCLP_HBRBACKGROUND = -10, GCLP_HCURSOR = -12, GCL_STYLE = -26 };

// Windows
HWND CreateWindowEx(uint32_t ex_style, std::string_view class_name, std::string_view title,
                    uint32_t style, int32_t x, int32_t y, int32_t cx, int32_t cy, HWND parent,
                    uint32_t id = 0, void* create_params = nullptr);
bool DestroyWindow(HWND hwnd);
// Called for every window DestroyWindow takes, children included, before its
// WM_NCDESTROY: what the owner of a window keeps for it can go with it.
void set_destroy_observer(void (*observer)(HWND));
bool IsWindow(HWND hwnd);
bool IsWindowVisible(HWND hwnd);  // it and its ancestors
bool IsWindowEnabled(HWND hwnd);
bool IsIconic(HWND hwnd);
bool IsZoomed(HWND hwnd);
bool IsChild(HWND parent, HWND hwnd);
bool EnableWindow(HWND hwnd, bool enable);  // answers whether it was disabled
bool ShowWindow(HWND hwnd, int cmd);        // answers whether it was visible
bool SetWindowPos(HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx, int32_t cy,
                  UINT flags);
bool MoveWindow(HWND hwnd, int32_t x, int32_t y, int32_t cx, int32_t cy, bool repaint);
HDWP BeginDeferWindowPos(int count);
HDWP DeferWindowPos(HDWP batch, HWND hwnd, HWND insert_after, int32_t x, int32_t y, int32_t cx,
                    int32_t cy, UINT flags);
bool EndDeferWindowPos(HDWP batch);
HWND SetParent(HWND hwnd, HWND parent);  // parent 0: a top-level
HWND GetParent(HWND hwnd);               // the parent of a child, the owner of a popup
enum : UINT { GA_PARENT = 1, GA_ROOT = 2, GA_ROOTOWNER = 3 };
HWND GetAncestor(HWND hwnd, UINT flags);
enum : UINT { GW_HWNDFIRST = 0, GW_HWNDLAST = 1, GW_HWNDNEXT = 2, GW_HWNDPREV = 3, GW_OWNER = 4, GW_CHILD = 5 };
HWND GetWindow(HWND hwnd, UINT cmd);  // z-order walks, front to back
std::vector<HWND> EnumChildWindows(HWND parent);  // direct children, front to back
std::vector<HWND> EnumWindows();                  // top-levels, front to back
int32_t GetWindowLong(HWND hwnd, int index);
int32_t SetWindowLong(HWND hwnd, int index, int32_t value);  // answers the old value
WNDPROC GetWindowProc(HWND hwnd);
WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc);  // SetWindowLongPtr(GWLP_WNDPROC)
bool SetWindowText(HWND hwnd, std::string_view text);
std::string GetWindowText(HWND hwnd);
bool GetWindowRect(HWND hwnd, RECT* out);  // screen coordinates
bool GetClientRect(HWND hwnd, RECT* out);
bool ClientToScreen(HWND hwnd, POINT* pt);
bool ScreenToClient(HWND hwnd, POINT* pt);
int MapWindowPoints(HWND from, HWND to, POINT* pts, int count);
bool AdjustWindowRectEx(RECT* rect, uint32_t style, bool menu, uint32_t ex_style);
HWND WindowFromPoint(POINT screen);
HWND ChildWindowFromPoint(HWND parent, POINT client);  // direct child or parent, 0 outside
bool GetWindowMinimizedRect(HWND hwnd, RECT* normal);  // the restore rectangle

// Layered windows: constant alpha, or content given whole (ULW_ALPHA).
bool SetLayeredWindowAttributes(HWND hwnd, COLORREF key, uint8_t alpha, uint32_t flags);
bool UpdateLayeredWindow(HWND hwnd, const POINT* screen_pos, const SIZE* size,
                         cairo_surface_t* source, const POINT* source_pt, uint8_t alpha);

// Messages
bool PostMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);  // any thread
bool PostThreadMessage(UINT msg, WPARAM wp, LPARAM lp);       // hwnd 0, any thread
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
int GetMessage(MSG* msg, HWND filter = 0, UINT min = 0, UINT max = 0);
bool PeekMessage(MSG* msg, HWND filter = 0, UINT min = 0, UINT max = 0, UINT remove = PM_REMOVE);
bool TranslateMessage(const MSG* msg);
LRESULT DispatchMessage(const MSG* msg);
void PostQuitMessage(int exit_code);
bool WaitMessage();
uint32_t GetMessagePos();  // y << 16 | x & 0xFFFF, screen pixels
uint32_t GetMessageTime();
int16_t GetKeyState(int vk);       // as of the last message taken: 0x8000 down, 1 toggled
int16_t GetAsyncKeyState(int vk);  // as of now
char32_t MapVirtualKey(UINT code, UINT map_type);
int16_t VkKeyScan(char32_t ch);

// Timers
uintptr_t SetTimer(HWND hwnd, uintptr_t id, UINT ms, TIMERPROC proc);
// A timer for looks only (a caret's blink): it fires as any other, but on the
// in-memory display a loop with nothing else to come still ends idle.
uintptr_t SetCosmeticTimer(HWND hwnd, uintptr_t id, UINT ms);
bool KillTimer(HWND hwnd, uintptr_t id);

// Input state
HWND SetCapture(HWND hwnd);
bool ReleaseCapture();
HWND GetCapture();
bool TrackMouseEvent(TRACKMOUSEEVENT* tme);
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();
bool SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
bool GetCursorPos(POINT* pt);

// Painting
bool InvalidateRect(HWND hwnd, const RECT* rect, bool erase);
bool ValidateRect(HWND hwnd, const RECT* rect);
bool GetUpdateRect(HWND hwnd, RECT* out, bool erase);
bool UpdateWindow(HWND hwnd);
bool RedrawWindow(HWND hwnd, const RECT* rect, UINT flags);
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps);
// The retained client surface (made on demand at the client size), null for
// an empty client area. Drawing into it outside a paint must be followed by
// InvalidateRect with erase false, or by damage_window.
cairo_surface_t* GetWindowSurface(HWND hwnd);
void damage_window(HWND hwnd, const RECT* client_rect);
// The composition of a window and its descendants, as a new ARGB32 surface
// of its window rectangle (PrintWindow): the caller destroys it.
cairo_surface_t* PrintWindow(HWND hwnd);
// Composes and presents every damaged top-level now (done once per loop turn).
void flush_display();
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH GetSysColorBrush(int index);
COLORREF GetSysColor(int index);
bool FillRect(HDC dc, const RECT* rect, HBRUSH brush);

// Cursors and the caret (one per process, never drawn: it places the input
// method's window).
HCURSOR LoadCursor(HCURSOR id);
// An image cursor: an ARGB32 surface (kept by reference) and its hot spot.
HCURSOR CreateImageCursor(cairo_surface_t* image, int32_t hot_x, int32_t hot_y);
bool DestroyCursor(HCURSOR cursor);
cairo_surface_t* cursor_image(HCURSOR cursor, POINT* hot_spot);
HCURSOR SetCursor(HCURSOR cursor);
HCURSOR GetCursor();
bool CreateCaret(HWND hwnd, int32_t width, int32_t height);
bool DestroyCaret();
bool SetCaretPos(int32_t x, int32_t y);
bool GetCaretPos(POINT* pt);
bool ShowCaret(HWND hwnd);
bool HideCaret(HWND hwnd);
HWND caret_window();
// The text of the input method's composition as of the WM_IME_COMPOSITION
// whose lParam is given (the running text for another lParam).
std::u32string ImmGetCompositionString(LPARAM serial = 0);
// The font an input method that draws the composition itself (over the
// spot) draws it in, as LOGFONT gives it: a family, a pixel height (negative:
// the character height), the weight and the slant. Kept for the window's
// top-level and handed to the display.
struct CompositionFont {
    std::string family;
    int32_t height = 0;
    int32_t weight = 400;
    bool italic = false;
    bool operator==(const CompositionFont&) const = default;
};
bool ImmSetCompositionFont(HWND hwnd, const CompositionFont& font);
bool ImmGetCompositionFont(HWND hwnd, CompositionFont* font);
// The composition's place (CFS_POINT): a client point of hwnd, told to the
// display as the spot until the caret moves again.
bool ImmSetCompositionWindow(HWND hwnd, POINT client_point);

// The window's own scroll bars
int SetScrollInfo(HWND hwnd, int bar, const SCROLLINFO* si, bool redraw);
bool GetScrollInfo(HWND hwnd, int bar, SCROLLINFO* si);
int SetScrollPos(HWND hwnd, int bar, int pos, bool redraw);
int GetScrollPos(HWND hwnd, int bar);
bool SetScrollRange(HWND hwnd, int bar, int min, int max, bool redraw);
bool ShowScrollBar(HWND hwnd, int bar, bool show);
int scroll_bar_size(HWND hwnd);  // 17 pixels at 96 DPI, scaled

// Monitors, DPI and desktop settings
std::vector<HMONITOR> EnumDisplayMonitors();
bool GetMonitorInfo(HMONITOR monitor, MONITORINFO* info);
HMONITOR MonitorFromPoint(POINT pt, uint32_t flags);
HMONITOR MonitorFromRect(const RECT* rect, uint32_t flags);
HMONITOR MonitorFromWindow(HWND hwnd, uint32_t flags);
uint32_t GetDpiForWindow(HWND hwnd);
uint32_t GetDpiForMonitor(HMONITOR monitor);
const DesktopSettings& desktop_settings();
// The frame the window manager puts around a top-level (_NET_FRAME_EXTENTS).
RECT frame_extents(HWND hwnd);
// A top-level's title bar in the dark or light theme (the DWM attribute);
// children have none.
void set_title_theme(HWND hwnd, bool dark);

}  // namespace zun::win
