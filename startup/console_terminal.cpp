#include "startup/console_terminal.hpp"

#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <termios.h>

#include "core/cell.hpp"
#include "datatypes/function.hpp"
#include "datatypes/series/url.hpp"
#include "datatypes/word.hpp"
#include "interpreter/eval.hpp"
#include "interpreter/lexer.hpp"
#include "startup/boot_texts.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/trace.hpp"
#include "services/os_info.hpp"
#include "startup/line_editor.hpp"

namespace zun::console_terminal {

namespace {

constexpr char ESCAPE = '\x1b';

volatile sig_atomic_t g_reading = 0;      // blocked in read() for a line
volatile sig_atomic_t g_cancelled = 0;    // Ctrl-C hit while reading
bool g_handler_installed = false;
pthread_t g_reader;
bool g_input_ended = false;

// Only async-signal-safe work here: flags, and _exit on a second Ctrl-C
// that nothing has taken, so a runaway command can always be left.
void on_sigint(int) {
    // The process's signal may land on another thread: the reader's read()
    // must be the one interrupted.
    if (!pthread_equal(pthread_self(), g_reader)) {
        pthread_kill(g_reader, SIGINT);
        return;
    }
    if (g_reading) {
        g_cancelled = 1;
        return;
    }
    if (interpreter::g_interrupt) _exit(130);
    interpreter::g_interrupt = 1;
}

pid_t g_parent_group = 0;  // the terminal's foreground group we took it from

// A console started by another program in that program's process group
// (make, a script) takes the terminal for a group of its own, so a Ctrl-C
// reaches the console only and not the program that waits for it.
void take_terminal() {
    if (!isatty(0) || getpgrp() == getpid() || tcgetpgrp(0) != getpgrp()) return;
    const pid_t parent = getpgrp();
    if (setpgid(0, 0) != 0) return;
    // A group that is not yet in the foreground is stopped by SIGTTOU when
    // it asks for the terminal.
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    if (tcsetpgrp(0, getpgrp()) == 0) g_parent_group = parent;
    else setpgid(0, parent);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// No SA_RESTART: a Ctrl-C must end the read() that waits for the line.
void install_handler() {
    if (g_handler_installed) return;
    take_terminal();
    g_reader = pthread_self();
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_sigint;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    g_handler_installed = true;
}

struct Echo {
    bool off = false;
    termios saved{};
    explicit Echo(bool hide) {
        if (!hide || !isatty(0) || tcgetattr(0, &saved) != 0) return;
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        off = tcsetattr(0, TCSAFLUSH, &quiet) == 0;
    }
    ~Echo() {
        if (!off) return;
        tcsetattr(0, TCSAFLUSH, &saved);
        std::fputc('\n', stdout);
    }
};

// A line typed at a terminal, through the line editor.
bool read_edited_line(std::string& line, const std::string& prompt) {
    line.clear();
    const line_editor::Outcome outcome =
        line_editor::read_line(prompt, line, line_editor::console_hooks([] { return g_cancelled != 0; }));
    if (outcome == line_editor::Outcome::cancelled) {
        line.push_back(ESCAPE);
        std::fputc('\n', stdout);
    }
    g_reading = 0;
    g_cancelled = 0;
    interpreter::g_interrupt = 0;
    return outcome != line_editor::Outcome::ended;
}

// One line from standard input without its line end. False at the end of
// the input with nothing read; a Ctrl-C answers what was typed and ESCAPE.
bool read_line(std::string& line, bool hide, const std::string& prompt) {
    if (!hide && line_editor::usable()) return read_edited_line(line, prompt);
    Echo echo(hide);
    line.clear();
    bool got = false;
    for (;;) {
        char c;
        // A Ctrl-C that came before the read began cancels as well.
        ssize_t n = g_cancelled ? -1 : ::read(0, &c, 1);
        if (n < 0 && g_cancelled) errno = EINTR;
        if (n == 1) {
            got = true;
            if (c == '\n') break;
            line.push_back(c);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            if (!g_cancelled) continue;
            line.push_back(ESCAPE);
            std::fputc('\n', stdout);
            got = true;
            break;
        }
        break;  // end of input or a read error
    }
    g_reading = 0;
    g_cancelled = 0;
    interpreter::g_interrupt = 0;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return got;
}

void result_text(Cell* args, const std::string& text) {
    Cell* str = os_info::push_text(text.data(), text.size());
    *args = *str;
    stack::pop(1);
}

// terminal-read-line prompt hide: the line, or none at the end of the input
// (and every time it is asked again after that).
routine::MachineResult read_line_routine(Cell* args) {
    install_handler();
    if (g_input_ended) {
        args[0] = make_cell(TYPE_NONE);
        return {};
    }
    // Reading starts with the prompt: a Ctrl-C from here on cancels the line.
    g_cancelled = 0;
    g_reading = 1;
    const std::string prompt = url::utf8_of(&args[0]);
    std::fwrite(prompt.data(), 1, prompt.size(), stdout);
    std::fflush(stdout);
    std::string line;
    if (read_line(line, args[1].is(TYPE_LOGIC) && args[1].data1 != 0, prompt)) {
        result_text(args, line);
    } else {
        g_input_ended = true;
        if (!prompt.empty()) std::fputc('\n', stdout);  // the shell's prompt starts a line
        args[0] = make_cell(TYPE_NONE);
    }
    return {};
}

// The delimiters an entry typed over several lines leaves open, kept from
// line to line so each line is scanned once. Only the common notation is
// followed: brackets, parens, braced and quoted strings, chars, binaries and
// comments. Anything else (tags, raw strings, a mismatch) makes the scan
// unsure, and the console then asks the lexer about the whole entry.
struct EntryScan {
    std::string open;  // '[', '(' or '{' (a braced string or binary), innermost last
    bool unsure = false;

    // i is at the opening quote; answers the index after the closing one, or
    // npos when the line ends first.
    static size_t skip_quoted(const std::string& line, size_t i) {
        for (i++; i < line.size(); i++) {
            if (line[i] == '^') i++;
            else if (line[i] == '"') return i + 1;
        }
        return std::string::npos;
    }

    void scan(const std::string& line) {
        for (size_t i = 0; i < line.size() && !unsure;) {
            const char c = line[i];
            const char next = i + 1 < line.size() ? line[i + 1] : '\n';
            if (!open.empty() && open.back() == '{') {  // inside a braced string
                if (c == '^') i++;
                else if (c == '{') open.push_back('{');
                else if (c == '}') open.pop_back();
                i++;
                continue;
            }
            switch (c) {
                case ';':
                    return;  // a comment to the line's end
                case '"':
                    i = skip_quoted(line, i);
                    if (i == std::string::npos) unsure = true;
                    continue;
                case '#': case '%':
                    if (next == '"') {  // a char, or a file name in quotes
                        i = skip_quoted(line, i + 1);
                        if (i == std::string::npos) unsure = true;
                        continue;
                    }
                    if (c == '%' && (next == '{' || next == '%')) unsure = true;  // raw strings
                    break;
                case '<':
                    if (!std::strchr(" \t\r\n=<>", next)) unsure = true;  // maybe a tag
                    break;
                case '[': case '(': case '{':
                    open.push_back(c);
                    break;
                case ']': case ')':
                    if (open.empty() || open.back() != (c == ']' ? '[' : '(')) unsure = true;
                    else open.pop_back();
                    break;
                case '}':
                    unsure = true;
                    break;
                default:
                    break;
            }
            i++;
        }
    }
};

EntryScan g_entry;

// console-scan-line line fresh: adds the line to the entry (a new entry when
// fresh) and answers the innermost delimiter it certainly leaves open, or
// none when the entry may be complete and the lexer must decide.
routine::MachineResult scan_line_routine(Cell* args) {
    if (args[1].is(TYPE_LOGIC) && args[1].data1 != 0) g_entry = EntryScan{};
    g_entry.scan(url::utf8_of(&args[0]));
    if (g_entry.unsure || g_entry.open.empty()) args[0] = make_cell(TYPE_NONE);
    else args[0] = make_cell(TYPE_CHAR, 0, uint32_t(uint8_t(g_entry.open.back())));
    return {};
}

winsize terminal_size() {
    winsize ws{};
    if (ioctl(1, TIOCGWINSZ, &ws) != 0 || ws.ws_col == 0 || ws.ws_row == 0) {
        ws.ws_col = 80;
        ws.ws_row = 25;
    }
    return ws;
}

routine::MachineResult columns_routine(Cell*) { return {terminal_size().ws_col, 0.0}; }
routine::MachineResult rows_routine(Cell*) { return {terminal_size().ws_row, 0.0}; }

// trace-switch on: tracing on or off, only ever on inside a traced evaluation.
routine::MachineResult trace_switch_routine(Cell* args) {
    interpreter::set_user_trace_switch(args[0].data1 != 0);
    return {};
}

void bind(const char* name, const char* spec, routine::Entry fn, int32_t return_type) {
    stack::StackScope scope;
    Cell* block = stack::push_cell();
    boot_texts::load(block, spec, std::strlen(spec));
    Cell* value = routine::push(block, nullptr, routine::register_entry(fn), return_type, false);
    Cell word = *word::make_global(name);
    word::set_value(&word, value);
}

}  // namespace

void install() {
    bind("terminal-read-line", "prompt [string!] hide [logic!]", read_line_routine,
         routine::NO_RETURN_TYPE);
    bind("console-scan-line", "line [string!] fresh [logic!]", scan_line_routine,
         routine::NO_RETURN_TYPE);
    bind("terminal-columns", "return: [integer!]", columns_routine, TYPE_INTEGER);
    bind("terminal-rows", "return: [integer!]", rows_routine, TYPE_INTEGER);
    bind("trace-switch", "on [logic!]", trace_switch_routine, routine::NO_RETURN_TYPE);
}

void release_terminal() {
    if (!g_parent_group) return;
    sigset_t block, old;
    sigemptyset(&block);
    sigaddset(&block, SIGTTOU);
    pthread_sigmask(SIG_BLOCK, &block, &old);
    tcsetpgrp(0, g_parent_group);
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    g_parent_group = 0;
}

bool take_interrupt() {
    if (!interpreter::g_interrupt) return false;
    interpreter::g_interrupt = 0;
    return true;
}

}  // namespace zun::console_terminal
