// binary!: byte strings.
#pragma once

namespace zun::binary {
void register_type();
}
