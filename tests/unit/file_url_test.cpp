// file!, url!, tag!, email! and ref!: percent-encoding (checked against
// python3's urllib.parse), mold and form, path access, url building, the
// dehex, enhex and to-local-file natives, run from source text.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "datatypes/series/file.hpp"
#include "datatypes/series/url.hpp"
#include "platform/platform.hpp"
#include "tests/unit/eval_fixture.hpp"
#include "tests/unit/python_oracle.hpp"

using namespace zun;

namespace {

struct Case {
    const char* code;
    const char* text;  // the result's text (a string's own characters), UTF-8
};

class FileUrl : public eval_test::EvalTest {
protected:
    static std::string text(const std::string& code) { return run_text(code); }
    static void check(const std::vector<Case>& cases) {
        for (const Case& c : cases) EXPECT_EQ(text(c.code), c.text) << c.code;
    }
    static std::string encode(const std::string& utf8, int mode) {
        stack::StackScope scope;
        Cell* source = string::load_c_text(utf8.data(), uint32_t(utf8.size()), 0);
        Cell* target = string::make_empty_at(stack::push_cell(), 16);
        url::encode_escapes(source, target, mode);
        return url::utf8_of(target);
    }
};

std::string hex_of(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// What python3's urllib.parse.quote answers for each input under the safe
// set, one line per input; empty when python3 cannot run.
std::vector<std::string> python_quote(const std::vector<std::string>& inputs, const char* safe) {
    std::string command =
        "python3 -c \"import sys, urllib.parse\n"
        "for h in sys.argv[2:]: print(urllib.parse.quote(bytes.fromhex(h).decode(), "
        "safe=bytes.fromhex(sys.argv[1]).decode()))\" ";
    command += *safe ? hex_of(safe) : std::string("''");
    for (const std::string& input : inputs) command += " " + (input.empty() ? std::string("''") : hex_of(input));
    return test_support::command_lines(command);
}

std::string all_ascii() {
    std::string s;
    for (int c = 1; c < 128; c++) s += char(c);
    return s;
}

TEST_F(FileUrl, PercentEncodingMatchesPython) {
    const std::vector<std::string> inputs = {
        "", "plain-Text_1.2~", "a b/c?d=e&f", "100% [x] {y} |z| ^ ` \\ \" < > ;",
        "caf\xC3\xA9", "\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x98\x80 smile", "tab\there\nline",
        all_ascii(), "!#$&'()*+,-./:=?@_~",
    };
    // The component set keeps only unreserved characters; the wide set keeps
    // what a URL may hold as it is. quote() always keeps letters, digits and "_.-~".
    const struct {
        int mode;
        const char* safe;
    } modes[] = {{url::COMPONENT_MODE, ""}, {url::WIDE_MODE, "!#$&'()*+,/:=?@"}};
    for (const auto& m : modes) {
        std::vector<std::string> expected = python_quote(inputs, m.safe);
        if (expected.empty()) GTEST_SKIP() << "python3 is not available";
        ASSERT_EQ(expected.size(), inputs.size());
        for (size_t i = 0; i < inputs.size(); i++)
            EXPECT_EQ(encode(inputs[i], m.mode), expected[i]) << "mode " << m.mode << ": " << inputs[i];
    }
}

TEST_F(FileUrl, EnhexAndDehex) {
    check({
        {"enhex \"a b/c~\"", "a%20b%2Fc~"},
        {"enhex %\"a b/c:\"", "a%20b/c:"},
        {"enhex http://h/a%25b", "http://h/a%25b"},
        {"enhex \"caf\xC3\xA9\"", "caf%C3%A9"},
        {"dehex \"%C3%A9\"", "\xC3\xA9"},
        {"dehex \"%c3%a9\"", "\xC3\xA9"},
        {"dehex \"%F0%9F%98%80!\"", "\xF0\x9F\x98\x80!"},
        {"dehex \"a%20b%2f\"", "a b/"},
        {"dehex \"%41%7e\"", "A~"},
        // A byte below C0 stands for its own code point.
        {"dehex \"%E9x\"", "%E9x"},
        {"dehex \"%A9\"", "\xC2\xA9"},
        // Malformed escapes stay as text: cut sequences, bad digits, bad UTF-8.
        {"dehex \"%C3x\"", "%C3x"},
        {"dehex \"%C3%28\"", "%C3("},
        {"dehex \"%ED%A0%80\"", "%ED\xC2\xA0\xC2\x80"},
        {"dehex \"%zz%4\"", "%zz%4"},
        {"dehex \"100%\"", "100%"},
        {"type? dehex http://a/b", "string!"},
        {"type? enhex %a", "string!"},
    });
    // Encoding then decoding gives the text back.
    for (const char* s : {"a b/c", "\xE4\xB8\xAD%25", "\xF0\x9F\x98\x80"}) {
        std::string code = std::string("dehex enhex \"") + s + "\"";
        EXPECT_EQ(text(code), s);
    }
}

TEST_F(FileUrl, UrlMoldFormAndBuilding) {
    check({
        {"mold http://example.com/a%20b", "http://example.com/a%20b"},
        {"form http://example.com/a%20b", "http://example.com/a b"},
        {"mold to url! \"http://h/caf\xC3\xA9 x\"", "http://h/caf%C3%A9%20x"},
        {"mold/part http://example.com/path 10", "http://exa"},
        {"mold to url! [http host 8080 a]", "http://host:8080/a"},
        {"mold to url! [https host 443]", "https://host:443"},
        {"mold to url! [ftp host dir file]", "ftp://host/dir/file"},
        {"mold to url! [http host a #frag]", "http://host/a#frag"},
        {"mold to url! [http]", "http://"},
        {"mold make url! [http host]", "http://host"},
        {"type? make url! 10", "url!"},
        {"mold to file! \"a b\"", "%\"a b\""},
        {"mold to file! [a b]", "%ab"},
    });
    Cell error;
    EXPECT_EQ(fails("to url! []", &error), ErrorId::script_bad_to_arg);
}

TEST_F(FileUrl, PathJoining) {
    check({
        {"u: http://h/ mold u/b", "http://h/b"},
        {"u: http://h mold u/b", "http://h/b"},
        {"u: http://h/ mold u/(\"/c\")", "http://h/c"},
        {"u: http://h/ u/b mold u", "http://h/"},
        {"f: %dir mold f/a.txt", "%dir/a.txt"},
        {"f: %dir/ type? f/a", "file!"},
        {"u: http://h/ mold u/1", "http://h/1"},
    });
    EXPECT_EQ(fails("u: http://h/ u/b: 1"), ErrorId::script_bad_path_set);
}

TEST_F(FileUrl, FileMold) {
    check({
        {"mold %a.txt", "%a.txt"},
        {"mold %/home/me/a.txt", "%/home/me/a.txt"},
        {"mold %\"a b\"", "%\"a b\""},
        {"mold %\"\"", "%\"\""},
        {"mold %a%20b", "%\"a b\""},
        {"mold %\"caf\xC3\xA9\"", "%caf\xC3\xA9"},
        {"mold %\"a;b\"", "%\"a;b\""},
        {"mold %\"50%\"", "%\"50%\""},
        {"form %\"a b\"", "a b"},
        // Inside the quotes what the lexer decodes is escaped.
        {"mold %\"say ^(22)hi^(22)\"", "%\"say ^(22)hi^(22)\""},
        {"mold %\"a^^b\"", "%\"a^^b\""},
        {"mold %\"a^/b\"", "%\"a^/b\""},
        {"mold/part %abcdef 3", "%ab"},
        {"mold next %abc", "%bc"},
    });
    // Molded files load back as the same file.
    for (const char* f : {"%\"say ^(22)hi^(22) now\"", "%\"a^^b c\"", "%\"tab^-x\"", "%\"semi;colon\"",
                          "%\"x\xC2\xA0y\"", "%\"50% off\"", "%\"x^(85)y\""}) {
        std::string molded = text(std::string("mold ") + f);
        EXPECT_EQ(text(std::string("f: ") + f + " g: " + molded + " reduce [equal? f g type? g]"),
                  "[true file!]")
            << f << " molds as " << molded;
    }
}

TEST_F(FileUrl, ToLocalFile) {
    std::string cwd = platform::get_current_dir();
    if (cwd.empty() || cwd.back() != '/') cwd += '/';
    check({
        {"to-local-file %/home/me/a.txt", "/home/me/a.txt"},
        {"to-local-file %a/b", "a/b"},
        {"to-local-file/full %/x", "/x"},
        {"to-local-file \"rel\"", "rel"},
        {"to-local-file %\"\"", ""},
        {"type? to-local-file %a", "string!"},
        {"to-local-file %\"a^/b\"", "a\nb"},
    });
    EXPECT_EQ(text("to-local-file/full %a/b"), cwd + "a/b");
    EXPECT_EQ(text("to-local-file/full %\"\""), cwd);
}

TEST_F(FileUrl, TagEmailRef) {
    check({
        {"form <a href=\"x\">", "<a href=\"x\">"},
        {"mold <b>", "<b>"},
        {"mold/part <abcdef> 3", "<ab"},
        {"mold me@here.com", "me@here.com"},
        {"form me@here.com", "me@here.com"},
        {"mold @ref", "@ref"},
        {"form @ref", "ref"},
        {"e: me@here.com e/user", "me"},
        {"e: me@here.com e/host", "here.com"},
        {"e: me@here.com type? e/user", "string!"},
        {"e: me@here.com e/1", "#\"m\""},
        {"e: to email! \"nobody\" e/user", "nobody"},
        {"e: to email! \"nobody\" e/host", ""},
        {"e: me@here.com e/user: \"you\" mold e", "you@here.com"},
        {"e: me@here.com e/host: \"there.org\" mold e", "me@there.org"},
        {"e: me@here.com e/USER", "me"},
    });
    EXPECT_EQ(fails("e: me@here.com e/name"), ErrorId::script_invalid_path);
}

}  // namespace
