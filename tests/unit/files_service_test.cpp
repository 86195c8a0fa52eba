// The file service through read, write, delete, rename and query of file!
// values: text and byte round trips, /append, /lines, /part, /seek,
// directory listings, errors, and files whose size the OS reports as 0.
// Every test writes only under a fresh temporary directory.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "datatypes/series/url.hpp"
#include "services/files.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;
namespace fs = std::filesystem;

namespace {

class FilesService : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        char pattern[] = "/tmp/zun-files-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        m_dir = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
        EvalTest::TearDown();
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }
    // The file! literal of a name in the directory.
    std::string f(const std::string& name) const { return "%" + path(name); }

    void put(const std::string& name, const std::string& bytes) const {
        std::ofstream(path(name), std::ios::binary) << bytes;
    }
    std::string bytes(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    static std::string text(const std::string& code) { return run_text(code); }

    std::string m_dir;
};

TEST_F(FilesService, TextRoundTripsInEveryUnitWidth) {
    const char* texts[] = {
        "plain ascii\nsecond line\n",
        "Latin-1: caf\xC3\xA9 \xC3\xBF \xC2\xA0",
        "BMP: \xE4\xB8\xAD\xE6\x96\x87 \xE2\x82\xAC",
        "astral: \xF0\x9F\x98\x80 and \xF0\x9D\x84\x9E\nwith a caf\xC3\xA9",
        "",
    };
    for (const char* t : texts) {
        std::string literal = std::string("\"") + t + "\"";
        for (size_t at; (at = literal.find('\n')) != std::string::npos;) literal.replace(at, 1, "^/");
        EXPECT_EQ(text("write " + f("t.txt") + " " + literal + " read " + f("t.txt")), t);
        EXPECT_EQ(bytes("t.txt"), t) << "text goes out as UTF-8 with LF line ends";
    }
    // CR LF reads as LF; a byte-order mark is skipped.
    put("crlf.txt", "\xEF\xBB\xBFone\r\ntwo\r\n");
    EXPECT_EQ(text("read " + f("crlf.txt")), "one\ntwo\n");
    EXPECT_EQ(text("mold read/lines " + f("crlf.txt")), "[\"one\" \"two\"]");
}

TEST_F(FilesService, ByteRoundTrips) {
    std::string all, hex;
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 256; i++) {
        all += char(i);
        hex += digits[i >> 4];
        hex += digits[i & 15];
    }
    EXPECT_EQ(text("write/binary " + f("b.bin") + " #{" + hex + "} read/binary " + f("b.bin")), all);
    EXPECT_EQ(bytes("b.bin"), all);
    EXPECT_EQ(text("type? read/binary " + f("b.bin")), "binary!");
    // Text with an LF keeps it in both modes.
    text("write/binary " + f("lf.txt") + " \"a^/b\"");
    EXPECT_EQ(bytes("lf.txt"), "a\nb");
    put("empty", "");
    EXPECT_EQ(text("read/binary " + f("empty")), "");
    EXPECT_EQ(text("type? read/binary " + f("empty")), "binary!");
}

