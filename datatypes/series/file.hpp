// file!: file names.
#pragma once

namespace zun::file {
void register_type();
}
