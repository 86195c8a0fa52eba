// The dialog frame: window, placement, dialog keys and the modal loop.
#include "platform/dialogs/dialog_frame.hpp"

#include <glib.h>

#include <cmath>

#include "platform/controls/combobox.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/display_memory.hpp"

namespace zun::win::dialogs {

namespace {

constexpr const char* k_class = "ZunDialog";
OpenHook g_hook = nullptr;
HWND g_current = 0;

void register_class() {
    WNDCLASS probe;
    // the controls come with the layer's first dialog when nothing made them yet
    if (!GetClassInfo(WC_BUTTON, &probe)) register_system_controls();
    if (GetClassInfo(k_class, &probe)) return;
    WNDCLASS wc;
    wc.lpfnWndProc = nullptr;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.hCursor = LoadCursor(IDC_ARROW);
    wc.lpszClassName = k_class;
    wc.cbWndExtra = 0;
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT { return DefWindowProc(h, m, w, l); };
    RegisterClass(wc);
}

bool is_class(HWND hwnd, std::string_view name) { return GetClassName(hwnd) == name; }

bool tab_stop(HWND hwnd) {
    const uint32_t style = static_cast<uint32_t>(GetWindowLong(hwnd, GWL_STYLE));
    return (style & WS_TABSTOP) && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd);
}

char32_t folded_letter(char32_t c) { return static_cast<char32_t>(g_unichar_tolower(static_cast<gunichar>(c))); }

// The letter after a single "&" in a label, 0 when none.
char32_t mnemonic_of(std::string_view text) {
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '&') {
            if (text[i + 1] == '&') {
                ++i;
                continue;
            }
            return folded_letter(g_utf8_get_char(text.data() + i + 1));
        }
    return 0;
}

}  // namespace

void set_open_hook(OpenHook hook) { g_hook = hook; }
HWND current() { return IsWindow(g_current) ? g_current : 0; }
HWND control(uint32_t id) {
    for (HWND c : EnumChildWindows(current()))
        if (static_cast<uint32_t>(GetWindowLong(c, GWLP_ID)) == id) return c;
    return 0;
}

std::string text_of(HWND hwnd) { return GetWindowText(hwnd); }

std::string row_text(HWND list, int row, bool combo) {
    const LRESULT n = SendMessage(list, combo ? UINT(CB_GETLBTEXTLEN) : UINT(LB_GETTEXTLEN), static_cast<WPARAM>(row), 0);
    if (n < 0) return {};
    std::string s(static_cast<size_t>(n) + 1, '\0');
    SendMessage(list, combo ? UINT(CB_GETLBTEXT) : UINT(LB_GETTEXT), static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(s.data()));
    s.resize(static_cast<size_t>(n));
    return s;
}

Dialog::~Dialog() {
    if (IsWindow(m_hwnd)) DestroyWindow(m_hwnd);
    if (g_current == m_hwnd) g_current = 0;
}

int Dialog::px(double logical) const { return static_cast<int>(std::lround(logical * m_dpi / 96.0)); }

void Dialog::create(std::string_view title, int width, int height) {
    register_class();
    const HWND active = GetActiveWindow();
    m_owner = active ? GetAncestor(active, GA_ROOT) : 0;
    // centred on the owner, else on the monitor under the pointer
    RECT around;
    if (m_owner) {
        GetWindowRect(m_owner, &around);
    } else {
        POINT p;
        GetCursorPos(&p);
        MONITORINFO info;
        GetMonitorInfo(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST), &info);
        around = info.rcWork;
    }
    const POINT centre{(around.left + around.right) / 2, (around.top + around.bottom) / 2};
    m_dpi = GetDpiForMonitor(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST));
    const int w = px(width), h = px(height);
    int x = centre.x - w / 2, y = centre.y - h / 2;
    MONITORINFO info;
    if (GetMonitorInfo(MonitorFromPoint(centre, MONITOR_DEFAULTTONEAREST), &info)) {
        // keep the caption on the monitor
        x = std::max(info.rcWork.left, std::min(x, info.rcWork.right - w));
        y = std::max(info.rcWork.top, std::min(y, info.rcWork.bottom - h));
    }
    m_hwnd = CreateWindowEx(WS_EX_DLGMODALFRAME, k_class, title, WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN,
                            x, y, w, h, m_owner);
    SetWindowProc(m_hwnd, CALLBACK_proc);
    g_current = m_hwnd;
}

