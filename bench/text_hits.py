# Caret points and hit positions on a wrapped rich-text layout, the peer of
# text_hits.zun: the same pango layout, index_to_pos and xy_to_index.
from text_pango import S, Pango, context, no_hyphens

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
attrs = no_hyphens()
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
