// The word family: word!, set-word!, lit-word!, get-word!, refinement! and issue!.
#pragma once

namespace zun::word {
void register_type();
}
namespace zun::set_word {
void register_type();
}
namespace zun::lit_word {
void register_type();
}
namespace zun::get_word {
void register_type();
}
namespace zun::refinement {
void register_type();
}
namespace zun::issue {
void register_type();
}
