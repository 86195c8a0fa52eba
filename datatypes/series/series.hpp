// series!: the actions every series type shares.
#pragma once

namespace zun::series {
void register_type();
}
