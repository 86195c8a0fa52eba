// The control superclasses (each standard class with the backend's window
// bytes) and the filters of the combo, static, calendar and edit ones; the
// face kinds, flag bits and small helpers the widget modules share.
#include <pango/pango.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include "core/console_out.hpp"
#include "core/support.hpp"
#include "core/symbols.hpp"
#include "core/unicode.hpp"
#include "datatypes/context.hpp"
#include "datatypes/object.hpp"
#include "datatypes/series/block.hpp"
#include "gui/backend.hpp"
#include "gui/event.hpp"
#include "gui/font.hpp"
#include "gui/widget.hpp"
#include "gui/widget_internal.hpp"
#include "platform/controls/fonts.hpp"

namespace zun::gui::widget {

namespace {

// ---- superclasses ------------------------------------------------------------

WNDPROC g_combo_base = nullptr, g_static_base = nullptr, g_calendar_base = nullptr,
        g_edit_base = nullptr, g_button_base = nullptr;
uint32_t g_menu_item = 0;
bool g_menu_recorded = false;
MenuCommand g_menu_command = nullptr;

LRESULT combo_filter(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && lp == 0 && (wp & 0xFFFF) < 1000 && g_menu_recorded) {
        if (g_menu_command) g_menu_command(hwnd, uint32_t(wp & 0xFFFF));
        return 0;
    }
    if (msg == WM_MENUSELECT) {
        if (wp != 0xFFFF0000) {
            g_menu_item = uint32_t(int16_t(wp & 0xFFFF));
            g_menu_recorded = true;
        }
        return 0;
    }
    return CallWindowProc(g_combo_base, hwnd, msg, wp, lp);
}

// A button face's image list is made for it alone: it goes with the button.
LRESULT button_filter(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg != WM_DESTROY) return CallWindowProc(g_button_base, hwnd, msg, wp, lp);
    BUTTON_IMAGELIST images{};
    const bool had = SendMessage(hwnd, BCM_GETIMAGELIST, 0, LPARAM(&images)) != 0;
    const LRESULT answer = CallWindowProc(g_button_base, hwnd, msg, wp, lp);
    if (had && images.himl && images.himl != HIMAGELIST_NONE) ImageList_Destroy(images.himl);
    return answer;
}

// Text faces take the mouse, which static controls let through.
LRESULT static_filter(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_LBUTTONDOWN: SetCapture(hwnd); return 0;
    case WM_LBUTTONUP: ReleaseCapture(); return 0;
    case WM_NCHITTEST: return HTCLIENT;
    default: return CallWindowProc(g_static_base, hwnd, msg, wp, lp);
    }
}

LRESULT calendar_filter(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_LBUTTONDOWN) SetFocus(hwnd);
    return CallWindowProc(g_calendar_base, hwnd, msg, wp, lp);
}

LRESULT edit_filter(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_PASTE: {
        // a paste longer than the limit goes in whole
        std::string text;
        if (edit_clipboard_read(&text)) ensure_text_room(hwnd, char_count(text));
        break;
    }
    case WM_CHAR: {
        const bool multi = (GetWindowLong(hwnd, GWL_STYLE) & ES_MULTILINE) != 0;
        if (!multi && (wp == 13 || wp == 9)) return 0;
        if (multi && wp == 1) {
            SendMessage(hwnd, EM_SETSEL, 0, -1);
            return 1;
        }
        break;
    }
    case WM_LBUTTONUP:
    case WM_KEYUP: {
        Cell f;
        if (face_of(hwnd, &f)) {
            read_selection(hwnd, &f);
            send_event(hwnd, event::SELECT, 0);
        }
        break;
    }
    default: break;
    }
    return CallWindowProc(g_edit_base, hwnd, msg, wp, lp);
}

struct Superclass {
    const char* name;
    const char* base;
    WNDPROC filter;
    WNDPROC* base_proc;  // where the filter finds the base class's procedure
};
const Superclass k_superclasses[] = {
    {"ZunButton", WC_BUTTON, button_filter, &g_button_base},
    {"ZunListBox", WC_LISTBOX, nullptr, nullptr},
    {"ZunProgress", PROGRESS_CLASS, nullptr, nullptr},
    {"ZunSlider", TRACKBAR_CLASS, nullptr, nullptr},
    {"ZunScroller", WC_SCROLLBAR, nullptr, nullptr},
    {"ZunTabpanel", WC_TABCONTROL, nullptr, nullptr},
    {"ZunCombo", WC_COMBOBOX, combo_filter, &g_combo_base},
    {"ZunFace", WC_STATIC, static_filter, &g_static_base},
    {"ZunCalendar", MONTHCAL_CLASS, calendar_filter, &g_calendar_base},
    {"ZunArea", WC_EDIT, edit_filter, &g_edit_base},
    {"ZunField", "ZunArea", nullptr, nullptr},
};

// A base class that is not there yet is tried again when a face needs it.
bool superclass(const Superclass& s) {
    WNDCLASS wc;
    if (GetClassInfo(s.name, &wc)) return true;
    if (!GetClassInfo(s.base, &wc)) return false;
    wc.cbWndExtra = 80;
    wc.lpszClassName = s.name;
    if (s.filter) {
        *s.base_proc = wc.lpfnWndProc;
        wc.lpfnWndProc = s.filter;
    }
    return RegisterClass(wc) != 0;
}

// ---- kinds -------------------------------------------------------------------

