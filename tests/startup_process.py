#!/usr/bin/env python3
"""What the process as a whole shows: the command line in the system object,
the exit status of quit-return, and the report and status of machine faults.

Usage: startup_process.py ZUN
"""
import os
import re
import resource
import subprocess
import sys
import tempfile

REPORT = re.compile(r"\*\*\* Runtime Error (\d+): (.*)\n\*\*\* at: ([0-9A-F]{16})h\n")

# Fault name, runtime error number (the exit status), message.
FAULTS = [
    ("segv", 1, "access violation"),
    ("fpe", 13, "integer divide by zero"),
    ("ill", 23, "illegal operand"),
    ("bus", 34, "Bus error"),
    ("stack", 19, "stack error or overflow"),
]


def run(zun, script_text, args=(), env=None, memory=None):
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write(script_text)
        path = f.name

    def limit():
        if memory:
            resource.setrlimit(resource.RLIMIT_AS, (memory, memory))
    try:
        return subprocess.run([zun, path, *args], capture_output=True, timeout=120,
                              stdin=subprocess.DEVNULL, env=env, preexec_fn=limit), path
    finally:
        os.unlink(path)


def main(zun):
    errors = []

    # The script's own arguments, as a block and as one line; the program
    # and the script in their own fields.
    script = ("Zun []\n"
              "print mold system/options/args\n"
              "print mold system/script/args\n"
              "print mold system/options/boot\n"
              "print mold system/options/script\n")
    done, path = run(zun, script, ["a", "b c", "--x"])
    want = ['["a" "b c" "--x"]', '{a "b c" --x}', '"%s"' % zun, "%%%s" % path]
    got = done.stdout.decode().splitlines()
    if got != want or done.returncode != 0:
        errors.append("command line: want %r, got %r (status %d, %s)"
                      % (want, got, done.returncode, done.stderr.decode()))

    done, _ = run(zun, "Zun []\nprint 1\nquit-return 3\nprint 2\n")
    if done.returncode != 3 or done.stdout.decode().split() != ["1"]:
        errors.append("quit-return 3: status %d, output %r" % (done.returncode, done.stdout))

    # --help and --version answer and end, without the console
    for args, start in [(["--help"], "Usage: zun [options]"), (["-h"], "Usage: zun [options]"),
                        (["--version"], "Zun for Linux "), (["-v"], "Zun for Linux ")]:
        done = subprocess.run([zun, *args], capture_output=True, timeout=60,
                              stdin=subprocess.DEVNULL)
        out = done.stdout.decode()
        if not out.startswith(start) or ">>" in out or done.returncode != 0 or done.stderr:
            errors.append("%s: %r %d %r" % (args, out, done.returncode, done.stderr))

    # Output that cannot be written fails the program, whatever its status.
    if os.path.exists("/dev/full"):
        for text in ['print "hello"', 'print "hello" quit/return 3', 'quit']:
            with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
                f.write("Zun []\n" + text + "\n")
            with open("/dev/full", "w") as full:
                done = subprocess.run([zun, f.name], stdout=full, stderr=subprocess.PIPE,
                                      stdin=subprocess.DEVNULL, timeout=60)
            os.unlink(f.name)
            want = 0 if text == "quit" else 1
            err = done.stderr.decode()
            if done.returncode != want or (want and "cannot write the standard output" not in err):
                errors.append("%r to a full device: status %d, %r" % (text, done.returncode, err))

    # A process's output larger than the memory allows is an error of the
    # call, not the end of the program (the sanitizer's shadow memory does
    # not fit under such a limit).
    if b"__asan_init" not in open(zun, "rb").read():
        script = ("Zun []\n"
                  "foreach out [#{} {}] [\n"
                  "    e: try [call/wait/output {head -c 1500000000 /dev/zero} out]\n"
                  "    print [e/type e/id]\n"
                  "]\n"
                  "print length? out\n")
        done, _ = run(zun, script, memory=2 << 30)
        got = done.stdout.decode().splitlines()
        if got != ["internal no-memory"] * 2 + ["0"] or done.returncode != 0:
            errors.append("output past the memory: %r, status %d, %r"
                          % (got, done.returncode, done.stderr.decode()[-500:]))

    for fault, number, message in FAULTS:
        env = dict(os.environ, ZUN_TEST_FAULT=fault)
        done, _ = run(zun, "Zun []\nprint 1\n", env=env)
        err = done.stderr.decode()
        m = REPORT.search(err)
        if done.returncode != number or not m or m.group(1) != str(number) \
                or m.group(2) != message or done.stdout:
            errors.append("%s: status %d, stderr %r, stdout %r"
                          % (fault, done.returncode, err, done.stdout))

    for e in errors:
        print(e)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
