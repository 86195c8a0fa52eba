// event!: one piece of GUI input. The backend keeps one event cell that it
// rewrites for every OS message (event_os.hpp); scripts read it through paths
// while their handler runs. Scripts can also make events and send them back
// into the GUI as messages (send-event-os).
//
// Cell: word 1 the event type code (0 in a made event given no type); word 2
// for an OS event the serial of its message record, for a made event (header
// flag MADE_FLAG) the node of its block [face window offset picked], 0 when
// none of the four was given; word 3 the key (21 bits) and the flag bits, or
// a menu item id, or an index.
#pragma once
#include <cstdint>

#include "core/cell.hpp"

namespace zun::event {

constexpr uint32_t MADE_FLAG = 0x1000;

enum Code : uint32_t {
    DOWN = 1, UP, MID_DOWN, MID_UP, ALT_DOWN, ALT_UP, AUX_DOWN, AUX_UP, CLICK, DBL_CLICK,
    WHEEL, OVER, KEY, KEY_DOWN, KEY_UP, IME, FOCUS, UNFOCUS, ENTER, ZOOM, PAN, ROTATE,
    TWO_TAP, PRESS_TAP, SELECT, CHANGE, MENU, CLOSE, MOVE, RESIZE, MOVING, RESIZING, TIME,
    DRAWING, SCROLL, MINIMIZE, MAXIMIZE, RESTORE
};
constexpr uint32_t TYPE_CODES = 38;

enum FlagBit : uint32_t {
    F_AUX_DOWN = 0x00400000, F_ALT_DOWN = 0x00800000, F_MID_DOWN = 0x01000000,
    F_DOWN = 0x02000000, F_AWAY = 0x04000000, F_CONTROL = 0x10000000, F_SHIFT = 0x20000000,
    F_ALT = 0x40000000, F_COMMAND = 0x80000000
};
constexpr uint32_t KEY_MASK = 0x1FFFFF;

// Field numbers, as pick counts them.
enum Field : int {
    FIELD_TYPE = 1, FIELD_FACE, FIELD_WINDOW, FIELD_OFFSET, FIELD_KEY, FIELD_PICKED,
    FIELD_FLAGS, FIELD_AWAY_Q, FIELD_DOWN_Q, FIELD_MID_DOWN_Q, FIELD_ALT_DOWN_Q,
    FIELD_AUX_DOWN_Q, FIELD_CTRL_Q, FIELD_SHIFT_Q, FIELD_ORIENTATION
};
constexpr int FIELD_COUNT = 15;

void register_type();
// Start-up, while the keep-words flag is set: the event words, the shared
// flags block and the routines event?, send-event-os and find-flag?.
void bind_routines();

// The word of a type code (nullptr outside 1-38), the code of a word (0 when
// it names no event type), the word of a special key (nullptr when none).
const char* type_name(uint32_t code);
uint32_t type_code(const Cell* word);
const char* special_key_name(uint32_t virtual_key);

inline bool made_q(const Cell* event) { return (event->header & MADE_FLAG) != 0; }
// The field (1-15) of an event, pushed.
Cell* push_field(const Cell* event, int field);

// Actions.
Cell* make(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* arg, int part);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* arg, int part,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                Cell* previous, int index, bool case_, bool get, bool last, bool notify);
int compare(Cell* value1, Cell* value2, int op);
Cell* pick(Cell* value, int index, Cell* index_cell);

}  // namespace zun::event
