// symbol! and context!: the internal types under every word and object.
#pragma once

namespace zun::symbol {
void register_type();
}
namespace zun::context {
void register_type();
}
