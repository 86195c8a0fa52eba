# A console page drawn through pango, the peer of text_page.zun: 40 layouts
# of 60 monospace characters with ten attribute ranges each, 25 pages.
from text_pango import S, Pango, PangoCairo, cairo, context, no_hyphens
desc = Pango.FontDescription.from_string("DejaVu Sans Mono 10")

colours = [(200, 0, 0), (0, 120, 0), (0, 0, 200), (120, 120, 0), (0, 120, 120)]
base = "The quick brown fox jumps over the lazy dog; pack my box with five dozen liquor jugs. 0123456789"
lines = [base[i % 30:i % 30 + 60] for i in range(1, 41)]

drawn = 0
for page in range(25):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 800, 600)
    cr = cairo.Context(surface)
    cr.set_source_rgb(1, 1, 1)
    cr.paint()
    for i in range(1, 41):
        layout = Pango.Layout.new(context)
        layout.set_font_description(desc)
        attrs = no_hyphens()
        for r in range(1, 11):
            start, end = (r - 1) * 6, (r - 1) * 6 + 4
            red, green, blue = colours[r % 5]
            for attr in [Pango.attr_foreground_new(red * 257, green * 257, blue * 257),
                         Pango.attr_foreground_alpha_new(65535)] + \
                        ([Pango.attr_weight_new(Pango.Weight.BOLD)] if (r + i) % 2 else []):
                attr.start_index, attr.end_index = start, end
                attrs.change(attr)
        layout.set_attributes(attrs)
        layout.set_text(lines[i - 1], -1)
        layout.set_width(int(800.5 * S))
        layout.set_wrap(Pango.WrapMode.WORD_CHAR)
        cr.set_source_rgb(0, 0, 0)
        cr.move_to(0, (i - 1) * 15)
        PangoCairo.show_layout(cr, layout)
        drawn += 1
    surface.flush()
print(drawn)
