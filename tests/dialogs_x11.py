#!/usr/bin/env python3
"""The file dialog on a real X server (tests/xvfb_harness.py).

A script shows an owner window, then calls request-file twice. The first
dialog is titled "Open", is transient for the owner and modal, sits centred
on it, and the owner ignores a click while it is open; a path typed into the
name field and Return answer it. The second is left with Escape: none. After
both, the owner takes clicks again and its close button ends the script.
"""
import os
import sys

import xvfb_harness

SCRIPT = xvfb_harness.FACES + r'''system/view/awake: func [event] [
	if event/type = 'down [print ["event down" to pair! event/offset]]
	if event/type = 'close [print "event close"]
	either event/type = 'close ['stop] ['done]
]
win: new-face [type: window offset: 50x50 size: 800x600 text: "Owner" color: 250.250.250]
h: show-face win p/make-null-handle
p/show-window h
p/do-event-loop true
print "ready"
print ["answer" mold p/request-file none %files/ none false false]
print ["answer" mold p/request-file none none none false false]
print "owner"
p/do-event-loop false
print "loop ended"
'''


def open_dialog(x, app, owner):
    """The dialog's id, once it is up, with its placement and hints checked."""
    wid = x.find_window("^Open$")
    x.check("dialog title", x.prop(wid, "_NET_WM_NAME"), '_NET_WM_NAME(UTF8_STRING) = "Open"')
    x.check("transient for the owner", x.prop(wid, "WM_TRANSIENT_FOR"),
            "WM_TRANSIENT_FOR(WINDOW): window id # 0x%x" % owner)
    x.check("modal", "_NET_WM_STATE_MODAL" in x.prop(wid, "_NET_WM_STATE"), True)
    ox, oy, ow, oh = x.geometry(owner)
    dx, dy, dw, dh = x.geometry(wid)
    centre = (ox + ow // 2, oy + oh // 2)
    x.check("centred on the owner", (abs(dx + dw // 2 - centre[0]) <= 1, abs(dy + dh // 2 - centre[1]) <= 1),
            (True, True))
    return wid


def tests(x):
    folder = os.path.join(x.folder, "files")
    os.makedirs(os.path.join(folder, "sub"))
    for name in ("a.txt", "B.TXT", "c.zun"):
        open(os.path.join(folder, name), "w").close()
    app = x.start_zun(SCRIPT)
    x.read_until(app, "ready", 120)  # slow under the sanitizers
    owner = x.find_window("^Owner$")

    # the first dialog: the owner is disabled, a typed path answers it
    dialog = open_dialog(x, app, owner)
    x.screenshot(dialog, "open")
    # the drop-list of types keeps to its row: below it lies the dialog's face
    _, _, _, dh = x.geometry(dialog)
    x.check("below the types", x.pixel(dialog, 200, dh - 4), x.pixel(dialog, 4, dh - 4))
    x.click(owner, 20, 20)
    chosen = os.path.join(folder, "sub", "y é.txt")
    x.focus(dialog)
    x.type(chosen)
    x.key("Return")
    x.check("typed path", x.read_until(app, "answer")[-1], 'answer %%"%s"' % chosen)

    # the second: Escape answers none
    dialog = open_dialog(x, app, owner)
    x.focus(dialog)
    x.key("Escape")
    x.check("escape", x.read_until(app, "answer")[-1], "answer none")
    x.read_until(app, "owner")

    # enabled again: a click reaches it (the one made while the dialog was
    # open never does, it would come first)
    x.click(owner, 40, 30)
    x.check("owner enabled after", x.read_until(app, "event down"), ["event down 40x30"])
    x.close_request(owner)
    x.check("close", x.read_until(app, "loop ended")[-2:], ["event close", "loop ended"])
    x.check("exit status", x.finish(app)[1], 0)


if __name__ == "__main__":
    sys.exit(xvfb_harness.main(tests, tools=("xdotool", "import", "xprop", "xwininfo")))
