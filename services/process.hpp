// Child processes: start a program (directly or through /bin/sh), feed its
// standard input from memory or a file and collect its standard output and
// error into memory or append them to files. Every pipe is served by one
// poll loop, so a child that writes a lot while its input is still being
// written never blocks the call.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zun::process {

struct Redirect {
    enum Kind { NONE, FILE, MEMORY } kind = NONE;
    std::string path;             // FILE: the OS path
    std::vector<uint8_t> bytes;   // MEMORY: the input to send, or the output caught
};

struct Options {
    bool wait = false;
    bool shell = false;  // run through /bin/sh -c
};

struct Result {
    // The exit code (128 + the signal for a child killed by one) when the call
    // waited, else the process id; -1 when the process could not be started or
    // its input file opened.
    int32_t value = -1;
    bool shell = false;         // the command ran through the shell
    bool input_failed = false;  // the input file could not be opened
    // An output kept in memory outgrew the series limit or the memory: it
    // was dropped and the pipe closed.
    bool no_memory = false;
};

// Runs a command line. Without the shell option, a command with no shell
// syntax is split at blanks and run directly; one with shell syntax, or whose
// program cannot be found, runs through the shell. Any redirection makes the
// call wait. Without an output or error redirection the stream goes to
// /dev/null; an output or error file that cannot be opened gets /dev/null too.
Result run(const std::string& command, const Options& options, Redirect& input, Redirect& output,
           Redirect& error);
// Runs a program with its arguments as given (no splitting, no shell).
Result run_argv(const std::vector<std::string>& argv, const Options& options, Redirect& input,
                Redirect& output, Redirect& error);

// True when the command needs a shell to mean what it says.
bool shell_syntax_q(const std::string& command);
// The text as one sh word: '...' with every ' written as '\''.
std::string shell_quote(const std::string& text);

}  // namespace zun::process
