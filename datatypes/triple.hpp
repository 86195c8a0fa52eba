// triple! and handle!.
#pragma once

namespace zun::triple {
void register_type();
}
namespace zun::handle {
void register_type();
}
