#!/usr/bin/env python3
"""Natives and actions made from values with specs that are not their own.

Every native index (1-120) and action index (1-62) is made from a handful of
wrong specs and called with arguments of several types. Each made value must
either be refused or carry the spec of its index; no call may end the process.
The table printed shows, per index, how the made value was treated.

Usage: made_natives.py ZUN BOOT-SPECS
"""
import os
import re
import subprocess
import sys
import tempfile

# Outputs a value, waits, loops or opens a browser with any argument it takes.
NOT_CALLED = {"print", "prin", "wait", "browse", "forever", "call", "recycle"}

SCRIPT = r"""Zun []
names: %s
wrong-specs: [[] [a] [a b c d] [/r x] [a [block!] /b c [integer!]]]
arguments: [1 "x" none #"a" 2.5 'w]
call-made: func [f arg] [catch [loop 1 [try [f arg arg arg arg]]]]
foreach [kind limit] [native! 120 action! 62] [
    repeat i limit [
        refused: 0 own: 0 wrong: 0
        name: pick select names kind i
        foreach spec wrong-specs [
            made: try [make get kind reduce [spec i]]
            case [
                error? :made [refused: refused + 1]
                all [name  (spec-of :made) = spec-of get name] [
                    own: own + 1
                    unless find %s name [foreach arg arguments [call-made :made arg]]
                ]
                true [wrong: wrong + 1]
            ]
        ]
        print [kind i any [name "-"] "refused" refused "own" own "wrong" wrong]
    ]
]
print "done"
"""


def names(path):
    """Native names by index, then action names by index (slot 8 is unbound)."""
    text = open(path, encoding="utf-8").read()
    entry = re.compile(r"^    ([^\s\[\];]+):\s*\[", re.M)
    split = re.search(r"^actions:", text, re.M).start()
    natives = entry.findall(text[:split])
    actions = entry.findall(text[split:])
    actions = actions[:7] + [None] + actions[7:]
    return natives, actions


def block(words):
    return "[" + " ".join("'" + w if w else "none" for w in words) + "]"


def main(zun, specs):
    natives, actions = names(specs)
    not_called = "[" + " ".join("'" + w for w in sorted(NOT_CALLED)) + "]"
    script = SCRIPT % ("[native! %s action! %s]" % (block(natives), block(actions)), not_called)
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write(script)
    try:
        run = subprocess.run([zun, f.name], capture_output=True, timeout=600,
                             stdin=subprocess.DEVNULL)
    finally:
        os.unlink(f.name)
    out = run.stdout.decode("utf-8", "replace")
    rows = [l for l in out.splitlines() if l.startswith(("native! ", "action! "))]
    print("\n".join(rows))
    errors = []
    if run.returncode != 0 or not out.rstrip().endswith("done"):
        errors.append("ended with status %d:\n%s\n%s" % (run.returncode, out[-2000:],
                                                          run.stderr.decode()[-2000:]))
    if len(rows) != 182:
        errors.append("%d rows, want 182" % len(rows))
    for row in rows:
        kind, index, name, _, refused, _, own, _, wrong = row.split()
        if wrong != "0":
            errors.append("kept a wrong spec: " + row)
        if name in ("-", "none") and own != "0":
            errors.append("made an unbound index: " + row)
        if name not in ("-", "none") and own != "5":
            errors.append("refused a bound index: " + row)
    print("\n".join(errors))
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
