#!/usr/bin/env python3
"""Rich-text layout against a PangoCairo twin written from the layout rules.

The twin lays out the same texts with the same fonts, para settings, boxes,
tab stops, line spacing and style blocks, and computes what size-text and
text-box-metrics answer: sizes (white space at line ends left out), line
counts, caret points, hit positions, line heights; drawn text is compared
with the twin's rendering pixel by pixel.

Run with Debian's python3 (python3-gi, gir1.2-pango-1.0, python3-gi-cairo),
the fonts pinned to fonts-dejavu-core by FONTCONFIG_FILE.
"""
import os
import re
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
os.environ["FONTCONFIG_FILE"] = os.path.join(HERE, "text_fonts.conf")

import cairo  # noqa: E402
import gi  # noqa: E402

gi.require_version("Pango", "1.0")
gi.require_version("PangoCairo", "1.0")
from gi.repository import GLib, Pango, PangoCairo  # noqa: E402

S = Pango.SCALE

FONT_MAP = PangoCairo.FontMap.new()
FONT_MAP.set_resolution(96)
CONTEXT = FONT_MAP.create_context()
PangoCairo.context_set_resolution(CONTEXT, 96)
_options = cairo.FontOptions()
_options.set_hint_style(cairo.HINT_STYLE_NONE)
_options.set_hint_metrics(cairo.HINT_METRICS_OFF)
_options.set_antialias(cairo.ANTIALIAS_GRAY)
PangoCairo.context_set_font_options(CONTEXT, _options)
CONTEXT.set_round_glyph_positions(False)
CONTEXT.set_language(Pango.Language.get_default())

# Each case: text, font (name, size, style words) or None, para (align,
# v-align, wrap?) or None, size, tabs, line-spacing, style block (Zun text).
CASES = [
    ("Hello world", None, None, "0x0", "none", "'default", "[]"),
    ("abc   ", ("DejaVu Sans Mono", 11, ""), None, "0x0", "none", "'default", "[]"),
    ("The quick brown fox jumps over the lazy dog", ("DejaVu Sans", 12, ""), None,
     "120x200", "none", "'default", "[1x9 bold 11x5 italic]"),
    ("caf\u00e9 na\u00efve r\u00e9sum\u00e9\nsecond   \nthird", ("DejaVu Serif", 10, "bold"),
     ("center", "middle", "true"), "200x120", "none", "'default", "[2x3 255.0.0 5x40 14]"),
    ("a\tb\tc\nxx\tyy", ("DejaVu Sans Mono", 10, ""), None, "0x0", "30", "'default", "[]"),
    ("a\tb\tc\nxx\tyy", ("DejaVu Sans", 10, ""), None, "0x0", "none", "'default", "[]"),
    ("\u4e2d\u6587\u6587\u672c\u6d4b\u8bd5 mixed \U0001F600 emoji \U0001F600 end",
     ("DejaVu Sans", 11, "italic"), ("right", "bottom", "false"), "300x80", "none", "'default",
     "[1x3 underline 0.0.255 'dotted 9x1 strike 11x9 \"DejaVu Sans Mono\"]"),
    ("line one\nline two\n\nline four", ("DejaVu Sans", 9, ""), None, "200x150", "none", "20",
     "[6x8 backdrop 255.255.0]"),
    ("spacing none here\nand here", ("DejaVu Sans", 9, ""), None, "0x0", "none", "none", "[]"),
    ("wrap this long text please at a narrow width", ("DejaVu Sans", 10, ""),
     ("left", "top", "true"), "10x50", "none", "'default", "[]"),
    ("blank at ends    \n   and starts", ("DejaVu Sans Mono", 12, ""), ("right", "top", "false"),
     "250x60", "2.5", "'default", "[-3x5 bold 10x100 italic 4x-2 255.0.0]"),
    ("\U0001F600\U0001F600ab\U0001F600", ("DejaVu Sans", 10, ""), None, "0x0", "none", "'default",
     "[2x2 bold backdrop 0.255.0]"),
    ("", ("DejaVu Sans", 10, ""), None, "100x40", "none", "'default", "[]"),
]


def zun_string(s):
    out = []
    for ch in s:
        out.append({"\n": "^/", "\t": "^-", "^": "^^", '"': '^"'}.get(ch, ch))
    return '"' + "".join(out) + '"'


def zun_face(case):
    text, font, para, size, tabs, spacing, styles = case
    font_text = "none"
    if font:
        name, points, style = font
        font_text = ('make font! [name: %s size: %d style: %s]'
                     % (zun_string(name), points, "none" if not style else "'" + style))
    para_text = "none"
    if para:
        para_text = "make para! [align: '%s v-align: '%s wrap?: %s]" % para
    return ("make rich-text! [text: %s size: %s font: %s para: %s tabs: %s line-spacing: %s data: %s]"
            % (zun_string(text), size, font_text, para_text, tabs, spacing, styles))


