// The path types and paren!: blocks the evaluator walks or runs.
#pragma once

namespace zun::path {
void register_type();
}
namespace zun::lit_path {
void register_type();
}
namespace zun::set_path {
void register_type();
}
namespace zun::get_path {
void register_type();
}
namespace zun::paren {
void register_type();
}
