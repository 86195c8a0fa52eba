// The routines of system/view/platform that the windows layer answers, and
// the routines behind the memory-display object of the in-memory display.
#include <sys/utsname.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/ownership.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/function.hpp"
#include "datatypes/object.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "datatypes/word.hpp"
#include "gui/backend.hpp"
#include "gui/camera_face.hpp"
#include "gui/dialogs.hpp"
#include "gui/event.hpp"
#include "gui/face.hpp"
#include "gui/font.hpp"
#include "gui/routine_results.hpp"
#include "gui/menus.hpp"
#include "gui/text_platform.hpp"
#include "gui/widget.hpp"
#include "interpreter/stack.hpp"
#include "platform/controls/control_draw.hpp"
#include "platform/display_memory.hpp"
#include "startup/boot_texts.hpp"

namespace zun::gui {

using namespace win;
using routine::MachineResult;

namespace {

// A top-level needs the display: access cannot-open names what was tried.
void need_display() {
    if (init()) return;
    stack::StackScope scope;
    const std::string& what = display_error();
    const Cell* text = string::load_c_text(what.data(), uint32_t(what.size()), 0);
    support::fire_error(ErrorId::access_cannot_open, text);
}

MachineResult make_null_handle(Cell* args) {
    handle::init_cell(&args[0], 0, handle::NULL_KIND);
    return MachineResult{};
}

MachineResult fetch_all_screens(Cell* args) {
    stack::StackScope scope;
    Cell* list = block::push_new(4);
    if (init())
        for (HMONITOR m : EnumDisplayMonitors()) handle::append_to_block(list, m, handle::MONITOR);
    args[0] = *list;
    return MachineResult{};
}

MachineResult get_current_screen(Cell* args) {
    if (!init()) {
        handle::init_cell(&args[0], 0, handle::NULL_KIND);
        return MachineResult{};
    }
    POINT p;
    GetCursorPos(&p);
    handle::init_cell(&args[0], MonitorFromPoint(p, MONITOR_DEFAULTTOPRIMARY), handle::MONITOR);
    return MachineResult{};
}

// The primary monitor in logical units (the id is not read).
MachineResult get_screen_size(Cell* args) {
    int32_t w = 0, h = 0;
    if (init()) {
        MONITORINFO info;
        GetMonitorInfo(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info);
        w = int32_t(std::lround(to_logical(info.rcMonitor.width())));
        h = int32_t(std::lround(to_logical(info.rcMonitor.height())));
    }
    pair::init_cell(&args[0], w, h);
    return MachineResult{};
}

MachineResult destroy_view(Cell* args) {
    const Cell f = args[0];
    const bool empty = args[1].data1 != 0;
    if (display_open()) destroy_face(&f);
    // the last window gone: every running loop ends, the innermost first
    if (empty) {
        counters().loop_depth--;
        counters().pending_exits = std::max(counters().pending_exits + 1, counters().running);
    }
    return none_result(args);
}

// The change mask in the face's state block, nullptr when it has none.
Cell* mask_of(const Cell* f) {
    Cell* st = face::facet(f, face::STATE);
    return st->is(TYPE_BLOCK) && block::length_from_head(st) > 1 ? block::head_cell(st) + 1 : nullptr;
}

// gui/update-faces' positioning record: the moves, sizes and shows of a
// batch, given to DeferWindowPos.
struct Positioning {
    int32_t x = 0, y = 0, cx = 0, cy = 0;
    UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
};
constexpr uint32_t MOVE_BITS = (1u << face::OFFSET) | (1u << face::SIZE) | (1u << face::VISIBLE);

// offset and size in logical units to the window's rectangle
void place(HWND hwnd, const Cell* f, uint32_t bits, Positioning* record) {
    double x = 0, y = 0, w = 0, h = 0;
    const bool moved = (bits & (1u << face::OFFSET)) && xy_of(face::facet(f, face::OFFSET), &x, &y);
    const bool sized = (bits & (1u << face::SIZE)) && xy_of(face::facet(f, face::SIZE), &w, &h);
    if (moved && face::type_is(f, "window")) {
        double cw = 0, ch = 0;
        xy_of(face::facet(f, face::SIZE), &cw, &ch);
        target_monitor_dpi(x, y, cw, ch);
    }
    if (sized) {
        // the size's type decides what later sizes read back as
        const int32_t creation = GetWindowLong(hwnd, LONG_CREATION);
        const bool pair = face::facet(f, face::SIZE)->is(TYPE_PAIR);
        SetWindowLong(hwnd, LONG_CREATION, pair ? creation | CREATION_PAIR_SIZE : creation & ~CREATION_PAIR_SIZE);
    }
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (!moved) flags |= SWP_NOMOVE;
    if (!sized) flags |= SWP_NOSIZE;
    if (record) {
        if (moved) record->x = to_pixels(x), record->y = to_pixels(y), record->flags &= ~SWP_NOMOVE;
        if (sized) record->cx = to_pixels(w), record->cy = to_pixels(h), record->flags &= ~SWP_NOSIZE;
        return;
    }
    SetWindowPos(hwnd, 0, to_pixels(x), to_pixels(y), to_pixels(w), to_pixels(h), flags);
    if (moved && face::type_is(f, "window")) sync_window_dpi(hwnd);
    if (moved) caret_moved(hwnd, f);
}

void set_title(HWND hwnd, const Cell* f) {
    const Cell* text = face::facet(f, face::TEXT);
    if (face::type_is(f, "window")) SetWindowText(hwnd, text->is(TYPE_STRING) ? utf8(text) : std::string());
}

bool logic_false(const Cell* v) { return v->is(TYPE_LOGIC) && !v->data1; }

void update_visible(HWND hwnd, const Cell* f, Positioning* record) {
    const bool shown = !logic_false(face::facet(f, face::VISIBLE));
    if (record) {
        record->flags |= shown ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
        return;
    }
    ShowWindow(hwnd, !shown ? SW_HIDE : face::type_is(f, "base") ? SW_SHOWNA : SW_SHOW);
    caret_shown(hwnd, f, shown);
}

// A window's `selected`: a face takes the focus; none gives it to the window.
void update_selected(HWND hwnd, const Cell* f) {
    if (!face::type_is(f, "window")) return;
    const Cell selected = *face::facet(f, face::SELECTED);
    if (selected.is(TYPE_OBJECT)) focus_face(hwnd);
    else if (selected.is(TYPE_NONE)) SetFocus(hwnd);
}

bool drawn_by_pass(const Cell* f) {
    return face::type_is(f, "base") || face::type_is(f, "rich-text") || face::type_is(f, "window") ||
           face::type_is(f, "panel");
}

// gui/apply-changes: the changed facets in their order.
void apply_changes(const Cell& f, HWND hwnd, uint32_t bits, Positioning* record) {
    if (bits & ((1u << face::OFFSET) | (1u << face::SIZE))) place(hwnd, &f, bits, record);
    if (bits & (1u << face::TEXT)) {
        if (face::type_is(&f, "base")) redraw_face(&f);
        set_title(hwnd, &f);
    }
    // a rich-text face's text or styles: painted again, no erase
    if ((bits & ((1u << face::TEXT) | (1u << face::DATA))) && face::type_is(&f, "rich-text"))
        InvalidateRect(hwnd, nullptr, false);
    if (bits & (1u << face::ENABLED)) EnableWindow(hwnd, !logic_false(face::facet(&f, face::ENABLED)));
    if (bits & (1u << face::VISIBLE)) update_visible(hwnd, &f, record);
    if (bits & (1u << face::SELECTED)) update_selected(hwnd, &f);
    if (bits & (1u << face::FLAGS)) SetWindowLong(hwnd, LONG_FLAGS, int32_t(face_flag_bits(&f)));
    if (bits & ((1u << face::DRAW) | (1u << face::COLOR))) {
        if (drawn_by_pass(&f)) redraw_face(&f);
        else InvalidateRect(hwnd, nullptr, true);
    }
    // a tab-panel's pages are ordered with the tab-panel, by its parent's pane
    if ((bits & (1u << face::PANE)) && !face::type_is(&f, "tab-panel")) sync_z_order(face::facet(&f, face::PANE));
    if (bits & (1u << face::RATE)) set_rate(face::window_of(&f), face::facet(&f, face::RATE));
    if (bits & (1u << face::FONT)) set_font(&f);
    if (bits & ((1u << face::FONT) | (1u << face::PARA))) {
        if (drawn_by_pass(&f)) redraw_face(&f);
        else InvalidateRect(face::window_of(&f), nullptr, true);
    }
    if ((bits & (1u << face::IMAGE)) && face::type_is(&f, "base")) redraw_face(&f);
    if (bits & (1u << face::OPTIONS)) set_cursor_option(face::window_of(&f), &f);
    if ((bits & (1u << face::MENU)) && face::type_is(&f, "window")) menus::set_menu_bar(hwnd, &f);
    if (face::type_is(&f, "camera")) camera_face::apply_changes(hwnd, &f, bits);
    widget::apply_changes(hwnd, &f, bits);
}

// gui/update-face: the pending changes outside keep applied in the face's
// DPI scope; when one raises, the pending bits are put back as they were.
void update_face(const Cell& f, uint32_t keep, Positioning* record) {
    if (!record) mark_layout_stale(&f);  // a rich-text face is laid out again
    const HWND hwnd = face::window_of(&f);
    if (!hwnd) return;
    Cell* mask = mask_of(&f);
    const uint32_t pending = mask && mask->is(TYPE_INTEGER) ? mask->data2 : 0;
    const uint32_t changes = record ? pending & MOVE_BITS : pending & ~keep;
    if (!record && mask && mask->is(TYPE_INTEGER)) *mask = integer_cell(int32_t(pending & keep));
    if (record) *record = Positioning{};
    DpiContext dpi(hwnd);
    try {
        apply_changes(f, hwnd, changes, record);
    } catch (...) {
        // the handlers run above may have moved the state block
        if (Cell* again = mask_of(&f); again && again->is(TYPE_INTEGER)) *again = integer_cell(int32_t(pending));
        throw;
    }
}

// A face's moves wait for its parent's batch unless it is one of the types
// that place their children themselves.
HWND batch_parent(const Cell& f) {
    const HWND hwnd = face::window_of(&f);
    const Cell* mask = mask_of(&f);
    if (!hwnd || !mask || !mask->is(TYPE_INTEGER) || !(mask->data2 & MOVE_BITS) || has_caret(hwnd)) return 0;
    for (const char* t : {"window", "tab-panel", "group-box", "area", "camera"})
        if (face::type_is(&f, t)) return 0;
    return GetParent(hwnd);
}

// gui/update-faces: every face updated, its moves kept back when it has a
// batch parent; then consecutive faces of one parent moved in one batch.
void update_faces(const Cell& faces) {
    const int32_t n = block::length_from_head(&faces);
    std::vector<HWND> parents(size_t(n), 0);
    for (int32_t i = 0; i < n; i++) {
        const Cell f = block::head_cell(const_cast<Cell*>(&faces))[i];
        if (face::type_is(&f, "screen")) continue;
        parents[size_t(i)] = batch_parent(f);
        update_face(f, parents[size_t(i)] ? MOVE_BITS : 0, nullptr);
    }
    for (int32_t i = 0; i < n;) {
        const HWND parent = parents[size_t(i)];
        if (!parent) {
            i++;
            continue;
        }
        HDWP batch = BeginDeferWindowPos(8);
        int32_t end = i;
        for (; end < n && parents[size_t(end)] == parent; end++) {
            const Cell f = block::head_cell(const_cast<Cell*>(&faces))[end];
            Positioning record;
            update_face(f, 0, &record);
            if (const HWND hwnd = face::window_of(&f))
                batch = DeferWindowPos(batch, hwnd, 0, record.x, record.y, record.cx, record.cy, record.flags);
        }
        for (int32_t k = i; k < end; k++) {
            const Cell f = block::head_cell(const_cast<Cell*>(&faces))[k];
            if (Cell* mask = mask_of(&f); mask && mask->is(TYPE_INTEGER))
                *mask = integer_cell(int32_t(mask->data2 & ~MOVE_BITS));
        }
        EndDeferWindowPos(batch);
        i = end;
    }
}

MachineResult update_view(Cell* args) {
    const Cell f = args[0];
    if (f.is(TYPE_BLOCK)) {
        for (int32_t i = 0; i < block::length_from_head(&f); i++) {
            const Cell* v = block::head_cell(const_cast<Cell*>(&f)) + i;
            if (!v->is(TYPE_OBJECT)) support::fire_error(ErrorId::script_invalid_type, v);
        }
        if (display_open()) update_faces(f);
        return none_result(args);
    }
    if (!f.is(TYPE_OBJECT)) support::fire_error(ErrorId::script_invalid_type, &f);
    if (face::type_is(&f, "screen")) return none_result(args);
    if (display_open()) update_face(f, 0, nullptr);
    return none_result(args);
}

MachineResult detach_image(Cell* args) {
    const Cell img = args[0];
    ownership::unset_owner(&img);
    return none_result(args);
}

// gui/relink-face: linked faces are shown in the new parent, unlinked ones
// hidden and detached. A tab-panel's pages keep their visibility (one page
// shows at a time) and join the other pages.
void relink_face(const Cell* f, HWND parent) {
    if (!f->is(TYPE_OBJECT) || object::field_count(f) < face::FACETS) return;
    if (Cell pf; parent && face_of_window(parent, &pf) && face::type_is(&pf, "tab-panel")) {
        widget::link_tab_page(parent, f);
        return;
    }
    const HWND hwnd = face::window_of(f);
    *face::facet(f, face::VISIBLE) = make_cell(TYPE_LOGIC, parent != 0 ? 1 : 0);
    if (!hwnd || !IsWindow(hwnd)) return;
    if (!parent) {
        ShowWindow(hwnd, SW_HIDE);
        SetParent(hwnd, 0);
        return;
    }
    SetParent(hwnd, parent);
    ShowWindow(hwnd, SW_SHOWNA);
}

// The faces a pane change names: one face, or a block of them.
void relink_faces(const Cell& changed, HWND parent) {
    if (changed.is(TYPE_OBJECT)) {
        relink_face(&changed, parent);
        return;
    }
    if (!changed.is(TYPE_BLOCK)) return;
    for (int32_t i = 0; i < block::length_from_head(&changed); i++) {
        const Cell f = block::head_cell(const_cast<Cell*>(&changed))[i];
        relink_face(&f, parent);
    }
}

// gui/update-deep-change: pane links and unlinks, else a full update.
MachineResult on_change_facet(Cell* args) {
    const Cell owner = args[0], word = args[1], value = args[2], action = args[3], changed = args[4];
    if (!display_open() || !owner.is(TYPE_OBJECT) || object::field_count(&owner) < face::FACETS)
        return none_result(args);
    const HWND hwnd = face::window_of(&owner);
    if (symbol::canonical(word.data2) == symbol::canonical(symbol::make("pane"))) {
        for (const char* a : {"remove", "take", "clear"})
            if (face::word_is(&action, a)) relink_faces(changed, 0);
        for (const char* a : {"inserted", "poke", "put", "moved", "changed"})
            if (face::word_is(&action, a)) {
                relink_faces(changed, hwnd);
                sync_z_order(&value);
            }
        return none_result(args);
    }
    return widget::on_change_facet_routine(args);  // lists, combos and tabs in place, else a full update
}

// gui/update-scroller: a scroller! on its parent face's own bar.
MachineResult update_scroller(Cell* args) {
    const Cell scroller = args[0];
    const int32_t index = args[1].as_int();
    if (!display_open() || !scroller.is(TYPE_OBJECT) || object::field_count(&scroller) < 7)
        support::fire_error(ErrorId::script_invalid_arg, &scroller);
    const Cell* fields = object::values_base(&scroller);
    const Cell position = fields[0], page = fields[1], max = fields[3], visible = fields[4];
    const Cell vertical = fields[5], parent = fields[6];
    const HWND hwnd = parent.is(TYPE_OBJECT) ? face::window_of(&parent) : 0;
    if (!hwnd) return none_result(args);
    const int bar = vertical.is(TYPE_LOGIC) && vertical.data1 ? SB_VERT : SB_HORZ;
    SCROLLINFO si;
    if (index == 0) {
        si.fMask = SIF_POS | SIF_DISABLENOSCROLL;
        si.nPos = position.as_int();
        SetScrollInfo(hwnd, bar, &si, true);
    } else if (index == 1 || index == 3) {
        si.fMask = SIF_RANGE | SIF_PAGE | SIF_DISABLENOSCROLL;
        si.nMin = 0;
        si.nMax = max.as_int();
        si.nPage = UINT(std::max(0, page.as_int()));
        SetScrollInfo(hwnd, bar, &si, true);
    } else if (index == 4) {
        ShowScrollBar(hwnd, bar, visible.is(TYPE_LOGIC) && visible.data1);
    }
    return none_result(args);
}

MachineResult refresh_window(Cell* args) {
    if (display_open()) RedrawWindow(args[0].data2, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    return none_result(args);
}

// Paints before it answers.
MachineResult redraw(Cell* args) {
    const Cell f = args[0];
    if (const HWND hwnd = face::window_of(&f); hwnd && display_open()) {
        RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        flush_display();
    }
    return none_result(args);
}

MachineResult show_window(Cell* args) {
    if (display_open() && IsWindow(args[0].data2)) {
        ShowWindow(args[0].data2, SW_SHOW);
        UpdateWindow(args[0].data2);
        focus_face(args[0].data2);
    }
    return none_result(args);
}

MachineResult make_view(Cell* args) {
    const Cell f = args[0];
    need_display();
    const HWND parent = args[1].data1 == handle::WINDOW ? args[1].data2 : 0;
    const HWND hwnd = gui::make_view(&f, parent);
    handle::init_cell(&args[0], hwnd, handle::WINDOW);
    return MachineResult{};
}

// Outside the face's paint there is nothing to draw into.
MachineResult draw_face(Cell* args) {
    const Cell f = args[0], commands = args[1];
    if (display_open()) gui::draw_face(&f, &commands);
    return none_result(args);
}

MachineResult do_event_loop(Cell* args) { return logic_result(args, do_events(args[0].data1 != 0)); }

MachineResult exit_event_loop(Cell* args) {
    if (display_open()) PostQuitMessage(0);
    return none_result(args);
}

MachineResult set_dark_mode(Cell* args) {
    const Cell f = args[0];
    if (const HWND hwnd = face::window_of(&f)) {
        SetWindowLong(hwnd, LONG_DARK, args[1].data1 ? 1 : 0);
        win::controls::set_window_theme(hwnd, args[1].data1 != 0);
        set_title_theme(hwnd, args[1].data1 != 0);
        RedrawWindow(hwnd, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    }
    return none_result(args);
}

// The controls are ours and both themes exist: only high contrast says no.
MachineResult support_dark_mode(Cell* args) {
    return logic_result(args, !(init() && desktop_settings().high_contrast));
}

struct Override {
    int index;
    routine::Entry entry;
};
const Override k_overrides[] = {
    {0, make_null_handle}, {1, fetch_all_screens}, {2, get_current_screen}, {5, on_change_facet},
    {6, widget::update_text_routine}, {10, detach_image}, {25, update_scroller},
    {3, get_screen_size},  {9, destroy_view},      {11, update_view},
    {12, refresh_window},  {13, redraw},           {14, show_window},
    {15, make_view},       {17, draw_face},        {18, do_event_loop},
    {19, exit_event_loop}, {26, set_dark_mode},    {27, support_dark_mode},
    {20, request_font},    {21, request_file},     {22, request_dir},
    {23, request_color},
};

}  // namespace

routine::Entry platform_entry(int index) {
    for (const Override& o : k_overrides)
        if (o.index == index) return o.entry;
    return nullptr;
}

// ---- memory-display -------------------------------------------------------

namespace {

MemoryDisplay* memory() {
    if (!init()) return nullptr;
    return dynamic_cast<MemoryDisplay*>(display());
}

HWND window_arg(const Cell* v) {
    if (v->is(TYPE_HANDLE)) return v->data2;
    if (v->is(TYPE_OBJECT)) return face::window_of(v);
    return 0;
}

MachineResult md_move(Cell* a) {
    memory()->move(int32_t(a[0].data2), int32_t(a[1].data2));
    return none_result(a);
}
MachineResult md_press(Cell* a) {
    memory()->press(int(a[0].data2));
    return none_result(a);
}
MachineResult md_release(Cell* a) {
    memory()->release(int(a[0].data2));
    return none_result(a);
}
MachineResult md_wheel(Cell* a) {
    memory()->wheel(int(a[0].data2));
    return none_result(a);
}
MachineResult md_key(Cell* a) {
    memory()->key(utf8(&a[0]));
    return none_result(a);
}
MachineResult md_text(Cell* a) {
    memory()->commit_text(utf8(&a[0]));
    return none_result(a);
}
MachineResult md_compose(Cell* a) {
    memory()->compose(window_arg(&a[0]), utf8(&a[1]));
    return none_result(a);
}
MachineResult md_close(Cell* a) {
    memory()->close_request(window_arg(&a[0]));
    return none_result(a);
}
// 'minimize 'maximize 'restore 'activate
MachineResult md_window(Cell* a) {
    const HWND h = window_arg(&a[0]);
    const std::string what = utf8(&a[1]);
    MemoryDisplay* m = memory();
    if (what == "minimize") m->minimize(h);
    else if (what == "maximize") m->maximize(h);
    else if (what == "restore") m->restore(h);
    else if (what == "activate") m->activate_window(h);
    else support::fire_error(ErrorId::script_invalid_arg, &a[1]);
    return none_result(a);
}
// An interactive move or resize to offset/size (screen pixels), with its
// begin and end.
MachineResult md_drag(Cell* a) {
    const HWND h = window_arg(&a[0]);
    const bool resizing = a[1].data1 != 0;
    RECT r;
    GetWindowRect(h, &r);
    const int32_t x = pair::x_of(&a[2]), y = pair::y_of(&a[2]);
    r = resizing ? RECT{r.left, r.top, r.left + x, r.top + y} : RECT{x, y, x + r.width(), y + r.height()};
    MemoryDisplay* m = memory();
    m->begin_size_move(h, resizing);
    m->size_move_to(h, r);
    m->end_size_move(h);
    return none_result(a);
}
MachineResult md_advance(Cell* a) {
    memory()->advance(uint64_t(a[0].data2));
    return none_result(a);
}
MachineResult md_title(Cell* a) {
    const std::string t = GetWindowText(window_arg(&a[0]));
    const Cell* s = string::load_c_text(t.data(), uint32_t(t.size()), 0);
    a[0] = *s;
    return MachineResult{};
}
// [offset size] of the client area, screen pixels.
MachineResult md_rect(Cell* a) {
    const HWND h = window_arg(&a[0]);
    RECT r;
    GetClientRect(h, &r);
    POINT p;
    ClientToScreen(h, &p);
    stack::StackScope scope;
    Cell* list = block::push_new(2);
    pair::append_to_block(list, p.x, p.y);
    pair::append_to_block(list, r.width(), r.height());
    a[0] = *list;
    return MachineResult{};
}
MachineResult md_visible(Cell* a) { return logic_result(a, IsWindowVisible(window_arg(&a[0]))); }
MachineResult md_alive(Cell* a) { return logic_result(a, IsWindow(window_arg(&a[0]))); }
// The colour shown at a client point, unpremultiplied, alpha as transparency.
MachineResult md_pixel(Cell* a) {
    const HWND h = window_arg(&a[0]);
    const uint32_t p = memory()->pixel(GetAncestor(h, GA_ROOT), pair::x_of(&a[1]), pair::y_of(&a[1]));
    POINT at{pair::x_of(&a[1]), pair::y_of(&a[1])};
    (void)at;
    const uint32_t alpha = p >> 24;
    auto un = [alpha](uint32_t c) { return alpha ? uint8_t(std::min(255u, (c * 255 + alpha / 2) / alpha)) : uint8_t(0); };
    const uint8_t bytes[4] = {un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF), uint8_t(255 - alpha)};
    tuple::init_cell(&a[0], bytes, alpha == 255 ? 3 : 4);
    return MachineResult{};
}
MachineResult md_idle_exits(Cell* a) {
    a[0] = integer_cell(int32_t(idle_exits()));
    return MachineResult{};
}
MachineResult md_focus(Cell* a) {
    Cell f;
    if (face_of_window(GetFocus(), &f)) a[0] = f;
    else a[0] = make_cell(TYPE_NONE);
    return MachineResult{};
}
// The cursor the top-level shows, as the word of its option.
MachineResult md_cursor(Cell* a) {
    const MemoryDisplay::Top* t = memory()->top(GetAncestor(window_arg(&a[0]), GA_ROOT));
    const HCURSOR c = t ? t->cursor : 0;
    const char* name = c == IDC_IBEAM ? "I-beam" : c == IDC_HAND ? "hand" : c == IDC_CROSS ? "cross"
                     : c == IDC_SIZENS ? "resize-ns" : c == IDC_SIZEWE ? "resize-ew"
                     : c == IDC_ARROW ? "arrow" : c ? "image" : "none";
    a[0] = *word::make_global(name);
    return MachineResult{};
}
MachineResult md_capture(Cell* a) {
    Cell f;
    if (face_of_window(GetCapture(), &f)) a[0] = f;
    else a[0] = make_cell(TYPE_NONE);
    return MachineResult{};
}
MachineResult md_dpi(Cell* a) {
    DesktopSettings s = desktop_settings();
    s.dpi = uint32_t(a[0].data2);
    memory()->set_settings(s);
    return none_result(a);
}

// [family height spot] of the window's composition: the font the display
// was last given for it (none, none when none was) and the input method's
// spot as a client point (none without one).
MachineResult md_ime(Cell* a) {
    const HWND top = GetAncestor(window_arg(&a[0]), GA_ROOT);
    const MemoryDisplay* m = memory();
    stack::StackScope scope;
    Cell* list = block::push_new(3);
    const Cell made = *list;
    const bool font = top && m->composition_font_window() == top;
    const std::string family = font ? m->composition_font().family : std::string();
    if (font) {
        block::append_cell(&made, string::load_c_text(family.data(), uint32_t(family.size()), 0));
        const Cell height = integer_cell(m->composition_font().height);
        block::append_cell(&made, &height);
    } else {
        block::append_cell(&made, &shared_none_cell);
        block::append_cell(&made, &shared_none_cell);
    }
    if (top && m->caret_window() == top) {
        POINT o{0, 0};
        ClientToScreen(top, &o);
        pair::append_to_block(&made, m->caret().left - o.x, m->caret().top - o.y);
    } else {
        block::append_cell(&made, &shared_none_cell);
    }
    a[0] = made;
    return MachineResult{};
}

// The desktop's text rendering: subpixel order ("" none given), antialias
// (-1 not given), hint style.
MachineResult md_text_rendering(Cell* a) {
    DesktopSettings s = desktop_settings();
    s.text_rgba = utf8(&a[0]);
    s.text_antialias = a[1].as_int();
    s.text_hintstyle = utf8(&a[2]);
    memory()->set_settings(s);
    return none_result(a);
}

// [windows timers image-cursors] alive in the layer now.
MachineResult md_counts(Cell* a) {
    const LayerCounts c = layer_counts();
    stack::StackScope scope;
    Cell* list = block::push_new(3);
    for (uint32_t n : {c.windows, c.timers, c.image_cursors}) {
        const Cell v = integer_cell(int32_t(n));
        block::append_cell(list, &v);
    }
    a[0] = *list;
    return MachineResult{};
}
// Monitors as ZUN_DISPLAY names them ("1024x768@96,1280x1024+1024+0@144").
MachineResult md_monitors(Cell* a) {
    std::vector<Monitor> monitors;
    if (!MemoryDisplay::parse_monitors(utf8(&a[0]), &monitors) || monitors.empty())
        support::fire_error(ErrorId::script_invalid_arg, &a[0]);
    memory()->set_monitors(std::move(monitors));
    return none_result(a);
}

// A new desktop theme: dark, high contrast, its font size in points (none
// keeps the size).
MachineResult md_theme(Cell* a) {
    DesktopSettings s = desktop_settings();
    s.dark = a[0].data1 != 0;
    s.high_contrast = a[1].data1 != 0;
    if (!a[2].is(TYPE_NONE)) {
        const double points = a[2].is(TYPE_INTEGER) ? double(a[2].as_int()) : a[2].as_double();
        if (std::isfinite(points)) s.font_points = std::clamp(points, 1.0, 400.0);
    }
    memory()->set_settings(s);
    return none_result(a);
}

struct MemoryRoutine {
    const char* spec;
    routine::Entry entry;
};
// In the order library/view.zun names them.
const MemoryRoutine k_memory[] = {
    {"x [integer!] y [integer!]", md_move},
    {"button [integer!]", md_press},
    {"button [integer!]", md_release},
    {"clicks [integer!]", md_wheel},
    {"combo [string!]", md_key},
    {"text [string!]", md_text},
    {"window [handle! object!]", md_close},
    {"window [handle! object!] action [string!]", md_window},
    {"window [handle! object!] resizing? [logic!] to [pair!]", md_drag},
    {"ms [integer!]", md_advance},
    {"window [handle! object!]", md_title},
    {"window [handle! object!]", md_rect},
    {"window [handle! object!]", md_visible},
    {"window [handle! object!]", md_alive},
    {"window [handle! object!] at [pair!]", md_pixel},
    {"", md_idle_exits},
    {"", md_focus},
    {"", md_capture},
    {"dpi [integer!]", md_dpi},
    {"window [handle! object!]", md_cursor},
    {"window [handle! object!] preedit [string!]", md_compose},
    {"window [handle! object!]", md_ime},
    {"rgba [string!] antialias [integer!] hint [string!]", md_text_rendering},
    {"", md_counts},
    {"spec [string!]", md_monitors},
    {"dark? [logic!] high-contrast? [logic!] font-points [integer! float! none!]", md_theme},
};

}  // namespace

namespace {
// The kernel's version as the system's: major.minor.0, the third number as
// the build.
void kernel_version(uint8_t* major, uint8_t* minor, int32_t* build) {
    utsname u;
    *major = *minor = 0, *build = 0;
    if (uname(&u) != 0) return;
    unsigned a = 0, b = 0, c = 0;
    std::sscanf(u.release, "%u.%u.%u", &a, &b, &c);
    *major = uint8_t(std::min(a, 255u)), *minor = uint8_t(std::min(b, 255u)), *build = int32_t(c);
}

void append(const Cell* list, const Cell* value) { block::append_cell(list, value); }

uint8_t channel(COLORREF c, int shift) { return uint8_t((c >> shift) & 0xFF); }

// gui/init's values for the language: [version build product dpi scroller
// text-colour window-colour panel-colour font-family font-points]. Without
// a display open, the defaults of a light desktop at 96 DPI.
MachineResult startup_values(Cell* args) {
    // the display opens here, at start-up, so the DPI, font and theme are
    // the desktop's from the first line on
    const bool open = init();
    const Cell list = *block::push_new(10);
    uint8_t major, minor;
    int32_t build;
    kernel_version(&major, &minor, &build);
    const uint8_t version[3] = {major, minor, 0};
    Cell v;
    append(&list, tuple::init_cell(&v, version, 3));
    v = integer_cell(build);
    append(&list, &v);
    v = integer_cell(1);  // a workstation
    append(&list, &v);
    v = integer_cell(current_dpi());
    append(&list, &v);
    const int32_t bar = to_pixels(17);
    append(&list, pair::init_cell(&v, bar, bar));
    for (int index : {COLOR_WINDOWTEXT, COLOR_WINDOW, COLOR_BTNFACE}) {
        const COLORREF c = GetSysColor(index);
        const uint8_t rgb[3] = {channel(c, 0), channel(c, 8), channel(c, 16)};
        append(&list, tuple::init_cell(&v, rgb, 3));
    }
    const DesktopSettings defaults;
    const DesktopSettings& desk = open ? desktop_settings() : defaults;
    const Cell family = *string::load_c_text(desk.font_family.data(), uint32_t(desk.font_family.size()), 0);
    append(&list, &family);
    v = integer_cell(int32_t(std::lround(desk.font_points)));
    append(&list, &v);
    args[0] = list;
    return MachineResult{};
}
}  // namespace

Cell* push_startup_values_routine() {
    Cell* made = stack::push_cell();
    *made = boot_texts::make_routine("", startup_values);
    return made;
}

Cell* push_memory_display_routines() {
    const char* z = std::getenv("ZUN_DISPLAY");
    if (!z || std::strncmp(z, "memory", 6) != 0 || !init() || !memory()) {
        Cell* none = stack::push_cell();
        *none = make_cell(TYPE_NONE);
        return none;
    }
    constexpr int32_t count = sizeof k_memory / sizeof k_memory[0];
    Cell* list = block::push_new(count);
    for (const MemoryRoutine& r : k_memory) {
        const Cell made = boot_texts::make_routine(r.spec, r.entry);
        block::append_cell(list, &made);
    }
    return list;
}

}  // namespace zun::gui
