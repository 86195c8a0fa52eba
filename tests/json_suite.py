#!/usr/bin/env python3
"""load-json and to-json over the JSON test suite, python3's json as oracle.

y_ files must decode, and to-json (and to-json/ascii, against json.dumps with
ensure_ascii) of the result must read back (json.loads)
equal to json.loads of the file; numbers that became float! compare as
floats (integer! is 32 bits). n_ files must be rejected: the returned error
value, a raised invalid-data (bad surrogate) or a read error (not UTF-8);
never a crash or a hang. i_ files: the answers are printed as a table.
"""
import json
import math
import os
import sys

from zun_source import run_source

HERE = os.path.dirname(os.path.abspath(__file__))


def suite_folder():
    """The corpora sit in shared/ beside the checkout, or beside a folder of
    worktrees above it."""
    up = HERE
    for _ in range(4):
        up = os.path.dirname(up)
        folder = os.path.join(up, "shared", "corpora", "json-test-suite", "test_parsing")
        if os.path.isdir(folder):
            return folder
    raise SystemExit("the JSON test suite is not in any shared/corpora above " + HERE)


SUITE = suite_folder()

DRIVER = r"""Zun []
; The decoder's and encoder's one-pass helpers can be switched off: every file
; is read both ways and the answers must agree.
fast: bind 'fast? second find body-of :to-json 'clear
unless logic? get/any fast [do make error! "the switch of the one-pass helpers is gone"]
foreach mode reduce [true false] [
	set fast mode
	foreach file %s [
		result: try [load/as file 'json]
		print case [
			not error? :result [
				text: try [to-json :result]
				either error? text [rejoin ["unwritten " mold :result " " text/id]] [
					rejoin ["ok " text tab to-json/ascii :result tab replace/all to-json/pretty :result "  " lf " "]
				]
			]
			result/type = 'user [rejoin ["rejected " result/arg1]]
			true [rejoin ["raised " result/type "/" result/id]]
		]
	]
]
"""


def zun_file(path):
    return "%" + path.replace(" ", "%20")


def same(ours, theirs):
    if isinstance(theirs, bool) or isinstance(ours, bool):
        return ours is theirs
    if isinstance(ours, float) or isinstance(theirs, float):
        if not isinstance(ours, (int, float)) or not isinstance(theirs, (int, float)):
            return False
        a, b = float(ours), float(theirs)
        return a == b or (math.isinf(a) and math.isinf(b) and a == b)
    if isinstance(theirs, list):
        return isinstance(ours, list) and len(ours) == len(theirs) and all(
            same(x, y) for x, y in zip(ours, theirs))
    if isinstance(theirs, dict):
        return isinstance(ours, dict) and ours.keys() == theirs.keys() and all(
            same(ours[k], theirs[k]) for k in theirs)
    return type(ours) is type(theirs) and ours == theirs


def main(zun):
    names = sorted(os.listdir(SUITE))
    paths = [os.path.abspath(os.path.join(SUITE, n)) for n in names]
    run = run_source(zun, DRIVER % ("[" + " ".join(zun_file(p) for p in paths) + "]"), timeout=600)
    lines = run.stdout.decode("utf-8", "replace").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    failures = []
    if len(lines) == 2 * len(names):
        for name, fast, slow in zip(names, lines, lines[len(names):]):
            if fast != slow:
                failures.append("%s: %r in one pass, %r by the grammar" % (name, fast[:200], slow[:200]))
        lines = lines[:len(names)]
    if run.returncode != 0 or len(lines) != len(names):
        print(run.stderr.decode("utf-8", "replace")[-2000:])
        failures.append("exit %d, %d answers for %d files" % (run.returncode, len(lines), len(names)))
    table = []
    for name, line in zip(names, lines):
        kind, _, rest = line.partition(" ")
        if name.startswith("y_"):
            if kind != "ok":
                failures.append("%s: %s" % (name, line))
                continue
            with open(os.path.join(SUITE, name), "rb") as f:
                theirs = json.loads(f.read().decode("utf-8"))
            rest, _, ascii = rest.partition("\t")
            ascii, _, pretty = ascii.partition("\t")
            if not same(json.loads(pretty), theirs):
                failures.append("%s: /pretty gave %r" % (name, pretty))
            if any(ord(c) > 127 for c in ascii) or not same(
                    json.loads(ascii), json.loads(json.dumps(theirs, ensure_ascii=True))):
                failures.append("%s: /ascii gave %r" % (name, ascii))
            try:
                ours = json.loads(rest)
            except ValueError as e:
                failures.append("%s: to-json gave unreadable %r (%s)" % (name, rest, e))
                continue
            if not same(ours, theirs):
                failures.append("%s: %r, want %r" % (name, ours, theirs))
        elif name.startswith("n_"):
            if kind == "ok" or (kind == "raised" and rest not in (
                    "script/invalid-data", "access/invalid-utf8", "script/parse-stack")):
                failures.append("%s accepted or misreported: %s" % (name, line[:200]))
        else:
            table.append("%-50s %s" % (name, line[:90]))
    print("\n".join(table))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
