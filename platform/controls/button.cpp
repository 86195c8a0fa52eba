// BUTTON: push buttons, check boxes (two and three states), radio buttons,
// push-like checks and group boxes.
#include <algorithm>
#include <cmath>

#include "platform/controls/control_draw.hpp"
#include "platform/controls/imagelist.hpp"

namespace zun::win::controls {

namespace {

struct Button : ControlBase {
    LRESULT check = BST_UNCHECKED;
    bool pushed = false;    // drawn down (BST_PUSHED)
    bool tracking = false;  // a left press holds the capture
    bool space = false;     // Space is down
    bool hot = false;
    bool focused = false;
    BUTTON_IMAGELIST images;  // BCM_SETIMAGELIST's, the list not owned
};

StateTable<Button> g_buttons;

uint32_t type_of(uint32_t style) { return style & BS_TYPEMASK; }
bool is_check_like(uint32_t type) {
    return type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE ||
           type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}
bool is_radio(uint32_t type) { return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON; }
bool is_push(uint32_t type) { return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON; }
LRESULT max_check(uint32_t type) {
    return type == BS_3STATE || type == BS_AUTO3STATE ? BST_INDETERMINATE : is_check_like(type) ? BST_CHECKED : 0;
}

void set_pushed(HWND hwnd, Button& b, bool pushed) {
    if (b.pushed == pushed) return;
    b.pushed = pushed;
    InvalidateRect(hwnd, nullptr, true);
}

// An auto radio button checked unchecks the auto radios of its group.
void uncheck_group(HWND hwnd) {
    HWND parent = GetParent(hwnd);
    if (!parent) return;
    std::vector<HWND> siblings = EnumChildWindows(parent);
    // Front to back is creation order (children start at the bottom), as groups run.
    auto me = std::find(siblings.begin(), siblings.end(), hwnd);
    if (me == siblings.end()) return;
    auto group_start = me;
    while (group_start != siblings.begin() && !(style_of(*group_start) & WS_GROUP)) --group_start;
    for (auto it = group_start; it != siblings.end(); ++it) {
        if (it != group_start && (style_of(*it) & WS_GROUP)) break;
        if (*it == hwnd || GetClassName(*it) != WC_BUTTON) continue;
        if (type_of(style_of(*it)) == BS_AUTORADIOBUTTON) SendMessage(*it, BM_SETCHECK, BST_UNCHECKED, 0);
    }
}

// A click: auto buttons step their check first, then BN_CLICKED.
void click(HWND hwnd, Button& b) {
    uint32_t type = type_of(style_of(hwnd));
    switch (type) {
        case BS_AUTOCHECKBOX: SendMessage(hwnd, BM_SETCHECK, b.check ? BST_UNCHECKED : BST_CHECKED, 0); break;
        case BS_AUTO3STATE: SendMessage(hwnd, BM_SETCHECK, (b.check + 1) % 3, 0); break;
        case BS_AUTORADIOBUTTON:
            if (b.check != BST_CHECKED) {
                SendMessage(hwnd, BM_SETCHECK, BST_CHECKED, 0);
                uncheck_group(hwnd);
            }
            break;
        default: break;
    }
    notify_parent(hwnd, BN_CLICKED);
}

// ---- drawing ----------------------------------------------------------------

uint32_t text_flags(uint32_t style, bool push) {
    uint32_t f = 0;
    uint32_t h = style & BS_CENTER, v = style & BS_VCENTER;
    if (h == BS_CENTER || (h == 0 && push)) f |= DT_CENTER;
    else if (h == BS_RIGHT) f |= DT_RIGHT;
    if (v == BS_TOP) f |= DT_TOP;
    else if (v == BS_BOTTOM) f |= DT_BOTTOM;
    else f |= DT_VCENTER;
    f |= (style & BS_MULTILINE) ? DT_WORDBREAK : DT_SINGLELINE;
    return f;
}

// NM_CUSTOMDRAW's pre-paint; true when the parent drew the caption itself.
bool custom_draw(HWND hwnd, cairo_t* cr, const RECT& r, const Button& b) {
    if (!GetParent(hwnd)) return false;
    NMCUSTOMDRAW cd{};
    cd.dwDrawStage = CDDS_PREPAINT;
    cd.hdc = cr;
    cd.rc = r;
    cd.uItemState = (b.pushed ? CDIS_SELECTED : 0) | (IsWindowEnabled(hwnd) ? 0 : CDIS_DISABLED) |
                    (b.check == BST_CHECKED ? CDIS_CHECKED : 0) | (b.focused ? CDIS_FOCUS : 0) |
                    (b.hot ? CDIS_HOT : 0) | (b.check == BST_INDETERMINATE ? CDIS_INDETERMINATE : 0);
    cairo_save(cr);
    LRESULT r2 = notify_parent(hwnd, cd.hdr, NM_CUSTOMDRAW);
    cairo_restore(cr);
    return (r2 & CDRF_SKIPDEFAULT) != 0;
}

void draw_push_face(HWND hwnd, cairo_t* cr, const RECT& r, const Button& b, bool down, bool enabled) {
    COLORREF face = sys_colour(COLOR_BTNFACE);
    bool dark = dark_theme();
    COLORREF fill = !enabled ? face
                    : down   ? (dark ? 0x505050 : 0xF7E4CC)  // pressed: a bluish tint
                    : b.hot  ? (dark ? 0x454545 : 0xFBF1E5)
                             : (dark ? 0x333333 : 0xE1E1E1);
    fill_rect(cr, r, fill);
    COLORREF border = !enabled ? sys_colour(COLOR_BTNSHADOW)
                      : (down || b.hot || b.focused) ? sys_colour(COLOR_HIGHLIGHT)
                                                     : (dark ? 0x7A7A7A : 0xADADAD);
    frame_rect(cr, r, border);
    if (b.focused || type_of(style_of(hwnd)) == BS_DEFPUSHBUTTON) frame_rect(cr, inset(r, 1), border);
}

void draw_check_mark(cairo_t* cr, const RECT& box, double s, COLORREF c) {
    set_colour(cr, c);
    cairo_set_line_width(cr, 1.6 * s);
    double x = box.left, y = box.top, w = box.width();
    cairo_move_to(cr, x + w * 0.22, y + w * 0.52);
    cairo_line_to(cr, x + w * 0.42, y + w * 0.72);
    cairo_line_to(cr, x + w * 0.78, y + w * 0.30);
    cairo_stroke(cr);
}

void draw_box(HWND hwnd, cairo_t* cr, const RECT& box, const Button& b, bool radio, bool enabled) {
    double s = scale_of(hwnd);
    COLORREF back = !enabled ? sys_colour(COLOR_BTNFACE)
                    : b.pushed ? (dark_theme() ? 0x505050 : 0xF7E4CC)
                               : sys_colour(COLOR_WINDOW);
    COLORREF border = !enabled ? sys_colour(COLOR_BTNSHADOW)
                      : b.hot  ? sys_colour(COLOR_HIGHLIGHT)
                               : sys_colour(COLOR_WINDOWTEXT);
    COLORREF ink = enabled ? sys_colour(COLOR_WINDOWTEXT) : sys_colour(COLOR_GRAYTEXT);
    if (radio) {
        double cx = box.left + box.width() / 2.0, cy = box.top + box.height() / 2.0, rad = box.width() / 2.0;
        cairo_arc(cr, cx, cy, rad - 0.5, 0, 2 * M_PI);
        set_colour(cr, back);
        cairo_fill_preserve(cr);
        set_colour(cr, border);
        cairo_set_line_width(cr, 1);
        cairo_stroke(cr);
        if (b.check == BST_CHECKED) {
            cairo_arc(cr, cx, cy, rad * 0.45, 0, 2 * M_PI);
            set_colour(cr, ink);
            cairo_fill(cr);
        }
        return;
    }
    fill_rect(cr, box, back);
    frame_rect(cr, box, border);
    if (b.check == BST_CHECKED) draw_check_mark(cr, box, s, ink);
    else if (b.check == BST_INDETERMINATE) fill_rect(cr, inset(box, std::max(3, box.width() / 4)), ink);
}

void draw_group_box(HWND hwnd, cairo_t* cr, const RECT& r, const Button& b, bool enabled) {
    std::string text = GetWindowText(hwnd);
    COLORREF ink = parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, r,
                                  enabled ? sys_colour(COLOR_WINDOWTEXT) : sys_colour(COLOR_GRAYTEXT));
    SIZE ts = measure_text(hwnd, b.font, text.empty() ? "M" : text, -1, DT_SINGLELINE);
    int line_y = ts.cy / 2;
    RECT frame{r.left, r.top + line_y, r.right, r.bottom};
    frame_rect(cr, frame, sys_colour(COLOR_BTNSHADOW));
    if (text.empty()) return;
    int pad = scaled(hwnd, 2), left = scaled(hwnd, 8);
    SIZE cs = measure_text(hwnd, b.font, text, -1, DT_SINGLELINE);
    RECT cap{r.left + left - pad, r.top, std::min<int32_t>(r.right, r.left + left + cs.cx + pad), r.top + ts.cy};
    parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, cap, ink);
    draw_text(cr, hwnd, b.font, text, {cap.left + pad, cap.top, cap.right, cap.bottom}, DT_SINGLELINE, ink);
}

