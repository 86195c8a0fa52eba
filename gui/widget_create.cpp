// Control faces made: the class, styles and extended styles of each type,
// the window, and the type's initial state.
#include <cmath>

#include "core/console_out.hpp"
#include "core/support.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/point.hpp"
#include "draw/text_format.hpp"
#include "gui/backend.hpp"
#include "gui/font.hpp"
#include "gui/widget.hpp"
#include "gui/widget_internal.hpp"

namespace zun::gui::widget {

namespace {

struct Shape {
    const char* cls = nullptr;
    uint32_t style = 0, ex = 0;
};

bool is_true(const Cell* v) { return v->is(TYPE_LOGIC) && v->data1; }
bool is_false(const Cell* v) { return v->is(TYPE_LOGIC) && !v->data1; }

Shape shape_of(const Cell* f, Kind kind, uint32_t flags) {
    const bool para = draw::object_with_fields(face::facet(f, face::PARA), PARA_FIELDS);
    const uint32_t edge = (flags & FLAG_NO_BORDER) ? 0 : WS_EX_CLIENTEDGE;
    double w = 0, h = 0;
    xy_of(face::facet(f, face::SIZE), &w, &h);
    const bool tall = h > w;
    switch (kind) {
    case Kind::button: return {"ZunButton", BS_MULTILINE, 0};
    case Kind::toggle: return {"ZunButton", BS_AUTOCHECKBOX | BS_PUSHLIKE, 0};
    // tri-state checks step in the click handler only
    case Kind::check: return {"ZunButton", WS_TABSTOP | ((flags & FLAG_TRI_STATE) ? BS_3STATE : BS_AUTOCHECKBOX), 0};
    case Kind::radio: return {"ZunButton", WS_TABSTOP | BS_RADIOBUTTON, 0};
    case Kind::group_box: return {"ZunPanel", 0, 0};
    case Kind::tab_panel: return {"ZunTabPanel", 0, 0};
    case Kind::field:
        return {"ZunField",
                WS_TABSTOP | ES_AUTOHSCROLL | ((flags & FLAG_PASSWORD) ? ES_PASSWORD : 0) | (para ? 0 : ES_NOHIDESEL),
                edge};
    case Kind::area:
        return {"ZunArea",
                ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP |
                    (para ? 0 : ES_AUTOHSCROLL | WS_HSCROLL | ES_NOHIDESEL),
                edge};
    case Kind::text: return {"ZunFace", SS_LEFT, 0};
    case Kind::text_list:
        return {"ZunListBox", LBS_NOTIFY | WS_HSCROLL | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, edge};
    case Kind::drop_down: return {"ZunCombo", CBS_DROPDOWN | CBS_HASSTRINGS | CBS_AUTOHSCROLL, 0};
    case Kind::drop_list: return {"ZunCombo", CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0};
    case Kind::progress: return {"ZunProgress", tall ? PBS_VERTICAL : 0, 0};
    case Kind::slider: return {"ZunSlider", tall ? TBS_VERT | TBS_DOWNISLEFT : 0, 0};
    case Kind::scroller: return {"ZunScroller", tall ? SBS_VERT : 0, 0};
    case Kind::calendar: return {"ZunCalendar", MCS_NOSELCHANGEONNAV | MCS_NOTODAY | MCS_SHORTDAYSOFWEEK, 0};
    default: return {};
    }
}

// The group-box's caption: a group box button over the whole panel.
void make_caption(HWND panel, const Cell* f, uint32_t style, uint32_t ex) {
    RECT r;
    GetClientRect(panel, &r);
    const HWND caption = CreateWindowEx(ex, WC_BUTTON, utf8_of(face::facet(f, face::TEXT)),
                                        style | WS_GROUP | BS_GROUPBOX, 0, 0, r.right, r.bottom, panel);
    SendMessage(caption, WM_SETFONT, WPARAM(GetDefaultGuiFont()), 1);
    SetWindowLong(panel, LONG_DATA, int32_t(caption));
}

void initial_state(HWND hwnd, const Cell* f, Kind kind, uint32_t style, uint32_t ex) {
    switch (kind) {
    case Kind::text_list: init_text_list(hwnd, f); break;
    case Kind::tab_panel: init_tab_panel(hwnd, f); break;
    case Kind::button: set_button_images(hwnd, f); break;
    case Kind::toggle:
        set_button_images(hwnd, f);
        set_check_state(hwnd, f);
        break;
    case Kind::group_box: make_caption(hwnd, f, style, ex); break;
    case Kind::slider:
    case Kind::progress: slider_progress_set(hwnd, f, kind); break;
    case Kind::scroller: scroller_init(hwnd, f); break;
    case Kind::check:
    case Kind::radio: set_check_state(hwnd, f); break;
    case Kind::drop_down:
    case Kind::drop_list: init_combo(hwnd, f); break;
    case Kind::field:
        set_hint(hwnd, f);
        if (!face::facet(f, face::SELECTED)->is(TYPE_NONE)) set_selection(hwnd, f);
        break;
    case Kind::area:
        set_tab_stops(hwnd, f);
        set_face_text(hwnd, f, kind);
        if (!face::facet(f, face::SELECTED)->is(TYPE_NONE)) set_selection(hwnd, f);
        break;
    case Kind::calendar:
        init_calendar(hwnd, f);
        set_calendar_color(hwnd, f);
        break;
    default: break;
    }
}

// A bad rate raises before anything is made.
void check_rate(const Cell* rate) {
    const bool good = rate->is(TYPE_NONE) || (rate->is(TYPE_INTEGER) && rate->as_int() > 0) ||
                      (rate->is(TYPE_TIME) && rate->as_double() * 1000.0 >= 1.0);
    if (!good) support::fire_error(ErrorId::script_invalid_facet_type, rate);
}

}  // namespace

bool made_here(const Cell* f) {
    const Kind k = kind_of(f);
    return k != Kind::other && k != Kind::window && k != Kind::panel && k != Kind::base;
}

HWND create(const Cell* face_in, HWND parent) {
    ensure_superclasses();
    const Cell f = *face_in;
    const Kind kind = kind_of(&f);
    const uint32_t flags = flag_bits(&f);
    check_rate(face::facet(&f, face::RATE));
    if (kind == Kind::group_box) fit_panel_to_tab(&f, parent);
    const bool pair_size = face::facet(&f, face::SIZE)->is(TYPE_PAIR);
    double x = 0, y = 0, w = 0, h = 0;
    if (Cell* offset = face::facet(&f, face::OFFSET); offset->is(TYPE_PAIR)) {
        x = pair::x_of(offset), y = pair::y_of(offset);
        point2D::init_cell(offset, float(x), float(y));
    }
    xy_of(face::facet(&f, face::OFFSET), &x, &y);
    xy_of(face::facet(&f, face::SIZE), &w, &h);
    uint32_t style = WS_CHILD | WS_CLIPSIBLINGS;
    if (is_true(face::facet(&f, face::VISIBLE))) style |= WS_VISIBLE;
    if (const Cell para = *face::facet(&f, face::PARA); draw::object_with_fields(&para, PARA_FIELDS))
        style |= para_style_flags(face::facet(&f, face::TYPE), &para);
    if (is_false(face::facet(&f, face::ENABLED))) style |= WS_DISABLED;
    if (flags & FLAG_SCROLLABLE) style |= WS_HSCROLL | WS_VSCROLL;
    const Shape shape = shape_of(&f, kind, flags);
    style |= shape.style;
    const std::string text = kind == Kind::area ? std::string() : utf8_of(face::facet(&f, face::TEXT));
    const HWND hwnd = CreateWindowEx(shape.ex, shape.cls, text, style, to_pixels(x), to_pixels(y), to_pixels(w),
                                     to_pixels(h), parent);
    if (!hwnd) {
        console_out::write_cstring("*** Didu Error: CreateWindowEx failed!\n");
        return 0;
    }
    SetWindowLong(hwnd, LONG_CREATION, pair_size ? CREATION_PAIR_SIZE : 0);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const HFONT font = font_handle_of(&f);
    SendMessage(hwnd, WM_SETFONT, WPARAM(font ? font : GetDefaultGuiFont()), 0);
    SetWindowLong(hwnd, LONG_FACE, int32_t(take_slot(&f)));
    initial_state(hwnd, &f, kind, style, shape.ex);
    set_rate(hwnd, face::facet(&f, face::RATE));
    SetWindowLong(hwnd, LONG_FACE_FLAGS, int32_t(flags));
    return hwnd;
}

}  // namespace zun::gui::widget
