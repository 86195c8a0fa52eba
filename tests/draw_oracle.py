#!/usr/bin/env python3
"""Draw scenes against twins made with python3-cairo and with rsvg-convert.

Each scene is drawn by zun's `draw` into a white image and by its twin: a
pycairo drawing of the same meaning, or an SVG file rendered by rsvg-convert
(librsvg, itself on cairo). Both raster with cairo, so the comparison checks
geometry and what the dialect's words mean (fitted gradients, spreads, dash
lengths in line widths, transform order, fill rules, arc flags, smooth
curves), not rasterising. Tolerance: per channel, a mean difference under
1.0 and 99% of the pixels within 8.
"""
import math
import os
import subprocess
import sys
import tempfile

import cairo

FAILURES = []


def white(w, h):
    s = cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)
    c = cairo.Context(s)
    c.set_source_rgb(1, 1, 1)
    c.paint()
    c.set_line_join(cairo.LINE_JOIN_MITER)
    c.set_line_cap(cairo.LINE_CAP_BUTT)
    c.set_miter_limit(10)
    c.set_line_width(1)
    c.set_source_rgb(0, 0, 0)
    return s, c


def rgb_of(surface):
    """Opaque ARGB32 (B, G, R, A in memory) to R, G, B bytes."""
    surface.flush()
    w, h, stride = surface.get_width(), surface.get_height(), surface.get_stride()
    data = bytes(surface.get_data())
    out = bytearray()
    for y in range(h):
        row = data[y * stride:y * stride + w * 4]
        for x in range(w):
            b, g, r = row[4 * x], row[4 * x + 1], row[4 * x + 2]
            out += bytes((r, g, b))
    return bytes(out)


def stops(pattern, *colours):
    n = len(colours)
    for i, c in enumerate(colours):
        pattern.add_color_stop_rgb(i / (n - 1), *c)


YELLOW, BLUE, RED, GREEN = (1, 1, 0), (0, 0, 1), (1, 0, 0), (0, 1, 0)

# ---------------------------------------------------------------- twins in pycairo


def fitted_linear(c):
    # pen off, but fitted brushes take the widened bounds at line width 1
    p = cairo.LinearGradient(9.5, 0, 110.5, 0)
    stops(p, YELLOW, BLUE)
    c.set_source(p)
    c.rectangle(10, 10, 100, 50)
    c.fill()
    p = cairo.LinearGradient(129.5, 0, 170.5, 0)  # stroke extents of the circle
    stops(p, RED, GREEN, BLUE)
    c.set_source(p)
    c.arc(150, 35, 20, 0, 2 * math.pi)
    c.fill()


def fitted_radial(c):
    # box 0x0 100x60 widened: -0.5 .. 100.5, -0.5 .. 60.5
    p = cairo.RadialGradient(50, 30, 0, 50, 30, 30.5)
    stops(p, YELLOW, BLUE)
    c.set_source(p)
    c.rectangle(0, 0, 100, 60)
    c.fill()


def spreads(c):
    for i, extend in enumerate((cairo.EXTEND_PAD, cairo.EXTEND_REPEAT, cairo.EXTEND_REFLECT)):
        p = cairo.LinearGradient(10, 0, 30, 0)
        stops(p, RED, BLUE)
        p.set_extend(extend)
        c.set_source(p)
        c.rectangle(0, i * 20, 120, 20)
        c.fill()
    p = cairo.RadialGradient(60, 80, 0, 60, 80, 15)
    stops(p, RED, YELLOW, BLUE)
    p.set_extend(cairo.EXTEND_REFLECT)
    c.set_source(p)
    c.rectangle(0, 60, 120, 40)
    c.fill()


def dashes(c):
    for i, width in enumerate((1, 2, 4, 6)):
        c.set_line_width(width)
        c.set_dash([3 * width, 2 * width])
        c.move_to(5, 10 + 20 * i)
        c.line_to(195, 10 + 20 * i)
        c.stroke()
    c.set_line_width(3)
    c.set_dash([6, 3, 3, 3])
    c.set_line_join(cairo.LINE_JOIN_ROUND)
    c.rectangle(20, 90, 160, 20)
    c.stroke()


