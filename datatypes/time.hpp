// time!: a duration in seconds.
#pragma once

namespace zun::time_ {
void register_type();
}
