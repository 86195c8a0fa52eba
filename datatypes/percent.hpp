// percent!: a double written as a percentage.
#pragma once

namespace zun::percent {
void register_type();
}