struct KindName {
    const char* name;
    Kind kind;
};
const KindName k_kinds[] = {
    {"window", Kind::window},       {"panel", Kind::panel},         {"base", Kind::base},
    {"button", Kind::button},       {"toggle", Kind::toggle},       {"check", Kind::check},
    {"radio", Kind::radio},         {"group-box", Kind::group_box}, {"tab-panel", Kind::tab_panel},
    {"field", Kind::field},         {"area", Kind::area},           {"text", Kind::text},
    {"text-list", Kind::text_list}, {"drop-down", Kind::drop_down}, {"drop-list", Kind::drop_list},
    {"progress", Kind::progress},   {"slider", Kind::slider},       {"scroller", Kind::scroller},
    {"calendar", Kind::calendar},
};

struct FlagName {
    const char* name;
    uint32_t bit;
};
const FlagName k_flags[] = {
    {"all-over", 0x1},           {"focusable", 0x2},          {"tri-state", FLAG_TRI_STATE},
    {"scrollable", FLAG_SCROLLABLE}, {"password", FLAG_PASSWORD}, {"no-sync", FLAG_NO_SYNC},
    {"fullscreen", 0x200000},    {"popup", 0x1000000},        {"modal", 0x2000000},
    {"resize", 0x4000000},       {"no-buttons", 0x8000000},   {"no-max", 0x10000000},
    {"no-min", 0x20000000},      {"no-title", 0x40000000},    {"no-border", FLAG_NO_BORDER},
};

uint32_t canonical_of(const char* name) { return symbol::canonical(symbol::make(name)); }

bool word_cell(const Cell* v) { return v->is(TYPE_WORD) || v->is(TYPE_LIT_WORD); }

uint32_t flag_bit(const Cell* word) {
    static std::unordered_map<uint32_t, uint32_t> bits;
    if (bits.empty())
        for (const FlagName& f : k_flags) bits[canonical_of(f.name)] = f.bit;
    const auto it = bits.find(symbol::canonical(word->data2));
    if (it == bits.end()) support::fire_error(ErrorId::script_invalid_arg, word);
    return it->second;
}

}  // namespace

void register_classes() {
    for (const Superclass& s : k_superclasses) superclass(s);
}

void set_menu_command(MenuCommand handler) { g_menu_command = handler; }

// Superclasses whose base came late are registered at the first face.
void ensure_superclasses() {
    for (const Superclass& s : k_superclasses) superclass(s);
}

Kind kind_of(const Cell* f) {
    static std::unordered_map<uint32_t, Kind> kinds;
    if (kinds.empty())
        for (const KindName& k : k_kinds) kinds[canonical_of(k.name)] = k.kind;
    const Cell* type = face::facet(f, face::TYPE);
    if (!word_cell(type)) return Kind::other;
    const auto it = kinds.find(symbol::canonical(type->data2));
    return it == kinds.end() ? Kind::other : it->second;
}

Kind kind_of_window(HWND hwnd) {
    Cell f;
    return face_of(hwnd, &f) ? kind_of(&f) : Kind::other;
}

uint32_t flag_bits(const Cell* f) {
    const Cell flags = *face::facet(f, face::FLAGS);
    if (word_cell(&flags)) return flag_bit(&flags);
    if (!flags.is(TYPE_BLOCK)) return 0;
    uint32_t bits = 0;
    const int32_t n = block::length_from_head(&flags);
    for (int32_t i = 0; i < n; i++) {
        const Cell w = block::head_cell(const_cast<Cell*>(&flags))[i];
        if (word_cell(&w)) bits |= flag_bit(&w);
    }
    return bits;
}

bool word_named(const Cell* v, const char* name) {
    const uint32_t wanted = canonical_of(name);  // may intern: before v is read
    return (v->is(TYPE_WORD) || v->is(TYPE_LIT_WORD) || v->is(TYPE_SET_WORD)) &&
           symbol::canonical(v->data2) == wanted;
}

std::string utf8_of(const Cell* v) {
    if (!string_like(v)) return {};
    Cell copy = *v;
    int32_t limit = -1;
    const char* s = unicode::to_utf8(&copy, &limit);
    return s ? std::string(s) : std::string();
}

bool string_like(const Cell* v) {
    switch (v->type()) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
        return true;
    default: return false;
    }
}

int32_t char_count(const std::string& s) {
    int32_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// One control font per description, kept for the process.
HFONT font_handle_of(const Cell* f) {
    const Cell font = *face::facet(f, face::FONT);
    if (!draw::object_with_fields(&font, FONT_FIELDS)) return 0;
    const FontRecord* record = make_font(f, &font, false);
    if (!record || !record->desc) return 0;
    char* text = pango_font_description_to_string(record->desc);
    static std::unordered_map<std::string, HFONT> fonts;
    HFONT& made = fonts[std::string(text) + "|" + std::to_string(record->quality)];
    if (!made) {
        made = CreateFontFromDescription(text);
        SetFontQuality(made, record->quality);
    }
    g_free(text);
    return made;
}

bool face_of(HWND hwnd, Cell* out) { return hwnd && face_of_window(hwnd, out); }

int send_event(HWND hwnd, uint32_t type, uint32_t flags) { return report(hwnd, type, flags, 0, false); }

int32_t range_length(const Cell* f, bool* vertical) {
    double w = 0, h = 0;
    xy_of(face::facet(f, face::SIZE), &w, &h);
    *vertical = h > w;
    return std::clamp(truncated(*vertical ? h : w), 0, 0xFFFF);
}

}  // namespace zun::gui::widget
