"""Shared harness for tests on a real X server.

Xvfb runs on a free display number (-displayfd) with -noreset, so what xrdb
and xrandr set stays when clients leave. Every process the harness starts is
tracked and stopped by its pid when the session ends, also when a check
raises, the test is interrupted, or the harness itself is killed (each child
gets a parent-death signal). Input goes through XTEST (xdotool), windows are
found by name, pixels are read with ImageMagick's `import` (xwd and convert
when `import` is missing), the window manager's close request is sent as a
WM_DELETE_WINDOW client message through libX11.

Typical use:

    def tests(x):
        app = x.start_zun(SCRIPT)
        wid = x.find_window("title")
        x.click(wid, 10, 10)
        ...

    sys.exit(xvfb_harness.main(tests, tools=("xdotool", "import")))
"""
import ctypes
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SKIP = 77
# Faces as scripts make them: every facet, and make-view of the platform.
FACES = r'''facets: [type offset size text image color menu data enabled? visible? selected flags options
	parent pane state rate edge para font actors extra draw change-x deep-change-x]
new-face: func [spec /local f] [
	f: make object! append collect [foreach w facets [keep to set-word! w]] none
	f/enabled?: f/visible?: true
	foreach [w v] spec [f/(w): v]
	f
]
p: system/view/platform
show-face: func [f parent [handle!]] [f/state: reduce [p/make-view f parent 0 none false] f/state/1]
'''
# Every process started, by pid, until it is stopped.
_CHILDREN = {}


def _die_with_parent():
    # the child is stopped when the harness goes, however it goes
    try:
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG
    except OSError:
        pass


def spawn(cmd, **kw):
    """Starts a process the session will stop."""
    proc = subprocess.Popen(cmd, preexec_fn=_die_with_parent, **kw)
    _CHILDREN[proc.pid] = proc
    return proc


def stop(proc, grace=3):
    """Stops one process started here: SIGTERM, then SIGKILL after the grace."""
    if proc.poll() is None:
        try:
            proc.terminate()
            proc.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    for stream in (proc.stdin, proc.stdout, proc.stderr):
        if stream:
            stream.close()
    _CHILDREN.pop(proc.pid, None)


def stop_all():
    for proc in list(_CHILDREN.values()):
        stop(proc)


class XError(Exception):
    pass


def _communicate(proc, timeout, input=None):
    """proc's output once it ends; stopped and XError past the time."""
    try:
        out, err = proc.communicate(input=input, timeout=timeout)
    except subprocess.TimeoutExpired:
        stop(proc)
        raise XError("timed out after %ss: %s" % (timeout, " ".join(proc.args)))
    _CHILDREN.pop(proc.pid, None)
    return out, err


def start_xvfb(width=1024, height=768, dpi=96, timeout=10):
    """Xvfb on a free display; answers (process, ":N"), or (None, None)."""
    r, w = os.pipe()
    proc = spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % (width, height),
                  "-dpi", str(dpi), "-nolisten", "tcp", "-noreset"], pass_fds=(w,),
                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    number = b""
    deadline = time.time() + timeout
    # the number and its newline may come in two writes: the pipe stays open
    # until the newline, closing it early stops the server
    while not number.endswith(b"\n"):
        left = deadline - time.time()
        if left <= 0 or not select.select([r], [], [], left)[0]:
            break
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    if not number.endswith(b"\n"):
        stop(proc)
        return None, None
    return proc, ":" + number.decode().strip()


