// File lists and Latin-1 text in their clipboard forms, both ways.
#include <gtest/gtest.h>

#include "services/clipboard_formats.hpp"

using namespace zun::clipboard;
using Paths = std::vector<std::string>;

TEST(ClipboardFormats, FileListsBothWays) {
    Paths paths = {"/tmp/a b.txt", "/tmp/100%", "/tmp/\xC3\xA9t\xC3\xA9", "/x/" + std::string(300, 'n')};
    std::string uris = paths_to_uri_list(paths);
    EXPECT_EQ(uris.substr(0, 24), "file:///tmp/a%20b.txt\r\nf");
    EXPECT_NE(uris.find("file:///tmp/100%25\r\n"), std::string::npos);
    EXPECT_NE(uris.find("file:///tmp/%C3%A9t%C3%A9\r\n"), std::string::npos);
    EXPECT_EQ(uri_list_to_paths(uris), paths);
    EXPECT_EQ(gnome_copied_to_paths(paths_to_gnome_copied(paths)), paths);
    EXPECT_EQ(paths_to_gnome_copied({"/a"}), "copy\nfile:///a");
}

TEST(ClipboardFormats, UriListReading) {
    struct { const char* data; std::optional<Paths> want; } cases[] = {
        {"# comment\nfile://localhost/a\nfile:///b%2fc\n", Paths{"/a", "/b/c"}},
        {"file:///a\r\nhttp://example.org/b\r\n", std::nullopt},  // the text wins
        {"file://otherhost/a\n", std::nullopt},
        {"# only a comment\n", std::nullopt},
        {"", std::nullopt},
    };
    for (auto& c : cases) EXPECT_EQ(uri_list_to_paths(c.data), c.want) << c.data;
    EXPECT_EQ(gnome_copied_to_paths("file:///a"), std::nullopt);
}

TEST(ClipboardFormats, Latin1) {
    EXPECT_EQ(utf8_to_latin1("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80!"), "caf\xE9 ? ?!");
    EXPECT_EQ(latin1_to_utf8("caf\xE9"), "caf\xC3\xA9");
}
