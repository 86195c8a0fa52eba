// The clipboard on the in-memory display: what other programs put is read as
// values, what we write is offered as they expect, and without a display both
// routines answer false.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/externals.hpp"
#include "platform/display_memory.hpp"
#include "services/bmp.hpp"
#include "services/clipboard.hpp"
#include "services/image_codecs.hpp"
#include "startup/routines.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;
using clipboard::Offer;

namespace {

class Clipboard : public eval_test::EvalTest {
protected:
    void SetUp() override {
        EvalTest::SetUp();
        externals::init();
        routines::bind_all();
        win::open(std::make_unique<win::MemoryDisplay>());
        clipboard::memory::clear();
    }
    void TearDown() override {
        win::close();
        EvalTest::TearDown();
    }
    static std::string bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }
    // An encoded 3 x 2 image of distinct pixels, one half transparent.
    static std::string encoded(int format) {
        const uint32_t px[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF, 0xFF000000, 0xFF808080};
        std::vector<uint8_t> out;
        EXPECT_EQ(image_codec::encode_pixels(px, 3, 2, format, out), image_codec::EncodeStatus::ok);
        return bytes(out);
    }
};

TEST_F(Clipboard, TextFromOtherPrograms) {
    struct Case {
        Offer offer;
        const char* molded;
    };
    const Case cases[] = {
        {{{"UTF8_STRING", "abc"}}, R"("abc")"},
        {{{"UTF8_STRING", "h\xC3\xA9llo \xE2\x82\xAC"}}, "\"h\xC3\xA9llo \xE2\x82\xAC\""},
        {{{"UTF8_STRING", "\xF0\x9F\x98\x80"}}, "\"\xF0\x9F\x98\x80\""},
        {{{"UTF8_STRING", std::string("ab\0cd", 5)}}, R"("ab")"},
        {{{"UTF8_STRING", "a\xFF" "b"}}, "\"a\xEF\xBF\xBD" "b\""},
        {{{"STRING", "caf\xE9"}}, "\"caf\xC3\xA9\""},
        {{{"text/plain;charset=utf-8", "a\nb"}}, R"("a^/b")"},
        {{{"UTF8_STRING", "a\r\nb"}}, R"("a^M^/b")"},
        // a leading byte order mark is a character like any other
        {{{"UTF8_STRING", "\xEF\xBB\xBFx"}}, "\"\xEF\xBB\xBFx\""},
        // long enough for the eight-byte steps, the bad byte past the first
        {{{"UTF8_STRING", "abcdefghij\xC3\xA9klmnopq\xC3rs"}}, "\"abcdefghij\xC3\xA9klmnopq\xEF\xBF\xBDrs\""},
        // UTF8_STRING is preferred over the others.
        {{{"STRING", "x"}, {"UTF8_STRING", "y"}}, R"("y")"},
        {{{"application/x-other", "z"}}, "none"},
    };
    for (const Case& c : cases) {
        clipboard::memory::put(c.offer);
        EXPECT_EQ(run_text("mold read-clipboard"), c.molded) << c.offer[0].bytes;
    }
    clipboard::memory::clear();
    EXPECT_EQ(run_text("mold read-clipboard"), "none");
    // An owner refusing TARGETS is asked for UTF8_STRING, then STRING.
    clipboard::memory::put({{"STRING", "\xE9t\xE9"}}, true);
    EXPECT_EQ(run_text("mold read-clipboard"), "\"\xC3\xA9t\xC3\xA9\"");
    clipboard::memory::put({{"UTF8_STRING", "u"}, {"STRING", "s"}}, true);
    EXPECT_EQ(run_text("mold read-clipboard"), R"("u")");
}

TEST_F(Clipboard, TextWritten) {
    EXPECT_EQ(run("write-clipboard \"x\""), "true");
    EXPECT_EQ(run_text("mold read-clipboard"), R"("x")");
    EXPECT_EQ(run("write-clipboard \"a^/\xC3\xA9\xE2\x82\xAC\""), "true");
    EXPECT_EQ(clipboard::memory::targets(),
              (std::vector<std::string>{"TARGETS", "TIMESTAMP", "MULTIPLE", "UTF8_STRING",
                                        "text/plain;charset=utf-8", "TEXT", "STRING"}));
    EXPECT_EQ(*clipboard::memory::get("UTF8_STRING"), "a\n\xC3\xA9\xE2\x82\xAC");  // LF stays LF
    EXPECT_EQ(*clipboard::memory::get("STRING"), "a\n\xE9?");
    EXPECT_EQ(run_text("mold read-clipboard"), "\"a^/\xC3\xA9\xE2\x82\xAC\"");
}

