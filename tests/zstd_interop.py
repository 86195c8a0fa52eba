#!/usr/bin/env python3
"""Zstandard interop with the zstd tool and xxhsum.

- Frames the zstd tool makes (every level, --ultra -22, --no-check, --long,
  small compressed blocks, two jobs, concatenated frames, skippable frames
  around them) decode through `decompress` to the input.
- Damaged frames (a dictionary id, the reserved bit, window byte 0xB0, a wrong
  checksum, stray bytes after the last frame, a huge declared size over a tiny
  input) raise invalid-data; the huge size never becomes an allocation (the
  zun process runs under a memory limit).
- Our frames at every level pass `zstd -t` and `zstd -d` gives the input back,
  on a table of inputs whose header bytes are pinned where the format rules
  fix them; the default level gives level 3's frame.
- XXH64 (the content checksum) against `xxhsum -H64`, through frames whose
  checksum the tool writes: a frame decodes only when our digest agrees.

Usage: zstd_interop.py ZUN
"""
import os
import random
import resource
import shutil
import subprocess
import sys
import tempfile

ZUN = sys.argv[1]
HERE = os.path.dirname(os.path.abspath(__file__))
CORPORA = os.path.normpath(os.path.join(HERE, "..", "..", "shared", "corpora"))
CANTERBURY = os.path.join(CORPORA, "canterbury")
GOLDEN = os.path.join(CORPORA, "zstd-golden", "golden-compression")
MAGIC = bytes.fromhex("28B52FFD")
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


def zstd(*args, data=None):
    return subprocess.run(["zstd", "-q", *args], input=data, capture_output=True, check=False)


def limit_memory():
    # 1 GiB of address space: a trusted declared size of 2 GiB would fail.
    resource.setrlimit(resource.RLIMIT_AS, (1 << 30, 1 << 30))


