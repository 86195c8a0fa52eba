#!/usr/bin/env python3
"""Windows and events on X, beside their twins, on one Xvfb of our own
(tests/xvfb_harness.py): bench/gui_bench.zun against bench/gui_tk_twin.py
(Debian's python3 with python3-tk) and bench/gui_shm_twin.c (built here with
cc, libX11 and libXext). Best of RUNS runs; peak memory from GNU time.

  events   20,000 `down` events posted with send-event-os and dispatched by
           do-event-loop to a counting awake / tkinter's event_generate of
           <ButtonPress-1> and a bound counter            (aim <= 0.5)
  paint    redraw of an 800x600 base face drawing the 1,000-command scene of
           bench/draw_scene.zun / draw of the scene into an 800x600 image
                                                          (aim <= 1.15)
  upload   an 800x600 window painted, composed and put on the screen /
           XShmPutImage of the same frame, a round trip each (aim <= 1.3)
  start    the display opened (gui/init's X part: zun opens it at the first
           window), a 300x200 window mapped and painted / Tk(), a 300x200
           frame and update(), both timed inside the process (aim <= 0.3);
           the whole processes' wall times are printed beside
  display  a one-line script with DISPLAY set, minus unset (aim <= 10 ms)

Not part of the test suite. Usage: bench/gui_bench.py [zun-binary] [runs]
"""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
import xvfb_harness  # noqa: E402

PYTHON = "/usr/bin/python3"
RUNS = 5


def run(session, command, env=None):
    """(seconds by printed case, wall seconds, peak KB) of one process."""
    env = env or session.env
    start = time.perf_counter()
    proc = xvfb_harness.spawn(["/usr/bin/time", "-f", "peak %M"] + command, env=env, cwd=HERE,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err = xvfb_harness._communicate(proc, 300)
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        raise xvfb_harness.XError("%s failed (%d): %s %s" % (" ".join(command), proc.returncode,
                                                            out.decode(errors="replace"),
                                                            err.decode(errors="replace")[-2000:]))
    cases = {}
    for line in out.decode().splitlines():
        parts = line.split()
        if len(parts) == 2:
            cases[parts[0]] = float(parts[1])
    peak = [l for l in err.decode().splitlines() if l.startswith("peak ")]
    return cases, wall, int(peak[-1].split()[1])


class Best:
    """Best time and highest peak of each named measure."""

    def __init__(self):
        self.time, self.peak = {}, {}

    def add(self, name, seconds, peak):
        self.time[name] = min(self.time.get(name, seconds), seconds)
        self.peak[name] = max(self.peak.get(name, 0), peak)


def bench(session, runs):
    zun = [session.zun_path, os.path.join(HERE, "gui_bench.zun")]
    twin_c = os.path.join(session.folder, "gui_shm_twin")
    subprocess.run(["cc", "-O2", os.path.join(HERE, "gui_shm_twin.c"), "-o", twin_c, "-lX11", "-lXext"],
                   check=True)
    tk = [PYTHON, os.path.join(HERE, "gui_tk_twin.py")]
    no_display = dict(session.env)
    no_display.pop("DISPLAY", None)
    b = Best()
    # the one-line runs differ by little and the machine may be busy: more tries
    for _ in range(runs * 3):
        for name, env in (("line-display", None), ("line-none", no_display)):
            _, wall, peak = run(session, zun + ["line"], env)
            b.add(name, wall, peak)
    for _ in range(runs):
        for name, command, key, env in (
                ("events", zun + ["events"], "events", None),
                ("events-tk", tk + ["events"], "events", None),
                ("paint", zun + ["paint"], "paint", None),
                ("upload", zun + ["upload"], "upload", None),
                ("upload-c", [twin_c], "upload", None),
                ("start", zun + ["start"], "start", None),
                ("start-tk", tk + ["start"], "start", None),
                ("process", zun + ["start"], None, None),
                ("process-tk", tk + ["start"], None, None)):
            cases, wall, peak = run(session, command, env)
            b.add(name, cases[key] if key else wall, peak)
            if name == "paint":
                b.add("draw", cases["draw"], peak)
    rows = (("events", "events", "events-tk", "tkinter", 0.5),
            ("paint", "paint", "draw", "draw", 1.15),
            ("upload", "upload", "upload-c", "C shm", 1.3),
            ("start", "start", "start-tk", "tkinter", 0.3))
    print("%-8s %11s %11s %8s %6s %9s %9s" % ("case", "zun ms", "twin ms", "ratio", "aim", "zun MB", "twin MB"))
    for label, z, t, _, aim in rows:
        print("%-8s %11.3f %11.3f %8.2f %6.2f %9.1f %9.1f" % (
            label, b.time[z] * 1e3, b.time[t] * 1e3, b.time[z] / b.time[t], aim,
            b.peak[z] / 1024, b.peak[t] / 1024))
    print("process  whole process to the first window painted: zun %.1f ms, python3 with tkinter %.1f ms" % (
        b.time["process"] * 1e3, b.time["process-tk"] * 1e3))
    print("(twins: events and start tkinter, paint the same process's draw, upload bench/gui_shm_twin.c)")
    extra = (b.time["line-display"] - b.time["line-none"]) * 1e3
    print("display  one-line script: %.1f ms with DISPLAY, %.1f ms without: %+.1f ms (aim <= 10); peak %.1f / %.1f MB" % (
        b.time["line-display"] * 1e3, b.time["line-none"] * 1e3, extra,
        b.peak["line-display"] / 1024, b.peak["line-none"] / 1024))
    print("per event: zun %.2f us, tkinter %.2f us" % (b.time["events"] / 20000 * 1e6,
                                                        b.time["events-tk"] / 20000 * 1e6))


def main():
    zun = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "zun")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else RUNS
    try:
        subprocess.run([PYTHON, "-c", "import tkinter"], check=True)
    except (OSError, subprocess.CalledProcessError):
        print("the twin needs Debian's python3-tk")
        return 1
    return xvfb_harness.main(lambda s: bench(s, runs), tools=("/usr/bin/time", "cc"), zun=os.path.abspath(zun))


if __name__ == "__main__":
    sys.exit(main())
