// Custom window classes. A record's window procedure and hook are Zun
// functions, called as (window message wParam lParam) through a call block
// kept per record; an integer answer from the procedure is the message's
// result, anything else passes the message on to the base class.
#include "gui/class_registry.hpp"

#include <strings.h>

#include <cstring>
#include <vector>

#include "core/collector.hpp"
#include "core/console_out.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series/block.hpp"
#include "datatypes/series/string.hpp"
#include "datatypes/triple.hpp"
#include "gui/backend.hpp"
#include "interpreter/stack.hpp"
#include "startup/boot_texts.hpp"

namespace zun::gui {

using namespace win;
using routine::MachineResult;

namespace {

constexpr int32_t k_window_bytes = 80;
constexpr const char* k_invalid_spec = "gui/register-class error: invalid spec block";

std::vector<CustomClass> g_classes;
// Per record: [proc window message wparam lparam], the same for the hook
// (none when the record has no procedure or hook), and the type word as it
// was registered. Marked by the collector.
std::vector<Cell> g_calls;
bool g_marker = false;
bool g_any_hook = false;

void mark_calls() {
    if (!g_calls.empty()) collector::mark_cells(g_calls.data(), g_calls.data() + g_calls.size());
}

std::string utf8(const Cell* s) {
    Cell copy = *s;
    int32_t limit = -1;
    const char* t = unicode::to_utf8(&copy, &limit);
    return t ? t : "";
}

// A call block for a function value, none for anything else.
Cell call_block(const Cell* fn) {
    if (!fn->is(TYPE_FUNCTION)) return make_cell(TYPE_NONE);
    stack::StackScope scope;
    const Cell block = *block::push_new(5);
    block::append_cell(&block, fn);
    const Cell zero = integer_cell(0);
    for (int i = 0; i < 4; ++i) block::append_cell(&block, &zero);
    return block;
}

// Runs a call block with the message; true with *answer set when the
// function answered an integer.
bool call(Cell* block, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, LRESULT* answer) {
    if (!block->is(TYPE_BLOCK)) return false;
    Cell* c = block::head_cell(block);
    handle::init_cell(&c[1], hwnd, handle::WINDOW);
    c[2] = integer_cell(int32_t(msg));
    c[3] = integer_cell(int32_t(wp));
    c[4] = integer_cell(int32_t(lp));
    Cell result = make_cell(TYPE_NONE);
    eval_guarded_value(block, &result);
    if (!result.is(TYPE_INTEGER)) return false;
    *answer = LRESULT(int32_t(result.data2));
    return true;
}

int record_of(HWND hwnd) {
    const std::string name = GetClassName(hwnd);
    for (size_t i = 0; i < g_classes.size(); ++i)
        if (strcasecmp(g_classes[i].name.c_str(), name.c_str()) == 0) return int(i);
    return -1;
}

LRESULT custom_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const int i = record_of(hwnd);
    if (i < 0) return DefWindowProc(hwnd, msg, wp, lp);
    LRESULT answer = 0;
    // a copy: the procedure may register classes, which grows the table
    Cell proc = g_calls[3 * size_t(i)];
    if (call(&proc, hwnd, msg, wp, lp, &answer)) return answer;
    // the call may have registered classes: the record is read again
    const CustomClass& c = g_classes[size_t(record_of(hwnd))];
    return c.base_proc ? CallWindowProc(c.base_proc, hwnd, msg, wp, lp) : DefWindowProc(hwnd, msg, wp, lp);
}

bool canonical_word(const Cell* v) { return v->is(TYPE_WORD) || v->is(TYPE_LIT_WORD); }

}  // namespace

const CustomClass* find_class(const Cell* type_word) {
    if (!canonical_word(type_word)) return nullptr;
    const uint32_t s = symbol::canonical(type_word->data2);
    for (const CustomClass& c : g_classes)
        if (c.symbol == s) return &c;
    return nullptr;
}

void run_class_hooks(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!g_any_hook) return;
    LRESULT ignored;
    for (size_t i = 0; i < g_classes.size(); ++i)
        if (g_classes[i].has_hook) {
            Cell hook = g_calls[3 * i + 1];
            call(&hook, hwnd, msg, wp, lp, &ignored);
        }
}

WNDPROC superclass(const std::string& name, const std::string& base, WNDPROC filter) {
    WNDCLASS wc;
    if (!GetClassInfo(base, &wc)) {
        const char* text = "*** Error in GetClassInfoEx";
        console_out::write_units(text, std::strlen(text), 1, true);
    }
    const WNDPROC base_proc = wc.lpfnWndProc;
    wc.cbWndExtra = k_window_bytes;
    wc.lpszClassName = name;
    if (filter) wc.lpfnWndProc = filter;
    if (!wc.lpfnWndProc) wc.lpfnWndProc = DefWindowProc;
    RegisterClass(wc);
    return base_proc;
}

void unregister_classes() {
    static const char* const names[] = {
        "ZunWindow", "ZunBase",  "ZunBaseInternal", "ZunCamera", "ZunButton", "ZunField",
        "ZunCombo",  "ZunListBox", "ZunProgress",   "ZunSlider", "ZunTabpanel", "ZunPanel",
        "ZunFace",   "ZunArea",  "ZunCalendar",
    };
    for (const char* n : names) UnregisterClass(n);
}

