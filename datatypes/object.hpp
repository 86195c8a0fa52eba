// object!: contexts of named fields with an owner value.
#pragma once

namespace zun::object {
void register_type();
}