HWND Dialog::add(const char* cls, std::string_view text, uint32_t style, int x, int y, int w, int h, uint32_t id,
                 uint32_t ex_style) {
    const HWND c = CreateWindowEx(ex_style, cls, text, WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w), px(h),
                                  m_hwnd, id);
    m_controls.push_back(c);
    return c;
}

HWND Dialog::item(uint32_t id) const {
    for (HWND c : m_controls)
        if (static_cast<uint32_t>(GetWindowLong(c, GWLP_ID)) == id) return c;
    return 0;
}

void Dialog::end(bool ok) {
    m_done = true;
    m_ok = ok;
}

// The window procedure finds its dialog through the table of open dialogs
// (nested dialogs are possible from a paint handler of another window).
namespace {
std::vector<std::pair<HWND, Dialog*>> g_open;
Dialog* dialog_of(HWND hwnd) {
    for (auto& [h, d] : g_open)
        if (h == hwnd) return d;
    return nullptr;
}
}  // namespace

LRESULT Dialog::CALLBACK_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Dialog* d = dialog_of(hwnd);
    if (!d) return DefWindowProc(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_COMMAND:
            if (lp) d->command(static_cast<uint32_t>(wp & 0xFFFFu), static_cast<UINT>(wp >> 16), static_cast<HWND>(lp));
            return 0;
        case WM_CLOSE: d->end(false); return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (dc) {
                RECT r;
                GetClientRect(hwnd, &r);
                FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
                d->paint(dc);
            }
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN:
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP:
            if (msg == WM_LBUTTONDOWN) SetCapture(hwnd);
            if (msg == WM_LBUTTONUP && GetCapture() == hwnd) ReleaseCapture();
            if (msg != WM_MOUSEMOVE || (wp & MK_LBUTTON))
                d->pointer(msg, POINT{controls::x_of(lp), controls::y_of(lp)});
            return 0;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

void Dialog::move_focus(bool back) {
    const HWND focus = GetFocus();
    const int n = static_cast<int>(m_controls.size());
    int at = -1;
    for (int i = 0; i < n; ++i)
        if (m_controls[i] == focus || IsChild(m_controls[i], focus)) at = i;
    for (int k = 1; k <= n; ++k) {
        const int i = ((at < 0 ? (back ? 0 : -1) : at) + (back ? -k : k) % n + n) % n;
        if (tab_stop(m_controls[i])) {
            SetFocus(m_controls[i]);
            if (is_class(m_controls[i], WC_EDIT)) SendMessage(m_controls[i], EM_SETSEL, 0, -1);
            return;
        }
    }
}

bool Dialog::mnemonic(char32_t letter) {
    letter = folded_letter(letter);
    for (size_t i = 0; i < m_controls.size(); ++i) {
        const HWND c = m_controls[i];
        if (!IsWindowVisible(c) || mnemonic_of(text_of(c)) != letter) continue;
        if (is_class(c, WC_STATIC)) {
            // a label gives the focus to the next control that takes it
            for (size_t j = i + 1; j < m_controls.size(); ++j)
                if (tab_stop(m_controls[j])) {
                    SetFocus(m_controls[j]);
                    break;
                }
        } else if (is_class(c, WC_BUTTON) && IsWindowEnabled(c)) {
            // a push button is pressed where the focus is; others take it
            const uint32_t type = static_cast<uint32_t>(GetWindowLong(c, GWL_STYLE)) & BS_TYPEMASK;
            if (type <= BS_DEFPUSHBUTTON) {
                command(static_cast<uint32_t>(GetWindowLong(c, GWLP_ID)), BN_CLICKED, c);
            } else {
                SetFocus(c);
                SendMessage(c, BM_CLICK, 0, 0);
            }
        }
        return true;
    }
    return false;
}

bool Dialog::dialog_key(const MSG& m) {
    if (m.message == WM_SYSKEYDOWN && (GetKeyState(VK_MENU) & 0x8000)) {
        const WPARAM vk = m.wParam;
        if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return mnemonic(static_cast<char32_t>(vk));
        return false;
    }
    if (m.message != WM_KEYDOWN) return false;
    const HWND focus = GetFocus();
    const bool dropped = focus && (is_class(focus, WC_COMBOBOX) || is_class(GetParent(focus), WC_COMBOBOX)) &&
                         SendMessage(is_class(focus, WC_COMBOBOX) ? focus : GetParent(focus), CB_GETDROPPEDSTATE, 0, 0);
    switch (m.wParam) {
        case VK_TAB: move_focus(GetKeyState(VK_SHIFT) & 0x8000); return true;
        case VK_ESCAPE:
            if (dropped) return false;
            end(false);
            return true;
        case VK_RETURN: {
            if (dropped) return false;
            if (enter(focus)) return true;
            // a focused push button is the one Enter presses
            if (focus && is_class(focus, WC_BUTTON) &&
                (static_cast<uint32_t>(GetWindowLong(focus, GWL_STYLE)) & BS_TYPEMASK) <= BS_DEFPUSHBUTTON) {
                SendMessage(focus, BM_CLICK, 0, 0);
                return true;
            }
            for (HWND c : m_controls)
                if (is_class(c, WC_BUTTON) &&
                    (static_cast<uint32_t>(GetWindowLong(c, GWL_STYLE)) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
                    if (IsWindowEnabled(c)) command(static_cast<uint32_t>(GetWindowLong(c, GWLP_ID)), BN_CLICKED, c);
                    return true;
                }
            return true;
        }
        default: return key(m);
    }
}

bool Dialog::run() {
    g_open.emplace_back(m_hwnd, this);
    if (m_owner) EnableWindow(m_owner, false);
    ShowWindow(m_hwnd, SW_SHOW);
    SetActiveWindow(m_hwnd);
    if (const HWND f = first_focus()) {
        SetFocus(f);
        SendMessage(f, EM_SETSEL, 0, -1);
    } else {
        move_focus(false);
    }
    UpdateWindow(m_hwnd);
    flush_display();
    int turn = 0;
    if (g_hook) g_hook(m_hwnd, turn++);
    // on the in-memory display the dialog ends as Cancel once its input is
    // used up (a caret's blink timer would keep it waiting for ever)
    const auto* memory = dynamic_cast<const MemoryDisplay*>(display());
    MSG m;
    while (!m_done) {
        if (memory && !memory->queued() && !PeekMessage(&m, 0, 0, 0, PM_NOREMOVE)) {
            flush_display();
            if (g_hook) g_hook(m_hwnd, turn++);
            if (!memory->queued()) break;
        }
        const uint32_t idle = idle_exits();
        const int got = GetMessage(&m);
        if (got <= 0) {
            // a quit meant for an outer loop goes back to it
            if (got == 0 && idle_exits() == idle) PostQuitMessage(static_cast<int>(m.wParam));
            m_ok = false;
            break;
        }
        const bool ours = m.hwnd == m_hwnd || IsChild(m_hwnd, m.hwnd);
        if (ours && dialog_key(m)) continue;
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    // the owner is enabled before the dialog goes, so it takes the activation
    if (m_owner) {
        EnableWindow(m_owner, true);
        SetActiveWindow(m_owner);
    }
    ShowWindow(m_hwnd, SW_HIDE);
    std::erase_if(g_open, [this](const auto& e) { return e.second == this; });
    return m_ok;
}

}  // namespace zun::win::dialogs
