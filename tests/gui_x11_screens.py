#!/usr/bin/env python3
"""Screens, DPI, desktop settings and the window manager on a real X server
(tests/xvfb_harness.py).

Cases: the style flags' hints as xprop reads them; Xft.dpi from xrdb before
start (a 300x200 window has a 450x300 client) and changed while running (the
window and its pane laid out again); two monitors from xrandr --setmonitor,
then a frame-buffer change, each reaching refresh-screens once; a dark theme
served by xsettingsd (controls drawn dark, light again after the manager
changes theme, high contrast refusing dark mode) and _GTK_THEME_VARIANT after
set-dark-mode; a translucent borderless window with and without a compositor;
under openbox, the frame extents, the frame's corner kept at
the face's offset, minimize and restore reaching awake.
"""
import ctypes
import os
import signal
import subprocess
import sys
import time

import xvfb_harness

# Prints what reaches awake; a key press runs the script's `on-key` hook.
AWAKE = r'''on-key: none
system/view/awake: func [event /local t] [
	t: event/type
	case [
		find [resize move minimize maximize restore] t [print [t event/face/data to pair! event/face/size event/offset]]
		t = 'key-down [if :on-key [on-key event/key]]
		t = 'close [print "close"]
	]
	either t = 'close ['stop] ['done]
]
'''

# Each window's flags, and what our code sets for them: _MOTIF_WM_HINTS
# (flags, functions, decorations), _NET_WM_WINDOW_TYPE, a fixed size.
# functions: resize 2, move 4, minimize 8, maximize 16, close 32;
# decorations: border 2, resize handle 4, title 8, menu 16, minimize 32,
# maximize 64.
HINTS = [
    ("[]", (0x2c, 0x3a), None, True),
    ("[resize]", (0x3e, 0x7e), None, False),
    ("[resize no-max]", (0x2e, 0x3e), None, False),
    ("[no-min]", (0x24, 0x1a), None, True),
    ("[resize no-buttons]", (0x26, 0xe), None, False),
    ("[no-title]", (0x24, 0x2), None, True),
    ("[no-border]", (0x24, 0x0), None, True),
    ("[popup]", (0x2c, 0x3a), "_NET_WM_WINDOW_TYPE_UTILITY", True),
]


def value(x, wid, name):
    """What xprop shows after "= ", None when the window has no such property."""
    text = x.prop(wid, name)
    return text.split("= ", 1)[1] if "= " in text else None