PRELUDE = r"""Zun []
font!: make object! [name: size: style: weight: none angle: 0 color: none anti-alias?: false
    shadow: state: parent: none on-change*: func [w o n][] on-deep-change*: func [o w t a n i p][]]
para!: make object! [origin: padding: scroll: align: v-align: none wrap?: false parent: none
    on-change*: func [w o n][]]
rich-text!: make object! [type: 'rich-text offset: size: text: image: color: menu: data: none
    enabled?: visible?: true selected: flags: options: parent: pane: state: rate: edge: para: font:
    actors: extra: draw: none on-change*: func [w o n][] on-deep-change*: func [o w t a n i p][]
    tabs: none line-spacing: 'default handles: none]
m: :system/view/platform/text-box-metrics
points: [0x0 3x4 10x7 25x12 40x30 -5x3 70x15 120x40 200x10 299x79]
report: func [f] [
    print ["size" m f none 3]
    print ["count" m f none 4]
    repeat i 1 + length? f/text [print ["caret" i m f i 0 m f i 6 m f i 2]]
    foreach p points [print ["hit" p m f p 1 m f p 5]]
]
"""


# ---- the twin ---------------------------------------------------------------

def natural_height(desc):
    layout = Pango.Layout.new(CONTEXT)
    layout.set_font_description(desc)
    layout.set_text("I", -1)
    return layout.get_line_readonly(0).get_extents()[1].height / S


def para_flags(para):
    if not para:
        return 0x10
    align, v_align, wrap = para
    h = {"left": 0, "center": 1, "right": 2}.get(align, 0)
    v = {"top": 0, "middle": 4, "bottom": 8}.get(v_align, 0)
    return h | v | (0x10 if wrap in ("none", "true") else 0)


def x_range(line, text, start, end):
    # from the first character's leading edge to the last one's trailing edge
    raw = text.encode("utf-8")
    last = len(raw[:end].decode("utf-8")[:-1].encode("utf-8"))
    a, b = line.index_to_x(start, False), line.index_to_x(last, True)
    return min(a, b), max(a, b)


