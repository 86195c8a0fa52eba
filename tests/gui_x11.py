#!/usr/bin/env python3
"""Windows and events end to end on a real X server (tests/xvfb_harness.py).

A script opens a window holding a base face and prints every event its
system/view/awake gets; real input comes through XTEST, the window manager's
close request through a client message, pixels through ImageMagick. Cases:
the title and class, the window's and the base face's pixels (colour, draw
block), clicks, a double click and the wheel, hover and leave, a key table
with Windows' rules and a dead key, typed non-ASCII text, a resize, the close
request answered `stop`; then a keyboard layout changed while running.
"""
import os
import sys
import time

import xvfb_harness

FONTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "text_fonts.conf")

SCRIPT = xvfb_harness.FACES + r'''system/view/awake: func [event /local t] [
	t: event/type
	print form case [
		find [over down up dbl-click alt-down alt-up mid-down mid-up] t [
			reduce [t event/face/data to pair! event/offset mold event/flags]
		]
		t = 'wheel [reduce [t event/face/data event/picked]]
		find [key key-down key-up] t [reduce [t mold event/key mold event/flags]]
		t = 'resize [reduce [t event/face/data to pair! event/face/size]]
		true [t]
	]
	either t = 'close ['stop] ['done]
]
win: new-face [type: window offset: 100x100 size: 300x200 text: "Zun événement ☃" flags: [resize]
	color: 250.250.250 data: "W"]
h: show-face win p/make-null-handle
b: new-face [type: base offset: 20x30 size: 100x60 color: 0.0.255 data: "B"
	draw: [pen off fill-pen 255.0.0 box 10x10 50x40]]
show-face b h
; a base face's own text, centred: its pixels lie in the box size-text answers
t: new-face [type: base offset: 150x30 size: 120x40 color: 255.255.255 text: "Zun é" draw: []]
show-face t h
print ["text-size" mold p/size-text t none]
win/selected: b
p/show-window h
print "ready"
p/do-event-loop false
print "loop ended"
'''

# Keys pressed with xdotool, and the events each gives, as on Windows.
KEYS = [
    (["Return"], ['key-down #"^M" []', 'key #"^M" []', 'key-up #"^M" []']),
    (["Left"], ["key-down left []", "key left []", "key-up left []"]),
    (["F12"], ["key-down F12 []", "key F12 []", "key-up F12 []"]),
    (["Delete"], ["key-down delete []", "key delete []", "key-up delete []"]),
    (["ctrl+a"], ["key-down left-control [control]", 'key-down #"A" [control]', 'key #"^A" [control]',
                  'key-up #"A" []', "key-up left-control []"]),
    (["ctrl+BackSpace"], ["key-down left-control [control]", 'key-down #"^H" [control]',
                          'key #"^~" [control]', 'key-up #"^H" []', "key-up left-control []"]),
    (["shift+Tab"], ["key-down left-shift [shift]", 'key-down #"^-" [shift]', 'key #"^-" [shift]',
                     'key-up #"^-" []', "key-up left-shift []"]),
    (["alt+a"], ["key-down left-alt [alt]", 'key-down #"A" [alt]', 'key-up #"A" []', "key-up left-alt []"]),
    # the input method composes; the key finishing it goes down with the
    # character (the dead key has no Windows key code)
    (["dead_acute", "e"], ['key-down #"E" []', 'key #"é" []', 'key-up #"E" []']),
]


def events(x, app, last, timeout=30):
    return x.read_until(app, last, timeout)


