// integer!: 32-bit signed integers.
#pragma once

namespace zun::integer {
void register_type();
}
