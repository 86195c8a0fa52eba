// The boot tool's check, shared with the tests: a value the boot stream gave
// against the value the lexer gives for the same text.
#pragma once
#include <string>

#include "core/cell.hpp"

namespace zun::zunboot {

// The value as mold/all shows it, non-ASCII characters as '?'.
std::string mold_all(const Cell& value);

// True when the two agree in types, contents, new-line marks and head
// indexes, nested blocks included (words by symbol and binding); else false
// with what differs in why.
bool same(const Cell& a, const Cell& b, std::string& why);

}  // namespace zun::zunboot