class Session:
    """One Xvfb server and the tools run against it."""

    def __init__(self, zun, display, folder):
        self.zun_path = zun
        self.display = display
        self.folder = folder
        self.env = dict(os.environ, DISPLAY=display)
        self.env.pop("ZUN_DISPLAY", None)
        self.count = 0
        self.failures = []

    # ---- checks ---------------------------------------------------------------
    def check(self, what, got, want):
        if got != want:
            self.failures.append("%s:\n  want %.300r\n  got  %.300r" % (what, want, got))
        return got == want

    def fail(self, text):
        self.failures.append(text)

    # ---- processes ------------------------------------------------------------
    def run(self, cmd, timeout=20, input=None, check=False):
        """Runs a tool against the display; answers its CompletedProcess."""
        proc = spawn(cmd, env=self.env, stdin=subprocess.PIPE if input is not None else subprocess.DEVNULL,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        out, err = _communicate(proc, timeout, input)
        done = subprocess.CompletedProcess(cmd, proc.returncode, out, err)
        if check and proc.returncode != 0:
            raise XError("%s failed (%d): %s" % (" ".join(cmd), proc.returncode, err.decode(errors="replace")))
        return done

    def script(self, body):
        self.count += 1
        path = os.path.join(self.folder, "s%d.zun" % self.count)
        with open(path, "w", encoding="utf-8") as f:
            f.write("Zun []\n" + body + "\n")
        return path

    def zun(self, body, timeout=60, env=None):
        """Runs a script to its end; answers its standard output."""
        proc = spawn([self.zun_path, self.script(body)], env=env or self.env,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        return self.finish(proc, timeout)[0]

    def start_zun(self, body, env=None):
        """Starts a script that keeps running; read it with read_until."""
        # unbuffered: a line left in a reader's buffer would not wake select
        proc = spawn([self.zun_path, self.script(body)], env=env or self.env, bufsize=0,
                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        proc.seen = []
        return proc

    def read_until(self, proc, want, timeout=10):
        """Reads proc's output lines until one starts with `want`; answers
        the lines read (kept also in proc.seen). XError past the time."""
        lines = []
        deadline = time.time() + timeout
        fd = proc.stdout.fileno()
        while True:
            left = deadline - time.time()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise XError("waited %ss for %r; got %r; stderr %r" % (
                    timeout, want, lines, self._stderr_of(proc)))
            line = proc.stdout.readline()
            if not line:
                raise XError("output ended before %r; got %r; stderr %r" % (want, lines, self._stderr_of(proc)))
            text = line.decode("utf-8", "replace").rstrip("\n")
            lines.append(text)
            proc.seen.append(text)
            if text.startswith(want):
                return lines

    def read_lines(self, proc, count, timeout=30):
        """The next `count` output lines of proc."""
        lines = []
        for _ in range(count):
            lines += self.read_until(proc, "", timeout)
        return lines

    def _stderr_of(self, proc):
        if proc.poll() is None:
            return ""
        return proc.stderr.read().decode("utf-8", "replace")[-500:]

    def finish(self, proc, timeout=10):
        """Waits for proc's end; answers (rest of its output, status)."""
        out, _ = _communicate(proc, timeout)
        return out.decode("utf-8", "replace"), proc.returncode

    # ---- windows ----------------------------------------------------------------
    def find_window(self, name, timeout=10):
        """The id of the visible window whose name matches (a regex)."""
        done = self.run(["timeout", str(timeout), "xdotool", "search", "--sync", "--onlyvisible",
                         "--name", name], timeout=timeout + 5)
        ids = done.stdout.split()
        if not ids:
            raise XError("no visible window named %r" % name)
        return int(ids[0])

    def geometry(self, wid):
        """(x, y, width, height) of the window on the root, from xwininfo."""
        out = self.run(["xwininfo", "-id", str(wid)], check=True).stdout.decode()
        value = lambda key: int(out.split(key)[1].split()[0])
        return (value("Absolute upper-left X:"), value("Absolute upper-left Y:"),
                value("Width:"), value("Height:"))

    def prop(self, wid, name):
        return self.run(["xprop", "-id", str(wid), name], check=True).stdout.decode("utf-8", "replace").strip()

    # ---- input (XTEST) ------------------------------------------------------------
    def move(self, wid, x, y):
        self.run(["xdotool", "mousemove", "--window", str(wid), "--sync", str(x), str(y)], check=True)

    def click(self, wid, x, y, button=1, repeat=1):
        self.move(wid, x, y)
        self.run(["xdotool", "click", "--repeat", str(repeat), "--delay", "60", str(button)], check=True)

    def focus(self, wid):
        self.run(["xdotool", "windowfocus", "--sync", str(wid)], check=True)

    def key(self, *keys):
        self.run(["xdotool", "key", "--delay", "30"] + list(keys), check=True)

    def type(self, text):
        self.run(["xdotool", "type", "--delay", "30", text], check=True)

    def close_request(self, wid):
        """What a window manager's close button sends: WM_DELETE_WINDOW."""
        x = _libx11()
        d = x.XOpenDisplay(self.display.encode())
        if not d:
            raise XError("cannot open " + self.display)
        try:
            event = _ClientMessage(type=33, window=wid, message_type=x.XInternAtom(d, b"WM_PROTOCOLS", 0),
                                   format=32)
            event.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
            event.data[1] = 0
            x.XSendEvent(d, wid, 0, 0, ctypes.byref(event))
            x.XSync(d, 0)
        finally:
            x.XCloseDisplay(d)

    # ---- pixels ---------------------------------------------------------------------
    def pixel(self, wid, x, y):
        """The (r, g, b) of one pixel of the window."""
        out = self.run(["import", "-window", str(wid), "-depth", "8", "-crop", "1x1+%d+%d" % (x, y), "txt:-"],
                       check=True).stdout.decode()
        # "0,0: (255,0,0)  #FF0000  red"
        values = out.splitlines()[-1].split("(")[1].split(")")[0].split(",")
        return tuple(int(float(v)) for v in values[:3])

    def wait_painted(self, wid, x, y, timeout=60):
        """Until the window's pixel at x, y is no longer black: the first paint
        comes once the client's loop runs, slow under the sanitizers."""
        end = time.time() + timeout
        while self.pixel(wid, x, y) == (0, 0, 0) and time.time() < end:
            time.sleep(0.2)

    def screenshot(self, wid, name):
        """A PNG of the window in the session folder; answers its path."""
        path = os.path.join(self.folder, name + ".png")
        if shutil.which("import"):
            self.run(["import", "-window", str(wid), path], check=True)
        else:
            dump = self.run(["xwd", "-silent", "-id", str(wid)], check=True).stdout
            self.run(["convert", "xwd:-", path], input=dump, check=True)
        return path

    def pixels(self, wid):
        """The window as (width, height, rows of (r, g, b))."""
        raw = self.run(["import", "-window", str(wid), "-depth", "8", "rgb:-"], check=True).stdout
        _, _, w, h = self.geometry(wid)
        if len(raw) != w * h * 3:
            raise XError("got %d bytes for %dx%d" % (len(raw), w, h))
        return w, h, [[tuple(raw[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]


def near(got, want, tolerance=8):
    return all(abs(a - b) <= tolerance for a, b in zip(got, want))


def region_is(rows, x0, y0, x1, y1, colour, tolerance=8):
    """Every pixel in [x0, x1) x [y0, y1) within tolerance of colour."""
    return all(near(rows[y][x], colour, tolerance) for y in range(y0, y1) for x in range(x0, x1))


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


def _libx11():
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    return x


def libx11():
    """libX11 through ctypes, for tests that speak the protocol themselves."""
    return ctypes.CDLL("libX11.so.6")


def main(tests, tools=(), zun=None):
    """Runs tests(session) on a fresh Xvfb and answers the exit status: 0,
    1 on failures, SKIP without the tools (a failure under CI=true)."""
    zun = zun or sys.argv[1]
    ci = os.environ.get("CI") == "true"
    missing = [t for t in ("Xvfb",) + tuple(tools) if not shutil.which(t)]
    if missing:
        print(("missing tools: " if ci else "skipped: missing ") + " ".join(missing))
        return 1 if ci else SKIP
    # a SIGTERM (ctest's time-out, a user) still runs the clean-up below
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    failures = []
    try:
        server, display = start_xvfb()
        if not server:
            print("Xvfb did not start")
            return 1 if ci else SKIP
        with tempfile.TemporaryDirectory() as folder:
            session = Session(zun, display, folder)
            try:
                tests(session)
            except XError as e:
                session.fail("stopped: %s" % e)
            failures = session.failures
            if os.environ.get("ZUN_KEEP_SHOTS"):
                for f in os.listdir(folder):
                    if f.endswith(".png"):
                        shutil.copy(os.path.join(folder, f), os.environ["ZUN_KEEP_SHOTS"])
    finally:
        stop_all()
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0
