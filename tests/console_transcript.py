#!/usr/bin/env python3
"""Pipes lines into the console and compares what it prints.

Each case feeds its lines to `zun` (no arguments: the read-eval-print loop on
standard input) and checks the output after the banner: every prompt is
printed, the typed lines are not echoed (the input is a pipe).
Usage: console_transcript.py ZUN
"""
import concurrent.futures
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import threading
import time

ESC = "\x1b"

# (name, input lines, expected output after the banner, exit status)
LOOP_CASES = [
    ("result", ["1 + 2"], ">> == 3\n>> \n", 0),
    ("float formed", ["1.5", "0.1 + 0.2"], ">> == 1.5\n>> == 0.3\n>> \n", 0),
    ("unset prints nothing", ['print "hi"'], ">> hi\n>> \n", 0),
    ("empty line ignored", ["", "7"], ">> >> == 7\n>> \n", 0),
    # the value keeps the line break typed before 3
    ("block over lines", ["[1 2", "3]"], ">> [    == [1 2\n3]\n>> \n", 0),
    ("string over lines", ["{a", "b}"], '>> {    == "a^/b"\n>> \n', 0),
    ("nested open", ["[(1 2", ")", "]"], ">> (    [    == [(1 2)]\n>> \n", 0),
    ("escape drops the entry", ["[1 2", "3" + ESC, "4"], ">> [    (escape)\n>> == 4\n>> \n", 0),
    # delimiters inside strings, chars and comments do not count; a tag or a
    # raw string leaves the decision to the lexer
    ("delimiters in strings", ["length? [", '"]" #"]" {]} ; ]', "]"],
     ">> [    [    == 3\n>> \n", 0),
    ("braced string over lines", ["length? {a", "[b", "}"], ">> {    {    == 5\n>> \n", 0),
    ("tag holding a bracket", ["<a [>"], ">> == <a [>\n>> \n", 0),
    ("raw string holding a bracket", ["%{a [}%"], '>> == "a ["\n>> \n', 0),
    ("a paste of many lines", ["length? ["] + ["  %d {s} [y]" % i for i in range(300)] + ["]"],
     ">> " + "[    " * 301 + "== 900\n>> \n", 0),
    ("halt returns to the prompt", ["print 1 halt print 2", "5"],
     ">> 1\n(halted)\n>> == 5\n>> \n", 0),
    ("quit with status", ["quit/return 3", "print 9"], ">> ", 3),
    ("end of input quits", ["1"], ">> == 1\n>> \n", 0),
    ("prompt function", ['system/console/prompt: does ["$ "]', "8"],
     ">> == func [][\"$ \"]\n$ == 8\n$ \n", 0),
    ("input reads a line", ["x: input", "hello", "x"],
     '>> == "hello"\n>> == "hello"\n>> \n', 0),
    ("history, newest first", ["1", "1", "2", "system/console/history"],
     '>> == 1\n>> == 1\n>> == 2\n>> == ["system/console/history" "2" "1"]\n>> \n', 0),
    ("result prefix", ['system/console/result: "=>"', "8"],
     '>> => "=>"\n>> => 8\n>> \n', 0),
]


def run(zun, lines, args=(), cwd=None):
    text = "".join(line + "\n" for line in lines)
    proc = subprocess.run([zun, *args], input=text.encode(), capture_output=True,
                          timeout=240, cwd=cwd)
    return proc.stdout.decode("utf-8", "replace"), proc.returncode, proc.stderr.decode()


def after_banner(out):
    # print spaces the banner's items; the loop starts after its empty line
    head, sep, rest = out.partition("Type HELP for starting information.")
    if not sep:
        return None
    return rest.split("\n", 2)[2] if rest.count("\n") >= 2 else None


