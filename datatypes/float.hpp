// float!: IEEE 754 doubles.
#pragma once

namespace zun::float_ {
void register_type();
}