class Twin:
    def __init__(self, case):
        text, font, para, size, tabs, spacing, styles = case
        self.text = text
        name, points, style = font or ("sans-serif", 9, "")
        desc = Pango.FontDescription()
        desc.set_family(name)
        desc.set_size(points * S)
        desc.set_weight(700 if style == "bold" else 400)
        desc.set_style(Pango.Style.ITALIC if style == "italic" else Pango.Style.NORMAL)
        size_px = points * 96 / 72
        flags = para_flags(para)
        self.text_align = 2 if flags & 1 else 1 if flags & 2 else 0
        self.para_align = 2 if flags & 4 else 1 if flags & 8 else 0
        self.wrap = bool(flags & 0x10)
        w, h = (int(v) for v in size.split("x"))
        self.box_w = w + 0.5 if w > 0 else -1
        self.box_h = h + 0.5 if h > 0 else -1
        self.uniform = spacing != "'default"
        natural = natural_height(desc)
        self.spacing = max(float(spacing), natural) if spacing not in ("'default", "none") else natural
        # character -> byte offsets
        self.bytes = [0]
        for ch in text:
            self.bytes.append(self.bytes[-1] + len(ch.encode("utf-8")))
        layout = self.layout = Pango.Layout.new(CONTEXT)
        layout.set_font_description(desc)
        layout.set_text(text, -1)
        stop = float(tabs) if tabs != "none" else 4 * size_px
        tab_array = Pango.TabArray.new(1, False)
        tab_array.set_tab(0, Pango.TabAlign.LEFT, round(stop * S))
        layout.set_tabs(tab_array)
        layout.set_alignment([Pango.Alignment.LEFT, Pango.Alignment.RIGHT,
                              Pango.Alignment.CENTER][self.text_align])
        if self.wrap and self.box_w > 0:
            layout.set_width(int(self.box_w * S))
            layout.set_wrap(Pango.WrapMode.WORD_CHAR)
        if self.uniform:
            layout.set_spacing(round((self.spacing - natural) * S))
        self.attrs = Pango.AttrList()
        self.attrs.insert(Pango.attr_insert_hyphens_new(False))
        self.backdrops = []
        self.apply_styles(styles)
        layout.set_attributes(self.attrs)

    def change(self, attr, start, length):
        attr.start_index = self.bytes[start]
        attr.end_index = self.bytes[start + length]
        self.attrs.change(attr)

    def apply_styles(self, styles):
        values = re.findall(r'"[^"]*"|\S+', styles.strip("[]"))
        if len(values) < 2:
            return
        n = len(self.text)
        start = length = 0
        i = 0
        while i < len(values):
            v = values[i]
            some = length > 0
            if re.fullmatch(r"-?\d+x-?\d+", v):
                x, y = (int(p) for p in v.split("x"))
                start = min(max(x - 1, 0), n)
                length = min(max(x - 1 + max(y, 0), start), n) - start
            elif re.fullmatch(r"\d+\.\d+\.\d+", v):
                if some:
                    r, g, b = (int(p) * 257 for p in v.split("."))
                    self.change(Pango.attr_foreground_new(r, g, b), start, length)
                    self.change(Pango.attr_foreground_alpha_new(65535), start, length)
            elif v.startswith('"'):
                if some:
                    self.change(Pango.attr_family_new(v.strip('"')), start, length)
            elif re.fullmatch(r"[\d.]+", v):
                if some:
                    self.change(Pango.attr_size_new(round(float(v) * S)), start, length)
            elif v == "backdrop":
                i += 1
                if some:
                    self.backdrops.append((start, length, tuple(int(p) for p in values[i].split("."))))
            elif v == "bold":
                if some:
                    self.change(Pango.attr_weight_new(Pango.Weight.BOLD), start, length)
            elif v == "italic":
                if some:
                    self.change(Pango.attr_style_new(Pango.Style.ITALIC), start, length)
            elif v in ("underline", "strike"):
                if i + 1 < len(values) and re.fullmatch(r"\d+\.\d+\.\d+", values[i + 1]):
                    i += 1
                if i + 1 < len(values) and values[i + 1].startswith("'"):
                    i += 1
                if some:
                    attr = (Pango.attr_underline_new(Pango.Underline.SINGLE) if v == "underline"
                            else Pango.attr_strikethrough_new(True))
                    self.change(attr, start, length)
            i += 1

    def logical(self):
        return self.layout.get_extents()[1]

    def shift_x(self):
        if self.box_w < 0 or self.wrap or not self.text_align:
            return 0
        return (self.box_w - self.logical().width / S) * [0, 1, 0.5][self.text_align]

    def shift_y(self):
        if self.box_h < 0 or not self.para_align:
            return 0
        return (self.box_h - self.height()) * [0, 1, 0.5][self.para_align]

    def height(self):
        if self.uniform:
            return self.layout.get_line_count() * self.spacing
        return self.logical().height / S

    def width(self):
        raw = self.text.encode("utf-8")
        widest = 0
        for line in self.layout.get_lines_readonly():
            start = line.start_index
            end = start + line.length
            while end > start:
                prev = raw[:end].decode("utf-8", "ignore")[-1:]
                if not prev or not GLib.unichar_isspace(prev):
                    break
                end -= len(prev.encode("utf-8"))
            if end == start:
                continue
            lo, hi = x_range(line, self.text, start, end)
            widest = max(widest, (hi - lo) / S)
        return widest

    def char_of_byte(self, byte):
        c = 0
        while c + 1 < len(self.bytes) and self.bytes[c + 1] <= byte:
            c += 1
        return c

    def caret(self, pos, lower):
        index = min(max(pos - 1, 0), len(self.text))
        r = self.layout.index_to_pos(self.bytes[index])
        x, y = r.x / S + self.shift_x(), r.y / S + self.shift_y()
        height = self.spacing if self.uniform else r.height / S
        if lower:
            return (x + r.width / S, y + height)
        return (x, max(y, 0))

    def hit(self, px, py):
        inside, index, trailing = self.layout.xy_to_index(round((px - self.shift_x()) * S),
                                                          round((py - self.shift_y()) * S))
        c = self.char_of_byte(index)
        return (c + (1 if trailing > 0 else 0) + 1, c + 1)

    def line_height(self, pos):
        it = self.layout.get_iter()
        while True:
            line = it.get_line_readonly()
            height = self.spacing if self.uniform else it.get_line_extents()[1].height / S
            first = self.char_of_byte(line.start_index)
            last = not it.next_line()
            nxt = len(self.text) if last else self.char_of_byte(it.get_line_readonly().start_index)
            pos -= nxt - first
            if pos <= 0 or last:
                return height

    def render(self, w, h, x0, y0):
        surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, w, h)
        cr = cairo.Context(surface)
        cr.set_source_rgb(1, 1, 1)
        cr.paint()
        ox, oy = x0 + self.shift_x(), y0 + self.shift_y()
        for start, length, (r, g, b) in self.backdrops:
            cr.set_source_rgb(r / 255, g / 255, b / 255)
            lo, hi = self.bytes[start], self.bytes[start + length]
            it = self.layout.get_iter()
            while True:
                line = it.get_line_readonly()
                s, e = max(line.start_index, lo), min(line.start_index + line.length, hi)
                if s < e:
                    top = oy + it.get_line_extents()[1].y / S
                    height = self.spacing if self.uniform else it.get_line_extents()[1].height / S
                    a, b_ = x_range(line, self.text, s, e)
                    a += it.get_line_extents()[1].x
                    b_ += it.get_line_extents()[1].x
                    cr.rectangle(int(ox + a / S + 0.5), int(top + 0.5), int((b_ - a) / S + 0.5),
                                 int(height + 0.99))
                    cr.fill()
                if not it.next_line():
                    break
        cr.set_source_rgb(0, 0, 0)
        cr.move_to(ox, oy)
        PangoCairo.show_layout(cr, self.layout)
        surface.flush()
        return surface


