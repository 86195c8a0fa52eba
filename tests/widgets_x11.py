#!/usr/bin/env python3
"""Control faces on a real X server (tests/xvfb_harness.py), used as a user
would: a button clicked, a field typed into (non-ASCII letters too), an item
picked in a drop-list's popup, a context menu chosen, a slider thumb dragged,
and one window holding every control type checked at chosen pixels.

The script prints what its system/view/awake gets; input comes through XTEST.
"""
import os
import shutil
import sys

import xvfb_harness

FONTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "text_fonts.conf")

SCRIPT = xvfb_harness.FACES + r'''
system/view/awake: func [event /local t f] [
	t: event/type f: event/face
	case [
		t = 'click [print ["click" mold f/text]]
		t = 'menu [print ["menu" f/type event/picked]]
		all [t = 'change f/type = 'field] [print ["change field" mold f/text]]
		all [t = 'change f/type = 'slider] [print ["change slider" f/data]]
		all [t = 'change f/type = 'drop-list] [print ["change drop-list" f/selected]]
	]
	'done
]
win: new-face [type: window offset: 40x40 size: 520x420 text: "WidgetsX"]
h: show-face win p/make-null-handle
place: func [spec /local f] [f: new-face spec show-face f h f]
false-data: func [f] [f/data: false f]
place [type: button offset: 10x10 size: 100x28 text: "Push"]
place [type: field offset: 10x50 size: 160x24 text: ""]
place [type: drop-list offset: 10x90 size: 120x24 data: ["one" "two" "three"] selected: 1]
place [type: text offset: 10x130 size: 120x24 text: "Right here" color: 255.255.200
	menu: ["Alpha" alpha "Beta" beta]]
place [type: slider offset: 10x170 size: 200x24 data: 0%]
c: place [type: check offset: 10x210 size: 100x20 text: "Check" data: true]
place [type: toggle offset: 10x240 size: 100x28 text: "Toggle" data: true]
place [type: radio offset: 10x280 size: 100x20 text: "Radio" data: true]
place [type: progress offset: 10x310 size: 200x16 data: 50%]
place [type: scroller offset: 10x340 size: 200x18]
place [type: drop-down offset: 10x370 size: 120x24 text: "down" data: ["a" "b"]]
place [type: group-box offset: 230x10 size: 130x80 text: "Group"]
place [type: tab-panel offset: 230x100 size: 130x80 data: ["Tab1" "Tab2"] selected: 1]
place [type: text-list offset: 370x10 size: 140x80 data: ["first" "second" "third"] selected: 2]
place [type: area offset: 370x100 size: 140x80 text: "line one^/line two"]
place [type: calendar offset: 230x200 size: 180x160 data: 11-Dec-2026]
print "ready"
p/do-event-loop false
'''


TYPED = "ab\u00e9\u00df\u017e"


def tests(x):
    # keys of their own for the non-ASCII letters, bound before the client
    # starts: xdotool's passing remaps race a slow client's keymap reads
    if shutil.which("xmodmap"):
        for sym in ("eacute", "ssharp", "zcaron"):
            x.run(["xmodmap", "-e", "keycode any = " + sym], check=True)
    app = x.start_zun(SCRIPT, env=dict(x.env, FONTCONFIG_FILE=FONTS))
    x.read_until(app, "ready", 30)
    wid = x.find_window("^WidgetsX$")
    wx, wy, ww, wh = x.geometry(wid)
    top = wh - 420  # a band above the client area, if any

    def at(px, py):
        return px, top + py

    def next_line(want, timeout=10):
        return x.read_until(app, want, timeout)[-1]

    # the whole window, every control type in it, before input changes it
    x.wait_painted(wid, *at(150, 62))
    shot = x.screenshot(wid, "widgets")
    w, h, rows = x.pixels(wid)
    px = lambda cx, cy: rows[top + cy][cx]
    white, dark = (255, 255, 255), (0, 0, 0)
    for what, point, test in [
        ("the field's inside in the window colour", (150, 62), lambda c: xvfb_harness.near(c, white)),
        ("the area's inside in the window colour", (500, 170), lambda c: xvfb_harness.near(c, white)),
        ("the text face in its colour", (115, 150), lambda c: xvfb_harness.near(c, (255, 255, 200))),
        ("the progress filled at its start", (15, 318), lambda c: not xvfb_harness.near(c, px(205, 318), 30)),
        ("the progress empty at its end", (205, 318), lambda c: not xvfb_harness.near(c, dark, 60)),
        ("the list's selected row highlighted", (500, 10 + 25), lambda c: not xvfb_harness.near(c, white, 30)),
        ("the list's other rows in the window colour", (500, 10 + 70), lambda c: xvfb_harness.near(c, white)),
        ("the calendar's selected day highlighted", (357, 274), lambda c: xvfb_harness.near(c, px(500, 35), 30)),
        ("the check box's mark drawn", (16, 220), lambda c: xvfb_harness.near(c, dark, 100)),
    ]:
        got = px(*point)
        if not test(got):
            x.fail("%s: pixel %r is %r" % (what, point, got))

    # a click on the button
    x.click(wid, *at(60, 24))
    x.check("a click on the button", next_line("click"), 'click "Push"')

    # typed into the field, read back into text
    x.click(wid, *at(90, 62))
    x.type(TYPED)
    want = 'change field "%s"' % TYPED
    lines = x.read_until(app, want, 10)
    x.check("typed text read back", lines[-1], want)

    # the drop-list opens its popup; its third row picked
    x.click(wid, *at(70, 102))
    popup = x.find_window("^zun-popup$")
    _, py, _, ph = x.geometry(popup)
    x.click(popup, 20, ph * 5 // 6)
    x.check("an item picked in the drop-list", next_line("change drop-list"), "change drop-list 3")

    # a right click on the text face opens its menu; the second item chosen
    x.click(wid, *at(60, 140), button=3)
    popup = x.find_window("^zun-popup$")
    _, _, pw, ph = x.geometry(popup)
    x.click(popup, pw // 3, ph * 3 // 4)
    x.check("a context-menu item chosen", next_line("menu"), "menu text beta")

    # the slider's thumb dragged right: change with data following
    x.move(wid, *at(16, 182))
    x.run(["xdotool", "mousedown", "1"], check=True)
    for sx in (60, 110, 160):
        x.move(wid, *at(sx, 182))
    x.run(["xdotool", "mouseup", "1"], check=True)
    values = []
    try:
        while True:
            line = x.read_until(app, "change slider", 3)[-1]
            values.append(float(line.split()[-1].rstrip("%")))
    except xvfb_harness.XError:
        pass
    x.check("the slider sends change while dragged", len(values) >= 2, True)
    x.check("its data grows with the drag", values == sorted(values) and values[-1] > values[0], True)
    x.check("its data ends past the half", bool(values) and values[-1] > 50, True)
    xvfb_harness.stop(app)


if __name__ == "__main__":
    sys.exit(xvfb_harness.main(tests, tools=("xdotool", "import", "xwininfo")))