TEST_F(FilesService, AppendLinesPartSeek) {
    struct Case {
        std::string code, file_bytes, result;
    };
    put("six", "abcdef");
    const std::vector<Case> cases = {
        {"write " + f("x") + " \"ab\" write/append " + f("x") + " \"cd\" read " + f("x"), "abcd", "abcd"},
        {"write/append " + f("x") + " \"new\" read " + f("x"), "new", "new"},
        {"write/lines " + f("x") + " [\"a\" \"b\" 3] read " + f("x"), "a\nb\n3\n", "a\nb\n3\n"},
        {"write/lines " + f("x") + " \"one\" read " + f("x"), "one\n", "one\n"},
        {"write/lines " + f("x") + " [] read " + f("x"), "", ""},
        {"write " + f("x") + " [1 \"a\"] read " + f("x"), "[1 \"a\"]", "[1 \"a\"]"},
        {"write " + f("x") + " 42 read " + f("x"), "42", "42"},
        {"write/part " + f("x") + " \"h\xC3\xA9llo\" 2 read " + f("x"), "h\xC3\xA9", "h\xC3\xA9"},
        {"write/part " + f("x") + " #{010203} 2 read/binary " + f("x"), "\x01\x02", "\x01\x02"},
        {"write " + f("x") + " \"abcdef\" write/seek " + f("x") + " \"XY\" 0 read " + f("x"), "XYcdef", "XYcdef"},
        {"write " + f("x") + " \"abcdef\" write/seek " + f("x") + " \"XY\" 4 read " + f("x"), "abcdXY", "abcdXY"},
        {"write " + f("x") + " \"abc\" write/part " + f("x") + " \"zz\" -1 read " + f("x"), "abc", "abc"},
    };
    for (const Case& c : cases) {
        fs::remove(path("x"));
        EXPECT_EQ(text(c.code), c.result) << c.code;
        EXPECT_EQ(bytes("x"), c.file_bytes) << c.code;
    }
    for (const auto& [code, result] : std::vector<std::pair<std::string, std::string>>{
             {"read/seek/part " + f("six") + " 3 2", "de"},
             {"read/part " + f("six") + " 0", ""},
             {"read/part " + f("six") + " 100", "abcdef"},
             {"read/seek " + f("six") + " 10", ""},
             {"read/seek/part/binary " + f("six") + " 1 3", "bcd"},
             {"mold read/lines " + f("six"), "[\"abcdef\"]"},
             {"mold read/lines/part " + f("six") + " 0", "[]"},
         })
        EXPECT_EQ(text(code), result) << code;
    for (const auto& [content, lines] : std::vector<std::pair<std::string, std::string>>{
             {"a\r\nb\n", "[\"a\" \"b\"]"}, {"a\n\nb", "[\"a\" \"\" \"b\"]"}, {"", "[]"},
             {"\n", "[\"\"]"}, {"x\ry\n", "[\"x^My\"]"}}) {
        put("l", content);
        EXPECT_EQ(text("mold/flat read/lines " + f("l")), lines) << content;
    }
    Cell error;
    EXPECT_EQ(fails(("write/part " + f("x") + " \"ab\" 1.5").c_str(), &error),
              ErrorId::script_invalid_refine_arg);
}

TEST_F(FilesService, DirectoryListing) {
    fs::create_directory(path("d"));
    for (const char* name : {"b.txt", "a.txt", "Z", "caf\xC3\xA9"}) std::ofstream(path("d/") + name) << "x";
    fs::create_directory(path("d/c"));
    fs::create_directory(path("d/c/inner"));
    // Sorted by name (bytes), directories with a trailing slash, no . or ..
    const std::string listed = "[%Z %a.txt %b.txt %c/ %caf\xC3\xA9]";
    EXPECT_EQ(text("mold/flat read " + f("d/")), listed);
    EXPECT_EQ(text("mold/flat read " + f("d/.")), listed);
    EXPECT_EQ(text("mold/flat read " + f("d/c/inner/..")), "[%inner/]");
    EXPECT_EQ(text("mold/flat read " + f("d/c/inner/")), "[]");
    EXPECT_EQ(text("p: " + f("d/") + " read p mold p"), f("d/"));
    EXPECT_EQ(text("type? pick read " + f("d/") + " 1"), "file!");
    Cell error;
    EXPECT_EQ(fails(("read " + f("missing/")).c_str(), &error), ErrorId::access_cannot_open);
}

