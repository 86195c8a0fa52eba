# The pango set-up the text benchmarks' peers share with zun: one pango-cairo
# font map and context at 96 DPI, natural advances (unhinted metrics, glyph
# positions not rounded), grey anti-aliasing.
import gi

gi.require_version("Pango", "1.0")
gi.require_version("PangoCairo", "1.0")
import cairo  # noqa: E402,F401
from gi.repository import Pango, PangoCairo  # noqa: E402,F401

S = Pango.SCALE
font_map = PangoCairo.FontMap.new()
font_map.set_resolution(96)
context = font_map.create_context()
PangoCairo.context_set_resolution(context, 96)
_options = cairo.FontOptions()
_options.set_hint_style(cairo.HINT_STYLE_NONE)
_options.set_hint_metrics(cairo.HINT_METRICS_OFF)
_options.set_antialias(cairo.ANTIALIAS_GRAY)
PangoCairo.context_set_font_options(context, _options)
context.set_round_glyph_positions(False)


def no_hyphens():
    """An attribute list that keeps hyphens out of broken words."""
    attrs = Pango.AttrList()
    attrs.insert(Pango.attr_insert_hyphens_new(False))
    return attrs
