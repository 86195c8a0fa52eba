#!/usr/bin/env python3
"""Monkey test of the window layer on the in-memory display.

Runs tests/gui_monkey.zun for a few seeds: random input and window-manager
actions on random face trees with random facet changes. A run passes when zun
ends normally (no crash, no sanitizer report) and every window, timer and image
cursor is gone once all faces are destroyed.

usage: gui_monkey.py ZUN [--steps N] [--seeds 1,2,3]
ZUN_MONKEY_SEEDS and ZUN_MONKEY_STEPS override the defaults; a failure prints
the command that repeats it.
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "gui_monkey.zun")
MONITORS = "memory:1024x768@96,1280x1024+1024+0@144"


def run(zun, seed, steps, timeout):
    env = dict(os.environ, ZUN_DISPLAY=MONITORS)
    env.pop("DISPLAY", None)
    cmd = [zun, SCRIPT, str(seed), str(steps)]
    try:
        p = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False, "timed out after %d s" % timeout, cmd
    out = p.stdout.decode("utf-8", "replace")
    err = p.stderr.decode("utf-8", "replace")
    ok = p.returncode == 0 and "monkey: ok" in out and "ERROR: AddressSanitizer" not in err \
        and "runtime error:" not in err
    summary = "\n".join(l for l in out.splitlines() if l.startswith("monkey:"))
    if not ok:
        tail = "\n".join((err.strip().splitlines() or [""])[-40:])
        summary = "status %d\n%s\n%s" % (p.returncode, summary, tail)
    return ok, summary, cmd


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("zun")
    ap.add_argument("--steps", type=int, default=int(os.environ.get("ZUN_MONKEY_STEPS", "1500")))
    ap.add_argument("--seeds", default=os.environ.get("ZUN_MONKEY_SEEDS", "1,2,3,4"))
    ap.add_argument("--timeout", type=int, default=600)
    a = ap.parse_args()
    failed = 0
    for seed in [int(s) for s in a.seeds.split(",") if s]:
        ok, summary, cmd = run(a.zun, seed, a.steps, a.timeout)
        print("seed %d: %s" % (seed, "ok" if ok else "FAILED"))
        print(summary)
        if not ok:
            failed += 1
            print("repeat with: ZUN_DISPLAY=%s %s  (add an argument 'v' to trace each step)"
                  % (MONITORS, " ".join(cmd)))
        sys.stdout.flush()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
