// typeset!: a set of datatypes in one cell.
#pragma once

namespace zun::typeset {
void register_type();
}
