#!/usr/bin/env python3
"""The debugger and the profiler at the console, fed through a pipe and a
pseudo-terminal; the output after the banner is compared line by line, with
durations masked.
Usage: tools_transcript.py ZUN
"""
import os
import pty
import re
import select
import subprocess
import sys
import tempfile
import time

DURATION = re.compile(r"\d+:\d\d:\d\d(\.\d+)?")

STEP = ["", "-empty stack-", ""]
ONE_PLUS_TWO = [
    ">> -----> EVAL 1", "Input: 1 + 2", *STEP,
    "debug> -----> PUSH 1", "Input: 1 + 2", "", "Stack: 1", "",
    "debug> -----> EVAL +", "Input: + 2", *STEP,
    "debug> -----> OPEN +", "Input: 2", "", "Stack: +", "",
    "debug> -----> EVAL 2", "Input: 2", "", "Stack: +", "",
    "debug> -----> PUSH 2", "Input: 2", "", "Stack: +", "Stack: 2", "",
    "debug> -----> CALL + (action!)", "Input: + 2", "", "Stack: +", "Stack: 2", "",
    "debug> -----> RETURN 3", "Input: ", "", "Stack: 3", "",
]

# (name, input lines, expected lines after the banner)
CASES = [
    ("debug steps to the end, answering unset", ["debug [1 + 2]"] + [""] * 8,
     ONE_PLUS_TWO + ["debug> >> "]),
    ("continue runs on silently", ["debug [1 + 2]", "c", "7"],
     ONE_PLUS_TWO[:5] + ["debug> >> == 7", ">> "]),
    ("later waits for @stop", ["debug/later [a: 1 @stop b: 2]", "c"],
     [">> -----> EVAL @stop", "Input: @stop b: 2", *STEP, "debug> >> "]),
    ("commands at the prompt",
     ["x: 10", "debug [y: x + 1]", "-s", "w x", "", "-w x", "+s", ":x",
      ":system/options/quiet", ":nosuch", "foo", "q", "print 5"],
     [">> == 10", ">> -----> EVAL y:", "Input: y: x + 1", *STEP,
      "debug> debug> debug> -----> PUSH y:", "Input: y: x + 1", "Watch: x: 10",
      "debug> debug> debug> == 10", "debug> == false", "debug> == unset",
      "debug> Unknown command!", "debug> (halted)", ">> 5", ">> "]),
    ("a mistyped command is refused, the code goes on", ["debug [1 + 2]", ":", ":[", "w 1", "c", "print 5"],
     [">> -----> EVAL 1", "Input: 1 + 2", *STEP] + ["debug> Unknown command!"] * 3 + ["debug> >> 5", ">> "]),
    ("help lists the commands", ["debug [1]", "help", "c"],
     [">> -----> EVAL 1", "Input: 1", *STEP, "debug> \t`help` or `?`: print a list of debugger's commands."]),
    ("parents and locals of the running calls",
     ["g: func [b] [f b]", "f: func [a] [a + 1]", "debug [g 1]"] + [""] * 10 +
     ["-s", "p", "+l", "p", "c"],
     None),
    ("the prompt's commands stay out of the history",
     ["debug [1]", "w x", "", "", "print mold system/console/history"],
     None),
    ("an error is shown, then reported", ["debug [1 / 0]"] + [""] * 8 + ["print 1"], None),
    ("profile ranks the calls", ["profile [loop 3 [append [] 1]]"],
     [">> == [1 1 1] ", "", "#1   append           | 3          | T",
      "#2   loop             | 1          | T", ">> "]),
    ("profile by name", ["profile/by [loop 3 [append [] 1]] 'name"],
     [">> == [1 1 1] ", "", "#1   append           | 3          | T",
      "#2   loop             | 1          | T", ">> "]),
    ("profile by time", ["profile/by [loop 3 [append [] 1]] 'time"],
     [">> == [1 1 1] ", "", "#1   loop             | 1          | T",
      "#2   append           | 3          | T", ">> "]),
    ("unnamed functions, an unset result", ["profile [do func [] [print 1] do func [] [2]]",
                                            "profile [print 1]"], None),
    ("the types counted", ["system/tools/options/profile/types: make typeset! [function! action! op!]",
                           "profile [loop 3 [append [] 1]]"], None),
    ("options put back, a bad sort word",
     ["o: mold system/tools/options/profile", "profile/by [1] 'time",
      "o = mold system/tools/options/profile", "profile/by [1] 'size"], None),
]


def run(zun, lines):
    text = "".join(line + "\n" for line in lines)
    proc = subprocess.run([zun], input=text.encode(), capture_output=True, timeout=240)
    out = proc.stdout.decode("utf-8", "replace")
    head, sep, rest = out.partition("Type HELP for starting information.")
    rest = rest.split("\n", 2)[2] if sep else out
    lines = [DURATION.sub("T", line) for line in rest.split("\n")]
    return lines[:-1] if lines and lines[-1] == "" else lines


def check(name, got, want, failures):
    if got != want:
        failures.append("%s:\n  want: %r\n  got:  %r" % (name, want, got))


