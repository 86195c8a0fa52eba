// Folder listings: read once, sorted once, handed to the list in one go so
// a folder of many thousand files opens quickly.
#include "platform/dialogs/folder_list.hpp"

#include <dirent.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/controls/listbox.hpp"
#include "platform/dialogs/dialogs.hpp"

namespace zun::win::dialogs {

namespace {

std::string casefolded(std::string_view s) {
    gchar* f = g_utf8_casefold(s.data(), static_cast<gssize>(s.size()));
    std::string out(f ? f : "");
    g_free(f);
    return out;
}

bool wildcard_all(std::string_view p) { return p == "*" || p == "*.*"; }

}  // namespace

const Filters& default_filters() {
    static const Filters k{{"All files", "*.*"}, {"Zun scripts", "*.zun;*.zuns"}, {"Text files", "*.txt"}};
    return k;
}

namespace {

// The globs of a pattern list, case-folded once for a whole folder.
struct Globs {
    explicit Globs(std::string_view patterns) {
        size_t from = 0;
        while (from <= patterns.size()) {
            size_t to = patterns.find(';', from);
            if (to == std::string_view::npos) to = patterns.size();
            std::string_view p = patterns.substr(from, to - from);
            while (!p.empty() && p.front() == ' ') p.remove_prefix(1);
            while (!p.empty() && p.back() == ' ') p.remove_suffix(1);
            if (wildcard_all(p)) all = true;
            else if (!p.empty()) specs.push_back(g_pattern_spec_new(casefolded(p).c_str()));
            from = to + 1;
        }
    }
    ~Globs() {
        for (GPatternSpec* s : specs) g_pattern_spec_free(s);
    }
    Globs(const Globs&) = delete;
    Globs& operator=(const Globs&) = delete;
    // name: already case-folded
    bool match(const std::string& folded) const {
        if (all) return true;
        for (GPatternSpec* s : specs)
            if (g_pattern_spec_match_string(s, folded.c_str())) return true;
        return false;
    }
    bool all = false;
    std::vector<GPatternSpec*> specs;
};

}  // namespace

bool matches(std::string_view patterns, std::string_view name) { return Globs(patterns).match(casefolded(name)); }

std::vector<Entry> list_folder(const std::string& folder, bool hidden, bool dirs_only, std::string_view patterns) {
    struct Keyed {
        Entry entry;
        std::string key;
    };
    std::vector<Keyed> found;
    const Globs globs(patterns);
    if (DIR* d = opendir(folder.c_str())) {
        const int fd = dirfd(d);
        while (const dirent* e = readdir(d)) {
            const std::string_view name = e->d_name;
            if (name == "." || name == ".." || (!hidden && name.front() == '.')) continue;
            bool dir = e->d_type == DT_DIR;
            if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
                struct stat st;
                dir = fstatat(fd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
            }
            if (!dir && dirs_only) continue;
            std::string key = casefolded(name);
            if (!dir && !globs.match(key)) continue;
            found.push_back({Entry{std::string(name), dir}, std::move(key)});
        }
        closedir(d);
    }
    std::sort(found.begin(), found.end(), [](const Keyed& a, const Keyed& b) {
        if (a.entry.dir != b.entry.dir) return a.entry.dir;
        if (a.key != b.key) return a.key < b.key;
        return a.entry.name < b.entry.name;
    });
    std::vector<Entry> out;
    out.reserve(found.size());
    for (Keyed& k : found) out.push_back(std::move(k.entry));
    return out;
}

void fill_list(HWND list, const std::vector<Entry>& rows) {
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    SendMessage(list, LB_INITSTORAGE, rows.size(), 0);
    std::string text;
    for (const Entry& e : rows) {
        text = e.name;
        if (e.dir) text += '/';
        SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
}

std::string current_directory() {
    char* cwd = getcwd(nullptr, 0);
    std::string out = cwd ? cwd : "/";
    std::free(cwd);
    return out;
}

std::string join(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != '/') out += '/';
    out += name;
    return out;
}

std::string absolute(std::string_view path, std::string_view base) {
    std::string whole;
    if (path == "~" || path.starts_with("~/")) {
        const char* home = std::getenv("HOME");
        whole = std::string(home ? home : "/") + std::string(path.substr(1));
    } else if (path.starts_with("/")) {
        whole = path;
    } else {
        whole = join(base, path);
    }
    std::vector<std::string_view> parts;
    std::string_view rest = whole;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (std::string_view p : parts) {
        out += '/';
        out += p;
    }
    return out.empty() ? "/" : out;
}

std::string parent_of(std::string_view folder) { return absolute("..", folder); }

bool is_dir(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace zun::win::dialogs
