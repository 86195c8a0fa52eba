// tag!, email! and ref!: string types with their own text forms.
#pragma once

namespace zun::tag {
void register_type();
}
namespace zun::email {
void register_type();
}
namespace zun::ref {
void register_type();
}
