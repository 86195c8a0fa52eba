#!/usr/bin/env python3
"""Menus on a real X server: a menu-bar item and a context-menu item chosen
with the mouse through xdotool, the popup found by its name "zun-popup" and
checked to bypass the window manager (override-redirect).

Xvfb runs on a free display for the test and is stopped by its pid; the Zun
process is bounded by a deadline and killed at the end. Without Xvfb or
xdotool the test is skipped, except under CI=true, where it fails.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import xvfb_harness

ZUN = sys.argv[1]
SKIP = 77
FAILURES = []

SCRIPT = 'Zun []\n' + xvfb_harness.FACES + r'''system/view/awake: func [event /with face] [
	if event/type = 'menu [print ["menu" event/face/text event/picked]]
	'done
]
win: new-face [type: window offset: 100x100 size: 300x200 text: "MenuX"
	menu: ["&File" ["&Quit^-Ctrl+Q" quit "&Save" save]]]
h: show-face win p/make-null-handle
b: new-face [type: base offset: 50x50 size: 100x80 text: "B" color: 200.200.255 menu: ["Cut" cut "Copy" copy]]
show-face b h
print "ready"
p/do-event-loop false
'''


def check(what, got, want):
    if got != want:
        FAILURES.append("%s:\n  want %r\n  got  %r" % (what, want, got))


def start_xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp", "-noreset"], pass_fds=(w,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    deadline = time.time() + 10
    while not number.endswith(b"\n") and time.time() < deadline:
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    if not number.strip():
        proc.kill()
        proc.wait()
        return None, None
    return proc, ":" + number.decode().strip()


class Desk:
    def __init__(self, display):
        self.env = dict(os.environ, DISPLAY=display)
        self.env.pop("ZUN_DISPLAY", None)

    def run(self, *args):
        return subprocess.run(list(args), env=self.env, capture_output=True, text=True, timeout=10).stdout

    def find(self, name, deadline=10.0):
        """The visible window of that name, waited for."""
        end = time.time() + deadline
        while time.time() < end:
            ids = self.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % name).split()
            if ids:
                return ids[-1]
            time.sleep(0.05)
        return None

    def gone(self, name, deadline=5.0):
        end = time.time() + deadline
        while time.time() < end:
            if not self.run("xdotool", "search", "--onlyvisible", "--name", "^%s$" % name).split():
                return True
            time.sleep(0.05)
        return False

    def geometry(self, wid):
        info = self.run("xwininfo", "-id", wid)
        num = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        redirect = re.search(r"Override Redirect State:\s+(\w+)", info)
        return (num("Absolute upper-left X"), num("Absolute upper-left Y"), num("Width"), num("Height"),
                redirect.group(1) if redirect else "")

    def click(self, x, y, button=1):
        self.run("xdotool", "mousemove", str(x), str(y))
        time.sleep(0.1)
        self.run("xdotool", "click", str(button))


def read_line(proc, deadline):
    """A line of the Zun process's output, or None by the deadline."""
    import select
    end = time.time() + deadline
    while time.time() < end:
        ready, _, _ = select.select([proc.stdout], [], [], 0.1)
        if ready:
            return proc.stdout.readline().strip()
    return None


def choose_first_item(desk, proc, what):
    popup = desk.find("zun-popup")
    if not popup:
        FAILURES.append("%s: no window named zun-popup" % what)
        return None
    x, y, w, h, redirect = desk.geometry(popup)
    check(what + ": the popup bypasses the window manager", redirect, "yes")
    desk.click(x + w // 3, y + 10)
    line = read_line(proc, 10)
    check(what + ": the popup closes", desk.gone("zun-popup"), True)
    return line


def main():
    if not (shutil.which("Xvfb") and shutil.which("xdotool") and shutil.which("xwininfo")):
        print("Xvfb, xdotool or xwininfo missing")
        return 1 if os.environ.get("CI") == "true" else SKIP
    xvfb, display = start_xvfb()
    if not xvfb:
        print("Xvfb did not start")
        return 1 if os.environ.get("CI") == "true" else SKIP
    folder = tempfile.mkdtemp()
    proc = None
    try:
        desk = Desk(display)
        path = os.path.join(folder, "menus.zun")
        with open(path, "w", encoding="utf-8") as f:
            f.write(SCRIPT)
        proc = subprocess.Popen([ZUN, path], env=desk.env, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                text=True)
        check("started", read_line(proc, 20), "ready")
        win = desk.find("MenuX")
        if not win:
            FAILURES.append("the window never showed")
            return 1
        x, y, w, h, _ = desk.geometry(win)
        band = h - 200
        check("the band lies above the 200-pixel client area", band > 10, True)
        # the bar's first item, then its drop-down's first row
        desk.click(x + 12, y + band // 2)
        check("a menu-bar item chosen", choose_first_item(desk, proc, "menu bar"), "menu MenuX quit")
        # a right press on the base face opens its context menu there
        desk.click(x + 60, y + band + 60, button=3)
        check("a context-menu item chosen", choose_first_item(desk, proc, "context menu"), "menu B cut")
    finally:
        if proc:
            proc.kill()
            proc.wait()
        xvfb.kill()
        xvfb.wait()
        shutil.rmtree(folder, ignore_errors=True)
    for f in FAILURES:
        print(f)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
