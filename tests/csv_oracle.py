#!/usr/bin/env python3
"""load-csv and to-csv against python3's csv module.

Texts written by csv.writer (several dialects) must load as csv.reader reads
them; a table holding every special character, written by to-csv, must read
back through csv.reader as that table.
"""
import csv
import io
import sys

from zun_source import run_source

TABLE = [
    ["plain", "with space", "comma,inside", 'quote"inside', "", "é ünï 😀"],
    ["line\nfeed", "carriage\rreturn", "crlf\r\nboth", '""', "tab\there", "semi;colon"],
    ["'single'", " lead", "trail ", "x", "y", "z"],
]

# csv.writer leaves a lone CR unquoted (its own reader then splits the line
# there): the texts it writes hold CR only inside CR LF. With CR line ends it
# leaves a lone LF unquoted too.
WRITER_TABLE = [[f.replace("carriage\rreturn", "carriage return") for f in row] for row in TABLE]
CR_TABLE = [[f.replace("line\nfeed", "line\r\nfeed") for f in row] for row in WRITER_TABLE]

# name, writer options, load-csv refinements (as Zun source)
DIALECTS = [
    ("crlf", dict(lineterminator="\r\n"), ""),
    ("lf", dict(lineterminator="\n"), ""),
    ("cr", dict(lineterminator="\r"), ""),
    ("all-quoted", dict(lineterminator="\n", quoting=csv.QUOTE_ALL), ""),
    ("tab", dict(lineterminator="\n", delimiter="\t"), "/with tab"),
    ("quote", dict(lineterminator="\n", quotechar="'"), "/quote #\"'\""),
]


def zun_string(text):
    out = ['"']
    for ch in text:
        if ch in '"^' or ord(ch) < 32:
            out.append("^(%X)" % ord(ch))
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def zun_block(rows):
    return "[" + " ".join("[" + " ".join(zun_string(f) for f in row) + "]" for row in rows) + "]"


def run(zun, code):
    out = run_source(zun, "Zun []\n" + code, timeout=120)
    if out.returncode != 0:
        raise SystemExit("zun failed: " + out.stderr.decode("utf-8", "replace"))
    return out.stdout.decode("utf-8")


def main(zun):
    failures = []
    # Every line of output is the to-json of one answer: python reads it back.
    code = []
    texts = []
    for name, options, refinements in DIALECTS:
        buf = io.StringIO(newline="")
        csv.writer(buf, **options).writerows(CR_TABLE if name == "cr" else WRITER_TABLE)
        texts.append((name, buf.getvalue(), options))
        path = "load-csv" + refinements.split(" ")[0] if refinements else "load-csv"
        arg = " " + " ".join(refinements.split(" ")[1:]) if refinements else ""
        code.append("print to-json %s %s%s" % (path, zun_string(buf.getvalue()), arg))
    code.append("print to-json load-csv to-csv %s" % zun_block(TABLE))
    code.append('prin to-csv %s' % zun_block(TABLE))
    import json
    lines = run(zun, "\n".join(code)).split("\n")
    for (name, text, options), line in zip(texts, lines):
        reader_options = {k: v for k, v in options.items() if k in ("delimiter", "quotechar")}
        want = list(csv.reader(io.StringIO(text, newline=""), **reader_options))
        got = json.loads(line)
        if got != want:
            failures.append("%s: %r\n  want %r" % (name, got, want))
    n = len(texts)
    if json.loads(lines[n]) != TABLE:
        failures.append("load-csv of to-csv: %r" % lines[n])
    written = "\n".join(lines[n + 1:])
    back = list(csv.reader(io.StringIO(written, newline="")))
    if back != TABLE:
        failures.append("csv.reader of to-csv: %r\n  from %r" % (back, written))
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
