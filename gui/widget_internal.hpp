// What the widget modules share: face kinds, flag bits, text conversion and
// the per-type handlers they call on each other.
#pragma once
#include <cstdint>
#include <string>

#include "core/cell.hpp"
#include "gui/face.hpp"
#include "platform/controls/calendar.hpp"
#include "platform/controls/combobox.hpp"
#include "platform/controls/controls.hpp"
#include "platform/controls/edit.hpp"
#include "platform/controls/imagelist.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/controls/tabcontrol.hpp"
#include "platform/controls/trackbar.hpp"
#include "platform/menu.hpp"

namespace zun::gui::widget {

using namespace win;

enum class Kind {
    other, window, panel, base, button, toggle, check, radio, group_box, tab_panel, field, area,
    text, text_list, drop_down, drop_list, progress, slider, scroller, calendar,
};
Kind kind_of(const Cell* face);
// Superclasses whose base class came after the GUI started.
void ensure_superclasses();
Kind kind_of_window(HWND hwnd);
// face-flag-bits; script invalid-arg for an unknown word.
uint32_t flag_bits(const Cell* face);
constexpr uint32_t FLAG_TRI_STATE = 0x20000, FLAG_SCROLLABLE = 0x40000, FLAG_PASSWORD = 0x80000,
                   FLAG_NO_SYNC = 0x100000, FLAG_NO_BORDER = 0x80000000;
constexpr int LONG_FACE_FLAGS = 76;
constexpr uint32_t FACET_STEPS = 25;  // scrollers: the arrow step as a fraction of the range

// A word, lit-word or set-word of that name (any letter case).
bool word_named(const Cell* value, const char* name);
// The string's text as UTF-8, empty for anything else.
std::string utf8_of(const Cell* value);
// string!, file!, url!, tag!, email!, ref!
bool string_like(const Cell* value);
int32_t char_count(const std::string& utf8);
// The face's font as a control font handle, 0 for the default GUI font.
HFONT font_handle_of(const Cell* face);
// The face of a window into *out; false when it has none.
bool face_of(HWND hwnd, Cell* out);
// An event for a control's window, as a window procedure reports one.
int send_event(HWND hwnd, uint32_t type, uint32_t flags = 0);
// The length the larger side of `size` gives a slider or progress bar:
// 0..65535, the span a control's range holds.
int32_t range_length(const Cell* face, bool* vertical);

// Handlers (widget_handlers.cpp).
int32_t range_position(const Cell* face);
double scroller_ratio(const Cell* value);
void set_check_state(HWND hwnd, const Cell* face);
void set_button_images(HWND hwnd, const Cell* face);
void set_hint(HWND hwnd, const Cell* face);
void set_tab_stops(HWND hwnd, const Cell* face);
void init_text_list(HWND hwnd, const Cell* face);
void init_combo(HWND hwnd, const Cell* face);
void set_list_extent(HWND hwnd, const std::string& text);
void update_list_items(const Cell* face, HWND hwnd, const Cell* action, const Cell* changed, int32_t index,
                       int32_t count, bool combo);
void init_tab_panel(HWND hwnd, const Cell* face);
void select_tab(HWND hwnd, int32_t index);
LRESULT on_tab_changing(HWND hwnd);
void on_tab_changed(HWND hwnd);
void update_tab_children(HWND hwnd, int mode);
void update_tab_items(const Cell* face, HWND hwnd, const Cell* action, const Cell* changed, int32_t index,
                      int32_t count);
void init_calendar(HWND hwnd, const Cell* face);
void set_calendar_date(HWND hwnd, const Cell* date);
void read_calendar_date(HWND hwnd, const Cell* face);
void set_calendar_color(HWND hwnd, const Cell* face);
void scroller_init(HWND hwnd, const Cell* face);
void slider_progress_set(HWND hwnd, const Cell* face, Kind kind);

// Changes (widget_change.cpp).
void set_face_text(HWND hwnd, const Cell* face, Kind kind);
void update_data(HWND hwnd, const Cell* face, Kind kind);
void update_selected(HWND hwnd, const Cell* face, Kind kind);

// Readers (widget_read.cpp).
void read_check_state(HWND hwnd, const Cell* face);
void read_slider(HWND hwnd, const Cell* face);
void read_scroller(const Cell* face, const SCROLLINFO& si);
void update_text(const Cell* face, int32_t item);
void set_selection(HWND hwnd, const Cell* face);
void read_selection(HWND hwnd, const Cell* face);
// Character positions of the face's text and of the control (line breaks
// counted twice there): direction 1 text to control, -1 back.
int32_t adjust_line_breaks(const Cell* face, int32_t position, int direction);
void update_area_scrollbars(HWND hwnd, const Cell* face, const std::string* text);
void ensure_text_room(HWND hwnd, int32_t extra);

}  // namespace zun::gui::widget
