// url!: URLs.
#pragma once

namespace zun::url {
void register_type();
}
