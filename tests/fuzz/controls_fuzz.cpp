// libFuzzer target: the standard control classes on the in-memory display.
// Each input makes one control of every class (styles from the first bytes),
// then every further operation byte injects input (clicks, drags, keys,
// time), sends a class's messages with values or records from the input,
// enables, resizes, refocuses, re-creates or themes the controls. The parent
// answers notifications from the input and may destroy the sender inside
// one. A crash, a hang or a sanitizer report is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/controls/calendar.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/controls/imagelist.hpp"
#include "platform/controls/tabcontrol.hpp"
#include "platform/controls/trackbar.hpp"
#include "platform/display_memory.hpp"

using namespace zun::win;

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    size_t at = 0;
    bool done() const { return at >= n; }
    uint8_t byte() { return at < n ? p[at++] : 0; }
    int32_t word() { return int16_t(byte() | byte() << 8); }
};

const char* const CLASSES[] = {WC_BUTTON, WC_STATIC, PROGRESS_CLASS, WC_SCROLLBAR,
                               TRACKBAR_CLASS, WC_TABCONTROL, MONTHCAL_CLASS};
constexpr size_t k_classes = sizeof CLASSES / sizeof CLASSES[0];

const char* const KEYS[] = {"Left", "Right", "Up", "Down", "Page_Up", "Page_Down", "Home", "End", "space",
                            "Return", "ctrl+Page_Down", "ctrl+Page_Up", "a", "Tab"};

// Messages worth sending per class, with plain values.
const UINT MESSAGES[] = {
    BM_SETCHECK, BM_SETSTATE, BM_SETSTYLE, BM_CLICK, BM_GETSTATE, PBM_SETRANGE, PBM_SETPOS, PBM_DELTAPOS,
    PBM_SETSTEP, PBM_STEPIT, PBM_SETRANGE32, SBM_SETPOS, SBM_SETRANGE, SBM_SETRANGEREDRAW, TBM_SETPOS,
    TBM_SETRANGE, TBM_SETRANGEMIN, TBM_SETRANGEMAX, TBM_SETTICFREQ, TBM_SETPAGESIZE, TBM_SETLINESIZE,
    TCM_DELETEITEM, TCM_DELETEALLITEMS, TCM_SETCURSEL, TCM_SETCURFOCUS, MCM_SETCOLOR, MCM_SETFIRSTDAYOFWEEK,
    WM_SETFONT, WM_ENABLE, WM_KEYDOWN, WM_KEYUP, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_MOUSEMOVE, WM_MOUSEWHEEL,
    WM_CAPTURECHANGED, WM_TIMER,
};

struct State {
    MemoryDisplay* display = nullptr;
    HWND top = 0;
    HWND controls[k_classes] = {};
    bool refuse = false;          // TCN_SELCHANGING's answer
    bool destroy_sender = false;  // the next notifying control is destroyed inside it
    HIMAGELIST images = 0;
    HFONT font = 0;
};
State g;

LRESULT CALLBACK_parent(HWND h, UINT m, WPARAM w, LPARAM l) {
    HWND sender = 0;
    if (m == WM_COMMAND || m == WM_HSCROLL || m == WM_VSCROLL) sender = static_cast<HWND>(l);
    if (m == WM_NOTIFY) {
        auto* hdr = reinterpret_cast<const NMHDR*>(l);
        if (hdr->code == TCN_SELCHANGING) return g.refuse;
        if (hdr->code != static_cast<UINT>(NM_CUSTOMDRAW)) sender = hdr->hwndFrom;
    }
    if (sender && g.destroy_sender) {
        g.destroy_sender = false;
        DestroyWindow(sender);
        return 0;
    }
    return DefWindowProc(h, m, w, l);
}

void pump() {
    MSG m;
    for (int guard = 0; guard < 2000; ++guard) {
        while (PeekMessage(&m)) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
        if (!g.display->queued()) break;
        if (GetMessage(&m) <= 0) break;
        TranslateMessage(&m);
        DispatchMessage(&m);
    }
    flush_display();
}

void open_once() {
    if (g.display) return;
    auto d = std::make_unique<MemoryDisplay>();
    g.display = d.get();
    open(std::move(d));
    // The windows' surfaces go before the layer's statics that hold them
    // (the font and image list tables free their own).
    std::atexit([] { close(); });
    register_system_controls();
    WNDCLASS wc;
    wc.lpfnWndProc = CALLBACK_parent;
    wc.lpszClassName = "FuzzParent";
    RegisterClass(wc);
    g.top = CreateWindowEx(0, "FuzzParent", "fuzz", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 300, 0);
    g.images = ImageList_Create(8, 8, ILC_COLOR32, 6, 0);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 48, 8);
    ImageList_Add(g.images, s, nullptr);
    cairo_surface_destroy(s);
    g.font = CreateFontFromDescription("DejaVu Sans 14");
}

HWND create(size_t k, Input& in) {
    uint32_t style = WS_CHILD | WS_VISIBLE | (uint32_t(in.byte()) | uint32_t(in.byte()) << 8);
    uint32_t ex = (in.byte() & 1) ? WS_EX_CLIENTEDGE : 0;
    int x = in.byte() % 200, y = in.byte() % 150, w = in.byte(), h = in.byte();
    return CreateWindowEx(ex, CLASSES[k], "Te&xt && more", style, x, y, w, h, g.top, uint32_t(k + 1));
}

