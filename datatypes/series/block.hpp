// block!: lists of value cells.
#pragma once

namespace zun::block {
void register_type();
}
