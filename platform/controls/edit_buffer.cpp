// EDIT's text: UTF-8 with an index of hard lines, kept in step by each
// replacement (only the lines it touches are scanned), so that positions,
// lines and rows of a large text are found without walking all of it.
#include <algorithm>

#include "platform/controls/edit_internal.hpp"

namespace zun::win::controls::edit {

namespace {
bool continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The length of a valid UTF-8 sequence at i, 0 when it is not one.
size_t valid_sequence(std::string_view s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    unsigned char c = b(0);
    if (c < 0x80) return 1;
    size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (!n || i + n > s.size()) return 0;
    for (size_t k = 1; k < n; ++k)
        if (!continuation(s[i + k])) return 0;
    if (c == 0xE0 && b(1) < 0xA0) return 0;   // overlong
    if (c == 0xED && b(1) >= 0xA0) return 0;  // surrogates
    if (c == 0xF0 && b(1) < 0x90) return 0;
    if (c == 0xF4 && b(1) >= 0x90) return 0;
    return n;
}
}  // namespace

size_t count_chars(std::string_view utf8) {
    size_t n = 0;
    for (char c : utf8) n += !continuation(c);
    return n;
}

size_t prefix_bytes(std::string_view utf8, size_t n) {
    size_t i = 0;
    for (; i < utf8.size(); ++i) {
        if (continuation(utf8[i])) continue;
        if (n == 0) return i;
        --n;
    }
    return utf8.size();
}

char32_t decode_at(std::string_view s, size_t i) {
    if (i >= s.size()) return 0;
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) return c;
    int n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    char32_t cp = c & (0x3F >> (n - 1));
    for (int k = 1; k < n && i + k < s.size(); ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    return cp;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string TextBuffer::normalize(std::string_view text) const {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char c = text[i];
        if (m_multi && (c == '\r' || c == '\n')) {
            out += "\r\n";
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            continue;
        }
        size_t n = valid_sequence(text, i);
        if (n) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that starts nothing
            ++i;
        }
    }
    return out;
}

size_t TextBuffer::line_of(size_t byte) const {
    auto it = std::upper_bound(m_lines.begin(), m_lines.end(), byte,
                               [](size_t b, const Line& l) { return b < l.byte; });
    return static_cast<size_t>(it - m_lines.begin()) - 1;
}

size_t TextBuffer::char_of(size_t byte) const {
    byte = std::min(byte, m_text.size());
    const Line& l = m_lines[line_of(byte)];
    return l.chr + count_chars(std::string_view(m_text).substr(l.byte, byte - l.byte));
}

size_t TextBuffer::byte_of(size_t position) const {
    if (position >= m_chars) return m_text.size();
    auto it = std::upper_bound(m_lines.begin(), m_lines.end(), position,
                               [](size_t p, const Line& l) { return p < l.chr; });
    const Line& l = *(it - 1);
    return l.byte + prefix_bytes(std::string_view(m_text).substr(l.byte), position - l.chr);
}

size_t TextBuffer::next(size_t byte) const {
    if (byte >= m_text.size()) return m_text.size();
    if (m_multi && m_text[byte] == '\r' && byte + 1 < m_text.size() && m_text[byte + 1] == '\n') return byte + 2;
    ++byte;
    while (byte < m_text.size() && continuation(m_text[byte])) ++byte;
    return byte;
}

size_t TextBuffer::prev(size_t byte) const {
    if (byte == 0) return 0;
    byte = std::min(byte, m_text.size());
    if (m_multi && byte >= 2 && m_text[byte - 1] == '\n' && m_text[byte - 2] == '\r') return byte - 2;
    --byte;
    while (byte > 0 && continuation(m_text[byte])) --byte;
    return byte;
}

size_t TextBuffer::snap(size_t byte) const {
    byte = std::min(byte, m_text.size());
    while (byte > 0 && byte < m_text.size() && continuation(m_text[byte])) --byte;
    if (m_multi && byte > 0 && byte < m_text.size() && m_text[byte] == '\n' && m_text[byte - 1] == '\r') --byte;
    return byte;
}

void TextBuffer::set(std::string_view text) {
    m_text = normalize(text);
    m_lines.assign(1, Line{});
    index_from(0);
}

void TextBuffer::index_from(size_t first_line) {
    m_lines.resize(first_line + 1);
    Line& l = m_lines[first_line];
    l.rows = 0;
    l.width = -1;
    size_t chr = l.chr;
    for (size_t i = l.byte; i < m_text.size(); ++i) {
        chr += !continuation(m_text[i]);
        if (m_multi && m_text[i] == '\n') m_lines.push_back({i + 1, chr, 0, -1});
    }
    m_chars = chr;
}

void TextBuffer::replace(size_t from, size_t to, std::string_view insert) {
    to = std::max(from, to);
    size_t first = line_of(from), last = line_of(to);
    std::string_view old = std::string_view(m_text).substr(from, to - from);
    ptrdiff_t removed_chars = static_cast<ptrdiff_t>(count_chars(old));
    // The new lines inside what is inserted, counted from the first line.
    std::vector<Line> added;
    size_t chr = m_lines[first].chr + count_chars(std::string_view(m_text).substr(m_lines[first].byte, from - m_lines[first].byte));
    for (size_t i = 0; i < insert.size(); ++i) {
        chr += !continuation(insert[i]);
        if (m_multi && insert[i] == '\n') added.push_back({from + i + 1, chr, 0, -1});
    }
    ptrdiff_t inserted_chars = static_cast<ptrdiff_t>(count_chars(insert));
    ptrdiff_t byte_delta = static_cast<ptrdiff_t>(insert.size()) - static_cast<ptrdiff_t>(to - from);
    ptrdiff_t char_delta = inserted_chars - removed_chars;
    m_text.replace(from, to - from, insert);
    m_lines.erase(m_lines.begin() + static_cast<ptrdiff_t>(first) + 1, m_lines.begin() + static_cast<ptrdiff_t>(last) + 1);
    m_lines.insert(m_lines.begin() + static_cast<ptrdiff_t>(first) + 1, added.begin(), added.end());
    for (size_t i = first + 1 + added.size(); i < m_lines.size(); ++i) {
        m_lines[i].byte = static_cast<size_t>(static_cast<ptrdiff_t>(m_lines[i].byte) + byte_delta);
        m_lines[i].chr = static_cast<size_t>(static_cast<ptrdiff_t>(m_lines[i].chr) + char_delta);
    }
    m_lines[first].rows = 0;
    m_lines[first].width = -1;
    m_chars = static_cast<size_t>(static_cast<ptrdiff_t>(m_chars) + char_delta);
}

void TextBuffer::forget_layout() {
    for (Line& l : m_lines) {
        l.rows = 0;
        l.width = -1;
    }
}

}  // namespace zun::win::controls::edit
