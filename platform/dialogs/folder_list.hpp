// Folder listings for the file and folder dialogs, and the path helpers
// they share.
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "platform/window.hpp"

namespace zun::win::dialogs {

struct Entry {
    std::string name;
    bool dir = false;
};
// Folders first, then the files matching the patterns (none when
// dirs_only), each group in case-insensitive order; dot names only when
// hidden is true.
std::vector<Entry> list_folder(const std::string& folder, bool hidden, bool dirs_only, std::string_view patterns);
// Fills a ListBox with the entries in one go (folders end in "/").
void fill_list(HWND list, const std::vector<Entry>& rows);

std::string current_directory();
// An absolute, normalised path ("~" is the home folder); relative paths are
// taken from base.
std::string absolute(std::string_view path, std::string_view base);
std::string join(std::string_view folder, std::string_view name);
std::string parent_of(std::string_view folder);
bool is_dir(const std::string& path);

}  // namespace zun::win::dialogs
