// Reading a control's state back into its face: check states, slider and
// scroller positions, the text, the text selection with its line-break
// arithmetic, and an area's scroll bars and text limit.
#include <algorithm>
#include <cmath>

#include "core/ownership.hpp"
#include "datatypes/float.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/series/string.hpp"
#include "draw/text_format.hpp"
#include "gui/backend.hpp"
#include "gui/event.hpp"
#include "gui/font.hpp"
#include "gui/widget.hpp"
#include "gui/widget_internal.hpp"
#include "interpreter/stack.hpp"
#include "platform/controls/control_draw.hpp"

namespace zun::gui::widget {

namespace {

bool multi_line(HWND hwnd) { return (GetWindowLong(hwnd, GWL_STYLE) & ES_MULTILINE) != 0; }

// The code points of UTF-8 text.
std::u32string code_points(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = s[i];
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : c & (0x3F >> (n - 1));
        for (int k = 1; k < n && i + k < s.size(); k++) cp = (cp << 6) | (s[i + k] & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

std::string without_cr_before_lf(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); i++)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n')) out.push_back(s[i]);
    return out;
}

}  // namespace

void read_check_state(HWND hwnd, const Cell* f) {
    const LRESULT state = SendMessage(hwnd, BM_GETCHECK, 0, 0);
    Cell* data = face::facet(f, face::DATA);
    *data = state == BST_INDETERMINATE ? make_cell(TYPE_NONE) : make_cell(TYPE_LOGIC, state == BST_CHECKED);
}

void read_slider(HWND hwnd, const Cell* f) {
    bool vertical;
    const int32_t length = range_length(f, &vertical);
    int32_t pos = int32_t(SendMessage(hwnd, TBM_GETPOS, 0, 0));
    if (vertical) pos = length - pos;
    Cell* data = face::facet(f, face::DATA);
    const uint32_t type = data->is(TYPE_FLOAT) ? TYPE_FLOAT : TYPE_PERCENT;
    *data = float_::make_value(length > 0 ? double(pos) / length : 0.0, type);
}

void read_scroller(const Cell* f, const SCROLLINFO& si) {
    const double range = double(si.nMax) - si.nMin;
    *face::facet(f, face::DATA) = float_::make_value(range > 0 ? (si.nPos - si.nMin) / range : 0.0);
    *face::facet(f, face::SELECTED) = float_::make_value(range > 0 ? si.nPage / range : 0.0, TYPE_PERCENT);
}

void update_text(const Cell* face_in, int32_t item) {
    const Cell f = *face_in;
    const HWND hwnd = face::window_of(&f);
    if (!hwnd) return;
    std::string text;
    if (item < 0) {
        text = GetWindowText(hwnd);
    } else {
        const LRESULT n = SendMessage(hwnd, CB_GETLBTEXTLEN, WPARAM(item), 0);
        if (n == CB_ERR) return;
        std::string buffer(size_t(n) * 4 + 1, '\0');
        if (SendMessage(hwnd, CB_GETLBTEXT, WPARAM(item), LPARAM(buffer.data())) == CB_ERR) return;
        text = buffer.c_str();
    }
    if (multi_line(hwnd)) text = without_cr_before_lf(text);
    stack::StackScope scope;
    Cell s = *face::facet(&f, face::TEXT);
    if (s.is(TYPE_STRING)) {
        string::reset(&s);
        Cell* rooted = stack::push_cell();
        *rooted = s;
        string::append_utf8(rooted, text.data(), uint32_t(text.size()));
        s = *rooted;
    } else {
        s = *string::load_c_text(text.data(), uint32_t(text.size()), 0);
    }
    *face::facet(&f, face::TEXT) = s;
    const Cell word = *object::word_of_value(&f, face::facet(&f, face::TEXT));
    ownership::set_owner(&s, &f, &word);
}

int32_t adjust_line_breaks(const Cell* f, int32_t position, int direction) {
    const std::u32string text = code_points(utf8_of(face::facet(f, face::TEXT)));
    if (direction > 0) {
        const int32_t end = std::min<int32_t>(position, int32_t(text.size()));
        return position + int32_t(std::count(text.begin(), text.begin() + std::max(end, 0), U'\n'));
    }
    int32_t control = 0, i = 0;
    for (; i < int32_t(text.size()) && control < position; i++) control += text[i] == U'\n' ? 2 : 1;
    return i + (position - control > 0 ? position - control : 0);
}

void set_selection(HWND hwnd, const Cell* f) {
    const Cell sel = *face::facet(f, face::SELECTED);
    if (!sel.is(TYPE_PAIR)) {
        SendMessage(hwnd, EM_SETSEL, 0, 0);
        return;
    }
    int32_t start = pair::x_of(&sel), end = pair::y_of(&sel);
    if (start > end) std::swap(start, end);
    start = std::max(start - 1, 0);
    if (multi_line(hwnd)) start = adjust_line_breaks(f, start, 1), end = adjust_line_breaks(f, end, 1);
    SendMessage(hwnd, EM_SETSEL, WPARAM(start), LPARAM(end));
}

void read_selection(HWND hwnd, const Cell* f) {
    uint32_t start = 0, end = 0;
    SendMessage(hwnd, EM_GETSEL, WPARAM(&start), LPARAM(&end));
    Cell* sel = face::facet(f, face::SELECTED);
    if (start == end) {
        *sel = make_cell(TYPE_NONE);
        return;
    }
    int32_t s = int32_t(start), e = int32_t(end);
    if (multi_line(hwnd)) s = adjust_line_breaks(f, s, -1), e = adjust_line_breaks(f, e, -1);
    pair::init_cell(face::facet(f, face::SELECTED), s + 1, e);
}

void update_area_scrollbars(HWND hwnd, const Cell* f, const std::string* given) {
    const Cell* text_cell = face::facet(f, face::TEXT);
    if (!text_cell->is(TYPE_STRING)) {
        ShowScrollBar(hwnd, SB_BOTH, false);
        return;
    }
    const std::string text = given ? *given : utf8_of(text_cell);
    bool wrap = false;
    if (const Cell para = *face::facet(f, face::PARA); draw::object_with_fields(&para, PARA_FIELDS)) {
        const Cell* w = object::values_base(&para) + PARA_WRAP;
        wrap = w->is(TYPE_LOGIC) && w->data1;
    }
    RECT client;
    GetClientRect(hwnd, &client);
    const HFONT font = HFONT(SendMessage(hwnd, WM_GETFONT, 0, 0));
    const SIZE m = controls::measure_text(hwnd, font, "M", -1, controls::DT_SINGLELINE);
    int32_t total = 0;
    bool need_v = false, need_h = false;
    std::string longest;
    for (size_t from = 0; from <= text.size();) {
        size_t to = text.find('\n', from);
        if (to == std::string::npos) to = text.size();
        const std::string line = without_cr_before_lf(text.substr(from, to - from));
        int32_t height = m.cy;
        if (char_count(line) * m.cx > client.width()) {
            if (wrap)
                height = std::max(height, int32_t(controls::measure_text(hwnd, font, line, client.width(),
                                                                         controls::DT_WORDBREAK).cy));
            else if (char_count(line) > char_count(longest))
                need_h = true, longest = line;
        }
        total += height;
        if (total >= client.height()) {
            need_v = true;
            if (wrap) break;
        }
        from = to + 1;
    }
    if (need_h && !wrap) need_h = controls::measure_text(hwnd, font, longest, -1, controls::DT_SINGLELINE).cx > client.width();
    ShowScrollBar(hwnd, SB_VERT, need_v);
    ShowScrollBar(hwnd, SB_HORZ, need_h);
}

void ensure_text_room(HWND hwnd, int32_t extra) {
    const int64_t limit = SendMessage(hwnd, EM_GETLIMITTEXT, 0, 0);
    const int64_t length = char_count(GetWindowText(hwnd));
    if (limit < length + extra) SendMessage(hwnd, EM_SETLIMITTEXT, WPARAM(length + extra + 32768), 0);
}

void before_dispatch(const event::Message& msg, uint32_t flags, uint32_t type) {
    Cell f;
    if (!face_of(msg.window, &f)) return;
    const Kind kind = kind_of(&f);
    if (type == event::CHANGE && flags != 0 && kind != Kind::tab_panel &&
        !(uint32_t(GetWindowLong(msg.window, LONG_FACE_FLAGS)) & FLAG_NO_SYNC))
        update_text(&f, -1);
    else if (type == event::SELECT && kind == Kind::drop_down)
        update_text(&f, int32_t(flags));
}

int32_t list_item_at(uint32_t hwnd, int32_t x, int32_t y) {
    if (kind_of_window(hwnd) != Kind::text_list) return -1;
    POINT p{x, y};
    ScreenToClient(hwnd, &p);
    const LRESULT r = SendMessage(hwnd, LB_ITEMFROMPOINT, 0, LPARAM((uint32_t(p.y) << 16) | (uint32_t(p.x) & 0xFFFF)));
    if (r < 0 || (r >> 16) & 0xFFFF) return -1;
    return int32_t(r & 0xFFFF);
}

routine::MachineResult update_text_routine(Cell* args) {
    const Cell f = args[0];
    update_text(&f, -1);
    args[0] = make_cell(TYPE_NONE);
    return routine::MachineResult{};
}

}  // namespace zun::gui::widget