bool has_images(const Button& b) {
    return b.images.himl != 0 && b.images.himl != HIMAGELIST_NONE && ImageList_GetImageCount(b.images.himl) > 0;
}

// The list's image for the button's look: one per state when it holds more.
int image_index(HWND hwnd, const Button& b, bool down, bool enabled) {
    int count = ImageList_GetImageCount(b.images.himl);
    int state = !enabled ? PBS_DISABLED
                : down   ? PBS_PRESSED
                : b.hot  ? PBS_HOT
                : type_of(style_of(hwnd)) == BS_DEFPUSHBUTTON ? PBS_DEFAULTED
                                                              : PBS_NORMAL;
    return count > 1 && state - 1 < count ? state - 1 : 0;
}

// Draws the image in box at the list's alignment; answers the box left for
// the caption (empty when the image takes the caption's place).
RECT draw_image(HWND hwnd, cairo_t* cr, RECT box, const Button& b, bool down, bool enabled) {
    const BUTTON_IMAGELIST& il = b.images;
    box = {box.left + il.margin.left, box.top + il.margin.top, box.right - il.margin.right,
           box.bottom - il.margin.bottom};
    int cx = 0, cy = 0;
    ImageList_GetIconSize(il.himl, &cx, &cy);
    UINT align = (style_of(hwnd) & BS_BITMAP) ? BUTTON_IMAGELIST_ALIGN_CENTER : il.uAlign;
    int x = box.left + (box.width() - cx) / 2, y = box.top + (box.height() - cy) / 2;
    RECT rest = box;
    switch (align) {
        case BUTTON_IMAGELIST_ALIGN_LEFT: x = box.left, rest.left += cx; break;
        case BUTTON_IMAGELIST_ALIGN_RIGHT: x = box.right - cx, rest.right -= cx; break;
        case BUTTON_IMAGELIST_ALIGN_TOP: y = box.top, rest.top += cy; break;
        case BUTTON_IMAGELIST_ALIGN_BOTTOM: y = box.bottom - cy, rest.bottom -= cy; break;
        default: rest = {}; break;
    }
    cairo_save(cr);
    cairo_rectangle(cr, box.left, box.top, box.width(), box.height());
    cairo_clip(cr);
    ImageList_Draw(il.himl, image_index(hwnd, b, down, enabled), cr, x, y, ILD_TRANSPARENT);
    cairo_restore(cr);
    return rest;
}

