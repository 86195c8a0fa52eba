// Child processes: the service (pipes, files, exit codes, the shell) and the
// call native; then the environment natives, os-info and apply.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "services/os_info.hpp"
#include "services/process.hpp"
#include "tests/unit/eval_fixture.hpp"

using namespace zun;

namespace {

std::string read_all(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string as_text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

process::Result run(const std::string& command, bool wait, process::Redirect& in,
                    process::Redirect& out, process::Redirect& err) {
    process::Options options;
    options.wait = wait;
    return process::run(command, options, in, out, err);
}

process::Redirect memory_input(const std::string& text) {
    process::Redirect r;
    r.kind = process::Redirect::MEMORY;
    r.bytes.assign(text.begin(), text.end());
    return r;
}
process::Redirect memory_output() {
    process::Redirect r;
    r.kind = process::Redirect::MEMORY;
    return r;
}

}  // namespace

// The child writes megabytes to both outputs before and while it reads its
// input: a call that served the pipes one after another would hang here.
TEST(Process, LargeInputAndOutputsWithoutDeadlock) {
    std::string input(6 << 20, '\0');
    for (size_t i = 0; i < input.size(); i++) input[i] = char('a' + i % 26);
    process::Redirect in = memory_input(input), out = memory_output(), err = memory_output();
    const auto r = run("head -c 3000000 /dev/zero >&2; cat; head -c 2000000 /dev/zero >&2",
                       false, in, out, err);
    EXPECT_EQ(r.value, 0);
    EXPECT_TRUE(r.shell);
    EXPECT_TRUE(as_text(out.bytes) == input);
    EXPECT_EQ(err.bytes.size(), 5000000u);
}

// A child that reads nothing: the input is dropped, not a broken call.
TEST(Process, ChildIgnoringItsInput) {
    process::Redirect in = memory_input(std::string(4 << 20, 'x')), out = memory_output(), err;
    const auto r = run("echo done", true, in, out, err);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(as_text(out.bytes), "done\n");
}

TEST(Process, ExitCodesAndStarting) {
    process::Redirect in, out, err;
    struct Case {
        const char* command;
        int32_t value;
        bool shell;
    };
    const Case cases[] = {
        {"true", 0, false},
        {"false", 1, false},
        {"sh -c 'exit 7'", 7, true},
        {"exit 3", 3, true},  // a shell built-in: found through the shell
        {"sh -c 'kill -9 $$'", 128 + 9, true},
        {"/nonexistent/program", -1, false},
        {"no-such-program-here arg", -1, false},
    };
    for (const Case& c : cases) {
        const auto r = run(c.command, true, in, out, err);
        EXPECT_EQ(r.value, c.value) << c.command;
        EXPECT_EQ(r.shell, c.shell) << c.command;
    }
    const auto started = run("sleep 0", false, in, out, err);
    EXPECT_GT(started.value, 0);  // a process id, answered at once
    EXPECT_EQ(run("", true, in, out, err).value, 0);
}

TEST(Process, FilesForInputAndOutput) {
    const std::string dir = ::testing::TempDir() + std::to_string(getpid());
    const std::string in_path = dir + "process_in.txt", out_path = dir + "process_out.txt";
    std::ofstream(in_path) << "line one\nline two\n";
    std::ofstream(out_path) << "kept\n";
    process::Redirect in, out, err;
    in.kind = process::Redirect::FILE;
    in.path = in_path;
    out.kind = process::Redirect::FILE;
    out.path = out_path;
    // Redirections make the call wait: the exit code comes back.
    EXPECT_EQ(run("wc -l", false, in, out, err).value, 0);
    EXPECT_EQ(read_all(out_path), "kept\n2\n");  // appended
    in.path = dir + "missing-input";
    const auto r = run("cat", true, in, out, err);
    EXPECT_EQ(r.value, -1);
    EXPECT_TRUE(r.input_failed);
    // An output file that cannot be opened leaves the child without it.
    process::Redirect none_in, bad_out;
    bad_out.kind = process::Redirect::FILE;
    bad_out.path = "/nonexistent/dir/out";
    EXPECT_EQ(run("echo lost", true, none_in, bad_out, err).value, 0);
    std::remove(in_path.c_str());
    std::remove(out_path.c_str());
}

TEST(Process, ArgumentsKeepTheirBlanks) {
    process::Redirect in, out = memory_output(), err;
    const auto r = process::run_argv({"printf", "[%s]", "two words", "it's"}, {}, in, out, err);
    EXPECT_EQ(r.value, 0);
    EXPECT_EQ(as_text(out.bytes), "[two words][it's]");
    EXPECT_EQ(process::shell_quote("it's"), "'it'\\''s'");
    EXPECT_FALSE(process::shell_syntax_q("ls -l /tmp"));
    EXPECT_TRUE(process::shell_syntax_q("ls | wc"));
}

namespace {

class CallNative : public eval_test::EvalTest {};

}  // namespace

TEST_F(CallNative, ExitCodesAndErrors) {
    EXPECT_EQ(run("call/wait \"sh -c 'exit 5'\""), "5");
    EXPECT_EQ(run("call/wait/shell \"exit 9\""), "9");
    EXPECT_EQ(run("call \"\""), "0");
    EXPECT_EQ(run("call/wait %/bin/true"), "0");
    EXPECT_EQ(fails("call/console \"true\""), ErrorId::internal_not_done);
    EXPECT_EQ(fails("call/wait \"/no/such/program\""), ErrorId::access_cannot_open);
    EXPECT_EQ(fails("call/input \"cat\" %/no/such/input"), ErrorId::access_cannot_open);
}

TEST_F(CallNative, OutputIntoStringsAndBinaries) {
    // Text: CR LF becomes LF, UTF-8 is decoded, malformed bytes become U+FFFD;
    // the text is appended.
    EXPECT_EQ(run("s: copy \"<\" call/output \"printf 'a\\r\\nb \\303\\251 \\377'\" s "
                  "s = \"<a^/b é ^(FFFD)\""),
              "true");
    // Binary: the bytes go in at the binary's position.
    EXPECT_EQ(run("b: #{0102} call/output \"printf '\\377\\000'\" next b head b"),
              "#{01FF0002}");
    EXPECT_EQ(run("e: copy \"\" call/error \"sh -c 'echo oops >&2'\" e e"), "\"oops^/\"");
    EXPECT_EQ(run("o: copy \"\" call/input/output \"tr a-z A-Z\" \"héllo\" o o = \"HéLLO\""),
              "true");
}

// Megabytes out while the input is still being written.
TEST_F(CallNative, LargeOutputWithInput) {
    EXPECT_EQ(run("o: copy \"\" "
                  "call/input/output {sh -c 'yes xxxxxxx | head -c 4000000; cat'} "
                  "\"the end\" o "
                  "reduce [length? o  skip o 3999997]"),
              "[4000007 \"xx^/the end\"]");
}

TEST_F(CallNative, Environment) {
    // Names with blanks, values with '=', UTF-8, the empty value.
    EXPECT_EQ(run("set-env \"ZUN TEST VAR\" \"a=b c\" get-env \"ZUN TEST VAR\""), "\"a=b c\"");
    EXPECT_EQ(run("set-env 'zun-test-word \"ünï ✓\" \"ünï ✓\" = get-env 'zun-test-word"), "true");
    EXPECT_STREQ(std::getenv("zun-test-word"), "ünï ✓");
    EXPECT_EQ(run("set-env \"ZUN_EMPTY\" \"\" get-env \"ZUN_EMPTY\""), "\"\"");
    EXPECT_EQ(run("set-env \"ZUN_EMPTY\" none get-env \"ZUN_EMPTY\""), "none");
    EXPECT_EQ(run("get-env \"ZUN_NEVER_SET_ANYWHERE\""), "none");
    EXPECT_EQ(run("get-env \"A=B\""), "none");
    EXPECT_EQ(fails("set-env \"A=B\" \"x\""), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("set-env \"\" \"x\""), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("set-env \"ZUN_NUL\" \"a^@b\""), ErrorId::script_invalid_arg);
    // The child sees what set-env set.
    EXPECT_EQ(run("set-env \"ZUN_CHILD\" \"from parent\" o: copy \"\" "
                  "call/output {sh -c 'printf %s \"$ZUN_CHILD\"'} o o"),
              "\"from parent\"");
    EXPECT_EQ(run("set-env \"ZUN LISTED\" \"x=1\" select list-env \"ZUN LISTED\""), "\"x=1\"");
    EXPECT_EQ(run("type? list-env"), "map!");
    unsetenv("ZUN TEST VAR");
    unsetenv("zun-test-word");
    unsetenv("ZUN_CHILD");
    unsetenv("ZUN LISTED");
}

TEST_F(CallNative, BrowseRunsTheOpener) {
    const std::string dir = ::testing::TempDir() + "zun-browse-" + std::to_string(getpid());
    const std::string log = dir + "/opened";
    std::system(("mkdir -p " + dir).c_str());
    std::ofstream(dir + "/xdg-open") << "#!/bin/sh\nprintf '%s' \"$1\" > " + log + "\n";
    std::system(("chmod +x " + dir + "/xdg-open").c_str());
    const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir + ":" + old_path).c_str(), 1);
    EXPECT_EQ(run("browse http://example.com/a?b=c"), "unset");
    for (int i = 0; i < 200 && read_all(log).empty(); i++) usleep(10000);
    EXPECT_EQ(read_all(log), "http://example.com/a?b=c");
    setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(fails("browse %index.html"), ErrorId::access_cannot_open);
    setenv("PATH", old_path.c_str(), 1);
    std::system(("rm -rf " + dir).c_str());
}