# ---- comparison -------------------------------------------------------------

NUMBER = re.compile(r"-?\d+(?:\.\d+)?(?:e-?\d+)?")


def numbers(text):
    return [float(v) for v in NUMBER.findall(text)]


def close(got, want, what, failures):
    if len(got) != len(want) or any(abs(a - b) > 0.01 for a, b in zip(got, want)):
        failures.append("%s: zun %s, twin %s" % (what, got, want))


def run_zun(zun, tmp, name, script, failures):
    """The finished run of the script's lines, or None (a failure noted)."""
    path = os.path.join(tmp, name + ".zun")
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(script) + "\n")
    run = subprocess.run([zun, path], capture_output=True, text=True, timeout=300)
    if run.returncode != 0:
        failures.append("zun failed (%s): %s %s" % (name, run.stdout[-2000:], run.stderr[-2000:]))
        return None
    return run


def compare_metrics(zun, tmp, failures):
    script = [PRELUDE]
    for i, case in enumerate(CASES):
        script.append("print \"case %d\" report %s" % (i, zun_face(case)))
    run = run_zun(zun, tmp, "metrics", script, failures)
    if not run:
        return
    points = [(0, 0), (3, 4), (10, 7), (25, 12), (40, 30), (-5, 3), (70, 15), (120, 40), (200, 10),
              (299, 79)]
    lines = iter(run.stdout.splitlines())
    checked = 0
    for i, case in enumerate(CASES):
        assert next(lines) == "case %d" % i
        twin = Twin(case)
        label = "case %d %r" % (i, case[0][:20])
        close(numbers(next(lines)), [twin.width(), twin.height()], label + " size", failures)
        close(numbers(next(lines)), [twin.layout.get_line_count()], label + " count", failures)
        for pos in range(1, len(case[0]) + 2):
            got = numbers(next(lines))
            want = [pos, *twin.caret(pos, False), *twin.caret(pos, True), twin.line_height(pos)]
            close(got, want, "%s caret %d" % (label, pos), failures)
        for px, py in points:
            got = numbers(next(lines))
            close(got, [px, py, *twin.hit(px, py)], "%s hit %dx%d" % (label, px, py), failures)
        checked += 1
    print("metrics: %d cases checked" % checked)


def compare_pixels(zun, tmp, failures):
    script = [PRELUDE]
    drawn = [3, 6, 7, 10, 11]
    for i in drawn:
        script.append('save %%%s/draw%d.png draw 320x130 compose [pen 0.0.0 text 5x6 (%s)]'
                      % (tmp, i, zun_face(CASES[i])))
    if not run_zun(zun, tmp, "draw", script, failures):
        return
    for i in drawn:
        got = cairo.ImageSurface.create_from_png(os.path.join(tmp, "draw%d.png" % i))
        want = Twin(CASES[i]).render(320, 130, 5, 6)
        a, b = bytes(got.get_data()), bytes(want.get_data())
        diffs = [abs(a[k] - b[k]) for k in range(len(a)) if k % 4 != 3]
        mean = sum(diffs) / len(diffs)
        within = sum(1 for d in diffs if d <= 8) / len(diffs)
        ink = sum(1 for k in range(0, len(a), 4) if a[k] < 128)
        if mean >= 1 or within < 0.99 or ink == 0:
            failures.append("drawing %d: mean difference %.3f, %.4f within 8, %d ink pixels"
                            % (i, mean, within, ink))
    print("pixels: %d drawings compared" % len(drawn))


def main(zun):
    failures = []
    with tempfile.TemporaryDirectory(dir=os.environ.get("TEXT_TWIN_KEEP")) as tmp:
        compare_metrics(zun, tmp, failures)
        compare_pixels(zun, tmp, failures)
    for f in failures[:40]:
        print(f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