// A message carrying a record: the tab items, the calendar's dates and
// rectangles, scroll information, a button's image list.
void send_record(HWND c, Input& in) {
    switch (in.byte() % 9) {
        case 0:
        case 1: {
            TCITEMW item;
            item.mask = in.byte();
            item.pszText = const_cast<char*>((in.byte() & 1) ? "Tab title" : "é");
            item.lParam = in.word();
            SendMessage(c, (in.byte() & 1) ? TCM_INSERTITEMW : TCM_SETITEMW, WPARAM(in.word()), reinterpret_cast<LPARAM>(&item));
            break;
        }
        case 2: {
            char buf[8];
            TCITEMW item;
            item.mask = TCIF_TEXT | TCIF_PARAM;
            item.pszText = buf;
            item.cchTextMax = in.byte() % 9;
            SendMessage(c, TCM_GETITEMW, WPARAM(in.word()), reinterpret_cast<LPARAM>(&item));
            break;
        }
        case 3: {
            SYSTEMTIME st;
            st.wYear = uint16_t(in.word());
            st.wMonth = in.byte() % 14;
            st.wDay = in.byte() % 33;
            SendMessage(c, (in.byte() & 1) ? MCM_SETCURSEL : MCM_SETTODAY, 0, reinterpret_cast<LPARAM>(&st));
            break;
        }
        case 4: {
            RECT r{in.word(), in.word(), in.word(), in.word()};
            const UINT rect_msgs[] = {TCM_ADJUSTRECT, TCM_GETITEMRECT, MCM_GETMINREQRECT, TBM_GETTHUMBRECT,
                                      TBM_GETCHANNELRECT};
            SendMessage(c, rect_msgs[in.byte() % 5], WPARAM(in.word()), reinterpret_cast<LPARAM>(&r));
            break;
        }
        case 5: {
            SCROLLINFO si;
            si.fMask = in.byte();
            si.nMin = in.word(), si.nMax = in.word(), si.nPage = UINT(in.word()), si.nPos = in.word();
            SendMessage(c, SBM_SETSCROLLINFO, in.byte() & 1, reinterpret_cast<LPARAM>(&si));
            break;
        }
        case 6: {
            BUTTON_IMAGELIST il;
            uint8_t which = in.byte() % 3;
            il.himl = which == 0 ? g.images : which == 1 ? HIMAGELIST_NONE : HIMAGELIST(in.byte());
            il.uAlign = in.byte() % 6;
            il.margin = {in.byte() % 20, in.byte() % 20, in.byte() % 20, in.byte() % 20};
            SendMessage(c, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&il));
            break;
        }
        case 7: {
            TCHITTESTINFO info;
            info.pt = {in.word(), in.word()};
            SendMessage(c, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&info));
            break;
        }
        default: {
            SYSTEMTIME st;
            SendMessage(c, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&st));
            break;
        }
    }
}

void step(Input& in) {
    size_t k = in.byte() % k_classes;
    HWND c = g.controls[k];
    if (!IsWindow(c)) c = g.controls[k] = create(k, in);
    int x = in.byte() % 420, y = in.byte() % 320;
    switch (in.byte() % 16) {
        case 0: g.display->click(x, y); break;
        case 1: g.display->move(x, y); break;
        case 2: g.display->press(); break;
        case 3: g.display->release(); break;
        case 4: g.display->key(KEYS[in.byte() % (sizeof KEYS / sizeof KEYS[0])]); break;
        case 5: g.display->advance(in.byte() * 4); break;
        case 6: {
            UINT msg = MESSAGES[in.byte() % (sizeof MESSAGES / sizeof MESSAGES[0])];
            // Another class's PBM_GETRANGE: lParam would be a pointer.
            if (msg == TBM_SETRANGEMIN && k != 4) break;
            WPARAM wp = msg == WM_SETFONT ? (in.byte() & 1 ? g.font : 0) : WPARAM(in.word());
            SendMessage(c, msg, wp, LPARAM(in.word()) | LPARAM(in.word()) << 16);
            break;
        }
        case 7: send_record(c, in); break;
        case 8: EnableWindow(c, !IsWindowEnabled(c)); break;
        case 9: SetWindowPos(c, 0, x / 2, y / 2, in.byte(), in.byte(), SWP_NOZORDER); break;
        case 10:
            DestroyWindow(c);
            g.controls[k] = create(k, in);
            break;
        case 11: {
            DesktopSettings s = desktop_settings();
            s.dark = !s.dark;
            g.display->set_settings(s);
            InvalidateRect(g.top, nullptr, true);
            break;
        }
        case 12: SetFocus(c); break;
        case 13: g.refuse = in.byte() & 1; break;
        case 14: g.destroy_sender = true; break;
        default:
            g.display->click(x, y);
            g.display->click(x, y);
            break;
    }
    pump();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    open_once();
    Input in{data, size};
    for (size_t k = 0; k < k_classes; ++k) g.controls[k] = create(k, in);
    for (int ops = 0; ops < 200 && !in.done(); ++ops) step(in);
    g.display->release();
    pump();
    for (HWND& c : g.controls) {
        if (IsWindow(c)) DestroyWindow(c);
        c = 0;
    }
    g.refuse = g.destroy_sender = false;
    pump();
    return 0;
}