def check_loop(zun, failures):
    # the cases are separate processes: run side by side (a sanitized
    # start-up takes many seconds)
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        results = list(pool.map(lambda case: run(zun, case[1]), LOOP_CASES))
    for (name, lines, want, status), (out, code, err) in zip(LOOP_CASES, results):
        got = after_banner(out)
        if not out.startswith("--== Zun"):
            failures.append("%s: no banner: %r" % (name, out[:80]))
            continue
        if code != status:
            failures.append("%s: status %d, want %d (%s)" % (name, code, status, err))
        if want is not None and got != want:
            failures.append("%s:\n  want %r\n  got  %r" % (name, want, got))
    # Errors: the report, an empty line, and the loop goes on.
    out, _, _ = run(zun, ["x: undefined-word", "6"])
    got = after_banner(out) or ""
    if not (got.startswith(">> *** Script Error: undefined-word has no value\n")
            and "\n\n>> == 6\n" in got):
        failures.append("error report: %r" % got)
    out, _, _ = run(zun, ["]"])
    got = after_banner(out) or ""
    if not got.startswith(">> *** Syntax Error:"):
        failures.append("syntax error report: %r" % got)
    # A result wider than the console is cut to its width less one.
    out, _, _ = run(zun, ['append/dup copy "" "x" 200'])
    line = (after_banner(out) or "").split("\n")[0]
    want = '>> == {' + "x" * 72 + "..."
    if line != want:
        failures.append("cut result:\n  want %r\n  got  %r" % (want, line))
    # A prompt that fails is reported once, then the default comes back.
    out, _, _ = run(zun, ["system/console/prompt: does [1 / 0]", "2"])
    got = after_banner(out) or ""
    if got.count("Math Error") != 1 or not got.endswith(">> == 2\n>> \n"):
        failures.append("failing prompt: %r" % got)
    # A failing result prefix is reported, and "==" stands in for it.
    out, _, _ = run(zun, ["system/console/result: does [1 / 0]", "5"])
    got = after_banner(out) or ""
    if got.count("*** Where: system/console/result\n") != 2 or \
            not got.endswith("\n== 5\n>> \n"):
        failures.append("failing result prefix: %r" % got)


def write(dirname, name, text):
    path = os.path.join(dirname, name)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)
    return path


def check_scripts(zun, failures):
    with tempfile.TemporaryDirectory() as tmp:
        # a preamble before the header is skipped
        args_script = write(tmp, "args.zun", "#!/bin/sh\nZun [Title: \"args\"]\n"
                            "print mold system/options/args\n"
                            "print mold system/script/args\n")
        # the arguments exactly as the process got them; the line quotes
        # them as a shell would read them back
        for args, want in [
                (["a", "b c", "--x"], '["a" "b c" "--x"]\n{a "b c" --x}\n'),
                (['a"b', "c d", "", "e", "$x"],
                 '[{a"b} "c d" "" "e" "$x"]\n{"a\\"b" "c d" "" e "\\$x"}\n')]:
            out, code, err = run(zun, [], ["--other", args_script, *args])
            if out != want or code != 0:
                failures.append("script args %r: %r %d %s" % (args, out, code, err))

        # the script runs in its own directory; "--" ends the switches
        os.mkdir(os.path.join(tmp, "d"))
        where = write(tmp, "d/--where.zun", "Zun []\nprint what-dir\n"
                      "print system/options/script\n")
        out, code, err = run(zun, [], ["--", where], cwd=tmp)
        real = os.path.realpath(tmp)
        if out != "%s/d/\n%s/d/--where.zun\n" % (real, tmp) or code != 0:
            failures.append("script directory: %r %d %s" % (out, code, err))

        out, code, _ = run(zun, ["print 42"], ["--catch", args_script])
        if out != '[]\n""\n>> 42\n>> \n' or code != 0:
            failures.append("--catch: %r %d" % (out, code))

        plain = write(tmp, "plain.txt", "print 1\n")
        out, code, _ = run(zun, [], [plain])
        if out != "*** Error: Zun header not found!\n" or code != 1:
            failures.append("no header: %r %d" % (out, code))

        system = write(tmp, "sys.zun", "Zun/System [] print 1\n")
        out, code, _ = run(zun, [], [system])
        if out != "*** Error: contains Zun/System code which requires compilation!\n" or code != 1:
            failures.append("Zun/System: %r %d" % (out, code))

        failing = write(tmp, "fail.zun", "Zun []\nprint 1\nx: undefined-word\nprint 2\n")
        out, code, err = run(zun, [], [failing])
        if out != "1\n" or code != 1 or "undefined-word has no value" not in err:
            failures.append("failing script: %r %d %r" % (out, code, err))

        # a NUL in the message is escaped, and the report goes on after it
        nul = write(tmp, "nul.zun", "Zun []\ncause-error 'user 'message [{a^@b}]\n")
        out, code, err = run(zun, [], [nul])
        if code != 1 or "*** User Error: a^@b\n*** Where: cause-error\n" not in err \
                or "*** Stack:" not in err:
            failures.append("NUL in an error: %r %d %r" % (out, code, err))

        quitting = write(tmp, "quit.zun", "Zun []\nprint 1\nquit/return 4\nprint 2\n")
        out, code, _ = run(zun, [], [quitting])
        if out != "1\n" or code != 4:
            failures.append("quitting script: %r %d" % (out, code))

        broken = write(tmp, "broken.zun", "Zun []\nprint [1\n")
        out, code, err = run(zun, [], [broken])
        if out != "" or code != 1 or "*** Syntax Error: (line 3) missing ]" not in err:
            failures.append("unloadable script: %r %d %r" % (out, code, err))

        # in a script the end of the input answers none, the script goes on
        reading = write(tmp, "read.zun", "Zun []\nn: 0\nwhile [input] [n: n + 1]\n"
                        "print [n mold input mold ask {?}]\n")
        out, code, _ = run(zun, ["a", "b"], [reading])
        if out != "2 none none\n" or code != 0:
            failures.append("input to the end: %r %d" % (out, code))

        halting = write(tmp, "halt.zun", "Zun []\nprint 1\nhalt\nprint 2\n")
        out, code, _ = run(zun, [], [halting])
        if out != "1\n(halted)\n" or code != 0:
            failures.append("halting script: %r %d" % (out, code))

        # a script that cannot be run fails without a console, unless asked
        os.mkdir(os.path.join(tmp, "folder.zun"))
        with open(os.path.join(tmp, "latin1.zun"), "wb") as f:
            f.write(b"Zun []\nprint {\xe9}\n")
        for name in ["missing.zun", "folder.zun", "latin1.zun"]:
            where = os.path.join(tmp, name)
            out, code, err = run(zun, ["3"], [where])
            if out != "" or code != 1 or "*** Access Error" not in err:
                failures.append("unrunnable script %s: %r %d %r" % (name, out, code, err))
            out, code, _ = run(zun, ["3"], ["--catch", where])
            if "*** Access Error" not in out or after_banner(out) != ">> == 3\n>> \n":
                failures.append("unrunnable script %s, --catch: %r" % (name, out))

        # the preprocessor's report, then a failure (or the console with --catch)
        for name, text, report in [
                ("macro.zun", "Zun []\nprint 1\n#macro\n", "*** Preprocessor Error: Syntax error\n"),
                ("do.zun", "Zun []\ndo/expand [#do [1 / 0]]\n", "*** Preprocessor Error in #do \n"),
                ("nested.zun", "Zun []\nprint 1\ndo %macro.zun\nprint 2\n",
                 "1\n*** Preprocessor Error: Syntax error\n")]:
            where = write(tmp, name, text)
            out, code, err = run(zun, ["3"], [where])
            if not out.startswith(report) or "(halted)" in out or code != 1 or err:
                failures.append("preprocessor failure %s: %r %d %r" % (name, out, code, err))
            out, code, err = run(zun, ["3"], ["--catch", where])
            if not out.startswith(report) or not out.endswith(">> == 3\n>> \n") or code != 0:
                failures.append("preprocessor failure %s, --catch: %r %d %r"
                                % (name, out, code, err))


