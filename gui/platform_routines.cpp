// The routines of system/view/platform that the windows layer answers, and
// the routines behind the memory-display object of the in-memory display.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/support.hpp"
#include "core/unicode.hpp"
#include "datatypes/function.hpp"
#include "datatypes/logic.hpp"
#include "datatypes/pair.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "datatypes/tuple.hpp"
#include "gui/backend.hpp"
#include "gui/dialogs.hpp"
#include "gui/event.hpp"
#include "gui/face.hpp"
#include "gui/menus.hpp"
#include "interpreter/stack.hpp"
#include "platform/display_memory.hpp"
#include "startup/boot_texts.hpp"

namespace zun::gui {

using namespace win;
using routine::MachineResult;

namespace {

MachineResult none_result(Cell* args) {
    args[0] = make_cell(TYPE_NONE);
    return MachineResult{};
}
MachineResult logic_result(Cell* args, bool b) {
    args[0] = make_cell(TYPE_LOGIC, b ? 1 : 0);
    return MachineResult{};
}

std::string utf8(const Cell* s) {
    Cell copy = *s;
    int32_t limit = -1;
    const char* t = unicode::to_utf8(&copy, &limit);
    return t ? t : "";
}

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

// offset and size in logical units to the window's rectangle
void place(HWND hwnd, const Cell* f) {
    double x = 0, y = 0, w = 0, h = 0;
    const bool moved = xy_of(face::facet(f, face::OFFSET), &x, &y);
    const bool sized = xy_of(face::facet(f, face::SIZE), &w, &h);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (!moved) flags |= SWP_NOMOVE;
    if (!sized) flags |= SWP_NOSIZE;
    SetWindowPos(hwnd, 0, to_pixels(x), to_pixels(y), to_pixels(w), to_pixels(h), flags);
}

void set_title(HWND hwnd, const Cell* f) {
    const Cell* text = face::facet(f, face::TEXT);
    if (face::type_is(f, "window")) SetWindowText(hwnd, text->is(TYPE_STRING) ? utf8(text) : std::string());
}

// The change mask in the face's state block, nullptr when it has none.
Cell* mask_of(const Cell* f) {
    Cell* st = face::facet(f, face::STATE);
    return st->is(TYPE_BLOCK) && block::length_from_head(st) > 1 ? block::head_cell(st) + 1 : nullptr;
}

MachineResult update_view(Cell* args) {
    const Cell f = args[0];
    if (!f.is(TYPE_OBJECT)) support::fire_error(ErrorId::script_invalid_type, &f);
    if (face::type_is(&f, "screen")) return none_result(args);
    const HWND hwnd = face::window_of(&f);
    if (hwnd) {
        const Cell* mask = mask_of(&f);
        const uint32_t bits = mask && mask->is(TYPE_INTEGER) ? mask->data2 : 0;
        if (bits & (1u << face::RATE)) set_rate(hwnd, face::facet(&f, face::RATE));
        if (bits & ((1u << face::OFFSET) | (1u << face::SIZE))) place(hwnd, &f);
        if (bits & (1u << face::TEXT)) set_title(hwnd, &f);
        if ((bits & (1u << face::MENU)) && face::type_is(&f, "window")) menus::set_menu_bar(hwnd, &f);
        if (bits & (1u << face::VISIBLE)) {
            const Cell* v = face::facet(&f, face::VISIBLE);
            ShowWindow(hwnd, v->is(TYPE_LOGIC) && !v->data1 ? SW_HIDE : SW_SHOWNA);
        }
        if (bits & (1u << face::ENABLED)) {
            const Cell* e = face::facet(&f, face::ENABLED);
            EnableWindow(hwnd, !(e->is(TYPE_LOGIC) && !e->data1));
        }
        // the handlers run above may have moved the state block
        if (Cell* done = mask_of(&f)) *done = integer_cell(0);
        InvalidateRect(hwnd, nullptr, true);
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
        InvalidateRect(hwnd, nullptr, true);
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
    {0, make_null_handle}, {1, fetch_all_screens}, {2, get_current_screen},
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
};

}  // namespace

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