class Zun:
    """Collects decompress and compress cases into one script, run once."""

    def __init__(self, tmp):
        self.tmp = tmp
        self.lines = [
            "Zun []",
            "d: func [in out] [either error? e: try [write/binary out decompress read/binary in 'zstd true]"
            " [print [\"ERR\" e/id]] [print \"OK\"]]",
            "c: func [lvl in out] [write/binary out either lvl = 0 [compress read/binary in 'zstd]"
            " [compress/level read/binary in 'zstd lvl] print \"OK\"]",
        ]
        self.cases = []
        self.count = 0

    def path(self, suffix):
        self.count += 1
        return os.path.join(self.tmp, "f%d%s" % (self.count, suffix))

    def file(self, data, suffix=".bin"):
        p = self.path(suffix)
        with open(p, "wb") as f:
            f.write(data)
        return p

    def decompress(self, frame, expected, what):
        """expected: bytes, or None when invalid-data must be raised."""
        src = self.file(frame, ".zst")
        out = self.path(".out")
        self.lines.append("d %%%s %%%s" % (src, out))
        self.cases.append(("d", out, expected, what))

    def compress(self, data, level, what, check_frame=None):
        src = self.file(data)
        out = self.path(".zst")
        self.lines.append("c %d %%%s %%%s" % (level, src, out))
        self.cases.append(("c", out, (data, check_frame), what))

    def run(self):
        script = self.file("\n".join(self.lines).encode() + b"\n", ".zun")
        # A sanitizer build cannot start under the limit: it runs without.
        probe = self.file(b"Zun []\n", ".zun")
        limited = subprocess.run([ZUN, probe], preexec_fn=limit_memory, check=False).returncode == 0
        r = subprocess.run([ZUN, script], capture_output=True, preexec_fn=limit_memory if limited else None,
                           check=False)
        answers = r.stdout.decode(errors="replace").splitlines()
        if len(answers) != len(self.cases):
            check(False, "zun answered %d of %d cases: %s" % (len(answers), len(self.cases), r.stderr[-400:]))
            return
        for (kind, out, expected, what), answer in zip(self.cases, answers):
            if kind == "d":
                if expected is None:
                    check(answer == "ERR invalid-data", "%s: refused (got %s)" % (what, answer))
                else:
                    got = open(out, "rb").read() if answer == "OK" else None
                    check(got == expected, "%s: decodes to the input (%s)" % (what, answer))
                continue
            data, check_frame = expected
            if answer != "OK":
                check(False, "%s: compress answered %s" % (what, answer))
                continue
            frame = open(out, "rb").read()
            bound = len(data) + 3 * max(1, -(-len(data) // 131072)) + 10
            check(len(frame) <= bound, "%s: within the bound" % what)
            check(zstd("-t", out).returncode == 0, "%s: zstd -t" % what)
            check(zstd("-d", "-c", out).stdout == data, "%s: zstd -d" % what)
            if check_frame:
                check(check_frame(frame), "%s: header bytes %s" % (what, frame[:12].hex()))


def canterbury():
    return {n: open(os.path.join(CANTERBURY, n), "rb").read()
            for n in sorted(os.listdir(CANTERBURY)) if n != "bible.txt"}


def skippable(n, payload):
    return (0x184D2A50 + n).to_bytes(4, "little") + len(payload).to_bytes(4, "little") + payload


def header_size(frame):
    fhd = frame[4]
    single = fhd & 0x20
    fcs = [1 if single else 0, 2, 4, 8][fhd >> 6]
    return 5 + (0 if single else 1) + [0, 1, 2, 4][fhd & 3] + fcs


def tool_frames(z, files):
    rng = random.Random(24)
    edge = {
        "empty": b"",
        "one": b"x",
        "random": bytes(rng.getrandbits(8) for _ in range(70000)),
        "repeated": b"z" * 300000,
    }
    inputs = dict(edge)
    inputs.update(files)
    for name, data in inputs.items():
        for level in range(1, 20):
            if len(data) > 200000 and level not in (1, 3, 9, 19):
                continue
            z.decompress(zstd("-%d" % level, "-c", data=data).stdout, data, "%s at -%d" % (name, level))
    big = files["kennedy.xls"] + files["ptt5"]
    for what, args in [
        ("--ultra -22", ["--ultra", "-22"]),
        ("--no-check", ["--no-check"]),
        ("--long=27", ["--long=27"]),
        ("small blocks", ["--target-compressed-block-size=1024"]),
        ("two jobs", ["-T2", "-B64KiB", "-3"]),
    ]:
        z.decompress(zstd(*args, "-c", data=big).stdout, big, what)
    a, b = files["alice29.txt"], files["fields.c"]
    fa, fb = zstd("-c", data=a).stdout, zstd("-c", "-19", data=b).stdout
    z.decompress(fa + fb, a + b, "two frames")
    z.decompress(skippable(0, b"hello") + fa + skippable(15, b"") + fb + skippable(3, b"bye"), a + b,
                 "skippable frames around frames")
    z.decompress(skippable(7, b"only"), b"", "a skippable frame alone")


def damaged_frames(z, files):
    data = files["fields.c"]
    good = zstd("-c", "--no-check", data=data).stdout
    checked = zstd("-c", "--check", data=data).stdout
    with_dict = bytearray(good)
    # A 1-byte dictionary id: descriptor bit 0 set, one byte inserted after it.
    with_dict[4] |= 1
    with_dict[5:5] = b"\x07"
    z.decompress(bytes(with_dict), None, "a dictionary id")
    reserved = bytearray(good)
    reserved[4] |= 8
    z.decompress(bytes(reserved), None, "the reserved bit")
    windowed = zstd("-c", "--no-check", data=files["kennedy.xls"]).stdout
    check(not (windowed[4] & 0x20), "the tool's kennedy.xls frame has a window byte")
    wide = bytearray(windowed)
    wide[5] = 0xB0
    z.decompress(bytes(wide), None, "window byte 0xB0")
    bad_sum = bytearray(checked)
    bad_sum[-1] ^= 0x55
    z.decompress(bytes(bad_sum), None, "a damaged checksum")
    for n in (1, 2, 3):
        z.decompress(good + b"\x28\xB5\x2F"[:n], None, "%d stray bytes" % n)
    # 2 GiB - 1 declared by a 4-byte size, then one RLE block of 100 bytes.
    huge = MAGIC + bytes([0x80, 0x58]) + (0x7FFFFFFF).to_bytes(4, "little") + \
        (1 | 1 << 1 | 100 << 3).to_bytes(3, "little") + b"a"
    z.decompress(huge, None, "a huge declared size over a tiny input")


def our_frames(z, files):
    rng = random.Random(7)
    text = (files["alice29.txt"] * 8)
    cases = [
        ("empty", b"", lambda f: f[4:6] == bytes([0x20, 0])),
        ("1 byte", b"a", lambda f: f[4:6] == bytes([0x20, 1])),
        ("4 bytes", b"abcd", None),
        ("5 bytes", b"abcde", None),
        ("200 bytes", text[:200], lambda f: f[:6] == bytes.fromhex("28B52FFD20C8")),
        ("1000 bytes", text[:1000], lambda f: f[:7] == bytes.fromhex("28B52FFD60E802")),
        ("65791 bytes", text[:65791], lambda f: f[4] == 0x60 and f[5:7] == (65791 - 256).to_bytes(2, "little")),
        ("65792 bytes", text[:65792], lambda f: f[4] == 0xA0 and f[5:9] == (65792).to_bytes(4, "little")),
        ("128 KiB", text[:131072], None),
        ("128 KiB + 1", text[:131073], None),
        ("one repeated byte", b"q" * 300000, None),
        ("random", bytes(rng.getrandbits(8) for _ in range(200000)), None),
    ]
    for name, data, pinned in cases:
        for level in range(1, 20):
            z.compress(data, level, "%s at level %d" % (name, level), pinned)
    for name, data in files.items():
        for level in range(1, 20):
            z.compress(data, level, "%s at level %d" % (name, level))
    for name in sorted(os.listdir(GOLDEN)):
        data = open(os.path.join(GOLDEN, name), "rb").read()
        for level in (1, 3, 9, 19):
            z.compress(data, level, "golden %s at level %d" % (name, level))
    mib = text[:1 << 20]
    z.compress(mib, 1, "1 MiB at level 1",
               lambda f: f[4:6] == bytes([0x80, 0x48]) and f[6:10] == (1 << 20).to_bytes(4, "little"))
    z.compress(text[:50000], 0, "the default level")
    z.compress(text[:50000], 3, "level 3")


def frame_checks(z, files):
    """Raw, RLE and empty blocks are fixed by the format rules."""
    def blocks(frame):
        pos = header_size(frame)
        out = []
        while True:
            h = int.from_bytes(frame[pos:pos + 3], "little")
            kind, size = (h >> 1) & 3, h >> 3
            out.append((kind, size, h & 1))
            pos += 3 + (1 if kind == 1 else size)
            if h & 1:
                return out, pos
    results = {}
    for case in z.cases:
        if case[0] == "c":
            results[case[3]] = case[1]
    def frame_of(what):
        return open(results[what], "rb").read()
    b, end = blocks(frame_of("empty at level 3"))
    check(b == [(0, 0, 1)], "an empty input is one empty raw block")
    b, end = blocks(frame_of("one repeated byte at level 3"))
    check(all(k == 1 for k, _, _ in b) and [s for _, s, _ in b] == [131072, 131072, 37856],
          "one repeated byte gives RLE blocks: %s" % b)
    b, end = blocks(frame_of("random at level 19"))
    check(all(k == 0 for k, _, _ in b), "random data gives raw blocks: %s" % b)
    for what in results:
        frame = frame_of(what)
        check(not (frame[4] & 4), "%s: no checksum bit" % what)
        check(blocks(frame)[1] == len(frame), "%s: the frame ends after its last block" % what)
    check(frame_of("the default level") == frame_of("level 3"), "the default level is level 3")


def xxh64_checks(z):
    """Frames with the tool's checksum decode only when our XXH64 agrees with
    xxhsum's digest, which the test also compares with the frame's field."""
    rng = random.Random(64)
    datas = [bytes(rng.getrandbits(8) for _ in range(n)) for n in range(0, 101)]
    datas += [bytes(rng.getrandbits(8) for _ in range(n)) for n in (1000, 65536, 1 << 20)]
    for data in datas:
        frame = zstd("-c", "--check", "-1", data=data).stdout
        digest = subprocess.run(["xxhsum", "-H64"], input=data, capture_output=True, check=True)
        hex_digest = digest.stdout.split()[0].decode()[-16:]
        check(frame[-4:] == int(hex_digest, 16).to_bytes(8, "big")[4:][::-1],
              "xxhsum and the frame agree on %d bytes" % len(data))
        z.decompress(frame, data, "checksummed frame of %d bytes" % len(data))
    for text, expected in [(b"", "ef46db3751d8e999"), (b"abc", "44bc2cf5ad770999")]:
        digest = subprocess.run(["xxhsum", "-H64"], input=text, capture_output=True, check=True)
        check(digest.stdout.split()[0].decode().endswith(expected), "xxhsum of %r" % text)


def main():
    for tool in ("zstd", "xxhsum"):
        if not shutil.which(tool):
            print("missing tool:", tool)
            return 1
    files = canterbury()
    with tempfile.TemporaryDirectory() as tmp:
        z = Zun(tmp)
        tool_frames(z, files)
        damaged_frames(z, files)
        our_frames(z, files)
        xxh64_checks(z)
        z.run()
        frame_checks(z, files)
        print("%d cases, %d failures" % (len(z.cases), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
