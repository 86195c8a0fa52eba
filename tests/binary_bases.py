#!/usr/bin/env python3
"""Checks enbase and debase against python's base64 and binascii.

Builds a Zun script that encodes and decodes a table of byte strings (empty,
odd lengths, leading zeros, every byte value) in bases 2, 16, 58 and 64, runs
it through the zun binary and compares each printed line with what python
computes. Base 58 has no module in python: its reference below is the plain
big-number conversion over the bitcoin alphabet.
"""
import base64
import binascii
import random
import subprocess
import sys
import tempfile

ALPHABET58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz"


def b58encode(data):
    zeros = len(data) - len(data.lstrip(b"\0"))
    number = int.from_bytes(data, "big")
    digits = ""
    while number:
        number, rest = divmod(number, 58)
        digits = ALPHABET58[rest] + digits
    return "1" * zeros + digits


def encoders():
    return {
        64: lambda b: base64.b64encode(b).decode(),
        16: lambda b: binascii.hexlify(b).decode().upper(),
        2: lambda b: "".join(format(x, "08b") for x in b),
        58: b58encode,
    }


def table():
    rng = random.Random(1965)
    cases = [b"", b"\0", b"\0\0", b"\0\0\x01", b"a", b"ab", b"abc", b"abcd", b"hello",
             bytes(range(256)), b"\xff" * 7, b"\0\0\0\xff\xfe"]
    for n in (1, 2, 3, 4, 5, 31, 32, 33, 57, 100):
        cases.append(bytes(rng.randrange(256) for _ in range(n)))
    return cases


def zun_binary(data):
    return "#{" + binascii.hexlify(data).decode().upper() + "}"


def main(zun):
    lines, want = [], []
    for data in table():
        for base, encode in encoders().items():
            text = encode(data)
            lines.append('print enbase/base %s %d' % (zun_binary(data), base))
            want.append(text)
            lines.append('print mold/flat debase/base "%s" %d' % (text, base))
            want.append(zun_binary(data))
        # Unpadded base 64 keeps the bytes of its last group.
        bare = base64.b64encode(data).decode().rstrip("=")
        lines.append('print mold/flat debase "%s"' % bare)
        want.append(zun_binary(data))
        # Lower-case hexadecimal, and base 64 broken into lines of 76.
        lines.append('print mold/flat debase/base "%s" 16' % binascii.hexlify(data).decode())
        want.append(zun_binary(data))
        mime = base64.encodebytes(data).decode().replace("\n", "^/")
        lines.append('print mold/flat debase "%s"' % mime)
        want.append(zun_binary(data))
    # Text that python rejects is none.
    for bad in ("QUJD!", "Q===", "=QUJD", "QUJDQ"):
        try:
            base64.b64decode(bad, validate=True)
            sys.exit("python accepts %r" % bad)
        except binascii.Error:
            pass
        lines.append('print mold debase "%s"' % bad)
        want.append("none")
    with tempfile.NamedTemporaryFile("w", suffix=".zun", delete=False) as script:
        script.write("Zun []\n" + "\n".join(lines) + "\n")
    run = subprocess.run([zun, script.name], capture_output=True, timeout=300,
                         stdin=subprocess.DEVNULL)
    got = run.stdout.decode("utf-8", "replace").splitlines()
    bad = [(l, w, g) for l, w, g in zip(lines, want, got) if w != g.rstrip()]
    if run.returncode != 0 or len(got) != len(want) or bad:
        print("exit %d, %d lines of %d" % (run.returncode, len(got), len(want)))
        for line, w, g in bad[:10]:
            print("%s\n  want: %s\n  got:  %s" % (line, w, g))
        print(run.stderr.decode("utf-8", "replace")[:2000])
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
