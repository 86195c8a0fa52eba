#!/usr/bin/env python3
"""Help output: golden transcripts and the shape of the global listings.

Every tests/help/NAME.zun runs with its output piped (an 80-column console)
and must print exactly tests/help/NAME.out, trailing spaces included. The
listings over the global context change whenever the library gains a word,
so they are checked for their line format, order, width and a few entries.
Usage: help_transcripts.py ZUN
"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "help")
WIDTH = 80


def run_script(zun, text):
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write("Zun []\n" + text + "\n")
        path = f.name
    try:
        return run_file(zun, path)
    finally:
        os.unlink(path)


def run_file(zun, path):
    proc = subprocess.run([zun, path], capture_output=True, timeout=240,
                          stdin=subprocess.DEVNULL)
    if proc.returncode != 0:
        raise AssertionError("%s: status %d\n%s" % (path, proc.returncode,
                                                     proc.stderr.decode()))
    return proc.stdout.decode("utf-8")


def check_golden(zun, failures):
    for name in sorted(os.listdir(GOLDEN)):
        if not name.endswith(".zun"):
            continue
        want = open(os.path.join(GOLDEN, name[:-4] + ".out"), "rb").read().decode("utf-8")
        got = run_file(zun, os.path.join(GOLDEN, name))
        if got != want:
            failures.append("%s:\n  want %r\n  got  %r" % (name, want, got))


# Words sort by their upper-cased names.
def sort_key(name):
    return name.upper()


# One line of what and of the name searches: 5 spaces, the name padded to 15,
# a space, the type padded to 12, two spaces, the value's text.
# A name of 15 characters or more pushes the rest to the right.
WHAT_LINE = re.compile(r"^     (\S+) +(\S+!) +(.*)$")


def check_line_widths(name, lines, failures):
    for line in lines:
        if len(line) > WIDTH - 1:
            failures.append("%s: line over %d: %r" % (name, WIDTH - 1, line))
    if not any(len(line) == WIDTH - 1 and line.endswith("...") for line in lines):
        failures.append("%s: no line cut with ..." % name)


def listed_names(name, text, failures):
    lines = text.rstrip("\n").split("\n")
    names = []
    for line in lines:
        m = WHAT_LINE.match(line)
        in_columns = m and len(m.group(1)) < 15 and len(m.group(2)) < 12
        if not m or (in_columns and (line[5:21].rstrip() != m.group(1) or line[21:33].rstrip()
                                     != m.group(2) or line[33:35] != "  ")):
            failures.append("%s: bad line %r" % (name, line))
            continue
        names.append(m.group(1))
    if names != sorted(names, key=sort_key):
        failures.append("%s: not sorted: %r" % (name, names[:20]))
    return names, lines


def check_listings(zun, failures):
    # what: every function, one line each
    names, lines = listed_names("what", run_script(zun, "what"), failures)
    check_line_widths("what", lines, failures)
    for known in ("append", "help", "print", "what"):
        if known not in names:
            failures.append("what: %s missing" % known)
    if any(n in names for n in ("system", "pi")):
        failures.append("what lists values that are not functions")
    append_line = [l for l in lines if l.startswith("     append ")]
    if append_line and not append_line[0].startswith("     append          action!       Adds"):
        failures.append("what: append line %r" % append_line[0])

    # what/with: names holding the text, functions or not
    names, _ = listed_names("what/with", run_script(zun, 'what/with "to-"'), failures)
    if not names or any("to-" not in n.lower() for n in names) or "to-integer" not in names:
        failures.append("what/with: %r" % names)

    # ? pri: a word without a value searches names only
    names, _ = listed_names("? pri", run_script(zun, "? pri"), failures)
    if "print" not in names or "prin" not in names or any("pri" not in n for n in names):
        failures.append("? pri: %r" % names)
    # a string searches the specs too
    spec_names, _ = listed_names('help "pri"', run_script(zun, 'help "pri"'), failures)
    if not set(names) < set(spec_names) or "probe" not in spec_names:
        failures.append('help "pri": %r' % spec_names)

    # help system: the object's words in order, the long values cut
    text = run_script(zun, "help system")
    lines = text.rstrip("\n").split("\n")
    if lines[0] != "SYSTEM is an object! with the following words and values:":
        failures.append("help system: head %r" % lines[0])
    words = [l.split()[0] for l in lines[1:]]
    if words[:5] != ["version", "build", "words", "platform", "catalog"]:
        failures.append("help system: order %r" % words)
    if "     platform    word!         Linux" not in lines:
        failures.append("help system: platform line")
    check_line_widths("help system", lines, failures)

    # help of a datatype: the global words holding its values
    text = run_script(zun, "the-answer: 42\nhelp integer!")
    if "    the-answer       42\n" not in text:
        failures.append("help integer!: %r" % text[:300])
    text = run_script(zun, "help money!")
    if text != "No money! values were found in the global context.\n\n":
        failures.append("help money!: %r" % text)

    # help datatype!: every datatype in order, accessors after =>, each
    # further line of an accessor block starting with a tab
    text = run_script(zun, "help datatype!")
    lines = text.rstrip("\n").split("\n")
    heads = [l[4:19].rstrip() for l in lines if l.startswith("    ") and not l.startswith("\t")]
    if heads[:4] != ["datatype!", "unset!", "none!", "logic!"] or "event!" not in heads:
        failures.append("help datatype!: order %r" % heads[:6])
    for want in ("    pair!           => [x y]", "    integer!       ",
                 "    date!           => [",
                 "\t    date year month day zone time hour minute second weekday yearday",
                 "\t]"):
        if want not in lines:
            failures.append("help datatype!: no line %r" % want)


def main(zun):
    failures = []
    check_golden(zun, failures)
    check_listings(zun, failures)
    if failures:
        print("\n".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
