// EDIT, one line or several: its own blinking caret, selection by keys and
// mouse, the clipboard keys, one-level undo, a text limit, password bullets
// and a cue banner; the window's own scroll bars for several lines; EN_CHANGE
// after every change, EN_SETFOCUS, EN_KILLFOCUS and EN_MAXTEXT.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/controls/edit_internal.hpp"
#include "platform/controls/fonts.hpp"

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
EditContextMenu g_context_menu = nullptr;

}  // namespace

void set_edit_clipboard(ClipboardReader reader, ClipboardWriter writer) {
    g_reader = reader ? reader : standin_read;
    g_writer = writer ? writer : standin_write;
}
bool edit_clipboard_read(std::string* text) { return g_reader(text); }
bool edit_clipboard_write(std::string_view text) { return g_writer(text); }
void set_edit_context_menu(EditContextMenu show) { g_context_menu = show; }
EditContextMenu edit_context_menu() { return g_context_menu; }

}  // namespace zun::win

namespace zun::win::controls {

namespace {

using namespace edit;

StateTable<Edit> g_edits;
constexpr uintptr_t k_blink_timer = 1;

bool readonly(HWND hwnd) { return style_of(hwnd) & ES_READONLY; }
bool key_down(int vk) { return GetKeyState(vk) & 0x8000; }

// ---- view -----------------------------------------------------------------------

void restart_blink(HWND hwnd, Edit& e) {
    if (!e.focused) return;
    e.caret_on = true;
    uint32_t blink = desktop_settings().caret_blink_time;
    if (blink == 0 || blink == UINT32_MAX) KillTimer(hwnd, k_blink_timer);  // a caret that does not blink
    else SetCosmeticTimer(hwnd, k_blink_timer, blink);
}

// After the selection moved: the caret shown, kept in view when asked.
void changed_view(HWND hwnd, Edit& e, bool scroll = true) {
    if (scroll) scroll_to_caret(hwnd, e);
    update_bars(hwnd, e);
    place_ime_caret(hwnd, e);
    restart_blink(hwnd, e);
    InvalidateRect(hwnd, nullptr, false);
}

void set_selection(HWND hwnd, Edit& e, size_t anchor, size_t caret, bool scroll = true) {
    e.anchor = e.buf.snap(anchor);
    e.caret = e.buf.snap(caret);
    changed_view(hwnd, e, scroll);
}

// The window's own text follows ours (GetWindowText reads it).
void store_text(HWND hwnd, const Edit& e) { DefWindowProc(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(e.buf.text().c_str())); }

void text_changed(HWND hwnd, Edit& e) {
    e.rows_known = false;
    e.goal_x = -1;
    store_text(hwnd, e);
}

// ---- changing the text -----------------------------------------------------------

bool is_space(char32_t c) { return c == U' ' || c == U'\t' || c == U'\r' || c == U'\n'; }
bool is_word_at(const Edit& e, size_t byte) { return !is_space(decode_at(e.buf.text(), byte)); }

size_t word_left(const Edit& e, size_t i) {
    while (i > 0 && !is_word_at(e, e.buf.prev(i))) i = e.buf.prev(i);
    while (i > 0 && is_word_at(e, e.buf.prev(i))) i = e.buf.prev(i);
    return i;
}
size_t word_right(const Edit& e, size_t i) {
    while (i < e.buf.size() && is_word_at(e, i)) i = e.buf.next(i);
    while (i < e.buf.size() && !is_word_at(e, i)) i = e.buf.next(i);
    return i;
}

// What fits in a one-line control without ES_AUTOHSCROLL: the longest
// prefix of insert whose line is no wider than the text rectangle.
size_t fitting_prefix(HWND hwnd, Edit& e, std::string_view insert) {
    const std::string& t = e.buf.text();
    auto width_with = [&](size_t n) {
        std::string line = t.substr(0, e.lo()) + std::string(insert.substr(0, prefix_bytes(insert, n))) + t.substr(e.hi());
        if (!e.password) return text_width(hwnd, e, line);
        std::string bullets;
        for (size_t i = count_chars(line); i > 0; --i) append_utf8(bullets, e.password);
        return text_width(hwnd, e, bullets);
    };
    int room = text_rect(hwnd).width();
    size_t lo = 0, hi = count_chars(insert);
    if (width_with(hi) < room) return insert.size();
    while (lo < hi) {  // the largest n that fits
        size_t mid = (lo + hi + 1) / 2;
        if (width_with(mid) < room) lo = mid;
        else hi = mid - 1;
    }
    return prefix_bytes(insert, lo);
}

// A change of [at, at + removed) into inserted bytes, merged into the
// typing or deleting run before it; before: the selection an undo brings
// back (a delete key widens the selection to what it deletes first).
void remember_undo(Edit& e, UndoStep::Kind kind, size_t at, std::string removed, size_t inserted,
                   std::pair<size_t, size_t> before) {
    UndoStep& u = e.undo;
    if (kind == UndoStep::typing && u.kind == kind && removed.empty() && u.at + u.inserted == at) {
        u.inserted += inserted;
        return;
    }
    if (kind == UndoStep::deleting && u.kind == kind && inserted == 0) {
        if (at + removed.size() == u.at) {  // Backspace again
            u.at = at;
            u.removed = removed + u.removed;
            return;
        }
        if (at == u.at) {  // Delete again
            u.removed += removed;
            return;
        }
    }
    u = {kind, at, std::move(removed), inserted, before.first, before.second};
}

// Several lines without ES_AUTOVSCROLL take no more rows than they show.
bool overflows(HWND hwnd, Edit& e) {
    return multiline(hwnd) && !(style_of(hwnd) & ES_AUTOVSCROLL) && row_count(hwnd, e) > visible_rows(hwnd, e);
}

// Replaces the selection, as typing, a paste or EM_REPLACESEL do: cut to the
// limit (and to the width of a one-line control without ES_AUTOHSCROLL),
// EN_MAXTEXT when cut; nothing at all when none of a non-empty insert fits.
// Answers whether the text changed.
bool replace_selection(HWND hwnd, Edit& e, std::string_view raw, UndoStep::Kind kind,
                       std::pair<size_t, size_t> before = {SIZE_MAX, SIZE_MAX}) {
    if (before.first == SIZE_MAX) before = {e.anchor, e.caret};
    std::string insert = e.buf.normalize(raw);
    size_t kept = e.buf.chars() - e.buf.char_of(e.hi()) + e.buf.char_of(e.lo());
    size_t room = e.limit > kept ? e.limit - kept : 0;
    bool cut = false;
    if (count_chars(insert) > room) {
        insert.resize(prefix_bytes(insert, room));
        cut = true;
    }
    if (!multiline(hwnd) && !(style_of(hwnd) & ES_AUTOHSCROLL)) {
        size_t fits = fitting_prefix(hwnd, e, insert);
        cut = cut || fits < insert.size();
        insert.resize(fits);
    }
    if (e.buf.multiline() && !insert.empty() && insert.back() == '\r') insert.pop_back();  // half a break
    if ((insert.empty() && !raw.empty() && cut) || (insert.empty() && e.lo() == e.hi())) {
        if (cut) notify_parent(hwnd, EN_MAXTEXT);
        return false;
    }
    size_t at = e.lo();
    std::string removed = e.buf.text().substr(at, e.hi() - at);
    e.buf.replace(at, e.hi(), insert);
    e.rows_known = false;
    if (overflows(hwnd, e)) {
        e.buf.replace(at, at + insert.size(), removed);
        e.rows_known = false;
        notify_parent(hwnd, EN_MAXTEXT);
        return false;
    }
    if (cut) notify_parent(hwnd, EN_MAXTEXT);
    if (kind == UndoStep::none) e.undo = {};
    else remember_undo(e, kind, at, std::move(removed), insert.size(), before);
    e.anchor = e.caret = at + insert.size();
    e.modified = true;
    text_changed(hwnd, e);
    changed_view(hwnd, e);
    notify_parent(hwnd, EN_CHANGE);
    return true;
}

bool undo(HWND hwnd, Edit& e) {
    UndoStep u = std::move(e.undo);
    if (u.kind == UndoStep::none) return false;
    std::string now = e.buf.text().substr(u.at, u.inserted);
    e.buf.replace(u.at, u.at + u.inserted, u.removed);
    e.undo = {UndoStep::other, u.at, std::move(now), u.removed.size(), e.anchor, e.caret};
    e.anchor = std::min(u.anchor, e.buf.size());
    e.caret = std::min(u.caret, e.buf.size());
    e.modified = true;
    text_changed(hwnd, e);
    set_selection(hwnd, e, e.anchor, e.caret);
    notify_parent(hwnd, EN_CHANGE);
    return true;
}

void set_text(HWND hwnd, Edit& e, std::string_view text) {
    e.buf.set(text);  // never cut to the limit
    e.undo = {};
    e.anchor = e.caret = 0;
    e.top_row = 0;
    e.scroll_x = 0;
    e.modified = false;
    text_changed(hwnd, e);
    changed_view(hwnd, e);
}

// ---- the clipboard ---------------------------------------------------------------

bool copy(Edit& e) {
    if (e.password || e.lo() == e.hi()) return false;  // nothing leaves a password field
    return edit_clipboard_write(e.buf.text().substr(e.lo(), e.hi() - e.lo()));
}

void paste(HWND hwnd, Edit& e) {
    std::string text;
    if (!edit_clipboard_read(&text)) return;
    text.resize(std::min(text.size(), text.find('\0')));
    if (!multiline(hwnd)) text.resize(std::min(text.size(), text.find_first_of("\r\n")));  // its first line
    replace_selection(hwnd, e, text, UndoStep::other);
}

// ---- keys ------------------------------------------------------------------------

// The caret a number of rows up or down, keeping to the x it started from.
void move_rows(HWND hwnd, Edit& e, int delta, bool extend) {
    RowPlace p = place_of(hwnd, e, e.caret);
    RECT tr = text_rect(hwnd);
    if (e.goal_x < 0) e.goal_x = p.x - tr.left + e.scroll_x;
    int goal = e.goal_x;
    int row = std::clamp(p.row + delta, 0, row_count(hwnd, e) - 1);
    size_t to = byte_at(hwnd, e, goal + tr.left - e.scroll_x, row_top(hwnd, e, row));
    set_selection(hwnd, e, extend ? e.anchor : to, to);
    e.goal_x = goal;
}

size_t row_start(HWND hwnd, Edit& e) { return row_range(hwnd, e, place_of(hwnd, e, e.caret).row).first; }
size_t row_end(HWND hwnd, Edit& e) {
    auto [start, end] = row_range(hwnd, e, place_of(hwnd, e, e.caret).row);
    // A wrapped row ends before the space it wrapped at, so the caret stays on it.
    if (end > start && end < e.buf.size() && end != e.buf.line_end(e.buf.line_of(start)) &&
        decode_at(e.buf.text(), e.buf.prev(end)) == U' ')
        return e.buf.prev(end);
    return end;
}

void delete_key(HWND hwnd, Edit& e, bool forward, bool word) {
    if (readonly(hwnd)) return;
    std::pair<size_t, size_t> before{e.anchor, e.caret};
    if (e.lo() == e.hi()) {
        if (forward ? e.caret >= e.buf.size() : e.caret == 0) return;
        e.anchor = forward ? (word ? word_right(e, e.caret) : e.buf.next(e.caret))
                           : (word ? word_left(e, e.caret) : e.buf.prev(e.caret));
    }
    replace_selection(hwnd, e, "", UndoStep::deleting, before);
}

void context_menu_at_caret(HWND hwnd) { SendMessage(hwnd, WM_CONTEXTMENU, hwnd, -1); }

bool movement_key(HWND hwnd, Edit& e, WPARAM vk, bool ctrl, bool shift) {
    bool multi = multiline(hwnd);
    auto go = [&](size_t to) {
        e.goal_x = -1;
        set_selection(hwnd, e, shift ? e.anchor : to, to);
    };
    bool collapse = !shift && !ctrl && e.anchor != e.caret;  // an arrow collapses the selection to its side
    if (!multi && vk == VK_UP) vk = VK_LEFT;
    if (!multi && vk == VK_DOWN) vk = VK_RIGHT;
    switch (vk) {
        case VK_LEFT: go(collapse ? e.lo() : ctrl ? word_left(e, e.caret) : e.buf.prev(e.caret)); return true;
        case VK_RIGHT: go(collapse ? e.hi() : ctrl ? word_right(e, e.caret) : e.buf.next(e.caret)); return true;
        case VK_HOME: go(ctrl || !multi ? 0 : row_start(hwnd, e)); return true;
        case VK_END: go(ctrl || !multi ? e.buf.size() : row_end(hwnd, e)); return true;
        case VK_UP:
        case VK_DOWN: move_rows(hwnd, e, vk == VK_UP ? -1 : 1, shift); return true;
        case VK_PRIOR:
        case VK_NEXT: {
            if (!multi) return true;
            int page = visible_rows(hwnd, e) * (vk == VK_PRIOR ? -1 : 1);
            scroll_to(hwnd, e, e.top_row + page, e.scroll_x);
            move_rows(hwnd, e, page, shift);
            return true;
        }
        default: return false;
    }
}

void on_key(HWND hwnd, Edit& e, WPARAM vk) {
    bool ctrl = key_down(VK_CONTROL), shift = key_down(VK_SHIFT);
    if (movement_key(hwnd, e, vk, ctrl, shift)) return;
    switch (vk) {
        case VK_BACK: delete_key(hwnd, e, false, ctrl); return;
        case VK_DELETE:
            if (shift) SendMessage(hwnd, WM_CUT, 0, 0);
            else delete_key(hwnd, e, true, ctrl);
            return;
        case VK_INSERT:
            if (ctrl) SendMessage(hwnd, WM_COPY, 0, 0);
            else if (shift) SendMessage(hwnd, WM_PASTE, 0, 0);
            return;
        case VK_APPS: context_menu_at_caret(hwnd); return;
        case VK_F10:
            if (shift) context_menu_at_caret(hwnd);
            return;
        default: break;
    }
    if (!ctrl) return;
    switch (vk) {
        case 'A': set_selection(hwnd, e, 0, e.buf.size()); return;
        case 'C': SendMessage(hwnd, WM_COPY, 0, 0); return;
        case 'X': SendMessage(hwnd, WM_CUT, 0, 0); return;
        case 'V': SendMessage(hwnd, WM_PASTE, 0, 0); return;
        case 'Z': SendMessage(hwnd, EM_UNDO, 0, 0); return;
        default: return;
    }
}

void on_char(HWND hwnd, Edit& e, char32_t c) {
    if (readonly(hwnd)) return;
    bool multi = multiline(hwnd);
    if (multi && (c == U'\r' || c == U'\n')) {
        replace_selection(hwnd, e, "\r\n", UndoStep::typing);
        return;
    }
    if (multi && c == U'\t') {
        replace_selection(hwnd, e, "\t", UndoStep::typing);
        return;
    }
    if (c < 0x20 || c == 0x7F || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return;  // control characters never
    if (key_down(VK_CONTROL) && !key_down(VK_MENU)) return;
    std::string utf8;
    append_utf8(utf8, c);
    replace_selection(hwnd, e, utf8, UndoStep::typing);
}

// ---- scrolling -------------------------------------------------------------------

void on_scroll(HWND hwnd, Edit& e, int bar, WPARAM wp) {
    bool vert = bar == SB_VERT;
    int page = vert ? std::max(1, visible_rows(hwnd, e) - 1) : std::max(1, text_rect(hwnd).width() - e.char_w);
    int step = vert ? 1 : e.char_w;
    int pos = vert ? e.top_row : e.scroll_x;
    SCROLLINFO si;
    si.fMask = SIF_TRACKPOS | SIF_RANGE;
    GetScrollInfo(hwnd, bar, &si);
    switch (wp & 0xFFFF) {
        case SB_LINEUP: pos -= step; break;
        case SB_LINEDOWN: pos += step; break;
        case SB_PAGEUP: pos -= page; break;
        case SB_PAGEDOWN: pos += page; break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: pos = si.nTrackPos; break;
        case SB_TOP: pos = 0; break;
        case SB_BOTTOM: pos = si.nMax; break;
        default: return;
    }
    if (vert) scroll_to(hwnd, e, pos, e.scroll_x);
    else scroll_to(hwnd, e, e.top_row, std::min(pos, std::max(0, si.nMax - text_rect(hwnd).width())));
    place_ime_caret(hwnd, e);
    notify_parent(hwnd, vert ? EN_VSCROLL : EN_HSCROLL);
}

// ---- messages --------------------------------------------------------------------

size_t position_arg(const Edit& e, WPARAM wp) { return e.buf.byte_of(static_cast<size_t>(wp)); }
LRESULT position_of(const Edit& e, size_t byte) { return static_cast<LRESULT>(e.buf.char_of(byte)); }

LRESULT get_sel(const Edit& e, WPARAM wp, LPARAM lp) {
    size_t lo = e.buf.char_of(e.lo()), hi = e.buf.char_of(e.hi());
    if (wp) *reinterpret_cast<uint32_t*>(wp) = static_cast<uint32_t>(lo);
    if (lp) *reinterpret_cast<uint32_t*>(lp) = static_cast<uint32_t>(hi);
    if (lo > 0xFFFF || hi > 0xFFFF) return -1;
    return static_cast<LRESULT>(lo | (hi << 16));
}

void set_sel(HWND hwnd, Edit& e, WPARAM wp, LPARAM lp) {
    auto start = static_cast<int32_t>(wp);
    auto end = static_cast<int32_t>(lp);
    if (start < 0) {  // no selection, the caret kept
        set_selection(hwnd, e, e.caret, e.caret);
        return;
    }
    size_t from = e.buf.byte_of(static_cast<size_t>(start));
    size_t to = end < 0 ? e.buf.size() : e.buf.byte_of(static_cast<size_t>(end));
    set_selection(hwnd, e, from, to);
}

// The row of a character (-1: of the selection's start).
int row_of_position(HWND hwnd, Edit& e, WPARAM wp) {
    if (!multiline(hwnd)) return 0;
    size_t byte = static_cast<intptr_t>(wp) < 0 ? e.lo() : position_arg(e, wp);
    return place_of(hwnd, e, byte).row;
}

LRESULT line_message(HWND hwnd, Edit& e, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case EM_GETLINECOUNT: return multiline(hwnd) ? row_count(hwnd, e) : 1;
        case EM_LINEFROMCHAR: return row_of_position(hwnd, e, wp);
        case EM_LINEINDEX: {
            int row = static_cast<intptr_t>(wp) < 0 ? place_of(hwnd, e, e.caret).row : static_cast<int>(wp);
            if (row >= row_count(hwnd, e)) return -1;
            return position_of(e, row_range(hwnd, e, row).first);
        }
        case EM_LINELENGTH: {
            int row = static_cast<intptr_t>(wp) < 0 ? place_of(hwnd, e, e.caret).row : row_of_position(hwnd, e, wp);
            auto [start, end] = row_range(hwnd, e, row);
            return static_cast<LRESULT>(e.buf.char_of(end) - e.buf.char_of(start));
        }
        case EM_GETLINE: {
            if (!lp || static_cast<int>(wp) >= row_count(hwnd, e)) return 0;
            auto [start, end] = row_range(hwnd, e, static_cast<int>(wp));
            auto* out = reinterpret_cast<char*>(lp);
            uint16_t room = 0;
            std::memcpy(&room, out, sizeof room);
            size_t n = std::min<size_t>(room, end - start);
            std::memcpy(out, e.buf.text().data() + start, n);
            return static_cast<LRESULT>(n);
        }
        case EM_GETFIRSTVISIBLELINE:
            if (multiline(hwnd)) return e.top_row;
            return position_of(e, byte_at(hwnd, e, text_rect(hwnd).left, 0));
        case EM_LINESCROLL:
            if (!multiline(hwnd)) return 0;
            scroll_to(hwnd, e, e.top_row + static_cast<int>(lp), e.scroll_x + static_cast<int>(static_cast<intptr_t>(wp)) * e.char_w);
            place_ime_caret(hwnd, e);
            return 1;
        case EM_SCROLL: {
            if (!multiline(hwnd)) return 0;
            int page = std::max(1, visible_rows(hwnd, e) - 1);
            int delta = wp == SB_LINEUP ? -1 : wp == SB_LINEDOWN ? 1 : wp == SB_PAGEUP ? -page : wp == SB_PAGEDOWN ? page : 0;
            int before = e.top_row;
            scroll_to(hwnd, e, e.top_row + delta, e.scroll_x);
            place_ime_caret(hwnd, e);
            return static_cast<LRESULT>(static_cast<uint16_t>(e.top_row - before)) | (LRESULT{1} << 16);
        }
        case EM_POSFROMCHAR: {
            if (wp > e.buf.chars()) return -1;
            RowPlace p = place_of(hwnd, e, position_arg(e, wp));
            return static_cast<LRESULT>(static_cast<uint16_t>(p.x)) | static_cast<LRESULT>(static_cast<uint16_t>(p.y)) << 16;
        }
        case EM_CHARFROMPOS: {
            size_t byte = byte_at(hwnd, e, x_of(lp), y_of(lp));
            auto position = static_cast<LRESULT>(std::min<size_t>(e.buf.char_of(byte), 0xFFFF));
            LRESULT row = multiline(hwnd) ? std::min(place_of(hwnd, e, byte).row, 0xFFFF) : 0;
            return position | row << 16;
        }
        default: return 0;
    }
}

void context_menu(HWND hwnd, Edit& e, LPARAM lp) {
    if (GetFocus() != hwnd) SetFocus(hwnd);
    EditContextMenu show = edit_context_menu();
    if (!show) return;
    POINT at{x_of(lp), y_of(lp)};
    if (lp == -1) {  // from the keyboard: at the caret
        RowPlace p = place_of(hwnd, e, e.caret);
        at = {p.x, p.y + e.line_h};
        ClientToScreen(hwnd, &at);
    }
    show(hwnd, at);
}

void set_focus(HWND hwnd, Edit& e) {
    e.focused = true;
    prepare(hwnd, e);
    CreateCaret(hwnd, 1, e.line_h);
    changed_view(hwnd, e, false);
    notify_parent(hwnd, EN_SETFOCUS);
}

void kill_focus(HWND hwnd, Edit& e) {
    e.focused = false;
    e.caret_on = false;
    KillTimer(hwnd, k_blink_timer);
    if (caret_window() == hwnd) DestroyCaret();
    if (e.dragging) {
        e.dragging = false;
        if (GetCapture() == hwnd) ReleaseCapture();
    }
    InvalidateRect(hwnd, nullptr, false);
    notify_parent(hwnd, EN_KILLFOCUS);
}

void create(HWND hwnd, Edit& e, const CREATESTRUCT* cs) {
    uint32_t style = cs ? cs->style : 0;
    if (style & ES_MULTILINE) {
        // Own bars imply scrolling that way.
        if (style & WS_HSCROLL) style |= ES_AUTOHSCROLL;
        if (style & WS_VSCROLL) style |= ES_AUTOVSCROLL;
        SetWindowLong(hwnd, GWL_STYLE, static_cast<int32_t>(style));
    } else if (style & ES_PASSWORD) {
        e.password = U'\u25CF';
    }
    e.buf = TextBuffer((style & ES_MULTILINE) != 0);
    if (cs) e.buf.set(cs->lpszName);
}

LRESULT edit_message(HWND hwnd, Edit& e, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case EM_GETSEL: return get_sel(e, wp, lp);
        case EM_SETSEL: set_sel(hwnd, e, wp, lp); return 0;
        case EM_REPLACESEL:
            replace_selection(hwnd, e, lp ? reinterpret_cast<const char*>(lp) : "", wp ? UndoStep::other : UndoStep::none);
            return 0;
        case EM_SETLIMITTEXT:
            e.limit = wp ? static_cast<size_t>(wp) : multiline(hwnd) ? EDIT_MAX_LIMIT_MULTILINE : EDIT_MAX_LIMIT_ONE_LINE;
            return 0;
        case EM_GETLIMITTEXT: return static_cast<LRESULT>(e.limit);
        case EM_CANUNDO: return e.undo.kind != UndoStep::none;
        case EM_UNDO:
        case WM_UNDO: return undo(hwnd, e);
        case EM_EMPTYUNDOBUFFER: e.undo = {}; return 0;
        case EM_GETMODIFY: return e.modified;
        case EM_SETMODIFY: e.modified = wp != 0; return 0;
        case EM_SETPASSWORDCHAR:
            if (multiline(hwnd)) return 0;
            e.password = static_cast<char32_t>(wp);
            SetWindowLong(hwnd, GWL_STYLE, static_cast<int32_t>(wp ? style_of(hwnd) | ES_PASSWORD : style_of(hwnd) & ~ES_PASSWORD));
            e.buf.forget_layout();
            e.rows_known = false;
            changed_view(hwnd, e);
            return 0;
        case EM_GETPASSWORDCHAR: return static_cast<LRESULT>(e.password);
        case EM_SETREADONLY:
            SetWindowLong(hwnd, GWL_STYLE, static_cast<int32_t>(wp ? style_of(hwnd) | ES_READONLY : style_of(hwnd) & ~ES_READONLY));
            InvalidateRect(hwnd, nullptr, false);
            return 1;
        case EM_SETCUEBANNER:
            e.cue = lp ? reinterpret_cast<const char*>(lp) : "";
            e.cue_when_focused = wp != 0;
            InvalidateRect(hwnd, nullptr, false);
            return 1;
        case EM_GETCUEBANNER: {
            if (!wp || lp <= 0) return 0;
            size_t n = std::min<size_t>(static_cast<size_t>(lp) - 1, e.cue.size());
            std::memcpy(reinterpret_cast<char*>(wp), e.cue.data(), n);
            reinterpret_cast<char*>(wp)[n] = 0;
            return 1;
        }
        case EM_SETTABSTOPS: {
            if (!multiline(hwnd)) return 0;
            const auto* stops = reinterpret_cast<const int32_t*>(lp);
            e.tabs.assign(stops && wp ? stops : nullptr, stops && wp ? stops + wp : nullptr);
            e.layout_dpi = 0;  // the layout is made again with them
            changed_view(hwnd, e, false);
            return 1;
        }
        case EM_SCROLLCARET: changed_view(hwnd, e); return 1;
        case EM_GETRECT:
            if (lp) *reinterpret_cast<RECT*>(lp) = text_rect(hwnd);
            return 0;
        case WM_COPY: copy(e); return 0;
        case WM_CUT:
            if (!readonly(hwnd) && copy(e)) replace_selection(hwnd, e, "", UndoStep::other);
            return 0;
        case WM_PASTE:
            if (!readonly(hwnd)) paste(hwnd, e);
            return 0;
        case WM_CLEAR:
            if (!readonly(hwnd) && e.lo() != e.hi()) replace_selection(hwnd, e, "", UndoStep::other);
            return 0;
        default: return line_message(hwnd, e, msg, wp, lp);
    }
}

LRESULT mouse_message(HWND hwnd, Edit& e, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_LBUTTONDOWN: {
            if (GetFocus() != hwnd) SetFocus(hwnd);
            SetCapture(hwnd);
            e.dragging = true;
            e.goal_x = -1;
            size_t at = byte_at(hwnd, e, x_of(lp), y_of(lp));
            set_selection(hwnd, e, (wp & MK_SHIFT) ? e.anchor : at, at);
            return 0;
        }
        case WM_LBUTTONDBLCLK: {
            size_t from = byte_at(hwnd, e, x_of(lp), y_of(lp)), to = from;
            while (from > 0 && is_word_at(e, e.buf.prev(from))) from = e.buf.prev(from);
            while (to < e.buf.size() && is_word_at(e, to)) to = e.buf.next(to);
            set_selection(hwnd, e, from, to);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (e.dragging) set_selection(hwnd, e, e.anchor, byte_at(hwnd, e, x_of(lp), y_of(lp)));
            return 0;
        case WM_LBUTTONUP:
            if (e.dragging) {
                e.dragging = false;
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            if (static_cast<HWND>(lp) != hwnd) e.dragging = false;
            return 0;
        case WM_RBUTTONUP: {
            POINT at{x_of(lp), y_of(lp)};
            ClientToScreen(hwnd, &at);
            SendMessage(hwnd, WM_CONTEXTMENU, hwnd, static_cast<LPARAM>(static_cast<uint16_t>(at.x)) |
                                                        static_cast<LPARAM>(static_cast<uint16_t>(at.y)) << 16);
            return 0;
        }
        case WM_CONTEXTMENU: context_menu(hwnd, e, lp); return 0;
        case WM_MOUSEWHEEL: {
            if (!multiline(hwnd)) return DefWindowProc(hwnd, msg, wp, lp);
            int delta = static_cast<int16_t>(wp >> 16);
            scroll_to(hwnd, e, e.top_row - delta * 3 / WHEEL_DELTA, e.scroll_x);
            place_ime_caret(hwnd, e);
            notify_parent(hwnd, EN_VSCROLL);
            return 0;
        }
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

LRESULT CALLBACK_edit(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Edit* e = state_for(g_edits, hwnd, msg);
    if (e && msg == WM_NCCREATE) {
        create(hwnd, *e, reinterpret_cast<const CREATESTRUCT*>(lp));
        LRESULT r = DefWindowProc(hwnd, msg, wp, lp);
        store_text(hwnd, *e);
        return r;
    }
    if (!e) return DefWindowProc(hwnd, msg, wp, lp);
    switch (msg) {
        case WM_SETTEXT:
            set_text(hwnd, *e, lp ? reinterpret_cast<const char*>(lp) : "");
            if (!multiline(hwnd)) notify_parent(hwnd, EN_CHANGE);
            return 1;
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(e->buf.size());
        case WM_GETTEXT: return DefWindowProc(hwnd, msg, wp, lp);
        case WM_IME_STARTCOMPOSITION:
            // a method drawing the composition itself draws it in our font
            ImmSetCompositionFont(hwnd, composition_font(font_description(e->font), GetDpiForWindow(hwnd)));
            return DefWindowProc(hwnd, msg, wp, lp);
        case WM_SETFONT:
            e->font = wp;
            prepare(hwnd, *e);
            if (e->focused) CreateCaret(hwnd, 1, e->line_h);
            changed_view(hwnd, *e);
            return 0;
        case WM_GETFONT: return static_cast<LRESULT>(e->font);
        case WM_ENABLE: InvalidateRect(hwnd, nullptr, false); return 0;
        case WM_SETTINGCHANGE:
        case WM_THEMECHANGED:
        case WM_DPICHANGED:
            e->layout_dpi = 0;  // the desktop's font, colours or scale: laid out again
            changed_view(hwnd, *e, false);
            return 0;
        case WM_ERASEBKGND: return 1;  // the paint covers it all
        case WM_PAINT: paint(hwnd, *e); return 0;
        case WM_SIZE:
            prepare(hwnd, *e);
            scroll_to(hwnd, *e, e->top_row, e->scroll_x);
            changed_view(hwnd, *e, e->focused);
            return 0;
        case WM_GETDLGCODE:
            return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | (multiline(hwnd) ? LRESULT{DLGC_WANTALLKEYS} : 0);
        case WM_SETCURSOR:
            if (static_cast<HWND>(wp) == hwnd && (lp & 0xFFFF) == HTCLIENT) {
                SetCursor(IDC_IBEAM);
                return 1;
            }
            return DefWindowProc(hwnd, msg, wp, lp);
        case WM_SETFOCUS: set_focus(hwnd, *e); return 0;
        case WM_KILLFOCUS: kill_focus(hwnd, *e); return 0;
        case WM_TIMER:
            if (wp == k_blink_timer && e->focused) {
                e->caret_on = !e->caret_on;
                RECT was = e->caret_drawn, now = caret_rect(hwnd, *e);
                InvalidateRect(hwnd, &was, false);
                InvalidateRect(hwnd, &now, false);
            }
            return 0;
        case WM_KEYDOWN:
            if (IsWindowEnabled(hwnd)) on_key(hwnd, *e, wp);
            return 0;
        case WM_SYSKEYDOWN:
            if (wp == VK_F10 && key_down(VK_SHIFT)) {
                context_menu_at_caret(hwnd);
                return 0;
            }
            return DefWindowProc(hwnd, msg, wp, lp);
        case WM_CHAR:
            if (IsWindowEnabled(hwnd)) on_char(hwnd, *e, static_cast<char32_t>(wp));
            return 0;
        case WM_VSCROLL:
        case WM_HSCROLL:
            if (lp == 0 && multiline(hwnd)) on_scroll(hwnd, *e, msg == WM_VSCROLL ? SB_VERT : SB_HORZ, wp);
            return 0;
        default: break;
    }
    if ((msg >= WM_MOUSEMOVE && msg <= WM_MOUSEWHEEL) || msg == WM_CAPTURECHANGED || msg == WM_CONTEXTMENU)
        return mouse_message(hwnd, *e, msg, wp, lp);
    if ((msg >= EM_GETSEL && msg <= EM_CHARFROMPOS) || (msg >= WM_CUT && msg <= WM_UNDO) || msg == EM_SETCUEBANNER ||
        msg == EM_GETCUEBANNER)
        return edit_message(hwnd, *e, msg, wp, lp);
    return DefWindowProc(hwnd, msg, wp, lp);
}

}  // namespace

void register_edit() { register_control(WC_EDIT, CALLBACK_edit, CS_DBLCLKS, IDC_IBEAM); }

}  // namespace zun::win::controls