def listing(names, width, columns):
    rows = []
    for i in range(0, len(names), columns):
        row = ""
        for name in names[i:i + columns]:
            if width <= len(name):
                name = name[:width - 4] + "..."
            row += "\t" + name.ljust(width) + " "
        rows.append(row)
    return "\n".join(rows) + "\n"


def check_commands(zun, failures):
    with tempfile.TemporaryDirectory() as tmp:
        names = ["a.txt", "bb.txt", "ccc.txt", "a-name-of-seventeen.txt"]
        for n in names:
            write(tmp, n, "")
        os.mkdir(os.path.join(tmp, "sub"))
        write(tmp, "sub/inner.txt", "")
        everything = sorted(names + ["sub/"])
        # 120 columns: four columns of 17; ll: one column of 106
        lines = ["system/console/size: 120x25", "ls", "ll", "ls sub", "ls %sub/", "dir"]
        out, code, _ = run(zun, lines, cwd=tmp)
        got = after_banner(out) or ""
        four = listing(everything, 17, 4)
        one = listing(everything, 106, 1)
        inner = listing(["inner.txt"], 17, 4)
        want = ">> == 120x25\n>> " + four + ">> " + one + ">> " + inner + ">> " + inner \
            + ">> " + four + ">> \n"
        if got != want:
            failures.append("ls:\n  want %r\n  got  %r" % (want, got))
        out, _, _ = run(zun, ["ls 5", "pwd", "cd sub", "pwd", "halt"], cwd=tmp)
        got = after_banner(out) or ""
        real = os.path.realpath(tmp)
        want_start = ">> *** Script Error: list-dir does not allow integer! for its dir argument\n"
        if not got.startswith(want_start) or \
                ("\n\n>> %%%s/\n>> == %%%s/sub/\n>> %%%s/sub/\n>> (halted)\n>> \n"
                 % (real, real, real)) not in got:
            failures.append("pwd, cd and ls errors: %r" % got)


