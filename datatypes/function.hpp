// function! and routine!.
#pragma once

namespace zun::function {
void register_type();
}
namespace zun::routine {
void register_type();
}
