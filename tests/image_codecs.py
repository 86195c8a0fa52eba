#!/usr/bin/env python3
"""Image codecs against ImageMagick (`convert FILE -depth 8 rgba:-` is the oracle).

A fixture set is made in a temporary folder (PNG of every colour type and
depth, with tRNS and interlaced; JPEG grey, colour, progressive, CMYK; GIF with
transparency, interlacing and a local palette; TIFF RGB, RGBA, palette, 16-bit,
LZW and deflate; BMP of every depth, RLE, top-down), decoded by zun and compared
with ImageMagick's pixels. Our encoders' files go back through ImageMagick and
through our own decoders. Bad files (truncated, wrong signature, bad CRC,
declared sizes too large) must give bad-media from bytes and cannot-open from a
file, with the process's memory kept small.
"""
import math
import os
import resource
import struct
import subprocess
import sys
import tempfile
import zlib

W, H = 37, 23  # odd sizes: row padding and partial bytes
FAILURES = []


def fail(msg):
    FAILURES.append(msg)


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, **kw).stdout


def oracle(path, frame0=False):
    src = path + "[0]" if frame0 else path
    return run(["convert", src, "-depth", "8", "rgba:-"])


# ---------------------------------------------------------------- fixtures

def sample(x, y, c, maxval):
    return (x * 37 + y * 91 + c * 53 + ((x * y) % 17) * 7) % (maxval + 1)