TEST_F(CallNative, Wait) {
    EXPECT_EQ(run("wait 0"), "none");
    EXPECT_EQ(run("wait 0.001"), "none");
    EXPECT_EQ(fails("wait [1]"), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("wait none"), ErrorId::script_invalid_arg);
}

TEST_F(CallNative, Apply) {
    run("f: func [a b /r c /s][reduce [a b r c s]]");
    struct Case {
        const char* code;
        const char* result;
    };
    const Case cases[] = {
        {"apply 'f [1 1 + 1]", "[1 2 false none false]"},
        {"apply 'f [1 2 /r true 3]", "[1 2 true 3 false]"},
        {"apply 'f [1 2 /r false 3 /s 1 = 1]", "[1 2 false none true]"},
        {"apply/all 'f [1 2 true 3 true]", "[1 2 true 3 true]"},
        {"apply/all 'f [1 2]", "[1 2 false none false]"},
        {"apply 'f/s [1 2]", "[1 2 false none true]"},
        {"apply :f [1 2]", "[1 2 false none false]"},
        {"apply/safer 'f [1 2 /r false 3]", "[1 2 false none false]"},
        {"apply :add [2 3]", "5"},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.code), c.result) << c.code;
    EXPECT_EQ(fails("x: 1 apply 'x [1]"), ErrorId::script_invalid_arg);
    EXPECT_EQ(fails("apply 'f [1 2 /t true]"), ErrorId::script_no_refine);
}