void paint(HWND hwnd, Button& b) {
    ThemeScope theme(hwnd);
    PAINTSTRUCT ps;
    cairo_t* cr = BeginPaint(hwnd, &ps);
    if (!cr) return;
    RECT r;
    GetClientRect(hwnd, &r);
    uint32_t style = style_of(hwnd);
    uint32_t type = type_of(style);
    bool enabled = IsWindowEnabled(hwnd);
    if (GetWindowLong(hwnd, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) r = draw_client_edge(cr, r);
    if (type == BS_GROUPBOX) {
        draw_group_box(hwnd, cr, r, b, enabled);
        EndPaint(hwnd, &ps);
        return;
    }
    std::string text = GetWindowText(hwnd);
    bool push_look = is_push(type) || (style & BS_PUSHLIKE);
    COLORREF ink = enabled ? sys_colour(COLOR_BTNTEXT) : sys_colour(COLOR_GRAYTEXT);
    RECT text_box = r;
    bool down = b.pushed || (push_look && !is_push(type) && b.check != BST_UNCHECKED);
    if (push_look) {
        parent_colours(hwnd, WM_CTLCOLORBTN, cr, r, ink);
        draw_push_face(hwnd, cr, r, b, down, enabled);
        int pad = scaled(hwnd, 4);
        text_box = inset(r, pad);
        if (down) text_box = {text_box.left + 1, text_box.top + 1, text_box.right + 1, text_box.bottom + 1};
    } else {
        ink = parent_colours(hwnd, WM_CTLCOLORSTATIC, cr, r, ink);
        int size = scaled(hwnd, 13);
        int top = r.top + (r.height() - size) / 2;
        if ((style & BS_VCENTER) == BS_TOP) top = r.top + std::max(0, (measure_text(hwnd, b.font, "M", -1, DT_SINGLELINE).cy - size) / 2);
        else if ((style & BS_VCENTER) == BS_BOTTOM) top = r.bottom - size;
        bool left_text = style & BS_LEFTTEXT;
        RECT box{left_text ? r.right - size : r.left, top, 0, top + size};
        box.right = box.left + size;
        draw_box(hwnd, cr, box, b, is_radio(type), enabled);
        int shift = scaled(hwnd, 16);
        text_box = left_text ? RECT{r.left, r.top, r.right - shift, r.bottom} : RECT{r.left + shift, r.top, r.right, r.bottom};
    }
    uint32_t flags = text_flags(style, push_look);
    bool caption = !(style & BS_BITMAP);
    if (has_images(b)) {
        text_box = draw_image(hwnd, cr, text_box, b, down, enabled);
        caption = caption && text_box.width() > 0;
    }
    if (caption && !custom_draw(hwnd, cr, r, b)) {
        SIZE drawn = draw_text(cr, hwnd, b.font, text, text_box, flags, ink);
        if (b.focused && !push_look && !text.empty()) {
            int x = text_box.left;
            if (flags & DT_CENTER) x = text_box.left + (text_box.width() - drawn.cx) / 2;
            else if (flags & DT_RIGHT) x = text_box.right - drawn.cx;
            int y = text_box.top + (text_box.height() - drawn.cy) / 2;
            if (flags & DT_BOTTOM) y = text_box.bottom - drawn.cy;
            else if (!(flags & DT_VCENTER)) y = text_box.top;
            draw_focus_rect(cr, {x - 1, y, x + drawn.cx + 2, y + drawn.cy});
        }
    }
    if (b.focused && push_look) draw_focus_rect(cr, inset(r, scaled(hwnd, 3)));
    EndPaint(hwnd, &ps);
}

// ---- the procedure ----------------------------------------------------------

LRESULT CALLBACK_button(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Button* b = state_for(g_buttons, hwnd, msg);
    if (!b || msg == WM_NCCREATE) return DefWindowProc(hwnd, msg, wp, lp);
    if (msg == WM_ENABLE && !wp) {  // disabled: no hot, pushed or held state
        b->hot = b->space = false;
        if (b->tracking) ReleaseCapture();
        b->tracking = b->pushed = false;
    }
    LRESULT result = 0;
    if (common_message(hwnd, *b, msg, wp, lp, &result)) return result;
    uint32_t style = style_of(hwnd);
    uint32_t type = type_of(style);
    bool group = type == BS_GROUPBOX;
    switch (msg) {
        case WM_NCHITTEST:
            return group ? HTTRANSPARENT : DefWindowProc(hwnd, msg, wp, lp);
        case WM_PAINT: paint(hwnd, *b); return 0;
        case WM_LBUTTONDBLCLK:
            // Radio buttons, and with BS_NOTIFY every button, tell a double
            // click; the others take it as a second press.
            if (type == BS_RADIOBUTTON || (style & BS_NOTIFY && !group)) {
                notify_parent(hwnd, BN_DOUBLECLICKED);
                return 0;
            }
            [[fallthrough]];  // a double click is a second press
        case WM_LBUTTONDOWN:
            if (group) return 0;
            SetFocus(hwnd);
            if (!(b = g_buttons.get(hwnd))) return 0;  // the parent destroyed it on a focus notification
            SetCapture(hwnd);
            b->tracking = true;
            set_pushed(hwnd, *b, true);
            return 0;
        case WM_MOUSEMOVE: {
            if (!b->hot && !group) {
                b->hot = true;
                track_mouse_leave(hwnd);
                InvalidateRect(hwnd, nullptr, true);
            }
            if (b->tracking) {
                RECT c;
                GetClientRect(hwnd, &c);
                set_pushed(hwnd, *b, inside(c, x_of(lp), y_of(lp)));
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            if (b->hot) {
                b->hot = false;
                InvalidateRect(hwnd, nullptr, true);
            }
            return 0;
        case WM_LBUTTONUP: {
            if (!b->tracking) return 0;
            b->tracking = false;
            RECT c;
            GetClientRect(hwnd, &c);
            bool in = inside(c, x_of(lp), y_of(lp));
            set_pushed(hwnd, *b, false);
            ReleaseCapture();
            if (in && IsWindow(hwnd)) click(hwnd, *b);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (b->tracking && static_cast<HWND>(lp) != hwnd) {
                b->tracking = false;
                set_pushed(hwnd, *b, false);
            }
            return 0;
        case WM_KEYDOWN:
            if (wp == VK_SPACE && !group && !b->space) {
                b->space = true;
                set_pushed(hwnd, *b, true);
            }
            return 0;
        case WM_KEYUP:
            if (wp == VK_SPACE && b->space) {
                b->space = false;
                bool was = b->pushed;
                set_pushed(hwnd, *b, false);
                if (was) click(hwnd, *b);
            }
            return 0;
        case WM_SETFOCUS:
            b->focused = true;
            InvalidateRect(hwnd, nullptr, true);
            if (style & BS_NOTIFY) notify_parent(hwnd, BN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            b->focused = false;
            b->space = false;
            if (!b->tracking) set_pushed(hwnd, *b, false);
            InvalidateRect(hwnd, nullptr, true);
            if (style & BS_NOTIFY) notify_parent(hwnd, BN_KILLFOCUS);
            return 0;
        case BM_GETCHECK: return is_check_like(type) ? b->check : 0;
        case BM_SETCHECK: {
            LRESULT v = std::min<LRESULT>(static_cast<LRESULT>(wp), max_check(type));
            if (v != b->check) {
                b->check = v;
                InvalidateRect(hwnd, nullptr, true);
            }
            return 0;
        }
        case BM_GETSTATE:
            return (is_check_like(type) ? b->check : 0) | (b->pushed ? BST_PUSHED : 0) |
                   (b->focused ? BST_FOCUS : 0) | (b->hot ? BST_HOT : 0);
        case BM_SETSTATE: set_pushed(hwnd, *b, wp != 0); return 0;
        case BM_SETSTYLE:
            SetWindowLong(hwnd, GWL_STYLE, static_cast<int32_t>((style & ~0xFFFFu) | (wp & 0xFFFF)));
            if (lp) InvalidateRect(hwnd, nullptr, true);
            return 0;
        case BCM_SETIMAGELIST:
            if (!lp) return 0;
            b->images = *reinterpret_cast<const BUTTON_IMAGELIST*>(lp);
            InvalidateRect(hwnd, nullptr, true);
            return 1;
        case BCM_GETIMAGELIST:
            if (!lp) return 0;
            *reinterpret_cast<BUTTON_IMAGELIST*>(lp) = b->images;
            return 1;
        case BM_CLICK:
            if (!IsWindowEnabled(hwnd) || group) return 0;
            // As Windows: a press and a release at the control's origin.
            SendMessage(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            SendMessage(hwnd, WM_LBUTTONUP, 0, 0);
            return 0;
        default: return DefWindowProc(hwnd, msg, wp, lp);
    }
}

}  // namespace

void register_button() { register_control(WC_BUTTON, CALLBACK_button, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW); }

}  // namespace zun::win::controls
