// The platform routines request-file, request-dir, request-color and
// request-font: the standard dialogs turned into language values. Under the
// in-memory display a request first takes the next answer queued in the
// `memory-display` object (its `answers` block) without a window, and adds
// [routine-name arguments...] to its `requests` log.
#pragma once
#include "core/cell.hpp"
#include "datatypes/function.hpp"

namespace zun::gui {

routine::MachineResult request_font(Cell* args);
routine::MachineResult request_file(Cell* args);
routine::MachineResult request_dir(Cell* args);
routine::MachineResult request_color(Cell* args);

// gui/dialog-prepare: a base face holding the pointer for a left press
// loses that press, since the dialog takes the release.
void dialog_prepare();

}  // namespace zun::gui
