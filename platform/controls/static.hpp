// STATIC's notifications: with SS_NOTIFY a press and a double click are told
// to the parent (WM_COMMAND, the control in lParam).
#pragma once
#include "platform/window.hpp"

namespace zun::win {

enum : UINT { STN_CLICKED = 0, STN_DBLCLK = 1, STN_ENABLE = 2, STN_DISABLE = 3 };

}  // namespace zun::win
