#include "services/clipboard_formats.hpp"

namespace zun::clipboard {

namespace {

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
}

std::string file_uri(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out = "file://";
    for (unsigned char c : path) {
        if (unreserved(c)) out += char(c);
        else { out += '%'; out += hex[c >> 4]; out += hex[c & 15]; }
    }
    return out;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<std::string> uri_to_path(std::string_view uri) {
    if (uri.substr(0, 7) != "file://") return std::nullopt;
    uri.remove_prefix(7);
    size_t slash = uri.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view host = uri.substr(0, slash);
    if (!host.empty() && host != "localhost") return std::nullopt;
    std::string path;
    for (size_t i = slash; i < uri.size(); ++i) {
        int hi, lo;
        if (uri[i] == '%' && i + 2 < uri.size() && (hi = hex_value(uri[i + 1])) >= 0 &&
            (lo = hex_value(uri[i + 2])) >= 0) {
            path += char(hi * 16 + lo);
            i += 2;
        } else {
            path += uri[i];
        }
    }
    return path;
}

std::vector<std::string_view> lines_of(std::string_view data) {
    std::vector<std::string_view> lines;
    while (!data.empty()) {
        size_t end = data.find('\n');
        std::string_view line = data.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos) break;
        data.remove_prefix(end + 1);
    }
    return lines;
}

std::optional<std::vector<std::string>> paths_of(const std::vector<std::string_view>& lines) {
    std::vector<std::string> paths;
    for (std::string_view line : lines) {
        if (line.empty() || line[0] == '#') continue;
        auto path = uri_to_path(line);
        if (!path) return std::nullopt;
        paths.push_back(std::move(*path));
    }
    if (paths.empty()) return std::nullopt;
    return paths;
}

}  // namespace

std::string paths_to_uri_list(const std::vector<std::string>& paths) {
    std::string out;
    for (const auto& p : paths) out += file_uri(p) + "\r\n";
    return out;
}

std::string paths_to_gnome_copied(const std::vector<std::string>& paths) {
    std::string out = "copy";
    for (const auto& p : paths) out += "\n" + file_uri(p);
    return out;
}

std::optional<std::vector<std::string>> uri_list_to_paths(std::string_view data) {
    return paths_of(lines_of(data));
}

std::optional<std::vector<std::string>> gnome_copied_to_paths(std::string_view data) {
    auto lines = lines_of(data);
    if (lines.empty() || (lines[0] != "copy" && lines[0] != "cut")) return std::nullopt;
    lines.erase(lines.begin());
    return paths_of(lines);
}

std::string utf8_to_latin1(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        unsigned char c = s[i];
        size_t len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        if (len == 2 && i + 1 < s.size() && c <= 0xC3)
            out += char(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
        else
            out += len == 1 && c < 0x80 ? char(c) : '?';
        i += len;
    }
    return out;
}

std::string latin1_to_utf8(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (unsigned char c : s) {
        if (c < 0x80) out += char(c);
        else { out += char(0xC0 | (c >> 6)); out += char(0x80 | (c & 0x3F)); }
    }
    return out;
}

}  // namespace zun::clipboard
