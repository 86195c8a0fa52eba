// Camera faces: a ZunCamera window showing the live picture of a capture
// device and handing single frames to the language as image! values.
#pragma once

#include "core/cell.hpp"
#include "platform/window.hpp"

namespace zun::gui::camera_face {

win::LRESULT window_proc(win::HWND hwnd, win::UINT msg, win::WPARAM wp, win::LPARAM lp);
// At creation: lists the devices into `data` and opens `selected`.
void init(const Cell* face, win::HWND hwnd);
// A changed `selected`, `image` or `size`.
void apply_changes(win::HWND hwnd, const Cell* face, uint32_t bits);
// The newest captured frame, none without one.
void to_image(const Cell* face, Cell* out);
// Every capture stopped and its record freed, before the window layer goes.
void stop_all();

}  // namespace zun::gui::camera_face
