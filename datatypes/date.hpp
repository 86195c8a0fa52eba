// date!: a calendar date with optional time and zone.
#pragma once

namespace zun::date {
void register_type();
}