def transforms(c):
    c.set_source_rgb(*RED)
    c.save()
    c.translate(50, 50)
    c.rotate(math.radians(30))
    c.translate(-50, -50)
    c.rectangle(30, 40, 40, 20)
    c.fill()
    c.restore()
    c.save()
    c.translate(150, 50)
    c.scale(1.5, 0.5)
    c.translate(-150, -50)
    c.set_source_rgb(*BLUE)
    c.rectangle(130, 20, 40, 60)
    c.fill()
    c.restore()
    c.save()
    c.transform(cairo.Matrix(1, math.tan(math.radians(10)), math.tan(math.radians(20)), 1, 0, 0))
    c.set_source_rgb(*GREEN)
    c.rectangle(10, 110, 60, 30)
    c.fill()
    c.restore()
    c.save()  # rotate about 150x125, then scale about it, then translate: each put first
    c.translate(150, 125)
    c.rotate(math.radians(45))
    c.translate(-150, -125)
    c.translate(150, 125)
    c.scale(2, 1)
    c.translate(-150, -125)
    c.translate(5, 0)
    c.set_source_rgb(*YELLOW)
    c.rectangle(135, 120, 20, 10)
    c.fill()
    c.set_source_rgb(0, 0, 0)
    c.rectangle(135, 120, 20, 10)
    c.stroke()
    c.restore()


def even_odd(c):
    c.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
    points = [(50 + 45 * math.cos(math.radians(-90 + 144 * i)),
               50 + 45 * math.sin(math.radians(-90 + 144 * i))) for i in range(5)]
    c.move_to(*points[0])
    for p in points[1:]:
        c.line_to(*p)
    c.close_path()
    c.set_source_rgb(*RED)
    c.fill_preserve()
    c.set_source_rgb(0, 0, 0)
    c.stroke()


def ellipses(c):
    c.set_source_rgb(*GREEN)
    c.save()
    c.translate(40, 30)
    c.scale(30, 20)
    c.arc(0, 0, 1, 0, 2 * math.pi)
    c.restore()
    c.fill_preserve()
    c.set_source_rgb(0, 0, 0)
    c.stroke()
    c.save()
    c.translate(120, 30)
    c.scale(25, 25)
    c.move_to(0, 0)
    c.arc(0, 0, 1, math.radians(30), math.radians(30 + 240))
    c.close_path()
    c.restore()
    c.set_source_rgb(*BLUE)
    c.fill_preserve()
    c.set_source_rgb(0, 0, 0)
    c.set_line_width(2)
    c.stroke()


def catmull(p0, p1, p2, p3):
    out, t = [], 0.0
    for _ in range(25):
        t += 0.04
        out.append(tuple(0.5 * (2 * b + (cc - a) * t + (2 * a - 5 * b + 4 * cc - d) * t * t
                                + (3 * (b - cc) + d - a) * t ** 3)
                         for a, b, cc, d in zip(p0, p1, p2, p3)))
    return out


def spline(c):
    pts = [(10, 60), (50, 10), (90, 60), (130, 10), (170, 60)]
    segs = [(pts[0], pts[0], pts[1], pts[2])]
    segs += [tuple(pts[i:i + 4]) for i in range(len(pts) - 3)]
    segs.append((pts[-3], pts[-2], pts[-1], pts[-1]))
    c.move_to(*pts[0])
    for s in segs:
        for q in catmull(*s):
            c.line_to(*q)
    c.set_line_width(2)
    c.stroke()


