// tuple!: 3 to 12 unsigned bytes.
#pragma once

namespace zun::tuple {
void register_type();
}
