#!/usr/bin/env python3
"""compress and decompress against python3's zlib and gzip modules and the
gzip tool, both ways, on a table of inputs.

  compress_oracle.py ZUN            small and mid-size inputs
  compress_oracle.py ZUN --corpus   the Canterbury files, with the CRC-32 of
                                    our deflate output pinned at levels 1, 6, 9
"""
import gzip
import os
import random
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
CANTERBURY = os.path.join(HERE, "..", "..", "shared", "corpora", "canterbury")
LEVELS = [None] + list(range(1, 10))

# Our deflate output for every Canterbury file: (CRC-32, length) at levels
# 1, 6 and 9. The compressor's bytes are part of its contract: a change here
# is a change of output format.
PINNED = {
    "alice29.txt": ((0x8C67874B, 61610), (0x825119F4, 54351), (0x5FA2E2EC, 54117)),
    "asyoulik.txt": ((0x3BD08251, 53917), (0x613C1764, 48869), (0x7AE15B6D, 48750)),
    "cp.html": ((0x27D303E4, 8476), (0xCC06FAD7, 7955), (0xED5F6DAD, 7934)),
    "fields.c": ((0xA1F48235, 3377), (0x005C2809, 3115), (0xCF80CFF7, 3108)),
    "grammar.lsp": ((0x2911F16B, 1262), (0xF8D92AA8, 1216), (0xF8D92AA8, 1216)),
    "kennedy.xls": ((0x609AF1AD, 210706), (0xB8E45F69, 204061), (0x1DDBD2DF, 207423)),
    "lcet10.txt": ((0xA249D874, 163930), (0xBEE2EA27, 144782), (0x8A13A36D, 144318)),
    "plrabn12.txt": ((0xAE0D8C16, 218295), (0x00911640, 195133), (0x633560F5, 194198)),
    "ptt5": ((0xB0E5350A, 59184), (0xF4C8FE11, 56465), (0xBC798044, 52220)),
    "sum": ((0xEDFE0FBB, 13987), (0x1EFCA96A, 12984), (0x040C975C, 12832)),
    "xargs.1": ((0x439BBD11, 1789), (0x8574594D, 1730), (0x8574594D, 1730)),
}


def text(n, seed=1):
    rnd = random.Random(seed)
    words = [bytes(rnd.choice(b"etaoinshrdlu") for _ in range(rnd.randint(1, 9)))
             for _ in range(400)]
    out = bytearray()
    while len(out) < n:
        out += rnd.choice(words) + (b"\n" if rnd.random() < 0.1 else b" ")
    return bytes(out[:n])


def small_inputs():
    rnd = random.Random(23)
    noise = lambda n: bytes(rnd.getrandbits(8) for _ in range(n))
    return {
        "empty": b"",
        "one": b"A",
        "three": b"abc",
        "n65535": text(65535),
        "n65536": text(65536, 2),
        "n65537": text(65537, 3),
        "random": noise(150000),
        "run": b"\x07" * 200000,
        # stored blocks bordering dynamic ones
        "mixed": noise(70000) + text(120000, 4) + noise(70000),
    }


def corpus_inputs():
    return {name: open(os.path.join(CANTERBURY, name), "rb").read()
            for name in sorted(PINNED)}


def run_zun(zun, script_text, tmp):
    path = os.path.join(tmp, "run.zun")
    with open(path, "w") as f:
        f.write("Zun []\n" + script_text)
    r = subprocess.run([zun, path], capture_output=True, timeout=1200,
                       stdin=subprocess.DEVNULL)
    if r.returncode != 0:
        sys.exit("zun failed (%d): %s %s" % (r.returncode, r.stdout.decode(errors="replace")[-2000:],
                                              r.stderr.decode(errors="replace")[-2000:]))
    return r.stdout.decode().split("\n")


def zun_file(path):
    return "%" + path


def check_our_output(zun, inputs, tmp, failures):
    """Our compress at every level decodes with python3 and the gzip tool."""
    lines = []
    for name in inputs:
        src = zun_file(os.path.join(tmp, name))
        lines.append("d: read/binary %s" % src)
        for method in ("zlib", "deflate", "gzip"):
            for level in LEVELS:
                call = "compress d '%s" % method if level is None else \
                    "compress/level d '%s %d" % (method, level)
                out = zun_file(os.path.join(tmp, "%s.%s.%s" % (name, method, level)))
                lines.append("write/binary %s %s" % (out, call))
    run_zun(zun, "\n".join(lines) + "\n", tmp)
    for name, data in inputs.items():
        for method in ("zlib", "deflate", "gzip"):
            for level in LEVELS:
                path = os.path.join(tmp, "%s.%s.%s" % (name, method, level))
                packed = open(path, "rb").read()
                label = "%s %s level %s" % (name, method, level)
                try:
                    if method == "zlib":
                        got = zlib.decompress(packed)
                        flg = {None: 0x01, 1: 0x01, 2: 0x5E, 3: 0x5E, 4: 0x5E, 5: 0x5E,
                               6: 0x9C}.get(level, 0xDA)
                        if packed[:2] != bytes([0x78, flg]):
                            failures.append("%s: header %s" % (label, packed[:2].hex()))
                    elif method == "deflate":
                        got = zlib.decompress(packed, -15)
                    else:
                        got = gzip.decompress(packed)
                        tool = subprocess.run(["gzip", "-dc"], input=packed, capture_output=True)
                        if tool.returncode != 0 or tool.stdout != data:
                            failures.append("%s: gzip -dc disagrees" % label)
                except Exception as e:  # noqa: BLE001 - report and go on
                    failures.append("%s: %s" % (label, e))
                    continue
                if got != data:
                    failures.append("%s: round trip differs" % label)
                os.remove(path)


