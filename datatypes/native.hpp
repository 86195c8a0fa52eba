// native!, action! and op!: the values of built-in routines.
#pragma once

namespace zun::native {
void register_type();
}
namespace zun::action {
void register_type();
}
namespace zun::op {
void register_type();
}
