#!/usr/bin/env python3
"""Memory in use while a script churns short-lived trees beside a long-lived
one: it must stay within a fixed multiple of what a collection leaves live.

Reported, not timed. Usage: memory_churn.py ZUN
"""
import subprocess
import sys
import tempfile

SCRIPT = """Zun [title: "churn beside a long-lived tree"]
make-tree: func [d] [either d = 0 [reduce [none none]] [reduce [make-tree d - 1 make-tree d - 1]]]
check: func [t] [either none? t/1 [1] [1 + (check t/1) + check t/2]]
long-lived: make-tree 13
peak: 0
loop 100 [loop 160 [check make-tree 4] peak: max peak stats]
loop 4 [check make-tree 12 peak: max peak stats]
live: recycle
print [live peak check long-lived]
"""

# Live size plus a budget of as much again (at least a few MB) between
# collections, with room for frame rounding.
LIMIT = 3.0


def main(zun):
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as f:
        f.write(SCRIPT)
    run = subprocess.run([zun, f.name], capture_output=True, text=True, timeout=600)
    if run.returncode != 0:
        print(run.stdout, run.stderr)
        return 1
    live, peak, count = (int(x) for x in run.stdout.split())
    print("live %d bytes, peak in use %d bytes, ratio %.2f" % (live, peak, peak / live))
    if count != 16383:
        print("the long-lived tree was damaged: %d nodes" % count)
        return 1
    if peak > LIMIT * live:
        print("memory in use grew past %.1f times the live size" % LIMIT)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