class LiveConsole:
    """A console fed and read while it runs, for signals sent between lines."""

    def __init__(self, zun):
        self.proc = subprocess.Popen([zun], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE)
        # a console that misses the signal must not hang the suite
        self.watchdog = threading.Timer(240, self.proc.kill)
        self.watchdog.start()
        self.seen = b""

    def wait_for(self, end):
        while not self.seen.endswith(end):
            more = self.proc.stdout.read1(100)
            if not more:
                return
            self.seen += more

    def send(self, line):
        self.proc.stdin.write(line)
        self.proc.stdin.flush()

    def interrupt(self):
        self.proc.send_signal(signal.SIGINT)

    def finish(self, last_line):
        """Sends the last line, ends the input; the transcript and the status."""
        out, _ = self.proc.communicate(last_line, timeout=240)
        self.watchdog.cancel()
        return after_banner((self.seen + out).decode()) or "", self.proc.returncode


# Ctrl-C in the loop: (what, a line sent first or None, the output that
# shows it runs, the output after the signal, the last line, the transcript).
INTERRUPTS = [
    # at the prompt it drops the line being typed; the next line must not
    # race the signal, or it is the line cancelled
    ("Ctrl-C at the prompt", None, b">> ", b"(escape)\n>> ", b"1\n",
     ">> \n(escape)\n>> == 1\n>> \n"),
    # while a command runs it halts it and the prompt comes back
    ("Ctrl-C in a command", b'print "running" forever []\n', b"running\n", b"(halted)\n>> ",
     b"2\n", ">> running\n(halted)\n>> == 2\n>> \n"),
    # a body that runs no call: the check between its expressions sees it
    ("Ctrl-C in a busy loop", b'print "running" forever [x: 1 + 1]\n', b"running\n",
     b"(halted)\n>> ", b"2\n", ">> running\n(halted)\n>> == 2\n>> \n"),
]
# Ctrl-C during the last operation of an entry halts it too: nothing is left
# to run in the command when the interrupt is noticed.
for last in [b"wait 3", b'call/wait "sleep 3"', b"loop 1 [wait 3]"]:
    INTERRUPTS.append(("Ctrl-C in " + last.decode(), b'print "running" ' + last + b"\n",
                       b"running\n", b"(halted)\n>> ", b"2\n",
                       ">> running\n(halted)\n>> == 2\n>> \n"))


def check_interrupts(zun, failures):
    for what, line, running, after, last, want in INTERRUPTS:
        console = LiveConsole(zun)
        console.wait_for(b">> ")
        if line:
            console.send(line)
        console.wait_for(running)
        console.interrupt()
        console.wait_for(after)
        got, status = console.finish(last)
        if got != want or status != 0:
            failures.append("%s: %r %d" % (what, got, status))
    # a script run without the console ends quietly
    with tempfile.TemporaryDirectory() as tmp:
        busy = write(tmp, "busy.zun", 'Zun []\nprint "started"\nforever []\n')
        proc = subprocess.Popen([zun, busy], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        proc.stdout.readline()
        proc.send_signal(signal.SIGINT)
        _, err = proc.communicate(timeout=240)
        if proc.returncode != -signal.SIGINT or err:
            failures.append("Ctrl-C in a script: %d %r" % (proc.returncode, err))


def check_terminal_group(zun, failures):
    """A console started by another program on a terminal (make run, a shell
    script) takes the Ctrl-C alone: the program goes on after it."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp("sh", ["sh", "-c", zun + "; echo after-console"])
    seen = b""

    def read_until(token):
        nonlocal seen
        end = time.time() + 240
        while token not in seen and time.time() < end:
            ready, _, _ = select.select([fd], [], [], 0.2)
            if ready:
                try:
                    seen += os.read(fd, 1000)
                except OSError:
                    return
    read_until(b">> ")
    os.write(fd, b"\x03")
    read_until(b"(escape)")
    os.write(fd, b"quit\n")
    read_until(b"after-console")
    os.waitpid(pid, 0)
    os.close(fd)
    if b"(escape)" not in seen or b"after-console" not in seen:
        failures.append("Ctrl-C in a console started by a script: %r" % seen)


def main(zun):
    # the terminal case forks: before any thread starts
    failures = []
    check_terminal_group(zun, failures)
    checks = [check_loop, check_scripts, check_commands, check_interrupts]
    found = [[] for _ in checks]

    def guarded(check, out):
        try:
            check(zun, out)
        except Exception as e:  # a failure, never a silent pass
            out.append("%s: %r" % (check.__name__, e))
    threads = [threading.Thread(target=guarded, args=(check, out)) for check, out in zip(checks, found)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for out in found:
        failures += out
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
