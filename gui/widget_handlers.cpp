// What knows one kind of control: lists and combos filled from a block of
// strings, tab panels and their pages, check states, calendars with dates,
// slider, progress and scroller positions, a field's hint, an area's tab stops.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/ownership.hpp"
#include "core/symbols.hpp"
#include "datatypes/context.hpp"
#include "datatypes/date.hpp"
#include "datatypes/float.hpp"
#include "datatypes/object.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/percent.hpp"
#include "datatypes/point.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/tuple.hpp"
#include "gui/backend.hpp"
#include "gui/event.hpp"
#include "gui/widget.hpp"
#include "gui/widget_internal.hpp"
#include "platform/controls/control_draw.hpp"

namespace zun::gui {
const event::Message* current_message();  // backend.cpp
}

namespace zun::gui::widget {

namespace {

// The value of a set-word/value pair of `options`; false when absent.
bool option(const Cell* f, const char* name, Cell* out) {
    const Cell opts = *face::facet(f, face::OPTIONS);
    if (!opts.is(TYPE_BLOCK)) return false;
    const int32_t n = block::length_from_head(&opts);
    if (n % 2) return false;
    for (int32_t i = 0; i + 1 < n; i += 2) {
        const Cell* at = block::head_cell(const_cast<Cell*>(&opts)) + i;
        if (word_named(at, name)) {
            *out = at[1];
            return true;
        }
    }
    return false;
}

// The string-like values of a block from its head, as UTF-8.
std::vector<std::string> items_of(const Cell* data, int32_t from = 0, int32_t count = -1) {
    std::vector<std::string> items;
    if (!data->is(TYPE_BLOCK) && !data->is(TYPE_HASH)) return items;
    const int32_t n = block::length_from_head(data);
    const int32_t end = count < 0 ? n : std::min(n, from + count);
    for (int32_t i = std::max(0, from); i < end; i++) {
        const Cell v = block::head_cell(const_cast<Cell*>(data))[i];
        if (string_like(&v)) items.push_back(utf8_of(&v));
    }
    return items;
}

// The list position of block index i: the string-like values before it.
int32_t list_position(const Cell* data, int32_t index) {
    return int32_t(items_of(data, 0, std::max(0, index)).size());
}

COLORREF colorref_of(const Cell* tuple) {
    uint8_t b[12];
    tuple::get_bytes(tuple, b);
    return COLORREF(b[0] | (b[1] << 8) | (b[2] << 16));
}

void insert_list_item(HWND hwnd, const std::string& text, int32_t position, bool combo) {
    const int32_t count = int32_t(SendMessage(hwnd, combo ? UINT(CB_GETCOUNT) : UINT(LB_GETCOUNT), 0, 0));
    position = std::clamp(position, 0, std::max(count, 0));
    SendMessage(hwnd, combo ? UINT(CB_INSERTSTRING) : UINT(LB_INSERTSTRING), WPARAM(position), LPARAM(text.c_str()));
    if (combo) return;
    const int32_t n = char_count(text);
    if (n > GetWindowLong(hwnd, LONG_DATA)) {
        SetWindowLong(hwnd, LONG_DATA, n);
        set_list_extent(hwnd, text);
    }
}

void delete_list_item(HWND hwnd, int32_t position, bool combo) {
    SendMessage(hwnd, combo ? UINT(CB_DELETESTRING) : UINT(LB_DELETESTRING), WPARAM(position), 0);
}

bool action_is(const Cell* action, std::initializer_list<const char*> names) {
    for (const char* n : names)
        if (word_named(action, n)) return true;
    return false;
}

Cell pane_face(const Cell* f, int32_t i) {
    const Cell pane = *face::facet(f, face::PANE);
    if (!pane.is(TYPE_BLOCK) || i < 0 || i >= block::length_from_head(&pane)) return make_cell(TYPE_NONE);
    return block::head_cell(const_cast<Cell*>(&pane))[i];
}

int32_t pane_length(const Cell* f) {
    const Cell pane = *face::facet(f, face::PANE);
    return pane.is(TYPE_BLOCK) ? block::length_from_head(&pane) : 0;
}

// Items put into `data` become owned by it, so their in-place edits come
// back here; removed ones are no longer.
void own_items(const Cell* f, const Cell* data, int32_t index, int32_t count, bool own) {
    const Cell face_copy = *f;
    const int32_t n = block::length_from_head(data);
    for (int32_t i = std::max(0, index); i < std::min(n, index + count); i++) {
        const Cell v = block::head_cell(const_cast<Cell*>(data))[i];
        if (!string_like(&v)) continue;
        ownership::unset_owner(&v);
        if (!own) continue;
        const Cell word = *object::word_of_value(&face_copy, face::facet(&face_copy, face::DATA));
        ownership::set_owner(&v, &face_copy, &word);
    }
}

void insert_tab(HWND hwnd, const std::string& title, int32_t index) {
    TCITEMW item;
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(title.c_str());
    item.cchTextMax = int(title.size());
    SendMessage(hwnd, TCM_INSERTITEMW, WPARAM(index), LPARAM(&item));
}

int32_t g_pending_tab = -1;  // the tab select_tab is about to select

void notify_tab(HWND tab, UINT code) {
    NMHDR hdr{tab, uintptr_t(GetWindowLong(tab, GWLP_ID)), code};
    SendMessage(GetParent(tab), WM_NOTIFY, hdr.idFrom, LPARAM(&hdr));
}

void show_panel(const Cell* panel, bool show) {
    *face::facet(panel, face::VISIBLE) = make_cell(TYPE_LOGIC, show ? 1 : 0);
    if (const HWND h = face::window_of(panel)) {
        ShowWindow(h, show ? SW_SHOW : SW_HIDE);
        if (show) SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
}

// The new tab's page shown on top, every other shown page hidden: `selected`
// may already name the new tab when the script set it.
void show_tab_panel(const Cell* f, int32_t index) {
    const Cell page = pane_face(f, index);
    if (page.is(TYPE_OBJECT)) show_panel(&page, true);
    for (int32_t i = 0; i < pane_length(f); i++) {
        const Cell other = pane_face(f, i);
        if (i == index || !other.is(TYPE_OBJECT) || object::field_count(&other) < face::FACETS) continue;
        const Cell* shown = face::facet(&other, face::VISIBLE);
        if (!(shown->is(TYPE_LOGIC) && !shown->data1)) show_panel(&other, false);
    }
}

void place_panel_in_tab(HWND panel, HWND tab, double x, double y) {
    Cell tf;
    if (!face_of(tab, &tf) || kind_of(&tf) != Kind::tab_panel) return;
    double tx = 0, ty = 0;
    xy_of(face::facet(&tf, face::OFFSET), &tx, &ty);
    SetParent(panel, GetParent(tab));
    SetWindowPos(panel, 0, to_pixels(tx + x), to_pixels(ty + y), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SYSTEMTIME system_time_of(const Cell* date) {
    SYSTEMTIME st;
    const uint32_t packed = date->data1;
    st.wYear = uint16_t(std::clamp(date::year_of(packed), 1601, 9999));
    st.wMonth = uint16_t(date::month_of(packed));
    st.wDay = uint16_t(date::day_of(packed));
    return st;
}

}  // namespace

int32_t range_position(const Cell* f) {
    const Cell* data = face::facet(f, face::DATA);
    if (!data->is(TYPE_FLOAT) && !data->is(TYPE_PERCENT)) return 0;
    bool vertical;
    return truncated(data->as_double() * range_length(f, &vertical));
}

double scroller_ratio(const Cell* v) {
    if (!v->is(TYPE_FLOAT) && !v->is(TYPE_PERCENT)) return -1;
    const double r = v->as_double();
    return std::isnan(r) ? 0 : std::clamp(r, 0.0, 1.0);
}

void set_check_state(HWND hwnd, const Cell* f) {
    const Cell* data = face::facet(f, face::DATA);
    WPARAM state = BST_CHECKED;
    if (data->is(TYPE_NONE))
        state = kind_of(f) == Kind::check && (flag_bits(f) & FLAG_TRI_STATE) ? BST_INDETERMINATE : BST_UNCHECKED;
    else if (data->is(TYPE_LOGIC))
        state = data->data1 ? BST_CHECKED : BST_UNCHECKED;
    SendMessage(hwnd, BM_SETCHECK, state, 0);
}

void set_hint(HWND hwnd, const Cell* f) {
    Cell hint;
    if (!option(f, "hint", &hint) || !string_like(&hint)) return;
    const std::string text = utf8_of(&hint);
    SendMessage(hwnd, EM_SETCUEBANNER, 1, LPARAM(text.c_str()));
}

void set_tab_stops(HWND hwnd, const Cell* f) {
    Cell tabs;
    std::vector<int32_t> stops;
    if (option(f, "tabs", &tabs)) {
        if (tabs.is(TYPE_INTEGER)) {
            stops.push_back(tabs.as_int());
        } else if (tabs.is(TYPE_BLOCK)) {
            const int32_t n = block::length_from_head(&tabs);
            for (int32_t i = 0; i < n; i++) {
                const Cell v = block::head_cell(&tabs)[i];
                if (v.is(TYPE_INTEGER)) stops.push_back(v.as_int());
            }
        }
    }
    SendMessage(hwnd, EM_SETTABSTOPS, stops.size(), stops.empty() ? 0 : LPARAM(stops.data()));
}

void set_list_extent(HWND hwnd, const std::string& text) {
    const HFONT font = HFONT(SendMessage(hwnd, WM_GETFONT, 0, 0));
    const SIZE size = controls::measure_text(hwnd, font, text, -1, controls::DT_SINGLELINE);
    SendMessage(hwnd, LB_SETHORIZONTALEXTENT, WPARAM(size.cx + 4), 0);
}

void init_text_list(HWND hwnd, const Cell* f) {
    SendMessage(hwnd, LB_RESETCONTENT, 0, 0);
    const Cell data = *face::facet(f, face::DATA);
    std::string longest;
    int32_t longest_n = 0;
    for (const std::string& s : items_of(&data)) {
        SendMessage(hwnd, LB_ADDSTRING, 0, LPARAM(s.c_str()));
        if (char_count(s) > longest_n) longest_n = char_count(s), longest = s;
    }
    if (longest_n) set_list_extent(hwnd, longest);
    SetWindowLong(hwnd, LONG_DATA, longest_n);
    Cell* sel = face::facet(f, face::SELECTED);
    if (sel->is(TYPE_INTEGER))
        SendMessage(hwnd, LB_SETCURSEL, WPARAM(sel->as_int() > 0 ? sel->as_int() - 1 : -1), 0);
    else
        *sel = integer_cell(-1);
}

void init_combo(HWND hwnd, const Cell* f) {
    const Cell data = *face::facet(f, face::DATA);
    if (data.is(TYPE_BLOCK) || data.is(TYPE_HASH)) {
        SendMessage(hwnd, CB_RESETCONTENT, 0, 0);
        for (const std::string& s : items_of(&data)) SendMessage(hwnd, CB_ADDSTRING, 0, LPARAM(s.c_str()));
    }
    const Cell* text = face::facet(f, face::TEXT);
    if (!text->is(TYPE_STRING) || kind_of(f) == Kind::drop_list) {
        const Cell* sel = face::facet(f, face::SELECTED);
        if (sel->is(TYPE_INTEGER)) SendMessage(hwnd, CB_SETCURSEL, WPARAM(sel->as_int() - 1), 0);
    } else {
        SetWindowText(hwnd, utf8_of(text));
    }
}

void update_list_items(const Cell* f, HWND hwnd, const Cell* action, const Cell* changed, int32_t index,
                       int32_t count, bool combo) {
    const Cell data = *face::facet(f, face::DATA);
    if (changed->is(TYPE_STRING) && !(data.is(TYPE_BLOCK) && changed->data2 == data.data2)) {
        // an item string edited in place
        if (!action_is(action, {"inserted", "appended", "poked", "put-ed", "reversed", "moved", "changed",
                                "uppercase", "lowercase"}))
            return;
        int32_t at = index;
        if (action_is(action, {"uppercase", "lowercase"})) {
            const Cell* sel = face::facet(f, face::SELECTED);
            at = sel->is(TYPE_INTEGER) ? sel->as_int() - 1 : -1;
        }
        if (at < 0) return;
        delete_list_item(hwnd, at, combo);
        insert_list_item(hwnd, utf8_of(changed), at, combo);
        return;
    }
    if (!data.is(TYPE_BLOCK)) return;
    const int32_t position = list_position(&data, index);
    const bool before = action_is(action, {"remove", "take", "clear", "reverse", "put", "poke", "move"});
    own_items(f, &data, index, count, !before);
    if (before) {
        if (word_named(action, "clear") && index == 0) {
            SendMessage(hwnd, combo ? UINT(CB_RESETCONTENT) : UINT(LB_RESETCONTENT), 0, 0);
            return;
        }
        const size_t removed = items_of(&data, index, count).size();
        for (size_t i = 0; i < removed; i++) delete_list_item(hwnd, position, combo);
    } else if (action_is(action, {"inserted", "appended", "poked", "put-ed", "reversed", "moved"})) {
        int32_t at = position;
        for (const std::string& s : items_of(&data, index, count)) insert_list_item(hwnd, s, at++, combo);
    }
}

// ---- tab panels ------------------------------------------------------------------

void init_tab_panel(HWND hwnd, const Cell* f) {
    SendMessage(hwnd, TCM_DELETEALLITEMS, 0, 0);
    const Cell data = *face::facet(f, face::DATA);
    int32_t n = 0;
    for (const std::string& s : items_of(&data)) insert_tab(hwnd, s, n++);
    Cell* sel = face::facet(f, face::SELECTED);
    if (sel->is(TYPE_INTEGER))
        select_tab(hwnd, std::clamp(sel->as_int(), 1, std::max(n, 1)) - 1);
    else
        *sel = integer_cell(1);
}

// As a user's selection: the parent hears the change coming (and may refuse
// it), then the change.
void select_tab(HWND hwnd, int32_t index) {
    g_pending_tab = index;
    struct Reset {
        ~Reset() { g_pending_tab = -1; }
    } reset;
    NMHDR hdr{hwnd, uintptr_t(GetWindowLong(hwnd, GWLP_ID)), TCN_SELCHANGING};
    if (SendMessage(GetParent(hwnd), WM_NOTIFY, hdr.idFrom, LPARAM(&hdr))) return;
    SendMessage(hwnd, TCM_SETCURFOCUS, WPARAM(index), 0);
    notify_tab(hwnd, TCN_SELCHANGE);
}

// The tab a user's click or arrow key is about to select: the control tells
// only that the selection is changing.
int32_t coming_tab(HWND hwnd) {
    const int32_t now = int32_t(SendMessage(hwnd, TCM_GETCURSEL, 0, 0));
    const event::Message* m = current_message();
    if (m && m->message == WM_LBUTTONDOWN) {
        const uint32_t pos = GetMessagePos();
        TCHITTESTINFO hit;
        hit.pt = {int16_t(pos & 0xFFFF), int16_t(pos >> 16)};
        ScreenToClient(hwnd, &hit.pt);
        const int32_t at = int32_t(SendMessage(hwnd, TCM_HITTEST, 0, LPARAM(&hit)));
        if (at >= 0) return at;
    }
    if (m && m->message == WM_KEYDOWN && m->wparam == VK_LEFT) return now - 1;
    if (m && m->message == WM_KEYDOWN && m->wparam == VK_RIGHT) return now + 1;
    return now;
}

LRESULT on_tab_changing(HWND hwnd) {
    const int32_t index = g_pending_tab >= 0 ? g_pending_tab : coming_tab(hwnd);
    return send_event(hwnd, event::SELECT, uint32_t(index)) == 0 ? 1 : 0;
}

void on_tab_changed(HWND hwnd) {
    Cell f;
    if (!face_of(hwnd, &f)) return;
    const int32_t index = int32_t(SendMessage(hwnd, TCM_GETCURSEL, 0, 0));
    show_tab_panel(&f, index);
    send_event(hwnd, event::CHANGE, uint32_t(index + 1));
    if (face_of(hwnd, &f)) *face::facet(&f, face::SELECTED) = integer_cell(index + 1);
}

void update_tab_children(HWND hwnd, int mode) {
    Cell f;
    if (!face_of(hwnd, &f)) return;
    const int32_t n = pane_length(&f);
    const Cell* sel = face::facet(&f, face::SELECTED);
    const int32_t selected = sel->is(TYPE_INTEGER) ? sel->as_int() - 1 : -1;
    const Cell* vis = face::facet(&f, face::VISIBLE);
    const bool visible = vis->is(TYPE_LOGIC) && vis->data1;
    for (int32_t i = 0; i < n; i++) {
        const Cell page = pane_face(&f, i);
        const HWND ph = face::window_of(&page);
        if (!ph) continue;
        if (mode == 9) {
            if (i == selected) ShowWindow(ph, visible ? SW_SHOW : SW_HIDE);
            continue;
        }
        fit_panel_to_tab(&page, hwnd);
        double x = 0, y = 0, w = 0, h = 0;
        xy_of(face::facet(&page, face::OFFSET), &x, &y);
        xy_of(face::facet(&page, face::SIZE), &w, &h);
        if (mode == 1)
            place_panel_in_tab(ph, hwnd, x, y);
        else
            SetWindowPos(ph, 0, 0, 0, to_pixels(w), to_pixels(h), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

// A page linked to a tab-panel keeps its visibility; it goes where the
// other pages are, beside the tab control once the tab-panel has moved.
void link_tab_page(HWND tab, const Cell* page) {
    Cell f;
    const HWND ph = face::window_of(page);
    if (!ph || !face_of(tab, &f)) return;
    for (int32_t i = 0; i < pane_length(&f); i++) {
        const Cell other = pane_face(&f, i);
        const HWND oh = face::window_of(&other);
        if (!oh || oh == ph || GetParent(oh) == tab) continue;
        fit_panel_to_tab(page, tab);
        double x = 0, y = 0;
        xy_of(face::facet(page, face::OFFSET), &x, &y);
        place_panel_in_tab(ph, tab, x, y);
        return;
    }
}

void update_tab_items(const Cell* f, HWND hwnd, const Cell* action, const Cell*, int32_t index, int32_t count) {
    const Cell data = *face::facet(f, face::DATA);
    if (data.is(TYPE_STRING)) {
        init_tab_panel(hwnd, f);
        return;
    }
    if (!data.is(TYPE_BLOCK)) return;
    if (action_is(action, {"remove", "take", "clear"})) {
        for (int32_t i = 0; i < count; i++) SendMessage(hwnd, TCM_DELETEITEM, WPARAM(index), 0);
    } else if (action_is(action, {"inserted", "poked", "put-ed"})) {
        const bool replace = !word_named(action, "inserted");
        int32_t at = index;
        for (const std::string& s : items_of(&data, index, count)) {
            if (replace) SendMessage(hwnd, TCM_DELETEITEM, WPARAM(at), 0);
            insert_tab(hwnd, s, at++);
        }
    }
}

void fit_panel_to_tab(const Cell* f, HWND tab) {
    Cell tf;
    if (!face_of(tab, &tf) || kind_of(&tf) != Kind::tab_panel) return;
    RECT r;
    GetClientRect(tab, &r);
    SendMessage(tab, TCM_ADJUSTRECT, 0, LPARAM(&r));
    const double s = to_pixels(1000.0) / 1000.0;
    const bool unit = s == 1.0;
    const double x = unit ? r.left - 3 : to_logical(r.left), y = unit ? r.top - 1 : to_logical(r.top);
    const double w = unit ? r.width() + 4 : to_logical(r.width()), h = unit ? r.height() + 3 : to_logical(r.height());
    point2D::init_cell(face::facet(f, face::OFFSET), float(x), float(y));
    Cell* size = face::facet(f, face::SIZE);
    if (size->is(TYPE_PAIR))
        pair::init_cell(size, int32_t(w), int32_t(h));
    else
        point2D::init_cell(size, float(w), float(h));
}

// ---- calendars -----------------------------------------------------------------------

void init_calendar(HWND hwnd, const Cell* f) {
    const Cell data = *face::facet(f, face::DATA);
    if (data.is(TYPE_DATE))
        set_calendar_date(hwnd, &data);
    else
        read_calendar_date(hwnd, f);
}

void set_calendar_date(HWND hwnd, const Cell* date) {
    SYSTEMTIME st = system_time_of(date);
    SendMessage(hwnd, MCM_SETCURSEL, 0, LPARAM(&st));
}

void read_calendar_date(HWND hwnd, const Cell* f) {
    SYSTEMTIME st;
    if (!SendMessage(hwnd, MCM_GETCURSEL, 0, LPARAM(&st))) return;
    date::init_cell(face::facet(f, face::DATA), std::clamp(int32_t(st.wYear), 1601, 9999), st.wMonth, st.wDay, 0, 0,
                    false);
}

void set_calendar_color(HWND hwnd, const Cell* f) {
    const Cell* c = face::facet(f, face::COLOR);
    if (c->is(TYPE_TUPLE))
        SendMessage(hwnd, MCM_SETCOLOR, MCSC_BACKGROUND, LPARAM(colorref_of(c)));
    else if (c->is(TYPE_NONE))
        SendMessage(hwnd, MCM_SETCOLOR, MCSC_BACKGROUND, LPARAM(GetSysColor(COLOR_BTNFACE)));
}

// ---- ranges --------------------------------------------------------------------------

void slider_progress_set(HWND hwnd, const Cell* f, Kind kind) {
    bool vertical;
    const int32_t length = range_length(f, &vertical);
    const int32_t pos = range_position(f);
    if (kind == Kind::slider) {
        SendMessage(hwnd, TBM_SETRANGE, 1, LPARAM(uint32_t(length) << 16));
        SendMessage(hwnd, TBM_SETPOS, 1, vertical ? length - pos : pos);
    } else {
        SendMessage(hwnd, PBM_SETRANGE, 0, LPARAM(uint32_t(length) << 16));
        SendMessage(hwnd, PBM_SETPOS, WPARAM(pos), 0);
    }
}

void scroller_init(HWND hwnd, const Cell* f) {
    double ratio = scroller_ratio(face::facet(f, face::SELECTED));
    if (ratio < 0) {
        percent::init_cell(face::facet(f, face::SELECTED), 0.1);
        ratio = 0.1;
    }
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0, si.nMax = 100, si.nPage = UINT(std::trunc(ratio * 100)), si.nPos = 0;
    SetScrollInfo(hwnd, SB_CTL, &si, true);
    float_::init_cell(face::facet(f, face::DATA), 0.0);
}

}  // namespace zun::gui::widget
