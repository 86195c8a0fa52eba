#!/usr/bin/env python3
"""Runs one Zun script test and checks its output.

Expectations sit next to the code that produces them:
  print 1 + 2        ; expect: 3
  ; expect-exit: 1   (the exit status; 0 when absent)
  ; expect-stderr: text that standard error must contain
Every "expect:" line is one line of standard output, in order.
"""
import re
import subprocess
import sys

EXPECT = re.compile(r";\s*expect:\s?(.*)$")
EXIT = re.compile(r";\s*expect-exit:\s*(-?\d+)")
STDERR = re.compile(r";\s*expect-stderr:\s?(.*)$")


def main(zun, script):
    text = open(script, encoding="utf-8").read()
    want_out, want_exit, want_err = [], 0, []
    for line in text.splitlines():
        if m := EXIT.search(line):
            want_exit = int(m.group(1))
        elif m := STDERR.search(line):
            want_err.append(m.group(1).rstrip())
        elif m := EXPECT.search(line):
            want_out.append(m.group(1).rstrip())
    run = subprocess.run([zun, script], capture_output=True, timeout=300,
                         stdin=subprocess.DEVNULL)
    got = run.stdout.decode("utf-8", "replace").splitlines()
    got = [g.rstrip() for g in got]
    errors = []
    if got != want_out:
        errors.append("stdout differs:\n  want: %r\n  got:  %r" % (want_out, got))
    status = run.returncode if run.returncode >= 0 else run.returncode
    if status != (want_exit & 0xFF):
        errors.append("exit status %d, want %d" % (status, want_exit & 0xFF))
    err_text = run.stderr.decode("utf-8", "replace")
    for piece in want_err:
        if piece not in err_text:
            errors.append("stderr lacks %r:\n%s" % (piece, err_text))
    if errors:
        print("\n".join(errors))
        if err_text and not want_err:
            print("stderr:\n" + err_text)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
