// error!: objects that describe a failure.
#pragma once

namespace zun::error {
void register_type();
}
