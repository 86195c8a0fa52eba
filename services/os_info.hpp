// The process and its machine as language values: the command line, the
// environment variables and what uname tells about the OS.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/cell.hpp"

namespace zun::os_info {

// Start-up keeps the program's arguments (without the program name).
void set_command_line(int argc, const char* const* argv);
const std::vector<std::string>& arguments();
// The arguments joined by single spaces, one that is empty or holds blanks or
// quotes in double quotes as a shell would read it: the text of
// system/script/args.
std::string joined_arguments();
void append_argument(std::string& text, const std::string& argument);
Cell* push_script_args();   // that text as a string!
// The whole command line, program name first, joined the same way.
Cell* push_command_line();
Cell* push_options_args();  // a block! of the arguments as string!s: system/options/args

// OS text is UTF-8 by convention only: a malformed sequence becomes U+FFFD.
std::string valid_utf8(const char* text, size_t length);
// A new string! of OS text (a leading byte-order mark is kept).
Cell* push_text(const char* text, size_t length);

// A map! of every environment variable, names and values as string!s, in
// environment order.
Cell* push_env_map();

// script invalid-arg with the value unless it has the type.
void expect_type(const Cell* value, uint32_t type);

struct Info {
    std::string name;  // "Linux " followed by the kernel release
    std::string arch;  // x86-64, x86-32, ARM64, ARM, IA-64 or Unknown
    uint8_t version[3] = {0, 0, 0};  // the release's major.minor.patch
    int32_t build = 0;               // the number after the release's dash, else 0
};
Info query();
// The OS information object: name, arch (a global word), version (tuple!),
// build (integer!), pushed.
Cell* push_os_info();

}  // namespace zun::os_info
