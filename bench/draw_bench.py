#!/usr/bin/env python3
"""Drawing benchmarks: bench/draw_scene.zun beside its python3-cairo twin
bench/draw_scene.py, run side by side; prints each case's seconds per run and
the ratios the drawing work is judged by:
  scene   zun / twin for a 1,000-command scene on 800x600 (aim: <= 1.2)
  state   10,000 state-only commands / the scene, in zun (aim: < 0.1)
  shadow  a 200x100 box with blur 10 and spread 5 / the same box plain (aim: <= 3)
Not part of the test suite. Usage: bench/draw_bench.py [zun-binary]
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def times(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return {line.split()[0]: float(line.split()[1]) for line in out.splitlines() if line.strip()}


def main():
    zun = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "zun")
    best_z, best_p = {}, {}
    for _ in range(3):
        z = times([zun, os.path.join(HERE, "draw_scene.zun")])
        p = times(["/usr/bin/python3.11", os.path.join(HERE, "draw_scene.py")])
        for k, v in z.items():
            best_z[k] = min(best_z.get(k, v), v)
        for k, v in p.items():
            best_p[k] = min(best_p.get(k, v), v)
    print("%-8s %12s %12s" % ("case", "zun s/run", "twin s/run"))
    for k in best_z:
        print("%-8s %12.6f %12s" % (k, best_z[k], "%.6f" % best_p[k] if k in best_p else "-"))
    print("scene  zun/twin      %.2f" % (best_z["scene"] / best_p["scene"]))
    print("state  state/scene   %.3f" % (best_z["state"] / best_z["scene"]))
    print("shadow shadow/box    %.1f" % (best_z["shadow"] / best_z["box"]))


if __name__ == "__main__":
    main()
