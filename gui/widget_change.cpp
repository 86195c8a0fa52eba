// Control faces changed: the per-type rows of a face's pending facet changes
// and of in-place changes of its `data`.
#include <algorithm>
#include <cmath>

#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "gui/backend.hpp"
#include "gui/text_platform.hpp"
#include "gui/widget.hpp"
#include "gui/widget_internal.hpp"

namespace zun::gui::widget {

namespace {

constexpr uint32_t bit(int facet) { return 1u << facet; }
constexpr char32_t PASSWORD_CHAR = 0x25CF;

HWND caption_of(HWND group_box) { return HWND(GetWindowLong(group_box, LONG_DATA)); }

void resized(HWND hwnd, const Cell* f, Kind kind) {
    switch (kind) {
    case Kind::slider:
    case Kind::progress: {
        bool vertical;
        const int32_t length = range_length(f, &vertical);
        if (kind == Kind::slider) SendMessage(hwnd, TBM_SETRANGEMAX, 0, length);
        else SendMessage(hwnd, PBM_SETRANGE, 0, LPARAM(uint32_t(length) << 16));
        update_data(hwnd, f, kind);
        break;
    }
    case Kind::group_box: {
        RECT r;
        GetClientRect(hwnd, &r);
        SetWindowPos(caption_of(hwnd), 0, 0, 0, r.right, r.bottom, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        break;
    }
    case Kind::area: update_area_scrollbars(hwnd, f, nullptr); break;
    case Kind::tab_panel: update_tab_children(hwnd, 2); break;
    case Kind::text: InvalidateRect(hwnd, nullptr, true); break;
    default: break;
    }
}

void flags_changed(HWND hwnd, const Cell* f, Kind kind) {
    const uint32_t flags = flag_bits(f);
    SetWindowLong(hwnd, LONG_FACE_FLAGS, int32_t(flags));
    if (kind != Kind::field) return;
    SendMessage(hwnd, EM_SETPASSWORDCHAR, (flags & FLAG_PASSWORD) ? PASSWORD_CHAR : 0, 0);
    SetFocus(hwnd);
}

}  // namespace

// The face's font on the control, and on a group-box's caption too.
void set_control_font(HWND hwnd, const Cell* f) {
    const Kind kind = kind_of(f);
    if (!made_here(f)) return;
    const HFONT own = font_handle_of(f);
    const WPARAM font = WPARAM(own ? own : GetDefaultGuiFont());
    SendMessage(hwnd, WM_SETFONT, font, 1);
    if (kind == Kind::group_box) SendMessage(caption_of(hwnd), WM_SETFONT, font, 1);
    InvalidateRect(hwnd, nullptr, true);
}

void set_face_text(HWND hwnd, const Cell* f, Kind kind) {
    const std::string text = utf8_of(face::facet(f, face::TEXT));
    if (kind == Kind::group_box) {
        SetWindowText(caption_of(hwnd), text);
        return;
    }
    if (kind != Kind::area) {
        SetWindowText(hwnd, text);
        return;
    }
    ensure_text_room(hwnd, char_count(text));
    update_area_scrollbars(hwnd, f, &text);
    SetWindowText(hwnd, text);
    const int64_t limit = SendMessage(hwnd, EM_GETLIMITTEXT, 0, 0);
    if (char_count(GetWindowText(hwnd)) >= limit) {
        SendMessage(hwnd, EM_SETLIMITTEXT, WPARAM(limit + 16), 0);
        SetWindowText(hwnd, text);
    }
}

void update_data(HWND hwnd, const Cell* f, Kind kind) {
    const Cell data = *face::facet(f, face::DATA);
    switch (kind) {
    case Kind::slider:
    case Kind::progress: {
        if (!data.is(TYPE_FLOAT) && !data.is(TYPE_PERCENT)) break;
        bool vertical;
        const int32_t length = range_length(f, &vertical);
        const int32_t pos = range_position(f);
        if (kind == Kind::slider) SendMessage(hwnd, TBM_SETPOS, 1, vertical ? length - pos : pos);
        else SendMessage(hwnd, PBM_SETPOS, WPARAM(pos), 0);
        break;
    }
    case Kind::scroller: {
        if (!data.is(TYPE_FLOAT)) break;
        const double d = std::isnan(data.as_double()) ? 0.0 : std::clamp(data.as_double(), 0.0, 1.0);
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_POS;
        GetScrollInfo(hwnd, SB_CTL, &si);
        si.nPos = si.nMin + int32_t(std::trunc(d * (double(si.nMax) - si.nMin)));
        SetScrollInfo(hwnd, SB_CTL, &si, true);
        break;
    }
    case Kind::check:
    case Kind::toggle: set_check_state(hwnd, f); break;
    case Kind::radio:
        set_check_state(hwnd, f);
        if (!(data.is(TYPE_LOGIC) && data.data1))
            SendMessage(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(0, 3), LPARAM(hwnd));
        break;
    case Kind::tab_panel: init_tab_panel(hwnd, f); break;
    case Kind::calendar:
        if (data.is(TYPE_DATE)) set_calendar_date(hwnd, &data);
        break;
    case Kind::text_list:
        if (data.is(TYPE_BLOCK)) init_text_list(hwnd, f);
        break;
    case Kind::drop_down:
    case Kind::drop_list: init_combo(hwnd, f); break;
    default: break;
    }
}

void update_selected(HWND hwnd, const Cell* f, Kind kind) {
    const Cell sel = *face::facet(f, face::SELECTED);
    const int32_t index = sel.is(TYPE_INTEGER) ? sel.as_int() : 0;
    switch (kind) {
    case Kind::scroller: {
        const double ratio = scroller_ratio(&sel);
        if (ratio < 0) break;
        SCROLLINFO si;
        si.fMask = SIF_RANGE | SIF_PAGE;
        GetScrollInfo(hwnd, SB_CTL, &si);
        si.nPage = UINT(std::trunc((double(si.nMax) - si.nMin) * ratio));
        SetScrollInfo(hwnd, SB_CTL, &si, true);
        break;
    }
    case Kind::text_list: SendMessage(hwnd, LB_SETCURSEL, WPARAM(index > 0 ? index - 1 : -1), 0); break;
    case Kind::drop_down:
    case Kind::drop_list: SendMessage(hwnd, CB_SETCURSEL, WPARAM(index - 1), 0); break;
    case Kind::field:
    case Kind::area: set_selection(hwnd, f); break;
    case Kind::tab_panel:
        if (sel.is(TYPE_INTEGER)) select_tab(hwnd, index - 1);
        break;
    default: break;
    }
}

void apply_changes(HWND hwnd, const Cell* face_in, uint32_t bits) {
    const Cell f = *face_in;
    const Kind kind = kind_of(&f);
    if (kind == Kind::window || kind == Kind::base || kind == Kind::other) return;
    if ((bits & bit(face::OFFSET)) && (kind == Kind::panel || kind == Kind::tab_panel)) update_tab_children(hwnd, 1);
    if (bits & bit(face::SIZE)) resized(hwnd, &f, kind);
    if (kind == Kind::panel) return;
    if (bits & bit(face::TEXT)) set_face_text(hwnd, &f, kind);
    if (bits & bit(face::DATA)) update_data(hwnd, &f, kind);
    if (bits & bit(face::VISIBLE)) {
        const Cell* v = face::facet(&f, face::VISIBLE);
        const bool shown = !(v->is(TYPE_LOGIC) && !v->data1);
        if (kind == Kind::group_box) ShowWindow(caption_of(hwnd), shown ? SW_SHOW : SW_HIDE);
        if (kind == Kind::tab_panel) update_tab_children(hwnd, 9);
    }
    if (bits & bit(face::SELECTED)) update_selected(hwnd, &f, kind);
    if (bits & bit(face::FLAGS)) flags_changed(hwnd, &f, kind);
    if (bits & bit(face::COLOR)) {
        if (kind == Kind::calendar) set_calendar_color(hwnd, &f);
        else InvalidateRect(hwnd, nullptr, true);
    }
    if (bits & bit(face::FONT)) set_control_font(hwnd, &f);
    if (bits & bit(face::PARA)) para_changed(hwnd, &f);
    if ((bits & bit(face::IMAGE)) && (kind == Kind::button || kind == Kind::toggle)) set_button_images(hwnd, &f);
}

// on-change-facet: lists, combos and tabs follow in-place changes of `data`;
// anything else is a full update of the face.
routine::MachineResult on_change_facet_routine(Cell* args) {
    const Cell f = args[0], word = args[1], value = args[2], action = args[3];
    const int32_t index = args[5].as_int(), part = args[6].as_int();
    const HWND hwnd = face::window_of(&f);
    const Kind kind = f.is(TYPE_OBJECT) && object::field_count(&f) >= face::FACETS ? kind_of(&f) : Kind::other;
    const bool data = word_named(&word, "data");
    if (hwnd && data && kind == Kind::text_list && !word_named(&action, "sort")) {
        update_list_items(&f, hwnd, &action, &value, index, part, false);
    } else if (hwnd && data && (kind == Kind::drop_down || kind == Kind::drop_list) && part != 0) {
        update_list_items(&f, hwnd, &action, &value, index, part, true);
    } else if (hwnd && data && kind == Kind::tab_panel) {
        update_tab_items(&f, hwnd, &action, &value, index, part);
    } else if (routine::Entry full = platform_entry(11)) {
        args[0] = f;
        return full(args);
    }
    args[0] = make_cell(TYPE_NONE);
    return routine::MachineResult{};
}

}  // namespace zun::gui::widget
