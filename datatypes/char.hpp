// char!: one Unicode code point.
#pragma once

namespace zun::char_ {
void register_type();
}
