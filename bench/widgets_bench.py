#!/usr/bin/env python3
"""Control faces beside GTK 3: a window of 500 widgets (200 buttons, 100
fields, 150 texts, 50 check boxes) made and shown to the end of its first
paint, then the text of its 150 text faces changed and repainted, 20 rounds.
The twin is the same window in python3-gi with GTK 3 (Debian's python3-gi and
gir1.2-gtk-3.0, run by Debian's python3), both on one Xvfb. Prints seconds,
the ratios zun / twin (aim: <= 1 for both) and each side's peak memory.
Not part of the test suite. Usage: bench/widgets_bench.py [zun-binary]
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests"))
import xvfb_harness  # noqa: E402

ROUNDS = 20
# kinds in grid order: (kind, count)
KINDS = (("button", 200), ("field", 100), ("text", 150), ("check", 50))
COLUMNS, CELL_W, CELL_H, W, H = 20, 48, 28, 44, 22

ZUN = xvfb_harness.FACES + r'''drain: does [while [p/do-event-loop true] []]
; the first paint follows the server's Expose, which comes later: the time
; of the last event handled before 300 ms pass without one
settle: func [/local last] [
	last: now/precise
	while [0.3 > to float! difference now/precise last] [if p/do-event-loop true [last: now/precise]]
	last
]
t: now/precise
win: new-face [type: window offset: 0x0 size: 980x720 text: "Bench"]
h: show-face win p/make-null-handle
texts: copy []
i: 0
foreach [kind count] [button 200 field 100 text 150 check 50] [
	loop count [
		f: new-face compose [type: (kind) text: (form i) data: (false)
			offset: (as-pair i // 20 * 48 + 4 (i - (i // 20)) / 20 * 28 + 4) size: 44x22]
		show-face f h
		if kind = 'text [append texts f]
		i: i + 1
	]
]
print ["show" to float! difference settle t]
t: now/precise
repeat n 20 [
	foreach f texts [f/text: rejoin ["r" n] f/state/2: 2 ** 3 p/update-view f]
	drain
]
print ["round" (to float! difference now/precise t) / 20]
'''

TWIN = r'''
import time
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk, Gdk
t = time.perf_counter()
win = Gtk.Window(title="Bench")
win.set_default_size(980, 720)
fixed = Gtk.Fixed()
win.add(fixed)
texts = []
i = 0
for kind, count in (("button", 200), ("field", 100), ("text", 150), ("check", 50)):
    for _ in range(count):
        if kind == "button":
            w = Gtk.Button(label=str(i))
        elif kind == "field":
            w = Gtk.Entry()
            w.set_text(str(i))
            w.set_width_chars(1)
        elif kind == "text":
            w = Gtk.Label(label=str(i))
            texts.append(w)
        else:
            w = Gtk.CheckButton(label=str(i))
        w.set_size_request(44, 22)
        fixed.put(w, i % 20 * 48 + 4, i // 20 * 28 + 4)
        i += 1
painted = [0]
def on_draw(*_):
    painted[0] += 1
win.connect_after("draw", on_draw)
def paint():
    seen = painted[0]
    while painted[0] == seen:
        Gtk.main_iteration()
    while Gtk.events_pending():
        Gtk.main_iteration()
    Gdk.flush()
win.show_all()
paint()
print("show", time.perf_counter() - t)
t = time.perf_counter()
for n in range(1, 21):
    for w in texts:
        w.set_text("r%d" % n)
    paint()
print("round", (time.perf_counter() - t) / 20)
'''


def run(session, command):
    """(seconds by case, peak kilobytes) of one run under GNU time."""
    done = session.run(["/usr/bin/time", "-f", "peak %M"] + command, timeout=300, check=True)
    cases = {}
    for line in done.stdout.decode().splitlines():
        parts = line.split()
        if len(parts) == 2:
            cases[parts[0]] = float(parts[1])
    peak = [l for l in done.stderr.decode().splitlines() if l.startswith("peak ")]
    return cases, int(peak[-1].split()[1])


def bench(session):
    zun_path = session.zun_path
    twin = os.path.join(session.folder, "twin.py")
    with open(twin, "w") as f:
        f.write(TWIN)
    best = {"zun": {}, "twin": {}}
    peaks = {"zun": 0, "twin": 0}
    for _ in range(3):
        for side, command in (("zun", [zun_path, session.script(ZUN)]),
                              ("twin", ["/usr/bin/python3", twin])):
            cases, peak = run(session, command)
            peaks[side] = max(peaks[side], peak)
            for k, v in cases.items():
                best[side][k] = min(best[side].get(k, v), v)
    print("%-7s %12s %12s %8s" % ("case", "zun s", "gtk3 s", "zun/gtk"))
    for k in ("show", "round"):
        z, g = best["zun"].get(k), best["twin"].get(k)
        if z is None or g is None:
            session.fail("no %s time: zun %r twin %r" % (k, best["zun"], best["twin"]))
            continue
        print("%-7s %12.4f %12.4f %8.2f" % (k, z, g, z / g))
    print("peak memory: zun %.1f MB, gtk3 %.1f MB" % (peaks["zun"] / 1024, peaks["twin"] / 1024))


def main():
    zun = sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "zun")
    try:
        subprocess.run(["/usr/bin/python3", "-c", "import gi; gi.require_version('Gtk', '3.0')"], check=True)
    except (OSError, subprocess.CalledProcessError):
        print("the twin needs Debian's python3-gi and gir1.2-gtk-3.0")
        return 1
    return xvfb_harness.main(bench, tools=("/usr/bin/time",), zun=zun)


if __name__ == "__main__":
    sys.exit(main())