namespace {

MachineResult none_result(Cell* args) {
    args[0] = make_cell(TYPE_NONE);
    return MachineResult{};
}

MachineResult register_class_routine(Cell* args) {
    const Cell spec = args[0];
    // copies: reading the names and opening the display allocate, which may
    // move the block's cells (the values stay held by the spec on the stack)
    Cell v[8];
    const bool eight = block::length_from_head(&spec) == 8;
    if (eight) std::memcpy(v, block::head_cell(const_cast<Cell*>(&spec)), sizeof v);
    const bool ints = eight && v[3].is(TYPE_INTEGER) && v[4].is(TYPE_INTEGER) &&
                      v[5].is(TYPE_INTEGER);
    const bool names = ints && v[0].is(TYPE_STRING) && (v[1].is(TYPE_STRING) || v[1].is(TYPE_NONE)) &&
                       canonical_word(&v[2]);
    const bool fns = names && (v[6].is(TYPE_FUNCTION) || v[6].is(TYPE_NONE)) &&
                     (v[7].is(TYPE_FUNCTION) || v[7].is(TYPE_NONE));
    if (!fns || !init()) {
        console_out::write_units(k_invalid_spec, std::strlen(k_invalid_spec), 1, true);
        return none_result(args);
    }
    if (!g_marker) {
        collector::register_marker(mark_calls);
        g_marker = true;
    }
    CustomClass c;
    c.symbol = symbol::canonical(v[2].data2);
    c.name = utf8(&v[0]);
    c.base = v[1].is(TYPE_STRING) ? utf8(&v[1]) : c.name;
    c.style = uint32_t(int32_t(v[3].data2));
    c.ex_style = uint32_t(int32_t(v[4].data2));
    c.menu = uint32_t(int32_t(v[5].data2));
    c.has_hook = v[7].is(TYPE_FUNCTION);
    const bool based = v[1].is(TYPE_STRING);
    const Cell proc = v[6], hook = v[7], type = v[2];
    const Cell proc_call = call_block(&proc);
    g_calls.push_back(proc_call);
    const Cell hook_call = call_block(&hook);
    g_calls.push_back(hook_call);
    Cell word = type;
    word.set_type(TYPE_WORD);
    g_calls.push_back(word);
    if (based) {
        c.base_proc = superclass(c.name, c.base, custom_proc);
    } else {
        WNDCLASS wc;
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = custom_proc;
        wc.cbWndExtra = k_window_bytes;
        wc.hCursor = LoadCursor(IDC_ARROW);
        wc.hbrBackground = HBRUSH(COLOR_BTNFACE + 1);
        wc.lpszClassName = c.name;
        RegisterClass(wc);
    }
    g_any_hook = g_any_hook || c.has_hook;
    const std::string base = c.base;
    g_classes.push_back(std::move(c));
    // the base class's name stands for its procedure
    if (!based) return none_result(args);
    args[0] = *string::load_c_text(base.data(), uint32_t(base.size()), 0);
    return MachineResult{};
}

MachineResult superclass_routine(Cell* args) {
    if (!init()) return none_result(args);
    const std::string name = utf8(&args[0]), base = utf8(&args[1]);
    WNDCLASS probe;
    const bool known = GetClassInfo(base, &probe);
    superclass(name, base, nullptr);
    if (!known) return none_result(args);
    args[0] = *string::load_c_text(base.data(), uint32_t(base.size()), 0);
    return MachineResult{};
}

MachineResult find_class_routine(Cell* args) {
    const CustomClass* found = find_class(&args[0]);
    if (!found) return none_result(args);
    const CustomClass c = *found;
    const size_t i = size_t(found - g_classes.data());
    const Cell list = *block::push_new(8);
    block::append_cell(&list, string::load_c_text(c.name.data(), uint32_t(c.name.size()), 0));
    block::append_cell(&list, string::load_c_text(c.base.data(), uint32_t(c.base.size()), 0));
    Cell v = g_calls[3 * i + 2];
    block::append_cell(&list, &v);
    for (uint32_t n : {c.style, c.ex_style, c.menu}) {
        v = integer_cell(int32_t(n));
        block::append_cell(&list, &v);
    }
    for (size_t k = 0; k < 2; ++k) {
        const Cell call = g_calls[3 * i + k];
        v = call.is(TYPE_BLOCK) ? block::head_cell(const_cast<Cell*>(&call))[0] : make_cell(TYPE_NONE);
        block::append_cell(&list, &v);
    }
    args[0] = list;
    return MachineResult{};
}

MachineResult unregister_classes_routine(Cell* args) {
    if (display_open()) unregister_classes();
    return none_result(args);
}

struct ClassRoutine {
    const char* spec;
    routine::Entry entry;
};
// In the order library/view.zun names them.
const ClassRoutine k_routines[] = {
    {"spec [block!]", register_class_routine},
    {"name [string!] base [string!]", superclass_routine},
    {"type [word! lit-word!]", find_class_routine},
    {"", unregister_classes_routine},
};

}  // namespace

Cell* push_class_routines() {
    Cell* list = block::push_new(int32_t(sizeof k_routines / sizeof k_routines[0]));
    for (const ClassRoutine& r : k_routines) {
        const Cell made = boot_texts::make_routine(r.spec, r.entry);
        block::append_cell(list, &made);
    }
    return list;
}

}  // namespace zun::gui
