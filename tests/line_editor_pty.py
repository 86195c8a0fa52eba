#!/usr/bin/env python3
"""The console's line editor on a pseudo-terminal.

Types the start of a word and Tab, then a refinement's start and Tab, and
watches the line become the completed path; the line then runs. Up brings
the line back from the history, Left and a typed character edit it in the
middle, several candidates are listed, Ctrl-C drops the typed line and Ctrl-D
on an empty line ends the console.
Usage: line_editor_pty.py ZUN
"""
import os
import pty
import select
import signal
import sys
import time

TIMEOUT = 20


class Console:
    def __init__(self, zun):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            os.environ["TERM"] = "xterm"
            os.environ.pop("COLUMNS", None)
            os.execv(zun, [zun])
        self.seen = b""

    def read_until(self, wanted):
        """Reads until `wanted` comes after what was already taken."""
        wanted = wanted.encode()
        deadline = time.time() + TIMEOUT
        while wanted not in self.seen:
            left = deadline - time.time()
            if left <= 0:
                raise AssertionError("waited for %r; screen: %r" % (wanted, self.seen[-400:]))
            ready, _, _ = select.select([self.fd], [], [], left)
            if ready:
                try:
                    chunk = os.read(self.fd, 4096)
                except OSError:
                    chunk = b""
                if not chunk:
                    raise AssertionError("console ended; screen: %r" % self.seen[-400:])
                self.seen += chunk
        cut = self.seen.index(wanted) + len(wanted)
        taken, self.seen = self.seen[:cut], self.seen[cut:]
        return taken.decode("utf-8", "replace")

    def type(self, text):
        os.write(self.fd, text.encode())

    def finish(self):
        deadline = time.time() + TIMEOUT
        while time.time() < deadline:
            done, status = os.waitpid(self.pid, os.WNOHANG)
            if done:
                return os.waitstatus_to_exitcode(status)
            try:
                select.select([self.fd], [], [], 0.1)
                os.read(self.fd, 4096)
            except OSError:
                pass
        os.kill(self.pid, signal.SIGKILL)
        os.waitpid(self.pid, 0)
        raise AssertionError("console did not end")


def main(zun):
    con = Console(zun)
    try:
        con.read_until(">> ")
        con.type("appe\t")
        con.read_until("append")
        con.type("/o\t")
        con.read_until("append/only")
        con.type(" [] [x]\r")
        con.read_until("== [[x]]")
        con.read_until(">> ")
        # Up recalls the line; Left twice and a key edit inside it
        con.type("\x1b[A")
        con.read_until("append/only [] [x]")
        con.type("\x1b[D\x1b[Dy \r")
        con.read_until("== [[y x]]")
        con.read_until(">> ")
        # several candidates are listed, then the prompt and line again
        con.type("to-lo\t")
        con.read_until("to-local-date  to-local-file  to-logic")
        con.read_until(">> to-lo")
        con.type("\x15")  # Ctrl-U clears the line
        # Ctrl-C drops what was typed
        con.type("qqzz")
        con.read_until("qqzz")
        con.type("\x03")
        con.read_until(">> ")
        con.type("6 * 7\r")
        con.read_until("== 42")
        con.read_until(">> ")
        con.type("\x04")  # Ctrl-D on an empty line: end of input
        status = con.finish()
    except AssertionError as e:
        os.kill(con.pid, signal.SIGKILL)
        os.waitpid(con.pid, 0)
        print(e)
        return 1
    if status != 0:
        print("exit status %d" % status)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