def hints_case(x):
    made = "\n".join('show-face new-face [type: window offset: %dx%d size: 120x80 text: "hint-%d" flags: %s] '
                     'p/make-null-handle' % (20 + 130 * (i % 6), 20 + 120 * (i // 6), i, flags)
                     for i, (flags, _, _, _) in enumerate(HINTS))
    app = x.start_zun(xvfb_harness.FACES + AWAKE + made + r'''
owner: new-face [type: window offset: 300x400 size: 200x100 text: "hint-owner" data: "O"]
h: show-face owner p/make-null-handle
p/show-window h
modal: new-face [type: window offset: 320x420 size: 100x60 text: "hint-modal" flags: [modal]]
show-face modal p/make-null-handle
print "ready"
p/do-event-loop false
''')
    x.read_until(app, "ready", 60)
    for i, (flags, (functions, decor), kind, fixed) in enumerate(HINTS):
        wid = x.find_window("^hint-%d$" % i)
        x.check("motif hints %s" % flags, value(x, wid, "_MOTIF_WM_HINTS"),
                "0x3, 0x%x, 0x%x, 0x0, 0x0" % (functions, decor))
        x.check("window type %s" % flags, value(x, wid, "_NET_WM_WINDOW_TYPE"), kind)
        normal = x.prop(wid, "WM_NORMAL_HINTS")
        x.check("user position %s" % flags, "user specified location: %d, %d" % (
            20 + 130 * (i % 6), 20 + 120 * (i // 6)) in normal, True)
        x.check("fixed size %s" % flags, ("minimum size: 120 by 80" in normal, "maximum size: 120 by 80" in normal),
                (fixed, fixed))
    owner, modal = x.find_window("^hint-owner$"), x.find_window("^hint-modal$")
    x.check("modal: transient for its owner", x.prop(modal, "WM_TRANSIENT_FOR"),
            "WM_TRANSIENT_FOR(WINDOW): window id # 0x%x" % owner)
    x.check("modal: the modal state", value(x, modal, "_NET_WM_STATE"), "_NET_WM_STATE_MODAL")
    x.close_request(owner)
    x.read_until(app, "close")
    x.check("hints: exit", x.finish(app)[1], 0)


def xrdb(x, dpi):
    x.run(["xrdb", "-nocpp", "-merge"], input=b"Xft.dpi: %d\n" % dpi, check=True)


WINDOW = xvfb_harness.FACES + AWAKE + r'''win: new-face [type: window offset: 100x100 size: 300x200 text: "Screens" color: 255.255.255
	data: "W" flags: [resize]]
h: show-face win p/make-null-handle
b: new-face [type: base offset: 20x30 size: 100x60 color: 0.0.255 data: "B"]
show-face b h
win/pane: reduce [b]
; the screens as the layer sees them: count, primary size, the pointer's
screens: func [what /local s] [
	s: p/fetch-all-screens
	print [what length? s p/get-screen-size 0 index? find s p/get-current-screen]
]
p/refresh-screens: does [screens "refresh"]
'''


def dpi_case(x):
    xrdb(x, 144)
    # the xrdb client has gone: a server without -noreset would have reset
    x.check("resources kept", "Xft.dpi:\t144" in x.run(["xrdb", "-query"], check=True).stdout.decode(), True)
    app = x.start_zun(WINDOW + r'''
print ["metrics" system/view/metrics/dpi]
p/show-window h
print "ready"
p/do-event-loop false
''')
    x.check("dpi at start", x.read_until(app, "ready", 60)[-2:], ["metrics 144", "ready"])
    wid = x.find_window("^Screens$")
    x.check("client at 144 DPI", x.geometry(wid), (150, 150, 450, 300))
    w, h, rows = x.pixels(wid)
    x.check("base at 144 DPI", (xvfb_harness.region_is(rows, 30, 45, 180, 135, (0, 0, 255)),
                                 xvfb_harness.region_is(rows, 0, 135, 450, 300, (255, 255, 255))), (True, True))
    x.screenshot(wid, "dpi-144")
    xrdb(x, 96)
    # every monitor has the new DPI: the window is sized for it, corner
    # kept (resize comes twice after a size change), then the screens are
    # refreshed in the new scale
    x.check("dpi change", x.read_until(app, "refresh"), ["resize W 300x200 300x200"] * 2 + ["refresh 1 1024x768 1"])
    x.check("client at 96 DPI", x.geometry(wid), (150, 150, 300, 200))
    w, h, rows = x.pixels(wid)
    x.check("base at 96 DPI", (xvfb_harness.region_is(rows, 20, 30, 120, 90, (0, 0, 255)),
                                xvfb_harness.region_is(rows, 0, 90, 300, 200, (255, 255, 255))), (True, True))
    x.screenshot(wid, "dpi-96")
    x.close_request(wid)
    x.read_until(app, "close")
    x.check("dpi: exit", x.finish(app)[1], 0)


def monitors_case(x):
    # a second mode, so the frame buffer can shrink with the output on it
    x.run(["xrandr", "--newmode", "800x600", "40", "800", "840", "968", "1056", "600", "601", "605", "628"], check=True)
    x.run(["xrandr", "--addmode", "screen", "800x600"], check=True)
    app = x.start_zun(WINDOW + r'''
on-key: func [k] [screens "now"]
screens "start"
p/show-window h
print "ready"
p/do-event-loop false
''')
    x.check("one screen at start", x.read_until(app, "ready", 60)[-2:], ["start 1 1024x768 1", "ready"])
    wid = x.find_window("^Screens$")
    xrandr = lambda *args: x.run(["xrandr"] + list(args), check=True)
    x.focus(wid)
    # after each change a key asks for the screens: exactly one refresh came
    # before; the pointer's monitor follows it
    steps = [
        # the server tells of a monitor edit only by the root's ConfigureNotify
        (("--setmonitor", "L", "512/135x768/203+0+0", "screen"), (700, 300), ["refresh 1 512x768 1", "now 1 512x768 1"]),
        (("--setmonitor", "R", "512/135x768/203+512+0", "none"), None,
         ["refresh 2 512x768 2", "now 2 512x768 2"]),
        # the monitors stay as set, the screen shrinks
        (("--fb", "800x600", "--output", "screen", "--mode", "800x600"), None,
         ["refresh 2 512x768 2", "now 2 512x768 2"]),
    ]
    for args, pointer, want in steps:
        if pointer:
            x.run(["xdotool", "mousemove", "--sync"] + [str(v) for v in pointer], check=True)
        xrandr(*args)
        x.key("x")
        x.check("xrandr %s" % " ".join(args), x.read_until(app, "now"), want)
    x.close_request(wid)
    x.read_until(app, "close")
    x.check("monitors: exit", x.finish(app)[1], 0)
    for args in (["--delmonitor", "L"], ["--delmonitor", "R"], ["--fb", "1024x768", "--output", "screen", "--mode",
                                                                 "1024x768"]):
        xrandr(*args)


def selection_owner(x, name, timeout=10):
    """Waits until someone owns the selection `name`."""
    lib = xvfb_harness.libx11()
    lib.XOpenDisplay.restype = ctypes.c_void_p
    lib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    lib.XInternAtom.restype = ctypes.c_ulong
    lib.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    lib.XGetSelectionOwner.restype = ctypes.c_ulong
    lib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    d = lib.XOpenDisplay(x.display.encode())
    try:
        atom = lib.XInternAtom(d, name.encode(), 0)
        deadline = time.time() + timeout
        while not lib.XGetSelectionOwner(d, atom):
            if time.time() > deadline:
                raise xvfb_harness.XError("nobody owns " + name)
            time.sleep(0.05)
    finally:
        lib.XCloseDisplay(d)


def settle(x, wid, at, want, timeout=5):
    """The pixel at `at` once it is near `want`, or the last seen past the time."""
    deadline = time.time() + timeout
    while True:
        got = x.pixel(wid, *at)
        if xvfb_harness.near(got, want) or time.time() > deadline:
            return got
        time.sleep(0.1)


def theme_case(x):
    conf = os.path.join(x.folder, "xsettingsd.conf")
    serve = lambda theme: open(conf, "w").write('Net/ThemeName "%s"\nNet/DoubleClickTime 400\n' % theme)
    serve("Adwaita-dark")
    settings = xvfb_harness.spawn(["xsettingsd", "-c", conf], env=x.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
    selection_owner(x, "_XSETTINGS_S0")
    app = x.start_zun(WINDOW + r'''
show-face new-face [type: button offset: 150x20 size: 100x40 text: "OK"] h
on-key: func [k] [
	switch k [
		#"D" [p/set-dark-mode win true print "dark"]
		#"L" [p/set-dark-mode win false print "light"]
		#"S" [print ["support" p/support-dark-mode?]]
	]
]
p/show-window h
print "ready"
p/do-event-loop false
''')
    x.read_until(app, "ready", 60)
    wid = x.find_window("^Screens$")
    x.focus(wid)
    button = (155, 25)  # inside the button, away from its text and border
    x.check("dark theme at start: the button", settle(x, wid, button, (51, 51, 51)), (51, 51, 51))
    x.screenshot(wid, "theme-dark")
    x.check("no variant before set-dark-mode", value(x, wid, "_GTK_THEME_VARIANT"), None)
    for key, variant in (("d", "dark"), ("l", "light")):
        x.key(key)
        x.read_until(app, variant)
        x.check("variant after set-dark-mode " + variant, value(x, wid, "_GTK_THEME_VARIANT"), '"%s"' % variant)
    # the manager changes theme: the window is drawn again in it
    serve("Adwaita")
    settings.send_signal(signal.SIGHUP)
    x.check("light theme: the button", settle(x, wid, button, (225, 225, 225)), (225, 225, 225))
    x.screenshot(wid, "theme-light")
    x.key("s")
    x.check("dark mode supported", x.read_until(app, "support"), ["support true"])
    serve("HighContrast")
    settings.send_signal(signal.SIGHUP)
    time.sleep(0.5)
    x.key("s")
    x.check("no dark mode with high contrast", x.read_until(app, "support"), ["support false"])
    x.close_request(wid)
    x.read_until(app, "close")
    x.check("theme: exit", x.finish(app)[1], 0)
    xvfb_harness.stop(settings)


def openbox_case(x):
    wm = xvfb_harness.spawn(["openbox", "--sm-disable"], env=x.env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    deadline = time.time() + 10
    while "window id" not in x.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"]).stdout.decode():
        if time.time() > deadline:
            raise xvfb_harness.XError("openbox did not start")
        time.sleep(0.1)
    app = x.start_zun(WINDOW + r'''
on-key: func [k] [if k = #"M" [print ["sent" send-event-os make event! [type: 'minimize face: win] true]]]
p/show-window h
print "ready"
p/do-event-loop false
''')
    x.read_until(app, "ready", 60)
    wid = x.find_window("^Screens$")
    extents = value(x, wid, "_NET_FRAME_EXTENTS")
    left, right, top, bottom = (int(v) for v in (extents or "0, 0, 0, 0").split(", "))
    x.check("a frame with a title bar", top > 10, True)
    # the frame's corner at the face's offset, the client inside it
    x.check("client inside the frame at the offset", x.geometry(wid), (100 + left, 100 + top, 300, 200))
    x.screenshot("root", "openbox")
    # minimized by the window manager, restored by activation
    x.run(["xdotool", "windowminimize", "--sync", str(wid)], check=True)
    x.check("minimized by the manager", x.read_until(app, "minimize")[-1], "minimize W 300x200 none")
    x.check("iconic", "Iconic" in x.prop(wid, "WM_STATE"), True)
    x.run(["xdotool", "windowactivate", "--sync", str(wid)], check=True)
    x.check("restored", x.read_until(app, "restore")[-1], "restore W 300x200 none")
    # minimized from the script
    x.focus(wid)
    x.key("m")
    x.check("minimized from the script", x.read_until(app, "minimize")[-2:], ["sent true", "minimize W 300x200 none"])
    x.check("iconic again", "Iconic" in x.prop(wid, "WM_STATE"), True)
    x.close_request(wid)
    x.read_until(app, "close")
    x.check("openbox: exit", x.finish(app)[1], 0)
    xvfb_harness.stop(wm)


# Owns the compositor selection as a compositing manager does, then waits:
# enough for clients to choose their visuals.
COMPOSITOR = r'''
import ctypes, sys, time
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XInternAtom.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
x.XCreateSimpleWindow.restype = ctypes.c_ulong
x.XSetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
w = x.XCreateSimpleWindow(d, x.XDefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0)
x.XSetSelectionOwner(d, x.XInternAtom(d, b"_NET_WM_CM_S0", 0), w, 0)
x.XSync(d, 0)
print("owned", flush=True)
time.sleep(600)
'''


def layered_case(x):
    """A borderless window of a translucent colour: without a compositor its
    pixels lie over the panel colour; with one it takes a 32-bit visual."""
    script = xvfb_harness.FACES + AWAKE + r'''
win: new-face [type: window offset: 100x100 size: 200x100 text: "Layered" flags: [no-border]
	color: 255.0.0.128]
h: show-face win p/make-null-handle
b: new-face [type: base offset: 20x20 size: 50x50 color: 0.0.255]
show-face b h
win/pane: reduce [b]
p/show-window h
print "ready"
p/do-event-loop false
'''
    depth = lambda wid: int(x.run(["xwininfo", "-id", str(wid)], check=True).stdout.decode()
                            .split("Depth:")[1].split()[0])
    compositor = None
    for composited in (False, True):
        if composited:
            compositor = xvfb_harness.spawn([sys.executable, "-c", COMPOSITOR], env=x.env, stdout=subprocess.PIPE)
            compositor.seen = []
            x.read_until(compositor, "owned")
        app = x.start_zun(script)
        x.read_until(app, "ready", 60)
        wid = x.find_window("^Layered$")
        x.check("layered depth, compositor %s" % composited, depth(wid), 32 if composited else 24)
        if not composited:
            # half of red over 240.240.240
            x.check("translucent over the panel colour", x.pixel(wid, 5, 5), (247, 120, 120))
            x.check("an opaque child", x.pixel(wid, 30, 30), (0, 0, 255))
        x.close_request(wid)
        x.read_until(app, "close")
        x.check("layered: exit", x.finish(app)[1], 0)
    xvfb_harness.stop(compositor)


def main(x):
    hints_case(x)
    dpi_case(x)
    monitors_case(x)
    theme_case(x)
    layered_case(x)
    openbox_case(x)  # last: the others run without a window manager


if __name__ == "__main__":
    sys.exit(xvfb_harness.main(main, tools=("xdotool", "import", "xprop", "xwininfo", "xrdb", "xrandr",
                                            "xsettingsd", "openbox")))
