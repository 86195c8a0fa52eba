// The control classes' messages, styles, notification codes and structs the
// widget code sends and reads, from the classes' own headers.
#pragma once
#include "platform/controls/calendar.hpp"
#include "platform/controls/combobox.hpp"
#include "platform/controls/controls.hpp"
#include "platform/controls/edit.hpp"
#include "platform/controls/imagelist.hpp"
#include "platform/controls/listbox.hpp"
#include "platform/controls/tabcontrol.hpp"
#include "platform/controls/trackbar.hpp"
#include "platform/menu.hpp"

namespace zun::win::widget32 {
using namespace zun::win;
}  // namespace zun::win::widget32
