// What controls tell their parent: WM_COMMAND codes, WM_NOTIFY, scrolls and
// the WM_CTLCOLOR colours, turned into facet updates and events.
#include <algorithm>
#include <cmath>

#include "core/symbols.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/tuple.hpp"
#include "draw/text_format.hpp"
#include "gui/backend.hpp"
#include "gui/event.hpp"
#include "gui/font.hpp"
#include "gui/widget.hpp"
#include "gui/widget_internal.hpp"
#include "platform/controls/control_draw.hpp"

namespace zun::gui {
// The current message with the window, message and wParam of a window's own
// scroll bar, then the event (backend.cpp).
int report_message(win::HWND hwnd, win::UINT message, win::WPARAM wp, win::LPARAM lp, uint32_t type,
                   uint32_t flags);
}  // namespace zun::gui

namespace zun::gui::widget {

namespace {

constexpr uint32_t SYNC = 0xFFFFFFFF;  // `change` flags: the text is read back

// A tuple's colour as a COLORREF, -1 for anything else.
int64_t colour_of(const Cell* v) {
    if (!v->is(TYPE_TUPLE)) return -1;
    uint8_t b[12];
    tuple::get_bytes(v, b);
    return COLORREF(b[0] | (b[1] << 8) | (b[2] << 16));
}

// The colour of the face's font object, -1 when none.
int64_t font_colour(const Cell* f) {
    const Cell font = *face::facet(f, face::FONT);
    if (!draw::object_with_fields(&font, FONT_FIELDS)) return -1;
    return colour_of(object::values_base(&font) + FONT_COLOR);
}

bool font_is_object(const Cell* f) {
    const Cell font = *face::facet(f, face::FONT);
    return draw::object_with_fields(&font, FONT_FIELDS);
}

void set_selected_of(HWND owner, const Cell* control_face) {
    Cell of;
    if (face_of(owner, &of)) *face::facet(&of, face::SELECTED) = *control_face;
}

bool state_is_block(const Cell* f) { return face::facet(f, face::STATE)->is(TYPE_BLOCK); }

void on_clicked(HWND control, const Cell* f, Kind kind) {
    uint32_t type = 0;
    switch (kind) {
    case Kind::button: type = event::CLICK; break;
    case Kind::toggle:
        read_check_state(control, f);
        type = event::CHANGE;
        break;
    case Kind::check:
        if (uint32_t(GetWindowLong(control, LONG_FACE_FLAGS)) & FLAG_TRI_STATE) {
            const LRESULT now = SendMessage(control, BM_GETCHECK, 0, 0);
            const WPARAM next = now == BST_UNCHECKED ? BST_CHECKED : now == BST_CHECKED ? BST_INDETERMINATE
                                                                                      : BST_UNCHECKED;
            SendMessage(control, BM_SETCHECK, next, 0);
        }
        read_check_state(control, f);
        type = event::CHANGE;
        break;
    case Kind::radio:
        if ((SendMessage(control, BM_GETSTATE, 0, 0) & BST_CHECKED) || (GetKeyState(VK_TAB) & 0x8000)) return;
        read_check_state(control, f);
        type = event::CLICK;
        break;
    default: return;
    }
    set_selected_of(GetAncestor(control, GA_ROOTOWNER), f);
    send_event(control, type);
}

void on_selection_change(HWND control, const Cell* f, Kind kind) {
    const UINT get = kind == Kind::text_list ? UINT(LB_GETCURSEL) : UINT(CB_GETCURSEL);
    const int32_t index = int32_t(SendMessage(control, get, 0, 0));
    const Cell* sel = face::facet(f, face::SELECTED);
    if (sel->is(TYPE_INTEGER) && sel->as_int() == index + 1) return;
    const int answer = send_event(control, event::SELECT, uint32_t(index));
    if (!state_is_block(f)) return;  // the face went away
    const int32_t again = int32_t(SendMessage(control, get, 0, 0));
    Cell* now = face::facet(f, face::SELECTED);
    if (now->is(TYPE_INTEGER) && now->as_int() == again + 1) return;
    *now = integer_cell(again + 1);
    if (answer == 1) send_event(control, event::CHANGE);
}

void on_command(HWND hwnd, WPARAM wp, LPARAM lp) {
    if (lp == 0) return;  // menu commands are the menus'
    const HWND control = HWND(lp);
    Cell f;
    if (!face_of(control, &f)) return;
    const Kind kind = kind_of(&f);
    const uint32_t code = uint32_t(wp >> 16) & 0xFFFF;
    switch (code) {
    case BN_CLICKED: on_clicked(control, &f, kind); break;
    case 3:  // BN_UNHILITE, CBN_SETFOCUS
        if (kind == Kind::radio) {
            if (SendMessage(control, BM_GETSTATE, 0, 0) == 0) send_event(control, event::CHANGE);
        } else {
            set_selected_of(GetParent(control), &f);
            send_event(control, event::FOCUS);
        }
        break;
    case EN_CHANGE: {
        Cell parent;
        if (!face_of(hwnd, &parent)) break;
        send_event(control, event::CHANGE, SYNC);
        if (kind == Kind::area && face_of(control, &f)) {
            ensure_text_room(control, 1);
            update_area_scrollbars(control, &f, nullptr);
        }
        break;
    }
    case EN_SETFOCUS:
    case 4:  // CBN_KILLFOCUS, LBN_SETFOCUS
        set_selected_of(GetParent(control), &f);
        if (kind == Kind::field || kind == Kind::area) set_selection(control, &f);
        send_event(control, kind == Kind::drop_down || kind == Kind::drop_list ? event::UNFOCUS : event::FOCUS);
        break;
    case EN_KILLFOCUS: send_event(control, event::UNFOCUS); break;
    case 1:  // LBN_SELCHANGE, CBN_SELCHANGE
        if (kind == Kind::text_list || kind == Kind::drop_down || kind == Kind::drop_list)
            on_selection_change(control, &f, kind);
        break;
    case 5:  // CBN_EDITCHANGE, LBN_KILLFOCUS, BN_DOUBLECLICKED
        if (kind == Kind::text_list) send_event(control, event::UNFOCUS);
        else if (kind != Kind::radio) send_event(control, event::CHANGE, SYNC);
        break;
    default: break;
    }
}

// A caption in the font's colour, centred on one line unless `para` says
// otherwise.
LRESULT custom_draw_button(NMCUSTOMDRAW* cd) {
    Cell f;
    const HWND control = cd->hdr.hwndFrom;
    if (!face_of(control, &f)) return 0;
    const Kind kind = kind_of(&f);
    if (kind != Kind::check && kind != Kind::radio && kind != Kind::button && kind != Kind::toggle) return 0;
    if (cd->dwDrawStage != CDDS_PREPAINT || (cd->uItemState & CDIS_DISABLED) || !font_is_object(&f)) return 0;
    const int old_mode = SetBkMode(cd->hdc, TRANSPARENT);
    const int64_t colour = font_colour(&f);
    if (colour > 0) SetTextColor(cd->hdc, COLORREF(colour));
    RECT box = cd->rc;
    if (kind == Kind::check || kind == Kind::radio) box.left += to_pixels(16);
    if (const Cell* text = face::facet(&f, face::TEXT); text->is(TYPE_STRING)) {
        uint32_t flags = controls::DT_CENTER | controls::DT_VCENTER;
        if (const Cell para = *face::facet(&f, face::PARA); draw::object_with_fields(&para, PARA_FIELDS)) {
            const Cell base = make_cell(TYPE_WORD, 0, symbol::make("base"));
            flags = para_style_flags(&base, &para);
        }
        const HFONT font = HFONT(SendMessage(control, WM_GETFONT, 0, 0));
        const COLORREF ink = colour > 0 ? COLORREF(colour) : controls::sys_colour(COLOR_BTNTEXT);
        controls::draw_text(cd->hdc, control, font, utf8_of(text), box, flags | controls::DT_SINGLELINE, ink);
    }
    SetBkMode(cd->hdc, old_mode);
    return CDRF_SKIPDEFAULT;
}

LRESULT on_notify(const NMHDR* hdr) {
    Cell f;
    if (!hdr || !face_of(hdr->hwndFrom, &f)) return 0;
    switch (hdr->code) {
    case TCN_SELCHANGING: return on_tab_changing(hdr->hwndFrom);
    case TCN_SELCHANGE: on_tab_changed(hdr->hwndFrom); return 0;
    case MCN_SELCHANGE:
        read_calendar_date(hdr->hwndFrom, &f);
        send_event(hdr->hwndFrom, event::CHANGE);
        return 0;
    case NM_CUSTOMDRAW:
        return custom_draw_button(reinterpret_cast<NMCUSTOMDRAW*>(const_cast<NMHDR*>(hdr)));
    default: return 0;
    }
}

void scroller_scrolled(HWND control, const Cell* f, WPARAM wp) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    GetScrollInfo(control, SB_CTL, &si);
    const double range = double(si.nMax) - si.nMin;
    const WPARAM code = wp & 0xFFFF;
    auto fraction = [&](const Cell* v) { return v->is(TYPE_FLOAT) || v->is(TYPE_PERCENT) ? v->as_double() : 0.0; };
    switch (code) {
    case SB_LINEUP:
    case SB_LINEDOWN: {
        const Cell* steps = object::field_count(f) > FACET_STEPS ? object::values_base(f) + FACET_STEPS : nullptr;
        int32_t step = steps ? truncated(range * fraction(steps)) : 0;
        if (code == SB_LINEUP) step = -step;
        si.nPos = int32_t(std::clamp<int64_t>(int64_t(si.nPos) + step, si.nMin, std::max(si.nMin, si.nMax)));
        break;
    }
    case SB_PAGEUP:
    case SB_PAGEDOWN: {
        const int32_t step = truncated(range * fraction(face::facet(f, face::SELECTED)));
        si.nPos = truncated(double(si.nPos) + (code == SB_PAGEUP ? -step : step));
        break;
    }
    case SB_THUMBTRACK: si.nPos = int32_t((wp >> 16) & 0xFFFF); break;
    case SB_ENDSCROLL: return;
    default: break;
    }
    SetScrollInfo(control, SB_CTL, &si, true);
    GetScrollInfo(control, SB_CTL, &si);
    read_scroller(f, si);
    send_event(control, event::CHANGE);
}

bool on_scroll(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (lp == 0) {
        report_message(hwnd, msg, wp, lp, event::SCROLL, 0);
        return true;
    }
    const HWND control = HWND(lp);
    Cell f;
    if (!face_of(control, &f)) return false;
    if (kind_of(&f) == Kind::slider) {
        read_slider(control, &f);
        const WPARAM code = wp & 0xFFFF;
        if (code != TB_THUMBPOSITION && code != TB_ENDTRACK) send_event(control, event::CHANGE);
        return true;
    }
    if (kind_of(&f) == Kind::scroller) scroller_scrolled(control, &f, wp);
    return true;
}

bool on_control_color(UINT msg, HDC dc, HWND control, LRESULT* out) {
    Cell f;
    if (!face_of(control, &f) && !face_of(GetParent(control), &f)) return false;
    const int64_t text = font_colour(&f);
    if (text >= 0) SetTextColor(dc, COLORREF(text));
    const int64_t back = colour_of(face::facet(&f, face::COLOR));
    if (back >= 0) {
        SetBkColor(dc, COLORREF(back));
        if (text < 0) SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        SetDCBrushColor(dc, COLORREF(back));
        *out = LRESULT(GetDCBrush());
        return true;
    }
    if (text < 0) return false;
    if (msg == WM_CTLCOLORSTATIC) {
        SetBkMode(dc, TRANSPARENT);
        *out = LRESULT(GetSysColorBrush(COLOR_BTNFACE));
    } else {
        *out = LRESULT(GetDCBrush());
    }
    return true;
}

}  // namespace

bool parent_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* out) {
    switch (msg) {
    case WM_COMMAND: on_command(hwnd, wp, lp); return false;
    case WM_NOTIFY:
        *out = on_notify(reinterpret_cast<const NMHDR*>(lp));
        return *out != 0;
    case WM_HSCROLL:
    case WM_VSCROLL: *out = 0; return on_scroll(hwnd, msg, wp, lp);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: return on_control_color(msg, HDC(wp), HWND(lp), out);
    default: return false;
    }
}

}  // namespace zun::gui::widget
