# Caret points and hit positions on a wrapped rich-text layout, the peer of
# text_hits.zun: the same pango layout, index_to_pos and xy_to_index.
import gi

gi.require_version("Pango", "1.0")
gi.require_version("PangoCairo", "1.0")
import cairo  # noqa: E402
from gi.repository import Pango, PangoCairo  # noqa: E402

S = Pango.SCALE
font_map = PangoCairo.FontMap.new()
font_map.set_resolution(96)
context = font_map.create_context()
PangoCairo.context_set_resolution(context, 96)
options = cairo.FontOptions()
options.set_hint_style(cairo.HINT_STYLE_NONE)
options.set_hint_metrics(cairo.HINT_METRICS_OFF)
PangoCairo.context_set_font_options(context, options)
context.set_round_glyph_positions(False)

words = ["alpha", "beta", "gamma", "delta", "epsilon", "zeta", "eta", "theta", "iota", "kappa", "lambda"]
text = ""
i = 0
while len(text) < 2000:
    i += 1
    text += words[i % 11] + " "
text = text[:2000]

layout = Pango.Layout.new(context)
layout.set_font_description(Pango.FontDescription.from_string("DejaVu Sans 10"))
tabs = Pango.TabArray.new(1, False)
tabs.set_tab(0, Pango.TabAlign.LEFT, round(4 * 10 * 96 / 72 * S))
layout.set_tabs(tabs)
attrs = Pango.AttrList()
attrs.insert(Pango.attr_insert_hyphens_new(False))
layout.set_attributes(attrs)
layout.set_text(text, -1)
layout.set_width(int(400.5 * S))
layout.set_wrap(Pango.WrapMode.WORD_CHAR)

carets = 0.0
for i in range(1, 2002):
    r = layout.index_to_pos(min(i - 1, len(text)))
    carets += r.x / S + r.y / S
hits = 0
for i in range(1, 10001):
    inside, index, trailing = layout.xy_to_index(i * 37 % 400 * S, i * 13 % 600 * S)
    hits += index + (1 if trailing > 0 else 0) + 1
print(int(carets), hits)
