// Runtime start-up: every subsystem initialised in its fixed order.
#pragma once

namespace zun::startup {

inline constexpr const char* VERSION = "0.1.0";

void init_runtime();

}  // namespace zun::startup