def check_free_form(name, got, failures):
    """Cases whose whole text is long: pieces that must be there, in order, one a line."""
    expected = {
        "parents and locals of the running calls":
            ["debug> debug> Call: g", "Call: f", "debug> debug> Call: g", "  > b         : 1",
             "Call: f", "  > a         : 1", "debug> >> "],
        "the prompt's commands stay out of the history":
            ['>> ["print mold system/console/history" "debug [1]"]', ">> "],
        "an error is shown, then reported":
            ["debug> -----> ERROR make error! [code: 400 type: 'math id: 'zero-divide arg1: none arg",
             "*** Math Error: attempt to divide by zero", ">> 1"],
        "unnamed functions, an unset result":
            ["<anon1>          | 1          | T", "<anon2>          | 1          | T",
             ">> 1", "#1   print            | 1          | T", ">> "],
        "the types counted":
            [">> == [1 1 1] ", "#1   append           | 3          | T", ">> "],
        "options put back, a bad sort word":
            [">> == true", "*** Script Error: invalid argument: size"],
    }[name]
    at = 0
    for piece in expected:
        while at < len(got) and piece not in got[at]:
            at += 1
        if at == len(got):
            failures.append("%s: missing %r in\n%s" % (name, piece, "\n".join(got)))
            return
        at += 1
    if name == "the types counted" and any("loop" in line for line in got):
        failures.append("%s: loop counted though native! is not in the types" % name)


def check_script(zun, failures):
    """In a script the end of the input leaves the debugger: the code runs on."""
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write('Zun []\ndebug [y: 2]\nprint ["after" y]\n')
    try:
        proc = subprocess.run([zun, f.name], input=b"", capture_output=True, timeout=240)
    finally:
        os.unlink(f.name)
    out = proc.stdout.decode()
    if proc.returncode != 0 or not out.endswith("debug> \nafter 2\n") or proc.stderr:
        failures.append("debug at the end of a script's input: %r %d %r"
                        % (out, proc.returncode, proc.stderr))


def check_profile_mend(zun, failures):
    """A function that calls a routine keeps its own duration: the routine's
    return closes the routine's call, not the function's."""
    out = subprocess.run([zun], input=b"f: func [] [integer? 1 wait 0.2 1]\nprofile [f]\n",
                         capture_output=True, timeout=240).stdout.decode()
    times = dict(re.findall(r"#\d+ +(\w+) +\| 1 +\| (\S+)", out))
    if set(times) != {"f", "wait"}:
        failures.append("profile with a routine: %r" % out)
        return

    def seconds(t):
        h, m, s = t.split(":")
        return int(h) * 3600 + int(m) * 60 + float(s)
    if not seconds(times["f"]) >= seconds(times["wait"]) >= 0.2:
        failures.append("profile with a routine: f shorter than its wait: %r" % times)


def check_pty(zun, failures):
    """The debugger's prompt on a terminal: step once, then continue; Ctrl-C
    at the prompt halts the debugged code."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execv(zun, [zun])
    out = b""
    at = 0  # each wait looks past what the last one found

    def wait_for(text, seconds=120):  # start-up under the sanitizers on a busy machine
        nonlocal out, at
        end = time.time() + seconds
        while text.encode() not in out[at:] and time.time() < end:
            ready, _, _ = select.select([fd], [], [], 0.2)
            if ready:
                try:
                    out += os.read(fd, 4096)
                except OSError:
                    break
        found = out.find(text.encode(), at)
        if found < 0:
            return False
        at = found + len(text)
        return True

    try:
        ok = wait_for(">> ")
        os.write(fd, b"debug [1 + 2]\r")
        ok = ok and wait_for("-----> EVAL 1") and wait_for("debug> ")
        os.write(fd, b"\r")
        ok = ok and wait_for("-----> PUSH 1") and wait_for("debug> ")
        os.write(fd, b"c\r")
        mark = at
        ok = ok and wait_for(">> ")
        continued = out[mark:at]
        os.write(fd, b"debug [1 + 2]\r")
        ok = ok and wait_for("debug> ")
        os.write(fd, b"x\x03")
        ok = ok and wait_for("(halted)") and wait_for(">> ")
        os.write(fd, b"quit\r")
        if not ok:
            failures.append("pty: %r" % out.decode("utf-8", "replace"))
        elif b"----->" in continued:
            failures.append("pty: `c` did not run on silently: %r" % continued)
    finally:
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass
        os.waitpid(pid, 0)
        os.close(fd)


def main(zun):
    failures = []
    for name, lines, want in CASES:
        got = run(zun, lines)
        if want is None:
            check_free_form(name, got, failures)
        elif name == "help lists the commands":
            check(name, got[:len(want)], want, failures)
            if len([g for g in got if "\t`" in g]) != 16:
                failures.append("help: not 16 usage lines: %r" % got)
        else:
            check(name, got, want, failures)
    check_script(zun, failures)
    check_profile_mend(zun, failures)
    check_pty(zun, failures)
    for f in failures:
        print(f)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
