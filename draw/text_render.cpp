#include "draw/text_render.hpp"

#include <utility>
#include <vector>

#include "draw/text_format.hpp"

namespace zun::draw {

namespace {
PangoContext* g_layout_context = nullptr;  // the open scope's, null outside
}  // namespace

TextRenderingScope::TextRenderingScope(const TextRendering& rendering) : m_saved(g_layout_context) {
    // a handful of renderings at most: the measuring one, a window's, a control font's
    static std::vector<std::pair<TextRendering, PangoContext*>> contexts;
    if (rendering == TextRendering{}) {
        g_layout_context = shared_context();
        return;
    }
    for (const auto& [r, context] : contexts)
        if (r == rendering) {
            g_layout_context = context;
            return;
        }
    cairo_font_options_t* o = win::font_options(rendering);
    PangoContext* made = make_text_context(o);
    cairo_font_options_destroy(o);
    contexts.emplace_back(rendering, made);
    g_layout_context = made;
}

TextRenderingScope::~TextRenderingScope() { g_layout_context = m_saved; }

PangoContext* layout_context() { return g_layout_context ? g_layout_context : shared_context(); }

}  // namespace zun::draw
