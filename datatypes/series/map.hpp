// map! and hash!: hashed key/value and block types.
#pragma once

namespace zun::map {
void register_type();
}
namespace zun::hash {
void register_type();
}