def foreign_streams(data, full):
    """(label, method, bytes) made by python3's zlib and gzip from data."""
    out = []

    def both(label, level=6, wbits=15, mem=8, strategy=zlib.Z_DEFAULT_STRATEGY):
        for raw in (False, True):
            c = zlib.compressobj(level, zlib.DEFLATED, -wbits if raw else wbits, mem, strategy)
            out.append(("%s %s" % ("raw" if raw else "zlib", label),
                        "deflate" if raw else "zlib", c.compress(data) + c.flush()))

    for level in range(10):
        both("level %d" % level, level=level)
    if full:
        for wbits in range(9, 16):
            both("window %d" % wbits, wbits=wbits)
        for mem in (1, 9):
            both("memlevel %d" % mem, mem=mem)
        for name in ("Z_FILTERED", "Z_HUFFMAN_ONLY", "Z_RLE", "Z_FIXED"):
            both(name, strategy=getattr(zlib, name))
    out.append(("gzip module", "gzip", gzip.compress(data, mtime=0)))
    return out


def gzip_members(data):
    """gzip members with the optional header fields, built byte by byte."""
    body = zlib.compressobj(9, zlib.DEFLATED, -15)
    deflated = body.compress(data) + body.flush()
    trailer = struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)
    members = []
    for flg, extra in ((0x04, b"\x06\x00AB\x02\x00xy"),
                       (0x08, b"name.txt\x00"), (0x10, b"a comment\x00"),
                       (0x1C, b"\x03\x00abcname\x00comment\x00")):
        header = bytes([0x1F, 0x8B, 8, flg, 1, 2, 3, 4, 0, 3]) + extra
        members.append(("gzip flags %02x" % flg, header + deflated + trailer))
        hflg = bytes([0x1F, 0x8B, 8, flg | 0x02]) + header[4:]
        crc16 = struct.pack("<H", zlib.crc32(hflg) & 0xFFFF)
        members.append(("gzip flags %02x + header crc" % flg, hflg + crc16 + deflated + trailer))
    return members


def gzip_tool_files(data, tmp, name):
    """gzip -1 and -9 of a named file: FNAME is set."""
    out = []
    path = os.path.join(tmp, name + ".plain")
    with open(path, "wb") as f:
        f.write(data)
    for level in ("-1", "-9"):
        packed = subprocess.run(["gzip", level, "-c", path], capture_output=True,
                                check=True).stdout
        assert packed[3] & 0x08, "gzip tool set no name"
        out.append(("gzip tool %s" % level, packed))
    os.remove(path)
    return out


def check_foreign(zun, inputs, tmp, full, failures):
    """Our decompress reads what python3's zlib, gzip and the gzip tool make."""
    cases = []  # (label, method, path, data)
    for name, data in inputs.items():
        streams = foreign_streams(data, full)
        streams += [(label, "gzip", packed) for label, packed in gzip_members(data)]
        streams += [(label, "gzip", packed) for label, packed in gzip_tool_files(data, tmp, name)]
        for i, (label, method, packed) in enumerate(streams):
            path = os.path.join(tmp, "%s.in%d" % (name, i))
            with open(path, "wb") as f:
                f.write(packed)
            cases.append(("%s: %s" % (name, label), method, path, data))
    lines = ["r: try [decompress read/binary %s '%s] print either error? r [r/id] "
             "[[length? r checksum r 'crc32]]" % (zun_file(path), method)
             for _, method, path, _ in cases]
    got = run_zun(zun, "\n".join(lines) + "\n", tmp)
    print("%d foreign streams read" % len(cases))
    for (label, _, path, data), line in zip(cases, got):
        crc = zlib.crc32(data)
        want = "%d %d" % (len(data), crc - (1 << 32) if crc >= 1 << 31 else crc)
        if line != want:
            failures.append("%s: zun gave %r, want %r" % (label, line, want))
        os.remove(path)


def check_pinned(zun, tmp, failures):
    lines = []
    for name in sorted(PINNED):
        src = zun_file(os.path.join(CANTERBURY, name))
        lines.append("d: read/binary %s" % src)
        for level in (1, 6, 9):
            lines.append("r: compress/level d 'deflate %d print [checksum r 'crc32 length? r]" % level)
    got = iter(run_zun(zun, "\n".join(lines) + "\n", tmp))
    for name in sorted(PINNED):
        for level, (crc, size) in zip((1, 6, 9), PINNED[name]):
            want = "%d %d" % (crc - (1 << 32) if crc >= 1 << 31 else crc, size)
            line = next(got)
            if line != want:
                failures.append("%s level %d: deflate output %r, pinned %r" % (name, level, line, want))


def main():
    zun = sys.argv[1]
    corpus = "--corpus" in sys.argv
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        inputs = corpus_inputs() if corpus else small_inputs()
        for name, data in inputs.items():
            with open(os.path.join(tmp, name), "wb") as f:
                f.write(data)
        if corpus:
            check_pinned(zun, tmp, failures)
        check_our_output(zun, inputs, tmp, failures)
        check_foreign(zun, inputs, tmp, not corpus, failures)
    for f in failures:
        print(f)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