TEST_F(FilesService, ErrorsNameTheFile) {
    Cell error;
    EXPECT_EQ(fails(("read " + f("missing.txt")).c_str(), &error), ErrorId::access_cannot_open);
    EXPECT_EQ(error_arg(error, 0), f("missing.txt"));
    fs::create_directory(path("dir"));
    EXPECT_EQ(fails(("read " + f("dir")).c_str(), &error), ErrorId::access_cannot_open);
    EXPECT_EQ(fails(("write " + f("nowhere/x.txt") + " \"a\"").c_str(), &error),
              ErrorId::access_cannot_open);
    EXPECT_EQ(error_arg(error, 0), f("nowhere/x.txt"));
    // A NUL would cut the OS name short and reach another file.
    put("a", "x");
    EXPECT_EQ(fails(("read %\"" + path("a") + "^@b\"").c_str()), ErrorId::access_cannot_open);
    EXPECT_EQ(fails(("write %\"" + path("a") + "^@b\" \"y\"").c_str()), ErrorId::access_cannot_open);
    EXPECT_EQ(bytes("a"), "x");
    // A write the OS refuses is an error, not a silent success.
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(fails("write %/dev/full \"data\""), ErrorId::access_write_error);
    }
    EXPECT_EQ(fails(("read/as " + f("dir") + " 'utf-16").c_str()), ErrorId::internal_not_done);
}

// /proc files report a size of 0 and are read to their end all the same.
TEST_F(FilesService, ProcFilesAreReadToTheEnd) {
    std::ifstream in("/proc/self/status");
    if (!in) GTEST_SKIP() << "no /proc";
    std::vector<std::string> keys;
    for (std::string line; std::getline(in, line);) keys.push_back(line.substr(0, line.find(':')));
    std::string status = text("read %/proc/self/status");
    std::vector<std::string> read_keys;
    std::istringstream lines(status);
    for (std::string line; std::getline(lines, line);) read_keys.push_back(line.substr(0, line.find(':')));
    EXPECT_EQ(read_keys, keys);
    EXPECT_EQ(status.back(), '\n');
    EXPECT_EQ(text("length? read/lines %/proc/self/status"), std::to_string(keys.size()));
    EXPECT_EQ(text("copy/part read/seek/part %/proc/self/status 0 5 5"), "Name:");
}

TEST_F(FilesService, DeleteRenameQuery) {
    put("a", "1");
    fs::create_directory(path("emptydir"));
    for (const auto& [code, result] : std::vector<std::pair<std::string, std::string>>{
             {"rename " + f("a") + " " + f("b"), "true"},
             {"rename " + f("a") + " " + f("c"), "false"},
             {"read " + f("b"), "1"},
             {"delete " + f("b"), "true"},
             {"delete " + f("b"), "false"},
             {"delete " + f("emptydir/"), "true"},
             {"query " + f("b"), "none"},
         })
        EXPECT_EQ(text(code), result) << code;
    EXPECT_FALSE(fs::exists(path("b")));
    EXPECT_FALSE(fs::exists(path("emptydir")));
    put("q", "x");
    // A trailing slash on a file's name names no file.
    EXPECT_EQ(text("query " + f("q/")), "none");
    EXPECT_EQ(text("type? query " + f("q")), "date!");
    file_io::FileTime time{};
    Cell* q = string::load_c_text(path("q").data(), uint32_t(path("q").size()), 0);
    q->set_type(TYPE_FILE);
    ASSERT_TRUE(file_io::modified_time(q, &time));
    EXPECT_GE(time.year, 2020);
    EXPECT_TRUE(time.month >= 1 && time.month <= 12 && time.day >= 1 && time.day <= 31);
}

TEST_F(FilesService, DirectoryPaths) {
    for (const auto& [name, dir] : std::vector<std::pair<std::string, bool>>{
             {"a/", true}, {".", true}, {"..", true}, {"a/.", true}, {"a/..", true},
             {"a\\", true}, {"", false}, {"a", false}, {"a.", false}, {"a..", false},
             {".a", false}, {"...", false}, {"a/b", false}}) {
        stack::StackScope scope;
        Cell* file = string::load_c_text(name.data(), uint32_t(name.size()), 0);
        file->set_type(TYPE_FILE);
        EXPECT_EQ(file_io::dir_path_q(file), dir) << name;
    }
}

}  // namespace
