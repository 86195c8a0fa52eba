#!/usr/bin/env python3
"""Runs the script benchmarks: each bench/NAME.zun beside its peers NAME.py
(python3.11) and NAME.lua (lua5.4, when installed), checks that every peer
prints what zun prints, takes the best wall time of several runs and the peak
memory of each process (the maximum resident size wait4 reports), and prints
the ratios zun/python3.11 and zun/lua5.4 of the times and zun/python3.11 of
the peak memory. Whole processes are timed, start-up included.

Not part of the test suite. Usage (through bench/run.sh):
  runner.py [--zun PATH] [--python PATH] [--lua PATH] [--runs N] [NAME...]
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TIME = "/usr/bin/time"  # GNU time (Debian package time)

# Listed first, in this order, with their arguments; every other NAME.zun
# that has a NAME.py follows.
BENCHES = [
    ("fib", "fib", []),
    ("tak", "tak", []),
    ("method", "method", []),
    ("loop", "loop", []),
    ("repeat", "repeat", []),
    ("foreach", "foreach", []),
    ("calls", "calls", []),
    ("trees-15", "binary_trees", ["15"]),
    ("trees-16", "binary_trees", ["16"]),
    ("sort", "sort", []),
    ("load", "load", []),
    ("parse", "parse", []),
    ("empty", "empty", []),
]


def run_once(command):
    """Output, wall seconds and peak resident KB of one process.

    GNU time runs it and reports wait4's maximum resident size: a process
    forked from this runner would start with the runner's own pages counted.
    """
    fd, report = tempfile.mkstemp(prefix="zun-bench-")
    os.close(fd)
    try:
        start = time.perf_counter()
        run = subprocess.run([TIME, "-f", "%M", "-o", report] + command, stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
        if run.returncode != 0:
            raise RuntimeError("%s exited with status %d" % (" ".join(command), run.returncode))
        with open(report) as f:
            kb = int(f.read().split()[-1])
    finally:
        os.unlink(report)
    return run.stdout, seconds, kb


def best(command, runs):
    """Output of the first run, best time and highest peak memory of all."""
    output, best_time, peak = run_once(command)
    for _ in range(runs - 1):
        _, seconds, kb = run_once(command)
        best_time = min(best_time, seconds)
        peak = max(peak, kb)
    return output, best_time, peak


def debian_python():
    # A pyenv shim earlier on PATH hides the Debian package's binary, which
    # runs calls about 1.5 times faster than a pyenv build.
    for path in ("/usr/bin/python3.11", shutil.which("python3.11")):
        if path and os.path.exists(path):
            return os.path.realpath(path) if "shims" not in path else path
    return None


def benches(names):
    listed = [b for b in BENCHES if os.path.exists(os.path.join(HERE, b[1] + ".zun"))]
    known = {b[1] for b in listed}
    for file in sorted(os.listdir(HERE)):
        stem, ext = os.path.splitext(file)
        if ext == ".zun" and stem not in known and os.path.exists(os.path.join(HERE, stem + ".py")):
            listed.append((stem, stem, []))
    if names:
        listed = [b for b in listed if b[0] in names or b[1] in names]
    return listed


def ratio(a, b):
    return "%.2f" % (a / b) if a is not None and b else "-"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--zun", default=os.path.join(HERE, "..", "build", "zun"))
    parser.add_argument("--python", default=debian_python())
    parser.add_argument("--lua", default=shutil.which("lua5.4"))
    parser.add_argument("--runs", type=int, default=int(os.environ.get("RUNS", "3")))
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()
    zun = os.path.abspath(args.zun)
    print("zun %s, python %s, lua %s, best of %d runs" % (zun, args.python, args.lua or "(none)", args.runs))
    header = "%-10s %8s %8s %8s %7s %7s %8s %8s %7s" % (
        "bench", "zun s", "py s", "lua s", "zun/py", "zun/lua", "zun MB", "py MB", "mem/py")
    print(header)
    failed = False
    for name, stem, extra in benches(args.names):
        base = os.path.join(HERE, stem)
        want, zun_time, zun_kb = best([zun, base + ".zun"] + extra, args.runs)
        py_time = py_kb = lua_time = None
        notes = []
        if args.python:
            got, py_time, py_kb = best([args.python, base + ".py"] + extra, args.runs)
            if got != want:
                notes.append("python printed %r, zun %r" % (got[:200], want[:200]))
        if args.lua and os.path.exists(base + ".lua"):
            got, lua_time, _ = best([args.lua, base + ".lua"] + extra, args.runs)
            if got != want:
                notes.append("lua printed %r, zun %r" % (got[:200], want[:200]))
        print("%-10s %8.3f %8s %8s %7s %7s %8.1f %8s %7s" % (
            name, zun_time,
            "%.3f" % py_time if py_time is not None else "-",
            "%.3f" % lua_time if lua_time is not None else "-",
            ratio(zun_time, py_time), ratio(zun_time, lua_time),
            zun_kb / 1024, "%.1f" % (py_kb / 1024) if py_kb else "-", ratio(zun_kb, py_kb)))
        for note in notes:
            print("  outputs differ: " + note)
            failed = True
        sys.stdout.flush()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