def tests(x):
    # keys of their own for what is typed, bound before the client starts:
    # xdotool's passing remaps race a slow client's reading of the keymap
    for sym in ("dead_acute", "eacute", "EuroSign", "U1F600"):
        x.run(["xmodmap", "-e", "keycode any = " + sym], check=True)
    app = x.start_zun(SCRIPT, env=dict(x.env, FONTCONFIG_FILE=FONTS))
    lines = x.read_until(app, "ready", 120)  # slow under the sanitizers
    tw, th = (float(v) for v in lines[0].split("(")[1].rstrip(")").split(","))
    wid = x.find_window("Zun")
    x.check("title", x.prop(wid, "_NET_WM_NAME"), '_NET_WM_NAME(UTF8_STRING) = "Zun événement ☃"')
    x.check("class", x.prop(wid, "WM_CLASS"), 'WM_CLASS(STRING) = "zun", "Zun"')
    x.check("client geometry", x.geometry(wid), (100, 100, 300, 200))
    x.screenshot(wid, "window")

    # the window's colour, the base face's colour and its draw block's box
    w, h, rows = x.pixels(wid)
    x.check("window colour", xvfb_harness.region_is(rows, 0, 0, 300, 30, (250, 250, 250)), True)
    x.check("base colour", xvfb_harness.region_is(rows, 20, 30, 120, 40, (0, 0, 255)), True)
    x.check("draw block box", xvfb_harness.region_is(rows, 30, 40, 70, 70, (255, 0, 0)), True)
    x.check("right of the box", xvfb_harness.region_is(rows, 70, 40, 120, 90, (0, 0, 255)), True)
    x.check("below the base", xvfb_harness.region_is(rows, 0, 90, 150, 200, (250, 250, 250)), True)
    # the text's dark pixels: some, and all within the centred box (1 pixel of
    # anti-aliasing around it)
    left, top = 150 + (120 - tw) / 2, 30 + (40 - th) / 2
    dark = [(x_, y_) for y_ in range(30, 70) for x_ in range(150, 270) if sum(rows[y_][x_]) < 384]
    x.check("text drawn", len(dark) > 20, True)
    x.check("text inside its box", [p for p in dark if not (left - 1 <= p[0] <= left + tw + 1 and
                                                           top - 1 <= p[1] <= top + th + 1)], [])

    # a click on the base face: offsets in its own units
    x.move(wid, 30, 40)
    x.check("over", events(x, app, "over"), ["over B 10x10 []"])
    x.run(["xdotool", "click", "1"], check=True)
    x.check("click", events(x, app, "up"), ["down B 10x10 [down]", "up B 10x10 []"])
    time.sleep(0.6)  # past the double-click time of the click before
    x.run(["xdotool", "click", "--repeat", "2", "--delay", "80", "1"], check=True)
    got = events(x, app, "up")
    got += events(x, app, "up")
    x.check("double click", [e.split()[0] for e in got], ["down", "up", "down", "dbl-click", "up"])
    x.run(["xdotool", "click", "5"], check=True)
    time.sleep(0.6)
    x.check("wheel down", events(x, app, "wheel"), ["wheel B -1.0"])
    x.move(wid, 200, 150)
    x.check("onto the window", events(x, app, "over W"), ["over B 180x120 [away]", "over W 200x150 []"])
    # out of the window (the leave) and back
    x.move(wid, 200, 250)
    x.check("leave", events(x, app, "over W"), ["over W 200x250 [away]"])
    x.move(wid, 200, 150)
    x.check("back", events(x, app, "over W"), ["over W 200x150 []"])
    x.run(["xdotool", "click", "3"], check=True)
    x.check("right click", events(x, app, "alt-up"), ["alt-down W 200x150 [alt-down]", "alt-up W 200x150 []"])

    # keys go to the selected base face
    x.focus(wid)
    x.check("focus", events(x, app, "focus")[-1], "focus")
    for keys, want in KEYS:
        x.key(*keys)
        # the modifier and the key are released in xdotool's order
        x.check("keys %s" % keys, sorted(x.read_lines(app, len(want))), sorted(want))
    x.type("é€😀")
    x.check("typed text", events(x, app, 'key #"😀"'), ['key #"é" []', 'key #"€" []', 'key #"😀" []'])

    # a resize from outside
    x.run(["xdotool", "windowsize", "--sync", str(wid), "400", "250"], check=True)
    x.check("resize", events(x, app, "resize")[-1], "resize W 400x250")
    x.check("resized client", x.geometry(wid)[2:], (400, 250))

    # the close button: answered stop, the loop ends
    x.close_request(wid)
    x.check("close", events(x, app, "loop ended")[-2:], ["close", "loop ended"])
    x.check("exit status", x.finish(app)[1], 0)


def layout_case(x):
    """A keyboard layout changed while running: keys map by the new one.
    Xlib without XKB keeps the core keymap, which only the MappingNotify
    handling refreshes (with XKB, Xlib follows by itself)."""
    app = x.start_zun(SCRIPT, env=dict(x.env, FONTCONFIG_FILE=FONTS, XKB_DISABLE="1"))
    x.read_until(app, "ready", 120)
    wid = x.find_window("Zun")
    x.focus(wid)
    x.read_until(app, "focus")
    # xdotool presses the key that gives each keysym now: under de, z and y
    # trade places. A first key under us has Xlib read the keymap.
    try:
        for layout, key in (("us", "z"), ("de", "z"), ("de", "y")):
            x.run(["setxkbmap", layout], check=True)
            x.key(key)
            x.check("%s layout: %s" % (layout, key), x.read_lines(app, 3),
                    ['key-down #"%s" []' % key.upper(), 'key #"%s" []' % key, 'key-up #"%s" []' % key.upper()])
    finally:
        x.run(["setxkbmap", "us"], check=True)
    x.close_request(wid)
    x.read_until(app, "loop ended")
    x.check("layout: exit status", x.finish(app)[1], 0)


def all_cases(x):
    tests(x)
    layout_case(x)


if __name__ == "__main__":
    sys.exit(xvfb_harness.main(all_cases, tools=("xdotool", "import", "xprop", "xwininfo", "setxkbmap", "xmodmap")))