# Scenes: name, size, draw block, twin (a function or an SVG body).
SCENES = [
    ("fitted-linear", (200, 70),
     "pen off fill-pen linear 255.255.0 0.0.255 box 10x10 110x60 "
     "fill-pen linear 255.0.0 0.255.0 0.0.255 circle 150x35 20", fitted_linear),
    ("fitted-radial", (100, 60), "pen off fill-pen radial 255.255.0 0.0.255 box 0x0 100x60",
     fitted_radial),
    ("spreads", (120, 100),
     "pen off fill-pen linear 255.0.0 0.0.255 10x0 30x0 pad box 0x0 120x20 "
     "fill-pen linear 255.0.0 0.0.255 10x0 30x0 repeat box 0x20 120x40 "
     "fill-pen linear 255.0.0 0.0.255 10x0 30x0 reflect box 0x40 120x60 "
     "fill-pen radial 255.0.0 255.255.0 0.0.255 60x80 15 reflect box 0x60 120x100", spreads),
    ("dashes", (200, 120),
     "line-pattern 3 2 line-width 1 line 5x10 195x10 line-width 2 line 5x30 195x30 "
     "line-width 4 line 5x50 195x50 line-width 6 line 5x70 195x70 "
     "line-width 3 line-pattern 2 1 1 1 line-join round box 20x90 180x110", dashes),
    ("transforms", (200, 150),
     "pen off fill-pen 255.0.0 rotate 30 50x50 [box 30x40 70x60] "
     "fill-pen 0.0.255 scale 1.5 0.5 150x50 [box 130x20 170x80] "
     "fill-pen 0.255.0 skew 20 10 [box 10x110 70x140] "
     "pen 0.0.0 fill-pen 255.255.0 transform 150x125 45 2 1 5x0 [box 135x120 155x130]", transforms),
    ("even-odd", (100, 100),
     "fill-pen 255.0.0 polygon 50x5 (76.45, 86.41) (7.2, 36.09) (92.8, 36.09) (23.55, 86.41)",
     even_odd),
    ("ellipses", (160, 60),
     "fill-pen 0.255.0 ellipse 10x10 60x40 fill-pen 0.0.255 line-width 2 arc 120x30 25x25 30 240 closed",
     ellipses),
    ("spline", (180, 70), "line-width 2 spline 10x60 50x10 90x60 130x10 170x60", spline),
    ("arcs", (200, 130),
     "line-width 2 shape [move 20x50 arc 80x50 40 30 15 large sweep] "
     "shape [move 110x50 'arc 60x0 40 30 15 large] "
     "pen 0.0.255 shape [move 20x90 arc 80x90 40 40 0 sweep move 110x90 arc 170x90 5 5 0]",
     '<path d="M 20 50 A 40 30 15 1 1 80 50" stroke-width="2"/>'
     '<path d="M 110 50 a 40 30 15 1 0 60 0" stroke-width="2"/>'
     '<path d="M 20 90 A 40 40 0 0 1 80 90 M 110 90 A 5 5 0 0 0 170 90" stroke="blue" stroke-width="2"/>'),
    ("smooth-curves", (200, 100),
     "line-width 2 shape [move 10x50 curve 10x10 40x10 40x50 curv 70x90 70x50] "
     "shape [move 100x80 qcurve 120x40 140x80 qcurv 180x80] "
     "fill-pen 255.0.0 shape [move 90x20 'curve 10x-15 30x-15 40x0 'curv 30x15 40x0 'vline 10 'hline -80 close]",
     '<path d="M 10 50 C 10 10 40 10 40 50 S 70 90 70 50" stroke-width="2"/>'
     '<path d="M 100 80 Q 120 40 140 80 T 180 80" stroke-width="2"/>'
     '<path d="M 90 20 c 10 -15 30 -15 40 0 s 30 15 40 0 v 10 h -80 z" fill="red" stroke-width="2"/>'),
]


def svg_twin(path, w, h, body):
    svg = ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d">'
           '<rect width="100%%" height="100%%" fill="white"/>'
           '<g fill="none" stroke="black" stroke-linejoin="miter" stroke-linecap="butt" '
           'stroke-miterlimit="10">%s</g></svg>' % (w, h, body))
    with open(path + ".svg", "w") as f:
        f.write(svg)
    subprocess.run(["rsvg-convert", "-w", str(w), "-h", str(h), "-f", "png", "-o", path + ".png",
                    path + ".svg"], check=True)
    return rgb_of(cairo.ImageSurface.create_from_png(path + ".png"))


def compare(name, got, want):
    if len(got) != len(want):
        FAILURES.append("%s: %d bytes, want %d" % (name, len(got), len(want)))
        return
    diffs = [abs(a - b) for a, b in zip(got, want)]
    mean = sum(diffs) / len(diffs)
    pixels = len(diffs) // 3
    close = sum(1 for i in range(pixels) if max(diffs[3 * i:3 * i + 3]) <= 8)
    if mean >= 1.0 or close < 0.99 * pixels:
        FAILURES.append("%s: mean difference %.3f, %.2f%% of pixels within 8"
                        % (name, mean, 100.0 * close / pixels))


def main(zun):
    with tempfile.TemporaryDirectory() as tmp:
        script = ["Zun []"]
        for name, (w, h), block, _ in SCENES:
            script.append("img: draw %dx%d [%s]" % (w, h, block))
            script.append("write/binary %%%s/%s.rgb img/rgb" % (tmp, name))
        with open(os.path.join(tmp, "scenes.zun"), "w") as f:
            f.write("\n".join(script) + "\n")
        run = subprocess.run([zun, os.path.join(tmp, "scenes.zun")], capture_output=True, timeout=120)
        if run.returncode != 0:
            print("zun failed:", run.stdout.decode(), run.stderr.decode())
            return 1
        for name, (w, h), block, twin in SCENES:
            with open(os.path.join(tmp, name + ".rgb"), "rb") as f:
                got = f.read()
            if callable(twin):
                surface, ctx = white(w, h)
                twin(ctx)
                want = rgb_of(surface)
            else:
                want = svg_twin(os.path.join(tmp, name), w, h, twin)
            compare(name, got, want)
    for f in FAILURES:
        print(f)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
