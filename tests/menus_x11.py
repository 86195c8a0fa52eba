#!/usr/bin/env python3
"""Menus on a real X server (tests/xvfb_harness.py): a menu-bar item and a
context-menu item chosen with the mouse through xdotool, the popup found by
its name "zun-popup" and checked to bypass the window manager
(override-redirect) and to close after the choice.
"""
import re
import sys
import time

import xvfb_harness

SCRIPT = xvfb_harness.FACES + r'''system/view/awake: func [event /with face] [
	if event/type = 'menu [print ["menu" event/face/text event/picked]]
	either event/type = 'close ['stop] ['done]
]
win: new-face [type: window offset: 100x100 size: 300x200 text: "MenuX"
	menu: ["&File" ["&Quit^-Ctrl+Q" quit "&Save" save]]]
h: show-face win p/make-null-handle
b: new-face [type: base offset: 50x50 size: 100x80 text: "B" color: 200.200.255 menu: ["Cut" cut "Copy" copy]]
show-face b h
print "ready"
p/do-event-loop false
'''


def override_redirect(x, wid):
    info = x.run(["xwininfo", "-id", str(wid)], check=True).stdout.decode()
    found = re.search(r"Override Redirect State:\s+(\w+)", info)
    return found.group(1) if found else ""


def gone(x, name, timeout=5):
    deadline = time.time() + timeout
    while x.run(["xdotool", "search", "--onlyvisible", "--name", name]).stdout.split():
        if time.time() > deadline:
            return False
        time.sleep(0.05)
    return True


def click_at(x, left, top, button=1):
    x.run(["xdotool", "mousemove", "--sync", str(left), str(top)], check=True)
    x.run(["xdotool", "click", str(button)], check=True)


def choose_first_item(x, app, what):
    popup = x.find_window("^zun-popup$")
    left, top, width, _ = x.geometry(popup)
    x.check(what + ": the popup bypasses the window manager", override_redirect(x, popup), "yes")
    click_at(x, left + width // 3, top + 10)
    line = x.read_until(app, "menu")[-1]
    x.check(what + ": the popup closes", gone(x, "^zun-popup$"), True)
    return line


def tests(x):
    app = x.start_zun(SCRIPT)
    x.read_until(app, "ready", 60)
    win = x.find_window("^MenuX$")
    left, top, _, height = x.geometry(win)
    band = height - 200
    x.check("the band lies above the 200-pixel client area", band > 10, True)
    # the bar's first item, then its drop-down's first row
    click_at(x, left + 12, top + band // 2)
    x.check("a menu-bar item chosen", choose_first_item(x, app, "menu bar"), "menu MenuX quit")
    # a right press on the base face opens its context menu there
    click_at(x, left + 60, top + band + 60, button=3)
    x.check("a context-menu item chosen", choose_first_item(x, app, "context menu"), "menu B cut")
    # the close button, answered stop: the loop and the script end
    x.close_request(win)
    x.check("exit status", x.finish(app, 60)[1], 0)  # slow to end under the sanitizers


if __name__ == "__main__":
    sys.exit(xvfb_harness.main(tests, tools=("xdotool", "xwininfo")))