TEST_F(Clipboard, FileLists) {
    const std::string long_name(300, 'n');
    struct Case {
        Offer offer;
        std::string molded;
    };
    const Case cases[] = {
        {{{"text/uri-list", "file:///tmp/a%20b\r\nfile:///tmp/100%25\r\n"}, {"UTF8_STRING", "text"}},
         R"([%"/tmp/a b" %"/tmp/100%"])"},
        {{{"text/uri-list", "# comment\nfile://localhost/tmp/%C3%BC\n"}}, "[%/tmp/\xC3\xBC]"},
        {{{"text/uri-list", "file:///d/" + long_name + "\r\n"}}, "[%/d/" + long_name + "]"},
        // Not every URI names a local file: the text wins.
        {{{"text/uri-list", "file:///tmp/a\r\nhttp://example.org/\r\n"}, {"UTF8_STRING", "http"}}, R"("http")"},
        {{{"x-special/gnome-copied-files", "copy\nfile:///tmp/x\nfile:///tmp/y"}}, "[%/tmp/x %/tmp/y]"},
    };
    for (const Case& c : cases) {
        clipboard::memory::put(c.offer);
        EXPECT_EQ(run_text("mold read-clipboard"), c.molded) << c.offer[0].bytes;
    }
    const std::string script = "write-clipboard [%\"/tmp/a b\" %/tmp/100%25 %/tmp/\xC3\xBC %/d/" + long_name + "]";
    EXPECT_EQ(run(script.c_str()), "true");
    EXPECT_EQ(*clipboard::memory::get("text/uri-list"),
              "file:///tmp/a%20b\r\nfile:///tmp/100%25\r\nfile:///tmp/%C3%BC\r\nfile:///d/" + long_name + "\r\n");
    EXPECT_EQ(*clipboard::memory::get("x-special/gnome-copied-files"),
              "copy\nfile:///tmp/a%20b\nfile:///tmp/100%25\nfile:///tmp/%C3%BC\nfile:///d/" + long_name);
    EXPECT_EQ(run_text("mold read-clipboard"), "[%\"/tmp/a b\" %\"/tmp/100%\" %/tmp/\xC3\xBC %/d/" + long_name + "]");
    EXPECT_EQ(run("length? pick read-clipboard 4"), "303");
}

TEST_F(Clipboard, Images) {
    // Ours: PNG first (alpha kept), and a top-down V5 DIB.
    run("img: make image! [3x2 #{FF000000FF000000FFFFFFFF000000808080} #{000000800000}]");
    EXPECT_EQ(run("write-clipboard img"), "true");
    const std::string png = *clipboard::memory::get("image/png");
    const std::string dib = *clipboard::memory::get("image/bmp");
    EXPECT_EQ(image_codec::sniff(reinterpret_cast<const uint8_t*>(png.data()), png.size()), image_codec::IMAGE_PNG);
    EXPECT_EQ(run("img = read-clipboard"), "true");
    EXPECT_EQ(dib.size(), 14u + 124u + 3 * 2 * 4);
    EXPECT_EQ(int32_t(uint8_t(dib[22]) | uint8_t(dib[23]) << 8 | uint8_t(dib[24]) << 16 | uint8_t(dib[25]) << 24), -2);
    // The DIB alone, taken as it lies.
    clipboard::memory::put({{"image/bmp", dib}});
    EXPECT_EQ(run("img = read-clipboard"), "true");
    // A DIB shorter than its pixels is refused as corrupt.
    clipboard::memory::put({{"image/bmp", dib.substr(0, dib.size() - 1)}});
    EXPECT_EQ(fails("read-clipboard"), ErrorId::access_bad_media);
    // A bottom-up BMP (our encoder writes them) is upright once read.
    {
        const uint32_t px[] = {0xFFFF0000, 0xFF0000FF};  // red above blue
        std::vector<uint8_t> out;
        bmp::encode(px, 1, 2, out);
        clipboard::memory::put({{"image/x-bmp", bytes(out)}});
        EXPECT_EQ(run("reduce [pick read-clipboard 1 pick read-clipboard 2]"), "[255.0.0.0 0.0.255.0]");
    }
    // JPEG and GIF from other programs; PNG is preferred to them.
    for (int format : {image_codec::IMAGE_JPEG, image_codec::IMAGE_GIF}) {
        clipboard::memory::put({{format == image_codec::IMAGE_JPEG ? "image/jpeg" : "image/gif", encoded(format)}});
        EXPECT_EQ(run("i: read-clipboard i/size"), "3x2") << format;
    }
    clipboard::memory::put({{"image/gif", encoded(image_codec::IMAGE_GIF)}, {"image/png", png}});
    EXPECT_EQ(run("img = read-clipboard"), "true");
    clipboard::memory::put({{"image/png", "\x89PNG\r\n\x1a\n broken"}});
    EXPECT_EQ(fails("read-clipboard"), ErrorId::access_bad_media);
}

TEST_F(Clipboard, NoneAndEmptyImageEmptyIt) {
    const std::vector<std::string> bare{"TARGETS", "TIMESTAMP", "MULTIPLE"};
    for (const char* write : {"write-clipboard none", "write-clipboard make image! 0x0"}) {
        clipboard::memory::put({{"UTF8_STRING", "before"}});
        EXPECT_EQ(run(write), "true") << write;
        EXPECT_EQ(clipboard::memory::targets(), bare) << write;
        EXPECT_EQ(run_text("mold read-clipboard"), "none") << write;
    }
}

TEST_F(Clipboard, BadValuesRaiseAndChangeNothing) {
    clipboard::memory::put({{"UTF8_STRING", "kept"}});
    struct Case {
        const char* code;
        const char* arg;
    };
    for (const Case& c : {Case{"write-clipboard 12", "12"}, Case{"write-clipboard [1 2]", "[1 2]"},
                          Case{"write-clipboard [%a 1]", "[%a 1]"}, Case{"write-clipboard 'w", "w"}}) {
        Cell error;
        EXPECT_EQ(fails(c.code, &error), ErrorId::script_invalid_arg) << c.code;
        EXPECT_EQ(error_arg(error, 0), c.arg) << c.code;
    }
    EXPECT_EQ(run_text("mold read-clipboard"), R"("kept")");
}

TEST_F(Clipboard, WithoutADisplayBothAnswerFalse) {
    win::close();
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    unsetenv("ZUN_DISPLAY");
    EXPECT_EQ(run_text("mold read-clipboard"), "false");
    EXPECT_EQ(run("write-clipboard \"x\""), "false");
    EXPECT_EQ(run("write-clipboard none"), "false");
    EXPECT_EQ(fails("write-clipboard 12"), ErrorId::script_invalid_arg);
    if (display) setenv("DISPLAY", saved.c_str(), 1);
}

}  // namespace
