// Conversions between clipboard targets and plain data: file lists as
// text/uri-list and x-special/gnome-copied-files, and text as Latin-1.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zun::clipboard {

// file:// URIs, bytes outside the unreserved set and "/" percent-encoded,
// each line ended by CR LF.
std::string paths_to_uri_list(const std::vector<std::string>& paths);
// "copy", then the URIs, one a line.
std::string paths_to_gnome_copied(const std::vector<std::string>& paths);
// The paths when every URI is a local file: URI; lines split on CR LF or LF,
// "#" lines skipped, an empty or "localhost" host. Nothing otherwise.
std::optional<std::vector<std::string>> uri_list_to_paths(std::string_view data);
std::optional<std::vector<std::string>> gnome_copied_to_paths(std::string_view data);

// UTF-8 text as STRING: Latin-1, other characters as "?".
std::string utf8_to_latin1(std::string_view utf8);
std::string latin1_to_utf8(std::string_view latin1);

}  // namespace zun::clipboard
