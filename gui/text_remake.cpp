// A `para` change on an edit control face: an `area` cannot change its
// wrapping in place (its rows, scroll bars and caret places all follow the
// style it was made with), so it is made again with what the user sees kept:
// the text, the selection, the first visible line, the text limit, the
// modified flag and the keyboard focus. Other faces get their style bits
// rewritten.
#include <cstring>

#include "draw/text_format.hpp"
#include "gui/font.hpp"
#include "gui/text_platform.hpp"
#include "gui/widget_internal.hpp"
#include "platform/controls/edit.hpp"

namespace zun::gui {

namespace {

using namespace win;

// What an edit control shows that its face's facets do not hold.
struct EditView {
    std::string text;
    uint32_t sel_start = 0, sel_end = 0;
    int32_t first_char = 0;  // the first character of the first visible line
    LRESULT limit = 0;
    bool modified = false, focused = false;
};

EditView take_view(HWND hwnd) {
    EditView v;
    v.text = GetWindowText(hwnd);
    SendMessage(hwnd, EM_GETSEL, WPARAM(&v.sel_start), LPARAM(&v.sel_end));
    const LRESULT line = SendMessage(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0);
    v.first_char = int32_t(SendMessage(hwnd, EM_LINEINDEX, WPARAM(line), 0));
    v.limit = SendMessage(hwnd, EM_GETLIMITTEXT, 0, 0);
    v.modified = SendMessage(hwnd, EM_GETMODIFY, 0, 0) != 0;
    v.focused = GetFocus() == hwnd;
    return v;
}

void give_view(HWND hwnd, const EditView& v) {
    SendMessage(hwnd, EM_SETLIMITTEXT, WPARAM(v.limit), 0);
    if (GetWindowText(hwnd) != v.text) SetWindowText(hwnd, v.text);
    SendMessage(hwnd, EM_SETMODIFY, v.modified, 0);
    if (v.focused) SetFocus(hwnd);
    SendMessage(hwnd, EM_SETSEL, v.sel_start, v.sel_end);
    // the line now holding the old first visible character comes to the top
    const LRESULT want = SendMessage(hwnd, EM_LINEFROMCHAR, WPARAM(v.first_char), 0);
    const LRESULT now = SendMessage(hwnd, EM_GETFIRSTVISIBLELINE, 0, 0);
    if (want != now) SendMessage(hwnd, EM_LINESCROLL, 0, LPARAM(want - now));
}

// The style bits the para gives an area, against the ones its window has.
bool area_style_differs(HWND hwnd, const Cell* face) {
    constexpr uint32_t PARA_BITS = 0x3 | ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    const Cell para = *draw::field_of(face, FACE_PARA);
    uint32_t want = ES_AUTOHSCROLL | ES_AUTOVSCROLL;  // no para: an area scrolls both ways
    if (draw::object_with_fields(&para, PARA_FIELDS))
        want = para_style_flags(draw::field_of(face, FACE_TYPE), &para) | ES_AUTOVSCROLL;
    return (uint32_t(GetWindowLong(hwnd, GWL_STYLE)) & PARA_BITS) != (want & PARA_BITS);
}

}  // namespace

HWND remake_area(const Cell* face) {
    const Cell f = *face;
    const HWND old = face::window_of(&f);
    if (!old || !IsWindow(old)) return 0;
    const EditView view = take_view(old);
    const HWND made = remake_view(&f);
    if (made) give_view(made, view);
    return made;
}

void para_changed(HWND hwnd, const Cell* face) {
    if (face::type_is(face, "area")) {
        if (area_style_differs(hwnd, face)) hwnd = remake_area(face);
    } else {
        set_para_style(face);
    }
    if (hwnd) InvalidateRect(hwnd, nullptr, true);
}

}  // namespace zun::gui
