// EDIT, one line: its own blinking caret, selection by keys and mouse, the
// clipboard keys, one-level undo, a text limit, password bullets and a cue
// banner; EN_CHANGE after every change, EN_SETFOCUS and EN_KILLFOCUS.
#include <algorithm>

#include "platform/controls/control_draw.hpp"

namespace zun::win {

namespace {

std::string g_clipboard_standin;
bool standin_read(std::string* text) {
    *text = g_clipboard_standin;
    return true;
}
bool standin_write(std::string_view text) {
    g_clipboard_standin = text;
    return true;
}
ClipboardReader g_reader = standin_read;
ClipboardWriter g_writer = standin_write;

}  // namespace

void set_edit_clipboard(ClipboardReader reader, ClipboardWriter writer) {
    g_reader = reader ? reader : standin_read;
    g_writer = writer ? writer : standin_write;
}
bool edit_clipboard_read(std::string* text) { return g_reader(text); }

namespace {
EditContextMenu g_context_menu = nullptr;
}
void set_edit_context_menu(EditContextMenu show) { g_context_menu = show; }
EditContextMenu edit_context_menu() { return g_context_menu; }
bool edit_clipboard_write(std::string_view text) { return g_writer(text); }

}  // namespace zun::win

namespace zun::win::controls {

namespace {

std::u32string to_u32(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        auto c = static_cast<unsigned char>(s[i]);
        int n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
        char32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
        for (int k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out += (n == 1 && c >= 0x80) ? U'\uFFFD' : cp;
        i += n;
    }
    return out;
}

std::string to_utf8(std::u32string_view s) {
    std::string out;
    for (char32_t c : s) {
        if (c < 0x80) out += static_cast<char>(c);
        else if (c < 0x800) out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        else if (c < 0x10000)
            out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        else
            out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    return out;
}

struct Edit : ControlBase {
    std::u32string text;
    size_t anchor = 0, caret = 0;  // the selection runs between them
    size_t limit = 32767;
    std::u32string undo_text;
    size_t undo_anchor = 0, undo_caret = 0;
    bool can_undo = false;
    char32_t password = 0;
    std::string cue;
    bool focused = false, caret_on = false, dragging = false;
    int32_t scroll_x = 0;  // pixels the text is shifted left
    size_t lo() const { return std::min(anchor, caret); }
    size_t hi() const { return std::max(anchor, caret); }
};

StateTable<Edit> g_edits;
constexpr uintptr_t k_blink_timer = 1;

int padding(HWND hwnd) { return scaled(hwnd, 2); }

RECT text_rect(HWND hwnd) {
    RECT r;
    GetClientRect(hwnd, &r);
    if (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) r = inset(r, 2);
    return {r.left + padding(hwnd), r.top, r.right - padding(hwnd), r.bottom};
}

std::string shown_text(const Edit& e) {
    return e.password ? to_utf8(std::u32string(e.text.size(), e.password)) : to_utf8(e.text);
}

// The layout of what is shown, measured off screen.
struct Shown {
    cairo_surface_t* surface;
    cairo_t* cr;
    PangoLayout* layout;
    std::string utf8;
    Shown(HWND hwnd, const Edit& e) : utf8(shown_text(e)) {
        surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        cr = cairo_create(surface);
        layout = make_layout(cr, hwnd, e.font, utf8, -1, DT_NOPREFIX | DT_SINGLELINE);
    }
    ~Shown() {
        g_object_unref(layout);
        cairo_destroy(cr);
        cairo_surface_destroy(surface);
    }
    size_t byte_of(size_t index) const {
        size_t b = 0;
        for (size_t i = 0; i < index && b < utf8.size(); ++i) {
            ++b;
            while (b < utf8.size() && (static_cast<unsigned char>(utf8[b]) & 0xC0) == 0x80) ++b;
        }
        return b;
    }
    int x_of(size_t index) const {
        PangoRectangle pos;
        pango_layout_index_to_pos(layout, static_cast<int>(byte_of(index)), &pos);
        return PANGO_PIXELS(pos.x);
    }
    int width() const {
        int w = 0, h = 0;
        pango_layout_get_pixel_size(layout, &w, &h);
        return w;
    }
    size_t index_at(int x) const {
        int byte = 0, trailing = 0;
        pango_layout_xy_to_index(layout, x * PANGO_SCALE, 0, &byte, &trailing);
        size_t index = to_u32(std::string_view(utf8).substr(0, static_cast<size_t>(byte))).size();
        return index + static_cast<size_t>(trailing);
    }
};

// Where the text starts in the text rectangle, by alignment and scroll.
int origin_x(HWND hwnd, const Edit& e, const Shown& s) {
    RECT r = text_rect(hwnd);
    uint32_t style = style_of(hwnd);
    int room = r.width() - s.width();
    if (room > 0 && (style & ES_CENTER) == ES_CENTER) return r.left + room / 2;
    if (room > 0 && (style & ES_RIGHT)) return r.left + room;
    return r.left - e.scroll_x;
}

void scroll_to_caret(HWND hwnd, Edit& e) {
    Shown s(hwnd, e);
    RECT r = text_rect(hwnd);
    int x = s.x_of(e.caret);
    if (x - e.scroll_x > r.width() - 1) e.scroll_x = x - r.width() + 1 + r.width() / 4;
    if (x < e.scroll_x) e.scroll_x = std::max(0, x - r.width() / 4);
    e.scroll_x = std::clamp(e.scroll_x, 0, std::max(0, s.width() - r.width() + 1));
}

void place_caret(HWND hwnd, Edit& e) {
    if (!e.focused) return;
    Shown s(hwnd, e);
    RECT r = text_rect(hwnd);
    SetCaretPos(origin_x(hwnd, e, s) + s.x_of(e.caret), r.top);
}

void changed_view(HWND hwnd, Edit& e) {
    scroll_to_caret(hwnd, e);
    place_caret(hwnd, e);
    e.caret_on = e.focused;
    if (e.focused) SetTimer(hwnd, k_blink_timer, desktop_settings().caret_blink_time, nullptr);
    InvalidateRect(hwnd, nullptr, false);
}

void set_selection(HWND hwnd, Edit& e, size_t anchor, size_t caret) {
    e.anchor = std::min(anchor, e.text.size());
    e.caret = std::min(caret, e.text.size());
    changed_view(hwnd, e);
}

// The window's own text follows ours (GetWindowText reads it).
void store_text(HWND hwnd, const Edit& e) {
    std::string utf8 = to_utf8(e.text);
    DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(utf8.c_str()));
}

// Replaces the selection, as typing, a paste or EM_REPLACESEL do: cut to the
// limit (and to the width without ES_AUTOHSCROLL); EN_MAXTEXT when cut.
// Answers whether anything changed.
bool replace_selection(HWND hwnd, Edit& e, std::u32string insert, bool undoable) {
    size_t room = e.limit > e.text.size() - (e.hi() - e.lo()) ? e.limit - (e.text.size() - (e.hi() - e.lo())) : 0;
    bool cut = insert.size() > room;
    if (cut) insert.resize(room);
    std::u32string next = e.text.substr(0, e.lo()) + insert + e.text.substr(e.hi());
    if (!(style_of(hwnd) & ES_AUTOHSCROLL)) {
        Edit trial;
        trial.font = e.font;
        trial.password = e.password;
        RECT r = text_rect(hwnd);
        while (!insert.empty()) {
            trial.text = e.text.substr(0, e.lo()) + insert + e.text.substr(e.hi());
            if (Shown(hwnd, trial).width() < r.width()) break;
            insert.pop_back();
            cut = true;
        }
        next = e.text.substr(0, e.lo()) + insert + e.text.substr(e.hi());
    }
    if (cut) notify_parent(hwnd, EN_MAXTEXT);
    if (insert.empty() && e.lo() == e.hi()) return false;
    if (undoable) {
        e.undo_text = e.text;
        e.undo_anchor = e.anchor;
        e.undo_caret = e.caret;
        e.can_undo = true;
    }
    size_t at = e.lo() + insert.size();
    e.text = std::move(next);
    e.anchor = e.caret = at;
    store_text(hwnd, e);
    changed_view(hwnd, e);
    notify_parent(hwnd, EN_CHANGE);
    return true;
}

bool is_word(char32_t c) { return c != U' ' && c != U'\t'; }

size_t word_left(const Edit& e, size_t i) {
    while (i > 0 && !is_word(e.text[i - 1])) --i;
    while (i > 0 && is_word(e.text[i - 1])) --i;
    return i;
}
size_t word_right(const Edit& e, size_t i) {
    while (i < e.text.size() && is_word(e.text[i])) ++i;
    while (i < e.text.size() && !is_word(e.text[i])) ++i;
    return i;
}

bool copy(HWND, Edit& e) {
    if (e.password || e.lo() == e.hi()) return false;  // nothing leaves a password field
    return edit_clipboard_write(to_utf8(e.text.substr(e.lo(), e.hi() - e.lo())));
}

void paste(HWND hwnd, Edit& e) {
    std::string text;
    if (!edit_clipboard_read(&text)) return;
    std::u32string in = to_u32(text);
    // One line: the first line of what is pasted.
    size_t end = in.find_first_of(U"\r\n");
    if (end != std::u32string::npos) in.resize(end);
    replace_selection(hwnd, e, in, true);
}

void undo(HWND hwnd, Edit& e) {
    if (!e.can_undo) return;
    std::swap(e.text, e.undo_text);
    std::swap(e.anchor, e.undo_anchor);
    std::swap(e.caret, e.undo_caret);
    store_text(hwnd, e);
    changed_view(hwnd, e);
    notify_parent(hwnd, EN_CHANGE);
}

bool key_down(int vk) { return GetKeyState(vk) & 0x8000; }

void on_key(HWND hwnd, Edit& e, WPARAM vk) {
    bool ctrl = key_down(VK_CONTROL), shift = key_down(VK_SHIFT);
    bool readonly = style_of(hwnd) & ES_READONLY;
    auto move = [&](size_t to) {
        if (!shift && e.anchor != e.caret && (vk == VK_LEFT || vk == VK_RIGHT) && !ctrl)
            to = vk == VK_LEFT ? e.lo() : e.hi();  // an arrow collapses the selection to its side
        set_selection(hwnd, e, shift ? e.anchor : to, to);
    };
    switch (vk) {
        case VK_LEFT: move(ctrl ? word_left(e, e.caret) : e.caret ? e.caret - 1 : 0); return;
        case VK_RIGHT: move(ctrl ? word_right(e, e.caret) : std::min(e.caret + 1, e.text.size())); return;
        case VK_HOME: move(0); return;
        case VK_END: move(e.text.size()); return;
        case VK_BACK:
            if (readonly) return;
            if (e.lo() == e.hi()) {
                if (!e.caret) return;
                e.anchor = ctrl ? word_left(e, e.caret) : e.caret - 1;
            }
            replace_selection(hwnd, e, U"", true);
            return;
        case VK_DELETE:
            if (shift) {
                SendMessage(hwnd, WM_CUT, 0, 0);
                return;
            }
            if (readonly) return;
            if (e.lo() == e.hi()) {
                if (e.caret >= e.text.size()) return;
                e.anchor = ctrl ? word_right(e, e.caret) : e.caret + 1;
            }
            replace_selection(hwnd, e, U"", true);
            return;
        case VK_INSERT:
            if (ctrl) SendMessage(hwnd, WM_COPY, 0, 0);
            else if (shift) SendMessage(hwnd, WM_PASTE, 0, 0);
            return;
        default: break;
    }
    if (!ctrl) return;
    switch (vk) {
        case 'A': set_selection(hwnd, e, 0, e.text.size()); return;
        case 'C': SendMessage(hwnd, WM_COPY, 0, 0); return;
        case 'X': SendMessage(hwnd, WM_CUT, 0, 0); return;
        case 'V': SendMessage(hwnd, WM_PASTE, 0, 0); return;
        case 'Z': SendMessage(hwnd, EM_UNDO, 0, 0); return;
        default: return;
    }
}

void paint(HWND hwnd, Edit& e) {
    ControlPaint painting(hwnd);
    if (!painting.cr) return;
    cairo_t* cr = painting.cr;
    RECT r = painting.r;
    bool enabled = IsWindowEnabled(hwnd);
    bool readonly = style_of(hwnd) & ES_READONLY;
    COLORREF ink;
    if (!enabled || readonly) {
        ink = parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, r, sys_colour(enabled ? int{COLOR_WINDOWTEXT} : int{COLOR_GRAYTEXT}));
    } else {
        SetBkColor(cr, sys_colour(COLOR_WINDOW));
        SetTextColor(cr, sys_colour(COLOR_WINDOWTEXT));
        HWND parent = GetParent(hwnd);
        auto brush = parent ? static_cast<HBRUSH>(SendMessage(parent, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(cr),
                                                              static_cast<LPARAM>(hwnd)))
                            : 0;
        if (brush == DC_BRUSH_HANDLE) fill_rect(cr, r, GetDCBrushColor(cr));
        else if (brush) FillRect(cr, &r, brush);
        else fill_rect(cr, r, sys_colour(COLOR_WINDOW));
        ink = GetTextColor(cr);
    }
    if (!enabled) ink = sys_colour(COLOR_GRAYTEXT);
    RECT tr = text_rect(hwnd);
    cairo_save(cr);
    cairo_rectangle(cr, tr.left, tr.top, tr.width(), tr.height());
    cairo_clip(cr);
    if (e.text.empty() && !e.cue.empty()) {
        draw_text(cr, hwnd, e.font, e.cue, tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX, sys_colour(COLOR_GRAYTEXT));
    } else {
        Shown s(hwnd, e);
        int ox = origin_x(hwnd, e, s);
        int w = 0, h = 0;
        pango_layout_get_pixel_size(s.layout, &w, &h);
        int top = tr.top + std::max(0, (tr.height() - h) / 2);
        bool show_sel = e.lo() != e.hi() && (e.focused || (style_of(hwnd) & ES_NOHIDESEL));
        pango_cairo_update_layout(cr, s.layout);
        set_colour(cr, ink);
        cairo_move_to(cr, ox, top);
        pango_cairo_show_layout(cr, s.layout);
        if (show_sel) {
            int x0 = ox + s.x_of(e.lo()), x1 = ox + s.x_of(e.hi());
            cairo_save(cr);
            cairo_rectangle(cr, x0, top, x1 - x0, h);
            cairo_clip(cr);
            fill_rect(cr, {x0, top, x1, top + h}, sys_colour(COLOR_HIGHLIGHT));
            set_colour(cr, sys_colour(COLOR_HIGHLIGHTTEXT));
            cairo_move_to(cr, ox, top);
            pango_cairo_show_layout(cr, s.layout);
            cairo_restore(cr);
        }
        if (e.focused && e.caret_on) {
            int x = ox + s.x_of(e.caret);
            fill_rect(cr, {x, top, x + std::max(1, scaled(hwnd, 1)), top + h}, ink);
        }
    }
    cairo_restore(cr);
}

size_t index_at_point(HWND hwnd, const Edit& e, int x) {
    Shown s(hwnd, e);
    return std::min(s.index_at(x - origin_x(hwnd, e, s)), e.text.size());
}

LRESULT CALLBACK_edit(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Edit* e = state_for(g_edits, hwnd, msg);
    if (e && msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<const CREATESTRUCT*>(lp);
        if (cs) {
            e->text = to_u32(cs->lpszName);
            if (cs->style & ES_PASSWORD) e->password = U'\u25CF';
        }
        return DefWindowProc(hwnd, msg, wp, lp);
    }
    if (!e) return DefWindowProc(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_SETTEXT: {
            // Never cut to the limit; undo forgotten; the caret to the start.
            e->text = to_u32(lp ? reinterpret_cast<const char*>(lp) : "");
            e->can_undo = false;
            e->anchor = e->caret = 0;
            e->scroll_x = 0;
            store_text(hwnd, *e);
            changed_view(hwnd, *e);
            notify_parent(hwnd, EN_CHANGE);
            return 1;
        }
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(to_utf8(e->text).size());
        default: break;
    }
    LRESULT result = 0;
    if (common_message(hwnd, *e, msg, wp, lp, &result)) return result;
    switch (msg) {
        case WM_PAINT: paint(hwnd, *e); return 0;
        case WM_SETCURSOR:
            if (static_cast<HWND>(wp) == hwnd && (lp & 0xFFFF) == HTCLIENT) {
                SetCursor(IDC_IBEAM);
                return 1;
            }
            return DefWindowProc(hwnd, msg, wp, lp);
        case WM_SETFOCUS:
            e->focused = true;
            CreateCaret(hwnd, 1, text_rect(hwnd).height());
            changed_view(hwnd, *e);
            notify_parent(hwnd, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            e->focused = false;
            e->caret_on = false;
            KillTimer(hwnd, k_blink_timer);
            if (caret_window() == hwnd) DestroyCaret();
            InvalidateRect(hwnd, nullptr, false);
            notify_parent(hwnd, EN_KILLFOCUS);
            return 0;
        case WM_TIMER:
            if (wp == k_blink_timer) {
                e->caret_on = !e->caret_on;
                InvalidateRect(hwnd, nullptr, false);
            }
            return 0;
        case WM_LBUTTONDOWN: {
            SetFocus(hwnd);
            SetCapture(hwnd);
            e->dragging = true;
            size_t at = index_at_point(hwnd, *e, x_of(lp));
            set_selection(hwnd, *e, (wp & MK_SHIFT) ? e->anchor : at, at);
            return 0;
        }
        case WM_LBUTTONDBLCLK: {
            size_t at = index_at_point(hwnd, *e, x_of(lp));
            size_t from = at, to = at;
            while (from > 0 && is_word(e->text[from - 1])) --from;
            while (to < e->text.size() && is_word(e->text[to])) ++to;
            set_selection(hwnd, *e, from, to);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (e->dragging) set_selection(hwnd, *e, e->anchor, index_at_point(hwnd, *e, x_of(lp)));
            return 0;
        case WM_LBUTTONUP:
            if (e->dragging) {
                e->dragging = false;
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            if (static_cast<HWND>(lp) != hwnd) e->dragging = false;
            return 0;
        case WM_KEYDOWN: on_key(hwnd, *e, wp); return 0;
        case WM_CHAR: {
            auto c = static_cast<char32_t>(wp);
            if (c < 0x20 || c == 0x7F || (style_of(hwnd) & ES_READONLY)) return 0;  // control characters never
            if (key_down(VK_CONTROL) && !key_down(VK_MENU)) return 0;
            replace_selection(hwnd, *e, std::u32string(1, c), true);
            return 0;
        }
        case WM_COPY: copy(hwnd, *e); return 0;
        case WM_CUT:
            if (!(style_of(hwnd) & ES_READONLY) && copy(hwnd, *e)) replace_selection(hwnd, *e, U"", true);
            return 0;
        case WM_PASTE:
            if (!(style_of(hwnd) & ES_READONLY)) paste(hwnd, *e);
            return 0;
        case WM_CLEAR:
            if (!(style_of(hwnd) & ES_READONLY) && e->lo() != e->hi()) replace_selection(hwnd, *e, U"", true);
            return 0;
        case EM_UNDO:
        case WM_UNDO: undo(hwnd, *e); return e->can_undo;
        case EM_CANUNDO: return e->can_undo;
        case EM_EMPTYUNDOBUFFER: e->can_undo = false; return 0;
        case EM_GETSEL:
            if (wp) *reinterpret_cast<uint32_t*>(wp) = static_cast<uint32_t>(e->lo());
            if (lp) *reinterpret_cast<uint32_t*>(lp) = static_cast<uint32_t>(e->hi());
            return static_cast<LRESULT>(std::min<size_t>(e->lo(), 0xFFFF) | (std::min<size_t>(e->hi(), 0xFFFF) << 16));
        case EM_SETSEL: {
            auto start = static_cast<intptr_t>(static_cast<int32_t>(wp));
            auto end = static_cast<intptr_t>(static_cast<int32_t>(lp));
            if (start < 0) {  // -1: no selection, the caret kept
                set_selection(hwnd, *e, e->caret, e->caret);
                return 0;
            }
            size_t n = e->text.size();
            size_t s = std::min<size_t>(static_cast<size_t>(start), n);
            size_t t = end < 0 ? n : std::min<size_t>(static_cast<size_t>(end), n);
            set_selection(hwnd, *e, s, t);
            return 0;
        }
        case EM_REPLACESEL:
            replace_selection(hwnd, *e, to_u32(lp ? reinterpret_cast<const char*>(lp) : ""), wp != 0);
            return 0;
        case EM_SETLIMITTEXT: e->limit = wp ? static_cast<size_t>(wp) : 0x7FFFFFFE; return 0;
        case EM_GETLIMITTEXT: return static_cast<LRESULT>(e->limit);
        case EM_SETPASSWORDCHAR:
            e->password = static_cast<char32_t>(wp);
            SetWindowLong(hwnd, GWL_STYLE, static_cast<int32_t>(wp ? style_of(hwnd) | ES_PASSWORD : style_of(hwnd) & ~ES_PASSWORD));
            changed_view(hwnd, *e);
            return 0;
        case EM_GETPASSWORDCHAR: return static_cast<LRESULT>(e->password);
        case EM_SETREADONLY:
            SetWindowLong(hwnd, GWL_STYLE, static_cast<int32_t>(wp ? style_of(hwnd) | ES_READONLY : style_of(hwnd) & ~ES_READONLY));
            InvalidateRect(hwnd, nullptr, false);
            return 1;
        case EM_SETCUEBANNER:
            e->cue = lp ? reinterpret_cast<const char*>(lp) : "";
            InvalidateRect(hwnd, nullptr, false);
            return 1;
        case EM_SCROLLCARET: changed_view(hwnd, *e); return 1;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_edit() { register_control(WC_EDIT, CALLBACK_edit, CS_DBLCLKS, IDC_IBEAM); }

}  // namespace zun::win::controls
