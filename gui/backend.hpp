// The GUI backend over the window layer (platform/window.hpp): start-up, the
// event loop and its dispatch into system/view/awake, the window classes and
// procedures of window, panel and base faces, face slots and the platform
// routines of system/view/platform.
#pragma once
#include <cstdint>
#include <string>

#include "core/cell.hpp"
#include "datatypes/function.hpp"
#include "gui/event_os.hpp"

namespace zun::gui {

// gui/init: opens the display the environment names once; false without
// one (display_error() then names what was tried). Later calls answer the
// first outcome.
bool init();
bool display_open();
const std::string& display_error();
void shutdown();

// The loop counters.
struct LoopCounters {
    int32_t loop_depth = 0;
    int32_t pending_exits = 0;
    int32_t running = 0;  // blocking loops running now
};
LoopCounters& counters();

// gui/do-events: true when a message was processed.
bool do_events(bool no_wait);
// gui/pre-dispatch and gui/dispatch-event.
int pre_dispatch(event::Message& msg);
int dispatch_event(const event::Message& msg, uint32_t flags, uint32_t type);

// Evaluates code under a try-all frame (an error printed once, then
// dropped); *result gets its value, none when it raised or exited.
void eval_guarded_value(Cell* code, Cell* result);

// Face slots: a window's face lives in a slot the collector marks; the
// window's long 60 holds slot + 1.
uint32_t face_window(const Cell* face);  // the handle! of its state, 0 when none
bool face_of_window(uint32_t hwnd, Cell* out);

// gui/face-to-image: a new image! of the face in out (a stack cell): the
// screen face's area, a base face drawn through the capture pass, any other
// face's window as composed; false when the face has nothing to capture.
bool face_to_image(const Cell* face, Cell* out);

// The entry of platform routine `index` (0-based, member order) that the
// windows layer answers, nullptr for the others.
routine::Entry platform_entry(int index);
// The routines behind the memory-display object, a new block pushed; none
// when the in-memory display is not selected.
Cell* push_memory_display_routines();
// The routine giving gui/init's values to system/view (version, metrics,
// the default font), a new cell pushed.
Cell* push_startup_values_routine();

}  // namespace zun::gui
