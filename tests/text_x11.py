#!/usr/bin/env python3
"""Text on a real X server (tests/xvfb_harness.py).

A window holds a base face with its own text and a rich-text face with a
style block. Their text's pixels lie inside the boxes `size-text` and
`text-box-metrics` answer, the styled range in its colour. The screen's
resources then ask for subpixel text (Xft.rgba, as xrdb sets it): a second
run shows the same text with coloured fringes, and grey text again with
`Xft.rgba: none`.
"""
import os
import sys

import xvfb_harness

FONTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "text_fonts.conf")

SCRIPT = xvfb_harness.FACES + r'''font!: make object! [name: size: style: weight: none angle: 0 color: none
	anti-alias?: none shadow: state: parent: none on-change*: func [w o n][] on-deep-change*: func [o w t a n i p][]]
system/view/awake: func [event] [either event/type = 'close ['stop] ['done]]
win: new-face [type: window offset: 100x100 size: 360x160 text: "Zun text" color: 255.255.255]
h: show-face win p/make-null-handle
b: new-face [type: base offset: 20x20 size: 150x50 color: 255.255.255 text: "Wool ô"]
b/font: make font! [name: "DejaVu Sans" size: 16 color: 0.0.0]
show-face b h
r: make new-face [type: rich-text offset: 190x20 size: 150x100 color: 255.255.255]
	[tabs: none line-spacing: 'default handles: none]
r/text: "Rich wool and text" r/data: [1x4 255.0.0 bold]
r/font: make font! [name: "DejaVu Sans" size: 14 color: 0.0.0]
show-face r h
print ["base" mold p/size-text b none]
print ["rich" mold p/text-box-metrics r none 3]
p/show-window h
print "ready"
p/do-event-loop false
'''


def point(text):
    """The numbers of a point2D! as molded: (x, y)."""
    return tuple(float(v) for v in text.split("(")[1].split(")")[0].split(","))


def ink(rows, x0, y0, x1, y1, test):
    return [(x, y) for y in range(y0, y1) for x in range(x0, x1) if test(rows[y][x])]


def dark(c):
    return sum(c) < 384


def red(c):
    return c[0] > 150 and c[1] < 100 and c[2] < 100


def tinted(c):
    return max(c) - min(c) > 30


def shown(x, name):
    """Runs the script; answers its first lines and the window's pixels."""
    app = x.start_zun(SCRIPT, env=dict(x.env, FONTCONFIG_FILE=FONTS))
    lines = x.read_until(app, "ready", 120)  # slow under the sanitizers
    wid = x.find_window("Zun text")
    x.screenshot(wid, name)
    _, _, rows = x.pixels(wid)
    x.close_request(wid)
    x.finish(app)
    return lines, rows


def tests(x):
    lines, rows = shown(x, "grey")
    base = point(next(l for l in lines if l.startswith("base")))
    rich = point(next(l for l in lines if l.startswith("rich")))
    # the base face's text is centred in it (its default para)
    left, top = 20 + (150 - base[0]) / 2, 20 + (50 - base[1]) / 2
    got = ink(rows, 20, 20, 170, 70, dark)
    x.check("base text drawn", len(got) > 30, True)
    x.check("base text inside size-text's box",
            [p for p in got if not (left - 1 <= p[0] <= left + base[0] + 1 and top - 1 <= p[1] <= top + base[1] + 1)], [])
    # the rich-text face wraps at its width: inside the measured box at its top-left
    got = ink(rows, 190, 20, 340, 120, dark)
    x.check("rich text drawn", len(got) > 30, True)
    x.check("rich text inside text-box-metrics' box",
            [p for p in got if not (189 <= p[0] <= 190 + rich[0] + 1 and 19 <= p[1] <= 20 + rich[1] + 1)], [])
    x.check("rich text on two lines", rich[1] > 30 and rich[0] <= 150, True)
    # the styled range: red, at the start of the first line
    got = ink(rows, 190, 20, 340, 120, red)
    x.check("red range drawn", len(got) > 20, True)
    x.check("red range at the start", max(p[0] for p in got) < 190 + rich[0] / 2, True)
    x.check("grey text has no fringes", len(ink(rows, 20, 20, 170, 70, tinted)), 0)

    # subpixel text from the screen's resources
    x.run(["xrdb", "-merge"], input=b"Xft.rgba: rgb\n", check=True)
    _, rows = shown(x, "subpixel")
    fringes = ink(rows, 20, 20, 170, 70, tinted)
    x.check("subpixel fringes on the base text", len(fringes) > 20, True)
    x.run(["xrdb", "-merge"], input=b"Xft.rgba: none\n", check=True)
    _, rows = shown(x, "grey again")
    x.check("no fringes with rgba none", len(ink(rows, 20, 20, 170, 70, tinted)), 0)


if __name__ == "__main__":
    sys.exit(xvfb_harness.main(tests, tools=("import", "xwininfo", "xrdb")))
