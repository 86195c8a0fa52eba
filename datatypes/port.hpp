// port!: an object that forwards its actions to its scheme's actor.
#pragma once

namespace zun::port {
void register_type();
}
