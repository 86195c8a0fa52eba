// The language-level library: Zun modules embedded by the build, loaded in
// their fixed order into the global context.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zun::library {

// Scans and runs every module's top-level code, in order. An error in a module
// passes out as an error (the library is trusted; a fault there is a build
// fault).
void load_all();

uint32_t module_count();
const char* module_name(uint32_t i);
// The module's embedded text (its header included), as start-up reads it.
const uint8_t* module_text(uint32_t i, size_t* size);

}  // namespace zun::library