TEST(OsInfo, CommandLineAndUname) {
    const char* argv[] = {"zun", "script.zun", "two words", "x"};
    os_info::set_command_line(4, argv);
    EXPECT_EQ(os_info::joined_arguments(), "script.zun \"two words\" x");
    EXPECT_EQ(os_info::arguments().size(), 3u);
    const os_info::Info info = os_info::query();
    EXPECT_EQ(info.name.rfind("Linux ", 0), 0u);
    EXPECT_NE(info.arch, "");
    EXPECT_GT(info.version[0], 0);
    EXPECT_EQ(os_info::valid_utf8("a\xFF" "b\xC3\xA9", 5), "a\xEF\xBF\xBD" "b\xC3\xA9");
    os_info::set_command_line(1, argv);
}

TEST_F(CallNative, OsInfoValues) {
    const char* argv[] = {"zun", "a b", "c"};
    os_info::set_command_line(3, argv);
    Cell* args = os_info::push_options_args();
    EXPECT_EQ(eval_test::mold(*args), "[\"a b\" \"c\"]");
    EXPECT_EQ(test_support::bytes_of(os_info::push_script_args()), "\"a b\" c");
    EXPECT_EQ(test_support::bytes_of(os_info::push_command_line()), "zun \"a b\" c");
    const Cell number = integer_cell(1);
    os_info::expect_type(&number, TYPE_INTEGER);
    EXPECT_EQ(test_support::raised([&] { os_info::expect_type(&number, TYPE_STRING); }),
              ErrorId::script_invalid_arg);
    Cell* info = os_info::push_os_info();
    ASSERT_TRUE(info->is(TYPE_OBJECT));
    ASSERT_EQ(object::field_count(info), 4u);
    const Cell* values = object::values_base(info);
    EXPECT_EQ(test_support::bytes_of(&values[0]).rfind("Linux ", 0), 0u);
    EXPECT_TRUE(values[1].is(TYPE_WORD));
    EXPECT_TRUE(values[2].is(TYPE_TUPLE));
    EXPECT_TRUE(values[3].is(TYPE_INTEGER));
    os_info::set_command_line(1, argv);
}