def alpha_of(x, y, maxval):
    k = (x + 2 * y) % 5
    return [0, maxval, maxval // 3, maxval, maxval * 2 // 3][k]


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc = (acc << depth) | s
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def write_png(path, ctype, depth, palette=None, trns=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[ctype]
    maxval = (1 << depth) - 1
    rows = []
    for y in range(H):
        samples = []
        for x in range(W):
            if ctype == 3:
                samples.append(sample(x, y, 0, min(maxval, len(palette) // 3 - 1)))
                continue
            colour = channels - (1 if ctype in (4, 6) else 0)
            samples += [sample(x, y, c, maxval) for c in range(colour)]
            if ctype in (4, 6):
                samples.append(alpha_of(x, y, maxval))
        rows.append(b"\0" + pack_row(samples, depth))
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, ctype, 0, 0, 0))
    if palette:
        data += chunk(b"PLTE", palette)
    if trns is not None:
        data += chunk(b"tRNS", trns)
    data += chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def photo(path, w=64, h=48):
    """A smooth photo-like RGB gradient (PNG)."""
    rows = []
    for y in range(h):
        row = bytearray()
        for x in range(w):
            r = int(127 + 120 * math.sin(x / 9.0 + y / 23.0))
            g = int(127 + 120 * math.cos(y / 7.0 - x / 31.0))
            b = int((x * 255) // (w - 1) * 0.5 + (y * 255) // (h - 1) * 0.5)
            row += bytes([r, g, b])
        rows.append(b"\0" + bytes(row))
    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(b"".join(rows))) + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(data)


def bmp_rle4(path):
    """A 4-bit RLE BMP whose runs, absolute runs and end-of-line cover every pixel."""
    w, h = 8, 4
    palette = b"".join(bytes([i * 16, 255 - i * 16, (i * 40) % 256, 0]) for i in range(16))
    body = bytearray()
    for y in range(h):
        body += bytes([4, (y << 4) | (y + 1)])          # run of 4: alternating y, y+1
        body += bytes([0, 4, 0x9A, 0xBC])               # absolute run of 4 nibbles
        body += bytes([0, 0])                           # end of line
    body += bytes([0, 1])
    write_bmp(path, w, h, 4, 2, palette, bytes(body))


def bmp_rle8_skip(path):
    """RLE8 with a delta: the skipped pixels are transparent black."""
    palette = bytes([10, 20, 30, 0, 40, 50, 60, 0])
    body = bytes([2, 1, 0, 2, 1, 0, 1, 0, 0, 0, 0, 1])  # 2 of index 1, skip 1, 1 of index 0, EOL, EOB
    write_bmp(path, 4, 2, 8, 1, palette, body)


def write_bmp(path, w, h, bits, compression, palette, body):
    offset = 14 + 40 + len(palette)
    header = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, len(body), 2835, 2835,
                         len(palette) // 4, 0)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset) + header + palette + body)


def top_down(src, dst):
    """A bottom-up 24-bit BMP turned top-down: rows reversed, height negated."""
    data = bytearray(open(src, "rb").read())
    offset, = struct.unpack_from("<I", data, 10)
    w, h = struct.unpack_from("<ii", data, 18)
    stride = (w * 3 + 3) & ~3
    rows = [data[offset + i * stride: offset + (i + 1) * stride] for i in range(h)]
    data[offset:offset + stride * h] = b"".join(reversed(rows))
    struct.pack_into("<i", data, 22, -h)
    open(dst, "wb").write(data)


def local_palette(src, dst):
    """A one-frame GIF whose global colour table moves into the image descriptor."""
    d = bytearray(open(src, "rb").read())
    packed = d[10]
    assert packed & 0x80
    size = 3 * (2 << (packed & 7))
    table = d[13:13 + size]
    rest = d[13 + size:]
    i = 0
    while rest[i] != 0x2C:  # skip extensions
        assert rest[i] == 0x21
        i += 2
        while rest[i]:
            i += rest[i] + 1
        i += 1
    desc = rest[i:i + 10]
    desc[9] = (desc[9] & 0x40) | 0x80 | (packed & 7)
    d[10] = packed & 0x70
    open(dst, "wb").write(bytes(d[:13] + rest[:i] + desc + table + rest[i + 10:]))


def make_fixtures(tmp):
    """Returns [(file, tolerance, frame0)]."""
    fx = []
    p = lambda name: os.path.join(tmp, name)
    grey_palette = bytes(v for i in range(16) for v in (i * 17, i * 17, i * 17))
    colour_palette = bytes(v for i in range(200) for v in (i, (i * 7) % 256, 255 - i))
    for depth in (1, 2, 4, 8, 16):
        write_png(p("grey%d.png" % depth), 0, depth)
        fx.append((p("grey%d.png" % depth), 1 if depth == 16 else 0, False))
    write_png(p("grey8-trns.png"), 0, 8, trns=struct.pack(">H", 53))
    write_png(p("rgb8-trns.png"), 2, 8, trns=struct.pack(">HHH", 0, 53, 106))
    for ctype in (2, 4, 6):
        for depth in (8, 16):
            name = p("type%d-%d.png" % (ctype, depth))
            write_png(name, ctype, depth)
            fx.append((name, 1 if depth == 16 else 0, False))
    for depth in (1, 2, 4, 8):
        n = 1 << depth
        write_png(p("pal%d.png" % depth), 3, depth, palette=colour_palette[:3 * min(n, 200)],
                  trns=bytes([0, 128, 255][: min(n, 3)]))
        fx.append((p("pal%d.png" % depth), 0, False))
    fx += [(p("grey8-trns.png"), 0, False), (p("rgb8-trns.png"), 0, False)]
    run(["convert", p("type6-8.png"), "-interlace", "PNG", p("interlaced.png")])
    run(["convert", p("pal4.png"), "-interlace", "PNG", "PNG8:" + p("interlaced-pal.png")])
    fx += [(p("interlaced.png"), 0, False), (p("interlaced-pal.png"), 0, False)]
    _ = grey_palette

    photo(p("photo.png"))
    jpegs = {
        "colour.jpg": ["-quality", "90"],
        "grey.jpg": ["-colorspace", "gray"],
        "progressive.jpg": ["-interlace", "JPEG"],
        "cmyk.jpg": ["-colorspace", "cmyk"],
        "s444.jpg": ["-sampling-factor", "1x1"],
    }
    for name, opts in jpegs.items():
        run(["convert", p("photo.png")] + opts + [p(name)])
        fx.append((p(name), 2, False))

    run(["convert", p("type6-8.png"), p("transparent.gif")])
    run(["convert", p("photo.png"), "-colors", "64", "-interlace", "GIF", p("interlaced.gif")])
    run(["convert", p("photo.png"), "-colors", "32", p("plain.gif")])
    local_palette(p("plain.gif"), p("local.gif"))
    run(["convert", p("plain.gif"), p("transparent.gif"), p("frames.gif")])
    fx += [(p(n), 0, n == "frames.gif") for n in
           ("transparent.gif", "interlaced.gif", "local.gif", "frames.gif")]

    tiffs = {
        "rgb.tif": [p("photo.png"), "-compress", "none"],
        "rgba.tif": [p("type6-8.png"), "-compress", "none"],
        "lzw.tif": [p("type6-8.png"), "-compress", "lzw"],
        "deflate.tif": [p("photo.png"), "-compress", "zip"],
        "palette.tif": [p("photo.png"), "-colors", "50", "-type", "palette"],  # 16-bit palette
        "sixteen.tif": [p("type2-16.png"), "-depth", "16"],
        "grey.tif": [p("grey8.png"), "-type", "grayscale"],
    }
    for name, args in tiffs.items():
        run(["convert"] + args + [p(name)])
        fx.append((p(name), 1 if name in ("sixteen.tif", "palette.tif") else 0, False))

    bmps = {
        "b1.bmp": [p("photo.png"), "-monochrome", "BMP3:"],
        "b4.bmp": [p("photo.png"), "-colors", "16", "-type", "palette", "BMP3:"],
        "b8.bmp": [p("photo.png"), "-colors", "200", "-type", "palette", "BMP3:"],
        "b24.bmp": [p("photo.png"), "-type", "truecolor", "BMP3:"],
        "b32.bmp": [p("type6-8.png"), "BMP:"],
        "b565.bmp": [p("photo.png"), "-define", "bmp:subtype=RGB565", "BMP:"],
        "b555.bmp": [p("photo.png"), "-define", "bmp:subtype=RGB555", "BMP:"],
        "b1555.bmp": [p("type6-8.png"), "-define", "bmp:subtype=ARGB1555", "BMP:"],
        "os2.bmp": [p("photo.png"), "-colors", "100", "-type", "palette", "BMP2:"],
        "rle8.bmp": [p("photo.png"), "-colors", "20", "-type", "palette", "-compress", "rle", "BMP3:"],
    }
    for name, args in bmps.items():
        *src, prefix = args
        run(["convert"] + src + [prefix + p(name)])
        fx.append((p(name), 0, False))
    bmp_rle4(p("rle4.bmp"))
    top_down(p("b24.bmp"), p("topdown.bmp"))
    fx += [(p("rle4.bmp"), 0, False), (p("topdown.bmp"), 0, False)]
    return fx


# ---------------------------------------------------------------- zun side

DRIVER = r"""Zun []
foreach [file out] load %LIST [
    r: try [load file]
    either error? r [print [file "error" r/id]] [
        write/binary out r/argb
        print [file "ok" r/size]
    ]
]
"""


def as_rgba(stored):
    """Stored pixel words (B, G, R, A in memory) as R, G, B, A bytes."""
    rgba = bytearray(len(stored))
    rgba[0::4], rgba[1::4], rgba[2::4], rgba[3::4] = stored[2::4], stored[1::4], stored[0::4], stored[3::4]
    return bytes(rgba)


def zun_decode(zun, tmp, files):
    """Our pixels of each file as RGBA bytes, or the error id."""
    listing = os.path.join(tmp, "list.txt")
    with open(listing, "w") as f:
        for i, name in enumerate(files):
            f.write("%%%s %%%s\n" % (name, name + ".argb"))
    script = os.path.join(tmp, "driver.zun")
    with open(script, "w") as f:
        f.write(DRIVER.replace("LIST", listing))
    out = run([zun, script]).decode()
    results = {}
    for line in out.splitlines():
        name, status, rest = line.split(" ", 2)
        if status == "ok":
            raw = open(name + ".argb", "rb").read()
            results[name] = (rest, as_rgba(raw))
        else:
            results[name] = (status, rest)
    return results


def size_of(path, frame0):
    return run(["identify", "-format", "%wx%h\n", path + ("[0]" if frame0 else "")]).decode().split()[0]


def compare(name, ours, theirs, tolerance):
    if name.endswith("b1555.bmp"):
        # ImageMagick widens a 1-bit alpha to 128, not 255: compare the bit.
        theirs = bytes(255 if i % 4 == 3 and v >= 128 else v for i, v in enumerate(theirs))
    if len(ours) != len(theirs):
        fail("%s: %d bytes, ImageMagick %d" % (name, len(ours), len(theirs)))
        return
    worst = max((abs(a - b) for a, b in zip(ours, theirs)), default=0)
    if worst > tolerance:
        at = next(i for i, (a, b) in enumerate(zip(ours, theirs)) if abs(a - b) > tolerance)
        fail("%s: differs by %d (tolerance %d) at pixel %d: ours %s, ImageMagick %s"
             % (os.path.basename(name), worst, tolerance, at // 4,
                list(ours[at - at % 4: at - at % 4 + 4]), list(theirs[at - at % 4: at - at % 4 + 4])))


def check_decoders(zun, tmp):
    fixtures = make_fixtures(tmp)
    results = zun_decode(zun, tmp, [f for f, _, _ in fixtures])
    for name, tolerance, frame0 in fixtures:
        got = results.get(name)
        if not got or got[0] == "error":
            fail("%s: not decoded: %s" % (os.path.basename(name), got))
            continue
        if got[0] != size_of(name, frame0):
            fail("%s: size %s, ImageMagick %s" % (name, got[0], size_of(name, frame0)))
            continue
        compare(name, got[1], oracle(name, frame0), tolerance)
    # RLE escapes that skip pixels leave them transparent black.
    skip = os.path.join(tmp, "rle8-skip.bmp")
    bmp_rle8_skip(skip)
    got = zun_decode(zun, tmp, [skip])[skip]
    # The first row written is the bottom one; the top row is never reached.
    want = bytes([0, 0, 0, 0] * 4 + [60, 50, 40, 255] * 2 + [0, 0, 0, 0] + [30, 20, 10, 255])
    if got[1] != want:
        fail("rle8 skip: %s" % (got,))
    return fixtures


ENCODER = r"""Zun []
src: load %SRC
foreach [codec file] [png %OUT.png bmp %OUT.bmp tiff %OUT.tif gif %OUT.gif jpeg %OUT.jpg] [
    c: select system/codecs codec
    c/encode src file
    back: load file
    print [codec either find [jpeg gif] codec [back/size = src/size] [back = src]]
    write/binary rejoin [%OUT. codec %.argb] back/argb
]
write/binary %OUT.argb src/argb
"""


def check_encoders(zun, tmp):
    """Our files read back by ImageMagick and by ourselves."""
    for src, colours in (("type6-8.png", True), ("pal8.png", True), ("photo.png", False)):
        path = os.path.join(tmp, src)
        out = os.path.join(tmp, "ours-" + src)
        script = os.path.join(tmp, "encode.zun")
        with open(script, "w") as f:
            f.write(ENCODER.replace("SRC", path).replace("OUT", out))
        lines = run([zun, script]).decode().split()
        reads = dict(zip(lines[0::2], lines[1::2]))
        for codec in ("png", "bmp", "tiff", "jpeg") + (("gif",) if colours else ()):
            if reads.get(codec) != "true":
                fail("%s: our %s does not read back as itself: %s" % (src, codec, reads))
        rgba = as_rgba(open(out + ".argb", "rb").read())
        for ext in ("png", "bmp", "tif"):
            compare("ours-%s.%s" % (src, ext), bytes(rgba), oracle(out + "." + ext), 0)
        if colours:
            gif = oracle(out + ".gif")
            # Transparent pixels keep only their alpha through a palette.
            mine = bytearray(rgba)
            theirs = bytearray(gif)
            for i in range(0, len(mine), 4):
                if mine[i + 3] < 128:
                    mine[i:i + 4] = b"\0\0\0\0"
                    theirs[i:i + 4] = bytes([0, 0, 0, theirs[i + 3]])
                else:
                    mine[i + 3] = 255
            compare("ours-%s.gif" % src, bytes(mine), bytes(theirs), 0)
            back = bytearray(as_rgba(open(out + ".gif.argb", "rb").read()))
            for i in range(0, len(back), 4):
                if back[i + 3] == 0:
                    back[i:i + 3] = b"\0\0\0"
            compare("ours-%s.gif read by us" % src, bytes(mine), bytes(back), 0)
        else:
            colours_used = int(run(["identify", "-format", "%k", out + ".gif"]))
            if colours_used > 256:
                fail("many-coloured gif uses %d colours" % colours_used)
            jpeg = oracle(out + ".jpg")
            compare("ours-photo.jpg read by us", as_rgba(open(out + ".jpeg.argb", "rb").read()), jpeg, 2)
            rgb_ours = [v for i, v in enumerate(rgba) if i % 4 != 3]
            rgb_jpeg = [v for i, v in enumerate(jpeg) if i % 4 != 3]
            mse = sum((a - b) ** 2 for a, b in zip(rgb_ours, rgb_jpeg)) / len(rgb_ours)
            psnr = 99 if mse == 0 else 10 * math.log10(255 * 255 / mse)
            if psnr < 35:
                fail("jpeg PSNR %.1f dB below 35" % psnr)


# ---------------------------------------------------------------- bad files

def png_resized(data, w, h):
    d = bytearray(data)
    struct.pack_into(">II", d, 16, w, h)
    struct.pack_into(">I", d, 29, zlib.crc32(bytes(d[12:29])))
    return bytes(d)


def jpeg_resized(data, w, h):
    d = bytearray(data)
    i = 2
    while i < len(d):
        marker = d[i + 1]
        length, = struct.unpack_from(">H", d, i + 2)
        if marker in (0xC0, 0xC1, 0xC2):
            struct.pack_into(">HH", d, i + 5, h, w)
            return bytes(d)
        i += 2 + length
    raise AssertionError("no SOF")


def gif_resized(data, w, h):
    d = bytearray(data)
    struct.pack_into("<HH", d, 6, w, h)
    packed = d[10]
    i = 13 + (3 * (2 << (packed & 7)) if packed & 0x80 else 0)
    while d[i] != 0x2C:
        i += 2
        while d[i]:
            i += d[i] + 1
        i += 1
    struct.pack_into("<HH", d, i + 5, w, h)
    return bytes(d)


def tiff_resized(data, w, h):
    d = bytearray(data)
    assert d[:2] == b"II"
    ifd, = struct.unpack_from("<I", d, 4)
    count, = struct.unpack_from("<H", d, ifd)
    for k in range(count):
        at = ifd + 2 + 12 * k
        tag, = struct.unpack_from("<H", d, at)
        if tag in (256, 257):
            struct.pack_into("<HHII", d, at, tag, 4, 1, w if tag == 256 else h)
    return bytes(d)


def bmp_resized(data, w, h):
    d = bytearray(data)
    struct.pack_into("<ii", d, 18, w, h)
    return bytes(d)


def check_bad_files(zun, tmp):
    p = lambda name: os.path.join(tmp, name)
    valid = {
        "png": p("type6-8.png"), "jpeg": p("colour.jpg"), "gif": p("transparent.gif"),
        "tiff": p("lzw.tif"), "bmp": p("b24.bmp"),
    }
    resize = {"png": png_resized, "jpeg": jpeg_resized, "gif": gif_resized,
              "tiff": tiff_resized, "bmp": bmp_resized}
    bad = []
    for fmt, path in valid.items():
        data = open(path, "rb").read()
        n = len(data)
        for k, cut in enumerate(sorted({8, 20, n // 8, n // 4, n // 2, 3 * n // 4, n - 20, n - 1})):
            bad.append(("%s-cut%d" % (fmt, k), data[:cut]))
        signature = {"png": 8, "jpeg": 3, "gif": 6, "tiff": 4, "bmp": 2}[fmt]
        bad.append((fmt + "-signature", data[:signature] + b"this is not what follows" * 4))
        sizes = [(40000, 40000)] + ([(70000, 10)] if fmt in ("png", "tiff", "bmp") else [])
        for w, h in sizes:
            bad.append(("%s-%dx%d" % (fmt, w, h), resize[fmt](data, w, h)))
    png = bytearray(open(valid["png"], "rb").read())
    png[40] ^= 0xFF  # inside IDAT: its CRC no longer matches
    bad.append(("png-crc", bytes(png)))
    names = []
    for name, data in bad:
        path = p("bad-" + name + ".img")
        open(path, "wb").write(data)
        names.append(path)
    listing = p("bad.txt")
    with open(listing, "w") as f:
        f.write(" ".join("%" + n for n in names))
    script = p("bad.zun")
    with open(script, "w") as f:
        f.write("Zun []\nforeach file load %" + listing + """ [
    bytes: read/binary file
    a: try [load/as bytes 'png]
    b: try [system/codecs/bmp/decode file]
    print [file either error? a [a/id] [type? a] either error? b [b/id] [type? b]]
]
""")
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    res = subprocess.run([zun, script], capture_output=True, timeout=600)
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    if res.returncode != 0:
        fail("bad files: zun exited %d: %s" % (res.returncode, res.stderr.decode()[-2000:]))
        return
    if peak > max(before, 300 * 1024):
        fail("bad files: peak memory %d KB" % peak)
    for line in res.stdout.decode().splitlines():
        name, from_bytes, from_file = line.split()
        if from_bytes != "bad-media" or from_file != "cannot-open":
            fail("%s: %s from bytes, %s from a file" % (os.path.basename(name), from_bytes, from_file))


def main(zun):
    with tempfile.TemporaryDirectory() as tmp:
        check_decoders(zun, tmp)
        check_encoders(zun, tmp)
        check_bad_files(zun, tmp)
    for f in FAILURES:
        print(f)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
