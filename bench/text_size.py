# size-text of 10,000 different strings, the peer of text_size.zun: the same
# pango layouts (natural advances, white space at line ends left out).
from text_pango import S, Pango, context, no_hyphens
desc = Pango.FontDescription.from_string("DejaVu Sans 10")
metrics = context.get_metrics(desc, None)
tabs = Pango.TabArray.new(1, False)
tabs.set_tab(0, Pango.TabAlign.LEFT, 8 * metrics.get_approximate_char_width())

base = ("The quick brown fox jumps over the lazy dog while five boxing wizards jump quickly; pack my "
        "box with five dozen liquor jugs. Sphinx of black quartz, judge my vow! How vexingly quick daft "
        "zebras jump. Waltz, bad nymph, for quick jigs vex. Glib jocks quiz nymph to vex dwarf. "
        "Jackdaws love my big sphinx of quartz. The five boxing wizards jump quickly.")
span = len(base) - 40


def size_text(text):
    layout = Pango.Layout.new(context)
    layout.set_font_description(desc)
    layout.set_tabs(tabs)
    attrs = no_hyphens()
    layout.set_attributes(attrs)
    layout.set_text(text, -1)
    widest = 0
    for line in layout.get_lines_readonly():
        chars = text.encode("utf-8")[line.start_index:line.start_index + line.length].decode("utf-8")
        kept = chars.rstrip()
        if kept:
            last = line.start_index + len(kept.encode("utf-8")) - len(kept[-1].encode("utf-8"))
            widest = max(widest, (line.index_to_x(last, True) - line.index_to_x(line.start_index, False)) / S)
    return widest, layout.get_extents()[1].height / S


total = 0.0
for i in range(1, 10001):
    start = i * 7 % span
    total += size_text(base[start:start + 20 + i % 21])[0]
print(int(total))
