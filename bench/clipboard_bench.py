#!/usr/bin/env python3
"""A 10 MB text through the X clipboard and back, zun against xclip.

On a fresh Xvfb: zun writes the text with write-clipboard and reads it back
with read-clipboard (its own selection, served through the server like any
other program's paste, by INCR in 256 KiB chunks); the peer is the same round
trip by two xclip runs (`xclip -i` owns the selection, `xclip -o` reads it).
Each side runs ROUNDS times; the medians, their ratio (aim: at most 1.2) and
the peak memory of each side are printed.

    python3 bench/clipboard_bench.py [build/zun] [rounds]
"""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import xvfb_harness  # noqa: E402

SIZE = 10 * 1000 * 1000


def text():
    line = "".join(chr(32 + (i * 7) % 95) for i in range(79)) + "\n"
    body = (line * (SIZE // len(line) + 1))[:SIZE - 1] + "\n"
    return body.encode()


def run_measured(cmd, env, **kw):
    """Runs cmd; answers (wall seconds, its peak RSS in KiB, output). Its
    output must be small (a pipe) or go to a file."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, env=env, **kw)
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    wall = time.perf_counter() - start
    out = proc.stdout.read() if proc.stdout else b""
    if proc.returncode != 0:
        raise RuntimeError("%s failed (%d)" % (cmd[0], proc.returncode))
    return wall, usage.ru_maxrss, out


ZUN = r'''Zun []
s: read %text.txt
rounds: to integer! system/script/args
loop rounds [
	t: dt [write-clipboard s r: read-clipboard]
	if r <> s [print "MISMATCH" quit/return 1]
	print ["round" (to float! t) * 1000]
]
'''


def main():
    zun = sys.argv[1] if len(sys.argv) > 1 else "build/zun"
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    server, display = xvfb_harness.start_xvfb()
    if not server:
        print("Xvfb did not start")
        return 1
    try:
        with tempfile.TemporaryDirectory() as folder:
            data = os.path.join(folder, "text.txt")
            with open(data, "wb") as f:
                f.write(text())
            env = dict(os.environ, DISPLAY=display)
            env.pop("ZUN_DISPLAY", None)

            # xclip: one run owns the selection (its daemon serves it), one reads
            xclip_times, xclip_peak = [], 0
            for _ in range(rounds):
                with open(data, "rb") as source:
                    w_in, peak_in, _ = run_measured(["xclip", "-selection", "clipboard", "-i"], env, stdin=source)
                pasted = os.path.join(folder, "pasted.txt")
                with open(pasted, "wb") as sink:
                    w_out, peak_out, _ = run_measured(["xclip", "-selection", "clipboard", "-o"], env, stdout=sink)
                if os.path.getsize(pasted) != SIZE:
                    raise RuntimeError("xclip read %d bytes" % os.path.getsize(pasted))
                xclip_times.append((w_in + w_out) * 1000)
                xclip_peak = max(xclip_peak, peak_in, peak_out)

            script = os.path.join(folder, "bench.zun")
            with open(script, "w") as f:
                f.write(ZUN)
            _, zun_peak, out = run_measured([zun, script, str(rounds)], env, stdout=subprocess.PIPE)
            zun_times = [float(line.split()[1]) for line in out.decode().splitlines() if line.startswith("round")]
            if len(zun_times) != rounds:
                raise RuntimeError("zun said: %r" % out.decode()[-300:])
    finally:
        xvfb_harness.stop_all()

    z, x = statistics.median(zun_times), statistics.median(xclip_times)
    print("clipboard round trip of %d MB through Xvfb, median of %d" % (SIZE // 1000000, rounds))
    print("  zun     %8.1f ms   peak %7.1f MiB  (whole process)" % (z, zun_peak / 1024))
    print("  xclip   %8.1f ms   peak %7.1f MiB  (largest of the two runs)" % (x, xclip_peak / 1024))
    print("  ratio   %8.2f      (aim: at most 1.2)" % (z / x))
    return 0


if __name__ == "__main__":
    sys.exit(main())
