// event!: the cell that carries one GUI event.
#pragma once

namespace zun::event {
void register_type();
}
